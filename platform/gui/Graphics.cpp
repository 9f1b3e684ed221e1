#include "platform/gui/Graphics.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRawFont>
#include <QStyle>
#include <QStyleOption>
#include <QTextLayout>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "platform/core/MulDiv.h"

namespace {

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Text as DrawText shows it: "&&" is one "&", "&x" underlines x (the last such marks the hot
// key), a "&" at the end shows nothing. hot is the index of the hot key in the result, or -1.
std::u16string StripPrefixes(const std::u16string& text, int& hot) {
  std::u16string shown;
  hot = -1;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'&') {
      shown += text[i];
      continue;
    }
    if (i + 1 == text.size()) break;
    ++i;
    if (text[i] != u'&') hot = static_cast<int>(shown.size());
    shown += text[i];
  }
  return shown;
}

bool IsBlank(char16_t c) { return c == u' '; }

struct TLine {
  size_t start, end;  // in the shown text
};

// Greedy breaking of shown[start, end) at blanks: a line takes words while it fits in width
// (its first word always), and the blanks at a break belong to no line.
void BreakWords(const std::u16string& shown, size_t start, size_t end, int width, const TTextMeasurer& m,
                const QFont& font, std::vector<TLine>& lines) {
  size_t pos = start;
  do {
    size_t fit = pos;
    bool any = false;
    for (size_t i = pos;;) {
      size_t e = i;
      while (e < end && IsBlank(shown[e])) ++e;
      while (e < end && !IsBlank(shown[e])) ++e;
      if (any && m.TextExtent(font, shown.substr(pos, e - pos)).cx > width) break;
      fit = e;
      any = true;
      if (e >= end) break;
      i = e;
    }
    lines.push_back({pos, fit});
    pos = fit;
    while (pos < end && IsBlank(shown[pos])) ++pos;
  } while (pos < end);
}

// ---- fonts and measurers ----

// Kerning and optional ligatures change a run's width by its neighbours; the platform's text
// extent has neither, and layout measures runs piece by piece, so they stay off in both
// measuring and drawing.
QFont PlainFont(const QFont& font) {
  if (!font.kerning() && (font.styleStrategy() & QFont::PreferNoShaping)) return font;
  QFont f(font);
  f.setKerning(false);
  f.setStyleStrategy(static_cast<QFont::StyleStrategy>(f.styleStrategy() | QFont::PreferNoShaping));
  return f;
}

}  // namespace

void RegisterWindowsFonts() {
  static const bool added = [] {
    for (const char* file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf",
                             "/usr/share/wine/fonts/ms_sans_serif.ttf"})
      if (QFile::exists(QString::fromUtf8(file))) QFontDatabase::addApplicationFont(QString::fromUtf8(file));
    return true;
  }();
  (void)added;
}

void UseProgramFonts() {
  RegisterWindowsFonts();
  const QFont font = QApplication::font();
  // Shaping stays on for the scripts that need it: the flag only spares the text that reads the
  // same without it.
  if (font.styleStrategy() & QFont::PreferNoShaping) return;
  QFont plain(font);
  plain.setStyleStrategy(static_cast<QFont::StyleStrategy>(font.styleStrategy() | QFont::PreferNoShaping));
  QApplication::setFont(plain);
}

QFont TFont::ToQFont() const {
  QFont f(Q(Name));
  f.setPixelSize(PixelSize > 0 ? PixelSize : std::max(1, MulDiv(Size, 96, 72)));
  f.setBold((Style & fsBold) != 0);
  f.setItalic((Style & fsItalic) != 0);
  f.setUnderline((Style & fsUnderline) != 0);
  f.setStrikeOut((Style & fsStrikeOut) != 0);
  return PlainFont(f);
}

TFont TFont::FromQFont(const QFont& font, TColor color) {
  TFont f;
  f.Name = font.family().toStdU16String();
  f.Size = font.pointSize() > 0 ? font.pointSize() : std::max(1, MulDiv(font.pixelSize(), 72, 96));
  f.Color = color;
  f.Style = (font.bold() ? fsBold : 0) | (font.italic() ? fsItalic : 0) | (font.underline() ? fsUnderline : 0) |
            (font.strikeOut() ? fsStrikeOut : 0);
  return f;
}

void TTextMeasurer::PartialExtents(const QFont& font, std::u16string_view text, std::vector<int>& widths) const {
  widths.assign(text.size(), 0);
  for (size_t i = 0; i < text.size(); ++i)
    widths[i] = IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])
                    ? (i > 0 ? widths[i - 1] : 0)
                    : TextExtent(font, std::u16string(text.substr(0, i + 1))).cx;
}

namespace {

// std::lround for the non-negative sums of advances, without a library call per character: the
// fraction of such a sum is exact, so the result is the same.
inline int RoundAdvance(double width) {
  if (!(width >= 0 && width < 1e15)) return static_cast<int>(std::lround(width));
  const long whole = static_cast<long>(width);
  return static_cast<int>(width - static_cast<double>(whole) >= 0.5 ? whole + 1 : whole);
}

// Characters whose advance does not depend on their neighbours once kerning and optional
// ligatures are off: scripts that need no shaping, without combining marks, controls, format
// characters or the soft hyphen (which Qt may draw or not).
bool OtherNeedsNoShaping(char16_t c) {
  if (c < 0x20) return false;
  if (c < 0x300) return c != 0xAD && (c < 0x7F || c >= 0xA0);
  if (c < 0x370) return false;                     // combining diacritics
  if (c < 0x530) return c < 0x483 || c > 0x489;    // Greek, Cyrillic
  if (c >= 0x1E00 && c < 0x2000) return true;      // Latin and Greek extended
  if (c >= 0x2010 && c < 0x2028) return true;      // dashes, quotes, bullets
  if (c >= 0x2030 && c < 0x205F) return true;
  if (c >= 0x20A0 && c < 0x20C0) return true;      // currency
  if (c >= 0x2100 && c < 0x27C0) return true;      // letterlike, arrows, symbols
  if (c >= 0x3000 && c < 0x3100) return c < 0x302A || c > 0x302F;  // CJK punctuation, kana
  if (c >= 0x4E00 && c < 0xA000) return true;      // CJK ideographs
  if (c >= 0xAC00 && c < 0xD7A4) return true;      // Hangul syllables
  return c >= 0xFF01 && c < 0xFF61;                // full-width forms
}

// Printable ASCII, most characters measured, without a call.
inline bool NeedsNoShaping(char16_t c) { return (c >= 0x20 && c < 0x7F) || OtherNeedsNoShaping(c); }

}  // namespace

namespace {
void ClearLiveCaches();
}  // namespace

