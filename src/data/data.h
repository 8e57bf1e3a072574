// data.h -- data names, search directories, .saf packs and the DataStream type.
//
// A name beginning with "@" ("@config", "@rabbithill/desc") is looked up in the
// search directories (the per-user folder first) and in the .saf packs found
// there; any other name is a plain path. Reading accepts a compressed or
// scrambled variant of a file (".gz", ".scram", ".gz.scram") transparently.
// Main thread only.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace data {

struct Inflater;  // gzip decompression state of a stream
struct ScrambledStream;  // deciphering state of a scrambled stream

// One open data file: plain, packed, compressed or scrambled.
struct DataStream {
  FILE* file = nullptr;
  long base = 0;              // where the data starts in the file
  long length = 0x7fffffff;   // readable bytes (the entry size for pack entries)
  long position = 0;          // bytes delivered so far, from the base
  long raw_read = 0;          // bytes taken from the file so far, from the base
  int pushback = -1;          // a peeked byte not yet consumed, or -1
  bool compressed = false;
  bool scrambled = false;
  bool writing = false;
  Inflater* inflater = nullptr;
  ScrambledStream* decipher = nullptr;
};

// Opens a data name with an fopen mode; nullptr when nothing is found. A mode
// with "r" and no "+" reads; any other mode writes (plain files only) and
// creates the directories along the path first.
DataStream* open_data(const char* name, const char* mode);
void close_data(DataStream* stream);

// Next byte (0..255) or -1 at the end.
int ds_getc(DataStream* stream);
// The next byte without consuming it, or -1.
int ds_peek(DataStream* stream);
// Reads up to and including a line feed, or size - 1 bytes; terminates the
// buffer. Returns nullptr when no byte could be read.
char* ds_read_line(DataStream* stream, char* buffer, std::size_t size);
// Reads up to count bytes, never past the stream's length.
std::size_t ds_read(DataStream* stream, void* buffer, std::size_t count);
// Plain (not compressed, not scrambled) streams only, offset below the
// length. Returns 1 on success, 0 otherwise.
int ds_seek(DataStream* stream, long offset);

// Formatted reading in the manner of fscanf through ds_peek/ds_getc (rules in token_reader.cpp):
// the number of conversions assigned, or -1 when a literal fails or the input ends first.
// No format attribute: "%ld" stores an int and "%llf" a long double, unlike scanf.
int ds_scanf(DataStream* stream, const char* format, ...);
// Skips white space and every line whose first non-blank byte is "#". Returns 0.
int ds_skip_comments(DataStream* stream);
// Scans "%d"; INT_MIN when nothing was assigned.
int ds_read_int(DataStream* stream);

// Writing, for streams opened with a write mode.
int ds_putc(DataStream* stream, int c);
int ds_puts(DataStream* stream, const char* text);
std::size_t ds_write(DataStream* stream, const void* buffer, std::size_t count);
int ds_printf(DataStream* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
int ds_flush(DataStream* stream);

// The distinct data names of all search directories and packs, sorted
// case-insensitively, ending with nullptr. Built once per run.
const char* const* data_names();

// "name -> path" of file-table entry `index`; 0 when out of range.
int describe_entry(int index, char* buffer, std::size_t size);

// Renames `from` over `to` ("@" names resolve in the per-user folder only).
// Returns 1 on success.
int replace_data(const char* from, const char* to);

// Search directory `index` ("/"-terminated), or nullptr past the end.
// Index 0 is the per-user folder.
const char* search_directory(int index);
int search_directory_count();

// The per-user folder: $XDG_DATA_HOME/Korvex/ or $HOME/.local/share/Korvex/.
// Empty when neither variable is usable.
const char* user_folder();

// Creates every directory along `path` (each prefix ending at a "/").
void make_directories(const char* path);

// Creates the per-user folder and opens it in the desktop's file browser.
// Returns false when the browser could not be started.
bool open_home_folder();

// Forgets the search directories and the file table, so the next lookup
// computes them again from the environment (tests).
void data_reset_for_test();

// Loads a texture by name ("!@title.png": a leading "!" is dropped before the
// lookup). Returns a texture handle, 0 when it cannot be loaded.
int load_texture(const char* name);

// One entry of a .saf pack's index.
struct PackEntry {
  std::string name;  // "/"-separated, runs of "/" collapsed
  long offset = 0;   // where its data starts in the pack
  long size = 0;
};

// Reads a pack's index. False (and no entries) when the pack cannot be
// opened or its index is malformed: a line without its line feed or longer
// than 1023 bytes, a line not starting with a size, or no "-" line.
bool read_pack_index(const char* path, std::vector<PackEntry>& entries);

// Writes the file `plain_path` scrambled to `scram_path` (normally the same
// name with ".scram" appended), through a temporary file renamed over it.
// The same input always gives the same bytes. Returns false and prints the
// reason on standard error on failure.
bool write_scrambled(const char* plain_path, const char* scram_path);

// Writes a .saf pack holding every file under `directory` (names relative to
// it, sorted byte-wise so the pack is the same on every machine).
// Returns false and prints the reason on standard error on failure.
bool write_pack(const char* directory, const char* pack_path);

}  // namespace data
