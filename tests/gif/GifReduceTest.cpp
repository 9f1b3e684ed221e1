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

using TMaker = std::function<std::unique_ptr<TDitherEngine>(int width)>;

// The error-diffusion ditherers the codec adds to the shared Floyd-Steinberg one.
std::vector<TMaker> CodecDitherers(htmlview::TColorLookup& lookup) {
  return {
      [&](int w) { return std::make_unique<TStuckiDitherer>(w, lookup); },
      [&](int w) { return std::make_unique<TSierraDitherer>(w, lookup); },
      [&](int w) { return std::make_unique<TJaJuNiDitherer>(w, lookup); },
      [&](int w) { return std::make_unique<TSteveArcheDitherer>(w, lookup); },
      [&](int w) { return std::make_unique<TBurkesDitherer>(w, lookup); },
  };
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

// Reduction bits size the made palette (and only it) and are checked; the palette keeps the
// picture's few colours exactly, and the stock colours around them.
TEST(GifReduce, MadePalettesHaveTheirSizeAndKeepTheStockColoursAndTheirOwnExactly) {
  auto gradient = Gradient(64, 64);
  for (int bits = 1; bits <= 8; ++bits)
    EXPECT_EQ(ReduceColors(*gradient, 7, 1, bits, nullptr)->Image().colorTable().size(), 1 << bits) << bits;
  for (int bits : {0, 9, 32, -1}) {
    const std::string error = ErrorOf([&] { ReduceColors(*gradient, 7, 0, bits, nullptr); });
    EXPECT_NE(error.find(std::to_string(bits)), std::string::npos) << bits << ": " << error;
  }
  EXPECT_EQ(ReduceColors(*gradient, 5, 0, 32, nullptr)->Image().colorTable().size(), 256);

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
  EXPECT_EQ(std::tuple(table[9], table[246], table[255]),
            std::tuple(qRgb(166, 202, 240), qRgb(255, 251, 240), qRgb(255, 255, 255)));
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
  const TPalette three = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 0, 255, 0}}, none;
  const struct {
    int method, mode;
    const TPalette* palette;
    int colours;  // -1: an empty picture
  } cases[] = {{10, 0, nullptr, -1}, {-1, 0, nullptr, -1}, {4, 7, nullptr, -1}, {4, -1, nullptr, -1},
               {9, 0, nullptr, -1},  {9, 0, &none, -1},    {9, 1, &three, 3}};
  for (const auto& c : cases) {
    auto result = ReduceColors(*source, c.method, c.mode, 4, c.palette);
    EXPECT_EQ(result->Empty() ? -1 : result->Image().colorTable().size(), c.colours) << c.method << "/" << c.mode;
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
  uint8_t r, g, b;
  for (const TMaker& make : CodecDitherers(lookup)) {
    auto skipping = make(4), fresh = make(3);
    skipping->Skip();
    for (int x = 1; x < 4; ++x) EXPECT_EQ(skipping->Dither(40, 90, 140, r, g, b), fresh->Dither(40, 90, 140, r, g, b));
  }
}

// Passing over the first column on every row (first on rows worked left to right, last on the
// others) dithers the rest as a picture without that column: the error rows stay in step with the
// column, also on the rows after.
TEST(GifReduce, PassingOverAColumnDithersTheRestAsAPictureWithoutIt) {
  htmlview::TNetscapeColorLookup lookup;
  std::vector<TMaker> engines = CodecDitherers(lookup);
  engines.insert(engines.begin(), [&](int w) { return std::make_unique<TFloydSteinbergDitherer>(w, lookup); });
  uint8_t r, g, b;
  for (size_t e = 0; e < engines.size(); ++e) {
    SCOPED_TRACE("engine " + std::to_string(e));
    auto skipping = engines[e](6), narrow = engines[e](5);
    std::vector<int> skipped, dithered;
    for (int row = 0; row < 5; ++row) {
      for (int i = 0; i < 6; ++i) {
        const int x = skipping->Column;
        if (x == 0) {
          skipping->Skip();
          continue;
        }
        ASSERT_EQ(narrow->Column, x - 1);
        const auto v = static_cast<uint8_t>(20 + 37 * x + 11 * row);
        skipped.push_back(skipping->Dither(v, static_cast<uint8_t>(255 - v), v / 2, r, g, b));
        dithered.push_back(narrow->Dither(v, static_cast<uint8_t>(255 - v), v / 2, r, g, b));
      }
      skipping->NextLine();
      narrow->NextLine();
    }
    EXPECT_EQ(skipped, dithered);
  }
}

TEST(GifReduce, EveryDithererWorksOnThinPictures) {
  const TPalette palette = Gray4Palette();
  for (auto [width, height] : {std::pair(1, 1), {1, 9}, {9, 1}, {2, 5}, {3, 3}})
    for (int method : {4, 6, 7, 9})
      for (int mode = 0; mode <= 6; ++mode) {
        SCOPED_TRACE(::testing::Message() << width << "x" << height << " method " << method << " mode " << mode);
        const QImage result = ReduceColors(*Gradient(width, height), method, mode, 3, &palette)->Image();
        ASSERT_EQ(result.size(), QSize(width, height));
        for (int i = 0; i < width * height; ++i) EXPECT_LT(result.pixelIndex(i % width, i / width), result.colorCount());
      }
}

