// The optimiser against what the animation shows: generated animations played with the default
// draw options on the injected clock, millisecond by millisecond over every pass, before and after
// optimising and after saving, and composed image by image as other decoders show the saved file;
// and the few things it must do besides.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gif/gui/GifPicture.h"
#include "tests/gif/GifBuilder.h"
#include "tests/gif/GifClock.h"
#include "tests/gif/GifDecoded.h"
#include "tests/gif/GifShown.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

using namespace gif;
using namespace gif::test;

namespace {

// The screens an animation shows and the clock millisecond at which each appears, neighbours that
// show the same screen joined. After the last the screen stays.
struct TPlayed {
  std::vector<std::pair<int, QImage>> Screens;
  bool operator==(const TPlayed&) const = default;
};

void PrintTo(const TPlayed& played, std::ostream* os) {
  for (const auto& [ms, image] : played.Screens) {
    *os << "\n  at " << ms << ":";
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) *os << " " << std::hex << image.pixel(x, y) << std::dec;
  }
}

constexpr int Horizon = 4000;  // ms: every pass of a finite loop count, and several of an endless one

// Plays the picture with the default draw options into its logical screen, waking the animation
// every millisecond of the clock, until it ends or the horizon; a still picture is drawn once.
TPlayed Played(TGifPicture& picture) {
  TPlayed played;
  const TRect screen{0, 0, picture.Width(), picture.Height()};
  const auto shown = [&](int ms, const QImage& image) {
    if (played.Screens.empty() || played.Screens.back().second != image) played.Screens.emplace_back(ms, image);
  };
  picture.DrawOptions = DefaultDrawOptions;
  if (picture.Images.Count() <= 1) {
    QImage image(screen.Right, screen.Bottom, QImage::Format_ARGB32_Premultiplied);
    image.fill(0);
    {
      TCanvas canvas(&image);
      picture.Draw(canvas, screen);
    }
    shown(0, image);
    return played;
  }
  fakeNow = 0;
  auto painter = std::make_shared<TGIFPainter>(picture, nullptr, screen, DefaultDrawOptions);
  painter->Start();
  shown(0, painter->Image());
  for (int ms = 1; ms <= Horizon && painter->Running(); ++ms) {
    fakeNow = ms;
    const int frame = painter->Frame(), pass = painter->Pass();
    painter->Wake();
    if (painter->Frame() != frame || painter->Pass() != pass) shown(ms, painter->Image());
  }
  painter->Stop();
  return played;
}

void Reload(TGifPictureBase& from, TGifPictureBase& into) { Load(into, Saved(from)); }


void AddComment(TGIFSubImage& frame) {
  auto comment = std::make_unique<TGIFCommentExtension>(&frame);
  comment->Text = {"made by a test"};
  frame.Extensions.Add(std::move(comment));
}

void Grey(TGIFColorMap& map, int count, int seed) {
  for (int i = 0; i < count; ++i) {
    // Colours repeat across tables (and sometimes within one), so that merging meets equal colours
    // under different indices.
    const auto v = static_cast<uint8_t>((i * 40 + seed * 20) % 120);
    map.Add({v, v, static_cast<uint8_t>(i % 3 == 2 ? 0 : v)});
  }
}

// A small random animation of the kinds that optimising must keep: every disposal (the unusual 4
// to 7 too), transparent frames (some wholly, some with an index no pixel has or one beyond the
// colour table), frames of extensions only (a control block, a comment), global and local tables,
// overlapping and repeated frames, interlacing, delays 0 to 5, loop extensions on any frame.
void Generate(TGifPictureBase& image, unsigned seed) {
  std::mt19937 random(seed);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  image.Header.Width = 1 + pick(7);
  image.Header.Height = 1 + pick(6);
  const bool global = pick(5) != 0;
  if (global) Grey(image.Header.ColorMap, pick(10) == 0 ? 256 : 2 + pick(5), 0);
  const int frames = 1 + pick(6);
  const TGIFSubImage* last = nullptr;
  for (int f = 0; f < frames; ++f) {
    if (pick(5) == 0) {  // extensions only
      TGIFSubImage& frame = NewFrame(image);
      if (pick(3) != 0) Gce(frame, pick(4), -1, pick(6));
      if (frame.Extensions.Count() == 0 || pick(2)) AddComment(frame);
      if (pick(6) == 0) AddLoop(frame, pick(3));
      continue;
    }
    const bool repeat = last && pick(4) == 0;
    const int left = repeat ? last->Left() : pick(image.Width());
    const int top = repeat ? last->Top() : pick(image.Height());
    const int width = repeat ? last->Width() : 1 + pick(image.Width() - left);
    const int height = repeat ? last->Height() : 1 + pick(image.Height() - top);
    std::vector<uint8_t> pixels = repeat ? last->Data() : std::vector<uint8_t>(static_cast<size_t>(width * height));
    TGIFSubImage& frame = AddFrame(image, left, top, width, height, pixels);
    last = &frame;
    frame.SetInterlaced(pick(4) == 0);
    if (!global || pick(3) == 0) Grey(frame.ColorMap, pick(12) == 0 ? 256 : 2 + pick(4), f + 1);
    const int colors = frame.ActiveColorMap().Count();
    const int used = std::min(colors, 1 + pick(4));
    for (uint8_t& p : frame.Data()) p = static_cast<uint8_t>(repeat ? p % colors : pick(used));
    if (pick(3) != 0) {
      const int disposal = pick(6) == 0 ? 4 + pick(4) : pick(4);
      const int transparent = pick(3) == 0 ? pick(colors) : pick(used);
      TGIFGraphicControlExtension& gce = Gce(frame, disposal, pick(2) ? transparent : -1, pick(6));
      if (pick(5) == 0 && colors < 256) {  // beyond the table
        gce.SetTransparent(true);
        gce.StoreTransparentColorIndex(static_cast<uint8_t>(colors + pick(256 - colors)));
      } else if (gce.Transparent() && pick(5) == 0) {  // wholly transparent
        std::fill(frame.Data().begin(), frame.Data().end(), static_cast<uint8_t>(transparent));
      }
    }
    if (pick(6) == 0) AddLoop(frame, pick(3));
    if (pick(8) == 0) AddComment(frame);
  }
}

