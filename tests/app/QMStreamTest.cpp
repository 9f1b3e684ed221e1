#include <gtest/gtest.h>

#include "app/core/TessalyUnit2.h"
#include "tests/support/TempDir.h"

namespace {
const std::string kHeader =
    "%20260105~143000\t%User ID,AB\t%TU=00000002\t%EN-US\t%Quillmar TM v.5.53/00\t%FR-FR\t%---79532885\t\t0123456789\t%" +
    std::string(20, ' ') + ".";
const std::string kUnit1 = "20260105~143000\tANA\t1\ten-US\tOne\tfr-FR\tUn";
const std::string kUnit2 = "20260106~143000\tANA\t2\ten-US\tTwo\tfr-FR\tDeux";

std::u16string W(const std::string& s) { return std::u16string(s.begin(), s.end()); }
}  // namespace

TEST(QMStream, HeaderThenUnitsSkippingBadLines) {
  TempDir dir;
  TempDir::Write(dir.File("tm.txt"), "\xEF\xBB\xBF" + kHeader + "\r\n\r\njunk\r\n" + kUnit1 +
                                         "\n20260105-143000\tANA\t1\ten\tx\tfr\ty\r\n" + kHeader + "\r\n" + kUnit2 + "\r\n");
  TQMStream s(dir.WFile("tm.txt"), ccUtf8, fmOpenRead | fmShareDenyWrite);
  ASSERT_TRUE(s.Opened());
  TTU tu;
  tu.IsHeader = true;
  EXPECT_GT(s.Read(tu), 0);
  EXPECT_TRUE(tu.IsHeader);
  EXPECT_EQ(tu.GetCount(), 2);
  tu.Clear();
  ASSERT_GT(s.Read(tu), 0);
  EXPECT_EQ(tu.Field(tfSource), u"One");
  // The header line in the middle is skipped, never a reason to start over.
  ASSERT_GT(s.Read(tu), 0);
  EXPECT_EQ(tu.Field(tfSource), u"Two");
  EXPECT_EQ(s.Read(tu), 0);
}

TEST(QMStream, HeaderlessFileDeliversItsFirstUnit) {
  TempDir dir;
  TempDir::Write(dir.File("tm.txt"), kUnit1 + "\r\n");
  TQMStream s(dir.WFile("tm.txt"), ccUtf8, fmOpenRead | fmShareDenyWrite);
  TTU tu;
  tu.IsHeader = true;
  EXPECT_GT(s.Read(tu), 0);
  EXPECT_FALSE(tu.IsHeader);
  EXPECT_EQ(tu.Field(tfTarget), u"Un");
}

TEST(QMStream, HeaderOnlyFile) {
  TempDir dir;
  TempDir::Write(dir.File("tm.txt"), kHeader + "\r\n");
  TQMStream s(dir.WFile("tm.txt"), ccUtf8, fmOpenRead | fmShareDenyWrite);
  TTU tu;
  tu.IsHeader = true;
  EXPECT_GT(s.Read(tu), 0);
  tu.IsHeader = false;
  EXPECT_EQ(s.Read(tu), 0);
  EXPECT_EQ(s.Seek(0, TSeekOrigin::FromEnd), s.GetSize());
}

TEST(QMStream, WritesUnitsWithoutTrailingEmptyFields) {
  TempDir dir;
  {
    TQMStream s(dir.WFile("out.txt"), ccUtf8, fmCreate);
    TTU tu(W(kUnit1) + u"\t\t\t");
    EXPECT_TRUE(s.Write(tu));
  }
  EXPECT_EQ(TempDir::Read(dir.File("out.txt")), "\xEF\xBB\xBF" + kUnit1 + "\r\n");
}

TEST(QMStream, HeaderRewrittenInPlaceKeepsTheFirstUnit) {
  TempDir dir;
  for (TCodeChar code : {ccUtf8, ccUnicode}) {
    std::string name = "rw" + std::to_string(CodeNumber(code)) + ".txt";
    {
      TQMStream s(dir.WFile(name), code, fmCreate);
      TTU header(W(kHeader));
      ASSERT_TRUE(s.Write(header));
      TTU unit(W(kUnit1));
      ASSERT_TRUE(s.Write(unit));
    }
    TQMStream s(dir.WFile(name), code, fmOpenReadWrite);
    TTU header;
    header.IsHeader = true;
    ASSERT_GT(s.Read(header), 0);
    header.SetCount(1);
    // Non-ASCII characters take more bytes than characters in UTF-8: the room is measured encoded.
    header.SetUserID(u"J\u00F6rg \u00C5ngstr\u00F6m");
    ASSERT_TRUE(s.Write(header));
    TTU unit;
    ASSERT_GT(s.Read(unit), 0);
    EXPECT_EQ(unit.Field(tfSource), u"One") << int(code);
    header.IsHeader = true;
    ASSERT_GT(s.Read(header), 0);
    EXPECT_EQ(header.GetUserID(), u"J\u00F6rg \u00C5ngstr\u00F6m");
    EXPECT_EQ(header.GetCount(), 1);
  }
}

TEST(QMStream, HeaderThatCannotKeepItsLengthIsRefused) {
  TempDir dir;
  const std::string shortHeader = "%20260105~143000\t%User ID,AB\t%TU=00000002\t%EN-US\t%x\t%FR-FR\t%y";
  TempDir::Write(dir.File("tm.txt"), shortHeader + "\n" + kUnit1 + "\n");
  const std::string before = TempDir::Read(dir.File("tm.txt"));
  TQMStream s(dir.WFile("tm.txt"), ccUtf8, fmOpenReadWrite);
  TTU header;
  header.IsHeader = true;
  ASSERT_GT(s.Read(header), 0);
  header.SetUserID(u"a much longer user identifier than before");
  EXPECT_FALSE(s.Write(header));
  EXPECT_EQ(TempDir::Read(dir.File("tm.txt")), before);
}

TEST(QMStream, MissingFileIsNotOpened) {
  TempDir dir;
  TQMStream s(dir.WFile("none.txt"), ccUtf8, fmOpenRead | fmShareDenyWrite);
  EXPECT_FALSE(s.Opened());
  TTU tu;
  EXPECT_EQ(s.Read(tu), 0);
  EXPECT_FALSE(s.Write(tu));
}
