#include "unicode/gui/UniForms.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QPointer>
#include <QToolTip>
#include <QVariant>
#include <QWidget>

#include "unicode/UniSysUtils.h"
#include "unicode/gui/UniActnList.h"
#include "unicode/gui/UniHotkeys.h"

namespace {

// The dynamic property that holds a control's wide hint.
constexpr char hintProperty[] = "mirelconHint";

}  // namespace

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

// ---- hints ----

WideString UniControl_GetHint(const QWidget* control) {
  return control ? control->property(hintProperty).toString().toStdU16String() : WideString();
}

void UniControl_SetHint(QWidget* control, const WideString& hint) {
  if (!control) return;
  // Hints show through the application's companion.
  UniApplication();
  control->setProperty(hintProperty, QString::fromStdU16String(hint));
}

WideString WideGetHint(const QWidget* control) {
  for (; control; control = control->parentWidget()) {
    WideString hint = UniControl_GetHint(control);
    if (!hint.empty()) return hint;
  }
  return {};
}

WideString WideGetShortHint(const WideString& hint) {
  const size_t bar = hint.find(u'|');
  return bar == WideString::npos ? hint : hint.substr(0, bar);
}

WideString WideGetLongHint(const WideString& hint) {
  const size_t bar = hint.find(u'|');
  return bar == WideString::npos ? hint : hint.substr(bar + 1);
}

WideString UniControl_GetTooltip(const QWidget* control) {
  const WideString hint = WideGetShortHint(WideGetHint(control));
  const TUniAction* action = UniControl_GetAction(control);
  if (hint.empty() || !action || action->ShortCut() == 0) return hint;
  return WideFormat(u"%s (%s)", {hint, WideShortCutToText(action->ShortCut())});
}
