#pragma once
// Text a user types to be stored (nicknames, addresses, categories,
// phrases, the timer's destination). Every file of the program holds text
// as code page 932 bytes, as other copies read them; a character outside
// that code page would be stored as "?" or a look-alike, so another text
// than the one typed. Such text is refused where it would be stored, with a
// message that names the characters.
#include <optional>
#include <string>
#include <string_view>

namespace vello {

// Nothing when `typed` can be stored as it is; otherwise the message, with
// `what` naming the box ("通称名", "定型文", ...) and the characters that
// code page 932 lacks given by their numbers (U+00E9), since the message
// itself cannot show them either.
std::optional<std::string> OutsideCodePageRefusal(std::string_view what, std::wstring_view typed);

}  // namespace vello
