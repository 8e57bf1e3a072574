// ride_sound_test.cpp -- the engine as korvex-ride --wav records it, measured: the firing
// frequency follows the revs through an acceleration, the classes differ in brightness at
// the same revs, and a 60 mph pass-by shifts the pitch by the Doppler ratio.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "shell/catalogue.h"
#include "sim/sim.h"
#include "sound/sound.h"
#include "support/test_support.h"

namespace {

using test_support::TempDir;

constexpr double kTick = 1.0 / 128;
// The voice is written 0.1 s ahead of what plays: what is heard at a moment was made from the
// engine 0.1 s earlier.
constexpr double kAhead = 0.1;

struct Ride {
  int status = -1;
  std::string err;
  std::map<std::string, std::string> figures;
  std::vector<std::int16_t> wav;
  int rate = 0;
  std::vector<std::map<std::string, double>> ticks;  // the CSV rows of bike 0
};

Ride ride(std::vector<std::string> args) {
  TempDir out;
  const std::string wav = out.file("engine.wav"), csv = out.file("ride.csv");
  args.insert(args.end(), {"--wav", wav, "--csv", csv});
  TempDir user;
  const auto result =
      test_support::run_program(KORVEX_RIDE_EXE, args, test_support::korvex_env(user));
  Ride r;
  r.status = result.status;
  r.err = result.err;
  r.figures = test_support::key_values(result.out);
  platform::wav_read(wav.c_str(), r.wav, &r.rate);
  std::ifstream file(csv);
  std::string line;
  std::vector<std::string> names;
  if (std::getline(file, line)) {
    std::istringstream header(line);
    for (std::string name; std::getline(header, name, ',');) names.push_back(name);
  }
  while (std::getline(file, line)) {
    std::istringstream cells(line);
    std::map<std::string, double> row;
    std::size_t i = 0;
    for (std::string cell; std::getline(cells, cell, ',') && i < names.size(); ++i) {
      row[names[i]] = std::atof(cell.c_str());
    }
    if (row["bike"] == 0) r.ticks.push_back(row);
  }
  return r;
}

// The firing frequency (Hz) heard from `begin` to `end` seconds of the recording: the
// strongest repetition of the loudness envelope between 10 and 400 Hz, taking the shortest
// lag nearly as strong as the strongest (a firing rather than a run of them). With `near`
// (Hz), only repetitions within 30 % of it count, and the strongest of them.
double firing_frequency(const Ride& r, double begin, double end, double near = 0) {
  const int from = static_cast<int>(begin * r.rate), to = static_cast<int>(end * r.rate);
  constexpr int kDecimate = 4;
  std::vector<double> envelope;
  double level = 0, sum = 0;
  for (int i = from; i < to; ++i) {
    level += (std::fabs(r.wav[static_cast<std::size_t>(i)] / 32768.0) - level) * 0.01;
    sum += level;
    if ((i - from) % kDecimate == kDecimate - 1) {
      envelope.push_back(sum / kDecimate);
      sum = 0;
    }
  }
  double mean = 0;
  for (double v : envelope) mean += v;
  mean /= static_cast<double>(envelope.size());
  for (double& v : envelope) v -= mean;
  const double rate = static_cast<double>(r.rate) / kDecimate;
  const int shortest = static_cast<int>(near > 0 ? rate / (1.3 * near) : rate / 400);
  const int longest = static_cast<int>(near > 0 ? rate * 1.3 / near : rate / 10);
  std::vector<double> correlation(static_cast<std::size_t>(longest) + 2, 0.0);
  for (int lag = shortest - 1; lag <= longest + 1; ++lag) {
    double s = 0;
    for (std::size_t i = 0; i + static_cast<std::size_t>(lag) < envelope.size(); ++i) {
      s += envelope[i] * envelope[i + static_cast<std::size_t>(lag)];
    }
    correlation[static_cast<std::size_t>(lag)] = s / static_cast<double>(envelope.size() - lag);
  }
  const double strongest = *std::max_element(correlation.begin() + shortest, correlation.end() - 1);
  for (int lag = shortest; lag <= longest; ++lag) {
    const double a = correlation[static_cast<std::size_t>(lag) - 1],
                 b = correlation[static_cast<std::size_t>(lag)],
                 c = correlation[static_cast<std::size_t>(lag) + 1];
    if (b >= (near > 0 ? 1.0 : 0.8) * strongest && b >= a && b >= c) {
      // The peak between the lags, on the parabola through the three.
      const double shift = a - 2 * b + c != 0 ? 0.5 * (a - c) / (a - 2 * b + c) : 0;
      return rate / (lag + shift);
    }
  }
  return 0;
}

// The power-weighted mean frequency (Hz) of `n` samples from `begin` s, up to 11,025 Hz.
double spectral_centroid(const Ride& r, double begin, int n) {
  const auto from = r.wav.begin() + static_cast<long>(begin * r.rate);
  std::vector<double> x(from, from + n);
  for (double& v : x) v /= 32768.0;
  return test_support::spectral_centroid(x, r.rate, 11025);
}

// A catalogue bike of each class.
std::map<std::string, std::string> bike_of_each_class() {
  std::map<std::string, std::string> bikes;
  for (const sim::BikeInfo* const* bike = shell::bike_catalogue(); *bike; ++bike) {
    bikes.emplace((*bike)->bike_class, (*bike)->name);
  }
  return bikes;
}

double pulses_per_rev(const std::string& bike_class) {
  return sound::class_default_engine(bike_class.c_str()).pulses_per_rev;
}

// Mean of a CSV column over the ticks of [begin, end) seconds.
double mean_over(const Ride& r, const char* column, double begin, double end) {
  double sum = 0;
  int n = 0;
  for (const auto& row : r.ticks) {
    const double t = row.at("tick") * kTick;
    if (t >= begin && t < end) {
      sum += row.at(column);
      ++n;
    }
  }
  return n ? sum / n : 0;
}

TEST(RideSound, FiringFrequencyFollowsTheRevs) {
  if (test_support::kSanitized)
    GTEST_SKIP() << "ten seconds ridden and measured: the normal build runs it";
  const Ride r = ride({"--scenario", "accel", "--bike", "crf450(2013)", "--ticks", "1280"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.rate, 88320);
  EXPECT_EQ(r.figures.at("wav_seconds"), "10.000");
  ASSERT_GE(r.wav.size(), 88320u * 9);
  const double ppr = pulses_per_rev("450f");
  double worst = 0, lowest_hz = 1e9, highest_hz = 0;
  int windows = 0;
  for (double begin = 0.5; begin + 0.3 <= 10; begin += 0.3) {
    const double end = begin + 0.3;
    // The revs the heard stretch was made from; a gear change inside it blurs it.
    double low = 1e9, high = 0;
    for (const auto& row : r.ticks) {
      const double t = row.at("tick") * kTick + kAhead;
      if (t >= begin && t < end) {
        low = std::min(low, row.at("rpm"));
        high = std::max(high, row.at("rpm"));
      }
    }
    const double rpm = mean_over(r, "rpm", begin - kAhead, end - kAhead);
    if (rpm < 1500 || high - low > 0.08 * rpm) continue;
    const double expected = rpm * ppr / 60, heard = firing_frequency(r, begin, end);
    const double off = std::fabs(heard / expected - 1);
    std::printf("accel %.1f-%.1f s: %5.0f rpm, firing %5.1f Hz heard %5.1f Hz (%.1f%%)\n", begin,
                end, rpm, expected, heard, 100 * off);
    worst = std::max(worst, off);
    lowest_hz = std::min(lowest_hz, heard);
    highest_hz = std::max(highest_hz, heard);
    ++windows;
  }
  std::printf("accel: %d stretches, worst %.2f%% off rpm x pulses / 60\n", windows, 100 * worst);
  EXPECT_GE(windows, 8);
  EXPECT_LT(worst, 0.05);
  EXPECT_GT(highest_hz, 1.5 * lowest_hz) << "the pitch rises with the revs";
}

TEST(RideSound, ClassesDifferInBrightness) {
  if (test_support::kSanitized)
    GTEST_SKIP() << "five bikes ridden and measured: the normal build runs it";
  const auto bikes = bike_of_each_class();
  std::map<std::string, double> centroid;
  for (const char* bike_class : {"450f", "250f", "250", "125", "50"}) {
    ASSERT_TRUE(bikes.count(bike_class)) << bike_class;
    const Ride r = ride({"--scenario", "rev", "--rpm", "7000", "--bike", bikes.at(bike_class)});
    ASSERT_EQ(r.status, 0) << r.err;
    centroid[bike_class] = spectral_centroid(r, 1.0, 16384);
    const double heard = firing_frequency(r, 1.0, 2.5);
    std::printf("%-4s (%s) at 7000 rpm: centroid %4.0f Hz, firing %5.1f Hz\n", bike_class,
                bikes.at(bike_class).c_str(), centroid[bike_class], heard);
    EXPECT_NEAR(heard, 7000 * pulses_per_rev(bike_class) / 60,
                0.05 * 7000 * pulses_per_rev(bike_class) / 60)
        << bike_class;
  }
  const char* const brighter[] = {"450f", "250f", "250", "125"};
  for (int i = 0; i + 1 < 4; ++i) {
    EXPECT_GT(centroid[brighter[i + 1]], 1.1 * centroid[brighter[i]])
        << brighter[i + 1] << " against " << brighter[i];
  }
  EXPECT_GT(centroid["50"], 1.05 * centroid["125"]);
}

// Two recordings of one ride at 60 mph: from the bike, and from a listener standing 20 ft
// beside its line. Their pitch ratio before and after the pass is the Doppler ratio.
TEST(RideSound, PassByShiftsThePitch) {
  if (test_support::kSanitized)
    GTEST_SKIP() << "twenty seconds ridden and measured: the normal build runs it";
  const std::vector<std::string> cruise = {"--scenario", "cruise",       "--speed", "60",
                                           "--bike",     "crf450(2013)", "--ticks", "2560"};
  const Ride riding = ride(cruise);
  ASSERT_EQ(riding.status, 0) << riding.err;
  ASSERT_EQ(riding.ticks.size(), 2560u);
  // The pass: 6 s after the bike is up to speed.
  int up_to_speed = -1;
  for (std::size_t i = 0; i < riding.ticks.size() && up_to_speed < 0; ++i) {
    if (riding.ticks[i].at("speed_mph") >= 59.5) up_to_speed = static_cast<int>(i);
  }
  ASSERT_GE(up_to_speed, 0);
  const int pass = up_to_speed + 6 * 128;
  ASSERT_LT(pass + 4 * 128, 2560);
  const auto& at_pass = riding.ticks[static_cast<std::size_t>(pass)];
  const double listener[3] = {at_pass.at("x") + 20, at_pass.at("y"), at_pass.at("z")};
  std::vector<std::string> standing = cruise;
  char where[96];
  std::snprintf(where, sizeof where, "%.3f,%.3f,%.3f", listener[0], listener[1], listener[2]);
  standing.insert(standing.end(), {"--listener", where});
  const Ride heard = ride(standing);
  ASSERT_EQ(heard.status, 0) << heard.err;

  // The Doppler ratio the bike's motion gives, averaged over a stretch of ticks.
  auto doppler = [&](int from, int to) {
    double sum = 0;
    for (int t = from; t < to; ++t) {
      const auto& a = riding.ticks[static_cast<std::size_t>(t)];
      const auto& b = riding.ticks[static_cast<std::size_t>(t + 1)];
      double n[3] = {listener[0] - a.at("x"), listener[1] - a.at("y"), listener[2] - a.at("z")};
      const double d = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      const double v[3] = {(b.at("x") - a.at("x")) * 128, (b.at("y") - a.at("y")) * 128,
                           (b.at("z") - a.at("z")) * 128};
      const double towards = (v[0] * n[0] + v[1] * n[1] + v[2] * n[2]) / d;
      sum += 1 / (1 - towards / sound::kSpeedOfSound);
    }
    return sum / (to - from);
  };
  struct Stretch {
    const char* what;
    double begin, end;  // seconds from the pass
  } stretches[] = {{"approaching", -2.5, -1.0}, {"going away", 1.0, 2.5}};
  for (const Stretch& s : stretches) {
    const double begin = pass * kTick + s.begin, end = pass * kTick + s.end;
    const double expected = doppler(static_cast<int>(begin * 128), static_cast<int>(end * 128));
    // Both recordings measured round the engine's own firing frequency.
    const double firing = mean_over(riding, "rpm", begin - kAhead, end - kAhead) * 0.5 / 60;
    const double ratio =
        firing_frequency(heard, begin, end, firing) / firing_frequency(riding, begin, end, firing);
    std::printf("pass-by %s: pitch ratio %.4f, Doppler %.4f (%.2f%% off)\n", s.what, ratio,
                expected, 100 * std::fabs(ratio / expected - 1));
    EXPECT_NEAR(ratio, expected, 0.02 * expected) << s.what;
    EXPECT_TRUE(s.begin < 0 ? ratio > 1.05 : ratio < 0.95) << s.what;
  }
}

TEST(RideSound, BadArgumentsAreRefused) {
  struct Case {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"--scenario", "rev", "--wav", "/nonexistent/dir/x.wav"},
       "can't write /nonexistent/dir/x.wav"},
      {{"--scenario", "cruise", "--wav", "x.wav", "--listener", "1,2"}, "--listener takes X,Y,Z"},
      {{"--scenario", "cruise", "--wav", "x.wav", "--listener", "1,2,3,4"},
       "--listener takes X,Y,Z"},
      {{"--scenario", "cruise", "--listener", "1,2,3"}, "--listener needs --wav"},
      {{"--scenario", "rev", "--rpm", "-5"}, "--rpm takes"},
      {{"--scenario", "cruise", "--speed", "fast"}, "--speed takes"},
      {{"--scenario", "rev", "--wav"}, "usage: korvex-ride"},
  };
  for (const Case& c : cases) {
    TempDir user;
    const auto result =
        test_support::run_program(KORVEX_RIDE_EXE, c.args, test_support::korvex_env(user));
    EXPECT_NE(result.status, 0) << c.says;
    EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
  }
}

}  // namespace
