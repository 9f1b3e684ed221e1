#include <gtest/gtest.h>

#include <QImage>

#include "htmlview/layout/HtmlBorder.h"
#include "htmlview/layout/HtmlShared.h"
#include "htmlview/style/StyleValues.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/htmlview/LayoutPieces.h"

using namespace htmlview;

namespace {

constexpr TColor Red = RGB(255, 0, 0);
constexpr TColor Blue = RGB(0, 0, 255);

TBorderColors All(TColor c) { return {c, c, c, c}; }
TBorderStyles All(int s) { return {s, s, s, s}; }

QImage Draw(const TRect& outer, const TRect& inner, const TBorderColors& c, const TBorderStyles& s,
            TColor bg = clNone, int size = 60) {
  EnsureGuiApp();
  QImage image(size, size, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    TCanvas canvas(&image);
    DrawBorder(canvas, outer, inner, c, s, bg, false);
  }
  return image;
}

TEST(Border, ZeroWidthsDrawNothing) {
  EXPECT_TRUE(BorderPlan({10, 10, 50, 50}, {10, 10, 50, 50}, All(Red), All(bssSolid), Blue, false).empty());
  const QImage image = Draw({10, 10, 50, 50}, {10, 10, 50, 50}, All(Red), All(bssDouble), Blue);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 60; ++x) ASSERT_EQ(Px(image, x, y), clWhite);
}

TEST(Border, SolidRingExcludesRightAndBottomEdges) {
  const QImage image = Draw({10, 10, 30, 30}, {12, 13, 27, 28}, {Red, Red, Red, Red}, All(bssSolid));
  struct Probe {
    int x, y;
    TColor c;
  };
  for (const Probe& p : {Probe{10, 10, Red}, Probe{11, 20, Red}, Probe{12, 20, clWhite}, Probe{20, 12, Red},
                         Probe{20, 13, clWhite}, Probe{29, 29, Red}, Probe{27, 20, Red}, Probe{26, 20, clWhite},
                         Probe{20, 28, Red}, Probe{30, 20, clWhite}, Probe{20, 30, clWhite}, Probe{9, 9, clWhite}})
    EXPECT_EQ(Px(image, p.x, p.y), p.c) << p.x << "," << p.y;
}

TEST(Border, Shades) {
  EXPECT_EQ(DarkerShade(RGB(200, 100, 40)), RGB(150, 75, 30));
  EXPECT_EQ(LighterShade(RGB(200, 100, 40)), RGB(230, 115, 46));
  EXPECT_EQ(LighterShade(RGB(240, 0, 10)), RGB(255, 0, 12));
  EXPECT_EQ(LighterShade(clBlack), clBlack);
  EXPECT_EQ(DarkerShade(clBlack), clBlack);
}

TEST(Border, InsetOutsetGrooveRidge) {
  const TColor c = RGB(200, 100, 40), dark = DarkerShade(c), light = LighterShade(c);
  struct Case {
    int style;
    TColor leftOuter, leftInner, rightOuter, rightInner, topOuter, bottomOuter;
  };
  for (const Case& k : {Case{bssInset, dark, dark, light, light, dark, light},
                        Case{bssOutset, light, light, dark, dark, light, dark},
                        Case{bssGroove, dark, light, light, dark, dark, light},
                        Case{bssRidge, light, dark, dark, light, light, dark}}) {
    const QImage image = Draw({10, 10, 50, 50}, {14, 14, 46, 46}, All(c), All(k.style));
    EXPECT_EQ(Px(image, 10, 30), k.leftOuter) << k.style;
    EXPECT_EQ(Px(image, 13, 30), k.leftInner) << k.style;
    EXPECT_EQ(Px(image, 49, 30), k.rightOuter) << k.style;
    EXPECT_EQ(Px(image, 46, 30), k.rightInner) << k.style;
    EXPECT_EQ(Px(image, 30, 10), k.topOuter) << k.style;
    EXPECT_EQ(Px(image, 30, 49), k.bottomOuter) << k.style;
    EXPECT_EQ(Px(image, 30, 30), clWhite) << k.style;
  }
}

TEST(Border, DoubleSplitsInThirds) {
  struct Case {
    int width;
    std::vector<TColor> columns;  // from the outer edge inwards
  };
  for (const Case& k : {Case{5, {Red, Red, Blue, Red, Red}}, Case{3, {Red, Blue, Red}},
                        Case{4, {Red, Blue, Blue, Red}}, Case{1, {Blue}}}) {
    const QImage image = Draw({10, 10, 50, 50}, {10 + k.width, 10 + k.width, 50 - k.width, 50 - k.width}, All(Red),
                              All(bssDouble), Blue);
    for (size_t i = 0; i < k.columns.size(); ++i) {
      EXPECT_EQ(Px(image, 10 + static_cast<int>(i), 30), k.columns[i]) << k.width << " left " << i;
      EXPECT_EQ(Px(image, 49 - static_cast<int>(i), 30), k.columns[i]) << k.width << " right " << i;
      EXPECT_EQ(Px(image, 30, 10 + static_cast<int>(i)), k.columns[i]) << k.width << " top " << i;
    }
    EXPECT_EQ(Px(image, 30, 30), clWhite);
  }
}