// Advances by font, in pages of 256 characters made when first used; the last font asked for is
// found without a search, since layout measures many runs of one font in a row.
struct TQtTextMeasurer::TCache {
  struct TFontEntry {
    QFont Font;        // as asked for
    QFont Plain;       // as measured
    QFontMetricsF Metrics;
    int Height;
    bool Spaced;       // letter or word spacing: Qt adds it along a run, so no sums
    std::array<std::unique_ptr<std::array<float, 256>>, 256> Pages;
    explicit TFontEntry(const QFont& font)
        : Font(font), Plain(PlainFont(font)), Metrics(Plain), Height(QFontMetrics(Plain).height()),
          Spaced(Plain.wordSpacing() != 0 ||
                 (Plain.letterSpacing() != 0 &&
                  !(Plain.letterSpacingType() == QFont::PercentageSpacing && Plain.letterSpacing() == 100))) {}
    float Advance(char16_t c) {
      auto& page = Pages[c >> 8];
      if (!page) {
        page = std::make_unique<std::array<float, 256>>();
        page->fill(-1);
      }
      float& a = (*page)[c & 0xFF];
      if (a < 0) a = static_cast<float>(Metrics.horizontalAdvance(QChar(c)));
      return a;
    }
  };
  std::vector<std::unique_ptr<TFontEntry>> Fonts;
  TFontEntry* Last = nullptr;

  TFontEntry& For(const QFont& font) {
    if (Last && Last->Font == font) return *Last;
    for (auto& e : Fonts)
      if (e->Font == font) return *(Last = e.get());
    // A page of many fonts keeps a few dozen; past that the cache starts again.
    if (Fonts.size() >= 256) Fonts.clear();
    static const bool cleared = [] {
      qAddPostRoutine(ClearLiveCaches);
      return true;
    }();
    (void)cleared;
    Fonts.push_back(std::make_unique<TFontEntry>(font));
    return *(Last = Fonts.back().get());
  }
};

namespace {

// Fonts must not outlive the application (the global measurer does): its end empties every cache.
std::vector<TQtTextMeasurer::TCache*>& LiveCaches() {
  static std::vector<TQtTextMeasurer::TCache*> caches;
  return caches;
}

void ClearLiveCaches() {
  for (TQtTextMeasurer::TCache* c : LiveCaches()) {
    c->Fonts.clear();
    c->Last = nullptr;
  }
}

}  // namespace

TQtTextMeasurer::TQtTextMeasurer() : cache_(std::make_unique<TCache>()) { LiveCaches().push_back(cache_.get()); }

TQtTextMeasurer::~TQtTextMeasurer() {
  auto& live = LiveCaches();
  live.erase(std::remove(live.begin(), live.end(), cache_.get()), live.end());
}

TSize TQtTextMeasurer::TextExtent(const QFont& font, const std::u16string& text) const {
  if (text.empty()) return {};
  TCache::TFontEntry& e = cache_->For(font);
  if (!e.Spaced && std::all_of(text.begin(), text.end(), [](char16_t c) { return NeedsNoShaping(c); })) {
    double width = 0;
    for (char16_t c : text) width += e.Advance(c);
    return {RoundAdvance(width), e.Height};
  }
  return {QFontMetrics(e.Plain).horizontalAdvance(Q(text)), e.Height};
}

int TQtTextMeasurer::LineHeight(const QFont& font) const { return cache_->For(font).Height; }

void TQtTextMeasurer::PartialExtents(const QFont& font, std::u16string_view text, std::vector<int>& widths) const {
  widths.resize(text.size());
  if (text.empty()) return;
  TCache::TFontEntry& e = cache_->For(font);
  if (!e.Spaced && std::all_of(text.begin(), text.end(), [](char16_t c) { return NeedsNoShaping(c); })) {
    double width = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      width += e.Advance(text[i]);
      widths[i] = RoundAdvance(width);
    }
    return;
  }
  // Right-to-left text puts its prefixes at the run's right end: each is shaped on its own.
  const bool rightToLeft = std::any_of(text.begin(), text.end(), [](char16_t c) {
    const QChar::Direction d = QChar(c).direction();
    return d == QChar::DirR || d == QChar::DirAL || d == QChar::DirAN || d == QChar::DirRLE || d == QChar::DirRLO ||
           d == QChar::DirRLI;
  });
  if (rightToLeft) {
    const QFontMetrics fm(e.Plain);
    int last = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      const bool midPair = IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]);
      if (!midPair)
        last = std::max(last, fm.horizontalAdvance(QString::fromUtf16(text.data(), static_cast<qsizetype>(i + 1))));
      widths[i] = last;
    }
    return;
  }
  // Other shaped text: one layout of the whole run, read at every boundary (inside a cluster the
  // cursor stays at the cluster's start).
  const QString q = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
  QTextLayout layout(q, e.Plain);
  QTextOption option;
  option.setWrapMode(QTextOption::NoWrap);
  layout.setTextOption(option);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  layout.endLayout();
  if (!line.isValid()) {
    TTextMeasurer::PartialExtents(font, text, widths);
    return;
  }
  int last = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool midPair = IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]);
    if (!midPair) last = std::max(last, static_cast<int>(std::lround(line.cursorToX(static_cast<int>(i + 1)))));
    widths[i] = last;
  }
}

const TTextMeasurer& QtTextMeasurer() {
  static const TQtTextMeasurer measurer;
  return measurer;
}

int TFixedMeasurer::AdvanceFor(const QFont& font) const {
  if (ReferencePixels <= 0 || font.pixelSize() <= 0) return Advance;
  return std::max(1, Advance * font.pixelSize() / ReferencePixels);
}

TSize TFixedMeasurer::TextExtent(const QFont& font, const std::u16string& text) const {
  if (text.empty()) return {};
  int characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
    ++characters;
  }
  return {characters * AdvanceFor(font), LineHeight(font)};
}

int TFixedMeasurer::LineHeight(const QFont& font) const {
  if (ReferencePixels <= 0 || font.pixelSize() <= 0) return Height;
  return Height * font.pixelSize() / ReferencePixels;
}

void TFixedMeasurer::PartialExtents(const QFont& font, std::u16string_view text, std::vector<int>& widths) const {
  widths.resize(text.size());
  const int advance = AdvanceFor(font);
  int width = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!(IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))) width += advance;
    widths[i] = width;
  }
}

// ---- canvas ----

TCanvas::TCanvas(QPaintDevice* device) : device_(device) {}

TCanvas::TCanvas(QPainter& painter) : painter_(&painter) {
  if (painter.isActive() && painter.hasClipping()) {
    hasClip_ = true;
    clip_ = painter.clipRegion();
  }
}

TCanvas::~TCanvas() = default;

