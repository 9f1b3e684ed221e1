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
  int Count() const { return limit_; }
  // 'o' for a free column and 'x' for a taken one, one character per column.
  std::u16string RowText(int row) const;

private:
  // Rows are kept as bands of consecutive rows marked alike: a band starts at its key and ends
  // where the next begins (the last at limit_). A cell spanning tens of thousands of rows then
  // costs the bands it crosses, not its rows. Within a band a row is its width and its taken runs
  // [first, second), sorted and apart.
  struct TRow {
    int Width = 0;
    std::vector<std::pair<int, int>> Taken;
  };
  // Makes the rows below end (free, as wide as the specifications are now).
  void Extend(int end);
  // Makes a band start at row (row < limit_).
  void Split(int row);
  const TRow& Band(int row) const;
  static int FirstFree(const TRow& r, int from);
  static int FreeRunEnd(const TRow& r, int from);
  static void Take(TRow& r, int first, int last);
  int SpecCount() const;

  std::map<int, TRow> bands_;
  int limit_ = 0;
};

}  // namespace htmlview
