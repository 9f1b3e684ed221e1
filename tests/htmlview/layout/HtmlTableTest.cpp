#include <gtest/gtest.h>

#include <QImage>
#include <numeric>
#include <random>

#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/layout/HtmlShared.h"
#include "htmlview/layout/HtmlTable.h"
#include "htmlview/style/StylePars.h"
#include "htmlview/style/StyleValues.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/htmlview/LayoutPieces.h"

using namespace htmlview;

namespace {

// Content of given minimum and maximum widths and height; records where it was laid out and
// where it was drawn.
class TBox : public TFixedHeightSection {
public:
  TBox(ThtDocument* owner, TCellBasic* cell, int minW, int maxW, int h, std::vector<std::pair<int, int>>* drawn,
       int tag)
      : TFixedHeightSection(owner, cell), MinW(minW), MaxW(maxW), H(h), Drawn(drawn), Tag(tag) {}
  int MinW, MaxW, H;
  std::vector<std::pair<int, int>>* Drawn;  // (tag, window y)
  int Tag;
  int LaidX = 0, LaidWidth = 0;
  int Layout(TCanvas&, int x, int y, int width, int, int, int, int, TIndentManager&, int& maxWidth,
             int& curs) override {
    StartChar = curs;
    ++curs;
    CharCount = 1;
    LaidX = x;
    LaidWidth = width;
    maxWidth = MaxW;
    return PlaceAt(y, H);
  }
  int Draw(TCanvas&, const TRect&, int, int, int, int) override {
    if (Drawn) Drawn->push_back({Tag, YPos - Owner->YOffset});
    return DrawBottom;
  }
  void WidthRange(TCanvas&, int& minWidth, int& maxWidth) override {
    minWidth = MinW;
    maxWidth = MaxW;
  }
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* owner, TCellBasic* cell) const override {
    return std::make_unique<TBox>(owner, cell, MinW, MaxW, H, Drawn, Tag);
  }
};

// A cell as the tests describe it: content widths and height, spans, width and height.
struct C {
  int minW = 0, maxW = 0, h = 0;
  int colSpan = 1, rowSpan = 1;
  TSpecWidth w{};
  TSpecWidth ht{};
  TCellVAlign valign = cvMiddle;
  bool empty = false;
};
C Box(int minW, int maxW, int h = 10) { return C{minW, maxW, h}; }
C Fixed(int width, int minW = 10, int maxW = 10) { return C{minW, maxW, 10, 1, 1, {width, wtAbsolute}}; }
C Pct(int tenths, int minW = 10, int maxW = 10) { return C{minW, maxW, 10, 1, 1, {tenths, wtPercent}}; }
C Span(int minW, int maxW, int colSpan, int rowSpan = 1, int h = 10) { return C{minW, maxW, h, colSpan, rowSpan}; }
C High(int h, TSpecWidth ht, int rowSpan = 1) { return C{10, 10, h, 1, rowSpan, {}, ht}; }

class Tables : public ::testing::Test {
protected:
  void SetUp() override {
    EnsureGuiApp();
    doc = std::make_unique<ThtDocument>(nullptr, nullptr);
    image = QImage(300, 300, QImage::Format_RGB32);
    image.fill(Qt::white);
  }

  // A table of the rows given, with no padding and no spacing unless asked.
  THtmlTable* Make(const std::vector<std::vector<C>>& rows, int spacing = 0, int padding = 0) {
    auto t = std::make_unique<THtmlTable>(doc.get(), doc.get());
    t->CellSpacing = spacing;
    t->CellPadding = padding;
    int tag = 0;
    for (const auto& cells : rows) {
      auto row = std::make_unique<TCellList>();
      for (const C& c : cells) {
        auto cell = std::make_unique<TCellObj>(doc.get());
        cell->ColSpan = c.colSpan;
        cell->RowSpan = c.rowSpan;
        cell->SpecWidth = c.w;
        cell->SpecHeight = c.ht;
        cell->VAlign = c.valign;
        if (!c.empty)
          cell->Cell->Add(std::make_unique<TBox>(doc.get(), cell->Cell.get(), c.minW, c.maxW, c.h, &drawn, tag));
        ++tag;
        row->Add(std::move(cell));
      }
      t->AddRow(std::move(row));
    }
    table = t.get();
    doc->Add(std::move(t));
    return table;
  }
  // Lays the table out at width (its block height blockHeight); returns the height.
  int Layout(int width, int blockHeight = 0) {
    TCanvas canvas(&image);
    canvas.Measurer = &fixed;
    TIndentManager imgr;
    imgr.Reset(0, width);
    int maxWidth = 0, curs = 0;
    return table->Layout(canvas, 0, 0, width, 0, blockHeight, 0, 0, imgr, maxWidth, curs);
  }
  void Range(int& mn, int& mx) {
    TCanvas canvas(&image);
    canvas.Measurer = &fixed;
    table->WidthRange(canvas, mn, mx);
  }
  TBox* BoxOf(int row, int col) {
    return static_cast<TBox*>((*(*table->Rows[row])[col]->Cell)[0]);
  }
  static int Sum(const std::vector<int>& v) { return std::accumulate(v.begin(), v.end(), 0); }

  TFixedMeasurer fixed{8, 16};
  std::unique_ptr<ThtDocument> doc;
  THtmlTable* table = nullptr;
  QImage image;
  std::vector<std::pair<int, int>> drawn;
};

