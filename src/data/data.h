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
#include <cstring>
#include <string>
#include <vector>

namespace data {

struct Inflater;         // gzip decompression state of a stream
struct ScrambledStream;  // deciphering state of a scrambled stream

// One open data file: plain, packed, compressed or scrambled.
struct DataStream {
  FILE* file = nullptr;
  long base = 0;             // where the data starts in the file
  long length = 0x7fffffff;  // readable bytes (the entry size for pack entries)
  long position = 0;         // bytes delivered so far, from the base
  long raw_read = 0;         // bytes taken from the file so far, from the base
  int pushback = -1;         // a peeked byte not yet consumed, or -1
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

// Names "lastlog.txt" in the per-user folder as the log and checks every
// search directory for a zzzz.saf whose first MiB has the given digest.
// Returns 1 when the game data is present, else 0.
int open_startup_log_and_check_data(const char* game_data_sha1);

// Creates the per-user folder and opens it in the desktop's file browser.
// Returns false when the browser could not be started.
bool open_home_folder();

// Forgets the search directories and the file table, so the next lookup
// computes them again from the environment (tests).
void data_reset_for_test();

// A read-only DataStream over a piece of text, so that a part of a line
// already cut out of a file is scanned by the same ds_scanf rules as the
// files themselves.
class TextStream {
 public:
  explicit TextStream(const char* text) : length_(std::strlen(text)) {
    // fmemopen refuses an empty buffer; an empty text scans as the end of input.
    if (length_ > 0) stream_.file = fmemopen(const_cast<char*>(text), length_, "r");
    stream_.length = static_cast<long>(length_);
  }
  ~TextStream() {
    if (stream_.file) std::fclose(stream_.file);
    stream_.file = nullptr;
  }
  TextStream(const TextStream&) = delete;
  TextStream& operator=(const TextStream&) = delete;

  // Null for an empty text.
  DataStream* stream() { return stream_.file ? &stream_ : nullptr; }
  std::size_t length() const { return length_; }

