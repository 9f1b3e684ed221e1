// Generates the per-code-point table that the base library embeds (MyUnicodes):
// 65,536 records of four little-endian UInt16 fields, record n for UTF-16 code unit n.
//
//   field 0  low byte:  general category, 1 Lu 2 Ll 3 Lt 4 Lm 5 Lo 6 Mn 7 Mc 8 Me 9 Nd 10 Nl
//                       11 No 12 Pc 13 Pd 14 Ps 15 Pe 16 Pi 17 Pf 18 Po 19 Sm 20 Sc 21 Sk
//                       22 So 23 Zs 24 Zl 25 Zp 26 Cc 27 Cf 28 Cs 29 Co, 0 unassigned
//           high byte:  block or script group, see ScriptGroup below
//   field 1  simple lower-case mapping (the unit itself when it has none)
//   field 2  simple upper-case mapping (the unit itself when it has none)
//   field 3  search key: the first unit of the one-step compatibility decomposition,
//            lower-cased ('À' -> 'a', '²' -> '2', 'ª' -> 'a'); the lower-case mapping
//            when the unit does not decompose
//
// A mapping that would leave the Basic Multilingual Plane is not representable in one
// code unit; such a unit maps to itself.
//
// Usage: gen_chartable OUTPUT_FILE
#include <unicode/uchar.h>
#include <unicode/uclean.h>
#include <unicode/unorm2.h>
#include <unicode/uscript.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRecords = 65536;
constexpr int kRecordSize = 8;

uint8_t CategoryNumber(int8_t icuType) {
  switch (icuType) {
    case U_UPPERCASE_LETTER: return 1;
    case U_LOWERCASE_LETTER: return 2;
    case U_TITLECASE_LETTER: return 3;
    case U_MODIFIER_LETTER: return 4;
    case U_OTHER_LETTER: return 5;
    case U_NON_SPACING_MARK: return 6;
    case U_COMBINING_SPACING_MARK: return 7;
    case U_ENCLOSING_MARK: return 8;
    case U_DECIMAL_DIGIT_NUMBER: return 9;
    case U_LETTER_NUMBER: return 10;
    case U_OTHER_NUMBER: return 11;
    case U_CONNECTOR_PUNCTUATION: return 12;
    case U_DASH_PUNCTUATION: return 13;
    case U_START_PUNCTUATION: return 14;
    case U_END_PUNCTUATION: return 15;
    case U_INITIAL_PUNCTUATION: return 16;
    case U_FINAL_PUNCTUATION: return 17;
    case U_OTHER_PUNCTUATION: return 18;
    case U_MATH_SYMBOL: return 19;
    case U_CURRENCY_SYMBOL: return 20;
    case U_MODIFIER_SYMBOL: return 21;
    case U_OTHER_SYMBOL: return 22;
    case U_SPACE_SEPARATOR: return 23;
    case U_LINE_SEPARATOR: return 24;
    case U_PARAGRAPH_SEPARATOR: return 25;
    case U_CONTROL_CHAR: return 26;
    case U_FORMAT_CHAR: return 27;
    case U_SURROGATE: return 28;
    case U_PRIVATE_USE_CHAR: return 29;
    default: return 0;  // U_UNASSIGNED
  }
}

