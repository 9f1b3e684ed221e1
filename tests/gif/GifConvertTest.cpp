// Pictures into frames, frames copied, cropped and merged.
#include <gtest/gtest.h>

#include <QImage>
#include <memory>
#include <string>
#include <vector>

#include "dither/Dither.h"
#include "gif/GifCompose.h"
#include "gif/gui/GifConvert.h"
#include "gif/gui/GifReduce.h"
#include "tests/gif/GifBuilder.h"
#include "tests/gif/GifTestSupport.h"

using namespace gif;
using namespace gif::test;

namespace {

// Every screen the frames leave, in order.
std::vector<std::vector<uint32_t>> Screens(const TGifPictureBase& image) {
  TGIFComposer composer(image);
  std::vector<std::vector<uint32_t>> screens;
  for (int i = 0; i < image.Images.Count(); ++i) screens.push_back(composer.Draw(image.Images[i]));
  return screens;
}

int TransparentOf(const TGIFSubImage& frame) {
  const TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
  return gce && frame.HasTransparency ? gce->TransparentColorIndex() : -1;
}

TGIFColor Color(QRgb c) {
  return {static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)), static_cast<uint8_t>(qBlue(c))};
}

// A true-colour picture of width x height whose pixel i has colour i (so all colours differ).
QImage DistinctColors(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int i = 0; i < width * height; ++i) image.setPixel(i % width, i / width, qRgb(i * 7 & 0xFF, i * 13 & 0xFF, i / 2 & 0xFF));
  return image;
}

QImage Indexed(int width, int height, const std::vector<QRgb>& table) {
  QImage image(width, height, QImage::Format_Indexed8);
  image.setColorTable(QList<QRgb>(table.begin(), table.end()));
  for (int i = 0; i < width * height; ++i)
    image.setPixel(i % width, i / width, static_cast<uint>(i % static_cast<int>(table.size())));
  return image;
}

}  // namespace

// --- pictures into frames ---

// Method 0 keeps a true-colour picture's own colours up to 256; with more it overflows, and the
// default reduction gives the cube, each channel rounded to a multiple of 51.
TEST(GifConvert, TrueColoursKeepTheirOwnTableOrBecomeTheCube) {
  TGifConvertSettings keep;
  keep.ColorReduction = 0;
  TGifPictureBase image;
  TGIFSubImage& frame = NewFrame(image);
  QImage few(5, 2, QImage::Format_RGB888);
  few.fill(qRgb(1, 2, 3));
  few.setPixel(4, 1, qRgb(200, 100, 50));
  AssignImage(frame, few, keep);
  ASSERT_EQ(frame.ColorMap.Count(), 2);
  EXPECT_EQ(frame.ColorMap.Color(frame.Pixel(0, 0)), (TGIFColor{1, 2, 3}));
  EXPECT_EQ(frame.ColorMap.Color(frame.Pixel(4, 1)), (TGIFColor{200, 100, 50}));
  EXPECT_EQ(frame.GraphicControlExtension(), nullptr);

  const QImage picture = DistinctColors(20, 15);  // 300 colours
  EXPECT_EQ(ErrorOf([&] { AssignImage(frame, picture, keep); }), sTooManyColors);
  AssignImage(frame, picture, TGifConvertSettings{});
  ASSERT_EQ(frame.ColorMap.Count(), 216);
  const TPalette cube = htmlview::WebPalette();
  for (int i = 0; i < 216; ++i) EXPECT_EQ((TGIFColor{cube[i].peRed, cube[i].peGreen, cube[i].peBlue}), frame.ColorMap.Color(i));
  for (int i = 0; i < 300; ++i) {
    const QRgb want = picture.pixel(i % 20, i / 20);
    EXPECT_EQ(frame.ColorMap.Color(frame.Pixel(i % 20, i / 20)),
              Color(qRgb((qRed(want) + 3) / 51 * 51, (qGreen(want) + 3) / 51 * 51, (qBlue(want) + 3) / 51 * 51)));
  }
  EXPECT_EQ(image.Width() * 100 + image.Height(), 2015);
}

