#include "base/MyWideStr.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/core/CodePages.h"

namespace {

// Sets the process's ANSI code page for one test and puts the previous one back.
class CodePageScope {
public:
  explicit CodePageScope(unsigned cp) : saved_(platform::AnsiCodePage()) { platform::SetAnsiCodePage(cp); }
  ~CodePageScope() { platform::SetAnsiCodePage(saved_); }

private:
  unsigned saved_;
};

// A text buffer of exactly n WideChars, so that the sanitizer catches any write past it.
std::unique_ptr<WideChar[]> Buf(size_t n, const WideChar* init = u"") {
  std::unique_ptr<WideChar[]> b(new WideChar[n]);
  std::memcpy(b.get(), init, (std::char_traits<WideChar>::length(init) + 1) * sizeof(WideChar));
  return b;
}

std::string Bytes(const char* p) { return std::string(p); }

WideString Wide(const WideChar* p) { return WideString(p); }

WideString Utf8ToW(const std::string& s, bool bigEndian = false) {
  std::vector<WideChar> out(s.size() + 1);
  const int n = Utf8ToWide(s.c_str(), out.data(), bigEndian);
  EXPECT_EQ(out[n], 0);
  return WideString(out.data(), n);
}

std::string WToUtf8(const WideString& w, bool bigEndian = false) {
  std::vector<char> out(w.size() * 3 + 1);
  const int n = WideToUtf8(w.c_str(), out.data(), bigEndian);
  EXPECT_EQ(out[n], 0);
  return std::string(out.data(), n);
}

WideString Swapped(WideString w) {
  for (auto& c : w) c = SwapWideChar(c);
  return w;
}

// ConvertText from a byte encoding (1, 4) to a UTF-16 one (2, 3), with a buffer of the size
// the caller contract promises suffices.
WideString BytesToWide(uint8_t from, uint8_t to, const std::string& s) {
  auto out = Buf(s.size() + 1);
  const int n = ConvertText(from, to, out.get(), s.c_str());
  return WideString(out.get(), n);
}

std::string WideToBytes(uint8_t from, uint8_t to, const WideString& w, size_t perUnit) {
  std::unique_ptr<char[]> out(new char[w.size() * perUnit + 1]);
  const int n = ConvertText(from, to, out.get(), w.c_str());
  EXPECT_EQ(std::strlen(out.get()), static_cast<size_t>(n));
  return std::string(out.get(), n);
}

std::string BytesToBytes(uint8_t from, uint8_t to, const std::string& s, size_t perByte) {
  std::unique_ptr<char[]> out(new char[s.size() * perByte + 1]);
  const int n = ConvertText(from, to, out.get(), s.c_str());
  return std::string(out.get(), n);
}

const WideString kEmoji = u"a\U0001F600b";          // U+1F600 as a surrogate pair
const std::string kEmojiUtf8 = "a\xF0\x9F\x98\x80" "b";

}  // namespace

// ---------------------------------------------------------------------------------------------

TEST(WStrPrimitives, NullIsEmpty) {
  EXPECT_EQ(WStrLen(nullptr), 0);
  EXPECT_EQ(WStrEnd(static_cast<const WideChar*>(nullptr)), nullptr);
  EXPECT_EQ(WStrComp(nullptr, u""), 0);
  EXPECT_LT(WStrComp(nullptr, u"a"), 0);
  EXPECT_EQ(WStrScan(static_cast<const WideChar*>(nullptr), u'a'), nullptr);
  EXPECT_FALSE(WStrNotEmpty(nullptr));
  EXPECT_FALSE(WStrNotEmpty(u""));
  EXPECT_TRUE(WStrNotEmpty(u"x"));
  EXPECT_FALSE(StrNotEmpty(nullptr));
  auto b = Buf(4, u"xyz");
  WStrCopy(b.get(), nullptr);
  EXPECT_EQ(Wide(b.get()), u"");
}

