// Zips the same mixed data (random, text-like and zero bytes, 256 MiB by default) with zipkit and
// with Info-ZIP zip at levels 6 and 9, and prints times, sizes and their ratios; then extracts
// zipkit's level 6 archive with zipkit and with Info-ZIP unzip, and prints their times.
// Usage: bench_zip [work folder] [MiB]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "zipkit/extract.h"
#include "zipkit/zip_component.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Random {
  std::uint64_t x = 88172645463325252ull;
  std::uint64_t Next() {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    return x;
  }
};

void WriteFile(const std::string& path, std::int64_t size,
               const std::function<void(std::vector<char>&)>& fill) {
  carvex::platform::File out(path, carvex::platform::File::Mode::kCreate);
  std::vector<char> block(1 << 20);
  for (std::int64_t done = 0; done < size; done += static_cast<std::int64_t>(block.size())) {
    fill(block);
    out.Write(block.data(), block.size());
  }
  out.Close();
}

// Words drawn with a skewed frequency from a made-up vocabulary, with numbers, punctuation and
// line breaks: close enough to prose and logs for deflate to work as it does on them.
std::vector<std::string> Vocabulary(Random& random) {
  static const char* const kSyllables[] = {"ka", "to",  "ri", "men", "sa", "lo", "ver", "din", "qu", "el",
                                           "an", "tor", "is", "pe",  "ul", "ma", "ne",  "str", "o",  "ing"};
  std::vector<std::string> words;
  for (int i = 0; i < 3000; ++i) {
    std::string word;
    for (int s = 1 + static_cast<int>(random.Next() % 4); s > 0; --s) word += kSyllables[random.Next() % 20];
    words.push_back(word);
  }
  return words;
}

std::vector<std::string> MakeSources(const std::string& work, std::int64_t total) {
  Random random;
  const std::vector<std::string> words = Vocabulary(random);
  const std::vector<std::string> paths = {work + "/random.bin", work + "/text.txt", work + "/zeros.bin"};
  WriteFile(paths[0], total / 4, [&](std::vector<char>& block) {
    for (std::size_t i = 0; i < block.size(); i += 8) {
      const std::uint64_t value = random.Next();
      std::memcpy(block.data() + i, &value, 8);
    }
  });
  std::string pending;
  WriteFile(paths[1], total / 2, [&](std::vector<char>& block) {
    while (pending.size() < block.size()) {
      const std::uint64_t r = random.Next();
      const std::size_t rank = (r % 3000) * (r % 3000) / 3000;  // small ranks far more often
      pending += words[rank];
      pending += (r >> 40) % 11 == 0 ? ", " : (r >> 40) % 17 == 0 ? ".\n" : " ";
      if ((r >> 20) % 29 == 0) pending += std::to_string((r >> 8) % 100000) + " ";
    }
    std::memcpy(block.data(), pending.data(), block.size());
    pending.erase(0, block.size());
  });
  WriteFile(paths[2], total / 4,
            [](std::vector<char>& block) { std::fill(block.begin(), block.end(), '\0'); });
  return paths;
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double ZipWithZipkit(const std::string& archive, const std::vector<std::string>& sources, int level) {
  fs::remove(archive);
  carvex::zipkit::ZipComponent zip;
  zip.SetCompressionLevel(level);
  zip.StartAddJob();
  zip.SetArchivePath(archive);
  for (const std::string& source : sources) zip.SourceFiles().AddItem(source);
  const auto start = Clock::now();
  zip.Add();
  return Seconds(start);
}

double ZipWithPeer(const std::string& archive, const std::vector<std::string>& sources, int level) {
  fs::remove(archive);
  std::string command = "zip -q -j -" + std::to_string(level) + " '" + archive + "'";
  for (const std::string& source : sources) command += " '" + source + "'";
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "zip failed\n");
  return Seconds(start);
}

// Both extract into an empty folder, so neither pays for replacing files.
double ExtractWithZipkit(const std::string& archive, const std::string& folder) {
  fs::remove_all(folder);
  carvex::zipkit::ExtractOptions options;
  options.folder = folder;
  const auto start = Clock::now();
  carvex::zipkit::ExtractArchive(archive, options);
  return Seconds(start);
}

double ExtractWithPeer(const std::string& archive, const std::string& folder) {
  fs::remove_all(folder);
  const std::string command = "unzip -q -o '" + archive + "' -d '" + folder + "'";
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "unzip failed\n");
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string work = argc > 1 ? argv[1] : (fs::temp_directory_path() / "carvex-bench-zip").string();
  const std::int64_t size = (argc > 2 ? std::atoll(argv[2]) : 256) << 20;
  fs::create_directories(work);
  const std::vector<std::string> sources = MakeSources(work, size);
  std::printf("%lld MiB: 1/4 random, 1/2 text-like, 1/4 zeros\n", static_cast<long long>(size >> 20));
  std::printf("level  zipkit s   zip s  time ratio   zipkit bytes     zip bytes  size ratio\n");
  const std::string ours = work + "/zipkit.zip";
  const std::string kept = work + "/zipkit6.zip";
  for (const int level : {6, 9}) {
    const std::string peer = work + "/infozip.zip";
    const double ourTime = ZipWithZipkit(ours, sources, level);
    const double peerTime = ZipWithPeer(peer, sources, level);
    const auto ourSize = static_cast<double>(fs::file_size(ours));
    const auto peerSize = static_cast<double>(fs::file_size(peer));
    std::printf("%5d  %8.2f  %6.2f  %10.3f  %13.0f  %12.0f  %10.4f\n", level, ourTime, peerTime,
                ourTime / peerTime, ourSize, peerSize, ourSize / peerSize);
    if (level == 6) fs::rename(ours, kept);
  }
  const std::string folder = work + "/out";
  const double ourExtract = ExtractWithZipkit(kept, folder);
  const double peerExtract = ExtractWithPeer(kept, folder);
  std::printf("extract  zipkit s %6.2f  unzip -o s %6.2f  time ratio %6.3f\n", ourExtract, peerExtract,
              ourExtract / peerExtract);
  fs::remove_all(work);
  return 0;
}
