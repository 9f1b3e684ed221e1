// Inline text sections: white space, line breaking, justification, drawing, selection and hit tests,
// built through the operations the page builder uses and checked through the layout dump.
#include <gtest/gtest.h>

#include <QImage>
#include <functional>
#include <sstream>

#include "htmlview/images/HtmlImages.h"
#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlDump.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/layout/HtmlShared.h"
#include "htmlview/style/StylePars.h"
#include "htmlview/style/StyleValues.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/htmlview/LayoutPieces.h"
#include "tests/htmlview/TestPage.h"
#include "tests/support/DocBuilder.h"

using namespace htmlview;

namespace {

std::vector<std::string> Lines(const std::string& dump) {
  std::vector<std::string> lines;
  std::istringstream in(dump);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

}  // namespace

// At 12 points (16 px) every character is 8 px wide and a line is 20 px high.
TEST(HtmlSection, ParagraphBreaksIntoLinesAtAnyWidth) {
  TDocBuilder b;
  b.Text(u"one two three four");
  EXPECT_EQ(b.Dump(1000), "0 0 144 20 one two three four\n");
  // The closing space of a line is not painted.
  EXPECT_EQ(b.Dump(80), "0 0 56 20 one two\n0 20 80 20 three four\n");
  EXPECT_EQ(b.height, 40);
  // Width 0 makes one word a line and never loops.
  EXPECT_EQ(Lines(b.Dump(0)).size(), 4u);
}

TEST(HtmlSection, FinishTidiesWhiteSpace) {
  struct Case {
    std::u16string in, out;
  } cases[] = {
      {u"  a  b ", u"a b "},
      {u"a\u00ADb", u"ab "},
      {u"a \x8 b", u"a\x8" u"b "},
      {u"a\x8", u"a "},
  };
  for (const Case& c : cases) {
    TDocBuilder b;
    b.Text(c.in);
    b.Close();
    ASSERT_EQ(b.doc.Count(), 1);
    EXPECT_EQ(b.Section(0)->Text, c.out) << QString::fromStdU16String(c.in).toStdString();
  }
  TDocBuilder only;
  only.Break();
  only.Close();
  ASSERT_EQ(only.doc.Count(), 1);
  EXPECT_EQ(only.Section(0)->Text, std::u16string(1, BrkCh));
}

// Finishing passes over the characters before the first one a rule touches. The same content
// behind a leading space, which the first rule drops, goes through the rules from its first
// character: both must end alike, characters, break codes, sources, runs and objects.
TEST(HtmlSection, FinishAloneOrBehindADroppedSpaceEndsAlike) {
  using TStep = std::function<void(TDocBuilder&)>;
  auto text = [](std::u16string t) { return TStep([t](TDocBuilder& b) { b.Text(t); }); };
  const TStep bold = [](TDocBuilder& b) { b.Push(u"b"); };
  const TStep unbold = [](TDocBuilder& b) { b.Pop(u"b"); };
  const TStep brk = [](TDocBuilder& b) { b.Break(); };
  const TStep floatLeft = [](TDocBuilder& b) { b.Image({{AlignSy, u"left"}, {WidthSy, u"20"}, {HeightSy, u"9"}}); };
  const TStep inlineImage = [](TDocBuilder& b) { b.Image({{WidthSy, u"20"}, {HeightSy, u"9"}}); };
  const std::vector<std::vector<TStep>> cases = {
      {text(u"abc def")},
      {text(u"abc  def")},
      {text(u"abc"), bold, text(u" def"), unbold, text(u" ghi")},
      {text(u"abc "), bold, text(u" def "), unbold, text(u" ghi")},
      {text(u"abc\u00ADdef ghi")},
      {text(u"abc "), brk, text(u" def")},
      {text(u"abc"), brk, text(u"def")},
      {text(u"abc "), floatLeft, text(u" def")},
      {text(u"abc"), inlineImage, text(u" x  y")},
      {text(u"a b c d  ")},
  };
  auto finished = [&](const std::vector<TStep>& steps, bool leadingSpace) {
    TDocBuilder b;
    if (leadingSpace)
      b.Text(u" ");
    else
      b.src = 1;
    for (const TStep& step : steps) step(b);
    b.Close();
    TSection* s = b.Section(0);
    std::string out = QString::fromStdU16String(s->Text).toStdString() + "|" + s->BreakCodes + "|";
    for (int p : s->SourcePositions) out += std::to_string(p) + ",";
    out += "|runs";
    for (const auto& f : s->Fonts) out += " " + std::to_string(f->Pos);
    out += "|objects";
    for (const auto& o : s->Images) out += " " + std::to_string(o->Pos);
    return out;
  };
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(finished(cases[i], false), finished(cases[i], true)) << "case " << i;
}

TEST(HtmlSection, SoftHyphenBreaksAndIsPainted) {
  TDocBuilder b;
  b.Text(u"xx abc\u00ADdefgh");
  // "xx abc-" is 7 characters: 56 px; "xx abcdefgh" would be 88.
  EXPECT_EQ(Lines(b.Dump(64)), (std::vector<std::string>{"0 0 56 20 xx abc-", "0 20 40 20 defgh"}));
}

TEST(HtmlSection, LongWordOverflowsOrSplits) {
  TDocBuilder b;
  b.Text(u"abcdefghij kl");
  b.Close();
  b.Layout(40);
  EXPECT_EQ(b.Section(0)->MaxLineWidth, 80);
  EXPECT_EQ(b.Dump(40), "0 0 80 20 abcdefghij\n0 20 16 20 kl\n");

  TDocBuilder w;
  w.Push(u"p", u"word-wrap: break-word");
  w.Open();
  w.Text(u"abcdefghij");
  EXPECT_EQ(w.Dump(40), "0 0 40 20 abcde\n0 20 40 20 fghij\n");
}

TEST(HtmlSection, BreakOpportunities) {
  TDocBuilder b;
  b.Text(u"\u4E00\u4E01\u4E02\u4E03\u4E04");  // wide characters break anywhere
  EXPECT_EQ(Lines(b.Dump(16)).size(), 3u);
  TDocBuilder c;
  c.Text(u"ab/cd-ef?gh");
  EXPECT_EQ(c.Dump(32), "0 0 24 20 ab/\n0 20 24 20 cd-\n0 40 24 20 ef?\n0 60 16 20 gh\n");
}

TEST(HtmlSection, NoWrapNeverBreaksAtSpaces) {
  TDocBuilder b;
  b.Open();
  b.doc.NoBreak = true;
  b.Text(u"aa  bb cc");
  b.doc.NoBreak = false;
  b.Close();
  EXPECT_EQ(b.Section(0)->Text, u"aa bb cc ");
  EXPECT_EQ(b.Section(0)->CharToSource(b.Section(0)->StartChar + 2), 3);  // the second space stayed
  EXPECT_EQ(b.Dump(24), "0 0 64 20 aa bb cc\n");
}

TEST(HtmlSection, JustifiedLinesSpreadTheirExtraExactly) {
  TDocBuilder b;
  b.Push(u"p", u"text-align: justify");
  b.Open();
  b.Text(u"a b c dddddddd e");
  // Width 100: "a b c " is 48 px of text (5 characters measured, trailing space aside: 40).
  // Extra 60 over 2 spaces: 30 each.
  EXPECT_EQ(Lines(b.Dump(100)), (std::vector<std::string>{
                                    "0 0 16 20 a ",
                                    "46 0 16 20 b ",
                                    "92 0 8 20 c",
                                    "0 20 80 20 dddddddd e",  // the last line stays left
                                }));
}

TEST(HtmlSection, JustifyDistributesRemainderToFirstSpaces) {
  TDocBuilder b;
  b.Push(u"p", u"text-align: justify");
  b.Open();
  b.Text(u"a b c d eeeeeeeeeeee");
  const auto lines = Lines(b.Dump(63));  // "a b c d" = 56: Extra 7 over 3 spaces: 3, 2, 2
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0].substr(0, 2), "0 ");
  EXPECT_EQ(lines[1].substr(0, 3), "19 ");
  EXPECT_EQ(lines[2].substr(0, 3), "37 ");
  EXPECT_EQ(lines[3].substr(0, 3), "55 ");
}

