// gl_caps.cpp -- the capability probe: extension flags, driver strings and entry points.
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "data/data.h"
#include "platform/platform.h"
#include "render/render.h"
#include "render/render_internal.h"

namespace render {

GlCaps g_gl_caps;
GlProcs g_gl;
RenderSettings g_render_settings;

namespace {

template <typename Proc>
void fetch(Proc& proc, const char* name) {
  proc = reinterpret_cast<Proc>(SDL_GL_GetProcAddress(name));
}

std::string driver_string(GLenum name) {
  const GLubyte* text = glGetString(name);
  return text ? reinterpret_cast<const char*>(text) : "NULL";
}

}  // namespace

bool has_extension(const char* extensions, const char* name) {
  if (!extensions || !name || !*name) return false;
  const std::size_t length = std::strlen(name);
  for (const char* at = std::strstr(extensions, name); at; at = std::strstr(at + 1, name)) {
    const bool starts = at == extensions || at[-1] == ' ';
    const bool ends = at[length] == '\0' || at[length] == ' ';
    if (starts && ends) return true;
  }
  return false;
}

bool have_shader_procs() {
  return g_gl.CreateShaderObject && g_gl.ShaderSource && g_gl.CompileShader &&
         g_gl.GetObjectParameteriv && g_gl.GetInfoLog && g_gl.CreateProgramObject &&
         g_gl.AttachObject && g_gl.DetachObject && g_gl.LinkProgram && g_gl.UseProgramObject &&
         g_gl.DeleteObject && g_gl.GetUniformLocation && g_gl.Uniform1i && g_gl.Uniform3fv &&
         g_gl.UniformMatrix3fv;
}

void probe_capabilities() {
  GlCaps& caps = g_gl_caps;
  caps = {};
  caps.vendor = driver_string(GL_VENDOR);
  caps.renderer = driver_string(GL_RENDERER);
  caps.version = driver_string(GL_VERSION);
  caps.extensions = driver_string(GL_EXTENSIONS);
  const char* extensions = caps.extensions.c_str();
  caps.generate_mipmap = has_extension(extensions, "GL_SGIS_generate_mipmap");
  caps.framebuffer_object = has_extension(extensions, "GL_EXT_framebuffer_object");
  caps.multitexture = has_extension(extensions, "GL_ARB_multitexture");
  caps.fragment_shader = has_extension(extensions, "GL_ARB_fragment_shader");
  caps.vertex_shader = has_extension(extensions, "GL_ARB_vertex_shader");
  if (std::sscanf(caps.version.c_str(), "%d.%d", &caps.version_major, &caps.version_minor) != 2) {
    caps.version_major = caps.version_minor = 0;
  }

  g_gl = {};
  if (caps.version_major > 1 || (caps.version_major == 1 && caps.version_minor >= 4)) {
    fetch(g_gl.BlendColor, "glBlendColor");
  }
  if (caps.multitexture) {
    GLint units = 1;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &units);
    caps.texture_units = units;
    platform::log("%d texture units\n", units);
    fetch(g_gl.ActiveTexture, "glActiveTextureARB");
    fetch(g_gl.ClientActiveTexture, "glClientActiveTextureARB");
    fetch(g_gl.MultiTexCoord3fv, "glMultiTexCoord3fvARB");
    fetch(g_gl.MultiTexCoord4fv, "glMultiTexCoord4fvARB");
    fetch(g_gl.MultiTexCoord4iv, "glMultiTexCoord4ivARB");
  }
  if (caps.framebuffer_object) {
    fetch(g_gl.GenFramebuffers, "glGenFramebuffersEXT");
    fetch(g_gl.DeleteFramebuffers, "glDeleteFramebuffersEXT");
    fetch(g_gl.BindFramebuffer, "glBindFramebufferEXT");
    fetch(g_gl.FramebufferTexture2D, "glFramebufferTexture2DEXT");
    fetch(g_gl.CheckFramebufferStatus, "glCheckFramebufferStatusEXT");
    fetch(g_gl.GenerateMipmap, "glGenerateMipmapEXT");
  }
  if (caps.vertex_shader && caps.fragment_shader) {
    fetch(g_gl.CreateShaderObject, "glCreateShaderObjectARB");
    fetch(g_gl.ShaderSource, "glShaderSourceARB");
    fetch(g_gl.CompileShader, "glCompileShaderARB");
    fetch(g_gl.GetObjectParameteriv, "glGetObjectParameterivARB");
    fetch(g_gl.GetInfoLog, "glGetInfoLogARB");
    fetch(g_gl.CreateProgramObject, "glCreateProgramObjectARB");
    fetch(g_gl.AttachObject, "glAttachObjectARB");
    fetch(g_gl.DetachObject, "glDetachObjectARB");
    fetch(g_gl.LinkProgram, "glLinkProgramARB");
    fetch(g_gl.UseProgramObject, "glUseProgramObjectARB");
    fetch(g_gl.DeleteObject, "glDeleteObjectARB");
    fetch(g_gl.GetUniformLocation, "glGetUniformLocationARB");
    fetch(g_gl.Uniform1i, "glUniform1iARB");
    fetch(g_gl.Uniform3fv, "glUniform3fvARB");
    fetch(g_gl.UniformMatrix3fv, "glUniformMatrix3fvARB");
  }
  data::g_texture_settings.has_compression =
      has_extension(extensions, "GL_ARB_texture_compression");
  data::g_texture_settings.has_clamp_to_edge =
      caps.version_major > 1 || (caps.version_major == 1 && caps.version_minor >= 2);
  caps.probed = true;
}

}  // namespace render
