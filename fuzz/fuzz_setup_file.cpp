// fuzz_setup_file.cpp -- the rider setup parser over arbitrary setup files.
//
// The input is a setup file under a temporary per-user folder; it is read into a setup, which
// is then checked (every number within its range, texts within their lengths, choices valid),
// written out and read back: the second reading must reproduce the written file exactly.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "data/data.h"
#include "shell/catalogue.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

// A per-user folder of its own for the run; the data lookup finds it through XDG_DATA_HOME.
const std::string& user_folder() {
  static const std::string folder = [] {
    char name[] = "/tmp/fuzz_setup_file-XXXXXX";
    if (!mkdtemp(name)) __builtin_trap();
    setenv("XDG_DATA_HOME", name, 1);
    setenv("KV_HOME", name, 1);
    data::data_reset_for_test();
    return std::string(name) + "/Korvex/setups/";
  }();
  return folder;
}

void write_file(const std::string& path, const std::uint8_t* bytes, std::size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  check(f != nullptr);
  check(std::fwrite(bytes, 1, size, f) == size);
  std::fclose(f);
}

std::string read_whole(const std::string& path) {
  std::string text;
  FILE* f = std::fopen(path.c_str(), "rb");
  check(f != nullptr);
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
  std::fclose(f);
  return text;
}

void check_number(const shell::NumberSetting& n) {
  check(n.value >= n.minimum && n.value <= n.maximum);
}

void check_choice(const shell::ChoiceSetting& c) {
  check(c.index >= 0 && static_cast<std::size_t>(c.index) < c.names.size());
}

void check_setup(const shell::RiderSetup& s) {
  check(s.name.size() <= shell::kSetupNameMax && s.number.size() <= shell::kSetupNumberMax);
  for (const shell::ChoiceSetting* c :
       {&s.bike, &s.rider_texture, &s.head_texture, &s.bike_texture, &s.wheel_texture, &s.arcade,
        &s.front_brake, &s.rear_brake, &s.stop_wheelies, &s.auto_shift, &s.auto_dab, &s.auto_align,
        &s.sticky_dab, &s.reverse_steering, &s.lean_indicator}) {
    check_choice(*c);
  }
  for (const shell::NumberSetting* n : {&s.stability,
                                        &s.leveling,
                                        &s.roll_damping,
                                        &s.roll_limit_angle,
                                        &s.roll_limit_factor,
                                        &s.steering_damping,
                                        &s.steering_strength,
                                        &s.max_steering_force,
                                        &s.direct_steering,
                                        &s.slow_damping_speed,
                                        &s.slow_damping_factor,
                                        &s.land_damping_falloff,
                                        &s.land_damping_factor,
                                        &s.full_lock_speed,
                                        &s.restricted_lock_speed,
                                        &s.restricted_lock,
                                        &s.auto_clutch_rpms,
                                        &s.brake_torque,
                                        &s.rear_brake_torque,
                                        &s.max_dab_speed,
                                        &s.front_sprocket_adjustment,
                                        &s.rear_sprocket_adjustment,
                                        &s.fork_compression_adjustment,
                                        &s.fork_rebound_adjustment,
                                        &s.fork_spring_rate_adjustment,
                                        &s.fork_preload_adjustment,
                                        &s.fork_oil_level_adjustment,
                                        &s.shock_compression_adjustment,
                                        &s.shock_rebound_adjustment,
                                        &s.shock_spring_rate_adjustment,
                                        &s.shock_preload_adjustment,
                                        &s.rider_yspring,
                                        &s.rider_ydamping,
                                        &s.rider_zspring,
                                        &s.rider_zdamping,
                                        &s.rider_mass_distribution}) {
    check_number(*n);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string& folder = user_folder();
  static bool made = false;
  if (!made) {
    data::make_directories(folder.c_str());
    made = true;
  }
  write_file(folder + "input", bytes, size);
  shell::RiderSetup setup = shell::default_rider_setup();
  check(shell::read_setup_file(setup, "input"));
  check_setup(setup);
  // Whatever was read, the bike the mechanic would build from it stays within the bike's ranges.
  const shell::BikeAdjustments handed =
      shell::setup_adjustments(setup, *shell::find_bike_info(setup.bike.name().c_str()), false);
  check(!handed.out_of_range);

  check(shell::write_setup_file(setup, "output"));
  const std::string written = read_whole(folder + "output");
  shell::RiderSetup again = shell::default_rider_setup();
  check(shell::read_setup_file(again, "output"));
  check(shell::write_setup_file(again, "output"));
  check(read_whole(folder + "output") == written);
  return 0;
}
