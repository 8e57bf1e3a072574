// model_cache.cpp -- models by data name: loading, LOD chains, generations and release.
#include <GL/gl.h>
#include <strings.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/data.h"
#include "platform/platform.h"
#include "render/render.h"
#include "render/render_internal.h"

namespace render {

namespace {

struct ModelCache {
  Model** models = nullptr;
  int count = 0;
  int capacity = 0;
  int generation = 0;
};
ModelCache g_models;
// Outlives clearing, which starts the generations again from 0.
int g_epoch = 0;

void append(Model* model) {
  if (g_models.count == g_models.capacity) {
    const int next = g_models.capacity ? g_models.capacity * 2 : 16;
    Model** bigger = static_cast<Model**>(platform::xmalloc(sizeof(Model*) * next));
    if (g_models.count) std::memcpy(bigger, g_models.models, sizeof(Model*) * g_models.count);
    std::free(g_models.models);
    g_models.models = bigger;
    g_models.capacity = next;
  }
  g_models.models[g_models.count++] = model;
}

// Inserts `lod` before the first chain entry at least as far.
void insert_lod(Model* base, Model* lod) {
  Model** at = &base->lod_next;
  while (*at && (*at)->lod_distance < lod->lod_distance) at = &(*at)->lod_next;
  lod->lod_next = *at;
  *at = lod;
}

// Loads the "_lod<number>" variants of a shared ("@") model found among the data names.
void discover_lods(Model* base, const char* name) {
  if (name[0] != '@') return;
  std::string stem = name + 1;
  const std::size_t dot = stem.rfind('.');
  if (dot != std::string::npos) stem.resize(dot);
  const std::string prefix = stem + "_lod";
  for (const char* const* n = data::data_names(); n && *n; ++n) {
    if (std::strncmp(*n, prefix.c_str(), prefix.size()) != 0) continue;
    const char* number = *n + prefix.size();
    char* end = nullptr;
    const double exponent = std::strtod(number, &end);
    // strtod also takes "inf" and "nan"; neither is a distance.
    if (end == number || !std::isfinite(exponent)) continue;
    std::string file = std::string("@") + *n;
    if (file.size() > 3 && file.compare(file.size() - 3, 3, ".gz") == 0)
      file.resize(file.size() - 3);
    Model* lod = load_model(file.c_str());
    if (!lod) continue;
    lod->lod_distance = static_cast<float>(std::exp2(exponent));
    insert_lod(base, lod);
  }
}

// Records a mesh into a display list the way mesh_draw would submit it.
void compile_lists(Model* model) {
  if (!g_gl_caps.probed) return;
  const bool shaders = shaders_active();
  for (Mesh* mesh = model->meshes; mesh; mesh = mesh->next) {
    const bool skinned = mesh->weights != nullptr;
    if (!shaders && (skinned || mesh->exponent < 0.0f)) continue;
    const GLuint list = glGenLists(1);
    if (!list) continue;
    glNewList(list, GL_COMPILE);
    submit_mesh_immediate(*mesh, shaders);
    glEndList();
    mesh->display_list = list;
  }
}

}  // namespace

Model* load_model(const char* name) {
  data::DataStream* stream = data::open_data(name, "rb");
  if (!stream) return nullptr;
  Model* model = read_jm(stream, name);
  data::close_data(stream);
  if (model) compile_lists(model);
  return model;
}

Model* model_request(const char* name) {
  for (int i = 0; i < g_models.count; ++i) {
    if (std::strcmp(g_models.models[i]->name, name) == 0) {
      g_models.models[i]->generation = g_models.generation;
      return g_models.models[i];
    }
  }
  for (int i = 0; i < g_models.count; ++i) {
    if (strcasecmp(g_models.models[i]->name, name) == 0) {
      platform::log("Warning: case mismatch on '%.900s'\n", name);
      g_models.models[i]->generation = g_models.generation;
      return g_models.models[i];
    }
  }
  Model* model = load_model(name);
  if (!model) return nullptr;
  model->generation = g_models.generation;
  discover_lods(model, name);
  append(model);
  return model;
}

void model_new_generation() {
  ++g_models.generation;
  ++g_epoch;
}
int model_generation() { return g_models.generation; }
int model_cache_epoch() { return g_epoch; }

void model_release_stale() {
  int kept = 0;
  for (int i = 0; i < g_models.count; ++i) {
    Model* model = g_models.models[i];
    if (model->generation != 0 && model->generation != g_models.generation) {
      if (g_render_settings.debug_level > 0) platform::log("deleting model %.900s\n", model->name);
      model_free(model);
    } else {
      g_models.models[kept++] = model;
    }
  }
  g_models.count = kept;
}

void model_cache_clear() {
  for (int i = 0; i < g_models.count; ++i) model_free(g_models.models[i]);
  std::free(g_models.models);
  g_models = {};
  ++g_epoch;
}

const Model* select_lod(const Model* base, const float position[3], const float eye[3]) {
  if (!base) return nullptr;
  const double dx = position[0] - eye[0], dy = position[1] - eye[1], dz = position[2] - eye[2];
  double scale = g_render_settings.lod_scale;
  if (!(scale >= 1e-6)) scale = 1e-6;
  if (scale > 1e6) scale = 1e6;
  const double scaled_squared = scale * scale * (dx * dx + dy * dy + dz * dz);
  const Model* chosen = base;
  for (const Model* lod = base->lod_next; lod; lod = lod->lod_next) {
    const double k = lod->lod_distance - g_render_settings.lod_bias;
    if (!(k <= 0.0 || scaled_squared >= k * k)) break;
    chosen = lod;
  }
  return chosen;
}

}  // namespace render
