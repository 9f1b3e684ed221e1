// gifcodec as scripts run it: frames (with the codec's decoder and the viewer's), encode and
// optimize, their lines, their files and their failures.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <array>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gif/GifItems.h"
#include "tests/gif/GifBuilder.h"
#include "tests/gif/GifTestSupport.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

using namespace gif;

namespace {

QImage Read(const std::string& file) { return QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_ARGB32); }

// What `gifcodec frames` prints and draws: its output and the screens.
struct Decoded {
  std::string Out;
  std::vector<std::string> Lines;
  std::vector<QImage> Screens;
};

Decoded Frames(const std::string& gif, const std::string& dir, bool viewer = false) {
  std::filesystem::create_directories(dir);
  std::vector<std::string> args = {"frames", gif, dir};
  if (viewer) args.insert(args.begin() + 1, "--viewer");
  const ProgramRun run = RunProgram(GIFCODEC_EXE, args);
  EXPECT_EQ(run.status, 0) << run.err;
  Decoded d;
  d.Out = run.out;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) d.Lines.push_back(line);
  char name[32];
  for (size_t i = 1; i < d.Lines.size(); ++i) {
    std::snprintf(name, sizeof name, "/frame-%03d.png", static_cast<int>(i - 1));
    d.Screens.push_back(Read(dir + name));
  }
  return d;
}

// Colours on the 216-colour cube come through the default reduction unchanged.
QImage Picture(int width, int height, int seed, bool alpha) {
  QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int v = (x / 3 + y / 2 + seed) % 6;
      QRgb c = qRgb(51 * v, 51 * ((v + seed) % 6), 255 - 51 * v);
      if (alpha && (x + y) % 5 == 0) c = qRgba(0, 0, 0, 0);
      image.setPixel(x, y, c);
    }
  return image;
}

// gifcodec encode with args, then the pictures as PNG files; the frames of what it wrote.
Decoded Encode(TempDir& dir, std::vector<std::string> args, const std::vector<QImage>& pictures) {
  args.insert(args.begin(), "encode");
  args.push_back(dir.File("out.gif"));
  for (size_t i = 0; i < pictures.size(); ++i) {
    args.push_back(dir.File("in" + std::to_string(i) + ".png"));
    EXPECT_TRUE(pictures[i].save(QString::fromStdString(args.back())));
  }
  const ProgramRun run = RunProgram(GIFCODEC_EXE, args);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "frames " + std::to_string(pictures.size()) + " bytes " +
                         std::to_string(std::filesystem::file_size(dir.File("out.gif"))) + "\n");
  return Frames(dir.File("out.gif"), dir.File("frames"));
}

}  // namespace

// What gifcodec prints and draws agrees with Qt's GIF reader where every reader must: the first
// frame covers the screen and the disposals are 0 or 1. (Qt keeps a transparent index for the
// frames after the one whose control block gave it: every frame here has its own block.) The
// viewer's own decoder shows the same.
TEST(GifCodec, FramesAgreeWithQtAndTheViewersDecoder) {
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
  const Decoded ours = Frames(dir.File("in.gif"), dir.File("ours")),
                viewer = Frames(dir.File("in.gif"), dir.File("viewer"), true);
  EXPECT_EQ(ours.Out,
            "screen 40 30 loops 0\n"
            "frame 0 0 0 40 30 0 0 -1 0\n"
            "frame 1 5 6 20 10 50 1 2 0\n"
            "frame 2 10 10 8 9 0 0 -1 1\n");
  EXPECT_EQ(viewer.Out, ours.Out);
  ASSERT_EQ(ours.Screens.size(), 3u);
  QImageReader reader(QString::fromStdString(dir.File("in.gif")));
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(ours.Screens[i], reader.read().convertToFormat(QImage::Format_ARGB32)) << "frame " << i;
    EXPECT_EQ(viewer.Screens[i], ours.Screens[i]) << "frame " << i;
  }
}

