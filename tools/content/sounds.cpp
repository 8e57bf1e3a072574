// sounds.cpp -- the engine sounds: a description, a sound table and samples per class.
//
// Each engine class gets "default<class>.braap" (pipe, torque range, rpm
// jitter and the name of its sound table), "sounds/<class>.table" (rows of
// engine speed by columns of load) and one raw sample per table cell:
// 16-bit signed little-endian mono, a few recorded firing cycles back to back.
//
// The game plays one recorded cycle per firing, stretched to the firing
// period, so a cell holds what one firing sounds like at its row's engine
// speed: the cycles are synthesised at 44,100 samples per second exactly one
// firing period long. A firing is a blow-down pressure pulse (wider on a
// four-stroke's valve than on a two-stroke's port) with a burst of flow noise,
// rung through the resonances of the engine and its pipe:
// - four-strokes fire every other turn; a low body thump and low formants
//   carry most of the sound, with little noise (a deep, round beat);
// - two-strokes fire every turn through an expansion chamber: higher
//   formants, a lot of flow noise and cycle-to-cycle roughness (the rasp),
//   brighter still where the pipe comes on at the power band.
// Smaller engines sit higher on every resonance. With the throttle closed the
// pulses shrink; a four-stroke pops now and then on the overrun and a
// two-stroke misfires every few turns, through the cells' remap lists.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "content/content.h"

namespace content {

namespace {

constexpr double kRate = 44100;  // samples per second

struct Resonance {
  double hz;
  double bandwidth;  // Hz
  double gain;
};

struct EngineClass {
  const char* name;  // the catalogue's class
  const char* description;
  bool four_stroke;
  float first_row, last_row, row_step;  // rpm of the table's rows
  float min_rpm;
  float low_torque, high_torque;  // ft·lbf mapped to load 0 and 1
  const char* pipe;               // the .braap "pipe" line's values
  const char* scale;              // per-firing engine-speed factors
  double pulse_degrees;           // crank angle of the blow-down pulse
  double pulse_rise;              // the part of it spent rising: a sharp onset barks
  Resonance body;                 // the low thump
  Resonance formants[3];
  double noise;  // flow noise against the pulse
  Resonance noise_band;
  double roughness;  // cycle-to-cycle spread of the pulse size
  double power_rpm;  // where a two-stroke's pipe comes on
  unsigned seed;
};

// Torque ranges run from about the closed-throttle drag at high revs to the
// class's peak full-throttle torque, so that wide open reads as full load.
const EngineClass kClasses[] = {
    {"450f",
     "450 cc four-stroke single",
     true,
     1500,
     12000,
     1500,
     1100,
     -6,
     34,
     "4.6 0.9 -0.55 0 15",
     "1 0.985 1.01 0.995 1.012 0.99 1.004",
     85,
     0.12,
     {85, 30, 2.0},
     {{230, 110, 2.4}, {640, 240, 2.6}, {1700, 500, 1.0}},
     0.25,
     {1400, 1000, 4.0},
     0.06,
     0,
     450},
    {"250f",
     "250 cc four-stroke single",
     true,
     1500,
     13500,
     1500,
     1200,
     -4,
     19,
     "3.6 0.7 -0.55 0 15",
     "1 0.99 1.008 0.996 1.006",
     70,
     0.1,
     {125, 45, 1.5},
     {{360, 150, 2.2}, {1050, 320, 2.6}, {2600, 700, 1.3}},
     0.3,
     {2000, 1300, 3.5},
     0.05,
     0,
     250},
    {"250",
     "250 cc two-stroke single",
     false,
     1500,
     10500,
     1500,
     1000,
     -3,
     31,
     "2.2 0.35 -0.6 0 15",
     "1 1.004 0.997 1.002 0.995",
     48,
     0.08,
     {150, 60, 1.0},
     {{520, 170, 2.2}, {1400, 320, 1.6}, {3200, 900, 0.8}},
     0.55,
     {3000, 2200, 2.4},
     0.16,
     8000,
     2501},
    {"125",
     "125 cc two-stroke single",
     false,
     1500,
     15000,
     1500,
     1100,
     -2.5f,
     16.5f,
     "1.7 0.3 -0.6 0 15",
     "1 1.005 0.996 1.003 0.994",
     44,
     0.08,
     {210, 80, 0.7},
     {{760, 220, 2.2}, {2000, 450, 1.6}, {4400, 1200, 0.9}},
     0.6,
     {4000, 2600, 3.0},
     0.18,
     11000,
     125},
    {"50",
     "50 cc two-stroke single",
     false,
     1500,
     15000,
     1500,
     1100,
     -1,
     4,
     "1.3 0.25 -0.55 0 15",
     "1 1.006 0.995 1.004 0.993",
     44,
     0.08,
     {280, 110, 0.5},
     {{1000, 300, 2.0}, {2600, 600, 1.6}, {5400, 1500, 1.0}},
     0.55,
     {5000, 3000, 3.0},
     0.2,
     11000,
     50},
};

constexpr float kLoads[] = {0, 0.5f, 1};

// A band-pass filter with unit gain at its centre frequency.
struct BandPass {
  double b0 = 0, b2 = 0, a1 = 0, a2 = 0;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

