#pragma once
// The drawing seam: a canvas over QPainter on any paint device (a widget while it paints, an
// image in tests), with the class library's coordinates: rectangles exclude their right and bottom
// edges, LineTo stops short of its end pixel, and text is placed by the top-left corner of its cell.
// All text is measured through a TTextMeasurer, so that layout can be tested on fixed advances.
#include <QFont>
#include <QImage>
#include <QRegion>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/gui/Colors.h"

class QPainter;
class QPaintDevice;
class QPainterPath;

struct TPoint {
  int X = 0, Y = 0;
  bool operator==(const TPoint&) const = default;
};

struct TSize {
  int cx = 0, cy = 0;
  bool operator==(const TSize&) const = default;
};

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  TRect Offset(int dx, int dy) const { return {Left + dx, Top + dy, Right + dx, Bottom + dy}; }
  bool operator==(const TRect&) const = default;
};

// Font styles, one bit each.
inline constexpr unsigned fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8;

// A font as the class library describes it: a face, a size in points at 96 pixels per inch (so
// that sizes in pixels never depend on the screen), a colour and styles. PixelSize, when above 0,
// is the size in pixels and overrides Size: a size that came in pixels keeps them exactly (not
// every pixel size is a whole number of points).
struct TFont {
  std::u16string Name = u"MS Sans Serif";
  int Size = 8;
  TColor Color = clWindowText;
  unsigned Style = 0;
  int PixelSize = 0;

  // Without kerning or optional ligatures, as every TQtTextMeasurer measures: what is measured is
  // what is drawn.
  QFont ToQFont() const;
  // The font of a widget or painter, given the colour that Qt keeps apart from fonts.
  static TFont FromQFont(const QFont& font, TColor color);
  bool operator==(const TFont&) const = default;
};

// The faces the program's windows and pages name that fontconfig does not know by itself ("Tahoma"
// and "MS Sans Serif" of fonts-wine) become known to the process. Needs a GUI application; the
// first call does the work.
void RegisterWindowsFonts();
// Readies the process's fonts before its first window is made: the faces registered, and the
// application's font, from which every widget's font inherits what it does not set itself, drawing
// the characters held without ligatures (a font's own ligature would turn "TM" into a trade-mark
// sign). Call once the application exists; later calls change nothing.
void UseProgramFonts();

// Dashes and dots are Qt's patterns, scaled by the pen's width; only StrokePath draws them (lines,
// rectangles and outlines draw them solid).
enum TPenStyle { psSolid, psClear, psDash, psDot };
// How a wide pen joins the segments of a path and ends an open one.
enum TPenJoin { pjRound, pjMiter, pjBevel };
enum TPenEndCap { pcRound, pcSquare, pcFlat };
struct TPen {
  TColor Color = clBlack;
  int Width = 1;
  TPenStyle Style = psSolid;
  TPenJoin Join = pjRound;
  TPenEndCap EndCap = pcRound;
};

// Which parts of a self-crossing polygon are filled: alternate fills where a ray from the point
// crosses the outline an odd number of times, winding wherever the outline winds round it.
enum TPolyFillMode { pfAlternate, pfWinding };

enum TBrushStyle { bsSolid, bsClear };
struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = bsSolid;
};

enum TCanvasOrientation { coLeftToRight, coRightToLeft };

// Measures text in a font. Empty text measures (0, 0).
class TTextMeasurer {
public:
  virtual ~TTextMeasurer() = default;
  virtual TSize TextExtent(const QFont& font, const std::u16string& text) const = 0;
  // The height of one line of text.
  virtual int LineHeight(const QFont& font) const = 0;
  // The width of every prefix of text in one call: widths[i] is the width of text's first i + 1
  // code units (the first half of a surrogate pair adds nothing). This default measures each
  // prefix; measurers override it with one pass.
  virtual void PartialExtents(const QFont& font, std::u16string_view text, std::vector<int>& widths) const;
};

