#pragma once
// What the viewer's tests share: pictures made on the spot and a viewer set up the same way.
#include <QBuffer>
#include <QImage>
#include <memory>

#include "GuiApp.h"
#include "htmlview/HtmlView.h"
#include "htmlview/StyleFonts.h"
#include "htmlview/StyleValues.h"

// A PNG file's bytes: w x h pixels of one colour.
inline QByteArray PngBytes(int w, int h, QRgb colour) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

// A viewer shown offscreen at 300 x 200 without a border, measuring every character on measurer
// (which the layout's fonts use too, at 96 pixels per inch, until the test resets them).
inline std::unique_ptr<htmlview::THtmlView> MakeTestViewer(TFixedMeasurer& measurer) {
  EnsureGuiApp();
  htmlview::SetPixelsPerInch(96);
  htmlview::SetFontMeasurer(&measurer);
  htmlview::VScrollTally() = 0;
  auto view = std::make_unique<htmlview::THtmlView>();
  view->Measurer = &measurer;
  view->SetBorderStyle(htmlview::htNone);
  view->resize(300, 200);
  view->show();
  return view;
}