TEST(HtmlSection, RunsInSeveralFonts) {
  TDocBuilder b;
  b.Text(u"ab ");
  b.Push(u"big", u"font-size: 24pt");  // 32 px: 16 px characters, 40 px lines
  b.Text(u"cd");
  b.Pop(u"big");
  b.Text(u" ef");
  // One line 40 high; the small runs sit on the big run's baseline (descent 8 vs 4).
  EXPECT_EQ(Lines(b.Dump(1000)), (std::vector<std::string>{"24 0 32 40 cd", "0 16 24 20 ab ", "56 16 24 20  ef"}));
  EXPECT_EQ(b.height, 40);
}

TEST(HtmlSection, UpperCaseKeepsPositions) {
  TDocBuilder b;
  b.Push(u"span", u"text-transform: uppercase");
  b.Open();
  b.Text(u"stra\u00DFe");
  b.Close();
  EXPECT_EQ(b.Section(0)->Text.substr(0, 6), u"STRA\u00DFE");
  EXPECT_EQ(b.Section(0)->CharToSource(5), 5);
}

TEST(HtmlSection, SourceToCharIntoAGap) {
  // "abc" and "def" from the source positions given; each query is a source position, the
  // direction (backwards or not) and the character it finds. Runs whose positions do not rise
  // (text moved by the builder): the first run that holds the position or lies after it still
  // decides.
  struct Query {
    int source;
    bool backwards;
    int at;
  };
  const struct Case {
    int abc, def;
    std::vector<Query> queries;
  } cases[] = {
      {10, 20, {{15, true, 2}, {15, false, 3}, {5, true, -1}, {5, false, 0}, {99, true, 6}, {99, false, -1}}},
      {20, 10, {{21, false, 1}, {11, false, 0}, {11, true, -1}, {25, true, 6}}},
  };
  for (const Case& c : cases) {
    TDocBuilder b;
    b.Open();
    b.section->AddText(u"abc", c.abc);
    b.section->AddText(u"def", c.def);
    b.Close();
    TSection& s = *b.Section(0);
    b.Layout(500);
    for (const Query& q : c.queries)
      EXPECT_EQ(s.SourceToChar(q.source, q.backwards), q.at) << c.abc << "," << c.def << ": " << q.source;
    if (c.abc < c.def) {
      EXPECT_EQ(s.CharToSource(4), 21);
    }
  }
}

