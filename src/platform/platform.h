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

// Clears the ring (at start-up; tests).
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

// Sends every failed C++ allocation (`new`, and so every container and string) into the
// out-of-memory sequence instead of an uncaught exception. Called once at program entry.
void install_out_of_memory_handler();

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
// Registers the default aliases of the input back-ends: all of them, or the
// mouse and controller ones (the cursor's come with the window).
void alias_add_defaults();
void alias_add_input_defaults();

// ---------------------------------------------------------------------------
// Start-up helpers

// Reference digests of the released game data, compiled into the executable.
struct BuildDigests {
  const char* game_data_sha1;     // first MiB of zzzz.saf, 40 hex digits
  const char* stock_shapes_sha1;  // the seven stock .shp files concatenated
};

// Logs the working-set range a race would like; called at every race set-up.
void set_working_set();

// True when the processor reports MMX.
bool cpu_has_mmx();

// ---------------------------------------------------------------------------
// Window and input events (SDL underneath)
//
// One window with an OpenGL context, and one time-stamped queue of input
// events. Keys, buttons and axes are known by name ("right ctrl",
// "Joystick1.axis[0]"); the queue carries codes:
//   0..255             a typed character (press only)
//   4096 + s           keyboard key with PC/AT set-1 scan code s (extended + 256)
//   8192, 8193, 8194   mouse left, middle, right button
//   57005              close request (window closed, SIGINT, SIGTERM)
//   device id + b      button b of a game controller (ids are multiples of 65536)

constexpr unsigned kKeyBase = 4096;
constexpr unsigned kMouseLeft = 8192;
constexpr unsigned kMouseMiddle = 8193;
constexpr unsigned kMouseRight = 8194;
constexpr unsigned kCloseRequest = 57005;
constexpr int kEventQueueSize = 256;

struct DisplayMode {
  int width = 0;
  int height = 0;
  int bits_per_pixel = 0;
};

// The usable display modes, the desktop's first, without duplicates. Built once.
std::vector<DisplayMode> display_modes();

// The full-screen size for a requested size: the listed mode that fits with
// the least to spare, else the desktop size.
DisplayMode choose_fullscreen_mode(const std::vector<DisplayMode>& modes, DisplayMode desktop,
                                   int width, int height);

// Opens the window with an OpenGL 2.1 compatibility context. Full screen with
// width and height 0 takes the desktop size. False when no window could be made.
bool create_window(const char* title, int width, int height, int colour_bits, int depth_bits,
                   bool fullscreen);
// Pumps the window's events; true once it can be drawn into.
bool window_ready();
// The drawable size in pixels (0 x 0 without a window).
void window_size(int* width, int* height);
void swap_window();
// Changes the open window's mode, keeping its GL context: windowed at `width` x `height`,
// or full screen as create_window chooses it. False without a window or when refused.
bool set_window_mode(int width, int height, bool fullscreen);
// Destroys the window and closes the input devices.
void close_window();

struct Event {
  unsigned code = 0;
  int pressed = 0;       // 1 press, 0 release
  unsigned seconds = 0;  // time stamp on the event clock
  unsigned microseconds = 0;
};

// The event clock, in milliseconds (SDL's tick count).
std::uint64_t event_clock_ms();

// Pumps the window and controllers, then takes the oldest event. False when
// the queue is empty.
bool next_event(Event* event);
// As next_event, but only an event stamped no later than the given time.
bool next_event_until(Event* event, unsigned seconds, unsigned microseconds);
// Puts an event in the queue in time order; dropped when the queue is full.
void queue_event(const Event& event);
// Empties the queue (tests).
void clear_events();

// The code a key, mouse button or controller button name stands for, or 0.
unsigned key_code_for_name(const char* name);
// The name of a code, or nullptr. Names are pooled: equal names, one pointer.
const char* name_for_code(unsigned code);

struct InputDevice;
struct Axis {
  InputDevice* device = nullptr;
  int index = 0;
};

// Opens a named axis ("cursor-x", "Joystick1.axis[0]", "Pad axis 2"); false
// when no such device or axis exists. Readings are in units of 1/32768. With the option
// "dinputsticksonly" off the mouse is a device too ("Mouse.axis[0]" x, 1 y, 2 the wheel):
// its axes are relative, reading the movement since they were last read.
bool open_axis(const char* name, Axis* axis);
int read_axis(const Axis& axis);
void close_axis(Axis* axis);
// The axis names of every plugged-in controller ("Joystick1.axis[0]", ...), for the
// controls menu's wait for a moved axis. The cursor is not among them.
std::vector<std::string> controller_axis_names();

