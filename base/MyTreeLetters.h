#pragma once
// A trie of UTF-16 words, one letter per node, for recognising entity and keyword names one
// character at a time: start at the root and call FindChild with each input character; a node
// whose Value is not -1 ends a known word, nullptr ends the walk, and the root's MaxLength
// bounds how far a caller needs to look ahead.
#include <cstdint>
#include <span>

#include "base/MyKeyWordsList.h"
#include "base/MyLists.h"
#include "unicode/UniTypes.h"

class TTreeLetters : public TMyList<TTreeLetters> {
public:
  // The root: no letter, no value.
  explicit TTreeLetters(bool CaseSensitive);
  // A node below the root.
  TTreeLetters(WideChar Letter, bool CaseSensitive, int32_t Value);
  ~TTreeLetters() override;

  WideChar Letter() const { return FLetter; }
  // -1 when no word ends at this node.
  int32_t Value() const { return FValue; }
  bool CaseSensitive() const { return FCaseSensitive; }
  // Kept on the node that words and tables were added to (the root): the length of the
  // longest word, and the characters of the rows of every table, in order.
  int MaxLength() const { return FMaxLength; }
  const WideString& CharList() const { return FCharList; }

  // Children are ordered by letter, or by folding key when not case-sensitive.
  int Compare(const TTreeLetters* Item1, const TTreeLetters* Item2) const override;

  // The child for Letter (through the folding key when not case-sensitive), nullptr when
  // none. Allocates nothing.
  const TTreeLetters* FindChild(WideChar Letter) const;
  TTreeLetters* FindChild(WideChar Letter);
  // The child for Letter, created with Value at its sorted place when absent; an existing
  // child without a value takes Value.
  TTreeLetters* AddChild(WideChar Letter, int32_t Value);
  // Adds Row's name below this node with Row's value at its last letter; a later row with the
  // same word overwrites the value. A nil name only counts towards MaxLength.
  void AddWord(const TKeyWordRow& Row);
  // AddWord of every row in order; appends each row's character to CharList.
  void AddTable(std::span<const TKeyWordRow> Table);

private:
  // The index of the child for Key, else -(insert position + 1).
  int FindKey(uint16_t Key) const;
  uint16_t KeyOf(WideChar Letter) const;

  WideChar FLetter;
  uint16_t FKey;  // the letter, or its folding key when not case-sensitive
  int32_t FValue;
  bool FCaseSensitive;
  WideString FCharList;
  int FMaxLength = 0;
};
