// Animations on the injected clock: frame timing, speed, loops, what the animator's own image shows
// (checked against the frame compositor too), destinations that go, and optimisation while an
// animation runs.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QObject>
#include <memory>
#include <vector>

#include "gif/GifCompose.h"
#include "gif/gui/GifPicture.h"
#include "tests/gif/GifClock.h"

using namespace gif;
using namespace gif::test;

namespace {

using GifAnimation = GifClockTest;

// Eight global colours; the background index is 5.
std::unique_ptr<TGifPicture> Animation(int width, int height, const std::vector<TFrameSpec>& frames, int loops = -1) {
  auto picture = std::make_unique<TGifPicture>();
  Build(*picture, width, height, 8, frames, loops);
  picture->Header.BackgroundColorIndex = 5;
  picture->DrawOptions = goAsync | goTransparent | goAnimate;
  return picture;
}

std::vector<TFrameSpec> Frames(std::vector<int> delays) {
  std::vector<TFrameSpec> frames;
  for (int d : delays) frames.push_back({0, 0, 2, 2, {}, 0, d});
  return frames;
}

// Draws into a fresh image; returns the animator for the rectangle, if one runs.
std::shared_ptr<TGIFPainter> DrawOnce(TGifPicture& picture, QObject* destination, const TRect& rect = {0, 0, 2, 2}) {
  QImage image(rect.Right, rect.Bottom, QImage::Format_ARGB32);
  image.fill(0);
  TCanvas canvas(&image);
  picture.Draw(canvas, rect, destination);
  for (const auto& p : picture.Painters())
    if (p->Rect() == rect && p->Destination() == destination) return p;
  return nullptr;
}

// Wakes the animator after each wait until it has shown `frames` more frames or ended.
void Advance(TGIFPainter& painter, int frames) {
  for (int i = 0; i < frames && painter.Running() && painter.Due() >= 0; ++i) {
    fakeNow = painter.Due();
    painter.Wake();
  }
}

}  // namespace

TEST_F(GifAnimation, FrameDelaysFollowTheMinimumDefaultMaximumAndSpeed) {
  struct Case {
    int Delay, Speed, Async, Sync;
  };
  for (const Case c : {Case{0, 100, 120, 120}, Case{1, 100, 36, 36}, Case{3, 100, 36, 36}, Case{10, 100, 120, 120},
                       Case{1000, 100, 12000, 12000}, Case{1001, 100, 12012, 12000}, Case{0, 200, 60, 60},
                       Case{0, 50, 240, 240}}) {
    SCOPED_TRACE(testing::Message() << c.Delay << " at " << c.Speed);
    auto picture = Animation(2, 2, Frames({c.Delay, 5}));
    picture->AnimationSpeed = c.Speed;
    auto painter = DrawOnce(*picture, nullptr);
    ASSERT_NE(painter, nullptr);
    EXPECT_EQ(painter->Due() - fakeNow, c.Async);
    fakeNow += c.Async - 1;
    painter->Wake();
    EXPECT_EQ(painter->Frame(), 0);
    fakeNow += 1;
    painter->Wake();
    EXPECT_EQ(painter->Frame(), 1);

    // Synchronously, inside Draw: waits in slices of at most 100 ms.
    picture->DrawOptions = goTransparent | goAnimate;
    std::vector<int64_t> shown;
    picture->OnAfterPaint = [&](TGIFPainter&) { shown.push_back(fakeNow); };
    sleeps.clear();
    EXPECT_EQ(DrawOnce(*picture, nullptr), nullptr);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1] - shown[0], c.Sync);
    EXPECT_LE(*std::max_element(sleeps.begin(), sleeps.end()), 100);
  }
}

