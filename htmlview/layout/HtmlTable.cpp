#include "htmlview/layout/HtmlTable.h"

#include <algorithm>
#include <functional>
#include <numeric>
#include <queue>

#include "htmlview/layout/HtmlShared.h"
#include "htmlview/style/StyleFonts.h"
#include "htmlview/style/StyleValues.h"

namespace htmlview {

namespace {

using Wide = __int128;

// Adds amount to v[cols[i]] in proportion to weights[i], from the last column to the first: each
// column's part comes from the running sum of weights, and the first column takes what is left,
// so that the parts add up to amount exactly. Weights that add up to 0 or less share evenly.
void Share(std::vector<int>& v, const std::vector<int>& cols, std::vector<int64_t> weights, int64_t amount) {
  const size_t n = cols.size();
  if (n == 0 || amount == 0) return;
  Wide total = 0;
  for (int64_t w : weights) total += std::max<int64_t>(w, 0);
  if (total <= 0) {
    weights.assign(n, 1);
    total = static_cast<Wide>(n);
  }
  Wide running = 0;
  int64_t given = 0;
  for (size_t i = n - 1; i > 0; --i) {
    running += std::max<int64_t>(weights[i], 0);
    const int64_t part = static_cast<int64_t>(running * amount / total) - given;
    v[static_cast<size_t>(cols[i])] += static_cast<int>(part);
    given += part;
  }
  v[static_cast<size_t>(cols[0])] += static_cast<int>(amount - given);
}

// Precedence of column types: fixed over percentage over relative over none.
int Rank(uint8_t type) {
  switch (type) {
    case ctFixed: return 3;
    case ctPercent: return 2;
    case ctRelative: return 1;
    default: return 0;
  }
}

uint8_t TypeOf(const TSpecWidth& w) {
  switch (w.VType) {
    case wtAbsolute: return ctFixed;
    case wtPercent: return ctPercent;
    case wtRelative: return ctRelative;
    default: return ctNone;
  }
}

// Range additions and range sums over the rows, so that a cell spanning many rows costs a few
// steps rather than one per row.
class TRangeSums {
public:
  explicit TRangeSums(int n) : n_(n), b1_(static_cast<size_t>(n) + 2), b2_(static_cast<size_t>(n) + 2) {}
  // Adds v to entries first..last.
  void Add(int first, int last, int64_t v) {
    Point(b1_, first, v);
    Point(b1_, last + 1, -v);
    Point(b2_, first, v * first);
    Point(b2_, last + 1, -v * (last + 1));
  }
  int64_t Sum(int first, int last) const { return Prefix(last) - Prefix(first - 1); }
  int64_t At(int i) const { return Sum(i, i); }

private:
  void Point(std::vector<int64_t>& b, int i, int64_t v) {
    for (int k = i + 1; k <= n_ + 1; k += k & -k) b[static_cast<size_t>(k)] += v;
  }
  static int64_t Get(const std::vector<int64_t>& b, int i) {
    int64_t s = 0;
    for (int k = i + 1; k > 0; k -= k & -k) s += b[static_cast<size_t>(k)];
    return s;
  }
  int64_t Prefix(int i) const { return i < 0 ? 0 : Get(b1_, i) * (i + 1) - Get(b2_, i); }
  int n_;
  std::vector<int64_t> b1_, b2_;
};

bool Outside(const TRect& r, const TRect& clip) {
  return r.Bottom <= clip.Top || r.Top >= clip.Bottom || r.Right <= clip.Left || r.Left >= clip.Right;
}

}  // namespace

// ---- cells ----

TCellObj::TCellObj(ThtDocument* document) : Cell(std::make_unique<TCellObjCell>(document)) {}

TCellObj::TCellObj(ThtDocument* document, TProperties& props, TAttributeList* attributes, TCellVAlign vAlign)
    : TCellObj(document) {
  VAlign = vAlign == cvNone ? cvMiddle : vAlign;
  if (attributes) {
    for (const auto& a : *attributes) {
      switch (a->Which) {
        case ColspanSy:
          if (a->Value > 1) ColSpan = std::min(a->Value, kMaxColSpan);
          break;
        case RowspanSy:
          if (a->Value > 1) RowSpan = std::min(a->Value, kMaxRowSpan);
          break;
        case WidthSy: SpecWidth = ConvLength(a->Value, a->Name); break;
        case HeightSy: SpecHeight = ConvLength(a->Value, a->Name); break;
        case BgcolorSy: {
          TColor color = clNone;
          int alpha = 255;
          if (ColorFromString(a->Name, false, color, alpha)) BkColor = color;
          break;
        }
        case BackgroundSy: BGImageName = WideTrim(a->Name); break;
        case HrefSy: Cell->Url = a->Name; break;
        case TargetSy: Cell->Target = a->Name; break;
        case TitleSy: Cell->Title = a->Name; break;
        default: break;
      }
    }
  }
  if (props.OwnFlags[VerticalAlign]) {
    switch (props.GetVertAlign()) {
      case 1: VAlign = cvTop; break;
      case 2: VAlign = cvMiddle; break;
      case 4: VAlign = cvBottom; break;
      default: VAlign = cvBaseline; break;
    }
  }
  if (BkColor == clNone) BkColor = props.GetBackgroundColor();
  if (BGImageName.empty()) {
    const std::u16string image = props.GetBackgroundImage();
    if (image != u"none") BGImageName = image;
  }
  BGPos = props.GetBackgroundPos();
  props.GetFont();
  TVMarArray vm{};
  props.CopyBoxProps(vm, false);
  ConvCellPadding(vm, 0, props.EmSize, props.ExSize, Padding);
  for (int& p : Padding)
    if (p < -1) p = -1;  // a percentage needs a width that the cell does not have yet
  HasBorderStyle = props.HasBorderStyle();
  if (HasBorderStyle) {
    TMarginArray m{};
    int autoCount = 0;
    props.ConvMargArray(0, 0, 4, props.EmSize, props.ExSize, m, autoCount);
    const std::array<int, 4> widths{BorderLeftWidth, BorderTopWidth, BorderRightWidth, BorderBottomWidth};
    const std::array<int, 4> colors{BorderLeftColor, BorderTopColor, BorderRightColor, BorderBottomColor};
    const std::array<int, 4> styles{BorderLeftStyle, BorderTopStyle, BorderRightStyle, BorderBottomStyle};
    for (size_t k = 0; k < 4; ++k) {
      const int w = m[static_cast<size_t>(widths[k])];
      BorderWidths[k] = w == IntNull || w == Auto ? 0 : std::max(0, w);
      const int c = m[static_cast<size_t>(colors[k])];
      BorderColors[k] = c == IntNull || static_cast<TColor>(c) == clNone ? 0xC0C0C0 : static_cast<TColor>(c);
      const int s = m[static_cast<size_t>(styles[k])];
      BorderStyles[k] = s == IntNull ? bssNone : s;
    }
  }
  ShowEmptyCells = props.Text(piEmptyCells) == u"show";
  props.GetPageBreaks(BreakBefore, BreakAfter, BreakInside);
}

TCellObj::TCellObj(ThtDocument* document, const TCellObj& source, bool withBackgrounds)
    : ColSpan(source.ColSpan), RowSpan(source.RowSpan), SpecWidth(source.SpecWidth), SpecHeight(source.SpecHeight),
      VAlign(source.VAlign), Cell(std::make_unique<TCellObjCell>(document, *source.Cell)), BGPos(source.BGPos),
      Padding(source.Padding), BorderWidths(source.BorderWidths), BorderColors(source.BorderColors),
      BorderStyles(source.BorderStyles), HasBorderStyle(source.HasBorderStyle),
      ShowEmptyCells(source.ShowEmptyCells), BreakBefore(source.BreakBefore), BreakAfter(source.BreakAfter),
      BreakInside(source.BreakInside), HzSpace(source.HzSpace), VrSpace(source.VrSpace),
      CellHeight(source.CellHeight), YIndent(source.YIndent), SpannedHeight(source.SpannedHeight), Col(source.Col) {
  if (withBackgrounds) {
    BkColor = source.BkColor;
    BGImageName = source.BGImageName;
    BGImage = source.BGImage;
  }
}

void TCellObj::ComputeExtras() {
  HzSpace = PadLeft() + PadRight() + BorderWidths[0] + BorderWidths[2];
  VrSpace = PadTop() + PadBottom() + BorderWidths[1] + BorderWidths[3];
}

TCellList::TCellList(TAttributeList* attributes, TProperties& props) {
  if (attributes) {
    for (const auto& a : *attributes) {
      if (a->Which == BgcolorSy) {
        TColor color = clNone;
        int alpha = 255;
        if (ColorFromString(a->Name, false, color, alpha)) BkColor = color;
      } else if (a->Which == BackgroundSy) {
        BGImageName = WideTrim(a->Name);
      } else if (a->Which == HeightSy) {
        SpecHeight = std::clamp(a->Value, 0, 100);
      } else if (a->Which == ValignSy) {
        const std::u16string v = WideLowerCase(WideTrim(a->Name));
        VAlign = v == u"top"      ? cvTop
                 : v == u"middle" ? cvMiddle
                 : v == u"bottom" ? cvBottom
                 : v == u"baseline" ? cvBaseline
                                    : VAlign;
      }
    }
  }
  if (BkColor == clNone) BkColor = props.GetBackgroundColor();
  if (BGImageName.empty()) {
    const std::u16string image = props.GetBackgroundImage();
    if (image != u"none") BGImageName = image;
  }
  BGPos = props.GetBackgroundPos();
  props.GetPageBreaks(BreakBefore, BreakAfter, BreakInside);
}

// ---- table ----

THtmlTable::THtmlTable(ThtDocument* owner, TCellBasic* ownerCell) : TSectionBase(owner, ownerCell) {}

THtmlTable::THtmlTable(ThtDocument* owner, TCellBasic* ownerCell, TAttributeList* attributes, TProperties& props)
    : TSectionBase(owner, ownerCell) {
  if (attributes) {
    for (const auto& a : *attributes) {
      switch (a->Which) {
        case BorderSy:
          HasBorderAttribute = true;
          // Present without a value means 1.
          BorderWidth = WideTrim(a->Name).empty() ? 1 : std::clamp(a->Value, 0, 100);
          break;
        case CellpaddingSy: CellPadding = std::clamp(a->Value, 0, 50); break;
        case CellspacingSy: CellSpacing = std::clamp(a->Value, -1, 40); break;
        case BordercolorSy:
        case BordercolorlightSy:
        case BordercolordarkSy: {
          TColor color = clNone;
          int alpha = 255;
          if (!ColorFromString(a->Name, false, color, alpha)) break;
          (a->Which == BordercolorSy        ? BorderColor
           : a->Which == BordercolorlightSy ? BorderColorLight
                                            : BorderColorDark) = color;
          break;
        }
        default: break;
      }
    }
  }
  // A border from the style takes the place of the attribute's.
  if (props.HasBorderStyle()) BorderWidth = 0;
  if (props.IsCollapse()) CellSpacing = -1;
}

THtmlTable::THtmlTable(ThtDocument* owner, TCellBasic* ownerCell, const THtmlTable& source)
    : TSectionBase(owner, ownerCell, source), BorderWidth(source.BorderWidth),
      HasBorderAttribute(source.HasBorderAttribute), CellPadding(source.CellPadding),
      CellSpacing(source.CellSpacing), BorderColor(source.BorderColor), BorderColorLight(source.BorderColorLight),
      BorderColorDark(source.BorderColorDark), Initialized(source.Initialized), NumCols(source.NumCols),
      SpecWidth(source.SpecWidth), TableWidth(source.TableWidth), ColumnType(source.ColumnType),
      TypeCount(source.TypeCount), Percents(source.Percents), Multis(source.Multis), MinWidths(source.MinWidths),
      MaxWidths(source.MaxWidths), Widths(source.Widths), Heights(source.Heights), HeadHeight(source.HeadHeight),
      HeadRowCount(source.HeadRowCount), FootHeight(source.FootHeight), FootStartRow(source.FootStartRow),
      FootOffset(source.FootOffset), HeaderRepeat(source.HeaderRepeat), BlockBorderTop(source.BlockBorderTop),
      BlockBorderBottom(source.BlockBorderBottom), colLefts_(source.colLefts_), rowTops_(source.rowTops_) {
  // A print copy has backgrounds only when they are to print.
  const bool backgrounds = !owner || owner->PrintBackgrounds;
  if (backgrounds) {
    HasBackground = source.HasBackground;
    Background = source.Background;
  }
  for (const auto& row : source.Rows) {
    auto copy = std::make_unique<TCellList>();
    copy->BreakBefore = row->BreakBefore;
    copy->BreakAfter = row->BreakAfter;
    copy->BreakInside = row->BreakInside;
    copy->VAlign = row->VAlign;
    if (backgrounds) {
      copy->BkColor = row->BkColor;
      copy->BGImageName = row->BGImageName;
      copy->BGPos = row->BGPos;
    }
    copy->SpecHeight = row->SpecHeight;
    copy->RowType = row->RowType;
    copy->RowHeight = row->RowHeight;
    for (const auto& cell : *row)
      copy->Add(cell ? std::make_unique<TCellObj>(owner, *cell, backgrounds) : nullptr);
    Rows.Add(std::move(copy));
  }
  if (source.ColSpecs) {
    ColSpecs = std::make_unique<TColSpecList>();
    for (const auto& spec : *source.ColSpecs) ColSpecs->Add(std::make_unique<TColSpec>(*spec));
  }
}

THtmlTable::~THtmlTable() = default;

std::unique_ptr<TSectionBase> THtmlTable::CreateCopy(ThtDocument* owner, TCellBasic* cell) const {
  return std::make_unique<THtmlTable>(owner, cell, *this);
}

void THtmlTable::AddColSpecs(int count, const TSpecWidth& width, const std::u16string& align, int vAlign) {
  if (!ColSpecs) ColSpecs = std::make_unique<TColSpecList>();
  // The cap holds for the table as a whole, not per call.
  const int n = std::min(count, kMaxColSpecs - ColSpecs->Count());
  for (int i = 0; i < n; ++i) ColSpecs->Add(std::make_unique<TColSpec>(TColSpec{width, align, vAlign}));
}

int THtmlTable::PercentSum() {
  int sum = 0;
  for (size_t i = 0; i < Percents.size() && i < ColumnType.size(); ++i)
    if (ColumnType[i] == ctPercent) sum += std::max(Percents[i], 0);
  return sum;
}

std::vector<THtmlTable::TPlaced> THtmlTable::Placed() const {
  std::vector<TPlaced> cells;
  for (int r = 0; r < Rows.Count(); ++r)
    for (const auto& c : *Rows[r])
      if (c && c->Col >= 0) cells.push_back({c.get(), r});
  return cells;
}

// ---- grid normalisation ----

void THtmlTable::Initialize() {
  if (Initialized) return;
  const int rowCount = Rows.Count();
  // Per row: where its own cells end, its last own cell, and where spans from above end.
  std::vector<int> ownEnd(static_cast<size_t>(rowCount), 0), aboveEnd(static_cast<size_t>(rowCount), 0);
  std::vector<TCellObj*> lastOwn(static_cast<size_t>(rowCount), nullptr);
  // The row (exclusive) down to which each column is taken by a cell of an earlier row.
  std::vector<int> coveredUntil(kMaxGridCols + 1, 0);
  // Spans from above still open: (end column, row where they stop), widest on top.
  std::priority_queue<std::pair<int, int>> open;
  NumCols = 0;
  for (int r = 0; r < rowCount; ++r) {
    TCellList& row = *Rows[r];
    while (!open.empty() && open.top().second <= r) open.pop();
    aboveEnd[static_cast<size_t>(r)] = open.empty() ? 0 : open.top().first;
    int col = 0;
    int cellsLeft = row.Count();
    for (const auto& cellPtr : row) {
      --cellsLeft;
      while (col < kMaxGridCols && coveredUntil[static_cast<size_t>(col)] > r) ++col;
      if (!cellPtr) {
        ++col;
        ownEnd[static_cast<size_t>(r)] = col;
        lastOwn[static_cast<size_t>(r)] = nullptr;
        continue;
      }
      TCellObj& cell = *cellPtr;
      if (cell.BkColor == clNone && row.BkColor != clNone) cell.BkColor = row.BkColor;
      if (cell.BGImageName.empty() && !row.BGImageName.empty()) {
        cell.BGImageName = row.BGImageName;
        cell.BGPos = row.BGPos;
      }
      for (int& p : cell.Padding)
        if (p < 0) p = CellPadding;
      if (BorderWidth > 0 && !cell.HasBorderStyle) {
        for (size_t k = 0; k < 4; ++k) {
          cell.BorderWidths[k] = std::max(cell.BorderWidths[k], 1);
          if (cell.BorderStyles[k] == bssNone) cell.BorderStyles[k] = bssInset;
        }
      }
      cell.ComputeExtras();
      if (cell.BkColor == clNone && HasBackground) cell.BkColor = Background;
      if (col < kMaxGridCols) {
        // A wide span leaves a column for each cell after it in the row, as far as the cap allows.
        cell.ColSpan = std::clamp(cell.ColSpan, 1, std::max(1, kMaxGridCols - col - cellsLeft));
        cell.RowSpan = std::clamp(cell.RowSpan, 1, rowCount - r);
      } else {
        // Spans stay within the cap. A cell that finds no column there (a row of more cells, or
        // one under spans from above) takes one column and one row past it: no cell is lost, and
        // the grid grows by no more than a column for each such cell.
        cell.ColSpan = cell.RowSpan = 1;
      }
      cell.Col = col;
      if (cell.RowSpan > 1) {
        for (int c = col; c < col + cell.ColSpan; ++c)
          coveredUntil[static_cast<size_t>(c)] = std::max(coveredUntil[static_cast<size_t>(c)], r + cell.RowSpan);
        open.push({col + cell.ColSpan, r + cell.RowSpan});
      }
      col += cell.ColSpan;
      ownEnd[static_cast<size_t>(r)] = col;
      lastOwn[static_cast<size_t>(r)] = &cell;
    }
    NumCols = std::max({NumCols, ownEnd[static_cast<size_t>(r)], aboveEnd[static_cast<size_t>(r)]});
  }
  // A row that stops short, its last cell reaching the row's end, has that cell widened to the
  // last column (the last within the cap), when the rows it covers leave the room free. The rows'
  // ends are looked up through a table of range maxima, so that tall cells cost no walk over
  // their rows.
  std::vector<int> rowEnd(static_cast<size_t>(rowCount));
  for (int r = 0; r < rowCount; ++r)
    rowEnd[static_cast<size_t>(r)] = std::max(ownEnd[static_cast<size_t>(r)], aboveEnd[static_cast<size_t>(r)]);
  std::vector<std::vector<int>> rangeMax{rowEnd};
  auto maxOf = [&](int first, int last) {  // inclusive, first <= last
    int level = 0;
    while ((2 << level) <= last - first + 1) ++level;
    const auto& m = rangeMax[static_cast<size_t>(level)];
    return std::max(m[static_cast<size_t>(first)], m[static_cast<size_t>(last - (1 << level) + 1)]);
  };
  bool tallCells = false;
  for (int r = 0; r < rowCount; ++r)
    if (TCellObj* c = lastOwn[static_cast<size_t>(r)]; c && c->RowSpan > 1) tallCells = true;
  if (tallCells)
    for (int len = 2; len <= rowCount; len *= 2) {
      const auto& prev = rangeMax.back();
      std::vector<int> next(static_cast<size_t>(rowCount - len + 1));
      for (size_t i = 0; i < next.size(); ++i) next[i] = std::max(prev[i], prev[i + static_cast<size_t>(len / 2)]);
      rangeMax.push_back(std::move(next));
    }
  const int widenTo = std::min(NumCols, kMaxGridCols);
  for (int r = 0; r < rowCount; ++r) {
    TCellObj* c = lastOwn[static_cast<size_t>(r)];
    const int end = ownEnd[static_cast<size_t>(r)];
    if (!c || end >= widenTo || aboveEnd[static_cast<size_t>(r)] > end) continue;
    if (c->RowSpan > 1 && maxOf(r, r + c->RowSpan - 1) > end) continue;
    c->ColSpan = widenTo - c->Col;
  }
  ClearColumns();
  Widths.assign(static_cast<size_t>(NumCols), 0);
  Initialized = true;
}

// ---- widths ----

void THtmlTable::ClearColumns() {
  const size_t n = static_cast<size_t>(NumCols);
  ColumnType.assign(n, ctNone);
  Percents.assign(n, 0);
  Multis.assign(n, 0);
  MinWidths.assign(n, 0);
  MaxWidths.assign(n, 0);
}

void THtmlTable::GetMinMaxWidths(TCanvas& canvas) {
  Initialize();
  minMaxFresh_ = true;
  minMaxMeasurers_ = {canvas.Measurer, &FontMeasurer()};
  const size_t n = static_cast<size_t>(NumCols);
  ClearColumns();
  if (ColSpecs) {
    const int specs = std::min(NumCols, ColSpecs->Count());
    for (int c = 0; c < specs; ++c) {
      const TColSpec& spec = *(*ColSpecs)[c];
      const size_t i = static_cast<size_t>(c);
      ColumnType[i] = TypeOf(spec.Width);
      switch (spec.Width.VType) {
        case wtAbsolute: MinWidths[i] = MaxWidths[i] = std::max(0, spec.Width.Value); break;
        case wtPercent: Percents[i] = std::max(0, spec.Width.Value); break;
        case wtRelative: Multis[i] = std::max(0, spec.Width.Value); break;
        default: break;
      }
    }
  }
  // Narrow spans first, so that a wide span sees what its columns already hold. Only the sizes
  // that occur are visited.
  std::vector<TPlaced> cells = Placed();
  std::stable_sort(cells.begin(), cells.end(),
                   [](const TPlaced& a, const TPlaced& b) { return a.Cell->ColSpan < b.Cell->ColSpan; });
  std::vector<int> cols;
  std::vector<int64_t> weights;
  for (const TPlaced& placed : cells) {
    TCellObj& cell = *placed.Cell;
    int mn = 0, mx = 0;
    if (cell.Cell) cell.Cell->WidthRange(canvas, mn, mx);
    if (cell.SpecWidth.VType == wtAbsolute) {
      mn = std::max(mn, cell.SpecWidth.Value);
      mx = std::max(mx, cell.SpecWidth.Value);
    }
    mn += CellSpacing + cell.HzSpace;
    mx += CellSpacing + cell.HzSpace;
    mx = std::max(mx, mn);
    const int first = cell.Col, last = cell.Col + cell.ColSpan - 1;
    const uint8_t kind = TypeOf(cell.SpecWidth);
    if (cell.ColSpan == 1) {
      const size_t i = static_cast<size_t>(first);
      MinWidths[i] = std::max(MinWidths[i], mn);
      MaxWidths[i] = std::max(MaxWidths[i], mx);
      if (kind == ctPercent) Percents[i] = std::max(Percents[i], cell.SpecWidth.Value);
      if (kind == ctRelative) Multis[i] = std::max(Multis[i], cell.SpecWidth.Value);
      if (Rank(kind) > Rank(ColumnType[i])) ColumnType[i] = kind;
      continue;
    }
    int64_t sumMin = 0, sumMax = 0;
    std::array<int, 4> count{};
    for (int c = first; c <= last; ++c) {
      sumMin += MinWidths[static_cast<size_t>(c)];
      sumMax += MaxWidths[static_cast<size_t>(c)];
      ++count[ColumnType[static_cast<size_t>(c)]];
    }
    if (mn <= sumMin && mx <= sumMax) continue;
    const int64_t minExcess = std::max<int64_t>(0, mn - sumMin), maxExcess = std::max<int64_t>(0, mx - sumMax);
    auto columnsOf = [&](int type) {
      cols.clear();
      for (int c = first; c <= last; ++c)
        if (type < 0 || ColumnType[static_cast<size_t>(c)] == type) cols.push_back(c);
    };
    // Both excesses over cols, each in proportion to (max - min) when the run has room between
    // them, else by the given weights.
    auto spread = [&](bool byRoom, const std::function<int64_t(int)>& otherWeight) {
      weights.clear();
      for (int c : cols)
        weights.push_back(byRoom ? MaxWidths[static_cast<size_t>(c)] - MinWidths[static_cast<size_t>(c)]
                                 : otherWeight(c));
      Share(MinWidths, cols, weights, minExcess);
      Share(MaxWidths, cols, weights, maxExcess);
    };
    auto even = [](int) -> int64_t { return 1; };
    int64_t spannedPercent = 0;
    for (int c = first; c <= last; ++c)
      if (ColumnType[static_cast<size_t>(c)] == ctPercent) spannedPercent += Percents[static_cast<size_t>(c)];
    if (kind == ctPercent && spannedPercent <= cell.SpecWidth.Value && count[ctNone] > 0) {
      columnsOf(ctNone);
      Share(Percents, cols, std::vector<int64_t>(cols.size(), 1), cell.SpecWidth.Value - spannedPercent);
      for (int c = first; c <= last; ++c)
        if (Rank(ColumnType[static_cast<size_t>(c)]) < Rank(ctPercent)) ColumnType[static_cast<size_t>(c)] = ctPercent;
    } else if (count[ctNone] > 0) {
      columnsOf(ctNone);
      spread(false, even);
    } else if (count[ctRelative] > 0) {
      int64_t weightSum = 0;
      for (int c = first; c <= last; ++c)
        if (ColumnType[static_cast<size_t>(c)] == ctRelative) weightSum += Multis[static_cast<size_t>(c)];
      if (weightSum <= 0) {
        columnsOf(-1);
        spread(sumMin < sumMax, even);
      } else {
        // The weighted columns take the cell's widths beyond the other columns', in proportion
        // to their weights; a 0* column keeps its own.
        int64_t otherMin = 0, otherMax = 0;
        cols.clear();
        weights.clear();
        for (int c = first; c <= last; ++c) {
          const size_t i = static_cast<size_t>(c);
          if (ColumnType[i] == ctRelative && Multis[i] > 0) {
            cols.push_back(c);
            weights.push_back(Multis[i]);
          } else {
            otherMin += MinWidths[i];
            otherMax += MaxWidths[i];
          }
        }
        for (auto [target, values] : {std::pair{mn - otherMin, &MinWidths}, std::pair{mx - otherMax, &MaxWidths}}) {
          std::vector<int> shares(static_cast<size_t>(last) + 1, 0);
          Share(shares, cols, weights, std::max<int64_t>(0, target));
          for (int c : cols)
            (*values)[static_cast<size_t>(c)] =
                std::max((*values)[static_cast<size_t>(c)], shares[static_cast<size_t>(c)]);
        }
      }
    } else if (count[ctPercent] > 0) {
      columnsOf(ctPercent);
      spread(sumMin < sumMax, [&](int c) -> int64_t { return Percents[static_cast<size_t>(c)]; });
    } else {
      columnsOf(-1);
      spread(sumMin < sumMax, even);
    }
    for (int c = first; c <= last; ++c)
      MaxWidths[static_cast<size_t>(c)] = std::max(MaxWidths[static_cast<size_t>(c)], MinWidths[static_cast<size_t>(c)]);
  }
  for (size_t i = 0; i < n; ++i) MaxWidths[i] = std::max(MaxWidths[i], MinWidths[i]);
  // Weighted relative columns in proportion to their weights, none below what it needs.
  for (std::vector<int>* values : {&MinWidths, &MaxWidths}) {
    int64_t factor = 100;
    bool any = false;
    for (size_t i = 0; i < n; ++i)
      if (ColumnType[i] == ctRelative && Multis[i] > 0) {
        any = true;
        factor = std::max<int64_t>(factor, static_cast<int64_t>((*values)[i]) * 100 / Multis[i] +
                                               ((static_cast<int64_t>((*values)[i]) * 100) % Multis[i] != 0));
      }
    if (!any) break;
    for (size_t i = 0; i < n; ++i)
      if (ColumnType[i] == ctRelative && Multis[i] > 0)
        (*values)[i] = static_cast<int>(static_cast<int64_t>(Multis[i]) * factor / 100);
  }
  for (size_t i = 0; i < n; ++i) MaxWidths[i] = std::max(MaxWidths[i], MinWidths[i]);
  TypeCount = {};
  for (size_t i = 0; i < n; ++i) ++TypeCount[ColumnType[i]];
}

void THtmlTable::WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth) {
  GetMinMaxWidths(canvas);
  const int64_t sumMin = std::accumulate(MinWidths.begin(), MinWidths.end(), int64_t{0});
  const int64_t sumMax = std::accumulate(MaxWidths.begin(), MaxWidths.end(), int64_t{0});
  minWidth = CapCoord(std::max<int64_t>(sumMin + CellSpacing, SpecWidth));
  maxWidth = CapCoord(std::max<int64_t>(sumMax + CellSpacing, SpecWidth));
}

