#include "unicode/gui/UniButtons.h"

#include <QDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QShortcutEvent>
#include <algorithm>
#include <string>

#include "platform/core/RoundHalfEven.h"
#include "platform/gui/Graphics.h"
#include "platform/gui/Messages.h"
#include "unicode/gui/UniControls.h"

namespace {

// Only a control that can take the focus answers its accelerator.
bool CanFocus(const QWidget& w) { return w.isEnabled() && w.isVisible() && w.focusPolicy() != Qt::NoFocus; }

}  // namespace

template <class QtButton>
TUniCaptionButton<QtButton>::TUniCaptionButton(QWidget* parent) : QtButton(parent) {
  QObject::connect(this, &QAbstractButton::clicked, this, [this] { Click(); });
}

template <class QtButton>
WideString TUniCaptionButton<QtButton>::Caption() const {
  return UniControl_GetText(this);
}

template <class QtButton>
void TUniCaptionButton<QtButton>::SetCaption(const WideString& caption) {
  UniControl_SetText(this, caption);
}

template <class QtButton>
void TUniCaptionButton<QtButton>::Click() {
  if (OnClick) {
    OnClick(this);
    return;
  }
  // A linked control without a handler of its own is the action's trigger, as a menu item is.
  TUniAction* action = UniControl_GetAction(this);
  if (!action || !action->Enabled()) return;
  if (!this->isCheckable()) {
    action->Execute();
    return;
  }
  UniAction_ClientClicked(action, this->isChecked());
  // An action of a group stays checked: the control shows what the action holds.
  UniControl_SetChecked(this, action->Checked());
}

template <class QtButton>
WideString TUniCaptionButton<QtButton>::Hotkey() const {
  return WideGetHotkey(Caption());
}

template <class QtButton>
bool TUniCaptionButton<QtButton>::event(QEvent* e) {
  if (e->type() == QEvent::Shortcut) {
    const WideString key = WideHotkeyOfSequence(static_cast<QShortcutEvent*>(e)->key());
    if (!key.empty())
      WideDialogChar(*this->window(), key);
    else if (CanFocus(*this))
      Accelerate();
    return true;
  }
  return QtButton::event(e);
}

template class TUniCaptionButton<QPushButton>;
template class TUniCaptionButton<QCheckBox>;
template class TUniCaptionButton<QRadioButton>;

void TUniButton::Click() {
  TUniCaptionButton::Click();
  if (ModalResult != 0)
    if (auto* dialog = qobject_cast<QDialog*>(window())) dialog->done(ModalResult);
}

TUniRadioButton::TUniRadioButton(QWidget* parent) : TUniCaptionButton(parent) {
  connect(this, &QAbstractButton::pressed, this, [this] { wasChecked_ = isChecked(); });
}

void TUniRadioButton::Click() {
  const bool changed = !wasChecked_ && isChecked();
  wasChecked_ = isChecked();
  if (changed) TUniCaptionButton::Click();
}

void TUniCheckBox::Accelerate() {
  setFocus(Qt::ShortcutFocusReason);
  if (hasFocus()) click();
}

// ---- The glyph push button

void TQmButtonGlyphs::SetIndex(int i, int value) {
  index_[i] = value;
  button_.update();
}

void TQmButtonGlyphs::SetGlyphList(const TImageList* list) {
  if (list == glyphList_) return;
  glyphList_ = list;
  button_.update();
}

