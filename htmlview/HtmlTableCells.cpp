#include "htmlview/HtmlTableCells.h"

#include <algorithm>

#include "htmlview/HtmlTable.h"

namespace htmlview {

int TCellManager::SpecCount() const { return Table && Table->ColSpecs ? Table->ColSpecs->Count() : 0; }

TCellManager::TRow& TCellManager::Row(int row) {
  auto [it, made] = rows_.try_emplace(row);
  if (made) it->second.Width = SpecCount();
  return it->second;
}

int TCellManager::FirstFree(const TRow& r, int from) {
  int pos = from;
  for (const auto& [first, last] : r.Taken) {
    if (last <= pos) continue;
    if (first > pos) break;
    pos = last;
  }
  return pos < r.Width ? pos : -1;
}

int TCellManager::FreeRunEnd(const TRow& r, int from) {
  for (const auto& [first, last] : r.Taken)
    if (last > from) return first <= from ? from : std::min(first, r.Width);
  return r.Width;
}

void TCellManager::Take(TRow& r, int first, int last) {
  if (first >= last) return;
  auto it = std::lower_bound(r.Taken.begin(), r.Taken.end(), std::make_pair(first, last));
  it = r.Taken.insert(it, {first, last});
  // Join the neighbours that touch.
  if (it + 1 != r.Taken.end() && (it + 1)->first == last) {
    it->second = (it + 1)->second;
    r.Taken.erase(it + 1);
  }
  if (it != r.Taken.begin() && (it - 1)->second == first) {
    (it - 1)->second = it->second;
    r.Taken.erase(it);
  }
}

int TCellManager::FindColNum(int row) {
  if (row < 0) return -1;
  return FirstFree(Row(row), 0);
}

void TCellManager::AddCell(int row, TCellObj& cell) {
  if (row < 0) return;
  const int start = FirstFree(Row(row), 0);
  if (start < 0) return;
  const int rowSpan = std::clamp(cell.RowSpan, 1, kMaxRowSpan);
  for (int r = row; r < row + rowSpan; ++r) {
    TRow& marks = Row(r);
    const int n = std::max(cell.ColSpan, 1);
    const int end = FirstFree(marks, start) == start ? std::min(FreeRunEnd(marks, start), start + n) : start;
    Take(marks, start, end);
    // A cell keeps at least its first column even where a lower row has it taken: a cell of no
    // columns would vanish from the grid.
    const int missing = n - (end - start);
    if (missing > 0) cell.ColSpan = std::max(1, cell.ColSpan - missing);
  }
}

std::u16string TCellManager::RowText(int row) const {
  auto it = rows_.find(row);
  if (it == rows_.end()) return std::u16string(static_cast<size_t>(SpecCount()), u'o');
  std::u16string s(static_cast<size_t>(it->second.Width), u'o');
  for (const auto& [first, last] : it->second.Taken)
    for (int c = first; c < last && c < it->second.Width; ++c) s[static_cast<size_t>(c)] = u'x';
  return s;
}

}  // namespace htmlview
