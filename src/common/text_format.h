#pragma once
// Message texts with numbered or plain placeholders, as the program's error
// texts are written: "%s", "%d", "%0:s", "%2:s", "%%".
#include <initializer_list>
#include <string>
#include <string_view>

namespace vello {

// Each argument is already text (numbers through std::to_string). Plain
// placeholders take the arguments in order; "%N:" picks argument N and
// plain ones go on after it. A placeholder with no argument is left as is.
std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args);

// The text of the common error display: the message, followed by "." when
// its last character sorts after "." (so "." or "!" get none, "。" gets one).
std::string ErrorDisplayText(std::string_view message);

}  // namespace vello
