// bikes_test.cpp -- the generated bikes and riders against the catalogue, the roster and the menus.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "content/generated_data.h"
#include "data/data.h"
#include "render/render.h"
#include "shell/catalogue.h"
#include "shell/race_driver.h"
#include "sim/sim.h"

namespace {

using generated_data::GeneratedDataTest;
using generated_data::parses;

bool ends_with(const std::string& s, const char* tail) {
  const std::size_t n = std::char_traits<char>::length(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// Every model and texture name a catalogue entry lists.
std::set<std::string> catalogue_names(const char* kind) {
  std::set<std::string> names;
  for (const sim::BikeInfo* const* bike = shell::bike_catalogue(); *bike; ++bike) {
    for (const char* name : (*bike)->files) {
      if (ends_with(name, kind)) names.insert(name);
    }
  }
  return names;
}

// The roster's own looks, by kind.
std::set<std::string> roster_textures(const char* shell::RiderIdentity::*field) {
  std::set<std::string> names;
  for (int i = 0; i < shell::kIdentities; ++i) {
    if (const char* name = shell::rider_identities()[i].*field) names.insert(name);
  }
  return names;
}

std::string hints_of(const std::string& name) {
  data::Image image;
  std::string hints;
  EXPECT_TRUE(data::read_png(name.c_str(), image, hints)) << name;
  data::image_free(image);
  return hints;
}

class BikeDataTest : public GeneratedDataTest {};

TEST_F(BikeDataTest, EveryModelAndTextureTheCatalogueAndRosterNameReads) {
  std::set<std::string> names = catalogue_names(".jm");
  names.merge(catalogue_names(".png"));
  for (auto field : {&shell::RiderIdentity::body_texture, &shell::RiderIdentity::head_texture,
                     &shell::RiderIdentity::bike_texture, &shell::RiderIdentity::wheel_texture}) {
    names.merge(roster_textures(field));
  }
  for (const std::string& name : names) EXPECT_TRUE(parses(name));
}

// Each menu's variant list finds the shipped alternatives, every one of which
// reads, and the roster's looks are listed where a player finds them too.
TEST_F(BikeDataTest, TextureVariantListsFindTheAlternatives) {
  std::vector<std::string> prefixes = {"rider_body-", "rider_head-", "wheels-"};
  for (int i = 0; i < shell::kCatalogueSize; ++i)
    prefixes.push_back(shell::bike_graphics_prefix(i));
  for (const std::string& prefix : prefixes) {
    const std::vector<std::string> variants = shell::texture_variants(prefix.c_str());
    ASSERT_FALSE(variants.empty());
    EXPECT_EQ(variants[0], "default");
    EXPECT_GE(variants.size(), 3u) << prefix;
    for (std::size_t v = 1; v < variants.size(); ++v) EXPECT_TRUE(parses(variants[v]));
  }
  for (auto field : {&shell::RiderIdentity::body_texture, &shell::RiderIdentity::head_texture,
                     &shell::RiderIdentity::bike_texture, &shell::RiderIdentity::wheel_texture}) {
    for (const std::string& look : roster_textures(field)) {
      const std::string prefix = look.substr(1, look.find('-'));  // "@crf250-alt1.png" -> "crf250-"
      const std::vector<std::string> variants = shell::texture_variants(prefix.c_str());
      EXPECT_NE(std::find(variants.begin(), variants.end(), look), variants.end()) << look;
    }
  }
}

// Luminance 0..255 of an RGB triple.
float luminance(const unsigned char c[3]) { return 0.299f * c[0] + 0.587f * c[1] + 0.114f * c[2]; }

// Every bike texture a player or the roster can pick says what colours its
// number plates take, and the number stands out from its plate.
TEST_F(BikeDataTest, BikeTexturesCarryLegiblePlateColours) {
  std::set<std::string> textures = catalogue_names(".png");
  textures.erase("@wheels.png");
  textures.erase("@rider_head.png");
  textures.erase("@rider_body.png");
  for (int i = 0; i < shell::kCatalogueSize; ++i) {
    const std::vector<std::string> variants =
        shell::texture_variants(shell::bike_graphics_prefix(i));
    textures.insert(variants.begin() + 1, variants.end());
  }
  std::set<std::vector<int>> backgrounds;
  for (const std::string& name : textures) {
    const std::string hints = hints_of(name);
    EXPECT_NE(hints.find("[numberbackground:"), std::string::npos) << name;
    EXPECT_NE(hints.find("[numberforeground:"), std::string::npos) << name;
    const shell::PlateColours plate = shell::plate_colours(hints);
    EXPECT_GE(std::fabs(luminance(plate.background) - luminance(plate.foreground)), 90) << name;
    backgrounds.insert({plate.background[0], plate.background[1], plate.background[2]});
  }
  EXPECT_GE(backgrounds.size(), 5u);  // the makers' plates are not all one colour
}

// The hue (degrees) most of a picture's strongly coloured pixels share.
float dominant_hue(const data::Image& image) {
  std::vector<int> bins(72, 0);
  for (int i = 0; i < image.width * image.height; ++i) {
    const unsigned char* p = image.pixels + static_cast<std::size_t>(i) * image.channels;
    const float r = p[0] / 255.0f, g = p[1] / 255.0f, b = p[2] / 255.0f;
    const float hi = std::max({r, g, b}), lo = std::min({r, g, b});
    if (hi < 0.35f || hi - lo < 0.5f * hi) continue;
    float hue = hi == r   ? (g - b) / (hi - lo)
                : hi == g ? 2 + (b - r) / (hi - lo)
                          : 4 + (r - g) / (hi - lo);
    hue = std::fmod(hue * 60 + 360, 360.0f);
    ++bins[static_cast<std::size_t>(hue / 5) % 72];
  }
  return 5.0f * static_cast<float>(std::max_element(bins.begin(), bins.end()) - bins.begin()) +
         2.5f;
}

// A stock bike wears its maker's colour: Honda red, Kawasaki green, Suzuki
// yellow, Yamaha blue, KTM orange.
TEST_F(BikeDataTest, StockTexturesWearTheirMakersColours) {
  struct Maker {
    const char* stem_start;  // of the texture's name
    float hue;               // degrees
  };
  const Maker kMakers[] = {{"@cr", 357}, {"@kx", 92}, {"@rm", 50}, {"@yz", 225}};
  const float kKtmOrange = 26;
  int checked = 0;
  for (const std::string& name : catalogue_names(".png")) {
    float expected = -1;
    for (const Maker& m : kMakers) {
      if (name.rfind(m.stem_start, 0) == 0) expected = m.hue;
    }
    if (name.find("sx") != std::string::npos) expected = kKtmOrange;
    if (expected < 0) continue;  // the shared wheel and rider textures
    data::Image image;
    std::string hints;
    ASSERT_TRUE(data::read_png(name.c_str(), image, hints)) << name;
    const float hue = dominant_hue(image);
    data::image_free(image);
    const float off = std::fabs(std::remainder(hue - expected, 360.0f));
    EXPECT_LE(off, 10) << name << " is mostly hue " << hue;
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

// Where each model's body rests (ft), by the catalogue's file order.
struct PartAtRest {
  sim::BikeFile file;
  const float* (*rest)(const sim::BikeConstants&);
  bool wheel;
};

const PartAtRest kParts[] = {
    {sim::kFrameModel, [](const sim::BikeConstants& k) { return k.frame_position; }, false},
    {sim::kForkUpperModel, [](const sim::BikeConstants& k) { return k.steering_head_position; },
     false},
    {sim::kForkLowerModel, [](const sim::BikeConstants& k) { return k.fork_lower_position; },
     false},
    {sim::kSwingarmModel, [](const sim::BikeConstants& k) { return k.swingarm_position; }, false},
    {sim::kSidePlatesModel, [](const sim::BikeConstants& k) { return k.frame_position; }, false},
    {sim::kFrontPlateModel, [](const sim::BikeConstants& k) { return k.steering_head_position; },
     false},
    {sim::kRiderBodyModel, [](const sim::BikeConstants& k) { return k.rider_position; }, false},
    {sim::kRiderBodyFirstPersonModel, [](const sim::BikeConstants& k) { return k.rider_position; },
     false},
    {sim::kRiderHeadModel, [](const sim::BikeConstants& k) { return k.rider_position; }, false},
    {sim::kRiderPlateModel, [](const sim::BikeConstants& k) { return k.rider_position; }, false},
    {sim::kFrontWheelModel, [](const sim::BikeConstants& k) { return k.front_wheel_position; },
     true},
    {sim::kRearWheelModel, [](const sim::BikeConstants& k) { return k.rear_wheel_position; }, true},
};

render::Model* read_model(const char* name) {
  data::DataStream* stream = data::open_data(name, "rb");
  if (!stream) return nullptr;
  render::Model* model = render::read_jm(stream, name);
  data::close_data(stream);
  return model;
}

// Put together at their bodies' rest positions, the parts make a bike that
// stands on its tyres: the wheels reach the ground and the tyre size the
// physics uses, nothing else comes near the ground, and everything stays
// within the bike's length, width and height.
TEST_F(BikeDataTest, PartsAssembleIntoABikeStandingOnItsTyres) {
  std::set<std::string> seen;
  for (const sim::BikeInfo* const* bike = shell::bike_catalogue(); *bike; ++bike) {
    const sim::BikeInfo& info = **bike;
    for (const PartAtRest& part : kParts) {
      const char* name = info.files[part.file];
      if (!seen.insert(name).second) continue;
      render::Model* model = read_model(name);
      ASSERT_NE(model, nullptr) << name;
      const float* rest = part.rest(info.constants);
      float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f}, reach = 0;
      for (const render::Mesh* mesh = model->meshes; mesh; mesh = mesh->next) {
        for (int v = 0; v < mesh->vertex_count; ++v) {
          const float* p = mesh->positions + 3 * v;
          for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], p[k] + rest[k]);
            hi[k] = std::max(hi[k], p[k] + rest[k]);
          }
          reach = std::max(reach, std::hypot(p[1], p[2]));
        }
      }
      render::model_free(model);
      if (part.wheel) {
        const sim::WheelInfo& w = part.file == sim::kFrontWheelModel ? info.constants.front_wheel
                                                                     : info.constants.rear_wheel;
        EXPECT_NEAR(reach, w.ring_radius + w.tube_radius, 0.02f) << name;
        EXPECT_NEAR(lo[1], 0, 0.02f) << name;
      } else {
        EXPECT_GE(lo[1], 0.5f) << name;
        EXPECT_LE(hi[1], 6.3f) << name;
        EXPECT_GE(lo[2], -0.3f) << name;
        EXPECT_LE(hi[2], 7.2f) << name;
        EXPECT_LE(std::max(-lo[0], hi[0]), 1.6f) << name;  // the rider's elbows are the widest
      }
    }
  }
}

int triangles(const render::Model* model) {
  int count = 0;
  for (const render::Mesh* mesh = model->meshes; mesh; mesh = mesh->next)
    count += mesh->triangle_count;
  return count;
}

// The corners of the box round a model's vertices (ft, its own coordinates).
void bounds(const render::Model* model, float lo[3], float hi[3]) {
  for (int k = 0; k < 3; ++k) lo[k] = 1e9f, hi[k] = -1e9f;
  for (const render::Mesh* mesh = model->meshes; mesh; mesh = mesh->next) {
    for (int v = 0; v < mesh->vertex_count; ++v) {
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::min(lo[k], mesh->positions[3 * v + k]);
        hi[k] = std::max(hi[k], mesh->positions[3 * v + k]);
      }
    }
  }
}

