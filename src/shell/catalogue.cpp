// catalogue.cpp -- finding bikes in the catalogue, their textures, number plates and sounds.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "platform/platform.h"
#include "shell/catalogue.h"
#include "shell/settings.h"

namespace shell {
namespace {

// The setup menu's "Bike" choice: the catalogue's names in menu order, with the prefix of
// their bike-graphics variants.
struct MenuBike {
  const char* name;
  const char* prefix;
};

constexpr MenuBike kMenuBikes[kCatalogueSize] = {
    {"450sxf(2013)", "450sxfv2013-"},
    {"crf450(2013)", "crf450v2013-"},
    {"kx450f(2013)", "kx450f-"},
    {"rmz450(2013)", "rmz450-"},
    {"yz450f(2013)", "yz450f-"},
    {"350sxf(2013)", "350sxfv2013-"},
    {"450sxf(2011)", "450sxf-"},
    {"crf450(2011)", "crf450-"},
    {"kx450f(2011)", "kx450f-"},
    {"rmz450(2011)", "rmz450-"},
    {"yz450f(2011)", "yz450f-"},
    {"350sxf(2011)", "350sxf-"},
    {"250sx(2012)", "250sx-"},
    {"cr250(2007)", "cr250-"},
    {"kx250(2006)", "kx250-"},
    {"rm250(2008)", "rm250-"},
    {"yz250(2012)", "yz250-"},
    {"250sxf(2013)", "250sxfv2013-"},
    {"crf250(2013)", "crf250v2010-"},
    {"kx250f(2013)", "kx250fv2013-"},
    {"rmz250(2013)", "rmz250v2010-"},
    {"yz250f(2013)", "yz250fv2010-"},
    {"250sxf(2009)", "250sxf-"},
    {"crf250(2009)", "crf250-"},
    {"kx250f(2009)", "kx250f-"},
    {"rmz250(2009)", "rmz250-"},
    {"yz250f(2009)", "yz250f-"},
    {"crf250(2008)", "crf250-"},
    {"kx250f(2008)", "kx250f-"},
    {"rmz250(2008)", "rmz250-"},
    {"yz250f(2008)", "yz250f-"},
    {"crf250(2007)", "crf250-"},
    {"kx250f(2007)", "kx250f-"},
    {"rmz250(2007)", "rmz250-"},
    {"yz250f(2007)", "yz250f-"},
    {"yz250f_se(2006)", "yz250f_se-"},
    {"125sx", "125sx-"},
    {"cr125", "cr125-"},
    {"kx125", "kx125-"},
    {"rm125", "rm125-"},
    {"yz125", "yz125-"},
    {"rs50cr", "cr125-"},
    {"rs50kx", "kx125-"},
    {"rs50rm", "rm125-"},
    {"rs50yz", "yz125-"},
};

constexpr const char* kAliases[][2] = {
    {"crf250", "crf250(2008)"},
    {"kx250f", "kx250f(2008)"},
    {"rmz250", "rmz250(2008)"},
    {"yz250f", "yz250f(2008)"},
};

constexpr const char* kEngineSounds[][2] = {
    {"50", "@default50.braap"},   {"125", "@default125.braap"},   {"250f", "@default250f.braap"},
    {"250", "@default250.braap"}, {"450f", "@default450f.braap"},
};

bool ends_with(const std::string& text, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

// A colour texture: not one of the normal or specular maps that sit beside it.
bool colour_texture(const std::string& path) {
  if (ends_with(path, ".png")) {
    return !ends_with(path, "_norm.png") && !ends_with(path, "_spec.png");
  }
  if (ends_with(path, ".png.scram")) {
    return !ends_with(path, "_norm.png.scram") && !ends_with(path, "_spec.png.scram");
  }
  return false;
}

// "[marker" followed by "%f,%f,%f": the colour, each component clamped to 0..1 and scaled to
// 0..255. Left as it is when the marker is missing or its numbers do not read.
void read_colour(const std::string& text, const char* marker, unsigned char rgb[3]) {
  const std::size_t at = text.find(marker);
  if (at == std::string::npos) return;
  float c[3];
  if (std::sscanf(text.c_str() + at + std::strlen(marker), "%f,%f,%f", &c[0], &c[1], &c[2]) != 3) {
    return;
  }
  for (int i = 0; i < 3; ++i) {
    const float v = std::isnan(c[i]) ? 0.0f : c[i] < 0 ? 0.0f : c[i] > 1 ? 1.0f : c[i];
    rgb[i] = static_cast<unsigned char>(std::lround(v * 255));
  }
}

// A 5 x 7 font for the plate: digits and capital letters, one row per byte, bit 4 leftmost.
constexpr unsigned char kDigits[10][7] = {
    {0x0e, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0e}, {0x04, 0x0c, 0x04, 0x04, 0x04, 0x04, 0x0e},
    {0x0e, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1f}, {0x1f, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0e},
    {0x02, 0x06, 0x0a, 0x12, 0x1f, 0x02, 0x02}, {0x1f, 0x10, 0x1e, 0x01, 0x01, 0x11, 0x0e},
    {0x06, 0x08, 0x10, 0x1e, 0x11, 0x11, 0x0e}, {0x1f, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0e, 0x11, 0x11, 0x0e, 0x11, 0x11, 0x0e}, {0x0e, 0x11, 0x11, 0x0f, 0x01, 0x02, 0x0c},
};
constexpr unsigned char kLetters[26][7] = {
    {0x0e, 0x11, 0x11, 0x1f, 0x11, 0x11, 0x11}, {0x1e, 0x11, 0x11, 0x1e, 0x11, 0x11, 0x1e},
    {0x0e, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0e}, {0x1c, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1c},
    {0x1f, 0x10, 0x10, 0x1e, 0x10, 0x10, 0x1f}, {0x1f, 0x10, 0x10, 0x1e, 0x10, 0x10, 0x10},
    {0x0e, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0f}, {0x11, 0x11, 0x11, 0x1f, 0x11, 0x11, 0x11},
    {0x0e, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0e}, {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0c},
    {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}, {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1f},
    {0x11, 0x1b, 0x15, 0x15, 0x11, 0x11, 0x11}, {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11},
    {0x0e, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0e}, {0x1e, 0x11, 0x11, 0x1e, 0x10, 0x10, 0x10},
    {0x0e, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0d}, {0x1e, 0x11, 0x11, 0x1e, 0x14, 0x12, 0x11},
    {0x0f, 0x10, 0x10, 0x0e, 0x01, 0x01, 0x1e}, {0x1f, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04},
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0e}, {0x11, 0x11, 0x11, 0x11, 0x11, 0x0a, 0x04},
    {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0a}, {0x11, 0x11, 0x0a, 0x04, 0x0a, 0x11, 0x11},
    {0x11, 0x11, 0x11, 0x0a, 0x04, 0x04, 0x04}, {0x1f, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1f},
};
constexpr unsigned char kDash[7] = {0, 0, 0, 0x1f, 0, 0, 0};

// The glyph of a character, or nullptr for one the plate leaves blank.
const unsigned char* glyph(char c) {
  if (c >= '0' && c <= '9') return kDigits[c - '0'];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'Z') return kLetters[c - 'A'];
  if (c == '-') return kDash;
  return nullptr;
}

bool texture_loads(const char* name) { return data::texture_load(name) != 0; }

// The given texture when it loads, else the entry's own.
std::string pick_texture(const char* given, const char* own, TextureProbe probe) {
  if (given && *given && probe(given)) return given;
  return own;
}

}  // namespace

