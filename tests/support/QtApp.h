#pragma once
// One Qt application for a whole test program, made on first use and never destroyed: Qt must
// not go among the static destructors. It draws offscreen unless the environment names a platform.
#include <errno.h>  // program_invocation_short_name
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QTimer>
#include <functional>

namespace qttest {

// App: QGuiApplication, or QApplication where widgets are made.
template <class App = QGuiApplication>
void EnsureApp() {
  if (QCoreApplication::instance()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char* argv[] = {program_invocation_short_name, nullptr};
  new App(argc, argv);
}

// A suite whose cases need the application.
template <class App = QGuiApplication>
class QtTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { EnsureApp<App>(); }
};

// Runs step on the modal dialog of kind Dialog once the event loop shows it; gives up after tries
// looks, 10 ms apart.
template <class Dialog, class App>
void WhenModalOpen(std::function<void(Dialog&)> step, int tries) {
  QTimer::singleShot(10, [step, tries] {
    if (auto* d = qobject_cast<Dialog*>(App::activeModalWidget()))
      step(*d);
    else if (tries > 0)
      WhenModalOpen<Dialog, App>(step, tries - 1);
  });
}

}  // namespace qttest
