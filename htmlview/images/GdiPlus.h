#pragma once
// The viewer's layer for pictures beyond GIF: once a layer over a system imaging library, here
// a thin one over QImage and QPainter. Only PNG and BMP data are read through it.
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/Exception.h"

class TStream;
class TBitmap;
class QPaintDevice;

namespace htmlview {

// Status numbers as the imaging library reports them.
enum TGpStatus { GpOk = 0, GpInvalidParameter = 2, GpOutOfMemory = 3, GpUnknownImageFormat = 13 };

class EGDIPlus : public Exception {
public:
  EGDIPlus(const std::string& message, int status) : Exception(message), Status(status) {}
  int Status;
};

extern bool GDIPlusActive;
// Counted: the layer is active from the first start to the matching last close.
void InitializeGDIPlus();
void CloseGDIPlus();

class TGpImage {
public:
  // PNG or BMP data from the stream's position; else EGDIPlus "Can't load image stream. ...".
  explicit TGpImage(TStream& stream);
  explicit TGpImage(QImage image);
  virtual ~TGpImage() = default;
  int Width() const { return image_.width(); }
  int Height() const { return image_.height(); }
  // ARGB32 premultiplied.
  QImage& Image() { return image_; }
  const QImage& Image() const { return image_; }
  // The picture over white, as a 24-bit bitmap.
  std::unique_ptr<TBitmap> GetTBitmap() const;

protected:
  TGpImage() = default;
  QImage image_;
};

class TGpBitmap : public TGpImage {
public:
  // Transparent; EGDIPlus "Can't create bitmap of size W x H. GDI error 3" when it cannot be had.
  TGpBitmap(int w, int h);
};

class TGpGraphics {
public:
  // Raise EGDIPlus "Can't Create Graphics. GDI error %d" on a device that cannot be painted.
  explicit TGpGraphics(QPaintDevice* device);
  explicit TGpGraphics(TGpImage& image);
  // Stretched smoothly; Qt's smooth scaling clamps at the edges, so small pictures enlarged keep
  // their edge colours.
  void DrawImage(const TGpImage& image, int x, int y, int w, int h);
  void DrawImagePointRect(const TGpImage& image, int x, int y, int srcX, int srcY, int srcW, int srcH);
  void DrawImageRectRect(const TGpImage& image, int dstX, int dstY, int dstW, int dstH, int srcX, int srcY,
                         int srcW, int srcH);
  void Clear(QRgb argb);
  // Applied before the transformation already set.
  void ScaleTransform(double sx, double sy);

private:
  QPainter painter_;
};

}  // namespace htmlview