QPainter& TCanvas::P() {
  if (!painter_) {
    own_ = std::make_unique<QPainter>(device_);
    painter_ = own_.get();
    ApplyClip();
  }
  // The class library's drawing has no antialiasing: pixels land where the coordinates say.
  painter_->setRenderHint(QPainter::Antialiasing, false);
  return *painter_;
}

void TCanvas::Release() {
  if (own_) {
    own_.reset();
    painter_ = nullptr;
  }
}

namespace {

// Bresenham from (x0, y0) to (x, y), every pixel but the last.
void LinePixels(int x0, int y0, int x, int y, QPolygon& points) {
  const int dx = std::abs(x - x0), dy = -std::abs(y - y0);
  const int sx = x0 < x ? 1 : -1, sy = y0 < y ? 1 : -1;
  int err = dx + dy;
  while (x0 != x || y0 != y) {
    points << QPoint(x0, y0);
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

// The far plane that excluding from "no clip" starts with: large, yet far from overflowing when a
// printer's painter scales it to device pixels.
const QRect kPlane(-(1 << 24), -(1 << 24), 1 << 25, 1 << 25);

QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, std::max(0, r.Width()), std::max(0, r.Height())); }

}  // namespace

void TCanvas::LineTo(int x, int y) {
  const TPoint from = PenPos;
  PenPos = {x, y};
  if (Pen.Style == psClear) return;
  QPainter& p = P();
  if (Pen.Width > 1) {
    p.setPen(QPen(ToQColor(Pen.Color), Pen.Width, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPoint(from.X, from.Y), QPoint(x, y));
    return;
  }
  QPolygon points;
  LinePixels(from.X, from.Y, x, y, points);
  if (points.isEmpty()) return;
  p.setPen(QPen(ToQColor(Pen.Color), 1));
  p.drawPoints(points);
}

void TCanvas::FillRect(const TRect& rect) {
  if (Brush.Style == bsClear || rect.Width() <= 0 || rect.Height() <= 0) return;
  P().fillRect(QRect(rect.Left, rect.Top, rect.Width(), rect.Height()), ToQColor(Brush.Color));
}

void TCanvas::RoundRect(int x1, int y1, int x2, int y2, int x3, int y3) {
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  if (x2 - x1 < 2 || y2 - y1 < 2) return;
  QPainter& p = P();
  p.setPen(Pen.Style == psClear ? QPen(Qt::NoPen) : QPen(ToQColor(Pen.Color), std::max(1, Pen.Width)));
  p.setBrush(Brush.Style == bsClear ? QBrush(Qt::NoBrush) : QBrush(ToQColor(Brush.Color)));
  // A one-pixel pen on a rectangle of (w - 1) x (h - 1) covers the columns x1 .. x2 - 1.
  p.drawRoundedRect(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1), x3 / 2.0, y3 / 2.0, Qt::AbsoluteSize);
}

namespace {

Qt::PenStyle QtPenStyle(TPenStyle style) {
  switch (style) {
    case psDash:
      return Qt::DashLine;
    case psDot:
      return Qt::DotLine;
    case psClear:
      return Qt::NoPen;
    default:
      return Qt::SolidLine;
  }
}

}  // namespace

void TCanvas::Polygon(std::span<const TPoint> points, TPolyFillMode mode) {
  if (points.size() < 2) return;
  QPainter& p = P();
  if (Brush.Style != bsClear) {
    QPainterPath path;
    path.setFillRule(mode == pfWinding ? Qt::WindingFill : Qt::OddEvenFill);
    path.moveTo(points[0].X, points[0].Y);
    for (size_t i = 1; i < points.size(); ++i) path.lineTo(points[i].X, points[i].Y);
    path.closeSubpath();
    p.fillPath(path, ToQColor(Brush.Color));
  }
  if (Pen.Style == psClear) return;
  if (Pen.Width > 1) {
    QPolygon outline;
    for (const TPoint& q : points) outline << QPoint(q.X, q.Y);
    const Qt::PenJoinStyle join =
        Pen.Join == pjMiter ? Qt::MiterJoin : Pen.Join == pjBevel ? Qt::BevelJoin : Qt::RoundJoin;
    p.setPen(QPen(ToQColor(Pen.Color), Pen.Width, Qt::SolidLine, Qt::FlatCap, join));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(outline);
    return;
  }
  // Each side without its end pixel, which is where the next side begins: round the closed
  // outline every pixel comes once.
  QPolygon pixels;
  for (size_t i = 0; i < points.size(); ++i) {
    const TPoint& a = points[i];
    const TPoint& b = points[(i + 1) % points.size()];
    LinePixels(a.X, a.Y, b.X, b.Y, pixels);
  }
  if (pixels.isEmpty()) pixels << QPoint(points[0].X, points[0].Y);
  p.setPen(QPen(ToQColor(Pen.Color), 1));
  p.drawPoints(pixels);
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  const int w = x2 - x1, h = y2 - y1;
  const bool pen = Pen.Style != psClear && Pen.Width > 0;
  const bool brush = Brush.Style != bsClear;
  if (w <= 0 || h <= 0 || (!pen && !brush)) return;
  // Pixel by pixel: Qt's aliased ellipses of a few pixels come out square and shifted, and the
  // list markers are a few pixels wide.
  const int ring = pen ? Pen.Width : 0;
  const double cx = w / 2.0, cy = h / 2.0;
  auto inside = [](double dx, double dy, double rx, double ry) {
    if (rx <= 0 || ry <= 0) return false;
    const double u = dx / rx, v = dy / ry;
    return u * u + v * v <= 1.0;
  };
  QPainter& p = P();
  const QColor colors[3] = {QColor(), ToQColor(Pen.Color), ToQColor(Brush.Color)};
  // 0 outside, 1 the pen's ring, 2 the brush's inside.
  auto kind = [&](int i, int j) {
    const double dx = i + 0.5 - cx, dy = j + 0.5 - cy;
    if (!inside(dx, dy, cx, cy)) return 0;
    if (inside(dx, dy, cx - ring, cy - ring)) return brush ? 2 : 0;
    return pen ? 1 : 2;
  };
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w;) {
      const int k = kind(i, j);
      int end = i + 1;
      while (end < w && kind(end, j) == k) ++end;
      if (k != 0) p.fillRect(QRect(x1 + i, y1 + j, end - i, 1), colors[k]);
      i = end;
    }
}

void TCanvas::FillPath(const QPainterPath& path) {
  if (Brush.Style == bsClear || path.isEmpty()) return;
  P().fillPath(path, ToQColor(Brush.Color));
}

