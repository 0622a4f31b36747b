#pragma once

// File access that archives need beyond File: reading and writing at given offsets, claiming a
// name only while it is free, file times in the form archives keep them, and the program's own
// path (a self-extracting program reads the archive appended to itself).

#include <cstddef>
#include <cstdint>
#include <string>

namespace carvex::platform {

// A moment in the local time zone, to the second; months and days count from 1.
struct LocalTime {
  int year = 1980;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

LocalTime FileModificationTime(const std::string& path);
void SetFileModificationTime(const std::string& path, const LocalTime& time);

// Lets everyone who may read `path` run it. Windows runs a program by its name, so there this
// does nothing.
void MakeExecutable(const std::string& path);

// Gives the file `from` the name `to`, replacing a file (never a folder) of that name.
void RenameReplacing(const std::string& from, const std::string& to);

// Full path of the running program.
std::string ExecutablePath();

// A binary file read and written at explicit offsets; closed by the destructor on every path.
// Reads and writes go through the test seam like those of File.
class SeekableFile {
 public:
  // kCreate empties an existing file.
  enum class Mode { kRead, kCreate };

  SeekableFile() = default;
  SeekableFile(const std::string& path, Mode mode);
  SeekableFile(SeekableFile&& other) noexcept;
  SeekableFile& operator=(SeekableFile&& other) noexcept;
  SeekableFile(const SeekableFile&) = delete;
  SeekableFile& operator=(const SeekableFile&) = delete;
  ~SeekableFile();

  // Creates `path` for writing only if nothing of that name exists; false, with nothing opened,
  // when something does. Checking and creating are one step, so two writers never share a name.
  bool CreateNew(const std::string& path);

  bool IsOpen() const noexcept;
  const std::string& Path() const noexcept { return path_; }
  std::int64_t Size() const;
  // Reads up to `size` bytes at `offset`; fewer only at the end of the file.
  std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t size);
  // Writes all `size` bytes at `offset` or throws (a full disk included).
  void WriteAt(std::int64_t offset, const void* buffer, std::size_t size);
  void Close();

 private:
  void Release() noexcept;

  std::string path_;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace carvex::platform
