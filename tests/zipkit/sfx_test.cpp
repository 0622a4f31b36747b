// Self-extracting programs made by Convert, run as a user would: the questions are answered
// through standard input, or in advance on the command line. Under Wine the Windows build runs
// its own PE stub.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/zipio.h"
#include "support/temp_dir.h"
#include "zip_test_support.h"
#include "zipkit/entry_names.h"
#include "zipkit/self_extractor.h"
#include "zipkit/zip_component.h"

namespace carvex::zipkit {
namespace {

using carvex::test::TempDir;
using test::ListFolder;
using test::RawEntry;
using test::RunProgram;

std::string Stub() { return JoinPath(platform::AppPath(), "ZipSFX.bin"); }

std::string Replaced(std::string text, const std::string& folder) {
  for (auto at = text.find("{dest}"); at != std::string::npos; at = text.find("{dest}", at + folder.size()))
    text.replace(at, 6, folder);
  return text;
}

// Packs a.txt and b.txt into `folder` and turns them into Setup.exe there.
std::string MakeProgram(const TempDir& dir, const std::string& folder, const std::string& password) {
  dir.Write("a.txt", "alpha new");
  dir.Write("b.txt", "bravo new");
  ZipComponent zip;
  zip.StartAddJob();
  zip.SetEncrypt(!password.empty());
  zip.SetPassword(password);
  zip.SetArchivePath(JoinPath(folder, "Setup.zip"));
  zip.SourceFiles().AddItem(dir.File("a.txt"));
  zip.SourceFiles().AddItem(dir.File("b.txt"));
  zip.Add();
  zip.SetSfxStubPath(Stub());
  zip.Convert();
  return JoinPath(folder, "Setup.exe");
}

TEST(SelfExtractor, AnswersFromTheUserDecideWhereAndWhatIsWritten) {
  const struct {
    const char* label;
    std::string password;
    bool ownFolder;  // the destination is the program's folder, else a new one below it
    bool oldFilesThere;
    std::vector<std::string> arguments;
    std::string input;
    int exitCode;
    std::string a, b;  // contents afterwards; empty for a missing file
  } cases[] = {
      {"Enter takes the program's folder", "", true, false, {}, "\n", 0, "alpha new", "bravo new"},
      {"a typed folder is created", "", false, false, {}, "{dest}\n", 0, "alpha new", "bravo new"},
      {"yes, then no", "", false, true, {}, "{dest}\ny\nn\n", 0, "alpha new", "bravo old"},
      {"all replaces the rest", "", false, true, {}, "{dest}\na\n", 0, "alpha new", "bravo new"},
      {"never keeps the rest", "", false, true, {}, "{dest}\ne\n", 0, "alpha old", "bravo old"},
      {"no answer replaces nothing", "", false, true, {}, "{dest}\n", 0, "alpha old", "bravo old"},
      {"password asked", "pw", false, false, {}, "{dest}\npw\n", 0, "alpha new", "bravo new"},
      {"three wrong passwords", "pw", false, false, {}, "{dest}\nx\ny\nz\n", 1, "", ""},
      {"unattended", "pw", false, true, {"-d", "{dest}", "-o", "-p", "pw"}, "", 0, "alpha new", "bravo new"},
      {"never replace", "", false, true, {"-d", "{dest}", "-n"}, "", 0, "alpha old", "bravo old"},
      {"input ends before the folder", "", true, false, {}, "", 1, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    dir.MakeFolder("dist");
    const std::string folder = dir.File("dist");
    const std::string program = MakeProgram(dir, folder, c.password);
    const std::string destination = c.ownFolder ? folder : JoinPath(JoinPath(folder, "new folder"), "deeper");
    if (c.oldFilesThere) {
      dir.MakeFolder(JoinPath(JoinPath("dist", "new folder"), "deeper"));
      dir.Write(JoinPath(JoinPath(JoinPath("dist", "new folder"), "deeper"), "a.txt"), "alpha old");
      dir.Write(JoinPath(JoinPath(JoinPath("dist", "new folder"), "deeper"), "b.txt"), "bravo old");
    }
    std::vector<std::string> arguments;
    for (const std::string& argument : c.arguments) arguments.push_back(Replaced(argument, destination));
    const test::ProgramRun run = RunProgram(program, arguments, Replaced(c.input, destination));
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    EXPECT_EQ(run.output.substr(0, run.output.find('\n')), "Self-extracting Archive") << run.output;
    const auto contentOf = [&](const std::string& name) {
      const std::string path = JoinPath(destination, name);
      return platform::PathExists(path) ? carvex::test::ReadFileBytes(path) : std::string();
    };
    EXPECT_EQ(contentOf("a.txt"), c.a);
    EXPECT_EQ(contentOf("b.txt"), c.b);
    // Nothing lands anywhere else, and no numbered copies appear.
    std::vector<std::string> inProgramFolder = {"Setup.exe", "Setup.zip"};
    if (c.ownFolder && !c.a.empty()) inProgramFolder = {"Setup.exe", "Setup.zip", "a.txt", "b.txt"};
    // A failed unpacking takes back the folders it made.
    const bool folderStays = !c.ownFolder && (c.exitCode == 0 || c.oldFilesThere);
    if (folderStays) inProgramFolder.push_back("new folder");
    EXPECT_EQ(ListFolder(folder), inProgramFolder);
    const std::vector<std::string> inDestination =
        c.a.empty() ? std::vector<std::string>() : std::vector<std::string>{"a.txt", "b.txt"};
    if (folderStays) {
      EXPECT_EQ(ListFolder(destination), inDestination);
    }
  }
}

TEST(SelfExtractor, ShowsTheCaptionItWasMadeWith) {
  TempDir dir;
  dir.Write("a.txt", "a");
  ZipComponent zip;
  zip.SetArchivePath(dir.File("c.zip"));
  zip.StartAddJob();
  zip.SourceFiles().AddItem(dir.File("a.txt"));
  zip.Add();
  zip.SetSfxStubPath(Stub());
  zip.SetSfxCaption("Widgets Setup \xE2\x80\x93 1.0");
  zip.Convert();
  const test::ProgramRun run = RunProgram(dir.File("c.exe"), {"--help"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output.substr(0, run.output.find('\n')), "Widgets Setup \xE2\x80\x93 1.0");
  EXPECT_NE(run.output.find("-d FOLDER"), std::string::npos) << run.output;
}

TEST(SelfExtractor, RefusesAHostileArchiveAndWritesNothing) {
  TempDir dir;
  dir.MakeFolder("inner");
  dir.Write(JoinPath("inner", "evil.zip"),
            test::AssembleStoredArchive({{"good.txt", "harmless"}, {"../evil.txt", "payload"}}));
  const std::string program = ConvertToSelfExtractor(dir.File(JoinPath("inner", "evil.zip")), Stub(), {}, {});
  const test::ProgramRun run = RunProgram(program, {"-y"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.output.find("'../evil.txt'"), std::string::npos) << run.output;
  EXPECT_EQ(ListFolder(dir.File("inner")), (std::vector<std::string>{"evil.exe", "evil.zip"}));
  EXPECT_EQ(ListFolder(dir.Path()), std::vector<std::string>{"inner"});
}

// The stub with `archive` appended as it is, its offsets counting from the archive's start: a
// hostile archive is never converted, and the program finds it all the same.
std::string AppendToStub(const TempDir& dir, const std::string& archive) {
  dir.Write("h.exe", carvex::test::ReadFileBytes(Stub()) + archive);
  platform::MakeExecutable(dir.File("h.exe"));
  return dir.File("h.exe");
}

TEST(SelfExtractor, RefusesWhatTheReaderRefusesAndWritesNothing) {
  // More than any disk holds, so the real free space refuses it wherever the test runs.
  const test::EntryFields beyondAnyDisk = test::DeflatedClaim("huge.bin", std::uint64_t{1} << 62);
  const struct {
    const char* label;
    std::string archive;
    std::string says;
    bool noArchive;  // the program says it holds none, rather than that it refuses the one it holds
  } cases[] = {
      {"50 entries share one local header", test::SharedHeaderArchive(50), "share bytes", false},
      {"2^32 entries in ZIP64",
       test::AfterAGoodEntry(test::StoredFields("b.txt", "b"), "b",
                             {std::uint64_t{1} << 32, std::nullopt, std::nullopt, true}),
       "claims 4294967296 entries", true},
      {"2^62 bytes declared", test::AfterAGoodEntry(beyondAnyDisk, test::kEmptyDeflate), "bytes free", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    const std::string program = AppendToStub(dir, c.archive);
    const test::ProgramRun run = RunProgram(program, {"-d", dir.File("out"), "-o"});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("holds no archive") != std::string::npos, c.noArchive) << run.output;
    EXPECT_EQ(ListFolder(dir.Path()), std::vector<std::string>{"h.exe"});
  }
}

TEST(SelfExtractor, TheBareStubSaysItHoldsNoArchive) {
  TempDir dir;
  // Wine starts programs by their extension; the copy makes the stub one it runs.
  const std::string copy = dir.File("bare.exe");
  dir.Write("bare.exe", carvex::test::ReadFileBytes(Stub()));
  platform::MakeExecutable(copy);
  const test::ProgramRun run = RunProgram(copy, {"-y"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.output.find("holds no archive"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace carvex::zipkit
