// The window without parameters: choosing the input, Start and Stop, errors, help and About,
// with real widgets offscreen, real files and the real converters.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QKeyEvent>
#include <filesystem>

#include "MirelconVersion.h"
#include "platform/core/Files.h"
#include "platform/gui/Gauges.h"
#include "platform/gui/Menus.h"
#include "tests/app/gui/GuiTest.h"

using namespace guitest;

namespace {

class WindowMode : public GuiTest {
protected:
  // A shown window that has been through its first activation (which gives the title its blank).
  void Open(TFormTessaly& form) {
    EXPECT_EQ(form.windowTitle(), "Mirelcon");
    form.show();
    ASSERT_TRUE(PumpUntil([&] { return form.windowTitle() == "Mirelcon "; }));
  }
  // Start, then pump until the run has come and gone.
  static void StartAndWait(TRecordingForm& form) {
    const size_t before = form.attached.size();
    Click(form.StartStop);
    ASSERT_TRUE(PumpUntil([&] { return form.attached.size() > before && form.GetRunning() == 0; }));
  }
};

}  // namespace

// A missing file, a folder or a file that a writer holds is silently not taken; a file is, with
// the output that its type gives (the extension compared without case), and the gauge cleared.
TEST_F(WindowMode, ChoosingAFileEnablesStart) {
  TFormTessaly form;
  Open(form);
  EXPECT_EQ(State(form), "0 Start #00fea7 inputs3 -  ");
  EXPECT_EQ(form.ExitStatus(), -1);
  WriteTm(dir.File("in.txt"), 3);
  form.ChooseInput(dir.WFile("missing.txt"));
  form.ChooseInput(dir.WFile(""));
  const int fd = ::open(dir.File("in.txt").c_str(), O_RDWR);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  form.ChooseInput(dir.WFile("in.txt"));
  ::close(fd);
  EXPECT_EQ(State(form), "0 Start #00fea7 inputs3 -  ");
  EXPECT_TRUE(form.GetInputName().empty());
  form.Gauge1->SetProgress(40);
  form.ChooseInput(dir.WFile("in.txt"));
  EXPECT_EQ(State(form), "0 Start #00fea7 inputs3 start in.txt in.tmx");
  EXPECT_EQ(form.GetInputName() + u"|" + form.GetOutputName(), dir.WFile("in.txt") + u"|" + dir.WFile("in.tmx"));
  EXPECT_EQ(form.Gauge1->Progress(), 0);
  TempDir::Write(dir.File("B.CSV"), "a\tb\r\n");
  form.ChooseInput(dir.WFile("B.CSV"));
  EXPECT_EQ(form.DestEdit->text(), "B.txt");
  EXPECT_TRUE(boxes.empty());
}

// A file whose name is not UTF-8 is shown with U+FFFD, and converted by its bytes into an output
// named with them.
TEST_F(WindowMode, ANameThatIsNotUtf8IsShownReplacedAndConvertedByItsBytes) {
  TRecordingForm form;
  Open(form);
  WriteTm(dir.File("lat\xE9.txt"), 3);
  form.ChooseInput(platform::NameFromNative(dir.File("lat\xE9.txt")));
  EXPECT_EQ(State(form), "0 Start #00fea7 inputs3 start lat\xEF\xBF\xBD.txt lat\xEF\xBF\xBD.tmx");
  StartAndWait(form);
  EXPECT_EQ(form.Label3->text(), "3 TUs");
  EXPECT_EQ(CountOf(TempDir::Read(dir.File("lat\xE9.tmx")), "<seg>"), 6u);
  EXPECT_FALSE(std::filesystem::exists(dir.File("lat\xEF\xBF\xBD.tmx")));
  EXPECT_TRUE(boxes.empty());
}

