#include "settings_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <tuple>
#include <utility>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/files.h"
#include "support/temp_dir.h"
#include "support/system_fixtures.h"

namespace carvex {
namespace {

constexpr char kSep = platform::kPathSeparator;

std::string FromHex(std::string_view hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return bytes;
}

// `length` bytes, zero but for the given records' leading bytes.
std::string Image(std::initializer_list<std::pair<std::size_t, std::string>> records,
                  std::size_t length = kSettingsFileLength) {
  std::string image(std::max(length, kSettingsFileLength), '\0');
  for (const auto& [record, hex] : records) image.replace((record - 1) * 128, hex.size() / 2, FromHex(hex));
  image.resize(length);
  return image;
}

// A different value in every record, so that one written to or read from the wrong record
// shows; the Booleans include raw values other than True and False.
const SettingsRecord kKnown{kTrue, kFalse, 1, 0x0200, "D:\\Out\\Pieces", 0x7FFF, -7, -32768, kFalse, 5};
const std::string kKnownImage = Image({{1, "ffff"},
                                       {2, "0000"},
                                       {3, "0100"},
                                       {4, "0002"},
                                       {5, "0d00443a5c4f75745c506965636573"},  // 13, D:\Out\Pieces
                                       {6, "ff7f"},
                                       {7, "f9ff"},
                                       {8, "0080"},
                                       {9, "0000"},
                                       {10, "0500"}});

SettingsRecord WithText(SettingsRecord settings, std::string text) {
  settings.OutDestination = std::move(text);
  return settings;
}

// The modPublic variables one by one, not through the store's own table, so that a variable
// bound to the wrong record shows.
SettingsRecord ModuleSettings() {
  return {ClearList,  DeleteBuildFiles, DelExists,      UseOutput,      OutDestination,
          ShowFinish, Compression,      BuildAutoUnzip, WriteChecksums, WriteJoinScript};
}

void SetModuleSettings(const SettingsRecord& s) {
  std::tie(ClearList, DeleteBuildFiles, DelExists, UseOutput, OutDestination, ShowFinish, Compression,
           BuildAutoUnzip, WriteChecksums, WriteJoinScript) =
      std::tie(s.ClearList, s.DeleteBuildFiles, s.DelExists, s.UseOutput, s.OutDestination, s.ShowFinish,
               s.Compression, s.BuildAutoUnzip, s.WriteChecksums, s.WriteJoinScript);
}

TEST(SettingsFormat, KnownValuesMakeTheExpectedImageAndReadBack) {
  EXPECT_EQ(EncodeSettings(kKnown), kKnownImage);
  EXPECT_EQ(DecodeSettings(kKnownImage), kKnown);
}

TEST(SettingsFormat, ShortDamagedOrForeignImagesLoadWhatTheyHold) {
  const auto withRecord5 = [](std::string bytes) {
    bytes.resize(128, '\0');
    return kKnownImage.substr(0, 512) + bytes + kKnownImage.substr(640);
  };
  const std::string x126(126, 'x');
  const SettingsRecord firstThree{.ClearList = kTrue, .DelExists = kTrue};
  SettingsRecord eightRecords = kKnown;
  eightRecords.WriteChecksums = kTrue;
  eightRecords.WriteJoinScript = kFalse;
  const struct {
    const char* label;
    std::string image;
    SettingsRecord expected;
  } cases[] = {
      {"empty", "", {}},
      {"one byte", "\xFF", {}},
      {"half of record 3's value", Image({{1, "ffff"}, {3, "ffff"}}, 257), {.ClearList = kTrue}},
      {"cut after record 5's length", Image({{1, "ffff"}, {3, "ffff"}, {5, "0500"}}, 514), firstThree},
      {"record 5's text runs past the end", Image({{1, "ffff"}, {3, "ffff"}, {5, "05004142"}}, 516),
       firstThree},
      {"length 126", withRecord5(FromHex("7e00") + x126), WithText(kKnown, x126)},
      {"length 127", withRecord5(FromHex("7f00") + x126 + "x"), WithText(kKnown, "")},
      {"length FFFF", withRecord5(FromHex("ffff") + "x"), WithText(kKnown, "")},
      {"eight records, from before the later ones", kKnownImage.substr(0, 1024), eightRecords},
      {"longer file", kKnownImage + std::string(5000, '\xAB'), kKnown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(DecodeSettings(c.image), c.expected);
  }
}

TEST(SettingsFormat, TextNotValidInTheCodePageLoadsAsTextThatCanBeSavedAgain) {
  const std::string text = DecodeSettings(Image({{5,
                                                  "0400"
                                                  "61ff8062"}}))
                               .OutDestination;
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.front(), 'a');
  EXPECT_EQ(text.back(), 'b');
  EXPECT_TRUE(platform::EncodeAnsi(text).has_value()) << text;
}

TEST(SettingsFormat, AFolderTheRecordCannotHoldIsDroppedAlone) {
  const struct {
    std::string text;
    bool stored;
  } cases[] = {{std::string(126, 'b'), true},
               {std::string(127, 'c'), false},
               {std::string(1000, 'd'), false},
               {"C:\\\xFF\xFE", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.size());
    const std::string image = EncodeSettings(WithText(kKnown, c.text));
    EXPECT_EQ(DecodeSettings(image), WithText(kKnown, c.stored ? c.text : ""));
    EXPECT_EQ(image.substr(640), kKnownImage.substr(640));
  }
}

// Points the store at folders of the test's own. They are not reset to the real ones
// afterwards, so a stray call can never reach the build's bin folder or the user's own.
class SettingsStoreTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_.MakeFolder("app");
    OverrideAppFolders(dir_.File("app"), dir_.File("user"));
  }
  std::string AppFile() const { return dir_.File("app") + kSep + kSettingsFileName; }
  test::TempDir dir_;
};

