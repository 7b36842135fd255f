#pragma once
// Real second processes for the file tests: fork, run a function, report
// through the exit status. Also a file size limit, to make a write fail
// half-way the way a full disk does.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <functional>

#include "common/vello_error.h"

namespace vello::testing {

// Runs `work` in a child process; its exit status is 0 when it returned, 1
// when it threw (the text goes to standard error).
inline pid_t StartChild(const std::function<void()>& work) {
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid != 0) return pid;
  int status = 0;
  try {
    work();
  } catch (const VelloError& e) {
    std::fprintf(stderr, "child %d: %s\n", static_cast<int>(::getpid()), e.text().c_str());
    status = 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "child %d: %s\n", static_cast<int>(::getpid()), e.what());
    status = 1;
  }
  std::fflush(nullptr);
  ::_exit(status);
}

// The child's exit status, or -1 when it did not exit normally.
inline int WaitChild(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// While it lives, no file of this process may grow beyond `bytes`: a write
// past it fails (EFBIG) instead of raising SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t oldHandler_ = SIG_DFL;
};

}  // namespace vello::testing
