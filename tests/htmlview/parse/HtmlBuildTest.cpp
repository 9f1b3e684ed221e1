// The document builder: pages parsed into documents and compared through the tree dump, grouped
// by builder (text runs, content readers, paragraphs and lists, blocks, preformatted text), then
// the nesting caps and malformed pages.
#include <gtest/gtest.h>

#include <QImage>
#include <sstream>

#include "htmlview/images/HtmlImages.h"
#include "htmlview/layout/HtmlBlocks.h"
#include "htmlview/layout/HtmlDump.h"
#include "htmlview/layout/HtmlPanels.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/parse/HtmlParse.h"
#include "htmlview/parse/HtmlTreeDump.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/htmlview/TestPage.h"

using namespace htmlview;

namespace {

std::string U8(const std::u16string& s) { return QString::fromStdU16String(s).toStdString(); }

// The dump without its font lines, for the cases about structure.
std::string WithoutFonts(const std::string& dump) {
  std::istringstream in(dump);
  std::string out, line;
  while (std::getline(in, line))
    if (line.find_first_not_of(' ') == std::string::npos || line.compare(line.find_first_not_of(' '), 6, "font @") != 0)
      out += line + "\n";
  return out;
}

struct Case {
  std::u16string html;
  std::string dump;
};

class Build : public ::testing::Test, protected TTestPage {
protected:
  void SetUp() override {
    EnsureGuiApp();
    SetPixelsPerInch(96);
    SetFontMeasurer(&ScaledTestMeasurer());
    SetFontCatalogue([](const std::u16string& f) { return f == u"Arial" || f == u"Tahoma"; });
    NewDocument();
  }
  void TearDown() override {
    ClearPage();
    SetFontCatalogue(nullptr);
    SetFontMeasurer(nullptr);
    SetPixelsPerInch(0);
  }
  THtmlDocParser& Parse(const std::u16string& html, const THtmlParseEvents& events = {}) {
    NewDocument();
    return ParseInto(html, events);
  }
  TCellBasic& BodyCell() { return *dynamic_cast<TBodyBlock*>(doc->First())->MyCell; }
  // The body's content with its font runs.
  std::string Runs(const std::u16string& html) {
    Parse(html);
    EXPECT_EQ(doc->Count(), 1);
    return DumpCell(BodyCell());
  }
  // The body's content without font runs.
  std::string Tree(const std::u16string& html) { return WithoutFonts(Runs(html)); }
  // The whole document with its names.
  std::string Full(const std::u16string& html) {
    Parse(html);
    return DumpTree(*doc);
  }
  void ExpectTrees(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(Tree(c.html), c.dump) << U8(c.html);
  }
  void ExpectRuns(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(Runs(c.html), c.dump) << U8(c.html);
  }
  std::string Layout(int width) {
    LayOut(*doc, ScaledTestMeasurer(), width);
    return DumpLayout(*doc);
  }
};

// The program's message-box page around a message text.
std::u16string MessagePage(const std::u16string& text) {
  return u"<html><head><title></title></head><body><p align=left><font face=\"Tahoma\" size=2>" + text +
         u"</p></body></html>";
}

}  // namespace

// ---- the message page ----

TEST_F(Build, MessagePageBuildsBoldRunAtSizeTwo) {
  // Size 2 is 10 points: 13 pixels at 96 dpi, so 6 pixels a character on the fixed measurer.
  EXPECT_EQ(Full(MessagePage(u"<b>Not yet implemented</b>")),
            "body margin=(5,10,5,10)\n"
            "  p margin=(0,-,auto-p,-) bottom-auto\n"
            "    text \"Not yet implemented \"\n"
            "      font @0 \"Tahoma\" 13px b #000000\n"
            "      font @19 \"Tahoma\" 13px #000000\n");
  const std::string layout = Layout(244);
  EXPECT_NE(layout.find(" Not yet implemented\n"), std::string::npos) << layout;
  EXPECT_EQ(std::count(layout.begin(), layout.end(), '\n'), 1) << layout;
}

