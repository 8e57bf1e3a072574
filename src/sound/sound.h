// sound.h -- engine sound: descriptions (.braap), sound tables and the per-bike engine voice.
//
// Every bike with sound owns an EngineVoice: a looping 32,768-sample 8-bit voice of the audio
// device that the voice keeps filled 0.1 s ahead of the play position, sample by sample from
// the engine's speed and load. Each firing starts one recorded cycle from the four sound-table
// cells round the engine's speed and load, cross-faded; the output is fed back through up to
// 16 delayed taps (the exhaust pipe's echoes). Playback rate (Doppler), volume (distance) and
// pan come from the bike's motion relative to the listener.
//
// Sound tables and their samples are read once per run and shared by name; they are never
// freed. Everything here runs on the main thread; the voice data is written without the
// device's mutex, ahead of the play position, which the audio thread never reaches.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "render/render.h"
#include "sim/sim.h"

namespace sound {

constexpr int kOutputRate = 44100;         // Hz, the voices' own rate
constexpr double kSpeedOfSound = 1140.63;  // ft/s
constexpr int kVoiceSamples = 32768;       // the voice buffer and the output history
constexpr int kPipeTaps = 16;
constexpr int kMaxListValues = 100;          // bias and scale lists
constexpr int kAheadSamples = 4410;          // kept written ahead of the play position (0.1 s)
constexpr int kMaxRenderSamples = 8820;      // at most this many per render call
constexpr int kGrainFraction = 1024;         // grain positions and steps: 1/1024 sample
constexpr std::int64_t kPhaseOne = 1 << 24;  // the firing phase: one cycle

// One cell of a sound table: a recording of `cycles` engine cycles at its row's engine speed
// and its column's load. The sample is shared through the sample cache.
struct SoundCell {
  const float* sample = nullptr;  // -1..1
  int length = 0;                 // values, at least 1
  int cycles = 1;                 // at least 1
  std::vector<int> remap;         // recorded cycle to play for cycle c: remap[c % size]
  float rpm = 0;                  // the row's engine speed
  float load = 0;                 // the column's load, 0..1
};

struct SoundTable {
  std::string name;
  int rows = 0, columns = 0;
  std::vector<SoundCell> cells;  // rows x columns, row-major
  const SoundCell& cell(int row, int column) const {
    return cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) +
                 static_cast<std::size_t>(column)];
  }
};

// One echo of the exhaust pipe: the value `delay` samples back times the gain. The offset is
// stored as kVoiceSamples - delay, so that (write position + offset) mod kVoiceSamples is the
// history index.
struct PipeTap {
  int offset = kVoiceSamples;
  float gain = 0;
};

// What an engine sounds like. Copied into each voice when it is made; the console's "pipe"
// edits a voice's own copy.
struct EngineDescription {
  const SoundTable* table = nullptr;
  float pulses_per_rev = 0.5f;  // firings per crankshaft turn: 0.5 four-stroke, 1 two-stroke
  float low_torque = 0;         // ft·lbf that maps to load 0
  float high_torque = 1;        // ft·lbf that maps to load 1
  float closed_level = 1, full_level = 1;
  float min_rpm = 1000;  // engine speeds below this sound as this
  PipeTap taps[kPipeTaps];
  float bias[kMaxListValues] = {0};  // rpm added per cycle, cycling through the list
  int bias_count = 1;
  float scale[kMaxListValues] = {1};  // factor per cycle, cycling through the list
  int scale_count = 1;
};

// Sets taps first..last (clamped to 0..15, last not below first) of a pipe of lengths L1 and
// L2 (ft): tap i's echo travels twice a length that shrinks from L1 along the taps, each with
// gain / (number of taps). Taps outside first..last keep their values.
void pipe_model(EngineDescription& d, float length_one, float length_two, float gain, int first,
                int last);

// The built-in descriptions (made on first use): four-stroke, two-stroke and 50 cc.
enum DefaultEngine { kDefaultFourStroke, kDefaultTwoStroke, kDefault50cc };
const EngineDescription& default_engine(DefaultEngine which);
// The default for a bike class: "50" the 50 cc one, a class ending in "f" the four-stroke,
// any other the two-stroke; nullptr (no bike) the four-stroke.
const EngineDescription& class_default_engine(const char* bike_class);

