// What the keyboard reaches on real widgets offscreen: the shortcuts that menus and actions show,
// hot keys that several controls share, radio buttons chosen again, and checked actions with the
// controls and menu items linked to them.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>
#include <QTest>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/controls/ControlsTest.h"
#include "unicode/gui/UniActnList.h"
#include "unicode/gui/UniButtons.h"
#include "unicode/gui/UniControls.h"
#include "unicode/gui/UniForms.h"
#include "unicode/gui/UniMenus.h"

namespace {

class KeysTest : public controlstest::ControlsTest {
protected:
  void SetUp() override {
    ControlsTest::SetUp();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }
  // A key as the user presses it: to the focused control, else to the window.
  void Press(int key, Qt::KeyboardModifiers modifiers) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : form.get();
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
  }
  std::map<std::string, int> runs;
  TNotifyEvent Count(const std::string& name) {
    return [this, name](QObject*) { ++runs[name]; };
  }
};

// Each shortcut a menu of the window or an action of it shows runs its item or action once per
// press; a disabled one (or one under a disabled item) runs nothing, and nor does the shortcut of
// another window's action.
TEST_F(KeysTest, AShownShortcutRunsItsItemOrActionOnce) {
  QLineEdit edit(form.get());
  edit.show();
  edit.setFocus();
  auto* menu = new TPopupMenu(form.get());
  const auto add = [&](TMenuItem* parent, const char16_t* caption, QKeyCombination key, bool enabled = true) {
    auto* item = new TUniMenuItem;
    item->SetCaption(caption);
    item->SetShortCut(key.toCombined());
    item->SetEnabled(enabled);
    item->OnClick = Count(QString::fromStdU16String(caption).toStdString());
    parent->Add(item);
    return item;
  };
  add(menu->Items(), u"&Open", Qt::CTRL | Qt::Key_O);
  add(menu->Items(), u"Off", Qt::CTRL | Qt::Key_D, false);
  TUniMenuItem* sub = add(menu->Items(), u"Sub", {});
  add(sub, u"Inner", Qt::CTRL | Qt::Key_I);
  TUniMenuItem* shut = add(menu->Items(), u"Shut", {}, false);
  add(shut, u"Under", Qt::CTRL | Qt::Key_U);
  // Actions: one linked to a button of the window and to a menu item, a disabled one, one the
  // window owns unlinked, and one of another window.
  TUniAction run, off, owned(form.get()), elsewhere;
  const std::pair<TUniAction*, QKeyCombination> keys[] = {{&run, Qt::CTRL | Qt::Key_R},
                                                          {&off, Qt::CTRL | Qt::Key_E},
                                                          {&owned, Qt::CTRL | Qt::SHIFT | Qt::Key_K},
                                                          {&elsewhere, Qt::CTRL | Qt::Key_W}};
  for (const auto& [action, key] : keys) action->SetShortCut(key.toCombined());
  run.OnExecute = Count("run");
  off.OnExecute = Count("off");
  owned.OnExecute = Count("owned");
  elsewhere.OnExecute = Count("elsewhere");
  off.SetEnabled(false);
  TUniButton button(form.get()), offButton(form.get());
  UniControl_SetAction(&button, &run);
  UniControl_SetAction(&offButton, &off);
  auto* runItem = new TUniMenuItem;
  menu->Items()->Add(runItem);
  runItem->SetAction(&run);
  QWidget other;
  TUniButton otherButton(&other);
  UniControl_SetAction(&otherButton, &elsewhere);

  // (key pressed, what has run after it)
  const std::pair<QKeyCombination, std::map<std::string, int>> steps[] = {
      {Qt::CTRL | Qt::Key_O, {{"&Open", 1}}},
      {Qt::CTRL | Qt::Key_O, {{"&Open", 2}}},
      {Qt::CTRL | Qt::Key_D, {{"&Open", 2}}},
      {Qt::CTRL | Qt::Key_I, {{"&Open", 2}, {"Inner", 1}}},
      {Qt::CTRL | Qt::Key_U, {{"&Open", 2}, {"Inner", 1}}},
      {Qt::CTRL | Qt::Key_R, {{"&Open", 2}, {"Inner", 1}, {"run", 1}}},
      {Qt::CTRL | Qt::Key_E, {{"&Open", 2}, {"Inner", 1}, {"run", 1}}},
      {Qt::CTRL | Qt::SHIFT | Qt::Key_K, {{"&Open", 2}, {"Inner", 1}, {"run", 1}, {"owned", 1}}},
      {Qt::CTRL | Qt::Key_W, {{"&Open", 2}, {"Inner", 1}, {"run", 1}, {"owned", 1}}},
  };
  int step = 0;
  for (const auto& [key, after] : steps) {
    Press(key.key(), key.keyboardModifiers());
    EXPECT_EQ(runs, after) << "step " << step;
    ++step;
  }
  EXPECT_EQ(edit.text(), "");
  // Enabled again, they run.
  off.SetEnabled(true);
  Press(Qt::Key_E, Qt::ControlModifier);
  EXPECT_EQ(runs["off"], 1);
}

