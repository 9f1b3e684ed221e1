#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "tests/gif/GifBuilder.h"
#include "tests/gif/GifTestSupport.h"

using namespace gif;
using namespace gif::test;

namespace {

GifBuilder Gif() { return GifBuilder().Header(3, 2, 1); }
GifBuilder& Frame(GifBuilder&& b) { return b.Image(0, 0, 3, 2).Pixels(2, {0, 1, 0, 1, 1, 0}); }
GifBuilder& Frame(GifBuilder& b) { return b.Image(0, 0, 3, 2).Pixels(2, {0, 1, 0, 1, 1, 0}); }

template <class T>
T* Find(const TGIFSubImage& frame) {
  for (int i = 0; i < frame.Extensions.Count(); ++i)
    if (auto* e = dynamic_cast<T*>(&frame.Extensions[i])) return e;
  return nullptr;
}

std::vector<uint8_t> Cut(const GifBuilder& b, size_t size) {
  return std::vector<uint8_t>(b.Bytes.begin(), b.Bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

}  // namespace

// Files as writers make them, and what a file may name that the codec cannot keep: frames beyond
// the screen are kept whole as far as the screen grown to hold them is one the codec draws, and
// beyond that clipped to it (and decoded no further), a picture beyond the pixel budget
// is refused before it is allocated, a byte that is no block stops loading where it stands.
// Whatever loads saves, and loads again the same.
TEST(GifItems, LoadsWhatWritersProduceAndKeepsWhatItCanSave) {
  struct Case {
    const char* name;
    GifBuilder gif;
    std::vector<std::string> warnings;
    int frames;
    std::function<void(const TGifPictureBase&)> check;
    const char* error = nullptr;  // the start of the codec's error
  };
  GifBuilder budget = GifBuilder().Header(8192, 8192, 1);
  for (int i = 0; i < 40; ++i) budget.Image(0, 0, 8192, 8192).Raw({2, 0});
  const auto shown = [](int frame, std::vector<uint8_t> pixels) {
    return [=](const TGifPictureBase& g) { EXPECT_EQ(g.Images[frame].Data(), pixels); };
  };
  const auto keepsTime = [](const TGifPictureBase& g) {
    EXPECT_TRUE(g.Images[0].Empty());
    EXPECT_EQ(g.Images[0].GraphicControlExtension()->Delay, 7);
  };
  const Case cases[] = {
      {"4-byte length in front", Frame(GifBuilder().Raw({0x40, 0, 0, 0}).Header(3, 2, 1)).Trailer(), {}, 1, nullptr},
      {"zero bytes between blocks", Frame(Frame(Gif().Raw({0, 0})).Raw({0, 0, 0})).Trailer(), {}, 2, nullptr},
      {"width 0 takes the screen's", Gif().Image(0, 0, 0, 9).Pixels(2, {1, 1, 1, 1, 1, 1}).Trailer(),
       {sScreenSizeExceeded}, 1, shown(0, std::vector<uint8_t>(6, 1))},
      {"no trailer", Frame(Gif()), {}, 1, nullptr},
      {"wrong byte for the trailer", Frame(Gif()).Raw({'x'}), {sBadBlock, sBadTrailer}, 1, nullptr},
      {"application block size 10", Frame(Gif().Raw({'!', 0xFF, 10}).Text("NETSCAPE2.").Raw({3, 1, 5, 0, 0})).Trailer(),
       {}, 1, nullptr},
      {"ANIMEXTS1.0 loops", Frame(Gif().Loop(2, "ANIMEXTS1.0")).Trailer(), {}, 1,
       [](const TGifPictureBase& g) { EXPECT_EQ(Find<TGIFAppExtNSLoop>(g.Images[0])->Loops, 2); }},
      {"unknown block", Gif().Raw({'#'}), {sBadBlock, sBadTrailer}, 0, nullptr},
      {"damage after an extension is no image", Frame(Gif().Gce(0, 7).Raw({0x40})).Trailer(),
       {sBadExtensionLabel, sBadBlock, sBadTrailer}, 1,
       [&](const TGifPictureBase& g) {
         keepsTime(g);
         EXPECT_EQ(g.Width() * 10 + g.Height(), 32);
       }},
      {"a frame beyond the screen is kept whole", Gif().Image(1, 1, 3, 2).Pixels(2, {0, 1, 0, 1, 1, 0}).Trailer(), {},
       1,
       [](const TGifPictureBase& g) {
         const TGIFSubImage& f = g.Images[0];
         EXPECT_EQ(std::vector<int>({f.Left(), f.Top(), f.Width(), f.Height()}), std::vector<int>({1, 1, 3, 2}));
         EXPECT_EQ(f.Data(), (std::vector<uint8_t>{0, 1, 0, 1, 1, 0}));
       }},
      {"a frame outside the screen is kept whole", Frame(Gif().Gce(0, 7).Image(3, 0, 2, 1).Pixels(2, {1, 1})).Trailer(),
       {}, 2,
       [](const TGifPictureBase& g) {
         const TGIFSubImage& f = g.Images[0];
         EXPECT_EQ(std::vector<int>({f.Left(), f.Top(), f.Width(), f.Height()}), std::vector<int>({3, 0, 2, 1}));
         EXPECT_EQ(f.Data(), (std::vector<uint8_t>{1, 1}));
       }},
      {"a frame beyond the screen the codec draws is clipped",
       Gif().Image(1, 1, 9000, 8000).Pixels(2, {0, 1, 0, 1, 1, 0}).Trailer(), {sScreenSizeExceeded}, 1,
       [](const TGifPictureBase& g) {
         const TGIFSubImage& f = g.Images[0];
         EXPECT_EQ(std::vector<int>({f.Left(), f.Top(), f.Width(), f.Height()}), std::vector<int>({1, 1, 2, 1}));
         EXPECT_EQ(f.Data(), (std::vector<uint8_t>{0, 1}));
       }},
      {"a frame outside the screen the codec draws keeps its time",
       Frame(Gif().Gce(0, 7).Image(60000, 60000, 2, 1).Pixels(2, {1, 1})).Trailer(), {sScreenSizeExceeded}, 2,
       keepsTime},
      {"without a height, a frame outside keeps its height",
       Frame(GifBuilder().Header(3, 0, 1).Gce(0, 7).Image(60000, 2, 2, 2000).Pixels(2, {1, 1})).Trailer(),
       {sScreenSizeExceeded}, 2,
       [&](const TGifPictureBase& g) {
         keepsTime(g);
         const TGIFSubImage& f = g.Images[0];
         EXPECT_EQ(std::vector<int>({f.Left(), f.Top(), f.Width(), f.Height()}), std::vector<int>({3, 2, 0, 2000}));
       }},
      {"without a screen, frames end at the last coordinate",
       GifBuilder().Header(0, 0, 1).Image(65000, 1, 1000, 1).Pixels(2, std::vector<uint8_t>(1000, 1)).Trailer(),
       {sScreenSizeExceeded}, 1, shown(0, std::vector<uint8_t>(535, 1))},
      {"a frame beyond the frame size is clipped before it is decoded",
       GifBuilder().Header(2, 1, 1).Image(0, 0, 65535, 65535).Pixels(2, {1, 0}).Trailer(), {sScreenSizeExceeded}, 1,
       shown(0, {1, 0})},
      {"frames beyond the budget", budget, {}, 0, nullptr, "The frames hold more than the 268435456 pixels"},
      {"a frame beyond the frame size", GifBuilder().Header(65535, 65535, 1).Image(0, 0, 65535, 65535).Pixels(2, {0}),
       {}, 0, nullptr, "Frame of 65535 x 65535 pixels"},
      // Saved and loaded again, a frame cut to the screen keeps its place among the frames, and
      // the frames after it are kept or cut as they were.
      {"a frame past the farthest corner, then a tall one",
       Frame(Gif().Image(65535, 1, 1100, 1).Pixels(2, std::vector<uint8_t>(1100, 1)).Image(0, 0, 2, 65000)
                 .Pixels(2, std::vector<uint8_t>(130000, 1)))
           .Trailer(),
       {sScreenSizeExceeded}, 3, nullptr},
      {"a frame of no size, one cut to a screen of no width, then one far below",
       GifBuilder().Header(0, 1, 1).Image(0, 1024, 0, 1).Pixels(2, {1}).Image(1, 0, 65535, 65534).Pixels(2, {1, 1})
           .Image(0, 10240, 2, 1).Pixels(2, {1, 0}).Trailer(),
       {sScreenSizeExceeded, sScreenSizeExceeded, sScreenSizeExceeded}, 3, nullptr},
      {"an application block below 10", Frame(Gif().Raw({'!', 0xFF, 9}).Text("NETSCAPE2").Raw({0})), {}, 0, nullptr,
       sBadAppExtSize},
      {"an unknown extension", Gif().Raw({'!', 0x42, 0}), {}, 0, nullptr, sUnknownExtension},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.error) {
      EXPECT_THROW(LoadedGif{c.gif.Bytes}, GIFException);  // the codec's own error
      const std::string error = ErrorOf([&] { LoadedGif g(c.gif.Bytes); });
      EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
      continue;
    }
    LoadedGif g(c.gif.Bytes);
    EXPECT_EQ(g.Warnings, c.warnings);
    ASSERT_EQ(g.Image.Images.Count(), c.frames);
    if (c.check) c.check(g.Image);
    if (c.frames == 0) continue;
    LoadedGif again(Saved(g.Image));
    ASSERT_EQ(again.Image.Images.Count(), c.frames);
    for (int i = 0; i < c.frames; ++i) {
      const TGIFSubImage &was = g.Image.Images[i], &now = again.Image.Images[i];
      if (was.Empty() && !now.Empty()) {  // kept as one transparent pixel inside the screen
        EXPECT_EQ(now.Width() * now.Height(), 1);
        ASSERT_TRUE(now.HasTransparency);
        EXPECT_EQ(now.Data()[0], now.GraphicControlExtension()->TransparentColorIndex());
        // A side the screen names no size for is as long as the frames reach.
        int width = again.Image.Width(), height = again.Image.Height();
        for (int k = 0; k < c.frames && (width == 0 || height == 0); ++k) {
          width = std::max(width, again.Image.Images[k].Left() + again.Image.Images[k].Width());
          height = std::max(height, again.Image.Images[k].Top() + again.Image.Images[k].Height());
        }
        EXPECT_LT(now.Left(), width);
        EXPECT_LT(now.Top(), height);
      } else {
        EXPECT_EQ(now.Data(), was.Data());
      }
    }
  }
  // A frame placed by hand cannot reach past the last coordinate either.
  TGifPictureBase image;
  EXPECT_THROW(gif::test::AddFrame(image, 65000, 0, 1000, 1, {}), GIFException);
}

// Every fixed-size read cut short raises, except the graphic control block, which warns.
TEST(GifItems, CutFixedReadsArePrematureEnds) {
  GifBuilder b;
  b.Header(4, 2, 2);
  const size_t gce = b.Size();
  b.Gce(1, 10, 2);
  const size_t text = b.Size();
  b.Raw({'!', 0x01, 12, 0, 0, 0, 0, 4, 0, 2, 0, 2, 1, 3, 0, 2, 'h', 'i', 0});
  const size_t comment = b.Size();
  b.Raw({'!', 0xFE, 3, 'a', 'b', 'c', 0});
  const size_t loop = b.Size();
  b.Loop(5);
  const size_t image = b.Size();
  b.Image(0, 0, 4, 2, 1).Pixels(2, {0, 1, 1, 0, 0, 1, 1, 0}).Trailer();
  ASSERT_NO_THROW(LoadedGif{b.Bytes});
  const struct {
    size_t at, size;
  } reads[] = {{0, 6},         {6, 7},         {13, 12},     {gce, 2},         {text, 2},
               {text + 2, 13}, {text + 16, 2}, {comment, 2}, {comment + 3, 3}, {loop, 2},
               {loop + 3, 11}, {loop + 15, 3}, {image, 10},  {image + 10, 6}};
  for (const auto& read : reads)
    for (size_t cut = read.at + 1; cut < read.at + read.size; ++cut)
      EXPECT_EQ(ErrorOf([&] { LoadedGif g(Cut(b, cut)); }), sOutOfData) << "cut at " << cut;
  for (size_t cut = gce + 3; cut < gce + 8; ++cut)
    EXPECT_EQ(LoadedGif(Cut(b, cut)).Warnings, std::vector<std::string>{sOutOfData}) << "cut at " << cut;
}

TEST(GifItems, ColorMapLimitsAndLookups) {
  TGifPictureBase image;
  std::vector<std::string> warnings;
  image.OnWarning = [&](TGIFSeverity, const std::string& m) { warnings.push_back(m); };
  TGIFColorMap& map = image.Header.ColorMap;
  EXPECT_THROW(map.Color(0), GIFException);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(map.Add({uint8_t(i), 0, 0}), i);
  EXPECT_EQ(map.AddUnique({7, 0, 0}), 7);
  EXPECT_EQ(ErrorOf([&] { map.Add({0, 1, 0}); }), sTooManyColors);
  EXPECT_EQ(map.Color(300), (TGIFColor{0, 0, 0}));
  EXPECT_EQ(warnings, std::vector<std::string>{sBadColorIndex});
  EXPECT_THROW(map.Delete(256), GIFException);
  map.Delete(0);
  EXPECT_EQ(map.Count(), 255);
  EXPECT_EQ(map.Color(0), (TGIFColor{1, 0, 0}));
}

// A picture without frames cannot be saved.
TEST(GifItems, VersionIsTheLowestTheFramesAllow) {
  TGifPictureBase empty;
  EXPECT_EQ(ErrorOf([&] { Saved(empty); }), sBadVersion);
  const struct {
    std::function<void(TGifPictureBase&, TGIFSubImage&)> change;
    const char* signature;
  } cases[] = {
      {[](TGifPictureBase&, TGIFSubImage&) {}, "GIF87a"},
      {[](TGifPictureBase& g, TGIFSubImage&) { g.Header.ColorMap.Optimized = true; }, "GIF87a"},  // sorted global
      {[](TGifPictureBase&, TGIFSubImage& f) { f.ColorMap.Add({1, 2, 3}), f.ColorMap.Optimized = true; }, "GIF89a"},
      {[](TGifPictureBase&, TGIFSubImage& f) { f.Extensions.Add(std::make_unique<TGIFCommentExtension>(&f)); }, "GIF89a"},
  };
  for (const auto& c : cases) {
    TGifPictureBase image;
    Build(image, 0, 0, 1, {{0, 0, 2, 2, {}, -1}});
    c.change(image, image.Images[0]);
    const std::vector<uint8_t> bytes = Saved(image);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), c.signature);
  }
}