  explicit BandPass(const Resonance& r) {
    const double w = 2 * std::numbers::pi * std::min(r.hz, kRate * 0.45) / kRate;
    const double q = r.hz / r.bandwidth;
    const double alpha = std::sin(w) / (2 * q);
    const double a0 = 1 + alpha;
    b0 = alpha / a0;
    b2 = -alpha / a0;
    a1 = -2 * std::cos(w) / a0;
    a2 = (1 - alpha) / a0;
  }
  double operator()(double x) {
    const double y = b0 * x + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }
};

// -1..1 from the generator's own 32-bit output, the same on every standard library.
double noise(std::mt19937& random) { return static_cast<double>(random()) / 2147483648.0 - 1; }

// What one recorded firing does besides its size.
enum class Firing { kNormal, kPop, kMisfire };

// How the firings of a closed-throttle cell are recorded and replayed.
struct CellPlan {
  std::vector<Firing> firings;  // one per recorded cycle
  std::vector<int> remap;       // the order they play in; empty: as recorded
};

CellPlan plan_cell(const EngineClass& engine, float rpm, float load) {
  CellPlan plan;
  const int cycles = engine.four_stroke ? 6 : 8;
  plan.firings.assign(cycles, Firing::kNormal);
  if (load > 0) return plan;
  if (engine.four_stroke && rpm >= 4500) {
    // Overrun: now and then unburnt mixture pops in the pipe.
    plan.firings[5] = Firing::kPop;
    plan.remap = {0, 1, 2, 3, 4, 0, 2, 1, 3, 4, 1, 0, 5, 2, 3, 4, 0, 1, 3, 2, 4, 1, 0, 2};
  } else if (!engine.four_stroke) {
    // A two-stroke off the throttle fires unevenly, missing every few turns.
    plan.firings[5] = plan.firings[6] = plan.firings[7] = Firing::kMisfire;
    plan.remap = {0, 5, 1, 2, 6, 3, 4, 7, 0, 1, 5, 2};
  }
  return plan;
}

// The recorded cycles of one cell, one firing period of `rpm` each.
std::vector<double> synthesise_cell(const EngineClass& engine, float rpm, float load,
                                    const CellPlan& plan, unsigned seed) {
  const double turns_per_firing = engine.four_stroke ? 2 : 1;
  const double period = kRate * 60 / rpm * turns_per_firing;  // samples
  const int cycle_samples = static_cast<int>(std::lround(period));
  const int cycles = static_cast<int>(plan.firings.size());
  const int total = cycle_samples * cycles;
  const double pulse = std::max(4.0, kRate * 60 / rpm * engine.pulse_degrees / 360);

  // The pipe comes on round the power band: more ring and more rasp.
  double on_pipe = 0;
  if (engine.power_rpm > 0) {
    const double d = (rpm - engine.power_rpm) / 2500;
    on_pipe = std::exp(-d * d);
  }
  const double throttle = 0.3 + 0.7 * load;

  // The excitation: a pulse and a burst of noise at the start of every cycle.
  std::mt19937 random(seed);
  std::vector<double> drive(total, 0.0), flow(total, 0.0);
  for (int k = 0; k < cycles; ++k) {
    double size = throttle * (1 + engine.roughness * noise(random));
    double hiss = engine.noise * (0.5 + 0.5 * load + 0.5 * on_pipe);
    double width = pulse;
    switch (plan.firings[k]) {
      case Firing::kNormal:
        break;
      case Firing::kPop:  // a sharp crack
        size = 1.3;
        hiss *= 2.5;
        width = std::max(4.0, pulse * 0.35);
        break;
      case Firing::kMisfire:  // only the scavenging breath
        size *= 0.12;
        hiss *= 0.4;
        break;
    }
    const double hiss_decay = period * (engine.four_stroke ? 0.18 : 0.35);
    for (int i = 0; i < cycle_samples; ++i) {
      const int at = k * cycle_samples + i;
      const double rise = std::max(1.0, width * engine.pulse_rise);
      if (i < rise) {
        drive[at] = size * (i / rise) * (i / rise);
      } else if (i < width) {
        const double fall = (i - rise) / (width - rise);  // 0..1
        const double c = std::cos(std::numbers::pi / 2 * fall);
        drive[at] = size * c * c;
      }
      flow[at] = hiss * std::exp(-i / hiss_decay) * noise(random);
    }
  }

  // Ring the excitation through the resonances three times round, keeping the
  // last: the filters have settled into the loop, so its end runs into its start.
  BandPass body(engine.body);
  std::vector<BandPass> formants;
  for (const Resonance& r : engine.formants) formants.emplace_back(r);
  BandPass rasp(engine.noise_band);
  double formant_gain[3];
  for (int i = 0; i < 3; ++i) {
    formant_gain[i] = engine.formants[i].gain * (1 + 0.6 * on_pipe * i);
  }
  std::vector<double> cell(total, 0.0);
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < total; ++i) {
      const double x = drive[i];
      double y = engine.body.gain * body(x) + 0.3 * x;
      for (int f = 0; f < 3; ++f) y += formant_gain[f] * formants[f](x + 0.5 * flow[i]);
      y += engine.noise_band.gain * rasp(flow[i]);
      cell[i] = y;
    }
  }

