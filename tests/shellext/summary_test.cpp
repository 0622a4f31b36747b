#include "summary.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "handoff.h"
#include "platform/file_info.h"
#include "system_fixtures.h"
#include "verbhook_test.h"

namespace carvex {
namespace {

using platform::kAttributeArchive;
using platform::kAttributeHidden;
using platform::kAttributeReadOnly;
using platform::kAttributeSystem;
using test::VerbhookTest;

class SummaryTest : public VerbhookTest {
 protected:
  std::string MakeFile(const std::string& name, std::size_t size) {
    files_.Write(name, std::string(size, 'x'));
    return files_.File(name);
  }
};

TEST(FormatThousands, PutsAFullStopBeforeEachGroupOfThree) {
  const std::pair<std::uint64_t, std::string> cases[] = {
      {0, "0"},
      {5, "5"},
      {999, "999"},
      {1000, "1.000"},
      {12345, "12.345"},
      {999999, "999.999"},
      {1000000, "1.000.000"},
      {1234567, "1.234.567"},
      {4294967295u, "4.294.967.295"},
      {4294967296u, "4.294.967.296"},
      {std::numeric_limits<std::uint64_t>::max(), "18.446.744.073.709.551.615"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatThousands(value), text);
}

// The attribute marks come from the system's own attributes. POSIX systems have no archive or
// system bit and show a hidden file by its leading dot, so their texts differ there.
TEST_F(SummaryTest, SingleFileShowsItsMarksAndSize) {
  struct Case {
    std::string windowsName, posixName;
    std::uint32_t attributes;
    std::size_t size;
    std::string windowsText, posixText;
  };
  const Case cases[] = {
      {"archived.bin", "archived.bin", kAttributeArchive, 1234567, "a--- 1.234.567 bytes",
       "---- 1.234.567 bytes"},
      {"rhs.bin", ".rhs.bin", kAttributeReadOnly | kAttributeHidden | kAttributeSystem, 5, "-whs 5 bytes",
       "-wh- 5 bytes"},
      {"empty.bin", "empty.bin", kAttributeArchive, 0, "a--- 0 bytes", "---- 0 bytes"},
      {"plain.bin", "plain.bin", 0, 999, "---- 999 bytes", "---- 999 bytes"},
      {"all.bin", ".all.bin", kAttributeArchive | kAttributeReadOnly | kAttributeHidden | kAttributeSystem,
       1000, "awhs 1.000 bytes", "-wh- 1.000 bytes"},
  };
  for (const Case& c : cases) {
    const std::string& name = OnWindows() ? c.windowsName : c.posixName;
    SCOPED_TRACE(name);
    // Wine reports every plain file as archived, whatever was set.
    if (test::RunningUnderWine() && !(c.attributes & kAttributeArchive)) continue;
    const std::string path = MakeFile(name, c.size);
    platform::WriteFileAttributes(path, c.attributes);
    Select({path});
    UpdateSummary(0);
    EXPECT_EQ(ReadSelectionSummary(), OnWindows() ? c.windowsText : c.posixText);
    platform::WriteFileAttributes(path, 0);  // so that the folder can be removed
  }
}

TEST_F(SummaryTest, SingleItemThatIsNoReadableFile) {
  files_.MakeFolder("folder");
  Select({files_.File("folder")});
  EXPECT_EQ(SummarizeSelection(0), "This is a directory");
  // What no longer exists has no attributes, and so passes the folder test.
  Select({files_.File("gone.txt")});
  EXPECT_EQ(SummarizeSelection(0), "This is a directory");

  const auto unreadable = test::MakeUnreadableEntry(files_.File("unreadable"));
  if (!unreadable) GTEST_SKIP() << "no way to make an unreadable file here";
  Select({files_.File("unreadable")});
  EXPECT_EQ(SummarizeSelection(0), "Can not read info on file");
}

TEST_F(SummaryTest, SeveralItemsShowCountsAndTotal) {
  const std::string a = MakeFile("a", 1000), b = MakeFile("b", 1000), c = MakeFile("c", 1000);
  const std::string ten = MakeFile("ten", 10);
  files_.MakeFolder("f1");
  files_.MakeFolder("f2");
  const std::string f1 = files_.File("f1"), f2 = files_.File("f2");

  Select({a, b, c});
  UpdateSummary(3);
  EXPECT_EQ(ReadSelectionSummary(), "3 files, 3.000 bytes");

  Select({f1, ten, f2});
  UpdateSummary(3);
  EXPECT_EQ(ReadSelectionSummary(), "2+1, 10 bytes");

  // A path that vanished counts as a folder and adds nothing.
  Select({ten, files_.File("gone")});
  EXPECT_EQ(SummarizeSelection(2), "1+1, 10 bytes");

  const auto unreadable = test::MakeUnreadableEntry(files_.File("unreadable"));
  if (!unreadable) GTEST_SKIP() << "no way to make an unreadable file here";
  Select({a, files_.File("unreadable"), ten});
  EXPECT_EQ(SummarizeSelection(3), "3 files, 1.010 bytes");
}

// The whole size is shown, not its low 32 bits (which would read 1.073.741.824 here).
TEST_F(SummaryTest, SizesAbove4GiBAreShownInFull) {
  constexpr std::int64_t kFiveGiB = std::int64_t{5} << 30;
  files_.MakeSparse("big.bin", kFiveGiB);
  files_.MakeSparse("big2.bin", kFiveGiB);
  platform::WriteFileAttributes(files_.File("big.bin"), kAttributeArchive);
  Select({files_.File("big.bin")});
  EXPECT_EQ(SummarizeSelection(0), OnWindows() ? "a--- 5.368.709.120 bytes" : "---- 5.368.709.120 bytes");
  Select({files_.File("big.bin"), files_.File("big2.bin")});
  EXPECT_EQ(SummarizeSelection(2), "2 files, 10.737.418.240 bytes");
}

}  // namespace
}  // namespace carvex
