#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gif/GifItems.h"
#include "tests/gif/GifBuilder.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

using namespace gif;

namespace {

RunOptions Bounded() {
  RunOptions options;
  options.boundSeconds = 60;
  return options;
}

QImage Read(const std::string& file) { return QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_ARGB32); }

std::string FrameFile(const std::string& dir, int i) {
  char name[32];
  std::snprintf(name, sizeof name, "/frame-%03d.png", i);
  return dir + name;
}

// What `gifcodec frames` reports and draws: the screens and the lines.
struct Decoded {
  std::vector<std::string> Lines;
  std::vector<QImage> Screens;
};

Decoded Frames(const std::string& gif, const std::string& dir) {
  std::filesystem::create_directories(dir);
  const ProgramRun run = RunProgram(GIFCODEC_EXE, {"frames", gif, dir}, Bounded());
  EXPECT_EQ(run.status, 0) << run.err;
  Decoded d;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) d.Lines.push_back(line);
  for (size_t i = 1; i < d.Lines.size(); ++i) d.Screens.push_back(Read(FrameFile(dir, static_cast<int>(i - 1))));
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

}  // namespace

TEST(GifCodecEncode, ThreePicturesBecomeFramesThatReadBackAsThemselves) {
  TempDir dir;
  std::vector<QImage> pictures = {Picture(30, 20, 0, false), Picture(30, 20, 1, false), Picture(30, 20, 2, false)};
  std::vector<std::string> args = {"encode", "--delay", "120", "--loops", "2", dir.File("out.gif")};
  for (size_t i = 0; i < pictures.size(); ++i) {
    const std::string name = dir.File("in" + std::to_string(i) + ".png");
    ASSERT_TRUE(pictures[i].save(QString::fromStdString(name)));
    args.push_back(name);
  }
  const ProgramRun run = RunProgram(GIFCODEC_EXE, args, Bounded());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "frames 3 bytes " + std::to_string(std::filesystem::file_size(dir.File("out.gif"))) + "\n");

  const Decoded d = Frames(dir.File("out.gif"), dir.File("frames"));
  ASSERT_EQ(d.Lines.size(), 4u);
  EXPECT_EQ(d.Lines[0], "screen 30 20 loops 2");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(d.Lines[static_cast<size_t>(i + 1)], "frame " + std::to_string(i) + " 0 0 30 20 120 0 -1 0");
    EXPECT_EQ(d.Screens[static_cast<size_t>(i)], pictures[static_cast<size_t>(i)].convertToFormat(QImage::Format_ARGB32)) << i;
  }
  QImageReader reader(QString::fromStdString(dir.File("out.gif")));
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(reader.read().convertToFormat(QImage::Format_ARGB32), pictures[static_cast<size_t>(i)].convertToFormat(QImage::Format_ARGB32))
        << "Qt, frame " << i;

  // The frames share the cube: one global table, no local ones.
  TGifPictureBase image;
  image.LoadFromFile(dir.WFile("out.gif"));
  EXPECT_GT(image.Header.ColorMap.Count(), 0);
  for (int i = 0; i < image.Images.Count(); ++i) EXPECT_EQ(image.Images[i].ColorMap.Count(), 0) << i;
}

TEST(GifCodecEncode, TransparentAndSmallerPicturesAreClearedAwayAfterThemselves) {
  TempDir dir;
  const std::vector<QImage> pictures = {Picture(12, 9, 0, false), Picture(7, 5, 3, true)};
  std::vector<std::string> args = {"encode", "--colors", "16", "--dither", "1", dir.File("out.gif")};
  for (size_t i = 0; i < pictures.size(); ++i) {
    const std::string name = dir.File("in" + std::to_string(i) + ".png");
    ASSERT_TRUE(pictures[i].save(QString::fromStdString(name)));
    args.push_back(name);
  }
  const ProgramRun run = RunProgram(GIFCODEC_EXE, args, Bounded());
  ASSERT_EQ(run.status, 0) << run.err;
  const Decoded d = Frames(dir.File("out.gif"), dir.File("frames"));
  ASSERT_EQ(d.Screens.size(), 2u);
  EXPECT_EQ(d.Lines[0], "screen 12 9 loops -1");
  // The second screen shows the second picture alone: transparent where it is, and beyond it.
  const QImage& second = d.Screens[1];
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 12; ++x) {
      const bool inside = x < 7 && y < 5;
      const bool clear = !inside || qAlpha(pictures[1].pixel(x, y)) == 0;
      EXPECT_EQ(qAlpha(second.pixel(x, y)) == 0, clear) << x << "," << y;
    }
  TGifPictureBase image;
  image.LoadFromFile(dir.WFile("out.gif"));
  for (int i = 0; i < 2; ++i) {
    const std::vector<uint8_t>& raster = image.Images[i].Data();
    EXPECT_LE(std::set<uint8_t>(raster.begin(), raster.end()).size(), 17u) << i;  // 16 and a transparent one
  }
}

TEST(GifCodecEncode, BadArgumentsAndInputsFail) {
  TempDir dir;
  ASSERT_TRUE(Picture(4, 4, 0, false).save(QString::fromStdString(dir.File("in.png"))));
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const Case cases[] = {
      {{"encode", "--colors", "3", dir.File("o.gif"), dir.File("in.png")}, 2},
      {{"encode", "--colors", "512", dir.File("o.gif"), dir.File("in.png")}, 2},
      {{"encode", "--dither", "7", dir.File("o.gif"), dir.File("in.png")}, 2},
      {{"encode", "--delay", "x", dir.File("o.gif"), dir.File("in.png")}, 2},
      {{"encode", dir.File("o.gif")}, 2},
      {{"encode", dir.File("o.gif"), dir.File("missing.png")}, 1},
      {{"encode", dir.File("no/such/dir/o.gif"), dir.File("in.png")}, 1},
      {{"optimize", dir.File("in.png"), dir.File("o.gif")}, 1},
      {{"optimize", dir.File("o.gif")}, 2},
  };
  for (const Case& c : cases) {
    const ProgramRun run = RunProgram(GIFCODEC_EXE, c.args, Bounded());
    EXPECT_EQ(run.status, c.status) << c.args[1] << " " << c.args[2] << ": " << run.err;
  }
}

// The tool optimises and saves (what optimising keeps is GifOptimizeTest's): a smaller file, the
// same screen, its line; the file with a transparent index beyond its table stays whole.
TEST(GifCodecEncode, OptimizeWritesASmallerFileShowingTheSame) {
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
    const ProgramRun run = RunProgram(GIFCODEC_EXE, {"optimize", dir.File("in.gif"), dir.File("out.gif")}, Bounded());
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