// Two controls share a hot key: every press goes to the first of them in the tab order, or to
// the one that has the focus; never to each in turn.
TEST_F(KeysTest, AHotKeyGoesToTheSameControlEveryTime) {
  QLineEdit edit(form.get());
  edit.setObjectName("edit");
  edit.show();
  struct Case {
    const char* name;
    // Makes the two controls (children of form, the first before the second in the tab order),
    // logging into log what each does.
    std::function<std::pair<QWidget*, QWidget*>(QWidget* form, std::string& log)> make;
    bool focusSecond;
    Qt::Key key;           // pressed with Alt
    const char* expected;  // per press: what ran, "@", and where the focus is
  };
  const auto buttons = [](QWidget* f, std::string& log) -> std::pair<QWidget*, QWidget*> {
    auto* save = new TUniButton(f);
    auto* send = new TUniButton(f);
    save->SetCaption(u"&Save");
    send->SetCaption(u"&Send");
    save->OnClick = [&log](QObject*) { log += "save"; };
    send->OnClick = [&log](QObject*) { log += "send"; };
    return {save, send};
  };
  const Case cases[] = {
      {"buttons", buttons, false, Qt::Key_S, "save@edit save@edit save@edit save@edit "},
      {"buttons, the second focused", buttons, true, Qt::Key_S, "send@2 send@2 send@2 send@2 "},
      {"check boxes",
       [](QWidget* f, std::string& log) -> std::pair<QWidget*, QWidget*> {
         auto* a = new TUniCheckBox(f);
         auto* b = new TUniCheckBox(f);
         a->SetCaption(u"&Strict");
         b->SetCaption(u"Case &sensitive");
         a->OnClick = [&log](QObject*) { log += "strict"; };
         b->OnClick = [&log](QObject*) { log += "case"; };
         return {a, b};
       },
       false, Qt::Key_S, "strict@1 strict@1 strict@1 strict@1 "},
      {"radio buttons",
       [](QWidget* f, std::string&) -> std::pair<QWidget*, QWidget*> {
         auto* a = new TUniRadioButton(f);
         auto* b = new TUniRadioButton(f);
         a->SetCaption(u"&Red");
         b->SetCaption(u"&Rose");
         return {a, b};
       },
       false, Qt::Key_R, "@1 @1 @1 @1 "},
      {"a label with its control, then a button",
       [](QWidget* f, std::string& log) -> std::pair<QWidget*, QWidget*> {
         auto* label = new QLabel(QStringLiteral("&Name"), f);
         auto* name = new QLineEdit(f);
         name->setObjectName("name");
         label->setBuddy(name);
         auto* next = new TUniButton(f);
         next->SetCaption(u"&Next");
         next->OnClick = [&log](QObject*) { log += "next"; };
         return {label, next};
       },
       false, Qt::Key_N, "@name @name @name @name "},
      {"a group box, then a button",
       [](QWidget* f, std::string& log) -> std::pair<QWidget*, QWidget*> {
         auto* box = new QGroupBox(QStringLiteral("&Options"), f);
         box->setCheckable(true);
         QObject::connect(box, &QGroupBox::toggled, box, [&log](bool on) { log += on ? "on" : "off"; });
         auto* ok = new TUniButton(f);
         ok->SetCaption(u"&OK");
         ok->OnClick = [&log](QObject*) { log += "ok"; };
         return {box, ok};
       },
       false, Qt::Key_O, "off@1 on@1 off@1 on@1 "},
  };
  for (const Case& c : cases) {
    std::string log;
    const QList<QWidget*> before = form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    auto [first, second] = c.make(form.get(), log);
    first->setObjectName("1");
    second->setObjectName("2");
    QList<QWidget*> made;
    for (QWidget* w : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (!before.contains(w)) made.push_back(w);
    for (QWidget* w : made) {
      w->setGeometry(10, 40, 100, 25);
      w->show();
    }
    QWidget::setTabOrder(&edit, first);
    (c.focusSecond ? second : static_cast<QWidget*>(&edit))->setFocus();
    for (int i = 0; i < 4; ++i) {
      Press(c.key, Qt::AltModifier);
      const QWidget* focus = QApplication::focusWidget();
      log += "@" + (focus ? focus->objectName().toStdString() : std::string()) + " ";
    }
    EXPECT_EQ(log, c.expected) << c.name;
    qDeleteAll(made);
  }
}

// A click or Space on the radio button already chosen changes nothing and runs nothing; choosing
// it anew runs its OnClick or action once.
TEST_F(KeysTest, ARadioButtonRunsOnlyWhenItBecomesChosen) {
  for (bool linked : {false, true}) {
    TUniRadioButton a(form.get()), b(form.get());
    a.setGeometry(10, 10, 100, 25);
    b.setGeometry(10, 40, 100, 25);
    a.show();
    b.show();
    TUniAction action;
    action.OnExecute = Count("action");
    if (linked)
      UniControl_SetAction(&a, &action);
    else
      a.OnClick = Count("click");
    const std::string counted = linked ? "action" : "click";
    runs.clear();
    const auto click = [](QWidget& w) {
      QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(8, 12), QApplication::doubleClickInterval() + 1);
    };
    // (what the user does, runs after it)
    const std::pair<std::function<void()>, int> steps[] = {
        {[&] { click(a); }, 1},
        {[&] { click(a); }, 1},
        {[&] { a.setFocus(); Press(Qt::Key_Space, {}); }, 1},
        {[&] { click(b); }, 1},
        {[&] { a.setFocus(); Press(Qt::Key_Space, {}); }, 2},
        {[&] { Press(Qt::Key_Space, {}); }, 2},
    };
    int step = 0;
    for (const auto& [act, expected] : steps) {
      act();
      EXPECT_EQ(runs[counted], expected) << counted << " step " << step;
      ++step;
    }
  }
}

