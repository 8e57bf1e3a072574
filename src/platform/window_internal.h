// window_internal.h -- the window's side of the event pump.
#pragma once

namespace platform {

// Handles an SDL window event (size changes, focus).
void window_handle_event(const void* sdl_event);

// Moves every pending SDL event into the queue.
void pump_events();

}  // namespace platform