TEST_F(Build, MessagePageWithTwoLinks) {
  EXPECT_EQ(Runs(MessagePage(u"Press <a href=\"https://example.org/help\">help</a> or <b>write to "
                             u"<a href=\"mailto:someone@example.org\" target=_blank>us</a></b>.")),
            "p margin=(0,-,auto-p,-) bottom-auto\n"
            "  text \"Press help or write to us. \"\n"
            "    font @0 \"Tahoma\" 13px #000000\n"
            "    font @6 \"Tahoma\" 13px u #0000ff link \"https://example.org/help\" id=1\n"
            "    font @10 \"Tahoma\" 13px #000000\n"
            "    font @14 \"Tahoma\" 13px b #000000\n"
            "    font @23 \"Tahoma\" 13px b u #0000ff link \"mailto:someone@example.org\" target=\"_blank\" id=2\n"
            "    font @25 \"Tahoma\" 13px #000000\n");
  // Both links are in the document's link list; the text around them is not.
  int links = 0;
  for (TFontObj* f : doc->LinkFonts) links += f->IsLink() ? 1 : 0;
  EXPECT_EQ(links, 2);
}

// ---- the text-level builder ----

TEST_F(Build, TextRunsAndWhiteSpace) {
  ExpectTrees({
      // A lone space between blocks makes no section.
      {u"<p>a</p> <p>b</p>",
       "p margin=(0,-,0,-)\n"
       "  text \"a \"\n"
       "p margin=(auto-p,-,auto-p,-) top-auto bottom-auto\n"
       "  text \"b \"\n"},
      {u"a <b>b</b>", "text \"a b \"\n"},
      {u"<wbr>x", "text \"x \"\n"},
      {u"a<br>b<br><br>c", "text \"a \"\ntext \"b \"\ntext \"{br}\"\ntext \"c \"\n"},
      {u"a<hr>b",
       "text \"a \"\n"
       "hrblock margin=(10,0,10,0)\n"
       "  hr\n"
       "text \"b \"\n"},
      {u"<hr align=right><hr width=50 style='text-align:left'>",
       "hrblock margin=(5,0,0,0)\n"
       "  hr align=right\n"
       "hrblock margin=(10,0,10,0)\n"
       "  hr align=left\n"},
      {u"a<page>b", "text \"a \"\npage\ntext \"b \"\n"},
      {u"a<br style='page-break-after:always'>b", "text \"a \"\npage\ntext \"b \"\n"},
      // A clearing break starts a section with the clear mode and no break mark.
      {u"a<br clear=left>b", "text \"a \"\ntext \"b \" clear=left\n"},
      {u"<button>x</button>", "text \"x \"\n"},
      {u"<pre wrap>a   b</pre>c", "text \"a bc \"\n"},
      {u"a&nbsp;b&shy;c&#1;d{", "text \"a{nbsp}bc?d{{ \"\n"},
      // With no host to make a panel, an object's content is ordinary text.
      {u"<object><param name=a value=1><param value=2>fallback</object>", "text \"fallback \"\n"},
      {u"a<img src=p.png width=10 height=50% align=right>b<img src=q.png usemap=#m ismap align=middle>",
       "text \"a{obj}b{obj} \"\n  img @1 src=\"p.png\" size=10x50% float=right\n"
       "  img @3 src=\"q.png\" usemap=\"M\" ismap size=-x- align=middle\n"},
  });
}

TEST_F(Build, FontSizesCountFromTheBaseSize) {
  struct Same {
    std::u16string html, same;
  } cases[] = {
      {u"<font size=+2>x", u"<font size=5>x"},
      {u"<basefont size=6><font size=+3>x", u"<font size=7>x"},
      {u"<basefont size=6><font size=-9>x", u"<font size=1>x"},
      {u"<font size=abc>x", u"<font size=1>x"},
      {u"<font size=-1>x", u"<font size=2>x"},
  };
  for (const Same& c : cases) EXPECT_EQ(Runs(c.html), Runs(c.same)) << U8(c.html);
  EXPECT_NE(Runs(u"<font size=1>x"), Runs(u"<font size=7>x"));
  ExpectRuns({
      {u"<font size=1>x</font><font size=7>y",
       "text \"xy \"\n"
       "  font @0 \"Arial\" 11px #000000\n"
       "  font @1 \"Arial\" 48px #000000\n"},
  });
}

