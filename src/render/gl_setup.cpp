// gl_setup.cpp -- the GL capability probe and initial state (to come with the renderer).
#include "render/render.h"

namespace render {

void gl_startup(bool) {}

}  // namespace render
