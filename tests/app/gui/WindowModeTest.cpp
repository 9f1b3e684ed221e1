// The window without parameters: choosing the input, Start and Stop, errors, help and About,
// with real widgets offscreen, real files and the real converters.
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <QAction>
#include <QKeyEvent>
#include <QProgressBar>
#include <QTimer>
#include <filesystem>

#include "MirelconVersion.h"
#include "tests/app/gui/GuiTest.h"

using namespace guitest;

namespace {

class WindowMode : public GuiTest {
protected:
  // A shown window that has been through its first activation.
  void Open(TFormTessaly& form) {
    form.show();
    ASSERT_TRUE(PumpUntil([&] { return form.windowTitle() == "Mirelcon "; }));
  }
  // Start, then pump until the run has come and gone.
  static void StartAndWait(TRecordingForm& form) {
    const size_t before = form.attached.size();
    form.StartStop->click();
    ASSERT_TRUE(PumpUntil([&] { return form.attached.size() > before && form.GetRunning() == 0; }));
  }
};

}  // namespace

TEST_F(WindowMode, ChoosingAFileEnablesStart) {
  TFormTessaly form;
  EXPECT_EQ(form.windowTitle(), "Mirelcon");
  Open(form);  // the first activation gives the title its blank
  EXPECT_FALSE(form.StartStop->isEnabled());
  ExpectIdle(form);
  EXPECT_EQ(form.ExitStatus(), -1);
  WriteTm(dir.File("in.txt"), 3);

  // A missing file or a file that a writer holds is silently not taken.
  form.ChooseInput(dir.WFile("missing.txt"));
  form.ChooseInput(dir.WFile(""));  // the folder itself
  const int fd = ::open(dir.File("in.txt").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  form.ChooseInput(dir.WFile("in.txt"));
  ::close(fd);
  EXPECT_FALSE(form.StartStop->isEnabled());
  EXPECT_TRUE(form.SourceEdit->text().isEmpty());
  EXPECT_TRUE(form.GetInputName().empty());
  EXPECT_TRUE(boxes.empty());

  form.Gauge1->setValue(40);
  form.ChooseInput(dir.WFile("in.txt"));
  EXPECT_TRUE(form.StartStop->isEnabled());
  EXPECT_EQ(form.SourceEdit->text(), "in.txt");
  EXPECT_EQ(form.DestEdit->text(), "in.tmx");
  EXPECT_EQ(form.GetInputName(), dir.WFile("in.txt"));
  EXPECT_EQ(form.GetOutputName(), dir.WFile("in.tmx"));
  EXPECT_EQ(form.Gauge1->value(), 0);
  ExpectIdle(form);

  // The output follows the input's type; the extension is compared without case.
  TempDir::Write(dir.File("B.CSV"), "a\tb\r\n");
  form.ChooseInput(dir.WFile("B.CSV"));
  EXPECT_EQ(form.DestEdit->text(), "B.txt");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowMode, StartRunsAndShowsTheResultLine) {
  TRecordingForm form;
  Open(form);
  WriteTm(dir.File("in.txt"), 1234);
  form.ChooseInput(dir.WFile("in.txt"));

  form.StartStop->click();
  // Start only posts the start: nothing has run inside the click.
  EXPECT_EQ(form.GetRunning(), 0);
  EXPECT_TRUE(form.attached.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.File("in.tmx")));
  ASSERT_TRUE(PumpUntil([&] { return !form.attached.empty() && form.GetRunning() == 0; }));

  ASSERT_EQ(form.attached.size(), 1u);
  const TRecordingForm::Seen& during = form.attached[0];
  EXPECT_EQ(during.running, 1);
  EXPECT_EQ(during.caption, "Stop");
  EXPECT_EQ(during.color, QColor(0xFB, 0x57, 0x57));
  EXPECT_FALSE(during.inputsEnabled);
  EXPECT_TRUE(during.startEnabled);  // Stop stays reachable

  EXPECT_EQ(form.Label3->text(), "1.234 TUs");
  EXPECT_EQ(form.Gauge1->value(), 100);
  const std::string tmx = TempDir::Read(dir.File("in.tmx"));
  EXPECT_EQ(CountOf(tmx, "<seg>"), 2u * 1234);
  EXPECT_NE(tmx.rfind("</tmx>"), std::string::npos);
  ExpectIdle(form);
  EXPECT_TRUE(form.StartStop->isEnabled());
  EXPECT_TRUE(boxes.empty());

  // Start again converts the same input again; the result line is cleared first.
  form.Label3->setText("old");
  StartAndWait(form);
  EXPECT_EQ(form.attached.size(), 2u);
  EXPECT_EQ(form.Label3->text(), "1.234 TUs");
}

TEST_F(WindowMode, ASecondStartIsNotQueuedWhileOneIsPending) {
  TRecordingForm form;
  Open(form);
  WriteTm(dir.File("in.txt"), 10);
  form.ChooseInput(dir.WFile("in.txt"));
  form.StartStop->click();
  form.StartStop->click();
  form.StartStop->click();
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(form.attached.size(), 1u);
  ExpectIdle(form);
  // Once the run is over, Start works again.
  StartAndWait(form);
  EXPECT_EQ(form.attached.size(), 2u);
}

