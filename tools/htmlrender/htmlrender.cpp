// htmlrender: renders a page with the viewer, for scripts and whole-viewer checks.
//
//   htmlrender [--width N] [--dump] IN.html OUT.png
//
// Loads IN with the viewer's file loader, lays it out at N pixels (default 600) without scroll
// bars and paints the whole document into OUT.png, N wide and the document's height (at least
// one pixel). --dump first prints one line per laid-out piece of text, top to bottom:
// "x y width height text", in document coordinates. A page the viewer cannot load, or an image
// too big to make, is an error on standard error and exit 1.
#include <QApplication>
#include <QImage>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlDump.h"
#include "htmlview/view/HtmlView.h"
#include "platform/core/Utf8.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: htmlrender [--width N] [--dump] IN.html OUT.png\n");
  return 2;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "htmlrender: %s\n", message.c_str());
  return 1;
}

// Pixels an image may have: beyond this the page is refused rather than allocated.
constexpr long long MaxPixels = 1LL << 28;

}  // namespace

int main(int argc, char** argv) {
  int width = 600;
  bool dump = false;
  std::string in, out;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--width" && i + 1 < argc) {
      char* end = nullptr;
      const long w = std::strtol(argv[++i], &end, 10);
      if (!end || *end || w < 1 || w > 100000) return Usage();
      width = static_cast<int>(w);
    } else if (a == "--dump") {
      dump = true;
    } else if (in.empty()) {
      in = a;
    } else if (out.empty()) {
      out = a;
    } else {
      return Usage();
    }
  }
  if (in.empty() || out.empty()) return Usage();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  try {
    htmlview::THtmlView view;
    view.SetBorderStyle(htmlview::htNone);
    view.SetScrollBars(htmlview::TScrollStyle::ssNone);
    view.resize(width, 100);
    view.LoadFromFile(platform::Utf8ToUtf16(in));
    if (dump) {
      const std::string text = htmlview::DumpLayout(view.Document());
      std::fwrite(text.data(), 1, text.size(), stdout);
      std::fflush(stdout);
    }
    const int height = std::max(1, view.DocumentHeight());
    if (static_cast<long long>(width) * height > MaxPixels) return Fail("the page is too big to render: " + in);
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return Fail("the page is too big to render: " + in);
    view.PaintDocument(image);
    if (!image.save(QString::fromStdString(out), "PNG")) return Fail("cannot write " + out);
  } catch (const std::exception& e) {
    return Fail(in + ": " + e.what());
  } catch (...) {
    return Fail(in + ": unknown error");
  }
  return 0;
}
