#include "platform/codepage.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace carvex::platform
