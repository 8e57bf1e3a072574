// log_internal.h -- the log's state, reachable by the platform layer's tests.
#pragma once

namespace platform {

// Closes the log and forgets that it was ever opened, so the next call of
// `log` opens it again from the environment.
void log_reset_for_test();
bool log_is_open();
bool log_flushing();

}  // namespace platform