TEST_F(Tables, AttributesAsWritten) {
  struct Attr {
    Symb which;
    int value;
    std::u16string text;
  };
  struct Case {
    const char* name;
    std::vector<Attr> attrs;
    std::u16string style;
    int border, padding, spacing;
  };
  const Case cases[] = {
      {"defaults", {}, u"", 0, 1, 2},
      {"BORDER without a value", {{BorderSy, 0, u""}}, u"", 1, 1, 2},
      {"clamped", {{BorderSy, 500, u"500"}, {CellpaddingSy, 90, u"90"}, {CellspacingSy, -7, u"-7"}}, u"", 100, 50, -1},
      {"spacing 40 at most", {{CellspacingSy, 41, u"41"}}, u"", 0, 1, 40},
      {"collapsed borders", {{CellspacingSy, 5, u"5"}}, u"border-collapse: collapse", 0, 1, -1},
  };
  for (const Case& c : cases) {
    TAttributeList attributes;
    for (const Attr& a : c.attrs) attributes.Add(a.which, a.value, u"", a.text, 0);
    std::unique_ptr<TProperties> style;
    if (!c.style.empty()) {
      style = std::make_unique<TProperties>(false);
      ParseStyleAttrString(c.style, *style);
    }
    TProperties& props = doc->PropertyStack->PushProperties(u"table", u"", u"", u"", u"",
                                                            static_cast<const TProperties*>(style.get()));
    THtmlTable t(doc.get(), doc.get(), &attributes, props);
    EXPECT_EQ(t.BorderWidth, c.border) << c.name;
    EXPECT_EQ(t.CellPadding, c.padding) << c.name;
    EXPECT_EQ(t.CellSpacing, c.spacing) << c.name;
    doc->PropertyStack->PopProperties();
  }
  // A cell: spans above 1 taken, its alignment from the row unless its style gives one, links.
  TAttributeList attributes;
  attributes.Add(ColspanSy, 0, u"", u"0", 0);
  attributes.Add(RowspanSy, 3, u"", u"3", 0);
  attributes.Add(WidthSy, 40, u"", u"40%", 0);
  attributes.Add(HrefSy, 0, u"", u"x.html", 0);
  TProperties& props = doc->PropertyStack->PushProperties(u"td", u"", u"", u"", u"",
                                                          static_cast<const TProperties*>(nullptr));
  TCellObj cell(doc.get(), props, &attributes, cvBottom);
  EXPECT_EQ(cell.ColSpan, 1);
  EXPECT_EQ(cell.RowSpan, 3);
  EXPECT_EQ(cell.SpecWidth, (TSpecWidth{400, wtPercent}));
  EXPECT_EQ(cell.VAlign, cvBottom);
  EXPECT_EQ(cell.Cell->Url, u"x.html");
  EXPECT_EQ(cell.Padding, (std::array<int, 4>{-1, -1, -1, -1}));
  auto style = std::make_unique<TProperties>(false);
  ParseStyleAttrString(u"vertical-align: top; padding: 3px", *style);
  TProperties& topProps =
      doc->PropertyStack->PushProperties(u"td", u"", u"", u"", u"", static_cast<const TProperties*>(style.get()));
  TCellObj top(doc.get(), topProps, nullptr, cvBottom);
  EXPECT_EQ(top.VAlign, cvTop);
  EXPECT_EQ(top.Padding, (std::array<int, 4>{3, 3, 3, 3}));
}

TEST_F(Tables, BorderAttributeGivesCellsBorders) {
  Make({{Box(10, 10), Box(10, 10)}}, 2, 1);
  table->BorderWidth = 1;
  (*table->Rows[0])[1]->HasBorderStyle = true;
  Layout(600);
  EXPECT_EQ((*table->Rows[0])[0]->BorderWidths, (std::array<int, 4>{1, 1, 1, 1}));
  EXPECT_EQ((*table->Rows[0])[0]->HzSpace, 4);
  // A cell with a border style of its own keeps its widths.
  EXPECT_EQ((*table->Rows[0])[1]->BorderWidths, (std::array<int, 4>{0, 0, 0, 0}));
  EXPECT_EQ(table->Widths, (std::vector<int>{16, 14}));
}

// ---- widths ----

