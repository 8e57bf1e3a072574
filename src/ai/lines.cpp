// lines.cpp -- the racing-line library: learning, eviction, pruning, the planner and the
// lines files.
#include "ai/lines.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "data/data.h"
#include "platform/platform.h"

namespace ai {

LineLibrary g_lines;

namespace {

constexpr double kFar = 1000000;  // a straight line's "centre" lies this far away (ft)

double sq(double v) { return v * v; }

double distance2(const LinePoint& p, const LinePoint& q) {
  return sq(p.x - q.x) + sq(p.y - q.y) + sq(p.z - q.z);
}

bool same_line(const std::vector<LinePoint>& a, const std::vector<LinePoint>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::fabs(a[i].speed - b[i].speed) > 0.0625 || distance2(a[i], b[i]) > 1.0 / 256) {
      return false;
    }
  }
  return true;
}

void free_slot(LineSlot& slot) {
  const int last_picked = slot.last_picked;
  slot = LineSlot{};
  slot.last_picked = last_picked;
}

int used_slots(const LineRow& row) {
  int n = 0;
  for (const LineSlot& s : row) n += s.empty() ? 0 : 1;
  return n;
}

// Whether segments p1-p2 and q1-q2 cross in the x-z plane.
bool segments_cross(const LinePoint& p1, const LinePoint& p2, const LinePoint& q1,
                    const LinePoint& q2) {
  auto side = [](const LinePoint& a, const LinePoint& b, const LinePoint& c) {
    const double v =
        (double(b.x) - a.x) * (double(c.z) - a.z) - (double(b.z) - a.z) * (double(c.x) - a.x);
    return v > 0 ? 1 : v < 0 ? -1 : 0;
  };
  const int d1 = side(q1, q2, p1), d2 = side(q1, q2, p2);
  const int d3 = side(p1, p2, q1), d4 = side(p1, p2, q2);
  return d1 * d2 < 0 && d3 * d4 < 0;
}

bool lines_cross(const LineSlot& a, const LineSlot& b) {
  for (std::size_t i = 1; i < a.points.size(); ++i) {
    for (std::size_t j = 1; j < b.points.size(); ++j) {
      if (segments_cross(a.points[i - 1], a.points[i], b.points[j - 1], b.points[j])) return true;
    }
  }
  return false;
}

// Mean B of a tested line, else its B (the pruning's tie break).
double mean_or_b(const LineSlot& s) {
  return s.tested > 0 ? double(s.sum_b) / s.tested : double(s.b);
}

}  // namespace

void lines_reset(LineLibrary& lib, int first_splits, int normal_splits) {
  lib.first_rows = std::max(0, first_splits);
  lib.normal_rows = std::max(0, normal_splits);
  const int rows = lib.first_rows + lib.normal_rows;
  lib.rows.assign(static_cast<std::size_t>(rows), LineRow{});
  for (std::vector<int>& plan : lib.plans) plan.assign(static_cast<std::size_t>(rows), 0);
  lib.work.assign(
      static_cast<std::size_t>(std::max(lib.first_rows, lib.normal_rows)) * kLineSlots * kLineSlots,
      0);
  lib.file.clear();
  lib.next_id = 0;
  lib.plan_cost[0] = lib.plan_cost[1] = 0;
}

int segment_row(const LineLibrary& lib, int segment) {
  if (lib.rows.empty() || segment < 0) return -1;
  if (segment < lib.first_rows) return segment;
  if (lib.normal_rows <= 0) return lib.first_rows - 1;
  return lib.first_rows + (segment - lib.first_rows) % lib.normal_rows;
}

int next_row(const LineLibrary& lib, int row) {
  const int rows = static_cast<int>(lib.rows.size());
  if (row + 1 < rows) return row + 1;
  return lib.normal_rows > 0 ? lib.first_rows : row;
}

