// data_internal.h -- what the data folder's files share among themselves.
#pragma once

#include <string>

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

// Compressed and scrambled streams. Each returns false when the stream
// cannot be set up; the caller then releases the stream.
bool start_deciphering(DataStream* stream);
bool start_decompression(DataStream* stream);
void end_deciphering(DataStream* stream);
void end_decompression(DataStream* stream);
// The next byte of the deciphered / decompressed data, or -1 at the end.
int decipher_getc(DataStream* stream);
int inflate_getc(DataStream* stream);

// The next raw byte of the file, within the stream's length; -1 at the end.
int raw_getc(DataStream* stream);

}  // namespace data
