// TMX in the shapes other tools write it, end to end through the program: the encoding the
// file declares, CDATA sections, entities of the document's own type, languages written as
// names. And what is refused for good reasons (an encoding not known, a file that is no TMX, a
// language no text TM holds, entities without bound) leaves no file behind and leaves a text
// TM that would have been appended to as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/CodePages.h"
#include "platform/core/Utf8.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"
#include "tests/support/TmTokens.h"

using namespace tmtext;
using tmfiles::Tmx;
using tmfiles::Tu;

namespace {

// "source language|source|target language|target" of each unit of a text TM.
std::vector<std::string> UnitsOf(const std::string& bytes) {
  std::vector<std::string> out;
  for (auto u : ParseTextTm(bytes).units) {
    u.resize(std::max<size_t>(u.size(), 7));
    out.push_back(u[3] + "|" + u[4] + "|" + u[5] + "|" + u[6]);
  }
  return out;
}

// A document written in UTF-8 here, declared and stored in another encoding.
std::string Declared(const std::string& encoding, unsigned codePage, const std::string& body) {
  const std::string doc = tmfiles::Replace(Tmx(body), "encoding=\"UTF-8\"", "encoding=\"" + encoding + "\"");
  return platform::Utf16ToCodePage(codePage, platform::Utf8ToUtf16(doc));
}

std::string WithHeader(const std::string& doc, const std::string& between) {
  const size_t at = doc.find("<tmx");
  return doc.substr(0, at) + between + doc.substr(at);
}

struct Case {
  std::string name;
  std::string bytes;
  std::vector<std::string> units;
};

// A Japanese memory long enough for several of the blocks that the file is read in, one of
// them ending between the two bytes of a character.
Case LongShiftJis() {
  constexpr size_t kChunk = 30000;  // the reader's blocks of a file in a code page
  std::string ja;
  for (int k = 0; k < 40; ++k) ja += "\xE3\x83\x86";  // テ, 83 65 in Shift_JIS
  const std::string sjis = platform::Utf16ToCodePage(932, platform::Utf8ToUtf16(ja));
  std::string body;
  Case c{"longShiftJis", "", {}};
  for (int i = 0; i < 400; ++i) {
    body += Tu("Test " + std::to_string(i), ja);
    c.units.push_back("en-GB|Test " + std::to_string(i) + "|de-DE|" + ja);
  }
  // A blank more before the body moves every character by one byte, until the block's last
  // byte is the first of a character.
  for (std::string blanks;; blanks += ' ') {
    c.bytes = Declared("Shift_JIS", 932, "<!--" + blanks + "-->" + body);
    const size_t run = c.bytes.rfind(sjis, kChunk - 1);
    if (run != std::string::npos && kChunk - 1 < run + sjis.size() && (kChunk - 1 - run) % 2 == 0) return c;
  }
}

// CDATA sections and an entity declaration whose markup falls across the 64 KiB blocks that a
// UTF-8 file is read in: the blanks of a comment before each put a cut inside the markup.
Case MarkupAcrossBlocks() {
  constexpr size_t kBlock = 65536;
  const std::string pad = "<!-- pad -->";
  std::string doc = WithHeader(Tmx(pad + Tu("a<![CDATA[<b>]]>b", "&word;") + pad + Tu("c<![CDATA[&lt;]]>d", "e")),
                               "<!DOCTYPE tmx [" + pad + "<!ENTITY word \"Wort\">]>\r\n");
  // The n-th pad grows until what stands at `at` (found after it) is the first byte of a block.
  auto cut = [&](int n, const std::string& what, size_t offset, size_t block) {
    size_t p = doc.find(pad);
    for (int i = 0; i < n; ++i) p = doc.find(pad, p + 1);
    const size_t at = doc.find(what, p) + offset;
    doc.insert(p + pad.size() - 3, std::string(block * kBlock - at, ' '));
  };
  cut(0, "ENTITY", 0, 1);      // "<!" | "ENTITY"
  cut(1, "<![CDATA[", 3, 2);   // "<![" | "CDATA["
  cut(2, "]]>", 1, 3);         // "]" | "]>"
  return {"markupAcrossBlocks", doc, {"en-GB|a<b>b|de-DE|Wort", "en-GB|c&lt;d|de-DE|e"}};
}

std::vector<Case> Accepted() {
  const std::string ja = "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88";  // テスト
  const std::string ru = "\xD0\xA2\xD0\xB5\xD1\x81\xD1\x82";      // Тест
  const std::string pl = "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 \xC4\x85";  // Zażółć ą
  const std::string zh = "\xE6\xB5\x8B\xE8\xAF\x95";                // 测试
  const std::string tw = "\xE6\xB8\xAC\xE8\xA9\xA6";                // 測試
  const std::string ko = "\xED\x85\x8C\xEC\x8A\xA4\xED\x8A\xB8";    // 테스트
  return {
      // Each declared encoding is read as declared, whatever the locale's code page.
      {"shiftJis", Declared("Shift_JIS", 932, Tu("test", ja)), {"en-GB|test|de-DE|" + ja}},
      {"windows1251", Declared("windows-1251", 1251, Tu("test", ru)), {"en-GB|test|de-DE|" + ru}},
      {"iso88592", Declared("ISO-8859-2", 28592, Tu("test", pl)), {"en-GB|test|de-DE|" + pl}},
      {"gb2312", Declared("GB2312", 936, Tu("test", zh)), {"en-GB|test|de-DE|" + zh}},
      {"big5", Declared("Big5", 950, Tu("test", tw)), {"en-GB|test|de-DE|" + tw}},
      {"eucKr", Declared("EUC-KR", 949, Tu("test", ko)), {"en-GB|test|de-DE|" + ko}},
      LongShiftJis(),
      // CDATA content is text, escaped on the way out like any other.
      {"cdata",
       Tmx(Tu("Use <![CDATA[<b>]]> for bold", "x<![CDATA[a>b & c]]>y") + Tu("<![CDATA[only]]>", "nur") +
           Tu("<![CDATA[a]]b\r\nc]]>", "<![CDATA[&amp;tA;]]>")),
       {"en-GB|Use <b> for bold|de-DE|xa>b & cy", "en-GB|only|de-DE|nur", "en-GB|a]]b&'A;c|de-DE|&amp;tA;"}},
      // The document's own entities, nested, beside references of other kinds.
      {"entities",
       WithHeader(Tmx(Tu("&prod;", "x &both; &undeclared; &lt;&#65;")),
                  "<!DOCTYPE tmx SYSTEM \"tmx14.dtd\" [\r\n<!-- it's [odd] -->\r\n<!ENTITY prod \"Acme &amp; Co\">"
                  "<!ENTITY % param \"p\"><!ENTITY both '&prod;/&#66;'><!ENTITY prod \"second\">]>\r\n"),
       {"en-GB|Acme & Co|de-DE|x Acme & Co/B &undeclared; <A"}},
      MarkupAcrossBlocks(),
      // A document type without an internal subset ends at its ">", a quote open or not.
      {"docTypeQuoteUnended", WithHeader(Tmx(Tu("a", "b")), "<!DOCTYPE tmx SYSTEM \"tmx14.dtd>\r\n"), {"en-GB|a|de-DE|b"}},
      // Languages written as names: each such unit carries the pair's codes.
      {"languageNames",
       Tmx("<tu>" + tmfiles::Tuv("en-GB", "One") + tmfiles::Tuv("fr-FR", "Un") + "</tu>" +
           "<tu>" + tmfiles::Tuv("English", "Two") + tmfiles::Tuv("French", "Deux") + "</tu>" + "<tu>" +
           tmfiles::Tuv("en-US", "Three") + tmfiles::Tuv("fr-CA", "Trois") + "</tu>"),
       {"en-GB|One|fr-FR|Un", "en-GB|Two|fr-FR|Deux", "en-US|Three|fr-CA|Trois"}},
  };
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class TmxShapes : public ::testing::TestWithParam<Case> {
protected:
  TempDir dir;
};

}  // namespace

TEST_P(TmxShapes, ReadAsWritten) {
  const Case& c = GetParam();
  TempDir::Write(dir.File(c.name + ".tmx"), c.bytes);
  const int units = static_cast<int>(c.units.size());
  EXPECT_EQ(UnitsOf(ConvertWithProgram(dir.File(c.name + ".tmx"), units)), c.units);
  // Every line written is one that the text TM's reader takes: all units come back.
  ConvertWithProgram(dir.File(c.name + ".txt"), units, dir.File("back"));
}

INSTANTIATE_TEST_SUITE_P(OtherTools, TmxShapes, ::testing::ValuesIn(Accepted()),
                         [](const auto& info) { return info.param.name; });

namespace {

struct Refusal {
  std::string name;
  std::string bytes;
  std::string message;   // after "<the file>" in the error
  bool appendTo = false;  // into an existing text TM, whose last line has no line end
};

std::string Laughs(const std::string& firstUnit) {
  std::string decl = "<!DOCTYPE tmx [<!ENTITY l0 \"lol\">";
  for (int i = 1; i <= 9; ++i) {
    decl += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) decl += "&l" + std::to_string(i - 1) + ";";
    decl += "\">";
  }
  return WithHeader(Tmx(firstUnit + Tu("&l9;", "x")), decl + "]>\r\n");
}

std::string Unclosed(size_t count) {
  std::string s;
  for (size_t i = 0; i < count; ++i) s += "<a>";
  return s;
}

const std::string kUnbound = "\". The entities that its document type declares nest too deeply or expand to too much text.";

std::vector<Refusal> Refusals() {
  const std::string good = Tu("fine", "gut");
  return {
      {"unknownEncoding", tmfiles::Replace(Tmx(good), "UTF-8", "x-nonsense"),
       "\". The encoding \"x-nonsense\" that it declares is not known."},
      {"unknownEncodingAppended", tmfiles::Replace(Tmx(good), "UTF-8", "x-nonsense"),
       "\". The encoding \"x-nonsense\" that it declares is not known.", true},
      {"tileMap", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<map version=\"1.0\"><layer name=\"a\"/></map>\r\n",
       "\" is not a TMX document."},
      {"tileMapAppended", "<map version=\"1.0\"/>", "\" is not a TMX document.", true},
      {"filipino", Tmx("<tu>" + tmfiles::Tuv("en-GB", "a") + tmfiles::Tuv("fil-PH", "b") + "</tu>"),
       "\". The language \"fil-PH\" has no code that a text translation memory can hold."},
      {"klingon", Tmx("<tu>" + tmfiles::Tuv("en-GB", "a") + tmfiles::Tuv("x-klingon", "b") + "</tu>"),
       "\". The language \"x-klingon\" has no code that a text translation memory can hold."},
      {"laughs", Laughs(""), kUnbound},
      {"laughsAfterAUnitAppended", Laughs(good), kUnbound, true},
      {"selfReference", WithHeader(Tmx(Tu("&a;", "x")), "<!DOCTYPE tmx [<!ENTITY a \"x&a;\">]>"), kUnbound},
      {"selfReferenceInAnAttribute",
       WithHeader(Tmx(Tu("a", "x", " creationid=\"&a;\"")), "<!DOCTYPE tmx [<!ENTITY a \"x&a;\">]>"), kUnbound},
      {"elementsNeverClosed", Tmx(good + Unclosed(200000)), "\". Its elements nest deeper than 131072 levels."},
      {"elementsNeverClosedAppended", Tmx(good + Unclosed(200000)), "\". Its elements nest deeper than 131072 levels.",
       true},
  };
}

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class TmxRefused : public ::testing::TestWithParam<Refusal> {
protected:
  TempDir dir;
};

}  // namespace

TEST_P(TmxRefused, LeavesNothingBehind) {
  const Refusal& r = GetParam();
  const std::string input = dir.File(r.name + ".tmx"), output = dir.File(r.name + ".txt");
  TempDir::Write(input, r.bytes);
  const std::string before = tmfiles::NumberedTm(2) + tmfiles::TmUnit("last", "letzte");
  if (r.appendTo) TempDir::Write(output, before);
  const ProgramRun run = RunProgram(MIRELCON_EXE, {input}, RunOptions({"LC_ALL=C"}));
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_EQ(run.out, "");
  const std::string cannot = r.message.starts_with("\" is") ? "The file \"" : "Cannot convert file \"";
  EXPECT_EQ(run.err, cannot + input + r.message + "\n");
  if (r.appendTo)
    EXPECT_EQ(TempDir::Read(output), before);
  else
    EXPECT_FALSE(std::filesystem::exists(output));
}

INSTANTIATE_TEST_SUITE_P(OtherTools, TmxRefused, ::testing::ValuesIn(Refusals()),
                         [](const auto& info) { return info.param.name; });
