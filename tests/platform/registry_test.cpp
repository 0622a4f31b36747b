#include "platform/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>

#include "platform/error.h"
#include "support/temp_dir.h"

namespace carvex::platform {
namespace {

using test::TempDir;

constexpr char kTestsKey[] = "Software\\Carvex Tests";

// Each test works below its own key under HKEY_CURRENT_USER\Software\Carvex Tests, deleted
// afterwards; where the registry is a database, that database is a throwaway file too.
class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    SetRegistryDatabasePath(temp_.File("registry.db"));
    leaf_ = "registry-" + std::to_string(std::random_device()()) + "-" +
            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    base_ = std::string(kTestsKey) + "\\" + leaf_;
  }
  void TearDown() override {
    if (std::optional<RegistryKey> tests = RegistryKey::Open(RegistryRoot::kCurrentUser, kTestsKey))
      tests->DeleteSubKeyTree(leaf_);
    SetRegistryDatabasePath("");
  }

  RegistryKey Base() const { return RegistryKey::Create(RegistryRoot::kCurrentUser, base_); }
  std::optional<RegistryKey> Open(const std::string& path) const {
    return RegistryKey::Open(RegistryRoot::kCurrentUser, base_ + "\\" + path);
  }

  TempDir temp_;
  std::string leaf_;
  std::string base_;
};

std::vector<std::string> ValueNames(const RegistryKey& key) {
  std::vector<std::string> names;
  for (std::uint32_t i = 0; std::optional<std::string> name = key.EnumValueName(i); ++i)
    names.push_back(*name);
  return names;
}

TEST_F(RegistryTest, EveryValueTypeReadsBackAsWritten) {
  struct Case {
    const char* name;
    RegistryType type;
    std::string data;
  };
  const Case cases[] = {
      {"sz", RegistryType::kString, EncodeRegistryString("h\xC3\xA9llo \xE2\x82\xAC")},
      {"expand", RegistryType::kExpandString, EncodeRegistryString("%TEMP%\\x")},
      {"dword", RegistryType::kDword, std::string("\x78\x56\x34\x12", 4)},
      {"qword", RegistryType::kQword, std::string("\x01\x00\x00\x00\xff\xff\xff\x7f", 8)},
      {"binary", RegistryType::kBinary, std::string("\0\x01\xff\0", 4)},
      {"empty binary", RegistryType::kBinary, ""},
      {"multi", RegistryType::kMultiString, EncodeRegistryMultiString({"one", "tw\xC3\xB6", "three"})},
      {"none", RegistryType::kNone, "\x01\x02"},
      {"unnamed type", static_cast<RegistryType>(0x1234), "x"},
      {"large", RegistryType::kBinary, test::PatternBytes(100000)},
  };
  {
    RegistryKey key = Base();
    for (const Case& c : cases) key.SetValue(c.name, c.type, c.data);
  }
  const std::optional<RegistryKey> key = RegistryKey::Open(RegistryRoot::kCurrentUser, base_);
  ASSERT_TRUE(key);
  std::map<std::string, RegistryValue> listed;
  for (auto& [name, value] : key->Values()) listed[name] = value;
  EXPECT_EQ(listed.size(), std::size(cases));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RegistryValue expected{c.type, c.data};
    EXPECT_EQ(key->QueryValue(c.name), expected);
    EXPECT_EQ(listed[c.name], expected);
  }
}

TEST_F(RegistryTest, StringsKeepEveryCharacter) {
  RegistryKey key = Base();
  for (const std::string text : {"", "plain", "C:\\a, b\\c d.txt", "\xD0\xAF\xD0\xB7\xD1\x8B\xD0\xBA",
                                 "folder \xF0\x9F\x93\x81 icon"}) {
    key.SetString("text", text);
    EXPECT_EQ(key.QueryString("text"), text);
  }
  key.SetString("expand", "%PATH%", RegistryType::kExpandString);
  EXPECT_EQ(key.QueryString("expand"), "%PATH%");
  EXPECT_EQ(key.QueryValue("expand")->type, RegistryType::kExpandString);
  EXPECT_EQ(key.QueryString("missing"), std::nullopt);
}

