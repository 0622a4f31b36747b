// The component as the application drives it: Add, Convert and Extract round trips, progress,
// names, existing files, hostile and damaged archives. Runs on every system.
#include "zipkit/zip_component.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/files.h"
#include "platform/seam.h"
#include "platform/zipio.h"
#include "support/temp_dir.h"
#include "support/unreadable_file.h"
#include "zip_test_support.h"
#include "zipkit/entry_names.h"
#include "zipkit/errors.h"
#include "zipkit/extract.h"
#include "zipkit/self_extractor.h"

namespace carvex::zipkit {
namespace {

using carvex::test::TempDir;
using test::ListFolder;
using test::ProgressEvent;
using test::RaisedBy;

constexpr long Number(ZipError error) { return static_cast<long>(error); }

const std::string kNonAsciiName =
    "Gr\xC3\xBC\xC3\x9F"
    "e \xD0\xB4 \xE6\x96\x87.txt";
const platform::LocalTime kStamp{2021, 6, 15, 10, 20, 30};

std::string TextBytes(std::size_t size) {
  std::string text;
  for (int line = 0; text.size() < size; ++line)
    text += "Line " + std::to_string(line) + ": the quick brown fox jumps over the lazy dog " +
            std::to_string(line * 7919 % 1000) + "\r\n";
  text.resize(size);
  return text;
}

struct SourceFile {
  std::string name;
  std::string bytes;
};

std::vector<std::string> WriteSources(const TempDir& dir, const std::vector<SourceFile>& files) {
  std::vector<std::string> paths;
  for (const SourceFile& file : files) {
    dir.Write(file.name, file.bytes);
    platform::SetFileModificationTime(dir.File(file.name), kStamp);
    paths.push_back(dir.File(file.name));
  }
  return paths;
}

ProgressHandler RecordInto(std::vector<ProgressEvent>& events) {
  return [&events](int kind, const std::string& text, std::int64_t size) {
    events.push_back({kind, text, size});
  };
}

struct Job {
  int level = 9;
  bool encrypt = false;
  std::string password;
};

std::vector<ProgressEvent> Zip(const std::string& archive, const std::vector<std::string>& paths,
                               const Job& job = {}) {
  std::vector<ProgressEvent> events;
  ZipComponent zip;
  zip.SetProgressHandler(RecordInto(events));
  zip.SetCompressionLevel(job.level);
  zip.StartAddJob();
  zip.SetEncrypt(job.encrypt);
  if (job.encrypt) zip.SetPassword(job.password);
  zip.SetArchivePath(archive);
  for (const std::string& path : paths) zip.SourceFiles().AddItem(path);
  zip.Add();
  return events;
}

std::vector<ProgressEvent> Unzip(const std::string& archive, const std::string& password = {}) {
  std::vector<ProgressEvent> events;
  ZipComponent zip;
  zip.SetProgressHandler(RecordInto(events));
  zip.SetArchivePath(archive);
  zip.SetPassword(password);
  zip.Extract();
  return events;
}

std::vector<std::string> EntryNames(const std::string& archive) {
  std::vector<std::string> names;
  for (const EntryInfo& entry : ListArchive(archive)) names.push_back(entry.name);
  return names;
}

// One kFileBegins per file, in order, with the given text; the kBytesDone events after it add
// up to the file's size, none over 1 MiB; one kBatchEnded, last.
void ExpectProgress(const std::vector<ProgressEvent>& events,
                    const std::vector<std::pair<std::string, std::int64_t>>& files) {
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().kind, kBatchEnded);
  std::size_t file = 0;
  std::int64_t done = 0;
  for (std::size_t i = 0; i + 1 < events.size(); ++i) {
    const ProgressEvent& event = events[i];
    if (event.kind == kFileBegins) {
      if (file > 0) {
        EXPECT_EQ(done, files[file - 1].second) << files[file - 1].first;
      }
      ASSERT_LT(file, files.size());
      EXPECT_EQ(event.text, files[file].first);
      ++file;
      done = 0;
    } else {
      ASSERT_EQ(event.kind, kBytesDone) << "event " << i;
      ASSERT_GT(file, 0u) << "bytes reported before the first file";
      EXPECT_GT(event.size, 0);
      EXPECT_LE(event.size, std::int64_t{1} << 20);
      done += event.size;
    }
  }
  EXPECT_EQ(file, files.size());
  if (file > 0) {
    EXPECT_EQ(done, files[file - 1].second);
  }
}

TEST(ZipComponent, ExtractGivesBackWhatAddPacked) {
  const std::vector<SourceFile> files = {
      {"empty.txt", ""},
      {"pattern.bin", carvex::test::PatternBytes((std::size_t{1} << 20) + 1, 3)},
      {"text.txt", TextBytes(300000)},
      // Around the 128 KiB blocks that files are deflated in.
      {"block-1.txt", TextBytes((128 << 10) - 1)},
      {"block.txt", TextBytes(128 << 10)},
      {"block+1.txt", TextBytes((128 << 10) + 1)},
      {"two blocks.bin", carvex::test::PatternBytes(256 << 10, 4)},
      {kNonAsciiName, "a name outside ASCII"},
  };
  const struct {
    const char* label;
    Job job;
  } cases[] = {
      {"stored", {0, false, ""}},
      {"fastest", {1, false, ""}},
      {"default", {6, false, ""}},
      {"best", {9, false, ""}},
      {"encrypted, best", {9, true, "s3cret \xC3\xA9"}},
      {"encrypted, stored", {0, true, "pw"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir sources;
    TempDir target;
    Zip(target.File("out.zip"), WriteSources(sources, files), c.job);
    EXPECT_EQ(EntryNames(target.File("out.zip")).size(), files.size());
    Unzip(target.File("out.zip"), c.job.password);
    for (const SourceFile& file : files) {
      SCOPED_TRACE(file.name);
      EXPECT_EQ(target.Read(file.name), file.bytes);
      const platform::LocalTime stamp = platform::FileModificationTime(target.File(file.name));
      EXPECT_EQ(
          std::vector<int>({stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second}),
          std::vector<int>({2021, 6, 15, 10, 20, 30}));
    }
    EXPECT_EQ(ListFolder(target.Path()).size(), files.size() + 1);
  }
}

TEST(ZipComponent, ProgressNamesEachFileAndCountsItsUncompressedBytes) {
  TempDir sources;
  TempDir target;
  // Zeros shrink to almost nothing: reports must still come at least every MiB of input.
  const std::vector<SourceFile> files = {
      {"zeros.bin", std::string(3 << 20, '\0')}, {"empty.txt", ""}, {"text.txt", TextBytes(700000)}};
  const std::vector<std::string> paths = WriteSources(sources, files);
  const std::vector<ProgressEvent> added = Zip(target.File("p.zip"), paths);
  ExpectProgress(added, {{paths[0], 3 << 20}, {paths[1], 0}, {paths[2], 700000}});
  const std::vector<ProgressEvent> extracted = Unzip(target.File("p.zip"));
  ExpectProgress(extracted, {{target.File("zeros.bin"), 3 << 20},
                             {target.File("empty.txt"), 0},
                             {target.File("text.txt"), 700000}});
}

TEST(ZipComponent, FilesOfTheSameNameAreAllKept) {
  TempDir sources;
  TempDir target;
  sources.MakeFolder("a");
  sources.MakeFolder("b");
  sources.MakeFolder("c");
  const char sep = platform::kPathSeparator;
  sources.Write(std::string("a") + sep + "x.txt", "first");
  sources.Write(std::string("b") + sep + "x.txt", "second");
  sources.Write(std::string("c") + sep + "X.TXT", "third");
  Zip(target.File("dup.zip"),
      {sources.File(std::string("a") + sep + "x.txt"), sources.File(std::string("b") + sep + "x.txt"),
       sources.File(std::string("c") + sep + "X.TXT")});
  EXPECT_EQ(EntryNames(target.File("dup.zip")),
            (std::vector<std::string>{"x.txt", "x (2).txt", "X (3).TXT"}));
  Unzip(target.File("dup.zip"));
  EXPECT_EQ(target.Read("x.txt"), "first");
  EXPECT_EQ(target.Read("x (2).txt"), "second");
  EXPECT_EQ(target.Read("X (3).TXT"), "third");
}

TEST(ZipComponent, EachAddWritesOnlyItsOwnJobsFiles) {
  TempDir sources;
  TempDir target;
  sources.Write("one.txt", "1");
  sources.Write("two.txt", "2");
  target.Write("job.zip", "stale bytes that are no archive");
  ZipComponent zip;
  zip.SetArchivePath(target.File("job.zip"));
  zip.StartAddJob();
  zip.SourceFiles().AddItem(sources.File("one.txt"));
  zip.Add();
  zip.StartAddJob();
  zip.SourceFiles().AddItem(sources.File("two.txt"));
  zip.Add();
  EXPECT_EQ(EntryNames(target.File("job.zip")), std::vector<std::string>{"two.txt"});
}

TEST(ZipComponent, ExtractNeverOverwritesAnExistingFile) {
  TempDir sources;
  TempDir target;
  sources.Write("a.txt", "new");
  Zip(target.File("a.zip"), {sources.File("a.txt")});
  target.Write("a.txt", "old");
  target.Write("a (2).txt", "older");
  const std::vector<ProgressEvent> events = Unzip(target.File("a.zip"));
  EXPECT_EQ(target.Read("a.txt"), "old");
  EXPECT_EQ(target.Read("a (2).txt"), "older");
  EXPECT_EQ(target.Read("a (3).txt"), "new");
  ExpectProgress(events, {{target.File("a (3).txt"), 3}});
}

TEST(ZipComponent, ExtractRefusesEntriesThatLeaveTheFolderAndWritesNothing) {
  TempDir root;
  root.MakeFolder("inner");
  const std::string inner = root.File("inner");
  const std::string archive = JoinPath(inner, "hostile.zip");
  const std::string unsafeNames[] = {
      "../evil.txt",           "..\\evil.txt",        "sub/../../evil.txt",
      "sub\\..\\..\\evil.txt", root.File("evil.txt"), "\\\\server\\share\\evil.txt",
      "C:\\evil.txt",          "C:evil.txt",
  };
  for (const std::string& name : unsafeNames) {
    SCOPED_TRACE(name);
    root.Write(JoinPath("inner", "hostile.zip"),
               test::AssembleStoredArchive({{"good.txt", "harmless"}, {name, "payload"}}));
    const auto raised = RaisedBy([&] { Unzip(archive); });
    EXPECT_EQ(raised.number, Number(ZipError::kUnsafeEntry));
    EXPECT_NE(raised.description.find("'" + name + "'"), std::string::npos) << raised.description;
    EXPECT_EQ(ListFolder(inner), std::vector<std::string>{"hostile.zip"});
    EXPECT_EQ(ListFolder(root.Path()), std::vector<std::string>{"inner"});
  }
}

TEST(ZipComponent, ExtractRecreatesTheEntriesFolders) {
  TempDir dir;
  dir.Write("tree.zip", test::AssembleStoredArchive({{"docs/", ""},
                                                     {"docs/guide/intro.txt", "intro"},
                                                     {"top.txt", "top"},
                                                     {"empty/", ""},
                                                     {"docs/log 10:00.txt", "made on Linux"}}));
  Unzip(dir.File("tree.zip"));
  const char sep = platform::kPathSeparator;
  EXPECT_EQ(dir.Read(std::string("docs") + sep + "guide" + sep + "intro.txt"), "intro");
  // Windows would take the colon for an alternate data stream.
  EXPECT_EQ(dir.Read(std::string("docs") + sep + (sep == '\\' ? "log 10_00.txt" : "log 10:00.txt")),
            "made on Linux");
  EXPECT_EQ(dir.Read("top.txt"), "top");
  EXPECT_TRUE(platform::IsDirectory(dir.File("empty")));
}

// Offsets of the first entry's parts in an archive written by zipkit: the local header comes
// first, the end record last.
std::size_t DataStart(const std::string& archive) {
  const auto nameSize = static_cast<unsigned char>(archive[26]) | static_cast<unsigned char>(archive[27])
                                                                      << 8;
  return 30 + static_cast<std::size_t>(nameSize);
}
std::size_t CentralStart(const std::string& archive) {
  std::size_t offset = 0;
  for (int i = 3; i >= 0; --i)
    offset = offset << 8 | static_cast<unsigned char>(archive[archive.size() - 6 + i]);
  return offset;
}

TEST(ZipComponent, DamagedArchivesAndWrongPasswordsFailWithoutLeavingAFile) {
  const std::string content = TextBytes(2 << 20);
  const struct {
    const char* label;
    Job job;
    std::string extractPassword;
    std::function<void(std::string&)> damage;
    ZipError expected;
  } cases[] = {
      {"deflated data flipped",
       {9, false, ""},
       "",
       [](std::string& a) { a[DataStart(a) + 3000] ^= 0x55; },
       ZipError::kCorrupt},
      // Found only once the whole file is out: the CRC check must remove it.
      {"stored data flipped",
       {0, false, ""},
       "",
       [](std::string& a) { a[DataStart(a) + (3 << 19)] ^= 1; },
       ZipError::kCorrupt},
      {"CRC changed",
       {9, false, ""},
       "",
       [](std::string& a) {
         a[14] ^= 1;
         a[CentralStart(a) + 16] ^= 1;
       },
       ZipError::kCorrupt},
      {"cut in the middle",
       {9, false, ""},
       "",
       [](std::string& a) { a.resize(a.size() / 2); },
       ZipError::kNotAnArchive},
      {"end record cut",
       {9, false, ""},
       "",
       [](std::string& a) { a.resize(a.size() - 5); },
       ZipError::kNotAnArchive},
      {"wrong password", {9, true, "right"}, "wrong", [](std::string&) {}, ZipError::kWrongPassword},
      {"no password", {9, true, "right"}, "", [](std::string&) {}, ZipError::kNoPassword},
      {"encrypted data flipped",
       {9, true, "right"},
       "right",
       [](std::string& a) { a[DataStart(a) + 12 + 3000] ^= 0x55; },
       ZipError::kCorrupt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir sources;
    TempDir target;
    sources.Write("big.txt", content);
    Zip(target.File("d.zip"), {sources.File("big.txt")}, c.job);
    std::string bytes = target.Read("d.zip");
    c.damage(bytes);
    target.Write("d.zip", bytes);
    const auto raised = RaisedBy([&] { Unzip(target.File("d.zip"), c.extractPassword); });
    // One wrong password in 128 passes the check byte of the encryption header (its random
    // bytes differ from run to run); the data then fails its checks instead.
    const bool passedCheckByte = c.expected == ZipError::kWrongPassword &&
                                 raised.number == Number(ZipError::kCorrupt) &&
                                 raised.description.find("password") != std::string::npos;
    if (!passedCheckByte) {
      EXPECT_EQ(raised.number, Number(c.expected)) << raised.description;
    }
    EXPECT_NE(raised.description.find("d.zip"), std::string::npos) << raised.description;
    EXPECT_EQ(ListFolder(target.Path()), std::vector<std::string>{"d.zip"});
  }
}

// Fails every write to a file whose path holds `name` once `limit` bytes have gone to it: an
// archive is written under a temporary name that starts with its own.
class FailingWrites : public platform::Seam {
 public:
  FailingWrites(std::string name, std::size_t limit) : name_(std::move(name)), limit_(limit) {}
  void BeforeWrite(const std::string& path, std::size_t size) override {
    if (path.find(name_) == std::string::npos) return;
    written_ += size;
    if (written_ > limit_)
      throw platform::RuntimeError(28, "Cannot write '" + path + "': No space left on device");
  }

 private:
  std::string name_;
  std::size_t limit_;
  std::size_t written_ = 0;
};

TEST(ZipComponent, AFullDiskLeavesNoPartialFile) {
  TempDir sources;
  TempDir target;
  sources.Write("big.bin", carvex::test::PatternBytes(3 << 20, 5));
  {
    FailingWrites seam("w.zip", 1 << 20);
    platform::ScopedSeam scoped(seam);
    const auto raised = RaisedBy([&] { Zip(target.File("w.zip"), {sources.File("big.bin")}); });
    EXPECT_EQ(raised.number, 28);
    EXPECT_TRUE(ListFolder(target.Path()).empty());
  }
  Zip(target.File("w.zip"), {sources.File("big.bin")});
  FailingWrites seam("big.bin", 1 << 20);
  platform::ScopedSeam scoped(seam);
  const auto raised = RaisedBy([&] { Unzip(target.File("w.zip")); });
  EXPECT_EQ(raised.number, 28);
  EXPECT_EQ(ListFolder(target.Path()), std::vector<std::string>{"w.zip"});
}

// Fails reads of a file whose path ends with `name` once `limit` bytes have come from it.
class FailingReads : public platform::Seam {
 public:
  FailingReads(std::string name, std::size_t limit) : name_(std::move(name)), limit_(limit) {}
  void BeforeRead(const std::string& path, std::size_t size) override {
    if (!path.ends_with(name_)) return;
    read_ += size;
    if (read_ > limit_) throw platform::RuntimeError(5, "Cannot read '" + path + "': Input/output error");
  }

 private:
  std::string name_;
  std::size_t limit_;
  std::size_t read_ = 0;
};

// The threads of this process, where the system lists them (Linux); 0 elsewhere.
std::size_t ThreadCount() {
  std::error_code error;
  std::size_t count = 0;
  for (std::filesystem::directory_iterator it("/proc/self/task", error), end; !error && it != end;
       it.increment(error))
    ++count;
  return count;
}

// A job that stops while blocks are out with the workers, by a read error in the middle of a
// large file or by the progress handler raising (as Cancel does), ends with that error and
// leaves neither an archive nor a thread behind.
TEST(ZipComponent, AJobStoppedMidwayLeavesNoArchiveAndNoThread) {
  constexpr long kCancelled = 32755;
  TempDir dir;
  const std::vector<std::string> paths = WriteSources(
      dir, {{"first.txt", TextBytes(3 << 20)}, {"second.bin", carvex::test::PatternBytes(6 << 20, 4)}});
  const struct {
    const char* label;
    std::size_t readLimit;  // of second.bin
    int cancelAtReport;     // counts kBytesDone events
    long number;
  } cases[] = {
      {"read error", 2 << 20, 0, 5},
      {"cancelled in the first file", std::size_t{1} << 40, 3, kCancelled},
      {"cancelled in the second file", std::size_t{1} << 40, 20, kCancelled},
  };
  const std::size_t threadsBefore = ThreadCount();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FailingReads seam("second.bin", c.readLimit);
    platform::ScopedSeam scoped(seam);
    int reports = 0;
    ZipComponent zip;
    zip.SetProgressHandler([&](int kind, const std::string&, std::int64_t) {
      if (kind == kBytesDone && ++reports == c.cancelAtReport)
        throw platform::RuntimeError(kCancelled, "Cancelled");
    });
    zip.SetCompressionLevel(6);
    zip.SetArchivePath(dir.File("s.zip"));
    for (const std::string& path : paths) zip.SourceFiles().AddItem(path);
    const auto raised = RaisedBy([&] { zip.Add(); });
    EXPECT_EQ(raised.number, c.number) << raised.description;
    EXPECT_EQ(ListFolder(dir.Path()), (std::vector<std::string>{"first.txt", "second.bin"}));
    // A joined thread can linger in the list for a moment while the system reaps it.
    for (int tries = 0; ThreadCount() != threadsBefore && tries < 200; ++tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ThreadCount(), threadsBefore);
  }
}

TEST(ZipComponent, AddFailuresNameTheProblemAndLeaveNoArchive) {
  TempDir dir;
  dir.Write("real.txt", "x");
  dir.MakeFolder(JoinPath("folder", "sub"));
  dir.Write(JoinPath(JoinPath("folder", "sub"), "locked.txt"), "unreadable");
  carvex::test::UnreadableFile seam("locked.txt");
  platform::ScopedSeam scoped(seam);
  const struct {
    const char* label;
    std::vector<std::string> sources;
    Job job;
    long number;
    std::string mentioned;
  } cases[] = {
      {"no sources", {}, {}, Number(ZipError::kInvalidSetting), "a.zip"},
      {"encryption without password",
       {dir.File("real.txt")},
       {9, true, ""},
       Number(ZipError::kNoPassword),
       "a.zip"},
      {"unreadable file deep in a folder",
       {dir.File("real.txt"), dir.File("folder")},
       {},
       13,
       dir.File(JoinPath(JoinPath("folder", "sub"), "locked.txt"))},
      {"missing source after a good one",
       {dir.File("real.txt"), dir.File("gone.txt")},
       {},
       0,
       dir.File("gone.txt")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto raised = RaisedBy([&] { Zip(dir.File("a.zip"), c.sources, c.job); });
    if (c.number != 0) {
      EXPECT_EQ(raised.number, c.number);
    } else {
      EXPECT_NE(raised.number, 0);  // the OS's own number
    }
    EXPECT_NE(raised.description.find(c.mentioned), std::string::npos) << raised.description;
    EXPECT_EQ(ListFolder(dir.Path()), (std::vector<std::string>{"folder", "real.txt"}));
  }
}

TEST(ZipComponent, ExtractFindsAnArchiveBehindAProgram) {
  TempDir sources;
  TempDir target;
  sources.Write("inside.txt", "found");
  Zip(sources.File("plain.zip"), {sources.File("inside.txt")}, {9, true, "pw"});
  // Offsets left as they were: they count from the archive, not from the file.
  target.Write("glued.zip", "MZ" + carvex::test::PatternBytes(5000, 9) + sources.Read("plain.zip"));
  Unzip(target.File("glued.zip"), "pw");
  EXPECT_EQ(target.Read("inside.txt"), "found");
}

TEST(ZipComponent, ConvertPutsTheStubInFrontOfAnArchiveThatStillReads) {
  TempDir dir;
  dir.MakeFolder("out");
  const std::string stub = carvex::test::PatternBytes(70000, 4);
  dir.Write("stub.bin", stub);
  dir.Write("a.txt", TextBytes(100000));
  dir.Write("b.bin", carvex::test::PatternBytes(5000, 8));
  const std::string archive = dir.File("Backup.ZIP");
  Zip(archive, {dir.File("a.txt"), dir.File("b.bin")});
  const std::string before = dir.Read("Backup.ZIP");

  ZipComponent zip;
  std::vector<ProgressEvent> events;
  zip.SetProgressHandler(RecordInto(events));
  zip.SetArchivePath(archive);
  zip.SetSfxStubPath(dir.File("stub.bin"));
  zip.SetSfxCaption("Widgets Setup");
  zip.SetSfxOverwriteMode("OvrNever");
  zip.Convert();

  const std::string program = dir.File("Backup.exe");
  EXPECT_EQ(dir.Read("Backup.ZIP"), before);
  EXPECT_EQ(dir.Read("Backup.exe").substr(0, stub.size()), stub);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().kind, kFileBegins);
  EXPECT_EQ(events.front().text, program);
  EXPECT_EQ(events.back().kind, kBatchEnded);
  const SfxSettings settings = ReadSfxSettings(program);
  EXPECT_EQ(settings.caption, "Widgets Setup");
  EXPECT_EQ(settings.overwriteMode, "OvrNever");

  ExtractOptions options;
  options.folder = dir.File("out");
  ExtractArchive(program, options);
  EXPECT_EQ(dir.Read(JoinPath("out", "a.txt")), dir.Read("a.txt"));
  EXPECT_EQ(dir.Read(JoinPath("out", "b.bin")), dir.Read("b.bin"));
}

}  // namespace
}  // namespace carvex::zipkit
