#pragma once
// How much the process's peak resident memory grows while a piece of work runs: the peak is set
// back to the present size first (Linux's clear_refs), so earlier work does not hide it.
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>


// The kB value of a line of /proc/self/status ("VmRSS", "VmHWM"), or -1.
inline long StatusKb(const std::string& key) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, key.size() + 1, key + ":") == 0) {
      std::istringstream v(line.substr(key.size() + 1));
      long kb = -1;
      v >> kb;
      return kb;
    }
  return -1;
}

// The growth in MB of the peak over the size before fn; nothing when the system cannot say.
inline std::optional<double> PeakGrowthMB(const std::function<void()>& fn) {
  {
    std::ofstream reset("/proc/self/clear_refs");
    if (!reset) return std::nullopt;
    reset << "5";
    if (!reset.flush()) return std::nullopt;
  }
  const long before = StatusKb("VmRSS");
  fn();
  const long peak = StatusKb("VmHWM");
  if (before < 0 || peak < 0) return std::nullopt;
  return (peak - before) / 1024.0;
}