// Pixels beyond a short table show black, and the frame can still be saved; one bit a pixel is
// read most significant first, over a width that is no multiple of 8.
TEST(GifConvert, PalettedPicturesKeepTheirPixelValuesAndTableOrder) {
  const std::vector<QRgb> table = {qRgb(9, 9, 9), qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(1, 2, 3), qRgb(40, 50, 60)};
  QImage shortTable = Indexed(7, 3, table);
  shortTable.setColorTable({table[0], table[1]});
  QImage mono(11, 2, QImage::Format_Mono);
  mono.setColorTable({qRgb(10, 20, 30), qRgb(250, 240, 230)});
  for (int i = 0; i < 22; ++i) mono.setPixel(i % 11, i / 11, static_cast<uint>((i % 11 * 3 + i / 11) % 2));
  const struct {
    QImage picture;
    std::vector<QRgb> colors;
  } cases[] = {{Indexed(7, 3, table), table}, {shortTable, {table[0], table[1], 0, 0, 0}}, {mono, {qRgb(10, 20, 30), qRgb(250, 240, 230)}}};
  for (const auto& c : cases) {
    TGifPictureBase image;
    TGIFSubImage& frame = NewFrame(image);
    AssignImage(frame, c.picture, {});
    ASSERT_EQ(frame.ColorMap.Count(), static_cast<int>(c.colors.size()));
    for (size_t i = 0; i < c.colors.size(); ++i) EXPECT_EQ(frame.ColorMap.Color(static_cast<int>(i)), Color(c.colors[i]));
    for (int y = 0; y < c.picture.height(); ++y)
      for (int x = 0; x < c.picture.width(); ++x) EXPECT_EQ(frame.Pixel(x, y), c.picture.pixelIndex(x, y)) << x << "," << y;
    EXPECT_NO_THROW(Saved(image));
  }
}

// Transparent where the picture's Transparent flag names the bottom-left pixel's colour, or where
// its alpha is below 128; with no room in a full table, no transparency.
TEST(GifConvert, TransparentPicturesGetATransparentColourWhenTheTableHasRoom) {
  const struct {
    int colors;      // of the paletted picture, every one used
    bool viaAlpha;   // an alpha channel rather than the Transparent flag
    bool transparent;
  } cases[] = {{4, false, true}, {4, true, true}, {256, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.colors << (c.viaAlpha ? " alpha" : " flag"));
    std::vector<QRgb> table;
    for (int i = 0; i < c.colors; ++i) table.push_back(qRgb(i, 255 - i, 3));
    QImage picture = Indexed(16, 16, table);  // the bottom-left pixel has index 240 % colors
    if (c.viaAlpha) {
      picture = picture.convertToFormat(QImage::Format_ARGB32);
      for (int x = 0; x < 16; ++x) picture.setPixel(x, 15, qRgba(0, 0, 0, x < 8 ? 0 : 127));
      picture.setPixel(0, 0, qRgba(5, 5, 5, 128));  // just opaque
    }
    TBitmap bitmap;
    bitmap.Image() = picture;
    bitmap.Transparent = !c.viaAlpha;
    TGifPictureBase image;
    TGIFSubImage& frame = NewFrame(image);
    AssignBitmap(frame, bitmap, {});
    const int t = TransparentOf(frame);
    ASSERT_EQ(t >= 0, c.transparent);
    EXPECT_EQ(frame.GraphicControlExtension() != nullptr, c.transparent);
    for (int i = 0; i < 256 && c.transparent; ++i) {
      const QRgb p = picture.pixel(i % 16, i / 16);
      const bool want = c.viaAlpha ? qAlpha(p) < 128 : (p & 0xFFFFFF) == (picture.pixel(0, 15) & 0xFFFFFF);
      EXPECT_EQ(frame.Pixel(i % 16, i / 16) == t, want) << i;
      if (!want && !c.viaAlpha) {
        EXPECT_EQ(Color(p), frame.ColorMap.Color(frame.Pixel(i % 16, i / 16)));
      }
    }
  }
}

