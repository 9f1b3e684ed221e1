#pragma once
// Owner-drawn glyph buttons without windows of their own: TBasicBtn tracks the mouse, latches
// ("still down"), groups like radio buttons and computes a visual state; TSimpleBtn paints a glyph
// and a caption; TGLSButton a rounded frame filled with a vertical gradient.
#include <QPointer>
#include <cstdint>
#include <memory>

#include "platform/gui/Controls.h"
#include "unicode/UniTypes.h"

enum TBasicBtnType {
  btAutoUp,        // never stays down
  btUpSD,          // toggles between up and still down
  btGrouped,       // radio-style within its group: a down button cannot be clicked up
  btGroupedAllUp,  // grouped, but a down button can be clicked up
};

enum TBasicBtnLayout { laLeft, laTop, laRight, laBottom, laCenter };

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

using TBasicBtnOptions = unsigned;
inline constexpr TBasicBtnOptions boMSDownOnUp = 1, boMSDownOnSD = 2, boMSMoveOnUp = 4, boMSMoveOnSD = 8,
                                  boMSAfterClick = 16, boDirectAction = 32, boCaptionMoveOnClick = 64,
                                  boGlyphMoveOnClick = 128;

// The visual states, each also the glyph shown in it.
enum TBtnGlyph : uint8_t {
  G0_Up,          // up
  G1_MSMove,      // up, mouse over
  G2_MSDown,      // up, mouse pressed on it
  G3_StillDown,   // still down
  G4_MSMoveOnSD,  // still down, mouse over
  G5_MSDownOnSD,  // still down, mouse pressed on it
  G6_Disabled,    // disabled
  G7_DisabledSD,  // disabled and still down
};

class TBasicBtn : public TGraphicControl {
public:
  explicit TBasicBtn(QWidget* parent = nullptr);

  QPointer<QWidget> Associate;
  // When set, a press first gives it the focus, and counts only when it has the focus then.
  QPointer<QWidget> FocusCtrl;

  TBasicBtnType BtnType() const { return btnType_; }
  void SetBtnType(TBasicBtnType value);
  const WideString& Caption() const { return GetText(); }
  void SetCaption(const WideString& value) { SetText(value); }
  int CaptionAdjustH() const { return captionAdjustH_; }
  void SetCaptionAdjustH(int value) { Set(captionAdjustH_, value); }
  int CaptionAdjustV() const { return captionAdjustV_; }
  void SetCaptionAdjustV(int value) { Set(captionAdjustV_, value); }
  TColor CaptionColorDisabled() const { return captionColorDisabled_; }
  void SetCaptionColorDisabled(TColor value) { Set(captionColorDisabled_, value); }
  TBasicBtnLayout CaptionLayout() const { return captionLayout_; }
  void SetCaptionLayout(TBasicBtnLayout value) { Set(captionLayout_, value); }
  TAlignment CaptionAlignment() const { return captionAlignment_; }
  void SetCaptionAlignment(TAlignment value) { Set(captionAlignment_, value); }
  // The button's own enabling (a disabled parent leaves it as it is).
  bool Enabled() const;
  void SetEnabled(bool value);
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int value);
  TBasicBtnOptions Options() const { return options_; }
  void SetOptions(TBasicBtnOptions value) { options_ = value; }
  bool StillDown() const { return stillDown_; }
  // Latches or releases the button; latching one of a group releases the others.
  void SetStillDown(bool value);

  TNotifyEvent OnChangeStillDown;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseExit;

  // The visual state, 0..7 (TBtnGlyph).
  uint8_t State() const { return state_; }
  // Recomputes State from the button's flags; repaints when it changed.
  void UpdateState();

protected:
  // The left button went down on the button and has not come up.
  bool Pressed = false;
  bool MouseInside = false;

  void MouseEnter() override;
  void MouseLeave() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void Click() override;
  void changeEvent(QEvent* event) override;

  template <class T>
  void Set(T& field, const T& value) {
    if (field == value) return;
    field = value;
    update();
  }

