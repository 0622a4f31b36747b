#include "reg_file.h"

#include <gtest/gtest.h>

#include "platform/registry.h"

namespace carvex {
namespace {

std::string Utf16File(std::string_view text) {
  const std::string utf16 = platform::EncodeRegistryString(text);
  return "\xFF\xFE" + utf16.substr(0, utf16.size() - 2);
}

const std::vector<RegFileKey> kTree = {
    {"HKEY_CURRENT_USER\\Software\\R\\Contents", {{"", "top"}, {"a \"q\"", "C:\\x\\y.exe"}}},
    {"HKEY_CURRENT_USER\\Software\\R\\Contents\\0001Ümlaut 😀", {{"1", "line\r\nbreak"}, {"2", ""}}},
};

TEST(FormatRegFile, WritesRegeditsFormat) {
  EXPECT_EQ(FormatRegFile(kTree), Utf16File("Windows Registry Editor Version 5.00\r\n"
                                            "\r\n[HKEY_CURRENT_USER\\Software\\R\\Contents]\r\n"
                                            "@=\"top\"\r\n"
                                            "\"a \\\"q\\\"\"=\"C:\\\\x\\\\y.exe\"\r\n"
                                            "\r\n[HKEY_CURRENT_USER\\Software\\R\\Contents\\0001Ümlaut 😀]\r\n"
                                            "\"1\"=\"line\\r\\nbreak\"\r\n"
                                            "\"2\"=\"\"\r\n"
                                            "\r\n"));
}

TEST(ParseRegFile, ReadsWhatFormatWrites) {
  std::vector<RegFileKey> keys;
  std::string error;
  ASSERT_TRUE(ParseRegFile(FormatRegFile(kTree), keys, error)) << error;
  EXPECT_EQ(keys, kTree);
}

TEST(ParseRegFile, ReadsRegedit4InUtf8) {
  std::vector<RegFileKey> keys;
  std::string error;
  ASSERT_TRUE(ParseRegFile(
      "\xEF\xBB\xBFREGEDIT4\n\n; a comment\n  [HKCU\\K]  \n\"n\" = \"é\\\\\"\t\n@=\"d\"\n", keys, error))
      << error;
  EXPECT_EQ(keys, (std::vector<RegFileKey>{{"HKCU\\K", {{"n", "é\\"}, {"", "d"}}}}));
}

TEST(ParseRegFile, RefusesWhatItCannotImport) {
  const std::string header = "REGEDIT4\n[HKCU\\K]\n";
  const struct {
    std::string bytes;
    std::string error;
  } cases[] = {
      {"[HKCU\\K]\n\"a\"=\"b\"\n", "line 1: not a registry file"},
      {"REGEDIT4\n\"a\"=\"b\"\n", "line 2: a value before the first key"},
      {"REGEDIT4\n[-HKCU\\K]\n", "line 2: a key deletion"},
      {header + "[HKCU\\K\n", "line 3: a key line that does not end"},
      {header + "\"a\"=-\n", "line 3: a value deletion"},
      {header + "\"a\"=dword:00000001\n", "line 3: a value of another type"},
      {header + "\"a\"=hex:01,02\n", "line 3: a value of another type"},
      {header + "\"a\"=hex(2):41,00,00,00\n", "line 3: a value of another type"},
      {header + "\"a\"=\"b\n\"c\"=\"d\"\n", "line 3: unterminated string"},
      {header + "\"a\"=b\n", "line 3: a value that is not a quoted string"},
      {header + "\"a\"=\"b\\tc\"\n", "line 3: unknown escape \\t"},
      {header + "\"a\"=\"b\" x\n", "line 3: text after the value's closing quote"},
      {header + "\"a\" \"b\"\n", "line 3: a value name without"},
      {header + "junk\n", "line 3: neither a key nor a value"},
      {header + "\"a\"=\"" + std::string(1 << 20, 'x') + "\"\n", "line 3: longer than"},
      {header + "\"a\"=\"\xC0\xAF\"\n", "the file is neither UTF-16LE text"},
      {header + std::string("\"a\"=\"\0\"\n", 8), "the file is neither UTF-16LE text"},
      {std::string("\xFF\xFER\0E\0G", 7), "the file is not UTF-16LE text"},
      {Utf16File("REGEDIT4\r\n") + std::string("\x00\xD8", 2), "the file is not UTF-16LE text"},
  };
  for (const auto& c : cases) {
    std::vector<RegFileKey> keys;
    std::string error;
    EXPECT_FALSE(ParseRegFile(c.bytes, keys, error)) << c.bytes.substr(0, 80);
    EXPECT_TRUE(keys.empty());
    EXPECT_EQ(error.substr(0, c.error.size()), c.error) << "instead: " << error;
  }
}

TEST(ParseRegFile, TakesALineUpToTheLimit) {
  const std::string line = "\"a\"=\"" + std::string(kMaxRegFileLine - 7, 'x') + "\"";
  ASSERT_EQ(line.size(), kMaxRegFileLine - 1);
  for (const auto& [extra, accepted] : {std::pair{"x", true}, std::pair{"xx", false}}) {
    std::vector<RegFileKey> keys;
    std::string error;
    const std::string bytes = "REGEDIT4\r\n[K]\r\n" + line.substr(0, 5) + extra + line.substr(5) + "\r\n";
    EXPECT_EQ(ParseRegFile(bytes, keys, error), accepted) << error;
  }
}

}  // namespace
}  // namespace carvex
