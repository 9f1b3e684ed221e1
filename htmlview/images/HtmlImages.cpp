#include "htmlview/images/HtmlImages.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include <jpeglib.h>
#include <jerror.h>

#include "dither/Dither.h"
#include "platform/core/Files.h"
#include "platform/core/Streams.h"
#include "platform/gui/Colors.h"

namespace htmlview {

// ---- the cache ----

TStringBitmapList::TStringBitmapList() { InitializeGDIPlus(); }

TStringBitmapList::~TStringBitmapList() {
  Clear();
  CloseGDIPlus();
}

size_t TStringBitmapList::LowerBound(const std::u16string& name) const {
  return static_cast<size_t>(
      std::lower_bound(items_.begin(), items_.end(), name, [](const TEntry& e, const std::u16string& n) {
        return e.Name < n;
      }) - items_.begin());
}

int TStringBitmapList::IndexOf(const std::u16string& name) const {
  const size_t i = LowerBound(name);
  return i < items_.size() && items_[i].Name == name ? static_cast<int>(i) : -1;
}

int TStringBitmapList::AddObject(const std::u16string& name, std::unique_ptr<TBitmapItem> item) {
  ++item->UsageCount;
  const size_t i = LowerBound(name);
  items_.insert(items_.begin() + static_cast<ptrdiff_t>(i), TEntry{name, std::move(item)});
  return static_cast<int>(i);
}

void TStringBitmapList::DecUsage(const std::u16string& name) {
  const int i = IndexOf(name);
  if (i >= 0) --GetImage(i)->UsageCount;
}

void TStringBitmapList::SetCacheCount(int n) {
  for (int i = Count() - 1; i >= 0; --i) {
    const TBitmapItem* item = GetImage(i);
    if (item->AccessCount > n && item->UsageCount < 1) Delete(i);
  }
  MaxCache = n;
}

void TStringBitmapList::BumpAndCheck() {
  for (int i = Count() - 1; i >= 0; --i) {
    TBitmapItem* item = GetImage(i);
    ++item->AccessCount;
    if (item->AccessCount > MaxCache && item->UsageCount < 1) Delete(i);
  }
}

void TStringBitmapList::Delete(int index) { items_.erase(items_.begin() + index); }

void TStringBitmapList::Clear() { items_.clear(); }

// ---- loading ----

namespace {

// The size cap every decoder applies before it makes a picture.
bool TooLarge(int64_t w, int64_t h) { return w <= 0 || h <= 0 || w * h * 4 > ImageAllocationLimit; }

QByteArray ReadAll(TStream& stream) {
  QByteArray data;
  const int64_t size = stream.GetSize() - stream.GetPosition();
  if (size > 0 && size < INT_MAX) data.reserve(static_cast<qsizetype>(size));
  char buffer[65536];
  for (;;) {
    const int64_t n = stream.Read(buffer, sizeof buffer);
    if (n <= 0) break;
    data.append(buffer, static_cast<qsizetype>(n));
  }
  return data;
}

QImage Premultiplied(const QImage& image) { return image.convertToFormat(QImage::Format_ARGB32_Premultiplied); }

std::unique_ptr<TBitmap> BitmapOf(const QImage& image) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->Image() = Premultiplied(image);
  if (bitmap->Image().isNull()) throw EOutOfMemory("Out of memory");
  return bitmap;
}

std::unique_ptr<TBitmap> LoadBitmap(TStream& stream, TTransparency& transparent, std::unique_ptr<TBitmap>& mask) {
  QByteArray data = ReadAll(stream);
  QBuffer device(&data);
  device.open(QIODevice::ReadOnly);
  // Named, so that no other image plugin ever sees the data; the reader's allocation limit caps it.
  QImageReader reader(&device, "bmp");
  reader.setDecideFormatFromContent(false);
  QImage image;
  if (!reader.read(&image)) throw EInvalidGraphic(sInvalidBitmap);
  auto bitmap = BitmapOf(image);
  if (transparent == LLCorner) mask = GetImageMask(*bitmap, false, 0);
  return bitmap;
}

std::unique_ptr<THtImage> LoadGif(TStream& stream, TTransparency& transparent, std::unique_ptr<TBitmap>& mask) {
  std::unique_ptr<TViewerGifPicture> gif = TViewerGifPicture::CreateAGifFromStream(stream);
  if (gif->NumFrames > 1) return std::make_unique<THtImage>(std::move(gif));
  auto bitmap = BitmapOf(gif->Bitmap());
  if (gif->IsTransparent) {
    mask = std::make_unique<TBitmap>();
    mask->Image() = gif->MaskedBitmap();
    transparent = GifTransp;
  } else if (transparent == LLCorner) {
    mask = GetImageMask(*bitmap, false, 0);
  }
  return std::make_unique<THtImage>(std::move(bitmap));
}

// ---- JPEG through libjpeg ----

// libjpeg's own error handler ends the process; this one jumps back to the decoder, which then
// raises or keeps what it had.
struct TJpegError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
  int Code;
};

