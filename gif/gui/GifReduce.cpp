#include "gif/gui/GifReduce.h"

#include <algorithm>
#include <initializer_list>
#include <string>

#include "gif/GifErrors.h"

namespace gif {

namespace {

TPalette Greys(std::initializer_list<uint8_t> levels) {
  TPalette palette;
  palette.reserve(levels.size());
  for (uint8_t v : levels) palette.push_back({v, v, v, PC_NOCOLLAPSE});
  return palette;
}

}  // namespace

TPalette GrayScalePalette() {
  TPalette palette(256);
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<uint8_t>(i);
    palette[static_cast<size_t>(i)] = {v, v, v, PC_NOCOLLAPSE};
  }
  return palette;
}

TPalette Gray4Palette() { return Greys({0, 128, 192, 255}); }

TPalette BlackWhitePalette() { return Greys({0, 255}); }

TPalette HalftonePalette() {
  TPalette palette = htmlview::StockPalette();
  const TPalette cube = htmlview::WebPalette();
  palette.insert(palette.end(), cube.begin(), cube.end());
  return palette;
}

TPalette CreateOptimizedPaletteForSingleBitmap(const TBitmap& bitmap, int colors, int colorBits, bool windows) {
  const int made = windows ? 236 : std::clamp(colors, 1, 256);
  const size_t first = windows ? 10 : 0;
  TPalette palette(windows ? 256 : static_cast<size_t>(made), TPaletteEntry{0, 0, 0, PC_NOCOLLAPSE});
  htmlview::TColorQuantizer quantizer(made, colorBits);
  {
    const std::unique_ptr<TBitmap> source = htmlview::ReadingCopy(bitmap);
    htmlview::TDIBReader reader(*source, htmlview::pf24bit);
    quantizer.ProcessImage(reader);
  }
  const TPalette leaves = quantizer.GetColorTable();
  std::copy_n(leaves.begin(), std::min(leaves.size(), static_cast<size_t>(made)), palette.begin() + first);
  if (windows) {
    const TPalette stock = htmlview::StockPalette();
    std::copy(stock.begin(), stock.begin() + 10, palette.begin());
    std::copy(stock.begin() + 10, stock.end(), palette.end() - 10);
  }
  return palette;
}

TSlowColorLookup::TSlowColorLookup(const TPalette& palette)
    : TColorLookup(static_cast<int>(std::min<size_t>(palette.size(), 256))),
      palette_(palette.begin(), palette.begin() + Colors) {}

uint8_t TSlowColorLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) {
  const size_t best =
      Nearest(palette_, red, green, blue, [](int dr, int dg, int db) { return dr * dr + dg * dg + db * db; });
  return Answer(palette_, best, r, g, b);
}

uint8_t TGrayScaleLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) {
  const auto grey = static_cast<uint8_t>((29 * blue + 150 * green + 77 * red) >> 8);
  r = g = b = grey;
  return grey;
}

uint8_t TMonochromeLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) {
  // The weights sum to 256, so this is the grey value 127 and below against 128 and above.
  if (29 * blue + 150 * green + 77 * red < 32513) {
    r = g = b = 0;
    return 0;
  }
  r = g = b = 255;
  return 1;
}

TErrorDiffusionDitherer::TErrorDiffusionDitherer(int width, TColorLookup& lookup, int rows, int guard, int divisor,
                                                 std::vector<TErrorWeight> weights)
    : TDitherEngine(width, lookup),
      rows_(rows),
      guard_(guard),
      divisor_(divisor),
      stride_(std::max(width, 0) + 2 * guard),
      weights_(std::move(weights)),
      cells_(static_cast<size_t>(rows) * 3 * static_cast<size_t>(stride_), 0),
      order_(static_cast<size_t>(rows)),
      pos_(guard) {
  for (int k = 0; k < rows_; ++k) order_[static_cast<size_t>(k)] = k;
}

