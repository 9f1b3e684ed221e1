// The glyph buttons on real widgets offscreen: states, clicks, latching, groups, glyphs, caption
// placement and the gradient button's pixels.
#include <QEnterEvent>
#include <QLineEdit>
#include <QTest>

#include "controls/MyButtons.h"
#include "tests/controls/ControlsTest.h"

namespace {

using controlstest::ControlsTest;
using controlstest::Render;

// A gradient button whose pressed and pointer flags a test can set.
class Probe : public TGLSButton {
public:
  using TGLSButton::TGLSButton;
  void Force(bool pressed, bool inside) {
    Pressed = pressed;
    MouseInside = inside;
    UpdateState();
  }
  TRect Caption(TCanvas& c) { return CaptionRect(c); }
};

const QPoint inside(5, 5), outside(-20, -20);

void ClickAt(QWidget* w) {
  QTest::mouseMove(w, inside);
  QTest::mouseClick(w, Qt::LeftButton, {}, inside);
}

TEST_F(ControlsTest, UpdateStateFromFlagsTypeAndOptions) {
  const TBasicBtnOptions all = boMSDownOnUp | boMSDownOnSD | boMSMoveOnUp | boMSMoveOnSD;
  const struct {
    bool stillDown, enabled, pressed, inside;
    TBasicBtnType type;
    TBasicBtnOptions options;
    int state;
  } cases[] = {
      {0, 1, 0, 0, btUpSD, all, 0},           {0, 1, 0, 1, btUpSD, all, 1},
      {0, 1, 1, 1, btUpSD, all, 2},           {0, 1, 1, 0, btUpSD, all, 0},  // pressed, pointer gone
      {1, 1, 0, 0, btUpSD, all, 3},           {1, 1, 0, 1, btUpSD, all, 4},
      {1, 1, 1, 1, btUpSD, all, 5},           {0, 0, 1, 1, btUpSD, all, 6},
      {1, 0, 1, 1, btUpSD, all, 7},           {0, 1, 0, 1, btUpSD, 0, 0},    // no hover look
      {1, 1, 0, 1, btUpSD, 0, 3},             {0, 1, 1, 1, btUpSD, boMSMoveOnUp, 3},  // 2 -> 3
      {0, 1, 1, 1, btUpSD, boMSMoveOnSD, 4},  // 2 -> 3 -> 4 under the pointer
      {1, 1, 1, 1, btUpSD, boMSMoveOnSD, 0},  // 5 -> 0
      {1, 1, 1, 1, btUpSD, boMSMoveOnUp, 1},  // 5 -> 0 -> 1
      {0, 1, 1, 1, btAutoUp, 0, 2},           // an auto-up button keeps 2
  };
  for (const auto& c : cases) {
    Probe b(form.get());
    b.SetBtnType(c.type);
    b.SetOptions(c.options);
    b.SetStillDown(c.stillDown);
    b.SetEnabled(c.enabled);
    b.Force(c.pressed, c.inside);
    EXPECT_EQ(b.State(), c.state) << c.stillDown << c.enabled << c.pressed << c.inside << " type " << c.type
                                  << " options " << c.options;
  }
}

TEST_F(ControlsTest, AutoUpButtonClicksOnAReleaseOverIt) {
  TSimpleBtn b(form.get());
  b.show();
  std::string events;
  b.OnClick = [&](QObject* sender) { events += sender == &b ? "C" : "?"; };
  b.OnMouseDown = [&](QObject*, TMouseButton, TShiftState, int, int) { events += "D"; };
  b.OnMouseUp = [&](QObject*, TMouseButton, TShiftState, int, int) { events += "U"; };
  b.OnMouseEnter = [&](QObject*) { events += "E"; };
  b.OnMouseExit = [&](QObject*) { events += "X"; };
  QTest::mouseMove(&b, inside);
  EXPECT_EQ(b.State(), G1_MSMove);
  QTest::mousePress(&b, Qt::LeftButton, {}, inside);
  EXPECT_EQ(b.State(), G2_MSDown);
  QTest::mouseRelease(&b, Qt::LeftButton, {}, inside);
  EXPECT_EQ(b.State(), G1_MSMove);
  EXPECT_FALSE(b.StillDown());
  // Released elsewhere: no click; the look leaves with the pointer while the button is held.
  QTest::mousePress(&b, Qt::LeftButton, {}, inside);
  QTest::mouseMove(&b, outside);
  EXPECT_EQ(b.State(), G0_Up);
  QTest::mouseRelease(&b, Qt::LeftButton, {}, outside);
  // The right button presses nothing (its release is still reported); a disabled button is deaf.
  QTest::mouseClick(&b, Qt::RightButton, {}, inside);
  b.SetEnabled(false);
  EXPECT_EQ(b.State(), G6_Disabled);
  ClickAt(&b);
  EXPECT_EQ(events, "EDCUDXUU");
}

TEST_F(ControlsTest, UpSDLatchesAndReleasesAndADoubleClickTogglesOnce) {
  TSimpleBtn b(form.get());
  b.SetBtnType(btUpSD);
  b.show();
  int changes = 0, clicks = 0;
  b.OnChangeStillDown = [&](QObject*) { ++changes; };
  b.OnClick = [&](QObject*) { ++clicks; };
  ClickAt(&b);
  EXPECT_TRUE(b.StillDown());
  EXPECT_EQ(b.State(), G4_MSMoveOnSD);
  ClickAt(&b);
  EXPECT_FALSE(b.StillDown());
  EXPECT_EQ(b.State(), G1_MSMove);
  // A widget's double click: press, release, double click, release.
  QTest::mouseClick(&b, Qt::LeftButton, {}, inside);
  QTest::mouseDClick(&b, Qt::LeftButton, {}, inside);
  QTest::mouseRelease(&b, Qt::LeftButton, {}, inside);
  EXPECT_TRUE(b.StillDown());
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(clicks, 3);
  b.SetBtnType(btAutoUp);  // cannot be latched
  b.SetStillDown(true);
  EXPECT_FALSE(b.StillDown());
}

TEST_F(ControlsTest, GroupedButtonsReleaseEachOther) {
  for (TBasicBtnType type : {btGrouped, btGroupedAllUp}) {
    std::vector<std::unique_ptr<TSimpleBtn>> group;
    for (int i = 0; i < 4; ++i) {
      group.push_back(std::make_unique<TSimpleBtn>(form.get()));
      group[i]->SetBtnType(type);
      group[i]->SetGroupIndex(i < 3 ? 1 : 2);
      group[i]->move(30 * i, 0);
      group[i]->show();
    }
    group[3]->SetStillDown(true);  // of another group
    auto down = [&] {
      std::string d;
      for (auto& b : group) d += b->StillDown() ? "1" : "0";
      return d;
    };
    ClickAt(group[0].get());
    EXPECT_EQ(down(), "1001");
    // A latched btGrouped button takes no hover look when the pointer comes back.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(group[0].get(), &leave);
    QEnterEvent enter(inside, inside, group[0]->mapToGlobal(inside));
    QApplication::sendEvent(group[0].get(), &enter);
    EXPECT_EQ(group[0]->State(), type == btGrouped ? G3_StillDown : G4_MSMoveOnSD);
    ClickAt(group[2].get());
    EXPECT_EQ(down(), "0011");
    ClickAt(group[2].get());
    EXPECT_EQ(down(), type == btGrouped ? "0011" : "0001");
  }
  TSimpleBtn b(form.get());  // only grouped types keep a group
  for (auto [type, index] : {std::pair{btUpSD, 0}, {btGrouped, 5}, {btGroupedAllUp, 5}, {btAutoUp, 0}}) {
    b.SetBtnType(btGrouped);
    b.SetGroupIndex(5);
    b.SetBtnType(type);
    b.SetGroupIndex(5);
    EXPECT_EQ(b.GroupIndex(), index) << type;
  }
}

TEST_F(ControlsTest, DirectActionFiresOnThePressAndAFocusControlCanVoidIt) {
  TSimpleBtn b(form.get());
  b.SetBtnType(btUpSD);
  b.SetOptions(b.Options() | boDirectAction);
  b.show();
  std::string events;
  b.OnClick = [&](QObject*) { events += "C"; };
  b.OnMouseDown = [&](QObject*, TMouseButton, TShiftState, int, int) { events += "D"; };
  QTest::mouseMove(&b, inside);
  QTest::mousePress(&b, Qt::LeftButton, {}, inside);
  EXPECT_EQ(events, "C");  // the press is the action, not a MouseDown
  EXPECT_TRUE(b.StillDown());
  QTest::mouseRelease(&b, Qt::LeftButton, {}, inside);
  EXPECT_EQ(events, "C");

  QLineEdit edit(form.get());
  edit.move(0, 60);
  edit.show();
  b.FocusCtrl = &edit;
  edit.setEnabled(false);  // cannot take the focus: the press is void
  ClickAt(&b);
  EXPECT_EQ(events, "C");
  edit.setEnabled(true);
  ClickAt(&b);
  EXPECT_EQ(events, "CC");
  EXPECT_EQ(form->focusWidget(), &edit);
}

TEST_F(ControlsTest, GlyphsComeFromResourcesOrAListAndFallBackToTheUpGlyph) {
  TSimpleBtn b(form.get());
  b.Glyphs().SetGlyph(G0_Up, 0);
  b.Glyphs().SetGlyph(G3_StillDown, 3);
  EXPECT_EQ(b.GetGlyphIndex(G2_MSDown), 0);
  EXPECT_EQ(b.GetGlyphIndex(G3_StillDown), 3);

  // "TBTN0": a dark red block on a light green ground (transparent), centred.
  b.resize(20, 15);
  b.Glyphs().SetPrefix(u"TBTN");
  b.Glyphs().SetGlyphLayout(laCenter);
  const int x = (20 - 6) / 2, y = (15 - 5) / 2;
  QImage image = Render(b);
  EXPECT_EQ(image.pixel(x + 1, y + 1), qRgb(0xC8, 0, 0));
  EXPECT_EQ(image.pixel(x, y), qRgb(255, 255, 255));
  b.SetEnabled(false);  // monochrome: the dark red turns black
  EXPECT_EQ(Render(b).pixel(x + 1, y + 1), qRgb(0, 0, 0));

  QImage blank(b.size(), QImage::Format_RGB32);
  blank.fill(Qt::white);
  for (int missing : {1, -2}) {  // no resource "TBTN1"; a negative index
    b.Glyphs().SetGlyph(G0_Up, missing);
    EXPECT_EQ(Render(b), blank) << missing;
  }

  // From a list: greyed when disabled; nothing past the list's end.
  TImageList list(4, 4);
  QImage red(4, 4, QImage::Format_ARGB32);
  red.fill(QColor(220, 0, 0));
  list.Add(red);
  b.Glyphs().SetGlyphList(&list);
  b.Glyphs().SetGlyph(G0_Up, 0);
  b.Glyphs().SetGlyphLayout(laLeft);
  const QColor grey = Render(b).pixelColor(1, 7);
  EXPECT_TRUE(grey.red() == grey.green() && grey.green() == grey.blue() && grey != Qt::white);
  b.SetEnabled(true);
  EXPECT_EQ(Render(b).pixel(1, 7), qRgb(220, 0, 0));
  b.Glyphs().SetGlyph(G0_Up, 1);
  EXPECT_EQ(Render(b), blank);
}

TEST_F(ControlsTest, CaptionIsPlacedByLayoutAdjustmentsAndPress) {
  const TFixedMeasurer fixed(6, 10);
  Probe b(form.get());
  b.resize(40, 30);
  b.SetCaption(u"ab");  // 12 x 10
  QImage image(1, 1, QImage::Format_RGB32);
  TCanvas c(&image);
  c.Measurer = &fixed;
  const struct {
    TBasicBtnLayout layout;
    TRect rect;
  } cases[] = {{laLeft, {0, 10, 12, 20}},   {laTop, {14, 0, 26, 10}},    {laRight, {28, 10, 40, 20}},
               {laBottom, {14, 20, 26, 30}}, {laCenter, {14, 10, 26, 20}}};
  for (const auto& k : cases) {
    b.SetCaptionLayout(k.layout);
    EXPECT_EQ(b.Caption(c), k.rect) << k.layout;
  }
  b.SetCaptionAdjustH(3);
  b.SetCaptionAdjustV(-2);
  EXPECT_EQ(b.Caption(c), (TRect{17, 8, 29, 18}));
  b.SetOptions(b.Options() | boCaptionMoveOnClick);
  b.Force(true, true);  // state 2 moves it one pixel
  EXPECT_EQ(b.Caption(c), (TRect{18, 9, 30, 19}));
  b.SetCaption(u"ab cd ef gh ij kl mn");  // "ab cd" / "ef gh" / "ij kl" / "mn" in 40 pixels
  EXPECT_EQ(b.Caption(c).Width(), 30);
  EXPECT_EQ(b.Caption(c).Height(), 40);
}

// The grey of the gradient at row y in the middle of the button.
int Gray(const QImage& image, int y) { return qRed(image.pixel(image.width() / 2, y)); }

TEST_F(ControlsTest, GLSButtonPaintsItsFrameAndGradientByState) {
  Probe b(form.get());
  b.resize(33, 22);
  QImage up = Render(b);
  EXPECT_EQ(Gray(up, 1), 255);
  EXPECT_EQ(Gray(up, 20), 195);  // one step short of $C0
  EXPECT_EQ(up.pixel(0, 11), qRgb(0x25, 0x58, 0x87));
  EXPECT_EQ(up.pixel(32, 11), qRgb(0x25, 0x58, 0x87));
  EXPECT_EQ(up.pixel(1, 11), qRgb(255, 255, 255));  // left of the gradient
  b.Force(true, true);  // pressed: from Color down to white
  EXPECT_EQ(Gray(Render(b), 1), 192);
  EXPECT_EQ(Gray(Render(b), 20), 252);
  b.Force(false, false);
  b.SetBtnType(btUpSD);
  b.SetStillDown(true);  // still down: white inside
  EXPECT_EQ(Gray(Render(b), 10), 255);
  b.SetStillDown(false);
  b.SetEnabled(false);
  const QImage disabled = Render(b);
  EXPECT_EQ(disabled.pixel(0, 11), qRgb(0x46, 0x8C, 0xCE));
  EXPECT_EQ(Gray(disabled, 1), 0xFB);
  EXPECT_EQ(Gray(disabled, 20), 195);
  b.SetEnabled(true);
  b.SetColor(0x00A7FE00);  // $BBGGRR: green
  const QColor last = Render(b).pixelColor(16, 20);
  EXPECT_TRUE(last.green() > last.blue() && last.red() < 30);
  b.resize(33, 4);  // two rows: 255, then 254.5 to even
  b.SetColor(0x00FEFEFE);
  EXPECT_EQ(Gray(Render(b), 2), 254);
  b.resize(33, 2);  // no gradient row at all
  const QImage flat = Render(b);
  b.SetColor(0x00000000);
  EXPECT_EQ(Render(b), flat);
}

TEST_F(ControlsTest, DisabledGLSCaptionIsEmbossed) {
  TGLSButton b(form.get());
  b.resize(60, 30);
  b.SetColor(0xFBFBFB);  // a flat ground
  b.SetFont({u"DejaVu Sans", 12, clBlack, 0});
  b.SetCaption(u"Hd");
  b.SetEnabled(false);
  const QImage image = Render(b);
  QRect white, grey;
  int darkest = 255;
  for (int y = 2; y < 28; ++y)
    for (int x = 3; x < 57; ++x) {
      const QRgb p = image.pixel(x, y);
      ASSERT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p)) << x << "," << y;
      (qRed(p) > 0xFB ? white : grey) |= qRed(p) == 0xFB ? QRect() : QRect(x, y, 1, 1);
      darkest = std::min(darkest, qRed(p));
    }
  ASSERT_FALSE(white.isEmpty() || grey.isEmpty());
  EXPECT_EQ(white.bottomRight(), grey.bottomRight() + QPoint(1, 1));
  EXPECT_TRUE(darkest >= 0x80 && darkest <= 0x90) << darkest;  // never darker than $808080
}

}  // namespace
