// model_jm.cpp -- the .jm model reader: meshes, bone weights and tangents.
#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "data/data.h"
#include "platform/platform.h"
#include "render/render.h"

namespace render {

namespace {

constexpr float kTinyDeterminant = 9.5367431640625e-07f;  // 2^-20

// A growable array of T through platform::xmalloc. Counts come from the file,
// so storage grows with what is actually read rather than with what is claimed.
template <typename T>
struct Grow {
  T* data = nullptr;
  std::size_t size = 0, capacity = 0;
  void push(T value) {
    if (size == capacity) {
      const std::size_t next = capacity ? capacity * 2 : 64;
      T* bigger = static_cast<T*>(platform::xmalloc(next * sizeof(T)));
      if (size) std::memcpy(bigger, data, size * sizeof(T));
      std::free(data);
      data = bigger;
      capacity = next;
    }
    data[size++] = value;
  }
  T* take() {
    T* out = data;
    data = nullptr;
    size = capacity = 0;
    return out;
  }
  ~Grow() { std::free(data); }
};

template <typename T>
T* copy_of(const T* source, std::size_t count) {
  T* out = static_cast<T*>(platform::xmalloc(count * sizeof(T) + 1));
  if (count) std::memcpy(out, source, count * sizeof(T));
  return out;
}

// Skips white space so that the first byte of the next token can be looked at.
int peek_token(data::DataStream* stream) {
  int c = data::ds_peek(stream);
  while (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
    data::ds_getc(stream);
    c = data::ds_peek(stream);
  }
  return c;
}

// Keeps the four strongest influences of one vertex, then normalises them.
struct Influences {
  float weight[4] = {0, 0, 0, 0};
  int bone[4] = {0, 0, 0, 0};
  bool overflowed = false;
  void add(int b, float w) {
    if (!(w > 0.0f)) return;
    int slot = 0;
    for (int i = 1; i < 4; ++i) {
      if (weight[i] < weight[slot]) slot = i;
    }
    if (weight[slot] != 0.0f) overflowed = true;
    weight[slot] = w;
    bone[slot] = b;
  }
  // Scaled by the largest weight first, so that four huge weights cannot sum to infinity.
  void normalise() {
    float largest = 0.0f;
    for (const float w : weight) largest = w > largest ? w : largest;
    if (!(largest > 0.0f)) {
      for (float& w : weight) w = 0.25f;
      return;
    }
    float sum = 0.0f;
    for (float& w : weight) sum += (w /= largest);
    for (float& w : weight) w /= sum;
  }
};

void compute_tangents(Mesh& mesh) {
  const int vertices = mesh.vertex_count;
  float* tangent = mesh.tangents;
  std::memset(tangent, 0, sizeof(float) * 3 * static_cast<std::size_t>(vertices));
  const float* p = mesh.positions;
  const float* uv = mesh.texcoords;
  for (int t = 0; t < mesh.triangle_count; ++t) {
    const int a = mesh.triangles[t * 3], b = mesh.triangles[t * 3 + 1],
              c = mesh.triangles[t * 3 + 2];
    float e1[3], e2[3];
    for (int k = 0; k < 3; ++k) {
      e1[k] = p[b * 3 + k] - p[a * 3 + k];
      e2[k] = p[c * 3 + k] - p[a * 3 + k];
    }
    const float du1 = uv[b * 2] - uv[a * 2], dv1 = uv[b * 2 + 1] - uv[a * 2 + 1];
    const float du2 = uv[c * 2] - uv[a * 2], dv2 = uv[c * 2 + 1] - uv[a * 2 + 1];
    const float det = du1 * dv2 - du2 * dv1;
    float tv[3];
    if (std::fabs(det) >= kTinyDeterminant) {
      float bt[3];
      for (int k = 0; k < 3; ++k) {
        tv[k] = (dv2 * e1[k] - dv1 * e2[k]) / det;
        bt[k] = (du1 * e2[k] - du2 * e1[k]) / det;
      }
      const float cross_tb[3] = {tv[1] * bt[2] - tv[2] * bt[1], tv[2] * bt[0] - tv[0] * bt[2],
                                 tv[0] * bt[1] - tv[1] * bt[0]};
      const float face[3] = {e2[1] * e1[2] - e2[2] * e1[1], e2[2] * e1[0] - e2[0] * e1[2],
                             e2[0] * e1[1] - e2[1] * e1[0]};
      // A mapping mirrored on this triangle turns the tangent round.
      if (cross_tb[0] * face[0] + cross_tb[1] * face[1] + cross_tb[2] * face[2] >= 0.0f) {
        for (float& x : tv) x = -x;
      }
    } else {
      const float l1 = std::sqrt(e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2]);
      const float l2 = std::sqrt(e2[0] * e2[0] + e2[1] * e2[1] + e2[2] * e2[2]);
      const float* longer = l1 > l2 ? e1 : e2;
      const float length = l1 > l2 ? l1 : l2;
      if (length > 0.0f) {
        for (int k = 0; k < 3; ++k) tv[k] = longer[k] / length * kTinyDeterminant;
      } else {
        tv[0] = kTinyDeterminant;
        tv[1] = tv[2] = 0.0f;
      }
    }
    for (const int v : {a, b, c}) {
      for (int k = 0; k < 3; ++k) tangent[v * 3 + k] += tv[k];
    }
  }
  for (int v = 0; v < vertices; ++v) {
    float* t = tangent + v * 3;
    const float length = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
    if (length > 0.0f && std::isfinite(length)) {
      for (int k = 0; k < 3; ++k) t[k] /= length;
    } else {
      // A vertex of no triangle (or of a degenerate fan that cancels): any unit vector.
      t[0] = 1.0f;
      t[1] = t[2] = 0.0f;
    }
  }
}

void mesh_free(Mesh* mesh) {
  std::free(mesh->positions);
  std::free(mesh->normals);
  std::free(mesh->texcoords);
  std::free(mesh->tangents);
  std::free(mesh->bind_positions);
  std::free(mesh->bind_normals);
  std::free(mesh->bind_tangents);
  std::free(mesh->weights);
  std::free(mesh->bone_indices);
  std::free(mesh->env_texcoords);
  std::free(mesh->triangles);
  mesh->~Mesh();
  std::free(mesh);
}

// Reads one mesh after its header; nullptr (and nothing kept) when any number is
// missing or malformed, or a triangle names a vertex the mesh does not have.
Mesh* read_mesh(data::DataStream* stream, const char* name, float exponent, float alpha,
                const float rgb[3], int vertices, int triangles, int bones) {
  if (vertices < 0 || triangles < 0) return nullptr;
  Grow<float> positions, normals, texcoords, weights;
  Grow<int> indices, triangle_indices;
  bool warned = false;
  for (int v = 0; v < vertices; ++v) {
    float f[8];
    if (data::ds_scanf(stream, "%f %f %f %f %f %f %f %f", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5],
                       &f[6], &f[7]) != 8) {
      return nullptr;
    }
    for (int k = 0; k < 3; ++k) positions.push(f[k]);
    for (int k = 3; k < 6; ++k) normals.push(f[k]);
    texcoords.push(f[6]);
    texcoords.push(1.0f - f[7]);
    if (bones > 0) {
      Influences influences;
      for (int b = 0; b < bones; ++b) {
        float w = 0.0f;
        if (data::ds_scanf(stream, "%f", &w) != 1) return nullptr;
        influences.add(b, w);
      }
      if (influences.overflowed && !warned) {
        platform::log("Warning: vertex with more than 4 bone influences in '%.900s'\n", name);
        warned = true;
      }
      influences.normalise();
      for (int k = 0; k < 4; ++k) {
        weights.push(influences.weight[k]);
        indices.push(influences.bone[k]);
      }
    }
  }
  for (int t = 0; t < triangles; ++t) {
    int i[3];
    if (data::ds_scanf(stream, "%d %d %d", &i[0], &i[1], &i[2]) != 3) return nullptr;
    for (const int index : i) {
      if (index < 0 || index >= vertices) return nullptr;
      triangle_indices.push(index);
    }
  }

