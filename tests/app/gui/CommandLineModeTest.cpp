// The window with parameters: the command line runs once when the window first comes up, each
// file's failure is reported and the batch goes on, and the window closes with the run's status.
// Also the program itself with a display.
#include <filesystem>

#include "platform/core/Files.h"
#include "tests/app/gui/GuiTest.h"
#include "tests/support/RunProgram.h"

using namespace guitest;

namespace {

class CommandLineMode : public GuiTest {
protected:
  // Shows the window with params and pumps until its run has ended; the exit status, with
  // standard error in err.
  int Run(TRecordingForm& form) {
    ::testing::internal::CaptureStderr();
    form.show();
    EXPECT_TRUE(PumpUntil([&] { return form.ExitStatus() >= 0; }));
    err = ::testing::internal::GetCapturedStderr();
    return form.ExitStatus();
  }
  std::vector<WideString> Params(std::initializer_list<std::string> args) {
    std::vector<WideString> p;
    for (const std::string& a : args) p.push_back(platform::Utf8ToUtf16(a[0] == '@' ? dir.File(a.substr(1)) : a));
    return p;
  }
  std::string err;
};

}  // namespace

// A file that fails is reported, on standard error and in the box of the visible window, and
// the batch goes on from the same starting state; the status says that a file failed. /QUIET
// hides the window: a failure goes to standard error only, no box waits for a click.
TEST_F(CommandLineMode, AFailedFileIsReportedAndTheBatchGoesOn) {
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) WriteTm(dir.File(name), 2);
  std::filesystem::create_directory(dir.File("b.tmx"));
  for (const bool quiet : {false, true}) {
    SCOPED_TRACE(quiet);
    boxes.clear();
    TRecordingForm form(quiet ? Params({"/quiet", "@*.txt"}) : Params({"@*.txt"}));
    EXPECT_EQ(Run(form), ExitFileFailed);
    ASSERT_EQ(boxes.size(), quiet ? 0u : 1u);
    if (!quiet) {
      EXPECT_TRUE(boxes[0].text.contains(QString::fromStdString(dir.File("b.tmx")))) << boxes[0].text.toStdString();
    }
    EXPECT_NE(err.find(dir.File("b.tmx")), std::string::npos) << err;
    EXPECT_EQ(form.attached, (std::vector<std::string>{"1 Stop #fb5757 inputs0 start a.txt a.tmx",
                                                       "1 Stop #fb5757 inputs0 start b.txt b.tmx",
                                                       "1 Stop #fb5757 inputs0 start c.txt c.tmx"}));
    EXPECT_EQ(CountOf(TempDir::Read(dir.File("c.tmx")), "<seg>"), 4u);
    EXPECT_EQ(form.Label3->text(), "2 TUs");
    // Afterwards the controls are back and there is nothing to start.
    EXPECT_EQ(State(form), "0 Start #00fea7 inputs3 - c.txt c.tmx");
    EXPECT_EQ(form.GetCurrentJob(), nullptr);
    EXPECT_FALSE(form.isVisible());
  }
}

// Names that are not UTF-8 are shown with U+FFFD, in the window's boxes and on standard error,
// and each file is converted by its bytes.
TEST_F(CommandLineMode, NamesThatAreNotUtf8AreShownReplaced) {
  WriteTm(dir.File("lat\xE9.txt"), 2);
  WriteTm(dir.File("x\xFF.txt"), 2);
  std::filesystem::create_directory(dir.File("x\xFF.tmx"));
  TRecordingForm form({platform::NameFromNative(dir.File("*.txt"))});
  EXPECT_EQ(Run(form), ExitFileFailed);
  EXPECT_EQ(form.attached, (std::vector<std::string>{"1 Stop #fb5757 inputs0 start lat\xEF\xBF\xBD.txt lat\xEF\xBF\xBD.tmx",
                                                     "1 Stop #fb5757 inputs0 start x\xEF\xBF\xBD.txt x\xEF\xBF\xBD.tmx"}));
  EXPECT_EQ(CountOf(TempDir::Read(dir.File("lat\xE9.tmx")), "<seg>"), 4u);
  const std::string shown = dir.File("x\xEF\xBF\xBD.tmx");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].text.contains(QString::fromStdString(shown))) << boxes[0].text.toStdString();
  for (const QChar c : boxes[0].text) EXPECT_FALSE(c.isSurrogate()) << boxes[0].text.toStdString();
  EXPECT_NE(err.find(shown), std::string::npos) << err;
}

