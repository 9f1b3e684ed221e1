// Selects (list boxes and drop-down lists), their options, and text areas: made from pages by the
// builder, with real widgets on an offscreen panel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionComboBox>

#include "htmlview/forms/HtmlFormSelect.h"
#include "htmlview/parse/HtmlParse.h"
#include "htmlview/text/HtmlBuffer.h"
#include "tests/htmlview/forms/FormsPage.h"

using namespace htmlview;

namespace {

using Pairs = std::vector<std::u16string>;

class Selects : public TFormsPageTest {
protected:
  void TearDown() override {
    TFormsPageTest::TearDown();
    Events() = {};
  }
  Pairs Submission(TFormControlObj* c) {
    Pairs out;
    std::u16string s;
    for (int i = 0;; ++i) {
      s.clear();
      if (!c->GetSubmission(i, s)) break;
      if (!s.empty()) out.push_back(s);
    }
    return out;
  }
  int TextHeightA(const QFont& font) { return QtTextMeasurer().TextExtent(font, u"A").cy; }
  int changes = 0;
  void CountChanges() {
    Events().OnObjectChange = [this](TFormControlObj*, const std::u16string&) { ++changes; };
  }
};

std::u16string Options(int n) {
  std::u16string s;
  for (int i = 0; i < n; ++i) s += u"<option>o" + QString::number(i).toStdU16String();
  return s;
}

TEST_F(Selects, TheFactoryChoosesTheKind) {
  struct Case {
    std::u16string tag;
    bool list;
  };
  for (const Case& c : {Case{u"<select name=s>", false}, Case{u"<select name=s size=1>", false},
                        Case{u"<select name=s size=2>", true}, Case{u"<select name=s multiple>", true}}) {
    Load(c.tag + u"<option>a</select>");
    EXPECT_EQ(First<TListBoxFormControlObj>() != nullptr, c.list) << QString::fromStdU16String(c.tag).toStdString();
    EXPECT_EQ(First<TComboFormControlObj>() != nullptr, !c.list);
  }
}

TEST_F(Selects, SubmissionRules) {
  struct Case {
    std::u16string html;
    Pairs expected;
  };
  const Case cases[] = {
      {u"<select name=s><option>a<option>b</select>", {u"s=a"}},  // nothing marked: the first
      {u"<select name=s size=3><option>a<option>b</select>", {u"s=a"}},
      {u"<select name=s><option selected>a<option selected>b</select>", {u"s=b"}},
      {u"<select name=s size=3><option selected>a<option selected>b</select>", {u"s=b"}},
      {u"<select name=s><option></select>", {u"s= "}},
      {u"<select name=s><option value=v></select>", {u"s=v"}},
      {u"<select name=s><option value=''>t</select>", {u"s=t"}},
      {u"<select name=s><option>  spaced  </select>", {u"s=spaced"}},
      {u"<select name=s></select>", {}},
      {u"<select name=s size=4></select>", {}},
      {u"<select name=s multiple></select>", {}},
      {u"<select name=s multiple><option>a<option>b</select>", {}},
      {u"<select name=s multiple><option>a<option selected value=B>b<option selected>c</select>", {u"s=B", u"s=c"}},
  };
  for (const Case& c : cases) {
    Load(c.html);
    auto* select = First<TOptionsFormControlObj>();
    ASSERT_NE(select, nullptr);
    EXPECT_EQ(Submission(select), c.expected) << QString::fromStdU16String(c.html).toStdString();
  }
}

TEST_F(Selects, AnEmptyOptionShowsASpace) {
  Load(u"<select name=s size=2><option><option value=x></select>");
  auto* list = First<TListBoxFormControlObj>();
  ASSERT_EQ(list->ListBox()->count(), 2);
  EXPECT_EQ(list->ListBox()->item(0)->text(), QStringLiteral(" "));
  EXPECT_EQ(list->Options.Value(0), u" ");
  EXPECT_EQ(list->Options.Value(1), u"x");
}

TEST_F(Selects, OptionReadsOutsideTheListAreEmpty) {
  Load(u"<select name=s><option selected>a</select>");
  auto* combo = First<TComboFormControlObj>();
  EXPECT_EQ(combo->Options.Value(-1), u"");
  EXPECT_EQ(combo->Options.Value(1), u"");
  EXPECT_FALSE(combo->Options.Selected(-1));
  EXPECT_FALSE(combo->Options.Selected(1));
  EXPECT_TRUE(combo->Options.Selected(0));
}

TEST_F(Selects, AMultipleResetSubmitsExactlyItsSelectedOptions) {
  Load(u"<form><select name=m multiple><option>a<option selected>b<option>c<option selected>d</select>"
       u"<select name=s size=3><option>x<option selected>y<option>z</select></form>");
  auto* m = ByName<TListBoxFormControlObj>(u"m");
  auto* s = ByName<TListBoxFormControlObj>(u"s");
  EXPECT_EQ(m->ListBox()->ItemIndex(), 0) << "the caret only";
  m->ListBox()->clearSelection();
  m->ListBox()->item(0)->setSelected(true);
  m->ListBox()->item(2)->setSelected(true);
  s->ListBox()->SetItemIndex(2);
  EXPECT_EQ(Submission(m), (Pairs{u"m=a", u"m=c"}));
  EXPECT_EQ(Submission(s), (Pairs{u"s=z"}));
  m->MyForm->ResetControls();
  EXPECT_EQ(Submission(m), (Pairs{u"m=b", u"m=d"}));
  EXPECT_EQ(Submission(s), (Pairs{u"s=y"}));
}

TEST_F(Selects, HistoryRestoresIgnoringCase) {
  Load(u"<form><select name=m multiple><option value=A>a<option value=B selected>b<option value=C>c</select>"
       u"<select name=s size=3><option>x<option>y</select>"
       u"<select name=c><option>one<option>Two<option>three</select>"
       u"<textarea name=t>old</textarea></form>");
  auto* m = ByName<TListBoxFormControlObj>(u"m");
  m->SetData(0, u"a");
  m->SetData(1, u"c");
  EXPECT_EQ(Submission(m), (Pairs{u"m=A", u"m=C"}));
  auto* s = ByName<TListBoxFormControlObj>(u"s");
  s->SetData(0, u"Y");
  EXPECT_EQ(Submission(s), (Pairs{u"s=y"}));
  auto* c = ByName<TComboFormControlObj>(u"c");
  c->SetData(0, u"TWO");
  EXPECT_EQ(Submission(c), (Pairs{u"c=Two"}));
  c->SetData(0, u"nothing");
  EXPECT_EQ(Submission(c), (Pairs{u"c=Two"}));
  auto* t = ByName<TTextAreaFormControlObj>(u"t");
  t->SetData(0, u"new\r\ntext");
  EXPECT_EQ(Submission(t), (Pairs{u"t=new\r\ntext"}));
}

TEST_F(Selects, ResetUndoesChangedSelectionsAndText) {
  Load(u"<form><select name=c><option>a<option selected>b</select>"
       u"<textarea name=t>first &amp; second\n</textarea><input type=reset name=r></form>");
  auto* c = ByName<TComboFormControlObj>(u"c");
  auto* t = ByName<TTextAreaFormControlObj>(u"t");
  EXPECT_EQ(t->InitialText, u"first & second\r\n");
  c->ComboBox()->SetItemIndex(0);
  t->Memo()->SetText(u"typed");
  ByName<TButtonFormControlObj>(u"r")->Button()->click();
  EXPECT_EQ(Submission(c), (Pairs{u"c=b"}));
  EXPECT_EQ(t->Memo()->Text(), u"first & second\r\n");
}

TEST_F(Selects, ChangeEvents) {
  Load(u"<form><select name=c onchange=x><option>a<option>b</select>"
       u"<select name=l multiple onchange=x>" +
       Options(70) + u"</select><textarea name=t onchange=x>a</textarea></form>");
  auto* c = ByName<TComboFormControlObj>(u"c");
  auto* l = ByName<TListBoxFormControlObj>(u"l");
  auto* t = ByName<TTextAreaFormControlObj>(u"t");
  // No handler: nothing is raised.
  c->SaveContents();
  c->ComboBox()->SetItemIndex(1);
  c->DoOnChange();
  EXPECT_EQ(changes, 0);
  CountChanges();
  c->SaveContents();
  EXPECT_FALSE(c->DoOnChange());
  c->ComboBox()->SetItemIndex(0);
  EXPECT_TRUE(c->DoOnChange());
  EXPECT_EQ(changes, 1);
  // A change far down the list counts as much as one at the top.
  l->EnterEvent();
  l->ListBox()->item(59)->setSelected(true);
  l->ExitEvent();
  EXPECT_EQ(changes, 2);
  l->SaveContents();
  l->ListBox()->item(51)->setSelected(true);
  EXPECT_TRUE(l->DoOnChange());
  EXPECT_EQ(changes, 3);
  t->EnterEvent();
  t->Memo()->SetText(u"b");
  t->ExitEvent();
  EXPECT_EQ(changes, 4);
}

TEST_F(Selects, ListBoxRows) {
  Load(u"<select name=a multiple>" + Options(12) + u"</select><select name=b multiple></select>"
       u"<select name=c size=4>" + Options(12) + u"</select><select name=d size=2000000000 multiple></select>");
  auto* a = ByName<TListBoxFormControlObj>(u"a");
  auto* b = ByName<TListBoxFormControlObj>(u"b");
  auto* c = ByName<TListBoxFormControlObj>(u"c");
  EXPECT_EQ(a->Size, 8);
  EXPECT_EQ(b->Size, 1);
  EXPECT_EQ(c->Size, 4);
  const int frame = 2 * c->ListBox()->frameWidth();
  // The text height times the rows is the least; rows whole are shown elsewhere.
  EXPECT_GE(c->Height() - frame, 4 * TextHeightA(c->Font()));
  EXPECT_GE(a->Height() - frame, 8 * TextHeightA(a->Font()));
  EXPECT_GE(b->Height() - frame, TextHeightA(b->Font()));
  EXPECT_LE(ByName<TListBoxFormControlObj>(u"d")->Height(), MaxWidgetSize);
}

TEST_F(Selects, WidthsFollowTheOptions) {
  Load(u"<select name=a><option>x</select><select name=b><option>a much longer option text</select>"
       u"<select name=c size=3><option>x</select><select name=d size=3><option>a much longer option</select>"
       u"<select name=e style='width:200px'><option>x</select><select name=f size=3 style='width:40%'></select>");
  EXPECT_GT(ByName<TComboFormControlObj>(u"b")->Width(), ByName<TComboFormControlObj>(u"a")->Width());
  EXPECT_GT(ByName<TListBoxFormControlObj>(u"d")->Width(), ByName<TListBoxFormControlObj>(u"c")->Width());
  EXPECT_EQ(ByName<TComboFormControlObj>(u"e")->Width(), 200);
  auto* f = ByName<TListBoxFormControlObj>(u"f");
  EXPECT_EQ(f->Width(), 10);
  EXPECT_EQ(f->Left(), -4000);
}

// A drop-down without a width of its own is at least as wide as the scroll bar, its widest option
// and 10, and as wide as it must be to show that option whole: the columns of ink of the option
// shown are those of the same drop-down made wide.
TEST_F(Selects, ADropDownShowsItsWidestOptionWhole) {
  Load(u"<select name=a><option>x<option selected>Widest option, gjpqy WWW</select>"
       u"<select name=b><option selected>Wm</select>"
       u"<select name=c style='font-size:24px'><option selected>Mmmm Wwww 0123</select>"
       u"<select name=d style='width:60px'><option selected>Widest option, gjpqy WWW</select>");
  LayOut(*doc, QtTextMeasurer(), 700);
  for (const char16_t* name : {u"a", u"b", u"c"}) {
    SCOPED_TRACE(QString::fromUtf16(name).toStdString());
    TComboFormControlObj* c = ByName<TComboFormControlObj>(name);
    TUniComboBox& combo = *c->ComboBox();
    EXPECT_GE(c->Width(), QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &combo) +
                              c->MaxOptionWidth + 10);
    // The text stands left of the arrow.
    auto textColumns = [&] {
      QStyleOptionComboBox opt;
      opt.initFrom(&combo);
      const QRect field =
          combo.style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, &combo);
      return InkLines(Rendered(combo), QRect(0, 0, field.right() + 1, combo.height()), true);
    };
    const int columns = textColumns();
    combo.resize(c->Width() + 200, combo.height());
    EXPECT_EQ(textColumns(), columns);
  }
  EXPECT_EQ(ByName<TComboFormControlObj>(u"d")->Width(), 60);
}

