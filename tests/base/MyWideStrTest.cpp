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

WideString Wide(const WideChar* p) { return WideString(p); }

WideString Swapped(WideString w) {
  for (auto& c : w) c = SwapWideChar(c);
  return w;
}

// ConvertText into a buffer of exactly the room the caller contract promises suffices for
// each source unit, so that the sanitizer catches any write past it.
template <class Out, class In>
Out Conv(uint8_t from, uint8_t to, const In& s, size_t bytesPerUnit) {
  using Unit = typename Out::value_type;
  std::vector<Unit> out((s.size() * bytesPerUnit + sizeof(Unit)) / sizeof(Unit));
  return Out(out.data(), ConvertText(from, to, out.data(), s.c_str()));
}
WideString BytesToWide(uint8_t from, uint8_t to, const std::string& s) { return Conv<WideString>(from, to, s, 2); }
std::string WideToBytes(uint8_t from, uint8_t to, const WideString& w, size_t perUnit) {
  return Conv<std::string>(from, to, w, perUnit);
}
std::string BytesToBytes(uint8_t from, uint8_t to, const std::string& s, size_t perByte) {
  return Conv<std::string>(from, to, s, perByte);
}

const WideString kEmoji = u"a\U0001F600b";          // U+1F600 as a surrogate pair
const std::string kEmojiUtf8 = "a\xF0\x9F\x98\x80" "b";

}  // namespace

// One check of each routine's contract.
TEST(WStrPrimitives, BufferRoutines) {
  EXPECT_EQ(WStrComp(nullptr, u"a"), -u'a');
  EXPECT_GT(WStrComp(u"\uFFFF", u"a"), 0);  // unsigned code units
  const unsigned char x[] = {1, 2, 200}, y[] = {1, 2, 100};
  EXPECT_EQ(CompareBytes(x, y, 3), 100);
  EXPECT_TRUE(WStrLen(nullptr) == 0 && !WStrNotEmpty(u"") && !StrNotEmpty(nullptr));
  auto b = Buf(32, u"abcdef");
  WStrCopy(b.get() + 2, b.get());  // overlapping
  EXPECT_EQ(Wide(b.get()), u"ababcdef");
  EXPECT_EQ(WStrECopy(b.get(), u"xy"), b.get() + 2);
  WStrLCopy(b.get(), u"abcdef", 2);
  WStrLCat(b.get(), u"cdef", 2);  // the count appended, not a total bound
  WCharAppend(b.get(), u'!');
  WStrPrepend(b.get(), b.get() + 3);  // text taken from the buffer itself
  EXPECT_EQ(Wide(b.get()), u"d!abcd!");
  WStrCopy(b.get(), u"  a b\t\t");
  WStrTrimRightSet(b.get(), u"\t");
  WStrTrimLeft(b.get());
  WStrMakeElement(b.get(), u"prop", b.get());  // the text may be dest's own
  WStrEncloseTag(b.get(), u"seg");
  EXPECT_EQ(Wide(b.get()), u"<seg><prop>a b</prop></seg>");
  EXPECT_TRUE(WStrDigitsLen(u"0123") == 4 && WStrDigitsLen(u"12a") == 0 && WStrCountDigits(u"a1b22") == 3);
  EXPECT_TRUE(TrimLeftBlanksW(u"   ") == u" " && TrimLeftBlanksW(u"  ab ") == u"ab ");
  EXPECT_TRUE(PadWStr(u"7", 3, u'0', false) == u"007" && PadWStr(u"abcde", 3, u'.', true) == u"abcde");
  EXPECT_TRUE(RightStrA("abcdef", 2) == "ef" && RightStrW(u"ab", 5) == u"ab" && UpCaseW(u'\u00E9') == u'\u00E9');
  const WideChar* table[] = {u".txt", u".tmx", u".csv"};
  EXPECT_TRUE(WideIndexStr(u".tmx", table, 2) == 1 && WideIndexStr(u".csv", table, 1) == -1);  // high is searched last
}