TEST_F(Tables, ColumnWidths) {
  using Cols = std::vector<TSpecWidth>;
  struct Case {
    const char* name;
    std::vector<std::vector<C>> rows;
    Cols specs;
    int specWidth, width;
    std::vector<int> widths;
  };
  const TSpecWidth none{}, rel1{1, wtRelative}, rel2{2, wtRelative}, rel0{0, wtRelative};
  const Case cases[] = {
      {"content fits: maxima", {{Box(20, 50), Box(30, 70)}}, {}, 0, 600, {50, 70}},
      {"narrow page: minima", {{Box(20, 50), Box(30, 70)}}, {}, 0, 40, {20, 30}},
      // 50 free in proportion to (max - min) 30 : 40, the first column taking the remainder.
      {"between", {{Box(20, 50), Box(30, 70)}}, {}, 0, 100, {42, 58}},
      // The percentage column first grows to its 30 % share, then the other takes the rest.
      {"percentage first", {{Pct(300, 20, 30), Box(20, 40)}}, {}, 200, 600, {60, 140}},
      // 150 % in all: the shares are taken of the sum.
      {"over 100 %", {{Pct(600), Pct(600), Pct(300)}}, {}, 300, 600, {120, 120, 60}},
      // 50 % in all: the divisor stays 1000, and the rest follows the current widths.
      {"under 100 %", {{Pct(200), Pct(300)}}, {}, 200, 600, {80, 120}},
      // Fixed columns without room between min and max spread by their widths.
      {"fixed by widths", {{Box(10, 10), Box(10, 10)}}, {{50, wtAbsolute}, {100, wtAbsolute}}, 300, 600, {100, 200}},
      // Fixed cells: min 50 max 80 and min 100 max 100: the room (30 : 0) takes it all.
      {"fixed by room", {{Fixed(50, 10, 80), Fixed(100, 10, 100)}}, {}, 300, 600, {200, 100}},
      {"2* against 1*", {{Box(10, 20), Box(10, 20)}}, {rel2, rel1}, 300, 600, {200, 100}},
      {"0* keeps its minimum", {{Box(10, 20), Box(10, 20)}}, {rel0, rel1}, 300, 600, {10, 290}},
      {"only 0*: even", {{Box(10, 20), Box(10, 20)}}, {rel0, rel0}, 300, 600, {150, 150}},
      {"all zero widths", {{Box(0, 0), Box(0, 0)}}, {none, none}, 100, 600, {50, 50}},
      {"all zero percentages", {{Pct(0, 0, 0), Pct(0, 0, 0)}}, {}, 100, 600, {50, 50}},
  };
  for (const Case& c : cases) {
    SetUp();
    Make(c.rows);
    for (const TSpecWidth& s : c.specs) table->AddColSpecs(1, s, u"", 0);
    table->SpecWidth = c.specWidth;
    Layout(c.width);
    EXPECT_EQ(table->Widths, c.widths) << c.name;
    EXPECT_EQ(table->TableWidth, Sum(c.widths)) << c.name;
  }
}

TEST_F(Tables, PercentSumCountsPercentageColumns) {
  // The first column is fixed by its specification: its cell's percentage does not count.
  Make({{Pct(400), Pct(300), Pct(200), Box(5, 5)}});
  table->AddColSpecs(1, {50, wtAbsolute}, u"", 0);
  int mn = 0, mx = 0;
  Range(mn, mx);
  EXPECT_EQ(table->PercentSum(), 500);
  EXPECT_EQ(table->TypeCount, (std::array<int, 4>{1, 1, 2, 0}));
}

TEST_F(Tables, CollapsedSpacingReportsTheSumLessOne) {
  Make({{Box(20, 40), Box(30, 50)}}, -1);
  int mn = 0, mx = 0;
  Range(mn, mx);
  // Each column is its content less the one pixel the borders share.
  EXPECT_EQ(table->MinWidths, (std::vector<int>{19, 29}));
  EXPECT_EQ(mn, 19 + 29 - 1);
  EXPECT_EQ(mx, 39 + 49 - 1);
  Layout(600);
  EXPECT_EQ(table->TableWidth, 39 + 49 - 1);
}

TEST_F(Tables, RandomDistributionsAddUpExactly) {
  std::mt19937 rng(24);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 400; ++round) {
    SetUp();
    std::vector<std::vector<C>> rows(static_cast<size_t>(pick(1, 5)));
    for (auto& row : rows) {
      const int n = pick(1, 5);
      for (int k = 0; k < n; ++k) {
        C c = Box(pick(0, 60), 0);
        c.maxW = c.minW + pick(0, 1) * pick(0, 200);
        c.colSpan = pick(0, 3) == 0 ? pick(2, 4) : 1;
        c.rowSpan = pick(0, 4) == 0 ? pick(2, 3) : 1;
        switch (pick(0, 4)) {
          case 1: c.w = {pick(0, 120), wtAbsolute}; break;
          case 2: c.w = {pick(0, 700), wtPercent}; break;
          case 3: c.w = {pick(0, 3), wtRelative}; break;
          default: break;
        }
        row.push_back(c);
      }
    }
    Make(rows, pick(-1, 4), pick(0, 3));
    for (int k = pick(0, 4); k > 0; --k) {
      const TWidthType kinds[] = {wtNone, wtAbsolute, wtPercent, wtRelative};
      const TWidthType kind = kinds[pick(0, 3)];
      table->AddColSpecs(1, {kind == wtPercent ? pick(0, 800) : kind == wtRelative ? pick(0, 3) : pick(0, 90), kind},
                         u"", 0);
    }
    table->SpecWidth = pick(0, 1) ? pick(1, 900) : 0;
    const int width = pick(0, 900);
    Layout(width);
    const int w = (table->SpecWidth > 0 ? table->SpecWidth : width) - table->CellSpacing;
    const int sumMin = Sum(table->MinWidths), sumMax = Sum(table->MaxWidths);
    for (size_t i = 0; i < table->Widths.size(); ++i) {
      ASSERT_LE(table->MinWidths[i], table->MaxWidths[i]) << round;
      ASSERT_GE(table->Widths[i], table->MinWidths[i]) << round;
    }
    if (sumMin >= w)
      EXPECT_EQ(Sum(table->Widths), sumMin) << round;
    else if (table->SpecWidth > 0 || w < sumMax)
      EXPECT_EQ(Sum(table->Widths), w) << round;
    else
      EXPECT_EQ(table->Widths, table->MaxWidths) << round;
  }
}

// ---- spans ----

