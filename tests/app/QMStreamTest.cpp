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

// A unit goes out as a C string would: up to a #0 in its text, without the blanks, TABs and
// line ends it ends with, and with CR LF after it, in the file's encoding.
TEST(QMStream, LinesAsWrittenInEachEncoding) {
  struct Case {
    std::u16string target;
    std::u16string written;  // the unit's line after the header's
  };
  const std::u16string tail = u"20260105~143000\tANA\t1\tEN-GB\tOne\tDE-DE\t";
  const Case cases[] = {
      {u"Eins", tail + u"Eins"},
      {u"Eins \t \r\n ", tail + u"Eins"},
      {u"\u00E9\u0436 \U0001F600\xD800x", tail + u"\u00E9\u0436 \U0001F600\xD800x"},
      {u"", tail.substr(0, tail.size() - 1)},
      {std::u16string(u"cut\u0000here", 8), tail + u"cut"},
  };
  for (const TCodeChar code : {ccUtf8, ccUnicode, ccAnsi}) {
    for (const Case& c : cases) {
      TempDir dir;
      {
        TQMStream s(dir.WFile("out.txt"), code, fmCreate);
        ASSERT_TRUE(s.Opened());
        TTU tu(u"20260105~143000\tANA\t1\tEN-GB\tOne\tDE-DE\tx");
        tu.SetField(tfTarget, c.target);
        ASSERT_TRUE(s.Write(tu));
      }
      const std::string bytes = TempDir::Read(dir.File("out.txt"));
      std::string expected;
      const std::u16string line = c.written + u"\r\n";
      if (code == ccUtf8) {
        std::string utf8(line.size() * 3, '\0');
        utf8.resize(static_cast<size_t>(platform::EncodeUtf8(line, utf8.data(), platform::LoneSurrogate::Keep) - utf8.data()));
        expected = "\xEF\xBB\xBF" + utf8;
      } else if (code == ccUnicode) {
        expected = std::string("\xFF\xFE") + std::string(reinterpret_cast<const char*>(line.data()), line.size() * 2);
      } else {
        if (c.written.find_first_of(u"\u00E9\u0436\xD800") != std::u16string::npos) continue;  // not in the page
        for (const char16_t ch : line) expected += static_cast<char>(ch);
      }
      EXPECT_EQ(bytes, expected) << static_cast<int>(code) << " " << c.written.size();
    }
  }
}
