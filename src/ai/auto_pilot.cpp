// auto_pilot.cpp -- computer riders: the followed path built from racing lines, picking the
// next line, the start at the gate, and turning the path into the bike's controls.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>

#include "ai/ai.h"
#include "ai/pilot.h"
#include "platform/platform.h"
#include "race/race.h"

namespace ai {

PilotRace g_pilot_race;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTick = 1.0 / sim::kTicksPerSecond;
constexpr double kGravity = 32;            // ft/s²
constexpr double kPointSeconds = 0.25;     // lines are sampled every quarter second
constexpr double kTakeOffLimit = kPi / 8;  // 22.5 degrees
constexpr double kMaxGripAngle = 1.1780972;
// The geometry factor: the wanted lean is that of a turn k times as wide, and the roll rate
// starts limited to pi / k. At 1.6 the bikes reach the wanted lean without rocking from side
// to side on the straights (at 1.15 they overshot and fell; 2.2 and 3 ran wide).
constexpr double kGeometry = 1.6;
// A rider leans to no more than this share of what the ground's grip allows.
constexpr double kGripMargin = 0.8;
// A rider who has made no progress along his path for this long (wedged on a lip, fallen
// off the track) is put back on it.
constexpr int kRescueTicks = 12 * sim::kTicksPerSecond;
// The deceleration the rider plans with for slower points ahead (ft/s²): well inside what
// both brakes give on dirt, so that the lag of the controls is covered.
constexpr double kBraking = 16;
constexpr std::size_t kEasePoints =
    8;  // points over which a path joins a line that does not connect

const Personality kTable[kPersonalities] = {
    {"", 0, 0, 1.0, 0.2, 0.4},         {"kestrel", 0, 0, 1.0, 0.2, 0.4},
    {"harrier", 2, 1, 10.0, 0.2, 0.4}, {"merlin", 1, 0, 10.0, 0.0, 0.1},
    {"tester", 3, 3, 1.0, 0.2, 0.4},
};

platform::Mt19937 g_random;

double uniform() { return std::generate_canonical<double, 32>(g_random); }

double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

struct Frame {
  double x, y, z;
  double fx, fz;  // horizontal forward direction, unit
  double rx, rz;  // horizontal right
  double speed;
};

Frame frame_of(const sim::Bike* bike) {
  Frame f{};
  const dReal* p = sim::body_position(bike, sim::kFrame);
  f.x = p[0], f.y = p[1], f.z = p[2];
  const dReal* r = dBodyGetRotation(bike->body[sim::kFrame]);
  // Forward is the body's -z axis: minus the third column.
  double fx = -r[2], fz = -r[10];
  const double l = std::hypot(fx, fz);
  if (l > 1e-9)
    fx /= l, fz /= l;
  else
    fx = 0, fz = -1;
  f.fx = fx, f.fz = fz;
  f.rx = -fz, f.rz = fx;  // right of forward, with y up
  f.speed = sim::frame_speed(bike);
  return f;
}

double horizontal(double dx, double dz) { return std::hypot(dx, dz); }

// The path point at a fractional index (clamped into the path).
LinePoint path_at(const std::vector<LinePoint>& path, double at) {
  const int n = static_cast<int>(path.size());
  if (n == 0) return LinePoint{};
  at = std::clamp(at, 0.0, static_cast<double>(n - 1));
  const int i = std::min(static_cast<int>(at), n - 1);
  const int j = std::min(i + 1, n - 1);
  const double t = at - i;
  const LinePoint& a = path[static_cast<std::size_t>(i)];
  const LinePoint& b = path[static_cast<std::size_t>(j)];
  auto mix = [t](float u, float v) { return static_cast<float>(u + (v - u) * t); };
  return LinePoint{mix(a.x, b.x), mix(a.y, b.y), mix(a.z, b.z),
                   mix(std::fabs(a.speed), std::fabs(b.speed)), mix(a.lean, b.lean)};
}

// The frame's projection onto the path near `progress`, as a fractional index.
double project(const Pilot& p, const Frame& f) {
  const int n = static_cast<int>(p.path.size());
  if (n < 2) return 0;
  double best = 1e30, at = std::clamp(p.progress - 1, 0, n - 1);
  for (int i = std::max(0, p.progress - 16); i < std::min(n - 1, p.progress + 2); ++i) {
    const LinePoint& a = p.path[static_cast<std::size_t>(i)];
    const LinePoint& b = p.path[static_cast<std::size_t>(i + 1)];
    const double ex = b.x - a.x, ez = b.z - a.z;
    const double l2 = ex * ex + ez * ez;
    double t = l2 > 0 ? ((f.x - a.x) * ex + (f.z - a.z) * ez) / l2 : 0;
    t = clamp01(t);
    const double d = std::hypot(f.x - (a.x + ex * t), f.z - (a.z + ez * t));
    if (d < best) best = d, at = i + t;
  }
  return at;
}

// Progress: the next point is reached within 4 ft, or once the bike, within the capture
// radius, has gone past it along the leg that leads to it (past it along its own heading for
// the first point).
void advance(Pilot& p, const Frame& f, int now) {
  const int n = static_cast<int>(p.path.size());
  if (p.progress < n) {
    const LinePoint& q = p.path[static_cast<std::size_t>(p.progress)];
    const double d = horizontal(q.x - f.x, q.z - f.z);
    if (d < (p.lost == 3 ? 30 : 60)) {
      bool hold = false;
      if (d > 4) {
        double lx = f.fx, lz = f.fz;
        if (p.progress >= 1) {
          const LinePoint& o = p.path[static_cast<std::size_t>(p.progress - 1)];
          if (horizontal(q.x - o.x, q.z - o.z) > 1) lx = q.x - o.x, lz = q.z - o.z;
        }
        hold = (f.x - q.x) * lx + (f.z - q.z) * lz < 0;  // still short of the point
      }
      if (!hold) {
        ++p.progress;
        p.last_progress_tick = now;
        if (p.progress >= n) {
          p.progress = 0;
          p.path.clear();
        }
        if (p.lost > 0) --p.lost;
      }
    }
  }
  if (p.lost != 0 && now - p.last_progress_tick > 40 * sim::kTicksPerSecond && !p.path.empty()) {
    p.lost = 3;
    p.progress = now % static_cast<int>(p.path.size());
    p.last_progress_tick = now;
  }
}

// Whether this rider leads, and by how many seconds over the second rider.
double lead_seconds(int slot) {
  const race::Timing& t = race::g_timing;
  if (t.order_length < 2 || t.order[0].slot != slot) return 0;
  const int second = t.order[1].slot;
  const int k = t.bikes[static_cast<std::size_t>(second)].passed - 1;
  if (k < 0) return 0;
  const int lead = race::pass_tick(t, second, k) - race::pass_tick(t, slot, k);
  return lead > 0 ? lead * kTick : 0;
}

void pick_line(Pilot& p, int slot, const Frame& f, int now) {
  const int row = segment_row(g_lines, p.next_segment);
  if (row < 0) return;
  LineRow& lines = g_lines.rows[static_cast<std::size_t>(row)];
  bool any = false;
  for (const LineSlot& s : lines) any = any || !s.empty();
  if (!any) return;
  const int type = plan_type(slot);
  std::array<std::int64_t, kLineSlots> chain;
  chain_costs(g_lines, row, 8, type, chain);
  const std::int64_t least = *std::min_element(chain.begin(), chain.end());
  const int planned = type < kPlanTypes ? g_lines.plans[type][static_cast<std::size_t>(row)] : 0;
  const double t = g_pilot_race.now_seconds;
  double cx = 0, cz = 0, r0 = 0, v0 = 0;
  const std::size_t n = p.path.size();
  if (n >= 3) {
    circle_fit(p.path[n - 3], p.path[n - 2], p.path[n - 1], &cx, &cz);
    r0 = std::hypot(p.path[n - 1].x - cx, p.path[n - 1].z - cz);
    v0 = std::fabs(p.path[n - 1].speed);
  }
  int winner = 0;
  double best = 0;
  double best_match = 0;
  for (int j = 0; j < kLineSlots; ++j) {
    const LineSlot& s = lines[j];
    double pref = chain[j] < 1 ? 1 : static_cast<double>(least) / static_cast<double>(chain[j]);
    if (type < kPlanTypes && s.id != 0 && s.id == planned) {
      pref += (1 - pref) * clamp01((t - 40) * 0.05);
    }
    if (row == 0) pref = 0.8 + 0.2 * pref;
    double match = 0;
    if (n < 3) {
      if (!s.empty()) {
        const double d = std::sqrt((s.points[0].x - f.x) * (s.points[0].x - f.x) +
                                   (s.points[0].y - f.y) * (s.points[0].y - f.y) +
                                   (s.points[0].z - f.z) * (s.points[0].z - f.z));
        const double c = clamp01((100 - d) / 96);
        match = 10 * c * c * c;
      }
    } else if (s.points.size() >= 2) {
      const double d1 = std::hypot(s.points[0].x - cx, s.points[0].z - cz);
      const double d2 = std::hypot(s.points[1].x - cx, s.points[1].z - cz);
      const double a = clamp01((std::fabs(s.points[0].speed) + 15 - v0) / 5);
      const double b = clamp01((8.5 - std::fabs(r0 - d1)) / 3.5);
      const double g = clamp01((5 - std::fabs(d2 - d1)) / 2);
      match = a * std::pow(b * g, 3);
    }
    const double fresh = clamp01((now - s.last_picked) / 128.0 / 3);
    const double score = s.empty() ? 0 : pref * fresh + match;
    if (score > best) best = score, winner = j, best_match = match;
  }
  LineSlot& won = lines[winner];
  if (g_lines.verbose) {
    platform::log("auto pilot: picking %d score = %f match = %f last_picked = %f\n", winner, best,
                  best_match, won.last_picked / 128.0);
  }
  won.last_picked = now;
  if (!won.empty()) {
    const LinePoint& end = won.points.back();
    for (LineSlot& s : lines) {
      if (&s == &won || s.empty()) continue;
      const LinePoint& e = s.points.back();
      const double d2 = (e.x - end.x) * (e.x - end.x) + (e.y - end.y) * (e.y - end.y) +
                        (e.z - end.z) * (e.z - end.z);
      if (d2 < 9) s.last_picked = now;
    }
  }
  if (won.empty()) return;
  p.ring[static_cast<std::size_t>(p.next_segment % 4)] = won.id;
  ++p.next_segment;
  if (p.progress > 30) {
    p.path.erase(p.path.begin(), p.path.begin() + (p.progress - 30));
    p.progress = 30;
  }
  const std::size_t joined = p.path.size();
  p.path.insert(p.path.end(), won.points.begin(), won.points.end());
  // A line that does not start where the path ends (lines recorded on different laps) would
  // ask for a sudden swerve across to it; its first points are eased over from the path's
  // end instead, sideways only, so that the rider joins the new line over two seconds.
  if (joined >= 1 && won.points.size() >= 2) {
    const LinePoint& from = p.path[joined - 1];
    const LinePoint& a = won.points[0];
    const LinePoint& b = won.points[1];
    double dx = b.x - a.x, dz = b.z - a.z;
    const double len = std::hypot(dx, dz);
    if (len > 1e-3) {
      dx /= len, dz /= len;
      const double ox = from.x - a.x, oz = from.z - a.z;
      const double along = ox * dx + oz * dz;
      const double sx = ox - along * dx, sz = oz - along * dz;
      if (sx * sx + sz * sz > 4) {
        const std::size_t ease = std::min<std::size_t>(kEasePoints, won.points.size());
        for (std::size_t k = 0; k < ease; ++k) {
          const double w = 1 - static_cast<double>(k) / static_cast<double>(ease);
          LinePoint& q = p.path[joined + k];
          q.x += static_cast<float>(sx * w);
          q.z += static_cast<float>(sz * w);
        }
      }
    }
  }
}

bool in_first_gear(const sim::Bike* bike) { return bike->k.gear_ratios[1] > 0; }

// Holding the bike at the gate: seated, clutch out, both brakes, bars straight.
void hold(sim::Bike* bike, double throttle) {
  sim::Controls& c = bike->controls;
  sim::set_dab(bike, 1);
  sim::set_clutch(bike, 0);
  sim::set_front_brake(bike, 1);
  sim::set_rear_brake(bike, 1);
  sim::set_steer(bike, 0);
  sim::set_lean(bike, 0);
  c.gear = in_first_gear(bike) ? 1 : 0;
  sim::set_throttle(bike, sim::bike_crashed(bike) ? 0 : throttle);
}

// The start; true while it decides the controls.
bool start_step(Pilot& p, sim::Bike* bike) {
  const double now = g_pilot_race.now_seconds;
  const double ready = g_pilot_race.ready_tick * kTick;
  const double drop = g_pilot_race.start_tick * kTick;
  if (now >= drop + 5) return false;
  if (p.start_timer == 0) p.start_timer = uniform() * 2;
  if (now < ready) {
    // Blips of the throttle while the field lines up.
    double throttle = 0;
    if (p.start_timer > 0) {
      if (now >= p.start_timer) p.start_timer = -(now + 0.25 + uniform() * 0.5);
    }
    if (p.start_timer < 0) {
      if (now < -p.start_timer) {
        throttle = 1;
      } else {
        p.start_timer = std::min(now + 2 + uniform() * 0.5, drop);
      }
    }
    hold(bike, throttle);
    return true;
  }
  if (p.start_timer <= ready) p.start_timer = ready + 0.125 + uniform() * 0.375;
  if (now < p.start_timer && p.start_timer < drop && p.launch_at == 0) {
    hold(bike, 0);
    return true;
  }
  if (p.launch_at == 0) {
    const Personality& who = kTable[std::clamp(p.personality, 1, kPersonalities - 1)];
    p.launch_at = drop + who.reaction_min + uniform() * (who.reaction_max - who.reaction_min);
  }
  if (now < p.launch_at) {
    hold(bike, 1);  // full revs against the gate
    return true;
  }
  const double since = now - p.launch_at;
  if (since >= 2) return false;
  const double a = clamp01(4 * since);
  sim::set_throttle(bike, sim::bike_crashed(bike) ? 0 : 1);
  sim::set_dab(bike, 1 - a);
  sim::set_clutch(bike, a);
  sim::set_front_brake(bike, 0);
  sim::set_rear_brake(bike, 0);
  sim::set_steer(bike, 0);
  if (a < 0.75) bike->controls.gear = in_first_gear(bike) ? 1 : 0;
  p.throttle = 1;
  return true;
}

// The terrain's bank across a heading (as a lean: negative when the left side is higher).
double bank_at(double x, double z, double fx, double fz) {
  const double rx = -fz, rz = fx;
  const double left = sim::terrain_height(static_cast<float>(x - rx), static_cast<float>(z - rz));
  const double right = sim::terrain_height(static_cast<float>(x + rx), static_cast<float>(z + rz));
  return -std::atan((left - right) / 2);
}

// The nearest bike ahead in this bike's lane: its distance and speed.
bool traffic_ahead(const sim::Bike* bike, const Frame& f, double* distance, double* speed) {
  double nearest = 1e30;
  const double reach = 12 + f.speed * 1.5;
  for (int i = 0; i < g_pilot_race.count; ++i) {
    const sim::Bike* other = g_pilot_race.bikes[i];
    if (other == bike || other->presence <= 0.25f) continue;
    const dReal* q = sim::body_position(other, sim::kFrame);
    const double dx = q[0] - f.x, dz = q[2] - f.z;
    const double ahead = dx * f.fx + dz * f.fz;
    const double side = dx * f.rx + dz * f.rz;
    // Footprints 7 ft long and 3 ft wide: the lanes overlap within 3 ft sideways.
    if (ahead <= 0 || ahead > reach || std::fabs(side) > 3 || std::fabs(q[1] - f.y) > 6) continue;
    const double d2 = dx * dx + dz * dz;
    if (d2 < nearest) {
      nearest = d2;
      *distance = ahead;
      // Its speed along this bike's heading.
      const dReal* v = dBodyGetLinearVel(other->body[sim::kFrame]);
      *speed = v[0] * f.fx + v[2] * f.fz;
    }
  }
  return nearest < 1e30;
}

// Stands a bike at rest at (x, z), facing (tx, tz).
void stand_at(sim::Bike* bike, double x, double z, double tx, double tz) {
  sim::bike_reset(bike);
  const dReal* at = sim::body_position(bike, sim::kFrame);
  sim::bike_translate(bike, x - at[0],
                      sim::terrain_height(static_cast<float>(x), static_cast<float>(z)), z - at[2]);
  const dReal* r = dBodyGetRotation(bike->body[sim::kFrame]);
  const double heading = std::atan2(r[2], r[10]);
  sim::bike_rotate_yaw(bike, std::atan2(-(tx - x), -(tz - z)) - heading);
  sim::bike_place(bike);
}

// Puts a bike that is stuck (lying on its side, wedged on a lip, fallen off the track) back
// on its path at rest, facing along it; without a path at the gate it heads for.
void rescue(Pilot& p, sim::Bike* bike, int now) {
  const int n = static_cast<int>(p.path.size());
  if (n >= 2) {
    // The point of the path nearest the bike, not beyond the progress: never ahead of
    // where the rider got to (that would skip timing gates), only back onto the line.
    const dReal* at = sim::body_position(bike, sim::kFrame);
    const int last = std::clamp(p.progress - 1, 0, n - 2);
    int i = last;
    double nearest = 1e30;
    for (int k = last; k >= std::max(0, last - 12); --k) {
      const LinePoint& q = p.path[static_cast<std::size_t>(k)];
      const double d = std::hypot(q.x - at[0], q.z - at[2]);
      if (d < nearest) nearest = d, i = k;
    }
    const LinePoint& found = p.path[static_cast<std::size_t>(i)];
    if (p.rescues > 0 && std::hypot(found.x - p.rescue_x, found.z - p.rescue_z) < 2) {
      ++p.rescues;
    } else {
      p.rescues = 1;
    }
    p.rescue_x = found.x, p.rescue_z = found.z;
    i = std::min(i + 2 * (p.rescues - 1), n - 2);
    const LinePoint& a = p.path[static_cast<std::size_t>(i)];
    const LinePoint& b = p.path[static_cast<std::size_t>(i + 1)];
    stand_at(bike, a.x, a.z, b.x, b.z);
    p.progress = i + 1;
    p.lost = 3;
  } else if (!race::g_track.checkpoints.empty()) {
    const race::Track& track = race::g_track;
    const int k = race::g_timing.bikes[static_cast<std::size_t>(bike->slot)].passed;
    const race::TimingGate& from = track.checkpoints[static_cast<std::size_t>(
        race::sequence_checkpoint(track, std::max(k - 1, 0)))];
    const race::TimingGate& to =
        track.checkpoints[static_cast<std::size_t>(race::sequence_checkpoint(track, k))];
    stand_at(bike, from.centre.x, from.centre.z, to.centre.x, to.centre.z);
  }
  p.last_progress_tick = now;
  p.stuck_ticks = 0;
  p.throttle = 0;
}

// Counts the ticks the rider has been stuck: lying on its side at a standstill, or stopped
// while it should ride. True when it is time to put him back on his wheels.
bool stuck(Pilot& p, const sim::Bike* bike, double speed) {
  const bool lying = std::fabs(sim::bike_lean(bike)) > 1.1;
  if (!sim::bike_crashed(bike) && speed < 2 && (lying || speed < 0.5)) {
    ++p.stuck_ticks;
  } else {
    p.stuck_ticks = 0;
  }
  return p.stuck_ticks > (lying ? 3 : 8) * sim::kTicksPerSecond;
}

void drive(Pilot& p, sim::Bike* bike, int now) {
  const Frame f = frame_of(bike);
  // A fallen rider picks his bike up with a foot once it has stopped.
  const bool fallen =
      !sim::bike_crashed(bike) && f.speed < 5 && std::fabs(sim::bike_lean(bike)) > kTakeOffLimit;
  if (fallen) sim::set_dab(bike, 1);
  if (now - p.last_progress_tick > kRescueTicks && p.path.size() >= 2 && !sim::bike_crashed(bike)) {
    rescue(p, bike, now);
    return;
  }
  if (now - p.last_progress_tick > 3 * sim::kTicksPerSecond || p.path.size() < 2) {
    p.lost = 3;
    return;  // the last controls stay
  }
  const std::vector<LinePoint>& path = p.path;
  const int n = static_cast<int>(path.size());
  const double at = project(p, f);
  const double v = f.speed;
  double target = path_at(path, at).speed;
  // Slower points ahead: arrive at each no faster than the line did there, braking at a
  // rate the bike keeps on dirt. Without this the rider brakes where the line's rider
  // braked but later (the throttle and brakes lag), and runs wide out of fast turns.
  {
    double distance = 0;
    LinePoint last = path_at(path, at);
    for (int i = static_cast<int>(at) + 1; i < std::min(n, static_cast<int>(at) + 13); ++i) {
      const LinePoint& q = path[static_cast<std::size_t>(i)];
      distance += std::hypot(q.x - last.x, q.z - last.z);
      last = q;
      target = std::min(target, std::sqrt(q.speed * q.speed + 2 * kBraking * distance));
    }
  }
  double limit = kPi / kGeometry;

  // A take-off ahead: two airborne points in a row.
  double takeoff_time = 1e6;
  int takeoff = -1;
  for (int i = static_cast<int>(at) + 1; i < std::min(n - 1, static_cast<int>(at) + 21); ++i) {
    if (path[static_cast<std::size_t>(i)].speed < 0 &&
        path[static_cast<std::size_t>(i + 1)].speed < 0) {
      takeoff = i;
      takeoff_time = (i - at) * kPointSeconds;
      break;
    }
  }
  double aim_blend = 0;
  if (takeoff >= 0 && takeoff_time < 3) {
    const double w = clamp01((3 - takeoff_time) / 2);
    target += (std::max(v, target + 2) - target) * w;
    limit += (kTakeOffLimit - limit) * clamp01((3 - takeoff_time) / 3);
    aim_blend = clamp01((2 - takeoff_time) * 2);
  }

  // The aim point.
  int skipped = 0;
  double aim_at = at + 4;
  const bool started = race::g_timing.bikes[static_cast<std::size_t>(bike->slot)].passed > 0;
  if (started) {
    while (skipped < 7) {
      const LinePoint q = path_at(path, at + 1 + skipped);
      const double dx = q.x - f.x, dz = q.z - f.z;
      const double ahead = dx * f.fx + dz * f.fz;
      const double side = dx * f.rx + dz * f.rz;
      if (!(ahead < 0 && std::fabs(side) <= -ahead / 8)) break;
      ++skipped;
    }
    const double lean_now = std::fabs(sim::bike_lean(bike));
    aim_at = at + skipped + (skipped > 4 && lean_now < kTakeOffLimit ? 3 : 2);
  }
  LinePoint aim = path_at(path, aim_at);
  if (aim_blend > 0) {
    // The take-off's line: through the take-off point along the path there. The aim moves
    // onto it as far ahead of the bike as the aim was, so that the bike lines up with the
    // face; aiming at a point of the face itself swerves once the bike is nearly there.
    const LinePoint& t0 = path[static_cast<std::size_t>(takeoff)];
    const LinePoint& t1 = path[static_cast<std::size_t>(takeoff + 1)];
    double dx = t1.x - t0.x, dz = t1.z - t0.z;
    const double len = std::hypot(dx, dz);
    if (len > 1e-3) {
      dx /= len, dz /= len;
      const double reach = std::max(std::hypot(aim.x - f.x, aim.z - f.z), 10.0);
      const double along = (f.x - t0.x) * dx + (f.z - t0.z) * dz + reach;
      const double tx = t0.x + dx * along, tz = t0.z + dz * along;
      aim.x += static_cast<float>((tx - aim.x) * aim_blend);
      aim.z += static_cast<float>((tz - aim.z) * aim_blend);
    }
  }
  const double skip_factor = clamp01((20.0 - skipped) / 17);
  const double gain = 4 * skip_factor;
  limit *= skip_factor;

  // The turn that leaves the bike along its heading and passes through the aim point.
  const double ax = aim.x - f.x, az = aim.z - f.z;
  const double ahead = ax * f.fx + az * f.fz;
  const double side = ax * f.rx + az * f.rz;  // > 0: to the right
  double radius = 10;
  if (ahead > 0 && std::fabs(side) > 1e-6)
    radius = (ahead * ahead + side * side) / (2 * std::fabs(side));
  if (ahead > 0 && std::fabs(side) <= 1e-6) radius = 1e9;
  const double turn_sign = side > 0 ? -1 : 1;  // leaning right is negative
  double wanted = turn_sign * std::atan(v * v / (kGravity * radius * kGeometry));
  // The grip of the ground ahead limits the lean; a limited lean asks for less speed.
  const double phase = clamp01((v - 7.5) / 2.5);
  for (int k = 0; k < 5 && phase > 0; ++k) {
    const int i = std::min(static_cast<int>(at) + k, n - 1);
    const int j = std::min(i + 1, n - 1);
    const LinePoint& q = path[static_cast<std::size_t>(i)];
    double hx = path[static_cast<std::size_t>(j)].x - q.x,
           hz = path[static_cast<std::size_t>(j)].z - q.z;
    const double hl = std::hypot(hx, hz);
    if (hl < 1e-6)
      hx = f.fx, hz = f.fz;
    else
      hx /= hl, hz /= hl;
    const int surface = sim::terrain_surface_at(q.x, q.z);
    const double mu = sim::surface_friction(surface, 4.0f);
    const double grip = std::min(std::atan(std::max(mu * kGripMargin, 0.0)), kMaxGripAngle);
    const double bank = bank_at(q.x, q.z, hx, hz);
    const double limited = std::clamp(wanted, bank - grip, bank + grip);
    if (limited != wanted) {
      // The speed at which this turn asks for no more than the limited lean.
      const double allowed =
          std::sqrt(kGravity * radius * kGeometry * std::tan(std::fabs(limited)));
      target = std::min(target, v + (allowed - v) * phase);
      wanted = wanted + (limited - wanted) * phase;
      p.correction_tick = now;
    }
  }

  // Roll-rate steering: the roll rate towards the wanted lean, limited.
  const double lean = sim::bike_lean(bike);
  const double correction = gain * (wanted - lean);
  double s = limit;
  if ((lean >= 0 && correction < 0) || (lean < 0 && correction >= 0)) s *= 2;
  const double w_target = std::clamp(correction, -s, s);
  dVector3 w_body;
  const dReal* w = dBodyGetAngularVel(bike->body[sim::kFrame]);
  dBodyVectorFromWorld(bike->body[sim::kFrame], w[0], w[1], w[2], w_body);
  const double roll = w_body[2];
  double roll_term = 0;
  if (w_target - roll > 0.125)
    roll_term = 4 * (roll - (w_target - 0.125));
  else if (w_target - roll < -0.125)
    roll_term = 4 * (roll - (w_target + 0.125));
  // The arcade controller with no input: the bars follow the front wheel's own direction.
  const double base = sim::arcade_steering_command(bike, 0);
  double steer = base;
  if (bike->wheel[0].depth > 0) {
    const dReal* cv = bike->wheel[0].velocity;
    const double slip = std::sqrt(cv[0] * cv[0] + cv[1] * cv[1] + cv[2] * cv[2]);
    steer = base + (roll_term - base) * clamp01((4 - slip) / 4);
  }
  sim::set_steer(bike, std::clamp(steer, -1.0, 1.0));

  // Traffic ahead: follow it rather than ride into it.
  double gap = 0, other = 0;
  if (traffic_ahead(bike, f, &gap, &other)) {
    target = std::min(target, std::max(0.0, other) + std::max(0.0, gap - 8) * 0.75);
  }

  // Speed.
  double throttle = 0;
  sim::set_lean(bike, 0);
  sim::set_dab(bike, fallen ? 1 : 0);
  double clutch = 1;
  bool clutch_set = false;
  if (bike->wheel[1].depth > 0) {
    double brake = 0;
    if (v < target - 1)
      throttle = 1;
    else if (v < target)
      throttle = 1 - (v - (target - 1));
    else
      brake = std::min(1.0, v - target);
    sim::set_front_brake(bike, brake);
    sim::set_rear_brake(bike, brake);
  } else {
    sim::set_front_brake(bike, 0);
    sim::set_rear_brake(bike, 0);
    const double pitch_rate = w_body[0];
    const double yf = sim::body_position(bike, sim::kFrontWheel)[1];
    const double yr = sim::body_position(bike, sim::kRearWheel)[1];
    if ((yr <= yf && pitch_rate < -kPi / 4) || (yr > yf && pitch_rate < 0)) {
      throttle = 1;
      clutch = 0.125, clutch_set = true;
    } else if (yf > yr + 1 && pitch_rate >= -0.39269908) {
      sim::set_rear_brake(bike, 1);
      clutch = 0, clutch_set = true;
    } else {
      clutch = 0.125, clutch_set = true;
    }
  }
  // Smoothing: after a steering correction the throttle may drop at once but rises slowly;
  // otherwise it rises at once and falls slowly.
  if (now - p.correction_tick < sim::kTicksPerSecond / 8) {
    throttle = std::min(throttle, p.throttle + 1.0 / 32);
  } else {
    throttle = std::max(throttle, p.throttle - 1.0 / 32);
  }
  if (sim::bike_crashed(bike)) throttle = 0;
  p.throttle = throttle;
  sim::set_throttle(bike, throttle);
  // Automatic shifting drops to neutral at a standstill and never leaves it.
  if (bike->controls.gear == 0 && in_first_gear(bike) && !sim::bike_crashed(bike)) {
    sim::shift(bike, 1);
  } else {
    sim::shift(bike, 0);
  }
  if (!clutch_set) {
    if (bike->controls.gear >= 1) {
      clutch = 1;
    } else {
      const double rpm = sim::engine_rpm(bike);
      const double l = bike->k.idle_rpm + 2000;
      clutch = clamp01((rpm - (l - 1000)) / 1000);
    }
  }
  sim::set_clutch(bike, clutch);
}

// Rides for the gate of sequence position k, at a moderate pace.
void ride_to_gates(sim::Bike* bike, int k) {
  const race::Track& track = race::g_track;
  const race::TimingGate& gate =
      track.checkpoints[static_cast<std::size_t>(race::sequence_checkpoint(track, k))];
  const race::TimingGate& next =
      track.checkpoints[static_cast<std::size_t>(race::sequence_checkpoint(track, k + 1))];
  const dReal* at = sim::body_position(bike, sim::kFrame);
  const double d = horizontal(gate.centre.x - at[0], gate.centre.z - at[2]);
  const double blend = clamp01(1 - d / 40) * 0.5;
  pilot_steer_towards(bike, gate.centre.x + (next.centre.x - gate.centre.x) * blend,
                      gate.centre.z + (next.centre.z - gate.centre.z) * blend);
  pilot_hold_speed(bike, 30);
  sim::set_clutch(bike, 1);
  sim::set_dab(bike, 0);
  sim::set_lean(bike, 0);
  if (sim::bike_crashed(bike)) sim::set_throttle(bike, 0);
  sim::shift(bike, bike->controls.gear == 0 && !sim::bike_crashed(bike) ? 1 : 0);
}

// After the finish the rider rolls down the rest of its path, slowing to a quarter.
void slow_after_finish(Pilot& p) {
  const int n = static_cast<int>(p.path.size());
  const int from = std::clamp(p.progress, 0, n);
  for (int j = from; j < n; ++j) {
    const double share = n > from ? 0.25 + 0.75 * (n - j) / double(n - from) : 0.25;
    p.path[static_cast<std::size_t>(j)].speed *= static_cast<float>(share);
  }
}

}  // namespace