TEST_F(Selects, TextAreaSizes) {
  Load(u"<textarea name=a rows=5></textarea><textarea name=b rows=10></textarea>"
       u"<textarea name=c cols=10></textarea><textarea name=d cols=40></textarea>"
       u"<textarea name=e cols=2000000000 rows=2000000000></textarea>"
       u"<textarea name=f style='width:50%'></textarea><textarea name=g style='width:300px;height:100px'></textarea>");
  auto t = [&](const char16_t* n) { return ByName<TTextAreaFormControlObj>(n); };
  EXPECT_GT(t(u"b")->Height(), t(u"a")->Height());
  EXPECT_GT(t(u"d")->Width(), t(u"c")->Width());
  EXPECT_EQ(t(u"e")->Cols, 1000);
  EXPECT_EQ(t(u"e")->Rows, 1000);
  EXPECT_LE(t(u"e")->Width(), MaxWidgetSize);
  EXPECT_LE(t(u"e")->Height(), MaxWidgetSize);
  EXPECT_EQ(t(u"f")->Width(), 50);
  EXPECT_EQ(t(u"f")->Left(), -4000);
  EXPECT_EQ(t(u"g")->Width(), 300);
  EXPECT_EQ(t(u"g")->Height(), 100);
}

// Text areas and list boxes show as many rows as they are given, whole, in any font: the rows of
// ink inside the frame are those of the same control made taller, nothing is left to scroll, and
// the text height times the rows stays the least. Printed, they show the same rows whole.
TEST_F(Selects, TextAreasAndListBoxesShowTheirRowsWhole) {
  const std::u16string fonts[] = {u"font-size:10px; font-family:'Times New Roman'", u"font-size:13px; font-family:Arial",
                                  u"font-size:16px; font-family:'Courier New'", u"font-size:24px; font-family:Tahoma",
                                  u"font-size:36px; font-family:'Times New Roman'", u"font-size:14px; font-family:Arial",
                                  u"font-size:22px; font-family:'Times New Roman'", u""};
  panel->show();
  for (const std::u16string& font : fonts) {
    for (int rows : {1, 3, 4, 6}) {
      std::u16string lines, options;
      for (int i = 0; i < rows; ++i) {
        lines += std::u16string(i > 0 ? u"\n" : u"") + u"\u00c9gjpqy " + QString::number(i).toStdU16String();
        options += u"<option>\u00c9gjpqy " + QString::number(i).toStdU16String();
      }
      const std::u16string n = QString::number(rows).toStdU16String();
      const std::u16string style = u" style=\"" + font + u"\" ";
      Load(u"<textarea name=soft rows=" + n + style + u">" + lines + u"</textarea><textarea name=off wrap=off rows=" +
           n + style + u">" + lines + u"</textarea><select name=list multiple size=" + n + style + u">" + options +
           u"</select><select name=bordered style=\"border:2px solid black; " + font + u"\" multiple size=" + n +
           u">" + options + u"</select>");
      LayOut(*doc, QtTextMeasurer(), 700);
      for (const char16_t* name : {u"soft", u"off", u"list", u"bordered"}) {
        TFormControlObj* c = nullptr;
        for (auto& f : doc->FormControls)
          if (f->Name == name) c = f.get();
        ASSERT_NE(c, nullptr);
        auto& area = *static_cast<QAbstractScrollArea*>(c->GetControl());
        SCOPED_TRACE(testing::Message() << QString::fromStdU16String(font).toStdString() << ", " << rows << " rows, "
                                        << QString::fromStdU16String(name).toStdString() << ", " << c->Height()
                                        << " high");
        auto* memo = dynamic_cast<TTextAreaFormControlObj*>(c);
        const int frame = area.height() - area.maximumViewportSize().height();
        EXPECT_GE(c->Height(), TextHeightA(c->Font()) * rows + (memo ? 5 : 0) + frame);
        EXPECT_EQ(area.horizontalScrollBar()->isVisibleTo(&area), std::u16string(name) == u"off");
        // Where the page puts it when it is drawn.
        c->Show(10, 10);
        if (auto* list = dynamic_cast<QListWidget*>(&area)) list->clearSelection();
        QCoreApplication::processEvents();
        EXPECT_EQ(area.verticalScrollBar()->maximum(), 0) << "nothing to scroll";
        auto ink = [&] { return InkLines(Rendered(area), area.viewport()->geometry(), false); };
        const int shown = ink();
        EXPECT_GT(shown, 0);
        const int height = c->Height();
        c->SetHeight(height + 60);
        QCoreApplication::processEvents();
        EXPECT_EQ(ink(), shown) << "the same rows made taller";
        auto printedInk = [&] {
          const QImage paper = Printed(*c, c->Width() + 20, c->Height() + 80);
          return InkLines(paper, QRect(10, 10, c->Width(), paper.height() - 10), false);
        };
        const int tallPrint = printedInk();
        c->SetHeight(height);
        EXPECT_EQ(printedInk(), tallPrint) << "printed";
      }
    }
  }
  // A height of the style is kept, taller or not.
  Load(u"<textarea name=t rows=3 style='height:200px'></textarea><textarea name=u rows=3 style='height:30px'>"
       u"</textarea><select name=l size=3 style='height:150px'><option>a</select>");
  EXPECT_EQ(ByName<TTextAreaFormControlObj>(u"t")->Height(), 200);
  EXPECT_EQ(ByName<TTextAreaFormControlObj>(u"u")->Height(), 30);
  auto* l = ByName<TListBoxFormControlObj>(u"l");
  EXPECT_EQ(l->Height(), 150 + 2 * l->ListBox()->frameWidth());
  // A list narrower than its options clips them: no scroll bar takes the room of its last row.
  Load(u"<select name=n size=3 style='width:40px'><option>a long option<option>another long one<option>and a third"
       u"</select>");
  auto* n = ByName<TListBoxFormControlObj>(u"n");
  n->Show(10, 10);
  QCoreApplication::processEvents();
  EXPECT_FALSE(n->ListBox()->horizontalScrollBar()->isVisibleTo(n->ListBox()));
  EXPECT_EQ(n->ListBox()->verticalScrollBar()->maximum(), 0);
}

