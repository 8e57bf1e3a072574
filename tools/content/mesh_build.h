// mesh_build.h -- shaping the bike, rider and gate models: swept bodies, slabs, rings, boxes.
//
// Parts are built in one frame, usually the bike's rest frame (ft, y up, the
// ground at y = 0, forward -z, x to the rider's right), and moved into their
// body's own coordinates with `shift` before they are written. Every shape
// maps its texture coordinates into one rectangle of its texture (a UvRect),
// so one picture can carry the paint of many parts.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "content/content.h"

namespace content {

constexpr float kTurn = 2 * std::numbers::pi_v<float>;  // radians in a full turn

struct V3 {
  float x = 0, y = 0, z = 0;
};
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator-(V3 a) { return {-a.x, -a.y, -a.z}; }
inline V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 cross(V3 a, V3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float length(V3 a) { return std::sqrt(dot(a, a)); }
inline V3 normalised(V3 a) {
  const float l = length(a);
  return l > 1e-9f ? a * (1 / l) : V3{0, 1, 0};
}
inline V3 lerp(V3 a, V3 b, float t) { return a + (b - a) * t; }
inline V3 mirror_x(V3 a) { return {-a.x, a.y, a.z}; }

// How finely shapes are divided: 1 for a part's own model, 2 for its coarser level of detail,
// whose rounds have about half as many sides. Set only through CoarserMeshes.
struct MeshDetail {
  int coarseness = 1;
};
inline MeshDetail g_mesh_detail;

// Builds coarser shapes while it lives.
struct CoarserMeshes {
  explicit CoarserMeshes(int coarseness) { g_mesh_detail.coarseness = coarseness; }
  ~CoarserMeshes() { g_mesh_detail.coarseness = 1; }
  CoarserMeshes(const CoarserMeshes&) = delete;
  CoarserMeshes& operator=(const CoarserMeshes&) = delete;
};

// `count` divisions of a round or a sweep, fewer in a coarser model but never below `least`
// (nor below `count` itself when that is smaller).
inline int divisions(int count, int least) {
  return std::max(std::min(count, least), count / g_mesh_detail.coarseness);
}

// A rectangle of a texture in .jm terms: u to the right, v up from the picture's bottom.
struct UvRect {
  float u0, v0, u1, v1;
};

// The pixels [x0, x1) x [y0, y1) (rows counted from the top) of a width x height
// picture, drawn in by half a pixel so filtering stays inside.
inline UvRect uv_pixels(int x0, int y0, int x1, int y1, int width, int height) {
  const float w = static_cast<float>(width), h = static_cast<float>(height);
  return {(x0 + 0.5f) / w, 1 - (y1 - 0.5f) / h, (x1 - 0.5f) / w, 1 - (y0 + 0.5f) / h};
}

// The point (s, t) of a rectangle, s across and t up, both 0..1.
inline void uv_at(const UvRect& r, float s, float t, float uv[2]) {
  s = std::clamp(s, 0.0f, 1.0f);
  t = std::clamp(t, 0.0f, 1.0f);
  uv[0] = r.u0 + (r.u1 - r.u0) * s;
  uv[1] = r.v0 + (r.v1 - r.v0) * t;
}

// Texture coordinates from a position: decals projected onto a part.
using UvProjection = std::function<void(const V3& p, float uv[2])>;

// Projects along the plane spanned by `across` and `up` (unit vectors): `origin`
// lands on the rectangle's lower left, `origin + across * width + up * height`
// on its upper right.
inline UvProjection planar(const UvRect& rect, V3 origin, V3 across, V3 up, float width,
                           float height) {
  return [=](const V3& p, float uv[2]) {
    const V3 d = p - origin;
    uv_at(rect, dot(d, across) / width, dot(d, up) / height, uv);
  };
}

inline int add_vertex(Mesh& mesh, V3 p, V3 n, const float uv[2]) {
  mesh.vertices.push_back(Vertex{{p.x, p.y, p.z}, {n.x, n.y, n.z}, {uv[0], uv[1]}});
  return static_cast<int>(mesh.vertices.size()) - 1;
}

// A triangle, its winding turned so that it faces along `outward`.
inline void add_triangle(Mesh& mesh, int a, int b, int c, V3 outward) {
  const Vertex& va = mesh.vertices[a];
  const Vertex& vb = mesh.vertices[b];
  const Vertex& vc = mesh.vertices[c];
  const V3 pa{va.position[0], va.position[1], va.position[2]};
  const V3 pb{vb.position[0], vb.position[1], vb.position[2]};
  const V3 pc{vc.position[0], vc.position[1], vc.position[2]};
  const bool flip = dot(cross(pb - pa, pc - pa), outward) < 0;
  mesh.triangles.push_back(a);
  mesh.triangles.push_back(flip ? c : b);
  mesh.triangles.push_back(flip ? b : c);
}

// ---------------------------------------------------------------------------
// Sweeps: a cross-section carried along a path. Tubes, pipes, limbs, the
// tank and seat, tyres and rims are all sweeps.

// One station of a sweep: the section's centre and its half sizes, across
// (along the sweep's side direction) and the other way.
struct Ring {
  V3 centre;
  float half_width;
  float half_height;
};

struct SweepStyle {
  int sides = 8;
  float squareness = 2;       // the section's superellipse exponent: 2 round, 4 and up boxy
  V3 side = {1, 0, 0};        // the direction half_width lies along, squared to the path
  bool closed = false;        // the path is a loop (no caps)
  bool caps = true;           // close the ends of an open path
  bool path_along_u = false;  // the path runs along u and the section along v
  UvProjection project;       // when set, texture coordinates come from positions instead
};

// Section point k of `sides` on the superellipse of exponent n: (cos, sin)-like pair.
inline void section_point(int k, int sides, float n, float* c, float* s) {
  const float a = kTurn * static_cast<float>(k) / static_cast<float>(sides);
  const float ca = std::cos(a), sa = std::sin(a);
  const float e = 2 / n;
  *c = std::copysign(std::pow(std::fabs(ca), e), ca);
  *s = std::copysign(std::pow(std::fabs(sa), e), sa);
}

inline void sweep(Mesh& mesh, const std::vector<Ring>& rings, const SweepStyle& style,
                  const UvRect& uv) {
  const int count = static_cast<int>(rings.size());
  if (count < 2) return;
  // A boxy section needs eight sides to keep its corners; fewer would turn it into a diamond.
  const int sides = divisions(style.sides, style.squareness >= 3 ? 8 : 4);
  // The frame of each station: tangent, side and the third axis.
  std::vector<V3> tangent(count), axis_a(count), axis_b(count);
  std::vector<float> along(count, 0);
  for (int i = 0; i < count; ++i) {
    const int prev = style.closed ? (i + count - 1) % count : std::max(i - 1, 0);
    const int next = style.closed ? (i + 1) % count : std::min(i + 1, count - 1);
    tangent[i] = normalised(rings[next].centre - rings[prev].centre);
    V3 a = style.side - tangent[i] * dot(style.side, tangent[i]);
    if (length(a) < 1e-4f) a = cross(tangent[i], V3{0, 0, 1});
    axis_a[i] = normalised(a);
    axis_b[i] = cross(tangent[i], axis_a[i]);
    if (i > 0) along[i] = along[i - 1] + length(rings[i].centre - rings[i - 1].centre);
  }
  float total = along[count - 1];
  if (style.closed) total += length(rings[0].centre - rings[count - 1].centre);
  if (total <= 0) total = 1;
  const int stations = style.closed ? count + 1 : count;
  // Positions first, on a grid of stations x (sides + 1): the seam is doubled
  // so that the texture can run 0..1 round it.
  std::vector<V3> grid(static_cast<std::size_t>(stations) * (sides + 1));
  auto at = [&](int i, int k) -> V3& {
    return grid[static_cast<std::size_t>(i) * (sides + 1) + k];
  };
  for (int i = 0; i < stations; ++i) {
    const int r = i % count;
    for (int k = 0; k <= sides; ++k) {
      float c, s;
      section_point(k, sides, style.squareness, &c, &s);
      at(i, k) = rings[r].centre + axis_a[r] * (rings[r].half_width * c) +
                 axis_b[r] * (rings[r].half_height * s);
    }
  }
  const int base = static_cast<int>(mesh.vertices.size());
  for (int i = 0; i < stations; ++i) {
    const int r = i % count;
    const int i0 = style.closed ? (i + count - 1) % count : std::max(i - 1, 0);
    const int i1 = style.closed ? (i + 1) % count : std::min(i + 1, stations - 1);
    for (int k = 0; k <= sides; ++k) {
      const int k0 = (k + sides - 1) % sides, k1 = (k + 1) % sides;
      const V3 d_along = at(i1, k % sides) - at(i0, k % sides);
      const V3 d_round = at(i, k1) - at(i, k0);
      V3 n = cross(d_along, d_round);
      const V3 out = at(i, k) - rings[r].centre;
      if (length(n) < 1e-7f) {
        // A station shrunk to a point: its normal is the path's own direction.
        n = i < stations / 2 ? -tangent[r] : tangent[r];
      } else if (dot(n, out) < 0) {
        n = -n;
      }
      float t[2];
      const float path = (style.closed && i == count ? total : along[r]) / total;
      const float round = static_cast<float>(k) / static_cast<float>(sides);
      if (style.project) {
        style.project(at(i, k), t);
      } else if (style.path_along_u) {
        uv_at(uv, path, round, t);
      } else {
        uv_at(uv, round, path, t);
      }
      add_vertex(mesh, at(i, k), normalised(n), t);
    }
  }
  for (int i = 0; i + 1 < stations; ++i) {
    const int r = i % count;
    for (int k = 0; k < sides; ++k) {
      const int a = base + i * (sides + 1) + k;
      const int b = a + 1, c = a + sides + 2, d = a + sides + 1;
      const V3 mid = (at(i, k) + at(i + 1, k + 1)) * 0.5f;
      V3 out = mid - (rings[r].centre + rings[(i + 1) % count].centre) * 0.5f;
      if (length(out) < 1e-6f) {
        const float* na = mesh.vertices[a].normal;
        const float* nc = mesh.vertices[c].normal;
        out = V3{na[0] + nc[0], na[1] + nc[1], na[2] + nc[2]};
      }
      add_triangle(mesh, a, b, c, out);
      add_triangle(mesh, a, c, d, out);
    }
  }
  if (style.closed || !style.caps) return;
  for (int end = 0; end < 2; ++end) {
    const int r = end ? count - 1 : 0;
    if (rings[r].half_width <= 0 || rings[r].half_height <= 0) continue;
    const V3 normal = end ? tangent[r] : -tangent[r];
    float t[2];
    if (style.project) {
      style.project(rings[r].centre, t);
    } else {
      uv_at(uv, 0.5f, 0.5f, t);
    }
    const int centre = add_vertex(mesh, rings[r].centre, normal, t);
    for (int k = 0; k <= sides; ++k) {
      float c, s;
      section_point(k, sides, style.squareness, &c, &s);
      const V3& p = at(r, k);
      if (style.project) {
        style.project(p, t);
      } else {
        uv_at(uv, 0.5f + 0.5f * c, 0.5f + 0.5f * s, t);
      }
      add_vertex(mesh, p, normal, t);
    }
    for (int k = 0; k < sides; ++k)
      add_triangle(mesh, centre, centre + 1 + k, centre + 2 + k, normal);
  }
}

// A round tube along a path of points, the same radius all the way.
inline void tube(Mesh& mesh, const std::vector<V3>& path, float radius, int sides, const UvRect& uv,
                 V3 side = {1, 0, 0}) {
  std::vector<Ring> rings;
  for (const V3& p : path) rings.push_back({p, radius, radius});
  SweepStyle style;
  style.sides = sides;
  style.side = side;
  sweep(mesh, rings, style, uv);
}

// A tube from a to b whose radius goes from ra to rb.
inline void taper(Mesh& mesh, V3 a, V3 b, float ra, float rb, int sides, const UvRect& uv,
                  V3 side = {1, 0, 0}) {
  SweepStyle style;
  style.sides = sides;
  style.side = side;
  sweep(mesh, {{a, ra, ra}, {b, rb, rb}}, style, uv);
}

// An ellipsoid round `centre`: radii along the three axes (`axis` the long way
// through its poles, `side` across).
inline void ellipsoid(Mesh& mesh, V3 centre, V3 axis, V3 side, float r_axis, float r_side,
                      float r_other, int rings_count, int sides, const UvRect& uv,
                      const UvProjection& project = nullptr) {
  std::vector<Ring> rings;
  axis = normalised(axis);
  rings_count = divisions(rings_count, 4);
  for (int i = 0; i <= rings_count; ++i) {
    const float a = kTurn / 2 * static_cast<float>(i) / static_cast<float>(rings_count);
    const float s = std::sin(a);
    rings.push_back({centre + axis * (-r_axis * std::cos(a)), r_side * s, r_other * s});
  }
  SweepStyle style;
  style.sides = sides;
  style.side = side;
  style.caps = false;
  style.project = project;
  sweep(mesh, rings, style, uv);
}

// ---------------------------------------------------------------------------
// Slabs: a flat outline given thickness, like a shroud, a side panel or a
// number plate. The outline lies in a plane (two unit vectors `u`, `v`) and
// is thickened along `n` = u x v from `inner` to `outer`; its outer face bulges
// by `bulge` at the middle. The outline must be seen whole from its centroid.

struct Outline {
  V3 origin;
  V3 u, v;                    // the plane's axes
  std::vector<float> points;  // (u, v) pairs, going round
};

inline void slab(Mesh& mesh, const Outline& outline, float inner, float outer, float bulge,
                 const UvProjection& face_uv, const UvRect& edge_uv) {
  const V3 n = normalised(cross(outline.u, outline.v));
  const int count = static_cast<int>(outline.points.size() / 2);
  std::vector<V3> ring(count);
  float cu = 0, cv = 0;
  for (int i = 0; i < count; ++i) {
    cu += outline.points[2 * i] / static_cast<float>(count);
    cv += outline.points[2 * i + 1] / static_cast<float>(count);
    ring[i] =
        outline.origin + outline.u * outline.points[2 * i] + outline.v * outline.points[2 * i + 1];
  }
  const V3 middle = outline.origin + outline.u * cu + outline.v * cv;
  float t[2];
  // The two faces: a fan round the centre, the outer one raised into a low dome.
  for (int face = 0; face < 2; ++face) {
    const float level = face ? outer : inner;
    const V3 facing = face ? n : -n;
    const V3 top = middle + n * (level + (face ? bulge : 0));
    face_uv(top, t);
    const int centre = add_vertex(mesh, top, facing, t);
    for (int i = 0; i <= count; ++i) {
      const V3 p = ring[i % count] + n * level;
      // The dome leans each rim normal outwards a little.
      V3 normal = facing;
      if (face && bulge > 0)
        normal = normalised(facing + normalised(p - top) * (2 * bulge / (length(p - top) + 1e-6f)));
      face_uv(p, t);
      add_vertex(mesh, p, normal, t);
    }
    for (int i = 0; i < count; ++i)
      add_triangle(mesh, centre, centre + 1 + i, centre + 2 + i, facing);
  }
  // The edge: one quad per outline segment, its normals averaged at the corners.
  const int base = static_cast<int>(mesh.vertices.size());
  float perimeter = 0;
  for (int i = 0; i < count; ++i) perimeter += length(ring[(i + 1) % count] - ring[i]);
  float run = 0;
  for (int i = 0; i <= count; ++i) {
    const V3 prev = ring[(i + count - 1) % count], here = ring[i % count],
             next = ring[(i + 1) % count];
    V3 out = normalised(cross(next - prev, n));
    if (dot(out, here - middle) < 0) out = -out;
    for (int side = 0; side < 2; ++side) {
      uv_at(edge_uv, run / perimeter, static_cast<float>(side), t);
      add_vertex(mesh, here + n * (side ? outer : inner), out, t);
    }
    if (i < count) run += length(next - here);
  }
  for (int i = 0; i < count; ++i) {
    const int a = base + 2 * i;
    const V3 mid = (ring[i] + ring[(i + 1) % count]) * 0.5f;
    const V3 out = mid - middle;
    add_triangle(mesh, a, a + 2, a + 3, out);
    add_triangle(mesh, a, a + 3, a + 1, out);
  }
}

// ---------------------------------------------------------------------------
// Flat rings round an axis: brake discs and sprockets. `outer(angle)` gives
// the rim's radius, so teeth are a wavy rim. Both faces take the planar
// texture `face_uv`; the rims take `edge_uv`.
inline void annulus(Mesh& mesh, V3 centre, V3 axis, V3 up, float inner,
                    const std::function<float(float)>& outer, float thickness, int steps,
                    const UvProjection& face_uv, const UvRect& edge_uv) {
  axis = normalised(axis);
  up = normalised(up - axis * dot(up, axis));
  const V3 across = cross(up, axis);
  steps = divisions(steps, 12);
  float t[2];
  for (int face = 0; face < 2; ++face) {
    const V3 facing = face ? axis : -axis;
    const V3 offset = axis * (face ? thickness / 2 : -thickness / 2);
    const int base = static_cast<int>(mesh.vertices.size());
    for (int i = 0; i <= steps; ++i) {
      const float a = kTurn * static_cast<float>(i) / static_cast<float>(steps);
      const V3 dir = up * std::cos(a) + across * std::sin(a);
      const V3 p_in = centre + offset + dir * inner;
      const V3 p_out = centre + offset + dir * outer(a);
      face_uv(p_in, t);
      add_vertex(mesh, p_in, facing, t);
      face_uv(p_out, t);
      add_vertex(mesh, p_out, facing, t);
    }
    for (int i = 0; i < steps; ++i) {
      const int a = base + 2 * i;
      add_triangle(mesh, a, a + 1, a + 3, facing);
      add_triangle(mesh, a, a + 3, a + 2, facing);
    }
  }
  for (int rim = 0; rim < 2; ++rim) {
    const int base = static_cast<int>(mesh.vertices.size());
    for (int i = 0; i <= steps; ++i) {
      const float a = kTurn * static_cast<float>(i) / static_cast<float>(steps);
      const V3 dir = up * std::cos(a) + across * std::sin(a);
      const float r = rim ? outer(a) : inner;
      const V3 normal = rim ? dir : -dir;
      for (int side = 0; side < 2; ++side) {
        uv_at(edge_uv, static_cast<float>(i) / static_cast<float>(steps), static_cast<float>(side),
              t);
        add_vertex(mesh, centre + dir * r + axis * (side ? thickness / 2 : -thickness / 2), normal,
                   t);
      }
    }
    for (int i = 0; i < steps; ++i) {
      const int a = base + 2 * i;
      const float ang = kTurn * (static_cast<float>(i) + 0.5f) / static_cast<float>(steps);
      const V3 dir = up * std::cos(ang) + across * std::sin(ang);
      const V3 out = rim ? dir : -dir;
      add_triangle(mesh, a, a + 2, a + 3, out);
      add_triangle(mesh, a, a + 3, a + 1, out);
    }
  }
}

// ---------------------------------------------------------------------------
// A box on its own axes (unit, square to each other), every face mapped onto `uv`.
inline void block(Mesh& mesh, V3 centre, V3 ax, V3 ay, V3 az, V3 half, const UvRect& uv) {
  const V3 axes[3] = {ax * half.x, ay * half.y, az * half.z};
  for (int axis = 0; axis < 3; ++axis) {
    const V3 eu = axes[(axis + 1) % 3], ev = axes[(axis + 2) % 3];
    for (int side = 0; side < 2; ++side) {
      const V3 normal = normalised(side ? axes[axis] : -axes[axis]);
      const V3 face = centre + (side ? axes[axis] : -axes[axis]);
      const V3 corners[4] = {face - eu - ev, face + eu - ev, face + eu + ev, face - eu + ev};
      const float st[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
      const int base = static_cast<int>(mesh.vertices.size());
      for (int i = 0; i < 4; ++i) {
        float t[2];
        uv_at(uv, st[i][0], st[i][1], t);
        add_vertex(mesh, corners[i], normal, t);
      }
      add_triangle(mesh, base, base + 1, base + 2, normal);
      add_triangle(mesh, base, base + 2, base + 3, normal);
    }
  }
}

// ---------------------------------------------------------------------------
// Whole meshes.

// Moves every vertex by -origin: from the frame a part was built in to its body's.
inline void shift(Mesh& mesh, V3 origin) {
  for (Vertex& v : mesh.vertices) {
    v.position[0] -= origin.x;
    v.position[1] -= origin.y;
    v.position[2] -= origin.z;
  }
}

// Appends the mirror image of the vertices and triangles from `first_vertex` and
// `first_index` on, across the plane x = 0 (windings turned to stay outward).
inline void mirror_tail(Mesh& mesh, std::size_t first_vertex, std::size_t first_index) {
  const int offset = static_cast<int>(mesh.vertices.size() - first_vertex);
  const std::size_t vertex_end = mesh.vertices.size(), index_end = mesh.triangles.size();
  for (std::size_t i = first_vertex; i < vertex_end; ++i) {
    Vertex v = mesh.vertices[i];
    v.position[0] = -v.position[0];
    v.normal[0] = -v.normal[0];
    mesh.vertices.push_back(v);
  }
  for (std::size_t i = first_index; i < index_end; i += 3) {
    mesh.triangles.push_back(mesh.triangles[i] + offset);
    mesh.triangles.push_back(mesh.triangles[i + 2] + offset);
    mesh.triangles.push_back(mesh.triangles[i + 1] + offset);
  }
}

// Material of a mesh: specular exponent and specular grey.
inline Mesh material(float exponent, float specular) {
  Mesh mesh;
  mesh.exponent = exponent;
  mesh.colour[0] = mesh.colour[1] = mesh.colour[2] = specular;
  return mesh;
}

// Two-bone reach: where the middle joint (elbow, knee) goes between `root` and
// `end` for bones of `first` and `second` ft, bending towards `pole`.
inline V3 middle_joint(V3 root, V3 end, float first, float second, V3 pole) {
  const V3 span = end - root;
  float d = length(span);
  const V3 dir = normalised(span);
  d = std::clamp(d, std::fabs(first - second) + 1e-3f, first + second - 1e-3f);
  const float a = (first * first - second * second + d * d) / (2 * d);
  const float h = std::sqrt(std::max(first * first - a * a, 0.0f));
  const V3 bend = normalised(pole - dir * dot(pole, dir));
  return root + dir * a + bend * h;
}

// The distance from which a part's coarser level is drawn: 2^6 = 64 ft.
constexpr int kCoarseLevel = 6;

// Writes `stem`.jm from `build`, and beside it `stem`_lod6.jm built again coarser, when that
// saves at least a fifth of the triangles. Returns whether the coarser level was written.
inline bool write_model_levels(Output& out, const std::string& stem,
                               const std::function<std::vector<Mesh>()>& build) {
  auto triangles = [](const std::vector<Mesh>& meshes) {
    std::size_t count = 0;
    for (const Mesh& mesh : meshes) count += mesh.triangles.size() / 3;
    return count;
  };
  const std::vector<Mesh> fine = build();
  write_model(out, stem + ".jm", fine);
  std::vector<Mesh> coarse;
  {
    CoarserMeshes coarser(2);
    coarse = build();
  }
  if (triangles(coarse) * 5 > triangles(fine) * 4) return false;
  write_model(out, stem + format("_lod%d.jm", kCoarseLevel), coarse);
  return true;
}

}  // namespace content
