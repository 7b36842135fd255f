#include <iconv.h>

#include <string>

#include "common/native_path.h"

namespace vello {

std::filesystem::path NativePath(std::string_view cp932Path) {
  bool ascii = true;
  for (unsigned char c : cp932Path) ascii = ascii && c < 0x80;
  if (ascii) return std::filesystem::path(std::string(cp932Path));
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::filesystem::path(std::string(cp932Path));
  std::string in(cp932Path), out(in.size() * 3 + 4, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  std::size_t inLeft = in.size(), outLeft = out.size();
  std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) return std::filesystem::path(std::string(cp932Path));
  out.resize(out.size() - outLeft);
  return std::filesystem::path(out);
}

}  // namespace vello
