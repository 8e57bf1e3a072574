// wav_file.cpp -- 16-bit mono WAV files written as the samples come (libsndfile underneath).
#include <sndfile.h>

#include "platform/platform.h"

namespace platform {

struct WavFile {
  SNDFILE* file = nullptr;
};

WavFile* wav_create(const char* path, int rate) {
  if (!path || rate < 1) return nullptr;
  SF_INFO info = {};
  info.samplerate = rate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path, SFM_WRITE, &info);
  if (!file) return nullptr;
  return new WavFile{file};
}

bool wav_write(WavFile* wav, const std::int16_t* samples, int count) {
  if (!wav || count < 0) return false;
  return sf_write_short(wav->file, samples, count) == count;
}

bool wav_close(WavFile* wav) {
  if (!wav) return false;
  const bool ok = sf_close(wav->file) == 0;
  delete wav;
  return ok;
}

bool wav_read(const char* path, std::vector<std::int16_t>& samples, int* rate) {
  SF_INFO info = {};
  SNDFILE* file = sf_open(path, SFM_READ, &info);
  if (!file) return false;
  samples.clear();
  bool ok = info.channels == 1 && info.frames >= 0;
  if (ok) {
    samples.resize(static_cast<std::size_t>(info.frames));
    ok = sf_read_short(file, samples.data(), info.frames) == info.frames;
  }
  if (rate) *rate = info.samplerate;
  sf_close(file);
  return ok;
}

}  // namespace platform
