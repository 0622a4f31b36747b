#include "platform/codepage.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace carvex::platform {
namespace {

TEST(EncodeOem, AsciiIsUnchanged) {
  const std::string ascii = "ECHO OFF\r\nCOPY /B \"a b.txt.001.cvx\" carvex.tmp ~!@#$%^&*()_+{}|:<>?`-=[];',./";
  EXPECT_EQ(EncodeOem(ascii), ascii);
  EXPECT_EQ(EncodeOem(""), "");
}

TEST(EncodeOem, WesternLettersHaveOemBytes) {
  EXPECT_EQ(EncodeOem("caf\xC3\xA9"), "caf\x82");
  EXPECT_EQ(EncodeOem("\xC3\x84pfel \xC3\xBC"), "\x8E" "pfel \x81");
}

TEST(EncodeOem, CharactersWithoutAnExactFormAreRefused) {
  for (const char* text : {"\xD0\xB4", "\xE6\x96\x87", "a\xF0\x9F\x98\x80" "b", "\xC5\x93"}) {
    EXPECT_EQ(EncodeOem(text), std::nullopt) << text;
  }
}

TEST(AnsiCodePage, ValidTextRoundTripsAndInvalidUtf8IsRefused) {
  for (const char* text : {"", "C:\\Program Files\\Out ~!@#$%^&()_+{};',.", "caf\xC3\xA9 \xC3\x84pfel"}) {
    const std::optional<std::string> ansi = EncodeAnsi(text);
    ASSERT_TRUE(ansi.has_value()) << text;
    EXPECT_EQ(DecodeAnsi(*ansi), text);
  }
  // A stray continuation byte, a cut sequence, an overlong "/", a surrogate, beyond U+10FFFF.
  for (const char* text : {"\x80", "a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
    EXPECT_EQ(EncodeAnsi(text), std::nullopt) << text;
  }
}

TEST(AnsiCodePage, AnyBytesDecodeToTextThatEncodesAgain) {
  EXPECT_TRUE(EncodeAnsi(DecodeAnsi(test::PatternBytes(4096, 9))).has_value());
}

}  // namespace
}  // namespace carvex::platform
