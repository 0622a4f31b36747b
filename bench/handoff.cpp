// Records selections of 1,000 and 10,000 files as the file manager module does on every
// selection change: the hand-off into a throwaway registry database, then the summary. Each
// size is timed best of three, beside `ls -l` of the folder that holds the same files, run in
// the same round. The last line is how the time grows from 1,000 to 10,000 files (10 for work
// that grows with the selection, 100 for work that grows with its square).
// Usage: bench_handoff [work folder]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "best_of.h"
#include "handoff.h"
#include "platform/registry.h"
#include "summary.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "carvex-bench-handoff";
  fs::remove_all(work);
  fs::create_directories(work);
  carvex::platform::SetRegistryDatabasePath((work / "registry.db").string());

  std::printf("%8s %12s %12s %10s\n", "files", "verbhook s", "ls -l s", "vs ls");
  double timeAt1000 = 0;
  for (int count : {1000, 10000}) {
    const fs::path folder = work / std::to_string(count);
    fs::create_directories(folder);
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "file%05d.dat", i);
      paths.push_back((folder / name).string());
      std::ofstream(paths.back(), std::ios::binary) << std::string(static_cast<std::size_t>(i % 10), 'x');
    }
    std::string summary;
    const double verbhook = carvex::bench::BestOf(3, [&] {
      carvex::WriteHandOffSelection(paths);
      carvex::UpdateSummary(paths.size());
      summary = carvex::ReadSelectionSummary();
      return !summary.empty();
    });
    const std::string ls = "ls -l '" + folder.string() + "' > /dev/null";
    const double lsTime = carvex::bench::BestOf(3, [&] { return std::system(ls.c_str()) == 0; });
    if (verbhook < 0 || lsTime < 0) return 1;
    std::printf("%8d %12.4f %12.4f %9.2fx   %s\n", count, verbhook, lsTime, verbhook / lsTime,
                summary.c_str());
    if (count == 1000)
      timeAt1000 = verbhook;
    else
      std::printf("10,000 / 1,000 files: %.2fx the time\n", verbhook / timeAt1000);
  }
  carvex::platform::SetRegistryDatabasePath("");
  fs::remove_all(work);
  return 0;
}