// Error diffusion keeps the share of white in a grey (nearest colour alone gives all black or all
// white), and each filter spreads the error by its own weights. One row of grey 100 in black and
// white: the first two pixels stay black and hand their errors on; whether the third collects a
// grey of 128 depends on the filter. Jarvis-Judice-Ninke brings it to 100 + 1329 div 48 = 127,
// just black; Stevenson-Arce passes nothing to the next pixel.
TEST(GifReduce, ErrorsSpreadByTheFilterWeights) {
  const struct {
    int mode;
    int third;  // -1: not checked
  } cases[] = {{0, -1}, {1, -1}, {2, 1}, {3, 1}, {4, 0}, {5, 0}, {6, 1}};
  for (const auto& c : cases) {
    for (int level : {32, 64, 128, 191, 224}) {
      auto grey = Filled(100, 100, qRgb(level, level, level));
      const double white = WhiteShare(ReduceColors(*grey, 4, c.mode, 0, nullptr)->Image());
      EXPECT_NEAR(white, c.mode == 0 ? level >= 128 : level / 255.0, 0.02) << "level " << level << " mode " << c.mode;
    }
    if (c.third < 0) continue;
    // Below an exact black row, which hands on no error, the second row is worked right to left.
    auto rows = Filled(3, 2, qRgb(100, 100, 100));
    for (int x = 0; x < 3; ++x) rows->Image().setPixel(x, 0, qRgb(0, 0, 0));
    auto again = Filled(3, 3, qRgb(0, 0, 0));
    for (int x = 0; x < 3; ++x) again->Image().setPixel(x, 2, qRgb(100, 100, 100));
    auto there = ReduceColors(*Filled(3, 1, qRgb(100, 100, 100)), 4, c.mode, 0, nullptr);
    auto back = ReduceColors(*rows, 4, c.mode, 0, nullptr);
    auto below = ReduceColors(*again, 4, c.mode, 0, nullptr);
    // Down a one-pixel column the shares straight below happen to weigh as those along the row.
    auto down = ReduceColors(*Filled(1, 3, qRgb(100, 100, 100)), 4, c.mode, 0, nullptr);
    const int expected[] = {0, 0, c.third};
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(std::tuple(there->Image().pixelIndex(x, 0), back->Image().pixelIndex(2 - x, 1),
                           below->Image().pixelIndex(x, 2), down->Image().pixelIndex(0, x)),
                std::tuple(expected[x], expected[x], expected[x], expected[x]))
          << c.mode << " " << x;
  }
}

TEST(GifReduce, SlowLookupTakesTheFirstNearestEntry) {
  TSlowColorLookup lookup({{0, 0, 0, 0}, {100, 100, 100, 0}, {100, 100, 100, 0}, {200, 0, 0, 0}}), empty({});
  uint8_t r, g, b;
  EXPECT_EQ(lookup.Lookup(90, 110, 100, r, g, b), 1);
  EXPECT_EQ(r, 100);
  EXPECT_EQ(lookup.Lookup(160, 40, 40, r, g, b), 3);
  EXPECT_EQ(empty.Colors, 0);
  EXPECT_EQ(empty.Lookup(9, 9, 9, r, g, b), 0);
  EXPECT_EQ(r + g + b, 0);
}

// The writer refuses what it cannot write, and its picture replaces the bitmap's only once a row
// was asked for.
TEST(GifReduce, WriterChecksFormatSizeAndRows) {
  const struct {
    TPixelFormat format;
    int width, height;
    const char* error;
  } cases[] = {{htmlview::pf1bit, 4, 4, sUnsupportedPixelFormat}, {htmlview::pf32bit, 4, 4, sUnsupportedPixelFormat},
               {htmlview::pf4bit, 4, 4, sUnsupportedPixelFormat}, {htmlview::pf8bit, 0, 4, sInvalidImageDimensions},
               {htmlview::pf24bit, 4, 0, sInvalidImageDimensions}, {htmlview::pf8bit, -3, 4, sInvalidImageDimensions}};
  TBitmap bitmap(2, 2);
  for (const auto& c : cases) EXPECT_EQ(ErrorOf([&] { TDIBWriter writer(bitmap, c.format, c.width, c.height, {}); }), c.error);
  TDIBWriter(bitmap, htmlview::pf8bit, 5, 3, {});
  EXPECT_EQ(bitmap.Width(), 2);
  {
    TDIBWriter writer(bitmap, htmlview::pf8bit, 5, 3, {{1, 2, 3, 0}, {4, 5, 6, 0}});
    for (int row : {-1, 3}) EXPECT_EQ(ErrorOf([&] { writer.GetScanline(row); }), htmlview::sScanLine) << row;
    writer.GetScanline(2)[4] = 1;
  }
  EXPECT_EQ(bitmap.Width() * 10 + bitmap.Height(), 53);
  EXPECT_EQ(bitmap.Image().colorTable(), (QList<QRgb>{qRgb(1, 2, 3), qRgb(4, 5, 6)}));
  EXPECT_EQ(bitmap.Image().pixelIndex(4, 2) * 10 + bitmap.Image().pixelIndex(0, 0), 10);
  {
    TDIBWriter writer(bitmap, htmlview::pf24bit, 2, 1, {});
    uint8_t* row = writer.GetScanline(0);
    row[3] = 30, row[4] = 20, row[5] = 10;  // blue, green, red
  }
  EXPECT_EQ(bitmap.Image().pixel(1, 0), qRgb(10, 20, 30));
}
