#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <functional>
#include <set>

#include "dither/Dither.h"

using namespace htmlview;

namespace {

// A 24-bit picture from a function of the pixel's position giving its colour.
template <typename F>
std::unique_ptr<TBitmap> Picture(int width, int height, F color) {
  auto bitmap = std::make_unique<TBitmap>(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) bitmap->Image().setPixel(x, y, color(x, y));
  return bitmap;
}

TPaletteEntry Entry(int r, int g, int b) {
  return {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b), 0};
}

template <typename E>
void ExpectRaises(const std::function<void()>& f, const char* message) {
  try {
    f();
    ADD_FAILURE() << "no exception, expected " << message;
  } catch (const E& e) {
    EXPECT_STREQ(e.what(), message);
  }
}

TEST(Dither, CubeLookupLevels) {
  struct Case {
    int red, green, blue, index, level;  // level: of red, times 51
  } cases[] = {
      {255, 255, 255, 215, 255}, {0, 0, 0, 0, 0}, {25, 0, 0, 0, 0},  {26, 0, 0, 0, 0},
      {47, 0, 0, 0, 0},          {48, 0, 0, 36, 51}, {48, 0, 255, 41, 51}, {0, 48, 0, 6, 0},
      {200, 100, 50, 3 * 36 + 2 * 6 + 1, 153}, {201, 0, 0, 4 * 36, 204},
  };
  TNetscapeColorLookup lookup;
  EXPECT_EQ(lookup.Colors, 216);
  const TPalette web = WebPalette();
  for (const Case& c : cases) {
    uint8_t r, g, b;
    const int index = lookup.Lookup(c.red, c.green, c.blue, r, g, b);
    EXPECT_EQ(index, c.index) << c.red << "," << c.green << "," << c.blue;
    EXPECT_EQ(r, c.level);
    // The index names the web palette's entry of the colour returned.
    EXPECT_EQ(web.at(static_cast<size_t>(index)), Entry(r, g, b));
  }
}

TEST(Dither, BytesPerScanline) {
  struct Case {
    int64_t pixels;
    int bits, alignment;
    int64_t bytes;
  } cases[] = {{1, 1, 32, 4},  {32, 1, 32, 4}, {33, 1, 32, 8},  {3, 24, 32, 12}, {5, 8, 32, 8},
               {7, 8, 8, 7},   {0, 24, 32, 0}, {100000, 24, 32, 300000}, {3, 8, 0, 3}, {3, 8, -5, 3}};
  for (const Case& c : cases)
    EXPECT_EQ(BytesPerScanline(c.pixels, c.bits, c.alignment), c.bytes) << c.pixels << " " << c.bits << " " << c.alignment;
}

TEST(Dither, FastLookupNearestAndCache) {
  const TPalette palette = {Entry(0, 0, 0), Entry(10, 10, 10), Entry(200, 0, 0), Entry(0, 200, 0), Entry(200, 0, 0)};
  TFastColorLookup lookup(palette);
  EXPECT_EQ(lookup.Colors, 5);
  struct Case {
    int red, green, blue, index;
  } cases[] = {
      {7, 7, 7, 0},        // the cell of black was seeded with black, though (10, 10, 10) is nearer
      {16, 16, 16, 1},     // sums 48 and 18
      {190, 10, 0, 2},     // the first of two equal entries
      {150, 150, 0, 2},    // a tie between red and green: the first
      {255, 255, 255, 2},  // sums 765, 255, 255 ...: red comes first
      {5, 180, 9, 3},
  };
  for (const Case& c : cases) {
    uint8_t r, g, b;
    EXPECT_EQ(lookup.Lookup(c.red, c.green, c.blue, r, g, b), c.index) << c.red << "," << c.green << "," << c.blue;
    EXPECT_EQ(Entry(r, g, b), palette[static_cast<size_t>(c.index)]);
  }
  // The answer is kept for the whole 5-bit cell.
  uint8_t r, g, b;
  EXPECT_EQ(lookup.Lookup(17, 17, 17, r, g, b), 1);
}

