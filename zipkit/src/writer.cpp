#include "writer.h"

#include <zlib.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <random>
#include <thread>

#include "block_deflate.h"
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

// Enough blocks in flight for every worker to find the next one waiting, few enough to keep
// memory small whatever the size of the files.
constexpr std::size_t kBlocksPerWorker = 4;
constexpr std::uint64_t kParallelFrom = 2 * kBlockSize;
constexpr std::size_t kCentralBlockSize = 1 << 20;
// Entries claim a Unix host: Debian's unzip reads UTF-8 names of MS-DOS-made entries through
// the OEM code page even when they are flagged as UTF-8, and garbles them. The attributes say
// the same on both sides: a plain file, mode 0644, with the MS-DOS "archive" bit; a folder,
// mode 0755, with the MS-DOS "directory" bit.
constexpr std::uint16_t kMadeOnUnix = 3 << 8;
constexpr std::uint32_t kFileAttributes = (0100644u << 16) | 0x20;
constexpr std::uint32_t kFolderAttributes = (040755u << 16) | 0x10;

// The most a source of `size` bytes can take in the archive; the local header must know before
// the data whether it needs ZIP64 sizes. A block never takes more than its bytes as stored blocks
// (five bytes for each 64 KiB, so 15 for a block) or, when empty, the two bytes that end a
// stream; this bound allows 32 bytes a block and 7 at the end.
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

// What the writer takes from the reader, in the order of the archive.
struct Piece {
  const SourceEntry* source = nullptr;
  // A file's first piece carries its length when it was opened, which its local header needs.
  bool begins = false;
  std::uint64_t size = 0;
  std::unique_ptr<DataBlock> block;  // none for a folder
};

// Reads the sources in order into blocks and hands each to the compressors, running ahead of
// the writer by a bounded number of blocks, so the workers go from one file to the next without
// waiting for the writer. It reads on the calling thread: the workers touch nothing but the
// blocks, so file errors surface where the job runs.
class SourceReader {
 public:
  SourceReader(const std::vector<SourceEntry>& entries, int level) : entries_(entries), level_(level) {}

  bool AtEnd() const { return next_ == entries_.size() && !open_; }
  Piece Read() {
    if (!open_) return Open();
    return NextBlock(false);
  }

 private:
  static constexpr std::uint64_t kUnknownLength = UINT64_MAX / 2;

  Piece Open() {
    const SourceEntry& source = entries_[next_++];
    Piece piece;
    piece.source = &source;
    if (source.isFolder) return piece;
    file_ = platform::File(source.path, platform::File::Mode::kRead);
    piece.size = static_cast<std::uint64_t>(platform::FileLength(source.path));
    unread_ = piece.size;
    tail_.clear();
    open_ = true;
    current_ = Fill();
    Piece first = NextBlock(true);
    first.size = piece.size;
    return first;
  }

  // The block read last goes out once it is known whether any data follows it.
  Piece NextBlock(bool begins) {
    Piece piece;
    piece.source = &entries_[next_ - 1];
    piece.begins = begins;
    std::unique_ptr<DataBlock> following;
    if (filled_) following = Fill();
    current_->last = !following || following->Size() == 0;
    piece.block = std::move(current_);
    if (piece.block->last) {
      file_ = platform::File();
      open_ = false;
    } else {
      current_ = std::move(following);
    }
    return piece;
  }

  // The next block of the open file, after the end of the previous one as its dictionary. It
  // asks for one byte more than the file's length leaves, so a short read tells that the file
  // ends without another read, and a folder of small files costs no full blocks.
  std::unique_ptr<DataBlock> Fill() {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, unread_ + 1));
    auto block = std::make_unique<DataBlock>();
    block->dictionarySize = tail_.size();
    block->input.resize(tail_.size() + want);
    std::copy(tail_.begin(), tail_.end(), block->input.begin());
    const std::size_t got = file_.Read(block->input.data() + tail_.size(), want);
    block->input.resize(tail_.size() + got);
    filled_ = got == want;
    // A file that grew past its length is read in full blocks from then on.
    unread_ = got > unread_ ? kUnknownLength : unread_ - got;
    if (level_ > 0) {
      const std::size_t keep = std::min(kWindowSize, block->input.size());
      tail_.assign(block->input.end() - static_cast<std::ptrdiff_t>(keep), block->input.end());
    }
    return block;
  }

  const std::vector<SourceEntry>& entries_;
  const int level_;
  std::size_t next_ = 0;
  bool open_ = false;
  platform::File file_;
  std::uint64_t unread_ = 0;  // as far as the file's length told
  bool filled_ = false;       // the last Fill got all it asked for: more may follow
  std::vector<char> tail_;
  std::unique_ptr<DataBlock> current_;
};

