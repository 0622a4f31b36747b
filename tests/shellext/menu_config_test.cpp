#include "menu_config.h"

#include <gtest/gtest.h>

#include "handoff.h"
#include "platform/registry.h"
#include "verbhook_test.h"

namespace carvex {
namespace {

using test::VerbhookTest;

class MenuConfigTest : public VerbhookTest {};

std::vector<std::string> Captions(const std::vector<MenuLevel>& submenus) {
  std::vector<std::string> captions;
  for (const MenuLevel& submenu : submenus) captions.push_back(submenu.caption);
  return captions;
}

std::vector<std::pair<std::uint32_t, std::string>> Items(const MenuLevel& level) {
  std::vector<std::pair<std::uint32_t, std::string>> items;
  for (const MenuItemRecord& item : level.items) items.emplace_back(item.number, item.record);
  return items;
}

// Keys and values are created out of order, so neither creation order nor byte order passes.
TEST_F(MenuConfigTest, WalkSortsIgnoringCaseAndNumbersSubmenusFirst) {
  AddRecord("", "b", "top b");
  AddRecord("", "C", "top C");
  AddRecord("", "4", "top 4");
  AddRecord("", "a", "top a");
  AddRecord("0002 Second", "z", "second z");
  AddRecord("0002 Second", "Y", "second Y");
  AddRecord("0001First", "f1", "first f1");
  AddRecord("0001First\\0009Deep", "d1", "deep d1");
  MenuKey("0003");  // an empty submenu without a caption

  const MenuLevel top = ReadMenuTree();
  ASSERT_EQ(Captions(top.submenus), (std::vector<std::string>{"First", " Second", ""}));
  const MenuLevel& first = top.submenus[0];
  ASSERT_EQ(Captions(first.submenus), std::vector<std::string>{"Deep"});
  EXPECT_EQ(Items(first.submenus[0]), (decltype(Items(top)){{1, "deep d1"}}));
  EXPECT_EQ(Items(first), (decltype(Items(top)){{2, "first f1"}}));
  EXPECT_EQ(Items(top.submenus[1]), (decltype(Items(top)){{3, "second Y"}, {4, "second z"}}));
  EXPECT_TRUE(top.submenus[2].items.empty());
  EXPECT_EQ(Items(top), (decltype(Items(top)){{5, "top 4"}, {6, "top a"}, {7, "top b"}, {8, "top C"}}));

  // The lookup by number walks the same way.
  const std::string expected[] = {"",      "deep d1", "first f1", "second Y", "second z",
                                  "top 4", "top a",   "top b",    "top C",    ""};
  for (std::uint32_t number = 0; number < std::size(expected); ++number) {
    SCOPED_TRACE(number);
    EXPECT_EQ(FindItemRecord(number), expected[number]);
  }
}

TEST_F(MenuConfigTest, ItemsOneToThreeInASubmenuAndFourAtTheTop) {
  AddRecord("", "4", "four");
  for (const char* name : {"3", "1", "2"}) AddRecord("0001Sub", name, std::string("sub ") + name);
  const MenuLevel top = ReadMenuTree();
  ASSERT_EQ(Captions(top.submenus), std::vector<std::string>{"Sub"});
  EXPECT_EQ(Items(top.submenus[0]), (decltype(Items(top)){{1, "sub 1"}, {2, "sub 2"}, {3, "sub 3"}}));
  EXPECT_EQ(Items(top), (decltype(Items(top)){{4, "four"}}));
}

TEST_F(MenuConfigTest, MissingConfigurationIsAnEmptyMenu) {
  const MenuLevel top = ReadMenuTree();
  EXPECT_TRUE(top.submenus.empty());
  EXPECT_TRUE(top.items.empty());
  EXPECT_EQ(FindItemRecord(1), "");
}

// A value of another type still takes its number, so the items after it keep theirs; it
// behaves as a record without a command.
TEST_F(MenuConfigTest, ValueThatIsNotTextIsAnItemWithoutRecord) {
  MenuKey().SetValue("1 number", platform::RegistryType::kDword, std::string("\x05\0\0\0", 4));
  MenuKey().SetValue("2 binary", platform::RegistryType::kBinary, "<command>[copy]</command>");
  MenuKey().SetString("3 expandable", "<caption>Expanded</caption>", platform::RegistryType::kExpandString);
  AddRecord("", "4 text", "<caption>Text</caption>");
  EXPECT_EQ(Items(ReadMenuTree()),
            (decltype(Items(ReadMenuTree())){
                {1, ""}, {2, ""}, {3, "<caption>Expanded</caption>"}, {4, "<caption>Text</caption>"}}));
  for (int i = 0; i < 4; ++i) ExpectConfigurationWarning();
  const MenuEntry entry = DescribeMenuEntry(FindItemRecord(1));
  EXPECT_EQ(entry.kind, MenuEntry::Kind::kText);
  EXPECT_EQ(entry.caption, "No caption assigned");
}

TEST(SubmenuCaption, DropsTheFirstFourCharacters) {
  const std::pair<std::string, std::string> cases[] = {
      {"0001Tools", "Tools"},
      {"0001 Tools", " Tools"},
      {"00010001Tools", "0001Tools"},
      {"0001", ""},
      {"abc", ""},
      {"", ""},
      {"1\xC3\xA9"
       "34Caf\xC3\xA9",
       "Caf\xC3\xA9"},  // é is one character
      {"\xF0\x9F\x98\x80"
       "234Smile",
       "Smile"},  // so is a character beyond 16 bits
  };
  for (const auto& [name, caption] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(SubmenuCaption(name), caption);
  }
}

TEST(MenuRecord, ElementsAndTheirDefaults) {
  struct Case {
    std::string record;
    Element element;
    std::string expected;
  };
  const Case cases[] = {
      {"<caption>Split it</caption>", Element::kCaption, "Split it"},
      {"x<caption> padded </caption>y", Element::kCaption, " padded "},
      {"<caption>&lt;b&gt; \"q\"</caption>", Element::kCaption, "&lt;b&gt; \"q\""},
      {"<caption>a<caption>b</caption>", Element::kCaption, "a<caption>b"},
      {"<caption>first</caption><caption>second</caption>", Element::kCaption, "first"},
      {"<caption></caption>", Element::kCaption, ""},
      {"</caption>reversed<caption>", Element::kCaption, ""},
      {"</caption><caption>later</caption>", Element::kCaption, ""},
      {"<caption>unterminated", Element::kCaption, "No caption assigned"},
      {"closing only</caption>", Element::kCaption, "No caption assigned"},
      {"<Caption>case</Caption>", Element::kCaption, "No caption assigned"},
      {"", Element::kCaption, "No caption assigned"},
      {"<commandline>/s</commandline>", Element::kCommandLine, "/s"},
      {"<command>x</command>", Element::kCommandLine, ""},
      {"<commandline>/s", Element::kCommandLine, ""},
      {"<icon>C:\\a,b.dll,3</icon>", Element::kIcon, "C:\\a,b.dll,3"},
      {"", Element::kIcon, "EMPTY"},
      {"<description>Help</description>", Element::kDescription, "Help"},
      {"<description>Help", Element::kDescription, "CRavelin"},
      {"<command>[copy]</command><commandline>D:\\</commandline>", Element::kCommand, "[copy]"},
      {"<commandline>a</commandline><command>prog</command>", Element::kCommand, "prog"},
      {"<command></command>", Element::kCommand, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    EXPECT_EQ(ExtractElement(c.record, c.element), c.expected);
  }
}

TEST(MenuRecord, FlagsMatchWholeTagsWithCase) {
  struct Case {
    std::string record;
    bool sendFile, sendFolder, overwrite, overwriteAsk;
  };
  const Case cases[] = {
      {"<sendfile>", true, false, false, false},
      {"<sendfolder>", false, true, false, false},
      {"<overwrite>", false, false, true, false},
      {"<overwrite_ask>", false, false, false, true},
      {"<caption>x</caption><sendfolder><overwrite_ask>", false, true, false, true},
      {"<sendfile><sendfolder><overwrite><overwrite_ask>", true, true, true, true},
      {"<SendFile><sendfile <overwrite_>", false, false, false, false},
      {"", false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    EXPECT_EQ(HasFlag(c.record, Flag::kSendFile), c.sendFile);
    EXPECT_EQ(HasFlag(c.record, Flag::kSendFolder), c.sendFolder);
    EXPECT_EQ(HasFlag(c.record, Flag::kOverwrite), c.overwrite);
    EXPECT_EQ(HasFlag(c.record, Flag::kOverwriteAsk), c.overwriteAsk);
  }
}

TEST(MenuRecord, BuiltInNamesAreExactAndLowerCase) {
  const std::pair<std::string, BuiltIn> cases[] = {
      {"[copypath]", BuiltIn::kCopyPath},
      {"[props]", BuiltIn::kProps},
      {"[stamp]", BuiltIn::kStamp},
      {"[copy]", BuiltIn::kCopy},
      {"[move]", BuiltIn::kMove},
      {"[copyfolder]", BuiltIn::kCopyFolder},
      {"[movefolder]", BuiltIn::kMoveFolder},
      {"[appstart]", BuiltIn::kAppStart},
      {"[hseparator]", BuiltIn::kHSeparator},
      {"[vseparator]", BuiltIn::kVSeparator},
      {"[Copypath]", BuiltIn::kNone},
      {"[COPY]", BuiltIn::kNone},
      {" [copy]", BuiltIn::kNone},
      {"[copy] ", BuiltIn::kNone},
      {"copy", BuiltIn::kNone},
      {"", BuiltIn::kNone},
  };
  for (const auto& [command, builtIn] : cases) {
    SCOPED_TRACE(command);
    EXPECT_EQ(FindBuiltIn(command), builtIn);
  }
}

TEST(MenuRecord, IconElementSplitsAtTheLastComma) {
  struct Case {
    std::string icon;
    std::optional<std::pair<std::string, int>> expected;
  };
  const Case cases[] = {
      {"C:\\Program Files\\app.exe,0", std::pair<std::string, int>{"C:\\Program Files\\app.exe", 0}},
      {"C:\\odd,name.dll,12", std::pair<std::string, int>{"C:\\odd,name.dll", 12}},
      {"shell32.dll,-4", std::pair<std::string, int>{"shell32.dll", -4}},
      {"EMPTY", std::nullopt},
      {"app.exe", std::nullopt},
      {"app.exe,", std::nullopt},
      {"app.exe,two", std::nullopt},
      {"app.exe,3x", std::nullopt},
      {"app.exe,99999999999", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.icon);
    const std::optional<IconSource> source = ParseIconElement(c.icon);
    ASSERT_EQ(source.has_value(), c.expected.has_value());
    if (!source) continue;
    EXPECT_EQ(source->file, c.expected->first);
    EXPECT_EQ(source->index, c.expected->second);
  }
}

TEST_F(MenuConfigTest, MissingCommandWarnsEachTimeItIsExtracted) {
  for (const std::string record : {"<caption>Only a caption</caption>", "<command>unterminated",
                                   "</command>x<command>", "<commandline>/s</commandline>"}) {
    SCOPED_TRACE(record);
    const bool terminatedTheWrongWayRound = record.find("</command>x") == 0;
    if (!terminatedTheWrongWayRound) ExpectConfigurationWarning();
    EXPECT_EQ(ExtractCommand(record), "");
    EXPECT_EQ(ui.PendingBoxes(), 0u);
  }
  // The menu builder tests the command four times, and warns every time.
  for (int i = 0; i < 4; ++i) ExpectConfigurationWarning();
  const MenuEntry entry = DescribeMenuEntry("<caption>Still shown</caption>");
  EXPECT_EQ(entry.kind, MenuEntry::Kind::kText);
  EXPECT_EQ(entry.caption, "Still shown");
  EXPECT_EQ(ui.Boxes().size(), 7u);
}

TEST_F(MenuConfigTest, MenuEntriesForEachKindOfRecord) {
  Select({test::NativePath("C:\\data\\one file.txt")});
  WriteSelectionSummary("a--- 1.234 bytes");
  struct Case {
    std::string record;
    MenuEntry::Kind kind;
    std::string caption;
    std::string icon;
  };
  const Case cases[] = {
      {"<command>[hseparator]</command><caption>x</caption>", MenuEntry::Kind::kSeparator, "", ""},
      {"<command>[vseparator]</command><caption>x</caption>", MenuEntry::Kind::kColumnBreak, "", ""},
      {"<command>[copypath]</command><caption>x</caption>", MenuEntry::Kind::kText,
       test::NativePath("C:\\data\\one file.txt"), "EMPTY"},
      {"<command>[props]</command><caption>x</caption><icon>i.ico,1</icon>", MenuEntry::Kind::kText,
       "a--- 1.234 bytes", "i.ico,1"},
      {"<command>app</command><caption>Split</caption><icon>app.exe,0</icon>", MenuEntry::Kind::kText,
       "Split", "app.exe,0"},
      {"<command>[Copypath]</command>", MenuEntry::Kind::kText, "No caption assigned", "EMPTY"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    const MenuEntry entry = DescribeMenuEntry(c.record);
    EXPECT_EQ(entry.kind, c.kind);
    EXPECT_EQ(entry.caption, c.caption);
    EXPECT_EQ(entry.icon, c.icon);
  }
  Select({"a", "b"});
  EXPECT_EQ(DescribeMenuEntry("<command>[copypath]</command>").caption, "Several files selected");
}

}  // namespace
}  // namespace carvex
