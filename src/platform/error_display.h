#pragma once
// Message boxes, behind one seam so tests read what would be shown instead
// of blocking on a modal box.
#include <windows.h>

#include <functional>
#include <string>

namespace vello {

using MessageBoxFunction = std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT flags)>;

// Replaces the message box (tests); an empty function restores the real one.
void SetMessageBoxFunction(MessageBoxFunction fn);

// A message box with CP932 text and caption; returns the button pressed.
int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags);

// The application title: the caption of plain boxes and the taskbar text.
const std::string& ApplicationTitle();
void SetApplicationTitle(const std::string& title);

// Where an error came from: what the user did, or what arrived from the
// network.
enum class ErrorOrigin { User, Network };

// The common error display: caption "Vello", error icon, OK, and the "."
// rule. The errors of the user's own actions are always shown. Of those that
// arrive from the network at most one is open at a time: each box runs a
// nested message loop, so a flood would otherwise stack boxes without bound;
// the others are dropped (counted in DroppedErrorCount()).
void ShowErrorMessage(const std::string& message, ErrorOrigin origin = ErrorOrigin::User);
std::size_t DroppedErrorCount();

}  // namespace vello
