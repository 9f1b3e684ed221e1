#include "bench/htmlbench_page.h"

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QImage>
#include <QTextDocument>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/htmlbench_common.h"
#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/parse/HtmlParse.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/text/HtmlBuffer.h"
#include "platform/gui/Graphics.h"

namespace htmlbench {

namespace {

const char* const kWords[] = {
    "lorem",   "ipsum",    "dolor",     "sit",       "amet",       "consectetur", "adipiscing", "elit",
    "sed",     "do",       "eiusmod",   "tempor",    "incididunt", "ut",          "labore",     "et",
    "dolore",  "magna",    "aliqua",    "enim",      "ad",         "minim",       "veniam",     "quis",
    "nostrud", "exercise", "ullamco",   "laboris",   "nisi",       "aliquip",     "ex",         "ea",
    "commodo", "consequat", "duis",     "aute",      "irure",      "in",          "reprehenderit", "voluptate",
    "velit",   "esse",     "cillum",    "fugiat",    "nulla",      "pariatur",    "excepteur",  "sint",
    "occaecat", "cupidatat", "non",     "proident",  "sunt",       "culpa",       "qui",        "officia",
    "deserunt", "mollit",  "anim",      "id",        "est",        "laborum",     "translation", "memory",
};
// Greek and Cyrillic words (UTF-8).
const char* const kForeign[] = {
    "\xce\xba\xce\xb5\xce\xaf\xce\xbc\xce\xb5\xce\xbd\xce\xbf",            // κείμενο
    "\xce\xbc\xce\xb5\xcf\x84\xce\xac\xcf\x86\xcf\x81\xce\xb1\xcf\x83\xce\xb7",  // μετάφραση
    "\xce\xbb\xce\xad\xce\xbe\xce\xb7",                                    // λέξη
    "\xd0\xbf\xd0\xb5\xd1\x80\xd0\xb5\xd0\xb2\xd0\xbe\xd0\xb4",            // перевод
    "\xd0\xbf\xd0\xb0\xd0\xbc\xd1\x8f\xd1\x82\xd1\x8c",                    // память
    "\xd1\x82\xd0\xb5\xd0\xba\xd1\x81\xd1\x82",                            // текст
    "\xd1\x81\xd0\xbb\xd0\xbe\xd0\xb2\xd0\xbe",                            // слово
};

void Words(TRandom& r, std::string& out, int n) {
  for (int i = 0; i < n; ++i) {
    if (i > 0) out += ' ';
    out += r.Below(20) == 0 ? kForeign[r.Below(7)] : kWords[r.Below(64)];
  }
}

// A paragraph's text: plain words with runs of bold, italic, another size and links.
void Runs(TRandom& r, std::string& out, int words) {
  int done = 0;
  while (done < words) {
    const int n = 1 + r.Below(8);
    switch (r.Below(8)) {
      case 0:
        out += "<b>";
        Words(r, out, n);
        out += "</b>";
        break;
      case 1:
        out += "<i>";
        Words(r, out, n);
        out += "</i>";
        break;
      case 2:
        out += "<span style=\"font-size: " + std::to_string(12 + 2 * r.Below(6)) + "px\">";
        Words(r, out, n);
        out += "</span>";
        break;
      case 3:
        out += "<a href=\"page" + std::to_string(r.Below(1000)) + ".html\">";
        Words(r, out, n);
        out += "</a>";
        break;
      default:
        Words(r, out, n);
    }
    out += ' ';
    done += n;
  }
}

void List(TRandom& r, std::string& out, int depth) {
  const bool ordered = r.Below(2) == 0;
  out += ordered ? "<ol>\n" : "<ul>\n";
  const int items = 2 + r.Below(4);
  for (int i = 0; i < items; ++i) {
    out += "<li>";
    Runs(r, out, 4 + r.Below(16));
    if (depth < 3 && r.Below(3) == 0) List(r, out, depth + 1);
    out += "</li>\n";
  }
  out += ordered ? "</ol>\n" : "</ul>\n";
}

struct TFigures {
  double build = 0, layout = 0, total = 0, relayout = 0;
  long rssKb = 0;
  int height = 0;
};

// The times of each run's phases: t0 to t1 builds, t1 to t2 lays out, t2 to t3 lays out again.
class TPhaseTimes {
public:
  void Add(TClock::time_point t0, TClock::time_point t1, TClock::time_point t2, TClock::time_point t3) {
    build_.push_back(Ms(t0, t1));
    layout_.push_back(Ms(t1, t2));
    total_.push_back(Ms(t0, t2));
    relayout_.push_back(Ms(t2, t3));
  }
  // The medians into f.
  void Medians(TFigures& f) const {
    f.build = Median(build_), f.layout = Median(layout_), f.total = Median(total_), f.relayout = Median(relayout_);
  }

private:
  std::vector<double> build_, layout_, total_, relayout_;
};

// The default font of both engines: Arial of 16 pixels (12 points at 96 pixels per inch).
TFigures TimeOurs(const std::string& html, int runs) {
  htmlview::SetPixelsPerInch(96);
  TPhaseTimes times;
  TFigures f;
  for (int i = 0; i < runs; ++i) {
    auto doc = std::make_unique<htmlview::ThtDocument>(nullptr, nullptr);
    doc->SetFonts(u"Arial", u"Courier New", clBlack, 0xFF0000, 0x800080, 0x0000FF, clWhite, false, true, 12);
    htmlview::TBuffer buffer(std::vector<uint8_t>(html.begin(), html.end()), u"bench");
    buffer.SetCodePage(htmlview::CP_UTF8);
    QImage image(1, 1, QImage::Format_RGB32);
    TCanvas canvas(&image);
    int scroll = 0;
    const auto t0 = TClock::now();
    {
      htmlview::THtmlDocParser parser(*doc, buffer);
      parser.HtmlParseString({});
    }
    const auto t1 = TClock::now();
    f.height = doc->DoLayout(canvas, 0, 800, 1000, scroll);
    const auto t2 = TClock::now();
    doc->DoLayout(canvas, 0, 600, 1000, scroll);
    times.Add(t0, t1, t2, TClock::now());
  }
  times.Medians(f);
  return f;
}

TFigures TimeQt(const std::string& html, int runs) {
  QFont font("Arial");
  font.setPixelSize(16);
  const QString text = QString::fromUtf8(html.data(), static_cast<qsizetype>(html.size()));
  TPhaseTimes times;
  TFigures f;
  for (int i = 0; i < runs; ++i) {
    QTextDocument doc;
    doc.setDefaultFont(font);
    const auto t0 = TClock::now();
    doc.setHtml(text);
    const auto t1 = TClock::now();
    doc.setTextWidth(800);
    f.height = static_cast<int>(doc.documentLayout()->documentSize().height());
    const auto t2 = TClock::now();
    doc.setTextWidth(600);
    doc.documentLayout()->documentSize();
    times.Add(t0, t1, t2, TClock::now());
  }
  times.Medians(f);
  return f;
}

bool ReadChild(const char* program, const char* engine, int runs, std::uint32_t seed, TFigures& f) {
  const std::string command = std::string("'") + program + "' --page --engine " + engine + " --runs " +
                              std::to_string(runs) + " --seed " + std::to_string(seed);
  return ReadFigures(command, [&f](const char* line) {
    return std::sscanf(line, "figures %lf %lf %lf %lf %ld %d", &f.build, &f.layout, &f.total, &f.relayout, &f.rssKb,
                       &f.height) == 6;
  });
}

}  // namespace

std::string GeneratePage(std::uint32_t seed, std::size_t bytes) {
  TRandom r(seed * 2654435761u + 0x9E3779B9u);
  std::string out = "<html><head><title>Generated page</title></head><body>\n";
  out.reserve(bytes + 4096);
  int section = 0;
  while (out.size() < bytes) {
    const int level = 1 + r.Below(3);
    out += "<h" + std::to_string(level) + ">" + std::to_string(++section) + " ";
    Words(r, out, 2 + r.Below(5));
    out += "</h" + std::to_string(level) + ">\n";
    const int paragraphs = 2 + r.Below(5);
    for (int p = 0; p < paragraphs; ++p) {
      out += "<p>";
      Runs(r, out, 30 + r.Below(90));
      out += "</p>\n";
      if (r.Below(4) == 0) List(r, out, 1);
    }
  }
  out += "</body></html>\n";
  return out;
}

int RunPageBench(const char* program, const std::string& engine, int runs, std::uint32_t seed) {
  const std::string html = GeneratePage(seed);
  if (engine == "ours" || engine == "qt") {
    TFigures f = engine == "ours" ? TimeOurs(html, runs) : TimeQt(html, runs);
    f.rssKb = PeakRssKb();
    std::printf("figures %.3f %.3f %.3f %.3f %ld %d\n", f.build, f.layout, f.total, f.relayout, f.rssKb, f.height);
    return 0;
  }
  TFigures ours, qt;
  if (!ReadChild(program, "ours", runs, seed, ours) || !ReadChild(program, "qt", runs, seed, qt)) {
    std::fprintf(stderr, "htmlbench: a page run failed\n");
    return 1;
  }
  std::printf("Generated page: %zu bytes (seed %u), laid out at 800 px then 600 px, default font Arial 16 px;\n"
              "medians of %d runs, each engine in its own process.\n\n",
              html.size(), seed, runs);
  std::printf("| figure | ours | QTextDocument | ours / Qt |\n|---|---:|---:|---:|\n");
  auto row = [](const char* name, double o, double q) {
    std::printf("| %s | %.1f | %.1f | %.2f |\n", name, o, q, q > 0 ? o / q : 0.0);
  };
  row("build / parse (ms)", ours.build, qt.build);
  row("layout at 800 px (ms)", ours.layout, qt.layout);
  row("total (ms)", ours.total, qt.total);
  row("relayout at 600 px (ms)", ours.relayout, qt.relayout);
  row("peak resident memory (MB)", ours.rssKb / 1024.0, qt.rssKb / 1024.0);
  std::printf("| document height at 800 px (px) | %d | %d | |\n", ours.height, qt.height);
  std::printf("\ntargets: layout and total ratios <= 1.0 (layout %s, total %s)\n",
              ours.layout <= qt.layout ? "met" : "MISSED", ours.total <= qt.total ? "met" : "MISSED");
  return 0;
}

}  // namespace htmlbench
