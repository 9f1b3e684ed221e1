#include <gtest/gtest.h>

#include <QImage>
#include <functional>
#include <set>
#include <tuple>
#include <string>

#include "gif/GifErrors.h"
#include "gif/gui/GifReduce.h"
#include "tests/gif/GifTestSupport.h"

using namespace gif;
using namespace gif::test;

namespace {

std::unique_ptr<TBitmap> Filled(int width, int height, QRgb colour) {
  auto bitmap = std::make_unique<TBitmap>(width, height);
  bitmap->Image().fill(QColor(colour));
  return bitmap;
}

// Every pixel a different mixture, so that an octree has more colours than it may keep.
std::unique_ptr<TBitmap> Gradient(int width, int height) {
  auto bitmap = std::make_unique<TBitmap>(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      bitmap->Image().setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, (x * y) % 256));
  return bitmap;
}

double WhiteShare(const QImage& image) {
  int white = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) white += image.pixelIndex(x, y) == 1;
  return static_cast<double>(white) / (image.width() * image.height());
}

}  // namespace

TEST(GifReduce, FixedPalettesMapColoursToTheirEntries) {
  struct Case {
    int method;
    QRgb colour;
    int index;
    int entries;
  } cases[] = {
      {4, qRgb(127, 127, 127), 0, 2},   {4, qRgb(128, 128, 128), 1, 2},    {5, qRgb(255, 255, 255), 255, 256},
      {5, qRgb(0, 0, 0), 0, 256},       {5, qRgb(255, 0, 0), 76, 256},     {3, qRgb(100, 100, 100), 1, 4},
      {3, qRgb(170, 170, 170), 2, 4},   {6, qRgb(255, 255, 255), 215, 216}, {6, qRgb(51, 102, 153), 51, 216},
      {2, qRgb(51, 102, 153), 71, 236}, {2, qRgb(255, 251, 240), 10, 236}, {1, qRgb(200, 0, 0), 13, 20},
      {1, qRgb(166, 202, 240), 9, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "method " << c.method << " colour " << std::hex << c.colour);
    auto source = Filled(3, 2, c.colour);
    for (int mode : {0, 1, 2, 6}) {
      auto result = ReduceColors(*source, c.method, mode, 0, nullptr);
      ASSERT_EQ(result->Image().format(), QImage::Format_Indexed8);
      EXPECT_EQ(result->Image().colorTable().size(), c.entries);
      // The first pixel has no error to take on yet.
      EXPECT_EQ(result->Image().pixelIndex(0, 0), c.index) << "mode " << mode;
      if (mode == 0) {
        EXPECT_EQ(result->Image().pixelIndex(2, 1), c.index);
      }
    }
  }
}

TEST(GifReduce, ReductionBitsSizeTheMadePaletteAndAreChecked) {
  auto gradient = Gradient(64, 64);
  for (int bits = 1; bits <= 8; ++bits) {
    auto result = ReduceColors(*gradient, 7, 1, bits, nullptr);
    EXPECT_EQ(result->Image().colorTable().size(), 1 << bits) << bits;
  }
  for (int bits : {0, 9, 32, -1}) {
    const std::string error = ErrorOf([&] { ReduceColors(*gradient, 7, 0, bits, nullptr); });
    EXPECT_NE(error.find(std::to_string(bits)), std::string::npos) << bits << ": " << error;
  }
  // Only the made palette looks at the bits.
  EXPECT_EQ(ReduceColors(*gradient, 5, 0, 32, nullptr)->Image().colorTable().size(), 256);
}

