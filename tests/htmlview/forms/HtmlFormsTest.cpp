// Forms and their INPUT controls: real widgets on an offscreen panel, made by the builder from
// pages, submitted, reset, restored, sized and printed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyle>

#include "htmlview/forms/HtmlFormSelect.h"
#include "htmlview/forms/HtmlForms.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/parse/HtmlParse.h"
#include "htmlview/text/HtmlBuffer.h"
#include "tests/htmlview/forms/FormsPage.h"

using namespace htmlview;

namespace {

class Forms : public TFormsPageTest {
protected:
  std::vector<std::unique_ptr<ThtmlForm>>& FormList() { return DocumentForms(doc.get()).Forms; }
  // Records submissions; they arrive only from the event loop.
  void Listen() {
    Events().OnFormSubmit = [this](const std::u16string& action, const std::u16string& target,
                                   const std::u16string& enc, const std::u16string& method,
                                   const std::vector<std::u16string>& results) {
      ++submits;
      last = results;
      lastHead = {action, target, enc, method};
    };
  }
  void Deliver() { QCoreApplication::processEvents(); }

  int submits = 0;
  std::vector<std::u16string> last, lastHead;
};

using Pairs = std::vector<std::u16string>;

TEST_F(Forms, OneFormSubmitsEveryKindOfControl) {
  Load(u"<form action=go.cgi target=_top enctype=text/plain method=POST>"
       u"<input name=t value='a b'><input type=password name=p value=secret>"
       u"<input type=hidden name=h value=hid>"
       u"<input type=checkbox name=c1 value=yes checked><input type=checkbox name=c2 value=no>"
       u"<input type=checkbox name=c3 checked>"
       u"<input type=radio name=r value=1><input type=radio name=r value=2 checked>"
       u"<select name=s><option>x<option value=Y selected>y</select>"
       u"<select name=m multiple><option selected>m1<option>m2<option selected>m3</select>"
       u"<textarea name=ta>line1\nline2</textarea>"
       u"<input type=submit name=go value=Send></form>");
  Listen();
  auto* button = ByName<TButtonFormControlObj>(u"go");
  ASSERT_NE(button, nullptr);
  button->Button()->click();
  EXPECT_EQ(submits, 0) << "the hook runs after the click has returned";
  Deliver();
  ASSERT_EQ(submits, 1);
  EXPECT_EQ(last, (Pairs{u"t=a b", u"p=secret", u"h=hid", u"c1=yes", u"c3=on", u"r=2", u"s=Y", u"m=m1", u"m=m3",
                         u"ta=line1\r\nline2", u"go=Send"}));
  EXPECT_EQ(lastHead, (Pairs{u"go.cgi", u"_top", u"text/plain", u"POST"}));
}

TEST_F(Forms, OnlyThePressedSubmitButtonAddsItsPair) {
  Load(u"<form><input name=a value=1><input type=submit name=b1 value=One>"
       u"<input type=submit name=b2 value=Two><input type=submit value=NoName></form>");
  Listen();
  ByName<TButtonFormControlObj>(u"b2")->Button()->click();
  Deliver();
  EXPECT_EQ(last, (Pairs{u"a=1", u"b2=Two"}));
  ByName<TButtonFormControlObj>(u"")->Button()->click();
  Deliver();
  EXPECT_EQ(last, (Pairs{u"a=1"}));
  EXPECT_EQ(lastHead[3], u"Get");
}

TEST_F(Forms, ImageInputSendsItsPointOncePerClick) {
  Load(u"<form><input name=a value=1><input type=image name=n src=x.gif width=40 height=30></form>");
  Listen();
  auto* image = All<TImageFormControlObj>().at(0);
  EXPECT_EQ(image->Width(), 40);
  EXPECT_EQ(image->Height(), 30);
  EXPECT_TRUE(image->MyForm->GetFormSubmission() == Pairs{u"a=1"}) << "no point before a click";
  image->ImageClick(5, 7);
  Deliver();
  EXPECT_EQ(last, (Pairs{u"a=1", u"n.x=5", u"n.y=7"}));
  EXPECT_EQ(image->MyForm->GetFormSubmission(), (Pairs{u"a=1"}));
}

TEST_F(Forms, DisabledControlsAreLeftOut) {
  struct Case {
    std::u16string attr;
    bool disabled;
  };
  for (const Case& c : {Case{u"", false}, Case{u"disabled", true}, Case{u"disabled=no", false},
                        Case{u"disabled=NO", false}, Case{u"disabled=0", false}, Case{u"disabled=yes", true}}) {
    Load(u"<form><input name=a value=1 " + c.attr + u"><input name=b value=2></form>");
    Listen();
    submits = 0;
    auto* a = ByName<TEditFormControlObj>(u"a");
    EXPECT_EQ(a->Disabled, c.disabled) << QString::fromStdU16String(c.attr).toStdString();
    EXPECT_EQ(a->Edit()->isEnabled(), !c.disabled);
    a->MyForm->SubmitTheForm(u"");
    Deliver();
    EXPECT_EQ(last, (c.disabled ? Pairs{u"b=2"} : Pairs{u"a=1", u"b=2"}));
  }
}

TEST_F(Forms, EnterInAnEditSubmitsWithoutAButtonPair) {
  Load(u"<form><input name=a value=1><input type=submit name=b value=B></form>");
  Listen();
  auto* a = ByName<TEditFormControlObj>(u"a");
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
  QApplication::sendEvent(a->Edit(), &enter);
  EXPECT_EQ(submits, 0);
  Deliver();
  EXPECT_EQ(submits, 1);
  EXPECT_EQ(last, (Pairs{u"a=1"}));
  // Other keys type as usual.
  QKeyEvent x(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
  QApplication::sendEvent(a->Edit(), &x);
  Deliver();
  EXPECT_EQ(submits, 1);
  EXPECT_EQ(a->Edit()->Text(), u"1x");
}

TEST_F(Forms, NoHookMeansNoSubmission) {
  Load(u"<form><input name=a value=1><input type=submit></form>");
  All<TButtonFormControlObj>()[0]->Button()->click();
  Deliver();
  EXPECT_EQ(submits, 0);
}

TEST_F(Forms, FormsCountTheirControls) {
  Load(u"<form><input type=hidden name=a><input type=hidden name=b></form>"
       u"<form><input type=hidden name=c><input name=d></form><input name=e>");
  ASSERT_EQ(FormList().size(), 3u) << "a control outside any form opens an implicit one";
  EXPECT_EQ(FormList()[0]->NonHiddenCount, 0);
  EXPECT_EQ(FormList()[0]->ControlList.size(), 2u);
  EXPECT_EQ(FormList()[1]->NonHiddenCount, 1);
  EXPECT_EQ(ByName<TEditFormControlObj>(u"e")->MyForm, FormList()[2].get());
  // Hidden inputs take no place in the text.
  EXPECT_EQ(All<THiddenFormControlObj>()[0]->Left(), -4000);
}

TEST_F(Forms, RadioGroupsAreDecidedByNameWithinTheForm) {
  Load(u"<form><input type=radio name=g value=1 checked><input type=radio name=G value=2>"
       u"<input type=radio name=g value=3 checked><input type=radio name=other value=4 checked></form>"
       u"<form><input type=radio name=g value=5 checked></form>");
  auto radios = All<TRadioButtonFormControlObj>();
  ASSERT_EQ(radios.size(), 5u);
  auto checked = [&] {
    std::string s;
    for (auto* r : radios) s += r->RadioButton()->isChecked() ? '1' : '0';
    return s;
  };
  EXPECT_EQ(checked(), "00111") << "the last CHECKED of a group wins";
  EXPECT_FALSE(radios[0]->RadioButton()->autoExclusive());
  // The tab stop is the checked radio of the group.
  EXPECT_FALSE(radios[0]->TabStop());
  EXPECT_FALSE(radios[1]->TabStop());
  EXPECT_TRUE(radios[2]->TabStop());
  radios[1]->RadioButton()->click();
  EXPECT_EQ(checked(), "01011") << "case is ignored; other names and forms are untouched";
  EXPECT_TRUE(radios[1]->TabStop());
  EXPECT_FALSE(radios[2]->TabStop());
  radios[1]->RadioButton()->click();
  EXPECT_EQ(checked(), "01011") << "a click never unchecks a radio";
  radios[0]->MyForm->ResetControls();
  EXPECT_EQ(checked(), "00111");
}

TEST_F(Forms, AnUncheckedGroupTabsToItsFirstRadio) {
  Load(u"<form><input type=radio name=g value=1><input type=radio name=g value=2></form>");
  auto radios = All<TRadioButtonFormControlObj>();
  EXPECT_TRUE(radios[0]->TabStop());
  EXPECT_FALSE(radios[1]->TabStop());
  EXPECT_EQ(radios[0]->MyForm->GetFormSubmission(), Pairs{});
}

TEST_F(Forms, ArrowKeysMoveWithinTheGroupWithoutWrapping) {
  Load(u"<form><input type=radio name=g value=1><input type=radio name=x value=9>"
       u"<input type=radio name=g value=2><input type=radio name=g value=3></form>");
  auto radios = All<TRadioButtonFormControlObj>();
  panel->show();
  panel->activateWindow();
  QCoreApplication::processEvents();
  for (auto* r : radios) r->Show(10, 10);
  ThtmlForm* form = radios[0]->MyForm;
  // Which radio the key moves to, by the object's own keyboard path.
  auto press = [&](TRadioButtonFormControlObj* from, uint16_t key) {
    from->RadioButton()->setFocus();
    form->ControlKeyDown(from->RadioButton(), key, 0);
    for (size_t i = 0; i < radios.size(); ++i)
      if (radios[i]->RadioButton()->hasFocus()) return static_cast<int>(i);
    return -1;
  };
  if (press(radios[0], 37) < 0) GTEST_SKIP() << "the offscreen platform gives no focus here";
  EXPECT_EQ(press(radios[0], 39), 2) << "the radio of another name is passed over";
  EXPECT_EQ(press(radios[2], 40), 3);
  EXPECT_EQ(press(radios[3], 40), 3) << "no wrapping at the end";
  EXPECT_EQ(press(radios[0], 38), 0) << "no wrapping at the start";
  EXPECT_EQ(press(radios[3], 37), 2);
  // A real key press takes the same way.
  radios[0]->RadioButton()->setFocus();
  QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
  QApplication::sendEvent(radios[0]->RadioButton(), &right);
  EXPECT_TRUE(radios[2]->RadioButton()->hasFocus());
  EXPECT_FALSE(radios[2]->RadioButton()->isChecked()) << "moving the focus checks nothing";
  // Other keys go to the viewer's handler.
  uint16_t seen = 0;
  Events().OnKeyDown = [&](QObject*, uint16_t& key, TShiftState) { seen = key; };
  uint16_t key = 65;
  form->ControlKeyDown(radios[0]->RadioButton(), key, 0);
  EXPECT_EQ(seen, 65);
}

TEST_F(Forms, ResetReturnsThePageValues) {
  Load(u"<form><input name=t value=orig><input type=checkbox name=c checked>"
       u"<input type=checkbox name=d><input type=reset name=r></form>");
  auto* t = ByName<TEditFormControlObj>(u"t");
  t->Edit()->SetText(u"typed");
  ByName<TCheckBoxFormControlObj>(u"c")->CheckBox()->click();
  ByName<TCheckBoxFormControlObj>(u"d")->CheckBox()->click();
  EXPECT_EQ(t->MyForm->GetFormSubmission(), (Pairs{u"t=typed", u"d=on"}));
  ByName<TButtonFormControlObj>(u"r")->Button()->click();
  EXPECT_EQ(t->MyForm->GetFormSubmission(), (Pairs{u"t=orig", u"c=on"}));
}

TEST_F(Forms, HistoryRestoresEachKind) {
  Load(u"<form><input name=t value=orig><input type=hidden name=h value=old>"
       u"<input type=checkbox name=c value=Yes checked><input type=radio name=r value=A checked>"
       u"<input type=radio name=r value=B></form>");
  ByName<TEditFormControlObj>(u"t")->SetData(0, u"restored");
  ByName<THiddenFormControlObj>(u"h")->SetData(0, u"new");
  auto* c = ByName<TCheckBoxFormControlObj>(u"c");
  c->SetDataInit();
  EXPECT_FALSE(c->CheckBox()->isChecked());
  c->SetData(0, u"yes");
  auto radios = All<TRadioButtonFormControlObj>();
  for (auto* r : radios) r->SetDataInit();
  radios[1]->SetData(0, u"b");
  EXPECT_EQ(c->MyForm->GetFormSubmission(), (Pairs{u"t=restored", u"h=new", u"c=Yes", u"r=B"}));
}

TEST_F(Forms, ChangeFocusAndClickEventsReachTheHost) {
  Load(u"<form><input name=t value=v onchange=ch onfocus=fo onblur=bl>"
       u"<input type=checkbox name=c onclick=cl onchange=cc></form>");
  std::vector<std::string> heard;
  auto record = [&](const char* kind) {
    return [&heard, kind](TFormControlObj* o, const std::u16string& m) {
      heard.push_back(std::string(kind) + ":" + QString::fromStdU16String(o->Name + u":" + m).toStdString());
    };
  };
  auto* t = ByName<TEditFormControlObj>(u"t");
  auto* c = ByName<TCheckBoxFormControlObj>(u"c");
  // Without handlers nothing is heard and nothing breaks.
  t->EnterEvent();
  t->Edit()->SetText(u"w");
  t->ExitEvent();
  EXPECT_TRUE(heard.empty());
  Events().OnObjectChange = record("change");
  Events().OnObjectFocus = record("focus");
  Events().OnObjectBlur = record("blur");
  Events().OnObjectClick = record("click");
  t->EnterEvent();
  EXPECT_TRUE(t->Active);
  t->ExitEvent();  // unchanged
  t->EnterEvent();
  t->Edit()->SetText(u"x");
  t->ExitEvent();
  c->EnterEvent();
  c->CheckBox()->click();
  c->ExitEvent();
  EXPECT_EQ(heard, (std::vector<std::string>{"focus:t:fo", "blur:t:bl", "focus:t:fo", "change:t:ch", "blur:t:bl",
                                             "click:c:cl", "change:c:cc"}));
}

// An edit is at least as tall as its frame and font need to show a line whole, also where the
// page's text is shorter than that, and keeps a taller height of its style: the rows of ink of
// "gjpqy" are those of the same edit made tall.
TEST_F(Forms, AnEditShowsItsLineWhole) {
  Load(u"<form><input name=a value=gjpqy><input name=b value=gjpqy style='font-size:30px'>"
       u"<input name=c value=gjpqy style='height:60px'><input name=d value=gjpqy style='height:4px'>"
       u"<input name=e value=gjpqy style='border:1px solid black'></form>");
  LayOut(*doc, QtTextMeasurer(), 700);
  for (const char16_t* name : {u"a", u"b", u"d", u"e"}) {
    SCOPED_TRACE(QString::fromUtf16(name).toStdString());
    TEditFormControlObj* e = ByName<TEditFormControlObj>(name);
    ThtEdit& edit = *e->Edit();
    EXPECT_GE(e->Height(), edit.sizeHint().height());
    const int rows = InkLines(Rendered(edit), edit.rect().adjusted(3, 0, -3, 0), false);
    EXPECT_GT(rows, QFontMetrics(edit.font()).ascent() / 2);
    edit.resize(edit.width(), e->Height() + 40);
    EXPECT_EQ(InkLines(Rendered(edit), edit.rect().adjusted(3, 0, -3, 0), false), rows);
  }
  EXPECT_EQ(ByName<TEditFormControlObj>(u"c")->Height(), 60);
}

TEST_F(Forms, EditWidthFollowsSize) {
  Load(u"<form><input name=a size=15><input name=b size=30><input name=c size=abc><input name=d>"
       u"<input name=e size='25,3'><input name=f size=2000000000><input name=g style='width:200px'>"
       u"<input name=h style='width:50%'><input name=i size=0></form>");
  auto w = [&](const char16_t* n) { return ByName<TEditFormControlObj>(n); };
  EXPECT_GT(w(u"b")->Width(), w(u"a")->Width());
  EXPECT_EQ(w(u"a")->EditSize, 15);
  EXPECT_EQ(w(u"c")->EditSize, 20) << "an unreadable size";
  EXPECT_EQ(w(u"d")->EditSize, 15) << "no size";
  EXPECT_EQ(w(u"d")->Width(), w(u"a")->Width());
  EXPECT_EQ(w(u"e")->EditSize, 25);
  EXPECT_EQ(w(u"f")->EditSize, 1000) << "sizes are held to what a page can mean";
  EXPECT_LE(w(u"f")->Width(), MaxWidgetSize);
  EXPECT_EQ(w(u"i")->EditSize, 20);
  EXPECT_EQ(w(u"g")->Width(), 200);
  EXPECT_TRUE(w(u"h")->PercentWidth);
  EXPECT_EQ(w(u"h")->Width(), 10) << "the layout gives a percentage its width";
  EXPECT_EQ(w(u"h")->Left(), -4000);
  EXPECT_GE(w(u"a")->Height(), 10);
}

// A layout sizes the controls for its canvas: a page laid out where text measures twice as large
// (a printer, a scale) has controls that grow with the text, as they were made for it. The text
// is taller than what an edit needs for its frame and font at the least.
TEST_F(Forms, ControlsAreSizedForTheCanvasOfTheLayout) {
  Load(u"<form><input type=submit name=b value=Go><input name=e><textarea name=t rows=3 cols=10></textarea>"
       u"<select name=l size=2><option>a<option>b</select></form>");
  auto layOut = [&](int advance, int height) {
    const TFixedMeasurer measurer(advance, height);
    LayOut(*doc, measurer, 700);
    std::vector<QSize> sizes;
    for (const auto& c : doc->FormControls) sizes.push_back({c->Width(), c->Height()});
    return sizes;
  };
  const std::vector<QSize> small = layOut(8, 32), large = layOut(16, 64), again = layOut(8, 32);
  ASSERT_GT(32, ByName<TEditFormControlObj>(u"e")->Edit()->sizeHint().height());
  struct Growth {
    const char* what;
    int width, height;  // -1: not from the measurer
  } growth[] = {{"button", 2 * 8, 32}, {"edit", -1, 32}, {"text area", 10 * 8, 3 * 32}, {"list", -1, 2 * 32}};
  ASSERT_EQ(small.size(), std::size(growth));
  for (size_t i = 0; i < small.size(); ++i) {
    SCOPED_TRACE(growth[i].what);
    if (growth[i].width >= 0) {
      EXPECT_EQ(large[i].width() - small[i].width(), growth[i].width);
    }
    EXPECT_EQ(large[i].height() - small[i].height(), growth[i].height);
    EXPECT_EQ(again[i], small[i]);
  }
}

TEST_F(Forms, EditAttributes) {
  Load(u"<form><input name=a maxlength=5><input name=b maxlength=0><input name=c maxlength=x>"
       u"<input type=password name=p value=abc><input name=r readonly value=q></form>");
  const int unlimited = QLineEdit().maxLength();
  EXPECT_EQ(ByName<TEditFormControlObj>(u"a")->Edit()->maxLength(), 5);
  EXPECT_EQ(ByName<TEditFormControlObj>(u"b")->Edit()->maxLength(), unlimited);
  EXPECT_EQ(ByName<TEditFormControlObj>(u"c")->Edit()->maxLength(), unlimited);
  EXPECT_EQ(ByName<TEditFormControlObj>(u"p")->Edit()->PasswordChar(), u'*');
  EXPECT_TRUE(ByName<TEditFormControlObj>(u"r")->Edit()->ReadOnly());
}

TEST_F(Forms, ButtonsTakeTheirCaptions) {
  Load(u"<form><input type=submit name=s><input type=reset name=r><input type=button name=b>"
       u"<input type=file name=f value=ignored><input type=submit name=v value='A much longer caption'></form>");
  auto cap = [&](const char16_t* n) { return ByName<TButtonFormControlObj>(n)->Button()->Caption(); };
  EXPECT_EQ(cap(u"s"), u"Submit");
  EXPECT_EQ(cap(u"r"), u"Reset");
  EXPECT_EQ(cap(u"b"), u"Button");
  EXPECT_EQ(cap(u"f"), u"Browse...");
  EXPECT_TRUE(ByName<TButtonFormControlObj>(u"f")->Value.empty());
  EXPECT_GT(ByName<TButtonFormControlObj>(u"v")->Width(), ByName<TButtonFormControlObj>(u"s")->Width());
}

TEST_F(Forms, AFileInputIsAnEditWithItsBrowseButton) {
  Load(u"<form><input type=file name=f id=fid value=old.txt tabindex=2><input name=after value=1></form>");
  Listen();
  auto* edit = ByName<TEditFormControlObj>(u"f");
  auto* browse = ByName<TButtonFormControlObj>(u"f");
  ASSERT_TRUE(edit && browse);
  EXPECT_EQ(browse->Which, TButtonFormControlObj::Browse);
  EXPECT_EQ(browse->Button()->Caption(), u"Browse...");
  EXPECT_EQ(browse->MyEdit, edit);
  EXPECT_EQ(doc->IdentifierList.Find(u"fid"), edit) << "the identifier stays with the edit";
  EXPECT_EQ(doc->TabIndexList.size(), 1u) << "only the edit takes the tab index";
  EXPECT_EQ(edit->MyForm->ControlList.size(), 3u);
  browse->Button()->click();  // no handler: nothing happens
  EXPECT_EQ(edit->Edit()->Text(), u"old.txt");
  std::u16string seen;
  Events().OnFileBrowse = [&](TFormControlObj* o, std::u16string& name) {
    seen = name;
    EXPECT_EQ(o, edit);
    name = u"chosen.txt";
  };
  browse->Button()->click();
  Events().OnFileBrowse = nullptr;
  EXPECT_EQ(seen, u"old.txt");
  EXPECT_EQ(edit->Edit()->Text(), u"chosen.txt");
  edit->MyForm->SubmitTheForm(u"");
  Deliver();
  EXPECT_EQ(last, (Pairs{u"f=chosen.txt", u"after=1"})) << "the edit's text goes, the button adds nothing";
}

TEST_F(Forms, AFileInputTakesTwoPlacesInItsLine) {
  Load(u"<form><input type=file name=f disabled></form>");
  ASSERT_EQ(doc->FormControls.size(), 2u);
  for (auto& c : doc->FormControls) {
    TFormControlObj* f = c.get();
    EXPECT_TRUE(f->Disabled);
    EXPECT_FALSE(f->GetControl()->isEnabled());
    EXPECT_GT(f->Width(), 10);
  }
}

TEST_F(Forms, ControlsStartOffTheVisiblePanel) {
  Load(u"<form><input name=a><input type=checkbox name=b><input type=radio name=c></form>");
  for (auto& c : doc->FormControls) {
    TFormControlObj* f = c.get();
    EXPECT_EQ(f->GetControl()->parentWidget(), panel.get());
    EXPECT_EQ(f->Left(), -4000);
  }
  auto* b = ByName<TCheckBoxFormControlObj>(u"b");
  EXPECT_EQ(b->Width(), std::max(13, b->CheckBox()->style()->pixelMetric(QStyle::PM_IndicatorWidth)));
}

TEST_F(Forms, RadioSizeFollowsTheScreen) {
  for (int ppi : {96, 120}) {
    Events().PixelsPerInch = ppi;
    Load(u"<form><input type=radio name=r></form>");
    auto* r = All<TRadioButtonFormControlObj>()[0];
    const QStyle* style = r->RadioButton()->style();
    EXPECT_EQ(r->Width(), std::max(ppi > 100 ? 16 : 13, style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth)));
    EXPECT_EQ(r->Height(), std::max(ppi > 100 ? 16 : 14, style->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight)));
  }
  Events().PixelsPerInch = 0;
}

