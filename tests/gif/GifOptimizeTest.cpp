#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gif/GifCompose.h"
#include "gif/gui/GifConvert.h"
#include "platform/core/MemoryStream.h"
#include "tests/gif/GifTestSupport.h"

using namespace gif;
using namespace gif::test;

namespace {

// What an animation shows: each screen the frames leave and for how long (hundredths, as the
// animation times a delay), neighbours showing the same screen joined; and its loop count.
struct TShown {
  int Width = 0, Height = 0, Loops = -1;
  std::vector<std::vector<uint32_t>> Screens;
  std::vector<int> Durations;
  bool operator==(const TShown&) const = default;
};

void PrintTo(const TShown& s, std::ostream* os) {
  *os << s.Width << "x" << s.Height << " loops " << s.Loops << ", " << s.Screens.size() << " screens:";
  for (size_t i = 0; i < s.Screens.size(); ++i) {
    *os << " [" << s.Durations[i] << ":";
    for (uint32_t p : s.Screens[i]) *os << " " << std::hex << p << std::dec;
    *os << "]";
  }
}

TShown Shown(const TGifPictureBase& image) {
  TShown shown;
  shown.Width = image.Width();
  shown.Height = image.Height();
  TGIFComposer composer(image);
  for (int i = 0; i < image.Images.Count(); ++i) {
    const TGIFSubImage& frame = image.Images[i];
    for (int e = 0; e < frame.Extensions.Count() && shown.Loops < 0; ++e)
      if (auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(&frame.Extensions[e])) shown.Loops = loop->Loops;
    if (frame.Empty()) continue;  // nothing to show
    const std::vector<uint32_t>& screen = composer.Draw(frame);
    const TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
    const int delay = gce ? gce->Delay : 0;
    const int duration = delay == 0 ? 10 : std::max(delay, 3);
    if (!shown.Screens.empty() && shown.Screens.back() == screen) {
      shown.Durations.back() += duration;
    } else {
      shown.Screens.push_back(screen);
      shown.Durations.push_back(duration);
    }
  }
  // One picture stays as it is: neither time nor loops show.
  if (shown.Screens.size() <= 1) {
    shown.Loops = -1;
    for (int& d : shown.Durations) d = 0;
  }
  return shown;
}

void Reloaded(TGifPictureBase& image, TGifPictureBase& into) {
  TMemoryStream stream;
  image.SaveToStream(stream);
  stream.SetPosition(0);
  into.LoadFromStream(stream);
}

void AddLoop(TGIFSubImage& frame, int loops) {
  auto loop = std::make_unique<TGIFAppExtNSLoop>(&frame);
  loop->Loops = static_cast<uint16_t>(loops);
  frame.Extensions.Add(std::move(loop));
}

void Grey(TGIFColorMap& map, int count, int seed) {
  for (int i = 0; i < count; ++i) {
    // Colours repeat across tables (and sometimes within one), so that merging meets equal colours
    // under different indices.
    const auto v = static_cast<uint8_t>((i * 40 + seed * 20) % 120);
    map.Add({v, v, static_cast<uint8_t>(i % 3 == 2 ? 0 : v)});
  }
}

// A small random animation of the kinds that optimising must keep: disposals 0 to 3, transparent
// frames (some wholly, some with an index no pixel has), global and local tables, overlapping and
// repeated frames, interlacing, delays 0 to 5, comments, loop extensions on any frame.
void Generate(TGifPictureBase& image, unsigned seed) {
  std::mt19937 random(seed);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  image.Header.Width = 1 + pick(7);
  image.Header.Height = 1 + pick(6);
  const bool global = pick(5) != 0;
  if (global) Grey(image.Header.ColorMap, pick(10) == 0 ? 256 : 2 + pick(5), 0);
  const int frames = 1 + pick(6);
  for (int f = 0; f < frames; ++f) {
    const TGIFSubImage* last = f > 0 ? &image.Images[f - 1] : nullptr;
    const bool repeat = last && pick(4) == 0;
    const int left = repeat ? last->Left() : pick(image.Width());
    const int top = repeat ? last->Top() : pick(image.Height());
    const int width = repeat ? last->Width() : 1 + pick(image.Width() - left);
    const int height = repeat ? last->Height() : 1 + pick(image.Height() - top);
    std::vector<uint8_t> pixels = repeat ? last->Data() : std::vector<uint8_t>(static_cast<size_t>(width * height));
    TGIFSubImage& frame = AddFrame(image, left, top, width, height, pixels);
    frame.SetInterlaced(pick(4) == 0);
    if (!global || pick(3) == 0) Grey(frame.ColorMap, pick(12) == 0 ? 256 : 2 + pick(4), f + 1);
    const int colors = frame.ActiveColorMap().Count();
    const int used = std::min(colors, 1 + pick(4));
    for (uint8_t& p : frame.Data()) p = static_cast<uint8_t>(repeat ? p % colors : pick(used));
    if (pick(3) != 0) {
      const int transparent = pick(3) == 0 ? pick(colors) : pick(used);
      Gce(frame, pick(4), pick(2) ? transparent : -1, pick(6));
      if (pick(5) == 0)  // wholly transparent
        std::fill(frame.Data().begin(), frame.Data().end(), static_cast<uint8_t>(transparent));
    }
    if (pick(6) == 0) AddLoop(frame, pick(3));
    if (pick(8) == 0) {
      auto comment = std::make_unique<TGIFCommentExtension>(&frame);
      comment->Text = {"made by a test"};
      frame.Extensions.Add(std::move(comment));
    }
  }
}

}  // namespace

