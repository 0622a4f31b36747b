#include "summary.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "handoff.h"
#include "platform/file_info.h"
#include "support/system_fixtures.h"
#include "verbhook_test.h"

namespace carvex {
namespace {

using namespace platform;

class SummaryTest : public test::VerbhookTest {
 protected:
  std::string MakeFile(const std::string& name, std::size_t size) {
    files_.Write(name, std::string(size, 'x'));
    return files_.File(name);
  }
};

TEST(FormatThousands, PutsAFullStopBeforeEachGroupOfThree) {
  const std::pair<std::uint64_t, std::string> cases[] = {
      {0, "0"},
      {999, "999"},
      {1000, "1.000"},
      {999999, "999.999"},
      {1234567, "1.234.567"},
      {18446744073709551615u, "18.446.744.073.709.551.615"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatThousands(value), text);
}

// POSIX systems have no archive or system bit and mark a hidden file by its leading dot.
TEST_F(SummaryTest, SingleFileShowsItsMarksAndSize) {
  const std::tuple<std::string, std::uint32_t, std::size_t, std::string, std::string> cases[] = {
      // name on Windows (a dot is added on POSIX when hidden), attributes, size, texts
      {"arc", kAttributeArchive, 1234567, "a--- 1.234.567 bytes", "---- 1.234.567 bytes"},
      {"rhs", kAttributeReadOnly | kAttributeHidden | kAttributeSystem, 5, "-whs 5 bytes", "-wh- 5 bytes"},
      {"empty", kAttributeArchive, 0, "a--- 0 bytes", "---- 0 bytes"},
  };
  for (const auto& [name, attributes, size, windowsText, posixText] : cases) {
    SCOPED_TRACE(name);
    // Wine reports every plain file as archived, whatever was set.
    if (test::RunningUnderWine() && !(attributes & kAttributeArchive)) continue;
    const std::string path =
        MakeFile((attributes & kAttributeHidden) && !OnWindows() ? "." + name : name, size);
    WriteFileAttributes(path, attributes);
    Select({path});
    UpdateSummary(0);
    EXPECT_EQ(ReadSelectionSummary(), OnWindows() ? windowsText : posixText);
    WriteFileAttributes(path, 0);  // so that the folder can be removed
  }
}

TEST_F(SummaryTest, SelectionsWithFoldersAndUnreadableFiles) {
  const std::string a = MakeFile("a", 1000), b = MakeFile("b", 1000), c = MakeFile("c", 1000);
  const std::string ten = MakeFile("ten", 10);
  files_.MakeFolder("f1");
  files_.MakeFolder("f2");
  const std::string f1 = files_.File("f1"), f2 = files_.File("f2"), gone = files_.File("gone");
  const auto unreadable = test::MakeUnreadableEntry(files_.File("unreadable"));
  ASSERT_TRUE(unreadable);
  const std::string locked = files_.File("unreadable");
  // Windows: a file that another program holds open, sharing nothing, is described from its
  // folder's entry; opening it would fail, and opening a file that a program writes can make
  // that program fail. POSIX: nobody can open a socket as a file.
  const std::string lockedText = OnWindows() ? "a--- 0 bytes" : "Can not read info on file";

  const std::tuple<std::vector<std::string>, std::string> cases[] = {
      {{f1}, "This is a directory"},
      {{gone}, "Can not read info on file"},  // no attributes to read: not called a folder
      {{locked}, lockedText},
      {{a, b, c}, "3 files, 3.000 bytes"},
      {{f1, ten, f2}, "2+1, 10 bytes"},
      {{ten, gone}, "2 files, 10 bytes"},
      {{a, locked, ten}, "3 files, 1.010 bytes"},
  };
  for (const auto& [selection, text] : cases) {
    Select(selection);
    UpdateSummary(selection.size() == 1 ? 0 : selection.size());
    EXPECT_EQ(ReadSelectionSummary(), text) << selection.front();
  }
}

// A symbolic link has no size of its own: the file it leads to is described. A link that leads
// nowhere has no attributes to read, and is described as a file that cannot be read.
TEST_F(SummaryTest, LinksAreDescribedByWhatTheyLeadTo) {
  namespace fs = std::filesystem;
  const auto path = [](const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); };
  const std::string target = MakeFile("target", 1234);
  std::error_code error;
  fs::create_symlink(path(target), path(files_.File("link")), error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  fs::create_symlink(path(files_.File("missing")), path(files_.File("dangling")), error);
  ASSERT_FALSE(error) << error.message();
  Select({files_.File("link")});
  EXPECT_TRUE(SummarizeSelection(0).ends_with(" 1.234 bytes")) << SummarizeSelection(0);
  Select({files_.File("dangling")});
  EXPECT_EQ(SummarizeSelection(0), "Can not read info on file");
  Select({files_.File("link"), files_.File("dangling"), target});
  EXPECT_EQ(SummarizeSelection(3), "3 files, 2.468 bytes");
}

// The whole size is shown, not its low 32 bits (which would read 1.073.741.824 here).
TEST_F(SummaryTest, SizesAbove4GiBAreShownInFull) {
  files_.MakeSparse("big", std::int64_t{5} << 30);
  files_.MakeSparse("big2", std::int64_t{5} << 30);
  WriteFileAttributes(files_.File("big"), kAttributeArchive);
  Select({files_.File("big")});
  EXPECT_EQ(SummarizeSelection(0), OnWindows() ? "a--- 5.368.709.120 bytes" : "---- 5.368.709.120 bytes");
  Select({files_.File("big"), files_.File("big2")});
  EXPECT_EQ(SummarizeSelection(2), "2 files, 10.737.418.240 bytes");
}

}  // namespace
}  // namespace carvex
