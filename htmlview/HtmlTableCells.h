#pragma once
// Which grid column a new table cell starts in, so that the column specifications of COL and
// COLGROUP reach the right cells when cells of earlier rows span downwards.
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace htmlview {

class THtmlTable;
class TCellObj;

class TCellManager {
public:
  explicit TCellManager(THtmlTable* table) : Table(table) {}

  THtmlTable* Table;

  // The first free column of row, -1 when the row has none. A row not met before is made free,
  // as wide as the table's column specifications are now.
  int FindColNum(int row);
  // Marks cell (with its ColSpan and RowSpan) as starting at the first free column of row; the
  // cell's ColSpan shrinks to what it could take.
  void AddCell(int row, TCellObj& cell);

  // One past the last row made so far.
  int Count() const { return rows_.empty() ? 0 : rows_.rbegin()->first + 1; }
  // 'o' for a free column and 'x' for a taken one, one character per column.
  std::u16string RowText(int row) const;

private:
  // A row is its width and its taken runs [first, second), sorted and apart. Rows are kept
  // sparse, so that a cell spanning tens of thousands of rows costs only the rows it marks and a
  // row far below the last one costs nothing.
  struct TRow {
    int Width = 0;
    std::vector<std::pair<int, int>> Taken;
  };
  TRow& Row(int row);
  static int FirstFree(const TRow& r, int from);
  static int FreeRunEnd(const TRow& r, int from);
  static void Take(TRow& r, int first, int last);
  int SpecCount() const;

  std::map<int, TRow> rows_;
};

}  // namespace htmlview
