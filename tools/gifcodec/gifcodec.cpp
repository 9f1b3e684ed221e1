// gifcodec: whole-file checks of the GIF codec, for scripts.
//
//   gifcodec frames [--viewer] IN.gif OUTDIR
//   gifcodec encode [--delay MS] [--loops L] [--colors N] [--dither MODE] OUT.gif IN.png...
//   gifcodec optimize IN.gif OUT.gif
//
// frames decodes IN, writes each frame as the screen shows it after the frames before it
// (OUTDIR/frame-000.png ..., RGBA, transparent where nothing is drawn) and prints
// "screen W H loops L" (L: 0 for ever, -1 without a loop extension), then per frame
// "frame I left top width height delay-ms disposal transparent-index-or--1 interlaced-0-or-1".
// Warnings go to standard error; a file that cannot be decoded is an error there and exit 1.
// With --viewer the file is decoded by the HTML viewer's own decoder instead of the codec's.
//
// encode makes a frame of each picture, at (0, 0), through the codec's conversion: reduced to the
// 216-colour cube, or with --colors N (a power of two up to 256) to N colours made for the picture;
// --dither picks the error diffusion (0 none to 6); --delay is stored in hundredths of a second;
// --loops puts a loop extension on the first frame. Frames that share one colour table keep it
// once, as the global table. optimize crops, merges and cleans the frames and orders the colour
// tables, leaving the animation as it was. Both print "frames F bytes B".
#include <QImage>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gif/GifCompose.h"
#include "gif/GifItems.h"
#include "gif/gui/GifConvert.h"
#include "htmlview/images/HtmlGif.h"
#include "platform/core/Utf8.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: gifcodec frames [--viewer] IN.gif OUTDIR\n"
               "       gifcodec encode [--delay MS] [--loops L] [--colors N] [--dither MODE] OUT.gif IN.png...\n"
               "       gifcodec optimize IN.gif OUT.gif\n");
  return 2;
}

int Loops(const gif::TGifPictureBase& image) {
  for (int i = 0; i < image.Images.Count(); ++i)
    for (int e = 0; e < image.Images[i].Extensions.Count(); ++e)
      if (auto* loop = dynamic_cast<const gif::TGIFAppExtNSLoop*>(&image.Images[i].Extensions[e])) return loop->Loops;
  return -1;
}

int Frames(const std::string& in, const std::string& outDir) {
  gif::TGifPictureBase image;
  image.OnWarning = [&](gif::TGIFSeverity, const std::string& message) {
    std::fprintf(stderr, "%s: warning: %s\n", in.c_str(), message.c_str());
  };
  image.LoadFromFile(platform::Utf8ToUtf16(in));
  // A screen without a size takes the frames' size, as the picture's loading gives it.
  gif::GrowScreen(image);
  std::printf("screen %d %d loops %d\n", image.Width(), image.Height(), Loops(image));
  // Only a file whose frames all hold no pixel can leave the screen without a width or height.
  if (image.Width() == 0 || image.Height() == 0) throw Exception("no frame holds a pixel: nothing to show");
  gif::TGIFComposer composer(image);
  int index = 0;
  for (int i = 0; i < image.Images.Count(); ++i) {
    const gif::TGIFSubImage& frame = image.Images[i];
    // Extensions without an image draw nothing; an image outside the screen is a frame that
    // shows the screen as it is.
    if (frame.Empty() && !frame.OutsideScreen) continue;
    const std::vector<uint32_t>& screen = composer.Draw(frame);
    QImage png(composer.Width(), composer.Height(), QImage::Format_ARGB32);
    for (int y = 0; y < composer.Height(); ++y)
      std::memcpy(png.scanLine(y), screen.data() + static_cast<size_t>(y) * composer.Width(), 4 * composer.Width());
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%03d.png", index);
    if (!png.save(QString::fromStdString(outDir + name), "PNG")) throw Exception("cannot write " + outDir + name);
    const gif::TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
    const int transparent = gce && frame.HasTransparency ? gce->TransparentColorIndex() : -1;
    std::printf("frame %d %d %d %d %d %d %d %d %d\n", index, frame.Left(), frame.Top(), frame.Width(), frame.Height(),
                gce ? gce->Delay * 10 : 0, gce ? gce->Disposal() : 0, transparent, frame.Interlaced() ? 1 : 0);
    ++index;
  }
  return 0;
}

// The same lines and frames through the viewer's own decoder, whose strip holds every frame as
// the screen shows it after the frames before it.
int FramesViewer(const std::string& in, const std::string& outDir) {
  std::ifstream file(in, std::ios::binary);
  if (!file) throw Exception("cannot open " + in);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  htmlview::TGif gif;
  gif.LoadFromBytes(bytes);
  std::printf("screen %d %d loops %d\n", gif.ScreenWidth(), gif.ScreenHeight(), gif.LoopCount());
  const QImage strip = gif.GetStripBitmap();
  for (int i = 0; i < gif.ImageCount(); ++i) {
    const QImage png =
        strip.copy(i * gif.ScreenWidth(), 0, gif.ScreenWidth(), gif.ScreenHeight()).convertToFormat(QImage::Format_ARGB32);
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%03d.png", i);
    if (!png.save(QString::fromStdString(outDir + name), "PNG")) throw Exception("cannot write " + outDir + name);
    std::printf("frame %d %d %d %d %d %d %d %d %d\n", i, gif.Left(i), gif.Top(i), gif.Width(i), gif.Height(i),
                gif.FileDelay(i) * 10, gif.Disposal(i), gif.TransparentIndex(i), gif.Interlaced(i) ? 1 : 0);
  }
  return 0;
}

// A whole number from min to max, else a usage error naming the option.
bool Number(const char* text, long min, long max, long& value) {
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  return *text && *end == 0 && value >= min && value <= max;
}

