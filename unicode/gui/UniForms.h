#pragma once
// The application's companion: its title and the long hint of what the pointer is over. It shows
// the controls' short hints in its hint window when the pointer rests on them. The hints live here
// with it: a control's hint is "short|long", the short part shown in the hint window, the long
// part becoming UniApplication's hint while the pointer is over it.
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <map>

#include "platform/gui/Controls.h"
#include "platform/gui/Graphics.h"
#include "platform/gui/Menus.h"
#include "unicode/UniTypes.h"

class QAction;
class QMenu;
class TUniAction;

// Sent to a control with the action (a TUniAction*) in LParam; a control that carries the action
// out answers with Result 1.
inline constexpr uint32_t CM_ACTIONEXECUTE = 0xB000 + 64;

// The hint window. A hint is plain text: nothing in it is markup and "&" marks no hot key; it is
// word-wrapped within the width the window is given, on the hint colour in a one-pixel frame.
class TUniCustomHintWindow : public QWidget {
public:
  // A window of its own (a tooltip's, never activated) in front of parent's window.
  explicit TUniCustomHintWindow(QWidget* parent = nullptr);
  // The rectangle, at (0, 0), that hint needs within maxWidth pixels: its text's measure, 6
  // wider and 2 taller.
  TRect CalcHintRect(int maxWidth, const WideString& hint) const;
  // Shows hint over rect (in screen coordinates), made 4 taller, so that the text set 2 pixels
  // into the frame keeps its last line whole.
  void ActivateHint(const TRect& rect, const WideString& hint);
  const WideString& Caption() const { return caption_; }
  // Measures and draws the text; never null, outlives the window.
  const TTextMeasurer* Measurer = &QtTextMeasurer();

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  TFont HintFont() const;
  WideString caption_;
};

class TUniApplication : public QObject {
public:
  // The application's title, the caption of its plain message boxes (by default its name). Window
  // titles never carry it.
  WideString Title() const;
  void SetTitle(const WideString& title);

  // The long hint of the control under the pointer or of the highlighted menu item; empty over
  // none.
  const WideString& Hint() const { return hint_; }
  // A different hint is published: OnHint runs, or without one a TUniHintAction carrying the hint
  // is executed, so that whatever shows hints shows it.
  void SetHint(const WideString& hint);
  TNotifyEvent OnHint;

  // Offers action to the program's windows: the active window first, then the other shown ones,
  // since a window under the pointer need not be active (and without a window manager none is).
  // In a window: its focused control, the window itself, then its shown controls, depth first. A
  // control takes the action by answering CM_ACTIONEXECUTE with 1; true when one did.
  bool ExecuteAction(TUniAction& action);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  friend TUniApplication& UniApplication();
  explicit TUniApplication(QObject* parent);
  // From now on the entry highlighted in menu publishes the long hint of its menu item, of
  // whatever class, or an empty hint for an entry of no item.
  void WatchMenu(QMenu& menu);
  // After menu has handled an event of kind type: publishes what is highlighted now where the
  // event may have changed it (the menu's own highlight, or with a key or a closing menu, the
  // highlight of the menu that has the keyboard).
  void MenuEventDone(QMenu* menu, int type);
  // The long hint of the entry highlighted in menu; empty when none is.
  static WideString MenuHint(const QMenu* menu);
  // The long hint of a menu's entry; empty for none and for an entry of no menu item.
  static WideString EntryHint(const QAction* action);
  // The key pressed is a shortcut of a menu that window owns or of an action of window: the item
  // clicks or the action executes. True when one did.
  bool IsShortCut(QWidget& window, TShortCut shortCut);
  // Shows control's hint below the pointer at globalPos; false when it has none.
  bool ShowHint(QWidget& control, const QPoint& globalPos);
  void CancelHint();
  WideString hint_;
  // What each watched menu had highlighted when last looked at.
  std::map<const QMenu*, QPointer<QAction>> highlighted_;
  // Made in front of the window whose control shows a hint, and gone with that window.
  QPointer<TUniCustomHintWindow> hintWindow_;
  QPointer<QWidget> hintControl_;
  QTimer hintHide_;
};

// The one companion, made on first use; it lives as long as the Qt application.
TUniApplication& UniApplication();

// A control's own hint; setting one makes the companion that shows it.
WideString UniControl_GetHint(const QWidget* control);
void UniControl_SetHint(QWidget* control, const WideString& hint);

// The first non-empty hint of control and its parents; empty when none has one.
WideString WideGetHint(const QWidget* control);
// The text before / after the first "|"; the whole text when there is none.
WideString WideGetShortHint(const WideString& hint);
WideString WideGetLongHint(const WideString& hint);

// What the hint window shows for control: the short part of its hint, followed by " (" shortcut
// ")" when the control's action has a shortcut.
WideString UniControl_GetTooltip(const QWidget* control);
