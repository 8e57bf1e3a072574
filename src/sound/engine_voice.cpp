// engine_voice.cpp -- the per-bike engine voice: synthesis, and what the listener hears of it.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "data/data.h"
#include "platform/platform.h"
#include "sound/sound.h"

namespace sound {

namespace {

// 0..1, with NaN (from nonsense in a file) as 0 so that it never reaches the output.
float clamp01(double v) { return v > 1 ? 1.0f : v > 0 ? static_cast<float>(v) : 0.0f; }

// The first index whose value lies above `x`, less one, and that index, both in 0..n-1, with
// the fraction of the way from the first to the second (1 when they are the same).
void bracket(double x, int n, float (*value)(const SoundTable&, int), const SoundTable& table,
             int* low, int* high, float* fraction) {
  int above = 0;
  while (above < n && !(value(table, above) > x)) ++above;
  *low = std::clamp(above - 1, 0, n - 1);
  *high = std::clamp(above, 0, n - 1);
  if (*low == *high) {
    *fraction = 1;
    return;
  }
  const double a = value(table, *low), b = value(table, *high);
  *fraction = clamp01((x - a) / (b - a));
}

float row_rpm(const SoundTable& t, int row) { return t.cell(row, 0).rpm; }
float column_load(const SoundTable& t, int column) { return t.cell(0, column).load; }

std::int64_t phase_step(double hz) {
  // More than one firing a sample cannot be heard; the cap keeps the phase arithmetic sane
  // for any engine speed a file can ask for.
  const double capped = std::min(hz, static_cast<double>(kOutputRate));
  return std::llround(capped / kOutputRate * static_cast<double>(kPhaseOne));
}

// A new engine cycle at sample k of a block of `count`: the cycle's engine speed, level and
// firing frequency, and the four cells' grains.
void start_cycle(EngineVoice& v, const EngineInputs& in, double load, int k, int count) {
  const EngineDescription& d = v.description;
  const std::uint32_t c = v.cycle;
  const double bias = d.bias[c % static_cast<std::uint32_t>(d.bias_count)];
  const double scale = d.scale[c % static_cast<std::uint32_t>(d.scale_count)];
  double s = scale * (bias + v.last_rpm + (static_cast<double>(k) / count) * (in.rpm - v.last_rpm));
  if (!(s >= d.min_rpm)) s = d.min_rpm;
  v.level_value = static_cast<float>(d.closed_level + (d.full_level - d.closed_level) *
                                                          std::clamp(in.throttle, 0.0, 1.0));
  v.firing_hz = std::max(5.0, s * d.pulses_per_rev / 60.0);
  if (!std::isfinite(v.firing_hz)) v.firing_hz = 5;
  v.phase_step = phase_step(v.firing_hz);

  const SoundTable& table = *d.table;
  int f, g, i, j;
  float u, t;
  bracket(s, table.rows, row_rpm, table, &f, &g, &u);
  bracket(load, table.columns, column_load, table, &i, &j, &t);
  const int rows[4] = {f, g, f, g};
  const int columns[4] = {i, i, j, j};
  const float gains[4] = {(1 - u) * (1 - t), u * (1 - t), t * (1 - u), u * t};
  const double rate = std::min(v.firing_hz, static_cast<double>(kOutputRate)) / kOutputRate;
  for (int n = 0; n < 4; ++n) {
    const SoundCell& cell = table.cell(rows[n], columns[n]);
    Grain& grain = v.grains[n];
    const double per_cycle = static_cast<double>(cell.length) / cell.cycles;
    std::uint32_t recorded = c;
    if (!cell.remap.empty()) {
      recorded = static_cast<std::uint32_t>(cell.remap[c % cell.remap.size()]);
    }
    recorded %= static_cast<std::uint32_t>(cell.cycles);
    grain.sample = cell.sample;
    grain.length = cell.length;
    grain.gain = gains[n];
    grain.position = static_cast<std::int64_t>(std::floor(per_cycle * recorded)) * kGrainFraction;
    grain.step = static_cast<std::int64_t>(std::floor(rate * per_cycle * kGrainFraction));
  }
  ++v.cycle;
}

}  // namespace

EngineVoice* engine_voice_create(platform::AudioDevice* device, const char* bike_class,
                                 const char* base_name, const char* class_default) {
  // The defaults (and their tables) are made before anything reads a file.
  const EngineDescription& fallback = class_default_engine(bike_class);
  auto* voice = new EngineVoice;
  voice->device = device;
  voice->phase_step = phase_step(voice->firing_hz);
  if (device && device->ops) {
    std::uint8_t silence[kVoiceSamples];
    std::fill(std::begin(silence), std::end(silence), std::uint8_t{128});
    voice->handle = device->ops->create_voice(device, kVoiceSamples, silence, 0);
    if (voice->handle) {
      device->ops->set_looping(device, voice->handle, 1);
      device->ops->set_volume(device, voice->handle, 0);
      device->ops->start(device, voice->handle);
    }
  }
  voice->description = fallback;
  EngineDescription& d = voice->description;
  bool found = false;
  for (const std::string& name : braap_candidates(base_name)) {
    if ((found = read_engine_description(name.c_str(), d))) break;
  }
  if (!found && class_default) read_engine_description(class_default, d);
  if (d.bias_count < 1) {
    d.bias[0] = 0;
    d.bias_count = 1;
  }
  if (d.scale_count < 1) {
    d.scale[0] = 1;
    d.scale_count = 1;
  }
  const SoundCell& first = d.table->cells.front();
  for (Grain& grain : voice->grains) {
    grain = Grain{};
    grain.sample = first.sample;
    grain.length = first.length;
  }
  return voice;
}

void engine_voice_free(EngineVoice* voice) {
  if (!voice) return;
  if (voice->handle && voice->device && voice->device->ops) {
    voice->device->ops->free_voice(voice->device, voice->handle);
  }
  delete voice;
}

void engine_voice_synthesise(EngineVoice& v, const EngineInputs& in, int count) {
  count = std::clamp(count, 0, kMaxRenderSamples);
  if (count == 0) return;
  const EngineDescription& d = v.description;
  const double load = clamp01((in.torque - d.low_torque) / (d.high_torque - d.low_torque));
  const int start = v.write;
  for (int k = 0; k < count; ++k) {
    float sum = 0;
    for (const PipeTap& tap : d.taps) {
      sum += tap.gain * v.history[(v.write + tap.offset) & (kVoiceSamples - 1)];
    }
    for (Grain& grain : v.grains) {
      const std::int64_t at =
          std::min<std::int64_t>(grain.position / kGrainFraction, grain.length - 1);
      sum += grain.gain * grain.sample[at];
      grain.position += grain.step;
    }
    // NaN (a file's "nan" gain) would stay in the ring for good: it counts as silence.
    sum = sum > 16 ? 16 : sum < -16 ? -16 : sum == sum ? sum : 0;
    v.history[v.write] = sum;
    v.phase += v.phase_step;
    if (v.phase > kPhaseOne - 1) {
      v.phase -= kPhaseOne;
      start_cycle(v, in, load, k, count);
    }
    v.write = (v.write + 1) & (kVoiceSamples - 1);
  }
  v.last_rpm = in.rpm;
  for (int k = 0; k < count; ++k) {
    const float h = v.history[(start + k) & (kVoiceSamples - 1)];
    const long value = std::lround(h * 127.0f + 127.0f);
    v.converted[k] = static_cast<std::uint8_t>(std::clamp(value, 0L, 255L));
  }
}

VoiceSpatial engine_voice_spatial(const render::Listener& listener, const double position[3],
                                  const double velocity[3], double level, double voice_level) {
  double n[3];
  double d2 = 0;
  for (int i = 0; i < 3; ++i) {
    n[i] = listener.position[i] - position[i];
    d2 += n[i] * n[i];
  }
  const double d = std::sqrt(d2);
  VoiceSpatial out;
  double m = 1;
  if (d2 >= 1.0 / 1024) {
    double towards_listener = 0, towards_bike = 0, right = 0;
    for (int i = 0; i < 3; ++i) {
      n[i] /= d;
      towards_listener += listener.velocity[i] * n[i];
      towards_bike += velocity[i] * n[i];
      right += n[i] * listener.right[i];
    }
    const double numerator = 1 - towards_listener / kSpeedOfSound;
    const double denominator = 1 - towards_bike / kSpeedOfSound;
    m = denominator * 8 < numerator ? 0.125 : numerator / denominator;
    out.pan = static_cast<int>(std::lround(std::clamp(-right, -1.0, 1.0) * 32767));
  }
  const double rate = std::clamp(kOutputRate * m, 100.0, 1000000.0);
  out.rate = std::isfinite(rate) ? static_cast<int>(std::lround(rate)) : kOutputRate;
  const double attenuation = std::max(1.0, (d - 1) / 48 + 1);
  const double volume = std::clamp(level * voice_level / attenuation * 32767, 0.0, 32767.0);
  out.volume = volume == volume ? static_cast<int>(std::lround(volume)) : 0;
  return out;
}

void engine_voice_render(EngineVoice& v, const EngineInputs& in, const render::Listener& listener,
                         double level) {
  if (!v.handle || !v.device || !v.device->ops) return;
  const platform::AudioOps& ops = *v.device->ops;
  const int play = ops.play_position(v.device, v.handle);
  // Keep kAheadSamples written beyond the play position.
  const int count = std::min((play - v.write + kAheadSamples + kVoiceSamples) & (kVoiceSamples - 1),
                             kMaxRenderSamples);
  if (count > 0) {
    const int start = v.write;
    engine_voice_synthesise(v, in, count);
    ops.write_data(v.device, v.handle, count, v.converted, start);
  }
  const VoiceSpatial s =
      engine_voice_spatial(listener, in.position, in.velocity, level, v.voice_level);
  ops.set_rate(v.device, v.handle, s.rate);
  ops.set_volume(v.device, v.handle, s.volume);
  ops.set_pan(v.device, v.handle, s.pan);
}

EngineInputs engine_inputs(const sim::Bike* bike) {
  EngineInputs in;
  in.rpm = sim::engine_rpm(bike);
  in.torque = sim::engine_torque(bike);
  in.throttle = bike->controls.throttle;
  const dReal* p = sim::body_position(bike, sim::kFrame);
  const dReal* u = dBodyGetLinearVel(bike->body[sim::kFrame]);
  for (int i = 0; i < 3; ++i) {
    in.position[i] = p[i];
    in.velocity[i] = u[i];
  }
  return in;
}

void engine_voice_render(const sim::Bike* bike, EngineVoice& voice, double level) {
  engine_voice_render(voice, engine_inputs(bike), render::g_listener, level);
}

}  // namespace sound
