#include "htmlview/HtmlGlobals.h"

#include <QKeyEvent>

#include "htmlview/HtmlShared.h"

namespace htmlview {

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
