// render_internal.h -- the render folder's own state: GL entry points beyond 1.1.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include "render/render.h"

namespace render {

// Entry points fetched by name after the context exists; nullptr when absent.
struct GlProcs {
  // GL_ARB_multitexture
  PFNGLACTIVETEXTUREARBPROC ActiveTexture = nullptr;
  PFNGLCLIENTACTIVETEXTUREARBPROC ClientActiveTexture = nullptr;
  PFNGLMULTITEXCOORD3FVARBPROC MultiTexCoord3fv = nullptr;
  PFNGLMULTITEXCOORD4FVARBPROC MultiTexCoord4fv = nullptr;
  PFNGLMULTITEXCOORD4IVARBPROC MultiTexCoord4iv = nullptr;
  // GL 1.4 (the ghosts' constant alpha); nullptr on older drivers.
  PFNGLBLENDCOLORPROC BlendColor = nullptr;
  // GL_EXT_framebuffer_object
  PFNGLGENFRAMEBUFFERSEXTPROC GenFramebuffers = nullptr;
  PFNGLDELETEFRAMEBUFFERSEXTPROC DeleteFramebuffers = nullptr;
  PFNGLBINDFRAMEBUFFEREXTPROC BindFramebuffer = nullptr;
  PFNGLFRAMEBUFFERTEXTURE2DEXTPROC FramebufferTexture2D = nullptr;
  PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC CheckFramebufferStatus = nullptr;
  PFNGLGENERATEMIPMAPEXTPROC GenerateMipmap = nullptr;
  // GL_ARB_shader_objects
  PFNGLCREATESHADEROBJECTARBPROC CreateShaderObject = nullptr;
  PFNGLSHADERSOURCEARBPROC ShaderSource = nullptr;
  PFNGLCOMPILESHADERARBPROC CompileShader = nullptr;
  PFNGLGETOBJECTPARAMETERIVARBPROC GetObjectParameteriv = nullptr;
  PFNGLGETINFOLOGARBPROC GetInfoLog = nullptr;
  PFNGLCREATEPROGRAMOBJECTARBPROC CreateProgramObject = nullptr;
  PFNGLATTACHOBJECTARBPROC AttachObject = nullptr;
  PFNGLDETACHOBJECTARBPROC DetachObject = nullptr;
  PFNGLLINKPROGRAMARBPROC LinkProgram = nullptr;
  PFNGLUSEPROGRAMOBJECTARBPROC UseProgramObject = nullptr;
  PFNGLDELETEOBJECTARBPROC DeleteObject = nullptr;
  PFNGLGETUNIFORMLOCATIONARBPROC GetUniformLocation = nullptr;
  PFNGLUNIFORM1IARBPROC Uniform1i = nullptr;
  PFNGLUNIFORM3FVARBPROC Uniform3fv = nullptr;
  PFNGLUNIFORMMATRIX3FVARBPROC UniformMatrix3fv = nullptr;
};
extern GlProcs g_gl;

// Pushes the projection and model-view matrices and sets a projection of window pixels,
// origin bottom left, for drawing over the scene; pop_pixel_projection restores both.
void push_pixel_projection(float width, float height);
void pop_pixel_projection();
// Drawing over the frame in window pixels (the HUD, the menus, the standings), in hud.cpp:
// begin_overlay saves the caller's state and sets the fixed-function, blended, depth-free
// state the overlays draw with; end_overlay brings the caller's back.
void begin_overlay(int width, int height);
void end_overlay();
// A solid rectangle, and a picture over a box (v from the image's top), from the lower left.
void fill_rect(float x, float y, float w, float h, float r, float g, float b, float a);
void draw_picture(unsigned texture, const HudBox& box);

// True when the shader-object entry points all resolved.
bool have_shader_procs();

// A 1 x 1 normal map that leaves normals as they are (128, 128, 255), made on first use.
unsigned flat_normal_map();

struct Mesh;
// Sends a mesh as one triangle batch between glBegin and glEnd (also what display lists
// record). With `shaders`, skinned meshes go in bind pose with their weights and bones.
void submit_mesh_immediate(const Mesh& mesh, bool shaders);

}  // namespace render
