// Animations on the injected clock: frame timing, speed, loops, disposal into the animator's own
// image (checked against the frame compositor), destinations that go, and optimisation while an
// animation runs.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QObject>
#include <memory>
#include <vector>

#include "gif/GifCompose.h"
#include "gif/gui/GifPicture.h"
#include "platform/core/Clock.h"
#include "tests/gif/GifTestSupport.h"

using namespace gif;
using namespace gif::test;

namespace {

int64_t fakeNow = 0;
std::vector<int> sleeps;
int64_t FakeClock() { return fakeNow; }
void FakeSleep(int ms) {
  sleeps.push_back(ms);
  fakeNow += ms;
}

// The clock and sleeper are the test's while it runs.
class GifAnimation : public ::testing::Test {
protected:
  void SetUp() override {
    EnsureApplication();
    fakeNow = 1000;
    sleeps.clear();
    platform::SetClockSource(&FakeClock);
    SetGIFSleeper(&FakeSleep);
  }
  void TearDown() override {
    platform::SetClockSource(nullptr);
    SetGIFSleeper(nullptr);
  }
};

struct Frame {
  int Left, Top, Width, Height;
  std::vector<uint8_t> Pixels;  // empty: every pixel its frame number's colour
  int Disposal = 0;
  int Delay = 0;
  int Transparent = -1;
};

// Global colours: index i is (i * 30, 200 - i * 20, i * 7); the background index is 5.
std::unique_ptr<TGifPicture> Animation(int width, int height, const std::vector<Frame>& frames, int loops = -1) {
  auto picture = std::make_unique<TGifPicture>();
  picture->Header.Width = width;
  picture->Header.Height = height;
  picture->Header.BackgroundColorIndex = 5;
  for (int i = 0; i < 8; ++i)
    picture->Header.ColorMap.Add(
        {static_cast<uint8_t>(i * 30), static_cast<uint8_t>(200 - i * 20), static_cast<uint8_t>(i * 7)});
  for (size_t n = 0; n < frames.size(); ++n) {
    const Frame& f = frames[n];
    auto frame = std::make_unique<TGIFSubImage>(picture.get());
    frame->SetBounds(f.Left, f.Top, f.Width, f.Height);
    if (f.Pixels.empty())
      std::fill(frame->Data().begin(), frame->Data().end(), static_cast<uint8_t>(n % 8));
    else
      frame->Data() = f.Pixels;
    if (n == 0 && loops >= 0) {
      auto loop = std::make_unique<TGIFAppExtNSLoop>(frame.get());
      loop->Loops = static_cast<uint16_t>(loops);
      frame->Extensions.Add(std::move(loop));
    }
    auto gce = std::make_unique<TGIFGraphicControlExtension>(frame.get());
    gce->SetDisposal(f.Disposal);
    gce->Delay = static_cast<uint16_t>(f.Delay);
    if (f.Transparent >= 0) {
      gce->SetTransparent(true);
      gce->SetTransparentColorIndex(f.Transparent);
    }
    frame->Extensions.Add(std::move(gce));
    picture->Images.Add(std::move(frame));
  }
  picture->DrawOptions = goAsync | goTransparent | goAnimate;
  return picture;
}

std::vector<Frame> Frames(std::vector<int> delays) {
  std::vector<Frame> frames;
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

TEST_F(GifAnimation, FrameDelaysFollowTheMinimumDefaultAndMaximum) {
  struct Case {
    int Delay, Async, Sync;
  };
  for (const Case c : {Case{0, 120, 120}, Case{1, 36, 36}, Case{2, 36, 36}, Case{3, 36, 36}, Case{10, 120, 120},
                       Case{1000, 12000, 12000}, Case{1001, 12012, 12000}}) {
    SCOPED_TRACE(c.Delay);
    auto picture = Animation(2, 2, Frames({c.Delay, 5}));
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

TEST_F(GifAnimation, SpeedScalesTheWaits) {
  auto picture = Animation(2, 2, Frames({0, 0}));
  picture->AnimationSpeed = 200;
  EXPECT_EQ(DrawOnce(*picture, nullptr)->Due() - fakeNow, 60);
  picture->StopPainters();
  picture->AnimationSpeed = 50;
  EXPECT_EQ(DrawOnce(*picture, nullptr)->Due() - fakeNow, 240);
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

// Looping continuously overrides the count when asynchronous.
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
      EXPECT_EQ(frames, 41);
      EXPECT_EQ(loops, 21);
      EXPECT_EQ(ends, 0);
    } else {
      EXPECT_EQ(loops, c.Passes);
      EXPECT_EQ(frames, 2 * c.Passes);
      EXPECT_EQ(ends, 1);
    }
  }
}

TEST_F(GifAnimation, AnEndedAnimationKeepsShowingItsLastFrame) {
  auto picture = Animation(2, 2, Frames({3, 3}));
  auto painter = DrawOnce(*picture, nullptr);
  Advance(*painter, 5);
  EXPECT_FALSE(painter->Running());
  EXPECT_EQ(painter->Frame(), 1);
  // A repaint draws it again rather than starting over.
  EXPECT_EQ(DrawOnce(*picture, nullptr), painter);
  EXPECT_EQ(painter->Frame(), 1);
}

TEST_F(GifAnimation, DisposalTwoRestoresTransparencyOrTheFilesBackgroundColour) {
  const std::vector<Frame> frames = {{0, 0, 2, 2, {}, 2, 3}, {0, 0, 1, 1, {}, 0, 3}};
  for (bool transparent : {true, false}) {
    SCOPED_TRACE(transparent);
    auto picture = Animation(2, 2, frames);
    picture->DrawOptions = goAsync | goAnimate | (transparent ? goTransparent : 0);
    auto painter = DrawOnce(*picture, nullptr);
    EXPECT_EQ(painter->Image().pixel(1, 1), qRgb(0, 200, 0));  // frame 0's colour
    Advance(*painter, 1);
    EXPECT_EQ(painter->Image().pixel(0, 0), qRgb(30, 180, 7));  // frame 1's
    EXPECT_EQ(painter->Image().pixel(1, 1), transparent ? 0u : qRgb(150, 100, 35));  // background index 5
  }
  // A background colour of the picture's own takes the file's place.
  auto picture = Animation(2, 2, frames);
  picture->DrawOptions = goAsync | goAnimate;
  picture->DrawBackgroundColor = RGB(1, 2, 3);
  auto painter = DrawOnce(*picture, nullptr);
  Advance(*painter, 1);
  EXPECT_EQ(painter->Image().pixel(1, 1), qRgb(1, 2, 3));
}

TEST_F(GifAnimation, TheAnimatorsImageFollowsTheCompositorFrameByFrame) {
  // Overlapping frames of every disposal, with and without transparency, on a 6 x 4 screen.
  const std::vector<uint8_t> checker = {1, 7, 2, 7, 7, 3, 7, 4, 5, 7, 6, 7};
  const std::vector<Frame> frames = {
      {0, 0, 6, 4, {}, 1, 3},           {1, 1, 4, 3, checker, 3, 3, 7}, {2, 0, 3, 2, {}, 2, 3},
      {0, 2, 4, 2, {}, 0, 3, 2},        {3, 1, 3, 3, {}, 3, 3},         {0, 0, 4, 3, checker, 2, 3, 7},
      {1, 0, 5, 4, {}, 0, 3},           {0, 0, 1, 1, {}, 1, 3}};
  auto picture = Animation(6, 4, frames);
  picture->DrawOptions = goAsync | goAnimate | goTransparent;
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

TEST_F(GifAnimation, ADestroyedDestinationEndsItsAnimation) {
  auto picture = Animation(2, 2, Frames({3, 3, 3}));
  auto* destination = new QObject;
  auto painter = DrawOnce(*picture, destination);
  ASSERT_NE(painter, nullptr);
  ASSERT_EQ(picture->Painters().size(), 1u);
  delete destination;
  Advance(*painter, 1);
  EXPECT_TRUE(painter->Stopped());
  EXPECT_TRUE(picture->Painters().empty());
}

TEST_F(GifAnimation, OneAnimationPerDestinationAndRectangle) {
  auto picture = Animation(4, 4, Frames({3, 3}));
  QObject a, b;
  auto first = DrawOnce(*picture, &a, {0, 0, 2, 2});
  EXPECT_EQ(DrawOnce(*picture, &a, {0, 0, 2, 2}), first);
  auto other = DrawOnce(*picture, &b, {0, 0, 2, 2});
  EXPECT_NE(other, first);
  auto moved = DrawOnce(*picture, &a, {1, 1, 3, 3});
  EXPECT_TRUE(first->Stopped());
  EXPECT_FALSE(other->Stopped());
  EXPECT_EQ(picture->Painters().size(), 2u);
  (void)moved;
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

TEST_F(GifAnimation, OptimizingStopsTheAnimationsAndNoneStartsWhileItRuns) {
  auto picture = Animation(2, 2, Frames({3, 3, 3}));
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
  EXPECT_NE(DrawOnce(*picture, nullptr), nullptr);
}

TEST_F(GifAnimation, HandlersMayOptimizeOrDestroyThePictureMidAnimation) {
  {
    // Synchronous: optimised from a frame's handler, the play ends at once.
    auto picture = Animation(2, 2, Frames({3, 3, 3}), 3);
    picture->DrawOptions = goAnimate;
    int frames = 0;
    picture->OnAfterPaint = [&](TGIFPainter&) {
      if (++frames == 2) picture->Optimize(ooCleanup | ooCrop | ooMerge, 6, 0, 8);
    };
    DrawOnce(*picture, nullptr);
    EXPECT_EQ(frames, 2);
    EXPECT_TRUE(picture->Painters().empty());
  }
  {
    // Asynchronous: the picture goes from inside the animator's own wake-up.
    auto picture = Animation(2, 2, Frames({3, 3, 3}));
    auto painter = DrawOnce(*picture, nullptr);
    picture->OnAfterPaint = nullptr;
    painter->OnAfterPaint = [&](TGIFPainter&) { picture.reset(); };
    Advance(*painter, 1);
    EXPECT_EQ(picture, nullptr);
    EXPECT_TRUE(painter->Stopped());
    painter->Wake();  // harmless now
  }
}

TEST_F(GifAnimation, ClearingOnLoopRestoresTheFirstFramesAreaBeforeEachPass) {
  // Frame 0 leaves its right pixel transparent; frame 1 paints exactly there.
  const std::vector<Frame> frames = {{0, 0, 2, 1, {0, 7}, 0, 3, 7}, {1, 0, 1, 1, {}, 0, 3}};
  for (bool clear : {true, false}) {
    SCOPED_TRACE(clear);
    auto picture = Animation(2, 1, frames, 1);
    picture->DrawOptions = goAsync | goAnimate | goTransparent | (clear ? goClearOnLoop : 0);
    auto painter = DrawOnce(*picture, nullptr, {0, 0, 2, 1});
    EXPECT_EQ(painter->Image().pixel(1, 0), 0u);
    Advance(*painter, 2);
    ASSERT_EQ(painter->Pass(), 1);
    ASSERT_EQ(painter->Frame(), 0);
    EXPECT_EQ(painter->Image().pixel(1, 0), clear ? 0u : qRgb(30, 180, 7));
  }
}

TEST_F(GifAnimation, SingleFramesAndStillPicturesDrawTheCurrentFrame) {
  auto picture = Animation(2, 1, {{0, 0, 2, 1, {}, 0, 3}, {0, 0, 1, 1, {}, 0, 3}});
  picture->DrawOptions = goAsync | goTransparent;  // no goAnimate
  picture->CurrentFrame = 1;
  QImage image(2, 1, QImage::Format_ARGB32);
  image.fill(0xFF0000FF);
  {
    TCanvas canvas(&image);
    picture->Draw(canvas, {0, 0, 2, 1});
  }
  EXPECT_TRUE(picture->Painters().empty());
  EXPECT_EQ(image.pixel(0, 0), qRgb(30, 180, 7));
  EXPECT_EQ(image.pixel(1, 0), 0xFF0000FFu);
  // Out of range: frame 0.
  picture->CurrentFrame = 5;
  {
    TCanvas canvas(&image);
    picture->Draw(canvas, {0, 0, 2, 1});
  }
  EXPECT_EQ(image.pixel(1, 0), qRgb(0, 200, 0));

  auto single = Animation(2, 1, {{0, 0, 2, 1, {}, 0, 3}});
  DrawOnce(*single, nullptr, {0, 0, 2, 1});
  EXPECT_TRUE(single->Painters().empty());
}

TEST_F(GifAnimation, AnAnimationIntoAnOffsetRectangleScalesAndRestoresWithinIt) {
  // A 2 x 2 screen shown at (3, 1) doubled; frame 0 is disposed of to the background.
  auto picture = Animation(2, 2, {{0, 0, 1, 1, {}, 2, 3}, {1, 1, 1, 1, {}, 0, 3}});
  picture->DrawOptions = goAsync | goAnimate;
  auto painter = DrawOnce(*picture, nullptr, {3, 1, 7, 5});
  ASSERT_NE(painter, nullptr);
  ASSERT_EQ(painter->Image().size(), QSize(4, 4));
  EXPECT_EQ(painter->Image().pixel(1, 1), qRgb(0, 200, 0));
  EXPECT_EQ(painter->Image().pixel(2, 2), qRgb(150, 100, 35));
  Advance(*painter, 1);
  EXPECT_EQ(painter->Image().pixel(1, 1), qRgb(150, 100, 35));
  EXPECT_EQ(painter->Image().pixel(3, 3), qRgb(30, 180, 7));
  // The destination gets the animator's image at the rectangle.
  QImage image(8, 6, QImage::Format_ARGB32);
  image.fill(0);
  {
    TCanvas canvas(&image);
    picture->Draw(canvas, {3, 1, 7, 5});
  }
  EXPECT_EQ(image.pixel(6, 4), qRgb(30, 180, 7));
  EXPECT_EQ(image.pixel(2, 4), 0u);
}

TEST_F(GifAnimation, TheLastFramesDisposalAppliesWhenTheNextPassStarts) {
  // Frame 1 covers the screen and is disposed of; frame 0 covers one pixel only.
  auto picture = Animation(2, 1, {{0, 0, 1, 1, {}, 0, 3}, {0, 0, 2, 1, {}, 2, 3}}, 1);
  picture->DrawOptions = goAsync | goAnimate | goTransparent;
  TGIFComposer composer(*picture);
  auto painter = DrawOnce(*picture, nullptr, {0, 0, 2, 1});
  composer.Draw(picture->Images[0]);
  composer.Draw(picture->Images[1]);
  Advance(*painter, 2);
  ASSERT_EQ(painter->Pass(), 1);
  const std::vector<uint32_t>& screen = composer.Draw(picture->Images[0]);
  EXPECT_EQ(painter->Image().pixel(1, 0), screen[1]);
  EXPECT_EQ(screen[1], 0u);
}