TEST(WStrPrimitives, CopiesAndMovesAreOverlapSafe) {
  auto b = Buf(16, u"abcdef");
  WStrCopy(b.get() + 2, b.get());  // forward overlap
  EXPECT_EQ(Wide(b.get()), u"ababcdef");
  WStrCopy(b.get(), b.get() + 3);  // backward overlap
  EXPECT_EQ(Wide(b.get()), u"bcdef");
  EXPECT_EQ(WStrECopy(b.get(), u"xy"), b.get() + 2);

  // WStrMoveZ copies exactly count units, a #0 among them included.
  const WideChar src[] = {u'a', 0, u'b', 0};
  WStrMoveZ(b.get(), src, 3);
  EXPECT_EQ(b[0], u'a');
  EXPECT_EQ(b[1], 0);
  EXPECT_EQ(b[2], u'b');
  EXPECT_EQ(b[3], 0);

  WStrLCopy(b.get(), u"abcdef", 3);
  EXPECT_EQ(Wide(b.get()), u"abc");
  WStrLCopy(b.get(), u"ab", 10);
  EXPECT_EQ(Wide(b.get()), u"ab");
  WStrLCat(b.get(), u"cdef", 2);  // the count appended, not a total bound
  EXPECT_EQ(Wide(b.get()), u"abcd");
  WCharAppend(b.get(), u'!');
  EXPECT_EQ(Wide(b.get()), u"abcd!");
}

TEST(WStrPrimitives, PrependKeepsTextTakenFromTheBufferItself) {
  auto b = Buf(16, u"world");
  WStrPrepend(b.get(), u"hello ");
  EXPECT_EQ(Wide(b.get()), u"hello world");
  WStrCopy(b.get(), u"abc");
  WStrPrepend(b.get(), b.get() + 1);
  EXPECT_EQ(Wide(b.get()), u"bcabc");
}

TEST(WStrPrimitives, ComparisonsGiveTheDifference) {
  EXPECT_EQ(WStrComp(u"abc", u"abc"), 0);
  EXPECT_EQ(WStrComp(u"abd", u"abb"), 2);
  EXPECT_EQ(WStrComp(u"ab", u"abc"), -u'c');
  EXPECT_GT(WStrComp(u"\uFFFF", u"a"), 0);  // unsigned code units
  const unsigned char x[] = {1, 2, 200}, y[] = {1, 2, 100};
  EXPECT_EQ(CompareBytes(x, y, 3), 100);
  EXPECT_EQ(CompareBytes(x, y, 2), 0);
  EXPECT_EQ(CompareBytes(x, y, 0), 0);
}

TEST(WStrPrimitives, Scans) {
  const WideChar* s = u"a,b;c,d";
  EXPECT_EQ(WStrScan(s, u','), s + 1);
  EXPECT_EQ(WStrScan(s, 0), s + 7);
  EXPECT_EQ(WStrScan(s, u'x'), nullptr);
  EXPECT_EQ(WStrRScan(s, u','), s + 5);
  EXPECT_EQ(WStrScanSet(s, u";x"), s + 3);
  EXPECT_EQ(WStrScanSetN(s, u";", 3), nullptr);
  EXPECT_EQ(WStrScanSetN(s, u";", 4), s + 3);
  EXPECT_EQ(WStrScanSetN(s, u"a", 0), nullptr);
  const WideChar gap[] = {u'a', 0, u'b', 0};
  EXPECT_EQ(WStrLScan(gap, u'b', 3), gap + 2);   // the #0 does not stop it
  EXPECT_EQ(WStrScanSetN(gap, u"b", 3), nullptr);  // this one stops at the #0
  const char bytes[] = "ab\0cd";
  EXPECT_EQ(ByteScanN(bytes, 'c', 5), bytes + 3);
  EXPECT_EQ(ByteScanN(bytes, 'c', 3), nullptr);
  EXPECT_EQ(WStrPos(s, u"c,d"), s + 4);
  EXPECT_EQ(WStrPos(s, u""), nullptr);
  EXPECT_EQ(WStrPos(s, u"dd"), nullptr);
  EXPECT_EQ(WCharInStr(s, u';'), u';');
  EXPECT_EQ(WCharInStr(s, u'z'), 0);
}