TEST(HtmlSection, CopyingTurnsLineBreaksIntoCrLf) {
  TDocBuilder b;
  b.Text(u"a");
  b.Break();
  b.Text(u"b");
  b.Layout(500);
  b.doc.SelectionStart = 0;
  b.doc.SelectionEnd = b.doc.CharCount;
  EXPECT_EQ(b.doc.SelectionText(), u"a\r\nb");
  b.doc.SelectionStart = b.doc.SelectionEnd = 1;
  char16_t buffer[1] = {u'x'};
  EXPECT_EQ(b.doc.CopySelectionTo(buffer, 1), 0);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(b.doc.CountSelection(), 0);
}

TEST(HtmlSection, PreformattedKeepsItsTextAndCapsItsMinimum) {
  TDocBuilder b;
  b.Open(true);
  b.Text(u"a  b");
  b.Break();
  b.Text(std::u16string(1000, u'x'));  // 8000 px
  b.Close();
  TSection& s = *b.Section(0);
  EXPECT_EQ(s.Text.substr(0, 5), u"a  b\x8");
  QImage image(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&image);
  int mn = 0, mx = 0;
  s.WidthRange(canvas, mn, mx);
  EXPECT_EQ(mx, 8000);
  EXPECT_EQ(mn, 6000);
  b.Layout(100);
  EXPECT_EQ(s.Lines.size(), 2u);
}

TEST(HtmlSection, HitTestsFindCharactersAndLinks) {
  TDocBuilder b;
  b.Text(u"go ");
  b.LinkStart(u"http://x/");
  b.Text(u"here");
  b.LinkEnd();
  b.Text(u" now");
  b.Layout(1000);
  QImage image(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&image);
  std::unique_ptr<TUrlTarget> url;
  TFormControlObj* control = nullptr;
  std::u16string title;
  EXPECT_EQ(b.doc.LinkAtPoint(canvas, 30, 5, url, control, title), guUrl);
  ASSERT_TRUE(url);
  EXPECT_EQ(url->URL, u"http://x/");
  EXPECT_EQ(b.doc.LinkAtPoint(canvas, 5, 5, url, control, title), 0u);
  int cx, cy, ch;
  bool inText;
  EXPECT_EQ(b.doc.PointToChar(canvas, 17, 5, cx, cy, ch, inText), 2);
  EXPECT_TRUE(inText);
  EXPECT_EQ(cx, 16);
  EXPECT_EQ(b.doc.PointToChar(canvas, 13, 5, cx, cy, ch, inText), 2);  // past the middle of "o"
  EXPECT_EQ(b.doc.PointToChar(canvas, 11, 5, cx, cy, ch, inText), 1);
  EXPECT_EQ(b.doc.PointToChar(canvas, 500, 5, cx, cy, ch, inText), 11);  // beside the line: its end
  EXPECT_FALSE(inText);
  int x, y, h;
  ASSERT_TRUE(b.doc.CharToPoint(4, x, y, h));
  EXPECT_EQ(x, 32);
  ASSERT_TRUE(b.doc.CharToPoint(999, x, y, h));
  EXPECT_EQ(y, 15);  // past the end: 15 px below the last line's top
}

TEST(HtmlSection, FloatMetMidLineNarrowsTheLine) {
  TDocBuilder b;
  b.Text(u"aaa bbb ");
  b.Image({{AlignSy, u"left"}, {WidthSy, u"40"}, {HeightSy, u"30"}});
  b.Text(u"ccc ddd eee");
  const auto lines = Lines(b.Dump(120));
  ASSERT_FALSE(lines.empty());
  // The image (40 wide) takes the left edge; the line restarts after it.
  EXPECT_EQ(lines[0].substr(0, 5), "40 0 ") << b.Dump(120);
}

TEST(HtmlSection, SelectionPaintsHighlight) {
  TDocBuilder b;
  b.Text(u"abcd");
  b.Layout(100);
  b.doc.SelectionStart = 1;
  b.doc.SelectionEnd = 3;
  const QImage image = b.Paint(100, 20);
  ExpectColours(image, {{2, 1, QColor(Qt::white)}, {10, 1, ToQColor(clHighlight)}, {22, 1, ToQColor(clHighlight)},
                        {26, 1, QColor(Qt::white)}});
}