// ---------------------------------------------------------------------------
// Audio output: 8-bit voices mixed into one device.
//
// A device is a table of operations filled by its back-end: the SDL output
// (the mixer runs in SDL's callback thread, 1/64 s fragments, one mutex over
// the voices), the readback device that mixes a block whenever asked (for
// --record-audio), and a null device that keeps voices but plays nothing
// (tests). At most one device is open. Voice data is 8-bit unsigned, 128
// being silence; positions and lengths count samples. Every operation takes
// the device's mutex when it has one, so all of them may be called from the
// main thread while the device plays; a voice operation given no voice
// (nullptr) does nothing.

struct AudioVoice;
struct AudioDevice;

struct AudioOps {
  const char* name;  // for the log: "sdl", "readback", "null"
  // Opens the back-end at an output rate (Hz) and block length (frames); the
  // SDL back-end takes both from the platform options and ignores these.
  AudioDevice* (*open)(int rate, int block_frames);
  // Closes the device and frees it and every voice still made on it.
  void (*close)(AudioDevice* device);
  // Called once per drawn frame, after every voice was updated.
  void (*frame)(AudioDevice* device);
  // Mixes one block and returns it: the readback device's mono 16-bit block;
  // nullptr from the others (their mixing is their own).
  const std::int16_t* (*mix)(AudioDevice* device);
  // Makes a stopped, non-looping voice at volume 32767, pan centre, rate = the
  // output rate, with a copy of the samples (nullptr: silence), resampled from
  // `source_rate` when that is above 0. nullptr when length < 1.
  AudioVoice* (*create_voice)(AudioDevice* device, int length, const std::uint8_t* samples,
                              int source_rate);
  // Makes a new stopped voice sharing the voice's data.
  AudioVoice* (*duplicate_voice)(AudioDevice* device, AudioVoice* voice);
  // Takes the voice out of the mix and frees it.
  void (*free_voice)(AudioDevice* device, AudioVoice* voice);
  // Plays the voice from the start; a playing voice restarts at the next
  // block's first centre crossing.
  void (*start)(AudioDevice* device, AudioVoice* voice);
  // Silences the voice from the next block.
  void (*stop)(AudioDevice* device, AudioVoice* voice);
  // Sets the voice's playback rate in samples per second (0..16,777,216).
  void (*set_rate)(AudioDevice* device, AudioVoice* voice, int hz);
  // Sets the volume, 0..32767, clamped; the level follows at the next centre
  // crossing.
  void (*set_volume)(AudioDevice* device, AudioVoice* voice, int volume);
  // Sets the pan, -32768 full left .. 32767 full right; a mono device keeps
  // full left.
  void (*set_pan)(AudioDevice* device, AudioVoice* voice, int pan);
  // Makes the voice loop (1) or stop at the end of its data (0).
  void (*set_looping)(AudioDevice* device, AudioVoice* voice, int looping);
  // The sample the voice reads while playing, else 0.
  int (*play_position)(AudioDevice* device, AudioVoice* voice);
  // Copies samples into the voice's data from `position` (modulo the length),
  // wrapping; of more samples than the data holds only the last data-length
  // are kept.
  void (*write_data)(AudioDevice* device, AudioVoice* voice, int length,
                     const std::uint8_t* samples, int position);
};

struct AudioDevice {
  const AudioOps* ops;
  void* backend;  // the back-end's own state
};

// True when every operation of the table is filled in.
bool audio_ops_complete(const AudioOps& ops);

// Opens the output device (the options "dsnd" and "waveout" both stand for
// SDL audio here). nullptr when a device is open already or none could be
// opened: the game then runs silent.
AudioDevice* audio_open();
// Opens the readback device: mono, 16-bit, `block_frames` frames a block.
AudioDevice* audio_open_readback(int rate, int block_frames);
// Opens the null device at `rate` Hz.
AudioDevice* audio_open_null(int rate);
// Closes a device from the functions above (nullptr: nothing).
void audio_close(AudioDevice* device);
// The open device, or nullptr.
AudioDevice* audio_device();

// Start-up's entry points over the functions above.
// Opens the audio output for the game's mixer; false without a device.
bool open_audio_output();
// Opens the device that renders each tick's samples on demand for
// --record-audio, at `rate` sample values per second.
bool open_recording_audio(int rate, int values_per_tick);
// Closes the open device, if any.
void close_audio();

// WAV files of 16-bit mono samples (korvex-ride's engine recordings).
struct WavFile;
// nullptr when the file cannot be created.
WavFile* wav_create(const char* path, int rate);
bool wav_write(WavFile* wav, const std::int16_t* samples, int count);
// Finishes the header and closes; false when anything failed.
bool wav_close(WavFile* wav);
// Reads a whole mono file; false when it is not one.
bool wav_read(const char* path, std::vector<std::int16_t>& samples, int* rate);

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