TEST(WStrPrimitives, DigitsTrimsAndPadding) {
  EXPECT_EQ(WStrDigitsLen(u"0123"), 4);
  EXPECT_EQ(WStrDigitsLen(u"12a"), 0);
  EXPECT_EQ(WStrDigitsLen(u""), 0);
  EXPECT_EQ(WStrCountDigits(u"a1b22"), 3);

  auto b = Buf(16, u"  a b  ");
  WStrTrimLeft(b.get());
  EXPECT_EQ(Wide(b.get()), u"a b  ");
  WStrTrimRight(b.get());
  EXPECT_EQ(Wide(b.get()), u"a b");
  WStrCopy(b.get(), u"x\t\r\n\t");
  WStrTrimRightSet(b.get(), u"\r\n\t");
  EXPECT_EQ(Wide(b.get()), u"x");
  WStrCopy(b.get(), u"\t");
  WStrTrimRightSet(b.get(), u"\t");
  EXPECT_EQ(Wide(b.get()), u"");

  EXPECT_EQ(TrimLeftBlanksW(u"   "), u" ");
  EXPECT_EQ(TrimLeftBlanksW(u"  ab "), u"ab ");
  EXPECT_EQ(TrimLeftBlanksW(u""), u"");

  EXPECT_EQ(PadWStr(u"7", 3, u'0', false), u"007");
  EXPECT_EQ(PadWStr(u"ab", 4, u'.', true), u"ab..");
  EXPECT_EQ(PadWStr(u"abcde", 3, u'.', true), u"abcde");
  EXPECT_EQ(RightStrA("abcdef", 2), "ef");
  EXPECT_EQ(RightStrW(u"ab", 5), u"ab");
  EXPECT_EQ(UpCaseW(u'\u00E9'), u'\u00E9');
}

TEST(WStrSplit, SplitLine) {
  TWStrSplitPart part{};
  auto b = Buf(16, u"a\tb");
  WStrSplitLine(b.get(), 0, part);
  EXPECT_EQ(Wide(part.Start), u"a");
  EXPECT_EQ(Wide(part.Next), u"b");
  EXPECT_EQ(part.Data, 0);

  WStrCopy(b.get(), u"a\r\nb");
  WStrSplitLine(b.get(), 0, part);
  EXPECT_EQ(Wide(part.Start), u"a");
  EXPECT_EQ(Wide(part.Next), u"b");

  WStrCopy(b.get(), u"a;b;c");
  WStrSplitLine(b.get(), u';', part);
  EXPECT_EQ(Wide(part.Next), u"b;c");

  WStrCopy(b.get(), u"abc");
  WStrSplitLine(b.get(), 0, part);
  EXPECT_EQ(Wide(part.Start), u"abc");
  EXPECT_EQ(part.Next, nullptr);

  WStrSplitLine(nullptr, 0, part);
  EXPECT_EQ(part.Start, nullptr);
  EXPECT_EQ(part.Next, nullptr);
}

TEST(WStrSplit, FetchTokenGivesOneFieldMoreThanSeparators) {
  auto fields = [](const WideChar* line) {
    std::vector<WideString> out;
    const WideChar* p = line;
    do {
      WideChar* token = WStrFetchToken(p, u'\t');
      out.emplace_back(token);
      WStrDispose(token);
    } while (p);
    return out;
  };
  EXPECT_EQ(fields(u"a\t\tb"), (std::vector<WideString>{u"a", u"", u"b"}));
  EXPECT_EQ(fields(u"a\t"), (std::vector<WideString>{u"a", u""}));
  EXPECT_EQ(fields(u""), (std::vector<WideString>{u""}));
  EXPECT_EQ(fields(nullptr), (std::vector<WideString>{u""}));

  // A #0 separator is never found inside the text.
  const WideChar* p = u"abc";
  WideChar* token = WStrFetchToken(p, 0);
  EXPECT_EQ(Wide(token), u"abc");
  EXPECT_EQ(p, nullptr);
  WStrDispose(token);
}

