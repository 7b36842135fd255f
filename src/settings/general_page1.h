#pragma once
// The settings dialog's page "一般(1)": the port, start-up options, the
// arrival sound, the shortcuts and the log, held in the controls and stored
// only at OK.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "settings/setup_page_content.h"

namespace vello {

class TGeneralPage1 : public SetupPageContent {
 public:
  // Every control from the settings file.
  bool Load() override;
  // Sound switched on without a file, a path the settings file cannot hold,
  // or a port the program could not listen on (a text that is no number at
  // all is stored as typed).
  std::optional<std::string> Refusal() const override;
  // The keys, in this order: port (as typed), IME, Sound, Sound-File, mini,
  // Startup, Desktop, Log.
  void Save(IniFile& settings) const override;
  // The start-up and desktop shortcuts, made or removed on every OK, changed or not.
  void Apply() const override;
  bool HandleCommand(UINT code, HWND control) override;

  // Why OK cannot store the sound-file box as it stands, or nothing.
  std::optional<std::string> SoundFileRefusal() const;
  void OnSoundOnArrivalToggled();
  void OnChooseSoundFileClicked();

  // In tab order.
  HWND portLabel = nullptr, portBox = nullptr, imeOnStartBox = nullptr, minimizedOnStartBox = nullptr,
       soundOnArrivalBox = nullptr, soundFileBox = nullptr, soundFileButton = nullptr, startupShortcutBox = nullptr,
       desktopShortcutBox = nullptr, logBox = nullptr;

 protected:
  void BuildControls(HWND page, HFONT font) override;
};

// The settings file holds the sound file's path as code page 932 text, as
// other copies of the program read it: a path with a character outside that
// code page (a folder named "Müller" or in Hangul) cannot be stored and is
// refused with this text (the path shown with "?" for such characters),
// never stored as another path. Nothing when the path can be stored.
std::optional<std::string> SoundPathRefusal(std::wstring_view path);

// The sound file dialog's filter: one entry, the sound files.
inline constexpr wchar_t kSoundFileFilter[] = L"サウンドファイル\0*.wav;*.mid\0";

// A check box of the general pages, as wide as its caption.
HWND GeneralPageCheckBox(HWND page, HFONT font, const wchar_t* caption, int x, int y, UINT id);

}  // namespace vello