// Start only posts the start, and a second click while it is pending queues nothing; then the
// result line and the full gauge. Start again converts the same input again, the result line
// cleared first.
TEST_F(WindowMode, StartRunsAndShowsTheResultLine) {
  TRecordingForm form;
  Open(form);
  WriteTm(dir.File("in.txt"), 1234);
  form.ChooseInput(dir.WFile("in.txt"));
  for (int click = 0; click < 3; ++click) Click(form.StartStop);
  EXPECT_EQ(form.GetRunning(), 0);
  EXPECT_TRUE(form.attached.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.File("in.tmx")));
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
  ASSERT_TRUE(PumpUntil([&] { return !form.attached.empty() && form.GetRunning() == 0; }));
  // Stop in its colour, reachable, and the inputs disabled.
  EXPECT_EQ(form.attached, std::vector<std::string>{"1 Stop #fb5757 inputs0 start in.txt in.tmx"});
  EXPECT_EQ(form.Label3->text(), "1.234 TUs");
  EXPECT_EQ(form.Gauge1->Progress(), 100);
  EXPECT_EQ(CountOf(TempDir::Read(dir.File("in.tmx")), "<seg>"), 2u * 1234);
  EXPECT_EQ(State(form), "0 Start #00fea7 inputs3 start in.txt in.tmx");
  EXPECT_TRUE(boxes.empty());
  form.Label3->setText("old");
  StartAndWait(form);
  EXPECT_EQ(form.attached.size(), 2u);
  EXPECT_EQ(form.Label3->text(), "1.234 TUs");
}

// Stop reaches the job through the converter's event pumping; the document is still closed.
// Closing during a run stops the job too, and closes the window once the conversion has
// returned; a start that arrives after the close is not run.
TEST_F(WindowMode, StopOrCloseDuringALongTmxWriteEndsTheRunEarly) {
  constexpr int kUnits = 200000;
  WriteTm(dir.File("big.txt"), kUnits);
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close);
    TRecordingForm form;
    int closedSignals = 0;
    QObject::connect(&form, &TFormTessaly::FormClosed, [&] { ++closedSignals; });
    Open(form);
    form.ChooseInput(dir.WFile("big.txt"));
    const bool visibleAfterAct = ActWhileRunning(
        form, [&] { close ? (void)form.close() : Click(form.StartStop); }, [&] { StartAndWait(form); });
    EXPECT_TRUE(visibleAfterAct);  // never closed under the running conversion
    EXPECT_EQ(form.isVisible(), !close);
    EXPECT_EQ(closedSignals, close ? 1 : 0);
    const long done = ResultCount(form.Label3->text());
    EXPECT_GE(done, 0) << form.Label3->text().toStdString();
    EXPECT_LT(done, kUnits);
    const std::string tmx = TempDir::Read(dir.File("big.tmx"));
    EXPECT_EQ(CountOf(tmx, "<seg>"), 2u * static_cast<size_t>(done));
    EXPECT_TRUE(tmx.ends_with("</body>\r\n</tmx>\r\n\r\n"));
    ExpectIdle(form);
    EXPECT_TRUE(boxes.empty());
    if (close) {
      Click(form.StartStop);
      for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
      EXPECT_EQ(form.attached.size(), 1u);
    }
  }
}

// A conversion that fails is shown, naming the file, never as "0 TUs", and the window is idle
// again, already while the box is up.
TEST_F(WindowMode, AnExceptionReturnsTheWindowToIdle) {
  TRecordingForm form;
  Open(form);
  WriteTm(dir.File("in.txt"), 5);
  form.ChooseInput(dir.WFile("in.txt"));
  std::filesystem::create_directory(dir.File("in.tmx"));  // an output that cannot be created
  onBox = [&] { ExpectIdle(form); };
  ::testing::internal::CaptureStderr();
  StartAndWait(form);
  const std::string err = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].text.contains(QString::fromStdString(dir.File("in.tmx")))) << boxes[0].text.toStdString();
  EXPECT_NE(err.find(dir.File("in.tmx")), std::string::npos);
  EXPECT_EQ(form.Label3->text(), "");
  EXPECT_EQ(State(form), "0 Start #00fea7 inputs3 start in.txt in.tmx");
  std::filesystem::remove(dir.File("in.tmx"));
  StartAndWait(form);
  EXPECT_EQ(form.Label3->text(), "5 TUs");
  EXPECT_EQ(boxes.size(), 1u);
}

// F1 in the input box shows the help, as text; About shows the version.
TEST_F(WindowMode, HelpAndAbout) {
  TFormTessaly form;
  Open(form);
  for (const Qt::Key key : {Qt::Key_F2, Qt::Key_F1}) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(form.SourceEdit, &event);
  }
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Help");
  EXPECT_TRUE(boxes[0].text.startsWith("You can get help through the web page of ")) << boxes[0].text.toStdString();
  EXPECT_TRUE(boxes[0].text.endsWith(" video."));
  EXPECT_FALSE(boxes[0].text.contains('<'));
  form.AboutMenu->Click();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].text, QString("Multiformat converter ") + MIRELCON_VERSION_TEXT);
}
