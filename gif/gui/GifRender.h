#pragma once
// A frame on screen: its palette indices rendered into an 8-bit bitmap on the frame's palette (or
// dithered to the web palette), with a 1-bit mask of its transparent pixels; and its drawing,
// scaled into a rectangle or tiled at the logical screen's steps, opaque or through the mask.
#include <QImage>
#include <functional>
#include <memory>

#include "gif/GifItems.h"
#include "gif/gui/GifReduce.h"
#include "platform/gui/Graphics.h"

namespace gif {

inline constexpr char sRendering[] = "Rendering...";

struct TGIFRendering {
  // 8 bits a pixel; its colour table is the palette, grown with black to the highest index used.
  std::unique_ptr<TBitmap> Bitmap;
  // 1 bit a pixel (QImage::Format_Mono, most significant bit first): 1 marks a transparent pixel.
  // Null when the frame has no transparency or no pixel has its transparent index.
  QImage Mask;
  // The bitmap with the mask's pixels clear, for drawing through the mask; made on first need.
  const QImage& Masked();

 private:
  QImage masked_;
};

// The colours of a colour map.
TPalette ColorMapPalette(const TGIFColorMap& map);

// Renders a frame that is not empty on palette, or, with dither, Floyd-Steinberg dithered from its
// active colour map to the web palette. The mask is made when the frame has transparency. Reports
// "Rendering..." progress through the frame's picture, ending also when the rendering fails.
std::unique_ptr<TGIFRendering> RenderFrame(const TGIFSubImage& frame, const TPalette& palette, bool dither);

// The frame's rectangle when the whole logical screen fills dest.
TRect ScaleRect(const TGIFSubImage& frame, const TRect& dest);
// The overlap of two rectangles; empty (all 0) when they do not overlap.
TRect Intersection(const TRect& a, const TRect& b);
// The frame's tiles over rect that reach into visible: from the frame's position in rect, at steps
// of the logical screen. A screen of no width or height steps by nothing: the first tile only.
void ForEachTile(const TGIFSubImage& frame, const TRect& rect, const TRect& visible,
                 const std::function<void(const TRect& tile)>& f);

// The rendering into rect (the frame's tiles with tile): through the mask with transparent and a
// mask, else opaque. Scaling picks the nearest pixel. Only what the canvas shows is made.
void StretchDraw(TCanvas& canvas, TGIFRendering& rendering, const TGIFSubImage& frame, const TRect& rect,
                 bool transparent, bool tile);
// Draws image (pixels with alpha, clear ones keeping the destination) scaled into dest, nearest
// pixel; only the part of dest that the canvas shows is scaled.
void TransparentStretchBlt(TCanvas& canvas, const TRect& dest, const QImage& image);

}  // namespace gif
