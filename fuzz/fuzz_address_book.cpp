// The address book as it comes off the disk, and the look-ups made on it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "settings/address_book.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = vello::ParseAddressBook(bytes);

  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    FUZZ_CHECK(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
    const std::string nickname = vello::NicknameOf(line);
    const std::optional<std::string> address = vello::AddressOf(line);
    const std::string entry = vello::DestinationEntry(line);
    FUZZ_CHECK(entry == "*" + nickname);
    if (!address) {
      FUZZ_CHECK(nickname.empty());
      continue;
    }
    // The line is its nickname, the separator and its address.
    FUZZ_CHECK(nickname + std::string(vello::kAddressSeparator) + *address == line);
    // Its own entry always resolves (checked for the first lines only: each
    // look-up walks the whole book).
    if (i >= 64) continue;
    const std::optional<std::string> first = vello::ResolveFirst(lines, entry);
    const std::optional<std::string> last = vello::ResolveLast(lines, entry);
    FUZZ_CHECK(first.has_value() && last.has_value());
  }
  // A destination without "*" is no address-book entry.
  FUZZ_CHECK(!vello::ResolveFirst(lines, "no star").has_value());

  // Saving and parsing again gives the same lines.
  FUZZ_CHECK(vello::ParseAddressBook(vello::SerializeAddressBook(lines)) == lines);
  return 0;
}
