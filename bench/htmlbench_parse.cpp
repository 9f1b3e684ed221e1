#include "bench/htmlbench_parse.h"

#include <malloc.h>

#include <QString>
#include <QTextDocument>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/parse/HtmlParse.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/text/HtmlBuffer.h"

namespace htmlbench {

namespace {

// One screenful of ordinary markup, numbered so that no two are alike.
void AppendChunk(std::string& s, int n) {
  const std::string k = std::to_string(n);
  s += "<h2 id=h" + k + ">Section " + k + "</h2>\n";
  s += "<p>The quick brown fox <b>jumps over</b> the lazy dog, <i>number " + k +
       "</i>, and <a href=\"page" + k + ".html#part\">follows the link</a> to the next &amp; last part.</p>\n";
  s += "<ul><li>first item " + k + "<li>second <font color=red size=+1>item</font><li>third item</ul>\n";
  s += "<div style=\"margin-left: 20px\"><p align=center>Centred text in a block " + k +
       "<br>with a break.</p></div>\n";
  s += "<pre>  preformatted  " + k + "\n    kept as written</pre>\n";
  s += "<blockquote><ol start=" + k + "><li>quoted<li>list</ol></blockquote>\n";
}

size_t ReadProcKb(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const size_t n = std::char_traits<char>::length(key);
  while (std::getline(status, line))
    if (line.compare(0, n, key) == 0) return std::strtoull(line.c_str() + n, nullptr, 10);
  return 0;
}

// Resets the peak resident size to the current one (Linux 4.0 and later); false when it cannot.
bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  if (!clear) return false;
  clear << "5";
  return static_cast<bool>(clear.flush());
}

struct Sample {
  double seconds = 0;
  size_t peakKb = 0;  // resident peak above the resident size before the run
};

template <typename Build>
Sample Measure(Build build) {
  // Freed memory of earlier runs goes back first, or it would hide this run's growth.
  malloc_trim(0);
  const bool peak = ResetPeak();
  const size_t before = ReadProcKb("VmRSS:");
  const auto t0 = std::chrono::steady_clock::now();
  auto keep = build();  // destroyed after the clock stops
  Sample s;
  s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (peak) {
    const size_t hwm = ReadProcKb("VmHWM:");
    s.peakKb = hwm > before ? hwm - before : 0;
  }
  return s;
}

struct TOurs {
  std::unique_ptr<htmlview::ThtDocument> doc;
  std::unique_ptr<htmlview::TBuffer> buffer;
  std::unique_ptr<htmlview::THtmlDocParser> parser;
};

TOurs Ours(const std::string& html) {
  TOurs o;
  o.doc = std::make_unique<htmlview::ThtDocument>(nullptr, nullptr);
  o.doc->SetFonts(u"Arial", u"Courier New", clBlack, 0xFF0000, 0x800080, 0x0000FF, clWhite, false, true, 12);
  o.buffer = std::make_unique<htmlview::TBuffer>(std::vector<uint8_t>(html.begin(), html.end()), u"bench");
  o.buffer->SetCodePage(htmlview::CP_UTF8);
  o.parser = std::make_unique<htmlview::THtmlDocParser>(*o.doc, *o.buffer);
  o.parser->HtmlParseString({});
  return o;
}

std::unique_ptr<QTextDocument> Peer(const std::string& html) {
  auto doc = std::make_unique<QTextDocument>();
  doc->setHtml(QString::fromUtf8(html.data(), static_cast<qsizetype>(html.size())));
  return doc;
}

Sample Median(std::vector<Sample> v) {
  std::sort(v.begin(), v.end(), [](const Sample& a, const Sample& b) { return a.seconds < b.seconds; });
  Sample m = v[v.size() / 2];
  if (v.size() % 2 == 0) m.seconds = (v[v.size() / 2 - 1].seconds + m.seconds) / 2;
  size_t peak = 0;
  for (const Sample& s : v) peak = std::max(peak, s.peakKb);
  m.peakKb = peak;
  return m;
}

}  // namespace