// Block or script groups of the high byte of field 0:
//   0 unassigned                     1 Basic Latin block and Latin script
//   2 common punctuation, symbols    3 combining marks
//   4 surrogates                     5 private use
//   6 Han, kana, Bopomofo, Yi        7 Hangul
//   8 Greek and Coptic               9 Cyrillic
//  10 Armenian                      11 Hebrew
//  12 Arabic, Syriac, Thaana, N'Ko  13 Indic scripts
//  14 Thai, Lao                     15 Georgian
//  16 any other script
uint8_t ScriptGroup(UChar32 c, uint8_t category) {
  if (category == 0) return 0;
  if (category == 28) return 4;
  if (category == 29) return 5;
  if (ublock_getCode(c) == UBLOCK_BASIC_LATIN) return 1;
  UErrorCode err = U_ZERO_ERROR;
  UScriptCode script = uscript_getScript(c, &err);
  if (U_FAILURE(err)) return 16;
  switch (script) {
    case USCRIPT_LATIN: return 1;
    case USCRIPT_COMMON: return 2;
    case USCRIPT_INHERITED: return 3;
    case USCRIPT_HAN: case USCRIPT_HIRAGANA: case USCRIPT_KATAKANA: case USCRIPT_BOPOMOFO:
    case USCRIPT_YI:
      return 6;
    case USCRIPT_HANGUL: return 7;
    case USCRIPT_GREEK: case USCRIPT_COPTIC: return 8;
    case USCRIPT_CYRILLIC: return 9;
    case USCRIPT_ARMENIAN: return 10;
    case USCRIPT_HEBREW: return 11;
    case USCRIPT_ARABIC: case USCRIPT_SYRIAC: case USCRIPT_THAANA: case USCRIPT_NKO:
      return 12;
    case USCRIPT_DEVANAGARI: case USCRIPT_BENGALI: case USCRIPT_GURMUKHI: case USCRIPT_GUJARATI:
    case USCRIPT_ORIYA: case USCRIPT_TAMIL: case USCRIPT_TELUGU: case USCRIPT_KANNADA:
    case USCRIPT_MALAYALAM: case USCRIPT_SINHALA:
      return 13;
    case USCRIPT_THAI: case USCRIPT_LAO: return 14;
    case USCRIPT_GEORGIAN: return 15;
    default: return 16;
  }
}

uint16_t InBmpOr(UChar32 mapped, uint16_t fallback) {
  return (mapped >= 0 && mapped <= 0xFFFF) ? static_cast<uint16_t>(mapped) : fallback;
}

uint16_t SearchKey(const UNormalizer2* nfkd, UChar32 c, uint16_t lower) {
  if (c >= 0xD800 && c <= 0xDFFF) return lower;
  UChar buf[32];
  UErrorCode err = U_ZERO_ERROR;
  int32_t len = unorm2_getRawDecomposition(nfkd, c, buf, 32, &err);
  if (U_FAILURE(err) || len <= 0 || U16_IS_SURROGATE(buf[0])) return lower;
  return InBmpOr(u_tolower(buf[0]), buf[0]);
}

void Put16(std::vector<unsigned char>& out, size_t at, uint16_t v) {
  out[at] = static_cast<unsigned char>(v & 0xFF);
  out[at + 1] = static_cast<unsigned char>(v >> 8);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_chartable OUTPUT_FILE\n");
    return 2;
  }
  UErrorCode err = U_ZERO_ERROR;
  const UNormalizer2* nfkd = unorm2_getNFKDInstance(&err);
  if (U_FAILURE(err)) {
    std::fprintf(stderr, "gen_chartable: no NFKD data: %s\n", u_errorName(err));
    return 1;
  }

  std::vector<unsigned char> table(static_cast<size_t>(kRecords) * kRecordSize);
  for (UChar32 c = 0; c < kRecords; ++c) {
    uint16_t self = static_cast<uint16_t>(c);
    uint8_t category = CategoryNumber(u_charType(c));
    uint16_t lower = InBmpOr(u_tolower(c), self);
    uint16_t upper = InBmpOr(u_toupper(c), self);
    // The comparisons rely on #0 being the only unit whose key is 0.
    if (c != 0 && (lower == 0 || upper == 0)) {
      std::fprintf(stderr, "gen_chartable: U+%04X maps to U+0000\n", static_cast<unsigned>(c));
      return 1;
    }
    size_t at = static_cast<size_t>(c) * kRecordSize;
    Put16(table, at, static_cast<uint16_t>(category | (ScriptGroup(c, category) << 8)));
    Put16(table, at + 2, lower);
    Put16(table, at + 4, upper);
    Put16(table, at + 6, SearchKey(nfkd, c, lower));
  }
  u_cleanup();

  // Written beside the target and renamed, so that an interrupted run never leaves a short table.
  std::string path = argv[1];
  std::string temp = path + ".tmp";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) {
    std::perror(temp.c_str());
    return 1;
  }
  bool ok = std::fwrite(table.data(), 1, table.size(), f) == table.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::perror(path.c_str());
    std::remove(temp.c_str());
    return 1;
  }
  return 0;
}
