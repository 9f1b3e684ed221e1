#include <gtest/gtest.h>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "dither/Dither.h"
#include "htmlview/images/HtmlImages.h"
#include "platform/core/MemoryStream.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/htmlview/ViewerSupport.h"
#include "tests/support/LzwCodes.h"
#include "tests/support/TempDir.h"

using namespace htmlview;

namespace {

std::vector<uint8_t> Bytes(const QByteArray& a) { return std::vector<uint8_t>(a.begin(), a.end()); }

std::vector<uint8_t> Saved(const QImage& image, const char* format) {
  const QByteArray data = ImageBytes(image, format);
  EXPECT_FALSE(data.isEmpty());
  return Bytes(data);
}

// A w x h GIF with a 4-colour table (0 red, 1 green, 2 blue, 3 white), one frame per entry of
// frames, every pixel a literal.
std::vector<uint8_t> GifBytes(int w, int h, const std::vector<std::vector<int>>& frames, int transparent = -1) {
  std::vector<uint8_t> b = {'G', 'I', 'F', '8', '9', 'a'};
  auto word = [&](int v) {
    b.push_back(static_cast<uint8_t>(v & 0xFF));
    b.push_back(static_cast<uint8_t>(v >> 8));
  };
  word(w);
  word(h);
  b.insert(b.end(), {0xF1, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255});
  for (const auto& pixels : frames) {
    b.insert(b.end(), {'!', 0xF9, 4, static_cast<uint8_t>(transparent >= 0 ? 1 : 0), 10, 0,
                       static_cast<uint8_t>(transparent & 0xFF), 0});
    b.push_back(',');
    word(0);
    word(0);
    word(w);
    word(h);
    b.push_back(0);
    std::vector<int> codes;
    for (size_t i = 0; i < pixels.size(); ++i) {
      if (i % 2 == 0) codes.push_back(4);  // clear before the code width could grow
      codes.push_back(pixels[i]);
    }
    codes.push_back(5);
    const std::vector<uint8_t> data = PackLzwCodes(2, codes);
    b.push_back(2);
    for (size_t i = 0; i < data.size(); i += 255) {
      const size_t n = std::min<size_t>(255, data.size() - i);
      b.push_back(static_cast<uint8_t>(n));
      b.insert(b.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
    }
    b.push_back(0);
  }
  b.push_back(';');
  return b;
}

// JPEGs written by libjpeg: colour, grey or CMYK input, all 8-bit samples given per pixel.
std::vector<uint8_t> JpegBytes(int w, int h, int components, J_COLOR_SPACE space,
                               const std::function<std::vector<uint8_t>(int x, int y)>& pixel,
                               bool adobeMarker = true) {
  jpeg_compress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = static_cast<JDIMENSION>(w);
  info.image_height = static_cast<JDIMENSION>(h);
  info.input_components = components;
  info.in_color_space = space;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  if (!adobeMarker) info.write_Adobe_marker = FALSE;
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(w * components));
  while (info.next_scanline < info.image_height) {
    for (int x = 0; x < w; ++x) {
      const auto p = pixel(x, static_cast<int>(info.next_scanline));
      std::copy(p.begin(), p.end(), row.begin() + x * components);
    }
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&info, &r, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> bytes(out, out + size);
  std::free(out);
  return bytes;
}

// Left half red, right half blue.
std::vector<uint8_t> HalvesJpeg(int w = 32, int h = 32) {
  return JpegBytes(w, h, 3, JCS_RGB, [w](int x, int) {
    return x < w / 2 ? std::vector<uint8_t>{255, 0, 0} : std::vector<uint8_t>{0, 0, 255};
  });
}

bool Near(QRgb a, QRgb b, int tolerance = 12) {
  return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= tolerance && qAlpha(a) == qAlpha(b);
}

std::string Hex(QRgb c) {
  char s[16];
  std::snprintf(s, sizeof s, "%08X", c);
  return s;
}

struct Loaded {
  std::unique_ptr<THtImage> image;
  std::unique_ptr<TBitmap> mask;
  TTransparency transparent;
};

Loaded Load(const std::vector<uint8_t>& bytes, TTransparency transparent = NotTransp) {
  TMemoryStream stream(bytes);
  Loaded l;
  l.transparent = transparent;
  l.image = LoadImageFromStream(&stream, l.transparent, l.mask);
  return l;
}

class Images : public ::testing::Test {
protected:
  void SetUp() override { EnsureGuiApp(); }
  // Keeps the imaging layer started, as the viewer's cache does.
  TStringBitmapList cache;
};

TEST_F(Images, TypeBySignatureKeepsThePosition) {
  struct Case {
    std::vector<uint8_t> head;
    TImageType type;
  } cases[] = {
      {{'G', 'I', 'F', '8', '9'}, Gif},
      {{0x89, 'P', 'N', 'G', 0}, Png},
      {{'B', 'M', 0, 0, 0}, Bmp},
      {{0xFF, 0xD8, 0xFF, 0xE0, 0}, Jpg},
      {{'G', 'I', 'F', '7', 0}, NoImage},
      {{0xD8, 0xFF, 0, 0, 0}, NoImage},
      {{'B', 'M'}, Bmp},
      {{'B'}, NoImage},
  };
  for (const Case& c : cases) {
    TMemoryStream stream(c.head);
    stream.SetPosition(1);
    EXPECT_EQ(GetImageType(stream), c.type) << int(c.head[0]);
    EXPECT_EQ(stream.GetPosition(), 1);
  }
}

TEST_F(Images, NothingForShortMissingOrUnknownData) {
  TTransparency t = NotTransp;
  std::unique_ptr<TBitmap> mask;
  EXPECT_EQ(LoadImageFromStream(nullptr, t, mask), nullptr);
  EXPECT_EQ(Load({'G', 'I', 'F'}).image, nullptr);
  // Whatever is not a known picture would be a metafile, which has no reader here.
  EXPECT_EQ(Load(std::vector<uint8_t>(200, 0x01)).image, nullptr);
  EXPECT_EQ(Load({0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0}).image, nullptr);
  EXPECT_EQ(LoadImageFromFile(u"/nonexistent/picture.png", t, mask), nullptr);
}

TEST_F(Images, EachKindDispatchesFromAnyPosition) {
  QImage source(4, 3, QImage::Format_RGB32);
  source.fill(qRgb(0, 128, 0));
  for (const char* format : {"BMP", "PNG"}) {
    TMemoryStream stream(Saved(source, format));
    stream.SetPosition(2);  // the loader starts at the beginning whatever the position
    TTransparency t = NotTransp;
    std::unique_ptr<TBitmap> mask;
    auto image = LoadImageFromStream(&stream, t, mask);
    ASSERT_NE(image, nullptr) << format;
    EXPECT_EQ(GetImageWidth(image.get()), 4);
    EXPECT_EQ(GetImageHeight(image.get()), 3);
  }
  auto bmp = Load(Saved(source, "BMP"));
  EXPECT_NE(bmp.image->Bitmap(), nullptr);
  auto png = Load(Saved(source, "PNG"));
  EXPECT_NE(png.image->GpImage(), nullptr);
  auto jpg = Load(HalvesJpeg());
  EXPECT_NE(jpg.image->Bitmap(), nullptr);
  auto gif = Load(GifBytes(2, 1, {{0, 1}}));
  EXPECT_NE(gif.image->Bitmap(), nullptr);
}

TEST_F(Images, PngKeepsItsAlpha) {
  QImage source(2, 1, QImage::Format_ARGB32);
  source.setPixel(0, 0, qRgba(255, 0, 0, 255));
  source.setPixel(1, 0, qRgba(0, 0, 255, 0));
  auto l = Load(Saved(source, "PNG"), LLCorner);
  ASSERT_NE(l.image, nullptr);
  ASSERT_NE(l.image->GpImage(), nullptr);
  EXPECT_EQ(l.transparent, NotTransp);
  EXPECT_EQ(l.mask, nullptr);
  const QImage& image = l.image->GpImage()->Image();
  EXPECT_EQ(qAlpha(image.pixel(0, 0)), 255);
  EXPECT_EQ(qAlpha(image.pixel(1, 0)), 0);
}

TEST_F(Images, BitmapLowerLeftColourBecomesTransparentWhenAsked) {
  QImage source(3, 2, QImage::Format_RGB32);
  source.fill(qRgb(10, 20, 30));
  source.setPixel(1, 0, qRgb(200, 0, 0));
  source.setPixel(2, 1, qRgb(0, 200, 0));
  const auto bytes = Saved(source, "BMP");

  auto plain = Load(bytes);
  EXPECT_EQ(plain.mask, nullptr);
  EXPECT_EQ(qAlpha(plain.image->Bitmap()->Image().pixel(0, 1)), 255);

  auto l = Load(bytes, LLCorner);
  ASSERT_NE(l.mask, nullptr);
  EXPECT_EQ(l.transparent, LLCorner);
  const QImage& image = l.image->Bitmap()->Image();
  const QImage& mask = l.mask->Image();
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      const bool key = image.pixel(x, y) == 0 || qAlpha(image.pixel(x, y)) == 0;
      const bool expected = !((x == 1 && y == 0) || (x == 2 && y == 1));
      EXPECT_EQ(key, expected) << x << "," << y;
      EXPECT_EQ(mask.pixel(x, y), expected ? 0xFFFFFFFFu : 0xFF000000u) << x << "," << y;
    }
}

TEST_F(Images, GifSingleFrameAnimatedAndTransparent) {
  // One frame with transparent index 3: a bitmap with the GIF's mask.
  auto single = Load(GifBytes(2, 2, {{0, 3, 2, 1}}, 3), LLCorner);
  ASSERT_NE(single.image, nullptr);
  ASSERT_NE(single.image->Bitmap(), nullptr);
  EXPECT_EQ(single.transparent, GifTransp);
  ASSERT_NE(single.mask, nullptr);
  EXPECT_EQ(single.mask->Image().pixel(1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(single.mask->Image().pixel(0, 0), 0xFF000000u);
  const QImage& image = single.image->Bitmap()->Image();
  EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(qAlpha(image.pixel(1, 0)), 0);

  // No transparency of its own: the lower-left colour when asked.
  auto opaque = Load(GifBytes(2, 2, {{0, 1, 0, 2}}), LLCorner);
  EXPECT_EQ(opaque.transparent, LLCorner);
  ASSERT_NE(opaque.mask, nullptr);
  EXPECT_EQ(opaque.mask->Image().pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(opaque.mask->Image().pixel(1, 0), 0xFF000000u);
  EXPECT_EQ(Load(GifBytes(2, 2, {{0, 1, 0, 2}})).mask, nullptr);

  // Two frames: the animated picture itself.
  auto animated = Load(GifBytes(2, 1, {{0, 1}, {1, 0}}));
  ASSERT_NE(animated.image->Gif(), nullptr);
  EXPECT_EQ(animated.image->Gif()->NumFrames, 2);
  EXPECT_EQ(GetImageWidth(animated.image.get()), 2);
  EXPECT_EQ(GetImageHeight(animated.image.get()), 1);
}

// TRANSP lets the page show through the picture's lower-left colour, whatever kind of file it
// came from; beside it the same picture without TRANSP stays whole, and a GIF's own
// transparent colour stays the only one.
TEST_F(Images, TranspClearsTheLowerLeftColourOfEveryKind) {
  // 32 x 32: the lower-left quarter blue, the rest red (whole 16-pixel blocks for JPEG).
  auto blueCorner = [](int x, int y) { return x < 16 && y >= 16; };
  QImage picture(32, 32, QImage::Format_RGB32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) picture.setPixel(x, y, blueCorner(x, y) ? 0xFF0000FFu : 0xFFFF0000u);
  std::vector<int> indices;  // the GIF's table: 0 red, 2 blue, 3 white
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) indices.push_back(blueCorner(x, y) ? 2 : 0);
  std::vector<int> ownClear = indices;
  ownClear[31] = 3;  // the top-right pixel is the GIF's transparent one
  struct Case {
    const char* file;
    std::vector<uint8_t> bytes;
    bool keyed;
  } cases[] = {
      {"a.bmp", Saved(picture, "BMP"), true},
      {"a.png", Saved(picture, "PNG"), true},
      {"a.jpg", JpegBytes(32, 32, 3, JCS_RGB,
                          [&](int x, int y) {
                            return blueCorner(x, y) ? std::vector<uint8_t>{0, 0, 255} : std::vector<uint8_t>{255, 0, 0};
                          }),
       true},
      {"a.gif", GifBytes(32, 32, {indices}), true},
      {"anim.gif", GifBytes(32, 32, {indices, indices}), true},
      {"own.gif", GifBytes(32, 32, {ownClear}, 3), false},
  };
  TFixedMeasurer fixed{8, 16};
  auto view = MakeTestViewer(fixed);
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TempDir::Write(dir.File(c.file), std::string(c.bytes.begin(), c.bytes.end()));
    const std::string name = c.file;
    TempDir::Write(dir.File("page.html"), "<body bgcolor=#ffff00 marginwidth=0 marginheight=0><img src=" + name +
                                              " border=0><img src=" + name + " transp border=0>");
    view->LoadFromFile(dir.WFile("page.html"));
    QImage page(view->PaintPanelWidget()->width(), std::max(1, view->DocumentHeight()), QImage::Format_RGB32);
    view->PaintDocument(page);
    // Blue and yellow in the first picture's columns and in the second's.
    int blue[2] = {0, 0}, yellow[2] = {0, 0};
    for (int y = 0; y < page.height(); ++y)
      for (int x = 0; x < 64; ++x) {
        blue[x / 32] += Near(page.pixel(x, y), 0xFF0000FFu, 40);
        yellow[x / 32] += Near(page.pixel(x, y), 0xFFFFFF00u, 40);
      }
    EXPECT_GT(blue[0], 200);
    if (c.keyed) {
      // A JPEG's edges are not quite the corner's colour.
      EXPECT_LT(blue[1], blue[0] / 4);
      EXPECT_GT(yellow[1], yellow[0] + 200);
    } else {
      EXPECT_EQ(blue[1], blue[0]);
    }
  }
  view.reset();
  SetFontMeasurer(nullptr);
  SetPixelsPerInch(0);
}

TEST_F(Images, DecoderErrorsPassOn) {
  EXPECT_THROW(Load({'G', 'I', 'F', '8', '9', 'a', 1, 0}), EInvalidGraphicOperation);
  EXPECT_THROW(Load({'B', 'M', 1, 2, 3, 4, 5, 6}), EInvalidGraphic);
  EXPECT_THROW(Load({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0}), EGDIPlus);
  EXPECT_THROW(Load({0xFF, 0xD8, 'x', 'y', 'z'}), EInvalidGraphic);
}

TEST_F(Images, JpegColourGreyAndCmyk) {
  auto colour = Load(HalvesJpeg(), LLCorner);
  ASSERT_NE(colour.image, nullptr);
  EXPECT_EQ(colour.transparent, NotTransp);
  EXPECT_EQ(colour.mask, nullptr);
  const QImage& c = colour.image->Bitmap()->Image();
  EXPECT_EQ(c.size(), QSize(32, 32));
  EXPECT_EQ(c.format(), QImage::Format_ARGB32_Premultiplied);
  EXPECT_TRUE(Near(c.pixel(2, 5), qRgb(255, 0, 0))) << Hex(c.pixel(2, 5));
  EXPECT_TRUE(Near(c.pixel(29, 30), qRgb(0, 0, 255))) << Hex(c.pixel(29, 30));

  auto grey = Load(JpegBytes(16, 8, 1, JCS_GRAYSCALE, [](int x, int) {
    return std::vector<uint8_t>{static_cast<uint8_t>(x < 8 ? 40 : 220)};
  }));
  const QImage& g = grey.image->Bitmap()->Image();
  EXPECT_TRUE(Near(g.pixel(1, 1), qRgb(40, 40, 40), 6)) << Hex(g.pixel(1, 1));
  EXPECT_TRUE(Near(g.pixel(14, 6), qRgb(220, 220, 220), 6)) << Hex(g.pixel(14, 6));

  // Cyan and 50% black: plain CMYK, and the inverted form stored under Adobe's marker.
  auto plainCmyk = Load(JpegBytes(16, 16, 4, JCS_CMYK, [](int x, int) {
    return x < 8 ? std::vector<uint8_t>{255, 0, 0, 0} : std::vector<uint8_t>{0, 0, 0, 128};
  }, false));
  auto adobeCmyk = Load(JpegBytes(16, 16, 4, JCS_CMYK, [](int x, int) {
    return x < 8 ? std::vector<uint8_t>{0, 255, 255, 255} : std::vector<uint8_t>{255, 255, 255, 127};
  }, true));
  for (const Loaded* l : {&plainCmyk, &adobeCmyk}) {
    const QImage& k = l->image->Bitmap()->Image();
    EXPECT_TRUE(Near(k.pixel(1, 1), qRgb(0, 255, 255))) << Hex(k.pixel(1, 1));
    EXPECT_TRUE(Near(k.pixel(14, 14), qRgb(127, 127, 127))) << Hex(k.pixel(14, 14));
  }
}

TEST_F(Images, CutJpegShowsWhatWasDecoded) {
  const std::vector<uint8_t> whole = HalvesJpeg(64, 64);
  size_t sos = 0;
  for (size_t i = 2; i + 1 < whole.size() && !sos; ++i)
    if (whole[i] == 0xFF && whole[i + 1] == 0xDA) sos = i;
  ASSERT_NE(sos, 0u);
  // Half of the scan: the top of the picture is there.
  const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(sos + (whole.size() - sos) / 2));
  auto l = Load(cut);
  ASSERT_NE(l.image, nullptr);
  const QImage& image = l.image->Bitmap()->Image();
  EXPECT_EQ(image.size(), QSize(64, 64));
  EXPECT_TRUE(Near(image.pixel(3, 3), qRgb(255, 0, 0))) << Hex(image.pixel(3, 3));
  EXPECT_TRUE(Near(image.pixel(60, 3), qRgb(0, 0, 255))) << Hex(image.pixel(60, 3));
  // Cut before the first scan there is nothing to show.
  EXPECT_THROW(Load(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(sos))), EInvalidGraphic);
  EXPECT_NE(Load(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(sos) + 20)).image, nullptr);
}