// Qt's font metrics, measured with kerning and optional ligatures off whatever the font asks
// (as TFont::ToQFont draws). The advances of characters that need no shaping are cached per font,
// so that a run measures as a sum of its characters; other text goes through Qt's shaping. Like
// fonts, it is for the GUI thread.
class TQtTextMeasurer final : public TTextMeasurer {
public:
  TQtTextMeasurer();
  ~TQtTextMeasurer() override;
  TSize TextExtent(const QFont& font, const std::u16string& text) const override;
  int LineHeight(const QFont& font) const override;
  void PartialExtents(const QFont& font, std::u16string_view text, std::vector<int>& widths) const override;

  struct TCache;

private:
  std::unique_ptr<TCache> cache_;
};
const TTextMeasurer& QtTextMeasurer();

// Every character (a surrogate pair is one) Advance pixels wide and every line Height high: layout
// tests that must not depend on installed fonts. With a ReferencePixels above 0 the metrics follow
// the font's pixel size in fixed ratios: a font of p pixels has an advance of Advance * p /
// ReferencePixels (at least 1) and a height of Height * p / ReferencePixels, rounded down; a font
// without a pixel size measures as one of ReferencePixels. Without it, every font measures alike.
class TFixedMeasurer final : public TTextMeasurer {
public:
  TFixedMeasurer(int advance, int height, int referencePixels = 0)
      : Advance(advance), Height(height), ReferencePixels(referencePixels) {}
  TSize TextExtent(const QFont& font, const std::u16string& text) const override;
  int LineHeight(const QFont& font) const override;
  void PartialExtents(const QFont& font, std::u16string_view text, std::vector<int>& widths) const override;
  // The advance of one character in font.
  int AdvanceFor(const QFont& font) const;
  int Advance, Height;
  int ReferencePixels;
};

// DrawText's formats.
inline constexpr unsigned DT_LEFT = 0x0, DT_CENTER = 0x1, DT_RIGHT = 0x2, DT_VCENTER = 0x4, DT_WORDBREAK = 0x10,
                          DT_SINGLELINE = 0x20, DT_NOCLIP = 0x100, DT_CALCRECT = 0x400, DT_NOPREFIX = 0x800;

class TBitmap;

class TCanvas {
public:
  // Paints on device; the painter begins with the first drawing and ends with Release or the
  // canvas.
  explicit TCanvas(QPaintDevice* device);
  // Paints with a painter that is already active (a widget's paint event).
  explicit TCanvas(QPainter& painter);
  ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  TFont Font;
  TPen Pen;
  TBrush Brush;
  TCanvasOrientation CanvasOrientation = coLeftToRight;
  TPoint PenPos;
  // Never null; outlives the canvas.
  const TTextMeasurer* Measurer = &QtTextMeasurer();

  void MoveTo(int x, int y) { PenPos = {x, y}; }
  // A line from PenPos to (x, y) without its end pixel; PenPos becomes (x, y).
  void LineTo(int x, int y);
  // Fills Left..Right - 1, Top..Bottom - 1 with the brush.
  void FillRect(const TRect& rect);
  // The outline (pen) on the columns x1 and x2 - 1 and the rows y1 and y2 - 1, corners rounded by
  // an ellipse of x3 x y3; the inside filled with the brush.
  void RoundRect(int x1, int y1, int x2, int y2, int x3, int y3);
  // The polygon through points, filled with the brush (pixels whose centres lie inside, so the
  // right and bottom edges stay out) and outlined with the pen through the points' own pixels.
  void Polygon(std::span<const TPoint> points, TPolyFillMode mode = pfAlternate);
  // The ellipse inscribed in x1..x2 - 1, y1..y2 - 1: the pixels whose centres lie inside it; the
  // outer Pen.Width rings of them in the pen's colour, the rest with the brush.
  void Ellipse(int x1, int y1, int x2, int y2);
  // A path filled with the brush (by the path's own fill rule) or stroked along its middle with the
  // pen: its width, dashes, joins and ends.
  void FillPath(const QPainterPath& path);
  void StrokePath(const QPainterPath& path);

