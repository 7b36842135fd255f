#include "schedule/schedule_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "common/native_path.h"
#include "common/text_format.h"
#include "common/vello_error.h"

namespace vello {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void ThrowFileError(int err) {
  switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
      throw VelloError("ファイルへのアクセスが拒否されました");
    case ENOSPC:
      throw VelloError("ディスクがいっぱいです");
    default:
      throw VelloError(FormatText("I/O エラー (%d)", {std::to_string(err)}));
  }
}

[[noreturn]] void ThrowEndOfFile() { throw VelloError("ファイルの末尾以降を読み込みました"); }

// errno of a failed C runtime call; never 0, so the error text always has a number.
int LastErrno() { return errno != 0 ? errno : EIO; }

std::FILE* OpenFile(const fs::path& path, bool forUpdate, bool create) {
  errno = 0;
#ifdef _WIN32
  const wchar_t* mode = create ? L"wb" : (forUpdate ? L"r+b" : L"rb");
  return _wfopen(path.c_str(), mode);
#else
  const char* mode = create ? "wb" : (forUpdate ? "r+b" : "rb");
  return std::fopen(path.c_str(), mode);
#endif
}

// Closes the file on every way out; Close() reports the close's own failure.
class FileHandle {
 public:
  explicit FileHandle(std::FILE* f) : f_(f) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (f_) std::fclose(f_);
  }
  std::FILE* get() const { return f_; }
  void Close() {
    std::FILE* f = f_;
    f_ = nullptr;
    errno = 0;
    if (std::fclose(f) != 0) ThrowFileError(LastErrno());
  }

 private:
  std::FILE* f_;
};

// Pushes the written bytes to the disk before the rename makes them the file.
void FlushToDisk(std::FILE* f) {
  errno = 0;
  if (std::fflush(f) != 0) ThrowFileError(LastErrno());
#ifdef _WIN32
  if (_commit(_fileno(f)) != 0) ThrowFileError(LastErrno());
#else
  if (fsync(fileno(f)) != 0) ThrowFileError(LastErrno());
#endif
}

void RemoveQuietly(const fs::path& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
}

}  // namespace

void LoadScheduleFile(std::string_view path, std::vector<TScheduleEntry>& out) {
  const fs::path native = NativePath(path);
  out.clear();
  std::FILE* f = OpenFile(native, /*forUpdate=*/true, /*create=*/false);
  if (!f) {
    int err = LastErrno();
    if (err != ENOENT) ThrowFileError(err);
    // No schedule yet: leave an empty file, as the first load always has.
    f = OpenFile(native, false, /*create=*/true);
    if (!f) ThrowFileError(LastErrno());
    FileHandle created(f);
    created.Close();
    return;
  }
  FileHandle file(f);
  std::string record(TScheduleEntry::kSize, '\0');
  for (;;) {
    errno = 0;
    std::size_t got = std::fread(record.data(), 1, record.size(), file.get());
    if (got == record.size()) {
      out.push_back(TScheduleEntry::FromBytes(record));
      continue;
    }
    if (std::ferror(file.get())) ThrowFileError(LastErrno());
    if (got != 0) ThrowEndOfFile();  // the last record is cut short
    break;
  }
  file.Close();
}

void SaveScheduleFile(std::string_view path, const std::vector<TScheduleEntry>& entries) {
  const fs::path target = NativePath(path);

  // A read-only or locked schedule is refused, not silently replaced.
  if (std::FILE* existing = OpenFile(target, /*forUpdate=*/true, false)) {
    std::fclose(existing);
  } else if (int err = LastErrno(); err != ENOENT) {
    ThrowFileError(err);
  }

  fs::path temp = target;
  temp += ".tmp";
  try {
    std::FILE* f = OpenFile(temp, false, /*create=*/true);
    if (!f) ThrowFileError(LastErrno());
    FileHandle file(f);
    for (const TScheduleEntry& e : entries) {
      errno = 0;
      if (std::fwrite(e.bytes().data(), 1, e.bytes().size(), file.get()) != e.bytes().size())
        ThrowFileError(LastErrno());
    }
    FlushToDisk(file.get());
    file.Close();
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
      std::error_condition cond = ec.default_error_condition();
      if (cond == std::errc::permission_denied || cond == std::errc::operation_not_permitted)
        ThrowFileError(EACCES);
      if (cond == std::errc::no_space_on_device) ThrowFileError(ENOSPC);
      ThrowFileError(ec.value() != 0 ? ec.value() : EIO);
    }
  } catch (...) {
    RemoveQuietly(temp);
    throw;
  }
}

}  // namespace vello
