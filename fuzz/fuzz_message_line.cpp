// The receiver's side of the wire: any bytes as one received message line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/sjis.h"
#include "common/vello_error.h"
#include "fuzz_check.h"
#include "messaging/message_line.h"

namespace {

// Text a sender can hold: every lead byte has its trail byte.
bool IsWholeCp932(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!vello::IsLeadByte(static_cast<unsigned char>(text[i]))) continue;
    if (i + 1 >= text.size()) return false;
    const unsigned char trail = static_cast<unsigned char>(text[++i]);
    if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> fields = vello::SplitCommaText(line);
  std::size_t total = 0;
  for (const std::string& f : fields) {
    FUZZ_CHECK(f.find('\0') == std::string::npos);  // a NUL ends the text
    total += f.size();
  }
  FUZZ_CHECK(total <= size);

  vello::ReceivedMessage m;
  try {
    m = vello::ReadMessageLine(line);
  } catch (const vello::VelloError&) {
    // Refused as a whole: too few fields, or a number field that is none.
    bool numbersOk = fields.size() >= 9;
    for (std::size_t i : {0, 1, 2, 3, 4, 6})
      numbersOk = numbersOk && vello::ParseInt32(fields[i]).has_value();
    FUZZ_CHECK(!numbersOk);
    return 0;
  }
  FUZZ_CHECK(fields.size() >= 9);
  FUZZ_CHECK(m.look.fontName == fields[5]);
  FUZZ_CHECK(m.text == fields[8]);
  FUZZ_CHECK(m.important == (fields[7] == "P"));

  // What a sender could have sent comes back unchanged when built again.
  if (IsWholeCp932(m.look.fontName) && IsWholeCp932(m.text) && m.look.fontName.find('"') == std::string::npos) {
    const std::string again = vello::MakeMessageLine(m.look, m.text, m.important ? "P" : "N");
    const vello::ReceivedMessage r = vello::ReadMessageLine(again);
    FUZZ_CHECK(r.look == m.look);
    FUZZ_CHECK(r.text == m.text && r.important == m.important);
    FUZZ_CHECK(vello::SplitCommaText(again).size() == 9);
  }
  return 0;
}