  double mean = 0;
  for (double v : cell) mean += v;
  mean /= total;
  for (double& v : cell) v -= mean;
  return cell;
}

std::string sample_bytes(const std::vector<double>& values) {
  std::string bytes(values.size() * 2, '\0');
  for (std::size_t i = 0; i < values.size(); ++i) {
    const long v = std::clamp(std::lround(values[i] * 32768), -32768L, 32767L);
    const auto u = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
    bytes[i * 2] = static_cast<char>(u & 0xff);
    bytes[i * 2 + 1] = static_cast<char>(u >> 8);
  }
  return bytes;
}

void write_class(Output& out, const EngineClass& engine) {
  std::vector<float> rows;
  for (float rpm = engine.first_row; rpm <= engine.last_row + 1; rpm += engine.row_step) {
    rows.push_back(rpm);
  }
  const int columns = static_cast<int>(std::size(kLoads));
  const std::string table_name = format("sounds/%s.table", engine.name);
  std::string table = format("SOUNDTABLE %d %d\n", static_cast<int>(rows.size()), columns);
  for (float rpm : rows) table += format("%.0f ", rpm);
  table.back() = '\n';
  for (float load : kLoads) table += format("%g ", load);
  table.back() = '\n';

  for (std::size_t r = 0; r < rows.size(); ++r) {
    // Louder as the revs rise; every column of a row shares the full-throttle cell's scale.
    const double position = (rows[r] - rows.front()) / (rows.back() - rows.front());
    const double peak = 0.6 + 0.3 * position;
    std::vector<std::vector<double>> cells;
    std::vector<CellPlan> plans;
    for (int c = 0; c < columns; ++c) {
      plans.push_back(plan_cell(engine, rows[r], kLoads[c]));
      cells.push_back(synthesise_cell(engine, rows[r], kLoads[c], plans.back(),
                                      engine.seed * 1000 + static_cast<unsigned>(r * 10 + c)));
    }
    double loudest = 1e-9;
    for (double v : cells.back()) loudest = std::max(loudest, std::fabs(v));
    for (int c = 0; c < columns; ++c) {
      for (double& v : cells[c]) v *= peak / loudest;
      const std::string sample =
          format("sounds/%s_%05.0f_%03.0f.raw", engine.name, rows[r], kLoads[c] * 100);
      write_file(out, sample, sample_bytes(cells[c]));
      for (int entry : plans[c].remap) table += format("%d ", entry);
      table += format("-1 %d @%s\n", static_cast<int>(plans[c].firings.size()), sample.c_str());
    }
  }
  write_file(out, table_name, table);

  std::string braap = format("# Korvex engine sound: %s.\n", engine.description);
  braap += format("soundtable @%s\n", table_name.c_str());
  braap += format("minrpm %g\n", engine.min_rpm);
  braap += format("lowtorque %g\n", engine.low_torque);
  braap += format("hightorque %g\n", engine.high_torque);
  braap += format("pipe %s\n", engine.pipe);
  braap += "bias 0\n";
  braap += format("scale %s\n", engine.scale);
  write_file(out, format("default%s.braap", engine.name), braap);
}

}  // namespace

void write_sounds(Output& out) {
  for (const EngineClass& engine : kClasses) write_class(out, engine);
}

}  // namespace content
