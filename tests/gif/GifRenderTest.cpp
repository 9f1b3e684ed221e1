// Frames rendered to bitmaps and masks, and drawn into filled images: scaled, tiled, through
// their masks or opaque.
#include <gtest/gtest.h>

#include <QImage>
#include <QPaintEngine>
#include <string>
#include <vector>

#include "gif/gui/GifConvert.h"
#include "gif/gui/GifPicture.h"
#include "gif/gui/GifRender.h"
#include "tests/gif/GifTestSupport.h"

using namespace gif;
using namespace gif::test;

namespace {

constexpr QRgb Fill = 0xFFFF0000;  // what the destination holds before drawing

// A frame with a control extension only when it has a transparent index.
TFrameSpec Frame(int left, int top, int width, int height, std::vector<uint8_t> pixels, int transparent = -1) {
  return {left, top, width, height, std::move(pixels), transparent >= 0 ? 0 : -1, 0, transparent};
}

std::unique_ptr<TGifPicture> Picture(int width, int height, const std::vector<TFrameSpec>& frames, int colors = 4) {
  auto picture = std::make_unique<TGifPicture>();
  Build(*picture, width, height, colors, frames);
  return picture;
}

// Frame 0 rendered on a paletted display.
TGIFRendering* Dithered(TGifPicture& picture) {
  picture.DrawOptions = DefaultDrawOptions;
  PalettedDisplay = true;
  EXPECT_TRUE(picture.Dithering());
  TGIFRendering* rendering = picture.Rendering(picture.Images[0]);
  PalettedDisplay = false;
  return rendering;
}

// A device that counts the pictures drawn on it, wherever they land.
class TCountingDevice : public QPaintDevice {
 public:
  TCountingDevice(int width, int height) : width_(width), height_(height) {}
  QPaintEngine* paintEngine() const override { return &engine_; }
  int Images() const { return engine_.Images; }

 protected:
  int metric(PaintDeviceMetric m) const override {
    switch (m) {
      case PdmWidth: return width_;
      case PdmHeight: return height_;
      case PdmDepth: return 32;
      case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return 96;
      default: return QPaintDevice::metric(m);
    }
  }

