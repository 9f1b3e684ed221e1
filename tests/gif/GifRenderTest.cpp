// Frames rendered to bitmaps and masks, and drawn into filled images: scaled, tiled, through
// their masks or opaque.
#include <gtest/gtest.h>

#include <QImage>
#include <string>
#include <vector>

#include "gif/gui/GifPicture.h"
#include "gif/gui/GifRender.h"

using namespace gif;

namespace {

constexpr QRgb Fill = 0xFFFF0000;  // what the destination holds before drawing

struct Frame {
  int Left, Top, Width, Height;
  std::vector<uint8_t> Pixels;
  int Transparent = -1;
};

// Global colours: index i is (i * 40, 255 - i * 40, i * 10 + 5).
QRgb ColorOf(int i) { return qRgb(i * 40, 255 - i * 40, i * 10 + 5); }

std::unique_ptr<TGifPicture> Picture(int width, int height, const std::vector<Frame>& frames, int colors = 4) {
  auto picture = std::make_unique<TGifPicture>();
  picture->Header.Width = width;
  picture->Header.Height = height;
  for (int i = 0; i < colors; ++i)
    picture->Header.ColorMap.Add({static_cast<uint8_t>(qRed(ColorOf(i))), static_cast<uint8_t>(qGreen(ColorOf(i))),
                                  static_cast<uint8_t>(qBlue(ColorOf(i)))});
  for (const Frame& f : frames) {
    auto frame = std::make_unique<TGIFSubImage>(picture.get());
    frame->SetBounds(f.Left, f.Top, f.Width, f.Height);
    frame->Data() = f.Pixels;
    if (f.Transparent >= 0) {
      auto gce = std::make_unique<TGIFGraphicControlExtension>(frame.get());
      gce->SetTransparent(true);
      gce->SetTransparentColorIndex(f.Transparent);
      frame->Extensions.Add(std::move(gce));
    }
    picture->Images.Add(std::move(frame));
  }
  return picture;
}

QImage Filled(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(Fill);
  return image;
}

// Draws the picture's current frame into a filled image.
QImage Drawn(TGifPicture& picture, int width, int height, const TRect& rect, uint16_t options) {
  picture.DrawOptions = options;
  QImage image = Filled(width, height);
  {
    TCanvas canvas(&image);
    picture.Draw(canvas, rect);
  }
  return image;
}

std::string Rows(const QImage& image) {
  std::string s;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      int index = -1;
      for (int i = 0; i < 8 && index < 0; ++i)
        if (p == ColorOf(i)) index = i;
      s += p == Fill ? '.' : p == 0xFF000000 ? 'k' : index >= 0 ? static_cast<char>('0' + index) : '?';
    }
    s += '|';
  }
  return s;
}

}  // namespace

TEST(GifRender, TransparentPixelsKeepTheDestinationOnlyWhenDrawnTransparent) {
  auto picture = Picture(4, 2, {{0, 0, 4, 2, {0, 1, 2, 1, 1, 1, 3, 0}, 1}});
  EXPECT_EQ(Rows(Drawn(*picture, 4, 2, {0, 0, 4, 2}, goTransparent)), "0.2.|..30|");
  EXPECT_EQ(Rows(Drawn(*picture, 4, 2, {0, 0, 4, 2}, 0)), "0121|1130|");
}

TEST(GifRender, ATransparentIndexThatNoPixelHasDrawsOpaque) {
  auto picture = Picture(3, 1, {{0, 0, 3, 1, {0, 2, 0}, 1}});
  TGIFRendering* rendering = picture->Rendering(picture->Images[0]);
  ASSERT_NE(rendering, nullptr);
  EXPECT_TRUE(rendering->Mask.isNull());
  EXPECT_EQ(Rows(Drawn(*picture, 3, 1, {0, 0, 3, 1}, goTransparent)), "020|");
}