using GifOptimize = GifClockTest;

}  // namespace

TEST_F(GifOptimize, NoOptionChangesWhatGeneratedAnimationsShowAtAnyMoment) {
  int changedSomething = 0;
  for (unsigned seed = 1; seed <= 1000; ++seed) {
    TGifPicture original;
    Generate(original, seed);
    TGifPicture loaded;
    Reload(original, loaded);
    const TPlayed want = Played(loaded);
    for (unsigned options : {0x8u, 0x4u, 0x2u, 0x1u, 0xFu}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", options " + std::to_string(options));
      TGifPicture image;
      Reload(original, image);
      ASSERT_NO_THROW(image.Optimize(options, 6, 0, 8));
      ASSERT_EQ(Played(image), want);
      TGifPicture again;
      ASSERT_NO_THROW(Reload(image, again));
      ASSERT_EQ(Played(again), want) << "saved";
      if (Saved(loaded) != Saved(again)) ++changedSomething;
    }
  }
  EXPECT_GT(changedSomething, 2500);  // the animations give the optimiser work
}

TEST_F(GifOptimize, ProgressEndsAndAGivenPaletteIsRefusedWithoutCleanUp) {
  TGifPicture image;
  Generate(image, 7);
  std::vector<std::pair<TProgressStage, int>> progress;
  image.OnProgress = [&](TProgressStage s, int p, const std::string& m) {
    EXPECT_EQ(m, sOptimizing);
    progress.emplace_back(s, p);
  };
  image.Optimize(0x1F, 6, 0, 8);
  ASSERT_GE(progress.size(), 3u);
  EXPECT_EQ(progress.front(), std::make_pair(psStarting, 0));
  EXPECT_EQ(progress.back(), std::make_pair(psEnding, 100));

  progress.clear();
  EXPECT_THROW(image.Optimize(ooReduceColors, 9, 0, 8), GIFException);
  EXPECT_EQ(progress.back(), std::make_pair(psEnding, 0));
  EXPECT_NO_THROW(image.Optimize(ooReduceColors | ooCleanup, 9, 0, 8));
  TGifPicture empty;
  EXPECT_NO_THROW(empty.Optimize(0x1F, 6, 0, 8));
}

// What optimising must still do where it can: drop what carries nothing, lend the time of frames
// that show nothing to the frame before, drop needless disposal; a loop extension stays where it is.
TEST_F(GifOptimize, DropsWhatCarriesNothing) {
  TGifPicture image;
  Build(image, 2, 2, 3,
        {{0, 0, 2, 2, {1, 1, 1, 1}, 2},         // covered by the next, which names its own: disposal needless
         {0, 0, 2, 2, {2, 2, 2, 2}, 1, 4},      // its loop extension stays on it
         {0, 0, 2, 2, {0, 0, 0, 0}, 1, 3, 0},   // wholly transparent: goes, lending 3
         {0, 0, 2, 2, {0, 0, 0, 0}},            //
         {0, 0, 0, 0, {}, 0, 5}});              // a trailing control block: stays as it stands
  AddComment(image.Images[0]);  // carries nothing
  AddLoop(image.Images[1], 3);
  TGifPicture loaded;
  Reload(image, loaded);
  ASSERT_EQ(loaded.Images.Count(), 5);
  const TPlayed want = Played(loaded);
  loaded.Optimize(0xF, 6, 0, 8);
  EXPECT_EQ(Played(loaded), want);
  ASSERT_EQ(loaded.Images.Count(), 4);
  EXPECT_EQ(loaded.Images[0].Extensions.Count(), 0);
  const TGIFSubImage& f1 = loaded.Images[1];
  ASSERT_EQ(f1.Extensions.Count(), 2);
  EXPECT_EQ(dynamic_cast<const TGIFAppExtNSLoop&>(f1.Extensions[1]).Loops, 3);
  EXPECT_EQ(loaded.Images[1].GraphicControlExtension()->Delay, 7);
  // Its block of no delay stays: without one, some decoders would give it the 7 of the frame before.
  ASSERT_NE(loaded.Images[2].GraphicControlExtension(), nullptr);
  EXPECT_EQ(loaded.Images[2].GraphicControlExtension()->Delay, 0);
  EXPECT_TRUE(loaded.Images[3].Empty());
  EXPECT_EQ(loaded.Images[3].GraphicControlExtension()->Delay, 5);
}

