// Lists piece sets of 2,000, 8,000 and 10,000 pieces the way the build tab does (AddBuildFile,
// headless) and times listing the same folder with ls(1), each the best of five runs; prints
// each time, the ratio to ls, and how the time grows from 2,000 to 8,000 pieces (4 for work
// that grows with the pieces, 16 for work that grows with their square).
// Usage: bench_discovery [work folder]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "frm_carvex.h"
#include "mod_public.h"
#include "platform/files.h"
#include "ui/app.h"
#include "ui/headless.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void MakeSet(const fs::path& folder, int pieces) {
  fs::create_directories(folder);
  for (int k = 1; k <= pieces; ++k)
    carvex::platform::File(folder.string() + "/" + carvex::PieceFileName("movie.avi", k),
                           carvex::platform::File::Mode::kCreate);
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "carvex-bench-discovery";
  fs::remove_all(work);
  carvex::ui::HeadlessBackend headless;
  carvex::ui::App().SetBackend(&headless);
  carvex::OverrideAppFolders((work / "app").string(), (work / "app").string());
  fs::create_directories(work / "app");
  carvex::CarvexForm& window = *carvex::frmCarvex;

  double timeAt2000 = 0;
  std::printf("%8s %12s %12s %10s\n", "pieces", "carvex s", "ls s", "vs ls");
  for (int pieces : {2000, 8000, 10000}) {
    const fs::path folder = work / std::to_string(pieces);
    MakeSet(folder, pieces);
    // The best of five: one run of a few milliseconds is at the mercy of the machine.
    double carvexTime = 1e9;
    for (int run = 0; run < 5; ++run) {
      const auto start = Clock::now();
      window.AddBuildFile((folder / carvex::PieceFileName("movie.avi", 1)).string());
      carvexTime = std::min(carvexTime, Seconds(Clock::now() - start));
    }
    if (window.lvwBuildFileNames.Count() != static_cast<std::size_t>(pieces)) {
      std::fprintf(stderr, "listed %zu pieces of %d\n", window.lvwBuildFileNames.Count(), pieces);
      return 1;
    }
    const std::string ls = "ls -l '" + folder.string() + "' > /dev/null";
    double lsTime = 1e9;
    for (int run = 0; run < 5; ++run) {
      const auto start = Clock::now();
      if (std::system(ls.c_str()) != 0) return 1;
      lsTime = std::min(lsTime, Seconds(Clock::now() - start));
    }
    std::printf("%8d %12.4f %12.4f %9.2fx\n", pieces, carvexTime, lsTime, carvexTime / lsTime);
    if (pieces == 2000) timeAt2000 = carvexTime;
    if (pieces == 8000) std::printf("8,000 / 2,000 pieces: %.2fx the time\n", carvexTime / timeAt2000);
  }
  carvex::frmCarvex.Reset();
  fs::remove_all(work);
  return 0;
}
