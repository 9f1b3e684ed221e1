#include <gtest/gtest.h>

#include <QImage>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "gif/GifCompose.h"
#include "gif/gui/GifConvert.h"
#include "gif/gui/GifReduce.h"
#include "htmlview/dither/Dither.h"
#include "platform/core/MemoryStream.h"
#include "tests/gif/GifTestSupport.h"

using namespace gif;
using namespace gif::test;

namespace {

void Colors(TGIFColorMap& map, std::initializer_list<uint32_t> rgbs) {
  for (uint32_t c : rgbs)
    map.Add({static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
}

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

// A true-colour picture of width x height whose pixel i has colour i (so all colours differ).
QImage DistinctColors(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int i = y * width + x;
      image.setPixel(x, y, qRgb(i * 7 & 0xFF, i * 13 & 0xFF, i / 2 & 0xFF));
    }
  return image;
}

QImage Indexed(int width, int height, const std::vector<QRgb>& table) {
  QImage image(width, height, QImage::Format_Indexed8);
  image.setColorTable(QList<QRgb>(table.begin(), table.end()));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.setPixel(x, y, static_cast<uint>((y * width + x) % static_cast<int>(table.size())));
  return image;
}

}  // namespace

// --- pictures into frames ---

TEST(GifConvert, TooManyColoursOverflowWithoutReductionAndBecomeTheCubeWithIt) {
  const QImage picture = DistinctColors(20, 15);  // 300 colours
  TGifPictureBase image;
  TGIFSubImage& frame = NewFrame(image);
  TGifConvertSettings keep;
  keep.ColorReduction = 0;
  EXPECT_EQ(ErrorOf([&] { AssignImage(frame, picture, keep); }), sTooManyColors);

  AssignImage(frame, picture, TGifConvertSettings{});
  ASSERT_EQ(frame.ColorMap.Count(), 216);
  const TPalette cube = htmlview::WebPalette();
  for (int i = 0; i < 216; ++i) {
    const TGIFColor c = frame.ColorMap.Color(i);
    EXPECT_EQ((TGIFColor{cube[i].peRed, cube[i].peGreen, cube[i].peBlue}), c) << i;
  }
  // The cube colour of each pixel: each channel to a multiple of 51, as the cube lookup rounds.
  for (int y = 0; y < 15; ++y)
    for (int x = 0; x < 20; ++x) {
      const QRgb want = picture.pixel(x, y);
      const TGIFColor got = frame.ColorMap.Color(frame.Pixel(x, y));
      EXPECT_EQ(got.Red, (qRed(want) + 3) / 51 * 51);
      EXPECT_EQ(got.Green, (qGreen(want) + 3) / 51 * 51);
      EXPECT_EQ(got.Blue, (qBlue(want) + 3) / 51 * 51);
    }
  EXPECT_EQ(image.Width(), 20);
  EXPECT_EQ(image.Height(), 15);
}

TEST(GifConvert, FewTrueColoursKeepTheirOwnTableWithMethod0) {
  QImage picture(5, 2, QImage::Format_RGB888);
  picture.fill(qRgb(1, 2, 3));
  picture.setPixel(4, 1, qRgb(200, 100, 50));
  TGifPictureBase image;
  TGIFSubImage& frame = NewFrame(image);
  TGifConvertSettings keep;
  keep.ColorReduction = 0;
  AssignImage(frame, picture, keep);
  ASSERT_EQ(frame.ColorMap.Count(), 2);
  EXPECT_EQ(frame.ColorMap.Color(frame.Pixel(0, 0)), (TGIFColor{1, 2, 3}));
  EXPECT_EQ(frame.ColorMap.Color(frame.Pixel(4, 1)), (TGIFColor{200, 100, 50}));
  EXPECT_EQ(frame.GraphicControlExtension(), nullptr);
}

TEST(GifConvert, PalettedPicturesKeepTheirPixelValuesAndTableOrder) {
  const std::vector<QRgb> table = {qRgb(9, 9, 9), qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(1, 2, 3), qRgb(40, 50, 60)};
  const QImage picture = Indexed(7, 3, table);
  TGifPictureBase image;
  TGIFSubImage& frame = NewFrame(image);
  AssignImage(frame, picture, {});
  ASSERT_EQ(frame.ColorMap.Count(), 5);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(frame.ColorMap.Color(i), (TGIFColor{static_cast<uint8_t>(qRed(table[i])),
                                                  static_cast<uint8_t>(qGreen(table[i])),
                                                  static_cast<uint8_t>(qBlue(table[i]))}));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(frame.Pixel(x, y), (y * 7 + x) % 5);

  // Pixels beyond a short table show black, and the frame can still be saved.
  QImage shortTable = Indexed(7, 3, table);
  shortTable.setColorTable({qRgb(9, 9, 9), qRgb(255, 0, 0)});
  TGifPictureBase alone;
  TGIFSubImage& padded = NewFrame(alone);
  AssignImage(padded, shortTable, {});
  ASSERT_EQ(padded.ColorMap.Count(), 5);
  EXPECT_EQ(padded.ColorMap.Color(4), TGIFColor{});
  TMemoryStream saved;
  EXPECT_NO_THROW(alone.SaveToStream(saved));

  // One bit a pixel, most significant first, over a width that is no multiple of 8.
  QImage mono(11, 2, QImage::Format_Mono);
  mono.setColorTable({qRgb(10, 20, 30), qRgb(250, 240, 230)});
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 11; ++x) mono.setPixel(x, y, static_cast<uint>((x * 3 + y) % 2));
  TGIFSubImage& bits = NewFrame(image);
  AssignImage(bits, mono, {});
  ASSERT_EQ(bits.ColorMap.Count(), 2);
  EXPECT_EQ(bits.ColorMap.Color(1), (TGIFColor{250, 240, 230}));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 11; ++x) EXPECT_EQ(bits.Pixel(x, y), (x * 3 + y) % 2) << x << "," << y;
}

