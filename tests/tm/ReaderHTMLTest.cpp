// The markup scanner and the segment-text routines of TReaderHTML, fed from strings the way the
// SDLTM segment decoder feeds it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/Utf8.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorkGrowth.h"
#include "tm/MyReaderHTML.h"

namespace {

std::string U8(std::u16string_view s) { return platform::Utf16ToUtf8(s); }

// Reads its markup from a string and logs what it is told.
class TLogReader : public TReaderHTML {
public:
  TLogReader() : TReaderHTML(WideString()) {}

  void Run(const std::string& utf8) {
    Buffer = platform::Utf8ToUtf16(utf8);
    BufIndex = 0;
    BufLen = static_cast<int64_t>(Buffer.size());
    Events.clear();
    Parse();
  }

  WideChar NextChar() override {
    EndOfInput = BufIndex >= BufLen;
    return EndOfInput ? u'\t' : Buffer[static_cast<size_t>(BufIndex++)];
  }
  void Start() override {}
  void Finish() override {}
  bool EndUnit(bool) override { return true; }

  void TagOpened(TTag* tag) override {
    std::string e = "<" + U8(tag->Name);
    for (int i = 0; i < tag->Attributes.Count(); ++i)
      e += " " + U8(tag->Attributes.Items(i).Name) + "=[" + U8(tag->Attributes.Items(i).Value) + "]";
    Events.push_back(e + ">");
    if (AbortAt && static_cast<int>(Events.size()) == AbortAt) Abort();
  }
  TTag* TagClosed(TTag* tag, std::u16string_view) override {
    Events.push_back("</" + U8(tag->Name) + ">" + (tag->Text() && *tag->Text() ? "[" + U8(tag->Text()) + "]" : ""));
    return tag->Close();
  }

  std::vector<std::string> Events;
  int AbortAt = 0;
};

using Events = std::vector<std::string>;

// The 32-digit group that stands for an inline element.
std::u16string Key(char digit) { return u"{" + std::u16string(32, static_cast<char16_t>(digit)) + u"}"; }

}  // namespace

TEST(ReaderHTMLParse, ElementsAttributesTextAndComments) {
  const std::pair<std::string, Events> cases[] = {
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a x=\"1\"><b>t</b><c/><d y='2' z = \"3\"/><e q=\"1\" /></a>",
       {"<xml version=[1.0] encoding=[UTF-8]>", "</xml>", "<a x=[1]>", "<b>", "</b>[t]", "<c>", "</c>", "<d y=[2] z=[3]>",
        "</d>", "<e q=[1]>", "</e>", "</a>"}},
      // TAB, CR and LF separate names in markup as blanks do; blanks may surround "=".
      {"<tu\r\n><tuv\t\txml:lang='eN-uS'></tuv><tuv     xml:lang= \t\t\n\"fR-Ca\"\n>x</tuv\t></tu>",
       {"<tu>", "<tuv xml:lang=[eN-uS]>", "</tuv>", "<tuv xml:lang=[fR-Ca]>", "</tuv>[x]", "</tu>"}},
      // Empty values, values without quotes and a name without "=" that runs into the next one.
      {"<a b=\"\" c=d e f=\"g\"/>", {"<a b=[] c=[d] e f=[g]>", "</a>"}},
      // A quoted value may hold ">", "/", "?" and the other kind of quote; line ends in it are blanks.
      {"<a t=\"x > y/z 'q'?\" u='say \"hi\"' v=\"l1\r\nl2\tl3\">body</a>",
       {"<a t=[x > y/z 'q'?] u=[say \"hi\"] v=[l1 l2 l3]>", "</a>[body]"}},
      // An unterminated value gives up at the next tag, and the tags after it are read.
      {"<a t=\"x><b>y</b>", {"<b>", "</b>[y]"}},
      // Text keeps its TABs; a line end (CR LF, CR or LF) is one LF, as XML reads it.
      {"<s>a\tb\r\nc\nd\re</s>", {"<s>", "</s>[a\tb\nc\nd\ne]"}},
      // Comments end at "-->" and hold anything; the text before markup is added to its element once.
      {"<!DOCTYPE tmx SYSTEM \"tmx14.dtd\"><s>one<!-- a > b <x> -- -->two<<b/>three<!---->four</s>",
       {"<s>", "<b>", "</b>", "</s>[onetwothreefour]"}},
      {"<a>tail", {"<a>"}},  // text after the last "<" is never delivered
  };
  TLogReader r;
  for (const auto& [markup, events] : cases) {
    r.Run(markup);
    EXPECT_EQ(r.Events, events) << markup;
  }
  r.AbortAt = 2;  // a stop ends the scan at once
  r.Run("<a><b><c></c></b></a>");
  EXPECT_EQ(r.Events, (Events{"<a>", "<b>"}));
}