void THtmlTable::FindColumnWidths(TCanvas& canvas, int width) {
  // The table block has just asked for the width range while finding the table's width: the
  // cells' text need not be measured a second time for the same layout.
  if (!minMaxFresh_ || minMaxMeasurers_ != std::make_pair(canvas.Measurer, &FontMeasurer())) GetMinMaxWidths(canvas);
  const int w = width - CellSpacing;
  const size_t n = static_cast<size_t>(NumCols);
  const int64_t sumMin = std::accumulate(MinWidths.begin(), MinWidths.end(), int64_t{0});
  const int64_t sumMax = std::accumulate(MaxWidths.begin(), MaxWidths.end(), int64_t{0});
  Widths = MinWidths;
  std::vector<int> cols;
  std::vector<int64_t> weights;
  auto columnsOf = [&](uint8_t type, bool weighted = false) {
    cols.clear();
    for (size_t i = 0; i < n; ++i)
      if (ColumnType[i] == type && (!weighted || Multis[i] > 0)) cols.push_back(static_cast<int>(i));
  };
  // Adds amount in proportion to (max - min), or to the current widths when those add up to 0.
  auto proportional = [&](int64_t amount) {
    weights.clear();
    int64_t room = 0;
    for (int c : cols) room += MaxWidths[static_cast<size_t>(c)] - MinWidths[static_cast<size_t>(c)];
    for (int c : cols)
      weights.push_back(room > 0 ? MaxWidths[static_cast<size_t>(c)] - MinWidths[static_cast<size_t>(c)]
                                 : Widths[static_cast<size_t>(c)]);
    Share(Widths, cols, weights, amount);
  };
  auto sumWidths = [&] { return std::accumulate(Widths.begin(), Widths.end(), int64_t{0}); };
  if (sumMin < w) {
    int64_t percentSum = 0;
    bool percentColumns = false;
    for (size_t i = 0; i < n; ++i)
      if (ColumnType[i] == ctPercent && Percents[i] > 0) {
        percentSum += Percents[i];
        percentColumns = true;
      }
    if (percentColumns && w > 0) {
      const int64_t divisor = std::max<int64_t>(percentSum, 1000);
      cols.clear();
      weights.clear();
      int64_t shortfall = 0;
      for (size_t i = 0; i < n; ++i) {
        if (ColumnType[i] != ctPercent || Percents[i] <= 0) continue;
        const int64_t share = static_cast<int64_t>(w) * Percents[i] / divisor;
        if (share > MinWidths[i]) {
          cols.push_back(static_cast<int>(i));
          weights.push_back(share - MinWidths[i]);
          shortfall += share - MinWidths[i];
        }
      }
      if (shortfall <= w - sumMin) {
        for (size_t k = 0; k < cols.size(); ++k) Widths[static_cast<size_t>(cols[k])] += static_cast<int>(weights[k]);
      } else {
        Share(Widths, cols, weights, w - sumMin);
      }
    }
    const int64_t sum = sumWidths();
    if (sum > w) {
      // Give back what the percentage columns took beyond their minima.
      columnsOf(ctPercent);
      weights.clear();
      for (int c : cols) weights.push_back(Widths[static_cast<size_t>(c)] - MinWidths[static_cast<size_t>(c)]);
      Share(Widths, cols, weights, w - sum);
    } else if (SpecWidth > 0 || w < sumMax) {
      const int64_t free = w - sum;
      if (TypeCount[ctNone] > 0) {
        columnsOf(ctNone);
        proportional(free);
      } else if (TypeCount[ctRelative] > 0) {
        columnsOf(ctRelative, true);
        if (cols.empty()) {
          // Only 0* columns: the weights add up to 0, so they share evenly.
          columnsOf(ctRelative);
          Share(Widths, cols, std::vector<int64_t>(cols.size(), 1), free);
        } else {
          int64_t total = free;
          weights.clear();
          for (int c : cols) {
            total += Widths[static_cast<size_t>(c)];
            weights.push_back(Multis[static_cast<size_t>(c)]);
            Widths[static_cast<size_t>(c)] = 0;
          }
          Share(Widths, cols, weights, total);
        }
      } else if (TypeCount[ctPercent] > 0) {
        columnsOf(ctPercent);
        proportional(free);
      } else {
        columnsOf(ctFixed);
        proportional(free);
      }
    } else {
      Widths = MaxWidths;
    }
  }
  // However many and wide the columns, the table stays on the page.
  TableWidth = CapCoord(sumWidths() + CellSpacing);
  colLefts_.assign(n + 1, 0);
  for (size_t i = 0; i < n; ++i) colLefts_[i + 1] = CapCoord(static_cast<int64_t>(colLefts_[i]) + Widths[i]);
}

