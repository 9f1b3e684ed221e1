// The GIF codec's whole-file loader on any bytes.
//
// Properties: loading ends, with the picture or a GIFException; every frame that loaded, coded
// again by both encoders at the smallest depth that holds its largest pixel, decodes to the same
// raster without a warning and ends in the sub-block of its last pixel; a picture that saves loads
// back with the same rasters, frame by frame; the screen composes; optimising what was saved (by
// one option or all, chosen by the input's size) leaves what other decoders show as it was, and
// saves, never into a larger file. Frames above 1 M pixels are only loaded (coding them again would
// take seconds), and only small pictures are optimised.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "gif/GifCompose.h"
#include "gif/GifItems.h"
#include "gif/gui/GifConvert.h"
#include "platform/core/MemoryStream.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/gif/GifDecoded.h"

namespace {

constexpr size_t MaxChecked = size_t{1} << 20;
constexpr size_t MaxOptimized = size_t{1} << 14;

void CheckCoding(const gif::TGIFSubImage& frame) {
  const std::vector<uint8_t>& raster = frame.Data();
  const uint8_t largest = *std::max_element(raster.begin(), raster.end());
  int bits = 1;
  while ((1 << bits) <= largest) ++bits;
  for (gif::TGIFCompression compression : {gif::gcLZW, gif::gcRLE}) {
    TMemoryStream stream;
    gif::EncodeRaster(stream, raster.data(), frame.Width(), frame.Height(), frame.Interlaced(), bits, 1 << bits,
                      compression);
    stream.SetPosition(0);
    std::vector<uint8_t> decoded(raster.size(), 0);
    bool warned = false;
    // Nothing after the sub-block of the last pixel reads as a block to a decoder that stops there.
    FUZZ_CHECK(!gif::DecodeRaster(stream, decoded.data(), frame.Width(), frame.Height(), frame.Interlaced(),
                                  [&](gif::TGIFSeverity, const std::string&) { warned = true; }));
    FUZZ_CHECK(!warned);
    FUZZ_CHECK(decoded == raster);
    FUZZ_CHECK(stream.GetPosition() == stream.GetSize());
  }
}

size_t Pixels(const gif::TGifPictureBase& image) {
  size_t pixels = 0;
  for (int i = 0; i < image.Images.Count(); ++i) pixels += image.Images[i].Data().size();
  return pixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  gif::TGifPictureBase image;
  TMemoryStream input(std::vector<uint8_t>(data, data + size));
  try {
    image.LoadFromStream(input);
  } catch (const gif::GIFException&) {
    // The frames loaded before the error stay and are checked too.
  }
  for (int i = 0; i < image.Images.Count(); ++i)
    if (!image.Images[i].Empty() && image.Images[i].Data().size() <= MaxChecked) CheckCoding(image.Images[i]);

  if (static_cast<int64_t>(image.Width()) * image.Height() <= static_cast<int64_t>(MaxChecked)) {
    gif::TGIFComposer composer(image);
    for (int i = 0; i < image.Images.Count(); ++i) composer.Draw(image.Images[i]);
  }

  const size_t pixels = Pixels(image);
  if (pixels > MaxChecked) return 0;
  TMemoryStream saved;
  try {
    image.SaveToStream(saved);
  } catch (const gif::GIFException&) {
    return 0;  // pixels outside the colour table, no frame, sizes beyond 16 bits
  }
  gif::TGifPictureBase again;
  saved.SetPosition(0);
  again.LoadFromStream(saved);
  // Every frame keeps its place; one without pixels comes back without, or as the one pixel that
  // stood in for it. Only frames without pixels and extensions at the end go.
  FUZZ_CHECK(again.Images.Count() <= image.Images.Count());
  for (int i = 0; i < again.Images.Count(); ++i) {
    const gif::TGIFSubImage &was = image.Images[i], &now = again.Images[i];
    if (was.Empty())
      FUZZ_CHECK(now.Empty() || now.Data().size() == 1);
    else
      FUZZ_CHECK(now.Data() == was.Data());
  }
  for (int i = again.Images.Count(); i < image.Images.Count(); ++i)
    FUZZ_CHECK(image.Images[i].Empty() && image.Images[i].Extensions.Count() == 0 && !image.Images[i].OutsideScreen);

  // As the picture class and gifcodec optimize load it: the screen holds every frame. A picture
  // of frames without an image and without extensions saves as none.
  gif::GrowScreen(again);
  if (again.Empty() || pixels > MaxOptimized || int64_t{again.Width()} * again.Height() > int64_t{MaxOptimized} ||
      again.Images.Count() > 64)
    return 0;
  using gif::test::Decoded;
  const gif::test::TDecoded stored = Decoded(again, gif::test::AsStored);
  const gif::test::TDecoded browsers = Decoded(again, gif::test::AsBrowsers);
  const gif::test::TDecoded inheriting = Decoded(again, gif::test::AsStored, true);
  constexpr unsigned options[] = {gif::ooColorMap, gif::ooCleanup, gif::ooMerge, gif::ooCrop, 0xF};
  gif::OptimizeFrames(again, options[size % std::size(options)], {});
  FUZZ_CHECK(Decoded(again, gif::test::AsStored) == stored);
  FUZZ_CHECK(Decoded(again, gif::test::AsBrowsers) == browsers);
  FUZZ_CHECK(Decoded(again, gif::test::AsStored, true) == inheriting);

  // An optimised file is never larger than the file it was made of.
  gif::TGifPictureBase file;
  try {
    FUZZ_CHECK(gif::OptimizeFile(file, saved.Bytes(), 0xF, {}).size() <= saved.Bytes().size());
  } catch (const gif::GIFException&) {
  }
  return 0;
}
