#include "htmlview/HtmlGlobals.h"

#include <QKeyEvent>

#include "htmlview/HtmlShared.h"

namespace htmlview {

const std::array<TPaletteEntry, 256>& ViewerPaletteEntries() {
  static const std::array<TPaletteEntry, 256> entries = [] {
    std::array<TPaletteEntry, 256> e{};
    static const uint8_t stock[20][3] = {
        {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
        {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
        {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
        {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    for (int i = 0; i < 20; ++i) {
      e[i < 10 ? i : 236 + i] = {stock[i][0], stock[i][1], stock[i][2], 0};
    }
    static const uint8_t levels[6] = {55, 115, 165, 205, 235, 255};
    int n = 10;
    for (int b = 0; b < 6; ++b)
      for (int g = 0; g < 6; ++g)
        for (int r = 0; r < 6; ++r)
          if (r < 5 || g < 5 || b < 5) e[n++] = {levels[r], levels[g], levels[b], 0};
    for (int k = 1; k <= 23; ++k) {
      if (k == 7 || k == 15 || k == 21) continue;
      const uint8_t v = static_cast<uint8_t>(5 * k + 130);
      e[n++] = {v, v, v, 0};
    }
    e[n] = {255, 255, 254, 0};
    return e;
  }();
  return entries;
}

void WideTextRect(TCanvas& canvas, const TRect& rect, int x, int y, const std::u16string& text) {
  if (canvas.Brush.Style != bsClear) canvas.FillRect(rect);
  if (rect.Width() <= 0 || rect.Height() <= 0 || text.empty()) return;
  // Clipped by the painter: a picture of the rect's size would cost as much as the rect is large,
  // however little of it is painted.
  TClipScope clip(canvas, rect, false);
  const TPoint pen = canvas.PenPos;
  canvas.TextOut(x, y, text);
  canvas.PenPos = pen;
}

TMap& Map() {
  static TMap map;
  return map;
}

void ThtEdit::keyPressEvent(QKeyEvent* event) {
  TUniEdit::keyPressEvent(event);
  if (event->key() == Qt::Key_A && event->modifiers() == Qt::ControlModifier) selectAll();
}

}  // namespace htmlview