TEST_F(GifAnimation, AtSpeedZeroAnAsynchronousAnimationStaysOnItsFirstFrame) {
  auto picture = Animation(2, 2, Frames({5, 5, 5}));
  picture->AnimationSpeed = 0;
  auto painter = DrawOnce(*picture, nullptr);
  ASSERT_NE(painter, nullptr);
  EXPECT_EQ(painter->Due(), -1);
  fakeNow += 1000000;
  painter->Wake();
  EXPECT_EQ(painter->Frame(), 0);
  EXPECT_TRUE(painter->Running());
  painter->Restart();
  EXPECT_EQ(painter->Frame(), 0);
  EXPECT_TRUE(painter->Running());
  picture->StopPainters();
  EXPECT_TRUE(painter->Stopped());
  EXPECT_TRUE(picture->Painters().empty());

  // Synchronously, speed 0 waits the longest delay rather than for ever.
  picture->DrawOptions = goAnimate;
  DrawOnce(*picture, nullptr);
  EXPECT_EQ(fakeNow - 1001000, 3 * 12000);
}

// Looping continuously overrides the count when asynchronous. An ended animation keeps showing
// its last frame, and a repaint draws it again rather than starting over.
TEST_F(GifAnimation, LoopCountsGivePassesAndLoopEvents) {
  struct Case {
    int Loops;
    bool Async;
    int Passes;  // -1: still running after many
    bool Continuously = false;
  };
  for (const Case c : {Case{2, true, 3}, Case{0, true, -1}, Case{-1, true, 1}, Case{2, false, 3}, Case{0, false, 1},
                       Case{-1, false, 1}, Case{1, true, 2}, Case{1, true, -1, true}, Case{1, false, 2, true}}) {
    SCOPED_TRACE(testing::Message() << c.Loops << (c.Async ? " async" : " sync") << c.Continuously);
    auto picture = Animation(2, 2, Frames({3, 3}), c.Loops);
    if (!c.Async) picture->DrawOptions = goAnimate;
    if (c.Continuously) picture->DrawOptions |= goLoopContinuously;
    int loops = 0, ends = 0, frames = 0;
    picture->OnLoop = [&](TGIFPainter&) { ++loops; };
    picture->OnEndPaint = [&](TGIFPainter&) { ++ends; };
    picture->OnPaint = [&](TGIFPainter&) { ++frames; };
    auto painter = DrawOnce(*picture, nullptr);
    if (c.Async) {
      ASSERT_NE(painter, nullptr);
      Advance(*painter, 40);
      EXPECT_EQ(painter->Running(), c.Passes < 0);
    }
    if (c.Passes < 0) {
      EXPECT_EQ(std::tuple(frames, loops, ends), std::tuple(41, 21, 0));
      continue;
    }
    EXPECT_EQ(std::tuple(frames, loops, ends), std::tuple(2 * c.Passes, c.Passes, 1));
    if (!c.Async) continue;
    EXPECT_EQ(painter->Frame(), 1);
    EXPECT_EQ(DrawOnce(*picture, nullptr), painter);
    EXPECT_EQ(painter->Frame(), 1);
  }
}