const BikeInfo* find_bike_info(const char* name) {
  const BikeInfo* const* list = bike_catalogue();
  if (!name) name = "";
  for (int i = 0; list[i]; ++i) {
    if (std::strcmp(list[i]->name, name) == 0) return list[i];
  }
  const char* pattern = std::strstr(name, "125") ? "125" : "250f";
  const BikeInfo* chosen = list[0];
  for (int i = 0; list[i]; ++i) {
    if (std::strstr(list[i]->name, pattern)) {
      chosen = list[i];
      break;
    }
  }
  platform::messagef("bike info for '%.20s' not found using '%.20s' instead", name, chosen->name);
  return chosen;
}

const char* bike_alias(const char* name) {
  for (const auto& alias : kAliases) {
    if (std::strcmp(name, alias[0]) == 0) return alias[1];
  }
  return name;
}

const char* default_engine_sound(const char* bike_class) {
  for (const auto& sound : kEngineSounds) {
    if (std::strcmp(bike_class, sound[0]) == 0) return sound[1];
  }
  return nullptr;
}

const char* bike_menu_name(int index) {
  return index >= 0 && index < kCatalogueSize ? kMenuBikes[index].name : "";
}

const char* bike_graphics_prefix(int index) {
  return index >= 0 && index < kCatalogueSize ? kMenuBikes[index].prefix : "";
}