std::string GeneratedPage(size_t bytes, size_t runBytes) {
  std::string s = "<!DOCTYPE html>\n<html><head><title>Generated</title>\n"
                  "<style>h2 { color: navy } .note { font-style: italic }</style></head><body>\n";
  s.reserve(bytes + 256);
  int n = 0;
  const size_t runAt = runBytes ? (bytes - runBytes) / 2 : 0;
  bool runDone = runBytes == 0;
  while (s.size() + (runDone ? 0 : runBytes) < bytes) {
    if (!runDone && s.size() >= runAt) {
      s += "<p class=note>";
      for (size_t i = 0; i < runBytes; ++i) s += static_cast<char>('a' + i % 26);
      s += "</p>\n";
      runDone = true;
      continue;
    }
    AppendChunk(s, n++);
  }
  if (!runDone) {
    s += "<p>";
    s.append(runBytes, 'x');
    s += "</p>\n";
  }
  s += "</body></html>\n";
  return s;
}

TBuildFigures TimeOurBuild(const std::string& html, int runs) {
  std::vector<Sample> samples;
  for (int r = 0; r <= runs; ++r) {  // run 0 warms up
    Sample s = Measure([&] { return Ours(html); });
    if (r) samples.push_back(s);
  }
  const Sample m = Median(samples);
  return {m.seconds, m.peakKb};
}

int RunParseBench(int runs, bool ours, bool peer) {
  htmlview::SetPixelsPerInch(96);
  constexpr size_t MB = 1 << 20;
  struct Page {
    const char* name;
    std::string html;
  };
  const std::vector<Page> pages = {
      {"mixed-1MB", GeneratedPage(MB)},
      {"mixed-10MB", GeneratedPage(10 * MB)},
      {"run-1MB (one 1-MB word)", GeneratedPage(MB + 4096, MB)},
      {"mixed-10MB with a 1-MB run", GeneratedPage(10 * MB, MB)},
  };
  std::printf("| page | bytes | ours (ms) | ours MB/s | ours peak (MB) | QTextDocument (ms) | QTextDocument MB/s | "
              "QTextDocument peak (MB) | ours / QTextDocument |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  std::vector<double> perMb;
  for (const Page& page : pages) {
    const double mb = static_cast<double>(page.html.size()) / MB;
    std::vector<Sample> o, q;
    for (int r = 0; r <= runs; ++r) {  // run 0 warms up
      if (ours) {
        Sample s = Measure([&] { return Ours(page.html); });
        if (r) o.push_back(s);
      }
    }
    // QTextDocument takes over a minute on 10 MB: one run of the large pages, no warm-up.
    const int peerRuns = page.html.size() > 2 * MB ? 0 : runs;
    for (int r = 0; peer && r <= peerRuns; ++r) {
      Sample s = Measure([&] { return Peer(page.html); });
      if (r || peerRuns == 0) q.push_back(s);
    }
    const Sample om = ours ? Median(o) : Sample{}, qm = peer ? Median(q) : Sample{};
    perMb.push_back(om.seconds / mb);
    auto rate = [&](const Sample& s) { return s.seconds > 0 ? mb / s.seconds : 0.0; };
    std::printf("| %s | %zu | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %.2f |\n", page.name, page.html.size(),
                om.seconds * 1e3, rate(om), om.peakKb / 1024.0, qm.seconds * 1e3, rate(qm), qm.peakKb / 1024.0,
                qm.seconds > 0 ? om.seconds / qm.seconds : 0.0);
    std::fflush(stdout);
  }
  if (!ours) return 0;
  const double ratio = perMb[1] / perMb[0];
  std::printf("\nours, time per MB at 10 MB / at 1 MB: %.2f (target <= 1.5)\n", ratio);
  return ratio <= 1.5 ? 0 : 1;
}

}  // namespace htmlbench
