// The TMX writer over real text translation memories (TQMStream), checked against a document
// kept in tests/app/data and against the TMX 1.4 DTD.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "MirelconVersion.h"
#include "app/core/TessalyUnit2.h"
#include "base/MyPump.h"
#include "base/MySysUtils.h"
#include "base/MyWideStr.h"
#include "platform/core/CodePages.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmxLint.h"
#include "tm/MyEncodeTMX.h"
#include "tests/support/AnsiCodePage.h"
#include "tests/support/StopPump.h"

namespace {

const std::string kData = MIRELCON_SOURCE_DIR "/tests/app/data/";

const std::string kHeader =
    "%20260105~143000\t%User ID,AB\t%TU=00000002\t%EN-US\t%Quillmar TM v.5.53/00\t%FR-FR\t%---79532885\t\t0123456789";

std::string Unit(const std::string& source, const std::string& target = "cible", const std::string& more = "") {
  return "20260106~093000\tANA\t1\ten-US\t" + source + "\tfr-FR\t" + target + more;
}

std::string Utf8(const std::u16string& s) {
  std::string out(s.size() * 3 + 1, '\0');
  out.resize(static_cast<size_t>(WideToUtf8(s.c_str(), out.data(), false)));
  return out;
}

std::u16string Wide(const std::string& utf8) {
  std::u16string out(utf8.size() + 1, u'\0');
  out.resize(static_cast<size_t>(Utf8ToWide(utf8.c_str(), out.data(), false)));
  return out;
}

std::string Replace(const std::string& s, const std::string& from, const std::string& to) {
  std::string out;
  size_t run = 0;
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, run)) {
    out.append(s, run, at - run).append(to);
    run = at + from.size();
  }
  return out.append(s, run);
}

// The text of a UTF-16 file of the given byte order, as UTF-8, without its mark.
std::string FromUtf16(const std::string& bytes, bool bigEndian) {
  std::u16string w;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const auto b0 = static_cast<unsigned char>(bytes[i]), b1 = static_cast<unsigned char>(bytes[i + 1]);
    w.push_back(static_cast<char16_t>(bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0)));
  }
  return Utf8(w);
}

std::string ToUtf16BE(const std::string& utf8) {
  const std::u16string w = Wide(utf8);
  std::string out = "\xFE\xFF";
  for (char16_t c : w) {
    out.push_back(static_cast<char>(c >> 8));
    out.push_back(static_cast<char>(c & 0xFF));
  }
  return out;
}

struct Result {
  bool ok = false;
  int units = 0;
  std::string bytes;
  std::string file;
  std::u16string error;
};

// Converts the text TM held in tmBytes; units is left at -1 when the TM could not be opened.
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
  r.error = c.ErrorText();
  r.bytes = TempDir::Read(r.file);
  return r;
}

std::string Crlf(std::initializer_list<std::string> lines) {
  std::string s = "\xEF\xBB\xBF";
  for (const auto& l : lines) s += l + "\r\n";
  return s;
}

// The lines of the document between the header's end and "</body>".
std::string Body(const std::string& doc) {
  const size_t b = doc.find("<body>\r\n");
  const size_t e = doc.rfind("</body>");
  if (b == std::string::npos || e == std::string::npos) return "(no body)";
  return doc.substr(b + 8, e - b - 8);
}

// The seg lines of the document, in order.
std::vector<std::string> Segs(const std::string& doc) {
  std::vector<std::string> segs;
  for (size_t at = doc.find("<seg>"); at != std::string::npos; at = doc.find("<seg>", at + 1))
    segs.push_back(doc.substr(at, doc.find("\r\n", at) - at));
  return segs;
}

std::string ExpectedSample() {
  std::string expected = TempDir::Read(kData + "sample-tm.tmx");
  expected = Replace(expected, "@TOOL@", Utf8(GetExeNameW()));
  return Replace(expected, "@VERSION@", MIRELCON_VERSION_TEXT);
}

}  // namespace

// References to bytes of the ANSI code page are decoded through it: the tests fix it.
class EncodeTMX : public WithAnsiCodePage<1252> {};

TEST_F(EncodeTMX, SampleTmMatchesTheKeptDocument) {
  TempDir dir;
  const std::string tm = TempDir::Read(kData + "sample-tm.txt");
  ASSERT_FALSE(tm.empty());
  const Result r = Convert(dir, tm);
  ASSERT_TRUE(r.ok) << Utf8(r.error);
  EXPECT_EQ(r.units, 4);
  EXPECT_EQ(r.bytes, ExpectedSample());
  EXPECT_VALID_TMX(r.file);
}

