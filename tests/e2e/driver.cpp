// Drives a running Vello from outside, as a user's system sees it:
// finds windows by class, reads and presses message boxes, chooses menu
// commands by caption, reads and sets control texts. One command a run;
// output on stdout (UTF-8), exit status 0 on success.
//
//   driver wait CLASS [timeout-ms]        wait for a top-level window, print its rect
//   driver count CLASS                    number of top-level windows of the class
//   driver visible-count CLASS            the visible ones
//   driver box [timeout-ms]               wait for a message box, print caption|text, press OK
//   driver box-count                      open message boxes
//   driver menu CAPTION                   choose a main-menu command by its caption
//   driver tray-menu CAPTION              choose a tray-menu command (the main window's callback)
//   driver text CLASS                     the window's text
//   driver set-dest TEXT                  the destination box's text
//   driver set-composer TEXT              the composer's text
//   driver move X Y W H                   move the main window
//   driver close-box / min-box            press the caption's close / minimise box
//   driver tray-left                      a left press on the tray icon
//   driver get-dest                       the destination box's text
//   driver balloon-menu                   right press and context menu on the newest balloon
//   driver ping [timeout-ms]              WM_NULL to the main window, answered within the
//                                         bound (default 100 ms): "ok MS", else "timeout MS"
//   driver texts CLASS                    the texts of all top-level windows of the class
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

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

bool FindMenuCommand(HMENU menu, const std::wstring& caption, UINT& id) {
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
    HMENU sub = GetSubMenu(menu, i);
    if (sub) {
      if (FindMenuCommand(sub, caption, id)) return true;
    } else if (caption == text) {
      id = GetMenuItemID(menu, i);
      return true;
    }
  }
  return false;
}

int Fail(const char* what) {
  std::fprintf(stderr, "driver: %s\n", what);
  return 1;
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
  if (cmd == "menu" || cmd == "tray-menu") {
    HWND main = Main();
    if (!main) return Fail("no main window");
    UINT id = 0;
    // The tray menu is a pop-up of the program; its commands share the main window's ids.
    static const struct { const wchar_t* caption; UINT id; } tray[] = {
        {L"仕事中モード(&W)", 301}, {L"設定(&S)", 302}, {L"キャンセル(&C)", 303}, {L"終了(&X)", 304}};
    if (cmd == "tray-menu") {
      for (auto& t : tray)
        if (arg(2) == t.caption) id = t.id;
    } else if (!FindMenuCommand(GetMenu(main), arg(2), id)) {
      // Wine keeps menus per process, so another program cannot read them;
      // fall back to the main menu's captions and command ids.
      static const struct { const wchar_t* caption; UINT id; } bar[] = {
          {L"仕事中モード(&W)", 201}, {L"ログを開く(&L)", 202}, {L"タイマー(&T)", 203}, {L"閉じる(&X)", 204},
          {L"フォント(&F)...", 205}, {L"背景色(&B)...", 206}, {L"設定(&S)...", 207}, {L"送信(&S)", 208},
          {L"ヘルプ(&H)", 209}, {L"バージョン情報(&A)", 210}};
      for (auto& b : bar)
        if (arg(2) == b.caption) id = b.id;
    }
    if (!id) return Fail("no such menu command");
    PostMessageW(main, WM_COMMAND, id, 0);
    return 0;
  }
  if (cmd == "text") {
    HWND h = WaitFor(arg(2).c_str(), 5000, false);
    if (!h) return Fail("no such window");
    std::printf("%s\n", Utf8(TextOf(h)).c_str());
    return 0;
  }
  if (cmd == "get-dest") {
    HWND main = Main();
    HWND rebar = FindWindowExW(main, nullptr, L"ReBarWindow32", nullptr);
    HWND bar = FindWindowExW(rebar, nullptr, L"ToolbarWindow32", nullptr);
    HWND combo = FindWindowExW(bar, nullptr, L"ComboBox", nullptr);
    if (!combo) return Fail("no destination box");
    std::printf("%s\n", Utf8(TextOf(combo)).c_str());
    return 0;
  }
  if (cmd == "balloon-menu") {
    // A right press on the newest balloon, then its context menu, as the mouse would.
    auto balloons = TopLevel(L"TForm", true);
    if (balloons.empty()) return Fail("no balloon");
    HWND b = balloons[0];
    RECT r;
    GetWindowRect(b, &r);
    PostMessageW(b, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20));
    PostMessageW(b, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(b), MAKELPARAM(r.left + 20, r.top + 20));
    return 0;
  }
  if (cmd == "set-dest" || cmd == "set-composer") {
    HWND main = Main();
    if (!main) return Fail("no main window");
    HWND target = nullptr;
    if (cmd == "set-composer") {
      target = FindWindowExW(main, nullptr, L"RICHEDIT50W", nullptr);
    } else {
      HWND rebar = FindWindowExW(main, nullptr, L"ReBarWindow32", nullptr);
      HWND bar = FindWindowExW(rebar, nullptr, L"ToolbarWindow32", nullptr);
      target = FindWindowExW(bar, nullptr, L"ComboBox", nullptr);
    }
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
  if (cmd == "tray-left") {
    HWND main = Main();
    if (!main) return Fail("no main window");
    PostMessageW(main, 0x40A, 1, WM_LBUTTONDOWN);
    return 0;
  }
  if (cmd == "ping") {
    HWND main = Main();
    if (!main) return Fail("no main window");
    UINT bound = argc > 2 ? static_cast<UINT>(_wtoi(argv[2])) : 100;
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    DWORD_PTR r;
    LRESULT ok = SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, bound, &r);
    QueryPerformanceCounter(&b);
    double ms = static_cast<double>(b.QuadPart - a.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
    std::printf("%s %.1f\n", ok ? "ok" : "timeout", ms);
    return ok ? 0 : 1;
  }
  if (cmd == "texts") {
    for (HWND h : TopLevel(arg(2).c_str(), false)) std::printf("%s\n", Utf8(TextOf(h)).c_str());
    return 0;
  }
  return Fail("unknown command");
}
