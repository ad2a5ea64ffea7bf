// Timing for the timed benchmark tools that run under Wine, where Google Benchmark is not built.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

// The median of ARuns timings of AWork in milliseconds: one slow run on a shared machine does not move it.
inline double MedianMs(int ARuns, const std::function<void()>& AWork) {
  std::vector<double> times;
  for (int i = 0; i < ARuns; ++i) {
    const auto start = std::chrono::steady_clock::now();
    AWork();
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
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