[[noreturn]] void JpegErrorExit(j_common_ptr info) {
  auto* error = reinterpret_cast<TJpegError*>(info->err);
  error->Code = info->err->msg_code;
  std::longjmp(error->Jump, 1);
}

void JpegOutputMessage(j_common_ptr) {}

// A source over bytes in memory; at their end it hands the decoder an end-of-image marker, so a
// cut file decodes as far as it goes.
struct TJpegSource {
  jpeg_source_mgr Manager;
  const uint8_t* Data;
  size_t Size;
};

const JOCTET FakeEoi[2] = {0xFF, JPEG_EOI};

void JpegInitSource(j_decompress_ptr) {}

boolean JpegFillInputBuffer(j_decompress_ptr info) {
  // Only reached once the data are used up.
  info->src->next_input_byte = FakeEoi;
  info->src->bytes_in_buffer = 2;
  return TRUE;
}

void JpegSkipInputData(j_decompress_ptr info, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = info->src;
  while (count > static_cast<long>(src->bytes_in_buffer)) {
    count -= static_cast<long>(src->bytes_in_buffer);
    JpegFillInputBuffer(info);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

void JpegTermSource(j_decompress_ptr) {}

// Progressive files can hold any number of scans over the same pixels; beyond this many they
// are taken as damaged rather than decoded for ever.
constexpr int MaxJpegScans = 1000;

void JpegProgress(j_common_ptr info) {
  auto* d = reinterpret_cast<j_decompress_ptr>(info);
  if (d->input_scan_number > MaxJpegScans) {
    info->err->msg_code = JERR_NOT_COMPILED;
    info->err->error_exit(info);
  }
}

// Everything the decoder changes after its jump point lives here, reached through a pointer that
// never changes, so the values are sound after a jump.
struct TJpegState {
  jpeg_decompress_struct Info;
  TJpegError Error;
  TJpegSource Source;
  jpeg_progress_mgr Progress;
  QImage Image;
  std::vector<JSAMPLE> Row;
  int RowsDone = 0;
  bool Started = false;
};

void StoreRow(TJpegState& s, int y) {
  const jpeg_decompress_struct& info = s.Info;
  auto* out = reinterpret_cast<QRgb*>(s.Image.scanLine(y));
  const JSAMPLE* in = s.Row.data();
  const int w = static_cast<int>(info.output_width);
  switch (info.out_color_space) {
    case JCS_GRAYSCALE:
      for (int x = 0; x < w; ++x) out[x] = qRgb(in[x], in[x], in[x]);
      break;
    case JCS_CMYK:
      // Files with the Adobe marker store CMYK inverted.
      for (int x = 0; x < w; ++x, in += 4) {
        int c = in[0], m = in[1], ye = in[2], k = in[3];
        if (!info.saw_Adobe_marker) c = 255 - c, m = 255 - m, ye = 255 - ye, k = 255 - k;
        out[x] = qRgb(c * k / 255, m * k / 255, ye * k / 255);
      }
      break;
    default:
      for (int x = 0; x < w; ++x, in += 3) out[x] = qRgb(in[0], in[1], in[2]);
      break;
  }
}

// Returns false with the error code set when the decoder failed before any line was stored.
bool DecodeJpegInto(TJpegState* s, const uint8_t* data, size_t size) {
  jpeg_decompress_struct* info = &s->Info;
  info->err = jpeg_std_error(&s->Error.Manager);
  s->Error.Manager.error_exit = JpegErrorExit;
  s->Error.Manager.output_message = JpegOutputMessage;
  s->Error.Code = 0;
  if (setjmp(s->Error.Jump)) {
    jpeg_destroy_decompress(info);
    return s->Started && s->RowsDone > 0;
  }
  jpeg_create_decompress(info);
  s->Source.Manager.init_source = JpegInitSource;
  s->Source.Manager.fill_input_buffer = JpegFillInputBuffer;
  s->Source.Manager.skip_input_data = JpegSkipInputData;
  s->Source.Manager.resync_to_restart = jpeg_resync_to_restart;
  s->Source.Manager.term_source = JpegTermSource;
  s->Source.Manager.next_input_byte = data;
  s->Source.Manager.bytes_in_buffer = size;
  s->Source.Data = data;
  s->Source.Size = size;
  info->src = &s->Source.Manager;
  s->Progress.progress_monitor = JpegProgress;
  info->progress = &s->Progress;
  info->mem->max_memory_to_use = 2 * ImageAllocationLimit;

  jpeg_read_header(info, TRUE);
  switch (info->jpeg_color_space) {
    case JCS_GRAYSCALE: info->out_color_space = JCS_GRAYSCALE; break;
    case JCS_CMYK:
    case JCS_YCCK: info->out_color_space = JCS_CMYK; break;
    default: info->out_color_space = JCS_RGB; break;
  }
  if (TooLarge(info->image_width, info->image_height)) {
    s->Error.Code = JERR_IMAGE_TOO_BIG;
    jpeg_destroy_decompress(info);
    return false;
  }
  jpeg_start_decompress(info);
  const int w = static_cast<int>(info->output_width), h = static_cast<int>(info->output_height);
  s->Image = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
  if (s->Image.isNull()) {
    s->Error.Code = JERR_OUT_OF_MEMORY;
    jpeg_destroy_decompress(info);
    return false;
  }
  // What a cut file never reaches shows as grey.
  s->Image.fill(qRgb(128, 128, 128));
  s->Row.resize(static_cast<size_t>(w) * static_cast<size_t>(info->output_components));
  s->Started = true;
  while (info->output_scanline < info->output_height) {
    JSAMPROW row = s->Row.data();
    const int y = static_cast<int>(info->output_scanline);
    if (jpeg_read_scanlines(info, &row, 1) != 1) break;
    StoreRow(*s, y);
    s->RowsDone = y + 1;
  }
  jpeg_finish_decompress(info);
  jpeg_destroy_decompress(info);
  return true;
}

}  // namespace

QImage DecodeJpeg(const uint8_t* data, size_t size) {
  auto state = std::make_unique<TJpegState>();
  if (!DecodeJpegInto(state.get(), data, size))
    throw EInvalidGraphic("JPEG error #" + std::to_string(state->Error.Code));
  return std::move(state->Image);
}

namespace {

std::unique_ptr<TBitmap> LoadJpeg(TStream& stream) {
  const QByteArray data = ReadAll(stream);
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->Image() = DecodeJpeg(reinterpret_cast<const uint8_t*>(data.constData()), static_cast<size_t>(data.size()));
  return bitmap;
}

}  // namespace

TImageType GetImageType(TStream& stream) {
  const int64_t position = stream.GetPosition();
  uint8_t b[4] = {0, 0, 0, 0};
  stream.SetPosition(0);
  const int64_t n = stream.Read(b, 4);
  stream.SetPosition(position);
  if (n >= 4 && std::memcmp(b, "GIF8", 4) == 0) return Gif;
  if (n >= 4 && b[0] == 0x89 && b[1] == 0x50 && b[2] == 0x4E && b[3] == 0x47) return Png;
  if (n >= 2 && b[0] == 0x42 && b[1] == 0x4D) return Bmp;
  if (n >= 2 && b[0] == 0xFF && b[1] == 0xD8) return Jpg;
  return NoImage;
}

std::unique_ptr<THtImage> LoadImageFromStream(TStream* stream, TTransparency& transparent,
                                              std::unique_ptr<TBitmap>& mask) {
  mask.reset();
  if (!stream || stream->GetSize() < 4) return nullptr;
  const TImageType kind = GetImageType(*stream);
  stream->SetPosition(0);
  switch (kind) {
    case Bmp: return std::make_unique<THtImage>(LoadBitmap(*stream, transparent, mask));
    case Gif: return LoadGif(*stream, transparent, mask);
    case Png:
      if (!GDIPlusActive) return nullptr;
      transparent = NotTransp;
      return std::make_unique<THtImage>(std::make_unique<TGpImage>(*stream));
    case Jpg:
      transparent = NotTransp;
      return std::make_unique<THtImage>(LoadJpeg(*stream));
    default:
      // Metafiles have no reader here.
      transparent = NotTransp;
      return nullptr;
  }
}

std::unique_ptr<THtImage> LoadImageFromFile(const std::u16string& name, TTransparency& transparent,
                                            std::unique_ptr<TBitmap>& mask) {
  mask.reset();
  if (!platform::IsRegularFile(name)) return nullptr;
  const platform::FileHandle handle =
      platform::OpenFile(name, platform::AccessRead, platform::ShareRead, platform::Disposition::OpenExisting);
  if (handle == platform::InvalidFileHandle) return nullptr;
  struct TCloser {
    platform::FileHandle h;
    ~TCloser() { platform::CloseFile(h); }
  } closer{handle};
  THandleStream stream(handle);
  return LoadImageFromStream(&stream, transparent, mask);
}

namespace {

[[noreturn]] void NotAnImage() {
  throw EGDIPlus("Not a TBitmap, TGifImage, TMetafile, or TGpImage", GpInvalidParameter);
}

}  // namespace

int GetImageWidth(const THtImage* image) {
  if (image) {
    if (const TBitmap* b = image->Bitmap()) return b->Width();
    if (const TGpImage* g = image->GpImage()) return g->Width();
    if (const TViewerGifPicture* g = image->Gif()) return g->Width;
  }
  NotAnImage();
}

int GetImageHeight(const THtImage* image) {
  if (image) {
    if (const TBitmap* b = image->Bitmap()) return b->Height();
    if (const TGpImage* g = image->GpImage()) return g->Height();
    if (const TViewerGifPicture* g = image->Gif()) return g->Height;
  }
  NotAnImage();
}

namespace {

// Clears the opaque pixels of the key colour (color when useColor, else the lower-left pixel's)
// and writes the mask (white where transparent) when asked.
void ClearKeyColour(QImage& image, bool useColor, TColor color, QImage* mask) {
  if (image.isNull()) return;
  // Plain ARGB32 is kept as it is: its opaque pixels and its clear 0 are those of the
  // premultiplied form.
  if (image.format() != QImage::Format_ARGB32_Premultiplied && image.format() != QImage::Format_ARGB32)
    image = Premultiplied(image);
  const int w = image.width(), h = image.height();
  const QRgb lowerLeft = image.pixel(0, h - 1);
  const bool keyIsClear = !useColor && qAlpha(lowerLeft) == 0;
  const QRgb key = useColor ? (ToQColor(color).rgb() | 0xFF000000u) : (lowerLeft | 0xFF000000u);
  if (mask) *mask = QImage(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    auto* out = mask ? reinterpret_cast<QRgb*>(mask->scanLine(y)) : nullptr;
    for (int x = 0; x < w; ++x) {
      // Only opaque pixels match the colour; premultiplied values equal plain ones there.
      const bool clear = qAlpha(line[x]) == 0 || (!keyIsClear && line[x] == key);
      if (clear) line[x] = 0;
      if (out) out[x] = clear ? 0xFFFFFFFFu : 0xFF000000u;
    }
  }
}

}  // namespace

std::unique_ptr<TBitmap> GetImageMask(TBitmap& bitmap, bool useColor, TColor color) {
  auto mask = std::make_unique<TBitmap>();
  if (bitmap.Image().isNull()) return mask;
  if (bitmap.Image().format() != QImage::Format_ARGB32_Premultiplied) bitmap.Image() = Premultiplied(bitmap.Image());
  ClearKeyColour(bitmap.Image(), useColor, color, &mask->Image());
  bitmap.Transparent = false;
  return mask;
}

void MakeLowerLeftTransparent(QImage& image) { ClearKeyColour(image, false, 0, nullptr); }

std::unique_ptr<TBitmap> EnlargeImage(const TBitmap& bitmap, int w, int h) {
  const QImage& source = bitmap.Image();
  int nw = source.width(), nh = source.height();
  if (nw == 1) nw = std::clamp(w, 1, 100);
  if (nh == 1) nh = std::clamp(h, 1, 100);
  // A long one-pixel strip could grow a hundredfold: past the limit it tiles as it is.
  if (TooLarge(nw, nh)) nw = source.width(), nh = source.height();
  auto result = std::make_unique<TBitmap>();
  result->Image() = Premultiplied(source).scaled(nw, nh, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return result;
}

std::unique_ptr<TBitmap> EnlargeImage(const THtImage& image, int w, int h) {
  if (const TBitmap* b = image.Bitmap()) return EnlargeImage(*b, w, h);
  if (const TGpImage* g = image.GpImage()) return EnlargeImage(*g->GetTBitmap(), w, h);
  if (const TViewerGifPicture* g = image.Gif()) {
    TBitmap frame;
    frame.Image() = g->Bitmap();
    return EnlargeImage(frame, w, h);
  }
  NotAnImage();
}

void DrawImageStretched(TCanvas& canvas, const QImage& image, int x, int y, int w, int h, bool smooth,
                        const QRect& source) {
  if (image.isNull() || w <= 0 || h <= 0) return;
  const QRect src = source.isNull() ? image.rect() : source.intersected(image.rect());
  if (src.isEmpty()) return;
  if (src.size() == QSize(w, h)) {
    canvas.DrawImage(x, y, src == image.rect() ? image : image.copy(src));
    return;
  }
  const Qt::TransformationMode mode = smooth ? Qt::SmoothTransformation : Qt::FastTransformation;
  const QImage part = src == image.rect() ? image : image.copy(src);
  if (ScalesWhole(w, h)) {
    canvas.DrawImage(x, y, part.scaled(w, h, Qt::IgnoreAspectRatio, mode));
    return;
  }
  // Larger: only what shows, in tiles each scaled from the part of the picture it shows, so that
  // memory and time follow the painted area whatever size the page asks for.
  const TRect view = canvas.VisibleRect();
  const int64_t left = std::max<int64_t>(x, view.Left), top = std::max<int64_t>(y, view.Top);
  const int64_t right = std::min<int64_t>(static_cast<int64_t>(x) + w, view.Right);
  const int64_t bottom = std::min<int64_t>(static_cast<int64_t>(y) + h, view.Bottom);
  constexpr int Tile = 1024;
  const double sx = static_cast<double>(w) / part.width(), sy = static_cast<double>(h) / part.height();
  for (int64_t ty = top; ty < bottom; ty += Tile) {
    for (int64_t tx = left; tx < right; tx += Tile) {
      QImage tile(static_cast<int>(std::min<int64_t>(Tile, right - tx)), static_cast<int>(std::min<int64_t>(Tile, bottom - ty)),
                  QImage::Format_ARGB32_Premultiplied);
      if (tile.isNull()) return;
      tile.fill(Qt::transparent);
      {
        QPainter p(&tile);
        p.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        p.translate(static_cast<double>(x - tx), static_cast<double>(y - ty));
        p.scale(sx, sy);
        p.drawImage(0, 0, part);
      }
      canvas.DrawImage(static_cast<int>(tx), static_cast<int>(ty), tile);
    }
  }
}

void DrawImageStretched(TCanvas& canvas, const THtImage& image, int x, int y, int w, int h) {
  if (const TBitmap* b = image.Bitmap()) {
    DrawImageStretched(canvas, b->Image(), x, y, w, h, true);
  } else if (const TGpImage* g = image.GpImage()) {
    DrawImageStretched(canvas, g->Image(), x, y, w, h, true);
  } else if (TViewerGifPicture* g = image.Gif()) {
    DrawGifStretched(canvas, *g, x, y, w, h);
  }
}

void DrawGifStretched(TCanvas& canvas, TViewerGifPicture& gif, int x, int y, int w, int h) {
  if (ScalesWhole(w, h)) {
    gif.Draw(canvas, x, y, w, h);
  } else {
    gif.StretchedRect = QRect(x, y, w, h);
    DrawImageStretched(canvas, gif.FrameImage(), x, y, w, h, false);
  }
}

// ---- image maps ----

namespace {

// StrToIntDef: a whole token of digits with an optional sign, else 0.
int TokenNumber(const std::u16string& token) {
  size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == u'+' || token[i] == u'-')) negative = token[i++] == u'-';
  if (i == token.size()) return 0;
  int64_t value = 0;
  for (; i < token.size(); ++i) {
    if (token[i] < u'0' || token[i] > u'9') return 0;
    value = value * 10 + (token[i] - u'0');
    if (value > static_cast<int64_t>(INT_MAX) + 1) return 0;
  }
  if (negative) value = -value;
  return value < INT_MIN || value > INT_MAX ? 0 : static_cast<int>(value);
}

std::u16string Trim(const std::u16string& s) {
  size_t first = 0, last = s.size();
  while (first < last && s[first] < 33) ++first;
  while (last > first && s[last - 1] < 33) --last;
  return s.substr(first, last - first);
}

}  // namespace

