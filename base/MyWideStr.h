#pragma once
// The toolkit under all of the converter's text handling: routines over #0-terminated UTF-16
// buffers, managed buffers with a capacity header, number texts, the UTF-16 byte swap, UTF-8
// and ANSI conversions between the four encoding codes, the file-name wildcard test and the
// growable buffer TWString.
//
// Unless a routine says otherwise, a null pointer is accepted and read as empty text, and a
// routine that writes expects the caller to have made room.
//
// Encoding codes: 1 ANSI (the process's ANSI code page), 2 UTF-16LE, 3 UTF-16BE, 4 UTF-8.
#include <cstdint>
#include <string_view>

#include "unicode/UniTypes.h"

// ---------------------------------------------------------------------------------------------
// Primitive routines over #0-terminated UTF-16 text.

int WStrLen(const WideChar* p);                 // nullptr gives 0
const WideChar* WStrEnd(const WideChar* p);     // the #0; nullptr gives nullptr
WideChar* WStrEnd(WideChar* p);
int WStrDigitsLen(const WideChar* p);           // length when P is only '0'..'9', else 0
int WStrCountDigits(const WideChar* p);         // '0'..'9' anywhere in P

// Overlap-safe move of count WideChars, no terminator.
void WStrMove(WideChar* dest, const WideChar* source, int count);
// Exactly count WideChars (a #0 among them does not stop it), then #0.
void WStrMoveZ(WideChar* dest, const WideChar* source, int count);
// Source with its #0, overlap-safe; returns dest.
WideChar* WStrCopy(WideChar* dest, const WideChar* source);
// As WStrCopy; returns the pointer to dest's new #0.
WideChar* WStrECopy(WideChar* dest, const WideChar* source);
// At most maxLen WideChars of source, then #0; returns dest.
WideChar* WStrLCopy(WideChar* dest, const WideChar* source, int maxLen);
// The string (up to its first #0) and #0; returns dest.
WideChar* WStrPCopy(WideChar* dest, const WideString& s);
// The bytes through the ANSI code page, the whole text and #0: dest needs one WideChar per
// byte plus one. Returns dest.
WideChar* WStrPCopyAnsi(WideChar* dest, const AnsiString& s);
// Append at dest's #0; return dest.
WideChar* WStrCat(WideChar* dest, const WideChar* source);
WideChar* WStrPCat(WideChar* dest, const WideString& s);
// Appends exactly count WideChars of source (count is the number appended, not a total
// bound) and #0; returns dest.
WideChar* WStrLCat(WideChar* dest, const WideChar* source, int count);
// Inserts source before dest's text, in place; returns dest.
WideChar* WStrPrepend(WideChar* dest, const WideChar* source);

// Ordinal comparison: the difference of the first differing code units, 0 when equal.
int WStrComp(const WideChar* s1, const WideChar* s2);
// Byte comparison over count bytes: the difference of the last bytes compared
// (0 when equal or count = 0).
int CompareBytes(const void* p1, const void* p2, int count);

// First ch (the #0 itself can be searched for); nullptr when absent.
const WideChar* WStrScan(const WideChar* p, WideChar ch);
WideChar* WStrScan(WideChar* p, WideChar ch);
// First ch among count WideChars; a #0 does not stop the search.
const WideChar* WStrLScan(const WideChar* p, WideChar ch, int count);
WideChar* WStrLScan(WideChar* p, WideChar ch, int count);
// Last ch.
const WideChar* WStrRScan(const WideChar* p, WideChar ch);
WideChar* WStrRScan(WideChar* p, WideChar ch);
// First WideChar of p that occurs in chars.
const WideChar* WStrScanSet(const WideChar* p, const WideChar* chars);
WideChar* WStrScanSet(WideChar* p, const WideChar* chars);
// The same over at most count WideChars, stopping at a #0 of p; count 0 gives nullptr.
const WideChar* WStrScanSetN(const WideChar* p, const WideChar* chars, int count);
WideChar* WStrScanSetN(WideChar* p, const WideChar* chars, int count);
// First byte b among count bytes.
const void* ByteScanN(const void* p, uint8_t b, int count);
void* ByteScanN(void* p, uint8_t b, int count);
// ch when p contains it, else #0.
WideChar WCharInStr(const WideChar* p, WideChar ch);
// First occurrence of subStr; nullptr when absent or subStr empty.
const WideChar* WStrPos(const WideChar* str, const WideChar* subStr);
WideChar* WStrPos(WideChar* str, const WideChar* subStr);

// Writes ch at the #0 and a new #0.
void WCharAppend(WideChar* p, WideChar ch);
// Leading / trailing blanks (#32 only) removed in place.
void WStrTrimLeft(WideChar* p);
void WStrTrimRight(WideChar* p);
// Trailing characters found in chars overwritten with #0.
void WStrTrimRightSet(WideChar* p, const WideChar* chars);
// s without leading blanks; its last character is never dropped (all blanks keep one).
WideString TrimLeftBlanksW(const WideString& s);
// p is not null and does not start with #0.
bool WStrNotEmpty(const WideChar* p);
bool StrNotEmpty(const char* p);

