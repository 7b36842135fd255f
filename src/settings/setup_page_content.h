#pragma once
// What one page of the settings dialog offers the dialog's frame. The frame
// holds one of these for each tab and does everything by going over them in
// tab order: building, filling at each opening, checking and saving at OK,
// and passing on the notifications of the page's controls. A page overrides
// only what it takes part in.
#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>

#include "settings/ini_file.h"

namespace vello {

class SetupPageContent {
 public:
  virtual ~SetupPageContent() = default;

  // Makes the page's controls in its window, with the dialog's font: once,
  // when the dialog is built or when the page is first selected.
  void Build(HWND window, HFONT font) {
    BuildControls(window, font);
    built_ = true;
  }
  bool built() const { return built_; }

  // At each opening of the dialog, in tab order (also for a page not yet
  // built). A file the dialog cannot open without throws VelloError, which
  // keeps the dialog shut. A page that shows its own trouble returns false,
  // and the dialog opens on it.
  virtual bool Load() { return true; }

  // At OK, for built pages in tab order: first every page is asked why its
  // controls cannot be stored as they stand (a refusal stops OK before
  // anything is written); then every page saves its keys; then every page
  // applies what lies outside the settings file (shortcuts, the main
  // window's flags).
  virtual std::optional<std::string> Refusal() const { return std::nullopt; }
  virtual void Save(IniFile&) const {}
  virtual void Apply() const {}

  // Notifications of the page's controls, which the page's window passes on
  // to the dialog: true when the control was this page's.
  virtual bool HandleCommand(UINT /*code*/, HWND /*control*/) { return false; }
  virtual bool HandleNotify(NMHDR* /*header*/) { return false; }
  // WM_CTLCOLORSTATIC: the brush for a control the page colours itself, or null.
  virtual HBRUSH ControlColor(HDC /*dc*/, HWND /*control*/) const { return nullptr; }

 protected:
  virtual void BuildControls(HWND window, HFONT font) = 0;

 private:
  bool built_ = false;
};

}  // namespace vello
