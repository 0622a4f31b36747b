#include "zipkit/extract.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "cleanup.h"
#include "crypto.h"
#include "directory.h"
#include "format.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/volumes.h"
#include "platform/zipio.h"
#include "progress_reporter.h"
#include "zipkit/entry_names.h"
#include "zipkit/errors.h"

namespace carvex::zipkit {

namespace {

constexpr std::size_t kChunkSize = 256 * 1024;
constexpr int kPasswordQuestions = 3;

using Sink = std::function<void(const char* data, std::size_t size)>;

struct PlannedEntry {
  const format::CentralEntry* entry = nullptr;
  std::int64_t dataStart = 0;
  std::string name;
  std::vector<std::string> elements;
  bool isFolder = false;
};

// The methods other tools write that Carvex does not unpack, by name, so that a user knows what
// to ask another tool for.
std::string CompressionMethodName(std::uint16_t method) {
  static constexpr struct {
    std::uint16_t method;
    const char* name;
  } kNames[] = {{9, "Deflate64"},  {12, "BZip2"}, {14, "LZMA"}, {19, "LZ77"},
                {93, "Zstandard"}, {95, "XZ"},    {98, "PPMd"}, {99, "AES encryption"}};
  for (const auto& known : kNames)
    if (known.method == method) return std::string(known.name) + " (method " + std::to_string(method) + ")";
  return "compression method " + std::to_string(method);
}

std::string Label(const std::string& entryName, const std::string& archivePath) {
  return "'" + entryName + "' from '" + archivePath + "'";
}

// Every name is checked before the first byte is written, so a hostile archive leaves nothing
// behind, not even the harmless entries that precede the bad one.
std::vector<PlannedEntry> PlanEntries(const Directory& directory, const std::string& archivePath) {
  std::vector<PlannedEntry> plan;
  plan.reserve(directory.entries.size());
  for (std::size_t i = 0; i < directory.entries.size(); ++i) {
    const format::CentralEntry& entry = directory.entries[i];
    PlannedEntry planned;
    planned.entry = &entry;
    planned.dataStart = directory.dataStarts[i];
    planned.name = format::EntryNameUtf8(entry);
    auto elements = SafeEntryPath(planned.name);
    if (!elements)
      Fail(ZipError::kUnsafeEntry, "Nothing was extracted from '" + archivePath + "': its entry '" +
                                       planned.name + "' " + UnsafeEntryRule(planned.name));
    planned.elements = std::move(*elements);
    planned.isFolder = planned.name.back() == '/' || planned.name.back() == '\\';
    const std::string label = Label(planned.name, archivePath);
    if ((entry.flags & format::kFlagStrongEncryption) != 0 || entry.method == format::kMethodAes)
      Fail(ZipError::kUnsupported,
           "Cannot unpack " + label + ": it uses an encryption other than the traditional zip encryption");
    if (!planned.isFolder && entry.method != format::kMethodStored && entry.method != format::kMethodDeflated)
      Fail(ZipError::kUnsupported, "Cannot unpack " + label + ": it is compressed with " +
                                       CompressionMethodName(entry.method) +
                                       ", which this program does not support. Unpack the archive with a "
                                       "tool that supports that method.");
    plan.push_back(std::move(planned));
  }
  return plan;
}

// The folder itself, or the nearest one above it that exists: the folder is created only once
// the archive has passed every check.
std::string NearestExistingFolder(std::string folder) {
  if (folder.empty()) return ".";
  while (!platform::IsDirectory(folder)) {
    std::string parent = FolderPart(folder);
    if (parent.empty()) return ".";
    if (parent == folder) break;
    folder = std::move(parent);
  }
  return folder;
}

// Each entry stops at its recorded size, so the sizes' sum bounds what the extraction writes.
// Weighed against the free space before the first byte, an archive that would fill the disk (a
// bomb, or merely too large) is refused with the disk as it was, instead of failing halfway with
// part of it written. A file whose name is taken counts too: whether it is skipped is decided
// later, file by file.
void CheckFreeSpace(const std::vector<PlannedEntry>& plan, const std::string& folder,
                    const std::string& archivePath) {
  std::uint64_t needed = 0;
  for (const PlannedEntry& planned : plan)
    if (!planned.isFolder)
      needed = planned.entry->uncompressedSize > UINT64_MAX - needed
                   ? UINT64_MAX
                   : needed + planned.entry->uncompressedSize;
  if (needed == 0) return;
  const std::string volumeFolder = NearestExistingFolder(folder);
  const std::int64_t freeBytes = platform::GetVolumeSpace(volumeFolder).freeBytes;
  if (needed > static_cast<std::uint64_t>(std::max<std::int64_t>(freeBytes, 0)))
    Fail(ZipError::kNotEnoughSpace, "Nothing was extracted from '" + archivePath + "': its files need " +
                                        std::to_string(needed) + " bytes, but the volume of '" +
                                        volumeFolder + "' has only " + std::to_string(freeBytes) +
                                        " bytes free");
}

// An entry made on Unix keeps the file's mode in the high half of its external attributes.
bool IsSymbolicLink(const format::CentralEntry& entry) {
  constexpr std::uint16_t kMadeOnUnix = 3;
  constexpr std::uint32_t kTypeMask = 0170000;
  constexpr std::uint32_t kLinkType = 0120000;
  return (entry.versionMadeBy >> 8) == kMadeOnUnix && ((entry.externalAttributes >> 16) & kTypeMask) == kLinkType;
}

std::string JoinAll(std::string path, const std::vector<std::string>& elements, bool local = true) {
  for (const std::string& element : elements) path = JoinPath(path, local ? LocalName(element) : element);
  return path;
}

// The keys for the entry's data, once the password passes the check byte of the encryption
// header. Writers set that byte from the CRC, or from the time when a data descriptor follows
// the data; both are accepted, and the CRC catches the rare wrong password that passes.
std::unique_ptr<ZipCrypto> OpenEncrypted(platform::SeekableFile& archive, std::int64_t dataStart,
                                         const PlannedEntry& planned, const std::string& label,
                                         std::string& password, const ExtractOptions& options) {
  const format::CentralEntry& entry = *planned.entry;
  char header[format::kEncryptionHeaderSize];
  if (entry.compressedSize < format::kEncryptionHeaderSize ||
      archive.ReadAt(dataStart, header, sizeof header) != sizeof header)
    Fail(ZipError::kCorrupt, "Cannot unpack " + label + ": its encryption header is missing");
  const auto byCrc = static_cast<std::uint8_t>(entry.crc >> 24);
  const auto byTime = static_cast<std::uint8_t>(entry.modified.time >> 8);

  bool triedWrong = false;
  for (int asked = 0;; ++asked) {
    if (!password.empty()) {
      auto crypto = std::make_unique<ZipCrypto>(password);
      char copy[sizeof header];
      std::memcpy(copy, header, sizeof header);
      crypto->Decrypt(copy, sizeof copy);
      const auto check = static_cast<std::uint8_t>(copy[sizeof copy - 1]);
      if (check == byCrc || check == byTime) return crypto;
      triedWrong = true;
    }
    std::optional<std::string> answer;
    if (options.askPassword && asked < kPasswordQuestions) answer = options.askPassword(planned.name);
    if (!answer || answer->empty()) {
      if (triedWrong) Fail(ZipError::kWrongPassword, "Cannot unpack " + label + ": the password is wrong");
      Fail(ZipError::kNoPassword, "Cannot unpack " + label + ": it is encrypted and no password was given");
    }
    password = std::move(*answer);
  }
}

// Reads `size` bytes of entry data from `position`, decrypts and inflates them and hands the
// result to `sink`, checking the recorded size and CRC-32 as it goes.
void UnpackData(platform::SeekableFile& archive, std::int64_t position, std::uint64_t size,
                const format::CentralEntry& entry, ZipCrypto* crypto, const std::string& label,
                ProgressReporter& progress, const Sink& sink) {
  const auto damaged = [&](const std::string& why) {
    Fail(ZipError::kCorrupt,
         "Cannot unpack " + label + ": " + why + (crypto ? " (or the password is wrong)" : ""));
  };
  std::vector<char> input(kChunkSize);
  std::uint64_t remaining = size;
  const auto readChunk = [&]() -> std::size_t {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kChunkSize));
    if (archive.ReadAt(position, input.data(), want) != want)
      Fail(ZipError::kCorrupt, "Cannot unpack " + label + ": the archive ends in the middle of its data");
    if (crypto) crypto->Decrypt(input.data(), want);
    position += static_cast<std::int64_t>(want);
    remaining -= want;
    return want;
  };

