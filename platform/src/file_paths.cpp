#include <filesystem>
#include <system_error>

#include "platform/error.h"
#include "platform/files.h"

namespace carvex::platform {

namespace {

namespace fs = std::filesystem;

fs::path NativePath(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

[[noreturn]] void Fail(const std::string& what, const std::string& path, const std::error_code& code) {
  throw RuntimeError(code.value(), what + " '" + path + "': " + code.message());
}

}  // namespace

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code code;
  const fs::path absolute = fs::absolute(NativePath(path), code);
  if (code) return path;
  fs::path normal = absolute.lexically_normal();
  // "dir/." comes out as "dir/": a folder is named without its separator, a root keeps it.
  if (!normal.has_filename() && normal.has_relative_path()) normal = normal.parent_path();
  return Utf8(normal);
}

std::int64_t TreeLength(const std::string& path) {
  if (!IsDirectory(path)) return FileLength(path);
  std::int64_t total = 0;
  std::error_code code;
  // Links are counted as links: a tree that points outside itself is not measured there.
  fs::recursive_directory_iterator it(NativePath(path), code);
  if (code) Fail("Cannot list", path, code);
  for (const fs::recursive_directory_iterator end; it != end; it.increment(code)) {
    if (code) Fail("Cannot list", path, code);
    const fs::file_status status = it->symlink_status(code);
    if (code || !fs::is_regular_file(status)) continue;
    const std::uintmax_t size = it->file_size(code);
    if (code) Fail("Cannot read the length of", Utf8(it->path()), code);
    total += static_cast<std::int64_t>(size);
  }
  if (code) Fail("Cannot list", path, code);
  return total;
}

}  // namespace carvex::platform
