#include "zipkit/entry_names.h"

#include <gtest/gtest.h>

#include "platform/files.h"

namespace carvex::zipkit {
namespace {

using Elements = std::vector<std::string>;

TEST(SafeEntryPath, KeepsNamesThatStayInsideTheFolder) {
  const struct {
    const char* name;
    Elements elements;
  } cases[] = {
      {"a.txt", {"a.txt"}},
      {"sub/a.txt", {"sub", "a.txt"}},
      {"sub\\deeper\\a.txt", {"sub", "deeper", "a.txt"}},
      {"sub/", {"sub"}},
      {"./sub//a.txt", {"sub", "a.txt"}},
      {".hidden", {".hidden"}},
      {"a..b.txt", {"a..b.txt"}},
      {"console.txt", {"console.txt"}},
      {"com10", {"com10"}},
      {"log 10:00.txt", {"log 10:00.txt"}},
      {"sub/C:x", {"sub", "C:x"}},
      // Device names are names: LocalName makes them safe where they are not.
      {"drivers/aux.c", {"drivers", "aux.c"}},
      {"NUL.txt", {"NUL.txt"}},
      {"trail.", {"trail."}},
      {"Gr\xC3\xBC\xC3\x9F"
       "e.txt",
       {"Gr\xC3\xBC\xC3\x9F"
        "e.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto elements = SafeEntryPath(c.name);
    ASSERT_TRUE(elements.has_value());
    EXPECT_EQ(*elements, c.elements);
  }
}

TEST(SafeEntryPath, RefusesNamesThatLeaveTheFolder) {
  const std::string cases[] = {
      "../evil.txt",
      "..\\evil.txt",
      "sub/../../evil.txt",
      "sub/..",
      "/etc/passwd",
      "\\evil.txt",
      "\\\\server\\share\\evil.txt",
      "//server/share/evil.txt",
      "C:/evil.txt",
      "C:evil.txt",
      "c:\\evil.txt",
      "z:evil.txt",
      "",
      "./",
      std::string("a\0b", 3),
  };
  for (const std::string& name : cases) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(SafeEntryPath(name).has_value());
  }
  // Windows drops trailing dots and spaces, so these climb out there and are names elsewhere.
  for (const std::string name : {"...", "sub/. ./evil.txt"})
    EXPECT_EQ(SafeEntryPath(name).has_value(), platform::kPathSeparator != '\\') << name;
  const std::pair<std::string, std::string> rules[] = {
      {"/etc/passwd", "is absolute"},
      {"\\\\server\\share\\x", "is absolute"},
      {"sub/../../x", "climbs out of the target folder"},
      {"C:x", "names a drive"},
  };
  for (const auto& [name, rule] : rules) EXPECT_EQ(UnsafeEntryRule(name), rule) << name;
}

TEST(LocalName, MapsWhatWindowsForbidsInNamesOnWindowsOnly) {
  const bool windows = platform::kPathSeparator == '\\';
  const struct {
    std::string element;
    std::string onWindows;
  } cases[] = {
      {"log 10:00.txt", "log 10_00.txt"},
      {"a<b>c\"d|e?f*g", "a_b_c_d_e_f_g"},
      {std::string("tab\there"), "tab_here"},
      {"plain (2).txt", "plain (2).txt"},
      {"aux.c", "_aux.c"},
      {"CONIN$", "_CONIN$"},
      {"com\xC2\xB2.txt", "_com\xC2\xB2.txt"},
      {"lpt9", "_lpt9"},
      {"trail.", "trail_"},
      {"dir ", "dir_"},
      {"com10", "com10"},
  };
  for (const auto& c : cases) EXPECT_EQ(LocalName(c.element), windows ? c.onWindows : c.element) << c.element;
}

TEST(NumberedName, PutsTheNumberBeforeTheLastExtension) {
  const struct {
    const char* name;
    int number;
    const char* expected;
  } cases[] = {
      {"report.doc", 2, "report (2).doc"},
      {"archive.tar.gz", 3, "archive.tar (3).gz"},
      {"notes", 2, "notes (2)"},
      {".profile", 2, ".profile (2)"},
      {"x.", 12, "x (12)."},
  };
  for (const auto& c : cases) EXPECT_EQ(NumberedName(c.name, c.number), c.expected) << c.name;
}

TEST(StoredNames, KeepsEveryFileUnderItsOwnOrANumberedName) {
  const std::string s(1, platform::kPathSeparator);
  const struct {
    const char* label;
    std::vector<std::string> sources;
    std::vector<std::string> expected;
  } cases[] = {
      {"folders dropped", {"a" + s + "one.txt", "two.txt", "b/c/three"}, {"one.txt", "two.txt", "three"}},
      {"same name twice", {"a" + s + "x.txt", "b" + s + "x.txt"}, {"x.txt", "x (2).txt"}},
      {"case ignored", {"a" + s + "Read.ME", "b" + s + "read.me"}, {"Read.ME", "read (2).me"}},
      {"same path twice", {"a" + s + "x.txt", "a" + s + "x.txt"}, {"x.txt", "x (2).txt"}},
      // A source's own name wins over a number another one would get.
      {"numbered name taken by a source",
       {"a" + s + "x.txt", "b" + s + "x.txt", "c" + s + "x (2).txt"},
       {"x.txt", "x (3).txt", "x (2).txt"}},
  };
  for (const auto& c : cases) EXPECT_EQ(StoredNames(c.sources), c.expected) << c.label;
}

TEST(StoredNames, ManyCopiesOfOneNameStayDistinct) {
  const std::vector<std::string> sources(70000, "dir/same.bin");
  const std::vector<std::string> names = StoredNames(sources);
  EXPECT_EQ(names.front(), "same.bin");
  EXPECT_EQ(names[1], "same (2).bin");
  EXPECT_EQ(names.back(), "same (70000).bin");
}

}  // namespace
}  // namespace carvex::zipkit
