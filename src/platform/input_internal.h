// input_internal.h -- what the window, event and input-device files share.
#pragma once

#include <string>

#include "platform/platform.h"

namespace platform {

// The set-1 scan code (extended + 256) of an SDL scancode, 0 when unmapped.
int set1_code_for_scancode(int sdl_scancode);

// Stores a generated name once; equal names give one pointer.
const char* pool_name(const std::string& name);

// Controller button names: "Pad.key[3]" or "Pad button 3" -> id + 3, or 0;
// and the name of such a code, or nullptr.
unsigned controller_button_code(const char* name);
const char* controller_button_name(unsigned code);

// The id a device name hashes to, skipping ids in use; 0 when none is free.
unsigned device_id_for_name(const std::string& name, bool (*in_use)(unsigned id));

// Input devices: the cursor and the game controllers.
void input_devices_open();   // the cursor, the roll call of present controllers
void input_devices_close();  // logs each device's end
// Handles an SDL joystick event (plug, unplug, button, hat); false for others.
bool input_devices_handle(const void* sdl_event);

// Window size and the cursor position, for the cursor device.
void cursor_position(int* x, int* y);

}  // namespace platform
