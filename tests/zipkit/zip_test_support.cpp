#include "zip_test_support.h"

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <utility>

#include "support/temp_dir.h"

namespace carvex::zipkit::test {

namespace {

// Appends each {value, byte count} pair little-endian.
void Put(std::string& out, std::initializer_list<std::pair<std::uint64_t, int>> fields) {
  for (const auto& [value, bytes] : fields)
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

constexpr std::uint64_t kDate = (41 << 9) | (1 << 5) | 1;  // 2021-01-01
constexpr std::uint64_t kMarker32 = 0xFFFFFFFFu;

// The ZIP64 field for the values that need one, and the 32-bit values the record then holds.
struct Zip64Values {
  std::string field;
  std::uint64_t compressed, uncompressed, offset;
};
Zip64Values Zip64For(const EntryFields& entry, bool withOffset) {
  Zip64Values values{{}, entry.compressedSize, entry.uncompressedSize, entry.offset};
  std::string data;
  if (entry.uncompressedSize >= kMarker32 || entry.compressedSize >= kMarker32) {
    Put(data, {{entry.uncompressedSize, 8}, {entry.compressedSize, 8}});
    values.compressed = values.uncompressed = kMarker32;
  }
  if (withOffset && entry.offset >= kMarker32) {
    Put(data, {{entry.offset, 8}});
    values.offset = kMarker32;
  }
  if (!data.empty()) Put(values.field, {{0x0001, 2}, {data.size(), 2}});
  values.field += data;
  return values;
}

}  // namespace

std::uint32_t Crc32(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

EntryFields StoredFields(const std::string& name, const std::string& data, std::uint64_t offset) {
  return {name, 0, Crc32(data), data.size(), data.size(), offset};
}

std::string LocalHeader(const EntryFields& entry) {
  const Zip64Values values = Zip64For(entry, false);
  std::string header;
  // Version, flags, method, time, date, CRC, sizes, name and extra lengths.
  Put(header, {{0x04034b50, 4},
               {values.field.empty() ? 20 : 45, 2},
               {0, 2},
               {entry.method, 2},
               {0, 2},
               {kDate, 2},
               {entry.crc, 4},
               {values.compressed, 4},
               {values.uncompressed, 4},
               {entry.name.size(), 2},
               {values.field.size(), 2}});
  return header + entry.name + values.field;
}

std::string CentralRecord(const EntryFields& entry) {
  const Zip64Values values = Zip64For(entry, true);
  std::string record;
  // Made by, needed, flags, method, time, date, CRC, sizes, name, extra and comment lengths,
  // disk, internal and external attributes, local header offset.
  Put(record, {{0x02014b50, 4},
               {45, 2},
               {values.field.empty() ? 20 : 45, 2},
               {0, 2},
               {entry.method, 2},
               {0, 2},
               {kDate, 2},
               {entry.crc, 4},
               {values.compressed, 4},
               {values.uncompressed, 4},
               {entry.name.size(), 2},
               {values.field.size(), 2},
               {0, 2},
               {0, 2},
               {0, 2},
               {0, 4},
               {values.offset, 4}});
  return record + entry.name + values.field;
}

std::string FinishArchive(const std::string& body, const std::vector<EntryFields>& entries,
                          const EndClaims& claims) {
  std::string central;
  for (const EntryFields& entry : entries) central += CentralRecord(entry);
  const std::uint64_t count = claims.count.value_or(entries.size());
  const std::uint64_t size = claims.centralSize.value_or(central.size());
  const std::uint64_t offset = claims.centralOffset.value_or(body.size());
  std::string archive = body + central;
  if (claims.zip64) {
    const std::uint64_t recordOffset = archive.size();
    // Signature, size of the rest, versions, disks, entry counts, size and offset; then the
    // locator: signature, disk, record offset, disk count.
    Put(archive, {{0x06064b50, 4},
                  {44, 8},
                  {45, 2},
                  {45, 2},
                  {0, 4},
                  {0, 4},
                  {count, 8},
                  {count, 8},
                  {size, 8},
                  {offset, 8}});
    Put(archive, {{0x07064b50, 4}, {0, 4}, {recordOffset, 8}, {1, 4}});
  }
  const auto classic = [&](std::uint64_t value, std::uint64_t marker) {
    return claims.zip64 ? marker : std::min(value, marker);
  };
  Put(archive, {{0x06054b50, 4},
                {0, 4},
                {classic(count, 0xFFFF), 2},
                {classic(count, 0xFFFF), 2},
                {classic(size, kMarker32), 4},
                {classic(offset, kMarker32), 4},
                {0, 2}});
  return archive;
}

std::string AssembleStoredArchive(const std::vector<RawEntry>& entries) {
  std::string body;
  std::vector<EntryFields> fields;
  for (const RawEntry& entry : entries) {
    fields.push_back(StoredFields(entry.name, entry.data, body.size()));
    body += LocalHeader(fields.back()) + entry.data;
  }
  return FinishArchive(body, fields);
}

std::string SharedHeaderArchive(int count) {
  const std::string data(1000, 'x');
  std::vector<EntryFields> entries;
  for (int i = 1; i <= count; ++i) entries.push_back(StoredFields("f" + std::to_string(i) + ".txt", data));
  return FinishArchive(LocalHeader(entries[0]) + data, entries);
}

std::string NestedArchive() {
  std::string tail = "kernel";
  std::vector<EntryFields> entries;
  for (const char* name : {"c.txt", "b.txt", "a.txt"}) {
    entries.insert(entries.begin(), StoredFields(name, tail));
    tail = LocalHeader(entries.front()) + tail;
  }
  std::uint64_t offset = 0;
  for (EntryFields& entry : entries) {
    entry.offset = offset;
    offset += LocalHeader(entry).size();
  }
  return FinishArchive(tail, entries);
}

std::string AfterAGoodEntry(EntryFields bad, const std::string& data, const EndClaims& claims) {
  const EntryFields good = StoredFields("good.txt", "harmless");
  std::string body = LocalHeader(good) + "harmless";
  if (bad.offset == 0) bad.offset = body.size();
  body += LocalHeader(bad) + data;
  return FinishArchive(body, {good, bad}, claims);
}

EntryFields DeflatedClaim(const std::string& name, std::uint64_t size) {
  return {name, 8, Crc32(""), kEmptyDeflate.size(), size, 0};
}

void Poke(std::string& bytes, std::size_t at, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes.at(at + i) = static_cast<char>((value >> (8 * i)) & 0xFF);
}

namespace {

std::uint64_t Peek(const std::string& bytes, std::size_t at, int width) {
  std::uint64_t value = 0;
  for (int i = width; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes.at(at + i));
  return value;
}

}  // namespace

PeLayout PeLayoutOf(const std::string& image) {
  const std::size_t fileHeader = Peek(image, 0x3C, 4);
  const std::size_t optional = fileHeader + 24;
  const std::size_t directory = optional + (Peek(image, optional, 2) == 0x20b ? 112 : 96);
  return {fileHeader + 20, optional, optional + 64, directory - 4, directory + 4 * 8};
}

std::string FakePeImage(std::uint16_t magic, std::size_t size) {
  constexpr std::size_t kFileHeader = 0x80;
  const bool wide = magic == 0x20b;
  std::string image = "MZ";
  image.resize(kFileHeader);
  Poke(image, 0x3C, kFileHeader, 4);
  image += std::string("PE\0\0", 4);
  // Machine, no sections, time, no symbols, the optional header's size, an executable image.
  Put(image,
      {{wide ? 0x8664 : 0x14c, 2}, {0, 2}, {0, 4}, {0, 4}, {0, 4}, {wide ? 240 : 224, 2}, {0x0102, 2}});
  const std::size_t optional = image.size();
  image.resize(optional + (wide ? 240 : 224));
  Poke(image, optional, magic, 2);
  Poke(image, PeLayoutOf(image).entryCount, 16, 4);
  if (size < image.size()) throw std::invalid_argument("a PE image needs its headers");
  return image + carvex::test::PatternBytes(size - image.size(), 11);
}

std::string SignPe(std::string image, const std::string& certificate) {
  const PeLayout layout = PeLayoutOf(image);
  image.resize((image.size() + 7) / 8 * 8);
  Poke(image, layout.security, image.size(), 4);
  Poke(image, layout.security + 4, certificate.size(), 4);
  Poke(image, layout.checksum, Crc32(image + certificate), 4);
  return image + certificate;
}

Raised RaisedBy(const std::function<void()>& call) {
  try {
    call();
  } catch (const platform::RuntimeError& error) {
    return {error.Number(), error.Description()};
  }
  return {};
}

std::vector<std::string> ListFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry :
       fs::directory_iterator(fs::path(std::u8string(folder.begin(), folder.end())), error)) {
    const std::u8string name = entry.path().filename().u8string();
    names.emplace_back(name.begin(), name.end());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace carvex::zipkit::test