TEST(GifOptimize, EveryOptionSetKeepsWhatManyAnimationsShow) {
  int changedSomething = 0;
  for (unsigned seed = 1; seed <= 400; ++seed) {
    TGifPictureBase original;
    Generate(original, seed);
    const TShown want = Shown(original);
    for (unsigned options = 0; options < 32; ++options) {
      TGifPictureBase image;
      TMemoryStream stream;
      original.SaveToStream(stream);
      stream.SetPosition(0);
      image.LoadFromStream(stream);
      ASSERT_EQ(Shown(image), want) << "seed " << seed;  // the file keeps it, to begin with
      const size_t before = stream.Bytes().size();
      SCOPED_TRACE("seed " + std::to_string(seed) + ", options " + std::to_string(options));
      ASSERT_NO_THROW(OptimizeFrames(image, options, TGifConvertSettings{}));
      ASSERT_EQ(Shown(image), want) << "seed " << seed << ", options " << options;
      TGifPictureBase again;
      ASSERT_NO_THROW(Reloaded(image, again));
      ASSERT_EQ(Shown(again), want) << "seed " << seed << ", options " << options << ", saved";
      TMemoryStream saved;
      image.SaveToStream(saved);
      if (saved.Bytes().size() != before) ++changedSomething;
    }
  }
  EXPECT_GT(changedSomething, 1000);  // the animations give the optimiser work
}

TEST(GifOptimize, ProgressEndsAndAGivenPaletteIsRefusedWithoutCleanUp) {
  TGifPictureBase image;
  Generate(image, 7);
  std::vector<std::pair<TProgressStage, int>> progress;
  image.OnProgress = [&](TProgressStage s, int p, const std::string& m) {
    EXPECT_EQ(m, sOptimizing);
    progress.emplace_back(s, p);
  };
  OptimizeFrames(image, 0x1F, {});
  ASSERT_GE(progress.size(), 3u);
  EXPECT_EQ(progress.front(), std::make_pair(psStarting, 0));
  EXPECT_EQ(progress.back(), std::make_pair(psEnding, 100));

  TGifConvertSettings given;
  given.ColorReduction = 9;
  progress.clear();
  EXPECT_THROW(OptimizeFrames(image, ooReduceColors, given), GIFException);
  EXPECT_EQ(progress.back(), std::make_pair(psEnding, 0));
  EXPECT_NO_THROW(OptimizeFrames(image, ooReduceColors | ooCleanup, given));
  TGifPictureBase empty;
  EXPECT_NO_THROW(OptimizeFrames(empty, 0x1F, {}));
}

// A frame cleared after it keeps its size: cropping it would shrink the area cleared.
TEST(GifOptimize, DoesNotCropAFrameThatIsClearedAfterIt) {
  TGifPictureBase image;
  image.Header.ColorMap.Add({0, 0, 0});
  image.Header.ColorMap.Add({255, 0, 0});
  AddFrame(image, 0, 0, 4, 1, {1, 1, 1, 1});
  TGIFSubImage& cleared = AddFrame(image, 0, 0, 4, 1, {0, 1, 0, 0});
  Gce(cleared, 2, 0);
  AddFrame(image, 3, 0, 1, 1, {1});
  const TShown want = Shown(image);
  OptimizeFrames(image, ooCrop, {});
  EXPECT_EQ(image.Images[1].Width(), 4);
  EXPECT_EQ(Shown(image), want);
}

