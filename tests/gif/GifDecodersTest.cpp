// What the codec writes, optimised and not, as two other decoders show it: Pillow (through a small
// python3 script) and ImageMagick (convert and identify). Each decoder must show the optimised file
// as it shows the file before: the same screens, each for the same time, pixel for pixel.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "gif/GifItems.h"
#include "tests/gif/GifBuilder.h"
#include "tests/gif/GifShown.h"
#include "tests/gif/GifTestSupport.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

using namespace gif;
using namespace gif::test;

namespace {

void Grey(TGIFColorMap& map, int count, int seed) {
  for (int i = 0; i < count; ++i) {
    const auto v = static_cast<uint8_t>((i * 50 + seed * 30) % 250);
    map.Add({v, static_cast<uint8_t>(255 - v), static_cast<uint8_t>(i % 3 == 2 ? 0 : v / 2)});
  }
}

// A small random animation of what other decoders read in their own ways: every disposal, global
// and local tables, the background index inside and beyond each table, transparency used, unused and
// none, frames partly and wholly beyond the screen, frames with and without a control block.
void Generate(TGifPictureBase& image, unsigned seed) {
  std::mt19937 random(seed);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const int width = 1 + pick(8), height = 1 + pick(6);
  const bool global = pick(4) != 0;
  if (global) Grey(image.Header.ColorMap, 2 + pick(7), 0);
  const int frames = 1 + pick(5);
  for (int f = 0; f < frames; ++f) {
    int left = pick(width), top = pick(height);
    int w = 1 + pick(width - left), h = 1 + pick(height - top);
    const int place = pick(8);
    if (place == 0) {  // partly beyond the screen
      w += 1 + pick(3);
      h += pick(3);
    } else if (place == 1 && f > 0) {  // wholly beyond it
      left = width + pick(20);
      top = pick(height + 20);
    }
    TGIFSubImage& frame = AddFrame(image, left, top, w, h, std::vector<uint8_t>(static_cast<size_t>(w * h)));
    if (!global || pick(3) == 0) Grey(frame.ColorMap, 2 + pick(5), f + 1);
    const int colors = frame.ActiveColorMap().Count();
    const int used = std::min(colors, 1 + pick(4));
    for (uint8_t& p : frame.Data()) p = static_cast<uint8_t>(pick(used));
    // A frame beyond the screen without a control block, after one that is cleared away, has no
    // stand-in for every decoder (ImageMagick gives it the delay of the block before, Pillow none):
    // those beyond have one here; EdgeCases holds one without, after a frame that stays.
    if (pick(5) != 0 || (place == 1 && f > 0)) {
      const int transparency = pick(3);  // 0 none, 1 an index that pixels have, 2 one no pixel has
      const int transparent = transparency == 1 ? pick(used) : transparency == 2 ? used + pick(colors - used + 1) : -1;
      TGIFGraphicControlExtension& gce = Gce(frame, pick(4), -1, 2 + pick(8));
      if (transparent >= 0) {
        gce.SetTransparent(true);
        gce.StoreTransparentColorIndex(static_cast<uint8_t>(std::min(transparent, 255)));
      }
    }
  }
  image.Header.Width = width;
  image.Header.Height = height;
  // Inside the global table or beyond it, or beyond the smaller tables only.
  image.Header.BackgroundColorIndex = static_cast<uint8_t>(pick(global ? image.Header.ColorMap.Count() + 3 : 8));
}

struct TCase {
  std::string Name;
  std::vector<uint8_t> Bytes;
};

std::vector<uint8_t> Bytes(const GifBuilder& b) { return b.Bytes; }

// The hand-made cases.
std::vector<TCase> EdgeCases() {
  std::vector<TCase> cases;
  {  // a frame wholly beyond the screen, between two that show
    GifBuilder b;
    b.Header(20, 20, 2).Gce(1, 10).Image(0, 0, 20, 20).Pixels(2, std::vector<uint8_t>(400, 1));
    b.Gce(1, 10).Image(30, 30, 5, 5).Pixels(2, std::vector<uint8_t>(25, 2));
    b.Gce(1, 10).Image(5, 5, 10, 10).Pixels(2, std::vector<uint8_t>(100, 3)).Trailer();
    cases.push_back({"beyond", Bytes(b)});
  }
  {  // the same without a control block, after a frame that stays on the screen
    GifBuilder b;
    b.Header(20, 20, 2).Gce(1, 10).Image(0, 0, 20, 20).Pixels(2, std::vector<uint8_t>(400, 1));
    b.Image(30, 30, 5, 5).Pixels(2, std::vector<uint8_t>(25, 2));
    b.Gce(2, 10).Image(5, 5, 10, 10).Pixels(2, std::vector<uint8_t>(100, 3)).Trailer();
    cases.push_back({"beyond without a control block", Bytes(b)});
  }
  {  // a screen of no size, which takes the frame's
    GifBuilder b;
    b.Header(0, 0, 2).Gce(1, 10).Image(0, 0, 5, 3).Pixels(2, std::vector<uint8_t>(15, 2)).Trailer();
    cases.push_back({"unsized", Bytes(b)});
  }
  {  // a first frame that leaves half the screen uncovered, its transparent index unused
    GifBuilder b;
    b.Header(4, 1, 2).Gce(1, 10, 3).Image(0, 0, 2, 1).Pixels(2, {1, 2});
    b.Gce(1, 10).Image(1, 0, 1, 1).Pixels(2, {0});
    b.Gce(1, 10).Image(0, 0, 1, 1).Pixels(2, {2}).Trailer();
    cases.push_back({"uncovered", Bytes(b)});
  }
  {  // a background index whose entry sorting by use would move, restored to by disposal
    GifBuilder b;
    b.Header(10, 10, 2, 1).Gce(2, 10).Image(0, 0, 6, 6).Pixels(2, std::vector<uint8_t>(36, 3));
    b.Gce(2, 10).Image(3, 3, 7, 7).Pixels(2, std::vector<uint8_t>(49, 2));
    b.Gce(0, 10).Image(2, 2, 4, 4).Pixels(2, std::vector<uint8_t>(16, 0)).Trailer();
    cases.push_back({"background", Bytes(b)});
  }
  {  // the same with a frame of a local table, and a background index beyond what it uses
    GifBuilder b;
    b.Header(10, 10, 3, 6).Gce(2, 10).Image(0, 0, 6, 6).Pixels(3, std::vector<uint8_t>(36, 3));
    std::vector<uint8_t> local(49);
    for (size_t i = 0; i < local.size(); ++i) local[i] = static_cast<uint8_t>(i % 3 + 1);
    b.Gce(2, 10).Image(3, 3, 7, 7, 3).Pixels(3, local);
    b.Gce(2, 10).Image(1, 1, 5, 5).Pixels(3, std::vector<uint8_t>(25, 5));
    b.Gce(0, 10).Image(2, 2, 4, 4, 3).Pixels(3, std::vector<uint8_t>(16, 7)).Trailer();
    cases.push_back({"local", Bytes(b)});
  }
  return cases;
}

using GifDecoders = GifDecoderTest;

// Writes each case, optimises it with gifcodec, and compares what each decoder shows of the two.
void CompareOptimised(const std::string& python, const std::string& convert, const std::vector<TCase>& cases,
                      TDifference& pillowTotal, TDifference& magickTotal) {
  TempDir dir;
  std::vector<std::string> files;
  std::string script = "set -e\n";
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string in = dir.File("in" + std::to_string(i) + ".gif");
    const std::string out = dir.File("out" + std::to_string(i) + ".gif");
    TempDir::Write(in, std::string(cases[i].Bytes.begin(), cases[i].Bytes.end()));
    script += "'" + std::string(GIFCODEC_EXE) + "' optimize '" + in + "' '" + out + "' >/dev/null\n";
    files.insert(files.end(), {in, out});
  }
  // One shell runs every optimisation.
  TempDir::Write(dir.File("optimise.sh"), script);
  const ProgramRun optimised = RunProgram("/bin/sh", {dir.File("optimise.sh")});
  ASSERT_EQ(optimised.status, 0) << optimised.err;
  const std::map<std::string, TShown> pillow = ShownByPillow(python, files);
  const std::map<std::string, TShown> magick = ShownByMagick(convert, files, dir);
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string &in = files[2 * i], &out = files[2 * i + 1];
    for (const auto& [decoder, shown, total] :
         {std::tuple{"Pillow", &pillow, &pillowTotal}, std::tuple{"ImageMagick", &magick, &magickTotal}}) {
      const auto a = shown->find(in), b = shown->find(out);
      ASSERT_TRUE(a != shown->end() && b != shown->end()) << decoder << " showed nothing of " << cases[i].Name;
      const TDifference d = Compare(a->second, b->second);
      *total += d;
      EXPECT_EQ(d, TDifference{}) << decoder << ", " << cases[i].Name << ":\n  before" << Describe(a->second)
                                  << "\n  after" << Describe(b->second);
    }
  }
}

}  // namespace

