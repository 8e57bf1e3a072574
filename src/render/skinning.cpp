// skinning.cpp -- posing a skinned model's vertices on the CPU when no program does it.
#include <cmath>

#include "render/render.h"

namespace render {

namespace {

void rotate(const float* r, const float* v, float* out) {
  out[0] = r[0] * v[0] + r[1] * v[1] + r[2] * v[2];
  out[1] = r[3] * v[0] + r[4] * v[1] + r[5] * v[2];
  out[2] = r[6] * v[0] + r[7] * v[1] + r[8] * v[2];
}

void normalise(float* v) {
  const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (length > 0.0f) {
    v[0] /= length;
    v[1] /= length;
    v[2] /= length;
  }
}

}  // namespace

void skin_on_cpu(Model* model, const BonePose& pose) {
  if (!model || pose.count != model->bone_count || pose.count <= 0) return;
  if (!pose.centres || !pose.translations || !pose.rotations) return;
  for (Mesh* mesh = model->meshes; mesh; mesh = mesh->next) {
    if (!mesh->weights) continue;
    for (int v = 0; v < mesh->vertex_count; ++v) {
      const float* bind_p = mesh->bind_positions + v * 3;
      const float* bind_n = mesh->bind_normals + v * 3;
      const float* bind_t = mesh->bind_tangents + v * 3;
      float p[3] = {0, 0, 0}, n[3] = {0, 0, 0}, t[3] = {0, 0, 0};
      for (int slot = 0; slot < 4; ++slot) {
        const float w = mesh->weights[v * 4 + slot];
        const int b = mesh->bone_indices[v * 4 + slot];
        if (!(w > 0.0f) || b < 0 || b >= pose.count) continue;
        const float* r = pose.rotations + b * 9;
        const float* c = pose.centres + b * 3;
        const float* tr = pose.translations + b * 3;
        const float local[3] = {bind_p[0] - c[0], bind_p[1] - c[1], bind_p[2] - c[2]};
        float out[3];
        rotate(r, local, out);
        for (int k = 0; k < 3; ++k) p[k] += w * (out[k] + tr[k]);
        rotate(r, bind_n, out);
        for (int k = 0; k < 3; ++k) n[k] += w * out[k];
        rotate(r, bind_t, out);
        for (int k = 0; k < 3; ++k) t[k] += w * out[k];
      }
      normalise(n);
      normalise(t);
      for (int k = 0; k < 3; ++k) {
        mesh->positions[v * 3 + k] = p[k];
        mesh->normals[v * 3 + k] = n[k];
        mesh->tangents[v * 3 + k] = t[k];
      }
    }
  }
}

}  // namespace render