private:
  TBasicBtnType btnType_ = btAutoUp;
  int captionAdjustH_ = 0, captionAdjustV_ = 0;
  TColor captionColorDisabled_ = 0x808080;
  TBasicBtnLayout captionLayout_ = laCenter;
  TAlignment captionAlignment_ = taCenter;
  int groupIndex_ = 0;
  TBasicBtnOptions options_ = boMSDownOnUp | boMSDownOnSD | boMSMoveOnUp | boMSMoveOnSD | boMSAfterClick;
  bool stillDown_ = false;
  uint8_t state_ = G0_Up;
};

class TSimpleBtn;

// The glyph of each state, from an image list or from the bitmap resources Prefix + index.
class TBtnGlyphs {
public:
  explicit TBtnGlyphs(TSimpleBtn* owner) : owner_(owner) {}

  // The glyph index of a state (G0_Up .. G7_DisabledSD); -1 is none.
  int Glyph(TBtnGlyph state) const { return glyphs_[state]; }
  void SetGlyph(TBtnGlyph state, int index) { Set(glyphs_[state], index); }
  TImageList* GlyphList() const { return glyphList_; }
  void SetGlyphList(TImageList* list) { Set(glyphList_, list); }
  int GlyphAdjustH() const { return glyphAdjustH_; }
  void SetGlyphAdjustH(int value) { Set(glyphAdjustH_, value); }
  int GlyphAdjustV() const { return glyphAdjustV_; }
  void SetGlyphAdjustV(int value) { Set(glyphAdjustV_, value); }
  TBasicBtnLayout GlyphLayout() const { return glyphLayout_; }
  void SetGlyphLayout(TBasicBtnLayout value) { Set(glyphLayout_, value); }
  const WideString& Prefix() const { return prefix_; }
  void SetPrefix(const WideString& value) { Set(prefix_, value); }
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value) { Set(transparent_, value); }

private:
  template <class T>
  void Set(T& field, const T& value);

  TSimpleBtn* owner_;
  int glyphs_[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  TImageList* glyphList_ = nullptr;
  int glyphAdjustH_ = 0, glyphAdjustV_ = 0;
  TBasicBtnLayout glyphLayout_ = laLeft;
  WideString prefix_;
  bool transparent_ = true;
};

class TSimpleBtn : public TBasicBtn {
public:
  explicit TSimpleBtn(QWidget* parent = nullptr);
  ~TSimpleBtn() override;

  TBtnGlyphs& Glyphs() { return *glyphs_; }
  int Tag2 = 0;
  // Called as painting begins.
  TNotifyEvent OnBeforePaint;

  // The glyph of state; a state without one shows G0_Up's.
  int GetGlyphIndex(int state) const;
  // Where the caption goes on canvas (in its font): its measure placed by CaptionLayout, the
  // adjustments and the press shift.
  TRect CaptionRect(TCanvas& canvas) const;

protected:
  void Paint() override;
  void DrawGlyph(bool enabled);
  void DrawCaption();
  unsigned CaptionFormat() const;

private:
  std::unique_ptr<TBtnGlyphs> glyphs_;
};

class TGLSButton : public TSimpleBtn {
public:
  using TSimpleBtn::TSimpleBtn;
  TColor Color() const { return color_; }
  void SetColor(TColor value) { Set(color_, value); }

protected:
  void Paint() override;

private:
  TColor color_ = 0xC0C0C0;
};

// Fills rect row by row (vertical) or column by column from the colour from towards to: step t
// gets from + t x (to - from) / span per channel, ties rounded to even; the last row stops one
// step short of to. A span of 0 or less draws nothing.
void GradientFill(TCanvas& canvas, bool vertical, TColor from, const TRect& rect, TColor to);

template <class T>
void TBtnGlyphs::Set(T& field, const T& value) {
  if (field == value) return;
  field = value;
  if (owner_) owner_->update();
}
