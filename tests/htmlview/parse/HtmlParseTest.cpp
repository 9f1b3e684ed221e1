// The parse entries: the link count of the first pass, the document head, the body attributes,
// character sets, linked and embedded style sheets, and plain text; the documents they build are
// compared through the tree dump.
#include <gtest/gtest.h>

#include "htmlview/layout/HtmlBlocks.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/parse/HtmlParse.h"
#include "htmlview/parse/HtmlTreeDump.h"
#include "platform/core/MemoryStream.h"
#include "tests/htmlview/GuiApp.h"

#include <sstream>

using namespace htmlview;

namespace {

class TRecordingHost : public THtmlBuildHost {
public:
  bool StreamRequest(const std::u16string& url, std::unique_ptr<TStream>& stream) override {
    requests.push_back(url);
    if (auto it = sheets.find(url); it != sheets.end())
      stream = std::make_unique<TMemoryStream>(std::vector<uint8_t>(it->second.begin(), it->second.end()));
    return true;
  }
  void CharSetChanged(int charSet, int codePage) override {
    this->charSet = charSet;
    this->codePage = codePage;
  }
  std::map<std::u16string, std::string> sheets;
  std::vector<std::u16string> requests;
  int charSet = -1, codePage = -1;
};

class Parse : public ::testing::Test {
protected:
  void SetUp() override {
    EnsureGuiApp();
    SetPixelsPerInch(96);
  }
  // Every load gets a fresh document, as the viewer's would.
  void NewDocument() {
    parser.reset();
    doc = std::make_unique<ThtDocument>(nullptr, nullptr);
    doc->SetFonts(u"Arial", u"Courier New", clBlack, RGB(0, 0, 255), RGB(128, 0, 128), RGB(255, 0, 0), clWhite,
                  false, true, 12, 1, 5, 10);
  }
  void TearDown() override {
    parser.reset();
    doc.reset();
    SetPixelsPerInch(0);
  }
  THtmlDocParser& Html(std::vector<uint8_t> bytes, const THtmlParseEvents& events = {}) {
    NewDocument();
    buffer = std::make_unique<TBuffer>(std::move(bytes), u"page");
    parser = HtmlParseString(*doc, *buffer, events, &host);
    return *parser;
  }
  THtmlDocParser& Html(const std::string& utf8, const THtmlParseEvents& events = {}) {
    return Html(std::vector<uint8_t>(utf8.begin(), utf8.end()), events);
  }
  THtmlDocParser& Text(const std::string& text) {
    NewDocument();
    buffer = std::make_unique<TBuffer>(std::vector<uint8_t>(text.begin(), text.end()), u"text");
    parser = HtmlParseTextString(*doc, *buffer, &host);
    return *parser;
  }
  TBodyBlock* Body() { return dynamic_cast<TBodyBlock*>(doc->First()); }
  // The whole document.
  std::string Full() { return DumpTree(*doc); }
  // The body's content without its font runs.
  std::string Tree() {
    EXPECT_EQ(doc->Count(), 1);
    std::istringstream in(Body() ? DumpCell(*Body()->MyCell) : std::string());
    std::string out, line;
    while (std::getline(in, line))
      if (line.compare(line.find_first_not_of(' '), 6, "font @") != 0) out += line + "\n";
    return out;
  }

  TRecordingHost host;
  std::unique_ptr<ThtDocument> doc;
  std::unique_ptr<TBuffer> buffer;
  std::unique_ptr<THtmlDocParser> parser;
};

std::string Links(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "<a href=l" + std::to_string(i) + ">x</a><a name=n>y</a>";
  return s;
}

}  // namespace

TEST_F(Parse, ManyLinksAboveFourHundred) {
  Html(Links(400));
  EXPECT_FALSE(doc->ManyLinks);
  Html(Links(401));
  EXPECT_TRUE(doc->ManyLinks);
  // The first pass leaves nothing behind: the page is built once, whole.
  std::string text;
  for (int i = 0; i < 401; ++i) text += "xy";
  EXPECT_EQ(Tree(), "text \"" + text + " \"\n");
}

TEST_F(Parse, HeadData) {
  std::vector<std::u16string> metas, links, sounds;
  THtmlParseEvents events;
  events.OnMeta = [&](QObject*, const std::u16string& eq, const std::u16string& name, const std::u16string& content) {
    metas.push_back(eq + u"|" + name + u"|" + content);
  };
  events.OnLink = [&](QObject*, const std::u16string& rel, const std::u16string& rev, const std::u16string& href) {
    links.push_back(rel + u"|" + rev + u"|" + href);
  };
  events.OnSoundRequest = [&](QObject*, const std::u16string& src, int loop, bool terminate) {
    sounds.push_back(src + u"|" + std::u16string(1, static_cast<char16_t>(u'0' + loop)) + (terminate ? u"|t" : u""));
  };
  auto& p = Html(
      "<html><head><title>The  title</title><base href='http://example.org/' target=_top>"
      "<meta name=author content=me><meta http-equiv=refresh content=5>"
      "<link rel=STYLESHEET media=print href=a.css><link rel=next href=b.html>"
      "<bgsound src=s.wav loop=3><bgsound src=t.wav><bgsound loop=2></head><body>x",
      events);
  EXPECT_EQ(buffer->GetString(p.TitleStart(), p.TitleEnd()), u"The  title");
  EXPECT_EQ(p.Base(), u"http://example.org/");
  EXPECT_EQ(p.BaseTarget(), u"_top");
  EXPECT_EQ(metas, (std::vector<std::u16string>{u"|author|me", u"refresh||5"}));
  EXPECT_EQ(links, (std::vector<std::u16string>{u"STYLESHEET||a.css", u"next||b.html"}));
  // A sheet for print only is not loaded.
  EXPECT_TRUE(host.requests.empty());
  EXPECT_EQ(sounds, (std::vector<std::u16string>{u"s.wav|3", u"t.wav|1"}));
  EXPECT_EQ(Tree(), "text \"x \"\n");
}

