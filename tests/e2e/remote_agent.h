#pragma once
// The driver's side of the menu agent: loads e2e_menu_agent.dll (found beside
// the driver) into the process that owns a window, once per process, and
// runs requests on it there.
#include <windows.h>

#include <string>

#include "menu_agent.h"

namespace e2e {

class RemoteAgent {
 public:
  explicit RemoteAgent(HWND window);
  ~RemoteAgent();
  RemoteAgent(const RemoteAgent&) = delete;
  RemoteAgent& operator=(const RemoteAgent&) = delete;

  // Empty when the agent is loaded and callable, else what went wrong.
  const std::string& error() const { return error_; }
  // Runs the request in the program's process; false (and error()) when the
  // call itself could not be made.
  bool Run(MenuAgentRequest& request);

 private:
  HMODULE FindRemoteModule(const std::wstring& fileName) const;
  bool Call(LPTHREAD_START_ROUTINE entry, DWORD* result);
  bool Fail(const std::string& what);

  HANDLE process_ = nullptr;
  void* block_ = nullptr;  // a MenuAgentRequest in the program's memory
  LPTHREAD_START_ROUTINE entry_ = nullptr;
  std::string error_;
};

}  // namespace e2e
