#include "htmlview/HtmlShared.h"

#include <QChar>
#include <QWidget>
#include <QPainterPath>
#include <algorithm>
#include <climits>
#include <cmath>
#include <unordered_set>

#include "htmlview/StyleValues.h"

// The resources of a static library are registered by hand, outside any namespace.
static void InitViewerResources() {
  static const bool done = [] {
    Q_INIT_RESOURCE(htmlview);
    return true;
  }();
  (void)done;
}

namespace htmlview {

// ---- selection text ----

namespace {
constexpr char16_t kControlMark = 2, kImageMark = 4, kBreakMark = 8;
}  // namespace

void SelTextCount::AddText(const char16_t* p, int size) {
  for (int i = 0; i < size; ++i) {
    const char16_t c = p[i];
    if (c == kBreakMark)
      Leng += 2;
    else if (c != kImageMark && c != kControlMark)
      ++Leng;
  }
}

int SelTextCount::Terminate() { return Leng; }

SelTextBuf::SelTextBuf(char16_t* buffer, int size) : Buffer(buffer), BufferLeng(std::max(0, size)) {}

void SelTextBuf::AddText(const char16_t* p, int size) {
  const int room = BufferLeng - 1;
  for (int i = 0; i < size && Leng < room; ++i) {
    const char16_t c = p[i];
    if (c == kBreakMark) {
      // Half a line end is worse than none.
      if (Leng + 2 > room) break;
      Buffer[Leng++] = u'\r';
      Buffer[Leng++] = u'\n';
    } else if (c != kImageMark && c != kControlMark) {
      Buffer[Leng++] = c;
    }
  }
}

int SelTextBuf::Terminate() {
  if (BufferLeng < 1) return 0;
  Buffer[Leng] = 0;
  return Leng + 1;
}

// ---- character buffers ----
// Both grow geometrically: a fixed step would copy a long text once per step.

TCharCollection::TCharCollection() {
  Chars.resize(300);
  Indices.resize(300);
}

void TCharCollection::Grow(int needed) {
  if (needed <= static_cast<int>(Chars.size())) return;
  const size_t n = std::max(static_cast<size_t>(needed), Chars.size() * 2);
  Chars.resize(n);
  Indices.resize(n);
}

void TCharCollection::Add(char16_t ch, int index) {
  Grow(size_ + 1);
  Chars[static_cast<size_t>(size_)] = ch;
  Indices[static_cast<size_t>(size_)] = index;
  ++size_;
}

void TCharCollection::Concat(const std::u16string& s, int index) {
  const int n = static_cast<int>(s.size());
  Grow(size_ + n);
  std::copy(s.begin(), s.end(), Chars.begin() + size_);
  std::fill(Indices.begin() + size_, Indices.begin() + size_ + n, index);
  size_ += n;
}

void TCharCollection::Clear() { size_ = 0; }

TokenObj::TokenObj() {
  C.resize(300);
  I.resize(300);
}

void TokenObj::Grow(int needed) {
  if (needed <= MaxIndex()) return;
  const size_t n = std::max(static_cast<size_t>(needed) + 50, C.size() * 2);
  C.resize(n);
  I.resize(n);
}

void TokenObj::AddUnicodeChar(char16_t ch, int index) {
  Grow(Leng + 1);
  C[static_cast<size_t>(Leng)] = ch;
  I[static_cast<size_t>(Leng)] = index;
  ++Leng;
  stringOK_ = false;
}

void TokenObj::AddString(const TCharCollection& s) {
  const int n = s.Size();
  if (n == 0) return;
  Grow(Leng + n);
  std::copy(s.Chars.begin(), s.Chars.begin() + n, C.begin() + Leng);
  std::copy(s.Indices.begin(), s.Indices.begin() + n, I.begin() + Leng);
  Leng += n;
  stringOK_ = false;
}

void TokenObj::AddString(const std::u16string& s, int index) {
  const int n = static_cast<int>(s.size());
  if (n == 0) return;
  Grow(Leng + n);
  std::copy(s.begin(), s.end(), C.begin() + Leng);
  std::fill(I.begin() + Leng, I.begin() + Leng + n, index);
  Leng += n;
  stringOK_ = false;
}

void TokenObj::Clear() {
  Leng = 0;
  string_.clear();
  stringOK_ = true;
}

void TokenObj::SetCapacity(int n) {
  n = std::max(0, n);
  C.resize(static_cast<size_t>(n));
  I.resize(static_cast<size_t>(n));
  if (Leng > n) {
    Leng = n;
    if (stringOK_) string_.resize(static_cast<size_t>(n));
  }
}

const std::u16string& TokenObj::S() {
  if (!stringOK_) {
    string_.assign(C.begin(), C.begin() + Leng);
    stringOK_ = true;
  }
  return string_;
}

// ---- indent manager ----

void TIndentManager::Reset(int lfEdge, int width) {
  LfEdge = lfEdge;
  Width = width;
  L.clear();
  R.clear();
  CurrentID = nullptr;
}

void TIndentManager::UpdateBlock(int lfEdge) {
  LfEdge = lfEdge;
  CurrentID = nullptr;
}

// However many floats stand side by side, their edges stay on the page.
void TIndentManager::AddLeft(int yt, int yb, int w) {
  L.push_back({CapCoord(static_cast<long long>(LeftIndent(yt)) + w), yt, yb, nullptr});
}

void TIndentManager::AddRight(int yt, int yb, int w) {
  R.push_back({CapCoord(static_cast<long long>(RightSide(yt)) - w), yt, yb, nullptr});
}

int TIndentManager::SetLeftEdge(int x, int y) {
  L.push_back({x, y, 9999999, CurrentID});
  return static_cast<int>(L.size()) - 1;
}

int TIndentManager::SetRightEdge(int x, int y) {
  R.push_back({x, y, 9999999, CurrentID});
  return static_cast<int>(R.size()) - 1;
}

void TIndentManager::DeleteLeft(int index) {
  if (index >= 0 && index < static_cast<int>(L.size())) L.erase(L.begin() + index);
}

void TIndentManager::DeleteRight(int index) {
  if (index >= 0 && index < static_cast<int>(R.size())) R.erase(R.begin() + index);
}

int TIndentManager::LastLeftOfBlock() const {
  if (CurrentID != nullptr)
    for (auto it = L.rbegin(); it != L.rend(); ++it)
      if (it->ID == CurrentID) return it->X;
  return 0;
}

int TIndentManager::LastRightOfBlock(bool& found) const {
  found = false;
  if (CurrentID != nullptr)
    for (auto it = R.rbegin(); it != R.rend(); ++it)
      if (it->ID == CurrentID) {
        found = true;
        return it->X;
      }
  return 0;
}

int TIndentManager::LeftIndent(int y) const {
  bool any = false;
  int x = 0;
  for (const IndentRec& r : L)
    if (Counts(r) && y >= r.YT && y < r.YB && (!any || r.X > x)) {
      x = r.X;
      any = true;
    }
  return any ? x : LastLeftOfBlock();
}

int TIndentManager::RightSide(int y) const {
  bool any = false;
  int x = 0;
  for (const IndentRec& r : R)
    if (Counts(r) && y >= r.YT && y < r.YB && (!any || r.X < x)) {
      x = r.X;
      any = true;
    }
  return any ? x : LastLeftOfBlock() + Width;
}

int TIndentManager::GetClearY() const {
  int y = 0;
  for (const IndentRec& r : L)
    if (r.ID == nullptr) y = std::max(y, r.YB);
  for (const IndentRec& r : R)
    if (r.ID == nullptr) y = std::max(y, r.YB);
  return y;
}

void TIndentManager::GetClearLeftRight(int& cl, int& cr) const {
  cl = -1;
  cr = -1;
  for (const IndentRec& r : L)
    if (r.ID == nullptr) cl = std::max(cl, r.YB);
  for (const IndentRec& r : R)
    if (r.ID == nullptr) cr = std::max(cr, r.YB);
  ++cl;
  ++cr;
}

int TIndentManager::GetNextWiderY(int y) const {
  int best = INT_MAX;
  for (const IndentRec& r : L)
    if (r.ID == nullptr && r.YB > y) best = std::min(best, r.YB);
  for (const IndentRec& r : R)
    if (r.ID == nullptr && r.YB > y) best = std::min(best, r.YB);
  return best == INT_MAX ? y : best;
}

namespace {

// A row below y where a float may fit: the bottom of a float that is in force just above it.
struct TRowSearch {
  int largest;          // the lowest float bottom seen
  int fitY = INT_MAX;   // the highest row where it fits
  int fitX = 0;
};

// Walks one side's records from the last back to the current block's first, looking at the
// bottoms of the floats that are in force just above them. alignLeft chooses where a float of
// width w would stand at a fitting row. Returns the X of the current block's record met, or
// fallback when there is none.
int ScanRows(const TIndentManager& m, const std::vector<IndentRec>& records, bool leftSide, bool alignLeft, int y,
             int w, TRowSearch& s, int fallback) {
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    if (m.CurrentID != nullptr && it->ID == m.CurrentID) return it->X;
    if (it->ID != nullptr || it->YB <= y || it->YB >= s.fitY) continue;
    if ((leftSide ? m.LeftIndent(it->YB - 1) : m.RightSide(it->YB - 1)) != it->X) continue;
    s.largest = std::max(s.largest, it->YB);
    if (m.RightSide(it->YB) - w >= m.LeftIndent(it->YB)) {
      s.fitY = it->YB;
      s.fitX = alignLeft ? m.LeftIndent(it->YB) : m.RightSide(it->YB) - w;
    }
  }
  return fallback;
}

}  // namespace

