#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <random>
#include <set>

#include "gif/GifCompose.h"
#include "gif/GifLZW.h"
#include "platform/core/MemoryStream.h"
#include "tests/gif/GifBuilder.h"
#include "tests/gif/GifTestSupport.h"

using namespace gif;
using gif::test::ErrorOf;

namespace {

std::vector<uint8_t> Noise(size_t n, int colors, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> v(n);
  for (uint8_t& p : v) p = static_cast<uint8_t>(random() % static_cast<unsigned>(colors));
  return v;
}

TGIFSubImage& AddFrame(TGifPictureBase& image, int left, int top, int width, int height, std::vector<uint8_t> pixels,
                       bool interlaced = false) {
  auto frame = std::make_unique<TGIFSubImage>(&image);
  frame->SetBounds(left, top, width, height);
  frame->SetInterlaced(interlaced);
  pixels.resize(frame->Data().size());
  frame->Data() = pixels;
  TGIFSubImage& f = *frame;
  image.Images.Add(std::move(frame));
  return f;
}

// Qt's own GIF reader decodes the file to the screens our composer makes, frame by frame.
void ExpectQtSees(const std::vector<uint8_t>& bytes, const TGifPictureBase& image) {
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  QImageReader reader(&buffer, "gif");
  TGIFComposer composer(image);
  int shown = 0;
  for (int i = 0; i < image.Images.Count(); ++i) {
    if (image.Images[i].Empty()) continue;
    const QImage q = reader.read().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(q.size(), QSize(image.Width(), image.Height()))
        << "frame " << shown << ": " << reader.errorString().toStdString();
    const std::vector<uint32_t>& screen = composer.Draw(image.Images[i]);
    for (int y = 0; y < q.height(); ++y)
      for (int x = 0; x < q.width(); ++x)
        ASSERT_EQ(q.pixel(x, y), screen[static_cast<size_t>(y) * q.width() + x])
            << "frame " << shown << " at " << x << "," << y;
    ++shown;
  }
}

}  // namespace

// Noise that fills the table and forces clears, runs of 1 to 5,000 pixels, 1 x 1, 1 x N and N x 1
// frames, interlaced or not, at every depth and with both encoders.
TEST(GifCoding, RoundTripsAtEveryDepthThroughOurDecoderAndQts) {
  for (TGIFCompression compression : {gcLZW, gcRLE})
    for (int bits = 1; bits <= 8; ++bits)
      for (bool interlaced : {false, true}) {
        SCOPED_TRACE(testing::Message() << "encoder " << compression << ", " << bits << " bits, interlaced "
                                        << interlaced);
        const int colors = 1 << bits;
        TGifPictureBase image;
        image.Compression = compression;
        for (int i = 0; i < colors; ++i) image.Header.ColorMap.Add({uint8_t(i), uint8_t(255 - i), uint8_t(7 * i)});
        AddFrame(image, 0, 0, 160, 120, Noise(160 * 120, colors, bits), interlaced);
        std::vector<uint8_t> runs;
        int run = 0;
        for (int n : {1, 2, 3, 4, 5, 7, 64, 255, 256, 257, 1000, 4095, 4096, 5000})
          runs.insert(runs.end(), static_cast<size_t>(n), static_cast<uint8_t>(++run % colors));
        AddFrame(image, 0, 0, 160, 120, runs, interlaced);
        AddFrame(image, 3, 4, 1, 1, {uint8_t(colors - 1)}, interlaced);
        AddFrame(image, 10, 0, 1, 100, Noise(100, colors, 7), interlaced);
        AddFrame(image, 0, 119, 150, 1, Noise(150, colors, 8), interlaced);
        const std::vector<uint8_t> bytes = Saved(image);
        EXPECT_EQ(bytes[13 + 3 * colors + 10], std::max(bits, 2));  // the first frame's minimum code size
        LoadedGif loaded(bytes);
        EXPECT_TRUE(loaded.Warnings.empty());
        ASSERT_EQ(loaded.Image.Images.Count(), image.Images.Count());
        for (int i = 0; i < image.Images.Count(); ++i)
          EXPECT_EQ(loaded.Image.Images[i].Data(), image.Images[i].Data()) << "frame " << i;
        ExpectQtSees(bytes, image);
      }
}