// An action's checked state reaches its linked check boxes, radio buttons and menu items, and a
// click on one of them checks or unchecks the action; an action of a group unchecks the others.
TEST_F(KeysTest, CheckedActionsAndTheirClientsFollowEachOther) {
  TUniAction bold(form.get()), left(form.get()), right(form.get());
  bold.SetCaption(u"&Bold");
  left.SetCaption(u"&Left");
  right.SetCaption(u"&Right");
  left.SetGroupIndex(1);
  right.SetGroupIndex(1);
  right.SetAutoCheck(true);
  TUniCheckBox boldBox(form.get());
  TUniRadioButton leftRadio(form.get());
  TUniCheckBox rightBox(form.get());
  boldBox.setGeometry(10, 10, 100, 25);
  leftRadio.setGeometry(10, 40, 100, 25);
  rightBox.setGeometry(10, 70, 100, 25);
  UniControl_SetAction(&boldBox, &bold);
  UniControl_SetAction(&leftRadio, &left);
  UniControl_SetAction(&rightBox, &right);
  TPopupMenu menu(form.get());
  auto* boldItem = new TUniMenuItem;
  auto* leftItem = new TUniMenuItem;
  auto* rightItem = new TUniMenuItem;
  for (TUniMenuItem* item : {boldItem, leftItem, rightItem}) menu.Items()->Add(item);
  boldItem->SetAction(&bold);
  leftItem->SetAction(&left);
  rightItem->SetAction(&right);
  for (QWidget* w : std::initializer_list<QWidget*>{&boldBox, &leftRadio, &rightBox}) w->show();
  const auto click = [](QWidget& w) {
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(8, 12), QApplication::doubleClickInterval() + 1);
  };
  // What shows checked: actions, controls, menu entries, in the order bold, left, right.
  const auto state = [&] {
    std::string s;
    for (const TUniAction* a : {&bold, &left, &right}) s += a->Checked() ? 'A' : '-';
    s += ' ';
    for (const QAbstractButton* b : std::initializer_list<const QAbstractButton*>{&boldBox, &leftRadio, &rightBox})
      s += b->isChecked() ? 'C' : '-';
    s += ' ';
    for (const TUniMenuItem* item : {boldItem, leftItem, rightItem})
      s += item->MenuAction()->isChecked() ? 'M' : '-';
    return s;
  };
  // (what happens, what shows checked after it)
  const std::pair<std::function<void()>, std::string> steps[] = {
      {[&] { bold.SetChecked(true); }, "A-- C-- M--"},
      {[&] { click(boldBox); }, "--- --- ---"},
      {[&] { click(boldBox); }, "A-- C-- M--"},
      {[&] { click(leftRadio); }, "AA- CC- MM-"},
      // An action that checks itself as it runs, from its menu item: its group's other goes off.
      {[&] { rightItem->MenuAction()->trigger(); }, "A-A C-C M-M"},
      // Run again, a checked action of a group stays checked.
      {[&] { right.Execute(); }, "A-A C-C M-M"},
      {[&] { click(rightBox); }, "A-A C-C M-M"},
      {[&] { left.SetChecked(true); }, "AA- CC- MM-"},
      // The bold action runs from its menu item without checking itself: nothing changes.
      {[&] { boldItem->MenuAction()->trigger(); }, "AA- CC- MM-"},
  };
  int step = 0;
  for (const auto& [act, expected] : steps) {
    act();
    EXPECT_EQ(state(), expected) << "step " << step;
    ++step;
  }
  // A control linked afterwards takes the checked state; assigning carries it with the group.
  TUniCheckBox late(form.get());
  UniControl_SetAction(&late, &bold);
  EXPECT_TRUE(late.isChecked());
  TUniAction copy(form.get());
  UniAction_Assign(&copy, right);
  EXPECT_EQ(copy.GroupIndex(), 1);
  EXPECT_TRUE(copy.AutoCheck());
  EXPECT_FALSE(copy.Checked());
  // Actions of no owner make no group: checking one leaves another checked.
  TUniAction loose1, loose2;
  for (TUniAction* a : {&loose1, &loose2}) {
    a->SetGroupIndex(1);
    a->SetChecked(true);
  }
  EXPECT_TRUE(loose1.Checked());
  EXPECT_TRUE(right.Checked() != left.Checked());
}

}  // namespace

