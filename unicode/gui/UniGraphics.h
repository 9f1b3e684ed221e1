#pragma once
// UTF-16 text on a canvas. The canvas draws and measures UTF-16 itself; these are the routines'
// names for the controls that call them.
#include "platform/gui/Graphics.h"
#include "unicode/UniTypes.h"

inline void CanvasTextOutW(TCanvas& canvas, int x, int y, const WideString& text) { canvas.TextOut(x, y, text); }
inline void CanvasTextExtentW(const TCanvas& canvas, const WideString& text, TSize& size) {
  size = canvas.TextExtent(text);
}
inline int CanvasTextWidthW(const TCanvas& canvas, const WideString& text) { return canvas.TextWidth(text); }
inline int CanvasTextHeightW(const TCanvas& canvas, const WideString& text) { return canvas.TextHeight(text); }