// Reads a .braap file into `d` (already holding its starting values): "pipe", "minrpm",
// "lowtorque", "hightorque", "bias", "scale" and "soundtable" lines. False when it does not
// open (d unchanged).
bool read_engine_description(const char* name, EngineDescription& d);

// The sound table of a data name: the cached one, else read ("SOUNDTABLE R K", the row speeds,
// the column loads, each cell's remap list ended by -1, its cycle count and sample name) and
// cached. nullptr, with a message, when it cannot be read.
const SoundTable* sound_table(const char* name);

// A sample file (raw 16-bit signed little-endian mono), cached by name; nullptr when it
// cannot be read or is empty.
const std::vector<float>* engine_sample(const char* name);

// The .braap names tried for a base name (a bike texture's data name): the name with its
// extension replaced by ".braap", then with each "-" suffix of the file name cut off in turn.
std::vector<std::string> braap_candidates(const char* base_name);

// One grain: a recorded cycle playing from a cell's sample.
struct Grain {
  const float* sample = nullptr;
  int length = 1;
  float gain = 0;
  std::int64_t position = 0;  // 1/1024 sample
  std::int64_t step = 0;      // 1/1024 sample per output sample
};

// What the voice needs of a bike each frame.
struct EngineInputs {
  double rpm = 0;           // engine speed
  double torque = 0;        // ft·lbf the engine makes at this speed and throttle
  double throttle = 0;      // 0..1
  double position[3] = {};  // the bike body's, ft
  double velocity[3] = {};  // ft/s
};

struct EngineVoice {
  platform::AudioDevice* device = nullptr;
  platform::AudioVoice* handle = nullptr;  // none without an audio device
  EngineDescription description;
  float history[kVoiceSamples] = {};  // the synthesised output, a ring
  float level_value = 1;              // the closed/full-throttle level of the last cycle
  double firing_hz = 10;
  float voice_level = 1;
  double last_rpm = 1000;  // the engine speed at the end of the previous block
  int write = 11025;       // the next history (and voice buffer) position
  std::int64_t phase = 0;  // firing phase, 1 << 24 a cycle
  std::int64_t phase_step = 0;
  std::uint32_t cycle = 0;
  Grain grains[4];
  std::uint8_t converted[kMaxRenderSamples] = {};  // the block as the voice takes it
};

// Makes a voice for a bike of `bike_class` (nullptr: no bike). The description is the class
// default, read over by the first .braap found for `base_name` (nullptr: none) or else by
// `class_default` (a data name such as "@default250f.braap"; nullptr: none). With a device the
// voice opens a looping silent audio voice at volume 0 and starts it; without one it has no
// handle and is still fully made. Returns a voice to free with engine_voice_free.
EngineVoice* engine_voice_create(platform::AudioDevice* device, const char* bike_class,
                                 const char* base_name, const char* class_default);
void engine_voice_free(EngineVoice* voice);

// Synthesises `count` samples (at most kMaxRenderSamples) into the history from the
// write position and converts them into `converted`; advances the write position. The
// engine speed moves from the last block's to `inputs.rpm` across the block.
void engine_voice_synthesise(EngineVoice& voice, const EngineInputs& inputs, int count);

// The listener's view of a voice.
struct VoiceSpatial {
  int rate = kOutputRate;  // Hz, Doppler-shifted
  int volume = 0;          // 0..32767
  int pan = 0;             // -32767 left .. 32767 right
};
// Doppler rate, attenuation with distance and pan of a bike at `position` moving at
// `velocity`, heard by `listener`, at `level` (the main loop's factor) x the voice level.
VoiceSpatial engine_voice_spatial(const render::Listener& listener, const double position[3],
                                  const double velocity[3], double level, double voice_level);

// Once per drawn frame: fills the voice 0.1 s ahead of its play position (nothing without
// a handle) and sets its rate, volume and pan for the listener. Allocates nothing.
void engine_voice_render(EngineVoice& voice, const EngineInputs& inputs,
                         const render::Listener& listener, double level);
// The same for a bike, heard by the camera's listener (render::g_listener).
void engine_voice_render(const sim::Bike* bike, EngineVoice& voice, double level);
// What the voice reads of a bike.
EngineInputs engine_inputs(const sim::Bike* bike);

}  // namespace sound