TEST(GifConvert, TransparentPicturesGetATransparentColourWhenTheTableHasRoom) {
  struct Case {
    const char* name;
    int colors;         // of the paletted picture, every one used
    bool viaAlpha;      // an alpha channel rather than the Transparent flag
    bool transparent;   // the frame comes out with transparency
  };
  const Case cases[] = {
      {"flag, 4 colours", 4, false, true},
      {"alpha, 4 colours", 4, true, true},
      {"flag, 256 colours", 256, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<QRgb> table;
    for (int i = 0; i < c.colors; ++i) table.push_back(qRgb(i, 255 - i, 3));
    QImage picture = Indexed(16, 16, table);  // the bottom-left pixel has index 240 % colors
    TBitmap bitmap;
    if (c.viaAlpha) {
      picture = picture.convertToFormat(QImage::Format_ARGB32);
      for (int x = 0; x < 16; ++x) picture.setPixel(x, 15, qRgba(0, 0, 0, x < 8 ? 0 : 127));
      picture.setPixel(0, 0, qRgba(5, 5, 5, 128));  // just opaque
    }
    bitmap.Image() = picture;
    bitmap.Transparent = !c.viaAlpha;
    TGifPictureBase image;
    TGIFSubImage& frame = NewFrame(image);
    AssignBitmap(frame, bitmap, {});
    const int t = TransparentOf(frame);
    ASSERT_EQ(t >= 0, c.transparent);
    if (!c.transparent) {
      EXPECT_EQ(frame.GraphicControlExtension(), nullptr);
      continue;
    }
    const QRgb key = picture.pixel(0, 15);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const QRgb p = picture.pixel(x, y);
        const bool want = c.viaAlpha ? qAlpha(p) < 128 : (p & 0xFFFFFF) == (key & 0xFFFFFF);
        EXPECT_EQ(frame.Pixel(x, y) == t, want) << x << "," << y;
        if (!want && !c.viaAlpha) {
          const TGIFColor shown = frame.ColorMap.Color(frame.Pixel(x, y));
          EXPECT_EQ((TGIFColor{static_cast<uint8_t>(qRed(p)), static_cast<uint8_t>(qGreen(p)), static_cast<uint8_t>(qBlue(p))}),
                    shown);
        }
      }
  }
}

