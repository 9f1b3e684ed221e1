#pragma once
// Pieces of the layout tests: the text of a laid-out document as drawn, read back from its dump
// (one piece per text output, top to bottom), the colours of a drawn image, and content of a fixed
// height for the containers under test.
#include <QColor>
#include <QImage>
#include <QPoint>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlDump.h"
#include "platform/gui/Colors.h"

struct TPiece {
  int x = 0, y = 0, w = 0, h = 0;
  std::string text;
};

// width: how far right the text is taken (0: the layout's width).
inline std::vector<TPiece> Pieces(htmlview::ThtDocument& doc, int width = 0) {
  std::vector<TPiece> out;
  std::istringstream in(htmlview::DumpLayout(doc, width));
  for (std::string line; std::getline(in, line);) {
    TPiece p;
    std::istringstream l(line);
    l >> p.x >> p.y >> p.w >> p.h;
    std::getline(l, p.text);
    if (!p.text.empty() && p.text[0] == ' ') p.text.erase(0, 1);
    out.push_back(p);
  }
  return out;
}

// A point within the first character of text (charWidth pixels a character), half-way down its
// line, for a view scrolled down by scroll; a failure when no piece holds the text.
inline QPoint TextPoint(htmlview::ThtDocument& doc, const std::string& text, int scroll, int charWidth = 8) {
  for (const TPiece& p : Pieces(doc))
    if (const size_t i = p.text.find(text); i != std::string::npos)
      return {p.x + static_cast<int>(i) * charWidth + 2, p.y + p.h / 2 - scroll};
  ADD_FAILURE() << "no piece " << text;
  return {};
}

// Content of a fixed height: PlaceAt sets what a container reads of a section laid out at y.
class TFixedHeightSection : public htmlview::TSectionBase {
protected:
  using htmlview::TSectionBase::TSectionBase;
  int PlaceAt(int y, int height) {
    YPos = DrawTop = ContentTop = y;
    SectionHeight = DrawHeight = height;
    ContentBottom = DrawBottom = y + height;
    return height;
  }
};

// An image's colour at a point, as the viewer's colours are written.
inline TColor Px(const QImage& image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  return RGB(qRed(p), qGreen(p), qBlue(p));
}

// A point of an image and the colour it must have.
struct TPixel {
  int x, y;
  TColor colour;
};
inline void ExpectPixels(const QImage& image, std::initializer_list<TPixel> pixels) {
  for (const TPixel& p : pixels) EXPECT_EQ(Px(image, p.x, p.y), p.colour) << "at " << p.x << "," << p.y;
}

// The same with the colours as Qt writes them.
struct TPixelColour {
  int x, y;
  QColor colour;
};
inline void ExpectColours(const QImage& image, std::initializer_list<TPixelColour> pixels) {
  for (const TPixelColour& p : pixels) EXPECT_EQ(QColor(image.pixel(p.x, p.y)), p.colour) << "at " << p.x << "," << p.y;
}
