// engine_voice_alloc_test.cpp -- an engine voice allocates nothing frame by frame once made.
// It counts through the benchmarks' replacement of the global operator new, which is why it
// is an executable of its own.
#include <gtest/gtest.h>

#include "allocation_count.h"
#include "platform/platform.h"
#include "sound/sound.h"

namespace {

TEST(EngineVoiceAllocation, RenderingAllocatesNothing) {
  platform::AudioDevice* device = platform::audio_open_readback(88320, 690);
  ASSERT_NE(device, nullptr);
  sound::EngineVoice* voice = sound::engine_voice_create(device, "250", nullptr, nullptr);
  ASSERT_NE(voice->handle, nullptr);
  render::Listener listener;
  listener.position[0] = 30;
  sound::EngineInputs in;
  in.velocity[2] = -50;
  const long before = bench_support::g_allocations;
  for (int tick = 0; tick < 600; ++tick) {
    in.rpm = 2000 + 10 * tick;
    in.torque = tick % 20;
    in.position[2] = 100 - 0.4 * tick;
    sound::engine_voice_render(*voice, in, listener, 0.8);
    ASSERT_NE(device->ops->mix(device), nullptr);
  }
  EXPECT_EQ(bench_support::g_allocations - before, 0);
  // It did render: the voice moved on past its first 0.1 s and plays.
  EXPECT_NE(voice->write, 11025);
  sound::engine_voice_free(voice);
  platform::audio_close(device);
}

}  // namespace
