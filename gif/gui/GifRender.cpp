#include "gif/gui/GifRender.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/core/MulDiv.h"

namespace gif {

namespace {

void Progress(const TGIFSubImage& frame, TProgressStage stage, int percent) {
  if (frame.Image()) frame.Image()->Progress(stage, percent, sRendering);
}

// The transparent index, or -1 when the frame has none.
int TransparentIndex(const TGIFSubImage& frame) {
  const TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
  return frame.HasTransparency && gce ? gce->TransparentColorIndex() : -1;
}

void SetMaskBit(QImage& mask, int x, int y) { mask.scanLine(y)[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7)); }

QImage NewMask(int width, int height) {
  QImage mask(width, height, QImage::Format_Mono);
  if (mask.isNull()) throw htmlview::EOutOfMemory(htmlview::sOutOfMemDIB);
  mask.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  mask.fill(0);
  return mask;
}

// Plain: the raster's rows as they are. Returns the highest index written.
int WriteRows(const TGIFSubImage& frame, TDIBWriter& writer, int transparent, QImage* mask, bool& anyMasked) {
  const int width = frame.Width(), height = frame.Height();
  int highest = 0;
  for (int y = 0; y < height; ++y) {
    if (y % 32 == 0) Progress(frame, psRunning, MulDiv(y, 100, height));
    const uint8_t* from = frame.Data().data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    std::memcpy(writer.GetScanline(y), from, static_cast<size_t>(width));
    highest = std::max<int>(highest, *std::max_element(from, from + width));
    if (!mask) continue;
    for (int x = 0; x < width; ++x)
      if (from[x] == transparent) SetMaskBit(*mask, x, y), anyMasked = true;
  }
  return highest;
}

// Dithered to the web palette from the frame's active colour map, serpentine. A transparent
// pixel is passed over: the mask hides it, and its colour must not spread into its neighbours.
void DitherRows(const TGIFSubImage& frame, TDIBWriter& writer, int transparent, QImage* mask, bool& anyMasked) {
  const int width = frame.Width(), height = frame.Height();
  const TGIFColorMap& map = frame.ActiveColorMap();
  TGIFColor colors[256] = {};
  std::copy(map.Colors(), map.Colors() + map.Count(), colors);
  htmlview::TNetscapeColorLookup lookup;
  TFloydSteinbergDitherer ditherer(width, lookup);
  uint8_t fill = 0;
  if (mask && transparent >= 0) {
    const TGIFColor c = colors[transparent];
    // Near the cube entry of the transparent colour, and always inside the 216-entry table.
    fill = static_cast<uint8_t>(MulDiv(36, c.Red, 51) + MulDiv(6, c.Green, 51) + c.Blue / 51);
  }
  uint8_t r, g, b;
  for (int y = 0; y < height; ++y) {
    if (y % 32 == 0) Progress(frame, psRunning, MulDiv(y, 100, height));
    const uint8_t* from = frame.Data().data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    uint8_t* to = writer.GetScanline(y);
    if (mask) std::memset(to, fill, static_cast<size_t>(width));
    for (int i = 0; i < width; ++i) {
      const int x = ditherer.Column;
      const uint8_t pixel = from[x];
      if (mask && pixel == transparent) {
        SetMaskBit(*mask, x, y);
        anyMasked = true;
        ditherer.Skip();
        continue;
      }
      const TGIFColor c = colors[pixel];
      to[x] = ditherer.Dither(c.Red, c.Green, c.Blue, r, g, b);
    }
    ditherer.NextLine();
  }
}

}  // namespace

const QImage& TGIFRendering::Masked() {
  if (masked_.isNull() && Bitmap) {
    masked_ = Bitmap->Image().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (!Mask.isNull()) {
      for (int y = 0; y < masked_.height(); ++y) {
        const uint8_t* bits = Mask.constScanLine(y);
        auto* row = reinterpret_cast<QRgb*>(masked_.scanLine(y));
        for (int x = 0; x < masked_.width(); ++x)
          if (bits[x >> 3] & (0x80 >> (x & 7))) row[x] = 0;
      }
    }
  }
  return masked_;
}

TPalette ColorMapPalette(const TGIFColorMap& map) {
  TPalette palette(static_cast<size_t>(map.Count()));
  for (int i = 0; i < map.Count(); ++i) {
    const TGIFColor c = map.Colors()[i];
    palette[static_cast<size_t>(i)] = TPaletteEntry{c.Red, c.Green, c.Blue, 0};
  }
  return palette;
}

std::unique_ptr<TGIFRendering> RenderFrame(const TGIFSubImage& frame, const TPalette& palette, bool dither) {
  if (frame.Empty()) return nullptr;
  Progress(frame, psStarting, 0);
  bool failed = true;
  struct TEnding {
    const TGIFSubImage& frame;
    bool& failed;
    ~TEnding() { Progress(frame, psEnding, failed ? 0 : 100); }
  } ending{frame, failed};

  auto rendering = std::make_unique<TGIFRendering>();
  rendering->Bitmap = std::make_unique<TBitmap>();
  const int transparent = TransparentIndex(frame);
  QImage mask;
  if (transparent >= 0) mask = NewMask(frame.Width(), frame.Height());
  bool anyMasked = false;
  int highest = 0;
  {
    TDIBWriter writer(*rendering->Bitmap, htmlview::pf8bit, frame.Width(), frame.Height(),
                      dither ? htmlview::WebPalette() : palette);
    if (dither)
      DitherRows(frame, writer, transparent, transparent >= 0 ? &mask : nullptr, anyMasked);
    else
      highest = WriteRows(frame, writer, transparent, transparent >= 0 ? &mask : nullptr, anyMasked);
  }
  // Indices beyond the table show black, as the compositor shows them.
  QImage& image = rendering->Bitmap->Image();
  if (highest >= image.colorCount()) {
    QList<QRgb> table = image.colorTable();
    while (table.size() <= highest) table.append(qRgb(0, 0, 0));
    image.setColorTable(table);
  }
  if (anyMasked) rendering->Mask = std::move(mask);
  failed = false;
  return rendering;
}