TEST(GifConvert, ReductionsThatDoNotExistAreRefused) {
  const QImage picture = DistinctColors(4, 3);
  struct Case {
    int method, bits, mode;
    std::string error;
  };
  const Case cases[] = {
      {10, 8, 0, sInvalidReduction},  // no such method
      {6, 8, 7, sInvalidReduction},   // no such dither mode
      {9, 8, 0, sInvalidReduction},   // a given palette, and none given
      {7, 0, 0, "Invalid number of reduction bits: 0 (1 to 8)"},
      {7, 9, 0, "Invalid number of reduction bits: 9 (1 to 8)"},
      {7, 32, 0, "Invalid number of reduction bits: 32 (1 to 8)"},
  };
  for (const Case& c : cases) {
    TGifPictureBase image;
    std::vector<std::pair<TProgressStage, int>> progress;
    image.OnProgress = [&](TProgressStage s, int p, const std::string& m) {
      EXPECT_EQ(m, sConverting);
      progress.emplace_back(s, p);
    };
    TGIFSubImage& frame = NewFrame(image);
    TGifConvertSettings settings;
    settings.ColorReduction = static_cast<uint8_t>(c.method);
    settings.ReductionBits = c.bits;
    settings.DitherMode = static_cast<uint8_t>(c.mode);
    EXPECT_EQ(ErrorOf([&] { AssignImage(frame, picture, settings); }), c.error) << c.method << " " << c.bits;
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(psEnding, 0));
  }
  // Method 7 with 4 bits gives a table of at most 16 colours; every dither mode works.
  for (int mode = 0; mode <= 6; ++mode) {
    TGifPictureBase image;
    TGIFSubImage& frame = NewFrame(image);
    TGifConvertSettings settings;
    settings.ColorReduction = 7;
    settings.ReductionBits = 4;
    settings.DitherMode = static_cast<uint8_t>(mode);
    AssignImage(frame, DistinctColors(9, 7), settings);
    EXPECT_LE(frame.ColorMap.Count(), 16);
    EXPECT_GT(frame.ColorMap.Count(), 1);
    for (uint8_t p : frame.Data()) EXPECT_LT(p, frame.ColorMap.Count());
  }
}

TEST(GifConvert, ProgressEndsAtAHundredAfterAConversion) {
  TGifPictureBase image;
  std::vector<std::pair<TProgressStage, int>> progress;
  image.OnProgress = [&](TProgressStage s, int p, const std::string&) { progress.emplace_back(s, p); };
  AssignImage(NewFrame(image), DistinctColors(10, 70), {});
  ASSERT_GE(progress.size(), 5u);  // starting, rows 0, 32, 64, ending
  EXPECT_EQ(progress.front(), std::make_pair(psStarting, 0));
  EXPECT_EQ(progress[2], std::make_pair(psRunning, 32 * 100 / 70));
  EXPECT_EQ(progress.back(), std::make_pair(psEnding, 100));
}

TEST(GifConvert, EmptyPicturesClearTheFrame) {
  TGifPictureBase image;
  TGIFSubImage& frame = AddFrame(image, 0, 0, 2, 2, {1, 1, 1, 1});
  Gce(frame, 1);
  AssignImage(frame, QImage(), {});
  EXPECT_TRUE(frame.Empty());
  EXPECT_EQ(frame.Extensions.Count(), 0);
}

