// How the user chooses an item of a combo box, on real widgets offscreen: by the mouse in the
// drop-down, by the arrow keys on the closed box or in the open list, and by typing, with the list
// open or closed. Keys go to the window that has the focus, as the user's keys do, so that the
// open list gets them while it is shown.
#include <QAbstractItemView>
#include <QLineEdit>
#include <QTest>
#include <functional>
#include <string>
#include <tuple>

#include "platform/core/Clock.h"
#include "tests/controls/ControlsTest.h"
#include "unicode/gui/UniStdCtrls.h"

namespace {

using controlstest::ControlsTest;

int64_t fakeNow = 0;
int64_t FakeClock() { return fakeNow; }

// A combo of the items given, its events written down as "c" (click) and "s" (select), with the
// type-ahead on a clock of the test's.
class ComboChoice : public ControlsTest {
protected:
  void SetUp() override {
    ControlsTest::SetUp();
    oldClock = platform::SetClockSource(&FakeClock);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }
  void TearDown() override { platform::SetClockSource(oldClock); }

  std::unique_ptr<TUniComboBox> Make(TComboBoxStyle style, std::initializer_list<const char16_t*> items) {
    auto combo = std::make_unique<TUniComboBox>(form.get());
    combo->SetStyle(style);
    combo->setGeometry(10, 10, 150, 24);
    for (const char16_t* s : items) combo->Items().Add(s);
    combo->OnClick = [this](QObject*) { events += "c"; };
    combo->OnSelect = [this](QObject*) { events += "s"; };
    combo->show();
    combo->setFocus();
    return combo;
  }
  // A key to whatever has the keyboard: the open list while it shows, else the combo (its edit).
  static void Key(Qt::Key key, const QString& text = {}) {
    QWidget* target = QApplication::activePopupWidget() ? QApplication::activePopupWidget() : QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    if (QWidget* inner = target->focusWidget()) target = inner;
    QTest::sendKeyEvent(QTest::Click, target, key, text, Qt::NoModifier);
  }
  static void Type(const char* text, int msBetween = 100) {
    for (const char* p = text; *p; ++p) {
      fakeNow += msBetween;
      const char c = *p;
      const Qt::Key key = c == ' ' ? Qt::Key_Space : static_cast<Qt::Key>(Qt::Key_A + (QChar(c).toLower().unicode() - 'a'));
      Key(key, QString(QChar(c)));
    }
  }
  static bool Open(const TUniComboBox& combo) { return combo.view()->isVisible(); }

  platform::TClockSource oldClock = nullptr;
  std::string events;
};

TEST_F(ComboChoice, EveryChoiceByTheUserFiresClickThenSelectOnce) {
  for (TComboBoxStyle style : {csDropDownList, csDropDown, csOwnerDrawFixed}) {
    auto combo = Make(style, {u"Apple", u"Banana", u"Cherry"});
    combo->SetItemIndex(0);
    // (what the user does, item index after it, events after it)
    const std::tuple<std::function<void()>, int, std::string> steps[] = {
        // The mouse in the drop-down: a new item, then the same item again.
        {[&] {
           combo->showPopup();
           QAbstractItemView* view = combo->view();
           const QRect row = view->visualRect(combo->model()->index(2, 0));
           QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, row.center());
         },
         2, "cs"},
        {[&] {
           combo->showPopup();
           QAbstractItemView* view = combo->view();
           QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(combo->model()->index(2, 0)).center());
         },
         2, "cs"},
        // The arrow keys on the closed box.
        {[&] { Key(Qt::Key_Up); }, 1, "cscs"},
        // The arrow keys in the open list, then Return.
        {[&] {
           combo->showPopup();
           Key(Qt::Key_Down);
           Key(Qt::Key_Return);
         },
         2, "cscscs"},
        // A choice made by the program announces nothing, and choosing it again is no change.
        {[&] {
           combo->SetItemIndex(0);
           combo->showPopup();
           Key(Qt::Key_Return);
         },
         0, "cscscs"},
    };
    events.clear();
    int step = 0;
    for (const auto& [act, index, after] : steps) {
      act();
      EXPECT_EQ(combo->ItemIndex(), index) << style << " step " << step;
      EXPECT_EQ(events, after) << style << " step " << step;
      EXPECT_FALSE(Open(*combo)) << style << " step " << step;
      ++step;
    }
  }
}