uint8_t TErrorDiffusionDitherer::Dither(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g,
                                        uint8_t& b) {
  // A caller that runs past the row's end gets nearest colours: its shares would fall outside the rows.
  if (pos_ < guard_ || pos_ >= stride_ - guard_) return TDitherEngine::Dither(red, green, blue, r, g, b);
  const int input[3] = {red, green, blue};
  uint8_t wanted[3];
  for (int c = 0; c < 3; ++c) {
    const int v = input[c] + (*Cell(c, 0, pos_) + divisor_ / 2) / divisor_;
    wanted[c] = static_cast<uint8_t>(std::clamp(v, 0, 255));
  }
  const uint8_t index = TDitherEngine::Dither(wanted[0], wanted[1], wanted[2], r, g, b);
  const uint8_t got[3] = {r, g, b};
  for (int c = 0; c < 3; ++c) {
    const int error = wanted[c] - got[c];
    if (error == 0) continue;
    for (const TErrorWeight& w : weights_) *Cell(c, w.Row, pos_ + w.Offset * Direction) += error * w.Weight;
  }
  pos_ += Direction;
  return index;
}

void TErrorDiffusionDitherer::Skip() {
  TDitherEngine::Skip();
  pos_ += Direction;
}

void TErrorDiffusionDitherer::NextLine() {
  const int done = order_.front();
  std::fill_n(cells_.begin() + static_cast<std::ptrdiff_t>(done) * 3 * stride_, 3 * stride_, 0);
  std::rotate(order_.begin(), order_.begin() + 1, order_.end());
  TDitherEngine::NextLine();
  pos_ = Direction == 1 ? guard_ : stride_ - guard_ - 1;
}

TStuckiDitherer::TStuckiDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, 42,
                    {{0, 1, 8}, {0, 2, 4},
                     {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},
                     {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}}) {}

TSierraDitherer::TSierraDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, 32,
                    {{0, 1, 5}, {0, 2, 3},
                     {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2},
                     {2, -1, 2}, {2, 0, 3}, {2, 1, 2}}) {}

TJaJuNiDitherer::TJaJuNiDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, 48,
                    {{0, 1, 7}, {0, 2, 5},
                     {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},
                     {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}}) {}

TSteveArcheDitherer::TSteveArcheDitherer(int width, TColorLookup& lookup)
    : TErrorDiffusionDitherer(width, lookup, 4, 3, 200,
                              {{0, 2, 32},
                               {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16},
                               {2, -2, 12}, {2, 0, 26}, {2, 2, 12},
                               {3, -3, 5}, {3, -1, 12}, {3, 1, 12}, {3, 3, 5}}) {}

TBurkesDitherer::TBurkesDitherer(int width, TColorLookup& lookup)
    : TErrorDiffusionDitherer(width, lookup, 2, 2, 32,
                              {{0, 1, 8}, {0, 2, 4},
                               {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}}) {}

TDIBWriter::TDIBWriter(TBitmap& bitmap, TPixelFormat pixelFormat, int width, int height, const TPalette& palette)
    : TDIB(bitmap, pixelFormat), Width(width), Height(height) {
  if (pixelFormat != htmlview::pf8bit && pixelFormat != htmlview::pf24bit) throw GIFException(sUnsupportedPixelFormat);
  // A negative size meant top-down rows to the system's DIBs; here rows are always top-down.
  if (width <= 0 || height <= 0) throw GIFException(sInvalidImageDimensions);
  palette_.assign(palette.begin(), palette.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(palette.size(), 256)));
}

TDIBWriter::~TDIBWriter() {
  if (!image_.isNull()) Bitmap.Image() = std::move(image_);
}