int line_cost(const LineSlot& s, int type) {
  if (type == 3) {
    const int n = s.tested + 4 * s.cancels;
    if (s.tested + s.cancels > 5 && 4 * s.tested < s.cancels) return 100000;
    if (n == 0) return 0;
    int k = 0;
    for (unsigned v = static_cast<unsigned>(n); v; v >>= 1) ++k;
    return (k + 4) * 1000;
  }
  const int least = type == 2 ? 1 : 5;
  if (s.empty() || s.tested < least) return kNoTime;
  const double m = double(s.sum_a) / s.tested;
  const double r = double(s.cancels) / (s.tested + s.cancels);
  const double scale = type == 0 ? 1 : type == 1 ? 8.0 / 7 : 4;
  return static_cast<int>(m + kRiskTicks * std::clamp(r * scale, 0.0, 1.0));
}

std::int64_t replacement_cost(const LineSlot& s) {
  if (s.tested == 0) return std::int64_t{5} * s.b / 4 + (s.cancels >= 1 ? kRiskTicks : 0);
  return s.sum_b / s.tested + std::int64_t{kRiskTicks} * s.cancels / (s.tested + s.cancels);
}

int choose_victim(const LineRow& row) {
  std::array<double, kLineSlots> cost{};
  int good = 0;
  for (int i = 0; i < kLineSlots; ++i) {
    const LineSlot& s = row[i];
    cost[i] = static_cast<double>(replacement_cost(s));
    if (s.empty()) continue;
    if (s.cancels < s.tested) ++good;
    // A line starting apart from every other is worth keeping for the spread it gives.
    bool apart = true;
    for (int j = 0; j < kLineSlots && apart; ++j) {
      if (j != i && !row[j].empty() && distance2(s.points[0], row[j].points[0]) < 4) apart = false;
    }
    if (apart) cost[i] *= 0.75;
  }
  int victim = -1;
  for (int i = 0; i < kLineSlots; ++i) {
    const LineSlot& s = row[i];
    if (s.empty()) continue;
    if (good < 23 && s.cancels < s.tested) continue;  // good lines are protected
    if (victim < 0 || cost[i] > cost[victim]) victim = i;
  }
  return victim;
}

void circle_fit(const LinePoint& p0, const LinePoint& p1, const LinePoint& p2, double* cx,
                double* cz) {
  // The perpendicular bisectors of p0-p1 and p1-p2 meet at the centre.
  const double ax = p1.x - p0.x, az = p1.z - p0.z;
  const double bx = p2.x - p1.x, bz = p2.z - p1.z;
  const double mx0 = (p0.x + p1.x) * 0.5, mz0 = (p0.z + p1.z) * 0.5;
  const double mx1 = (p1.x + p2.x) * 0.5, mz1 = (p1.z + p2.z) * 0.5;
  const double det = ax * bz - az * bx;
  if (std::fabs(det) < 1e-9) {
    const double l = std::sqrt(ax * ax + az * az);
    const double nx = l > 0 ? -az / l : 1, nz = l > 0 ? ax / l : 0;
    *cx = mx0 + nx * kFar;
    *cz = mz0 + nz * kFar;
    return;
  }
  // Centre c: (c - m0) . a = 0 and (c - m1) . b = 0.
  const double r0 = mx0 * ax + mz0 * az, r1 = mx1 * bx + mz1 * bz;
  *cx = (r0 * bz - az * r1) / det;
  *cz = (ax * r1 - r0 * bx) / det;
}

bool lines_connect(const LineSlot& i, const LineSlot& j) {
  const std::size_t n = i.points.size();
  if (n < 3 || j.points.size() < 2) return false;
  double cx = 0, cz = 0;
  circle_fit(i.points[n - 3], i.points[n - 2], i.points[n - 1], &cx, &cz);
  const LinePoint& last = i.points[n - 1];
  const double r = std::hypot(last.x - cx, last.z - cz);
  const double d = std::hypot(j.points[0].x - cx, j.points[0].z - cz);
  const double d2 = std::hypot(j.points[1].x - cx, j.points[1].z - cz);
  return d >= std::max(r - 2.5, 0.0) && d <= r + 2.5 && std::fabs(d2 - d) <= 2 &&
         std::fabs(last.speed) <= std::fabs(j.points[0].speed) + 15;
}