TEST_F(Build, FontFacesColoursAndStyles) {
  ExpectRuns({
      {u"<font size=3 face='NoSuchFont, Arial'>x", "text \"x \"\n  font @0 \"Arial\" 16px #000000\n"},
      // The element's own style wins over the attribute.
      {u"<font face='Tahoma' style='font-family: Arial'>y", "text \"y \"\n  font @0 \"Arial\" 16px #000000\n"},
      {u"<font color=red>r</font><font color=nonsense>n",
       "text \"rn \"\n  font @0 \"Arial\" 16px #ff0000\n  font @1 \"Arial\" 16px #000000\n"},
      {u"<i>i</i><u>u</u><s>s</s><sub>b</sub><sup>p</sup>",
       "text \"iusbp \"\n  font @0 \"Arial\" 16px i #000000\n  font @1 \"Arial\" 16px u #000000\n"
       "  font @2 \"Arial\" 16px s #000000\n  font @3 \"Arial\" 13px sub #000000\n"
       "  font @4 \"Arial\" 13px sup #000000\n  font @5 \"Arial\" 16px #000000\n"},
  });
}

TEST_F(Build, AnchorsAndLinks) {
  // Names keep their own script: the two give two anchors; only ASCII letters go upper case.
  const std::string anchors = Full(u"<a name=#top>t</a><a name=日本>x</a><a name=中文>y</a><a name=abc></a>");
  // Each stands where its text starts (positions count the bytes of the UTF-16 source).
  EXPECT_EQ(anchors,
            "body margin=(5,10,5,10)\n"
            "  text \"txy \"\n"
            "    font @0 \"Arial\" 16px #000000\n"
            "    font @1 \"Arial\" 16px #000000\n"
            "    font @2 \"Arial\" 16px #000000\n"
            "    font @3 \"Arial\" 16px #000000\n"
            "anchor \"ABC\" @124\n"
            "anchor \"TOP\" @26\n"
            "anchor \"中文\" @90\n"
            "anchor \"日本\" @58\n");
  EXPECT_EQ(doc->IdentifierList.Count(), 4);

  ExpectRuns({
      // A second A ends the first link.
      {u"<a href=x>one<a href=y>two</a>three",
       "text \"onetwothree \"\n  font @0 \"Arial\" 16px u #0000ff link \"x\" id=1\n"
       "  font @3 \"Arial\" 16px u #0000ff link \"y\" id=2\n  font @6 \"Arial\" 16px #000000\n"},
  });
}

TEST_F(Build, AnchorWithoutHrefLeavesTheLinkOpen) {
  const std::string runs = Runs(u"<a href=x>one<a name=n>two</a>three");
  EXPECT_NE(runs.find("font @0 \"Arial\" 16px u #0000ff link \"x\" id=1\n"), std::string::npos) << runs;
  EXPECT_NE(runs.find("font @3 \"Arial\" 16px u #0000ff link \"x\" id=1\n"), std::string::npos) << runs;
  // The end tag ends the link.
  const size_t three = runs.find("font @6 ");
  ASSERT_NE(three, std::string::npos) << runs;
  EXPECT_EQ(runs.find("link", three), std::string::npos) << runs;
}

TEST_F(Build, NoBreakMarksTheText) {
  EXPECT_EQ(Tree(u"a b<nobr>c d</nobr>e f"), "text \"a bc de f \"\n");
  auto* section = dynamic_cast<TSection*>(BodyCell().First());
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(section->BreakCodes.substr(3, 4), "nnny");
  EXPECT_EQ(section->BreakCodes[1], 'y');
}

// ---- the content readers ----

TEST_F(Build, ContentReadersConsumeWhatIsTheirs) {
  ExpectTrees({
      {u"<script>if (a<b) x=\"</p><b>\";</script>after", "text \"after \"\n"},
      {u"<SCRIPT>x</SCRIPT  >after", "text \"after \"\n"},
      {u"<map name=m><area shape=rect coords='0,0,5,5' href=x></map>after", "text \"after \"\n"},
      // A map left open: what stopped it stays content.
      {u"<map name=m><i><u><b>bold", "text \"bold \"\n"},
      {u"<script>never ends", ""},
      // A comment opener inside a script opens no comment, in either pass.
      {u"<script>x='<!--';</script>after", "text \"after \"\n"},
      {u"<style>p { color: red }</style>x", "text \"x \"\n"},
  });
}

