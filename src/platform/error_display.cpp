#include "platform/error_display.h"

#include "common/text_format.h"
#include "platform/win_text.h"

namespace vello {

namespace {
MessageBoxFunction& Hook() {
  static MessageBoxFunction fn;
  return fn;
}
std::string& Title() {
  static std::string title = "Vello";
  return title;
}
bool networkBoxOpen = false;
std::size_t droppedErrors = 0;
}  // namespace

void SetMessageBoxFunction(MessageBoxFunction fn) { Hook() = std::move(fn); }

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  if (Hook()) return Hook()(owner, text, caption, flags);
  return MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(), flags);
}

const std::string& ApplicationTitle() { return Title(); }
void SetApplicationTitle(const std::string& title) { Title() = title; }

void ShowErrorMessage(const std::string& message, ErrorOrigin origin) {
  const std::string text = ErrorDisplayText(message);
  if (origin == ErrorOrigin::User) {
    ShowMessageBox(GetActiveWindow(), text, "Vello", MB_OK | MB_ICONERROR);
    return;
  }
  if (networkBoxOpen) {
    ++droppedErrors;
    return;
  }
  networkBoxOpen = true;
  ShowMessageBox(GetActiveWindow(), text, "Vello", MB_OK | MB_ICONERROR);
  networkBoxOpen = false;
}

std::size_t DroppedErrorCount() { return droppedErrors; }

}  // namespace vello