int find_line(const LineLibrary& lib, int row, int id) {
  if (id <= 0 || row < 0 || row >= static_cast<int>(lib.rows.size())) return -1;
  const LineRow& r = lib.rows[static_cast<std::size_t>(row)];
  for (int i = 0; i < kLineSlots; ++i) {
    if (r[i].id == id) return i;
  }
  return -1;
}

int learn_line(LineLibrary& lib, int row, const std::vector<LinePoint>& points, int a, int b) {
  if (row < 0 || row >= static_cast<int>(lib.rows.size()) || points.empty()) return -1;
  LineRow& r = lib.rows[static_cast<std::size_t>(row)];
  for (const LineSlot& s : r) {
    if (!s.empty() && same_line(s.points, points)) {
      if (lib.verbose) platform::log("auto pilot: %d rejected (duplicate)\n", row);
      return -1;
    }
  }
  int slot = -1;
  for (int i = 0; i < kLineSlots && slot < 0; ++i) {
    if (r[i].empty()) slot = i;
  }
  if (slot < 0) slot = choose_victim(r);
  if (slot < 0) return -1;
  LineSlot& s = r[static_cast<std::size_t>(slot)];
  const std::int64_t wanted = std::int64_t{5} * b / 4;
  if (replacement_cost(s) < wanted) {
    if (lib.verbose) platform::log("auto pilot: %d rejected (too slow)\n", row);
    return -1;
  }
  if (lib.verbose) {
    platform::log(
        "auto pilot: evicting %d (times: %.2f %.2f tested (%d %d): %.2f %.2f repl: %f %f)\n", row,
        s.a / 128.0, s.b / 128.0, s.tested, s.cancels,
        s.tested ? double(s.sum_a) / s.tested / 128 : 0.0,
        s.tested ? double(s.sum_b) / s.tested / 128 : 0.0, a / 128.0, b / 128.0);
  }
  const int last_picked = s.last_picked;
  s = LineSlot{};
  s.points = points;
  s.a = a;
  s.b = b;
  s.last_picked = last_picked;
  s.id = ++lib.next_id;
  return slot;
}

void prune_lines(LineLibrary& lib) {
  for (int r = 0; r < lib.first_rows && r < static_cast<int>(lib.rows.size()); ++r) {
    LineRow& row = lib.rows[static_cast<std::size_t>(r)];
    while (used_slots(row) >= kLineSlots - 1) {
      int worst = -1, worst_crossings = -1;
      for (int i = 0; i < kLineSlots; ++i) {
        const LineSlot& s = row[i];
        if (s.points.size() < 2) continue;
        int crossings = 0;
        for (int j = 0; j < kLineSlots; ++j) {
          if (j != i && row[j].points.size() >= 2 && lines_cross(s, row[j])) ++crossings;
        }
        bool take = crossings > worst_crossings;
        if (crossings == worst_crossings) {
          const LineSlot& w = row[worst];
          const bool t = s.tested > 0, wt = w.tested > 0;
          take = (t && !wt) || (t == wt && mean_or_b(s) < mean_or_b(w));
        }
        if (take) worst = i, worst_crossings = crossings;
      }
      if (worst < 0) break;
      free_slot(row[worst]);
      const int victim = choose_victim(row);
      if (victim >= 0) free_slot(row[victim]);
    }
  }
}

