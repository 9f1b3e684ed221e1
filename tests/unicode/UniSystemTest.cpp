#include "unicode/UniSystem.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/core/CodePages.h"

TEST(Utf7, ExamplesOfTheStandard) {
  EXPECT_EQ(WideToUTF7(u"A+B"), "A+-B");
  EXPECT_EQ(WideToUTF7(u"\u00E9"), "+AOk");  // no "-" at the end of the input
  EXPECT_EQ(WideToUTF7(u"Hi Mom -\u263A-!"), "Hi Mom -+Jjo--+ACE");
  EXPECT_EQ(WideToUTF7(u"\u65E5\u672C\u8A9E"), "+ZeVnLIqe");
  EXPECT_EQ(UTF7ToWide("A+-B"), u"A+B");
  EXPECT_EQ(UTF7ToWide("+AOk"), u"\u00E9");
  EXPECT_EQ(UTF7ToWide("Hi Mom -+Jjo--!"), u"Hi Mom -\u263A-!");
  EXPECT_EQ(UTF7ToWide("+ZeVnLIqe-"), u"\u65E5\u672C\u8A9E");
}

TEST(Utf7, RunEndsOnlyWithADashWhereTheNextCharacterNeedsIt) {
  // A blank cannot continue a base64 run, so no "-" is written before it.
  EXPECT_EQ(WideToUTF7(u"\u00E9 x"), "+AOk x");
  // A letter could, so the run is closed explicitly.
  EXPECT_EQ(WideToUTF7(u"\u00E9x"), "+AOk-x");
  // Optional-direct characters are encoded, not written directly.
  EXPECT_EQ(WideToUTF7(u"!"), "+ACE");
}

TEST(Utf7, RoundTripsAnyUtf16) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::u16string s;
    int len = rng() % 40;
    for (int i = 0; i < len; ++i) {
      switch (rng() % 4) {
        case 0: s += static_cast<char16_t>(32 + rng() % 95); break;
        case 1: s += static_cast<char16_t>(rng() % 0x10000); break;
        case 2: s += u"+-"[rng() % 2]; break;
        default: s += u"\r\n\t "[rng() % 4]; break;
      }
    }
    std::string u7 = WideToUTF7(s);
    for (unsigned char c : u7) ASSERT_LT(c, 128) << "UTF-7 is 7-bit";
    ASSERT_EQ(UTF7ToWide(u7), s) << u7;
  }
}

TEST(Utf7, IllFormedInputIsRejected) {
  EXPECT_THROW(UTF7ToWide("a+!"), EUniGeneralError);     // "+" followed by neither base64 nor "-"
  EXPECT_THROW(UTF7ToWide("+AOl-"), EUniGeneralError);   // leftover bits not zero
  EXPECT_THROW(UTF7ToWide("caf\xE9"), EUniGeneralError);  // 8-bit byte
  EXPECT_THROW(UTF7ToWide("+"), EUniGeneralError);
  try {
    UTF7ToWide("+!");
  } catch (const EUniGeneralError& e) {
    EXPECT_STREQ(e.what(), "Invalid UTF7");
  }
}

TEST(Conversions, EmptyStaysEmptyInEveryDirection) {
  for (unsigned cp : {CP_UTF7, CP_UTF8, 1252u, 932u}) {
    EXPECT_EQ(AnsiToWideCP("", cp), u"") << cp;
    EXPECT_EQ(WideToAnsiCP(u"", cp), "") << cp;
  }
}

TEST(Conversions, CodePageNumbersChooseTheCoder) {
  EXPECT_EQ(AnsiToWideCP("\xC3\xA9", CP_UTF8), u"\u00E9");
  EXPECT_EQ(AnsiToWideCP("+AOk-", CP_UTF7), u"\u00E9");
  EXPECT_EQ(AnsiToWideCP("\xE9", 1252), u"\u00E9");
  EXPECT_EQ(AnsiToWideCP("\xE9", 1251), u"\u0439");
  EXPECT_EQ(WideToAnsiCP(u"\u00E9", CP_UTF8), "\xC3\xA9");
  EXPECT_EQ(WideToAnsiCP(u"\u00E9", CP_UTF7), "+AOk");
  EXPECT_EQ(WideToAnsiCP(u"\u20AC", 1252), "\x80");
}

TEST(Conversions, Utf8HandlesFourByteFormsBothWays) {
  std::u16string w = u"\U0001F600 \U00010348";
  std::string u = WideToUTF8(w);
  EXPECT_EQ(u, "\xF0\x9F\x98\x80 \xF0\x90\x8D\x88");
  EXPECT_EQ(UTF8ToWide(u), w);
}

TEST(Keyboard, CharactersConvertThroughTheProcessCodePage) {
  EXPECT_EQ(KeyCharToWide(0x100), 0x100);
  EXPECT_EQ(KeyCharToWide(0x4E2D), 0x4E2D);
  EXPECT_EQ(KeyCharToWide('A'), u'A');
  EXPECT_EQ(KeyboardLayoutCodePage(), SystemCodePage());
}

TEST(ByteOrder, SwapStopsAtTheTerminator) {
  char16_t text[] = {0x0041, 0x20AC, 0, 0x1234};
  SwapWideByteOrder(text);
  EXPECT_EQ(text[0], 0x4100);
  EXPECT_EQ(text[1], 0xAC20);
  EXPECT_EQ(text[3], 0x1234);
  SwapWideByteOrder(nullptr);
}
