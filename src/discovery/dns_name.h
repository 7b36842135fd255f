#pragma once
// A domain name as its labels. A label is bytes: a service instance's label
// is UTF-8 and may hold blanks and dots, so the labels are kept apart rather
// than joined into one dotted text. Names compare ignoring the case of ASCII
// letters, as DNS does; other bytes compare exactly.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vello::dns {

inline constexpr std::size_t kMaxLabelBytes = 63;
// On the wire: every label with its length byte, and the root's zero byte.
inline constexpr std::size_t kMaxNameWireBytes = 255;

struct Name {
  std::vector<std::string> labels;

  // "_vello._tcp.local": dots separate labels, no escapes. For the program's
  // own fixed names; a trailing dot is allowed.
  static Name FromDotted(std::string_view dotted);
  // The labels joined by "."; a dot or backslash inside a label is escaped
  // with a backslash, so the text names one name only.
  std::string ToText() const;
  // Bytes the name takes on the wire uncompressed.
  std::size_t WireLength() const;
  // Every label 1 to 63 bytes, at most 255 bytes on the wire.
  bool IsValid() const;
  // This name with `prefix` put in front as its first label.
  Name WithFirstLabel(std::string prefix) const;
  // The name without its first label (empty for an empty name).
  Name Parent() const;
};

bool SameLabel(std::string_view a, std::string_view b);
bool SameName(const Name& a, const Name& b);
// A key equal for names that SameName finds equal: the wire form with ASCII
// letters lower-cased.
std::string NameKey(const Name& name);

}  // namespace vello::dns
