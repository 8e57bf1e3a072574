// scene.cpp -- one frame of the world: sky, terrain, riders and bikes, statues, billboards,
// ghosts and lens flares, in that order.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "render/render_internal.h"
#include "render/terrain_render.h"
#include "sim/sim.h"

namespace render {

SceneState g_scene;
FrameCounters g_frame_counters;

namespace {

constexpr float kSkyScale = 2886;
constexpr float kAlphaKeep = 0.75f;
constexpr double kDegrees = std::numbers::pi / 180;

// A statue's model as last looked up by its name. The handle stays good while the model
// cache's epoch is the one it was looked up in: a sweep frees only models of other
// generations, and this one was stamped with the current generation.
struct StatueModel {
  std::string name;
  Model* model = nullptr;  // nullptr: it cannot be loaded; not tried again in this epoch
  float reach = 0;         // ft, its farthest vertex from its origin, for the view test
  int epoch = -1;
};

// The models a rider slot's parts are drawn with, looked up for its catalogue entry and
// textures; good while the epoch lasts, as a statue's.
enum RiderPart {
  kPartFrame,
  kPartSidePlates,
  kPartForkUpper,
  kPartFrontPlate,
  kPartForkLower,
  kPartSwingarm,
  kPartFrontWheel,
  kPartRearWheel,
  kPartBody,
  kPartBodyFirstPerson,
  kPartHead,
  kPartRiderPlate,
  kRiderParts
};
// The textures a rider chooses, each with the catalogue's own.
enum RiderTexture { kTextureBike, kTextureWheels, kTextureBody, kTextureHead, kRiderTextures };
struct RiderModels {
  const sim::BikeInfo* info = nullptr;
  std::string textures[kRiderTextures];  // what the slot wore when its models were looked up
  Model* parts[kRiderParts] = {};
  int epoch = -1;
};

// Buffers sized with the track's billboards, so that a frame allocates nothing.
struct Scratch {
  std::vector<int> order, sort;
  std::vector<unsigned char> enabled;
  std::vector<float> fade;  // by rider slot
  // Number-plate textures by rider slot, and the plate stamp each holds.
  std::vector<unsigned> plates;
  std::vector<int> plate_stamps;
  std::vector<StatueModel> statues;       // by statue
  std::vector<RiderModels> rider_models;  // by rider slot
  // Missing models already warned about in this epoch, so that a field of riders on one
  // bike makes one line.
  std::vector<std::string> warned;
  int warned_epoch = -1;
} g_scratch;

// Whether a sphere can show in the camera's view: tested against the four sides of the view
// and the near plane. Everything beyond the far plane is left to the GL.
struct ViewVolume {
  float eye[3], x[3], y[3], z[3];
  float tan_x = 1, tan_y = 1;
  void set(const Camera& camera) {
    int viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const float aspect =
        viewport[3] > 0 ? static_cast<float>(viewport[2]) / static_cast<float>(viewport[3]) : 1;
    tan_y = std::tan(std::clamp(camera.fov, 1.0f, 179.0f) * 0.5f * static_cast<float>(kDegrees));
    tan_x = tan_y * aspect;
    for (int i = 0; i < 3; ++i) {
      eye[i] = camera.position[i];
      x[i] = camera.axes[i * 3];
      y[i] = camera.axes[i * 3 + 1];
      z[i] = camera.axes[i * 3 + 2];
    }
  }
  bool sees(const float p[3], float radius) const {
    const float d[3] = {p[0] - eye[0], p[1] - eye[1], p[2] - eye[2]};
    const float depth = -(d[0] * z[0] + d[1] * z[1] + d[2] * z[2]);  // along the view
    if (depth < -radius) return false;
    const float across = d[0] * x[0] + d[1] * x[1] + d[2] * x[2];
    const float up = d[0] * y[0] + d[1] * y[1] + d[2] * y[2];
    // Distance outside a side plane through the eye, whose normal is (1, 0, -tan) normalised.
    const float kx = std::sqrt(1 + tan_x * tan_x), ky = std::sqrt(1 + tan_y * tan_y);
    if (std::fabs(across) - depth * tan_x > radius * kx) return false;
    if (std::fabs(up) - depth * tan_y > radius * ky) return false;
    return true;
  }
} g_view;

// A bike with its rider lies within this of its frame (ft), crashed riders included.
constexpr float kRiderReach = 8;

// The largest distance of a model's vertices from its origin (ft), for the view test.
float model_reach(const Model* model) {
  float r2 = 0;
  for (const Mesh* mesh = model->meshes; mesh; mesh = mesh->next) {
    for (int v = 0; v < mesh->vertex_count; ++v) {
      const float* p = &mesh->positions[v * 3];
      r2 = std::max(r2, p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    }
  }
  return std::sqrt(r2);
}

// "Warning: Can't load ..." for a model (or a pair of names tried in turn) that did not load,
// once an epoch.
void warn_missing(const std::string& first, const char* second) {
  if (g_scratch.warned_epoch != model_cache_epoch()) {
    g_scratch.warned.clear();
    g_scratch.warned_epoch = model_cache_epoch();
  }
  std::string key = first;
  key += '\n';
  key += second;
  if (std::find(g_scratch.warned.begin(), g_scratch.warned.end(), key) != g_scratch.warned.end())
    return;
  g_scratch.warned.push_back(key);
  if (first.empty()) {
    platform::log("Warning: Can't load %.900s\n", second);
  } else {
    platform::log("Warning: Can't load %.450s or %.450s\n", first.c_str(), second);
  }
}

void look_up_statue(StatueModel& m, const std::string& name) {
  m.name = name;
  m.model = name.empty() ? nullptr : model_request(name.c_str());
  if (!m.model && !name.empty()) warn_missing({}, name.c_str());
  m.reach = m.model ? model_reach(m.model) : 0;
  m.epoch = model_cache_epoch();
}

// Statue i's model, looked up again when its name or the cache's epoch changed.
const StatueModel& statue_model(std::size_t i) {
  StatueModel& m = g_scratch.statues[i];
  const std::string& name = race::g_track.statues[i].model;
  if (m.epoch != model_cache_epoch() || m.name != name) look_up_statue(m, name);
  return m;
}

// A data name without its extension.
std::string_view stem(std::string_view name) {
  const std::size_t dot = name.rfind('.'), slash = name.rfind('/');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
    return name;
  return name.substr(0, dot);
}

// The model a chosen texture pairs with by file name. An entry names its part models after
// its own texture ("@crf450v2013.png": "@crf450v2013_frame.jm"), so a texture of another name
// pairs with the part model of that name ("@crf450v2013-red.png":
// "@crf450v2013-red_frame.jm"). Empty when the texture is the entry's own or the part's
// model is not named after it (the shared wheels).
std::string paired_model(const char* part_model, const char* entry_texture,
                         const std::string& chosen) {
  if (chosen.empty() || !entry_texture || !part_model || chosen == entry_texture) return {};
  const std::string_view own = stem(entry_texture), part = part_model;
  if (part.size() <= own.size() || part.compare(0, own.size(), own) != 0) return {};
  std::string paired(stem(chosen));
  paired.append(part.substr(own.size()));
  return paired;
}

// The slot's part models for its entry and textures: the model paired with the chosen
// texture when one loads, else the entry's own; neither loading, the part is left out.
const RiderModels& rider_models(int slot, const SceneRider& rider, const sim::BikeInfo* info) {
  RiderModels& m = g_scratch.rider_models[static_cast<std::size_t>(slot)];
  const std::string* chosen[kRiderTextures] = {&rider.bike_texture, &rider.wheel_texture,
                                               &rider.body_texture, &rider.head_texture};
  bool same = m.epoch == model_cache_epoch() && m.info == info;
  for (int k = 0; k < kRiderTextures; ++k) same = same && m.textures[k] == *chosen[k];
  if (same) return m;
  struct Part {
    sim::BikeFile model;
    RiderTexture texture;
  };
  static const Part kParts[kRiderParts] = {
      {sim::kFrameModel, kTextureBike},        {sim::kSidePlatesModel, kTextureBike},
      {sim::kForkUpperModel, kTextureBike},    {sim::kFrontPlateModel, kTextureBike},
      {sim::kForkLowerModel, kTextureBike},    {sim::kSwingarmModel, kTextureBike},
      {sim::kFrontWheelModel, kTextureWheels}, {sim::kRearWheelModel, kTextureWheels},
      {sim::kRiderBodyModel, kTextureBody},    {sim::kRiderBodyFirstPersonModel, kTextureBody},
      {sim::kRiderHeadModel, kTextureHead},    {sim::kRiderPlateModel, kTextureBody},
  };
  static const sim::BikeFile kEntryTextures[kRiderTextures] = {
      sim::kBikeTexture, sim::kWheelTexture, sim::kRiderBodyTexture, sim::kRiderHeadTexture};
  m.info = info;
  for (int k = 0; k < kRiderTextures; ++k) m.textures[k] = *chosen[k];
  m.epoch = model_cache_epoch();
  for (int p = 0; p < kRiderParts; ++p) {
    const char* own = info->files[kParts[p].model];
    const std::string paired = paired_model(own, info->files[kEntryTextures[kParts[p].texture]],
                                            m.textures[kParts[p].texture]);
    Model* model = paired.empty() ? nullptr : model_request(paired.c_str());
    if (!model && own && *own) model = model_request(own);
    if (!model && own && *own) warn_missing(paired, own);
    m.parts[p] = model;
  }
  return m;
}

// The slot's number-plate texture, uploaded again when its picture changed.
unsigned plate_texture(int slot, const SceneRider& rider) {
  if (rider.plate_rgb.empty()) return 0;
  unsigned& texture = g_scratch.plates[static_cast<std::size_t>(slot)];
  int& stamp = g_scratch.plate_stamps[static_cast<std::size_t>(slot)];
  if (texture && stamp == rider.plate_stamp) return texture;
  const int side = static_cast<int>(std::lround(std::sqrt(rider.plate_rgb.size() / 3.0)));
  if (side * side * 3 != static_cast<int>(rider.plate_rgb.size())) return 0;
  if (!texture) glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, side, side, 0, GL_RGB, GL_UNSIGNED_BYTE,
               rider.plate_rgb.data());
  stamp = rider.plate_stamp;
  return texture;
}

// The body's pose as a GL matrix.
void body_matrix(const sim::Bike* bike, int part, float m[16]) {
  const dReal* p = dBodyGetPosition(bike->body[part]);
  const dReal* r = dBodyGetRotation(bike->body[part]);
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) m[col * 4 + row] = static_cast<float>(r[row * 4 + col]);
    m[12 + row] = static_cast<float>(p[row]);
    m[row * 4 + 3] = 0;
  }
  m[15] = 1;
}

