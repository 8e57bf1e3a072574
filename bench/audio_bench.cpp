// audio_bench.cpp -- how much of one core the mixer needs for 16 voices at 44,100 Hz stereo.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "platform/audio_internal.h"

namespace {

constexpr int kRate = 44100;
constexpr int kFragmentFrames = kRate / 64;  // what the output device mixes at a time
constexpr int kFragmentsPerSecond = 64;

// Sixteen looping engine-like voices, each at its own rate, volume and pan,
// mixed fragment by fragment. The label (and the "core_fraction" counter) is
// the seconds spent mixing one second of output.
void BM_MixSixteenVoices(benchmark::State& state) {
  platform::MixerSettings settings;
  settings.rate = kRate;
  settings.stereo = true;
  settings.sixteen_bit = false;
  settings.voice_limit = 16;
  settings.block_frames = kFragmentFrames;
  platform::Mixer* mixer = platform::mixer_create(settings);

  std::mt19937 random(7);
  std::vector<std::uint8_t> samples(32768);
  for (std::uint8_t& sample : samples) sample = static_cast<std::uint8_t>(random());
  for (int i = 0; i < 16; ++i) {
    platform::AudioVoice* voice = platform::mixer_new_voice(*mixer, 32768, samples.data(), 0);
    platform::mixer_add_voice(*mixer, voice);
    platform::mixer_set_looping(*mixer, voice, 1);
    platform::mixer_set_rate(*mixer, voice, 22050 + i * 2711);
    platform::mixer_set_volume(*mixer, voice, 8000 + i * 1500);
    platform::mixer_set_pan(*mixer, voice, -30000 + i * 4000);
    platform::mixer_start(*mixer, voice);
  }

  const auto begin = std::chrono::steady_clock::now();
  for (auto _ : state) {
    for (int fragment = 0; fragment < kFragmentsPerSecond; ++fragment) {
      benchmark::DoNotOptimize(platform::mixer_mix(*mixer));
    }
  }
  const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - begin;
  // Seconds of mixing divided by the seconds of audio mixed.
  const double audio_seconds =
      double(state.iterations()) * kFragmentsPerSecond * kFragmentFrames / kRate;
  const double fraction = spent.count() / audio_seconds;
  state.counters["core_fraction"] = fraction;
  char label[64];
  std::snprintf(label, sizeof label, "%.5f of one core", fraction);
  state.SetLabel(label);
  platform::mixer_destroy(mixer);
}
BENCHMARK(BM_MixSixteenVoices)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