const Personality* personalities() { return kTable; }

int plan_type(int slot) {
  const Personality& who = kTable[std::clamp(g_pilots[static_cast<std::size_t>(slot)].personality,
                                             1, kPersonalities - 1)];
  return lead_seconds(slot) > who.lead_threshold ? who.lead_type : who.normal_type;
}

int find_personality(const char* name) {
  for (int i = 1; i < kPersonalities; ++i) {
    if (name && std::strcmp(name, kTable[i].name) == 0) return i;
  }
  platform::log("auto pilot personality '%s' not found\n", name ? name : "");
  return 1;
}

void pilots_setup(unsigned seed) {
  g_random.seed(seed);
  for (Pilot& p : g_pilots) {
    std::vector<LinePoint> b0 = std::move(p.buffer[0]), b1 = std::move(p.buffer[1]);
    std::vector<LinePoint> path = std::move(p.path);
    b0.clear(), b1.clear(), path.clear();
    p = Pilot{};
    p.buffer[0] = std::move(b0), p.buffer[1] = std::move(b1), p.path = std::move(path);
  }
}

void pilot_begin(int slot, bool computer, const char* personality) {
  if (slot < 0 || slot >= kPilotSlots) return;
  Pilot& p = g_pilots[slot];
  p.in_use = true;
  p.computer = computer;
  // Room for a long segment or path, so that riding allocates nothing.
  if (computer) {
    p.path.reserve(4096);
    set_personality(slot, personality);
  } else {
    p.buffer[0].reserve(2048);
    p.buffer[1].reserve(2048);
  }
}

