#include "dither/Dither.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace htmlview {

namespace {

QImage::Format QtFormat(TPixelFormat format) {
  switch (format) {
    case pf1bit: return QImage::Format_Mono;
    case pf8bit: return QImage::Format_Indexed8;
    case pf15bit: return QImage::Format_RGB555;
    case pf16bit: return QImage::Format_RGB16;
    case pf24bit: return QImage::Format_BGR888;
    case pf32bit: return QImage::Format_RGB32;
    default: throw EInvalidGraphic(sInvalidPixelFormat);
  }
}

QRgb ToRgb(const TPaletteEntry& e) { return qRgb(e.peRed, e.peGreen, e.peBlue); }

// A colour table of exactly size entries: the first of table, black after them.
QList<QRgb> FitTable(QList<QRgb> table, int size) {
  if (table.size() > size) table.resize(size);
  while (table.size() < size) table.append(qRgb(0, 0, 0));
  return table;
}

QList<QRgb> ToTable(const TPalette& palette) {
  QList<QRgb> table;
  table.reserve(static_cast<qsizetype>(palette.size()));
  for (const TPaletteEntry& e : palette) table.append(ToRgb(e));
  return table;
}

}  // namespace

TPixelFormat GetPixelFormat(const TBitmap& bitmap) {
  switch (bitmap.Image().format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB: return pf1bit;
    case QImage::Format_Indexed8: return pf8bit;
    case QImage::Format_RGB555: return pf15bit;
    case QImage::Format_RGB16: return pf16bit;
    case QImage::Format_RGB888:
    case QImage::Format_BGR888: return pf24bit;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied: return pf32bit;
    default: return pfCustom;
  }
}

void SetPixelFormat(TBitmap& bitmap, TPixelFormat format) {
  const QImage::Format target = QtFormat(format);
  QImage& image = bitmap.Image();
  if (image.isNull() || image.format() == target) return;
  QImage converted = image.convertToFormat(target);
  // Rows of the old format read as the new one would run past their ends.
  if (converted.isNull()) throw EOutOfMemory("Out of memory");
  image = std::move(converted);
}

void SafeSetPixelFormat(TBitmap& bitmap, TPixelFormat format) {
  if (format != pf8bit) {
    SetPixelFormat(bitmap, format);
    return;
  }
  QImage& image = bitmap.Image();
  if (image.isNull()) return;
  QImage blank(image.width(), image.height(), QImage::Format_Indexed8);
  if (blank.isNull()) throw EOutOfMemory("Out of memory");
  blank.setColorTable(FitTable({}, 256));
  blank.fill(0);
  image = std::move(blank);
}

int64_t BytesPerScanline(int64_t pixelsPerScanline, int bitsPerPixel, int alignment) {
  // An alignment below one bit would divide by zero: such rows are simply not padded.
  const int64_t align = std::max(alignment, 1);
  return (pixelsPerScanline * bitsPerPixel + align - 1) / align * align / 8;
}