  uLong crc = ::crc32(0, nullptr, 0);
  std::uint64_t produced = 0;
  const auto deliver = [&](const char* data, std::size_t count) {
    // Stops a bomb at its recorded size instead of filling the disk.
    if (count > entry.uncompressedSize - produced) damaged("it holds more data than its recorded size");
    crc = ::crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(count));
    produced += count;
    sink(data, count);
    progress.BytesDone(static_cast<std::int64_t>(count));
  };

  if (entry.method == format::kMethodStored) {
    if (size != entry.uncompressedSize) damaged("its recorded sizes disagree");
    while (remaining > 0) deliver(input.data(), readChunk());
  } else {
    z_stream stream{};
    if (::inflateInit2(&stream, -MAX_WBITS) != Z_OK)
      Fail(ZipError::kCorrupt, "Cannot unpack " + label + ": not enough memory");
    const std::unique_ptr<z_stream, int (*)(z_stream*)> end(&stream, ::inflateEnd);
    std::vector<char> output(kChunkSize);
    for (;;) {
      if (stream.avail_in == 0 && remaining > 0) {
        stream.avail_in = static_cast<uInt>(readChunk());
        stream.next_in = reinterpret_cast<Bytef*>(input.data());
      }
      stream.next_out = reinterpret_cast<Bytef*>(output.data());
      stream.avail_out = static_cast<uInt>(output.size());
      const int result = ::inflate(&stream, Z_NO_FLUSH);
      const std::size_t made = output.size() - stream.avail_out;
      if (made > 0) deliver(output.data(), made);
      if (result == Z_STREAM_END) break;
      if (result != Z_OK && result != Z_BUF_ERROR) damaged("its compressed data is damaged");
      if (made == 0 && stream.avail_in == 0 && remaining == 0) damaged("its compressed data ends too early");
    }
  }
  if (produced != entry.uncompressedSize) damaged("it is shorter than its recorded size");
  if (static_cast<std::uint32_t>(crc) != entry.crc) damaged("its CRC-32 does not match");
}

