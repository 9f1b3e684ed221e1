#include <gtest/gtest.h>

#include "htmlview/text/HtmlBuffer.h"
#include "platform/core/MemoryStream.h"

using namespace htmlview;

namespace {

std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

std::u16string ReadAll(TBuffer& b) {
  std::u16string out;
  for (char16_t c; (c = b.NextChar()) != 0;) out += c;
  return out;
}

struct TDecodeCase {
  const char* what;
  std::string bytes;
  int codePage;  // set after detection; 0: leave
  std::u16string text;
};

// The bytes read whole as the text, and then the end.
void ExpectDecodes(const TDecodeCase& c) {
  TBuffer b(Bytes(c.bytes), u"t");
  if (c.codePage) b.SetCodePage(c.codePage);
  EXPECT_EQ(ReadAll(b), c.text) << c.what;
  EXPECT_EQ(b.NextChar(), 0) << c.what;
}

TEST(CharSets, NamesFindTheirEntries) {
  struct Case {
    std::u16string name;
    const char16_t* entry;  // nullptr: none
    int charSet, codePage;
  } cases[] = {
      {u"ISO-8859-15", u"8859-15", 0, 28605}, {u"iso-8859-1", u"8859-1", 0, 1252},
      {u"x-mac-roman", nullptr, 0, 0},        {u"koi8-r", u"koi", 204, 20866},
      {u"KOI8-U", u"koi8-u", 204, 21866},     {u"EUC-JP", u"euc-jp", 128, 51932},
      {u"windows-1251", u"1251", 204, 1251},  {u"utf-8", u"utf-8", 1, CP_UTF8},
      {u"8859-2", u"8859-2", 31, 28592},      {u"default", u"default", 1, 0},
  };
  for (const Case& c : cases) {
    const TBuffCharSetCodePageInfo* info = FindCharSetInfo(c.name);
    if (!c.entry) {
      EXPECT_EQ(info, nullptr);
      continue;
    }
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->Name, c.entry);
    EXPECT_EQ(info->CharSet, c.charSet);
    EXPECT_EQ(info->CodePage, c.codePage);
  }
}

TEST(CharSets, TableBothWaysAndErrors) {
  EXPECT_EQ(CharSetToCodePage(31), 28592);
  EXPECT_EQ(CharSetToCodePage(255), 1);
  EXPECT_EQ(CodePageToCharSet(1251), 204);
  for (auto [cp, cs] : {std::pair{20866, 204}, {28593, 162}, {28594, 186}, {28597, 161}, {28605, 0}, {51932, 128}})
    EXPECT_EQ(CodePageToCharSet(cp), cs) << cp;
  try {
    CharSetToCodePage(30);
    FAIL();
  } catch (const EConversionError& e) {
    EXPECT_STREQ(e.what(), "Don't know equivalent code page for char set 30.");
  }
  EXPECT_THROW(CodePageToCharSet(12345), EConversionError);
  EXPECT_EQ(PosFrom(u"b", u"abab", 3), 4);
  EXPECT_EQ(PosFrom(u"x", u"abab", 1), 0);
}

