#pragma once
// The settings file beside the running executable.
#include "settings/ini_file.h"

namespace vello {
IniFile SettingsFile();
}  // namespace vello
