#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <cstring>
#include <filesystem>
#include <functional>

#include "tests/gif/GifBuilder.h"
#include "tests/gif/GifTestSupport.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

using namespace gif;

namespace {

GifBuilder Gif() { return GifBuilder().Header(3, 2, 1); }
GifBuilder& Frame(GifBuilder& b) { return b.Image(0, 0, 3, 2).Pixels(2, {0, 1, 0, 1, 1, 0}); }

template <class T>
T* Find(const TGIFSubImage& frame) {
  for (int i = 0; i < frame.Extensions.Count(); ++i)
    if (auto* e = dynamic_cast<T*>(&frame.Extensions[i])) return e;
  return nullptr;
}

}  // namespace

// Files as writers make them, and what a file may name that the codec cannot keep: frames
// beyond the screen are clipped to it (and decoded no further), a picture beyond the pixel budget
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
  GifBuilder prefixed = GifBuilder().Raw({0x40, 0, 0, 0}).Header(3, 2, 1), zeros = Gif(), zeroWidth = Gif(),
             noTrailer = Gif(), badTrailer = Gif(), size10 = Gif(), animExts = Gif(), unknownBlock = Gif(),
             damaged = Gif(), beyond = Gif(), outside = Gif(), noScreen = GifBuilder().Header(0, 0, 1),
             budget = GifBuilder().Header(8192, 8192, 1);
  Frame(Frame(zeros.Raw({0, 0})).Raw({0, 0, 0})).Trailer();
  zeroWidth.Image(0, 0, 0, 9).Pixels(2, {1, 1, 1, 1, 1, 1}).Trailer();
  Frame(noTrailer);
  Frame(badTrailer).Raw({'x'});
  Frame(size10.Raw({'!', 0xFF, 10}).Text("NETSCAPE2.").Raw({3, 1, 5, 0, 0})).Trailer();
  Frame(animExts.Loop(2, "ANIMEXTS1.0")).Trailer();
  unknownBlock.Raw({'#'});
  Frame(damaged.Gce(0, 7).Raw({0x40})).Trailer();
  beyond.Image(1, 1, 3, 2).Pixels(2, {0, 1, 0, 1, 1, 0}).Trailer();
  Frame(outside.Gce(0, 7).Image(3, 0, 2, 1).Pixels(2, {1, 1})).Trailer();
  noScreen.Image(65000, 1, 1000, 1).Pixels(2, std::vector<uint8_t>(1000, 1)).Trailer();
  for (int i = 0; i < 40; ++i) budget.Image(0, 0, 8192, 8192).Raw({2, 0});
  const Case cases[] = {
      {"4-byte length in front", Frame(prefixed).Trailer(), {}, 1, nullptr},
      {"zero bytes between blocks", zeros, {}, 2, nullptr},
      {"width 0 takes the screen's",
       zeroWidth,
       {sScreenSizeExceeded},
       1,
       [](const TGifPictureBase& g) { EXPECT_EQ(g.Images[0].Data(), std::vector<uint8_t>(6, 1)); }},
      {"no trailer", noTrailer, {}, 1, nullptr},
      {"wrong byte for the trailer", badTrailer, {sBadBlock, sBadTrailer}, 1, nullptr},
      {"application block size 10", size10, {}, 1, nullptr},
      {"ANIMEXTS1.0 loops",
       animExts,
       {},
       1,
       [](const TGifPictureBase& g) { EXPECT_EQ(Find<TGIFAppExtNSLoop>(g.Images[0])->Loops, 2); }},
      {"unknown block", unknownBlock, {sBadBlock, sBadTrailer}, 0, nullptr},
      {"damage after an extension is no image",
       damaged,
       {sBadExtensionLabel, sBadBlock, sBadTrailer},
       1,
       [](const TGifPictureBase& g) {
         EXPECT_TRUE(g.Images[0].Empty());
         EXPECT_EQ(g.Images[0].GraphicControlExtension()->Delay, 7);
         EXPECT_EQ(g.Width() * 10 + g.Height(), 32);
       }},
      {"a frame beyond the screen is clipped",
       beyond,
       {sScreenSizeExceeded},
       1,
       [](const TGifPictureBase& g) {
         const TGIFSubImage& f = g.Images[0];
         EXPECT_EQ(std::vector<int>({f.Left(), f.Top(), f.Width(), f.Height()}), std::vector<int>({1, 1, 2, 1}));
         EXPECT_EQ(f.Data(), (std::vector<uint8_t>{0, 1}));
       }},
      {"a frame outside the screen keeps its time",
       outside,
       {sScreenSizeExceeded},
       2,
       [](const TGifPictureBase& g) {
         EXPECT_TRUE(g.Images[0].Empty());
         EXPECT_EQ(g.Images[0].GraphicControlExtension()->Delay, 7);
       }},
      {"without a screen, frames end at the last coordinate",
       noScreen,
       {sScreenSizeExceeded},
       1,
       [](const TGifPictureBase& g) { EXPECT_EQ(g.Images[0].Data(), std::vector<uint8_t>(535, 1)); }},
      {"frames beyond the budget", budget, {}, 0, nullptr, "The frames hold more than the 268435456 pixels"},
      {"a frame beyond the frame size",
       GifBuilder().Header(65535, 65535, 1).Image(0, 0, 65535, 65535).Pixels(2, {0}),
       {},
       0,
       nullptr,
       "Frame of 65535 x 65535 pixels"},
      {"an application block below 10", Frame(Gif().Raw({'!', 0xFF, 9}).Text("NETSCAPE2").Raw({0})), {}, 0, nullptr,
       sBadAppExtSize},
      {"an unknown extension", Gif().Raw({'!', 0x42, 0}), {}, 0, nullptr, sUnknownExtension},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.error) {
      try {
        LoadedGif g(c.gif.Bytes);
        ADD_FAILURE() << "loaded";
      } catch (const GIFException& e) {
        EXPECT_EQ(std::string(e.what()).rfind(c.error, 0), 0u) << e.what();
      }
      continue;
    }
    LoadedGif g(c.gif.Bytes);
    EXPECT_EQ(g.Warnings, c.warnings);
    ASSERT_EQ(g.Image.Images.Count(), c.frames);
    if (c.check) c.check(g.Image);
    if (c.frames == 0) continue;
    LoadedGif again(Saved(g.Image));
    ASSERT_EQ(again.Image.Images.Count(), c.frames);
    for (int i = 0; i < c.frames; ++i) EXPECT_EQ(again.Image.Images[i].Data(), g.Image.Images[i].Data());
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
    for (size_t cut = read.at + 1; cut < read.at + read.size; ++cut) {
      const std::vector<uint8_t> bytes(b.Bytes.begin(), b.Bytes.begin() + static_cast<std::ptrdiff_t>(cut));
      try {
        LoadedGif g(bytes);
        ADD_FAILURE() << "loaded when cut at " << cut;
      } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), sOutOfData) << "cut at " << cut;
      }
    }
  for (size_t cut = gce + 3; cut < gce + 8; ++cut) {
    LoadedGif g(std::vector<uint8_t>(b.Bytes.begin(), b.Bytes.begin() + static_cast<std::ptrdiff_t>(cut)));
    EXPECT_EQ(g.Warnings, std::vector<std::string>{sOutOfData}) << "cut at " << cut;
  }
}

