#include "htmlview/layout/HtmlShared.h"

#include <QChar>
#include <QWidget>
#include <QPainterPath>
#include <algorithm>
#include <climits>
#include <cmath>
#include <unordered_set>

#include "htmlview/style/StyleValues.h"

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

namespace {

// Characters and the source position of each, side by side in two arrays that grow together,
// geometrically: a fixed step would copy a long text once per step. slack is room added beyond
// what is needed.
template <class Chars>
void GrowTogether(Chars& chars, std::vector<int>& indices, int needed, size_t slack) {
  if (needed <= static_cast<int>(chars.size())) return;
  const size_t n = std::max(static_cast<size_t>(needed) + slack, chars.size() * 2);
  chars.resize(n);
  indices.resize(n);
}

// Puts s at used, every character with index, and moves used past it.
template <class Chars>
void PutRun(Chars& chars, std::vector<int>& indices, int& used, std::u16string_view s, int index, size_t slack) {
  const int n = static_cast<int>(s.size());
  GrowTogether(chars, indices, used + n, slack);
  std::copy(s.begin(), s.end(), chars.begin() + used);
  std::fill(indices.begin() + used, indices.begin() + used + n, index);
  used += n;
}

}  // namespace

TCharCollection::TCharCollection() {
  Chars.resize(300);
  Indices.resize(300);
}

void TCharCollection::Grow(int needed) { GrowTogether(Chars, Indices, needed, 0); }

void TCharCollection::Concat(const std::u16string& s, int index) { PutRun(Chars, Indices, size_, s, index, 0); }

void TCharCollection::Clear() { size_ = 0; }

TokenObj::TokenObj() {
  C.resize(300);
  I.resize(300);
}

void TokenObj::Grow(int needed) { GrowTogether(C, I, needed, 50); }

