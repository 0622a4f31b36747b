// Archives from strangers, unpacked where no one can cancel: every kind of lie in the layout is
// refused before the first byte is written, and so is an archive the target volume cannot hold.
// The archives are assembled byte by byte, since no writer makes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "platform/files.h"
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
using test::DeflatedClaim;
using test::EndClaims;
using test::EntryFields;
using test::FinishArchive;
using test::kEmptyDeflate;
using test::ListFolder;
using test::LocalHeader;
using test::NestedArchive;
using test::RaisedBy;
using test::SharedHeaderArchive;
using test::StoredFields;

constexpr long Number(ZipError error) { return static_cast<long>(error); }

// Remembers the largest single read and, when given free bytes, answers for the free space of
// every volume, remembering which folder it was asked about.
class WatchingSeam : public platform::Seam {
 public:
  explicit WatchingSeam(std::optional<std::int64_t> freeBytes = std::nullopt) : freeBytes_(freeBytes) {}
  void BeforeRead(const std::string&, std::size_t size) override {
    largestRead = std::max(largestRead, size);
  }
  std::optional<platform::VolumeSpace> Space(const std::string& path) override {
    askedAbout = path;
    if (!freeBytes_) return std::nullopt;
    return platform::VolumeSpace{*freeBytes_ * 2, *freeBytes_};
  }

  std::size_t largestRead = 0;
  std::string askedAbout;