TEST(GifItems, ColorMapLimitsAndLookups) {
  TGifPictureBase image;
  std::vector<std::string> warnings;
  image.OnWarning = [&](TGIFSeverity, const std::string& m) { warnings.push_back(m); };
  TGIFColorMap& map = image.Header.ColorMap;
  EXPECT_THROW(map.Color(0), GIFException);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(map.Add({uint8_t(i), 0, 0}), i);
  EXPECT_EQ(map.AddUnique({7, 0, 0}), 7);
  try {
    map.Add({0, 1, 0});
    ADD_FAILURE();
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), sTooManyColors);
  }
  EXPECT_EQ(map.Color(300), (TGIFColor{0, 0, 0}));
  EXPECT_EQ(warnings, std::vector<std::string>{sBadColorIndex});
  EXPECT_THROW(map.Delete(256), GIFException);
  map.Delete(0);
  EXPECT_EQ(map.Count(), 255);
  EXPECT_EQ(map.Color(0), (TGIFColor{1, 0, 0}));
}

TEST(GifItems, VersionIsTheLowestTheFramesAllow) {
  TGifPictureBase empty;
  try {
    Saved(empty);
    ADD_FAILURE();
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), sBadVersion);
  }
  const struct {
    const char* name;
    std::function<void(TGifPictureBase&, TGIFSubImage&)> change;
    const char* signature;
  } cases[] = {
      {"plain", [](TGifPictureBase&, TGIFSubImage&) {}, "GIF87a"},
      {"sorted global map", [](TGifPictureBase& g, TGIFSubImage&) { g.Header.ColorMap.Optimized = true; }, "GIF87a"},
      {"sorted local map",
       [](TGifPictureBase&, TGIFSubImage& f) {
         f.ColorMap.Add({1, 2, 3});
         f.ColorMap.Optimized = true;
       },
       "GIF89a"},
      {"comment",
       [](TGifPictureBase&, TGIFSubImage& f) { f.Extensions.Add(std::make_unique<TGIFCommentExtension>(&f)); },
       "GIF89a"},
  };
  for (const auto& c : cases) {
    TGifPictureBase image;
    image.Header.ColorMap.Add({});
    auto frame = std::make_unique<TGIFSubImage>(&image);
    frame->SetBounds(0, 0, 2, 2);
    c.change(image, *frame);
    image.Images.Add(std::move(frame));
    const std::vector<uint8_t> bytes = Saved(image);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), c.signature) << c.name;
  }
}

