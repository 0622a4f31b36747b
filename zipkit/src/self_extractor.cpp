#include "zipkit/self_extractor.h"

#include <optional>
#include <vector>

#include "cleanup.h"
#include "directory.h"
#include "format.h"
#include "platform/files.h"
#include "platform/zipio.h"
#include "progress_reporter.h"
#include "zipkit/errors.h"

namespace carvex::zipkit {

namespace {

constexpr std::size_t kChunkSize = 1 << 20;

// The settings sit right before the archive's first local header: caption, overwrite mode,
// their two lengths and this mark. A program without the mark uses the defaults.
constexpr std::string_view kSettingsMark = "CvxSfx01";
constexpr std::size_t kSettingsTrailerSize = 4 + kSettingsMark.size();

std::string SettingsBlock(const SfxSettings& settings) {
  if (settings.caption.size() > format::kMax16 || settings.overwriteMode.size() > format::kMax16)
    Fail(ZipError::kInvalidSetting, "The self-extractor's caption or overwrite mode is too long");
  format::Bytes block;
  block.Append(settings.caption)
      .Append(settings.overwriteMode)
      .U16(settings.caption.size())
      .U16(settings.overwriteMode.size())
      .Append(kSettingsMark);
  return block.Data();
}

// Copies `size` bytes at `from` in `source` to `to` in `target`.
void CopyRange(platform::SeekableFile& source, std::int64_t from, platform::SeekableFile& target,
               std::int64_t to, std::int64_t size, ProgressReporter& progress) {
  std::vector<char> buffer(kChunkSize);
  while (size > 0) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(size, kChunkSize));
    const std::size_t got = source.ReadAt(from, buffer.data(), want);
    if (got != want) Fail(ZipError::kNotAnArchive, "'" + source.Path() + "' ended while it was being copied");
    target.WriteAt(to, buffer.data(), got);
    from += static_cast<std::int64_t>(got);
    to += static_cast<std::int64_t>(got);
    size -= static_cast<std::int64_t>(got);
    progress.BytesDone(static_cast<std::int64_t>(got));
  }
}

// A stub signed with Authenticode ends in its certificate table. Copied whole, the table would
// sign a file that goes on after it, which Windows and virus scanners trust less than a file
// without a signature, so the program gets the stub without its signature instead.
struct StubSignature {
  std::int64_t tableStart = 0;  // what of the stub is copied
  // File offsets of the header fields that describe the signed file: the optional header's
  // checksum and the data directory's security entry.
  std::int64_t checksumAt = 0;
  std::int64_t securityEntryAt = 0;
};

// `count` bytes at `offset`, or nothing when the stub is shorter.
std::optional<std::string> ReadStubBytes(platform::SeekableFile& stub, std::int64_t stubSize,
                                         std::int64_t offset, std::size_t count) {
  if (offset < 0 || offset > stubSize || static_cast<std::int64_t>(count) > stubSize - offset)
    return std::nullopt;
  std::string bytes(count, '\0');
  if (stub.ReadAt(offset, bytes.data(), count) != count) return std::nullopt;
  return bytes;
}

// The stub's signature, when the stub is a PE program whose certificate table is the last thing
// in it. Anything else (an ELF stub, an unsigned or malformed PE, a table followed by more data)
// yields nothing and is copied as it is.
std::optional<StubSignature> FindTrailingSignature(platform::SeekableFile& stub, std::int64_t stubSize) {
  constexpr std::size_t kDosHeaderSize = 64;
  constexpr std::size_t kNewHeaderOffsetAt = 0x3C;
  constexpr std::size_t kFileHeaderSize = 24;  // the "PE\0\0" signature included
  constexpr std::size_t kOptionalSizeAt = 20;
  constexpr std::size_t kChecksumAt = 64;  // the same in both optional header formats
  constexpr std::size_t kSecurityEntry = 4;
  constexpr std::size_t kEntrySize = 8;

  const auto dos = ReadStubBytes(stub, stubSize, 0, kDosHeaderSize);
  if (!dos || dos->compare(0, 2, "MZ") != 0) return std::nullopt;
  format::Cursor dosFields(*dos);
  dosFields.Skip(kNewHeaderOffsetAt);
  const std::int64_t peAt = dosFields.U32();
  const auto fileHeader = ReadStubBytes(stub, stubSize, peAt, kFileHeaderSize);
  if (!fileHeader || fileHeader->compare(0, 4, std::string_view("PE\0\0", 4)) != 0) return std::nullopt;
  format::Cursor fileFields(*fileHeader);
  fileFields.Skip(kOptionalSizeAt);
  const std::size_t optionalSize = fileFields.U16();
  const std::int64_t optionalAt = peAt + static_cast<std::int64_t>(kFileHeaderSize);
  const auto optional = ReadStubBytes(stub, stubSize, optionalAt, optionalSize);
  if (!optional) return std::nullopt;

  format::Cursor fields(*optional);
  const std::uint16_t magic = fields.U16();
  // PE32+ widens the image base and the stack and heap sizes to 64 bits, which moves the
  // directory's entry count and the directory after it.
  std::size_t directoryAt = 0;
  if (magic == 0x10b)
    directoryAt = 96;
  else if (magic == 0x20b)
    directoryAt = 112;
  else
    return std::nullopt;
  fields.Skip(directoryAt - 4 - 2);
  const std::uint32_t entryCount = fields.U32();
  const std::size_t securityEntryAt = directoryAt + kSecurityEntry * kEntrySize;
  fields.Skip(securityEntryAt - directoryAt);
  // Both fields hold file offsets here, not addresses in the loaded image.
  const std::int64_t tableStart = fields.U32();
  const std::int64_t tableSize = fields.U32();
  if (!fields.Ok() || entryCount <= kSecurityEntry || tableSize == 0) return std::nullopt;
  // A table that began inside the headers would cut away the very fields to be cleared.
  const std::int64_t headersEnd = optionalAt + static_cast<std::int64_t>(optionalSize);
  if (tableStart < headersEnd || tableStart + tableSize != stubSize) return std::nullopt;
  return StubSignature{tableStart, optionalAt + static_cast<std::int64_t>(kChecksumAt),
                       optionalAt + static_cast<std::int64_t>(securityEntryAt)};
}

