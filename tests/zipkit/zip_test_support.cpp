#include "zip_test_support.h"

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <utility>

namespace carvex::zipkit::test {

namespace {

// Appends each {value, byte count} pair little-endian.
void Put(std::string& out, std::initializer_list<std::pair<std::uint64_t, int>> fields) {
  for (const auto& [value, bytes] : fields)
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint32_t Crc32(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

}  // namespace

std::string AssembleStoredArchive(const std::vector<RawEntry>& entries) {
  constexpr std::uint64_t kDate = (41 << 9) | (1 << 5) | 1;  // 2021-01-01
  std::string archive;
  std::string central;
  for (const RawEntry& entry : entries) {
    const std::uint64_t crc = Crc32(entry.data);
    const std::uint64_t size = entry.data.size();
    const std::uint64_t offset = archive.size();
    // Version, flags, method (stored), time, date, CRC, sizes, name and extra lengths.
    Put(archive, {{0x04034b50, 4},
                  {10, 2},
                  {0, 2},
                  {0, 2},
                  {0, 2},
                  {kDate, 2},
                  {crc, 4},
                  {size, 4},
                  {size, 4},
                  {entry.name.size(), 2},
                  {0, 2}});
    archive += entry.name + entry.data;
    Put(central, {{0x02014b50, 4},
                  {20, 2},
                  {10, 2},
                  {0, 2},
                  {0, 2},
                  {0, 2},
                  {kDate, 2},
                  {crc, 4},
                  {size, 4},
                  {size, 4},
                  {entry.name.size(), 2},
                  {0, 2},
                  {0, 2},
                  {0, 2},
                  {0, 2},
                  {0, 4},
                  {offset, 4}});
    central += entry.name;
  }
  const std::uint64_t centralOffset = archive.size();
  archive += central;
  Put(archive, {{0x06054b50, 4},
                {0, 4},
                {entries.size(), 2},
                {entries.size(), 2},
                {central.size(), 4},
                {centralOffset, 4},
                {0, 2}});
  return archive;
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