WideString StringOfCharW(uint16_t count, WideChar ch);
// width WideChars: p then ch filler (textFirst) or the filler then p. A p longer than width
// comes back whole.
WideString PadWStr(const WideChar* p, uint16_t width, WideChar ch, bool textFirst);
// The last count characters (all of them when there are fewer).
AnsiString RightStrA(const AnsiString& s, int count);
WideString RightStrW(const WideString& s, int count);

// The program's ASCII case folds: of 'a'..'z' and 'A'..'Z' only, whatever the locale.
inline WideChar UpCaseW(WideChar ch) { return ch >= u'a' && ch <= u'z' ? static_cast<WideChar>(ch - 32) : ch; }
char LowCaseChar(char ch);
// Equal but for the case of ASCII letters, as names of formats, switches and columns compare.
inline bool SameTextAsciiW(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpCaseW(a[i]) != UpCaseW(b[i])) return false;
  return true;
}
WideChar SwapWideChar(WideChar ch);
// Byte-swaps every WideChar, the #0 included: into dest / in place.
void WStrSwapCopy(const WideChar* source, WideChar* dest);
void WStrSwap(WideChar* p);

// Where WStrSplitLine cut a line: Start is the text before the separator, Next the text after
// it (nullptr when there was no separator).
struct TWStrSplitPart {
  WideChar* Start;
  WideChar* Next;
  int32_t Data;  // always 0 here
};
// Overwrites the first sep (when sep is #0: the first CR, TAB or LF) with #0; Next points after
// it, skipping one LF directly after. A null p gives an all-zero part.
void WStrSplitLine(WideChar* p, WideChar sep, TWStrSplitPart& part);
// A new managed buffer (free it with WStrDispose) with the text before the first sep (all of
// it when there is none); p moves past the sep, or becomes nullptr when there was none.
WideChar* WStrFetchToken(const WideChar*& p, WideChar sep);
WideChar* WStrFetchToken(WideChar*& p, WideChar sep);
// Rewrites buf as "<tag>" + text + "</tag>" in place.
void WStrEncloseTag(WideChar* buf, const WideChar* tag);
// dest := "<tag>" + text + "</tag>"; returns dest.
WideChar* WStrMakeElement(WideChar* dest, const WideChar* tag, const WideChar* text);
// Index of the first entry of table[0..high] equal to s by WStrComp, else -1.
int WideIndexStr(const WideChar* s, const WideChar* const* table, int high);

// ---------------------------------------------------------------------------------------------
// Managed buffers: a capacity header in front of the text; the routines hand out and take the
// pointer to the text. WStrEmpty stands in for a buffer, holds "" and is never freed.

extern WideChar* const WStrEmpty;

// A new empty buffer with room for at least size WideChars and the #0.
WideChar* WStrAlloc(int size);
// nullptr or WStrEmpty get a new buffer; any other buffer grows, keeping its text, when
// newSize exceeds its capacity.
void WStrReAlloc(WideChar*& p, int newSize);
// The capacity in WideChars; 0 for nullptr and WStrEmpty.
int WStrBufSize(const WideChar* p);
// A new buffer of factor x (WStrLen(p) + 1) WideChars holding a copy of p; nullptr gives nullptr.
WideChar* WStrNew(const WideChar* p, int factor);
// Disposes old and returns WStrNew(source, 1); source may lie inside old.
WideChar* WStrReNew(WideChar* old, const WideChar* source);
// Frees the buffer and sets p to nullptr (nullptr and WStrEmpty are only set to nullptr).
void WStrDispose(WideChar*& p);

// ---------------------------------------------------------------------------------------------
// Numbers and text. Bases run from 2 to 36 with the digits "0-9A-Z"; a negative value gets a
// '-' in front of the digits of its magnitude. Another base gives an empty text.

std::string IntToStrBase(int32_t value, uint8_t base);
std::string Int64ToStrBase(uint8_t base, int64_t value);
std::string IntToHexShort(int32_t value);
std::string IntToStrShort(int32_t value);
std::string Int64ToHexShort(int64_t value);

// Optional '-', then digits of base (letters of either case) up to the first other character.
// A base above 36 or a null p gives 0. Digits beyond the range of int32 wrap around.
int32_t StrToIntBaseW(const WideChar* p, int base);
int32_t HexToIntW(const WideChar* p);
// Optional '-', then decimal digits up to the first non-digit; no digits give 0.
int32_t WStrToInt(const WideChar* p);
WideString IntToWideStr(int32_t value);
WideString Int64ToWideStr(int64_t value);
const WideChar* BoolToYesNo(bool b);  // "Yes" or "No"