TEST_F(Tables, ColumnSpanExcess) {
  struct Case {
    const char* name;
    C second;  // the column beside a fixed 30-pixel column
    std::vector<int> minWidths;
  };
  const Case cases[] = {
      {"unspecified first", Box(10, 10), {30, 70}},
      {"then relative", C{10, 10, 10, 1, 1, {1, wtRelative}}, {30, 70}},
      {"then percentage", Pct(200), {30, 70}},
      // Fixed columns only, without room between min and max: evenly.
      {"fixed evenly", Fixed(10), {60, 40}},
  };
  for (const Case& c : cases) {
    SetUp();
    Make({{Span(100, 100, 2)}, {Fixed(30), c.second}});
    int mn = 0, mx = 0;
    Range(mn, mx);
    EXPECT_EQ(table->MinWidths, c.minWidths) << c.name;
    EXPECT_EQ(mn, 100) << c.name;
  }
}

TEST_F(Tables, SpanningCellsSpreadTheirShares) {
  // A percentage over unspecified columns hands them its percentage; they become percentage
  // columns.
  C wide = Span(100, 100, 2);
  wide.w = {600, wtPercent};
  Make({{wide}, {Box(10, 10), Box(10, 10)}});
  int mn = 0, mx = 0;
  Range(mn, mx);
  EXPECT_EQ(table->Percents, (std::vector<int>{300, 300}));
  EXPECT_EQ(table->ColumnType, (std::vector<uint8_t>{ctPercent, ctPercent}));
  // Over 0* columns only: the weights add up to 0, so the excess goes evenly.
  SetUp();
  Make({{Span(100, 100, 2)}, {Box(10, 10), Box(10, 10)}});
  table->AddColSpecs(2, {0, wtRelative}, u"", 0);
  Range(mn, mx);
  EXPECT_EQ(table->MinWidths, (std::vector<int>{50, 50}));
  // Over weighted relative columns: in proportion to the weights.
  SetUp();
  Make({{Span(90, 90, 2)}, {Box(10, 10), Box(10, 10)}});
  table->AddColSpecs(1, {2, wtRelative}, u"", 0);
  table->AddColSpecs(1, {1, wtRelative}, u"", 0);
  Range(mn, mx);
  EXPECT_EQ(table->MinWidths, (std::vector<int>{60, 30}));
}

TEST_F(Tables, RowSpanExcessGoesLastRowHeavy) {
  // 101 against rows of 10, 10 and 11: 70 more, 23 each and the remainder to the last.
  Make({{High(101, {}, 3), Box(10, 10, 10)}, {Box(10, 10, 10)}, {Box(10, 10, 11)}});
  Layout(600);
  EXPECT_EQ(table->Heights, (std::vector<int>{33, 33, 35}));
  EXPECT_EQ(table->SectionHeight, 101);
}

TEST_F(Tables, SpansPastTheGridAreClipped) {
  Make({{Span(10, 10, 3, 9), Box(10, 10)}, {Box(10, 10)}});
  Layout(600);
  TCellObj& a = *(*table->Rows[0])[0];
  EXPECT_EQ(a.RowSpan, 2);
  EXPECT_EQ(table->NumCols, 4);
  // The short second row: its last cell reaches the end and is widened to the last column.
  TCellObj& c = *(*table->Rows[1])[0];
  EXPECT_EQ(c.Col, 3);
  EXPECT_EQ(c.ColSpan, 1);
  TCellObj& b = *(*table->Rows[0])[1];
  EXPECT_EQ(b.Col, 3);
}

TEST_F(Tables, GridNormalisation) {
  struct Case {
    const char* name;
    std::vector<std::vector<C>> rows;
    int numCols;
    std::vector<std::pair<int, int>> colAndSpan;  // of every cell, row by row
  };
  const Case cases[] = {
      {"rows flow around a tall cell", {{Span(1, 1, 1, 2), Box(1, 1)}, {Box(1, 1), Box(1, 1)}}, 3,
       {{0, 1}, {1, 2}, {1, 1}, {2, 1}}},
      {"short row widened", {{Box(1, 1), Box(1, 1), Box(1, 1)}, {Box(1, 1)}}, 3, {{0, 1}, {1, 1}, {2, 1}, {0, 3}}},
      // A short row whose end is a tall cell from above is left as it is.
      {"short under a tall cell", {{Box(1, 1), Span(1, 1, 1, 2), Box(1, 1)}, {Box(1, 1)}}, 3,
       {{0, 1}, {1, 1}, {2, 1}, {0, 1}}},
      // Widening a tall last cell would run into the row below: it stays.
      {"tall cell not widened", {{Span(1, 1, 1, 2)}, {Box(1, 1), Box(1, 1)}}, 3, {{0, 1}, {1, 1}, {2, 1}}},
  };
  for (const Case& c : cases) {
    SetUp();
    Make(c.rows);
    Layout(600);
    EXPECT_EQ(table->NumCols, c.numCols) << c.name;
    std::vector<std::pair<int, int>> got;
    for (const auto& row : table->Rows)
      for (const auto& cell : *row) got.push_back({cell->Col, cell->ColSpan});
    EXPECT_EQ(got, c.colAndSpan) << c.name;
  }
}

