// The document builder: pages parsed into documents, checked through a tree of the built sections
// and through the layout dump on the fixed measurer.
#include <gtest/gtest.h>

#include <QImage>
#include <sstream>

#include "htmlview/HtmlBlocks.h"
#include "htmlview/HtmlDump.h"
#include "htmlview/HtmlImages.h"
#include "htmlview/HtmlPanels.h"
#include "htmlview/HtmlParse.h"
#include "htmlview/HtmlPropStack.h"
#include "htmlview/HtmlSection.h"
#include "tests/htmlview/GuiApp.h"

using namespace htmlview;

namespace {

// Every character half the font's pixel size wide, every line 5/4 of it high.
class TBuildMeasurer final : public TTextMeasurer {
public:
  TSize TextExtent(const QFont& font, const std::u16string& text) const override {
    if (text.empty()) return {};
    return {static_cast<int>(text.size()) * std::max(1, Px(font) / 2), LineHeight(font)};
  }
  int LineHeight(const QFont& font) const override { return Px(font) * 5 / 4; }
  static int Px(const QFont& font) { return font.pixelSize() > 0 ? font.pixelSize() : 16; }
};

TBuildMeasurer g_buildMeasurer;

std::string U8(const std::u16string& s) { return QString::fromStdU16String(s).toStdString(); }

// One line per built object, indented by nesting: blocks by tag, list items with their number,
// text sections with their text (line breaks as "|", objects as "#", no-break spaces as "~").
void TreeOf(const TCellBasic& cell, int indent, std::string& out) {
  for (const auto& s : cell) {
    out += std::string(static_cast<size_t>(indent) * 2, ' ');
    if (auto* li = dynamic_cast<TBlockLI*>(s.get())) {
      out += "li " + std::to_string(li->ListNumb) + "\n";
      TreeOf(*li->MyCell, indent + 1, out);
    } else if (auto* b = dynamic_cast<TBlock*>(s.get())) {
      out += (dynamic_cast<THRBlock*>(b) ? std::string("hrblock") : U8(b->MyCell->OwnersTag)) + "\n";
      TreeOf(*b->MyCell, indent + 1, out);
    } else if (auto* t = dynamic_cast<TSection*>(s.get())) {
      std::u16string text = t->Text;
      for (char16_t& c : text) {
        if (c == BrkCh) c = u'|';
        if (c == ImgPan || c == FmCtl) c = u'#';
        if (c == 0xA0) c = u'~';
      }
      out += std::string(t->Preformatted() ? "pre" : "text") + " \"" + U8(text) + "\"\n";
    } else if (dynamic_cast<THorzLine*>(s.get())) {
      out += "hr\n";
    } else if (dynamic_cast<TPage*>(s.get())) {
      out += "page\n";
    } else {
      out += "?\n";
    }
  }
}

class Build : public ::testing::Test {
protected:
  void SetUp() override {
    EnsureGuiApp();
    SetPixelsPerInch(96);
    SetFontMeasurer(&g_buildMeasurer);
    SetFontCatalogue([](const std::u16string& f) { return f == u"Arial" || f == u"Tahoma"; });
    NewDocument();
  }
  void TearDown() override {
    parser.reset();
    doc.reset();
    SetFontCatalogue(nullptr);
    SetFontMeasurer(nullptr);
    SetPixelsPerInch(0);
  }
  void NewDocument() {
    parser.reset();
    doc = std::make_unique<ThtDocument>(nullptr, nullptr);
    doc->SetFonts(u"Arial", u"Courier New", clBlack, RGB(0, 0, 255), RGB(128, 0, 128), RGB(255, 0, 0), clWhite,
                  false, true, 12);
  }
  THtmlDocParser& Parse(const std::u16string& html, const THtmlParseEvents& events = {}) {
    NewDocument();
    buffer = std::make_unique<TBuffer>(TBuffer::FromString(html, u"page"));
    parser = HtmlParseString(*doc, *buffer, events);
    return *parser;
  }
  // The tree below the body block.
  std::string Tree(const std::u16string& html) {
    Parse(html);
    return BodyTree();
  }
  std::string BodyTree() {
    std::string out;
    EXPECT_EQ(doc->Count(), 1);
    if (auto* body = dynamic_cast<TBodyBlock*>(doc->First())) TreeOf(*body->MyCell, 0, out);
    return out;
  }
  TCellBasic& BodyCell() { return *dynamic_cast<TBodyBlock*>(doc->First())->MyCell; }
  // The text sections in document order.
  std::vector<TSection*> Sections() {
    std::vector<TSection*> out;
    std::function<void(const TCellBasic&)> walk = [&](const TCellBasic& cell) {
      for (const auto& s : cell) {
        if (auto* b = dynamic_cast<TBlock*>(s.get())) walk(*b->MyCell);
        if (auto* t = dynamic_cast<TSection*>(s.get())) out.push_back(t);
      }
    };
    walk(*doc);
    return out;
  }
  std::vector<TBlockLI*> Items() {
    std::vector<TBlockLI*> out;
    std::function<void(const TCellBasic&)> walk = [&](const TCellBasic& cell) {
      for (const auto& s : cell)
        if (auto* b = dynamic_cast<TBlock*>(s.get())) {
          if (auto* li = dynamic_cast<TBlockLI*>(b)) out.push_back(li);
          walk(*b->MyCell);
        }
    };
    walk(*doc);
    return out;
  }
  // The font run of the first section that holds ch.
  TFontObj* RunAt(char16_t ch) {
    for (TSection* s : Sections()) {
      const size_t at = s->Text.find(ch);
      if (at == std::u16string::npos) continue;
      int overhang = 0;
      return s->Fonts.GetFontAt(static_cast<int>(at), overhang);
    }
    return nullptr;
  }
  std::string Dump(int width) {
    QImage image(1, 1, QImage::Format_RGB32);
    TCanvas canvas(&image);
    canvas.Measurer = &g_buildMeasurer;
    int scroll = 0;
    doc->DoLayout(canvas, 0, width, 1000, scroll);
    return DumpLayout(*doc);
  }

