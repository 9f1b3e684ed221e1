// The text translation memory as a stream of units.
#include <gtest/gtest.h>

#include "app/core/TessalyUnit2.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"

using namespace tmfiles;

namespace {
std::u16string W(const std::string& s) { return platform::Utf8ToUtf16(s); }
}  // namespace

// Blank lines, junk and units with bad dates are skipped; only the first line can be the
// header: one further down is skipped, never a reason to start over.
TEST(QMStream, HeaderThenUnitsSkippingBadLines) {
  TempDir dir;
  TempDir::Write(dir.File("tm.txt"), TextTm({kTmHeader, "", "junk", TmUnit("One", "Eins"),
                                             "20260105-143000\tANA\t1\ten\tx\tfr\ty", kTmHeader, TmUnit("Two", "Zwei")}));
  TQMStream s(dir.WFile("tm.txt"), ccNone, fmOpenRead | fmShareDenyWrite);
  TTU tu;
  tu.IsHeader = true;
  EXPECT_GT(s.Read(tu), 0);
  EXPECT_TRUE(tu.IsHeader);
  EXPECT_EQ(tu.GetCount(), 2);
  std::vector<std::u16string> units;
  for (tu.Clear(); s.Read(tu) > 0;) units.push_back(tu.Field(tfSource));
  EXPECT_EQ(units, (std::vector<std::u16string>{u"One", u"Two"}));
}

// A header that cannot keep its length in place is refused, and the file left as it was; a unit
// is written without the empty fields at its end; a stream opened for reading writes nothing.
TEST(QMStream, WhatCannotBeWrittenAsItStands) {
  TempDir dir;
  TempDir::Write(dir.File("tm.txt"), TextTm({"%20260105~143000\t%User ID,AB\t%TU=00000002\t%EN-GB\t%x\t%DE-DE\t%y"}));
  const std::string before = TempDir::Read(dir.File("tm.txt"));
  {
    TQMStream s(dir.WFile("tm.txt"), ccNone, fmOpenReadWrite);
    TTU header;
    header.IsHeader = true;
    ASSERT_GT(s.Read(header), 0);
    header.SetUserID(u"a much longer user identifier than before");
    EXPECT_FALSE(s.Write(header));
    TTU unit(W(TmUnit("One", "Eins")) + u"\t\t\t");
    EXPECT_TRUE(s.Write(unit));
  }
  EXPECT_EQ(TempDir::Read(dir.File("tm.txt")), before + TmUnit("One", "Eins") + "\r\n");
  TQMStream s(dir.WFile("tm.txt"), ccNone, fmOpenRead | fmShareDenyWrite);
  TTU unit(W(TmUnit("Two", "Zwei")));
  EXPECT_FALSE(s.Write(unit));
}