// The part of a frame that the screen keeps decodes to that part of the whole frame: long strings
// (runs) that cross into it or lie wholly outside it, every row order, both encoders.
TEST(GifCoding, AKeptAreaDecodesAsThatAreaOfTheWholeFrame) {
  std::mt19937 random(5);
  for (int trial = 0; trial < 300; ++trial) {
    const int width = 1 + static_cast<int>(random() % 60), height = 1 + static_cast<int>(random() % 40);
    std::vector<uint8_t> raster(static_cast<size_t>(width * height));
    for (size_t i = 0; i < raster.size();) {  // runs of up to 3 frame widths
      const size_t run = 1 + random() % static_cast<size_t>(3 * width);
      std::fill_n(raster.begin() + static_cast<std::ptrdiff_t>(i), std::min(run, raster.size() - i),
                  static_cast<uint8_t>(random() % 4));
      i += run;
    }
    const bool interlaced = trial % 2;
    TMemoryStream stream;
    EncodeRaster(stream, raster.data(), width, height, interlaced, 2, 4, trial % 3 ? gcLZW : gcRLE);
    TGIFArea kept;
    kept.Left = static_cast<int>(random() % static_cast<unsigned>(width));
    kept.Top = static_cast<int>(random() % static_cast<unsigned>(height));
    kept.Width = static_cast<int>(random() % static_cast<unsigned>(width - kept.Left + 1));
    kept.Height = static_cast<int>(random() % static_cast<unsigned>(height - kept.Top + 1));
    std::vector<uint8_t> part(static_cast<size_t>(kept.Width * kept.Height), 9);
    stream.Write("\x01x\x00", 3);  // the next block must be where it was
    stream.SetPosition(0);
    DecodeRaster(stream, part.data(), width, height, interlaced, kept, nullptr);
    SCOPED_TRACE(testing::Message() << "trial " << trial);
    for (int y = 0; y < kept.Height; ++y)
      for (int x = 0; x < kept.Width; ++x)
        ASSERT_EQ(part[static_cast<size_t>(y * kept.Width + x)],
                  raster[static_cast<size_t>((kept.Top + y) * width + kept.Left + x)]);
    EXPECT_EQ(stream.GetPosition(), stream.GetSize() - 3);
  }
}

