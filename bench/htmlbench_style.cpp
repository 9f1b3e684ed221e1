#include "bench/htmlbench_style.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench/htmlbench_parse.h"
#include "htmlview/style/StyleValues.h"

namespace htmlbench {

namespace {

std::string Repeat(const std::string& s, int n) {
  std::string out;
  out.reserve(s.size() * static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

struct TStylePage {
  const char* name;
  std::function<std::string(int)> make;  // the page with n parts
  int parts;
};

}  // namespace

int RunStyleBench(int runs) {
  htmlview::SetPixelsPerInch(96);
  const std::vector<TStylePage> pages = {
      {"one selector of n \">\"", [](int n) { return "<style>p," + Repeat("> ", n) + "p{color:red}</style><p>text"; },
       600000},
      {"one value of n rgb() parts",
       [](int n) { return "<style>p{background:" + Repeat("rgb(1,2,3) ", n) + "}</style><p>text"; }, 300000},
  };
  std::printf("| page | n | bytes | ours at n/2 (ms) | ours at n (ms) | peak at n (MB) | n / (n/2) |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
  int status = 0;
  for (const TStylePage& page : pages) {
    const std::string half = page.make(page.parts / 2), full = page.make(page.parts);
    const TBuildFigures h = TimeOurBuild(half, runs), f = TimeOurBuild(full, runs);
    const double ratio = h.Seconds > 0 ? f.Seconds / h.Seconds : 0;
    std::printf("| %s | %d | %zu | %.1f | %.1f | %.1f | %.2f |\n", page.name, page.parts, full.size(), h.Seconds * 1e3,
                f.Seconds * 1e3, f.PeakKb / 1024.0, ratio);
    std::fflush(stdout);
    if (ratio > 3) status = 1;
  }
  std::printf("\ntarget: n / (n/2) <= 3 (linear work doubles)\n");
  return status;
}

}  // namespace htmlbench
