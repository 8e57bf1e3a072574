// render.h -- rendering: GL set-up, shaders, models, terrain, scene, fonts, cameras.
#pragma once

#include <vector>

namespace render {

// View modes of the frame loop.
enum View { kViewRider = 0, kViewEditor = 2, kViewChase = 3, kViewTrackCamera = 4, kViewNoRace = 5 };

// After the window is ready: logs the driver's strings, decides the optional
// features, and sets the initial GL state (flat shading when `flat_shading`).
void gl_startup(bool flat_shading);

// Draws the scene for a view (the whole frame before the HUD and menus).
// `clear_all` clears colour and depth first ("--fugly").
void draw_frame(int view, bool clear_all);

// Reads the drawn frame back as RGB rows, bottom row first.
void read_frame_rgb(int width, int height, std::vector<unsigned char>& rgb);

// Waits until the GL has finished drawing ("--glfinish").
void finish();

}  // namespace render
