// Extracts archives of 1,000 and 4,000 stored entries that all carry the name "a.txt" with
// zipkit (which keeps every copy as "a (n).txt") and with Info-ZIP unzip, once overwriting (-o)
// and once keeping numbered backups (-B), each the best of three runs into an empty folder.
// Prints the times, zipkit's ratio to each peer and how each time grows from 1,000 to 4,000
// entries (4 for work that grows with the entries, 16 for work that grows with their square).
// Usage: bench_same_names [work folder]
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "zipkit/extract.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

void Put(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint32_t Crc32(const std::string& data) {
  return static_cast<std::uint32_t>(::crc32(0L, reinterpret_cast<const Bytef*>(data.data()),
                                            static_cast<uInt>(data.size())));
}

// Stored entries "a.txt" holding "copy 1\n", "copy 2\n", ...; no writer of ours makes this, so
// the records are put together here.
void WriteSameNamedArchive(const fs::path& path, int entries) {
  const std::string name = "a.txt";
  std::string body;
  std::string central;
  for (int k = 1; k <= entries; ++k) {
    const std::string data = "copy " + std::to_string(k) + "\n";
    const std::uint32_t crc = Crc32(data);
    const std::uint64_t offset = body.size();
    Put(body, 0x04034b50, 4);
    for (const auto& [value, bytes] : {std::pair<std::uint64_t, int>{10, 2},
                                       {0, 2},
                                       {0, 2},
                                       {0, 2},
                                       {0x5221, 2},
                                       {crc, 4},
                                       {data.size(), 4},
                                       {data.size(), 4},
                                       {name.size(), 2},
                                       {0, 2}})
      Put(body, value, bytes);
    body += name + data;
    Put(central, 0x02014b50, 4);
    for (const auto& [value, bytes] : {std::pair<std::uint64_t, int>{20, 2},
                                       {10, 2},
                                       {0, 2},
                                       {0, 2},
                                       {0, 2},
                                       {0x5221, 2},
                                       {crc, 4},
                                       {data.size(), 4},
                                       {data.size(), 4},
                                       {name.size(), 2},
                                       {0, 2},
                                       {0, 2},
                                       {0, 2},
                                       {0, 2},
                                       {0, 4},
                                       {offset, 4}})
      Put(central, value, bytes);
    central += name;
  }
  std::string end;
  for (const auto& [value, bytes] : {std::pair<std::uint64_t, int>{0x06054b50, 4},
                                     {0, 2},
                                     {0, 2},
                                     {static_cast<std::uint64_t>(entries), 2},
                                     {static_cast<std::uint64_t>(entries), 2},
                                     {central.size(), 4},
                                     {body.size(), 4},
                                     {0, 2}})
    Put(end, value, bytes);
  std::ofstream(path, std::ios::binary) << body << central << end;
}

// The best of three runs of `extract` into an empty `folder`.
double BestOfThree(const fs::path& folder, const std::function<void()>& extract) {
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    const auto start = Clock::now();
    extract();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

void Unzip(const std::string& options, const fs::path& archive, const fs::path& folder) {
  const std::string command =
      "unzip " + options + " -qq '" + archive.string() + "' -d '" + folder.string() + "'";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "unzip %s failed\n", options.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "carvex-bench-same-names";
  fs::remove_all(work);
  fs::create_directories(work);
  struct Times {
    double zipkit, overwrite, backup;
  };
  Times at1000{};
  std::printf("%8s %10s %12s %12s %8s %8s\n", "entries", "zipkit s", "unzip -o s", "unzip -B s", "vs -o",
              "vs -B");
  for (const int entries : {1000, 4000}) {
    const fs::path archive = work / ("same" + std::to_string(entries) + ".zip");
    WriteSameNamedArchive(archive, entries);
    const fs::path folder = work / "out";
    Times times{};
    times.zipkit = BestOfThree(folder, [&] {
      carvex::zipkit::ExtractOptions options;
      options.folder = folder.string();
      if (carvex::zipkit::ExtractArchive(archive.string(), options).filesWritten != entries)
        std::fprintf(stderr, "zipkit wrote too few files\n");
    });
    if (!fs::exists(folder / ("a (" + std::to_string(entries) + ").txt")))
      std::fprintf(stderr, "zipkit did not number every copy\n");
    times.overwrite = BestOfThree(folder, [&] { Unzip("-o", archive, folder); });
    times.backup = BestOfThree(folder, [&] { Unzip("-B", archive, folder); });
    std::printf("%8d %10.3f %12.3f %12.3f %7.2fx %7.2fx\n", entries, times.zipkit, times.overwrite,
                times.backup, times.zipkit / times.overwrite, times.zipkit / times.backup);
    if (entries == 1000) at1000 = times;
    if (entries == 4000)
      std::printf("4,000 / 1,000 entries: zipkit %.2fx, unzip -o %.2fx, unzip -B %.2fx the time\n",
                  times.zipkit / at1000.zipkit, times.overwrite / at1000.overwrite,
                  times.backup / at1000.backup);
  }
  fs::remove_all(work);
  return 0;
}
