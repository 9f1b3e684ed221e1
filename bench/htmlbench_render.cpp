#include "bench/htmlbench_render.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextDocument>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "bench/htmlbench_common.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/view/HtmlView.h"
#include "platform/gui/Graphics.h"

namespace htmlbench {

namespace {

const char* const kWords[] = {"translation", "memory", "segment", "source", "target", "the", "of", "and", "unit",
                              "language", "file", "export", "import", "a", "in", "to", "record", "field", "tag",
                              "value", "with", "for", "each", "entry", "match", "fuzzy", "exact", "user", "date"};

void Words(TRandom& r, std::string& out, int n) {
  for (int i = 0; i < n; ++i) {
    if (i) out += ' ';
    out += kWords[r.Below(static_cast<int>(std::size(kWords)))];
  }
}

// Text with bold and italic runs.
void Runs(TRandom& r, std::string& out, int words) {
  while (words > 0) {
    const int n = std::min(words, 1 + r.Below(8));
    switch (r.Below(5)) {
      case 0:
        out += "<b>";
        Words(r, out, n);
        out += "</b> ";
        break;
      case 1:
        out += "<i>";
        Words(r, out, n);
        out += "</i> ";
        break;
      default:
        Words(r, out, n);
        out += ' ';
        break;
    }
    words -= n;
  }
}

void List(TRandom& r, std::string& out) {
  const bool ordered = r.Below(2) == 0;
  out += ordered ? "<ol>\n" : "<ul>\n";
  for (int i = 2 + r.Below(5); i > 0; --i) {
    out += "<li>";
    Runs(r, out, 4 + r.Below(20));
    out += "</li>\n";
  }
  out += ordered ? "</ol>\n" : "</ul>\n";
}

void Table(TRandom& r, std::string& out) {
  const int cols = 2 + r.Below(4);
  out += "<table border=1 cellpadding=2>\n<tr>";
  for (int c = 0; c < cols; ++c) {
    out += "<th>";
    Words(r, out, 1 + r.Below(2));
    out += "</th>";
  }
  out += "</tr>\n";
  for (int row = 3 + r.Below(10); row > 0; --row) {
    out += "<tr>";
    for (int c = 0; c < cols; ++c) {
      out += "<td>";
      Runs(r, out, 1 + r.Below(6));
      out += "</td>";
    }
    out += "</tr>\n";
  }
  out += "</table>\n";
}

constexpr int kWidth = 600;

struct TFigures {
  double ms = 0;   // median of the runs
  double min = 0;  // fastest run
  long rssKb = 0;
  int height = 0;
  double wholeS = 0;  // the whole child process, as the parent saw it
};

// htmlrender's path: the viewer loads the file, lays it out without scroll bars and paints the
// whole document into an image of its height.
int RenderOurs(const QString& file) {
  htmlview::THtmlView view;
  view.SetBorderStyle(htmlview::htNone);
  view.SetScrollBars(htmlview::TScrollStyle::ssNone);
  view.resize(kWidth, 100);
  view.LoadFromFile(file.toStdU16String());
  const int height = std::max(1, view.DocumentHeight());
  QImage image(kWidth, height, QImage::Format_RGB32);
  view.PaintDocument(image);
  return height;
}

// The same bytes through QTextDocument, painted into an image of our size.
void RenderQt(const QString& file, int height) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) return;
  const QByteArray bytes = f.readAll();
  QTextDocument doc;
  doc.setHtml(QString::fromUtf8(bytes));
  doc.setTextWidth(kWidth);
  QImage image(kWidth, height, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  doc.drawContents(&painter, QRectF(0, 0, kWidth, height));
}

bool ReadChild(const char* program, const char* engine, std::size_t bytes, int height, int runs, TFigures& f) {
  const std::string command = std::string("'") + program + "' --render --engine " + engine + " --bytes " +
                              std::to_string(bytes) + " --height " + std::to_string(height) + " --runs " +
                              std::to_string(runs);
  const auto t0 = TClock::now();
  const bool ok = ReadFigures(command, [&f](const char* line) {
    return std::sscanf(line, "figures %lf %lf %ld %d", &f.ms, &f.min, &f.rssKb, &f.height) == 4;
  });
  f.wholeS = Ms(t0, TClock::now()) / 1000;
  return ok;
}

}  // namespace

std::string GenerateRenderPage(std::uint32_t seed, std::size_t bytes) {
  // Both engines and every run see the same page.
  TRandom r(seed ? seed : 1);
  std::string out = "<html><head><title>Render page</title></head><body>\n";
  out.reserve(bytes + 4096);
  while (out.size() < bytes) {
    for (int p = 1 + r.Below(4); p > 0; --p) {
      out += "<p>";
      Runs(r, out, 30 + r.Below(90));
      out += "</p>\n";
    }
    if (r.Below(3) == 0) List(r, out);
    if (r.Below(4) == 0) Table(r, out);
  }
  out += "</body></html>\n";
  return out;
}

