// The file of messages waiting for their receiver, as it lies on the disk.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "messaging/waiting_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> unreadable;
  const std::vector<vello::WaitingMessage> messages = vello::DecodeWaitingFile(bytes, &unreadable);
  for (const vello::WaitingMessage& m : messages) FUZZ_CHECK(!m.id.empty());
  for (const std::string& line : unreadable) FUZZ_CHECK(line.find('\n') == std::string::npos);

  // Written back with what could not be read, the file reads the same again:
  // a writer loses nothing and turns nothing unreadable into a message.
  if (vello::WaitingFileVersion(bytes).value_or(vello::kWaitingFormatVersion) != vello::kWaitingFormatVersion)
    return 0;
  const std::string written = vello::EncodeWaitingFile(messages, unreadable);
  std::vector<std::string> unreadableAgain;
  FUZZ_CHECK(vello::DecodeWaitingFile(written, &unreadableAgain) == messages);
  FUZZ_CHECK(unreadableAgain == unreadable);
  FUZZ_CHECK(vello::EncodeWaitingFile(messages, unreadableAgain) == written);
  return 0;
}
