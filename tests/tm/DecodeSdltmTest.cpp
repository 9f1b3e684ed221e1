// The SDLTM segment decoder: segment strings as the databases store them, into unit fields of
// TMX markup.
#include "tm/MyConvert.h"
#include "tm/MyDecodeSdltm.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/core/Utf8.h"

namespace {

std::u16string W(const std::string& utf8) { return platform::Utf8ToUtf16(utf8); }
std::string U8(const std::u16string& s) { return platform::Utf16ToUtf8(s); }

std::string Seg(const std::string& elements, const std::string& culture = "en-US") {
  return "<Segment xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><Elements>" +
         elements + "</Elements><CultureName>" + culture + "</CultureName></Segment>";
}

std::string Text(const std::string& value) { return "<Text><Value>" + value + "</Value></Text>"; }

std::string Tag(const std::string& type, const std::string& anchor, const std::string& alignment,
                const std::string& id, const std::string& more = "") {
  return "<Tag><Type>" + type + "</Type><Anchor>" + anchor + "</Anchor><AlignmentAnchor>" + alignment +
         "</AlignmentAnchor><TagID>" + id + "</TagID>" + more + "<CanHide>true</CanHide></Tag>";
}

}  // namespace

TEST(DecodeSdltm, SegmentsBecomeTmxMarkup) {
  const std::string longAnchor(120, '7');
  // Cyrillic, CJK and a character outside the Basic Multilingual Plane, none of them in an ANSI page.
  const std::string id = "\xD0\xB8\xD0\xB4-\xE6\x97\xA5\xE6\x9C\xAC-\xF0\x9F\x98\x80";
  const std::string placeholder = Tag("TextPlaceholder", "1", "1", "8", "<TextEquivalent>{1}</TextEquivalent>");
  std::string runs, longExpected;
  for (int i = 0; i < 3000; ++i) {  // longer than any buffer
    const std::string text = std::string(40, static_cast<char>('a' + i % 26)) + " &amp; ";
    runs += Text(text) + Tag("Standalone", "1", "1", std::to_string(i));
    longExpected += text + "<ph x=\"1\" type=\"" + std::to_string(i) + "\" />";
  }
  const std::pair<std::string, std::string> cases[] = {
      {Text("Hello, ") + Text("wor") + Text("ld") + Text(" "), "Hello, world "},
      {Text("a ") + Tag("Start", "1", "1", "6") + Text("b") + Tag("End", "1", "0", "6") + Text(" c") +
           Tag("Standalone", "2", "2", "7"),
       "a <bpt i=\"1\" x=\"1\" type=\"6\" />b<ept i=\"1\" /> c<ph x=\"2\" type=\"7\" />"},
      {Tag("LockedContent", "3", "3", "9"), "<bpt i=\"3\" x=\"3\" type=\"x-LockedContent\" /><ept i=\"3\" />"},
      // The text equivalent belongs to its own tag.
      {placeholder + Tag("TextPlaceholder", "2", "2", "9"),
       "<bpt i=\"1\" x=\"1\" type=\"x-TextPlaceholder\" />{1}<ept i=\"1\" />"
       "<bpt i=\"2\" x=\"2\" type=\"x-TextPlaceholder\" /><ept i=\"2\" />"},
      // A tag of a type the decoder does not know still makes well-formed markup.
      {Text("x") + Tag("Undefined", "5", "5", "10") + Text("y"), "x<ph x=\"5\" type=\"10\" />y"},
      // Attribute values keep every character; quotes and markup characters are escaped once.
      {Tag("Start", longAnchor, "1", id) + Tag("End", longAnchor, "0", id),
       "<bpt i=\"" + longAnchor + "\" x=\"1\" type=\"" + id + "\" /><ept i=\"" + longAnchor + "\" />"},
      {Tag("Standalone", "1", "a\"b'c", "x&amp;y&lt;z&gt;&amp;lt;"),
       "<ph x=\"a&quot;b&apos;c\" type=\"x&amp;y&lt;z&gt;&amp;lt;\" />"},
      {Tag("TextPlaceholder", "1", "1", "8", "<TextEquivalent>\xCE\xA9 &lt;b&gt; R&D</TextEquivalent>"),
       "<bpt i=\"1\" x=\"1\" type=\"x-TextPlaceholder\" />\xCE\xA9 &lt;b&gt; R&amp;D<ept i=\"1\" />"},
      // References stay; what no XML reader would take is written as text.
      {Text("a &amp; b &lt;c&gt; &quot;q&quot; &apos;s &#x263A;&#169;&#X41;x"),
       "a &amp; b &lt;c&gt; &quot;q&quot; &apos;s &#x263A;&#169;&amp;#X41;x"},
      {Text("R&D &nbsp; &#1; &#x110000; &amp &#; &") + Text("&"),
       "R&amp;D &amp;nbsp; &amp;#1; &amp;#x110000; &amp;amp &amp;#; &amp;&amp;"},
      {Text("a]]>b]>c>") + Text("x]]") + Text(">y"), "a]]&gt;b]>c>x]]&gt;y"},
      {Text("one\ntwo\r\nthree\rfour\tfive"), "one&#10;two&#10;three&#10;four\tfive"},
      {runs, longExpected},
  };
  TDecodeSdltmStr d;
  for (const auto& [elements, source] : cases) {
    TTU tu;
    d.Decode(W(Seg(elements)), tu, true);
    EXPECT_EQ(U8(tu.Field(tfSource)), source) << elements.substr(0, 200);
  }
  // Nor does a text equivalent reach the next string.
  TTU tu;
  d.Decode(W(Seg(placeholder)), tu, true);
  d.Decode(W(Seg(Tag("TextPlaceholder", "2", "2", "9"))), tu, true);
  EXPECT_EQ(U8(tu.Field(tfSource)), "<bpt i=\"2\" x=\"2\" type=\"x-TextPlaceholder\" /><ept i=\"2\" />");
}