// The reflection pass of a model with chrome or glass: the track's sky environment map,
// turned by the model's own rotation (`pose`, a GL matrix) into the world's frame. The
// model's transform is on the model-view matrix.
void reflect(Model* model, const float pose[16]) {
  if (!model->has_reflective || !g_render_settings.reflections) return;
  const std::string& env = race::g_track.lighting.sky_env;
  const unsigned texture = env.empty() ? 0 : data::texture_load(env.c_str());
  if (!texture) return;
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  const float rotation[9] = {pose[0], pose[4], pose[8], pose[1], pose[5],
                             pose[9], pose[2], pose[6], pose[10]};
  draw_model_reflection(model, nullptr, rotation);
}

void draw_part(Model* base, unsigned texture, const float pose[16]) {
  if (!base) return;
  // The level of detail for the part's distance from this frame's camera.
  const float at[3] = {pose[12], pose[13], pose[14]};
  Model* model = const_cast<Model*>(select_lod(base, at, g_view.eye));
  if (texture) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    ++g_frame_counters.texture_changes;
  } else {
    glDisable(GL_TEXTURE_2D);
  }
  glPushMatrix();
  glMultMatrixf(pose);
  draw_model(model, nullptr);
  reflect(model, pose);
  glPopMatrix();
}

// The rider's own texture, else the catalogue's.
unsigned pick(const std::string& own, const char* fallback) {
  const char* name = !own.empty() ? own.c_str() : fallback;
  return name && *name ? data::texture_load(name) : 0;
}

