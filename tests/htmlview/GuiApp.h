#pragma once
// The viewer's tests make widgets: the one application of the test program is a QApplication.
#include <QApplication>

#include "tests/support/QtApp.h"

inline void EnsureGuiApp() { qttest::EnsureApp<QApplication>(); }