namespace {

// One step of the chain costing: best[j] over the row `to` from `from`'s costs.
struct Tables {
  std::array<std::array<bool, kLineSlots>, kLineSlots> connect;
};

void connection_table(const LineRow& from, const LineRow& to, Tables& t) {
  for (int i = 0; i < kLineSlots; ++i) {
    for (int j = 0; j < kLineSlots; ++j) t.connect[i][j] = lines_connect(from[i], to[j]);
  }
}

// The forward pass over `count` rows from `first`, starting from `start` costs (the first
// row's slots); fills `pred` (count - 1 tables) and leaves the last row's costs in `cost`.
void forward(const LineLibrary& lib, int first, int count, int type,
             std::array<std::int64_t, kLineSlots>& cost, std::uint8_t* pred) {
  Tables t;
  int row = first;
  for (int step = 1; step < count; ++step) {
    const int next = next_row(lib, row);
    connection_table(lib.rows[row], lib.rows[next], t);
    std::array<std::int64_t, kLineSlots> out;
    for (int j = 0; j < kLineSlots; ++j) {
      std::int64_t best = std::numeric_limits<std::int64_t>::max();
      int from = 0;
      for (int i = 0; i < kLineSlots; ++i) {
        const std::int64_t c = cost[i] + (t.connect[i][j] ? 0 : kNoTime);
        if (c < best) best = c, from = i;
      }
      out[j] = best + line_cost(lib.rows[next][j], type);
      pred[(step - 1) * kLineSlots + j] = static_cast<std::uint8_t>(from);
    }
    cost = out;
    row = next;
  }
}

void log_seconds(const char* label, std::int64_t ticks) {
  platform::log("%s: %f\n", label, static_cast<double>(ticks) / 128);
}

}  // namespace

void plan_lines(LineLibrary& lib) {
  const int s1 = lib.first_rows, s2 = lib.normal_rows;
  if (lib.rows.empty()) return;
  lib.work.resize(static_cast<std::size_t>(std::max(s1, s2)) * kLineSlots * kLineSlots);
  for (int type = 0; type < kPlanTypes; ++type) {
    std::vector<int>& plan = lib.plans[type];
    plan.assign(lib.rows.size(), 0);
    // A chain that needs an unusable line (or a missing connection) is no plan at all.
    bool usable = true;
    auto enter = [&](int row, int slot) {
      const LineSlot& s = lib.rows[row][slot];
      plan[row] = usable && s.tested >= 5 ? s.id : 0;
    };
    // The normal lap: a chain from each start slot b of row S1 round the lap back to b.
    int start = -1;
    std::int64_t normal_cost = std::numeric_limits<std::int64_t>::max();
    if (s2 > 0) {
      std::uint8_t* pred = lib.work.data();
      std::vector<std::uint8_t> p(static_cast<std::size_t>(std::max(s2, 1)) * kLineSlots);
      for (int b = 0; b < kLineSlots; ++b) {
        std::array<std::int64_t, kLineSlots> cost;
        cost.fill(std::int64_t{kNoTime} * 64);
        cost[b] = line_cost(lib.rows[s1][b], type);
        forward(lib, s1, s2, type, cost, p.data());
        // Closing the loop back to b.
        const int last = s1 + s2 - 1;
        std::int64_t best = std::numeric_limits<std::int64_t>::max();
        int from = 0;
        for (int i = 0; i < kLineSlots; ++i) {
          const std::int64_t c =
              cost[i] + (lines_connect(lib.rows[last][i], lib.rows[s1][b]) ? 0 : kNoTime);
          if (c < best) best = c, from = i;
        }
        if (best < normal_cost) {
          normal_cost = best;
          start = b;
          // Keep the winner's predecessors: row k (k >= 1 from S1) at table k - 1.
          for (int k = 1; k < s2; ++k) {
            std::copy_n(p.begin() + (k - 1) * kLineSlots, kLineSlots,
                        pred + static_cast<std::size_t>(k - 1) * kLineSlots);
          }
          pred[static_cast<std::size_t>(std::max(s2 - 1, 0)) * kLineSlots] =
              static_cast<std::uint8_t>(from);
        }
      }
      usable = normal_cost < kNoTime;
      // Walk back from the closing step.
      int slot = pred[static_cast<std::size_t>(std::max(s2 - 1, 0)) * kLineSlots];
      for (int k = s2 - 1; k >= 1; --k) {
        enter(s1 + k, slot);
        slot = pred[static_cast<std::size_t>(k - 1) * kLineSlots + slot];
      }
      enter(s1, start);
    }
    // The first lap: from any slot of row 0 through rows 0 .. S1 - 1 into the chosen start.
    std::int64_t first_cost = 0;
    if (s1 > 0) {
      std::array<std::int64_t, kLineSlots> cost;
      for (int j = 0; j < kLineSlots; ++j) cost[j] = line_cost(lib.rows[0][j], type);
      std::vector<std::uint8_t> p(static_cast<std::size_t>(std::max(s1 - 1, 1)) * kLineSlots);
      forward(lib, 0, s1, type, cost, p.data());
      std::int64_t best = std::numeric_limits<std::int64_t>::max();
      int from = 0;
      for (int i = 0; i < kLineSlots; ++i) {
        const bool joined = start < 0 || lines_connect(lib.rows[s1 - 1][i], lib.rows[s1][start]);
        const std::int64_t c = cost[i] + (joined ? 0 : kNoTime);
        if (c < best) best = c, from = i;
      }
      first_cost = best;
      // The first lap ends on the normal lap's plan: without one it has none either.
      usable = best < kNoTime && (s2 == 0 || normal_cost < kNoTime);
      int slot = from;
      for (int k = s1 - 1; k >= 1; --k) {
        enter(k, slot);
        slot = p[static_cast<std::size_t>(k - 1) * kLineSlots + slot];
      }
      enter(0, slot);
    }
    if (type == 0) {
      lib.plan_cost[0] = static_cast<double>(first_cost);
      lib.plan_cost[1] = static_cast<double>(normal_cost);
      if (lib.verbose) {
        log_seconds("First lap", first_cost);
        log_seconds("Normal lap", s2 > 0 ? normal_cost : 0);
      }
    }
  }
}

