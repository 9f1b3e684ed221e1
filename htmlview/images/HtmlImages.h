#pragma once
// The document's image cache, the loaders that turn image data into something the document
// draws, the stretched draw, and client-side image maps. Pictures are ARGB32-premultiplied
// QImages whose alpha is their transparency; a mask, where one is kept, is the same alpha as a
// picture (white where transparent, black where drawn).
#include <QImage>
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "htmlview/images/GdiPlus.h"
#include "htmlview/images/HtmlGif.h"
#include "htmlview/markup/HtmlBase.h"
#include "platform/gui/Graphics.h"

class TStream;

namespace htmlview {

// How an image is transparent.
enum TTransparency : uint8_t {
  NotTransp = 0,
  LLCorner = 1,   // the colour of the lower-left pixel
  GifTransp = 2,  // the GIF's own transparent colour
};

enum TImageType { NoImage = 0, Bmp = 1, Gif = 2, Png = 3, Jpg = 4 };

// A decoded image: a bitmap, a picture of the imaging layer, or an animated GIF. Exactly one is
// set, except in an image made empty, which the size routines refuse.
class THtImage {
public:
  THtImage() = default;
  explicit THtImage(std::unique_ptr<TBitmap> bitmap) : bitmap_(std::move(bitmap)) {}
  explicit THtImage(std::unique_ptr<TGpImage> gpImage) : gpImage_(std::move(gpImage)) {}
  explicit THtImage(std::unique_ptr<TViewerGifPicture> gif) : gif_(std::move(gif)) {}

  TBitmap* Bitmap() const { return bitmap_.get(); }
  TGpImage* GpImage() const { return gpImage_.get(); }
  TViewerGifPicture* Gif() const { return gif_.get(); }

private:
  std::unique_ptr<TBitmap> bitmap_;
  std::unique_ptr<TGpImage> gpImage_;
  std::unique_ptr<TViewerGifPicture> gif_;
};

class TBitmapItem {
public:
  TBitmapItem(std::unique_ptr<THtImage> image, std::unique_ptr<TBitmap> mask, TTransparency transp)
      : Transp(transp), MImage(std::move(image)), Mask(std::move(mask)) {}

  int AccessCount = 0;  // document loads since it was last used
  int UsageCount = 0;   // document objects using it now
  TTransparency Transp;
  std::unique_ptr<THtImage> MImage;
  std::unique_ptr<TBitmap> Mask;
};

// Images by source name, sorted; names compare exactly, so "A.png" and "a.png" are two entries.
// An item that no document object uses leaves after more than MaxCache loads without use.
class TStringBitmapList {
public:
  TStringBitmapList();
  ~TStringBitmapList();
  TStringBitmapList(const TStringBitmapList&) = delete;
  TStringBitmapList& operator=(const TStringBitmapList&) = delete;

  int MaxCache = 4;