TEST(Dither, FastLookupLimits) {
  uint8_t r = 1, g = 1, b = 1;
  EXPECT_EQ(TFastColorLookup({}).Lookup(100, 100, 100, r, g, b), 0);
  EXPECT_EQ(Entry(r, g, b), Entry(0, 0, 0));
  TPalette big(300, Entry(9, 9, 9));
  big[299] = Entry(255, 255, 255);
  TFastColorLookup capped(big);
  EXPECT_EQ(capped.Colors, 256);
  EXPECT_EQ(capped.Lookup(255, 255, 255, r, g, b), 0);  // entry 299 is beyond the palette
}

TEST(Dither, ReaderAndWriterRows) {
  auto bitmap = Picture(2, 3, [](int x, int) { return x == 0 ? qRgb(10, 20, 30) : qRgb(40, 50, 60); });
  TDIBReader reader(*bitmap, pf24bit);
  const uint8_t* row = reader.GetScanline(2);
  EXPECT_EQ(std::vector<int>(row, row + 6), (std::vector<int>{30, 20, 10, 60, 50, 40}));

  TBitmap target(3, 2);
  SafeSetPixelFormat(target, pf8bit);
  target.Image().setColorTable({qRgb(255, 0, 0), qRgb(0, 0, 255)});
  {
    TDIBWriter writer(target, pf8bit);
    for (TDIB* dib : std::initializer_list<TDIB*>{&reader, &writer})
      for (int r : {-1, 3, 1000}) ExpectRaises<EInvalidGraphicOperation>([&] { dib->GetScanline(r); }, sScanLine);
    writer.GetScanline(1)[2] = 1;
    EXPECT_EQ(target.Image().pixelIndex(2, 1), 0);  // not before the writer goes
  }
  const QImage& image = target.Image();
  ASSERT_EQ(image.colorCount(), 256);
  EXPECT_EQ(image.pixel(2, 1), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(image.color(2), qRgb(0, 0, 0));
}

TEST(Dither, DIBFailures) {
  TBitmap empty;
  ExpectRaises<EInvalidGraphic>([&] { TDIBWriter(empty, pf8bit).GetScanline(0); }, sInvalidBitmap);
  TBitmap bitmap(2, 2);
  for (TPixelFormat format : {pfDevice, pf4bit, pf15bit, pf32bit, pfCustom})
    ExpectRaises<EInvalidGraphic>([&] { TDIBWriter(bitmap, format).GetScanline(0); }, sInvalidPixelFormat);
  ExpectRaises<EInvalidGraphic>([&] { TDIBReader(bitmap, pf4bit); }, sInvalidPixelFormat);
  { TDIBWriter idle(bitmap, pf8bit); }  // wrote nothing: the picture stays as it was
  EXPECT_EQ(bitmap.Image().format(), QImage::Format_RGB888);
  EXPECT_NO_THROW(SafeSetPixelFormat(empty, pf8bit));
  EXPECT_TRUE(empty.Empty());
}

// Black and white, so that the spread error decides every pixel.
TPalette BlackWhite() { return {Entry(0, 0, 0), Entry(255, 255, 255)}; }

std::vector<int> DitherGrey(TDitherEngine& engine, int width, int height, int grey) {
  std::vector<int> out(static_cast<size_t>(width * height));
  uint8_t r, g, b;
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < width; ++i) {
      const int x = engine.Column;
      out[static_cast<size_t>(y * width + x)] = engine.Dither(grey, grey, grey, r, g, b);
    }
    engine.NextLine();
  }
  return out;
}

