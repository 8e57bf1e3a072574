// fatal.cpp -- message boxes, the out-of-memory sequence, xmalloc and the string pool.
#include <SDL.h>  // SDL_ShowSimpleMessageBox

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/platform.h"

namespace platform {

namespace {

Closer g_audio_closer = nullptr;
Closer g_window_closer = nullptr;
BoxHandler g_box_handler = nullptr;

// The string pool: unique immutable strings, searched in insertion order.
struct StringPool {
  const char** strings = nullptr;
  std::size_t count = 0;
  std::size_t capacity = 0;
};

StringPool g_pool;

}  // namespace

void set_fatal_audio_closer(Closer closer) { g_audio_closer = closer; }
void set_fatal_window_closer(Closer closer) { g_window_closer = closer; }
void set_fatal_box_handler(BoxHandler handler) { g_box_handler = handler; }

void fatal_box(const char* title, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);

  if (g_box_handler) {
    g_box_handler(title, text);
    return;
  }
  // Without a display SDL cannot show the box; the player still needs to see
  // why the program stopped.
  if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr) != 0) {
    const std::size_t length = std::strlen(text);
    std::fprintf(stderr, "%s: %s%s", title, text, length && text[length - 1] == '\n' ? "" : "\n");
    std::fflush(stderr);
  }
}

void fatal_out_of_memory() {
  // Clear each closer before calling it, so that a closer that itself runs
  // out of memory cannot loop back here forever.
  if (Closer audio = g_audio_closer) {
    g_audio_closer = nullptr;
    audio();
  }
  if (Closer window = g_window_closer) {
    g_window_closer = nullptr;
    log("Deleting OpenGL context\n");
    window();
  }
  fatal_box("Error", "Out of virtual memory");
  std::exit(1);
}

void install_out_of_memory_handler() { std::set_new_handler(fatal_out_of_memory); }

void* xmalloc(std::size_t size) {
  // malloc(0) may legally return nullptr; that is not exhaustion.
  void* block = std::malloc(size ? size : 1);
  if (!block) fatal_out_of_memory();
  return block;
}

const char* intern(const char* text) {
  if (!g_pool.strings) {
    g_pool.strings = static_cast<const char**>(std::malloc(16 * sizeof(const char*)));
    g_pool.capacity = g_pool.strings ? 16 : 0;
  }
  for (std::size_t i = 0; i < g_pool.count; ++i) {
    if (std::strcmp(g_pool.strings[i], text) == 0) return g_pool.strings[i];
  }
  const std::size_t length = std::strlen(text) + 1;
  char* copy = static_cast<char*>(xmalloc(length));
  std::memcpy(copy, text, length);
  if (g_pool.count == g_pool.capacity) {
    const std::size_t grown = g_pool.capacity ? g_pool.capacity * 2 : 16;
    void* bigger = std::realloc(g_pool.strings, grown * sizeof(const char*));
    // A pool that cannot grow still hands out a valid copy, just unpooled.
    if (!bigger) return copy;
    g_pool.strings = static_cast<const char**>(bigger);
    g_pool.capacity = grown;
  }
  g_pool.strings[g_pool.count++] = copy;
  return copy;
}

}  // namespace platform
