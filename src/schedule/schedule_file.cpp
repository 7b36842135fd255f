#include "schedule/schedule_file.h"

#include <string>

#include "common/file_io.h"
#include "common/native_file.h"
#include "common/text_format.h"
#include "common/vello_error.h"

namespace vello {

namespace {

[[noreturn]] void ThrowFileError(int systemError) {
  switch (native::KindOfFileError(systemError)) {
    case native::FileErrorKind::kAccessDenied:
      throw VelloError("ファイルへのアクセスが拒否されました");
    case native::FileErrorKind::kDiskFull:
      throw VelloError("ディスクがいっぱいです");
    default:
      throw VelloError(FormatText("I/O エラー (%d)", {std::to_string(systemError)}));
  }
}

}  // namespace

void LoadScheduleFile(const std::filesystem::path& path, std::vector<TScheduleEntry>& out) {
  out.clear();
  std::string bytes;
  if (int error = native::ReadFileForUpdate(path, bytes); error != 0) {
    if (native::KindOfFileError(error) != native::FileErrorKind::kNotFound) ThrowFileError(error);
    // No schedule yet: leave an empty file, as the first load always has.
    if (int created = native::CreateEmptyFile(path); created != 0) ThrowFileError(created);
    return;
  }
  const std::size_t whole = bytes.size() / TScheduleEntry::kSize;
  out.reserve(whole);
  for (std::size_t i = 0; i < whole; ++i)
    out.push_back(TScheduleEntry::FromBytes(std::string_view(bytes).substr(i * TScheduleEntry::kSize,
                                                                           TScheduleEntry::kSize)));
  if (bytes.size() % TScheduleEntry::kSize != 0) throw VelloError("ファイルの末尾以降を読み込みました");
}

void SaveScheduleFile(const std::filesystem::path& path, const std::vector<TScheduleEntry>& entries) {
  std::string bytes;
  bytes.reserve(entries.size() * TScheduleEntry::kSize);
  for (const TScheduleEntry& e : entries) bytes.append(reinterpret_cast<const char*>(e.bytes().data()), e.bytes().size());
  int error = 0;
  if (!ReplaceFileBytes(path, bytes, &error)) ThrowFileError(error);
}

}  // namespace vello
