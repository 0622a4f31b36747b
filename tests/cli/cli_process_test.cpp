// Runs carvex-cli as a user would, from a shell, against real files.
#include <gtest/gtest.h>

#include <array>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "support/temp_dir.h"

namespace {

using carvex::test::TempDir;

struct ShellRun {
  int status;
  std::string output;  // standard output and standard error together
};

// Runs a shell command line and returns its exit status and what it printed.
ShellRun Shell(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, "popen failed"};
  std::array<char, 4096> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe)) output += buffer.data();
  const int raw = ::pclose(pipe);
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  EXPECT_NE(status, 128 + SIGABRT) << "aborted: " << command << "\n" << output;
  return {status, output};
}

class CliProcessTest : public testing::Test {
protected:
  // Every run keeps its settings, scratch files and registry inside the test's folder.
  // `runner` goes before the program, as "timeout 30".
  std::string Cli(const std::string& args, const std::string& runner = "") {
    return "cd '" + work.Path() + "' && CARVEX_DATA_FOLDER='" + data.Path() + "' CARVEX_REGISTRY_DB='" +
           data.File("registry.db") + "' " + runner + " " + CARVEX_CLI + " " + args;
  }
  TempDir work, data;
};

TEST_F(CliProcessTest, UsageErrorsAndVersion) {
  EXPECT_EQ(Shell(Cli("")).status, 2);
  EXPECT_EQ(Shell(Cli("split x --dest .")).status, 2);
  const ShellRun version = Shell(Cli("--version"));
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output, "Carvex Version: 1.3.0.0\n");
}

TEST_F(CliProcessTest, ARefusedRequestExitsOneWithTheApplicationsMessage) {
  work.Write("file.bin", std::string(1000, 'x'));
  work.MakeFolder("out");
  const ShellRun run = Shell(Cli("split file.bin --dest out --bytes 1000 --yes"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("The size you have chosen to split the file into is greater than or equal to the size of "
                            "the file."),
            std::string::npos)
      << run.output;
  EXPECT_FALSE(TempDir::Exists(work.File("out/file.bin.001.cvx")));
}

TEST_F(CliProcessTest, AMissingFileIsRefusedWithTheApplicationsMessage) {
  work.MakeFolder("out");
  const ShellRun run = Shell(Cli("split missing.bin --dest out --bytes 10 --yes"));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("There was an error adding this file(s) to the list:"), std::string::npos)
      << run.output;
}

TEST_F(CliProcessTest, TheSettingsFileIsReadButNeverCreatedOrWritten) {
  work.Write("file.bin", carvex::test::PatternBytes(1000));
  work.MakeFolder("out");
  ASSERT_EQ(Shell(Cli("split file.bin --dest out --bytes 400 --yes")).status, 0);
  EXPECT_FALSE(TempDir::Exists(data.File("Settings.Dat")));

  // Record 3, DelExists, on: the file already built is replaced without the question.
  std::string settings(1024, '\0');
  settings[256] = settings[257] = '\xFF';
  data.Write("Settings.Dat", settings);
  ASSERT_EQ(Shell("touch -d @1000000000 '" + data.File("Settings.Dat") + "'").status, 0);
  work.MakeFolder("built");
  work.Write("built/file.bin", "stale");
  const ShellRun build = Shell(Cli("build out/file.bin.001.cvx --dest built --yes"));
  EXPECT_EQ(build.status, 0) << build.output;
  EXPECT_EQ(build.output.find("already exists"), std::string::npos) << build.output;
  EXPECT_EQ(work.Read("built/file.bin"), work.Read("file.bin"));
  EXPECT_EQ(data.Read("Settings.Dat"), settings);
  struct stat after {};
  ASSERT_EQ(::stat(data.File("Settings.Dat").c_str(), &after), 0);
  EXPECT_EQ(after.st_mtime, 1000000000);
}