TEST(DecodeSdltm, CulturesFillTheirSideAndUnfinishedStringsChangeNothing) {
  TDecodeSdltmStr d;
  TTU tu;
  d.Decode(W(Seg(Text("Hello"), "en-US")), tu, true);
  d.Decode(W(Seg(Text("Hallo, Welt"), "de-DE")), tu, false);
  EXPECT_EQ(U8(tu.Field(tfTarget)), "Hallo, Welt");
  EXPECT_EQ(U8(tu.LangPair.Target), "DE-DE");
  EXPECT_EQ(U8(tu.Field(tfSource)), "Hello");  // the other side stays
  EXPECT_EQ(U8(tu.LangPair.Source), "EN-US");
  // Line ends between the elements are no text, nor around a name.
  d.Decode(W("<Segment>\r\n <Elements>\n" + Text("a") + "\r\n<Tag><Type>\n Standalone\r\n</Type></Tag></Elements>\n"
             "<CultureName>\r\n fr-CA\n</CultureName></Segment>\n"),
           tu, true);
  EXPECT_EQ(U8(tu.Field(tfSource)), "a<ph />");
  EXPECT_EQ(U8(tu.LangPair.Source), "FR-CA");
  for (const std::u16string& broken : {W("<Segment><Elements><Text><Value>cut off"), std::u16string(), W("not markup")})
    d.Decode(broken, tu, true);
  EXPECT_EQ(U8(tu.Field(tfSource)), "a<ph />");  // unchanged by each
  d.Decode(W(Seg("")), tu, true);  // an empty segment is an empty text
  EXPECT_EQ(tu.Field(tfSource), u"");
}

