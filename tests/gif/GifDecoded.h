#pragma once
// A picture as other decoders show its saved file, for checks that optimising changes nothing
// there: extensions with no image after them apply to nothing, every image stays for its delay as
// a player reads it (in hundredths). The screens in order, each with how long it stays, neighbours
// that show the same screen joined; a screen that is all there is stays for ever.
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "gif/GifCompose.h"
#include "gif/GifItems.h"
#include "tests/gif/GifBuilder.h"

namespace gif::test {

using TDecoded = std::vector<std::pair<std::vector<uint32_t>, int>>;

// Delays as files store them, and as browsers play them (0 and 1 as 10).
inline int AsStored(int delay) { return delay; }
inline int AsBrowsers(int delay) { return delay <= 1 ? 10 : delay; }

// inherit: an image without a control block takes the delay and disposal of the last block before
// it (of a frame with several, its last), as ImageMagick reads a file; others give it none.
inline TDecoded Decoded(TGifPictureBase& picture, int (*delayOf)(int), bool inherit = false) {
  // Only the last frame is saved without an image when it has none and had none in its file (the
  // others keep a pixel that stands in for them): its extensions then stand before the trailer.
  const int frames = picture.Images.Count();
  const bool trailing = frames > 0 && picture.Images[frames - 1].Empty() &&
                        !picture.Images[frames - 1].OutsideScreen && picture.Images[frames - 1].Extensions.Count() > 0;
  TGifPictureBase file;
  Load(file, Saved(picture));
  const TGIFGraphicControlExtension* last = nullptr;
  for (int i = 0; inherit && i < file.Images.Count(); ++i) {
    TGIFSubImage& frame = file.Images[i];
    if (frame.GraphicControlExtension()) {
      last = frame.GraphicControlExtensions().back();
    } else if (last) {
      auto gce = std::make_unique<TGIFGraphicControlExtension>(&frame);
      gce->Delay = last->Delay;
      gce->SetDisposal(last->Disposal());
      frame.Extensions.Add(std::move(gce));
    }
  }
  TDecoded decoded;
  TGIFComposer composer(file);
  const int count = file.Images.Count();
  for (int i = 0; i < count; ++i) {
    const TGIFSubImage& frame = file.Images[i];
    if (i == count - 1 && trailing) break;
    const TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
    const int delay = delayOf(gce ? gce->Delay : 0);
    const std::vector<uint32_t>& screen = composer.Draw(frame);
    if (!decoded.empty() && decoded.back().first == screen)
      decoded.back().second += delay;
    else
      decoded.emplace_back(screen, delay);
  }
  if (decoded.size() == 1) decoded[0].second = 0;
  return decoded;
}

}  // namespace gif::test