TEST_F(Images, HugeJpegIsRefusedBeforeItsPixels) {
  std::vector<uint8_t> bytes = HalvesJpeg(16, 16);
  // The frame header gives the height and width after its length and precision.
  size_t sof = 0;
  for (size_t i = 2; i + 8 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      sof = i;
      break;
    }
  ASSERT_NE(sof, 0u);
  bytes[sof + 5] = 0xEA;
  bytes[sof + 6] = 0x60;  // 60000 high
  bytes[sof + 7] = 0xEA;
  bytes[sof + 8] = 0x60;  // 60000 wide
  try {
    Load(bytes);
    FAIL() << "no error";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(std::string(e.what()).rfind("JPEG error #", 0), 0u) << e.what();
  }
}

TEST_F(Images, LoadFromFileKeepsNothingOpen) {
  TempDir dir;
  QImage source(5, 6, QImage::Format_RGB32);
  source.fill(Qt::yellow);
  const auto bytes = Saved(source, "PNG");
  TempDir::Write(dir.File("A.png"), std::string(bytes.begin(), bytes.end()));
  TTransparency t = NotTransp;
  std::unique_ptr<TBitmap> mask;
  for (int i = 0; i < 3; ++i) {
    auto image = LoadImageFromFile(dir.WFile("A.png"), t, mask);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(GetImageWidth(image.get()), 5);
  }
  // Names are exact: another case is another file.
  EXPECT_EQ(LoadImageFromFile(dir.WFile("a.png"), t, mask), nullptr);
  EXPECT_EQ(LoadImageFromFile(dir.WFile(""), t, mask), nullptr);
}

