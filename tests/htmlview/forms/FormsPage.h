#pragma once
// What the forms tests share: a page built by the real builder whose controls are real widgets on
// an offscreen panel of 800 x 600, and the controls looked up by kind and name.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "htmlview/forms/HtmlForms.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/htmlview/TestPage.h"

namespace htmlview {

class TFormsPageTest : public ::testing::Test, protected TTestPage {
protected:
  void SetUp() override {
    EnsureGuiApp();
    panel = std::make_unique<QWidget>();
    panel->resize(800, 600);
  }
  void TearDown() override { ClearPage(); }
  // A new document on the panel with the page's controls (images through imageLoader when set).
  void Load(const std::u16string& html) {
    NewDocument(panel.get());
    if (imageLoader) doc->ImageLoader = imageLoader;
    ParseInto(html);
  }
  template <class T>
  std::vector<T*> All() {
    std::vector<T*> out;
    for (auto& c : doc->FormControls)
      if (auto* t = dynamic_cast<T*>(c.get())) out.push_back(t);
    return out;
  }
  template <class T>
  T* First() {
    const std::vector<T*> all = All<T>();
    return all.empty() ? nullptr : all.front();
  }
  template <class T>
  T* ByName(const std::u16string& name) {
    for (T* t : All<T>())
      if (t->Name == name) return t;
    return nullptr;
  }
  TFormEvents& Events() { return FormEvents(panel.get()); }
  // The control as printed at (x, y) on a white image of width x height.
  static QImage Printed(TFormControlObj& control, int width, int height, int x = 10, int y = 10) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    TCanvas canvas(&image);
    control.Draw(canvas, x, y);
    canvas.Release();
    return image;
  }

  // The widget as it paints itself, on white.
  static QImage Rendered(QWidget& w) {
    QImage image(w.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    w.render(&image);
    return image;
  }
  // The rows (or columns) within area that hold text ink: pixels darker than the style's frames
  // (or than dark).
  static int InkLines(const QImage& image, const QRect& area, bool columns, int dark = 96) {
    const QRect r = area.intersected(image.rect());
    int lines = 0;
    const int outer = columns ? r.width() : r.height(), inner = columns ? r.height() : r.width();
    for (int i = 0; i < outer; ++i)
      for (int j = 0; j < inner; ++j) {
        const int x = r.left() + (columns ? i : j), y = r.top() + (columns ? j : i);
        if (qGray(image.pixel(x, y)) < dark) {
          ++lines;
          break;
        }
      }
    return lines;
  }

  std::function<std::shared_ptr<TDocImage>(const std::u16string&, bool&)> imageLoader;
  std::unique_ptr<QWidget> panel;
};

}  // namespace htmlview
