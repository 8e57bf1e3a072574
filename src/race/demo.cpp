// demo.cpp -- demo files: the header, the backups, the writer and the reader.
//
// A demo is a text header and a binary body. The header:
//   KV06 <riders> <race duration, ticks> <extra laps> <start tick>
//   <track directory>
//   then per rider: <model>|<rider texture>|<bike texture>|<wheel texture>|<head texture>
//                   <number>
//                   <name>                 (version 6)
//                   <an empty line>        (version 6; a reader skips lines up to it)
// The version-6 body is a chain of blocks, every number little-endian:
//   u32  the previous block's payload length XOR this block's (the first block's previous: 0)
//   u32  the block's tick
//   u8   its type: 1 states (entries of u8 rider index, u32 tick, 39-byte record),
//                  2 a server message (its text, no terminator); others are skipped
//   the payload.
// Versions 5 and 4 (read only) have one frame per tick from the tick playback starts at: every
// rider's record in header order, 39 bytes (version 5) or 26 (version 4, see record_from_v4).
#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdio>
#include <cstring>
#include <numbers>

#include "data/data.h"
#include "platform/platform.h"
#include "race/history_internal.h"
#include "race/race.h"

namespace race {

DemoWriter g_recording;
DemoReader g_playback;

namespace {

constexpr int kBlockHeaderBytes = 9;
// No writer comes near this: 160 riders x 128 records x 44 bytes is under 1 MiB.
constexpr std::uint32_t kMaxBlockPayload = 16u << 20;
constexpr int kBlocksPerStep = 128;
constexpr int kBlockReadAhead = 64;  // ticks: a block is read this long before its tick
constexpr int kFrameReadAhead = 8;   // versions 4 and 5: frames read this far ahead (ticks)
constexpr int kSeekMargin = 16;      // a seek keeps the blocks from this long before its tick
constexpr int kMessageBytes = 1024;  // a message's text beyond this is skipped
constexpr int kStateChunkEntries = 128;

// Version-4 record layout, 26 bytes: bytes 0-19 as in the 39-byte record (frame position,
// frame quaternion, steering, rear and front suspension), then
//   20  front wheel angle        21  rear wheel angle        22  state byte
//   23  engine speed (u16)       25  rider lean, u8 over [-pi/4, pi/4] radians: the rider's
//                                    turn about the frame's forward axis (body -z).
// Version 4 had no rider offset: the rider sits this far up the frame's up axis.
constexpr int kV4Shared = 20;
constexpr int kV4FrontWheel = 20;
constexpr int kV4RearWheel = 21;
constexpr int kV4State = 22;
constexpr int kV4EngineSpeed = 23;
constexpr int kV4Lean = 25;
constexpr double kV4RiderHeight = 1.5;  // ft
constexpr double kV4LeanRange = std::numbers::pi / 4;

long stream_offset(const data::DataStream* stream) {
  return stream->position - (stream->pushback >= 0 ? 1 : 0);
}

// One header line without its line break (nor a carriage return before it).
bool read_header_line(data::DataStream* stream, std::string& line, std::string* error) {
  line.clear();
  for (int n = 0; n < kDemoLineLimit; ++n) {
    const int c = data::ds_getc(stream);
    if (c < 0) {
      *error = "its header is cut short";
      return false;
    }
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    line.push_back(static_cast<char>(c));
  }
  *error = "a header line has no line break within 1024 bytes";
  return false;
}

// A text as one header field: no line breaks, and with `bar` no "|" either.
std::string header_field(const std::string& text, bool bar) {
  std::string field = text;
  for (char& c : field) {
    if (c == '\n' || c == '\r' || (bar && c == '|')) c = ' ';
  }
  return field;
}

void write_header_line(data::DataStream* stream, std::string line) {
  // Readers refuse a longer line; cutting it keeps the rest of the file readable.
  if (line.size() > kDemoLineLimit - 1) line.resize(kDemoLineLimit - 1);
  data::ds_write(stream, line.data(), line.size());
  data::ds_putc(stream, '\n');
}

int record_size(int version) { return version == 4 ? kStateRecordV4Size : sim::kStateRecordSize; }

void show_error(const char* name, const std::string& reason) {
  platform::messagef("Can't play back '%.150s': %s", name ? name : "", reason.c_str());
}

// Reads and drops `count` bytes of the body; false when the file ends first.
bool skip_bytes(DemoReader& reader, long long count) {
  while (count > 0) {
    const std::size_t want = static_cast<std::size_t>(
        std::min<long long>(count, static_cast<long long>(reader.buffer.size())));
    const std::size_t got = data::ds_read(reader.stream, reader.buffer.data(), want);
    if (got < want) return false;
    count -= static_cast<long long>(got);
  }
  return true;
}

// Puts the stream at `offset`. A compressed demo cannot seek: it is opened again and read up
// to there.
bool position_at(DemoReader& reader, long long offset) {
  if (offset < 0 || offset > LONG_MAX) return false;
  if (data::ds_seek(reader.stream, static_cast<long>(offset))) return true;
  data::close_data(reader.stream);
  reader.stream = data::open_data(reader.name.c_str(), "rb");
  return reader.stream && skip_bytes(reader, offset);
}

// The slot rider `index` is bound to; -1 for none.
int bound_slot(const DemoReader& reader, std::size_t index) {
  if (index >= reader.header.riders.size() || index >= reader.slots.size()) return -1;
  const int slot = reader.slots[index];
  return slot >= 0 && slot < kHistorySlots ? slot : -1;
}

// Reads the next block header into `pending`; false (the body ended) when it is cut short,
// claims an absurd length or a states length that is no whole number of entries.
bool read_block_header(DemoReader& reader) {
  unsigned char bytes[kBlockHeaderBytes];
  const std::size_t got = data::ds_read(reader.stream, bytes, sizeof bytes);
  if (got != sizeof bytes) {
    // Nothing more is the demo's end; part of a header is a demo cut short.
    reader.ended = true;
    reader.damaged = got > 0;
    return false;
  }
  const std::uint32_t length = get32(bytes) ^ static_cast<std::uint32_t>(reader.previous_length);
  const int type = bytes[8];
  if (length > kMaxBlockPayload || (type == kDemoBlockStates && length % kDemoStateEntry != 0)) {
    reader.ended = reader.damaged = true;
    return false;
  }
  reader.previous_length = static_cast<int>(length);
  reader.pending = true;
  reader.pending_length = static_cast<int>(length);
  reader.pending_tick = static_cast<std::int32_t>(get32(bytes + 4));
  reader.pending_type = type;
  return true;
}

// The pending states block's entries into the bound slots' rings.
void read_states(DemoReader& reader, History& history) {
  const std::size_t chunk = kStateChunkEntries * kDemoStateEntry;
  std::size_t left = static_cast<std::size_t>(reader.pending_length);
  while (left > 0) {
    const std::size_t want = std::min(left, chunk);
    const std::size_t got = data::ds_read(reader.stream, reader.buffer.data(), want);
    for (std::size_t at = 0; at + kDemoStateEntry <= got; at += kDemoStateEntry) {
      const unsigned char* entry = reader.buffer.data() + at;
      const int slot = bound_slot(reader, entry[0]);
      const long long tick =
          static_cast<long long>(static_cast<std::int32_t>(get32(entry + 1))) + reader.offset;
      if (entry[0] >= reader.header.riders.size()) reader.damaged = true;
      if (slot < 0 || tick < 0 || tick > INT_MAX) continue;
      sim::StateRecord record;
      std::memcpy(record.bytes, entry + 5, sim::kStateRecordSize);
      add_state(history, slot, record, static_cast<int>(tick));
    }
    if (got < want) {
      reader.ended = reader.damaged = true;
      return;
    }
    left -= want;
  }
}

// The pending message block, shown on the message line.
void read_message(DemoReader& reader) {
  const std::size_t length = static_cast<std::size_t>(reader.pending_length);
  const std::size_t kept = std::min<std::size_t>(length, kMessageBytes);
  const std::size_t got = data::ds_read(reader.stream, reader.buffer.data(), kept);
  if (got < kept) {
    reader.ended = reader.damaged = true;
    return;
  }
  char text[kMessageBytes + 1];
  std::memcpy(text, reader.buffer.data(), kept);
  text[kept] = '\0';
  if (!skip_bytes(reader, static_cast<long long>(length - kept))) {
    reader.ended = reader.damaged = true;
    return;
  }
  platform::message(text);
}

void step_blocks(DemoReader& reader, History& history, int* now) {
  for (int blocks = 0; blocks < kBlocksPerStep && !reader.ended; ++blocks) {
    if (!reader.pending && !read_block_header(reader)) return;
    // Until the first states block fixes the clock, every block is due.
    if (reader.clock_fixed &&
        static_cast<long long>(*now) <
            static_cast<long long>(reader.pending_tick) + reader.offset - kBlockReadAhead) {
      return;
    }
    reader.pending = false;
    if (reader.pending_type == kDemoBlockStates) {
      if (!reader.clock_fixed) {
        reader.clock_fixed = true;
        if (reader.ghost) {
          const long long offset = static_cast<long long>(*now) - reader.pending_tick;
          reader.offset = static_cast<int>(std::clamp<long long>(offset, INT_MIN, INT_MAX));
        } else {
          *now = reader.pending_tick;
        }
      }
      ++reader.state_blocks;
      read_states(reader, history);
    } else if (reader.pending_type == kDemoBlockMessage) {
      ++reader.message_blocks;
      read_message(reader);
    } else {
      ++reader.other_blocks;
      if (!skip_bytes(reader, reader.pending_length)) reader.ended = reader.damaged = true;
    }
  }
}

void step_frames(DemoReader& reader, History& history, int now) {
  const int size = record_size(reader.header.version);
  const int riders = static_cast<int>(reader.header.riders.size());
  if (reader.first_frame_tick < 0) reader.first_frame_tick = std::max(now, 0);
  const long long last = static_cast<long long>(now) + kFrameReadAhead;
  if (riders == 0) {
    // Frames of nothing: only the count moves on.
    reader.frames_read = static_cast<int>(
        std::clamp<long long>(last - reader.first_frame_tick + 1, reader.frames_read, INT_MAX));
    return;
  }
  const std::size_t frame = static_cast<std::size_t>(riders) * size;
  while (reader.first_frame_tick + static_cast<long long>(reader.frames_read) <= last) {
    const long long tick = reader.first_frame_tick + static_cast<long long>(reader.frames_read);
    if (tick > INT_MAX) return;
    const std::size_t got = data::ds_read(reader.stream, reader.buffer.data(), frame);
    for (int i = 0; i < riders; ++i) {
      const std::size_t end = static_cast<std::size_t>(i + 1) * size;
      if (end > got) {
        // A clean end cuts no record short: the riders keep their last records.
        if (got > 0) reader.cut_short[i] = 1;
        continue;
      }
      const int slot = bound_slot(reader, i);
      if (slot < 0) continue;
      const unsigned char* bytes = reader.buffer.data() + end - size;
      sim::StateRecord record;
      if (size == kStateRecordV4Size) {
        record = record_from_v4(bytes);
      } else {
        std::memcpy(record.bytes, bytes, sim::kStateRecordSize);
      }
      add_state(history, slot, record, static_cast<int>(tick));
    }
    ++reader.frames_read;
    if (got < frame) {
      reader.ended = true;
      return;
    }
  }
}

}  // namespace

std::string demo_bike_id(const std::string& id) {
  static const char* const kOldIds[][2] = {{"crf250", "crf250(2008)"},
                                           {"kx250f", "kx250f(2008)"},
                                           {"rmz250", "rmz250(2008)"},
                                           {"yz250f", "yz250f(2008)"}};
  for (const auto& pair : kOldIds) {
    if (id == pair[0]) return pair[1];
  }
  return id;
}

bool read_demo_header(data::DataStream* stream, DemoHeader& header, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  header = DemoHeader{};
  std::string line;
  if (!read_header_line(stream, line, error)) return false;
  int version = 0, riders = 0, duration = 0, extra_laps = 0, start_tick = kDemoDefaultStart;
  const int fields = line.empty() ? -1
                                  : data::scan_text(line.c_str(), "KV%d %d %d %d %d", &version,
                                                    &riders, &duration, &extra_laps, &start_tick);
  if (fields < 3) {
    *error = "it is not a demo file";
    return false;
  }
  if (version < 4 || version > 6) {
    *error = "version " + std::to_string(version) + " demos cannot be played";
    return false;
  }
  if (riders < 0 || riders > kHistorySlots) {
    *error = "its rider count " + std::to_string(riders) + " is out of range";
    return false;
  }
  if (duration < 0) {
    *error = "its race duration is negative";
    return false;
  }
  header.version = version;
  header.duration = duration;
  header.extra_laps = fields >= 4 ? extra_laps : 0;
  header.start_tick = fields >= 5 ? start_tick : kDemoDefaultStart;
  if (!read_header_line(stream, header.track, error)) return false;
  if (header.track.empty()) {
    *error = "it names no track";
    return false;
  }

  header.riders.resize(riders);
  for (DemoRider& rider : header.riders) {
    if (!read_header_line(stream, line, error)) return false;
    std::string* fields_of[] = {&rider.model, &rider.rider_texture, &rider.bike_texture,
                                &rider.wheel_texture, &rider.head_texture};
    std::size_t from = 0;
    for (std::string* field : fields_of) {
      if (from > line.size()) break;
      const std::size_t bar = std::min(line.find('|', from), line.size());
      *field = line.substr(from, bar - from);
      from = bar + 1;
    }
    rider.model = demo_bike_id(rider.model);
    if (!read_header_line(stream, line, error)) return false;
    rider.number = line.substr(0, 3);
    if (version == 6) {
      if (!read_header_line(stream, rider.name, error)) return false;
      // Later versions may add lines here; the rider's block ends at an empty line.
      do {
        if (!read_header_line(stream, line, error)) return false;
      } while (!line.empty());
    }
  }
  return true;
}

void write_demo_header(data::DataStream* stream, const DemoHeader& header) {
  data::ds_printf(stream, "KV06 %d %d %d %d\n", static_cast<int>(header.riders.size()),
                  header.duration, header.extra_laps, header.start_tick);
  write_header_line(stream, header_field(header.track, false));
  for (const DemoRider& rider : header.riders) {
    write_header_line(stream, header_field(rider.model, true) + "|" +
                                  header_field(rider.rider_texture, true) + "|" +
                                  header_field(rider.bike_texture, true) + "|" +
                                  header_field(rider.wheel_texture, true) + "|" +
                                  header_field(rider.head_texture, true));
    write_header_line(stream, header_field(rider.number, false));
    write_header_line(stream, header_field(rider.name, false));
    data::ds_putc(stream, '\n');
  }
}

void rotate_demo_backups(int backups) {
  backups = std::clamp(backups, 0, 100);
  char from[40], to[40];
  for (int n = backups - 2; n >= 0; --n) {
    std::snprintf(from, sizeof from, "@demos/default%02d.kvdemo", n);
    std::snprintf(to, sizeof to, "@demos/default%02d.kvdemo", n + 1);
    data::replace_data(from, to);  // a missing backup is no error
  }
  if (backups > 0) data::replace_data("@demos/default.kvdemo", "@demos/default00.kvdemo");
}

bool record_start(DemoWriter& writer, const char* name, const DemoHeader& header,
                  const std::vector<int>& slots) {
  assert(header.riders.size() == slots.size());
  record_stop(writer);
  writer.stream = name ? data::open_data(name, "wb") : nullptr;
  if (!writer.stream) return false;
  writer.name = name;
  writer.slots = slots;
  writer.previous_length = 0;
  // Room for every ring full, or for a message, so that no tick allocates.
  writer.block.assign(
      kBlockHeaderBytes +
          std::max<std::size_t>(slots.size() * kHistoryLength * kDemoStateEntry, kMessageBytes),
      0);
  write_demo_header(writer.stream, header);
  data::ds_flush(writer.stream);
  return true;
}

void record_flush(DemoWriter& writer, History& history, int now, bool force) {
  if (!writer.stream) return;
  if (!force && now % kFlushInterval != 0) return;
  unsigned char* out = writer.block.data() + kBlockHeaderBytes;
  std::size_t length = 0;
  for (std::size_t i = 0; i < writer.slots.size(); ++i) {
    const int slot = writer.slots[i];
    if (slot < 0 || slot >= kHistorySlots) continue;
    HistoryRing& ring = history.rings[slot];
    for (int back = ring.unflushed - 1; back >= 0; --back) {
      const HistoryEntry& entry = ring.entries[ring_index(ring.head - back)];
      if (entry.tick < 0) continue;
      out[0] = static_cast<unsigned char>(i);
      put32(out + 1, static_cast<std::uint32_t>(entry.tick));
      std::memcpy(out + 5, entry.record.bytes, sim::kStateRecordSize);
      out += kDemoStateEntry;
      length += kDemoStateEntry;
    }
    ring.unflushed = 0;
  }
  if (length == 0) return;
  unsigned char* block = writer.block.data();
  put32(block,
        static_cast<std::uint32_t>(writer.previous_length) ^ static_cast<std::uint32_t>(length));
  put32(block + 4, static_cast<std::uint32_t>(now));
  block[8] = kDemoBlockStates;
  data::ds_write(writer.stream, block, kBlockHeaderBytes + length);
  data::ds_flush(writer.stream);
  writer.previous_length = static_cast<int>(length);
}

void record_message(DemoWriter& writer, const char* text, int now) {
  if (!writer.stream || !text) return;
  const std::size_t length = std::min<std::size_t>(std::strlen(text), kMessageBytes);
  unsigned char* block = writer.block.data();
  put32(block,
        static_cast<std::uint32_t>(writer.previous_length) ^ static_cast<std::uint32_t>(length));
  put32(block + 4, static_cast<std::uint32_t>(now));
  block[8] = kDemoBlockMessage;
  std::memcpy(block + kBlockHeaderBytes, text, length);
  data::ds_write(writer.stream, block, kBlockHeaderBytes + length);
  data::ds_flush(writer.stream);
  writer.previous_length = static_cast<int>(length);
}

void record_stop(DemoWriter& writer) {
  if (!writer.stream) return;
  data::close_data(writer.stream);
  writer.stream = nullptr;
  // A name given while recording is the default demo's once it is complete.
  if (!writer.rename_to.empty() && writer.name == kDefaultDemoName) {
    const std::string to = std::string("@demos/") + writer.rename_to;
    if (!data::replace_data(writer.name.c_str(), to.c_str())) {
      platform::messagef("Can't rename the demo to %.200s", writer.rename_to.c_str());
    }
  }
  writer.rename_to.clear();
}

const char* name_demo(DemoWriter& writer, const char* argument, bool time_trial) {
  if (!writer.stream || time_trial) return "Not currently recording a demo";
  // The first word of the argument.
  const char* at = argument ? argument : "";
  while (*at == ' ' || *at == '\t') ++at;
  std::size_t length = 0;
  while (at[length] && at[length] != ' ' && at[length] != '\t' && at[length] != '\n') ++length;
  if (length > kDemoNameLimit) return "Name too long";
  std::string name(at, length);
  const std::string extension = ".kvdemo";
  if (name.size() < extension.size() ||
      name.compare(name.size() - extension.size(), extension.size(), extension) != 0) {
    name += extension;
  }
  writer.rename_to = name;
  return "Demo name updated";
}

namespace {

// Opens a demo and reads its header; null (the reason shown) when either fails.
data::DataStream* open_demo(const char* name, DemoHeader& header) {
  data::DataStream* stream = name ? data::open_data(name, "rb") : nullptr;
  if (!stream) {
    show_error(name, "it cannot be opened");
    return nullptr;
  }
  std::string error;
  if (!read_demo_header(stream, header, &error)) {
    data::close_data(stream);
    show_error(name, error);
    return nullptr;
  }
  return stream;
}

}  // namespace

bool playback_open(DemoReader& reader, const char* name, bool ghost) {
  playback_close(reader);
  DemoHeader header;
  data::DataStream* stream = open_demo(name, header);
  if (!stream) return false;
  reader.stream = stream;
  reader.name = name;
  reader.header = std::move(header);
  reader.body_start = stream_offset(stream);
  reader.ghost = ghost;
  const std::size_t riders = reader.header.riders.size();
  reader.slots.assign(riders, -1);
  reader.cut_short.assign(riders, 0);
  const std::size_t frame = riders * record_size(reader.header.version);
  reader.buffer.assign(
      std::max<std::size_t>({frame, kStateChunkEntries * kDemoStateEntry, kMessageBytes}), 0);
  return true;
}

void playback_bind(DemoReader& reader, const std::vector<int>& slots) { reader.slots = slots; }

void playback_step(DemoReader& reader, History& history, int* now) {
  if (!reader.stream || reader.ended || !now) return;
  if (reader.header.version == 6) {
    step_blocks(reader, history, now);
  } else {
    step_frames(reader, history, *now);
  }
}

void playback_seek(DemoReader& reader, int tick) {
  if (!reader.stream) return;
  reader.ended = false;
  reader.pending = false;
  std::fill(reader.cut_short.begin(), reader.cut_short.end(), 0);
  if (reader.header.version == 6) {
    // The clock stays as it was fixed (and a ghost keeps its offset); blocks wholly before the
    // tick are passed over unread, the first one kept stays pending.
    reader.previous_length = 0;
    if (!position_at(reader, reader.body_start)) {
      reader.ended = true;
      return;
    }
    const long long from = static_cast<long long>(tick) - kSeekMargin;
    while (read_block_header(reader)) {
      if (static_cast<long long>(reader.pending_tick) + reader.offset >= from) return;
      reader.pending = false;
      if (!skip_bytes(reader, reader.pending_length)) {
        reader.ended = true;
        return;
      }
    }
    return;
  }
  if (reader.first_frame_tick < 0) return;  // nothing read yet: reading starts where it is
  const long long frame = std::max(0LL, static_cast<long long>(tick) - reader.first_frame_tick);
  const long long frame_bytes =
      static_cast<long long>(reader.header.riders.size()) * record_size(reader.header.version);
  reader.frames_read = static_cast<int>(std::min<long long>(frame, INT_MAX));
  if (!position_at(reader, reader.body_start + frame * frame_bytes)) reader.ended = true;
}

void playback_close(DemoReader& reader) {
  if (reader.stream) data::close_data(reader.stream);
  reader = DemoReader{};
}

sim::StateRecord record_from_v4(const unsigned char* bytes) {
  sim::StateRecord record{};
  unsigned char* out = record.bytes;
  std::memcpy(out, bytes, kV4Shared);
  out[kFrontWheel] = bytes[kV4FrontWheel];
  out[kRearWheel] = bytes[kV4RearWheel];
  out[kStateByte] = bytes[kV4State];
  out[kEngineSpeed] = bytes[kV4EngineSpeed];
  out[kEngineSpeed + 1] = bytes[kV4EngineSpeed + 1];

  dQuaternion frame;
  double length = 0;
  for (int i = 0; i < 4; ++i) {
    frame[i] = quaternion_component(get16(bytes + kFrameQuaternion + 2 * i));
    length += frame[i] * frame[i];
  }
  length = std::sqrt(length);
  if (length > 1e-6) {
    for (dReal& c : frame) c /= length;
  } else {
    dQSetIdentity(frame);
  }
  dMatrix3 r;
  dRfromQ(r, frame);
  // The frame's up axis (its body y) in the world: the rotation's second column.
  const double up[3] = {r[1], r[5], r[9]};
  for (int i = 0; i < 3; ++i) {
    put16(out + kRiderOffset + 2 * i,
          record_code(up[i] * kV4RiderHeight, -kRiderOffsetRange, kRiderOffsetRange, kCode16));
  }
  const double lean = -kV4LeanRange + 2 * kV4LeanRange * bytes[kV4Lean] / kCode8;
  dQuaternion turn, rider;
  dQFromAxisAndAngle(turn, 0, 0, -1, lean);
  dQMultiply0(rider, frame, turn);
  for (int i = 0; i < 4; ++i) {
    put16(out + kRiderQuaternion + 2 * i, quaternion_code(rider[i]));
  }
  return record;
}

bool read_demo(const char* file, std::string& track) {
  DemoHeader header;
  data::DataStream* stream = open_demo(file, header);
  if (!stream) return false;
  data::close_data(stream);
  track = header.track;
  return true;
}

}  // namespace race
