#pragma once
// The border ring of blocks, images and inline boxes: the sides between an outer and an inner
// rectangle, each in its own colour and style.
#include <QPainterPath>
#include <QPen>
#include <array>
#include <vector>

#include "platform/gui/Graphics.h"

namespace htmlview {

// The border-style codes of the style engine.
enum TBorderStyle { bssNone, bssSolid, bssInset, bssOutset, bssGroove, bssRidge, bssDashed, bssDotted, bssDouble };

// Per side, in the order left, top, right, bottom.
using TBorderColors = std::array<TColor, 4>;
using TBorderStyles = std::array<int, 4>;

// One step of painting a border: a rectangle or a four-sided polygon filled with Color (right and
// bottom edges excluded, as all fills), or Path stroked with Pen.
struct TBorderOp {
  enum TKind { FillRect, FillQuad, Stroke } Kind = FillRect;
  TRect Rect;
  std::array<TPoint, 4> Quad{};
  TColor Color = 0;  // RGB, resolved
  QPainterPath Path;
  QPen Pen;
};

// Shades of a side colour: each of red, green and blue times 1.15 (at most 255) or times 0.75.
TColor LighterShade(TColor color);
TColor DarkerShade(TColor color);

// What DrawBorder paints, in order; empty when all four widths are 0. bgColor is clNone for none.
std::vector<TBorderOp> BorderPlan(TRect outer, TRect inner, const TBorderColors& colors, const TBorderStyles& styles,
                                  TColor bgColor, bool printing);
void DrawBorder(TCanvas& canvas, const TRect& outer, const TRect& inner, const TBorderColors& colors,
                const TBorderStyles& styles, TColor bgColor, bool printing);

}  // namespace htmlview
