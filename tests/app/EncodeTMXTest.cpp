// The TMX writer over real text translation memories (TQMStream), checked against a document
// kept in tests/app/data and against the TMX 1.4 DTD.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "MirelconVersion.h"
#include "app/core/TessalyUnit2.h"
#include "base/MyPump.h"
#include "base/MySysUtils.h"
#include "base/MyWideStr.h"
#include "platform/core/CodePages.h"
#include "tests/support/AnsiCodePage.h"
#include "tests/support/StopPump.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"
#include "tests/support/TmxLint.h"
#include "tests/support/WorkGrowth.h"
#include "tm/MyEncodeTMX.h"

using namespace tmfiles;

namespace {

const std::string kData = MIRELCON_SOURCE_DIR "/tests/app/data/";

std::string Utf8(std::u16string_view s) { return platform::Utf16ToUtf8(s); }

struct Result {
  bool ok = false;
  int units = 0;
  std::string bytes;
  std::string file;
  std::string error;
};

// Converts the text TM held in tmBytes into the TMX file `file` of the folder.
Result Convert(const TempDir& dir, const std::string& tmBytes, TCodeChar encoding = ccUtf8,
               const std::function<void(TEncodeTMX&)>& prepare = nullptr) {
  TempDir::Write(dir.File("in.txt"), tmBytes);
  TQMStream s(dir.WFile("in.txt"), ccNone, fmOpenRead | fmShareDenyWrite);
  Result r;
  r.file = dir.File("out.tmx");
  TEncodeTMX c(&s);
  if (prepare) prepare(c);
  r.ok = c.Convert(dir.WFile("out.tmx"), encoding);
  r.units = c.UnitCount;
  r.error = Utf8(c.ErrorText());
  r.bytes = TempDir::Read(r.file);
  return r;
}

std::string ExpectedSample() {
  const std::string expected = Replace(TempDir::Read(kData + "sample-tm.tmx"), "@TOOL@", Utf8(GetExeNameW()));
  return Replace(expected, "@VERSION@", MIRELCON_VERSION_TEXT);
}

}  // namespace

// References to bytes of the ANSI code page are decoded through it: the tests fix it.
class EncodeTMX : public WithAnsiCodePage<1252> {};

// Line ends and the input's encoding change nothing in the document.
TEST_F(EncodeTMX, SampleTmMatchesTheKeptDocument) {
  const std::string tm = TempDir::Read(kData + "sample-tm.txt");
  ASSERT_GT(tm.size(), 3u);
  for (const std::string& input : {tm, Replace(tm, "\r\n", "\n"), "\xFE\xFF" + Utf16(tm.substr(3), true)}) {
    TempDir dir;
    const Result r = Convert(dir, input);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.units, 4);
    EXPECT_EQ(r.bytes, ExpectedSample());
    EXPECT_VALID_TMX(r.file);
  }
}

// The mark and the declaration follow the encoding (the program writes UTF-8 only; one other
// encoding stands for the rest); UTF-8 is written without a mark.
TEST_F(EncodeTMX, EncodingCodesChooseMarkAndDeclaration) {
  const std::string tm = TempDir::Read(kData + "sample-tm.txt"), utf8Decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  TempDir dir;
  EXPECT_EQ(Convert(dir, tm, ccUtf8).bytes.substr(0, utf8Decl.size() + 2), utf8Decl + "\r\n");
  const Result r = Convert(dir, tm, ccUnicode);
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.bytes == "\xFF\xFE" + Utf16(Replace(ExpectedSample(), utf8Decl, "<?xml version=\"1.0\" encoding=\"UTF-16\"?>")));
  EXPECT_VALID_TMX(r.file);
}

