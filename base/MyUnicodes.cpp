#include "base/MyUnicodes.h"

#include <limits>

#include "platform/core/Exception.h"

// Assembled from the generated chartable.bin (MyUnicodesTable.S): records of four 16-bit
// little-endian fields, in TCharRecord's order.
extern "C" TCharRecord mirelcon_chartable_begin[];
extern "C" const unsigned char mirelcon_chartable_end[];

namespace {

constexpr long kRecordBytes = 8;
constexpr long kTableBytes = CharTableSize * kRecordBytes;  // 524,288

static_assert(sizeof(TCharRecord) == kRecordBytes);

// The records as the file has them are the working table where the machine reads them alike;
// elsewhere they are decoded into a table of their own.
#if __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
TCharRecord gCharTable[CharTableSize];

inline uint16_t Get16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
#endif

const WideChar kEmpty[1] = {0};

inline PCWideChar OrEmpty(PCWideChar p) { return p ? p : kEmpty; }

}  // namespace

namespace myunicodes_detail {

const TCharRecord* LoadCharTable() {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(mirelcon_chartable_begin);
  if (mirelcon_chartable_end - p != kTableBytes) throw Exception("The character table is damaged");
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  TCharRecord* table = mirelcon_chartable_begin;
#else
  TCharRecord* table = gCharTable;
  for (TCharRecord& r : gCharTable) {
    r.Category = Get16(p);
    r.LowerKey = Get16(p + 2);
    r.Upper = Get16(p + 4);
    r.SearchKey = Get16(p + 6);
    p += kRecordBytes;
  }
#endif
  // The asterisk counts as a letter (Lo), so that it can stand inside a word.
  TCharRecord& star = table[u'*'];
  star.Category = static_cast<uint16_t>((star.Category & 0xFF00) | 5);
  return table;
}

}  // namespace myunicodes_detail

PWideChar FoldWStr(PWideChar P) {
  if (!P) return P;
  const TCharRecord* table = CharTable();
  for (PWideChar q = P; *q; ++q) *q = table[*q].Upper;
  return P;
}

bool SameFoldedPair(PCWideChar P1, PCWideChar P2) {
  P1 = OrEmpty(P1);
  P2 = OrEmpty(P2);
  const TCharRecord* table = CharTable();
  if (table[P1[0]].LowerKey != table[P2[0]].LowerKey) return false;
  // Equal keys and one of them #0 means both strings end here.
  if (P1[0] == 0) return true;
  return table[P1[1]].LowerKey == table[P2[1]].LowerKey;
}

namespace {

// Raw code units first; the table only where two units differ. Stops at the shared #0 or
// at the first difference of keys, so it never reads past either terminator.
inline int CompareFolded(PCWideChar s1, PCWideChar s2, long count) {
  const TCharRecord* table = nullptr;
  for (long i = 0; i < count; ++i) {
    WideChar a = s1[i];
    WideChar b = s2[i];
    if (a != b) {
      if (!table) table = CharTable();
      int ka = table[a].LowerKey;
      int kb = table[b].LowerKey;
      if (ka != kb) return ka - kb;
    } else if (a == 0) {
      return 0;
    }
  }
  return 0;
}

}  // namespace

int CompareFoldedW(PCWideChar S1, PCWideChar S2) {
  // Only #0 folds to 0, so the loop ends by S2's terminator at the latest.
  return CompareFolded(OrEmpty(S1), OrEmpty(S2), std::numeric_limits<long>::max());
}

int CompareFoldedLW(PCWideChar S1, PCWideChar S2, int MaxLen) {
  if (MaxLen <= 0) return 0;
  return CompareFolded(OrEmpty(S1), OrEmpty(S2), MaxLen);
}

int HashFoldedW(PCWideChar P) {
  if (!P) return 0;
  const TCharRecord* table = CharTable();
  unsigned h = 0;
  for (; *P; ++P) h = (((table[*P].LowerKey & 0xFFu) - 65u) ^ (h << 2)) & 0xFFFFu;
  return static_cast<int>(h);
}
