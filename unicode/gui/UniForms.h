#pragma once
// The application's companion: its title and the long hint of what the pointer is over. It shows
// the controls' short hints as tooltips (QToolTip stands in for the wide hint window). The hints
// live here with it: a control's hint is "short|long", the short part shown as its tooltip, the
// long part becoming UniApplication's hint while the pointer is over it.
#include <QObject>

#include "platform/gui/Controls.h"
#include "unicode/UniTypes.h"

class QMenu;
class QWidget;
class TUniAction;

// Sent to a control with the action (a TUniAction*) in LParam; a control that carries the action
// out answers with Result 1.
inline constexpr uint32_t CM_ACTIONEXECUTE = 0xB000 + 64;

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
  explicit TUniApplication(QObject* parent) : QObject(parent) {}
  // From now on the entry highlighted in menu publishes the long hint of its menu item, of
  // whatever class, or an empty hint for an entry of no item.
  void WatchMenu(QMenu& menu);
  WideString hint_;
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

// The tooltip of control: the short part of its hint, followed by " (" shortcut ")" when the
// control's action has a shortcut.
WideString UniControl_GetTooltip(const QWidget* control);
