#include "platform/gui/Messages.h"

#include <QCoreApplication>

TMessageEvent::TMessageEvent(uint32_t msg, intptr_t wParam, intptr_t lParam)
    : QEvent(MessageType()), Msg(msg), WParam(wParam), LParam(lParam) {}

QEvent::Type TMessageEvent::MessageType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

namespace platform {

void PostMessage(QObject* receiver, uint32_t msg, intptr_t wParam, intptr_t lParam) {
  QCoreApplication::postEvent(receiver, new TMessageEvent(msg, wParam, lParam));
}

intptr_t SendMessage(QObject* receiver, uint32_t msg, intptr_t wParam, intptr_t lParam) {
  TMessageEvent event(msg, wParam, lParam);
  QCoreApplication::sendEvent(receiver, &event);
  return event.Result;
}

}  // namespace platform