TEST(HtmlInlineBoxes, ABorderedInlineOverThreeLines) {
  TDocBuilder b;
  b.Text(u"aa ");
  b.Push(u"span", u"border: 2px solid red", true);
  b.Text(u"bbb ccc ddd ");
  b.Pop(u"span");
  b.Text(u"ee");
  // Lines "aa bbb ", "ccc ", "ddd ee": the box runs from "bbb" to before "ee".
  const QImage image = b.Paint(48, 60);
  ASSERT_EQ(b.Section(0)->Lines.size(), 3u);
  const QColor red(255, 0, 0), white(Qt::white);
  ExpectColours(image, {{22, 2, red},  // first line: a left edge (x 22, 23)
                        {21, 2, white},
                        {47, 2, white},  // and no right edge
                        {0, 24, white},  // middle line: neither edge
                        {31, 24, white},
                        {40, 21, red},  // the first line's bottom edge
                        {0, 44, white},  // last line: no left edge
                        {32, 44, red},  // a right edge after "ddd "
                        {34, 44, white}});
}

TEST(HtmlInlineBoxes, EmptyAndUnclosedInlines) {
  TDocBuilder b;
  b.Text(u"ab");
  b.Push(u"span", u"background-color: yellow", true);
  b.Pop(u"span");
  b.Text(u"cd");
  b.Push(u"span", u"background-color: blue", true);
  b.Text(u"ef");
  b.Layout(500);
  TInlineList& list = *b.doc.InlineBoxes;
  ASSERT_EQ(list.Count(), 2);
  // Start and end on one character: the box still covers one.
  EXPECT_EQ(list.EndOf(0) - list.StartOf(0), 1);
  // Never closed: it runs to the end of the document.
  EXPECT_EQ(list.StartOf(1), 4);
  EXPECT_EQ(list.EndOf(1), b.doc.CharCount);
}

TEST(HtmlDocumentCopy, APrintCopyLaysOutToTheSameDump) {
  TDocBuilder b;
  b.Text(u"first paragraph of several words");
  b.Open();
  b.Push(u"b", u"font-weight: bold");
  b.Text(u"second one");
  b.Image({{WidthSy, u"30"}, {HeightSy, u"30"}});
  b.Text(u" tail");
  const std::string original = b.Dump(120);
  ThtDocument copy(b.doc, nullptr);
  EXPECT_TRUE(copy.PrintCopy);
  LayOut(copy, QtTextMeasurer(), 120);
  EXPECT_EQ(DumpLayout(copy), original);
  EXPECT_FALSE(copy.Timer);
  EXPECT_TRUE(copy.SectionPositions.empty());
}

// A fieldset of the style given, with the legend "Title" and the text "inside".
TFieldsetBlock& TitledFieldset(TDocBuilder& b, const std::u16string& style) {
  TProperties& props = b.Push(u"fieldset", style);
  auto* f = new TFieldsetBlock(&b.doc, &b.doc, props, nullptr);
  b.doc.Add(std::unique_ptr<TSectionBase>(f));
  TProperties& legendProps = b.Push(u"legend");
  auto legend = std::make_unique<TSection>(&b.doc, f->Legend.get(), legendProps, nullptr, nullptr, false);
  legend->AddText(u"Title", 0);
  f->Legend->AddSection(std::move(legend));
  b.Pop(u"legend");
  auto body = std::make_unique<TSection>(&b.doc, f->MyCell.get(), props, nullptr, nullptr, false);
  body->AddText(u"inside", 10);
  f->MyCell->AddSection(std::move(body));
  b.Pop(u"fieldset");
  return *f;
}

TEST(HtmlFieldset, DefaultsLegendRoomAndTheGapInTheBorder) {
  TDocBuilder b;
  TFieldsetBlock* f =
      &TitledFieldset(b, u"border-top-color: red; padding-top: 12px; margin: 0; display: block");
  EXPECT_EQ(f->MargArrayO[BorderTopColor], TPropValue(static_cast<int>(RGB(255, 0, 0))));  // its own
  EXPECT_EQ(f->MargArrayO[BorderLeftColor], TPropValue(static_cast<int>(0xB2ACA5)));
  EXPECT_EQ(f->MargArrayO[BorderBottomStyle], TPropValue(1));
  EXPECT_EQ(f->MargArrayO[PaddingLeft], TPropValue(10));
  // The legend (20 high) is 7 taller than margin 0 + border 1 + padding 12: padding 15, margin 4.
  const QImage image = b.Paint(200, 80);
  EXPECT_EQ(f->LegendHeight, 20);
  EXPECT_EQ(f->MyCell->YValue, 4 + 1 + 15);
  // The top border (y 4) is red beside the legend and absent behind it: the legend stands at
  // 11 + 2 and is 40 wide; the gap is 4 wider on each side (9 ... 56).
  for (int x : {8, 57, 150})
    EXPECT_EQ(QColor(image.pixel(x, 4)), QColor(255, 0, 0)) << x;
  for (int x : {9, 30, 56}) EXPECT_EQ(QColor(image.pixel(x, 4)), QColor(Qt::white)) << x;
  EXPECT_EQ(QColor(image.pixel(0, 30)), QColor(0xA5, 0xAC, 0xB2));  // the default left side
  const std::string dump = DumpLayout(b.doc);
  EXPECT_NE(dump.find("13 0 40 20 Title"), std::string::npos) << dump;
  EXPECT_NE(dump.find("11 20 48 20 inside"), std::string::npos) << dump;
}

