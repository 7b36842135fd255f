// Drives a running Vello from outside, as a user's system sees it: finds
// windows by class, reads and presses message boxes, reads and sets control
// texts, and chooses menu commands the way a person does: it clicks the menu
// bar, the tray icon or a balloon with the mouse and then the item that shows
// the caption, found in the program's real menu by the menu agent. One
// command a run; output on stdout (UTF-8), exit status 0 on success.
//
//   driver wait CLASS [timeout-ms]        wait for a top-level window, print its rect
//   driver count CLASS                    number of top-level windows of the class
//   driver visible-count CLASS            the visible ones
//   driver box [timeout-ms]               wait for a message box, print caption|text, press OK
//   driver box-count                      open message boxes
//   driver menu CAPTION                   choose a command from the main window's menu bar
//   driver menu-timed CAPTION             the same, then print "chosen UNIXMS", the time of the
//                                         click on the item
//   driver menu-state CAPTION             the item's state in the menu bar: checked or unchecked
//   driver menu-open CAPTION              click a menu of the menu bar, print its captions
//   driver close-menus                    close the program's open menus
//   driver tray-menu CAPTION              right click on the tray icon, choose the command
//   driver tray-menu-open                 right click on the tray icon, print the menu's captions
//   driver balloon-menu CAPTION [TEXT]    right click on the top balloon (or the top one with
//                                         a line that reads TEXT), choose the command
//   driver balloon-menu-open [TEXT]       the same, print the menu's captions and leave it open
//   driver popup CAPTION                  choose a command from the open pop-up menu
//   driver tray-left                      left click on the tray icon
//   driver text CLASS                     the window's text
//   driver texts CLASS                    the texts of all top-level windows of the class
//   driver click CAPTION                  press the button (or tick the box) of that caption in
//                                         any of the program's visible windows
//   driver set-dest TEXT                  the destination box's text
//   driver set-composer TEXT              the composer's text
//   driver get-dest                       the destination box's text
//   driver get-composer                   the composer's text
//   driver move X Y W H                   move the main window
//   driver close-box / min-box            press the caption's close / minimise box
//   driver ping [timeout-ms]              WM_NULL to the main window, answered within the
//                                         bound (default 100 ms): "ok MS", else "timeout MS"
//   driver watch-balloon TIMEOUT HOLD     wait up to TIMEOUT ms for a new visible balloon,
//                                         pinging the main window (100 ms bound) all the
//                                         while and HOLD ms after it; print the times
//   driver dest-list [open]               drop the destination list down with the mouse,
//                                         print its rows, close it again (unless "open")
//   driver dest-choose TEXT               drop the destination list down with the mouse and
//                                         click the row that reads TEXT
//   driver dest-watch TIMEOUT seen|gone NAME...
//                                         drop the list down again and again (every 100 ms)
//                                         until it holds every NAME (seen) or none (gone), or
//                                         TIMEOUT ms passed; print "seen|gone NAME UNIXMS" at
//                                         the first drop-down that showed it, then the rows;
//                                         waits for the main window first ("window UNIXMS")
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "remote_agent.h"

