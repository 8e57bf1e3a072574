// texture_cache.cpp -- textures and RGBA images by data name, links, generations and the sweep.
//
// Both caches are keyed by the data name as asked for (after a leading "!" and links). An
// entry is stamped with the generation of its last use; race set-up raises the generation and
// sweeps, so only what the new track asked for stays. Generation 0 is everything loaded before
// the first track (HUD pictures, fonts), which the sweep keeps.
#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "data/data_internal.h"
#include "platform/platform.h"

namespace data {

TextureSettings g_texture_settings;

namespace {

// A link naming a link naming ... stops here; a file that links to itself would not.
constexpr int kMaxLinkDepth = 16;
constexpr int kMaxLinkBytes = 1023;

struct TextureEntry {
  unsigned id = 0;
  int generation = 0;
  long bytes = 0;     // texture memory, as the device reported it
  std::string hints;  // from the PNG's text chunks and side file
  std::string name;
};

struct ImageEntry {
  int width = 0;
  int height = 0;
  int channels = 4;
  unsigned char* pixels = nullptr;
  int generation = 0;
  long bytes = 0;
  std::string name;
};

struct LinkEntry {
  std::string name;
  std::string target;
};

struct TextureCache {
  // The cached images' pixels are the cache's own (malloc'd), freed with it at exit.
  ~TextureCache() {
    for (ImageEntry& entry : images) std::free(entry.pixels);
  }
  std::vector<TextureEntry> textures;
  std::vector<ImageEntry> images;
  std::vector<LinkEntry> links;
  int generation = 0;
  long memory = 0;  // bytes of the textures used in this generation
  const TextureDevice* device = nullptr;
};

TextureCache g_cache;

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The entry named `name`: exact, else one differing in letter case, with a warning.
template <class Entry>
Entry* find_cached(std::vector<Entry>& entries, const char* name) {
  for (Entry& entry : entries) {
    if (entry.name == name) return &entry;
  }
  for (Entry& entry : entries) {
    if (strcasecmp(entry.name.c_str(), name) == 0) {
      platform::messagef("Warning: case mismatch on '%.900s'", name);
      return &entry;
    }
  }
  return nullptr;
}

void mark_texture_used(TextureEntry& entry) {
  if (entry.generation == g_cache.generation) return;
  entry.generation = g_cache.generation;
  g_cache.memory += entry.bytes;
}

const char* link_target(const char* name) {
  for (const LinkEntry& link : g_cache.links) {
    if (link.name == name) return link.target.c_str();
  }
  return nullptr;
}

void record_link(const char* name, const char* target) {
  for (LinkEntry& link : g_cache.links) {
    if (link.name == name) {
      link.target = target;
      return;
    }
  }
  g_cache.links.push_back({name, target});
}

void show_open_failure(const char* name) {
  if (g_texture_settings.debug_level >= 1) {
    platform::messagef("Can't open texture \"%.900s\"", name);
  }
}

// The rest of a LINK file, trimmed; empty when there is none.
std::string read_link_target(DataStream* stream) {
  char buffer[kMaxLinkBytes + 1];
  const std::size_t got = ds_read(stream, buffer, kMaxLinkBytes);
  std::size_t begin = 0;
  std::size_t end = got;
  while (begin < end && is_space(buffer[begin])) ++begin;
  while (end > begin && is_space(buffer[end - 1])) --end;
  return std::string(buffer + begin, end - begin);
}

// Replaces an image whose sides are not powers of two by its resampled copy.
void make_power_of_two(Image& image, bool max_alpha) {
  if (is_power_of_two(image.width) && is_power_of_two(image.height)) return;
  Image resampled = resample_to_power_of_two(image, max_alpha);
  image_free(image);
  image = resampled;
}

unsigned load_texture(const char* requested, bool full_detail, int depth);

// The name both caches keep a request under: without its leading "!" (full detail) and
// through the links already known. It may point into the link table.
const char* cache_key(const char* requested) {
  const char* name = requested[0] == '!' ? requested + 1 : requested;
  for (int hop = 0; hop < kMaxLinkDepth; ++hop) {
    const char* target = link_target(name);
    if (!target) break;
    name = target;
  }
  return name;
}

// Reads the file behind `name` and makes its texture; 0 when it cannot.
unsigned read_texture(const char* name, DataStream* stream, bool full_detail, int depth) {
  TextureUpload upload;
  upload.repeat_s = std::strstr(name, "-hrepeat.") || std::strstr(name, "-repeat.");
  upload.repeat_t = std::strstr(name, "-vrepeat.") || std::strstr(name, "-repeat.");

  char word[16] = "";
  ds_scanf(stream, " %15s", word);
  Image image;
  std::string hints;
  Animation animation;
  bool is_animation = false;
  int ok = 0;
  if (std::strcmp(word, "J7") == 0 || std::strcmp(word, "J6") == 0) {
    ok = read_jimage(stream, word[1] == '7' ? 4 : 3, image);
    close_data(stream);
  } else if (std::strcmp(word, "P6") == 0 || std::strcmp(word, "P3") == 0) {
    ok = read_ppm_body(stream, word[1] == '6', image);
    close_data(stream);
  } else if (std::strcmp(word, "ANIM1") == 0) {
    ok = read_animation(stream, animation);
    is_animation = true;
    close_data(stream);
  } else if (std::strcmp(word, "LINK") == 0) {
    const std::string target = read_link_target(stream);
    close_data(stream);
    if (target.empty()) return 0;
    record_link(name, target.c_str());
    return load_texture(target.c_str(), full_detail, depth + 1);
  } else {
    close_data(stream);
    ok = read_png(name, image, hints);
    if (ok) {
      upload.compress = hints.find("[compress]") != std::string::npos;
      if (g_texture_settings.compression == 0) upload.compress = false;
      if (g_texture_settings.compression == 2) upload.compress = true;
    }
  }
  if (!ok) {
    platform::log("Can't load texture '%.900s': %s\n", name, image_error());
    return 0;
  }

  const bool max_alpha = hints.find("[mip_max_alpha]") != std::string::npos;
  bool resampled = false;
  if (is_animation) {
    resampled =
        !is_power_of_two(animation.images[0].width) || !is_power_of_two(animation.images[0].height);
    for (Image& frame : animation.images) make_power_of_two(frame, false);
  } else {
    resampled = !is_power_of_two(image.width) || !is_power_of_two(image.height);
    make_power_of_two(image, max_alpha);
  }
  const Image& shown = is_animation ? animation.images[animation.shown] : image;
  const int detail = full_detail ? 0 : std::clamp(g_texture_settings.model_detail, 0, 4);
  upload.first_level = detail_levels_to_skip(shown.width, shown.height, detail);

  long bytes = 0;
  const unsigned id = texture_device().create(shown, upload, &bytes);
  image_free(image);
  if (resampled) platform::messagef("Warning: Non power of 2 texture '%.950s'", name);
  if (id == 0) {
    animation_free(animation);
    return 0;
  }
  if (is_animation) {
    animation.texture = id;
    animation.first_level = upload.first_level;
    animation_add(animation);
  }
  g_cache.memory += bytes;
  g_cache.textures.push_back({id, g_cache.generation, bytes, hints, name});
  return id;
}

unsigned load_texture(const char* requested, bool full_detail, int depth) {
  if (depth > kMaxLinkDepth) {
    platform::log("Too many links to texture '%.900s'\n", requested);
    return 0;
  }
  if (requested[0] == '!') full_detail = true;
  const char* name = cache_key(requested);
  // A cached texture is found without copying the name: the scene asks for its textures
  // every frame, and a frame allocates nothing.
  if (TextureEntry* entry = find_cached(g_cache.textures, name)) {
    mark_texture_used(*entry);
    return entry->id;
  }
  // `name` may point into the link table, which a load below can grow.
  const std::string key = name;
  DataStream* stream = open_data(key.c_str(), "rb");
  if (!stream) {
    show_open_failure(key.c_str());
    return 0;
  }
  return read_texture(key.c_str(), stream, full_detail, depth);
}

bool texture_is_cached(unsigned id) {
  for (const TextureEntry& entry : g_cache.textures) {
    if (entry.id == id) return true;
  }
  return false;
}

// An RGBA copy of level 0.
unsigned char* rgba_level_zero(const Image& image) {
  const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
  auto* out = static_cast<unsigned char*>(platform::xmalloc(pixels * 4));
  for (std::size_t i = 0; i < pixels; ++i) {
    const unsigned char* from = image.pixels + i * image.channels;
    out[i * 4 + 0] = from[0];
    out[i * 4 + 1] = from[1];
    out[i * 4 + 2] = from[2];
    out[i * 4 + 3] = image.channels == 4 ? from[3] : 255;
  }
  return out;
}

}  // namespace

void set_texture_device(const TextureDevice* device) { g_cache.device = device; }

const TextureDevice& texture_device() {
  return g_cache.device ? *g_cache.device : kGlTextureDevice;
}

int detail_levels_to_skip(int width, int height, int detail) {
  int skip = 0;
  while (skip < detail && width > 128 && height > 128) {
    width /= 2;
    height /= 2;
    ++skip;
  }
  return skip;
}

unsigned texture_load(const char* name) {
  if (!name || !*name) return 0;
  return load_texture(name, false, 0);
}

namespace {

// The image cache's side of `image_load`: the same name rules as textures ("!" dropped,
// links followed, a LINK file recorded and followed).
ImageEntry* load_image(const char* requested, int depth) {
  if (depth > kMaxLinkDepth) {
    platform::log("Too many links to image '%.900s'\n", requested);
    return nullptr;
  }
  const char* name = cache_key(requested);
  if (ImageEntry* entry = find_cached(g_cache.images, name)) return entry;
  // `name` may point into the link table, which a load below can grow.
  const std::string key = name;
  DataStream* stream = open_data(key.c_str(), "rb");
  if (!stream) {
    show_open_failure(key.c_str());
    return nullptr;
  }
  char word[16] = "";
  ds_scanf(stream, " %15s", word);
  Image image;
  int ok;
  if (std::strcmp(word, "J7") == 0 || std::strcmp(word, "J6") == 0) {
    ok = read_jimage(stream, word[1] == '7' ? 4 : 3, image);
    close_data(stream);
  } else if (std::strcmp(word, "LINK") == 0) {
    const std::string target = read_link_target(stream);
    close_data(stream);
    if (target.empty()) return nullptr;
    record_link(key.c_str(), target.c_str());
    return load_image(target.c_str(), depth + 1);
  } else {
    close_data(stream);
    std::string hints;
    ok = read_png(key.c_str(), image, hints);
  }
  if (!ok) {
    platform::log("Can't load image '%.900s': %s\n", key.c_str(), image_error());
    return nullptr;
  }
  ImageEntry added;
  added.width = image.width;
  added.height = image.height;
  added.pixels = rgba_level_zero(image);
  added.generation = g_cache.generation;
  added.bytes = static_cast<long>(image.width) * image.height * 4;
  added.name = key;
  image_free(image);
  g_cache.images.push_back(added);
  return &g_cache.images.back();
}

}  // namespace

int image_load(const char* name, int* width, int* height, const unsigned char** pixels) {
  if (!name || !*name) return 0;
  ImageEntry* entry = load_image(name, 0);
  if (!entry) return 0;
  entry->generation = g_cache.generation;
  *width = entry->width;
  *height = entry->height;
  *pixels = entry->pixels;
  return 1;
}

void texture_new_generation() {
  ++g_cache.generation;
  g_cache.memory = 0;
}

int texture_generation() { return g_cache.generation; }

long texture_memory() { return g_cache.memory; }

void texture_sweep() {
  const int debug = g_texture_settings.debug_level;
  const auto stale = [](int generation) {
    return generation != 0 && generation < g_cache.generation;
  };
  auto& textures = g_cache.textures;
  for (std::size_t i = 0; i < textures.size();) {
    if (!stale(textures[i].generation)) {
      ++i;
      continue;
    }
    if (debug >= 1) {
      platform::log("deleting tid %u (%.900s)\n", textures[i].id, textures[i].name.c_str());
    }
    texture_device().destroy(textures[i].id);
    textures.erase(textures.begin() + static_cast<long>(i));
  }
  auto& images = g_cache.images;
  for (std::size_t i = 0; i < images.size();) {
    if (!stale(images[i].generation)) {
      ++i;
      continue;
    }
    if (debug >= 1) platform::log("deleting image %.900s\n", images[i].name.c_str());
    std::free(images[i].pixels);
    images.erase(images.begin() + static_cast<long>(i));
  }
  animation_sweep(texture_is_cached, debug);
}

void texture_cache_free() {
  for (ImageEntry& entry : g_cache.images) std::free(entry.pixels);
  g_cache.textures.clear();
  g_cache.images.clear();
  g_cache.links.clear();
  g_cache.memory = 0;
  animations_reset_for_test();
}

void texture_cache_reset_for_test() {
  texture_cache_free();
  g_cache.generation = 0;
}

}  // namespace data
