// model_test.cpp -- the .jm reader, tangents, bone weights, the model cache and LOD choice.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "data/data.h"
#include "platform/log_internal.h"
#include "platform/platform.h"
#include "render/render.h"
#include "support/test_support.h"

namespace {

// One triangle with a plain mapping: u along x, v along y (stored flipped).
const char kTriangleMesh[] =
    "0 0 0  0 0 1  0 1\n"
    "1 0 0  0 0 1  1 1\n"
    "0 1 0  0 0 1  0 0\n"
    "0 1 2\n";

class ModelTest : public test_support::DataFoldersTest {
 protected:
  void SetUp() override {
    DataFoldersTest::SetUp();
    log_capture.start();
    render::model_cache_clear();
    render::g_render_settings = {};
  }
  void TearDown() override {
    render::model_cache_clear();
    render::g_render_settings = {};
    log_capture.stop();
    DataFoldersTest::TearDown();
  }
  std::string logged() { return log_capture.text(); }
  static int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
      ++n;
    }
    return n;
  }
  // Writes a data file and reads it as a model (not cached).
  render::Model* read(const std::string& contents, const char* name = "m.jm") {
    home.write(name, contents);
    return render::load_model((std::string("@") + name).c_str());
  }
  static int mesh_count(const render::Model* model) {
    int n = 0;
    for (const render::Mesh* m = model->meshes; m; m = m->next) ++n;
    return n;
  }
  test_support::LogCapture log_capture{"models.log"};
};

TEST_F(ModelTest, HeaderlessFileIsOneWhiteMeshWithExponent32) {
  render::Model* model = read(std::string("3 1\n") + kTriangleMesh);
  ASSERT_NE(model, nullptr);
  ASSERT_EQ(mesh_count(model), 1);
  const render::Mesh& mesh = *model->meshes;
  EXPECT_EQ(mesh.exponent, 32.0f);
  for (float c : mesh.colour) EXPECT_EQ(c, 1.0f);
  EXPECT_EQ(mesh.vertex_count, 3);
  EXPECT_EQ(mesh.triangle_count, 1);
  EXPECT_EQ(model->bone_count, 0);
  EXPECT_EQ(mesh.weights, nullptr);
  // v is stored as 1 - v.
  EXPECT_EQ(mesh.texcoords[1], 0.0f);
  EXPECT_EQ(mesh.texcoords[5], 1.0f);
  render::model_free(model);
}

TEST_F(ModelTest, VersionOneKeepsMeshesUntilOneIsTruncated) {
  const std::string first = std::string("16 0.5 0.2 0.3 0.4 3 1\n") + kTriangleMesh;
  const std::string second = "-2 0.5 1 0 0 3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1";  // cut short
  render::Model* model = read("JM1\n" + first + second);
  ASSERT_NE(model, nullptr);
  ASSERT_EQ(mesh_count(model), 1);
  const render::Mesh& mesh = *model->meshes;
  EXPECT_EQ(mesh.exponent, 16.0f);
  EXPECT_FLOAT_EQ(mesh.colour[0], 0.2f);
  EXPECT_FLOAT_EQ(mesh.colour[2], 0.4f);
  EXPECT_EQ(mesh.colour[3], 1.0f);  // alpha only for negative exponents
  render::model_free(model);

  // Two whole meshes; the negative one keeps its alpha and marks the model reflective.
  model = read("JM1\n" + first + "-1 0.5 1 0 0 3 1\n" + kTriangleMesh);
  ASSERT_NE(model, nullptr);
  ASSERT_EQ(mesh_count(model), 2);
  EXPECT_EQ(model->meshes->next->colour[3], 0.5f);
  EXPECT_TRUE(model->has_reflective);
  render::model_free(model);
}

