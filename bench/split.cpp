// Splits one 1 GiB file with SplitFile, headless and with the system's window backend showing
// its progress dialog (Qt, offscreen unless QT_QPA_PLATFORM says otherwise; Win32 on Windows,
// under Wine here), headless with checksums, and with the system's own peer (split(1); a file
// copy on Windows), for two piece sizes; then builds the set with BuildFile, headless, without
// and with its checksums, and with the system's join (cat; copy /b on Windows). Prints how long
// each took and the ratios. Usage: bench_split [work folder] [MiB]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "checksums.h"
#include "hash_pipeline.h"
#include "joiner.h"
#include "mod_public.h"
#include "platform/files.h"
#include "progress_status.h"
#include "splitter.h"
#include "ui/form.h"
#include "split_front.h"
#include "ui/headless.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class BenchMain : public carvex::ui::Form {
 public:
  BenchMain() : Form("frmCarvex") { SetClientSize(7800, 6015); }
};

void MakeSource(const std::string& path, std::int64_t size) {
  carvex::platform::File out(path, carvex::platform::File::Mode::kCreate);
  std::vector<char> block(1 << 20);
  std::uint64_t x = 88172645463325252ull;
  for (std::int64_t done = 0; done < size; done += static_cast<std::int64_t>(block.size())) {
    for (std::size_t i = 0; i < block.size(); i += 8) {
      x ^= x << 13, x ^= x >> 7, x ^= x << 17;
      std::memcpy(block.data() + i, &x, 8);
    }
    out.Write(block.data(), block.size());
  }
  out.Close();
}

double SplitWithCarvex(const std::string& source, const std::string& dest, std::int64_t size,
                       std::int64_t piece, bool checksums) {
  using namespace carvex;
  WriteChecksums = checksums ? kTrue : kFalse;
  SplitSourcePath = source;
  SplitFileName = fs::path(source).filename().string();
  SplitFileSize = size;
  SplitPieceSize = piece;
  SplitDestination = (fs::path(dest) / "").string();
  SplitInProgress = true;
  CurrentMode = 1;
  const auto start = Clock::now();
  SplitFile();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double SplitWithPeer(const std::string& source, const std::string& dest, std::int64_t piece) {
  const auto start = Clock::now();
  if (!bench::RunPeer(source, dest, piece)) std::fprintf(stderr, "the peer failed\n");
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Empty(const std::string& folder) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  bench::FlushDisks();
}

// The backend a run goes through, with a main window loaded on it (and shown, in a window).
struct Front {
  carvex::ui::Backend* backend;
  carvex::ui::FormSlot<BenchMain> main;
};

double SplitThrough(Front& front, const std::string& source, const std::string& dest, std::int64_t size,
                    std::int64_t piece, bool checksums = false, bool threads = true) {
  carvex::HashOnThreads = threads;
  carvex::ui::App().SetBackend(front.backend);
  carvex::ui::App().MainForm = &front.main.Get();
  return SplitWithCarvex(source, dest, size, piece, checksums);
}

// Builds the set of `name` in `pieces` into `into`, headless; with its checksums when N.sha256
// is beside the pieces.
double BuildWithCarvex(Front& front, const std::string& pieces, const std::string& name, const std::string& into) {
  using namespace carvex;
  ui::App().SetBackend(front.backend);
  ui::App().MainForm = &front.main.Get();
  BuildFileName = name;
  BuildSourceFolder = (fs::path(pieces) / "").string();
  BuildDestination = (fs::path(into) / "").string();
  BuildPieceCount = 0;
  while (platform::PathExists(PiecePath(BuildSourceFolder, name, BuildPieceCount + 1))) ++BuildPieceCount;
  const auto start = Clock::now();
  CenterForm(*frmProgressStatus);
  frmProgressStatus->Show();
  BuildInProgress = true;
  BuildFile();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!BuildVerified && platform::PathExists(ChecksumFilePath(BuildSourceFolder, name)))
    std::printf("unexpected: the build did not verify\n");
  return seconds;
}