// The database's UTF-8 goes to the scanner as it stands; where it is ill-formed (a cut or
// overlong form, a surrogate's form) the decoder reads it as the database's text is read
// everywhere: each bad sequence is one U+FFFD.
TEST(DecodeSdltm, Utf8StringsDecodeAsTheirText) {
  const std::string strings[] = {
      Seg(Text("caf\xC3\xA9 \xF0\x9F\x98\x80") + Tag("Standalone", "1", "1", "5"), "en-US"),
      Seg(Text("bad \xE2\x82 \xC0\xAF \xED\xA0\x80 end\xF0\x9F"), "de-DE"),
      Seg(Text("line\r\nbreak") + Text("a&amp;b"), "fr-FR"),
  };
  TDecodeSdltmStr bytes, wide;
  for (const std::string& s : strings) {
    TTU a, b;
    bytes.DecodeUtf8(s, a, true);
    wide.Decode(platform::Utf8ToUtf16(s), b, true);
    EXPECT_EQ(U8(a.Field(tfSource)), U8(b.Field(tfSource))) << s;
    EXPECT_EQ(U8(a.LangPair.Source), U8(b.LangPair.Source));
    EXPECT_FALSE(a.Field(tfSource).empty());
  }
  TTU tu;
  bytes.DecodeUtf8(strings[1], tu, false);
  EXPECT_EQ(U8(tu.Field(tfTarget)), U8(u"bad \uFFFD \uFFFD\uFFFD \uFFFD\uFFFD\uFFFD end\uFFFD"));
}