// Names and texts of any length grow their buffers.
TEST(ReaderHTMLParse, LongNamesAndValues) {
  TLogReader r;
  const std::string name(70000, 'n'), value(100000, 'v'), text(120000, 't');
  r.Run("<" + name + " a=\"" + value + "\">" + text + "</x>");
  EXPECT_EQ(r.Events, (Events{"<" + name + " a=[" + value + "]>", "</" + name + ">[" + text + "]"}));
}

TEST(ReaderHTMLText, DecodeEntities) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"a&amp;b", u"a&b"},
      {u"&eacute;&euro;&nbsp;&lt;b&gt;", u"\u00E9\u0080 <b>"},
      // Decoded once: an "&" of the text starts no reference. It stays an "&", escaped only
      // where what follows would make it a code of the field.
      {u"&#38;lt; &amp;#38; &#x26;amp;", u"&lt; &'26;#38; &amp;"},
      {u"&amp;tA; &amp;t=x; &amp;'41; &amp;#x41; &amp;pb; &amp;&amp;", u"&'26;tA; &'26;t=x; &'26;'41; &'26;#x41; &pb; &&"},
      // TAB and line ends are escaped; #0 stays a character, which the unit stream escapes.
      {u"a&#9;b&#x0A;c&#13;d&#0;e\nf", std::u16string(u"a&'9;b&'A;c&'D;d\0e\nf", 20)},
      // Placeholders and open forms stay, and so does what is inside an open form.
      {u"&tA;&amp;pB; &t=x&amp;y;", u"&tA;&'26;pB; &t=x&amp;y;"},
      {u"&foo; &ampx; & &", u"&foo; &ampx; & &"},
      // Beyond the 16-bit range: one character, written as its pair.
      {u"&#x1F600;&#128512;&'1F600;", u"\U0001F600\U0001F600\U0001F600"},
      {u"&#0000065;&#65x;&#66", u"AAx;B"},
      {u"&#;&#x;[&#x110000;][&#xFFFF;]", u"&#;&#x;[ ][ ]"},
  };
  TLogReader r;
  for (const auto& [in, out] : cases) {
    WideString text = in;
    r.DecodeEntities(text);
    EXPECT_EQ(U8(text), U8(out)) << U8(in);
  }
  WideString plain;
  r.DecodeXmlText(u"A &amp; B&#9;C&euro;&bogus; &amp;lt;\tD&#x1F600;", plain);
  EXPECT_EQ(U8(plain), U8(u"A & B C\u20AC&bogus; &lt; D\U0001F600"));
}

TEST(ReaderHTMLText, TagsBecomePlaceholders) {
  TLogReader r;
  WideString source = u"{\\b}bold{\\b0}  ";
  r.TagsToPlaceholders(source, true);
  EXPECT_EQ(source, u"&tA;bold&tB;");
  WideString target = u"{\\b0}x{\\b}{\\i}<a;b>";
  r.TagsToPlaceholders(target, false);
  EXPECT_EQ(target, u"&tB;x&tA;&t={\\i};&t=<a\\;b>;");

  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"{a{b}c} <x<y>z>", u"&tA; &tB;"},  // nested groups are one tag
      {u"a\tb\u00A0c\u00A9", u"a&'9;b&'A0;c&'A9;"},
      // An opener without its end is text; the scan goes on after it.
      {u"a < b c} {c and <i>x</i>{", u"a < b c} {c and &tA;x&tB;{"},
      {u"{x}{x}y{x}", u"&tA;y&tA;"},  // the same tag back to back: one placeholder
      {u"{\\field{x}}<#p1>", u"&fA;&pB;"},
      // A letter in the text already is never given to another tag.
      {u"&tA; {b} &tC; {d}", u"&tA; &tB; &tC; &tD;"},
      {u"&tB;{x}{y}", u"&tB;&tA;&tC;"},
      // Escaped markup between inline elements is text: a "<" tag never spans an element's group.
      {u"= " + Key('1') + u"<" + Key('2') + u"=lt, " + Key('1') + u">" + Key('2') + u" <b>",
       u"= &tA;<&tB;=lt, &tA;>&tB; &tC;"},
  };
  for (const auto& [in, out] : cases) {
    r.TagPlaceholders.Clear();
    WideString text = in;
    r.TagsToPlaceholders(text, true);
    EXPECT_EQ(U8(text), U8(out)) << U8(in);
  }
}