  Mesh* mesh = new (platform::xmalloc(sizeof(Mesh))) Mesh;
  mesh->exponent = exponent;
  mesh->colour[0] = rgb[0];
  mesh->colour[1] = rgb[1];
  mesh->colour[2] = rgb[2];
  mesh->colour[3] = exponent >= 0.0f ? 1.0f : alpha;
  mesh->vertex_count = vertices;
  mesh->triangle_count = triangles;
  const std::size_t v3 = static_cast<std::size_t>(vertices) * 3;
  // Empty meshes still get (one-byte) arrays so drawing never meets a null pointer.
  mesh->positions = positions.size ? positions.take() : copy_of<float>(nullptr, 0);
  mesh->normals = normals.size ? normals.take() : copy_of<float>(nullptr, 0);
  mesh->texcoords = texcoords.size ? texcoords.take() : copy_of<float>(nullptr, 0);
  mesh->triangles = triangle_indices.size ? triangle_indices.take() : copy_of<int>(nullptr, 0);
  mesh->tangents = static_cast<float*>(platform::xmalloc(v3 * sizeof(float) + 1));
  compute_tangents(*mesh);
  if (bones > 0) {
    mesh->weights = weights.size ? weights.take() : copy_of<float>(nullptr, 0);
    mesh->bone_indices = indices.size ? indices.take() : copy_of<int>(nullptr, 0);
    mesh->bind_positions = copy_of(mesh->positions, v3);
    mesh->bind_normals = copy_of(mesh->normals, v3);
    mesh->bind_tangents = copy_of(mesh->tangents, v3);
  }
  if (exponent == -1.0f) {
    mesh->env_texcoords = static_cast<float*>(platform::xmalloc(v3 / 3 * 2 * sizeof(float) + 1));
  }
  return mesh;
}

}  // namespace

