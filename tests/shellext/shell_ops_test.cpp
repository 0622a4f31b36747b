#include "platform/shell_ops.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/collate.h"
#include "platform/error.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace carvex::platform {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Everything below `folder`, as relative path -> content ("<folder>" for folders).
std::map<std::string, std::string> Tree(const std::string& folder) {
  std::map<std::string, std::string> tree;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    const std::string relative = fs::relative(entry.path(), folder).generic_string();
    tree[relative] = entry.is_directory() ? "<folder>" : test::ReadFileBytes(entry.path().string());
  }
  return tree;
}

using Files = std::map<std::string, std::string>;

TEST(CompareIgnoringCase, OrdersAsTheUserReadsNames) {
  EXPECT_LT(CompareIgnoringCase("A", "b"), 0);
  EXPECT_LT(CompareIgnoringCase("a", "B"), 0);
  EXPECT_GT(CompareIgnoringCase("B", "a"), 0);
  EXPECT_EQ(CompareIgnoringCase("Menu", "mENU"), 0);
  EXPECT_LT(CompareIgnoringCase("0001Z", "0002a"), 0);
  EXPECT_LT(CompareIgnoringCase("item", "item2"), 0);
  EXPECT_LT(CompareIgnoringCase("", "a"), 0);
}

// The Windows shell does this work itself; these are the rules of our own POSIX version.
class TransferTest : public testing::Test {
 protected:
  void SetUp() override {
    if (kPathSeparator == '\\') GTEST_SKIP() << "the Windows shell copies and moves itself";
    temp_.MakeFolder("from");
    temp_.MakeFolder("to");
  }
  std::string From(const std::string& name) const { return temp_.File("from/" + name); }
  std::string To() const { return temp_.File("to"); }

  TempDir temp_;
};

TEST_F(TransferTest, RenamedCopiesCountUp) {
  temp_.Write("from/a.txt", "new");
  temp_.Write("to/a.txt", "old");
  temp_.Write("from/.profile", "dot");
  temp_.Write("to/.profile", "old dot");
  temp_.Write("from/plain", "p");
  temp_.Write("to/plain", "old p");
  temp_.MakeFolder("from/d.v1");
  temp_.Write("from/d.v1/in.txt", "in");
  temp_.MakeFolder("to/d.v1");
  for (int i = 0; i < 3; ++i)
    TransferFiles(FileOperation::kCopy, {From("a.txt"), From(".profile"), From("plain"), From("d.v1")}, To(),
                  Collision::kRename, nullptr);
  EXPECT_EQ(Tree(To()), (Files{{"a.txt", "old"},
                               {"a (copy).txt", "new"},
                               {"a (copy 2).txt", "new"},
                               {"a (copy 3).txt", "new"},
                               {".profile", "old dot"},
                               {".profile (copy)", "dot"},
                               {".profile (copy 2)", "dot"},
                               {".profile (copy 3)", "dot"},
                               {"plain", "old p"},
                               {"plain (copy)", "p"},
                               {"plain (copy 2)", "p"},
                               {"plain (copy 3)", "p"},
                               {"d.v1", "<folder>"},
                               {"d.v1 (copy)", "<folder>"},
                               {"d.v1 (copy)/in.txt", "in"},
                               {"d.v1 (copy 2)", "<folder>"},
                               {"d.v1 (copy 2)/in.txt", "in"},
                               {"d.v1 (copy 3)", "<folder>"},
                               {"d.v1 (copy 3)/in.txt", "in"}}));
}

TEST_F(TransferTest, OntoItselfACopyIsRenamedAndAMoveStays) {
  temp_.Write("from/a.txt", "a");
  for (Collision collision : {Collision::kRename, Collision::kReplace, Collision::kAsk}) {
    TransferFiles(FileOperation::kMove, {From("a.txt")}, temp_.File("from"), collision, nullptr);
    EXPECT_EQ(Tree(temp_.File("from")), (Files{{"a.txt", "a"}}));
  }
  TransferFiles(FileOperation::kCopy, {From("a.txt")}, temp_.File("from"), Collision::kReplace, nullptr);
  EXPECT_EQ(Tree(temp_.File("from")), (Files{{"a.txt", "a"}, {"a (copy).txt", "a"}}));
}

TEST_F(TransferTest, FoldersOfTheSameNameMerge) {
  temp_.MakeFolder("from/d/sub");
  temp_.Write("from/d/x.txt", "new x");
  temp_.Write("from/d/y.txt", "new y");
  temp_.Write("from/d/sub/z.txt", "z");
  temp_.MakeFolder("to/d");
  temp_.Write("to/d/x.txt", "old x");
  temp_.Write("to/d/y.txt", "old y");
  temp_.Write("to/d/keep.txt", "keep");
  std::vector<std::string> asked;
  TransferFiles(FileOperation::kMove, {From("d")}, To(), Collision::kAsk, [&](const std::string& existing) {
    asked.push_back(existing);
    return existing.ends_with("x.txt") ? ReplaceAnswer::kReplace : ReplaceAnswer::kSkip;
  });
  EXPECT_EQ(Tree(To()), (Files{{"d", "<folder>"},
                               {"d/x.txt", "new x"},
                               {"d/y.txt", "old y"},
                               {"d/keep.txt", "keep"},
                               {"d/sub", "<folder>"},
                               {"d/sub/z.txt", "z"}}));
  EXPECT_EQ(asked.size(), 2u);
  // The skipped file keeps its folder in place.
  EXPECT_EQ(Tree(temp_.File("from")), (Files{{"d", "<folder>"}, {"d/y.txt", "new y"}}));
}

