#include "settings/settings_keys.h"

#include <algorithm>

namespace vello {

std::string NotAPortText(int64_t value) { return NotAPortText(std::to_string(value)); }

std::string NotAPortText(std::string_view typed) {
  return "ポート番号 " + std::string(typed) + " は使えません。1 から 65535 までの番号にしてください";
}

std::optional<std::string> PortTextRefusal(std::string_view typed) {
  // The file drops blanks around a value before it reads it.
  while (!typed.empty() && (typed.front() == ' ' || typed.front() == '\t')) typed.remove_prefix(1);
  while (!typed.empty() && (typed.back() == ' ' || typed.back() == '\t')) typed.remove_suffix(1);
  if (std::optional<int32_t> port = ParseProfileInteger(typed))
    return IsPortNumber(*port) ? std::nullopt : std::optional<std::string>(NotAPortText(*port));
  // Digits that do not fit 32 bits are a number all the same; the rest of
  // the rule is the file's own (ParseProfileInteger).
  std::string text(typed);
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text = "$" + text.substr(2);
  std::string_view digits = text;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
  const bool hex = !digits.empty() && digits.front() == '$';
  if (hex) digits.remove_prefix(1);
  auto isDigit = [hex](char c) {
    return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
  };
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), isDigit)) return std::nullopt;
  return NotAPortText(typed);
}

MessageLook ReadComposerLook(const IniFile& ini) {
  MessageLook look;
  look.color = ReadSetting(ini, setting::EditColor);
  look.fontColor = ReadSetting(ini, setting::EditFontColor);
  look.fontSize = ReadSetting(ini, setting::EditFontSize);
  look.fontName = ReadSetting(ini, setting::EditFontName);
  look.fontStyle = static_cast<uint8_t>(ReadSetting(ini, setting::EditFontStyle));
  return look;
}

MessageLook DefaultComposerLook() {
  MessageLook look;
  look.color = setting::EditColor.fallback;
  look.fontColor = setting::EditFontColor.fallback;
  look.fontSize = setting::EditFontSize.fallback;
  look.fontName = std::string(setting::EditFontName.fallback);
  look.fontStyle = static_cast<uint8_t>(setting::EditFontStyle.fallback);
  return look;
}

}  // namespace vello
