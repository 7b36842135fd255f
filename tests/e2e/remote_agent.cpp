#include "remote_agent.h"

#include <psapi.h>

#include <algorithm>
#include <vector>

namespace e2e {

namespace {

std::wstring BesideThisProgram(const wchar_t* fileName) {
  wchar_t self[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring dir(self, n);
  std::size_t slash = dir.find_last_of(L"\\/");
  return dir.substr(0, slash == std::wstring::npos ? 0 : slash + 1) + fileName;
}

}  // namespace

RemoteAgent::RemoteAgent(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (!pid) {
    Fail("no such window");
    return;
  }
  process_ = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                             PROCESS_VM_READ | PROCESS_VM_WRITE | SYNCHRONIZE,
                         FALSE, pid);
  if (!process_) {
    Fail("cannot open the program's process");
    return;
  }
  block_ = VirtualAllocEx(process_, nullptr, sizeof(MenuAgentRequest), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!block_) {
    Fail("cannot allocate in the program's process");
    return;
  }
  std::wstring path = BesideThisProgram(kMenuAgentFile);
  HMODULE local = LoadLibraryW(path.c_str());
  FARPROC localEntry = local ? GetProcAddress(local, kMenuAgentEntry) : nullptr;
  if (!localEntry) {
    Fail("cannot load the menu agent beside the driver");
    return;
  }
  HMODULE remote = FindRemoteModule(kMenuAgentFile);
  if (!remote) {
    // LoadLibraryW lies at the same address in every process of a session.
    auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    std::size_t bytes = (path.size() + 1) * sizeof(wchar_t);
    if (bytes > sizeof(MenuAgentRequest) || !WriteProcessMemory(process_, block_, path.c_str(), bytes, nullptr)) {
      Fail("cannot pass the agent's path");
      return;
    }
    DWORD ignored = 0;
    if (!Call(loadLibrary, &ignored)) return;
    remote = FindRemoteModule(kMenuAgentFile);
    if (!remote) {
      Fail("the program did not load the menu agent");
      return;
    }
  }
  entry_ = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<char*>(remote) +
      (reinterpret_cast<char*>(reinterpret_cast<void*>(localEntry)) - reinterpret_cast<char*>(local)));
}

RemoteAgent::~RemoteAgent() {
  if (block_) VirtualFreeEx(process_, block_, 0, MEM_RELEASE);
  if (process_) CloseHandle(process_);
}

HMODULE RemoteAgent::FindRemoteModule(const std::wstring& fileName) const {
  std::vector<HMODULE> modules(1024);
  DWORD needed = 0;
  if (!EnumProcessModulesEx(process_, modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed,
                            LIST_MODULES_ALL))
    return nullptr;
  modules.resize(std::min<std::size_t>(modules.size(), needed / sizeof(HMODULE)));
  for (HMODULE m : modules) {
    wchar_t name[MAX_PATH] = {};
    if (GetModuleBaseNameW(process_, m, name, MAX_PATH) && lstrcmpiW(name, fileName.c_str()) == 0) return m;
  }
  return nullptr;
}

bool RemoteAgent::Call(LPTHREAD_START_ROUTINE entry, DWORD* result) {
  HANDLE thread = CreateRemoteThread(process_, nullptr, 0, entry, block_, 0, nullptr);
  if (!thread) return Fail("cannot start a thread in the program's process");
  DWORD waited = WaitForSingleObject(thread, 10000);
  GetExitCodeThread(thread, result);
  CloseHandle(thread);
  if (waited != WAIT_OBJECT_0) return Fail("the menu agent did not answer within 10 s");
  return true;
}

bool RemoteAgent::Run(MenuAgentRequest& request) {
  if (!entry_) return false;
  DWORD result = 0;
  if (!WriteProcessMemory(process_, block_, &request, sizeof request, nullptr)) return Fail("cannot write the request");
  if (!Call(entry_, &result)) return false;
  if (!ReadProcessMemory(process_, block_, &request, sizeof request, nullptr)) return Fail("cannot read the answer");
  return true;
}

bool RemoteAgent::Fail(const std::string& what) {
  error_ = what;
  return false;
}

}  // namespace e2e
