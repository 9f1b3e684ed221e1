#include "unicode/UniSysUtils.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "tests/support/TempDir.h"

TEST(FileNames, PartsOfSlashPaths) {
  EXPECT_EQ(WideChangeFileExt(u"/dir.x/file", u".tmx"), u"/dir.x/file.tmx");  // the folder's "." is no extension
  EXPECT_EQ(WideChangeFileExt(u"tm.v2.txt", u".tmx"), u"tm.v2.tmx");
  EXPECT_EQ(WideChangeFileExt(u"/a/.hidden", u".tmx"), u"/a/.tmx");
  EXPECT_EQ(WideExtractFileExt(u"/dir.x/file"), u"");
  EXPECT_EQ(WideExtractFileExt(u"/dir/name."), u".");
  EXPECT_EQ(WideExtractFilePath(u"/home/ana/tm.txt"), u"/home/ana/");
  EXPECT_EQ(WideExtractFilePath(u"tm.txt"), u"");
  EXPECT_EQ(WideExtractFileName(u"/home/"), u"");
  EXPECT_EQ(WideExtractFileName(u"/x/a\\b.txt"), u"a\\b.txt");  // backslashes are ordinary characters
  EXPECT_EQ(WideLastDelimiter(u"./", u"/a.b/c"), 5);
  EXPECT_EQ(WideLastDelimiter(u"./", u"abc"), 0);
  EXPECT_TRUE(WideIsDelimiter(u",;", u"a,b", 2));
  EXPECT_FALSE(WideIsDelimiter(u",;", u"a,b", 4));
  EXPECT_FALSE(WideIsPathDelimiter(u"a\\b", 2));
  TempDir dir;
  TempDir::Write(dir.File("f.txt"), "x");
  EXPECT_TRUE(WideFileExists(dir.WFile("f.txt")));
  EXPECT_FALSE(WideFileExists(dir.WFile("g.txt")));
  EXPECT_FALSE(WideFileExists(dir.WFile("")));  // the folder itself
}

TEST(Files, ModesMapToAccessAndSharing) {
  EXPECT_EQ(FileModeAccess(fmOpenRead | fmShareDenyWrite), unsigned(platform::AccessRead));
  EXPECT_EQ(FileModeShare(fmOpenRead | fmShareDenyWrite), unsigned(platform::ShareRead));
  EXPECT_EQ(FileModeAccess(fmOpenReadWrite), unsigned(platform::AccessRead | platform::AccessWrite));
  EXPECT_EQ(FileModeShare(fmShareDenyNone), unsigned(platform::ShareRead | platform::ShareWrite));
  EXPECT_EQ(FileModeShare(fmShareExclusive), unsigned(platform::ShareNone));
  EXPECT_EQ(FileModeShare(fmShareDenyRead), unsigned(platform::ShareWrite));
}

TEST(Text, LineBreaksTokensAndWideMessages) {
  const std::u16string s = u"a\rb\nc\r\nd\u2028e\n\r";  // LF CR is two breaks
  EXPECT_EQ(WideAdjustLineBreaks(s, tlbsCRLF), u"a\r\nb\r\nc\r\nd\r\ne\r\n\r\n");
  EXPECT_EQ(WideAdjustLineBreaks(s, tlbsCR), u"a\rb\rc\rd\re\r\r");
  EXPECT_EQ(WideAdjustLineBreaksLength(s, tlbsLF), 11);
  const std::u16string tokens = u"ab;cd";
  PCWideChar p = tokens.c_str();
  std::u16string token;
  WideExtractToken(p, u';', token);
  WideExtractToken(p, u';', token);
  EXPECT_EQ(token, u"cd");
  EXPECT_EQ(*p, 0);
  EXPECT_EQ(WideSplitString(u"x,y,,z", u','), (std::vector<std::u16string>{u"x", u"y"}));  // to the empty part
  WideException e(WideFormat(u"Cannot open file \"%s\". %s", {u"/t/\u65E5\U0001F600.txt", u"Gone."}));
  EXPECT_EQ(e.WideMessage(), u"Cannot open file \"/t/\u65E5\U0001F600.txt\". Gone.");
  EXPECT_STREQ(e.what(), "Cannot open file \"/t/\xE6\x97\xA5\xF0\x9F\x98\x80.txt\". Gone.");
}

// A failed call (zero) raises the last error with its text; anything else passes through.
TEST(Win32Check, RaisesTheLastErrorForZero) {
  EXPECT_EQ(WideWin32Check(7), 7);
  EXPECT_TRUE(WideWin32Check(true));
  platform::SetLastErrorCode(ENOENT);
  try {
    WideWin32Check(false);
    FAIL() << "no exception";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, ENOENT);
    EXPECT_EQ(e.Message(), "System Error.  Code: 2.\nNo such file or directory.");
  }
  platform::SetLastErrorCode(0);
  EXPECT_THROW(
      try { WideWin32Check(0); } catch (const EOSError& e) {
        EXPECT_EQ(e.Message(), "A call to an OS function failed");
        throw;
      },
      EOSError);
}