double JoinWithPeer(const std::string& pieces, const std::string& into) {
  const auto start = Clock::now();
  if (!bench::RunJoinPeer(pieces, (fs::path(into) / "joined.bin").string()))
    std::fprintf(stderr, "the join peer failed\n");
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::unique_ptr<bench::WindowFront> window = bench::MakeWindowFront(argc, argv);
  const std::string work = argc > 1 ? argv[1] : (fs::temp_directory_path() / "carvex-bench").string();
  const std::int64_t size = (argc > 2 ? std::atoll(argv[2]) : 1024) << 20;
  fs::create_directories(work);
  const std::string source = (fs::path(work) / "source.bin").string();
  const std::string ours = (fs::path(work) / "carvex").string();
  const std::string peer = (fs::path(work) / "peer").string();
  MakeSource(source, size);
  carvex::OverrideAppFolders(work, work);

  carvex::ui::HeadlessBackend headless;
  Front quiet{&headless, {}};
  Front windowed{&window->Backend(), {}};
  carvex::ui::App().SetBackend(windowed.backend);
  windowed.main->Show();

  const std::string shown = "+ " + window->Name() + " s";
  const std::string cost = window->Name() + "/quiet";
  // "sums": with checksums, hashed on threads; "in loop": hashed in the copy loop.
  std::printf("%-12s %9s %9s %9s %9s %9s %7s %9s %10s %10s\n", "piece bytes", "carvex s", shown.c_str(), "sums s",
              "in loop s", (bench::PeerName() + " s").c_str(), "ratio", cost.c_str(), "sums/quiet", "loop/quiet");
  for (std::int64_t piece : {std::int64_t{102400}, std::int64_t{1447035}}) {
    double best[4] = {1e9, 1e9, 1e9, 1e9};  // quiet, shown, sums, in loop
    double bestPeer = 1e9;
    for (int round = 0; round < 3; ++round) {
      // Each goes first in turn: the disk's write-back favours none.
      for (int turn = 0; turn < 4; ++turn) {
        Empty(ours);
        const int kind = (round + turn) % 4;
        Front& front = kind == 1 ? windowed : quiet;
        best[kind] = std::min(best[kind], SplitThrough(front, source, ours, size, piece, kind >= 2, kind != 3));
      }
      Empty(peer);
      bestPeer = std::min(bestPeer, SplitWithPeer(source, peer, piece));
    }
    std::printf("%-12lld %9.3f %9.3f %9.3f %9.3f %9.3f %7.2f %9.3f %10.3f %10.3f\n", static_cast<long long>(piece),
                best[0], best[1], best[2], best[3], bestPeer, best[0] / bestPeer, best[1] / best[0],
                best[2] / best[0], best[3] / best[0]);
  }

  Empty(ours);
  SplitThrough(quiet, source, ours, size, 1447035, true);
  const std::string name = fs::path(source).filename().string();
  const std::string sums = carvex::ChecksumFilePath((fs::path(ours) / "").string(), name);
  const std::string built = (fs::path(work) / "built").string();
  std::printf("\n%-12s %9s %9s %9s %9s %7s %10s %10s\n", "build", "carvex s", "sums s", "in loop s",
              (bench::JoinPeerName() + " s").c_str(), "ratio", "sums/quiet", "loop/quiet");
  double best[3] = {1e9, 1e9, 1e9};  // quiet, sums, in loop
  double bestPeer = 1e9;
  for (int round = 0; round < 3; ++round) {
    for (int turn = 0; turn < 3; ++turn) {
      Empty(built);
      const int kind = (round + turn) % 3;
      if (kind == 0) fs::rename(sums, sums + ".off");
      carvex::HashOnThreads = kind != 2;
      best[kind] = std::min(best[kind], BuildWithCarvex(quiet, ours, name, built));
      if (kind == 0) fs::rename(sums + ".off", sums);
    }
    Empty(built);
    bestPeer = std::min(bestPeer, JoinWithPeer(ours, built));
  }
  std::printf("%-12s %9.3f %9.3f %9.3f %9.3f %7.2f %10.3f %10.3f\n", "1447035", best[0], best[1], best[2], bestPeer,
              best[0] / bestPeer, best[1] / best[0], best[2] / best[0]);
  // Each headless run shows its progress dialog there; more would mean a windowed run went headless.
  if (headless.ShownForms().size() != 28)
    std::printf("unexpected: %zu dialogs shown headless\n", headless.ShownForms().size());
  if (!headless.Failures().empty()) std::printf("unexpected: %s\n", headless.Failures().front().c_str());
  fs::remove_all(work);
  carvex::ui::App().MainForm = nullptr;
  return 0;
}
