#include "platform/core/Process.h"

#include <sys/resource.h>
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <iterator>

#include "platform/core/Files.h"

namespace platform {
namespace {

// The kernel's link to the file of the running program: it leads there even when the path that
// started it now names another file, or none.
constexpr char16_t kSelfExe[] = u"/proc/self/exe";

int64_t TimevalMSecs(const timeval& tv) { return static_cast<int64_t>(tv.tv_sec) * 1000 + tv.tv_usec / 1000; }

}  // namespace

std::u16string ExecutablePath() {
  std::string buf(256, '\0');
  for (;;) {
    ssize_t n = ::readlink(NativeName(kSelfExe).c_str(), buf.data(), buf.size());
    if (n < 0) return std::u16string();
    if (static_cast<size_t>(n) < buf.size()) {
      buf.resize(static_cast<size_t>(n));
      return NameFromNative(buf);
    }
    buf.resize(buf.size() * 2);  // possibly cut: try again with more room
  }
}

bool IsExecutableFile(const std::u16string& name) { return !name.empty() && SameFile(name, kSelfExe); }

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

int ProcessorCount() {
  const long cpus = ::sysconf(_SC_NPROCESSORS_ONLN);
  return cpus > 0 ? static_cast<int>(cpus) : 1;
}

double LoadAverage() {
  // The first field of /proc/loadavg; from_chars reads it whatever the locale.
  std::ifstream in("/proc/loadavg", std::ios::binary);
  const std::string load{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  double value = 0;
  std::from_chars(load.data(), load.data() + load.size(), value);
  return value;
}

ProcessUsage CurrentProcessUsage() {
  ProcessUsage result;
  rusage usage;
  if (::getrusage(RUSAGE_SELF, &usage) == 0) {
    result.UserCpuMSecs = TimevalMSecs(usage.ru_utime);
    result.SystemCpuMSecs = TimevalMSecs(usage.ru_stime);
    result.PeakResidentKB = usage.ru_maxrss;
  }
  return result;
}

}  // namespace platform
