#pragma once
// TSetupForm: the settings dialog. Built when it is first opened, not at
// start-up: the main window does not wait for it. Shown modeless on a
// chosen page; OK and Cancel hide it again, and it lives on hidden. The
// timer and version pages, which read nothing when the dialog opens, are
// built when they are first selected.
//
// The frame knows its pages only through the table of pages in
// setup_form.cpp (caption, when built, what makes it) and the interface
// SetupPageContent; it goes over them in tab order for everything.
#include <windows.h>

#include <memory>
#include <string>

#include "platform/unique_handle.h"
#include "platform/window.h"
#include "settings/setup_page_content.h"

namespace vello {

class SetupHost;
class TScheduler;

// The dialog's pages, in the order of their tabs.
enum class SetupPage { General1, General2, Destinations, Phrases, Timer, Version };
inline constexpr int kSetupPageCount = static_cast<int>(SetupPage::Version) + 1;

class TSetupForm : public Window {
 public:
  static constexpr wchar_t kClassName[] = L"TSetupForm";
  TSetupForm(SetupHost& host, TScheduler& scheduler);
  ~TSetupForm() override;

  // Builds the window: tabs, buttons and the pages that read files when
  // the dialog opens (so that a file that cannot be read stops the opening).
  void CreateForm();
  bool built() const { return hwnd() != nullptr; }
  // Builds the dialog if needed, selects the page, then shows the dialog
  // (or brings it to the front).
  void ShowPage(SetupPage page);
  SetupPage currentPage() const;
  // Keyboard navigation for the modeless dialog, from the message loop.
  bool PreTranslate(MSG& msg);

  void FormShow();
  void FormDestroy();
  void OnCancelClicked();
  void OnOkClicked();
  void LoadSchedule();

  HWND pageTabs = nullptr;
  HWND cancelButton = nullptr, okButton = nullptr;
  // The window that holds the page's controls.
  HWND page(SetupPage which) const { return pageWindows_[static_cast<int>(which)]; }
  // What the page holds, built first (with the dialog) if it is not yet;
  // as its own class with content<TTimerPage>(SetupPage::Timer).
  SetupPageContent& content(SetupPage which);
  template <class Page>
  Page& content(SetupPage which) {
    return dynamic_cast<Page&>(content(which));
  }
  bool pageBuilt(SetupPage page) const;
  HFONT font() const { return font_.get(); }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void SelectPage(SetupPage page);
  // Builds the page's controls if they are not yet; a page built while the
  // dialog is shown is filled as showing the dialog fills it.
  void BuildPage(SetupPage page);
  SetupHost& host_;
  TScheduler& scheduler_;
  UniqueFont font_;
  // Indexed by SetupPage; the contents are made with the window.
  HWND pageWindows_[kSetupPageCount] = {};
  std::unique_ptr<SetupPageContent> contents_[kSetupPageCount];
};

}  // namespace vello
