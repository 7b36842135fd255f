#pragma once
// The settings dialog's pages "一般(1)" and "一般(2)": the options of the
// "setup" section, held in the controls and stored only at OK.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "settings/ini_file.h"

namespace vello {

class TGeneralPages {
 public:
  TGeneralPages(HWND page1, HWND page2, HFONT font);

  // The dialog's FormShow, step 1: every control from the settings file.
  void FormShow(const IniFile& settings);
  // The dialog's OK, step 2: the keys, in this order: port (as typed), IME,
  // Sound, Sound-File, mini, Startup, Desktop, Log, Clear, WSound, Discovery.
  void Save(IniFile& settings) const;
  // Why OK cannot store the sound-file box as it stands, or nothing: sound
  // switched on without a file, or a path the settings file cannot hold.
  std::optional<std::string> SoundFileRefusal() const;
  // A control's notification; true when it was one of these pages'.
  bool HandleCommand(UINT code, HWND control);

  void OnSoundOnArrivalToggled();
  void OnChooseSoundFileClicked();

  // "一般(1)", in tab order.
  HWND portLabel = nullptr, portBox = nullptr, imeOnStartBox = nullptr, minimizedOnStartBox = nullptr,
       soundOnArrivalBox = nullptr, soundFileBox = nullptr, soundFileButton = nullptr, startupShortcutBox = nullptr,
       desktopShortcutBox = nullptr, logBox = nullptr;
  // "一般(2)"; discoveryBox switches finding other copies on the network on or off.
  HWND clearAfterSendBox = nullptr, quietInWorkingModeBox = nullptr, discoveryBox = nullptr;
};

// The settings file holds the sound file's path as code page 932 text, as
// other copies of the program read it: a path with a character outside that
// code page (a folder named "Müller" or in Hangul) cannot be stored and is
// refused with this text (the path shown with "?" for such characters),
// never stored as another path. Nothing when the path can be stored.
std::optional<std::string> SoundPathRefusal(std::wstring_view path);

// OpenDialog1's filter: one entry, the sound files.
inline constexpr wchar_t kSoundFileFilter[] = L"サウンドファイル\0*.wav;*.mid\0";

}  // namespace vello
