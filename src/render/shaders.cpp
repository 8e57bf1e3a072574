// shaders.cpp -- the program table: building, switching, and the bone and environment uniforms.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdlib>

#include "platform/platform.h"
#include "render/render.h"
#include "render/render_internal.h"
#include "render/shader_sources.h"

namespace render {

namespace {

struct ProgramSlotState {
  GLhandleARB program = 0;
  GLhandleARB vertex = 0;
  GLhandleARB fragment = 0;
  // Bone uniform locations; -1 until first looked up.
  GLint nbones = -1, bone_c = -1, bone_t = -1, bone_r = -1;
  bool bones_looked_up = false;
};

struct Programs {
  ProgramSlotState slots[kProgramSlots];
  bool built = false;
  int current = 0;
  int changes = 0;
  GLint envmat[2] = {-1, -1};  // slots 2 and 4
  const char* test_vertex[kProgramSlots] = {};
  const char* test_fragment[kProgramSlots] = {};
};
Programs g_programs;

// Logs an object's info log under `what` when it has one.
void log_info(GLhandleARB object, const char* what, const char* name) {
  GLint length = 0;
  g_gl.GetObjectParameteriv(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
  if (length <= 1) return;
  char* text = static_cast<char*>(platform::xmalloc(static_cast<std::size_t>(length) + 1));
  GLsizei got = 0;
  g_gl.GetInfoLog(object, length, &got, text);
  text[got < length ? got : length] = '\0';
  if (text[0]) platform::log("%s for %s:\n%s\n", what, name, text);
  std::free(text);
}

bool compile(GLhandleARB shader, const char* source, const char* what, const char* name) {
  g_gl.ShaderSource(shader, 1, &source, nullptr);
  g_gl.CompileShader(shader);
  log_info(shader, what, name);
  GLint ok = 0;
  g_gl.GetObjectParameteriv(shader, GL_OBJECT_COMPILE_STATUS_ARB, &ok);
  return ok != 0;
}

bool build_slot(int slot) {
  ProgramSlotState& s = g_programs.slots[slot];
  const ProgramSource& source = kProgramSources[slot];
  const char* vertex = g_programs.test_vertex[slot] ? g_programs.test_vertex[slot] : source.vertex;
  const char* fragment =
      g_programs.test_fragment[slot] ? g_programs.test_fragment[slot] : source.fragment;
  s.vertex = g_gl.CreateShaderObject(GL_VERTEX_SHADER_ARB);
  s.fragment = g_gl.CreateShaderObject(GL_FRAGMENT_SHADER_ARB);
  if (!compile(s.vertex, vertex, "vertex shader status", source.name)) return false;
  if (!compile(s.fragment, fragment, "fragment shader status", source.name)) return false;
  s.program = g_gl.CreateProgramObject();
  g_gl.AttachObject(s.program, s.vertex);
  g_gl.AttachObject(s.program, s.fragment);
  g_gl.LinkProgram(s.program);
  log_info(s.program, "link status", source.name);
  GLint ok = 0;
  g_gl.GetObjectParameteriv(s.program, GL_OBJECT_LINK_STATUS_ARB, &ok);
  return ok != 0;
}

void set_sampler(int slot, const char* name, int unit) {
  const GLint location = g_gl.GetUniformLocation(g_programs.slots[slot].program, name);
  if (location >= 0) g_gl.Uniform1i(location, unit);
}

}  // namespace

bool build_programs() {
  release_programs();
  if (!g_gl_caps.vertex_shader || !g_gl_caps.fragment_shader || !have_shader_procs()) {
    return false;
  }
  for (int slot = 1; slot < kProgramSlots; ++slot) {
    if (!build_slot(slot)) {
      release_programs();
      return false;
    }
  }
  for (int slot = 1; slot < kProgramSlots; ++slot) {
    g_gl.UseProgramObject(g_programs.slots[slot].program);
    set_sampler(slot, "nmap", 1);
    set_sampler(slot, "smap", 2);
    set_sampler(slot, "base", 1);
  }
  g_gl.UseProgramObject(0);
  g_programs.current = 0;
  g_programs.built = true;
  return true;
}

void release_programs() {
  if (have_shader_procs()) {
    if (g_programs.current != 0) g_gl.UseProgramObject(0);
    for (int slot = 1; slot < kProgramSlots; ++slot) {
      ProgramSlotState& s = g_programs.slots[slot];
      if (s.program) {
        if (s.vertex) g_gl.DetachObject(s.program, s.vertex);
        if (s.fragment) g_gl.DetachObject(s.program, s.fragment);
        g_gl.DeleteObject(s.program);
      }
      if (s.vertex) g_gl.DeleteObject(s.vertex);
      if (s.fragment) g_gl.DeleteObject(s.fragment);
    }
  }
  for (ProgramSlotState& s : g_programs.slots) s = {};
  g_programs.envmat[0] = g_programs.envmat[1] = -1;
  g_programs.current = 0;
  g_programs.built = false;
}

bool shaders_active() { return g_programs.built && g_render_settings.use_shaders; }

void use_program(int slot) {
  if (slot < 0 || slot >= kProgramSlots || slot == g_programs.current) return;
  g_programs.current = slot;
  ++g_programs.changes;
  if (have_shader_procs()) g_gl.UseProgramObject(g_programs.slots[slot].program);
}

int current_program() { return g_programs.current; }

unsigned program_of(int slot) {
  if (slot < 1 || slot >= kProgramSlots) return 0;
  return g_programs.slots[slot].program;
}

int shader_changes() { return g_programs.changes; }
void reset_shader_changes() { g_programs.changes = 0; }

void set_env_matrix(const float m[9]) {
  if (!g_programs.built) return;
  const float columns[9] = {m[0], m[3], m[6], m[1], m[4], m[7], m[2], m[5], m[8]};
  const int slots[2] = {kProgramEnv, kProgramNormEnv};
  for (int i = 0; i < 2; ++i) {
    use_program(slots[i]);
    if (g_programs.envmat[i] < 0) {
      g_programs.envmat[i] = g_gl.GetUniformLocation(g_programs.slots[slots[i]].program, "envmat");
    }
    if (g_programs.envmat[i] >= 0)
      g_gl.UniformMatrix3fv(g_programs.envmat[i], 1, GL_FALSE, columns);
  }
  use_program(kProgramFixed);
}

void set_bone_pose(int count, const float* centres, const float* translations,
                   const float* rotations) {
  const int slot = g_programs.current;
  if (slot < 1 || slot >= kProgramSlots || !g_programs.built) return;
  ProgramSlotState& s = g_programs.slots[slot];
  if (!s.bones_looked_up) {
    s.nbones = g_gl.GetUniformLocation(s.program, "nbones");
    s.bone_c = g_gl.GetUniformLocation(s.program, "bone_c");
    s.bone_t = g_gl.GetUniformLocation(s.program, "bone_t");
    s.bone_r = g_gl.GetUniformLocation(s.program, "bone_r");
    s.bones_looked_up = true;
  }
  if (count < 0) count = 0;
  if (count > kMaxBones) count = kMaxBones;
  if (count > 0 && (!centres || !translations || !rotations)) count = 0;
  if (s.nbones >= 0) g_gl.Uniform1i(s.nbones, count);
  if (count == 0) return;
  if (s.bone_c >= 0) g_gl.Uniform3fv(s.bone_c, count, centres);
  if (s.bone_t >= 0) g_gl.Uniform3fv(s.bone_t, count, translations);
  if (s.bone_r >= 0) {
    float columns[kMaxBones * 9];
    for (int b = 0; b < count; ++b) {
      const float* r = rotations + b * 9;
      float* c = columns + b * 9;
      for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) c[col * 3 + row] = r[row * 3 + col];
      }
    }
    g_gl.UniformMatrix3fv(s.bone_r, count, GL_FALSE, columns);
  }
}

void set_program_source_for_test(int slot, const char* vertex, const char* fragment) {
  if (slot < 1 || slot >= kProgramSlots) return;
  g_programs.test_vertex[slot] = vertex;
  g_programs.test_fragment[slot] = fragment;
}

}  // namespace render
