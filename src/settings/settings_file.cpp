#include "settings/settings_file.h"

#include "common/file_paths.h"
#include "platform/executable_path.h"

namespace vello {

IniFile SettingsFile() { return IniFile(FileBesideExecutable(kSettingsEnding)); }

}  // namespace vello