TEST(GifRender, MaskMarksTheTransparentPixelsMostSignificantBitFirst) {
  std::vector<uint8_t> pixels(10, 0);
  pixels[0] = pixels[9] = 3;
  auto picture = Picture(10, 1, {{0, 0, 10, 1, pixels, 3}});
  TGIFRendering* rendering = picture->Rendering(picture->Images[0]);
  ASSERT_NE(rendering, nullptr);
  ASSERT_EQ(rendering->Mask.format(), QImage::Format_Mono);
  EXPECT_EQ(rendering->Mask.constScanLine(0)[0], 0x80);
  EXPECT_EQ(rendering->Mask.constScanLine(0)[1], 0x40);
  // The bitmap keeps the frame's indices on its palette.
  EXPECT_EQ(rendering->Bitmap->Image().format(), QImage::Format_Indexed8);
  EXPECT_EQ(rendering->Bitmap->Image().constScanLine(0)[9], 3);
}

TEST(GifRender, IndicesBeyondTheColorTableShowBlack) {
  auto picture = Picture(2, 1, {{0, 0, 2, 1, {1, 3}}}, 2);
  EXPECT_EQ(Rows(Drawn(*picture, 2, 1, {0, 0, 2, 1}, 0)), "1k|");
}

TEST(GifRender, FramesScaleIntoTheRectangleByNearestPixel) {
  // A 2 x 1 frame at (1, 0) of a 3 x 1 screen, into a 6 x 2 rectangle at (1, 1).
  auto picture = Picture(3, 1, {{1, 0, 2, 1, {2, 3}}});
  EXPECT_EQ(Rows(Drawn(*picture, 8, 3, {1, 1, 7, 3}, 0)), "........|...2233.|...2233.|");
  const TRect r = ScaleRect(picture->Images[0], {0, 0, 300, 100});
  EXPECT_EQ(r, (TRect{100, 0, 300, 100}));
}

TEST(GifRender, ScaleRectMapsTheScreenOntoTheDestination) {
  auto picture = Picture(100, 100, {{10, 10, 20, 30, std::vector<uint8_t>(600, 0)}});
  EXPECT_EQ(ScaleRect(picture->Images[0], {0, 0, 200, 200}), (TRect{20, 20, 60, 80}));
  EXPECT_EQ(ScaleRect(picture->Images[0], {5, 7, 105, 107}), (TRect{15, 17, 35, 47}));
}

TEST(GifRender, TilesStepByTheScreenSizeNotTheFrameSize) {
  // A 1 x 1 frame at (1, 1) of a 3 x 2 screen, tiled over 7 x 5.
  auto picture = Picture(3, 2, {{1, 1, 1, 1, {2}}});
  EXPECT_EQ(Rows(Drawn(*picture, 7, 5, {0, 0, 7, 5}, goTile)), ".......|.2..2..|.......|.2..2..|.......|");
  // Tiles start at the rectangle's corner.
  EXPECT_EQ(Rows(Drawn(*picture, 5, 3, {1, 0, 5, 3}, goTile)), ".....|..2..|.....|");
}

TEST(GifRender, TransparentTilesKeepTheDestination) {
  auto picture = Picture(2, 1, {{0, 0, 2, 1, {1, 2}, 1}});
  EXPECT_EQ(Rows(Drawn(*picture, 5, 1, {0, 0, 5, 1}, goTile | goTransparent)), ".2.2.|");
}

TEST(GifRender, AScreenOfNoSizeDrawsNothingAndTilesNeverAdvance) {
  auto picture = Picture(2, 2, {{0, 0, 2, 2, {1, 1, 1, 1}}});
  picture->Header.Width = 0;
  picture->Header.Height = 0;
  EXPECT_EQ(Rows(Drawn(*picture, 3, 3, {0, 0, 3, 3}, goTile)), "...|...|...|");
  EXPECT_EQ(Rows(Drawn(*picture, 3, 3, {0, 0, 3, 3}, 0)), "...|...|...|");
  const auto tiles = [&](const TRect& rect) {
    int n = 0;
    ForEachTile(picture->Images[0], rect, rect, [&](const TRect&) { ++n; });
    return n;
  };
  EXPECT_EQ(tiles({0, 0, 1000, 1000}), 1);
  picture->Header.Width = 2;  // one step only across
  EXPECT_EQ(tiles({0, 0, 7, 1000}), 4);
}