std::vector<int> ParseCoords(const std::u16string& text, int maxCount) {
  const std::u16string s = Trim(text);
  std::vector<int> numbers;
  size_t i = 0;
  while (i < s.size() && static_cast<int>(numbers.size()) < maxCount) {
    const size_t start = i;
    while (i < s.size() && s[i] != u',' && s[i] != u' ') ++i;
    numbers.push_back(TokenNumber(s.substr(start, i - start)));
    while (i < s.size() && (s[i] == u',' || s[i] == u' ')) ++i;
  }
  return numbers;
}

bool TMapArea::PtInArea(int x, int y) const {
  switch (Shape) {
    case Rect:
      return x >= Left && x < Right && y >= Top && y < Bottom;
    case Circle: {
      // The pixels whose centres lie within half a pixel past the radius: a box 2r + 1 wide.
      const int64_t dx = static_cast<int64_t>(x) - Centre.x(), dy = static_cast<int64_t>(y) - Centre.y();
      const int64_t r = Radius;
      if (dx > r || dx < -r || dy > r || dy < -r) return false;
      return dx * dx + dy * dy <= r * r + r;
    }
    case Poly: {
      // Nonzero winding at the pixel's centre; in doubled coordinates the centre is odd and every
      // vertex even, so no edge ever passes exactly through it.
      const int64_t px = 2 * static_cast<int64_t>(x) + 1, py = 2 * static_cast<int64_t>(y) + 1;
      int winding = 0;
      const size_t n = Points.size();
      for (size_t i = 0; i < n; ++i) {
        const int64_t x1 = 2 * static_cast<int64_t>(Points[i].x()), y1 = 2 * static_cast<int64_t>(Points[i].y());
        const QPoint& q = Points[(i + 1) % n];
        const int64_t x2 = 2 * static_cast<int64_t>(q.x()), y2 = 2 * static_cast<int64_t>(q.y());
        const int64_t cross = (x2 - x1) * (py - y1) - (px - x1) * (y2 - y1);
        if (y1 < py && y2 > py && cross > 0) ++winding;
        else if (y1 > py && y2 < py && cross < 0) --winding;
      }
      return winding != 0;
    }
  }
  return false;
}

