#include "bench/htmlbench_common.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace htmlbench {

double Ms(TClock::time_point a, TClock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

long PeakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

bool ReadFigures(const std::string& command, const std::function<bool(const char* line)>& read) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return false;
  char line[512];
  bool ok = false;
  while (std::fgets(line, sizeof line, pipe))
    if (read(line)) ok = true;
  return pclose(pipe) == 0 && ok;
}

bool ReadOptions(int argc, char** argv, const std::string& own, const std::map<std::string, std::string*>& options) {
  for (int i = 1; i < argc; ++i) {
    if (argv[i] == own) continue;
    const auto option = options.find(argv[i]);
    if (option == options.end() || i + 1 >= argc) return false;
    *option->second = argv[++i];
  }
  return true;
}

std::unique_ptr<QApplication> MakeApplication(int& argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (QApplication::instance()) return nullptr;
  return std::make_unique<QApplication>(argc, argv);
}

}  // namespace htmlbench
