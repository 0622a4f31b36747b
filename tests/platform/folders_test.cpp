#include "platform/folders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/error.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace carvex::platform {
namespace {

bool IsEmptyFolder(const std::string& folder) {
  return std::filesystem::is_empty(std::filesystem::path(std::u8string(folder.begin(), folder.end())));
}

TEST(IsFolderWritable, ProbesByCreatingAFileAndLeavesNothingBehind) {
  test::TempDir dir;
  dir.MakeFolder("sub");
  dir.Write("file", "x");
  // Below a regular file nothing can be created, not even by root, whom mode bits do not stop.
  for (const auto& [folder, writable] :
       {std::pair{dir.File("sub"), true}, std::pair{dir.Folder(), true},
        std::pair{dir.File("missing"), false}, std::pair{dir.File("file"), false},
        std::pair{dir.File("file") + kPathSeparator + "sub", false}}) {
    EXPECT_EQ(IsFolderWritable(folder), writable) << folder;
  }
  EXPECT_TRUE(IsEmptyFolder(dir.File("sub")));
}

TEST(CreateFolders, MakesEveryMissingParentAndRaisesWhenAFileIsInTheWay) {
  test::TempDir dir;
  const std::string deep = dir.File("a") + kPathSeparator + "b b" + kPathSeparator + "\xC3\xA9t\xC3\xA9";
  CreateFolders(deep);
  CreateFolders(deep + kPathSeparator);
  EXPECT_TRUE(IsDirectory(deep));
  EXPECT_TRUE(IsEmptyFolder(deep));

  dir.Write("file", "x");
  for (const std::string& folder : {dir.File("file"), dir.File("file") + kPathSeparator + "sub"}) {
    try {
      CreateFolders(folder);
      ADD_FAILURE() << "no error for " << folder;
    } catch (const RuntimeError& e) {
      EXPECT_NE(e.Description().find(dir.File("file")), std::string::npos) << e.Description();
    }
  }
}

}  // namespace
}  // namespace carvex::platform
