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
#include <QImage>
#include <QString>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gif/GifCompose.h"
#include "gif/GifItems.h"
#include "htmlview/HtmlGif.h"
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
  std::printf("screen %d %d loops %d\n", image.Width(), image.Height(), Loops(image));
  gif::TGIFComposer composer(image);
  int index = 0;
  for (int i = 0; i < image.Images.Count(); ++i) {
    const gif::TGIFSubImage& frame = image.Images[i];
    if (frame.Empty()) continue;  // extensions without an image draw nothing
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
    if (command == "encode" || command == "optimize") {
      std::fprintf(stderr, "gifcodec: %s is not built yet\n", command.c_str());
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argc > 2 ? argv[argc - 2] : "gifcodec", e.what());
    return 1;
  }
  return Usage();
}
