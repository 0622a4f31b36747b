// Archives checked against independent zip tools: Info-ZIP zip and unzip, 7-Zip and Python's
// zipfile read what zipkit writes, and zipkit reads what they write. Linux build only.
#include <gtest/gtest.h>

#include <filesystem>

#include <future>
#include <sstream>

#include "platform/files.h"
#include "platform/zipio.h"
#include "support/temp_dir.h"
#include "zip_test_support.h"
#include "zipkit/entry_names.h"
#include "zipkit/errors.h"
#include "zipkit/extract.h"
#include "zipkit/self_extractor.h"
#include "zipkit/zip_component.h"

namespace carvex::zipkit {
namespace {

using carvex::test::TempDir;
using test::ListFolder;
using test::RunProgram;

const std::string kPython = "/usr/bin/python3";
const std::string kNonAsciiName =
    "Gr\xC3\xBC\xC3\x9F"
    "e \xD0\xB4 \xE6\x96\x87.txt";

std::string TextBytes(std::size_t size) {
  std::string text;
  for (int line = 0; text.size() < size; ++line)
    text += "Record " + std::to_string(line) + " of the ledger, amount " +
            std::to_string(line * 7919 % 100000) + "\n";
  text.resize(size);
  return text;
}

void Zip(const std::string& archive, const std::vector<std::string>& paths, int level,
         const std::string& password = {}) {
  ZipComponent zip;
  zip.SetCompressionLevel(level);
  zip.StartAddJob();
  zip.SetEncrypt(!password.empty());
  zip.SetPassword(password);
  zip.SetArchivePath(archive);
  for (const std::string& path : paths) zip.SourceFiles().AddItem(path);
  zip.Add();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// unzip -t, 7z t and (for unencrypted archives) python -m zipfile -t all pass the archive. The
// tools run side by side: on the large archives each takes seconds.
void ExpectToolsAccept(const std::string& archive, const std::string& password = {},
                       const std::vector<std::string>& sevenZipOptions = {}) {
  auto unzip = std::async(std::launch::async, [&] {
    return password.empty() ? RunProgram("unzip", {"-tq", archive})
                            : RunProgram("unzip", {"-tq", "-P", password, archive});
  });
  auto sevenZip = std::async(std::launch::async, [&] {
    std::vector<std::string> arguments = {"t", archive};
    if (!password.empty()) arguments.push_back("-p" + password);
    arguments.insert(arguments.end(), sevenZipOptions.begin(), sevenZipOptions.end());
    return RunProgram("7z", arguments);
  });
  // Python's zipfile tests encrypted archives only when given the password.
  auto python = std::async(std::launch::async, [&] {
    return password.empty() ? RunProgram(kPython, {"-m", "zipfile", "-t", archive}) : test::ProgramRun{0, ""};
  });
  const test::ProgramRun unzipRun = unzip.get();
  EXPECT_EQ(unzipRun.exitCode, 0) << unzipRun.output;
  const test::ProgramRun sevenZipRun = sevenZip.get();
  EXPECT_EQ(sevenZipRun.exitCode, 0) << sevenZipRun.output;
  EXPECT_NE(sevenZipRun.output.find("Everything is Ok"), std::string::npos) << sevenZipRun.output;
  EXPECT_EQ(sevenZipRun.output.find("WARNING"), std::string::npos) << sevenZipRun.output;
  const test::ProgramRun pythonRun = python.get();
  EXPECT_EQ(pythonRun.exitCode, 0) << pythonRun.output;
  EXPECT_EQ(pythonRun.output.find("corrupted"), std::string::npos) << pythonRun.output;
}

// What Python's zipfile reads from the central directory, one line per entry.
std::vector<std::string> PythonSees(const std::string& archive, const std::string& expression) {
  const auto run = RunProgram(kPython, {"-c",
                                        "import sys, zipfile\n"
                                        "for i in zipfile.ZipFile(sys.argv[1]).infolist(): print(" +
                                            expression + ")",
                                        archive});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  return Lines(run.output);
}

bool HasZip64EndRecord(const std::string& archive) {
  return carvex::test::ReadFileBytes(archive).find(std::string("PK\x06\x06", 4)) != std::string::npos;
}

TEST(ZipOracles, ReadWhatZipkitWrites) {
  const struct {
    const char* label;
    int level;
    std::string password;
    std::vector<std::string> names;
  } cases[] = {
      {"stored", 0, "", {"a.txt"}},
      {"fastest", 1, "", {"a.txt", "b.bin", "empty"}},
      {"default", 6, "", {"a.txt", "b.bin", "empty"}},
      {"best", 9, "", {"a.txt", "b.bin", "empty"}},
      {"encrypted", 9, "pa55 word", {"a.txt", "b.bin"}},
      {"encrypted, stored", 0, "pw", {"a.txt", "empty"}},
      {"name outside ASCII", 6, "", {kNonAsciiName, "a.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    std::vector<std::string> paths;
    for (const std::string& name : c.names) {
      // Several blocks each, the random ones ending in a short one.
      dir.Write(name, name == "empty"   ? ""
                      : name == "b.bin" ? carvex::test::PatternBytes(700000, 2)
                                        : TextBytes(900000));
      paths.push_back(dir.File(name));
    }
    Zip(dir.File("out.zip"), paths, c.level, c.password);
    ExpectToolsAccept(dir.File("out.zip"), c.password);
    EXPECT_EQ(PythonSees(dir.File("out.zip"), "i.filename"), c.names);
    EXPECT_FALSE(HasZip64EndRecord(dir.File("out.zip")));
  }
}

// The deflate stream of a file that goes out in blocks, taken from the archive by hand, is one
// stream to Python's zlib that inflates to the very bytes of the file; and random bytes take no
// more room than Info-ZIP's zip gives them.
TEST(ZipOracles, BlocksFormOneDeflateStream) {
  TempDir dir;
  dir.Write("mixed.bin",
            TextBytes(600000) + carvex::test::PatternBytes(300000, 7) + std::string(148576, 'z'));
  dir.Write("random.bin", carvex::test::PatternBytes(1 << 20, 8));
  for (const char* name : {"mixed.bin", "random.bin"}) {
    SCOPED_TRACE(name);
    Zip(dir.File("one.zip"), {dir.File(name)}, 9);
    const auto inflated = RunProgram(kPython, {"-c",
                                               "import sys, struct, zlib\n"
                                               "a = open(sys.argv[1], 'rb').read()\n"
                                               "size, = struct.unpack('<I', a[18:22])\n"
                                               "name, extra = struct.unpack('<HH', a[26:30])\n"
                                               "stream = a[30 + name + extra:][:size]\n"
                                               "d = zlib.decompressobj(-15)\n"
                                               "data = d.decompress(stream) + d.flush()\n"
                                               "assert d.eof and not d.unused_data\n"
                                               "open(sys.argv[2], 'wb').write(data)\n"
                                               "print(stream.count(b'\\0\\0\\xff\\xff'), size)\n",
                                               dir.File("one.zip"), dir.File("inflated")});
    ASSERT_EQ(inflated.exitCode, 0) << inflated.output;
    const auto same = RunProgram("cmp", {dir.File(name), dir.File("inflated")});
    EXPECT_EQ(same.exitCode, 0) << same.output;
    std::istringstream counts(inflated.output);
    std::size_t syncMarks = 0;
    std::uint64_t size = 0;
    counts >> syncMarks >> size;
    if (std::string(name) == "mixed.bin") {
      // The text's blocks each end with a sync flush's empty stored block; a stream deflated
      // in one go has none.
      EXPECT_GE(syncMarks, 4u) << inflated.output;
    } else {
      const auto peer = RunProgram("zip", {"-q", "-j", "-9", dir.File("peer.zip"), dir.File(name)});
      ASSERT_EQ(peer.exitCode, 0) << peer.output;
      const std::vector<std::string> peerSize = PythonSees(dir.File("peer.zip"), "i.compress_size");
      ASSERT_EQ(peerSize.size(), 1u);
      EXPECT_LE(size, std::stoull(peerSize[0]));
      platform::RemoveFile(dir.File("peer.zip"));
    }
  }
}

TEST(ZipOracles, ReadZip64RecordsFrom65535EntriesOn) {
  for (const std::size_t count : {std::size_t{65534}, std::size_t{65535}}) {
    SCOPED_TRACE(count);
    TempDir dir;
    dir.Write("x.txt", "x");
    Zip(dir.File("many.zip"), std::vector<std::string>(count, dir.File("x.txt")), 0);
    EXPECT_EQ(HasZip64EndRecord(dir.File("many.zip")), count >= 65535);
    ExpectToolsAccept(dir.File("many.zip"));
    const std::vector<std::string> names = PythonSees(dir.File("many.zip"), "i.filename");
    ASSERT_EQ(names.size(), count);
    EXPECT_EQ(names.back(), "x (" + std::to_string(count) + ").txt");
  }
}

TEST(ZipOracles, ReadAnEntryPast4GiB) {
  TempDir dir;
  const std::int64_t size = (std::int64_t{41} << 30) / 10;
  dir.MakeSparse("huge.bin", size);
  dir.Write("after.txt", "after the big one");
  Zip(dir.File("big.zip"), {dir.File("huge.bin"), dir.File("after.txt")}, 1);
  platform::RemoveFile(dir.File("huge.bin"));
  ExpectToolsAccept(dir.File("big.zip"));
  EXPECT_EQ(PythonSees(dir.File("big.zip"), "i.file_size"),
            (std::vector<std::string>{std::to_string(size), "17"}));
  // The archive itself stays small: only the entry needs ZIP64 fields.
  EXPECT_FALSE(HasZip64EndRecord(dir.File("big.zip")));

  std::int64_t done = 0;
  ExtractOptions options;
  options.progress = [&](int kind, const std::string&, std::int64_t bytes) {
    if (kind == kBytesDone) done += bytes;
  };
  TestArchive(dir.File("big.zip"), options);
  EXPECT_EQ(done, size + 17);
}

// Other tools see each folder as a folder, with its Unix mode, its MS-DOS directory bit and its
// time, as they see the files.
TEST(ZipOracles, ReadFoldersWithTheirModesAndTimes) {
  TempDir dir;
  dir.MakeFolder("Photos/empty");
  dir.Write("Photos/a.jpg", "jpg");
  platform::SetFileModificationTime(dir.File("Photos/a.jpg"), {2021, 6, 15, 10, 20, 30});
  for (const char* folder : {"Photos/empty", "Photos"})
    platform::SetFileModificationTime(dir.File(folder), {2019, 2, 3, 4, 5, 6});
  Zip(dir.File("tree.zip"), {dir.File("Photos")}, 9);
  ExpectToolsAccept(dir.File("tree.zip"));
  EXPECT_EQ(PythonSees(dir.File("tree.zip"),
                       "i.filename, oct(i.external_attr >> 16), i.external_attr & 0x10, i.date_time"),
            (std::vector<std::string>{"Photos/ 0o40755 16 (2019, 2, 3, 4, 5, 6)",
                                      "Photos/a.jpg 0o100644 0 (2021, 6, 15, 10, 20, 30)",
                                      "Photos/empty/ 0o40755 16 (2019, 2, 3, 4, 5, 6)"}));
}

struct ToolFile {
  std::string name;
  std::string bytes;
};

const std::vector<ToolFile>& ToolFiles() {
  static const std::vector<ToolFile> files = {
      {"text.txt", TextBytes(500000)},        {"random.bin", carvex::test::PatternBytes(200000, 6)},
      {"sub/inner.txt", "inside a folder"},   {"empty.txt", ""},
      {kNonAsciiName, "named outside ASCII"},
  };
  return files;
}

TEST(ZipOracles, ZipkitExtractsWhatOtherToolsWrite) {
  const struct {
    const char* label;
    std::string command;  // run in the folder of the files; $1 is the archive
    std::string password;
  } cases[] = {
      {"zip -P", "zip -q -r -P 'pw 1' \"$1\" .", "pw 1"},
      {"7z ZipCrypto", "7z a -tzip -mem=ZipCrypto '-ppw 1' \"$1\" . >/dev/null", "pw 1"},
      {"zip, ZIP64 forced", "zip -q -r -fz \"$1\" .", ""},
      {"7z deflate", "7z a -tzip -mx=9 \"$1\" . >/dev/null", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir sources;
    sources.MakeFolder("sub");
    for (const ToolFile& file : ToolFiles()) sources.Write(file.name, file.bytes);
    TempDir target;
    const auto made =
        RunProgram("sh", {"-c", "cd \"$0\" && " + c.command, sources.Path(), target.File("t.zip")});
    ASSERT_EQ(made.exitCode, 0) << made.output;
    ZipComponent zip;
    zip.SetArchivePath(target.File("t.zip"));
    zip.SetPassword(c.password);
    zip.Extract();
    for (const ToolFile& file : ToolFiles()) EXPECT_EQ(target.Read(file.name), file.bytes) << file.name;
  }
}

TEST(ZipOracles, UnknownMethodsAndHostileNamesFailClearly) {
  TempDir dir;
  dir.Write("a.txt", TextBytes(100000));
  // Each method by the name a user can look for in another tool.
  const struct {
    const char* method;
    const char* named;
  } kMethods[] = {{"Deflate64", "Deflate64 (method 9)"},
                  {"BZip2", "BZip2 (method 12)"},
                  {"LZMA", "LZMA (method 14)"},
                  {"PPMd", "PPMd (method 98)"}};
  for (const auto& m : kMethods) {
    const std::string archive = std::string(m.method) + ".zip";
    const auto made = RunProgram(
        "sh", {"-c", "cd \"$0\" && 7z a -tzip -mm=$1 \"$1.zip\" a.txt >/dev/null", dir.Path(), m.method});
    ASSERT_EQ(made.exitCode, 0) << made.output;
    ExtractOptions options;
    options.folder = dir.File("out");
    const auto refused = test::RaisedBy([&] { ExtractArchive(dir.File(archive), options); });
    EXPECT_EQ(refused.number, static_cast<long>(ZipError::kUnsupported)) << refused.description;
    EXPECT_NE(refused.description.find(std::string("compressed with ") + m.named), std::string::npos)
        << refused.description;
    EXPECT_NE(refused.description.find("with a tool that supports that method"), std::string::npos)
        << refused.description;
  }
  dir.MakeFolder("inner");
  const auto hostile = RunProgram(kPython, {"-c",
                                            "import sys, zipfile\n"
                                            "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                                            "  z.writestr('fine.txt', 'fine')\n"
                                            "  z.writestr('../evil.txt', 'payload')\n",
                                            dir.File(JoinPath("inner", "hostile.zip"))});
  ASSERT_EQ(hostile.exitCode, 0) << hostile.output;

  ExtractOptions options;
  options.folder = dir.File("inner");
  const auto unsafe =
      test::RaisedBy([&] { ExtractArchive(dir.File(JoinPath("inner", "hostile.zip")), options); });
  EXPECT_EQ(unsafe.number, static_cast<long>(ZipError::kUnsafeEntry)) << unsafe.description;
  EXPECT_EQ(ListFolder(dir.File("inner")), std::vector<std::string>{"hostile.zip"});
  EXPECT_FALSE(platform::PathExists(dir.File("evil.txt")));
}

// An unpacking that fails midway takes back every file and folder it made and nothing that
// was there before; a damaged entry alone keeps the whole files before it and names them.
TEST(ZipOracles, AFailureMidwayLeavesNothingOfTheUnpacking) {
  TempDir dir;
  const struct {
    const char* what;
    const char* entries;  // Python: writes into the ZipFile z
    bool keeps;
    const char* says;
  } cases[] = {
      {"file then folder of one name", "z.writestr('first.txt', 'one'); z.writestr('new/a', 'file'); "
                                       "z.writestr('new/a/b.txt', 'under')",
       false, "was removed"},
      {"damaged last entry", "z.writestr('first.txt', 'one'); z.writestr('new/second.txt', 'two'); "
                             "z.writestr('bad.txt', 'x' * 1000)",
       true, "The files unpacked before it were kept: first.txt, new/second.txt"},
      {"damaged only entry, in a new folder", "z.writestr('new/deeper/bad.txt', 'x' * 1000)", false,
       "its CRC-32 does not match"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dir.MakeFolder("out");
    dir.Write("out/there before.txt", "mine");
    const auto made = RunProgram(kPython, {"-c",
                                           std::string("import sys, zipfile\n"
                                                       "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n  ") +
                                               c.entries + "\n"
                                               // A stored entry's byte flipped: its CRC-32 no longer holds.
                                               "data = bytearray(open(sys.argv[1], 'rb').read())\n"
                                               "at = data.rfind(b'x' * 1000)\n"
                                               "if at >= 0: data[at] ^= 1\n"
                                               "open(sys.argv[1], 'wb').write(data)\n",
                                           dir.File("case.zip")});
    ASSERT_EQ(made.exitCode, 0) << made.output;
    ExtractOptions options;
    options.folder = dir.File("out");
    const auto failed = test::RaisedBy([&] { ExtractArchive(dir.File("case.zip"), options); });
    EXPECT_NE(failed.description.find(c.says), std::string::npos) << failed.description;
    const std::vector<std::string> kept = {"first.txt", "new", "there before.txt"};
    const std::vector<std::string> untouched = {"there before.txt"};
    EXPECT_EQ(ListFolder(dir.File("out")), c.keeps ? kept : untouched);
    std::filesystem::remove_all(dir.File("out"));
  }
}

#ifndef _WIN32
// Info-ZIP's -y stores links as links; unpacking leaves them out and says so, never writing a
// file that holds the target's name, nor anything through a link.
TEST(ZipOracles, SymbolicLinkEntriesAreLeftOutAndListed) {
  TempDir dir;
  dir.MakeFolder("src");
  dir.Write("src/target.txt", "real");
  const auto made = RunProgram("sh", {"-c", "cd \"$0\" && ln -s target.txt link.txt && ln -s ../../outside out.lnk && "
                                            "zip -q -y ../links.zip target.txt link.txt out.lnk",
                                      dir.File("src")});
  ASSERT_EQ(made.exitCode, 0) << made.output;
  ExtractOptions options;
  options.folder = dir.File("out");
  const ExtractResult result = ExtractArchive(dir.File("links.zip"), options);
  EXPECT_EQ(result.skippedLinks, (std::vector<std::string>{"link.txt", "out.lnk"}));
  EXPECT_EQ(ListFolder(dir.File("out")), std::vector<std::string>{"target.txt"});
  EXPECT_EQ(dir.Read("out/target.txt"), "real");
}
#endif

// The archives the hostile tests build by hand are what Info-ZIP unzip also calls overlapping,
// and the same helpers make archives it passes when they tell the truth.
TEST(ZipOracles, UnzipAgreesWhichHandMadeArchivesOverlap) {
  const struct {
    const char* label;
    std::string archive;
    bool overlaps;
  } cases[] = {
      {"50 entries share one local header", test::SharedHeaderArchive(50), true},
      {"each entry holds the next", test::NestedArchive(), true},
      {"honest", test::AssembleStoredArchive({{"a.txt", "alpha"}, {"b.txt", "bravo"}}), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    dir.Write("h.zip", c.archive);
    const auto unzip = RunProgram("unzip", {"-t", dir.File("h.zip")});
    EXPECT_EQ(unzip.output.find("overlapped components") != std::string::npos, c.overlaps) << unzip.output;
    EXPECT_EQ(unzip.exitCode == 0, !c.overlaps) << unzip.output;
    const auto raised = test::RaisedBy([&] { ListArchive(dir.File("h.zip")); });
    EXPECT_EQ(raised.number, c.overlaps ? static_cast<long>(ZipError::kOverlappingEntries) : 0)
        << raised.description;
  }
}

TEST(ZipOracles, ListAndTestTheSelfExtractingProgram) {
  TempDir dir;
  dir.Write("a.txt", TextBytes(300000));
  dir.Write(kNonAsciiName, "x");
  Zip(dir.File("Setup.zip"), {dir.File("a.txt"), dir.File(kNonAsciiName)}, 9);
  // A signed stub is shortened on the way, and every offset must follow.
  dir.Write("signed.bin", test::SignPe(test::FakePeImage(0x20b, 70001), carvex::test::PatternBytes(4000, 3)));
  for (const std::string& stub : {JoinPath(platform::AppPath(), "ZipSFX.bin"), dir.File("signed.bin")}) {
    SCOPED_TRACE(stub);
    const std::string program = ConvertToSelfExtractor(dir.File("Setup.zip"), stub, {}, {});
    // Exit code 0: no "extra bytes at beginning" warning, so every offset was corrected.
    const auto unzip = RunProgram("unzip", {"-l", program});
    EXPECT_EQ(unzip.exitCode, 0) << unzip.output;
    EXPECT_NE(unzip.output.find("a.txt"), std::string::npos) << unzip.output;
    EXPECT_NE(unzip.output.find(kNonAsciiName), std::string::npos) << unzip.output;
    const auto sevenZip = RunProgram("7z", {"l", program});
    EXPECT_EQ(sevenZip.exitCode, 0) << sevenZip.output;
    EXPECT_NE(sevenZip.output.find("a.txt"), std::string::npos) << sevenZip.output;
    EXPECT_NE(sevenZip.output.find(kNonAsciiName), std::string::npos) << sevenZip.output;
    // Told the type, 7z has no reason to warn that an ELF program named .exe is no PE file.
    ExpectToolsAccept(program, {}, {"-tzip"});
  }
}

#ifndef _WIN32
// An entry name that holds terminal control sequences reaches a terminal escaped, in the list
// and while extracting.
TEST(ZipOracles, TheSelfExtractorsNamesCannotDriveTheTerminal) {
  TempDir dir;
  const std::string name = "evil\x1b]0;pwned\x07\x1b[8m.txt";
  dir.Write(name, "x");
  Zip(dir.File("Setup.zip"), {dir.File(name)}, 9);
  const std::string program = ConvertToSelfExtractor(dir.File("Setup.zip"), JoinPath(platform::AppPath(), "ZipSFX.bin"), {}, {});
  for (const std::string options : {"-l", "-d out"}) {
    const auto run = RunProgram("script", {"-qec", "cd '" + dir.Path() + "' && '" + program + "' " + options, "/dev/null"});
    // The program's own title sequence is the one escape a terminal gets.
    const std::string title = "\x1b]0;Self-extracting Archive\x07";
    EXPECT_TRUE(run.output.starts_with(title)) << run.output;
    EXPECT_EQ(run.output.find('\x1b', title.size()), std::string::npos) << options << "\n" << run.output;
    EXPECT_NE(run.output.find("evil\\x1b]0;pwned\\x07\\x1b[8m.txt"), std::string::npos) << run.output;
  }
  EXPECT_EQ(dir.Read("out/" + name), "x");
}
#endif

}  // namespace
}  // namespace carvex::zipkit