// The frames share the cube: one global table, no local ones.
TEST(GifCodec, EncodedPicturesReadBackAsThemselves) {
  TempDir dir;
  std::vector<QImage> pictures = {Picture(30, 20, 0, false), Picture(30, 20, 1, false), Picture(30, 20, 2, false)};
  const Decoded d = Encode(dir, {"--delay", "120", "--loops", "2"}, pictures);
  ASSERT_EQ(d.Lines.size(), 4u);
  EXPECT_EQ(d.Lines[0], "screen 30 20 loops 2");
  QImageReader reader(QString::fromStdString(dir.File("out.gif")));
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(d.Lines[i + 1], "frame " + std::to_string(i) + " 0 0 30 20 120 0 -1 0");
    const QImage want = pictures[i].convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(d.Screens[i], want) << i;
    EXPECT_EQ(reader.read().convertToFormat(QImage::Format_ARGB32), want) << "Qt, frame " << i;
  }
  TGifPictureBase image;
  image.LoadFromFile(dir.WFile("out.gif"));
  EXPECT_GT(image.Header.ColorMap.Count(), 0);
  for (int i = 0; i < image.Images.Count(); ++i) EXPECT_EQ(image.Images[i].ColorMap.Count(), 0) << i;
}

// The second screen shows the second picture alone: transparent where it is, and beyond it.
TEST(GifCodec, TransparentAndSmallerPicturesAreClearedAwayAfterThemselves) {
  TempDir dir;
  const std::vector<QImage> pictures = {Picture(12, 9, 0, false), Picture(7, 5, 3, true)};
  const Decoded d = Encode(dir, {"--colors", "16", "--dither", "1"}, pictures);
  ASSERT_EQ(d.Screens.size(), 2u);
  EXPECT_EQ(d.Lines[0], "screen 12 9 loops -1");
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 12; ++x) {
      const bool clear = x >= 7 || y >= 5 || qAlpha(pictures[1].pixel(x, y)) == 0;
      EXPECT_EQ(qAlpha(d.Screens[1].pixel(x, y)) == 0, clear) << x << "," << y;
    }
  TGifPictureBase image;
  image.LoadFromFile(dir.WFile("out.gif"));
  for (int i = 0; i < 2; ++i) {
    const std::vector<uint8_t>& raster = image.Images[i].Data();
    EXPECT_LE(std::set<uint8_t>(raster.begin(), raster.end()).size(), 17u) << i;  // 16 and a transparent one
  }
}

TEST(GifCodec, BadArgumentsAndInputsFail) {
  TempDir dir;
  ASSERT_TRUE(Picture(4, 4, 0, false).save(QString::fromStdString(dir.File("in.png"))));
  const std::string in = dir.File("in.png"), out = dir.File("o.gif"), missing = dir.File("missing.gif");
  const struct {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"encode", "--colors", "3", out, in}, 2},       {{"encode", "--colors", "512", out, in}, 2},
      {{"encode", "--dither", "7", out, in}, 2},       {{"encode", "--delay", "x", out, in}, 2},
      {{"encode", out}, 2},                            {{"encode", out, dir.File("missing.png")}, 1},
      {{"encode", dir.File("no/such/dir/o.gif"), in}, 1}, {{"optimize", in, out}, 1},
      {{"optimize", out}, 2},                          {{"frames", missing, dir.Path().string()}, 1},
      {{"frames", "--viewer", missing, dir.Path().string()}, 1},
  };
  for (const auto& c : cases) {
    const ProgramRun run = RunProgram(GIFCODEC_EXE, c.args);
    EXPECT_EQ(run.status, c.status) << c.args[1] << " " << c.args[2] << ": " << run.err;
  }
}