namespace {

using e2e::MenuAgentOp;
using e2e::MenuAgentRequest;
using e2e::RemoteAgent;

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring TextOf(HWND h) {
  wchar_t buffer[4096] = {};
  DWORD_PTR got = 0;
  SendMessageTimeoutW(h, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000, &got);
  return buffer;
}

std::vector<HWND> TopLevel(const wchar_t* cls, bool visibleOnly) {
  struct Ctx { const wchar_t* cls; bool visible; std::vector<HWND> found; } ctx{cls, visibleOnly, {}};
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(lp);
        wchar_t name[64];
        GetClassNameW(h, name, 64);
        if (wcscmp(name, c->cls) == 0 && (!c->visible || IsWindowVisible(h))) c->found.push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

HWND WaitFor(const wchar_t* cls, int timeoutMs, bool visibleOnly) {
  DWORD end = GetTickCount() + static_cast<DWORD>(timeoutMs);
  for (;;) {
    auto found = TopLevel(cls, visibleOnly);
    if (!found.empty()) return found[0];
    if (GetTickCount() > end) return nullptr;
    Sleep(50);
  }
}

HWND Main() { return FindWindowW(L"TMainForm", nullptr); }

HWND DestinationBox(HWND main) {
  HWND rebar = FindWindowExW(main, nullptr, L"ReBarWindow32", nullptr);
  HWND bar = FindWindowExW(rebar, nullptr, L"ToolbarWindow32", nullptr);
  return FindWindowExW(bar, nullptr, L"ComboBox", nullptr);
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "driver: %s\n", what.c_str());
  return 1;
}

// A menu's captions on one line, for messages.
std::string OneLine(const wchar_t* items) {
  std::string out = Utf8(items);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  for (std::size_t at = out.find('\n'); at != std::string::npos; at = out.find('\n', at)) out.replace(at, 1, " | ");
  return out;
}

// Milliseconds since 1970, comparable with the clocks of programs outside Wine.
long long UnixMs() {
  FILETIME ft;
  GetSystemTimePreciseAsFileTime(&ft);
  ULARGE_INTEGER t{{ft.dwLowDateTime, ft.dwHighDateTime}};
  return static_cast<long long>(t.QuadPart / 10000ULL) - 11644473600000LL;
}

// --- The mouse, as a person moves it --------------------------------------

POINT Centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// Clicks at `p` after checking that `target` (a top-level window, or a
// child of it) is what the mouse would hit there.
bool ClickAt(POINT p, HWND target, bool right, std::string& why) {
  HWND hit = WindowFromPoint(p);
  if (!hit || (hit != target && GetAncestor(hit, GA_ROOT) != GetAncestor(target, GA_ROOT))) {
    wchar_t cls[64] = L"";
    if (hit) GetClassNameW(hit, cls, 64);
    why = "another window (" + Utf8(cls) + ") lies at " + std::to_string(p.x) + "," + std::to_string(p.y);
    return false;
  }
  SetCursorPos(p.x, p.y);
  Sleep(30);
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof(INPUT));
  return true;
}

// --- Menus -------------------------------------------------------------------

MenuAgentRequest Request(MenuAgentOp op, const std::wstring& caption = {}, HWND window = nullptr) {
  MenuAgentRequest r{};
  r.op = op;
  r.window = window;
  lstrcpynW(r.caption, caption.c_str(), e2e::kMenuAgentCaption);
  return r;
}

// Waits for an open pop-up menu of the program that shows `caption`.
bool FindInOpenPopup(RemoteAgent& agent, const std::wstring& caption, MenuAgentRequest& r, int timeoutMs) {
  DWORD end = GetTickCount() + static_cast<DWORD>(timeoutMs);
  for (;;) {
    r = Request(MenuAgentOp::FindInOpenPopup, caption);
    if (!agent.Run(r)) return false;
    if (r.found) return true;
    if (GetTickCount() > end) return false;
    Sleep(50);
  }
}

void CloseMenus(RemoteAgent& agent) {
  MenuAgentRequest r = Request(MenuAgentOp::CloseMenus);
  agent.Run(r);
}

// Clicks the item showing `caption` in the program's open pop-up menu.
int ChooseFromPopup(RemoteAgent& agent, const std::wstring& caption) {
  MenuAgentRequest r;
  if (!FindInOpenPopup(agent, caption, r, 3000)) {
    if (!agent.error().empty()) return Fail(agent.error());
    CloseMenus(agent);
    if (!r.popups) return Fail("no pop-up menu opened");
    return Fail("the open menu has no item \"" + Utf8(caption) + "\"; it shows: " + OneLine(r.items));
  }
  if (r.state & (MF_GRAYED | MF_DISABLED)) {
    CloseMenus(agent);
    return Fail("the item \"" + Utf8(caption) + "\" is disabled");
  }
  std::string why;
  if (!ClickAt(Centre(r.rect), r.popup, false, why)) {
    CloseMenus(agent);
    return Fail(why);
  }
  return 0;
}

