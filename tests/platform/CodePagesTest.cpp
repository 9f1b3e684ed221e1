#include "platform/core/CodePages.h"

#include <gtest/gtest.h>

#include "platform/core/Utf8.h"

using namespace platform;

TEST(CodePages, LocaleNamesMapAsWindowsDoes) {
  const std::pair<const char*, unsigned> cases[] = {
      {"ru_RU.UTF-8", 1251}, {"pl_PL", 1250},       {"cs", 1250},          {"hu_HU.UTF-8@euro", 1250},
      {"el_GR.UTF-8", 1253}, {"tr_TR", 1254},       {"ja_JP.eucJP", 932},  {"zh_CN.UTF-8", 936},
      {"zh_TW.UTF-8", 950},  {"ko_KR", 949},        {"de_DE.UTF-8", 1252}, {"C.UTF-8", 1252},
      {"POSIX", 1252},       {"", 1252}};
  for (const auto& [name, cp] : cases) EXPECT_EQ(CodePageForLocaleName(name), cp) << name;
  for (unsigned cp : {874u, 932u, 936u, 949u, 950u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u})
    EXPECT_TRUE(CodePageAvailable(cp)) << cp;
  EXPECT_FALSE(CodePageAvailable(4242));
}

// A language written in two alphabets takes the page of the script that its locale's modifier
// (or script subtag) names; a modifier that names no script changes nothing.
TEST(CodePages, LocaleScriptDecidesThePage) {
  const std::pair<const char*, unsigned> cases[] = {
      {"sr_RS.UTF-8@latin", 1250},  {"sr_RS@latin", 1250},        {"sr_RS", 1251},
      {"sr_RS@cyrillic", 1251},     {"sr_ME.UTF-8@latin", 1250},  {"sr@ijekavianlatin", 1250},
      {"sr@ijekavian", 1251},       {"sr-Latn-RS", 1250},         {"sr_Cyrl_RS", 1251},
      {"bs_BA.UTF-8", 1250},        {"bs_BA@cyrillic", 1251},     {"uz_UZ.UTF-8", 1254},
      {"uz_UZ.UTF-8@cyrillic", 1251}, {"uz-Cyrl", 1251},          {"az_AZ@cyrillic", 1251},
      {"be_BY.UTF-8", 1251},        {"be_BY@latin", 1250},        {"tt_RU.UTF-8", 1251},
      {"tt_RU@iqtelif", 1254},      {"ru_RU@latin", 1251},        {"de_DE@euro", 1252},
      {"ca_ES.UTF-8@valencia", 1252}, {"zh_Hant_TW", 950},        {"zh-Hant", 950},
      {"zh_Hans_CN", 936},          {"hu_HU@LATIN", 1250}};
  for (const auto& [name, cp] : cases) EXPECT_EQ(CodePageForLocaleName(name), cp) << name;
  // Windows' identifiers of the same locales agree.
  EXPECT_EQ(CodePageForLcid(0x081A), 1250u);  // sr-Latn-CS
  EXPECT_EQ(CodePageForLcid(0x0C1A), 1251u);  // sr-Cyrl-CS
  EXPECT_EQ(CodePageForLcid(0x0843), 1251u);  // uz-Cyrl-UZ
  EXPECT_EQ(CodePageForLcid(0x0443), 1254u);  // uz-Latn-UZ
}

