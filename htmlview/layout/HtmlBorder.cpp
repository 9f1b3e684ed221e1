#include "htmlview/layout/HtmlBorder.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "htmlview/layout/HtmlShared.h"
#include "htmlview/style/StyleValues.h"

namespace htmlview {

namespace {

TColor Scale(TColor color, double f) {
  const TColor c = ColorToRGB(color);
  auto ch = [&](int shift) {
    const int v = static_cast<int>(std::lround(((c >> shift) & 0xFF) * f));
    return std::min(255, v);
  };
  return RGB(ch(0), ch(8), ch(16));
}

// Corners in the order bottom-left, top-left, top-right, bottom-right; side i runs from corner i
// to corner i + 1 (left, top, right, bottom).
std::array<TPoint, 4> Corners(const TRect& r) {
  return {TPoint{r.Left, r.Bottom}, TPoint{r.Left, r.Top}, TPoint{r.Right, r.Top}, TPoint{r.Right, r.Bottom}};
}

TBorderOp Quad(const TRect& outer, const TRect& inner, int side, TColor color) {
  const auto o = Corners(outer);
  const auto in = Corners(inner);
  TBorderOp op;
  op.Kind = TBorderOp::FillQuad;
  op.Quad = {o[side], o[(side + 1) % 4], in[(side + 1) % 4], in[side]};
  op.Color = color;
  return op;
}

bool Stroked(int style) { return style == bssDashed || style == bssDotted; }

}  // namespace

TColor LighterShade(TColor color) { return Scale(color, 1.15); }
TColor DarkerShade(TColor color) { return Scale(color, 0.75); }

std::vector<TBorderOp> BorderPlan(TRect outer, TRect inner, const TBorderColors& colors, const TBorderStyles& styles,
                                  TColor bgColor, bool /*printing*/) {
  std::vector<TBorderOp> ops;
  // Far above and below the window nothing shows; limiting keeps the drawn ring small.
  outer.Top = std::max(outer.Top, -200);
  inner.Top = std::max(inner.Top, -200);
  outer.Bottom = std::min(outer.Bottom, 5000);
  inner.Bottom = std::min(inner.Bottom, 5000);
  const std::array<int, 4> w = {inner.Left - outer.Left, inner.Top - outer.Top, outer.Right - inner.Right,
                                outer.Bottom - inner.Bottom};
  if (w[0] == 0 && w[1] == 0 && w[2] == 0 && w[3] == 0) return ops;

  const TRect middle{outer.Left + w[0] / 2, outer.Top + w[1] / 2, outer.Right - w[2] / 2, outer.Bottom - w[3] / 2};
  std::array<int, 4> third{};
  for (int i = 0; i < 4; ++i) third[i] = w[i] / 3 + (w[i] % 3 == 2 ? 1 : 0);
  const TRect outerThird{outer.Left + third[0], outer.Top + third[1], outer.Right - third[2],
                         outer.Bottom - third[3]};
  const TRect innerThird{inner.Left - third[0], inner.Top - third[1], inner.Right + third[2],
                         inner.Bottom + third[3]};

  bool needsGround = false;
  for (int i = 0; i < 4; ++i)
    if (w[i] != 0 && (Stroked(styles[i]) || styles[i] == bssDouble)) needsGround = true;
  if (bgColor != clNone && needsGround) {
    const TColor bg = ColorToRGB(bgColor);
    for (const TRect& band : {TRect{outer.Left, outer.Top, outer.Right, inner.Top},
                              TRect{outer.Left, inner.Bottom, outer.Right, outer.Bottom},
                              TRect{outer.Left, inner.Top, inner.Left, inner.Bottom},
                              TRect{inner.Right, inner.Top, outer.Right, inner.Bottom}})
      if (band.Width() > 0 && band.Height() > 0) ops.push_back({TBorderOp::FillRect, band, {}, bg, {}, {}});
  }

  std::array<TColor, 4> color{};
  for (int i = 0; i < 4; ++i) color[i] = ColorToRGB(colors[i]);
  // The middle line of the ring, on which dashes and dots are stroked at the side's width.
  const double mx0 = outer.Left + w[0] / 2.0, my1 = outer.Top + w[1] / 2.0;
  const double mx2 = outer.Right - w[2] / 2.0, my3 = outer.Bottom - w[3] / 2.0;
  const std::array<QPointF, 4> mid = {QPointF(mx0, my3), QPointF(mx0, my1), QPointF(mx2, my1), QPointF(mx2, my3)};

  for (int i = 0; i < 4; ++i) {
    if (w[i] == 0) continue;
    const TColor c = color[i];
    const bool leftTop = i < 2;
    switch (styles[i]) {
      case bssSolid:
        ops.push_back(Quad(outer, inner, i, c));
        break;
      case bssInset:
        ops.push_back(Quad(outer, inner, i, leftTop ? DarkerShade(c) : LighterShade(c)));
        break;
      case bssOutset:
        ops.push_back(Quad(outer, inner, i, leftTop ? LighterShade(c) : DarkerShade(c)));
        break;
      case bssGroove:
      case bssRidge: {
        const bool groove = styles[i] == bssGroove;
        // The outer half as inset (groove) or outset (ridge), the inner half the other way.
        const bool outerDark = groove == leftTop;
        ops.push_back(Quad(outer, middle, i, outerDark ? DarkerShade(c) : LighterShade(c)));
        ops.push_back(Quad(middle, inner, i, outerDark ? LighterShade(c) : DarkerShade(c)));
        break;
      }
      case bssDouble:
        ops.push_back(Quad(outer, outerThird, i, c));
        ops.push_back(Quad(innerThird, inner, i, c));
        break;
      case bssDashed:
      case bssDotted: {
        // Only the first side of a run of alike sides starts a path.
        if (i > 0 && styles[i - 1] == styles[i] && color[i - 1] == c && w[i - 1] == w[i]) break;
        int last = i;
        while (last < 3 && styles[last + 1] == styles[i] && color[last + 1] == c && w[last + 1] == w[i]) ++last;
        TBorderOp op;
        op.Kind = TBorderOp::Stroke;
        op.Color = c;
        op.Path.moveTo(mid[i]);
        for (int k = i; k <= last; ++k) op.Path.lineTo(mid[(k + 1) % 4]);
        if (i == 0 && last == 3) op.Path.closeSubpath();
        const bool dashed = styles[i] == bssDashed;
        op.Pen = QPen(ToQColor(c), w[i], dashed ? Qt::DashLine : Qt::DotLine, dashed ? Qt::SquareCap : Qt::RoundCap,
                      Qt::MiterJoin);
        ops.push_back(std::move(op));
        break;
      }
      default:
        break;
    }
  }
  return ops;
}

void DrawBorder(TCanvas& canvas, const TRect& outerRect, const TRect& innerRect, const TBorderColors& colors,
                const TBorderStyles& styles, TColor bgColor, bool printing) {
  const std::vector<TBorderOp> ops = BorderPlan(outerRect, innerRect, colors, styles, bgColor, printing);
  if (ops.empty()) return;
  TRect outer = outerRect, inner = innerRect;
  outer.Top = std::max(outer.Top, -200);
  inner.Top = std::max(inner.Top, -200);
  outer.Bottom = std::min(outer.Bottom, 5000);
  inner.Bottom = std::min(inner.Bottom, 5000);
  // Only the ring shows: a wide pen's square ends and mitres would reach past the sides of
  // unequal widths into the box or out of it. Fills need no clip when the inner rectangle lies
  // within the outer one: every pixel whose centre a side's quad holds is in the ring already,
  // and a clip that is a ring costs the raster engine dearly on every fill.
  const bool strokes =
      std::any_of(ops.begin(), ops.end(), [](const TBorderOp& op) { return op.Kind == TBorderOp::Stroke; });
  const bool nested = inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right <= outer.Right &&
                      inner.Bottom <= outer.Bottom && inner.Left <= inner.Right && inner.Top <= inner.Bottom;
  std::optional<TClipScope> keep;
  if (strokes || !nested) {
    keep.emplace(canvas, outer, printing);
    canvas.ExcludeClipRect(inner);
  }
  const TBrush saveBrush = canvas.Brush;
  const TPen savePen = canvas.Pen;
  for (const TBorderOp& op : ops) {
    switch (op.Kind) {
      case TBorderOp::FillRect:
        FillRectColor(canvas, op.Rect, op.Color);
        break;
      case TBorderOp::FillQuad: {
        const TPoint quad[4] = {op.Quad[0], op.Quad[1], op.Quad[2], op.Quad[3]};
        FillQuad(canvas, quad, op.Color);
        break;
      }
      case TBorderOp::Stroke: {
        const Qt::PenStyle style = op.Pen.style();
        const Qt::PenCapStyle cap = op.Pen.capStyle();
        canvas.Pen.Color = op.Color;
        canvas.Pen.Width = op.Pen.width();
        canvas.Pen.Style = style == Qt::DashLine ? psDash : style == Qt::DotLine ? psDot : psSolid;
        canvas.Pen.Join = pjMiter;
        canvas.Pen.EndCap = cap == Qt::SquareCap ? pcSquare : cap == Qt::FlatCap ? pcFlat : pcRound;
        canvas.StrokePath(op.Path);
        break;
      }
    }
  }
  canvas.Brush = saveBrush;
  canvas.Pen = savePen;
}

}  // namespace htmlview