TEST_F(RegistryTest, StringDataIsUtf16WithTerminator) {
  // "A", the euro sign and U+1F600, which needs a surrogate pair.
  const std::string text = "A\xE2\x82\xAC\xF0\x9F\x98\x80";
  const std::string data("A\0\xAC\x20\x3D\xD8\x00\xDE\0\0", 10);
  EXPECT_EQ(EncodeRegistryString(text), data);
  EXPECT_EQ(DecodeRegistryString(data), text);
  // Bytes that are no UTF-8 (a Latin-1 file name, a cut sequence, an encoded surrogate) come
  // back as they went in, and U+FFFD itself stays what it is.
  for (const std::string bytes : {"report-\xE9t\xE9.txt", "end \xC3", "\xED\xA0\x80", "\xEF\xBF\xBD"})
    EXPECT_EQ(DecodeRegistryString(EncodeRegistryString(bytes)), bytes);
  EXPECT_EQ(DecodeRegistryString(std::string("\x00\xD8", 2)), "\xEF\xBF\xBD");
  // Data written by others may lack the terminator, stop early or end in an odd byte.
  EXPECT_EQ(DecodeRegistryString(std::string("a\0b\0", 4)), "ab");
  EXPECT_EQ(DecodeRegistryString(std::string("a\0\0\0b\0", 6)), "a");
  EXPECT_EQ(DecodeRegistryString(std::string("a\0b", 3)), "a");
  const std::vector<std::string> list = {"one", "\xC3\xA9", "x y"};
  EXPECT_EQ(DecodeRegistryMultiString(EncodeRegistryMultiString(list)), list);
  EXPECT_EQ(DecodeRegistryMultiString(EncodeRegistryMultiString({})), std::vector<std::string>());
}

TEST_F(RegistryTest, QueryStringRefusesOtherTypes) {
  RegistryKey key = Base();
  key.SetValue("count", RegistryType::kDword, std::string("\1\0\0\0", 4));
  try {
    key.QueryString("count");
    FAIL() << "a DWORD was read as text";
  } catch (const RuntimeError& error) {
    EXPECT_NE(error.Description().find("count"), std::string::npos) << error.Description();
    EXPECT_NE(error.Description().find(leaf_), std::string::npos) << error.Description();
  }
}

TEST_F(RegistryTest, KeyNamesIgnoreCase) {
  struct Case {
    const char* created;
    const char* opened;
  };
  const Case cases[] = {
      {"Alpha\\Beta", "ALPHA\\bEtA"},
      {"caf\xC3\xA9", "CAF\xC3\x89"},                                            // é, É
      {"\xD0\xAF\xD0\xB7\xD1\x8B\xD0\xBA", "\xD1\x8F\xD0\x97\xD0\xAB\xD0\x9A"},  // Язык, яЗЫК
      {"\xCF\x83\xCE\xBF\xCF\x86\xCE\xAF\xCE\xB1",
       "\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x8A\xCE\x91"},  // σοφία, ΣΟΦΊΑ
  };
  RegistryKey base = Base();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.created);
    base.CreateSubKey(c.created).SetString("v", c.created);
    std::optional<RegistryKey> key = base.OpenSubKey(c.opened);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->QueryString("v"), c.created);
    // Creating it again under the other spelling finds the same key.
    base.CreateSubKey(c.opened).SetString("w", "again");
    EXPECT_EQ(base.OpenSubKey(c.created)->QueryString("w"), "again");
  }
  std::vector<std::string> names = base.SubKeyNames();
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected = {"Alpha", "caf\xC3\xA9", "\xD0\xAF\xD0\xB7\xD1\x8B\xD0\xBA",
                                       "\xCF\x83\xCE\xBF\xCF\x86\xCE\xAF\xCE\xB1"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
  // Letters without a one-to-one capital stay distinct.
  base.CreateSubKey(
      "stra\xC3\x9F"
      "e");
  EXPECT_FALSE(base.OpenSubKey("STRASSE"));
}

