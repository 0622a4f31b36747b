#include "checksums.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "hash_pipeline.h"
#include "platform/sha256.h"
#include "support/temp_dir.h"

namespace carvex {
namespace {

Sha256Digest Digest(const std::string& bytes) {
  platform::Sha256 hash;
  hash.Update(bytes.data(), bytes.size());
  return hash.Finish();
}

SetChecksums ThreePieces() { return {{Digest("1"), Digest("2"), Digest("3")}, Digest("123")}; }

TEST(ChecksumFile, TextIsWhatSha256sumWritesAndReadsBack) {
  const auto hex = [](const std::string& bytes) { return platform::ToHex(Digest(bytes)); };
  const struct {
    std::string name;
    std::string text;
  } cases[] = {
      {"movie.avi", hex("1") + "  movie.avi.001.cvx\n" + hex("2") + "  movie.avi.002.cvx\n" + hex("3") +
                        "  movie.avi.003.cvx\n" + hex("123") + "  movie.avi\n"},
      // sha256sum's own escapes for a backslash and a line break in a name.
      {"a\\b\nc", "\\" + hex("1") + "  a\\\\b\\nc.001.cvx\n\\" + hex("2") + "  a\\\\b\\nc.002.cvx\n\\" + hex("3") +
                      "  a\\\\b\\nc.003.cvx\n\\" + hex("123") + "  a\\\\b\\nc\n"},
      // As read: a file that went through a Windows editor, in binary form and another order.
      {"M", hex("123") + " *m\r\n" + hex("3") + " *M.003.cvx\r\n\r\n" + hex("2") + " *M.002.CVX\r\n" + hex("1") +
                " *M.001.cvx\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.name != "M") {
      EXPECT_EQ(ChecksumFileText(c.name, ThreePieces()), c.text);
    }
    std::string problem;
    const auto sums = ParseChecksumText(c.text, c.name, 3, problem);
    ASSERT_TRUE(sums) << problem;
    EXPECT_EQ(sums->pieces, ThreePieces().pieces);
    EXPECT_EQ(sums->whole, ThreePieces().whole);
  }
}

TEST(ChecksumFile, AFileThatDoesNotFitTheSetSaysWhy) {
  const std::string text = ChecksumFileText("m", ThreePieces());
  const std::string line2 = text.substr(text.find('\n') + 1, text.find('\n', text.find('\n') + 1) - text.find('\n'));
  const struct {
    std::string text;
    std::int64_t pieces;
    std::string problem;
  } cases[] = {
      {text, 2, "it lists 'm.003.cvx', which is not among the pieces found"},
      {std::string(64, 'a') + "  m.x.cvx\n" + text, 3, "it lists 'm.x.cvx', which is not a file of this set"},
      {text, 4, "it has no line for 'm.004.cvx'"},
      {text + line2, 3, "it lists 'm.002.cvx' more than once"},
      {text + std::string(64, 'a') + "  ../../etc/passwd\n", 3, "it lists '../../etc/passwd', which is not a file of this set"},
      {text.substr(0, text.rfind('\n', text.size() - 2) + 1), 3, "it has no line for 'm'"},
      {"\n" + std::string(63, 'a') + "  m\n", 0, "line 2 is not a checksum line"},
      {std::string(64, 'g') + "  m\n", 0, "line 1 is not a checksum line"},
      {std::string(64, 'a') + "m\n", 0, "line 1 is not a checksum line"},
      {"\\" + std::string(64, 'a') + "  m\\x\n", 0, "line 1 is not a checksum line"},
      {"\n\n", -1, "it holds no checksum lines"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.problem);
    std::string problem;
    EXPECT_FALSE(ParseChecksumText(c.text, "m", c.pieces, problem));
    EXPECT_EQ(problem, c.problem);
  }
}

// The pipeline's digests are those of the bytes it was given, piece by piece and whole,
// however the chunks fall and whether it hashes on threads or in the loop.
TEST(HashPipelineTest, DigestsAreThoseOfTheBytesHandedOver) {
  const std::string data = test::PatternBytes(3'000'000, 5);
  for (const bool threads : {true, false}) {
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{4096}, std::size_t{102400}}) {
      SCOPED_TRACE(testing::Message() << "threads " << threads << " chunk " << chunk);
      // Pieces of 250000 bytes but the last, and one empty piece in the middle.
      const std::vector<std::size_t> pieceSizes = {250000, 0, 250000, data.size() - 500000};
      const std::size_t limit = chunk == 1 ? 3 : pieceSizes.size();  // a byte at a time is slow
      HashPipeline pipeline(chunk, threads);
      std::vector<Sha256Digest> expected;
      std::size_t at = 0;
      std::string handed;
      for (std::size_t p = 0; p < limit; ++p) {
        const std::size_t size = chunk == 1 ? std::min<std::size_t>(pieceSizes[p], 3000) : pieceSizes[p];
        std::size_t done = 0;
        do {
          const std::size_t part = std::min(chunk, size - done);
          std::copy_n(data.data() + at + done, part, pipeline.NextBuffer());
          done += part;
          pipeline.Publish(part, done == size);
        } while (done < size);
        expected.push_back(Digest(data.substr(at, size)));
        handed += data.substr(at, size);
        at += size;
      }
      EXPECT_EQ(pipeline.AllPieces(), expected);
      EXPECT_EQ(pipeline.Whole(), Digest(handed));
    }
  }
}

#ifndef _WIN32
std::size_t ThreadCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
  return count;
}

// A cancelled job drops its pipeline with chunks still in flight; its threads end with it.
TEST(HashPipelineTest, DroppingItMidwayEndsItsThreads) {
  const std::size_t before = ThreadCount();
  for (int round = 0; round < 20; ++round) {
    HashPipeline pipeline(65536);
    for (int k = 0; k < 40; ++k) pipeline.Publish(65536, k % 7 == 0);
    EXPECT_EQ(ThreadCount(), before + 2);
  }
  EXPECT_EQ(ThreadCount(), before);
}
#endif

}  // namespace
}  // namespace carvex
