// The combo box styles and the owner-drawn combo and list boxes, on real widgets offscreen: what
// they draw is checked in their pixels.
#include <QListView>
#include <QTest>
#include <functional>
#include <tuple>
#include <vector>

#include "platform/core/Clock.h"
#include "tests/controls/ControlsTest.h"
#include "unicode/UniSystem.h"
#include "unicode/gui/UniStdCtrls.h"

namespace {

using controlstest::ControlsTest;

// w with its children (a view's items are its viewport's), on white.
QImage RenderAll(QWidget& w) {
  QImage image(w.size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  w.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}

QRgb Rgb(TColor c) { return ToQColor(c).rgb(); }

// The bounding box of the pixels in area that are not background.
QRect InkIn(const QImage& image, const QRect& area, QRgb background) {
  QRect box;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (image.pixel(x, y) != background) box |= QRect(x, y, 1, 1);
  return box;
}

struct Drawn {
  int index;
  TRect rect;
  TOwnerDrawState state;
};

// A handler that fills each item with a colour of its own and records what it was asked.
TDrawItemEvent Recorder(std::vector<Drawn>& drawn, std::function<TCanvas*()> canvas) {
  return [&drawn, canvas](QWidget*, int index, const TRect& rect, TOwnerDrawState state) {
    drawn.push_back({index, rect, state});
    canvas()->Brush.Color = RGB(40 * index, 200, 0);
    canvas()->FillRect(rect);
  };
}

TEST_F(ControlsTest, OwnerDrawnListItemsAreDrawnAndMeasuredByTheirOwner) {
  // (style, the heights the items get)
  const std::tuple<TListBoxStyle, std::vector<int>> cases[] = {
      {lbOwnerDrawFixed, {20, 20, 20}}, {lbOwnerDrawVariable, {10, 25, 40}}};
  for (const auto& [style, heights] : cases) {
    TUniListBox list(form.get());
    list.setGeometry(0, 0, 120, 110);
    for (const char16_t* s : {u"one", u"two", u"three"}) list.Items().Add(s);
    list.SetItemHeight(20);
    list.OnMeasureItem = [](QWidget*, int index, int& height) { height = 10 + 15 * index; };
    std::vector<Drawn> drawn;
    list.OnDrawItem = Recorder(drawn, [&] { return list.Canvas(); });
    list.SetStyle(style);
    list.SetItemIndex(1);
    list.show();
    const QImage image = RenderAll(*list.viewport());
    int top = 0;
    for (int i = 0; i < 3; ++i) {
      const QRect r = list.visualItemRect(list.item(i));
      EXPECT_EQ(r.top(), top) << style << " " << i;
      EXPECT_EQ(r.height(), heights[i]) << style << " " << i;
      EXPECT_EQ(image.pixel(60, r.center().y()), qRgb(40 * i, 200, 0)) << style << " " << i;
      top += heights[i];
    }
    ASSERT_GE(drawn.size(), 3u);
    for (const Drawn& d : drawn) {
      EXPECT_EQ(d.rect.Height(), heights[d.index]);
      EXPECT_EQ((d.state & odSelected) != 0, d.index == 1) << d.index;
    }
    EXPECT_EQ(list.Canvas(), nullptr);  // lent only while an item is drawn
  }
}

TEST_F(ControlsTest, OwnerDrawnCombosDrawTheirFaceAndTheirListThroughTheOwner) {
  for (TComboBoxStyle style : {csOwnerDrawFixed, csOwnerDrawVariable}) {
    TUniComboBox combo(form.get());
    combo.setGeometry(0, 0, 150, 24);
    for (const char16_t* s : {u"one", u"two", u"three"}) combo.Items().Add(s);
    combo.SetItemHeight(18);
    combo.OnMeasureItem = [](QWidget*, int index, int& height) { height = 12 + 6 * index; };
    std::vector<Drawn> drawn;
    combo.OnDrawItem = Recorder(drawn, [&] { return combo.Canvas(); });
    combo.SetStyle(style);
    combo.SetItemIndex(2);
    combo.show();
    // The face: the chosen item, drawn by the owner in the field.
    const QImage face = RenderAll(combo);
    ASSERT_EQ(drawn.size(), 1u) << style;
    EXPECT_EQ(drawn[0].index, 2);
    EXPECT_TRUE(drawn[0].state & odComboBoxEdit);
    const QPoint middle((drawn[0].rect.Left + drawn[0].rect.Right) / 2, (drawn[0].rect.Top + drawn[0].rect.Bottom) / 2);
    EXPECT_EQ(face.pixel(middle), qRgb(80, 200, 0));
    // The list: every item by the owner, at the owner's heights.
    combo.showPopup();
    ASSERT_TRUE(combo.view()->isVisible());
    const QImage items = RenderAll(*combo.view()->viewport());
    for (int i = 0; i < 3; ++i) {
      const QRect r = combo.view()->visualRect(combo.model()->index(i, 0));
      EXPECT_EQ(r.height(), style == csOwnerDrawFixed ? 18 : 12 + 6 * i) << style << " " << i;
      EXPECT_EQ(items.pixel(r.center()), qRgb(40 * i, 200, 0)) << style << " " << i;
    }
    combo.hidePopup();
  }
}

TEST_F(ControlsTest, DefaultOwnerDrawingFillsTheItemAndShowsItsTextWithItsPrefixes) {
  const QColor base(255, 255, 200);
  QPalette palette;
  palette.setColor(QPalette::Base, base);
  palette.setColor(QPalette::Text, Qt::black);

  TUniListBox list(form.get());
  list.setGeometry(0, 0, 120, 100);
  list.setPalette(palette);
  list.SetStyle(lbOwnerDrawFixed);
  list.SetItemHeight(30);
  for (const char16_t* s : {u"A&B", u"AB"}) list.Items().Add(s);
  list.SetItemIndex(0);
  list.show();
  const QImage l = RenderAll(*list.viewport());
  const QRect row0 = list.visualItemRect(list.item(0)), row1 = list.visualItemRect(list.item(1));
  EXPECT_EQ(l.pixel(row0.right() - 3, row0.top() + 3), Rgb(clHighlight));  // the selected item on the highlight
  EXPECT_EQ(l.pixel(row1.right() - 3, row1.top() + 3), base.rgb());
  const QRect selectedInk = InkIn(l, row0.adjusted(1, 1, -1, -1), Rgb(clHighlight));
  const QRect ink = InkIn(l, row1.adjusted(1, 1, -1, -1), base.rgb());
  ASSERT_FALSE(ink.isEmpty() || selectedInk.isEmpty());
  EXPECT_NEAR(ink.center().y(), row1.center().y(), 3);  // centred in the item's height
  EXPECT_GE(ink.left(), row1.left() + 2);
  EXPECT_LE(ink.left(), row1.left() + 4);
  EXPECT_GT(selectedInk.width(), ink.width() + 3);  // "A&B" shows its "&"

  TUniComboBox combo(form.get());
  combo.setGeometry(0, 0, 120, 24);
  combo.setPalette(palette);
  combo.SetStyle(csOwnerDrawFixed);
  combo.SetItemHeight(30);
  for (const char16_t* s : {u"A&B", u"AB"}) combo.Items().Add(s);
  combo.SetItemIndex(0);
  combo.show();
  combo.showPopup();
  const QImage c = RenderAll(*combo.view()->viewport());
  const QRect item0 = combo.view()->visualRect(combo.model()->index(0, 0));
  const QRect item1 = combo.view()->visualRect(combo.model()->index(1, 0));
  EXPECT_EQ(c.pixel(item1.right() - 3, item1.bottom() - 3), base.rgb());
  const QRect comboInk = InkIn(c, item1.adjusted(1, 1, -1, -1), base.rgb());
  const QRect comboSelectedInk = InkIn(c, item0.adjusted(1, 1, -1, -1), c.pixel(item0.right() - 3, item0.bottom() - 3));
  ASSERT_FALSE(comboInk.isEmpty() || comboSelectedInk.isEmpty());
  EXPECT_LT(comboInk.center().y(), item1.center().y() - 3);  // on the item's top, not centred
  EXPECT_GE(comboInk.left(), item1.left() + 2);
  EXPECT_LE(comboInk.left(), item1.left() + 4);
  EXPECT_GT(comboSelectedInk.width(), comboInk.width() + 3);
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
    // (milliseconds since the last key, key, item index, type-ahead text)
    const std::tuple<int, Qt::Key, int, const char16_t*> steps[] = {
        {5000, Qt::Key_A, 0, u"a"}, {100, Qt::Key_B, 1, u"ab"}, {1300, Qt::Key_C, 2, u"c"}};
    for (const auto& [delay, key, index, text] : steps) {
      fakeNow += delay;
      QTest::keyClick(&combo, key);
      EXPECT_EQ(combo.ItemIndex(), index) << style << " " << key;
      EXPECT_EQ(combo.TypeAheadText, text) << style << " " << key;
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
  combo.lineEdit()->setFocus();
  QTest::keyClicks(combo.lineEdit(), "ne");
  EXPECT_EQ(combo.Text(), u"new York");
  EXPECT_EQ(combo.lineEdit()->selectedText(), "w York");
  EXPECT_EQ(combo.ItemIndex(), 1);
  EXPECT_EQ(selects, 1);
  // The list stays shown below the edit with the chosen item current; nothing drops down.
  ASSERT_NE(combo.SimpleList(), nullptr);
  EXPECT_TRUE(combo.SimpleList()->isVisible());
  EXPECT_EQ(combo.SimpleList()->currentIndex().row(), 1);
  EXPECT_LE(combo.lineEdit()->geometry().bottom(), combo.SimpleList()->geometry().top());
  combo.showPopup();
  EXPECT_FALSE(combo.view()->isVisible());
  const QImage image = RenderAll(combo);
  const QRect listArea = combo.SimpleList()->geometry().adjusted(3, 3, -3, -3);
  int dark = 0;
  for (int y = listArea.top(); y <= listArea.bottom(); ++y)
    for (int x = listArea.left(); x <= listArea.right(); ++x) dark += qGray(image.pixel(x, y)) < 100;
  EXPECT_GT(dark, 30);  // the items' text
  // Back in a drop-down style the list goes.
  combo.SetStyle(csDropDown);
  EXPECT_FALSE(combo.SimpleList()->isVisible());
}

TEST_F(ControlsTest, AutoCompleteIsOnlyForTheEditStyles) {
  for (TComboBoxStyle style : {csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable}) {
    TUniComboBox combo(form.get());
    combo.SetStyle(style);
    combo.Items().Add(u"x");
    WideString key = u"x";
    if (style == csDropDown || style == csSimple) {
      UniCombo_AutoCompleteKeyPress(combo, key);
      EXPECT_EQ(key, u"") << style;
      continue;
    }
    try {
      UniCombo_AutoCompleteKeyPress(combo, key);
      ADD_FAILURE() << style << ": nothing raised";
    } catch (const EUniInternalError& e) {
      EXPECT_STREQ(e.what(),
                   "Internal Error: UniCombo_AutoCompleteKeyPress is only for csSimple and csDropDown style combo "
                   "boxes.");
    }
    EXPECT_EQ(combo.ItemIndex(), -1);
  }
}

}  // namespace
