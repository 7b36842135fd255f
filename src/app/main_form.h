#pragma once
// TMainForm: the composer window. It holds the controls and composes the
// program's owners (the inbox, the outbox, the tray icon, the scheduler,
// discovery), wiring them to each other and offering each the narrow calls
// it needs of a window: InboxHost, OutboxHost, what a balloon's reply
// needs (BalloonHost) and what the settings dialog needs (SetupHost). Its
// handlers live in files by concern: main_form.cpp (start-up, layout,
// menus, exit), main_form_tray.cpp, main_form_composer.cpp,
// main_form_send.cpp, main_form_receive.cpp.
#include <windows.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/composer.h"
#include "app/tray_icon.h"
#include "discovery/discovery.h"
#include "messaging/balloons.h"
#include "messaging/inbox.h"
#include "messaging/outbox.h"
#include "messaging/waiting_window.h"
#include "common/file_paths.h"
#include "platform/executable_path.h"
#include "platform/unique_handle.h"
#include "platform/window.h"
#include "schedule/scheduler.h"
#include "settings/ini_file.h"
#include "settings/setup_host.h"

namespace vello {

class ApplicationWindow;
class TSetupForm;

// Menu and control identifiers of the main window.
namespace mainids {
enum : UINT {
  // The tool bar's buttons and the main window's controls.
  FontButton = 101, ColourButton, SendButton, ImportantBox, DestinationBox, ComposerBox, CoolBar, ToolBar,
  // The menu bar's items: File, Edit, Send, Help.
  WorkingModeItem = 201, OpenLogItem, TimerItem, WaitingItem, CloseItem, FontItem, BackgroundColourItem, SettingsItem, SendItem,
  HelpItem, VersionItem,
  // The tray icon's menu.
  TrayWorkingModeItem = 301, TraySettingsItem, TrayWaitingItem, TrayCancelItem, TrayExitItem,
  FirstPhrase = 0x1000, LastPhrase = 0xEFFF,  // the phrase items of the Insert menu
};
}

class TMainForm : public Window, public InboxHost, public OutboxHost, public BalloonHost, public SetupHost {
 public:
  static constexpr wchar_t kClassName[] = L"TMainForm";

  explicit TMainForm(ApplicationWindow& application);
  ~TMainForm() override;

  // Creates the window; FormCreate runs inside.
  void CreateForm();
  void SetSetupForm(TSetupForm* setup) { FSetupForm = setup; }
  ApplicationWindow& application() { return FApplication; }

  // The owners it composes.
  Inbox& inbox() { return FInbox; }
  Outbox& outbox() { return FOutbox; }
  TWaitingForm& waitingForm() { return FWaitingForm; }
  TTrayIcon& tray() { return FTrayIcon; }
  TScheduler& scheduler() { return FScheduler; }
  TComposer& composer() { return FComposer; }
  TDiscovery& discovery() { return FDiscovery; }

  // The window's own flags.
  bool WorkMode() const { return FWorkMode; }
  bool ClearAfterSend() const { return FClearAfterSend; }
  // How many steps of FormCreate ran (an error stops it half-way).
  int FormCreateStepsDone() const { return FFormCreateStepsDone; }

  // SetupHost.
  HWND MainWindow() const override { return hwnd(); }
  void ApplySettings() override;
  void SetClearAfterSend(bool clear) override { FClearAfterSend = clear; }
  void SetSoundInWorkMode(bool sound) override { FInbox.SetSoundPermitted(sound); }
  MessageLook ComposerLook() const override { return FComposer.Look(); }
  std::string ComposerLinesText() const override { return FComposer.LinesText(); }
  std::string ComposerPlainText() const override { return FComposer.PlainText(); }
  std::vector<std::string> RefreshedDestinations() const override;

  // InboxHost.
  HWND BalloonOwner() const override;
  bool WorkingMode() const override { return FWorkMode; }
  void BalloonShown(HWND balloon) override;
  void ArrivalNoticed(std::size_t notShown) override;

  // OutboxHost.
  HWND BoxOwner() const override { return hwnd(); }
  void Delivered() override;
  void WaitingChanged() override;
  bool KnowsDestination(const std::string& host) const override;
  bool ListedRunning(const std::string& host) const override;
  void ScheduledDelivered(const std::string& scheduleKey) override { FScheduler.MarkDelivered(scheduleKey); }

