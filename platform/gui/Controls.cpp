#include "platform/gui/Controls.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>

#include "platform/gui/Menus.h"

namespace {

bool ButtonOf(Qt::MouseButton b, TMouseButton& out) {
  switch (b) {
    case Qt::LeftButton: out = mbLeft; return true;
    case Qt::RightButton: out = mbRight; return true;
    case Qt::MiddleButton: out = mbMiddle; return true;
    default: return false;
  }
}

TShiftState ShiftOf(const QMouseEvent* e) {
  TShiftState s = 0;
  const Qt::KeyboardModifiers m = e->modifiers();
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::AltModifier) s |= ssAlt;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  const Qt::MouseButtons b = e->buttons();
  if (b & Qt::LeftButton) s |= ssLeft;
  if (b & Qt::RightButton) s |= ssRight;
  if (b & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

}  // namespace

TGraphicControl::TGraphicControl(QWidget* parent) : QWidget(parent) {
  // Qt's widgets are alien (no native window) unless asked otherwise; this one never takes focus.
  setFocusPolicy(Qt::NoFocus);
  setMouseTracking(true);
}

TFont TGraphicControl::Font() const { return TFont::FromQFont(font(), fontColor_); }

void TGraphicControl::SetFont(const TFont& f) {
  fontColor_ = f.Color;
  setFont(f.ToQFont());
  update();
}

void TGraphicControl::SetText(const std::u16string& text) {
  if (text == text_) return;
  text_ = text;
  update();
}

void TGraphicControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  TCanvas canvas(painter);
  canvas.Measurer = Measurer;
  canvas.Font = Font();
  Canvas = &canvas;
  Paint();
  Canvas = nullptr;
}

void TGraphicControl::Click() {
  if (OnClick) OnClick(this);
}

void TGraphicControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TGraphicControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TGraphicControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TGraphicControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TGraphicControl::Track(bool inside) {
  if (inside == mouseOver_) return;
  mouseOver_ = inside;
  if (inside)
    MouseEnter();
  else
    MouseLeave();
}

void TGraphicControl::mousePressEvent(QMouseEvent* e) {
  TMouseButton b;
  if (!ButtonOf(e->button(), b)) return;
  if (b == mbLeft) clicked_ = true;
  const QPoint p = e->position().toPoint();
  MouseDown(b, ShiftOf(e), p.x(), p.y());
}

void TGraphicControl::mouseDoubleClickEvent(QMouseEvent* e) {
  // The second press of a double click: no click follows its release.
  TMouseButton b;
  if (!ButtonOf(e->button(), b)) return;
  if (b == mbLeft) DblClick();
  const QPoint p = e->position().toPoint();
  MouseDown(b, ShiftOf(e) | ssDouble, p.x(), p.y());
}

void TGraphicControl::mouseReleaseEvent(QMouseEvent* e) {
  TMouseButton b;
  if (!ButtonOf(e->button(), b)) return;
  const QPoint p = e->position().toPoint();
  if (b == mbLeft && clicked_) {
    clicked_ = false;
    if (rect().contains(p)) Click();
  }
  MouseUp(b, ShiftOf(e), p.x(), p.y());
}

void TGraphicControl::mouseMoveEvent(QMouseEvent* e) {
  const QPoint p = e->position().toPoint();
  // Qt holds enter and leave back while a button is down; the control's look must not wait.
  Track(rect().contains(p));
  MouseMove(ShiftOf(e), p.x(), p.y());
}

void TGraphicControl::enterEvent(QEnterEvent* e) {
  Track(true);
  QWidget::enterEvent(e);
}

void TGraphicControl::leaveEvent(QEvent* e) {
  Track(false);
  QWidget::leaveEvent(e);
}

void TGraphicControl::contextMenuEvent(QContextMenuEvent* e) {
  if (!PopupMenu) {
    e->ignore();
    return;
  }
  PopupMenu->Popup(e->globalPos().x(), e->globalPos().y());
}
