// Any bytes built into a document and laid out on the fixed measurer. The first byte picks quirks
// mode, the entry (HTML or plain text), the code page the buffer is read in and, with the second,
// the layout width.
//
// Properties: the build ends (no hang, bounded stack) and throws nothing but the errors the viewer
// documents, which its callers catch (an open comment, an unterminated comment in a style sheet,
// an unknown character set, a bad escape in a name, a picture that cannot be read); the document
// holds the body block only; the property stack is back to its one default set; the layout ends
// and the top of the page paints.
#include <QApplication>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "htmlview/images/GdiPlus.h"
#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/parse/HtmlParse.h"
#include "htmlview/parse/ReadHTML.h"
#include "htmlview/style/StyleFonts.h"
#include "htmlview/style/StylePars.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/text/HtmlBuffer.h"
#include "htmlview/text/URLSubs.h"
#include "htmlview/view/HtmlView.h"
#include "platform/gui/Graphics.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

void EnsureApp() {
  if (QCoreApplication::instance()) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "fuzz_html_build";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
}

// The errors the viewer documents, which its callers catch: anything else is a fault.
bool Documented(const Exception& e) {
  return dynamic_cast<const htmlview::EHtmlParseError*>(&e) || dynamic_cast<const htmlview::EParseError*>(&e) ||
         dynamic_cast<const htmlview::EConversionError*>(&e) || dynamic_cast<const htmlview::EConvertError*>(&e) ||
         dynamic_cast<const htmlview::EhtException*>(&e) || dynamic_cast<const htmlview::EGDIPlus*>(&e);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 65536) return 0;
  EnsureApp();
  static TFixedMeasurer measurer(7, 16);
  static const bool once = [] {
    htmlview::SetPixelsPerInch(96);
    htmlview::SetFontMeasurer(&measurer);
    // No font is installed as far as the page can tell, so that results do not depend on the host.
    htmlview::SetFontCatalogue([](const std::u16string&) { return false; });
    return true;
  }();
  (void)once;
  static const int pages[] = {0, htmlview::CP_UTF8, 932, 1252, htmlview::CP_UTF16LE, 51932, 1251, 950};
  const uint8_t pick = data[0];
  const int width = (data[1] * 4) % 1000;

  htmlview::ThtDocument doc(nullptr, nullptr);
  doc.QuirksMode = pick & 1;
  doc.SetFonts(u"Arial", u"Courier New", clBlack, 0xFF0000, 0x800080, 0x0000FF, clWhite, false,
               true, 12);
  htmlview::TBuffer buffer(std::vector<uint8_t>(data + 2, data + size), u"fuzz");
  if (pick & 0x80) buffer.SetCodePage(pages[(pick >> 2) & 7]);
  htmlview::THtmlDocParser parser(doc, buffer);
  bool built = true;
  try {
    if (pick & 2)
      parser.HtmlParseTextString();
    else
      parser.HtmlParseString({});
  } catch (const Exception& e) {
    if (!Documented(e)) throw;
    built = false;
  }
  if (built) {
    FUZZ_CHECK(doc.Count() == 1);
    FUZZ_CHECK(doc.PropertyStack->size() == 1);
    QImage image(1, 1, QImage::Format_RGB32);
    TCanvas canvas(&image);
    canvas.Measurer = &measurer;
    int scroll = 0;
    const int height = doc.DoLayout(canvas, 0, width, 1000, scroll);
    FUZZ_CHECK(height >= 0);
    // The top of the page, as a view shows it.
    const TRect clip{0, 0, std::max(width, 1), 1000};
    doc.Draw(canvas, clip, clip.Right, 0, 0, 0);
  }
  return 0;
}
