#include "split_input.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>

#include "platform/error.h"

namespace carvex {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The numbers the runtime has always used for these two failures.
constexpr long kOverflow = 6;
constexpr long kDivisionByZero = 11;

}  // namespace

double LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::string number;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
  const std::size_t digitsFrom = number.size();
  while (i < text.size() && IsDigit(text[i])) number += text[i++];
  if (i < text.size() && text[i] == '.') {
    number += text[i++];
    while (i < text.size() && IsDigit(text[i])) number += text[i++];
  }
  if (number.size() == digitsFrom || number.substr(digitsFrom) == ".") return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
    const std::size_t expDigits = j;
    while (j < text.size() && IsDigit(text[j])) exponent += text[j++];
    if (j > expDigits) number += exponent;
  }
  // strtod follows the C locale here: the program never changes LC_NUMERIC.
  return std::strtod(number.c_str(), nullptr);
}

Bytes ToByteCount(double value) {
  // 2^63 is the first double beyond the size fields.
  if (!(std::fabs(value) < 9223372036854775808.0))
    throw platform::RuntimeError(kOverflow, "Overflow: the size is larger than a file can be.");
  std::fesetround(FE_TONEAREST);
  return static_cast<Bytes>(std::nearbyint(value));
}

Bytes PieceSizeFor(SizeChoice choice, std::string_view text, Bytes fileSize) {
  switch (choice) {
    case SizeChoice::kDisk: return kDiskPieceSize;
    case SizeChoice::kMb: return ToByteCount(LeadingNumber(text) * 1024 * 1024);
    case SizeChoice::kKb: return ToByteCount(LeadingNumber(text) * 1024);
    case SizeChoice::kBytes: return ToByteCount(LeadingNumber(text));
    case SizeChoice::kPieces: {
      const Bytes pieces = ToByteCount(LeadingNumber(text));
      if (pieces == 0)
        throw platform::RuntimeError(kDivisionByZero, "Division by zero: the number of pieces is 0.");
      const Bytes rest = fileSize % pieces;
      return rest == 0 ? fileSize / pieces : (fileSize - rest) / pieces + 1;
    }
    case SizeChoice::kPredefined: {
      if (text.size() < 3) return 0;
      const std::string_view unit = text.substr(text.size() - 2);
      const double number = LeadingNumber(text.substr(0, text.size() - 3));
      if (unit == "Kb") return ToByteCount(number * 1024);
      if (unit == "Mb") return ToByteCount(number * 1024 * 1024);
      if (unit == "Gb") return ToByteCount(number * 1024 * 1024 * 1024);
      return 0;
    }
  }
  return 0;
}

std::string SplitConfirmation(const std::string& fileName, const std::string& sourcePath, Bytes fileSize,
                              Bytes pieceSize, const std::string& destination) {
  const std::string gap = LineBreak + LineBreak;
  const Bytes rest = fileSize % pieceSize;
  const Bytes full = (fileSize - rest) / pieceSize;
  std::string text = "You have chosen to split the file " + fileName + ":" + gap;
  text += "This file is " + FormatSize(fileSize) + " in size." + gap;
  if (rest == 0)
    text += "The chosen file will be split into " + SignedText(full) + " files, each " + FormatSize(pieceSize) +
            " in size." + gap;
  else
    text += "The chosen file will be split into " + SignedText(full) + " files, " + FormatSize(pieceSize) +
            " in size and one file " + FormatSize(rest) + " in size." + gap;
  text += "And is in the path " + LineBreak + GetFolderPart(sourcePath) + "." + gap;
  text += "You have chosen to split this file into files of size " + FormatSize(pieceSize) + "." + gap;
  text += "The folder you are splitting this file into is " + LineBreak + destination + gap;
  text += "Do you want to continue with the splitting process?";
  return text;
}

std::string BuildConfirmation(const std::string& fileName, Bytes setSize, bool deletePieces) {
  const std::string gap = LineBreak + LineBreak;
  std::string text = "You have chosen to build a file: " + gap;
  text += "When this file is built it will be called " + fileName + gap;
  text += "The size of this file will be " + FormatSize(setSize) + gap;
  text += deletePieces ? "The files used to build the file will be deleted after building."
                       : "The files used to build the files will remain where they are.";
  text += gap + "Do you want to continue the building process?";
  return text;
}

}  // namespace carvex