int THtmlTable::CellContentWidth(const TCellObj& cell) const {
  const int w = colLefts_[static_cast<size_t>(cell.Col + cell.ColSpan)] - colLefts_[static_cast<size_t>(cell.Col)];
  return std::max(0, w - CellSpacing - cell.HzSpace);
}

// ---- heights ----

void THtmlTable::FindRowHeights(TCanvas& canvas, int availableHeight) {
  const int rowCount = Rows.Count();
  int h = availableHeight - CellSpacing;
  Heights.assign(static_cast<size_t>(rowCount), 0);
  if (rowCount == 0) return;
  std::vector<TPlaced> cells = Placed();
  // Measured in row order, so that the cells' character positions come out as they will stand.
  int curs = StartChar;
  const int y = YPos;
  for (const TPlaced& placed : cells) {
    TCellObj& cell = *placed.Cell;
    int scroll = 0;
    cell.CellHeight = cell.Cell->Layout(canvas, DrawX() + colLefts_[static_cast<size_t>(cell.Col)], y,
                                        CellContentWidth(cell), 0, 0, 0, 0, scroll, curs);
  }
  std::stable_sort(cells.begin(), cells.end(),
                   [](const TPlaced& a, const TPlaced& b) { return a.Cell->RowSpan < b.Cell->RowSpan; });
  TRangeSums minH(rowCount), desH(rowCount);
  std::vector<uint8_t> own(static_cast<size_t>(rowCount), 0);
  std::vector<int> minSpan1(static_cast<size_t>(rowCount), 0), desSpan1(static_cast<size_t>(rowCount), 0);
  bool spanOneDone = false;
  auto finishSpanOne = [&] {
    if (spanOneDone) return;
    spanOneDone = true;
    for (int r = 0; r < rowCount; ++r) {
      minH.Add(r, r, minSpan1[static_cast<size_t>(r)]);
      desH.Add(r, r, desSpan1[static_cast<size_t>(r)]);
    }
  };
  for (const TPlaced& placed : cells) {
    const TCellObj& cell = *placed.Cell;
    const int cellHeight = cell.CellHeight + cell.VrSpace;
    int64_t desired = cellHeight;
    bool hasOwn = false;
    if (cell.SpecHeight.VType == wtAbsolute) {
      desired = std::max<int64_t>(desired, cell.SpecHeight.Value);
      hasOwn = true;
    } else if (cell.SpecHeight.VType == wtPercent) {
      desired = std::max<int64_t>(
          desired, static_cast<int64_t>(cell.SpecHeight.Value) * (h - int64_t{rowCount} * CellSpacing) / 1000);
      hasOwn = true;
    } else if (rowCount == 1) {
      desired = std::max<int64_t>(desired, h);
    }
    const int64_t vMin = cellHeight + CellSpacing, vDes = desired + CellSpacing;
    const int r = placed.Row;
    if (cell.RowSpan == 1) {
      int& m = minSpan1[static_cast<size_t>(r)];
      int& d = desSpan1[static_cast<size_t>(r)];
      m = std::max<int>(m, static_cast<int>(vMin));
      d = std::max<int>(d, static_cast<int>(vDes));
      if (hasOwn) own[static_cast<size_t>(r)] = 1;
      continue;
    }
    finishSpanOne();
    const int last = r + cell.RowSpan - 1, span = cell.RowSpan;
    for (auto [sums, value] : {std::pair{&minH, vMin}, std::pair{&desH, vDes}}) {
      const int64_t excess = value - sums->Sum(r, last);
      if (excess <= 0) continue;
      sums->Add(r, last, excess / span);
      sums->Add(last, last, excess % span);
    }
    if (hasOwn)
      for (int k = r; k <= last; ++k) own[static_cast<size_t>(k)] = 1;
  }
  finishSpanOne();
  std::vector<int64_t> mins(static_cast<size_t>(rowCount)), dess(static_cast<size_t>(rowCount));
  int64_t totalMin = 0, totalDes = 0;
  bool allOwn = true;
  for (int r = 0; r < rowCount; ++r) {
    const size_t i = static_cast<size_t>(r);
    mins[i] = minH.At(r);
    dess[i] = std::max(desH.At(r), mins[i]);
    totalMin += mins[i];
    totalDes += dess[i];
    allOwn = allOwn && own[i];
  }
  // A block that gives the table no height of its own leaves it the height its rows desire, so
  // that the rows' own heights hold.
  if (availableHeight <= 0) h = static_cast<int>(std::max(totalDes, totalMin));
  auto lastTakesRest = [&](auto part) {
    int64_t given = 0;
    for (int r = 0; r + 1 < rowCount; ++r) {
      const int64_t v = part(static_cast<size_t>(r));
      Heights[static_cast<size_t>(r)] = static_cast<int>(v);
      given += v;
    }
    Heights.back() = static_cast<int>(h - given);
  };
  if (totalMin >= h) {
    for (int r = 0; r < rowCount; ++r) Heights[static_cast<size_t>(r)] = static_cast<int>(mins[static_cast<size_t>(r)]);
  } else if (totalDes >= h) {
    const Wide room = h - totalMin, spread = totalDes - totalMin;
    lastTakesRest([&](size_t i) {
      return mins[i] + static_cast<int64_t>(((dess[i] - mins[i]) * room * 2 + spread) / (spread * 2));
    });
  } else if (allOwn) {
    if (totalDes <= 0)
      // Nothing to go by: the rows share evenly.
      lastTakesRest([&](size_t) { return int64_t{h} / rowCount; });
    else
      lastTakesRest([&](size_t i) { return static_cast<int64_t>((Wide{dess[i]} * h * 2 + totalDes) / (totalDes * 2)); });
  } else {
    int free = static_cast<int>(h - totalDes), without = 0, lastWithout = -1;
    for (int r = 0; r < rowCount; ++r) {
      Heights[static_cast<size_t>(r)] = static_cast<int>(dess[static_cast<size_t>(r)]);
      if (!own[static_cast<size_t>(r)]) {
        ++without;
        lastWithout = r;
      }
    }
    const int each = free / without;
    for (int r = 0; r < rowCount; ++r)
      if (!own[static_cast<size_t>(r)]) Heights[static_cast<size_t>(r)] += each;
    Heights[static_cast<size_t>(lastWithout)] += free - each * without;
  }
  heightWidths_ = Widths;
  heightsFound_ = true;
}