// The common strings are decoded without the scanner, to what the scanner makes of them; a
// string that departs from their form in any way goes to the scanner. Either way the text
// asked for in UTF-8 is the field's text in UTF-8. Decode (UTF-16) always goes to the scanner
// and is the reference.
TEST(DecodeSdltm, DirectDecodingAgreesWithTheScanner) {
  const std::string plainTag = "<Tag><Type>Start</Type><Anchor>1</Anchor><AlignmentAnchor>2</AlignmentAnchor>"
                               "<TagID>7</TagID></Tag>";
  const std::string strings[] = {
      // The form the databases hold.
      Seg(Text("Hello world.")),
      Seg(Text("\xD0\xB4\xD0\xBB\xD1\x8F \xE6\x97\xA5 \xF0\x9F\x98\x80"), "ru-RU"),
      Seg(Text("a ") + plainTag + Text(" b") + Tag("End", "1", "0", "7") + Text(" c")),
      Seg(Text("x") + Tag("TextPlaceholder", "3", "3", "9", "<TextEquivalent>{1}&amp;&lt;</TextEquivalent>")),
      Seg(Text("x") + Tag("LockedContent", "a\"'<b", "1", "q&amp;r")),
      Seg(Text("x") + Tag("Unknown", "1", "1", "1")),
      Seg(plainTag),
      Seg(""),
      Seg(Text("")),
      Seg(Text("tab\there \x01 nul? &amp; &#10; &#xFFFE; &bogus; & ]]") + Text("> [[>")),
      Seg(Text("]]>") + Text("]") + Text("]>")),
      Seg(Text("a"), ""),
      Seg(Text("a"), " de-de "),
      Seg(Text("a"), "fr&#45;FR"),
      "<Segment><Elements>" + Text("bare") + "</Elements><CultureName>it-IT</CultureName></Segment>",
      "<Segment a=\"1>2\"><Elements>" + Text("gt in an attribute") + "</Elements><CultureName>it-IT</CultureName></Segment>",
      "<Segment a=\"\xC3\x28\xFF\"><Elements>" + Text("bad bytes in an attribute") +
          "</Elements><CultureName>it-IT</CultureName></Segment>",
      // Line ends, which the direct reading in UTF-8 takes too.
      Seg(Text("line\nend")),
      Seg(Text("cr\rend")),
      Seg(Text("\r\ncr lf\r\n\n\rtwo\r") + Text("\n]]") + Text(">\n")),
      Seg(Text("  \n  blanks around\t\n ") + plainTag + Text("\n")),
      // Departures: each goes to the scanner.
      Seg(Text("bad \xE2\x82 end")),
      // Long runs of two-byte forms, broken at every place of an eight-byte word.
      Seg(Text("\xD0\xB4\xD0\xBB\xD1\x8F\xD0\xB4\xD0\xBB\xD1\x8F\xD0\xB4\xD0\xBB\xD1\x8F\xD0\xB4"), "ru-RU"),
      Seg(Text("\xD0\xB4\xD0\xBB\xD1\x8F\xD0\xB4\xC0\xAF\xD0\xBB\xD1\x8F\xD0\xB4\xD0\xBB"), "ru-RU"),
      Seg(Text("\xD0\xB4\xD0\xBB\xD1\x8F\xC1\xBF\xD0\xB4\xD0\xBB\xD1\x8F\xD0\xB4\xD0\xBB"), "ru-RU"),
      Seg(Text("\xD0\xB4\xD0\xBB\xD1\x8F\xD0\xB4\xD0\xBB\xD1\xD0\xB4\xD0\xBB\xD1\x8F\xD0"), "ru-RU"),
      Seg(Text("\xD0\xB4\xD0\xBB\xD1\x8F\xD0\xB4\xD0\xBB\xD1\x8F\x8F\xB4\xD0\xBB\xD1\x8F"), "ru-RU"),
      Seg(Text("\xD0\xB4\xD0\xBB\xD1\x8F\xD0\x0A\xD0\xBB\xD1\x8F\xD0\xB4\xD0\xBB\xD1\x8F"), "ru-RU"),
      Seg(Text("surrogate \xED\xA0\x80")),
      Seg(Text("a"), "en\xC0\xAF"),
      Seg("<text><value>case</value></text>"),
      Seg("<Text><Value>a<b/>c</Value></Text>"),
      Seg("<Text><Value/></Text>"),
      Seg("<Text> <Value>blank</Value></Text>"),
      Seg("<Tag><Type>Start</Type><Value>inside a tag</Value></Tag>"),
      Seg("<Tag><type>Start</type></Tag>"),
      Seg("<Tag><CanHide x=\"1\">true</CanHide></Tag>"),
      Seg("<Tag><CanHide>true</canhide></Tag>"),
      Seg("<Tag><Type>Start</Type>"),
      Seg(Text("trailing")) + " ",
      " " + Seg(Text("leading")),
      Seg(Text("twice")) + Seg(Text("again"), "de-DE"),
      "<Segment  a=\"1\"><Elements>" + Text("two blanks") + "</Elements><CultureName>it-IT</CultureName></Segment>",
      "<Segment a='1'><Elements>" + Text("single quotes") + "</Elements><CultureName>it-IT</CultureName></Segment>",
      "<Segment a=\"1\"/><Elements>" + Text("closed") + "</Elements><CultureName>it-IT</CultureName></Segment>",
      "<Segment a=\"x/y\" b><Elements>" + Text("no value") + "</Elements><CultureName>it-IT</CultureName></Segment>",
      "<Segment><Elements>" + Text("no culture") + "</Elements></Segment>",
      "<Segment><CultureName>it-IT</CultureName><Elements>" + Text("culture first") + "</Elements></Segment>",
      "<Segment><Elements>" + Text("cut") + "</Elements><CultureName>it-IT</CultureName>",
      "",
  };
  TDecodeSdltmStr direct, scanner, utf8;
  utf8.Utf8Segments = true;
  for (const bool source : {true, false}) {
    const int field = source ? tfSource : tfTarget;
    for (const std::string& s : strings) {
      TTU a(u"20260106~093000\tANA\t1\ten-US\tbefore\tde-DE\tbefore"), b(a), c(a);
      c.SourceUtf8 = c.TargetUtf8 = "before";
      c.SegmentsClean = true;  // as the stream starts each unit
      direct.DecodeUtf8(s, a, source);
      scanner.Decode(platform::Utf8ToUtf16(s), b, source);
      utf8.DecodeUtf8(s, c, source);
      EXPECT_EQ(U8(a.Field(field)), U8(b.Field(field))) << s;
      EXPECT_EQ(U8(a.LangPair.Source), U8(b.LangPair.Source)) << s;
      EXPECT_EQ(U8(a.LangPair.Target), U8(b.LangPair.Target)) << s;
      // In UTF-8 the text is the same, the fields untouched; "before" stays where nothing ends.
      // A unit left marked clean holds it with what XML cannot hold already made blanks.
      const std::string& bytes = source ? c.SourceUtf8 : c.TargetUtf8;
      const std::string expected = b.Field(field) == u"before" ? "before" : U8(b.Field(field));
      if (c.SegmentsClean) {
        std::string cleaned;
        AppendCleanXml(cleaned, expected);
        EXPECT_EQ(bytes, cleaned) << s;
      } else {
        EXPECT_EQ(bytes, expected) << s;
      }
      EXPECT_EQ(c.Field(field), u"before") << s;
      EXPECT_EQ(U8(c.LangPair.Source), U8(b.LangPair.Source)) << s;
      EXPECT_EQ(U8(c.LangPair.Target), U8(b.LangPair.Target)) << s;
    }
  }
  // What the databases hold decodes as expected, not only as the scanner does.
  TTU tu;
  direct.DecodeUtf8(Seg(Text("a ") + plainTag + Text("]]") + Text("> &x"), "pt-BR"), tu, false);
  EXPECT_EQ(U8(tu.Field(tfTarget)), "a <bpt i=\"1\" x=\"2\" type=\"7\" />]]&gt; &amp;x");
  EXPECT_EQ(U8(tu.LangPair.Target), "PT-BR");
}

