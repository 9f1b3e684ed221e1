#include <gtest/gtest.h>

#include <QImage>

#include "htmlview/text/HtmlGlobals.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/support/PeakMemory.h"

using namespace htmlview;

namespace {

TEST(Globals, WideTextRectClipsAndFills) {
  EnsureGuiApp();
  QImage image(60, 20, QImage::Format_RGB32);
  image.fill(Qt::white);
  TFixedMeasurer fixed(8, 12);
  {
    TCanvas canvas(&image);
    canvas.Measurer = &fixed;
    canvas.Font.Name = u"DejaVu Sans";
    canvas.Font.Size = 14;
    canvas.Font.Color = clBlack;
    canvas.Brush.Color = RGB(255, 0, 0);
    WideTextRect(canvas, {10, 2, 30, 18}, 12, 2, u"WWWWWWWWWW");
    canvas.Release();
  }
  int dark = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) {
      const QColor c = image.pixelColor(x, y);
      const bool inside = x >= 10 && x < 30 && y >= 2 && y < 18;
      if (!inside) {
        EXPECT_EQ(c, QColor(Qt::white)) << x << "," << y;
      }
      if (inside && c.red() < 100) ++dark;
    }
  EXPECT_GT(dark, 0);
  EXPECT_EQ(image.pixelColor(10, 17), QColor(255, 0, 0));
}

TEST(Globals, WideTextRectOnATallRectCostsWhatIsPainted) {
  // Lines of a long list into one tall rectangle: nothing the size of the rectangle is made.
  EnsureGuiApp();
  QImage image(300, 400, QImage::Format_RGB32);
  image.fill(Qt::white);
  TFixedMeasurer fixed(8, 12);
  const auto growth = PeakGrowthMB([&] {
    TCanvas canvas(&image);
    canvas.Measurer = &fixed;
    canvas.Brush.Style = bsClear;
    for (int line = 0; line < 20; ++line) WideTextRect(canvas, {0, 0, 300, 200000}, 2, line * 14, u"line of a list");
    canvas.Release();
  });
  if (!growth) GTEST_SKIP() << "the peak memory of the process cannot be read here";
  EXPECT_LT(*growth, 64) << "MB";
  int dark = 0;
  for (int y = 0; y < 20 * 14; ++y)
    for (int x = 0; x < 120; ++x) dark += qGray(image.pixel(x, y)) < 128;
  EXPECT_GT(dark, 0);
}

}  // namespace