// Frames as writers may code them, each decoded to its pixels without warnings, or refused: a
// minimum code size above 8 is read as 8; past 4,096 entries the width stays 12 and no entry
// changes (code 4095 still gives the two literals it was made of); codes spread over sub-blocks of
// any size, a block's last code ending on its last byte (the first 680 codes of 3 bits fill 255
// bytes exactly); codes past a frame's last pixel are passed over and the next frame loads;
// interlaced rows come in pass order; a code above the next free entry is refused (entries 259
// and 260 would point at each other).
TEST(GifCoding, DecodesWhatWritersMayWrite) {
  struct Case {
    std::string name;
    GifBuilder gif;
    int frame;
    std::vector<uint8_t> pixels;
    const char* error = nullptr;
  };
  std::vector<Case> cases;
  GifBuilder wide;
  wide.Header(4, 1, 8).Image(0, 0, 4, 1);
  const size_t at = wide.Size();
  wide.Lzw(8, {256, 1, 200, 3, 4, 257}).Bytes[at] = 9;
  cases.push_back({"minimum code size 9", wide, 0, {1, 200, 3, 4}});
  const std::vector<uint8_t> literals = Noise(5000, 4, 1);
  std::vector<int> codes = {4};
  codes.insert(codes.end(), literals.begin(), literals.end());
  codes.insert(codes.end(), {4095, 5});
  std::vector<uint8_t> full = literals;
  full.insert(full.end(), {literals[4089], literals[4090]});
  cases.push_back({"a full table", GifBuilder().Header(5002, 1, 2).Image(0, 0, 5002, 1).Lzw(2, codes).Trailer(), 0, full});
  const std::vector<uint8_t> pixels = Noise(454, 4, 3);
  ASSERT_EQ(GifBuilder::LiteralCodes(2, pixels).size(), 682u);
  for (int size : {1, 2, 3, 254, 255})
    cases.push_back({"blocks of " + std::to_string(size),
                     GifBuilder().Header(454, 1, 2).Image(0, 0, 454, 1).Lzw(2, GifBuilder::LiteralCodes(2, pixels), size),
                     0, pixels});
  cases.push_back({"surplus codes",
                   GifBuilder().Header(2, 1, 2).Image(0, 0, 2, 1).Lzw(2, GifBuilder::LiteralCodes(2, Noise(300, 4, 4), false), 1)
                       .Image(0, 0, 2, 1).Pixels(2, {3, 2}).Trailer(),
                   1, {3, 2}});
  const std::vector<std::vector<int>> orders = {{0}, {0, 1}, {0, 2, 1}, {0, 2, 1, 3}, {0, 4, 2, 1, 3}, {0, 4, 2, 1, 3, 5},
                                                {0, 4, 2, 6, 1, 3, 5}, {0, 4, 2, 6, 1, 3, 5, 7}, {0, 8, 4, 2, 6, 1, 3, 5, 7}};
  for (int height = 1; height <= 9; ++height) {
    std::vector<uint8_t> stored(static_cast<size_t>(height)), shown(stored.size());
    for (int i = 0; i < height; ++i) stored[i] = static_cast<uint8_t>(i), shown[orders[height - 1][i]] = static_cast<uint8_t>(i);
    EXPECT_EQ(RowOrder(height, true), orders[height - 1]) << height;
    cases.push_back({"interlaced, " + std::to_string(height) + " rows",
                     GifBuilder().Header(1, height, 4).Image(0, 0, 1, height, 0, true).Pixels(4, stored), 0, shown});
  }
  for (const std::vector<int>& bad : {std::vector<int>{256, 0, 260, 259, 0, 259}, {256, 300, 257}, {256, 0, 259, 257}})
    cases.push_back({"a code beyond the table", GifBuilder().Header(100, 1, 8).Image(0, 0, 100, 1).Lzw(8, bad), 0, {},
                     sInvalidData});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.error) {
      EXPECT_EQ(ErrorOf([&] { LoadedGif g(c.gif.Bytes); }), c.error);
      continue;
    }
    LoadedGif g(c.gif.Bytes);
    EXPECT_TRUE(g.Warnings.empty());
    ASSERT_GT(g.Image.Images.Count(), c.frame);
    EXPECT_EQ(g.Image.Images[c.frame].Data(), c.pixels);
  }
}

// Missing pixels keep the fill value: the transparent index when the frame has one.
TEST(GifCoding, CutFrameWarnsAndKeepsTheFillValue) {
  GifBuilder b;
  b.Header(20, 20, 2).Gce(0, 0, 3).Image(0, 0, 20, 20).Pixels(2, std::vector<uint8_t>(400, 1));
  b.Bytes.resize(b.Size() - 200);
  LoadedGif g(b.Bytes);
  EXPECT_EQ(g.Warnings, (std::vector<std::string>{sOutOfData, sOutOfMemDIB}));
  const std::vector<uint8_t>& raster = g.Image.Images[0].Data();
  EXPECT_EQ(raster.front() * 10 + raster.back(), 13);
}

// Keys whose walks all start on one circle of cells fill it; then inserts fail instead of
// circling for ever, and lookups of absent keys end.
TEST(GifCoding, HashTableWalkIsBounded) {
  std::set<int> circle;
  for (int slot = 1; circle.insert(slot).second;) slot = THashTable::NextSlot(slot);
  ASSERT_LT(circle.size(), static_cast<size_t>(THashTable::Size));
  auto table = std::make_unique<THashTable>();
  int inserted = 0;
  uint32_t key = 0;
  for (; inserted < 4096; ++key)
    if (circle.count(THashTable::Slot(key)) && !table->Insert(key, inserted++ & 0xFFF)) break;
  EXPECT_LT(inserted, 4096);
  for (uint32_t absent = key + 1; absent < key + 5000; ++absent) EXPECT_EQ(table->Lookup(absent), -1);
}
