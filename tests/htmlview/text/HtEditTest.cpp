// The form controls' edit box selects all its text on Ctrl+A, and only on Ctrl+A.
#include <QApplication>
#include <QKeyEvent>
#include <gtest/gtest.h>

#include "htmlview/text/HtmlGlobals.h"
#include "tests/htmlview/GuiApp.h"

TEST(HtEdit, CtrlASelectsAllAndNothingElseDoes) {
  EnsureGuiApp();
  const struct {
    Qt::KeyboardModifiers modifiers;
    bool selectsAll;
  } cases[] = {
      {Qt::ControlModifier, true},
      {Qt::ControlModifier | Qt::ShiftModifier, false},
      {Qt::ControlModifier | Qt::AltModifier, false},
  };
  for (const auto& c : cases) {
    htmlview::ThtEdit edit;
    edit.SetText(u"caf\u00E9 \U0001F600");
    edit.SetSelStart(2);
    edit.SetSelLength(0);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, c.modifiers);
    QApplication::sendEvent(&edit, &press);
    EXPECT_EQ(edit.SelLength() == 7, c.selectsAll) << c.modifiers.toInt();
  }
}