TEST_F(Build, FormReadersKeepWhatEndsThem) {
  ExpectTrees({
      {u"<textarea>a<b>c</b>&amp;</textarea>d", "text \"{ctl}d \"\n" "  control @0 TextArea value=\"a<b>c</b>&\"\n"},
      {u"<select><option>a<option>b</select>c", "text \"{ctl}c \"\n  control @0 Combo\n"},
      // The select list ends at a paragraph that is then built.
      {u"<select><option>a<p>b",
       "text \"{ctl} \"\n"
       "  control @0 Combo\n"
       "p margin=(auto-p,-,auto-p,-) top-auto bottom-auto\n"
       "  text \"b \"\n"},
      // An input that ends a select list is not swallowed with it.
      {u"<select><option>a<input name=b>c",
       "text \"{ctl}{ctl}c \"\n  control @0 Combo\n  control @1 Edit name=\"b\"\n"},
  });
}

TEST_F(Build, MapsJoinTheListByUpperCaseName) {
  Parse(u"<map name=Nav><area shape=rect coords='0,0,5,5' href=x><area shape=circle coords='1,1,1' "
        u"href=y></map><map name=open><area shape=rect coords='0,0,1,1'>");
  ASSERT_EQ(doc->MapList.size(), 1u);
  EXPECT_EQ(doc->MapList[0]->MapName, u"NAV");
  EXPECT_EQ(doc->MapList[0]->Areas.Count(), 2);
  EXPECT_EQ(doc->FindMap(u"NAV"), doc->MapList[0].get());
}

TEST_F(Build, ScriptHandlerGetsTheScript) {
  std::u16string got, type, name;
  THtmlParseEvents events;
  events.OnScript = [&](QObject*, const std::u16string& n, const std::u16string& t, const std::u16string&,
                        const std::u16string& s) {
    name = n;
    type = t;
    got = s;
  };
  Parse(u"<script language=js name=s>a<b\r\nc</x></script>z", events);
  EXPECT_EQ(got, u"a<b\r\nc</x>");
  EXPECT_EQ(type, u"js");
  EXPECT_EQ(name, u"s");
  EXPECT_EQ(WithoutFonts(DumpCell(BodyCell())), "text \"z \"\n");
}

// ---- paragraphs, headings and lists ----

TEST_F(Build, Paragraphs) {
  ExpectTrees({
      {u"<p><p><p align=center>x", "p margin=(0,-,auto-p,-) bottom-auto\n  text \"x \" align=center\n"},
      {u"<p>a<h2>b",
       "p margin=(0,-,0,-)\n"
       "  text \"a \"\n"
       "h2 margin=(19,-,19,-)\n"
       "  text \"b \"\n"},
      {u"<h2>a<p>b</h2>c",
       "h2 margin=(14,-,19,-)\n"
       "  text \"a \"\n"
       "  p margin=(auto-p,-,auto-p,-) top-auto bottom-auto\n"
       "    text \"b \"\n"
       "text \"c \"\n"},
      {u"<p>a</p>b",
       "p margin=(0,-,auto-p,-) bottom-auto\n"
       "  text \"a \"\n"
       "text \"b \"\n"},
      {u"<h7>x", "text \"x \"\n"},
      {u"<p>a<ul><li>b</ul>c",
       "p margin=(0,-,0,-)\n"
       "  text \"a \"\n"
       "ul margin=(auto-p,-,auto-p,-) top-auto bottom-auto\n"
       "  li 1 marker=disc padding=(-,-,-,40)\n"
       "    text \"b \"\n"
       "text \"c \"\n"},
      {u"<p align=right style='text-align:left'>x",
       "p margin=(0,-,auto-p,-) bottom-auto\n"
       "  text \"x \"\n"},
      {u"<h1><center>x</center></h1>", "h1 margin=(14,-,19,-)\n" "  text \"x \" align=center\n"},
      // A paragraph that a table ends has no bottom margin.
      {u"<p>a<table>",
       "p margin=(0,-,0,-)\n"
       "  text \"a \"\n"
       "table\n"
       "  THtmlTable\n"},
      // The block takes its own tag's attributes, even when a tag follows at once.
      {u"<p id=one class=c><b>x</b>", "p margin=(0,-,auto-p,-) bottom-auto\n" "  text \"x \"\n"},
  });
}