// Check boxes, radio buttons and buttons show themselves whole: the rows and columns of ink of a
// check box's or radio button's indicator (its frame too), or of a button's caption, are those
// of the same control made larger, at both screen densities, with fonts of several sizes.
TEST_F(Forms, ChecksRadiosAndButtonsShowThemselvesWhole) {
  const std::u16string fonts[] = {u"", u"font: 9px 'Times New Roman'", u"font: 16px Arial", u"font: 24px 'Courier New'",
                                  u"font: 36px Tahoma"};
  for (int ppi : {96, 120}) {
    Events().PixelsPerInch = ppi;
    for (const std::u16string& font : fonts) {
      Load(u"<form style=\"" + font + u"\"><input type=checkbox name=c><input type=checkbox name=d checked>"
           u"<input type=radio name=r><input type=radio name=s checked><input type=submit value='Go gjpqy'>"
           u"<input type=reset><input type=button value=W><input type=file name=f></form>");
      LayOut(*doc, QtTextMeasurer(), 700);
      for (auto& control : doc->FormControls) {
        QWidget& w = *control->GetControl();
        const bool checkable = dynamic_cast<TCheckableFormControlObj*>(control.get()) != nullptr;
        if (!checkable && !dynamic_cast<TButtonFormControlObj*>(control.get())) continue;
        SCOPED_TRACE(testing::Message() << ppi << " ppi, " << QString::fromStdU16String(font).toStdString() << ", "
                                        << w.metaObject()->className() << " " << control->Width() << "x"
                                        << control->Height());
        ASSERT_EQ(w.size(), QSize(control->Width(), control->Height()));
        // An indicator's frame is lighter than text; the panel behind it lighter still.
        const int dark = checkable ? 200 : 96;
        auto ink = [&](bool columns) { return InkLines(Rendered(w), w.rect(), columns, dark); };
        const int rows = ink(false), columns = ink(true);
        EXPECT_GT(rows, 0);
        w.resize(control->Width() + 30, control->Height() + 30);
        EXPECT_EQ(ink(false), rows);
        EXPECT_EQ(ink(true), columns);
      }
    }
  }
  Events().PixelsPerInch = 0;
}

