#pragma once
// The codec's colour reduction: true-colour pictures become 8-bit ones of at most 256 colours, on
// fixed palettes or one made for the picture, by nearest colour or with one of six error-diffusion
// filters. It stands on the colour reduction it shares with the viewer (dither/) and adds the
// lookups, ditherers, palettes and the writer that the codec needs.
#include <cstdint>
#include <memory>
#include <vector>

#include "dither/Dither.h"

namespace gif {

using htmlview::TColorLookup;
using htmlview::TDitherEngine;
using htmlview::TPalette;
using htmlview::TPaletteEntry;
using htmlview::TPixelFormat;

inline constexpr char sUnsupportedPixelFormat[] = "Unsupported PixelFormat";
inline constexpr char sInvalidImageDimensions[] = "Invalid image dimensions";

// The palette entry flag that keeps an entry from being matched to another (PC_NOCOLLAPSE).
inline constexpr uint8_t PC_NOCOLLAPSE = 4;

// Entry i is (i, i, i).
TPalette GrayScalePalette();
// 0, 128, 192, 255.
TPalette Gray4Palette();
// Black, white.
TPalette BlackWhitePalette();
// The screen's halftone palette: with no paletted screen, the 20 stock colours, then the colour cube.
TPalette HalftonePalette();
// For bitmap's pixels (read in the 24-bit format): with windows, 256 entries whose first and last
// ten are the stock colours and the 236 between them are made; otherwise colors entries.
// Entries the tree made no colour for stay black (and keep PC_NOCOLLAPSE). The bitmap is left as it is.
TPalette CreateOptimizedPaletteForSingleBitmap(const TBitmap& bitmap, int colors, int colorBits, bool windows);

// Nearest entry of a palette, by the squared distance of the colours; the first of equals wins.
class TSlowColorLookup : public TColorLookup {
public:
  // At most the first 256 entries are used.
  explicit TSlowColorLookup(const TPalette& palette);
  // With no colours, index 0 and black.
  uint8_t Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) override;

private:
  TPalette palette_;
};

// The index is the grey value of the colour.
class TGrayScaleLookup : public TColorLookup {
public:
  TGrayScaleLookup() : TColorLookup(256) {}
  uint8_t Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) override;
};

// Index 0 black, index 1 white, split at the middle grey.
class TMonochromeLookup : public TColorLookup {
public:
  TMonochromeLookup() : TColorLookup(2) {}
  uint8_t Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) override;
};

using TFloydSteinbergDitherer = htmlview::TFloydSteinbergEngine;

// One share of a pixel's error: rows ahead (0 this row), pixels ahead in the direction of work.
struct TErrorWeight {
  int Row;
  int Offset;
  int Weight;
};

// Error diffusion over a few rows: per channel, Rows rows of Width + 2 x Guard cells (pixel x at
// cell x + Guard), so that shares falling beyond the picture's sides land in guard cells. The rows
// rotate rather than move, and are allocated once.
class TErrorDiffusionDitherer : public TDitherEngine {
public:
  uint8_t Dither(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) override;
  void Skip() override;
  void NextLine() override;

protected:
  TErrorDiffusionDitherer(int width, TColorLookup& lookup, int rows, int guard, int divisor,
                          std::vector<TErrorWeight> weights);

private:
  int* Cell(int channel, int row, int cell) {
    return &cells_[static_cast<size_t>(order_[row] * 3 + channel) * static_cast<size_t>(stride_) +
                   static_cast<size_t>(cell)];
  }
  const int rows_, guard_, divisor_, stride_;
  const std::vector<TErrorWeight> weights_;
  std::vector<int> cells_;
  std::vector<int> order_;  // order_[k]: the storage of row k ahead of this one
  int pos_;                 // the cell of the pixel at Column
};

// Shares over this row and the next two, two pixels to either side.
class T5by3Ditherer : public TErrorDiffusionDitherer {
protected:
  T5by3Ditherer(int width, TColorLookup& lookup, int divisor, std::vector<TErrorWeight> weights)
      : TErrorDiffusionDitherer(width, lookup, 3, 2, divisor, std::move(weights)) {}
};

class TStuckiDitherer : public T5by3Ditherer {
public:
  TStuckiDitherer(int width, TColorLookup& lookup);
};

class TSierraDitherer : public T5by3Ditherer {
public:
  TSierraDitherer(int width, TColorLookup& lookup);
};

class TJaJuNiDitherer : public T5by3Ditherer {
public:
  TJaJuNiDitherer(int width, TColorLookup& lookup);
};

class TSteveArcheDitherer : public TErrorDiffusionDitherer {
public:
  TSteveArcheDitherer(int width, TColorLookup& lookup);
};

class TBurkesDitherer : public TErrorDiffusionDitherer {
public:
  TBurkesDitherer(int width, TColorLookup& lookup);
};

// Writes a new picture of width x height in the 8-bit format (colour table: the palette's entries,
// at most 256) or the 24-bit format; it goes into the bitmap when the writer is destroyed, unless
// no row was asked for.
class TDIBWriter : public htmlview::TDIB {
public:
  // Other formats raise "Unsupported PixelFormat"; a width or height below 1 raises
  // "Invalid image dimensions".
  TDIBWriter(TBitmap& bitmap, TPixelFormat pixelFormat, int width, int height, const TPalette& palette);
  ~TDIBWriter() override;
  // Row 0 is the top; a row outside the picture raises "Scan line index out of range".
  uint8_t* GetScanline(int row) override;

  const int Width, Height;

private:
  TPalette palette_;
  QImage image_;
};

// A new picture reduced from bitmap (read in the 24-bit format). Method: 0 a 24-bit copy; 1 the
// stock colours; 2 the halftone palette; 3 four greys; 4 black and white; 5 256 greys; 6 the colour
// cube; 7 a palette of 2^reductionBits colours made for the picture (bits 1 to 8, else an error
// naming them); 8 256 colours made for it, the stock colours kept; 9 palette (none: no colours).
// DitherMode: 0 nearest colour, 1 Floyd-Steinberg, 2 Stucki, 3 Sierra, 4 Jarvis-Judice-Ninke,
// 5 Stevenson-Arce, 6 Burkes. Any other method or mode, or a palette without colours, gives an
// empty picture. The bitmap is left as it is.
std::unique_ptr<TBitmap> ReduceColors(const TBitmap& bitmap, int method, int ditherMode, int reductionBits,
                                      const TPalette* palette);

}  // namespace gif
