// mixer_test.cpp -- the software mixer: levels, the voice budget, ends, loops, writes, crossings.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "platform/audio_internal.h"

namespace {

using platform::AudioVoice;
using platform::Mixer;
using platform::MixerSettings;

constexpr std::uint8_t kImpulse = 128 + 33;  // worth exactly its level in the table

// A mixer with 16-bit output, so that mixed values read back unclamped by
// the 8-bit range; values are returned divided by 256.
struct MixerFixture {
  Mixer* mixer;
  explicit MixerFixture(int block_frames, bool stereo = false, int voice_limit = 16,
                        int rate = 22050) {
    MixerSettings settings;
    settings.rate = rate;
    settings.stereo = stereo;
    settings.sixteen_bit = true;
    settings.voice_limit = voice_limit;
    settings.block_frames = block_frames;
    mixer = platform::mixer_create(settings);
  }
  ~MixerFixture() { platform::mixer_destroy(mixer); }

  AudioVoice* voice(const std::vector<std::uint8_t>& samples, int volume = 32767, int pan = 0,
                    bool looping = false) {
    AudioVoice* v =
        platform::mixer_new_voice(*mixer, static_cast<int>(samples.size()), samples.data(), 0);
    platform::mixer_add_voice(*mixer, v);
    platform::mixer_set_volume(*mixer, v, volume);
    platform::mixer_set_pan(*mixer, v, pan);
    platform::mixer_set_looping(*mixer, v, looping);
    return v;
  }

