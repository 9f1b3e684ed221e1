// The canvas seam drawn into images: the class library's coordinates, text cells, DrawText's
// layout on the fixed measurer and system colours. Bitmaps are drawn by the glyph buttons' tests.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <functional>

#include "platform/gui/Colors.h"
#include "platform/gui/Graphics.h"
#include "tests/platform/gui/PaintTest.h"

namespace {

class Canvas : public PaintTest {
protected:
  Canvas() : PaintTest(60, 40) {}

  // What draw leaves on a white image: the box of every pixel that is not white.
  QRect Ink(const std::function<void(TCanvas&)>& draw) {
    Paint([&draw](TCanvas& c) {
      c.Font = {u"DejaVu Sans", 10, clBlack, 0};
      c.Brush.Style = bsClear;
      draw(c);
    });
    return BoxWhere([](QRgb p) { return p != qRgb(255, 255, 255); });
  }
};

TEST_F(Canvas, RectanglesAndLinesExcludeTheirFarEdges) {
  const QRect box = Ink([](TCanvas& c) {
    c.Pen.Color = RGB(0x25, 0x58, 0x87);
    c.Brush = {RGB(0, 0, 255), bsSolid};
    c.RoundRect(0, 0, 23, 22, 5, 5);
  });
  EXPECT_EQ(box, QRect(0, 0, 23, 22));
  for (QPoint p : {QPoint(0, 11), QPoint(22, 11), QPoint(11, 0), QPoint(11, 21)})
    EXPECT_EQ(image.pixel(p), qRgb(0x25, 0x58, 0x87));
  EXPECT_EQ(image.pixel(11, 11), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));  // a rounded corner

  const struct {
    int x0, y0, x1, y1;
    QRect box;
  } lines[] = {{2, 5, 12, 5, {2, 5, 10, 1}}, {12, 7, 2, 7, {3, 7, 10, 1}}, {4, 2, 4, 9, {4, 2, 1, 7}},
               {1, 1, 6, 6, {1, 1, 5, 5}},   {3, 3, 3, 3, {}}};
  for (const auto& l : lines)
    EXPECT_EQ(Ink([&](TCanvas& c) {
                c.MoveTo(l.x0, l.y0);
                c.LineTo(l.x1, l.y1);
                EXPECT_EQ(c.PenPos, (TPoint{l.x1, l.y1}));
              }),
              l.box)
        << l.x0 << "," << l.y0 << " -> " << l.x1 << "," << l.y1;
  EXPECT_EQ(Ink([](TCanvas& c) {
              c.Brush = {clBlack, bsSolid};
              c.FillRect({5, 6, 9, 8});
              c.Brush.Style = bsClear;
              c.FillRect({20, 20, 30, 30});
            }),
            QRect(5, 6, 4, 2));
}

TEST_F(Canvas, TextOutPlacesTheCellByItsTopLeftAndMovesThePen) {
  TSize size;
  QRect ink = Ink([&](TCanvas& c) {
    size = c.TextExtent(u"Hg\u00C9");
    c.TextOut(5, 10, u"Hg\u00C9");
    EXPECT_EQ(c.PenPos, (TPoint{5 + size.cx, 10}));
  });
  ASSERT_GT(size.cx, 0);
  EXPECT_GE(ink.top(), 10);  // no ink above the cell (Qt's own origin is the baseline)
  EXPECT_LT(ink.top(), 10 + size.cy / 2);
  EXPECT_LT(ink.bottom(), 10 + size.cy);
  EXPECT_TRUE(ink.left() >= 5 && ink.right() <= 5 + size.cx);

  // Empty text measures (0, 0), draws nothing and leaves the pen.
  EXPECT_TRUE(Ink([](TCanvas& c) {
                EXPECT_EQ(c.TextExtent(u""), (TSize{0, 0}));
                c.TextOut(7, 3, u"");
                EXPECT_EQ(c.PenPos, (TPoint{7, 3}));
              }).isEmpty());

  // Right to left: drawn from x + width + 1, the pen ends at x + 2 x width + 1.
  int w = 0;
  ink = Ink([&](TCanvas& c) {
    c.CanvasOrientation = coRightToLeft;
    w = c.TextWidth(u"ab");
    c.TextOut(2, 5, u"ab");
    EXPECT_EQ(c.PenPos, (TPoint{2 + 2 * w + 1, 5}));
  });
  EXPECT_TRUE(ink.left() >= 2 + w + 1 && ink.right() <= 2 + 2 * w + 1);

  // A solid brush paints the whole cell (corners checked: glyphs may pass its edges).
  const TFixedMeasurer fixed(6, 10);
  EXPECT_TRUE(Ink([&](TCanvas& c) {
                c.Measurer = &fixed;
                c.Brush = {RGB(255, 0, 0), bsSolid};
                c.Font.Color = RGB(255, 0, 0);
                c.TextOut(4, 4, u"abc");
              }).contains(QRect(4, 4, 18, 10)));
  EXPECT_EQ(image.pixel(21, 4), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(22, 4), qRgb(255, 255, 255));
}

