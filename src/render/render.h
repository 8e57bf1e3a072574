// render.h -- rendering: GL set-up, shaders, models, terrain, scene, fonts, cameras.
#pragma once

namespace render {

// After the window is ready: probes the GL extensions and logs the driver
// strings, decides the optional features, and sets the initial GL state
// (flat shading when `flat_shading`).
void gl_startup(bool flat_shading);

}  // namespace render
