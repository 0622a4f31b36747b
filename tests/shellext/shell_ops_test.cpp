#include "platform/shell_ops.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/error.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace carvex::platform {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

// The Windows shell does this work itself; these are the rules of our own POSIX version.
class TransferTest : public testing::Test {
 protected:
  void SetUp() override {
    if (kPathSeparator == '\\') GTEST_SKIP() << "the Windows shell copies and moves by itself";
    temp_.MakeFolder("from");
    temp_.MakeFolder("to");
  }
  std::string From(const std::string& name) const { return temp_.File("from/" + name); }
  std::string To() const { return temp_.File("to"); }
  // Everything below `folder`, by relative path; "<folder>" for folders.
  Files Tree(const std::string& folder) const {
    Files tree;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(temp_.File(folder)))
      tree[fs::relative(entry.path(), temp_.File(folder)).string()] =
          entry.is_directory() ? "<folder>" : test::ReadFileBytes(entry.path().string());
    return tree;
  }

  test::TempDir temp_;
};

TEST_F(TransferTest, RenamedCopiesCountUp) {
  for (const char* name : {"a.txt", ".profile"}) {
    temp_.Write(std::string("from/") + name, "new");
    temp_.Write(std::string("to/") + name, "old");
  }
  temp_.MakeFolder("from/d.v1");
  temp_.MakeFolder("to/d.v1");
  for (int i = 0; i < 2; ++i)
    TransferFiles(FileOperation::kCopy, {From("a.txt"), From(".profile"), From("d.v1")}, To(),
                  Collision::kRename, nullptr);
  EXPECT_EQ(Tree("to"), (Files{{"a.txt", "old"},
                               {"a (copy).txt", "new"},
                               {"a (copy 2).txt", "new"},
                               {".profile", "old"},
                               {".profile (copy)", "new"},
                               {".profile (copy 2)", "new"},
                               {"d.v1", "<folder>"},
                               {"d.v1 (copy)", "<folder>"},
                               {"d.v1 (copy 2)", "<folder>"}}));
}

// Replacing a file by itself would empty it.
TEST_F(TransferTest, OntoItselfACopyIsRenamedAndAMoveStays) {
  temp_.Write("from/a.txt", "a");
  TransferFiles(FileOperation::kMove, {From("a.txt")}, temp_.File("from"), Collision::kReplace, nullptr);
  EXPECT_EQ(Tree("from"), (Files{{"a.txt", "a"}}));
  TransferFiles(FileOperation::kCopy, {From("a.txt")}, temp_.File("from"), Collision::kReplace, nullptr);
  EXPECT_EQ(Tree("from"), (Files{{"a.txt", "a"}, {"a (copy).txt", "a"}}));
}

TEST_F(TransferTest, FoldersMergeAndCancelStopsTheRest) {
  temp_.MakeFolder("from/d/sub");
  temp_.Write("from/d/sub/z", "z");
  temp_.Write("from/later", "later");
  for (const char* name : {"x", "y"}) {
    temp_.Write(std::string("from/d/") + name, "new");
    temp_.MakeFolder("to/d");
    temp_.Write(std::string("to/d/") + name, "old");
  }
  std::vector<std::string> asked;
  TransferFiles(FileOperation::kMove, {From("d"), From("later")}, To(), Collision::kAsk,
                [&](const std::string& existing) {
                  asked.push_back(fs::path(existing).filename().string());
                  return asked.size() == 1 ? ReplaceAnswer::kReplace : ReplaceAnswer::kCancel;
                });
  EXPECT_EQ(asked, (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(
      Tree("to"),
      (Files{{"d", "<folder>"}, {"d/sub", "<folder>"}, {"d/sub/z", "z"}, {"d/x", "new"}, {"d/y", "old"}}));
  // Nothing after the cancel moved, and the folder stays where a file remains.
  EXPECT_EQ(Tree("from"), (Files{{"d", "<folder>"}, {"d/y", "new"}, {"later", "later"}}));
}

TEST_F(TransferTest, RefusalsLeaveEverythingAsItWas) {
  temp_.MakeFolder("from/d/inner");
  temp_.Write("from/clash", "a file");
  temp_.MakeFolder("to/clash");
  const Files before = Tree("");
  const std::tuple<FileOperation, std::string, std::string> cases[] = {
      {FileOperation::kCopy, From("d"), From("d/inner")},  // a folder into itself
      {FileOperation::kMove, From("d"), From("d")},
      {FileOperation::kCopy, From("clash"), To()},  // a file over a folder
      {FileOperation::kMove, From("missing"), To()},
      {FileOperation::kCopy, From("d"), From("clash")},  // into a file
  };
  for (const auto& [operation, source, destination] : cases) {
    EXPECT_THROW(TransferFiles(operation, {source}, destination, Collision::kReplace, nullptr), RuntimeError)
        << source << " -> " << destination;
    EXPECT_EQ(Tree(""), before);
  }
}

}  // namespace
}  // namespace carvex::platform