TEST_F(Canvas, DrawTextWrapsAtBlanksOnTheFixedMeasurer) {
  const TFixedMeasurer fixed(6, 10);
  const struct {
    std::u16string text;
    int width;
    unsigned format;
    int right, bottom;  // of the rect that starts at (3, 4)
  } cases[] = {
      {u"aaa bbb ccc", 45, DT_CALCRECT | DT_WORDBREAK, 45, 24},  // "aaa bbb" / "ccc"
      {u"aaa bbb ccc", 100, DT_CALCRECT | DT_WORDBREAK, 69, 14},
      {u"aaa   bbb", 30, DT_CALCRECT | DT_WORDBREAK, 21, 24},    // the blanks at a break vanish
      {u"abcdefghij x", 30, DT_CALCRECT | DT_WORDBREAK, 63, 24}, // a long word is not cut
      {u"aaa bbb ccc", 45, DT_CALCRECT, 69, 14},                 // no breaking asked
      {u"ab\r\ncd\ne", 100, DT_CALCRECT, 15, 34},
      {u"&Save && E&xit", 200, DT_CALCRECT, 69, 14},             // "Save & Exit"
      {u"&Save", 200, DT_CALCRECT | DT_NOPREFIX, 33, 14},
      {u"", 100, DT_CALCRECT | DT_WORDBREAK, 3, 4},
      {u"\U0001F600x", 100, DT_CALCRECT, 15, 14},                 // a pair is one character
  };
  EXPECT_TRUE(Ink([&](TCanvas& c) {
                c.Measurer = &fixed;
                for (const auto& k : cases) {
                  TRect r{3, 4, 3 + k.width, 5};
                  EXPECT_EQ(c.DrawText(k.text, r, k.format), k.bottom - 4);
                  EXPECT_EQ(r, (TRect{3, 4, k.right, k.bottom})) << QString::fromStdU16String(k.text).toStdString();
                }
              }).isEmpty());  // measuring draws nothing

  // Drawn lines align in the rectangle and are clipped to it.
  const struct {
    unsigned format;
    int left, right;
  } aligned[] = {{DT_LEFT, 0, 20}, {DT_CENTER, 19, 41}, {DT_RIGHT, 39, 60}};
  for (const auto& k : aligned) {
    const QRect placed = Ink([&](TCanvas& c) {
      TRect r{0, 0, 60, 20};
      c.DrawText(u"II", r, k.format);
    });
    EXPECT_TRUE(placed.left() >= k.left && placed.right() < k.right) << k.format;
  }
  EXPECT_LT(Ink([](TCanvas& c) {
              TRect r{0, 0, 6, 30};
              c.DrawText(u"WWWW", r, DT_LEFT);
            }).right(),
            6);
}

TEST_F(Canvas, SystemColoursFollowTheApplicationsPalette) {
  const QPalette saved = QApplication::palette();
  QPalette p = saved;
  p.setColor(QPalette::All, QPalette::Button, QColor(1, 2, 3));
  p.setColor(QPalette::All, QPalette::Highlight, QColor(10, 20, 30));
  QApplication::setPalette(p);
  EXPECT_EQ(ColorToRGB(clBtnFace), RGB(1, 2, 3));
  EXPECT_EQ(ToQColor(clHighlight), QColor(10, 20, 30));
  EXPECT_EQ(ColorToRGB(clSystemColor + 25), clBlack);   // a number the system does not use
  EXPECT_EQ(ColorToRGB(clSystemColor + 200), clBlack);  // past the end
  EXPECT_EQ(ColorToRGB(0x00A7FE00), 0x00A7FE00u);
  QApplication::setPalette(saved);
  EXPECT_EQ(ToQColor(clBtnFace), saved.color(QPalette::Active, QPalette::Button));
}

}  // namespace