TEST(Buffer, DecodesByMarkPageAndCharset) {
  const TDecodeCase cases[] = {
      {"empty", "", 0, u""},
      {"utf-8 mark", "\xEF\xBB\xBF\xE2\x82\xAC", 0, u"\u20AC"},
      {"EF BB alone", "\xEF\xBB", 1252, u"\u00EF\u00BB"},
      {"utf-16le mark", std::string("\xFF\xFE\x41\x00\xAC\x20", 6), 0, u"A\u20AC"},
      {"utf-16be mark", std::string("\xFE\xFF\x00\x41\x20\xAC", 6), 0, u"A\u20AC"},
      {"utf-16 odd byte", std::string("\xFF\xFE\x41\x00\x42", 5), 0, u"A\uFFFD"},
      {"utf-16 zero unit", std::string("\xFF\xFE\x00\x00\x42\x00", 6), 0, u"\uFFFDB"},
      {"utf-8 1-4 bytes", "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", CP_UTF8, u"A\u00E9\u20AC\U0001F600"},
      {"utf-8 bad continuation", "\xC3\x41", CP_UTF8, u"\uFFFDA"},
      {"utf-8 bad lead", "\x80\xFE" "a", CP_UTF8, u"\uFFFD\uFFFDa"},
      {"utf-8 overlong", "\xC0\xAF\xE0\x80\xAF", CP_UTF8, u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"utf-8 surrogate", "\xED\xA0\x80" "b", CP_UTF8, u"\uFFFD\uFFFD\uFFFDb"},
      {"utf-8 above 10FFFF", "\xF4\x90\x80\x80", CP_UTF8, u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"utf-8 truncated", "\xE2\x82", CP_UTF8, u"\uFFFD"},
      {"utf-8 zero inside", std::string("a\0b", 3), CP_UTF8, u"a\uFFFDb"},
      {"shift-jis", "\x82\xA0\xB1\x82\x0A", 932, u"\u3042\uFF71\uFFFD\n"},
      {"gbk", "\xC4\xE3" "x", 936, u"\u4F60x"},
      {"big5 bad trail", "\xA4\x40\xA4\x0A", 950, u"\u4E00\uFFFD\n"},
      {"euc-jp", "\xA4\xA2\x8E\xB1" "a", 51932, u"\u3042\uFF71a"},
      {"koi8-r", "\xC1\xC2", 20866, u"\u0430\u0431"},
      {"8859-15", "\xA4", 28605, u"\u20AC"},
      {"johab high bytes", "a\x88\x61", 1361, u"a\uFFFDa"},
      {"iso-2022-jp", "a\x1B$B$\"\x1B(Bb", 0, u"a\u3042b"},
  };
  for (const TDecodeCase& c : cases) ExpectDecodes(c);
}

// ASCII bytes read straight through; everything around them still goes through the page's
// decoder: lead and trail bytes of ASCII value, the second half of a pair, escapes, wide units.
TEST(Buffer, AsciiRunsBetweenOtherCharacters) {
  const TDecodeCase cases[] = {
      {"1252 around the euro", "ab\x80" "cd\x93" "e", 1252, u"ab\u20ACcd\u201Ce"},
      {"shift-jis ASCII trail", "x\x83\x41y\x81\x5C" "z", 932, u"x\u30A2y\u2015z"},
      {"big5 ASCII trail", "a\xA4\x40" "b", 950, u"a\u4E00b"},
      {"gbk ASCII trail", "\x81\x40" "ab", 936, u"\u4E02ab"},
      {"euc-jp three bytes", "a\x8F\xB0\xA1" "b", 51932, u"a\u4E02b"},
      {"utf-8 pair then ASCII", "\xF0\x9F\x98\x80z\xC3\xA9!", CP_UTF8, u"\U0001F600z\u00E9!"},
      {"zero between ASCII", std::string("a\0b\0", 4), 1252, u"a\uFFFDb\uFFFD"},
      {"utf-16 named, bytes read", "ab\xE9", CP_UTF16LE, u"ab\u00E9"},
      {"jis two-byte mode", "a\x1B$B%\"%$\x1B(Bb", 0, u"a\u30A2\u30A4b"},
      {"utf-16le mark", std::string("\xFF\xFE" "a\0b\0\x3D\xD8\x00\xDE" "c\0", 12), 0, u"ab\U0001F600c"},
  };
  for (const TDecodeCase& c : cases) ExpectDecodes(c);
  // A page named part-way applies from there on.
  TBuffer b(Bytes("\xE9" "a\xC3\xA9" "b"), u"t");
  b.SetCodePage(1252);
  EXPECT_EQ(b.NextChar(), u'\u00E9');
  EXPECT_EQ(b.NextChar(), u'a');
  b.SetCodePage(CP_UTF8);
  EXPECT_EQ(ReadAll(b), u"\u00E9b");
}