void TCanvas::StrokePath(const QPainterPath& path) {
  if (Pen.Style == psClear || path.isEmpty()) return;
  const Qt::PenJoinStyle join =
      Pen.Join == pjMiter ? Qt::MiterJoin : Pen.Join == pjBevel ? Qt::BevelJoin : Qt::RoundJoin;
  const Qt::PenCapStyle cap =
      Pen.EndCap == pcSquare ? Qt::SquareCap : Pen.EndCap == pcFlat ? Qt::FlatCap : Qt::RoundCap;
  P().strokePath(path, QPen(ToQColor(Pen.Color), std::max(1, Pen.Width), QtPenStyle(Pen.Style), cap, join));
}

// ---- clip ----

void TCanvas::ApplyClip() {
  if (!painter_) return;
  if (hasClip_)
    painter_->setClipRegion(clip_);
  else
    painter_->setClipping(false);
}

void TCanvas::SetClipRegion(const QRegion& region) {
  hasClip_ = true;
  clip_ = region;
  ApplyClip();
}

void TCanvas::ClearClip() {
  hasClip_ = false;
  clip_ = QRegion();
  ApplyClip();
}

void TCanvas::IntersectClipRect(const TRect& rect) {
  const QRegion r(ToQRect(rect));
  SetClipRegion(hasClip_ ? clip_.intersected(r) : r);
}

void TCanvas::ExcludeClipRect(const TRect& rect) { ExcludeClipRegion(QRegion(ToQRect(rect))); }

void TCanvas::ExcludeClipRegion(const QRegion& region) {
  SetClipRegion((hasClip_ ? clip_ : QRegion(kPlane)).subtracted(region));
}

namespace {
TRect FromQRect(const QRect& r) {
  if (r.isEmpty()) return {};
  return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}
}  // namespace

TRect TCanvas::DeviceRect() const {
  const bool painting = painter_ && painter_->isActive();
  const QPaintDevice* device = painting ? painter_->device() : device_;
  if (!device) return {};
  QRect bounds(0, 0, device->width(), device->height());
  if (painting) {
    bool invertible = false;
    const QTransform inverse = painter_->deviceTransform().inverted(&invertible);
    if (!invertible) return {};
    bounds = inverse.mapRect(QRectF(bounds)).toAlignedRect();
  }
  return FromQRect(bounds);
}

TRect TCanvas::VisibleRect() const {
  const TRect device = DeviceRect();
  if (!hasClip_) return device;
  return FromQRect(ToQRect(device) & clip_.boundingRect());
}

const QFont& TCanvas::QtFont() const {
  // A page's runs take turns among a few fonts (plain, bold, italic...): each is made once for
  // the canvas, and keeps the engine that Qt finds for it.
  auto same = [this](const TFont& f) {
    return f.PixelSize == Font.PixelSize && f.Size == Font.Size && f.Style == Font.Style && f.Color == Font.Color &&
           f.Name == Font.Name;
  };
  for (auto& [font, made] : qtFonts_)
    if (same(font)) return made;
  constexpr size_t kKept = 8;
  if (qtFonts_.size() < kKept) {
    qtFonts_.emplace_back(Font, Font.ToQFont());
    return qtFonts_.back().second;
  }
  auto& slot = qtFonts_[qtFontNext_++ % kKept];
  slot = {Font, Font.ToQFont()};
  return slot.second;
}

TSize TCanvas::TextExtent(const std::u16string& text) const { return Measurer->TextExtent(QtFont(), text); }

namespace {

// Glyphs of plain text, per font and resolution: for each character that needs no shaping, the
// glyph and the advance (in 64ths of a pixel) that Qt's own layout gives it, learnt once from Qt
// laying the character out. A run made only of such characters is drawn from them without being
// shaped again; it lands on the same pixels as QPainter::drawText, which sums the same advances.
// Bytes that glyph coverage and stamps hold in all fonts: past the budget, glyphs met for the
// first time, and new grounds, are left to Qt, so that a page of many thousand glyphs (a
// CJK page) keeps the memory flat.
size_t& StampBytes() {
  static size_t bytes = 0;
  return bytes;
}
constexpr size_t kStampBudget = 16 << 20;

struct TGlyphFont {
  struct TGlyph {
    quint32 Index = 0;
    int Advance = 0;
    uint8_t State = 0;  // 0 not learnt yet, 1 plain, 2 only drawText draws it alike
  };
  QFont Font;  // as asked for, at Dpi
  int Dpi;
  QRawFont Raw;
  int Ascent;
  // Decorations, spacing, capitals and glyphs too big for the glyph cache (drawn as outlines)
  // stay with drawText.
  bool Usable;
  std::array<std::unique_ptr<std::array<TGlyph, 256>>, 256> Pages;

  // What Qt's drawing of a glyph leaves on a ground of one colour, for each 64th of a pixel
  // past a whole one that the glyph may stand at. Places of equal coverage share a class; each
  // class has the box of the pixels it covers at all (relative to the whole pixel and the
  // baseline) and, per pen and ground, the pixels Qt leaves in that box.
  struct TStampBox {
    int Dx = 0, Dy = 0, W = 0, H = 0;
  };
  struct TStampInk {
    QRgb Pen, Ground;
    std::vector<std::vector<QRgb>> Pixels;  // per class
  };
  static constexpr uint8_t kUnknown = 255, kAsked = 254;
  struct TGlyphStamps {
    bool Usable = true;
    std::array<uint8_t, 64> ClassOf;
    std::vector<TStampBox> Boxes;              // per class
    std::vector<std::vector<QRgb>> Coverage;   // per class
    // Per class, the covered pixels as spans of rows: y, first x, last x + 1, in the box.
    std::vector<std::vector<std::array<int16_t, 3>>> Spans;
    std::vector<int> Sample;                   // per class: a 64th that stands for it
    std::vector<TStampInk> Inks;
    TGlyphStamps() { ClassOf.fill(kUnknown); }
  };
  std::unordered_map<quint32, TGlyphStamps> Stamps;

  TGlyphFont(const QFont& font, const QPaintDevice* device)
      : Font(font), Dpi(device->logicalDpiY()), Raw(QRawFont::fromFont(QFont(font, device))),
        Ascent(QFontMetrics(font).ascent()),
        Usable(Raw.isValid() && !font.underline() && !font.strikeOut() && !font.overline() &&
               font.wordSpacing() == 0 && font.capitalization() == QFont::MixedCase &&
               (font.letterSpacing() == 0 ||
                (font.letterSpacingType() == QFont::PercentageSpacing && font.letterSpacing() == 100)) &&
               Raw.pixelSize() > 0 && Raw.pixelSize() < 64) {}

