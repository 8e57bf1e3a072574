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
  int source = 0;  // priority, lower wins: directory index, or count + pack ordinal
};

// A file found under a folder.
struct FoundFile {
  std::string name;  // relative to the folder walked, "/"-separated
  std::string path;
  long size = 0;
};

// Adds every file under root/relative (subfolders included) to `out`, in no
// particular order. Links are followed, but a folder already met (through another
// link, or itself) is not scanned again. False when some folder could not be read;
// what could be read is still added.
bool walk_files(const std::string& root, const std::string& relative, std::vector<FoundFile>& out);

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

// ---------------------------------------------------------------------------
// Images and textures (image.cpp and the readers, texture_cache.cpp,
// animation.cpp, texture_upload.cpp)

// Records the reason the last image read failed (image_error()).
void set_image_error(const char* format, ...) __attribute__((format(printf, 1, 2)));

// True when a width x height image may be read (positive, within the limits).
bool image_size_ok(int width, int height);

// Allocates the pixels for level 0 and its chain (contents undefined).
void image_allocate(Image& image, int width, int height, int channels);

// Fills the mip chain after level 0 by `reduce`.
void build_mip_chain(Image& image, bool max_alpha);

// For "[mip_custom]": level 0 is the top W x D of a W x 3D/2 picture with its
// levels laid out below it. Replaces the image by level 0 and that chain;
// false (image untouched) when the height is not 3D/2 for a whole D.
bool take_custom_mips(Image& image, bool max_alpha);

bool is_power_of_two(int value);
// A new image resampled (nearest pixel) to the powers of two at or above
// the image's size, with its chain rebuilt by `reduce`.
Image resample_to_power_of_two(const Image& image, bool max_alpha);

// The most frequent colour (histogram of 8 levels per channel) of the outer
// rows and columns of level 0: the mean of the border pixels in the winning
// bin, as 0..1 RGB.
void border_colour(const Image& image, float rgb[3]);

// The PPM/PGM body after the magic (`binary`: "P6"/"P5").
int read_ppm_body(DataStream* stream, bool binary, Image& image);

// What an upload asks of the texture device.
struct TextureUpload {
  int first_level = 0;  // detail levels skipped
  bool repeat_s = false;
  bool repeat_t = false;
  bool compress = false;
  bool mipmaps = true;
};

// The seam between the texture cache and OpenGL; texture_upload.cpp has the
// OpenGL one, tests put in their own. Images given to it are powers of two
// with their whole chain.
struct TextureDevice {
  // A new texture from `first_level` of the chain on; 0 when it failed.
  // `bytes`: the texture memory it takes.
  unsigned (*create)(const Image& image, const TextureUpload& upload, long* bytes);
  // Replaces every level of `texture` by the same levels of `image`.
  void (*replace)(unsigned texture, const Image& image, int first_level);
  void (*destroy)(unsigned texture);
};
extern const TextureDevice kGlTextureDevice;
// nullptr puts the OpenGL device back.
void set_texture_device(const TextureDevice* device);
const TextureDevice& texture_device();

// The detail levels an upload of a width x height texture skips at `detail`:
// halving while both sides are above 128.
int detail_levels_to_skip(int width, int height, int detail);

// An animation read from a ".seq" after its "ANIM1" magic (animation.cpp).
struct Animation {
  unsigned texture = 0;
  int frame_count = 0;
  int shown = 0;            // index of the image on the texture now
  int ticks_per_frame = 1;  // ticks of 1/128 s
  bool loop = false;
  int start_tick = 0;
  bool paused = false;
  int first_level = 0;        // detail levels skipped at upload
  std::vector<Image> images;  // powers of two, with their chains
  std::vector<int> frames;    // image index of each frame
};

// Reads the rest of a ".seq"; 0 with the reason in image_error().
int read_animation(DataStream* stream, Animation& animation);
// Frees the images.
void animation_free(Animation& animation);
// Takes over a loaded animation whose texture was made from its frame 0.
void animation_add(Animation& animation);
// Deletes every animation whose texture `is_cached` says is gone.
void animation_sweep(bool (*is_cached)(unsigned texture), int debug_level);
// Forgets every animation (tests).
void animations_reset_for_test();

// Deletes every texture, image, link and animation without touching the
// device and starts again at generation 0 (tests).
void texture_cache_reset_for_test();

}  // namespace data
