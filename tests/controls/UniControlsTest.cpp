// Controls' text and hints, the application's title and hint, on real widgets offscreen.
#include <QEvent>
#include <tuple>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

#include "platform/gui/Messages.h"
#include "tests/controls/ControlsTest.h"
#include "unicode/gui/UniActnList.h"
#include "unicode/gui/UniControls.h"
#include "unicode/gui/UniForms.h"
#include "unicode/gui/UniStdActns.h"

namespace {

using controlstest::ControlsTest;

TEST(Hints, ShortAndLongPartsSplitAtTheFirstBar) {
  for (auto [hint, shortHint, longHint] :
       {std::tuple{u"Open|Opens a file", u"Open", u"Opens a file"}, {u"Open", u"Open", u"Open"}, {u"", u"", u""},
        {u"a|b|c", u"a", u"b|c"}, {u"|long", u"", u"long"}, {u"\u00D6|\U0001F4C2", u"\u00D6", u"\U0001F4C2"}}) {
    EXPECT_EQ(WideGetShortHint(hint), shortHint);
    EXPECT_EQ(WideGetLongHint(hint), longHint);
  }
}

TEST_F(ControlsTest, HintsComeFromTheControlOrItsParentsAndFollowThePointer) {
  QWidget panel(form.get());
  panel.setGeometry(0, 0, 100, 100);
  QLabel child(&panel), own(&panel);
  child.setGeometry(0, 0, 40, 40);
  own.setGeometry(50, 0, 40, 40);
  panel.show();
  UniControl_SetHint(form.get(), u"Window|The window");
  UniControl_SetHint(&own, u"Open|Opens a file");
  EXPECT_EQ(WideGetHint(&child), u"Window|The window");
  EXPECT_EQ(WideGetHint(&own), u"Open|Opens a file");
  EXPECT_EQ(WideGetHint(nullptr), u"");

  // The long hint of what the pointer is over becomes the application's hint.
  QTest::mouseMove(&own, QPoint(5, 5));
  EXPECT_EQ(UniApplication().Hint(), u"Opens a file");
  QTest::mouseMove(&child, QPoint(5, 5));
  EXPECT_EQ(UniApplication().Hint(), u"The window");
  QTest::mouseMove(&own, QPoint(5, 5));
  QTest::mouseMove(form.get(), QPoint(150, 110));  // back over the window itself
  EXPECT_EQ(UniApplication().Hint(), u"The window");

  // The short hint is the tooltip (the parent's where the control has none), with the shortcut
  // of the control's action.
  for (auto [control, tip] : {std::pair<QWidget*, QString>{&own, "Open"}, {&child, "Window"}}) {
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), control->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(control, &help);
    EXPECT_EQ(QToolTip::text(), tip);
  }
  TUniAction action;
  action.SetHint(u"Open|Opens a file");
  action.SetShortCut((Qt::CTRL | Qt::Key_O).toCombined());
  UniControl_SetAction(&own, &action);
  EXPECT_EQ(UniControl_GetTooltip(&own), u"Open (Ctrl+O)");
  EXPECT_EQ(UniControl_GetTooltip(&child), u"Window");
  QToolTip::hideText();
  UniControl_SetHint(&own, u"");
  UniControl_SetHint(form.get(), u"");
  EXPECT_EQ(UniControl_GetTooltip(&own), u"");  // no hint, no shortcut either
}

// Counts the text-change notices it is sent.
template <class Base>
class Counting : public Base {
public:
  using Base::Base;
  int changes = 0;

protected:
  void customEvent(QEvent* e) override {
    if (e->type() == TMessageEvent::MessageType() && static_cast<TMessageEvent*>(e)->Msg == CM_TEXTCHANGED) ++changes;
    Base::customEvent(e);
  }
};

