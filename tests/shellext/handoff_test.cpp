#include "handoff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "platform/registry.h"
#include "support/temp_dir.h"
#ifndef _WIN32
#include "support/child_process.h"
#endif

namespace carvex {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;
using test::NativePath;
using test::TempDir;

constexpr char kTestsKey[] = "Software\\Carvex Tests";

// The hand-off key moves below a throwaway key, so a user's own selection is never touched;
// where the registry is a database, that is a throwaway file as well.
class HandOffTest : public testing::Test {
 protected:
  void SetUp() override {
    platform::SetRegistryDatabasePath(temp_.File("registry.db"));
    leaf_ = "handoff-" + std::to_string(std::random_device()()) + "-" +
            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    handOffKey_ = std::string(kTestsKey) + "\\" + leaf_ + "\\Ravelin";
    OverrideHandOffKeyPath(handOffKey_);
  }
  void TearDown() override {
    OverrideHandOffKeyPath("");
    if (std::optional<RegistryKey> tests = RegistryKey::Open(RegistryRoot::kCurrentUser, kTestsKey))
      tests->DeleteSubKeyTree(leaf_);
    platform::SetRegistryDatabasePath("");
  }

  RegistryKey ListKey() const {
    return RegistryKey::Create(RegistryRoot::kCurrentUser, handOffKey_ + "\\fileNames");
  }