int TIndentManager::AlignLeft(int& y, int w, int spW, int spH) const {
  const int l = LeftIndent(y);
  if (RightSide(y) >= l + w + spW) return l + LfEdge;
  if (spH > 0 && RightSide(y + spH) >= l + w) {
    y += spH;
    return l + LfEdge;
  }
  TRowSearch left{y}, right{y};
  const int fallback = ScanRows(*this, L, true, true, y, w, left, 0);
  ScanRows(*this, R, false, true, y, w, right, 0);
  int x;
  if (left.fitY != INT_MAX && left.fitY <= right.fitY) {
    y = left.fitY;
    x = left.fitX;
  } else if (right.fitY != INT_MAX) {
    y = right.fitY;
    x = right.fitX;
  } else {
    y = std::max(left.largest, right.largest);
    x = fallback;
  }
  return x + LfEdge;
}

int TIndentManager::AlignRight(int& y, int w, int spW, int spH) const {
  const int x0 = RightSide(y) - w;
  if (LeftIndent(y) + spW <= x0) return x0 + LfEdge;
  if (spH > 0 && LeftIndent(y + spH) <= x0) {
    y += spH;
    return x0 + LfEdge;
  }
  bool ownRight = false;
  const int ownX = LastRightOfBlock(ownRight);
  const int fallback = ownRight ? ownX - w : Width - w;
  TRowSearch left{y}, right{y};
  ScanRows(*this, L, true, false, y, w, left, 0);
  ScanRows(*this, R, false, false, y, w, right, 0);
  int x;
  if (right.fitY != INT_MAX && right.fitY <= left.fitY) {
    y = right.fitY;
    x = right.fitX;
  } else if (left.fitY != INT_MAX) {
    y = left.fitY;
    x = left.fitX;
  } else {
    y = std::max(left.largest, right.largest);
    x = fallback;
  }
  return x + LfEdge;
}