// The background index counts as a use: its colour stays, also when no pixel shows it, and one
// beyond the table (which shows entry 0 in some decoders, the grey of its number in Pillow) stays
// as it is, entry 0 in its place.
TEST(GifItems, OptimizingKeepsEveryColourShown) {
  for (uint8_t background : {0, 3, 9}) {
    LoadedGif g(
        GifBuilder().Header(6, 1, 2, background).Gce(0, 0, 2).Image(0, 0, 6, 1).Pixels(2, {1, 1, 1, 2, 2, 0}).Bytes);
    TGifPictureBase& image = g.Image;
    TGIFSubImage& frame = image.Images[0];
    const TGIFColorMap& map = image.Header.ColorMap;
    const TGIFColor shown = image.Header.BackgroundColor(), transparent = map.Color(2);
    std::vector<TGIFColor> before;
    for (uint8_t p : frame.Data()) before.push_back(map.Color(p));
    ASSERT_TRUE(image.Header.ColorMap.Optimize());
    EXPECT_EQ(image.Header.BackgroundColor(), shown);
    EXPECT_EQ(map.Count(), background == 0 ? 3 : 4);
    if (background == 9)
      EXPECT_EQ(image.Header.BackgroundColorIndex, 9);
    else
      EXPECT_TRUE(image.Header.BackgroundColorIndex < map.Count());
    EXPECT_EQ(map.Color(frame.GraphicControlExtension()->TransparentColorIndex()), transparent);
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(map.Color(frame.Data()[i]), before[i]);
    EXPECT_TRUE(map.Optimized);
  }
}

