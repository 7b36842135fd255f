#pragma once
// TMainForm: the composer window, and the owner of the sockets, the media
// player, the tray icon record, the scheduled entries and every run-time
// flag. Its handlers live in files by concern: main_form.cpp (start-up,
// layout, menus, exit), main_form_tray.cpp, main_form_composer.cpp, and in
// messaging/ the receive, send and balloon handlers.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/media_player.h"
#include "platform/tcp_client.h"
#include "platform/tcp_server.h"
#include "platform/unique_handle.h"
#include "platform/window.h"
#include "schedule/schedule_entry.h"
#include "settings/ini_file.h"

namespace vello {

class ApplicationWindow;
class TSetupForm;
class TBalloon;

// Menu and control identifiers of the main window.
namespace mainids {
enum : UINT {
  ToolButton2 = 101, ToolButton4, ToolButton5, CheckBox1, ComboBox1, RichEdit1, CoolBar1, ToolBar1,
  N9 = 201, L1, T1, Close1, Font1, B1, S1, Send1, Help2, About1,
  W1 = 301, S2, C1, Exit1,
  N1 = 401, N3, Close2,
  FirstPhrase = 1000, LastPhrase = 9999,
};
}

// One send: its own connection, its destination text and which message it
// carries (the composer's, or a scheduled entry's index).
struct SendAttempt {
  std::unique_ptr<TcpClient> client;
  std::string destination;
  int scheduledIndex = -1;
};

// The composer's look, as it travels in a message line.
struct ComposerLook {
  int32_t width = 0, height = 0, color = 0xFFFFFF, fontColor = 0, fontSize = 10;
  std::string fontName;
  uint8_t fontStyle = 0;
};

class TMainForm : public Window {
 public:
  static constexpr wchar_t kClassName[] = L"TMainForm";

  TMainForm(ApplicationWindow& application);
  ~TMainForm() override;

  // Creates the window; FormCreate runs inside.
  void CreateForm();
  void SetSetupForm(TSetupForm* setup) { FSetupForm = setup; }
  ApplicationWindow& application() { return FApplication; }

  // --- Shared with the settings dialog and the scheduler ---
  void ApplySettings();
  bool FClearAfterSend = false;
  bool FSoundInWorkMode = true;
  std::vector<TScheduleEntry> FScheduleEntries;
  bool FSendingScheduled = false;
  int FScheduledIndex = -1;
  // Starts a send of a scheduled entry (the hand-over of the scheduler).
  void StartScheduledSend(int index);
  // The composer as it stands, for the timer page.
  ComposerLook ComposerLookNow() const;
  std::string ComposerLinesText() const;
  std::string ComposerPlainText() const;
  std::vector<std::string> DestinationItems() const;
  std::vector<std::string> ListNetworkComputers() const;

  // --- State, public for the tests that inspect it ---
  bool FSoundOn = false;
  bool FLogOn = false;
  bool FMessageArrived = false;
  bool FWorkMode = false;
  std::vector<HWND> FHeldBalloons;
  TBalloon* FCurrentBalloon = nullptr;
  int32_t FDragStartX = 0, FDragStartY = 0;
  bool FDragArmed = false;
  int FormCreateStepsDone = 0;

  // Controls and menus.
  HWND CoolBar1 = nullptr, ToolBar1 = nullptr, CheckBox1 = nullptr, ComboBox1 = nullptr, RichEdit1 = nullptr;
  HMENU MainMenu1 = nullptr, File1 = nullptr, Edit1 = nullptr, Insert1 = nullptr, Help1 = nullptr;
  HMENU PopupMenu1 = nullptr, PopupMenu2 = nullptr;
  TcpServer& ServerSocket1() { return *FServer; }
  MediaPlayer MediaPlayer1;
  int ClientPort = 5963;
  NOTIFYICONDATAW FTrayRecord{};
  HICON FMainIcon = nullptr, FArrivalIcon = nullptr;
  UINT Timer1Interval = 0;
  std::vector<std::unique_ptr<TBalloon>> FBalloons;
  std::vector<std::unique_ptr<SendAttempt>> FSendAttempts;  // ClientSocket1: one per attempt

  // Handlers (named as the window layout names them).
  void FormCreate();
  void FormClose();
  void FormDestroy();
  bool CaptionButtonDown(WPARAM hitTest);
  void Close1Click();
  void S1Click();
  void About1Click();
  void T1Click();
  void Help2Click();
  void Font1Click();
  void B1Click();
  void CheckBox1Click();
  void FixedClick(UINT id);
  void W1Click();
  void UpdateTrayIcon(int action);
  void Timer1Timer();
  void TrayIconMessage(LPARAM mouseMessage);
  void ComboBox1DropDown();
  void ComboBox1Change();
  void ToolButton5Click();
  void ClientSocket1Connect(SendAttempt& attempt);
  void ClientSocket1Error(SendAttempt& attempt, SocketErrorKind kind, int& code);
  void ServerSocket1ClientRead(const std::string& line, const in_addr& peer);
  void BalloonMouseDown(TBalloon& balloon, int button, WPARAM keys, int x, int y);
  void BalloonMouseMove(TBalloon& balloon, WPARAM keys, int x, int y);
  void BalloonKeyDown(TBalloon& balloon, WPARAM key);
  void BalloonContextMenu(TBalloon& balloon, int screenX, int screenY);
  void N1Click();
  void N3Click();
  void Close2Click();
  void L1Click();

  // Composer helpers.
  void SetComposerLook(const ComposerLook& look);
  void SetComposerText(const std::string& cp932);
  bool ImportanceTicked() const;
  void SetImportance(bool ticked);
  std::string DestinationText() const;
  void SetDestinationText(const std::string& text);
  void SetTimerInterval(UINT ms);
  void ShowMainWindow();
  IniFile Settings() const;
  // Balloons still in existence (not yet destroyed by their close command).
  TBalloon* FindBalloon(HWND hwnd) const;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void CreateControls();
  void CreateMenus();
  void LayoutControls();
  void OnCommand(UINT id, UINT code, HWND control);
  LRESULT OnNotify(NMHDR* header);
  void StartSend(const std::string& host, const std::string& destination, int scheduledIndex);
  void ForgetFinishedSends();
  void AppendLog(bool sent, const std::string& party, const std::string& text);
  void DestroyBalloon(TBalloon* balloon);
  std::string ReverseLookup(const in_addr& peer) const;

  ApplicationWindow& FApplication;
  TSetupForm* FSetupForm = nullptr;
  std::unique_ptr<TcpServer> FServer;
  UniqueFont FInterfaceFont;
  HIMAGELIST ImageList1 = nullptr;
  std::vector<std::string> FPhrases;  // captions of the Insert menu's phrase items, by id
  bool FImeOnFocus = false;
  UINT FTaskbarCreatedMessage = 0;
  bool FTrayAdded = false;
};

// The composer's lines as a message carries them: each displayed line (wraps
// included) followed by CR LF, an empty last line not counted.
std::string JoinComposerLines(const std::vector<std::string>& displayedLines);

}  // namespace vello
