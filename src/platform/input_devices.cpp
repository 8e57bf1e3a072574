// input_devices.cpp -- the cursor and game controllers: device names, ids, buttons and axes.
#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/input_internal.h"
#include "platform/platform.h"

namespace platform {

// One input device. Devices are never freed while the program runs: a
// controller that is unplugged keeps its entry (and the axes opened on it),
// and takes it up again when it comes back.
struct InputDevice {
  const char* name = "";  // pooled
  std::string product;    // what the device calls itself
  unsigned id = 0;        // a multiple of 65536
  int buttons = 0;        // real buttons, then four per hat
  int real_buttons = 0;
  int axes = 0;
  int open_axes = 0;  // the first open activates, the last close deactivates
  bool cursor = false;
  bool mouse = false;                // the mouse's movement as relative axes x, y and wheel
  mutable int moved[3] = {};         // a relative axis's movement since it was last read
  SDL_Joystick* joystick = nullptr;  // nullptr while unplugged
  SDL_JoystickID instance = -1;
  std::vector<Uint8> hats;   // last hat positions, for press and release events
  long long adjustment = 0;  // ms taken off the device's stamps
};

namespace {

constexpr int kMaxAxes = 100;
constexpr int kMaxButtons = 500;
// Hat directions as extra buttons, in this order after the real buttons.
constexpr Uint8 kHatBits[4] = {SDL_HAT_UP, SDL_HAT_RIGHT, SDL_HAT_DOWN, SDL_HAT_LEFT};

struct Devices {
  bool open = false;
  bool joysticks = false;  // controllers are enumerated ("dinput" option)
  std::vector<InputDevice*> list;
  std::vector<std::unique_ptr<InputDevice>> owned;  // the same devices, freed at exit
};

Devices g_devices;

InputDevice* new_device() {
  InputDevice* device = new InputDevice;
  g_devices.owned.emplace_back(device);
  return device;
}

InputDevice* find_device(const char* name) {
  for (InputDevice* device : g_devices.list) {
    if (std::strcmp(device->name, name) == 0) return device;
  }
  return nullptr;
}

InputDevice* find_instance(SDL_JoystickID instance) {
  for (InputDevice* device : g_devices.list) {
    if (device->joystick && device->instance == instance) return device;
  }
  return nullptr;
}

bool id_in_use(unsigned id) {
  for (const InputDevice* device : g_devices.list) {
    if (device->id == id) return true;
  }
  return false;
}

// The product name with spaces and dots removed.
std::string base_name(const char* product) {
  std::string name;
  for (const char* p = product ? product : ""; *p; ++p) {
    if (*p != ' ' && *p != '.') name.push_back(*p);
  }
  return name.empty() ? "Joystick" : name;
}

void queue_button(InputDevice* device, int button, bool pressed, Uint32 stamp_ms) {
  // Stamps are kept from running ahead of the event clock, so a controller
  // event never waits behind later keyboard events.
  long long stamp = static_cast<long long>(stamp_ms) - device->adjustment;
  const long long now = static_cast<long long>(event_clock_ms());
  if (stamp > now) {
    device->adjustment += stamp - now;
    stamp = now;
  }
  if (stamp < 0) stamp = 0;
  Event event;
  event.code = device->id + static_cast<unsigned>(button);
  event.pressed = pressed ? 1 : 0;
  event.seconds = static_cast<unsigned>(stamp / 1000);
  event.microseconds = static_cast<unsigned>(stamp % 1000) * 1000;
  queue_event(event);
}

void log_device(const InputDevice& device) {
  log("%s (%s)\n", device.name, device.product.c_str());
  log("%d axes, %d keys\n", device.axes, device.buttons);
  for (int i = 0; i < device.axes; ++i) {
    log("axis %d is %s\n", i, device.mouse ? "relative" : "absolute");
    log("Adding axis \"%.200s axis %d\"\n", device.name, i);
  }
}

void attach_joystick(int index) {
  SDL_Joystick* joystick = SDL_JoystickOpen(index);
  if (!joystick) return;
  const SDL_JoystickID instance = SDL_JoystickInstanceID(joystick);
  if (find_instance(instance)) return;  // already known
  const char* product = SDL_JoystickName(joystick);
  const std::string base = base_name(product);

  // A controller plugged back in takes up its old entry and name.
  InputDevice* device = nullptr;
  int same_name = 0;
  for (InputDevice* known : g_devices.list) {
    if (known->cursor || base_name(known->product.c_str()) != base) continue;
    ++same_name;
    if (!known->joystick && !device) device = known;
  }
  const bool fresh = device == nullptr;
  if (fresh) {
    device = new_device();
    device->product = product ? product : "";
    const std::string name = same_name ? base + "#" + std::to_string(same_name + 1) : base;
    device->name = pool_name(name);
    device->id = device_id_for_name(name, id_in_use);
  }
  device->joystick = joystick;
  device->instance = instance;

  int axes = SDL_JoystickNumAxes(joystick);
  int buttons = SDL_JoystickNumButtons(joystick);
  const int hats = SDL_JoystickNumHats(joystick);
  if (axes > kMaxAxes) {
    log("Wow! This thing has a lot of axes!\nThe first ignored axis is called \"%s axis %d\"\n",
        device->name, kMaxAxes);
    axes = kMaxAxes;
  }
  int total_buttons = buttons + 4 * (hats > 0 ? hats : 0);
  if (total_buttons > kMaxButtons) {
    log("Wow! This thing has a lot of buttons!\nThe first ignored button is called "
        "\"%s button %d\"\n",
        device->name, kMaxButtons);
    total_buttons = kMaxButtons;
    if (buttons > kMaxButtons) buttons = kMaxButtons;
  }
  device->axes = axes < 0 ? 0 : axes;
  device->real_buttons = buttons < 0 ? 0 : buttons;
  device->buttons = total_buttons < 0 ? 0 : total_buttons;
  device->hats.assign(hats > 0 ? static_cast<std::size_t>(hats) : 0, SDL_HAT_CENTERED);
  if (fresh) g_devices.list.push_back(device);
  log_device(*device);
}

// The mouse as an input device of its own, when the roll call takes more than sticks: its
// movement becomes three relative axes that can be bound like a controller's. Its buttons
// stay the window's mouse keys, so it has none here.
void attach_mouse() {
  if (find_device("Mouse")) return;
  InputDevice* device = new_device();
  device->product = "Mouse";
  device->name = pool_name("Mouse");
  device->id = device_id_for_name("Mouse", id_in_use);
  device->mouse = true;
  device->axes = 3;
  g_devices.list.push_back(device);
  log_device(*device);
}

InputDevice* mouse_device() {
  for (InputDevice* device : g_devices.list) {
    if (device->mouse) return device;
  }
  return nullptr;
}

void detach_joystick(SDL_JoystickID instance) {
  InputDevice* device = find_instance(instance);
  if (!device) return;
  log("Killing %s\n", device->name);
  SDL_JoystickClose(device->joystick);
  device->joystick = nullptr;
  device->instance = -1;
}

// "Pad.key[3]" / "Pad button 3", or "Pad.axis[1]" / "Pad axis 1"; nothing may follow.
bool parse_part(const char* name, const char* dotted, const char* spaced, char device[64],
                int* index) {
  char format[32];
  int end = -1;
  std::snprintf(format, sizeof format, "%%63[^.].%s[%%d]%%n", dotted);
  if (std::sscanf(name, format, device, index, &end) == 2 && end >= 0 && name[end] == '\0') {
    return true;
  }
  end = -1;
  std::snprintf(format, sizeof format, "%%63s %s %%d%%n", spaced);
  return std::sscanf(name, format, device, index, &end) == 2 && end >= 0 && name[end] == '\0';
}

}  // namespace

unsigned device_id_for_name(const std::string& name, bool (*in_use)(unsigned id)) {
  std::uint16_t even = 0;
  std::uint8_t odd = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (i % 2 == 0)
      even = static_cast<std::uint16_t>(even + c);
    else
      odd = static_cast<std::uint8_t>(odd + c);
  }
  unsigned id = ((static_cast<unsigned>(even) + 256u * odd) % 32768u) * 65536u;
  for (int tries = 0; tries < 65535; ++tries) {
    if (id != 0 && !in_use(id)) return id;
    id = (id + 65536u) % 0x80000000u;
  }
  return 0;
}

