#pragma once
// The few file operations whose safe form differs between Windows and POSIX,
// behind one interface: an exclusive lock file that another process (also on
// another machine sharing the folder) cannot take at the same time, a new
// file written through to the disk, a rename that replaces a file, and the
// system's own error numbers for what failed.
//
// The Windows half needs CreateFileW's share modes, delete-on-close,
// FlushFileBuffers, MoveFileExW's write-through and GetLastError, none of
// which the C runtime offers, so it is a leaf of its own beside the path
// text.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace vello::native {

// Failures carry the system's own number: GetLastError() on Windows (the C
// runtime's errno is not it there), errno on POSIX. What the program tells
// apart among them:
enum class FileErrorKind {
  kNotFound,      // the file does not exist (its folder does)
  kAccessDenied,  // read-only, locked by another program, no right to it
  kDiskFull,
  kOther,
};
FileErrorKind KindOfFileError(int systemError);
// The system's number for a refusal the program makes itself, as the
// system would have (a file whose permissions say read-only, which root
// could still write).
int AccessDeniedError();

enum class LockAttempt {
  kTaken,    // the lock is ours until ReleaseLockFile
  kBusy,     // another writer holds it: try again later
  kRefused,  // the lock file cannot be made at all (a read-only folder, ...)
};

// An open lock file: a POSIX descriptor or a Windows handle.
using LockHandle = std::intptr_t;

// One attempt, never waiting. The lock file exists only while it is held:
// on Windows it is deleted when its handle closes, also when the process
// dies; on POSIX a crashed holder leaves the file, but not the lock on it.
LockAttempt TryTakeLockFile(const std::filesystem::path& lockFile, LockHandle& handle);
void ReleaseLockFile(const std::filesystem::path& lockFile, LockHandle handle);

enum class CreateResult { kWritten, kExists, kFailed };

// Creates the file, which must not exist yet, writes the bytes and flushes
// them to the disk before closing it. On kFailed a file that was created is
// removed again. `systemError` (when given) gets the number of a failure.
CreateResult WriteNewFileToDisk(const std::filesystem::path& path, std::string_view bytes,
                                int* systemError = nullptr);

enum class RenameResult { kDone, kBusy, kFailed };

// Renames `from` over `to`, and makes the rename itself reach the disk.
// kBusy: the system refused because `to` is open elsewhere for a moment (a
// reader, a virus scanner); worth another try.
RenameResult ReplaceByRename(const std::filesystem::path& from, const std::filesystem::path& to,
                             int* systemError = nullptr);

// Opens an existing file for reading and writing, as a writer would, and
// closes it again: 0 when that works, else the system's number (of kind
// kNotFound for a missing file).
int TryOpenForUpdate(const std::filesystem::path& path);

// Reads the whole file through a handle opened for reading and writing, so
// a file no writer could change is refused as it would be: 0 or the
// system's number.
int ReadFileForUpdate(const std::filesystem::path& path, std::string& bytes);

// Appends the bytes at the end of the file, creating it when missing; each
// write lands at the end as it is then, so two processes appending at once
// never write over each other. When a write fails (a full disk) the file is
// cut back to the length it had, and a file this call created is removed
// again, so nobody finds half of the bytes: 0 or the system's number. (Not
// when another process appended meanwhile: cutting would lose its bytes.)
// Only a regular file is appended to.
int AppendToFile(const std::filesystem::path& path, std::string_view bytes);

// Makes an empty file unless one exists: 0 or the system's number.
int CreateEmptyFile(const std::filesystem::path& path);

// This process's number, to give temporary files names of their own.
unsigned long CurrentProcessId();

}  // namespace vello::native
