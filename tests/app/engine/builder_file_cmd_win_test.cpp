// Runs generated builder files with the system's own cmd.exe, as a user would in the folder
// of the pieces, and compares the rebuilt file with the source byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include "builder_file.h"
#include "mod_public.h"
#include "progress_status.h"
#include "splitter.h"
#include "support/headless.h"
#include "support/system_fixtures.h"
#include "support/temp_dir.h"

namespace carvex {
namespace {

std::wstring Wide(const std::string& utf8) {
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), n);
  out.resize(static_cast<std::size_t>(n - 1));
  return out;
}

// Runs "cmd.exe /c <batch>" in `folder` with Enter keys on standard input for its PAUSE
// lines; returns the exit code, or -1 when it did not finish in time.
long RunBatch(const std::string& folder, const std::string& batchName) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -2;
  ::SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);

  wchar_t system[MAX_PATH];
  ::GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
  std::wstring commandLine = L"\"" + cmd + L"\" /c \"" + Wide(batchName) + L"\"";

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = readEnd;
  startup.hStdOutput = nul;
  startup.hStdError = nul;
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(cmd.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        Wide(folder).c_str(), &startup, &process);
  ::CloseHandle(readEnd);
  ::CloseHandle(nul);
  if (!started) {
    ::CloseHandle(writeEnd);
    return -3;
  }
  const char keys[] = "\r\n\r\n\r\n";
  DWORD written = 0;
  ::WriteFile(writeEnd, keys, sizeof keys - 1, &written, nullptr);
  ::CloseHandle(writeEnd);
  long result = -1;
  if (::WaitForSingleObject(process.hProcess, 300000) == WAIT_OBJECT_0) {
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    result = static_cast<long>(code);
  } else {
    ::TerminateProcess(process.hProcess, 1);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return result;
}

struct SplitCase {
  const char* label;
  std::string name;
  std::size_t pieceSize;
  std::size_t fileSize;
  // Wine's cmd.exe cannot start a batch file whose own name holds "%" or "&"; such a case runs a
  // copy of the builder file under this name instead, which still tests every line of it.
  const char* runAs = nullptr;
};

// Cuts `source` into pieces by the naming rule, writes the builder file beside them and lets
// cmd.exe put the file back together.
void SplitWriteAndRebuild(const SplitCase& c) {
  SCOPED_TRACE(c.label);
  test::TempDir dir;
  const std::string source = test::PatternBytes(c.fileSize, static_cast<std::uint32_t>(c.fileSize));
  std::int64_t pieces = 0;
  for (std::size_t at = 0; at < source.size(); at += c.pieceSize)
    dir.Write(PieceFileName(c.name, ++pieces), source.substr(at, c.pieceSize));
  SplitFileName = c.name;
  SplitFullPieces = pieces - 1;
  WriteBuilderFile(dir.Folder());

  std::string batch = c.name + ".Bat";
  if (c.runAs) {
    dir.Write(c.runAs, dir.Read(batch));
    batch = c.runAs;
  }
  ASSERT_EQ(RunBatch(dir.Path(), batch), 0);
  std::string rebuilt;
  ASSERT_NO_THROW(rebuilt = dir.Read(c.name));
  EXPECT_TRUE(rebuilt == source) << "rebuilt " << rebuilt.size() << " bytes, source " << source.size();
  EXPECT_THROW(dir.Read("carvex.tmp"), std::runtime_error);
}

TEST(BuilderFileUnderCmd, RebuildsTheSourceExactly) {
  const SplitCase cases[] = {
      {"two pieces", "two.bin", 1000, 1500},
      {"three pieces", "movie.avi", 4096, 4096 * 2 + 17},
      {"even split", "even.dat", 512, 512 * 3},
      {"name with spaces", "my holiday film.mpg", 333, 1000},
      {"1001 pieces", "many.iso", 7, 7 * 1000 + 3},
      {"ampersand and caret", "Tom & Jerry ^2.avi", 100, 250, "caret.bat"},
      {"percent", "100% Tom & Jerry.avi", 100, 250, "percent.bat"},
      {"OEM letters", "caf\xC3\xA9 \xC3\xBC" "ber.txt", 100, 250},
  };
  for (const auto& c : cases) SplitWriteAndRebuild(c);
}

TEST(BuilderFileUnderCmd, RebuildsANameWithoutAnOemForm) {
  // Wine's cmd.exe decodes a batch file in the OEM code page whatever CHCP says when its
  // input is not a console; real Windows consoles honour the switch.
  if (test::RunningUnderWine())
    GTEST_SKIP() << "Wine's cmd.exe ignores CHCP for redirected input";
  SplitWriteAndRebuild({"Cyrillic", "\xD0\xB4\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5.bin", 100, 250});
}

// A second split of the same name into fewer pieces, in the same folder: the batch file it
// leaves rebuilds the second file, not one padded with the first set's later pieces.
class ResplitUnderCmd : public test::HeadlessTest {};

TEST_F(ResplitUnderCmd, RebuildsTheNewFileOnly) {
  ui::FormSlot<test::StubMainForm> main;
  ui::App().MainForm = &main.Get();
  test::TempDir app, src, dest;
  OverrideAppFolders(app.Path(), app.Path());
  ShowFinish = ClearList = kFalse;
  std::string source;
  for (const auto& [seed, pieceSize] : {std::pair{1u, 50000}, std::pair{2u, 100000}}) {
    source = test::PatternBytes(250000, seed);
    src.Write("movie.avi", source);
    SplitSourcePath = src.File("movie.avi");
    SplitFileName = "movie.avi";
    SplitFileSize = 250000;
    SplitPieceSize = pieceSize;
    SplitDestination = dest.Folder();
    SplitInProgress = true;
    SplitFile();
  }
  EXPECT_FALSE(test::TempDir::Exists(dest.File("movie.avi.004.cvx")));
  ASSERT_EQ(RunBatch(dest.Path(), "movie.avi.Bat"), 0);
  EXPECT_TRUE(dest.Read("movie.avi") == source);
  frmProgressStatus.Reset();
  main.Reset();
  ui::App().MainForm = nullptr;
  OverrideAppFolders("", "");
}

}  // namespace
}  // namespace carvex