TEST(WStrPrimitives, Scans) {
  const WideChar* s = u"a,b;c,d";
  EXPECT_TRUE(WStrScan(s, 0) == s + 7 && WStrRScan(s, u',') == s + 5 && WStrScanSet(s, u";x") == s + 3);
  EXPECT_TRUE(WStrPos(s, u"c,d") == s + 4 && WStrPos(s, u"") == nullptr && WCharInStr(s, u'z') == 0);
  const WideChar gap[] = {u'a', 0, u'b', 0};
  EXPECT_EQ(WStrLScan(gap, u'b', 3), gap + 2);     // the #0 does not stop it
  EXPECT_EQ(WStrScanSetN(gap, u"b", 3), nullptr);  // this one stops at the #0
  const char bytes[] = "ab\0cd";
  EXPECT_EQ(ByteScanN(bytes, 'c', 5), bytes + 3);
  auto b = Buf(16, u"a\r\nb");
  TWStrSplitPart part{};
  WStrSplitLine(b.get(), 0, part);  // CR, and the LF after it
  EXPECT_TRUE(Wide(part.Start) == u"a" && Wide(part.Next) == u"b");
  const WideChar* p = u"a\t";
  WideChar* token = WStrFetchToken(p, u'\t');
  EXPECT_TRUE(Wide(token) == u"a" && Wide(p) == u"");
  WStrDispose(token);
  token = WStrFetchToken(p, u'\t');  // the last field: no separator after it
  EXPECT_TRUE(Wide(token) == u"" && p == nullptr);
  WStrDispose(token);
}

TEST(WStrManaged, CapacityHeaderAndGrowth) {
  WideChar* p = WStrAlloc(10);
  WStrCopy(p, u"0123456789");
  WStrReAlloc(p, 5);  // never shrinks
  WStrReAlloc(p, 5000);
  EXPECT_TRUE(WStrBufSize(p) == 5000 && Wide(p) == u"0123456789");
  p = WStrReNew(p, p + 8);  // the source may be the old buffer's own text
  EXPECT_TRUE(Wide(p) == u"89" && WStrBufSize(p) == 3);
  WStrDispose(p);
  EXPECT_EQ(p, nullptr);
  WideChar* e = WStrEmpty;
  WStrReAlloc(e, 20);  // the empty constant is replaced, not grown
  EXPECT_TRUE(e != WStrEmpty && WStrBufSize(e) == 20 && WStrNew(nullptr, 1) == nullptr);
  WStrDispose(e);
}

