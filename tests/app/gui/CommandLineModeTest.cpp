// The window with parameters: the command line runs once when the window first comes up, each
// file's failure is reported and the batch goes on, and the window closes with the run's status.
// Also the program itself, with and without a display.
#include <sys/wait.h>

#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include "tests/app/gui/GuiTest.h"

using namespace guitest;

namespace {

class CommandLineMode : public GuiTest {
protected:
  // Shows the window with params and pumps until its run has ended; the exit status.
  int Run(TRecordingForm& form) {
    form.show();
    EXPECT_TRUE(PumpUntil([&] { return form.ExitStatus() >= 0; }));
    return form.ExitStatus();
  }
};

std::vector<WideString> Params(std::initializer_list<std::string> args) {
  std::vector<WideString> p;
  for (const std::string& a : args) p.emplace_back(a.begin(), a.end());
  return p;
}

}  // namespace

TEST_F(CommandLineMode, OneFileConvertsAndTheWindowCloses) {
  WriteTm(dir.File("in.txt"), 1234);
  TRecordingForm form(Params({dir.File("in.txt"), "/PROP_TYPE=x-Client", "-prop_type="}));
  int closedSignals = 0;
  QObject::connect(&form, &TFormTessaly::FormClosed, [&] { ++closedSignals; });
  EXPECT_EQ(Run(form), ExitOk);
  EXPECT_EQ(closedSignals, 1);
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(form.Label3->text(), "1.234 TUs");
  EXPECT_EQ(CountOf(TempDir::Read(dir.File("in.tmx")), "<seg>"), 2u * 1234);

  // While the file ran: its names in the boxes, the inputs disabled, Stop enabled.
  ASSERT_EQ(form.attached.size(), 1u);
  EXPECT_EQ(form.attached[0].source, "in.txt");
  EXPECT_EQ(form.attached[0].dest, "in.tmx");
  EXPECT_EQ(form.attached[0].caption, "Stop");
  EXPECT_FALSE(form.attached[0].inputsEnabled);
  EXPECT_TRUE(form.attached[0].startEnabled);
  // Afterwards the controls are back and there is nothing to start.
  ExpectIdle(form);
  EXPECT_FALSE(form.StartStop->isEnabled());

  const TUniStringList* types = form.PropTypes();
  ASSERT_EQ(types->Count(), 2);
  EXPECT_EQ(types->Get(0), u"x-Client");
  EXPECT_EQ(types->Get(1), u"");
}

// A file that fails is reported, on standard error and in the box of the visible window, and
// the batch goes on; the status says that a file failed.
TEST_F(CommandLineMode, AFailedFileIsReportedAndTheBatchGoesOn) {
  WriteTm(dir.File("a.txt"), 2);
  WriteTm(dir.File("b.txt"), 3);
  WriteTm(dir.File("c.txt"), 4);
  std::filesystem::create_directory(dir.File("b.tmx"));
  TRecordingForm form(Params({dir.File("*.txt")}));
  std::vector<bool> idleAtBox;
  onBox = [&] { idleAtBox.push_back(form.GetRunning() == 0 && form.SourceEdit->isEnabled()); };

  ::testing::internal::CaptureStderr();
  const int status = Run(form);
  const std::string err = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(status, ExitFileFailed);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].text.contains(QString::fromStdString(dir.File("b.tmx")))) << boxes[0].text.toStdString();
  EXPECT_NE(err.find(dir.File("b.tmx")), std::string::npos) << err;
  // Every file ran from the same starting state, the failed one included.
  ASSERT_EQ(form.attached.size(), 3u);
  for (const auto& seen : form.attached) {
    EXPECT_EQ(seen.running, 1);
    EXPECT_EQ(seen.caption, "Stop");
    EXPECT_FALSE(seen.inputsEnabled);
  }
  EXPECT_EQ(form.attached[2].source, "c.txt");
  EXPECT_EQ(CountOf(TempDir::Read(dir.File("a.tmx")), "<seg>"), 4u);
  EXPECT_EQ(CountOf(TempDir::Read(dir.File("c.tmx")), "<seg>"), 8u);
  ExpectIdle(form);
  EXPECT_FALSE(form.isVisible());
}

// /QUIET hides the window: a failure goes to standard error only, no box waits for a click.
TEST_F(CommandLineMode, QuietRunShowsNoErrorBox) {
  WriteTm(dir.File("b.txt"), 3);
  std::filesystem::create_directory(dir.File("b.tmx"));
  TRecordingForm form(Params({"/quiet", dir.File("b.txt")}));
  ::testing::internal::CaptureStderr();
  const int status = Run(form);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, ExitFileFailed);
  EXPECT_TRUE(boxes.empty());
  EXPECT_NE(err.find(dir.File("b.tmx")), std::string::npos) << err;
  EXPECT_FALSE(form.isVisible());
}

TEST_F(CommandLineMode, HelpShowsTheUsageAndDoesNothingElse) {
  WriteTm(dir.File("in.txt"), 2);
  TRecordingForm form(Params({dir.File("in.txt"), "/?"}));
  bool hiddenAtBox = false;
  onBox = [&] { hiddenAtBox = !form.isVisible(); };
  EXPECT_EQ(Run(form), ExitOk);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(hiddenAtBox);
  EXPECT_TRUE(boxes[0].text.startsWith("Usage: Mirelcon [parameters] InputFile [OutputDirectory]\r\r"));
  EXPECT_TRUE(form.begun.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.File("in.tmx")));
}