TEST(WStrSplit, ElementsAndTableLookUp) {
  auto b = Buf(32, u"text");
  WStrEncloseTag(b.get(), u"seg");
  EXPECT_EQ(Wide(b.get()), u"<seg>text</seg>");
  WStrCopy(b.get(), u"x");
  WStrMakeElement(b.get(), u"prop", b.get());  // the text may be dest's own
  EXPECT_EQ(Wide(b.get()), u"<prop>x</prop>");
  WStrMakeElement(b.get(), u"b", u"");
  EXPECT_EQ(Wide(b.get()), u"<b></b>");

  const WideChar* table[] = {u".txt", u".tmx", u".csv"};
  EXPECT_EQ(WideIndexStr(u".tmx", table, 2), 1);
  EXPECT_EQ(WideIndexStr(u".csv", table, 1), -1);  // high is the last index searched
  EXPECT_EQ(WideIndexStr(u".TMX", table, 2), -1);
}

// ---------------------------------------------------------------------------------------------

TEST(WStrManaged, CapacityHeaderAndGrowth) {
  WideChar* p = WStrAlloc(10);
  EXPECT_EQ(WStrBufSize(p), 10);
  EXPECT_EQ(Wide(p), u"");
  WStrCopy(p, u"0123456789");
  WStrReAlloc(p, 5);  // never shrinks
  EXPECT_EQ(WStrBufSize(p), 10);
  WStrReAlloc(p, 5000);
  EXPECT_EQ(WStrBufSize(p), 5000);
  EXPECT_EQ(Wide(p), u"0123456789");
  std::fill(p, p + 5000, u'x');  // the whole capacity is usable, with room for #0 after it
  p[5000] = 0;
  WStrDispose(p);
  EXPECT_EQ(p, nullptr);

  WideChar* e = WStrEmpty;
  EXPECT_EQ(WStrBufSize(e), 0);
  EXPECT_EQ(WStrLen(e), 0);
  WStrReAlloc(e, 20);  // the empty constant is replaced, not grown
  EXPECT_NE(e, WStrEmpty);
  EXPECT_EQ(WStrBufSize(e), 20);
  WStrDispose(e);
  e = WStrEmpty;
  WStrDispose(e);  // never freed, only dropped
  EXPECT_EQ(e, nullptr);
  EXPECT_EQ(WStrBufSize(nullptr), 0);
}

TEST(WStrManaged, NewAndReNew) {
  EXPECT_EQ(WStrNew(nullptr, 1), nullptr);
  WideChar* p = WStrNew(u"abc", 3);
  EXPECT_EQ(Wide(p), u"abc");
  EXPECT_EQ(WStrBufSize(p), 12);
  p = WStrReNew(p, p + 1);  // the source may be the old buffer's own text
  EXPECT_EQ(Wide(p), u"bc");
  EXPECT_EQ(WStrBufSize(p), 3);
  WStrDispose(p);
}

// ---------------------------------------------------------------------------------------------