TEST_F(ComboChoice, TypingWithTheListOpenOrClosedSearchesTheSameWay) {
  for (bool dropDown : {false, true}) {
    auto combo = Make(csDropDownList, {u"Apple", u"Abbey", u"Banana"});
    combo->AutoDropDown = dropDown;
    events.clear();
    fakeNow += 5000;
    Type("ab");
    EXPECT_EQ(Open(*combo), dropDown);
    EXPECT_EQ(combo->ItemIndex(), 1) << dropDown;
    EXPECT_EQ(combo->TypeAheadText, u"ab") << dropDown;
    EXPECT_EQ(events, "cscs") << dropDown;
    // Return takes what the typing chose, announced already.
    if (dropDown) Key(Qt::Key_Return);
    EXPECT_FALSE(Open(*combo));
    EXPECT_EQ(combo->ItemIndex(), 1) << dropDown;
    EXPECT_EQ(events, "cscs") << dropDown;
  }
}

TEST_F(ComboChoice, TypingInTheOpenListOfAnEditStyleCompletesTheText) {
  auto combo = Make(csDropDown, {u"Boston", u"New York", u"Newark"});
  combo->showPopup();
  Type("new");
  EXPECT_TRUE(Open(*combo));
  EXPECT_EQ(combo->Text(), u"new York");
  EXPECT_EQ(combo->ItemIndex(), 1);
  // A character that completes nothing is typed into the edit; Backspace takes it out again.
  Type("x");
  EXPECT_EQ(combo->Text(), u"newx");
  Key(Qt::Key_Backspace, QStringLiteral("\b"));
  EXPECT_EQ(combo->Text(), u"new");
  Key(Qt::Key_Return);
  EXPECT_FALSE(Open(*combo));
  EXPECT_EQ(combo->ItemIndex(), 1);
  EXPECT_EQ(events, "cs");
}

TEST_F(ComboChoice, ACharacterThatMatchesNothingGoesOnToTheBox) {
  auto combo = Make(csDropDownList, {u"Apple", u"Banana"});
  fakeNow += 5000;
  Type("a");
  EXPECT_EQ(combo->ItemIndex(), 0);
  // "ab" matches nothing: the box's own search takes the "b".
  Type("b", 600);
  EXPECT_EQ(combo->ItemIndex(), 1);
  EXPECT_EQ(combo->TypeAheadText, u"a");
  EXPECT_EQ(events, "cscs");
  // A space begins no item: it opens the list, as on any box.
  Type(" ", 2000);
  EXPECT_TRUE(Open(*combo));
  Key(Qt::Key_Escape);
  EXPECT_FALSE(Open(*combo));
  EXPECT_EQ(combo->ItemIndex(), 1);
  // In an edit style the character is typed into the edit.
  auto edit = Make(csDropDown, {u"Apple", u"Banana"});
  Type("ax");
  EXPECT_EQ(edit->Text(), u"ax");
}

// Text typed into an edit style that equals an item is no pick: leaving the box with Tab, by the
// mouse or with Return chooses nothing and announces nothing, with auto-complete on or off.
TEST_F(ComboChoice, LeavingAnEditStyleWithAnItemsTextPicksNothing) {
  QLineEdit other(form.get());
  other.setGeometry(10, 80, 150, 24);
  other.show();
  const std::pair<const char*, std::function<void()>> leaves[] = {
      {"Tab", [] { Key(Qt::Key_Tab); }},
      {"mouse", [&] { QTest::mouseClick(&other, Qt::LeftButton); other.setFocus(Qt::MouseFocusReason); }},
      {"Return", [] { Key(Qt::Key_Return); }},
  };
  for (TComboBoxStyle style : {csDropDown, csSimple}) {
    for (bool autoComplete : {false, true}) {
      for (const auto& [how, leave] : leaves) {
        auto combo = Make(style, {u"Apple", u"Banana", u"Cherry"});
        combo->setGeometry(10, 10, 150, style == csSimple ? 60 : 24);
        combo->AutoComplete = autoComplete;
        events.clear();
        fakeNow += 5000;
        Type(autoComplete ? "B" : "Banana");
        // Auto-complete chose the item from the typing; leaving adds nothing to that.
        const std::string typed = events;
        leave();
        EXPECT_EQ(combo->Text(), u"Banana") << style << " " << autoComplete << " " << how;
        EXPECT_EQ(combo->ItemIndex(), autoComplete ? 1 : -1) << style << " " << autoComplete << " " << how;
        EXPECT_EQ(events, typed) << style << " " << autoComplete << " " << how;
        EXPECT_EQ(typed, autoComplete ? "cs" : "") << style << " " << autoComplete << " " << how;
      }
    }
  }
}

}  // namespace
