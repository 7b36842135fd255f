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
  std::string file;       // CP932
  int show = SW_SHOW;
};

using ShellExecuteFunction = std::function<void(const ShellExecuteCall&)>;
void SetShellExecuteFunctionForTests(ShellExecuteFunction fn);  // empty: the real shell

// No parameters, no folder; the shell's answer is not examined.
void CallShellExecute(const ShellExecuteCall& call);

}  // namespace vello