TEST(NumberTexts, ZeroAndMostNegativeValuesInEveryBase) {
  EXPECT_EQ(IntToStrBase(0, 2), "0");
  EXPECT_EQ(IntToStrBase(0, 36), "0");
  EXPECT_EQ(Int64ToStrBase(10, 0), "0");
  EXPECT_EQ(IntToStrBase(INT_MIN, 10), "-2147483648");
  EXPECT_EQ(IntToStrBase(INT_MIN, 16), "-80000000");
  EXPECT_EQ(IntToStrBase(INT_MIN, 2), "-1" + std::string(31, '0'));
  EXPECT_EQ(IntToStrBase(INT_MIN, 36), "-ZIK0ZK");
  EXPECT_EQ(IntToStrBase(INT_MAX, 36), "ZIK0ZJ");
  EXPECT_EQ(Int64ToStrBase(10, INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(Int64ToStrBase(16, INT64_MIN), "-8000000000000000");
  EXPECT_EQ(Int64ToStrBase(2, INT64_MIN), "-1" + std::string(63, '0'));
  EXPECT_EQ(Int64ToStrBase(36, INT64_MIN), "-1Y2P0IJ32E8E8");
  EXPECT_EQ(IntToHexShort(-255), "-FF");
  EXPECT_EQ(Int64ToHexShort(0x123456789ALL), "123456789A");
  EXPECT_EQ(IntToStrBase(5, 1), "");   // no such base: nothing rather than a hang
  EXPECT_EQ(IntToStrBase(5, 37), "");
  EXPECT_EQ(IntToWideStr(0), u"0");
  EXPECT_EQ(IntToWideStr(INT_MIN), u"-2147483648");
  EXPECT_EQ(Int64ToWideStr(INT64_MIN), u"-9223372036854775808");
}

TEST(NumberTexts, Parsing) {
  EXPECT_EQ(WStrToInt(u"-12x"), -12);
  EXPECT_EQ(WStrToInt(u"x"), 0);
  EXPECT_EQ(WStrToInt(u"-"), 0);
  EXPECT_EQ(WStrToInt(nullptr), 0);
  EXPECT_EQ(WStrToInt(u"-2147483648"), INT_MIN);
  EXPECT_EQ(StrToIntBaseW(u"ff", 16), 255);
  EXPECT_EQ(StrToIntBaseW(u"Zz", 36), 35 * 36 + 35);
  EXPECT_EQ(StrToIntBaseW(u"1012", 2), 5);  // stops at the first digit outside the base
  EXPECT_EQ(StrToIntBaseW(u"ff", 37), 0);
  EXPECT_EQ(StrToIntBaseW(nullptr, 10), 0);
  EXPECT_EQ(HexToIntW(u"-7fFFffFF"), -INT_MAX);
  EXPECT_EQ(Wide(BoolToYesNo(true)), u"Yes");
  EXPECT_EQ(Wide(BoolToYesNo(false)), u"No");
}

// ---------------------------------------------------------------------------------------------

TEST(Utf8, EncodesOneToFourBytes) {
  EXPECT_EQ(WToUtf8(u"A\u00E9"), "A\xC3\xA9");
  EXPECT_EQ(WToUtf8(u"\u20AC"), "\xE2\x82\xAC");
  EXPECT_EQ(WToUtf8(kEmoji), kEmojiUtf8);
  EXPECT_EQ(WToUtf8(Swapped(kEmoji), true), kEmojiUtf8);
  // Lone surrogates keep their three-byte forms, in either order.
  EXPECT_EQ(WToUtf8(u"\xD83D" u"x"), "\xED\xA0\xBD" "x");
  EXPECT_EQ(WToUtf8(u"\xDE00\xD83D"), "\xED\xB8\x80\xED\xA0\xBD");
}

TEST(Utf8, DecodesFourByteAndOldSurrogateForms) {
  EXPECT_EQ(Utf8ToW("A\xC3\xA9\xE2\x82\xAC"), u"A\u00E9\u20AC");
  EXPECT_EQ(Utf8ToW(kEmojiUtf8), kEmoji);
  EXPECT_EQ(Utf8ToW(kEmojiUtf8, true), Swapped(kEmoji));
  EXPECT_EQ(Utf8ToW("a\xED\xA0\xBD\xED\xB8\x80" "b"), kEmoji);  // pair as two three-byte forms
  EXPECT_EQ(Utf8ToW("\xED\xA0\xBD"), u"\xD83D");
  EXPECT_EQ(Utf8ToW("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
}

TEST(Utf8, EachMaximalBrokenSubpartBecomesOneReplacementCharacter) {
  const struct {
    std::string in;
    WideString out;
  } cases[] = {
      {"\xC3" "A", u"\uFFFDA"},
      {"\xE2\x82" "A", u"\uFFFDA"},
      {"\xF0\x9F\x98" "A", u"\uFFFDA"},
      {"\xE2\xC3\xA9", u"\uFFFD\u00E9"},  // the breaking byte starts the next form
      {"a\x80\xBF" "b", u"a\uFFFD\uFFFDb"},  // stray continuation bytes
      {"\xC0\xAF\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},  // overlong forms
      {"\xF4\x90\x80\x80" "z", u"\uFFFD\uFFFD\uFFFD\uFFFDz"},  // beyond U+10FFFF
      {"\xF8\xFF" "z", u"\uFFFD\uFFFDz"},
      {"ab\xE2", u"ab\uFFFD"},  // cut at the end of the text
      {"\xFC" "berpr\xFC" "fen", u"\uFFFDberpr\uFFFDfen"},  // Latin-1 taken for UTF-8
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToW(c.in), c.out) << c.in;
}

TEST(Utf8, EmojiThroughEveryUtf8Conversion) {
  // 2 -> 4 -> 2
  const std::string u8 = WideToBytes(2, 4, kEmoji, 3);
  EXPECT_EQ(u8, kEmojiUtf8);
  EXPECT_EQ(BytesToWide(4, 2, u8), kEmoji);
  // 3 -> 4 -> 3
  const WideString be = Swapped(kEmoji);
  EXPECT_EQ(WideToBytes(3, 4, be, 3), kEmojiUtf8);
  EXPECT_EQ(BytesToWide(4, 3, kEmojiUtf8), be);
  // 2 <-> 3
  auto out = Buf(kEmoji.size() + 1);
  EXPECT_EQ(ConvertText(2, 3, out.get(), kEmoji.c_str()), 4);
  EXPECT_EQ(Wide(out.get()), be);
  // Same code: a plain copy.
  EXPECT_EQ(BytesToBytes(4, 4, kEmojiUtf8, 1), kEmojiUtf8);
}

// ---------------------------------------------------------------------------------------------

TEST(AnsiConversions, Cp1252RangeHex80To9FBothWays) {
  CodePageScope cp(1252);
  const std::string bytes = "\x80\x85\x8A\x91\x92\x93\x99\x9F";
  const WideString text = u"\u20AC\u2026\u0160\u2018\u2019\u201C\u2122\u0178";
  EXPECT_EQ(BytesToWide(1, 2, bytes), text);
  EXPECT_EQ(BytesToWide(1, 3, bytes), Swapped(text));
  EXPECT_EQ(WideToBytes(2, 1, text, 2), bytes);
  EXPECT_EQ(WideToBytes(3, 1, Swapped(text), 2), bytes);
  // ANSI <-> UTF-8 through the code page, not as Latin-1.
  EXPECT_EQ(BytesToBytes(1, 4, "\x80", 3), "\xE2\x82\xAC");
  EXPECT_EQ(BytesToBytes(4, 1, "\xE2\x82\xAC\xC3\xA9", 1), "\x80\xE9");

  EXPECT_EQ(AnsiCodeToUnicode(0x80), 0x20AC);
  EXPECT_EQ(AnsiCodeToUnicode(0x9C), 0x0153);
  EXPECT_EQ(AnsiCodeToUnicode(0x41), 0x41);
  EXPECT_EQ(AnsiCodeToUnicode(0xE9), 0xE9);
  EXPECT_EQ(AnsiCodeToUnicode(0x0180), 0x0180);  // only the low byte matches a table entry
  EXPECT_EQ(AnsiCodeToUnicode(0x2080), 0x2080);
}

TEST(AnsiConversions, OtherCodePagesRoundTrip) {
  {
    CodePageScope cp(1251);
    const std::string bytes = "\xCF\xF0\xE8\xE2\xE5\xF2 \x80";
    const WideString text = u"\u041F\u0440\u0438\u0432\u0435\u0442 \u0402";
    EXPECT_EQ(BytesToWide(1, 2, bytes), text);
    EXPECT_EQ(WideToBytes(2, 1, text, 2), bytes);
    const std::string u8 = BytesToBytes(1, 4, bytes, 3);
    EXPECT_EQ(u8, WToUtf8(text));
    EXPECT_EQ(BytesToBytes(4, 1, u8, 1), bytes);
    EXPECT_EQ(AnsiCodeToUnicode(0x80), 0x0402);
  }
  {
    CodePageScope cp(932);
    const WideString text = u"\u65E5\u672C\u8A9E\u30C6\u30AD\u30B9\u30C8 \uFF71 abc";
    const std::string bytes = WideToBytes(2, 1, text, 2);
    EXPECT_EQ(bytes.substr(0, 2), "\x93\xFA");
    EXPECT_EQ(BytesToWide(1, 2, bytes), text);
    const std::string u8 = BytesToBytes(1, 4, bytes, 3);
    EXPECT_EQ(u8, WToUtf8(text));
    EXPECT_EQ(BytesToBytes(4, 1, u8, 1), bytes);
    // Lead bytes are no characters by themselves.
    EXPECT_EQ(AnsiCodeToUnicode(0x93), 0x93);
  }
}

TEST(AnsiConversions, UnmappableCharactersBecomeQuestionMarks) {
  CodePageScope cp(1252);
  EXPECT_EQ(WideToBytes(2, 1, u"a\u0416b" + kEmoji, 2), "a?ba?b");
  EXPECT_EQ(BytesToBytes(4, 1, "\xD0\x96", 1), "?");
  auto out = Buf(8);
  WStrPCopyAnsi(out.get(), "\x80x");
  EXPECT_EQ(Wide(out.get()), u"\u20ACx");
}

// ---------------------------------------------------------------------------------------------

TEST(ConvertInPlace, BytesToUtf16FitOneWideCharPerByte) {
  CodePageScope cp(1252);
  // The buffer is exactly (bytes + 1) WideChars; the sanitizer build checks every write.
  const std::string u8 = "x\xC3\xA9" + kEmojiUtf8;
  auto b = Buf(u8.size() + 1);
  std::memcpy(b.get(), u8.c_str(), u8.size() + 1);
  EXPECT_EQ(ConvertTextInPlace(4, 2, b.get()), 6);
  EXPECT_EQ(Wide(b.get()), u"x\u00E9" + kEmoji);

  const std::string ansi = "ab\x80\xE9";
  auto c = Buf(ansi.size() + 1);
  std::memcpy(c.get(), ansi.c_str(), ansi.size() + 1);
  ConvertTextInPlace(1, 2, c.get());
  EXPECT_EQ(Wide(c.get()), u"ab\u20AC\u00E9");

  // One byte: the smallest buffer of all.
  auto d = Buf(2);
  std::memcpy(d.get(), "q", 2);
  ConvertTextInPlace(4, 3, d.get());
  EXPECT_EQ(d[0], SwapWideChar(u'q'));
  EXPECT_EQ(d[1], 0);
}

TEST(ConvertInPlace, UtfSixteenOrdersAndNoOps) {
  auto b = Buf(8, u"ab");
  ConvertTextInPlace(3, 2, b.get());
  EXPECT_EQ(b[0], SwapWideChar(u'a'));
  ConvertTextInPlace(2, 3, b.get());
  EXPECT_EQ(Wide(b.get()), u"ab");
  EXPECT_EQ(ConvertTextInPlace(2, 2, b.get()), 0);
  EXPECT_EQ(Wide(b.get()), u"ab");
  EXPECT_EQ(ConvertTextInPlace(4, 2, nullptr), 0);
  EXPECT_EQ(ConvertTextInPlace(9, 2, b.get()), 0);  // unknown code: untouched
  EXPECT_EQ(Wide(b.get()), u"ab");

  // UTF-16 out to UTF-8 in place, in a buffer sized for it.
  auto c = Buf(16, u"\u20AC\U0001F600");
  EXPECT_EQ(ConvertTextInPlace(2, 4, c.get()), 7);
  EXPECT_EQ(Bytes(reinterpret_cast<char*>(c.get())), "\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(ConvertInPlace, LongTextsConvertWhole) {
  CodePageScope cp(1252);
  const size_t n = 150000;
  std::string ansi;
  WideString wide;
  for (size_t i = 0; i < n; ++i) {
    const bool euro = i % 7 == 0;
    ansi += euro ? '\x80' : static_cast<char>('a' + i % 26);
    wide += euro ? u'\u20AC' : static_cast<WideChar>(u'a' + i % 26);
  }
  EXPECT_EQ(BytesToWide(1, 2, ansi), wide);
  EXPECT_EQ(WideToBytes(2, 1, wide, 2), ansi);

  WideString emojis;
  for (size_t i = 0; i < n / 2; ++i) emojis += u"\U0001F600";
  const std::string u8 = WideToBytes(2, 4, emojis, 3);
  EXPECT_EQ(u8.size(), n * 2);
  auto b = Buf(u8.size() + 1);
  std::memcpy(b.get(), u8.c_str(), u8.size() + 1);
  EXPECT_EQ(ConvertTextInPlace(4, 2, b.get()), static_cast<int>(n));
  EXPECT_EQ(Wide(b.get()), emojis);
}

// ---------------------------------------------------------------------------------------------

TEST(MatchesMaskPart, OneStarAtEitherEnd) {
  EXPECT_TRUE(MatchesMaskPart("*", ""));
  EXPECT_TRUE(MatchesMaskPart("abc*", "abcdef"));
  EXPECT_TRUE(MatchesMaskPart("*.txt", "a.txt"));
  EXPECT_FALSE(MatchesMaskPart("*.txt", "txt"));
  EXPECT_FALSE(MatchesMaskPart("a*c", "abc"));
  EXPECT_TRUE(MatchesMaskPart("a*c", "a*c"));
  EXPECT_FALSE(MatchesMaskPart("ABC", "abc"));
  EXPECT_FALSE(MatchesMaskPart("a?c", "abc"));
  EXPECT_FALSE(MatchesMaskPart("abc*", "ab"));
}

// ---------------------------------------------------------------------------------------------

TEST(TWStringTest, GrowsInStepsAndKeepsFiftySpare) {
  TWString s(0);
  EXPECT_EQ(s.Buffer, nullptr);
  s.Add(u"0123456789");
  EXPECT_EQ(s.Capacity, 32500);
  EXPECT_EQ(s.Length, 10);
  EXPECT_EQ(Wide(s.Buffer), u"0123456789");

  // Growth comes when Length + added + 50 reaches the capacity: 32,449 + 1 + 50 = 32,500.
  s.Clear();
  s.AddStr(WideString(32448, u'x'));
  s.Add(u"y");  // 32,448 + 1 + 50 = 32,499: still fits
  EXPECT_EQ(s.Capacity, 32500);
  s.Add(u"z");
  EXPECT_EQ(s.Capacity, 65000);
  EXPECT_EQ(s.Length, 32450);
  EXPECT_EQ(s.Buffer[32448], u'y');
  EXPECT_EQ(s.Buffer[32449], u'z');
  EXPECT_EQ(s.Buffer[32450], 0);

  s.Add(nullptr);
  EXPECT_EQ(s.Length, 32450);
}

TEST(TWStringTest, AddFromItsOwnBufferSurvivesGrowth) {
  TWString s(100);
  EXPECT_EQ(s.Capacity, 100);
  s.Add(u"abcdefghijklmnopqrstuvwxyz");
  s.Add(s.Buffer + 20);  // needs a new capacity, so the buffer moves
  EXPECT_EQ(Wide(s.Buffer), u"abcdefghijklmnopqrstuvwxyzuvwxyz");
  s.SetCapacity(10);  // shrinking keeps what fits, terminated
  EXPECT_EQ(s.Length, 9);
  EXPECT_EQ(Wide(s.Buffer), u"abcdefghi");
}