TEST_F(Build, ListNumbersAndMarkers) {
  ExpectTrees({
      {u"<ol start=5><li>a<li value=10>b<li>c</ol>",
       "ol margin=(0,-,auto-p,-) bottom-auto\n"
       "  li 5 marker=\"5.\" margin=(-,-,0,-) padding=(-,-,-,40)\n"
       "    text \"a \"\n"
       "  li 10 marker=\"10.\" margin=(-,-,0,-) padding=(-,-,-,40)\n"
       "    text \"b \"\n"
       "  li 11 marker=\"11.\" padding=(-,-,-,40)\n"
       "    text \"c \"\n"},
      {u"<ol start=0><li>a<li>b</ol>",
       "ol margin=(0,-,auto-p,-) bottom-auto\n"
       "  li 0 marker=\"0.\" margin=(-,-,0,-) padding=(-,-,-,40)\n"
       "    text \"a \"\n"
       "  li 1 marker=\"1.\" padding=(-,-,-,40)\n"
       "    text \"b \"\n"},
      {u"<ol><li>a<li value=0>b</ol>",
       "ol margin=(0,-,auto-p,-) bottom-auto\n"
       "  li 1 marker=\"1.\" margin=(-,-,0,-) padding=(-,-,-,40)\n"
       "    text \"a \"\n"
       "  li 2 marker=\"2.\" padding=(-,-,-,40)\n"
       "    text \"b \"\n"},
      {u"<ul type=PLAIN><li>a</ul>",
       "ul margin=(0,-,auto-p,-) bottom-auto\n"
       "  li 1 marker=none padding=(-,-,-,0)\n"
       "    text \"a \"\n"},
      {u"<ul plain><li>a</ul>",
       "ul margin=(0,-,auto-p,-) bottom-auto\n"
       "  li 1 marker=none padding=(-,-,-,0)\n"
       "    text \"a \"\n"},
      {u"<ul type=disc><li>a</ul>",
       "ul margin=(0,-,auto-p,-) bottom-auto\n"
       "  li 1 marker=disc padding=(-,-,-,40)\n"
       "    text \"a \"\n"},
      {u"<ol type=a><li>a</ol>",
       "ol margin=(0,-,auto-p,-) bottom-auto\n"
       "  li 1 marker=\"a.\" padding=(-,-,-,40)\n"
       "    text \"a \"\n"},
      {u"<ol type=I><li>a</ol>",
       "ol margin=(0,-,auto-p,-) bottom-auto\n"
       "  li 1 marker=\"I.\" padding=(-,-,-,40)\n"
       "    text \"a \"\n"},
      {u"<ol type=I><li type=a>a</ol>",
       "ol margin=(0,-,auto-p,-) bottom-auto\n"
       "  li 1 marker=\"a.\" padding=(-,-,-,40)\n"
       "    text \"a \"\n"},
      // Numbers read the same under any locale and never overflow.
      {u"<ol start=1e30><li>a</ol><ol start=-1e30><li>b</ol>",
       "ol margin=(0,-,0,-)\n"
       "  li 2147483647 marker=\"2147483647.\" padding=(-,-,-,40)\n"
       "    text \"a \"\n"
       "ol margin=(auto-p,-,auto-p,-) top-auto bottom-auto\n"
       "  li 1 marker=\"1.\" padding=(-,-,-,40)\n"
       "    text \"b \"\n"},
  });
}

TEST_F(Build, ListStructure) {
  ExpectTrees({
      {u"<ul></ul>x", "ul margin=(0,-,auto-p,-) bottom-auto\n" "text \"x \"\n"},
      {u"<ul><li></li></ul>",
       "ul margin=(0,-,auto-p,-) bottom-auto\n"
       "  li 1 marker=disc padding=(-,-,-,40)\n"
       "    text \"{nbsp} \"\n"},
      {u"<ul><li>a<hr>b</ul>",
       "ul margin=(0,-,auto-p,-) bottom-auto\n"
       "  li 1 marker=disc margin=(-,-,0,-) padding=(-,-,-,40)\n"
       "    text \"a \"\n"
       "  hrblock margin=(10,0,10,0)\n"
       "    hr\n"
       "  text \"b \"\n"},
      {u"<dd>x", "li 1 marker=none margin=(0,-,0,-) padding=(-,-,-,40)\n" "  text \"x \"\n"},
      {u"<li>x", "li 1 marker=disc margin=(16,-,-,-) padding=(-,-,-,40)\n" "  text \"x \"\n"},
      {u"<ul><li>a<ul><li>b</ul><li>c</ul>",
       "ul margin=(0,-,auto-p,-) bottom-auto\n"
       "  li 1 marker=disc margin=(-,-,0,-) padding=(-,-,-,40)\n"
       "    text \"a \"\n"
       "    ul margin=(0,-,0,-)\n"
       "      li 1 marker=circle padding=(-,-,-,40)\n"
       "        text \"b \"\n"
       "  li 2 marker=disc padding=(-,-,-,40)\n"
       "    text \"c \"\n"},
      {u"<dl><dt>t<dd>d</dl>",
       "dl margin=(0,-,0,0) padding=(-,-,-,0)\n"
       "  li 1 marker=none margin=(-,-,0,-) padding=(-,-,-,0)\n"
       "    text \"t \"\n"
       "  li 2 marker=none margin=(0,-,0,-) padding=(-,-,-,40)\n"
       "    text \"d \"\n"},
      {u"<ul><li style='display:inline'>a<li style='display:inline'>b</ul>",
       "ul margin=(0,-,auto-p,-) bottom-auto\n"
       "  li 1 marker=none padding=(-,-,-,40)\n"
       "    text \"a \"\n"
       "    text \"b \"\n"},
  });
  Parse(u"<dd>x");
  EXPECT_EQ(dynamic_cast<TBlockLI*>(BodyCell().First())->ListType, DlSy);
  Parse(u"<li>x");
  EXPECT_EQ(dynamic_cast<TBlockLI*>(BodyCell().First())->ListType, StandaloneItemSymbol);
}

