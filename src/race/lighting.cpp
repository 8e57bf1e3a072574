// lighting.cpp -- the lighting file: sun, ambient light, sky box, fog, clip planes, lens flares.
#include <cmath>
#include <cstring>
#include <string>

#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "race/track_internal.h"

namespace race {

namespace {

constexpr const char* kSkyKeys[5] = {"sky_n", "sky_e", "sky_s", "sky_w", "sky_u"};
constexpr const char* kSkyDefaults[5] = {"@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm", "@sky-w.ppm",
                                         "@sky-u.ppm"};

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

int scan_triple(const char* value, float* v) {
  return scan_text(value, " [ %f %f %f ] ", &v[0], &v[1], &v[2]);
}

void finish_lighting(LightingSettings& lighting) {
  // Written so that a NaN falls to the lower bound.
  if (!(lighting.near_plane >= 1.0f / 1024)) lighting.near_plane = 1.0f / 1024;
  if (lighting.near_plane > 0.875f) lighting.near_plane = 0.875f;
  if (!(lighting.far_plane >= lighting.near_plane)) lighting.far_plane = lighting.near_plane;
  if (lighting.far_plane > 1048576) lighting.far_plane = 1048576;
  sim::Vec3& sun = lighting.sun_vector;
  const float length = std::sqrt(sun.x * sun.x + sun.y * sun.y + sun.z * sun.z);
  if (length > 0 && std::isfinite(length)) {
    sun = {sun.x / length, sun.y / length, sun.z / length};
  } else {
    // A zero or unusable vector has no direction: the default sun instead of NaN light.
    const float third = 0.57735026f;
    sun = {third, third, third};
  }
  for (int i = 0; i < 5; ++i) {
    if (lighting.sky[i].empty()) lighting.sky[i] = kSkyDefaults[i];
  }
  if (lighting.sky_env.empty()) lighting.sky_env = "@sky-env.ppm";
}

// Applies one "key value" line; false for a key that is not known.
bool apply_line(const char* key, const char* value, LightingSettings& lighting,
                LensFlare& building) {
  if (std::strcmp(key, "sun_vector") == 0) {
    float v[3] = {lighting.sun_vector.x, lighting.sun_vector.y, lighting.sun_vector.z};
    if (scan_triple(value, v) > 0) lighting.sun_vector_given = true;
    lighting.sun_vector = {v[0], v[1], v[2]};
  } else if (std::strcmp(key, "sun_color") == 0) {
    scan_triple(value, lighting.sun_color);
  } else if (std::strcmp(key, "ambient") == 0) {
    scan_triple(value, lighting.ambient);
  } else if (std::strcmp(key, "global_ambient") == 0) {
    scan_triple(value, lighting.global_ambient);
  } else if (std::strcmp(key, "sky_env") == 0) {
    lighting.sky_env = value;
  } else if (std::strcmp(key, "flare_element") == 0) {
    FlareElement e;
    char texture[1024];
    if (scan_text(value, " [ %f %f ] [ %f %f %f ] %f %1023s", &e.params[0], &e.params[1],
                  &e.color[0], &e.color[1], &e.color[2], &e.value, texture) == 7 &&
        static_cast<int>(building.elements.size()) < kMaxFlareElements) {
      e.texture = texture;
      building.elements.push_back(e);
    }
  } else if (std::strcmp(key, "flare_point") == 0 || std::strcmp(key, "flare_vector") == 0) {
    float v[3];
    if (scan_triple(value, v) == 3) {
      building.where = {v[0], v[1], v[2]};
      building.kind = std::strcmp(key, "flare_vector") == 0 ? 1 : 0;
      lighting.flares.push_back(std::move(building));
      building = LensFlare{};
    }
  } else if (std::strcmp(key, "fog") == 0) {
    float f[4];
    if (scan_text(value, " [ %f %f %f ] %f ", &f[0], &f[1], &f[2], &f[3]) == 4) {
      for (int i = 0; i < 3; ++i) lighting.fog_color[i] = f[i];
      lighting.fog_color[3] = 1;
      lighting.fog_density = f[3];
    }
  } else if (std::strcmp(key, "dynamic_lighting") == 0) {
    int flag = 0;
    if (scan_text(value, "%d", &flag) == 1) lighting.dynamic_lighting = flag > 0;
  } else if (std::strcmp(key, "near_plane") == 0) {
    scan_text(value, "%f", &lighting.near_plane);
  } else if (std::strcmp(key, "far_plane") == 0) {
    scan_text(value, "%f", &lighting.far_plane);
  } else {
    for (int i = 0; i < 5; ++i) {
      if (std::strcmp(key, kSkyKeys[i]) == 0) {
        lighting.sky[i] = value;
        return true;
      }
    }
    return false;
  }
  return true;
}

}  // namespace

void read_lighting(data::DataStream* stream, LightingSettings& lighting) {
  lighting = LightingSettings{};
  LensFlare building;
  char line[1024];
  while (stream && data::ds_read_line(stream, line, sizeof line)) {
    char* key = line;
    while (is_blank(*key)) ++key;
    char* end = key;
    while (*end && !is_space(*end)) ++end;
    if (end == key) continue;  // an empty line
    char* value = end;
    if (*value) *value++ = '\0';
    while (is_blank(*value)) ++value;
    std::size_t length = std::strlen(value);
    while (length > 0 && is_space(value[length - 1])) value[--length] = '\0';
    if (!apply_line(key, value, lighting, building)) {
      platform::messagef("Error reading lighting: Unknown identifier '%.950s'\n", key);
      break;
    }
  }
  finish_lighting(lighting);
}

}  // namespace race