namespace {

// The application's hint is the long hint of the menu entry highlighted now, or empty when none
// is, however the highlight moves: over a disabled item or a separator, as a submenu opens under
// the pointer, and back from a submenu with Left.
TEST_F(KeysTest, TheHintFollowsTheMenusHighlight) {
  TPopupMenu menu(form.get());
  const auto add = [](TMenuItem* parent, const char16_t* caption, const char16_t* hint, bool enabled = true) {
    auto* item = new TUniMenuItem;
    item->SetCaption(caption);
    item->SetHint(hint);
    item->SetEnabled(enabled);
    parent->Add(item);
    return item;
  };
  TUniMenuItem* a = add(menu.Items(), u"A", u"A|LongA");
  TUniMenuItem* off = add(menu.Items(), u"Off", u"Off|LongOff", false);
  TUniMenuItem* separator = add(menu.Items(), u"-", u"");
  TUniMenuItem* c = add(menu.Items(), u"C", u"C|LongC");
  TUniMenuItem* sub = add(menu.Items(), u"Sub", u"Sub|LongSub");
  TUniMenuItem* inner = add(sub, u"Inner", u"Inner|LongInner");
  QMenu* shown = menu.Menu();
  UniApplication().SetHint({});
  menu.Popup(form->mapToGlobal(QPoint(10, 10)).x(), form->mapToGlobal(QPoint(10, 10)).y());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(shown));
  const auto over = [&](TMenuItem* item) {
    QTest::mouseMove(shown, shown->actionGeometry(item->MenuAction()).center());
    QCoreApplication::processEvents();
  };
  const auto key = [&](Qt::Key k) {
    QTest::keyClick(QApplication::activePopupWidget(), k);
    QCoreApplication::processEvents();
  };
  // (what the user does, the hint after it)
  const std::pair<std::function<void()>, WideString> steps[] = {
      {[&] { over(a); }, u"LongA"},
      {[&] { over(off); }, u""},
      {[&] { over(c); }, u"LongC"},
      {[&] { over(separator); }, u""},
      {[&] { over(sub); }, u"LongSub"},
      // The submenu opens under the pointer: the menu's window has the pointer leave it.
      {[&] {
         QTest::qWait(shown->style()->styleHint(QStyle::SH_Menu_SubMenuPopupDelay, nullptr, shown) + 100);
         QEvent leave(QEvent::Leave);
         QCoreApplication::sendEvent(shown, &leave);
         QCoreApplication::processEvents();
       },
       u"LongSub"},
      {[&] {
         QMenu* subMenu = sub->MenuAction()->menu();
         QTest::mouseMove(subMenu, subMenu->actionGeometry(inner->MenuAction()).center());
         QCoreApplication::processEvents();
       },
       u"LongInner"},
      {[&] { key(Qt::Key_Left); }, u"LongSub"},
      {[&] { key(Qt::Key_Escape); }, u""},
  };
  int step = 0;
  for (const auto& [act, hint] : steps) {
    act();
    EXPECT_EQ(UniApplication().Hint(), hint) << "step " << step;
    ++step;
  }
  shown->hide();
}

}  // namespace