// A bike and its rider, each body part's model at its body's pose.
void draw_rider(int slot, const SceneRider& rider, int mode) {
  const sim::Bike* bike = rider.bike;
  const sim::BikeInfo* info = rider.info ? rider.info : bike->info;
  if (!info) return;
  const char* const* f = info->files;
  Model* const* part = rider_models(slot, rider, info).parts;
  const unsigned bike_tex = pick(rider.bike_texture, f[sim::kBikeTexture]);
  const unsigned wheel_tex = pick(rider.wheel_texture, f[sim::kWheelTexture]);
  const unsigned body_tex = pick(rider.body_texture, f[sim::kRiderBodyTexture]);
  const unsigned head_tex = pick(rider.head_texture, f[sim::kRiderHeadTexture]);
  const unsigned plate = plate_texture(slot, rider);
  float m[16];
  body_matrix(bike, sim::kFrame, m);
  draw_part(part[kPartFrame], bike_tex, m);
  draw_part(part[kPartSidePlates], plate ? plate : bike_tex, m);
  body_matrix(bike, sim::kSteeringHead, m);
  draw_part(part[kPartForkUpper], bike_tex, m);
  draw_part(part[kPartFrontPlate], plate ? plate : bike_tex, m);
  body_matrix(bike, sim::kForkLower, m);
  draw_part(part[kPartForkLower], bike_tex, m);
  body_matrix(bike, sim::kSwingarm, m);
  draw_part(part[kPartSwingarm], bike_tex, m);
  body_matrix(bike, sim::kFrontWheel, m);
  draw_part(part[kPartFrontWheel], wheel_tex, m);
  body_matrix(bike, sim::kRearWheel, m);
  draw_part(part[kPartRearWheel], wheel_tex, m);
  if (mode == kRiderDrawFirstPerson && g_render_settings.hide_first_person_rider) return;
  body_matrix(bike, sim::kRider, m);
  if (mode == kRiderDrawFirstPerson) {
    // From inside the helmet: the first-person body, no head.
    draw_part(part[kPartBodyFirstPerson], body_tex, m);
    return;
  }
  draw_part(part[kPartBody], body_tex, m);
  draw_part(part[kPartHead], head_tex, m);
  draw_part(part[kPartRiderPlate], plate ? plate : body_tex, m);
}