TEST_F(Tables, EmptySlotsAndEmptyTables) {
  // A nil entry takes one column.
  Make({{Box(10, 10)}, {Box(20, 20)}});
  table->Rows[1]->Insert(0, nullptr);
  Layout(600);
  EXPECT_EQ(table->NumCols, 2);
  EXPECT_EQ((*table->Rows[1])[1]->Col, 1);
  // The first row is short: its cell is widened over both columns, within the second's 20.
  EXPECT_EQ((*table->Rows[0])[0]->ColSpan, 2);
  EXPECT_EQ(table->Widths, (std::vector<int>{0, 20}));
  // No rows at all: only the spacing.
  SetUp();
  Make({}, 2);
  EXPECT_EQ(Layout(600), 2);
  EXPECT_EQ(table->TableWidth, 2);
  TCanvas canvas(&image);
  EXPECT_EQ(table->Draw(canvas, {0, 0, 300, 300}, 300, 0, 0, 0), 2);
  // A row attribute.
  TAttributeList attributes;
  attributes.Add(ValignSy, 0, u"", u" Bottom", 0);
  TProperties& props =
      doc->PropertyStack->PushProperties(u"tr", u"", u"", u"", u"", static_cast<const TProperties*>(nullptr));
  EXPECT_EQ(TCellList(&attributes, props).VAlign, cvBottom);
}

TEST_F(Tables, HugeSpans) {
  {
    // Spans as the markup writes them, clamped when the cell is made.
    TProperties& props = doc->PropertyStack->PushProperties(u"td", u"", u"", u"", u"", static_cast<const TProperties*>(nullptr));
    TAttributeList attributes;
    attributes.Add(ColspanSy, 2e9, u"COLSPAN", u"2000000000", 0);
    attributes.Add(RowspanSy, 2e9, u"ROWSPAN", u"2000000000", 0);
    auto cell = std::make_unique<TCellObj>(doc.get(), props, &attributes, cvNone);
    EXPECT_EQ(cell->ColSpan, kMaxColSpan);
    EXPECT_EQ(cell->RowSpan, kMaxRowSpan);
    Make({{}, {Box(5, 5)}});
    table->Rows[0]->Add(std::move(cell));
    Layout(600);
    EXPECT_EQ((*table->Rows[0])[0]->RowSpan, 2);
    // The cell under the span finds no column within the cap: it takes one past it.
    EXPECT_EQ((*table->Rows[1])[0]->Col, kMaxGridCols);
    EXPECT_EQ(table->NumCols, kMaxGridCols + 1);
  }
  {
    // 1,000 cells of COLSPAN 1,000, then 10,000 rows of one cell: the spans give way, so that every
    // cell of the first row keeps a column of its own.
    SetUp();
    std::vector<std::vector<C>> rows(1);
    for (int k = 0; k < 1000; ++k) rows[0].push_back(Span(1, 1, 1000));
    for (int k = 0; k < 10000; ++k) rows.push_back({Box(1, 1)});
    Make(rows);
    Layout(600);
    EXPECT_EQ(table->NumCols, kMaxGridCols);
    EXPECT_EQ((*table->Rows[0])[1]->Col, 1);
    EXPECT_EQ((*table->Rows[0])[999]->Col, 999);
    EXPECT_EQ((*table->Rows[5])[0]->ColSpan, kMaxGridCols);
    EXPECT_EQ(table->Widths, table->MaxWidths);
    EXPECT_EQ(Sum(table->Widths), 1000);
  }
  {
    // ROWSPAN 60,000 over as many rows.
    SetUp();
    std::vector<std::vector<C>> rows(60000, std::vector<C>{Box(1, 1, 1)});
    rows[0].push_back(High(90000, {}, 60000));
    Make(rows);
    Layout(600);
    EXPECT_EQ(table->SectionHeight, 90000);
    EXPECT_EQ(table->Heights.front(), 1);
    EXPECT_EQ(table->Heights.back(), 1 + 30000);
  }
}

// ---- heights ----

TEST_F(Tables, RowHeights) {
  struct Case {
    const char* name;
    std::vector<std::vector<C>> rows;
    int spacing, blockHeight;
    std::vector<int> heights;
  };
  const TSpecWidth zero{0, wtAbsolute};
  C emptyZero = High(0, zero);
  emptyZero.empty = true;
  const Case cases[] = {
      // Every row has a height of its own and nothing desires any: H is shared evenly.
      {"nothing desired", {{emptyZero}, {emptyZero}, {emptyZero}}, 0, 100, {33, 33, 34}},
      {"spacing -1", {{emptyZero}, {emptyZero}, {emptyZero}}, -1, 100, {33, 33, 35}},
      // 25 % and 75 % of 200.
      {"percentages", {{High(10, {250, wtPercent})}, {High(10, {750, wtPercent})}}, 0, 200, {50, 150}},
      {"one row desires H", {{Box(5, 5, 10)}}, 0, 80, {80}},
      // The row without a height of its own takes what the other leaves.
      {"row without height", {{High(10, {40, wtAbsolute})}, {Box(5, 5, 10)}}, 0, 100, {40, 60}},
      {"minimum beyond H", {{Box(5, 5, 30)}, {Box(5, 5, 40)}}, 2, 20, {32, 42}},
      // Between min (10 + 10) and desired (40 + 60): 80 - 20 shared 30 : 50.
      {"between", {{High(10, {40, wtAbsolute})}, {High(10, {60, wtAbsolute})}}, 0, 80, {33, 47}},
      // No height from the block: the rows take what they desire.
      {"no block height", {{High(10, {40, wtAbsolute})}, {Box(5, 5, 10)}}, 2, 0, {42, 12}},
  };
  for (const Case& c : cases) {
    SetUp();
    Make(c.rows, c.spacing);
    const int h = Layout(600, c.blockHeight);
    EXPECT_EQ(table->Heights, c.heights) << c.name;
    EXPECT_EQ(h, Sum(c.heights) + c.spacing) << c.name;
  }
}

