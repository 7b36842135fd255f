#include "settings/general_page1.h"

#include <commdlg.h>

#include <filesystem>
#include <vector>

#include "common/native_path.h"
#include "common/text_format.h"
#include "platform/controls.h"
#include "platform/error_display.h"
#include "platform/win_text.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "settings/shortcuts.h"

namespace vello {

namespace {
// Identifiers as the dialog has always had them; "一般(2)" holds 2110, 2111 and 2113.
enum : UINT {
  kPortBoxId = 2101, kImeOnStartBoxId, kMinimizedOnStartBoxId, kSoundOnArrivalBoxId, kSoundFileBoxId,
  kSoundFileButtonId, kStartupShortcutBoxId, kDesktopShortcutBoxId, kLogBoxId, kPortLabelId = 2112
};
}  // namespace

HWND GeneralPageCheckBox(HWND page, HFONT font, const wchar_t* caption, int x, int y, UINT id) {
  return CreateControl({.className = L"BUTTON", .text = caption, .style = WS_TABSTOP | BS_AUTOCHECKBOX, .x = x,
                        .y = y, .width = 0, .height = 17, .widthPadding = 20, .parent = page, .id = id,
                        .font = font});
}

void TGeneralPage1::BuildControls(HWND page, HFONT font) {
  portLabel =
      CreateControl({.text = L"ポート(&P):", .x = 16, .y = 4, .parent = page, .id = kPortLabelId, .font = font});
  portBox = CreateControl({.className = L"EDIT", .text = L"5963", .style = WS_TABSTOP | ES_AUTOHSCROLL,
                           .exStyle = WS_EX_CLIENTEDGE, .x = 72, .y = 0, .width = 49, .height = 20, .parent = page,
                           .id = kPortBoxId, .font = font});
  imeOnStartBox = GeneralPageCheckBox(page, font, L"起動時にIMEをON(&I)", 16, 24, kImeOnStartBoxId);
  minimizedOnStartBox = GeneralPageCheckBox(page, font, L"起動時に最小化で実行する(&M)", 16, 48, kMinimizedOnStartBoxId);
  soundOnArrivalBox = GeneralPageCheckBox(page, font, L"着信時に音を鳴らす(&A)", 16, 144, kSoundOnArrivalBoxId);
  soundFileBox = CreateControl({.className = L"EDIT", .style = WS_TABSTOP | ES_AUTOHSCROLL | WS_DISABLED,
                                .exStyle = WS_EX_CLIENTEDGE, .x = 16, .y = 162, .width = 265, .height = 20,
                                .parent = page, .id = kSoundFileBoxId, .font = font});
  soundFileButton = CreateControl({.className = L"BUTTON", .text = L"...",
                                   .style = WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, .x = 280, .y = 162, .width = 17,
                                   .height = 20, .parent = page, .id = kSoundFileButtonId, .font = font});
  startupShortcutBox = GeneralPageCheckBox(page, font, L"スタートアップに登録する(&S)", 16, 72, kStartupShortcutBoxId);
  desktopShortcutBox =
      GeneralPageCheckBox(page, font, L"デスクトップにショートカットを作成する(&D)", 16, 96, kDesktopShortcutBoxId);
  logBox = GeneralPageCheckBox(page, font, L"送受信ログをとる(&L)", 16, 120, kLogBoxId);
}

bool TGeneralPage1::Load() {
  IniFile ini = SettingsFile();
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
  return true;
}

void TGeneralPage1::Save(IniFile& ini) const {
  // The port as typed; a text that is no number reads back as the default.
  WriteSettingText(ini, setting::Port, ControlText(portBox));
  WriteSetting(ini, setting::Ime, IsChecked(imeOnStartBox));
  WriteSetting(ini, setting::Sound, IsChecked(soundOnArrivalBox));
  WriteSetting(ini, setting::SoundFile, ControlText(soundFileBox));
  WriteSetting(ini, setting::Mini, IsChecked(minimizedOnStartBox));
  WriteSetting(ini, setting::Startup, IsChecked(startupShortcutBox));
  WriteSetting(ini, setting::Desktop, IsChecked(desktopShortcutBox));
  WriteSetting(ini, setting::Log, IsChecked(logBox));
}

void TGeneralPage1::Apply() const {
  std::filesystem::path startup = ShellFolder(kStartupFolder);
  if (IsChecked(startupShortcutBox)) MakeShortcut(startup);
  else RemoveShortcut(startup);
  std::filesystem::path desktop = ShellFolder(kDesktopFolder);
  if (IsChecked(desktopShortcutBox)) MakeShortcut(desktop);
  else RemoveShortcut(desktop);
}

std::optional<std::string> SoundPathRefusal(std::wstring_view path) {
  if (NarrowExactly(path)) return std::nullopt;
  return FormatText("サウンドファイルのパス %s には、設定ファイルに保存できない文字 (シフトJIS にない文字) が"
                    "含まれています。シフトJIS で書ける場所のファイルを選んでください。",
                    {PathText(std::filesystem::path(path))});
}

std::optional<std::string> TGeneralPage1::Refusal() const {
  // The sound file first, then the port.
  if (std::optional<std::string> refusal = SoundFileRefusal()) return refusal;
  return PortTextRefusal(ControlText(portBox));
}

std::optional<std::string> TGeneralPage1::SoundFileRefusal() const {
  if (IsChecked(soundOnArrivalBox) && GetWindowTextLengthW(soundFileBox) == 0)
    return "サウンドファイル名を入力してください";
  // Stored whether or not sound is on, so looked at either way.
  return SoundPathRefusal(WideControlText(soundFileBox));
}

bool TGeneralPage1::HandleCommand(UINT code, HWND control) {
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

void TGeneralPage1::OnSoundOnArrivalToggled() {
  bool on = IsChecked(soundOnArrivalBox);
  EnableWindow(soundFileBox, on);
  EnableWindow(soundFileButton, on);
}

void TGeneralPage1::OnChooseSoundFileClicked() {
  // The sound file dialog. A long buffer, so a deep path is not cut.
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