// ---- viewer base ----

TViewerBase::TViewerBase(QWidget* parent) : QWidget(parent) {}

// ---- text routines ----

namespace {

template <typename Map>
std::u16string MapCase(const std::u16string& s, Map map) {
  std::u16string r = s;
  for (size_t i = 0; i < r.size(); ++i) {
    const char16_t c = r[i];
    if (QChar::isHighSurrogate(c) && i + 1 < r.size() && QChar::isLowSurrogate(r[i + 1])) {
      const char32_t u = QChar::surrogateToUcs4(c, r[i + 1]);
      const char32_t m = map(u);
      if (QChar::requiresSurrogates(m)) {
        r[i] = QChar::highSurrogate(m);
        r[i + 1] = QChar::lowSurrogate(m);
      }
      ++i;
    } else {
      const char32_t m = map(c);
      if (!QChar::requiresSurrogates(m)) r[i] = static_cast<char16_t>(m);
    }
  }
  return r;
}

}  // namespace

std::u16string WideUpperCase(const std::u16string& s) {
  return MapCase(s, [](char32_t u) { return QChar::toUpper(u); });
}

std::u16string WideLowerCase(const std::u16string& s) {
  return MapCase(s, [](char32_t u) { return QChar::toLower(u); });
}

std::u16string WideTrim(const std::u16string& s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] < 33) ++b;
  while (e > b && s[e - 1] < 33) --e;
  return s.substr(b, e - b);
}

int PosW(const std::u16string& sub, const std::u16string& s, int from) {
  if (from < 1) from = 1;
  if (static_cast<size_t>(from - 1) > s.size()) return 0;
  const size_t p = s.find(sub, static_cast<size_t>(from - 1));
  return p == std::u16string::npos ? 0 : static_cast<int>(p) + 1;
}

const char16_t* StrPosW(const char16_t* s, const char16_t* sub) {
  if (!s || !sub) return nullptr;
  if (!*sub) return s;
  for (; *s; ++s) {
    const char16_t* a = s;
    const char16_t* b = sub;
    while (*a && *b && *a == *b) ++a, ++b;
    if (!*b) return s;
  }
  return nullptr;
}