// The gap behind the legend is cut out of the clip: neither the border nor the fieldset's own
// background paints there, so what lay under it stays (here the blue of the surface), the legend
// is drawn over it, and the clip is as it was afterwards.
TEST(HtmlFieldset, TheGapKeepsWhatLiesUnderIt) {
  TDocBuilder b;
  TFieldsetBlock* f = &TitledFieldset(
      b, u"border-top-color: red; padding-top: 12px; margin: 0; display: block; background-color: yellow");
  b.Layout(200);
  QImage image(200, 80, QImage::Format_RGB32);
  image.fill(Qt::blue);
  TCanvas canvas(&image);
  canvas.Measurer = b.measurer;
  const TRect clip{0, 0, 200, 80};
  f->Draw(canvas, clip, 200, 0, 0, 0);
  EXPECT_FALSE(canvas.HasClip());
  canvas.Release();
  for (int x : {8, 57, 150}) EXPECT_EQ(QColor(image.pixel(x, 4)), QColor(255, 0, 0)) << x;
  // Left and right of the legend's text, inside the gap, at the border's row.
  for (int x : {9, 12, 54, 56}) EXPECT_EQ(QColor(image.pixel(x, 4)), QColor(Qt::blue)) << x;
  // Below the legend the background is the fieldset's own.
  EXPECT_EQ(QColor(image.pixel(30, 40)), QColor(Qt::yellow));
  // The legend's text is drawn in the gap.
  int dark = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 13; x < 53; ++x) dark += qGray(image.pixel(x, y)) < 60;
  EXPECT_GT(dark, 20);
}

// Dropping sections, first, last or in the middle, takes their link runs and only theirs out of
// the document's link list; the list's order is kept.
TEST(HtmlSection, UnlinkingTakesOutOnlyTheSectionsOwnLinks) {
  TDocBuilder b;
  for (int i = 0; i < 5; ++i) {
    b.Open();
    b.Text(u"a ");
    b.LinkStart(u"x.html");
    b.Text(u"link");
    b.LinkEnd();
    b.Close();
  }
  ASSERT_EQ(b.doc.Count(), 5);
  auto owners = [&] {
    std::vector<TSection*> out;
    for (TFontObj* f : b.doc.LinkFonts) out.push_back(f->Section);
    return out;
  };
  std::vector<TSection*> sections;
  for (int i = 0; i < 5; ++i) sections.push_back(b.Section(i));
  ASSERT_EQ(owners(), sections);
  for (int drop : {0, 4, 2}) sections[static_cast<size_t>(drop)]->Unlink();
  EXPECT_EQ(owners(), (std::vector<TSection*>{sections[1], sections[3]}));
  for (TFontObj* f : b.doc.LinkFonts) EXPECT_TRUE(f->InLinkFonts);
  for (int drop : {0, 2, 4})
    for (const auto& f : sections[static_cast<size_t>(drop)]->Fonts) EXPECT_FALSE(f->InLinkFonts);
}

TEST(HtmlSection, HoverMovesOverEveryRunOfALink) {
  TDocBuilder b;
  b.doc.LinksActive = true;
  b.Text(u"go ");
  b.LinkStart(u"x.html");
  b.Text(u"one ");
  b.Push(u"b", u"font-weight: bold");
  b.Text(u"two");
  b.Pop(u"b");
  b.LinkEnd();
  b.Text(u" end");
  b.Layout(1000);
  ASSERT_EQ(b.doc.LinkFonts.size(), 2u);
  QImage sink(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&sink);
  std::unique_ptr<TUrlTarget> url;
  TFormControlObj* control = nullptr;
  std::u16string title;
  EXPECT_EQ(b.doc.Hover(canvas, 60, 5, url, control, title), guUrl);  // over "two"
  EXPECT_TRUE(b.doc.LinkFonts[0]->Hover);
  EXPECT_TRUE(b.doc.LinkFonts[1]->Hover);
  EXPECT_EQ(b.doc.Hover(canvas, 4, 5, url, control, title), 0u);
  EXPECT_FALSE(b.doc.LinkFonts[0]->Hover);
  EXPECT_FALSE(b.doc.LinkFonts[1]->Hover);
  EXPECT_EQ(b.doc.HoverLink, nullptr);
}