// The background index counts as a use: its colour stays, also when no pixel shows it, and one
// beyond the table (which shows entry 0) keeps showing that colour.
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
    EXPECT_EQ(map.Count(), background == 3 ? 4 : 3);
    EXPECT_TRUE(image.Header.BackgroundColorIndex < map.Count());
    EXPECT_EQ(map.Color(frame.GraphicControlExtension()->TransparentColorIndex()), transparent);
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(map.Color(frame.Data()[i]), before[i]);
    EXPECT_TRUE(map.Optimized);
  }
}

TEST(GifItems, SaveAndLoadKeepEveryItem) {
  TGifPictureBase image;
  image.Header.ColorMap.Add({1, 2, 3});
  image.Header.ColorMap.Add({4, 5, 6});
  image.Header.BackgroundColorIndex = 1;
  image.Header.AspectRatio = 49;
  for (int n = 0; n < 2; ++n) {
    auto frame = std::make_unique<TGIFSubImage>(&image);
    frame->SetBounds(n, n, 5, 3);
    frame->Data()[4] = 1;
    if (n == 0) {
      TGIFSubImage& f = *frame;
      auto loop = std::make_unique<TGIFAppExtNSLoop>(&f);
      loop->Loops = 3;
      loop->BufferSize = 70000;
      auto gce = std::make_unique<TGIFGraphicControlExtension>(&f);
      gce->SetDisposal(2);
      gce->Delay = 7;
      gce->SetTransparent(true);
      gce->SetTransparentColorIndex(1);
      auto comment = std::make_unique<TGIFCommentExtension>(&f);
      comment->Text = {"first line", std::string(255, 'x')};
      auto text = std::make_unique<TGIFTextExtension>(&f);
      text->Left = 300, text->GridWidth = 40, text->CellHeight = 8, text->ForegroundColorIndex = 1;
      text->Text = {"plain"};
      auto app = std::make_unique<TGIFUnknownAppExtension>(&f);
      std::memcpy(app->Identifier.data(), "MIRELCON1.0", 11);
      app->Blocks = {{1, 2, 3}, TGIFBlock(255, 9)};
      f.Extensions.Add(std::move(loop));
      f.Extensions.Add(std::move(gce));
      f.Extensions.Add(std::move(comment));
      f.Extensions.Add(std::move(text));
      f.Extensions.Add(std::move(app));
      f.ColorMap.Add({7, 8, 9});
      f.ColorMap.Add({10, 11, 12});
      f.ColorMap.Add({13, 14, 15});
      f.SetInterlaced(true);
    }
    image.Images.Add(std::move(frame));
  }
  const std::vector<uint8_t> bytes = Saved(image);
  LoadedGif g(bytes);
  EXPECT_TRUE(g.Warnings.empty());
  EXPECT_EQ(Saved(g.Image), bytes);
  const TGIFSubImage& f = g.Image.Images[0];
  ASSERT_EQ(f.Extensions.Count(), 5);
  EXPECT_EQ(Find<TGIFAppExtNSLoop>(f)->Loops, 3);
  EXPECT_EQ(Find<TGIFAppExtNSLoop>(f)->BufferSize, 70000u);
  const auto* gce = f.GraphicControlExtension();
  EXPECT_EQ(
      std::tuple(gce->Disposal(), gce->Delay, gce->Transparent(), gce->TransparentColorIndex(), f.HasTransparency),
      std::tuple(2, 7, true, 1, true));
  EXPECT_EQ(Find<TGIFCommentExtension>(f)->Text, (TGIFLines{"first line", std::string(255, 'x')}));
  const auto* text = Find<TGIFTextExtension>(f);
  EXPECT_EQ(std::tuple(text->Left, text->GridWidth, text->CellHeight, text->ForegroundColorIndex, text->Text),
            std::tuple(300, 40, 8, 1, TGIFLines{"plain"}));
  EXPECT_EQ(Find<TGIFUnknownAppExtension>(f)->Blocks, (std::vector<TGIFBlock>{{1, 2, 3}, TGIFBlock(255, 9)}));
  EXPECT_EQ(f.ColorMap.Count(), 4);  // 3 entries, padded to 4 in the file
  EXPECT_TRUE(f.Interlaced());
  EXPECT_EQ(std::tuple(g.Image.Header.BackgroundColorIndex, g.Image.Header.AspectRatio, f.Data()[4]),
            std::tuple(1, 49, 1));
}