std::vector<std::string> texture_variants(const char* prefix) {
  std::vector<std::string> list = {"default"};
  const std::size_t prefix_length = std::strlen(prefix);
  for (const char* const* names = data::data_names(); *names; ++names) {
    const std::string path = *names;
    const std::size_t slash = path.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    if (path.compare(base, prefix_length, prefix) != 0 || !colour_texture(path)) continue;
    std::string entry = "@" + path;
    if (ends_with(entry, ".scram")) entry.resize(entry.size() - 6);
    // A texture shipped both plain and scrambled is one variant, not two.
    bool known = false;
    for (const std::string& other : list) known = known || other == entry;
    if (!known) list.push_back(entry);
  }
  return list;
}

PlateColours plate_colours(const std::string& texture_text) {
  PlateColours colours;
  read_colour(texture_text, "[numberbackground:", colours.background);
  read_colour(texture_text, "[numberforeground:", colours.foreground);
  return colours;
}

std::vector<unsigned char> number_plate_image(const char* number, const PlateColours& colours) {
  std::vector<unsigned char> pixels(kPlateSide * kPlateSide * 3);
  for (std::size_t i = 0; i < pixels.size(); i += 3) {
    for (int c = 0; c < 3; ++c) pixels[i + static_cast<std::size_t>(c)] = colours.background[c];
  }
  const int count = static_cast<int>(strnlen(number ? number : "", kPlateMaxChars));
  if (count == 0) return pixels;
  // Cells of 6 x 8 font pixels (a glyph and its spacing), as large as fit a 4-pixel margin;
  // glyphs are at most twice as tall as wide.
  const int usable = kPlateSide - 8;
  const int scale_x = usable / (6 * count - 1);
  const int scale_y = std::min(usable / 7, 2 * scale_x);
  const int left = (kPlateSide - scale_x * (6 * count - 1)) / 2;
  const int top = (kPlateSide - scale_y * 7) / 2;
  for (int n = 0; n < count; ++n) {
    const unsigned char* rows = glyph(number[n]);
    if (!rows) continue;
    for (int y = 0; y < 7 * scale_y; ++y) {
      for (int x = 0; x < 5 * scale_x; ++x) {
        if (!(rows[y / scale_y] & (0x10 >> (x / scale_x)))) continue;
        const int px = left + n * 6 * scale_x + x;
        const std::size_t at = (static_cast<std::size_t>(top + y) * kPlateSide + px) * 3;
        for (std::size_t c = 0; c < 3; ++c) pixels[at + c] = colours.foreground[c];
      }
    }
  }
  return pixels;
}

BikeAssets bike_assets(const char* model, const char* number, const char* rider_body,
                       const char* bike, const char* wheels, const char* rider_head,
                       TextureProbe probe) {
  if (!probe) probe = texture_loads;
  BikeAssets assets;
  assets.info = find_bike_info(model);
  const char* const* files = assets.info->files;
  assets.rider_body_texture = pick_texture(rider_body, files[kRiderBodyTexture], probe);
  assets.bike_texture = pick_texture(bike, files[kBikeTexture], probe);
  assets.wheel_texture = pick_texture(wheels, files[kWheelTexture], probe);
  assets.rider_head_texture = pick_texture(rider_head, files[kRiderHeadTexture], probe);
  // The plate colours are written into the bike texture's text chunks.
  data::Image image;
  std::string hints;
  if (ends_with(assets.bike_texture, ".png") &&
      data::read_png(assets.bike_texture.c_str(), image, hints)) {
    assets.plate = plate_colours(hints);
  }
  data::image_free(image);
  assets.plate_image = number_plate_image(number, assets.plate);
  return assets;
}

}  // namespace shell
