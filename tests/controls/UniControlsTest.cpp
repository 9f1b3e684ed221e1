// Controls' text and hints, the application's title and hint, on real widgets offscreen.
#include <QEvent>
#include <tuple>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QPainter>
#include <QToolTip>

#include "platform/gui/Messages.h"
#include "tests/controls/ControlsTest.h"
#include "unicode/gui/UniActnList.h"
#include "unicode/gui/UniControls.h"
#include "unicode/gui/UniForms.h"
#include "unicode/gui/UniStdActns.h"

namespace {

using controlstest::ControlsTest;
using controlstest::Render;

// The hint window that shows, or nullptr.
TUniCustomHintWindow* ShownHintWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* hint = dynamic_cast<TUniCustomHintWindow*>(w); hint && hint->isVisible()) return hint;
  return nullptr;
}

// Rests the pointer on control, as Qt tells a widget when the pointer has rested on it.
void RestOn(QWidget& control) {
  QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), control.mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(&control, &help);
}

// The text a hint window shows: its caption, with nothing shown when no hint window is.
WideString ShownHint() {
  const TUniCustomHintWindow* hint = ShownHintWindow();
  return hint ? hint->Caption() : u"(none)";
}

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

  // The short hint shows in the hint window (the parent's where the control has none), with the
  // shortcut of the control's action.
  for (auto [control, tip] : {std::pair<QWidget*, WideString>{&own, u"Open"}, {&child, u"Window"}}) {
    RestOn(*control);
    EXPECT_EQ(ShownHint(), tip);
  }
  TUniAction action;
  action.SetHint(u"Open|Opens a file");
  action.SetShortCut((Qt::CTRL | Qt::Key_O).toCombined());
  UniControl_SetAction(&own, &action);
  EXPECT_EQ(UniControl_GetTooltip(&own), u"Open (Ctrl+O)");
  EXPECT_EQ(UniControl_GetTooltip(&child), u"Window");
  // Whatever the user does next ends it.
  QTest::mouseClick(&child, Qt::LeftButton);
  EXPECT_EQ(ShownHintWindow(), nullptr);
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

namespace {

// The bounding box of what is drawn in area of image in another colour than its first pixel's.
QRect InkOf(const QImage& image, const QRect& area) {
  const QRgb ground = image.pixel(area.topLeft());
  QRect box;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (image.pixel(x, y) != ground) box |= QRect(x, y, 1, 1);
  return box;
}

// text as the hint's font draws it without prefixes, black on white: its ink's bounding box.
QRect ReferenceInk(const WideString& text) {
  QImage image(600, 60, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    TCanvas canvas(&image);
    canvas.Font = TFont::FromQFont(QToolTip::font(), clBlack);
    canvas.Brush.Style = bsClear;
    TRect r{0, 0, 600, 60};
    canvas.DrawText(text, r, DT_NOPREFIX | DT_WORDBREAK);
  }
  return InkOf(image, image.rect());
}

// Markup and hot-key marks are characters of the hint like any other: the window's text is the
// hint, and it draws every character of it.
TEST_F(ControlsTest, AHintShowsAsPlainTextWithoutPrefixes) {
  QLabel control(form.get());
  control.setGeometry(0, 0, 60, 30);
  control.show();
  for (const char16_t* hint : {u"Use <b>bold</b> now", u"Use <b>bold</b> if a<c then d", u"a<b and c>d",
                               u"Save && E&xit", u"x &amp; y<br>z"}) {
    UniControl_SetHint(&control, WideString(hint) + u"|long");
    RestOn(control);
    TUniCustomHintWindow* window = ShownHintWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Caption(), hint);
    const QImage image = Render(*window);
    const QRect ink = InkOf(image, image.rect().adjusted(2, 2, -2, -2));
    const QRect reference = ReferenceInk(hint);
    EXPECT_NEAR(ink.width(), reference.width(), 1) << QString::fromStdU16String(hint).toStdString();
    EXPECT_NEAR(ink.height(), reference.height(), 1) << QString::fromStdU16String(hint).toStdString();
    // The text 2 pixels into the frame, the window 6 wider than the text and 4 taller than its line.
    EXPECT_GE(ink.left(), 3);
    QTest::keyClick(&control, Qt::Key_Shift);
    EXPECT_EQ(ShownHintWindow(), nullptr);
  }
  UniControl_SetHint(&control, u"");
}

TEST_F(ControlsTest, TheHintWindowMeasuresItsTextWordWrappedInTheWidthGiven) {
  TUniCustomHintWindow window(form.get());
  const TFixedMeasurer fixed(7, 13);
  window.Measurer = &fixed;
  // (width given, hint, rectangle)
  const std::tuple<int, const char16_t*, TRect> cases[] = {
      {1000, u"word word word", {0, 0, 14 * 7 + 6, 13 + 2}},
      {60, u"word word word", {0, 0, 4 * 7 + 6, 3 * 13 + 2}},
      {1000, u"a&b <i>", {0, 0, 7 * 7 + 6, 13 + 2}},
      {1000, u"one\r\ntwo three", {0, 0, 9 * 7 + 6, 2 * 13 + 2}},
      {1000, u"", {0, 0, 6, 2}},
  };
  for (const auto& [maxWidth, hint, rect] : cases) {
    const TRect r = window.CalcHintRect(maxWidth, hint);
    EXPECT_EQ(std::tie(r.Left, r.Top, r.Right, r.Bottom), std::tie(rect.Left, rect.Top, rect.Right, rect.Bottom))
        << maxWidth << " " << QString::fromStdU16String(hint).toStdString();
  }
  // Shown, the lines stand one below the other, each within the window.
  window.Measurer = &QtTextMeasurer();
  const WideString hint = u"first line\r\nsecond line\r\nthird";
  const TRect r = window.CalcHintRect(1000, hint);
  window.ActivateHint(r, hint);
  EXPECT_EQ(window.height(), r.Height() + 4);
  const QImage image = Render(window);
  int bands = 0;
  bool inBand = false;
  for (int y = 2; y < image.height() - 2; ++y) {
    const bool ink = !InkOf(image, QRect(2, y, image.width() - 4, 1)).isEmpty();
    if (ink && !inBand) ++bands;
    inBand = ink;
  }
  EXPECT_EQ(bands, 3);
  EXPECT_EQ(InkOf(image, QRect(2, image.height() - 3, image.width() - 4, 1)), QRect());  // the last line whole
  window.hide();
}

}  // namespace