  const TGlyph& Glyph(char16_t c, const QPaintDevice* device) {
    auto& page = Pages[c >> 8];
    if (!page) page = std::make_unique<std::array<TGlyph, 256>>();
    TGlyph& g = (*page)[c & 0xFF];
    if (g.State == 0) g = Learn(c, device);
    return g;
  }

  TGlyph Learn(char16_t c, const QPaintDevice* device) const {
    TGlyph g;
    g.State = 2;
    // A character the font lacks comes from another font (a fallback): drawText draws it.
    if (!NeedsNoShaping(c) || !Raw.supportsCharacter(QChar(c))) return g;
    // Twice the character: the second glyph's place is the first one's advance.
    QTextLayout layout(QString(2, QChar(c)), Font, device);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid()) return g;
    const QList<QGlyphRun> runs = layout.glyphRuns();
    // A character of another font (a fallback) is left to drawText.
    if (runs.size() != 1 || runs[0].rawFont() != Raw) return g;
    const QList<quint32> glyphs = runs[0].glyphIndexes();
    const QList<QPointF> places = runs[0].positions();
    if (glyphs.size() != 2 || places.size() != 2 || glyphs[0] != glyphs[1]) return g;
    const double advance = (places[1].x() - places[0].x()) * 64;
    if (advance < 0 || advance != std::floor(advance) || advance > 1 << 20) return g;
    g.Index = glyphs[0];
    g.Advance = static_cast<int>(advance);
    g.State = 1;
    return g;
  }

  // A stamp's cell: room around the glyph on every side, the baseline Cell() / 2 down.
  int Cell() const { return 2 * static_cast<int>(Raw.pixelSize()) + 8; }
  int Origin() const { return static_cast<int>(Raw.pixelSize()) / 2 + 4; }

  // Qt draws glyphs[i] at the 64th fracs[i] past a whole pixel, each in a cell of its own, pen
  // on ground, with the canvas's own settings.
  QImage Atlas(const std::vector<quint32>& glyphs, const std::vector<int>& fracs, QRgb pen, QRgb ground) const {
    const int cell = Cell(), n = static_cast<int>(glyphs.size());
    QImage image(cell * n, cell, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(ground));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor::fromRgb(pen));
    std::vector<QPointF> places(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
      places[static_cast<size_t>(i)] = QPointF(i * cell + Origin() + fracs[static_cast<size_t>(i)] / 64.0, 0);
    QGlyphRun run;
    run.setRawFont(Raw);
    run.setRawData(glyphs.data(), places.data(), n);
    p.drawGlyphRun(QPointF(0, cell / 2), run);
    return image;
  }

  // Classes for the places asked of a run's glyphs, in the run's order, from the glyphs drawn
  // white on black: there each pixel shows its coverage. Qt renders a glyph at a place of its
  // own when the run first needs it, as drawing the run would.
  void Classify(const std::vector<quint32>& glyphs, const std::vector<int>& fracs) {
    const QImage atlas = Atlas(glyphs, fracs, 0xFFFFFFFF, 0xFF000000);
    const int cell = Cell();
    for (size_t i = 0; i < glyphs.size(); ++i) {
      TGlyphStamps& s = Stamps[glyphs[i]];
      const int frac = fracs[i];
      const int x0 = static_cast<int>(i) * cell;
      int left = cell, top = cell, right = -1, bottom = -1;
      for (int y = 0; y < cell; ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(atlas.constScanLine(y)) + x0;
        QRgb any = 0;
        for (int x = 0; x < cell; ++x) any |= row[x];
        if (!(any & 0xFFFFFF)) continue;
        top = std::min(top, y);
        bottom = y;
        int first = 0, last = cell - 1;
        while (!(row[first] & 0xFFFFFF)) ++first;
        while (!(row[last] & 0xFFFFFF)) --last;
        left = std::min(left, first);
        right = std::max(right, last);
      }
      TStampBox box;
      std::vector<QRgb> coverage;
      if (right >= 0) {
        // A glyph that reaches its cell's edge may reach past it: Qt draws it.
        if (left == 0 || top == 0 || right == cell - 1 || bottom == cell - 1) s.Usable = false;
        box = {left - Origin(), top - cell / 2, right - left + 1, bottom - top + 1};
        for (int y = top; y <= bottom; ++y) {
          const QRgb* row = reinterpret_cast<const QRgb*>(atlas.constScanLine(y)) + x0;
          coverage.insert(coverage.end(), row + left, row + right + 1);
        }
      }
      size_t k = 0;
      while (k < s.Coverage.size() && !(s.Coverage[k] == coverage && s.Boxes[k].Dx == box.Dx &&
                                        s.Boxes[k].Dy == box.Dy && s.Boxes[k].W == box.W && s.Boxes[k].H == box.H))
        ++k;
      if (k == s.Coverage.size()) {
        if (k >= kAsked) s.Usable = false;
        std::vector<std::array<int16_t, 3>> spans;
        for (int y = 0; y < box.H; ++y)
          for (int x = 0; x < box.W;) {
            if (!(coverage[static_cast<size_t>(y * box.W + x)] & 0xFFFFFF)) {
              ++x;
              continue;
            }
            int end = x + 1;
            while (end < box.W && (coverage[static_cast<size_t>(y * box.W + end)] & 0xFFFFFF)) ++end;
            spans.push_back({static_cast<int16_t>(y), static_cast<int16_t>(x), static_cast<int16_t>(end)});
            x = end;
          }
        s.Spans.push_back(std::move(spans));
        StampBytes() += coverage.size() * sizeof(QRgb) + s.Spans.back().size() * sizeof(s.Spans.back()[0]) + sizeof(box);
        s.Coverage.push_back(std::move(coverage));
        s.Boxes.push_back(box);
        s.Sample.push_back(frac);
      }
      s.ClassOf[static_cast<size_t>(frac)] = static_cast<uint8_t>(std::min<size_t>(k, kAsked - 1));
    }
  }

  // The pixels of glyph's classes, pen on ground; null when the glyph has too many inks. Every
  // class's sample has been rendered by Qt already.
  const TStampInk* Ink(quint32 glyph, TGlyphStamps& s, QRgb pen, QRgb ground) const {
    TStampInk* ink = nullptr;
    for (TStampInk& i : s.Inks)
      if (i.Pen == pen && i.Ground == ground) ink = &i;
    if (!ink) {
      if (s.Inks.size() >= 16 || StampBytes() > kStampBudget) return nullptr;
      s.Inks.push_back({pen, ground, {}});
      ink = &s.Inks.back();
    }
    const size_t have = ink->Pixels.size();
    if (have == s.Boxes.size()) return ink;
    std::vector<quint32> glyphs(s.Boxes.size() - have, glyph);
    const std::vector<int> fracs(s.Sample.begin() + static_cast<std::ptrdiff_t>(have), s.Sample.end());
    const QImage atlas = Atlas(glyphs, fracs, pen, ground);
    const int cell = Cell();
    for (size_t k = have; k < s.Boxes.size(); ++k) {
      const TStampBox& b = s.Boxes[k];
      std::vector<QRgb> pixels;
      for (int y = 0; y < b.H; ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(atlas.constScanLine(cell / 2 + b.Dy + y)) +
                          static_cast<int>(k - have) * cell + Origin() + b.Dx;
        pixels.insert(pixels.end(), row, row + b.W);
      }
      StampBytes() += pixels.size() * sizeof(QRgb);
      ink->Pixels.push_back(std::move(pixels));
    }
    return ink;
  }
};