TEST_F(ModelTest, FilesThatGiveNoModel) {
  const struct {
    const char* what;
    std::string contents;
  } cases[] = {
      {"version 3", std::string("JM3\n16 1 1 1 1 3 1\n") + kTriangleMesh},
      {"empty file", ""},
      {"first mesh truncated", "JM1\n16 1 1 1 1 3 1\n0 0 0 0 0 1 0 1\n"},
      {"triangle names a missing vertex",
       "JM1\n16 1 1 1 1 3 1\n0 0 0 0 0 1 0 1\n"
       "1 0 0 0 0 1 1 1\n0 1 0 0 0 1 0 0\n0 1 3\n"},
      {"negative vertex count", "JM1\n16 1 1 1 1 -3 1\n"},
      {"huge counts, no data", "-5 2000000000\n"},
      {"version 2 without bone count", "JM2\n"},
  };
  for (const auto& c : cases) {
    render::Model* model = read(c.contents);
    EXPECT_EQ(model, nullptr) << c.what;
    render::model_free(model);
  }
  EXPECT_EQ(render::load_model("@missing.jm"), nullptr);
}

// Version 2 with five bones: vertex 0 has five positive weights, vertex 1 none, vertex 2 one.
TEST_F(ModelTest, BoneWeightsKeepTheFourStrongestAndNormalise) {
  const std::string contents =
      "JM2 5 rider\n"
      "8 1 1 1 1 3 1\n"
      "0 0 0 0 0 1 0 1  0.1 0.5 0.2 0.4 0.3\n"
      "1 0 0 0 0 1 1 1  0 0 0 0 0\n"
      "0 1 0 0 0 1 0 0  0 0 0 2 0\n"
      "0 1 2\n"
      "8 1 1 1 1 3 1\n"
      "0 0 0 0 0 1 0 1  1 1 1 1 1\n"
      "1 0 0 0 0 1 1 1  1 0 0 0 0\n"
      "0 1 0 0 0 1 0 0  0 1 0 0 0\n"
      "0 1 2\n";
  render::Model* model = read(contents);
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->bone_count, 5);
  ASSERT_EQ(mesh_count(model), 2);
  const render::Mesh& mesh = *model->meshes;
  ASSERT_NE(mesh.weights, nullptr);
  // Bone 0 (0.1) is the weakest and is replaced by bone 4 (0.3).
  float sum = 0;
  bool has_bone0 = false;
  for (int k = 0; k < 4; ++k) {
    sum += mesh.weights[k];
    has_bone0 = has_bone0 || mesh.bone_indices[k] == 0;
  }
  EXPECT_NEAR(sum, 1.0f, 1e-6);
  EXPECT_FALSE(has_bone0);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(mesh.weights[4 + k], 0.25f);
    EXPECT_EQ(mesh.bone_indices[4 + k], 0);
  }
  EXPECT_EQ(mesh.weights[8], 1.0f);
  EXPECT_EQ(mesh.bone_indices[8], 3);
  // Bind pose copies exist for skinned meshes.
  ASSERT_NE(mesh.bind_positions, nullptr);
  EXPECT_EQ(mesh.bind_positions[3], 1.0f);
  render::model_free(model);
  // Once per mesh: both meshes had a vertex with five influences.
  EXPECT_EQ(count(logged(), "Warning: vertex with more than 4 bone influences in '@m.jm'"), 2);
}

TEST_F(ModelTest, TangentsFollowTheMappingAndSurviveDegenerateOnes) {
  render::Model* model = read(
      "JM1\n8 1 1 1 1 6 2\n"
      "0 0 0 0 0 1 0 1\n1 0 0 0 0 1 1 1\n0 1 0 0 0 1 0 0\n"
      "5 0 0 0 0 1 1 1\n6 0 0 0 0 1 0 1\n5 1 0 0 0 1 1 0\n"
      "0 1 2\n3 4 5\n"
      "8 1 1 1 1 4 1\n"
      "0 0 0 0 0 1 0 0\n0 0 3 0 0 1 0 0\n0 0 0 0 0 1 0 0\n9 9 9 0 0 1 0 0\n"
      "0 1 2\n");
  ASSERT_NE(model, nullptr);
  const render::Mesh& mesh = *model->meshes;
  for (int v = 0; v < 3; ++v) {
    EXPECT_NEAR(std::fabs(mesh.tangents[v * 3]), 1.0f, 1e-5) << v;
    EXPECT_NEAR(mesh.tangents[v * 3 + 1], 0.0f, 1e-5) << v;
  }
  // u runs along +x, then along -x; the mirrored triangle's tangent (-x) is turned round.
  EXPECT_NEAR(mesh.tangents[0], 1.0f, 1e-5);
  EXPECT_NEAR(mesh.tangents[9], 1.0f, 1e-5);
  // Degenerate mapping: the longer edge (e1 along z), normalised; vertex 3 is in no triangle.
  const render::Mesh& flat = *model->meshes->next;
  EXPECT_NEAR(flat.tangents[2], 1.0f, 1e-5);
  const float* loose = flat.tangents + 9;
  EXPECT_NEAR(loose[0] * loose[0] + loose[1] * loose[1] + loose[2] * loose[2], 1.0f, 1e-5);
  render::model_free(model);
}