TEST(Dither, FloydSteinbergWeights) {
  // Worked by hand: 100 on black and white. Row 0 left to right: 0 (error 100), then
  // 100 + (700 + 8) / 16 = 144, white (error -111). Row 1 right to left: x 1 gets
  // 100 + (5 * -111 + 1 * 100 + 8) / 16 = 100 - 27 (truncated), black; x 0 gets
  // 100 + (5 * 100 + 3 * -111 + 7 * 73 + 8) / 16 = 142, white.
  TFastColorLookup lookup(BlackWhite());
  TFloydSteinbergEngine engine(2, lookup);
  EXPECT_EQ(DitherGrey(engine, 2, 2, 100), (std::vector<int>{0, 1, 1, 0}));
}

TEST(Dither, FloydSteinbergKeepsTheMeanGrey) {
  struct Case {
    int grey;
    double white;  // share of white pixels
  } cases[] = {{128, 0.5}, {64, 0.25}, {255, 1.0}};
  for (const Case& c : cases) {
    TFastColorLookup lookup(BlackWhite());
    TFloydSteinbergEngine engine(64, lookup);
    const std::vector<int> out = DitherGrey(engine, 64, 64, c.grey);
    double white = 0;
    for (int v : out) white += v;
    EXPECT_NEAR(white / static_cast<double>(out.size()), c.white, 0.02) << c.grey;
  }
  // Nearest colour has no such memory.
  TFastColorLookup lookup(BlackWhite());
  TDitherEngine nearest(8, lookup);
  for (int v : DitherGrey(nearest, 8, 8, 128)) EXPECT_EQ(v, 1);
}

TEST(Dither, NarrowRowsStayInsideTheErrorRows) {
  // Under the sanitizers: one pixel, no pixels, and a caller running past the row.
  for (int width : {1, 0}) {
    TFastColorLookup lookup(BlackWhite());
    TFloydSteinbergEngine engine(width, lookup);
    uint8_t r, g, b;
    for (int y = 0; y < 5; ++y) {
      for (int i = 0; i < width + 3; ++i) engine.Dither(77, 130, 200, r, g, b);
      engine.NextLine();
    }
  }
  auto tall = Picture(1, 50, [](int, int y) { return qRgb(y * 5, 128, 255 - y * 5); });
  EXPECT_EQ(ReduceColors(*tall, 1, 1)->Height(), 50);
}

TEST(Dither, OctreeKeepsFewColoursExactly) {
  std::set<QRgb> colours;
  auto bitmap = Picture(50, 4, [&](int x, int y) {
    const QRgb c = qRgb(x * 5 + 1, (x * 37 + y) % 256, 255 - x * 3);
    colours.insert(c);
    return c;
  });
  ASSERT_LT(colours.size(), 236u);
  const TPalette palette = CreateOptimizedPaletteForSingleBitmap(*bitmap, 256, 8, true);
  ASSERT_EQ(palette.size(), 256u);
  const TPalette stock = StockPalette();
  EXPECT_TRUE(std::equal(stock.begin(), stock.begin() + 10, palette.begin()));
  EXPECT_TRUE(std::equal(stock.begin() + 10, stock.end(), palette.begin() + 246));
  std::set<QRgb> made;
  for (size_t i = 10; i < 10 + colours.size(); ++i) made.insert(qRgb(palette[i].peRed, palette[i].peGreen, palette[i].peBlue));
  EXPECT_EQ(made, colours);
  for (size_t i = 10 + colours.size(); i < 246; ++i) EXPECT_EQ(palette[i], Entry(0, 0, 0)) << i;
  // Colours a cell of the lookup's cache apart come through a reduction unchanged, dithered or not.
  const auto apart = [](int x, int y) { return qRgb(x * 8, y * 8 + 64, 255 - x * 8); };
  for (int mode : {0, 1}) {
    auto source = Picture(32, 3, apart);
    auto reduced = ReduceColors(*source, 5, mode);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 32; ++x) EXPECT_EQ(reduced->Image().pixel(x, y), apart(x, y)) << mode << " " << x << "," << y;
  }
}