TEST_F(Images, SizeOfNoImageRaises) {
  THtImage empty;
  for (auto call : {GetImageWidth, GetImageHeight}) {
    try {
      call(&empty);
      FAIL();
    } catch (const EGDIPlus& e) {
      EXPECT_STREQ(e.what(), "Not a TBitmap, TGifImage, TMetafile, or TGpImage");
    }
    EXPECT_THROW(call(nullptr), EGDIPlus);
  }
}

TEST_F(Images, MaskOfAGivenColour) {
  TBitmap bitmap(3, 1);
  bitmap.Image().setPixel(0, 0, qRgb(255, 0, 0));
  bitmap.Image().setPixel(1, 0, qRgb(0, 255, 0));
  bitmap.Image().setPixel(2, 0, qRgb(255, 0, 0));
  bitmap.Transparent = true;
  auto mask = GetImageMask(bitmap, true, 0x0000FF);  // $00BBGGRR: red
  EXPECT_FALSE(bitmap.Transparent);
  EXPECT_EQ(mask->Image().pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(mask->Image().pixel(1, 0), 0xFF000000u);
  EXPECT_EQ(mask->Image().pixel(2, 0), 0xFFFFFFFFu);
  EXPECT_EQ(qAlpha(bitmap.Image().pixel(0, 0)), 0);
  EXPECT_EQ(bitmap.Image().pixel(1, 0), qRgb(0, 255, 0));
}

TEST_F(Images, EnlargeWidensOnlyOnePixelSides) {
  struct Case {
    int w, h, askW, askH;
    QSize out;
  } cases[] = {
      {1, 3, 250, 7, {100, 3}}, {1, 1, 5, 7, {5, 7}}, {3, 1, 9, 400, {3, 100}}, {3, 3, 50, 50, {3, 3}},
      {1, 1, 0, -4, {1, 1}},
  };
  for (const Case& c : cases) {
    TBitmap b(c.w, c.h);
    b.Image().fill(qRgb(1, 2, 3));
    THtImage image(std::make_unique<TBitmap>(c.w, c.h));
    auto big = EnlargeImage(b, c.askW, c.askH);
    EXPECT_EQ(big->Image().size(), c.out) << c.w << "x" << c.h;
    EXPECT_EQ(big->Image().pixel(c.out.width() - 1, c.out.height() - 1), qRgb(1, 2, 3));
    EXPECT_EQ(EnlargeImage(image, c.askW, c.askH)->Image().size(), c.out);
  }
}

// 8x8 drawn at 64x64: smooth scaling must not fade the edges into what lies outside.
TEST_F(Images, StretchedDrawKeepsEdgeColours) {
  QImage eight(8, 8, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) eight.setPixel(x, y, x < 4 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
  THtImage image(std::make_unique<TBitmap>());
  image.Bitmap()->Image() = eight;
  QImage target(80, 80, QImage::Format_RGB32);
  target.fill(Qt::white);
  {
    TCanvas canvas(&target);
    DrawImageStretched(canvas, image, 8, 8, 64, 64);
  }
  EXPECT_EQ(target.pixel(8, 8), qRgb(255, 0, 0));
  EXPECT_EQ(target.pixel(8, 71), qRgb(255, 0, 0));
  EXPECT_EQ(target.pixel(71, 8), qRgb(0, 0, 255));
  EXPECT_EQ(target.pixel(71, 71), qRgb(0, 0, 255));
  EXPECT_EQ(target.pixel(7, 7), qRgb(255, 255, 255));
  EXPECT_EQ(target.pixel(72, 72), qRgb(255, 255, 255));
}

TEST_F(Images, GifFramesStretchByNearestNeighbourAndStayTransparent) {
  auto l = Load(GifBytes(2, 1, {{0, 3}, {1, 2}}, 3));
  ASSERT_NE(l.image->Gif(), nullptr);
  QImage target(8, 4, QImage::Format_RGB32);
  target.fill(Qt::black);
  {
    TCanvas canvas(&target);
    DrawImageStretched(canvas, *l.image, 0, 0, 8, 4);
  }
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(target.pixel(x, y), x < 4 ? qRgb(255, 0, 0) : qRgb(0, 0, 0)) << x << "," << y;
  EXPECT_EQ(l.image->Gif()->StretchedRect, QRect(0, 0, 8, 4));
}

TEST_F(Images, PartOfAPictureAndVeryLargeTargets) {
  QImage four(4, 1, QImage::Format_ARGB32_Premultiplied);
  four.setPixel(0, 0, qRgb(255, 0, 0));
  four.setPixel(1, 0, qRgb(0, 255, 0));
  four.setPixel(2, 0, qRgb(0, 0, 255));
  four.setPixel(3, 0, qRgb(255, 255, 0));
  QImage target(40, 40, QImage::Format_RGB32);
  target.fill(Qt::white);
  {
    TCanvas canvas(&target);
    DrawImageStretched(canvas, four, 0, 0, 20, 10, false, QRect(1, 0, 2, 1));
    // Larger than any one scaled copy may be: drawn in tiles.
    DrawImageStretched(canvas, four, 0, 20, 40000, 1000, false);
  }
  EXPECT_EQ(target.pixel(0, 0), qRgb(0, 255, 0));
  EXPECT_EQ(target.pixel(19, 9), qRgb(0, 0, 255));
  EXPECT_EQ(target.pixel(20, 0), qRgb(255, 255, 255));
  EXPECT_EQ(target.pixel(39, 39), qRgb(255, 0, 0));
}

// ---- the cache ----

std::unique_ptr<TBitmapItem> Item() {
  return std::make_unique<TBitmapItem>(std::make_unique<THtImage>(std::make_unique<TBitmap>(1, 1)), nullptr,
                                       NotTransp);
}

TEST(ImageCache, StartsTheImagingLayer) {
  {
    TStringBitmapList list;
    EXPECT_TRUE(GDIPlusActive);
    EXPECT_EQ(list.MaxCache, 4);
  }
}

TEST(ImageCache, UnusedImagesLeaveAfterMaxCacheLoads) {
  for (int count : {0, 4}) {
    TStringBitmapList list;
    list.SetCacheCount(count);
    list.AddObject(u"unused.png", Item());
    list.AddObject(u"used.png", Item());
    list.DecUsage(u"unused.png");  // its document went away
    for (int load = 1; load <= count; ++load) {
      list.BumpAndCheck();
      EXPECT_EQ(list.IndexOf(u"unused.png"), 0) << count << " " << load;
    }
    list.BumpAndCheck();
    EXPECT_EQ(list.IndexOf(u"unused.png"), -1) << count;
    for (int load = 0; load < 30; ++load) list.BumpAndCheck();
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Strings(0), u"used.png");
    EXPECT_EQ(list.GetImage(0)->UsageCount, 1);
  }
}

TEST(ImageCache, SetCacheCountDropsOldUnusedItems) {
  TStringBitmapList list;
  list.AddObject(u"old", Item());
  list.AddObject(u"new", Item());
  list.AddObject(u"busy", Item());
  list.DecUsage(u"old");
  list.DecUsage(u"new");
  list.DecUsage(u"missing");
  list.GetImage(list.IndexOf(u"old"))->AccessCount = 3;
  list.GetImage(list.IndexOf(u"busy"))->AccessCount = 9;
  list.SetCacheCount(2);
  EXPECT_EQ(list.MaxCache, 2);
  EXPECT_EQ(list.IndexOf(u"old"), -1);
  EXPECT_NE(list.IndexOf(u"new"), -1);
  EXPECT_NE(list.IndexOf(u"busy"), -1);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(ImageCache, NamesAreExactAndSorted) {
  TStringBitmapList list;
  for (const char16_t* name : {u"b.png", u"a.png", u"A.png", u"a.PNG"}) list.AddObject(name, Item());
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Strings(0), u"A.png");
  EXPECT_EQ(list.Strings(1), u"a.PNG");
  EXPECT_EQ(list.Strings(2), u"a.png");
  EXPECT_EQ(list.Strings(3), u"b.png");
  EXPECT_NE(list.GetImage(list.IndexOf(u"A.png")), list.GetImage(list.IndexOf(u"a.png")));
  EXPECT_EQ(list.IndexOf(u"B.png"), -1);
  // Another item under a name already there leaves the first one as it was.
  TBitmapItem* first = list.GetImage(list.IndexOf(u"b.png"));
  list.AddObject(u"b.png", Item());
  EXPECT_EQ(list.Count(), 5);
  EXPECT_EQ(first->UsageCount, 1);
}

// ---- image maps ----

std::unique_ptr<TAttributeList> AreaAttrs(const std::u16string& shape, const std::u16string& coords, const std::u16string& href = u"x",
                         const std::u16string& title = u"") {
  auto a = std::make_unique<TAttributeList>();
  if (!shape.empty()) a->Add(ShapeSy, 0, u"SHAPE", shape, 1252);
  a->Add(CoordsSy, 0, u"COORDS", coords, 1252);
  if (!href.empty()) a->Add(HrefSy, 0, u"HREF", href, 1252);
  if (!title.empty()) a->Add(TitleSy, 0, u"TITLE", title, 1252);
  return a;
}

bool Hit(const TMapItem& map, int x, int y) {
  std::unique_ptr<TUrlTarget> t;
  std::u16string title;
  return map.GetURL(x, y, t, title);
}

TEST(ImageMap, CoordinatesAsWritten) {
  EXPECT_EQ(ParseCoords(u"10, 20,,x 30", 301), (std::vector<int>{10, 20, 0, 30}));
  EXPECT_EQ(ParseCoords(u"  1 ,2  3,-4,+5 ", 301), (std::vector<int>{1, 2, 3, -4, 5}));
  EXPECT_EQ(ParseCoords(u"1.5,99999999999,-", 301), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(ParseCoords(u"", 301), std::vector<int>{});
  std::u16string many;
  for (int i = 0; i < 400; ++i) many += u"7,";
  EXPECT_EQ(ParseCoords(many, 301).size(), 301u);
}

TEST(ImageMap, RectangleKeepsItsPlusOneEdges) {
  TMapItem map;
  map.AddArea(*AreaAttrs(u"rect", u"0,0,10,10"));
  struct Case {
    int x, y;
    bool in;
  } cases[] = {{0, 0, true}, {10, 10, true}, {10, 0, true}, {11, 11, false}, {11, 5, false},
               {5, 11, false}, {-1, 0, false}, {0, -1, false}};
  for (const Case& c : cases) EXPECT_EQ(Hit(map, c.x, c.y), c.in) << c.x << "," << c.y;
  // Corners given the other way round make the same rectangle as a region does.
  TMapItem swapped;
  swapped.AddArea(*AreaAttrs(u"", u"10,10,0,0"));
  EXPECT_TRUE(Hit(swapped, 5, 5));
  TMapItem extreme;
  extreme.AddArea(*AreaAttrs(u"rect", u"-2147483648,-2147483648,2147483647,2147483647"));
  EXPECT_TRUE(Hit(extreme, 2147483647, -2147483647 - 1));
}

TEST(ImageMap, CircleIsSymmetricAboutItsCentre) {
  TMapItem dot;
  dot.AddArea(*AreaAttrs(u"circle", u"10,10,0"));
  for (int y = 8; y <= 12; ++y)
    for (int x = 8; x <= 12; ++x) EXPECT_EQ(Hit(dot, x, y), x == 10 && y == 10) << x << "," << y;
  for (int r = 1; r <= 9; ++r) {
    TMapItem map;
    map.AddArea(*AreaAttrs(u"CIRC", u"50,40," + std::u16string(1, char16_t(u'0' + r))));
    EXPECT_TRUE(Hit(map, 50 + r, 40));
    EXPECT_TRUE(Hit(map, 50 - r, 40));
    EXPECT_TRUE(Hit(map, 50, 40 + r));
    EXPECT_FALSE(Hit(map, 50 + r + 1, 40));
    if (r > 1) {
      EXPECT_FALSE(Hit(map, 50 + r, 40 + r));  // a radius of 1 fills its 3x3 box
    }
    for (int dy = -r - 1; dy <= r + 1; ++dy)
      for (int dx = -r - 1; dx <= r + 1; ++dx) {
        const bool in = Hit(map, 50 + dx, 40 + dy);
        EXPECT_EQ(in, Hit(map, 50 - dx, 40 + dy)) << r << ": " << dx << "," << dy;
        EXPECT_EQ(in, Hit(map, 50 + dx, 40 - dy)) << r << ": " << dx << "," << dy;
        EXPECT_EQ(in, Hit(map, 50 + dy, 40 + dx)) << r << ": " << dx << "," << dy;
      }
  }
}

TEST(ImageMap, PolygonsFillByWinding) {
  // A U: the notch between the arms is outside.
  TMapItem u;
  u.AddArea(*AreaAttrs(u"poly", u"0,0,30,0,30,30,20,30,20,10,10,10,10,30,0,30"));
  EXPECT_TRUE(Hit(u, 5, 20));
  EXPECT_TRUE(Hit(u, 25, 20));
  EXPECT_TRUE(Hit(u, 15, 5));
  EXPECT_FALSE(Hit(u, 15, 20));
  EXPECT_TRUE(Hit(u, 0, 0));
  EXPECT_FALSE(Hit(u, 30, 15));
  EXPECT_FALSE(Hit(u, 15, 30));
  // A five-pointed star drawn in one stroke: its centre is wound twice, so it is inside.
  TMapItem star;
  star.AddArea(*AreaAttrs(u"polygon", u"50,0,79,90,2,34,97,34,20,90"));
  EXPECT_TRUE(Hit(star, 50, 45));
  EXPECT_TRUE(Hit(star, 50, 10));
  EXPECT_FALSE(Hit(star, 5, 5));
  // An odd last number is left out; too few numbers make no area.
  TMapItem odd;
  odd.AddArea(*AreaAttrs(u"poly", u"0,0,10,0,10,10,99"));
  ASSERT_EQ(odd.Areas.Count(), 1);
  EXPECT_EQ(odd.Areas[0]->Points.size(), 3u);
}

TEST(ImageMap, ShapesCountsAndLinks) {
  struct Case {
    std::u16string shape, coords;
    bool added;
    TMapArea::TShape kind;
  } cases[] = {
      {u"circlexyz", u"5,5,2", true, TMapArea::Circle}, {u"Rectangle", u"0,0,1,1", true, TMapArea::Rect},
      {u"oval", u"0,0,1,1", true, TMapArea::Rect},      {u"ci", u"0,0,1,1", true, TMapArea::Rect},
      {u"rect", u"0,0,1", false, TMapArea::Rect},       {u"circ", u"1,1", false, TMapArea::Rect},
      {u"poly", u"1,1,2,2,3", false, TMapArea::Rect},   {u"default", u"", false, TMapArea::Rect},
  };
  for (const Case& c : cases) {
    TMapItem map;
    map.AddArea(*AreaAttrs(c.shape, c.coords));
    ASSERT_EQ(map.Areas.Count(), c.added ? 1 : 0) << std::string(c.shape.begin(), c.shape.end());
    if (c.added) {
      EXPECT_EQ(map.Areas[0]->Shape, c.kind);
    }
  }

  TMapItem map;
  auto nohref = AreaAttrs(u"rect", u"0,0,9,9", u"first.html");
  nohref->Add(NohrefSy, 0, u"NOHREF", u"", 1252);
  map.AddArea(*nohref);
  auto linked = AreaAttrs(u"rect", u"0,0,20,20", u"second.html", u"Second");
  linked->Add(TargetSy, 0, u"TARGET", u"_blank", 1252);
  map.AddArea(*linked);
  std::unique_ptr<TUrlTarget> target;
  std::u16string title = u"unchanged";
  // The first area holding the point decides, even without a link.
  EXPECT_FALSE(map.GetURL(5, 5, target, title));
  EXPECT_EQ(target, nullptr);
  EXPECT_EQ(title, u"unchanged");
  ASSERT_TRUE(map.GetURL(15, 15, target, title));
  EXPECT_EQ(target->URL, u"second.html");
  EXPECT_EQ(target->Target, u"_blank");
  EXPECT_EQ(title, u"Second");
  EXPECT_FALSE(map.GetURL(30, 30, target, title));

  TMapItem full;
  for (int i = 0; i < 1001; ++i) full.AddArea(*AreaAttrs(u"rect", i < 1000 ? u"0,0,1,1" : u"50,50,60,60"));
  EXPECT_EQ(full.Areas.Count(), 1000);
  EXPECT_FALSE(Hit(full, 55, 55));
}

}  // namespace
