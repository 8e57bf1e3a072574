// data_internal.h -- what the data folder's files share among themselves.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "data/data.h"

namespace data {

// One reachable data file: a plain file or an entry of a pack.
struct FileEntry {
  std::string path;  // the file holding the data (the file itself or its pack)
  std::string name;  // relative to its search directory, without "@"
  long offset = 0;   // where the data starts in `path`
  long size = 0;
  int source = 0;    // priority, lower wins: directory index, or count + pack ordinal
};

// Joins with "\\" turned into "/" and runs of "/" collapsed.
std::string normalise_path(const std::string& path);

// Builds the file table on first use; the entry with the lowest source whose
// name equals `name` case-insensitively, or nullptr.
const FileEntry* find_entry(const char* name);

void reset_search_directories();
void reset_file_table();

// gzip layer of a compressed stream (gzip_stream.cpp). gz_begin checks the
// header and starts inflate, reading compressed input from the deciphering
// stream when the stream is also scrambled, else from the file, never past
// the stream's length; it then sets the length to 2,147,483,647 and returns
// 1, or returns 0 with nothing to release. gz_read delivers up to `count`
// decompressed bytes, fewer only at the end of the data.
int gz_begin(DataStream* stream);
std::size_t gz_read(DataStream* stream, void* buffer, std::size_t count);
void gz_end(DataStream* stream);

// Deciphering stream of a scrambled file (scrambled_stream.cpp).
constexpr std::size_t kScramHeaderSize = 64;
// Reads the header at the file's current position; `size` is how many bytes
// of scrambled file are there (a pack entry's size), and no read goes past
// it. nullptr when the header is short or not valid.
ScrambledStream* scram_open(FILE* file, long size);
// Up to `count` plaintext bytes; fewer at the end of the data or where the
// file is cut short.
std::size_t scram_read(ScrambledStream* stream, void* buffer, std::size_t count);
// Wipes the key and frees the stream.
void scram_free(ScrambledStream* stream);
// The 64-byte header for a data key derived from `material` (32 bytes).
void scram_make_header(const unsigned char* material, std::uint32_t plain_length,
                       unsigned char* header);
// A whole scrambled file holding `plain`; false when it is too large
// (4 GiB or more).
bool scramble_bytes(const unsigned char* plain, std::size_t size, std::vector<unsigned char>& out);

// The next raw byte of the file, within the stream's length; -1 at the end.
int raw_getc(DataStream* stream);

}  // namespace data