const std::array<TPaletteEntry, 256>& ViewerPaletteEntries() {
  static const std::array<TPaletteEntry, 256> entries = [] {
    std::array<TPaletteEntry, 256> e{};
    static const uint8_t stock[20][3] = {
        {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
        {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
        {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
        {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    for (int i = 0; i < 20; ++i) {
      e[i < 10 ? i : 236 + i] = {stock[i][0], stock[i][1], stock[i][2], 0};
    }
    static const uint8_t levels[6] = {55, 115, 165, 205, 235, 255};
    int n = 10;
    for (int b = 0; b < 6; ++b)
      for (int g = 0; g < 6; ++g)
        for (int r = 0; r < 6; ++r)
          if (r < 5 || g < 5 || b < 5) e[n++] = {levels[r], levels[g], levels[b], 0};
    for (int k = 1; k <= 23; ++k) {
      if (k == 7 || k == 15 || k == 21) continue;
      const uint8_t v = static_cast<uint8_t>(5 * k + 130);
      e[n++] = {v, v, v, 0};
    }
    e[n] = {255, 255, 254, 0};
    return e;
  }();
  return entries;
}

TPalette StockPalette() {
  const auto& viewer = ViewerPaletteEntries();
  TPalette palette(viewer.begin(), viewer.begin() + 10);
  palette.insert(palette.end(), viewer.end() - 10, viewer.end());
  return palette;
}

TPalette WebPalette() {
  TPalette palette;
  palette.reserve(216);
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        palette.push_back({static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51), static_cast<uint8_t>(b * 51), 0});
  return palette;
}

TDIBReader::TDIBReader(TBitmap& bitmap, TPixelFormat pixelFormat) : TDIB(bitmap, pixelFormat) {
  SetPixelFormat(bitmap, pixelFormat);
}

uint8_t* TDIBReader::GetScanline(int row) {
  const QImage& image = std::as_const(Bitmap).Image();
  if (row < 0 || row >= image.height()) throw EInvalidGraphicOperation(sScanLine);
  // The const row does not copy pixels that other pictures share: readers only read.
  return const_cast<uint8_t*>(image.constScanLine(row));
}

std::unique_ptr<TBitmap> ReadingCopy(const TBitmap& source) {
  auto copy = std::make_unique<TBitmap>();
  copy->Image() = source.Image();
  return copy;
}

TDIBWriter::~TDIBWriter() {
  if (!copy_.isNull()) Bitmap.Image() = std::move(copy_);
}

void TDIBWriter::CreateDIB() {
  const QImage& source = Bitmap.Image();
  if (source.isNull()) throw EInvalidGraphic(sInvalidBitmap);
  int bits = 0;
  switch (PixelFormat) {
    case pf1bit: bits = 1; break;
    case pf8bit: bits = 8; break;
    case pf24bit: bits = 24; break;
    default: throw EInvalidGraphic(sInvalidPixelFormat);
  }
  const QImage::Format format = QtFormat(PixelFormat);
  if (bits > 8) {
    copy_ = source.format() == format ? source.copy() : source.convertToFormat(format);
  } else {
    const QList<QRgb> table = FitTable(source.colorTable(), 1 << bits);
    if (source.format() == format) {
      copy_ = source.copy();
      copy_.setColorTable(table);
    } else {
      copy_ = source.convertToFormat(format, table);
    }
  }
  if (copy_.isNull()) throw EOutOfMemory(sOutOfMemDIB);
}

uint8_t* TDIBWriter::GetScanline(int row) {
  if (copy_.isNull()) CreateDIB();
  if (row < 0 || row >= copy_.height()) throw EInvalidGraphicOperation(sScanLine);
  return copy_.scanLine(row);
}

TFastColorLookup::TFastColorLookup(const TPalette& palette)
    : TColorLookup(static_cast<int>(std::min<size_t>(palette.size(), 256))),
      palette_(palette.begin(), palette.begin() + Colors),
      cache_(32768, 0xFFFF) {
  for (int i = 0; i < Colors; ++i) {
    const TPaletteEntry& e = palette_[static_cast<size_t>(i)];
    uint16_t& slot = cache_[static_cast<size_t>(Key(e.peRed, e.peGreen, e.peBlue))];
    if (slot == 0xFFFF) slot = static_cast<uint16_t>(i);
  }
}

uint8_t TFastColorLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) {
  if (palette_.empty()) return Answer(palette_, 0, r, g, b);
  uint16_t& slot = cache_[static_cast<size_t>(Key(red, green, blue))];
  if (slot == 0xFFFF)
    slot = static_cast<uint16_t>(Nearest(palette_, red, green, blue, [](int dr, int dg, int db) {
      return std::abs(dr) + std::abs(dg) + std::abs(db);
    }));
  return Answer(palette_, slot, r, g, b);
}

uint8_t TNetscapeColorLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) {
  const int lr = (red + 3) / 51, lg = (green + 3) / 51, lb = (blue + 3) / 51;
  r = static_cast<uint8_t>(lr * 51);
  g = static_cast<uint8_t>(lg * 51);
  b = static_cast<uint8_t>(lb * 51);
  return static_cast<uint8_t>(36 * lr + 6 * lg + lb);
}

uint8_t TDitherEngine::Dither(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) {
  const uint8_t index = Lookup.Lookup(red, green, blue, r, g, b);
  Column += Direction;
  return index;
}

void TDitherEngine::Skip() { Column += Direction; }

void TDitherEngine::NextLine() {
  Direction = -Direction;
  Column = Direction == 1 ? 0 : Width - 1;
}

TFloydSteinbergEngine::TFloydSteinbergEngine(int width, TColorLookup& lookup) : TDitherEngine(width, lookup) {
  for (TChannel& c : channels_) c.Row.assign(static_cast<size_t>(std::max(width, 0)) + 2, 0);
}

uint8_t TFloydSteinbergEngine::Dither(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) {
  const int input[3] = {red, green, blue};
  const int cell = channels_[0].Pos + Direction;
  // A caller that runs past the row's end gets nearest colours: no cell there to spread into.
  if (cell < 1 || cell > std::max(Width, 0)) return TDitherEngine::Dither(red, green, blue, r, g, b);
  uint8_t wanted[3];
  for (int i = 0; i < 3; ++i) {
    const TChannel& c = channels_[i];
    const int v = input[i] + (c.Row[static_cast<size_t>(cell)] + c.Running + 8) / 16;
    wanted[i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
  }
  const uint8_t index = TDitherEngine::Dither(wanted[0], wanted[1], wanted[2], r, g, b);
  const int e[3] = {wanted[0] - r, wanted[1] - g, wanted[2] - b};
  Spread(e);
  return index;
}

void TFloydSteinbergEngine::Spread(const int (&e)[3]) {
  for (int i = 0; i < 3; ++i) {
    TChannel& c = channels_[i];
    c.Row[static_cast<size_t>(c.Pos)] = c.Pending + 3 * e[i];
    c.Pending = c.PendingNext + 5 * e[i];
    c.PendingNext = e[i];
    c.Running = 7 * e[i];
    c.Pos += Direction;
  }
}

void TFloydSteinbergEngine::Skip() {
  const int cell = channels_[0].Pos + Direction;
  TDitherEngine::Skip();
  // Past the row's end there is no cell to keep in step.
  if (cell < 1 || cell > std::max(Width, 0)) return;
  const int none[3] = {0, 0, 0};
  Spread(none);
}

void TFloydSteinbergEngine::NextLine() {
  const int last = static_cast<int>(channels_[0].Row.size()) - 1;
  for (TChannel& c : channels_) {
    c.Row[static_cast<size_t>(c.Pos)] = c.Pending;
    const int next = c.Pos + Direction;
    if (next >= 0 && next <= last) c.Row[static_cast<size_t>(next)] = c.PendingNext;
    c.Running = c.Pending = c.PendingNext = 0;
  }
  TDitherEngine::NextLine();
  for (TChannel& c : channels_) c.Pos = Direction == 1 ? 0 : last;
}

TColorQuantizer::TColorQuantizer(int maxColors, int colorBits)
    : MaxColors(maxColors), ColorBits(std::clamp(colorBits, 0, 8)) {
  Tree = NewNode(0);
}

TOctreeNode* TColorQuantizer::NewNode(int level) {
  TOctreeNode* node;
  if (!free_.empty()) {
    node = free_.back();
    free_.pop_back();
    *node = TOctreeNode{};
  } else {
    node = &nodes_.emplace_back();
  }
  if (level == ColorBits) {
    node->IsLeaf = true;
    ++LeafCount;
  } else {
    node->Next = ReducibleNodes[level];
    ReducibleNodes[level] = node;
  }
  return node;
}

void TColorQuantizer::AddColor(uint8_t red, uint8_t green, uint8_t blue) {
  TOctreeNode* node = Tree;
  for (int level = 0; !node->IsLeaf; ++level) {
    const int shift = 7 - level;
    const int index = (((red >> shift) & 1) << 2) | (((green >> shift) & 1) << 1) | ((blue >> shift) & 1);
    if (!node->Child[index]) node->Child[index] = NewNode(level + 1);
    node = node->Child[index];
  }
  ++node->PixelCount;
  node->RedSum += red;
  node->GreenSum += green;
  node->BlueSum += blue;
  // Once the root is a leaf there is nothing left to merge, however few colours were asked for.
  while (LeafCount > MaxColors && ReducibleNodes[0]) ReduceTree();
}

void TColorQuantizer::ReduceTree() {
  int level = ColorBits - 1;
  while (level > 0 && !ReducibleNodes[level]) --level;
  TOctreeNode* node = ReducibleNodes[level];
  ReducibleNodes[level] = node->Next;
  node->Next = nullptr;
  int children = 0;
  for (TOctreeNode*& child : node->Child) {
    if (!child) continue;
    node->PixelCount += child->PixelCount;
    node->RedSum += child->RedSum;
    node->GreenSum += child->GreenSum;
    node->BlueSum += child->BlueSum;
    free_.push_back(child);
    child = nullptr;
    ++children;
  }
  node->IsLeaf = true;
  LeafCount -= children - 1;
}

void TColorQuantizer::ProcessImage(TDIB& image) {
  if (image.PixelFormat != pf24bit) throw EInvalidGraphic(sInvalidPixelFormat);
  const int width = image.Bitmap.Width(), height = image.Bitmap.Height();
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = image.GetScanline(y);
    for (int x = 0; x < width; ++x, row += 3) AddColor(row[2], row[1], row[0]);
  }
}

void TColorQuantizer::Collect(const TOctreeNode* node, TPalette& colors) const {
  if (node->IsLeaf) {
    const uint64_t n = node->PixelCount;
    if (n == 0) {
      colors.push_back({0, 0, 0, 0});
    } else {
      colors.push_back({static_cast<uint8_t>(node->RedSum / n), static_cast<uint8_t>(node->GreenSum / n),
                        static_cast<uint8_t>(node->BlueSum / n), 0});
    }
    return;
  }
  for (const TOctreeNode* child : node->Child)
    if (child) Collect(child, colors);
}

TPalette TColorQuantizer::GetColorTable() const {
  TPalette colors;
  colors.reserve(static_cast<size_t>(std::max(LeafCount, 0)));
  Collect(Tree, colors);
  return colors;
}

TPalette CreateOptimizedPaletteForSingleBitmap(const TBitmap& bitmap, int colors, int colorBits, bool windows) {
  const int made = windows ? 236 : std::clamp(colors, 1, 256);
  const size_t first = windows ? 10 : 0;
  TColorQuantizer quantizer(made, colorBits);
  const std::unique_ptr<TBitmap> source = ReadingCopy(bitmap);
  TDIBReader reader(*source, pf24bit);
  quantizer.ProcessImage(reader);
  const TPalette leaves = quantizer.GetColorTable();
  TPalette palette(windows ? 256 : static_cast<size_t>(made));
  std::copy_n(leaves.begin(), std::min(leaves.size(), static_cast<size_t>(made)), palette.begin() + first);
  if (windows) {
    const TPalette stock = StockPalette();
    std::copy(stock.begin(), stock.begin() + 10, palette.begin());
    std::copy(stock.begin() + 10, stock.end(), palette.end() - 10);
  }
  return palette;
}

std::unique_ptr<TBitmap> ReduceColors(const TBitmap& bitmap, int reduction, int ditherMode) {
  auto result = std::make_unique<TBitmap>();
  if (reduction == 0) {
    result->Image() = bitmap.Image();
    SetPixelFormat(*result, pf24bit);
    return result;
  }
  TPalette palette;
  switch (reduction) {
    case 1: palette = StockPalette(); break;
    case 3: palette = WebPalette(); break;
    case 4: palette.assign(ViewerPaletteEntries().begin(), ViewerPaletteEntries().end()); break;
    case 5: palette = CreateOptimizedPaletteForSingleBitmap(bitmap, 256, 8, true); break;
    default: break;
  }
  const int width = bitmap.Width(), height = bitmap.Height();
  if (width <= 0 || height <= 0) return result;
  result->SetSize(width, height);
  SafeSetPixelFormat(*result, pf8bit);
  result->Image().setColorTable(FitTable(ToTable(palette), 256));

  std::unique_ptr<TColorLookup> lookup;
  if (reduction == 3)
    lookup = std::make_unique<TNetscapeColorLookup>();
  else
    lookup = std::make_unique<TFastColorLookup>(palette);
  if (lookup->Colors == 0) return result;

  {
    const std::unique_ptr<TBitmap> source = ReadingCopy(bitmap);
    TDIBReader reader(*source, pf24bit);
    TDIBWriter writer(*result, pf8bit);  // its pixels reach result when it goes
    std::unique_ptr<TDitherEngine> engine;
    if (ditherMode == 1)
      engine = std::make_unique<TFloydSteinbergEngine>(width, *lookup);
    else
      engine = std::make_unique<TDitherEngine>(width, *lookup);
    DitherRows(reader, writer, *engine, width, height);
  }
  return result;
}

void DitherRows(TDIB& source, TDIB& target, TDitherEngine& engine, int width, int height) {
  uint8_t r, g, b;
  for (int y = 0; y < height; ++y) {
    const uint8_t* from = source.GetScanline(y);
    uint8_t* to = target.GetScanline(y);
    for (int i = 0; i < width; ++i) {
      const int x = engine.Column;
      const uint8_t* p = from + 3 * x;
      to[x] = engine.Dither(p[2], p[1], p[0], r, g, b);
    }
    engine.NextLine();
  }
}

std::unique_ptr<TBitmap> GetPalettizedCopy(TBitmap* graphic) {
  if (!graphic || graphic->Empty()) return nullptr;
  return ReduceColors(*graphic, ScreenColorBits < 8 ? 1 : 4, 1);
}

}  // namespace htmlview
