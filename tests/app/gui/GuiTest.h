#pragma once
// What the window tests share: one offscreen application, message boxes caught instead of
// shown, and event pumping until something has happened.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPalette>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "app/gui/FormTessaly.h"
#include "controls/MyButtons.h"
#include "unicode/gui/UniStdCtrls.h"
#include "platform/core/Clock.h"
#include "platform/gui/Dialogs.h"
#include "tests/support/QtApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"

namespace guitest {

using tmfiles::CountOf;

// A text TM of count units.
inline void WriteTm(const std::string& path, int count) { TempDir::Write(path, tmfiles::NumberedTm(count)); }

// The count of a result line such as "1.234 TUs"; -1 when it is not one.
inline long ResultCount(const QString& line) {
  bool ok = false;
  const long n = line.section(' ', 0, 0).remove('.').toLong(&ok);
  return ok && line.endsWith(" TUs") ? n : -1;
}

// Pumps events until done() holds; false when it never did within the rounds.
inline bool PumpUntil(const std::function<bool()>& done, int rounds = 20000) {
  for (int i = 0; i < rounds && !done(); ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

// The window's state: running, the Start/Stop button's caption and colour, how many of the three
// inputs are enabled, whether Start/Stop is, and the names shown.
inline std::string State(const TFormTessaly& f) {
  const int inputs = f.SourceEdit->isEnabled() + f.DestEdit->isEnabled() + f.SearchTMFileName->Enabled();
  return std::to_string(f.GetRunning()) + " " + QString::fromStdU16String(f.StartStop->Caption()).toStdString() +
         " " + ToQColor(f.StartStop->Color()).name().toStdString() + " inputs" + std::to_string(inputs) +
         (f.StartStop->Enabled() ? " start " : " - ") + f.SourceEdit->text().toStdString() + " " +
         f.DestEdit->text().toStdString();
}

// A left click in the middle of a glyph button, through its mouse handling, delivered at once
// (QTest's clicks would process pending events as well).
inline void Click(TGLSButton* button) {
  const QPointF middle(button->width() / 2, button->height() / 2);
  const QPointF global = button->mapToGlobal(middle);
  QMouseEvent press(QEvent::MouseButtonPress, middle, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, middle, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(button, &press);
  QCoreApplication::sendEvent(button, &release);
}

// The window with its state at each attached job, and the files it began.
class TRecordingForm : public TFormTessaly {
public:
  using TFormTessaly::TFormTessaly;
  std::vector<std::string> attached;
  std::vector<WideString> begun;

  void AttachProgress(TObjectControled& job) override {
    TFormTessaly::AttachProgress(job);
    attached.push_back(State(*this));
  }
  void BeginFile(const WideString& input, const WideString& output) override {
    begun.push_back(input);
    TFormTessaly::BeginFile(input, output);
  }
};

class GuiTest : public ::testing::Test {
protected:
  struct Box {
    QString caption;
    QString text;
  };

  static void SetUpTestSuite() {
    qttest::EnsureApp<QApplication>();
    QApplication::setQuitOnLastWindowClosed(false);
  }
  void SetUp() override {
    previous_ = platform::SetMessageBoxHook([this](QWidget*, const QString& caption, const QString& text) {
      boxes.push_back({caption, text});
      if (onBox) onBox();
    });
  }
  void TearDown() override { platform::SetMessageBoxHook(std::move(previous_)); }

  // The window idle: nothing running, "Start" in its colour, the inputs enabled.
  static void ExpectIdle(const TFormTessaly& form) {
    EXPECT_EQ(State(form).substr(0, 23), "0 Start #00fea7 inputs3") << State(form);
    EXPECT_EQ(form.GetCurrentJob(), nullptr);
  }
  // Does act() once, as soon as the window runs a job, while run() goes on; whether the window
  // was still visible right after. The clock jumps a second at every reading meanwhile, so that
  // the job pumps at every unit and act() comes within its first units however fast it runs.
  static bool ActWhileRunning(TFormTessaly& form, const std::function<void()>& act, const std::function<void()>& run) {
    static int64_t now = 0;
    struct Jumping {
      platform::TClockSource previous = platform::SetClockSource([] { return now += 1000; });
      ~Jumping() { platform::SetClockSource(previous); }
    } jumping;
    bool visible = false;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      if (form.GetRunning() == 1 && form.GetCurrentJob()) {
        timer.stop();
        act();
        visible = form.isVisible();
      }
    });
    timer.start();
    run();
    timer.stop();
    return visible;
  }

  std::vector<Box> boxes;
  std::function<void()> onBox;
  TempDir dir;

private:
  platform::TMessageBoxHook previous_;
};

}  // namespace guitest
