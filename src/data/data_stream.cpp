// data_stream.cpp -- opening data names and reading and writing DataStreams.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/data.h"
#include "data/data_internal.h"

namespace data {

namespace {

// "@" names joined with a search directory are limited to this many characters.
constexpr std::size_t kMaxJoinedName = 511;

struct Variant {
  const char* suffix;
  bool compressed;
  bool scrambled;
};

constexpr Variant kVariants[] = {
    {"", false, false},
    {".gz", true, false},
    {".scram", false, true},
    {".gz.scram", true, true},
};

bool is_read_mode(const char* mode) { return std::strchr(mode, 'r') && !std::strchr(mode, '+'); }

// Sets up deciphering and decompression over a freshly opened file; on
// failure everything is released and nullptr returned.
DataStream* finish_open(DataStream* stream) {
  if (stream->scrambled) {
    // The deciphering stream reads the file itself; a pack entry's size
    // bounds it as it bounds plain reads.
    stream->decipher = scram_open(stream->file, stream->length);
    if (!stream->decipher) {
      close_data(stream);
      return nullptr;
    }
  }
  if (stream->compressed && !gz_begin(stream)) {
    close_data(stream);
    return nullptr;
  }
  return stream;
}

DataStream* open_path(const std::string& path, const char* mode) {
  const bool reading = is_read_mode(mode);
  if (!reading && path.size() + 1 <= 1024) make_directories(path.c_str());

  FILE* file = std::fopen(path.c_str(), mode);
  Variant found = kVariants[0];
  if (!file && reading) {
    for (const Variant& variant : kVariants) {
      if (!variant.suffix[0]) continue;
      const std::string candidate = path + variant.suffix;
      if (candidate.size() > 1023) continue;
      file = std::fopen(candidate.c_str(), "rb");
      if (file) {
        found = variant;
        break;
      }
    }
  }
  if (!file) return nullptr;
  DataStream* stream = new DataStream;
  stream->file = file;
  stream->compressed = found.compressed;
  stream->scrambled = found.scrambled;
  stream->writing = !reading;
  return finish_open(stream);
}

DataStream* open_entry(const char* name) {
  const FileEntry* kept = nullptr;
  Variant kept_variant = kVariants[0];
  for (const Variant& variant : kVariants) {
    const std::string candidate = std::string(name) + variant.suffix;
    const FileEntry* entry = find_entry(candidate.c_str());
    if (entry && (!kept || entry->source < kept->source)) {
      kept = entry;
      kept_variant = variant;
    }
  }
  if (!kept) return nullptr;
  FILE* file = std::fopen(kept->path.c_str(), "rb");
  if (!file) return nullptr;
  if (std::fseek(file, kept->offset, SEEK_SET) != 0) {
    std::fclose(file);
    return nullptr;
  }
  DataStream* stream = new DataStream;
  stream->file = file;
  stream->base = kept->offset;
  stream->length = kept->size;
  stream->compressed = kept_variant.compressed;
  stream->scrambled = kept_variant.scrambled;
  return finish_open(stream);
}

// Up to `count` bytes from the stream's source, counted as delivered: the
// decompressor, else the deciphering stream, else the file within the
// stream's length.
std::size_t source_read(DataStream* stream, unsigned char* out, std::size_t count) {
  std::size_t got;
  if (stream->compressed) {
    got = gz_read(stream, out, count);
  } else if (stream->scrambled) {
    got = scram_read(stream->decipher, out, count);
  } else {
    const long left = stream->length - stream->raw_read;
    if (left <= 0) return 0;
    if (count > static_cast<std::size_t>(left)) count = static_cast<std::size_t>(left);
    got = std::fread(out, 1, count, stream->file);
    stream->raw_read += static_cast<long>(got);
  }
  stream->position += static_cast<long>(got);
  return got;
}

// The next byte from the stream's source, or -1 at the end.
int source_getc(DataStream* stream) {
  if (!stream->compressed && !stream->scrambled) {
    const int c = raw_getc(stream);
    if (c >= 0) ++stream->position;
    return c;
  }
  unsigned char c;
  return source_read(stream, &c, 1) == 1 ? c : -1;
}

}  // namespace

int raw_getc(DataStream* stream) {
  if (stream->raw_read >= stream->length) return -1;
  const int c = std::fgetc(stream->file);
  if (c == EOF) return -1;
  ++stream->raw_read;
  return c;
}

DataStream* open_data(const char* name, const char* mode) {
  if (!name || !mode) return nullptr;
  // The table is built before anything is opened, so that files written
  // during this run never change what the table holds.
  data_names();
  if (name[0] != '@') return open_path(name, mode);

  const char* relative = name + 1;
  for (int i = 0; const char* dir = search_directory(i); ++i) {
    std::string joined = std::string(dir) + relative;
    if (joined.size() > kMaxJoinedName) joined.resize(kMaxJoinedName);
    if (DataStream* stream = open_path(normalise_path(joined), mode)) return stream;
  }
  if (!is_read_mode(mode)) return nullptr;
  return open_entry(relative);
}

void close_data(DataStream* stream) {
  if (!stream) return;
  if (stream->inflater) gz_end(stream);
  scram_free(stream->decipher);
  stream->decipher = nullptr;
  if (stream->file) std::fclose(stream->file);
  delete stream;
}

int ds_getc(DataStream* stream) {
  if (stream->pushback >= 0) {
    const int c = stream->pushback;
    stream->pushback = -1;
    return c;
  }
  return source_getc(stream);
}

int ds_peek(DataStream* stream) {
  if (stream->pushback < 0) stream->pushback = source_getc(stream);
  return stream->pushback;
}

char* ds_read_line(DataStream* stream, char* buffer, std::size_t size) {
  // Room for at least one byte and the terminator, or nothing can be read.
  if (size < 2) return nullptr;
  std::size_t stored = 0;
  while (stored + 1 < size) {
    const int c = ds_getc(stream);
    if (c < 0) break;
    buffer[stored++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buffer[stored] = '\0';
  return stored ? buffer : nullptr;
}

std::size_t ds_read(DataStream* stream, void* buffer, std::size_t count) {
  unsigned char* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  if (count > 0 && stream->pushback >= 0) {
    out[done++] = static_cast<unsigned char>(stream->pushback);
    stream->pushback = -1;
  }
  if (done < count) done += source_read(stream, out + done, count - done);
  return done;
}

int ds_seek(DataStream* stream, long offset) {
  if (stream->compressed || stream->scrambled) return 0;
  if (offset < 0 || offset >= stream->length) return 0;
  if (std::fseek(stream->file, stream->base + offset, SEEK_SET) != 0) return 0;
  stream->pushback = -1;
  stream->position = offset;
  stream->raw_read = offset;
  return 1;
}

int ds_putc(DataStream* stream, int c) {
  if (!stream->writing) return EOF;
  return std::fputc(c, stream->file);
}

int ds_puts(DataStream* stream, const char* text) {
  if (!stream->writing) return EOF;
  return std::fputs(text, stream->file);
}

std::size_t ds_write(DataStream* stream, const void* buffer, std::size_t count) {
  if (!stream->writing) return 0;
  return std::fwrite(buffer, 1, count, stream->file);
}

int ds_printf(DataStream* stream, const char* format, ...) {
  if (!stream->writing) return -1;
  va_list args;
  va_start(args, format);
  const int written = std::vfprintf(stream->file, format, args);
  va_end(args);
  return written;
}

int ds_flush(DataStream* stream) {
  if (!stream->writing) return EOF;
  return std::fflush(stream->file);
}

int replace_data(const char* from, const char* to) {
  // "@" names resolve in the per-user folder only: that is where the
  // program's own files are rewritten.
  auto resolve = [](const char* name) -> std::string {
    if (name[0] != '@') return name;
    const char* dir = search_directory(0);
    if (!dir) return std::string();
    std::string joined = std::string(dir) + (name + 1);
    if (joined.size() > kMaxJoinedName) joined.resize(kMaxJoinedName);
    return normalise_path(joined);
  };
  const std::string source = resolve(from);
  const std::string target = resolve(to);
  if (source.empty() || target.empty()) return 0;
  // rename() replaces the target atomically; removing it first would lose
  // the old file whenever the rename then failed.
  return std::rename(source.c_str(), target.c_str()) == 0 ? 1 : 0;
}

}  // namespace data