void Warn(gif::TGifPictureBase& image, const std::string& name) {
  image.OnWarning = [name](gif::TGIFSeverity, const std::string& message) {
    std::fprintf(stderr, "%s: warning: %s\n", name.c_str(), message.c_str());
  };
}

int Saved(gif::TGifPictureBase& image, const std::string& out) {
  image.SaveToFile(platform::Utf8ToUtf16(out));
  std::ifstream file(out, std::ios::binary | std::ios::ate);
  if (!file) throw Exception("cannot read back " + out);
  std::printf("frames %d bytes %lld\n", image.Images.Count(), static_cast<long long>(file.tellg()));
  return 0;
}

int Encode(int argc, char** argv) {
  gif::TGifConvertSettings settings;
  long delay = -1, loops = -1;
  int i = 2;
  for (; i + 1 < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
    const std::string option = argv[i];
    long value = 0;
    if (option == "--delay" && Number(argv[i + 1], 0, 655350, value)) {
      delay = value;
    } else if (option == "--loops" && Number(argv[i + 1], 0, 65535, value)) {
      loops = value;
    } else if (option == "--colors" && Number(argv[i + 1], 2, 256, value) && (value & (value - 1)) == 0) {
      settings.ColorReduction = 7;
      settings.ReductionBits = 0;
      while ((1L << settings.ReductionBits) < value) ++settings.ReductionBits;
    } else if (option == "--dither" && Number(argv[i + 1], 0, 6, value)) {
      settings.DitherMode = static_cast<uint8_t>(value);
    } else {
      std::fprintf(stderr, "gifcodec: bad option %s %s\n", argv[i], argv[i + 1]);
      return Usage();
    }
  }
  if (argc - i < 2) return Usage();
  const std::string out = argv[i];
  std::vector<QImage> pictures;
  int width = 0, height = 0;
  for (int k = i + 1; k < argc; ++k) {
    QImage picture(QString::fromLocal8Bit(argv[k]));
    if (picture.isNull()) throw Exception(std::string("cannot read ") + argv[k]);
    width = std::max(width, picture.width());
    height = std::max(height, picture.height());
    pictures.push_back(std::move(picture));
  }

  gif::TGifPictureBase image;
  Warn(image, out);
  // The screen holds the largest picture from the start, so that no frame reaches beyond it.
  image.Header.Width = width;
  image.Header.Height = height;
  bool clear = false;  // a frame that does not cover all before it must be cleared away after it
  for (QImage& picture : pictures) {
    auto frame = std::make_unique<gif::TGIFSubImage>(&image);
    gif::AssignImage(*frame, picture, settings);
    picture = QImage();
    clear = clear || frame->HasTransparency || frame->Width() != width || frame->Height() != height;
    image.Images.Add(std::move(frame));
  }
  for (int k = 0; k < image.Images.Count(); ++k) {
    gif::TGIFSubImage& frame = image.Images[k];
    if (delay >= 0 || clear) {
      gif::TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
      if (!gce) {
        frame.Extensions.Add(std::make_unique<gif::TGIFGraphicControlExtension>(&frame));
        gce = frame.GraphicControlExtension();
      }
      if (delay >= 0) gce->Delay = static_cast<uint16_t>((delay + 5) / 10);
      if (clear && pictures.size() > 1) gce->SetDisposal(2);
    }
  }
  if (loops >= 0 && image.Images.Count() > 0) {
    auto loop = std::make_unique<gif::TGIFAppExtNSLoop>(&image.Images[0]);
    loop->Loops = static_cast<uint16_t>(loops);
    image.Images[0].Extensions.Add(std::move(loop));
  }
  // One table that every frame shares is written once, as the global one.
  bool shared = image.Images.Count() > 0;
  const gif::TGIFColorMap& first = image.Images[0].ColorMap;
  for (int k = 1; k < image.Images.Count() && shared; ++k) {
    const gif::TGIFColorMap& map = image.Images[k].ColorMap;
    shared = map.Count() == first.Count() && std::equal(map.Colors(), map.Colors() + map.Count(), first.Colors());
  }
  if (shared && first.Count() > 0) {
    image.Header.ColorMap.Assign(first);
    for (int k = 0; k < image.Images.Count(); ++k) image.Images[k].ColorMap.Clear();
  }
  return Saved(image, out);
}

// An optimised file never grows: where it would, the input's bytes are written as they are.
int Optimize(const std::string& in, const std::string& out) {
  std::ifstream file(in, std::ios::binary);
  if (!file) throw Exception("cannot open " + in);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  gif::TGifPictureBase image;
  Warn(image, in);
  // The file keeps the screen it names (the optimiser works on the screen that holds every frame).
  const std::vector<uint8_t> optimised =
      gif::OptimizeFile(image, bytes, gif::ooCrop | gif::ooMerge | gif::ooCleanup | gif::ooColorMap, {});
  std::ofstream written(out, std::ios::binary | std::ios::trunc);
  written.write(reinterpret_cast<const char*>(optimised.data()), static_cast<std::streamsize>(optimised.size()));
  written.close();
  if (!written) throw Exception("cannot write " + out);
  std::printf("frames %d bytes %zu\n", image.Images.Count(), optimised.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  try {
    if (command == "frames") {
      if (argc == 5 && std::string(argv[2]) == "--viewer") return FramesViewer(argv[3], argv[4]);
      if (argc != 4) return Usage();
      return Frames(argv[2], argv[3]);
    }
    if (command == "encode") return Encode(argc, argv);
    if (command == "optimize") {
      if (argc != 4) return Usage();
      return Optimize(argv[2], argv[3]);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argc > 2 ? argv[argc - 2] : "gifcodec", e.what());
    return 1;
  }
  return Usage();
}