TEST_F(ModelTest, CacheSharesByNameWarnsOnCaseAndReleasesStaleGenerations) {
  home.write("bike.jm", std::string("3 1\n") + kTriangleMesh);
  home.write("gate.jm", std::string("3 1\n") + kTriangleMesh);
  render::g_render_settings.debug_level = 1;
  render::Model* bike = render::model_request("@bike.jm");
  ASSERT_NE(bike, nullptr);
  EXPECT_EQ(render::model_request("@bike.jm"), bike);
  EXPECT_EQ(render::model_request("@Bike.JM"), bike);
  EXPECT_EQ(render::model_request("@nothing.jm"), nullptr);

  render::model_new_generation();
  render::Model* gate = render::model_request("@gate.jm");
  ASSERT_NE(gate, nullptr);
  EXPECT_EQ(gate->generation, render::model_generation());
  render::model_new_generation();
  EXPECT_EQ(render::model_request("@gate.jm"), gate);  // used again: stays
  render::model_release_stale();
  // The bike was loaded in generation 0 and is never released; the gate is current.
  EXPECT_EQ(render::model_request("@bike.jm"), bike);
  render::model_new_generation();
  render::model_new_generation();
  render::model_release_stale();  // the bike is stale now
  const std::string log = logged();
  EXPECT_EQ(count(log, "Warning: case mismatch on '@Bike.JM'"), 1);
  EXPECT_EQ(count(log, "deleting model @bike.jm"), 1);
  EXPECT_EQ(count(log, "deleting model @gate.jm"), 1);
}

std::string gzip(const std::string& text) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(text.size() + 128, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TEST_F(ModelTest, LodChainFromDataNamesAndSelection) {
  const std::string mesh = std::string("3 1\n") + kTriangleMesh;
  home.write("frame.jm", mesh);
  home.write("frame_lod1.jm", mesh);
  home.write("frame_lod0.5.jm.gz", gzip(mesh));
  home.write("frame_lodx.jm", mesh);      // no number: not a level
  home.write("frame_lodnan.jm", mesh);    // not a distance
  home.write("frameless_lod1.jm", mesh);  // another stem
  render::Model* model = render::model_request("@frame.jm");
  ASSERT_NE(model, nullptr);
  ASSERT_NE(model->lod_next, nullptr);
  const render::Model* near_lod = model->lod_next;
  EXPECT_NEAR(near_lod->lod_distance, 1.41421356f, 1e-5);
  EXPECT_STREQ(near_lod->name, "@frame_lod0.5.jm");
  ASSERT_NE(near_lod->lod_next, nullptr);
  const render::Model* far_lod = near_lod->lod_next;
  EXPECT_EQ(far_lod->lod_distance, 2.0f);
  EXPECT_EQ(far_lod->lod_next, nullptr);

  const struct {
    float distance;
    double bias, scale;
    const render::Model* expected;
  } cases[] = {
      {1.0f, 0, 1, model},     {1.5f, 0, 1, near_lod},  {1.99f, 0, 1, near_lod},
      {2.0f, 0, 1, far_lod},   {100.0f, 0, 1, far_lod}, {1.0f, 0, 2, far_lod},
      {0.0f, 2.0, 1, far_lod}, {1.0f, -1.0, 1, model},  {3.0f, 0, 1e-9, model},
  };
  const float eye[3] = {0, 0, 0};
  for (const auto& c : cases) {
    render::g_render_settings.lod_bias = c.bias;
    render::g_render_settings.lod_scale = c.scale;
    const float position[3] = {0, 0, -c.distance};
    EXPECT_EQ(render::select_lod(model, position, eye), c.expected)
        << c.distance << " bias " << c.bias << " scale " << c.scale;
  }
}

}  // namespace