// Progress ends at a hundred after a conversion, at 0 after a refusal. A made palette of 4 bits
// has at most 16 colours, with every dither mode.
TEST(GifConvert, ReductionsThatDoNotExistAreRefused) {
  struct Case {
    uint8_t method;
    int bits;
    uint8_t mode;
    std::string error;
  };
  std::vector<Case> cases = {
      {10, 8, 0, sInvalidReduction},  // no such method
      {6, 8, 7, sInvalidReduction},   // no such dither mode
      {9, 8, 0, sInvalidReduction},   // a given palette, and none given
      {7, 0, 0, "Invalid number of reduction bits: 0 (1 to 8)"},
      {7, 9, 0, "Invalid number of reduction bits: 9 (1 to 8)"},
      {7, 32, 0, "Invalid number of reduction bits: 32 (1 to 8)"},
      {6, 8, 0, ""},
  };
  for (uint8_t mode = 0; mode <= 6; ++mode) cases.push_back({7, 4, mode, ""});
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int{c.method} << " " << c.bits << " " << int{c.mode});
    TGifPictureBase image;
    std::vector<std::pair<TProgressStage, int>> progress;
    image.OnProgress = [&](TProgressStage s, int p, const std::string& m) {
      EXPECT_EQ(m, sConverting);
      progress.emplace_back(s, p);
    };
    TGIFSubImage& frame = NewFrame(image);
    EXPECT_EQ(ErrorOf([&] { AssignImage(frame, DistinctColors(10, 70), {c.method, c.bits, c.mode}); }), c.error);
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.front(), std::make_pair(psStarting, 0));
    EXPECT_EQ(progress.back(), std::make_pair(psEnding, c.error.empty() ? 100 : 0));
    if (!c.error.empty()) continue;
    EXPECT_EQ(progress[2], std::make_pair(psRunning, 32 * 100 / 70));  // rows 0, 32, 64
    EXPECT_LE(frame.ColorMap.Count(), 1 << c.bits);
    EXPECT_GT(frame.ColorMap.Count(), 1);
    for (uint8_t p : frame.Data()) EXPECT_LT(p, frame.ColorMap.Count());
  }
}

// A copy is whole and its own; the screen grows to hold it, without warnings. An empty picture or
// an empty frame clears the frame.
TEST(GifConvert, AFrameCopiesAnotherWholly) {
  TGifPictureBase from;
  Build(from, 0, 0, 2, {{3, 4, 2, 3, {0, 1, 2, 1, 0, 2}, -1}});
  TGIFSubImage& source = from.Images[0];
  for (QRgb c : {0x102030, 0x405060, 0x708090}) source.ColorMap.Add(Color(c));
  Gce(source, 2, 2, 77);
  source.SetInterlaced(true);
  auto comment = std::make_unique<TGIFCommentExtension>(&source);
  comment->Text = {"one", "two"};
  source.Extensions.Add(std::move(comment));

  TGifPictureBase to;
  std::vector<std::string> warnings;
  to.OnWarning = [&](TGIFSeverity, const std::string& m) { warnings.push_back(m); };
  TGIFSubImage& frame = NewFrame(to);
  TGifPictureBase empty;
  const TGIFSubImage& blank = NewFrame(empty);
  const std::function<void()> clears[] = {[&] { AssignImage(frame, QImage(), {}); }, [&] { AssignFrame(frame, blank); }};
  for (const auto& clear : clears) {
    AssignFrame(frame, source);
    AssignFrame(frame, frame);  // itself: nothing
    EXPECT_EQ(std::vector<int>({frame.Left(), frame.Top(), frame.Width(), frame.Height()}), std::vector<int>({3, 4, 2, 3}));
    EXPECT_TRUE(frame.Interlaced());
    EXPECT_EQ(frame.Data(), source.Data());
    ASSERT_EQ(frame.ColorMap.Count(), 3);
    EXPECT_EQ(frame.ColorMap.Color(2), (TGIFColor{0x70, 0x80, 0x90}));
    EXPECT_TRUE(frame.HasTransparency);
    ASSERT_EQ(frame.Extensions.Count(), 2);
    const auto* gce = frame.GraphicControlExtension();
    ASSERT_NE(gce, nullptr);
    EXPECT_NE(gce, source.GraphicControlExtension());
    EXPECT_EQ(gce->SubImage(), &frame);
    EXPECT_EQ(std::tuple(gce->Delay, gce->Disposal(), gce->TransparentColorIndex()), std::tuple(77, 2, 2));
    const auto* text = dynamic_cast<const TGIFCommentExtension*>(&frame.Extensions[1]);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->Text, (TGIFLines{"one", "two"}));
    EXPECT_EQ(to.Width() * 10 + to.Height(), 57);
    EXPECT_TRUE(warnings.empty());
    clear();
    EXPECT_TRUE(frame.Empty());
    EXPECT_EQ(frame.Extensions.Count(), 0);
  }
}

// --- cropping ---