 private:
  std::size_t length_;
  DataStream stream_;
};

// "dir/name" as a data name (one "/" between them).
inline std::string track_file(const char* track_dir, const char* name) {
  std::string path = track_dir ? track_dir : "";
  if (!path.empty() && path.back() != '/') path += '/';
  return path + name;
}

// ds_scanf over a text; -1 for an empty one.
template <class... Args>
int scan_text(const char* text, const char* format, Args... args) {
  TextStream text_stream(text);
  if (!text_stream.stream()) return -1;
  return ds_scanf(text_stream.stream(), format, args...);
}

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

// Writes an RGB (3 channels) or RGBA (4) picture as a PNG file under a data
// name; rows top first, or bottom first with `bottom_up` (as OpenGL reads
// them back). `text`, when given, goes into a text chunk (hints the readers
// take up, such as number-plate colours). False when the file cannot be written.
bool write_png(const char* name, const unsigned char* pixels, int width, int height, int channels,
               bool bottom_up, const char* text = nullptr);

// Writes a .saf pack holding every file under `directory` (names relative to
// it, sorted byte-wise so the pack is the same on every machine).
// Returns false and prints the reason on standard error on failure.
bool write_pack(const char* directory, const char* pack_path);

// ---------------------------------------------------------------------------
// Images (image.cpp, png_reader.cpp, pnm_reader.cpp, jimage.cpp)

// An image in memory: 8-bit channels, rows top first. `pixels` (from
// platform::xmalloc) holds level 0 and, when the reader builds one, the mip
// chain after it: each level halved in both dimensions (never below 1) down
// to 1 x 1, back to back.
struct Image {
  int width = 0;
  int height = 0;
  int channels = 0;  // 1 (PGM), 3 (RGB) or 4 (RGBA)
  unsigned char* pixels = nullptr;
};

// Frees the pixels and clears the image.
void image_free(Image& image);

// Readers refuse images with a side above this or more pixels than
// kMaxImagePixels, before allocating anything for them.
constexpr int kMaxImageSide = 16384;
constexpr long kMaxImagePixels = 4096L * 4096L;

// Bytes of `width` x `height` x `channels` followed by its mip chain.
std::size_t mip_chain_bytes(int width, int height, int channels);

// The last reader error ("Can't parse PPM header"); empty when none yet.
const char* image_error();

// Reads a PNG by data name with libpng into 3 (RGB) or 4 (RGBA) channels and
// builds the mip chain (the file's own with "[mip_custom]", else by
// `reduce`). `hints` gets the text of every text chunk in file order, then
// the side file name + ".info" when there is one. Returns 1 or 0.
int read_png(const char* name, Image& image, std::string& hints);

// "P6" (binary) or "P3" (ASCII) from the stream's start: 3 channels with a
// mip chain. Returns 1 or 0 (the reason in image_error()).
int read_ppm(DataStream* stream, Image& image);
// "P5" (binary) or "P2" (ASCII) from the stream's start: 1 channel, no mip
// chain. Returns 1 or 0 (the reason in image_error()).
int read_pgm(DataStream* stream, Image& image);
// Korvex's predictive format after its magic ("J6": 3 channels, "J7": 4),
// with a mip chain. Returns 1 or 0 (the reason in image_error()).
int read_jimage(DataStream* stream, int channels, Image& image);

// One mip level from the one above it (width x height, 3 or 4 channels) into
// `out` (max(1, width / 2) x max(1, height / 2)) by 2 x 2 boxes. RGBA colour
// is weighted by alpha; alpha is the average, or the largest with
// `max_alpha` ("[mip_max_alpha]").
void reduce(const unsigned char* in, int width, int height, int channels, bool max_alpha,
            unsigned char* out);

// ---------------------------------------------------------------------------
// Textures (texture_cache.cpp, animation.cpp, texture_upload.cpp)

// What the texture cache takes from start-up and the renderer. Main thread.
struct TextureSettings {
  int model_detail = 0;           // mip levels to skip on large textures, 0..4
  int compression = 1;            // 0: never compress, 1: as the file says, 2: always
  int debug_level = 0;            // 0..2, as "--debug" / "--super-debug"
  bool has_compression = false;   // the renderer has GL_ARB_texture_compression
  bool has_clamp_to_edge = true;  // the renderer has GL_CLAMP_TO_EDGE (GL 1.2)
};
extern TextureSettings g_texture_settings;

// Loads a texture by data name: an OpenGL texture id (a GL context must be
// current), or 0 when it cannot be loaded. A leading "!" loads it with every
// detail level. "-repeat." in the name repeats it both ways, "-hrepeat." /
// "-vrepeat." one way; other textures are clamped. Cached by name.
unsigned texture_load(const char* name);

// An RGBA image (level 0 only) by data name, from the image cache; 1 and the
// image, or 0. The pixels stay valid until a sweep drops the image.
int image_load(const char* name, int* width, int* height, const unsigned char** pixels);

// Starts a new generation (race set-up, after a new track): every texture
// and image used from now on is marked with it, and the texture-memory
// counter starts again from 0.
void texture_new_generation();
int texture_generation();
// Bytes of texture memory used in the current generation.
long texture_memory();

// Deletes every texture, image and animation not used in the current
// generation. Those of generation 0 (loaded before the first track) stay.
void texture_sweep();
// At shutdown, once the window and its GL textures are gone: frees every cached image and
// animation frame, which would otherwise outlive the program's last race unaccounted.
void texture_cache_free();

// Animations (".seq" textures). `anim_start` plays from `tick` on;
// `anim_pause` holds the frame shown; `anim_update` (once per drawn frame,
// with the race tick) shows each playing animation's frame for `now`.
void anim_start(unsigned texture, int tick);
void anim_pause(unsigned texture);
void anim_update(int now);

}  // namespace data
