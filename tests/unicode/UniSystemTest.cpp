#include "unicode/UniSystem.h"

#include <gtest/gtest.h>

#include "platform/core/CodePages.h"

TEST(Utf7, ExamplesOfTheStandardAndWhereARunEnds) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"Hi Mom -\u263A-!", "Hi Mom -+Jjo--+ACE"},  // optional-direct characters are encoded
      {u"A+\u65E5\u672C\u8A9E x\u00E9x\u00E9", "A+-+ZeVnLIqe x+AOk-x+AOk"},  // "-" only where a run needs it
  };
  for (const auto& [wide, utf7] : cases) {
    EXPECT_EQ(WideToUTF7(wide), utf7);
    EXPECT_EQ(UTF7ToWide(utf7), wide);
  }
  EXPECT_EQ(UTF7ToWide("+ZeVnLIqe-"), u"\u65E5\u672C\u8A9E");
  for (const char* bad : {"a+!", "+AOl-", "caf\xE9", "+"}) EXPECT_THROW(UTF7ToWide(bad), EUniGeneralError) << bad;
}

TEST(Conversions, CodePageNumbersChooseTheCoder) {
  for (unsigned cp : {CP_UTF7, CP_UTF8, 1252u, 932u}) {
    EXPECT_EQ(AnsiToWideCP("", cp), u"") << cp;
    EXPECT_EQ(WideToAnsiCP(u"", cp), "") << cp;
  }
  EXPECT_EQ(AnsiToWideCP("\xC3\xA9", CP_UTF8), u"\u00E9");
  EXPECT_EQ(AnsiToWideCP("+AOk-", CP_UTF7), u"\u00E9");
  EXPECT_EQ(AnsiToWideCP("\xE9", 1251), u"\u0439");
  EXPECT_EQ(WideToAnsiCP(u"\u00E9", CP_UTF8), "\xC3\xA9");
  EXPECT_EQ(WideToAnsiCP(u"\u20AC", 1252), "\x80");
  EXPECT_EQ(WideToUTF8(u"\U0001F600 \U00010348"), "\xF0\x9F\x98\x80 \xF0\x90\x8D\x88");
  EXPECT_EQ(UTF8ToWide("\xF0\x9F\x98\x80 \xF0\x90\x8D\x88"), u"\U0001F600 \U00010348");
  EXPECT_EQ(KeyCharToWide(0x4E2D), 0x4E2D);
  EXPECT_EQ(KeyCharToWide('A'), u'A');
  EXPECT_EQ(KeyboardLayoutCodePage(), SystemCodePage());
  char16_t text[] = {0x0041, 0x20AC, 0, 0x1234};
  SwapWideByteOrder(text);  // stops at the terminator
  EXPECT_EQ(text[1], 0xAC20);
  EXPECT_EQ(text[3], 0x1234);
  SwapWideByteOrder(nullptr);
}

// Each locale identifier gives its own ANSI code page, whatever the process's is.
TEST(CodePages, LocaleIdentifiersGiveTheirCodePage) {
  const std::pair<uint32_t, unsigned> cases[] = {
      {0x419, 1251}, {0x422, 1251}, {0x402, 1251}, {0x415, 1250}, {0x405, 1250}, {0x40E, 1250}, {0x408, 1253},
      {0x41F, 1254}, {0x40D, 1255}, {0x401, 1256}, {0x429, 1256}, {0x425, 1257}, {0x426, 1257}, {0x42A, 1258},
      {0x41E, 874},  {0x411, 932},  {0x804, 936},  {0x404, 950},  {0xC04, 950},  {0x412, 949},  {0x409, 1252},
      {0x407, 1252}, {0x40C, 1252}, {0x81A, 1250}, {0xC1A, 1251}, {0x42C, 1254}, {0x82C, 1251},
  };
  for (const auto& [lcid, cp] : cases) EXPECT_EQ(LocaleCodePage(lcid), cp) << std::hex << lcid;
  for (uint32_t lcid : {0u, 0x400u, 0x800u, 0xFFFFu}) EXPECT_EQ(LocaleCodePage(lcid), SystemCodePage()) << lcid;
}