int THtmlTable::PlaceRows(TCanvas& canvas, int y, int& curs) {
  const int rowCount = Rows.Count();
  rowTops_.assign(static_cast<size_t>(rowCount) + 1, y);
  HeadHeight = HeadRowCount = FootHeight = 0;
  FootStartRow = -1;
  FootOffset = 0;
  bool body = false;
  for (int r = 0; r < rowCount; ++r) {
    TCellList& row = *Rows[r];
    const int height = Heights[static_cast<size_t>(r)];
    row.RowHeight = height;
    rowTops_[static_cast<size_t>(r) + 1] = CapCoord(static_cast<int64_t>(rowTops_[static_cast<size_t>(r)]) + height);
    if (row.RowType == rkHead) {
      ++HeadRowCount;
      HeadHeight = CapCoord(static_cast<int64_t>(HeadHeight) + height);
    } else if (row.RowType == rkFoot) {
      if (FootStartRow < 0) {
        FootStartRow = r;
        FootOffset = rowTops_[static_cast<size_t>(r)] - y;
      }
      FootHeight = CapCoord(static_cast<int64_t>(FootHeight) + height);
    } else {
      body = true;
    }
  }
  const bool positioning = Owner == nullptr || Owner->InLogic2;
  for (int r = 0; r < rowCount; ++r) {
    TCellList& row = *Rows[r];
    row.TallestCell = nullptr;
    for (const auto& cellPtr : row) {
      if (!cellPtr || cellPtr->Col < 0) continue;
      TCellObj& cell = *cellPtr;
      const int last = std::min(r + cell.RowSpan, rowCount);
      cell.SpannedHeight = rowTops_[static_cast<size_t>(last)] - rowTops_[static_cast<size_t>(r)];
      if (!positioning) {
        curs += cell.Cell->CharCount;
        continue;
      }
      const int free = std::max(0, cell.SpannedHeight - cell.CellHeight - cell.VrSpace - CellSpacing);
      cell.YIndent = cell.VAlign == cvMiddle ? free / 2 : cell.VAlign == cvBottom || cell.VAlign == cvBaseline ? free : 0;
      int scroll = 0;
      const int x = DrawX() + colLefts_[static_cast<size_t>(cell.Col)] + CellSpacing + cell.BorderWidths[0] +
                    cell.PadLeft();
      const int top = rowTops_[static_cast<size_t>(r)] + CellSpacing + cell.BorderWidths[1] + cell.PadTop();
      cell.CellHeight = cell.Cell->Layout(canvas, x, top + cell.YIndent, CellContentWidth(cell), 0, 0, 0, 0, scroll,
                                          curs);
      if (!row.TallestCell || cell.CellHeight > row.TallestCell->CellHeight) row.TallestCell = &cell;
    }
  }
  HeaderRepeat = (HeadHeight >= 1 || FootHeight >= 1) && body;
  return rowTops_.back() - y + CellSpacing;
}

