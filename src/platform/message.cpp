// message.cpp -- game messages: the log plus the ring of lines the HUD shows.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace platform {

namespace {

// How long the newest line stays at least, and how often older lines leave
// after that, in seconds of game time.
constexpr double kFirstHideSeconds = 2.0;
constexpr double kNextHideSeconds = 5.0;

struct MessageRing {
  char lines[kMessageSlots][kMessageBytes] = {};
  int next = 0;     // slot the next message goes to
  int visible = 0;  // most recent lines shown
  int max_visible = 5;
  double hide_time = 0.0;  // game time at which the oldest visible line goes
  double now = 0.0;        // the game clock, set by the main loop
};

MessageRing g_messages;

}  // namespace

void message(const char* text) {
  if (!text) text = "";
  const std::size_t length = std::strlen(text);
  const bool ends_in_newline = length > 0 && text[length - 1] == '\n';
  // A message with colour escapes resets the terminal colour after itself,
  // so a log shown in a terminal does not stay coloured.
  const char* reset = std::strchr(text, '\x1b') ? "\033[0m" : "";
  log(ends_in_newline ? "%s%s" : "%s%s\n", text, reset);

  std::snprintf(g_messages.lines[g_messages.next], kMessageBytes, "%s", text);
  g_messages.next = (g_messages.next + 1) % kMessageSlots;
  if (g_messages.visible < g_messages.max_visible) ++g_messages.visible;
  g_messages.hide_time = g_messages.now + kFirstHideSeconds;
}

void messagef(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  message(text);
}

void set_game_time(double seconds) { g_messages.now = seconds; }

double game_time() { return g_messages.now; }

void messages_update() {
  if (g_messages.now > g_messages.hide_time && g_messages.visible > 0) {
    --g_messages.visible;
    g_messages.hide_time = g_messages.now + kNextHideSeconds;
  }
}

void messages_clear() {
  const int max_visible = g_messages.max_visible;
  const double now = g_messages.now;
  g_messages = MessageRing{};
  g_messages.max_visible = max_visible;
  g_messages.now = now;
}

void set_message_lines(int count) {
  // More lines than the ring holds would show slots twice.
  g_messages.max_visible = count < 0 ? 0 : count > kMessageSlots ? kMessageSlots : count;
  if (g_messages.visible > g_messages.max_visible) g_messages.visible = g_messages.max_visible;
}

int message_lines() { return g_messages.max_visible; }

int visible_message_count() { return g_messages.visible; }

const char* visible_message(int i) {
  if (i < 0 || i >= g_messages.visible) return "";
  // Oldest first: the line `visible - i` slots behind the next slot.
  int slot = g_messages.next - (g_messages.visible - i);
  if (slot < 0) slot += kMessageSlots;
  return g_messages.lines[slot];
}

}  // namespace platform