TEST_F(SettingsStoreTest, FirstStartCreatesTheFileWithEveryDefault) {
  SetModuleSettings(kKnown);
  LoadSettings();
  EXPECT_EQ(ModuleSettings(), SettingsRecord{});
  EXPECT_EQ(test::ReadFileBytes(AppFile()), "");
  SaveSettings();
  EXPECT_EQ(test::ReadFileBytes(AppFile()), Image({{9, "ffff"}}));
}

// The first 1024 bytes are those that a program of the eight records writes and reads.
TEST_F(SettingsStoreTest, AnEightRecordFileGainsTheLaterRecordsBehindItsOwn) {
  const std::string eight = kKnownImage.substr(0, 1024);
  dir_.Write(std::string("app") + kSep + kSettingsFileName, eight);
  LoadSettings();
  EXPECT_EQ(WriteChecksums, kTrue);
  SaveSettings();
  EXPECT_EQ(test::ReadFileBytes(AppFile()), eight + Image({{1, "ffff"}}, 256));
}

TEST_F(SettingsStoreTest, LoadingLeavesAnyFileAloneAndSavingRewritesOnlyTheRecords) {
  for (const std::string& before : {std::string(), test::PatternBytes(300, 3), test::PatternBytes(3000, 4)}) {
    SCOPED_TRACE(before.size());
    dir_.Write(std::string("app") + kSep + kSettingsFileName, before);
    LoadSettings();
    EXPECT_EQ(ModuleSettings(), DecodeSettings(before));
    EXPECT_EQ(test::ReadFileBytes(AppFile()), before);
    SetModuleSettings(kKnown);
    SaveSettings();
    EXPECT_EQ(test::ReadFileBytes(AppFile()),
              kKnownImage + (before.size() > kSettingsFileLength ? before.substr(kSettingsFileLength) : ""));
    SetModuleSettings({});
    LoadSettings();
    EXPECT_EQ(ModuleSettings(), kKnown);
  }
}

TEST_F(SettingsStoreTest, AnAppFolderWithoutWriteAccessGivesWayToTheUserFolder) {
  // Nothing can be created below a regular file, whoever runs the test.
  dir_.Write("file", "x");
  const std::string user = dir_.File("user") + kSep + "Carvex";
  for (const auto& [app, expected] :
       {std::pair{dir_.File("app"), dir_.File("app")}, std::pair{dir_.File("file") + kSep + "app", user}}) {
    SCOPED_TRACE(app);
    OverrideAppFolders(app, user);
    SaveSettings();
    EXPECT_EQ(SettingsFolder(), expected);
    EXPECT_EQ(test::ReadFileBytes(expected + kSep + kSettingsFileName).size(), kSettingsFileLength);
    EXPECT_EQ(platform::PathExists(user), expected == user);
  }
  OverrideAppFolders(dir_.File("file") + kSep + "app", dir_.File("file") + kSep + "user");
  EXPECT_THROW(LoadSettings(), platform::RuntimeError);
  EXPECT_THROW(SaveSettings(), platform::RuntimeError);
}

TEST_F(SettingsStoreTest, AFileThatCannotBeWrittenIsStillRead) {
  dir_.Write(std::string("app") + kSep + kSettingsFileName, kKnownImage + "tail");
  const auto hold = test::KeepFromWriting(AppFile());
  if (!hold) GTEST_SKIP() << "no way here to keep a file from being written";
  SetModuleSettings({});
  LoadSettings();
  EXPECT_EQ(ModuleSettings(), kKnown);
  EXPECT_THROW(SaveSettings(), platform::RuntimeError);
  EXPECT_EQ(test::ReadFileBytes(AppFile()), kKnownImage + "tail");
}

}  // namespace
}  // namespace carvex
