#include "controls/MyButtons.h"

#include <QEvent>
#include <algorithm>
#include <string>

#include "platform/core/RoundHalfEven.h"

namespace {

int Centred(int outer, int inner) { return (outer - inner) / 2; }

// The top-left corner of a w x h item in a W x H control by layout.
TPoint Place(TBasicBtnLayout layout, int W, int H, int w, int h) {
  switch (layout) {
    case laLeft: return {0, Centred(H, h)};
    case laTop: return {Centred(W, w), 0};
    case laRight: return {W - w, Centred(H, h)};
    case laBottom: return {Centred(W, w), H - h};
    case laCenter: break;
  }
  return {Centred(W, w), Centred(H, h)};
}

bool CanFocus(const QWidget* w) { return w->isVisible() && w->isEnabled() && w->focusPolicy() != Qt::NoFocus; }

}  // namespace

// ---- TBasicBtn ----

TBasicBtn::TBasicBtn(QWidget* parent) : TGraphicControl(parent) {}

void TBasicBtn::UpdateState() {
  uint8_t s;
  if (!stillDown_)
    s = !Enabled() ? G6_Disabled : (Pressed && MouseInside ? G2_MSDown : G0_Up);
  else
    s = !Enabled() ? G7_DisabledSD : (Pressed && MouseInside ? G5_MSDownOnSD : G3_StillDown);
  if (btnType_ != btAutoUp) {
    if (s == G2_MSDown && !(options_ & boMSDownOnUp))
      s = G3_StillDown;
    else if (s == G5_MSDownOnSD && !(options_ & boMSDownOnSD))
      s = G0_Up;
  }
  if (MouseInside) {
    if (s == G0_Up && (options_ & boMSMoveOnUp))
      s = G1_MSMove;
    else if (s == G3_StillDown && (options_ & boMSMoveOnSD))
      s = G4_MSMoveOnSD;
  }
  Set(state_, s);
}

void TBasicBtn::SetStillDown(bool value) {
  if (btnType_ == btAutoUp) {
    stillDown_ = false;
    UpdateState();
    return;
  }
  if (value && groupIndex_ >= 1 && parentWidget()) {
    for (QObject* sibling : parentWidget()->children()) {
      auto* b = dynamic_cast<TBasicBtn*>(sibling);
      if (b && b != this && b->groupIndex_ == groupIndex_ && b->stillDown_) b->SetStillDown(false);
    }
  }
  stillDown_ = value;
  UpdateState();
  if (OnChangeStillDown) OnChangeStillDown(this);
}

void TBasicBtn::SetBtnType(TBasicBtnType value) {
  btnType_ = value;
  if (value == btAutoUp || value == btUpSD) groupIndex_ = 0;
  UpdateState();
}

void TBasicBtn::SetGroupIndex(int value) { groupIndex_ = (btnType_ == btAutoUp || btnType_ == btUpSD) ? 0 : value; }

bool TBasicBtn::Enabled() const { return !testAttribute(Qt::WA_ForceDisabled); }

void TBasicBtn::SetEnabled(bool value) {
  if (value != Enabled()) setEnabled(value);
}

void TBasicBtn::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) UpdateState();
  TGraphicControl::changeEvent(event);
}

void TBasicBtn::MouseEnter() {
  if (!Enabled()) return;
  if (stillDown_ && btnType_ == btGrouped) return;
  MouseInside = true;
  UpdateState();
  if (OnMouseEnter) OnMouseEnter(this);
}

void TBasicBtn::MouseLeave() {
  if (!Enabled()) return;
  if (MouseInside) {
    MouseInside = false;
    UpdateState();
  }
  if (OnMouseExit) OnMouseExit(this);
}

void TBasicBtn::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if ((shift & ssDouble) || !Enabled() || (stillDown_ && btnType_ == btGrouped) || button != mbLeft) return;
  if (FocusCtrl) {
    if (CanFocus(FocusCtrl)) FocusCtrl->setFocus(Qt::MouseFocusReason);
    if (FocusCtrl->window()->focusWidget() != FocusCtrl) return;
  }
  if (options_ & boDirectAction) {
    Pressed = false;
    if (!(options_ & boMSAfterClick)) MouseInside = false;
    SetStillDown(!stillDown_);
    if (OnClick) OnClick(this);
    return;
  }
  Pressed = true;
  UpdateState();
  TGraphicControl::MouseDown(button, shift, x, y);
}

void TBasicBtn::Click() {
  if ((options_ & boDirectAction) || !Pressed) return;
  Pressed = false;
  if (!(options_ & boMSAfterClick)) MouseInside = false;
  SetStillDown(!stillDown_);
  TGraphicControl::Click();
}

void TBasicBtn::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  Pressed = false;
  TGraphicControl::MouseUp(button, shift, x, y);
}

// ---- TSimpleBtn ----

TSimpleBtn::TSimpleBtn(QWidget* parent) : TBasicBtn(parent), glyphs_(std::make_unique<TBtnGlyphs>(this)) {
  resize(23, 22);
}

TSimpleBtn::~TSimpleBtn() = default;

int TSimpleBtn::GetGlyphIndex(int state) const {
  const int index = glyphs_->Glyph(static_cast<TBtnGlyph>(std::clamp(state, 0, 7)));
  return index == -1 ? glyphs_->Glyph(G0_Up) : index;
}

unsigned TSimpleBtn::CaptionFormat() const {
  switch (CaptionAlignment()) {
    case taLeftJustify: return DT_WORDBREAK;
    case taRightJustify: return DT_WORDBREAK | DT_RIGHT;
    case taCenter: break;
  }
  return DT_WORDBREAK | DT_CENTER;
}

