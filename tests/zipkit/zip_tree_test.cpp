// Folders zipped with their trees, links inside them, and archives that are one of their own
// sources.
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

fs::path FsPath(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

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

// Each case zips into an archive that is also a source: under its own name, through a hard
// link, or inside a folder that is zipped. The old archive comes back whole from the new one,
// and its other name keeps its bytes.
TEST(ZipTree, AnArchiveThatIsOneOfItsSourcesIsZippedFromItsOldContent) {
  const struct {
    const char* label;
    std::string old;   // where the old archive lies
    std::string link;  // a hard link to it, when not empty
    std::vector<std::string> sources;
    std::string archive;
    std::string entry;  // the entry that holds the old archive
  } cases[] = {
      {"the same name", "old.zip", "", {"old.zip", "notes.txt"}, "old.zip", "old.zip"},
      {"a hard link to it", "old.zip", "link.zip", {"old.zip"}, "link.zip", "old.zip"},
      {"inside a zipped folder", "Photos/old.zip", "", {"Photos"}, "Photos/old.zip", "Photos/old.zip"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    MakeTree(dir);
    Zip(dir, c.old, {"Photos/2024/a.jpg"});
    const std::string oldBytes = dir.Read(Native(c.old));
    if (!c.link.empty()) fs::create_hard_link(FsPath(dir.File(c.old)), FsPath(dir.File(c.link)));
    Zip(dir, c.archive, c.sources);
    TempDir out;
    ExtractOptions options;
    options.folder = out.Path();
    ExtractArchive(dir.File(Native(c.archive)), options);
    EXPECT_TRUE(out.Read(Native(c.entry)) == oldBytes);
    EXPECT_FALSE(fs::exists(FsPath(out.File(Native(c.entry + ".part")))));
    if (!c.link.empty()) {
      EXPECT_TRUE(dir.Read(c.old) == oldBytes);
    }
  }
}

// The program's name may already reach the archive; Convert reads it to the end before that
// name changes hands, and the program unpacks the whole tree.
TEST(ZipTree, ConvertKeepsAnArchiveThatHasTheProgramsNameAndTheProgramUnpacksTheTree) {
  TempDir dir;
  MakeTree(dir);
  Zip(dir, "Setup.zip", {"Photos"});
  const std::string archive = dir.Read("Setup.zip");
  fs::create_hard_link(FsPath(dir.File("Setup.zip")), FsPath(dir.File("Setup.exe")));
  ZipComponent zip;
  zip.SetArchivePath(dir.File("Setup.zip"));
  zip.SetSfxStubPath(JoinPath(platform::AppPath(), "ZipSFX.bin"));
  zip.Convert();
  EXPECT_TRUE(dir.Read("Setup.zip") == archive);
  const test::ProgramRun run = test::RunProgram(dir.File("Setup.exe"), {"-d", dir.File("out")});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(dir.Read(Native("out/Photos/2024/a.jpg")) == dir.Read(Native("Photos/2024/a.jpg")));
  EXPECT_EQ(dir.Read(Native("out/Photos/2024/" + kNonAscii)), "named outside ASCII");
  EXPECT_TRUE(platform::IsDirectory(dir.File(Native("out/Photos/empty"))));
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
