#include <algorithm>
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

namespace {

// Calls `visit` for every entry below `folder`, in the order the file system lists them.
// Links are never followed: on Windows the library takes a junction for the folder it names,
// so IsLink, which knows better, decides before the walk could descend.
template <typename Visit>
void WalkTree(const std::string& folder, Visit&& visit) {
  std::error_code code;
  fs::recursive_directory_iterator it(NativePath(folder), code);
  if (code) Fail("Cannot list", folder, code);
  // The names of the folders above the current entry, by depth.
  std::vector<std::string> folders;
  for (const fs::recursive_directory_iterator end; it != end;) {
    TreeEntry entry;
    entry.path = Utf8(it->path());
    const std::string leaf = Utf8(it->path().filename());
    const auto depth = static_cast<std::size_t>(it.depth());
    folders.resize(depth);
    entry.name = depth == 0 ? leaf : folders.back() + "/" + leaf;
    if (IsLink(entry.path)) {
      entry.kind = TreeEntry::Kind::kLink;
      it.disable_recursion_pending();
    } else {
      // An entry that went between the listing and this look counts as none of the kinds.
      const fs::file_status status = it->symlink_status(code);
      if (code) {
        code.clear();
      } else if (fs::is_directory(status)) {
        entry.kind = TreeEntry::Kind::kFolder;
        folders.push_back(entry.name);
      } else if (fs::is_regular_file(status)) {
        entry.kind = TreeEntry::Kind::kFile;
        const std::uintmax_t size = it->file_size(code);
        if (code) Fail("Cannot read the length of", entry.path, code);
        entry.size = static_cast<std::int64_t>(size);
      }
    }
    // The next step enters this folder, or reads on in the one that holds this entry.
    const std::string next =
        entry.kind == TreeEntry::Kind::kFolder ? entry.path : Utf8(it->path().parent_path());
    visit(std::move(entry));
    it.increment(code);
    if (code) Fail("Cannot list", next, code);
  }
}

// Byte order with "/" first, which compares names element by element: "a" and everything
// below it come before "a b".
bool ComesBefore(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto rank = [](char c) { return c == '/' ? -1 : static_cast<int>(static_cast<unsigned char>(c)); };
    return rank(x) < rank(y);
  });
}

}  // namespace

std::int64_t TreeLength(const std::string& path) {
  if (!IsDirectory(path)) return FileLength(path);
  std::int64_t total = 0;
  // Links are counted as links: a tree that points outside itself is not measured there.
  WalkTree(path, [&total](TreeEntry entry) {
    if (entry.kind == TreeEntry::Kind::kFile) total += entry.size;
  });
  return total;
}

std::vector<TreeEntry> ListTree(const std::string& folder) {
  std::vector<TreeEntry> entries;
  WalkTree(folder, [&entries](TreeEntry entry) { entries.push_back(std::move(entry)); });
  std::sort(entries.begin(), entries.end(),
            [](const TreeEntry& a, const TreeEntry& b) { return ComesBefore(a.name, b.name); });
  return entries;
}

}  // namespace carvex::platform
