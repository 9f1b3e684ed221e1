#include <gtest/gtest.h>
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <map>
#include <string>
#include <vector>

#include "htmlview/images/HtmlGif.h"
#include "platform/core/Clock.h"
#include "platform/core/MemoryStream.h"
#include "platform/gui/Graphics.h"
#include "tests/support/LzwCodes.h"

using namespace htmlview;

namespace {

// GIFs written block by block, so that tests can bend them.
struct Gif {
  std::vector<uint8_t> b;
  Gif& Raw(std::initializer_list<int> bytes) {
    for (int v : bytes) b.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  Gif& Text(const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  Gif& Word(int v) { return Raw({v & 0xFF, v >> 8 & 0xFF}); }
  // Colour i: (10 i, 255 - 10 i, 3 i).
  Gif& Table(int bits) {
    for (int i = 0; i < 1 << bits; ++i) Raw({10 * i & 0xFF, (255 - 10 * i) & 0xFF, 3 * i & 0xFF});
    return *this;
  }
  Gif& Header(int w, int h, int bits = 2, const char* sig = "GIF89a") {
    Text(sig).Word(w).Word(h).Raw({bits ? 0xF0 | (bits - 1) : 0, 0, 0});
    return bits ? Table(bits) : *this;
  }
  Gif& Gce(int disposal, int delay, int transparent = -1) {
    return Raw({'!', 0xF9, 4, disposal << 2 | (transparent >= 0 ? 1 : 0)}).Word(delay).Raw({transparent & 0xFF, 0});
  }
  Gif& Loop(int loops) { return Raw({'!', 0xFF, 11}).Text("NETSCAPE2.0").Raw({3, 1}).Word(loops).Raw({0}); }
  Gif& Image(int l, int t, int w, int h, bool interlaced = false) {
    return Raw({','}).Word(l).Word(t).Word(w).Word(h).Raw({interlaced ? 0x40 : 0});
  }
  // Codes packed as a decoder reads them: the width grows when the next free code reaches it.
  Gif& Codes(int size, const std::vector<int>& codes) {
    const std::vector<uint8_t> data = PackLzwCodes(size, codes);
    Raw({size});
    for (size_t i = 0; i < data.size(); i += 255) {
      const size_t n = std::min<size_t>(255, data.size() - i);
      b.push_back(static_cast<uint8_t>(n));
      b.insert(b.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
    }
    return Raw({0});
  }
  // Every pixel a literal, with clears often enough that the width never grows.
  Gif& Pixels(const std::vector<int>& pixels, int size = 2) {
    const int clear = 1 << size;
    std::vector<int> codes;
    for (size_t i = 0; i < pixels.size(); ++i) {
      if (i % static_cast<size_t>(clear - 2) == 0) codes.push_back(clear);
      codes.push_back(pixels[i]);
    }
    codes.push_back(clear + 1);
    return Codes(size, codes);
  }
  Gif& End() { return Raw({';'}); }
};

QRgb Colour(int i) { return qRgb(10 * i, 255 - 10 * i, 3 * i); }

std::unique_ptr<TViewerGifPicture> Picture(const std::vector<uint8_t>& bytes) {
  TMemoryStream stream(bytes);
  return TViewerGifPicture::CreateAGifFromStream(stream);
}

std::string Failure(const std::vector<uint8_t>& bytes) {
  try {
    TGif gif;
    gif.LoadFromBytes(bytes);
  } catch (const EInvalidGraphicOperation& e) {
    return e.what();
  }
  return "";
}

int64_t fakeNow = 0;
int64_t FakeClock() { return fakeNow; }

struct FakeClockScope {
  platform::TClockSource old;
  FakeClockScope() : old(platform::SetClockSource(FakeClock)) { fakeNow = 1000; }
  ~FakeClockScope() { platform::SetClockSource(old); }
};

// Three frames of 2x1, delays 5, 0 and 1.
std::vector<uint8_t> ThreeFrames(int loops) {
  Gif g;
  g.Header(2, 1);
  if (loops >= 0) g.Loop(loops);
  g.Gce(0, 5).Image(0, 0, 2, 1).Pixels({1, 1});
  g.Gce(0, 0).Image(0, 0, 2, 1).Pixels({2, 2});
  g.Gce(0, 1).Image(0, 0, 2, 1).Pixels({3, 3});
  return g.End().b;
}

}  // namespace

TEST(HtmlGif, LowerCaseSignatureAndQtAgree) {
  const std::vector<int> pixels = {0, 1, 2, 3, 3, 2, 1, 0, 1, 1, 2, 2};
  const auto bytes = Gif().Header(4, 3, 2, "gif89a").Image(0, 0, 4, 3).Pixels(pixels).End().b;
  auto picture = Picture(bytes);
  ASSERT_EQ(picture->Width, 4);
  ASSERT_EQ(picture->Height, 3);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(picture->Strip.pixel(i % 4, i / 4), Colour(pixels[static_cast<size_t>(i)]) | 0xFF000000u);
  // Qt's reader wants the signature as written in upper case.
  auto upper = bytes;
  upper[0] = 'G', upper[1] = 'I', upper[2] = 'F', upper[5] = 'a';
  QImage qt = QImage::fromData(upper.data(), static_cast<int>(upper.size()), "GIF");
  if (qt.isNull()) GTEST_SKIP() << "no GIF reader in Qt";
  qt = qt.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(qt.pixel(x, y), picture->Strip.pixel(x, y)) << x << "," << y;
}

TEST(HtmlGif, InterlacedEqualsPlain) {
  for (int height : {1, 2, 3, 5, 9, 10}) {
    std::vector<int> plain;
    for (int y = 0; y < height; ++y) plain.insert(plain.end(), {y % 4, (y + 1) % 4});
    // Rows in the order of the four passes.
    std::vector<int> interlaced;
    const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = start[pass]; y < height; y += step[pass]) interlaced.insert(interlaced.end(), {y % 4, (y + 1) % 4});
    auto a = Picture(Gif().Header(2, height).Image(0, 0, 2, height).Pixels(plain).End().b);
    auto b = Picture(Gif().Header(2, height).Image(0, 0, 2, height, true).Pixels(interlaced).End().b);
    EXPECT_EQ(a->Strip, b->Strip) << height;
  }
}

TEST(HtmlGif, KwKwKAndGrowingWidth) {
  // 4 = clear, 6 is the code being defined: the previous string plus its own first pixel.
  auto p = Picture(Gif().Header(3, 1).Image(0, 0, 3, 1).Codes(2, {4, 1, 6, 5}).End().b);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(p->Strip.pixel(x, 0), Colour(1) | 0xFF000000u);
  // A long run of new codes makes the width grow from 3 bits to 12 and the table fill; the
  // literal after that is read at 12 bits.
  std::vector<int> codes = {4, 0, 6};
  for (int c = 7; c < 4096; ++c) codes.push_back(0);
  codes.push_back(1);
  codes.push_back(5);
  const int width = 1 + 2 + (4096 - 7) + 1;
  auto q = Picture(Gif().Header(width, 1).Image(0, 0, width, 1).Codes(2, codes).End().b);
  for (int x = 0; x < width - 1; ++x)
    if (q->Strip.pixel(x, 0) != (Colour(0) | 0xFF000000u)) ADD_FAILURE() << x;
  EXPECT_EQ(q->Strip.pixel(width - 1, 0), Colour(1) | 0xFF000000u);
}

TEST(HtmlGif, Failures) {
  auto head = [] { return Gif().Header(2, 2); };
  struct Case {
    std::vector<uint8_t> bytes;
    const char* text;
  } cases[] = {
      {Gif().Text("GIF88a").Word(1).Word(1).Raw({0, 0, 0}).End().b, "TGif: Invalid GIF Signature Code"},
      {Gif().Text("GI").b, "TGif: Invalid GIF Signature Code"},
      {head().End().b, "TGif: No Image Description"},
      {head().Raw({0x42}).b, "TGif: Unknown Graphics Operation Code"},
      {head().Raw({'!', 0x42}).b, "TGif: unknown extension: 0042"},
      {head().Raw({'!', 0xF9, 5, 0, 0, 0, 0, 0, 0}).b, "TGif: Invalid Extension Block Size"},
      {head().Raw({'!', 0xF9, 4, 0, 0, 0, 0, 7}).b, "TGif: Invalid Extension Block Terminator"},
      {head().Raw({'!', 0xFE, 9, 1, 2}).b, "TGif: Unexpected end of file"},
      {Gif().Header(2, 2, 0).Image(0, 0, 2, 2).Pixels({0, 0, 0, 0}).End().b,
       "TGif: No Local or Global Color Table for Image"},
      {head().Image(0, 0, 0, 2).Pixels({}).End().b, "TGif: Zero width or height"},
      {head().Image(0, 0, 2, 2).Codes(12, {4096}).End().b, "TGif: Invalid LZW Code Size"},
      {head().Image(0, 0, 2, 2).Codes(2, {4, 6, 0}).End().b, "TGif: Invalid LZW Data Format"},
      {head().Image(0, 0, 2, 2).Codes(2, {0, 7, 0}).End().b, "TGif: Invalid LZW Data Format"},
      {head().Image(0, 0, 2, 2).Raw({2, 40, 1}).b, "TGif: Unexpected end of file"},
  };
  for (const auto& c : cases) EXPECT_EQ(Failure(c.bytes), c.text) << c.text;
  EXPECT_EQ(GifLastError, 24);
}

TEST(HtmlGif, TooLargeBeforeAnyAllocation) {
  struct Case {
    int w, h, frames;
    bool transparent;
    bool fails;
  } cases[] = {
      {65535, 65535, 1, false, true},
      {1000, 1000, 66, false, false},   // 198,000,054 bytes
      {1000, 1000, 67, false, true},
      {1000, 1000, 34, true, true},     // the mask halves the limit
      {1000, 1000, 33, true, false},
  };
  for (const auto& c : cases) {
    Gif g;
    g.Header(c.w, c.h);
    // Tiny frames: the limit counts the strip, not the frames' pixels.
    for (int i = 0; i < c.frames; ++i) {
      if (c.transparent) g.Gce(0, 0, 0);
      g.Image(0, 0, 1, 1).Pixels({1});
    }
    const std::string text = Failure(g.End().b);
    EXPECT_EQ(text, c.fails ? "TGif: Animated GIF too large" : "") << c.w << "x" << c.frames;
  }
}

// The strip's limit lets a tiny screen have tens of millions of frames; what the decoder holds
// for them is bounded on its own, before their pixels are allocated.
TEST(HtmlGif, FramesHeldWithinTheBudget) {
  const int64_t frames = MaxGifFrameBytes / static_cast<int64_t>(sizeof(TGifImageDescriptor)) + 1;
  Gif g;
  g.Header(1, 1);
  const size_t start = g.b.size();
  g.Image(0, 0, 1, 1).Pixels({1});
  const std::vector<uint8_t> frame(g.b.begin() + static_cast<long>(start), g.b.end());
  g.b.reserve(g.b.size() + frame.size() * static_cast<size_t>(frames) + 1);
  for (int64_t i = 1; i < frames; ++i) g.b.insert(g.b.end(), frame.begin(), frame.end());
  EXPECT_EQ(Failure(g.End().b), "TGif: Animated GIF too large");
  EXPECT_EQ(GifLastError, 25);
}

TEST(HtmlGif, FramesPastTheScreenAreCut) {
  // 4x4 screen; a 4x4 frame at (2,2) and one wholly outside.
  std::vector<int> pix(16, 3);
  auto p = Picture(Gif().Header(4, 4).Image(0, 0, 4, 4).Pixels(std::vector<int>(16, 1))
                       .Image(2, 2, 4, 4).Pixels(pix).Image(9, 9, 4, 4).Pixels(pix).End().b);
  ASSERT_EQ(p->NumFrames, 3);
  ASSERT_EQ(p->Strip.width(), 12);
  const QRgb one = Colour(1) | 0xFF000000u, three = Colour(3) | 0xFF000000u;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(p->Strip.pixel(4 + x, y), x >= 2 && y >= 2 ? three : one);
      EXPECT_EQ(p->Strip.pixel(8 + x, y), p->Strip.pixel(4 + x, y));
    }
  // A zero screen takes the first frame's extent.
  auto z = Picture(Gif().Header(0, 0).Image(1, 2, 2, 1).Pixels({1, 2}).End().b);
  EXPECT_EQ(z->Width, 3);
  EXPECT_EQ(z->Height, 3);
  EXPECT_EQ(qAlpha(z->Strip.pixel(0, 0)), 0);
  EXPECT_EQ(z->Strip.pixel(2, 2), Colour(2) | 0xFF000000u);
}

// Frames far wider than the screen, coded in long strings, give the screen's part of them exactly.
TEST(HtmlGif, WideFramesGiveTheirPartOnTheScreen) {
  struct Case {
    int left, top, width, height;
    bool interlaced;
  };
  for (const Case c : {Case{2, 1, 30, 4, false}, Case{0, 0, 40, 5, true}, Case{5, 4, 5000, 1, false}}) {
    std::vector<int> pixels(static_cast<size_t>(c.width * c.height));
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<int>(i / 7 % 4);  // runs of 7
    // The file holds the rows in pass order when interlaced.
    static const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
    std::vector<int> stored;
    for (int pass = 0; pass < (c.interlaced ? 4 : 1); ++pass)
      for (int y = c.interlaced ? start[pass] : 0; y < c.height; y += c.interlaced ? step[pass] : 1)
        stored.insert(stored.end(), pixels.begin() + y * c.width, pixels.begin() + (y + 1) * c.width);
    // Standard LZW: a string grows by a pixel for every code, so long runs make long strings.
    std::map<std::pair<int, int>, int> table;
    std::vector<int> codes = {4};
    int prefix = stored[0], next = 6;
    for (size_t i = 1; i < stored.size(); ++i) {
      const auto found = table.find({prefix, stored[i]});
      if (found != table.end()) {
        prefix = found->second;
        continue;
      }
      codes.push_back(prefix);
      if (next < 4096) table[{prefix, stored[i]}] = next++;
      prefix = stored[i];
    }
    codes.insert(codes.end(), {prefix, 5});
    auto p = Picture(Gif().Header(6, 5).Image(c.left, c.top, c.width, c.height, c.interlaced).Codes(2, codes).End().b);
    SCOPED_TRACE(c.width);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 6; ++x) {
        const bool inside = x >= c.left && y >= c.top && y < c.top + c.height;
        EXPECT_EQ(p->Strip.pixel(x, y), inside ? Colour(pixels[(y - c.top) * c.width + x - c.left]) | 0xFF000000u : 0u)
            << x << "," << y;
      }
  }
}