 private:
  struct TEngine : QPaintEngine {
    TEngine() : QPaintEngine(AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override { ++Images; }
    Type type() const override { return User; }
    int Images = 0;
  };
  mutable TEngine engine_;
  int width_, height_;
};

}  // namespace

// Each case: a picture drawn into a rectangle of a filled canvas; '.' is the canvas, 'k' black.
// Rectangles far larger than the canvas scale and tile only what the canvas shows.
TEST(GifRender, DrawsScaledTiledAndThroughTheMask) {
  struct Case {
    const char* name;
    int screenWidth, screenHeight;
    std::vector<TFrameSpec> frames;
    int canvasWidth, canvasHeight;
    TRect rect;
    uint16_t options;
    const char* rows;
    int colors = 4;
  };
  const TFrameSpec masked = Frame(0, 0, 4, 2, {0, 1, 2, 1, 1, 1, 3, 0}, 1);
  const TFrameSpec quarters = Frame(0, 0, 2, 2, {1, 2, 3, 1}), dot = Frame(1, 1, 1, 1, {2});
  const TRect huge{-8997, -8998, 9003, 9002};  // 9,000 pixels a screen pixel; the canvas at the corner
  const Case cases[] = {
      {"transparent", 4, 2, {masked}, 4, 2, {0, 0, 4, 2}, goTransparent, "0.2.|..30|"},
      {"opaque", 4, 2, {masked}, 4, 2, {0, 0, 4, 2}, 0, "0121|1130|"},
      {"an index no pixel has", 3, 1, {Frame(0, 0, 3, 1, {0, 2, 0}, 1)}, 3, 1, {0, 0, 3, 1}, goTransparent, "020|"},
      {"indices beyond the table", 2, 1, {Frame(0, 0, 2, 1, {1, 3})}, 2, 1, {0, 0, 2, 1}, 0, "1k|", 2},
      {"scaled by the nearest pixel", 3, 1, {Frame(1, 0, 2, 1, {2, 3})}, 8, 3, {1, 1, 7, 3}, 0,
       "........|...2233.|...2233.|"},
      {"tiles step by the screen", 3, 2, {dot}, 7, 5, {0, 0, 7, 5}, goTile, ".......|.2..2..|.......|.2..2..|.......|"},
      {"tiles start at the rectangle", 3, 2, {dot}, 5, 3, {1, 0, 5, 3}, goTile, ".....|..2..|.....|"},
      {"transparent tiles", 2, 1, {Frame(0, 0, 2, 1, {1, 2}, 1)}, 5, 1, {0, 0, 5, 1}, goTile | goTransparent, ".2.2.|"},
      {"a screen of no size", 0, 0, {quarters}, 3, 3, {0, 0, 3, 3}, goTile, "...|...|...|"},
      {"an empty rectangle", 2, 1, {Frame(0, 0, 2, 1, {1, 2})}, 2, 1, {1, 0, 1, 1}, 0, "..|"},
      {"no frames", 2, 1, {}, 2, 1, {0, 0, 2, 1}, 0, "..|"},
      {"huge, scaled", 2, 2, {quarters}, 6, 4, huge, 0, "111222|111222|333111|333111|"},
      {"huge, through the mask", 2, 2, {Frame(0, 0, 2, 2, {1, 2, 3, 1}, 1)}, 6, 4, huge, goTransparent,
       "...222|...222|333...|333...|"},
      {"huge, animated", 2, 2, {quarters, quarters}, 6, 4, huge, goAsync | goAnimate, "111222|111222|333111|333111|"},
      {"huge, tiled", 3, 2, {dot}, 7, 5, {-30000, -20000, 30000, 20000}, goTile,
       ".......|.2..2..|.......|.2..2..|.......|"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto picture = Picture(c.screenWidth, c.screenHeight, c.frames, c.colors);
    picture->Header.Width = c.screenWidth;  // as it stands, even where the frames reach beyond it
    picture->Header.Height = c.screenHeight;
    picture->DrawOptions = c.options;
    QImage image(c.canvasWidth, c.canvasHeight, QImage::Format_ARGB32);
    image.fill(Fill);
    {
      TCanvas canvas(&image);
      picture->Draw(canvas, c.rect);
    }
    EXPECT_EQ(Rows(image, Fill), c.rows);
  }
}

// The tiles of a rectangle far larger than the device that the device cannot show are never drawn:
// tiling costs what the device shows.
TEST(GifRender, TilingDrawsOnlyTheTilesTheDeviceShows) {
  auto picture = Picture(3, 2, {Frame(1, 1, 1, 1, {2})});
  picture->DrawOptions = goTile;
  TCountingDevice device(7, 5);
  {
    TCanvas canvas(&device);
    picture->Draw(canvas, {-3000, -2000, 3000, 2000});
  }
  EXPECT_EQ(device.Images(), 4);  // at columns 1 and 4, rows 1 and 3
}

TEST(GifRender, DitheringOnAPalettedDisplayUsesTheWebPaletteAndKeepsTheMask) {
  auto picture = Picture(4, 1, {Frame(0, 0, 4, 1, {0, 1, 3, 0}, 1)}, 0);
  for (TGIFColor c : {TGIFColor{255, 0, 0}, TGIFColor{9, 9, 9}, TGIFColor{0, 0, 0}, TGIFColor{0, 0, 255}})
    picture->Header.ColorMap.Add(c);
  picture->DrawOptions = DefaultDrawOptions;
  EXPECT_FALSE(picture->Dithering());  // no display here is paletted
  const TGIFRendering* rendering = Dithered(*picture);
  const QImage& image = rendering->Bitmap->Image();
  EXPECT_EQ(image.colorCount(), 216);
  EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(2, 0), qRgb(0, 0, 255));
  ASSERT_FALSE(rendering->Mask.isNull());
  EXPECT_EQ(rendering->Mask.constScanLine(0)[0] & 0xF0, 0x40);  // most significant bit first
  // Back on an ordinary display the frame renders on its own colours again.
  EXPECT_EQ(picture->Rendering(picture->Images[0])->Bitmap->Image().colorCount(), 4);

  // A transparent pixel is passed over: its colour spreads nothing into its neighbour.
  auto grey = Picture(2, 1, {Frame(0, 0, 2, 1, {0, 1}, 0)}, 0);
  grey->Header.ColorMap.Add({25, 25, 25});
  grey->Header.ColorMap.Add({40, 40, 40});
  EXPECT_EQ(Dithered(*grey)->Bitmap->Image().pixel(1, 0), qRgb(0, 0, 0));
}

TEST(GifRender, RenderingReportsProgressAndIsKeptUntilTheFrameChanges) {
  auto picture = Picture(2, 40, {Frame(0, 0, 2, 40, std::vector<uint8_t>(80, 1))});
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
  EXPECT_EQ(picture->Rendering(picture->Images[0])->Bitmap->Image().constScanLine(0)[0], 2);
  // So is a merge, which changes pixels in place.
  TGIFSubImage& second = picture->Images[picture->Add(std::make_unique<TGIFSubImage>(picture.get()))];
  second.SetBounds(0, 0, 2, 40);
  second.Data() = picture->Images[0].Data();
  Gce(second, 0, 3);
  EXPECT_TRUE(picture->Rendering(second)->Mask.isNull());
  Merge(second, &picture->Images[0]);
  EXPECT_FALSE(picture->Rendering(second)->Mask.isNull());
}

TEST(GifRender, TheFramesPaletteIsItsLocalTableElseThePictures) {
  auto picture = Picture(1, 1, {Frame(0, 0, 1, 1, {0}), Frame(0, 0, 1, 1, {0})});
  picture->Images[1].ColorMap.Add({1, 2, 3});
  EXPECT_EQ(picture->FramePalette(picture->Images[0]).size(), 4u);
  ASSERT_EQ(picture->FramePalette(picture->Images[1]).size(), 1u);
  EXPECT_EQ(picture->FramePalette(picture->Images[1])[0].peBlue, 3);
  picture->Header.ColorMap.Clear();
  EXPECT_EQ(picture->FramePalette(picture->Images[0]).size(), 0u);
}