// Line ends and the input's encoding change nothing in the document.
TEST_F(EncodeTMX, LfOnlyAndUtf16BigEndianInputsGiveTheSameDocument) {
  const std::string tm = TempDir::Read(kData + "sample-tm.txt");
  ASSERT_GT(tm.size(), 3u);
  const std::string lfOnly = Replace(tm, "\r\n", "\n");
  const std::string utf16be = ToUtf16BE(tm.substr(3));
  for (const std::string& input : {lfOnly, utf16be}) {
    TempDir dir;
    const Result r = Convert(dir, input);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.units, 4);
    EXPECT_EQ(r.bytes, ExpectedSample());
  }
}

TEST_F(EncodeTMX, EncodingCodesChooseMarkAndDeclaration) {
  const std::string tm = TempDir::Read(kData + "sample-tm.txt");
  const std::string expected = ExpectedSample();  // the UTF-8 document
  const std::string utf8Decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  struct Case {
    TCodeChar code;
    std::string mark;
    bool bigEndian;
    std::string declaration;
  };
  const Case cases[] = {
      {ccNone, "\xFF\xFE", false, "<?xml version=\"1.0\"?>"},
      {ccUnicode, "\xFF\xFE", false, "<?xml version=\"1.0\" encoding=\"UTF-16\"?>"},
      {ccBigEndian, "\xFE\xFF", true, "<?xml version=\"1.0\"?>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(CodeNumber(c.code));
    TempDir dir;
    const Result r = Convert(dir, tm, c.code);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.bytes.substr(0, 2), c.mark);
    EXPECT_EQ(FromUtf16(r.bytes, c.bigEndian), Replace(expected, utf8Decl, c.declaration));
    EXPECT_VALID_TMX(r.file);
  }
  // UTF-8 is written without a mark; ANSI (here on plain ASCII text) without a declared encoding.
  TempDir dir;
  Result r = Convert(dir, tm, ccUtf8);
  EXPECT_EQ(r.bytes.substr(0, utf8Decl.size() + 2), utf8Decl + "\r\n");
  const std::string ascii = Crlf({kHeader, Unit("a < b", "c & d")});
  const std::string asUtf8 = Convert(dir, ascii, ccUtf8).bytes;
  r = Convert(dir, ascii, ccAnsi);
  EXPECT_EQ(r.bytes, Replace(asUtf8, utf8Decl, "<?xml version=\"1.0\"?>"));
  EXPECT_VALID_TMX(r.file);
}

TEST_F(EncodeTMX, HeaderOnlyGivesAnEmptyBody) {
  TempDir dir;
  const Result r = Convert(dir, Crlf({kHeader}));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.units, 0);
  const std::string tail = "</header>\r\n\r\n<body>\r\n</body>\r\n</tmx>\r\n\r\n";
  ASSERT_GE(r.bytes.size(), tail.size());
  EXPECT_EQ(r.bytes.substr(r.bytes.size() - tail.size()), tail);
  EXPECT_NE(r.bytes.find("creationid=\"AB\""), std::string::npos);
  EXPECT_VALID_TMX(r.file);
}

TEST_F(EncodeTMX, EmptyInputStillGivesAValidDocument) {
  TempDir dir;
  const Result r = Convert(dir, "");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.units, 0);
  EXPECT_EQ(Body(r.bytes), "");
  EXPECT_VALID_TMX(r.file);
}

// Without a header the first unit gives the header its languages, date and user, and is
// written like every other unit.
TEST_F(EncodeTMX, HeaderlessTmTakesItsHeaderFromTheFirstUnit) {
  TempDir dir;
  const std::string first = "20250301~081500\tFIRST&U\t2\tde-DE\tEins\tit-IT\tUno\tred";
  const Result r = Convert(dir, Crlf({first, Unit("Two", "Due")}));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.units, 2);
  const std::string& d = r.bytes;
  EXPECT_NE(d.find("\t srclang=\"de-DE\"\r\n"), std::string::npos);
  EXPECT_NE(d.find("\t adminlang=\"de-DE\"\r\n"), std::string::npos);
  EXPECT_NE(d.find("\t creationdate=\"20250301T081500Z\"\r\n"), std::string::npos);
  EXPECT_NE(d.find("\t creationid=\"FIRST&amp;U\"\r\n"), std::string::npos);
  // A unit's attributes are no attribute names: they keep the generic types.
  EXPECT_NE(d.find("<prop type=\"Attr1\">red</prop>"), std::string::npos);
  EXPECT_EQ(Segs(d), (std::vector<std::string>{"<seg>Eins</seg>", "<seg>Uno</seg>", "<seg>Two</seg>",
                                               "<seg>Due</seg>"}));
  EXPECT_NE(d.find("<tuv xml:lang=\"it-IT\">"), std::string::npos);
  EXPECT_VALID_TMX(r.file);
}

