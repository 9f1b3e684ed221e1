// What a conversion must carry over unchanged, end to end through the program: text in every
// encoding a file may come in, inline markup and its places, escaped markup, TABs and line
// breaks, invalid bytes, and attribute types.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/core/Utf8.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmTokens.h"

using namespace tmtext;

namespace {

const std::string kTmxStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<tmx version=\"1.4\">\r\n"
    "<header creationtool=\"t\" creationtoolversion=\"1\" segtype=\"sentence\" o-tmf=\"x\" adminlang=\"en-US\" "
    "srclang=\"en-US\" datatype=\"plaintext\"/>\r\n<body>\r\n";
const std::string kTmxEnd = "</body>\r\n</tmx>\r\n";

std::string Tu(const std::string& source, const std::string& target, const std::string& props = "") {
  return "<tu>" + props + "<tuv xml:lang=\"en-US\"><seg>" + source + "</seg></tuv>\r\n<tuv xml:lang=\"fr-FR\"><seg>" +
         target + "</seg></tuv></tu>\r\n";
}

const std::string kTmHeader = "%20261201~090000\t%User ID,T\t%TU=00000001\t%EN-GB\t%Quillmar TM v.5.53/00\t%DE-DE"
                              "\t%---79532885\t\t0SAMPLE001\t%" + std::string(40, ' ') + ".\r\n";

std::string TmUnit(const std::string& source, const std::string& target) {
  return "20261201~090000\tANA\t1\ten-GB\t" + source + "\tde-DE\t" + target + "\r\n";
}

class Fidelity : public ::testing::Test {
protected:
  // Writes name with bytes into the test's folder and converts it, into the folder `into` when
  // given; the run must convert `units` units. Returns the output's bytes.
  std::string Convert(const std::string& name, const std::string& bytes, int units,
                      const std::vector<std::string>& switches = {}, const std::string& into = "") {
    TempDir::Write(dir.File(name), bytes);
    return ConvertWithProgram(dir.File(name), units, into.empty() ? "" : dir.File(into), switches);
  }
  // The text TM converted from a TMX, every unit with at least 12 fields.
  TextTm ToTextTm(const std::string& name, const std::string& tmx, int units,
                  const std::vector<std::string>& switches = {}) {
    TextTm tm = ParseTextTm(Convert(name, tmx, units, switches));
    for (auto& u : tm.units) u.resize(std::max<size_t>(u.size(), 12));
    return tm;
  }
  TempDir dir;
};

std::string Utf16(const std::string& utf8, bool bigEndian) {
  std::string out;
  for (const char16_t c : platform::Utf8ToUtf16(utf8)) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

}  // namespace

// Without a byte-order mark the zero bytes of the markup tell UTF-16 and its byte order.
TEST_F(Fidelity, Utf16TmxWithoutMark) {
  const std::string body = "<tmx version=\"1.4\"><header srclang=\"en-US\"/><body>\r\n" +
                           Tu("Caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E") +
                           Tu("Smile \xF0\x9F\x98\x80", "\xCE\xA7\xCE\xB1\xCF\x81\xCE\xAC \xF0\x9F\x98\x80") +
                           "</body></tmx>\r\n";
  const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n";
  for (const bool bigEndian : {false, true}) {
    for (const bool declared : {true, false}) {
      const std::string name = std::string(bigEndian ? "be" : "le") + (declared ? "-decl" : "") + ".tmx";
      SCOPED_TRACE(name);
      const TextTm tm = ToTextTm(name, Utf16((declared ? decl : "") + body, bigEndian), 2);
      if (tm.units.size() != 2) continue;
      EXPECT_EQ(tm.units[0][4], "Caf\xC3\xA9");
      EXPECT_EQ(tm.units[0][6], "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");
      EXPECT_EQ(tm.units[1][4], "Smile \xF0\x9F\x98\x80");
      EXPECT_EQ(tm.units[1][6], "\xCE\xA7\xCE\xB1\xCF\x81\xCE\xAC \xF0\x9F\x98\x80");
    }
  }
}

// The words inside hi are text; its start and its end are the codes. The text of a sub inside a
// code belongs to the code.
TEST_F(Fidelity, HighlightedTextAndSubFlows) {
  const TextTm tm = ToTextTm("hi.tmx", kTmxStart +
      Tu("Click <hi>Start Here!</hi> to start.", "Cliquez sur <hi>D\xC3\xA9marrer</hi> pour commencer.") +
      Tu("a<ph>{\\footnote <sub>note</sub>}</ph>b", "x<ph>{\\footnote <sub>Notiz</sub>}</ph>y") + kTmxEnd, 2);
  ASSERT_EQ(tm.units.size(), 2u);
  EXPECT_EQ(ShowField(tm.units[0][4]), "Click &tA;Start Here!&tB; to start.");
  EXPECT_EQ(ShowField(tm.units[0][6]), "Cliquez sur &tA;D\xC3\xA9marrer&tB; pour commencer.");
  EXPECT_EQ(ShowField(tm.units[1][4]), "a&tA;b");
  EXPECT_EQ(ShowField(tm.units[1][6]), "x&t={\\footnote Notiz};y");

  const std::string tmx = Convert("hi.txt", TempDir::Read(dir.File("hi.txt")), 2, {}, "back");
  const std::vector<std::string> segs = SegsOf(tmx);
  ASSERT_GE(segs.size(), 2u);
  EXPECT_EQ(segs[0], "Click <ph>&amp;tA;</ph>Start Here!<ph>&amp;tB;</ph> to start.");
}

// Markup written as text in the TMX is text in the translation memory, and text that looks
// like markup in the translation memory comes back from a round trip as it was.
TEST_F(Fidelity, EscapedMarkupIsText) {
  const TextTm tm = ToTextTm(
      "esc.tmx", kTmxStart + Tu("Press &lt;Enter&gt; to continue", "Appuyez sur &lt;Entr\xC3\xA9" "e&gt;") + kTmxEnd, 1);
  ASSERT_EQ(tm.units.size(), 1u);
  EXPECT_EQ(ShowField(tm.units[0][4]), "Press <Enter> to continue");
  EXPECT_EQ(ShowField(tm.units[0][6]), "Appuyez sur <Entr\xC3\xA9" "e>");

  const std::string tmx =
      Convert("tom.txt", "\xEF\xBB\xBF" + kTmHeader + TmUnit("Tom & Jerry <cartoon>", "Tom & Jerry <Zeichentrick>"), 1);
  const TextTm back = ParseTextTm(Convert("tom.tmx", tmx, 1, {}, "back"));
  ASSERT_EQ(back.units.size(), 1u);
  ASSERT_GE(back.units[0].size(), 7u);
  EXPECT_EQ(back.units[0][4], "Tom & Jerry <cartoon>");
  EXPECT_EQ(back.units[0][6], "Tom & Jerry <Zeichentrick>");
}

// Empty inline elements, with attributes or without, are codes in their places.
TEST_F(Fidelity, EmptyInlineElementsKeepTheirPlaces) {
  const std::string seg = "Hello<ph x=\"1\"/> world<bpt i=\"1\" x=\"2\"/>bold<ept i=\"1\"/><it pos=\"begin\" x=\"3\"/>!";
  // The shape that the SDLTM conversion writes.
  const std::string sdl = "Press <bpt i=\"1\" x=\"1\" type=\"x-LockedContent\" /><ept i=\"1\" /> then "
                          "<bpt i=\"2\" x=\"2\" type=\"x-TextPlaceholder\" />{1} &amp; &lt;2&gt;<ept i=\"2\" /> and "
                          "<ph x=\"3\" type=\"7\" />.";
  const std::string sdlTarget = "<bpt i=\"2\" x=\"2\" type=\"x-TextPlaceholder\" />{1}<ept i=\"2\" /> dann "
                                "<ph x=\"3\" type=\"7\" /> und "
                                "<bpt i=\"1\" x=\"1\" type=\"x-LockedContent\" /><ept i=\"1\" />.";
  const TextTm tm = ToTextTm("empty.tmx", kTmxStart + Tu(seg, seg) + Tu(sdl, sdlTarget) + kTmxEnd, 2);
  ASSERT_EQ(tm.units.size(), 2u);
  EXPECT_EQ(ShowField(tm.units[0][4]), "Hello&tA; world&tB;bold&tC;&tD;!");
  EXPECT_EQ(ShowField(tm.units[0][6]), "Hello&tA; world&tB;bold&tC;&tD;!");
  EXPECT_EQ(ShowField(tm.units[1][4]), "Press &tA;&tB; then &tC;{1} &'26; <2>&tD; and &tE;.");
  EXPECT_EQ(Show(DecodeField(tm.units[1][6]), true), "&?;{1}&?; dann &?; und &?;&?;.");
}

// A TAB or a line break is a character like any other, both ways; only a reference to the
// character 0 is dropped.
TEST_F(Fidelity, TabsAndLineBreaksSurvive) {
  const TextTm tm = ToTextTm("tab.tmx", kTmxStart + Tu("Mes&#9;Gateaux", "Meine&#9;Kekse") +
                                            Tu("l1&#10;l2&#13;l3&#0;!", "x&#x9;y") + kTmxEnd, 2);
  ASSERT_EQ(tm.units.size(), 2u);
  EXPECT_EQ(ShowField(tm.units[0][4]), "Mes&'9;Gateaux");
  EXPECT_EQ(ShowField(tm.units[1][4]), "l1&'A;l2&'D;l3!");
  EXPECT_EQ(ShowField(tm.units[1][6]), "x&'9;y");
  const std::vector<std::string> back = SegsOf(Convert("tab.txt", TempDir::Read(dir.File("tab.txt")), 2, {}, "back"));
  ASSERT_GE(back.size(), 1u);
  EXPECT_EQ(back[0], "Mes&#9;Gateaux");

  struct Case {
    std::string field, seg;
  };
  const Case cases[] = {
      {"a&'9;b&'A;c", "a&#9;b&#10;c"},
      {"x&'D;y&#9;z&#x9;w&#10;v", "x&#13;y&#9;z&#9;w&#10;v"},
      {"p&'0;q&#0;r", "pqr"},
  };
  std::string text = "\xEF\xBB\xBF" + kTmHeader;
  for (const Case& c : cases) text += TmUnit(c.field, "t");
  const std::vector<std::string> segs = SegsOf(Convert("fields.txt", text, 3));
  ASSERT_EQ(segs.size(), 6u);
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(segs[2 * i], cases[i].seg) << cases[i].field;
}

// Bytes that are no UTF-8 in a file that says it is: each maximal invalid part becomes one
// U+FFFD, and the text around it stays.
TEST_F(Fidelity, InvalidUtf8BecomesReplacementCharacters) {
  const std::string r = "\xEF\xBF\xBD";
  const TextTm tm = ToTextTm("bad.tmx", kTmxStart + Tu("\xFC" "berpr\xFC" "fen", "pr\xC3\xBC" "fen") +
                                            Tu("a\xE2\x82x", "b\xC0\xAF" "c") + kTmxEnd, 2);
  ASSERT_EQ(tm.units.size(), 2u);
  EXPECT_EQ(tm.units[0][4], r + "berpr" + r + "fen");
  EXPECT_EQ(tm.units[0][6], "pr\xC3\xBC" "fen");
  EXPECT_EQ(tm.units[1][4], "a" + r + "x");
  EXPECT_EQ(tm.units[1][6], "b" + r + r + "c");
}

// A text TM without a mark is UTF-8 when it is valid UTF-8, else text of the ANSI code page.
TEST_F(Fidelity, TextTmWithoutMark) {
  struct Case {
    std::string name, field, seg;
  };
  const Case cases[] = {
      {"utf8.txt", "Caf\xC3\xA9 cr\xC3\xA8me \xF0\x9F\x98\x80", "Caf\xC3\xA9 cr\xC3\xA8me \xF0\x9F\x98\x80"},
      {"ansi.txt", "Caf\xE9 cr\xE8me", "Caf\xC3\xA9 cr\xC3\xA8me"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> segs = SegsOf(Convert(c.name, kTmHeader + TmUnit(c.field, "x"), 1));
    ASSERT_EQ(segs.size(), 2u);
    EXPECT_EQ(segs[0], c.seg);
  }
}

// Three chosen property types: the header keeps its identifier and filler in fields 8 and 9, so
// the types go to fields 7, 10 and 11, and back to the same props.
TEST_F(Fidelity, ThreePropertyTypesRoundTrip) {
  auto props = [](const std::string& a, const std::string& b, const std::string& c) {
    return "<prop type=\"x-A\">" + a + "</prop><prop type=\"x-B\">" + b + "</prop><prop type=\"x-C\">" + c + "</prop>";
  };
  const std::vector<std::string> types = {"/PROP_TYPE=x-A", "/PROP_TYPE=x-B", "/PROP_TYPE=x-C"};
  const TextTm tm = ToTextTm("props.tmx", kTmxStart + Tu("One", "Un", props("a", "b", "c")) +
                                              Tu("Two", "Deux", props("a2", "b2", "c2")) + kTmxEnd, 2, types);
  ASSERT_EQ(tm.units.size(), 2u);
  ASSERT_GE(tm.header.size(), 12u);
  EXPECT_EQ(tm.header[7], "x-A");
  EXPECT_TRUE(std::regex_match(tm.header[8], std::regex("[A-Z0-9]{10}"))) << tm.header[8];
  EXPECT_TRUE(std::regex_match(tm.header[9], std::regex("%? +\\.?"))) << "[" << tm.header[9] << "]";
  EXPECT_EQ(tm.header[10], "x-B");
  EXPECT_EQ(tm.header[11], "x-C");
  const std::vector<std::string> expected[] = {{"a", "", "", "b", "c"}, {"a2", "", "", "b2", "c2"}};
  for (size_t u = 0; u < 2; ++u)
    EXPECT_EQ(std::vector<std::string>(tm.units[u].begin() + 7, tm.units[u].begin() + 12), expected[u]) << "unit " << u;

  const std::string tmx = Convert("props.txt", TempDir::Read(dir.File("props.txt")), 2, {}, "back");
  const std::regex tuRe("<tu[ >][\\s\\S]*?</tu>"), propRe("<prop type=\"([^\"]*)\">([^<]*)</prop>");
  std::vector<std::multiset<std::string>> found;
  for (auto tu = std::sregex_iterator(tmx.begin(), tmx.end(), tuRe); tu != std::sregex_iterator(); ++tu) {
    const std::string text = tu->str();
    found.emplace_back();
    for (auto p = std::sregex_iterator(text.begin(), text.end(), propRe); p != std::sregex_iterator(); ++p)
      found.back().insert((*p)[1].str() + "=" + (*p)[2].str());
  }
  const std::vector<std::multiset<std::string>> want = {{"x-A=a", "x-B=b", "x-C=c"}, {"x-A=a2", "x-B=b2", "x-C=c2"}};
  EXPECT_EQ(found, want);
}