  // The clip region, in the canvas's own coordinates: drawing shows only inside it. A canvas
  // starts without one (a painter that is handed over keeps the clip it has).
  bool HasClip() const { return hasClip_; }
  const QRegion& ClipRegion() const { return clip_; }
  void SetClipRegion(const QRegion& region);
  // No clip: the whole device shows again.
  void ClearClip();
  // Narrows the clip to rect (right and bottom edges excluded); without a clip, rect becomes it.
  void IntersectClipRect(const TRect& rect);
  // Cuts rect or region out of the clip; without a clip, out of the whole plane.
  void ExcludeClipRect(const TRect& rect);
  void ExcludeClipRegion(const QRegion& region);
  // The device's bounds in the canvas's coordinates (through the painter's transform), and the
  // part of them within the clip: what drawing can reach. Drawing that is far larger than its
  // device need make only that part.
  TRect DeviceRect() const;
  TRect VisibleRect() const;

  // Text with its cell's top-left corner at (x, y), on the brush unless the brush is clear; a
  // right-to-left canvas draws it at x + width + 1. The pen moves to the end of the text.
  void TextOut(int x, int y, const std::u16string& text);
  TSize TextExtent(const std::u16string& text) const;
  int TextWidth(const std::u16string& text) const { return TextExtent(text).cx; }
  int TextHeight(const std::u16string& text) const { return TextExtent(text).cy; }
  // Text in rect by format (DT_ flags): lines break at CR and LF and, with DT_WORDBREAK, at
  // blanks where a line would pass the right edge; "&" marks the hot key unless DT_NOPREFIX. With
  // DT_CALCRECT nothing is drawn and rect's right and bottom edges are set to the text's. With
  // DT_SINGLELINE the text is one line whatever it holds, centred in rect's height with
  // DT_VCENTER. Returns the height of the text.
  int DrawText(const std::u16string& text, TRect& rect, unsigned format);
  // A dotted frame on rect's edge pixels, every other one inverted: drawn twice, it is gone.
  void DrawFocusRect(const TRect& rect);

  void Draw(int x, int y, const TBitmap& bitmap);
  void DrawImage(int x, int y, const QImage& image);

  // Ends a painter of the canvas's own, so that its device can be read; drawing begins it again.
  void Release();

private:
  QPainter& P();
  // Font as Qt's font, made again only when Font changes.
  const QFont& QtFont() const;
  void TextCell(int x, int y, const std::u16string& text, int width);
  void ApplyClip();

  QPaintDevice* device_ = nullptr;
  std::unique_ptr<QPainter> own_;
  QPainter* painter_ = nullptr;
  bool hasClip_ = false;
  QRegion clip_;
  bool textClip_ = false;  // DrawText's clip is on the painter
  mutable std::vector<std::pair<TFont, QFont>> qtFonts_;
  mutable size_t qtFontNext_ = 0;
};

// A picture over QImage, 24 bits a pixel unless made monochrome.
class TBitmap {
public:
  TBitmap() = default;
  TBitmap(int width, int height) { SetSize(width, height); }
  ~TBitmap();
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const { return image_.width(); }
  int Height() const { return image_.height(); }
  bool Empty() const { return image_.isNull(); }
  // A new black picture of that size.
  void SetSize(int width, int height);

  // Drawn without the pixels of TransparentColor: the colour of the bottom-left pixel.
  bool Transparent = false;
  TColor TransparentColor() const;

  // Turns every pixel black or white by its luminance (1 bit a pixel).
  void SetMonochrome();
  bool Monochrome() const { return image_.format() == QImage::Format_Mono; }

  // The bitmap resource of that name (":/bitmaps/<name>"); false, with the picture unchanged,
  // when there is none.
  bool LoadFromResourceName(const std::u16string& name);

  TCanvas& Canvas();
  // The pixels, after whatever the canvas drew.
  const QImage& Image() const;
  QImage& Image();

private:
  QImage image_;
  std::unique_ptr<TCanvas> canvas_;
};

// A list of pictures of one size, drawn by index.
class TImageList {
public:
  explicit TImageList(int width = 16, int height = 16) : Width(width), Height(height) {}
  int Width, Height;
  int Count() const { return static_cast<int>(images_.size()); }
  // Adds image (scaled to the list's size when it differs); returns its index.
  int Add(const QImage& image);
  const QImage& Image(int index) const { return images_.at(static_cast<size_t>(index)); }
  // Image index at (x, y); disabled, greyed as the platform greys disabled icons. Nothing for an
  // index outside the list.
  void Draw(TCanvas& canvas, int x, int y, int index, bool enabled = true) const;

private:
  std::vector<QImage> images_;
};