// A channel pair of x times a / 255, rounded as the raster engine rounds.
inline uint ByteMul(uint x, uint a) {
  uint t = (x & 0xFF00FF) * a;
  t = (t + ((t >> 8) & 0xFF00FF) + 0x800080) >> 8;
  t &= 0xFF00FF;
  x = ((x >> 8) & 0xFF00FF) * a;
  x = x + ((x >> 8) & 0xFF00FF) + 0x800080;
  x &= 0xFF00FF00;
  return x | t;
}

// An opaque pen over dst where a glyph covers coverage / 255 of the pixel.
inline QRgb BlendCoverage(QRgb dst, QRgb pen, int coverage) {
  if (coverage == 255) return pen;
  const uint s = ByteMul(pen, static_cast<uint>(coverage));
  return s + ByteMul(dst, qAlpha(~s));
}

// Where a run may be stamped straight into the pixels instead of drawn by Qt: an image of 32
// bits a pixel without alpha that the canvas's own painter paints untransformed with an opaque
// pen, and the part of it that the clip leaves.
struct TStampArea {
  QImage* Image;
  QRect Bounds;
};

struct TGlyphFonts {
  std::vector<std::unique_ptr<TGlyphFont>> Fonts;
  TGlyphFont* Last = nullptr;

  TGlyphFont& For(const QFont& font, const QPaintDevice* device) {
    const int dpi = device->logicalDpiY();
    if (Last && Last->Dpi == dpi && Last->Font == font) return *Last;
    for (auto& e : Fonts)
      if (e->Dpi == dpi && e->Font == font) return *(Last = e.get());
    if (Fonts.size() >= 256) {
      Fonts.clear();
      StampBytes() = 0;
    }
    Fonts.push_back(std::make_unique<TGlyphFont>(font, device));
    return *(Last = Fonts.back().get());
  }
};

TGlyphFonts& GlyphFonts() {
  static TGlyphFonts fonts;
  // Fonts must not outlive the application.
  static const bool registered = [] {
    qAddPostRoutine([] {
      GlyphFonts().Fonts.clear();
      GlyphFonts().Last = nullptr;
      StampBytes() = 0;
    });
    return true;
  }();
  (void)registered;
  return fonts;
}

// Draws text with its baseline's start at (x, baseline) from the learnt glyphs; false, with
// nothing drawn, when some character, the font or the painter needs drawText.
bool DrawPlainRun(QPainter& p, TGlyphFont& f, int x, int baseline, const std::u16string& text, QRgb pen,
                  const TStampArea* area) {
  if (!f.Usable || text.size() > 100000 || p.layoutDirection() == Qt::RightToLeft || !p.paintEngine() ||
      p.paintEngine()->type() != QPaintEngine::Raster)
    return false;
  // Whole-pixel moves only: the sums then meet drawText's to the 64th of a pixel.
  const QTransform t = p.deviceTransform();
  if (t.type() > QTransform::TxTranslate || t.dx() != std::floor(t.dx()) || t.dy() != std::floor(t.dy()))
    return false;
  thread_local std::vector<quint32> glyphs;
  thread_local std::vector<QPointF> places;
  glyphs.resize(text.size());
  places.resize(text.size());
  const QPaintDevice* device = p.device();
  long long along = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const TGlyphFont::TGlyph& g = f.Glyph(text[i], device);
    if (g.State != 1) return false;
    glyphs[i] = g.Index;
    places[i] = QPointF(static_cast<double>(along) / 64, 0);
    along += g.Advance;
  }
  QGlyphRun run;
  run.setRawFont(f.Raw);
  if (!area) {
    run.setRawData(glyphs.data(), places.data(), static_cast<int>(text.size()));
    p.drawGlyphRun(QPointF(x, baseline), run);
    return true;
  }
  // Glyph by glyph, in order: a glyph whose box lies on one ground takes the stamp Qt drew for
  // that ground; any other (over its neighbour, over two colours, under the clip's edge) is
  // drawn by Qt itself.
  uchar* bits = const_cast<uchar*>(area->Image->constBits());
  const qsizetype line = area->Image->bytesPerLine();
  thread_local std::vector<quint32> askGlyphs;
  thread_local std::vector<int> askFracs;
  thread_local std::vector<TGlyphFont::TGlyphStamps*> stamps;
  askGlyphs.clear();
  askFracs.clear();
  stamps.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const long long at = static_cast<long long>(x) * 64 + static_cast<long long>(places[i].x() * 64);
    const int frac = static_cast<int>(at & 63);
    auto found = f.Stamps.find(glyphs[i]);
    if (found == f.Stamps.end()) {
      found = f.Stamps.emplace(glyphs[i], TGlyphFont::TGlyphStamps()).first;
      if (StampBytes() > kStampBudget) found->second.Usable = false;
    }
    TGlyphFont::TGlyphStamps& s = *(stamps[i] = &found->second);
    if (s.Usable && s.ClassOf[static_cast<size_t>(frac)] == TGlyphFont::kUnknown) {
      s.ClassOf[static_cast<size_t>(frac)] = TGlyphFont::kAsked;
      askGlyphs.push_back(glyphs[i]);
      askFracs.push_back(frac);
    }
  }
  if (!askGlyphs.empty()) f.Classify(askGlyphs, askFracs);
  for (size_t i = 0; i < text.size(); ++i) {
    const long long at = static_cast<long long>(x) * 64 + static_cast<long long>(places[i].x() * 64);
    const int frac = static_cast<int>(at & 63);
    const long long whole = (at - frac) / 64;
    TGlyphFont::TGlyphStamps& s = *stamps[i];
    bool done = false;
    if (s.Usable && s.ClassOf[static_cast<size_t>(frac)] < TGlyphFont::kAsked) {
      const size_t k = s.ClassOf[static_cast<size_t>(frac)];
      const TGlyphFont::TStampBox& b = s.Boxes[k];
      const int left = static_cast<int>(whole) + b.Dx, top = baseline + b.Dy;
      // The part of the box that the image and the clip leave; Qt draws nothing beyond it.
      const int x0 = std::max(0, area->Bounds.left() - left), x1 = std::min(b.W, area->Bounds.right() + 1 - left);
      const int y0 = std::max(0, area->Bounds.top() - top), y1 = std::min(b.H, area->Bounds.bottom() + 1 - top);
      if (b.W == 0 || x0 >= x1 || y0 >= y1) {
        done = true;  // a glyph that covers no pixel there, or none that shows
      } else {
        // Qt leaves the pixels the glyph does not cover as they are, and blends the others with
        // what lies under them: where all of those show one ground, the stamp for that ground
        // is what Qt would leave. Mostly the whole box shows it, and the box is copied whole.
        auto row = [&](int y) { return reinterpret_cast<QRgb*>(bits + (top + y) * line) + left; };
        const QRgb ground = row(y0)[x0];
        thread_local std::vector<QRgb> groundRow;
        if (groundRow.size() < static_cast<size_t>(x1 - x0) || groundRow[0] != ground)
          groundRow.assign(std::max<size_t>(static_cast<size_t>(x1 - x0), 64), ground);
        bool wholeBox = true;
        for (int y = y0; wholeBox && y < y1; ++y)
          wholeBox = std::memcmp(row(y) + x0, groundRow.data(), static_cast<size_t>(x1 - x0) * sizeof(QRgb)) == 0;
        const auto& spans = s.Spans[k];
        QRgb under = ground;
        bool one = true, seen = wholeBox;
        if (!wholeBox) {
          for (const auto& span : spans) {
            if (span[0] < y0 || span[0] >= y1) continue;
            const QRgb* r = row(span[0]);
            for (int j = std::max<int>(span[1], x0); one && j < std::min<int>(span[2], x1); ++j) {
              if (!seen) {
                under = r[j];
                seen = true;
              } else if (r[j] != under) {
                one = false;
              }
            }
            if (!one) break;
          }
        }
        if (!seen) {
          done = true;  // no covered pixel shows
        } else if (!one) {
          // Over other ink: each covered pixel blended as the raster engine blends a glyph's
          // coverage on an image of 32 bits (coverage shows in the white-on-black drawing).
          const QRgb* cover = s.Coverage[k].data();
          for (const auto& span : spans) {
            if (span[0] < y0 || span[0] >= y1) continue;
            QRgb* r = row(span[0]);
            const QRgb* c = cover + span[0] * b.W;
            for (int j = std::max<int>(span[1], x0); j < std::min<int>(span[2], x1); ++j)
              r[j] = BlendCoverage(r[j], pen, qRed(c[j]));
          }
          done = true;
        } else if ((under >> 24) == 0xFF) {
          if (const TGlyphFont::TStampInk* ink = f.Ink(glyphs[i], s, pen, under)) {
            const QRgb* from = ink->Pixels[k].data();
            if (wholeBox) {
              for (int y = y0; y < y1; ++y) std::copy(from + y * b.W + x0, from + y * b.W + x1, row(y) + x0);
            } else {
              for (const auto& span : spans) {
                if (span[0] < y0 || span[0] >= y1) continue;
                const int a = std::max<int>(span[1], x0), e = std::min<int>(span[2], x1);
                if (a < e) std::copy(from + span[0] * b.W + a, from + span[0] * b.W + e, row(span[0]) + a);
              }
            }
            done = true;
          }
        }
      }
    }
    if (!done) {
      run.setRawData(&glyphs[i], &places[i], 1);
      p.drawGlyphRun(QPointF(x, baseline), run);
    }
  }
  return true;
}

}  // namespace

