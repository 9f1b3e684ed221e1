#include "htmlview/text/HtmlGlobals.h"

#include <QKeyEvent>
#include <QRegion>

namespace htmlview {

void WideTextRect(TCanvas& canvas, const TRect& rect, int x, int y, const std::u16string& text) {
  if (canvas.Brush.Style != bsClear) canvas.FillRect(rect);
  if (rect.Width() <= 0 || rect.Height() <= 0 || text.empty()) return;
  // Clipped by the painter: a picture of the rect's size would cost as much as the rect is large,
  // however little of it is painted. The canvas's own clip is kept here rather than through the
  // layout's clip routines, which stand on this unit.
  const bool hadClip = canvas.HasClip();
  const QRegion savedClip = canvas.ClipRegion();
  canvas.IntersectClipRect(rect);
  const TPoint pen = canvas.PenPos;
  canvas.TextOut(x, y, text);
  canvas.PenPos = pen;
  if (hadClip)
    canvas.SetClipRegion(savedClip);
  else
    canvas.ClearClip();
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