// The camera's frustum with the track's near plane and the given far plane, as the
// projection matrix; the model-view matrix is left current.
void load_frustum(const Camera& camera, double far_plane) {
  int viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  const double aspect = viewport[3] > 0 ? static_cast<double>(viewport[2]) / viewport[3] : 1.0;
  const double near_plane =
      race::g_track.lighting.near_plane > 0 ? race::g_track.lighting.near_plane : 0.25;
  const double half = near_plane * std::tan(std::clamp(camera.fov, 1.0f, 179.0f) * 0.5 * kDegrees);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(-half * aspect, half * aspect, -half, half, near_plane, far_plane);
  glMatrixMode(GL_MODELVIEW);
}

// The track's far plane; a sky box corner lies farther than it may.
double track_far_plane() {
  const race::LightingSettings& l = race::g_track.lighting;
  const double near_plane = l.near_plane > 0 ? l.near_plane : 0.25;
  return l.far_plane > near_plane ? l.far_plane : 5000;
}

void load_projection(const Camera& camera) {
  load_frustum(camera, track_far_plane());
  // World to camera: the rows are the camera's axes.
  float m[16] = {};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) m[j * 4 + i] = camera.axes[j * 3 + i];
  }
  m[15] = 1;
  glLoadMatrixf(m);
  if (shaders_active()) {
    const float env[9] = {camera.axes[0], camera.axes[3], camera.axes[6],
                          camera.axes[1], camera.axes[4], camera.axes[7],
                          camera.axes[2], camera.axes[5], camera.axes[8]};
    set_env_matrix(env);
  }
}

void draw_sky(const Camera& camera) {
  const race::LightingSettings& l = race::g_track.lighting;
  bool any = false;
  for (const std::string& face : l.sky) any = any || !face.empty();
  glClear(any ? GL_DEPTH_BUFFER_BIT : GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (!any) return;
  // Corners of each face, bottom left first, seen from inside: north (-z), east (+x),
  // south (+z), west (-x), up.
  static const float kFaces[5][4][3] = {
      {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}},
      {{1, -1, -1}, {1, -1, 1}, {1, 1, 1}, {1, 1, -1}},
      {{1, -1, 1}, {-1, -1, 1}, {-1, 1, 1}, {1, 1, 1}},
      {{-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}, {-1, 1, 1}},
      {{-1, 1, -1}, {1, 1, -1}, {1, 1, 1}, {-1, 1, 1}},
  };
  // The edge texels stay inside so that they do not bleed.
  constexpr float lo = 1.0f / 128, hi = 127.0f / 128;
  static const float kTex[4][2] = {{lo, hi}, {hi, hi}, {hi, lo}, {lo, lo}};
  glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT);
  // The box's corners lie sqrt(3) times its scale away, beyond the far plane of a track that
  // keeps it nearer: clipped there, they would leave holes showing whatever the colour buffer
  // held. The sky writes no depth, so a far plane of its own changes nothing else.
  load_frustum(camera, std::max(track_far_plane(), 1.75 * kSkyScale));
  glDepthMask(GL_FALSE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glDisable(GL_FOG);
  glDisable(GL_CULL_FACE);
  glEnable(GL_TEXTURE_2D);
  glColor4f(1, 1, 1, 1);
  for (int face = 0; face < 5; ++face) {
    if (l.sky[face].empty()) continue;
    glBindTexture(GL_TEXTURE_2D, data::texture_load(l.sky[face].c_str()));
    ++g_frame_counters.texture_changes;
    glBegin(GL_QUADS);
    for (int k = 0; k < 4; ++k) {
      glTexCoord2fv(kTex[k]);
      glVertex3f(kFaces[face][k][0] * kSkyScale, kFaces[face][k][1] * kSkyScale,
                 kFaces[face][k][2] * kSkyScale);
    }
    glEnd();
  }
  glPopAttrib();
  load_frustum(camera, track_far_plane());
}

void set_light() {
  const race::LightingSettings& l = race::g_track.lighting;
  const float position[4] = {l.sun_vector.x, l.sun_vector.y, l.sun_vector.z, 0};
  const float ambient[4] = {l.ambient[0], l.ambient[1], l.ambient[2], 1};
  const float sun[4] = {l.sun_color[0], l.sun_color[1], l.sun_color[2], 1};
  const float global[4] = {l.global_ambient[0], l.global_ambient[1], l.global_ambient[2], 1};
  glLightfv(GL_LIGHT0, GL_POSITION, position);
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, sun);
  glLightfv(GL_LIGHT0, GL_SPECULAR, sun);
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
  glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
}

// The starter's countdown, by the seconds left to the drop: the 30-second board at his first
// point until 10 s are left, then the board turned sideways; then he walks to his second
// point, taking the flagger's duration and arriving 2 s before the drop, and holds the flag
// down by the gate until it drops. After the drop he stands there.
enum StartFlaggerTexture {
  kStarterStanding,
  kStarterBoard,
  kStarterBoardSideways,
  kStarterFlagDown,
  kStarterWalking
};
constexpr float kStarterSidewaysSeconds = 10;
constexpr float kStarterFlagDownSeconds = 2;

