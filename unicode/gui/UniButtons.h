#pragma once
// Wide push buttons, check boxes and radio buttons over Qt's, and TUniQmButton, a push button that
// paints itself: rounded frame, a vertical gradient by mouse state, a glyph per state and a
// centred, word-wrapped caption.
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

#include "platform/gui/Controls.h"
#include "unicode/UniTypes.h"
#include "unicode/gui/UniHotkeys.h"

// A Qt button with a wide caption and the class library's OnClick. The accelerator is Alt + the
// caption's hot key (the character after its last single "&"), set with the text (UniControls).
template <class QtButton>
class TUniCaptionButton : public QtButton, public TUniHotkeyControl {
public:
  explicit TUniCaptionButton(QWidget* parent);
  WideString Caption() const;
  void SetCaption(const WideString& caption);
  TNotifyEvent OnClick;
  WideString Hotkey() const override;

protected:
  // The class library's click, after Qt's: OnClick, or without one the linked action when it is
  // enabled; a check box or radio button checks or unchecks the action first.
  virtual void Click();
  // A hot key Qt hands to whichever of the controls that share it it chooses goes to the one
  // that answers it first.
  bool event(QEvent* event) override;
};

extern template class TUniCaptionButton<QPushButton>;
extern template class TUniCaptionButton<QCheckBox>;
extern template class TUniCaptionButton<QRadioButton>;

class TUniButton : public TUniCaptionButton<QPushButton> {
public:
  explicit TUniButton(QWidget* parent = nullptr) : TUniCaptionButton(parent) {}
  // Clicking closes a dialog that is the button's window with this result, unless 0.
  int ModalResult = 0;

  void Accelerate() override { click(); }

protected:
  // OnClick, then the modal result.
  void Click() override;
};

class TUniCheckBox : public TUniCaptionButton<QCheckBox> {
public:
  explicit TUniCheckBox(QWidget* parent = nullptr) : TUniCaptionButton(parent) {}
  void Accelerate() override;
};

class TUniRadioButton : public TUniCaptionButton<QRadioButton> {
public:
  explicit TUniRadioButton(QWidget* parent = nullptr);
  void Accelerate() override { setFocus(Qt::ShortcutFocusReason); }

protected:
  // Only a click that checks the button is one: a click on the chosen button changes nothing.
  void Click() override;

private:
  bool wasChecked_ = false;  // as the click began
};

class TImageList;
class TUniQmButton;

class TQmButtonGlyphs {
public:
  explicit TQmButtonGlyphs(TUniQmButton& button) : button_(button) {}
  int G0_Up() const { return index_[0]; }
  int G1_MSMove() const { return index_[1]; }
  int G2_MSDown() const { return index_[2]; }
  int G3_Disable() const { return index_[3]; }
  void SetG0_Up(int value) { SetIndex(0, value); }
  void SetG1_MSMove(int value) { SetIndex(1, value); }
  void SetG2_MSDown(int value) { SetIndex(2, value); }
  void SetG3_Disable(int value) { SetIndex(3, value); }
  // The index for a state (0-3).
  int Index(int state) const { return index_[state]; }
  const TImageList* GlyphList() const { return glyphList_; }
  void SetGlyphList(const TImageList* list);
  // Without a list: the bitmap resource Prefix + index.
  WideString Prefix;
  bool Transparent = true;

private:
  void SetIndex(int i, int value);
  TUniQmButton& button_;
  int index_[4] = {-1, -1, -1, -1};
  const TImageList* glyphList_ = nullptr;
};

// Clicks only for the mouse: Space and accelerators do nothing. So that a window made of such
// buttons can be answered from the keyboard, a Default button clicks on Enter or Return in its
// window, and a Cancel button on Escape, while no mouse button is down.
class TUniQmButton : public TUniButton {
public:
  explicit TUniQmButton(QWidget* parent = nullptr);
  TQmButtonGlyphs& Glyphs() { return glyphs_; }
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TFont Font() const;
  uint8_t State() const { return state_; }
  bool Default() const { return default_; }
  void SetDefault(bool value);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool value);
  // Measures the caption; never null, outlives the button.
  const TTextMeasurer* Measurer = &QtTextMeasurer();

protected:
  virtual void Paint(TCanvas& canvas);
  void Click() override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  void Recompute();
  void WatchWindow();
  // Enter / Escape for a Default / Cancel button; true when it clicked.
  bool KeyClick(int key);

  TQmButtonGlyphs glyphs_{*this};
  TColor color_ = 0xC0C0C0;
  uint8_t state_ = 0;
  bool mouseDown_ = false;
  bool mouseInside_ = false;
  bool default_ = false;
  bool cancel_ = false;
  QWidget* watched_ = nullptr;
};
