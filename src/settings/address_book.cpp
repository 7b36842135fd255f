#include "settings/address_book.h"

#include <filesystem>
#include <system_error>

#include "common/file_io.h"
#include "common/native_path.h"
#include "common/sjis.h"
#include "common/text_format.h"
#include "common/vello_error.h"

namespace vello {

std::vector<std::string> ParseAddressBook(std::string_view bytes) {
  // NUL never occurs inside a double-byte character, so a plain search is safe.
  std::size_t nul = bytes.find('\0');
  if (nul != std::string_view::npos) bytes = bytes.substr(0, nul);
  return SplitLines(bytes);
}

std::string SerializeAddressBook(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) {
    out += line;
    out += "\r\n";
  }
  return out;
}

namespace {

namespace fs = std::filesystem;

std::string CannotOpenText(const fs::path& path) {
  return FormatText("ファイル %s は開けません", {PathText(path)});
}
std::string CannotCreateText(const fs::path& path) {
  return FormatText("ファイル %s を作成できません", {PathText(path)});
}

// Takes the file's lock for a whole-file write, or throws what the writer reports.
void ThrowUnlessHeld(const FileLock& lock, const fs::path& path) {
  if (lock.state() == FileLock::State::kBusy) throw VelloError(FileInUseText(path));
  if (lock.state() == FileLock::State::kRefused) throw VelloError(CannotCreateText(path));
}

void Store(const fs::path& path, const std::vector<std::string>& lines) {
  if (!ReplaceFileBytes(path, SerializeAddressBook(lines))) throw VelloError(CannotCreateText(path));
}

// Applies `change` to the stored lines under the file's lock and stores them
// when it says they changed.
template <typename Change>
std::vector<std::string> EditAddressBook(const fs::path& path, Change&& change) {
  FileLock lock(path);
  ThrowUnlessHeld(lock, path);
  std::vector<std::string> lines = LoadAddressBook(path);
  if (change(lines)) Store(path, lines);
  return lines;
}

}  // namespace

std::vector<std::string> LoadAddressBook(const fs::path& path) {
  std::error_code ec;
  fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) return {};
  // A directory or device under the file's name cannot be read as the book.
  std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes) throw VelloError(CannotOpenText(path));
  return ParseAddressBook(*bytes);
}

void SaveAddressBook(const fs::path& path, const std::vector<std::string>& lines) {
  FileLock lock(path);
  ThrowUnlessHeld(lock, path);
  Store(path, lines);
}

std::vector<std::string> AddAddressBookLine(const fs::path& path, std::string_view line) {
  return EditAddressBook(path, [&](std::vector<std::string>& lines) {
    lines.emplace_back(line);
    return true;
  });
}

std::vector<std::string> RemoveAddressBookLine(const fs::path& path, std::size_t row, std::string_view line) {
  return EditAddressBook(path, [&](std::vector<std::string>& lines) {
    if (row < lines.size() && lines[row] == line) {
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(row));
      return true;
    }
    for (auto it = lines.begin(); it != lines.end(); ++it) {
      if (*it == line) {
        lines.erase(it);
        return true;
      }
    }
    return false;
  });
}

std::string NicknameOf(std::string_view line) {
  std::size_t at = FindText(line, kAddressSeparator);
  if (at == std::string_view::npos) return {};
  return std::string(line.substr(0, at));
}

std::optional<std::string> AddressOf(std::string_view line) {
  std::size_t at = FindText(line, kAddressSeparator);
  if (at == std::string_view::npos) return std::nullopt;
  return std::string(line.substr(at + kAddressSeparator.size()));
}

std::string DestinationEntry(std::string_view line) {
  return "*" + NicknameOf(line);
}

namespace {

bool Matches(const std::string& line, std::string_view destination) {
  return AddressOf(line).has_value() && DestinationEntry(line) == destination;
}

}  // namespace

std::optional<std::string> ResolveFirst(const std::vector<std::string>& lines, std::string_view destination) {
  for (auto it = lines.begin(); it != lines.end(); ++it)
    if (Matches(*it, destination)) return AddressOf(*it);
  return std::nullopt;
}

std::optional<std::string> ResolveLast(const std::vector<std::string>& lines, std::string_view destination) {
  for (auto it = lines.rbegin(); it != lines.rend(); ++it)
    if (Matches(*it, destination)) return AddressOf(*it);
  return std::nullopt;
}

}  // namespace vello
