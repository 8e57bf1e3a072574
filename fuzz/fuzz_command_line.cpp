// fuzz_command_line.cpp -- the command-line parser on arbitrary arguments.
//
// The input is split at NUL bytes into arguments.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "shell/settings.h"
#include "shell/startup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  std::vector<std::string> args(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (bytes[i] == 0)
      args.emplace_back();
    else
      args.back().push_back(static_cast<char>(bytes[i]));
  }
  shell::StartupState state;
  shell::Settings settings;
  const shell::ParseResult result = shell::parse_command_line(args, state, settings);
  // Whatever the input, the outcome is coherent.
  if (result.stop && result.status != 0 && result.error_text.empty()) __builtin_trap();
  if (state.fake_lag < 0 || state.fake_lag > 1) __builtin_trap();
  if (state.lod_scale < 0.000001 || state.lod_scale > 1000000) __builtin_trap();
  if (state.terrain_texture_detail < 0 || state.erosion_rate > 100) __builtin_trap();
  return 0;
}