TEST_F(CliProcessTest, WithoutATerminalAQuestionIsRefusedUnlessYesIsGiven) {
  work.Write("file.bin", std::string(1000, 'x'));
  work.MakeFolder("out");
  const ShellRun run = Shell(Cli("split file.bin --dest out --bytes 300 < /dev/null"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("no terminal"), std::string::npos) << run.output;
  EXPECT_FALSE(TempDir::Exists(work.File("out/file.bin.001.cvx")));
}

TEST_F(CliProcessTest, SplitThenBuildRoundTripsAThreeGigabyteSparseFile) {
  work.MakeSparse("disk.img", 3LL << 30);
  Shell("printf 'start' | dd of='" + work.File("disk.img") + "' conv=notrunc 2>/dev/null");
  Shell("printf 'end' | dd of='" + work.File("disk.img") + "' bs=1 seek=3221225469 conv=notrunc 2>/dev/null");
  work.MakeFolder("out");
  work.MakeFolder("built");
  const ShellRun split = Shell(Cli("split disk.img --dest out --predefined '1 Gb' --yes"));
  ASSERT_EQ(split.status, 0) << split.output;
  EXPECT_TRUE(TempDir::Exists(work.File("out/disk.img.003.cvx")));
  const ShellRun build = Shell(Cli("build out/disk.img.001.cvx --dest built --yes --delete-pieces"));
  ASSERT_EQ(build.status, 0) << build.output;
  EXPECT_EQ(Shell("cmp '" + work.File("disk.img") + "' '" + work.File("built/disk.img") + "'").status, 0);
  EXPECT_FALSE(TempDir::Exists(work.File("out/disk.img.001.cvx")));
}

// A second split of the same name into fewer pieces leaves only its own set: the build gives
// back the second file, not one with the first set's later pieces appended.
TEST_F(CliProcessTest, AResplitIntoFewerPiecesBuildsBackTheNewFile) {
  work.MakeFolder("out");
  work.MakeFolder("built");
  work.Write("movie.avi", carvex::test::PatternBytes(250000, 1));
  ASSERT_EQ(Shell(Cli("split movie.avi --dest out --bytes 50000 --yes")).status, 0);
  work.Write("movie.avi", carvex::test::PatternBytes(250000, 2));
  ASSERT_EQ(Shell(Cli("split movie.avi --dest out --bytes 100000 --yes")).status, 0);
  EXPECT_FALSE(TempDir::Exists(work.File("out/movie.avi.004.cvx")));
  const ShellRun build = Shell(Cli("build out/movie.avi.001.cvx --dest built --yes"));
  ASSERT_EQ(build.status, 0) << build.output;
  EXPECT_EQ(Shell("cmp '" + work.File("movie.avi") + "' '" + work.File("built/movie.avi") + "'").status, 0);
}

TEST_F(CliProcessTest, AFolderIsRefusedUnlessItIsZipped) {
  work.MakeFolder("Photos");
  work.Write("Photos/a.jpg", "jpeg");
  work.MakeFolder("out");
  const ShellRun run = Shell(Cli("split Photos --dest out --bytes 10 --yes"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("is a folder"), std::string::npos) << run.output;
  EXPECT_FALSE(TempDir::Exists(work.File("out/Photos.001.cvx")));
}

TEST_F(CliProcessTest, CtrlCMidSplitWithYesLeavesNoPiece) {
  work.MakeSparse("disk.img", 2LL << 30);
  work.MakeFolder("out");
  // Interrupt once the second piece has been started, then collect the exit status.
  const ShellRun run = Shell("(" + Cli("split disk.img --dest out --kb 10240 --yes") +
                        ") & pid=$!; for i in $(seq 1 600); do [ -e '" + work.File("out/disk.img.002.cvx") +
                        "' ] && break; sleep 0.05; done; kill -INT $pid; wait $pid; echo status=$?");
  EXPECT_NE(run.output.find("status=130"), std::string::npos) << run.output;
  EXPECT_FALSE(TempDir::Exists(work.File("out/disk.img.001.cvx"))) << run.output;
  EXPECT_FALSE(TempDir::Exists(work.File("out/disk.img.002.cvx")));
  EXPECT_FALSE(TempDir::Exists(work.File("out/disk.img.Bat")));
}

TEST_F(CliProcessTest, ZippedSplitRebuildsAndUnpacks) {
  work.MakeFolder("Photos");
  work.Write("Photos/a.jpg", carvex::test::PatternBytes(300000, 1));
  work.Write("Photos/b.jpg", carvex::test::PatternBytes(200000, 2));
  work.MakeFolder("out");
  work.MakeFolder("built");
  work.Write("pw", "s3cret\n");
  const ShellRun split = Shell(Cli("split Photos/a.jpg Photos/b.jpg --dest out --kb 100 --zip Photos --level 1 "
                              "--password-file pw --yes"));
  ASSERT_EQ(split.status, 0) << split.output;
  EXPECT_TRUE(TempDir::Exists(work.File("out/Photos.zip.001.cvx")));
  const ShellRun build = Shell(Cli("build out/Photos.zip.001.cvx --dest built --yes"));
  ASSERT_EQ(build.status, 0) << build.output;
  EXPECT_EQ(Shell("unzip -t -P s3cret '" + work.File("built/Photos.zip") + "'").status, 0);
  EXPECT_EQ(Shell("cd '" + work.File("built") + "' && unzip -q -P s3cret Photos.zip && cmp a.jpg ../Photos/a.jpg && "
                  "cmp b.jpg ../Photos/b.jpg")
                .status,
            0);
  // The scratch archive is gone once the command has finished.
  EXPECT_EQ(Shell("ls -A '" + data.File("temp") + "' | wc -l").output, "0\n");
}

TEST_F(CliProcessTest, ASplitOntoAVolumeWithoutRoomEndsEvenWithYes) {
  if (Shell("unshare -m true").status != 0) GTEST_SKIP() << "no mount namespace for a small volume here";
  work.MakeFolder("small");
  work.Write("file.bin", carvex::test::PatternBytes(90000));
  // 40,000 bytes of a 64 KiB tmpfs taken: a 30,000-byte piece fits the volume but not its free
  // space. The mount lives in the run's own namespace and goes with it.
  const std::string small = work.File("small");
  const ShellRun run =
      Shell("unshare -m sh -c \"mount -t tmpfs -o size=64k tmpfs '" + small +
            "' && head -c 40000 /dev/zero > '" + small + "/filler' || exit 99; " +
            Cli("split file.bin --dest small --bytes 30000 --yes < /dev/null", "timeout 30") + "\"");
  EXPECT_EQ(run.status, 1) << run.output.substr(0, 2000);
  EXPECT_NE(run.output.find("There is not enough space on this drive"), std::string::npos);
  EXPECT_NE(run.output.find("no terminal"), std::string::npos) << run.output.substr(0, 2000);
}

// A folder from the command line, as "Zip and split" on a folder runs it: the rejoined archive
// lists the tree for other tools, and the build's unzip gives the tree back byte for byte.
TEST_F(CliProcessTest, AZippedFolderComesBackAsTheSameTree) {
  const std::string deep = "Photos/2024/M\xC3\xBCnchen \xD0\xB4/\xE6\x96\x87.txt";
  work.MakeFolder(deep.substr(0, deep.rfind('/')));
  work.MakeFolder("Photos/empty");
  work.Write(deep, carvex::test::PatternBytes(70000, 2));
  work.Write("Photos/2024/a.jpg", carvex::test::PatternBytes(300000, 1));
  work.MakeFolder("out");
  work.MakeFolder("built");
  const ShellRun split = Shell(Cli("split Photos --zip Photos --dest out --bytes 100000 --yes"));
  ASSERT_EQ(split.status, 0) << split.output;
  const ShellRun build = Shell(Cli("build out/Photos.zip.001.cvx --dest built --unzip --yes"));
  ASSERT_EQ(build.status, 0) << build.output;
  const std::string archive = " '" + work.File("built/Photos.zip") + "'";
  const std::string unzip = Shell("LC_ALL=C.UTF-8 unzip -l" + archive).output;
  // 7z names folders without their final "/".
  const std::string sevenZip = Shell("LC_ALL=C.UTF-8 7z l" + archive).output;
  for (const std::string& name : {deep, std::string("Photos/2024/a.jpg"), std::string("Photos/empty/")}) {
    EXPECT_NE(unzip.find(name), std::string::npos) << name << "\n" << unzip;
    EXPECT_NE(sevenZip.find(name.substr(0, name.find_last_not_of('/') + 1)), std::string::npos) << sevenZip;
  }
  const ShellRun diff = Shell("diff -r '" + work.File("Photos") + "' '" + work.File("built/Photos") + "'");
  EXPECT_EQ(diff.status, 0) << diff.output;
}

std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

void FlipByte(TempDir& dir, const std::string& name, std::size_t at) {
  std::string bytes = dir.Read(name);
  bytes[at] ^= 1;
  dir.Write(name, bytes);
}

// After a split sha256sum accepts the pieces, after the build the whole file too; a byte
// changed in piece 2 then stops verify, build and the join script, each naming piece 2 and
// none leaving a file behind.
TEST_F(CliProcessTest, ChecksumsCatchAChangedPieceWhereverTheSetIsJoined) {
  work.Write("file.bin", carvex::test::PatternBytes(250000, 3));
  work.MakeFolder("out");
  ASSERT_EQ(Shell(Cli("split file.bin --dest out --kb 100 --yes --sh")).status, 0);
  const std::string out = " '" + work.File("out") + "'";
  EXPECT_EQ(Shell("cd" + out + " && sha256sum -c --ignore-missing file.bin.sha256").status, 0);
  const ShellRun verified = Shell(Cli("verify out/file.bin.002.cvx"));
  EXPECT_EQ(verified.status, 0) << verified.output;
  EXPECT_NE(verified.output.find("All 3 pieces match file.bin.sha256."), std::string::npos) << verified.output;
  const ShellRun built = Shell(Cli("build out/file.bin.001.cvx --yes"));
  ASSERT_EQ(built.status, 0) << built.output;
  const ShellRun whole = Shell("cd" + out + " && sha256sum -c file.bin.sha256");
  EXPECT_EQ(whole.status, 0) << whole.output;
  EXPECT_NE(whole.output.find("file.bin: OK"), std::string::npos) << whole.output;

  std::filesystem::remove(work.File("out/file.bin"));
  FlipByte(work, "out/file.bin.002.cvx", 5000);
  const std::set<std::string> before = Listing(work.File("out"));
  const struct {
    std::string command;
    std::string says;
  } runs[] = {
      {Cli("verify out/file.bin.001.cvx"), "file.bin.002.cvx: does not match its checksum"},
      {Cli("build out/file.bin.001.cvx --yes"), "The piece 'file.bin.002.cvx' does not match its checksum"},
      {"dash" + out + "/file.bin.sh", "The piece file.bin.002.cvx does not match its checksum"},
  };
  for (const auto& run : runs) {
    const ShellRun result = Shell(run.command);
    EXPECT_EQ(result.status, 1) << run.command;
    EXPECT_NE(result.output.find(run.says), std::string::npos) << result.output;
    EXPECT_EQ(Listing(work.File("out")), before) << run.command;
  }
}

// In a folder others can write, a link planted under the script's temporary name (its process
// id is known once it runs) is never written through, under dash and bash.
TEST_F(CliProcessTest, TheJoinScriptNeverWritesThroughAPlantedLink) {
  work.Write("file.bin", carvex::test::PatternBytes(150000, 5));
  work.Write("victim", "keep me");
  work.MakeFolder("out");
  ASSERT_EQ(Shell(Cli("split file.bin --dest out --kb 100 --yes --sh")).status, 0);
  for (const std::string shell : {"dash", "bash"}) {
    SCOPED_TRACE(shell);
    // exec keeps the process id, so the link is where the script will write.
    const ShellRun run = Shell("cd '" + work.File("out") + "' && sh -c 'ln -s ../victim \"file.bin.join-$$\" && exec " +
                               shell + " ./file.bin.sh'");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("is in the way"), std::string::npos) << run.output;
    EXPECT_EQ(work.Read("victim"), "keep me");
    EXPECT_FALSE(std::filesystem::exists(work.File("out/file.bin")));
    for (const auto& entry : std::filesystem::directory_iterator(work.File("out")))
      if (entry.path().filename().string().starts_with("file.bin.join-")) std::filesystem::remove(entry.path());
  }
}

// A name that holds terminal control sequences reaches a terminal (a pseudo-terminal made by
// script) escaped, from carvex-cli and from the join script; verify escapes it into a pipe too,
// where a line break would fake a line of its own.
TEST_F(CliProcessTest, NamesCannotDriveTheTerminal) {
  const std::string name = "title\x1b]0;pwned\x07 hide\x1b[8m\nfake.bin";
  ::setenv("CARVEX_TEST_NAME", name.c_str(), 1);
  work.Write(name, carvex::test::PatternBytes(150000, 6));
  work.MakeFolder("out");
  const auto onTerminal = [](const std::string& command) {
    return "script -qec \"" + command + "\" /dev/null";
  };
  const std::string runs[] = {
      onTerminal(Cli("split \\\"$CARVEX_TEST_NAME\\\" --dest out --kb 100 --yes --sh")),
      onTerminal(Cli("verify \\\"out/$CARVEX_TEST_NAME.001.cvx\\\"")),
      onTerminal("sh \\\"" + work.File("out") + "/$CARVEX_TEST_NAME.sh\\\""),
      Cli("verify \"out/$CARVEX_TEST_NAME.001.cvx\""),
  };
  for (const std::string& command : runs) {
    const ShellRun run = Shell(command);
    EXPECT_EQ(run.output.find('\x1b'), std::string::npos) << command << "\n" << run.output;
    // A message keeps its own line breaks; verify's lines and the script's messages keep none.
    EXPECT_NE(run.output.find("title\\x1b]0;pwned\\x07 hide\\x1b[8m"), std::string::npos) << command << "\n" << run.output;
    if (command.find("verify") != std::string::npos || command.find(".sh") != std::string::npos) {
      EXPECT_NE(run.output.find("[8m\\nfake.bin"), std::string::npos) << command << "\n" << run.output;
    }
  }
}

// A batch file cannot spell a name with a double quote or a control character: none is
// written, and the split says so and which other way builds the file.
TEST_F(CliProcessTest, ASplitSaysWhenNoBatchFileCanNameItsPieces) {
  const struct {
    std::string name;
    std::string options;
    bool batch;
    std::string says;
  } cases[] = {
      {"plain name.bin", "", true, ""},
      {"say \"hi\".bin", "", false, "No batch file was written: a batch file cannot spell this file's name"},
      {"tab\there.bin", "--sh", false, "Build it with Carvex or its join script."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ::setenv("CARVEX_TEST_NAME", c.name.c_str(), 1);
    work.Write(c.name, carvex::test::PatternBytes(150000, 7));
    work.MakeFolder("out");
    const ShellRun run = Shell(Cli("split \"$CARVEX_TEST_NAME\" --dest out --kb 100 --yes " + c.options));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(std::filesystem::exists(work.File("out/" + c.name + ".Bat")), c.batch);
    EXPECT_EQ(run.output.find("No batch file was written") != std::string::npos, !c.batch) << run.output;
    if (!c.says.empty()) {
      EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    }
    std::filesystem::remove_all(work.File("out"));
  }
}

// Ctrl-C during the unpacking of a built archive stops it at the next chunk, takes back what it
// had unpacked (the built archive stays) and ends with status 130.
TEST_F(CliProcessTest, CtrlCStopsAnUnzipAndRemovesWhatItWrote) {
  ASSERT_EQ(Shell("cd '" + work.Path() +
                  "' && python3 -c \"import zipfile\n"
                  "with zipfile.ZipFile('big.zip', 'w', zipfile.ZIP_DEFLATED, compresslevel=1) as z:\n"
                  "  with z.open('big.bin', 'w', force_zip64=True) as f:\n"
                  "    block = bytes(1 << 20)\n"
                  "    for _ in range(1024): f.write(block)\n\"")
                .status,
            0);
  work.MakeFolder("pieces");
  ASSERT_EQ(Shell(Cli("split big.zip --dest pieces --kb 500 --yes")).status, 0);
  work.MakeFolder("out");
  // The job runs in the background; the first progress line of the unpacking brings Ctrl-C.
  const ShellRun run = Shell(
      "(" + Cli("build pieces/big.zip.001.cvx --dest out --unzip --yes") + ") 2>'" + work.File("err") +
      "' & job=$!; for _ in $(seq 1200); do grep -q Unziping '" + work.File("err") +
      "' && break; sleep 0.05; done; kill -INT $job; started=$(date +%s%N); wait $job; status=$?; "
      "echo \"status $status after $((($(date +%s%N) - started) / 1000000)) ms\"; cat '" + work.File("err") + "'");
  EXPECT_NE(run.output.find("status 130 after"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Interrupted."), std::string::npos) << run.output;
  EXPECT_FALSE(std::filesystem::exists(work.File("out/big.bin"))) << run.output;
  EXPECT_TRUE(std::filesystem::exists(work.File("out/big.zip"))) << run.output;
}

// A build whose archive is refused is still a build: the file stays, the message says it was
// built and matched its checksums, and the status (3) tells it apart from a failed build. An
// encrypted archive takes its password from a file.
TEST_F(CliProcessTest, ARefusedUnzipAfterAVerifiedBuildIsNoFailedBuild) {
  work.Write("inner.txt", "secret words");
  const std::string make =
      "cd '" + work.Path() + "' && python3 -c \"import zipfile\nwith zipfile.ZipFile('bad.zip', 'w') as z:\n"
      "  z.writestr('fine.txt', 'fine'); z.writestr('../evil.txt', 'payload')\" && zip -q -P 'pass word' good.zip "
      "inner.txt && printf 'pass word\\n' > password.txt";
  ASSERT_EQ(Shell(make).status, 0);
  const struct {
    std::string archive;
    std::string options;
    int status;
    std::string says;
  } cases[] = {
      {"bad.zip", "", 3, "The file 'bad.zip' has been built and matches its checksums, but it could not be unpacked."},
      {"good.zip", "--password-file password.txt", 0, ""},
      {"good.zip", "", 3, "no password"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.archive + " " + c.options);
    std::filesystem::remove_all(work.File("pieces"));
    std::filesystem::remove_all(work.File("out"));
    work.MakeFolder("pieces");
    work.MakeFolder("out");
    ASSERT_EQ(Shell(Cli("split " + c.archive + " --dest pieces --bytes 100 --yes")).status, 0);
    const ShellRun run = Shell(Cli("build pieces/" + c.archive + ".001.cvx --dest out --unzip --yes " + c.options));
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    EXPECT_EQ(work.Read("out/" + c.archive), work.Read(c.archive));
    if (c.status == 0) {
      EXPECT_EQ(work.Read("out/inner.txt"), "secret words");
    }
  }
  EXPECT_EQ(Shell(Cli("build pieces/good.zip.001.cvx --password-file password.txt")).status, 2);
}

// Whatever the name holds, the script joins exactly the set and runs none of it, under dash
// and bash, started from another folder.
TEST_F(CliProcessTest, TheJoinScriptRebuildsAnyNameAndRunsNoneOfIt) {
  const std::string name = "-it's $(touch x) `touch y` \"q\" \\n\nM\xC3\xBCnchen.bin";
  ::setenv("CARVEX_TEST_NAME", name.c_str(), 1);
  work.Write(name, carvex::test::PatternBytes(250000, 4));
  work.MakeFolder("out");
  work.MakeFolder("elsewhere");
  ASSERT_EQ(Shell(Cli("split \"$CARVEX_TEST_NAME\" --dest out --kb 100 --yes --sh")).status, 0);
  struct stat script {};
  ASSERT_EQ(::stat(work.File("out/" + name + ".sh").c_str(), &script), 0);
  EXPECT_TRUE(script.st_mode & S_IXUSR);
  const std::set<std::string> pieces = Listing(work.File("out"));
  for (const std::string shell : {"dash", "bash"}) {
    SCOPED_TRACE(shell);
    const ShellRun run = Shell("cd '" + work.File("elsewhere") + "' && " + shell + " \"" + work.File("out") +
                               "/$CARVEX_TEST_NAME.sh\"");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(work.Read("out/" + name), work.Read(name));
    std::set<std::string> expected = pieces;
    expected.insert(name);
    EXPECT_EQ(Listing(work.File("out")), expected);
    EXPECT_TRUE(Listing(work.File("elsewhere")).empty());
    EXPECT_EQ(Listing(work.Path()), (std::set<std::string>{name, "out", "elsewhere"}));
    std::filesystem::remove(work.File("out/" + name));
  }
  ::unsetenv("CARVEX_TEST_NAME");
}

}  // namespace