int PrintOpenPopup(RemoteAgent& agent) {
  DWORD end = GetTickCount() + 3000;
  MenuAgentRequest r;
  do {
    r = Request(MenuAgentOp::ListOpenPopups);
    if (!agent.Run(r)) return Fail(agent.error());
    if (r.popups) break;
    Sleep(50);
  } while (GetTickCount() < end);
  if (!r.popups) return Fail("no pop-up menu opened");
  std::printf("%s", Utf8(r.items).c_str());
  return 0;
}

// The menu bar: click the bar item, then each item on the way down.
int ChooseFromBar(HWND main, const std::wstring& caption) {
  RemoteAgent agent(main);
  if (!agent.error().empty()) return Fail(agent.error());
  MenuAgentRequest r = Request(MenuAgentOp::FindInBar, caption, main);
  if (!agent.Run(r)) return Fail(agent.error());
  if (!r.found) return Fail("the menu bar has no item \"" + Utf8(caption) + "\"; it shows: " + OneLine(r.items));
  if (!IsWindowVisible(main)) return Fail("the main window is hidden");
  if (r.depth == 1 && (r.state & (MF_GRAYED | MF_DISABLED))) return Fail("the item is disabled");
  std::string why;
  if (!ClickAt(Centre(r.rect), main, false, why)) return Fail(why);
  for (int level = 1; level < r.depth; ++level)
    if (int status = ChooseFromPopup(agent, r.path[level])) return status;
  return 0;
}

HWND TrayIcon() {
  for (HWND tray : TopLevel(L"__winex11_standalone_tray", true))
    if (HWND icon = FindWindowExW(tray, nullptr, L"__winex11_tray_icon", nullptr)) return icon;
  return nullptr;
}

// Wine's stand-alone tray window takes the keyboard focus on the first click
// it gets, which cancels a menu the program has just opened from that click.
// A click on the tray's empty area first gives it the focus, as a second
// click of a person would.
bool FocusTray(HWND icon, std::string& why) {
  HWND tray = GetParent(icon);
  if (GetForegroundWindow() == tray) return true;
  RECT r;
  GetWindowRect(tray, &r);
  if (!ClickAt({r.right - 4, r.bottom - 4}, tray, false, why)) return false;
  Sleep(200);
  return true;
}

// Clicks the tray icon with the mouse: the program's tray callback runs.
bool ClickTrayIcon(bool right, std::string& why) {
  HWND icon = TrayIcon();
  if (!icon) {
    why = "no tray icon";
    return false;
  }
  if (!FocusTray(icon, why)) return false;
  RECT r;
  GetWindowRect(icon, &r);
  return ClickAt(Centre(r), icon, right, why);
}

// A point inside the balloon's shape: the middle of its body.
POINT BalloonPoint(HWND balloon) {
  RECT r;
  GetWindowRect(balloon, &r);
  return {(r.left + r.right) / 2, r.top + (r.bottom - r.top - 60) / 2};
}

// Whether one of the lines of `text` is `line`.
bool HasLine(const std::wstring& text, const std::wstring& line) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring::npos) end = text.size();
    if (text.compare(start, end - start, line) == 0) return true;
    if (end == text.size()) break;
    start = end + (text.compare(end, 2, L"\r\n") == 0 ? 2 : 1);
  }
  return false;
}

// The top visible balloon, or the top one with a line that reads `text`.
HWND FindBalloon(const std::wstring& text) {
  for (HWND b : TopLevel(L"TForm", true))  // top first
    if (text.empty() || HasLine(TextOf(b), text)) return b;
  return nullptr;
}

