#include "common/file_io.h"

#include <fstream>
#include <system_error>

#include "common/native_path.h"

namespace vello {

namespace fs = std::filesystem;

bool FileExists(std::string_view path) {
  std::error_code ec;
  return fs::is_regular_file(NativePath(path), ec);
}

std::optional<std::string> ReadFileBytes(std::string_view path) {
  // Only a regular file is read: the stream library throws on a folder.
  fs::path native = NativePath(path);
  std::error_code ec;
  if (!fs::is_regular_file(native, ec)) return std::nullopt;
  std::ifstream in(native, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

bool ReplaceFileBytes(std::string_view path, std::string_view bytes) {
  fs::path target = NativePath(path);
  // The system refuses to write a read-only or locked file; renaming a new
  // file over it would not, so look first.
  std::error_code ec;
  fs::file_status status = fs::status(target, ec);
  if (fs::exists(status)) {
    bool writable = fs::is_regular_file(status) &&
                    (status.permissions() & fs::perms::owner_write) != fs::perms::none &&
                    static_cast<bool>(std::ofstream(target, std::ios::binary | std::ios::in | std::ios::out));
    if (!writable) return false;
  }
  fs::path temp = target;
  temp += ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      out.close();
      std::error_code ignored;
      fs::remove(temp, ignored);
      return false;
    }
  }
  fs::rename(temp, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    return false;
  }
  return true;
}

bool AppendFileBytes(std::string_view path, std::string_view bytes) {
  std::ofstream out(NativePath(path), std::ios::binary | std::ios::app);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  return static_cast<bool>(out);
}

}  // namespace vello