TEST(Dither, OctreeOrderMergingAndLimits) {
  {
    TColorQuantizer q(256, 8);
    q.AddColor(255, 0, 0);  // child 4 at the top
    q.AddColor(0, 0, 255);  // child 1
    q.AddColor(0, 255, 0);  // child 2
    EXPECT_EQ(q.GetColorTable(), (TPalette{Entry(0, 0, 255), Entry(0, 255, 0), Entry(255, 0, 0)}));
  }
  {
    // Two colours that part only at the lowest bits merge into their mean (truncated).
    TColorQuantizer q(1, 8);
    q.AddColor(0, 0, 0);
    for (int i = 0; i < 3; ++i) q.AddColor(4, 5, 6);
    EXPECT_EQ(q.LeafCount, 1);
    EXPECT_EQ(q.GetColorTable(), (TPalette{Entry(3, 3, 4)}));
  }
  {
    // Asked for no colours at all, the whole tree ends as one leaf.
    TColorQuantizer q(0, 8);
    for (int i = 0; i < 20; ++i) q.AddColor(static_cast<uint8_t>(i * 12), 0, 0);
    EXPECT_EQ(q.LeafCount, 1);
    EXPECT_EQ(q.GetColorTable().size(), 1u);
  }
  // Without the reserve: as many entries as asked, none left over.
  auto bitmap = Picture(64, 64, [](int x, int y) { return qRgb(x * 4, y * 4, (x * y) % 256); });
  for (int colors : {8, 16, 256})
    EXPECT_EQ(CreateOptimizedPaletteForSingleBitmap(*bitmap, colors, 8, false).size(), static_cast<size_t>(colors));
  EXPECT_EQ(CreateOptimizedPaletteForSingleBitmap(*bitmap, 1000, 8, false).size(), 256u);
  // Rows of any other width than three bytes a pixel are not read as such.
  TDIBReader eight(*bitmap, pf8bit);
  TColorQuantizer q(16, 8);
  ExpectRaises<EInvalidGraphic>([&] { q.ProcessImage(eight); }, sInvalidPixelFormat);
}

QRgb Colour(const TPaletteEntry& e) { return qRgb(e.peRed, e.peGreen, e.peBlue); }

TEST(Dither, EveryReductionAndDitherMode) {
  const auto gradient = [](int x, int y) { return qRgb(x * 8, y * 8, 255 - x * 4); };
  struct Case {
    int reduction;
    TPalette palette;  // the colours the picture may use
  } cases[] = {
      {1, StockPalette()},
      {3, WebPalette()},
      {4, TPalette(ViewerPaletteEntries().begin(), ViewerPaletteEntries().end())},
      {5, {}},  // made for the picture: checked through its colour table
  };
  for (const Case& c : cases)
    for (int mode : {0, 1}) {
      auto source = Picture(32, 32, gradient);
      auto result = ReduceColors(*source, c.reduction, mode);
      const QImage& image = result->Image();
      ASSERT_EQ(image.format(), QImage::Format_Indexed8) << c.reduction << "/" << mode;
      EXPECT_EQ(image.size(), QSize(32, 32));
      ASSERT_EQ(image.colorCount(), 256);
      const size_t used = c.palette.empty() ? 256 : c.palette.size();
      for (size_t i = 0; i < c.palette.size(); ++i) EXPECT_EQ(image.color(static_cast<int>(i)), Colour(c.palette[i]));
      std::set<int> indexes;
      for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) indexes.insert(image.pixelIndex(x, y));
      EXPECT_LT(static_cast<size_t>(*indexes.rbegin()), used) << c.reduction << "/" << mode;
      EXPECT_GT(indexes.size(), 3u) << c.reduction << "/" << mode;
    }
}

