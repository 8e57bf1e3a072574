// rider_setup.cpp -- the rider setup's lines in the configuration file (to come with the catalogue).
#include "shell/shell.h"

namespace shell {

// Until the catalogue lands no key belongs to the rider setup and nothing
// of it is written.
bool rider_setup_read_line(const char*, const char*) { return false; }

void rider_setup_write_lines(data::DataStream*) {}

}  // namespace shell
