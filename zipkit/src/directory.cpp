#include "directory.h"

#include <algorithm>
#include <optional>

#include "zipkit/errors.h"

namespace carvex::zipkit {

namespace {

using format::Cursor;

// Larger central directories would take a hostile file's word for how much memory to claim.
constexpr std::int64_t kMaxCentralSize = std::int64_t{256} << 20;

std::string ReadExactly(platform::SeekableFile& file, std::int64_t offset, std::size_t size) {
  std::string bytes(size, '\0');
  bytes.resize(file.ReadAt(offset, bytes.data(), size));
  return bytes;
}

[[noreturn]] void NotAnArchive(const std::string& name, const std::string& why) {
  Fail(ZipError::kNotAnArchive,
       "'" + name + "' is not a zip archive, or it is damaged or incomplete: " + why);
}

struct EndRecord {
  std::int64_t position = 0;
  std::uint64_t entryCount = 0;
  std::uint64_t centralSize = 0;
  std::uint64_t centralOffset = 0;
  std::string comment;
};

// The end-of-central-directory record closest to the end of the file whose comment reaches
// exactly to the end; failing that, one whose comment ends before it (junk appended later).
EndRecord FindEndRecord(platform::SeekableFile& archive, const std::string& name) {
  const std::int64_t fileSize = archive.Size();
  if (fileSize < static_cast<std::int64_t>(format::kEndSize)) NotAnArchive(name, "it is too short");
  const auto tailSize =
      static_cast<std::size_t>(std::min<std::int64_t>(fileSize, format::kEndSize + format::kMaxCommentSize));
  const std::int64_t tailStart = fileSize - static_cast<std::int64_t>(tailSize);
  const std::string tail = ReadExactly(archive, tailStart, tailSize);

  std::optional<std::size_t> found;
  for (int pass = 0; pass < 2 && !found; ++pass) {
    for (std::size_t at = tail.size() - format::kEndSize + 1; at-- > 0;) {
      Cursor cursor(std::string_view(tail).substr(at));
      if (cursor.U32() != format::kEndSignature) continue;
      cursor.Skip(16);
      const std::size_t end = at + format::kEndSize + cursor.U16();
      if (end == tail.size() || (pass == 1 && end < tail.size())) {
        found = at;
        break;
      }
    }
  }
  if (!found) NotAnArchive(name, "no end of central directory record was found");

  Cursor cursor(std::string_view(tail).substr(*found + 4));
  const std::uint16_t disk = cursor.U16();
  const std::uint16_t centralDisk = cursor.U16();
  cursor.Skip(2);
  EndRecord end;
  end.position = tailStart + static_cast<std::int64_t>(*found);
  end.entryCount = cursor.U16();
  end.centralSize = cursor.U32();
  end.centralOffset = cursor.U32();
  end.comment = std::string(cursor.Take(cursor.U16()));
  if ((disk != 0 && disk != format::kMax16) || (centralDisk != 0 && centralDisk != format::kMax16))
    Fail(ZipError::kUnsupported, "'" + name + "' is one part of an archive spanning several files");
  return end;
}

// Replaces the classic record's values with those of the ZIP64 end record when a locator
// precedes it. Returns where the central directory must end: the ZIP64 record, when there is
// one, else the classic one.
std::int64_t ApplyZip64End(platform::SeekableFile& archive, EndRecord& end, const std::string& name) {
  const std::int64_t locatorPosition = end.position - static_cast<std::int64_t>(format::kZip64LocatorSize);
  if (locatorPosition < 0) return end.position;
  const std::string locator = ReadExactly(archive, locatorPosition, format::kZip64LocatorSize);
  Cursor locatorCursor(locator);
  if (locatorCursor.U32() != format::kZip64LocatorSignature) return end.position;
  locatorCursor.Skip(4);
  const std::uint64_t storedOffset = locatorCursor.U64();

  // The stored offset is relative to the archive's start, which a stub in front moves; the
  // record normally sits right before the locator.
  const std::int64_t candidates[] = {
      locatorPosition - static_cast<std::int64_t>(format::kZip64EndSize),
      static_cast<std::int64_t>(std::min<std::uint64_t>(storedOffset, INT64_MAX))};
  for (const std::int64_t position : candidates) {
    if (position < 0) continue;
    const std::string record = ReadExactly(archive, position, format::kZip64EndSize);
    Cursor cursor(record);
    if (cursor.U32() != format::kZip64EndSignature) continue;
    cursor.Skip(8 + 2 + 2 + 4 + 4 + 8);
    end.entryCount = cursor.U64();
    end.centralSize = cursor.U64();
    end.centralOffset = cursor.U64();
    if (!cursor.Ok()) break;
    return position;
  }
  NotAnArchive(name, "its ZIP64 end of central directory record is missing");
}

bool HasSignatureAt(platform::SeekableFile& archive, std::int64_t position, std::uint32_t signature) {
  if (position < 0) return false;
  const std::string bytes = ReadExactly(archive, position, 4);
  return bytes.size() == 4 && Cursor(bytes).U32() == signature;
}

// Takes the 64-bit values of the entry's ZIP64 field, in their fixed order, for each 32-bit
// field that holds the marker.
bool ApplyZip64Field(format::CentralEntry& entry, std::string_view extra, bool compressedMarked,
                     bool uncompressedMarked, bool offsetMarked) {
  const format::ExtraField field = format::FindExtraField(extra, format::kZip64ExtraId);
  if (!field.found) return !(compressedMarked || uncompressedMarked || offsetMarked);
  Cursor cursor(field.data);
  if (uncompressedMarked) entry.uncompressedSize = cursor.U64();
  if (compressedMarked) entry.compressedSize = cursor.U64();
  if (offsetMarked) entry.localHeaderOffset = cursor.U64();
  entry.sizesInZip64 = compressedMarked || uncompressedMarked;
  return cursor.Ok();
}

std::vector<format::CentralEntry> ParseCentralDirectory(std::string_view bytes, const std::string& name) {
  std::vector<format::CentralEntry> entries;
  Cursor cursor(bytes);
  while (cursor.Remaining() > 0) {
    if (cursor.U32() != format::kCentralHeaderSignature)
      NotAnArchive(name, "its central directory is damaged");
    format::CentralEntry entry;
    entry.versionMadeBy = cursor.U16();
    entry.versionNeeded = cursor.U16();
    entry.flags = cursor.U16();
    entry.method = cursor.U16();
    entry.modified.time = cursor.U16();
    entry.modified.date = cursor.U16();
    entry.crc = cursor.U32();
    entry.compressedSize = cursor.U32();
    entry.uncompressedSize = cursor.U32();
    const std::uint16_t nameSize = cursor.U16();
    const std::uint16_t extraSize = cursor.U16();
    const std::uint16_t commentSize = cursor.U16();
    cursor.Skip(2);  // disk number
    entry.internalAttributes = cursor.U16();
    entry.externalAttributes = cursor.U32();
    entry.localHeaderOffset = cursor.U32();
    entry.name = std::string(cursor.Take(nameSize));
    const std::string_view extra = cursor.Take(extraSize);
    entry.comment = std::string(cursor.Take(commentSize));
    if (!cursor.Ok()) NotAnArchive(name, "its central directory is cut short");
    if (!ApplyZip64Field(entry, extra, entry.compressedSize == format::kMax32,
                         entry.uncompressedSize == format::kMax32, entry.localHeaderOffset == format::kMax32))
      NotAnArchive(name, "the ZIP64 field of an entry is damaged");
    entry.extra = format::WithoutExtraField(extra, format::kZip64ExtraId);
    entries.push_back(std::move(entry));
  }
  return entries;
}

// The central directory lies between the archive's start and its end record, and each of its
// records takes at least kCentralHeaderSize bytes: a count, size or offset beyond that is a lie,
// refused before anything is read or allocated on its word.
void CheckClaims(const EndRecord& end, std::int64_t centralEnd, const std::string& name) {
  const auto before = static_cast<std::uint64_t>(centralEnd);
  if (end.centralOffset > before || end.centralSize > before - end.centralOffset)
    NotAnArchive(name, "its central directory of " + std::to_string(end.centralSize) + " bytes at offset " +
                           std::to_string(end.centralOffset) + " would reach past its end record at " +
                           std::to_string(before));
  const std::uint64_t room = end.centralSize / format::kCentralHeaderSize;
  if (end.entryCount > room)
    NotAnArchive(name, "it claims " + std::to_string(end.entryCount) +
                           " entries, but its central directory of " + std::to_string(end.centralSize) +
                           " bytes has room for " + std::to_string(room) + " at most");
}

// Reads each entry's local header to find where its data starts, and checks that every header
// and its data lie in the archive before the central directory, no two of them sharing a byte.
// Overlapping entries are how a small archive unpacks to an enormous size (the same compressed
// bytes inflated once per entry), and no writer makes them; refusing them here, before anything
// is written, keeps an extraction that cannot be cancelled from filling the disk.
void LocateEntries(platform::SeekableFile& archive, Directory& directory, const std::string& name) {
  struct Span {
    std::int64_t start;
    std::int64_t end;
    std::size_t entry;
  };
  std::vector<Span> spans;
  spans.reserve(directory.entries.size());
  directory.dataStarts.reserve(directory.entries.size());
  // Local header offsets below this lie before the central directory.
  const auto room = static_cast<std::uint64_t>(directory.centralStart - directory.base);
  for (std::size_t i = 0; i < directory.entries.size(); ++i) {
    const format::CentralEntry& entry = directory.entries[i];
    const auto damaged = [&](const std::string& what, const std::string& why) {
      Fail(ZipError::kCorrupt, "'" + name + "' is damaged: the " + what + " of its entry '" +
                                   format::EntryNameUtf8(entry) + "' " + why);
    };
    if (entry.localHeaderOffset >= room)
      damaged("local header", "lies past the start of its central directory");
    const std::int64_t headerStart = directory.base + static_cast<std::int64_t>(entry.localHeaderOffset);
    const std::string header = ReadExactly(archive, headerStart, format::kLocalHeaderSize);
    Cursor cursor(header);
    if (cursor.U32() != format::kLocalHeaderSignature) damaged("local header", "is missing");
    cursor.Skip(22);
    const std::uint16_t nameSize = cursor.U16();
    const std::uint16_t extraSize = cursor.U16();
    if (!cursor.Ok()) damaged("local header", "is cut short");
    const std::int64_t dataStart =
        headerStart + static_cast<std::int64_t>(format::kLocalHeaderSize) + nameSize + extraSize;
    if (dataStart > directory.centralStart ||
        entry.compressedSize > static_cast<std::uint64_t>(directory.centralStart - dataStart))
      damaged("data", "runs into its central directory");
    directory.dataStarts.push_back(dataStart);
    spans.push_back({headerStart, dataStart + static_cast<std::int64_t>(entry.compressedSize), i});
  }

  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
    return a.start != b.start ? a.start < b.start : a.entry < b.entry;
  });
  // Every span holds at least a header, so sorted spans that do not overlap end in order too.
  for (std::size_t k = 1; k < spans.size(); ++k)
    if (spans[k].start < spans[k - 1].end)
      Fail(ZipError::kOverlappingEntries, "'" + name + "' is refused: its entries '" +
                                              format::EntryNameUtf8(directory.entries[spans[k - 1].entry]) +
                                              "' and '" +
                                              format::EntryNameUtf8(directory.entries[spans[k].entry]) +
                                              "' share bytes of the file, as the entries of a zip bomb do");
  directory.archiveStart = spans.empty() ? directory.centralStart : spans.front().start;
}

}  // namespace