  TempDir temp_;
  std::string leaf_;
  std::string handOffKey_;
};

// The list in selection order; Wine's registry can only be checked for the same paths.
void ExpectList(std::vector<std::string> actual, std::vector<std::string> expected) {
  if (!platform::RegistryValuesInCreationOrder()) {
    std::sort(actual.begin(), actual.end());
    std::sort(expected.begin(), expected.end());
  }
  EXPECT_EQ(actual, expected);
}

TEST_F(HandOffTest, NothingWrittenReadsEmpty) {
  EXPECT_EQ(ReadHandOffFileName(), "");
  EXPECT_EQ(ReadSelectionSummary(), "");
  EXPECT_TRUE(ReadHandOffList().empty());
  // A single selection makes the key but no list.
  WriteHandOffSelection({NativePath("C:\\one.txt")});
  EXPECT_EQ(ReadSelectionSummary(), "");
  EXPECT_TRUE(ReadHandOffList().empty());
}

TEST_F(HandOffTest, SingleAfterSeveralKeepsTheOldList) {
  const std::vector<std::string> several = {NativePath("C:\\b.txt"), NativePath("C:\\a.txt")};
  WriteHandOffSelection(several);
  EXPECT_EQ(ReadHandOffFileName(), "*");
  WriteSelectionSummary("2 files");
  WriteHandOffSelection({NativePath("C:\\single.txt")});
  EXPECT_EQ(ReadHandOffFileName(), NativePath("C:\\single.txt"));
  EXPECT_EQ(ReadSelectionSummary(), "2 files");
  ExpectList(ReadHandOffList(), several);
}

TEST_F(HandOffTest, SeveralReplaceTheWholeList) {
  WriteHandOffSelection({"x", "y", "z"});
  ListKey().CreateSubKey("stray");
  ListKey().SetString("", "stray default");
  WriteHandOffSelection({"z", "new"});
  ExpectList(ReadHandOffList(), {"z", "new"});
  EXPECT_TRUE(ListKey().SubKeyNames().empty());
  EXPECT_EQ(ListKey().QueryValue(""), std::nullopt);
  for (const auto& [name, value] : ListKey().Values()) {
    SCOPED_TRACE(name);
    EXPECT_EQ(value.type, platform::RegistryType::kString);
    EXPECT_EQ(value.data, platform::EncodeRegistryString(""));
  }
  // An empty selection still counts as "not one item".
  WriteHandOffSelection({});
  EXPECT_EQ(ReadHandOffFileName(), "*");
  EXPECT_TRUE(ReadHandOffList().empty());
}

TEST_F(HandOffTest, PathsAreStoredWholeAndUnchanged) {
  temp_.MakeFolder("a folder");
  temp_.Write("notes, draft 2.txt", "x");
  const std::vector<std::string> paths = {
      temp_.File("notes, draft 2.txt"),
      temp_.File("a folder"),
      NativePath("C:\\My Files\\  two  spaces ,comma.txt"),
      NativePath("C:\\Caf\xC3\xA9\\\xD0\xAF\xD0\xB7\xD1\x8B\xD0\xBA \xF0\x9F\x93\x81.txt"),
      // Longer than MAX_PATH, with a character outside the BMP across the 260th unit.
      NativePath("C:\\") + std::string(255, 'a') + "\xF0\x9F\x98\x80" + std::string(200, 'b'),
  };
  WriteHandOffSelection(paths);
  ExpectList(ReadHandOffList(), paths);
  for (const std::string& path : paths) {
    WriteHandOffSelection({path});
    EXPECT_EQ(ReadHandOffFileName(), path);
  }
}

// A POSIX folder holds both; the registry's names ignore case and would merge them. A relative
// name that starts like a stand-in must not be read as one.
TEST_F(HandOffTest, PathsDifferingOnlyInCaseAreBothListed) {
  const std::vector<std::string> paths = {"/x/Photo.JPG",
                                          "/x/other",
                                          "/x/photo.jpg",
                                          "/x/PHOTO.jpg",
                                          "*x/a",
                                          "/x/\xC3\xA9t\xC3\xA9",  // été
                                          "/x/\xC3\x89T\xC3\x89",  // ÉTÉ
                                          "/x/\xD1\x8F",           // я
                                          "/x/\xD0\xAF",           // Я
                                          "/x/gro\xC3\x9F",        // ß, which has no capital
                                          "/x/GROSS",
                                          "/x/other"};
  WriteHandOffSelection(paths);
  std::vector<std::string> once = paths;
  once.pop_back();  // the same path twice is listed once
  ExpectList(ReadHandOffList(), once);
  // Paths that only one spelling takes keep the plain form that the application reads.
  for (const char* plain : {"/x/Photo.JPG", "/x/other", "/x/\xC3\xA9t\xC3\xA9", "/x/gro\xC3\x9F", "/x/GROSS"})
    EXPECT_EQ(ListKey().QueryString(plain), "") << plain;
}

TEST_F(HandOffTest, ReaderSkipsEmptyNames) {
  WriteHandOffSelection({"first", "second"});
  ListKey().SetString("", "");
  ListKey().SetString("third", "");
  ExpectList(ReadHandOffList(), {"first", "second", "third"});
}

#ifndef _WIN32
// Two windows record their selections while the application reads: every reading is one whole
// selection, never a mix of two nor half of one. (Windows' registry has no transactions.)
TEST_F(HandOffTest, ProcessesWritingSelectionsWhileAnotherReadsSeeWholeSelections) {
  const auto selection = [](char window, std::size_t count) {
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < count; ++i) paths.push_back("/" + std::string(1, window) + "/" + std::to_string(i));
    return paths;
  };
  const std::vector<std::string> known[] = {selection('a', 50), selection('b', 80), selection('c', 1)};
  WriteHandOff(known[0], "a");
  const auto writer = [&](std::size_t first) {
    return [&, first] {
      for (std::size_t i = 0; i < 150; ++i) WriteHandOff(known[(first + i) % 3], "");
      return 0;
    };
  };
  const auto reader = [&] {
    for (int i = 0; i < 300; ++i) {
      const std::vector<std::string> read = ReadHandOffSelection();
      if (std::find(std::begin(known), std::end(known), read) == std::end(known)) return 1;
    }
    return 0;
  };
  const pid_t children[] = {test::RunInChild(writer(0)), test::RunInChild(writer(1)), test::RunInChild(reader)};
  for (const pid_t child : children) EXPECT_EQ(test::ExitCode(child), 0) << "1: a mixed or half selection, 2: error";
}
#endif

}  // namespace
}  // namespace carvex
