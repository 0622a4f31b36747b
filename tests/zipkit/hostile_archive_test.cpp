// Archives from strangers, unpacked where no one can cancel: every kind of lie in the layout is
// refused before the first byte is written.
// The archives are assembled byte by byte, since no writer makes them.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/seam.h"
#include "support/temp_dir.h"
#include "zip_test_support.h"
#include "zipkit/entry_names.h"
#include "zipkit/errors.h"
#include "zipkit/extract.h"
#include "zipkit/zip_component.h"

namespace carvex::zipkit {
namespace {

using carvex::test::TempDir;
using test::AfterAGoodEntry;
using test::EndClaims;
using test::EntryFields;
using test::FinishArchive;
using test::ListFolder;
using test::LocalHeader;
using test::NestedArchive;
using test::RaisedBy;
using test::SharedHeaderArchive;
using test::StoredFields;

constexpr long Number(ZipError error) { return static_cast<long>(error); }

// Remembers the largest single read.
class WatchingSeam : public platform::Seam {
 public:
  void BeforeRead(const std::string&, std::size_t size) override {
    largestRead = std::max(largestRead, size);
  }

  std::size_t largestRead = 0;
};

TEST(HostileArchives, AreRefusedBeforeAnythingIsWritten) {
  const std::string data = "payload";
  EntryFields intoCentral = StoredFields("bad.txt", data);
  intoCentral.compressedSize = intoCentral.uncompressedSize = data.size() + 10;
  EntryFields hugeData = StoredFields("bad.txt", data);
  hugeData.compressedSize = hugeData.uncompressedSize = std::uint64_t{1} << 40;
  EntryFields farHeader = StoredFields("bad.txt", data, 0x7FFFFFF0);
  const struct {
    const char* label;
    std::string archive;
    ZipError expected;
    std::string says;
  } cases[] = {
      {"50 entries share one local header", SharedHeaderArchive(50), ZipError::kOverlappingEntries,
       "share bytes"},
      {"each entry holds the next", NestedArchive(), ZipError::kOverlappingEntries, "'a.txt' and 'b.txt'"},
      {"data runs into the central directory", AfterAGoodEntry(intoCentral, data), ZipError::kCorrupt,
       "'bad.txt' runs into"},
      {"data past the end of the file", AfterAGoodEntry(hugeData, data), ZipError::kCorrupt,
       "'bad.txt' runs into"},
      {"local header past the end of the file", AfterAGoodEntry(farHeader, data), ZipError::kCorrupt,
       "'bad.txt' lies past"},
      {"2^32 entries in ZIP64",
       AfterAGoodEntry(StoredFields("b.txt", data), data,
                       {std::uint64_t{1} << 32, std::nullopt, std::nullopt, true}),
       ZipError::kNotAnArchive, "claims 4294967296 entries"},
      {"46 bytes for each of 2^32 entries",
       AfterAGoodEntry(StoredFields("b.txt", data), data,
                       {std::uint64_t{1} << 32, std::uint64_t{46} << 32, std::nullopt, true}),
       ZipError::kNotAnArchive, "would reach past"},
      // The directory's true offset, but 200 MiB from there: nothing that size may be read.
      {"central directory larger than the file",
       AfterAGoodEntry(StoredFields("b.txt", data), data, {std::nullopt, 200u << 20, std::nullopt, false}),
       ZipError::kNotAnArchive, "would reach past"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    dir.Write("h.zip", c.archive);
    WatchingSeam seam;
    platform::ScopedSeam scoped(seam);
    ZipComponent zip;
    zip.SetArchivePath(dir.File("h.zip"));
    const auto raised = RaisedBy([&] { zip.Extract(); });
    EXPECT_EQ(raised.number, Number(c.expected)) << raised.description;
    EXPECT_NE(raised.description.find(c.says), std::string::npos) << raised.description;
    EXPECT_NE(raised.description.find(dir.File("h.zip")), std::string::npos) << raised.description;
    EXPECT_EQ(ListFolder(dir.Path()), std::vector<std::string>{"h.zip"});
    EXPECT_LE(seam.largestRead, c.archive.size());
  }
}

}  // namespace
}  // namespace carvex::zipkit
