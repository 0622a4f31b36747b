#include "writer.h"

#include <zlib.h>

#include <memory>
#include <random>

#include "cleanup.h"
#include "crypto.h"
#include "format.h"
#include "platform/files.h"
#include "platform/zipio.h"
#include "progress_reporter.h"
#include "sources.h"
#include "zipkit/entry_names.h"
#include "zipkit/errors.h"

namespace carvex::zipkit {

namespace {

using format::kMax32;

constexpr std::size_t kChunkSize = 256 * 1024;
constexpr std::size_t kCentralBlockSize = 1 << 20;
// Entries claim a Unix host: Debian's unzip reads UTF-8 names of MS-DOS-made entries through
// the OEM code page even when they are flagged as UTF-8, and garbles them. The attributes say
// the same on both sides: a plain file, mode 0644, with the MS-DOS "archive" bit; a folder,
// mode 0755, with the MS-DOS "directory" bit.
constexpr std::uint16_t kMadeOnUnix = 3 << 8;
constexpr std::uint32_t kFileAttributes = (0100644u << 16) | 0x20;
constexpr std::uint32_t kFolderAttributes = (040755u << 16) | 0x10;

// The most a source of `size` bytes can take in the archive. zlib's bound for raw deflate with
// the default window and memory level covers the stored blocks that incompressible data falls
// back to. The local header must know before the data whether it needs ZIP64 sizes.
std::uint64_t LargestStoredSize(std::uint64_t size, bool deflated, bool encrypted) {
  std::uint64_t bound = deflated ? size + (size >> 12) + (size >> 14) + (size >> 25) + 7 : size;
  return bound + (encrypted ? format::kEncryptionHeaderSize : 0);
}

// Bits 1 and 2 tell readers how hard deflate worked, as PKWARE's options name it.
std::uint16_t LevelFlags(int level) {
  if (level >= 8) return format::kFlagDeflateMaximum;
  if (level == 2) return format::kFlagDeflateFast;
  if (level == 1) return format::kFlagDeflateFast | format::kFlagDeflateMaximum;
  return 0;
}

class ArchiveWriter {
 public:
  ArchiveWriter(platform::SeekableFile& out, const AddSettings& settings, ProgressReporter& progress)
      : out_(out), settings_(settings), progress_(progress), input_(kChunkSize), output_(kChunkSize) {
    std::random_device entropy;
    std::seed_seq seed{entropy(), entropy(), entropy(), entropy(),
                       entropy(), entropy(), entropy(), entropy()};
    random_.seed(seed);
    if (settings.level > 0 &&
        ::deflateInit2(&stream_, settings.level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      Fail(ZipError::kInvalidSetting, "Cannot start compressing: not enough memory");
  }
  ~ArchiveWriter() {
    if (settings_.level > 0) ::deflateEnd(&stream_);
  }
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  void AddFile(const std::string& source, const std::string& storedName);
  // A folder is an entry of its own, without data, so that an empty one is kept too.
  void AddFolder(const std::string& folder, const std::string& storedName);
  void Finish();

 private:
  void Write(std::string_view bytes) {
    out_.WriteAt(static_cast<std::int64_t>(position_), bytes.data(), bytes.size());
    position_ += bytes.size();
  }
  // Writes entry data, encrypted when the job asks for it.
  void Emit(char* data, std::size_t size) {
    if (crypto_) crypto_->Encrypt(data, size);
    Write(std::string_view(data, size));
    compressed_ += size;
  }
  void Deflate(char* data, std::size_t size, int flush);
  // The entry's name checked, with what every entry shares: the UTF-8 flag, the time, the host.
  format::CentralEntry NewEntry(const std::string& source, const std::string& storedName);
  void WriteLocalHeader(const format::CentralEntry& entry);

  platform::SeekableFile& out_;
  const AddSettings& settings_;
  ProgressReporter& progress_;
  std::vector<char> input_;
  std::vector<char> output_;
  z_stream stream_{};
  std::mt19937 random_;
  std::unique_ptr<ZipCrypto> crypto_;
  std::uint64_t position_ = 0;
  std::uint64_t compressed_ = 0;
  std::vector<format::CentralEntry> entries_;
};

void ArchiveWriter::Deflate(char* data, std::size_t size, int flush) {
  stream_.next_in = reinterpret_cast<Bytef*>(data);
  stream_.avail_in = static_cast<uInt>(size);
  for (;;) {
    stream_.next_out = reinterpret_cast<Bytef*>(output_.data());
    stream_.avail_out = static_cast<uInt>(output_.size());
    const int result = ::deflate(&stream_, flush);
    if (result == Z_STREAM_ERROR) Fail(ZipError::kInvalidSetting, "The compressor failed");
    Emit(output_.data(), output_.size() - stream_.avail_out);
    if (flush == Z_FINISH ? result == Z_STREAM_END : stream_.avail_in == 0 && stream_.avail_out != 0) return;
  }
}

format::CentralEntry ArchiveWriter::NewEntry(const std::string& source, const std::string& storedName) {
  if (storedName.size() > format::kMax16)
    Fail(ZipError::kInvalidSetting, "Cannot zip '" + source + "': its name is too long");
  format::CentralEntry entry;
  entry.flags = format::IsAscii(storedName) ? 0 : format::kFlagUtf8;
  entry.modified = format::ToDosTime(platform::FileModificationTime(source));
  entry.localHeaderOffset = position_;
  entry.name = storedName;
  return entry;
}

void ArchiveWriter::WriteLocalHeader(const format::CentralEntry& entry) {
  const bool zip64 = entry.sizesInZip64;
  format::Bytes header;
  header.U32(format::kLocalHeaderSignature)
      .U16(entry.versionNeeded)
      .U16(entry.flags)
      .U16(entry.method)
      .U16(entry.modified.time)
      .U16(entry.modified.date)
      .U32(entry.crc)
      .U32(zip64 ? kMax32 : entry.compressedSize)
      .U32(zip64 ? kMax32 : entry.uncompressedSize)
      .U16(entry.name.size())
      .U16(zip64 ? 20 : 0)
      .Append(entry.name);
  if (zip64) header.U16(format::kZip64ExtraId).U16(16).U64(0).U64(0);
  Write(header.Data());
}

void ArchiveWriter::AddFolder(const std::string& folder, const std::string& storedName) {
  format::CentralEntry entry = NewEntry(folder, storedName);
  entry.method = format::kMethodStored;
  entry.versionNeeded = format::kVersionStored;
  entry.versionMadeBy = kMadeOnUnix | entry.versionNeeded;
  entry.externalAttributes = kFolderAttributes;
  WriteLocalHeader(entry);
  entries_.push_back(std::move(entry));
}

void ArchiveWriter::AddFile(const std::string& source, const std::string& storedName) {
  progress_.FileBegins(source);
  platform::File in(source, platform::File::Mode::kRead);
  const auto size = static_cast<std::uint64_t>(platform::FileLength(source));
  const bool deflated = settings_.level > 0;
  const bool encrypted = settings_.encrypt;
  const bool zip64 = size >= kMax32 || LargestStoredSize(size, deflated, encrypted) >= kMax32;

  format::CentralEntry entry = NewEntry(source, storedName);
  if (deflated) entry.flags |= LevelFlags(settings_.level);
  // Encrypted data goes out before its CRC is known, so the check byte of the encryption header
  // comes from the time and the CRC follows the data, as a data descriptor says.
  if (encrypted) entry.flags |= format::kFlagEncrypted | format::kFlagDataDescriptor;
  entry.method = deflated ? format::kMethodDeflated : format::kMethodStored;
  entry.versionNeeded = zip64                   ? format::kVersionZip64
                        : deflated || encrypted ? format::kVersionDeflated
                                                : format::kVersionStored;
  entry.versionMadeBy = kMadeOnUnix | entry.versionNeeded;
  entry.externalAttributes = kFileAttributes;
  entry.sizesInZip64 = zip64;
  WriteLocalHeader(entry);

  compressed_ = 0;
  crypto_.reset();
  if (encrypted) {
    crypto_ = std::make_unique<ZipCrypto>(settings_.password);
    char encryptionHeader[format::kEncryptionHeaderSize];
    for (std::size_t i = 0; i + 1 < sizeof encryptionHeader; ++i)
      encryptionHeader[i] = static_cast<char>(random_());
    encryptionHeader[sizeof encryptionHeader - 1] = static_cast<char>(entry.modified.time >> 8);
    Emit(encryptionHeader, sizeof encryptionHeader);
  }
  if (deflated) ::deflateReset(&stream_);

  uLong crc = ::crc32(0, nullptr, 0);
  std::uint64_t uncompressed = 0;
  for (;;) {
    const std::size_t got = in.Read(input_.data(), input_.size());
    if (got == 0) break;
    crc = ::crc32(crc, reinterpret_cast<const Bytef*>(input_.data()), static_cast<uInt>(got));
    uncompressed += got;
    if (deflated)
      Deflate(input_.data(), got, Z_NO_FLUSH);
    else
      Emit(input_.data(), got);
    progress_.BytesDone(static_cast<std::int64_t>(got));
  }
  if (deflated) Deflate(nullptr, 0, Z_FINISH);
  if (!zip64 && (compressed_ >= kMax32 || uncompressed >= kMax32))
    Fail(ZipError::kSourceChanged, "Cannot zip '" + source + "': it grew while it was being zipped");

  entry.crc = static_cast<std::uint32_t>(crc);
  entry.compressedSize = compressed_;
  entry.uncompressedSize = uncompressed;
  if (encrypted) {
    format::Bytes descriptor;
    descriptor.U32(format::kDataDescriptorSignature).U32(entry.crc);
    if (zip64)
      descriptor.U64(compressed_).U64(uncompressed);
    else
      descriptor.U32(compressed_).U32(uncompressed);
    Write(descriptor.Data());
  } else {
    const auto headerAt = static_cast<std::int64_t>(entry.localHeaderOffset);
    format::Bytes sizes;
    sizes.U32(entry.crc).U32(zip64 ? kMax32 : compressed_).U32(zip64 ? kMax32 : uncompressed);
    out_.WriteAt(headerAt + 14, sizes.Data().data(), sizes.Size());
    if (zip64) {
      format::Bytes zip64Sizes;
      zip64Sizes.U64(uncompressed).U64(compressed_);
      out_.WriteAt(headerAt + static_cast<std::int64_t>(format::kLocalHeaderSize + storedName.size() + 4),
                   zip64Sizes.Data().data(), zip64Sizes.Size());
    }
  }
  entries_.push_back(std::move(entry));
}

void ArchiveWriter::Finish() {
  const std::uint64_t centralStart = position_;
  std::string block;
  for (const format::CentralEntry& entry : entries_) {
    block += format::SerializeCentral(entry);
    if (block.size() >= kCentralBlockSize) {
      Write(block);
      block.clear();
    }
  }
  Write(block);
  Write(format::SerializeEnd(entries_.size(), centralStart, position_ - centralStart, position_, {}));
}

}  // namespace

void WriteArchive(const std::string& archivePath, const std::vector<std::string>& sources,
                  const AddSettings& settings, const ProgressHandler& handler) {
  ProgressReporter progress(handler);
  progress.RunBatch(archivePath, [&] {
    if (sources.empty())
      Fail(ZipError::kInvalidSetting, "There are no files to zip into '" + archivePath + "'");
    if (settings.level < 0 || settings.level > 9)
      Fail(ZipError::kInvalidSetting,
           "The compression level " + std::to_string(settings.level) + " is not between 0 and 9");
    if (settings.encrypt && settings.password.empty())
      Fail(ZipError::kNoPassword, "Cannot encrypt '" + archivePath + "': no password is set");
    // Listed before the archive's temporary file exists, so a folder that holds the archive
    // never takes in the half-written archive.
    const std::vector<SourceEntry> entries = ArchiveEntries(sources);

    // The old archive stays until the new one is complete, so a source that is that archive
    // (under any name) is zipped from its old content.
    ReplacingFile out(archivePath);
    ArchiveWriter writer(out.File(), settings, progress);
    for (const SourceEntry& entry : entries) {
      if (entry.isFolder)
        writer.AddFolder(entry.path, entry.storedName);
      else
        writer.AddFile(entry.path, entry.storedName);
    }
    writer.Finish();
    out.Commit();
  });
}

}  // namespace carvex::zipkit
