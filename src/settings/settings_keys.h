#pragma once
// Every key of the settings file in one place: its section, its name and
// its default. Readers and writers name a key, never a literal.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "messaging/message_look.h"
#include "settings/ini_file.h"

namespace vello {

template <typename T>
struct SettingKey {
  std::string_view section;
  std::string_view name;
  T fallback;
};

namespace setting {
// Options ("setup").
inline constexpr SettingKey<int32_t> Port{"setup", "port", 5963};
inline constexpr SettingKey<bool> Ime{"setup", "IME", false};
inline constexpr SettingKey<bool> Sound{"setup", "Sound", false};
inline constexpr SettingKey<std::string_view> SoundFile{"setup", "Sound-File", ""};
inline constexpr SettingKey<bool> Mini{"setup", "mini", false};
inline constexpr SettingKey<bool> Startup{"setup", "Startup", false};
inline constexpr SettingKey<bool> Desktop{"setup", "Desktop", false};
inline constexpr SettingKey<bool> Log{"setup", "Log", false};
inline constexpr SettingKey<bool> Clear{"setup", "Clear", false};
inline constexpr SettingKey<bool> WSound{"setup", "WSound", false};
inline constexpr SettingKey<bool> Pri{"setup", "Pri", false};
inline constexpr SettingKey<bool> WMode{"setup", "W-mode", false};
// Announce this copy and find the others on the local network.
inline constexpr SettingKey<bool> Discovery{"setup", "Discovery", true};
// How many days a message kept for a receiver that could not be reached
// waits before it is given up (1 to 365; anything else is the default).
inline constexpr SettingKey<int32_t> WaitDays{"setup", "WaitDays", 7};
// The main window's bounds ("window").
inline constexpr SettingKey<int32_t> WindowTop{"window", "Top", 244};
inline constexpr SettingKey<int32_t> WindowLeft{"window", "Left", 360};
inline constexpr SettingKey<int32_t> WindowHeight{"window", "Height", 258};
inline constexpr SettingKey<int32_t> WindowWidth{"window", "Width", 323};
// The composer's look ("Edit").
inline constexpr SettingKey<int32_t> EditColor{"Edit", "Color", 0xFFFFFF};
inline constexpr SettingKey<int32_t> EditFontColor{"Edit", "Font-Color", 0};
inline constexpr SettingKey<int32_t> EditFontSize{"Edit", "Font-Size", 10};
inline constexpr SettingKey<std::string_view> EditFontName{"Edit", "Font-Name", "MS ゴシック"};
inline constexpr SettingKey<int32_t> EditFontStyle{"Edit", "Font-Style", 0};
}  // namespace setting

inline int32_t ReadSetting(const IniFile& ini, const SettingKey<int32_t>& key) {
  return ini.ReadInteger(key.section, key.name, key.fallback);
}
inline bool ReadSetting(const IniFile& ini, const SettingKey<bool>& key) {
  return ini.ReadBool(key.section, key.name, key.fallback);
}
inline std::string ReadSetting(const IniFile& ini, const SettingKey<std::string_view>& key) {
  return ini.ReadString(key.section, key.name, key.fallback);
}

inline void WriteSetting(IniFile& ini, const SettingKey<int32_t>& key, int32_t value) {
  ini.WriteInteger(key.section, key.name, value);
}
inline void WriteSetting(IniFile& ini, const SettingKey<bool>& key, bool value) {
  ini.WriteBool(key.section, key.name, value);
}
inline void WriteSetting(IniFile& ini, const SettingKey<std::string_view>& key, std::string_view value) {
  ini.WriteString(key.section, key.name, value);
}
// A number key written as the text the user typed (the port box).
inline void WriteSettingText(IniFile& ini, const SettingKey<int32_t>& key, std::string_view text) {
  ini.WriteString(key.section, key.name, text);
}

// A TCP port number: 1 to 65535.
constexpr bool IsPortNumber(int64_t value) { return value >= 1 && value <= 65535; }
// The error text for a port that is none.
std::string NotAPortText(int64_t value);
std::string NotAPortText(std::string_view typed);
// Why the port box's text must not be stored, or nothing. A number, as the
// settings file reads numbers (decimal, or hexadecimal after "0x" or "$"),
// that is no port is refused, also one too long for 32 bits, which would
// read back as the default port. A text that is no number at all is stored
// as typed and reads back as the default.
std::optional<std::string> PortTextRefusal(std::string_view typed);

// The composer's look from section "Edit", each key at its default when
// missing; the size is the composer's, not the file's.
MessageLook ReadComposerLook(const IniFile& ini);
// The look the composer has before the settings file is read.
MessageLook DefaultComposerLook();

}  // namespace vello