void input_devices_open() {
  if (g_devices.open) return;
  g_devices.open = true;
  if (!find_device("cursor")) {
    InputDevice* cursor = new_device();
    cursor->name = pool_name("cursor");
    cursor->product = "cursor";
    cursor->cursor = true;
    cursor->axes = 2;
    cursor->id = device_id_for_name("cursor", id_in_use);
    g_devices.list.push_back(cursor);
  }
  alias_add("cursor-x", "cursor.axis[0]");
  alias_add("cursor-y", "cursor.axis[1]");
  // The mouse and controller aliases come with the controllers' roll call.

  g_devices.joysticks = option_bool("dinput", 1) != 0;
  if (!g_devices.joysticks) {
    log("DirectInput disabled\n");
    return;
  }
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
    log("Can't open direct input library\n");
    g_devices.joysticks = false;
    return;
  }
  log("DirectInput roll call...\n");
  for (int i = 0; i < SDL_NumJoysticks(); ++i) attach_joystick(i);
  if (!option_bool("dinputsticksonly", 1)) attach_mouse();
  log("End of DirectInput roll call\n");
  alias_add_input_defaults();
}

void input_devices_close() {
  if (!g_devices.open) return;
  for (InputDevice* device : g_devices.list) {
    if (!device->joystick) continue;
    log("Killing %s\n", device->name);
    if (device->adjustment > 0)
      log("Timestamp adjustment was %d\n", static_cast<int>(device->adjustment));
    SDL_JoystickClose(device->joystick);
    device->joystick = nullptr;
  }
  if (g_devices.joysticks) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  g_devices.open = false;
}

