// Writes a large animated GIF for the codec's benchmark (bench/gif.sh):
//
//   gen_gif PATH [FRAMES [WIDTH HEIGHT [SEED]]]     (defaults 200, 640 x 480, 1)
//
// Every frame covers the screen and mixes what real animations hold: flat bands, a tiled pattern,
// and a moving rectangle of 256-colour noise a third of the screen wide. The frames carry a delay
// and the file a loop extension. The same arguments always give the same bytes.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "gif/GifItems.h"
#include "platform/core/Utf8.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc == 4 || argc > 6) {
    std::fprintf(stderr, "usage: gen_gif PATH [FRAMES [WIDTH HEIGHT [SEED]]]\n");
    return 2;
  }
  const int frames = argc > 2 ? std::atoi(argv[2]) : 200;
  const int width = argc > 4 ? std::atoi(argv[3]) : 640, height = argc > 4 ? std::atoi(argv[4]) : 480;
  std::mt19937 random(argc > 5 ? static_cast<unsigned>(std::atoi(argv[5])) : 1u);
  try {
    gif::TGifPictureBase image;
    for (int i = 0; i < 256; ++i)
      image.Header.ColorMap.Add({static_cast<uint8_t>(i), static_cast<uint8_t>(i * 3), static_cast<uint8_t>(255 - i)});
    for (int n = 0; n < frames; ++n) {
      auto frame = std::make_unique<gif::TGIFSubImage>(&image);
      frame->SetBounds(0, 0, width, height);
      const int noiseLeft = (n * 7) % (width - width / 3), noiseTop = (n * 5) % (height - height / 3);
      for (int y = 0; y < height; ++y) {
        uint8_t* row = frame->Scanline(y);
        for (int x = 0; x < width; ++x) {
          if (x >= noiseLeft && x < noiseLeft + width / 3 && y >= noiseTop && y < noiseTop + height / 3)
            row[x] = static_cast<uint8_t>(random());
          else if (y < height / 2)
            row[x] = static_cast<uint8_t>((y / 40 + n) % 32);  // flat bands
          else
            row[x] = static_cast<uint8_t>(64 + (x / 8 + y / 8 + n) % 16);  // a tiled pattern
        }
      }
      auto gce = std::make_unique<gif::TGIFGraphicControlExtension>(frame.get());
      gce->Delay = 4;
      if (n == 0) frame->Extensions.Add(std::make_unique<gif::TGIFAppExtNSLoop>(frame.get()));
      frame->Extensions.Add(std::move(gce));
      image.Images.Add(std::move(frame));
    }
    image.SaveToFile(platform::Utf8ToUtf16(argv[1]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gen_gif: %s\n", e.what());
    return 1;
  }
  return 0;
}