// The tool optimises and saves (what optimising keeps is GifOptimizeTest's): a smaller file, the
// same screen, its line; a file with a transparent index beyond its table stays whole.
TEST(GifCodec, OptimizeWritesASmallerFileShowingTheSame) {
  GifBuilder b;
  b.Header(8, 6, 2).Loop(3);
  std::vector<uint8_t> full(48);
  for (size_t i = 0; i < full.size(); ++i) full[i] = static_cast<uint8_t>(i / 5 % 3);
  b.Gce(0, 10).Image(0, 0, 8, 6).Pixels(2, full);
  b.Gce(0, 10, 0).Image(0, 0, 8, 6).Pixels(2, std::vector<uint8_t>(48, 0));  // shows nothing
  b.Gce(0, 30).Image(0, 0, 8, 6).Pixels(2, full).Trailer();
  GifBuilder beyond;
  beyond.Header(4, 1, 2).Gce(0, 0, 200).Image(0, 0, 4, 1).Pixels(2, {1, 1, 1, 0}).Trailer();
  for (const GifBuilder* gif : {&b, &beyond}) {
    TempDir dir;
    TempDir::Write(dir.File("in.gif"), std::string(gif->Bytes.begin(), gif->Bytes.end()));
    const ProgramRun run = RunProgram(GIFCODEC_EXE, {"optimize", dir.File("in.gif"), dir.File("out.gif")});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto size = std::filesystem::file_size(dir.File("out.gif"));
    EXPECT_LE(size, gif->Bytes.size());
    const Decoded in = Frames(dir.File("in.gif"), dir.File("in")), out = Frames(dir.File("out.gif"), dir.File("out"));
    ASSERT_FALSE(out.Lines.empty());
    EXPECT_EQ(run.out, "frames " + std::to_string(out.Lines.size() - 1) + " bytes " + std::to_string(size) + "\n");
    EXPECT_EQ(out.Lines[0], in.Lines[0]);
    EXPECT_EQ(out.Screens.back(), in.Screens.back());
  }
}