TEST(GifReduce, MadePalettesKeepTheStockColoursAndTheirOwnExactly) {
  auto source = Filled(4, 4, qRgb(10, 20, 30));
  source->Image().setPixel(1, 1, qRgb(200, 100, 50));
  const TPalette made = CreateOptimizedPaletteForSingleBitmap(*source, 8, 8, false);
  ASSERT_EQ(made.size(), 8u);
  const std::set<std::tuple<int, int, int>> colours = {{made[0].peRed, made[0].peGreen, made[0].peBlue},
                                                       {made[1].peRed, made[1].peGreen, made[1].peBlue}};
  EXPECT_EQ(colours, (std::set<std::tuple<int, int, int>>{{10, 20, 30}, {200, 100, 50}}));
  EXPECT_EQ(made[0].peFlags, 0);
  EXPECT_EQ(made[7], (TPaletteEntry{0, 0, 0, PC_NOCOLLAPSE}));

  auto result = ReduceColors(*source, 8, 0, 0, nullptr);
  const QList<QRgb> table = result->Image().colorTable();
  ASSERT_EQ(table.size(), 256);
  EXPECT_EQ(table[9], qRgb(166, 202, 240));
  EXPECT_EQ(table[246], qRgb(255, 251, 240));
  EXPECT_EQ(table[255], qRgb(255, 255, 255));
  EXPECT_EQ(table[result->Image().pixelIndex(0, 0)], qRgb(10, 20, 30));
  EXPECT_EQ(table[result->Image().pixelIndex(1, 1)], qRgb(200, 100, 50));
}

TEST(GifReduce, MethodNoneCopiesAndUnknownChoicesGiveNothing) {
  auto source = Gradient(5, 3);
  for (int mode : {0, 6, 7, 99}) {
    auto copy = ReduceColors(*source, 0, mode, 0, nullptr);
    EXPECT_EQ(copy->Image().format(), QImage::Format_BGR888);
    EXPECT_EQ(copy->Image().convertToFormat(QImage::Format_RGB32), source->Image().convertToFormat(QImage::Format_RGB32));
  }
  const TPalette three = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 0, 255, 0}};
  const TPalette none;
  struct Case {
    int method, mode;
    const TPalette* palette;
    bool empty;
  } cases[] = {{10, 0, nullptr, true}, {-1, 0, nullptr, true}, {4, 7, nullptr, true}, {4, -1, nullptr, true},
               {9, 0, nullptr, true},  {9, 0, &none, true},    {9, 1, &three, false}};
  for (const Case& c : cases) {
    auto result = ReduceColors(*source, c.method, c.mode, 4, c.palette);
    EXPECT_EQ(result->Empty(), c.empty) << c.method << "/" << c.mode;
    if (!c.empty) {
      EXPECT_EQ(result->Image().colorTable().size(), 3);
    }
  }
  // An empty picture cannot be written.
  TBitmap empty;
  EXPECT_EQ(ErrorOf([&] { ReduceColors(empty, 4, 1, 0, nullptr); }), sInvalidImageDimensions);
}

// The caller's picture stays as it was (an ARGB one keeps its alpha, an 8-bit one its table),
// through the codec's reduction and the viewer's that it shares; and every ditherer passes over a
// pixel without spreading anything from it.
TEST(GifReduce, ReductionLeavesTheSourceAsItIsAndSkippedPixelsSpreadNothing) {
  QImage argb(3, 2, QImage::Format_ARGB32);
  argb.fill(qRgba(200, 10, 10, 90));
  QImage indexed(3, 2, QImage::Format_Indexed8);
  indexed.setColorTable({qRgb(1, 2, 3), qRgb(250, 0, 0)});
  indexed.fill(1);
  const std::function<void(TBitmap&)> uses[] = {
      [](TBitmap& b) { ReduceColors(b, 6, 2, 4, nullptr); },
      [](TBitmap& b) { ReduceColors(b, 7, 1, 4, nullptr); },
      [](TBitmap& b) { ReduceColors(b, 8, 0, 4, nullptr); },
      [](TBitmap& b) { CreateOptimizedPaletteForSingleBitmap(b, 16, 8, true); },
      [](TBitmap& b) { htmlview::ReduceColors(b, 5, 1); },
      [](TBitmap& b) { htmlview::GetPalettizedCopy(&b); },
      [](TBitmap& b) { htmlview::CreateOptimizedPaletteForSingleBitmap(b, 16, 8, false); },
  };
  for (const QImage& image : {argb, indexed})
    for (const auto& use : uses) {
      TBitmap bitmap;
      bitmap.Image() = image.copy();
      use(bitmap);
      EXPECT_EQ(bitmap.Image(), image);
      EXPECT_EQ(bitmap.Image().format(), image.format());
    }
  htmlview::TNetscapeColorLookup lookup;
  using TMaker = std::function<std::unique_ptr<TDitherEngine>(int width)>;
  const TMaker engines[] = {
      [&](int w) { return std::make_unique<TStuckiDitherer>(w, lookup); },
      [&](int w) { return std::make_unique<TSierraDitherer>(w, lookup); },
      [&](int w) { return std::make_unique<TJaJuNiDitherer>(w, lookup); },
      [&](int w) { return std::make_unique<TSteveArcheDitherer>(w, lookup); },
      [&](int w) { return std::make_unique<TBurkesDitherer>(w, lookup); },
  };
  uint8_t r, g, b;
  for (const TMaker& make : engines) {
    auto skipping = make(4), fresh = make(3);
    skipping->Skip();
    for (int x = 1; x < 4; ++x) EXPECT_EQ(skipping->Dither(40, 90, 140, r, g, b), fresh->Dither(40, 90, 140, r, g, b));
  }
}