TRect TSimpleBtn::CaptionRect(TCanvas& canvas) const {
  if (Caption().empty()) return {};
  TRect measure{0, 0, width(), height()};
  canvas.DrawText(Caption(), measure, DT_CALCRECT | DT_WORDBREAK);
  const int w = measure.Width(), h = measure.Height();
  const int shift = (Options() & boCaptionMoveOnClick) && (State() == G2_MSDown || State() == G5_MSDownOnSD) ? 1 : 0;
  TPoint at = Place(CaptionLayout(), width(), height(), w, h);
  at.X += CaptionAdjustH() + shift;
  at.Y += CaptionAdjustV() + shift;
  return {at.X, at.Y, at.X + w, at.Y + h};
}

void TSimpleBtn::DrawGlyph(bool enabled) {
  const int index = GetGlyphIndex(State());
  if (index < 0) return;
  const int shift = (Options() & boGlyphMoveOnClick) && (State() == G2_MSDown || State() == G5_MSDownOnSD) ? 1 : 0;
  auto position = [&](int w, int h) {
    TPoint at = Place(glyphs_->GlyphLayout(), width(), height(), w, h);
    return TPoint{at.X + glyphs_->GlyphAdjustH() + shift, at.Y + glyphs_->GlyphAdjustV() + shift};
  };
  if (const TImageList* list = glyphs_->GlyphList()) {
    if (index >= list->Count()) return;
    const TPoint at = position(list->Width, list->Height);
    // Disabled, the list's glyph is greyed rather than left out, so the button keeps its look.
    list->Draw(*Canvas, at.X, at.Y, index, enabled);
    return;
  }
  if (glyphs_->Prefix().empty()) return;
  const std::string number = std::to_string(index);
  TBitmap bitmap;
  if (!bitmap.LoadFromResourceName(glyphs_->Prefix() + std::u16string(number.begin(), number.end()))) return;
  bitmap.Transparent = glyphs_->Transparent();
  if (!enabled) bitmap.SetMonochrome();
  const TPoint at = position(bitmap.Width(), bitmap.Height());
  Canvas->Draw(at.X, at.Y, bitmap);
}

void TSimpleBtn::DrawCaption() {
  if (Caption().empty()) return;
  Canvas->Brush.Style = bsClear;
  if (!Enabled()) Canvas->Font.Color = CaptionColorDisabled();
  TRect r = CaptionRect(*Canvas);
  Canvas->DrawText(Caption(), r, CaptionFormat());
}

void TSimpleBtn::Paint() {
  Canvas->Font = Font();
  if (OnBeforePaint) OnBeforePaint(this);
  DrawGlyph(Enabled());
  DrawCaption();
}

// ---- TGLSButton ----

void TGLSButton::Paint() {
  TCanvas& c = *Canvas;
  const int W = width(), H = height();
  c.Font = Font();
  c.Pen = TPen{State() == G6_Disabled ? TColor(0xCE8C46) : TColor(0x875825), 1, psSolid};
  c.Brush = TBrush{clWhite, bsSolid};
  c.RoundRect(0, 0, W, H, 5, 5);
  const TRect inner{2, 1, W - 2, H - 1};
  switch (State()) {
    case G0_Up: GradientFill(c, true, clWhite, inner, color_); break;
    case G1_MSMove: GradientFill(c, true, clWhite, inner, 0xFFABA9); break;
    case G2_MSDown: GradientFill(c, true, color_, inner, clWhite); break;
    case G6_Disabled: GradientFill(c, true, 0xFBFBFB, inner, color_); break;
    default: break;  // still down: the white inside stays
  }
  if (OnBeforePaint) OnBeforePaint(this);
  DrawGlyph(Enabled());
  if (Caption().empty()) return;
  c.Brush.Style = bsClear;
  const TRect r = CaptionRect(c);
  if (Enabled()) {
    TRect at = r;
    c.DrawText(Caption(), at, CaptionFormat());
    return;
  }
  // Embossed: white one pixel right and down, then the disabled colour in place.
  TRect shadow = r.Offset(1, 1);
  c.Font.Color = clWhite;
  c.DrawText(Caption(), shadow, CaptionFormat());
  TRect at = r;
  c.Font.Color = CaptionColorDisabled();
  c.DrawText(Caption(), at, CaptionFormat());
}

void GradientFill(TCanvas& canvas, bool vertical, TColor from, const TRect& rect, TColor to) {
  const int span = vertical ? rect.Height() : rect.Width();
  if (span <= 0 || rect.Width() <= 0 || rect.Height() <= 0) return;
  from = ColorToRGB(from);
  to = ColorToRGB(to);
  TBitmap bitmap(rect.Width(), rect.Height());
  QImage& image = bitmap.Image();
  for (int t = 0; t < span; ++t) {
    int rgb[3];
    for (int k = 0; k < 3; ++k) {
      const int a = static_cast<int>((from >> (8 * k)) & 0xFF), b = static_cast<int>((to >> (8 * k)) & 0xFF);
      const double step = static_cast<double>(b - a) / span;
      rgb[k] = std::clamp(RoundHalfEven(a + t * step), 0, 255);
    }
    const QColor color(rgb[0], rgb[1], rgb[2]);
    if (vertical)
      for (int x = 0; x < image.width(); ++x) image.setPixelColor(x, t, color);
    else
      for (int y = 0; y < image.height(); ++y) image.setPixelColor(t, y, color);
  }
  canvas.Draw(rect.Left, rect.Top, bitmap);
}
