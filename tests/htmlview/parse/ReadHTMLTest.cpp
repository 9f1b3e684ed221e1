#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "htmlview/parse/ReadHTML.h"

using namespace htmlview;

namespace {

bool IsEndSymbol(Symb sy) {
  for (const TResWord& r : ResWordList())
    if (r.EndSym == sy && r.EndSym != UnknownTagSymbol) return true;
  return false;
}

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    if (c == u'\r')
      out += "\\r";
    else if (c == u'\n')
      out += "\\n";
    else if (c >= 0x20 && c < 0x7F)
      out += static_cast<char>(c);
    else {
      char buf[12];
      std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

// One line per symbol: text in quotes; tags as <name> or </name>, "?" for unknown words, the
// heading level after the name, then each attribute as name=value#number.
std::string Describe(THtmlParser& p) {
  if (p.Sy == TextSymbol) return "'" + Narrow(p.TextToken.S()) + "'";
  if (p.Sy == EofSymbol) return "EOF";
  std::string s = "<";
  if (IsEndSymbol(p.Sy)) s += "/";
  s += p.Sy == UnknownTagSymbol ? std::string("?") : Narrow(std::u16string(SymbolNames[p.Sy]));
  if (p.TagValue) s += std::to_string(p.TagValue);
  for (const auto& a : p.Attributes) {
    s += " ";
    s += a->Which == UnknownAttrSymbol ? "?" + Narrow(a->WhichName) : Narrow(std::u16string(SymbolNames[a->Which]));
    s += "=" + Narrow(a->Name) + "#" + std::to_string(a->Value);
  }
  return s + ">";
}

std::vector<std::string> Symbols(TBuffer& buffer, THtmlParserHost* host = nullptr) {
  THtmlParser p(buffer, host);
  std::vector<std::string> out;
  p.NextCh();
  for (int guard = 0; guard < 10000; ++guard) {
    p.Next();
    out.push_back(Describe(p));
    if (p.Sy == EofSymbol) break;
  }
  return out;
}

std::vector<std::string> Symbols(std::string_view html, THtmlParserHost* host = nullptr) {
  TBuffer buffer(std::vector<uint8_t>(html.begin(), html.end()), u"t");
  return Symbols(buffer, host);
}

using Lines = std::vector<std::string>;

// ---- tables ----

TEST(KeywordTables, AreSortedAndComplete) {
  EXPECT_EQ(ResWordList().size(), 90u);
  EXPECT_EQ(AttribWordList().size(), 85u);
  EXPECT_EQ(EntityList().size(), 253u);
  for (size_t i = 1; i < ResWordList().size(); ++i) EXPECT_LT(ResWordList()[i - 1].Name, ResWordList()[i].Name);
  for (size_t i = 1; i < EntityList().size(); ++i) EXPECT_LT(EntityList()[i - 1].Name, EntityList()[i].Name);
  for (size_t i = 1; i < AttribWordList().size(); ++i) EXPECT_LE(AttribWordList()[i - 1].Name, AttribWordList()[i].Name);
  int withoutEnd = 0;
  for (const TResWord& r : ResWordList()) {
    ASSERT_EQ(FindResWord(r.Name), &r);
    withoutEnd += r.EndSym == UnknownTagSymbol;
    EXPECT_EQ(ResWordList()[SymbolWordIndex[r.Symbol]].Name, r.Name);
    if (r.EndSym != UnknownTagSymbol) {
      EXPECT_EQ(SymbolWordIndex[r.EndSym], SymbolWordIndex[r.Symbol]);
    }
  }
  EXPECT_EQ(withoutEnd, 20);
  for (const TEntity& e : EntityList()) EXPECT_EQ(FindEntity(e.Name), &e);
  for (const TSymbolRec& r : AttribWordList()) EXPECT_EQ(FindAttribWord(r.Name)->Symbol, r.Symbol);
}

TEST(KeywordTables, LookupsAndNames) {
  EXPECT_EQ(FindResWord(u"b"), nullptr);  // callers upper-case
  EXPECT_EQ(FindResWord(u"BR")->EndSym, UnknownTagSymbol);
  EXPECT_EQ(FindResWord(u"BLOCKQUOTE")->EndSym, BlockquoteEndSy);
  struct Shared {
    const char16_t* word;
    Symb sym;
  } shared[] = {{u"TITLE", TitleSy}, {u"LINK", LinkSy},   {u"SELECTED", SelectedSy}, {u"WRAP", WrapSy},
                {u"STYLE", StyleSy}, {u"SPAN", SpanSy},   {u"LABEL", LabelSy},       {u"READONLY", ReadonlySy},
                {u"VALUE", ValueSy}, {u"HTTP-EQUIV", HttpequivSy}};
  for (const Shared& s : shared) EXPECT_EQ(FindAttribWord(s.word)->Symbol, s.sym);
  EXPECT_EQ(SymbolNames[BlockquoteSy], u"blockquote");
  EXPECT_EQ(SymbolNames[BlockquoteEndSy], u"blockquote");
  EXPECT_EQ(SymbolNames[HttpequivSy], u"http-equiv");
  EXPECT_EQ(SymbolNames[TitleSy], u"title");
  EXPECT_EQ(SymbolNames[TextSymbol], u"");
  EXPECT_EQ(SymbolWordIndex[HrefSy], -1);
  EXPECT_EQ(SymbolWordIndex[UnknownTagSymbol], -1);
  struct Ent {
    const char16_t* name;
    int32_t value;
  } ents[] = {{u"nbsp", 0xA0}, {u"yuml", 0xFF}, {u"Alpha", 0x391}, {u"alpha", 0x3B1}, {u"sigmaf", 0x3C2},
              {u"euro", 0x20AC}, {u"apos", 0x2019}, {u"thetasym", 0x3D1}, {u"diams", 0x2666}, {u"lang", 0x2329}};
  for (const Ent& e : ents) {
    ASSERT_NE(FindEntity(e.name), nullptr) << Narrow(e.name);
    EXPECT_EQ(FindEntity(e.name)->Value, e.value);
  }
  EXPECT_EQ(FindEntity(u"AMP"), nullptr);
}

// ---- characters ----

TEST(Tokenizer, LineEndsReachTheCallerAsOneCr) {
  struct Case {
    std::string in;
    std::u16string out;
  } cases[] = {{"a\r\nb", u"a\rb"}, {"a\n\rb", u"a\rb"},  {"a\rb", u"a\rb"},      {"a\nb", u"a\rb"},
               {"a\r\r\nb", u"a\r\rb"}, {"a\r\n\nb", u"a\r\rb"}, {"a\tb", u"a b"}, {"a\n\nb", u"a\r\rb"}};
  for (const Case& c : cases) {
    TBuffer b(std::vector<uint8_t>(c.in.begin(), c.in.end()), u"t");
    THtmlParser p(b);
    std::u16string got;
    for (p.NextCh(); p.Ch; p.NextCh()) got += p.Ch;
    EXPECT_EQ(got, c.out) << c.in;
  }
}

TEST(Tokenizer, TextRuns) {
  struct Case {
    std::string in;
    Lines out;
  } cases[] = {
      {"x   y", {"'x y'", "EOF"}},
      {"x \r\n\t y", {"'x y'", "EOF"}},
      {"a < b", {"'a '", "'< b'", "EOF"}},
      {"a<3", {"'a'", "'<3'", "EOF"}},
      {"a\x01" "b", {"'a'", "'?b'", "EOF"}},
      {"a\fb", {"'a\\u000Cb'", "EOF"}},
      {"", {"EOF"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Symbols(c.in), c.out) << c.in;
}

// A NUL byte, or bytes that do not decode, are characters: the text after them stays.
TEST(Tokenizer, NulAndBadBytesKeepTheRest) {
  EXPECT_EQ(Symbols(std::string_view("a\0b", 3)), (Lines{"'a\\uFFFDb'", "EOF"}));
  TBuffer wide = TBuffer::FromString(std::u16string(u"a\0b<i>c", 7), u"t");
  const Lines fromWide = Symbols(wide);
  ASSERT_EQ(fromWide.size(), 4u);
  EXPECT_EQ(fromWide[1], "<i>");
  EXPECT_EQ(fromWide[2], "'c'");
  const std::string bad = "a\xC3\x41" "b\xFF<b>c";
  TBuffer utf8(std::vector<uint8_t>(bad.begin(), bad.end()), u"t");
  utf8.SetCodePage(CP_UTF8);
  const Lines got = Symbols(utf8);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_NE(got[0].find("b"), std::string::npos);
  EXPECT_EQ(got[1], "<b>");
  EXPECT_EQ(got[2], "'c'");
}

TEST(Tokenizer, SourcePositionsOfTextAndTags) {
  TBuffer b(std::vector<uint8_t>{'a', ' ', ' ', 'b', '<', 'p', '>', '&', 'l', 't', ';', 'c'}, u"t");
  TParserHost host;
  THtmlParser p(b, &host);
  p.NextCh();
  p.Next();
  EXPECT_EQ(p.TextToken.S(), u"a b");
  EXPECT_EQ(std::vector<int>(p.TextToken.I.begin(), p.TextToken.I.begin() + 3), (std::vector<int>{0, 1, 3}));
  p.Next();
  EXPECT_EQ(p.Sy, PSy);
  EXPECT_EQ(p.TagPos, 4);
  p.Next();
  EXPECT_EQ(p.TextToken.S(), u"<c");
  EXPECT_EQ(std::vector<int>(p.TextToken.I.begin(), p.TextToken.I.begin() + 2), (std::vector<int>{7, 11}));
}

// Long runs come whole: one text symbol, one tag, one reference.
TEST(Tokenizer, LongRuns) {
  const size_t n = 300000;
  std::string in(n, 'x');
  in += "<" + std::string(n, 'q') + " a=" + std::string(n, 'v') + ">&#" + std::string(n, '0') + "65;";
  TBuffer b(std::vector<uint8_t>(in.begin(), in.end()), u"t");
  THtmlParser p(b);
  p.NextCh();
  p.Next();
  EXPECT_EQ(p.TextToken.Leng, static_cast<int>(n));
  p.Next();
  EXPECT_EQ(p.Sy, UnknownTagSymbol);
  ASSERT_EQ(p.Attributes.Count(), 1);
  EXPECT_EQ(p.Attributes[0]->Name.size(), n);
  p.Next();
  EXPECT_EQ(p.TextToken.S(), u"A");
}

// ---- references ----

TEST(Tokenizer, CharacterReferences) {
  struct Case {
    std::string in;
    std::u16string out;
    int codePage = 1252;
  } cases[] = {
      {"&amp;", u"&"},
      {"&AMP;", u"&AMP;"},
      {"&eacute", u"\u00E9"},
      {"&eacutex", u"&eacutex"},
      {"&Alpha", u"&Alpha"},
      {"&Alpha;", u"\u0391"},
      {"&apos;", u"\u2019"},
      {"&#150;", u"\u2013"},
      {"&#150;", u"\u0096", CP_UTF8},
      {"&#x41;", u"A"},
      {"&#X41", u"A"},
      {"&#;", u"&#;"},
      {"&#x;", u"&#x;"},
      {"&#9;", u" "},
      {"&#0;", u"?"},
      {"&#31;", u"?"},
      {"&#65596;", u"\U0001003C"},
      {"&#x10FFFF;", u"\U0010FFFF"},
      {"&#xD800;", u"\uFFFD"},
      {"&#xDFFF;", u"\uFFFD"},
      {"&#x110000;", u"\uFFFD"},
      {"&#99999999999999999999999;", u"\uFFFD"},
      {"&#4294967361;", u"\uFFFD"},  // 2^32 + 65 must not wrap to "A"
      {"&abcdefghijklmnop;", u"&abcdefghijklmnop;"},
      {"& b", u"& b"},
  };
  for (const Case& c : cases) {
    TBuffer b(std::vector<uint8_t>(c.in.begin(), c.in.end()), u"t");
    TParserHost host;
    host.CurrentCodePage = c.codePage;
    THtmlParser p(b, &host);
    p.NextCh();
    p.Next();
    EXPECT_EQ(p.Sy, TextSymbol) << c.in;
    EXPECT_EQ(p.TextToken.S(), c.out) << c.in;
  }
}

// ---- tags and attributes ----

TEST(Tokenizer, TagsAndAttributes) {
  struct Case {
    std::string in;
    Lines out;
  } cases[] = {
      {"<h3 class=x>", {"<h3 class=x#0>", "EOF"}},
      {"<H7>", {"<h ?7=#0>", "EOF"}},
      {"</h2>", {"</h2>", "EOF"}},
      {"<td nowrap width=50%>", {"<td nowrap=#0 width=50%#50>", "EOF"}},
      {"<table border>", {"<table border=#1>", "EOF"}},
      {"<table border=0>", {"<table border=0#0>", "EOF"}},
      {"<col width=*>", {"<col width=*#1>", "EOF"}},
      {"<col width=3*>", {"<col width=3*#3>", "EOF"}},
      {"<img width=1.5 height=-2.5 hspace=1e30>", {"<img width=1.5#2 height=-2.5#-3 hspace=1e30#16777215>", "EOF"}},
      {"<img width=50px>", {"<img width=50px#0>", "EOF"}},
      {"</B></br>", {"</b>", "<?>", "EOF"}},
      {"<foo bar=1 Href='x'>", {"<? ?bar=1#1 href=x#0>", "EOF"}},
      {"<a title=\"a\r\nb\" alt='c\nd' href=\"e\nf\">", {"<a title=a\\r\\nb#0 alt=c\\r\\nd#0 href=ef#0>", "EOF"}},
      {"<a href=\"x&amp;y\" name=p&lt;q>", {"<a href=x&y#0 name=p<q#0>", "EOF"}},
      {"<a href=\"unclosed>text", {"<a href=unclosed>text#0>", "EOF"}},
      {"<a\r\nhref = x\tname=y\n>t", {"<a href=x#0 name=y#0>", "'t'", "EOF"}},
      {"<?xml version=\"1.0\"?>x", {"<?>", "'x'", "EOF"}},
      {"<p/>", {"<p>", "EOF"}},
      {"<//>", {"<?>", "EOF"}},
      {"<my_tag>", {"<?>", "EOF"}},
      {"<b", {"<b>", "EOF"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Symbols(c.in), c.out) << c.in;
}

TEST(Tokenizer, ScriptAndStyleStartTagsStopAtTheirBracket) {
  for (std::string_view in : {"<script type=x>a", "<style>a"}) {
    TBuffer b(std::vector<uint8_t>(in.begin(), in.end()), u"t");
    THtmlParser p(b);
    p.NextCh();
    p.Next();
    EXPECT_EQ(p.Ch, u'>');
  }
}

// Content that no reader takes is skipped by the next symbol, or handed to the raw-content hook:
// never read as text or markup.
TEST(Tokenizer, ScriptAndStyleContentNoReaderTookIsNeverText) {
  EXPECT_EQ(Symbols("<b><script>x <!-- y</script>z<style>p>q{}<i></STYLE >w"),
            (Lines{"<b>", "<script>", "'z'", "<style>", "'w'", "EOF"}));
  EXPECT_EQ(Symbols("<script>never closed <b>"), (Lines{"<script>", "EOF"}));
  const std::string_view in = "<style>a{}</style>b";
  TBuffer b(std::vector<uint8_t>(in.begin(), in.end()), u"t");
  THtmlParser p(b);
  std::vector<Symb> handed;
  p.OnRawContent = [&](Symb sy) {
    handed.push_back(sy);
    p.ReadRawContent(u"</style", nullptr);
  };
  p.NextCh();
  p.Next();
  p.Next();
  EXPECT_EQ(handed, std::vector<Symb>{StyleSy});
  EXPECT_EQ(Describe(p), "'b'");
  // A reader that went on by characters took the content: nothing is handed on.
  p.Next();
  EXPECT_EQ(handed.size(), 1u);
}

// Whatever stands between a raw-content end tag and its '>', a character beyond the BMP in UTF-8
// is read whole: no text after it begins with the second half of its pair. The stray characters
// before it move its place through the few that the end tag may hold.
TEST(Tokenizer, CharactersBeyondTheBmpAfterARawEndTagStayWhole) {
  const std::string grin = "\xF0\x9F\x98\x80";  // U+1F600
  struct Case {
    const char* name;
    const char* open;
    const char* end;
    bool noMarkup;
  } cases[] = {
      {"script, no markup", "<script>", "</script", true},
      {"script", "<script>", "</script", false},
      {"style", "<style>", "</style", false},
      {"STYLE, no markup", "<STYLE>x", "</STYLE", true},
  };
  for (const Case& c : cases) {
    for (int stray = 0; stray <= 8; ++stray) {
      const std::string in = std::string(c.open) + c.end + std::string(static_cast<size_t>(stray), '@') + "\xAC" +
                             grin + grin + "a";
      TBuffer buffer(std::vector<uint8_t>(in.begin(), in.end()), u"t");
      buffer.SetCodePage(CP_UTF8);
      THtmlParser p(buffer);
      p.NoMarkup = c.noMarkup;
      std::u16string text;
      p.NextCh();
      do {
        p.Next();
        if (p.Sy != TextSymbol) continue;
        const std::u16string& t = p.TextToken.S();
        ASSERT_FALSE(t.empty());
        EXPECT_FALSE(t.front() >= 0xDC00 && t.front() < 0xE000) << c.name << ", " << stray << ": " << Narrow(t);
        EXPECT_FALSE(t.back() >= 0xD800 && t.back() < 0xDC00) << c.name << ", " << stray << ": " << Narrow(t);
        text += t;
      } while (p.Sy != EofSymbol);
      // What the end tag does not hold is text, as written; past what it may hold, both
      // characters.
      const std::u16string after = std::u16string(static_cast<size_t>(stray), u'@') + u"\uFFFD\U0001F600\U0001F600a";
      EXPECT_TRUE(after.ends_with(text)) << c.name << ", " << stray << ": " << Narrow(text);
      if (stray >= 6) EXPECT_TRUE(text.ends_with(u"\U0001F600\U0001F600a")) << c.name << ", " << stray;
    }
  }
}

TEST(Tokenizer, AttributesCarryTheCodePage) {
  TBuffer b(std::vector<uint8_t>{'<', 'b', ' ', 'x', '=', '1', '>'}, u"t");
  TParserHost host;
  host.CurrentCodePage = 1251;
  THtmlParser p(b, &host);
  p.NextCh();
  p.Next();
  ASSERT_EQ(p.Attributes.Count(), 1);
  EXPECT_EQ(p.Attributes[0]->CodePage, 1251);
  EXPECT_EQ(p.Attributes[0]->WhichName, u"x");
}

TEST(AttributeNumbers, ReadWithoutTheLocale) {
  struct Case {
    const char16_t* text;
    double value;
  } cases[] = {{u"1.5", 2},          {u"-1.5", -2},  {u"2.5", 3},      {u"0.49", 0},        {u" 7 ", 7},
               {u"+5", 5},           {u"+-5", -9},   {u"-inf", -9},    {u"nan", -9},        {u"1e400", -9},
               {u"-1e30", INT32_MIN}, {u"40%", 40},  {u"*", 1},        {u"%", -9},          {u"", -9},
               {u"5.", 5},           {u".5", 1},     {u"0x10", -9},    {u"\u0661", -9},     {u"3 4", -9}};
  auto check = [&] {
    for (const Case& c : cases) EXPECT_EQ(AttributeNumber(c.text, -9), c.value) << Narrow(c.text);
  };
  check();
  struct Restore {
    std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    ~Restore() { std::setlocale(LC_NUMERIC, saved.c_str()); }
  } restore;
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 not installed (locales-all)";
  check();
  EXPECT_EQ(Symbols("<img width=1.5>")[0], "<img width=1.5#2>");
}

// ---- comments, server markup, includes ----

TEST(Tokenizer, CommentsAndServerMarkup) {
  struct Case {
    std::string in;
    Lines out;
  } cases[] = {
      {"a<!-- a -- b -->b", {"'ab'", "EOF"}},
      {"a<!-- x -- >b", {"'ab'", "EOF"}},
      {"a<!---->b", {"'ab'", "EOF"}},
      {"a<!-- x --!>b", {"'ab'", "EOF"}},
      {"a<!-- <p> --\r\n>b", {"'ab'", "EOF"}},
      {"<!DOCTYPE x>b", {"'b'", "EOF"}},
      {"a<% x %>b", {"'ab'", "EOF"}},
      {"a<% x % > %>b", {"'ab'", "EOF"}},
      {"a<% x", {"'a'", "EOF"}},
      {"<b<!--c-->>", {"<b>", "EOF"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Symbols(c.in), c.out) << c.in;
  for (std::string_view open : {"a<!-- x", "a<!-- x -", "a<!x", "<!--#include file=x"}) {
    TBuffer b(std::vector<uint8_t>(open.begin(), open.end()), u"t");
    THtmlParser p(b);
    p.OnInclude = [](QObject*, const std::u16string&, const std::u16string&, std::u16string&) {};
    try {
      p.NextCh();
      for (int i = 0; i < 10 && p.Sy != EofSymbol; ++i) p.Next();
      ADD_FAILURE() << open << ": no error";
    } catch (const EHtmlParseError& e) {
      EXPECT_STREQ(e.what(), "Open Comment at End of HTML File");
    }
  }
}

TEST(Tokenizer, NoMarkupReadsCommentsAsText) {
  TBuffer b(std::vector<uint8_t>{'<', '!', '-', '-', 'x'}, u"t");
  THtmlParser p(b);
  p.NoMarkup = true;
  std::u16string got;
  for (p.NextCh(); p.Ch; p.NextCh()) got += p.Ch;
  EXPECT_EQ(got, u"<!--x");
}

TEST(Tokenizer, IncludeCommands) {
  const std::string in = "a<!--#inc file=\"x&amp;\r\ny\" n=v-w -->b";
  TBuffer b(std::vector<uint8_t>(in.begin(), in.end()), u"t");
  TParserHost host;
  THtmlParser p(b, &host);
  std::u16string command, params;
  p.OnInclude = [&](QObject*, const std::u16string& c, const std::u16string& pr, std::u16string& included) {
    command = c, params = pr;
    included = u"<i>in</i>";
  };
  p.NextCh();
  Lines got;
  std::vector<int> positions;
  do {
    p.Next();
    got.push_back(Describe(p));
    positions.push_back(p.Sy == TextSymbol ? p.TextToken.I[0] : p.TagPos);
  } while (p.Sy != EofSymbol);
  EXPECT_EQ(command, u"inc");
  EXPECT_EQ(params, u"file=x& y\r\nn=v\r\n");
  EXPECT_EQ(got, (Lines{"'a'", "<i>", "'in'", "</i>", "'b'", "EOF"}));
  // The included text stands at the place of the command.
  EXPECT_EQ(positions[2], positions[1]);
  EXPECT_EQ(positions[4], static_cast<int>(in.size()) - 1);
  EXPECT_EQ(p.IncludeDepth(), 0);
}

TEST(Tokenizer, IncludesNestAtMostSixteenDeep) {
  const std::string in = "<!--#again-->";
  TBuffer b(std::vector<uint8_t>(in.begin(), in.end()), u"t");
  THtmlParser p(b);
  int calls = 0;
  p.OnInclude = [&](QObject*, const std::u16string&, const std::u16string&, std::u16string& included) {
    ++calls;
    included = u"x<!--#again-->y";
  };
  p.NextCh();
  p.Next();
  EXPECT_EQ(calls, THtmlParser::MaxIncludeDepth);
  EXPECT_EQ(p.TextToken.S(), std::u16string(16, u'x') + std::u16string(16, u'y'));
  p.Next();
  EXPECT_EQ(p.Sy, EofSymbol);
}

// ---- host ----

class TRecordingHost : public TParserHost {
public:
  bool HasDocument() const override { return true; }
  int ParseShare() const override { return 75; }
  void Progress(int percent) override { reports.push_back(percent); }
  void AddChPosObject(const std::u16string& id, int pos) override { ids.push_back(Narrow(id) + "@" + std::to_string(pos)); }
  std::vector<int> reports;
  std::vector<std::string> ids;
};

TEST(Tokenizer, ProgressAndIdentifiersGoToTheHost) {
  std::string in(10000, 'x');
  in += "<p id=here>";
  TBuffer b(std::vector<uint8_t>(in.begin(), in.end()), u"t");
  TRecordingHost host;
  THtmlParser p(b, &host);
  p.NextCh();
  while (p.Sy != EofSymbol) p.Next();
  ASSERT_GE(host.reports.size(), 3u);
  EXPECT_EQ(host.reports[0], static_cast<int>(4096LL * 75 / 10011));
  EXPECT_EQ(host.reports.back(), 75);
  EXPECT_TRUE(std::is_sorted(host.reports.begin(), host.reports.end()));
  EXPECT_EQ(host.ids, (std::vector<std::string>{"here@10010"}));

  TRecordingHost quiet;
  TBuffer again(std::vector<uint8_t>(in.begin(), in.end()), u"t");
  THtmlParser pre(again, &quiet);
  pre.PreScan = true;
  pre.NextCh();
  while (pre.Sy != EofSymbol) pre.Next();
  EXPECT_TRUE(quiet.reports.empty());
  EXPECT_TRUE(quiet.ids.empty());
}

// The bytes of a page in one of the byte-wise encodings are read straight from the buffer where
// they are plain ASCII; the same page held as UTF-16 is read character by character through the
// decoder. Both must give the same symbols, texts, positions (two bytes a character in UTF-16),
// identifiers and progress.
TEST(Tokenizer, BytesAndWideTextReadAlike) {
  auto record = [](TBuffer& buffer, int scale) {
    TRecordingHost host;
    THtmlParser p(buffer, &host);
    std::vector<std::string> out;
    p.NextCh();
    for (int guard = 0; guard < 100000 && p.Sy != EofSymbol; ++guard) {
      p.Next();
      std::string line = Describe(p) + " @" + std::to_string(p.TagPos / scale) + " line-end " +
                         std::to_string(p.LineEndState) + " [";
      for (int i = 0; i < p.TextToken.Leng; ++i) line += std::to_string(p.TextToken.I[static_cast<size_t>(i)] / scale) + ",";
      out.push_back(line + "]");
    }
    for (int r : host.reports) out.push_back("progress " + std::to_string(r));
    for (const std::string& id : host.ids) out.push_back("id " + id.substr(0, id.find('@')));
    return out;
  };
  std::string many;
  for (int i = 0; i < 300; ++i) many += "<b>bold</b> <i id=i" + std::to_string(i) + ">it</i>\r\n<a href='x'>l</a>\t";
  const std::string pages[] = {
      "a\tb\r\nc\rd\ne\n\rf  g\r\r\n\n",
      "x<!-- c -->y<!x>z<%s%>w<!---->v< p>u<>t<",
      "<p class=a title=\"t\r\nu\">t&amp;u&#65;&#x42;&bogus; &lt v&nbsp</p>",
      std::string("a\x01" "b\x7F c\x08 d\x0B\x0C" "e", 11),
      "<script>if (a<b) x;</script>after<style>p{}</style>t<title>T<b></title>",
      "<textarea>a<b\r\n</textarea><pre>  x\r\n  y</pre><h2 align=center>H</h2>",
      "<!--#include file=x -->text<p id=\"p1\">z",
      many,
  };
  for (const std::string& page : pages) {
    TBuffer bytes(std::vector<uint8_t>(page.begin(), page.end()), u"t");
    bytes.SetCodePage(1252);
    TBuffer wide = TBuffer::FromString(std::u16string(page.begin(), page.end()), u"t");
    EXPECT_EQ(record(bytes, 1), record(wide, 2)) << page.substr(0, 40);
  }
}

// ---- document type ----

TEST(QuirksMode, DocumentTypes) {
  struct Case {
    std::string in;
    bool quirks;
  } cases[] = {
      {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">", false},
      {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">", false},
      {"<!doctype html public \"-//w3c//dtd html 4.01 frameset//en\">", false},
      {"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" \"http://x\">", false},
      {"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\" \"http://x\">", false},
      {"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML Basic 1.1//EN\">", false},
      {"<!DOCTYPE html>", false},
      {"<!DOCTYPE html >", false},
      {"  <!-- c --><!DOCTYPE html><html>", false},
      {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">", true},
      {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2 Final//EN\">", true},
      {"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML Basic 1.0//EN\">", true},
      {"<!DOCTYPE html SYSTEM \"about:legacy-compat\">", true},
      {"<!DOCTYPE svg>", true},
      {"<html><!DOCTYPE html>", true},
      {"<body>", true},
      {"", true},
      {"<p>text without a declaration", true},
  };
  for (const Case& c : cases) {
    TBuffer b(std::vector<uint8_t>(c.in.begin(), c.in.end()), u"t");
    THtmlParser p(b);
    EXPECT_EQ(p.ShouldUseQuirksMode(), c.quirks) << c.in;
    EXPECT_EQ(b.Position(), 0) << c.in;
  }
}

TEST(QuirksMode, LeavesTheReadingPositionAlone) {
  const std::string in = "\xEF\xBB\xBF<!DOCTYPE html><p>a";
  TBuffer b(std::vector<uint8_t>(in.begin(), in.end()), u"t");
  const int start = b.Position();
  THtmlParser p(b);
  EXPECT_FALSE(p.ShouldUseQuirksMode());
  EXPECT_EQ(b.Position(), start);
  p.NextCh();
  p.Next();
  EXPECT_EQ(p.Sy, PSy);
}

}  // namespace
