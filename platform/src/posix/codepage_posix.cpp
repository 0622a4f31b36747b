#include <iconv.h>

#include <cerrno>

#include "platform/codepage.h"

namespace carvex::platform {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

bool InRange(unsigned char c, unsigned char low, unsigned char high) { return c >= low && c <= high; }

// Length of the well-formed UTF-8 sequence at `at`, 0 when there is none: overlong forms,
// surrogates and code points above U+10FFFF are refused, as RFC 3629 asks.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the bounds of the second byte
  if (InRange(lead, 0xC2, 0xDF)) {
    length = 2;
  } else if (InRange(lead, 0xE0, 0xEF)) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (InRange(lead, 0xF0, 0xF4)) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - at < length || !InRange(byte(1), low, high)) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (!InRange(byte(i), 0x80, 0xBF)) return 0;
  return length;
}

}  // namespace

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

std::optional<std::string> EncodeAnsi(std::string_view utf8) {
  for (std::size_t at = 0; at < utf8.size();) {
    const std::size_t length = Utf8SequenceAt(utf8, at);
    if (length == 0) return std::nullopt;
    at += length;
  }
  return std::string(utf8);
}

std::string DecodeAnsi(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (std::size_t at = 0; at < ansi.size();) {
    const std::size_t length = Utf8SequenceAt(ansi, at);
    if (length == 0) {
      out += kReplacementCharacter;
      ++at;
    } else {
      out.append(ansi, at, length);
      at += length;
    }
  }
  return out;
}

}  // namespace carvex::platform