TEST_F(GifDecoders, EdgeCasesShowTheSameOptimised) {
  TDifference pillow, magick;
  CompareOptimised(python_, convert_, EdgeCases(), pillow, magick);
  std::printf("edge cases: Pillow %s; ImageMagick %s\n", (std::ostringstream() << pillow).str().c_str(),
              (std::ostringstream() << magick).str().c_str());
}

TEST_F(GifDecoders, GeneratedAnimationsShowTheSameOptimised) {
  std::vector<TCase> cases;
  for (unsigned seed = 1; seed <= 150; ++seed) {
    TGifPictureBase image;
    Generate(image, seed);
    cases.push_back({"seed " + std::to_string(seed), Saved(image)});
  }
  TDifference pillow, magick;
  CompareOptimised(python_, convert_, cases, pillow, magick);
  std::printf("generated: Pillow %s; ImageMagick %s\n", (std::ostringstream() << pillow).str().c_str(),
              (std::ostringstream() << magick).str().c_str());
}

// gifcodec lists every frame that ImageMagick lists.
TEST_F(GifDecoders, FramesListsWhatImageMagickLists) {
  TempDir dir;
  const std::vector<TCase> cases = EdgeCases();
  std::vector<std::string> files;
  for (size_t i = 0; i < cases.size(); ++i) {
    files.push_back(dir.File("in" + std::to_string(i) + ".gif"));
    TempDir::Write(files.back(), std::string(cases[i].Bytes.begin(), cases[i].Bytes.end()));
  }
  std::vector<std::string> args = {"-format", "%i\\n"};
  args.insert(args.end(), files.begin(), files.end());
  const ProgramRun identify = RunProgram(OnPath("identify"), args);
  ASSERT_EQ(identify.status, 0) << identify.err;
  for (size_t i = 0; i < cases.size(); ++i) {
    size_t listed = 0;
    for (size_t at = identify.out.find(files[i] + "\n"); at != std::string::npos;
         at = identify.out.find(files[i] + "\n", at + 1))
      ++listed;
    std::filesystem::create_directories(dir.File("frames"));
    const ProgramRun frames = RunProgram(GIFCODEC_EXE, {"frames", files[i], dir.File("frames")});
    ASSERT_EQ(frames.status, 0) << cases[i].Name << ": " << frames.err;
    EXPECT_EQ(static_cast<size_t>(std::count(frames.out.begin(), frames.out.end(), '\n')) - 1, listed) << cases[i].Name;
  }
}
