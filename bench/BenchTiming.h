// Timing for the timed benchmark tools that run under Wine, where Google Benchmark is not built.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

// The document sizes a bench is run at: its arguments after the count of runs, or 2,000, 20,000 and 200,000.
inline std::vector<int> SizesFromArgs(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {2000, 20000, 200000};
  return sizes;
}

// The median of ARuns timings of AWork alone; AReset runs untimed after each (an edit undone between two runs).
inline double MedianMs(int ARuns, const std::function<void()>& AWork, const std::function<void()>& AReset) {
  std::vector<double> times;
  for (int i = 0; i < ARuns; ++i) {
    const auto start = std::chrono::steady_clock::now();
    AWork();
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    AReset();
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// The median of ARuns timings of AWork in milliseconds: one slow run on a shared machine does not move it.
inline double MedianMs(int ARuns, const std::function<void()>& AWork) { return MedianMs(ARuns, AWork, [] {}); }

// One line of a figure, with its ratio to the bare knot figure of the same file when ABaseMs is above 0.
inline void PrintKnotRatioRow(const char* AName, int ANameWidth, double AMs, double ABaseMs) {
  if (ABaseMs > 0)
    std::printf("%-*s %9.1f ms   (%.2fx the bare knot figure)\n", ANameWidth, AName, AMs, AMs / ABaseMs);
  else
    std::printf("%-*s %9.1f ms\n", ANameWidth, AName, AMs);
}