TEST_F(Tables, VerticalAlignment) {
  auto aligned = [](TCellVAlign a) {
    C c = Box(5, 5, 20);
    c.valign = a;
    return c;
  };
  Make({{Box(5, 5, 100), aligned(cvTop), aligned(cvMiddle), aligned(cvBottom), aligned(cvBaseline)}}, 2, 3);
  Layout(600);
  // Row: 100 + 6 padding + 2 spacing; free height of the short cells 108 - 26 - 2 = 80.
  const std::vector<int> indents{0, 0, 40, 80, 80};
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ((*table->Rows[0])[k]->YIndent, indents[static_cast<size_t>(k)]) << k;
    EXPECT_EQ(BoxOf(0, k)->YPos, 2 + 3 + indents[static_cast<size_t>(k)]) << k;
  }
  // Content x: spacing and padding inside each column.
  EXPECT_EQ(BoxOf(0, 1)->LaidX, table->ColumnLefts()[1] + 2 + 3);
  EXPECT_EQ(BoxOf(0, 1)->LaidWidth, 5);
}

TEST_F(Tables, NestedTablePlacedOnce) {
  Make({{Box(10, 10, 10), Box(10, 10, 10)}});
  THtmlTable* outer = table;
  TCellObj& host = *(*outer->Rows[0])[0];
  host.Cell->Clear();
  auto inner = std::make_unique<THtmlTable>(doc.get(), host.Cell.get());
  inner->CellSpacing = 0;
  inner->CellPadding = 0;
  auto row = std::make_unique<TCellList>();
  auto cell = std::make_unique<TCellObj>(doc.get());
  auto* box = new TBox(doc.get(), cell->Cell.get(), 20, 20, 30, &drawn, 99);
  cell->Cell->Add(std::unique_ptr<TSectionBase>(box));
  row->Add(std::move(cell));
  inner->AddRow(std::move(row));
  THtmlTable* in = inner.get();
  host.Cell->Add(std::move(inner));
  table = outer;
  Layout(600);
  EXPECT_EQ(outer->Widths, (std::vector<int>{20, 10}));
  EXPECT_EQ(outer->Heights, (std::vector<int>{30}));
  EXPECT_EQ(in->SectionHeight, 30);
  EXPECT_EQ(box->YPos, 0);
  EXPECT_EQ(BoxOf(0, 1)->YPos, 10);  // middle of the row
  EXPECT_EQ(BoxOf(0, 1)->LaidX, 20);
  EXPECT_EQ(doc->TableNestLevel, 0);
  EXPECT_FALSE(doc->InLogic2);
  // Characters: the inner box, then the second cell's.
  EXPECT_EQ(box->StartChar, 0);
  EXPECT_EQ(BoxOf(0, 1)->StartChar, 1);
  EXPECT_EQ(outer->CharCount, 2);
  TCanvas canvas(&image);
  outer->Draw(canvas, {0, 0, 300, 300}, 300, 0, 0, 0);
  EXPECT_EQ(drawn, (std::vector<std::pair<int, int>>{{99, 0}, {1, 10}}));
}

TEST_F(Tables, PrintCopyKeepsTheGrid) {
  Make({{Span(30, 40, 2)}, {Box(10, 20), Box(10, 20)}}, 2, 1);
  table->AddColSpecs(kMaxColSpecs - 1, {}, u"", 0);
  table->AddColSpecs(5, {}, u"", 0);
  EXPECT_EQ(table->ColSpecs->Count(), kMaxColSpecs);
  (*table->Rows[0])[0]->BkColor = RGB(1, 2, 3);
  Layout(600);
  auto copy = table->CreateCopy(doc.get(), doc.get());
  auto* t = dynamic_cast<THtmlTable*>(copy.get());
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Rows.Count(), 2);
  EXPECT_EQ(t->ColSpecs->Count(), kMaxColSpecs);
  EXPECT_EQ((*t->Rows[0])[0]->ColSpan, 2);
  EXPECT_EQ((*t->Rows[0])[0]->BkColor, RGB(1, 2, 3));
  EXPECT_EQ((*t->Rows[1])[1]->Cell->Count(), 1);
  table = t;
  doc->Add(std::move(copy));
  const std::vector<int> widths = table->Widths;
  Layout(600);
  EXPECT_EQ(table->Widths, widths);
}

// ---- drawing ----

constexpr TColor kBlue = 0xFF0000;