// Every image the file holds is a frame, kept whole: the screen grows to hold frames beyond it, and
// a side it names no size for takes the frames' reach; a frame beyond the screen the codec draws
// is listed clipped to it, showing the screen as the frames before left it.
TEST(GifCodec, FramesListsEveryImageTheFileHolds) {
  const auto shapes = [](int width, int height, std::vector<std::array<int, 4>> frames) {
    GifBuilder b;
    b.Header(width, height, 2);
    for (size_t i = 0; i < frames.size(); ++i) {
      const auto [left, top, w, h] = frames[i];
      b.Gce(1, i == 2 ? 20 : 10).Image(left, top, w, h).Pixels(2, std::vector<uint8_t>(static_cast<size_t>(w * h), (i + 1) % 4));
    }
    return b.Trailer();
  };
  const struct {
    GifBuilder gif;
    std::string out;
    int x, y;    // a pixel of the last screen
    int index;   // the colour it shows; -1 transparent
  } cases[] = {
      {GifBuilder().Header(0, 0, 2).Image(0, 0, 5, 5).Pixels(2, std::vector<uint8_t>(25, 1)).Trailer(),
       "screen 5 5 loops -1\nframe 0 0 0 5 5 0 0 -1 0\n", 4, 4, 1},
      {shapes(4, 2, {{0, 0, 4, 4}}), "screen 4 4 loops -1\nframe 0 0 0 4 4 100 1 -1 0\n", 3, 3, 1},
      {shapes(20, 20, {{0, 0, 20, 20}, {2, 2, 4, 4}, {30, 30, 5, 5}, {10, 10, 4, 4}}),
       "screen 35 35 loops -1\nframe 0 0 0 20 20 100 1 -1 0\nframe 1 2 2 4 4 100 1 -1 0\n"
       "frame 2 30 30 5 5 200 1 -1 0\nframe 3 10 10 4 4 100 1 -1 0\n",
       34, 34, 3},
      {shapes(20, 20, {{0, 0, 20, 20}, {2, 2, 4, 4}, {60000, 60000, 5, 5}, {10, 10, 4, 4}}),
       "screen 20 20 loops -1\nframe 0 0 0 20 20 100 1 -1 0\nframe 1 2 2 4 4 100 1 -1 0\n"
       "frame 2 20 20 0 0 200 1 -1 0\nframe 3 10 10 4 4 100 1 -1 0\n",
       19, 19, 1},
      // Screens of no height or width, with a frame beyond the side they name.
      {shapes(3, 0, {{4, 1, 2, 2}}), "screen 6 3 loops -1\nframe 0 4 1 2 2 100 1 -1 0\n", 5, 2, 1},
      {shapes(0, 3, {{1, 4, 2, 2}}), "screen 3 6 loops -1\nframe 0 1 4 2 2 100 1 -1 0\n", 2, 5, 1},
      // A frame of no width takes the screen's size, here of no height: it holds no pixel, and
      // reaches nowhere beyond the screen.
      {shapes(1, 0, {{0, 0, 1, 2}, {5, 1, 0, 3}}),
       "screen 1 2 loops -1\nframe 0 0 0 1 2 100 1 -1 0\nframe 1 1 0 0 0 100 1 -1 0\n", 0, 1, 1},
      {shapes(3, 0, {{0, 0, 3, 2}, {60000, 1, 2, 2000}}),
       "screen 3 2001 loops -1\nframe 0 0 0 3 2 100 1 -1 0\nframe 1 3 1 0 2000 100 1 -1 0\n", 2, 3, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    TempDir dir;
    TempDir::Write(dir.File("in.gif"), std::string(c.gif.Bytes.begin(), c.gif.Bytes.end()));
    const Decoded d = Frames(dir.File("in.gif"), dir.File("frames"));
    EXPECT_EQ(d.Out, c.out);
    ASSERT_EQ(d.Screens.size() + 1, d.Lines.size());
    for (const QImage& screen : d.Screens) ASSERT_FALSE(screen.isNull());
    const QRgb shown = d.Screens.back().pixel(c.x, c.y);
    EXPECT_EQ(shown, c.index < 0 ? 0u : gif::test::RgbOf(c.index)) << std::hex << shown;
    if (d.Screens.size() == 4 && d.Screens[0].width() == 20) {
      EXPECT_EQ(d.Screens[2], d.Screens[1]);  // the frame beyond what the codec draws adds nothing
    }
  }
}

// What the codec reads it optimises and writes: pixels beyond the colour table, or without any,
// keep their indexes and the table its entries and size, so that each decoder reads them as before.
TEST(GifCodec, OptimizeKeepsPixelsBeyondTheTable) {
  GifBuilder none, beyond, filled;
  none.Header(3, 2, 0).Gce(1, 10).Image(0, 0, 3, 2).Pixels(2, {0, 1, 2, 3, 0, 1}).Trailer();
  beyond.Header(3, 2, 1).Gce(1, 10).Image(0, 0, 3, 2).Pixels(2, {0, 1, 2, 3, 1, 0});
  beyond.Gce(1, 10).Image(0, 0, 3, 2).Pixels(2, {0, 1, 0, 3, 1, 1}).Trailer();
  // A frame of no width takes the screen's size, filled with its transparent index.
  filled.Header(3, 2, 1).Gce(0, 10).Image(0, 0, 3, 2).Pixels(2, {0, 1, 1, 0, 1, 1});
  filled.Gce(0, 10, 7).Image(0, 0, 0, 2).Pixels(3, {}).Trailer();
  for (const GifBuilder* gif : {&none, &beyond, &filled}) {
    TempDir dir;
    TempDir::Write(dir.File("in.gif"), std::string(gif->Bytes.begin(), gif->Bytes.end()));
    const ProgramRun run = RunProgram(GIFCODEC_EXE, {"optimize", dir.File("in.gif"), dir.File("out.gif")});
    ASSERT_EQ(run.status, 0) << run.err;
    const Decoded in = Frames(dir.File("in.gif"), dir.File("in")), out = Frames(dir.File("out.gif"), dir.File("out"));
    ASSERT_FALSE(out.Lines.empty());
    EXPECT_EQ(out.Lines[0], in.Lines[0]);
    // Neighbours that show the same screen are one screen, which the optimiser may join.
    const auto joined = [](std::vector<QImage> screens) {
      screens.erase(std::unique(screens.begin(), screens.end()), screens.end());
      return screens;
    };
    EXPECT_EQ(joined(out.Screens), joined(in.Screens));
    const std::string bytes = TempDir::Read(dir.File("out.gif"));
    const LoadedGif was(gif->Bytes), now(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    const TGIFSubImage &first = was.Image.Images[0], &written = now.Image.Images[0];
    EXPECT_EQ(written.ActiveColorMap().Count(), first.ActiveColorMap().Count());
    EXPECT_EQ(written.Data(), first.Data());
  }
}
