// Paths shown in messages: the file name's UTF-8 bytes as code page 932.
#include <iconv.h>

#include <cerrno>
#include <string>

#include "common/native_path.h"

namespace vello {

namespace {

// Bytes of the UTF-8 character starting at `lead`, 1 for a byte that
// starts none.
std::size_t Utf8Length(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

}  // namespace

std::string PathText(const std::filesystem::path& path) {
  const std::string& bytes = path.native();
  bool ascii = true;
  for (unsigned char c : bytes) ascii = ascii && c < 0x80;
  if (ascii) return bytes;
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return bytes;
  std::string out;
  std::string in = bytes;
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    // A character code page 932 cannot hold, or bytes that are no UTF-8:
    // one "?" for the character, and on after it.
    std::size_t skip = Utf8Length(static_cast<unsigned char>(*inPtr));
    if (skip > inLeft || errno == EINVAL) skip = 1;
    if (errno == EILSEQ && skip > 1) {
      for (std::size_t i = 1; i < skip; ++i)
        if ((static_cast<unsigned char>(inPtr[i]) & 0xC0) != 0x80) skip = 1;
    }
    out += '?';
    inPtr += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

}  // namespace vello