// Other decoders time only images: what our player counts as a frame without an image (extensions
// before the trailer) stays where it stands, no time moves between frames whose delays those
// decoders read differently, and no control block comes or goes where some decoders would let the
// frame inherit another's delay and disposal.
TEST_F(GifOptimize, OtherDecodersShowTheGeneratedAnimationsAsBefore) {
  for (unsigned seed = 1; seed <= 1000; ++seed) {
    TGifPicture original;
    Generate(original, seed);
    for (unsigned options : {0x8u, 0x4u, 0x2u, 0x1u, 0xFu}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", options " + std::to_string(options));
      TGifPicture image;
      Reload(original, image);
      ASSERT_NO_THROW(image.Optimize(options, 6, 0, 8));
      for (auto delayOf : {AsStored, AsBrowsers}) ASSERT_EQ(Decoded(image, delayOf), Decoded(original, delayOf));
      ASSERT_EQ(Decoded(image, AsStored, true), Decoded(original, AsStored, true)) << "inheriting";
    }
  }
}

TEST_F(GifOptimize, FramesWithoutAnImageKeepTheirPlaceAndTime) {
  const struct Case {
    const char* name;
    int transparentDelay;  // < 0: no wholly transparent frame after the first two
    bool trailingControl, trailingComment;
    std::vector<int> delays;  // after optimising, by frame; -1 without a control block
  } cases[] = {
      {"a trailing control block", -1, true, false, {50, 50, 10}},
      {"a trailing comment", -1, false, true, {50, 50, -1}},
      {"a trailing control block and comment", -1, true, true, {50, 50, 10}},
      {"a wholly transparent frame of a plain delay", 20, true, false, {50, 70, 10}},
      {"a wholly transparent frame that players stretch", 1, false, false, {50, 50, 1}},
      {"a wholly transparent frame of the default delay", 0, false, false, {50, 50, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TGifPicture image;
    Build(image, 2, 1, 3, {{0, 0, 2, 1, {1, 1}, 1, 50}, {0, 0, 2, 1, {2, 1}, 1, 50}});
    if (c.transparentDelay >= 0) Build(image, 2, 1, 0, {{0, 0, 2, 1, {0, 0}, 1, c.transparentDelay, 0}});
    if (c.trailingControl || c.trailingComment) {
      TGIFSubImage& trailing = NewFrame(image);
      if (c.trailingControl) Gce(trailing, 0, -1, 10);
      if (c.trailingComment) AddComment(trailing);
    }
    TGifPicture loaded;
    Reload(image, loaded);
    const TPlayed played = Played(loaded);
    loaded.Optimize(0xF, 6, 0, 8);
    EXPECT_EQ(Played(loaded), played);
    std::vector<int> delays;
    for (int i = 0; i < loaded.Images.Count(); ++i) {
      const TGIFGraphicControlExtension* gce = loaded.Images[i].GraphicControlExtension();
      delays.push_back(gce ? gce->Delay : -1);
    }
    EXPECT_EQ(delays, c.delays);
    const std::vector<uint8_t> bytes = Saved(loaded);
    if (c.trailingControl) {  // the control block stands in front of the trailer
      EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 9, bytes.end() - 3),
                (std::vector<uint8_t>{'!', 0xF9, 4, 0, static_cast<uint8_t>(c.delays.back()), 0}));
      EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 2, bytes.end()), (std::vector<uint8_t>{0, ';'}));
    }
  }
  // One between images with no extensions at all stays without: a control block of its own would
  // take away the delay that some decoders let it inherit.
  TGifPicture image;
  Build(image, 2, 1, 3, {{0, 0, 2, 1, {1, 1}, 1, 50}});
  NewFrame(image);
  Build(image, 2, 1, 0, {{0, 0, 2, 1, {2, 1}, 1, 50}});
  const TDecoded inheriting = Decoded(image, AsStored, true);
  image.Optimize(0xF, 6, 0, 8);
  EXPECT_EQ(image.Images[1].Extensions.Count(), 0);
  EXPECT_EQ(Decoded(image, AsStored, true), inheriting);
}

