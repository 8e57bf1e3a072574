// billboards.cpp -- billboards: the list, the billboards file with its colour prefixes, its writer.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "race/track_internal.h"

namespace race {

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool has_colour_prefix(const char* text) {
  if (std::strlen(text) < 8 || text[0] != '#' || text[7] != '#') return false;
  for (int i = 1; i <= 6; ++i) {
    if (hex_value(text[i]) < 0) return false;
  }
  return true;
}

// "#rrggbb#name" sets the colour and leaves "name"; any other text is the texture name whole.
void apply_colour_prefix(const char* text, Billboard& billboard) {
  if (has_colour_prefix(text)) {
    int digits[6];
    for (int i = 0; i < 6; ++i) digits[i] = hex_value(text[1 + i]);
    for (int c = 0; c < 3; ++c) {
      billboard.color[c] = static_cast<unsigned char>(digits[2 * c] * 16 + digits[2 * c + 1]);
    }
    billboard.texture = text + 8;
    return;
  }
  billboard.texture = text;
}

}  // namespace

int add_billboard(Track& track, float x, float y_offset, float z, float size, float width_factor,
                  const std::string& texture) {
  Billboard billboard;
  billboard.x = x;
  billboard.y = sim::terrain_height(x, z) + y_offset;
  billboard.z = z;
  billboard.size = size;
  billboard.y_offset = y_offset;
  billboard.width_factor = width_factor;
  billboard.texture = texture;
  track.billboards.push_back(billboard);
  track.billboard_render.push_back({});
  return static_cast<int>(track.billboards.size()) - 1;
}

void read_billboards(data::DataStream* stream, Track& track) {
  track.first_file_billboard = static_cast<int>(track.billboards.size());
  if (!stream) return;
  for (;;) {
    float x, y_offset, z, size, width_factor;
    char texture[1024];
    if (data::ds_scanf(stream, " [ %f %f %f ] %f %f %1023s ", &x, &y_offset, &z, &size,
                       &width_factor, texture) != 6 ||
        !all_finite({x, y_offset, z, size, width_factor})) {
      break;
    }
    const int index = add_billboard(track, x, y_offset, z, size, width_factor, "");
    apply_colour_prefix(texture, track.billboards[index]);
  }
}

bool write_billboards(const Track& track, const char* track_dir) {
  data::DataStream* out = open_track_writer(track_dir, "billboards");
  if (!out) return false;
  const std::size_t first = static_cast<std::size_t>(std::max(track.first_file_billboard, 0));
  for (std::size_t i = first; i < track.billboards.size(); ++i) {
    const Billboard& b = track.billboards[i];
    if (b.texture.empty()) continue;
    data::ds_printf(out, "[%f %f %f] %f %f ", b.x, b.y_offset, b.z, b.size, b.width_factor);
    // A white billboard's name that itself looks like a prefix keeps an explicit white one, or
    // reading it back would take its first eight characters for a colour.
    if (b.color[0] == 255 && b.color[1] == 255 && b.color[2] == 255 &&
        !has_colour_prefix(b.texture.c_str())) {
      data::ds_printf(out, "%s\n", b.texture.c_str());
    } else {
      data::ds_printf(out, "#%02x%02x%02x#%s\n", b.color[0], b.color[1], b.color[2],
                      b.texture.c_str());
    }
  }
  return finish_track_writer(out, track_dir, "billboards");
}

}  // namespace race
