#pragma once
// What the controls' tests share: one offscreen application and a shown window for the controls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <memory>

namespace controlstest {

class ControlsTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "test_controls";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // never destroyed: Qt must not go among the static destructors
  }
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
