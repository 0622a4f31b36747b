#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace carvex::platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Paths are UTF-8 throughout; the Windows implementation converts at the API boundary.

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
// A file that holds bytes: not a folder, device or pipe (a link counts as what it names).
bool IsRegularFile(const std::string& path);
std::int64_t FileLength(const std::string& path);
void RemoveFile(const std::string& path);
// Removes the folder at `path` when it is empty; false when it is not (or cannot be removed).
bool RemoveEmptyFolder(const std::string& path);
// `path` made absolute against the current folder, with "." and ".." elements resolved; an
// absolute path only loses such elements.
std::string AbsolutePath(const std::string& path);
// The bytes a file holds, or for a folder those of every regular file in its tree (links are
// not followed).
std::int64_t TreeLength(const std::string& path);

// One entry that a walk of a folder's tree meets.
struct TreeEntry {
  enum class Kind {
    kFile,    // a regular file
    kFolder,  // a folder, walked in turn
    kLink,    // a symbolic link (or, on Windows, a junction) to anything, or to nothing
    kOther,   // a device, pipe or socket
  };
  Kind kind = Kind::kOther;
  // Relative to the folder walked, its elements joined by "/" on every system.
  std::string name;
  // The folder walked and the elements of `name`, in the platform's form.
  std::string path;
  std::int64_t size = 0;  // of a regular file
};

// Every entry below `folder`, not `folder` itself: a folder comes before what it holds, and the
// entries of a folder come in byte order of their names, so that a tree is listed the same
// way each time. Links are reported, never followed. Throws RuntimeError naming the folder
// that cannot be read.
std::vector<TreeEntry> ListTree(const std::string& folder);

// Whether `path` itself is a symbolic link (or, on Windows, a junction), whatever it names.
bool IsLink(const std::string& path);

// Which file or folder a path reaches, the same for each of its names (hard links, symbolic
// links, letter case, 8.3 names): the device and inode on POSIX systems, the volume serial
// number and file index on Windows.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
// nullopt when nothing can be reached there.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// `path` made absolute with every link along it resolved; nullopt when it leads nowhere.
std::optional<std::string> ResolvedPath(const std::string& path);

// The name under which the file system holds the last element of `path` (its long name on
// Windows, where `path` may use 8.3 elements). Hidden, system and folder entries count unless
// `kinds` asks for plain files only.
// Empty when there is no such entry, or when the element is a wildcard pattern.
std::optional<std::string> FindEntryName(const std::string& path);

// The names of the plain files directly in `folder`, as the file system stores them: regular
// files only, without hidden or system entries (nor, on POSIX systems, dot files). One read of
// the folder, whatever it holds. Empty when the folder cannot be read.
std::vector<std::string> ListPlainFiles(const std::string& folder);

// Deletes every file directly in `folder`; its subfolders and what they hold stay.
void RemoveFilesIn(const std::string& folder);

// The folder of the running executable, without a trailing separator unless it is a root:
// where the programs installed together (carvex beside verbhook) find each other.
// Throws RuntimeError when the system cannot tell.
std::string ExecutableFolder();

// The application folder, where the data files lie, without a trailing separator unless it
// is a root: the folder of the running executable; for a program installed on POSIX systems as
// <prefix>/bin/<program> beside an existing <prefix>/share/carvex, that folder instead.
// "." when the system cannot tell where the program lies.
std::string AppPath();

// Closes every File that is still open, ignoring errors; the objects stay valid and report
// IsOpen() == false afterwards.
void CloseAllFiles();
// How many File objects are open now.
std::size_t OpenFileCount();

// A file opened for binary reading or writing; closed by the destructor on every path.
class File {
public:
  // kCreate empties an existing file; kUpdate reads and writes from the start of the file in
  // place, creating it when missing and never truncating it.
  enum class Mode { kRead, kCreate, kUpdate };

  File() = default;
  File(const std::string& path, Mode mode);
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  bool IsOpen() const noexcept;
  // Reads up to `size` bytes; fewer only at the end of the file.
  std::size_t Read(void* buffer, std::size_t size);
  // Writes all `size` bytes or throws (a full disk included).
  void Write(const void* buffer, std::size_t size);
  void Write(std::string_view text) { Write(text.data(), text.size()); }
  void Close();

  // Copies up to `size` bytes from the current position of `from` to `to`, through `buffer`
  // where the system cannot copy between the files itself; fewer only at the end of `from`.
  friend std::size_t CopyBytes(File& from, File& to, std::size_t size, std::vector<char>& buffer);

// Creates (or replaces) the file at `path` holding `bytes`. On an error the file is removed
// before the error goes on: a script or list cut short would be taken for a whole one.
void WriteWholeFile(const std::string& path, std::string_view bytes);

private:
  std::string path_;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

std::size_t CopyBytes(File& from, File& to, std::size_t size, std::vector<char>& buffer);

// Creates (or replaces) the file at `path` holding `bytes`. On an error the file is removed
// before the error goes on: a script or list cut short would be taken for a whole one.
void WriteWholeFile(const std::string& path, std::string_view bytes);

}  // namespace carvex::platform
