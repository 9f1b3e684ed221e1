#pragma once
// Fonts need an application object; one is made for the whole test program and never destroyed,
// so that Qt does not go among the static destructors.
#include <QApplication>

inline void EnsureGuiApp() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "test_htmlview";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
}