  std::unique_ptr<ThtDocument> doc;
  std::unique_ptr<TBuffer> buffer;
  std::unique_ptr<THtmlDocParser> parser;
};

std::u16string MessagePage(const std::u16string& text) {
  return u"<html><head><title></title></head><body><p align=left><font face=\"Tahoma\" size=2>" + text +
         u"</p></body></html>";
}

}  // namespace

TEST_F(Build, MessagePageBuildsBoldRunAtSizeTwo) {
  Parse(MessagePage(u"<b>Not yet implemented</b>"));
  EXPECT_EQ(BodyTree(), "p\n  text \"Not yet implemented \"\n");
  TFontObj* run = RunAt(u'N');
  ASSERT_NE(run, nullptr);
  EXPECT_TRUE(run->TheFont.Font.bold());
  EXPECT_EQ(run->TheFont.Name, u"Tahoma");
  // Size 2 is 10 points: 13 pixels at 96 dpi, so 6 pixels a character on the fixed measurer.
  EXPECT_EQ(run->TheFont.Font.pixelSize(), 13);
  const std::string dump = Dump(244);
  EXPECT_NE(dump.find(" Not yet implemented\n"), std::string::npos) << dump;
  EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 1) << dump;
}

TEST_F(Build, MessagePageWithTwoLinks) {
  Parse(MessagePage(u"Press <a href=\"https://example.org/help\">help</a> or <b>write to "
                    u"<a href=\"mailto:someone@example.org\">us</a></b>."));
  EXPECT_EQ(BodyTree(), "p\n  text \"Press help or write to us. \"\n");
  TFontObj* help = RunAt(u'h');
  TFontObj* us = RunAt(u'u');
  ASSERT_TRUE(help && us);
  EXPECT_EQ(help->GetURL(), u"https://example.org/help");
  EXPECT_EQ(us->GetURL(), u"mailto:someone@example.org");
  EXPECT_NE(help->LinkID(), us->LinkID());
  EXPECT_TRUE(us->TheFont.Font.bold());
  EXPECT_FALSE(RunAt(u'P')->IsLink());
  EXPECT_FALSE(RunAt(u'.')->IsLink());
  // Both links are in the document's link list; the text around them is not.
  int links = 0;
  for (TFontObj* f : doc->LinkFonts) links += f->IsLink() ? 1 : 0;
  EXPECT_EQ(links, 2);
}

