// The TMX reader into real text translation memories (TQMStream): third-party samples, round
// trips through the TMX writer, appending, and the cases that tell a sound reader from a faulty one.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/Utf8.h"
#include "app/core/Dispatch.h"
#include "app/core/TessalyUnit2.h"
#include "base/MyPump.h"
#include "base/MyWideStr.h"
#include "tests/support/AnsiCodePage.h"
#include "tests/support/TempDir.h"
#include "tests/support/StopPump.h"
#include "tm/MyDecodeTMX.h"
#include "tm/MyEncodeTMX.h"

namespace {

std::string U8(std::u16string_view s) { return platform::Utf16ToUtf8(s); }
std::u16string W(const std::string& utf8) { return platform::Utf8ToUtf16(utf8); }

struct Outcome {
  bool ok = false;
  int units = 0;
  std::string error;
};

// Converts tmx into out the way the conversion dispatch does: an existing output is opened for
// reading and writing, a new one is created as UTF-8 with its mark.
Outcome ConvertTmx(const std::string& tmx, const std::string& out, const std::vector<WideString>& props = {},
               const std::function<void(TDecodeTMX&)>& prepare = nullptr) {
  const bool exists = std::filesystem::exists(out);
  TQMStream s(W(out), exists ? ccNone : OutputEncoding, exists ? (fmOpenReadWrite | fmShareDenyWrite) : fmCreate);
  TDecodeTMX r(W(tmx));
  r.SetPropTypes(props);
  if (prepare) prepare(r);
  Outcome run;
  run.ok = r.Convert(&s, W(out));
  run.units = r.UnitCount;
  run.error = U8(r.ErrorText());
  return run;
}

struct TmFile {
  bool hasHeader = false;
  TTU header;
  std::vector<TTU> units;
};

TmFile ReadTm(const std::string& path) {
  TmFile tm;
  TQMStream s(W(path), ccNone, fmOpenRead | fmShareDenyWrite);
  TTU tu;
  tu.IsHeader = true;
  while (s.Read(tu) > 0) {
    if (tu.IsHeader) {
      tm.hasHeader = true;
      tm.header = tu;
    } else {
      tm.units.push_back(tu);
    }
    tu.IsHeader = false;
  }
  return tm;
}

std::string F(const TTU& tu, int field) { return U8(tu.Field(field)); }
std::string Pair(const TTU& tu) { return U8(tu.LangPair.Source) + ">" + U8(tu.LangPair.Target); }

std::string Tmx(const std::string& header, const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<tmx version=\"1.4\">\r\n" + header + "\r\n<body>\r\n" + body +
         "</body>\r\n</tmx>\r\n";
}
const std::string kHeader = "<header srclang=\"en-US\" creationid=\"Hdr\" creationdate=\"20250102T030405Z\"></header>";

std::string Tuv(const std::string& lang, const std::string& seg, const std::string& attrs = "") {
  return "<tuv xml:lang=\"" + lang + "\"" + attrs + "><seg>" + seg + "</seg></tuv>";
}
std::string Tu(const std::string& src, const std::string& tgt, const std::string& attrs = "", const std::string& more = "") {
  return "<tu" + attrs + ">" + more + Tuv("en-US", src) + Tuv("fr-FR", tgt) + "</tu>\r\n";
}

std::string Line(std::initializer_list<std::string> fields) {
  std::string s;
  for (const auto& f : fields) s += (s.empty() ? "" : "\t") + f;
  return s;
}
const std::string kTmHeader = "%20260105~143000\t%User ID,AB\t%TU=00000002\t%EN-US\t%Quillmar TM v.5.53/00\t%FR-FR\t%---79532885"
                              "\tClient\t0123456789\t%" + std::string(20, ' ') + ".";

std::string Unit(const std::string& src, const std::string& tgt, const std::string& attr = "") {
  std::string s = Line({"20260106~093000", "ANA", "3", "EN-US", src, "FR-FR", tgt});
  return attr.empty() ? s : s + "\t" + attr;
}

std::string Crlf(std::initializer_list<std::string> lines) {
  std::string s = "\xEF\xBB\xBF";
  for (const auto& l : lines) s += l + "\r\n";
  return s;
}

const std::string kShared = MIRELCON_SHARED_DATA;

// prefix + number, built by appending (g++ 12 warns falsely about "literal" + std::string here).
std::string Numbered(const char* prefix, int i) {
  std::string s(prefix);
  s.append(std::to_string(i));
  return s;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The third-party samples of the shared data folder.
class SharedTmxSamples : public ::testing::Test {
protected:
  void SetUp() override {
    if (!std::filesystem::exists(kShared + "/ImportTest1A.tmx"))
      GTEST_SKIP() << "shared TMX samples not found in " << kShared;
  }
  TmFile Convert(const std::string& name, int expectedUnits) {
    const std::string out = dir.File(name + ".txt");
    const Outcome r = ConvertTmx(kShared + "/" + name, out);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.units, expectedUnits) << name;
    TmFile tm = ReadTm(out);
    EXPECT_TRUE(tm.hasHeader) << name;
    EXPECT_EQ(tm.header.GetCount(), expectedUnits) << name;
    EXPECT_EQ(tm.units.size(), static_cast<size_t>(expectedUnits)) << name;
    return tm;
  }
  TempDir dir;
};

// UTF-16LE with its mark; character references of TABs become the field escape.
TEST_F(SharedTmxSamples, ImportTest1A) {
  TmFile tm = Convert("ImportTest1A.tmx", 2);
  ASSERT_EQ(tm.units.size(), 2u);
  EXPECT_EQ(Pair(tm.header), "en-us>fr-ca");
  EXPECT_EQ(F(tm.units[0], tfSource), "First segment with [&'9;&'9;   ]");
  EXPECT_EQ(F(tm.units[0], tfTarget), "Premier segment avec [&'9;&'9;   ]");
  EXPECT_EQ(F(tm.units[1], tfTarget), "Second segment avec [  &'9;&'9;]");
}

// Line ends and TABs inside tags, single quotes, blanks around "=", mixed-case codes.
TEST_F(SharedTmxSamples, ImportTest1B) {
  TmFile tm = Convert("ImportTest1B.tmx", 1);
  ASSERT_EQ(tm.units.size(), 1u);
  EXPECT_EQ(F(tm.units[0], tfSource), "Text of the segment");
  EXPECT_EQ(F(tm.units[0], tfTarget), "Texte du segment");
  EXPECT_EQ(Pair(tm.units[0]), "en-us>fR-Ca");
}

// Five languages per unit in varying order: the pair is the header's source and the first other
// language met; the US English variant is the source even where the UK one comes first.
TEST_F(SharedTmxSamples, ImportTest1C) {
  TmFile tm = Convert("ImportTest1C.tmx", 3);
  ASSERT_EQ(tm.units.size(), 3u);
  EXPECT_EQ(Pair(tm.header), "en-us>en-gb");
  const char* ordinals[] = {"First", "Second", "Third"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(F(tm.units[i], tfSource), std::string(ordinals[i]) + " entry in US English");
    EXPECT_EQ(F(tm.units[i], tfTarget), std::string(ordinals[i]) + " entry in UK English");
  }
}

TEST_F(SharedTmxSamples, ImportTest1D) {
  TmFile tm = Convert("ImportTest1D.tmx", 3);
  ASSERT_EQ(tm.units.size(), 3u);
  EXPECT_EQ(F(tm.units[0], tfSource), "\xC3\xA0=agrave, \xC3\xA9=eacute, \xC3\xA6=aelig");
  EXPECT_EQ(F(tm.units[0], tfTarget), F(tm.units[0], tfSource));
  EXPECT_EQ(F(tm.units[1], tfSource), "\xC3\xBF=U+00FF, \xE2\x84\xA2=U+2122, \xE2\x80\x99=U+2019");
  EXPECT_EQ(F(tm.units[1], tfTarget), F(tm.units[1], tfSource));
  EXPECT_EQ(F(tm.units[2], tfTarget), "\xE2\x80\x9C=U+201C, \xE2\x80\x93=U+2013, \xC2\xA4=U+00A4");
  EXPECT_EQ(F(tm.units[2], tfSource), F(tm.units[2], tfTarget));
}

// Inline elements out of order, it, ph, hi, escaped specials, a variant order inverted.
TEST_F(SharedTmxSamples, ImportTest2A) {
  TmFile tm = Convert("ImportTest2A.tmx", 7);
  ASSERT_EQ(tm.units.size(), 7u);
  const auto& u = tm.units;
  EXPECT_EQ(F(u[0], tfSource), "The big &tA;black&tB; &tC;cat&tD; sleeps.");
  EXPECT_EQ(F(u[0], tfTarget), "Le gros &tC;chat&tD; &tA;noir&tB; dors.");
  EXPECT_EQ(F(u[1], tfSource), "Test for special characters = &tA;<&tB;=lt, &tA;>&tB;=gt, &tA;&&tB;=amp, "
                               "&tA;\"&tB;=quot.");
  EXPECT_EQ(F(u[1], tfTarget), "Test pour caract\xC3\xA8res sp\xC3\xA9" "ciaux = &tA;<&tB;=lt, &tA;>&tB;=gt, "
                               "&tA;&&tB;=amp, &tA;\"&tB;=quot.");
  EXPECT_EQ(F(u[2], tfSource), "Nested formatting = &tA;&tB;&tC;Bold+Italic+Underlined&tD;, Bold+Italic&tE;, Bold&tF;.");
  EXPECT_EQ(F(u[2], tfTarget), "Format en gigogne = &tA;&tB;&tC;gras+italique+soulign\xC3\xA9&tD;, gras+italique&tE;, "
                               "gras&tF;.");
  EXPECT_EQ(F(u[3], tfSource), "First &tA;sentence.");
  EXPECT_EQ(F(u[3], tfTarget), "Premi\xC3\xA8re &tA;phrase.");
  EXPECT_EQ(F(u[4], tfSource), "Second&tA; sentence.");
  EXPECT_EQ(F(u[4], tfTarget), "Seconde&tA; phrase.");
  EXPECT_EQ(F(u[5], tfSource), "Picture: &tA;");
  EXPECT_EQ(F(u[5], tfTarget), "Image: &tA;");
  EXPECT_EQ(Pair(u[5]), "en-us>FR-CA");
  // Highlighted words stay text between the placeholders of the hi element's start and end.
  EXPECT_EQ(F(u[6], tfSource), "Some text with &tA;a part highlighted&tB;.");
  EXPECT_EQ(F(u[6], tfTarget), "Du texte avec &tA;une portion d\xC3\xA9limit\xC3\xA9" "e&tB;.");
}

// Header properties and notes, an element inside an inline element, a target without region.
TEST_F(SharedTmxSamples, HeaderWithPropAndNote) {
  TmFile tm = Convert("header_with_prop_and_note.tmx", 1);
  ASSERT_EQ(tm.units.size(), 1u);
  EXPECT_EQ(Pair(tm.header), "en-us>fr");
  EXPECT_EQ(F(tm.units[0], tfSource), "&tA;&tB;Click &tC; to &tD;start&tE;.&tF;");
  // The sub text is part of its code, which the target translates: the code differs from the
  // source's and comes in the open form.
  EXPECT_EQ(F(tm.units[0], tfTarget),
            "&tB;&tA;Cliquez &t=<IMG SRC=\"here.png\" ALT=\"Commencez ici !\">; pour &tD;commencer&tE;.&tF;");
}

// ---------------------------------------------------------------------------------------------
// References to bytes of the ANSI code page are decoded through it by the writer: fixed here.
class DecodeTMXRoundTrip : public WithAnsiCodePage<1252> {};

// Text TM -> TMX -> text TM gives the same units: placeholders of every kind (also adjacent
// ones, which the writer joins), open forms, field escapes, emoji, attributes and user names
// with ampersands.
TEST_F(DecodeTMXRoundTrip, TextTmThroughTmxGivesTheSameUnits) {
  const std::vector<std::string> units = {
      Unit("Hello &tA;world&tB; &fC; &pD;&sE; &jF;.", "Bonjour &tA;monde&tB; &fC; &pD;&sE; &jF;.", "ACME & Co <1>"),
      Unit("&tA;&tB;x", "&tB;x&tA;"),
      Unit("Click &tA; now", "Cliquez &t=<b class=\"k\">; &tA;"),
      Unit("a&b &'26;tA; &'A0;&'A9;&'AE;&'BC;&'BD;&'BE; &lt;", "&& x &'26;#9; &'9;&'A;&'D;"),
      Unit("\xF0\x9F\x98\x80 &tA; \xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD \xCE\xA9 \xD0\xB6 \xE6\xBC\xA2\xE5\xAD\x97",
           "\xF0\x9F\x98\x80&tA;"),
      Line({"20250101~000000", "R&D \"x\"", "0", "EN-US", "quotes \" ' > and ; \\", "FR-FR", "t"}),
  };
  std::string tm = "\xEF\xBB\xBF" + kTmHeader + "\r\n";
  for (const auto& u : units) tm += u + "\r\n";
  TempDir dir;
  TempDir::Write(dir.File("in.txt"), tm);
  for (int trip = 0; trip < 2; ++trip) {
    SCOPED_TRACE(trip);
    const std::string from = dir.File(trip == 0 ? "in.txt" : "back0.txt");
    const std::string tmx = dir.File("trip" + std::to_string(trip) + ".tmx");
    const std::string back = dir.File("back" + std::to_string(trip) + ".txt");
    {
      TQMStream s(W(from), ccNone, fmOpenRead | fmShareDenyWrite);
      TEncodeTMX w(&s);
      ASSERT_TRUE(w.Convert(W(tmx), ccUtf8));
    }
    const Outcome r = ConvertTmx(tmx, back, {u"Client"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.units, static_cast<int>(units.size()));
    TmFile a = ReadTm(dir.File("in.txt")), b = ReadTm(back);
    ASSERT_EQ(a.units.size(), b.units.size());
    for (size_t i = 0; i < a.units.size(); ++i)
      for (int f = 0; f <= 7; ++f) EXPECT_EQ(F(b.units[i], f), F(a.units[i], f)) << "unit " << i << " field " << f;
    EXPECT_EQ(Pair(b.header), "EN-US>FR-FR");
    EXPECT_EQ(b.header.GetCount(), static_cast<int>(units.size()));
    EXPECT_EQ(U8(b.header.GetUserID()), "AB");
    EXPECT_EQ(F(b.header, tfDate), "20260105~143000");
    EXPECT_EQ(F(b.header, tfAttributes), "Client");
  }
}

// ---------------------------------------------------------------------------------------------
class DecodeTMX : public ::testing::Test {
protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    TempDir::Write(dir.File(name), bytes);
    return dir.File(name);
  }
  TempDir dir;
};

// Each run adds its units at the end; the header counts all of them and keeps its pair.
TEST_F(DecodeTMX, AppendingTwiceRaisesTheCountEachTime) {
  const std::string out = dir.File("tm.txt");
  const std::string first = Write("a.tmx", Tmx(kHeader, Tu("One", "Un") + Tu("Two", "Deux") + Tu("Three", "Trois")));
  // A second file of another source language: appending keeps the translation memory's pair.
  const std::string second =
      Write("b.tmx", Tmx("<header srclang=\"de-DE\"/>", "<tu>" + Tuv("de-DE", "Vier") + Tuv("fr-FR", "Quatre") +
                                                            Tuv("en-US", "Four") + "</tu>" + Tu("Five", "Cinq")));
  Outcome r = ConvertTmx(first, out);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.units, 3);
  TmFile tm = ReadTm(out);
  EXPECT_EQ(tm.header.GetCount(), 3);
  const std::string headerLine = U8(tm.header.GetLine());
  r = ConvertTmx(second, out);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.units, 2);
  tm = ReadTm(out);
  EXPECT_EQ(tm.header.GetCount(), 5);
  EXPECT_EQ(Pair(tm.header), "en-US>fr-FR");
  ASSERT_EQ(tm.units.size(), 5u);
  EXPECT_EQ(F(tm.units[3], tfSource), "Four");
  EXPECT_EQ(F(tm.units[3], tfTarget), "Quatre");
  EXPECT_EQ(F(tm.units[4], tfSource), "Five");
  r = ConvertTmx(second, out);
  EXPECT_EQ(ReadTm(out).header.GetCount(), 7);
  // Only the count changed in the header line.
  std::string expectedLine = headerLine;
  expectedLine.replace(expectedLine.find("TU=00000003"), 11, "TU=00000007");
  EXPECT_EQ(U8(ReadTm(out).header.GetLine()), expectedLine);
  EXPECT_EQ(TempDir::Read(out).find("\n%"), std::string::npos);  // one header
}

