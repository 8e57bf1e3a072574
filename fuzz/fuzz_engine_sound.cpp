// fuzz_engine_sound.cpp -- the .braap reader and the sound-table reader over arbitrary files,
// and the engine voice playing whatever they read.
//
// The input is a .braap text, a zero byte, then a sound table. Both are read; a voice made
// from the description, its table the input's table when that reads, then renders at a
// spread of engine speeds and loads: every output value must stay within -16..16 and every
// grain inside its sample (the sanitizers watch the reads).
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "sound/sound.h"

namespace {

using fuzz_support::check;

// A data folder of its own for the run, with a small sample the tables may name ("@s.raw").
const std::string& data_folder() {
  static const std::string folder = [] {
    char name[] = "/tmp/fuzz_engine_sound-XXXXXX";
    if (!mkdtemp(name)) __builtin_trap();
    setenv("KV_HOME", name, 1);
    setenv("XDG_DATA_HOME", name, 1);
    setenv("TAVO_LOGFILE", "/dev/null", 1);
    platform::log_control("NOFLUSH");
    data::data_reset_for_test();
    const std::string sample = std::string(name) + "/s.raw";
    const std::uint8_t values[] = {0, 0x40, 0, 0xc0, 0xff, 0x7f, 0, 0x80, 0x10, 0x10};
    fuzz_support::write_input(sample, values, sizeof values);
    return std::string(name) + "/";
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string& folder = data_folder();
  std::size_t split = 0;
  while (split < size && bytes[split] != 0) ++split;
  // Tables are kept for the whole run by name: each input's table gets a name of its own.
  static long inputs = 0;
  const std::string table_name = "t" + std::to_string(++inputs) + ".tab";
  fuzz_support::write_input(folder + "e.braap", bytes, split);
  const std::size_t rest = split < size ? split + 1 : size;
  fuzz_support::write_input(folder + table_name, bytes + rest, size - rest);

  sound::EngineVoice* voice = sound::engine_voice_create(nullptr, "250", "@e.png", nullptr);
  const sound::SoundTable* table = sound::sound_table(("@" + table_name).c_str());
  std::remove((folder + table_name).c_str());
  if (table) {
    check(table->rows >= 1 && table->columns >= 1);
    check(table->cells.size() == static_cast<std::size_t>(table->rows) * table->columns);
    for (const sound::SoundCell& cell : table->cells) {
      check(cell.length >= 1 && cell.cycles >= 1);
      for (int entry : cell.remap) check(entry >= 0 && entry < cell.cycles);
    }
    voice->description.table = table;
  }
  const sound::EngineDescription& d = voice->description;
  check(d.bias_count >= 1 && d.bias_count <= sound::kMaxListValues);
  check(d.scale_count >= 1 && d.scale_count <= sound::kMaxListValues);
  for (const sound::PipeTap& tap : d.taps) {
    check(tap.offset >= 1 && tap.offset <= sound::kVoiceSamples);
  }
  const double speeds[] = {0, 900, 3000, 8000, 15000, 1e9};
  for (int i = 0; i < 6; ++i) {
    sound::EngineInputs in;
    in.rpm = speeds[i];
    in.torque = (i - 2) * 10.0;
    in.throttle = i / 5.0;
    const int start = voice->write;
    sound::engine_voice_synthesise(*voice, in, 1500);
    for (int k = 0; k < 1500; ++k) {
      const float v = voice->history[(start + k) % sound::kVoiceSamples];
      check(v >= -16 && v <= 16);
    }
  }
  sound::engine_voice_free(voice);
  return 0;
}