// What other decoders read outside the pixels stays: the first frame's transparency, which makes the
// screen it leaves uncovered transparent, even where no pixel has the index; the entry at the
// background index of a local table, which some decoders restore a frame of that table to, and a
// table that still reaches it; entry 0 of the first frame's table, which some show where that frame
// leaves the screen uncovered; the background colour of the global table.
TEST_F(GifOptimize, KeepsWhatOtherDecodersReadBesideThePixels) {
  TGifPicture image;
  Build(image, 6, 1, 4,
        {{0, 0, 2, 1, {1, 2}, 1, 10, 3},                       // leaves 4 pixels uncovered
         {2, 0, 4, 1, {0, 0, 0, 0}, 2, 10},                    // a local table, restored to the background
         {0, 0, 6, 1, {2, 2, 2, 2, 2, 1}, 1, 10, 3}});         // index 3 unused
  image.Header.BackgroundColorIndex = 2;
  TGIFSubImage& local = image.Images[1];
  for (int i = 0; i < 4; ++i) local.ColorMap.Add(ColorOf(5 + i));
  local.Data() = {3, 3, 1, 3};
  const TGIFColor background = image.Header.BackgroundColor(), localBackground = local.ColorMap.Color(2);
  image.Optimize(0xF, 6, 0, 8);
  EXPECT_TRUE(image.Images[0].HasTransparency);
  EXPECT_FALSE(image.Images[2].HasTransparency);  // a later frame's unused index goes
  EXPECT_GT(local.ColorMap.Count(), 2);
  EXPECT_EQ(local.ColorMap.Color(2), localBackground);
  EXPECT_EQ(image.Header.BackgroundColor(), background);

  TGifPicture opaque;  // the first frame leaves the screen uncovered and is not transparent
  Build(opaque, 4, 1, 4, {{0, 0, 2, 1, {3, 3}, 1, 10}, {0, 0, 4, 1, {2, 2, 3, 1}, 1, 10}});
  const TGIFColor first = opaque.Header.ColorMap.Color(0), shown = opaque.Header.ColorMap.Color(3);
  opaque.Optimize(0xF, 6, 0, 8);
  EXPECT_EQ(opaque.Header.ColorMap.Color(0), first);
  EXPECT_EQ(opaque.Header.ColorMap.Color(opaque.Images[0].Pixel(0, 0)), shown);
}

namespace {

// Files of the shapes that decoders read each in their own way, written block by block.
struct TShape {
  const char* Name;
  std::vector<uint8_t> Bytes;
};

std::vector<uint8_t> Solid(int count, int index) { return std::vector<uint8_t>(static_cast<size_t>(count), static_cast<uint8_t>(index)); }

GifBuilder FromHex(const std::string& hex) {
  GifBuilder b;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) b.Bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return b;
}

GifBuilder Comment(GifBuilder b) { return std::move(b.Raw({'!', 0xFE, 4}).Text("note").Raw({0})); }

// A comment of 200 bytes in front of the first control block, which the optimiser drops: the
// optimised file is smaller, and is what the decoders show (not the input written again).
std::vector<uint8_t> Padded(std::vector<uint8_t> bytes) {
  const size_t header = 13 + (bytes[10] & 0x80 ? 3u << ((bytes[10] & 7) + 1) : 0);
  const uint8_t control[] = {'!', 0xF9, 4};
  const auto at = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(header), bytes.end(), control, control + 3);
  std::vector<uint8_t> comment = {'!', 0xFE, 200};
  comment.resize(comment.size() + 200, 'c');
  comment.push_back(0);
  bytes.insert(at, comment.begin(), comment.end());
  return bytes;
}