TEST_F(ControlsTest, SettingTextNotifiesOncePerRealChange) {
  Counting<QLineEdit> edit(form.get());
  Counting<TGraphicControl> graphic(form.get());
  Counting<QWidget> window;
  const WideString wide = u"\u0416\U0001F600 text";
  for (QWidget* w : std::initializer_list<QWidget*>{&edit, &graphic, &window}) {
    UniControl_SetText(w, wide);
    UniControl_SetText(w, wide);
    EXPECT_EQ(UniControl_GetText(w), wide);
  }
  UniControl_SetText(&edit, u"other");
  EXPECT_EQ(edit.text(), "other");
  EXPECT_EQ(graphic.GetText(), wide);
  EXPECT_EQ(window.windowTitle().toStdU16String(), wide);
  EXPECT_EQ(edit.changes, 2);
  EXPECT_EQ(graphic.changes, 1);
  EXPECT_EQ(window.changes, 1);
}

// Qt appends its display name to every window title; the title must never become one.
TEST_F(ControlsTest, TitleIsKeptWithoutBecomingQtsDisplayName) {
  QSignalSpy spy(qGuiApp, &QGuiApplication::applicationDisplayNameChanged);
  UniApplication().SetTitle(u"Mirelcon ");
  UniApplication().SetTitle(u"Mirelcon ");
  EXPECT_EQ(UniApplication().Title(), u"Mirelcon ");
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
  EXPECT_EQ(spy.count(), 0);
}

// A status line: it shows the hints that hint actions carry to it.
class HintLine : public QLabel {
public:
  using QLabel::QLabel;
  int taken = 0;

protected:
  void customEvent(QEvent* e) override {
    auto* m = static_cast<TMessageEvent*>(e);
    if (e->type() != TMessageEvent::MessageType() || m->Msg != CM_ACTIONEXECUTE) return;
    if (auto* hint = dynamic_cast<TUniHintAction*>(reinterpret_cast<TUniAction*>(m->LParam))) {
      setText(QString::fromStdU16String(hint->Hint()));
      ++taken;
      m->Result = 1;
    }
  }
};

TEST_F(ControlsTest, TheApplicationPublishesItsWideHintThroughAHintAction) {
  QLabel control(form.get());
  control.setGeometry(0, 0, 40, 40);
  control.show();
  HintLine hidden(form.get()), first(form.get()), second(form.get());
  for (HintLine* line : {&first, &second}) {
    line->setGeometry(50, 0, 40, 20);
    line->show();
  }
  UniControl_SetHint(&control, u"Open|\u00D6ffnet \U0001F4C2");
  QTest::mouseMove(&control, QPoint(5, 5));
  // The first shown line takes it, wide and whole; a hidden one is never asked.
  EXPECT_EQ(first.text().toStdU16String(), u"\u00D6ffnet \U0001F4C2");
  EXPECT_EQ(second.taken + hidden.taken, 0);
  QTest::mouseMove(form.get(), QPoint(150, 110));
  EXPECT_EQ(first.text(), "");
  // A focused line is asked before the others; a hint that does not change is not published.
  second.setFocusPolicy(Qt::StrongFocus);
  second.setFocus();
  UniApplication().SetHint(u"again");
  UniApplication().SetHint(u"again");
  EXPECT_EQ(second.text(), "again");
  EXPECT_EQ(second.taken, 1);
  // With OnHint the application's handler takes the hint instead.
  WideString handled;
  UniApplication().OnHint = [&](QObject*) { handled = UniApplication().Hint(); };
  UniApplication().SetHint(u"handler");
  UniApplication().OnHint = nullptr;
  EXPECT_EQ(handled, u"handler");
  EXPECT_EQ(second.text(), "again");
  // A hint action with an OnExecute of its own runs that alone.
  TUniHintAction action;
  const int taken = first.taken + second.taken;
  int executed = 0;
  action.OnExecute = [&](QObject*) { ++executed; };
  EXPECT_TRUE(action.Execute());
  EXPECT_EQ(executed, 1);
  EXPECT_EQ(first.taken + second.taken, taken);
  UniApplication().SetHint(u"");
}

}  // namespace