// A printed text area shows the rows the screen shows: a long line as the lines it wraps into.
TEST_F(Selects, APrintedTextAreaWrapsAsTheScreenDoes) {
  Load(u"<textarea name=t rows=3 cols=12>mmm nnn uuu mmm nnn uuu mmm nnn uuu mmm nnn uuu mmm nnn uuu</textarea>"
       u"<textarea name=o rows=3 cols=12 wrap=off>mmm nnn uuu mmm nnn uuu mmm nnn uuu mmm nnn uuu</textarea>");
  LayOut(*doc, QtTextMeasurer(), 700);
  for (const auto& [name, bands] : {std::pair{u"t", 3}, std::pair{u"o", 1}}) {
    auto* t = ByName<TTextAreaFormControlObj>(name);
    ASSERT_GE(t->DisplayedRows().size(), static_cast<size_t>(bands)) << "the screen wraps the line";
    const QImage paper = Printed(*t, t->Width() + 20, t->Height() + 20);
    // Bands of rows of ink with blank rows between them: the letters have no ascenders or descenders.
    int found = 0;
    bool inBand = false;
    for (int y = 14; y < 10 + t->Height() - 2; ++y) {
      const bool any = InkLines(paper, QRect(14, y, t->Width() - 8, 1), false) > 0;
      found += any && !inBand;
      inBand = any;
    }
    EXPECT_EQ(found, bands) << QString::fromStdU16String(name).toStdString();
  }
}

