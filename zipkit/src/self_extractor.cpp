#include "zipkit/self_extractor.h"

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
    const std::int64_t stubSize = stub.Size();
    CopyRange(stub, 0, program, 0, stubSize, progress);
    program.WriteAt(stubSize, block.data(), block.size());
    const std::int64_t archiveStart = stubSize + static_cast<std::int64_t>(block.size());
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
