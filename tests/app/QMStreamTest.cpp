// The text translation memory as a stream of units.
#include <gtest/gtest.h>

#include "app/core/TessalyUnit2.h"
#include "platform/core/CodePages.h"
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

// A unit goes out without the blanks, TABs and line ends it ends with, and with CR LF after it,
// in the file's encoding. A surrogate without its partner is no text of a well-formed file: it
// goes out as U+FFFD ("?" in ANSI), pairs as they are; a #0, which would end the line for its
// readers, goes out as its escape "&'0;", the text after it kept. The stream counts such a line
// among those it repaired.
TEST(QMStream, LinesAsWrittenInEachEncoding) {
  struct Case {
    std::u16string target;
    std::u16string written;  // the unit's line after the header's
    int repaired;
  };
  const std::u16string tail = u"20260105~143000\tANA\t1\tEN-GB\tOne\tDE-DE\t";
  const Case cases[] = {
      {u"Eins", tail + u"Eins", 0},
      {u"Eins \t \r\n ", tail + u"Eins", 0},
      {u"\u00E9\u0436 \U0001F600\xD800x", tail + u"\u00E9\u0436 \U0001F600\uFFFDx", 1},
      {u"\xDE00\xD83D\xDE00\xD83D", tail + u"\uFFFD\U0001F600\uFFFD", 1},
      {u"", tail.substr(0, tail.size() - 1), 0},
      {std::u16string(u"cut\u0000here", 8), tail + u"cut&'0;here", 1},
      {std::u16string(u"\u0000a\u0000\u0000", 4), tail + u"&'0;a&'0;&'0;", 1},
  };
  for (const TCodeChar code : {ccUtf8, ccUnicode, ccBigEndian, ccAnsi}) {
    for (const Case& c : cases) {
      TempDir dir;
      int repaired = -1;
      {
        TQMStream s(dir.WFile("out.txt"), code, fmCreate);
        ASSERT_TRUE(s.Opened());
        TTU tu(u"20260105~143000\tANA\t1\tEN-GB\tOne\tDE-DE\tx");
        tu.SetField(tfTarget, c.target);
        ASSERT_TRUE(s.Write(tu));
        repaired = s.RepairedLines();
      }
      const std::string bytes = TempDir::Read(dir.File("out.txt"));
      std::string expected;
      const std::u16string line = c.written + u"\r\n";
      if (code == ccUtf8) {
        expected = "\xEF\xBB\xBF" + platform::Utf16ToUtf8(line);
      } else if (code == ccUnicode || code == ccBigEndian) {
        expected = (code == ccUnicode ? "\xFF\xFE" : "\xFE\xFF") + tmfiles::Utf16(line, code == ccBigEndian);
      } else {
        // What the page lacks is its "?", the lone surrogate too.
        expected = platform::Utf16ToCodePage(platform::AnsiCodePage(), line);
      }
      EXPECT_EQ(bytes, expected) << static_cast<int>(code) << " " << c.written.size();
      EXPECT_EQ(repaired, c.repaired) << static_cast<int>(code) << " " << c.written.size();
    }
  }
}