TEST_F(Selects, HardWrapSubmitsTheDisplayedLines) {
  const std::u16string text = u"alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu";
  for (const std::u16string wrap : {u"hard", u"soft", u"", u"off"}) {
    Load(u"<textarea name=t cols=10 wrap='" + wrap + u"'>" + text + u"\nnext</textarea>");
    auto* t = First<TTextAreaFormControlObj>();
    EXPECT_EQ(t->Wrap, wrap == u"hard" ? 2 : wrap == u"off" ? 0 : 1);
    const Pairs s = Submission(t);
    ASSERT_EQ(s.size(), 1u);
    std::u16string value = s[0].substr(2);
    int breaks = 0;
    for (size_t at; (at = value.find(u"\r\n")) != std::u16string::npos; ++breaks) value.erase(at, 2);
    EXPECT_EQ(value, text + u"next");
    if (wrap == u"hard")
      EXPECT_GT(breaks, 2) << "the long line goes as several";
    else
      EXPECT_EQ(breaks, 1) << QString::fromStdU16String(wrap).toStdString();
  }
}

TEST_F(Selects, PrintingDrawsTheVisibleItems) {
  Load(u"<select name=l size=3><option>WWWW<option>WWWW<option>WWWW<option>WWWW<option>WWWW</select>"
       u"<select name=c><option>WWWW</select>");
  auto* l = First<TListBoxFormControlObj>();
  const QImage img = Printed(*l, 200, 200);
  // Rows with dark text pixels, inside the box and below its frame.
  auto darkRows = [&](int top, int bottom) {
    int rows = 0;
    for (int y = top; y < bottom; ++y) {
      bool dark = false;
      for (int x = 14; x < 10 + l->Width() - 4; ++x) dark = dark || qGray(img.pixel(x, y)) < 100;
      rows += dark;
    }
    return rows;
  };
  const int lineHeight = QFontMetrics(l->Font()).height();
  EXPECT_GT(darkRows(14, 14 + lineHeight), 0);
  EXPECT_GT(darkRows(14 + 2 * lineHeight, 14 + 3 * lineHeight), 0);
  EXPECT_EQ(darkRows(10 + l->Height() + 2, 200), 0) << "items past the visible rows are not drawn";
  // The drop-down prints its chosen text.
  auto* c = First<TComboFormControlObj>();
  const QImage img2 = Printed(*c, 200, 60);
  int dark = 0;
  for (int y = 14; y < 10 + c->Height() - 4; ++y)
    for (int x = 14; x < 10 + c->Width() - 4; ++x) dark += qGray(img2.pixel(x, y)) < 100;
  EXPECT_GT(dark, 10);
}