void set_personality(int slot, const char* name) {
  if (slot < 0 || slot >= kPilotSlots) return;
  g_pilots[slot].personality = find_personality(name);
}

void auto_pilot_step(sim::Bike* bike) {
  const int slot = bike->slot;
  if (slot < 0 || slot >= kPilotSlots) return;
  Pilot& p = g_pilots[slot];
  const int now = sim::g_sim.tick;
  const Frame f = frame_of(bike);
  advance(p, f, now);
  const bool finished = race::g_timing.bikes[static_cast<std::size_t>(slot)].finished;
  if (finished && !p.finished) {
    p.finished = true;
    slow_after_finish(p);
  }
  // Lines are picked once the rider is close to the end of what it follows. Room is made
  // first so that appending a line never reallocates.
  if (!finished && p.progress >= static_cast<int>(p.path.size()) - 10 && !g_lines.rows.empty()) {
    pick_line(p, slot, f, now);
  }

  if (start_step(p, bike)) {
    p.last_progress_tick = std::max(p.last_progress_tick, now);
    return;
  }
  if (stuck(p, bike, f.speed) && !finished) {
    rescue(p, bike, now);
    return;
  }
  // Without a line to follow here (a track without lines, or a stretch none was learned
  // for) the rider rides gate to gate until the line of a later segment starts ahead of him.
  const bool off_path = p.path.size() < 2 ||
                        (p.progress == 0 && horizontal(p.path[0].x - f.x, p.path[0].z - f.z) > 60);
  if (off_path && !race::g_track.checkpoints.empty()) {
    const race::BikeTiming& timing = race::g_timing.bikes[static_cast<std::size_t>(slot)];
    const int segment = segments_before(timing.passed);
    if (p.path.empty() && p.next_segment <= segment) p.next_segment = segment + 1;
    ride_to_gates(bike, timing.passed);
    p.last_progress_tick = now;
    p.throttle = bike->controls.throttle;
    return;
  }
  drive(p, bike, now);
}

bool racing_line_heading(const sim::Bike* bike, double* heading) {
  const int slot = bike->slot;
  if (slot < 0 || slot >= kPilotSlots || !g_pilots[slot].computer) return false;
  const Pilot& p = g_pilots[slot];
  const int n = static_cast<int>(p.path.size());
  if (n < 2) return false;
  const Frame f = frame_of(bike);
  const double at = project(p, f);
  const LinePoint a = path_at(p.path, at);
  const LinePoint b = path_at(p.path, std::min(at + 1, n - 1.0));
  const double dx = b.x - a.x, dz = b.z - a.z;
  if (std::hypot(dx, dz) < 1e-3) return false;
  *heading = std::atan2(-dx, -dz);  // 0 faces -z, positive turns left
  return true;
}

}  // namespace ai
