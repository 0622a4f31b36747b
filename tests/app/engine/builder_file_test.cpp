#include "builder_file.h"

#include <gtest/gtest.h>

#include "mod_public.h"
#include "platform/error.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace carvex {
namespace {

using test::TempDir;

// Joins lines with CR LF after each, the only line end a builder file has.
std::string Lines(std::initializer_list<std::string> lines) {
  std::string out;
  for (const auto& line : lines) out += line + "\r\n";
  return out;
}

std::string Head(const std::string& echoedName) {
  return Lines({"ECHO OFF", "REM Carvex Generated Builder File", "ECHO Carvex for Windows",
                "ECHO -----------------------", "ECHO Now " + echoedName + " will be recreated.", "PAUSE"});
}

std::string Tail(const std::string& quotedName, const std::string& echoedName) {
  return Lines({"REN carvex.tmp \"" + quotedName + "\"",
                "ECHO The file " + echoedName + " has been created in the current folder.", "PAUSE"});
}

TEST(BuilderFileText, ThreePiecesOfMovie) {
  EXPECT_EQ(BuilderFileText("movie.avi", 2),
            "ECHO OFF\r\n"
            "REM Carvex Generated Builder File\r\n"
            "ECHO Carvex for Windows\r\n"
            "ECHO -----------------------\r\n"
            "ECHO Now movie.avi will be recreated.\r\n"
            "PAUSE\r\n"
            "COPY /B \"movie.avi.001.cvx\" carvex.tmp\r\n"
            "COPY /B carvex.tmp+\"movie.avi.002.cvx\" carvex.tmp\r\n"
            "COPY /B carvex.tmp+\"movie.avi.003.cvx\" carvex.tmp\r\n"
            "REN carvex.tmp \"movie.avi\"\r\n"
            "ECHO The file movie.avi has been created in the current folder.\r\n"
            "PAUSE\r\n");
}

TEST(BuilderFileText, TwoPiecesHaveOneAppendingCopy) {
  EXPECT_EQ(BuilderFileText("a.bin", 1), Head("a.bin") +
                                             Lines({"COPY /B \"a.bin.001.cvx\" carvex.tmp",
                                                    "COPY /B carvex.tmp+\"a.bin.002.cvx\" carvex.tmp"}) +
                                             Tail("a.bin", "a.bin"));
}

TEST(BuilderFileText, NameWithSpacesIsQuotedOnlyInCommands) {
  EXPECT_EQ(BuilderFileText("my holiday film.mpg", 1),
            Head("my holiday film.mpg") +
                Lines({"COPY /B \"my holiday film.mpg.001.cvx\" carvex.tmp",
                       "COPY /B carvex.tmp+\"my holiday film.mpg.002.cvx\" carvex.tmp"}) +
                Tail("my holiday film.mpg", "my holiday film.mpg"));
}

TEST(BuilderFileText, ThousandAndOnePiecesUseFourDigitsFromPieceThousand) {
  const std::string text = BuilderFileText("big.iso", 1000);
  std::string expected = Head("big.iso") + Lines({"COPY /B \"big.iso.001.cvx\" carvex.tmp"});
  for (int k = 2; k <= 1001; ++k)
    expected += "COPY /B carvex.tmp+\"" + PieceFileName("big.iso", k) + "\" carvex.tmp\r\n";
  expected += Tail("big.iso", "big.iso");
  EXPECT_EQ(text, expected);
  EXPECT_NE(text.find("\"big.iso.999.cvx\""), std::string::npos);
  EXPECT_NE(text.find("\"big.iso.1000.cvx\""), std::string::npos);
  EXPECT_NE(text.find("\"big.iso.1001.cvx\""), std::string::npos);
  EXPECT_EQ(text.find("big.iso.1002"), std::string::npos);
}

TEST(BuilderFileText, EveryLineEndsInCrLfAndTheFileInPause) {
  const std::string text = BuilderFileText("x", 4);
  ASSERT_GE(text.size(), 7u);
  EXPECT_EQ(text.substr(text.size() - 7), "PAUSE\r\n");
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
    }
    if (text[i] == '\r') {
      EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare CR at " << i;
    }
  }
}