int THtmlTable::Layout(TCanvas& canvas, int x, int y, int width, int, int blockHeight, int, int, TIndentManager&,
                       int& maxWidth, int& curs) {
  if (Owner) ++Owner->TableNestLevel;
  const int depth = Owner ? Owner->TableNestLevel : 1;
  drawX_ = x;
  DrawTop = ContentTop = YPos = y;
  StartChar = curs;
  FindColumnWidths(canvas, SpecWidth > 0 ? SpecWidth : width);
  const bool positioningPass = Owner && Owner->InLogic2;
  if (!heightsFound_ || depth == 1 || heightWidths_ != Widths || (positioningPass && depth <= 5))
    FindRowHeights(canvas, blockHeight);
  // The outermost table places the contents of every cell, nested tables' included, once the
  // heights are known.
  if (Owner && depth == 1) Owner->InLogic2 = true;
  SectionHeight = DrawHeight = PlaceRows(canvas, y, curs);
  if (Owner && depth == 1) Owner->InLogic2 = false;
  ContentBottom = DrawBottom = y + SectionHeight;
  CharCount = curs - StartChar;
  maxWidth = TableWidth;
  if (Owner && Owner->FirstLineRequested && Owner->FirstLineY < 0) Owner->FirstLineY = ContentBottom;
  if (Owner) --Owner->TableNestLevel;
  minMaxFresh_ = false;
  return SectionHeight;
}