std::vector<TShape> Shapes() {
  std::vector<TShape> shapes;
  const auto add = [&](const char* name, const GifBuilder& b) { shapes.push_back({name, Padded(b.Bytes)}); };
  // Two control blocks before one image: the codec reads the first, Pillow and ImageMagick the last.
  add("two control blocks, the last transparent and longer",
      GifBuilder().Header(2, 2, 2).Gce(0, 10).Gce(0, 200, 0).Image(0, 0, 2, 2).Pixels(2, {0, 1, 1, 0})
          .Gce(0, 10).Image(0, 0, 2, 2).Pixels(2, {0, 1, 1, 2}).Trailer());
  add("two control blocks, the first transparent and disposed of",
      GifBuilder().Header(2, 2, 2).Gce(1, 50).Image(0, 0, 2, 2).Pixels(2, {3, 3, 3, 3})
          .Gce(2, 10, 0).Gce(1, 30).Image(0, 0, 2, 2).Pixels(2, {0, 3, 3, 1})
          .Gce(1, 10).Image(0, 0, 2, 2).Pixels(2, {0, 3, 3, 1}).Trailer());
  add("two control blocks on a frame that repeats the one before",
      GifBuilder().Header(2, 1, 2).Gce(1, 20).Image(0, 0, 2, 1).Pixels(2, {1, 2})
          .Gce(1, 20).Gce(2, 40, 3).Image(0, 0, 2, 1).Pixels(2, {1, 3}).Gce(1, 20).Image(1, 0, 1, 1).Pixels(2, {1}).Trailer());
  // A loop block on a later frame: only ImageMagick reads it there, and the codec as the count.
  add("a loop block before the second frame",
      GifBuilder().Header(2, 1, 1).Gce(1, 10).Image(0, 0, 2, 1).Pixels(2, {0, 1})
          .Loop(3).Gce(1, 10).Image(0, 0, 2, 1).Pixels(2, {1, 0}).Trailer());
  add("loop blocks before the first and the last frame",
      GifBuilder().Header(2, 1, 1).Loop(2).Gce(1, 10).Image(0, 0, 2, 1).Pixels(2, {0, 1})
          .Gce(1, 10).Image(0, 0, 2, 1).Pixels(2, {1, 0}).Loop(5).Gce(1, 10).Image(0, 0, 1, 1).Pixels(2, {1}).Trailer());
  // Loop blocks the codec reads a count from and Pillow none (an id other than 1, or only a
  // buffer size): written again as they were.
  add("a loop block of only a buffer size",
      GifBuilder().Header(2, 1, 1).Raw({'!', 0xFF, 11}).Text("NETSCAPE2.0").Raw({5, 2, 0, 16, 0, 0, 0})
          .Gce(1, 10).Image(0, 0, 2, 1).Pixels(2, {0, 1}).Gce(1, 10).Image(0, 0, 2, 1).Pixels(2, {1, 0}).Trailer());
  add("a loop block of sub-block id 9",
      GifBuilder().Header(2, 1, 1).Raw({'!', 0xFF, 11}).Text("NETSCAPE2.0").Raw({3, 9, 3, 0, 0})
          .Gce(1, 10).Image(0, 0, 2, 1).Pixels(2, {0, 1}).Gce(1, 10).Image(0, 0, 2, 1).Pixels(2, {1, 0}).Trailer());
  // Disposals the codec keeps the frame for, which Pillow takes as restoring what was before it.
  for (const int disposal : {4, 5, 7})
    add(disposal == 4 ? "disposal 4 under a frame that repeats it" : disposal == 5 ? "disposal 5 under a frame that repeats it"
                                                                                    : "disposal 7 under a frame that repeats it",
        GifBuilder().Header(2, 1, 2).Gce(1, 10).Image(0, 0, 2, 1).Pixels(2, {1, 1})
            .Gce(disposal, 10).Image(0, 0, 2, 1).Pixels(2, {2, 2}).Gce(0, 10).Image(0, 0, 2, 1).Pixels(2, {2, 3})
            .Gce(0, 10).Image(0, 0, 2, 1).Pixels(2, {2, 3}).Trailer());
  // Frames wholly off the screen, which the file keeps as stand-ins.
  add("a frame off the screen over an opaque one",
      GifBuilder().Header(2, 2, 2).Gce(1, 10).Image(0, 0, 2, 2).Pixels(2, Solid(4, 1))
          .Gce(1, 10).Image(5, 5, 2, 2).Pixels(2, Solid(4, 2)).Gce(1, 10).Image(0, 0, 1, 1).Pixels(2, {3}).Trailer());
  add("frames off the screen and after it without control blocks",
      GifBuilder().Header(2, 2, 2).Gce(0, 100).Image(0, 0, 2, 2).Pixels(2, Solid(4, 1))
          .Image(7, 7, 2, 2).Pixels(2, Solid(4, 2)).Image(0, 0, 1, 1).Pixels(2, {3}).Trailer());
  add("a first frame off the screen",
      GifBuilder().Header(2, 2, 2).Gce(1, 30).Image(4, 0, 2, 2).Pixels(2, Solid(4, 2))
          .Gce(1, 30).Image(0, 0, 1, 1).Pixels(2, {3}).Trailer());
  add("a first frame off the screen without a control block, over the background",
      GifBuilder().Header(1, 2, 1, 1).Image(4, 0, 1, 1).Pixels(2, {1}).Gce(1, 10).Image(0, 1, 1, 1).Pixels(2, {0}).Trailer());
  // ImageMagick gives a frame without a control block the delay of the last block before it.
  add("a frame off the screen without a control block after one disposed of",
      GifBuilder().Header(2, 2, 2).Gce(2, 100).Image(0, 0, 2, 2).Pixels(2, Solid(4, 1)).Image(5, 5, 2, 2).Pixels(2, Solid(4, 2))
          .Image(0, 0, 1, 1).Pixels(2, {3}).Gce(0, 100).Image(1, 1, 1, 1).Pixels(2, {2}).Trailer());
  // A background index beyond the table: ImageMagick shows the last entry where the first frame
  // leaves the screen uncovered, when it takes that frame as opaque (its last control block names
  // an index beyond the table), and Pillow restores a frame to the grey of the index.
  add("a background index beyond the table, the first frame of two control blocks",
      GifBuilder().Header(4, 3, 2, 4).Gce(3, 100, 0).Gce(4, 10, 5).Image(0, 0, 4, 2).Pixels(2, {1, 2, 0, 0, 2, 3, 0, 0})
          .Gce(3, 10, 2).Image(2, 3, 3, 1).Pixels(2, {0, 1, 2}).Trailer());
  add("a background index beyond the table, restored to",
      GifBuilder().Header(1, 3, 1, 5).Gce(2, 100).Image(0, 0, 1, 3).Pixels(2, {1, 1, 1}).Gce(1, 100).Image(0, 2, 1, 1)
          .Pixels(2, {0}).Gce(1, 100).Image(0, 2, 1, 1).Pixels(2, {1}).Trailer());
  // Pillow shows the indices themselves, as greys, when the first image has no colour table.
  add("a first image without a colour table",
      GifBuilder().Header(2, 1, 0, 1).Gce(2, 10, 1).Image(1, 4, 3, 2).Pixels(2, {0, 1, 0, 1, 0, 1})
          .Gce(3, 10, 0).Image(0, 0, 2, 1, 2).Pixels(2, {3, 2}).Gce(1, 10).Image(0, 0, 2, 1, 2).Pixels(2, {3, 3}).Trailer());
  // Generated files, whole: a frame of two control blocks (disposal 3 then 2) between two that
  // repeat each other; a background index beyond a table of 4 and a first frame whose
  // transparent index lies beyond it too; a frame off the screen restoring what was before it.
  add("generated: a frame drawn past one of two control blocks",
      FromHex("47494638396108000300f000001eff0061d67121f904000f00ff002c0200010003000200000204040830280021f9040d"
              "2d00830021f90409140001002c020000000600030000040e30041042082184104280208410010021f9040da50000002c"
              "03000200010001000002024c01003b"));
  add("generated: a first frame transparent beyond its table",
      FromHex("47494638396106000400f104001eff0061d671a4ade2e7845321f9040d4100e4002c02000300030001000003030801"
              "090021f904190a0001002c0000030004000100400505a0300c4308003b"));
  add("generated: a frame off the screen that restores",
      FromHex("47494638396102000200f20a001eff0061d671a4ade2e784532a5bc46d3235b009a6f3e01721f904094b0002002c00"
              "00010002000100841eff0061d671a4ade2e784532a5bc46d3235b009a6f3e01736b788798ef9bc656aff3cdb42134c"
              "85eabdc8c12e0b989f4e6f10914681d41df217f4635acbd49da245e079b6235027662798a9fe09ecd57a2faceb7283"
              "5cb55acdf8313e3b08af05032030840021f9040c6400ff0021fe03616263002c0200000002000100000604c0412008"
              "0021f90405b40002002c01000000010002000003021891003b"));
  // Frames off the screen without any colour table and a background index far beyond one, which
  // a stand-in once carried a table of 256 entries for.
  add("frames off the screen without a colour table",
      GifBuilder().Header(2, 1, 0, 200).Gce(1, 10).Image(0, 0, 2, 1, 1).Pixels(2, {0, 1})
          .Gce(1, 10).Image(9, 9, 1, 1).Pixels(2, {1}).Gce(1, 10).Image(9, 0, 1, 1).Pixels(2, {0})
          .Gce(1, 10).Image(0, 0, 1, 1, 1).Pixels(2, {1}).Trailer());
  // A frame of no size holds no pixel: none is written for it where the screen names no height.
  add("a frame of no size on a screen of no height",
      GifBuilder().Header(2, 0, 1).Gce(5, 0).Gce(1, 135).Image(0, 1, 0, 1).Pixels(2, {})
          .Gce(5, 0).Image(1, 0, 1, 1).Pixels(2, {1}).Trailer());
  // A frame of no size with two control blocks, which the codec fills with an opaque index and
  // Pillow shows nothing of.
  add("generated: a frame of no size of two control blocks",
      FromHex("47494638396101000100f000001eff0061d67121f904000000ff002c0000000001000100811eff0061d671a4ade2e7"
              "8453020254010021f904080500ff0021f904040000ff002c000000000000010000040210440021f90401000002002c"
              "00000000010001000002024c01003b"));
  // A frame restoring what was before it, with a table of its own after a first image without
  // one: Pillow shows the whole screen anew for it, and restores only the frame's area after.
  add("a frame restoring its area after a first image without a colour table",
      GifBuilder().Header(5, 5, 0, 2).Gce(0, 115).Image(0, 2, 3, 4).Pixels(2, {2, 3, 0, 0, 0, 1, 3, 0, 2, 1, 3, 3})
          .Gce(3, 10, 0).Image(1, 4, 2, 1, 5).Pixels(5, {1, 0})
          .Gce(2, 170).Image(0, 2, 4, 2).Pixels(2, {0, 0, 0, 0, 0, 1, 3, 0}).Trailer());
  // An interlaced frame of no size with pixels, which the codec reads at the screen's size and
  // Pillow shows nothing of.
  add("generated: a frame of no size with pixels",
      FromHex("47494638396101000100f102001eff0061d671a4ade2e784532c00000000010001000002024c010021f904099b000600"
              "2c0000000000000100c21eff0061d671a4ade2e784532a5bc46d3235b009a6f3e01703020809003b"));
  // A frame reaching beyond the screen, transparent on it, between two others: ImageMagick
  // composes no frame cropped wholly beyond the screen.
  add("a transparent frame reaching beyond the screen",
      GifBuilder().Header(2, 5, 2).Gce(0, 60, 0).Image(1, 1, 1, 3).Pixels(2, {1, 2, 1})
          .Gce(0, 10, 0).Image(0, 1, 3, 4).Pixels(2, Solid(12, 0))
          .Gce(1, 25, 1).Image(1, 4, 1, 1).Pixels(2, {2}).Trailer());
  add("a transparent frame reaching beyond a screen of no height",
      GifBuilder().Header(1, 0, 2).Gce(0, 80).Image(0, 0, 1, 6).Pixels(2, {1, 1, 2, 2, 3, 1})
          .Gce(3, 10, 2).Image(0, 3, 4, 1).Pixels(2, {2, 2, 1, 2})
          .Gce(0, 140, 1).Image(0, 4, 1, 2).Pixels(2, {0, 2}).Trailer());
  // A frame restoring its area, painted over by the next, after one cleared to a background index
  // beyond the table: Pillow would clear it too, and fail to look up that background.
  add("a frame restoring its area after one cleared to a background beyond the table",
      GifBuilder().Header(7, 3, 2, 6).Gce(2, 10).Image(4, 0, 3, 3).Pixels(2, Solid(9, 1))
          .Gce(3, 35).Image(5, 2, 1, 1).Pixels(2, {2}).Gce(1, 160).Image(2, 2, 4, 1).Pixels(2, {3, 0, 3, 0}).Trailer());
  // A first frame whose transparent index lies beyond the global table, which ImageMagick then
  // takes as opaque, and a frame that merging would give a transparent index appended to that
  // table.
  add("a first frame transparent beyond a table that merging would grow",
      GifBuilder().Header(1, 5, 1).Gce(1, 30, 3).Image(0, 3, 1, 2).Pixels(2, {0, 1})
          .Gce(0, 50).Image(0, 2, 1, 3).Pixels(2, {1, 0, 1}).Trailer());
  // A frame whose transparent index lies beyond its table, over one it repeats: the codec and
  // Pillow take its pixels of that index as transparent, ImageMagick shows the table's first entry.
  add("a frame transparent beyond its table over one it repeats",
      GifBuilder().Header(2, 1, 1).Gce(1, 10).Image(0, 0, 2, 1).Pixels(2, {1, 1})
          .Gce(1, 10, 3).Image(0, 0, 2, 1).Pixels(2, {3, 1}).Gce(1, 10).Image(1, 0, 1, 1).Pixels(2, {0}).Trailer());
  add("a frame transparent beyond where there is no table",
      GifBuilder().Header(3, 1, 0).Gce(1, 10).Image(0, 0, 3, 1, 1).Pixels(2, {0, 1, 1})
          .Gce(1, 10, 3).Image(0, 0, 3, 1).Pixels(2, {3, 0, 3}).Trailer());
  // After a first image without a colour table Pillow shows indices up to the first frame with a
  // table, and colours only after that one: a pixel of the frame after it is no stand-in for the
  // index below.
  add("a frame in colours over the first one with a table after a first image without",
      GifBuilder().Header(3, 1, 0).Gce(1, 10).Image(0, 0, 1, 1).Pixels(2, {0})
          .Gce(1, 10).Image(0, 0, 3, 1, 2).Pixels(2, {0, 1, 2})
          .Gce(1, 10).Image(0, 0, 3, 1, 2).Pixels(2, {0, 3, 3}).Trailer());
  // The viewer's own decoder clears the area of a frame that restores what was before it, where
  // the codec, Pillow and ImageMagick restore it: neither cropped nor drawn over in its place.
  add("a transparent-edged frame restoring what was before it",
      GifBuilder().Header(3, 1, 2).Gce(1, 10).Image(0, 0, 3, 1).Pixels(2, {1, 1, 1})
          .Gce(3, 10, 0).Image(0, 0, 3, 1).Pixels(2, {0, 2, 0}).Gce(1, 10).Image(1, 0, 1, 1).Pixels(2, {3}).Trailer());
  add("a frame repeating pixels under one restoring what was before it",
      GifBuilder().Header(3, 1, 2).Gce(1, 10).Image(0, 0, 3, 1).Pixels(2, {1, 1, 1})
          .Gce(3, 10).Image(0, 0, 1, 1).Pixels(2, {2}).Gce(1, 10, 0).Image(0, 0, 3, 1).Pixels(2, {1, 0, 3}).Trailer());
  // Extensions the clean-up takes away or keeps, on frames of every kind.
  add("comments and a plain text block between control block and image",
      Comment(GifBuilder().Header(2, 1, 1).Gce(1, 10)).Raw({'!', 0x01, 12, 0, 0, 0, 0, 2, 0, 1, 0, 1, 1, 1, 0, 1, 'a', 0})
          .Image(0, 0, 2, 1).Pixels(2, {0, 1}).Gce(1, 10).Image(0, 0, 2, 1).Pixels(2, {0, 1}).Trailer());
  // A frame of no size and two control blocks, which the codec fills with the first block's index
  // beyond the colour table, the second giving it transparency: where the optimised picture cannot
  // be written, the file is written as it was.
  shapes.push_back({"as it was or smaller: a frame filled beyond its table",
                    FromHex("47494638396106000100f002001eff0061d6712c0100000004000100821eff0061d671a4ade2e7"
                            "84532a5bc46d3235b009a6f3e01703030810910021f90409c80001002c01000000010001000002"
                            "0244010021f904140f00ff002c040000000100010000020244010021f904005500ff0021f9040d"
                            "9b00030021fe03616263002c02000000000001000002024401003b").Bytes});
  // The end code alone in a sub-block after the last pixel's: ImageMagick stops reading the frame
  // at its last pixel and takes 0x21 for an extension, which swallows the next frame. Written
  // again, the file would show that frame there.
  shapes.push_back({"unchanged: an extension introducer after a frame's last pixel",
                    Comment(GifBuilder().Header(2, 2, 2).Gce(1, 10).Image(0, 0, 3, 1, 3)
                                .Lzw(5, GifBuilder::LiteralCodes(5, {1, 2, 3}), 3))
                        .Gce(1, 20).Image(0, 0, 2, 2).Pixels(2, {0, 1, 2, 3}).Trailer().Bytes});
  // A frame reaching past the farthest corner a descriptor names is cut on loading; Pillow grows
  // its screen to it.
  shapes.push_back({"unchanged: a frame reaching past the farthest corner",
                    Comment(GifBuilder().Header(2, 2, 2).Gce(1, 10).Image(0, 0, 2, 2).Pixels(2, {0, 1, 2, 3})
                                .Gce(1, 10).Image(65534, 1, 3, 1).Pixels(2, {1, 2, 3}))
                        .Gce(1, 10).Image(0, 0, 1, 1).Pixels(2, {0}).Trailer().Bytes});
  // A file that nothing makes smaller: the codec's coding of a few pixels is longer than the
  // literal codes here.
  shapes.push_back({"unchanged: two tiny frames", GifBuilder().Header(2, 1, 1).Gce(1, 10).Image(0, 0, 2, 1)
                                                      .Pixels(2, {0, 1}).Gce(1, 10).Image(0, 0, 1, 1).Pixels(2, {1}).Trailer().Bytes});
  return shapes;
}

