// UTF-8 to code page 932 with iconv. No //TRANSLIT and no //IGNORE: a
// character the code page lacks stops the conversion, and we say which.
#include <errno.h>
#include <iconv.h>

#include "vello_send/text_convert.h"

namespace vello::send {

namespace {

class Converter {
 public:
  Converter() : cd_(iconv_open("CP932", "UTF-8")) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) throw TextError("this system cannot convert UTF-8 to code page 932");
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

std::string Utf8ToCp932(std::string_view utf8) {
  CheckUtf8(utf8);
  if (utf8.empty()) return {};
  Converter converter;
  std::string in(utf8);
  // A character never grows: one UTF-8 byte gives at most one CP932 byte,
  // two or more give at most two.
  std::string out(in.size() + 8, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  std::size_t inLeft = in.size(), outLeft = out.size();
  while (inLeft > 0) {
    if (iconv(converter.get(), &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) break;
    const std::size_t at = static_cast<std::size_t>(inPtr - in.data());
    if (errno == E2BIG) {
      const std::size_t used = static_cast<std::size_t>(outPtr - out.data());
      out.resize(out.size() * 2);
      outPtr = out.data() + used;
      outLeft = out.size() - used;
      continue;
    }
    // EILSEQ: valid UTF-8 (checked above), so the code page lacks it.
    throw TextError(UnmappableMessage(utf8, at));
  }
  out.resize(static_cast<std::size_t>(outPtr - out.data()));
  return out;
}

}  // namespace vello::send