Directory ReadDirectory(platform::SeekableFile& archive, const std::string& name) {
  EndRecord end = FindEndRecord(archive, name);
  const std::int64_t centralEnd = ApplyZip64End(archive, end, name);
  CheckClaims(end, centralEnd, name);
  if (end.centralSize > static_cast<std::uint64_t>(kMaxCentralSize))
    Fail(ZipError::kUnsupported, "The central directory of '" + name + "' is too large");

  Directory directory;
  directory.centralSize = static_cast<std::int64_t>(end.centralSize);
  directory.base = centralEnd - static_cast<std::int64_t>(end.centralOffset) - directory.centralSize;
  // Something between the central directory and its end record (a ZIP64 record with extensible
  // data, a signature block) would pass for a stub; the offsets as stored then fit instead.
  const bool hasEntries = end.entryCount > 0;
  if (hasEntries &&
      !HasSignatureAt(archive, directory.base + static_cast<std::int64_t>(end.centralOffset),
                      format::kCentralHeaderSignature) &&
      HasSignatureAt(archive, static_cast<std::int64_t>(end.centralOffset), format::kCentralHeaderSignature))
    directory.base = 0;
  directory.centralStart = directory.base + static_cast<std::int64_t>(end.centralOffset);
  directory.comment = std::move(end.comment);

  // Checked against the file before memory is claimed for it: a file of a few bytes whose
  // offsets are taken as stored could otherwise claim the largest directory allowed.
  if (directory.centralSize > archive.Size() - directory.centralStart)
    NotAnArchive(name, "its central directory is cut short");
  const std::string central =
      ReadExactly(archive, directory.centralStart, static_cast<std::size_t>(directory.centralSize));
  if (central.size() != static_cast<std::size_t>(directory.centralSize))
    NotAnArchive(name, "its central directory is cut short");
  directory.entries = ParseCentralDirectory(central, name);
  // Writers without ZIP64 let the 16-bit count wrap past 65,535 entries.
  const std::uint64_t found = directory.entries.size();
  if (found != end.entryCount && !(end.entryCount < format::kMax16 && found % 0x10000 == end.entryCount))
    NotAnArchive(name, "its central directory holds " + std::to_string(found) + " entries instead of " +
                           std::to_string(end.entryCount));
  LocateEntries(archive, directory, name);
  return directory;
}

}  // namespace carvex::zipkit