TEST_F(Selects, SelectContentStopsWhereTheListEnds) {
  Load(u"<form><select name=s><option>a<input name=after value=1>c</form>");
  ASSERT_NE(ByName<TComboFormControlObj>(u"s"), nullptr);
  EXPECT_EQ(ByName<TComboFormControlObj>(u"s")->Options.Count(), 1);
  ASSERT_NE(ByName<TEditFormControlObj>(u"after"), nullptr);
  EXPECT_EQ(ByName<TComboFormControlObj>(u"s")->MyForm, ByName<TEditFormControlObj>(u"after")->MyForm);
}


TEST_F(Selects, TextAreaContentKeepsItsLinesAndTags) {
  struct Case {
    std::u16string page, text;
  };
  const Case cases[] = {
      {u"<textarea name=t>a\nb\r\n\nc</textarea>", u"a\r\nb\r\n\r\nc"},
      {u"<textarea name=t>x<b>y</b>&lt;</TEXTAREA >after", u"x<b>y</b><"},
      {u"<textarea name=t></textareaX>z</textarea>", u"</textareaX>z"},
      {u"<textarea name=t>open &", u"open &"},
      {u"<textarea name=t></textarea>", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(QString::fromStdU16String(c.page).toStdString());
    Load(c.page);
    auto* t = First<TTextAreaFormControlObj>();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->InitialText, c.text);
    EXPECT_EQ(t->Value, c.text);
  }
  // Many lines are read in one pass (they were once copied whole for every line).
  std::u16string many = u"<textarea name=t>";
  for (int i = 0; i < 20000; ++i) many += u"line\n";
  Load(many + u"</textarea>");
  EXPECT_EQ(First<TTextAreaFormControlObj>()->InitialText.size(), 20000u * 6);
}

