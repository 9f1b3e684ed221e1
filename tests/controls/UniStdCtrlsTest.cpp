// Wide edits, memos, combo boxes and list boxes on real widgets offscreen.
#include <QSignalSpy>
#include <QTest>
#include <tuple>

#include "platform/core/Clock.h"
#include "tests/controls/ControlsTest.h"
#include "unicode/gui/UniStdCtrls.h"

namespace {

using controlstest::ControlsTest;

int64_t fakeNow = 0;
int64_t FakeClock() { return fakeNow; }

TEST_F(ControlsTest, EditShowsAWidePasswordCharAndSelectsInUtf16Units) {
  TUniEdit edit(form.get());
  edit.SetText(u"a\U0001F600b");
  edit.SetPasswordChar(u'\u25CF');
  EXPECT_EQ(edit.displayText(), QString(4, QChar(0x25CF)));  // one per UTF-16 unit
  edit.SetPasswordChar(0);
  EXPECT_EQ(edit.displayText(), edit.text());
  edit.SetSelStart(1);
  edit.SetSelLength(2);
  EXPECT_EQ(edit.SelText(), u"\U0001F600");
  EXPECT_EQ(edit.SelStart() + edit.SelLength(), 3);
}

TEST_F(ControlsTest, DropDownListTypeAheadRunsOnTheClock) {
  const platform::TClockSource old = platform::SetClockSource(&FakeClock);
  TUniComboBox combo(form.get());
  combo.SetStyle(csDropDownList);
  for (const char16_t* s : {u"Apple", u"ABle", u"abc", u"Bee", u"cat"}) combo.Items().Add(s);
  EXPECT_EQ(combo.ItemIndex(), -1);
  // (milliseconds since the last key, key, item index, type-ahead text)
  const std::tuple<int, Qt::Key, int, const char16_t*> steps[] = {
      {5000, Qt::Key_A, 0, u"a"},  {100, Qt::Key_B, 1, u"ab"},       {100, Qt::Key_Z, 1, u"ab"},
      {100, Qt::Key_Backspace, 1, u"a"}, {100, Qt::Key_B, 1, u"ab"}, {1300, Qt::Key_C, 4, u"c"},
      {1250, Qt::Key_B, 3, u"b"},  {1249, Qt::Key_E, 3, u"be"},
  };
  for (const auto& [delay, key, index, text] : steps) {
    fakeNow += delay;
    QTest::keyClick(&combo, key);
    EXPECT_EQ(combo.ItemIndex(), index) << delay << " " << key;
    EXPECT_EQ(combo.TypeAheadText, text) << delay << " " << key;
  }
  platform::SetClockSource(old);
}

TEST_F(ControlsTest, TypeAheadBackspaceTakesAWholeCharacterOutsideTheBmp) {
  TUniComboBox combo(form.get());
  combo.SetStyle(csDropDownList);
  for (const char16_t* s : {u"\U0001F600a", u"x"}) combo.Items().Add(s);
  auto type = [&](Qt::Key key, const QString& text) { QTest::sendKeyEvent(QTest::Click, &combo, key, text, Qt::NoModifier); };
  type(Qt::Key_unknown, QString::fromUtf16(u"\U0001F600"));
  EXPECT_EQ(combo.TypeAheadText, u"\U0001F600");
  EXPECT_EQ(combo.ItemIndex(), 0);
  type(Qt::Key_Backspace, QStringLiteral("\b"));
  EXPECT_EQ(combo.TypeAheadText, u"");
  type(Qt::Key_X, QStringLiteral("x"));
  EXPECT_EQ(combo.ItemIndex(), 1);
}

TEST_F(ControlsTest, DropDownCompletesInTheTypedCaseAndAnnouncesAnItemOnce) {
  TUniComboBox combo(form.get());
  combo.SetStyle(csDropDown);
  combo.Items().Add(u"Boston");
  combo.Items().Add(u"New York");
  int clicks = 0, selects = 0;
  combo.OnClick = [&](QObject*) { ++clicks; };
  combo.OnSelect = [&](QObject*) { EXPECT_EQ(++selects, clicks); };
  QTest::keyClicks(&combo, "ne");
  EXPECT_EQ(combo.Text(), u"new York");
  EXPECT_EQ(combo.lineEdit()->selectedText(), "w York");
  EXPECT_EQ(combo.ItemIndex(), 1);
  QTest::keyClicks(&combo, "w");
  EXPECT_EQ(combo.Text(), u"new York");
  EXPECT_TRUE(clicks == 1 && selects == 1);
  combo.Items().Clear();
  EXPECT_EQ(combo.Items().Count(), 0);
  EXPECT_EQ(combo.Text(), u"new York");
}

TEST_F(ControlsTest, MemoInsertFollowsTheLines) {
  // (text, index, inserted, text after)
  const std::tuple<const char16_t*, int, const char16_t*, const char16_t*> cases[] = {
      {u"a\r\nb", 2, u"c", u"a\r\nb\r\nc"},       {u"a\r\nb\r\n", 2, u"c", u"a\r\nb\r\nc\r\n"},
      {u"a\r\nb", 0, u"\u00E9", u"\u00E9\r\na\r\nb"}, {u"a\r\n\r\n", 3, u"c", u"a\r\n\r\n"},
      {u"", 1, u"c", u""},                        {u"a", -1, u"c", u"a"},
  };
  TUniMemo memo(form.get());
  for (const auto& [text, index, s, after] : cases) {
    memo.Lines().SetText(text);
    memo.Lines().Insert(index, s);
    EXPECT_EQ(memo.Text(), after) << index;
  }
  memo.Lines().SetText(u"a\rb\n");
  EXPECT_EQ(memo.Lines().Count(), 2);
  memo.Lines().Delete(0);
  memo.Lines().Put(0, u"\U0001F600");
  EXPECT_EQ(memo.Text(), u"\U0001F600\r\n");
}

TEST_F(ControlsTest, MemoExchangeAndMoveRefuseAMissingLine) {
  TUniMemo memo(form.get());
  // (first index, second index, exchange rather than move, the index reported)
  const std::tuple<int, int, bool, int> refused[] = {
      {0, 3, true, 3}, {3, 0, true, 3}, {-1, 1, true, -1}, {0, 3, false, 3}, {5, 0, false, 5},
  };
  for (const auto& [a, b, exchange, bad] : refused) {
    memo.Lines().SetText(u"a\r\nb\r\nc\r\n");
    try {
      exchange ? memo.Lines().Exchange(a, b) : memo.Lines().Move(a, b);
      ADD_FAILURE() << a << " " << b;
    } catch (const EStringListError& e) {
      EXPECT_EQ(e.what(), "List index out of bounds (" + std::to_string(bad) + ")");
    }
    EXPECT_EQ(memo.Text(), u"a\r\nb\r\nc\r\n") << a << " " << b;
  }
  memo.Lines().Exchange(0, 1);
  EXPECT_EQ(memo.Text(), u"b\r\na\r\nc\r\n");
  memo.Lines().Move(0, 1);
  EXPECT_EQ(memo.Text(), u"a\r\nb\r\nc\r\n");
}

TEST_F(ControlsTest, ListBoxItemsCarryTheirObjectsAndKeepTheItemIndex) {
  TUniListBox list(form.get());
  int objects[3];
  for (int i : {0, 1, 2}) list.Items().AddObject(std::u16string(1, u'c' - i), &objects[i]);
  try {
    list.Items().Get(5);
    ADD_FAILURE();
  } catch (const EStringListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (5)");
  }
  EXPECT_THROW(list.Items().Move(0, 3), EStringListError);
  EXPECT_EQ(list.Items().GetText(), u"c\r\nb\r\na\r\n");
  list.SetItemIndex(0);
  list.Items().Exchange(0, 2);
  EXPECT_EQ(list.Items().GetText(), u"a\r\nb\r\nc\r\n");
  EXPECT_EQ(list.ItemIndex(), 2);
  EXPECT_TRUE(list.Items().GetObject(0) == &objects[2] && list.Items().GetObject(2) == &objects[0]);
  list.Items().Move(0, 1);
  EXPECT_TRUE(list.Items().Get(1) == u"a" && list.Items().GetObject(1) == &objects[2]);
  list.Items().Put(1, u"\u00E0");
  EXPECT_EQ(list.Items().GetObject(1), &objects[2]);
  EXPECT_EQ(list.Items().IndexOf(u"\u00C0"), 1);
  EXPECT_THROW(list.Items().Insert(4, u"x"), EOutOfResources);

  list.SetItemIndex(1);  // on "à"
  list.SetSorted(true);
  EXPECT_EQ(list.Items().GetText(), u"b\r\nc\r\n\u00E0\r\n");
  EXPECT_EQ(list.ItemIndex(), 1);
  EXPECT_EQ(list.Items().Add(u"a"), 0);

  list.SetMultiSelect(true);
  list.clearSelection();
  list.SetItemIndex(2);
  EXPECT_EQ(list.ItemIndex(), 2);
  EXPECT_TRUE(list.selectedItems().isEmpty());
}

}  // namespace
