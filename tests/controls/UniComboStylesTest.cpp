// The combo box styles and the owner-drawn combo and list boxes, on real widgets offscreen: what
// they draw is checked in their pixels.
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <tuple>
#include <vector>

#include "platform/core/Clock.h"
#include "tests/controls/ControlsTest.h"
#include "unicode/UniSystem.h"
#include "unicode/gui/UniStdCtrls.h"

namespace {

using controlstest::ControlsTest;

// The list of box as it shows (a combo's dropped down), painted on white.
QAbstractItemView& ShownList(TUniListBox& box) { return box; }
QAbstractItemView& ShownList(TUniComboBox& box) {
  box.showPopup();
  return *box.view();
}
QImage Paint(QWidget& w) {
  QImage image(w.size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  w.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}
QRect RowOf(QAbstractItemView& view, int row) { return view.visualRect(view.model()->index(row, 0)); }

// The bounding box of the pixels inside row that differ from its corner's.
QRect InkIn(const QImage& image, const QRect& row) {
  const QRect inside = row.adjusted(1, 1, -1, -1);
  const QRgb background = image.pixel(inside.bottomRight());
  QRect box;
  for (int y = inside.top(); y <= inside.bottom(); ++y)
    for (int x = inside.left(); x <= inside.right(); ++x)
      if (image.pixel(x, y) != background) box |= QRect(x, y, 1, 1);
  return box;
}

// Each item drawn by the owner, in a colour of its own, at the owner's heights, with its state.
template <class Box, class Style>
void ExpectOwnerDrawn(QWidget* form, Style style, const std::vector<int>& heights) {
  Box box(form);
  box.setGeometry(0, 0, 120, 24);
  for (const char16_t* s : {u"one", u"two", u"three"}) box.Items().Add(s);
  box.SetItemHeight(20);
  box.OnMeasureItem = [](QWidget*, int index, int& height) { height = 10 + 15 * index; };
  std::vector<std::tuple<int, TRect, TOwnerDrawState>> drawn;
  box.OnDrawItem = [&](QWidget*, int index, const TRect& rect, TOwnerDrawState state) {
    drawn.emplace_back(index, rect, state);
    box.Canvas()->Brush.Color = RGB(40 * index, 200, 0);
    box.Canvas()->FillRect(rect);
  };
  box.SetStyle(style);
  box.SetItemIndex(1);
  box.show();
  QAbstractItemView& list = ShownList(box);
  list.resize(120, 110);
  const QImage image = Paint(*list.viewport());
  for (int i = 0, top = 0; i < 3; top += heights[i++]) {
    EXPECT_EQ(RowOf(list, i), QRect(0, top, list.viewport()->width(), heights[i])) << style << " " << i;
    EXPECT_EQ(image.pixel(60, RowOf(list, i).center().y()), qRgb(40 * i, 200, 0)) << style << " " << i;
  }
  for (const auto& [index, rect, state] : drawn) {
    if (!(state & odComboBoxEdit)) {
      EXPECT_EQ((state & odSelected) != 0, index == 1) << style << " " << index;
    }
  }
  EXPECT_EQ(box.Canvas(), nullptr);  // lent only while an item is drawn
}

TEST_F(ControlsTest, OwnerDrawnItemsAreDrawnAndMeasuredByTheirOwner) {
  ExpectOwnerDrawn<TUniListBox>(form.get(), lbOwnerDrawFixed, {20, 20, 20});
  ExpectOwnerDrawn<TUniListBox>(form.get(), lbOwnerDrawVariable, {10, 25, 40});
  ExpectOwnerDrawn<TUniComboBox>(form.get(), csOwnerDrawFixed, {20, 20, 20});
  ExpectOwnerDrawn<TUniComboBox>(form.get(), csOwnerDrawVariable, {10, 25, 40});
}

TEST_F(ControlsTest, AnOwnerDrawnComboDrawsItsChoiceInItsFace) {
  TUniComboBox combo(form.get());
  combo.setGeometry(0, 0, 150, 24);
  combo.Items().Add(u"one");
  std::vector<std::tuple<int, TRect, TOwnerDrawState>> drawn;
  combo.OnDrawItem = [&](QWidget*, int index, const TRect& rect, TOwnerDrawState state) {
    drawn.emplace_back(index, rect, state);
    combo.Canvas()->Brush.Color = clLime;
    combo.Canvas()->FillRect(rect);
  };
  combo.SetStyle(csOwnerDrawFixed);
  combo.SetItemIndex(0);
  combo.show();
  const QImage face = Paint(combo);
  ASSERT_EQ(drawn.size(), 1u);
  const auto& [index, rect, state] = drawn[0];
  EXPECT_EQ(index, 0);
  EXPECT_TRUE(state & odComboBoxEdit);
  EXPECT_EQ(face.pixel((rect.Left + rect.Right) / 2, (rect.Top + rect.Bottom) / 2), qRgb(0, 255, 0));
}

TEST_F(ControlsTest, DefaultOwnerDrawingFillsTheItemAndShowsItsTextWithItsPrefixes) {
  QPalette palette;
  palette.setColor(QPalette::Base, QColor(255, 255, 200));
  palette.setColor(QPalette::Text, Qt::black);
  TUniListBox listBox(form.get());
  TUniComboBox combo(form.get());
  listBox.SetStyle(lbOwnerDrawFixed);
  combo.SetStyle(csOwnerDrawFixed);
  // (the list, its text centred in the item or on its top)
  const std::tuple<QAbstractItemView*, bool> cases[] = {{&listBox, true}, {combo.view(), false}};
  for (TUniOwnerDraw* box : std::initializer_list<TUniOwnerDraw*>{&listBox, &combo}) box->SetItemHeight(30);
  for (QWidget* w : std::initializer_list<QWidget*>{&listBox, &combo}) {
    w->setPalette(palette);
    w->setGeometry(0, 0, 120, 24);
  }
  for (const char16_t* s : {u"A&B", u"AB"}) listBox.Items().Add(s), combo.Items().Add(s);
  listBox.SetItemIndex(0);
  combo.SetItemIndex(0);
  listBox.resize(120, 100);
  listBox.show();
  combo.show();
  combo.showPopup();
  for (const auto& [list, centred] : cases) {
    const QImage image = Paint(*list->viewport());
    const QRect selected = RowOf(*list, 0), plain = RowOf(*list, 1);
    EXPECT_EQ(image.pixel(selected.right() - 3, selected.bottom() - 3), ToQColor(clHighlight).rgb());
    EXPECT_EQ(image.pixel(plain.right() - 3, plain.bottom() - 3), qRgb(255, 255, 200));
    const QRect ink = InkIn(image, plain), selectedInk = InkIn(image, selected);
    ASSERT_FALSE(ink.isEmpty() || selectedInk.isEmpty()) << centred;
    if (centred)
      EXPECT_NEAR(ink.center().y(), plain.center().y(), 3);
    else
      EXPECT_LT(ink.center().y(), plain.center().y() - 3);
    EXPECT_GE(ink.left(), plain.left() + 2) << centred;  // 2 pixels right of the item's left
    EXPECT_LE(ink.left(), plain.left() + 4) << centred;
    EXPECT_GT(selectedInk.width(), ink.width() + 3) << centred;  // "A&B" shows its "&"
  }
  combo.hidePopup();
}

int64_t fakeNow = 0;
int64_t FakeClock() { return fakeNow; }

TEST_F(ControlsTest, OwnerDrawnCombosTypeAhead) {
  const platform::TClockSource old = platform::SetClockSource(&FakeClock);
  for (TComboBoxStyle style : {csOwnerDrawFixed, csOwnerDrawVariable}) {
    TUniComboBox combo(form.get());
    combo.SetStyle(style);
    for (const char16_t* s : {u"Apple", u"ABle", u"cat"}) combo.Items().Add(s);
    // (milliseconds since the last key, key, item index)
    for (const auto& [delay, key, index] : {std::tuple{5000, Qt::Key_A, 0}, {100, Qt::Key_B, 1}, {1300, Qt::Key_C, 2}}) {
      fakeNow += delay;
      QTest::keyClick(&combo, key);
      EXPECT_EQ(combo.ItemIndex(), index) << style << " " << key;
    }
  }
  platform::SetClockSource(old);
}

TEST_F(ControlsTest, ASimpleComboShowsItsListAndCompletesInTheTypedCase) {
  TUniComboBox combo(form.get());
  combo.setGeometry(0, 0, 150, 110);
  combo.SetStyle(csSimple);
  for (const char16_t* s : {u"Boston", u"New York", u"Newark"}) combo.Items().Add(s);
  int selects = 0;
  combo.OnSelect = [&](QObject*) { ++selects; };
  combo.show();
  QTest::keyClicks(combo.lineEdit(), "ne");
  EXPECT_EQ(combo.Text(), u"new York");
  EXPECT_EQ(combo.lineEdit()->selectedText(), "w York");
  EXPECT_EQ(selects, 1);
  // The list stays shown below the edit, the chosen item current; nothing drops down.
  ASSERT_NE(combo.SimpleList(), nullptr);
  EXPECT_EQ(combo.SimpleList()->currentIndex().row(), 1);
  EXPECT_LE(combo.lineEdit()->geometry().bottom(), combo.SimpleList()->geometry().top());
  combo.showPopup();
  EXPECT_FALSE(combo.view()->isVisible());
  const QImage image = Paint(combo);
  const QRect area = combo.SimpleList()->geometry().adjusted(3, 3, -3, -3);
  int dark = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) dark += qGray(image.pixel(x, y)) < 100;
  EXPECT_GT(dark, 30);  // the items' text
  combo.SetStyle(csDropDown);
  EXPECT_FALSE(combo.SimpleList()->isVisible());
}

TEST_F(ControlsTest, AutoCompleteIsOnlyForTheEditStyles) {
  for (TComboBoxStyle style : {csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable}) {
    TUniComboBox combo(form.get());
    combo.SetStyle(style);
    combo.Items().Add(u"x");
    WideString key = u"x";
    const bool edit = style == csDropDown || style == csSimple;
    try {
      UniCombo_AutoCompleteKeyPress(combo, key);
      EXPECT_TRUE(edit && key.empty()) << style;
    } catch (const EUniInternalError& e) {
      EXPECT_FALSE(edit) << style;
      EXPECT_STREQ(e.what(),
                   "Internal Error: UniCombo_AutoCompleteKeyPress is only for csSimple and csDropDown style combo "
                   "boxes.");
    }
  }
}

// A combo made in the edit style and turned into a list keeps no edit: one left behind for a later
// event loop to free went with the combo while a page's window still had it in its focus chain.
TEST_F(ControlsTest, LeavingTheEditStylesLeavesNoEditBehind) {
  for (TComboBoxStyle style : {csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable}) {
    TUniComboBox combo(form.get());
    combo.SetStyle(style);
    EXPECT_TRUE(combo.findChildren<QLineEdit*>().isEmpty()) << style;
    combo.SetStyle(csSimple);
    EXPECT_EQ(combo.findChildren<QLineEdit*>().size(), 1) << style;
    combo.SetStyle(style);
    EXPECT_TRUE(combo.findChildren<QLineEdit*>().isEmpty()) << style;
  }
}

}  // namespace