// ---- the block builder ----

TEST_F(Build, Blocks) {
  ExpectTrees({
      {u"<div>a<div>b</div>c</div>d", "div\n  text \"a \"\n  div\n    text \"b \"\n  text \"c \"\ntext \"d \"\n"},
      {u"<div></div>x", "div\ntext \"x \"\n"},
      {u"<section>a</section><nav>b</nav>",
       "section margin=(-,-,0,-)\n"
       "  text \"a \"\n"
       "nav\n"
       "  text \"b \"\n"},
      {u"<center><p>a</center>b",
       "p margin=(0,-,auto-p,-) bottom-auto\n"
       "  text \"a \" align=center\n"
       "text \"b \"\n"},
      {u"<form>a<form>b</form>c",
       "form margin=(-,-,0,-)\n"
       "  text \"a \"\n"
       "form\n"
       "  text \"b \"\n"
       "text \"c \"\n"},
      {u"<blockquote>a</address>b",
       "blockquote margin=(0,-,14,-) padding=(-,-,-,40)\n"
       "  text \"a \"\n"
       "text \"b \"\n"},
      {u"<span style='display:inline'><div>a</div></span>b", "text \"a \"\ntext \"b \"\n"},
      {u"<fieldset><legend>T</legend>x</fieldset>y",
       "fieldset padding=(10,10,10,10) border=(1,1,1,1)\n"
       "  legend\n"
       "    text \"T \"\n"
       "  text \"x \"\n"
       "text \"y \"\n"},
      {u"<legend>T</legend>x", "text \"T \"\ntext \"x \"\n"},
      {u"<div align=middle>x</div>", "div\n  text \"x \" align=center\n"},
      {u"<div align=top>x</div>", "div\n  text \"x \"\n"},
      {u"<div style='text-align:right' align=center>x</div>", "div\n  text \"x \" align=right\n"},
      // A paragraph's automatic bottom margin moves out to the block that ends with it.
      {u"<div><p>a</p></div>",
       "div margin=(-,-,auto-p,-) bottom-auto\n"
       "  p margin=(0,-,0,-)\n"
       "    text \"a \"\n"},
      {u"<div style='margin: 1px 2em; padding: 3px; border: 1px solid red; background-color: #0000ff; float: left'>x</div>",
       "div margin=(1px,2em,1px,2em) padding=(3px,3px,3px,3px) border=(1px,1px,1px,1px) bg=#0000ff float=left\n"
       "  text \"x \"\n"},
  });
}

// ---- the preformatted-text builder ----

