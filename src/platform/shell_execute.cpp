#include "platform/shell_execute.h"

#include <shellapi.h>

#include "platform/com_apartment.h"
#include "platform/win_text.h"

namespace vello {

namespace {
ShellExecuteFunction& Hook() {
  static ShellExecuteFunction fn;
  return fn;
}
}  // namespace

void SetShellExecuteFunctionForTests(ShellExecuteFunction fn) { Hook() = std::move(fn); }

void CallShellExecute(const ShellExecuteCall& call) {
  if (Hook()) {
    Hook()(call);
    return;
  }
  // A verb may be carried out by a shell extension, which is a COM object.
  UseComOnThisThread();
  ShellExecuteW(call.window, Widen(call.operation).c_str(), call.file.c_str(),
                call.parameters.empty() ? nullptr : call.parameters.c_str(), nullptr, call.show);
}

}  // namespace vello
