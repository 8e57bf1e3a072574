// mesh_draw.cpp -- submitting meshes to GL: materials, the three ways, and the reflection pass.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>

#include "render/render.h"
#include "render/render_internal.h"

namespace render {

DrawCounters g_draw_counters;

namespace {

constexpr float kInvTwoPi = 0.15915494309189535f;

// What a self-coloured mesh changes and must put back.
struct SavedLight {
  float global_ambient[4];
  float light_ambient[4];
};

void begin_material(const Mesh& mesh, SavedLight& saved) {
  const float* c = mesh.colour;
  if (mesh.exponent == -2.0f) {
    glGetFloatv(GL_LIGHT_MODEL_AMBIENT, saved.global_ambient);
    glGetLightfv(GL_LIGHT0, GL_AMBIENT, saved.light_ambient);
    const float black[4] = {0, 0, 0, 1};
    const float light[4] = {c[0], c[1], c[2], c[3]};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
    glLightfv(GL_LIGHT0, GL_AMBIENT, light);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, black);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 1.0f);
    return;
  }
  // GL refuses shininess above 128; a file asking for more gets the sharpest there is.
  float shininess = mesh.exponent >= 0.0f ? mesh.exponent : 0.125f;
  if (!(shininess >= 0.125f)) shininess = 0.125f;
  if (shininess > 128.0f) shininess = 128.0f;
  const float specular[4] = {c[0], c[1], c[2], mesh.exponent >= 0.0f ? 1.0f : c[3]};
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, shininess);
}

void end_material(const Mesh& mesh, const SavedLight& saved) {
  if (mesh.exponent != -2.0f) return;
  const float white[4] = {1, 1, 1, 1};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, saved.global_ambient);
  glLightfv(GL_LIGHT0, GL_AMBIENT, saved.light_ambient);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
}

void submit_arrays(const Mesh& mesh, bool shaders, const float* texcoords) {
  const bool skinned = mesh.weights != nullptr;
  const bool gpu_skin = shaders && skinned;
  const bool units = shaders && g_gl.ClientActiveTexture;
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, gpu_skin ? mesh.bind_positions : mesh.positions);
  glNormalPointer(GL_FLOAT, 0, gpu_skin ? mesh.bind_normals : mesh.normals);
  if (g_gl.ClientActiveTexture) g_gl.ClientActiveTexture(GL_TEXTURE0_ARB);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glTexCoordPointer(2, GL_FLOAT, 0, texcoords);
  if (units) {
    g_gl.ClientActiveTexture(GL_TEXTURE1_ARB);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(3, GL_FLOAT, 0, gpu_skin ? mesh.bind_tangents : mesh.tangents);
    if (skinned) {
      g_gl.ClientActiveTexture(GL_TEXTURE2_ARB);
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
      glTexCoordPointer(4, GL_FLOAT, 0, mesh.weights);
      g_gl.ClientActiveTexture(GL_TEXTURE3_ARB);
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
      glTexCoordPointer(4, GL_INT, 0, mesh.bone_indices);
    }
  }
  glDrawElements(GL_TRIANGLES, mesh.triangle_count * 3, GL_UNSIGNED_INT, mesh.triangles);
  if (units) {
    for (GLenum unit : {GL_TEXTURE3_ARB, GL_TEXTURE2_ARB, GL_TEXTURE1_ARB}) {
      g_gl.ClientActiveTexture(unit);
      glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    g_gl.ClientActiveTexture(GL_TEXTURE0_ARB);
  }
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

void submit_immediate(const Mesh& mesh, bool shaders, const float* texcoords) {
  const bool skinned = mesh.weights != nullptr;
  const bool gpu_skin = shaders && skinned;
  const bool units =
      shaders && g_gl.MultiTexCoord3fv && g_gl.MultiTexCoord4fv && g_gl.MultiTexCoord4iv;
  const float* positions = gpu_skin ? mesh.bind_positions : mesh.positions;
  const float* normals = gpu_skin ? mesh.bind_normals : mesh.normals;
  const float* tangents = gpu_skin ? mesh.bind_tangents : mesh.tangents;
  glBegin(GL_TRIANGLES);
  for (int i = 0; i < mesh.triangle_count * 3; ++i) {
    const int v = mesh.triangles[i];
    if (units) {
      g_gl.MultiTexCoord3fv(GL_TEXTURE1_ARB, tangents + v * 3);
      if (skinned) {
        g_gl.MultiTexCoord4fv(GL_TEXTURE2_ARB, mesh.weights + v * 4);
        g_gl.MultiTexCoord4iv(GL_TEXTURE3_ARB, mesh.bone_indices + v * 4);
      }
    }
    glNormal3fv(normals + v * 3);
    glTexCoord2fv(texcoords + v * 2);
    glVertex3fv(positions + v * 3);
  }
  glEnd();
}

// `texcoords` other than the mesh's own (the reflection pass) rule out its display list.
void draw_mesh(const Mesh& mesh, bool shaders, const float* texcoords) {
  if (mesh.display_list && texcoords == mesh.texcoords) {
    glCallList(mesh.display_list);
  } else if (!g_render_settings.vertex_arrays) {
    submit_immediate(mesh, shaders, texcoords);
  } else {
    submit_arrays(mesh, shaders, texcoords);
  }
  g_draw_counters.model_polygons += mesh.triangle_count;
  g_draw_counters.vertices += mesh.vertex_count;
}

void pose_model(Model* model, const BonePose* pose, bool shaders) {
  if (shaders) {
    if (pose) {
      set_bone_pose(pose->count, pose->centres, pose->translations, pose->rotations);
    } else {
      set_bone_pose(0, nullptr, nullptr, nullptr);
    }
  } else if (pose && model->bone_count > 0) {
    skin_on_cpu(model, *pose);
  }
}

// The angular environment map's coordinates of every vertex, seen from `eye` (model space).
void environment_coordinates(Mesh& mesh, const float eye[3], const float env[9]) {
  for (int v = 0; v < mesh.vertex_count; ++v) {
    const float* p = mesh.positions + v * 3;
    float n[3] = {mesh.normals[v * 3], mesh.normals[v * 3 + 1], mesh.normals[v * 3 + 2]};
    const float nl = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (nl > 0.0f) {
      for (float& x : n) x /= nl;
    }
    const float view[3] = {p[0] - eye[0], p[1] - eye[1], p[2] - eye[2]};
    const float vn = view[0] * n[0] + view[1] * n[1] + view[2] * n[2];
    const float r[3] = {view[0] - 2 * vn * n[0], view[1] - 2 * vn * n[1], view[2] - 2 * vn * n[2]};
    float m[3];
    for (int row = 0; row < 3; ++row) {
      m[row] = env[row * 3] * r[0] + env[row * 3 + 1] * r[1] + env[row * 3 + 2] * r[2];
    }
    const float ml = std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]);
    float pole = ml > 0.0f ? m[1] / ml : 1.0f;
    pole = pole < -1.0f ? -1.0f : (pole > 1.0f ? 1.0f : pole);
    const float hl = std::sqrt(m[0] * m[0] + m[2] * m[2]);
    const float hx = hl > 0.0f ? m[0] / hl : 0.0f, hz = hl > 0.0f ? m[2] / hl : 0.0f;
    const float radius = std::acos(pole) * kInvTwoPi;
    mesh.env_texcoords[v * 2] = 0.5f + radius * hx;
    mesh.env_texcoords[v * 2 + 1] = 0.5f + radius * hz;
  }
}

}  // namespace

