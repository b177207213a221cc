// The best wall time of repeated runs, for the host-free benchmark tools.
#pragma once

#include <algorithm>
#include <chrono>

template <class F>
double bestSeconds(int reps, F&& f) {
  using Clock = std::chrono::steady_clock;
  double best = 1e30;
  for (int r = 0; r < reps; ++r) {
    const auto t0 = Clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  return best;
}