// Far away, bikes and riders are drawn from coarser models: every part built of rounds has one
// for 64 ft and beyond, found the way the game finds it, with at most four fifths of the
// triangles, the same materials and the same size.
TEST_F(BikeDataTest, RoundedPartsHaveACoarserLevelForTheDistance) {
  const sim::BikeFile rounded[] = {
      sim::kFrameModel,     sim::kForkUpperModel, sim::kForkLowerModel,  sim::kSwingarmModel,
      sim::kRiderBodyModel, sim::kRiderHeadModel, sim::kFrontWheelModel, sim::kRearWheelModel};
  std::set<std::string> seen;
  for (const sim::BikeInfo* const* bike = shell::bike_catalogue(); *bike; ++bike) {
    for (const sim::BikeFile file : rounded) {
      const char* name = (*bike)->files[file];
      if (!seen.insert(name).second) continue;
      const render::Model* model = render::model_request(name);
      ASSERT_NE(model, nullptr) << name;
      const render::Model* coarse = model->lod_next;
      ASSERT_NE(coarse, nullptr) << name;
      EXPECT_EQ(coarse->lod_distance, 64.0f) << name;
      EXPECT_LE(triangles(coarse) * 5, triangles(model) * 4) << name;
      const render::Mesh* a = model->meshes;
      const render::Mesh* b = coarse->meshes;
      for (; a && b; a = a->next, b = b->next) EXPECT_EQ(a->exponent, b->exponent) << name;
      EXPECT_TRUE(!a && !b) << name << ": another number of meshes";
      float lo[3], hi[3], coarse_lo[3], coarse_hi[3];
      bounds(model, lo, hi);
      bounds(coarse, coarse_lo, coarse_hi);
      for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(coarse_lo[k], lo[k], 0.05f) << name << " axis " << k;
        EXPECT_NEAR(coarse_hi[k], hi[k], 0.05f) << name << " axis " << k;
      }
    }
  }
  EXPECT_GE(seen.size(), 8u);
  render::model_cache_clear();
}