// Tags whose elements hold printable ASCII go straight into UTF-8 markup; every other tag, and
// every departure within one, gives what the scanner gives. One decoder serves every string, so
// the cultures it keeps meet near misses too.
TEST(DecodeSdltm, AsciiTagsAndKnownCulturesAgreeWithTheScanner) {
  const std::string strings[] = {
      Seg(Text("a") + Tag("Start", "1", "2", "51") + Text("b") + Tag("End", "1", "0", "51")),
      Seg(Tag("start", "1", "1", "1") + Tag("END", "2", "2", "2") + Tag("standalone", "3", "3", "3")),
      Seg(Tag("LockedContent", "4", "4", "4") + Tag("Unknown", "5", "5", "5") + Tag("", "6", "6", "6")),
      Seg(Tag("TextPlaceholder", "7", "7", "7", "<TextEquivalent>{1}</TextEquivalent>")),
      Seg(Tag("TextPlaceholder", "7", "7", "7", "<TextEquivalent>a]]</TextEquivalent>") + Text(">")),
      Seg(Tag("TextPlaceholder", "7", "7", "7", "<TextEquivalent>a b</TextEquivalent>")),
      Seg(Tag("TextPlaceholder", "7", "7", "7", "<TextEquivalent></TextEquivalent>")),
      Seg(Tag(" Start ", "1", "1", "1") + Tag("Start", " 1", "1 ", "a b")),
      Seg(Tag("Start", "", "", "")),
      Seg(Tag("Start", "a&amp;b", "1", "1") + Tag("Start", "1", "&lt;", "1") + Tag("End", "'", "1", "1")),
      Seg(Tag("Start", "1", "1", "x\"y") + Tag("Start", "1", "\xC3\xA9", "1") + Tag("Start", "1\t", "1", "1")),
      Seg("<Tag><Type>Start</Type></Tag><Tag><Anchor>1</Anchor></Tag><Tag><TagID>9</TagID></Tag><Tag></Tag>"),
      Seg("<Tag><Type>Start</Type><Type>End</Type><Anchor>1</Anchor><Anchor>2</Anchor></Tag>"),
      Seg("<Tag><Anchor>1</Anchor><Type>Standalone</Type><AlignmentAnchor>3</AlignmentAnchor></Tag>"),
      Seg("<Tag><Type>Start</Type><Anchor>1</anchor></Tag>"),
      Seg("<Tag><Type>Start</Type><anchor>1</anchor></Tag>"),
      Seg("<Tag><Type>Start</Type><Anchor>1<b/></Anchor></Tag>"),
      Seg("<Tag><Type>Start</Type><Anchor>1</Anchor>"),
      Seg("<Tag><Type>Start</Type><Anchor>1</Anchor></Tag >"),
      Seg("<Tag><Type>Start</Type><Anchor>1\n</Anchor></Tag>"),
      Seg("<Tag><Type>Start</Type><Other-1.x>1 & 2</Other-1.x></Tag>"),
      Seg("<Tag><Type>Start</Type><Other a=\"1\">1</Other></Tag>"),
      Seg("<Tag><Type>Start</Type><Value>1</Value></Tag>"),
      Seg(Text("a"), "en-US"), Seg(Text("a"), "en-US"), Seg(Text("a"), "en-USA"), Seg(Text("a"), "en-U"),
      Seg(Text("a"), "en-US"), Seg(Text("a"), "en-US\n"), Seg(Text("a"), "en-US"), Seg(Text("a"), ""),
      Seg(Text("a"), "en-US") + "<", Seg(Text("a"), "en-US"),
      "<Segment><Elements></Elements><CultureName>en-US",
      "<Segment><Elements></Elements><CultureName>en-US<",
  };
  TDecodeSdltmStr scanner, utf8;
  utf8.Utf8Segments = true;
  for (const bool source : {true, false}) {
    const int field = source ? tfSource : tfTarget;
    for (const std::string& s : strings) {
      TTU b(u"20260106~093000\tANA\t1\ten-US\tbefore\tde-DE\tbefore"), c(b);
      c.SourceUtf8 = c.TargetUtf8 = "before";
      c.SegmentsClean = true;
      scanner.Decode(platform::Utf8ToUtf16(s), b, source);
      utf8.DecodeUtf8(s, c, source);
      const std::string expected = b.Field(field) == u"before" ? "before" : U8(b.Field(field));
      std::string cleaned;
      AppendCleanXml(cleaned, expected);
      EXPECT_EQ(source ? c.SourceUtf8 : c.TargetUtf8, c.SegmentsClean ? cleaned : expected) << s;
      EXPECT_EQ(U8(c.LangPair.Source), U8(b.LangPair.Source)) << s;
      EXPECT_EQ(U8(c.LangPair.Target), U8(b.LangPair.Target)) << s;
    }
  }
}

