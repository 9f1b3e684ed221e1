#pragma once
// What the viewer's benchmarks share: the pages' random generator, the figures of time and memory,
// the child process that runs one engine, and the application they draw in.
#include <QApplication>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace htmlbench {

// A small xorshift generator of our own, so that a seed gives the same page on every system and
// in every run. The state must not be 0.
class TRandom {
public:
  explicit TRandom(std::uint32_t state) : state_(state) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }

private:
  std::uint32_t state_;
};

using TClock = std::chrono::steady_clock;

double Ms(TClock::time_point a, TClock::time_point b);
// 0 for no values.
double Median(std::vector<double> v);
long PeakRssKb();

// Runs command and hands each line it prints to read, which says whether the line held the
// figures; true when one did and the command exited with 0.
bool ReadFigures(const std::string& command, const std::function<bool(const char* line)>& read);

// Reads the options that follow the benchmark's own switch (own): each of options takes the
// next argument as its text. False on any other argument, or an option without its text.
bool ReadOptions(int argc, char** argv, const std::string& own, const std::map<std::string, std::string*>& options);

// The benchmark's application, offscreen unless the environment names a platform; none when the
// process has one already.
std::unique_ptr<QApplication> MakeApplication(int& argc, char** argv);

}  // namespace htmlbench