// What gifcodec prints and draws agrees with Qt's GIF reader where every reader must: the first
// frame covers the screen and the disposals are 0 or 1. (Qt keeps a transparent index for the
// frames after the one whose control block gave it: every frame here has its own block.)
TEST(GifItems, GifcodecFramesAgreeWithQt) {
  GifBuilder b;
  b.Header(40, 30, 3).Loop(0).Image(0, 0, 40, 30);
  std::vector<uint8_t> pixels(1200);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 / 40 % 8);
  b.Pixels(3, pixels).Gce(1, 5, 2).Image(5, 6, 20, 10);
  b.Pixels(3, std::vector<uint8_t>(pixels.begin(), pixels.begin() + 200)).Gce(0, 0).Image(10, 10, 8, 9, 2, true);
  std::vector<uint8_t> local(pixels.begin() + 300, pixels.begin() + 372);
  for (uint8_t& p : local) p %= 4;
  b.Pixels(2, local).Trailer();
  TempDir dir;
  TempDir::Write(dir.File("in.gif"), std::string(b.Bytes.begin(), b.Bytes.end()));
  RunOptions bounded;
  bounded.boundSeconds = 60;
  const ProgramRun run = RunProgram(GIFCODEC_EXE, {"frames", dir.File("in.gif"), dir.Path().string()}, bounded);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "screen 40 30 loops 0\n"
            "frame 0 0 0 40 30 0 0 -1 0\n"
            "frame 1 5 6 20 10 50 1 2 0\n"
            "frame 2 10 10 8 9 0 0 -1 1\n");
  QImageReader reader(QString::fromStdString(dir.File("in.gif")));
  for (int i = 0; i < 3; ++i) {
    const QImage qt = reader.read().convertToFormat(QImage::Format_ARGB32);
    const QImage ours = QImage(QString::fromStdString(dir.File("frame-00" + std::to_string(i) + ".png")))
                            .convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(ours, qt) << "frame " << i;
  }
  // The viewer's own decoder shows the same frames where every reader must agree.
  std::filesystem::create_directories(dir.Path() / "viewer");
  const ProgramRun viewer =
      RunProgram(GIFCODEC_EXE, {"frames", "--viewer", dir.File("in.gif"), dir.File("viewer")}, bounded);
  ASSERT_EQ(viewer.status, 0) << viewer.err;
  EXPECT_EQ(viewer.out, run.out);
  for (int i = 0; i < 3; ++i) {
    const std::string name = "frame-00" + std::to_string(i) + ".png";
    EXPECT_EQ(QImage(QString::fromStdString(dir.File("viewer/" + name))).convertToFormat(QImage::Format_ARGB32),
              QImage(QString::fromStdString(dir.File(name))).convertToFormat(QImage::Format_ARGB32))
        << "frame " << i;
  }
  for (const bool viewerDecoder : {false, true}) {
    std::vector<std::string> args = {"frames", dir.File("missing.gif"), dir.Path().string()};
    if (viewerDecoder) args.insert(args.begin() + 1, "--viewer");
    EXPECT_EQ(RunProgram(GIFCODEC_EXE, args, bounded).status, 1);
  }
}