namespace {

// Checking a radio item unchecks the radio items of its parent in its group, and only those.
TEST_F(KeysTest, ARadioMenuItemLeavesItsGroupOneCheckedItem) {
  TPopupMenu menu(form.get());
  // (group index, radio item)
  const std::pair<int, bool> made[] = {{1, true}, {1, true}, {2, true}, {1, false}};
  std::vector<TMenuItem*> items;
  for (const auto& [group, radio] : made) {
    auto* item = new TMenuItem;
    item->SetCaption(u"Item");
    item->SetGroupIndex(group);
    item->SetRadioItem(radio);
    item->SetChecked(true);
    menu.Items()->Add(item);
    items.push_back(item);
  }
  const auto shown = [&] {
    std::string s;
    for (const TMenuItem* item : items) s += item->MenuAction()->isChecked() ? 'M' : '-';
    return s;
  };
  EXPECT_EQ(shown(), "MMMM");  // checked before they shared a parent
  const std::pair<std::function<void()>, std::string> steps[] = {
      {[&] { items[0]->SetChecked(false); items[0]->SetChecked(true); }, "M-MM"},
      {[&] { items[1]->SetChecked(true); }, "-MMM"},
      {[&] { items[2]->SetGroupIndex(1); }, "--MM"},
      {[&] { items[0]->SetRadioItem(false); items[0]->SetChecked(true); }, "M-MM"},
  };
  int step = 0;
  for (const auto& [act, expected] : steps) {
    act();
    EXPECT_EQ(shown(), expected) << "step " << step;
    ++step;
  }
}

}  // namespace
