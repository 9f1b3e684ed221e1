#include "base/MyWideStr.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string_view>

#include "platform/core/CodePages.h"
#include "platform/core/Utf8.h"

using Traits = std::char_traits<WideChar>;

namespace {

const WideChar kNoText[1] = {0};

inline const WideChar* OrEmpty(const WideChar* p) { return p ? p : kNoText; }

inline size_t Len(const WideChar* p) { return p ? Traits::length(p) : 0; }

inline int Count(int n) { return n > 0 ? n : 0; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Primitive routines

int WStrLen(const WideChar* p) { return static_cast<int>(Len(p)); }

const WideChar* WStrEnd(const WideChar* p) { return p ? p + Len(p) : nullptr; }
WideChar* WStrEnd(WideChar* p) { return p ? p + Len(p) : nullptr; }

int WStrDigitsLen(const WideChar* p) {
  if (!p) return 0;
  const WideChar* q = p;
  for (; *q; ++q) {
    if (*q < u'0' || *q > u'9') return 0;
  }
  return static_cast<int>(q - p);
}

int WStrCountDigits(const WideChar* p) {
  int n = 0;
  for (p = OrEmpty(p); *p; ++p) {
    if (*p >= u'0' && *p <= u'9') ++n;
  }
  return n;
}

void WStrMove(WideChar* dest, const WideChar* source, int count) {
  if (!dest || !source || count <= 0) return;
  std::memmove(dest, source, static_cast<size_t>(count) * sizeof(WideChar));
}

void WStrMoveZ(WideChar* dest, const WideChar* source, int count) {
  if (!dest) return;
  if (!source) count = 0;
  WStrMove(dest, source, count);
  dest[Count(count)] = 0;
}

WideChar* WStrCopy(WideChar* dest, const WideChar* source) {
  WStrECopy(dest, source);
  return dest;
}

WideChar* WStrECopy(WideChar* dest, const WideChar* source) {
  if (!dest) return nullptr;
  const size_t n = Len(source);
  std::memmove(dest, OrEmpty(source), (n + 1) * sizeof(WideChar));
  return dest + n;
}

WideChar* WStrLCopy(WideChar* dest, const WideChar* source, int maxLen) {
  if (!dest) return nullptr;
  source = OrEmpty(source);
  size_t n = 0;
  const size_t limit = static_cast<size_t>(Count(maxLen));
  while (n < limit && source[n]) ++n;
  std::memmove(dest, source, n * sizeof(WideChar));
  dest[n] = 0;
  return dest;
}

WideChar* WStrPCopy(WideChar* dest, const WideString& s) { return WStrCopy(dest, s.c_str()); }

WideChar* WStrPCopyAnsi(WideChar* dest, const AnsiString& s) {
  if (!dest) return nullptr;
  const std::u16string w = platform::CodePageToUtf16(platform::AnsiCodePage(), s);
  // A code page gives at most one WideChar per byte; the bound is what the caller sized for.
  const size_t n = std::min(w.size(), s.size());
  std::memcpy(dest, w.data(), n * sizeof(WideChar));
  dest[n] = 0;
  return dest;
}

WideChar* WStrCat(WideChar* dest, const WideChar* source) {
  if (dest) WStrCopy(WStrEnd(dest), source);
  return dest;
}

WideChar* WStrPCat(WideChar* dest, const WideString& s) { return WStrCat(dest, s.c_str()); }

WideChar* WStrLCat(WideChar* dest, const WideChar* source, int count) {
  if (dest) WStrMoveZ(WStrEnd(dest), source, count);
  return dest;
}

WideChar* WStrPrepend(WideChar* dest, const WideChar* source) {
  if (!dest || !source || !*source) return dest;
  const size_t n = Len(source);
  const size_t d = Len(dest);
  if (source >= dest && source <= dest + d) {
    // The source is part of dest's text and would be overwritten by the move below.
    const WideString copy(source, n);
    std::memmove(dest + n, dest, (d + 1) * sizeof(WideChar));
    std::memcpy(dest, copy.data(), n * sizeof(WideChar));
  } else {
    std::memmove(dest + n, dest, (d + 1) * sizeof(WideChar));
    std::memmove(dest, source, n * sizeof(WideChar));
  }
  return dest;
}

int WStrComp(const WideChar* s1, const WideChar* s2) {
  s1 = OrEmpty(s1);
  s2 = OrEmpty(s2);
  while (*s1 && *s1 == *s2) {
    ++s1;
    ++s2;
  }
  return static_cast<int>(*s1) - static_cast<int>(*s2);
}

int CompareBytes(const void* p1, const void* p2, int count) {
  if (!p1 || !p2 || count <= 0) return 0;
  const auto* a = static_cast<const uint8_t*>(p1);
  const auto* b = static_cast<const uint8_t*>(p2);
  for (int i = 0; i < count; ++i) {
    if (a[i] != b[i]) return static_cast<int>(a[i]) - static_cast<int>(b[i]);
  }
  return 0;
}

const WideChar* WStrScan(const WideChar* p, WideChar ch) {
  if (!p) return nullptr;
  for (;; ++p) {
    if (*p == ch) return p;
    if (!*p) return nullptr;
  }
}
WideChar* WStrScan(WideChar* p, WideChar ch) {
  return const_cast<WideChar*>(WStrScan(static_cast<const WideChar*>(p), ch));
}

const WideChar* WStrLScan(const WideChar* p, WideChar ch, int count) {
  if (!p || count <= 0) return nullptr;
  return Traits::find(p, static_cast<size_t>(count), ch);
}
WideChar* WStrLScan(WideChar* p, WideChar ch, int count) {
  return const_cast<WideChar*>(WStrLScan(static_cast<const WideChar*>(p), ch, count));
}

const WideChar* WStrRScan(const WideChar* p, WideChar ch) {
  if (!p) return nullptr;
  const WideChar* found = nullptr;
  for (;; ++p) {
    if (*p == ch) found = p;
    if (!*p) return found;
  }
}
WideChar* WStrRScan(WideChar* p, WideChar ch) {
  return const_cast<WideChar*>(WStrRScan(static_cast<const WideChar*>(p), ch));
}

const WideChar* WStrScanSetN(const WideChar* p, const WideChar* chars, int count) {
  if (!p || !chars || !*chars) return nullptr;
  const size_t setLen = Len(chars);
  for (int i = 0; i < count && p[i]; ++i) {
    if (Traits::find(chars, setLen, p[i])) return p + i;
  }
  return nullptr;
}
WideChar* WStrScanSetN(WideChar* p, const WideChar* chars, int count) {
  return const_cast<WideChar*>(WStrScanSetN(static_cast<const WideChar*>(p), chars, count));
}

const WideChar* WStrScanSet(const WideChar* p, const WideChar* chars) {
  return WStrScanSetN(p, chars, std::numeric_limits<int>::max());
}
WideChar* WStrScanSet(WideChar* p, const WideChar* chars) {
  return const_cast<WideChar*>(WStrScanSet(static_cast<const WideChar*>(p), chars));
}

const void* ByteScanN(const void* p, uint8_t b, int count) {
  if (!p || count <= 0) return nullptr;
  return std::memchr(p, b, static_cast<size_t>(count));
}
void* ByteScanN(void* p, uint8_t b, int count) {
  return const_cast<void*>(ByteScanN(static_cast<const void*>(p), b, count));
}

WideChar WCharInStr(const WideChar* p, WideChar ch) {
  if (!ch || !p) return 0;
  return WStrScan(p, ch) ? ch : WideChar(0);
}

const WideChar* WStrPos(const WideChar* str, const WideChar* subStr) {
  if (!str || !subStr || !*subStr) return nullptr;
  const std::u16string_view text(str);
  const size_t at = text.find(std::u16string_view(subStr));
  return at == std::u16string_view::npos ? nullptr : str + at;
}
WideChar* WStrPos(WideChar* str, const WideChar* subStr) {
  return const_cast<WideChar*>(WStrPos(static_cast<const WideChar*>(str), subStr));
}

void WCharAppend(WideChar* p, WideChar ch) {
  if (!p) return;
  WideChar* end = WStrEnd(p);
  end[0] = ch;
  end[1] = 0;
}

void WStrTrimLeft(WideChar* p) {
  if (!p) return;
  const WideChar* q = p;
  while (*q == u' ') ++q;
  if (q != p) WStrCopy(p, q);
}

void WStrTrimRight(WideChar* p) {
  if (!p) return;
  WideChar* end = WStrEnd(p);
  while (end > p && end[-1] == u' ') --end;
  *end = 0;
}

void WStrTrimRightSet(WideChar* p, const WideChar* chars) {
  if (!p || !chars || !*chars) return;
  const size_t setLen = Len(chars);
  WideChar* end = WStrEnd(p);
  while (end > p && Traits::find(chars, setLen, end[-1])) *--end = 0;
}

WideString TrimLeftBlanksW(const WideString& s) {
  size_t i = 0;
  while (i + 1 < s.size() && s[i] == u' ') ++i;
  return s.substr(i);
}

bool WStrNotEmpty(const WideChar* p) { return p && *p; }
bool StrNotEmpty(const char* p) { return p && *p; }

WideString StringOfCharW(uint16_t count, WideChar ch) { return WideString(count, ch); }

WideString PadWStr(const WideChar* p, uint16_t width, WideChar ch, bool textFirst) {
  const WideString text(OrEmpty(p));
  if (text.size() >= width) return text;
  const WideString filler(width - text.size(), ch);
  return textFirst ? text + filler : filler + text;
}

AnsiString RightStrA(const AnsiString& s, int count) {
  const size_t n = std::min(s.size(), static_cast<size_t>(Count(count)));
  return s.substr(s.size() - n);
}

WideString RightStrW(const WideString& s, int count) {
  const size_t n = std::min(s.size(), static_cast<size_t>(Count(count)));
  return s.substr(s.size() - n);
}

char LowCaseChar(char ch) { return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch + 32) : ch; }

WideChar SwapWideChar(WideChar ch) { return static_cast<WideChar>((ch << 8) | (ch >> 8)); }

void WStrSwapCopy(const WideChar* source, WideChar* dest) {
  if (!dest) return;
  source = OrEmpty(source);
  // The terminator reads the same in both byte orders.
  for (;; ++source, ++dest) {
    *dest = SwapWideChar(*source);
    if (!*source) break;
  }
}

void WStrSwap(WideChar* p) {
  if (!p) return;
  for (; *p; ++p) *p = SwapWideChar(*p);
}

void WStrSplitLine(WideChar* p, WideChar sep, TWStrSplitPart& part) {
  part = TWStrSplitPart{nullptr, nullptr, 0};
  if (!p) return;
  part.Start = p;
  WideChar* at = sep ? WStrScan(p, sep) : WStrScanSet(p, u"\r\t\n");
  if (!at || !*at) return;
  *at++ = 0;
  if (*at == u'\n') ++at;
  part.Next = at;
}

WideChar* WStrFetchToken(const WideChar*& p, WideChar sep) {
  const WideChar* text = OrEmpty(p);
  // A #0 separator would be found at the terminator and send p past the end of the text.
  const WideChar* at = sep ? WStrScan(text, sep) : nullptr;
  const int n = at ? static_cast<int>(at - text) : WStrLen(text);
  WideChar* token = WStrAlloc(n);
  WStrMoveZ(token, text, n);
  p = at ? at + 1 : nullptr;
  return token;
}

WideChar* WStrFetchToken(WideChar*& p, WideChar sep) {
  const WideChar* q = p;
  WideChar* token = WStrFetchToken(q, sep);
  p = const_cast<WideChar*>(q);
  return token;
}

void WStrEncloseTag(WideChar* buf, const WideChar* tag) {
  if (!buf) return;
  tag = OrEmpty(tag);
  const size_t t = Len(tag);
  const size_t n = Len(buf);
  std::memmove(buf + t + 2, buf, n * sizeof(WideChar));
  buf[0] = u'<';
  std::memcpy(buf + 1, tag, t * sizeof(WideChar));
  buf[t + 1] = u'>';
  WideChar* q = buf + t + 2 + n;
  *q++ = u'<';
  *q++ = u'/';
  std::memcpy(q, tag, t * sizeof(WideChar));
  q += t;
  *q++ = u'>';
  *q = 0;
}

WideChar* WStrMakeElement(WideChar* dest, const WideChar* tag, const WideChar* text) {
  if (!dest) return nullptr;
  // The copy is overlap-safe, so the text may be dest's own.
  WStrCopy(dest, text);
  WStrEncloseTag(dest, tag);
  return dest;
}

int WideIndexStr(const WideChar* s, const WideChar* const* table, int high) {
  if (!table) return -1;
  for (int i = 0; i <= high; ++i) {
    if (WStrComp(s, table[i]) == 0) return i;
  }
  return -1;
}

// ---------------------------------------------------------------------------------------------
// Managed buffers

namespace {

// 12 bytes in front of the text, as the buffers have always had; the capacity is the only field
// still read (one heap here, so the old heap flag is gone).
struct WStrHeader {
  int32_t Capacity;
  int32_t Reserved1;
  int32_t Reserved2;
};
static_assert(sizeof(WStrHeader) == 12);

// The block is (size + 50) x 2 bytes, header included, so it always has room for the text,
// its #0 and more.
constexpr size_t kBlockExtra = 50;

struct EmptyBuffer {
  WStrHeader Header;
  WideChar Text[2];
};
EmptyBuffer g_emptyBuffer = {{0, 0, 0}, {0, 0}};

inline WStrHeader* HeaderOf(const WideChar* p) {
  return reinterpret_cast<WStrHeader*>(reinterpret_cast<char*>(const_cast<WideChar*>(p)) - sizeof(WStrHeader));
}

inline size_t BlockBytes(int size) { return (static_cast<size_t>(Count(size)) + kBlockExtra) * sizeof(WideChar); }

}  // namespace

WideChar* const WStrEmpty = g_emptyBuffer.Text;

WideChar* WStrAlloc(int size) {
  auto* h = static_cast<WStrHeader*>(std::malloc(BlockBytes(size)));
  if (!h) throw std::bad_alloc();
  *h = WStrHeader{Count(size), 0, 0};
  auto* text = reinterpret_cast<WideChar*>(h + 1);
  text[0] = 0;
  return text;
}

void WStrReAlloc(WideChar*& p, int newSize) {
  if (!p || p == WStrEmpty) {
    p = WStrAlloc(newSize);
    return;
  }
  WStrHeader* h = HeaderOf(p);
  if (newSize <= h->Capacity) return;
  auto* grown = static_cast<WStrHeader*>(std::realloc(h, BlockBytes(newSize)));
  if (!grown) throw std::bad_alloc();
  grown->Capacity = newSize;
  p = reinterpret_cast<WideChar*>(grown + 1);
}

int WStrBufSize(const WideChar* p) { return p ? HeaderOf(p)->Capacity : 0; }

WideChar* WStrNew(const WideChar* p, int factor) {
  if (!p) return nullptr;
  const int n = WStrLen(p);
  const int64_t size = static_cast<int64_t>(std::max(factor, 1)) * (n + 1);
  if (size > std::numeric_limits<int32_t>::max() - static_cast<int64_t>(kBlockExtra)) throw std::bad_alloc();
  WideChar* q = WStrAlloc(static_cast<int>(size));
  WStrMoveZ(q, p, n);
  return q;
}

WideChar* WStrReNew(WideChar* old, const WideChar* source) {
  // Copy before freeing: the source may be old's own text.
  WideChar* q = WStrNew(source, 1);
  WStrDispose(old);
  return q;
}

void WStrDispose(WideChar*& p) {
  if (p && p != WStrEmpty) std::free(HeaderOf(p));
  p = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Numbers and text

namespace {

constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// The magnitude is taken unsigned, so the most negative values have their digits too.
std::string MagnitudeToStr(uint64_t magnitude, bool negative, unsigned base) {
  if (base < 2 || base > 36) return std::string();
  char buf[72];
  char* q = buf + sizeof buf;
  do {
    *--q = kDigits[magnitude % base];
    magnitude /= base;
  } while (magnitude > 0);
  if (negative) *--q = '-';
  return std::string(q, buf + sizeof buf);
}

inline uint64_t Magnitude(int64_t value) {
  return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

}  // namespace

std::string IntToStrBase(int32_t value, uint8_t base) { return MagnitudeToStr(Magnitude(value), value < 0, base); }

std::string Int64ToStrBase(uint8_t base, int64_t value) { return MagnitudeToStr(Magnitude(value), value < 0, base); }

std::string IntToHexShort(int32_t value) { return IntToStrBase(value, 16); }
std::string IntToStrShort(int32_t value) { return IntToStrBase(value, 10); }
std::string Int64ToHexShort(int64_t value) { return Int64ToStrBase(16, value); }

int32_t StrToIntBaseW(const WideChar* p, int base) {
  if (!p || base > 36) return 0;
  const bool negative = *p == u'-';
  if (negative) ++p;
  // Unsigned arithmetic wraps where a signed one would be undefined.
  uint32_t value = 0;
  for (;; ++p) {
    const WideChar c = *p;
    int digit;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (c >= u'A' && c <= u'Z') {
      digit = c - u'A' + 10;
    } else if (c >= u'a' && c <= u'z') {
      digit = c - u'a' + 10;
    } else {
      break;
    }
    if (digit >= base) break;
    value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
  }
  return static_cast<int32_t>(negative ? 0u - value : value);
}

int32_t HexToIntW(const WideChar* p) { return StrToIntBaseW(p, 16); }

int32_t WStrToInt(const WideChar* p) { return StrToIntBaseW(OrEmpty(p), 10); }

WideString IntToWideStr(int32_t value) { return Int64ToWideStr(value); }

WideString Int64ToWideStr(int64_t value) {
  const std::string s = Int64ToStrBase(10, value);
  return WideString(s.begin(), s.end());
}

const WideChar* BoolToYesNo(bool b) { return b ? u"Yes" : u"No"; }

// ---------------------------------------------------------------------------------------------
// Encoding conversions

namespace {

inline size_t ByteLen(const char* p) { return p ? std::strlen(p) : 0; }

// UTF-16 -> code page into dest, whole, with a #0 byte. Composed first, so that a letter and
// its accent find the code page's accented letter; an accent left without one is dropped.
int WideViewToAnsi(std::u16string_view w, char* dest, unsigned codePage) {
  const std::string a = platform::Utf16ToCodePageComposed(codePage, w);
  std::memcpy(dest, a.data(), a.size());
  dest[a.size()] = 0;
  return static_cast<int>(a.size());
}

// Code page -> UTF-16 into dest, with a #0 WideChar.
int AnsiViewToWide(std::string_view a, WideChar* dest, unsigned codePage) {
  const std::u16string w = platform::CodePageToUtf16(codePage, a);
  // No code page gives more than one WideChar per byte, which is what callers size for;
  // the bound keeps a surprise from writing past their buffer.
  const size_t n = std::min(w.size(), a.size());
  std::memcpy(dest, w.data(), n * sizeof(WideChar));
  dest[n] = 0;
  return static_cast<int>(n);
}

// UTF-8 -> UTF-16 into dest, with a #0 WideChar: dest must have one WideChar per byte.
int DecodeUtf8(const char* source, WideChar* dest, bool bigEndian) {
  WideString text;
  AppendUtf8(source ? std::string_view(source) : std::string_view(), text);
  for (size_t i = 0; i < text.size(); ++i)
    dest[i] = bigEndian ? static_cast<WideChar>((text[i] >> 8) | (text[i] << 8)) : text[i];
  dest[text.size()] = 0;
  return static_cast<int>(text.size());
}

// The UTF-8 text decoded into a string: the intermediate form of the ANSI <-> UTF-8 paths.
std::u16string Utf8ToString(const char* source) {
  std::u16string w(ByteLen(source) + 1, u'\0');
  w.resize(static_cast<size_t>(DecodeUtf8(source, w.data(), false)));
  return w;
}

std::u16string SwappedCopy(const WideChar* source) {
  std::u16string w(OrEmpty(source));
  for (WideChar& c : w) c = SwapWideChar(c);
  return w;
}

// A lone surrogate keeps its three-byte form, so that what it came from round-trips.
int EncodeUtf8(const WideChar* source, char* dest, bool sourceBigEndian) {
  const std::u16string swapped = sourceBigEndian ? SwappedCopy(source) : std::u16string();
  char* const end = platform::EncodeUtf8(sourceBigEndian ? std::u16string_view(swapped) : OrEmpty(source), dest,
                                         platform::LoneSurrogate::Keep);
  *end = 0;
  return static_cast<int>(end - dest);
}

inline bool KnownCode(uint8_t code) { return code >= 1 && code <= 4; }

// Length of a #0-terminated text in its own unit, and its size in bytes with the terminator.
size_t TextBytes(uint8_t code, const void* text) {
  if (code == 2 || code == 3) return (Len(static_cast<const WideChar*>(text)) + 1) * sizeof(WideChar);
  return ByteLen(static_cast<const char*>(text)) + 1;
}

}  // namespace

int Utf8ToWide(const char* source, WideChar* dest, bool bigEndian) {
  return dest ? DecodeUtf8(source, dest, bigEndian) : 0;
}

int WideToUtf8(const WideChar* source, char* dest, bool sourceBigEndian) {
  return dest ? EncodeUtf8(source, dest, sourceBigEndian) : 0;
}

int AnsiToUtf8Bytes(const char* source, char* dest) {
  if (!dest) return 0;
  const std::u16string w = platform::CodePageToUtf16(platform::AnsiCodePage(), source ? source : "");
  return EncodeUtf8(w.c_str(), dest, false);
}

int Utf8ToAnsiBytes(const char* source, char* dest) {
  if (!dest) return 0;
  return WideViewToAnsi(Utf8ToString(source), dest, platform::AnsiCodePage());
}

int WideToAnsiBuf(const WideChar* w, char* dest, unsigned codePage) {
  if (!dest) return 0;
  return WideViewToAnsi(std::u16string_view(OrEmpty(w)), dest, codePage);
}

int AnsiToWideBuf(const char* a, WideChar* dest, unsigned codePage) {
  if (!dest) return 0;
  return AnsiViewToWide(std::string_view(a ? a : ""), dest, codePage);
}

int ConvertText(uint8_t fromCode, uint8_t toCode, void* dest, const void* source) {
  if (!dest || !KnownCode(fromCode) || !KnownCode(toCode)) return 0;
  static const WideChar kNoWide[1] = {0};
  if (!source) source = (fromCode == 2 || fromCode == 3) ? static_cast<const void*>(kNoWide) : "";
  const auto* a = static_cast<const char*>(source);
  const auto* w = static_cast<const WideChar*>(source);
  auto* da = static_cast<char*>(dest);
  auto* dw = static_cast<WideChar*>(dest);
  const unsigned cp = platform::AnsiCodePage();

  if (fromCode == toCode) {
    const size_t bytes = TextBytes(fromCode, source);
    std::memmove(dest, source, bytes);
    return static_cast<int>(fromCode == 2 || fromCode == 3 ? bytes / 2 - 1 : bytes - 1);
  }
  switch (fromCode * 10 + toCode) {
    case 12:
      return AnsiToWideBuf(a, dw, cp);
    case 13: {
      const int n = AnsiToWideBuf(a, dw, cp);
      WStrSwap(dw);
      return n;
    }
    case 14:
      return AnsiToUtf8Bytes(a, da);
    case 21:
      return WideToAnsiBuf(w, da, cp);
    case 23:
    case 32:
      WStrSwapCopy(w, dw);
      return WStrLen(dw);
    case 24:
      return EncodeUtf8(w, da, false);
    case 31:
      return WideViewToAnsi(SwappedCopy(w), da, cp);
    case 34:
      return EncodeUtf8(w, da, true);
    case 41:
      return Utf8ToAnsiBytes(a, da);
    case 42:
      return DecodeUtf8(a, dw, false);
    case 43:
      return DecodeUtf8(a, dw, true);
  }
  return 0;
}

int ConvertTextInPlace(uint8_t fromCode, uint8_t toCode, void* buf) {
  if (!buf || fromCode == toCode || !KnownCode(fromCode) || !KnownCode(toCode)) return 0;
  if ((fromCode == 2 && toCode == 3) || (fromCode == 3 && toCode == 2)) {
    auto* p = static_cast<WideChar*>(buf);
    WStrSwap(p);
    return WStrLen(p);
  }
  // The result is written over the text it comes from, so convert from a copy. Kept as
  // WideChars so that UTF-16 sources stay aligned.
  const size_t bytes = TextBytes(fromCode, buf);
  std::u16string copy((bytes + 1) / 2, u'\0');
  std::memcpy(copy.data(), buf, bytes);
  return ConvertText(fromCode, toCode, buf, copy.data());
}

WideChar AnsiCodeToUnicode(WideChar ch) {
  if (ch < 0x80 || ch > 0x9F) return ch;
  // What the bytes 0x80..0x9F stand for in the ANSI code page, built once per code page (and
  // per thread, so no lock is needed on this hot path). A byte that is not a character by
  // itself (a lead byte of a double-byte code page) maps to itself.
  struct Table {
    unsigned codePage = 0;
    WideChar map[32];
  };
  thread_local Table table;
  const unsigned cp = platform::AnsiCodePage();
  if (table.codePage != cp) {
    for (unsigned b = 0x80; b <= 0x9F; ++b) {
      const char byte = static_cast<char>(b);
      const std::u16string w = platform::CodePageToUtf16(cp, std::string_view(&byte, 1));
      table.map[b - 0x80] = (w.size() == 1 && w[0] != 0xFFFD && w[0] != 0) ? w[0] : static_cast<WideChar>(b);
    }
    table.codePage = cp;
  }
  return table.map[ch - 0x80];
}

// ---------------------------------------------------------------------------------------------
// Wildcard test

bool MatchesMaskPart(const AnsiString& mask, const AnsiString& s) {
  if (mask == "*") return true;
  const std::string_view m(mask);
  if (!m.empty() && m.front() == '*') {
    const std::string_view rest = m.substr(1);
    return s.size() >= rest.size() && std::string_view(s).substr(s.size() - rest.size()) == rest;
  }
  if (!m.empty() && m.back() == '*') {
    const std::string_view head = m.substr(0, m.size() - 1);
    return std::string_view(s).substr(0, head.size()) == head;
  }
  return s == mask;
}

// ---------------------------------------------------------------------------------------------
// TWString

TWString::TWString(int32_t capacity) { SetCapacity(capacity); }

TWString::~TWString() { std::free(Buffer); }

void TWString::SetCapacity(int32_t newCapacity) {
  newCapacity = std::max<int32_t>(newCapacity, 0);
  if (newCapacity == Capacity) return;
  if (newCapacity == 0) {
    std::free(Buffer);
    Buffer = nullptr;
    Length = 0;
    Capacity = 0;
    return;
  }
  const size_t bytes = static_cast<size_t>(newCapacity) * sizeof(WideChar);
  if (!Buffer) {
    Buffer = static_cast<WideChar*>(std::malloc(bytes));
    if (!Buffer) throw std::bad_alloc();
    Buffer[0] = 0;
    Length = 0;
  } else {
    auto* grown = static_cast<WideChar*>(std::realloc(Buffer, bytes));
    if (!grown) throw std::bad_alloc();
    Buffer = grown;
    // Shrinking below the text keeps what fits, still terminated.
    if (Length >= newCapacity) {
      Length = newCapacity - 1;
      Buffer[Length] = 0;
    }
  }
  Capacity = newCapacity;
}

void TWString::Clear() {
  if (Buffer) {
    Buffer[0] = 0;
    Length = 0;
  }
}

void TWString::Add(const WideChar* text) {
  const int32_t len = WStrLen(text);
  const int64_t need = static_cast<int64_t>(Length) + len + 50;
  // Text taken from this buffer itself must survive the move of a reallocation.
  const bool inside = text && Buffer && text >= Buffer && text < Buffer + Capacity;
  const ptrdiff_t offset = inside ? text - Buffer : 0;
  if (need >= Capacity) {
    const int64_t grown = (need / GrowStep + 1) * GrowStep;
    if (grown > std::numeric_limits<int32_t>::max()) throw std::length_error("TWString too long");
    SetCapacity(static_cast<int32_t>(grown));
    if (inside) text = Buffer + offset;
  }
  WStrMoveZ(Buffer + Length, text, len);
  Length += len;
}

void TWString::AddStr(const WideString& text) { Add(text.c_str()); }

namespace {
thread_local uint64_t tIllFormedUtf8 = 0;
}  // namespace

uint64_t IllFormedUtf8Replaced() { return tIllFormedUtf8; }

void AppendUtf8(std::string_view bytes, WideString& out, bool lineEnds) {
  const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint8_t* const end = s + bytes.size();
  const size_t at = out.size();
  out.resize(at + bytes.size());  // never more units than bytes
  WideChar* q = out.data() + at;
  if (bytes.size() <= 16) {
    // Short names and values, mostly ASCII.
    while (s < end && *s < 0x80 && *s != '\r') *q++ = *s++;
    if (s == end) return;
  }
  while (s < end) {
    // Runs of ASCII without CR, the bulk of markup and of most text, eight bytes at a time.
    while (end - s >= 8) {
      uint64_t word;
      std::memcpy(&word, s, 8);
      if (word & 0x8080808080808080ull) break;
      if (lineEnds) {
        const uint64_t cr = word ^ 0x0D0D0D0D0D0D0D0Dull;  // a zero byte where a CR is
        if ((cr - 0x0101010101010101ull) & ~cr & 0x8080808080808080ull) break;
      }
      for (int k = 0; k < 8; ++k) q[k] = s[k];
      q += 8;
      s += 8;
    }
    if (s >= end) break;
    // Runs of two-byte forms (Greek, Cyrillic, Hebrew, Arabic...).
    while (end - s >= 2 && s[0] >= 0xC2 && s[0] <= 0xDF && (s[1] & 0xC0) == 0x80) {
      *q++ = static_cast<WideChar>((s[0] & 0x1F) << 6 | (s[1] & 0x3F));
      s += 2;
    }
    if (s >= end) break;
    const uint32_t lead = *s;
    if (lead < 0x80) {
      ++s;
      if (lead == '\r' && lineEnds) {
        *q++ = u'\n';
        if (s < end && *s == '\n') ++s;
      } else {
        *q++ = static_cast<WideChar>(lead);
      }
      continue;
    }
    int follow;
    uint32_t cp;
    uint32_t lo = 0x80, hi = 0xBF;  // the byte after the lead: no overlong forms
    if (lead >= 0xC2 && lead <= 0xDF) {
      follow = 1;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      follow = 2;  // ED A0..BF (a surrogate) is taken: files of older tools hold pairs so
      cp = lead & 0x0F;
      if (lead == 0xE0) lo = 0xA0;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      follow = 3;
      cp = lead & 0x07;
      if (lead == 0xF0) lo = 0x90;
      if (lead == 0xF4) hi = 0x8F;
    } else {
      *q++ = 0xFFFD;
      ++tIllFormedUtf8;
      ++s;
      continue;
    }
    const uint8_t* t = s + 1;
    bool complete = true;
    for (int i = 0; i < follow; ++i, ++t) {
      if (t >= end || *t < lo || *t > hi) {
        complete = false;
        break;
      }
      cp = (cp << 6) | (*t & 0x3Fu);
      lo = 0x80;
      hi = 0xBF;
    }
    s = t;
    if (!complete) {
      *q++ = 0xFFFD;
      ++tIllFormedUtf8;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *q++ = static_cast<WideChar>(0xD800 + (cp >> 10));
      *q++ = static_cast<WideChar>(0xDC00 + (cp & 0x3FF));
    } else {
      *q++ = static_cast<WideChar>(cp);
    }
  }
  out.resize(static_cast<size_t>(q - out.data()));
}
