// The schedule file as it lies on the disk: headerless 344-byte records.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/vello_error.h"
#include "fuzz_check.h"
#include "schedule/schedule_file.h"

namespace {

// Each field read, written back as read, reads the same again.
void CheckFieldsStable(const vello::TScheduleEntry& e) {
  vello::TScheduleEntry c = e;
  c.SetDateTime(e.DateTime());
  c.SetDestination(e.Destination());
  c.SetWidth(e.Width());
  c.SetHeight(e.Height());
  c.SetColor(e.Color());
  c.SetFontName(e.FontName());
  c.SetFontColor(e.FontColor());
  c.SetFontSize(e.FontSize());
  c.SetFontStyle(e.FontStyle());
  c.SetText(e.Text());
  c.SetImportance(e.Importance());
  c.SetSent(e.Sent());
  FUZZ_CHECK(c.DateTime() == e.DateTime() && c.Destination() == e.Destination());
  FUZZ_CHECK(c.Width() == e.Width() && c.Height() == e.Height() && c.Color() == e.Color());
  FUZZ_CHECK(c.FontName() == e.FontName() && c.FontColor() == e.FontColor());
  FUZZ_CHECK(c.FontSize() == e.FontSize() && c.FontStyle() == e.FontStyle());
  FUZZ_CHECK(c.Text() == e.Text() && c.Importance() == e.Importance() && c.Sent() == e.Sent());
  FUZZ_CHECK(e.Destination().size() <= vello::TScheduleEntry::kDestinationCapacity);
  FUZZ_CHECK(e.Text().size() <= vello::TScheduleEntry::kTextCapacity);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string& path = vello::fuzz::ScratchPath("schedule");
  vello::fuzz::WriteScratch(path, bytes);

  std::vector<vello::TScheduleEntry> entries;
  constexpr std::size_t kSize = vello::TScheduleEntry::kSize;
  try {
    vello::LoadScheduleFile(path, entries);
    FUZZ_CHECK(size % kSize == 0);
  } catch (const vello::VelloError&) {
    // Only a record cut short is refused; the whole ones before it are kept.
    FUZZ_CHECK(size % kSize != 0);
  }
  FUZZ_CHECK(entries.size() == size / kSize);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    FUZZ_CHECK(std::memcmp(entries[i].bytes().data(), data + i * kSize, kSize) == 0);
    CheckFieldsStable(entries[i]);
  }
  return 0;
}
