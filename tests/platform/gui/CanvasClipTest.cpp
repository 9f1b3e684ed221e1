// The canvas's clip region, polygons, ellipses and paths, drawn into images.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "platform/gui/Colors.h"
#include "platform/gui/Graphics.h"
#include "tests/platform/gui/PaintTest.h"

namespace {

constexpr QRgb White = qRgb(255, 255, 255), Red = qRgb(255, 0, 0), Blue = qRgb(0, 0, 255);

class CanvasClip : public PaintTest {
protected:
  CanvasClip() : PaintTest(40, 40) {}

  // The pixels of colour c, and their box.
  std::set<std::pair<int, int>> Pixels(QRgb c) const {
    return PixelsWhere([c](QRgb p) { return p == c; });
  }
  QRect Box(QRgb c) const {
    return BoxWhere([c](QRgb p) { return p == c; });
  }
  static void FillAll(TCanvas& c, TColor color = RGB(255, 0, 0)) {
    c.Brush = {color, bsSolid};
    c.FillRect({0, 0, 40, 40});
  }
};

TEST_F(CanvasClip, ClipKeepsDrawingInsideAndCombines) {
  const struct Case {
    const char* name;
    std::function<void(TCanvas&)> clip;
    QRect box;          // what shows
    int count;          // red pixels
  } cases[] = {
      {"rectangle", [](TCanvas& c) { c.IntersectClipRect({10, 12, 20, 25}); }, {10, 12, 10, 13}, 130},
      {"intersect narrows",
       [](TCanvas& c) {
         c.IntersectClipRect({0, 0, 30, 30});
         c.IntersectClipRect({20, 25, 50, 50});
       },
       {20, 25, 10, 5}, 50},
      {"disjoint: nothing",
       [](TCanvas& c) {
         c.IntersectClipRect({0, 0, 10, 10});
         c.IntersectClipRect({20, 20, 30, 30});
       },
       {}, 0},
      {"inverted rectangle: nothing", [](TCanvas& c) { c.IntersectClipRect({20, 20, 10, 10}); }, {}, 0},
      {"exclude without a clip cuts a hole", [](TCanvas& c) { c.ExcludeClipRect({10, 10, 20, 20}); },
       {0, 0, 40, 40}, 1600 - 100},
      {"exclude from a clip",
       [](TCanvas& c) {
         c.IntersectClipRect({0, 0, 20, 20});
         c.ExcludeClipRect({5, 0, 20, 20});
       },
       {0, 0, 5, 20}, 100},
      {"exclude a region",
       [](TCanvas& c) {
         c.IntersectClipRect({0, 0, 10, 10});
         c.ExcludeClipRegion(QRegion(0, 0, 10, 2) + QRegion(0, 8, 10, 2));
       },
       {0, 2, 10, 6}, 60},
      {"set then clear", [](TCanvas& c) {
         c.IntersectClipRect({0, 0, 2, 2});
         c.ClearClip();
       },
       {0, 0, 40, 40}, 1600},
      {"set a region",
       [](TCanvas& c) { c.SetClipRegion(QRegion(1, 1, 3, 3) + QRegion(30, 30, 2, 2)); },
       {1, 1, 31, 31}, 13},
  };
  for (const Case& k : cases) {
    Paint([&](TCanvas& c) {
      k.clip(c);
      FillAll(c);
    });
    EXPECT_EQ(Box(Red), k.box) << k.name;
    EXPECT_EQ(Pixels(Red).size(), static_cast<size_t>(k.count)) << k.name;
  }
}

TEST_F(CanvasClip, ExcludedRectangleKeepsItsRightAndBottomEdges) {
  Paint([](TCanvas& c) {
    c.ExcludeClipRect({10, 10, 20, 20});
    FillAll(c);
  });
  EXPECT_EQ(At(9, 15), Red);
  EXPECT_EQ(At(10, 15), White);
  EXPECT_EQ(At(19, 19), White);
  EXPECT_EQ(At(20, 15), Red);
  EXPECT_EQ(At(15, 20), Red);
}

TEST_F(CanvasClip, GetReportsTheClip) {
  image.fill(Qt::white);
  TCanvas c(&image);
  EXPECT_FALSE(c.HasClip());
  EXPECT_TRUE(c.ClipRegion().isEmpty());
  c.IntersectClipRect({1, 2, 5, 7});
  EXPECT_TRUE(c.HasClip());
  EXPECT_EQ(c.ClipRegion(), QRegion(1, 2, 4, 5));
  c.IntersectClipRect({10, 10, 20, 20});
  EXPECT_TRUE(c.HasClip());  // a clip that shows nothing is still a clip
  EXPECT_TRUE(c.ClipRegion().isEmpty());
  c.ClearClip();
  EXPECT_FALSE(c.HasClip());
  c.ExcludeClipRect({0, 0, 5, 5});
  EXPECT_TRUE(c.HasClip());
  EXPECT_FALSE(c.ClipRegion().contains(QPoint(4, 4)));
  EXPECT_TRUE(c.ClipRegion().contains(QPoint(5, 4)));
  EXPECT_TRUE(c.ClipRegion().contains(QPoint(-1000, 100000)));
}

TEST_F(CanvasClip, ClipOutlivesThePainterAndDrawText) {
  Paint([](TCanvas& c) {
    c.IntersectClipRect({0, 0, 10, 10});
    c.Release();  // the next drawing begins a new painter
    TRect r{0, 0, 40, 40};
    c.Brush.Style = bsClear;
    c.DrawText(u"x", r, DT_LEFT);  // its own clip must not replace the canvas's
    FillAll(c, RGB(0, 0, 255));
  });
  EXPECT_EQ(Box(Blue), QRect(0, 0, 10, 10));
}

TEST_F(CanvasClip, AHandedOverPainterKeepsItsClip) {
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    painter.setClipRect(QRect(5, 5, 10, 10));
    TCanvas c(painter);
    EXPECT_TRUE(c.HasClip());
    EXPECT_EQ(c.ClipRegion(), QRegion(5, 5, 10, 10));
    c.IntersectClipRect({0, 0, 8, 40});
    FillAll(c);
  }
  EXPECT_EQ(Box(Red), QRect(5, 5, 3, 10));
}