// A CDATA section in a value is text, whatever markup it spells: its "<" is escaped in the
// unit's TMX text (a ">" only where it would end a "]]>"), so that it never closes or opens an
// element there. The UTF-16 and the UTF-8 paths say the same.
TEST(DecodeSdltm, CdataInAValueStaysText) {
  const std::pair<std::string, std::string> cases[] = {
      {Text("<![CDATA[Hello</seg></tuv></tu><tu creationid=\"x\"><seg>forged]]>"),
       "Hello&lt;/seg>&lt;/tuv>&lt;/tu>&lt;tu creationid=\"x\">&lt;seg>forged"},
      {Text("<![CDATA[</seg></tuv>]]>"), "&lt;/seg>&lt;/tuv>"},
      {Text("a <![CDATA[<b> & <c]]> d &amp; e"), "a &lt;b> &amp; &lt;c d &amp; e"},
      {Text("<![CDATA[x]]]]><![CDATA[>y]]>"), "x]]&gt;y"},
      {Text("<![CDATA[]]>") + Text("<![CDATA[<]]>"), "&lt;"},
      {Tag("TextPlaceholder", "1", "1", "8", "<TextEquivalent><![CDATA[<x/>]]></TextEquivalent>"),
       "<bpt i=\"1\" x=\"1\" type=\"x-TextPlaceholder\" />&lt;x/><ept i=\"1\" />"},
  };
  TDecodeSdltmStr d;
  for (const auto& [elements, source] : cases) {
    TTU tu;
    d.Decode(W(Seg(elements)), tu, true);
    EXPECT_EQ(U8(tu.Field(tfSource)), source) << elements;
    TTU utf8;
    d.Utf8Segments = true;
    d.DecodeUtf8(Seg(elements), utf8, true);
    d.Utf8Segments = false;
    EXPECT_EQ(utf8.SourceUtf8, source) << elements;
  }
}