// ---------------------------------------------------------------------------------------------
// Encoding conversions. Texts are #0-terminated in their own unit: a #0 byte for codes 1 and 4,
// a #0 WideChar for codes 2 and 3. Nothing is ever cut: the caller sizes dest for the whole
// text plus its terminator. Room needed in dest per unit of the source:
//   1 -> 2, 1 -> 3    one WideChar per byte
//   4 -> 2, 4 -> 3    one WideChar per byte
//   2/3 -> 4          three bytes per WideChar
//   2/3 -> 1          two bytes per WideChar (the double-byte ANSI code pages 932, 936, 949,
//                     950; one byte for the others)
//   1 -> 4            three bytes per byte
//   4 -> 1            one byte per byte
//   same code, 2 <-> 3  the source's own size
// Four bytes per source WideChar, or four bytes per source byte, always suffice.
// ANSI conversions go through the ANSI code page (platform::AnsiCodePage); characters without a
// mapping become "?". Text bound for the code page is composed first (NFC), and a
// non-spacing mark left without a mapping is dropped.

// Converts source (in fromCode) into dest (in toCode). Returns the number of units written
// (bytes for codes 1 and 4, WideChars for 2 and 3), the terminator not counted. Unknown codes
// leave dest untouched and give 0.
int ConvertText(uint8_t fromCode, uint8_t toCode, void* dest, const void* source);
// Converts buf's text in place; nothing when the codes are equal or buf is null. buf must hold
// the result too: for fromCode 1 or 4 and toCode 2 or 3, a buffer of (bytes + 1) WideChars
// suffices, where bytes is the text's length before the terminator. Returns as ConvertText.
int ConvertTextInPlace(uint8_t fromCode, uint8_t toCode, void* buf);

// UTF-8 -> UTF-16 (byte-swapped when bigEndian), decoded as AppendUtf8 decodes: four-byte forms
// give surrogate pairs, the three-byte forms of surrogates are accepted, and each ill-formed
// sequence becomes one U+FFFD. Returns the WideChars written.
int Utf8ToWide(const char* source, WideChar* dest, bool bigEndian);
// UTF-16 (big-endian when sourceBigEndian) -> UTF-8. A surrogate pair gives one four-byte form,
// a lone surrogate its three-byte form. Returns the bytes written.
int WideToUtf8(const WideChar* source, char* dest, bool sourceBigEndian);
// ANSI <-> UTF-8 through UTF-16. Return the bytes written.
int AnsiToUtf8Bytes(const char* source, char* dest);
int Utf8ToAnsiBytes(const char* source, char* dest);
// UTF-16 -> bytes in the code page; dest as for 2 -> 1 above. Returns the bytes written.
int WideToAnsiBuf(const WideChar* w, char* dest, unsigned codePage);
// Bytes in the code page -> UTF-16; one WideChar per byte. Returns the WideChars written.
int AnsiToWideBuf(const char* a, WideChar* dest, unsigned codePage);
// A character 0x80..0x9F taken as a byte of the ANSI code page (0x80 in code page 1252 gives
// U+20AC); every other character comes back unchanged.
WideChar AnsiCodeToUnicode(WideChar ch);

// ---------------------------------------------------------------------------------------------
// Wildcard test of one part of a file name, case-sensitive: "*" matches anything, "*x" any text
// ending in x, "x*" any text beginning with x, any other mask only itself.
bool MatchesMaskPart(const AnsiString& mask, const AnsiString& s);

// ---------------------------------------------------------------------------------------------
// A growable UTF-16 buffer. Users read Buffer and Length directly; Buffer is #0-terminated once
// text has been added, and is nullptr until the first allocation.
class TWString {
public:
  int32_t Capacity = 0;   // in WideChars
  int32_t Length = 0;     // WideChars in use
  WideChar* Buffer = nullptr;

  explicit TWString(int32_t capacity);
  ~TWString();
  TWString(const TWString&) = delete;
  TWString& operator=(const TWString&) = delete;

  void SetCapacity(int32_t newCapacity);
  void Clear();
  void Add(const WideChar* text);
  void AddStr(const WideString& text);

  // Capacity moves in steps of this many WideChars and always keeps 50 spare.
  static constexpr int32_t GrowStep = 32500;
};

// Appends UTF-8 bytes to out as UTF-16, as the program's files are decoded: each ill-formed
// sequence (its longest valid beginning) becomes one U+FFFD, the three-byte forms of surrogates
// are taken as such, and a #0 byte is U+0000. With lineEnds, CR LF and a lone CR become one LF.
void AppendUtf8(std::string_view bytes, WideString& out, bool lineEnds = false);
// How many ill-formed sequences AppendUtf8 has replaced by U+FFFD on the calling thread so far:
// a converter compares it before and after a unit to tell whether all its bytes were characters.
uint64_t IllFormedUtf8Replaced();

// Empties s and makes room in it for length characters. A long text gets its room exactly:
// grown by doubling, or reserved beyond its room (which doubles too), it would take up to twice
// its size. A short one grows as strings do, so that lines of rising length are not each a new
// allocation.
template <typename String>
void MakeRoom(String& s, size_t length) {
  constexpr size_t kExactFrom = 1 << 20;
  s.clear();
  if (s.capacity() >= length) return;
  if (length >= kExactFrom) String().swap(s);
  s.reserve(length);
}
