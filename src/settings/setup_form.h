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
  void ShowPage(int index);
  int currentPage() const;
  // Keyboard navigation for the modeless dialog, from the message loop.
  bool PreTranslate(MSG& msg);

  void FormShow();
  void FormDestroy();
  void Button1Click();
  void Button2Click();
  void LoadSchedule();

  HWND PageControl1 = nullptr;
  HWND Button1 = nullptr, Button2 = nullptr;
  HWND Pages[6] = {};
  // The pages, built first if they are not yet.
  TTimerPage& timerPage();
  TGeneralPages& generalPages();
  TDestinationsPage& destinationsPage();
  TPhrasesPage& phrasesPage();
  TVersionPage& versionPage();
  bool pageBuilt(int index) const;
  HFONT font() const { return font_.get(); }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void SelectPage(int index);
  // Builds the page's controls if they are not yet; a page built while the
  // dialog is shown is filled as showing the dialog fills it.
  void BuildPage(int index);
  SetupHost& host_;
  TScheduler& scheduler_;
  UniqueFont font_;
  std::unique_ptr<TGeneralPages> generalPages_;
  std::unique_ptr<TDestinationsPage> destinationsPage_;
  std::unique_ptr<TPhrasesPage> phrasesPage_;
  std::unique_ptr<TTimerPage> timerPage_;
  std::unique_ptr<TVersionPage> versionPage_;
};

}  // namespace vello