const char16_t* StrScanW(const char16_t* s, char16_t ch) {
  if (!s) return nullptr;
  for (; *s; ++s)
    if (*s == ch) return s;
  return ch == 0 ? s : nullptr;
}

const char16_t* StrRScanW(const char16_t* s, char16_t ch) {
  if (!s) return nullptr;
  const char16_t* found = nullptr;
  for (; *s; ++s)
    if (*s == ch) found = s;
  return ch == 0 ? s : found;
}

int GetXExtent(const TCanvas& canvas, const char16_t* text, int count) {
  if (!text || count <= 0) return 0;
  return canvas.TextExtent(std::u16string(text, static_cast<size_t>(count))).cx;
}

int FitText(const TCanvas& canvas, const char16_t* text, int count, int width, int& extent) {
  extent = 0;
  if (!text || count <= 0 || width < 1) return 0;
  thread_local std::vector<int> widths;
  canvas.Measurer->PartialExtents(canvas.Font.ToQFont(), std::u16string_view(text, static_cast<size_t>(count)), widths);
  // Prefix widths never shrink as characters are added: the longest prefix that fits.
  const int fit = static_cast<int>(std::upper_bound(widths.begin(), widths.end(), width) - widths.begin());
  extent = fit > 0 ? widths[static_cast<size_t>(fit - 1)] : 0;
  return fit;
}

int WrapTextW(TCanvas& canvas, TRect& rect, const std::u16string& text) {
  // An alt text is shown as written: "&" marks no hot key.
  return canvas.DrawText(text, rect, DT_WORDBREAK | DT_NOPREFIX);
}

// ---- drawing routines ----

TRect ScaleRect(const TRect& r, double fx, double fy) {
  auto sx = [fx](int v) { return static_cast<int>(std::lround(v * fx)); };
  auto sy = [fy](int v) { return static_cast<int>(std::lround(v * fy)); };
  return {sx(r.Left), sy(r.Top), sx(r.Right), sy(r.Bottom)};
}

TSavedClip SetClip(TCanvas& canvas, const TRect& rect, bool /*printing*/) {
  // The canvas clips in its own coordinates, so a printer's origin and scaling need no
  // conversion here: its painter applies them to the clip as to the drawing.
  TSavedClip saved{canvas.HasClip(), canvas.ClipRegion()};
  canvas.IntersectClipRect(rect);
  return saved;
}

void RestoreClip(TCanvas& canvas, const TSavedClip& saved) {
  if (saved.HadClip)
    canvas.SetClipRegion(saved.Region);
  else
    canvas.ClearClip();
}

TClipScope::TClipScope(TCanvas& canvas) : canvas_(canvas), saved_{canvas.HasClip(), canvas.ClipRegion()} {}

TClipScope::TClipScope(TCanvas& canvas, const TRect& rect, bool printing)
    : canvas_(canvas), saved_(SetClip(canvas, rect, printing)) {}

TClipScope::~TClipScope() { RestoreClip(canvas_, saved_); }