void submit_mesh_immediate(const Mesh& mesh, bool shaders) {
  submit_immediate(mesh, shaders, mesh.texcoords);
}

void draw_model(Model* model, const BonePose* pose) {
  if (!model) return;
  const bool shaders = shaders_active() && current_program() != kProgramFixed;
  pose_model(model, pose, shaders);
  for (const Mesh* mesh = model->meshes; mesh; mesh = mesh->next) {
    // Reflective meshes close the file; the reflection pass draws them.
    if (mesh->exponent == -1.0f) break;
    SavedLight saved;
    begin_material(*mesh, saved);
    draw_mesh(*mesh, shaders, mesh->texcoords);
    end_material(*mesh, saved);
  }
}

void draw_model_reflection(Model* model, const BonePose* pose, const float env[9]) {
  if (!model || !model->has_reflective) return;
  // The model-view's rotation R and translation t: the eye sits at -R^T t in model space,
  // and the programs, working in eye space, need env * R^T. No scaling is expected.
  float mv[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, mv);
  const float r[9] = {mv[0], mv[4], mv[8], mv[1], mv[5], mv[9], mv[2], mv[6], mv[10]};
  const bool shaders = shaders_active();
  const int previous = current_program();
  GLboolean lighting = glIsEnabled(GL_LIGHTING);
  glDisable(GL_LIGHTING);
  if (shaders) {
    float eye_env[9];
    for (int row = 0; row < 3; ++row) {
      for (int col = 0; col < 3; ++col) {
        // (env * R^T)[row][col] = sum_k env[row][k] * R[col][k]
        eye_env[row * 3 + col] = env[row * 3] * r[col * 3] + env[row * 3 + 1] * r[col * 3 + 1] +
                                 env[row * 3 + 2] * r[col * 3 + 2];
      }
    }
    set_env_matrix(eye_env);
    // A model drawn with its normal map keeps it (unit 1) for the reflection too.
    const bool mapped = previous == kProgramNormLit || previous == kProgramNormSpecLit;
    use_program(mapped ? kProgramNormEnv : kProgramEnv);
  }
  pose_model(model, pose, shaders);
  float eye[3] = {0, 0, 0};
  if (!shaders) {
    for (int k = 0; k < 3; ++k) {
      eye[k] = -(r[k] * mv[12] + r[3 + k] * mv[13] + r[6 + k] * mv[14]);
    }
  }
  for (Mesh* mesh = model->meshes; mesh; mesh = mesh->next) {
    if (mesh->exponent != -1.0f) continue;
    const float a = mesh->colour[3];
    glColor4f(a * mesh->colour[0], a * mesh->colour[1], a * mesh->colour[2], 1.0f);
    if (shaders) {
      draw_mesh(*mesh, true, mesh->texcoords);
    } else {
      environment_coordinates(*mesh, eye, env);
      draw_mesh(*mesh, false, mesh->env_texcoords);
    }
  }
  if (shaders) use_program(previous);
  if (lighting) glEnable(GL_LIGHTING);
}

}  // namespace render