TEST_F(RegistryTest, ValueNamesIgnoreCaseAndKeepTheirFirstSpelling) {
  RegistryKey key = Base();
  key.SetString("SFileName", "one");
  EXPECT_EQ(key.QueryString("sfilename"), "one");
  key.SetString("SFILENAME", "two");
  EXPECT_EQ(key.QueryString("SFileName"), "two");
  EXPECT_EQ(ValueNames(key), std::vector<std::string>{"SFileName"});
  EXPECT_TRUE(key.DeleteValue("sFiLeNaMe"));
  EXPECT_EQ(key.QueryValue("SFileName"), std::nullopt);
}

// The registry itself is the oracle: a value written under one spelling is found under the
// other exactly when both fold alike.
TEST_F(RegistryTest, FoldedNamesAreEqualExactlyWhenTheRegistryTakesThemForOne) {
  const std::pair<const char*, const char*> pairs[] = {
      {"SFileName", "sfilename"},
      {"caf\xC3\xA9", "CAF\xC3\x89"},                                            // é, É
      {"\xD0\xAF\xD0\xB7\xD1\x8B\xD0\xBA", "\xD1\x8F\xD0\x97\xD0\xAB\xD0\x9A"},  // Язык, яЗЫК
      {"\xCF\x83\xCE\xAC", "\xCE\xA3\xCE\x86"},                                  // σά, ΣΆ
      {"\xD5\xA1", "\xD4\xB1"},                                                  // Armenian ա, Ա
      {"\xEF\xBD\x81", "\xEF\xBC\xA1"},                                          // fullwidth a, A
      {"\xC3\xBF", "\xC5\xB8"},                                                  // ÿ, Ÿ
      {"gro\xC3\x9F", "GROSS"},                                                  // ß has no capital
      {"\xC4\xB1", "I"},                                                         // dotless ı
      {"\xE1\x83\x90", "\xE1\xB2\x90"},                                          // Georgian ა, Ა
      {"a", "b"},
  };
  RegistryKey key = Base();
  for (const auto& [written, asked] : pairs) {
    SCOPED_TRACE(written);
    key.SetString(written, "");
    EXPECT_EQ(key.QueryValue(asked).has_value(), FoldRegistryName(written) == FoldRegistryName(asked));
    key.DeleteValue(written);
  }
}

TEST_F(RegistryTest, ValuesEnumerateInCreationOrder) {
  if (!RegistryValuesInCreationOrder()) GTEST_SKIP() << "Wine's registry lists values sorted by name";
  RegistryKey key = Base();
  for (const char* name : {"zeta", "Alpha", "", "mid"}) key.SetString(name, name);
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"zeta", "Alpha", "", "mid"}));
  // Replacing data keeps the place; deleting and writing again moves to the end.
  key.SetValue("zeta", RegistryType::kDword, std::string(4, '\0'));
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"zeta", "Alpha", "", "mid"}));
  key.DeleteValue("Alpha");
  key.SetString("alpha", "back");
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"zeta", "", "mid", "alpha"}));
  std::vector<std::string> listed;
  for (const auto& [name, value] : key.Values()) listed.push_back(name);
  EXPECT_EQ(listed, ValueNames(key));
  EXPECT_EQ(key.ValueNames(), ValueNames(key));
}