// The content of an unknown element is written in the open form, which escaping never breaks.
TEST(ReaderHTMLText, OpenFormsStayIntact) {
  TLogReader r;
  r.TagContents.AddUnique(Key('a'), u"x;y\u00A0z\t\\");
  WideString text = Key('a') + u" \u00A0";
  r.TagsToPlaceholders(text, false);
  EXPECT_EQ(U8(text), U8(u"&t=x\\;y\u00A0z \\ ; &'A0;"));
  WideString escaped = u"&t=\u00A0;\u00A0&t=\u00A0";
  r.EscapeSpecialChars(escaped);
  EXPECT_EQ(U8(escaped), U8(u"&t=\u00A0;&'A0;&t=&'A0;"));
  WideString ref;
  TReaderHTML::CharToHexRef(ref, 0x1F);
  TReaderHTML::CharToHexRef(ref, 0x80);
  EXPECT_EQ(ref, u"&'1F;&'80;");
}

// A segment keeps all its blanks; the outermost one at each edge is escaped, so that no reader
// of the field takes it for padding. An open form without its end would take the escape's ";"
// for its own: its ampersand is escaped instead.
TEST(ReaderHTMLText, SegmentsKeepTheirBlanks) {
  TLogReader r;
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u" ", u"&'20;"},
      {u"   ", u"&'20; &'20;"},
      {u"Custom Separator: ", u"Custom Separator:&'20;"},
      {u" a" + Key('a') + u"b  ", u"&'20;a&tA;b &'20;"},
      {u"a &amp; ", u"a &&'20;"},
      {u"x &t=y &t=z ", u"x &'26;t=y &'26;t=z&'20;"},
      {u"&t=y\\; ", u"&'26;t=y\\;&'20;"},
      {u"&t=y; ", u"&t=y;&'20;"},
      {u"a\u00A0 \t", u"a&'A0; &'9;"},
      {u"inner  blanks", u"inner  blanks"},
  };
  for (const auto& [in, out] : cases) {
    r.TagPlaceholders.Clear();
    r.TagContents.Clear();
    r.TagContents.AddUnique(Key('a'), u"x");
    WideString text = in;
    r.SegmentToField(text, true);
    EXPECT_EQ(U8(text), U8(out)) << U8(in);
  }
}

// Every routine takes one pass, however many unended openers or forms a segment holds.
TEST(ReaderHTMLText, PathologicalSegmentsStayLinear) {
  TLogReader r;
  // Their work grows with the segment, up to 60,000 of each.
  auto run = [&r](int n) {
    std::u16string text;
    for (int i = 0; i < n; ++i) text += u"<{&t=&x";
    WideString a = text;
    r.DecodeEntities(a);
    WideString b = text;
    r.TagsToPlaceholders(b, true);
    EXPECT_EQ(b.size(), text.size());
  };
  EXPECT_TRUE(workgrowth::GrowsLinearly(run, 7500, 60000));
}

// The scanner decodes only what it keeps, from the input's bytes: ill-formed UTF-8 becomes
// U+FFFD as the file reader makes it (one per maximal ill-formed subpart; a surrogate's form is
// taken), in every path of the decoder (short names, ASCII runs, two-byte runs, the rest).
TEST(ReaderHTMLBytes, Utf8DecodesAsTheFileReaderDoes) {
  const struct {
    std::string bytes;
    std::u16string text;
    bool lineEnds;
  } cases[] = {
      {"", u"", false},
      {"name", u"name", false},
      {"a long run of plain ASCII text, longer than sixteen bytes", u"a long run of plain ASCII text, longer than sixteen bytes", false},
      {"caf\xC3\xA9 \xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE8\xA8\xAD\xE5\xAE\x9A \xF0\x9F\x98\x80!",
       u"caf\u00E9 \u043F\u0440\u0438\u0432\u0435\u0442 \u8A2D\u5B9A \U0001F600!", false},
      {"x\xE2\x82y \xC0\xAF z\xF4\x90\x80\x80", u"x\uFFFDy \uFFFD\uFFFD z\uFFFD\uFFFD\uFFFD\uFFFD", false},
      {"\xED\xA0\x80\xED\xB0\x80-\xE0\x80\x80", u"\xD800\xDC00-\uFFFD\uFFFD\uFFFD", false},
      {"cut \xF0\x9F\x98", u"cut \uFFFD", false},
      {"\xD0\xBF\xD0", u"\u043F\uFFFD", false},
      // Line ends: CR LF and a lone CR become one LF in text, also inside long ASCII runs.
      {"one\r\ntwo\rthree\nfour, and a line long enough for the eight-byte path\r\n", u"one\ntwo\nthree\nfour, and a line long enough for the eight-byte path\n", true},
      {"a\r\nb\rc", u"a\r\nb\rc", false},
  };
  for (const auto& c : cases) {
    WideString out = u">";
    TReaderHTML::AppendUtf8(c.bytes, out, c.lineEnds);
    EXPECT_EQ(U8(out), U8(u">" + c.text)) << c.bytes;
  }
}

