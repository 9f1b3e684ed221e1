#pragma once
// What the canvas's tests share: an image to draw on through the canvas, and the pixels drawn.
#include <QApplication>
#include <QImage>
#include <functional>
#include <set>
#include <utility>

#include "platform/gui/Graphics.h"
#include "tests/support/QtApp.h"

class PaintTest : public qttest::QtTest<QApplication> {
protected:
  PaintTest(int width, int height) : image(width, height, QImage::Format_RGB32) {}

  // Draws on a white image; the canvas ends, and with it the painting, before this returns.
  void Paint(const std::function<void(TCanvas&)>& draw) {
    image.fill(Qt::white);
    TCanvas c(&image);
    draw(c);
  }
  QRgb At(int x, int y) const { return (image.pixel(x, y) & 0xFFFFFF) | 0xFF000000; }
  // The pixels whose colour is one that keep takes, and their box.
  std::set<std::pair<int, int>> PixelsWhere(const std::function<bool(QRgb)>& keep) const {
    std::set<std::pair<int, int>> s;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (keep(At(x, y))) s.insert({x, y});
    return s;
  }
  QRect BoxWhere(const std::function<bool(QRgb)>& keep) const {
    QRect box;
    for (const auto& [x, y] : PixelsWhere(keep)) box |= QRect(x, y, 1, 1);
    return box;
  }

  QImage image;
};