TEST(HtmlSection, ObjectsInALineSetItsHeightAndTakeTheirWidth) {
  TDocBuilder b;
  b.Text(u"ab ");
  b.Image({{WidthSy, u"10"}, {HeightSy, u"30"}});  // on the baseline: 30 - (20 - 4) above the text
  b.Text(u" cd ");
  TProperties& props = b.Top();
  TFormControlObj* box = b.section->AddFormControl(u"text", nullptr, &b.doc, b.src++, props);
  ASSERT_TRUE(box);
  b.Text(u" ef");
  EXPECT_EQ(Lines(b.Dump(1000)), (std::vector<std::string>{
                                    "0 14 24 20 ab ",
                                    "34 14 32 20  cd ",
                                    "126 14 24 20  ef",  // after the 60-pixel stand-in control
                                }));
  EXPECT_EQ(b.height, 34);
  TImageObj* image = dynamic_cast<TImageObj*>(b.Section(0)->Images[0]);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->DrawX, 24);
  EXPECT_EQ(image->DrawY, 0);
  EXPECT_EQ(box->YValue, 14 + 16 - 20);  // a baseline control: its bottom on the baseline
}

TEST(HtmlSection, JustificationNeedsSpacesAndRoom) {
  TDocBuilder b;
  b.Push(u"p", u"text-align: justify");
  b.Open();
  b.Text(u"abcdefghijkl mn");  // the first line is one overlong word: nothing spreads
  b.Layout(40);
  ASSERT_GE(b.Section(0)->Lines.size(), 2u);
  EXPECT_EQ(b.Section(0)->Lines[0].Extra, 0);
  EXPECT_EQ(b.Section(0)->Lines[0].Spaces, 0);
}

TEST(HtmlSection, ImagesDrawScaledAndAnswerHitTests) {
  TDocBuilder b;
  auto red = std::make_shared<TDocImage>();
  red->Image = QImage(2, 2, QImage::Format_ARGB32);
  red->Image.fill(qRgb(255, 0, 0));
  b.doc.ImageLoader = [red](const std::u16string&, bool&) { return red; };
  b.Text(u"ab ");
  b.Image({{SrcSy, u"red.png"}, {WidthSy, u"10"}, {HeightSy, u"10"}, {TitleSy, u"a red square"}});
  b.Text(u" cd");
  const QImage image = b.Paint(200, 20);
  // The image stands on the baseline (16): rows 6 to 15, columns 24 to 33.
  ExpectColours(image, {{24, 6, QColor(255, 0, 0)}, {33, 15, QColor(255, 0, 0)}, {34, 10, QColor(Qt::white)}});
  QImage sink(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&sink);
  std::unique_ptr<TUrlTarget> url;
  TFormControlObj* control = nullptr;
  std::u16string title;
  EXPECT_EQ(b.doc.LinkAtPoint(canvas, 28, 10, url, control, title), guTitle);
  EXPECT_EQ(title, u"a red square");
  TFloatingObj* object = nullptr;
  int ox = 0, oy = 0;
  EXPECT_TRUE(b.doc.ObjectAtPoint(28, 10, object, ox, oy));
  EXPECT_EQ(ox, 4);
  EXPECT_EQ(oy, 4);
  char16_t ch = 0;
  TIDObject* at = nullptr;
  EXPECT_TRUE(b.doc.CharAt(3, ch, at));
  EXPECT_EQ(ch, ImgPan);
  EXPECT_EQ(at, object);
}

TEST(HtmlSection, ImageMapsAndServerSideMaps) {
  TDocBuilder b;
  auto square = std::make_shared<TDocImage>();
  square->Image = QImage(20, 20, QImage::Format_ARGB32);
  b.doc.ImageLoader = [square](const std::u16string&, bool&) { return square; };
  auto map = std::make_unique<TMapItem>();
  map->MapName = u"NAV";
  TAttributeList area;
  area.Add(ShapeSy, 0, u"SHAPE", u"rect", 0);
  area.Add(CoordsSy, 0, u"COORDS", u"0,0,10,20", 0);
  area.Add(HrefSy, 0, u"HREF", u"left.html", 0);
  map->AddArea(area);
  b.doc.MapList.push_back(std::move(map));
  b.Image({{SrcSy, u"m.png"}, {UsemapSy, u"#nav"}});
  b.Text(u" ");
  b.LinkStart(u"server.cgi");
  b.Image({{SrcSy, u"m.png"}, {IsmapSy, u""}, {BorderSy, u"0"}});
  b.LinkEnd();
  b.Layout(300);
  QImage sink(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&sink);
  std::unique_ptr<TUrlTarget> url;
  TFormControlObj* control = nullptr;
  std::u16string title;
  TImageObj* first = dynamic_cast<TImageObj*>(b.Section(0)->Images[0]);
  TImageObj* second = dynamic_cast<TImageObj*>(b.Section(0)->Images[1]);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(b.doc.LinkAtPoint(canvas, first->DrawX + 3, first->DrawY + 4, url, control, title), guUrl);
  ASSERT_TRUE(url);
  EXPECT_EQ(url->URL, u"left.html");
  EXPECT_EQ(b.doc.LinkAtPoint(canvas, first->DrawX + 15, first->DrawY + 4, url, control, title), 0u);
  EXPECT_EQ(b.doc.LinkAtPoint(canvas, second->DrawX + 5, second->DrawY + 7, url, control, title), guUrl);
  ASSERT_TRUE(url);
  EXPECT_EQ(url->URL, u"server.cgi?5,7");
}