TEST(GifCrop, ShrinksToTheOpaquePixels) {
  TGifPictureBase image;
  Build(image, 0, 0, 2, {});
  std::vector<uint8_t> pixels(100, 0);
  for (int y = 2; y <= 7; ++y)
    for (int x = 3; x <= 5; ++x)
      if ((x + y) % 2 || x == 3 || y == 7) pixels[static_cast<size_t>(y * 10 + x)] = 1;
  TGIFSubImage& frame = AddFrame(image, 0, 0, 10, 10, pixels);
  Gce(frame, 0, 0);
  Crop(frame);
  EXPECT_EQ(std::vector<int>({frame.Left(), frame.Top(), frame.Width(), frame.Height()}), std::vector<int>({3, 2, 3, 6}));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(frame.Pixel(x, y), pixels[static_cast<size_t>((y + 2) * 10 + x + 3)]);

  TGIFSubImage& opaque = AddFrame(image, 1, 1, 3, 3, {0, 0, 0, 0, 1, 0, 0, 0, 0});
  Crop(opaque);  // no transparency: left alone
  EXPECT_EQ(opaque.Width(), 3);

  TGIFSubImage& nothing = AddFrame(image, 1, 1, 3, 3, std::vector<uint8_t>(9, 1));
  Gce(nothing, 0, 1);
  Crop(nothing);
  EXPECT_TRUE(nothing.Empty());
}

// --- merging ---

// The last frame merges into the one before it, and the screens stay as they were. Nothing merges
// after a frame that is disposed of, nor into a frame whose table has no room. Another frame's
// transparent index of the global table may serve only when no pixel of this frame has it; else
// this frame's pixels of that colour would vanish.
TEST(GifMerge, PixelsThatTheFrameBelowShowsBecomeTransparent) {
  struct Case {
    const char* name;
    int colors;
    std::vector<TFrameSpec> frames;
    int transparent;
    std::vector<uint8_t> merged;
    int globalColors;  // after
    std::vector<TGIFColor> local = {};
  };
  const std::vector<uint8_t> nine = {0, 1, 2, 1, 2, 0, 2, 0, 1}, four = {0, 1, 1, 0};
  const Case cases[] = {
      {"identical, the first transparent where 2", 3, {{0, 0, 3, 3, nine, 1, 0, 2}, {0, 0, 3, 3, nine, -1}}, 3,
       {3, 3, 2, 3, 2, 3, 2, 3, 3}, 4},
      {"below disposed to the background", 2, {{0, 0, 2, 2, four, 2}, {0, 0, 2, 2, four, -1}}, -1, four, 2},
      {"below restored", 2, {{0, 0, 2, 2, four, 3}, {0, 0, 2, 2, four, -1}}, -1, four, 2},
      {"a full table", 256, {{0, 0, 2, 2, four, -1}, {0, 0, 2, 2, four, -1}}, -1, four, 256},
      {"the overlap only, equal colours across tables", 3, {{0, 0, 3, 1, {1, 2, 1}, -1}, {1, 0, 3, 1, {1, 0, 0}, -1}},
       2, {1, 2, 0}, 3, {ColorOf(1), {0, 0, 254}}},
      {"another frame's index, not in this frame", 4,
       {{0, 0, 1, 1, {1}, 1, 0, 3}, {0, 0, 3, 1, {1, 2, 2}, -1}, {0, 0, 3, 1, {1, 1, 2}, -1}}, 3, {3, 1, 3}, 4},
      {"another frame's index, in this frame", 4,
       {{0, 0, 1, 1, {1}, 1, 0, 3}, {0, 0, 3, 1, {1, 2, 2}, -1}, {0, 0, 3, 1, {1, 3, 2}, -1}}, 4, {4, 3, 4}, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TGifPictureBase image;
    Build(image, 0, 0, c.colors, c.frames);  // the frames give the screen
    TGIFSubImage& frame = image.Images[image.Images.Count() - 1];
    for (TGIFColor color : c.local) frame.ColorMap.Add(color);
    const auto before = Screens(image);
    Merge(frame, &image.Images[image.Images.Count() - 2]);
    EXPECT_EQ(TransparentOf(frame), c.transparent);
    EXPECT_EQ(frame.Data(), c.merged);
    EXPECT_EQ(image.Header.ColorMap.Count(), c.globalColors);
    if (!c.local.empty()) {
      EXPECT_EQ(frame.ColorMap.Count(), 3);  // the transparent colour appended
    }
    EXPECT_EQ(Screens(image), before);
  }
}