TEST_F(RegistryTest, EnumerationEndsAfterTheLastValue) {
  RegistryKey key = Base();
  EXPECT_EQ(key.EnumValueName(0), std::nullopt);
  EXPECT_TRUE(key.ValueNames().empty());
  key.SetString("a", "");
  key.SetString("", "default");
  EXPECT_TRUE(key.EnumValueName(1));
  EXPECT_EQ(key.ValueNames().size(), 2u);
  EXPECT_EQ(key.EnumValueName(2), std::nullopt);
  EXPECT_EQ(key.EnumValueName(1000), std::nullopt);
  EXPECT_EQ(key.QueryString(""), "default");
}

TEST_F(RegistryTest, MissingKeysAndValuesAreAnswersNotErrors) {
  RegistryKey key = Base();
  EXPECT_FALSE(Open("nothing"));
  EXPECT_FALSE(Open("nothing\\below"));
  EXPECT_FALSE(key.OpenSubKey("nothing", RegistryAccess::kRead));
  EXPECT_EQ(key.QueryValue("nothing"), std::nullopt);
  EXPECT_EQ(key.QueryValue(""), std::nullopt);
  EXPECT_FALSE(key.DeleteValue("nothing"));
  EXPECT_FALSE(key.DeleteSubKeyTree("nothing"));
  EXPECT_FALSE(key.DeleteKey("nothing"));
  EXPECT_TRUE(key.Values().empty());
  EXPECT_TRUE(key.SubKeyNames().empty());
}

TEST_F(RegistryTest, DeleteSubKeyTreeTakesEverythingBelow) {
  RegistryKey base = Base();
  base.CreateSubKey("a").SetString("at a", "1");
  base.CreateSubKey("a\\b").SetString("at b", "2");
  base.CreateSubKey("a\\b\\c").SetString("at c", "3");
  base.CreateSubKey("a\\b2");
  base.CreateSubKey("sibling").SetString("stays", "4");
  RegistryKey middle = *Open("a\\b");

  EXPECT_TRUE(base.DeleteSubKeyTree("A"));
  for (const char* gone : {"a", "a\\b", "a\\b\\c", "a\\b2"}) EXPECT_FALSE(Open(gone)) << gone;
  EXPECT_EQ(Open("sibling")->QueryString("stays"), "4");
  // A key made again under the old name starts empty.
  RegistryKey again = base.CreateSubKey("a\\b");
  EXPECT_TRUE(again.Values().empty());
  EXPECT_TRUE(again.SubKeyNames().empty());
  // A key that was open when its tree went is gone for good.
  EXPECT_THROW(middle.SetString("x", "y"), RuntimeError);
  EXPECT_FALSE(again.DeleteSubKeyTree("c"));
  // A path of several names deletes just the last one's tree.
  EXPECT_TRUE(base.DeleteSubKeyTree("a\\b"));
  EXPECT_TRUE(Open("a"));
  EXPECT_FALSE(Open("a\\b"));
}

TEST_F(RegistryTest, DeleteKeyRefusesAKeyWithSubkeys) {
  RegistryKey base = Base();
  base.CreateSubKey("parent\\child");
  base.CreateSubKey("leaf").SetString("v", "x");
  EXPECT_THROW(base.DeleteKey("parent"), RuntimeError);
  EXPECT_TRUE(Open("parent\\child"));
  EXPECT_TRUE(base.DeleteKey("parent\\child"));
  EXPECT_TRUE(base.DeleteKey("parent"));
  EXPECT_TRUE(base.DeleteKey("leaf"));
  EXPECT_TRUE(base.SubKeyNames().empty());
}

TEST_F(RegistryTest, KeyOpenedForReadingRefusesChanges) {
  Base().SetString("v", "kept");
  RegistryKey key = *RegistryKey::Open(RegistryRoot::kCurrentUser, base_, RegistryAccess::kRead);
  EXPECT_THROW(key.SetString("v", "changed"), RuntimeError);
  EXPECT_THROW(key.DeleteValue("v"), RuntimeError);
  EXPECT_EQ(key.QueryString("v"), "kept");
}

}  // namespace
}  // namespace carvex::platform