TEST(CodePages, ConversionsBothWays) {
  // The five bytes that cp1252 leaves undefined come through as the C1 controls, as on Windows.
  const std::string bytes = "\x80\x81\x8d\x8f\x90\x9d\x9f\xe9";
  EXPECT_EQ(CodePageToUtf16(1252, bytes), u"\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00E9");
  EXPECT_EQ(Utf16ToCodePage(1252, CodePageToUtf16(1252, bytes)), bytes);
  bool lossy = false, ok = false;
  EXPECT_EQ(Utf16ToCodePage(1252, u"a\u0416b", &lossy), "a?b");  // unmappable: "?", and reported
  EXPECT_TRUE(lossy);
  EXPECT_EQ(Utf16ToCodePage(1251, u"a\u0416b", &lossy), "a\xc6" "b");
  EXPECT_FALSE(lossy);
  EXPECT_EQ(Utf16ToCodePage(1252, u"x\U0001F600y", &lossy), "x?y");  // a surrogate pair is one character
  const std::u16string text = u"\u65E5\u672C\u8A9E abc";
  const std::string sjis = Utf16ToCodePage(932, text, &lossy, &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(sjis.size(), 10u);
  EXPECT_EQ(CodePageToUtf16(932, sjis), text);
  EXPECT_EQ(CodePageToUtf16(932, sjis.substr(0, 1)).size(), 1u);  // a lead byte cut off is a replacement
  EXPECT_TRUE(CodePageToUtf16(4242, "abc", &ok).empty());
  EXPECT_FALSE(ok);
  EXPECT_TRUE(Utf16ToCodePage(4242, u"abc", nullptr, &ok).empty());
  EXPECT_FALSE(ok);
}

// The names files declare their encodings by, as Windows takes them.
TEST(CodePages, CharsetNames) {
  const std::pair<const char*, unsigned> cases[] = {
      {"Shift_JIS", 932},   {"x-sjis", 932},   {"windows-1251", 1251}, {"CP1250", 1250},   {"ISO-8859-2", 28592},
      {"iso_8859-5", 28595}, {"ISO8859-15", 28605}, {"ISO-8859-1", 28591}, {"latin1", 28591}, {"US-ASCII", 20127},
      {"GB2312", 936},      {"gbk", 936},      {"GB18030", 54936},     {"Big5", 950},      {"EUC-KR", 949},
      {"ks_c_5601-1987", 949}, {"EUC-JP", 51932}, {"ISO-2022-JP", 50220}, {"KOI8-R", 20866}, {"ibm866", 866},
      {"utf-8", 65001},     {"UTF8", 65001},   {"UTF-16", 1200},       {"utf-16be", 1201}, {"ISO-8859-12", 0},
      {"x-nonsense", 0},    {"windows-4242", 0}, {"", 0},              {"cp99999999999", 0}};
  for (const auto& [name, cp] : cases) EXPECT_EQ(CodePageOfCharset(name), cp) << name;
}

// A character cut by the end of a piece is completed by the next; at the last piece, what is
// left of one is a replacement.
TEST(CodePages, DecoderTakesPieces) {
  const std::u16string text = u"\u65E5\u672C a\u8A9E";
  const std::string sjis = Utf16ToCodePage(932, text);
  for (size_t cut = 0; cut <= sjis.size(); ++cut) {
    TCodePageDecoder decoder(932);
    ASSERT_TRUE(decoder.Ok());
    std::u16string out;
    decoder.Decode(std::string_view(sjis).substr(0, cut), out, false);
    decoder.Decode(std::string_view(sjis).substr(cut), out, true);
    EXPECT_EQ(out, text) << cut;
  }
  TCodePageDecoder decoder(932);
  std::u16string out;
  decoder.Decode(sjis.substr(0, 1), out, false);
  EXPECT_EQ(out, u"");
  decoder.Decode("", out, true);
  EXPECT_EQ(out, u"\uFFFD");
  EXPECT_FALSE(TCodePageDecoder(4242).Ok());
}

TEST(Utf8, FourByteFormsAndIllFormedInput) {
  const std::u16string w = u"a\u00E9\u20AC\U0001F600";
  EXPECT_EQ(Utf16ToUtf8(w), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(w)), w);
  const std::pair<std::string, std::u16string> broken[] = {
      {"a\xC3", u"a\uFFFD"},                               // cut sequence
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                       // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},             // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},   // above U+10FFFF
      {"\xE2\x82" "A", u"\uFFFD" "A"}};
  for (const auto& [in, out] : broken) EXPECT_EQ(Utf8ToUtf16(in), out);
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
}