TRect ScaleRect(const TGIFSubImage& frame, const TRect& dest) {
  const int screenWidth = frame.Image() ? frame.Image()->Width() : frame.Width();
  const int screenHeight = frame.Image() ? frame.Image()->Height() : frame.Height();
  return {dest.Left + MulDiv(frame.Left(), dest.Width(), screenWidth),
          dest.Top + MulDiv(frame.Top(), dest.Height(), screenHeight),
          dest.Left + MulDiv(frame.Left() + frame.Width(), dest.Width(), screenWidth),
          dest.Top + MulDiv(frame.Top() + frame.Height(), dest.Height(), screenHeight)};
}

TRect Intersection(const TRect& a, const TRect& b) {
  const TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
                std::min(a.Bottom, b.Bottom)};
  return r.Width() > 0 && r.Height() > 0 ? r : TRect{};
}

void ForEachTile(const TGIFSubImage& frame, const TRect& rect, const TRect& visible,
                 const std::function<void(const TRect& tile)>& f) {
  if (visible.Width() <= 0 || visible.Height() <= 0) return;
  const int64_t stepX = frame.Image() ? frame.Image()->Width() : 0;
  const int64_t stepY = frame.Image() ? frame.Image()->Height() : 0;
  // The first tile that reaches into visible, along one axis: tiles start at origin + k * step
  // and are size long.
  const auto first = [](int64_t origin, int64_t size, int64_t step, int64_t from) {
    if (step <= 0 || origin + size > from) return origin;
    return origin + ((from - size - origin) / step + 1) * step;
  };
  const int64_t endX = std::min(rect.Right, visible.Right), endY = std::min(rect.Bottom, visible.Bottom);
  const int64_t x0 = first(int64_t{rect.Left} + frame.Left(), frame.Width(), stepX, visible.Left);
  for (int64_t y = first(int64_t{rect.Top} + frame.Top(), frame.Height(), stepY, visible.Top); y < endY; y += stepY) {
    for (int64_t x = x0; x < endX; x += stepX) {
      f({static_cast<int>(x), static_cast<int>(y), static_cast<int>(x + frame.Width()),
         static_cast<int>(y + frame.Height())});
      if (stepX <= 0) break;
    }
    if (stepY <= 0) break;
  }
}

namespace {

// The part shown of image scaled into dest, by the nearest pixel: the pixel of dest's column x
// (counted from dest.Left) is the source column whose middle lies nearest (2x + 1) / 2 x sw / dw.
QImage ScaledPart(const QImage& image, const TRect& dest, const TRect& shown) {
  const QImage source = image.depth() == 8 || image.depth() == 32
                            ? image
                            : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const int bytes = source.depth() / 8;
  QImage part(shown.Width(), shown.Height(), source.format());
  if (part.isNull()) throw htmlview::EOutOfMemory(htmlview::sOutOfMemDIB);
  if (bytes == 1) part.setColorTable(source.colorTable());
  const int64_t sw = source.width(), sh = source.height(), dw = dest.Width(), dh = dest.Height();
  std::vector<int> columns(static_cast<size_t>(shown.Width()));
  for (int x = 0; x < shown.Width(); ++x)
    columns[static_cast<size_t>(x)] = static_cast<int>((2 * int64_t{shown.Left - dest.Left + x} + 1) * sw / (2 * dw));
  for (int y = 0; y < shown.Height(); ++y) {
    const int64_t sy = (2 * int64_t{shown.Top - dest.Top + y} + 1) * sh / (2 * dh);
    const uint8_t* from = source.constScanLine(static_cast<int>(sy));
    uint8_t* to = part.scanLine(y);
    if (bytes == 1) {
      for (int x = 0; x < shown.Width(); ++x) to[x] = from[columns[static_cast<size_t>(x)]];
    } else {
      auto* out = reinterpret_cast<uint32_t*>(to);
      const auto* in = reinterpret_cast<const uint32_t*>(from);
      for (int x = 0; x < shown.Width(); ++x) out[x] = in[columns[static_cast<size_t>(x)]];
    }
  }
  return part;
}

}  // namespace

void TransparentStretchBlt(TCanvas& canvas, const TRect& dest, const QImage& image) {
  if (dest.Width() <= 0 || dest.Height() <= 0 || image.isNull()) return;
  if (dest.Width() == image.width() && dest.Height() == image.height()) {
    canvas.DrawImage(dest.Left, dest.Top, image);
    return;
  }
  const TRect shown = Intersection(dest, canvas.VisibleRect());
  if (shown.Width() <= 0) return;
  CheckFrameSize(shown.Width(), shown.Height());
  canvas.DrawImage(shown.Left, shown.Top, ScaledPart(image, dest, shown));
}

void StretchDraw(TCanvas& canvas, TGIFRendering& rendering, const TGIFSubImage& frame, const TRect& rect,
                 bool transparent, bool tile) {
  if (!rendering.Bitmap) return;
  const bool masked = transparent && frame.HasTransparency && !rendering.Mask.isNull();
  const QImage& image = masked ? rendering.Masked() : rendering.Bitmap->Image();
  if (tile) {
    ForEachTile(frame, rect, canvas.VisibleRect(), [&](const TRect& t) { canvas.DrawImage(t.Left, t.Top, image); });
    return;
  }
  TransparentStretchBlt(canvas, rect, image);
}

}  // namespace gif