 private:
  std::optional<std::int64_t> freeBytes_;
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

TEST(HostileArchives, MoreThanTheFreeSpaceIsRefusedBeforeAnythingIsWritten) {
  std::string honest;
  std::vector<EntryFields> honestEntries;
  const std::pair<const char*, std::size_t> sizes[] = {{"a.bin", 1000}, {"b.bin", 2000}, {"c.bin", 3000}};
  for (const auto& [name, size] : sizes) {
    honestEntries.push_back(StoredFields(name, std::string(size, name[0]), honest.size()));
    honest += LocalHeader(honestEntries.back()) + std::string(size, name[0]);
  }
  // After a real file, four claims of 2^62 bytes, which add up to 2^64: zero in 64 bits.
  std::string wrapping = LocalHeader(StoredFields("good.txt", "harmless")) + "harmless";
  std::vector<EntryFields> wrappingEntries = {StoredFields("good.txt", "harmless")};
  for (const char* name : {"1.bin", "2.bin", "3.bin", "4.bin"}) {
    wrappingEntries.push_back(DeflatedClaim(name, std::uint64_t{1} << 62));
    wrappingEntries.back().offset = wrapping.size();
    wrapping += LocalHeader(wrappingEntries.back()) + kEmptyDeflate;
  }
  const struct {
    const char* label;
    std::string archive;
    std::int64_t freeBytes;
    std::string subfolder;  // below the archive's folder; created by the extraction
    bool refused;
  } cases[] = {
      {"one byte short", FinishArchive(honest, honestEntries), 5999, "", true},
      {"an exact fit", FinishArchive(honest, honestEntries), 6000, "", false},
      {"one byte short, into a new folder", FinishArchive(honest, honestEntries), 5999, "new", true},
      {"sizes that add up past 2^64",
       FinishArchive(wrapping, wrappingEntries, {std::nullopt, std::nullopt, std::nullopt, true}), 1 << 30,
       "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    dir.Write("big.zip", c.archive);
    WatchingSeam seam(c.freeBytes);
    platform::ScopedSeam scoped(seam);
    ExtractOptions options;
    options.folder = c.subfolder.empty() ? dir.Path() : JoinPath(JoinPath(dir.Path(), c.subfolder), "deeper");
    const auto raised = RaisedBy([&] { ExtractArchive(dir.File("big.zip"), options); });
    // The volume is the one the folder will be made on.
    EXPECT_EQ(seam.askedAbout, dir.Path());
    if (!c.refused) {
      EXPECT_EQ(raised.number, 0) << raised.description;
      EXPECT_EQ(ListFolder(dir.Path()), (std::vector<std::string>{"a.bin", "b.bin", "big.zip", "c.bin"}));
      continue;
    }
    EXPECT_EQ(raised.number, Number(ZipError::kNotEnoughSpace)) << raised.description;
    EXPECT_NE(raised.description.find("'" + dir.File("big.zip") + "'"), std::string::npos)
        << raised.description;
    EXPECT_NE(raised.description.find(std::to_string(c.freeBytes) + " bytes free"), std::string::npos)
        << raised.description;
    EXPECT_EQ(ListFolder(dir.Path()), std::vector<std::string>{"big.zip"});
  }
}

TEST(HostileArchives, EntriesOfOneNameAreNumberedInOrderAroundFilesAlreadyThere) {
  TempDir dir;
  std::string body;
  std::vector<EntryFields> entries;
  const std::pair<const char*, const char*> stored[] = {{"a.txt", "1"}, {"b.txt", "b1"}, {"a.txt", "2"},
                                                        {"a.txt", "3"}, {"b.txt", "b2"}, {"a.txt", "4"}};
  for (const auto& [name, data] : stored) {
    entries.push_back(StoredFields(name, data, body.size()));
    body += LocalHeader(entries.back()) + data;
  }
  dir.Write("same.zip", FinishArchive(body, entries));
  dir.Write("a (3).txt", "there before");
  std::vector<std::string> written;
  ExtractOptions options;
  options.folder = dir.Path();
  options.progress = [&](int kind, const std::string& text, std::int64_t) {
    if (kind == kFileBegins) written.push_back(FileNamePart(text));
  };
  ExtractArchive(dir.File("same.zip"), options);
  EXPECT_EQ(written,
            (std::vector<std::string>{"a.txt", "b.txt", "a (2).txt", "a (4).txt", "b (2).txt", "a (5).txt"}));
  const std::pair<const char*, const char*> expected[] = {
      {"a.txt", "1"},     {"a (2).txt", "2"}, {"a (3).txt", "there before"},
      {"a (4).txt", "3"}, {"a (5).txt", "4"}, {"b.txt", "b1"},
      {"b (2).txt", "b2"}};
  for (const auto& [name, content] : expected) EXPECT_EQ(dir.Read(name), content) << name;
}

// Names Windows keeps for devices, or whose trailing dot or blank it drops, unpack as named
// elsewhere and under safe names, listed, on Windows; the run never stops halfway.
TEST(UnpackedNames, DeviceNamesAreAMatterForWindowsOnly) {
  TempDir dir;
  dir.Write("devices.zip", test::AssembleStoredArchive({{"drivers/aux.c", "int aux;"},
                                                        {"nul.txt", "nothing"},
                                                        {"trail.", "dot"},
                                                        {"dir /inner.txt", "inside"},
                                                        {"COM\xC2\xB9.log", "one"}}));
  ExtractOptions options;
  options.folder = dir.File("out");
  const ExtractResult result = ExtractArchive(dir.File("devices.zip"), options);
  EXPECT_EQ(result.filesWritten, 5);
  const bool windows = platform::kPathSeparator == '\\';
  const std::pair<std::string, std::string> expected[] = {
      {"drivers/aux.c", windows ? "drivers\\_aux.c" : "drivers/aux.c"},
      {"nul.txt", windows ? "_nul.txt" : "nul.txt"},
      {"trail.", windows ? "trail_" : "trail."},
      {"dir /inner.txt", windows ? "dir_\\inner.txt" : "dir /inner.txt"},
      {"COM\xC2\xB9.log", windows ? "_COM\xC2\xB9.log" : "COM\xC2\xB9.log"},
  };
  std::vector<std::pair<std::string, std::string>> renamed;
  for (const auto& [entry, local] : expected) {
    EXPECT_TRUE(platform::IsRegularFile(JoinPath(dir.File("out"), local))) << local;
    if (windows) renamed.emplace_back(entry, local);
  }
  EXPECT_EQ(result.renamed, renamed);
}

}  // namespace
}  // namespace carvex::zipkit
