// The POSIX half of the native file operations (the native build: tests and
// tools). The lock is flock(2) on a lock file that exists while it is held.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/native_file.h"

namespace vello::native {

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Closes a descriptor on every way out.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

FileErrorKind KindOfFileError(int systemError) {
  switch (systemError) {
    case ENOENT:
      return FileErrorKind::kNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      return FileErrorKind::kAccessDenied;
    case ENOSPC:
    case EDQUOT:
      return FileErrorKind::kDiskFull;
    default:
      return FileErrorKind::kOther;
  }
}

int AccessDeniedError() { return EACCES; }

LockAttempt TryTakeLockFile(const std::filesystem::path& lockFile, LockHandle& handle) {
  int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return LockAttempt::kRefused;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK || error == EINTR ? LockAttempt::kBusy : LockAttempt::kRefused;
  }
  // The holder before us removes the file when it lets go; if it did so
  // after we opened it, our lock is on a file no other writer will open.
  struct stat held, named;
  if (::fstat(fd, &held) != 0 || ::stat(lockFile.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
      held.st_dev != named.st_dev) {
    ::close(fd);
    return LockAttempt::kBusy;
  }
  handle = fd;
  return LockAttempt::kTaken;
}

void ReleaseLockFile(const std::filesystem::path& lockFile, LockHandle handle) {
  // Removed while still locked, so a waiter that opened it sees the change.
  ::unlink(lockFile.c_str());
  ::close(static_cast<int>(handle));
}

CreateResult WriteNewFileToDisk(const std::filesystem::path& path, std::string_view bytes, int* systemError) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (systemError) *systemError = errno;
    return errno == EEXIST ? CreateResult::kExists : CreateResult::kFailed;
  }
  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  int error = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(path.c_str());
    if (systemError) *systemError = error != 0 ? error : EIO;
  }
  return ok ? CreateResult::kWritten : CreateResult::kFailed;
}

RenameResult ReplaceByRename(const std::filesystem::path& from, const std::filesystem::path& to, int* systemError) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    if (systemError) *systemError = errno;
    return RenameResult::kFailed;
  }
  // The new name lives in the folder: flush the folder too, or after a power
  // cut the name may still point at the old file.
  std::filesystem::path folder = to.parent_path();
  if (folder.empty()) folder = ".";
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return RenameResult::kDone;
}

int TryOpenForUpdate(const std::filesystem::path& path) {
  Descriptor file{::open(path.c_str(), O_RDWR | O_CLOEXEC)};
  return file.fd < 0 ? errno : 0;
}

int ReadFileForUpdate(const std::filesystem::path& path, std::string& bytes) {
  Descriptor file{::open(path.c_str(), O_RDWR | O_CLOEXEC)};
  if (file.fd < 0) return errno;
  bytes.clear();
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(file.fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

int AppendToFile(const std::filesystem::path& path, std::string_view bytes) {
  // Append mode: each write lands at the end as it is then, also when
  // another copy of the program appends to the same log meanwhile.
  bool created = false;
  Descriptor file{::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC)};
  if (file.fd < 0 && errno == ENOENT) {
    file.fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    created = file.fd >= 0;
    // Another copy created it between the two opens: append to theirs.
    if (file.fd < 0 && errno == EEXIST) file.fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  }
  if (file.fd < 0) return errno;
  struct stat st;
  if (::fstat(file.fd, &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  const off_t before = st.st_size;
  int error = WriteAll(file.fd, bytes) ? 0 : (errno != 0 ? errno : EIO);
  if (error == 0) {
    // Some file systems (network shares) report a full disk only at close.
    int fd = file.fd;
    file.fd = -1;
    if (::close(fd) == 0) return 0;
    error = errno;
    file.fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  }
  // Take back what part of the bytes went in, unless more than they could
  // be came after `before`: then another writer's bytes are there too, and
  // cutting would lose them.
  if (file.fd >= 0 && ::fstat(file.fd, &st) == 0 && st.st_size > before &&
      st.st_size - before <= static_cast<off_t>(bytes.size())) {
    if (created && ::ftruncate(file.fd, 0) == 0) ::unlink(path.c_str());
    else (void)!::ftruncate(file.fd, before);
  } else if (created && file.fd >= 0 && ::fstat(file.fd, &st) == 0 && st.st_size == 0) {
    ::unlink(path.c_str());
  }
  return error;
}

int CreateEmptyFile(const std::filesystem::path& path) {
  Descriptor file{::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666)};
  return file.fd < 0 ? errno : 0;
}

unsigned long CurrentProcessId() { return static_cast<unsigned long>(::getpid()); }

}  // namespace vello::native
