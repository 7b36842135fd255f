#include "settings/settings_keys.h"

namespace vello {

std::string NotAPortText(int64_t value) {
  return "ポート番号 " + std::to_string(value) + " は使えません。1 から 65535 までの番号にしてください";
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
