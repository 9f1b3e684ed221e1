#include "base/MyKeyWordsList.h"

#include <stdexcept>

#include "base/MyLists.h"
#include "base/MyUnicodes.h"
#include "base/MyWideStr.h"

TKeyWordList::TKeyWordList(bool CaseSensitive) : FCaseSensitive(CaseSensitive) {}

const TKeyWord& TKeyWordList::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw std::out_of_range("TKeyWordList index out of range");
  return FItems[static_cast<size_t>(Index)];
}

int TKeyWordList::CompareName(const WideString& Entry, PCWideChar Name) const {
  return FCaseSensitive ? WStrComp(Entry.c_str(), Name) : CompareFoldedW(Entry.c_str(), Name);
}

int TKeyWordList::Find(PCWideChar Name) const {
  if (!Name || FItems.empty()) return -1;
  return SortedIndex(Count(), [&](int i) { return CompareName(FItems[static_cast<size_t>(i)].Name, Name); });
}

void TKeyWordList::Insert(int Index, PCWideChar Name, int32_t Data) {
  if (Index < 0 || Index > Count()) throw std::out_of_range("TKeyWordList index out of range");
  FItems.insert(FItems.begin() + Index, TKeyWord{Data, Name ? WideString(Name) : WideString()});
}

void TKeyWordList::AddOrSet(PCWideChar Name, int32_t Data) {
  // Find reports a nil name as absent; inserting it would add one more empty name per call.
  if (!Name) return;
  const int i = Find(Name);
  if (i >= 0)
    FItems[static_cast<size_t>(i)].Data = Data;
  else
    Insert(-(i + 1), Name, Data);
}

void TKeyWordList::AddTable(std::span<const TKeyWordRow> Table) {
  FCharList.reserve(FCharList.size() + Table.size());
  for (const TKeyWordRow& row : Table) {
    AddOrSet(row.Name, row.Value);
    FCharList.push_back(static_cast<WideChar>(row.Value & 0xFFFF));
  }
}

void TKeyWordList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) throw std::out_of_range("TKeyWordList index out of range");
  FItems.erase(FItems.begin() + Index);
}

void TKeyWordList::Clear() {
  FCharList.clear();
  FItems.clear();
}
