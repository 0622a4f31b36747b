// Splits one 1 GiB file with SplitFile (headless) and with split(1), for two piece sizes, and
// prints how long each took and the ratio. Usage: bench_split [work folder] [MiB]
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
#include "ui/headless.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class BenchMain : public carvex::ui::Form {
public:
  BenchMain() : Form("frmCarvex") {}
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

double SplitWithCarvex(const std::string& source, const std::string& dest, std::int64_t size, std::int64_t piece) {
  using namespace carvex;
  SplitSourcePath = source;
  SplitFileName = fs::path(source).filename().string();
  SplitFileSize = size;
  SplitPieceSize = piece;
  SplitDestination = dest + "/";
  SplitInProgress = true;
  CurrentMode = 1;
  const auto start = Clock::now();
  SplitFile();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double SplitWithPeer(const std::string& source, const std::string& dest, std::int64_t piece) {
  const std::string command =
      "split -a 5 -d -b " + std::to_string(piece) + " '" + source + "' '" + dest + "/part.'";
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "split failed\n");
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Empty(const std::string& folder) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::system("sync");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string work = argc > 1 ? argv[1] : (fs::temp_directory_path() / "carvex-bench").string();
  const std::int64_t size = (argc > 2 ? std::atoll(argv[2]) : 1024) << 20;
  fs::create_directories(work);
  const std::string source = work + "/source.bin";
  const std::string ours = work + "/carvex";
  const std::string peer = work + "/split";
  MakeSource(source, size);

  carvex::ui::HeadlessBackend ui;
  carvex::ui::App().SetBackend(&ui);
  carvex::ui::FormSlot<BenchMain> main;
  carvex::ui::App().MainForm = &main.Get();
  carvex::OverrideAppFolders(work, work);

  std::printf("%-12s %10s %10s %8s\n", "piece bytes", "carvex s", "split s", "ratio");
  for (std::int64_t piece : {std::int64_t{102400}, std::int64_t{1447035}}) {
    double bestOurs = 1e9, bestPeer = 1e9;
    for (int round = 0; round < 3; ++round) {
      Empty(ours);
      bestOurs = std::min(bestOurs, SplitWithCarvex(source, ours, size, piece));
      Empty(peer);
      bestPeer = std::min(bestPeer, SplitWithPeer(source, peer, piece));
    }
    std::printf("%-12lld %10.3f %10.3f %8.2f\n", static_cast<long long>(piece), bestOurs, bestPeer, bestOurs / bestPeer);
  }
  if (!ui.Failures().empty()) std::printf("unexpected: %s\n", ui.Failures().front().c_str());
  fs::remove_all(work);
  return 0;
}
