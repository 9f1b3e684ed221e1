#include <gtest/gtest.h>


#include "htmlview/layout/HtmlTable.h"
#include "htmlview/layout/HtmlTableCells.h"

using namespace htmlview;

namespace {

struct Grid {
  explicit Grid(int specs) : table(nullptr, nullptr), manager(&table) {
    table.AddColSpecs(specs, {}, u"", 0);
  }
  // A cell of that span at the first free column of row; returns that column.
  int Add(int row, int colSpan, int rowSpan, int* spanAfter = nullptr) {
    const int col = manager.FindColNum(row);
    TCellObj cell(nullptr);
    cell.ColSpan = colSpan;
    cell.RowSpan = rowSpan;
    manager.AddCell(row, cell);
    if (spanAfter) *spanAfter = cell.ColSpan;
    return col;
  }
  THtmlTable table;
  TCellManager manager;
};

TEST(CellManager, ColumnsAfterCellsThatSpan) {
  struct Step {
    int row, colSpan, rowSpan;
    int col, spanAfter;
  };
  struct Case {
    const char* name;
    int specs;
    std::vector<Step> steps;
    int row;
    std::u16string marks;
  };
  const Case cases[] = {
      // A first-row cell spanning two rows in column 0: the second row starts at column 1.
      {"rowspan", 3, {{0, 1, 2, 0, 1}, {0, 1, 1, 1, 1}, {1, 1, 1, 1, 1}}, 1, u"xxo"},
      // COLSPAN 3 from column 2 of three columns keeps one column.
      {"colspan clipped", 3, {{0, 2, 1, 0, 2}, {0, 3, 1, 2, 1}}, 0, u"xxx"},
      // A full row records nothing and leaves the span alone.
      {"full row", 2, {{0, 2, 1, 0, 2}, {0, 4, 1, -1, 4}}, 0, u"xx"},
      // A cell whose lower row is taken further left keeps at least its first column.
      {"lower row taken", 3, {{0, 1, 1, 0, 1}, {1, 2, 1, 0, 2}, {0, 2, 2, 1, 1}}, 1, u"xxo"},
  };
  for (const Case& c : cases) {
    Grid g(c.specs);
    for (const Step& s : c.steps) {
      int spanAfter = 0;
      EXPECT_EQ(g.Add(s.row, s.colSpan, s.rowSpan, &spanAfter), s.col) << c.name;
      EXPECT_EQ(spanAfter, s.spanAfter) << c.name;
    }
    EXPECT_EQ(g.manager.RowText(c.row), c.marks) << c.name;
  }
}

TEST(CellManager, RowsNotHeldAreFree) {
  // <col><tr></tr><tr><td>: the empty row gave the manager no row, and the next asks for row 1.
  Grid g(1);
  EXPECT_EQ(g.manager.FindColNum(1), 0);
  EXPECT_EQ(g.Add(1, 1, 1), 0);
  EXPECT_EQ(g.manager.FindColNum(1), -1);
  EXPECT_EQ(g.manager.FindColNum(0), 0);
  EXPECT_EQ(g.manager.FindColNum(-1), -1);
  // No column specifications: no free column anywhere.
  Grid none(0);
  EXPECT_EQ(none.manager.FindColNum(0), -1);
}

TEST(CellManager, HugeSpansStayCheap) {
  // The most specifications a table holds, and a cell of the largest ROWSPAN across them all.
  Grid g(kMaxColSpecs + 5);
  EXPECT_EQ(g.table.ColSpecs->Count(), kMaxColSpecs);
  int spanAfter = 0;
  EXPECT_EQ(g.Add(0, kMaxColSpecs, 2000000000, &spanAfter), 0);
  EXPECT_EQ(spanAfter, kMaxColSpecs);
  EXPECT_EQ(g.manager.Count(), kMaxRowSpan);
  EXPECT_EQ(g.manager.FindColNum(kMaxRowSpan - 1), -1);
  EXPECT_EQ(g.manager.FindColNum(kMaxRowSpan), 0);
  EXPECT_EQ(g.manager.FindColNum(5000000), 0);
}

TEST(CellManager, ManyTallCellsCostTheirBandsNotTheirRows) {
  // Row after row, a cell of the largest ROWSPAN: each takes the next column for 65,534 rows.
  Grid g(3000);
  for (int r = 0; r < 2000; ++r) EXPECT_EQ(g.Add(r, 1, kMaxRowSpan), r);
  EXPECT_EQ(g.manager.FindColNum(2000), 2000);
  EXPECT_EQ(g.manager.FindColNum(kMaxRowSpan - 1), 2000);
  EXPECT_EQ(g.manager.FindColNum(kMaxRowSpan), 0);
  EXPECT_EQ(g.manager.FindColNum(kMaxRowSpan + 1999), 0);
  EXPECT_EQ(g.manager.Count(), kMaxRowSpan + 2000);
}

}  // namespace