// Only the first line is the header; one further down is skipped and never sends the stream
// back to the top.
TEST_F(EncodeTMX, HeaderLineInMidFileIsSkipped) {
  TempDir dir;
  const Result r = Convert(dir, Crlf({kHeader, Unit("One"), kHeader, Unit("Two"), "", "junk", Unit("Three")}));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.units, 3);
  const auto segs = Segs(r.bytes);
  ASSERT_EQ(segs.size(), 6u);
  EXPECT_EQ(segs[0], "<seg>One</seg>");
  EXPECT_EQ(segs[2], "<seg>Two</seg>");
  EXPECT_EQ(segs[4], "<seg>Three</seg>");
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
  std::vector<std::string> lines{kHeader};
  for (const Case& c : cases) lines.push_back(Unit(c.text, "t"));
  std::string tm = "\xEF\xBB\xBF";
  for (const auto& l : lines) tm += l + "\r\n";
  TempDir dir;
  const Result r = Convert(dir, tm);
  ASSERT_TRUE(r.ok);
  const auto segs = Segs(r.bytes);
  ASSERT_EQ(segs.size(), 2 * std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(segs[2 * i], "<seg>" + cases[i].seg + "</seg>") << cases[i].text;
  EXPECT_VALID_TMX(r.file);
}

// Control characters other than TAB, LF and CR cannot stand in an XML 1.0 document, in text or
// in attributes.
TEST_F(EncodeTMX, ControlCharactersBecomeBlanks) {
  TempDir dir;
  const std::string header =
      "%20260105~143000\t%User ID,A\x01" "B\t%TU=00000001\t%EN-US\t%Quillmar TM v.5.53/00\t%FR-FR\t%---79532885\tx\x1F"
      "y";
  const Result r = Convert(dir, Crlf({header, "20260106~093000\tU\x1B" "V\t1\ten-US\ta\x02" "b\x0B\tfr-FR\tc\x7F" "d\tp\x03q"}));
  ASSERT_TRUE(r.ok);
  const std::string& d = r.bytes;
  EXPECT_NE(d.find("creationid=\"A B\""), std::string::npos);
  EXPECT_NE(d.find("creationid=\"U V\""), std::string::npos);
  EXPECT_NE(d.find("<prop type=\"x y\">p q</prop>"), std::string::npos);
  EXPECT_NE(d.find("<seg>a b </seg>"), std::string::npos);
  EXPECT_NE(d.find("<seg>c\x7F" "d</seg>"), std::string::npos);
  for (char c : d) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' && c != '\n');
  EXPECT_VALID_TMX(r.file);
}

// No unit is cut, however long, and long runs of placeholders stay one element.
TEST_F(EncodeTMX, LongSegmentsAreWrittenWhole) {
  std::string longText(199996, 'x');
  longText += "&tA;";
  std::string manyTags;
  for (int i = 0; i < 50000; ++i) manyTags += i % 2 ? "&tB;" : "&tA;";
  TempDir dir;
  const Result r = Convert(dir, Crlf({kHeader, Unit(longText, manyTags)}));
  ASSERT_TRUE(r.ok);
  const auto segs = Segs(r.bytes);
  ASSERT_EQ(segs.size(), 2u);
  EXPECT_EQ(segs[0], "<seg>" + std::string(199996, 'x') + "<ph>&amp;tA;</ph></seg>");
  EXPECT_EQ(segs[1].size(), std::string("<seg><ph></ph></seg>").size() + 50000 * 8);
  EXPECT_EQ(segs[1].find("</ph><ph>"), std::string::npos);
  EXPECT_VALID_TMX(r.file);
}

// Codes that never end, or whose ends are far away, cost no more than their own length: a
// search that went to the end of the segment is not repeated for every later "&".
TEST_F(EncodeTMX, UnendedCodesInLongSegmentsStayLinear) {
  std::string unended, escaped, shortT;
  for (int i = 0; i < 66000; ++i) unended += "&t=", shortT += "&tx";
  for (int i = 0; i < 33000; ++i) escaped += "&t=\\;;";
  TempDir dir;
  const auto start = std::chrono::steady_clock::now();
  const Result r = Convert(dir, Crlf({kHeader, Unit(unended, escaped), Unit(shortT)}));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(r.ok);
  const auto segs = Segs(r.bytes);
  ASSERT_EQ(segs.size(), 4u);
  EXPECT_EQ(segs[0], "<seg>" + Replace(unended, "&", "&amp;") + "</seg>");
  EXPECT_EQ(segs[1], "<seg><ph>" + std::string(33000, ';') + "</ph></seg>");
  EXPECT_EQ(segs[2], "<seg>" + Replace(shortT, "&", "&amp;") + "</seg>");
  // Linear work takes milliseconds here, also with the sanitizers; a search per "&" takes seconds.
  EXPECT_LT(elapsed, std::chrono::seconds(2));
}

