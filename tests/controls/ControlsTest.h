#pragma once
// What the controls' tests share: one offscreen application and a shown window for the controls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <memory>

#include "tests/support/QtApp.h"

namespace controlstest {

class ControlsTest : public qttest::QtTest<QApplication> {
protected:
  // Shown, so that mouse events route as on a screen.
  void SetUp() override {
    form->resize(200, 120);
    form->show();
  }
  std::unique_ptr<QWidget> form = std::make_unique<QWidget>();
};

// The control painted alone on white into an image of its size.
inline QImage Render(QWidget& w) {
  QImage image(w.size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  w.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
  return image;
}

}  // namespace controlstest
