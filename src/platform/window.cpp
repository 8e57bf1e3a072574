// window.cpp -- the game window and its OpenGL context, on SDL2; the display modes.
#include <SDL.h>

#include <mutex>
#include <vector>

#include "platform/input_internal.h"
#include "platform/platform.h"
#include "platform/window_internal.h"

namespace platform {

namespace {

struct Window {
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;
  std::mutex mutex;  // guards the size fields
  int width = 0;
  int height = 0;
  bool fullscreen = false;
};

Window g_window;

struct ModeList {
  bool built = false;
  std::vector<DisplayMode> modes;
  DisplayMode desktop{640, 480, 32};  // when the desktop cannot be read
};

ModeList g_modes;

bool video_up() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
  return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
}

bool usable_depth(int bits) {
  return bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

void build_modes() {
  if (g_modes.built) return;
  g_modes.built = true;
  if (!video_up()) return;
  SDL_DisplayMode desktop{};
  if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
    const int bits = static_cast<int>(SDL_BITSPERPIXEL(desktop.format));
    g_modes.desktop = DisplayMode{desktop.w, desktop.h, bits};
    const bool usable = usable_depth(bits);
    log("Registry mode is %dx%dx%d@%dhz%s\n", desktop.w, desktop.h, bits, desktop.refresh_rate,
        usable ? "" : " (ignored)");
    if (usable) g_modes.modes.push_back(g_modes.desktop);
  }
  const int count = SDL_GetNumDisplayModes(0);
  for (int i = 0; i < count; ++i) {
    SDL_DisplayMode mode{};
    if (SDL_GetDisplayMode(0, i, &mode) != 0) continue;
    const int bits = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
    const bool usable = usable_depth(bits);
    log("Found mode %dx%dx%d@%dhz%s\n", mode.w, mode.h, bits, mode.refresh_rate,
        usable ? "" : " (ignored)");
    if (!usable) continue;
    bool duplicate = false;
    for (const DisplayMode& known : g_modes.modes) {
      duplicate = duplicate ||
                  (known.width == mode.w && known.height == mode.h && known.bits_per_pixel == bits);
    }
    if (!duplicate) g_modes.modes.push_back(DisplayMode{mode.w, mode.h, bits});
  }
}

// SIGINT and SIGTERM reach the game as SDL_QUIT (SDL's own signal handlers),
// which the pump turns into a close request, so they end the program through
// its normal shutdown.
void make_gl_attributes(int colour_bits, int depth_bits) {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth_bits > 0 ? depth_bits : 16);
  const int channel = colour_bits >= 24 ? 8 : colour_bits >= 15 ? 5 : 4;
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channel);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, channel);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channel);
}

void destroy_context() {
  if (g_window.context) SDL_GL_DeleteContext(g_window.context);
  if (g_window.window) SDL_DestroyWindow(g_window.window);
  g_window.context = nullptr;
  g_window.window = nullptr;
}

// The out-of-memory sequence closes the window without anything else.
void fatal_close_window() { destroy_context(); }

}  // namespace

std::vector<DisplayMode> display_modes() {
  build_modes();
  return g_modes.modes;
}

DisplayMode choose_fullscreen_mode(const std::vector<DisplayMode>& modes, DisplayMode desktop,
                                   int width, int height) {
  const DisplayMode* best = nullptr;
  for (const DisplayMode& mode : modes) {
    if (mode.width < width || mode.height < height) continue;
    const int spare = mode.width + mode.height - width - height;
    if (!best || spare < best->width + best->height - width - height) best = &mode;
  }
  DisplayMode chosen = best ? *best : desktop;
  chosen.bits_per_pixel = desktop.bits_per_pixel;  // only the size ever changes
  return chosen;
}

