// model_view.cpp -- one model, textured and lit from a fixed three-quarter view (viewer, tests).
#include <GL/gl.h>

#include <cmath>
#include <numbers>

#include "render/render.h"

namespace render {

namespace {

// The centre and radius (ft) of the base meshes' bind pose.
void bounds(const Model* model, float centre[3], float* radius) {
  float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
  for (const Mesh* mesh = model->meshes; mesh; mesh = mesh->next) {
    const float* p = mesh->bind_positions ? mesh->bind_positions : mesh->positions;
    for (int v = 0; v < mesh->vertex_count; ++v) {
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::fmin(lo[k], p[v * 3 + k]);
        hi[k] = std::fmax(hi[k], p[v * 3 + k]);
      }
    }
  }
  float r2 = 0.0f;
  for (int k = 0; k < 3; ++k) {
    if (lo[k] > hi[k]) lo[k] = hi[k] = 0.0f;
    centre[k] = (lo[k] + hi[k]) * 0.5f;
    r2 += (hi[k] - centre[k]) * (hi[k] - centre[k]);
  }
  *radius = r2 > 0.0f ? std::sqrt(r2) : 1.0f;
}

}  // namespace

void draw_model_view(Model* model, unsigned texture, const BonePose* pose, int width, int height) {
  glViewport(0, 0, width, height);
  glClearColor(0.2f, 0.3f, 0.4f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (!model) return;
  float centre[3], radius;
  bounds(model, centre, &radius);
  const double aspect = height > 0 ? static_cast<double>(width) / height : 1.0;
  const double near_plane = radius * 0.1, far_plane = radius * 10.0;
  const double half = near_plane * std::tan(20.0 * (std::numbers::pi / 180));
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(-half * aspect, half * aspect, -half, half, near_plane, far_plane);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  // The light is fixed in eye space: from above, left and behind the viewer.
  const float light_position[4] = {-0.4f, 0.6f, 0.7f, 0.0f};
  const float white[4] = {1, 1, 1, 1};
  const float ambient[4] = {0.3f, 0.3f, 0.3f, 1};
  const float specular[4] = {0.25f, 0.25f, 0.25f, 1};
  const float global_ambient[4] = {0.2f, 0.2f, 0.2f, 1};
  glLightfv(GL_LIGHT0, GL_POSITION, light_position);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global_ambient);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
  // The programs always fog; a density of 0 keeps them equal to the unfogged fixed path.
  glFogf(GL_FOG_DENSITY, 0.0f);
  glDisable(GL_FOG);
  glTranslatef(0.0f, 0.0f, -radius * 2.8f);
  glRotatef(25.0f, 1.0f, 0.0f, 0.0f);
  glRotatef(-35.0f, 0.0f, 1.0f, 0.0f);
  glTranslatef(-centre[0], -centre[1], -centre[2]);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glEnable(GL_NORMALIZE);
  if (texture) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  } else {
    glDisable(GL_TEXTURE_2D);
  }
  const int previous = current_program();
  use_program(shaders_active() ? kProgramLit : kProgramFixed);
  draw_model(model, pose);
  use_program(previous);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);
}

}  // namespace render