// Without a header the first unit gives the header its languages, date and user, and is
// written like every other unit.
TEST_F(EncodeTMX, HeaderlessTmTakesItsHeaderFromTheFirstUnit) {
  TempDir dir;
  const Result r = Convert(dir, TextTm({"20250301~081500\tFIRST&U\t2\tde-DE\tEins\tit-IT\tUno\tred", TmUnit("Two", "Due")}));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.units, 2);
  for (const char* line : {"\t srclang=\"de-DE\"\r\n", "\t adminlang=\"de-DE\"\r\n",
                           "\t creationdate=\"20250301T081500Z\"\r\n", "\t creationid=\"FIRST&amp;U\"\r\n",
                           // A unit's attributes are no attribute names: they keep the generic types.
                           "<prop type=\"Attr1\">red</prop>", "<tuv xml:lang=\"it-IT\">"})
    EXPECT_NE(r.bytes.find(line), std::string::npos) << line;
  EXPECT_EQ(SegsOf(r.bytes), (std::vector<std::string>{"Eins", "Uno", "Two", "Due"}));
  EXPECT_VALID_TMX(r.file);
}

TEST_F(EncodeTMX, SegmentTextIsEscapedAndItsCodesExpanded) {
  const std::string ansi80 = Utf8(std::u16string(1, AnsiCodeToUnicode(0x80)));
  struct Case {
    std::string text, seg;
  };
  const Case cases[] = {
      {"a < b & c", "a &lt; b &amp; c"},
      {"\"q\" 'a' >", "&quot;q&quot; &apos;a&apos; &gt;"},
      // Adjacent placeholders form one element, also across a reference that disappears.
      {"&tA;&tB;", "<ph>&amp;tA;&amp;tB;</ph>"},
      {"x&tA;&#0;&sB;y &pC;", "x<ph>&amp;tA;&amp;sB;</ph>y <ph>&amp;pC;</ph>"},
      {"x&tA;&#9;&sB;", "x<ph>&amp;tA;</ph>&#9;<ph>&amp;sB;</ph>"},
      {"&t={\\b\\;x};", "<ph>{\\b;x}</ph>"},
      {"&t=<a href=\"u\">;", "<ph>&lt;a href=&quot;u&quot;&gt;</ph>"},
      {"&tAB;&pa;&j;&s1;", "&amp;tAB;&amp;pa;&amp;j;&amp;s1;"},
      // A reference to 0 vanishes; TAB, LF and CR stay, as references; 7 becomes a blank; 60 is
      // escaped; the character after a removed reference is looked at like any other.
      {"x&#0;y&#9;z&#7;w&#60;v&#10;&#13;&'9;&'A;&'D;", "xy&#9;z w&lt;v&#10;&#13;&#9;&#10;&#13;"},
      {"&#0;<", "&lt;"},
      {"&#38;lt;", "&amp;lt;"},
      {"&'41;&#65;&#x42;&'80;", "AAB" + ansi80},
      {"&#233;&#x20AC;", "\xC3\xA9\xE2\x82\xAC"},
      // Beyond the 16-bit range: one character, written as its pair.
      {"&#x1F600;&#128512;&'1F600;", "\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80"},
      // No character of XML can come out of a reference.
      {"[&#xD800;][&#xDFFF;][&#x110000;][&#99999999999999;][&#xFFFE;]", "[ ][ ][ ][ ][ ]"},
      // Not references: the "&" is the text's own.
      {"&#;&#x;&';&#X41;&", "&amp;#;&amp;#x;&amp;&apos;;&amp;#X41;&amp;"},
      {"&t=abc", "&amp;t=abc"},
      {"&t", "&amp;t"},
      // Without its ";" a reference ends with its digits.
      {"&#65x &#66", "Ax B"},
  };
  std::vector<std::string> lines{kTmHeader};
  for (const Case& c : cases) lines.push_back(TmUnit(c.text, "t"));
  TempDir dir;
  const Result r = Convert(dir, TextTm(lines));
  ASSERT_TRUE(r.ok);
  const auto segs = SegsOf(r.bytes);
  ASSERT_EQ(segs.size(), 2 * std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(segs[2 * i], cases[i].seg) << cases[i].text;
  EXPECT_VALID_TMX(r.file);
}

// Control characters other than TAB, LF and CR cannot stand in an XML 1.0 document, in text or
// in attributes.
TEST_F(EncodeTMX, ControlCharactersBecomeBlanks) {
  TempDir dir;
  const std::string header =
      Replace(Replace(kTmHeader, "User ID,T", "User ID,A\x01" "B"), "\t\t0SAMPLE001", "\tx\x1Fy\t0SAMPLE001");
  const Result r = Convert(dir, TextTm({header, "20260106~093000\tU\x1B" "V\t1\ten-GB\ta\x02" "b\x0B\tde-DE\tc\x7F" "d\tp\x03q"}));
  ASSERT_TRUE(r.ok);
  for (const char* part : {"creationid=\"A B\"", "creationid=\"U V\"", "<prop type=\"x y\">p q</prop>", "<seg>a b </seg>",
                           "<seg>c\x7F" "d</seg>"})
    EXPECT_NE(r.bytes.find(part), std::string::npos) << part;
  for (char c : r.bytes) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' && c != '\n');
  EXPECT_VALID_TMX(r.file);
}

// No unit is cut, however long, and long runs of placeholders stay one element, while each open
// form keeps an element of its own. Codes that
// never end, or whose ends are far away, cost no more than their own length: a search that went
// to the end of the segment is not repeated for every later "&".
TEST_F(EncodeTMX, LongSegmentsAreWrittenWholeInLinearTime) {
  // The segments at a size: n unended openers and as many short forms, three quarters of n
  // placeholders, half of n escaped forms, a run of 3n characters.
  auto segments = [](int n) {
    std::string manyTags, unended, escaped, shortT;
    for (int i = 0; i < n * 3 / 4; ++i) manyTags += i % 2 ? "&tB;" : "&tA;";
    for (int i = 0; i < n; ++i) unended += "&t=", shortT += "&tx";
    for (int i = 0; i < n / 2; ++i) escaped += "&t=\\;;";
    return TextTm({kTmHeader, TmUnit(std::string(static_cast<size_t>(n) * 3, 'x') + "&tA;", manyTags),
                   TmUnit(unended, escaped), TmUnit(shortT, "t")});
  };
  std::string manyTags, unended, escaped, shortT;
  for (int i = 0; i < 50000; ++i) manyTags += i % 2 ? "&tB;" : "&tA;";
  for (int i = 0; i < 66000; ++i) unended += "&t=", shortT += "&tx";
  for (int i = 0; i < 33000; ++i) escaped += "&t=\\;;";
  TempDir dir;
  const Result r = Convert(dir, TextTm({kTmHeader, TmUnit(std::string(199996, 'x') + "&tA;", manyTags),
                                        TmUnit(unended, escaped), TmUnit(shortT, "t")}));
  ASSERT_TRUE(r.ok);
  const auto segs = SegsOf(r.bytes);
  ASSERT_EQ(segs.size(), 6u);
  EXPECT_EQ(segs[0], std::string(199996, 'x') + "<ph>&amp;tA;</ph>");
  EXPECT_EQ(segs[1].size(), std::string("<ph></ph>").size() + 50000 * 8);
  EXPECT_EQ(segs[1].find("</ph><ph>"), std::string::npos);
  EXPECT_EQ(segs[2], Replace(unended, "&", "&amp;"));
  EXPECT_EQ(segs[3], Replace(std::string(33000, ';'), ";", "<ph>;</ph>"));
  EXPECT_EQ(segs[4], Replace(shortT, "&", "&amp;"));
  // The work grows with the segments, up to the sizes above; a search per "&" grows with their
  // square.
  const std::string small = segments(8250), large = segments(66000);
  EXPECT_TRUE(workgrowth::GrowsLinearly(
      [&](int n) { EXPECT_TRUE(Convert(dir, n == 66000 ? large : small).ok); }, 8250, 66000));
  EXPECT_VALID_TMX(r.file);
}

// Events are pumped by the clock, not after every unit, and Stop reaches the job through them:
// a slow job is pumped within its first units, stops there, and still closes its document.
TEST_F(EncodeTMX, PumpsEventsByTheClock) {
  std::vector<std::string> lines{kTmHeader};
  for (int i = 0; i < 3000; ++i) lines.push_back(TmUnit("u" + std::to_string(i), "t"));
  StopPump<TEncodeTMX> pump;
  SetMessagePump(&pump);
  TempDir dir;
  const auto start = std::chrono::steady_clock::now();
  Result r = Convert(dir, TextTm(lines));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.units, 3000);
  EXPECT_LE(pump.pumped, ms / 50 + 1);

  pump.pumped = 0;
  r = Convert(dir, TextTm(lines), ccUtf8, [&pump](TEncodeTMX& c) {
    pump.job = &c;
    c.SetProgressEvent([](int) { std::this_thread::sleep_for(std::chrono::milliseconds(10)); });
  });
  SetMessagePump(nullptr);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(pump.pumped, 1);
  EXPECT_GE(r.units, 3);
  EXPECT_LT(r.units, 100);
  EXPECT_EQ(SegsOf(r.bytes).size(), 2u * static_cast<size_t>(r.units));
  EXPECT_VALID_TMX(r.file);
}