// Faces are drawn with back faces culled, so every triangle must wind
// counter-clockwise seen from the side its vertex normals point to, in the
// coarser levels too.
TEST_F(BikeDataTest, EveryTriangleFacesTheWayItsNormalsPoint) {
  std::set<std::string> names = catalogue_names(".jm");
  for (const char* const* n = data::data_names(); n && *n; ++n) {
    std::string name = std::string("@") + *n;
    if (name.find("_lod") == std::string::npos) continue;
    if (ends_with(name, ".gz")) name.resize(name.size() - 3);
    if (ends_with(name, ".jm")) names.insert(name);
  }
  for (const std::string& name : names) {
    render::Model* model = read_model(name.c_str());
    ASSERT_NE(model, nullptr) << name;
    int wrong = 0, total = 0;
    for (const render::Mesh* mesh = model->meshes; mesh; mesh = mesh->next) {
      for (int t = 0; t < mesh->triangle_count; ++t) {
        const int* tri = mesh->triangles + 3 * t;
        const float* a = mesh->positions + 3 * tri[0];
        const float* b = mesh->positions + 3 * tri[1];
        const float* c = mesh->positions + 3 * tri[2];
        const float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const float e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                            e1[0] * e2[1] - e1[1] * e2[0]};
        if (std::hypot(n[0], n[1], n[2]) < 1e-7f) continue;  // a sliver
        float facing = 0;
        for (int corner = 0; corner < 3; ++corner) {
          const float* vn = mesh->normals + 3 * tri[corner];
          facing += n[0] * vn[0] + n[1] * vn[1] + n[2] * vn[2];
        }
        ++total;
        if (facing <= 0) ++wrong;
      }
    }
    render::model_free(model);
    EXPECT_EQ(wrong, 0) << name << ": " << wrong << " of " << total << " triangles face inwards";
  }
}

}  // namespace