// ---- drawing ----

void THtmlTable::DrawCell(TCanvas& canvas, const TRect& clip, TCellObj& cell, int x, int y) {
  const int yOffset = Owner ? Owner->YOffset : 0;
  const int right = x + colLefts_[static_cast<size_t>(cell.Col + cell.ColSpan)] -
                    colLefts_[static_cast<size_t>(cell.Col)];
  const TRect box{x + CellSpacing, y + CellSpacing - yOffset, right, y + cell.SpannedHeight - yOffset};
  cell.Cell->CellRect = box.Offset(0, yOffset);
  if (Outside(box, clip)) return;
  const bool images = Owner && Owner->ShowImages && (!Owner->Printing || Owner->PrintBackgroundImages);
  if (!cell.BGImageName.empty() && !cell.BGImage && images) {
    bool pending = false;
    cell.BGImage = cell.BGWait.Get(*Owner, Owner->ImageName(cell.BGImageName), pending);
    cell.BGPending = pending;
    if ((!cell.BGImage && !pending) || (cell.BGImage && cell.BGImage->Error)) {
      // Failed: dropped for good.
      cell.BGImage.reset();
      cell.BGImageName.clear();
    }
  }
  if (cell.BkColor != clNone) {
    TRect fill = box;
    if (!cell.HasBorderStyle) {
      if (cell.BorderWidths[0] > 0) ++fill.Left;
      if (cell.BorderWidths[1] > 0) ++fill.Top;
      if (cell.BorderWidths[2] > 0) --fill.Right;
      if (cell.BorderWidths[3] > 0) --fill.Bottom;
    }
    FillRectColor(canvas, fill, cell.BkColor);
  }
  if (images && cell.BGImage && !cell.BGImage->Image.isNull()) {
    const TTileGrid grid = BackgroundTileGrid(box.Width(), box.Height(), cell.BGImage->Image.width(),
                                              cell.BGImage->Image.height(), cell.BGPos);
    DrawBackgroundTiles(canvas, cell.BGImage->Image, grid, box, clip.Top, clip.Bottom);
  }
  const bool near = box.Top < clip.Bottom + 200 && box.Bottom > clip.Top - 200;
  if (!near) return;
  if (cell.HasContent()) {
    // Content wider than its cell (an image of the full width with spaces beside it) is cut at
    // the cell's border: it never paints over the border or into the next cell.
    const TRect inside{box.Left + cell.BorderWidths[0], box.Top + cell.BorderWidths[1], box.Right - cell.BorderWidths[2],
                       box.Bottom - cell.BorderWidths[3]};
    TClipScope keep(canvas, inside, Owner && Owner->Printing);
    cell.Cell->Draw(canvas, clip, box.Width(), x + CellSpacing + cell.BorderWidths[0] + cell.PadLeft(), x, y);
  }
  if ((cell.HasContent() || cell.ShowEmptyCells) &&
      std::any_of(cell.BorderWidths.begin(), cell.BorderWidths.end(), [](int w) { return w > 0; })) {
    const TRect inner{box.Left + cell.BorderWidths[0], box.Top + cell.BorderWidths[1],
                      box.Right - cell.BorderWidths[2], box.Bottom - cell.BorderWidths[3]};
    DrawBorder(canvas, box, inner, cell.BorderColors, cell.BorderStyles, cell.BkColor, Owner && Owner->Printing);
  }
}

