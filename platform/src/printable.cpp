#include "platform/printable.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace carvex::platform {

namespace {

void AppendHex(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

}  // namespace

std::string EscapeControlCharacters(std::string_view text, bool keepLineFeeds) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) {
      AppendHex(out, byte);
      AppendHex(out, static_cast<unsigned char>(text[++i]));
    } else if (byte == '\n') {
      out += keepLineFeeds ? "\n" : "\\n";
    } else if (byte == '\t') {
      out += "\\t";
    } else if (byte == '\r') {
      out += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      AppendHex(out, byte);
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

bool IsTerminal(int stream) {
#ifdef _WIN32
  return ::_isatty(stream) != 0;
#else
  return ::isatty(stream) == 1;
#endif
}

std::string ForStream(int stream, std::string_view text, bool keepLineFeeds) {
  return IsTerminal(stream) ? EscapeControlCharacters(text, keepLineFeeds) : std::string(text);
}

}  // namespace carvex::platform
