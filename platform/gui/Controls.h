#pragma once
// The class library's graphic control: a control without a window of its own that paints on its
// parent. Here a QWidget that never takes the focus and has no native window; it paints through a
// TCanvas and reports the mouse as the class library does (a left press and a release over the
// control make a click, raised before the release's MouseUp; a double click is its own event).
#include <QWidget>
#include <functional>

#include "platform/gui/Graphics.h"

class TPopupMenu;

enum TMouseButton { mbLeft, mbRight, mbMiddle };
// Shift states, one bit each.
using TShiftState = unsigned;
inline constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64;

using TNotifyEvent = std::function<void(QObject* sender)>;
using TMouseEvent = std::function<void(QObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(QObject* sender, TShiftState shift, int x, int y)>;

class TGraphicControl : public QWidget {
public:
  explicit TGraphicControl(QWidget* parent = nullptr);

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  // Shown by a right click or the Menu key over the control.
  TPopupMenu* PopupMenu = nullptr;
  // Measures the control's text; never null, outlives the control.
  const TTextMeasurer* Measurer = &QtTextMeasurer();

  // The widget's font with the colour of its text.
  TFont Font() const;
  void SetFont(const TFont& font);

  // The control's text (its caption); setting it repaints when it changed.
  virtual const std::u16string& GetText() const { return text_; }
  virtual void SetText(const std::u16string& text);

protected:
  // Set while Paint runs.
  TCanvas* Canvas = nullptr;
  virtual void Paint() {}

  virtual void Click();
  virtual void DblClick();
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  // The pointer came over the control or left it, also while a button is held down.
  virtual void MouseEnter() {}
  virtual void MouseLeave() {}

  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

private:
  void Track(bool inside);

  std::u16string text_;
  TColor fontColor_ = clWindowText;
  bool clicked_ = false;  // a left press that a release over the control turns into a click
  bool mouseOver_ = false;
};