// Opens a pop-up menu with `rightClick`, then chooses `caption` from it, or
// prints its captions when `caption` is empty.
template <typename RightClick>
int PopupMenu(const std::wstring& caption, RightClick rightClick) {
  HWND main = Main();
  if (!main) return Fail("no main window");
  RemoteAgent agent(main);
  if (!agent.error().empty()) return Fail(agent.error());
  std::string why;
  if (!rightClick(why)) return Fail(why);
  return caption.empty() ? PrintOpenPopup(agent) : ChooseFromPopup(agent, caption);
}

int TrayMenu(const std::wstring& caption) {
  return PopupMenu(caption, [](std::string& why) { return ClickTrayIcon(true, why); });
}

int BalloonMenu(const std::wstring& caption, const std::wstring& text) {
  HWND b = FindBalloon(text);
  if (!b) return Fail(text.empty() ? "no balloon" : "no balloon shows \"" + Utf8(text) + "\"");
  return PopupMenu(caption, [b](std::string& why) { return ClickAt(BalloonPoint(b), b, true, why); });
}

// --- Liveness ---------------------------------------------------------------

struct Ping {
  bool answered;
  double ms;
};

Ping PingMain(HWND main, UINT boundMs) {
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  DWORD_PTR r;
  LRESULT ok = SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, boundMs, &r);
  QueryPerformanceCounter(&b);
  return {ok != 0, static_cast<double>(b.QuadPart - a.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart)};
}

// Waits for a balloon beyond those already shown, pinging the main window
// meanwhile and for `holdMs` after the balloon appeared.
int WatchBalloon(int timeoutMs, int holdMs) {
  HWND main = Main();
  if (!main) return Fail("no main window");
  std::size_t before = TopLevel(L"TForm", true).size();
  long long start = UnixMs();
  std::printf("start %lld\n", start);
  std::fflush(stdout);
  long long shown = 0;
  int pings = 0, late = 0;
  double worst = 0;
  for (;;) {
    long long now = UnixMs();
    if (!shown && TopLevel(L"TForm", true).size() > before) shown = now;
    if (shown ? now - shown >= holdMs : now - start >= timeoutMs) break;
    Ping p = PingMain(main, 100);
    ++pings;
    if (!p.answered) ++late;
    if (p.ms > worst) worst = p.ms;
    Sleep(20);
  }
  if (shown)
    std::printf("balloon %lld\n", shown);
  else
    std::printf("balloon none\n");
  std::printf("pings %d late %d worst %.0f\n", pings, late, worst);
  return 0;
}

// --- The destination list, as a person drops it down -----------------------

bool Dropped(HWND combo) {
  DWORD_PTR r = 0;
  SendMessageTimeoutW(combo, CB_GETDROPPEDSTATE, 0, 0, SMTO_ABORTIFHUNG, 2000, &r);
  return r != 0;
}

std::vector<std::wstring> ComboRows(HWND combo) {
  std::vector<std::wstring> rows;
  DWORD_PTR count = 0;
  if (!SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count)) return rows;
  for (int i = 0; i < static_cast<int>(count); ++i) {
    wchar_t text[1024] = {};
    DWORD_PTR got = 0;
    SendMessageTimeoutW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, &got);
    rows.push_back(text);
  }
  return rows;
}

// The box's drop-down button: the right end of the box.
POINT DropButton(HWND combo) {
  RECT r;
  GetWindowRect(combo, &r);
  return {r.right - GetSystemMetrics(SM_CXVSCROLL) / 2 - 2, (r.top + r.bottom) / 2};
}

// Clicks the drop-down button and waits until the list is down (the
// program has refreshed it on the way).
bool DropDown(HWND combo, std::string& why) {
  if (Dropped(combo)) return true;
  if (!ClickAt(DropButton(combo), combo, false, why)) return false;
  DWORD end = GetTickCount() + 3000;
  while (!Dropped(combo)) {
    if (GetTickCount() > end) {
      why = "the destination list did not drop down";
      return false;
    }
    Sleep(10);
  }
  return true;
}