void TCanvas::TextCell(int x, int y, const std::u16string& text, int width) {
  if (text.empty()) return;
  QPainter& p = P();
  const QFont& font = QtFont();
  if (Brush.Style == bsSolid)
    p.fillRect(QRect(x, y, width, Measurer->LineHeight(font)), ToQColor(Brush.Color));
  p.setFont(font);
  p.setPen(ToQColor(Font.Color));
  // Qt places text by its baseline, the class library by the top of the cell.
  TGlyphFont& f = GlyphFonts().For(font, p.device());
  const QRgb pen = ToQColor(Font.Color).rgba();
  std::optional<TStampArea> area;
  if (qAlpha(pen) == 0xFF && own_ && !textClip_ && device_ && device_->devType() == QInternal::Image &&
      static_cast<QImage*>(device_)->format() == QImage::Format_RGB32 && p.deviceTransform().isIdentity() &&
      p.compositionMode() == QPainter::CompositionMode_SourceOver && p.opacity() == 1.0 &&
      (!hasClip_ || clip_.rectCount() == 1)) {
    QImage* image = static_cast<QImage*>(device_);
    QRect bounds = image->rect();
    if (hasClip_) bounds &= clip_.boundingRect();
    area = TStampArea{image, bounds};
  }
  if (!DrawPlainRun(p, f, x, y + f.Ascent, text, pen, area ? &*area : nullptr))
    p.drawText(QPoint(x, y + f.Ascent), Q(text));
}

void TCanvas::TextOut(int x, int y, const std::u16string& text) {
  const TSize size = TextExtent(text);
  if (CanvasOrientation == coRightToLeft) x += size.cx + 1;
  TextCell(x, y, text, size.cx);
  PenPos = {x + size.cx, y};
}

