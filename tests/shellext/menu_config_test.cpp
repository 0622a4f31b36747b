#include "menu_config.h"

#include <gtest/gtest.h>

#include "handoff.h"
#include "verbhook_test.h"

namespace carvex {
namespace {

using Items = std::vector<std::pair<std::uint32_t, std::string>>;

Items ItemsOf(const MenuLevel& level) {
  Items items;
  for (const MenuItemRecord& item : level.items) items.emplace_back(item.number, item.record);
  return items;
}

class MenuConfigTest : public test::VerbhookTest {};

// Created out of order, so that neither creation order nor byte order would pass.
TEST_F(MenuConfigTest, SubmenusComeFirstAndEverythingSortsIgnoringCase) {
  AddRecord("", "4", "four");
  for (const char* name : {"3", "1", "2"}) AddRecord("0001Sub", name, name);
  EXPECT_EQ(ItemsOf(ReadMenuTree().submenus.at(0)), (Items{{1, "1"}, {2, "2"}, {3, "3"}}));
  EXPECT_EQ(ItemsOf(ReadMenuTree()), (Items{{4, "four"}}));

  for (const char* name : {"b", "C", "A"}) AddRecord("", name, name);
  AddRecord("0000 First\\0009Deep", "z", "deep");
  AddRecord("0000 First", "y", "first");
  const MenuLevel top = ReadMenuTree();
  ASSERT_EQ(top.submenus.size(), 2u);
  EXPECT_EQ(top.submenus[0].caption, " First");
  EXPECT_EQ(top.submenus[0].submenus.at(0).caption, "Deep");
  EXPECT_EQ(ItemsOf(top.submenus[0].submenus[0]), (Items{{1, "deep"}}));
  EXPECT_EQ(ItemsOf(top.submenus[0]), (Items{{2, "first"}}));
  EXPECT_EQ(top.submenus[1].caption, "Sub");
  EXPECT_EQ(ItemsOf(top), (Items{{6, "four"}, {7, "A"}, {8, "b"}, {9, "C"}}));
  // The lookup walks the same way; 0 and numbers past the end find nothing.
  const std::string records[] = {"", "deep", "first", "1", "2", "3", "four", "A", "b", "C", ""};
  for (std::uint32_t n = 0; n < std::size(records); ++n) EXPECT_EQ(FindItemRecord(n), records[n]) << n;
}

// A value of another type keeps its number, so later items keep theirs, and acts as a record
// without a command; nothing is thrown.
TEST_F(MenuConfigTest, ValueThatIsNotTextIsARecordWithoutCommand) {
  MenuKey().SetValue("1", platform::RegistryType::kDword, std::string("\x05\0\0\0", 4));
  MenuKey().SetString("2", "<caption>Expanded</caption>", platform::RegistryType::kExpandString);
  EXPECT_EQ(ItemsOf(ReadMenuTree()), (Items{{1, ""}, {2, "<caption>Expanded</caption>"}}));
  for (int i = 0; i < 4; ++i) ExpectConfigurationWarning();
  EXPECT_EQ(DescribeMenuEntry(FindItemRecord(1)).caption, "No caption assigned");
}

TEST(MenuRecord, SubmenuCaptionDropsFourCharacters) {
  const std::pair<std::string, std::string> cases[] = {
      {"0001Tools", "Tools"},
      {"0001 Tools", " Tools"},
      {"0001", ""},
      {"ab", ""},
      {"1\xC3\xA9"
       "34Caf\xC3\xA9",
       "Caf\xC3\xA9"},  // é is one character
  };
  for (const auto& [name, caption] : cases) EXPECT_EQ(SubmenuCaption(name), caption) << name;
}

TEST(MenuRecord, ElementsAndTheirDefaults) {
  const std::tuple<std::string, Element, std::string> cases[] = {
      {"x<caption> a&lt; \"q\" </caption>y", Element::kCaption, " a&lt; \"q\" "},
      {"<caption>a<caption>b</caption>", Element::kCaption, "a<caption>b"},
      {"</caption>reversed<caption>", Element::kCaption, ""},
      {"</caption><caption>later</caption>", Element::kCaption, ""},
      {"<caption>unterminated", Element::kCaption, "No caption assigned"},
      {"closing only</caption>", Element::kCaption, "No caption assigned"},
      {"<Caption>case</Caption>", Element::kCaption, "No caption assigned"},
      {"<command>x</command>", Element::kCommandLine, ""},
      {"<commandline>/s</commandline><command>app</command>", Element::kCommandLine, "/s"},
      {"<commandline>/s</commandline><command>app</command>", Element::kCommand, "app"},
      {"", Element::kIcon, "EMPTY"},
      {"<description>Help", Element::kDescription, "CRavelin"},
  };
  for (const auto& [record, element, expected] : cases)
    EXPECT_EQ(ExtractElement(record, element), expected) << record;
}

TEST(MenuRecord, FlagsBuiltInsAndIcons) {
  const std::string record = "<sendfolder><overwrite_ask><SendFile>";
  EXPECT_FALSE(HasFlag(record, Flag::kSendFile));
  EXPECT_TRUE(HasFlag(record, Flag::kSendFolder));
  EXPECT_FALSE(HasFlag(record, Flag::kOverwrite));
  EXPECT_TRUE(HasFlag(record, Flag::kOverwriteAsk));
  EXPECT_TRUE(HasFlag("<sendfile><overwrite>", Flag::kOverwrite));

  EXPECT_EQ(FindBuiltIn("[movefolder]"), BuiltIn::kMoveFolder);
  for (const char* near : {"[Copypath]", "[COPY]", " [copy]", "copy"})
    EXPECT_EQ(FindBuiltIn(near), BuiltIn::kNone);

  const auto icon = ParseIconElement("C:\\odd,name.dll,-12");
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->file, "C:\\odd,name.dll");
  EXPECT_EQ(icon->index, -12);
  for (const char* unusable : {"EMPTY", "app.exe", "app.exe,", "app.exe,3x", "app.exe,99999999999"})
    EXPECT_FALSE(ParseIconElement(unusable)) << unusable;
}

TEST_F(MenuConfigTest, MissingCommandWarnsEachTimeItIsExtracted) {
  ExpectConfigurationWarning();
  EXPECT_EQ(ExtractCommand("<commandline>/s</commandline>"), "");
  EXPECT_EQ(ExtractCommand("</command>x<command>"), "");  // present, if empty: no warning
  // The menu builder tests the command four times and warns every time.
  for (int i = 0; i < 4; ++i) ExpectConfigurationWarning();
  const MenuEntry entry = DescribeMenuEntry("<caption>Still shown</caption>");
  EXPECT_EQ(entry.kind, MenuEntry::Kind::kText);
  EXPECT_EQ(entry.caption, "Still shown");
  EXPECT_EQ(ui.Boxes().size(), 5u);
}

TEST_F(MenuConfigTest, MenuEntriesForEachKindOfRecord) {
  const std::string path = test::NativePath("C:\\data\\one file.txt");
  Select({path});
  WriteSelectionSummary("a--- 1.234 bytes");
  using Kind = MenuEntry::Kind;
  const std::tuple<std::string, Kind, std::string, std::string> cases[] = {
      {"<command>[hseparator]</command><caption>x</caption>", Kind::kSeparator, "", ""},
      {"<command>[vseparator]</command><caption>x</caption>", Kind::kColumnBreak, "", ""},
      {"<command>[copypath]</command><caption>x</caption>", Kind::kText, path, "EMPTY"},
      {"<command>[props]</command><icon>i.ico,1</icon>", Kind::kText, "a--- 1.234 bytes", "i.ico,1"},
      {"<command>app</command><caption>Split</caption>", Kind::kText, "Split", "EMPTY"},
  };
  for (const auto& [record, kind, caption, icon] : cases) {
    const MenuEntry entry = DescribeMenuEntry(record);
    EXPECT_EQ(entry.kind, kind) << record;
    EXPECT_EQ(entry.caption, caption) << record;
    EXPECT_EQ(entry.icon, icon) << record;
  }
  Select({"a", "b"});
  EXPECT_EQ(DescribeMenuEntry("<command>[copypath]</command>").caption, "Several files selected");
}

}  // namespace
}  // namespace carvex