namespace {

// Reads its markup from a file, logging as TLogReader does.
class TFileLogReader : public TReaderHTML {
public:
  explicit TFileLogReader(const WideString& name) : TReaderHTML(name) {}
  void Start() override {}
  void Finish() override {}
  bool EndUnit(bool) override { return true; }
  void TagOpened(TTag* tag) override {
    std::string e = "<" + U8(tag->Name);
    for (int i = 0; i < tag->Attributes.Count(); ++i)
      e += " " + U8(tag->Attributes.Items(i).Name) + "=[" + U8(tag->Attributes.Items(i).Value) + "]";
    Events.push_back(e + ">");
  }
  TTag* TagClosed(TTag* tag, std::u16string_view) override {
    Events.push_back("</" + U8(tag->Name) + ">" + (tag->Text() && *tag->Text() ? "[" + U8(tag->Text()) + "]" : ""));
    return tag->Close();
  }
  // The comment that pads the document is no element: its text is nobody's.
  bool CollectsText(const TTag& tag) const override { return tag.Name != u"Root"; }
  std::vector<std::string> Events;
};

std::string Utf16(std::u16string_view text, bool bigEndian) {
  std::string out = bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE");
  for (const char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

}  // namespace

// Wherever the reader's blocks end (inside a name, a quoted value, a CR LF, a character of
// several bytes, a comment's end), in UTF-8 and in UTF-16, the same elements are reported.
TEST(ReaderHTMLBytes, BlocksEndAnywhere) {
  const std::string markup =
      "<a x=\"v\r\nw\" y='\xC3\xA9\xF0\x9F\x98\x80'>t\r\n\xD0\xBF<b/>u\r<!-- c -->v<c\r\nz=1>w</c\r\n></a>";
  const std::vector<std::string> expected = {
      "<a x=[v w] y=[\u00E9\U0001F600]>", "<b>", "</b>", "<c z=[1]>", "</c>[w]", "</a>[t\n\u043Fu\nv]"};
  TempDir dir;
  const std::string path = dir.File("blocks.xml");
  // UTF-8 blocks are 32768 bytes; UTF-16 ones 30000 characters.
  const struct {
    size_t boundary;
    int encoding;  // 0 UTF-8, 1 UTF-16LE, 2 UTF-16BE
  } runs[] = {{32768, 0}, {30000, 1}, {30000, 2}};
  for (const auto& run : runs) {
    for (size_t cut = 1; cut < markup.size(); ++cut) {
      // A comment pads the document so that the block ends cut bytes (or characters) into it.
      const std::string head = "<!--";
      const size_t markupStart = run.boundary - cut;
      std::string doc = head + std::string(markupStart - head.size() - 3, '.') + "-->";
      if (run.encoding == 0) doc = "\xEF\xBB\xBF" + doc;
      doc += markup;
      if (run.encoding != 0) {
        doc = Utf16(platform::Utf8ToUtf16(doc), run.encoding == 2);
      }
      TempDir::Write(path, doc);
      TFileLogReader r(platform::Utf8ToUtf16(path));
      r.Parse();
      EXPECT_TRUE(r.EndOfInput);
      ASSERT_EQ(r.Events, expected) << "encoding " << run.encoding << ", block ends " << cut << " into the markup";
    }
  }
}

// The odd last byte of a UTF-16 file is no character: the elements before it are reported as
// they would be without it, in both byte orders.
TEST(ReaderHTMLBytes, OddLastByteOfUtf16) {
  TempDir dir;
  const std::string path = dir.File("odd.xml");
  for (const bool bigEndian : {false, true}) {
    std::vector<std::string> events[2];
    for (int odd = 0; odd < 2; ++odd) {
      TempDir::Write(path, Utf16(u"<a>t\u00E9x<b/></a>", bigEndian) + (odd ? "\x3C" : ""));
      TFileLogReader r(platform::Utf8ToUtf16(path));
      r.Parse();
      events[odd] = r.Events;
    }
    EXPECT_EQ(events[1], events[0]) << bigEndian;
    EXPECT_EQ(events[0].size(), 4u);
  }
}