TEST(GifRender, AnEmptyRectangleOrPictureDrawsNothing) {
  auto picture = Picture(2, 1, {{0, 0, 2, 1, {1, 2}}});
  EXPECT_EQ(Rows(Drawn(*picture, 2, 1, {1, 0, 1, 1}, 0)), "..|");
  EXPECT_EQ(Rows(Drawn(*picture, 2, 1, {0, 1, 2, 0}, 0)), "..|");
  TGifPicture empty;
  EXPECT_EQ(Rows(Drawn(empty, 2, 1, {0, 0, 2, 1}, 0)), "..|");
}

TEST(GifRender, DitheringOnAPalettedDisplayUsesTheWebPaletteAndKeepsTheMask) {
  auto picture = Picture(4, 1, {{0, 0, 4, 1, {0, 1, 3, 0}, 1}});
  picture->Header.ColorMap.Clear();
  for (TGIFColor c : {TGIFColor{255, 0, 0}, TGIFColor{9, 9, 9}, TGIFColor{0, 0, 0}, TGIFColor{0, 0, 255}})
    picture->Header.ColorMap.Add(c);
  picture->DrawOptions = DefaultDrawOptions;
  EXPECT_FALSE(picture->Dithering());  // no display here is paletted
  PalettedDisplay = true;
  EXPECT_TRUE(picture->Dithering());
  TGIFRendering* rendering = picture->Rendering(picture->Images[0]);
  PalettedDisplay = false;
  ASSERT_NE(rendering, nullptr);
  const QImage& image = rendering->Bitmap->Image();
  EXPECT_EQ(image.colorCount(), 216);
  EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(2, 0), qRgb(0, 0, 255));
  ASSERT_FALSE(rendering->Mask.isNull());
  EXPECT_EQ(rendering->Mask.constScanLine(0)[0] & 0xF0, 0x40);
  // Back on an ordinary display the frame renders on its own colours again.
  EXPECT_EQ(picture->Rendering(picture->Images[0])->Bitmap->Image().colorCount(), 4);
}

TEST(GifRender, RenderingReportsProgressAndIsKeptUntilTheFrameChanges) {
  auto picture = Picture(2, 40, {{0, 0, 2, 40, std::vector<uint8_t>(80, 1)}});
  std::vector<std::pair<TProgressStage, int>> reports;
  picture->OnProgress = [&](TProgressStage stage, int percent, const std::string& message) {
    EXPECT_EQ(message, sRendering);
    reports.emplace_back(stage, percent);
  };
  TGIFRendering* first = picture->Rendering(picture->Images[0]);
  const std::vector<std::pair<TProgressStage, int>> expected = {
      {psStarting, 0}, {psRunning, 0}, {psRunning, 80}, {psEnding, 100}};
  EXPECT_EQ(reports, expected);
  EXPECT_EQ(picture->Rendering(picture->Images[0]), first);
  EXPECT_EQ(reports.size(), 4u);
  // A new raster is seen; a change in place is announced.
  picture->Images[0].SetBounds(0, 0, 1, 40);
  EXPECT_EQ(picture->Rendering(picture->Images[0])->Bitmap->Width(), 1);
  picture->Images[0].Data()[0] = 2;
  picture->Changed();
  EXPECT_EQ(picture->Rendering(picture->Images[0])->Bitmap->Image().constScanLine(0)[0], 2);
}

TEST(GifRender, TheFramesPaletteIsItsLocalTableElseThePictures) {
  auto picture = Picture(1, 1, {{0, 0, 1, 1, {0}}, {0, 0, 1, 1, {0}}});
  picture->Images[1].ColorMap.Add({1, 2, 3});
  EXPECT_EQ(picture->FramePalette(picture->Images[0]).size(), 4u);
  ASSERT_EQ(picture->FramePalette(picture->Images[1]).size(), 1u);
  EXPECT_EQ(picture->FramePalette(picture->Images[1])[0].peBlue, 3);
  picture->Header.ColorMap.Clear();
  EXPECT_EQ(picture->FramePalette(picture->Images[0]).size(), 0u);
}
