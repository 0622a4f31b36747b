#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace carvex::platform {

// File attribute bits, with the values Windows gives them.
inline constexpr std::uint32_t kAttributeReadOnly = 0x1;
inline constexpr std::uint32_t kAttributeHidden = 0x2;
inline constexpr std::uint32_t kAttributeSystem = 0x4;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeArchive = 0x20;

// The attributes of `path` (following a symbolic link); nullopt when they cannot be read,
// above all when nothing exists there. POSIX systems keep no such bits and derive them:
// directory = a folder; read-only = no write permission for anyone (owner, group, others);
// hidden = the name starts with "."; system and archive are never set.
std::optional<std::uint32_t> ReadFileAttributes(const std::string& path);

// Sets the read-only, hidden, system and archive bits of `path` to those in `attributes`.
// POSIX systems change only read-only: setting it clears every write permission bit,
// clearing it gives the owner write permission. Throws RuntimeError.
void WriteFileAttributes(const std::string& path, std::uint32_t attributes);

// What the folder that holds an entry says about it, read without opening the entry.
struct FileStatus {
  // As ReadFileAttributes gives them.
  std::uint32_t attributes = 0;
  // The size of a file whose contents could be read; nullopt for a folder and for an entry
  // that is no such file: POSIX systems refuse it for a socket and for a file this process
  // has no permission to read; Windows for a symbolic link that leads nowhere.
  std::optional<std::int64_t> size;
};

// The status of `path` (following a symbolic link); nullopt exactly when ReadFileAttributes
// gives nullopt. One query of the file system per path: a file on a share is not fetched, an
// antivirus does not scan it, and a program that holds it open is never refused access
// because of us.
std::optional<FileStatus> ReadFileStatus(const std::string& path);

// A point in time as Windows keeps file times: 100-nanosecond intervals since 1601-01-01 UTC.
using FileTime = std::int64_t;

struct FileTimes {
  // 0 where the file system keeps no creation time.
  FileTime creation = 0;
  FileTime lastAccess = 0;
  FileTime lastWrite = 0;
  friend bool operator==(const FileTimes&, const FileTimes&) = default;
};

FileTime CurrentFileTime();

// The times of `path`, a file or a folder. Throws RuntimeError.
FileTimes ReadFileTimes(const std::string& path);

// A file opened for writing (others may only read it meanwhile) so that its times can be
// read and set; closed by the destructor. A folder cannot be opened so.
// POSIX systems cannot set a creation time: Write leaves it as it is.
class FileTimesEditor {
 public:
  // Throws RuntimeError when the file cannot be opened for writing.
  explicit FileTimesEditor(const std::string& path);
  ~FileTimesEditor();
  FileTimesEditor(const FileTimesEditor&) = delete;
  FileTimesEditor& operator=(const FileTimesEditor&) = delete;

  // Both throw RuntimeError.
  FileTimes Read() const;
  void Write(const FileTimes& times);

 private:
  std::string path_;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace carvex::platform
