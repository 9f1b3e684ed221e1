// The window made of the project's own controls: its layout and colours to the pixel, and the
// browse-and-convert flow through the real glyph buttons and the open dialog.
#include <QFileDialog>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QTextEdit>
#include <QLineEdit>
#include <tuple>

#include "app/gui/AboutUnit.h"
#include "app/gui/MyMessageDlgs.h"
#include "platform/gui/Gauges.h"
#include "unicode/gui/UniButtons.h"
#include "tests/app/gui/GuiTest.h"

using namespace guitest;

namespace {

TColor PixelAt(const QImage& image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  return RGB(qRed(p), qGreen(p), qBlue(p));
}

// Runs step on the modal file dialog once it is up.
void WhenDialogOpen(std::function<void(QFileDialog&)> step, int tries = 500) {
  qttest::WhenModalOpen<QFileDialog, QApplication>(std::move(step), tries);
}

class WindowControls : public GuiTest {
protected:
  void Open(TFormTessaly& form) {
    form.show();
    ASSERT_TRUE(PumpUntil([&] { return form.windowTitle() == "Mirelcon "; }));
  }
  // The StartStop button's pixel at (x, y) of the button, in a grab of the whole window.
  static TColor StartStopPixel(TFormTessaly& form, int x, int y) {
    return PixelAt(form.grab().toImage(), form.StartStop->x() + x, form.StartStop->y() + y);
  }
};

TEST_F(WindowControls, LayoutAndColoursToThePixel) {
  TRecordingForm form;
  Open(form);
  EXPECT_EQ(StartStopPixel(form, 0, 28), RGB(0x46, 0x8C, 0xCE));  // disabled until a file is chosen
  WriteTm(dir.File("in.txt"), 3);
  form.ChooseInput(dir.WFile("in.txt"));
  const QImage image = form.grab().toImage();
  EXPECT_EQ(image.size(), QSize(288, 155));
  const std::tuple<QWidget*, QRect> layout[] = {
      {form.SourceEdit, {16, 24, 209, 21}},       {form.DestEdit, {16, 72, 209, 21}},
      {form.Gauge1, {16, 112, 209, 16}},          {form.SearchTMFileName, {238, 23, 24, 24}},
      {form.StartStop, {238, 72, 33, 57}},
  };
  for (const auto& [control, rect] : layout) EXPECT_EQ(control->geometry(), rect) << control->objectName().toStdString();
  EXPECT_EQ(form.Label3->geometry().right() + 1, 225);
  EXPECT_EQ(form.Label3->y(), 99);
  EXPECT_TRUE(form.Label3->alignment() & Qt::AlignRight);
  EXPECT_TRUE(form.DestEdit->ReadOnly() && form.DestEdit->Color() == clBtnFace);
  EXPECT_EQ(form.StartStop->Caption(), u"Start");
  EXPECT_EQ(StartStopPixel(form, 0, 28), RGB(0x25, 0x58, 0x87));
  EXPECT_EQ(StartStopPixel(form, 16, 55), RGB(5, 254, 169));

  form.Gauge1->SetProgress(50);
  const QImage gauge = form.grab().toImage();
  EXPECT_EQ(PixelAt(gauge, 16 + 10, 112 + 2), clLime);
  EXPECT_EQ(PixelAt(gauge, 16 + 200, 112 + 2), clWhite);
  for (auto [value, held] : {std::pair{150, 100}, {-5, 0}, {42, 42}}) {
    form.Gauge1->SetProgress(value);
    EXPECT_EQ(form.Gauge1->Progress(), held);
  }

  WriteTm(dir.File("big.txt"), 100000);
  form.ChooseInput(dir.WFile("big.txt"));
  TColor running = 0;
  WideString caption;
  ActWhileRunning(
      form,
      [&] {
        caption = form.StartStop->Caption();
        running = StartStopPixel(form, 16, 55);
        Click(form.StartStop);
      },
      [&] {
        Click(form.StartStop);
        ASSERT_TRUE(PumpUntil([&] { return !form.attached.empty() && form.GetRunning() == 0; }));
      });
  EXPECT_EQ(caption, u"Stop");
  EXPECT_EQ(running, RGB(251, 90, 90));
}

TEST_F(WindowControls, BrowseAndConvertThroughTheControls) {
  TRecordingForm form;
  Open(form);
  WriteTm(dir.File("in.txt"), 1234);
  const QString name = QString::fromStdString(dir.File("in.txt"));
  WhenDialogOpen([&](QFileDialog& d) {
    EXPECT_EQ(d.nameFilters().size(), 6);
    d.findChild<QLineEdit*>("fileNameEdit")->setText(name);
    static_cast<QDialog&>(d).accept();
  });
  Click(form.SearchTMFileName);
  EXPECT_EQ(State(form), "0 Start #00fea7 inputs3 start in.txt in.tmx");
  Click(form.StartStop);
  ASSERT_TRUE(PumpUntil([&] { return !form.attached.empty() && form.GetRunning() == 0; }));
  EXPECT_EQ(form.Label3->text(), "1.234 TUs");

  WhenDialogOpen([](QFileDialog& d) { d.reject(); });
  Click(form.SearchTMFileName);
  EXPECT_EQ(State(form), "0 Start #00fea7 inputs3 start in.txt in.tmx");
  EXPECT_EQ(form.GetInputName(), dir.WFile("in.txt"));
  EXPECT_TRUE(boxes.empty());
}

// The windows' text is in the faces they name from the first window on, and each character is
// drawn as itself: MS Sans Serif's own ligature would draw "TM" as one trade-mark sign.
TEST_F(WindowControls, TheFirstWindowDrawsItsOwnFaceWithoutLigatures) {
  TFormTessaly form;
  TMessageDlg box;
  TAboutWinQm2TMX about;
  const std::tuple<QWidget*, const char*> widgets[] = {
      {form.SourceEdit, "MS Sans Serif"}, {form.DestEdit, "MS Sans Serif"}, {form.Label1, "MS Sans Serif"},
      {form.Label3, "MS Sans Serif"},     {about.Memo1, "MS Sans Serif"},   {box.OkButton, "Tahoma"},
  };
  for (const auto& [w, family] : widgets) {
    const QFontMetricsF m(w->font());
    EXPECT_EQ(QFontInfo(w->font()).family().toStdString(), family) << w->metaObject()->className();
    EXPECT_NEAR(m.horizontalAdvance("TM"), m.horizontalAdvance("T") + m.horizontalAdvance("M"), 0.5)
        << w->metaObject()->className();
  }
}

}  // namespace
