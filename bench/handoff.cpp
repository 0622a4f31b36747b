// What a selection costs Verbhook in the file manager, beside `ls -l` of the folder that holds
// the same files, run in the same round; each figure is the best of three.
// - The GNOME Files module's items for 1,000 and 10,000 selected files, built as the file
//   manager asks for them on every change of selection (the menu read, one status a path).
// - The hand-off as the runner writes it when an item is chosen, and one reading of it as the
//   application and the commands read it, for 1,000 and 10,000 files and for 8,000.
// - The same menu while another connection holds the store's write lock.
// A line then says how each grows from 1,000 to 10,000 files (10 for work that grows with the
// selection, 100 for work that grows with its square).
// Usage: bench_handoff [work folder]
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
#include <nautilus-extension.h>
}

#include "best_of.h"
#include "default_menu.h"
#include "handoff.h"
#include "menu_items.h"
#include "platform/registry.h"
#include "summary.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> MakeFiles(const fs::path& folder, int count) {
  fs::create_directories(folder);
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "file%05d.dat", i);
    paths.push_back((folder / name).string());
    std::ofstream(paths.back(), std::ios::binary) << std::string(static_cast<std::size_t>(i % 10), 'x');
  }
  return paths;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "carvex-bench-handoff";
  fs::remove_all(work);
  fs::create_directories(work);
  carvex::platform::SetRegistryDatabasePath((work / "registry.db").string());
  // The first menu, whose summary item makes the module read every file's status.
  carvex::WriteDefaultMenu("/usr/bin/carvex", true);

  std::printf("%8s %14s %14s %12s %10s %10s\n", "files", "menu items s", "write+read s", "ls -l s", "items/ls",
              "hand/ls");
  double itemsAt1000 = 0;
  double handAt1000 = 0;
  for (int count : {1000, 8000, 10000}) {
    const fs::path folder = work / std::to_string(count);
    const std::vector<std::string> paths = MakeFiles(folder, count);
    const double items = carvex::bench::BestOf(3, [&] {
      GList* built = carvex::nautilus::BuildMenuItems(paths);
      const bool any = built != nullptr;
      nautilus_menu_item_list_free(built);
      return any;
    });
    std::size_t read = 0;
    const double hand = carvex::bench::BestOf(3, [&] {
      carvex::WriteHandOff(paths, carvex::SummarizePaths(paths));
      read = carvex::ReadHandOffSelection().size();
      return read == paths.size();
    });
    const std::string ls = "ls -l '" + folder.string() + "' > /dev/null";
    const double lsTime = carvex::bench::BestOf(3, [&] { return std::system(ls.c_str()) == 0; });
    if (items < 0 || hand < 0 || lsTime < 0) {
      std::fprintf(stderr, "bench_handoff: a run failed (%zu of %d paths read back)\n", read, count);
      return 1;
    }
    std::printf("%8d %14.4f %14.4f %12.4f %9.2fx %9.2fx\n", count, items, hand, lsTime, items / lsTime,
                hand / lsTime);
    if (count == 1000) {
      itemsAt1000 = items;
      handAt1000 = hand;
    } else if (count == 10000) {
      std::printf("10,000 / 1,000 files: menu items %.2fx the time, hand-off %.2fx\n", items / itemsAt1000,
                  hand / handAt1000);
    }
  }
  // The right-click while a writer in another process holds the store, beside ls -l of 1,000.
  {
    sqlite3* writer = nullptr;
    if (sqlite3_open((work / "registry.db").c_str(), &writer) != SQLITE_OK ||
        sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "bench_handoff: cannot hold the store's write lock\n");
      return 1;
    }
    // A fresh connection, as a file manager started after the writer has.
    carvex::platform::SetRegistryDatabasePath((work / "registry.db").string());
    carvex::platform::SetRegistryBusyTimeout(100);
    const std::vector<std::string> paths = MakeFiles(work / "locked", 1000);
    const double locked = carvex::bench::BestOf(3, [&] {
      GList* built = carvex::nautilus::BuildMenuItems(paths);
      const bool any = built != nullptr;
      nautilus_menu_item_list_free(built);
      return any;
    });
    const std::string ls = "ls -l '" + (work / "locked").string() + "' > /dev/null";
    const double lsTime = carvex::bench::BestOf(3, [&] { return std::system(ls.c_str()) == 0; });
    sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    if (locked < 0) return 1;
    std::printf("menu items for 1,000 files while another connection holds the write lock: %.4f s (%.2fx ls -l)\n",
                locked, locked / lsTime);
  }
  carvex::platform::SetRegistryDatabasePath("");
  fs::remove_all(work);
  return 0;
}
