#include "htmlview/layout/HtmlTableCells.h"

#include <algorithm>
#include <iterator>

#include "htmlview/layout/HtmlTable.h"

namespace htmlview {

int TCellManager::SpecCount() const { return Table && Table->ColSpecs ? Table->ColSpecs->Count() : 0; }

void TCellManager::Extend(int end) {
  if (end <= limit_) return;
  const int width = SpecCount();
  // A new band only where the width differs from the last one's and that band is still free.
  if (bands_.empty() || bands_.rbegin()->second.Width != width || !bands_.rbegin()->second.Taken.empty())
    bands_[limit_] = TRow{width, {}};
  limit_ = end;
}

void TCellManager::Split(int row) {
  if (row <= 0 || row >= limit_) return;
  auto it = std::prev(bands_.upper_bound(row));
  if (it->first != row) bands_.emplace_hint(std::next(it), row, it->second);
}

const TCellManager::TRow& TCellManager::Band(int row) const { return std::prev(bands_.upper_bound(row))->second; }

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
  Extend(row + 1);
  return FirstFree(Band(row), 0);
}

void TCellManager::AddCell(int row, TCellObj& cell) {
  if (FindColNum(row) < 0) return;
  const int start = FirstFree(Band(row), 0);
  const int end = row + std::clamp(cell.RowSpan, 1, kMaxRowSpan);
  Extend(end);
  Split(row);
  Split(end);
  // The rows of a band are alike: marking its first row stands for all of them.
  for (auto it = bands_.find(row); it != bands_.end() && it->first < end; ++it) {
    TRow& marks = it->second;
    const int n = std::max(cell.ColSpan, 1);
    const int last = FirstFree(marks, start) == start ? std::min(FreeRunEnd(marks, start), start + n) : start;
    Take(marks, start, last);
    // A cell keeps at least its first column even where a lower row has it taken: a cell of no
    // columns would vanish from the grid.
    const int missing = n - (last - start);
    if (missing > 0) cell.ColSpan = std::max(1, cell.ColSpan - missing);
  }
}

std::u16string TCellManager::RowText(int row) const {
  if (row < 0 || row >= limit_) return std::u16string(static_cast<size_t>(SpecCount()), u'o');
  const TRow& r = Band(row);
  std::u16string s(static_cast<size_t>(r.Width), u'o');
  for (const auto& [first, last] : r.Taken)
    for (int c = first; c < last && c < r.Width; ++c) s[static_cast<size_t>(c)] = u'x';
  return s;
}

}  // namespace htmlview
