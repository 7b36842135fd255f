#include "settings/general_pages.h"

#include <commdlg.h>

#include <filesystem>
#include <vector>

#include "common/native_path.h"
#include "common/text_format.h"
#include "platform/controls.h"
#include "platform/error_display.h"
#include "platform/win_text.h"
#include "settings/settings_keys.h"

namespace vello {

namespace {
enum : UINT {
  kPortBoxId = 2101, kImeOnStartBoxId, kMinimizedOnStartBoxId, kSoundOnArrivalBoxId, kSoundFileBoxId,
  kSoundFileButtonId, kStartupShortcutBoxId, kDesktopShortcutBoxId, kLogBoxId, kClearAfterSendBoxId,
  kQuietInWorkingModeBoxId, kPortLabelId, kDiscoveryBoxId
};

HWND CheckBox(HWND page, HFONT font, const wchar_t* caption, int x, int y, UINT id) {
  return CreateControl({.className = L"BUTTON", .text = caption, .style = WS_TABSTOP | BS_AUTOCHECKBOX, .x = x,
                        .y = y, .width = 0, .height = 17, .widthPadding = 20, .parent = page, .id = id,
                        .font = font});
}
}  // namespace

TGeneralPages::TGeneralPages(HWND page1, HWND page2, HFONT font) {
  portLabel =
      CreateControl({.text = L"ポート(&P):", .x = 16, .y = 4, .parent = page1, .id = kPortLabelId, .font = font});
  portBox = CreateControl({.className = L"EDIT", .text = L"5963", .style = WS_TABSTOP | ES_AUTOHSCROLL,
                           .exStyle = WS_EX_CLIENTEDGE, .x = 72, .y = 0, .width = 49, .height = 20, .parent = page1,
                           .id = kPortBoxId, .font = font});
  imeOnStartBox = CheckBox(page1, font, L"起動時にIMEをON(&I)", 16, 24, kImeOnStartBoxId);
  minimizedOnStartBox = CheckBox(page1, font, L"起動時に最小化で実行する(&M)", 16, 48, kMinimizedOnStartBoxId);
  soundOnArrivalBox = CheckBox(page1, font, L"着信時に音を鳴らす(&A)", 16, 144, kSoundOnArrivalBoxId);
  soundFileBox = CreateControl({.className = L"EDIT", .style = WS_TABSTOP | ES_AUTOHSCROLL | WS_DISABLED,
                                .exStyle = WS_EX_CLIENTEDGE, .x = 16, .y = 162, .width = 265, .height = 20,
                                .parent = page1, .id = kSoundFileBoxId, .font = font});
  soundFileButton = CreateControl({.className = L"BUTTON", .text = L"...",
                                   .style = WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, .x = 280, .y = 162, .width = 17,
                                   .height = 20, .parent = page1, .id = kSoundFileButtonId, .font = font});
  startupShortcutBox = CheckBox(page1, font, L"スタートアップに登録する(&S)", 16, 72, kStartupShortcutBoxId);
  desktopShortcutBox =
      CheckBox(page1, font, L"デスクトップにショートカットを作成する(&D)", 16, 96, kDesktopShortcutBoxId);
  logBox = CheckBox(page1, font, L"送受信ログをとる(&L)", 16, 120, kLogBoxId);

  clearAfterSendBox = CheckBox(page2, font, L"メッセージ送信後クリアする(&C)", 8, 8, kClearAfterSendBoxId);
  quietInWorkingModeBox =
      CheckBox(page2, font, L"仕事中モード時着信音を鳴らさない(&S)", 8, 32, kQuietInWorkingModeBoxId);
  discoveryBox = CheckBox(page2, font, L"ネットワーク上の Vello を探す(&F)", 8, 56, kDiscoveryBoxId);
}

void TGeneralPages::FormShow(const IniFile& ini) {
  SetControlText(portBox, std::to_string(ReadSetting(ini, setting::Port)));
  SetChecked(imeOnStartBox, ReadSetting(ini, setting::Ime));
  // Setting the box from the file acts as a click when it changes its state.
  bool sound = ReadSetting(ini, setting::Sound);
  bool changed = IsChecked(soundOnArrivalBox) != sound;
  SetChecked(soundOnArrivalBox, sound);
  if (changed) OnSoundOnArrivalToggled();
  if (sound) SetControlText(soundFileBox, ReadSetting(ini, setting::SoundFile));
  SetChecked(minimizedOnStartBox, ReadSetting(ini, setting::Mini));
  SetChecked(startupShortcutBox, ReadSetting(ini, setting::Startup));
  SetChecked(desktopShortcutBox, ReadSetting(ini, setting::Desktop));
  SetChecked(logBox, ReadSetting(ini, setting::Log));
  SetChecked(clearAfterSendBox, ReadSetting(ini, setting::Clear));
  SetChecked(quietInWorkingModeBox, ReadSetting(ini, setting::WSound));
  SetChecked(discoveryBox, ReadSetting(ini, setting::Discovery));
}

void TGeneralPages::Save(IniFile& ini) const {
  // The port as typed; a text that is no number reads back as the default.
  WriteSettingText(ini, setting::Port, ControlText(portBox));
  WriteSetting(ini, setting::Ime, IsChecked(imeOnStartBox));
  WriteSetting(ini, setting::Sound, IsChecked(soundOnArrivalBox));
  WriteSetting(ini, setting::SoundFile, ControlText(soundFileBox));
  WriteSetting(ini, setting::Mini, IsChecked(minimizedOnStartBox));
  WriteSetting(ini, setting::Startup, IsChecked(startupShortcutBox));
  WriteSetting(ini, setting::Desktop, IsChecked(desktopShortcutBox));
  WriteSetting(ini, setting::Log, IsChecked(logBox));
  WriteSetting(ini, setting::Clear, IsChecked(clearAfterSendBox));
  WriteSetting(ini, setting::WSound, IsChecked(quietInWorkingModeBox));
  WriteSetting(ini, setting::Discovery, IsChecked(discoveryBox));
}

std::optional<std::string> SoundPathRefusal(std::wstring_view path) {
  if (NarrowExactly(path)) return std::nullopt;
  return FormatText("サウンドファイルのパス %s には、設定ファイルに保存できない文字 (シフトJIS にない文字) が"
                    "含まれています。シフトJIS で書ける場所のファイルを選んでください。",
                    {PathText(std::filesystem::path(path))});
}

std::optional<std::string> TGeneralPages::SoundFileRefusal() const {
  if (IsChecked(soundOnArrivalBox) && GetWindowTextLengthW(soundFileBox) == 0)
    return "サウンドファイル名を入力してください";
  // Stored whether or not sound is on, so looked at either way.
  return SoundPathRefusal(WideControlText(soundFileBox));
}

bool TGeneralPages::HandleCommand(UINT code, HWND control) {
  if (control == soundOnArrivalBox) {
    if (code == BN_CLICKED) OnSoundOnArrivalToggled();
    return true;
  }
  if (control == soundFileButton) {
    if (code == BN_CLICKED) OnChooseSoundFileClicked();
    return true;
  }
  return false;
}

void TGeneralPages::OnSoundOnArrivalToggled() {
  bool on = IsChecked(soundOnArrivalBox);
  EnableWindow(soundFileBox, on);
  EnableWindow(soundFileButton, on);
}

void TGeneralPages::OnChooseSoundFileClicked() {
  // OpenDialog1. A long buffer, so a deep path is not cut.
  std::vector<wchar_t> file(32768, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = GetAncestor(soundFileButton, GA_ROOT);
  ofn.lpstrFilter = kSoundFileFilter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&ofn)) return;
  // A path the settings file cannot hold is refused at once; the box keeps
  // what it had.
  if (std::optional<std::string> refusal = SoundPathRefusal(file.data())) {
    ShowMessageBox(ofn.hwndOwner, *refusal, "Vello - Error", MB_OK | MB_ICONERROR);
    return;
  }
  SetWindowTextW(soundFileBox, file.data());
}

}  // namespace vello