TEST(Border, DashedOfOneColourAndWidthIsOneClosedPath) {
  const std::vector<TBorderOp> ops =
      BorderPlan({10, 10, 50, 50}, {14, 14, 46, 46}, All(Red), All(bssDashed), clNone, false);
  ASSERT_EQ(ops.size(), 1u);
  const TBorderOp& op = ops[0];
  EXPECT_EQ(op.Kind, TBorderOp::Stroke);
  EXPECT_EQ(op.Pen.style(), Qt::DashLine);
  EXPECT_EQ(op.Pen.joinStyle(), Qt::MiterJoin);
  EXPECT_EQ(op.Pen.capStyle(), Qt::SquareCap);
  EXPECT_EQ(op.Pen.width(), 4);
  // Round the middle of the ring and back to its start.
  const QPainterPath& path = op.Path;
  ASSERT_GE(path.elementCount(), 5);
  EXPECT_EQ(QPointF(path.elementAt(0)), QPointF(12, 48));
  EXPECT_EQ(QPointF(path.elementAt(1)), QPointF(12, 12));
  EXPECT_EQ(QPointF(path.elementAt(2)), QPointF(48, 12));
  EXPECT_EQ(QPointF(path.elementAt(3)), QPointF(48, 48));
  EXPECT_EQ(QPointF(path.elementAt(path.elementCount() - 1)), QPointF(12, 48));
  for (int i = 1; i < path.elementCount(); ++i) EXPECT_FALSE(path.elementAt(i).isMoveTo());
}

TEST(Border, UnlikeSidesMakeSeparatePaths) {
  // Dashed top and right alike, a dotted bottom, a solid left.
  const std::vector<TBorderOp> ops =
      BorderPlan({10, 10, 50, 50}, {12, 12, 48, 48}, All(Red), {bssSolid, bssDashed, bssDashed, bssDotted}, clNone,
                 false);
  int strokes = 0, quads = 0;
  for (const TBorderOp& op : ops) {
    if (op.Kind == TBorderOp::Stroke) {
      ++strokes;
      // Top and right make one open path; the bottom one of its own.
      EXPECT_EQ(op.Path.elementCount(), op.Pen.style() == Qt::DashLine ? 3 : 2);
    }
    if (op.Kind == TBorderOp::FillQuad) ++quads;
  }
  EXPECT_EQ(strokes, 2);
  EXPECT_EQ(quads, 1);
}

TEST(Border, DashedAndDottedShowBothColoursAlongTheRing) {
  for (int style : {bssDashed, bssDotted}) {
    const QImage image = Draw({0, 0, 60, 60}, {3, 3, 57, 57}, All(Red), All(style), Blue);
    for (int side = 0; side < 4; ++side) {
      int red = 0, blue = 0, other = 0;
      for (int t = 6; t < 54; ++t) {
        const int x = side == 0 ? 1 : side == 2 ? 58 : t;
        const int y = side == 1 ? 1 : side == 3 ? 58 : t;
        const TColor c = Px(image, x, y);
        (c == Red ? red : c == Blue ? blue : other)++;
      }
      EXPECT_GT(red, 0) << style << " side " << side;
      EXPECT_GT(blue, 0) << style << " side " << side;
      EXPECT_EQ(other, 0) << style << " side " << side;
    }
    EXPECT_EQ(Px(image, 30, 30), clWhite);
    // Without a background colour the gaps show the canvas.
    const QImage bare = Draw({0, 0, 60, 60}, {3, 3, 57, 57}, All(Red), All(style), clNone);
    int white = 0;
    for (int t = 6; t < 54; ++t) white += Px(bare, t, 1) == clWhite;
    EXPECT_GT(white, 0);
  }
}

TEST(Border, FarOffRectanglesAreLimited) {
  const std::vector<TBorderOp> ops =
      BorderPlan({0, -1000, 100, 10000}, {5, -995, 95, 9995}, All(Red), All(bssSolid), clNone, false);
  ASSERT_EQ(ops.size(), 2u);  // the top and bottom sides are cut off
  for (const TBorderOp& op : ops)
    for (const TPoint& p : op.Quad) {
      EXPECT_GE(p.Y, -200);
      EXPECT_LE(p.Y, 5000);
    }
}