TEST_F(Forms, TabIndexOrdersTheControls) {
  Load(u"<form><input name=a tabindex=3><input name=b tabindex=1><input name=c tabindex=9999999>"
       u"<input name=d tabindex=0></form>");
  std::vector<std::string> keys;
  for (auto& [key, fn] : doc->TabIndexList) keys.push_back(QString::fromStdU16String(key).toStdString());
  EXPECT_EQ(keys, (std::vector<std::string>{"00001001", "00003000", "99999002"}));
}

// A red picture 20 x 10 for "red.png", an awaited one for "later.png", nothing else.
std::shared_ptr<TDocImage> LoadTestImage(const std::u16string& name, bool& pending) {
  pending = name == u"later.png";
  if (name != u"red.png") return nullptr;
  auto image = std::make_shared<TDocImage>();
  image->Image = QImage(20, 10, QImage::Format_ARGB32);
  image->Image.fill(Qt::red);
  return image;
}

TEST_F(Forms, ImageInputsShowTheirPicture) {
  imageLoader = LoadTestImage;
  struct Case {
    const char16_t* src;
    bool pending;
    QImage expected;
  };
  QImage red(20, 10, QImage::Format_ARGB32);
  red.fill(Qt::red);
  const Case cases[] = {
      {u"red.png", false, red}, {u"later.png", true, DefBitMap()}, {u"gone.png", false, ErrorBitmap()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(QString::fromStdU16String(c.src).toStdString());
    Load(u"<form><input type=image name=n src=" + std::u16string(c.src) + u"></form>");
    auto* image = All<TImageFormControlObj>().at(0);
    EXPECT_EQ(image->Pending(), c.pending);
    EXPECT_EQ(image->Picture().convertToFormat(QImage::Format_ARGB32),
              c.expected.convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(image->Width(), c.expected.width()) << "without WIDTH the picture's own size";
    EXPECT_EQ(image->Height(), c.expected.height());
    bool awaited = false;
    for (const auto& [name, who] : doc->PendingImages) awaited |= who == image;
    EXPECT_EQ(awaited, c.pending);
  }
  // Two inputs awaiting one name ask for it once.
  int asked = 0;
  imageLoader = [&asked](const std::u16string& name, bool& pending) {
    ++asked;
    return LoadTestImage(name, pending);
  };
  Load(u"<form><input type=image src=later.png><input type=image src=later.png></form>");
  EXPECT_EQ(asked, 1);
  for (auto* i : All<TImageFormControlObj>()) EXPECT_TRUE(i->Pending());
  imageLoader = LoadTestImage;
  // The awaited image arrives.
  Load(u"<form><input type=image name=n src=later.png width=20 height=10></form>");
  auto* image = All<TImageFormControlObj>().at(0);
  bool pending = false;
  image->ImageArrived(LoadTestImage(u"red.png", pending));
  EXPECT_FALSE(image->Pending());
  EXPECT_EQ(image->Picture().pixelColor(5, 5), QColor(Qt::red));
}

TEST_F(Forms, ImageInputsDrawOnScreenAndWhenPrinting) {
  imageLoader = LoadTestImage;
  Load(u"<form><input type=image name=n src=red.png width=40 height=30></form>");
  Listen();
  auto* image = All<TImageFormControlObj>().at(0);
  QWidget* picture = image->PictureWindow();
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->parentWidget(), panel.get());
  EXPECT_EQ(picture->x(), -4000) << "off screen until placed";
  EXPECT_EQ(picture->size(), QSize(40, 30)) << "stretched to WIDTH and HEIGHT";
  image->Show(15, 25);
  EXPECT_EQ(picture->pos(), QPoint(15, 25));
  EXPECT_EQ(image->GetControl()->x(), -4000) << "the focus button stays away";
  const QImage shot = picture->grab().toImage();
  EXPECT_EQ(shot.pixelColor(35, 25), QColor(Qt::red));
  image->MoveOff();
  EXPECT_EQ(picture->x(), -4000);

  const QImage page = Printed(*image, 100, 80, 10, 20);
  EXPECT_EQ(page.pixelColor(10, 20), QColor(Qt::red));
  EXPECT_EQ(page.pixelColor(49, 49), QColor(Qt::red));
  EXPECT_EQ(page.pixelColor(50, 50), QColor(Qt::white)) << "nothing beyond the box";
  EXPECT_EQ(page.pixelColor(9, 19), QColor(Qt::white));

  // A press on the picture is the click, at its point.
  image->Show(0, 0);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(12, 8), picture->mapToGlobal(QPointF(12, 8)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(picture, &press);
  Deliver();
  EXPECT_EQ(submits, 1);
  EXPECT_EQ(last, (Pairs{u"n.x=12", u"n.y=8"}));
}

TEST_F(Forms, ThePagePlacesAndPrintsTheImageInput) {
  imageLoader = LoadTestImage;
  Load(u"<p>before <input type=image name=n src=red.png width=30 height=20> after");
  auto* image = All<TImageFormControlObj>().at(0);
  QImage page(300, 120, QImage::Format_RGB32);
  auto paint = [&](bool printing) {
    page.fill(Qt::white);
    TCanvas canvas(&page);
    int scroll = 0;
    doc->DoLayout(canvas, 0, 300, 400, scroll);
    doc->Printing = printing;
    doc->PageBottom = 10000;
    doc->Draw(canvas, {0, 0, 300, 120}, 300, 0, 0, 0);
    canvas.Release();
    int red = 0;
    for (int y = 0; y < page.height(); ++y)
      for (int x = 0; x < page.width(); ++x) red += page.pixelColor(x, y) == QColor(Qt::red);
    return red;
  };
  EXPECT_EQ(paint(true), 30 * 20) << "printing draws the picture into the page";
  EXPECT_EQ(image->PictureWindow()->x(), -4000) << "and leaves the window alone";
  EXPECT_EQ(paint(false), 0) << "on screen the window shows it";
  EXPECT_GT(image->PictureWindow()->x(), 0);
  EXPECT_TRUE(image->PictureWindow()->isVisible() || !panel->isVisible());
}

TEST_F(Forms, ImagesOffShowThePlaceholder) {
  imageLoader = LoadTestImage;
  parser.reset();
  doc = std::make_unique<ThtDocument>(nullptr, panel.get());
  doc->ShowImages = false;
  doc->ImageLoader = imageLoader;
  buffer = std::make_unique<TBuffer>(TBuffer::FromString(u"<form><input type=image src=red.png></form>", u"page"));
  parser = HtmlParseString(*doc, *buffer, {});
  auto* image = All<TImageFormControlObj>().at(0);
  EXPECT_EQ(image->Picture().size(), DefBitMap().size());
  EXPECT_FALSE(image->Pending());
}

TEST_F(Forms, TabOrderIsThePlaceInThePanelsChain) {
  Load(u"<form><input name=a><input name=b><input name=c></form>");
  auto* a = ByName<TEditFormControlObj>(u"a");
  auto* b = ByName<TEditFormControlObj>(u"b");
  auto* c = ByName<TEditFormControlObj>(u"c");
  EXPECT_EQ(std::vector<int>({a->TabOrder(), b->TabOrder(), c->TabOrder()}), std::vector<int>({0, 1, 2}));
  struct Case {
    TFormControlObj* control;
    int order;
    std::vector<int> expected;  // a, b, c
  };
  const Case cases[] = {
      {c, 0, {1, 2, 0}}, {c, 2, {0, 1, 2}}, {a, 1, {1, 0, 2}}, {b, -5, {1, 0, 2}}, {a, 99, {2, 0, 1}},
  };
  for (const Case& k : cases) {
    k.control->SetTabOrder(k.order);
    EXPECT_EQ(std::vector<int>({a->TabOrder(), b->TabOrder(), c->TabOrder()}), k.expected)
        << "moving " << QString::fromStdU16String(k.control->Name).toStdString() << " to " << k.order;
  }
  // No panel, no chain.
  ThtDocument alone(nullptr, nullptr);
  TBuffer page = TBuffer::FromString(u"<input name=z>", u"page");
  auto p = HtmlParseString(alone, page, {});
  TFormControlObj* z = alone.FormControls.at(0).get();
  EXPECT_EQ(z->TabOrder(), -1);
  z->SetTabOrder(3);
  EXPECT_EQ(z->TabOrder(), -1);
}

TEST_F(Forms, AClickedRadioTakesTheGroupsTabStop) {
  Load(u"<form><input type=radio name=r value=1 checked><input type=radio name=R value=2>"
       u"<input type=radio name=q value=3 checked></form>");
  auto radios = All<TRadioButtonFormControlObj>();
  ASSERT_EQ(radios.size(), 3u);
  EXPECT_TRUE(radios[0]->TabStop());
  EXPECT_FALSE(radios[1]->TabStop());
  radios[1]->RadioClick();
  EXPECT_FALSE(radios[0]->RadioButton()->isChecked());
  EXPECT_FALSE(radios[0]->TabStop()) << "the unchecked one gives up its focus place";
  EXPECT_TRUE(radios[1]->TabStop());
  EXPECT_TRUE(radios[2]->TabStop()) << "another group keeps its own";
}

TEST_F(Forms, ARadioChecksOnlyOnAChangeAndNotWhileTabIsDown) {
  Load(u"<form><input type=radio name=g value=1 checked onclick=one><input type=radio name=g value=2></form>");
  auto radios = All<TRadioButtonFormControlObj>();
  TFormRadioButton* second = radios[1]->RadioButton();
  int clicks = 0, changes = 0;
  Events().OnObjectClick = [&](TFormControlObj*, const std::u16string&) { ++clicks; };
  second->OnChange = [&] { ++changes; };
  auto tab = [&](QEvent::Type type) {
    QKeyEvent k(type, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(panel.get(), &k);
  };
  struct Step {
    const char* what;
    std::function<void()> act;
    bool firstChecked, secondChecked;
    int clicks, changes;
  };
  const Step steps[] = {
      {"Tab held: ignored", [&] { tab(QEvent::KeyPress); second->SetChecked(true); }, true, false, 0, 0},
      {"Tab released: checks, signals, clicks", [&] { tab(QEvent::KeyRelease); second->SetChecked(true); },
       false, true, 1, 1},
      {"unchanged: nothing", [&] { second->SetChecked(true); }, false, true, 1, 1},
      {"a user's click on the checked one: nothing", [&] { second->click(); }, false, true, 1, 1},
      {"unchecking: no click", [&] { second->SetChecked(false); }, false, false, 1, 1},
      {"clicks disabled: only the signal",
       [&] {
         second->ClicksDisabled = true;
         second->SetChecked(true);
         second->ClicksDisabled = false;
       },
       false, true, 1, 2},
      {"a user's click on the other: its group follows", [&] { radios[0]->RadioButton()->click(); }, true, false, 2, 2},
  };
  for (const Step& k : steps) {
    k.act();
    EXPECT_EQ(radios[0]->RadioButton()->Checked(), k.firstChecked) << k.what;
    EXPECT_EQ(second->Checked(), k.secondChecked) << k.what;
    EXPECT_EQ(second->isChecked(), k.secondChecked) << k.what << ": the window shows the state";
    EXPECT_EQ(second->focusPolicy() == Qt::StrongFocus, k.secondChecked) << k.what << ": a tab stop when checked";
    EXPECT_EQ(clicks, k.clicks) << k.what;
    EXPECT_EQ(changes, k.changes) << k.what;
  }
  Events().OnObjectClick = nullptr;
}

TEST_F(Forms, AFormCutShortByItsCallerStaysCurrentUntilItsEndTag) {
  struct Case {
    const char16_t* html;
    bool sameForm;
    const char16_t* action;  // of the first control's form
  } cases[] = {
      {u"<table><form action=go><tr><td><input name=a value=1></td><td><input name=b value=2></td></tr></form>"
       u"</table>",
       true, u"go"},
      {u"<input name=a></form><input name=b>", false, u""},
      {u"<table><form action=go><tr><td><input name=a></td></tr></form><tr><td><input name=b></td></tr></table>",
       false, u"go"},
  };
  for (const Case& k : cases) {
    Load(k.html);
    auto* a = ByName<TEditFormControlObj>(u"a");
    auto* b = ByName<TEditFormControlObj>(u"b");
    ASSERT_TRUE(a && b && a->MyForm && b->MyForm);
    EXPECT_EQ(a->MyForm == b->MyForm, k.sameForm) << QString::fromStdU16String(k.html).toStdString();
    EXPECT_EQ(a->MyForm->Action, k.action) << QString::fromStdU16String(k.html).toStdString();
  }
  // Return in the first edit submits the form it stands in.
  Load(cases[0].html);
  Listen();
  char16_t key = 13;
  ByName<TEditFormControlObj>(u"a")->MyForm->ControlKeyPress(ByName<TEditFormControlObj>(u"a")->Edit(), key);
  Deliver();
  EXPECT_EQ(lastHead.at(0), u"go");
  EXPECT_EQ(last, (Pairs{u"a=1", u"b=2"}));
}

TEST_F(Forms, FormDataTakesWhatWasEnteredAndPutsItBack) {
  const char16_t* page =
      u"<form><input name=t value=orig><input type=checkbox name=c checked><input type=checkbox name=d>"
      u"<input type=radio name=r value=1 checked><input type=radio name=r value=2>"
      u"<select name=m multiple><option>m1<option selected>m2<option>m3</select>"
      u"<select name=s><option>x<option>y</select><textarea name=ta>old</textarea>"
      u"<input name=t value=second></form><form><input name=other></form>";
  Load(page);
  ByName<TEditFormControlObj>(u"t")->Edit()->SetText(u"typed");
  ByName<TCheckBoxFormControlObj>(u"c")->CheckBox()->setChecked(false);
  ByName<TCheckBoxFormControlObj>(u"d")->CheckBox()->setChecked(true);
  All<TRadioButtonFormControlObj>()[1]->RadioButton()->click();
  auto* m = ByName<TListBoxFormControlObj>(u"m");
  m->ListBox()->item(0)->setSelected(true);
  m->ListBox()->item(1)->setSelected(false);
  m->ListBox()->item(2)->setSelected(true);
  ByName<TComboFormControlObj>(u"s")->ComboBox()->SetItemIndex(1);
  ByName<TTextAreaFormControlObj>(u"ta")->Memo()->SetText(u"new\r\ntext");
  const Pairs entered = FormList()[0]->GetFormSubmission();
  std::unique_ptr<TFormData> data = doc->GetFormData();
  ASSERT_TRUE(data);
  EXPECT_EQ(data->size(), 2u);
  // The same page again, as coming back to it through the history.
  Load(page);
  EXPECT_NE(FormList()[0]->GetFormSubmission(), entered);
  doc->SetFormData(*data);
  EXPECT_EQ(FormList()[0]->GetFormSubmission(), entered);
  EXPECT_EQ(All<TEditFormControlObj>().back()->Name, u"other");
  // A page that changed meanwhile keeps its own values.
  Load(u"<form><input name=t value=orig></form>");
  doc->SetFormData(*data);
  EXPECT_EQ(FormList()[0]->GetFormSubmission(), Pairs{u"t=orig"});
  Load(u"<p>no forms</p>");
  EXPECT_EQ(doc->GetFormData(), nullptr);
}

// Dark pixels in the bitmap's image inside and outside a rectangle.
std::pair<int, int> DarkPixels(const QImage& img, const QRect& r) {
  int in = 0, out = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (qGray(img.pixel(x, y)) < 100) (r.contains(x, y) ? in : out)++;
  return {in, out};
}

TEST_F(Forms, PrintingDrawsTheControls) {
  Load(u"<form><input name=a value='WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW' size=5>"
       u"<input type=checkbox name=c checked><input type=checkbox name=d></form>");
  auto* a = ByName<TEditFormControlObj>(u"a");
  {
    const QImage img = Printed(*a, 300, 80);
    const auto [in, out] = DarkPixels(img, QRect(10, 10, a->Width(), a->Height()));
    EXPECT_GT(in, 20) << "the text is drawn";
    EXPECT_EQ(out, 0) << "and stays inside the frame";
  }
  for (const char16_t* name : {u"c", u"d"}) {
    auto* c = ByName<TCheckBoxFormControlObj>(name);
    const QImage img = Printed(*c, 40, 40);
    const int middle = 10 + c->Height() / 2;
    const bool mark = qGray(img.pixel(10 + 4, middle + 1)) < 100 || qGray(img.pixel(10 + 5, middle + 2)) < 100;
    EXPECT_EQ(mark, c->CheckBox()->isChecked());
  }
}

TEST_F(Forms, ControlsGoWithTheDocument) {
  Load(u"<form><input name=a id=x></form>");
  EXPECT_NE(doc->IdentifierList.Find(u"x"), nullptr);
  QPointer<QWidget> w = ByName<TEditFormControlObj>(u"a")->GetControl();
  doc.reset();
  EXPECT_TRUE(w.isNull());
  EXPECT_TRUE(panel->findChildren<QLineEdit*>().isEmpty());
}

TEST_F(Forms, APanelFreedBeforeItsDocumentLeavesNothingBehind) {
  Load(u"<form><input name=a><select name=s><option>x</select><textarea name=t></textarea></form>"
       u"<a href=x.html>link</a>");
  panel.reset();
  doc.reset();
  SUCCEED();
}

TEST_F(Forms, AMonochromePrinterGetsAFramedCaption) {
  Load(u"<form><input type=submit value=WWWW></form>");
  auto* b = All<TButtonFormControlObj>()[0];
  for (bool mono : {true, false}) {
    Events().MonochromePrinter = mono;
    const QImage img = Printed(*b, b->Width() + 20, b->Height() + 20);
    const auto [in, out] = DarkPixels(img, QRect(10, 10, b->Width(), b->Height()));
    EXPECT_GT(in, 20) << mono;
    EXPECT_EQ(out, 0) << mono;
    EXPECT_LT(qGray(img.pixel(10, 10)), 100 + (mono ? 0 : 156)) << "the frame's corner";
  }
  Events().MonochromePrinter = false;
}

TEST_F(Forms, ASubmissionPendingWhenThePageGoesIsDropped) {
  Load(u"<form><input name=a value=1></form>");
  Listen();
  All<TEditFormControlObj>()[0]->MyForm->SubmitTheForm(u"");
  doc.reset();
  Deliver();
  EXPECT_EQ(submits, 0);
}

}  // namespace

namespace {

// The viewer as the controls see it.
class TFakeViewer : public THtmlViewBase {
public:
  std::u16string HtmlExpandFilename(const std::u16string& f) override { return f; }
  bool ShowFocusRect() override { return true; }
  void ControlMouseMove(QObject* sender, unsigned, int x, int y) override {
    moves.push_back({sender, x, y});
  }
  void htProgress(int) override {}
  void ScrollFocusInto(int y, int h) override { scrolled = {y, h}; }
  struct Move {
    QObject* sender;
    int x, y;
  };
  std::vector<Move> moves;
  std::pair<int, int> scrolled{-1, -1};
};

TEST(FormsViewer, MouseMovesAndFocusReachTheViewer) {
  EnsureGuiApp();
  TFakeViewer viewer;
  QWidget panel;
  ThtDocument doc(&viewer, &panel);
  SetTestFonts(doc);
  TBuffer buffer = TBuffer::FromString(u"<form><input name=a><textarea name=t></textarea></form>", u"page");
  auto parser = HtmlParseString(doc, buffer, {});
  auto* edit = dynamic_cast<TEditFormControlObj*>(doc.FormControls.at(0).get());
  auto* memo = dynamic_cast<TTextAreaFormControlObj*>(doc.FormControls.at(1).get());
  ASSERT_TRUE(edit && memo);
  QMouseEvent move(QEvent::MouseMove, QPointF(3, 4), QPointF(3, 4), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(edit->Edit(), &move);
  QMouseEvent move2(QEvent::MouseMove, QPointF(5, 6), QPointF(5, 6), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(memo->Memo()->viewport(), &move2);
  ASSERT_EQ(viewer.moves.size(), 2u);
  EXPECT_EQ(viewer.moves[0].sender, edit->Edit());
  EXPECT_EQ(viewer.moves[0].x, 3);
  EXPECT_EQ(viewer.moves[1].sender, memo->Memo());
  EXPECT_EQ(viewer.moves[1].x, 5 + memo->Memo()->viewport()->x()) << "a move over the viewport, in the memo's terms";
  edit->YValue = 120;
  edit->EnterEvent();
  EXPECT_EQ(viewer.scrolled, std::make_pair(120, edit->Height()));
}

TEST(FormsViewer, TabIndexBecomesAFocusChain) {
  EnsureGuiApp();
  QWidget panel;
  ThtDocument doc(nullptr, &panel);
  SetTestFonts(doc);
  TBuffer buffer =
      TBuffer::FromString(u"<form><input name=a tabindex=3><input name=b><input name=c tabindex=1></form>", u"page");
  auto parser = HtmlParseString(doc, buffer, {});
  QImage sink(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&sink);
  int width = 0;
  doc.DoLayout(canvas, 0, 400, 400, width);
  QWidget* a = doc.FormControls.at(0)->GetControl();
  QWidget* c = doc.FormControls.at(2)->GetControl();
  EXPECT_EQ(c->nextInFocusChain(), a) << "tab index 1 leads to tab index 3";
}

}  // namespace
