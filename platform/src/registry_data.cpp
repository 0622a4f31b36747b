// The byte form of registry string values, the same on every platform so that data read
// back through QueryValue does not depend on where it was written.

#include "registry_data.h"

#include "platform/registry.h"

namespace carvex::platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
// A byte that starts no UTF-8 sequence is kept as the lone low surrogate U+DC80-U+DCFF (no
// text holds one), so that a POSIX file name in another encoding reads back byte for byte
// instead of turning into the name of a different file.
constexpr char16_t kEscapedByte = 0xDC00;
constexpr std::string_view kReplacementBytes = "\xEF\xBF\xBD";

void AppendUnit(std::string& out, char16_t unit) {
  out.push_back(static_cast<char>(unit & 0xFF));
  out.push_back(static_cast<char>(unit >> 8));
}

char16_t UnitAt(std::string_view data, std::size_t i) {
  return static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                               (static_cast<unsigned char>(data[i + 1]) << 8));
}

}  // namespace

char32_t DecodeUtf8(std::string_view s, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i);
  int extra = 0;
  char32_t c = 0;
  char32_t smallest = 0;
  if (lead < 0x80) {
    ++i;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1, c = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, c = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, c = lead & 0x07, smallest = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + extra >= s.size()) {
    ++i;
    return kReplacement;
  }
  for (int k = 1; k <= extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return kReplacement;
  }
  i += extra + 1;
  return c;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string EncodeRegistryString(std::string_view utf8) {
  std::string data;
  data.reserve((utf8.size() + 1) * 2);
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t start = i;
    const char32_t c = DecodeUtf8(utf8, i);
    if (c == kReplacement && utf8.substr(start, i - start) != kReplacementBytes) {
      AppendUnit(data, static_cast<char16_t>(kEscapedByte + static_cast<unsigned char>(utf8[start])));
    } else if (c < 0x10000) {
      AppendUnit(data, static_cast<char16_t>(c));
    } else {
      AppendUnit(data, static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      AppendUnit(data, static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
  }
  AppendUnit(data, 0);
  return data;
}

std::string DecodeRegistryString(std::string_view data) {
  std::string text;
  const std::size_t units = data.size() / 2;
  for (std::size_t k = 0; k < units; ++k) {
    const char16_t unit = UnitAt(data, 2 * k);
    if (unit == 0) break;
    char32_t c = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF && k + 1 < units) {
      const char16_t low = UnitAt(data, 2 * (k + 1));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((static_cast<char32_t>(unit - 0xD800) << 10) | (low - 0xDC00));
        ++k;
      }
    }
    if (c >= kEscapedByte + 0x80 && c <= kEscapedByte + 0xFF) {
      text.push_back(static_cast<char>(c - kEscapedByte));
      continue;
    }
    // Any other lone surrogate has no UTF-8 form.
    if (c >= 0xD800 && c <= 0xDFFF) c = kReplacement;
    AppendUtf8(text, c);
  }
  return text;
}

std::size_t RegistryNameLength(std::string_view utf8) { return EncodeRegistryString(utf8).size() / 2 - 1; }

std::string EncodeRegistryMultiString(const std::vector<std::string>& strings) {
  std::string data;
  for (const std::string& s : strings) data += EncodeRegistryString(s);
  AppendUnit(data, 0);
  return data;
}

std::vector<std::string> DecodeRegistryMultiString(std::string_view data) {
  std::vector<std::string> strings;
  std::size_t start = 0;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    if (UnitAt(data, i) != 0) continue;
    // An empty string ends the list.
    if (i == start) break;
    strings.push_back(DecodeRegistryString(data.substr(start, i - start)));
    start = i + 2;
  }
  return strings;
}

std::string RootName(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kClassesRoot:
      return "HKEY_CLASSES_ROOT";
    case RegistryRoot::kLocalMachine:
      return "HKEY_LOCAL_MACHINE";
    case RegistryRoot::kCurrentUser:
      break;
  }
  return "HKEY_CURRENT_USER";
}

std::string Below(const std::string& parent, const std::string& path) {
  return path.empty() ? parent : parent + "\\" + path;
}

}  // namespace carvex::platform
