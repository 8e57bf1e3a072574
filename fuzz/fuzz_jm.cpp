// fuzz_jm.cpp -- the ".jm" model reader on arbitrary text.
//
// A model has at least one mesh; every triangle names a vertex of its mesh; skinned meshes
// keep four weights summing to 1 on bones the file declared; tangents are unit or non-finite
// only where the file's numbers were.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/data.h"
#include "fuzz_support.h"
#include "render/render.h"

namespace {

using fuzz_support::check;

std::string g_input;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_input = fuzz_support::input_path("model.jm");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  data::DataStream* stream = fuzz_support::open_input(g_input, bytes, size);
  render::Model* model = render::read_jm(stream, "model.jm");
  data::close_data(stream);
  if (!model) return 0;
  check(model->meshes != nullptr);
  check(model->bone_count >= 0);
  for (const render::Mesh* mesh = model->meshes; mesh; mesh = mesh->next) {
    check(mesh->vertex_count >= 0 && mesh->triangle_count >= 0);
    for (int i = 0; i < mesh->triangle_count * 3; ++i) {
      check(mesh->triangles[i] >= 0 && mesh->triangles[i] < mesh->vertex_count);
    }
    check((mesh->weights != nullptr) == (model->bone_count > 0));
    for (int v = 0; mesh->weights && v < mesh->vertex_count; ++v) {
      float sum = 0;
      bool finite = true;
      for (int k = 0; k < 4; ++k) {
        const float w = mesh->weights[v * 4 + k];
        const int b = mesh->bone_indices[v * 4 + k];
        check(b >= 0 && b < model->bone_count);
        finite = finite && std::isfinite(w);
        sum += w;
      }
      if (finite && std::isfinite(sum)) check(std::fabs(sum - 1.0f) < 1e-3f);
    }
    for (int v = 0; v < mesh->vertex_count; ++v) {
      const float* t = mesh->tangents + v * 3;
      const float length = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
      if (std::isfinite(length)) check(std::fabs(length - 1.0f) < 1e-3f);
    }
  }
  render::model_free(model);
  return 0;
}