// What the controls show is text as the document means it: the character references of option
// texts and values, a text area's content, a button's and an edit's value read as characters.
TEST_F(Selects, ControlsShowTheirTextWithReferencesExpanded) {
  Load(u"<form><select name=s size=2><option value='v&amp;&#x41;'>A &amp; B &lt;x&gt;<option>&eacute;&#233;"
       u"</select><textarea name=t>&quot;q&quot; &amp;&#65;</textarea>"
       u"<input type=submit name=b value='Go &gt;&gt;'><input name=e value=\"&lt;&#x42;&gt;\"></form>");
  auto* s = ByName<TListBoxFormControlObj>(u"s");
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->ListBox()->count(), 2);
  EXPECT_EQ(s->ListBox()->item(0)->text(), QString::fromUtf16(u"A & B <x>"));
  EXPECT_EQ(s->ListBox()->item(1)->text(), QString::fromUtf16(u"\u00e9\u00e9"));
  EXPECT_EQ(Submission(s), Pairs{u"s=v&A"});
  EXPECT_EQ(ByName<TTextAreaFormControlObj>(u"t")->Memo()->Text(), u"\"q\" &A");
  EXPECT_EQ(ByName<TButtonFormControlObj>(u"b")->Button()->Caption(), u"Go >>");
  EXPECT_EQ(ByName<TEditFormControlObj>(u"e")->Edit()->Text(), u"<B>");
}

