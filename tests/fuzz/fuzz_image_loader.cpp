// The viewer's image loader on any bytes, as each kind of picture.
//
// The first byte picks the kind: 0 the bytes as they are, 1 to 4 the signature of GIF, PNG, BMP
// or JPEG put before them (the loader dispatches by signature, so every decoder sees every
// input). Properties: loading ends, with an image, nothing, or a decoder's exception; an image
// has a size within the allocation limit; a mask has the image's size; the image draws
// stretched, and a one-pixel side enlarges for tiling.
#include <QImage>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "htmlview/images/HtmlImages.h"
#include "platform/core/MemoryStream.h"
#include "platform/gui/Graphics.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = [] {
    htmlview::InitializeGDIPlus();
    return true;
  }();
  (void)started;
  if (size == 0) return 0;
  static const std::vector<uint8_t> signatures[] = {
      {}, {'G', 'I', 'F', '8'}, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, {'B', 'M'}, {0xFF, 0xD8}};
  const auto& signature = signatures[data[0] % 5];
  std::vector<uint8_t> bytes(signature);
  bytes.insert(bytes.end(), data + 1, data + size);

  for (htmlview::TTransparency asked : {htmlview::NotTransp, htmlview::LLCorner}) {
    TMemoryStream stream(bytes);
    htmlview::TTransparency transparent = asked;
    std::unique_ptr<TBitmap> mask;
    std::unique_ptr<htmlview::THtImage> image;
    try {
      image = htmlview::LoadImageFromStream(&stream, transparent, mask);
    } catch (const Exception&) {
      continue;
    }
    if (!image) {
      FUZZ_CHECK(!mask);
      continue;
    }
    const int w = htmlview::GetImageWidth(image.get()), h = htmlview::GetImageHeight(image.get());
    FUZZ_CHECK(w >= 0 && h >= 0);
    FUZZ_CHECK(int64_t{w} * h * 4 <= 2 * htmlview::ImageAllocationLimit);
    if (mask) FUZZ_CHECK(mask->Width() == w && mask->Height() == h);
    QImage target(20, 20, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::white);
    {
      TCanvas canvas(&target);
      htmlview::DrawImageStretched(canvas, *image, 1, 2, 17, 9);
    }
    if ((w == 1 || h == 1) && !image->Gif()) {
      auto big = htmlview::EnlargeImage(*image, 37, 5);
      const int64_t ew = w == 1 ? 37 : w, eh = h == 1 ? 5 : h;
      // A strip that would pass the allocation limit keeps its own size.
      const bool kept = ew * eh * 4 > htmlview::ImageAllocationLimit;
      FUZZ_CHECK(big->Width() == (kept ? w : ew) && big->Height() == (kept ? h : eh));
    }
  }
  return 0;
}