// A disk that fills up makes the conversion fail; the file size limit stands in for it.
TEST_F(EncodeTMX, WriteFailureIsReported) {
  TempDir dir;
  std::vector<std::string> lines{kTmHeader};
  for (int i = 0; i < 500; ++i) lines.push_back(TmUnit("unit " + std::to_string(i), "t"));
  TempDir::Write(dir.File("in.txt"), TextTm(lines));
  EXPECT_TRUE(WithFileSizeLimit(8192, [&] {
    TQMStream s(dir.WFile("in.txt"), ccNone, fmOpenRead | fmShareDenyWrite);
    TEncodeTMX c(&s);
    return !c.Convert(dir.WFile("out.tmx"), ccUtf8) &&
           Utf8(c.ErrorText()) == "Cannot write file \"" + dir.File("out.tmx") + "\". File too large.";
  }));
}

namespace {

// A text TM read through a stream that keeps its segments in the fields.
class TFieldsOnly : public TTUStream {
public:
  explicit TFieldsOnly(TTUStream& inner) : Inner(inner) {}
  int64_t Read(TTU& tu) override { return Inner.Read(tu); }
  bool Write(TTU& tu) override { return Inner.Write(tu); }
  int64_t GetSize() override { return Inner.GetSize(); }
  int64_t GetPosition() override { return Inner.GetPosition(); }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override { return Inner.Seek(offset, origin); }
  bool SegmentsAreText() const override { return true; }
  TTUStream& Inner;
};

}  // namespace

