// The property stack of the open elements and the records of inline boxes.
#include <gtest/gtest.h>

#include <QImage>

#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/parse/HtmlParse.h"
#include "htmlview/style/StylePars.h"
#include "htmlview/text/HtmlBuffer.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/htmlview/TestPage.h"

using namespace htmlview;

namespace {

struct Stack : ::testing::Test {
  Stack() {
    EnsureGuiApp();
    SetTestFonts(doc);
  }
  TProperties& Push(const std::u16string& tag, const std::u16string& style = u"") {
    auto attr = std::make_unique<TProperties>(false);
    ParseStyleAttrString(style, *attr);
    attrs.push_back(std::move(attr));
    return doc.PropertyStack->PushProperties(tag, u"", u"", u"", u"", attrs.back().get());
  }
  THtmlPropStack& S() { return *doc.PropertyStack; }
  ThtDocument doc{nullptr, nullptr};
  std::vector<std::unique_ptr<TProperties>> attrs;
};

}  // namespace

TEST_F(Stack, PushInheritsAndPopKeepsTheBottom) {
  Push(u"div", u"color: red");
  TProperties& span = Push(u"span");
  EXPECT_EQ(span.Props[Color], TPropValue(static_cast<int>(RGB(255, 0, 0))));
  EXPECT_EQ(S().size(), 3u);
  for (int i = 0; i < 5; ++i) S().PopProperties();
  EXPECT_EQ(S().size(), 1u);
  S().PopElement(u"nothing");
  EXPECT_EQ(S().size(), 1u);
}

TEST_F(Stack, ClosingAnOuterElementRepairsTheInnerOne) {
  Push(u"b", u"font-weight: bold; color: green");
  TProperties& inner = Push(u"i", u"font-style: italic");
  EXPECT_EQ(inner.Text(FontWeight), u"bold");
  S().PopElement(u"b");
  ASSERT_EQ(S().size(), 2u);
  EXPECT_EQ(&S().Last(), &inner);
  EXPECT_EQ(inner.Text(FontWeight), u"normal");
  EXPECT_EQ(inner.Props[Color], TPropValue(static_cast<int>(clBlack)));
  EXPECT_EQ(inner.Text(FontStyle), u"italic");  // its own stays
}

TEST_F(Stack, InlineRecordsEndWhereTheirElementEnds) {
  TProperties& span = Push(u"span", u"border: 1px solid red; background-color: yellow");
  ASSERT_TRUE(HasInlineBox(span));
  S().SIndex = 4;
  doc.ProcessInline(S().SIndex, span, true);
  const TInlineBox box = InlineBoxOf(span);
  EXPECT_EQ(box.BorderWidth, (std::array<int, 4>{1, 1, 1, 1}));
  EXPECT_EQ(box.BorderColor[0], RGB(255, 0, 0));
  EXPECT_EQ(box.Background, RGB(255, 255, 0));
  S().SIndex = 9;
  S().PopElement(u"span");
  ASSERT_EQ(doc.InlineBoxes->Count(), 1);
  EXPECT_EQ((*doc.InlineBoxes)[0]->StartSource, 4);
  EXPECT_EQ((*doc.InlineBoxes)[0]->EndSource, 9);
  // A set left through PopProperties ends its record there.
  TProperties& other = Push(u"em", u"background-color: blue");
  doc.ProcessInline(12, other, true);
  S().SIndex = 15;
  S().PopProperties();
  EXPECT_EQ((*doc.InlineBoxes)[1]->EndSource, 15);
  EXPECT_EQ(doc.InlineBoxes->StartOf(2), 99999999);
  EXPECT_EQ(doc.InlineBoxes->EndOf(-1), 99999999);
  EXPECT_FALSE(HasInlineBox(Push(u"span")));
}

// The records of a page of boxes in paragraphs, cells, a hidden block, preformatted text, and one
// box left open: each takes the characters the document itself names for its source positions,
// and a run of characters meets exactly the records whose characters it meets.
TEST_F(Stack, InlineRecordsOfAPageMapAsTheDocumentDoes) {
  std::u16string html = u"<body>lead <span style='border:1px solid red'>outer ";
  for (int i = 0; i < 40; ++i) {
    const std::u16string n = std::u16string(1, static_cast<char16_t>(u'a' + i % 26));
    switch (i % 5) {
      case 0: html += u"<p>p" + n + u" <span style='background:yellow'>in " + n + u"</span> tail"; break;
      case 1: html += u"<table border=1><tr><td><b style='border:2px dashed blue'>c" + n + u"</b><td>d</table>"; break;
      case 2: html += u"<div style='display:none'><span style='border:1px solid'>hidden</span></div>x"; break;
      case 3: html += u"<pre>a <em style='background:#ccc'>pre " + n + u"</em>\nb</pre>"; break;
      default: html += u"<span style='border:1px solid'></span><i style='border:1px solid'>" + n + u"</i> "; break;
    }
  }
  html += u"</span> after <span style='background:green'>never closed";
  TBuffer buffer = TBuffer::FromString(html, u"page");
  auto parser = HtmlParseString(doc, buffer, {});
  LayOut(doc, QtTextMeasurer(), 300);
  TInlineList& list = *doc.InlineBoxes;
  ASSERT_GT(list.Count(), 30);
  for (int i = 0; i < list.Count(); ++i) {
    const InlineRec& r = *list[i];
    int start = doc.SourceToChar(r.StartSource, false);
    const int end = r.EndSource < 0 ? doc.CharCount : doc.SourceToChar(r.EndSource, true);
    if (start == end) --start;
    EXPECT_EQ(list.StartOf(i), start) << i;
    EXPECT_EQ(list.EndOf(i), end) << i;
  }
  std::vector<int> meeting;
  for (int from = -2; from < doc.CharCount + 2; from += 3)
    for (int n : {0, 1, 7, 40}) {
      std::vector<int> expected;
      for (int i = 0; i < list.Count(); ++i)
        if (from < list.EndOf(i) && from + n > list.StartOf(i)) expected.push_back(i);
      list.Meeting(from, from + n, meeting);
      EXPECT_EQ(meeting, expected) << from << " " << n;
    }
}