TEST(GifConvert, AFrameCopiesAnotherWholly) {
  TGifPictureBase from;
  Colors(from.Header.ColorMap, {0x000000, 0xFFFFFF});
  TGIFSubImage& source = AddFrame(from, 3, 4, 2, 3, {0, 1, 2, 1, 0, 2});
  Colors(source.ColorMap, {0x102030, 0x405060, 0x708090});
  source.SetInterlaced(true);
  Gce(source, 2, 2, 77);
  auto comment = std::make_unique<TGIFCommentExtension>(&source);
  comment->Text = {"one", "two"};
  source.Extensions.Add(std::move(comment));

  TGifPictureBase to;
  TGIFSubImage& frame = NewFrame(to);
  AssignFrame(frame, source);
  AssignFrame(frame, frame);  // itself: nothing
  EXPECT_EQ(frame.Left(), 3);
  EXPECT_EQ(frame.Top(), 4);
  EXPECT_EQ(frame.Width(), 2);
  EXPECT_EQ(frame.Height(), 3);
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
  EXPECT_EQ(gce->Delay, 77);
  EXPECT_EQ(gce->Disposal(), 2);
  EXPECT_EQ(gce->TransparentColorIndex(), 2);
  const auto* text = dynamic_cast<const TGIFCommentExtension*>(&frame.Extensions[1]);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->Text, (TGIFLines{"one", "two"}));
  // The screen grows to hold the copy, without warnings.
  EXPECT_EQ(to.Width(), 5);
  EXPECT_EQ(to.Height(), 7);

  TGifPictureBase empty;
  TGIFSubImage& blank = NewFrame(empty);
  AssignFrame(frame, blank);
  EXPECT_TRUE(frame.Empty());
  EXPECT_EQ(frame.Extensions.Count(), 0);
}

TEST(GifConvert, GrowScreenHoldsEveryFrameWithoutWarnings) {
  TGifPictureBase image;
  std::vector<std::string> warnings;
  image.OnWarning = [&](TGIFSeverity, const std::string& m) { warnings.push_back(m); };
  AddFrame(image, 2, 1, 3, 3, std::vector<uint8_t>(9));
  image.Header.Width = image.Header.Height = 1;
  GrowScreen(image);
  EXPECT_EQ(image.Width(), 5);
  EXPECT_EQ(image.Height(), 4);
  EXPECT_TRUE(warnings.empty());
}

// --- cropping ---