// Segments that a UTF-8 text TM gives as they stand in the file are written as those decoded
// first: codes, references, characters that XML cannot hold, bytes that are no UTF-8.
TEST_F(EncodeTMX, SegmentsKeptInUtf8AreWrittenAsDecodedOnes) {
  const std::string tokens[] = {"a", " ", "\xD0\xBF", "&", "<", ">", "\"", "'", "&tA;", "&tB;", "&pC;", "&t\xD0\xB9;",
                                "&t\xF0\x9F\x98\x80;", "&t=<b>;", "&t={\\b\\;x};", "&t=x", "&#38;", "&#x1F600;", "&#xD800;",
                                "&#0;", "&#9;", "&'92;", "&'A0;", "&#65", "\x01", "\x7F", "\xC2\xA0", "\xEF\xBF\xBE",
                                "\xED\xA0\x80", "\xED\xA0\xBD\xED\xB8\x80", "\xFF", "\xC0\xAF", "\xE2\x82", "\\", ";"};
  uint64_t state = 3;
  auto next = [&] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<unsigned>(state >> 33);
  };
  std::vector<std::string> lines{kTmHeader};
  for (int i = 0; i < 800; ++i) {
    std::string seg[2];
    for (std::string& s : seg)
      for (unsigned k = 1 + next() % 8; k > 0; --k) s += tokens[next() % std::size(tokens)];
    lines.push_back(TmUnit(seg[0], seg[1]));
  }
  TempDir dir;
  const Result kept = Convert(dir, TextTm(lines));
  ASSERT_TRUE(kept.ok);
  TQMStream s(dir.WFile("in.txt"), ccNone, fmOpenRead | fmShareDenyWrite);
  TFieldsOnly fields(s);
  TEncodeTMX c(&fields);
  ASSERT_TRUE(c.Convert(dir.WFile("decoded.tmx"), ccUtf8));
  EXPECT_EQ(kept.units, 800);
  EXPECT_TRUE(kept.bytes == TempDir::Read(dir.File("decoded.tmx")));
}
