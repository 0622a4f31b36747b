#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace carvex::platform {
namespace {

// Known digests (FIPS 180-2 examples), whole and fed in uneven parts across Finish's reset.
TEST(Sha256Test, GivesTheKnownDigestsHoweverTheBytesArrive) {
  const struct {
    std::string bytes;
    const char* hex;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  Sha256 hash;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hex);
    hash.Update(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(ToHex(hash.Finish()), c.hex);
    for (std::size_t at = 0, part = 1; at < c.bytes.size(); at += part, part = part * 3 + 1)
      hash.Update(c.bytes.data() + at, std::min(part, c.bytes.size() - at));
    EXPECT_EQ(ToHex(hash.Finish()), c.hex);
    ASSERT_TRUE(DigestFromHex(c.hex));
    EXPECT_EQ(ToHex(*DigestFromHex(c.hex)), c.hex);
  }
}

TEST(Sha256Test, OnlySixtyFourHexDigitsMakeADigest) {
  const std::string upper(64, 'A');
  ASSERT_TRUE(DigestFromHex(upper));
  EXPECT_EQ(ToHex(*DigestFromHex(upper)), std::string(64, 'a'));
  for (const std::string& text : {std::string(63, 'a'), std::string(65, 'a'), std::string(63, 'a') + "g",
                                  std::string(63, 'a') + " "})
    EXPECT_FALSE(DigestFromHex(text)) << text;
}

}  // namespace
}  // namespace carvex::platform
