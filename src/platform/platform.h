// platform.h -- TAVO, the platform layer: log, messages, fatal errors, options, aliases.
//
// Everything here may be called before anything else has been set up. The log,
// the message ring, the option text, the alias list and the string pool are
// process-wide; only `log` may be called from threads other than the main one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace platform {

// ---------------------------------------------------------------------------
// Log

// Writes one "[h:mm:ss.hh] " stamped entry to the log file, printf-style.
// Special forms:
//  - "TAVO_LOGFILE=name" on the very first call names the log file (the
//    environment variable TAVO_LOGFILE wins over it) and writes nothing itself;
//    on a later call it is an ordinary entry;
//  - "\x13FLUSH" / "\x13NOFLUSH" turn flushing after every entry on / off.
void log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Issues the naming directive "TAVO_LOGFILE=" + name without putting the name
// through printf formatting (a path may hold "%").
void log_directive(const char* name);

// Closes the log; nothing is written after this (the log never reopens).
void log_close();

// Sends the log control 0x13 followed by `word` ("FLUSH" or "NOFLUSH").
void log_control(const char* word);

// Writes the stamp for an uptime in milliseconds, "[%d:%02d:%02d.%02d] ".
void format_log_stamp(char* out, std::size_t size, std::uint64_t uptime_ms);

// Milliseconds since an arbitrary fixed moment (the system's monotonic clock).
std::uint64_t uptime_ms();

// Logs "Error: %s\n" and keeps the text as the last platform error.
void platform_error(const char* text);
const char* last_platform_error();

// ---------------------------------------------------------------------------
// Messages: the log plus the ring of recent lines the HUD shows.

constexpr int kMessageSlots = 1000;
constexpr int kMessageBytes = 128;  // 127 characters and the terminator

// Logs the text and puts it (cut to 127 characters) in the on-screen ring.
void message(const char* text);
// printf-style convenience over `message`.
void messagef(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The game clock the ring's hide times are measured on, in seconds. The main
// loop sets it every frame before calling `messages_update`.
void set_game_time(double seconds);
double game_time();

// Once per frame: drops the oldest visible line when its hide time is past.
void messages_update();

// Clears the ring (start-up step 2; tests).
void messages_clear();

// The configured maximum of visible lines (`message_lines`, default 5).
void set_message_lines(int count);
int message_lines();

// How many lines the HUD shows now, and line i of them (0 = oldest).
int visible_message_count();
const char* visible_message(int i);

// ---------------------------------------------------------------------------
// Fatal errors and memory

// Shows a modal box with an OK button; without a display the title and text
// go to standard error. At most 1023 characters of text.
void fatal_box(const char* title, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The out-of-memory sequence: closes audio and window, shows "Error" /
// "Out of virtual memory", exits with status 1.
[[noreturn]] void fatal_out_of_memory();

// Closers the fatal sequence calls when an audio device or a window with an
// OpenGL context is open. Their owners set them on open and clear them
// (nullptr) on close.
using Closer = void (*)();
void set_fatal_audio_closer(Closer closer);
void set_fatal_window_closer(Closer closer);

// Replaces the box shown by `fatal_box` (tests); nullptr restores SDL's box.
using BoxHandler = void (*)(const char* title, const char* text);
void set_fatal_box_handler(BoxHandler handler);

// Allocates or dies through the fatal sequence. Never returns nullptr.
void* xmalloc(std::size_t size);

// The one pooled copy of a string equal to `text` (pointers compare equal).
const char* intern(const char* text);

// ---------------------------------------------------------------------------
// Platform options from TAVO_OPTIONS, such as "[sound-rate:44100][threaded:yes]".

int option_bool(const char* name, int default_value);
int option_int(const char* name, int default_value);

// Reads TAVO_OPTIONS again (tests; the text is otherwise read once).
void options_reload();

// ---------------------------------------------------------------------------
// Aliases for input control names ("mouse-x" -> "Mouse.axis[0]").

// Returns 1 on success, 0 when the alias already resolves elsewhere.
int alias_add(const char* alias, const char* target);
// The alias's target, or the name itself.
const char* alias_resolve(const char* name);
// Registers the default aliases of the input back-ends.
void alias_add_defaults();

// ---------------------------------------------------------------------------
// Start-up helpers

// Reference digests of the released game data, compiled into the executable.
struct BuildDigests {
  const char* game_data_sha1;    // first MiB of zzzz.saf, 40 hex digits
  const char* stock_shapes_sha1; // the seven stock .shp files concatenated
};

// Names "lastlog.txt" in the per-user folder as the log and checks every
// search directory for a zzzz.saf whose first MiB has the given digest.
// Returns 1 when the game data is present, else 0.
int open_startup_log_and_check_data(const char* game_data_sha1);

// Logs the working-set range a race would like; called at every race set-up.
void set_working_set();

// True when the processor reports MMX.
bool cpu_has_mmx();

// ---------------------------------------------------------------------------
// Window, input and audio devices (SDL underneath)

struct DisplayMode {
  int width = 0;
  int height = 0;
  int bits_per_pixel = 0;
};

// The display modes, the desktop's first, without duplicates.
std::vector<DisplayMode> display_modes();

// Opens the window with an OpenGL context. Width and height 0 full screen
// leave the mode to the desktop. False when no window could be made.
bool create_window(const char* title, int width, int height, int colour_bits, int depth_bits,
                   bool fullscreen);
// Pumps the window's events; true once it can be drawn into.
bool window_ready();
void close_window();

// Registers an input control (a key, mouse or controller name, or an alias)
// so that its events are queued.
void register_control(const char* name);

// Opens the audio output for the game's mixer; false without a device.
bool open_audio_output();
// Opens the device that renders each tick's samples on demand for
// --record-audio, at `rate` sample values per second.
bool open_recording_audio(int rate, int values_per_tick);
void close_audio();

// ---------------------------------------------------------------------------
// Shared helpers

// SHA-1 (Nettle underneath).
struct Sha1 {
  alignas(8) unsigned char state[128];
};
// (Named apart from Nettle's own sha1_* macros.)
void sha1_begin(Sha1& s);
void sha1_add(Sha1& s, const void* data, std::size_t size);
// 20 raw bytes.
void sha1_finish(Sha1& s, unsigned char out[20]);
// 40 lower-case hex digits and a terminator.
void sha1_finish_hex(Sha1& s, char out[41]);
// Parses 40 hex digits into 20 bytes; false when it is not such a text.
bool sha1_parse_hex(const char* hex, unsigned char out[20]);

// The race's random generator: the published Mersenne Twister; its 32-bit
// output is the `r` of the race's random choices.
using Mt19937 = std::mt19937;

}  // namespace platform
