#pragma once
// A Vello started in-process, in a temporary folder of its own, with the
// message boxes, the tray and the network neighbourhood behind their seams.
// Sockets, files, windows and regions are real.
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/vello_app.h"

namespace vello::testing {

struct ShownBox {
  std::string text, caption;
  UINT flags;
};

struct TrayCall {
  DWORD action;
  NOTIFYICONDATAW record;
};

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes a file beside the (pretend) executable before the start.
  void WriteBeside(const std::string& ending, const std::string& bytes);
  std::string ReadBeside(const std::string& ending) const;
  std::filesystem::path PathBeside(const std::string& ending) const;
  // The folder as CP932 text, for what the program stores or shows as text.
  std::string DirText() const;
  void StartApp();
  void StopApp();

  // Pumps messages for `ms` milliseconds, or until `done` holds.
  void Pump(int ms);
  bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);

  // Writes bytes to 127.0.0.1:port, in pieces with pauses, then closes.
  void SendRaw(const std::string& bytes, int pieces = 1, int pauseMs = 0);

  std::vector<HWND> Balloons() const;  // visible or not, of this process

  // The pretend executable's folder, a temporary one of the test's own.
  // A fixture may name a folder inside it (before SetUp) for the
  // executable to lie in instead.
  std::filesystem::path dir_;
  std::wstring subfolder_;
  int port_ = 0;
  std::vector<ShownBox> boxes_;
  std::vector<TrayCall> trayCalls_;
  std::vector<std::string> network_;
  std::unique_ptr<VelloApp> app_;
  // Called while a message box "is open" (before it returns IDOK).
  std::function<void(const ShownBox&)> onBox_;
  // What every box answers: its first button unless a test says otherwise.
  int boxAnswer_ = IDOK;

 private:
  std::filesystem::path root_;  // removed with everything in it
};

int FreePort();

}  // namespace vello::testing
