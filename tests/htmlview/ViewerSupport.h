#pragma once
// What the viewer's tests share: pictures made on the spot (a small animated GIF too), a
// viewer set up the same way, and pixels counted by colour.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "GuiApp.h"
#include "htmlview/style/StyleFonts.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/view/HtmlView.h"
#include "platform/core/MemoryStream.h"

// An image as a file of format ("PNG", "BMP" ...) holds it; empty when it cannot be written.
inline QByteArray ImageBytes(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, format)) bytes.clear();
  return bytes;
}

// A PNG file's bytes: w x h pixels of one colour.
inline QByteArray PngBytes(int w, int h, QRgb colour) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(colour);
  return ImageBytes(image, "PNG");
}

// Two 1 x 1 frames (red, then blue), 10 centiseconds each, looping; written as dir/anim.gif.
inline QString WriteTwoFrameGif(const QString& dir) {
  const unsigned char gif[] = {
      'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 255, 0, 0, 0, 0, 255,
      0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0,
      0x21, 0xF9, 4, 0, 10, 0, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0,
      0x21, 0xF9, 4, 0, 10, 0, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x4C, 0x01, 0,
      0x3B};
  const QString file = QDir(dir).filePath(QStringLiteral("anim.gif"));
  QFile f(file);
  if (f.open(QIODevice::WriteOnly)) f.write(reinterpret_cast<const char*>(gif), sizeof gif);
  return file;
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

// A stream over bytes, as a host hands one to the viewer.
inline TMemoryStream StreamOf(const QByteArray& bytes) {
  return TMemoryStream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

// Pixels within 40 of colour in every channel (scaled and printed pictures blend).
inline int CountNear(const QImage& image, QRgb colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      n += std::abs(qRed(p) - qRed(colour)) < 40 && std::abs(qGreen(p) - qGreen(colour)) < 40 &&
           std::abs(qBlue(p) - qBlue(colour)) < 40;
    }
  return n;
}

// Pixels near colour in the whole document as view paints it.
inline int DocumentPixels(htmlview::THtmlView& view, QRgb colour) {
  QImage image(std::max(1, view.DocumentWidth()), std::max(1, view.DocumentHeight()), QImage::Format_RGB32);
  view.PaintDocument(image);
  return CountNear(image, colour);
}