// cmd.exe expands "%" even inside quotes and acts on & | < > ^ outside them; a name carrying
// them must still name itself and run nothing.
TEST(BuilderFileText, CharactersSpecialToCmdAreEscaped) {
  const struct {
    const char* name;
    const char* quoted;
    const char* echoed;
  } cases[] = {
      {"100% sure.txt", "100%% sure.txt", "100%% sure.txt"},
      {"%PATH%.txt", "%%PATH%%.txt", "%%PATH%%.txt"},
      {"Tom & Jerry.avi", "Tom & Jerry.avi", "Tom ^& Jerry.avi"},
      {"a^b.txt", "a^b.txt", "a^^b.txt"},
      {"x&del *.*", "x&del *.*", "x^&del *.*"},
      {"(draft) v2.doc", "(draft) v2.doc", "(draft) v2.doc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BuilderFileText(c.name, 1), Head(c.echoed) +
                                              Lines({"COPY /B \"" + std::string(c.quoted) + ".001.cvx\" carvex.tmp",
                                                     "COPY /B carvex.tmp+\"" + std::string(c.quoted) +
                                                         ".002.cvx\" carvex.tmp"}) +
                                              Tail(c.quoted, c.echoed));
  }
}

TEST(BuilderFileText, LineBreaksAndQuotesInANameCannotAddCommands) {
  const std::string text = BuilderFileText("evil\r\ndel *.*\"x", 1);
  EXPECT_EQ(text.find("\r\ndel"), std::string::npos);
  EXPECT_NE(text.find("REN carvex.tmp \"evil__del *.*_x\"\r\n"), std::string::npos);
}

TEST(BuilderFileText, NamesWithAnOemFormAreWrittenInTheOemCodePage) {
  // é is 0x82 in code page 437, the console code page of these machines.
  const std::string text = BuilderFileText("caf\xC3\xA9.avi", 1);
  EXPECT_EQ(text, Head("caf\x82.avi") +
                      Lines({"COPY /B \"caf\x82.avi.001.cvx\" carvex.tmp",
                             "COPY /B carvex.tmp+\"caf\x82.avi.002.cvx\" carvex.tmp"}) +
                      Tail("caf\x82.avi", "caf\x82.avi"));
}

TEST(BuilderFileText, NamesWithoutAnOemFormSwitchTheConsoleToUtf8) {
  const std::string name = "\xD0\xB4\xE6\x96\x87.txt";  // Cyrillic and CJK: no code page 437 form
  const std::string text = BuilderFileText(name, 1);
  const std::string head = Head(name);
  EXPECT_EQ(text, "ECHO OFF\r\nCHCP 65001 >NUL\r\n" + head.substr(std::string("ECHO OFF\r\n").size()) +
                      Lines({"COPY /B \"" + name + ".001.cvx\" carvex.tmp",
                             "COPY /B carvex.tmp+\"" + name + ".002.cvx\" carvex.tmp"}) +
                      Tail(name, name));
}

class WriteBuilderFileTest : public testing::Test {
protected:
  void SetUp() override {
    SplitFileName = "movie.avi";
    SplitFullPieces = 2;
  }
  TempDir dir;
};

TEST_F(WriteBuilderFileTest, WritesNamePlusBatIntoTheFolder) {
  WriteBuilderFile(dir.Path());
  EXPECT_EQ(dir.Read("movie.avi.Bat"), BuilderFileText("movie.avi", 2));
}

TEST_F(WriteBuilderFileTest, AcceptsAFolderEndingInASeparator) {
  WriteBuilderFile(dir.Folder());
  EXPECT_EQ(dir.Read("movie.avi.Bat"), BuilderFileText("movie.avi", 2));
}

TEST_F(WriteBuilderFileTest, ReplacesALongerExistingFile) {
  dir.Write("movie.avi.Bat", std::string(5000, 'z'));
  WriteBuilderFile(dir.Path());
  EXPECT_EQ(dir.Read("movie.avi.Bat"), BuilderFileText("movie.avi", 2));
}

TEST_F(WriteBuilderFileTest, MissingFolderRaisesAnErrorThatNamesTheFile) {
  const std::string missing = dir.File("no such folder");
  try {
    WriteBuilderFile(missing);
    FAIL() << "expected an error";
  } catch (const platform::RuntimeError& e) {
    EXPECT_NE(e.Number(), 0);
    EXPECT_NE(e.Description().find("movie.avi.Bat"), std::string::npos) << e.Description();
  }
  EXPECT_FALSE(platform::PathExists(missing));
}

}  // namespace
}  // namespace carvex