void chain_costs(const LineLibrary& lib, int row, int rows, int type,
                 std::array<std::int64_t, kLineSlots>& out) {
  // Backwards from the last row: the cheapest continuation of each slot. (No allocation: the
  // auto pilot calls this while racing.)
  constexpr int kMostRows = 16;
  rows = std::clamp(rows, 0, kMostRows - 1);
  std::array<int, kMostRows> chain{};
  int count = 0;
  for (int k = 0, r = row; k <= rows; ++k, r = next_row(lib, r)) chain[count++] = r;
  std::array<std::int64_t, kLineSlots> after;
  for (int j = 0; j < kLineSlots; ++j) after[j] = line_cost(lib.rows[chain[count - 1]][j], type);
  for (int k = count - 2; k >= 0; --k) {
    const LineRow& from = lib.rows[chain[k]];
    const LineRow& to = lib.rows[chain[k + 1]];
    std::array<std::int64_t, kLineSlots> cost;
    for (int i = 0; i < kLineSlots; ++i) {
      std::int64_t best = std::numeric_limits<std::int64_t>::max();
      if (from[i].points.size() >= 3) {
        for (int j = 0; j < kLineSlots; ++j) {
          best = std::min(best, after[j] + (lines_connect(from[i], to[j]) ? 0 : kNoTime));
        }
      } else {
        best = *std::min_element(after.begin(), after.end()) + kNoTime;
      }
      cost[i] = best + line_cost(from[i], type);
    }
    after = cost;
  }
  out = after;
}

std::string lines_file(const std::string& track, int skill) {
  static const char* const kNames[3] = {"lines_novice", "lines_amateur", "lines_expert"};
  return "@" + track + "/" + kNames[std::clamp(skill, 0, 2)];
}

