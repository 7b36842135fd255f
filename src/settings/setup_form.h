#pragma once
// TSetupForm: the settings dialog. Created once at start-up, hidden; shown
// modeless on a chosen page; OK and Cancel hide it again.
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

  void CreateForm();
  // Selects the page, then shows the dialog (or brings it to the front).
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
  TTimerPage& timerPage() { return *timerPage_; }
  TGeneralPages& generalPages() { return *generalPages_; }
  TDestinationsPage& destinationsPage() { return *destinationsPage_; }
  TPhrasesPage& phrasesPage() { return *phrasesPage_; }
  TVersionPage& versionPage() { return *versionPage_; }
  HFONT font() const { return font_.get(); }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void SelectPage(int index);
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
