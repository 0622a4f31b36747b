#include "cli_options.h"

#include <gtest/gtest.h>

namespace carvex::cli {
namespace {

TEST(CliOptions, RefusesCommandLinesThatCannotRun) {
  const struct {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{}, "nothing to do"},
      {{"join", "a"}, "unknown command"},
      {{"split", "a", "--mb", "1"}, "--dest"},
      {{"split", "a", "--dest", "d"}, "size"},
      {{"split", "a", "--dest", "d", "--mb", "1", "--kb", "2"}, "one size"},
      {{"split", "a", "--dest", "d", "--mb"}, "needs a value"},
      {{"split", "--dest", "d", "--disk"}, "no file"},
      {{"split", "a", "--dest", "d", "--disk", "--level", "5"}, "go with --zip"},
      {{"split", "a", "--dest", "d", "--disk", "--zip", "z", "--level", "12"}, "0 to 9"},
      {{"split", "a", "--dest", "d", "--disk", "--unzip"}, "go with build"},
      {{"build", "a", "b"}, "one piece"},
      {{"build", "a", "--pieces", "3"}, "no size"},
      {{"build", "a", "--bogus"}, "unknown option"},
      {{"split", "a", "--dest", "d", "--disk", "--zip", "z", "--password-file", "/no/such/file"}, "password file"},
      {{"build", "a", "--sh"}, "go with split"},
      {{"verify"}, "no piece to verify"},
      {{"verify", "a", "b"}, "verify takes one piece"},
      {{"verify", "a", "--yes"}, "verify takes no options"},
  };
  for (const auto& c : cases) {
    Options options;
    std::string error;
    EXPECT_FALSE(Parse(c.args, options, error));
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
  }
}

TEST(CliOptions, ReadsASplitAndABuild) {
  Options split;
  std::string error;
  ASSERT_TRUE(Parse({"split", "a.bin", "b.bin", "--dest", "out", "--predefined", "700 Mb", "--zip", "Photos", "--level",
                     "3", "--sfx", "--yes", "--no-checksums", "--sh"},
                    split, error))
      << error;
  EXPECT_EQ(split.command, Command::kSplit);
  EXPECT_EQ(split.files, (std::vector<std::string>{"a.bin", "b.bin"}));
  EXPECT_EQ(split.size, Size::kPredefined);
  EXPECT_EQ(split.sizeText, "700 Mb");
  EXPECT_EQ(split.zipName, "Photos");
  EXPECT_EQ(split.level, 3);
  EXPECT_TRUE(split.sfx && split.yes && split.noChecksums && split.joinScript);

  Options build;
  ASSERT_TRUE(Parse({"build", "x.001.cvx", "--overwrite", "--delete-pieces", "--unzip"}, build, error)) << error;
  EXPECT_TRUE(build.overwrite && build.deletePieces && build.unzip);
  EXPECT_TRUE(build.destination.empty());

  Options verify;
  ASSERT_TRUE(Parse({"verify", "x.002.cvx"}, verify, error)) << error;
  EXPECT_EQ(verify.command, Command::kVerify);
  EXPECT_EQ(verify.files, std::vector<std::string>{"x.002.cvx"});
}

// Files a wildcard brings in, named like options, are files once "--" has been said.
TEST(CliOptions, EveryWordAfterTheEndOfOptionsIsAFile) {
  Options split;
  std::string error;
  ASSERT_TRUE(Parse({"split", "--dest", "out", "--mb", "1", "--", "--yes", "--no-checksums", "--", "-"}, split,
                    error))
      << error;
  EXPECT_EQ(split.files, (std::vector<std::string>{"--yes", "--no-checksums", "--", "-"}));
  EXPECT_FALSE(split.yes || split.noChecksums);

  Options build;
  EXPECT_FALSE(Parse({"build", "--"}, build, error));
  EXPECT_NE(error.find("no piece to build"), std::string::npos) << error;
}

}  // namespace
}  // namespace carvex::cli