namespace {

int RunChild(const std::string& engine, std::size_t bytes, int height, int runs) {
  QTemporaryDir dir;
  const QString file = dir.path() + "/page.html";
  {
    const std::string html = GenerateRenderPage(26, bytes);
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(html.data(), static_cast<qint64>(html.size())) < 0) return 1;
  }
  const bool ours = engine == "ours";
  // One run first, untimed, for each engine: fonts and caches warm up; ours gives the height.
  TFigures f;
  if (ours)
    height = RenderOurs(file);
  else
    RenderQt(file, height);
  f.height = height;
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = TClock::now();
    if (ours)
      RenderOurs(file);
    else
      RenderQt(file, height);
    times.push_back(Ms(t0, TClock::now()));
  }
  f.ms = Median(times);
  f.min = *std::min_element(times.begin(), times.end());
  f.rssKb = PeakRssKb();
  std::printf("figures %.3f %.3f %ld %d\n", f.ms, f.min, f.rssKb, f.height);
  return 0;
}

int RunParent(const char* program, int runs) {
  std::printf("Render: bytes to painted image at %d px (load, layout, paint; no PNG), generated pages of\n"
              "paragraphs with bold and italic runs, lists and bordered tables; median of %d runs, each engine\n"
              "and size in its own process (peak memory and whole run of that process).\n\n",
              kWidth, runs);
  std::printf("| page | engine | median (ms) | fastest (ms) | peak memory (MB) | whole run (s) | ours / Qt |\n");
  std::printf("|---|---|---:|---:|---:|---:|---:|\n");
  bool met = true;
  const std::size_t sizes[] = {300 * 1024, 1024 * 1024};
  for (const std::size_t size : sizes) {
    TFigures ours, qt;
    if (!ReadChild(program, "ours", size, 0, runs, ours) || !ReadChild(program, "qt", size, ours.height, runs, qt)) {
      std::fprintf(stderr, "htmlbench: a render run failed\n");
      return 1;
    }
    const double ratio = qt.ms > 0 ? ours.ms / qt.ms : 0;
    met = met && ratio <= 1.0;
    const std::string name = std::to_string(GenerateRenderPage(26, size).size() / 1024) + " KB, " +
                             std::to_string(ours.height) + " px high";
    std::printf("| %s | ours | %.1f | %.1f | %.1f | %.2f | %.2f |\n", name.c_str(), ours.ms, ours.min,
                ours.rssKb / 1024.0, ours.wholeS, ratio);
    std::printf("| %s | QTextDocument | %.1f | %.1f | %.1f | %.2f | |\n", name.c_str(), qt.ms, qt.min,
                qt.rssKb / 1024.0, qt.wholeS);
  }
  std::printf("\ntarget: ours / Qt <= 1.0 at both sizes: %s\n", met ? "met" : "MISSED");
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: htmlbench --render [--runs K] [--engine ours|qt --bytes N [--height H]]\n"
               "       htmlbench --render --bytes N --write FILE   (the page of about N bytes, for other tools)\n");
  return 2;
}

}  // namespace

int RenderMain(int argc, char** argv) {
  std::string engine, bytesText, heightText = "1", runsText = "5", write;
  if (!ReadOptions(argc, argv, "--render",
                   {{"--engine", &engine},
                    {"--bytes", &bytesText},
                    {"--height", &heightText},
                    {"--runs", &runsText},
                    {"--write", &write}}))
    return Usage();
  const std::size_t bytes = std::strtoul(bytesText.c_str(), nullptr, 10);
  if (!write.empty()) {
    if (bytes == 0) return Usage();
    const std::string html = GenerateRenderPage(26, bytes);
    FILE* f = std::fopen(write.c_str(), "wb");
    const bool ok = f && std::fwrite(html.data(), 1, html.size(), f) == html.size();
    if (f && std::fclose(f) != 0) return 1;
    return ok ? 0 : 1;
  }
  const int height = std::max(1, std::atoi(heightText.c_str())), runs = std::max(1, std::atoi(runsText.c_str()));
  if (!engine.empty() && (bytes == 0 || (engine != "ours" && engine != "qt"))) return Usage();
  const auto app = MakeApplication(argc, argv);
  htmlview::SetPixelsPerInch(96);
  return engine.empty() ? RunParent(argv[0], runs) : RunChild(engine, bytes, height, runs);
}

}  // namespace htmlbench