void update_start_flagger(race::Track& t) {
  const race::StartFlagger& f = t.flaggers.start;
  if (f.billboard < 0 || f.billboard >= static_cast<int>(t.billboards.size())) return;
  const float left = static_cast<float>((g_scene.start_tick - g_scene.tick) * sim::kTickSeconds);
  const float walk = std::max(f.duration, 0.0f);
  int texture = kStarterStanding;
  float along = 1;  // 0 at the first point, 1 at the second
  if (left > kStarterFlagDownSeconds + walk) {
    texture = left > kStarterSidewaysSeconds ? kStarterBoard : kStarterBoardSideways;
    along = 0;
  } else if (left > kStarterFlagDownSeconds) {
    texture = kStarterWalking;
    along = (kStarterFlagDownSeconds + walk - left) / walk;
  } else if (left > 0) {
    texture = kStarterFlagDown;
  }
  race::Billboard& bb = t.billboards[static_cast<std::size_t>(f.billboard)];
  if (!f.textures[texture].empty() && bb.texture != f.textures[texture])
    bb.texture = f.textures[texture];
  // Along the ground between the two points, each end as high above it as the file put it.
  const sim::Vec3 &p = f.first_point, &q = f.second_point;
  const float above_p = p.y - sim::terrain_height(p.x, p.z);
  const float above_q = q.y - sim::terrain_height(q.x, q.z);
  bb.x = p.x + (q.x - p.x) * along;
  bb.z = p.z + (q.z - p.z) * along;
  bb.y = sim::terrain_height(bb.x, bb.z) + above_p + (above_q - above_p) * along;
}

// Flaggers show the race's phase; timing-gate markers light up while a rider heads for
// one of their gates.
void update_scenery() {
  race::Track& t = race::g_track;
  const race::Flaggers& f = t.flaggers;
  auto show = [&](int billboard, const std::string& texture) {
    if (billboard < 0 || billboard >= static_cast<int>(t.billboards.size()) || texture.empty())
      return;
    race::Billboard& bb = t.billboards[static_cast<std::size_t>(billboard)];
    if (bb.texture != texture) bb.texture = texture;
  };
  const int phase = g_scene.phase;
  update_start_flagger(t);
  // The finish flagger's pictures: idle, the halfway board, the white flag, the chequered flag.
  show(f.finish.billboard, f.finish.textures[phase == kPhaseFinished  ? 3
                                             : phase == kPhaseLastLap ? 2
                                             : phase == kPhaseHalfway ? 1
                                                                      : 0]);
  for (const race::CourseFlagger& c : f.course) {
    bool wanted = false;
    for (int cp : c.checkpoints) {
      wanted = wanted || (cp >= 0 && cp < static_cast<int>(g_scene.next_gate_wanted.size()) &&
                          g_scene.next_gate_wanted[static_cast<std::size_t>(cp)]);
    }
    show(c.billboard, c.textures[wanted ? 1 : 0]);
  }
  data::anim_update(g_scene.tick);
}

// The dirt spray: the live particles become the first billboards.
void update_particles() {
  race::Track& t = race::g_track;
  const sim::Particle* p = sim::particles();
  const int pool = std::min<int>(race::kPoolBillboards, static_cast<int>(t.billboards.size()));
  for (int i = 0; i < pool && i < sim::kParticles; ++i) {
    g_scratch.enabled[static_cast<std::size_t>(i)] = p[i].alive;
    if (!p[i].alive) continue;
    race::Billboard& bb = t.billboards[static_cast<std::size_t>(i)];
    bb.x = p[i].position[0];
    bb.y = p[i].position[1];
    bb.z = p[i].position[2];
    bb.size = p[i].size;
    bb.width_factor = 1;
    std::memcpy(bb.color, p[i].color, 4);
    if (p[i].type && bb.texture != p[i].type->texture) bb.texture = p[i].type->texture;
  }
}