struct Output {
  platform::SeekableFile file;
  std::string writePath;
  std::string finalPath;
  bool replace = false;
  bool skip = false;
};

// For each output name, the number from which the search for a free "name (n).ext" resumes. An
// archive with thousands of entries of one name would otherwise probe every number taken so
// far for each of them. The disk still has the last word, for files that were there before.
using NextNumbers = std::unordered_map<std::string, int>;

// Claims the entry's output name, or another one when it is taken, as the caller decides.
Output ClaimOutput(const std::string& target, const ExtractOptions& options, NextNumbers& nextNumbers) {
  Output output;
  output.finalPath = target;
  if (output.file.CreateNew(target)) {
    output.writePath = target;
    return output;
  }
  const ExistingFile decision = options.onExisting ? options.onExisting(target) : ExistingFile::kKeepBoth;
  if (decision == ExistingFile::kSkip) {
    output.skip = true;
    return output;
  }
  // A replacement is written beside the file first, so the existing one survives a failure.
  const std::string folder = FolderPart(target);
  const std::string name = FileNamePart(target);
  for (int& number = nextNumbers.try_emplace(target, 2).first->second;; ++number) {
    const std::string candidate = JoinPath(folder, NumberedName(name, number));
    if (output.file.CreateNew(candidate)) {
      output.writePath = candidate;
      ++number;
      break;
    }
  }
  if (decision == ExistingFile::kReplace)
    output.replace = true;
  else
    output.finalPath = output.writePath;
  return output;
}