TEST_F(Tables, CellFillLeavesBorderedSides) {
  Make({{Box(40, 40, 20)}});
  TCellObj& cell = *(*table->Rows[0])[0];
  cell.BkColor = RGB(255, 0, 0);
  cell.BorderWidths = {1, 0, 1, 0};  // left and right, drawn in no style
  Layout(600);
  {
    TCanvas canvas(&image);
    table->Draw(canvas, {0, 0, 300, 300}, 300, 10, 0, 0);
  }
  // The box: x 10..51, y 0..20 (content 40 + the two border pixels).
  ExpectPixels(image, {{10, 5, clWhite}, {11, 5, RGB(255, 0, 0)}, {50, 5, RGB(255, 0, 0)}, {51, 5, clWhite},
                       {30, 0, RGB(255, 0, 0)}, {30, 19, RGB(255, 0, 0)}, {30, 20, clWhite}});
  // A cell with a border style of its own is filled to its edges.
  image.fill(Qt::white);
  cell.HasBorderStyle = true;
  {
    TCanvas canvas(&image);
    table->Draw(canvas, {0, 0, 300, 300}, 300, 10, 0, 0);
  }
  EXPECT_EQ(Px(image, 10, 5), RGB(255, 0, 0));
}

TEST_F(Tables, EmptyCellBorders) {
  for (bool show : {false, true}) {
    SetUp();
    C empty = Box(0, 0, 0);
    empty.empty = true;
    Make({{Box(20, 20, 20), empty}}, 0, 0);
    TCellObj& cell = *(*table->Rows[0])[1];
    cell.BorderWidths = {1, 1, 1, 1};
    cell.BorderStyles = {bssSolid, bssSolid, bssSolid, bssSolid};
    cell.BorderColors = {clBlack, clBlack, clBlack, clBlack};
    cell.ShowEmptyCells = show;
    table->AddColSpecs(2, {30, wtAbsolute}, u"", 0);
    Layout(600);
    {
      TCanvas canvas(&image);
      table->Draw(canvas, {0, 0, 300, 300}, 300, 0, 0, 0);
    }
    // The second cell's box begins at x 30.
    EXPECT_EQ(Px(image, 30, 5), show ? clBlack : clWhite) << show;
    EXPECT_EQ(Px(image, 40, 0), show ? clBlack : clWhite) << show;
    EXPECT_EQ(Px(image, 40, 5), clWhite) << show;
  }
}

TEST_F(Tables, BorderAttributeDrawsEachCellBorder) {
  Make({{Box(10, 10, 10), Box(10, 10, 10)}}, 2, 1);
  table->BorderWidth = 1;
  table->HasBorderAttribute = true;
  for (const auto& cell : *table->Rows[0]) {
    cell->BorderStyles = {bssSolid, bssSolid, bssSolid, bssSolid};
    cell->BorderColors = {kBlue, kBlue, kBlue, kBlue};
  }
  Layout(600);
  EXPECT_EQ(table->Widths, (std::vector<int>{16, 16}));  // 10 + padding 2 + border 2 + spacing 2
  {
    TCanvas canvas(&image);
    table->Draw(canvas, {0, 0, 300, 300}, 300, 0, 0, 0);
  }
  // Cells at x 2..16 and 18..32, y 2..16; one-pixel frames, the spacing left blank.
  for (int left : {2, 18}) {
    EXPECT_EQ(Px(image, left, 8), kBlue) << left;
    EXPECT_EQ(Px(image, left + 13, 8), kBlue) << left;
    EXPECT_EQ(Px(image, left + 6, 2), kBlue) << left;
    EXPECT_EQ(Px(image, left + 6, 15), kBlue) << left;
    EXPECT_EQ(Px(image, left + 1, 8), clWhite) << left;
    EXPECT_EQ(Px(image, left - 1, 8), clWhite) << left;
  }
  EXPECT_EQ(Px(image, 8, 1), clWhite);
  EXPECT_EQ(Px(image, 8, 16), clWhite);
}

TEST_F(Tables, CellBackgroundImageWithAlpha) {
  QImage tile(4, 4, QImage::Format_ARGB32);
  tile.fill(Qt::transparent);
  for (int y = 0; y < 4; ++y) tile.setPixel(0, y, qRgba(0, 255, 0, 255));
  doc->ImageLoader = [&](const std::u16string&, bool& pending) {
    pending = false;
    auto img = std::make_shared<TDocImage>();
    img->Image = tile;
    return img;
  };
  Make({{Box(8, 8, 8)}});
  TCellObj& cell = *(*table->Rows[0])[0];
  cell.BkColor = RGB(255, 0, 0);
  cell.BGImageName = u"tile.png";
  Layout(600);
  {
    TCanvas canvas(&image);
    table->Draw(canvas, {0, 0, 300, 300}, 300, 0, 0, 0);
  }
  // The opaque column of each copy over the colour; the transparent rest shows the colour.
  ExpectPixels(image, {{0, 1, RGB(0, 255, 0)}, {4, 1, RGB(0, 255, 0)}, {1, 1, RGB(255, 0, 0)}, {7, 7, RGB(255, 0, 0)}});
}

TEST_F(Tables, PointQueriesFindTheCell) {
  Make({{Box(20, 20, 10), Box(20, 20, 10)}});
  (*table->Rows[0])[1]->Cell->Url = u"b.html";
  Layout(600);
  {
    TCanvas canvas(&image);
    table->Draw(canvas, {0, 0, 300, 300}, 300, 5, 0, 0);
  }
  TCanvas canvas(&image);
  std::unique_ptr<TUrlTarget> url;
  TFormControlObj* control = nullptr;
  std::u16string title;
  EXPECT_EQ(table->LinkAtPoint(canvas, 30, 5, url, control, title), guUrl);
  ASSERT_TRUE(url);
  EXPECT_EQ(url->URL, u"b.html");
  EXPECT_EQ(table->LinkAtPoint(canvas, 10, 5, url, control, title), 0u);
  EXPECT_EQ(table->LinkAtPoint(canvas, 50, 5, url, control, title), 0u);
}

