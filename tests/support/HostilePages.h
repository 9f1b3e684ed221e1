#pragma once
// Pages whose size once made the viewer's time or memory grow faster than the page: shared by the
// viewer's tests (with bounds) and htmlbench (with figures).
#include <QColor>
#include <QImage>
#include <string>

// n divs floating left, 50 pixels wide, each with its number; then "after".
inline std::string FloatsPage(int n) {
  std::string s = "<html><body>";
  for (int i = 0; i < n; ++i)
    s += "<div style='float:left;width:50px;height:20px'>f" + std::to_string(i) + "</div>";
  return s + "<p>after</p></body></html>";
}

// n bordered spans, each in a div of its own; then "after".
inline std::string BorderedSpansPage(int n) {
  std::string s = "<html><body>";
  for (int i = 0; i < n; ++i) s += "<div><span style='border:1px solid red'>s" + std::to_string(i) + "</span></div>";
  return s + "<p>after</p></body></html>";
}

// n text inputs in one form; then "after".
inline std::string TextInputsPage(int n) {
  std::string s = "<html><body><form>";
  for (int i = 0; i < n; ++i) s += "<input name=i" + std::to_string(i) + " value=v> ";
  return s + "</form><p>after</p></body></html>";
}

// A picture of its own for each k: a gradient whose colours follow k.
inline QImage NumberedPicture(int k, int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) line[x] = qRgb((x + k * 37) & 255, (y + k * 11) & 255, (k * 53) & 255);
  }
  return image;
}