bool input_devices_handle(const void* sdl_event) {
  const SDL_Event& event = *static_cast<const SDL_Event*>(sdl_event);
  switch (event.type) {
    case SDL_JOYDEVICEADDED:
      if (g_devices.joysticks) attach_joystick(event.jdevice.which);
      return true;
    case SDL_JOYDEVICEREMOVED:
      detach_joystick(event.jdevice.which);
      return true;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP: {
      InputDevice* device = find_instance(event.jbutton.which);
      if (device && event.jbutton.button < device->real_buttons) {
        queue_button(device, event.jbutton.button, event.type == SDL_JOYBUTTONDOWN,
                     event.jbutton.timestamp);
      }
      return true;
    }
    case SDL_JOYHATMOTION: {
      InputDevice* device = find_instance(event.jhat.which);
      if (!device || event.jhat.hat >= device->hats.size()) return true;
      const Uint8 before = device->hats[event.jhat.hat];
      const Uint8 now = event.jhat.value;
      for (int k = 0; k < 4; ++k) {
        const int button = device->real_buttons + 4 * event.jhat.hat + k;
        if (button >= device->buttons) break;
        const bool was = (before & kHatBits[k]) != 0;
        const bool is = (now & kHatBits[k]) != 0;
        if (was != is) queue_button(device, button, is, event.jhat.timestamp);
      }
      device->hats[event.jhat.hat] = now;
      return true;
    }
    // The window handles the mouse too: these are watched, not taken.
    case SDL_MOUSEMOTION:
      if (InputDevice* mouse = mouse_device()) {
        mouse->moved[0] += event.motion.xrel;
        mouse->moved[1] += event.motion.yrel;
      }
      return false;
    case SDL_MOUSEWHEEL:
      if (InputDevice* mouse = mouse_device()) mouse->moved[2] += event.wheel.y;
      return false;
    default:
      return false;
  }
}

unsigned controller_button_code(const char* name) {
  char device_name[64];
  int index = -1;
  if (!parse_part(name, "key", "button", device_name, &index)) return 0;
  const InputDevice* device = find_device(device_name);
  if (!device || device->cursor || index < 0 || index > 255 || index >= device->buttons) return 0;
  return device->id + static_cast<unsigned>(index);
}

const char* controller_button_name(unsigned code) {
  const unsigned id = code & ~0xffffu;
  if (id == 0) return nullptr;
  for (const InputDevice* device : g_devices.list) {
    if (device->id != id || device->cursor) continue;
    char name[1100];
    std::snprintf(name, sizeof name, "%.1000s button %u", device->name, code - id);
    return pool_name(name);
  }
  return nullptr;
}

std::vector<std::string> controller_axis_names() {
  std::vector<std::string> names;
  for (const InputDevice* device : g_devices.list) {
    if (device->cursor || !device->joystick) continue;
    for (int i = 0; i < device->axes; ++i) {
      names.push_back(std::string(device->name) + ".axis[" + std::to_string(i) + "]");
    }
  }
  return names;
}

bool open_axis(const char* name, Axis* axis) {
  if (!name || !axis) return false;
  name = alias_resolve(name);
  char device_name[64];
  int index = -1;
  if (!parse_part(name, "axis", "axis", device_name, &index)) return false;
  InputDevice* device = find_device(device_name);
  if (!device || index < 0 || index >= device->axes) return false;
  ++device->open_axes;
  axis->device = device;
  axis->index = index;
  return true;
}

int read_axis(const Axis& axis) {
  const InputDevice* device = axis.device;
  if (!device) return 0;
  if (device->cursor) {
    int x = 0, y = 0;
    cursor_position(&x, &y);
    return axis.index == 0 ? x : y;
  }
  if (device->mouse) {
    // Relative: the movement since the last read, which starts the next one from 0.
    const int moved = device->moved[axis.index];
    device->moved[axis.index] = 0;
    return moved;
  }
  if (!device->joystick) return 0;  // unplugged: centred
  return SDL_JoystickGetAxis(device->joystick, axis.index);
}

void close_axis(Axis* axis) {
  if (!axis || !axis->device) return;
  if (axis->device->open_axes > 0) --axis->device->open_axes;
  axis->device = nullptr;
}

}  // namespace platform