TEST(Dither, ReductionsOfPureColours) {
  struct Case {
    int reduction;
    QRgb colour;
    int index;
    bool exact;  // in the palette: no error to spread, so dithering changes nothing
  } cases[] = {
      {1, qRgb(255, 0, 0), 13, true},      {1, qRgb(250, 250, 250), 19, false}, {1, qRgb(0, 0, 0), 0, true},
      {1, qRgb(255, 255, 255), 19, true},  {3, qRgb(255, 255, 255), 215, true}, {3, qRgb(0, 0, 0), 0, true},
      {3, qRgb(26, 48, 255), 0 + 6 + 5, false}, {4, qRgb(255, 255, 254), 245, true},
      // White shares its cache cell with the near-white before it, which was seeded first.
      {4, qRgb(255, 255, 255), 245, true}, {4, qRgb(0, 0, 0), 0, true},
  };
  for (const Case& c : cases)
    for (int mode : {0, 1}) {
      if (mode == 1 && !c.exact) continue;
      auto source = Picture(5, 3, [&](int, int) { return c.colour; });
      auto result = ReduceColors(*source, c.reduction, mode);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
          EXPECT_EQ(result->Image().pixelIndex(x, y), c.index) << c.reduction << "/" << mode << " " << x << "," << y;
    }
}

TEST(Dither, ReductionNoneAndUnknown) {
  for (int mode : {0, 1, 7}) {
    auto source = Picture(4, 2, [](int x, int y) { return qRgb(x * 60, y * 100, 7); });
    auto copy = ReduceColors(*source, 0, mode);
    EXPECT_EQ(copy->Image().format(), QImage::Format_BGR888);
    EXPECT_EQ(copy->Image().pixel(3, 1), qRgb(180, 100, 7));
  }
  for (int reduction : {2, 6, -1}) {
    auto source = Picture(4, 2, [](int, int) { return qRgb(200, 100, 50); });
    auto result = ReduceColors(*source, reduction, 1);
    ASSERT_EQ(result->Image().format(), QImage::Format_Indexed8);
    EXPECT_EQ(result->Image().pixel(3, 1), qRgb(0, 0, 0)) << reduction;
  }
  TBitmap empty;
  EXPECT_TRUE(ReduceColors(empty, 5, 1)->Empty());
}

TEST(Dither, PalettizedCopy) {
  EXPECT_EQ(GetPalettizedCopy(nullptr), nullptr);
  TBitmap empty;
  EXPECT_EQ(GetPalettizedCopy(&empty), nullptr);
  auto source = Picture(6, 6, [](int x, int) { return qRgb(x * 40, 255, 254); });
  auto copy = GetPalettizedCopy(source.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Image().format(), QImage::Format_Indexed8);
  EXPECT_EQ(copy->Image().color(245), qRgb(255, 255, 254));  // the viewer's own palette
}

// A pixel passed over hands on no error and leaves the next in step: the same pixels follow as
// when the row begins after it.
TEST(Dither, SkippingAPixelSpreadsNothing) {
  TNetscapeColorLookup lookup;
  TFloydSteinbergEngine skipping(3, lookup), fresh(2, lookup);
  uint8_t r, g, b;
  skipping.Skip();
  for (int x = 1; x < 3; ++x) {
    EXPECT_EQ(skipping.Column, x);
    EXPECT_EQ(skipping.Dither(40, 90, 140, r, g, b), fresh.Dither(40, 90, 140, r, g, b)) << x;
  }
}

TEST(Dither, ViewerPaletteLayout) {
  const auto& e = ViewerPaletteEntries();
  struct Case {
    int index;
    TPaletteEntry entry;
  } cases[] = {{0, {0, 0, 0}},          {9, {166, 202, 240}},   {10, {55, 55, 55}},    {11, {115, 55, 55}},
               {224, {235, 255, 255}},  {225, {135, 135, 135}}, {244, {245, 245, 245}}, {245, {255, 255, 254}},
               {246, {255, 251, 240}},  {255, {255, 255, 255}}};
  for (const Case& c : cases) EXPECT_EQ(e[c.index], c.entry) << c.index;
  for (int i = 225; i < 245; ++i)  // greys the cube already has are left out
    for (int v : {165, 205, 235}) EXPECT_NE(e[i].peRed, v);
}

}  // namespace