TEST(GifReduce, EveryDithererWorksOnThinPictures) {
  const std::pair<int, int> sizes[] = {{1, 1}, {1, 9}, {9, 1}, {2, 5}, {3, 3}};
  for (auto [width, height] : sizes)
    for (int method : {4, 6, 7, 9})
      for (int mode = 0; mode <= 6; ++mode) {
        SCOPED_TRACE(::testing::Message() << width << "x" << height << " method " << method << " mode " << mode);
        auto source = Gradient(width, height);
        const TPalette palette = Gray4Palette();
        auto result = ReduceColors(*source, method, mode, 3, &palette);
        ASSERT_EQ(result->Width(), width);
        ASSERT_EQ(result->Height(), height);
        const int colours = static_cast<int>(result->Image().colorTable().size());
        for (int y = 0; y < height; ++y)
          for (int x = 0; x < width; ++x) EXPECT_LT(result->Image().pixelIndex(x, y), colours);
      }
}

TEST(GifReduce, ErrorDiffusionKeepsTheShareOfWhite) {
  for (int level : {32, 64, 128, 191, 224}) {
    auto grey = Filled(100, 100, qRgb(level, level, level));
    // Nearest colour alone gives all black or all white.
    EXPECT_EQ(WhiteShare(ReduceColors(*grey, 4, 0, 0, nullptr)->Image()), level >= 128 ? 1.0 : 0.0);
    for (int mode = 1; mode <= 6; ++mode)
      EXPECT_NEAR(WhiteShare(ReduceColors(*grey, 4, mode, 0, nullptr)->Image()), level / 255.0, 0.02)
          << "level " << level << " mode " << mode;
  }
}

TEST(GifReduce, ErrorsSpreadAlongTheRowByTheFilterWeights) {
  // One row of grey 100 in black and white: the first two pixels stay black and hand their errors
  // on; whether the third collects a grey of 128 depends on the filter. Jarvis-Judice-Ninke brings
  // it to 100 + 1329 div 48 = 127, just black; Stevenson-Arce passes nothing to the next pixel.
  const struct {
    int mode;
    int third;
  } cases[] = {{2, 1}, {3, 1}, {4, 0}, {5, 0}, {6, 1}};
  for (const auto& c : cases) {
    // Below an exact black row, which hands on no error, the second row is worked right to left.
    auto rows = Filled(3, 2, qRgb(100, 100, 100));
    for (int x = 0; x < 3; ++x) rows->Image().setPixel(x, 0, qRgb(0, 0, 0));
    auto again = Filled(3, 3, qRgb(0, 0, 0));
    for (int x = 0; x < 3; ++x) again->Image().setPixel(x, 2, qRgb(100, 100, 100));
    auto single = Filled(3, 1, qRgb(100, 100, 100));
    auto column = Filled(1, 3, qRgb(100, 100, 100));
    auto there = ReduceColors(*single, 4, c.mode, 0, nullptr);
    auto back = ReduceColors(*rows, 4, c.mode, 0, nullptr);
    const int expected[] = {0, 0, c.third};
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(there->Image().pixelIndex(x, 0), expected[x]) << c.mode << " " << x;
      EXPECT_EQ(back->Image().pixelIndex(2 - x, 1), expected[x]) << c.mode << " " << x;
      EXPECT_EQ(ReduceColors(*again, 4, c.mode, 0, nullptr)->Image().pixelIndex(x, 2), expected[x]) << c.mode;
      // Down a one-pixel column the shares straight below happen to weigh as those along the row.
      EXPECT_EQ(ReduceColors(*column, 4, c.mode, 0, nullptr)->Image().pixelIndex(0, x), expected[x]) << c.mode;
    }
  }
}