TEST_F(Build, TextRunsAndWhiteSpace) {
  struct Case {
    std::u16string html;
    std::string tree;
  } cases[] = {
      // A lone space between blocks makes no section.
      {u"<p>a</p> <p>b</p>", "p\n  text \"a \"\np\n  text \"b \"\n"},
      {u"a <b>b</b>", "text \"a b \"\n"},
      {u"<wbr>x", "text \"x \"\n"},
      {u"a<br>b<br><br>c", "text \"a \"\ntext \"b \"\ntext \"|\"\ntext \"c \"\n"},
      {u"a<hr>b", "text \"a \"\nhrblock\n  hr\ntext \"b \"\n"},
      {u"a<page>b", "text \"a \"\npage\ntext \"b \"\n"},
      {u"a<br style='page-break-after:always'>b", "text \"a \"\npage\ntext \"b \"\n"},
      {u"<button>x</button>", "text \"x \"\n"},
      {u"<pre wrap>a   b</pre>c", "text \"a bc \"\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Tree(c.html), c.tree) << U8(c.html);
}

TEST_F(Build, BreakWithClearStartsAClearedSection) {
  Parse(u"a<br clear=left>b");
  const auto sections = Sections();
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[0]->Text, u"a ");
  EXPECT_EQ(sections[1]->Text, u"b ");
  EXPECT_EQ(sections[1]->ClearMode, 1);
}

TEST_F(Build, FontSizesCountFromTheBaseSize) {
  auto heightOf = [&](const std::u16string& html) {
    Parse(html);
    TFontObj* run = RunAt(u'x');
    return run ? run->TheFont.Font.pixelSize() : -1;
  };
  struct Case {
    std::u16string html, same;
  } cases[] = {
      {u"<font size=+2>x", u"<font size=5>x"},
      {u"<basefont size=6><font size=+3>x", u"<font size=7>x"},
      {u"<basefont size=6><font size=-9>x", u"<font size=1>x"},
      {u"<font size=abc>x", u"<font size=1>x"},
      {u"<font size=-1>x", u"<font size=2>x"},
  };
  for (const Case& c : cases) EXPECT_EQ(heightOf(c.html), heightOf(c.same)) << U8(c.html);
  EXPECT_NE(heightOf(u"<font size=1>x"), heightOf(u"<font size=7>x"));
}

TEST_F(Build, FontFaceTakesTheFirstExistingFamily) {
  Parse(u"<font size=3 face='NoSuchFont, Arial'>x</font><font face='Tahoma' style='font-family: Arial'>y");
  EXPECT_EQ(RunAt(u'x')->TheFont.Name, u"Arial");
  // The element's own style wins over the attribute.
  EXPECT_EQ(RunAt(u'y')->TheFont.Name, u"Arial");
  Parse(u"<font color=red>r</font><font color=nonsense>n");
  EXPECT_EQ(RunAt(u'r')->TheFont.Color & 0xFFFFFF, RGB(255, 0, 0));
  EXPECT_EQ(RunAt(u'n')->TheFont.Color & 0xFFFFFF, clBlack);
}

TEST_F(Build, AnchorsAndLinks) {
  Parse(u"<a name=#top>t</a><a name=日本>x</a><a name=中文>y</a><a name=abc></a>");
  EXPECT_NE(doc->IdentifierList.Find(u"TOP"), nullptr);
  EXPECT_NE(doc->IdentifierList.Find(u"日本"), nullptr);
  EXPECT_NE(doc->IdentifierList.Find(u"中文"), nullptr);
  EXPECT_NE(doc->IdentifierList.Find(u"日本"), doc->IdentifierList.Find(u"中文"));
  EXPECT_NE(doc->IdentifierList.Find(u"ABC"), nullptr);

  Parse(u"<a href=x>one<a href=y>two</a>three");
  EXPECT_EQ(RunAt(u'o')->GetURL(), u"x");
  EXPECT_EQ(RunAt(u'w')->GetURL(), u"y");
  EXPECT_FALSE(RunAt(u'h')->IsLink());

  // An A without HREF leaves an open link open.
  Parse(u"<a href=x>one<a name=n>two</a>three");
  EXPECT_EQ(RunAt(u'w')->GetURL(), u"x");
}

TEST_F(Build, ContentReadersConsumeWhatIsTheirs) {
  struct Case {
    std::u16string html;
    std::string tree;
  } cases[] = {
      {u"<script>if (a<b) x=\"</p><b>\";</script>after", "text \"after \"\n"},
      {u"<SCRIPT>x</SCRIPT  >after", "text \"after \"\n"},
      {u"<textarea>a<b>c</b>&amp;</textarea>d", "text \"d \"\n"},
      {u"<select><option>a<option>b</select>c", "text \"c \"\n"},
      // The select list ends at a paragraph that is then built.
      {u"<select><option>a<p>b", "p\n  text \"b \"\n"},
      {u"<map name=m><area shape=rect coords='0,0,5,5' href=x></map>after", "text \"after \"\n"},
      // A map left open: what stopped it stays content.
      {u"<map name=m><i><u><b>bold", "text \"bold \"\n"},
      {u"<script>never ends", ""},
      // A comment opener inside a script opens no comment, in either pass.
      {u"<script>x='<!--';</script>after", "text \"after \"\n"},
      // An input that ends a select list is not swallowed with it.
      {u"<select><option>a<input name=b>c", "text \"c \"\n"},
      {u"<style>p { color: red }</style>x", "text \"x \"\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Tree(c.html), c.tree) << U8(c.html);
}

TEST_F(Build, MapsJoinTheListByUpperCaseName) {
  auto& p = Parse(u"<map name=Nav><area shape=rect coords='0,0,5,5' href=x><area shape=circle coords='1,1,1' "
                  u"href=y></map><map name=open><area shape=rect coords='0,0,1,1'>");
  ASSERT_EQ(p.MapList.size(), 1u);
  EXPECT_EQ(p.MapList[0]->MapName, u"NAV");
  EXPECT_EQ(p.MapList[0]->Areas.Count(), 2);
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
  EXPECT_EQ(BodyTree(), "text \"z \"\n");
}

TEST_F(Build, NoBreakMarksTheText) {
  Parse(u"a b<nobr>c d</nobr>e f");
  const auto sections = Sections();
  ASSERT_EQ(sections.size(), 1u);
  EXPECT_EQ(sections[0]->Text, u"a bc de f ");
  EXPECT_EQ(sections[0]->BreakCodes.substr(3, 4), "nnny");
  EXPECT_EQ(sections[0]->BreakCodes[1], 'y');
}

TEST_F(Build, Paragraphs) {
  struct Case {
    std::u16string html;
    std::string tree;
  } cases[] = {
      {u"<p><p><p align=center>x", "p\n  text \"x \"\n"},
      {u"<p>a<h2>b", "p\n  text \"a \"\nh2\n  text \"b \"\n"},
      {u"<h2>a<p>b</h2>c", "h2\n  text \"a \"\n  p\n    text \"b \"\ntext \"c \"\n"},
      {u"<p>a</p>b", "p\n  text \"a \"\ntext \"b \"\n"},
      {u"<h7>x", "text \"x \"\n"},
      {u"<p>a<ul><li>b</ul>c", "p\n  text \"a \"\nul\n  li 1\n    text \"b \"\ntext \"c \"\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Tree(c.html), c.tree) << U8(c.html);

  Parse(u"<p><p><p align=center>x");
  EXPECT_EQ(Sections()[0]->TextAlign, 2);
  Parse(u"<p align=right style='text-align:left'>x");
  EXPECT_EQ(Sections()[0]->TextAlign, 1);
  Parse(u"<h1><center>x</center></h1>");
  EXPECT_EQ(Sections()[0]->TextAlign, 2);
  Parse(u"<p>a<table>");
  auto* p = dynamic_cast<TBlock*>(BodyCell().First());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->MargArrayO[MarginBottom], TPropValue(0));
}

TEST_F(Build, ListNumbersAndMarkers) {
  auto numbers = [&](const std::u16string& html) {
    Parse(html);
    std::vector<int> out;
    for (TBlockLI* li : Items()) out.push_back(li->ListNumb);
    return out;
  };
  EXPECT_EQ(numbers(u"<ol start=5><li>a<li value=10>b<li>c</ol>"), (std::vector<int>{5, 10, 11}));
  EXPECT_EQ(numbers(u"<ol start=0><li>a<li>b</ol>"), (std::vector<int>{0, 1}));
  EXPECT_EQ(numbers(u"<ol><li>a<li value=0>b</ol>"), (std::vector<int>{1, 2}));

  struct Style {
    std::u16string html;
    TListStyle style;
  } styles[] = {
      {u"<ul type=PLAIN><li>a</ul>", lbNone},   {u"<ul plain><li>a</ul>", lbNone},
      {u"<ul type=disc><li>a</ul>", lbDisc},    {u"<ol type=a><li>a</ol>", lbLowerAlpha},
      {u"<ol type=I><li>a</ol>", lbUpperRoman}, {u"<ol type=I><li type=a>a</ol>", lbLowerAlpha},
  };
  for (const Style& s : styles) {
    Parse(s.html);
    ASSERT_EQ(Items().size(), 1u) << U8(s.html);
    EXPECT_EQ(Items()[0]->ListStyleType, s.style) << U8(s.html);
  }
}

TEST_F(Build, ListStructure) {
  struct Case {
    std::u16string html;
    std::string tree;
  } cases[] = {
      {u"<ul></ul>x", "ul\ntext \"x \"\n"},
      {u"<ul><li></li></ul>", "ul\n  li 1\n    text \"~ \"\n"},
      {u"<ul><li>a<hr>b</ul>", "ul\n  li 1\n    text \"a \"\n  hrblock\n    hr\n  text \"b \"\n"},
      {u"<dd>x", "li 1\n  text \"x \"\n"},
      {u"<ul><li>a<ul><li>b</ul><li>c</ul>",
       "ul\n  li 1\n    text \"a \"\n    ul\n      li 1\n        text \"b \"\n  li 2\n    text \"c \"\n"},
      {u"<dl><dt>t<dd>d</dl>", "dl\n  li 1\n    text \"t \"\n  li 2\n    text \"d \"\n"},
      {u"<ul><li style='display:inline'>a<li style='display:inline'>b</ul>", "ul\n  li 1\n    text \"a \"\n    text \"b \"\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Tree(c.html), c.tree) << U8(c.html);

  Parse(u"<dd>x");
  EXPECT_EQ(Items()[0]->ListType, DlSy);
  Parse(u"<li>x");
  EXPECT_EQ(Items()[0]->ListType, LiSy);
}

TEST_F(Build, Blocks) {
  struct Case {
    std::u16string html;
    std::string tree;
  } cases[] = {
      {u"<div>a<div>b</div>c</div>d", "div\n  text \"a \"\n  div\n    text \"b \"\n  text \"c \"\ntext \"d \"\n"},
      {u"<div></div>x", "div\ntext \"x \"\n"},
      {u"<section>a</section><nav>b</nav>", "section\n  text \"a \"\nnav\n  text \"b \"\n"},
      {u"<center><p>a</center>b", "p\n  text \"a \"\ntext \"b \"\n"},
      {u"<form>a<form>b</form>c", "form\n  text \"a \"\nform\n  text \"b \"\ntext \"c \"\n"},
      {u"<blockquote>a</address>b", "blockquote\n  text \"a \"\ntext \"b \"\n"},
      {u"<span style='display:inline'><div>a</div></span>b", "text \"a \"\ntext \"b \"\n"},
      {u"<fieldset><legend>T</legend>x</fieldset>y", "fieldset\n  text \"x \"\ntext \"y \"\n"},
      {u"<legend>T</legend>x", "text \"T \"\ntext \"x \"\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Tree(c.html), c.tree) << U8(c.html);

  Parse(u"<center><p>a</center>b");
  auto sections = Sections();
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[0]->TextAlign, 2);
  EXPECT_EQ(sections[1]->TextAlign, 1);
  struct Align {
    std::u16string html;
    int align;
  } aligns[] = {
      {u"<div align=middle>x</div>", 2},
      {u"<div align=top>x</div>", 1},
      {u"<div style='text-align:right' align=center>x</div>", 3},
  };
  for (const Align& a : aligns) {
    Parse(a.html);
    EXPECT_EQ(Sections()[0]->TextAlign, a.align) << U8(a.html);
  }
  Parse(u"<fieldset><legend>T</legend>x</fieldset>");
  auto* fieldset = dynamic_cast<TFieldsetBlock*>(BodyCell().First());
  ASSERT_NE(fieldset, nullptr);
  ASSERT_EQ(fieldset->Legend->Count(), 1);
  EXPECT_EQ(dynamic_cast<TSection*>(fieldset->Legend->First())->Text, u"T ");
  // A paragraph's automatic bottom margin moves out to the block that ends with it.
  Parse(u"<div><p>a</p></div>");
  auto* div = dynamic_cast<TBlock*>(BodyCell().First());
  ASSERT_NE(div, nullptr);
  EXPECT_TRUE(div->BottomAuto);
}

TEST_F(Build, PreformattedText) {
  // A finished line ends with one closing space.
  struct Case {
    std::u16string html;
    std::string tree;
  } cases[] = {
      {u"<pre>\na  b\n</pre>", "pre\n  pre \"a  b \"\n"},
      {u"<pre>x<br>\ny</pre>", "pre\n  pre \"x \"\n  pre \"y \"\n"},
      {u"<pre>a<b>b</b><p>c</pre>", "pre\n  pre \"ab \"\n  p\n    pre \"c \"\n"},
      {u"<pre>if a < b &amp;&amp;  c</pre>", "pre\n  pre \"if a < b &&  c \"\n"},
      {u"<pre></pre>x", "pre\ntext \"x \"\n"},
      // The text after a map and the end of the element are kept.
      {u"<pre>a<map name=m><area shape=rect coords='0,0,1,1'></map>b</pre>c", "pre\n  pre \"ab \"\ntext \"c \"\n"},
      // A style sheet inside is not text.
      {u"<pre>a<style>p { color: red }</style>b</pre>", "pre\n  pre \"ab \"\n"},
      // An image at the end of input is placed once.
      {u"<pre>a<img src=none.png>", "pre\n  pre \"a# \"\n"},
      // What ends a select list inside is honoured.
      {u"<pre>a<select><option>x<p>b</pre>", "pre\n  pre \"a \"\n  p\n    pre \"b \"\n"},
      {u"<pre>a<table>b", "pre\n  pre \"a \"\ntext \"b \"\n"},
      {u"<pre>a<form>b</form>c</pre>", "pre\n  pre \"a \"\n  form\n    pre \"b \"\n  pre \"c \"\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Tree(c.html), c.tree) << U8(c.html);
  // Sets opened inside the element end with it; a font opened outside stays.
  Parse(u"<font size=7>c");
  const int size7 = RunAt(u'c')->TheFont.Font.pixelSize();
  Parse(u"<font size=7><pre>a<b>b</font></pre>c");
  EXPECT_FALSE(RunAt(u'c')->TheFont.Font.bold());
  EXPECT_EQ(RunAt(u'c')->TheFont.Font.pixelSize(), size7);
}

// Deep nesting must not exhaust the stack, and the text after it is kept.
TEST_F(Build, DeepNestingKeepsTheText) {
  struct Case {
    std::u16string open;
    int n;
  } cases[] = {{u"<div>", 100000},      {u"<ul><li>", 100000},  {u"<blockquote>", 100000},
               {u"<b><i><span>", 100000}, {u"<ol><li><p>", 5000}, {u"<h1>", 5000},
               {u"<ul>", 5000},           {u"<address>", 5000},   {u"<center><form>", 5000}};
  for (const Case& c : cases) {
    const int n = c.n;
    std::u16string html;
    html.reserve(c.open.size() * n + 16);
    for (int i = 0; i < n; ++i) html += c.open;
    html += u"deep end";
    Parse(html);
    const auto sections = Sections();
    ASSERT_FALSE(sections.empty()) << U8(c.open);
    EXPECT_EQ(sections.back()->Text, u"deep end ") << U8(c.open);
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
    EXPECT_NO_THROW(Dump(300)) << U8(page);
  }
  // Numbers read the same under any locale and never overflow.
  Parse(u"<ol start=1e30><li>a</ol><ol start=-1e30><li>b</ol>");
  EXPECT_EQ(Items().size(), 2u);
}

TEST_F(Build, UnclosedCommentReachesTheCaller) {
  EXPECT_THROW(Parse(u"text<!-- never closed"), EHtmlParseError);
}
