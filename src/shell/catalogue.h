// catalogue.h -- the 45 built-in bikes, their textures and number plates.
//
// The catalogue's types (sim.h) live with the simulation that reads them.
#pragma once

#include <string>
#include <vector>

#include "sim/sim.h"

namespace shell {

constexpr int kCatalogueSize = 45;
using sim::BikeConstants;
using sim::BikeFile;
using sim::BikeInfo;
using sim::kBikeFiles;
using sim::kMaxGears;
using sim::kTorquePoints;
using sim::kTorqueRpmStep;
using sim::RiderContacts;
using sim::RiderInfo;
using sim::WheelInfo;
using enum sim::BikeFile;

// The catalogue in list order, ending with nullptr.
const BikeInfo* const* bike_catalogue();

// The entry named exactly `name`; otherwise the first whose name contains
// "125" (when `name` does) or "250f", with the message "bike info for '...'
// not found using '...' instead". Never nullptr.
const BikeInfo* find_bike_info(const char* name);

// "crf250" -> "crf250(2008)" and the like; any other name is returned as it is.
const char* bike_alias(const char* name);

// The engine sound a class has when none is given: "@default450f.braap" and
// so on; nullptr for a class without one.
const char* default_engine_sound(const char* bike_class);

// The setup menu's "Bike" names, in menu order, and their bike-graphics prefixes.
const char* bike_menu_name(int index);
const char* bike_graphics_prefix(int index);

// "default", then "@" + every data path whose file name starts with `prefix`
// and that is a colour texture (".png" or ".png.scram", not "_norm"/"_spec"),
// ".scram" removed.
std::vector<std::string> texture_variants(const char* prefix);

// Number-plate colours, 0..255 RGB.
struct PlateColours {
  unsigned char background[3] = {255, 255, 255};
  unsigned char foreground[3] = {0, 0, 0};
};
// From a bike texture's embedded text: "[numberbackground:r,g,b" and
// "[numberforeground:r,g,b", each component 0..1.
PlateColours plate_colours(const std::string& texture_text);

constexpr int kPlateSide = 128;  // pixels
constexpr int kPlateMaxChars = 7;
// The number text (at most 7 characters are drawn) on a 128 x 128 RGB plate,
// rows top first.
std::vector<unsigned char> number_plate_image(const char* number, const PlateColours& colours);

// What bike creation takes from the catalogue: the entry, the textures to
// use and the number plate.
struct BikeAssets {
  const BikeInfo* info = nullptr;
  std::string rider_body_texture;
  std::string bike_texture;
  std::string wheel_texture;
  std::string rider_head_texture;
  PlateColours plate;
  std::vector<unsigned char> plate_image;  // kPlateSide x kPlateSide RGB
};
// Whether a texture loads; the default asks the texture cache (GL context needed).
using TextureProbe = bool (*)(const char* name);
// Looks up the model and picks each texture: the given path when it loads,
// else the entry's own file. Any path may be nullptr or empty.
BikeAssets bike_assets(const char* model, const char* number, const char* rider_body,
                       const char* bike, const char* wheels, const char* rider_head,
                       TextureProbe probe = nullptr);

}  // namespace shell