TEST(Border, ClipAndRingBoundTheDrawing) {
  EnsureGuiApp();
  // A wide dashed left side beside a thin top: its square end would reach above the outer
  // rectangle, its stroke into the box.
  const TBorderColors colors = All(Red);
  const TBorderStyles styles = {bssDashed, bssSolid, bssSolid, bssSolid};
  QImage image(60, 60, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    TCanvas canvas(&image);
    DrawBorder(canvas, {10, 10, 50, 50}, {20, 12, 48, 48}, colors, styles, Blue, false);
    EXPECT_FALSE(canvas.HasClip());  // the ring's clip is gone again
  }
  for (int x = 0; x < 60; ++x)
    for (int y : {0, 9}) ASSERT_EQ(Px(image, x, y), clWhite) << x << "," << y;
  for (int y = 12; y < 48; ++y) ASSERT_EQ(Px(image, 20, y), clWhite) << y;
  EXPECT_EQ(Px(image, 10, 11), Red);
  EXPECT_EQ(Px(image, 30, 10), Red);

  // A clip in force stays in force: here a gap cut out of the top side, as a fieldset's legend.
  image.fill(Qt::white);
  {
    TCanvas canvas(&image);
    canvas.ExcludeClipRect({20, 0, 35, 15});
    DrawBorder(canvas, {10, 10, 50, 50}, {12, 12, 48, 48}, All(Red), All(bssSolid), clNone, false);
    EXPECT_TRUE(canvas.HasClip());
    EXPECT_FALSE(canvas.ClipRegion().contains(QPoint(25, 10)));
  }
  ExpectPixels(image, {{19, 10, Red}, {20, 10, clWhite}, {34, 11, clWhite}, {35, 10, Red}, {10, 30, Red}});
}

// The ring drawn the general way: every step of the plan inside a clip of exactly the ring.
QImage DrawInRing(const TRect& outer, const TRect& inner, const TBorderColors& c, const TBorderStyles& s, TColor bg) {
  EnsureGuiApp();
  QImage image(60, 60, QImage::Format_RGB32);
  image.fill(Qt::white);
  TCanvas canvas(&image);
  canvas.IntersectClipRect(outer);
  canvas.ExcludeClipRect(inner);
  for (const TBorderOp& op : BorderPlan(outer, inner, c, s, bg, false)) {
    if (op.Kind == TBorderOp::FillRect) {
      FillRectColor(canvas, op.Rect, op.Color);
    } else if (op.Kind == TBorderOp::FillQuad) {
      const TPoint quad[4] = {op.Quad[0], op.Quad[1], op.Quad[2], op.Quad[3]};
      FillQuad(canvas, quad, op.Color);
    }
  }
  canvas.Release();
  return image;
}

TEST(Border, FilledSidesLandOnTheSamePixelsAsInsideARingClip) {
  // Sides of every filled style, unlike colours on every side so that each corner's split shows,
  // over widths from none to wide and uneven.
  const TBorderColors colors = {Red, Blue, RGB(0, 160, 0), RGB(200, 100, 40)};
  const int widths[][4] = {{1, 1, 1, 1}, {2, 2, 2, 2}, {0, 1, 0, 1}, {1, 0, 3, 0}, {3, 1, 2, 5},
                           {7, 2, 1, 4}, {5, 5, 5, 5}, {9, 0, 9, 0}, {1, 6, 0, 2}, {4, 3, 6, 8},
                           {-3, 2, 1, -2}, {2, -4, 3, 1}};  // an inner box past the outer one too
  const int styles[] = {bssSolid, bssInset, bssOutset, bssGroove, bssRidge, bssDouble};
  for (const auto& w : widths)
    for (const int style : styles)
      for (const TColor bg : {clNone, RGB(250, 240, 200)}) {
        const TRect outer{8, 9, 49, 47};
        const TRect inner{outer.Left + w[0], outer.Top + w[1], outer.Right - w[2], outer.Bottom - w[3]};
        const TBorderStyles s = {style, style, style, bssSolid};
        EXPECT_TRUE(Draw(outer, inner, colors, s, bg) == DrawInRing(outer, inner, colors, s, bg))
            << "widths " << w[0] << " " << w[1] << " " << w[2] << " " << w[3] << ", style " << style;
      }
}

TEST(Border, NoneSidesAndSystemColours) {
  const QImage image =
      Draw({10, 10, 50, 50}, {12, 12, 48, 48}, {clBlack, clBtnShadow, Red, Red}, {bssNone, bssSolid, bssNone, bssNone});
  ExpectPixels(image, {{10, 30, clWhite}, {30, 10, ColorToRGB(clBtnShadow)}, {49, 30, clWhite}});
}

}  // namespace