TEST(HtmlSection, WidthRangeWordsAndPieces) {
  TDocBuilder b;
  b.Text(u"abc\u00ADdefgh ij");
  b.Break();
  b.Text(u"x");
  b.Close();
  QImage sink(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&sink);
  int mn = 0, mx = 0;
  b.Section(0)->WidthRange(canvas, mn, mx);
  EXPECT_EQ(mn, 40);  // "defgh"; "abc-" is 32
  EXPECT_EQ(mx, 88);  // "abcdefgh ij"
}

// A block of auto width needs only its content's least width, which a plain section finds without
// its greatest: it must be the least width that WidthRange gives, whatever was asked first.
TEST(HtmlSection, MinWidthAloneIsWidthRangesLeast) {
  EnsureGuiApp();
  SetPixelsPerInch(96);
  SetFontMeasurer(&ScaledTestMeasurer());
  const std::u16string pages[] = {
      u"<p>abc\u00ADdefgh ij<br>x <b>bold words</b> <i>and italic</i> <font size=7>big</font></p>",
      u"<p style=\"word-wrap: break-word\">breakable longword</p><p><nobr>no break here</nobr> end</p>",
      u"<p>\u4E00\u4E8C\u4E09 a-b-c x/y \u00A0nbsp\u00A0joined <span style=\"letter-spacing: 3px\">spaced</span></p>",
      u"<p>text <img src=none.png width=77 height=5> after <img src=x.png align=left width=120></p>",
      u"<p>field <input size=30> and <select><option>a longer option</select></p>",
      u"<pre>  kept   as\r\n  written</pre><p style=\"text-indent: 50px\">indented</p><p></p>",
      u"<table border=1><tr><td>cell words<td>other</table><ul><li>item one<li>item two</ul>",
  };
  for (const std::u16string& page : pages) {
    TTestPage alone, both;
    alone.NewDocument();
    alone.ParseInto(page);
    both.NewDocument();
    both.ParseInto(page);
    std::vector<TSection*> a, b;
    alone.doc->TextSections(a);
    both.doc->TextSections(b);
    ASSERT_EQ(a.size(), b.size());
    ASSERT_FALSE(a.empty());
    QImage sink(1, 1, QImage::Format_RGB32);
    TCanvas canvas(&sink);
    canvas.Measurer = &ScaledTestMeasurer();
    for (size_t i = 0; i < a.size(); ++i) {
      const int least = a[i]->MinWidth(canvas);
      int mn = -1, mx = -1;
      b[i]->WidthRange(canvas, mn, mx);
      EXPECT_EQ(least, mn) << QString::fromStdU16String(page).toStdString() << " section " << i;
      // Asked again, and after WidthRange, it answers the same.
      EXPECT_EQ(a[i]->MinWidth(canvas), least);
      a[i]->WidthRange(canvas, mn, mx);
      EXPECT_EQ(a[i]->MinWidth(canvas), mn);
    }
    // Laid out, both documents are one.
    EXPECT_EQ(LayOut(*alone.doc, ScaledTestMeasurer(), 90), LayOut(*both.doc, ScaledTestMeasurer(), 90));
  }
  SetFontMeasurer(nullptr);
}

TEST(HtmlSection, TextIndentPixelsAndPercent) {
  for (const auto& [style, x] : {std::pair{u"text-indent: 16px", 16}, std::pair{u"text-indent: 10%", 20}}) {
    TDocBuilder b;
    b.Push(u"p", style);
    b.Open();
    b.Text(u"aaaa bbbb cccc dddd eeee");
    const auto lines = Lines(b.Dump(200));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].substr(0, lines[0].find(' ')), std::to_string(x)) << x;
  }
}

TEST(HtmlSection, ClearDropsBelowTheFloats) {
  TDocBuilder b;
  b.Image({{AlignSy, u"left"}, {WidthSy, u"30"}, {HeightSy, u"50"}});
  b.Text(u"beside");
  TAttributeList clear;
  clear.Add(ClearSy, 0, u"CLEAR", u"left", 0);
  b.Open(false, &clear);
  b.Text(u"below");
  const auto lines = Lines(b.Dump(300));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 5), "30 0 ");
  const int y = std::stoi(lines[1].substr(lines[1].find(' ') + 1));
  EXPECT_GE(y, 50);
  EXPECT_EQ(lines[1].substr(0, 2), "0 ");
}

