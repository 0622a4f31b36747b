// Splits one 1 GiB file with SplitFile, headless and with the system's window backend showing
// its progress dialog (Qt, offscreen unless QT_QPA_PLATFORM says otherwise; Win32 on Windows,
// under Wine here), and with the system's own peer (split(1); a file copy on Windows), for two
// piece sizes; prints how long each took and the ratios. Usage: bench_split [work folder] [MiB]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

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
                       std::int64_t piece) {
  using namespace carvex;
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
                    std::int64_t piece) {
  carvex::ui::App().SetBackend(front.backend);
  carvex::ui::App().MainForm = &front.main.Get();
  return SplitWithCarvex(source, dest, size, piece);
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
  std::printf("%-12s %10s %10s %10s %8s %10s\n", "piece bytes", "carvex s", shown.c_str(),
              (bench::PeerName() + " s").c_str(), "ratio", cost.c_str());
  for (std::int64_t piece : {std::int64_t{102400}, std::int64_t{1447035}}) {
    double bestQuiet = 1e9, bestShown = 1e9, bestPeer = 1e9;
    for (int round = 0; round < 3; ++round) {
      // Each goes first in turn: the disk's write-back favours neither.
      for (int turn = 0; turn < 2; ++turn) {
        Empty(ours);
        if ((round + turn) % 2 == 0)
          bestQuiet = std::min(bestQuiet, SplitThrough(quiet, source, ours, size, piece));
        else
          bestShown = std::min(bestShown, SplitThrough(windowed, source, ours, size, piece));
      }
      Empty(peer);
      bestPeer = std::min(bestPeer, SplitWithPeer(source, peer, piece));
    }
    std::printf("%-12lld %10.3f %10.3f %10.3f %8.2f %10.3f\n", static_cast<long long>(piece), bestQuiet,
                bestShown, bestPeer, bestQuiet / bestPeer, bestShown / bestQuiet);
  }
  // Each headless run shows its progress dialog there; more would mean a windowed run went headless.
  if (headless.ShownForms().size() != 6)
    std::printf("unexpected: %zu dialogs shown headless\n", headless.ShownForms().size());
  if (!headless.Failures().empty()) std::printf("unexpected: %s\n", headless.Failures().front().c_str());
  fs::remove_all(work);
  carvex::ui::App().MainForm = nullptr;
  return 0;
}
