#include "settings/general_page2.h"

#include "platform/controls.h"
#include "settings/general_page1.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "settings/setup_host.h"

namespace vello {

namespace {
enum : UINT { kClearAfterSendBoxId = 2110, kQuietInWorkingModeBoxId = 2111, kDiscoveryBoxId = 2113 };
}  // namespace

void TGeneralPage2::BuildControls(HWND page, HFONT font) {
  clearAfterSendBox = GeneralPageCheckBox(page, font, L"メッセージ送信後クリアする(&C)", 8, 8, kClearAfterSendBoxId);
  quietInWorkingModeBox =
      GeneralPageCheckBox(page, font, L"仕事中モード時着信音を鳴らさない(&S)", 8, 32, kQuietInWorkingModeBoxId);
  discoveryBox = GeneralPageCheckBox(page, font, L"ネットワーク上の Vello を探す(&F)", 8, 56, kDiscoveryBoxId);
}

bool TGeneralPage2::Load() {
  IniFile ini = SettingsFile();
  SetChecked(clearAfterSendBox, ReadSetting(ini, setting::Clear));
  SetChecked(quietInWorkingModeBox, ReadSetting(ini, setting::WSound));
  SetChecked(discoveryBox, ReadSetting(ini, setting::Discovery));
  return true;
}

void TGeneralPage2::Save(IniFile& ini) const {
  WriteSetting(ini, setting::Clear, IsChecked(clearAfterSendBox));
  WriteSetting(ini, setting::WSound, IsChecked(quietInWorkingModeBox));
  WriteSetting(ini, setting::Discovery, IsChecked(discoveryBox));
}

void TGeneralPage2::Apply() const {
  host_.SetClearAfterSend(IsChecked(clearAfterSendBox));
  host_.SetSoundInWorkMode(!IsChecked(quietInWorkingModeBox));
}

}  // namespace vello