using GifOptimizeDecoders = GifDecoderTest;

}  // namespace

// Each shape optimised by gifcodec: the codec, Pillow and ImageMagick each show every screen, for
// the same time, and the same loop count as before; a file the optimiser would make larger is
// written as it was.
TEST_F(GifOptimizeDecoders, ShapesShowTheSameInEveryDecoderAndNeverGrow) {
  TempDir dir;
  const std::vector<TShape> shapes = Shapes();
  std::vector<std::string> files;
  for (size_t i = 0; i < shapes.size(); ++i) {
    const std::string in = dir.File("in" + std::to_string(i) + ".gif"), out = dir.File("out" + std::to_string(i) + ".gif");
    TempDir::Write(in, std::string(shapes[i].Bytes.begin(), shapes[i].Bytes.end()));
    const ProgramRun run = RunProgram(GIFCODEC_EXE, {"optimize", in, out});
    EXPECT_EQ(run.status, 0) << shapes[i].Name << ": " << run.err;
    const std::string written = TempDir::Read(out);
    if (std::string(shapes[i].Name).starts_with("unchanged"))
      EXPECT_EQ(written, std::string(shapes[i].Bytes.begin(), shapes[i].Bytes.end())) << shapes[i].Name;
    else if (std::string(shapes[i].Name).starts_with("as it was or smaller"))
      EXPECT_LE(written.size(), shapes[i].Bytes.size()) << shapes[i].Name;
    else
      EXPECT_LT(written.size(), shapes[i].Bytes.size()) << shapes[i].Name;
    files.insert(files.end(), {in, out});
  }
  const auto codec = ShownByCodec(files, dir), viewer = ShownByCodec(files, dir, true),
             pillow = ShownByPillow(python_, files), magick = ShownByMagick(convert_, files, dir);
  for (size_t i = 0; i < shapes.size(); ++i) {
    const std::string &in = files[2 * i], &out = files[2 * i + 1];
    for (const auto& [decoder, shown] :
         {std::pair{"codec", &codec}, {"viewer", &viewer}, {"Pillow", &pillow}, {"ImageMagick", &magick}}) {
      const TShown &a = shown->at(in), &b = shown->at(out);
      EXPECT_EQ(Compare(a, b), TDifference{}) << decoder << ", " << shapes[i].Name << ":\n  before" << Describe(a)
                                             << "\n  after" << Describe(b);
    }
  }
}