void WriteEntry(platform::SeekableFile& archive, std::int64_t dataStart, std::uint64_t dataSize,
                const PlannedEntry& planned, ZipCrypto* crypto, const std::string& label, Output& output,
                ProgressReporter& progress) {
  try {
    std::int64_t at = 0;
    UnpackData(archive, dataStart, dataSize, *planned.entry, crypto, label, progress,
               [&](const char* data, std::size_t count) {
                 output.file.WriteAt(at, data, count);
                 at += static_cast<std::int64_t>(count);
               });
    output.file.Close();
  } catch (...) {
    output.file = platform::SeekableFile();
    RemoveQuietly(output.writePath);
    throw;
  }
  try {
    platform::SetFileModificationTime(output.writePath, format::FromDosTime(planned.entry->modified));
  } catch (const platform::RuntimeError&) {
    // The file is complete; it merely keeps the time of its writing.
  }
  if (!output.replace) return;
  try {
    platform::RenameReplacing(output.writePath, output.finalPath);
  } catch (...) {
    RemoveQuietly(output.writePath);
    throw;
  }
}

// What one extraction made, so that a failure midway can take it back: the files it wrote
// under new names and the folders that were missing before it.
class MadeHere {
 public:
  explicit MadeHere(std::string folder) : folder_(std::move(folder)) {}

  void MakeFolders(const std::string& folder) {
    std::vector<std::string> missing;
    for (std::string at = folder; !at.empty() && !platform::IsDirectory(at);) {
      missing.push_back(at);
      const std::string parent = FolderPart(at);
      if (parent == at) break;
      at = parent;
    }
    // Noted first: a creation that fails halfway may have made some of them.
    folders_.insert(folders_.end(), missing.rbegin(), missing.rend());
    platform::CreateFolders(folder);
  }
  void AddFile(const std::string& path) { files_.push_back(path); }
  bool Any() const { return !files_.empty() || !folders_.empty(); }

  // Files newest first, then folders deepest first; a folder something else has filled stays.
  void RemoveAll() {
    for (auto file = files_.rbegin(); file != files_.rend(); ++file) RemoveQuietly(*file);
    for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder) platform::RemoveEmptyFolder(*folder);
  }

  // The files written so far, below the target folder, for a message.
  std::string FileList() const {
    constexpr std::size_t kNamed = 10;
    std::string list;
    for (std::size_t i = 0; i < files_.size() && i < kNamed; ++i) {
      std::string name = files_[i];
      if (!folder_.empty() && name.starts_with(folder_)) name.erase(0, folder_.size() + 1);
      list += (i == 0 ? "" : ", ") + name;
    }
    if (files_.size() > kNamed) list += " and " + std::to_string(files_.size() - kNamed) + " more";
    return list;
  }

 private:
  std::string folder_;
  std::vector<std::string> files_;
  std::vector<std::string> folders_;
};

