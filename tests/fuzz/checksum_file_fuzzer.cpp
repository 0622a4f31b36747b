// Arbitrary bytes as the N.sha256 beside a set: whatever the file holds, reading it either
// names a problem or gives checksums that, written out again, read back the same; and no line
// can name a file outside the set.

#include <cstddef>
#include <cstdint>
#include <string>

#include "checksums.h"
#include "fuzz_support.h"

namespace {

using carvex::fuzz::Broken;

void CheckRead(std::string_view text, const std::string& name, std::int64_t pieces) {
  std::string problem;
  const std::optional<carvex::SetChecksums> sums = carvex::ParseChecksumText(text, name, pieces, problem);
  if (!sums) {
    if (problem.empty()) Broken("a checksum file was refused without a reason");
    return;
  }
  if (pieces >= 0 && sums->pieces.size() != static_cast<std::size_t>(pieces))
    Broken("the checksums read are not one for each piece of the set");
  std::string again;
  const auto read = carvex::ParseChecksumText(carvex::ChecksumFileText(name, *sums), name,
                                              static_cast<std::int64_t>(sums->pieces.size()), again);
  if (!read || read->pieces != sums->pieces || read->whole != sums->whole)
    Broken("checksums written out did not read back: " + again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first byte picks the set's name and how many pieces the build found.
  if (size == 0) return 0;
  static const std::string kNames[] = {"m", "movie.avi", "a\\b\nc", "\xC3\xBC"};
  const std::string& name = kNames[data[0] % 4];
  const std::int64_t pieces = static_cast<std::int64_t>(data[0] >> 2) % 8 - 1;
  CheckRead(carvex::fuzz::AsText(data + 1, size - 1), name, pieces);
  return 0;
}