// A page the fuzzer once broke: script, select, a text area holding a tag, a map. Built as the
// fuzz target builds it (no panel, the bytes read as they come), then laid out.
TEST(SelectsPages, TheReadersSeedBuildsAndLaysOut) {
  EnsureGuiApp();
  const std::string page =
      "<script>if(a<b)x='</p><!--';</script><select><option>a<option selected>b</select>"
      "<textarea>q<b>r</textarea><map name=m><area shape=rect coords='0,0,5,5' href=x></map>"
      "<img src=x.png usemap=#m>";
  struct Case {
    std::string tail;
    std::u16string text;  // what the text area holds
  };
  const Case cases[] = {
      {"", u"q<b>r"},
      {"<textarea>&amp;&#x41;&#0;&zz</textarea>", u"&A"},
      {"<textarea>unended &", u""},
      {"<textarea>tab\t<b\tc</textarea>", u""},
      {"<textarea></textareaX></textarea>", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tail);
    const std::string all = page + c.tail;
    ThtDocument doc(nullptr, nullptr);
    SetTestFonts(doc);
    TBuffer buffer(std::vector<uint8_t>(all.begin(), all.end()), u"fuzz");
    THtmlDocParser parser(doc, buffer);
    ASSERT_NO_THROW(parser.HtmlParseString({}));
    EXPECT_EQ(doc.Count(), 1);
    std::vector<TTextAreaFormControlObj*> areas;
    for (auto& f : doc.FormControls)
      if (auto* a = dynamic_cast<TTextAreaFormControlObj*>(f.get())) areas.push_back(a);
    ASSERT_GE(areas.size(), 1u);
    EXPECT_EQ(areas[0]->InitialText, u"q<b>r");
    if (!c.text.empty() && areas.size() > 1) {
      EXPECT_EQ(areas[1]->InitialText.substr(0, c.text.size()), c.text);
    }
    LayOut(doc, TFixedMeasurer(7, 16), 300);
  }
}

}  // namespace
