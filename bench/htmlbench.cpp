// Times pages of tables from their bytes to a document laid out at 600 pixels on the real fonts,
// against QTextDocument on the same page in the same run:
//
//   htmlbench [--runs K] [--only ours|qt]
//   htmlbench --page [--runs K] [--seed N]   (a generated page of about 1 MB: bench/htmlbench_page.h)
//   htmlbench --parse [--runs K] [--only ours|qt]   (bytes to built document, 1 MB and 10 MB:
//                                                   bench/htmlbench_parse.h)
//   htmlbench --render [--runs K]            (bytes to painted image: bench/htmlbench_render.h)
//   htmlbench --sheets [--runs K]            (long selectors and values: bench/htmlbench_style.h)
//   htmlbench --hostile                      (pages that once grew faster than they are long, to the
//                                            first paint of a shown viewer: bench/htmlbench_hostile.h)
//
// Pages: a table of 1,000 rows and one of 10,000 rows (5 columns of short text, border=1) and ten
// nested tables with three cells per level. For each page and each engine the median of K runs
// (default 5) is printed with the time per row, and our time as a multiple of QTextDocument's.
#include <QApplication>
#include <QTextDocument>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench/htmlbench_common.h"
#include "bench/htmlbench_hostile.h"
#include "bench/htmlbench_page.h"
#include "bench/htmlbench_parse.h"
#include "bench/htmlbench_render.h"
#include "bench/htmlbench_style.h"
#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/parse/HtmlParse.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/text/HtmlBuffer.h"
#include "platform/gui/Graphics.h"

namespace {

struct Page {
  std::string name;
  std::string html;
  int rows;  // rows of the page, for the time per row
};

std::string TablePage(int rows) {
  std::string s = "<html><body><table border=1>\n";
  s.reserve(static_cast<size_t>(rows) * 80);
  for (int r = 0; r < rows; ++r) {
    s += "<tr>";
    for (int c = 0; c < 5; ++c) s += "<td>r" + std::to_string(r) + " c" + std::to_string(c) + "</td>";
    s += "</tr>\n";
  }
  s += "</table></body></html>\n";
  return s;
}

std::string NestedPage(int levels) {
  std::string s = "<html><body>";
  for (int i = 0; i < levels; ++i) s += "<table border=1><tr><td>level " + std::to_string(i) + "</td><td>b</td><td>";
  s += "innermost";
  for (int i = 0; i < levels; ++i) s += "</td></tr></table>";
  s += "</body></html>\n";
  return s;
}

double Seconds(const std::function<void()>& run) {
  const auto t0 = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

int g_sink = 0;

void Ours(const std::string& html) {
  htmlview::ThtDocument doc(nullptr, nullptr);
  doc.SetFonts(u"Arial", u"Courier New", clBlack, 0xFF0000, 0x800080, 0x0000FF, clWhite, false, true, 12);
  htmlview::TBuffer buffer(std::vector<uint8_t>(html.begin(), html.end()), u"bench");
  buffer.SetCodePage(htmlview::CP_UTF8);
  htmlview::THtmlDocParser parser(doc, buffer);
  parser.HtmlParseString({});
  QImage image(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&image);
  int scroll = 0;
  g_sink += doc.DoLayout(canvas, 0, 600, 1000, scroll);
}

void Peer(const std::string& html) {
  QTextDocument doc;
  doc.setHtml(QString::fromUtf8(html.data(), static_cast<qsizetype>(html.size())));
  doc.setTextWidth(600);
  g_sink += static_cast<int>(doc.size().height());
}

}  // namespace

int main(int argc, char** argv) {
  // The render benchmark reads its own arguments.
  if (argc > 1 && std::strcmp(argv[1], "--render") == 0) return htmlbench::RenderMain(argc, argv);
  if (argc > 1 && std::strcmp(argv[1], "--hostile") == 0) return htmlbench::HostileMain(argc, argv);
  int runs = 5;
  bool ours = true, peer = true;  // --only runs one engine, for profiling
  bool page = false;              // --page: the generated page, each engine in its own process
  bool parse = false;             // --parse: bytes to built document, no layout
  bool sheets = false;            // --sheets: long selectors and values
  std::string engine;
  std::uint32_t seed = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--page") == 0) {
      page = true;
    } else if (std::strcmp(argv[i], "--parse") == 0) {
      parse = true;
    } else if (std::strcmp(argv[i], "--sheets") == 0) {
      sheets = true;
    } else if (std::strcmp(argv[i], "--engine") == 0 && i + 1 < argc) {
      engine = argv[++i];
    } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
      seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      ++i;
      ours = std::strcmp(argv[i], "ours") == 0;
      peer = !ours;
    } else {
      std::fprintf(stderr, "usage: htmlbench [--runs K] [--only ours|qt] | --page [--runs K] [--seed N] | --parse [--runs K] [--only ours|qt] | --sheets [--runs K]\n");
      return 2;
    }
  }
  const auto app = htmlbench::MakeApplication(argc, argv);
  if (page) return htmlbench::RunPageBench(QCoreApplication::applicationFilePath().toStdString().c_str(), engine, runs, seed);
  if (parse) return htmlbench::RunParseBench(runs, ours, peer);
  if (sheets) return htmlbench::RunStyleBench(runs);
  htmlview::SetPixelsPerInch(96);

  const std::vector<Page> pages = {
      {"table-1000", TablePage(1000), 1000},
      {"table-10000", TablePage(10000), 10000},
      {"nested-10", NestedPage(10), 10},
  };
  std::printf("| page | bytes | ours (ms) | QTextDocument (ms) | ratio | ours per row (us) |\n");
  std::printf("|---|---:|---:|---:|---:|---:|\n");
  std::vector<double> perRow;
  for (const Page& page : pages) {
    std::vector<double> ourTimes{0}, peerTimes{0};
    for (int r = 0; r < runs; ++r) {
      if (ours) ourTimes.push_back(Seconds([&] { Ours(page.html); }));
      if (peer) peerTimes.push_back(Seconds([&] { Peer(page.html); }));
    }
    if (ourTimes.size() > 1) ourTimes.erase(ourTimes.begin());
    if (peerTimes.size() > 1) peerTimes.erase(peerTimes.begin());
    const double o = htmlbench::Median(ourTimes), q = htmlbench::Median(peerTimes);
    const double row = o / page.rows * 1e6;
    perRow.push_back(row);
    std::printf("| %s | %zu | %.2f | %.2f | %.2f | %.2f |\n", page.name.c_str(), page.html.size(), o * 1e3, q * 1e3,
                o / q, row);
  }
  std::printf("\ntime per row at 10,000 rows / at 1,000 rows: %.2f (target <= 1.5)\n", perRow[1] / perRow[0]);
  return g_sink == 42 ? 1 : 0;
}
