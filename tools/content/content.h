// content.h -- what the parts of the content generator share: files, pictures, models, tracks.
//
// The generator writes Korvex's data set into one folder. Every part writes
// through the library where the library has a writer (terrain, timing gates,
// billboards, statues, PNG pictures) and writes plain text otherwise. Nothing
// here reads the clock or the order of a directory listing, and every random
// choice comes from a std::mt19937 with a fixed seed, so the same source
// gives the same bytes.
#pragma once

#include <string>
#include <vector>

namespace content {

// The folder being filled. A failed write is remembered and reported at the end.
struct Output {
  std::string root;  // ends with "/"
  bool ok = true;
};

// Writes `contents` to root + relative (making the folders on the way) (output.cpp).
void write_file(Output& out, const std::string& relative, const std::string& contents);

// printf into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// ---------------------------------------------------------------------------
// Pictures (pictures.cpp): 8-bit RGB or RGBA, rows top first.

struct Picture {
  int width = 0;
  int height = 0;
  int channels = 3;
  std::vector<unsigned char> pixels;

  Picture(int w, int h, int c) : width(w), height(h), channels(c), pixels(std::size_t(w) * h * c) {}
  unsigned char* at(int x, int y) { return &pixels[(std::size_t(y) * width + x) * channels]; }
};

struct Rgba {
  float r, g, b, a = 255;
};

void fill(Picture& p, Rgba colour);
// Axis-aligned rectangle [x0, x1) x [y0, y1), clipped to the picture.
void fill_rect(Picture& p, int x0, int y0, int x1, int y1, Rgba colour);
// A disc, its edge softened over one pixel.
void fill_disc(Picture& p, float cx, float cy, float radius, Rgba colour);
// Multiplies every pixel's colour by 1 + amount * noise, the noise a sum of
// smooth octaves that wraps at the picture's edges (tiles without a seam).
void add_noise(Picture& p, unsigned seed, float amount, int base_cells);
// Heights over a picture for its normal map, in pixels, rows top first.
struct HeightMap {
  int width = 0;
  int height = 0;
  std::vector<float> values;

