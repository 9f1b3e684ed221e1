#pragma once
// What the window tests share: one offscreen application, message boxes caught instead of
// shown, text TMs written on the spot, and event pumping until something has happened.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <functional>
#include <string>
#include <vector>

#include "app/gui/FormTessaly.h"
#include "platform/gui/Dialogs.h"
#include "tests/support/TempDir.h"

namespace guitest {

inline void EnsureApplication() {
  if (QCoreApplication::instance()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "test_app_gui";
  static char* argv[] = {name, nullptr};
  // Never destroyed: Qt must not be torn down among the static destructors.
  static QApplication* app = new QApplication(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  (void)app;
}

inline const std::string kHeader =
    "%20260105~143000\t%User ID,AB\t%TU=00000002\t%EN-US\t%Quillmar TM v.5.53/00\t%FR-FR\t%---79532885\t\t0123456789";

// A UTF-8 text TM of count units.
inline void WriteTm(const std::string& path, int count) {
  std::string tm = "\xEF\xBB\xBF" + kHeader + "\r\n";
  tm.reserve(tm.size() + static_cast<size_t>(count) * 64);
  for (int i = 0; i < count; ++i)
    tm += "20260106~093000\tANA\t1\ten-US\tsource " + std::to_string(i) + "\tfr-FR\tcible " + std::to_string(i) + "\r\n";
  TempDir::Write(path, tm);
}

inline size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// The count of a result line such as "1.234 TUs"; -1 when it is not one.
inline long ResultCount(const QString& line) {
  QString digits = line.section(' ', 0, 0);
  digits.remove('.');
  bool ok = false;
  const long n = digits.toLong(&ok);
  return ok ? n : -1;
}

// Pumps events until done() holds; false when it never did within the rounds.
inline bool PumpUntil(const std::function<bool()>& done, int rounds = 20000) {
  for (int i = 0; i < rounds; ++i) {
    if (done()) return true;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return done();
}

inline QColor ButtonColor(const QPushButton* b) { return b->palette().color(QPalette::Button); }

// The window with what it reported at each attached job.
class TRecordingForm : public TFormTessaly {
public:
  using TFormTessaly::TFormTessaly;

  struct Seen {
    uint8_t running;
    QString caption;
    QColor color;
    bool inputsEnabled;
    bool startEnabled;
    QString source;
    QString dest;
  };
  std::vector<Seen> attached;
  std::vector<WideString> begun;

  void AttachProgress(TObjectControled& job) override {
    TFormTessaly::AttachProgress(job);
    attached.push_back({GetRunning(), StartStop->text(), ButtonColor(StartStop),
                        SourceEdit->isEnabled() || DestEdit->isEnabled() || SearchTMFileName->isEnabled(),
                        StartStop->isEnabled(), SourceEdit->text(), DestEdit->text()});
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

  static void SetUpTestSuite() { EnsureApplication(); }
  void SetUp() override {
    previous_ = platform::SetMessageBoxHook([this](QWidget*, const QString& caption, const QString& text) {
      boxes.push_back({caption, text});
      if (onBox) onBox();
    });
  }
  void TearDown() override { platform::SetMessageBoxHook(std::move(previous_)); }

  // The window idle: inputs enabled, "Start" in its colour, nothing running.
  static void ExpectIdle(const TFormTessaly& form) {
    EXPECT_EQ(form.GetRunning(), 0);
    EXPECT_EQ(form.GetCurrentJob(), nullptr);
    EXPECT_TRUE(form.SourceEdit->isEnabled());
    EXPECT_TRUE(form.DestEdit->isEnabled());
    EXPECT_TRUE(form.SearchTMFileName->isEnabled());
    EXPECT_EQ(form.StartStop->text(), "Start");
    EXPECT_EQ(ButtonColor(form.StartStop), QColor(0x00, 0xFE, 0xA7));
  }

  std::vector<Box> boxes;
  std::function<void()> onBox;
  TempDir dir;

private:
  platform::TMessageBoxHook previous_;
};

}  // namespace guitest
