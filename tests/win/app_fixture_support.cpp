#include "app_fixture.h"
#include "message_pump.h"

#include <filesystem>
#include <fstream>

#include "platform/error_display.h"
#include "platform/executable_path.h"
#include "settings/network_browser.h"
#include "platform/socket_error.h"
#include "platform/notify_icon.h"
#include "platform/win_text.h"

namespace vello::testing {

int FreePort() {
  EnsureWinsock();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  closesocket(s);
  return ntohs(a.sin_port);
}

void AppFixture::SetUp() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  // Process ids start again with every fresh wineserver, and a folder a run
  // could not remove (paths past MAX_PATH) would meet the next run with the
  // same id: the time since start-up keeps runs apart.
  static int counter = 0;
  std::wstring wdir = std::wstring(temp) + L"vello-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                      std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++counter);
  root_ = wdir;
  dir_ = subfolder_.empty() ? root_ : root_ / subfolder_;
  std::filesystem::create_directories(dir_);
  SetExecutablePathForTests(dir_ / L"vello.exe");
  port_ = FreePort();
  SetMessageBoxFunction([this](HWND, const std::string& text, const std::string& caption, UINT flags) {
    boxes_.push_back({text, caption, flags});
    if (onBox_) onBox_(boxes_.back());
    return boxAnswer_;
  });
  SetTrayFunction([this](TrayAction action, const NOTIFYICONDATAW& record) {
    trayCalls_.push_back({static_cast<DWORD>(action), record});
    return TRUE;
  });
  SetNetworkComputersFunctionForTests([this] { return network_; });
}

void AppFixture::TearDown() {
  StopApp();
  SetMessageBoxFunction({});
  SetTrayFunction({});
  SetNetworkComputersFunctionForTests({});
  SetExecutablePathForTests({});
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

std::filesystem::path AppFixture::PathBeside(const std::string& ending) const { return FileBesideExecutable(ending); }

std::string AppFixture::DirText() const { return Narrow(dir_.native()); }

void AppFixture::WriteBeside(const std::string& ending, const std::string& bytes) {
  std::ofstream(PathBeside(ending), std::ios::binary) << bytes;
}

std::string AppFixture::ReadBeside(const std::string& ending) const {
  std::ifstream in(PathBeside(ending), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void AppFixture::StartApp() {
  // Every test listens on a port of its own, unless it wrote its own settings.
  std::string existing = ReadBeside(".ini");
  for (char& c : existing) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  if (existing.find("port=") == std::string::npos) {
    std::string ini = ReadBeside(".ini");
    WriteBeside(".ini", "[setup]\r\nport=" + std::to_string(port_) + "\r\n" + ini);
  }
  app_ = std::make_unique<VelloApp>();
  app_->Start(false);
  Pump(50);
}

void AppFixture::StopApp() {
  if (!app_) return;
  app_.reset();
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void AppFixture::Pump(int ms) {
  PumpUntil([] { return false; }, ms);
}

bool AppFixture::PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  return PumpMessagesUntil(done, timeoutMs, [this](MSG& msg) {
    if (app_) {
      app_->Dispatch(msg);
    } else {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  });
}

void AppFixture::SendRaw(const std::string& bytes, int pieces, int pauseMs) {
  EnsureWinsock();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port_));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << WSAGetLastError();
  std::size_t step = pieces > 0 ? (bytes.size() + pieces - 1) / pieces : bytes.size();
  for (std::size_t i = 0; i < bytes.size(); i += step) {
    send(s, bytes.data() + i, static_cast<int>(std::min(step, bytes.size() - i)), 0);
    if (pauseMs) Pump(pauseMs);
  }
  shutdown(s, SD_SEND);
  closesocket(s);
}

std::vector<HWND> AppFixture::Balloons() const {
  std::vector<HWND> found;
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        wchar_t cls[32];
        GetClassNameW(h, cls, 32);
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (wcscmp(cls, L"TForm") == 0 && pid == GetCurrentProcessId())
          reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace vello::testing
