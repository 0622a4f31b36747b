#pragma once

// The records of the zip format (PKWARE's application note) and the byte-level helpers that
// build and parse them. Every multi-byte value is little-endian.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/zipio.h"

namespace carvex::zipkit::format {

inline constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;
inline constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;
inline constexpr std::uint32_t kDataDescriptorSignature = 0x08074b50;
inline constexpr std::uint32_t kEndSignature = 0x06054b50;
inline constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
inline constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;

inline constexpr std::size_t kLocalHeaderSize = 30;
inline constexpr std::size_t kCentralHeaderSize = 46;
inline constexpr std::size_t kEndSize = 22;
inline constexpr std::size_t kZip64EndSize = 56;
inline constexpr std::size_t kZip64LocatorSize = 20;
inline constexpr std::size_t kMaxCommentSize = 0xFFFF;

// A 32-bit field holding this value (a 16-bit one holding kMax16) has its real value in the
// ZIP64 records.
inline constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;
inline constexpr std::uint64_t kMax16 = 0xFFFFu;

inline constexpr std::uint16_t kZip64ExtraId = 0x0001;
inline constexpr std::uint16_t kUnicodePathExtraId = 0x7075;

inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kFlagDeflateMaximum = 0x0002;
inline constexpr std::uint16_t kFlagDeflateFast = 0x0004;
inline constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr std::uint16_t kFlagStrongEncryption = 0x0040;
inline constexpr std::uint16_t kFlagUtf8 = 0x0800;

inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflated = 8;
inline constexpr std::uint16_t kMethodAes = 99;

inline constexpr std::uint16_t kVersionStored = 10;
inline constexpr std::uint16_t kVersionDeflated = 20;
inline constexpr std::uint16_t kVersionZip64 = 45;

inline constexpr std::size_t kEncryptionHeaderSize = 12;

// Appends little-endian values.
class Bytes {
 public:
  Bytes& U16(std::uint64_t value) { return Put(value, 2); }
  Bytes& U32(std::uint64_t value) { return Put(value, 4); }
  Bytes& U64(std::uint64_t value) { return Put(value, 8); }
  Bytes& Append(std::string_view bytes) {
    data_.append(bytes);
    return *this;
  }
  const std::string& Data() const { return data_; }
  std::size_t Size() const { return data_.size(); }

 private:
  Bytes& Put(std::uint64_t value, int count) {
    for (int i = 0; i < count; ++i) data_.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return *this;
  }
  std::string data_;
};

// Reads little-endian values from a byte range; reading past its end yields zeros and clears
// Ok(), so a parser checks once after a record instead of before every field.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : bytes_(bytes) {}
  std::uint16_t U16() { return static_cast<std::uint16_t>(Get(2)); }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Get(4)); }
  std::uint64_t U64() { return Get(8); }
  std::string_view Take(std::size_t count);
  void Skip(std::size_t count) { Take(count); }
  bool Ok() const { return ok_; }
  std::size_t Position() const { return position_; }
  std::size_t Remaining() const { return bytes_.size() - position_; }

 private:
  std::uint64_t Get(int count);
  std::string_view bytes_;
  std::size_t position_ = 0;
  bool ok_ = true;
};

struct DosTime {
  std::uint16_t time = 0;
  std::uint16_t date = 0;
};

// Archives keep local time in the MS-DOS form: two-second steps, years 1980 to 2107; times
// outside that range are clamped to its ends.
DosTime ToDosTime(const platform::LocalTime& time);
platform::LocalTime FromDosTime(DosTime dos);

// One central directory record, with its 64-bit values already taken from the ZIP64 field.
struct CentralEntry {
  std::uint16_t versionMadeBy = 0;
  std::uint16_t versionNeeded = 0;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  DosTime modified;
  std::uint32_t crc = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t uncompressedSize = 0;
  std::uint16_t internalAttributes = 0;
  std::uint32_t externalAttributes = 0;
  // Relative to the start of the archive, as stored.
  std::uint64_t localHeaderOffset = 0;
  std::string name;   // the stored bytes
  std::string extra;  // every extra field but the ZIP64 one
  std::string comment;
  // The local header holds the sizes in a ZIP64 field, so this record must too.
  bool sizesInZip64 = false;

  bool IsEncrypted() const { return (flags & kFlagEncrypted) != 0; }
};

// The record as stored, with a ZIP64 field for the values that need one.
std::string SerializeCentral(const CentralEntry& entry);

// The end of the archive: the ZIP64 end record and its locator when the entry count, the size or
// the offset of the central directory needs them, then the classic end record. `endOffset` is
// where these records begin, relative to the start of the archive.
std::string SerializeEnd(std::uint64_t entryCount, std::uint64_t centralOffset, std::uint64_t centralSize,
                         std::uint64_t endOffset, std::string_view comment);

// The entry's name as UTF-8: as stored when flagged as UTF-8, from an Info-ZIP Unicode path
// field that matches the stored name, as stored when it is valid UTF-8 anyway (archives made on
// UTF-8 systems often omit the flag), and otherwise read as code page 437, the zip default.
std::string EntryNameUtf8(const CentralEntry& entry);

bool IsValidUtf8(std::string_view text);
bool IsAscii(std::string_view text);

// The data of the field `id` in a block of extra fields.
struct ExtraField {
  bool found = false;
  std::string_view data;
};
ExtraField FindExtraField(std::string_view extra, std::uint16_t id);
// The block without the field `id`; a damaged tail is dropped with it.
std::string WithoutExtraField(std::string_view extra, std::uint16_t id);

}  // namespace carvex::zipkit::format