class ArchiveWriter {
 public:
  ArchiveWriter(platform::SeekableFile& out, const AddSettings& settings, ProgressReporter& progress)
      : out_(out), settings_(settings), progress_(progress), deflater_(settings.level) {
    std::random_device entropy;
    std::seed_seq seed{entropy(), entropy(), entropy(), entropy(),
                       entropy(), entropy(), entropy(), entropy()};
    random_.seed(seed);
  }
  // The workers go before the blocks they may still be working on.
  ~ArchiveWriter() { workers_.reset(); }
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // Adds the entries in their order.
  void AddAll(const std::vector<SourceEntry>& entries);
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
  void Submit(DataBlock& block);
  void Take(Piece& piece);
  // A folder is an entry of its own, without data, so that an empty one is kept too.
  void AddFolder(const std::string& folder, const std::string& storedName);
  void BeginFile(const SourceEntry& source, std::uint64_t size);
  void EndFile();
  // The entry's name checked, with what every entry shares: the UTF-8 flag, the time, the host.
  format::CentralEntry NewEntry(const std::string& source, const std::string& storedName);
  void WriteLocalHeader(const format::CentralEntry& entry);

  platform::SeekableFile& out_;
  const AddSettings& settings_;
  ProgressReporter& progress_;
  BlockDeflater deflater_;
  // Read and submitted, in the order of the archive, not yet written.
  std::deque<Piece> pieces_;
  std::unique_ptr<DeflateWorkers> workers_;
  std::uint64_t submitted_ = 0;
  std::mt19937 random_;
  std::unique_ptr<ZipCrypto> crypto_;
  std::uint64_t position_ = 0;
  // The file being written.
  const SourceEntry* source_ = nullptr;
  format::CentralEntry entry_;
  std::uint64_t compressed_ = 0;
  std::uint64_t uncompressed_ = 0;
  uLong crc_ = 0;
  std::vector<format::CentralEntry> entries_;
};

// Workers pay off only once there is more than a block or two to share out, and stored data has
// nothing to share; until then, and when the system offers one core, blocks are done here.
void ArchiveWriter::Submit(DataBlock& block) {
  submitted_ += block.Size();
  if (!workers_ && settings_.level > 0 && submitted_ > kParallelFrom) {
    const unsigned cores = std::thread::hardware_concurrency();
    if (cores > 1) {
      workers_ = std::make_unique<DeflateWorkers>(settings_.level, cores);
      if (workers_->Count() == 0) workers_.reset();
    }
  }
  if (workers_) {
    workers_->Submit(block);
    return;
  }
  deflater_.Compress(block);
  block.done = true;
}

void ArchiveWriter::AddAll(const std::vector<SourceEntry>& entries) {
  SourceReader reader(entries, settings_.level);
  for (;;) {
    const std::size_t limit = workers_ ? kBlocksPerWorker * workers_->Count() : 1;
    while (pieces_.size() < limit && !reader.AtEnd()) {
      pieces_.push_back(reader.Read());
      if (pieces_.back().block) Submit(*pieces_.back().block);
    }
    if (pieces_.empty()) return;
    Take(pieces_.front());
    pieces_.pop_front();
  }
}