// ---- printing ----

class Printing : public Tables {
protected:
  // A header row, body rows and a footer row, each 20 high; tags: header 0, body 1.., footer last.
  void MakeLong(int body, bool head, bool foot) {
    std::vector<std::vector<C>> rows;
    if (head) rows.push_back({Box(10, 10, 20)});
    for (int k = 0; k < body; ++k) rows.push_back({Box(10, 10, 20)});
    if (foot) rows.push_back({Box(10, 10, 20)});
    Make(rows);
    if (head) table->Rows[0]->RowType = rkHead;
    if (foot) table->Rows[table->Rows.Count() - 1]->RowType = rkFoot;
    Layout(200);
    doc->Printing = true;
  }
  // One draw of the table as the print loop makes it: the window shows document y from yOffset,
  // clipped to clipTop..clipBottom; the page ends at the clip's bottom.
  std::vector<std::pair<int, int>> DrawPart(int yOffset, int clipTop, int clipBottom) {
    drawn.clear();
    doc->YOffset = yOffset;
    doc->PageBottom = yOffset + clipBottom;
    TCanvas canvas(&image);
    table->Draw(canvas, {0, clipTop, 200, clipBottom}, 200, 0, 0, 0);
    return drawn;
  }
};

TEST_F(Printing, HeaderAndFooterOnEveryPage) {
  MakeLong(20, true, true);
  const int page = 100, last = 21;
  ASSERT_TRUE(table->HeaderRepeat);
  EXPECT_EQ(table->HeadHeight, 20);
  EXPECT_EQ(table->FootHeight, 20);
  EXPECT_EQ(table->FootStartRow, last);
  std::vector<int> bodyRows;
  std::vector<TTablePart> kinds;
  // Page 1: the table from its top.
  auto got = DrawPart(0, 0, page);
  EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{0, 0}, {1, 20}, {2, 40}}));
  for (auto [tag, y] : got)
    if (tag > 0) bodyRows.push_back(tag);
  int pages = 1;
  int bodyBottomOnPage = table->BodyBreak;  // window y where this page's body stopped
  for (int guard = 0; guard < 60 && table->PartRecord.Kind != tpWhole; ++guard) {
    kinds.push_back(table->PartRecord.Kind);
    switch (table->PartRecord.Kind) {
      case tpFooter: {
        // The footer goes right below the body of this page.
        got = DrawPart(table->PartRecord.Start - bodyBottomOnPage, bodyBottomOnPage, page);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0], std::make_pair(last, bodyBottomOnPage));
        break;
      }
      case tpHeader: {
        ++pages;
        got = DrawPart(table->PartRecord.Start, 0, table->PartRecord.Height);
        EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{0, 0}})) << pages;
        break;
      }
      case tpFirstBody: {
        const int bodyTop = table->PartRecord.Start + 1;
        const int header = table->HeadHeight;
        got = DrawPart(bodyTop - header, header, page);
        ASSERT_FALSE(got.empty());
        // The body goes on right below the repeated header (the record's start is the break
        // less one, or the page bottom where rows fitted exactly).
        EXPECT_NEAR(got.front().second, header, 1);
        for (auto [tag, y] : got) {
          if (tag > 0 && tag < last) bodyRows.push_back(tag);
          if (tag == last) {
            EXPECT_EQ(table->PartRecord.Kind, tpWhole);
          }
        }
        bodyBottomOnPage = table->BodyBreak - (bodyTop - header);
        break;
      }
      default: FAIL() << "unexpected part " << int(table->PartRecord.Kind);
    }
  }
  EXPECT_EQ(table->PartRecord.Kind, tpWhole);
  // Every body row once, in order.
  std::vector<int> expected(20);
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(bodyRows, expected);
  // The parts in turn: footer, header, body, over and over.
  ASSERT_GE(kinds.size(), 3u);
  for (size_t k = 0; k < kinds.size(); ++k)
    EXPECT_EQ(kinds[k], (std::array<TTablePart, 3>{tpFooter, tpHeader, tpFirstBody})[k % 3]) << k;
  EXPECT_GE(pages, 5);
}

TEST_F(Printing, WithoutHeaderOrFooterOnePass) {
  MakeLong(10, false, false);
  EXPECT_FALSE(table->HeaderRepeat);
  auto got = DrawPart(0, 0, 90);
  // Rows at 0, 20, 40, 60 fit; the row at 80 moves whole to the next page.
  EXPECT_EQ(got.size(), 4u);
  EXPECT_EQ(doc->PageBottom, 80);
  EXPECT_EQ(table->PartRecord.Kind, tpWhole);
  EXPECT_EQ(doc->SplitTable, nullptr);
  got = DrawPart(80, 0, 90);
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.front(), std::make_pair(4, 0));
}

TEST_F(Printing, RowTallerThanAPageIsCut) {
  Make({{Box(10, 10, 300)}, {Box(10, 10, 20)}});
  Layout(200);
  doc->Printing = true;
  doc->YOffset = 0;
  doc->PageBottom = 100;
  drawn.clear();
  TCanvas canvas(&image);
  table->Draw(canvas, {0, 0, 200, 100}, 200, 0, 0, 0);
  EXPECT_EQ(drawn.size(), 1u);
  EXPECT_EQ(doc->PageBottom, 100);
}

}  // namespace
