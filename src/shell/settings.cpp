// settings.cpp -- start-up settings (to come: the configuration file and the rider setup).
#include "shell/shell.h"

namespace shell {

StartupSettings g_startup_settings;

// Until the configuration file is read, the built-in defaults stand.
void settings_startup() {}

}  // namespace shell