// A Stop between units still closes the document.
TEST_F(EncodeTMX, StopStillClosesTheDocument) {
  std::vector<std::string> lines{kHeader};
  for (int i = 0; i < 10; ++i) lines.push_back(Unit("u" + std::to_string(i)));
  std::string tm;
  for (const auto& l : lines) tm += l + "\r\n";
  TempDir dir;
  const Result r = Convert(dir, tm, ccUtf8, [](TEncodeTMX& c) {
    c.SetProgressEvent([&c](int) {
      if (c.UnitCount >= 3) c.Abort();
    });
  });
  EXPECT_TRUE(r.ok);
  EXPECT_GE(r.units, 3);
  EXPECT_LT(r.units, 10);
  EXPECT_EQ(Segs(r.bytes).size(), 2u * static_cast<size_t>(r.units));
  const std::string tail = "</tu>\r\n\r\n</body>\r\n</tmx>\r\n\r\n";
  ASSERT_GE(r.bytes.size(), tail.size());
  EXPECT_EQ(r.bytes.substr(r.bytes.size() - tail.size()), tail);
  EXPECT_VALID_TMX(r.file);
}


// Events are pumped by the clock, not after every unit, and Stop reaches the job through them.
TEST_F(EncodeTMX, PumpsEventsByTheClock) {
  std::string tm = kHeader + "\r\n";
  for (int i = 0; i < 3000; ++i) tm += Unit("u" + std::to_string(i)) + "\r\n";
  StopPump<TEncodeTMX> pump;
  SetMessagePump(&pump);
  TempDir dir;
  const auto start = std::chrono::steady_clock::now();
  Result r = Convert(dir, tm);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.units, 3000);
  EXPECT_LE(pump.pumped, ms / 50 + 1);

  // A slow job is pumped within its first units, and the Stop ends it there.
  pump.pumped = 0;
  r = Convert(dir, tm, ccUtf8, [&pump](TEncodeTMX& c) {
    pump.job = &c;
    c.SetProgressEvent([](int) { std::this_thread::sleep_for(std::chrono::milliseconds(10)); });
  });
  SetMessagePump(nullptr);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(pump.pumped, 1);
  EXPECT_GE(r.units, 3);
  EXPECT_LT(r.units, 100);
  EXPECT_VALID_TMX(r.file);
}

TEST_F(EncodeTMX, OutputThatCannotBeCreatedIsAnErrorNamingIt) {
  TempDir dir;
  TempDir::Write(dir.File("in.txt"), Crlf({kHeader, Unit("One")}));
  TQMStream s(dir.WFile("in.txt"), ccNone, fmOpenRead | fmShareDenyWrite);
  TEncodeTMX c(&s);
  const std::u16string out = dir.WFile("missing/out.tmx");
  EXPECT_FALSE(c.Convert(out, ccUtf8));
  EXPECT_TRUE(c.Failed());
  EXPECT_EQ(c.UnitCount, 0);
  EXPECT_EQ(c.ErrorFileName(), out);
  EXPECT_EQ(Utf8(c.ErrorText()), "Cannot create file \"" + dir.File("missing/out.tmx") + "\". No such file or directory.");
}

// A disk that fills up makes the conversion fail; the file size limit stands in for it.
TEST_F(EncodeTMX, WriteFailureIsReported) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TempDir dir;
  std::string tm = kHeader + "\r\n";
  for (int i = 0; i < 500; ++i) tm += Unit("unit " + std::to_string(i)) + "\r\n";
  TempDir::Write(dir.File("in.txt"), tm);
  const std::string expected = "Cannot write file \"" + dir.File("out.tmx") + "\". File too large.";
  auto run = [&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{8192, 8192};
    setrlimit(RLIMIT_FSIZE, &limit);
    TQMStream s(dir.WFile("in.txt"), ccNone, fmOpenRead | fmShareDenyWrite);
    TEncodeTMX c(&s);
    const bool ok = c.Convert(dir.WFile("out.tmx"), ccUtf8);
    std::_Exit(!ok && Utf8(c.ErrorText()) == expected ? 0 : 1);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}
