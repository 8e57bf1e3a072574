// models.cpp -- building triangle meshes and writing them as version-1 .jm model files.
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include <zlib.h>

#include "content/content.h"

namespace content {

namespace {

// Appends a quad whose corners go round it; the winding is turned to be
// counter-clockwise seen from the side the normal points to.
void add_quad(Mesh& mesh, const float corners[4][3], const float normal[3], const float uv[4][2]) {
  const float* a = corners[0];
  const float* b = corners[1];
  const float* c = corners[2];
  const float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  const float e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
  const float cross[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                          e1[0] * e2[1] - e1[1] * e2[0]};
  const bool flip = cross[0] * normal[0] + cross[1] * normal[1] + cross[2] * normal[2] < 0;
  const int base = static_cast<int>(mesh.vertices.size());
  for (int i = 0; i < 4; ++i) {
    Vertex v{};
    for (int k = 0; k < 3; ++k) {
      v.position[k] = corners[i][k];
      v.normal[k] = normal[k];
    }
    v.uv[0] = uv[i][0];
    v.uv[1] = uv[i][1];
    mesh.vertices.push_back(v);
  }
  const int order[6] = {0, 1, 2, 0, 2, 3};
  const int flipped[6] = {0, 2, 1, 0, 3, 2};
  for (int i = 0; i < 6; ++i) mesh.triangles.push_back(base + (flip ? flipped[i] : order[i]));
}

}  // namespace

void add_box(Mesh& mesh, const float lo[3], const float hi[3]) {
  const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  // For each axis, the two faces; the corners go round the face in its plane.
  for (int axis = 0; axis < 3; ++axis) {
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    for (int side = 0; side < 2; ++side) {
      const float level = side ? hi[axis] : lo[axis];
      float corners[4][3];
      const float pu[4] = {lo[u], hi[u], hi[u], lo[u]};
      const float pv[4] = {lo[v], lo[v], hi[v], hi[v]};
      for (int i = 0; i < 4; ++i) {
        corners[i][axis] = level;
        corners[i][u] = pu[i];
        corners[i][v] = pv[i];
      }
      float normal[3] = {0, 0, 0};
      normal[axis] = side ? 1.0f : -1.0f;
      add_quad(mesh, corners, normal, uv);
    }
  }
}

void add_cylinder(Mesh& mesh, float radius, float y0, float y1, int sides) {
  for (int i = 0; i < sides; ++i) {
    const float a0 = 2 * std::numbers::pi_v<float> * i / sides;
    const float a1 = 2 * std::numbers::pi_v<float> * (i + 1) / sides;
    const float mid = (a0 + a1) / 2;
    const float corners[4][3] = {{radius * std::cos(a0), y0, radius * std::sin(a0)},
                                 {radius * std::cos(a1), y0, radius * std::sin(a1)},
                                 {radius * std::cos(a1), y1, radius * std::sin(a1)},
                                 {radius * std::cos(a0), y1, radius * std::sin(a0)}};
    const float normal[3] = {std::cos(mid), 0, std::sin(mid)};
    const float u0 = static_cast<float>(i) / sides, u1 = static_cast<float>(i + 1) / sides;
    const float uv[4][2] = {{u0, 0.25f}, {u1, 0.25f}, {u1, 1}, {u0, 1}};
    add_quad(mesh, corners, normal, uv);
  }
  // The cap: a fan round its centre, facing up.
  const int centre = static_cast<int>(mesh.vertices.size());
  mesh.vertices.push_back(Vertex{{0, y1, 0}, {0, 1, 0}, {0.5f, 0.125f}});
  for (int i = 0; i <= sides; ++i) {
    const float a = 2 * std::numbers::pi_v<float> * i / sides;
    mesh.vertices.push_back(Vertex{{radius * std::cos(a), y1, radius * std::sin(a)},
                                   {0, 1, 0},
                                   {0.5f + 0.5f * std::cos(a), 0.125f + 0.125f * std::sin(a)}});
  }
  for (int i = 0; i < sides; ++i) {
    // Seen from above (+y) with x to the right and z towards the viewer, the angle turns
    // clockwise, so the fan takes its rim points in reverse.
    mesh.triangles.push_back(centre);
    mesh.triangles.push_back(centre + 2 + i);
    mesh.triangles.push_back(centre + 1 + i);
  }
}

namespace {

// `text` as a gzip member, at the best compression. zlib writes no time or name into the
// header, so the bytes depend on the input alone. False when zlib fails.
bool gzip(const std::string& text, std::string& packed) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
    return false;
  }
  packed.assign(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(packed.data());
  z.avail_out = static_cast<uInt>(packed.size());
  const int done = deflate(&z, Z_FINISH);
  packed.resize(z.total_out);
  deflateEnd(&z);
  return done == Z_STREAM_END;
}

}  // namespace

void write_model(Output& out, const std::string& relative, const std::vector<Mesh>& meshes) {
  std::string text = "JM1\n";
  for (const Mesh& mesh : meshes) {
    text += format("%g 1 %g %g %g %d %d\n", mesh.exponent, mesh.colour[0], mesh.colour[1],
                   mesh.colour[2], static_cast<int>(mesh.vertices.size()),
                   static_cast<int>(mesh.triangles.size() / 3));
    for (const Vertex& v : mesh.vertices) {
      text += format("%.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f\n", v.position[0], v.position[1],
                     v.position[2], v.normal[0], v.normal[1], v.normal[2], v.uv[0], v.uv[1]);
    }
    for (std::size_t t = 0; t < mesh.triangles.size(); t += 3) {
      text += format("%d %d %d\n", mesh.triangles[t], mesh.triangles[t + 1], mesh.triangles[t + 2]);
    }
  }
  // Models are text and compress about five to one; the data layer opens "x.jm" as its
  // "x.jm.gz" without being asked.
  std::string packed;
  if (gzip(text, packed)) {
    write_file(out, relative + ".gz", packed);
  } else {
    write_file(out, relative, text);
  }
}

}  // namespace content
