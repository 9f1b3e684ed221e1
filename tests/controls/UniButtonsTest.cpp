// Wide buttons and the glyph push button on real widgets offscreen.
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <functional>
#include <tuple>
#include <typeinfo>

#include "tests/controls/ControlsTest.h"
#include "unicode/gui/UniButtons.h"
#include "unicode/gui/UniControls.h"

namespace {

using controlstest::ControlsTest;
using controlstest::Render;

TColor Pixel(const QImage& image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  return RGB(qRed(p), qGreen(p), qBlue(p));
}

class QmButtonTest : public ControlsTest {
protected:
  void SetUp() override {
    ControlsTest::SetUp();
    b.setGeometry(10, 10, 75, 25);
    b.show();
  }
  TUniQmButton b{form.get()};
};

TEST_F(QmButtonTest, GradientRowsFollowTheStateWithTiesToEven) {
  // (height, colour, enabled, row, colour in the middle column)
  const std::tuple<int, TColor, bool, int, TColor> cases[] = {
      {25, 0xC0C0C0, true, 1, RGB(252, 252, 252)},   {25, 0xC0C0C0, true, 23, RGB(192, 192, 192)},
      {4, 0xFEFEFE, true, 1, RGB(254, 254, 254)},    {25, 0xC0C0C0, false, 1, RGB(248, 248, 248)},
      {25, 0xC0C0C0, false, 23, RGB(192, 192, 192)}, {2, 0xC0C0C0, true, 1, RGB(0x25, 0x58, 0x87)},
  };
  for (const auto& [height, color, enabled, row, expected] : cases) {
    b.resize(75, height);
    b.SetColor(color);
    b.setEnabled(enabled);
    const QImage image = Render(b);
    EXPECT_EQ(Pixel(image, 37, row), expected) << height << " " << row;
    if (height > 4) {
      EXPECT_EQ(Pixel(image, 0, height / 2), enabled ? RGB(0x25, 0x58, 0x87) : RGB(0x46, 0x8C, 0xCE));
    }
  }
}

TEST_F(QmButtonTest, DisabledCaptionIsEmbossedAndGlyphsFollowTheIndices) {
  TImageList list(8, 8);
  for (QRgb c : {qRgb(255, 0, 0), qRgb(0, 0, 255)}) {
    QImage img(8, 8, QImage::Format_RGB32);
    img.fill(c);
    list.Add(img);
  }
  b.Glyphs().SetGlyphList(&list);
  const auto center = [&] { return Pixel(Render(b), 37, 12); };
  EXPECT_EQ(center(), RGB(222, 222, 222));  // all -1: the gradient
  b.Glyphs().SetG0_Up(1);
  EXPECT_EQ(center(), RGB(0, 0, 255));
  QTest::mouseMove(&b, {5, 5});
  QTest::mousePress(&b, Qt::LeftButton, {}, {5, 5});
  EXPECT_EQ(b.State(), 2);
  EXPECT_EQ(center(), RGB(0, 0, 255));  // the up glyph in every state
  QTest::mouseRelease(&b, Qt::LeftButton, {}, {5, 5});
  b.setEnabled(false);
  EXPECT_EQ(b.State(), 3);
  EXPECT_NE(center(), RGB(0, 0, 255));  // no glyph from a list while disabled
  b.Glyphs().SetGlyphList(nullptr);
  b.SetCaption(u"Ok");
  const QImage image = Render(b);
  bool grey = false, white = false;
  for (int y = 0; y < 25; ++y)
    for (int x = 20; x < 55; ++x) {
      grey |= Pixel(image, x, y) == RGB(0x80, 0x80, 0x80);
      white |= Pixel(image, x, y) == clWhite && y > 2 && y < 22;
    }
  EXPECT_TRUE(grey && white);
}

TEST_F(QmButtonTest, MouseStatesAndClicksAndAWrappedCaption) {
  int clicks = 0;
  b.OnClick = [&](QObject*) { ++clicks; };
  std::string states;
  const QPoint inside(5, 5), outside(200, 200);
  QTest::mouseMove(&b, inside);
  QTest::mousePress(&b, Qt::LeftButton, {}, inside);
  states += char('0' + b.State());
  QTest::mouseMove(&b, outside);
  states += char('0' + b.State());
  QTest::mouseMove(&b, inside);
  states += char('0' + b.State());
  EXPECT_EQ(states, "202");
  QTest::mouseMove(&b, outside);
  QTest::mouseRelease(&b, Qt::LeftButton, {}, outside);
  EXPECT_EQ(clicks, 0);
  QTest::mouseClick(&b, Qt::LeftButton, {}, inside);
  EXPECT_EQ(clicks, 1);
  b.setFocus();
  QTest::keyClick(&b, Qt::Key_Space);
  b.click();  // what an accelerator does
  EXPECT_EQ(clicks, 1);

  b.resize(40, 60);
  b.SetCaption(u"word word word");
  const QImage image = Render(b);
  int top = 60, bottom = -1;
  for (int y = 2; y < 58; ++y)
    for (int x = 3; x < 37; ++x)
      if (qGray(image.pixel(x, y)) < 100) top = std::min(top, y), bottom = std::max(bottom, y);
  EXPECT_GT(bottom - top, 20);                    // several lines
  EXPECT_LE(std::abs((top + bottom) - 60), 4);  // centred vertically
}

TEST_F(ControlsTest, DefaultAndCancelQmButtonsAnswerTheKeyboardOnce) {
  for (auto [key, isDefault] : {std::pair{Qt::Key_Return, true}, {Qt::Key_Enter, true}, {Qt::Key_Escape, false}}) {
    QDialog dialog;
    TUniQmButton ok(&dialog);
    ok.ModalResult = 1;
    int clicks = 0;
    ok.OnClick = [&](QObject*) { ++clicks; };
    isDefault ? ok.SetDefault(true) : ok.SetCancel(true);
    int result = -1;
    QTimer::singleShot(0, &dialog, [&] {
      QTest::keyClick(&dialog, key);
      if (dialog.isVisible()) dialog.done(7);
    });
    result = dialog.exec();
    EXPECT_EQ(clicks, 1) << key;
    EXPECT_EQ(result, 1) << key;
  }
}

TEST_F(ControlsTest, AcceleratorsUseTheLastHotKey) {
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  int clicks = 0;
  {
    TUniButton button(form.get());
    button.OnClick = [&](QObject*) { ++clicks; };
    button.SetCaption(u"Save && E&xit");
    button.show();
    QTest::keyClick(form.get(), Qt::Key_S, Qt::AltModifier);
    QTest::keyClick(form.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_EQ(clicks, 1);
  }
  {
    TUniCheckBox box(form.get());
    box.SetCaption(u"Save && E&xit");
    box.show();
    QTest::keyClick(form.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_TRUE(box.isChecked() && box.hasFocus());
  }
  {
    TUniRadioButton radio(form.get());
    radio.SetCaption(u"Save && E&xit");
    radio.show();
    QTest::keyClick(form.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_TRUE(!radio.isChecked() && radio.hasFocus());
  }
}

TEST_F(ControlsTest, ACaptionGetsTheLastHotKeyWhicheverWayItArrives) {
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  TUniButton button(form.get());
  int clicks = 0;
  button.OnClick = [&](QObject*) { ++clicks; };
  button.show();
  TUniAction action;
  action.SetCaption(u"A&B&C");
  // (how the caption arrives, a key that must not click, the key that must)
  const std::tuple<std::function<void()>, Qt::Key, Qt::Key> routes[] = {
      {[&] { UniControl_SetAction(&button, &action); }, Qt::Key_B, Qt::Key_C},
      {[&] { action.SetCaption(u"X&Y&Z"); }, Qt::Key_Y, Qt::Key_Z},
      {[&] { UniControl_SetText(&button, u"D&E&F"); }, Qt::Key_E, Qt::Key_F},
      {[&] { button.setText("G&H&I"); UniControl_SetText(&button, u"G&H&I"); }, Qt::Key_H, Qt::Key_I},
  };
  for (const auto& [arrive, wrong, right] : routes) {
    arrive();
    clicks = 0;
    QTest::keyClick(form.get(), wrong, Qt::AltModifier);
    EXPECT_EQ(clicks, 0) << button.text().toStdString();
    QTest::keyClick(form.get(), right, Qt::AltModifier);
    EXPECT_EQ(clicks, 1) << button.text().toStdString();
  }
}

}  // namespace

namespace {

// A button, check box or radio button linked to an action, clicked by the mouse and the keyboard.
template <class Button>
void ExpectLinkedClicksRunTheAction(QWidget* form) {
  const char* kind = typeid(Button).name();
  Button button(form);
  button.setGeometry(10, 10, 120, 25);
  TUniAction action;
  action.SetCaption(u"&Run");
  int runs = 0, clicks = 0;
  action.OnExecute = [&](QObject* sender) { runs += sender == &action; };
  UniControl_SetAction(&button, &action);
  button.show();
  // Over the box of a check box, which alone with the caption takes a click; a click of its own
  // each time, never the second half of a double click. Each click checks the control anew (a
  // radio button already checked would run nothing).
  const auto click = [&] {
    UniControl_SetChecked(&button, false);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(8, 12), QApplication::doubleClickInterval() + 1);
  };
  // (how the click arrives, runs expected after it)
  const std::pair<std::function<void()>, int> inputs[] = {
      {click, 1},
      {[&] {
         UniControl_SetChecked(&button, false);
         button.setFocus();
         QTest::keyClick(&button, Qt::Key_Space);
       },
       2},
  };
  for (const auto& [input, expected] : inputs) {
    input();
    EXPECT_EQ(runs, expected) << kind;
  }
  // A disabled action runs nowhere, not even from a control enabled behind its back.
  action.SetEnabled(false);
  click();
  EXPECT_EQ(runs, 2) << kind;
  button.setEnabled(true);
  click();
  EXPECT_EQ(runs, 2) << kind;
  // An OnClick of the control's own comes instead of the action.
  action.SetEnabled(true);
  button.OnClick = [&](QObject*) { ++clicks; };
  click();
  EXPECT_EQ(runs, 2) << kind;
  EXPECT_EQ(clicks, 1) << kind;
}

TEST_F(ControlsTest, ALinkedButtonCheckBoxOrRadioButtonRunsItsActionOnce) {
  ExpectLinkedClicksRunTheAction<TUniButton>(form.get());
  ExpectLinkedClicksRunTheAction<TUniCheckBox>(form.get());
  ExpectLinkedClicksRunTheAction<TUniRadioButton>(form.get());
}

TEST_F(ControlsTest, ALinkedButtonsAcceleratorRunsItsAction) {
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  TUniAction action;
  action.SetCaption(u"&Go");
  int runs = 0;
  action.OnExecute = [&](QObject*) { ++runs; };
  {
    TUniButton button(form.get());
    UniControl_SetAction(&button, &action);
    button.show();
    QTest::keyClick(form.get(), Qt::Key_G, Qt::AltModifier);
    EXPECT_EQ(runs, 1);
  }
  TUniCheckBox box(form.get());
  UniControl_SetAction(&box, &action);
  box.show();
  QTest::keyClick(form.get(), Qt::Key_G, Qt::AltModifier);
  EXPECT_EQ(runs, 2);
  EXPECT_TRUE(box.isChecked());
}

}  // namespace