TEST_F(TransferTest, CancelStopsBeforeTheRest) {
  temp_.Write("from/1.txt", "new 1");
  temp_.Write("from/2.txt", "new 2");
  temp_.Write("from/3.txt", "new 3");
  temp_.Write("to/1.txt", "old 1");
  temp_.Write("to/2.txt", "old 2");
  int asked = 0;
  TransferFiles(FileOperation::kCopy, {From("1.txt"), From("2.txt"), From("3.txt")}, To(), Collision::kAsk,
                [&](const std::string&) {
                  ++asked;
                  return ReplaceAnswer::kCancel;
                });
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(Tree(To()), (Files{{"1.txt", "old 1"}, {"2.txt", "old 2"}}));
}

TEST_F(TransferTest, RefusalsLeaveEverythingAsItWas) {
  temp_.MakeFolder("from/d/inner");
  temp_.Write("from/d/f.txt", "f");
  temp_.Write("from/clash", "a file");
  temp_.MakeFolder("to/clash");
  const Files before = Tree(temp_.Path());
  struct Case {
    FileOperation operation;
    std::vector<std::string> sources;
    std::string destination;
    Collision collision;
  };
  const Case cases[] = {
      {FileOperation::kCopy, {From("d")}, From("d/inner"), Collision::kRename},
      {FileOperation::kMove, {From("d")}, From("d/inner"), Collision::kReplace},
      {FileOperation::kCopy, {From("d")}, From("d"), Collision::kReplace},
      {FileOperation::kCopy, {From("clash")}, To(), Collision::kReplace},
      {FileOperation::kMove, {From("missing")}, To(), Collision::kReplace},
      {FileOperation::kCopy, {From("d")}, From("clash"), Collision::kRename},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sources.front() + " -> " + c.destination);
    EXPECT_THROW(TransferFiles(c.operation, c.sources, c.destination, c.collision, nullptr), RuntimeError);
    EXPECT_EQ(Tree(temp_.Path()), before);
  }
}

TEST_F(TransferTest, CopiesKeepPermissionsTimesAndLinks) {
  temp_.Write("from/run.sh", "#!/bin/sh\n");
  fs::permissions(From("run.sh"), fs::perms::owner_all | fs::perms::group_read, fs::perm_options::replace);
  constexpr FileTime kLongAgo = 126227808000000000;
  FileTimesEditor(From("run.sh")).Write({0, kLongAgo, kLongAgo});
  fs::create_symlink("run.sh", From("link"));
  TransferFiles(FileOperation::kCopy, {From("run.sh"), From("link")}, To(), Collision::kRename, nullptr);
  const std::string copy = temp_.File("to/run.sh");
  EXPECT_EQ(fs::status(copy).permissions(), fs::perms::owner_all | fs::perms::group_read);
  EXPECT_EQ(ReadFileTimes(copy).lastWrite, kLongAgo);
  EXPECT_TRUE(fs::is_symlink(temp_.File("to/link")));
  EXPECT_EQ(fs::read_symlink(temp_.File("to/link")), "run.sh");
}

TEST(FileAttributes, PosixBitsAreDerived) {
  if (kPathSeparator == '\\') GTEST_SKIP() << "Windows keeps the bits themselves";
  TempDir temp;
  temp.Write("plain", "");
  temp.Write(".hidden", "");
  temp.MakeFolder("folder");
  EXPECT_EQ(ReadFileAttributes(temp.File("plain")), 0u);
  EXPECT_EQ(ReadFileAttributes(temp.File(".hidden")), kAttributeHidden);
  EXPECT_EQ(ReadFileAttributes(temp.File("folder")), kAttributeDirectory);
  EXPECT_EQ(ReadFileAttributes(temp.File("folder") + "/"), kAttributeDirectory);
  EXPECT_EQ(ReadFileAttributes(temp.File("missing")), std::nullopt);
  WriteFileAttributes(temp.File("plain"), kAttributeReadOnly | kAttributeSystem | kAttributeArchive);
  EXPECT_EQ(ReadFileAttributes(temp.File("plain")), kAttributeReadOnly);
  EXPECT_EQ(fs::status(temp.File("plain")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  WriteFileAttributes(temp.File("plain"), 0);
  EXPECT_EQ(ReadFileAttributes(temp.File("plain")), 0u);
}

}  // namespace
}  // namespace carvex::platform
