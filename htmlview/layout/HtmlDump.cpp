#include "htmlview/layout/HtmlDump.h"

#include <QImage>
#include <QString>
#include <algorithm>
#include <tuple>
#include <vector>

#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/style/StyleValues.h"

namespace htmlview {

std::string DumpLayout(ThtDocument& document, int width) {
  struct TPiece {
    int x, y, w, h;
    std::u16string text;
  };
  std::vector<TPiece> pieces;
  const int saveOffset = document.YOffset;
  auto saveRecorder = std::move(document.TextRecorder);
  document.YOffset = 0;
  document.TextRecorder = [&](int x, int y, int w, int h, const std::u16string& text) {
    pieces.push_back({x, y, w, h, text});
  };
  // The pixels are not wanted: a tiny image takes the drawing, the clip spans the document.
  QImage sink(1, 1, QImage::Format_RGB32);
  {
    TCanvas canvas(&sink);
    int bottom = 0;
    for (const auto& s : document) bottom = std::max(bottom, s->DrawBottom);
    // Text laid out far beyond the width still has its place in the dump.
    const int reach = std::max(MaxLength * 64, width);
    const TRect all{-reach, 0, reach, std::max(1, bottom + 1)};
    document.Draw(canvas, all, all.Right, 0, 0, 0);
  }
  document.TextRecorder = std::move(saveRecorder);
  document.YOffset = saveOffset;
  std::stable_sort(pieces.begin(), pieces.end(),
                   [](const TPiece& a, const TPiece& b) { return std::tie(a.y, a.x) < std::tie(b.y, b.x); });
  std::string out;
  for (const TPiece& p : pieces) {
    out += std::to_string(p.x) + ' ' + std::to_string(p.y) + ' ' + std::to_string(p.w) + ' ' + std::to_string(p.h) +
           ' ' + QString::fromStdU16String(p.text).toStdString() + '\n';
  }
  return out;
}

}  // namespace htmlview
