// What a conversion must carry over unchanged, end to end through the program: text in every
// encoding a file may come in, inline markup and its places, escaped markup, TABs and line
// breaks, invalid bytes, and attribute types.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"
#include "tests/support/TmTokens.h"

using namespace tmtext;
using tmfiles::Tmx;
using tmfiles::TmUnit;
using tmfiles::Tu;

namespace {

// A file converted by the program and, when the expected other side holds both, back again.
struct Trip {
  std::string name;  // the input file's, which tells its type
  std::string bytes;
  int units;
  // The text TM side: "source | target" of each unit, in the spelling of Show; "&?;" for every
  // tag when only their places count.
  std::vector<std::string> fields;
  std::vector<std::string> segs;  // the TMX side: the first segs
  int warnings = 0, warningsBack = 0;  // of the result lines there and back
};

std::vector<std::string> FieldsOf(const TextTm& tm, bool tagPlacesOnly) {
  std::vector<std::string> out;
  for (auto u : tm.units) {
    u.resize(std::max<size_t>(u.size(), 7));
    out.push_back(Show(DecodeField(u[4]), tagPlacesOnly) + " | " + Show(DecodeField(u[6]), tagPlacesOnly));
  }
  return out;
}

void ExpectFields(const std::string& tmBytes, const std::vector<std::string>& expected) {
  const TextTm tm = ParseTextTm(tmBytes);
  const std::vector<std::string> exact = FieldsOf(tm, false), places = FieldsOf(tm, true);
  ASSERT_EQ(exact.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(expected[i].find("&?;") == std::string::npos ? exact[i] : places[i], expected[i]) << "unit " << i;
}

void ExpectSegs(const std::string& tmx, const std::vector<std::string>& expected) {
  std::vector<std::string> segs = tmfiles::SegsOf(tmx);
  ASSERT_GE(segs.size(), expected.size());
  segs.resize(expected.size());
  EXPECT_EQ(segs, expected);
}

const std::string kR = "\xEF\xBF\xBD";  // U+FFFD

std::vector<Trip> Trips() {
  std::vector<Trip> trips;
  // Without a byte-order mark the zero bytes of the markup tell UTF-16 and its byte order; an
  // undeclared UTF-8 file is UTF-8, and so is one that declares it in lower case.
  const std::string body = "<tmx version=\"1.4\"><header srclang=\"en-GB\"/><body>\r\n" +
                           Tu("Caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E") +
                           Tu("Smile \xF0\x9F\x98\x80", "\xCE\xA7\xCE\xB1\xCF\x81\xCE\xAC \xF0\x9F\x98\x80") + "</body></tmx>\r\n";
  const std::vector<std::string> fields = {"Caf\xC3\xA9 | \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
                                           "Smile \xF0\x9F\x98\x80 | \xCE\xA7\xCE\xB1\xCF\x81\xCE\xAC \xF0\x9F\x98\x80"};
  for (const bool bigEndian : {false, true})
    for (const std::string& decl : {std::string(), std::string("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n")})
      trips.push_back({std::string(bigEndian ? "utf16be" : "utf16le") + (decl.empty() ? "" : "Declared") + ".tmx",
                       tmfiles::Utf16(decl + body, bigEndian), 2, fields, {}});
  trips.push_back({"utf8Undeclared.tmx", body, 2, fields, {}});
  trips.push_back({"utf8LowerCase.tmx", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n" + body, 2, fields, {}});
  // The words inside hi are text; its start and its end are the codes. The text of a sub inside
  // a code belongs to the code.
  trips.push_back({"hiAndSub.tmx",
                   Tmx(Tu("Click <hi>Start Here!</hi> to start.", "Cliquez sur <hi>D\xC3\xA9marrer</hi> pour commencer.") +
                       Tu("a<ph>{\\footnote <sub>note</sub>}</ph>b", "x<ph>{\\footnote <sub>Notiz</sub>}</ph>y")),
                   2,
                   {"Click &tA;Start Here!&tB; to start. | Cliquez sur &tA;D\xC3\xA9marrer&tB; pour commencer.",
                    "a&tA;b | x&t={\\footnote Notiz};y"},
                   {"Click <ph>&amp;tA;</ph>Start Here!<ph>&amp;tB;</ph> to start."}});
  // Markup written as text in the TMX is text in the TM, and text that looks like markup in the
  // TM comes back from a round trip as it was.
  trips.push_back({"escaped.tmx", Tmx(Tu("Press &lt;Enter&gt; to continue", "Appuyez sur &lt;Entr\xC3\xA9" "e&gt;")), 1,
                   {"Press <Enter> to continue | Appuyez sur <Entr\xC3\xA9" "e>"}, {}});
  trips.push_back({"escaped.txt",
                   tmfiles::TextTm({tmfiles::kTmHeader, TmUnit("Tom & Jerry <cartoon> &'26;tA;x", "Tom & Jerry <Zeichentrick>")}), 1,
                   {"Tom &'26; Jerry <cartoon> &'26;tA;x | Tom &'26; Jerry <Zeichentrick>"},
                   {"Tom &amp; Jerry &lt;cartoon&gt; &amp;tA;x", "Tom &amp; Jerry &lt;Zeichentrick&gt;"}});
  // Empty inline elements, with attributes or without, are codes in their places; the second
  // unit has the shape that the SDLTM conversion writes.
  const std::string seg = "Hello<ph x=\"1\"/> world<bpt i=\"1\" x=\"2\"/>bold<ept i=\"1\"/><it pos=\"begin\" x=\"3\"/>!";
  trips.push_back(
      {"emptyInline.tmx",
       Tmx(Tu(seg, seg) + Tu("Press <bpt i=\"1\" x=\"1\" type=\"x-LockedContent\" /><ept i=\"1\" /> then <bpt i=\"2\" "
                             "x=\"2\" type=\"x-TextPlaceholder\" />{1} &amp; &lt;2&gt;<ept i=\"2\" /> and <ph x=\"3\" type=\"7\" />.",
                             "<bpt i=\"2\" x=\"2\" type=\"x-TextPlaceholder\" />{1}<ept i=\"2\" /> dann <ph x=\"3\" type=\"7\" /> "
                             "und <bpt i=\"1\" x=\"1\" type=\"x-LockedContent\" /><ept i=\"1\" />.")),
       2,
       {"Hello&tA; world&tB;bold&tC;&tD;! | Hello&tA; world&tB;bold&tC;&tD;!",
        "Press &?;&?; then &?;{1} &'26; <2>&?; and &?;. | &?;{1}&?; dann &?; und &?;&?;."},
       {}});
  // A TAB or a line break is a character like any other, both ways. A reference to the
  // character 0 is kept as its escape in the text TM (which a field reads as nothing), and goes
  // in the TMX, which cannot hold it: a warning both ways.
  trips.push_back({"tabs.tmx", Tmx(Tu("Mes&#9;Gateaux", "Meine&#9;Kekse") + Tu("l1&#10;l2&#13;l3&#0;!", "x&#x9;y")), 2,
                   {"Mes&'9;Gateaux | Meine&'9;Kekse", "l1&'A;l2&'D;l3! | x&'9;y"},
                   {"Mes&#9;Gateaux", "Meine&#9;Kekse", "l1&#10;l2&#13;l3!"}, 1, 1});
  // Bytes that are no UTF-8 in a file that says it is: each maximal invalid part becomes one
  // U+FFFD, and the text around it stays; each unit is a warning.
  trips.push_back({"invalidUtf8.tmx",
                   Tmx(Tu("\xFC" "berpr\xFC" "fen", "pr\xC3\xBC" "fen") + Tu("a\xE2\x82x", "b\xC0\xAF" "c")), 2,
                   {kR + "berpr" + kR + "fen | pr\xC3\xBC" "fen", "a" + kR + "x | b" + kR + kR + "c"}, {}, 2});
  // A text TM without a mark is UTF-8 when it is valid UTF-8, else text of the ANSI code page.
  trips.push_back({"utf8NoMark.txt", tmfiles::kTmHeader + "\r\n" + TmUnit("Caf\xC3\xA9 \xF0\x9F\x98\x80", "x") + "\r\n", 1,
                   {}, {"Caf\xC3\xA9 \xF0\x9F\x98\x80"}});
  trips.push_back({"ansiNoMark.txt", tmfiles::kTmHeader + "\r\n" + TmUnit("Caf\xE9 cr\xE8me", "x") + "\r\n", 1, {},
                   {"Caf\xC3\xA9 cr\xC3\xA8me"}});
  return trips;
}

class Fidelity : public ::testing::TestWithParam<Trip> {
protected:
  TempDir dir;
};

}  // namespace

TEST_P(Fidelity, ThereAndBack) {
  const Trip& t = GetParam();
  const bool fromTmx = t.name.ends_with(".tmx");
  TempDir::Write(dir.File(t.name), t.bytes);
  const std::string out = ConvertWithProgram(dir.File(t.name), t.units, "", {}, t.warnings);
  fromTmx ? ExpectFields(out, t.fields) : ExpectSegs(out, t.segs);
  if (t.fields.empty() || t.segs.empty()) return;
  const std::string other = dir.File(tmfiles::OtherSide(t.name));
  const std::string back = ConvertWithProgram(other, t.units, dir.File("back"), {}, t.warningsBack);
  fromTmx ? ExpectSegs(back, t.segs) : ExpectFields(back, t.fields);
}

INSTANTIATE_TEST_SUITE_P(Trips, Fidelity, ::testing::ValuesIn(Trips()),
                         [](const auto& info) { return tmfiles::TripName(info.param.name); });

// Three chosen property types, matched without case: the header keeps its identifier and filler
// in fields 8 and 9, so the types go to fields 7, 10 and 11, and back to the same props. Other
// properties, and those of the header, land nowhere; nothing of one unit stays for the next.
TEST(FidelityOfProperties, ThreePropertyTypesRoundTrip) {
  TempDir dir;
  TempDir::Write(dir.File("props.tmx"),
                 Tmx(Tu("One", "Eins", " creationid=\"Ann\" usagecount=\"4\" creationdate=\"20240203T040506Z\"",
                        "<prop type=\"x-C\">c</prop><prop type=\"x-Other\">dropped</prop><prop type=\"x-B\">b</prop>"
                        "<prop type=\"x-A\">a &amp; b</prop>") +
                         "<tu creationid=\"Skipped\"><prop type=\"x-B\">lost</prop>" + tmfiles::Tuv("en-GB", "no target") +
                         "</tu>" + Tu("Two", "Zwei", "", "<prop type=\"x-A\">a2</prop>"),
                     "<header srclang=\"en-GB\"><prop type=\"x-A\">header prop</prop></header>"));
  TextTm tm = ParseTextTm(ConvertWithProgram(dir.File("props.tmx"), 2, "", {"/PROP_TYPE=x-A", "/PROP_TYPE=x-B", "/PROP_TYPE=X-C"}));
  ASSERT_EQ(tm.units.size(), 2u);
  ASSERT_GE(tm.header.size(), 12u);
  EXPECT_EQ(tm.header[7] + "|" + tm.header[10] + "|" + tm.header[11], "x-A|x-B|X-C");
  EXPECT_TRUE(std::regex_match(tm.header[8], std::regex("[A-Z0-9]{10}"))) << tm.header[8];
  EXPECT_TRUE(std::regex_match(tm.header[9], std::regex("%? +\\.?"))) << "[" << tm.header[9] << "]";
  const std::vector<std::string> expected[] = {{"Ann", "4", "en-GB", "One", "de-DE", "Eins", "a & b", "", "", "b", "c"},
                                               {"Unknown", "0", "en-GB", "Two", "de-DE", "Zwei", "a2"}};
  for (size_t u = 0; u < 2; ++u) EXPECT_EQ(std::vector<std::string>(tm.units[u].begin() + 1, tm.units[u].end()), expected[u]);
  EXPECT_EQ(tm.units[0][0], "20240203~040506");
  const std::string tmx = ConvertWithProgram(dir.File("props.txt"), 2, dir.File("back"));
  const std::regex tuRe("<tu[ >][\\s\\S]*?</tu>"), propRe("<prop type=\"([^\"]*)\">([^<]*)</prop>");
  std::vector<std::multiset<std::string>> found;
  for (auto tu = std::sregex_iterator(tmx.begin(), tmx.end(), tuRe); tu != std::sregex_iterator(); ++tu) {
    const std::string text = tu->str();
    found.emplace_back();
    for (auto p = std::sregex_iterator(text.begin(), text.end(), propRe); p != std::sregex_iterator(); ++p)
      found.back().insert((*p)[1].str() + "=" + (*p)[2].str());
  }
  EXPECT_EQ(found, (std::vector<std::multiset<std::string>>{{"x-A=a &amp; b", "x-B=b", "X-C=c"}, {"x-A=a2"}}));
}
