#include "bench/htmlbench_hostile.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "bench/htmlbench_common.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/view/HtmlView.h"
#include "tests/support/HostilePages.h"

namespace htmlbench {

namespace {

long RssKb() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

double Seconds(std::chrono::steady_clock::time_point a) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

// A shown viewer of a desktop window's size: loading, layout, placing the controls and the first
// paint all happen as on screen.
struct TShownViewer {
  htmlview::THtmlView view;
  TShownViewer() {
    view.resize(800, 600);
    view.show();
    QApplication::processEvents();
  }
  void Settle() {
    view.repaint();
    QApplication::processEvents();
  }
};

int RunChild(const std::string& kind, int count) {
  double seconds = 0;
  int height = 0;
  if (kind == "pictures") {
    // count pages, each with a 1000 x 1000 picture of its own, loaded one after the other.
    QTemporaryDir dir;
    for (int k = 0; k < count; ++k) {
      const QString name = QString("p%1").arg(k);
      if (!NumberedPicture(k, 1000, 1000).save(dir.filePath(name + ".png"))) return 1;
      std::ofstream(dir.filePath(name + ".html").toStdString()) << "<p>page " << k << "<img src=" << name.toStdString() << ".png>";
    }
    TShownViewer v;
    const auto t0 = std::chrono::steady_clock::now();
    for (int k = 0; k < count; ++k) {
      v.view.LoadFromFile(dir.filePath(QString("p%1.html").arg(k)).toStdU16String());
      v.Settle();
    }
    seconds = Seconds(t0);
    height = v.view.DocumentHeight();
  } else {
    const std::string page = kind == "floats"  ? FloatsPage(count)
                             : kind == "spans" ? BorderedSpansPage(count)
                             : kind == "inputs" ? TextInputsPage(count)
                                                : std::string();
    if (page.empty()) return 2;
    TShownViewer v;
    const auto t0 = std::chrono::steady_clock::now();
    v.view.LoadFromString(QString::fromStdString(page).toStdU16String());
    v.Settle();
    seconds = Seconds(t0);
    height = v.view.DocumentHeight();
  }
  std::printf("figures %.3f %ld %ld %d\n", seconds, PeakRssKb(), RssKb(), height);
  return 0;
}

struct TFigures {
  double seconds = 0;
  long peakKb = 0, endKb = 0;
  int height = 0;
};

bool ReadChild(const char* program, const std::string& kind, int count, TFigures& f) {
  const std::string command =
      std::string("'") + program + "' --hostile --kind " + kind + " --count " + std::to_string(count);
  return ReadFigures(command, [&f](const char* line) {
    return std::sscanf(line, "figures %lf %ld %ld %d", &f.seconds, &f.peakKb, &f.endKb, &f.height) == 4;
  });
}

int RunParent(const char* program) {
  std::printf("Hostile pages: from the page's bytes to the first paint of a shown 800 x 600 viewer, each page\n"
              "and size in its own process (peak memory of that process; for the pictures, the memory at\n"
              "the end too, after the last page).\n\n");
  std::printf("| page | count | time (s) | time per item (us) | peak memory (MB) | memory at end (MB) |\n");
  std::printf("|---|---:|---:|---:|---:|---:|\n");
  struct TRun {
    const char* kind;
    const char* what;
    int counts[3];
  };
  const TRun runs[] = {{"floats", "float:left divs", {1000, 2000, 4000}},
                       {"spans", "bordered spans", {5000, 10000, 20000}},
                       {"inputs", "text inputs", {4000, 8000, 16000}},
                       {"pictures", "pages of a 1000 x 1000 picture each", {25, 50, 100}}};
  for (const TRun& run : runs)
    for (int count : run.counts) {
      TFigures f;
      if (!ReadChild(program, run.kind, count, f)) {
        std::printf("| %s | %d | failed | | | |\n", run.what, count);
        continue;
      }
      std::printf("| %s | %d | %.2f | %.1f | %.1f | %.1f |\n", run.what, count, f.seconds, f.seconds / count * 1e6,
                  f.peakKb / 1024.0, f.endKb / 1024.0);
      std::fflush(stdout);
    }
  return 0;
}

int Usage() {
  std::fprintf(stderr, "usage: htmlbench --hostile [--kind floats|spans|inputs|pictures --count N]\n");
  return 2;
}

}  // namespace

int HostileMain(int argc, char** argv) {
  std::string kind, countText;
  if (!ReadOptions(argc, argv, "--hostile", {{"--kind", &kind}, {"--count", &countText}})) return Usage();
  const int count = std::atoi(countText.c_str());
  if (!kind.empty() && count < 1) return Usage();
  const auto app = MakeApplication(argc, argv);
  htmlview::SetPixelsPerInch(96);
  return kind.empty() ? RunParent(argv[0]) : RunChild(kind, count);
}

}  // namespace htmlbench