// The animator's image frame by frame, as rows of colour indices ('.' transparent): disposal 2
// restores transparency, the file's background colour or the picture's own; the last frame's
// disposal applies when the next pass starts; clearing on loop restores the first frame's area
// before each pass; an offset rectangle scales and restores within it.
TEST_F(GifAnimation, TheAnimatorShowsEachFrameOverWhatTheOneBeforeLeft) {
  struct Case {
    const char* name;
    int width, height;
    std::vector<TFrameSpec> frames;
    uint16_t options;
    TRect rect;
    std::vector<const char*> shown;  // at the start, then after each frame
    TColor background = NoBackgroundColor;
  };
  const std::vector<TFrameSpec> disposed = {{0, 0, 2, 2, {}, 2, 3}, {0, 0, 1, 1, {}, 0, 3}};
  const std::vector<TFrameSpec> holed = {{0, 0, 2, 1, {0, 7}, 0, 3, 7}, {1, 0, 1, 1, {}, 0, 3}};
  const uint16_t transparent = goAsync | goAnimate | goTransparent;
  const Case cases[] = {
      {"disposal 2, transparent", 2, 2, disposed, transparent, {0, 0, 2, 2}, {"00|00|", "1.|..|"}},
      {"disposal 2, background index", 2, 2, disposed, goAsync | goAnimate, {0, 0, 2, 2}, {"00|00|", "15|55|"}},
      {"disposal 2, own background", 2, 2, disposed, goAsync | goAnimate, {0, 0, 2, 2}, {"00|00|", "17|77|"},
       RGB(7, 248, 49)},
      {"last disposal at the next pass", 2, 1, {{0, 0, 1, 1, {}, 0, 3}, {0, 0, 2, 1, {}, 2, 3}}, transparent,
       {0, 0, 2, 1}, {"0.|", "11|", "0.|"}},
      {"clear on loop", 2, 1, holed, transparent | goClearOnLoop, {0, 0, 2, 1}, {"0.|", "01|", "0.|"}},
      {"no clear on loop", 2, 1, holed, transparent, {0, 0, 2, 1}, {"0.|", "01|", "01|"}},
      {"offset and doubled", 2, 2, {{0, 0, 1, 1, {}, 2, 3}, {1, 1, 1, 1, {}, 0, 3}}, goAsync | goAnimate,
       {3, 1, 7, 5}, {"0055|0055|5555|5555|", "5555|5555|5511|5511|"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto picture = Animation(c.width, c.height, c.frames, 1);
    picture->DrawOptions = c.options;
    picture->DrawBackgroundColor = c.background;
    auto painter = DrawOnce(*picture, nullptr, c.rect);
    ASSERT_NE(painter, nullptr);
    for (size_t i = 0; i < c.shown.size(); ++i) {
      if (i > 0) Advance(*painter, 1);
      EXPECT_EQ(Rows(painter->Image()), c.shown[i]) << "step " << i;
    }
  }
}

TEST_F(GifAnimation, TheAnimatorsImageFollowsTheCompositorFrameByFrame) {
  // Overlapping frames of every disposal, with and without transparency, on a 6 x 4 screen.
  const std::vector<uint8_t> checker = {1, 7, 2, 7, 7, 3, 7, 4, 5, 7, 6, 7};
  const std::vector<TFrameSpec> frames = {
      {0, 0, 6, 4, {}, 1, 3},           {1, 1, 4, 3, checker, 3, 3, 7}, {2, 0, 3, 2, {}, 2, 3},
      {0, 2, 4, 2, {}, 0, 3, 2},        {3, 1, 3, 3, {}, 3, 3},         {0, 0, 4, 3, checker, 2, 3, 7},
      {1, 0, 5, 4, {}, 0, 3},           {0, 0, 1, 1, {}, 1, 3}};
  auto picture = Animation(6, 4, frames);
  TGIFComposer composer(*picture);
  auto painter = DrawOnce(*picture, nullptr, {0, 0, 6, 4});
  ASSERT_NE(painter, nullptr);
  for (int i = 0; i < picture->Images.Count(); ++i) {
    SCOPED_TRACE(i);
    if (i > 0) Advance(*painter, 1);
    ASSERT_EQ(painter->Frame(), i);
    const std::vector<uint32_t>& screen = composer.Draw(picture->Images[i]);
    const QImage shown = painter->Image().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) EXPECT_EQ(shown.pixel(x, y), screen[static_cast<size_t>(y) * 6 + x]) << x << "," << y;
  }
}

// One animation per destination and rectangle; a destroyed destination ends its own.
TEST_F(GifAnimation, AnimationsBelongToADestinationAndRectangle) {
  auto picture = Animation(4, 4, Frames({3, 3}));
  QObject a;
  auto* b = new QObject;
  auto first = DrawOnce(*picture, &a, {0, 0, 2, 2});
  EXPECT_EQ(DrawOnce(*picture, &a, {0, 0, 2, 2}), first);
  auto other = DrawOnce(*picture, b, {0, 0, 2, 2});
  EXPECT_NE(other, first);
  DrawOnce(*picture, &a, {1, 1, 3, 3});
  EXPECT_TRUE(first->Stopped());
  EXPECT_FALSE(other->Stopped());
  EXPECT_EQ(picture->Painters().size(), 2u);
  delete b;
  Advance(*other, 1);
  EXPECT_TRUE(other->Stopped());
  EXPECT_EQ(picture->Painters().size(), 1u);
}

TEST_F(GifAnimation, TheTimerDrivesTheAnimationOnTheEventLoop) {
  platform::SetClockSource(nullptr);
  auto picture = Animation(2, 2, Frames({3, 3}), 0);
  int shown = 0;
  picture->OnAfterPaint = [&](TGIFPainter&) { ++shown; };
  QObject destination;
  auto painter = DrawOnce(*picture, &destination);
  ASSERT_NE(painter, nullptr);
  const int64_t end = platform::MonotonicMilliseconds() + 5000;
  while (shown < 4 && platform::MonotonicMilliseconds() < end) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  EXPECT_GE(shown, 4);
}

// Optimising stops the animations and none starts while it runs, even from a frame's handler; a
// picture destroyed from inside its animator's wake-up leaves the animator stopped.
TEST_F(GifAnimation, OptimizingOrDestroyingThePictureStopsItsAnimations) {
  auto picture = Animation(2, 2, Frames({3, 3, 3}), 3);
  auto painter = DrawOnce(*picture, nullptr);
  ASSERT_NE(painter, nullptr);
  bool drewDuring = false;
  picture->OnProgress = [&](TProgressStage, int, const std::string& message) {
    if (message != sOptimizing || drewDuring) return;
    drewDuring = true;
    EXPECT_EQ(DrawOnce(*picture, nullptr), nullptr);
  };
  picture->Optimize(ooCleanup | ooColorMap | ooMerge | ooCrop, 6, 0, 8);
  EXPECT_TRUE(drewDuring);
  EXPECT_TRUE(painter->Stopped());
  picture->OnProgress = nullptr;

  picture->DrawOptions = goAnimate;  // synchronous: the play ends at once
  int frames = 0;
  picture->OnAfterPaint = [&](TGIFPainter&) {
    if (++frames == 2) picture->Optimize(ooCleanup | ooCrop | ooMerge, 6, 0, 8);
  };
  DrawOnce(*picture, nullptr);
  EXPECT_EQ(frames, 2);
  EXPECT_TRUE(picture->Painters().empty());

  picture->DrawOptions = goAsync | goAnimate;
  picture->OnAfterPaint = nullptr;
  painter = DrawOnce(*picture, nullptr);
  ASSERT_NE(painter, nullptr);
  painter->OnAfterPaint = [&](TGIFPainter&) { picture.reset(); };
  Advance(*painter, 1);
  EXPECT_EQ(picture, nullptr);
  EXPECT_TRUE(painter->Stopped());
  EXPECT_EQ(painter->Picture(), nullptr);
  painter->Wake();  // harmless fakeNow
}

TEST_F(GifAnimation, SingleFramesAndStillPicturesDrawTheCurrentFrame) {
  auto picture = Animation(2, 1, {{0, 0, 2, 1, {}, 0, 3}, {0, 0, 1, 1, {}, 0, 3}});
  picture->DrawOptions = goAsync | goTransparent;  // no goAnimate
  QImage image(2, 1, QImage::Format_ARGB32);
  image.fill(0xFF0000FF);
  for (const auto& [current, rows] : {std::pair(1, "1.|"), std::pair(5, "00|")}) {  // out of range: frame 0
    picture->CurrentFrame = current;
    {
      TCanvas canvas(&image);
      picture->Draw(canvas, {0, 0, 2, 1});
    }
    EXPECT_EQ(Rows(image, 0xFF0000FF), rows);
  }
  EXPECT_TRUE(picture->Painters().empty());
  auto single = Animation(2, 1, {{0, 0, 2, 1, {}, 0, 3}});
  DrawOnce(*single, nullptr, {0, 0, 2, 1});
  EXPECT_TRUE(single->Painters().empty());
}
