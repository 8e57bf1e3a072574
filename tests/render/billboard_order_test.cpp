// billboard_order_test.cpp -- depth keys, the kept set, radix order, texture grouping, ghost fade.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "race/race.h"
#include "render/render.h"

namespace {

race::Billboard board(float x, float z, const char* texture, float size = 1, float width = 1) {
  race::Billboard b;
  b.x = x;
  b.z = z;
  b.texture = texture;
  b.size = size;
  b.width_factor = width;
  return b;
}

// The camera at `z` on the z axis, looking along -z (identity axes).
render::Camera camera_at(float z) {
  render::Camera c;
  c.position[2] = z;
  return c;
}

std::vector<int> order_of(std::vector<race::Billboard>& boards, const render::Camera& camera,
                          int lookahead, int pool_count = 0,
                          const std::vector<unsigned char>* enabled = nullptr) {
  std::vector<int> order(boards.size()), scratch(boards.size());
  const int n = render::order_billboards(boards.data(), enabled ? enabled->data() : nullptr,
                                         static_cast<int>(boards.size()), pool_count, camera,
                                         lookahead, order.data(), scratch.data());
  order.resize(static_cast<std::size_t>(n));
  return order;
}

TEST(BillboardKeyTest, ScalesTheDepthAndOffsetsIt) {
  const float z_axis[3] = {0, 0, 1};
  const float tilted[3] = {0.6f, 0, 0.8f};
  const struct {
    const float* axis;
    float p[3];
    float extra;
    std::uint32_t key;
  } cases[] = {
      {z_axis, {5, 7, 0}, 0, 1u << 24},
      {z_axis, {0, 0, 1}, 0, (1u << 24) + 1024},
      {z_axis, {0, 0, -2.5f}, 0, (1u << 24) - 2560},
      {z_axis, {0, 0, 1.0f / 2048}, 0, 1u << 24},         // floored
      {z_axis, {0, 0, -1.0f / 2048}, 0, (1u << 24) - 1},  // floored downwards
      {z_axis, {0, 0, 1}, 0.5f, (1u << 24) + 1536},
      {tilted, {10, 0, 5}, 0, (1u << 24) + 10 * 1024},
      {z_axis, {0, 0, -20000}, 0, 0},  // past the offset's reach: pinned, never wrapped
  };
  for (const auto& c : cases) {
    EXPECT_EQ(render::billboard_key(c.axis, c.p, c.extra), c.key)
        << c.p[0] << " " << c.p[1] << " " << c.p[2] << " + " << c.extra;
  }
}

// Only textured, enabled billboards in front of the camera take part; one keyed exactly
// like the camera is left out.
TEST(OrderBillboardsTest, KeepsTexturedEnabledBillboardsInFront) {
  std::vector<race::Billboard> boards = {
      board(0, 10, "at-camera"),        // 0: the camera's own key
      board(0, 10 - 1.0f / 1024, "a"),  // 1: one key step in front
      board(0, 12, "behind"),           // 2
      board(0, 4, ""),                  // 3: no texture
      board(0, 2, "b"),                 // 4
      board(0, 6, "disabled"),          // 5
  };
  const render::Camera camera = camera_at(10);
  const std::vector<unsigned char> enabled = {1, 1, 1, 1, 1, 0};
  EXPECT_EQ(order_of(boards, camera, 1, 0, &enabled), (std::vector<int>{4, 1}));
  EXPECT_EQ(order_of(boards, camera, 1), (std::vector<int>{4, 5, 1}));  // nullptr: all enabled
  const float z_axis[3] = {0, 0, 1};
  EXPECT_EQ(boards[0].sort_key, render::billboard_key(z_axis, camera.position, 0));
  EXPECT_EQ(boards[1].sort_key + 1, boards[0].sort_key);

  std::vector<race::Billboard> none;
  EXPECT_TRUE(order_of(none, camera, 8).empty());
}

// Pool billboards (the first `pool_count`) key their position plus their width, so a
// particle within its own width of the camera plane is left out, and a wide one sorts
// nearer than a sign at the same spot.
TEST(OrderBillboardsTest, PoolBillboardsAddTheirWidth) {
  std::vector<race::Billboard> boards = {
      board(0, 9.5f, "dirt", 1, 1),  // pool: 9.5 + 1 reaches past the camera at 10
      board(0, 5, "dirt", 2, 1.5f),  // pool: keyed as 5 + 3
      board(0, 9.5f, "sign", 1, 1),  // sign: keyed as 9.5
      board(0, 7, "sign", 1, 1),     // sign: keyed as 7
  };
  const std::vector<int> order = order_of(boards, camera_at(10), 1, 2);
  EXPECT_EQ(order, (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(boards[1].sort_key, (1u << 24) + 8 * 1024);
  EXPECT_EQ(boards[2].sort_key, (1u << 24) + 9 * 1024 + 512);
  // Past the pool the same billboard keys at its position and is kept.
  EXPECT_EQ(order_of(boards, camera_at(10), 1, 0), (std::vector<int>{1, 3, 0, 2}));
}

// The radix sort against std::stable_sort: keys over the whole range (every byte varies)
// and keys crowded into a few values (stability decides the order).
TEST(OrderBillboardsTest, SortsLikeAStableSortByKey) {
  std::mt19937 random(20240611);
  const struct {
    float lo, hi, step;  // z range and quantum
  } spreads[] = {{-16000, 15000, 0}, {-3, 3, 0.5f}, {100, 100, 0}};
  for (const auto& s : spreads) {
    std::uniform_real_distribution<float> z(s.lo, s.hi);
    std::vector<race::Billboard> boards;
    for (int i = 0; i < 3000; ++i) {
      float at = z(random);
      if (s.step > 0) at = std::round(at / s.step) * s.step;
      boards.push_back(board(0, at, i % 3 ? "a" : "b"));
    }
    const std::vector<int> order = order_of(boards, camera_at(16000), 1);
    std::vector<int> expected(boards.size());
    for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<int>(i);
    std::stable_sort(expected.begin(), expected.end(),
                     [&](int a, int b) { return boards[a].sort_key < boards[b].sort_key; });
    EXPECT_EQ(order, expected) << "z in " << s.lo << ".." << s.hi;

    // Grouping only permutes the sorted set.
    std::vector<int> grouped = order_of(boards, camera_at(16000), 8);
    std::sort(grouped.begin(), grouped.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(grouped, expected);
  }
}

// Camera at the origin looking along -z. Sorted far to near the set is A (texture a), then
// the billboards in between, then the near one N (texture a again), which grouping pulls up
// behind A unless one in between overlaps it as the camera sees them.
TEST(OrderBillboardsTest, GroupsTexturesWhereNothingBetweenOverlaps) {
  const race::Billboard a = board(0, -30, "a"), centre = board(0, -10, "a");
  const struct {
    const char* what;
    std::vector<race::Billboard> between;
    race::Billboard near;
    int lookahead;
    bool grouped;
  } cases[] = {
      {"one beside, off to the right", {board(20, -20, "b")}, centre, 8, true},
      {"one straight behind", {board(0, -20, "b")}, centre, 8, false},
      // Apart along the camera's x axis, but the far one lies inside the near one's
      // silhouette: [0.0375, 0.0875] against [-0.05, 0.05] on the view plane.
      {"apart in the world, overlapping on screen", {board(1.25f, -20, "b")}, centre, 8, false},
      // The converse: the same x, but the far one shrinks towards the centre of the view.
      {"level in the world, apart on screen", {board(5, -20, "b")}, board(5, -10, "a"), 8, true},
      {"look-ahead 1 changes nothing", {board(20, -20, "b")}, centre, 1, false},
      {"look-ahead 0 changes nothing", {board(20, -20, "b")}, centre, 0, false},
      {"the near one at the window's end",
       {board(20, -20, "b"), board(-20, -15, "d")},
       centre,
       4,
       true},
      {"the near one past the window",
       {board(20, -20, "b"), board(-20, -15, "d")},
       centre,
       3,
       false},
      {"the second of two between overlaps",
       {board(20, -20, "b"), board(0, -15, "d")},
       centre,
       8,
       false},
  };
  for (const auto& k : cases) {
    std::vector<race::Billboard> boards = {a};
    boards.insert(boards.end(), k.between.begin(), k.between.end());
    boards.push_back(k.near);
    std::vector<int> expected(boards.size());
    for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<int>(i);
    if (k.grouped) std::rotate(expected.begin() + 1, expected.end() - 1, expected.end());
    EXPECT_EQ(order_of(boards, camera_at(0), k.lookahead), expected) << k.what;
  }
}

// After a billboard is pulled forward, grouping goes on from it: a run of three of one
// texture interleaved with others collapses into one batch.
TEST(OrderBillboardsTest, GroupingContinuesFromTheMovedBillboard) {
  std::vector<race::Billboard> boards = {
      board(0, -60, "a"),  board(-30, -50, "b"), board(0, -40, "a"),
      board(30, -30, "c"), board(0, -20, "a"),   board(-30, -10, "b"),
  };
  EXPECT_EQ(order_of(boards, camera_at(0), 8), (std::vector<int>{0, 2, 4, 1, 5, 3}));
}

TEST(GhostFadeTest, FadesOverTheFarHalfOfTheDistance) {
  const struct {
    float distance, fade_distance, factor;
  } cases[] = {
      {0, 50, 0},  {25, 50, 0}, {10, 50, 0}, {37.5f, 50, 0.5f}, {43.75f, 50, 0.75f},
      {50, 50, 1}, {80, 50, 1}, {5, 0, 1},   {5, -10, 1},       {0, 0, 1},
  };
  for (const auto& c : cases) {
    EXPECT_FLOAT_EQ(render::ghost_fade(c.distance, c.fade_distance), c.factor)
        << c.distance << " of " << c.fade_distance;
  }
}

}  // namespace