TEST(NumberTexts, BasesExtremesAndParsing) {
  EXPECT_TRUE(IntToStrBase(INT_MIN, 16) == "-80000000" && IntToStrBase(INT_MAX, 36) == "ZIK0ZJ");
  EXPECT_TRUE(IntToStrBase(5, 1).empty() && IntToStrBase(5, 37).empty());  // no such base: nothing, not a hang
  EXPECT_EQ(Int64ToStrBase(10, INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(Int64ToStrBase(36, INT64_MIN), "-1Y2P0IJ32E8E8");
  EXPECT_EQ(Int64ToStrBase(2, INT64_MIN), "-1" + std::string(63, '0'));
  EXPECT_TRUE(IntToHexShort(-255) == "-FF" && IntToWideStr(INT_MIN) == u"-2147483648");
  EXPECT_EQ(Int64ToWideStr(INT64_MIN), u"-9223372036854775808");
  EXPECT_EQ(Int64ToWideStr(0), u"0");
  EXPECT_EQ(WStrToInt(u"-12x"), -12);
  EXPECT_TRUE(WStrToInt(u"-") == 0 && WStrToInt(nullptr) == 0);
  EXPECT_EQ(WStrToInt(u"-2147483648"), INT_MIN);
  EXPECT_TRUE(StrToIntBaseW(u"Zz", 36) == 35 * 36 + 35 && StrToIntBaseW(u"1012", 2) == 5);  // to the first non-digit
  EXPECT_TRUE(HexToIntW(u"-7fFFffFF") == -INT_MAX && Wide(BoolToYesNo(false)) == u"No");
}

TEST(Utf8, EncodesAndDecodesEveryForm) {
  EXPECT_EQ(WideToBytes(2, 4, u"A\u00E9\u20AC", 3), "A\xC3\xA9\xE2\x82\xAC");
  // Lone surrogates keep their three-byte forms, in either order.
  EXPECT_EQ(WideToBytes(2, 4, u"\xDE00\xD83D", 3), "\xED\xB8\x80\xED\xA0\xBD");
  EXPECT_EQ(BytesToWide(4, 2, "a\xED\xA0\xBD\xED\xB8\x80" "b"), kEmoji);  // a pair as two three-byte forms
  EXPECT_EQ(BytesToWide(4, 2, "\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
  // The emoji through every UTF-8 and UTF-16 conversion.
  EXPECT_EQ(WideToBytes(2, 4, kEmoji, 3), kEmojiUtf8);
  EXPECT_EQ(WideToBytes(3, 4, Swapped(kEmoji), 3), kEmojiUtf8);
  EXPECT_EQ(BytesToWide(4, 2, kEmojiUtf8), kEmoji);
  EXPECT_EQ(BytesToWide(4, 3, kEmojiUtf8), Swapped(kEmoji));
  auto out = Buf(kEmoji.size() + 1);
  EXPECT_EQ(ConvertText(2, 3, out.get(), kEmoji.c_str()), 4);
  EXPECT_EQ(Wide(out.get()), Swapped(kEmoji));
  EXPECT_EQ(BytesToBytes(4, 4, kEmojiUtf8, 1), kEmojiUtf8);
  WideChar w[4];
  EXPECT_EQ(Utf8ToWide("\xC3\xA9", w, true), 1);
  EXPECT_EQ(w[0], SwapWideChar(u'\u00E9'));
  char u8[4];
  EXPECT_EQ(WideToUtf8(w, u8, true), 2);
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
  for (const auto& c : cases) EXPECT_EQ(BytesToWide(4, 2, c.in), c.out) << c.in;
}

TEST(AnsiConversions, ThroughTheCodePageBothWays) {
  {
    CodePageScope cp(1252);
    const std::string bytes = "\x80\x85\x8A\x91\x92\x93\x99\x9F";
    const WideString text = u"\u20AC\u2026\u0160\u2018\u2019\u201C\u2122\u0178";
    EXPECT_EQ(BytesToWide(1, 2, bytes), text);
    EXPECT_EQ(BytesToWide(1, 3, bytes), Swapped(text));
    EXPECT_EQ(WideToBytes(2, 1, text, 2), bytes);
    EXPECT_EQ(WideToBytes(3, 1, Swapped(text), 2), bytes);
    // ANSI <-> UTF-8 through the code page, not as Latin-1; unmappable characters become "?".
    EXPECT_EQ(BytesToBytes(1, 4, "\x80", 3), "\xE2\x82\xAC");
    EXPECT_EQ(BytesToBytes(4, 1, "\xE2\x82\xAC\xC3\xA9\xD0\x96", 1), "\x80\xE9?");
    EXPECT_EQ(WideToBytes(2, 1, u"a\u0416b" + kEmoji, 2), "a?ba?b");
    EXPECT_EQ(AnsiCodeToUnicode(0x9C), 0x0153);
    EXPECT_EQ(AnsiCodeToUnicode(0x0180), 0x0180);  // only the low byte matches a table entry
    auto out = Buf(8);
    WStrPCopyAnsi(out.get(), "\x80x");
    EXPECT_EQ(Wide(out.get()), u"\u20ACx");
  }
  {
    CodePageScope cp(1251);
    EXPECT_EQ(BytesToBytes(1, 4, "\xCF\x80", 3), "\xD0\x9F\xD0\x82");
    EXPECT_EQ(AnsiCodeToUnicode(0x80), 0x0402);
  }
  {
    CodePageScope cp(932);
    const WideString text = u"\u65E5\u672C\u8A9E \uFF71 abc";
    const std::string bytes = WideToBytes(2, 1, text, 2);
    EXPECT_EQ(bytes.substr(0, 2), "\x93\xFA");
    EXPECT_EQ(BytesToWide(1, 2, bytes), text);
    EXPECT_EQ(BytesToBytes(4, 1, BytesToBytes(1, 4, bytes, 3), 1), bytes);
    EXPECT_EQ(AnsiCodeToUnicode(0x93), 0x93);  // lead bytes are no characters by themselves
  }
}

TEST(ConvertInPlace, BytesToUtf16FitOneWideCharPerByte) {
  // The buffer is exactly (bytes + 1) WideChars; the sanitizer build checks every write.
  const std::string u8 = "x\xC3\xA9" + kEmojiUtf8;
  auto b = Buf(u8.size() + 1);
  std::memcpy(b.get(), u8.c_str(), u8.size() + 1);
  EXPECT_EQ(ConvertTextInPlace(4, 2, b.get()), 6);
  EXPECT_EQ(Wide(b.get()), u"x\u00E9" + kEmoji);
  EXPECT_EQ(ConvertTextInPlace(9, 2, b.get()), 0);  // unknown code: untouched
}

TEST(ConvertText, LongTextsConvertWhole) {
  CodePageScope cp(1252);
  std::string ansi;
  WideString wide;
  for (size_t i = 0; i < 150000; ++i) {
    ansi += i % 7 ? static_cast<char>('a' + i % 26) : '\x80';
    wide += i % 7 ? static_cast<WideChar>(u'a' + i % 26) : u'\u20AC';
  }
  EXPECT_EQ(BytesToWide(1, 2, ansi), wide);
  EXPECT_EQ(WideToBytes(2, 1, wide, 2), ansi);
  EXPECT_EQ(BytesToWide(4, 2, BytesToBytes(1, 4, ansi, 3)), wide);
}

TEST(MatchesMaskPart, OneStarAtEitherEnd) {
  const struct {
    const char *mask, *name;
    bool matches;
  } cases[] = {{"*", "", true},          {"abc*", "abcdef", true}, {"*.txt", "a.txt", true}, {"*.txt", "txt", false},
               {"a*c", "abc", false},    {"a*c", "a*c", true},     {"ABC", "abc", false},     {"a?c", "abc", false},
               {"abc*", "ab", false}};
  for (const auto& c : cases) EXPECT_EQ(MatchesMaskPart(c.mask, c.name), c.matches) << c.mask << " " << c.name;
}

TEST(TWStringTest, GrowsInStepsAndKeepsFiftySpare) {
  TWString s(0);
  EXPECT_EQ(s.Buffer, nullptr);
  // Growth comes when Length + added + 50 reaches the capacity: 32,449 + 1 + 50 = 32,500.
  s.AddStr(WideString(32448, u'x'));
  EXPECT_EQ(s.Capacity, 32500);
  s.Add(u"y");  // 32,448 + 1 + 50 = 32,499: still fits
  EXPECT_EQ(s.Capacity, 32500);
  s.Add(u"z");
  EXPECT_EQ(s.Capacity, 65000);
  EXPECT_EQ(s.Length, 32450);
  EXPECT_EQ(Wide(s.Buffer + 32447), u"xyz");
  s.Add(nullptr);
  EXPECT_EQ(s.Length, 32450);

  TWString t(100);
  t.Add(u"abcdefghijklmnopqrstuvwxyz");
  t.Add(t.Buffer + 20);  // needs a new capacity, so the buffer moves
  EXPECT_EQ(Wide(t.Buffer), u"abcdefghijklmnopqrstuvwxyzuvwxyz");
  t.SetCapacity(10);  // shrinking keeps what fits, terminated
  EXPECT_EQ(Wide(t.Buffer), u"abcdefghi");
}

// Text bound for an ANSI code page is composed first; a mark left without a mapping is
// dropped, any other character without one becomes "?".
TEST(MyWideStr, TextToAnsiIsComposedFirst) {
  struct Case {
    unsigned cp;
    std::u16string text;
    std::string ansi;
  };
  const Case cases[] = {
      {1252, u"e\u0301t\u00E9", "\xE9t\xE9"},
      {1252, u"A\u030Angstr\u00F6m", "\xC5ngstr\xF6m"},
      {1252, u"x\u0301y", "xy"},              // no such letter: the accent goes
      {1252, u"\u0301a", "a"},                // a mark with nothing before it too
      {1252, u"a\u20DD\u0416", "a??"},        // an enclosing mark and a letter are replaced
      {1251, u"\u0418\u0306\u0435\u0308", "\xC9\xB8"},
      {1250, u"z\u030C\u00E9", "\x9E\xE9"},
  };
  for (const Case& c : cases) {
    CodePageScope scope(c.cp);
    char out[64];
    EXPECT_EQ(ConvertText(2, 1, out, c.text.c_str()), static_cast<int>(c.ansi.size()));
    EXPECT_EQ(std::string(out), c.ansi) << c.cp;
    std::u16string swapped = c.text;
    for (auto& ch : swapped) ch = SwapWideChar(ch);
    ConvertText(3, 1, out, swapped.c_str());
    EXPECT_EQ(std::string(out), c.ansi) << c.cp;
    std::string utf8(64, '\0');
    utf8.resize(static_cast<size_t>(WideToUtf8(c.text.c_str(), utf8.data(), false)));
    ConvertText(4, 1, out, utf8.c_str());
    EXPECT_EQ(std::string(out), c.ansi) << c.cp;
  }
}
