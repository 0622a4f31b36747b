#pragma once

#include <cstdint>
#include <string>

namespace carvex::test {

// A fresh folder under the system's temporary folder, removed with everything in it when
// the object goes. Paths are UTF-8 strings, as the product code takes them.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, without a trailing separator.
  const std::string& Path() const { return path_; }
  // The folder with its trailing separator, the form job fields hold.
  std::string Folder() const;
  std::string File(const std::string& name) const;

  void Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;
  // A file of `size` bytes that takes no disk space where the file system allows it.
  void MakeSparse(const std::string& name, std::int64_t size) const;
  void MakeFolder(const std::string& name) const;
  static bool Exists(const std::string& path);

private:
  std::string path_;
};

// Deterministic bytes that differ from piece to piece, so a swapped or dropped piece shows.
std::string PatternBytes(std::size_t size, std::uint32_t seed = 1);

std::string ReadFileBytes(const std::string& path);

}  // namespace carvex::test

namespace carvex::test {

// A Windows-style example path in this platform's form: "C:\data\x" stays as it is on
// Windows and becomes "/data/x" on POSIX systems.
std::string NativePath(const std::string& windowsPath);

}  // namespace carvex::test