// An existing translation memory of 10 units and a TMX of 5: 15, pair unchanged, one header.
TEST_F(DecodeTMX, AppendsToAnExistingTranslationMemory) {
  std::string header = kTmHeader;
  header.replace(header.find("TU=00000002"), 11, "TU=00000010");
  std::string tm = Crlf({header});
  for (int i = 0; i < 10; ++i) tm += Unit("old " + std::to_string(i), "vieux") + "\r\n";
  const std::string out = Write("tm.txt", tm);
  std::string body;
  for (int i = 0; i < 5; ++i) body += Tu("new " + std::to_string(i), "neuf");
  const Outcome r = ConvertTmx(Write("in.tmx", Tmx(kHeader, body)), out);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.units, 5);
  TmFile t = ReadTm(out);
  EXPECT_EQ(t.header.GetCount(), 15);
  EXPECT_EQ(Pair(t.header), "EN-US>FR-FR");
  ASSERT_EQ(t.units.size(), 15u);
  EXPECT_EQ(F(t.units[9], tfSource), "old 9");
  EXPECT_EQ(F(t.units[10], tfSource), "new 0");
  const std::string bytes = TempDir::Read(out);
  std::string before = bytes.substr(0, tm.size());
  EXPECT_EQ(before.replace(before.find("TU=00000015"), 11, "TU=00000010"), tm);
}

