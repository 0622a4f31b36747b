#pragma once
// The shortest of several runs, the figure least disturbed by the rest of the machine.
#include <algorithm>
#include <chrono>

namespace carvex::bench {

// Seconds of the fastest of `runs` calls of `body`, or -1 as soon as one returns false.
template <class Body>
double BestOf(int runs, Body&& body) {
  using Clock = std::chrono::steady_clock;
  double best = 1e9;
  for (int run = 0; run < runs; ++run) {
    const auto start = Clock::now();
    if (!body()) return -1;
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

}  // namespace carvex::bench