void ArchiveWriter::Take(Piece& piece) {
  if (!piece.block) {
    AddFolder(piece.source->path, piece.source->storedName);
    return;
  }
  if (piece.begins) BeginFile(*piece.source, piece.size);
  DataBlock& block = *piece.block;
  if (workers_) workers_->Wait(block);
  if (block.error) std::rethrow_exception(block.error);
  Emit(block.output.data(), block.output.size());
  crc_ = ::crc32_combine(crc_, block.crc, static_cast<z_off_t>(block.Size()));
  uncompressed_ += block.Size();
  progress_.BytesDone(static_cast<std::int64_t>(block.Size()));
  if (block.last) EndFile();
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

void ArchiveWriter::BeginFile(const SourceEntry& source, std::uint64_t size) {
  progress_.FileBegins(source.path);
  const bool deflated = settings_.level > 0;
  const bool encrypted = settings_.encrypt;
  const bool zip64 = size >= kMax32 || LargestStoredSize(size, deflated, encrypted) >= kMax32;

  source_ = &source;
  entry_ = NewEntry(source.path, source.storedName);
  if (deflated) entry_.flags |= LevelFlags(settings_.level);
  // Encrypted data goes out before its CRC is known, so the check byte of the encryption header
  // comes from the time and the CRC follows the data, as a data descriptor says.
  if (encrypted) entry_.flags |= format::kFlagEncrypted | format::kFlagDataDescriptor;
  entry_.method = deflated ? format::kMethodDeflated : format::kMethodStored;
  entry_.versionNeeded = zip64                   ? format::kVersionZip64
                         : deflated || encrypted ? format::kVersionDeflated
                                                 : format::kVersionStored;
  entry_.versionMadeBy = kMadeOnUnix | entry_.versionNeeded;
  entry_.externalAttributes = kFileAttributes;
  entry_.sizesInZip64 = zip64;
  WriteLocalHeader(entry_);

  compressed_ = 0;
  uncompressed_ = 0;
  crc_ = ::crc32(0, nullptr, 0);
  crypto_.reset();
  if (encrypted) {
    crypto_ = std::make_unique<ZipCrypto>(settings_.password);
    char encryptionHeader[format::kEncryptionHeaderSize];
    for (std::size_t i = 0; i + 1 < sizeof encryptionHeader; ++i)
      encryptionHeader[i] = static_cast<char>(random_());
    encryptionHeader[sizeof encryptionHeader - 1] = static_cast<char>(entry_.modified.time >> 8);
    Emit(encryptionHeader, sizeof encryptionHeader);
  }
}

void ArchiveWriter::EndFile() {
  format::CentralEntry& entry = entry_;
  const bool zip64 = entry.sizesInZip64;
  if (!zip64 && (compressed_ >= kMax32 || uncompressed_ >= kMax32))
    Fail(ZipError::kSourceChanged, "Cannot zip '" + source_->path + "': it grew while it was being zipped");

  entry.crc = static_cast<std::uint32_t>(crc_);
  entry.compressedSize = compressed_;
  entry.uncompressedSize = uncompressed_;
  if (settings_.encrypt) {
    format::Bytes descriptor;
    descriptor.U32(format::kDataDescriptorSignature).U32(entry.crc);
    if (zip64)
      descriptor.U64(compressed_).U64(uncompressed_);
    else
      descriptor.U32(compressed_).U32(uncompressed_);
    Write(descriptor.Data());
  } else {
    const auto headerAt = static_cast<std::int64_t>(entry.localHeaderOffset);
    format::Bytes sizes;
    sizes.U32(entry.crc).U32(zip64 ? kMax32 : compressed_).U32(zip64 ? kMax32 : uncompressed_);
    out_.WriteAt(headerAt + 14, sizes.Data().data(), sizes.Size());
    if (zip64) {
      format::Bytes zip64Sizes;
      zip64Sizes.U64(uncompressed_).U64(compressed_);
      out_.WriteAt(headerAt + static_cast<std::int64_t>(format::kLocalHeaderSize + entry.name.size() + 4),
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
  ProgressReporter progress(handler, settings.cancelled);
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
    writer.AddAll(entries);
    writer.Finish();
    out.Commit();
  });
}

}  // namespace carvex::zipkit
