// The Windows half of the native file operations, compiled into the core
// like the path conversion: share modes, delete-on-close, FlushFileBuffers
// and write-through renames have no C runtime equivalent.
#include <windows.h>

#include "common/native_file.h"

namespace vello::native {

LockAttempt TryTakeLockFile(const std::filesystem::path& lockFile, LockHandle& handle) {
  // No sharing: while one handle is open nobody else can open the file, in
  // this process, another one, or on another machine using the folder. The
  // system deletes the file when the handle closes, also when a holder dies.
  HANDLE h = CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    handle = reinterpret_cast<LockHandle>(h);
    return LockAttempt::kTaken;
  }
  DWORD error = GetLastError();
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return LockAttempt::kBusy;
  // Access is also denied to a file that is being deleted: the holder has
  // just let go. A folder that refuses new files has no such file.
  if (error == ERROR_ACCESS_DENIED && GetFileAttributesW(lockFile.c_str()) != INVALID_FILE_ATTRIBUTES)
    return LockAttempt::kBusy;
  return LockAttempt::kRefused;
}

void ReleaseLockFile(const std::filesystem::path&, LockHandle handle) {
  CloseHandle(reinterpret_cast<HANDLE>(handle));
}

CreateResult WriteNewFileToDisk(const std::filesystem::path& path, std::string_view bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? CreateResult::kExists
                                                                      : CreateResult::kFailed;
  }
  bool ok = true;
  while (ok && !bytes.empty()) {
    DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    ok = WriteFile(h, bytes.data(), chunk, &written, nullptr) && written > 0;
    if (ok) bytes.remove_prefix(written);
  }
  ok = ok && FlushFileBuffers(h);
  ok = CloseHandle(h) && ok;
  if (!ok) DeleteFileW(path.c_str());
  return ok ? CreateResult::kWritten : CreateResult::kFailed;
}

RenameResult ReplaceByRename(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return RenameResult::kDone;
  DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION
             ? RenameResult::kBusy
             : RenameResult::kFailed;
}

unsigned long CurrentProcessId() { return GetCurrentProcessId(); }

}  // namespace vello::native