  HeightMap(int w, int h) : width(w), height(h), values(std::size_t(w) * h, 0.0f) {}
  float& at(int x, int y) { return values[std::size_t(y) * width + x]; }
};
// Adds the same kind of tiling noise as add_noise, `amplitude` pixels high at most.
void add_height_noise(HeightMap& h, unsigned seed, float amplitude, int base_cells);
// The normal map of a height map, wrapping at its edges, as Korvex's normal-mapped programs
// read it: each normal's part towards the picture's left in red, towards its bottom in green,
// out of the surface in blue, each mapped from -1..1 onto 0..255.
Picture normal_map(const HeightMap& h);
// Writes the picture as a PNG through the library's writer; `text`, when given, goes
// into a text chunk (the hints the image reader hands on, e.g. number-plate colours).
void write_picture(Output& out, const std::string& relative, const Picture& p,
                   const char* text = nullptr);

// ---------------------------------------------------------------------------
// Models (models.cpp): triangle meshes written as version-1 .jm files.

struct Vertex {
  float position[3];
  float normal[3];
  float uv[2];
};

struct Mesh {
  float exponent = 16;                   // specular exponent
  float colour[3] = {0.2f, 0.2f, 0.2f};  // specular colour
  std::vector<Vertex> vertices;
  std::vector<int> triangles;  // three indices each, counter-clockwise seen from outside
};

// A box from (x0, y0, z0) to (x1, y1, z1), each face mapped onto the whole texture.
void add_box(Mesh& mesh, const float lo[3], const float hi[3]);
// An upright cylinder round the y axis with its top cap; the side takes the
// texture's upper three quarters round the circumference, the cap its lowest quarter.
void add_cylinder(Mesh& mesh, float radius, float y0, float y1, int sides);
void write_model(Output& out, const std::string& relative, const std::vector<Mesh>& meshes);

// ---------------------------------------------------------------------------
// Shapes (shapes.cpp)

struct Sphere {
  float x, y, z;  // centre in the body's coordinates (ft)
  float radius;   // ft
  float friction;
};

// The ".shp" text of a list of spheres.
std::string shape_text(const std::vector<Sphere>& spheres);

// The seven stock shapes of every bike and rider, by file name, in the order
// the stock-shape digest takes them.
struct StockShape {
  const char* file;
  std::vector<Sphere> spheres;
};
std::vector<StockShape> stock_shapes();
void write_stock_shapes(Output& out);

// ---------------------------------------------------------------------------
// Scenery (scenery.cpp): the pictures, models and shapes the tracks name.

namespace names {
// Ground textures of the surface table, in surface order.
extern const char* const kGround[5];
extern const char* const kSky[5];  // north, east, south, west, up
extern const char* const kSkyEnv;
extern const char* const kRoost;
extern const char* const kFlare[3];  // glow, ring, spot
extern const char* const kBanners[3];
extern const char* const kStartFlagger[5];
extern const char* const kFinishFlagger[4];
extern const char* const kCourseFlagger[2];
extern const char* const kHayBale[3];    // model, texture, shape
extern const char* const kTyreStack[3];  // model, texture, shape
// A container with normal and specular maps beside its texture ("_norm", "_spec").
extern const char* const kContainer[3];  // model, texture, shape
}  // namespace names

void write_scenery(Output& out);

// ---------------------------------------------------------------------------
// Bikes and riders (bikes.cpp, riders.cpp): every catalogue model's part
// models and texture, the shared wheels, rider and plates, the roster's
// alternative textures.
void write_bikes(Output& out);
void write_riders(Output& out);

// ---------------------------------------------------------------------------
// Fonts, HUD pictures and engine sounds (fonts.cpp, hud.cpp, sounds.cpp).
void write_fonts(Output& out);
void write_hud(Output& out);
void write_sounds(Output& out);

// ---------------------------------------------------------------------------
// Tracks (track_lap.cpp, track_ground.cpp and track_dressing.cpp build any
// plan; one file per track holds its plan)

// What is built on a straight leg of the lap.
enum class Feature {
  kTabletop,      // take-off, a flat table, a landing ramp
  kDouble,        // take-off, a gap, a landing mound
  kRhythm,        // a run of rollers to be doubled or tripled
  kWhoops,        // a run of close small bumps
  kSand,          // a sunken stretch of sand with ripples
  kUphillJump,    // a kicker on a climbing leg, landing up the slope
  kDownhillJump,  // a lip at a crest, landing down the slope
};

// A corner of the centreline: the legs meet at (x, z) and the lap turns
// round an arc of `radius` between them.
struct Corner {
  float x, z;       // ft, world
  float radius;     // ft
  float berm;       // ft, height of the berm on the outside (0: none)
  bool off_camber;  // the track falls away to the outside instead
  float width;      // ft, track width of the leg that leaves this corner
};

struct LegFeature {
  int leg;  // leg i runs from corner i to corner i + 1
  Feature kind;
  float at;  // ft from the end of corner i's arc to the feature's start
};

struct TrackPlan {
  std::string folder;           // "rabbithill"
  std::string display_name;     // first line of desc
  int size_log2 = 8;            // the height field's n
  float spacing = 2;            // ft between grid points
  std::vector<Corner> corners;  // in riding order; the lap is closed
  std::vector<LegFeature> features;
  float (*ground)(float x, float z) = nullptr;  // the land before the track is cut (ft)
  float start_at = 0;        // ft along leg 0 from its start to the front row of the grid
  float finish_at = 0;       // ft along leg 0 to the finish line
  float start_width = 50;    // ft, the start area's width round the grid
  float sun[3] = {0, 1, 0};  // towards the sun
  float fog[4] = {0.7f, 0.75f, 0.8f, 0.0004f};  // colour, density
  unsigned seed = 1;
};

// Builds a track folder from its plan. Returns the lap length (ft).
float build_track(Output& out, const TrackPlan& plan);

TrackPlan rabbithill_plan();
TrackPlan practice_plan();

// ---------------------------------------------------------------------------
// The record of what was generated (output.cpp)

constexpr const char* kManifest = "MANIFEST.sha1";

struct ManifestTotals {
  int files = 0;
  long long bytes = 0;
};
// Writes root/MANIFEST.sha1: one line "<sha1 hex>  <name>" per file under
// the root, names sorted byte-wise. Returns what it listed.
ManifestTotals write_manifest(Output& out);

}  // namespace content
