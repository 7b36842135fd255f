// The floor for the receive benchmarks: the least a Win32 program must do to
// turn one connection into one window. It listens the way Vello does
// (WSAAsyncSelect on the UI thread, one line per connection, collected until
// the sender closes), and on close shows a plain popup whose caption is the
// received bytes, text painted in the default GUI font. No parsing, no look
// from the line, no reverse look-up, no region, no sound, no tray, no log.
//
//   minimal_receiver.exe PORT
//
// Windows: a small main window of class "MinimalMain" (shown at start, for
// the start-up benchmark and for pings) and one "MinimalPopup" per message.
#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>

namespace {

constexpr UINT kSocketMessage = WM_APP + 1;
const wchar_t kMainClass[] = L"MinimalMain";
const wchar_t kPopupClass[] = L"MinimalPopup";

SOCKET listener = INVALID_SOCKET;
std::map<SOCKET, std::string> pending;

LRESULT CALLBACK PopupProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    wchar_t text[512];
    int n = GetWindowTextW(hwnd, text, 512);
    RECT r;
    GetClientRect(hwnd, &r);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    DrawTextW(dc, text, n, &r, DT_LEFT | DT_NOPREFIX);
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void ShowPopup(const std::string& bytes) {
  int n = MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
  int w = 315, h = 239;
  HWND popup = CreateWindowExW(0, kPopupClass, text.c_str(), WS_POPUP | WS_BORDER,
                               (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w,
                               h, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ShowWindow(popup, SW_SHOWNOACTIVATE);
}

void OnSocket(HWND hwnd, SOCKET s, int event, int error) {
  if (s == listener) {
    for (;;) {
      SOCKET c = accept(listener, nullptr, nullptr);
      if (c == INVALID_SOCKET) return;
      WSAAsyncSelect(c, hwnd, kSocketMessage, FD_READ | FD_CLOSE);
      pending[c];
    }
  }
  auto it = pending.find(s);
  if (it == pending.end()) return;
  char buffer[16384];
  for (;;) {
    int n = recv(s, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    it->second.append(buffer, static_cast<std::size_t>(n));
  }
  if (event == FD_CLOSE || error) {
    std::string bytes = std::move(it->second);
    pending.erase(it);
    closesocket(s);
    if (!error && !bytes.empty()) ShowPopup(bytes);
  }
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kSocketMessage:
      OnSocket(hwnd, static_cast<SOCKET>(wp), WSAGETSELECTEVENT(lp), WSAGETSELECTERROR(lp));
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR args, int) {
  int port = _wtoi(args);
  if (port <= 0) return 2;
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = MainProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainClass;
  RegisterClassExW(&wc);
  wc.lpfnWndProc = PopupProc;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_INFOBK + 1);
  wc.lpszClassName = kPopupClass;
  RegisterClassExW(&wc);

  HWND main = CreateWindowExW(0, kMainClass, L"minimal receiver", WS_OVERLAPPEDWINDOW, 40, 40, 323, 258, nullptr,
                              nullptr, instance, nullptr);

  listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(port));
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == SOCKET_ERROR ||
      listen(listener, SOMAXCONN) == SOCKET_ERROR ||
      WSAAsyncSelect(listener, main, kSocketMessage, FD_ACCEPT) == SOCKET_ERROR)
    return 3;
  ShowWindow(main, SW_SHOW);
  UpdateWindow(main);

  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  closesocket(listener);
  WSACleanup();
  return 0;
}
