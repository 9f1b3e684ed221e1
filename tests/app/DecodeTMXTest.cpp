// The TMX reader into real text translation memories, run as the program runs it: third-party
// samples, round trips through the TMX writer, appending, and the cases that tell a sound reader
// from a faulty one.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/core/TessalyUnit2.h"
#include "base/MyPump.h"
#include "platform/core/Utf8.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/StopPump.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"
#include "tm/MyDecodeTMX.h"

using namespace tmfiles;

namespace {

std::string U8(std::u16string_view s) { return platform::Utf16ToUtf8(s); }

struct TmFile {
  TTU header;
  std::vector<TTU> units;
};

TmFile ReadTm(const std::string& path) {
  TmFile tm;
  TQMStream s(platform::Utf8ToUtf16(path), ccNone, fmOpenRead | fmShareDenyWrite);
  TTU tu;
  tu.IsHeader = true;
  for (; s.Read(tu) > 0; tu.IsHeader = false) (tu.IsHeader ? tm.header : tm.units.emplace_back()) = tu;
  return tm;
}

std::string F(const TTU& tu, int field) { return U8(tu.Field(field)); }
std::string Pair(const TTU& tu) { return U8(tu.LangPair.Source) + ">" + U8(tu.LangPair.Target); }
// "source|target" of each unit.
std::vector<std::string> Texts(const TmFile& tm) {
  std::vector<std::string> out;
  for (const TTU& u : tm.units) out.push_back(F(u, tfSource) + "|" + F(u, tfTarget));
  return out;
}

class DecodeTMX : public ::testing::Test {
protected:
  // Converts the document into the text TM `out` of the test's folder; "" or the error.
  std::string Convert(const std::string& tmx, const std::string& out = "out.txt") {
    TempDir::Write(dir.File("in.tmx"), tmx);
    return host.Convert(dir.File("in.tmx"), dir.File(out));
  }
  TmFile Read(const std::string& out = "out.txt") { return ReadTm(dir.File(out)); }
  TempDir dir;
  TRecordingHost host;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// The third-party samples of the shared data folder: "source|target" of every unit, and the
// pair of each unit that differs from the header's.
struct Sample {
  std::string file, pair;
  std::vector<std::string> units;
  std::vector<std::pair<size_t, std::string>> unitPairs = {};
};

class SharedTmxSample : public DecodeTMX, public ::testing::WithParamInterface<Sample> {};

TEST_P(SharedTmxSample, ConvertsEveryUnit) {
  const Sample& s = GetParam();
  const std::string path = MIRELCON_SHARED_DATA "/" + s.file;
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "the shared sample " << path << " is not there";
  ASSERT_EQ(host.Convert(path, dir.File("out.txt")), "");
  EXPECT_EQ(host.Result, std::to_string(s.units.size()) + " TUs");
  TmFile tm = Read();
  EXPECT_EQ(tm.header.GetCount(), static_cast<int64_t>(s.units.size()));
  EXPECT_EQ(Pair(tm.header), s.pair);
  EXPECT_EQ(Texts(tm), s.units);
  for (size_t i = 0; i < tm.units.size(); ++i) {
    const auto other = std::find_if(s.unitPairs.begin(), s.unitPairs.end(), [i](const auto& p) { return p.first == i; });
    EXPECT_EQ(Pair(tm.units[i]), other == s.unitPairs.end() ? s.pair : other->second) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shared, SharedTmxSample,
    ::testing::Values(
        // UTF-16LE with its mark; character references of TABs become the field escape.
        Sample{"ImportTest1A.tmx", "en-us>fr-ca",
               {"First segment with [&'9;&'9;   ]|Premier segment avec [&'9;&'9;   ]",
                "Second segment with [  &'9;&'9;]|Second segment avec [  &'9;&'9;]"}},
        // Line ends and TABs inside tags, single quotes, blanks around "=", mixed-case codes.
        Sample{"ImportTest1B.tmx", "en-us>fR-Ca", {"Text of the segment|Texte du segment"}},
        // Five languages per unit in varying order: the pair is the header's source and the first
        // other language met; the US variant is the source even where the UK one comes first.
        Sample{"ImportTest1C.tmx", "en-us>en-gb",
               {"First entry in US English|First entry in UK English", "Second entry in US English|Second entry in UK English",
                "Third entry in US English|Third entry in UK English"}},
        Sample{"ImportTest1D.tmx", "en-us>en-gb",
               {"\xC3\xA0=agrave, \xC3\xA9=eacute, \xC3\xA6=aelig|\xC3\xA0=agrave, \xC3\xA9=eacute, \xC3\xA6=aelig",
                "\xC3\xBF=U+00FF, \xE2\x84\xA2=U+2122, \xE2\x80\x99=U+2019|\xC3\xBF=U+00FF, \xE2\x84\xA2=U+2122, \xE2\x80\x99=U+2019",
                "\xE2\x80\x9C=U+201C, \xE2\x80\x93=U+2013, \xC2\xA4=U+00A4|\xE2\x80\x9C=U+201C, \xE2\x80\x93=U+2013, \xC2\xA4=U+00A4"}},
        // Inline elements out of order, it, ph, hi, escaped specials, a variant order inverted;
        // highlighted words stay text between the placeholders of the hi element's start and end.
        Sample{"ImportTest2A.tmx", "en-us>fr-ca",
               {"The big &tA;black&tB; &tC;cat&tD; sleeps.|Le gros &tC;chat&tD; &tA;noir&tB; dors.",
                "Test for special characters = &tA;<&tB;=lt, &tA;>&tB;=gt, &tA;&&tB;=amp, &tA;\"&tB;=quot.|Test pour "
                "caract\xC3\xA8res sp\xC3\xA9" "ciaux = &tA;<&tB;=lt, &tA;>&tB;=gt, &tA;&&tB;=amp, &tA;\"&tB;=quot.",
                "Nested formatting = &tA;&tB;&tC;Bold+Italic+Underlined&tD;, Bold+Italic&tE;, Bold&tF;.|Format en gigogne = "
                "&tA;&tB;&tC;gras+italique+soulign\xC3\xA9&tD;, gras+italique&tE;, gras&tF;.",
                "First &tA;sentence.|Premi\xC3\xA8re &tA;phrase.", "Second&tA; sentence.|Seconde&tA; phrase.",
                "Picture: &tA;|Image: &tA;",
                "Some text with &tA;a part highlighted&tB;.|Du texte avec &tA;une portion d\xC3\xA9limit\xC3\xA9" "e&tB;."},
               {{5, "en-us>FR-CA"}, {6, "en-us>FR-CA"}}},
        // Header properties and notes, an element inside an inline element, a target without
        // region: the sub text belongs to its code, which the target translates, so the target's
        // code comes in the open form.
        Sample{"header_with_prop_and_note.tmx", "en-us>fr",
               {"&tA;&tB;Click &tC; to &tD;start&tE;.&tF;|&tB;&tA;Cliquez &t=<IMG SRC=\"here.png\" ALT=\"Commencez ici "
                "!\">; pour &tD;commencer&tE;.&tF;"}}),
    [](const auto& info) { return info.param.file.substr(0, info.param.file.find('.')); });

// ---------------------------------------------------------------------------------------------
// Each run adds its units at the end, in the TM's own pair; the header counts them all, and a
// last line without its end stays a line. The header keeps its length where its count or its
// filler gives the room, in UTF-8 and UTF-16, also where characters take more than one byte;
// else the file is rewritten whole, and keeps its permissions.
TEST_F(DecodeTMX, AppendingKeepsWhatIsThereAndCountsEverything) {
  const std::string tmx = Tmx("<tu>" + Tuv("de-DE", "Eins") + Tuv("fr-FR", "Un") + Tuv("en-GB", "One") + "</tu>" +
                                  Tu("Two", "Zwei"),
                              "<header srclang=\"de-DE\"/>");
  const std::string shortCount = Replace(kTmHeader, "TU=00000002", "TU=2"), noFiller = shortCount.substr(0, shortCount.find("\t\t"));
  const std::string accented = Replace(kTmHeader, "User ID,T", "User ID,J\xC3\xB6rg \xC3\x85ngstr\xC3\xB6m");
  for (const auto& [header, utf16] : {std::pair{kTmHeader, false}, {shortCount, false}, {noFiller, false}, {accented, false},
                                      {accented, true}}) {
    SCOPED_TRACE(header + (utf16 ? " in UTF-16" : ""));
    const std::string text = TextTm({header, TmUnit("old 1", "alt 1")}) + TmUnit("old 2", "caf\xC3\xA9");
    const std::string before = utf16 ? "\xFF\xFE" + Utf16(text.substr(3)) : text, eol = utf16 ? std::string("\r\0\n\0", 4) : "\r\n";
    TempDir::Write(dir.File("tm.txt"), before);
    ::chmod(dir.File("tm.txt").c_str(), 0640);
    ASSERT_EQ(Convert(tmx, "tm.txt"), "");
    ASSERT_EQ(Convert(tmx, "tm.txt"), "");
    EXPECT_EQ(host.Result, "2 TUs");
    TmFile tm = Read("tm.txt");
    EXPECT_EQ(tm.header.GetCount(), 6);
    EXPECT_EQ(Pair(tm.header), "EN-GB>DE-DE");
    EXPECT_EQ(Texts(tm), (std::vector<std::string>{"old 1|alt 1", "old 2|caf\xC3\xA9", "One|Eins", "Two|Zwei",
                                                   "One|Eins", "Two|Zwei"}));
    const std::string after = TempDir::Read(dir.File("tm.txt"));
    EXPECT_EQ(CountOf(after, eol.substr(eol.size() / 2) + "%"), 0u);  // one header
    if (header == kTmHeader) {  // only the count changed
      EXPECT_EQ(after.substr(0, after.find("\r\n")), "\xEF\xBB\xBF" + Replace(header, "TU=00000002", "TU=00000006"));
    }
    if (header != noFiller) {  // in place: every byte after the header as it was
      const size_t firstUnit = before.find(eol) + eol.size();
      EXPECT_EQ(after.find(eol) + eol.size(), firstUnit);
      EXPECT_EQ(after.substr(firstUnit, before.size() - firstUnit), before.substr(firstUnit));
    }
    namespace fs = std::filesystem;
    const fs::perms kept = fs::status(dir.File("tm.txt")).permissions() & fs::perms::all;
    EXPECT_EQ(kept, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);  // no file left behind
  }
}

// Any other existing output is someone's file: an error naming it, and not a byte changed.
TEST_F(DecodeTMX, ExistingFileThatIsNoTranslationMemoryIsLeftUntouched) {
  for (const std::string& bytes : {std::string("Shopping list\r\nmilk\r\n"), TextTm({TmUnit("headerless", "unit")}),
                                   std::string("\r\n"), std::string("x")}) {
    TempDir::Write(dir.File("notes.txt"), bytes);
    EXPECT_EQ(Convert(Tmx(Tu("One", "Eins")), "notes.txt"),
              "The file \"" + dir.File("notes.txt") + "\" is not a text translation memory; nothing was added to it.");
    EXPECT_EQ(TempDir::Read(dir.File("notes.txt")), bytes);
  }
}

// The pair is the header's source language, unless no variant carries it, and the first other
// language met; a variant of the same language stands in for a missing exact code. A unit needs
// both languages; a third is ignored. A self-closing header is read like an open one, and the
// TMX 1.1 "lang" attribute names languages.
TEST_F(DecodeTMX, LanguagePair) {
  struct Case {
    std::string header, body, pair;
    std::vector<std::string> units;  // "source|target|pair"
  };
  const std::string frFirst = "<tu>" + Tuv("fr-FR", "un") + Tuv("en-US", "one") + "</tu><tu>" + Tuv("en-US", "two") +
                              Tuv("fr-FR", "deux") + "</tu>";
  const std::vector<std::string> frEn = {"un|one|fr-FR>en-US", "deux|two|fr-FR>en-US"};
  const std::vector<std::string> enFr = {"one|un|en-US>fr-FR", "two|deux|en-US>fr-FR"};
  const Case cases[] = {
      {"<header srclang=\"en-US\"/>",
       "<tu>" + Tuv("en-US", "A") + Tuv("fr-FR", "a") + Tuv("de-DE", "DE") + "</tu><tu>" + Tuv("en-US", "only") +
           "</tu><tu>" + Tuv("en-US", "B") + Tuv("EN-us", "B2") + Tuv("en-GB", "B3") + "</tu><tu>" + Tuv("de-DE", "C") +
           Tuv("fr-CA", "c") + Tuv("en-US", "C") + "</tu><tu>" + Tuv("fr-FR", "d") + Tuv("en-US", "D") +
           Tuv("fr-CA", "d2") + "</tu>",
       "en-US>fr-FR", {"A|a|en-US>fr-FR", "C|c|en-US>fr-CA", "D|d|en-US>fr-FR"}},
      {"<header srclang=\"*all*\"/>", frFirst, "fr-FR>en-US", frEn},
      {"<header srclang=\"de-DE\" adminlang=\"en-US\"/>", frFirst, "fr-FR>en-US", frEn},
      {"<header srclang=\"en\"/>", frFirst, "en-US>fr-FR", enFr},
      {"<header adminlang=\"en-US\"/>", frFirst, "en-US>fr-FR", enFr},
      {"<header/>", frFirst, "fr-FR>en-US", frEn},
      {"<header srclang=\"zh-Hans-CN\"/>",
       "<tu>" + Tuv("en", "one") + Tuv("zh-Hans-CN", "yi") + "</tu><tu>" + Tuv("zh-Hans-CN", "er") + Tuv("en", "two") + "</tu>",
       "zh-CN>en", {"yi|one|zh-CN>en", "er|two|zh-CN>en"}},
      {"<header srclang=\"FR\" creationid=\"Me\" creationdate=\"20240101T101010Z\"/>",
       "<tu><tuv lang=\"EN\"><seg>one</seg></tuv><tuv lang=\"FR\"><seg>un</seg></tuv></tu>", "FR>EN", {"un|one|FR>EN"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    std::filesystem::remove(dir.File("out.txt"));
    ASSERT_EQ(Convert(Tmx(c.body, c.header)), "");
    TmFile tm = Read();
    EXPECT_EQ(Pair(tm.header), c.pair);
    std::vector<std::string> units;
    for (const TTU& u : tm.units) units.push_back(F(u, tfSource) + "|" + F(u, tfTarget) + "|" + Pair(u));
    EXPECT_EQ(units, c.units);
  }
  TmFile tm = Read();
  EXPECT_EQ(U8(tm.header.GetUserID()), "Me");
  EXPECT_EQ(F(tm.header, tfDate), "20240101~101010");
}

// Equal content gets one letter in source and target; content only the target has is written
// in the open form. Keys are digests of UTF-8, so contents that an ANSI page cannot tell apart
// stay apart. Content is decoded once: "&amp;lt;" is the text "&lt;".
TEST_F(DecodeTMX, InlineElementsBecomePlaceholders) {
  const std::string body =
      Tu("<ph>&lt;x/&gt;</ph>a<bpt i=\"1\">&lt;b&gt;</bpt>b<ept i=\"1\">&lt;/b&gt;</ept>",
         "<bpt i=\"1\">&lt;b&gt;</bpt>B<ept i=\"1\">&lt;/b&gt;</ept>A<ph>&lt;x/&gt;</ph><ph>&lt;z/&gt;</ph>") +
      Tu("<ph>\xD0\x96</ph> x", "<ph>\xD0\xAF</ph> x") +
      Tu("<ph>&amp;lt;</ph> &amp; <ut>{\\b </ut>", "<ph>&amp;gt;</ph>&amp;<ut>{\\b </ut> <it>a;b\tc</it>") +
      Tu("<hi>x</hi>", "<hi>y<ph>&lt;br/&gt;</ph>z</hi>");
  ASSERT_EQ(Convert(Tmx(body)), "");
  EXPECT_EQ(Texts(Read()), (std::vector<std::string>{"&tA;a&tB;b&tC;|&tB;B&tC;A&tA;&t=<z/>;", "&tA; x|&t=\xD0\xAF; x",
                                                     "&tA; & &tB;|&t=&gt\\;;&&tB; &t=a\\;b c;",
                                                     "&tA;x&tB;|&tA;y&t=<br/>;z&tB;"}));
}

// The contents of inline elements repeat over a memory, many more of them than the reader keeps
// digests of, some longer than it keeps: each unit still pairs its own source and target codes,
// and a code whose content only looks like one met before stays apart.
TEST_F(DecodeTMX, RepeatedInlineContentsKeepTheirPlaceholders) {
  std::string body;
  std::vector<std::string> expected;
  for (int u = 0; u < 3000; ++u) {
    const std::string name = u % 7 == 0 ? std::string(300 + u % 3, 'w') : "x" + std::to_string(u % 1500);
    const std::string other = u % 2 ? "&lt;" + name + "/&gt;" : "&lt;" + name + "&gt; ";
    body += Tu("<bpt i=\"1\">&lt;" + name + "&gt;</bpt>a<ept i=\"1\">&lt;/" + name + "&gt;</ept>",
               "<ph>" + other + "</ph><ept i=\"1\">&lt;/" + name + "&gt;</ept>b<bpt i=\"1\">&lt;" + name + "&gt;</bpt>");
    expected.push_back("&tA;a&tB;|&t=<" + name + (u % 2 ? "/>" : "> ") + ";&tB;b&tA;");
  }
  ASSERT_EQ(Convert(Tmx(body)), "");
  EXPECT_EQ(Texts(Read()), expected);
}

// Dates, counts and user names that would make lines no reader takes fall back; a unit without
// source text is none.
TEST_F(DecodeTMX, ValuesThatWouldSpoilTheLineFallBack) {
  ASSERT_EQ(Convert(Tmx(Tu("One", "Eins", " creationdate=\"2024-02-03T04:05:06Z\" usagecount=\"-1\" creationid=\"a&#9;b\"") +
                        Tu("", "leer") + Tu("Two", "Zwei", " changedate=\"20240203T040506Z\""))),
            "");
  TmFile tm = Read();
  ASSERT_EQ(tm.units.size(), 2u);
  EXPECT_EQ(F(tm.units[0], tfCount), "0");
  EXPECT_EQ(F(tm.units[0], tfUserId), "a b");
  EXPECT_EQ(F(tm.units[0], tfDate).size(), 15u);
  EXPECT_EQ(F(tm.units[1], tfDate), "20240203~040506");
}

// Malformed input never crashes and never writes what is not there. A document without a tmx
// element is no TMX: it is refused, and leaves no file (-1).
TEST_F(DecodeTMX, MisplacedElementsAndMissingTmx) {
  const std::pair<std::string, int> cases[] = {
      {"<header srclang=\"en-GB\"/><body>" + Tu("One", "Eins") + "</body>", -1},
      {"", -1},
      {"<<<>>></></></>?<?<!<!--", -1},
      {Tmx("<seg>loose</seg><tuv xml:lang=\"en-GB\"><seg>x</seg></tuv>" + Tu("One", "Eins") +
           "<tu><seg>in tu</seg><tuv xml:lang=\"de-DE\"><tu>" + Tuv("en-GB", "nested") + "</tu></tuv></tu>" +
           "<header srclang=\"de-DE\"/>" + Tu("Two", "Zwei")),
       2},
      {"<tmx><tmx><body>" + Tu("One", "Eins") + "</body></tmx></tmx>", 1},
  };
  for (const auto& [bytes, units] : cases) {
    SCOPED_TRACE(bytes);
    std::filesystem::remove(dir.File("out.txt"));
    if (units < 0) {
      EXPECT_EQ(Convert(bytes), "The file \"" + dir.File("in.tmx") + "\" is not a TMX document.");
      EXPECT_FALSE(std::filesystem::exists(dir.File("out.txt")));
      continue;
    }
    EXPECT_EQ(Convert(bytes), "");
    TmFile tm = Read();
    EXPECT_EQ(tm.units.size(), static_cast<size_t>(units));
    if (units) {
      EXPECT_EQ(tm.header.GetCount(), units);
    }
  }
  // A missing input: an error naming it, and no new TM.
  EXPECT_EQ(host.Convert(dir.File("missing.tmx"), dir.File("new.txt")),
            "Cannot open file \"" + dir.File("missing.tmx") + "\". No such file or directory.");
  EXPECT_FALSE(std::filesystem::exists(dir.File("new.txt")));
}

// A disk that fills up makes the conversion fail; the file size limit stands in for it.
TEST_F(DecodeTMX, WriteFailureIsReported) {
  std::string body;
  for (int i = 0; i < 2000; ++i) body += Tu("unit number " + std::to_string(i), "Einheit");
  TempDir::Write(dir.File("in.tmx"), Tmx(body));
  EXPECT_TRUE(WithFileSizeLimit(16384, [&] {
    return host.Convert(dir.File("in.tmx"), dir.File("out.txt")) ==
           "Cannot write file \"" + dir.File("out.txt") + "\". File too large.";
  }));
}

// Events are pumped by the clock, not per element, and Stop reaches the reader through them: a
// slow reader is pumped within its first units, stops there, and its header counts what was
// written.
TEST_F(DecodeTMX, PumpsEventsByTheClock) {
  std::string body;
  // Progress comes every few thousand bytes of input, so the file is long enough for a stop to
  // come well before its end.
  for (int i = 0; i < 30000; ++i) body += Tu("u" + std::to_string(i), "v");
  StopPump<TObjectControled> pump;
  SetMessagePump(&pump);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Convert(Tmx(body), "a.txt"), "");
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(host.Result, "30.000 TUs");
  EXPECT_LE(pump.pumped, ms / 50 + 1);

  pump.pumped = 0;
  host.OnAttach = [&pump](TObjectControled& job) {
    pump.job = &job;
    job.SetProgressEvent([](int) { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
  };
  EXPECT_EQ(Convert(Tmx(body), "b.txt"), "");
  SetMessagePump(nullptr);
  EXPECT_EQ(pump.pumped, 1);
  TmFile tm = Read("b.txt");
  EXPECT_LT(tm.units.size(), 3000u);
  EXPECT_EQ(tm.header.GetCount(), static_cast<int64_t>(tm.units.size()));
}

// ---------------------------------------------------------------------------------------------
// Tags of the usual shapes are read at once, every other one through the scanner's states: both
// ways give the same units, into a UTF-8 and a UTF-16 text TM, for the golden cases (every
// encoding, odd quoting and blanks, comments, CDATA, instructions) and for drawn documents whose
// tags come in each spelling that the shortcut must leave to the states, cut by the reader's
// blocks anywhere.
namespace {

// The units of the text TM written, in UTF-8: the header (the run's date and a random
// identifier) left out, and so the date of a unit that has the run's (the cases' own dates are
// all before 2025).
std::string ConvertedWith(const std::string& tmx, bool shortTags, TCodeChar code, const TempDir& dir) {
  const std::string out = dir.File(std::string("short") + (shortTags ? "1" : "0") + ".txt");
  std::filesystem::remove(out);
  {
    TQMStream target(platform::Utf8ToUtf16(out), code, fmCreate);
    TDecodeTMX reader(platform::Utf8ToUtf16(tmx));
    reader.ShortTags = shortTags;
    reader.SetPropTypes(std::vector<WideString>{u"x-Client", u"x-Project"});
    reader.Convert(&target, platform::Utf8ToUtf16(out));
  }
  std::string text = TempDir::Read(out);
  if (text.rfind("\xFF\xFE", 0) == 0) {
    std::u16string units((text.size() - 2) / 2, u'\0');
    std::memcpy(units.data(), text.data() + 2, units.size() * 2);
    text = U8(units);
  }
  std::string lines;
  for (size_t at = text.find('\n'); at != std::string::npos && at + 1 < text.size(); at = text.find('\n', at + 1)) {
    const std::string line = text.substr(at + 1, text.find('\n', at + 1) - at);
    lines += line.compare(0, 3, "202") == 0 && line.size() > 15 && line[3] >= '5' ? "<now>" + line.substr(15) : line;
  }
  return lines;
}

// A document of many units whose every tag takes one of the spellings drawn.
std::string DrawnDocument(std::mt19937& rng) {
  auto pick = [&](const std::vector<std::string>& v) { return v[rng() % v.size()]; };
  const std::vector<std::string> tuStarts = {
      "<tu creationdate=\"20190102T030405Z\" creationid=\"ANA\" usagecount=\"3\">",
      "<tu\r\ncreationdate='20190102T030405Z'\tusagecount=\"7\" >",
      "<tu creationdate = \"20190102T030405Z\">", "<tu creationid=ANA>", "<tu creationid=\"A<B\">",
      "<tu creationid=\"A\tB\" usagecount=\"1\">", "<tu creationid=\"say 'hi'\" a-b='x\"y'>",
      "<tu creationid=\"A\"usagecount=\"4\">", "<tu creationid=\"A\"/ >", "<tu bare creationid=\"A\">",
      "<tu a=\"1\" b=\"2\" c=\"3\" d=\"4\" e=\"5\" f=\"6\" g=\"7\" h=\"8\" i=\"9\" j=\"10\" k=\"11\" l=\"12\" m=\"13\" "
      "n=\"14\" o=\"15\" p=\"16\" creationid=\"SEVENTEEN\">",
      "<TU CreationId=\"\xC3\x84NA\" \xC3\xA4=\"1\">", "<tu creationid=\"J&amp;K\">",
      // Values around and beyond sixteen bytes, with what ends or breaks them at other places.
      "<tu creationid=\"0123456789abcde\">", "<tu creationid=\"0123456789abcdef\">",
      "<tu creationid=\"abcdefghijklmnopqrstuvwxyz0123456789\" usagecount=\"12345678901234567890\">",
      "<tu creationid=\"abcdefghijklmnopqrs\ttuvwxyz\">", "<tu creationid='abcdefghijklmnopq\"rstuvwxyz0123456789'>",
      "<tu creationid=\"abcdefghijklmnopq'rstuvwxyz\" usagecount='12345678901234567\"89'>",
      "<tu creationid=\"abcdefghijklmnopqrstu<vwxyz\">", "<tu creationid=\"abcdefghijklmnopqrstuvw\r\nxyz\">",
      "<tu creationid=\"abcdefghijklmnopqrstuvw\rxyz\">", "<tu creationid=\"abcdefghijklmnopqrstuvwxy\nz\">",
      "<tu creationid=\"abcdefghijklmnopqrstuvwxyz&amp;0123456789\xD0\xB4\xD0\xB0" "abcdefghij\">"};
  const std::vector<std::string> tuvs = {"<tuv xml:lang=\"en-US\">", "<tuv lang='EN-us'>", "<tuv\txml:lang=\"en-US\"\r\n>",
                                         "<tuv xml:lang=\"en-US\" changedate=\"20200101T000000Z\">"};
  const std::vector<std::string> targets = {"<tuv xml:lang=\"de-DE\">", "<tuv xml:lang='de-DE' creationid=\"T\" >"};
  const std::vector<std::string> segs = {
      "<seg>Plain text</seg>", "<seg>A <ph x=\"1\"/> b<bpt i='1'>&lt;b&gt;</bpt>c<ept i=\"1\"/></seg>",
      "<seg>x<!-- <a> --> y <![CDATA[<z>]]><?pi x?></seg>", "<seg>t<ph/>u<ph x=\"2\" /></seg >", "<seg/>",
      "<seg>a<hi type=\"b\">b</hi>c</ seg>", "<seg>\xD0\xB4\xD0\xB0 &amp; \xD0\xBD\xD0\xB5\xD1\x82</seg>",
      "<seg>a<ph x=1>q</ph>b<it pos=\"begin\"\n/>c</seg>", "<seg>e<bpt i=\"1\" x=\"a>b\">&lt;i&gt;</bpt></seg>",
      "<seg>q</SEG>", "<seg>q<ph>r</p>s</seg>", "<seg>q<ph>r</>s</seg>", "<seg>q<se'g>r</se'g>s</seg>",
      "<seg>q<ph>r</phx>s</seg>", "<seg>q<ph>r</ph/>s</seg>", "<seg>a<ph x=\"abcdefghijklmnopqrstu\rvwxyz\"/>b</seg>",
      "<seg>a<ph x=\"abcdefghijklmnopqrstuvwxyz<\"/>b<ph x='abcdefghijklmnopqrstuvwxyz\"'/>c</seg>",
      "<seg>a<ph x=\"abcdefghijklmnopqrstuvw\txyz\"/>b<ph x=\"abcdefghijklmnopqrstuvwxyz0123456789\"></ph>c</seg>"};
  // End tags close the element open, whatever their names.
  const std::vector<std::string> tuvEnds = {"</tuv\t>", "</TUV>", "</tu>", "</tuvx>", "</t'v>", "</>", "</tuv >"};
  const std::vector<std::string> props = {"", "<prop type=\"x-Client\">C&amp;D</prop>", "<prop type='x-Project'>P</prop>",
                                          "<note>n<b/></note>", "<prop type=\"x-Client\"/>"};
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!DOCTYPE tmx SYSTEM \"tmx14.dtd\">\r\n"
                    "<tmx version=\"1.4\"><header srclang=\"en-US\" creationdate=\"20180101T000000Z\"/><body>\n";
  for (int u = 0; u < 3000; ++u) {
    doc += pick(tuStarts) + pick(props) + "\n  " + pick(tuvs) + pick(segs) + "</tuv>" + pick(targets) + pick(segs) +
           (rng() % 4 ? "</tuv>" : pick(tuvEnds)) + "\r\n</tu>\n";
  }
  return doc + "</body></tmx>\n";
}

}  // namespace

TEST_F(DecodeTMX, ShortTagsReadAsTheStatesDo) {
  std::vector<std::string> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(MIRELCON_SOURCE_DIR "/tests/tm/golden/tmx"))
    if (entry.path().extension() == ".tmx") inputs.push_back(entry.path().string());
  std::sort(inputs.begin(), inputs.end());
  std::mt19937 rng(37);
  for (int d = 0; d < 3; ++d) {
    inputs.push_back(dir.File("drawn" + std::to_string(d) + ".tmx"));
    TempDir::Write(inputs.back(), DrawnDocument(rng));
  }
  size_t bytes = 0;
  for (const std::string& input : inputs) {
    for (const TCodeChar code : {ccUtf8, ccUnicode}) {
      SCOPED_TRACE(input + (code == ccUtf8 ? " UTF-8" : " UTF-16"));
      const std::string shortcut = ConvertedWith(input, true, code, dir);
      EXPECT_EQ(shortcut, ConvertedWith(input, false, code, dir));
      bytes += shortcut.size();
    }
  }
  EXPECT_GT(bytes, 500000u);  // the drawn documents gave units
}

// A UTF-8 text TM takes what stands for itself in the TMX as bytes, a UTF-16 one decodes every
// value and segment: both must hold the same units. Drawn here: attribute values of every length
// around a word of eight bytes, with references, TABs, line ends, controls and characters beyond
// ASCII at any place, on units and on their variants, and variants whose attributes are named
// beyond ASCII.
TEST_F(DecodeTMX, BytesTakenAsTheyStandReadAsDecodedOnes) {
  std::mt19937 rng(41);
  const std::vector<std::string> pieces = {"a", "Z", "7", " ", "&amp;", "&#9;", "&#x41;", "\t", "\r\n", "\x01",
                                           "\xC3\xA4", "\xE2\x82\xAC", "&lt;", ";", "-"};
  auto value = [&] {
    std::string v;
    for (size_t n = rng() % 20; n > 0; --n) v += pieces[rng() % pieces.size()];
    return v;
  };
  auto digits = [&] {
    std::string v = std::to_string(rng() % 100000);
    return rng() % 5 ? v : v + value();
  };
  auto date = [&] { return rng() % 5 ? std::string("20190102T030405Z") : "2019010" + value() + "Z"; };
  std::vector<std::string> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(MIRELCON_SOURCE_DIR "/tests/tm/golden/tmx"))
    if (entry.path().extension() == ".tmx") inputs.push_back(entry.path().string());
  std::sort(inputs.begin(), inputs.end());
  for (int d = 0; d < 2; ++d) {
    std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tmx version=\"1.4\"><header srclang=\"en-US\"/><body>\n";
    for (int u = 0; u < 2000; ++u) {
      doc += "<tu creationid=\"" + value() + "\" usagecount=\"" + digits() + "\" creationdate=\"" + date() + "\">";
      switch (rng() % 4) {
        case 0: doc += "<tuv xml:lang=\"en-US\">"; break;
        case 1: doc += "<tuv xml:lang=\"en-US\" changeid=\"" + value() + "\" usagecount=\"" + digits() + "\">"; break;
        case 2: doc += "<tuv changedate=\"" + date() + "\" xml:lang=\"en-US\">"; break;
        default: doc += "<tuv \xC3\xA4=\"1\" creationid=\"" + value() + "\" xml:lang=\"en-US\">"; break;
      }
      doc += "<seg>s" + value() + "</seg></tuv><tuv xml:lang=\"de-DE\"" +
             (rng() % 2 ? " lastusagedate=\"" + date() + "\"" : std::string()) + "><seg>" + value() + "t</seg></tuv></tu>\n";
    }
    inputs.push_back(dir.File("attrs" + std::to_string(d) + ".tmx"));
    TempDir::Write(inputs.back(), doc + "</body></tmx>\n");
  }
  // The units of the text TM written in the encoding given, in UTF-8 (lone surrogates keep
  // their forms, as the UTF-8 writer keeps them), the header line left out.
  auto units = [&](const std::string& input, TCodeChar code) {
    const std::string out = dir.File("bytes.txt");
    std::filesystem::remove(out);
    {
      TQMStream target(platform::Utf8ToUtf16(out), code, fmCreate);
      TDecodeTMX reader(platform::Utf8ToUtf16(input));
      reader.Convert(&target, platform::Utf8ToUtf16(out));
    }
    std::string text = TempDir::Read(out);
    if (code == ccUnicode) {
      std::u16string wide((text.size() - 2) / 2, u'\0');
      std::memcpy(wide.data(), text.data() + 2, wide.size() * 2);
      text.resize(wide.size() * 3);
      text.resize(static_cast<size_t>(platform::EncodeUtf8(wide, text.data(), platform::LoneSurrogate::Keep) - text.data()));
    }
    // A unit without a date of its own has the run's (the cases' own dates are all before 2025).
    std::string lines;
    for (size_t at = text.find('\n'); at != std::string::npos && at + 1 < text.size(); at = text.find('\n', at + 1)) {
      const std::string line = text.substr(at + 1, text.find('\n', at + 1) - at);
      lines += line.compare(0, 3, "202") == 0 && line.size() > 15 && line[3] >= '5' ? "<now>" + line.substr(15) : line;
    }
    return lines;
  };
  size_t bytes = 0;
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input);
    const std::string utf8 = units(input, ccUtf8);
    EXPECT_EQ(utf8, units(input, ccUnicode));
    bytes += utf8.size();
  }
  EXPECT_GT(bytes, 200000u);  // the drawn documents gave units
}

// ---------------------------------------------------------------------------------------------
// The reader knows its elements by name without case: every ASCII byte put in place of each
// character of each name (and names a character longer or shorter) gives the element whose
// name it is when folded to lower case, and no element else.
TEST(DecodeTMXNames, ElementsAreKnownByTheirNamesWithoutCase) {
  TDecodeTMX reader(u"");
  const std::vector<std::string> names = {"xml", "tmx", "header", "head", "tu", "tuv", "seg", "prop",
                                          "bpt", "ept", "ph", "it", "ut", "hi", "sub"};
  const int other = reader.ElementKind("body");
  auto expected = [&](std::string name) {
    for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return std::find(names.begin(), names.end(), name) != names.end() ? reader.ElementKind(name) : other;
  };
  size_t known = 0;
  for (const std::string& name : names) {
    ASSERT_NE(reader.ElementKind(name), other) << name;
    std::vector<std::string> spellings = {name + "s", name.substr(0, name.size() - 1), "x" + name};
    for (size_t at = 0; at < name.size(); ++at) {
      for (int b = 1; b < 0x80; ++b) {
        std::string s = name;
        s[at] = static_cast<char>(b);
        spellings.push_back(s);
      }
    }
    for (const std::string& s : spellings) {
      SCOPED_TRACE(s);
      EXPECT_EQ(reader.ElementKind(s), expected(s));
      known += reader.ElementKind(s) != other;
    }
  }
  EXPECT_GE(known, 90u);  // the upper-case spellings, and names made of others ("it" from "ut")
  for (const char* s : {"", "t", "tuvx", "headers", "TUV", "Header", "\xC3\xA4u"}) EXPECT_EQ(reader.ElementKind(s), expected(s)) << s;
}

// The attributes a unit takes its date, user and count from, named with every ASCII byte in
// place of each character: a tag whose names are all ASCII is looked up by key, one with a name
// beyond ASCII name by name, folded; both must give the same units. Dates with a byte other
// than a digit at each place are taken by the UTF-8 text TM as bytes and by the UTF-16 one
// decoded: both must hold the same units there too.
TEST_F(DecodeTMX, UnitFieldsFoundAlikeByKeyAndByFoldedName) {
  struct Attr {
    std::string name, value;
    int field;
  };
  const std::vector<Attr> attrs = {{"creationid", "someone", tfUserId},       {"changeid", "other", tfUserId},
                                   {"usagecount", "7", tfCount},              {"creationdate", "20190102T030405Z", tfDate},
                                   {"changedate", "20180102T030405Z", tfDate}, {"lastusagedate", "20170102T030405Z", tfDate}};
  std::string fast, folded;
  // Per unit: the field the attribute goes to and what it holds when the attribute is taken.
  std::vector<std::pair<int, std::string>> given;
  std::vector<bool> taken;
  auto add = [&](const Attr& a, const std::string& name, const std::string& value, bool take) {
    fast += Tu("s", "t", " " + name + "=\"" + value + "\"");
    folded += Tu("s", "t", " \xC3\xA4=\"1\" " + name + "=\"" + value + "\"");
    given.emplace_back(a.field, a.field == tfDate ? value.substr(0, 8) + "~" + value.substr(9, 6) : value);
    taken.push_back(take);
  };
  for (const Attr& a : attrs) {
    for (size_t at = 0; at < a.name.size(); ++at) {
      for (int b = 0x21; b < 0x7F; ++b) {
        if (std::strchr("\"'<>=/!?&", b)) continue;  // bytes that end a name
        std::string n = a.name;
        n[at] = static_cast<char>(b);
        add(a, n, a.value, b == a.name[at] || b + 32 == a.name[at]);
      }
    }
    add(a, a.name + "x", a.value, false);
    add(a, a.name.substr(1), a.value, false);
  }
  for (size_t at = 0; at < 16; ++at)
    for (const char c : std::string("/:0 9Ta\x7F")) {
      std::string d = "20160102T030405Z";
      d[at] = c;
      // A digit changed is taken while the date still exists (a month "90" does not).
      const auto number = [&](size_t from, size_t n) { return std::stoi(d.substr(from, n)); };
      const auto exists = [&] {
        return std::chrono::year_month_day(std::chrono::year(number(0, 4)), std::chrono::month(number(4, 2)),
                                           std::chrono::day(number(6, 2))).ok() &&
               number(9, 2) < 24 && number(11, 2) < 60 && number(13, 2) < 60;
      };
      add(attrs[3], "creationdate", d, at == 8 || at == 15 || ((c == '0' || c == '9') && exists()));
    }
  ASSERT_EQ(Convert(Tmx(fast), "fast.txt"), "");
  ASSERT_EQ(Convert(Tmx(folded), "folded.txt"), "");
  const TmFile a = Read("fast.txt"), b = Read("folded.txt");
  ASSERT_EQ(a.units.size(), given.size());
  ASSERT_EQ(b.units.size(), given.size());
  // A unit without a date of its own has the run's (the dates given here are all before 2025).
  auto date = [](const TTU& u) {
    const std::string d = F(u, tfDate);
    return d.compare(0, 3, "202") == 0 && d.size() > 3 && d[3] >= '5' ? std::string("<now>") : d;
  };
  for (size_t i = 0; i < given.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(date(a.units[i]), date(b.units[i]));
    for (int f : {tfUserId, tfCount}) EXPECT_EQ(F(a.units[i], f), F(b.units[i], f));
    EXPECT_EQ(F(a.units[i], given[i].first) == given[i].second, taken[i]);
  }

  // The same document into a UTF-16 text TM, where every value is decoded.
  TempDir::Write(dir.File("in.tmx"), Tmx(fast));
  auto lines = [&](const std::string& out, TCodeChar code) {
    {
      TQMStream target(platform::Utf8ToUtf16(dir.File(out)), code, fmCreate);
      TDecodeTMX reader(platform::Utf8ToUtf16(dir.File("in.tmx")));
      EXPECT_TRUE(reader.Convert(&target, platform::Utf8ToUtf16(dir.File(out))));
    }
    std::vector<std::string> units;
    for (const TTU& u : ReadTm(dir.File(out)).units) units.push_back(date(u) + "|" + F(u, tfUserId) + "|" + F(u, tfCount));
    return units;
  };
  EXPECT_EQ(lines("utf8.txt", ccUtf8), lines("utf16.txt", ccUnicode));
}

// An inline element's content is known by what it decodes to: spelt with other references in
// the target, it takes the source's placeholder, however often either spelling came before.
TEST_F(DecodeTMX, ContentsSpeltOtherwiseShareTheirPlaceholders) {
  std::string body;
  std::vector<std::string> expected;
  const std::vector<std::string> open = {"&lt;b&gt;", "&#60;b&#x3E;", "&#x3c;b>", "<![CDATA[<b>]]>"};
  const std::vector<std::string> close = {"&lt;/b&gt;", "&#60;/b&#62;", "&lt;/b>"};
  for (int u = 0; u < 60; ++u) {
    const std::string& o1 = open[u % 4];
    const std::string& o2 = open[(u / 4) % 4];
    const std::string& c1 = close[u % 3];
    const std::string& c2 = close[(u / 3) % 3];
    body += Tu("<bpt i=\"1\">" + o1 + "</bpt>x<ept i=\"1\">" + c1 + "</ept>",
               "<ept i=\"1\">" + c2 + "</ept>y<bpt i=\"1\">" + o2 + "</bpt>");
    expected.push_back("&tA;x&tB;|&tB;y&tA;");
  }
  ASSERT_EQ(Convert(Tmx(body)), "");
  EXPECT_EQ(Texts(Read()), expected);
}
