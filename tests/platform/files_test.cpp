#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/error.h"
#include "support/system_fixtures.h"
#include "support/temp_dir.h"

namespace carvex::platform {
namespace {

using test::TempDir;

TEST(File, WrittenBytesReadBackExactly) {
  TempDir dir;
  const std::string bytes = test::PatternBytes(300000, 7) + std::string("\0\r\n\x1a", 4);
  {
    File out(dir.File("data.bin"), File::Mode::kCreate);
    out.Write(bytes.data(), 1000);
    out.Write(bytes.data() + 1000, bytes.size() - 1000);
    out.Close();
  }
  EXPECT_EQ(FileLength(dir.File("data.bin")), static_cast<std::int64_t>(bytes.size()));
  File in(dir.File("data.bin"), File::Mode::kRead);
  std::string back(bytes.size() + 10, '\0');
  EXPECT_EQ(in.Read(back.data(), 100), 100u);
  EXPECT_EQ(in.Read(back.data() + 100, back.size() - 100), bytes.size() - 100);
  back.resize(bytes.size());
  EXPECT_EQ(back, bytes);
  EXPECT_EQ(in.Read(back.data(), 10), 0u);
}

TEST(File, CreateEmptiesAnExistingFile) {
  TempDir dir;
  dir.Write("f", std::string(1000, 'x'));
  File out(dir.File("f"), File::Mode::kCreate);
  out.Write("ab");
  out.Close();
  EXPECT_EQ(dir.Read("f"), "ab");
}

TEST(File, NonAsciiNamesAreUtf8) {
  TempDir dir;
  const std::string name = "Gr\xC3\xBC\xC3\x9F" "e \xD0\xB4 \xE6\x96\x87.txt";
  File out(dir.File(name), File::Mode::kCreate);
  out.Write("hello");
  out.Close();
  EXPECT_EQ(dir.Read(name), "hello");
  EXPECT_TRUE(PathExists(dir.File(name)));
  EXPECT_EQ(FindEntryName(dir.File(name)), name);
}

TEST(File, FailuresRaiseErrorsThatSayWhatFailed) {
  TempDir dir;
  const struct {
    const char* label;
    void (*action)(const TempDir&);
  } cases[] = {
      {"open missing", [](const TempDir& d) { File f(d.File("missing"), File::Mode::kRead); }},
      {"create in missing folder",
       [](const TempDir& d) { File f(d.File("nope") + kPathSeparator + "x", File::Mode::kCreate); }},
      {"length of missing", [](const TempDir& d) { FileLength(d.File("missing")); }},
      {"delete missing", [](const TempDir& d) { RemoveFile(d.File("missing")); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    try {
      c.action(dir);
      ADD_FAILURE() << "expected an error";
    } catch (const RuntimeError& e) {
      EXPECT_NE(e.Number(), 0);
      EXPECT_NE(e.Description().find(dir.Path()), std::string::npos) << e.Description();
      EXPECT_GT(e.Description().size(), dir.Path().size() + 20) << e.Description();
    }
  }
}

TEST(Files, ExistenceLengthAndRemoval) {
  TempDir dir;
  dir.Write("a.txt", "12345");
  dir.MakeFolder("sub");
  EXPECT_TRUE(PathExists(dir.File("a.txt")));
  EXPECT_FALSE(IsDirectory(dir.File("a.txt")));
  EXPECT_TRUE(PathExists(dir.File("sub")));
  EXPECT_TRUE(IsDirectory(dir.File("sub")));
  EXPECT_FALSE(PathExists(dir.File("b.txt")));
  EXPECT_FALSE(PathExists(""));
  EXPECT_EQ(FileLength(dir.File("a.txt")), 5);
  RemoveFile(dir.File("a.txt"));
  EXPECT_FALSE(PathExists(dir.File("a.txt")));
}

TEST(Files, LengthsAboveFourGigabytes) {
  TempDir dir;
  for (std::int64_t size : {(1LL << 31) - 1, 1LL << 31, (1LL << 32) - 1, 1LL << 32, (1LL << 32) + 1, 6LL << 30}) {
    dir.MakeSparse("big", size);
    EXPECT_EQ(FileLength(dir.File("big")), size);
  }
}

TEST(Files, FindEntryNameListsOneEntry) {
  TempDir dir;
  dir.Write("Report.doc", "x");
  dir.MakeFolder("Folder");
  EXPECT_EQ(FindEntryName(dir.File("Report.doc")), "Report.doc");
  EXPECT_EQ(FindEntryName(dir.File("Folder")), "Folder");
  EXPECT_EQ(FindEntryName(dir.File("missing")), std::nullopt);
  EXPECT_EQ(FindEntryName(dir.File("*.doc")), std::nullopt);
  EXPECT_EQ(FindEntryName(dir.File("Report.?oc")), std::nullopt);
}

TEST(Files, ListPlainFilesReadsOnlyRegularFiles) {
  TempDir dir;
  dir.Write("b.cvx", "b");
  dir.Write("A.cvx", "a");
  dir.MakeFolder("folder.cvx");
  std::vector<std::string> expected{"A.cvx", "b.cvx"};
#ifndef _WIN32
  dir.Write(".hidden", "h");
#endif
  test::MakePipe(dir.File("pipe.cvx"));  // where the system has them
  std::vector<std::string> names = ListPlainFiles(dir.Path());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, expected);
  EXPECT_FALSE(IsRegularFile(dir.File("folder.cvx")));
  EXPECT_FALSE(IsRegularFile(dir.File("pipe.cvx")));
  EXPECT_TRUE(IsRegularFile(dir.File("A.cvx")));
  EXPECT_TRUE(ListPlainFiles(dir.File("missing")).empty());
}

TEST(Files, TreeLengthCountsTheFilesOfAWholeTree) {
  TempDir dir;
  dir.Write("one", std::string(10, 'x'));
  dir.MakeFolder("sub");
  dir.MakeFolder(std::string("sub") + kPathSeparator + "deeper");
  dir.Write(std::string("sub") + kPathSeparator + "two", std::string(200, 'x'));
  dir.Write(std::string("sub") + kPathSeparator + "deeper" + kPathSeparator + "three", std::string(3000, 'x'));
  EXPECT_EQ(TreeLength(dir.File("one")), 10);
  EXPECT_EQ(TreeLength(dir.Path()), 3210);
  EXPECT_THROW(TreeLength(dir.File("missing")), RuntimeError);
}

// Every name of one file reaches its identity; the resolved path is a plain absolute one.
TEST(Files, IdentityIsTheFilesWhateverNameReachesIt) {
  TempDir dir;
  dir.Write("a.txt", "same bytes");
  dir.Write("b.txt", "same bytes");
  dir.MakeFolder("sub");
  std::filesystem::create_hard_link(dir.File("a.txt"), dir.File("hard.txt"));
  const std::string roundabout =
      dir.File(std::string("sub") + kPathSeparator + ".." + kPathSeparator + "a.txt");
  const std::optional<FileIdentity> a = IdentityOf(dir.File("a.txt"));
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(IdentityOf(dir.File("hard.txt")), a);
  EXPECT_EQ(IdentityOf(roundabout), a);
  EXPECT_NE(IdentityOf(dir.File("b.txt")), a);
  EXPECT_EQ(IdentityOf(dir.File("missing")), std::nullopt);
  const std::optional<std::string> resolved = ResolvedPath(roundabout);
  ASSERT_TRUE(resolved.has_value());
  EXPECT_TRUE(resolved->find("..") == std::string::npos && !resolved->starts_with("\\\\?\\")) << *resolved;
  EXPECT_EQ(IdentityOf(*resolved), a);
}

#ifndef _WIN32
// The kernel's copy cannot tell a failing read from a failing write; the error must name the
// file that failed, here the source, which cannot be read as bytes.
TEST(Files, ACopyThatCannotReadNamesItsSource) {
  TempDir dir;
  dir.MakeFolder("not bytes");
  File from(dir.File("not bytes"), File::Mode::kRead);
  File to(dir.File("out"), File::Mode::kCreate);
  std::vector<char> buffer;
  try {
    CopyBytes(from, to, 100, buffer);
    ADD_FAILURE() << "expected an error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Description().rfind("Cannot read '" + dir.File("not bytes") + "'", 0), 0u) << e.Description();
  }
}
#endif

TEST(Files, AppPathIsTheFolderOfTheProgram) {
  // The build puts the shipped data files beside every program, tests included.
  const std::string app = AppPath();
  ASSERT_FALSE(app.empty());
  EXPECT_NE(app.back(), kPathSeparator);
  EXPECT_TRUE(PathExists(app + kPathSeparator + "License.txt")) << app;
}

}  // namespace
}  // namespace carvex::platform