TEST_F(CommandLineMode, BadNamesEndTheRunWithAMessage) {
  {
    TRecordingForm form(Params({dir.File("missing.txt")}));
    EXPECT_EQ(Run(form), ExitBadParameters);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Bad FileName");
    EXPECT_FALSE(form.isVisible());
  }
  {
    TRecordingForm form(Params({"/S", dir.File("nowhere/*.txt")}));
    EXPECT_EQ(Run(form), ExitBadParameters);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "Bad source directory");
  }
  {
    // A mask that matches nothing converts nothing: an error, not a silent success.
    TRecordingForm form(Params({dir.File("*.tmx")}));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Run(form), ExitFileFailed);
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_TRUE(boxes[2].text.contains(QString::fromStdString(dir.File("*.tmx")))) << boxes[2].text.toStdString();
    EXPECT_NE(err.find(dir.File("*.tmx")), std::string::npos) << err;
  }
}

// A box that closes during the run activates the window again; the run is not repeated.
TEST_F(CommandLineMode, TheCommandLineRunsOnlyOnce) {
  TempDir::Write(dir.File("a.sdlxliff"), "<xliff/>");
  TempDir::Write(dir.File("b.sdlxliff"), "<xliff/>");
  TRecordingForm form(Params({dir.File("*.sdlxliff")}));
  onBox = [&] {
    form.activateWindow();
    form.hide();
    form.show();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  };
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Run(form), ExitFileFailed);  // nothing was converted
  const std::string err = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(boxes.size(), 2u);  // one per file, also in a batch
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].text, "Not yet implemented");
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
  TRecordingForm form(Params({dir.File("*.txt")}));
  int closedSignals = 0;
  QObject::connect(&form, &TFormTessaly::FormClosed, [&] { ++closedSignals; });
  QTimer closer;
  closer.setInterval(0);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (form.GetRunning() == 1 && form.GetCurrentJob()) {
      form.close();
      closer.stop();
    }
  });
  closer.start();
  ::testing::internal::CaptureStderr();
  const int status = Run(form);
  const std::string err = ::testing::internal::GetCapturedStderr();
  closer.stop();

  EXPECT_EQ(status, ExitFileFailed);  // not every file was converted
  EXPECT_EQ(closedSignals, 1);
  EXPECT_TRUE(boxes.empty());
  EXPECT_NE(err.find(dir.File("b.txt")), std::string::npos) << err;
  EXPECT_LT(ResultCount(form.Label3->text()), kUnits);
  EXPECT_FALSE(std::filesystem::exists(dir.File("b.tmx")));
  EXPECT_EQ(form.begun.size(), 2u);  // b was refused at its start
  ExpectIdle(form);
}

// ---- the program ----

namespace {

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the program with args (already quoted for the shell) under the given environment
// settings ("env" arguments); a window left waiting would be killed by the timeout.
ProgramRun RunProgram(const TempDir& dir, const std::string& env, const std::string& args) {
  const std::string out = dir.File("stdout.log"), err = dir.File("stderr.log");
  const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + env + " timeout 120 '" +
                          MIRELCON_EXE + "' " + args + " >'" + out + "' 2>'" + err + "'";
  ProgramRun r;
  const int raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = TempDir::Read(out);
  r.err = TempDir::Read(err);
  return r;
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

}  // namespace

TEST(Program, WithoutADisplayTheTerminalConverts) {
  TempDir dir;
  WriteTm(dir.File("in.txt"), 3);
  ProgramRun r = RunProgram(dir, "", Quoted(dir.File("in.txt")));
  EXPECT_EQ(r.status, ExitOk) << r.err;
  EXPECT_EQ(r.out, dir.File("in.tmx") + ": 3 TUs\n");
  EXPECT_EQ(CountOf(TempDir::Read(dir.File("in.tmx")), "<seg>"), 6u);

  r = RunProgram(dir, "", "");
  EXPECT_EQ(r.status, ExitBadParameters);
  EXPECT_NE(r.err.find("the window needs a display"), std::string::npos) << r.err;
}

TEST(Program, WithADisplayTheWindowRunsTheCommandLine) {
  TempDir dir;
  WriteTm(dir.File("in.txt"), 3);
  WriteTm(dir.File("bad.txt"), 3);
  std::filesystem::create_directory(dir.File("bad.tmx"));

  // The result goes to the window, not to standard output.
  ProgramRun r = RunProgram(dir, "QT_QPA_PLATFORM=offscreen", "/QUIET " + Quoted(dir.File("in.txt")));
  EXPECT_EQ(r.status, ExitOk) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(CountOf(TempDir::Read(dir.File("in.tmx")), "<seg>"), 6u);

  r = RunProgram(dir, "QT_QPA_PLATFORM=offscreen", "--quiet " + Quoted(dir.File("*.txt")));
  EXPECT_EQ(r.status, ExitFileFailed) << r.err;
  EXPECT_NE(r.err.find(dir.File("bad.tmx")), std::string::npos) << r.err;
}