TEST_F(Parse, StyleSheetsEmbeddedAndLinked) {
  host.sheets[u"r.css"] = "i { text-align: right }";
  Html("<style>p { text-align: center }</style><link rel=stylesheet href=r.css media='screen, print'>"
       "<link rel=stylesheet href=missing.css><p>c</p><i>r</i>");
  EXPECT_EQ(host.requests, (std::vector<std::u16string>{u"r.css", u"missing.css"}));
  // The style element's content never shows as text; both sheets apply.
  EXPECT_EQ(Tree(),
            "p margin=(0,-,auto-p,-) bottom-auto\n"
            "  text \"c \" align=center\n"
            "text \"r \" align=right\n");
}

TEST_F(Parse, StyleSheetInCommentMarks) {
  Html("<style><!--\np { text-align: center }\n--></style><p>c</p>");
  EXPECT_EQ(Tree(), "p margin=(0,-,auto-p,-) bottom-auto\n  text \"c \" align=center\n");
}

TEST_F(Parse, BodyAttributes) {
  struct Case {
    std::string html, dump;
  } cases[] = {
      {"<body marginwidth=-5 topmargin=500 bgcolor=#ff0000 text=blue>x",
       "body margin=(200,0,200,0) bg=#ff0000\n  text \"x \"\n    font @0 \"Arial\" 16px #0000ff\n"},
      // Margins not given come from the document's defaults.
      {"<body leftmargin=7>x", "body margin=(5,7,5,7)\n  text \"x \"\n    font @0 \"Arial\" 16px #000000\n"},
      // A second BODY after content changes nothing.
      {"<body bgcolor=#00ff00>x<body bgcolor=#0000ff marginwidth=50>y",
       "body margin=(5,10,5,10) bg=#00ff00\n  text \"xy \"\n    font @0 \"Arial\" 16px #000000\n"},
      // The first BODY applies whatever came before it; what was read stays, in the body.
      {"<html>\r\n<body bgcolor=#ff0000 marginwidth=40>x",
       "body margin=(5,40,5,40) bg=#ff0000\n  text \"x \"\n    font @0 \"Arial\" 16px #000000\n"},
      {"<p>before</p>\n<body bgcolor=#ff0000 text=blue>after",
       "body margin=(5,10,5,10) bg=#ff0000\n  p margin=(0,-,auto-p,-) bottom-auto\n    text \"before \"\n"
       "      font @0 \"Arial\" 16px #000000\n  text \"after \"\n    font @0 \"Arial\" 16px #0000ff\n"},
      // Text before BODY and after it stays one run; the body's colour starts at the tag.
      {"a <body text=blue leftmargin=7>b<body bgcolor=#00ff00>c",
       "body margin=(5,7,5,7)\n  text \"a bc \"\n    font @0 \"Arial\" 16px #000000\n"
       "    font @2 \"Arial\" 16px #0000ff\n"},
  };
  for (const Case& c : cases) {
    Html(c.html);
    EXPECT_EQ(Full(), c.dump) << c.html;
  }
}

TEST_F(Parse, MetaCharSets) {
  struct Case {
    std::string head;
    int codePage;
  } cases[] = {
      {"<meta charset=utf-8>", CP_UTF8},
      {"<meta http-equiv=content-type content='text/html; charset=utf-8'>", CP_UTF8},
      {"<meta http-equiv=Content-Type content='text/html; charset=windows-1251'>", 1251},
      {"<meta charset=euc-jp>", 51932},
  };
  for (const Case& c : cases) {
    host.codePage = -1;
    Html(c.head + "x");
    EXPECT_EQ(host.codePage, c.codePage) << c.head;
    EXPECT_EQ(buffer->CodePage, c.codePage) << c.head;
  }
  // FONT CHARSET takes the same path, with the set's own code page.
  host.codePage = -1;
  Html("<font charset=windows-1251>x");
  EXPECT_EQ(host.codePage, 1251);
  // An unknown set changes nothing and does not stop the load.
  host.codePage = -1;
  Html("<meta charset=no-such-set><font charset=nothing>x");
  EXPECT_EQ(host.codePage, -1);
  EXPECT_EQ(Tree(), "text \"x \"\n");
}

