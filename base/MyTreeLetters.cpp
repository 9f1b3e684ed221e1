#include "base/MyTreeLetters.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "base/MyUnicodes.h"
#include "base/MyWideStr.h"

TTreeLetters::TTreeLetters(bool CaseSensitive) : TTreeLetters(0, CaseSensitive, -1) {}

TTreeLetters::TTreeLetters(WideChar Letter, bool CaseSensitive, int32_t Value)
    : TMyList<TTreeLetters>(true),
      FLetter(Letter),
      FKey(0),
      FValue(Value),
      FCaseSensitive(CaseSensitive) {
  FKey = KeyOf(Letter);
}

TTreeLetters::~TTreeLetters() {
  // Words may be long: free the subtree from a work list rather than by recursion, so that the
  // depth of the trie never becomes the depth of the stack.
  std::vector<std::unique_ptr<TTreeLetters>> pending = std::move(FItems);
  FItems.clear();
  while (!pending.empty()) {
    std::unique_ptr<TTreeLetters> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->FItems) pending.push_back(std::move(child));
    node->FItems.clear();
  }
}

uint16_t TTreeLetters::KeyOf(WideChar Letter) const {
  return FCaseSensitive ? static_cast<uint16_t>(Letter) : FoldKey(Letter);
}

int TTreeLetters::Compare(const TTreeLetters* Item1, const TTreeLetters* Item2) const {
  return static_cast<int>(Item1->FKey) - static_cast<int>(Item2->FKey);
}

int TTreeLetters::FindKey(uint16_t Key) const {
  return SortedIndex(Count(), [&](int i) { return FItems[static_cast<size_t>(i)]->FKey - Key; });
}

const TTreeLetters* TTreeLetters::FindChild(WideChar Letter) const {
  const int i = FindKey(KeyOf(Letter));
  return i >= 0 ? FItems[static_cast<size_t>(i)].get() : nullptr;
}

TTreeLetters* TTreeLetters::FindChild(WideChar Letter) {
  const int i = FindKey(KeyOf(Letter));
  return i >= 0 ? FItems[static_cast<size_t>(i)].get() : nullptr;
}

TTreeLetters* TTreeLetters::AddChild(WideChar Letter, int32_t Value) {
  const int i = FindKey(KeyOf(Letter));
  if (i < 0) return Insert(-(i + 1), std::make_unique<TTreeLetters>(Letter, FCaseSensitive, Value));
  TTreeLetters* child = FItems[static_cast<size_t>(i)].get();
  if (child->FValue == -1) child->FValue = Value;
  return child;
}

void TTreeLetters::AddWord(const TKeyWordRow& Row) {
  FMaxLength = std::max(FMaxLength, WStrLen(Row.Name));
  if (!Row.Name) return;
  TTreeLetters* node = this;
  for (PCWideChar p = Row.Name; *p; ++p) node = node->AddChild(*p, -1);
  node->FValue = Row.Value;
}

void TTreeLetters::AddTable(std::span<const TKeyWordRow> Table) {
  FCharList.reserve(FCharList.size() + Table.size());
  for (const TKeyWordRow& row : Table) {
    AddWord(row);
    FCharList.push_back(static_cast<WideChar>(row.Value & 0xFFFF));
  }
}
