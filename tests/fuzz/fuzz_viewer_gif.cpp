// The viewer's GIF decoder and animated picture on any bytes.
//
// Properties: loading ends, with a picture or the decoder's exception; the strip holds one
// screen-sized slot per frame; a few animation steps on a clock that the target moves keep the
// current frame among the frames; the frame drawn, stretched, stays inside its canvas.
#include <QImage>
#include <cstdint>
#include <memory>

#include "htmlview/images/HtmlGif.h"
#include "platform/core/Clock.h"
#include "platform/core/MemoryStream.h"
#include "platform/gui/Graphics.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

int64_t fakeNow = 0;
int64_t FakeClock() { return fakeNow; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const platform::TClockSource installed = platform::SetClockSource(FakeClock);
  (void)installed;
  fakeNow = 0;
  TMemoryStream stream(std::vector<uint8_t>(data, data + size));
  std::unique_ptr<htmlview::TViewerGifPicture> gif;
  try {
    gif = htmlview::TViewerGifPicture::CreateAGifFromStream(stream);
  } catch (const Exception&) {
    return 0;
  }
  FUZZ_CHECK(gif->NumFrames >= 1);
  FUZZ_CHECK(gif->Width >= 0 && gif->Height >= 0);
  if (!gif->Strip.isNull()) {
    FUZZ_CHECK(gif->Strip.width() == gif->Width * gif->NumFrames);
    FUZZ_CHECK(gif->Strip.height() == gif->Height);
  }

  QImage target(24, 16, QImage::Format_ARGB32_Premultiplied);
  target.fill(Qt::white);
  TCanvas canvas(&target);
  int invalidated = 0;
  gif->SetAnimate(true);
  for (int step = 0; step < 6; ++step) {
    fakeNow += step == 3 ? 100000 : 40;
    gif->CheckTime([&](const QRect&) { ++invalidated; });
    FUZZ_CHECK(gif->CurrentFrame() >= 1 && gif->CurrentFrame() <= gif->NumFrames);
    gif->Draw(canvas, step - 2, 1, 20 + step, 12);
  }
  gif->SetCurrentFrame(gif->NumFrames + 1);
  FUZZ_CHECK(gif->CurrentFrame() >= 1 && gif->CurrentFrame() <= gif->NumFrames);
  const QImage frame = gif->FrameImage();
  if (!gif->Strip.isNull()) FUZZ_CHECK(frame.width() == gif->Width && frame.height() == gif->Height);
  gif->Draw(canvas, 0, 0, 24, 16);
  canvas.Release();
  FUZZ_CHECK(target.width() == 24 && target.height() == 16);
  return 0;
}
