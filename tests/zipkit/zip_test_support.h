#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"

namespace carvex::zipkit::test {

// What a program printed (standard output and error together) and how it ended.
struct ProgramRun {
  int exitCode = -1;
  std::string output;
};

// Runs `program` with `arguments`, feeding `input` to its standard input and closing it; waits
// for the end. One implementation per system.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& input = {});

struct RawEntry {
  std::string name;
  std::string data;
};

// What one entry's local header and central record state, true or not.
struct EntryFields {
  std::string name;
  std::uint16_t method = 0;  // 0 stored, 8 deflated
  std::uint32_t crc = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t uncompressedSize = 0;
  std::uint64_t offset = 0;  // of the local header; the central record states it
};

std::uint32_t Crc32(const std::string& data);
// The honest fields of `data` stored under `name`, its local header at `offset`.
EntryFields StoredFields(const std::string& name, const std::string& data, std::uint64_t offset = 0);

// The records, byte by byte; sizes and offsets of 32 bits or more go into a ZIP64 field. A local
// header comes without its data.
std::string LocalHeader(const EntryFields& entry);
std::string CentralRecord(const EntryFields& entry);

// What the end records claim about the central directory; unset values tell the truth. With
// `zip64`, a ZIP64 end record and its locator precede the classic record.
struct EndClaims {
  std::optional<std::uint64_t> count;
  std::optional<std::uint64_t> centralSize;
  std::optional<std::uint64_t> centralOffset;
  bool zip64 = false;
};

// `body` (local headers and data) followed by the central records of `entries` and the end
// records.
std::string FinishArchive(const std::string& body, const std::vector<EntryFields>& entries,
                          const EndClaims& claims = {});

// One local header and `count` central records ("f1.txt", ...) that all point at it.
std::string SharedHeaderArchive(int count);
// "a.txt", "b.txt", "c.txt": each one's stored data is everything after its own header, the next
// entries included. Every CRC and size is right; only the layout gives it away.
std::string NestedArchive();
// "good.txt", honest and first, then `bad`, whose local header follows it with `data` unless
// `bad.offset` points elsewhere.
std::string AfterAGoodEntry(EntryFields bad, const std::string& data, const EndClaims& claims = {});

// A deflated stream that ends at once, and a deflated entry holding it that claims `size` bytes.
inline const std::string kEmptyDeflate("\x03\x00", 2);
EntryFields DeflatedClaim(const std::string& name, std::uint64_t size);

// An archive of stored entries with exactly the names given, assembled byte by byte: the kind
// no well-behaved writer produces (absolute names, "..", drive letters).
std::string AssembleStoredArchive(const std::vector<RawEntry>& entries);

// File offsets of the PE header fields that a code signer sets or that a reader of the
// signature's place depends on.
struct PeLayout {
  std::size_t optionalSize;  // SizeOfOptionalHeader, 16 bits
  std::size_t magic;         // of the optional header, 16 bits
  std::size_t checksum;
  std::size_t entryCount;  // NumberOfRvaAndSizes
  std::size_t security;    // the security entry: the table's file offset, then its size
};
// The layout of the PE image `image`, found from its headers.
PeLayout PeLayoutOf(const std::string& image);

// A PE image of `size` bytes as a linker leaves it unsigned: DOS header, signature, file header,
// an optional header of `magic` (0x10b or 0x20b) with 16 empty directory entries, pattern bytes
// after that.
std::string FakePeImage(std::uint16_t magic, std::size_t size);
// `image` as a code signer leaves it: zeros up to a multiple of 8, then `certificate`, which the
// security entry names, and a checksum over it all.
std::string SignPe(std::string image, const std::string& certificate);
// Overwrites `width` bytes at `at` with `value`, little-endian.
void Poke(std::string& bytes, std::size_t at, std::uint64_t value, int width);

// The events of one call, as the progress handler saw them.
struct ProgressEvent {
  int kind;
  std::string text;
  std::int64_t size;
};

// The error a call raises, with number 0 when it raises none.
struct Raised {
  long number = 0;
  std::string description;
};
Raised RaisedBy(const std::function<void()>& call);

// Names in `folder`, sorted; empty when it does not exist.
std::vector<std::string> ListFolder(const std::string& folder);

}  // namespace carvex::zipkit::test