TUniQmButton::TUniQmButton(QWidget* parent) : TUniButton(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TUniQmButton::SetColor(TColor color) {
  color_ = color;
  update();
}

TFont TUniQmButton::Font() const { return TFont::FromQFont(font(), clBtnText); }

void TUniQmButton::Recompute() {
  uint8_t state = !isEnabled() ? 3 : mouseDown_ && mouseInside_ ? 2 : 0;
  if (mouseInside_ && state == 0) state = 1;
  if (state != state_) {
    state_ = state;
    update();
  }
}

void TUniQmButton::Click() {
  if (!isEnabled() || !mouseDown_) return;
  mouseDown_ = false;
  mouseInside_ = true;
  TUniButton::Click();
}

void TUniQmButton::mousePressEvent(QMouseEvent* e) {
  if (!isEnabled()) return;
  if (e->button() == Qt::LeftButton) {
    mouseDown_ = true;
    Recompute();
  }
  TUniButton::mousePressEvent(e);
}

void TUniQmButton::mouseMoveEvent(QMouseEvent* e) {
  if (!isEnabled()) return;
  mouseInside_ = rect().contains(e->position().toPoint());
  Recompute();
  TUniButton::mouseMoveEvent(e);
}

void TUniQmButton::mouseReleaseEvent(QMouseEvent* e) {
  if (!isEnabled()) return;
  // Qt raises the click inside the release, before the class library's mouse-up would run.
  TUniButton::mouseReleaseEvent(e);
  if (e->button() == Qt::LeftButton) {
    mouseDown_ = false;
    Recompute();
  }
}

void TUniQmButton::enterEvent(QEnterEvent* e) {
  TUniButton::enterEvent(e);
  if (!isEnabled()) return;
  mouseInside_ = true;
  Recompute();
}

void TUniQmButton::leaveEvent(QEvent* e) {
  TUniButton::leaveEvent(e);
  if (!isEnabled() || !mouseInside_) return;
  mouseInside_ = false;
  Recompute();
}

void TUniQmButton::changeEvent(QEvent* e) {
  TUniButton::changeEvent(e);
  if (e->type() == QEvent::EnabledChange) Recompute();
}

bool TUniQmButton::event(QEvent* e) {
  if (e->type() == QEvent::Show || e->type() == QEvent::ParentChange) WatchWindow();
  if (e->type() == TMessageEvent::MessageType() &&
      static_cast<TMessageEvent*>(e)->Msg == CM_TEXTCHANGED)
    update();
  return TUniButton::event(e);
}

void TUniQmButton::SetDefault(bool value) {
  default_ = value;
  WatchWindow();
}

void TUniQmButton::SetCancel(bool value) {
  cancel_ = value;
  WatchWindow();
}

void TUniQmButton::WatchWindow() {
  QWidget* w = (default_ || cancel_) ? window() : nullptr;
  if (w == this) w = nullptr;
  if (w == watched_) return;
  if (watched_) watched_->removeEventFilter(this);
  watched_ = w;
  if (watched_) watched_->installEventFilter(this);
}

bool TUniQmButton::KeyClick(int key) {
  const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
  if (!((enter && default_) || (key == Qt::Key_Escape && cancel_))) return false;
  if (!isEnabled() || !isVisible() || QGuiApplication::mouseButtons() != Qt::NoButton) return true;
  TUniButton::Click();
  return true;
}

bool TUniQmButton::eventFilter(QObject* watched, QEvent* e) {
  if (watched == watched_ && e->type() == QEvent::KeyPress && KeyClick(static_cast<QKeyEvent*>(e)->key()))
    return true;
  return TUniButton::eventFilter(watched, e);
}

void TUniQmButton::keyPressEvent(QKeyEvent* e) {
  if (!KeyClick(e->key())) TUniButton::keyPressEvent(e);
}

void TUniQmButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  TCanvas canvas(painter);
  canvas.Measurer = Measurer;
  Paint(canvas);
}

void TUniQmButton::Paint(TCanvas& canvas) {
  const int w = width(), h = height();
  canvas.Font = Font();
  canvas.Pen.Color = state_ == 3 ? 0xCE8C46 : 0x875825;
  canvas.Brush.Color = clWhite;
  canvas.Brush.Style = bsSolid;
  canvas.RoundRect(0, 0, w, h, 5, 5);

  const TRect g{2, 1, w - 2, h - 1};
  static constexpr TColor white = 0xFFFFFF;
  const TColor color = ColorToRGB(color_);
  const TColor from[] = {white, white, color, 0xFBFBFB};
  const TColor to[] = {color, white, white, color};
  const TColor fromColor = from[state_], toColor = state_ == 1 ? 0xFFABA9 : to[state_];
  const int n = g.Bottom - g.Top;
  for (int i = 1; i <= n; ++i) {
    TColor c = 0;
    for (int shift : {0, 8, 16}) {
      const double a = (fromColor >> shift) & 0xFF, b = (toColor >> shift) & 0xFF;
      const int v = std::clamp(RoundHalfEven(a + i * ((b - a) / n)), 0, 255);
      c |= static_cast<TColor>(v) << shift;
    }
    canvas.Pen.Color = c;
    canvas.MoveTo(2, i);
    canvas.LineTo(g.Right - g.Left + 2, i);
  }

  const int press = state_ == 2 ? 1 : 0;
  int index = glyphs_.Index(state_);
  if (index == -1) index = glyphs_.G0_Up();
  if (index >= 0) {
    if (const TImageList* list = glyphs_.GlyphList()) {
      if (index < list->Count() && isEnabled())
        list->Draw(canvas, (w - list->Width) / 2 + press, (h - list->Height) / 2 + press, index, true);
    } else if (!glyphs_.Prefix.empty()) {
      const std::string number = std::to_string(index);
      TBitmap bitmap;
      if (bitmap.LoadFromResourceName(glyphs_.Prefix + WideString(number.begin(), number.end()))) {
        bitmap.Transparent = glyphs_.Transparent;
        if (!isEnabled()) bitmap.SetMonochrome();
        canvas.Draw((w - bitmap.Width()) / 2 + press, (h - bitmap.Height()) / 2 + press, bitmap);
      }
    }
  }

  const WideString caption = Caption();
  if (caption.empty()) return;
  canvas.Brush.Style = bsClear;
  TRect r{0, 0, w, h};
  canvas.DrawText(caption, r, DT_CALCRECT | DT_WORDBREAK);
  r = r.Offset((w - r.Right) / 2 + press, (h - r.Bottom) / 2 + press);
  if (!isEnabled()) {
    canvas.Font.Color = clWhite;
    TRect emboss = r.Offset(1, 1);
    canvas.DrawText(caption, emboss, DT_CENTER | DT_WORDBREAK);
    canvas.Font.Color = 0x808080;
  }
  canvas.DrawText(caption, r, DT_CENTER | DT_WORDBREAK);
}
