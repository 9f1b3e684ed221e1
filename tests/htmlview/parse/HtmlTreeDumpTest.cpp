// The tree dump itself: what it shows of each kind of object, and that two builds of one page dump
// alike (link IDs, which run on across documents, are numbered by the dump).
#include <gtest/gtest.h>

#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/parse/HtmlParse.h"
#include "htmlview/parse/HtmlTreeDump.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/htmlview/TestPage.h"

using namespace htmlview;

namespace {

class TreeDump : public ::testing::Test {
protected:
  void SetUp() override {
    EnsureGuiApp();
    SetPixelsPerInch(96);
    SetFontCatalogue([](const std::u16string& f) { return f == u"Arial" || f == u"Courier New"; });
  }
  void TearDown() override {
    SetFontCatalogue(nullptr);
    SetPixelsPerInch(0);
  }
  std::string Dump(const std::string& html, bool quirks = false) {
    ThtDocument doc(nullptr, nullptr);
    doc.QuirksMode = quirks;
    doc.Clear();
    SetTestFonts(doc);
    TBuffer buffer(std::vector<uint8_t>(html.begin(), html.end()), u"page");
    auto parser = HtmlParseString(doc, buffer);
    return DumpTree(doc);
  }
};

}  // namespace

TEST_F(TreeDump, ShowsEachKind) {
  struct Case {
    std::string html, dump;
  } cases[] = {
      // Text with its markers, the rule's values, names of blocks and sections.
      {"<div id=d>a{b<br>&nbsp;</div><hr size=3 width=50% noshade color=#102030><h1 id=h>t</h1>",
       "body margin=(5,10,5,10)\n"
       "  div margin=(-,-,0,-)\n"
       "    text \"a{{b \"\n"
       "      font @0 \"Arial\" 16px #000000\n"
       "    text \"{nbsp} \"\n"
       "      font @0 \"Arial\" 16px #000000\n"
       "  hrblock margin=(10,0,0,0)\n"
       "    hr size=3 color=#102030 noshade\n"
       "  h1 margin=(19,-,19,-)\n"
       "    text \"t \"\n"
       "      font @0 \"Arial\" 32px b #000000\n"
       "id \"d\" div\n"
       "id \"h\" text\n"},
      // Runs, images and controls in character order; link IDs from 1.
      {"<a href=a>x</a><a href=b target=t><img src=i.png width=5 height=6 alt=pic></a><input type=checkbox name=c>",
       "body margin=(5,10,5,10)\n"
       "  text \"x{obj}{ctl} \"\n"
       "    font @0 \"Arial\" 16px u #0000ff link \"a\" id=1\n"
       "    font @1 \"Arial\" 16px u #0000ff link \"b\" target=\"t\" id=2\n"
       "    img @1 src=\"i.png\" size=5x6 align=bottom alt=\"pic\"\n"
       "    font @2 \"Arial\" 16px #000000\n"
       "    control @2 CheckBox name=\"c\" value=\"on\"\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Dump(c.html), c.dump) << c.html;
    // A second build dumps the same.
    EXPECT_EQ(Dump(c.html), Dump(c.html)) << c.html;
  }
}

TEST_F(TreeDump, SmallCapitalsAreSmallerThanTheCapitalsInEveryMode) {
  // Lower-case letters become capitals in a run of their own, 0.8 of the text's size.
  struct Case {
    bool quirks;
    std::string size, capital, small;
  } cases[] = {
      {false, "20px", "20px", "16px"},
      {true, "20px", "20px", "16px"},
      // A keyword size would make these larger than the capitals in quirks mode (16px).
      {true, "12px", "12px", "10px"},
      {false, "2em", "32px", "26px"},
  };
  for (const Case& c : cases) {
    const std::string dump = Dump("<p style='font-variant:small-caps;font-size:" + c.size + "'>Ab</p>", c.quirks);
    SCOPED_TRACE(c.size + (c.quirks ? " quirks" : ""));
    EXPECT_NE(dump.find("text \"AB \""), std::string::npos) << dump;
    EXPECT_NE(dump.find("font @0 \"Arial\" " + c.capital), std::string::npos) << dump;
    EXPECT_NE(dump.find("font @1 \"Arial\" " + c.small), std::string::npos) << dump;
  }
}
