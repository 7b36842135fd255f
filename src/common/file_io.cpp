#include "common/file_io.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <system_error>
#include <thread>
#include <vector>

#include "common/native_path.h"
#include "common/text_format.h"
#include "common/vello_error.h"

namespace vello {

namespace fs = std::filesystem;

namespace {

// A reader or a virus scanner may hold the old file for a moment, and the
// system refuses to rename over it meanwhile.
constexpr int kRenameRetryMilliseconds = 1000;
constexpr int kRetryPauseMilliseconds = 1;

std::atomic<int> lockWaitMilliseconds{kFileLockWaitMilliseconds};

void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(kRetryPauseMilliseconds)); }

bool Elapsed(std::chrono::steady_clock::time_point since, int milliseconds) {
  return std::chrono::steady_clock::now() - since >= std::chrono::milliseconds(milliseconds);
}

// "vello.ini" -> "vello.ini.<process>-<n>.tmp": no two writers, in this
// process or another, ever write into the same temporary file.
fs::path TemporaryNameFor(const fs::path& target) {
  static std::atomic<unsigned> counter{0};
  fs::path temp = target;
  temp += "." + std::to_string(native::CurrentProcessId()) + "-" + std::to_string(++counter) + ".tmp";
  return temp;
}

// The system refuses to write a read-only or locked file; renaming a new
// file over it would not, so look first. `error` gets the system's number
// for a refusal.
bool MayReplace(const fs::path& target, int& error) {
  std::error_code ec;
  fs::file_status status = fs::status(target, ec);
  if (!fs::exists(status)) return true;
  error = native::TryOpenForUpdate(target);
  if (error != 0) return false;
  // A folder or device opened anyway, or permissions that say read-only to
  // a user (root) whom the system lets write.
  if (!fs::is_regular_file(status) || (status.permissions() & fs::perms::owner_write) == fs::perms::none) {
    error = native::AccessDeniedError();
    return false;
  }
  return true;
}

// "vello.ini.<digits>-<digits>.tmp": a name TemporaryNameFor gives the file.
bool IsTemporaryNameOf(const fs::path::string_type& name, const fs::path::string_type& target) {
  const fs::path::string_type suffix = fs::path(".tmp").native();
  if (name.size() <= target.size() + 1 + suffix.size() || name.compare(0, target.size(), target) != 0 ||
      name[target.size()] != '.' || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return false;
  const auto middle = name.substr(target.size() + 1, name.size() - target.size() - 1 - suffix.size());
  const auto dash = middle.find('-');
  auto digits = [](const auto& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](auto c) { return c >= '0' && c <= '9'; });
  };
  return dash != middle.npos && digits(middle.substr(0, dash)) && digits(middle.substr(dash + 1));
}

// Every writer of a file holds its lock while its temporary file exists, in
// this process, another one, or on another machine sharing the folder. So
// while we hold it, any temporary file of the same file belongs to a writer
// that died (killed, or a power cut) before it could remove its own.
void RemoveLeftoverTemporaryFiles(const fs::path& target) {
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  const fs::path::string_type name = target.filename().native();
  std::error_code ec;
  std::vector<fs::path> leftovers;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (IsTemporaryNameOf(it->path().filename().native(), name)) leftovers.push_back(it->path());
  for (const fs::path& leftover : leftovers) fs::remove(leftover, ec);
}

}  // namespace