// Any other existing output is someone's file: an error naming it, and not a byte changed.
TEST_F(DecodeTMX, ExistingFileThatIsNoTranslationMemoryIsLeftUntouched) {
  const std::string tmx = Write("in.tmx", Tmx(kHeader, Tu("One", "Un")));
  for (const std::string& bytes : {std::string("Shopping list\r\nmilk\r\n"), Crlf({Unit("headerless", "unit")}),
                                   std::string("\r\n"), std::string("x")}) {
    const std::string out = Write("notes.txt", bytes);
    const Outcome r = ConvertTmx(tmx, out);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.units, 0);
    EXPECT_EQ(r.error, "The file \"" + out + "\" is not a text translation memory; nothing was added to it.");
    EXPECT_EQ(TempDir::Read(out), bytes);
  }
}

// A header whose line cannot keep its length (a short count, no filler) is rewritten through
// a temporary file: the first unit is never overwritten, the file keeps its permissions.
TEST_F(DecodeTMX, HeaderThatCannotKeepItsLengthIsRewrittenWhole) {
  const std::string header = "%20260105~143000\t%User ID,AB\t%TU=2\t%EN-US\t%Quillmar TM v.5.53/00\t%FR-FR\t%x\tClient";
  const std::string out = Write("tm.txt", Crlf({header, Unit("old 1", "vieux 1"), Unit("old 2", "vieux 2")}));
  ::chmod(out.c_str(), 0640);
  const Outcome r = ConvertTmx(Write("in.tmx", Tmx(kHeader, Tu("new", "neuf"))), out);
  ASSERT_TRUE(r.ok) << r.error;
  TmFile t = ReadTm(out);
  EXPECT_EQ(t.header.GetCount(), 3);
  ASSERT_EQ(t.units.size(), 3u);
  EXPECT_EQ(F(t.units[0], tfSource), "old 1");
  EXPECT_EQ(F(t.units[2], tfSource), "new");
  EXPECT_EQ(TempDir::Read(out).substr(0, 3), "\xEF\xBB\xBF");
  struct stat st;
  ASSERT_EQ(::stat(out.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_EQ(entry.path().extension(), entry.path().filename() == "in.tmx" ? ".tmx" : ".txt") << entry.path();
}

// With a filler field the header absorbs a longer count in place, and keeps its length.
TEST_F(DecodeTMX, FillerAbsorbsALongerCount) {
  std::string header = kTmHeader;
  header.replace(header.find("TU=00000002"), 11, "TU=2");
  const std::string tm = Crlf({header, Unit("old 1", "vieux 1"), Unit("old 2", "vieux 2")});
  const std::string out = Write("tm.txt", tm);
  const Outcome r = ConvertTmx(Write("in.tmx", Tmx(kHeader, Tu("new", "neuf"))), out);
  ASSERT_TRUE(r.ok) << r.error;
  const std::string bytes = TempDir::Read(out);
  const size_t firstUnit = tm.find("\r\n") + 2;
  EXPECT_EQ(bytes.find("\r\n") + 2, firstUnit);
  EXPECT_EQ(bytes.substr(firstUnit, tm.size() - firstUnit), tm.substr(firstUnit));
  TmFile t = ReadTm(out);
  EXPECT_EQ(t.header.GetCount(), 3);
  EXPECT_EQ(t.units.size(), 3u);
}

// A last line without its end would swallow the first new unit.
TEST_F(DecodeTMX, LastLineWithoutItsEndStaysALine) {
  std::string tm = Crlf({kTmHeader}) + Unit("old", "caf\xC3\xA9");
  const std::string out = Write("tm.txt", tm);
  const Outcome r = ConvertTmx(Write("in.tmx", Tmx(kHeader, Tu("new", "neuf"))), out);
  ASSERT_TRUE(r.ok) << r.error;
  TmFile t = ReadTm(out);
  ASSERT_EQ(t.units.size(), 2u);
  EXPECT_EQ(F(t.units[0], tfTarget), "caf\xC3\xA9");
  EXPECT_EQ(F(t.units[1], tfSource), "new");
  EXPECT_EQ(t.header.GetCount(), 3);  // the 2 it said, and 1
}

// ---------------------------------------------------------------------------------------------
// A unit needs both languages of the pair; a third language is ignored; two variants of one
// language are one language.
TEST_F(DecodeTMX, LanguageFiltering) {
  const std::string body = "<tu>" + Tuv("en-US", "A") + Tuv("fr-FR", "a") + Tuv("de-DE", "DE") + "</tu>" +
                           "<tu>" + Tuv("en-US", "only source") + "</tu>" +
                           "<tu>" + Tuv("en-US", "B") + Tuv("EN-us", "B2") + Tuv("en-GB", "B3") + "</tu>" +
                           "<tu>" + Tuv("de-DE", "C") + Tuv("fr-CA", "c") + Tuv("en-US", "C") + "</tu>" +
                           "<tu>" + Tuv("fr-FR", "d") + Tuv("en-US", "D") + Tuv("fr-CA", "d2") + "</tu>";
  const Outcome r = ConvertTmx(Write("in.tmx", Tmx(kHeader, body)), dir.File("out.txt"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.units, 3);
  TmFile t = ReadTm(dir.File("out.txt"));
  ASSERT_EQ(t.units.size(), 3u);
  EXPECT_EQ(Pair(t.header), "en-US>fr-FR");
  EXPECT_EQ(F(t.units[0], tfTarget), "a");
  // A target of the same language stands in when the exact code is missing.
  EXPECT_EQ(F(t.units[1], tfTarget), "c");
  EXPECT_EQ(Pair(t.units[1]), "en-US>fr-CA");
  EXPECT_EQ(F(t.units[2], tfTarget), "d");
  EXPECT_EQ(F(t.units[2], tfSource), "D");
}

// The header's source language decides the pair unless no variant carries it.
TEST_F(DecodeTMX, SourceLanguageOfTheHeader) {
  struct Case {
    std::string header, firstTu, pair;
    int units;
  };
  const std::string frFirst = "<tu>" + Tuv("fr-FR", "un") + Tuv("en-US", "one") + "</tu>";
  const Case cases[] = {
      {"<header srclang=\"*all*\"/>", frFirst, "fr-FR>en-US", 2},
      {"<header srclang=\"de-DE\" adminlang=\"en-US\"/>", frFirst, "fr-FR>en-US", 2},
      {"<header srclang=\"en\"/>", frFirst, "en-US>fr-FR", 2},
      {"<header adminlang=\"en-US\"/>", frFirst, "en-US>fr-FR", 2},
      {"<header/>", frFirst, "fr-FR>en-US", 2},
      {"<header srclang=\"zh-Hans-CN\"/>",
       "<tu>" + Tuv("en", "one") + Tuv("zh-Hans-CN", "yi") + "</tu>" + "<tu>" + Tuv("zh-Hans-CN", "er") + Tuv("en", "two") + "</tu>",
       "zh-CN>en", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    const std::string out = dir.File("out.txt");
    std::filesystem::remove(out);
    const Outcome r = ConvertTmx(Write("in.tmx", Tmx(c.header, c.firstTu + Tu("two", "deux"))), out);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.units, c.units);
    TmFile t = ReadTm(out);
    EXPECT_EQ(Pair(t.header), c.pair);
    EXPECT_EQ(t.units.size(), static_cast<size_t>(c.units));
  }
}

// A self-closing header is read like an open one; the TMX 1.1 "lang" attribute names languages.
TEST_F(DecodeTMX, SelfClosingHeaderAndTmx11Languages) {
  const std::string tmx = Write("in.tmx", Tmx("<header srclang=\"FR\" creationid=\"Me\" creationdate=\"20240101T101010Z\"/>",
                                              "<tu><tuv lang=\"EN\"><seg>one</seg></tuv><tuv lang=\"FR\"><seg>un</seg></tuv></tu>"));
  const Outcome r = ConvertTmx(tmx, dir.File("out.txt"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.units, 1);
  TmFile t = ReadTm(dir.File("out.txt"));
  EXPECT_EQ(Pair(t.header), "FR>EN");
  EXPECT_EQ(U8(t.header.GetUserID()), "Me");
  EXPECT_EQ(F(t.header, tfDate), "20240101~101010");
  ASSERT_EQ(t.units.size(), 1u);
  EXPECT_EQ(F(t.units[0], tfSource), "un");
  EXPECT_EQ(F(t.units[0], tfTarget), "one");
}

// Chosen properties land in fields 7 onwards, by their place in the list; other properties,
// and those of the header, land nowhere; nothing of one unit stays for the next.
TEST_F(DecodeTMX, PropertiesBecomeAttributesAndNothingLeaks) {
  const std::string body =
      Tu("One", "Un", " creationid=\"Ann\" usagecount=\"4\" creationdate=\"20240203T040506Z\"",
         "<prop type=\"x-C\">third</prop><prop type=\"x-Other\">dropped</prop><prop type=\"x-A\">A &amp; B</prop>") +
      "<tu creationid=\"Skipped\"><prop type=\"x-B\">lost</prop>" + Tuv("en-US", "no target") + "</tu>" +
      Tu("Two", "Deux");
  const std::string header = "<header srclang=\"en-US\"><prop type=\"x-A\">header prop</prop></header>";
  const Outcome r = ConvertTmx(Write("in.tmx", Tmx(header, body)), dir.File("out.txt"), {u"x-A", u"x-B", u"X-C"});
  ASSERT_TRUE(r.ok) << r.error;
  TmFile t = ReadTm(dir.File("out.txt"));
  ASSERT_EQ(t.units.size(), 2u);
  EXPECT_EQ(F(t.header, 7), "x-A");
  EXPECT_EQ(F(t.header, 11), "X-C");
  EXPECT_EQ(F(t.units[0], 7), "A & B");
  EXPECT_EQ(F(t.units[0], 8), "");
  EXPECT_EQ(F(t.units[0], 9), "");
  EXPECT_EQ(F(t.units[0], 11), "third");
  EXPECT_EQ(F(t.units[0], tfUserId), "Ann");
  EXPECT_EQ(F(t.units[0], tfCount), "4");
  EXPECT_EQ(F(t.units[0], tfDate), "20240203~040506");
  EXPECT_EQ(t.units[1].Count(), 7);
  EXPECT_EQ(F(t.units[1], tfUserId), "Unknown");
  EXPECT_EQ(F(t.units[1], tfCount), "0");
}

// Equal content gets one letter in source and target; content only the target has is written
// in the open form. Keys are digests of UTF-8, so contents that an ANSI page cannot tell apart
// stay apart.
TEST_F(DecodeTMX, InlineElementsBecomePlaceholders) {
  const std::string body =
      Tu("<ph>&lt;x/&gt;</ph>a<bpt i=\"1\">&lt;b&gt;</bpt>b<ept i=\"1\">&lt;/b&gt;</ept>",
         "<bpt i=\"1\">&lt;b&gt;</bpt>B<ept i=\"1\">&lt;/b&gt;</ept>A<ph>&lt;x/&gt;</ph><ph>&lt;z/&gt;</ph>") +
      Tu("<ph>\xD0\x96</ph> x", "<ph>\xD0\xAF</ph> x") +
      Tu("<ph>&amp;lt;</ph> &amp; <ut>{\\b </ut>", "<ph>&amp;gt;</ph>&amp;<ut>{\\b </ut> <it>a;b\tc</it>") +
      Tu("<hi>x</hi>", "<hi>y<ph>&lt;br/&gt;</ph>z</hi>");
  const Outcome r = ConvertTmx(Write("in.tmx", Tmx(kHeader, body)), dir.File("out.txt"));
  ASSERT_TRUE(r.ok) << r.error;
  TmFile t = ReadTm(dir.File("out.txt"));
  ASSERT_EQ(t.units.size(), 4u);
  EXPECT_EQ(F(t.units[0], tfSource), "&tA;a&tB;b&tC;");
  EXPECT_EQ(F(t.units[0], tfTarget), "&tB;B&tC;A&tA;&t=<z/>;");
  EXPECT_EQ(F(t.units[1], tfSource), "&tA; x");
  EXPECT_EQ(F(t.units[1], tfTarget), "&t=\xD0\xAF; x");
  // Decoded once: "&amp;lt;" is the text "&lt;" in the open form, never "<" nor "&amp;lt;".
  EXPECT_EQ(F(t.units[2], tfSource), "&tA; & &tB;");
  EXPECT_EQ(F(t.units[2], tfTarget), "&t=&gt\\;;&&tB; &t=a\\;b c;");
  // hi keeps its words; a code inside it is a code of its own.
  EXPECT_EQ(F(t.units[3], tfSource), "&tA;x&tB;");
  EXPECT_EQ(F(t.units[3], tfTarget), "&tA;y&t=<br/>;z&tB;");
}

// Dates, counts and languages that would make lines no reader takes fall back to defaults; a
// unit without source text is none.
TEST_F(DecodeTMX, ValuesThatWouldSpoilTheLineFallBack) {
  const std::string body =
      Tu("One", "Un", " creationdate=\"2024-02-03T04:05:06Z\" usagecount=\"-1\" creationid=\"a&#9;b\"") +
      Tu("  ", "vide") + Tu("Two", "Deux", " changedate=\"20240203T040506Z\"");
  const Outcome r = ConvertTmx(Write("in.tmx", Tmx(kHeader, body)), dir.File("out.txt"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.units, 2);
  TmFile t = ReadTm(dir.File("out.txt"));
  ASSERT_EQ(t.units.size(), 2u);
  EXPECT_EQ(F(t.units[0], tfCount), "0");
  EXPECT_EQ(F(t.units[0], tfUserId), "a b");
  EXPECT_EQ(F(t.units[0], tfDate).size(), 15u);
  EXPECT_EQ(F(t.units[1], tfDate), "20240203~040506");
}

// Malformed input never crashes and never writes what is not there.
TEST_F(DecodeTMX, MisplacedElementsAndMissingTmx) {
  struct Case {
    std::string bytes;
    int units;
  };
  const Case cases[] = {
      {"<header srclang=\"en-US\"/><body>" + Tu("One", "Un") + "</body>", 0},
      {"", 0},
      {"<<<>>></></></>?<?<!<!--", 0},
      {Tmx(kHeader, "<seg>loose</seg><tuv xml:lang=\"en-US\"><seg>x</seg></tuv>" + Tu("One", "Un") +
                        "<tu><seg>in tu</seg><tuv xml:lang=\"fr-FR\"><tu>" + Tuv("en-US", "nested") + "</tu></tuv></tu>" +
                        "<header srclang=\"fr-FR\"/>" + Tu("Two", "Deux")),
       2},
      {"<tmx><tmx><body>" + Tu("One", "Un") + "</body></tmx></tmx>", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::string out = dir.File("out.txt");
    std::filesystem::remove(out);
    const Outcome r = ConvertTmx(Write("in.tmx", c.bytes), out);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.units, c.units);
    TmFile t = ReadTm(out);
    EXPECT_EQ(t.units.size(), static_cast<size_t>(c.units));
    if (c.units) {
      EXPECT_EQ(t.header.GetCount(), c.units);
    }
  }
}

// A stop keeps what was written, and the header counts exactly that.
TEST_F(DecodeTMX, StopKeepsTheHeaderCountEqualToTheUnitsWritten) {
  std::string body;
  for (int i = 0; i < 50; ++i) body += Tu(Numbered("u", i), "v");
  const std::string out = dir.File("out.txt");
  const Outcome r = ConvertTmx(Write("in.tmx", Tmx(kHeader, body)), out, {}, [](TDecodeTMX& d) {
    d.SetProgressEvent([&d](int) {
      if (d.UnitCount >= 7) d.Abort();
    });
  });
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.units, 7);
  TmFile t = ReadTm(out);
  EXPECT_EQ(t.units.size(), 7u);
  EXPECT_EQ(t.header.GetCount(), 7);
}

// Encodings: a declaration of UTF-8 in any case on a file without a mark; ANSI without one.
TEST_F(DecodeTMX, EncodingFromTheDeclaration) {
  const std::string body = Tu("caf\xC3\xA9", "\xE2\x82\xAC");
  std::string tmx = Tmx(kHeader, body);
  tmx.replace(tmx.find("UTF-8"), 5, "utf-8");
  ASSERT_TRUE(ConvertTmx(Write("in.tmx", tmx), dir.File("out.txt")).ok);
  TmFile t = ReadTm(dir.File("out.txt"));
  ASSERT_EQ(t.units.size(), 1u);
  EXPECT_EQ(F(t.units[0], tfSource), "caf\xC3\xA9");
  EXPECT_EQ(F(t.units[0], tfTarget), "\xE2\x82\xAC");
}

TEST_F(DecodeTMX, InputThatCannotBeOpenedOrOutputThatCannotBeWritten) {
  const std::string missing = dir.File("missing.tmx");
  Outcome r = ConvertTmx(missing, dir.File("out.txt"));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "Cannot open file \"" + missing + "\". No such file or directory.");
  EXPECT_EQ(TempDir::Read(dir.File("out.txt")), "\xEF\xBB\xBF");

  // An output the stream could only read.
  const std::string tmx = Write("in.tmx", Tmx(kHeader, Tu("One", "Un")));
  const std::string out = Write("ro.txt", "");
  TQMStream s(W(out), ccNone, fmOpenRead | fmShareDenyWrite);
  TDecodeTMX d(W(tmx));
  EXPECT_FALSE(d.Convert(&s, W(out)));
  EXPECT_EQ(d.UnitCount, 0);
  EXPECT_EQ(U8(d.ErrorText()).rfind("Cannot write file \"" + out + "\".", 0), 0u) << U8(d.ErrorText());
}

// A disk that fills up makes the conversion fail; the file size limit stands in for it.
TEST_F(DecodeTMX, WriteFailureIsReported) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string body;
  for (int i = 0; i < 2000; ++i) body += Tu("unit number " + std::to_string(i), "unite");
  const std::string tmx = Write("in.tmx", Tmx(kHeader, body));
  const std::string out = dir.File("out.txt");
  const std::string expected = "Cannot write file \"" + out + "\". File too large.";
  auto run = [&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{16384, 16384};
    setrlimit(RLIMIT_FSIZE, &limit);
    const Outcome r = ConvertTmx(tmx, out);
    std::_Exit(!r.ok && r.error == expected && r.units < 2000 ? 0 : 1);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}


// Events are pumped by the clock, not per element, and Stop reaches the reader through them.
TEST_F(DecodeTMX, PumpsEventsByTheClock) {
  std::string body;
  for (int i = 0; i < 3000; ++i) body += Tu(Numbered("u", i), "v");
  const std::string tmx = Write("in.tmx", Tmx(kHeader, body));
  StopPump<TDecodeTMX> pump;
  SetMessagePump(&pump);
  const auto start = std::chrono::steady_clock::now();
  Outcome r = ConvertTmx(tmx, dir.File("a.txt"));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.units, 3000);
  EXPECT_LE(pump.pumped, ms / 50 + 1);

  // A slow reader is pumped within its first units, and the Stop ends it there.
  pump.pumped = 0;
  r = ConvertTmx(tmx, dir.File("b.txt"), {}, [&pump](TDecodeTMX& d) {
    pump.job = &d;
    d.SetProgressEvent([](int) { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
  });
  SetMessagePump(nullptr);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(pump.pumped, 1);
  EXPECT_LT(r.units, 100);
  EXPECT_EQ(ReadTm(dir.File("b.txt")).header.GetCount(), r.units);
}
