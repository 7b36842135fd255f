// The composer's tools: font, background colour, importance, the
// destination box, fixed phrases, and ApplySettings.
#include "app/main_form.h"

#include <commdlg.h>

#include "common/file_paths.h"
#include "common/vello_error.h"
#include "discovery/found_destinations.h"
#include "platform/colors.h"
#include "platform/computer_name.h"
#include "platform/controls.h"
#include "platform/executable_path.h"
#include "platform/fonts.h"
#include "platform/timing_points.h"
#include "platform/win_text.h"
#include "settings/destination_list.h"
#include "settings/network_browser.h"
#include "settings/phrase_store.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"

namespace vello {

bool TMainForm::ImportanceTicked() const { return SendMessageW(importantBox, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TMainForm::SetImportance(bool ticked) {
  FImportanceKnown = true;
  bool was = ImportanceTicked();
  SendMessageW(importantBox, BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
  if (was != ticked) OnImportantToggled();
}

void TMainForm::OnImportantToggled() {
  FImportanceKnown = true;
  // The caption's colour follows the tick (WM_CTLCOLORBTN reads it).
  InvalidateRect(importantBox, nullptr, TRUE);
}

std::string TMainForm::DestinationText() const { return ControlText(destinationBox); }

void TMainForm::SetDestinationText(const std::string& text) { SetControlText(destinationBox, text); }

std::vector<std::string> TMainForm::DestinationItems() const { return ComboRows(destinationBox); }

std::vector<std::string> TMainForm::NetworkDestinations() const {
  std::vector<FoundDestination> found;
  for (const FoundCopy& copy : FDiscovery.Copies()) found.push_back({copy.Destination(), copy.address});
  return WithFoundCopies(ListNetworkComputers(), found);
}

std::vector<std::string> TMainForm::RefreshedDestinations() const {
  return RefreshDestinationList(DestinationItems(), NetworkDestinations());
}

void TMainForm::OnDestinationListOpening() { ReplaceComboRows(destinationBox, RefreshedDestinations()); }

void TMainForm::OnDestinationEdited() {
  int selected = static_cast<int>(SendMessageW(destinationBox, CB_GETCURSEL, 0, 0));
  std::string text = DestinationText();
  // During a selection change the edit text is not updated yet.
  if (selected >= 0) text = ComboRow(destinationBox, selected);
  int count = static_cast<int>(SendMessageW(destinationBox, CB_GETCOUNT, 0, 0));
  if (text != kSeparator || count <= 1) return;
  int next = EntryAfterSeparator(selected, count);
  SendMessageW(destinationBox, CB_SETCURSEL, static_cast<WPARAM>(next), 0);
}

void TMainForm::OnFontChosen() {
  // The font dialog opens on the composer's font.
  MessageLook look = FComposer.Look();
  LOGFONTW lf = LogFontFor(look.fontName, look.fontSize, look.style());
  CHOOSEFONTW cf{};
  cf.lStructSize = sizeof cf;
  cf.hwndOwner = hwnd();
  cf.lpLogFont = &lf;
  cf.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT;
  cf.rgbColors = ToColorRef(look.fontColor);
  // What is chosen becomes the composer's look and is saved.
  IniFile ini = SettingsFile();
  if (!ChooseFontW(&cf)) return;
  look.fontName = Narrow(lf.lfFaceName);
  look.fontSize = cf.iPointSize / 10;
  look.fontColor = static_cast<int32_t>(cf.rgbColors);
  look.fontStyle = StyleOf(lf).Bits();
  FComposer.SetLook(look);
  MessageLook stored = FComposer.Look();
  WriteSetting(ini, setting::EditFontColor, stored.fontColor);
  WriteSetting(ini, setting::EditFontSize, stored.fontSize);
  WriteSetting(ini, setting::EditFontName, stored.fontName);
  WriteSetting(ini, setting::EditFontStyle, stored.fontStyle);
}

void TMainForm::OnBackgroundColourChosen() {
  MessageLook look = FComposer.Look();
  static COLORREF custom[16] = {};
  CHOOSECOLORW cc{};
  cc.lStructSize = sizeof cc;
  cc.hwndOwner = hwnd();
  cc.rgbResult = ToColorRef(look.color);
  cc.lpCustColors = custom;
  cc.Flags = CC_RGBINIT;
  IniFile ini = SettingsFile();
  if (!ChooseColorW(&cc)) return;
  look.color = static_cast<int32_t>(cc.rgbResult);
  FComposer.SetLook(look);
  WriteSetting(ini, setting::EditColor, look.color);
}

void TMainForm::OnPhraseChosen(UINT id) {
  std::size_t index = id - mainids::FirstPhrase;
  if (index >= FPhrases.size()) return;
  FComposer.ReplaceSelection(FPhrases[index]);
}

void TMainForm::ApplySettings() { ApplySettingsFrom(SettingsFile()); }

void TMainForm::ApplySettingsFrom(const IniFile& ini) {
  // The port, the log, the sounds and the discovery switch.
  int port = ReadSetting(ini, setting::Port);
  // A number the system would cut to 16 bits must not quietly become another port.
  if (!IsPortNumber(port)) throw VelloError(NotAPortText(port));
  bool log = ReadSetting(ini, setting::Log);
  FInbox.SetLogOn(log);
  FOutbox.SetLogOn(log);
  FInbox.SetSound(ReadSetting(ini, setting::Sound), ReadSetting(ini, setting::SoundFile));
  // A changed port takes effect at once: the server listens again there,
  // and the other copies hear of it.
  VELLO_TIMING_ONLY(timing::Mark("start.ApplySettings read");)
  FInbox.Listen(port);
  VELLO_TIMING_ONLY(timing::Mark("start.ApplySettings listening");)
  FOutbox.SetPort(port);
  int waitDays = ReadSetting(ini, setting::WaitDays);
  if (waitDays < 1 || waitDays > 365) waitDays = setting::WaitDays.fallback;
  FOutbox.SetLifetimeDays(waitDays);
  // Announced from the message loop: at start-up the window does not wait
  // for the network interfaces and the multicast socket.
  Defer([this, port, discovery = ReadSetting(ini, setting::Discovery)] {
    FDiscovery.SetEnabled(discovery);
    FDiscovery.Start(ComputerName(), port);
    VELLO_TIMING_ONLY(timing::Mark("start.discovery started");)
  });
  // The Insert menu, rebuilt from the fixed phrase file.
  while (GetMenuItemCount(insertMenu) > 0) DeleteMenu(insertMenu, 0, MF_BYPOSITION);
  FPhrases.clear();
  // The whole file read once, however many categories it holds.
  for (const PhraseCategory& category : PhraseStore(FileBesideExecutable(kPhrasesEnding)).Load()) {
    HMENU sub = CreatePopupMenu();
    AppendMenuW(insertMenu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), Widen(category.name).c_str());
    for (const std::string& phrase : category.phrases) {
      UINT id = mainids::FirstPhrase + static_cast<UINT>(FPhrases.size());
      if (id > mainids::LastPhrase) break;
      FPhrases.push_back(phrase);
      // Owner-drawn captions would lose nothing, but a string item turns "&"
      // into an access key; MFT_STRING with the text doubled keeps it visible.
      std::wstring caption;
      for (wchar_t c : Widen(phrase)) {
        caption += c;
        if (c == L'&') caption += L'&';
      }
      AppendMenuW(sub, MF_STRING, id, caption.c_str());
    }
  }
  DrawMenuBar(hwnd());
}

}  // namespace vello
