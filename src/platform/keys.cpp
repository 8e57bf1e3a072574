// keys.cpp -- key codes from set-1 scan codes, key names and their lookup.
#include <SDL.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "platform/input_internal.h"
#include "platform/platform.h"

namespace platform {

namespace {

constexpr int kScanCodes = 512;

// SDL scancodes by PC/AT set-1 scan code (extended keys + 256). Pause and
// Num Lock sit where the desktop's own key mapping has always put them:
// Pause at 69, Num Lock extended.
struct ScanCodeMap {
  int set1;
  SDL_Scancode sdl;
};

constexpr ScanCodeMap kScanCodeMap[] = {
    {1, SDL_SCANCODE_ESCAPE},
    {2, SDL_SCANCODE_1},
    {3, SDL_SCANCODE_2},
    {4, SDL_SCANCODE_3},
    {5, SDL_SCANCODE_4},
    {6, SDL_SCANCODE_5},
    {7, SDL_SCANCODE_6},
    {8, SDL_SCANCODE_7},
    {9, SDL_SCANCODE_8},
    {10, SDL_SCANCODE_9},
    {11, SDL_SCANCODE_0},
    {12, SDL_SCANCODE_MINUS},
    {13, SDL_SCANCODE_EQUALS},
    {14, SDL_SCANCODE_BACKSPACE},
    {15, SDL_SCANCODE_TAB},
    {16, SDL_SCANCODE_Q},
    {17, SDL_SCANCODE_W},
    {18, SDL_SCANCODE_E},
    {19, SDL_SCANCODE_R},
    {20, SDL_SCANCODE_T},
    {21, SDL_SCANCODE_Y},
    {22, SDL_SCANCODE_U},
    {23, SDL_SCANCODE_I},
    {24, SDL_SCANCODE_O},
    {25, SDL_SCANCODE_P},
    {26, SDL_SCANCODE_LEFTBRACKET},
    {27, SDL_SCANCODE_RIGHTBRACKET},
    {28, SDL_SCANCODE_RETURN},
    {29, SDL_SCANCODE_LCTRL},
    {30, SDL_SCANCODE_A},
    {31, SDL_SCANCODE_S},
    {32, SDL_SCANCODE_D},
    {33, SDL_SCANCODE_F},
    {34, SDL_SCANCODE_G},
    {35, SDL_SCANCODE_H},
    {36, SDL_SCANCODE_J},
    {37, SDL_SCANCODE_K},
    {38, SDL_SCANCODE_L},
    {39, SDL_SCANCODE_SEMICOLON},
    {40, SDL_SCANCODE_APOSTROPHE},
    {41, SDL_SCANCODE_GRAVE},
    {42, SDL_SCANCODE_LSHIFT},
    {43, SDL_SCANCODE_BACKSLASH},
    {44, SDL_SCANCODE_Z},
    {45, SDL_SCANCODE_X},
    {46, SDL_SCANCODE_C},
    {47, SDL_SCANCODE_V},
    {48, SDL_SCANCODE_B},
    {49, SDL_SCANCODE_N},
    {50, SDL_SCANCODE_M},
    {51, SDL_SCANCODE_COMMA},
    {52, SDL_SCANCODE_PERIOD},
    {53, SDL_SCANCODE_SLASH},
    {54, SDL_SCANCODE_RSHIFT},
    {55, SDL_SCANCODE_KP_MULTIPLY},
    {56, SDL_SCANCODE_LALT},
    {57, SDL_SCANCODE_SPACE},
    {58, SDL_SCANCODE_CAPSLOCK},
    {59, SDL_SCANCODE_F1},
    {60, SDL_SCANCODE_F2},
    {61, SDL_SCANCODE_F3},
    {62, SDL_SCANCODE_F4},
    {63, SDL_SCANCODE_F5},
    {64, SDL_SCANCODE_F6},
    {65, SDL_SCANCODE_F7},
    {66, SDL_SCANCODE_F8},
    {67, SDL_SCANCODE_F9},
    {68, SDL_SCANCODE_F10},
    {69, SDL_SCANCODE_PAUSE},
    {70, SDL_SCANCODE_SCROLLLOCK},
    {71, SDL_SCANCODE_KP_7},
    {72, SDL_SCANCODE_KP_8},
    {73, SDL_SCANCODE_KP_9},
    {74, SDL_SCANCODE_KP_MINUS},
    {75, SDL_SCANCODE_KP_4},
    {76, SDL_SCANCODE_KP_5},
    {77, SDL_SCANCODE_KP_6},
    {78, SDL_SCANCODE_KP_PLUS},
    {79, SDL_SCANCODE_KP_1},
    {80, SDL_SCANCODE_KP_2},
    {81, SDL_SCANCODE_KP_3},
    {82, SDL_SCANCODE_KP_0},
    {83, SDL_SCANCODE_KP_PERIOD},
    {86, SDL_SCANCODE_NONUSBACKSLASH},
    {87, SDL_SCANCODE_F11},
    {88, SDL_SCANCODE_F12},
    {256 + 28, SDL_SCANCODE_KP_ENTER},
    {256 + 29, SDL_SCANCODE_RCTRL},
    {256 + 53, SDL_SCANCODE_KP_DIVIDE},
    {256 + 55, SDL_SCANCODE_PRINTSCREEN},
    {256 + 56, SDL_SCANCODE_RALT},
    {256 + 69, SDL_SCANCODE_NUMLOCKCLEAR},
    {256 + 71, SDL_SCANCODE_HOME},
    {256 + 72, SDL_SCANCODE_UP},
    {256 + 73, SDL_SCANCODE_PAGEUP},
    {256 + 75, SDL_SCANCODE_LEFT},
    {256 + 77, SDL_SCANCODE_RIGHT},
    {256 + 79, SDL_SCANCODE_END},
    {256 + 80, SDL_SCANCODE_DOWN},
    {256 + 81, SDL_SCANCODE_PAGEDOWN},
    {256 + 82, SDL_SCANCODE_INSERT},
    {256 + 83, SDL_SCANCODE_DELETE},
    {256 + 91, SDL_SCANCODE_LGUI},
    {256 + 92, SDL_SCANCODE_RGUI},
    {256 + 93, SDL_SCANCODE_APPLICATION},
};

struct BuiltInKey {
  const char* name;
  int scan_code;
};

// The names every binding may use whatever the desktop calls its keys.
constexpr BuiltInKey kBuiltInKeys[] = {
    {"Esc", 1},         {"0", 11},
    {"1", 2},           {"2", 3},
    {"3", 4},           {"4", 5},
    {"5", 6},           {"6", 7},
    {"7", 8},           {"8", 9},
    {"9", 10},          {"A", 30},
    {"B", 48},          {"C", 46},
    {"D", 32},          {"E", 18},
    {"F", 33},          {"G", 34},
    {"H", 35},          {"I", 23},
    {"J", 36},          {"K", 37},
    {"L", 38},          {"M", 50},
    {"N", 49},          {"O", 24},
    {"P", 25},          {"Q", 16},
    {"R", 19},          {"S", 31},
    {"T", 20},          {"U", 22},
    {"V", 47},          {"W", 17},
    {"X", 45},          {"Y", 21},
    {"Z", 44},          {"-", 12},
    {"=", 13},          {"[", 26},
    {"]", 27},          {";", 39},
    {"'", 40},          {"`", 41},
    {"\\", 43},         {",", 51},
    {".", 52},          {"/", 53},
    {"Backspace", 14},  {"Tab", 15},
    {"Enter", 28},      {"Left Ctrl", 29},
    {"Left Shift", 42}, {"Right Shift", 54},
    {"Space", 57},      {" ", 57},
    {"Caps Lock", 58},  {"Right Ctrl", 285},
    {"Insert", 338},    {"Delete", 339},
    {"Home", 327},      {"End", 335},
    {"Page Up", 329},   {"Page Down", 337},
    {"Up", 328},        {"Down", 336},
    {"Left", 331},      {"Right", 333},
    {"F1", 59},         {"F2", 60},
    {"F3", 61},         {"F4", 62},
    {"F5", 63},         {"F6", 64},
    {"F7", 65},         {"F8", 66},
    {"F9", 67},         {"F10", 68},
    {"F11", 87},        {"F12", 88},
    {"Pause", 69},      {"Num Lock", 325},
    {"Keypad /", 309},  {"Keypad *", 55},
    {"Keypad -", 74},   {"Keypad 7", 71},
    {"Keypad 8", 72},   {"Keypad 9", 73},
    {"Keypad +", 78},   {"Keypad 4", 75},
    {"Keypad 5", 76},   {"Keypad 6", 77},
    {"Keypad 1", 79},   {"Keypad 2", 80},
    {"Keypad 3", 81},   {"Keypad Enter", 284},
    {"Keypad 0", 82},   {"Keypad .", 83},
};
static_assert(sizeof kBuiltInKeys / sizeof kBuiltInKeys[0] == 98);

struct SpecialName {
  const char* name;
  unsigned code;
};

constexpr SpecialName kSpecialNames[] = {
    {"Close", kCloseRequest},
    {"Mouse Left", kMouseLeft},
    {"Mouse Middle", kMouseMiddle},
    {"Mouse Right", kMouseRight},
};

struct KeyNames {
  bool built = false;
  const char* system[kScanCodes] = {};      // pooled; "" when the system has none
  int set1_of_sdl[SDL_NUM_SCANCODES] = {};  // 0 when unmapped
};

KeyNames g_keys;

// Generated names are stored once and handed out by pointer.
const char* pooled(const std::string& name) {
  static std::set<std::string> pool;
  return pool.insert(name).first->c_str();
}

void build_key_names() {
  if (g_keys.built) return;
  g_keys.built = true;
  for (int s = 0; s < kScanCodes; ++s) g_keys.system[s] = pooled("");
  for (const ScanCodeMap& entry : kScanCodeMap) {
    g_keys.system[entry.set1] = pooled(SDL_GetScancodeName(entry.sdl));
    g_keys.set1_of_sdl[entry.sdl] = entry.set1;
  }
}

bool exact_equal(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

// Letters without case; white space and '_' all count as one space.
bool loose_equal(const char* a, const char* b) {
  auto fold = [](unsigned char c) -> int {
    if (std::isspace(c) || c == '_') return ' ';
    return std::tolower(c);
  };
  for (;; ++a, ++b) {
    const int ca = fold(static_cast<unsigned char>(*a));
    const int cb = fold(static_cast<unsigned char>(*b));
    if (ca != cb) return false;
    if (ca == 0) return true;
  }
}

unsigned lookup_named(const char* name, bool (*equal)(const char*, const char*)) {
  for (const SpecialName& special : kSpecialNames) {
    if (equal(name, special.name)) return special.code;
  }
  for (int s = 0; s < kScanCodes; ++s) {
    if (g_keys.system[s][0] && equal(name, g_keys.system[s])) return kKeyBase + s;
  }
  for (const BuiltInKey& key : kBuiltInKeys) {
    if (equal(name, key.name)) return kKeyBase + static_cast<unsigned>(key.scan_code);
  }
  return 0;
}

}  // namespace

int set1_code_for_scancode(int sdl_scancode) {
  build_key_names();
  if (sdl_scancode < 0 || sdl_scancode >= SDL_NUM_SCANCODES) return 0;
  return g_keys.set1_of_sdl[sdl_scancode];
}

unsigned key_code_for_name(const char* name) {
  if (!name) return 0;
  build_key_names();
  name = alias_resolve(name);
  if (unsigned code = lookup_named(name, exact_equal)) return code;
  if (unsigned code = lookup_named(name, loose_equal)) return code;

  unsigned scan_code = 0;
  char tail = 0;
  if (std::sscanf(name, "0x%x%c", &scan_code, &tail) == 1 && scan_code < kScanCodes) {
    return kKeyBase + scan_code;
  }
  return controller_button_code(name);
}

const char* name_for_code(unsigned code) {
  build_key_names();
  for (const SpecialName& special : kSpecialNames) {
    if (code == special.code) return pooled(special.name);
  }
  if (code >= kKeyBase && code < kKeyBase + kScanCodes) {
    const int scan_code = static_cast<int>(code - kKeyBase);
    if (g_keys.system[scan_code][0]) return g_keys.system[scan_code];
    for (const BuiltInKey& key : kBuiltInKeys) {
      if (key.scan_code == scan_code) return pooled(key.name);
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", scan_code);
    return pooled(hex);
  }
  return controller_button_name(code);
}

const char* pool_name(const std::string& name) { return pooled(name); }

}  // namespace platform