// Stop reaches the job through the converter's event pumping; the document is still closed.
TEST_F(WindowMode, StopDuringALongTmxWriteEndsTheRunEarly) {
  constexpr int kUnits = 200000;
  TRecordingForm form;
  Open(form);
  WriteTm(dir.File("big.txt"), kUnits);
  form.ChooseInput(dir.WFile("big.txt"));

  int stops = 0;
  QTimer stopper;
  stopper.setInterval(0);
  QObject::connect(&stopper, &QTimer::timeout, [&] {
    if (form.GetRunning() == 1 && form.GetCurrentJob()) {
      ++stops;
      form.StartStop->click();
      stopper.stop();
    }
  });
  stopper.start();
  StartAndWait(form);
  stopper.stop();

  EXPECT_EQ(stops, 1);
  const long done = ResultCount(form.Label3->text());
  EXPECT_TRUE(form.Label3->text().endsWith(" TUs")) << form.Label3->text().toStdString();
  EXPECT_GE(done, 0);
  EXPECT_LT(done, kUnits);
  const std::string tmx = TempDir::Read(dir.File("big.tmx"));
  EXPECT_EQ(CountOf(tmx, "<seg>"), 2u * static_cast<size_t>(done));
  const std::string tail = "</body>\r\n</tmx>\r\n\r\n";
  ASSERT_GE(tmx.size(), tail.size());
  EXPECT_EQ(tmx.substr(tmx.size() - tail.size()), tail);
  ExpectIdle(form);
  EXPECT_TRUE(boxes.empty());
}

// Closing during a run stops the job and closes the window once the conversion has returned.
TEST_F(WindowMode, ClosingDuringARunStopsTheJobFirst) {
  constexpr int kUnits = 200000;
  TRecordingForm form;
  int closedSignals = 0;
  QObject::connect(&form, &TFormTessaly::FormClosed, [&] { ++closedSignals; });
  Open(form);
  WriteTm(dir.File("big.txt"), kUnits);
  form.ChooseInput(dir.WFile("big.txt"));

  bool visibleAfterClose = false;
  QTimer closer;
  closer.setInterval(0);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (form.GetRunning() == 1 && form.GetCurrentJob()) {
      form.close();
      visibleAfterClose = form.isVisible();
      closer.stop();
    }
  });
  closer.start();
  StartAndWait(form);
  closer.stop();

  EXPECT_TRUE(visibleAfterClose);  // not closed under the running conversion
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(closedSignals, 1);
  EXPECT_LT(ResultCount(form.Label3->text()), kUnits);
  const std::string tmx = TempDir::Read(dir.File("big.tmx"));
  EXPECT_NE(tmx.find("</tmx>", tmx.size() - 32), std::string::npos);
  EXPECT_TRUE(boxes.empty());

  // A start that arrives after the close is not run.
  form.StartStop->click();
  for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(form.attached.size(), 1u);
}

// A conversion that fails is shown, naming the file, and the window is idle again.
TEST_F(WindowMode, AnExceptionReturnsTheWindowToIdle) {
  TRecordingForm form;
  Open(form);
  WriteTm(dir.File("in.txt"), 5);
  form.ChooseInput(dir.WFile("in.txt"));
  std::filesystem::create_directory(dir.File("in.tmx"));  // an output that cannot be created

  ::testing::internal::CaptureStderr();
  StartAndWait(form);
  const std::string err = ::testing::internal::GetCapturedStderr();

  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].text.contains(QString::fromStdString(dir.File("in.tmx")))) << boxes[0].text.toStdString();
  EXPECT_NE(err.find(dir.File("in.tmx")), std::string::npos);
  EXPECT_EQ(form.Label3->text(), "");  // never "0 TUs"
  ExpectIdle(form);
  EXPECT_TRUE(form.StartStop->isEnabled());

  // While the box was up the window was already idle.
  onBox = [&] { ExpectIdle(form); };
  StartAndWait(form);
  EXPECT_EQ(boxes.size(), 2u);

  std::filesystem::remove(dir.File("in.tmx"));
  StartAndWait(form);
  EXPECT_EQ(form.Label3->text(), "5 TUs");
  EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(WindowMode, SdlxliffShowsNotImplementedAndEndsIdle) {
  TRecordingForm form;
  Open(form);
  TempDir::Write(dir.File("doc.sdlxliff"), "<xliff/>");
  form.ChooseInput(dir.WFile("doc.sdlxliff"));
  EXPECT_EQ(form.DestEdit->text(), "doc.tmx");
  bool runningWhileShown = false;
  onBox = [&] { runningWhileShown = form.GetRunning() == 1; };
  form.StartStop->click();
  ASSERT_TRUE(PumpUntil([&] { return !boxes.empty() && form.GetRunning() == 0; }));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].text, "Not yet implemented");
  EXPECT_TRUE(runningWhileShown);
  ExpectIdle(form);
  EXPECT_FALSE(std::filesystem::exists(dir.File("doc.tmx")));
}

TEST_F(WindowMode, F1InTheInputBoxShowsHelp) {
  TFormTessaly form;
  Open(form);
  QKeyEvent other(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
  QCoreApplication::sendEvent(form.SourceEdit, &other);
  EXPECT_TRUE(boxes.empty());
  QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
  QCoreApplication::sendEvent(form.SourceEdit, &f1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Help");
  EXPECT_TRUE(boxes[0].text.startsWith("You can get help through the web page of ")) << boxes[0].text.toStdString();
  EXPECT_TRUE(boxes[0].text.endsWith(" video."));
  EXPECT_FALSE(boxes[0].text.contains('<'));  // shown as text
}

TEST_F(WindowMode, AboutShowsTheVersion) {
  TFormTessaly form;
  Open(form);
  form.AboutMenu->trigger();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, QString("Multiformat converter ") + MIRELCON_VERSION_TEXT);
}
