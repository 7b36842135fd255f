#include "schedule/schedule_file.h"

#include <string>

#include "common/file_io.h"
#include "common/native_file.h"
#include "common/native_path.h"
#include "common/text_format.h"
#include "common/vello_error.h"

namespace vello {

namespace {

// The records of the file's bytes; a record cut short throws once the whole
// ones before it are in `out`.
void ParseRecords(const std::filesystem::path& path, std::string_view bytes, std::vector<TScheduleEntry>& out) {
  const std::size_t whole = bytes.size() / TScheduleEntry::kSize;
  out.reserve(whole);
  for (std::size_t i = 0; i < whole; ++i)
    out.push_back(TScheduleEntry::FromBytes(bytes.substr(i * TScheduleEntry::kSize, TScheduleEntry::kSize)));
  if (bytes.size() % TScheduleEntry::kSize != 0) ThrowFileError(path, "ファイルの末尾以降を読み込みました");
}

void Write(const std::filesystem::path& path, const std::vector<TScheduleEntry>& entries) {
  std::string bytes;
  bytes.reserve(entries.size() * TScheduleEntry::kSize);
  for (const TScheduleEntry& e : entries) bytes.append(reinterpret_cast<const char*>(e.bytes().data()), e.bytes().size());
  int error = 0;
  if (!ReplaceFileBytes(path, bytes, &error)) ThrowFileError(path, error);
}

// The file's lock, or the error of a writer kept waiting. A folder that
// takes no lock file takes no new schedule file either: the write that
// follows says why.
void TakeLock(const FileLock& lock, const std::filesystem::path& path) {
  if (lock.state() == FileLock::State::kBusy) throw VelloError(FileInUseText(path));
}

}  // namespace

void LoadScheduleFile(const std::filesystem::path& path, std::vector<TScheduleEntry>& out) {
  out.clear();
  std::string bytes;
  if (int error = native::ReadFileForUpdate(path, bytes); error != 0) {
    if (native::KindOfFileError(error) != native::FileErrorKind::kNotFound) ThrowFileError(path, error);
    // No schedule yet: leave an empty file, as the first load always has.
    if (int created = native::CreateEmptyFile(path); created != 0) ThrowFileError(path, created);
    return;
  }
  ParseRecords(path, bytes, out);
}

void SaveScheduleFile(const std::filesystem::path& path, const std::vector<TScheduleEntry>& entries) {
  FileLock lock(path);
  TakeLock(lock, path);
  Write(path, entries);
}

void UpdateScheduleFile(const std::filesystem::path& path,
                        const std::function<bool(std::vector<TScheduleEntry>&)>& change) {
  FileLock lock(path);
  TakeLock(lock, path);
  std::vector<TScheduleEntry> records;
  std::string bytes;
  if (int error = native::ReadFileForUpdate(path, bytes); error != 0) {
    if (native::KindOfFileError(error) != native::FileErrorKind::kNotFound) ThrowFileError(path, error);
  } else {
    ParseRecords(path, bytes, records);
  }
  if (change(records)) Write(path, records);
}

}  // namespace vello