int THtmlTable::DrawRows(TCanvas& canvas, const TRect& clip, int first, int last, int x, int yShift) {
  const bool printing = Owner && Owner->Printing;
  const int yOffset = Owner ? Owner->YOffset : 0;
  const int pageTop = yOffset + clip.Top;
  int bottom = rowTops_.empty() ? YPos : rowTops_[static_cast<size_t>(first)] + yShift;
  for (int r = first; r <= last && r < Rows.Count(); ++r) {
    const int top = rowTops_[static_cast<size_t>(r)] + yShift;
    const int rowBottom = rowTops_[static_cast<size_t>(r) + 1] + yShift;
    if (printing) {
      if (rowBottom <= pageTop) {
        // On an earlier page, but for the cells that span rows down into this one: their words
        // below the earlier page's break and the rest of their frame print here.
        for (const auto& cell : *Rows[r])
          if (cell && cell->Col >= 0 && cell->ColSpan >= 1 && cell->RowSpan > 1 &&
              top + cell->SpannedHeight > pageTop) {
            DrawCell(canvas, clip, *cell, x + colLefts_[static_cast<size_t>(cell->Col)], top);
            Owner->PageInked = true;
          }
        continue;
      }
      if (top >= Owner->PageBottom) break;
      // A row that does not fit moves whole to the next page, unless it begins the page: a row
      // taller than a page is cut.
      if (rowBottom > Owner->PageBottom && top > pageTop) {
        Owner->PageBottom = top;
        break;
      }
      // Its cells may paint borders and backgrounds without a word in them.
      Owner->PageInked = true;
    } else if (top - yOffset >= clip.Bottom) {
      break;
    }
    for (const auto& cell : *Rows[r])
      if (cell && cell->Col >= 0 && cell->ColSpan >= 1 && cell->RowSpan >= 1)
        DrawCell(canvas, clip, *cell, x + colLefts_[static_cast<size_t>(cell->Col)], top);
    bottom = rowBottom;
  }
  return bottom;
}

int THtmlTable::DrawInParts(TCanvas& canvas, const TRect& clip, int x) {
  ThtDocument& doc = *Owner;
  const int y = YPos;
  const int lastRow = Rows.Count() - 1;
  const int tb = TopBorder(), bb = BottomBorder();
  TTablePartRec& rec = PartRecord;
  auto afterBody = [&] {
    if (FootStartRow >= 0) {
      rec.Kind = tpFooter;
      rec.Start = y + FootOffset;
      rec.Height = std::max(2 * CellSpacing, CellSpacing + 1) + FootHeight + bb;
    } else if (HeadHeight > 0) {
      rec.Kind = tpHeader;
      rec.Start = y - tb;
      rec.Height = HeadHeight + tb;
    }
  };
  // The body rows: the header and footer rows have their own parts.
  const int bodyFirst = HeadRowCount;
  const int bodyLast = FootStartRow >= 0 ? FootStartRow - 1 : lastRow;
  switch (rec.Kind) {
    case tpWhole: {
      doc.SplitTable = this;
      if (y + SectionHeight + bb <= doc.PageBottom) {
        DrawRows(canvas, clip, 0, lastRow, x, 0);
        doc.SplitTable = nullptr;
        break;
      }
      const int firstBody = bodyFirst <= bodyLast ? Heights[static_cast<size_t>(bodyFirst)] : 0;
      const int minPart = firstBody + HeadHeight + FootHeight;
      if (y - doc.YOffset > clip.Top && y + minPart > doc.PageBottom && clip.Height() > minPart) {
        // The table starts on the next page.
        if (y + CellSpacing / 2 < doc.PageBottom) {
          doc.PageBottom = y + CellSpacing / 2;
          doc.PageShortened = true;
        }
        break;
      }
      doc.PageBottom -= FootHeight + CellSpacing + bb + 5;
      DrawRows(canvas, clip, 0, bodyLast, x, 0);
      BodyBreak = doc.PageBottom;
      afterBody();
      break;
    }
    case tpHeader:
      DrawRows(canvas, clip, 0, HeadRowCount - 1, x, 0);
      rec.Kind = tpFirstBody;
      rec.Start = BodyBreak - 1;
      rec.Reserve = std::max(CellSpacing, 1) + FootHeight + bb;
      break;
    case tpFirstBody:
    case tpNextBody:
      if (y + SectionHeight + bb < doc.PageBottom) {
        DrawRows(canvas, clip, bodyFirst, lastRow, x, 0);
        if (rec.Kind == tpNextBody) doc.SplitTable = nullptr;
        rec.Kind = tpWhole;
        break;
      }
      if (rec.Kind == tpFirstBody) {
        doc.PageBottom = doc.PageBottom - FootHeight - bb + std::max(CellSpacing, 1);
        DrawRows(canvas, clip, bodyFirst, bodyLast, x, 0);
        BodyBreak = doc.PageBottom;
        afterBody();
      } else {
        const int saved = doc.PageBottom;
        DrawRows(canvas, clip, bodyFirst, bodyLast, x, 0);
        BodyBreak = doc.PageBottom;
        if (FootStartRow < 0 && HeadHeight > 0) doc.PageBottom = saved;
        afterBody();
      }
      break;
    case tpAfterFooter: break;
    case tpFooter: {
      const int shift = FootStartRow >= 0 ? rec.Start - (y + FootOffset) : 0;
      if (FootStartRow >= 0) DrawRows(canvas, clip, FootStartRow, lastRow, x, shift);
      if (HeadHeight < 1) {
        rec.Kind = tpAfterFooter;
        rec.Start = BodyBreak - 1;
        rec.Reserve = std::max(CellSpacing, 1) + FootHeight;
      } else {
        rec.Kind = tpHeader;
        rec.Start = y - tb;
        rec.Height = HeadHeight + tb;
      }
      break;
    }
  }
  return y + SectionHeight;
}