TEST(GifCrop, ShrinksToTheOpaquePixels) {
  TGifPictureBase image;
  Colors(image.Header.ColorMap, {0x000000, 0xFF0000});
  std::vector<uint8_t> pixels(100, 0);
  for (int y = 2; y <= 7; ++y)
    for (int x = 3; x <= 5; ++x)
      if ((x + y) % 2 || x == 3 || y == 7) pixels[static_cast<size_t>(y * 10 + x)] = 1;
  TGIFSubImage& frame = AddFrame(image, 0, 0, 10, 10, pixels);
  Gce(frame, 0, 0);
  Crop(frame);
  EXPECT_EQ(frame.Left(), 3);
  EXPECT_EQ(frame.Top(), 2);
  EXPECT_EQ(frame.Width(), 3);
  EXPECT_EQ(frame.Height(), 6);
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

TEST(GifMerge, IdenticalOpaqueFramesLeaveTheSecondTransparentWhereTheFirstShows) {
  TGifPictureBase image;
  Colors(image.Header.ColorMap, {0x000000, 0xFF0000, 0x00FF00});
  const std::vector<uint8_t> pixels = {0, 1, 2, 1, 2, 0, 2, 0, 1};
  TGIFSubImage& first = AddFrame(image, 0, 0, 3, 3, pixels);
  Gce(first, 1, 2);  // its pixels of index 2 are transparent
  TGIFSubImage& second = AddFrame(image, 0, 0, 3, 3, pixels);
  const auto before = Screens(image);
  Merge(second, &first);
  const int t = TransparentOf(second);
  ASSERT_GE(t, 0);
  EXPECT_EQ(t, 3);  // black appended to the global table
  for (size_t i = 0; i < pixels.size(); ++i) EXPECT_EQ(second.Data()[i] == t, pixels[i] != 2) << i;
  EXPECT_EQ(Screens(image), before);
}

// Nothing merges after a frame that is disposed of, nor into a frame whose table has no room.
TEST(GifMerge, NothingWhereTheFrameBelowGoesOrNoTransparentColourFits) {
  for (int disposal : {2, 3, -1}) {
    TGifPictureBase image;
    Colors(image.Header.ColorMap, {0x000000, 0xFF0000});
    while (disposal < 0 && image.Header.ColorMap.Count() < 256) image.Header.ColorMap.Add({9, 9, 9});
    TGIFSubImage& first = AddFrame(image, 0, 0, 2, 2, {0, 1, 1, 0});
    if (disposal >= 0) Gce(first, disposal);
    TGIFSubImage& second = AddFrame(image, 0, 0, 2, 2, {0, 1, 1, 0});
    const int colors = image.Header.ColorMap.Count();
    Merge(second, &first);
    EXPECT_EQ(second.Data(), (std::vector<uint8_t>{0, 1, 1, 0})) << disposal;
    EXPECT_EQ(TransparentOf(second), -1);
    EXPECT_EQ(image.Header.ColorMap.Count(), colors);
  }
}

TEST(GifMerge, OnlyTheOverlapAndEqualColoursAcrossTables) {
  TGifPictureBase image;
  Colors(image.Header.ColorMap, {0x000000, 0xFF0000, 0x0000FF});
  TGIFSubImage& first = AddFrame(image, 0, 0, 3, 1, {1, 2, 1});
  // Local table: entry 0 is the global red, entry 1 a colour of its own.
  TGIFSubImage& second = AddFrame(image, 1, 0, 3, 1, {1, 0, 0});
  Colors(second.ColorMap, {0xFF0000, 0x0000FE});
  const auto before = Screens(image);
  Merge(second, &first);
  const int t = TransparentOf(second);
  EXPECT_EQ(t, 2);  // appended to the local table
  EXPECT_EQ(second.ColorMap.Count(), 3);
  EXPECT_EQ(second.Data(), (std::vector<uint8_t>{1, 2, 0}));  // the last pixel lies beyond the first frame
  EXPECT_EQ(Screens(image), before);
}

// Another frame's transparent index of the global table may serve only when no pixel of this
// frame has it; else this frame's pixels of that colour would vanish.
TEST(GifMerge, ReusesAnotherFramesTransparentIndexOnlyWhenThisFrameHasNone) {
  for (bool hasIt : {false, true}) {
    SCOPED_TRACE(hasIt ? "the frame shows index 3" : "the frame lacks index 3");
    TGifPictureBase image;
    Colors(image.Header.ColorMap, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF});
    TGIFSubImage& other = AddFrame(image, 0, 0, 1, 1, {1});
    Gce(other, 1, 3);
    TGIFSubImage& first = AddFrame(image, 0, 0, 3, 1, {1, 2, 2});
    TGIFSubImage& second = AddFrame(image, 0, 0, 3, 1, {1, hasIt ? uint8_t{3} : uint8_t{1}, 2});
    const auto before = Screens(image);
    Merge(second, &first);
    const int t = TransparentOf(second);
    EXPECT_EQ(t, hasIt ? 4 : 3);
    EXPECT_EQ(image.Header.ColorMap.Count(), hasIt ? 5 : 4);
    EXPECT_EQ(second.Data(), (std::vector<uint8_t>{static_cast<uint8_t>(t), hasIt ? uint8_t{3} : uint8_t{1},
                                                   static_cast<uint8_t>(t)}));
    EXPECT_EQ(Screens(image), before);
  }
}
