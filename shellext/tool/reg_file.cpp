#include "reg_file.h"

#include <cstdint>

#include "platform/registry.h"

namespace carvex {

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kUtf16Bom = "\xFF\xFE";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Wine's regedit escapes line breaks too, so that a record holding one still fits on its line.
std::string Quote(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    switch (c) {
      case '\\':
        quoted += "\\\\";
        break;
      case '"':
        quoted += "\\\"";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      default:
        quoted += c;
    }
  }
  return quoted + "\"";
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Strict: a lone surrogate or a zero character is not text that a key or value can hold.
bool DecodeUtf16(std::string_view bytes, std::string& text) {
  if (bytes.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    char32_t unit = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (unit == 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 3 >= bytes.size()) return false;
      const char32_t low = static_cast<unsigned char>(bytes[i + 2]) | static_cast<unsigned char>(bytes[i + 3])
                                                                          << 8;
      if (low < 0xDC00 || low > 0xDFFF) return false;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    AppendUtf8(text, unit);
  }
  return true;
}

// Shortest forms only, no surrogates, nothing past U+10FFFF, no zero character.
bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead == 0) return false;
    if (lead < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > text.size()) return false;
    char32_t c = lead & (0xFF >> (length + 1));
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = c << 6 | (next & 0x3F);
    }
    if ((length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
        (length == 4 && (c < 0x10000 || c > 0x10FFFF)))
      return false;
    i += length;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Reads the quoted string at the start of `rest` (just past its opening quote) and moves
// `rest` past the closing quote. False with `error` set when the quote is not closed or an
// escape is not one regedit writes.
bool ReadQuoted(std::string_view& rest, std::string& text, std::string& error) {
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const char c = rest[i];
    if (c == '"') {
      rest.remove_prefix(i + 1);
      return true;
    }
    if (c != '\\') {
      text += c;
      continue;
    }
    if (++i == rest.size()) break;
    switch (rest[i]) {
      case '\\':
        text += '\\';
        break;
      case '"':
        text += '"';
        break;
      case 'n':
        text += '\n';
        break;
      case 'r':
        text += '\r';
        break;
      default:
        error = std::string("unknown escape \\") + rest[i];
        return false;
    }
  }
  error = "unterminated string";
  return false;
}

bool ParseValueLine(std::string_view line, std::pair<std::string, std::string>& value, std::string& error) {
  std::string_view rest = line;
  if (rest.front() == '@') {
    rest.remove_prefix(1);
  } else {
    rest.remove_prefix(1);
    if (!ReadQuoted(rest, value.first, error)) return false;
  }
  rest = TrimBlanks(rest);
  if (rest.empty() || rest.front() != '=') {
    error = "a value name without \"=\"";
    return false;
  }
  rest = TrimBlanks(rest.substr(1));
  if (rest.empty() || rest.front() != '"') {
    if (rest == "-")
      error = "a value deletion, which an import does not make";
    else if (rest.starts_with("hex") || rest.starts_with("dword:"))
      error = "a value of another type than a string";
    else
      error = "a value that is not a quoted string";
    return false;
  }
  rest.remove_prefix(1);
  if (!ReadQuoted(rest, value.second, error)) return false;
  if (!TrimBlanks(rest).empty()) {
    error = "text after the value's closing quote";
    return false;
  }
  return true;
}

bool ParseLine(std::string_view line, std::vector<RegFileKey>& keys, std::string& error) {
  line = TrimBlanks(line);
  if (line.empty() || line.front() == ';') return true;
  if (line.front() == '[') {
    if (line.back() != ']' || line.size() < 3) {
      error = "a key line that does not end in \"]\"";
      return false;
    }
    if (line[1] == '-') {
      error = "a key deletion, which an import does not make";
      return false;
    }
    keys.push_back({std::string(line.substr(1, line.size() - 2)), {}});
    return true;
  }
  if (line.front() != '"' && line.front() != '@') {
    error = "neither a key nor a value";
    return false;
  }
  if (keys.empty()) {
    error = "a value before the first key";
    return false;
  }
  std::pair<std::string, std::string> value;
  if (!ParseValueLine(line, value, error)) return false;
  keys.back().values.push_back(std::move(value));
  return true;
}

}  // namespace

std::string FormatRegFile(const std::vector<RegFileKey>& keys) {
  std::string text = std::string(kHeader5) + "\r\n";
  for (const RegFileKey& key : keys) {
    text += "\r\n[" + key.path + "]\r\n";
    for (const auto& [name, data] : key.values)
      text += (name.empty() ? std::string("@") : Quote(name)) + "=" + Quote(data) + "\r\n";
  }
  text += "\r\n";
  std::string bytes(kUtf16Bom);
  const std::string utf16 = platform::EncodeRegistryString(text);
  bytes.append(utf16, 0, utf16.size() - 2);  // without the terminating zero
  return bytes;
}

bool ParseRegFile(std::string_view bytes, std::vector<RegFileKey>& keys, std::string& error) {
  keys.clear();
  std::string text;
  if (bytes.starts_with(kUtf16Bom)) {
    if (!DecodeUtf16(bytes.substr(kUtf16Bom.size()), text)) {
      error = "the file is not UTF-16LE text";
      return false;
    }
  } else {
    if (bytes.starts_with(kUtf8Bom)) bytes.remove_prefix(kUtf8Bom.size());
    if (!IsUtf8(bytes)) {
      error = "the file is neither UTF-16LE text with a byte-order mark nor UTF-8 text";
      return false;
    }
    text = bytes;
  }
  std::size_t number = 0;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    const auto refuse = [&](const std::string& what) {
      error = "line " + std::to_string(number) + ": " + what;
      keys.clear();
      return false;
    };
    if (line.size() > kMaxRegFileLine)
      return refuse("longer than " + std::to_string(kMaxRegFileLine) + " bytes");
    if (number == 1) {
      const std::string_view header = TrimBlanks(line);
      if (header != kHeader5 && header != kHeader4)
        return refuse("not a registry file (it begins neither with \"" + std::string(kHeader5) +
                      "\" nor with \"" + std::string(kHeader4) + "\")");
      continue;
    }
    std::string what;
    if (!ParseLine(line, keys, what)) return refuse(what);
  }
  return true;
}

}  // namespace carvex