TEST_F(CanvasClip, TheVisibleRectIsTheDeviceThroughTheTransformNarrowedByTheClip) {
  struct Case {
    std::function<void(QPainter&)> setUp;
    TRect clip;  // empty: none
    TRect visible;
  } cases[] = {
      {[](QPainter&) {}, {}, {0, 0, 40, 40}},
      {[](QPainter&) {}, {-10, 5, 20, 90}, {0, 5, 20, 40}},
      {[](QPainter& p) { p.translate(10, -20); }, {}, {-10, 20, 30, 60}},
      {[](QPainter& p) { p.scale(2, 4); }, {1, 1, 5, 5}, {1, 1, 5, 5}},
      {[](QPainter& p) { p.setWindow(0, 0, 400, 80); }, {}, {0, 0, 400, 80}},
  };
  for (const Case& c : cases) {
    QPainter painter(&image);
    c.setUp(painter);
    TCanvas canvas(painter);
    if (c.clip.Width() > 0) canvas.IntersectClipRect(c.clip);
    const TRect v = canvas.VisibleRect();
    EXPECT_EQ((std::vector<int>{v.Left, v.Top, v.Right, v.Bottom}),
              (std::vector<int>{c.visible.Left, c.visible.Top, c.visible.Right, c.visible.Bottom}));
  }
}