// Copies the stub to the start of `program` and returns the length written. A trailing signature
// stays behind, and the headers then describe an unsigned program; the zeros the signer may have
// padded the image with stay, as they change nothing about how the program loads.
std::int64_t CopyStub(platform::SeekableFile& stub, platform::SeekableFile& program,
                      ProgressReporter& progress) {
  const std::int64_t stubSize = stub.Size();
  const std::optional<StubSignature> signature = FindTrailingSignature(stub, stubSize);
  if (!signature) {
    CopyRange(stub, 0, program, 0, stubSize, progress);
    return stubSize;
  }
  CopyRange(stub, 0, program, 0, signature->tableStart, progress);
  // An unsigned program carries no checksum either: the signer computed it over the signature.
  const char zeros[8] = {};
  program.WriteAt(signature->checksumAt, zeros, 4);
  program.WriteAt(signature->securityEntryAt, zeros, 8);
  return signature->tableStart;
}

}  // namespace

std::string SelfExtractorPathFor(const std::string& archivePath) {
  const std::size_t n = archivePath.size();
  if (n >= 4 && archivePath[n - 4] == '.' && (archivePath[n - 3] | 0x20) == 'z' &&
      (archivePath[n - 2] | 0x20) == 'i' && (archivePath[n - 1] | 0x20) == 'p')
    return archivePath.substr(0, n - 4) + ".exe";
  return archivePath + ".exe";
}

std::string ConvertToSelfExtractor(const std::string& archivePath, const std::string& stubPath,
                                   const SfxSettings& settings, const ProgressHandler& handler) {
  const std::string programPath = SelfExtractorPathFor(archivePath);
  ProgressReporter progress(handler);
  progress.RunBatch(programPath, [&] {
    platform::SeekableFile archive(archivePath, platform::SeekableFile::Mode::kRead);
    const Directory directory = ReadDirectory(archive, archivePath);
    platform::SeekableFile stub(stubPath, platform::SeekableFile::Mode::kRead);
    const std::string block = SettingsBlock(settings);

    // Written beside the program's name and renamed once complete, so a failure leaves no
    // program behind, and a file of that name that is the archive itself (a link to it, say)
    // is read to the end before the name changes hands.
    ReplacingFile out(programPath);
    platform::SeekableFile& program = out.File();
    progress.FileBegins(programPath);
    const std::int64_t stubLength = CopyStub(stub, program, progress);
    program.WriteAt(stubLength, block.data(), block.size());
    const std::int64_t archiveStart = stubLength + static_cast<std::int64_t>(block.size());
    const std::int64_t dataSize = directory.centralStart - directory.archiveStart;
    CopyRange(archive, directory.archiveStart, program, archiveStart, dataSize, progress);

    // Offsets count from the start of the program from now on, as readers expect of an
    // archive whose start is not the file's.
    const std::int64_t shift = archiveStart - directory.archiveStart + directory.base;
    const std::int64_t centralStart = archiveStart + dataSize;
    std::string central;
    for (format::CentralEntry entry : directory.entries) {
      entry.localHeaderOffset =
          static_cast<std::uint64_t>(static_cast<std::int64_t>(entry.localHeaderOffset) + shift);
      central += format::SerializeCentral(entry);
    }
    const auto centralEnd = centralStart + static_cast<std::int64_t>(central.size());
    central +=
        format::SerializeEnd(directory.entries.size(), static_cast<std::uint64_t>(centralStart),
                             central.size(), static_cast<std::uint64_t>(centralEnd), directory.comment);
    program.WriteAt(centralStart, central.data(), central.size());
    platform::MakeExecutable(out.TempPath());
    // Windows renames nothing over a file that is still open.
    archive = platform::SeekableFile();
    stub = platform::SeekableFile();
    out.Commit();
  });
  return programPath;
}

SfxSettings ReadSfxSettings(const std::string& programPath) {
  platform::SeekableFile program(programPath, platform::SeekableFile::Mode::kRead);
  const Directory directory = ReadDirectory(program, programPath);
  SfxSettings settings;
  const std::int64_t trailerStart = directory.archiveStart - static_cast<std::int64_t>(kSettingsTrailerSize);
  if (trailerStart < 0) return settings;
  std::string trailer(kSettingsTrailerSize, '\0');
  if (program.ReadAt(trailerStart, trailer.data(), trailer.size()) != trailer.size() ||
      std::string_view(trailer).substr(4) != kSettingsMark)
    return settings;
  format::Cursor cursor(trailer);
  const std::uint16_t captionSize = cursor.U16();
  const std::uint16_t modeSize = cursor.U16();
  const std::int64_t start = trailerStart - captionSize - modeSize;
  if (start < 0) return settings;
  std::string texts(captionSize + modeSize, '\0');
  if (program.ReadAt(start, texts.data(), texts.size()) != texts.size()) return settings;
  settings.caption = texts.substr(0, captionSize);
  settings.overwriteMode = texts.substr(captionSize);
  return settings;
}

}  // namespace carvex::zipkit