bool FileExists(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

std::optional<std::string> ReadFileBytes(const fs::path& path) {
  // Only a regular file is read: the stream library throws on a folder.
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

bool ReplaceFileBytes(const fs::path& target, std::string_view bytes, int* systemError) {
  int ignoredError = 0;
  int& error = systemError ? *systemError : ignoredError;
  if (!MayReplace(target, error)) return false;

  fs::path temp;
  for (int attempt = 0;; ++attempt) {
    temp = TemporaryNameFor(target);
    native::CreateResult created = native::WriteNewFileToDisk(temp, bytes, &error);
    if (created == native::CreateResult::kWritten) break;
    // A name left by a process that ended long ago: take the next one.
    if (created == native::CreateResult::kFailed || attempt == 100) return false;
  }

  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    native::RenameResult renamed = native::ReplaceByRename(temp, target, &error);
    if (renamed == native::RenameResult::kDone) return true;
    if (renamed == native::RenameResult::kFailed || Elapsed(start, kRenameRetryMilliseconds)) break;
    Pause();
  }
  std::error_code ignored;
  fs::remove(temp, ignored);
  return false;
}

bool MayReplaceFile(const fs::path& path, int* systemError) {
  int ignoredError = 0;
  return MayReplace(path, systemError ? *systemError : ignoredError);
}

bool AppendFileBytes(const fs::path& path, std::string_view bytes, int* systemError) {
  int error = native::AppendToFile(path, bytes);
  if (systemError) *systemError = error;
  return error == 0;
}

namespace {

enum class Taken { kYes, kBusy, kRefused };

// Tries to take one lock file until `start` + `waitMilliseconds`.
Taken TakeWithin(const fs::path& file, native::LockHandle& handle, std::chrono::steady_clock::time_point start,
                 int waitMilliseconds) {
  for (;;) {
    native::LockAttempt attempt = native::TryTakeLockFile(file, handle);
    if (attempt == native::LockAttempt::kTaken) return Taken::kYes;
    if (attempt == native::LockAttempt::kRefused) return Taken::kRefused;
    if (Elapsed(start, waitMilliseconds)) return Taken::kBusy;
    Pause();
  }
}

}  // namespace

FileLock::FileLock(const fs::path& path, int waitMilliseconds) {
  if (waitMilliseconds < 0) waitMilliseconds = FileLockWaitMilliseconds();
  lockFile_ = path;
  lockFile_ += ".lock";
  // Waiting is by trying again, and a writer that lets go and comes straight
  // back would win nearly every time against one that tries every few
  // milliseconds. So a waiter first takes a second lock, the place next in
  // line, and holds it until it has the lock itself: a writer coming back
  // has to queue behind it. With two writers they take turns.
  fs::path nextFile = lockFile_;
  nextFile += ".next";
  const auto start = std::chrono::steady_clock::now();
  native::LockHandle next = 0;
  Taken inLine = TakeWithin(nextFile, next, start, waitMilliseconds);
  if (inLine != Taken::kYes) {
    state_ = inLine == Taken::kBusy ? State::kBusy : State::kRefused;
    return;
  }
  Taken taken = TakeWithin(lockFile_, handle_, start, waitMilliseconds);
  native::ReleaseLockFile(nextFile, next);
  state_ = taken == Taken::kYes ? State::kHeld : taken == Taken::kBusy ? State::kBusy : State::kRefused;
  if (state_ == State::kHeld) RemoveLeftoverTemporaryFiles(path);
}

FileLock::~FileLock() {
  if (state_ == State::kHeld) native::ReleaseLockFile(lockFile_, handle_);
}

int FileLockWaitMilliseconds() { return lockWaitMilliseconds.load(); }

void SetFileLockWaitMilliseconds(int milliseconds) { lockWaitMilliseconds.store(milliseconds); }

std::string FileInUseText(const fs::path& path) {
  return FormatText("ファイル %s は使用中のため書き込めません", {PathText(path)});
}

void ThrowFileError(const std::filesystem::path& path, std::string_view reason) {
  throw VelloError(PathText(path) + ": " + std::string(reason));
}

void ThrowFileError(const std::filesystem::path& path, int systemError) {
  switch (native::KindOfFileError(systemError)) {
    case native::FileErrorKind::kAccessDenied:
      ThrowFileError(path, "ファイルへのアクセスが拒否されました");
    case native::FileErrorKind::kDiskFull:
      ThrowFileError(path, "ディスクがいっぱいです");
    default:
      ThrowFileError(path, FormatText("I/O エラー (%d)", {std::to_string(systemError)}));
  }
}

}  // namespace vello
