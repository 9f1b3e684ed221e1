#pragma once
// Colour reduction shared by the viewer and the GIF codec: 8-bit pictures on a fixed or optimised
// palette, by nearest colour or with the error spread (Floyd-Steinberg) in serpentine order.
// Pictures are TBitmaps over QImage; 24-bit rows are blue, green, red (QImage::Format_BGR888)
// and 8-bit rows index a colour table (QImage::Format_Indexed8).
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "platform/core/Exception.h"
#include "platform/gui/Graphics.h"

namespace htmlview {

// The class library's pixel formats, in its order (the codec stores them as numbers).
enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// The screen's colour depth: Qt screens are true colour, so the viewer's copies keep the
// viewer's palette rather than the stock colours.
inline constexpr uint8_t ScreenColorBits = 24;

struct TPaletteEntry {
  uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
  bool operator==(const TPaletteEntry&) const = default;
};

// The viewer's 256 colours, for colour reduction: the stock colours at both ends, a 6x6x6 cube,
// greys and one near-white.
const std::array<TPaletteEntry, 256>& ViewerPaletteEntries();

using TPalette = std::vector<TPaletteEntry>;

class EInvalidGraphic : public Exception {
public:
  using Exception::Exception;
};
class EInvalidGraphicOperation : public Exception {
public:
  using Exception::Exception;
};
class EOutOfMemory : public Exception {
public:
  using Exception::Exception;
};

inline constexpr char sInvalidBitmap[] = "Bitmap image is not valid";
inline constexpr char sInvalidPixelFormat[] = "Invalid pixel format";
inline constexpr char sOutOfMemDIB[] = "Failed to allocate memory for GIF DIB";
inline constexpr char sScanLine[] = "Scan line index out of range";

// The format of bitmap's pixels; Qt has no device-dependent bitmaps, so never pfDevice.
TPixelFormat GetPixelFormat(const TBitmap& bitmap);
// Converts bitmap's pixels to format (1 bit: Format_Mono, 8 bits: Format_Indexed8, 24 bits:
// Format_BGR888, ...). There is no 4-bit image: pf4bit, pfDevice and pfCustom raise
// "Invalid pixel format".
void SetPixelFormat(TBitmap& bitmap, TPixelFormat format);
// As SetPixelFormat, except that the 8-bit format gives a blank picture of the same size (index
// 0 everywhere, a colour table of 256 black entries) rather than quantising the old pixels.
void SafeSetPixelFormat(TBitmap& bitmap, TPixelFormat format);

// Bytes of a row of pixels bits deep, padded to alignment bits.
int64_t BytesPerScanline(int64_t pixelsPerScanline, int bitsPerPixel, int alignment);

// The stock default palette: the first and last ten entries of the viewer's palette.
TPalette StockPalette();
// The 216-colour cube, red slowest and blue fastest, levels 0, 51 ... 255.
TPalette WebPalette();

class TDIB {
public:
  TDIB(TBitmap& bitmap, TPixelFormat pixelFormat) : Bitmap(bitmap), PixelFormat(pixelFormat) {}
  virtual ~TDIB() = default;
  TDIB(const TDIB&) = delete;
  TDIB& operator=(const TDIB&) = delete;
  // Row 0 is the top; a row outside the picture raises "Scan line index out of range".
  virtual uint8_t* GetScanline(int row) = 0;

  TBitmap& Bitmap;
  const TPixelFormat PixelFormat;
};

// Reads the bitmap's own rows, after converting the bitmap to pixelFormat. Rows are read, never
// written through: they may be shared with other copies of the picture, which reading leaves whole.
class TDIBReader : public TDIB {
public:
  TDIBReader(TBitmap& bitmap, TPixelFormat pixelFormat);
  uint8_t* GetScanline(int row) override;
};

// Writes into a copy of the bitmap (1, 8 or 24 bits), made on the first GetScanline, that goes
// back into the bitmap when the writer is destroyed. The copy's colour table has 2^bits entries:
// the bitmap's own first, black after them.
class TDIBWriter : public TDIB {
public:
  TDIBWriter(TBitmap& bitmap, TPixelFormat pixelFormat) : TDIB(bitmap, pixelFormat) {}
  ~TDIBWriter() override;
  uint8_t* GetScanline(int row) override;

private:
  void CreateDIB();
  QImage copy_;
};

class TColorLookup {
public:
  explicit TColorLookup(int colors) : Colors(colors) {}
  virtual ~TColorLookup() = default;
  // The palette index nearest to (red, green, blue); r, g, b receive that entry's colour.
  virtual uint8_t Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) = 0;
  int Colors;

protected:
  // The index of the first of palette's entries nearest to (red, green, blue), by
  // distance(dr, dg, db) of the channel differences; 0 for no entries.
  template <class Distance>
  static size_t Nearest(const TPalette& palette, uint8_t red, uint8_t green, uint8_t blue, Distance distance) {
    size_t best = 0;
    int bestDistance = 3 * 256 * 256;
    for (size_t i = 0; i < palette.size(); ++i) {
      const TPaletteEntry& e = palette[i];
      const int d = distance(e.peRed - red, e.peGreen - green, e.peBlue - blue);
      if (d < bestDistance) {
        bestDistance = d;
        best = i;
      }
    }
    return best;
  }
  // Entry index of palette as a lookup's answer; with no entries, index 0 and black.
  static uint8_t Answer(const TPalette& palette, size_t index, uint8_t& r, uint8_t& g, uint8_t& b) {
    if (palette.empty()) {
      r = g = b = 0;
      return 0;
    }
    const TPaletteEntry& e = palette[index];
    r = e.peRed;
    g = e.peGreen;
    b = e.peBlue;
    return static_cast<uint8_t>(index);
  }
};