void UnpackInto(const std::string& archivePath, const ExtractOptions& options, bool write, ProgressReporter& progress,
                MadeHere& made, ExtractResult& result) {
  progress.RunBatch(archivePath, [&] {
    platform::SeekableFile archive(archivePath, platform::SeekableFile::Mode::kRead);
    const Directory directory = ReadDirectory(archive, archivePath);
    const std::vector<PlannedEntry> plan = PlanEntries(directory, archivePath);
    std::string password = options.password;
    if (write) CheckFreeSpace(plan, options.folder, archivePath);
    if (write && !options.folder.empty()) made.MakeFolders(options.folder);
    NextNumbers nextNumbers;

    for (const PlannedEntry& planned : plan) {
      const std::string target = JoinAll(options.folder, planned.elements);
      if (write) {
        const std::string local = JoinAll(std::string(), planned.elements);
        if (local != JoinAll(std::string(), planned.elements, false)) result.renamed.emplace_back(planned.name, local);
      }
      if (planned.isFolder) {
        if (write) made.MakeFolders(target);
        continue;
      }
      if (IsSymbolicLink(*planned.entry)) {
        if (write) result.skippedLinks.push_back(planned.name);
        continue;
      }
      const std::string label = Label(planned.name, archivePath);
      std::int64_t dataStart = planned.dataStart;
      std::uint64_t dataSize = planned.entry->compressedSize;
      std::unique_ptr<ZipCrypto> crypto;
      if (planned.entry->IsEncrypted()) {
        crypto = OpenEncrypted(archive, dataStart, planned, label, password, options);
        dataStart += static_cast<std::int64_t>(format::kEncryptionHeaderSize);
        dataSize -= format::kEncryptionHeaderSize;
      }
      if (!write) {
        progress.FileBegins(planned.name);
        UnpackData(archive, dataStart, dataSize, *planned.entry, crypto.get(), label, progress,
                   [](const char*, std::size_t) {});
        continue;
      }
      if (planned.elements.size() > 1) made.MakeFolders(FolderPart(target));
      Output output = ClaimOutput(target, options, nextNumbers);
      if (output.skip) {
        ++result.filesSkipped;
        continue;
      }
      progress.FileBegins(output.finalPath);
      WriteEntry(archive, dataStart, dataSize, planned, crypto.get(), label, output, progress);
      if (!output.replace) made.AddFile(output.finalPath);
      ++result.filesWritten;
    }
  });
}

ExtractResult Unpack(const std::string& archivePath, const ExtractOptions& options, bool write) {
  ExtractResult result;
  ProgressReporter progress(options.progress, options.cancelled);
  MadeHere made(options.folder);
  try {
    UnpackInto(archivePath, options, write, progress, made, result);
  } catch (const platform::RuntimeError& error) {
    if (!write || !made.Any()) throw;
    // A damaged entry spoils itself alone: the files before it are whole and checked.
    if (error.Number() == static_cast<long>(ZipError::kCorrupt)) {
      const std::string kept = made.FileList();
      // With no whole file before it, the folders made for it hold nothing: they go. A wrong
      // password that passes the check byte (one in 256) ends here too.
      if (kept.empty()) {
        made.RemoveAll();
        throw;
      }
      throw platform::RuntimeError(error.Number(), error.Description() + ". The files unpacked before it were kept: " + kept);
    }
    made.RemoveAll();
    throw platform::RuntimeError(error.Number(),
                                 error.Description() + ". Every file and folder this unpacking had made was removed");
  } catch (...) {
    if (write) made.RemoveAll();
    throw;
  }
  return result;
}

}  // namespace

ExtractResult ExtractArchive(const std::string& archivePath, const ExtractOptions& options) {
  return Unpack(archivePath, options, true);
}

void TestArchive(const std::string& archivePath, const ExtractOptions& options) {
  Unpack(archivePath, options, false);
}

std::vector<EntryInfo> ListArchive(const std::string& archivePath) {
  platform::SeekableFile archive(archivePath, platform::SeekableFile::Mode::kRead);
  const Directory directory = ReadDirectory(archive, archivePath);
  std::vector<EntryInfo> entries;
  entries.reserve(directory.entries.size());
  for (const format::CentralEntry& entry : directory.entries) {
    EntryInfo info;
    info.name = format::EntryNameUtf8(entry);
    info.size = entry.uncompressedSize;
    info.encrypted = entry.IsEncrypted();
    info.isFolder = !info.name.empty() && (info.name.back() == '/' || info.name.back() == '\\');
    entries.push_back(std::move(info));
  }
  return entries;
}

}  // namespace carvex::zipkit
