// A stand-in for a configured program: writes the arguments it was started with, one per
// line, to "args.txt" beside itself, so that tests see exactly what a launch passed.
#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  const std::string self = argc > 0 ? argv[0] : "";
  const std::string::size_type separator = self.find_last_of("\\/");
  const std::string folder = separator == std::string::npos ? "." : self.substr(0, separator);
  const std::string partial = folder + "/args.partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    for (int i = 1; i < argc; ++i) out << argv[i] << '\n';
    if (!out) return 1;
  }
  // The finished list appears at once, never half-written.
  return std::rename(partial.c_str(), (folder + "/args.txt").c_str()) == 0 ? 0 : 1;
}