int THtmlTable::Draw(TCanvas& canvas, const TRect& clip, int, int x, int, int) {
  drawX_ = x;
  if (Rows.Count() == 0 || rowTops_.size() != static_cast<size_t>(Rows.Count()) + 1) return YPos + SectionHeight;
  if (Owner) ++Owner->TableNestLevel;
  const int yOffset = Owner ? Owner->YOffset : 0;
  const bool printing = Owner && Owner->Printing;
  const int top = YPos - yOffset;
  if (printing || (top < clip.Bottom && top + SectionHeight > clip.Top)) {
    if (printing && Owner->TableNestLevel == 1 && HeaderRepeat && YPos < Owner->PageBottom &&
        (Owner->SplitTable == nullptr || Owner->SplitTable == this))
      DrawInParts(canvas, clip, x);
    else
      DrawRows(canvas, clip, 0, Rows.Count() - 1, x, 0);
  }
  if (Owner) --Owner->TableNestLevel;
  return YPos + SectionHeight;
}

// ---- queries ----

namespace {
template <class F>
bool EachCell(const TRowList& rows, bool backwards, F f) {
  const int n = rows.Count();
  for (int k = 0; k < n; ++k) {
    const TCellList& row = *rows[backwards ? n - 1 - k : k];
    const int m = row.Count();
    for (int j = 0; j < m; ++j) {
      TCellObj* cell = row[backwards ? m - 1 - j : j];
      if (cell && cell->Col >= 0 && cell->Cell && f(*cell->Cell)) return true;
    }
  }
  return false;
}
}  // namespace

bool THtmlTable::CharToPoint(int index, int& x, int& y, int& height) {
  return EachCell(Rows, false, [&](TCellObjCell& c) { return c.CharToPoint(index, x, y, height); });
}

int THtmlTable::SourceToChar(int source, bool backwards) {
  int result = -1;
  EachCell(Rows, backwards, [&](TCellObjCell& c) { return (result = c.SourceToChar(source, backwards)) >= 0; });
  return result;
}

void THtmlTable::TextSections(std::vector<TSection*>& out) {
  EachCell(Rows, false, [&](TCellObjCell& c) {
    c.TextSections(out);
    return false;
  });
}

int THtmlTable::CharToSource(int index) {
  int result = -1;
  EachCell(Rows, false, [&](TCellObjCell& c) { return (result = c.CharToSource(index)) >= 0; });
  return result;
}

int THtmlTable::SearchForward(int start, const std::u16string& text, bool matchCase) {
  int result = -1;
  EachCell(Rows, false, [&](TCellObjCell& c) { return (result = c.SearchForward(start, text, matchCase)) >= 0; });
  return result;
}

int THtmlTable::SearchBackward(int start, const std::u16string& text, bool matchCase) {
  int result = -1;
  EachCell(Rows, true, [&](TCellObjCell& c) { return (result = c.SearchBackward(start, text, matchCase)) >= 0; });
  return result;
}

bool THtmlTable::CharAt(int index, char16_t& ch, TIDObject*& object) {
  ch = 0;
  object = nullptr;
  return EachCell(Rows, false, [&](TCellObjCell& c) { return c.CharAt(index, ch, object); });
}

void THtmlTable::CopySelection() {
  EachCell(Rows, false, [](TCellObjCell& c) {
    c.CopySelection();
    return false;
  });
}

namespace {
// The cell whose columns hold x and whose drawn rows hold y.
TCellObj* CellAt(const THtmlTable& t, int x, int y) {
  if (y < t.ContentTop || y >= t.ContentTop + t.SectionHeight || x < t.DrawX() || x >= t.DrawX() + t.TableWidth)
    return nullptr;
  const auto& lefts = t.ColumnLefts();
  const auto& tops = t.RowTops();
  if (tops.size() != static_cast<size_t>(t.Rows.Count()) + 1) return nullptr;
  for (int r = 0; r < t.Rows.Count(); ++r) {
    if (tops[static_cast<size_t>(r)] > y) break;
    for (const auto& cell : *t.Rows[r]) {
      if (!cell || cell->Col < 0) continue;
      const int left = t.DrawX() + lefts[static_cast<size_t>(cell->Col)];
      const int right = t.DrawX() + lefts[static_cast<size_t>(cell->Col + cell->ColSpan)];
      const int top = tops[static_cast<size_t>(r)];
      if (x >= left && x < right && y >= top && y < top + cell->SpannedHeight) return cell.get();
    }
  }
  return nullptr;
}
}  // namespace

int THtmlTable::PointToChar(TCanvas& canvas, int x, int y, int& caretX, int& caretY, int& caretHeight, bool& inText) {
  inText = false;
  TCellObj* cell = CellAt(*this, x, y);
  return cell ? cell->Cell->PointToChar(canvas, x, y, caretX, caretY, caretHeight, inText) : -1;
}

unsigned THtmlTable::LinkAtPoint(TCanvas& canvas, int x, int y, std::unique_ptr<TUrlTarget>& url,
                                 TFormControlObj*& control, std::u16string& title) {
  url.reset();
  control = nullptr;
  title.clear();
  TCellObj* cell = CellAt(*this, x, y);
  return cell ? cell->Cell->LinkAtPoint(canvas, x, y, url, control, title) : 0;
}

bool THtmlTable::ObjectAtPoint(int x, int y, TFloatingObj*& object, int& objX, int& objY) {
  object = nullptr;
  TCellObj* cell = CellAt(*this, x, y);
  return cell && cell->Cell->ObjectAtPoint(x, y, object, objX, objY);
}

}  // namespace htmlview
