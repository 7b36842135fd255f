// The profile file as a user may have edited it: every read, and a write
// that must read back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/sjis.h"
#include "common/vello_error.h"
#include "fuzz_check.h"
#include "settings/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = vello::fuzz::ScratchPath("ini");
  vello::fuzz::WriteScratch(path, std::string_view(reinterpret_cast<const char*>(data), size));
  vello::IniFile ini(path);

  // Every read opens the file again, so the number of keys read is bounded.
  std::size_t budget = 64;
  const std::vector<std::string> sections = ini.ReadSections();
  for (const std::string& section : sections) {
    for (const std::string& key : ini.ReadSection(section)) {
      if (budget-- == 0) break;
      const std::string value = ini.ReadString(section, key, "\x01");
      FUZZ_CHECK(value.size() <= 2047);
      ini.ReadInteger(section, key, 5963);
      ini.ReadBool(section, key, true);
    }
  }
  for (std::string_view probe : {"port", "Font-Name", "Sound-File"})
    FUZZ_CHECK(ini.ReadString("setup", probe, "\x01").size() <= 2047);

  // A value written is the value read, and no section appears or vanishes
  // other than the one written to.
  try {
    ini.WriteString("setup", "port", "6000");
  } catch (const vello::VelloError&) {
    FUZZ_CHECK(false);  // the scratch file is always writable
  }
  FUZZ_CHECK(ini.ReadString("setup", "port", "") == "6000");
  FUZZ_CHECK(ini.ReadInteger("SETUP", "PORT", 5963) == 6000);
  std::vector<std::string> after = ini.ReadSections();
  bool had = false;
  for (const std::string& s : sections) had = had || vello::SameTextIgnoreCase(s, "setup");
  if (!had) {
    FUZZ_CHECK(!after.empty() && after.back() == "setup");
    after.pop_back();
  }
  FUZZ_CHECK(after == sections);
  return 0;
}