void TokenObj::AddUnicodeChar(char16_t ch, int index) {
  PutRun(C, I, Leng, {&ch, 1}, index, 50);
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
  if (s.empty()) return;
  PutRun(C, I, Leng, s, index, 50);
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

void TIndentManager::TIntervalExtreme::Add(int from, int to, int value) {
  if (from >= to) return;
  if (nodes_.empty()) nodes_.emplace_back();
  Add(0, INT_MIN, static_cast<int64_t>(INT_MAX) + 1, from, to, value);
}

void TIndentManager::TIntervalExtreme::Add(int node, int64_t lo, int64_t hi, int64_t from, int64_t to, int value) {
  if (to <= lo || from >= hi) return;
  if (from <= lo && hi <= to) {
    TNode& n = nodes_[static_cast<size_t>(node)];
    if (!n.Set || (lowest_ ? value < n.Value : value > n.Value)) n.Value = value;
    n.Set = true;
    return;
  }
  const int64_t mid = lo + (hi - lo) / 2;
  for (int k = 0; k < 2; ++k) {
    if (k == 0 ? from >= mid : to <= mid) continue;
    if (nodes_[static_cast<size_t>(node)].Child[k] < 0) {
      nodes_[static_cast<size_t>(node)].Child[k] = static_cast<int>(nodes_.size());
      nodes_.emplace_back();
    }
    Add(nodes_[static_cast<size_t>(node)].Child[k], k == 0 ? lo : mid, k == 0 ? mid : hi, from, to, value);
  }
}

bool TIndentManager::TIntervalExtreme::At(int y, int& value) const {
  bool any = false;
  int64_t lo = INT_MIN, hi = static_cast<int64_t>(INT_MAX) + 1;
  for (int node = nodes_.empty() ? -1 : 0; node >= 0;) {
    const TNode& n = nodes_[static_cast<size_t>(node)];
    if (n.Set && (!any || (lowest_ ? n.Value < value : n.Value > value))) {
      value = n.Value;
      any = true;
    }
    const int64_t mid = lo + (hi - lo) / 2;
    const int k = y < mid ? 0 : 1;
    (k == 0 ? hi : lo) = mid;
    node = n.Child[k];
  }
  return any;
}

void TIndentManager::TSide::Add(const IndentRec& r) {
  All.push_back(r);
  if (r.ID == nullptr) {
    Floats.emplace(r.YB, r);
    Extent.Add(r.YT, r.YB, r.X);
  } else {
    Edges.push_back(r);
  }
}

void TIndentManager::TSide::Delete(int index) {
  if (index < 0 || index >= static_cast<int>(All.size())) return;
  const IndentRec r = All[static_cast<size_t>(index)];
  All.erase(All.begin() + index);
  if (r.ID == nullptr) {
    auto [first, last] = Floats.equal_range(r.YB);
    for (auto it = first; it != last; ++it)
      if (it->second.Seq == r.Seq) {
        Floats.erase(it);
        break;
      }
    // The tree cannot take an interval back: it is built again (blocks remove only their edges).
    Extent.Clear();
    for (const auto& [yb, f] : Floats) Extent.Add(f.YT, f.YB, f.X);
  } else {
    for (auto it = Edges.begin(); it != Edges.end(); ++it)
      if (it->Seq == r.Seq) {
        Edges.erase(it);
        break;
      }
  }
}

void TIndentManager::TSide::Clear() {
  All.clear();
  Floats.clear();
  Edges.clear();
  Extent.Clear();
  Memo.Valid = false;
}

void TIndentManager::Reset(int lfEdge, int width) {
  LfEdge = lfEdge;
  Width = width;
  left_.Clear();
  right_.Clear();
  CurrentID = nullptr;
  ++gen_;
}

void TIndentManager::UpdateBlock(int lfEdge) {
  LfEdge = lfEdge;
  CurrentID = nullptr;
  ++gen_;
}

// However many floats stand side by side, their edges stay on the page.
void TIndentManager::AddLeft(int yt, int yb, int w) {
  left_.Add({CapCoord(static_cast<long long>(LeftIndent(yt)) + w), yt, yb, nullptr, nextSeq_++});
}

void TIndentManager::AddRight(int yt, int yb, int w) {
  right_.Add({CapCoord(static_cast<long long>(RightSide(yt)) - w), yt, yb, nullptr, nextSeq_++});
}

int TIndentManager::SetLeftEdge(int x, int y) {
  ++gen_;
  left_.Add({x, y, 9999999, CurrentID, nextSeq_++});
  return static_cast<int>(left_.All.size()) - 1;
}

int TIndentManager::SetRightEdge(int x, int y) {
  ++gen_;
  right_.Add({x, y, 9999999, CurrentID, nextSeq_++});
  return static_cast<int>(right_.All.size()) - 1;
}

void TIndentManager::DeleteLeft(int index) {
  ++gen_;
  left_.Delete(index);
}

void TIndentManager::DeleteRight(int index) {
  ++gen_;
  right_.Delete(index);
}

const IndentRec* TIndentManager::BlockEdge(const TSide& side) const {
  if (CurrentID != nullptr)
    for (auto it = side.Edges.rbegin(); it != side.Edges.rend(); ++it)
      if (it->ID == CurrentID) return &*it;
  return nullptr;
}

int TIndentManager::LastLeftOfBlock() const {
  const IndentRec* edge = BlockEdge(left_);
  return edge ? edge->X : 0;
}

int TIndentManager::LastRightOfBlock(bool& found) const {
  const IndentRec* edge = BlockEdge(right_);
  found = edge != nullptr;
  return edge ? edge->X : 0;
}

bool TIndentManager::InnerEdge(const TSide& side, int y, int& x) const {
  const bool right = &side == &right_;
  bool any = side.Extent.At(y, x);
  for (const IndentRec& r : side.Edges)
    if (r.ID == CurrentID && y >= r.YT && y < r.YB && (!any || (right ? r.X < x : r.X > x))) {
      x = r.X;
      any = true;
    }
  return any;
}

int TIndentManager::LeftIndent(int y) const {
  int x = 0;
  return InnerEdge(left_, y, x) ? x : LastLeftOfBlock();
}

int TIndentManager::RightSide(int y) const {
  int x = 0;
  return InnerEdge(right_, y, x) ? x : LastLeftOfBlock() + Width;
}

int TIndentManager::GetClearY() const { return std::max(left_.LowestBottom(0), right_.LowestBottom(0)); }

void TIndentManager::GetClearLeftRight(int& cl, int& cr) const {
  cl = left_.LowestBottom(-1) + 1;
  cr = right_.LowestBottom(-1) + 1;
}

int TIndentManager::GetNextWiderY(int y) const {
  int best = INT_MAX;
  for (const TSide* side : {&left_, &right_}) {
    const auto it = side->Floats.upper_bound(y);
    if (it != side->Floats.end()) best = std::min(best, it->first);
  }
  return best == INT_MAX ? y : best;
}

uint64_t TIndentManager::BlockStart(const TSide& side, bool& bounded) const {
  const IndentRec* edge = BlockEdge(side);
  bounded = edge != nullptr;
  return edge ? edge->Seq : 0;
}

bool TIndentManager::IsRow(bool leftSide, const IndentRec& r, uint64_t after, bool bounded) const {
  if (bounded && r.Seq < after) return false;
  return (leftSide ? LeftIndent(r.YB - 1) : RightSide(r.YB - 1)) == r.X;
}

bool TIndentManager::EdgesAbove(int y) const {
  if (CurrentID == nullptr) return false;
  for (const TSide* side : {&left_, &right_}) {
    bool found = false;
    for (const IndentRec& r : side->Edges)
      if (r.ID == CurrentID) {
        if (r.YT > y + 1) return false;
        found = true;
      }
    if (!found) return false;
  }
  return true;
}

int TIndentManager::FindRow(const TSide& side, bool leftSide, int y, int w) const {
  bool bounded = false;
  const uint64_t after = BlockStart(side, bounded);
  // Where no edge of the block stands, a row's room is its fallback, which a float can widen:
  // nothing found is kept then, nor about rows at or below the edges' end.
  constexpr int EdgeEnd = 9999999;
  const bool steady = EdgesAbove(y) && y < EdgeEnd;
  TRowMemo& memo = side.Memo;
  const bool known = steady && memo.Valid && memo.Gen == gen_ && memo.ID == CurrentID && memo.Y == y && w >= memo.W;
  int from = y;        // rows below from are looked at
  int best = INT_MAX;
  int firstFit = INT_MAX;  // the first row looked at where w fits
  if (known) {
    // Rows that floats added since brought between y and M.
    for (auto it = side.All.rbegin(); it != side.All.rend() && it->Seq >= memo.Seq; ++it) {
      if (it->YB <= y || it->YB >= memo.M || !Fits(it->YB, w)) continue;
      firstFit = std::min(firstFit, it->YB);
      if (IsRow(leftSide, *it, after, bounded)) best = std::min(best, it->YB);
    }
    if (best != INT_MAX) return best;
    from = memo.M - 1;
  }
  for (auto it = side.Floats.upper_bound(from); it != side.Floats.end();) {
    const int yb = it->first;
    const auto next = side.Floats.upper_bound(yb);
    if (Fits(yb, w)) {
      firstFit = std::min(firstFit, yb);
      for (; it != next; ++it)
        if (IsRow(leftSide, it->second, after, bounded)) break;
      if (it != next) {
        best = yb;
        break;
      }
    }
    it = next;
  }
  if (steady) {
    // w is at least the width remembered: what left too little room then leaves too little now.
    memo.Valid = true;
    memo.Y = y;
    memo.W = w;
    memo.ID = CurrentID;
    memo.Gen = gen_;
    memo.Seq = nextSeq_;
    memo.M = std::min(firstFit, EdgeEnd);
  }
  return best;
}

int TIndentManager::LowestRow(const TSide& side, bool leftSide, int y) const {
  bool bounded = false;
  const uint64_t after = BlockStart(side, bounded);
  for (auto it = side.Floats.rbegin(); it != side.Floats.rend() && it->first > y; ++it)
    if (IsRow(leftSide, it->second, after, bounded)) return it->first;
  return y;
}

bool TIndentManager::PlaceBelow(int& y, int w) const {
  const int row = std::min(FindRow(left_, true, y, w), FindRow(right_, false, y, w));
  if (row != INT_MAX) {
    y = row;
    return true;
  }
  y = std::max(LowestRow(left_, true, y), LowestRow(right_, false, y));
  return false;
}

int TIndentManager::AlignLeft(int& y, int w, int spW, int spH) const {
  const int l = LeftIndent(y);
  if (RightSide(y) >= l + w + spW) return l + LfEdge;
  if (spH > 0 && RightSide(y + spH) >= l + w) {
    y += spH;
    return l + LfEdge;
  }
  const int x = PlaceBelow(y, w) ? LeftIndent(y) : LastLeftOfBlock();
  return x + LfEdge;
}

int TIndentManager::AlignRight(int& y, int w, int spW, int spH) const {
  const int x0 = RightSide(y) - w;
  if (LeftIndent(y) + spW <= x0) return x0 + LfEdge;
  if (spH > 0 && LeftIndent(y + spH) <= x0) {
    y += spH;
    return x0 + LfEdge;
  }
  if (PlaceBelow(y, w)) return RightSide(y) - w + LfEdge;
  bool ownRight = false;
  const int ownX = LastRightOfBlock(ownRight);
  return (ownRight ? ownX - w : Width - w) + LfEdge;
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
