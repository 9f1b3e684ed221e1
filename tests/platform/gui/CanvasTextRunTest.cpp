// Text through the canvas against QPainter::drawText of the same font at the same baseline: the
// canvas draws runs of plain characters from glyphs it has learnt, and must land on exactly the
// pixels that Qt's own text drawing gives, whatever the font, the characters or the painter.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <functional>
#include <string>
#include <vector>

#include "platform/gui/Graphics.h"
#include "tests/support/QtApp.h"

namespace {

class CanvasTextRun : public qttest::QtTest<QApplication> {
protected:
  static void SetUpTestSuite() {
    qttest::QtTest<QApplication>::SetUpTestSuite();
    UseProgramFonts();
  }

  // How the painter is set before the text goes on: as it comes, moved, right to left.
  enum TSetup { sPlain, sMoved, sRightToLeft };

  static QImage Blank() {
    QImage image(420, 90, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
  }
  static void Prepare(QPainter& p, TSetup setup) {
    if (setup == sMoved) p.translate(-7, 3);
    if (setup == sRightToLeft) p.setLayoutDirection(Qt::RightToLeft);
  }

  // The canvas's text: TextOut twice, so that the second run finds what the first one learnt.
  static QImage ByCanvas(const TFont& font, const std::u16string& text, TSetup setup) {
    QImage image = Blank();
    QPainter p(&image);
    Prepare(p, setup);
    TCanvas c(p);
    c.Font = font;
    c.Brush.Style = bsClear;
    c.TextOut(3, 5, text);
    c.TextOut(3, 45, text);
    return image;
  }
  // Qt's own drawing of the same text where the canvas puts its cells.
  static QImage ByQt(const TFont& font, const std::u16string& text, TSetup setup) {
    QImage image = Blank();
    QPainter p(&image);
    Prepare(p, setup);
    const QFont f = font.ToQFont();
    p.setFont(f);
    p.setPen(ToQColor(font.Color));
    const int ascent = QFontMetrics(f).ascent();
    p.drawText(QPoint(3, 5 + ascent), QString::fromStdU16String(text));
    p.drawText(QPoint(3, 45 + ascent), QString::fromStdU16String(text));
    return image;
  }
};

TEST_F(CanvasTextRun, LandsOnTheSamePixelsAsQtsTextDrawing) {
  const TFont fonts[] = {
      {u"DejaVu Sans", 10, clBlack, 0, 16},
      {u"DejaVu Serif", 12, RGB(0x20, 0x40, 0xC0), fsBold, 13},
      {u"Liberation Serif", 12, clBlack, fsItalic, 16},
      {u"Liberation Sans", 9, RGB(200, 0, 0), fsBold | fsItalic, 11},
      {u"Liberation Mono", 8, clBlack, 0, 7},
      {u"Tahoma", 8, clBlack, 0, 11},
      {u"MS Sans Serif", 8, clBlack, fsBold, 11},
      {u"No Such Face", 10, clBlack, 0, 15},
      // Decorated, and too big for the glyph cache: Qt's drawing throughout.
      {u"DejaVu Sans", 10, clBlack, fsUnderline, 14},
      {u"DejaVu Serif", 10, clBlack, fsStrikeOut, 14},
      {u"DejaVu Sans", 10, clBlack, 0, 63},
      {u"DejaVu Sans", 10, clBlack, 0, 64},
  };
  const std::u16string texts[] = {
      u"The quick brown fox jumps over the lazy dog 0123456789",
      u"  (leading blanks), trailing.  ",
      u"...;:!?",
      u"d\u00E9j\u00E0 vu, na\u00EFve, \u00C6r\u00F8sk\u00F8bing, Stra\u00DFe \u0130 \u0133",
      u"non\u00A0breaking\u00A0spaces \u2014 dash \u2013 \u2026 \u201Cquoted\u201D \u20AC\u00A3",
      u"\u039A\u03B1\u03BB\u03B7\u03BC\u03AD\u03C1\u03B1 \u0421\u044A\u0435\u0448\u044C \u0436\u0435",
      u"\u65E5\u672C\u8A9E \u4E2D\u6587 \uD55C\uAD6D\uC5B4 \uFF21\uFF22\uFF23",
      u"\u2190\u2192\u2211\u221E\u2264\u2660\u2665 \u2122",
      u"soft\u00ADhyphen and tab\there",
      u"e\u0301 a\u0308 combining marks",
      u"abc \u05E9\u05DC\u05D5\u05DD def \u0645\u0631\u062D\u0628\u0627 123",
      u"emoji \U0001F600 and \U0001D518 pairs",
      u"zero\u200Bwidth joiner a\u200Db mark a\u200Eb",
      u"fi fl ffi -- Tw AV To Ty kerning pairs",
  };
  for (const TSetup setup : {sPlain, sMoved, sRightToLeft})
    for (const TFont& font : fonts)
      for (const std::u16string& text : texts)
        EXPECT_TRUE(ByCanvas(font, text, setup) == ByQt(font, text, setup))
            << "setup " << setup << ", " << QString::fromStdU16String(font.Name).toStdString() << " "
            << font.PixelSize << " px, style " << font.Style << ": "
            << QString::fromStdU16String(text).toStdString();
}

// The canvas's own painter on an image of 32 bits without alpha: glyphs there may be stamped
// into the pixels. Against Qt on grounds of one colour and of many, glyphs over their neighbours,
// under a clip and past the image's edges, in runs that meet each glyph at many places.
TEST_F(CanvasTextRun, StampedGlyphsMatchQtOnEveryGround) {
  // Grounds: white; stripes of two colours a few rows high; a checker of single pixels; and a
  // ground with text already on it.
  auto ground = [](QImage& image, int kind) {
    image.fill(Qt::white);
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        if (kind == 1 && (y / 3) % 2) image.setPixel(x, y, qRgb(200, 230, 255));
        if (kind == 2 && (x + y) % 2) image.setPixel(x, y, qRgb(250, 250, 200));
      }
    if (kind == 3) {
      QPainter p(&image);
      p.setFont(TFont{u"DejaVu Serif", 10, clBlack, 0, 15}.ToQFont());
      p.setPen(QColor(0, 90, 0));
      p.drawText(QPoint(5, 20), QStringLiteral("underneath underneath underneath"));
    }
  };
  const TFont fonts[] = {{u"Liberation Serif", 12, clBlack, 0, 16},
                         {u"Liberation Serif", 12, RGB(0, 0, 200), fsItalic, 16},
                         {u"DejaVu Sans", 10, RGB(180, 0, 0), fsBold, 13},
                         {u"DejaVu Serif", 10, clBlack, fsItalic | fsBold, 21}};
  const std::u16string texts[] = {u"translation memory segment source target fuzzy exact",
                                  u"ffff jjjj rnrn VAVA fjfj //// \\\\ WwWw",
                                  u"Ærøskøbing Καλη 日本"};
  const struct {
    int x, y;
    bool clip;
    TBrushStyle brush;
  } places[] = {{3, 5, false, bsClear}, {-9, 12, false, bsClear}, {300, 8, false, bsClear},
                {4, -6, false, bsClear}, {2, 25, false, bsClear}, {6, 10, true, bsClear}, {5, 7, false, bsSolid}};
  for (int kind = 0; kind < 4; ++kind)
    for (const TFont& font : fonts)
      for (const std::u16string& text : texts)
        for (const auto& at : places) {
          QImage canvas(360, 40, QImage::Format_RGB32), qt(360, 40, QImage::Format_RGB32);
          ground(canvas, kind);
          ground(qt, kind);
          const QRect clip(20, 9, 150, 13);
          int width = 0;
          {
            TCanvas c(&canvas);
            c.Font = font;
            c.Brush = {RGB(255, 255, 160), at.brush};
            if (at.clip) c.IntersectClipRect({clip.left(), clip.top(), clip.right() + 1, clip.bottom() + 1});
            width = c.TextWidth(text);
            c.TextOut(at.x, at.y, text);
            c.TextOut(at.x + 1, at.y + 3, text);  // over itself, a pixel along
          }
          {
            QPainter p(&qt);
            if (at.clip) p.setClipRect(clip);
            const QFont f = font.ToQFont();
            const int ascent = QFontMetrics(f).ascent(), height = QtTextMeasurer().LineHeight(f);
            for (const int d : {0, 1}) {
              if (at.brush == bsSolid) p.fillRect(QRect(at.x + d, at.y + 3 * d, width, height), QColor(255, 255, 160));
              p.setFont(f);
              p.setPen(ToQColor(font.Color));
              p.drawText(QPoint(at.x + d, at.y + 3 * d + ascent), QString::fromStdU16String(text));
            }
          }
          EXPECT_TRUE(canvas == qt) << "ground " << kind << ", " << QString::fromStdU16String(font.Name).toStdString()
                                    << " style " << font.Style << " at " << at.x << "," << at.y << (at.clip ? " clipped" : "")
                                    << ": " << QString::fromStdU16String(text).toStdString();
        }
}

TEST_F(CanvasTextRun, ACanvasTakingTurnsAmongManyFontsDrawsEachInItsOwn) {
  // More fonts than the canvas keeps made, differing in one thing each, in turn and back again.
  std::vector<TFont> fonts;
  for (const char16_t* name : {u"DejaVu Sans", u"DejaVu Serif", u"Liberation Mono"})
    for (const unsigned style : {0u, fsBold, fsItalic})
      for (const int pixels : {11, 14}) fonts.push_back({name, 9, clBlack, style, pixels});
  fonts.push_back({u"DejaVu Sans", 9, RGB(0, 120, 0), 0, 11});
  fonts.push_back({u"DejaVu Sans", 12, clBlack, 0, 0});
  const std::u16string text = u"Turn";
  QImage canvas(420, 90, QImage::Format_RGB32), qt(420, 90, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  qt.fill(Qt::white);
  {
    QPainter p(&canvas);
    TCanvas c(p);
    c.Brush.Style = bsClear;
    for (int round = 0; round < 2; ++round)
      for (size_t i = 0; i < fonts.size(); ++i) {
        c.Font = fonts[i];
        c.TextOut(static_cast<int>(i % 10) * 40, static_cast<int>(i / 10) * 20 + round * 45, text);
      }
  }
  {
    QPainter p(&qt);
    for (int round = 0; round < 2; ++round)
      for (size_t i = 0; i < fonts.size(); ++i) {
        const QFont f = fonts[i].ToQFont();
        p.setFont(f);
        p.setPen(ToQColor(fonts[i].Color));
        p.drawText(QPoint(static_cast<int>(i % 10) * 40,
                          static_cast<int>(i / 10) * 20 + round * 45 + QFontMetrics(f).ascent()),
                   QString::fromStdU16String(text));
      }
  }
  EXPECT_TRUE(canvas == qt);
}

TEST_F(CanvasTextRun, ASolidBrushStillFillsTheCellUnderTheGlyphs) {
  const TFont font{u"DejaVu Sans", 10, RGB(0, 0, 160), 0, 16};
  const std::u16string text = u"plain text on a ground";
  QImage canvas = Blank(), qt = Blank();
  {
    QPainter p(&canvas);
    TCanvas c(p);
    c.Font = font;
    c.Brush = {RGB(255, 255, 0), bsSolid};
    c.TextOut(3, 5, text);
  }
  {
    QPainter p(&qt);
    const QFont f = font.ToQFont();
    p.fillRect(QRect(3, 5, QtTextMeasurer().TextExtent(f, text).cx, QtTextMeasurer().LineHeight(f)),
               QColor(255, 255, 0));
    p.setFont(f);
    p.setPen(QColor(0, 0, 160));
    p.drawText(QPoint(3, 5 + QFontMetrics(f).ascent()), QString::fromStdU16String(text));
  }
  EXPECT_TRUE(canvas == qt);
}

}  // namespace