// Nearest by the sum of the channel differences, remembered per colour of 5 bits a channel.
class TFastColorLookup : public TColorLookup {
public:
  // At most the first 256 entries of palette are used.
  explicit TFastColorLookup(const TPalette& palette);
  // With no colours at all, index 0 and black.
  uint8_t Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) override;

  static int Key(uint8_t red, uint8_t green, uint8_t blue) {
    return (red >> 3) | ((green >> 3) << 5) | ((blue >> 3) << 10);
  }

private:
  TPalette palette_;
  std::vector<uint16_t> cache_;
};

// The entries of WebPalette.
class TNetscapeColorLookup : public TColorLookup {
public:
  TNetscapeColorLookup() : TColorLookup(216) {}
  uint8_t Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) override;
};

// Nearest colour, rows worked alternately left to right and right to left: the caller takes the
// pixel at Column before each Dither, and calls NextLine after each row.
class TDitherEngine {
public:
  TDitherEngine(int width, TColorLookup& lookup) : Lookup(lookup), Width(width) {}
  virtual ~TDitherEngine() = default;
  TDitherEngine(const TDitherEngine&) = delete;
  TDitherEngine& operator=(const TDitherEngine&) = delete;
  virtual uint8_t Dither(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b);
  // Passes over the pixel at Column (one that is not drawn): no error comes from it, and the
  // error meant for it is dropped.
  virtual void Skip();
  virtual void NextLine();

  int Direction = 1;
  int Column = 0;
  TColorLookup& Lookup;
  const int Width;
};

class TFloydSteinbergEngine : public TDitherEngine {
public:
  TFloydSteinbergEngine(int width, TColorLookup& lookup);
  uint8_t Dither(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) override;
  void Skip() override;
  void NextLine() override;

private:
  // Hands on the pixel's error e of each channel, and moves to the next pixel.
  void Spread(const int (&e)[3]);
  // Per channel (red, green, blue), errors in sixteenths: the error row of Width + 2 cells (pixel
  // x at cell x + 1) holds the row above's errors ahead of Pos and the next row's behind it. Pos
  // is the cell behind the pixel being worked on; it is written only when that pixel's error is
  // known, the last of the three that reach it.
  struct TChannel {
    std::vector<int> Row;
    int Pos = 0;
    int Running = 0;      // for the next pixel of this row
    int Pending = 0;      // collected so far for the cell at Pos
    int PendingNext = 0;  // collected so far for the cell at Pos + Direction
  };
  TChannel channels_[3];
};

struct TOctreeNode {
  bool IsLeaf = false;
  uint64_t PixelCount = 0;
  uint64_t RedSum = 0, GreenSum = 0, BlueSum = 0;
  TOctreeNode* Next = nullptr;
  TOctreeNode* Child[8] = {};
};

// Builds a palette of at most MaxColors colours for the pixels added to it.
class TColorQuantizer {
public:
  // colorBits is the depth of the tree, at most 8.
  TColorQuantizer(int maxColors, int colorBits);
  TColorQuantizer(const TColorQuantizer&) = delete;
  TColorQuantizer& operator=(const TColorQuantizer&) = delete;

  void AddColor(uint8_t red, uint8_t green, uint8_t blue);
  // Every pixel of a reader in the 24-bit format.
  void ProcessImage(TDIB& image);
  // The leaves' colours, depth first.
  TPalette GetColorTable() const;

  TOctreeNode* Tree = nullptr;
  int LeafCount = 0;
  TOctreeNode* ReducibleNodes[9] = {};
  const int MaxColors;
  const int ColorBits;

private:
  TOctreeNode* NewNode(int level);
  void ReduceTree();
  void Collect(const TOctreeNode* node, TPalette& colors) const;
  // Nodes are reused, not freed, so that adding pixels allocates only while the tree grows.
  std::deque<TOctreeNode> nodes_;
  std::vector<TOctreeNode*> free_;
};

// A palette for bitmap's pixels (read in the 24-bit format): with windows, 256 entries whose
// first and last ten are the stock colours and the 236 between them are made; otherwise colors
// entries (1 to 256), all made. Entries the tree has no colour for stay black. The bitmap is
// left as it is.
TPalette CreateOptimizedPaletteForSingleBitmap(const TBitmap& bitmap, int colors, int colorBits, bool windows);

// A new picture of bitmap's size. Reduction: 0 a 24-bit copy; 1 the stock colours; 3 the colour
// cube; 4 the viewer's palette; 5 a palette made for bitmap, the stock colours kept. Any other
// reduction has no colours and leaves the picture at index 0. DitherMode: 1 Floyd-Steinberg,
// anything else nearest colour. The source is read in the 24-bit format from a copy of its own:
// the caller's bitmap is left as it is.
std::unique_ptr<TBitmap> ReduceColors(const TBitmap& bitmap, int reduction, int ditherMode);

// A bitmap that shares source's pixels, for readers that convert what they read (TDIBReader):
// the conversion makes new pixels of the copy's own.
std::unique_ptr<TBitmap> ReadingCopy(const TBitmap& source);

// Every row of source (24 bits, blue-green-red) through engine into the 8-bit rows of target, in
// the order the engine walks each row.
void DitherRows(TDIB& source, TDIB& target, TDitherEngine& engine, int width, int height);

// The viewer's 8-bit copy of a picture: nothing for no picture or an empty one; otherwise
// Floyd-Steinberg on the viewer's palette (the stock colours on screens below 8 bits).
std::unique_ptr<TBitmap> GetPalettizedCopy(TBitmap* graphic);

}  // namespace htmlview