int TCanvas::DrawText(const std::u16string& text, TRect& rect, unsigned format) {
  int hot = -1;
  const std::u16string shown = (format & DT_NOPREFIX) ? text : StripPrefixes(text, hot);
  const QFont font = QtFont();

  std::vector<TLine> lines;
  if (format & DT_SINGLELINE) lines.push_back({0, shown.size()});
  for (size_t start = 0; !(format & DT_SINGLELINE) && start < shown.size();) {
    size_t end = start;
    while (end < shown.size() && shown[end] != u'\r' && shown[end] != u'\n') ++end;
    if (format & DT_WORDBREAK)
      BreakWords(shown, start, end, rect.Width(), *Measurer, font, lines);
    else
      lines.push_back({start, end});
    if (end < shown.size() && shown[end] == u'\r' && end + 1 < shown.size() && shown[end + 1] == u'\n') ++end;
    start = end + 1;
  }

  const int lineHeight = Measurer->LineHeight(font);
  const int height = static_cast<int>(lines.size()) * lineHeight;
  if (format & DT_CALCRECT) {
    int widest = 0;
    for (const TLine& l : lines)
      widest = std::max(widest, Measurer->TextExtent(font, shown.substr(l.start, l.end - l.start)).cx);
    rect.Right = rect.Left + widest;
    rect.Bottom = rect.Top + height;
    return height;
  }

  QPainter& p = P();
  const bool clip = !(format & DT_NOCLIP);
  // The lines' own clip is the painter's alone: no stamps go past it.
  struct TTextClip {
    bool& on;
    bool was;
    ~TTextClip() { on = was; }
  } textClip{textClip_, textClip_};
  if (clip) {
    textClip_ = true;
    p.save();
    p.setClipRect(QRect(rect.Left, rect.Top, std::max(0, rect.Width()), std::max(0, rect.Height())),
                  Qt::IntersectClip);
  }
  int y = rect.Top;
  if ((format & DT_SINGLELINE) && (format & DT_VCENTER)) y += (rect.Height() - lineHeight) / 2;
  for (const TLine& l : lines) {
    const std::u16string line = shown.substr(l.start, l.end - l.start);
    const int width = Measurer->TextExtent(font, line).cx;
    int x = rect.Left;
    if (format & DT_CENTER)
      x += (rect.Width() - width) / 2;
    else if (format & DT_RIGHT)
      x = rect.Right - width;
    TextCell(x, y, line, width);
    if (hot >= static_cast<int>(l.start) && hot < static_cast<int>(l.end)) {
      const size_t at = static_cast<size_t>(hot) - l.start;
      const size_t length = IsHighSurrogate(line[at]) && at + 1 < line.size() ? 2 : 1;
      const int from = x + Measurer->TextExtent(font, line.substr(0, at)).cx;
      const int to = x + Measurer->TextExtent(font, line.substr(0, at + length)).cx;
      const int under = y + QFontMetrics(font).ascent() + 1;
      p.fillRect(QRect(from, under, to - from, 1), ToQColor(Font.Color));
    }
    y += lineHeight;
  }
  if (clip) p.restore();
  return height;
}

void TCanvas::DrawFocusRect(const TRect& rect) {
  if (rect.Width() <= 0 || rect.Height() <= 0) return;
  // The edge walked round once, so that no pixel is inverted twice.
  std::vector<QPoint> edge;
  const int right = rect.Right - 1, bottom = rect.Bottom - 1;
  for (int x = rect.Left; x <= right; ++x) edge.emplace_back(x, rect.Top);
  for (int y = rect.Top + 1; y <= bottom; ++y) edge.emplace_back(right, y);
  for (int x = right - 1; bottom > rect.Top && x >= rect.Left; --x) edge.emplace_back(x, bottom);
  for (int y = bottom - 1; right > rect.Left && y > rect.Top; --y) edge.emplace_back(rect.Left, y);
  std::vector<QPoint> dots;
  for (size_t i = 0; i < edge.size(); i += 2) dots.push_back(edge[i]);
  QPainter& p = P();
  p.save();
  p.setCompositionMode(QPainter::RasterOp_NotDestination);
  p.setPen(QPen(Qt::black, 0));
  p.drawPoints(dots.data(), static_cast<int>(dots.size()));
  p.restore();
}

void TCanvas::DrawImage(int x, int y, const QImage& image) {
  if (!image.isNull()) P().drawImage(QPoint(x, y), image);
}

void TCanvas::Draw(int x, int y, const TBitmap& bitmap) {
  if (bitmap.Empty()) return;
  if (!bitmap.Transparent) {
    DrawImage(x, y, bitmap.Image());
    return;
  }
  QImage masked = bitmap.Image().convertToFormat(QImage::Format_ARGB32);
  const QRgb key = ToQColor(bitmap.TransparentColor()).rgb() & 0xFFFFFF;
  for (int row = 0; row < masked.height(); ++row) {
    auto* line = reinterpret_cast<QRgb*>(masked.scanLine(row));
    for (int col = 0; col < masked.width(); ++col)
      if ((line[col] & 0xFFFFFF) == key) line[col] = 0;
  }
  DrawImage(x, y, masked);
}

// ---- bitmaps and image lists ----

TBitmap::~TBitmap() = default;

void TBitmap::SetSize(int width, int height) {
  if (canvas_) canvas_->Release();
  image_ = QImage(std::max(0, width), std::max(0, height), QImage::Format_RGB888);
  image_.fill(Qt::black);
}

TColor TBitmap::TransparentColor() const {
  const QImage& image = Image();
  if (image.isNull()) return clBlack;
  const QRgb c = image.pixel(0, image.height() - 1);
  return RGB(qRed(c), qGreen(c), qBlue(c));
}

void TBitmap::SetMonochrome() {
  if (image_.isNull() || Monochrome()) return;
  const QImage rgb = Image().convertToFormat(QImage::Format_RGB32);
  QImage mono(rgb.size(), QImage::Format_Mono);
  mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  for (int y = 0; y < rgb.height(); ++y)
    for (int x = 0; x < rgb.width(); ++x) mono.setPixel(x, y, qGray(rgb.pixel(x, y)) >= 128 ? 1 : 0);
  image_ = std::move(mono);
}

bool TBitmap::LoadFromResourceName(const std::u16string& name) {
  QImage loaded;
  if (name.empty() || !loaded.load(QStringLiteral(":/bitmaps/") + Q(name))) return false;
  if (canvas_) canvas_->Release();
  image_ = loaded.convertToFormat(QImage::Format_RGB888);
  return true;
}

TCanvas& TBitmap::Canvas() {
  // Qt paints on no 1-bit image: a monochrome picture becomes a 24-bit one of the same pixels.
  if (Monochrome()) image_ = image_.convertToFormat(QImage::Format_RGB888);
  if (!canvas_) canvas_ = std::make_unique<TCanvas>(&image_);
  return *canvas_;
}

const QImage& TBitmap::Image() const {
  if (canvas_) canvas_->Release();
  return image_;
}

QImage& TBitmap::Image() {
  if (canvas_) canvas_->Release();
  return image_;
}

int TImageList::Add(const QImage& image) {
  QImage copy = image.convertToFormat(QImage::Format_ARGB32);
  if (copy.width() != Width || copy.height() != Height) copy = copy.scaled(Width, Height);
  images_.push_back(std::move(copy));
  return Count() - 1;
}

void TImageList::Draw(TCanvas& canvas, int x, int y, int index, bool enabled) const {
  if (index < 0 || index >= Count()) return;
  const QImage& image = images_[static_cast<size_t>(index)];
  if (enabled) {
    canvas.DrawImage(x, y, image);
    return;
  }
  QStyleOption option;
  option.palette = QApplication::palette();
  canvas.DrawImage(
      x, y, QApplication::style()->generatedIconPixmap(QIcon::Disabled, QPixmap::fromImage(image), &option).toImage());
}