TEST_F(CanvasClip, ClipCutsEveryKindOfDrawing) {
  const std::function<void(TCanvas&)> draws[] = {
      [](TCanvas& c) {
        const TPoint p[] = {{0, 0}, {40, 0}, {40, 40}, {0, 40}};
        c.Polygon(p);
      },
      [](TCanvas& c) { c.Ellipse(0, 0, 40, 40); },
      [](TCanvas& c) {
        QPainterPath path;
        path.addRect(0, 0, 40, 40);
        c.FillPath(path);
      },
      [](TCanvas& c) {
        QImage red(40, 40, QImage::Format_RGB32);
        red.fill(Qt::red);
        c.DrawImage(0, 0, red);
      },
      [](TCanvas& c) {
        c.Pen.Width = 3;
        c.MoveTo(0, 15);
        c.LineTo(40, 15);
      },
  };
  int i = 0;
  for (const auto& draw : draws) {
    Paint([&](TCanvas& c) {
      c.Brush = {RGB(255, 0, 0), bsSolid};
      c.Pen = {RGB(255, 0, 0), 1, psSolid};
      c.IntersectClipRect({12, 12, 18, 18});
      draw(c);
    });
    const QRect box = Box(Red);
    EXPECT_FALSE(box.isEmpty()) << i;
    EXPECT_TRUE(QRect(12, 12, 6, 6).contains(box)) << i;
    ++i;
  }
}

TEST_F(CanvasClip, PolygonFillModes) {
  // A five-pointed star drawn in one stroke: its middle is wound round twice.
  const TPoint star[] = {{20, 2}, {31, 36}, {2, 14}, {38, 14}, {9, 36}};
  for (TPolyFillMode mode : {pfAlternate, pfWinding}) {
    Paint([&](TCanvas& c) {
      c.Brush = {RGB(255, 0, 0), bsSolid};
      c.Pen.Style = psClear;
      c.Polygon(star, mode);
    });
    EXPECT_EQ(At(20, 22), mode == pfWinding ? Red : White) << mode;  // the middle
    EXPECT_EQ(At(20, 8), Red) << mode;                               // a point
    EXPECT_EQ(At(2, 36), White) << mode;
  }
}

TEST_F(CanvasClip, PolygonFillExcludesRightAndBottomAndThePenOutlinesThePoints) {
  const TPoint square[] = {{5, 5}, {15, 5}, {15, 15}, {5, 15}};
  Paint([&](TCanvas& c) {
    c.Brush = {RGB(255, 0, 0), bsSolid};
    c.Pen.Style = psClear;
    c.Polygon(square);
  });
  EXPECT_EQ(Box(Red), QRect(5, 5, 10, 10));
  Paint([&](TCanvas& c) {
    c.Brush = {RGB(255, 0, 0), bsSolid};
    c.Pen = {RGB(0, 0, 255), 1, psSolid};
    c.PenPos = {1, 1};
    c.Polygon(square);
    EXPECT_EQ(c.PenPos, (TPoint{1, 1}));  // a polygon leaves the pen where it was
  });
  EXPECT_EQ(Box(Blue), QRect(5, 5, 11, 11));
  EXPECT_EQ(Pixels(Blue).size(), 40u);
  EXPECT_EQ(Box(Red), QRect(6, 6, 9, 9));
  // A clear brush leaves the inside alone.
  Paint([&](TCanvas& c) {
    c.Brush.Style = bsClear;
    c.Pen = {RGB(0, 0, 255), 1, psSolid};
    c.Polygon(square);
  });
  EXPECT_EQ(At(10, 10), White);
  EXPECT_EQ(Pixels(Blue).size(), 40u);
}