TEST(GifReduce, SlowLookupTakesTheFirstNearestEntry) {
  TSlowColorLookup lookup({{0, 0, 0, 0}, {100, 100, 100, 0}, {100, 100, 100, 0}, {200, 0, 0, 0}});
  uint8_t r, g, b;
  EXPECT_EQ(lookup.Lookup(90, 110, 100, r, g, b), 1);
  EXPECT_EQ(r, 100);
  EXPECT_EQ(lookup.Lookup(160, 40, 40, r, g, b), 3);
  TSlowColorLookup empty({});
  EXPECT_EQ(empty.Colors, 0);
  EXPECT_EQ(empty.Lookup(9, 9, 9, r, g, b), 0);
  EXPECT_EQ(r + g + b, 0);
}

TEST(GifReduce, WriterChecksFormatSizeAndRows) {
  struct Case {
    TPixelFormat format;
    int width, height;
    const char* error;
  } cases[] = {{htmlview::pf1bit, 4, 4, sUnsupportedPixelFormat}, {htmlview::pf32bit, 4, 4, sUnsupportedPixelFormat},
               {htmlview::pf4bit, 4, 4, sUnsupportedPixelFormat}, {htmlview::pf8bit, 0, 4, sInvalidImageDimensions},
               {htmlview::pf24bit, 4, 0, sInvalidImageDimensions}, {htmlview::pf8bit, -3, 4, sInvalidImageDimensions}};
  for (const Case& c : cases) {
    TBitmap bitmap;
    EXPECT_EQ(ErrorOf([&] { TDIBWriter writer(bitmap, c.format, c.width, c.height, {}); }), c.error);
  }
  TBitmap bitmap(2, 2);
  {
    TDIBWriter unused(bitmap, htmlview::pf8bit, 5, 3, {});
  }
  EXPECT_EQ(bitmap.Width(), 2);
  {
    TDIBWriter writer(bitmap, htmlview::pf8bit, 5, 3, {{1, 2, 3, 0}, {4, 5, 6, 0}});
    for (int row : {-1, 3})
      EXPECT_EQ(ErrorOf([&] { writer.GetScanline(row); }), htmlview::sScanLine) << row;
    writer.GetScanline(2)[4] = 1;
  }
  EXPECT_EQ(bitmap.Width(), 5);
  EXPECT_EQ(bitmap.Height(), 3);
  EXPECT_EQ(bitmap.Image().colorTable(), (QList<QRgb>{qRgb(1, 2, 3), qRgb(4, 5, 6)}));
  EXPECT_EQ(bitmap.Image().pixelIndex(4, 2), 1);
  EXPECT_EQ(bitmap.Image().pixelIndex(0, 0), 0);
  {
    TDIBWriter writer(bitmap, htmlview::pf24bit, 2, 1, {});
    uint8_t* row = writer.GetScanline(0);
    row[3] = 30, row[4] = 20, row[5] = 10;  // blue, green, red
  }
  EXPECT_EQ(bitmap.Image().pixel(1, 0), qRgb(10, 20, 30));
}
