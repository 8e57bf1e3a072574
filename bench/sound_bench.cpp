// sound_bench.cpp -- how much of one core 40 engine voices need, and what they allocate.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

#include "allocation_count.h"
#include "platform/platform.h"
#include "sound/sound.h"

namespace {

constexpr int kVoices = 40;
constexpr int kFramesPerSecond = 60;

// Forty voices of mixed classes, each rendered once a drawn frame on a device that plays
// them: the samples one frame needs (44,100 / 60), written into the voice, and the rate,
// volume and pan for a moving listener. The label (and "core_percent") is the share of one
// core that one second of sound costs; "allocations_per_frame" should be 0.
void BM_RenderFortyVoices(benchmark::State& state) {
  platform::AudioDevice* device = platform::audio_open_null(sound::kOutputRate);
  const char* const classes[] = {"450f", "250f", "250", "125", "50"};
  sound::EngineVoice* voices[kVoices];
  for (int i = 0; i < kVoices; ++i) {
    voices[i] = sound::engine_voice_create(device, classes[i % 5], nullptr, nullptr);
  }
  render::Listener listener;
  sound::EngineInputs in;
  const int per_frame = sound::kOutputRate / kFramesPerSecond;
  long frames = 0;
  const long allocations_before = bench_support::g_allocations;
  const auto begin = std::chrono::steady_clock::now();
  for (auto _ : state) {
    for (int i = 0; i < kVoices; ++i) {
      sound::EngineVoice& v = *voices[i];
      // Engines spread over the rev range, moving past the listener.
      in.rpm = 3000 + 250 * i + 10 * (frames % 100);
      in.torque = (i % 3) * 10.0;
      in.throttle = (i % 3) * 0.5;
      in.position[0] = 20.0 * i;
      in.position[2] = -1.5 * (frames % 200);
      in.velocity[2] = -88;
      // What engine_voice_render does, with the frame's sample count instead of the null
      // device's (it never plays, so it would ask for nothing once filled).
      const int start = v.write;
      sound::engine_voice_synthesise(v, in, per_frame);
      device->ops->write_data(device, v.handle, per_frame, v.converted, start);
      const sound::VoiceSpatial s =
          sound::engine_voice_spatial(listener, in.position, in.velocity, 0.8, 1);
      device->ops->set_rate(device, v.handle, s.rate);
      device->ops->set_volume(device, v.handle, s.volume);
      device->ops->set_pan(device, v.handle, s.pan);
    }
    ++frames;
  }
  const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - begin;
  const double audio_seconds = static_cast<double>(frames) / kFramesPerSecond;
  const double percent = 100 * spent.count() / audio_seconds;
  state.counters["core_percent"] = percent;
  state.counters["allocations_per_frame"] =
      static_cast<double>(bench_support::g_allocations - allocations_before) /
      static_cast<double>(frames > 0 ? frames : 1);
  char label[64];
  std::snprintf(label, sizeof label, "%.2f%% of one core", percent);
  state.SetLabel(label);
  for (sound::EngineVoice* v : voices) sound::engine_voice_free(v);
  platform::audio_close(device);
}
BENCHMARK(BM_RenderFortyVoices)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