bool create_window(const char* title, int width, int height, int colour_bits, int depth_bits,
                   bool fullscreen) {
  log("Creating window\n");
  const int threaded = option_bool("threaded", 0);
  fullscreen = fullscreen || option_bool("fullscreen", 0);
  log("Options:\n");
  log("%10s [%s]\n", "threaded:", threaded ? "on" : "off");
  build_modes();
  if (!video_up()) {
    log("Can't create window!\n");
    platform_error(SDL_GetError());
    return false;
  }
  make_gl_attributes(colour_bits, depth_bits);
  // Load the GL library for the life of the program: SDL would otherwise
  // unload it with the last window, and the driver's own leftovers would then
  // show up in leak checks with no library to name.
  static const bool gl_loaded = SDL_GL_LoadLibrary(nullptr) == 0;
  (void)gl_loaded;

  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE;
  const DisplayMode desktop = g_modes.desktop;
  DisplayMode size{width > 0 ? width : desktop.width, height > 0 ? height : desktop.height, 0};
  bool change_mode = false;
  if (fullscreen) {
    size = (width > 0 && height > 0) ? choose_fullscreen_mode(g_modes.modes, desktop, width, height)
                                     : desktop;
    // The desktop's own size needs no mode change.
    change_mode = size.width != desktop.width || size.height != desktop.height;
    flags =
        SDL_WINDOW_OPENGL | (change_mode ? SDL_WINDOW_FULLSCREEN : SDL_WINDOW_FULLSCREEN_DESKTOP);
  }
  g_window.window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                     size.width, size.height, flags);
  if (!g_window.window) {
    log("Can't create window!\n");
    platform_error(SDL_GetError());
    return false;
  }
  if (change_mode) {
    SDL_DisplayMode mode{};
    SDL_GetDesktopDisplayMode(0, &mode);
    mode.w = size.width;
    mode.h = size.height;
    SDL_SetWindowDisplayMode(g_window.window, &mode);
  }
  g_window.context = SDL_GL_CreateContext(g_window.window);
  if (!g_window.context) {
    log("Can't create DC\n");
    platform_error(SDL_GetError());
    destroy_context();
    return false;
  }
  set_fatal_window_closer(fatal_close_window);
  g_window.fullscreen = fullscreen;
  {
    std::lock_guard<std::mutex> lock(g_window.mutex);
    SDL_GL_GetDrawableSize(g_window.window, &g_window.width, &g_window.height);
  }
  // Window managers decide who may take the foreground; raising is all a
  // program can ask for here.
  SDL_RaiseWindow(g_window.window);
  log("Foregrounded and locked\n");
  SDL_StartTextInput();

  alias_add("cursor-left", "Mouse Left");
  alias_add("cursor-middle", "Mouse Middle");
  alias_add("cursor-right", "Mouse Right");
  input_devices_open();
  return true;
}

bool window_ready() {
  pump_events();
  if (!g_window.window) return false;
  const Uint32 flags = SDL_GetWindowFlags(g_window.window);
  return (flags & SDL_WINDOW_SHOWN) != 0;
}

void window_size(int* width, int* height) {
  std::lock_guard<std::mutex> lock(g_window.mutex);
  *width = g_window.width;
  *height = g_window.height;
}

void swap_window() {
  if (g_window.window) SDL_GL_SwapWindow(g_window.window);
}

void window_handle_event(const void* sdl_event) {
  const SDL_Event& event = *static_cast<const SDL_Event*>(sdl_event);
  if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED && g_window.window) {
    std::lock_guard<std::mutex> lock(g_window.mutex);
    SDL_GL_GetDrawableSize(g_window.window, &g_window.width, &g_window.height);
    log("WM_SIZE message %dx%d\n", g_window.width, g_window.height);
  }
}

void cursor_position(int* x, int* y) {
  *x = 0;
  *y = 0;
  if (g_window.window) SDL_GetMouseState(x, y);
}

bool set_window_mode(int width, int height, bool fullscreen) {
  if (!g_window.window) return false;
  const DisplayMode desktop = g_modes.desktop;
  bool ok = true;
  if (fullscreen) {
    const DisplayMode size = (width > 0 && height > 0)
                                 ? choose_fullscreen_mode(g_modes.modes, desktop, width, height)
                                 : desktop;
    const bool change_mode = size.width != desktop.width || size.height != desktop.height;
    if (change_mode) {
      SDL_DisplayMode mode{};
      SDL_GetDesktopDisplayMode(0, &mode);
      mode.w = size.width;
      mode.h = size.height;
      SDL_SetWindowDisplayMode(g_window.window, &mode);
    }
    ok = SDL_SetWindowFullscreen(g_window.window, change_mode ? SDL_WINDOW_FULLSCREEN
                                                              : SDL_WINDOW_FULLSCREEN_DESKTOP) == 0;
  } else {
    ok = SDL_SetWindowFullscreen(g_window.window, 0) == 0;
    if (ok && width > 0 && height > 0) SDL_SetWindowSize(g_window.window, width, height);
  }
  if (!ok) {
    platform_error(SDL_GetError());
    return false;
  }
  g_window.fullscreen = fullscreen;
  std::lock_guard<std::mutex> lock(g_window.mutex);
  SDL_GL_GetDrawableSize(g_window.window, &g_window.width, &g_window.height);
  return true;
}

void close_window() {
  if (!g_window.window) return;
  log("Destroying window\n");
  set_fatal_window_closer(nullptr);
  SDL_StopTextInput();
  destroy_context();
  log("Closing input devices\n");
  input_devices_close();
  log("Window shutdown complete\n");
}

}  // namespace platform