// Runs of ASCII of every length up to two blocks of eight, each followed by one of the other
// forms, encode unit by unit as the forms say.
TEST(Utf8, EncoderRunsOfEveryLength) {
  auto one = [](char16_t c) -> std::string {
    if (c < 0x80) return std::string(1, static_cast<char>(c));
    if (c < 0x800) return {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    return {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
            static_cast<char>(0x80 | (c & 0x3F))};
  };
  const std::u16string tails[] = {u"", u"\u00E9", u"\u0439\u0446\u00E9", u"\u20AC", u"\U0001F600", u"\xD83D",
                                  u"\xDE00x", u"\x7F\x80"};
  for (size_t run = 0; run <= 17; ++run) {
    for (const std::u16string& tail : tails) {
      std::u16string text;
      for (size_t i = 0; i < run; ++i) text.push_back(static_cast<char16_t>(u'a' + i % 26));
      text += tail + u"z";
      std::string expected;
      for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
          expected += Utf16ToUtf8(text.substr(i, 2));
          ++i;
        } else {
          expected += one(text[i]);  // a lone surrogate keeps its own form
        }
      }
      std::string out(text.size() * 3, '\0');
      out.resize(static_cast<size_t>(EncodeUtf8(text, out.data(), LoneSurrogate::Keep) - out.data()));
      EXPECT_EQ(out, expected) << "run " << run;
    }
  }
}

// Text bound for a file loses its lone surrogates, in UTF-16 and in the three-byte forms that
// UTF-8 held in memory keeps them in; pairs stay, and forms of a pair side by side are joined.
TEST(Utf8, LoneSurrogatesReplacedForFiles) {
  const struct {
    std::u16string text;
    std::u16string expected;
    size_t replaced;
  } wide[] = {
      {u"", u"", 0},
      {u"plain \u00E9 \U0001F600", u"plain \u00E9 \U0001F600", 0},
      {u"a\xD800" u"b", u"a\uFFFD" u"b", 1},
      {u"\xDC00\xD800", u"\uFFFD\uFFFD", 2},                   // low before high: both alone
      {u"x\xD83D", u"x\uFFFD", 1},                             // high at the end
      {u"\xD83D\xDE00\xDE00", u"\U0001F600\uFFFD", 1},         // a pair, then a low alone
      {u"\xDBFF\xDFFF\xD800\xD800\xDC00", u"\U0010FFFF\uFFFD\U00010000", 1},
  };
  for (const auto& c : wide) {
    std::u16string text = c.text;
    EXPECT_EQ(ReplaceLoneSurrogates(text.data(), text.size()), c.replaced);
    EXPECT_EQ(text, c.expected);
    // The encoder replaces the same, and counts them.
    std::string out(c.text.size() * 3, '\0');
    size_t replaced = 0;
    out.resize(static_cast<size_t>(EncodeUtf8(c.text, out.data(), LoneSurrogate::Replace, &replaced) - out.data()));
    EXPECT_EQ(out, Utf16ToUtf8(c.expected));
    EXPECT_EQ(replaced, c.replaced);
  }
  const struct {
    std::string bytes;
    size_t from;
    std::string expected;
    size_t replaced;
  } utf8[] = {
      {"", 0, "", 0},
      {"caf\xC3\xA9 \xED\x9F\xBF \xF0\x9F\x98\x80", 0, "caf\xC3\xA9 \xED\x9F\xBF \xF0\x9F\x98\x80", 0},  // U+D7FF stays
      {"a\xED\xA0\x80" "b", 0, "a\xEF\xBF\xBD" "b", 1},
      {"\xED\xB0\x80\xED\xA0\x80", 0, "\xEF\xBF\xBD\xEF\xBF\xBD", 2},
      {"\xED\xA0\xBD\xED\xB8\x80!", 0, "\xF0\x9F\x98\x80!", 0},                  // the forms of a pair
      {"\xED\xA0\xBD\xED\xB8\x80\xED\xB8\x80 \xED\xA0\x80", 0, "\xF0\x9F\x98\x80\xEF\xBF\xBD \xEF\xBF\xBD", 2},
      {"\xED\xA0", 0, "\xED\xA0", 0},                                            // cut: no form
      {"\xED\xA0\x80 \xED\xA0\x80", 4, "\xED\xA0\x80 \xEF\xBF\xBD", 1},          // from on only
      {"x\xED\xA0\xBD\xED\xB8\x80y\xED\xA0\xBD\xED\xB8\x80z", 0, "x\xF0\x9F\x98\x80y\xF0\x9F\x98\x80z", 0},
  };
  for (const auto& c : utf8) {
    std::string bytes = c.bytes;
    EXPECT_EQ(ReplaceLoneSurrogatesUtf8(bytes, c.from), c.replaced) << c.bytes;
    EXPECT_EQ(bytes, c.expected) << c.bytes;
  }
}
