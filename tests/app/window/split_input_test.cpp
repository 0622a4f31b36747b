#include "split_input.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "support/temp_dir.h"

namespace carvex {
namespace {

TEST(LeadingNumber, ReadsTheNumberAtTheStartOfATextBox) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"12", 12},    {"  1.5", 1.5}, {"abc", 0},  {"3 MB", 3},   {"-5", -5},    {"", 0},     {".5", 0.5},
      {"1e3", 1000}, {"1,5", 1},     {"2.5.1", 2.5}, {"+7x", 7}, {"\t42", 42},  {"-", 0},    {"1e", 1},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(LeadingNumber(c.text), c.value) << '"' << c.text << '"';
}

TEST(PieceSizeFor, EachChoiceTurnsItsTextIntoBytes) {
  const struct {
    SizeChoice choice;
    const char* text;
    Bytes fileSize;
    Bytes piece;
  } cases[] = {
      {SizeChoice::kDisk, "ignored", 3000000, 1447035},
      {SizeChoice::kMb, "2", 0, 2097152},
      {SizeChoice::kMb, "4096", 0, 4294967296LL},  // beyond 32 bits, which the fields now hold
      {SizeChoice::kKb, "1.5", 0, 1536},
      {SizeChoice::kBytes, "abc", 0, 0},
      {SizeChoice::kBytes, "-20", 0, -20},
      {SizeChoice::kBytes, "2.5", 0, 2},  // halves go to the even neighbour
      {SizeChoice::kBytes, "3.5", 0, 4},
      {SizeChoice::kPieces, "3", 10, 4},
      {SizeChoice::kPieces, "3", 9, 3},
      {SizeChoice::kPieces, "2.5", 10, 5},
      {SizeChoice::kPieces, "-2", 10, -5},
      {SizeChoice::kPredefined, "12 Tb", 0, 0},
      {SizeChoice::kPredefined, "100 kb", 0, 0},  // the unit's case is exact
  };
  for (const auto& c : cases)
    EXPECT_EQ(PieceSizeFor(c.choice, c.text, c.fileSize), c.piece) << c.text << " of " << c.fileSize;
}

TEST(PieceSizeFor, EveryPredefinedSize) {
  const struct {
    const char* text;
    Bytes bytes;
  } cases[] = {
      {"100 Kb", 102400},     {"360 Kb", 368640},       {"500 Kb", 512000},       {"720 Kb", 737280},
      {"1.2 Mb", 1258291},    {"1.38 Mb", 1447035},     {"1.44 Mb", 1509949},     {"1.68 Mb", 1761608},
      {"1.72 Mb", 1803551},   {"100 Mb", 104857600},    {"650 Mb", 681574400},    {"700 Mb", 734003200},
      {"1 Gb", 1073741824},
  };
  for (const auto& c : cases) EXPECT_EQ(PieceSizeFor(SizeChoice::kPredefined, c.text, 0), c.bytes) << c.text;
}

TEST(PieceSizeFor, SizesThatCannotBeHeldRaiseErrorsThatSaySo) {
  const struct {
    SizeChoice choice;
    const char* text;
    const char* says;
  } cases[] = {
      {SizeChoice::kPieces, "0", "Division by zero"},
      {SizeChoice::kPieces, "0.4", "Division by zero"},
      {SizeChoice::kMb, "1e13", "Overflow"},
      {SizeChoice::kBytes, "1e300", "Overflow"},
  };
  for (const auto& c : cases) {
    try {
      PieceSizeFor(c.choice, c.text, 100);
      ADD_FAILURE() << c.text << " was accepted";
    } catch (const platform::RuntimeError& e) {
      EXPECT_NE(e.Description().find(c.says), std::string::npos) << e.Description();
    }
  }
}

TEST(Confirmation, SplitTextWithARemainderHasTheDoubledBlank) {
  const std::string text = SplitConfirmation("movie.avi", test::NativePath("C:\\data\\movies\\movie.avi"), 3000000,
                                             1447035, test::NativePath("C:\\out\\"));
  EXPECT_EQ(text,
            "You have chosen to split the file movie.avi:\n\r\n\r"
            "This file is  2.86Mb in size.\n\r\n\r"
            "The chosen file will be split into  2 files,  1.38Mb in size and one file  103.45Kb in size.\n\r\n\r"
            "And is in the path \n\r" + test::NativePath("C:\\data\\movies\\") + ".\n\r\n\r"
            "You have chosen to split this file into files of size  1.38Mb.\n\r\n\r"
            "The folder you are splitting this file into is \n\r" + test::NativePath("C:\\out\\") + "\n\r\n\r"
            "Do you want to continue with the splitting process?");
}

TEST(Confirmation, SplitTextForAnEvenSplit) {
  const std::string text = SplitConfirmation("a.bin", "/a.bin", 300000, 100000, "/out/");
  EXPECT_NE(text.find("The chosen file will be split into  3 files, each  97.66Kb in size.\n\r\n\r"),
            std::string::npos)
      << text;
}

TEST(Confirmation, BuildTextNamesTheFileSizeAndWhatHappensToThePieces) {
  EXPECT_EQ(BuildConfirmation("movie.avi", 250000, false),
            "You have chosen to build a file: \n\r\n\r"
            "When this file is built it will be called movie.avi\n\r\n\r"
            "The size of this file will be  244.14Kb\n\r\n\r"
            "The files used to build the files will remain where they are.\n\r\n\r"
            "Do you want to continue the building process?");
  EXPECT_NE(BuildConfirmation("x", 1, true).find("The files used to build the file will be deleted after building."),
            std::string::npos);
}

}  // namespace
}  // namespace carvex
