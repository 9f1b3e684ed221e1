#pragma once
// The application's companion: its title and the long hint of what the pointer is over. It shows
// the controls' short hints as tooltips (QToolTip stands in for the wide hint window).
#include <QObject>

#include "unicode/UniTypes.h"

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