  // BalloonHost.
  void AcknowledgeArrival() override;
  void ReplyTo(const std::string& destination) override;
  void SetComposerText(const std::string& text) override { FComposer.SetText(text); }

  // The destination box and the importance box, as the user sees them.
  std::string DestinationText() const;
  void SetDestinationText(const std::string& text);
  std::vector<std::string> DestinationItems() const;
  bool ImportanceTicked() const;
  void SetImportance(bool ticked);

  // Controls and menus, named as the window layout names them. The window
  // owns its controls and its menu bar (fileMenu, editMenu, insertMenu, helpMenu).
  HWND coolBar = nullptr, toolBar = nullptr, importantBox = nullptr, destinationBox = nullptr;
  HMENU menuBar = nullptr, fileMenu = nullptr, editMenu = nullptr, insertMenu = nullptr, helpMenu = nullptr;
  UniqueMenu trayMenu;

  // Handlers (named as the window layout names them).
  void FormCreate();
  void FormClose();
  void FormDestroy();
  bool CaptionButtonDown(WPARAM hitTest);
  // The close box's answer: exit only through the menus.
  void ShowHowToExit();
  void OnCloseChosen();
  void OnSettingsChosen();
  void OnVersionChosen();
  void OnTimerChosen();
  void OnWaitingChosen();
  // Discovery's list of copies changed.
  void OnCopiesFound();
  void OnHelpChosen();
  void OnFontChosen();
  void OnBackgroundColourChosen();
  void OnImportantToggled();
  void OnPhraseChosen(UINT id);
  void OnWorkingModeToggled();
  void TrayIconMessage(LPARAM mouseMessage);
  void OnDestinationListOpening();
  void OnDestinationEdited();
  void OnSendClicked();
  void OnOpenLogChosen();
  void UpdateTrayIcon(TrayUpdate update) { FTrayIcon.UpdateTrayIcon(update); }
  // Runs `work` from the message loop, after the handler under way: at
  // start-up, once the main window is on the screen. Not once the program
  // is ending.
  void Defer(std::function<void()> work);

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void CreateMenus();
  void CreateControls();
  // ApplySettings with the settings file given (at start, read once).
  void ApplySettingsFrom(const IniFile& ini);
  void LayoutControls();
  void OnCommand(UINT id, UINT code, HWND control);
  LRESULT OnNotify(NMHDR* header);
  void ShowMainWindow();
  // The computers of the network: the browse list, then the copies found.
  std::vector<std::string> NetworkDestinations() const;
  void RunDeferred();

  ApplicationWindow& FApplication;
  TSetupForm* FSetupForm = nullptr;

  Inbox FInbox{*this, *this};
  Outbox FOutbox{*this, FileBesideExecutable(kWaitingEnding)};
  TWaitingForm FWaitingForm{FOutbox};
  TTrayIcon FTrayIcon;
  TScheduler FScheduler{FOutbox};
  TComposer FComposer;
  TDiscovery FDiscovery{[this] { OnCopiesFound(); }};
  // The names and addresses discovery listed last time.
  std::set<std::string> FCopiesListed;

  UniqueFont FInterfaceFont;
  UniqueImageList toolBarImages;
  std::vector<std::string> FPhrases;  // captions of the Insert menu's phrase items, by id
  std::vector<std::function<void()>> FDeferred;
  UINT FTaskbarCreatedMessage = 0;

  bool FWorkMode = false;
  bool FClearAfterSend = false;
  bool FImeOnFocus = false;
  bool FClosing = false;
  // The box saying the composer is full is waiting or open: one is enough
  // for a burst of text that did not fit.
  bool FComposerFullShown = false;
  // The system menu's Close command is gone (start-up got that far), so
  // the close box is greyed and Alt+F4 must not close either.
  bool FCloseCommandRemoved = false;
  // Whether the window's place and the importance tick are the user's: read
  // from the settings at start-up or changed by the user since. After a
  // start that stopped before reading them, the exit keeps what was saved
  // instead of writing the defaults the window was left at.
  bool FGeometryKnown = false;
  bool FImportanceKnown = false;
  int FFormCreateStepsDone = 0;
};

}  // namespace vello
