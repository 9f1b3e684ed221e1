#pragma once
// The application's companion: its title and the long hint of what the pointer is over. It shows
// the controls' short hints as tooltips (QToolTip stands in for the wide hint window). The hints
// live here with it: a control's hint is "short|long", the short part shown as its tooltip, the
// long part becoming UniApplication's hint while the pointer is over it.
#include <QObject>

#include "unicode/UniTypes.h"

class QWidget;

class TUniApplication : public QObject {
public:
  // The application's display name (by default its name).
  WideString Title() const;
  // Changes the display name only when it differs.
  void SetTitle(const WideString& title);

  // The long hint of the control or menu item under the pointer; empty over none.
  const WideString& Hint() const { return hint_; }
  void SetHint(const WideString& hint) { hint_ = hint; }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  friend TUniApplication& UniApplication();
  explicit TUniApplication(QObject* parent) : QObject(parent) {}
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
