#pragma once
// TSetupForm: the settings dialog. Built when it is first opened, not at
// start-up: the main window does not wait for it. Shown modeless on a
// chosen page; OK and Cancel hide it again, and it lives on hidden. The
// timer and version pages, which read nothing when the dialog opens, are
// built when they are first selected.
#include <windows.h>

#include <memory>
#include <string>

#include "platform/unique_handle.h"
#include "platform/window.h"

namespace vello {

class SetupHost;
class TScheduler;
class TTimerPage;
class TGeneralPages;
class TDestinationsPage;
class TPhrasesPage;
class TVersionPage;

// The dialog's pages, in the order of their tabs.
enum class SetupPage { General1, General2, Destinations, Phrases, Timer, Version };
inline constexpr int kSetupPageCount = 6;

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
  HWND page(SetupPage which) const { return pages_[static_cast<int>(which)]; }
  // The pages, built first if they are not yet.
  TTimerPage& timerPage();
  TGeneralPages& generalPages();
  TDestinationsPage& destinationsPage();
  TPhrasesPage& phrasesPage();
  TVersionPage& versionPage();
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
  HWND pages_[kSetupPageCount] = {};
  std::unique_ptr<TGeneralPages> generalPages_;
  std::unique_ptr<TDestinationsPage> destinationsPage_;
  std::unique_ptr<TPhrasesPage> phrasesPage_;
  std::unique_ptr<TTimerPage> timerPage_;
  std::unique_ptr<TVersionPage> versionPage_;
};

}  // namespace vello