TEST(HtmlSection, SubAndSuperscriptsShift) {
  TDocBuilder b;
  b.Text(u"a");
  b.Push(u"span", u"vertical-align: super");
  b.Text(u"b");
  b.Pop(u"span");
  b.Push(u"span", u"vertical-align: sub");
  b.Text(u"c");
  b.Pop(u"span");
  const std::string dump = b.Dump(300);
  EXPECT_NE(dump.find("8 -6 8 20 b"), std::string::npos) << dump;  // up a third of 20
  EXPECT_NE(dump.find("16 3 8 20 c"), std::string::npos) << dump;  // down half the descent + 1
}

TEST(HtmlSection, SmallCapsRunLowerCaseInTheirOwnFont) {
  TDocBuilder b;
  b.Push(u"span", u"font-variant: small-caps");
  b.Open();
  b.Text(u"Ab c");
  b.Close();
  TSection& s = *b.Section(0);
  EXPECT_EQ(s.Text, u"AB C ");
  // A run for each change between letters that were lower case and the rest.
  std::vector<int> starts;
  for (const auto& f : s.Fonts) starts.push_back(f->Pos);
  EXPECT_EQ(starts, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(b.doc.PropertyStack->size(), 2u);  // every set it pushed is gone again
}

TEST(HtmlSection, SearchBothWays) {
  TDocBuilder b;
  b.Text(u"One two");
  b.Open();
  b.Text(u"three two");
  b.Layout(500);
  EXPECT_EQ(b.doc.SearchForward(0, u"two", false), 4);
  EXPECT_EQ(b.doc.SearchForward(5, u"two", false), 14);
  EXPECT_EQ(b.doc.SearchForward(0, u"one", true), -1);
  EXPECT_EQ(b.doc.SearchForward(0, u"one", false), 0);
  EXPECT_EQ(b.doc.SearchBackward(17, u"two", false), 14);
  EXPECT_EQ(b.doc.SearchBackward(16, u"two", false), 4);
}

TEST(HtmlSection, SelectionAcrossSectionsAndDiscardedLinks) {
  TDocBuilder b;
  b.Text(u"ab");
  b.Open();
  b.LinkStart(u"nowhere");
  b.LinkEnd();
  b.Close();  // holds no characters: dropped, and its link run with it
  EXPECT_TRUE(b.doc.LinkFonts.empty());
  b.Open();
  b.Text(u"cd");
  b.Layout(500);
  ASSERT_EQ(b.doc.Count(), 2);
  b.doc.SelectionStart = 0;
  b.doc.SelectionEnd = b.doc.CharCount;
  EXPECT_EQ(b.doc.SelectionText(), u"ab\r\ncd");
  b.doc.SelectionStart = 1;
  b.doc.SelectionEnd = 2;
  EXPECT_EQ(b.doc.SelectionText(), u"b");
}

TEST(HtmlSection, EmptyPreformattedTextKeepsALine) {
  TDocBuilder b;
  b.Open(true);
  b.Close();
  ASSERT_EQ(b.doc.Count(), 1);
  EXPECT_EQ(b.Layout(300), 20);
}

// Any text at any width: the lines take every character once, in order, and layout ends.
TEST(HtmlSection, LinesCoverTheTextAtEveryWidth) {
  const char16_t alphabet[] = {u'a', u'b', u' ', u' ', u'-', u'/', u'?', 0x00AD, 0x4E00, BrkCh, 0x00A0};
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  for (int round = 0; round < 60; ++round) {
    TDocBuilder b;
    const bool justify = round % 3 == 0, pre = round % 7 == 3;
    b.Push(u"p", justify ? u"text-align: justify" : round % 3 == 1 ? u"text-align: center" : u"");
    b.Open(pre);
    b.doc.NoBreak = round % 5 == 4;
    std::u16string text;
    const int n = static_cast<int>(next() % 60);
    for (int i = 0; i < n; ++i) text += alphabet[next() % (sizeof alphabet / sizeof alphabet[0])];
    b.Text(text);
    b.doc.NoBreak = false;
    if (round % 4 == 2) b.Image({{WidthSy, u"20"}, {HeightSy, u"10"}, {AlignSy, round % 8 == 2 ? u"left" : u"top"}});
    b.Text(u"z");
    for (int width : {0, 1, 7, 30, 100}) {
      b.Layout(width);
      TSection& s = *b.Section(0);
      int pos = 0;
      for (const LineRec& l : s.Lines) {
        if (l.CharCount == 0) continue;
        ASSERT_EQ(l.Start, pos) << round << " " << width;
        pos += l.CharCount;
      }
      EXPECT_EQ(pos, s.Length()) << round << " " << width;
      DumpLayout(b.doc);
    }
  }
}

TEST(HtmlSection, FloatsInPreformattedText) {
  TDocBuilder b;
  b.Open(true);
  b.Text(u"ab");
  TImageObj* image = b.Image({{AlignSy, u"left"}, {WidthSy, u"30"}, {HeightSy, u"30"}});
  b.Text(u"cd");
  b.Layout(300);
  EXPECT_TRUE(image->Placed);
  EXPECT_EQ(image->DrawX, 0);
  EXPECT_EQ(image->DrawY, 0);
  EXPECT_GE(b.height, 30);  // the document makes room for the float below its last line
}