void draw_billboards(const Camera& camera) {
  race::Track& t = race::g_track;
  const int count = static_cast<int>(t.billboards.size());
  if (count == 0) return;
  const int pool = std::min<int>(race::kPoolBillboards, count);
  const int drawn = order_billboards(t.billboards.data(), g_scratch.enabled.data(), count, pool,
                                     camera, g_render_settings.billboard_lookahead,
                                     g_scratch.order.data(), g_scratch.sort.data());
  g_frame_counters.billboards = drawn;
  if (drawn == 0) return;
  // Across the view, horizontal.
  float across[3] = {camera.axes[0], 0, camera.axes[6]};
  const float len = std::sqrt(across[0] * across[0] + across[2] * across[2]);
  if (len < 1e-6f) {
    across[0] = 1;
    across[2] = 0;
  } else {
    across[0] /= len;
    across[2] /= len;
  }
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDepthMask(GL_FALSE);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  const std::string* bound = nullptr;
  bool open = false;
  for (int k = 0; k < drawn; ++k) {
    const race::Billboard& bb =
        t.billboards[static_cast<std::size_t>(g_scratch.order[static_cast<std::size_t>(k)])];
    if (!bound || *bound != bb.texture) {
      if (open) glEnd();
      glBindTexture(GL_TEXTURE_2D, data::texture_load(bb.texture.c_str()));
      ++g_frame_counters.texture_changes;
      bound = &bb.texture;
      glBegin(GL_QUADS);
      open = true;
    }
    const float half = 0.5f * bb.width_factor * bb.size;
    const float rx = across[0] * half, rz = across[2] * half;
    glColor4ub(bb.color[0], bb.color[1], bb.color[2], bb.color[3]);
    glTexCoord2f(0, 1);
    glVertex3f(bb.x - rx, bb.y, bb.z - rz);
    glTexCoord2f(1, 1);
    glVertex3f(bb.x + rx, bb.y, bb.z + rz);
    glTexCoord2f(1, 0);
    glVertex3f(bb.x + rx, bb.y + bb.size, bb.z + rz);
    glTexCoord2f(0, 0);
    glVertex3f(bb.x - rx, bb.y + bb.size, bb.z - rz);
  }
  if (open) glEnd();
  glPopAttrib();
}

void draw_statues(const Camera& camera) {
  const race::Track& t = race::g_track;
  for (std::size_t i = 0; i < t.statues.size(); ++i) {
    const race::Statue& s = t.statues[i];
    if (s.model.empty()) continue;
    const StatueModel& base = statue_model(i);
    if (!base.model) continue;
    const float at[3] = {s.x, s.y, s.z};
    if (!g_view.sees(at, base.reach)) continue;
    Model* model = const_cast<Model*>(select_lod(base.model, at, camera.position));
    // The maps the track found beside the statue's texture or model choose its program. They
    // are loaded first: loading binds a texture.
    const unsigned normal_map = s.normal_map.empty() ? 0 : data::texture_load(s.normal_map.c_str());
    const unsigned specular_map =
        s.specular_map.empty() ? 0 : data::texture_load(s.specular_map.c_str());
    const unsigned texture = s.texture.empty() ? 0 : data::texture_load(s.texture.c_str());
    if (texture) {
      glEnable(GL_TEXTURE_2D);
      glBindTexture(GL_TEXTURE_2D, texture);
    } else {
      glDisable(GL_TEXTURE_2D);
    }
    begin_model_maps(normal_map, specular_map);
    const float* o = s.orientation;
    const float m[16] = {o[0], o[3], o[6], 0, o[1], o[4], o[7], 0,
                         o[2], o[5], o[8], 0, s.x,  s.y,  s.z,  1};
    glPushMatrix();
    glMultMatrixf(m);
    // The starting-gate objects come first. Each bar is modelled standing on its hinge, the
    // model's x axis; it rests a quarter turn forwards (towards -z), flat on the ground, and
    // is turned up from there by the fall value.
    if (static_cast<int>(i) < t.first_file_statue) {
      const float turn = g_scene.gate_fall * kGateTurnPerFall - std::numbers::pi_v<float> / 2;
      glRotatef(turn * static_cast<float>(180 / std::numbers::pi), 1, 0, 0);
    }
    draw_model(model, nullptr);
    reflect(model, m);
    glPopMatrix();
  }
  end_model_maps();
}

float rider_fade(int slot, const Camera& camera) {
  const SceneRider& r = g_scene.riders[static_cast<std::size_t>(slot)];
  if (!r.bike || !r.has_state) return 0;
  if (!r.ghost || g_scene.connected || camera.view_rider < 0 ||
      camera.view_rider >= static_cast<int>(g_scene.riders.size())) {
    return 1;
  }
  const sim::Bike* view = g_scene.riders[static_cast<std::size_t>(camera.view_rider)].bike;
  if (!view || slot == camera.view_rider) return 1;
  const dReal* a = dBodyGetPosition(r.bike->body[sim::kFrame]);
  const dReal* b = dBodyGetPosition(view->body[sim::kFrame]);
  const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
  return ghost_fade(static_cast<float>(std::sqrt(dx * dx + dy * dy + dz * dz)),
                    static_cast<float>(g_render_settings.ghost_fade_distance));
}

int view_rider_mode() {
  switch (g_scene.view_mode) {
    case kViewRider:
      return kRiderDrawFirstPerson;
    case kViewChase:
      return kRiderDrawChase;
    default:
      return kRiderDrawNormal;
  }
}

void begin_models() {
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glEnable(GL_NORMALIZE);
  glEnable(GL_CULL_FACE);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GEQUAL, kAlphaKeep);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glColor4f(1, 1, 1, 1);
  // Flat shading ("--fugly") needs the fixed pipeline: the programs light every pixel.
  use_program(shaders_active() && !g_render_settings.flat_shading ? kProgramLit : kProgramFixed);
}