TEST_F(Build, PreformattedText) {
  // A finished line ends with one closing space.
  ExpectTrees({
      {u"<pre>\na  b\n</pre>", "pre\n  pre \"a  b \"\n"},
      {u"<pre>x<br>\ny</pre>", "pre\n  pre \"x \"\n  pre \"y \"\n"},
      {u"<pre>a<b>b</b><p>c</pre>",
       "pre\n"
       "  pre \"ab \"\n"
       "  p margin=(0,-,auto-p,-) bottom-auto\n"
       "    pre \"c \"\n"},
      {u"<pre>if a < b &amp;&amp;  c</pre>", "pre\n  pre \"if a < b &&  c \"\n"},
      {u"<pre></pre>x", "pre\ntext \"x \"\n"},
      // The text after a map and the end of the element are kept.
      {u"<pre>a<map name=m><area shape=rect coords='0,0,1,1'></map>b</pre>c", "pre\n  pre \"ab \"\ntext \"c \"\n"},
      // A style sheet inside is not text.
      {u"<pre>a<style>p { color: red }</style>b</pre>", "pre\n  pre \"ab \"\n"},
      // An image at the end of input is placed once.
      {u"<pre>a<img src=none.png>", "pre\n  pre \"a{obj} \"\n    img @1 src=\"none.png\" size=-x- align=bottom\n"},
      // What ends a select list inside is honoured.
      {u"<pre>a<select><option>x<p>b</pre>",
       "pre\n"
       "  pre \"a{ctl} \"\n"
       "    control @1 Combo\n"
       "  p margin=(0,-,auto-p,-) bottom-auto\n"
       "    pre \"b \"\n"},
      {u"<pre>a<table>b",
       "pre margin=(-,-,0,-)\n"
       "  pre \"a \"\n"
       "text \"b \"\n"
       "table\n"
       "  THtmlTable\n"},
      {u"<pre>a<form>b</form>c</pre>", "pre\n  pre \"a \"\n  form\n    pre \"b \"\n  pre \"c \"\n"},
  });
  // Sets opened inside the element end with it; a font opened outside stays.
  // (The fixed catalogue has no Courier New: the text face stands in.)
  EXPECT_EQ(Runs(u"<font size=7><pre>a<b>b</font></pre>c"),
            "pre\n"
            "  pre \"ab \"\n"
            "    font @0 \"Arial\" 13px #000000\n"
            "    font @1 \"Arial\" 13px b #000000\n"
            "text \"c \"\n"
            "  font @0 \"Arial\" 48px #000000\n");
}

// ---- nesting caps and malformed pages ----

// Deep nesting must not exhaust the stack, and the text after it is kept.
TEST_F(Build, DeepNestingKeepsTheText) {
  struct Deep {
    std::u16string open;
    int n;
  } cases[] = {{u"<div>", 100000},        {u"<ul><li>", 100000},  {u"<blockquote>", 100000},
               {u"<b><i><span>", 100000}, {u"<ol><li><p>", 5000}, {u"<h1>", 5000},
               {u"<ul>", 5000},           {u"<address>", 5000},   {u"<center><form>", 5000}};
  for (const Deep& c : cases) {
    std::u16string html;
    html.reserve(c.open.size() * c.n + 16);
    for (int i = 0; i < c.n; ++i) html += c.open;
    html += u"deep end";
    const std::string tree = Tree(html);
    // The last line is the text after the nesting, at whatever depth the caps left it.
    const size_t last = tree.rfind('\n', tree.size() - 2);
    const std::string line = tree.substr(last == std::string::npos ? 0 : last + 1);
    EXPECT_EQ(line.substr(line.find_first_not_of(' '), 16), "text \"deep end \"") << line
        << U8(c.open);
  }
}

TEST_F(Build, MalformedPagesBuild) {
  const std::u16string pages[] = {
      u"<",
      u"<a href",
      u"</b></i></a></font></p></ul></li></h1></pre>",
      u"<ul><li><ol><li></ul></ol>x",
      u"<p><h7>x</h7>",
      u"<table><tr><td>x<td>y</table>",
      u"<select>",
      u"<textarea>",
      u"<map>",
      u"<style>",
      u"<style>p{color:red}",
      u"<font size=abc color=zz face=''>x",
      u"<body><body><body>",
      u"<li><li><dd><dt>",
      u"<h1><h2><h3>x</h1>",
      u"<a href=x><br><a href=y><img src=nothing.png><hr></a>",
      u"<nobr><select><option>x</nobr>",
      u"<pre>a<b>c</pre>",
      u"<object><param name=a value=1>fallback</object>",
      u"&#0;&#xD800;&#65596;<&>",
  };
  for (const auto& page : pages) {
    EXPECT_NO_THROW(Parse(page)) << U8(page);
    EXPECT_NO_THROW(DumpTree(*doc)) << U8(page);
    EXPECT_NO_THROW(Layout(300)) << U8(page);
  }
}

TEST_F(Build, UnclosedCommentReachesTheCaller) {
  EXPECT_THROW(Parse(u"text<!-- never closed"), EHtmlParseError);
}