// Whether a '<' may be followed by one of some characters: told from the bytes only where
// nothing but an ASCII byte reads as an ASCII character; anywhere else it may.
TEST(Buffer, TellsFromTheBytesWhatMayFollowALessThan) {
  struct Case {
    const char* what;
    std::string bytes;
    int codePage;
    bool may;
  } cases[] = {
      {"plain markup", "<p class=x>a</p><b>b</b>", 1252, false},
      {"a link", "<p>x<a href=y>", 1252, true},
      {"upper case", "<A HREF=y>", 1252, true},
      {"a comment", "x<!-- -->", 1252, true},
      {"a server block", "<%x%>", 1252, true},
      {"after another '<'", "<<a", 1252, true},
      {"'<' last", "text<", 1252, false},
      {"no '<' at all", "just text", 1252, false},
      {"high bytes around", "\xE9<p>\x81<b>", 1252, false},
      {"utf-8", "<p>\xC3\xA9<b>\xF0\x9F\x98\x80", CP_UTF8, false},
      {"utf-8 link", "\xC3\xA9<a>", CP_UTF8, true},
      {"ebcdic reads high bytes as letters", "<p>", 37, true},
      {"shift-jis", "<p>", 932, true},
      {"utf-16", "<\0p\0", CP_UTF16LE, true},
  };
  for (const Case& c : cases) {
    TBuffer b(Bytes(c.bytes), u"t");
    b.SetCodePage(c.codePage);
    EXPECT_EQ(b.MayHaveAfterLessThan("aA!%"), c.may) << c.what;
  }
  // Only what is still to be read counts.
  TBuffer b(Bytes("<a>x<p>"), u"t");
  b.SetCodePage(1252);
  b.SetPosition(3);
  EXPECT_FALSE(b.MayHaveAfterLessThan("aA!%"));
  TBuffer jis(Bytes("\x1B$B$\"\x1B(B<p>"), u"j");
  EXPECT_TRUE(jis.MayHaveAfterLessThan("aA!%"));
}

TEST(Buffer, DetectionSettlesThePage) {
  TBuffer empty(std::vector<uint8_t>{}, u"e");
  EXPECT_EQ(empty.CharSet, 1);
  EXPECT_EQ(empty.CodePage, 0);
  EXPECT_FALSE(empty.Settled());

  TBuffer jis(Bytes("\x1B$@x\x1B(J"), u"j");
  EXPECT_EQ(jis.CodePage, CP_ISO2022JP);
  EXPECT_EQ(jis.CharSet, 128);
  jis.SetCodePage(1252);
  EXPECT_EQ(jis.CodePage, CP_ISO2022JP);

  TBuffer wide = TBuffer::FromString(u"h\u00E9", u"w");
  wide.SetCodePage(1252);
  EXPECT_EQ(wide.CodePage, CP_UTF16LE);
  EXPECT_EQ(wide.CharSet, 0xFFFF);
  EXPECT_EQ(ReadAll(wide), u"h\u00E9");

  TMemoryStream stream;
  stream.Write("\xEF\xBB\xBFok", 5);
  stream.SetPosition(0);
  TBuffer fromStream(stream, u"s");
  EXPECT_EQ(fromStream.Position(), 3);
  EXPECT_EQ(fromStream.GetString(3, 5), u"ok");
}

TEST(Buffer, PeekGetStringAndPositionKeepTheState) {
  // Peeks across a JIS escape and inside a surrogate pair.
  TBuffer jis(Bytes("\x1B$B$\"$$\x1B(Ba"), u"j");
  for (char16_t want : {u'\u3042', u'\u3044', u'a'}) {
    EXPECT_EQ(jis.PeekChar(), want);
    EXPECT_EQ(jis.NextChar(), want);
  }
  TBuffer utf8(Bytes("\xEF\xBB\xBF\xF0\x9F\x98\x80z"), u"u");
  EXPECT_EQ(utf8.NextChar(), 0xD83D);
  EXPECT_EQ(utf8.PeekChar(), 0xDE00);
  EXPECT_EQ(utf8.GetString(3, 7), u"\U0001F600");
  utf8.SetPosition(utf8.Position());
  EXPECT_EQ(utf8.NextChar(), 0xDE00);
  EXPECT_EQ(utf8.NextChar(), u'z');
  utf8.SetPosition(3);
  EXPECT_EQ(utf8.NextChar(), 0xD83D);
  utf8.SetPosition(3);  // elsewhere: the owed half goes
  EXPECT_EQ(utf8.NextChar(), 0xD83D);
  EXPECT_EQ(utf8.GetString(5, 5), u"");
}

}  // namespace
