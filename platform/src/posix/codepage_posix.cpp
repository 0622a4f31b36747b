#include <iconv.h>

#include <cerrno>

#include "platform/codepage.h"

namespace carvex::platform {

std::optional<std::string> EncodeOem(std::string_view utf8) {
  iconv_t cd = ::iconv_open("CP437", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(utf8.size() + 1, '\0');
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  char* dst = out.data();
  std::size_t outLeft = out.size();
  // Without //TRANSLIT iconv stops at the first character CP437 cannot hold.
  const std::size_t rc = ::iconv(cd, &in, &inLeft, &dst, &outLeft);
  ::iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1) || inLeft != 0) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace carvex::platform
