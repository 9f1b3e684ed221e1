#include "unicode/gui/UniForms.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QPointer>
#include <QToolTip>

#include "unicode/gui/UniControls.h"

WideString TUniApplication::Title() const { return QGuiApplication::applicationDisplayName().toStdU16String(); }

void TUniApplication::SetTitle(const WideString& title) {
  if (Title() != title) QGuiApplication::setApplicationDisplayName(QString::fromStdU16String(title));
}

bool TUniApplication::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Enter:
      if (auto* w = qobject_cast<QWidget*>(watched)) hint_ = WideGetLongHint(WideGetHint(w));
      break;
    case QEvent::Leave:
      // Back over the parent (or over no window of the program).
      if (auto* w = qobject_cast<QWidget*>(watched)) hint_ = WideGetLongHint(WideGetHint(w->parentWidget()));
      break;
    case QEvent::Hide:
      // A menu closing selects nothing.
      if (qobject_cast<QMenu*>(watched)) hint_.clear();
      break;
    case QEvent::ToolTip: {
      auto* w = qobject_cast<QWidget*>(watched);
      // A widget with a tooltip of Qt's own keeps it.
      if (!w || !w->toolTip().isEmpty()) break;
      const WideString tip = UniControl_GetTooltip(w);
      if (tip.empty()) break;
      QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), QString::fromStdU16String(tip), w);
      return true;
    }
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

TUniApplication& UniApplication() {
  static QPointer<TUniApplication> instance;
  static TUniApplication* orphan = nullptr;  // made before the Qt application existed
  if (instance) return *instance;
  if (!QCoreApplication::instance()) {
    if (!orphan) orphan = new TUniApplication(nullptr);
    return *orphan;
  }
  // A child of the application, so that it goes before Qt does.
  instance = new TUniApplication(QCoreApplication::instance());
  QCoreApplication::instance()->installEventFilter(instance);
  return *instance;
}
