#include "platform/core/CodePages.h"

#include <gtest/gtest.h>

#include "platform/core/Utf8.h"

using namespace platform;

TEST(CodePages, LocaleNamesMapAsWindowsDoes) {
  EXPECT_EQ(CodePageForLocaleName("ru_RU.UTF-8"), 1251u);
  EXPECT_EQ(CodePageForLocaleName("pl_PL"), 1250u);
  EXPECT_EQ(CodePageForLocaleName("cs"), 1250u);
  EXPECT_EQ(CodePageForLocaleName("hu_HU.UTF-8@euro"), 1250u);
  EXPECT_EQ(CodePageForLocaleName("el_GR.UTF-8"), 1253u);
  EXPECT_EQ(CodePageForLocaleName("tr_TR"), 1254u);
  EXPECT_EQ(CodePageForLocaleName("ja_JP.eucJP"), 932u);
  EXPECT_EQ(CodePageForLocaleName("zh_CN.UTF-8"), 936u);
  EXPECT_EQ(CodePageForLocaleName("zh_TW.UTF-8"), 950u);
  EXPECT_EQ(CodePageForLocaleName("ko_KR"), 949u);
  EXPECT_EQ(CodePageForLocaleName("de_DE.UTF-8"), 1252u);
  EXPECT_EQ(CodePageForLocaleName("C.UTF-8"), 1252u);
  EXPECT_EQ(CodePageForLocaleName("POSIX"), 1252u);
  EXPECT_EQ(CodePageForLocaleName(""), 1252u);
}

TEST(CodePages, EveryDerivableCodePageConverts) {
  for (unsigned cp : {874u, 932u, 936u, 949u, 950u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u})
    EXPECT_TRUE(CodePageAvailable(cp)) << cp;
  EXPECT_FALSE(CodePageAvailable(4242));
}

TEST(CodePages, Cp1252HighRangeAndUndefinedBytes) {
  std::string bytes = "\x80\x81\x8d\x8f\x90\x9d\x9f\xe9";
  std::u16string w = CodePageToUtf16(1252, bytes);
  // The five bytes that cp1252 leaves undefined come through as the C1 controls, as on Windows.
  EXPECT_EQ(w, u"\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00E9");
  EXPECT_EQ(Utf16ToCodePage(1252, w), bytes);
}

TEST(CodePages, UnmappableBecomesQuestionMarkAndIsReported) {
  bool lossy = false;
  EXPECT_EQ(Utf16ToCodePage(1252, u"a\u0416b", &lossy), "a?b");
  EXPECT_TRUE(lossy);
  EXPECT_EQ(Utf16ToCodePage(1251, u"a\u0416b", &lossy), "a\xc6" "b");
  EXPECT_FALSE(lossy);
  // A surrogate pair is one character, and one "?".
  EXPECT_EQ(Utf16ToCodePage(1252, u"x\U0001F600y", &lossy), "x?y");
}

TEST(CodePages, DoubleByteCodePagesRoundTrip) {
  std::u16string text = u"\u65E5\u672C\u8A9E abc";
  bool ok = false, lossy = true;
  std::string sjis = Utf16ToCodePage(932, text, &lossy, &ok);
  EXPECT_TRUE(ok);
  EXPECT_FALSE(lossy);
  EXPECT_EQ(sjis.size(), 10u);
  EXPECT_EQ(CodePageToUtf16(932, sjis), text);
  // A lead byte cut off at the end decodes to a replacement, never to nothing.
  std::u16string cut = CodePageToUtf16(932, sjis.substr(0, 1));
  EXPECT_EQ(cut.size(), 1u);
}

TEST(CodePages, UnknownCodePageSaysSo) {
  bool ok = true;
  EXPECT_TRUE(CodePageToUtf16(4242, "abc", &ok).empty());
  EXPECT_FALSE(ok);
  EXPECT_TRUE(Utf16ToCodePage(4242, u"abc", nullptr, &ok).empty());
  EXPECT_FALSE(ok);
}

TEST(CodePages, AnsiCodePageCanBeSetForTheProcess) {
  unsigned saved = AnsiCodePage();
  SetAnsiCodePage(1251);
  EXPECT_EQ(AnsiCodePage(), 1251u);
  SetAnsiCodePage(saved);
}

TEST(Utf8, FourByteFormsAndSurrogatePairs) {
  std::u16string w = u"a\u00E9\u20AC\U0001F600";
  std::string u = Utf16ToUtf8(w);
  EXPECT_EQ(u, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToUtf16(u), w);
}

TEST(Utf8, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");             // cut sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");      // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82" "A"), u"\uFFFD" "A");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
}