// A frame that shows nothing goes after a frame that keeps what it drew, its time added there;
// after a frame that is cleared away it must stay.
TEST(GifOptimize, AnEmptiedFrameGoesOnlyAfterAKeptFrameAndLendsItItsTime) {
  for (int disposal : {0, 1, 2, 3}) {
    SCOPED_TRACE("disposal " + std::to_string(disposal));
    TGifPictureBase image;
    image.Header.ColorMap.Add({0, 0, 0});
    image.Header.ColorMap.Add({255, 0, 0});
    Gce(AddFrame(image, 0, 0, 2, 2, {1, 1, 1, 0}), disposal, -1, 0);
    Gce(AddFrame(image, 0, 0, 2, 2, {0, 0, 0, 0}), 0, 0, 1);  // shows nothing for 3 (1 counts 3)
    AddFrame(image, 1, 1, 1, 1, {1});
    const TShown want = Shown(image);
    OptimizeFrames(image, ooCrop, {});
    EXPECT_EQ(Shown(image), want);
    if (disposal <= 1) {
      ASSERT_EQ(image.Images.Count(), 2);
      EXPECT_EQ(image.Images[0].GraphicControlExtension()->Delay, 13);
    } else {
      ASSERT_EQ(image.Images.Count(), 3);
      EXPECT_EQ(image.Images[1].Width() * image.Images[1].Height(), 1);
    }
  }
}

TEST(GifOptimize, ALaterLoopExtensionMovesToTheFirstFrame) {
  TGifPictureBase image;
  image.Header.ColorMap.Add({0, 0, 0});
  image.Header.ColorMap.Add({255, 0, 0});
  AddFrame(image, 0, 0, 1, 1, {0});
  AddLoop(AddFrame(image, 0, 0, 1, 1, {1}), 5);
  AddLoop(AddFrame(image, 0, 0, 1, 1, {0}), 9);
  OptimizeFrames(image, ooCleanup, {});
  EXPECT_EQ(Shown(image).Loops, 5);
  int loops = 0;
  for (int i = 0; i < image.Images.Count(); ++i)
    for (int e = 0; e < image.Images[i].Extensions.Count(); ++e)
      if (dynamic_cast<TGIFAppExtNSLoop*>(&image.Images[i].Extensions[e])) {
        EXPECT_EQ(i, 0);
        ++loops;
      }
  EXPECT_EQ(loops, 1);
}

// Disposal 2 or 3 becomes 0 only where the next frame paints over all that it would restore.
TEST(GifOptimize, NeedlessDisposalGoesOnlyUnderACoveringFrame) {
  struct Case {
    int left, top, width, height;  // the next frame
    int nextDisposal;
    bool dropped;
  };
  const Case cases[] = {
      {0, 0, 3, 3, 0, true},   // covers all
      {1, 0, 2, 3, 0, false},  // overlaps only
      {0, 0, 3, 3, 3, false},  // covers, but restores what was before it afterwards
  };
  for (const Case& c : cases)
    for (int disposal : {2, 3}) {
      TGifPictureBase image;
      image.Header.ColorMap.Add({0, 0, 0});
      image.Header.ColorMap.Add({255, 0, 0});
      image.Header.ColorMap.Add({0, 0, 255});
      AddFrame(image, 0, 0, 3, 3, std::vector<uint8_t>(9, 2));
      TGIFGraphicControlExtension& gce = Gce(AddFrame(image, 0, 0, 3, 3, std::vector<uint8_t>(9, 1)), disposal, -1, 4);
      Gce(AddFrame(image, c.left, c.top, c.width, c.height, std::vector<uint8_t>(c.width * c.height, 0)), c.nextDisposal, -1,
          4);
      AddFrame(image, 0, 0, 1, 1, {1});
      const TShown want = Shown(image);
      OptimizeFrames(image, ooCleanup, {});
      EXPECT_EQ(gce.Disposal(), c.dropped ? 0 : disposal) << c.left << " " << c.nextDisposal << " " << disposal;
      EXPECT_EQ(Shown(image), want);
    }
}

TEST(GifOptimize, CleanUpDropsExtensionsThatCarryNothing) {
  TGifPictureBase image;
  image.Header.ColorMap.Add({0, 0, 0});
  image.Header.ColorMap.Add({255, 0, 0});
  TGIFSubImage& first = AddFrame(image, 0, 0, 2, 1, {0, 1});
  Gce(first, 0, -1, 0);  // delay 0 is the default: nothing
  auto comment = std::make_unique<TGIFCommentExtension>(&first);
  comment->Text = {"gone"};
  first.Extensions.Add(std::move(comment));
  Gce(AddFrame(image, 0, 0, 2, 1, {1, 0}), 0, 1, 0);  // its transparent index is used: kept
  TGIFSubImage& third = AddFrame(image, 0, 0, 2, 1, {1, 1});
  Gce(third, 1, 0, 0);  // its transparent index is not used: dropped with it
  const TShown want = Shown(image);
  OptimizeFrames(image, ooCleanup, {});
  EXPECT_EQ(image.Images[0].Extensions.Count(), 0);
  EXPECT_NE(image.Images[1].GraphicControlExtension(), nullptr);
  EXPECT_EQ(image.Images[2].GraphicControlExtension(), nullptr);
  EXPECT_EQ(Shown(image), want);
}
