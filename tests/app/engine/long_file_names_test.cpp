#include "long_file_names.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace carvex::modLongFileNames {
namespace {

using test::TempDir;

constexpr char kSep = platform::kPathSeparator;

TEST(GetLongFileName, AnExistingLongPathComesBackAsItIs) {
  TempDir dir;
  dir.MakeFolder("Long Folder Name");
  dir.Write("Long Folder Name" + std::string(1, kSep) + "a long file name.txt", "x");
  const std::string path = dir.File("Long Folder Name") + kSep + "a long file name.txt";
  // The temporary folder itself may be reached through a short or linked name; compare
  // against its resolved form.
  const std::string base = GetLongFileName(dir.Path());
  ASSERT_FALSE(base.empty());
  EXPECT_EQ(GetLongFileName(path), base + kSep + "Long Folder Name" + kSep + "a long file name.txt");
  EXPECT_EQ(GetLongFileName(dir.File("Long Folder Name")), base + kSep + "Long Folder Name");
}

TEST(GetLongFileName, APathPastThreeHundredCharactersComesBackAsItIs) {
  TempDir dir;
  std::string relative;
  for (int k = 1; k <= 4; ++k) {
    relative += (k > 1 ? std::string(1, kSep) : std::string()) + std::string(70, 'a') + std::to_string(k);
    dir.MakeFolder(relative);
  }
  dir.Write(relative + kSep + "piece.001.cvx", "x");
  const std::string base = GetLongFileName(dir.Path());
  ASSERT_FALSE(base.empty());
  ASSERT_GT(dir.File(relative).size(), 300u);
  EXPECT_EQ(GetLongFileName(dir.File(relative) + kSep + "piece.001.cvx"),
            base + kSep + relative + kSep + "piece.001.cvx");
}

TEST(GetLongFileName, AnyMissingElementGivesTheEmptyString) {
  TempDir dir;
  dir.MakeFolder("there");
  const std::string s(1, kSep);
  for (const std::string& tail : {std::string("missing"), "missing" + s + "file.txt", "there" + s + "missing.txt",
                                  "there" + s + "*", "there" + s + "?here"}) {
    SCOPED_TRACE(tail);
    EXPECT_EQ(GetLongFileName(dir.File(tail)), "");
  }
}

TEST(GetLongFileName, PathsWithoutARootGiveTheEmptyString) {
  for (const char* path : {"", "relative.txt", "sub\\file", "sub/file"}) EXPECT_EQ(GetLongFileName(path), "");
}

TEST(GetLongFileName, HiddenEntriesAreFound) {
  TempDir dir;
  dir.Write(".hidden", "x");
  const std::string base = GetLongFileName(dir.Path());
  EXPECT_EQ(GetLongFileName(dir.File(".hidden")), base + kSep + ".hidden");
}

}  // namespace
}  // namespace carvex::modLongFileNames
