#include "messaging/waiting_file.h"

#include <string>

#include "common/file_io.h"
#include "common/native_file.h"
#include "common/native_path.h"
#include "common/text_format.h"
#include "common/vello_error.h"

namespace vello {

namespace {

// The messages and the unreadable lines of the file as it is now; none for
// a missing file. Throws for a file that cannot be read or is of another
// version.
std::vector<WaitingMessage> Read(const std::filesystem::path& path, std::vector<std::string>& unreadable) {
  unreadable.clear();
  std::string bytes;
  if (int error = native::ReadFileForUpdate(path, bytes); error != 0) {
    if (native::KindOfFileError(error) != native::FileErrorKind::kNotFound) ThrowFileError(path, error);
    return {};
  }
  if (std::optional<int> version = WaitingFileVersion(bytes); version && *version != kWaitingFormatVersion)
    ThrowFileError(path, FormatText("ファイルの形式の版が違います (%d)", {std::to_string(*version)}));
  return DecodeWaitingFile(bytes, &unreadable);
}

}  // namespace

std::vector<WaitingMessage> LoadWaitingFile(const std::filesystem::path& path) {
  std::vector<std::string> unreadable;
  std::vector<WaitingMessage> messages = Read(path, unreadable);
  SettleInterruptedAttempts(messages);
  return messages;
}

void UpdateWaitingFile(const std::filesystem::path& path,
                       const std::function<bool(std::vector<WaitingMessage>&)>& change) {
  FileLock lock(path);
  // A folder that takes no lock file takes no new file either: the write
  // that follows says why.
  if (lock.state() == FileLock::State::kBusy) throw VelloError(FileInUseText(path));
  std::vector<std::string> unreadable;
  std::vector<WaitingMessage> messages = Read(path, unreadable);
  if (!change(messages)) return;
  int error = 0;
  if (!ReplaceFileBytes(path, EncodeWaitingFile(messages, unreadable), &error)) ThrowFileError(path, error);
}

}  // namespace vello