void draw_riders(const Camera& camera, bool ghosts) {
  const int slots = static_cast<int>(g_scene.riders.size());
  for (int i = 0; i < slots; ++i) {
    const SceneRider& r = g_scene.riders[static_cast<std::size_t>(i)];
    if (!r.bike) continue;
    const float fade = g_scratch.fade[static_cast<std::size_t>(i)];
    if (ghosts ? (fade <= 0 || fade >= 1) : fade < 1) continue;
    const dReal* frame = dBodyGetPosition(r.bike->body[sim::kFrame]);
    const float at[3] = {static_cast<float>(frame[0]), static_cast<float>(frame[1]),
                         static_cast<float>(frame[2])};
    if (!g_view.sees(at, kRiderReach)) continue;
    if (ghosts) {
      // The ghost's factor as a global alpha: a constant blend colour on top of the model's.
      glEnable(GL_BLEND);
      glBlendFunc(GL_CONSTANT_ALPHA, GL_ONE_MINUS_CONSTANT_ALPHA);
      if (g_gl.BlendColor) g_gl.BlendColor(0, 0, 0, fade);
    }
    draw_rider(i, r, i == camera.view_rider ? view_rider_mode() : kRiderDrawNormal);
    if (ghosts) glDisable(GL_BLEND);
  }
}

// The sun's flare: its visibility is the share of depth samples round its screen position
// that see the sky.
void draw_lens_flares(const Camera& camera) {
  const race::LightingSettings& l = race::g_track.lighting;
  if (!g_render_settings.lens_flares || l.flares.empty()) return;
  int viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  const float w = static_cast<float>(viewport[2]), h = static_cast<float>(viewport[3]);
  const float tan_half =
      std::tan(std::clamp(camera.fov, 1.0f, 179.0f) * 0.5f * static_cast<float>(kDegrees));
  const float aspect = h > 0 ? w / h : 1;
  for (const race::LensFlare& flare : l.flares) {
    // The sun's direction in camera coordinates.
    float dir[3] = {flare.where.x, flare.where.y, flare.where.z};
    if (flare.kind == 0) {
      dir[0] -= camera.position[0];
      dir[1] -= camera.position[1];
      dir[2] -= camera.position[2];
    }
    float c[3];
    for (int i = 0; i < 3; ++i) {
      c[i] = camera.axes[i] * dir[0] + camera.axes[3 + i] * dir[1] + camera.axes[6 + i] * dir[2];
    }
    if (c[2] >= 0) continue;  // behind the camera
    const float sx = c[0] / (-c[2] * tan_half * aspect), sy = c[1] / (-c[2] * tan_half);
    if (std::fabs(sx) > 1.2f || std::fabs(sy) > 1.2f) continue;
    // Sample a 5 x 5 pattern round the sun in the depth buffer.
    const int px = static_cast<int>((sx * 0.5f + 0.5f) * w),
              py = static_cast<int>((sy * 0.5f + 0.5f) * h);
    int seen = 0, samples = 0;
    for (int j = -2; j <= 2; ++j) {
      for (int i = -2; i <= 2; ++i) {
        const int x = px + i * 3, y = py + j * 3;
        ++samples;
        if (x < 0 || y < 0 || x >= viewport[2] || y >= viewport[3]) continue;
        float depth = 0;
        glReadPixels(viewport[0] + x, viewport[1] + y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
        if (depth >= 1.0f) ++seen;
      }
    }
    const float visibility = static_cast<float>(seen) / static_cast<float>(samples);
    if (visibility <= 0) continue;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-aspect, aspect, -1, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    const float sun_x = sx * aspect, sun_y = sy;
    for (const race::FlareElement& e : flare.elements) {
      if (e.texture.empty()) continue;
      // Along the line from the sun (0) through the centre (1) and beyond.
      const float x = sun_x * (1 - e.params[0]), y = sun_y * (1 - e.params[0]);
      const float size = e.params[1] * 0.25f;
      glBindTexture(GL_TEXTURE_2D, data::texture_load(e.texture.c_str()));
      glColor4f(e.color[0], e.color[1], e.color[2], e.value * visibility);
      glBegin(GL_QUADS);
      glTexCoord2f(0, 1);
      glVertex2f(x - size, y - size);
      glTexCoord2f(1, 1);
      glVertex2f(x + size, y - size);
      glTexCoord2f(1, 0);
      glVertex2f(x + size, y + size);
      glTexCoord2f(0, 0);
      glVertex2f(x - size, y + size);
      glEnd();
    }
    glPopAttrib();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
  }
}

void size_scratch() {
  const std::size_t billboards = race::g_track.billboards.size();
  if (g_scratch.order.size() != billboards) {
    g_scratch.order.assign(billboards, 0);
    g_scratch.sort.assign(billboards, 0);
    g_scratch.enabled.assign(billboards, 1);
  }
  // Entries that stay keep their names and are looked up again only when those differ.
  if (g_scratch.statues.size() != race::g_track.statues.size())
    g_scratch.statues.resize(race::g_track.statues.size());
  if (g_scratch.fade.size() != g_scene.riders.size()) {
    g_scratch.fade.assign(g_scene.riders.size(), 0);
    g_scratch.plates.resize(g_scene.riders.size(), 0);
    g_scratch.plate_stamps.resize(g_scene.riders.size(), 0);
    g_scratch.rider_models.resize(g_scene.riders.size());
  }
}

}  // namespace

