#include "menu_transfer.h"

#include <gtest/gtest.h>

#include "default_menu.h"
#include "platform/error.h"
#include "reg_file.h"
#include "shellext/verbhook_test.h"

namespace carvex::test {
namespace {

class MenuTransferTest : public VerbhookTest {
 protected:
  void ConfigureSample() {
    AddRecord("", "b", "<caption>Top</caption><command>C:\\a \"b\".exe</command>");
    AddRecord("", "", "<command>[hseparator]</command>");
    AddRecord("0001Tools", "1", "<caption>Ω\r\nx</caption><command>[copypath]</command>");
    MenuKey("0001Tools\\0002Empty");
    AddRecord("0001Tools\\0003More", "A", "<command>[props]</command>");
  }
  static void ClearMenu() {
    platform::RegistryKey::Create(platform::RegistryRoot::kCurrentUser, HandOffKeyPath())
        .DeleteSubKeyTree("Contents");
  }
  // "\\0000k\\0000k..." for `levels` submenus below the configuration key.
  static std::string DeepPath(std::size_t levels) {
    std::string path;
    for (std::size_t i = 0; i < levels; ++i) path += "\\0000k";
    return path;
  }
  static std::string Header() {
    return "REGEDIT4\n[HKEY_CURRENT_USER\\" + MenuConfigKeyPath() + "]\n\"z\"=\"new\"\n";
  }
};

TEST_F(MenuTransferTest, ExportImportExportGivesTheSameBytes) {
  ConfigureSample();
  const std::string exported = ExportMenu();
  ClearMenu();
  ImportMenu(exported, false);
  EXPECT_EQ(ExportMenu(), exported);
  EXPECT_EQ(FindItemRecord(2), "<caption>Ω\r\nx</caption><command>[copypath]</command>");
}

TEST_F(MenuTransferTest, ImportAddsToTheMenuOrReplacesIt) {
  for (const bool replace : {false, true}) {
    ClearMenu();
    AddRecord("0009Old", "1", "<command>old</command>");
    ImportMenu(Header(), replace);
    EXPECT_EQ(FindItemRecord(2), replace ? "" : "new");
    EXPECT_EQ(FindItemRecord(1), replace ? "new" : "<command>old</command>");
  }
}

TEST_F(MenuTransferTest, RefusedFilesWriteNothing) {
  const std::string contents = "HKEY_CURRENT_USER\\" + MenuConfigKeyPath();
  const std::string hostile[] = {
      Header() + "[HKEY_CURRENT_USER\\" + HandOffKeyPath() + "]\n\"SFileName\"=\"x\"\n",
      Header() + "[" + contents + "2]\n",
      Header() + "[" + contents + "\\\\x]\n",
      Header() + "[HKEY_LOCAL_MACHINE\\" + MenuConfigKeyPath() + "]\n",
      Header() + "\"bin\"=hex:01,02\n",
      Header() + "\"s\"=\"unterminated\n",
      Header() + "\"long\"=\"" + std::string(1 << 20, 'x') + "\"\n",
      // Deeper, or with longer names, than the registry allows: refused before a first write.
      Header() + "[" + contents + DeepPath(32730) + "]\n",
      Header() + "[" + contents + "\\" + std::string(256, 'k') + "]\n",
      Header() + "\"" + std::string(16384, 'v') + "\"=\"x\"\n",
  };
  ConfigureSample();
  const std::string before = ExportMenu();
  for (const std::string& file : hostile) {
    for (const bool replace : {false, true}) EXPECT_THROW(ImportMenu(file, replace), platform::RuntimeError);
    EXPECT_EQ(ExportMenu(), before);
  }
}

// A tree deeper than a menu can be, made by hand: every walk stops at the menu's depth with the
// configuration warning instead of exhausting the stack.
TEST_F(MenuTransferTest, ATreeDeeperThanAMenuWarnsAndStops) {
  MenuKey(DeepPath(400).substr(1)).SetString("deep", "<caption>Deep</caption><command>x</command>");
  AddRecord("", "top", "<caption>Top</caption><command>x</command>");
  ExpectConfigurationWarning();
  const MenuLevel tree = ReadMenuTree();
  std::size_t depth = 0;
  for (const MenuLevel* level = &tree; !level->submenus.empty(); level = &level->submenus.front()) ++depth;
  EXPECT_EQ(depth, kMaxMenuDepth);
  ASSERT_EQ(tree.items.size(), 1u);
  EXPECT_EQ(tree.items[0].number, 1u);  // the record below the cut takes no number
  ExpectConfigurationWarning();
  std::vector<RegFileKey> keys;
  std::string error;
  ASSERT_TRUE(ParseRegFile(ExportMenu(), keys, error)) << error;
  EXPECT_EQ(keys.size(), kMaxMenuDepth + 1);
}

TEST_F(MenuTransferTest, ExportRefusesAValueThatIsNotAString) {
  MenuKey("0001Sub").SetValue("n", platform::RegistryType::kDword, std::string("\1\0\0\0", 4));
  EXPECT_THROW(ExportMenu(), platform::RuntimeError);
}

TEST_F(MenuTransferTest, ListShowsNumbersCommandsFlagsAndWarnings) {
  ConfigureSample();
  AddRecord("", "c", "<caption>Open</caption><commandline>/s</commandline><sendfile><sendfolder>");
  EXPECT_EQ(FormatMenuList(ReadMenuTree()),
            "    \"Tools\" >\n"
            "        \"Empty\" >\n"
            "        \"More\" >\n"
            "          1 (the selection summary) [props]\n"
            "      2 (the selected path) [copypath]\n"
            "  3 separator\n"
            "  4 \"Top\"  command \"C:\\a \"b\".exe\"\n"
            "  5 \"Open\"  arguments \"/s\"  <sendfile>  <sendfolder>\n"
            "      warning: no <command> element: \"Your menu has incorrect configuration.\"\n");
}

TEST_F(MenuTransferTest, DefaultMenuOnlyWhereThereAreNoRecordsUnlessReplacing) {
  const struct {
    const char* subKey;
    const char* value;  // nullptr: the key alone
    bool written;       // without --replace
  } cases[] = {
      {"", nullptr, true}, {"0001Mine", nullptr, true}, {"", "x", false}, {"0001Mine\\0001Deep", "x", false}};
  const std::string firstRecord = DefaultMenuRecords("C:\\P\\carvex.exe")[0].second;
  for (const bool replace : {false, true}) {
    for (const auto& c : cases) {
      ClearMenu();
      if (c.value)
        AddRecord(c.subKey, c.value, "<command>mine</command>");
      else
        MenuKey(c.subKey);
      const bool written = replace || c.written;
      EXPECT_EQ(WriteDefaultMenu("C:\\P\\carvex.exe", replace), written) << c.subKey << replace;
      const auto submenu = platform::RegistryKey::Open(platform::RegistryRoot::kCurrentUser,
                                                       MenuConfigKeyPath() + "\\" + kDefaultSubmenuKey);
      EXPECT_EQ(submenu && submenu->QueryString("1") == firstRecord, written) << c.subKey << replace;
      if (c.value) {
        EXPECT_EQ(MenuKey(c.subKey).QueryString(c.value), "<command>mine</command>") << c.subKey << replace;
      }
    }
  }
}

TEST_F(MenuTransferTest, ReplacingTheDefaultMenuRepairsItsSubmenuAndKeepsTheRest) {
  constexpr char kMissing[] = "/usr/share/carvex/carvex";
  constexpr char kInstalled[] = "/usr/bin/carvex";
  // The first menu written for `program`, amid the user's own records, one of them added to
  // the first menu's submenu.
  const auto writeMenu = [](const std::string& program) {
    AddRecord("", "mine", "<caption>Top</caption><command>top</command>");
    for (const auto& [name, record] : DefaultMenuRecords(program))
      AddRecord(kDefaultSubmenuKey, name, record);
    AddRecord(kDefaultSubmenuKey, "7", "<caption>Added</caption><command>added</command>");
    AddRecord("0002Tools", "1", "<command>[props]</command>");
  };
  const struct {
    bool replace;
    const char* program;  // the one the menu names afterwards
  } cases[] = {{false, kMissing}, {true, kInstalled}};
  for (const auto& c : cases) {
    ClearMenu();
    writeMenu(c.program);
    const std::string expected = ExportMenu();
    ClearMenu();
    writeMenu(kMissing);
    EXPECT_EQ(WriteDefaultMenu(kInstalled, c.replace), c.replace);
    EXPECT_EQ(ExportMenu(), expected) << c.replace;
  }
}

}  // namespace
}  // namespace carvex::test