TEST(HtmlGif, TransparencyAndDisposal) {
  // Frame 1 fills 2x2; frame 2 (disposal 2) draws its left column, transparent right column;
  // frame 3 draws nothing over the cleared area.
  auto p = Picture(Gif().Header(2, 2).Image(0, 0, 2, 2).Pixels({1, 1, 1, 1})
                       .Gce(2, 0, 0).Image(0, 0, 2, 2).Pixels({2, 0, 2, 0})
                       .Gce(0, 0, 0).Image(0, 0, 1, 1).Pixels({0}).End().b);
  EXPECT_TRUE(p->IsTransparent);
  EXPECT_EQ(p->MaskedBitmap().pixel(0, 0), qRgb(0, 0, 0));
  auto t = Picture(Gif().Header(2, 1).Gce(0, 0, 3).Image(0, 0, 2, 1).Pixels({3, 1}).End().b);
  EXPECT_EQ(t->MaskedBitmap().pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_EQ(t->MaskedBitmap().pixel(1, 0), qRgb(0, 0, 0));
  EXPECT_EQ(t->Bitmap().pixel(1, 0), Colour(1) | 0xFF000000u);
  EXPECT_TRUE(Picture(Gif().Header(1, 1).Image(0, 0, 1, 1).Pixels({1}).End().b)->MaskedBitmap().isNull());
  EXPECT_EQ(p->Strip.pixel(2, 0), Colour(2) | 0xFF000000u);
  EXPECT_EQ(p->Strip.pixel(3, 0), Colour(1) | 0xFF000000u);  // transparent: the frame before shows
  for (int x = 4; x < 6; ++x)
    for (int y = 0; y < 2; ++y) EXPECT_EQ(qAlpha(p->Strip.pixel(x, y)), 0) << x << "," << y;
}

TEST(HtmlGif, LoopsAndDelays) {
  FakeClockScope clock;
  struct Case {
    int loops;
    int iterations;
    int shows;  // frames shown before the animation stops (-1: never stops)
  } cases[] = {{-1, 1, 3}, {0, 0, -1}, {2, 3, 9}};
  for (const auto& c : cases) {
    auto p = Picture(ThreeFrames(c.loops));
    EXPECT_EQ(p->NumIterations, c.iterations);
    EXPECT_EQ(p->Frame(1).Delay, 50);
    EXPECT_EQ(p->Frame(2).Delay, 30);
    EXPECT_EQ(p->Frame(3).Delay, 30);
    int shown = 1, invalidations = 0;
    p->StretchedRect = QRect(1, 2, 3, 4);
    for (int step = 0; step < 40 && p->Animate(); ++step) {
      fakeNow += 29;
      const int before = p->CurrentFrame();
      p->CheckTime([&](const QRect& r) { EXPECT_EQ(r, QRect(1, 2, 3, 4)); ++invalidations; });
      if (p->CurrentFrame() != before) ADD_FAILURE() << "changed before its time";
      fakeNow += 21;
      p->CheckTime([&](const QRect&) { ++invalidations; });
      if (p->CurrentFrame() != before) ++shown;
    }
    EXPECT_EQ(p->Animate(), c.shows < 0) << c.loops;
    if (c.shows >= 0) {
      EXPECT_EQ(shown, c.shows) << c.loops;
    }
    EXPECT_EQ(invalidations, shown - 1);
  }
}

TEST(HtmlGif, SetCurrentFrameWrapsAndAnimateRestarts) {
  FakeClockScope clock;
  auto p = Picture(ThreeFrames(0));
  struct Case {
    int set, expected;
  } cases[] = {{2, 2}, {4, 1}, {0, 3}, {-5, 3}, {3, 3}};
  for (const auto& c : cases) {
    p->SetCurrentFrame(c.set);
    EXPECT_EQ(p->CurrentFrame(), c.expected) << c.set;
  }
  fakeNow = 5000;
  p->SetCurrentFrame(1);
  p->SetAnimate(true);
  EXPECT_EQ(p->LastTime, 5000);
  EXPECT_EQ(p->CurrentInterval, 50);
  auto single = Picture(Gif().Header(1, 1).Image(0, 0, 1, 1).Pixels({1}).End().b);
  single->SetAnimate(true);
  EXPECT_FALSE(single->Animate());
}

TEST(HtmlGif, DrawsCurrentFrameByNearestNeighbour) {
  auto p = Picture(Gif().Header(2, 1).Image(0, 0, 2, 1).Pixels({1, 2}).Image(0, 0, 2, 1).Pixels({3, 0}).End().b);
  p->SetCurrentFrame(2);
  QImage target(8, 4, QImage::Format_ARGB32);
  target.fill(Qt::white);
  {
    TCanvas canvas(&target);
    p->Draw(canvas, 0, 0, 8, 4);
  }
  EXPECT_EQ(p->StretchedRect, QRect(0, 0, 8, 4));
  for (int x = 0; x < 8; ++x) EXPECT_EQ(target.pixel(x, 3), (x < 4 ? Colour(3) : Colour(0)) | 0xFF000000u) << x;
}

TEST(HtmlGif, ExtensionsBeforeTheImage) {
  struct Case {
    std::vector<uint8_t> extension;
    int loops;
  } cases[] = {
      {Gif().Raw({'!', 0xFE, 3, 'a', 'b', 'c', 2, 'd', 'e', 0}).b, -1},
      {Gif().Raw({'!', 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 4, 4, 1, 0, 2, 'h', 'i', 0}).b, -1},
      {Gif().Raw({'!', 0xFF, 5, 1, 2, 3, 4, 5, 1, 9, 0}).b, -1},
      {Gif().Loop(7).b, 7},
      {Gif().Loop(0).b, 0},
      // Another application's block of the same shape says nothing about looping.
      {Gif().Raw({'!', 0xFF, 11}).Text("ANIMEXTS1.0").Raw({3, 1, 5, 0, 0}).b, -1},
      {Gif().Raw({'!', 0xFF, 11}).Text("NETSCAPE2.0").Raw({5, 1, 5, 0, 0, 0, 0}).b, -1},
  };
  for (const auto& c : cases) {
    Gif g;
    g.Header(1, 1);
    g.b.insert(g.b.end(), c.extension.begin(), c.extension.end());
    TGif gif;
    gif.LoadFromBytes(g.Image(0, 0, 1, 1).Pixels({2}).End().b);
    EXPECT_EQ(gif.LoopCount(), c.loops);
    EXPECT_EQ(gif.ImageCount(), 1);
  }
}
