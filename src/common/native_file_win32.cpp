// The Windows half of the native file operations, compiled into the core
// like the path conversion: share modes, delete-on-close, FlushFileBuffers
// and write-through renames have no C runtime equivalent.
#include <windows.h>

#include "common/native_file.h"

namespace vello::native {

namespace {

// Closes a handle on every way out.
struct Handle {
  HANDLE h;
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

// Opened as a writer opens the file: others may read and write it meanwhile,
// but a file someone holds without sharing is refused.
HANDLE OpenExistingForUpdate(const std::filesystem::path& path) {
  return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int LastError() {
  DWORD error = GetLastError();
  return error != 0 ? static_cast<int>(error) : static_cast<int>(ERROR_GEN_FAILURE);
}

}  // namespace

FileErrorKind KindOfFileError(int systemError) {
  switch (static_cast<DWORD>(systemError)) {
    case ERROR_FILE_NOT_FOUND:
      return FileErrorKind::kNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return FileErrorKind::kAccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return FileErrorKind::kDiskFull;
    default:
      return FileErrorKind::kOther;
  }
}

int AccessDeniedError() { return ERROR_ACCESS_DENIED; }

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

CreateResult WriteNewFileToDisk(const std::filesystem::path& path, std::string_view bytes, int* systemError) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    int error = LastError();
    if (systemError) *systemError = error;
    return static_cast<DWORD>(error) == ERROR_FILE_EXISTS || static_cast<DWORD>(error) == ERROR_ALREADY_EXISTS
               ? CreateResult::kExists
               : CreateResult::kFailed;
  }
  bool ok = true;
  int error = 0;
  while (ok && !bytes.empty()) {
    DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    ok = WriteFile(h, bytes.data(), chunk, &written, nullptr) && written > 0;
    if (ok) bytes.remove_prefix(written);
  }
  ok = ok && FlushFileBuffers(h);
  if (!ok) error = LastError();
  if (!CloseHandle(h) && ok) {
    ok = false;
    error = LastError();
  }
  if (!ok) {
    DeleteFileW(path.c_str());
    if (systemError) *systemError = error;
  }
  return ok ? CreateResult::kWritten : CreateResult::kFailed;
}

RenameResult ReplaceByRename(const std::filesystem::path& from, const std::filesystem::path& to, int* systemError) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return RenameResult::kDone;
  DWORD error = static_cast<DWORD>(LastError());
  if (systemError) *systemError = static_cast<int>(error);
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION
             ? RenameResult::kBusy
             : RenameResult::kFailed;
}

int TryOpenForUpdate(const std::filesystem::path& path) {
  Handle file{OpenExistingForUpdate(path)};
  return file.h == INVALID_HANDLE_VALUE ? LastError() : 0;
}

int ReadFileForUpdate(const std::filesystem::path& path, std::string& bytes) {
  Handle file{OpenExistingForUpdate(path)};
  if (file.h == INVALID_HANDLE_VALUE) return LastError();
  bytes.clear();
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.h, buffer, sizeof buffer, &got, nullptr)) return LastError();
    if (got == 0) return 0;
    bytes.append(buffer, got);
  }
}

int AppendToFile(const std::filesystem::path& path, std::string_view bytes) {
  // Append access alone: each write lands at the end as it is then, also
  // when another copy of the program appends to the same log meanwhile.
  Handle file{CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (file.h == INVALID_HANDLE_VALUE) return LastError();
  const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
  if (GetFileType(file.h) != FILE_TYPE_DISK) return ERROR_INVALID_FUNCTION;
  LARGE_INTEGER before{};
  if (!GetFileSizeEx(file.h, &before)) return LastError();
  int error = 0;
  for (std::string_view rest = bytes; error == 0 && !rest.empty();) {
    DWORD chunk = rest.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(rest.size());
    DWORD written = 0;
    if (!WriteFile(file.h, rest.data(), chunk, &written, nullptr) || written == 0) error = LastError();
    else rest.remove_prefix(written);
  }
  // Some file systems (network shares) report a full disk only at close.
  HANDLE h = file.h;
  file.h = INVALID_HANDLE_VALUE;
  if (!CloseHandle(h) && error == 0) error = LastError();
  if (error == 0) return 0;
  // Take back what part of the bytes went in, unless more than they could
  // be came after `before`: then another writer's bytes are there too, and
  // cutting would lose them.
  Handle again{CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr)};
  LARGE_INTEGER now{};
  if (again.h == INVALID_HANDLE_VALUE || !GetFileSizeEx(again.h, &now)) return error;
  const LONGLONG added = now.QuadPart - before.QuadPart;
  if (added >= 0 && added <= static_cast<LONGLONG>(bytes.size())) {
    if (added > 0 && SetFilePointerEx(again.h, before, nullptr, FILE_BEGIN)) SetEndOfFile(again.h);
    if (created && before.QuadPart == 0) {
      CloseHandle(again.h);
      again.h = INVALID_HANDLE_VALUE;
      DeleteFileW(path.c_str());
    }
  }
  return error;
}

int CreateEmptyFile(const std::filesystem::path& path) {
  Handle file{CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr)};
  return file.h == INVALID_HANDLE_VALUE ? LastError() : 0;
}

unsigned long CurrentProcessId() { return GetCurrentProcessId(); }

}  // namespace vello::native