void PaintOnCanvas(TCanvas& canvas, const std::vector<TRect>& bands, const std::function<void(QPainter&)>& fn) {
  for (const TRect& b : bands) {
    if (b.Width() <= 0 || b.Height() <= 0) continue;
    QImage image(b.Width(), b.Height(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter p(&image);
      p.setRenderHint(QPainter::Antialiasing, false);
      p.translate(-b.Left, -b.Top);
      fn(p);
    }
    canvas.DrawImage(b.Left, b.Top, image);
  }
}

void FillRectColor(TCanvas& canvas, const TRect& r, TColor color) {
  const TBrush saved = canvas.Brush;
  canvas.Brush.Color = color;
  canvas.Brush.Style = bsSolid;
  canvas.FillRect(r);
  canvas.Brush = saved;
}

void FormControlRect(TCanvas& canvas, int left, int top, int right, int bottom, TColor color, bool btnFace,
                     bool printing, bool raised, bool monochrome) {
  const bool mono = printing && monochrome;
  FillRectColor(canvas, {left, top, right, bottom}, btnFace && !mono ? clBtnFace : color);
  const TPen saved = canvas.Pen;
  canvas.Pen.Style = psSolid;
  if (mono) {
    canvas.Pen.Width = 1;
    canvas.Pen.Color = clBlack;
    canvas.MoveTo(left, top);
    canvas.LineTo(right - 1, top);
    canvas.LineTo(right - 1, bottom - 1);
    canvas.LineTo(left, bottom - 1);
    canvas.LineTo(left, top);
  } else {
    const TColor light = 0xC0C0C0;
    const TColor lt = raised ? light : clBtnShadow;
    const TColor rb = raised ? clBtnShadow : light;
    canvas.Pen.Width = 2;
    canvas.Pen.Color = lt;
    canvas.MoveTo(left, bottom - 1);
    canvas.LineTo(left, top);
    canvas.LineTo(right - 1, top);
    canvas.Pen.Color = rb;
    canvas.LineTo(right - 1, bottom - 1);
    canvas.LineTo(left, bottom - 1);
  }
  canvas.Pen = saved;
}

void FillQuad(TCanvas& canvas, const TPoint (&p)[4], TColor color) {
  const TBrush saveBrush = canvas.Brush;
  const TPen savePen = canvas.Pen;
  canvas.Brush = {color, bsSolid};
  canvas.Pen.Style = psClear;
  canvas.Polygon(p);
  canvas.Brush = saveBrush;
  canvas.Pen = savePen;
}

// ---- shared pictures ----

namespace {

// A picture of the viewer's resources, in the format its users expect; a null image if the
// resource is missing.
QImage LoadPicture(const char* name, QImage::Format format) {
  InitViewerResources();
  QImage image(QString(":/htmlview/") + name);
  return image.isNull() ? image : image.convertToFormat(format);
}

// A vertical double arrow (or one half of it) around a dot: black with a white outline.
QImage MakePanCursor(bool up, bool down) {
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(Qt::white, 1));
  p.setBrush(Qt::black);
  p.drawEllipse(QRect(13, 13, 6, 6));
  if (up) p.drawPolygon(QPolygon({QPoint(16, 2), QPoint(23, 10), QPoint(9, 10)}));
  if (down) p.drawPolygon(QPolygon({QPoint(16, 29), QPoint(23, 21), QPoint(9, 21)}));
  return image;
}

}  // namespace

const QImage& DefBitMap() {
  // A small framed picture: sky, a hill and the sun.
  static const QImage image = LoadPicture("placeholder.png", QImage::Format_ARGB32);
  return image;
}

const QImage& ErrorBitmapMask() {
  // White where the error image is transparent: outside a 14 x 14 square.
  static const QImage mask = LoadPicture("errormask.png", QImage::Format_RGB32);
  return mask;
}

const QImage& ErrorBitmap() {
  // A grey frame with a red cross; its alpha is the mask.
  static const QImage image = LoadPicture("error.png", QImage::Format_ARGB32);
  return image;
}

const QImage& PanCursorImage(TPanCursor which) {
  static const QImage upDown = MakePanCursor(true, true);
  static const QImage upOnly = MakePanCursor(true, false);
  static const QImage downOnly = MakePanCursor(false, true);
  switch (which) {
    case UpOnlyCursor:
      return upOnly;
    case DownOnlyCursor:
      return downOnly;
    default:
      return upDown;
  }
}

// ---- the tab order of a panel's windows ----

void LinkTabOrder(QWidget* first, QWidget* second) {
  QWidget::setTabOrder(first, second);
  if (first->nextInFocusChain() == second) return;
  // Qt 6.4 leaves the chain as it is when second is the first widget after the window and first
  // the last; stepping second on by one lets the link be made.
  QWidget* next = second->nextInFocusChain();
  if (next && next != first && next != second->window()) {
    QWidget::setTabOrder(next, second);
    QWidget::setTabOrder(first, second);
  }
}

std::vector<QWidget*> PanelTabChain(QWidget* panel) {
  std::vector<QWidget*> chain;
  QWidget* start = panel->window();
  QWidget* w = start->nextInFocusChain();
  // The chain is a ring that visits each widget once; the bound only guards against a broken one.
  for (int guard = 0; w && w != start && guard < 10000000; ++guard, w = w->nextInFocusChain())
    if (w->parentWidget() == panel) chain.push_back(w);
  return chain;
}

void PlaceTabChain(QWidget* lead, QWidget* panel, const std::vector<QWidget*>& first) {
  if (!panel) return;
  std::vector<QWidget*> order;
  std::unordered_set<QWidget*> placed;
  for (QWidget* w : first)
    if (w && w->parentWidget() == panel && w->focusPolicy() != Qt::NoFocus && placed.insert(w).second)
      order.push_back(w);
  for (QWidget* w : PanelTabChain(panel))
    if (w->focusPolicy() != Qt::NoFocus && placed.insert(w).second) order.push_back(w);
  QWidget* prev = lead && lead->focusPolicy() != Qt::NoFocus && lead->window() == panel->window() ? lead : nullptr;
  for (QWidget* w : order) {
    if (prev) LinkTabOrder(prev, w);
    prev = w;
  }
}

}  // namespace htmlview
