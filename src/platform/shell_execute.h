#pragma once
// Opening a document, address or program with the shell's association,
// behind a seam so tests see each call instead of starting a browser.
#include <windows.h>

#include <functional>
#include <string>

namespace vello {

struct ShellExecuteCall {
  HWND window = nullptr;
  std::string operation;  // CP932
  std::wstring file;  // as the system takes it: a path keeps every character
  int show = SW_SHOW;
  std::wstring parameters = {};
};

using ShellExecuteFunction = std::function<void(const ShellExecuteCall&)>;
void SetShellExecuteFunctionForTests(ShellExecuteFunction fn);  // empty: the real shell

// No working folder; the shell's answer is not examined.
void CallShellExecute(const ShellExecuteCall& call);

}  // namespace vello
