#include "htmlview/images/GdiPlus.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <cstring>
#include <vector>

#include "platform/core/Streams.h"
#include "platform/gui/Graphics.h"

namespace htmlview {

bool GDIPlusActive = false;

namespace {

int useCount = 0;

std::string Formatted(const char* format, int a, int b = 0, int c = 0) {
  char text[128];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// The format the data's signature names; nullptr for none that is read here.
const char* FormatOf(const QByteArray& data) {
  if (data.startsWith("\x89PNG\r\n\x1a\n")) return "png";
  if (data.startsWith("BM")) return "bmp";
  return nullptr;
}

}  // namespace

void InitializeGDIPlus() {
  if (useCount++ == 0) GDIPlusActive = true;
}

void CloseGDIPlus() {
  if (useCount == 0) return;
  if (--useCount == 0) GDIPlusActive = false;
}

TGpImage::TGpImage(TStream& stream) {
  QByteArray data;
  char buffer[65536];
  for (;;) {
    const int64_t n = stream.Read(buffer, sizeof buffer);
    if (n <= 0) break;
    data.append(buffer, static_cast<qsizetype>(n));
  }
  const char* format = FormatOf(data);
  int status = GpUnknownImageFormat;
  if (format) {
    QBuffer device(&data);
    device.open(QIODevice::ReadOnly);
    // Named, so that no other plugin ever sees the data; the reader's allocation limit caps it.
    QImageReader reader(&device, format);
    reader.setDecideFormatFromContent(false);
    QImage image;
    if (reader.read(&image)) {
      image_ = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
      if (!image_.isNull()) return;
      status = GpOutOfMemory;
    } else {
      status = GpInvalidParameter;
    }
  }
  throw EGDIPlus(Formatted("Can't load image stream. GDI error %d", status), status);
}

TGpImage::TGpImage(QImage image) : image_(image.convertToFormat(QImage::Format_ARGB32_Premultiplied)) {}

std::unique_ptr<TBitmap> TGpImage::GetTBitmap() const {
  auto bitmap = std::make_unique<TBitmap>(Width(), Height());
  bitmap->Image().fill(Qt::white);
  bitmap->Canvas().DrawImage(0, 0, image_);
  bitmap->Image();
  return bitmap;
}

TGpBitmap::TGpBitmap(int w, int h) {
  if (w > 0 && h > 0) image_ = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
  if (image_.isNull())
    throw EGDIPlus(Formatted("Can't create bitmap of size %d x %d. GDI error %d", w, h, GpOutOfMemory), GpOutOfMemory);
  image_.fill(Qt::transparent);
}

TGpGraphics::TGpGraphics(QPaintDevice* device) {
  if (!device || !painter_.begin(device))
    throw EGDIPlus(Formatted("Can't Create Graphics. GDI error %d", GpInvalidParameter), GpInvalidParameter);
}

TGpGraphics::TGpGraphics(TGpImage& image) : TGpGraphics(&image.Image()) {}

void TGpGraphics::DrawImage(const TGpImage& image, int x, int y, int w, int h) {
  const QImage& source = image.Image();
  if (source.isNull() || w <= 0 || h <= 0) return;
  if (w == source.width() && h == source.height()) {
    painter_.drawImage(x, y, source);
    return;
  }
  painter_.drawImage(x, y, source.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

void TGpGraphics::DrawImagePointRect(const TGpImage& image, int x, int y, int srcX, int srcY, int srcW, int srcH) {
  painter_.drawImage(QPoint(x, y), image.Image(), QRect(srcX, srcY, srcW, srcH));
}

void TGpGraphics::DrawImageRectRect(const TGpImage& image, int dstX, int dstY, int dstW, int dstH, int srcX,
                                    int srcY, int srcW, int srcH) {
  if (dstW <= 0 || dstH <= 0 || srcW <= 0 || srcH <= 0) return;
  const QImage part = image.Image().copy(srcX, srcY, srcW, srcH);
  DrawImage(TGpImage(part), dstX, dstY, dstW, dstH);
}

void TGpGraphics::Clear(QRgb argb) {
  painter_.save();
  painter_.resetTransform();
  painter_.setCompositionMode(QPainter::CompositionMode_Source);
  painter_.fillRect(QRect(0, 0, painter_.device()->width(), painter_.device()->height()),
                    QColor::fromRgba(argb));
  painter_.restore();
}

void TGpGraphics::ScaleTransform(double sx, double sy) { painter_.scale(sx, sy); }

}  // namespace htmlview
