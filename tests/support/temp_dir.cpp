#include "support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/files.h"

namespace carvex::test {

namespace fs = std::filesystem;

namespace {

fs::path FromUtf8(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

std::string ToUtf8(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

}  // namespace

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    fs::path candidate = fs::temp_directory_path() /
                         ("carvex-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    if (fs::create_directory(candidate)) {
      path_ = ToUtf8(candidate);
      break;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(FromUtf8(path_), ignored);
}

std::string TempDir::Folder() const { return path_ + platform::kPathSeparator; }

std::string TempDir::File(const std::string& name) const { return Folder() + name; }

void TempDir::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream out(FromUtf8(File(name)), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write test file " + name);
}

std::string TempDir::Read(const std::string& name) const { return ReadFileBytes(File(name)); }

void TempDir::MakeSparse(const std::string& name, std::int64_t size) const {
  Write(name, "");
  fs::resize_file(FromUtf8(File(name)), static_cast<std::uintmax_t>(size));
}

bool TempDir::Exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(FromUtf8(path), ignored);
}

void TempDir::MakeFolder(const std::string& name) const { fs::create_directories(FromUtf8(File(name))); }

std::string PatternBytes(std::size_t size, std::uint32_t seed) {
  std::string out(size, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (char& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return out;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(FromUtf8(path), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read test file " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace carvex::test

namespace carvex::test {

std::string NativePath(const std::string& windowsPath) {
  if (platform::kPathSeparator == '\\') return windowsPath;
  std::string path = windowsPath;
  if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') path = path.substr(2);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

}  // namespace carvex::test
