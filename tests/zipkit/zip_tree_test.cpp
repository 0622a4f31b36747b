// Folders zipped with their trees, and links inside them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "platform/files.h"
#include "support/temp_dir.h"
#include "zip_test_support.h"
#include "zipkit/entry_names.h"
#include "zipkit/extract.h"
#include "zipkit/zip_component.h"

namespace carvex::zipkit {
namespace {

using carvex::test::PatternBytes;
using carvex::test::TempDir;
namespace fs = std::filesystem;

const std::string kNonAscii =
    "Gr\xC3\xBC\xC3\x9F"
    "e \xD0\xB4";

// `name` with "/" replaced by this system's separator.
std::string Native(std::string name) {
  std::replace(name.begin(), name.end(), '/', platform::kPathSeparator);
  return name;
}

// Photos holds a subfolder, an empty folder, a name outside ASCII and a name that extends the
// subfolder's ("2024 old.txt" sorts after all of "2024/"); other/empty holds a file.
void MakeTree(const TempDir& dir) {
  for (const char* folder : {"Photos/2024", "Photos/empty", "other/empty"}) dir.MakeFolder(Native(folder));
  dir.Write(Native("Photos/2024/a.jpg"), PatternBytes(300000, 1));
  dir.Write(Native("Photos/2024/" + kNonAscii), "named outside ASCII");
  dir.Write(Native("Photos/2024 old.txt"), "old");
  dir.Write(Native("other/empty/x.txt"), "x");
  dir.Write("notes.txt", "notes");
}

// Zips `names` below `dir` into `archive` there; returns the bytes that progress counted.
std::int64_t Zip(const TempDir& dir, const std::string& archive, const std::vector<std::string>& names) {
  std::int64_t counted = 0;
  ZipComponent zip;
  zip.SetProgressHandler([&](int kind, const std::string&, std::int64_t size) {
    if (kind == kBytesDone) counted += size;
  });
  zip.StartAddJob();
  zip.SetArchivePath(dir.File(Native(archive)));
  for (const std::string& name : names) zip.SourceFiles().AddItem(dir.File(Native(name)));
  zip.Add();
  return counted;
}

std::vector<std::string> EntryNames(const std::string& archive) {
  std::vector<std::string> names;
  for (const EntryInfo& entry : ListArchive(archive)) names.push_back(entry.name);
  return names;
}

TEST(ZipTree, AFolderIsStoredWithItsTreeNamedFromItsOwnName) {
  const std::vector<std::string> photos = {
      "Photos/",           "Photos/2024/",        "Photos/2024/" + kNonAscii,
      "Photos/2024/a.jpg", "Photos/2024 old.txt", "Photos/empty/"};
  const struct {
    const char* label;
    std::vector<std::string> sources;
    std::vector<std::string> names;
  } cases[] = {
      {"a folder", {"Photos"}, photos},
      {"a folder named with a separator at its end", {"Photos/"}, photos},
      {"a file and a folder",
       {"notes.txt", "Photos/2024"},
       {"notes.txt", "2024/", "2024/" + kNonAscii, "2024/a.jpg"}},
      {"two folders of one name",
       {"Photos/empty", "other/empty"},
       {"empty/", "empty (2)/", "empty (2)/x.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    MakeTree(dir);
    std::int64_t treeBytes = 0;
    for (const std::string& source : c.sources) treeBytes += platform::TreeLength(dir.File(Native(source)));
    EXPECT_EQ(Zip(dir, "out.zip", c.sources), treeBytes);
    EXPECT_EQ(EntryNames(dir.File("out.zip")), c.names);
  }
}

#ifndef _WIN32
// A link in a zipped folder is stored as the file it names when that file was chosen too, itself
// or within a chosen folder; links to folders, out of the selection or to nothing are left out,
// and so is a pipe, which no reader could finish.
TEST(ZipTree, LinksAreStoredOnlyAsFilesOfTheSelection) {
  TempDir dir;
  MakeTree(dir);
  dir.Write("secret.txt", "not chosen");
  const std::pair<const char*, std::string> links[] = {
      {"Photos/same folder", "2024 old.txt"},
      {"Photos/chosen file", "../notes.txt"},
      {"Photos/chosen folder", "../other/empty/x.txt"},
      {"Photos/absolute", dir.File("notes.txt")},
      {"Photos/not chosen", "../secret.txt"},
      {"Photos/dangling", "nowhere"},
      {"Photos/folder inside", "2024"},
      {"Photos/folder outside", ".."},
  };
  for (const auto& [name, target] : links) fs::create_symlink(target, dir.File(name));
  ASSERT_EQ(::mkfifo(dir.File("Photos/pipe").c_str(), 0600), 0);
  Zip(dir, "l.zip", {"Photos", "notes.txt", "other"});
  // The sizes show that the files named were stored, not the links.
  std::vector<std::pair<std::string, std::uint64_t>> stored;
  for (const EntryInfo& entry : ListArchive(dir.File("l.zip")))
    if (entry.name.starts_with("Photos/") && entry.name.find('/', 7) == std::string::npos && !entry.isFolder)
      stored.emplace_back(entry.name, entry.size);
  EXPECT_EQ(stored, (std::vector<std::pair<std::string, std::uint64_t>>{{"Photos/2024 old.txt", 3},
                                                                        {"Photos/absolute", 5},
                                                                        {"Photos/chosen file", 5},
                                                                        {"Photos/chosen folder", 1},
                                                                        {"Photos/same folder", 3}}));
}
#endif

}  // namespace
}  // namespace carvex::zipkit