  // One block, as left and right (the right stays empty on a mono mixer).
  std::array<std::vector<int>, 2> mix_channels() {
    const auto* block = static_cast<const std::int16_t*>(platform::mixer_mix(*mixer));
    const int channels = platform::mixer_stereo(*mixer) ? 2 : 1;
    std::array<std::vector<int>, 2> values;
    for (int frame = 0; frame < platform::mixer_block_frames(*mixer); ++frame) {
      for (int channel = 0; channel < channels; ++channel) {
        const int value = block[frame * channels + channel];
        EXPECT_EQ(value % 256, 0);
        values[channel].push_back(value / 256);
      }
    }
    return values;
  }
  std::vector<int> mix() { return mix_channels()[0]; }
};

std::vector<std::uint8_t> impulse_at(int index, int length) {
  std::vector<std::uint8_t> samples(length, 128);
  samples[index] = kImpulse;
  return samples;
}

// Changes sign every 10 samples, and every sample has its own magnitude, so
// the mixed value tells where the voice was reading.
std::vector<std::uint8_t> square_ramp(int length) {
  std::vector<std::uint8_t> samples;
  for (int i = 0; i < length; ++i) {
    const int magnitude = i % 100;
    const int value = i / 10 % 2 == 0 ? 140 + magnitude : 116 - magnitude;
    samples.push_back(static_cast<std::uint8_t>(value));
  }
  return samples;
}

int level_value(int level, std::uint8_t sample) {
  return platform::mixer_volume_table(level, sample);
}

TEST(MixerVolumeTable, FollowsTheRoundingRule) {
  struct Case {
    int level;
    int sample;
    int expected;
  } cases[] = {
      {31, kImpulse, 31}, {16, kImpulse, 16}, {31, 129, 0},  {31, 127, 0}, {31, 128, 0},
      {16, 255, 63},      {16, 1, -63},       {31, 0, -123}, {1, 0, -3},   {0, 255, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(level_value(c.level, static_cast<std::uint8_t>(c.sample)), c.expected)
        << "level " << c.level << " sample " << c.sample;
  }
}

TEST(MixerLevels, VolumeAndPanGiveEachHalfItsLevel) {
  struct Case {
    bool stereo;
    int volume;
    int pan;
    int left;
    int right;
  } cases[] = {
      {true, 32767, 0, 15, 15},     {true, 32767, -32768, 31, 0}, {true, 32767, 32767, 0, 31},
      {true, 16384, 0, 7, 8},       {true, 99999, -99999, 31, 0}, {true, -5, 0, 0, 0},
      {false, 32767, 32767, 31, 0}, {false, 16384, 0, 15, 0},
  };
  for (const Case& c : cases) {
    MixerFixture f(8, c.stereo);
    AudioVoice* v = f.voice(std::vector<std::uint8_t>(16, kImpulse), c.volume, c.pan);
    platform::mixer_start(*f.mixer, v);
    const auto out = f.mix_channels();
    EXPECT_EQ(out[0][0], c.left) << c.volume << "/" << c.pan;
    if (c.stereo) {
      EXPECT_EQ(out[1][0], c.right) << c.volume << "/" << c.pan;
    }
  }
}

// Seventeen voices at level 31, each an impulse at its own frame: the
// sixteen first in list order are heard, and the seventeenth keeps time.
TEST(MixerBudget, SixteenLoudestOfSeventeenAreHeard) {
  MixerFixture f(40);
  std::vector<AudioVoice*> voices;
  for (int k = 0; k < 17; ++k) {
    voices.push_back(f.voice(impulse_at(k, 64)));
    platform::mixer_start(*f.mixer, voices.back());
  }
  const std::vector<int> out = f.mix();
  for (int k = 0; k < 17; ++k) EXPECT_EQ(out[k], k < 16 ? 31 : 0) << "voice " << k;
  for (AudioVoice* v : voices) EXPECT_EQ(platform::mixer_play_position(v), 40);

  // A quieter voice started first still yields to sixteen louder ones.
  MixerFixture g(40);
  AudioVoice* quiet = g.voice(impulse_at(20, 64), 20000);
  platform::mixer_start(*g.mixer, quiet);
  for (int k = 0; k < 16; ++k) platform::mixer_start(*g.mixer, g.voice(impulse_at(k, 64)));
  const std::vector<int> out2 = g.mix();
  EXPECT_EQ(out2[20], 0);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(out2[k], 31);
  EXPECT_EQ(platform::mixer_play_position(quiet), 40);
}

// On a stereo mixer each half spends the budget by itself, by its own level.
TEST(MixerBudget, StereoHalvesCountApartByTheirOwnLevel) {
  MixerFixture f(40, true);
  for (int k = 0; k < 16; ++k) {
    // Left half at level 23, right half at level 7.
    platform::mixer_start(*f.mixer, f.voice(impulse_at(k, 64), 32767, -16384));
  }
  // Started last, but its right half is the loudest of all.
  platform::mixer_start(*f.mixer, f.voice(impulse_at(16, 64), 32767, 32767));
  const auto [left, right] = f.mix_channels();
  // The loudest right half, then fifteen left halves at level 23; the last
  // left half and every right half at level 7 are over the budget.
  for (int k = 0; k < 15; ++k) EXPECT_EQ(left[k], 23) << k;
  EXPECT_EQ(left[15], 0);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(right[k], 0) << k;
  EXPECT_EQ(right[16], 31);
}

// A non-looping voice sounds for exactly the frames that read inside its
// data, then is silent and leaves the mix.
TEST(MixerVoiceEnds, ExactlyAtTheEndOfItsData) {
  struct Case {
    int rate;
    int audible_frames;  // frames i with floor(i * rate / 22050) < 100
  } cases[] = {{22050, 100}, {44100, 50}, {33075, 67}, {11025, 200}};
  for (const Case& c : cases) {
    MixerFixture f(64);
    AudioVoice* v = f.voice(std::vector<std::uint8_t>(100, 255));
    platform::mixer_set_rate(*f.mixer, v, c.rate);
    platform::mixer_start(*f.mixer, v);
    std::vector<int> out;
    for (int block = 0; block < 4; ++block) {
      const std::vector<int> part = f.mix();
      out.insert(out.end(), part.begin(), part.end());
    }
    for (int i = 0; i < static_cast<int>(out.size()); ++i) {
      ASSERT_EQ(out[i], i < c.audible_frames ? level_value(31, 255) : 0)
          << "rate " << c.rate << " frame " << i;
    }
    EXPECT_FALSE(platform::mixer_voice_playing(v));
    EXPECT_EQ(platform::mixer_play_position(v), 0);
  }
}

TEST(MixerVoiceEnds, LoopingVoiceWrapsWithoutAGap) {
  struct Case {
    int rate;
    int step;
  } cases[] = {{22050, 1}, {44100, 2}, {154350, 7}};
  const std::vector<std::uint8_t> data = square_ramp(50);
  for (const Case& c : cases) {
    MixerFixture f(64);
    AudioVoice* v = f.voice(data, 32767, 0, true);
    platform::mixer_set_rate(*f.mixer, v, c.rate);
    platform::mixer_start(*f.mixer, v);
    for (int block = 0; block < 5; ++block) {
      const std::vector<int> out = f.mix();
      for (int i = 0; i < 64; ++i) {
        const int frame = block * 64 + i;
        ASSERT_EQ(out[i], level_value(31, data[frame * c.step % 50]))
            << "rate " << c.rate << " frame " << frame;
      }
    }
    EXPECT_TRUE(platform::mixer_voice_playing(v));
  }
}

TEST(MixerWrite, KeepsTheLastDataLengthSamplesWrapping) {
  MixerSettings settings;
  Mixer* mixer = platform::mixer_create(settings);
  AudioVoice* big = platform::mixer_new_voice(*mixer, 32768, nullptr, 0);
  platform::mixer_add_voice(*mixer, big);
  std::vector<std::uint8_t> written(40000);
  for (int i = 0; i < 40000; ++i) written[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  platform::mixer_write_data(big, 40000, written.data(), 1000);
  // Sample k was meant for (1000 + k) mod 32768; the later write wins.
  std::vector<std::uint8_t> expected(32768);
  for (int k = 0; k < 40000; ++k) expected[(1000 + k) % 32768] = written[k];
  const std::uint8_t* data = platform::mixer_voice_data(big);
  EXPECT_EQ(std::vector<std::uint8_t>(data, data + 32768), expected);

  struct Case {
    int length;
    int position;
    std::vector<std::uint8_t> expected;
  } cases[] = {
      {4, 8, {3, 4, 128, 128, 128, 128, 128, 128, 1, 2}},
      {3, -3, {128, 128, 128, 128, 128, 128, 128, 1, 2, 3}},
      {2, 25, {128, 128, 128, 128, 128, 1, 2, 128, 128, 128}},
      {12, 0, {11, 12, 3, 4, 5, 6, 7, 8, 9, 10}},
  };
  for (const Case& c : cases) {
    AudioVoice* small = platform::mixer_new_voice(*mixer, 10, nullptr, 0);
    platform::mixer_add_voice(*mixer, small);
    std::vector<std::uint8_t> samples;
    for (int i = 1; i <= c.length; ++i) samples.push_back(static_cast<std::uint8_t>(i));
    platform::mixer_write_data(small, c.length, samples.data(), c.position);
    const std::uint8_t* got = platform::mixer_voice_data(small);
    EXPECT_EQ(std::vector<std::uint8_t>(got, got + 10), c.expected)
        << c.length << " at " << c.position;
  }
  platform::mixer_destroy(mixer);
}

// A new level, and a restart, wait for the waveform to cross the centre.
TEST(MixerCrossing, LevelChangesAndRestartsWaitForTheCentre) {
  const std::vector<std::uint8_t> data = square_ramp(200);
  struct Case {
    bool stereo;
    int pan;  // mono: ignored
    bool restart;
    int volume;  // set after the first block
    int old_level[2];
    int new_level[2];
  } cases[] = {
      {false, 0, false, 16384, {31, 0}, {15, 0}},
      {false, 0, false, 0, {31, 0}, {0, 0}},
      {false, 0, true, 32767, {31, 0}, {31, 31}},
      // The right half is louder, so the walk reaches it first; both restart.
      {true, 16384, true, 32767, {7, 23}, {7, 23}},
      {true, 16384, false, 16384, {7, 23}, {3, 12}},
  };
  for (const Case& c : cases) {
    MixerFixture f(40, c.stereo);
    AudioVoice* v = f.voice(data, 32767, c.pan);
    platform::mixer_start(*f.mixer, v);
    f.mix();  // now reading at 40, inside a positive run that ends at 50
    platform::mixer_set_volume(*f.mixer, v, c.volume);
    if (c.restart) platform::mixer_start(*f.mixer, v);
    const auto out = f.mix_channels();
    for (int side = 0; side < (c.stereo ? 2 : 1); ++side) {
      for (int i = 0; i < 40; ++i) {
        int expected;
        if (i < 10) {
          expected = level_value(c.old_level[side], data[40 + i]);
        } else {
          expected = level_value(c.new_level[side], data[c.restart ? i - 10 : 40 + i]);
        }
        // A half turned down to level 0 sits in the level-0 list, which is
        // not heard at all.
        if (c.new_level[side] == 0) expected = 0;
        ASSERT_EQ(out[side][i], expected)
            << "side " << side << " frame " << i << (c.restart ? " restart" : "");
      }
    }
    EXPECT_EQ(platform::mixer_play_position(v), c.restart ? 30 : 80);
  }
}

TEST(MixerVoices, StopStartDuplicateAndResample) {
  MixerFixture f(16);
  AudioVoice* v = f.voice(std::vector<std::uint8_t>(64, 255), 32767, 0, true);
  platform::mixer_start(*f.mixer, v);
  f.mix();
  EXPECT_EQ(platform::mixer_play_position(v), 16);
  platform::mixer_stop(*f.mixer, v);
  EXPECT_EQ(platform::mixer_play_position(v), 0);
  EXPECT_EQ(f.mix(), std::vector<int>(16, 0));
  platform::mixer_start(*f.mixer, v);
  EXPECT_EQ(f.mix(), std::vector<int>(16, level_value(31, 255)));

  // A duplicate shares the data and outlives the original.
  AudioVoice* copy = platform::mixer_new_voice_like(*f.mixer);
  platform::mixer_share_data(copy, v);
  platform::mixer_add_voice(*f.mixer, copy);
  EXPECT_FALSE(platform::mixer_voice_playing(copy));
  const std::uint8_t low[1] = {0};
  platform::mixer_write_data(v, 1, low, 5);
  EXPECT_EQ(platform::mixer_voice_data(copy)[5], 0);
  platform::mixer_free_voice(*f.mixer, v);
  platform::mixer_start(*f.mixer, copy);
  EXPECT_EQ(f.mix()[5], level_value(31, 0));

  // Resampled at creation by the nearest earlier source sample.
  const std::vector<std::uint8_t> source = {10, 20, 30, 40};
  AudioVoice* up = platform::mixer_new_voice(*f.mixer, 4, source.data(), 11025);
  platform::mixer_add_voice(*f.mixer, up);
  ASSERT_EQ(platform::mixer_voice_length(up), 8);
  const std::uint8_t* data = platform::mixer_voice_data(up);
  EXPECT_EQ(std::vector<std::uint8_t>(data, data + 8),
            (std::vector<std::uint8_t>{10, 10, 20, 20, 30, 30, 40, 40}));
  AudioVoice* down = platform::mixer_new_voice(*f.mixer, 4, source.data(), 44100);
  platform::mixer_add_voice(*f.mixer, down);
  ASSERT_EQ(platform::mixer_voice_length(down), 2);
  EXPECT_EQ(platform::mixer_voice_data(down)[1], 30);

  EXPECT_EQ(platform::mixer_new_voice(*f.mixer, 0, nullptr, 0), nullptr);
}

// 8-bit output clamps to -128..127 around 128; 16-bit to -127..127 times 256.
TEST(MixerOutput, EightAndSixteenBitClamp) {
  struct Case {
    bool sixteen_bit;
    int voices;
    int sample;    // every voice's every sample, at level 31
    int expected;  // the output value
  } cases[] = {{false, 1, 255, 128 + 122}, {false, 3, 255, 255},      {false, 3, 0, 0},
               {true, 1, 255, 122 * 256},  {true, 3, 255, 127 * 256}, {true, 3, 0, -127 * 256}};
  for (const Case& c : cases) {
    MixerSettings settings;
    settings.sixteen_bit = c.sixteen_bit;
    settings.block_frames = 4;
    Mixer* mixer = platform::mixer_create(settings);
    for (int i = 0; i < c.voices; ++i) {
      AudioVoice* v = platform::mixer_new_voice(*mixer, 8, nullptr, 0);
      platform::mixer_add_voice(*mixer, v);
      const std::vector<std::uint8_t> loud(8, static_cast<std::uint8_t>(c.sample));
      platform::mixer_write_data(v, 8, loud.data(), 0);
      platform::mixer_start(*mixer, v);
    }
    const void* block = platform::mixer_mix(*mixer);
    const int value = c.sixteen_bit ? static_cast<const std::int16_t*>(block)[3]
                                    : static_cast<const std::uint8_t*>(block)[3];
    EXPECT_EQ(value, c.expected) << c.voices << (c.sixteen_bit ? " 16-bit" : " 8-bit");
    platform::mixer_destroy(mixer);
  }
}

}  // namespace
