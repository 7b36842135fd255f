#pragma once
// The application's taskbar window: a hidden-size top-level window that owns
// the main window and every balloon and carries the program's one taskbar
// button. Hiding it removes the button; restoring it brings the button back
// and un-minimises the program; minimising it hides the windows it owns.
#include "platform/window.h"

namespace vello {

class ApplicationWindow : public Window {
 public:
  static constexpr wchar_t kClassName[] = L"TApplication";
  ApplicationWindow();
  void SetTitle(const std::string& title);
  void SetMainWindow(HWND main) { main_ = main; }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  HWND main_ = nullptr;
};

}  // namespace vello