bool read_lines(LineLibrary& lib, const char* name) {
  for (LineRow& row : lib.rows) {
    for (LineSlot& s : row) free_slot(s);
  }
  data::DataStream* in = data::open_data(name, "r");
  if (!in) return false;
  int rows = 0;
  if (data::ds_scanf(in, "ct03 %d", &rows) != 1 || rows != static_cast<int>(lib.rows.size())) {
    data::close_data(in);
    return false;
  }
  for (int r = 0; r < rows; ++r) {
    int count = 0;
    if (data::ds_scanf(in, " %d", &count) != 1 || count < 0) break;
    int stored = 0;
    for (int n = 0; n < count; ++n) {
      int points = 0, a = 0, b = 0, tested = 0, best_a = 0, best_b = 0, sum_a = 0, sum_b = 0,
          cancels = 0;
      if (data::ds_scanf(in, " %d %d %d %d %d %d %d %d %d ", &points, &a, &b, &tested, &best_a,
                         &best_b, &sum_a, &sum_b, &cancels) != 9 ||
          points < 0) {
        r = rows;
        break;
      }
      LineSlot s;
      s.a = a, s.b = b, s.tested = std::max(tested, 0), s.best_a = best_a, s.best_b = best_b;
      s.sum_a = sum_a, s.sum_b = sum_b, s.cancels = std::max(cancels, 0);
      bool ok = true;
      for (int k = 0; k < points; ++k) {
        LinePoint p{};
        if (data::ds_scanf(in, " [ %f %f %f ] %f %f ", &p.x, &p.y, &p.z, &p.speed, &p.lean) != 5 ||
            !std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z) ||
            !std::isfinite(p.speed) || !std::isfinite(p.lean)) {
          ok = false;
          break;
        }
        try {
          s.points.push_back(p);
        } catch (const std::bad_alloc&) {
          platform::fatal_out_of_memory();
        }
      }
      if (!ok) s.points.clear();
      s.id = ++lib.next_id;
      // Counts grown huge over many races are halved, keeping the means, until they fit.
      for (int h = 0; h < 16 && (s.sum_b > 100000000 || s.tested >= 65536 || s.cancels > 65535);
           ++h) {
        const int t = s.tested;
        if (t > 0) {
          s.sum_a = s.sum_a / t * (t / 2);
          s.sum_b = s.sum_b / t * (t / 2);
        }
        s.tested = t / 2;
        s.cancels /= 2;
      }
      s.sum_a = std::min<std::int64_t>(s.sum_a, 100000000);
      s.sum_b = std::min<std::int64_t>(s.sum_b, 100000000);
      s.tested = std::min(s.tested, 65535);
      s.cancels = std::min(s.cancels, 65535);
      if (stored < kLineSlots) {
        s.last_picked = kNeverPicked;
        lib.rows[r][stored++] = std::move(s);
      }
      if (!ok) break;  // the rest of the file cannot be trusted to line up
    }
    if (lib.verbose) platform::log("%d: %d\n", r, stored);
  }
  data::close_data(in);
  lib.file = name;
  return true;
}

bool write_lines(const LineLibrary& lib, const char* name) {
  data::DataStream* out = data::open_data(name, "w");
  if (!out) return false;
  data::ds_printf(out, "ct03 %d\n", static_cast<int>(lib.rows.size()));
  for (const LineRow& row : lib.rows) {
    data::ds_printf(out, "%d\n", used_slots(row));
    for (const LineSlot& s : row) {
      if (s.empty()) continue;
      data::ds_printf(out, "%d %d %d %d %d %d %lld %lld %d\n", static_cast<int>(s.points.size()),
                      s.a, s.b, s.tested, s.best_a, s.best_b, static_cast<long long>(s.sum_a),
                      static_cast<long long>(s.sum_b), s.cancels);
      for (const LinePoint& p : s.points) {
        data::ds_printf(out, "[%f %f %f] %f %f\n", p.x, p.y, p.z, p.speed, p.lean);
      }
    }
  }
  const bool ok = data::ds_flush(out) == 0;
  data::close_data(out);
  return ok;
}

}  // namespace ai