TEST_F(CanvasClip, EllipsesByPixelCentres) {
  // A 5 x 5 disc: round corners, the right and bottom edges of its rectangle left out.
  Paint([](TCanvas& c) {
    c.Brush = {RGB(255, 0, 0), bsSolid};
    c.Pen = {RGB(255, 0, 0), 1, psSolid};
    c.Ellipse(10, 20, 15, 25);
  });
  EXPECT_EQ(Box(Red), QRect(10, 20, 5, 5));
  EXPECT_EQ(At(10, 20), White);
  EXPECT_EQ(At(14, 24), White);
  EXPECT_EQ(At(12, 22), Red);
  EXPECT_EQ(Pixels(Red).size(), 21u);

  // An outline of the pen's width around the brush's inside; a clear brush leaves it hollow.
  for (int width : {1, 3}) {
    Paint([&](TCanvas& c) {
      c.Brush = {RGB(255, 0, 0), bsSolid};
      c.Pen = {RGB(0, 0, 255), width, psSolid};
      c.Ellipse(0, 0, 30, 20);
    });
    EXPECT_EQ(Box(Blue), QRect(0, 0, 30, 20)) << width;
    for (int i = 0; i < width; ++i) EXPECT_EQ(At(i, 10), Blue) << width << " " << i;
    EXPECT_EQ(At(width, 10), Red) << width;
    EXPECT_EQ(At(15, 10), Red) << width;
  }
  Paint([](TCanvas& c) {
    c.Brush.Style = bsClear;
    c.Pen = {RGB(0, 0, 255), 1, psSolid};
    c.Ellipse(7, 7, 0, 0);  // corners in either order
  });
  EXPECT_EQ(Box(Blue), QRect(0, 0, 7, 7));
  EXPECT_EQ(At(3, 3), White);
  // Nothing for an empty rectangle.
  Paint([](TCanvas& c) {
    c.Brush = {RGB(255, 0, 0), bsSolid};
    c.Ellipse(5, 5, 5, 20);
  });
  EXPECT_TRUE(Pixels(Red).empty());
}

TEST_F(CanvasClip, PathsWithTheCanvasPenAndBrush) {
  QPainterPath corner;  // an L round the top-left corner of 10..30
  corner.moveTo(10, 30);
  corner.lineTo(10, 10);
  corner.lineTo(30, 10);
  const struct Case {
    TPenJoin join;
    bool cornerFilled;  // the outermost pixel of the corner
  } joins[] = {{pjMiter, true}, {pjBevel, false}, {pjRound, false}};
  for (const Case& k : joins) {
    Paint([&](TCanvas& c) {
      c.Pen = {RGB(255, 0, 0), 8, psSolid, k.join, pcFlat};
      c.StrokePath(corner);
    });
    EXPECT_EQ(At(6, 6) == Red, k.cornerFilled) << k.join;
    EXPECT_EQ(At(10, 20), Red) << k.join;
    EXPECT_EQ(At(16, 16), White) << k.join;
  }
  // Flat ends stop at the path's end; square ones go on by half the width.
  for (TPenEndCap cap : {pcFlat, pcSquare}) {
    Paint([&](TCanvas& c) {
      c.Pen = {RGB(255, 0, 0), 8, psSolid, pjMiter, cap};
      c.StrokePath(corner);
    });
    EXPECT_EQ(At(32, 10) == Red, cap == pcSquare) << cap;
  }
  // Dashes leave gaps along the line; a clear pen draws nothing.
  QPainterPath line;
  line.moveTo(0, 20);
  line.lineTo(40, 20);
  for (TPenStyle style : {psDash, psDot, psSolid, psClear}) {
    Paint([&](TCanvas& c) {
      c.Pen = {RGB(255, 0, 0), 2, style, pjMiter, pcFlat};
      c.StrokePath(line);
    });
    int red = 0;
    for (int x = 0; x < 40; ++x) red += At(x, 20) == Red;
    if (style == psClear)
      EXPECT_EQ(red, 0);
    else if (style == psSolid)
      EXPECT_EQ(red, 40);
    else
      EXPECT_TRUE(red > 5 && red < 35) << style << " " << red;
  }
  // Filling follows the path's fill rule, with the brush; a clear brush fills nothing.
  QPainterPath ring;
  ring.addRect(5, 5, 30, 30);
  ring.addRect(15, 15, 10, 10);
  for (TBrushStyle brush : {bsSolid, bsClear}) {
    Paint([&](TCanvas& c) {
      c.Brush = {RGB(0, 0, 255), brush};
      c.FillPath(ring);
    });
    EXPECT_EQ(At(20, 20), White);
    EXPECT_EQ(At(8, 8), brush == bsSolid ? Blue : White);
    EXPECT_EQ(At(35, 20), White);  // right edge left out
  }
}

}  // namespace
