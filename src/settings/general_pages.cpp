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
  kEdit1 = 2101, kCheckBox1, kCheckBox3, kCheckBox2, kEdit3, kButton5, kCheckBox4, kCheckBox5, kCheckBox6,
  kCheckBox9, kCheckBox10, kLabel1, kCheckBox11
};

HWND CheckBox(HWND page, HFONT font, const wchar_t* caption, int x, int y, UINT id) {
  return CreateControl({.className = L"BUTTON", .text = caption, .style = WS_TABSTOP | BS_AUTOCHECKBOX, .x = x,
                        .y = y, .width = 0, .height = 17, .widthPadding = 20, .parent = page, .id = id,
                        .font = font});
}
}  // namespace

TGeneralPages::TGeneralPages(HWND page1, HWND page2, HFONT font) {
  Label1 = CreateControl({.text = L"ポート(&P):", .x = 16, .y = 4, .parent = page1, .id = kLabel1, .font = font});
  Edit1 = CreateControl({.className = L"EDIT", .text = L"5963", .style = WS_TABSTOP | ES_AUTOHSCROLL,
                         .exStyle = WS_EX_CLIENTEDGE, .x = 72, .y = 0, .width = 49, .height = 20, .parent = page1,
                         .id = kEdit1, .font = font});
  CheckBox1 = CheckBox(page1, font, L"起動時にIMEをON(&I)", 16, 24, kCheckBox1);
  CheckBox3 = CheckBox(page1, font, L"起動時に最小化で実行する(&M)", 16, 48, kCheckBox3);
  CheckBox2 = CheckBox(page1, font, L"着信時に音を鳴らす(&A)", 16, 144, kCheckBox2);
  Edit3 = CreateControl({.className = L"EDIT", .style = WS_TABSTOP | ES_AUTOHSCROLL | WS_DISABLED,
                         .exStyle = WS_EX_CLIENTEDGE, .x = 16, .y = 162, .width = 265, .height = 20,
                         .parent = page1, .id = kEdit3, .font = font});
  Button5 = CreateControl({.className = L"BUTTON", .text = L"...", .style = WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED,
                           .x = 280, .y = 162, .width = 17, .height = 20, .parent = page1, .id = kButton5,
                           .font = font});
  CheckBox4 = CheckBox(page1, font, L"スタートアップに登録する(&S)", 16, 72, kCheckBox4);
  CheckBox5 = CheckBox(page1, font, L"デスクトップにショートカットを作成する(&D)", 16, 96, kCheckBox5);
  CheckBox6 = CheckBox(page1, font, L"送受信ログをとる(&L)", 16, 120, kCheckBox6);

  CheckBox9 = CheckBox(page2, font, L"メッセージ送信後クリアする(&C)", 8, 8, kCheckBox9);
  CheckBox10 = CheckBox(page2, font, L"仕事中モード時着信音を鳴らさない(&S)", 8, 32, kCheckBox10);
  CheckBox11 = CheckBox(page2, font, L"ネットワーク上の Vello を探す(&F)", 8, 56, kCheckBox11);
}

void TGeneralPages::FormShow(const IniFile& ini) {
  SetControlText(Edit1, std::to_string(ReadSetting(ini, setting::Port)));
  SetChecked(CheckBox1, ReadSetting(ini, setting::Ime));
  // Setting the box from the file acts as a click when it changes its state.
  bool sound = ReadSetting(ini, setting::Sound);
  bool changed = IsChecked(CheckBox2) != sound;
  SetChecked(CheckBox2, sound);
  if (changed) CheckBox2Click();
  if (sound) SetControlText(Edit3, ReadSetting(ini, setting::SoundFile));
  SetChecked(CheckBox3, ReadSetting(ini, setting::Mini));
  SetChecked(CheckBox4, ReadSetting(ini, setting::Startup));
  SetChecked(CheckBox5, ReadSetting(ini, setting::Desktop));
  SetChecked(CheckBox6, ReadSetting(ini, setting::Log));
  SetChecked(CheckBox9, ReadSetting(ini, setting::Clear));
  SetChecked(CheckBox10, ReadSetting(ini, setting::WSound));
  SetChecked(CheckBox11, ReadSetting(ini, setting::Discovery));
}

void TGeneralPages::Save(IniFile& ini) const {
  // The port as typed; a text that is no number reads back as the default.
  WriteSettingText(ini, setting::Port, ControlText(Edit1));
  WriteSetting(ini, setting::Ime, IsChecked(CheckBox1));
  WriteSetting(ini, setting::Sound, IsChecked(CheckBox2));
  WriteSetting(ini, setting::SoundFile, ControlText(Edit3));
  WriteSetting(ini, setting::Mini, IsChecked(CheckBox3));
  WriteSetting(ini, setting::Startup, IsChecked(CheckBox4));
  WriteSetting(ini, setting::Desktop, IsChecked(CheckBox5));
  WriteSetting(ini, setting::Log, IsChecked(CheckBox6));
  WriteSetting(ini, setting::Clear, IsChecked(CheckBox9));
  WriteSetting(ini, setting::WSound, IsChecked(CheckBox10));
  WriteSetting(ini, setting::Discovery, IsChecked(CheckBox11));
}

std::optional<std::string> SoundPathRefusal(std::wstring_view path) {
  if (NarrowExactly(path)) return std::nullopt;
  return FormatText("サウンドファイルのパス %s には、設定ファイルに保存できない文字 (シフトJIS にない文字) が"
                    "含まれています。シフトJIS で書ける場所のファイルを選んでください。",
                    {PathText(std::filesystem::path(path))});
}

std::optional<std::string> TGeneralPages::SoundFileRefusal() const {
  if (IsChecked(CheckBox2) && GetWindowTextLengthW(Edit3) == 0) return "サウンドファイル名を入力してください";
  // Stored whether or not sound is on, so looked at either way.
  return SoundPathRefusal(WideControlText(Edit3));
}

bool TGeneralPages::HandleCommand(UINT code, HWND control) {
  if (control == CheckBox2) {
    if (code == BN_CLICKED) CheckBox2Click();
    return true;
  }
  if (control == Button5) {
    if (code == BN_CLICKED) Button5Click();
    return true;
  }
  return false;
}

void TGeneralPages::CheckBox2Click() {
  bool on = IsChecked(CheckBox2);
  EnableWindow(Edit3, on);
  EnableWindow(Button5, on);
}

void TGeneralPages::Button5Click() {
  // OpenDialog1. A long buffer, so a deep path is not cut.
  std::vector<wchar_t> file(32768, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = GetAncestor(Button5, GA_ROOT);
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
  SetWindowTextW(Edit3, file.data());
}

}  // namespace vello