TEST(GifItems, SaveAndLoadKeepEveryItem) {
  std::vector<uint8_t> pixels(15);
  pixels[4] = 1;
  TGifPictureBase image;
  Build(image, 0, 0, 2, {{0, 0, 5, 3, pixels, -1}, {1, 1, 5, 3, pixels, -1}});
  image.Header.BackgroundColorIndex = 1;
  image.Header.AspectRatio = 49;
  TGIFSubImage& f = image.Images[0];
  for (int i = 0; i < 3; ++i) f.ColorMap.Add(ColorOf(i + 7));
  f.SetInterlaced(true);
  AddLoop(f, 3);
  dynamic_cast<TGIFAppExtNSLoop&>(f.Extensions[0]).BufferSize = 70000;
  Gce(f, 2, 1, 7);
  auto comment = std::make_unique<TGIFCommentExtension>(&f);
  comment->Text = {"first line", std::string(255, 'x')};
  auto text = std::make_unique<TGIFTextExtension>(&f);
  text->Left = 300, text->GridWidth = 40, text->CellHeight = 8, text->ForegroundColorIndex = 1;
  text->Text = {"plain"};
  auto app = std::make_unique<TGIFUnknownAppExtension>(&f);
  std::memcpy(app->Identifier.data(), "MIRELCON1.0", 11);
  app->Blocks = {{1, 2, 3}, TGIFBlock(255, 9)};
  f.Extensions.Add(std::move(comment));
  f.Extensions.Add(std::move(text));
  f.Extensions.Add(std::move(app));
  const std::vector<uint8_t> bytes = Saved(image);
  LoadedGif g(bytes);
  EXPECT_TRUE(g.Warnings.empty());
  EXPECT_EQ(Saved(g.Image), bytes);
  const TGIFSubImage& loaded = g.Image.Images[0];
  ASSERT_EQ(loaded.Extensions.Count(), 5);
  EXPECT_EQ(Find<TGIFAppExtNSLoop>(loaded)->Loops, 3);
  EXPECT_EQ(Find<TGIFAppExtNSLoop>(loaded)->BufferSize, 70000u);
  const auto* gce = loaded.GraphicControlExtension();
  EXPECT_EQ(std::tuple(gce->Disposal(), gce->Delay, gce->Transparent(), gce->TransparentColorIndex(),
                       loaded.HasTransparency),
            std::tuple(2, 7, true, 1, true));
  EXPECT_EQ(Find<TGIFCommentExtension>(loaded)->Text, (TGIFLines{"first line", std::string(255, 'x')}));
  const auto* t = Find<TGIFTextExtension>(loaded);
  EXPECT_EQ(std::tuple(t->Left, t->GridWidth, t->CellHeight, t->ForegroundColorIndex, t->Text),
            std::tuple(300, 40, 8, 1, TGIFLines{"plain"}));
  EXPECT_EQ(Find<TGIFUnknownAppExtension>(loaded)->Blocks, (std::vector<TGIFBlock>{{1, 2, 3}, TGIFBlock(255, 9)}));
  EXPECT_EQ(loaded.ColorMap.Count(), 4);  // 3 entries, padded to 4 in the file
  EXPECT_TRUE(loaded.Interlaced());
  EXPECT_EQ(std::tuple(g.Image.Header.BackgroundColorIndex, g.Image.Header.AspectRatio, loaded.Data()[4]),
            std::tuple(1, 49, 1));
}