void TMapItem::AddArea(const TAttributeList& attributes) {
  if (Areas.Count() >= MaxAreas) return;
  auto area = std::make_unique<TMapArea>();
  std::vector<int> coords;
  for (const auto& a : attributes) {
    switch (a->Which) {
      case NohrefSy: area->HRef.clear(); break;
      case TargetSy: area->Target = a->Name; break;
      case CoordsSy: coords = ParseCoords(a->Name, MaxCoords); break;
      case HrefSy: area->HRef = a->Name; break;
      case ShapeSy: {
        std::u16string word = a->Name.substr(0, 4);
        for (char16_t& c : word) c = QChar::toLower(c);
        if (word == u"circ") area->Shape = TMapArea::Circle;
        else if (word == u"poly") area->Shape = TMapArea::Poly;
        else if (word == u"rect") area->Shape = TMapArea::Rect;
        break;
      }
      case TitleSy: area->Title = a->Name; break;
      default: break;
    }
  }
  switch (area->Shape) {
    case TMapArea::Rect: {
      if (coords.size() < 4) return;
      // Right and bottom take one more and are then left out, as a region's edges are.
      const int64_t l = coords[0], t = coords[1], r = static_cast<int64_t>(coords[2]) + 1,
                    b = static_cast<int64_t>(coords[3]) + 1;
      area->Left = std::min(l, r);
      area->Right = std::max(l, r);
      area->Top = std::min(t, b);
      area->Bottom = std::max(t, b);
      break;
    }
    case TMapArea::Circle:
      if (coords.size() < 3) return;
      area->Centre = QPoint(coords[0], coords[1]);
      area->Radius = std::min<int64_t>(std::abs(static_cast<int64_t>(coords[2])), INT_MAX);
      break;
    case TMapArea::Poly:
      if (coords.size() < 6) return;
      for (size_t i = 0; i + 1 < coords.size(); i += 2) area->Points.emplace_back(coords[i], coords[i + 1]);
      break;
  }
  Areas.Add(std::move(area));
}

bool TMapItem::GetURL(int x, int y, std::unique_ptr<TUrlTarget>& urlTarget, std::u16string& title) const {
  for (const auto& area : Areas) {
    if (!area->PtInArea(x, y)) continue;
    if (area->HRef.empty()) return false;
    urlTarget = std::make_unique<TUrlTarget>();
    urlTarget->URL = area->HRef;
    urlTarget->Target = area->Target;
    title = area->Title;
    return true;
  }
  return false;
}

}  // namespace htmlview
