// What the codec writes, optimised and not, as two other decoders show it: Pillow (through a small
// python3 script) and ImageMagick (convert and identify). Each decoder must show the optimised file
// as it shows the file before: the same screens, each for the same time, pixel for pixel.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
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
#include "gif/GifCompose.h"
#include "gif/gui/GifConvert.h"
#include "platform/core/Utf8.h"
#include "tests/gif/GifBuilder.h"
#include "tests/gif/GifShown.h"
#include "tests/gif/GifShapes.h"
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
  {  // a frame taller than the screen, which some decoders show whole and others cut
    GifBuilder b;
    b.Header(4, 2, 1).Gce(0, 10).Image(0, 0, 4, 4).Pixels(2, {0, 1, 0, 1, 1, 1, 0, 0, 1, 0, 1, 0, 0, 0, 1, 1}).Trailer();
    cases.push_back({"taller than the screen", Bytes(b)});
  }
  {  // a frame reaching beyond the screen with nothing to show there
    GifBuilder b;
    b.Header(4, 2, 2).Gce(1, 10).Image(0, 0, 4, 2).Pixels(2, {0, 1, 0, 1, 1, 1, 0, 0});
    std::vector<uint8_t> reach(18, 2);
    reach[0] = 1;
    b.Gce(1, 10, 2).Image(0, 0, 6, 3).Pixels(2, reach).Trailer();
    cases.push_back({"transparent beyond the screen", Bytes(b)});
  }
  {  // screens of no height and of no width, with a frame beyond the side they name
    GifBuilder b;
    b.Header(3, 0, 1).Gce(0, 10).Image(2, 0, 3, 2).Pixels(2, {0, 1, 1, 1, 0, 1}).Trailer();
    cases.push_back({"no height", Bytes(b)});
    GifBuilder c;
    c.Header(0, 3, 1).Gce(0, 10).Image(0, 2, 2, 3).Pixels(2, {0, 1, 1, 1, 0, 1}).Trailer();
    cases.push_back({"no width", Bytes(c)});
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

// Pixels without a colour table, beyond a table of two, and a frame of no width that takes the
// screen's size filled with a transparent index beyond the table: decoders read these each in
// their own way (ImageMagick warns of each and refuses the last).
std::vector<TCase> BeyondTheTable() {
  std::vector<TCase> cases;
  GifBuilder none, beyond, filled;
  none.Header(3, 2, 0).Gce(1, 10).Image(0, 0, 3, 2).Pixels(2, {0, 1, 2, 3, 0, 1}).Trailer();
  cases.push_back({"no table", Bytes(none)});
  beyond.Header(3, 2, 1).Gce(1, 10).Image(0, 0, 3, 2).Pixels(2, {0, 1, 2, 3, 1, 0});
  beyond.Gce(1, 10).Image(0, 0, 3, 2).Pixels(2, {0, 1, 0, 3, 1, 1}).Trailer();
  cases.push_back({"beyond the table", Bytes(beyond)});
  filled.Header(3, 2, 1).Gce(0, 10).Image(0, 0, 3, 2).Pixels(2, {0, 1, 1, 0, 1, 1});
  filled.Gce(0, 10, 7).Image(0, 0, 0, 2).Pixels(3, {}).Trailer();
  cases.push_back({"no width", Bytes(filled)});
  // A frame without a table whose transparent index 0 no pixel has: ImageMagick reads its pixel
  // beyond the table as entry 0, and so shows it transparent.
  GifBuilder first;
  first.Header(5, 3, 0).Gce(2, 0, 3).Image(3, 2, 2, 1, 2).Pixels(2, {2, 2});
  first.Gce(1, 0, 0).Image(1, 2, 1, 1).Pixels(2, {3}).Trailer();
  cases.push_back({"read as the first entry", Bytes(first)});
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

TEST_F(GifDecoders, PixelsBeyondTheTableShowTheSameOptimised) {
  TDifference pillow, magick;
  CompareOptimised(python_, convert_, BeyondTheTable(), pillow, magick);
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

namespace {

// The codec's own showing of a file, as gifcodec frames gives it: the screen after each frame that
// has an image (or had one beyond the screen), its delay and the loop count of the first loop block.
TShown ShownByCodec(const std::string& file) {
  TShown shown;
  try {
    TGifPictureBase image;
    image.LoadFromFile(platform::Utf8ToUtf16(file));
    GrowScreen(image);
    for (int i = 0; i < image.Images.Count() && shown.Loops < 0; ++i)
      for (int e = 0; e < image.Images[i].Extensions.Count() && shown.Loops < 0; ++e) {
        if (const auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(&image.Images[i].Extensions[e]))
          shown.Loops = loop->Loops;
      }
    // gifcodec frames shows no screen without a width or height.
    if (image.Width() == 0 || image.Height() == 0) throw Exception("nothing to show");
    TGIFComposer composer(image);
    for (int i = 0; i < image.Images.Count(); ++i) {
      const TGIFSubImage& frame = image.Images[i];
      if (frame.Empty() && !frame.OutsideScreen) continue;
      const TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
      shown.Frames.push_back({gce ? gce->Delay : 0, composer.Width(), composer.Height(), composer.Draw(frame)});
    }
    // A file of no frame the codec reads as none, which it cannot save (nor other decoders show).
    if (shown.Frames.empty()) shown.Error = "no frame shown";
  } catch (const std::exception& e) {
    shown.Error = e.what();
  }
  return shown;
}

// Per decoder: the files it reads, and of those the ones that optimising changes there, that the
// optimiser refuses, and that it makes larger.
struct TTally {
  int Read = 0, Changed = 0, Refused = 0, Grown = 0;
};

#if defined(__SANITIZE_ADDRESS__)
constexpr unsigned ShapeSeeds = 300;
#else
constexpr unsigned ShapeSeeds = 2500;
#endif

}  // namespace

// Every shape of file the generator makes, optimised by gifcodec, as the codec, the viewer's own
// decoder, Pillow and ImageMagick show it before and after. MIRELCON_GIF_SHAPES=FIRST-LAST runs
// other seeds (the longer run of tools/gif-shapes.sh); MIRELCON_GIF_SHAPES_KEEP=DIR keeps there
// the inputs that fail and their outputs, and lists them; MIRELCON_GIF_SHAPES_SHOW=N describes N
// failures per decoder (3).
TEST_F(GifDecoders, GeneratedShapesShowTheSameOptimised) {
  unsigned first = 1, last = ShapeSeeds;
  if (const char* range = std::getenv("MIRELCON_GIF_SHAPES")) {
    ASSERT_EQ(std::sscanf(range, "%u-%u", &first, &last), 2) << "MIRELCON_GIF_SHAPES is FIRST-LAST";
  }
  const char* keep = std::getenv("MIRELCON_GIF_SHAPES_KEEP");
  const char* show = std::getenv("MIRELCON_GIF_SHAPES_SHOW");
  const int described = show ? std::atoi(show) : 3;  // failures described, per decoder
  TempDir dir;
  std::vector<unsigned> shapes;
  std::vector<std::string> files;
  // Three shells share the optimising; each names the files the optimiser refuses.
  std::vector<std::string> lines;
  for (unsigned seed = first; seed <= last; ++seed) {
    const TGifShapeFile shape = GifShapeFile(seed);
    const std::string in = dir.File(std::to_string(seed) + ".gif"), out = dir.File(std::to_string(seed) + "-out.gif");
    TempDir::Write(in, std::string(shape.Bytes.begin(), shape.Bytes.end()));
    lines.push_back("'" + std::string(GIFCODEC_EXE) + "' optimize '" + in + "' '" + out + "' >/dev/null 2>'" + in +
                    ".err' || echo refused " + std::to_string(seed));
    shapes.push_back(shape.Shapes);
    files.insert(files.end(), {in, out});
  }
  const ProgramRun optimised = RunSideBySide(dir, "optimise", lines, 3);
  ASSERT_EQ(optimised.status, 0) << optimised.err;
  std::vector<bool> refused(shapes.size(), false);
  std::istringstream refusals(optimised.out);
  std::string word;
  for (unsigned seed; refusals >> word >> seed;)
    if (seed >= first && seed <= last) refused[seed - first] = true;

  std::map<std::string, TShown> codec;
  for (const std::string& file : files)
    if (std::filesystem::exists(file)) codec[file] = ShownByCodec(file);
  const std::map<std::string, TShown> viewer = ShownByCodec(files, dir, true);
  const std::map<std::string, TShown> pillow = ShownByPillow(python_, files);
  const std::map<std::string, TShown> magick = ShownByMagick(convert_, files, dir);

  const std::array<std::pair<const char*, const std::map<std::string, TShown>*>, 4> decoders = {
      {{"codec", &codec}, {"viewer", &viewer}, {"Pillow", &pillow}, {"ImageMagick", &magick}}};
  std::array<TTally, 4> tallies;
  std::array<int, gsShapeCount> failing{}, made{}, alone{};  // alone: failing files of no other shape
  int grown = 0;
  std::array<int, 4> shown{};  // failures described, per decoder
  for (size_t i = 0; i < shapes.size(); ++i) {
    const unsigned seed = first + static_cast<unsigned>(i);
    const std::string &in = files[2 * i], &out = files[2 * i + 1];
    const bool larger = !refused[i] && std::filesystem::file_size(out) > std::filesystem::file_size(in);
    grown += larger;
    bool fails = false;
    // A file the codec does not read, the optimiser cannot load: its refusal is counted, not failed.
    const auto inCodec = codec.find(in);
    const bool codecReads = inCodec != codec.end() && inCodec->second.Error.empty();
    for (size_t d = 0; d < decoders.size(); ++d) {
      const auto before = decoders[d].second->find(in);
      if (before == decoders[d].second->end() || !before->second.Error.empty()) continue;
      TTally& tally = tallies[d];
      ++tally.Read;
      if (refused[i]) {
        ++tally.Refused;
        fails = fails || codecReads;
        if (codecReads && shown[d]++ < described)
          ADD_FAILURE() << decoders[d].first << ", seed " << seed << " (" << GifShapeNames(shapes[i])
                        << "): the optimiser refuses it: " << TempDir::Read(in + ".err");
        continue;
      }
      tally.Grown += larger;
      fails = fails || larger;
      const auto after = decoders[d].second->find(out);
      const TDifference difference = after == decoders[d].second->end() ? TDifference{1} : Compare(before->second, after->second);
      if (difference == TDifference{}) continue;
      ++tally.Changed;
      fails = true;
      if (shown[d]++ < described)
        ADD_FAILURE() << decoders[d].first << ", seed " << seed << " (" << GifShapeNames(shapes[i])
                      << "): " << difference << "\n  before" << Describe(before->second) << "\n  after"
                      << Describe(after->second);
    }
    for (int bit = 0; bit < gsShapeCount; ++bit)
      if (shapes[i] & 1u << bit) {
        ++made[static_cast<size_t>(bit)];
        failing[static_cast<size_t>(bit)] += fails;
        alone[static_cast<size_t>(bit)] += fails && shapes[i] == 1u << bit;
      }
    if (fails && keep && *keep) {
      std::filesystem::copy_file(in, std::string(keep) + "/seed-" + std::to_string(seed) + ".gif",
                                 std::filesystem::copy_options::overwrite_existing);
      if (!refused[i])
        std::filesystem::copy_file(out, std::string(keep) + "/seed-" + std::to_string(seed) + "-out.gif",
                                   std::filesystem::copy_options::overwrite_existing);
      std::printf("failing seed %u: %s\n", seed, GifShapeNames(shapes[i]).c_str());
    }
  }
  std::printf("seeds %u-%u: %zu files, %d grown\n", first, last, shapes.size(), grown);
  for (size_t d = 0; d < decoders.size(); ++d)
    std::printf("%s: %d read, %d changed, %d refused, %d grown\n", decoders[d].first, tallies[d].Read,
                tallies[d].Changed, tallies[d].Refused, tallies[d].Grown);
  for (int bit = 0; bit < gsShapeCount; ++bit)
    std::printf("shape %s: %d of %d files fail, %d of no other shape\n", GifShapeName(bit),
                failing[static_cast<size_t>(bit)], made[static_cast<size_t>(bit)], alone[static_cast<size_t>(bit)]);
  for (size_t d = 0; d < decoders.size(); ++d) EXPECT_EQ(tallies[d].Changed, 0) << decoders[d].first;
  // What the codec reads, the optimiser takes (a file only another decoder reads, it cannot load).
  EXPECT_EQ(tallies[0].Refused, 0);
  EXPECT_EQ(grown, 0);
}

// Decoders that stop reading a frame's sub-blocks at its last pixel take whatever follows for
// blocks of the file. The end code of 5-bit pixels, alone in a sub-block of its own, reads as 0x21,
// an extension that swallows the next frame in ImageMagick: every frame the codec writes ends in
// the sub-block of its last pixel. Among random rasters of every depth, a frame whose last code
// fills its sub-block to the end is found (run-length coded, whose codes stay narrow enough for
// the end code to fit a byte), and written before a second frame.
TEST_F(GifDecoders, AFrameEndsInTheSubBlockOfItsLastPixel) {
  std::mt19937 random(7);
  std::vector<uint8_t> filling;  // 5-bit pixels whose last code ends a full sub-block
  for (int n = 0; n < 40000 && (n < 3000 || filling.empty()); ++n) {
    const int bits = 2 + n % 7;
    std::vector<uint8_t> raster(static_cast<size_t>(200 + random() % 1800));
    for (uint8_t& p : raster) p = static_cast<uint8_t>(random() % (1u << bits));
    for (const TGIFCompression compression : {gcLZW, gcRLE}) {
      TMemoryStream stream;
      EncodeRaster(stream, raster.data(), static_cast<int>(raster.size()), 1, false, bits, 1 << bits, compression);
      std::vector<uint8_t> decoded(raster.size());
      stream.SetPosition(0);
      ASSERT_FALSE(DecodeRaster(stream, decoded.data(), static_cast<int>(raster.size()), 1, false, nullptr))
          << "depth " << bits << ", " << raster.size() << " pixels: a block follows the last pixel's sub-block";
      ASSERT_EQ(decoded, raster);
      // The sub-blocks: all but the last full, unless the last pixel's code ended one.
      const std::vector<uint8_t>& bytes = stream.Bytes();
      std::vector<int> lengths;
      for (size_t at = 1; at < bytes.size() && bytes[at] != 0; at += bytes[at] + 1u) lengths.push_back(bytes[at]);
      const bool shortened = lengths.size() >= 2 && lengths[lengths.size() - 2] < 255;
      if (shortened && bits == 5 && compression == gcRLE && filling.empty()) filling = raster;
    }
  }
  ASSERT_FALSE(filling.empty()) << "no raster's last code ended a full sub-block";

  TMemoryStream frame;
  EncodeRaster(frame, filling.data(), static_cast<int>(filling.size()), 1, false, 5, 32, gcRLE);
  GifBuilder b;
  b.Header(static_cast<int>(filling.size()), 1, 5).Gce(1, 10).Image(0, 0, static_cast<int>(filling.size()), 1);
  b.Bytes.insert(b.Bytes.end(), frame.Bytes().begin(), frame.Bytes().end());
  b.Gce(1, 20).Image(0, 0, 2, 1).Pixels(5, {4, 5}).Trailer();
  TempDir dir;
  const std::string file = dir.File("filled.gif");
  TempDir::Write(file, std::string(b.Bytes.begin(), b.Bytes.end()));
  for (const auto& [decoder, shown] : {std::pair{"Pillow", ShownByPillow(python_, {file})},
                                       {"ImageMagick", ShownByMagick(convert_, {file}, dir)}}) {
    EXPECT_EQ(shown.at(file).Error, "") << decoder;
    EXPECT_EQ(shown.at(file).Frames.size(), 2u) << decoder;
  }
}
