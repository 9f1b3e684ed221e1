#include <gtest/gtest.h>
#include <QImage>
#include <vector>

#include "htmlview/images/GdiPlus.h"
#include "platform/core/MemoryStream.h"
#include "platform/gui/Graphics.h"
#include "tests/htmlview/ViewerSupport.h"

using namespace htmlview;

namespace {

std::vector<uint8_t> Encoded(const QImage& image, const char* format) {
  const QByteArray data = ImageBytes(image, format);
  return std::vector<uint8_t>(data.begin(), data.end());
}

std::string LoadFailure(const std::vector<uint8_t>& bytes) {
  try {
    TMemoryStream stream(bytes);
    TGpImage image(stream);
  } catch (const EGDIPlus& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(GdiPlus, StartAndCloseAreCounted) {
  ASSERT_FALSE(GDIPlusActive);
  InitializeGDIPlus();
  InitializeGDIPlus();
  EXPECT_TRUE(GDIPlusActive);
  CloseGDIPlus();
  EXPECT_TRUE(GDIPlusActive);
  CloseGDIPlus();
  EXPECT_FALSE(GDIPlusActive);
  CloseGDIPlus();  // one close too many leaves it closed
  InitializeGDIPlus();
  EXPECT_TRUE(GDIPlusActive);
  CloseGDIPlus();
  EXPECT_FALSE(GDIPlusActive);
}

TEST(GdiPlus, PngKeepsAlphaAndBmpLoads) {
  QImage source(3, 2, QImage::Format_ARGB32);
  source.fill(qRgba(10, 200, 30, 255));
  source.setPixel(1, 1, qRgba(0, 0, 0, 0));
  TMemoryStream png(Encoded(source, "PNG"));
  TGpImage a(png);
  EXPECT_EQ(a.Width(), 3);
  EXPECT_EQ(a.Height(), 2);
  EXPECT_EQ(qAlpha(a.Image().pixel(1, 1)), 0);
  EXPECT_EQ(a.Image().pixel(0, 0), qRgba(10, 200, 30, 255));
  // Transparent pixels turn white on the bitmap.
  auto bitmap = a.GetTBitmap();
  EXPECT_EQ(bitmap->Image().pixel(1, 1), qRgb(255, 255, 255));
  EXPECT_EQ(bitmap->Image().pixel(2, 1), qRgb(10, 200, 30));
  TMemoryStream bmp(Encoded(source.convertToFormat(QImage::Format_RGB888), "BMP"));
  TGpImage b(bmp);
  EXPECT_EQ(b.Image().pixel(2, 0), qRgb(10, 200, 30));
}

TEST(GdiPlus, UnreadableData) {
  QImage source(4, 4, QImage::Format_RGB32);
  source.fill(Qt::red);
  auto png = Encoded(source, "PNG");
  auto jpeg = Encoded(source, "JPEG");
  struct Case {
    std::vector<uint8_t> bytes;
    const char* text;
  } cases[] = {
      {{}, "Can't load image stream. GDI error 13"},
      {{'G', 'I', 'F', '8', '9', 'a'}, "Can't load image stream. GDI error 13"},
      {jpeg, "Can't load image stream. GDI error 13"},
      {std::vector<uint8_t>(png.begin(), png.begin() + 20), "Can't load image stream. GDI error 2"},
      {{'B', 'M', 1, 2, 3}, "Can't load image stream. GDI error 2"},
  };
  for (const auto& c : cases) EXPECT_EQ(LoadFailure(c.bytes), c.text) << c.bytes.size();
}

TEST(GdiPlus, BitmapsAndGraphics) {
  for (auto [w, h] : {std::pair{0, 5}, std::pair{5, -1}}) {
    try {
      TGpBitmap bitmap(w, h);
      ADD_FAILURE() << w << "x" << h;
    } catch (const EGDIPlus& e) {
      EXPECT_EQ(e.Status, 3);
      EXPECT_EQ(std::string(e.what()), "Can't create bitmap of size " + std::to_string(w) + " x " + std::to_string(h) + ". GDI error 3");
    }
  }
  TGpBitmap target(8, 8);
  {
    TGpGraphics g(target);
    g.Clear(qRgba(0, 0, 255, 255));
    g.ScaleTransform(2, 2);
    QImage dot(1, 1, QImage::Format_ARGB32);
    dot.fill(Qt::red);
    g.DrawImagePointRect(TGpImage(dot), 1, 1, 0, 0, 1, 1);
  }
  EXPECT_EQ(target.Image().pixel(2, 2), qRgb(255, 0, 0));
  EXPECT_EQ(target.Image().pixel(3, 3), qRgb(255, 0, 0));
  EXPECT_EQ(target.Image().pixel(1, 1), qRgb(0, 0, 255));
  EXPECT_EQ(target.Image().pixel(4, 4), qRgb(0, 0, 255));
}

TEST(GdiPlus, SmallImageEnlargedKeepsItsEdges) {
  // Four quadrants of different colours, 8x8, drawn at 64x64 over white: nothing of the
  // background blends in at the edges.
  QImage small(8, 8, QImage::Format_ARGB32);
  const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(200, 200, 0)};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) small.setPixel(x, y, colours[(y / 4) * 2 + x / 4]);
  QImage target(80, 80, QImage::Format_ARGB32);
  target.fill(Qt::white);
  {
    TGpGraphics g(&target);
    g.DrawImage(TGpImage(small), 8, 8, 64, 64);
  }
  for (int i = 8; i < 72; ++i) {
    if (i >= 32 && i < 48) continue;  // where the quadrants blend
    const int q = i < 40 ? 0 : 1;
    EXPECT_EQ(target.pixel(i, 8), colours[q]) << i;
    EXPECT_EQ(target.pixel(i, 71), colours[2 + q]) << i;
    EXPECT_EQ(target.pixel(8, i), colours[q * 2]) << i;
    EXPECT_EQ(target.pixel(71, i), colours[q * 2 + 1]) << i;
  }
  EXPECT_EQ(target.pixel(7, 7), qRgb(255, 255, 255));
  EXPECT_EQ(target.pixel(72, 72), qRgb(255, 255, 255));
}