uint8_t* TDIBWriter::GetScanline(int row) {
  if (image_.isNull()) {
    const bool indexed = PixelFormat == htmlview::pf8bit;
    QImage image(Width, Height, indexed ? QImage::Format_Indexed8 : QImage::Format_BGR888);
    if (image.isNull()) throw htmlview::EOutOfMemory(htmlview::sOutOfMemDIB);
    if (indexed) {
      // The table holds just the palette's entries, so that its size is the number of colours.
      QList<QRgb> table;
      table.reserve(static_cast<qsizetype>(palette_.size()));
      for (const TPaletteEntry& e : palette_) table.append(qRgb(e.peRed, e.peGreen, e.peBlue));
      image.setColorTable(table);
    }
    image.fill(0);
    image_ = std::move(image);
  }
  if (row < 0 || row >= Height) throw htmlview::EInvalidGraphicOperation(htmlview::sScanLine);
  return image_.scanLine(row);
}

std::unique_ptr<TBitmap> ReduceColors(const TBitmap& bitmap, int method, int ditherMode, int reductionBits,
                                      const TPalette* palette) {
  auto result = std::make_unique<TBitmap>();
  if (method == 0) {
    result->Image() = bitmap.Image();
    htmlview::SetPixelFormat(*result, htmlview::pf24bit);
    return result;
  }
  // More than 256 colours would overrun the 8-bit pixels, and shifting by 32 or more is undefined.
  if (method == 7 && (reductionBits < 1 || reductionBits > 8))
    throw GIFException("Invalid number of reduction bits: " + std::to_string(reductionBits) + " (1 to 8)");

  TPalette colors;
  switch (method) {
    case 1: colors = htmlview::StockPalette(); break;
    case 2: colors = HalftonePalette(); break;
    case 3: colors = Gray4Palette(); break;
    case 4: colors = BlackWhitePalette(); break;
    case 5: colors = GrayScalePalette(); break;
    case 6: colors = htmlview::WebPalette(); break;
    case 7: colors = CreateOptimizedPaletteForSingleBitmap(bitmap, 1 << reductionBits, 8, false); break;
    case 8: colors = CreateOptimizedPaletteForSingleBitmap(bitmap, 256, 8, true); break;
    case 9:
      if (palette) colors = *palette;
      break;
    default: return result;
  }

  std::unique_ptr<TColorLookup> lookup;
  switch (method) {
    case 4: lookup = std::make_unique<TMonochromeLookup>(); break;
    case 5: lookup = std::make_unique<TGrayScaleLookup>(); break;
    case 6: lookup = std::make_unique<htmlview::TNetscapeColorLookup>(); break;
    case 7: lookup = std::make_unique<htmlview::TFastColorLookup>(colors); break;
    default: lookup = std::make_unique<TSlowColorLookup>(colors); break;
  }
  if (lookup->Colors == 0) return result;

  const int width = bitmap.Width(), height = bitmap.Height();
  std::unique_ptr<TDitherEngine> engine;
  switch (ditherMode) {
    case 0: engine = std::make_unique<TDitherEngine>(width, *lookup); break;
    case 1: engine = std::make_unique<TFloydSteinbergDitherer>(width, *lookup); break;
    case 2: engine = std::make_unique<TStuckiDitherer>(width, *lookup); break;
    case 3: engine = std::make_unique<TSierraDitherer>(width, *lookup); break;
    case 4: engine = std::make_unique<TJaJuNiDitherer>(width, *lookup); break;
    case 5: engine = std::make_unique<TSteveArcheDitherer>(width, *lookup); break;
    case 6: engine = std::make_unique<TBurkesDitherer>(width, *lookup); break;
    default: return result;
  }

  {
    const std::unique_ptr<TBitmap> source = htmlview::ReadingCopy(bitmap);
    htmlview::TDIBReader reader(*source, htmlview::pf24bit);
    TDIBWriter writer(*result, htmlview::pf8bit, width, height, colors);  // its picture reaches result when it goes
    htmlview::DitherRows(reader, writer, *engine, width, height);
  }
  return result;
}

}  // namespace gif
