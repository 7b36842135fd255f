#pragma once
// Shell links (.lnk files) through the shell's COM object. COM must be
// initialised on the calling thread.
#include <string>

namespace vello {

struct ShellLinkFields {
  std::wstring target;
  std::wstring workingDirectory;
  std::wstring description;
};

// Writes the link file at `linkPath` (the whole path, however long),
// replacing a file of that name. Throws VelloError when the shell link
// object or its IPersistFile cannot be had; what the setters and the save
// report is not examined, so a folder that cannot be written leaves no link
// and no message.
void SaveShellLink(const std::wstring& linkPath, const ShellLinkFields& fields);

// Reads a link file back; false when it cannot be loaded. The target is
// the path the link's item list resolves to (its plain path when it has
// none).
bool LoadShellLink(const std::wstring& linkPath, ShellLinkFields& fields);

}  // namespace vello