TEST_F(Parse, EucJpPageDecodes) {
  // "日本" in EUC-JP.
  std::vector<uint8_t> page;
  for (char c : std::string("<meta charset=euc-jp><p>")) page.push_back(static_cast<uint8_t>(c));
  for (uint8_t b : {0xC6, 0xFC, 0xCB, 0xDC}) page.push_back(b);
  Html(page);
  EXPECT_EQ(Tree(), "p margin=(0,-,auto-p,-) bottom-auto\n  text \"日本 \"\n");
}

TEST_F(Parse, NulByteKeepsTheRest) {
  Html(std::vector<uint8_t>{'a', 0, 'b'});
  EXPECT_EQ(Tree(), "text \"a\uFFFDb \"\n");
}

TEST_F(Parse, PlainTextIsPreformattedLines) {
  Text("one\r\n  two <b>\n" + std::string(500, 'x'));
  // The long line stays one line.
  const std::string pre = "      font @0 \"Courier New\" 13px #000000\n";
  EXPECT_EQ(Full(), "body margin=(5,10,5,10)\n  pre\n    pre \"one \"\n" + pre + "    pre \"  two <b> \"\n" + pre +
                        "    pre \"" + std::string(500, 'x') + " \"\n" + pre);
}

// A page that opens no link, comment or server block is built without the first pass where its
// bytes show that (a single-byte page); read as Shift-JIS, the same ASCII bytes take both passes.
// The documents must not differ.
TEST_F(Parse, PagesWithoutAFirstPassBuildAlike) {
  const std::string pages[] = {
      "text first<p class=c id=i>para <b>bold <i>both</i></b></p>tail",
      "<html><head><title>T</title><style>p{color:red}</style><script>x<y</script></head>"
      "<body bgcolor=yellow><h2 align=center>H</h2><ul><li>one<li>two</ul><pre> x\r\n y</pre></body>",
      "<table border=1><tr><td>a<td>b<tr><td colspan=2>c</table><font size=5 color=red>f</font>",
      "<form><select><option>1<option selected>2</select><textarea>t<b></textarea><input value=v></form>",
      "&amp;&lt;&#233; x&nbsp;y<br><hr><img src=none.png alt=i><p>last<p",
      "<div style=\"margin: 3px\">d<span>s</span></div>\r\n\t<dl><dt>t<dd>d</dl><p id=end>",
  };
  for (const std::string& page : pages) {
    NewDocument();
    buffer = std::make_unique<TBuffer>(std::vector<uint8_t>(page.begin(), page.end()), u"page");
    buffer->SetCodePage(1252);
    ASSERT_FALSE(buffer->MayHaveAfterLessThan("aA!%")) << page;
    parser = HtmlParseString(*doc, *buffer, {}, &host);
    const std::string once = Full();
    NewDocument();
    buffer = std::make_unique<TBuffer>(std::vector<uint8_t>(page.begin(), page.end()), u"page");
    buffer->SetCodePage(932);
    ASSERT_TRUE(buffer->MayHaveAfterLessThan("aA!%")) << page;
    parser = HtmlParseString(*doc, *buffer, {}, &host);
    EXPECT_EQ(Full(), once) << page;
    EXPECT_FALSE(doc->ManyLinks);
  }
}

TEST_F(Parse, IncludesFollowedInBothPasses) {
  int calls = 0;
  THtmlParseEvents events;
  events.OnInclude = [&](QObject*, const std::u16string&, const std::u16string&, std::u16string& included) {
    ++calls;
    included = u"<a href=inc>i</a>";
  };
  Html("a<!--#include file=x-->b", events);
  // The first pass asks the handler; the second reads what it gave.
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(doc->ManyLinks);
  EXPECT_EQ(Tree(), "text \"aib \"\n");
  // The links of included text count.
  calls = 0;
  events.OnInclude = [&](QObject*, const std::u16string&, const std::u16string&, std::u16string& included) {
    ++calls;
    for (int i = 0; i < 401; ++i) included += u"<a href=inc>i</a>";
  };
  Html("a<!--#include file=x-->b", events);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(doc->ManyLinks);
}

// Each include command asks the handler once, in page order, and shows what that call gave, the
// same command twice included.
TEST_F(Parse, EachIncludeCommandAsksTheHandlerOnce) {
  std::vector<std::u16string> asked;
  THtmlParseEvents events;
  events.OnInclude = [&](QObject*, const std::u16string& command, const std::u16string& params,
                         std::u16string& included) {
    asked.push_back(command + u" " + params);
    included = std::u16string(1, static_cast<char16_t>(u'0' + asked.size()));
    if (asked.size() == 1) included += u"<!--#echo var=inner-->";
  };
  Html("<!--#include file=x-->,<!--#include file=x-->,<!--#echo var=y-->", events);
  EXPECT_EQ(asked, (std::vector<std::u16string>{u"include file=x\r\n", u"echo var=inner\r\n",
                                                u"include file=x\r\n", u"echo var=y\r\n"}));
  EXPECT_EQ(Tree(), "text \"12,3,4 \"\n");
}
