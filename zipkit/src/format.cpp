#include "format.h"

#include <zlib.h>

#include <algorithm>

namespace carvex::zipkit::format {

std::string_view Cursor::Take(std::size_t count) {
  if (!ok_ || count > Remaining()) {
    ok_ = false;
    position_ = bytes_.size();
    return {};
  }
  const std::string_view part = bytes_.substr(position_, count);
  position_ += count;
  return part;
}

std::uint64_t Cursor::Get(int count) {
  const std::string_view part = Take(static_cast<std::size_t>(count));
  std::uint64_t value = 0;
  for (std::size_t i = part.size(); i-- > 0;) value = (value << 8) | static_cast<unsigned char>(part[i]);
  return value;
}

DosTime ToDosTime(const platform::LocalTime& time) {
  if (time.year < 1980) return {0, (1 << 5) | 1};
  if (time.year > 2107) return {(23 << 11) | (59 << 5) | 29, (127 << 9) | (12 << 5) | 31};
  DosTime dos;
  dos.time = static_cast<std::uint16_t>((time.hour << 11) | (time.minute << 5) | (time.second / 2));
  dos.date = static_cast<std::uint16_t>(((time.year - 1980) << 9) | (time.month << 5) | time.day);
  return dos;
}

platform::LocalTime FromDosTime(DosTime dos) {
  platform::LocalTime time;
  time.year = 1980 + (dos.date >> 9);
  time.month = std::clamp((dos.date >> 5) & 15, 1, 12);
  time.day = std::max(dos.date & 31, 1);
  time.hour = std::min(dos.time >> 11, 23);
  time.minute = std::min((dos.time >> 5) & 63, 59);
  time.second = std::min((dos.time & 31) * 2, 59);
  return time;
}

std::string SerializeCentral(const CentralEntry& entry) {
  const bool sizesInZip64 =
      entry.sizesInZip64 || entry.compressedSize >= kMax32 || entry.uncompressedSize >= kMax32;
  const bool offsetInZip64 = entry.localHeaderOffset >= kMax32;
  Bytes zip64;
  if (sizesInZip64) zip64.U64(entry.uncompressedSize).U64(entry.compressedSize);
  if (offsetInZip64) zip64.U64(entry.localHeaderOffset);
  Bytes extra;
  if (zip64.Size() > 0) extra.U16(kZip64ExtraId).U16(zip64.Size()).Append(zip64.Data());
  extra.Append(entry.extra);
  const std::uint16_t versionNeeded =
      zip64.Size() > 0 ? std::max(entry.versionNeeded, kVersionZip64) : entry.versionNeeded;

  Bytes record;
  record.U32(kCentralHeaderSignature)
      .U16(entry.versionMadeBy)
      .U16(versionNeeded)
      .U16(entry.flags)
      .U16(entry.method)
      .U16(entry.modified.time)
      .U16(entry.modified.date)
      .U32(entry.crc)
      .U32(sizesInZip64 ? kMax32 : entry.compressedSize)
      .U32(sizesInZip64 ? kMax32 : entry.uncompressedSize)
      .U16(entry.name.size())
      .U16(extra.Size())
      .U16(entry.comment.size())
      .U16(0)  // disk number
      .U16(entry.internalAttributes)
      .U32(entry.externalAttributes)
      .U32(offsetInZip64 ? kMax32 : entry.localHeaderOffset)
      .Append(entry.name)
      .Append(extra.Data())
      .Append(entry.comment);
  return record.Data();
}

std::string SerializeEnd(std::uint64_t entryCount, std::uint64_t centralOffset, std::uint64_t centralSize,
                         std::uint64_t endOffset, std::string_view comment) {
  Bytes end;
  if (entryCount >= kMax16 || centralOffset >= kMax32 || centralSize >= kMax32) {
    end.U32(kZip64EndSignature)
        .U64(kZip64EndSize - 12)  // the record's size counts neither its signature nor this field
        .U16(kVersionZip64)
        .U16(kVersionZip64)
        .U32(0)  // this disk
        .U32(0)  // disk of the central directory
        .U64(entryCount)
        .U64(entryCount)
        .U64(centralSize)
        .U64(centralOffset);
    end.U32(kZip64LocatorSignature).U32(0).U64(endOffset).U32(1);
  }
  end.U32(kEndSignature)
      .U16(0)
      .U16(0)
      .U16(std::min(entryCount, kMax16))
      .U16(std::min(entryCount, kMax16))
      .U32(std::min(centralSize, kMax32))
      .U32(std::min(centralOffset, kMax32))
      .U16(comment.size())
      .Append(comment);
  return end.Data();
}

ExtraField FindExtraField(std::string_view extra, std::uint16_t id) {
  Cursor cursor(extra);
  while (cursor.Remaining() >= 4) {
    const std::uint16_t fieldId = cursor.U16();
    const std::uint16_t size = cursor.U16();
    const std::string_view data = cursor.Take(size);
    if (!cursor.Ok()) break;
    if (fieldId == id) return {true, data};
  }
  return {};
}

std::string WithoutExtraField(std::string_view extra, std::uint16_t id) {
  std::string kept;
  Cursor cursor(extra);
  while (cursor.Remaining() >= 4) {
    const std::size_t start = cursor.Position();
    const std::uint16_t fieldId = cursor.U16();
    const std::uint16_t size = cursor.U16();
    cursor.Skip(size);
    if (!cursor.Ok()) break;
    if (fieldId != id) kept.append(extra.substr(start, 4u + size));
  }
  return kept;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    std::uint32_t code = lead;
    if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
    } else if (lead >= 0xE0) {
      length = 3;
      code = lead & 0x0F;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0x80) {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

namespace {

constexpr std::uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

std::string Cp437ToUtf8(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const std::uint32_t code = byte < 0x80 ? byte : kCp437High[byte - 0x80];
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

}  // namespace

std::string EntryNameUtf8(const CentralEntry& entry) {
  if ((entry.flags & kFlagUtf8) != 0 || IsAscii(entry.name)) return entry.name;
  const ExtraField unicode = FindExtraField(entry.extra, kUnicodePathExtraId);
  if (unicode.found && unicode.data.size() > 5 && unicode.data[0] == 1) {
    Cursor cursor(unicode.data.substr(1));
    const std::uint32_t nameCrc = cursor.U32();
    const std::string_view utf8 = unicode.data.substr(5);
    const auto storedCrc = static_cast<std::uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(entry.name.data()), static_cast<uInt>(entry.name.size())));
    if (nameCrc == storedCrc && IsValidUtf8(utf8)) return std::string(utf8);
  }
  if (IsValidUtf8(entry.name)) return entry.name;
  return Cp437ToUtf8(entry.name);
}

}  // namespace carvex::zipkit::format