// A second click on the button closes the list without choosing a row.
void CloseUp(HWND combo) {
  std::string ignored;
  if (Dropped(combo)) ClickAt(DropButton(combo), combo, false, ignored);
  DWORD end = GetTickCount() + 1000;
  while (Dropped(combo) && GetTickCount() < end) Sleep(10);
  if (Dropped(combo)) PostMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
}

HWND DestinationBoxOrFail(std::string& why) {
  HWND main = Main();
  HWND combo = main ? DestinationBox(main) : nullptr;
  if (!combo) why = main ? "no destination box" : "no main window";
  else if (!IsWindowVisible(main)) why = "the main window is hidden";
  else return combo;
  return nullptr;
}

int DestList(bool leaveOpen) {
  std::string why;
  HWND combo = DestinationBoxOrFail(why);
  if (!combo || !DropDown(combo, why)) return Fail(why);
  for (const std::wstring& row : ComboRows(combo)) std::printf("%s\n", Utf8(row).c_str());
  std::fflush(stdout);
  if (!leaveOpen) CloseUp(combo);
  return 0;
}

// The list box of a dropped-down combo box: a visible top-level window of
// class "ComboLBox" of the program's process.
HWND DroppedListOf(HWND combo) {
  DWORD pid = 0;
  GetWindowThreadProcessId(combo, &pid);
  HWND h = nullptr;
  while ((h = FindWindowExW(nullptr, h, L"ComboLBox", nullptr))) {
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (owner == pid && IsWindowVisible(h)) return h;
  }
  return nullptr;
}

int DestChoose(const std::wstring& text) {
  std::string why;
  HWND combo = DestinationBoxOrFail(why);
  if (!combo || !DropDown(combo, why)) return Fail(why);
  std::vector<std::wstring> rows = ComboRows(combo);
  int index = -1;
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i] == text) index = static_cast<int>(i);
  HWND list = DroppedListOf(combo);
  if (index < 0 || !list) {
    CloseUp(combo);
    return Fail(list ? "the list has no row \"" + Utf8(text) + "\"" : "no dropped-down list");
  }
  // Rows are all of one height; scroll the row into view, then click it.
  DWORD_PTR top = 0, height = 0;
  SendMessageTimeoutW(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0, SMTO_ABORTIFHUNG, 2000, &top);
  SendMessageTimeoutW(list, LB_GETTOPINDEX, 0, 0, SMTO_ABORTIFHUNG, 2000, &top);
  SendMessageTimeoutW(list, LB_GETITEMHEIGHT, 0, 0, SMTO_ABORTIFHUNG, 2000, &height);
  RECT client;
  GetClientRect(list, &client);
  POINT p{client.right / 2, static_cast<LONG>((index - static_cast<int>(top)) * static_cast<int>(height) +
                                              static_cast<int>(height) / 2)};
  ClientToScreen(list, &p);
  if (!ClickAt(p, list, false, why)) {
    CloseUp(combo);
    return Fail(why);
  }
  DWORD end = GetTickCount() + 2000;
  while (Dropped(combo) && GetTickCount() < end) Sleep(10);
  return 0;
}

