#pragma once
// A page as the viewer's tests build it: a document with the tests' fonts (Arial of 12 points,
// Courier New, blue links), filled by the real builder from a string and laid out on a measurer
// of the test's.
#include <QImage>
#include <memory>
#include <string>

#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/parse/HtmlParse.h"
#include "htmlview/style/StyleFonts.h"
#include "htmlview/text/HtmlBuffer.h"
#include "platform/gui/Graphics.h"

namespace htmlview {

// Every character half the font's pixel size wide, every line 5/4 of it high: sizes keep their
// ratios, so that runs in several fonts lay out predictably (at 12 points, 16 px: 8 by 20).
inline const TTextMeasurer& ScaledTestMeasurer() {
  static const TFixedMeasurer scaled(8, 20, 16);
  return scaled;
}

// The fonts and colours every test document starts with.
inline void SetTestFonts(ThtDocument& doc) {
  doc.SetFonts(u"Arial", u"Courier New", clBlack, RGB(0, 0, 255), RGB(128, 0, 128), RGB(255, 0, 0), clWhite, false,
               true, 12);
}

// Lays the document out width pixels wide (1000 high) on measurer; its height.
inline int LayOut(ThtDocument& doc, const TTextMeasurer& measurer, int width) {
  QImage image(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&image);
  canvas.Measurer = &measurer;
  int scroll = 0;
  return doc.DoLayout(canvas, 0, width, 1000, scroll);
}

// The document drawn from its top into a white image of width x height, on measurer.
inline QImage Painted(ThtDocument& doc, const TTextMeasurer& measurer, int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    TCanvas canvas(&image);
    canvas.Measurer = &measurer;
    doc.Draw(canvas, {0, 0, width, height}, width, 0, 0, 0);
  }
  return image;
}

// A document with its source and the parser that built it; fixtures derive from it.
struct TTestPage {
  // A new empty document, on paintPanel when one is given, in quirks mode when asked.
  ThtDocument& NewDocument(QWidget* paintPanel = nullptr, bool quirks = false) {
    parser.reset();
    doc = std::make_unique<ThtDocument>(nullptr, paintPanel);
    if (quirks) doc->QuirksMode = doc->StyleList->QuirksMode = true;
    SetTestFonts(*doc);
    return *doc;
  }
  // The builder's pass over html into the document NewDocument made.
  THtmlDocParser& ParseInto(const std::u16string& html, const THtmlParseEvents& events = {}) {
    buffer = std::make_unique<TBuffer>(TBuffer::FromString(html, u"page"));
    parser = HtmlParseString(*doc, *buffer, events);
    return *parser;
  }
  // The parser goes first: it refers to the document.
  void ClearPage() {
    parser.reset();
    doc.reset();
  }

  std::unique_ptr<ThtDocument> doc;
  std::unique_ptr<TBuffer> buffer;
  std::unique_ptr<THtmlDocParser> parser;
};

}  // namespace htmlview
