#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zipkit/extract.h"
#include "zipkit/progress.h"

namespace carvex::zipkit {

// A list of file paths with the add-item operation the application fills it through.
class SourceList {
 public:
  void AddItem(std::string path) { items_.push_back(std::move(path)); }
  void Clear() { items_.clear(); }
  std::size_t Count() const { return items_.size(); }
  const std::string& Item(std::size_t index) const { return items_.at(index); }
  const std::vector<std::string>& Items() const { return items_; }

 private:
  std::vector<std::string> items_;
};

// The zip component the application drives: every call is synchronous, reports progress
// through the handler while it works, and raises platform::RuntimeError (numbered by ZipError,
// or by the OS for the OS's failures) with a description naming what failed and on which file.
//
// Add writes a new archive at ArchivePath with each source stored under its own name without
// the folders above it; names that clash (ignoring case) are all kept, the later ones numbered
// "name (2).ext". A folder brings its whole tree, named from its own name down
// ("Photos/2024/a.jpg"), each folder with an entry of its own; inside it, a link is stored as the
// file it names only when that file is among the sources or in one of their folders, and is
// left out otherwise. Level 0 stores, 1 to 9 deflate; Encrypt uses the traditional zip
// encryption with Password. ZIP64 records appear only where an entry or the archive passes
// 4 GiB or 65,535 entries. A file already at ArchivePath is replaced only by a complete archive:
// a failed Add leaves it as it was and no archive behind, and a source that is that file (by
// any name) is zipped from its old content. No source is ever written to.
//
// Convert writes stub + settings + archive as a self-extracting program beside the archive
// (".zip" replaced by ".exe"), its offsets corrected so zip tools still read it; the archive
// stays, even when the program's name already reaches it. A relative stub path is looked up in
// the application's folder.
//
// Extract unpacks the archive at ArchivePath into the folder that holds it, recreating the
// entries' folders. It writes nothing when any entry would land outside that folder, when
// entries share bytes of the file, when the archive claims more than its file holds, or when
// its entries need more than the volume's free space (ExtractArchive tells the details). A file
// that exists already is never overwritten: the entry is written under the first free name
// "name (2).ext", "name (3).ext", ..., and the kFileBegins event names the file actually
// written. Encrypted entries are opened with Password; sizes and CRC-32 are checked, and a
// failed entry leaves no partial file.
class ZipComponent {
 public:
  int CompressionLevel() const { return compressionLevel_; }
  // 0 to 9; anything else raises an error and keeps the level.
  void SetCompressionLevel(int level);

  // Starts a new add job: the source list is emptied, so it holds only this job's files.
  void StartAddJob() { sourceFiles_.Clear(); }

  bool Encrypt() const { return encrypt_; }
  void SetEncrypt(bool encrypt) { encrypt_ = encrypt; }
  const std::string& Password() const { return password_; }
  void SetPassword(std::string password) { password_ = std::move(password); }
  const std::string& ArchivePath() const { return archivePath_; }
  void SetArchivePath(std::string path) { archivePath_ = std::move(path); }
  SourceList& SourceFiles() { return sourceFiles_; }
  const SourceList& SourceFiles() const { return sourceFiles_; }
  const std::string& SfxStubPath() const { return sfxStubPath_; }
  void SetSfxStubPath(std::string path) { sfxStubPath_ = std::move(path); }

  void Add();
  void Convert();
  // What was written, and under which names entries this system cannot hold went.
  ExtractResult Extract();

  void SetProgressHandler(ProgressHandler handler) { progress_ = std::move(handler); }
  // Asked after each progress report of Add and Extract: true stops the job, which then
  // leaves nothing of what it wrote.
  void SetCancelCheck(CancelCheck cancelled) { cancelled_ = std::move(cancelled); }

  // Carried into the self-extracting programs that Convert writes.
  const std::string& SfxOverwriteMode() const { return sfxOverwriteMode_; }
  void SetSfxOverwriteMode(std::string mode) { sfxOverwriteMode_ = std::move(mode); }
  const std::string& SfxCaption() const { return sfxCaption_; }
  void SetSfxCaption(std::string caption) { sfxCaption_ = std::move(caption); }

  // Part of the configuration the application sets up; this component never asks the user
  // anything, logs nothing and spans no disks, so they change nothing.
  bool Verbose() const { return verbose_; }
  void SetVerbose(bool verbose) { verbose_ = verbose; }
  bool Trace() const { return trace_; }
  void SetTrace(bool trace) { trace_ = trace; }
  bool Unattended() const { return unattended_; }
  void SetUnattended(bool unattended) { unattended_ = unattended; }
  std::int64_t KeepFreeOnDisk1() const { return keepFreeOnDisk1_; }
  void SetKeepFreeOnDisk1(std::int64_t bytes) { keepFreeOnDisk1_ = bytes; }

 private:
  int compressionLevel_ = 9;
  bool encrypt_ = false;
  std::string password_;
  std::string archivePath_;
  SourceList sourceFiles_;
  std::string sfxStubPath_ = "ZipSFX.bin";
  std::string sfxOverwriteMode_ = "OvrConfirm";
  std::string sfxCaption_ = "Self-extracting Archive";
  bool verbose_ = false;
  bool trace_ = false;
  bool unattended_ = false;
  std::int64_t keepFreeOnDisk1_ = 0;
  ProgressHandler progress_;
  CancelCheck cancelled_;
};

}  // namespace carvex::zipkit