Model* read_jm(data::DataStream* stream, const char* name) {
  if (!stream) return nullptr;
  int version = 0, bones = 0;
  Mesh* first = nullptr;
  if (peek_token(stream) == 'J') {
    if (data::ds_scanf(stream, "JM%d", &version) != 1) return nullptr;
    if (version != 1 && version != 2) return nullptr;
    if (version == 2) {
      // The name token after the bone count is not used.
      char skipped[1024];
      if (data::ds_scanf(stream, "%d %1023s", &bones, skipped) != 2 || bones < 0) return nullptr;
    }
  } else {
    int vertices = 0, triangles = 0;
    if (data::ds_scanf(stream, "%d %d", &vertices, &triangles) != 2) return nullptr;
    const float white[3] = {1, 1, 1};
    first = read_mesh(stream, name, 32.0f, 1.0f, white, vertices, triangles, 0);
    if (!first) return nullptr;
  }

  Model* model = new (platform::xmalloc(sizeof(Model))) Model;
  const std::size_t name_length = std::strlen(name);
  model->name = copy_of(name, name_length + 1);
  model->bone_count = bones;
  model->meshes = first;
  if (!first) {
    Mesh** tail = &model->meshes;
    for (;;) {
      float exponent = 0, alpha = 0, rgb[3] = {0, 0, 0};
      int vertices = 0, triangles = 0;
      if (data::ds_scanf(stream, "%f %f %f %f %f %d %d", &exponent, &alpha, &rgb[0], &rgb[1],
                         &rgb[2], &vertices, &triangles) != 7) {
        break;
      }
      Mesh* mesh = read_mesh(stream, name, exponent, alpha, rgb, vertices, triangles, bones);
      if (!mesh) break;
      *tail = mesh;
      tail = &mesh->next;
    }
    if (!model->meshes) {
      model_free(model);
      return nullptr;
    }
  }
  for (const Mesh* mesh = model->meshes; mesh; mesh = mesh->next) {
    if (mesh->exponent == -1.0f) model->has_reflective = true;
  }
  return model;
}

void model_free(Model* model) {
  while (model) {
    Model* next = model->lod_next;
    for (Mesh* mesh = model->meshes; mesh;) {
      Mesh* following = mesh->next;
      if (mesh->display_list && g_gl_caps.probed) glDeleteLists(mesh->display_list, 1);
      mesh_free(mesh);
      mesh = following;
    }
    std::free(model->name);
    model->~Model();
    std::free(model);
    model = next;
  }
}

}  // namespace render
