#pragma once
// A sorted list of UTF-16 names, each with a 32-bit datum, for look-ups by name; case-sensitive
// (ordinal order) or through the folding key. Filled from constant tables whose rows also name
// the character each name stands for; the list keeps those characters as one string.
#include <cstdint>
#include <span>
#include <vector>

#include "unicode/UniTypes.h"

// One row of a constant name table. The low 16 bits of Value are the character the name
// stands for.
struct TKeyWordRow {
  PCWideChar Name;
  int32_t Value;
};

struct TKeyWord {
  int32_t Data;
  WideString Name;
};

class TKeyWordList {
public:
  explicit TKeyWordList(bool CaseSensitive);

  bool CaseSensitive() const { return FCaseSensitive; }
  int Count() const { return static_cast<int>(FItems.size()); }
  // Out of range throws std::out_of_range.
  const TKeyWord& Items(int Index) const;

  // The index of Name, else -(insert position + 1); -1 for an empty list or a nil Name.
  // Allocates nothing.
  int Find(PCWideChar Name) const;
  // Stores a copy of Name (nil as empty) with Data at Index, which may equal Count. The caller
  // keeps the order; out of range throws std::out_of_range.
  void Insert(int Index, PCWideChar Name, int32_t Data);
  // Replaces Name's Data when present, else inserts Name at its sorted place. A nil Name is
  // no name and adds nothing.
  void AddOrSet(PCWideChar Name, int32_t Data);
  // AddOrSet of every row in order; appends each row's character to CharList.
  void AddTable(std::span<const TKeyWordRow> Table);
  void Delete(int Index);
  // Empties the list and CharList.
  void Clear();

  // The characters of the rows of every table added, in order.
  const WideString& CharList() const { return FCharList; }

private:
  int CompareName(const WideString& Entry, PCWideChar Name) const;

  bool FCaseSensitive;
  WideString FCharList;
  std::vector<TKeyWord> FItems;
};
