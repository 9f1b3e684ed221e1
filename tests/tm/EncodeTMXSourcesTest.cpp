// The TMX writer over unit streams other than a text TM file: an SDLTM-like source whose
// segments are TMX markup, and a stream that offers its header again further down.
#include <gtest/gtest.h>

#include "platform/core/Utf8.h"
#include "tests/support/LineStream.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmxLint.h"
#include "tm/MyEncodeTMX.h"
#include "tm/TUStream.h"

namespace {

const std::u16string kHeader =
    u"%20260105~143000\t%User ID,AB\t%TU=00000002\t%EN-US\t%Quillmar TM v.5.53/00\t%DE-DE\t%---79532885\t\t0123456789";

}  // namespace

// Segment markup from the SDLTM decoder goes out as it is, but never with characters that XML
// cannot hold; the header names the database instead of carrying the style sheet.
TEST(EncodeTMXSources, SdltmSourceWritesItsMarkupAsItStands) {
  const std::u16string markup = u"<bpt i=\"1\">&lt;b&gt;</bpt>Hi &amp; bye<ept i=\"1\">&lt;/b&gt;</ept>";
  TLineStream s({kHeader, u"20260106~093000\tANA\t1\ten-US\t" + markup + u"\x01" + u"\tde-DE\tHallo\xD800!"}, false);
  TempDir dir;
  TEncodeTMX c(&s);
  EXPECT_FALSE(c.IsTextSource);
  ASSERT_TRUE(c.Convert(dir.WFile("Q&A memory.tmx"), ccUtf8));
  EXPECT_EQ(c.UnitCount, 1);
  const std::string d = TempDir::Read(dir.File("Q&A memory.tmx"));
  EXPECT_NE(d.find("\t o-tmf=\"SDL TM8 Format\"\r\n\t datatype=\"xml\"\r\n"), std::string::npos);
  EXPECT_NE(d.find(">\r\n<prop type=\"x-Recognizers\">RecognizeAll</prop>\r\n<prop type=\"x-TMName\">Q&amp;A "
                   "memory.sdltm</prop>\r\n</header>\r\n\r\n<body>\r\n"),
            std::string::npos);
  EXPECT_EQ(d.find("RTFStyleSheet"), std::string::npos);
  EXPECT_NE(d.find("<seg>" + platform::Utf16ToUtf8(markup) + " </seg>"), std::string::npos);
  // The surrogate without its partner stood for a character: U+FFFD, and the unit is told.
  EXPECT_NE(d.find("<seg>Hallo\xEF\xBF\xBD!</seg>"), std::string::npos);
  EXPECT_EQ(c.RepairedUnits, 1);
  EXPECT_NE(d.find("<tuv xml:lang=\"DE-DE\">"), std::string::npos);
  EXPECT_VALID_TMX(dir.File("Q&A memory.tmx"));
}

// After the header, the unit read into must not ask for the header again (the stream would
// start over), and a header met further down is no unit.
TEST(EncodeTMXSources, HeaderOfferedAgainIsSkippedWithoutRewinding) {
  TLineStream s({kHeader, u"20260106~093000\tANA\t1\ten-US\tOne\tde-DE\tEins", kHeader,
                 u"20260106~093000\tANA\t1\ten-US\tTwo\tde-DE\tZwei"},
                true);
  TempDir dir;
  TEncodeTMX c(&s);
  ASSERT_TRUE(c.Convert(dir.WFile("out.tmx"), ccUtf8));
  EXPECT_EQ(c.UnitCount, 2);
  EXPECT_EQ(s.Reads, 5u);
  const std::string d = TempDir::Read(dir.File("out.tmx"));
  EXPECT_NE(d.find("<seg>Zwei</seg>"), std::string::npos);
  EXPECT_EQ(c.Position, 4);
  EXPECT_VALID_TMX(dir.File("out.tmx"));
}
