#include "mod_public.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace carvex {
namespace {

using test::NativePath;
using test::TempDir;

TEST(FormatSize, MatchesTheSizeTextRules) {
  const struct {
    Bytes bytes;
    const char* text;
  } cases[] = {
      {0, " 0b"},
      {1, " 1b"},
      {512, " 512b"},
      {1023, " 1023b"},
      {1024, " 1Kb"},  // the Kb rule replaces the byte rule at exactly 1024
      {1025, " 1Kb"},
      {1100, " 1.07Kb"},
      {1152, " 1.13Kb"},  // 1.125: the half rounds up
      {1536, " 1.5Kb"},
      {10240, " 10Kb"},
      {1048575, " 1024Kb"},  // rounds up to the next unit's value, still in Kb
      {1048576, " 1Mb"},
      {1447035, " 1.38Mb"},
      {1572864, " 1.5Mb"},
      {1073741823, " 1024Mb"},
      {1073741824, " 1Gb"},
      {2147483647, " 2Gb"},  // 2 GiB - 1
      {2147483648LL, " 2Gb"},
      {4294967295LL, " 4Gb"},
      {4294967296LL + 536870912LL, " 4.5Gb"},
      {5368709120LL + 10737418LL, " 5.01Gb"},
      {1099511627776LL, " 1024Gb"},  // no unit above Gb
      {-5, "-5b"},
      {-2048, "-2048b"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatSize(c.bytes), c.text) << "bytes = " << c.bytes;
}

TEST(SignedText, HasASignPosition) {
  EXPECT_EQ(SignedText(0), " 0");
  EXPECT_EQ(SignedText(42), " 42");
  EXPECT_EQ(SignedText(-42), "-42");
  EXPECT_EQ(SignedText(8589934592LL), " 8589934592");
}

TEST(PieceNaming, NumbersHaveAtLeastThreeDigits) {
  const struct {
    std::int64_t k;
    const char* name;
  } cases[] = {
      {1, "movie.avi.001.cvx"},     {7, "movie.avi.007.cvx"},       {10, "movie.avi.010.cvx"},
      {99, "movie.avi.099.cvx"},    {999, "movie.avi.999.cvx"},     {1000, "movie.avi.1000.cvx"},
      {1001, "movie.avi.1001.cvx"}, {99999, "movie.avi.99999.cvx"}, {4294967296LL, "movie.avi.4294967296.cvx"},
  };
  for (const auto& c : cases) EXPECT_EQ(PieceFileName("movie.avi", c.k), c.name);
  EXPECT_EQ(PiecePath(NativePath("D:\\out\\"), "movie.avi", 7), NativePath("D:\\out\\movie.avi.007.cvx"));
  EXPECT_EQ(PiecePath(NativePath("D:\\out\\"), "movie.avi", 1000), NativePath("D:\\out\\movie.avi.1000.cvx"));
}

TEST(PieceNaming, BuildNameDropsTheFirstPieceSuffix) {
  EXPECT_EQ(BuildNameFromPiece("movie.avi.001.cvx"), "movie.avi");
  EXPECT_EQ(BuildNameFromPiece("x.001.cvx"), "x");
  EXPECT_EQ(BuildNameFromPiece("my file.tar.gz.001.cvx"), "my file.tar.gz");
  // Too short to be a first piece: nothing, rather than a name cut from the wrong place.
  EXPECT_EQ(BuildNameFromPiece(".001.cvx"), "");
  EXPECT_EQ(BuildNameFromPiece("cvx"), "");
}

TEST(PieceNaming, NameAndBuildNameRoundTrip) {
  for (const char* name : {"a", "movie.avi", "Résumé 2026.pdf", "no extension", "..."})
    EXPECT_EQ(BuildNameFromPiece(PieceFileName(name, 1)), name);
}

TEST(PathHelpers, SplitOnTheLastSeparator) {
  const struct {
    const char* path;
    const char* extension;
    const char* folder;
    const char* fileName;
    const char* parent;
  } cases[] = {
      {"C:\\data\\movies\\film.avi", ".avi", "C:\\data\\movies\\", "film.avi", "movies"},
      {"C:\\film.avi", ".avi", "C:\\", "film.avi", ""},
      {"C:\\my.folder\\file", ".folder\\file", "C:\\my.folder\\", "file", "my.folder"},
      {"C:\\pack.zip", ".zip", "C:\\", "pack.zip", ""},
      {"readme.txt", ".txt", "", "", ""},
      {"C:\\data\\", "", "C:\\data\\", "", "data"},
      {"C:\\a\\b\\c\\archive.tar.gz", ".gz", "C:\\a\\b\\c\\", "archive.tar.gz", "c"},
      {"", "", "", "", ""},
  };
  for (const auto& c : cases) {
    const std::string path = NativePath(c.path);
    SCOPED_TRACE(path);
    EXPECT_EQ(GetExtension(path), NativePath(c.extension));
    EXPECT_EQ(GetFolderPart(path), NativePath(c.folder));
    EXPECT_EQ(GetFileNamePart(path), c.fileName);
    EXPECT_EQ(GetParentFolderName(path), c.parent);
  }
}

class BuildSetSize : public testing::Test {
protected:
  TempDir dir;
};

TEST_F(BuildSetSize, AddsConsecutivePieces) {
  dir.Write("movie.avi.001.cvx", std::string(100, 'a'));
  dir.Write("movie.avi.002.cvx", std::string(100, 'b'));
  dir.Write("movie.avi.003.cvx", std::string(37, 'c'));
  EXPECT_EQ(GetBuildSetSize(dir.File("movie.avi.001.cvx")), 237);
}

TEST_F(BuildSetSize, StopsAtTheFirstMissingNumber) {
  dir.Write("movie.avi.001.cvx", std::string(10, 'a'));
  dir.Write("movie.avi.002.cvx", std::string(20, 'b'));
  dir.Write("movie.avi.004.cvx", std::string(40, 'd'));
  dir.Write("movie.avi.005.cvx", std::string(50, 'e'));
  EXPECT_EQ(GetBuildSetSize(dir.File("movie.avi.001.cvx")), 30);
}

TEST_F(BuildSetSize, IgnoresOtherSetsAndAFolderNamedLikeAPiece) {
  dir.Write("movie.avi.001.cvx", std::string(10, 'a'));
  dir.MakeFolder("movie.avi.002.cvx");
  dir.Write("movie.av.002.cvx", std::string(20, 'x'));
  EXPECT_EQ(GetBuildSetSize(dir.File("movie.avi.001.cvx")), 10);
}

TEST_F(BuildSetSize, IsZeroWithoutAFirstPiece) { EXPECT_EQ(GetBuildSetSize(dir.File("movie.avi.001.cvx")), 0); }

TEST_F(BuildSetSize, CountsPastPiece999) {
  for (int k = 1; k <= 1001; ++k) dir.Write(PieceFileName("x", k), "ab");
  EXPECT_EQ(GetBuildSetSize(dir.File("x.001.cvx")), 2002);
}

TEST_F(BuildSetSize, AddsSizesAboveFourGigabytes) {
  const Bytes big = 3LL << 30;
  dir.MakeSparse("disk.img.001.cvx", big);
  dir.MakeSparse("disk.img.002.cvx", big);
  dir.MakeSparse("disk.img.003.cvx", 5);
  EXPECT_EQ(GetBuildSetSize(dir.File("disk.img.001.cvx")), 2 * big + 5);
}

}  // namespace
}  // namespace carvex