// Help shows the usage, the window hidden first, and does nothing else; names that convert
// nothing end the run with a message; a mask that matches nothing is an error, not a silent
// success.
TEST_F(CommandLineMode, MessagesThatEndTheRun) {
  WriteTm(dir.File("in.txt"), 2);
  const struct {
    std::vector<WideString> params;
    int status;
    std::string box;
  } cases[] = {{Params({"@in.txt", "/?"}), ExitOk, "Usage: Mirelcon [parameters] InputFile [OutputDirectory]\r\r"},
               {Params({"@missing.txt"}), ExitBadParameters, "Bad FileName"},
               {Params({"/S", "@nowhere/*.txt"}), ExitBadParameters, "Bad source directory"},
               {Params({"@*.tmx"}), ExitFileFailed, "No file to convert matches \"" + dir.File("*.tmx") + "\"."}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.box);
    boxes.clear();
    TRecordingForm form(c.params);
    bool hiddenAtBox = false;
    onBox = [&] { hiddenAtBox = !form.isVisible(); };
    EXPECT_EQ(Run(form), c.status);
    ASSERT_EQ(boxes.size(), 1u);
    const bool usage = c.status == ExitOk;
    EXPECT_EQ(boxes[0].text.toStdString().substr(0, usage ? c.box.size() : std::string::npos), c.box);
    EXPECT_EQ(hiddenAtBox, usage);
    EXPECT_TRUE(form.begun.empty());
    EXPECT_FALSE(form.isVisible());
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("in.tmx")));
  EXPECT_NE(err.find(dir.File("*.tmx")), std::string::npos) << err;
}

// A box that closes during the run activates the window again; the run is not repeated.
TEST_F(CommandLineMode, TheCommandLineRunsOnlyOnce) {
  TempDir::Write(dir.File("a.sdlxliff"), "<xliff/>");
  TempDir::Write(dir.File("b.sdlxliff"), "<xliff/>");
  TRecordingForm form(Params({"@*.sdlxliff"}));
  onBox = [&] {
    form.activateWindow();
    form.hide();
    form.show();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  };
  EXPECT_EQ(Run(form), ExitFileFailed);  // nothing was converted
  ASSERT_EQ(boxes.size(), 2u);  // one per file, also in a batch
  EXPECT_EQ(boxes[0].caption + "|" + boxes[0].text, "Error|Not yet implemented");
  EXPECT_NE(err.find("Error: " + dir.File("a.sdlxliff") + ": Not yet implemented"), std::string::npos) << err;
  EXPECT_EQ(form.begun.size(), 2u);
  onBox = nullptr;
  form.show();
  form.activateWindow();
  for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(form.begun.size(), 2u);
}

// Closing the window during a batch stops the running file and begins no further one.
TEST_F(CommandLineMode, ClosingDuringABatchStopsIt) {
  constexpr int kUnits = 200000;
  WriteTm(dir.File("a.txt"), kUnits);
  WriteTm(dir.File("b.txt"), 3);
  TRecordingForm form(Params({"@*.txt"}));
  int closedSignals = 0, status = -1;
  QObject::connect(&form, &TFormTessaly::FormClosed, [&] { ++closedSignals; });
  ActWhileRunning(form, [&] { form.close(); }, [&] { status = Run(form); });
  EXPECT_EQ(status, ExitFileFailed);  // not every file was converted
  EXPECT_EQ(closedSignals, 1);
  EXPECT_TRUE(boxes.empty());
  EXPECT_NE(err.find(dir.File("b.txt")), std::string::npos) << err;
  EXPECT_LT(ResultCount(form.Label3->text()), kUnits);
  EXPECT_FALSE(std::filesystem::exists(dir.File("b.tmx")));
  EXPECT_EQ(form.begun.size(), 2u);  // b was refused at its start
  ExpectIdle(form);
}

// With a display the window runs the command line: the result goes to the window, not to
// standard output, and a failure to standard error.
TEST(Program, WithADisplayTheWindowRunsTheCommandLine) {
  TempDir dir;
  WriteTm(dir.File("in.txt"), 3);
  WriteTm(dir.File("bad.txt"), 3);
  std::filesystem::create_directory(dir.File("bad.tmx"));
  const RunOptions display({"QT_QPA_PLATFORM=offscreen"});
  ProgramRun r = RunProgram(MIRELCON_EXE, {"/QUIET", dir.File("in.txt")}, display);
  EXPECT_EQ(r.status, ExitOk) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(CountOf(TempDir::Read(dir.File("in.tmx")), "<seg>"), 6u);
  r = RunProgram(MIRELCON_EXE, {"--quiet", dir.File("*.txt")}, display);
  EXPECT_EQ(r.status, ExitFileFailed) << r.err;
  EXPECT_NE(r.err.find(dir.File("bad.tmx")), std::string::npos) << r.err;
}