  int Count() const { return static_cast<int>(items_.size()); }
  const std::u16string& Strings(int index) const { return items_.at(static_cast<size_t>(index)).Name; }
  TBitmapItem* GetImage(int index) const { return items_.at(static_cast<size_t>(index)).Item.get(); }
  // The index of the name, or -1.
  int IndexOf(const std::u16string& name) const;
  // Takes the item over and counts one more use of it; returns its index. A name already present
  // is added beside the old entry, which stays as it is.
  int AddObject(const std::u16string& name, std::unique_ptr<TBitmapItem> item);
  void DecUsage(const std::u16string& name);
  // Frees the unused items loaded more than n times ago; MaxCache becomes n.
  void SetCacheCount(int n);
  // Once per document load: every item ages by one load; unused ones too old leave.
  void BumpAndCheck();
  void Delete(int index);
  void Clear();

private:
  struct TEntry {
    std::u16string Name;
    std::unique_ptr<TBitmapItem> Item;
  };
  size_t LowerBound(const std::u16string& name) const;
  std::vector<TEntry> items_;
};

// ---- loading ----

// The kind the first four bytes name; the stream's position is kept.
TImageType GetImageType(TStream& stream);
// nullptr for no stream, fewer than 4 bytes, or data of no known kind. A decoder's error passes
// on as its exception. transparent: in, LLCorner asks for the lower-left colour to be
// transparent; out, the kind the image has. mask receives the mask, or nullptr.
std::unique_ptr<THtImage> LoadImageFromStream(TStream* stream, TTransparency& transparent,
                                              std::unique_ptr<TBitmap>& mask);
// nullptr when the file does not exist.
std::unique_ptr<THtImage> LoadImageFromFile(const std::u16string& name, TTransparency& transparent,
                                            std::unique_ptr<TBitmap>& mask);

// JPEG data to an opaque ARGB32-premultiplied picture (exposed for its tests). Raises
// EInvalidGraphic "JPEG error #N" when no line could be decoded; a picture cut short keeps the
// lines decoded, the rest grey.
QImage DecodeJpeg(const uint8_t* data, size_t size);

// Pictures larger than this many bytes at 4 bytes a pixel are refused before any pixel buffer
// is made.
inline constexpr int64_t ImageAllocationLimit = 128LL * 1024 * 1024;

// Raise EGDIPlus "Not a TBitmap, TGifImage, TMetafile, or TGpImage" for an empty image.
int GetImageWidth(const THtImage* image);
int GetImageHeight(const THtImage* image);

// The mask of the bitmap's transparent colour (color when useColor, else its lower-left pixel):
// white there, black elsewhere, and also white where the bitmap is already transparent. Those
// pixels are made transparent in the bitmap, whose Transparent flag is cleared.
std::unique_ptr<TBitmap> GetImageMask(TBitmap& bitmap, bool useColor, TColor color);
// Makes the lower-left pixel's colour transparent wherever it stands opaque in image (nothing
// when that pixel is transparent itself); ARGB32 stays ARGB32, other formats become
// premultiplied.
void MakeLowerLeftTransparent(QImage& image);

// A copy of the image for tiling: a width of 1 becomes min(w, 100), a height of 1 min(h, 100);
// other sizes stay.
std::unique_ptr<TBitmap> EnlargeImage(const THtImage& image, int w, int h);
std::unique_ptr<TBitmap> EnlargeImage(const TBitmap& bitmap, int w, int h);

// Pictures stretched to at most this many pixels are scaled in one piece; larger ones are drawn
// in tiles of what shows.
inline constexpr int64_t WholeScaleLimit = 4 * 1024 * 1024;
inline bool ScalesWhole(int64_t w, int64_t h) { return w > 0 && h > 0 && w * h <= WholeScaleLimit; }

// The picture (or its part source, when given) stretched over (x, y, w, h), transparent by its
// alpha: smoothly (clamped at the edges) or by nearest neighbour.
void DrawImageStretched(TCanvas& canvas, const QImage& image, int x, int y, int w, int h, bool smooth,
                        const QRect& source = QRect());
// A decoded image: bitmaps and imaging-layer pictures smoothly, an animated GIF's current
// frame by nearest neighbour.
void DrawImageStretched(TCanvas& canvas, const THtImage& image, int x, int y, int w, int h);
// An animated GIF's current frame; it notes where it was drawn.
void DrawGifStretched(TCanvas& canvas, TViewerGifPicture& gif, int x, int y, int w, int h);

// ---- image maps ----

class TMapArea {
public:
  enum TShape { Rect, Circle, Poly };

  std::u16string HRef;
  std::u16string Target;
  std::u16string Title;
  TShape Shape = Rect;
  // Rect: right and bottom excluded. Circle: centre and radius.
  int64_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  QPoint Centre;
  int64_t Radius = 0;
  std::vector<QPoint> Points;  // Poly

  // Whether the pixel (x, y) is in the area: a circle is symmetric about its centre pixel,
  // polygons fill by winding.
  bool PtInArea(int x, int y) const;
};

class TMapAreaList : public TFreeList<TMapArea> {};

class TMapItem {
public:
  static constexpr int MaxAreas = 1000;
  static constexpr int MaxCoords = 301;

  TMapAreaList Areas;
  std::u16string MapName;

  // One AREA element's attributes; ignored once the map is full, discarded with too few
  // coordinates for its shape.
  void AddArea(const TAttributeList& attributes);
  // The first area holding (x, y) decides: true, with a new target and the area's title, when it
  // has a link; false when it has none or no area holds the point.
  bool GetURL(int x, int y, std::unique_ptr<TUrlTarget>& urlTarget, std::u16string& title) const;
};

// Coordinates as written: tokens end at "," or " ", a token that is no number counts 0.
std::vector<int> ParseCoords(const std::u16string& text, int maxCount);

}  // namespace htmlview