// Drops the list down every 100 ms until it holds every name (or none of
// them), closing it in between as a person would.
int DestWatch(int timeoutMs, bool seen, const std::vector<std::wstring>& names) {
  long long end = UnixMs() + timeoutMs;
  // The program may still be starting: its window comes first.
  std::string why;
  HWND combo;
  while (!(combo = DestinationBoxOrFail(why))) {
    if (UnixMs() > end) return Fail(why);
    Sleep(20);
  }
  std::printf("window %lld\n", UnixMs());
  std::vector<long long> at(names.size(), 0);
  std::vector<std::wstring> rows;
  for (;;) {
    if (!DropDown(combo, why)) return Fail(why);
    long long now = UnixMs();
    rows = ComboRows(combo);
    CloseUp(combo);
    bool all = true;
    for (std::size_t i = 0; i < names.size(); ++i) {
      bool listed = std::find(rows.begin(), rows.end(), names[i]) != rows.end();
      if (!at[i] && listed == seen) {
        at[i] = now;
        std::printf("%s %s %lld\n", seen ? "seen" : "gone", Utf8(names[i]).c_str(), now);
        std::fflush(stdout);
      }
      if (!at[i]) all = false;
    }
    if (all || UnixMs() > end) break;
    Sleep(100);
  }
  std::printf("rows");
  for (const std::wstring& row : rows) std::printf(" %s", Utf8(row).c_str());
  std::printf("\n");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Fail("no command");
  std::string cmd = Utf8(argv[1]);
  auto arg = [&](int i) -> std::wstring { return i < argc ? std::wstring(argv[i]) : std::wstring(); };
  if (cmd == "wait") {
    HWND h = WaitFor(arg(2).c_str(), argc > 3 ? _wtoi(argv[3]) : 10000, true);
    if (!h) return Fail("no such window");
    RECT r;
    GetWindowRect(h, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
  }
  if (cmd == "count" || cmd == "visible-count") {
    std::printf("%zu\n", TopLevel(arg(2).c_str(), cmd == "visible-count").size());
    return 0;
  }
  if (cmd == "box") {
    HWND box = WaitFor(L"#32770", argc > 2 ? _wtoi(argv[2]) : 10000, true);
    if (!box) return Fail("no message box");
    std::wstring text;
    HWND stat = GetDlgItem(box, 0xFFFF);
    if (stat) text = TextOf(stat);
    std::printf("%s|%s\n", Utf8(TextOf(box)).c_str(), Utf8(text).c_str());
    std::fflush(stdout);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    DWORD end = GetTickCount() + 5000;
    while (IsWindow(box) && GetTickCount() < end) Sleep(20);
    return 0;
  }
  if (cmd == "box-count") {
    std::printf("%zu\n", TopLevel(L"#32770", true).size());
    return 0;
  }
  if (cmd == "menu" || cmd == "menu-timed") {
    HWND main = Main();
    if (!main) return Fail("no main window");
    int status = ChooseFromBar(main, arg(2));
    if (status == 0 && cmd == "menu-timed") std::printf("chosen %lld\n", UnixMs());
    return status;
  }
  if (cmd == "menu-open") {
    HWND main = Main();
    if (!main) return Fail("no main window");
    RemoteAgent agent(main);
    MenuAgentRequest r = Request(MenuAgentOp::FindBarMenu, arg(2), main);
    if (!agent.Run(r)) return Fail(agent.error());
    if (!r.found) return Fail("the menu bar has no menu \"" + Utf8(arg(2)) + "\"; it shows: " + OneLine(r.items));
    std::string why;
    if (!ClickAt(Centre(r.rect), main, false, why)) return Fail(why);
    return PrintOpenPopup(agent);
  }
  if (cmd == "close-menus") {
    HWND main = Main();
    if (!main) return Fail("no main window");
    RemoteAgent agent(main);
    if (!agent.error().empty()) return Fail(agent.error());
    CloseMenus(agent);
    return 0;
  }
  if (cmd == "menu-state") {
    HWND main = Main();
    if (!main) return Fail("no main window");
    RemoteAgent agent(main);
    MenuAgentRequest r = Request(MenuAgentOp::FindInBar, arg(2), main);
    if (!agent.Run(r)) return Fail(agent.error());
    if (!r.found) return Fail("the menu bar has no such item");
    std::printf("%s\n", (r.state & MF_CHECKED) ? "checked" : "unchecked");
    return 0;
  }
  if (cmd == "tray-menu") return TrayMenu(arg(2));
  if (cmd == "tray-menu-open") return TrayMenu(L"");
  if (cmd == "balloon-menu") return BalloonMenu(arg(2), arg(3));
  if (cmd == "balloon-menu-open") return BalloonMenu(L"", arg(2));
  if (cmd == "popup") {
    HWND main = Main();
    if (!main) return Fail("no main window");
    RemoteAgent agent(main);
    if (!agent.error().empty()) return Fail(agent.error());
    return ChooseFromPopup(agent, arg(2));
  }
  if (cmd == "tray-left") {
    std::string why;
    return ClickTrayIcon(false, why) ? 0 : Fail(why);
  }
  if (cmd == "text") {
    HWND h = WaitFor(arg(2).c_str(), 5000, false);
    if (!h) return Fail("no such window");
    std::printf("%s\n", Utf8(TextOf(h)).c_str());
    return 0;
  }
  if (cmd == "texts") {
    for (HWND h : TopLevel(arg(2).c_str(), false)) std::printf("%s\n", Utf8(TextOf(h)).c_str());
    return 0;
  }
  if (cmd == "get-dest") {
    HWND combo = DestinationBox(Main());
    if (!combo) return Fail("no destination box");
    std::printf("%s\n", Utf8(TextOf(combo)).c_str());
    return 0;
  }
  if (cmd == "get-composer") {
    HWND composer = FindWindowExW(Main(), nullptr, L"RICHEDIT50W", nullptr);
    if (!composer) return Fail("no composer");
    std::printf("%s\n", Utf8(TextOf(composer)).c_str());
    return 0;
  }
  if (cmd == "click") {
    struct Search {
      std::wstring caption;
      HWND found = nullptr;
    } search{arg(2)};
    EnumWindows(
        [](HWND top, LPARAM lp) -> BOOL {
          auto* s = reinterpret_cast<Search*>(lp);
          if (!IsWindowVisible(top)) return TRUE;
          EnumChildWindows(
              top,
              [](HWND child, LPARAM lp2) -> BOOL {
                auto* s2 = reinterpret_cast<Search*>(lp2);
                wchar_t cls[16] = {};
                GetClassNameW(child, cls, 16);
                if (lstrcmpiW(cls, L"Button") == 0 && IsWindowVisible(child) && TextOf(child) == s2->caption) {
                  s2->found = child;
                  return FALSE;
                }
                return TRUE;
              },
              lp);
          return s->found ? FALSE : TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.found) return Fail("no such button");
    DWORD_PTR r;
    SendMessageTimeoutW(search.found, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
    return 0;
  }
  if (cmd == "set-dest" || cmd == "set-composer") {
    HWND main = Main();
    if (!main) return Fail("no main window");
    HWND target = cmd == "set-composer" ? FindWindowExW(main, nullptr, L"RICHEDIT50W", nullptr) : DestinationBox(main);
    if (!target) return Fail("no such control");
    std::wstring text = arg(2);
    DWORD_PTR r;
    SendMessageTimeoutW(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 2000, &r);
    return 0;
  }
  if (cmd == "move") {
    HWND main = Main();
    if (!main) return Fail("no main window");
    SetWindowPos(main, nullptr, _wtoi(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]), _wtoi(argv[5]),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
  }
  if (cmd == "close-box" || cmd == "min-box") {
    HWND main = Main();
    if (!main) return Fail("no main window");
    PostMessageW(main, WM_NCLBUTTONDOWN, cmd == "close-box" ? HTCLOSE : HTMINBUTTON, 0);
    return 0;
  }
  if (cmd == "ping") {
    HWND main = Main();
    if (!main) return Fail("no main window");
    Ping p = PingMain(main, argc > 2 ? static_cast<UINT>(_wtoi(argv[2])) : 100);
    std::printf("%s %.1f\n", p.answered ? "ok" : "timeout", p.ms);
    return p.answered ? 0 : 1;
  }
  if (cmd == "watch-balloon") return WatchBalloon(_wtoi(arg(2).c_str()), _wtoi(arg(3).c_str()));
  if (cmd == "dest-list") return DestList(arg(2) == L"open");
  if (cmd == "dest-choose") return DestChoose(arg(2));
  if (cmd == "dest-watch") {
    std::vector<std::wstring> names;
    for (int i = 4; i < argc; ++i) names.push_back(argv[i]);
    return DestWatch(_wtoi(arg(2).c_str()), arg(3) == L"seen", names);
  }
  return Fail("unknown command");
}