void scene_preload() {
  size_scratch();
  const race::Track& t = race::g_track;
  auto texture = [](const std::string& name) {
    if (!name.empty()) data::texture_load(name.c_str());
  };
  for (std::size_t i = 0; i < t.statues.size(); ++i) {
    look_up_statue(g_scratch.statues[i], t.statues[i].model);
    texture(t.statues[i].texture);
  }
  for (std::size_t i = 0; i < g_scene.riders.size(); ++i) {
    const SceneRider& r = g_scene.riders[i];
    const sim::BikeInfo* info = r.info ? r.info : r.bike ? r.bike->info : nullptr;
    if (!r.bike || !info) continue;
    rider_models(static_cast<int>(i), r, info);
    pick(r.bike_texture, info->files[sim::kBikeTexture]);
    pick(r.wheel_texture, info->files[sim::kWheelTexture]);
    pick(r.body_texture, info->files[sim::kRiderBodyTexture]);
    pick(r.head_texture, info->files[sim::kRiderHeadTexture]);
  }
  for (std::size_t i = race::kPoolBillboards; i < t.billboards.size(); ++i)
    texture(t.billboards[i].texture);
  for (const std::string& name : t.flaggers.start.textures) texture(name);
  for (const std::string& name : t.flaggers.finish.textures) texture(name);
  for (const race::CourseFlagger& c : t.flaggers.course) {
    for (const std::string& name : c.textures) texture(name);
  }
  for (const std::string& name : t.lighting.sky) texture(name);
  texture(t.lighting.sky_env);
  for (const race::LensFlare& flare : t.lighting.flares) {
    for (const race::FlareElement& e : flare.elements) texture(e.texture);
  }
}

void draw_scene(const Camera& camera) {
  // Fresh counters, scratch sized for the track, the flaggers and animated textures brought
  // up to date, and the dirt spray put into the billboards.
  g_frame_counters = FrameCounters{};
  g_draw_counters = DrawCounters{};
  reset_shader_changes();
  size_scratch();
  update_scenery();
  update_particles();
  // The ground readied for this camera, then the projection and the camera's turn.
  terrain_prepare(camera);
  glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_LIGHTING_BIT | GL_FOG_BIT |
               GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT);
  load_projection(camera);
  g_view.set(camera);
  // The sky first: it turns with the camera but does not move with it.
  draw_sky(camera);
  // The track's fog, then the world moves by the camera's position.
  const race::LightingSettings& l = race::g_track.lighting;
  if (l.fog_density > 0) {
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogf(GL_FOG_DENSITY, l.fog_density);
    glFogfv(GL_FOG_COLOR, l.fog_color);
  } else {
    glDisable(GL_FOG);
    glFogf(GL_FOG_DENSITY, 0.0f);
  }
  glTranslatef(-camera.position[0], -camera.position[1], -camera.position[2]);
  // The sun.
  set_light();
  if (g_render_settings.flat_shading) glShadeModel(GL_FLAT);
  // The terrain, far to near, writing depth but never testing it.
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glDepthFunc(GL_ALWAYS);
  glEnable(GL_CULL_FACE);
  terrain_draw(camera);
  glDepthFunc(GL_LEQUAL);
  // Opaque models: the riders still fully present, and the statues.
  for (std::size_t i = 0; i < g_scene.riders.size(); ++i)
    g_scratch.fade[i] = rider_fade(static_cast<int>(i), camera);
  begin_models();
  draw_riders(camera, false);
  draw_statues(camera);
  // Billboards, through the fixed pipeline.
  glDisable(GL_ALPHA_TEST);
  use_program(kProgramFixed);
  draw_billboards(camera);
  // Ghosts: riders fading in or out, blended over what is drawn.
  use_program(shaders_active() && !g_render_settings.flat_shading ? kProgramLit : kProgramFixed);
  glEnable(GL_LIGHTING);
  draw_riders(camera, true);
  // What follows draws through the fixed pipeline. The computer riders' racing lines (debug
  // level 2) will be drawn here once riders follow racing lines.
  use_program(kProgramFixed);
  // Lens flares, without fog.
  glDisable(GL_FOG);
  draw_lens_flares(camera);
  glPopAttrib();
  g_frame_counters.ground_polygons = ground_polygons();
  g_frame_counters.model_polygons = g_draw_counters.model_polygons;
  g_frame_counters.model_vertices = g_draw_counters.vertices;
  g_frame_counters.shader_changes = shader_changes();
}

}  // namespace render
