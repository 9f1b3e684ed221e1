// What exports of other tools hold and what a conversion there and back must keep, end to end
// through the program: blanks at a segment's ends (escaped where a reader of the text TM could
// take them for padding), every code of a text TM in an element of its own, and each unit's
// own languages.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"
#include "tests/support/TmTokens.h"
#include "tests/support/TmxLint.h"

using namespace tmtext;
using tmfiles::Tmx;
using tmfiles::TmUnit;
using tmfiles::Tu;

namespace {

struct Case {
  std::string name;  // the input file's, whose extension tells the way
  std::string bytes;
  // A text TM side: "source language|source|target language|target" per unit, as the file
  // spells them. A TMX side: "language|seg content" per tuv.
  std::vector<std::string> there;
  std::vector<std::string> back;  // what converting the output back gives
};

std::vector<std::string> TextTmSide(const std::string& bytes) {
  std::vector<std::string> out;
  for (auto u : ParseTextTm(bytes).units) {
    u.resize(std::max<size_t>(u.size(), 7));
    out.push_back(u[3] + "|" + u[4] + "|" + u[5] + "|" + u[6]);
  }
  return out;
}

std::vector<std::string> TmxSide(const std::string& bytes) {
  static const std::regex tuv("<tuv xml:lang=\"([^\"]*)\">\r\n<seg>(.*?)</seg>");
  std::vector<std::string> out;
  for (auto m = std::sregex_iterator(bytes.begin(), bytes.end(), tuv); m != std::sregex_iterator(); ++m)
    out.push_back((*m)[1].str() + "|" + (*m)[2].str());
  return out;
}

// A text TM whose header names the target language without a region.
const std::string kZhHeader = "%20261201~090000\t%User ID,T\t%TU=00000003\t%EN-US\t%Quillmar TM v.5.53/00\t%ZH"
                              "\t%---79532885\t\t0SAMPLE002\t%" + std::string(40, ' ') + ".";

std::string Unit(const std::string& sourceLang, const std::string& source, const std::string& targetLang,
                 const std::string& target) {
  return "20261201~090000\tANA\t1\t" + sourceLang + "\t" + source + "\t" + targetLang + "\t" + target;
}

std::vector<Case> Cases() {
  return {
      // A blank at the end goes into the field, escaped: the line would lose it otherwise.
      {"trailingBlank.tmx", Tmx(Tu("Custom Separator: ", "Trennzeichen: ")),
       {"en-GB|Custom Separator:&'20;|de-DE|Trennzeichen:&'20;"},
       {"en-GB|Custom Separator: ", "de-DE|Trennzeichen: "}},
      // A blank at the start stays when a code follows, or a comment cuts the words apart.
      {"leadingBlank.tmx", Tmx(Tu(" a<ph>x</ph>b", "  <!-- c --> two words ")),
       {"en-GB|&'20;a&tA;b|de-DE|&'20;  two words&'20;"},
       {"en-GB| a<ph>&amp;tA;</ph>b", "de-DE|   two words "}},
      // A source of blanks only is a unit like any other, its target with it.
      {"blanksOnly.tmx", Tmx(Tu(" ", "  ") + Tu("x", "   ")),
       {"en-GB|&'20;|de-DE|&'20;&'20;", "en-GB|x|de-DE|&'20; &'20;"},
       {"en-GB| ", "de-DE|  ", "en-GB|x", "de-DE|   "}},
      // Two pairs of codes that only the target has: four codes, four elements.
      {"twoPairsInTarget.txt", tmfiles::TextTm({tmfiles::kTmHeader, TmUnit("ab", "&t={\\b ;a&t=};&t={\\i ;b&t=};")}),
       {"EN-GB|ab", "DE-DE|<ph>{\\b </ph>a<ph>}</ph><ph>{\\i </ph>b<ph>}</ph>"},
       {"EN-GB|ab|DE-DE|&t={\\b ;a&t=};&t={\\i ;b&t=};"}},
      // A placeholder beside an open form keeps the source's code; placeholders side by side
      // still share an element, which reads back as the same placeholders.
      {"placeholderBesideOpenForm.txt",
       tmfiles::TextTm({tmfiles::kTmHeader, TmUnit("a&tA;b", "a&tA;&t=Y;b"), TmUnit("&tA;&tB;x", "&t=Y;&tB;&tA;x")}),
       {"EN-GB|a<ph>&amp;tA;</ph>b", "DE-DE|a<ph>&amp;tA;</ph><ph>Y</ph>b", "EN-GB|<ph>&amp;tA;&amp;tB;</ph>x",
        "DE-DE|<ph>Y</ph><ph>&amp;tB;&amp;tA;</ph>x"},
       {"EN-GB|a&tA;b|DE-DE|a&tA;&t=Y;b", "EN-GB|&tA;&tB;x|DE-DE|&t=Y;&tB;&tA;x"}},
      // Regional variants under a header that names the language only; a code that differs from
      // the header's in letter case only is the header's.
      {"regionalVariants.txt",
       tmfiles::TextTm({kZhHeader, Unit("en-us", "One", "ZH-CN", "Yi"), Unit("EN-US", "Two", "ZH-TW", "Er"),
               Unit("en-GB", "Three", "zh-TW", "San")}),
       {"EN-US|One", "ZH-CN|Yi", "EN-US|Two", "ZH-TW|Er", "en-GB|Three", "zh-TW|San"},
       {"EN-US|One|ZH-CN|Yi", "EN-US|Two|ZH-TW|Er", "en-GB|Three|zh-TW|San"}},
  };
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class NothingLost : public ::testing::TestWithParam<Case> {
protected:
  TempDir dir;
};

}  // namespace

TEST_P(NothingLost, ThereAndBack) {
  const Case& c = GetParam();
  const bool fromTmx = c.name.ends_with(".tmx");
  auto side = [&](const std::string& bytes, bool tmx) { return tmx ? TmxSide(bytes) : TextTmSide(bytes); };
  auto units = [&](const std::vector<std::string>& lines, bool tmx) { return int(lines.size() / (tmx ? 2 : 1)); };
  TempDir::Write(dir.File(c.name), c.bytes);
  EXPECT_EQ(side(ConvertWithProgram(dir.File(c.name), units(c.there, !fromTmx)), !fromTmx), c.there);
  const std::string stem = c.name.substr(0, c.name.size() - 4);
  const std::string other = dir.File(tmfiles::OtherSide(c.name));
  EXPECT_EQ(side(ConvertWithProgram(other, units(c.back, fromTmx), dir.File("back")), fromTmx), c.back);
  EXPECT_VALID_TMX(fromTmx ? dir.File("back/" + stem + ".tmx") : other);
}

INSTANTIATE_TEST_SUITE_P(Exports, NothingLost, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return tmfiles::TripName(info.param.name); });
