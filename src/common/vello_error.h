#pragma once
// The one error type of the program. Its text is what the user reads, in
// CP932; the event boundary hands it to the common error display.
#include <stdexcept>
#include <string>

namespace vello {

class VelloError : public std::runtime_error {
 public:
  explicit VelloError(const std::string& text) : std::runtime_error(text) {}
  std::string text() const { return what(); }
};

}  // namespace vello
