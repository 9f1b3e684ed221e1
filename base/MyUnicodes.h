#pragma once
// The per-code-point table and what is built on it: the case-folding key, in-place
// upper-casing, case-insensitive comparisons and the 16-bit hash on which the XML
// readers dispatch element and attribute names.
#include <cstdint>

#include "unicode/UniTypes.h"

// One record per UTF-16 code unit.
struct TCharRecord {
  uint16_t Category;   // low byte: general category (1 Lu .. 29 Co, 0 unassigned); high byte: block group
  uint16_t LowerKey;   // simple lower-case mapping, diacritics kept
  uint16_t Upper;      // simple upper-case mapping
  uint16_t SearchKey;  // lower case with diacritics and compatibility forms reduced one step
};

constexpr int CharTableSize = 65536;

namespace myunicodes_detail {
const TCharRecord* LoadCharTable();
}

// The table, loaded on first use (thread-safe) and never changed afterwards.
inline const TCharRecord* CharTable() {
  static const TCharRecord* const table = myunicodes_detail::LoadCharTable();
  return table;
}

// The folding key: the simple lower-case mapping. 0 only for #0.
inline uint16_t FoldKey(WideChar Ch) { return CharTable()[Ch].LowerKey; }

// Upper-cases P in place up to its #0; returns P.
PWideChar FoldWStr(PWideChar P);

// True when the first characters of P1 and P2 fold alike and so do their second characters.
// Two empty strings are the same; nothing past a #0 is read.
bool SameFoldedPair(PCWideChar P1, PCWideChar P2);

// Case-insensitive comparison: 0 when equal, else FoldKey(S1 char) - FoldKey(S2 char) at the
// first position where the keys differ. A shorter S1 sorts before a longer S2 that starts with it.
int CompareFoldedW(PCWideChar S1, PCWideChar S2);

// The same over at most MaxLen characters; strings that end together within MaxLen are equal.
int CompareFoldedLW(PCWideChar S1, PCWideChar S2, int MaxLen);

// The name hash, 0..65535, alike for upper- and lower-case spellings; nil gives 0.
int HashFoldedW(PCWideChar P);
