#pragma once
// Whole-file reads, safe replacement and the lock a writer holds across a
// read-modify-write. Paths are the system's own (native_path.h).
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/native_file.h"

namespace vello {

bool FileExists(const std::filesystem::path& path);

// The file's bytes; nullopt when it is not a regular file or cannot be read.
std::optional<std::string> ReadFileBytes(const std::filesystem::path& path);

// Replaces the file's contents: the bytes go to a temporary file of this
// writer's own beside it, are flushed to the disk, and the temporary file is
// renamed over the old one, so neither a failure nor a power cut leaves a
// half-written file in place of a good one. An existing file that is
// read-only, locked or not a regular file is refused, as a write to it would
// be. Returns false when anything fails: the old file is then untouched and
// no temporary file is left behind, and `systemError` (when given) holds the
// system's number for why (see native_file.h).
bool ReplaceFileBytes(const std::filesystem::path& path, std::string_view bytes, int* systemError = nullptr);

// Whether ReplaceFileBytes would even try: false for an existing file that
// is read-only, locked or not a regular file, with the system's number for
// why in `systemError` (when given).
bool MayReplaceFile(const std::filesystem::path& path, int* systemError = nullptr);

// Appends bytes at the end of the file, creating it when missing. False
// when the file cannot be opened or written, the disk full among the
// reasons: the file is then as it was (see native::AppendToFile), and
// `systemError` (when given) holds the system's number for why.
bool AppendFileBytes(const std::filesystem::path& path, std::string_view bytes, int* systemError = nullptr);

// How long a writer waits for another writer to finish with the same file.
// A read-modify-write holds the lock for milliseconds.
inline constexpr int kFileLockWaitMilliseconds = 5000;

// Held by a writer from reading a file to replacing it, so that two copies
// of the program writing into one folder (two users of one terminal server,
// a folder on a file share) never work from the same old bytes and lose
// each other's keys. The lock is a file beside the data file, named after it
// with ".lock" appended, that exists only while it is held (and ".lock.next"
// while a writer waits for it). Readers need no lock: a replacement is one
// rename, so they see the old file or the new. Since every writer keeps its
// temporary file only while it holds the lock, taking the lock also removes
// the temporary files that writers killed half-way left behind.
//
// Why a lock file of its own and not a lock on the data file (LockFileEx,
// flock): the data file is replaced by a rename, so a lock on it would stay
// with the old file while the next writer opens the new one. A lock file
// opened without sharing works between processes, between sessions of a
// terminal server and between machines using a shared folder, and the
// system lets go of it when its holder dies (Windows deletes it with the
// handle; on POSIX flock(2) ends with the process). The wait is by trying
// again every millisecond, bounded, so a hung holder costs a clear error
// rather than a frozen window.
class FileLock {
 public:
  enum class State {
    kHeld,     // the lock is ours until this object ends
    kBusy,     // another writer kept it for the whole wait
    kRefused,  // the folder does not let us make the lock file: the write would fail too
  };

  // Waits up to `waitMilliseconds` (default: FileLockWaitMilliseconds()).
  explicit FileLock(const std::filesystem::path& path, int waitMilliseconds = -1);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  State state() const { return state_; }

 private:
  std::filesystem::path lockFile_;
  native::LockHandle handle_ = 0;
  State state_ = State::kRefused;
};

// The wait FileLock uses by default: kFileLockWaitMilliseconds unless set
// (tests shorten it to see a writer give up).
int FileLockWaitMilliseconds();
void SetFileLockWaitMilliseconds(int milliseconds);

// The errors of the program's files: VelloError "<path>: <reason>", the
// path as PathText shows it.
[[noreturn]] void ThrowFileError(const std::filesystem::path& path, std::string_view reason);
// The same with the system's number said in words: "ファイルへのアクセスが拒否されました"
// (read-only, locked), "ディスクがいっぱいです", else "I/O エラー (%d)".
[[noreturn]] void ThrowFileError(const std::filesystem::path& path, int systemError);

// What a writer reports when another one kept the file's lock too long.
std::string FileInUseText(const std::filesystem::path& path);

}  // namespace vello
