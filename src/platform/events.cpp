// events.cpp -- the time-ordered input event queue and the SDL event pump that fills it.
#include <SDL.h>

#include <mutex>
#include <utility>

#include "platform/input_internal.h"
#include "platform/platform.h"
#include "platform/window_internal.h"

namespace platform {

namespace {

// A ring of events kept in time-stamp order.
struct EventQueue {
  std::mutex mutex;
  Event ring[kEventQueueSize];
  int read = 0;
  int count = 0;
};

EventQueue g_queue;

bool later(const Event& a, const Event& b) {
  return a.seconds != b.seconds ? a.seconds > b.seconds : a.microseconds > b.microseconds;
}

Event stamped(unsigned code, int pressed, Uint32 ms) {
  Event event;
  event.code = code;
  event.pressed = pressed;
  event.seconds = ms / 1000;
  event.microseconds = (ms % 1000) * 1000;
  return event;
}

// Typed characters for the keys that produce control characters, which SDL
// leaves out of its text events.
int control_character(SDL_Scancode scancode) {
  switch (scancode) {
    case SDL_SCANCODE_BACKSPACE:
      return 8;
    case SDL_SCANCODE_TAB:
      return 9;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER:
      return 13;
    case SDL_SCANCODE_ESCAPE:
      return 27;
    default:
      return -1;
  }
}

// Queues the characters of a UTF-8 text that fit in one byte (Latin-1).
void queue_text(const char* text, Uint32 ms) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    unsigned codepoint = *p++;
    if (codepoint >= 0xc0 && codepoint < 0xe0 && (*p & 0xc0) == 0x80) {
      codepoint = ((codepoint & 0x1f) << 6) | (*p++ & 0x3f);
    } else if (codepoint >= 0x80) {
      while ((*p & 0xc0) == 0x80) ++p;  // a longer sequence: not a one-byte character
      continue;
    }
    if (codepoint < 256) queue_event(stamped(codepoint, 1, ms));
  }
}

void translate(const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT:
      queue_event(stamped(kCloseRequest, 1, event.quit.timestamp));
      break;
    case SDL_WINDOWEVENT:
      window_handle_event(&event);
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
        queue_event(stamped(kCloseRequest, 1, event.window.timestamp));
      }
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const int pressed = event.type == SDL_KEYDOWN ? 1 : 0;
      const int scan_code = set1_code_for_scancode(event.key.keysym.scancode);
      if (scan_code > 0) {
        queue_event(
            stamped(kKeyBase + static_cast<unsigned>(scan_code), pressed, event.key.timestamp));
      }
      const int character = control_character(event.key.keysym.scancode);
      if (pressed && character >= 0) {
        queue_event(stamped(static_cast<unsigned>(character), 1, event.key.timestamp));
      }
      break;
    }
    case SDL_TEXTINPUT:
      queue_text(event.text.text, event.text.timestamp);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const int pressed = event.type == SDL_MOUSEBUTTONDOWN ? 1 : 0;
      unsigned code = 0;
      if (event.button.button == SDL_BUTTON_LEFT)
        code = kMouseLeft;
      else if (event.button.button == SDL_BUTTON_MIDDLE)
        code = kMouseMiddle;
      else if (event.button.button == SDL_BUTTON_RIGHT)
        code = kMouseRight;
      if (code) queue_event(stamped(code, pressed, event.button.timestamp));
      break;
    }
    default:
      input_devices_handle(&event);
      break;
  }
}

}  // namespace

std::uint64_t event_clock_ms() { return SDL_GetTicks64(); }

void pump_events() {
  if (!SDL_WasInit(SDL_INIT_EVENTS)) return;
  SDL_Event event;
  while (SDL_PollEvent(&event)) translate(event);
}

void queue_event(const Event& event) {
  std::lock_guard<std::mutex> lock(g_queue.mutex);
  if (g_queue.count == kEventQueueSize) return;
  // Written after the last event, then moved forward past every later one,
  // so late controller events still come out in time order.
  int at = (g_queue.read + g_queue.count) % kEventQueueSize;
  g_queue.ring[at] = event;
  ++g_queue.count;
  for (int i = g_queue.count - 1; i > 0; --i) {
    const int before = (at + kEventQueueSize - 1) % kEventQueueSize;
    if (!later(g_queue.ring[before], g_queue.ring[at])) break;
    std::swap(g_queue.ring[before], g_queue.ring[at]);
    at = before;
  }
}

bool next_event(Event* event) {
  pump_events();
  std::lock_guard<std::mutex> lock(g_queue.mutex);
  if (g_queue.count == 0) return false;
  *event = g_queue.ring[g_queue.read];
  g_queue.read = (g_queue.read + 1) % kEventQueueSize;
  --g_queue.count;
  return true;
}

bool next_event_until(Event* event, unsigned seconds, unsigned microseconds) {
  pump_events();
  std::lock_guard<std::mutex> lock(g_queue.mutex);
  if (g_queue.count == 0) return false;
  const Event& front = g_queue.ring[g_queue.read];
  Event limit;
  limit.seconds = seconds;
  limit.microseconds = microseconds;
  if (later(front, limit)) return false;
  *event = front;
  g_queue.read = (g_queue.read + 1) % kEventQueueSize;
  --g_queue.count;
  return true;
}

void clear_events() {
  std::lock_guard<std::mutex> lock(g_queue.mutex);
  g_queue.read = 0;
  g_queue.count = 0;
}

}  // namespace platform
