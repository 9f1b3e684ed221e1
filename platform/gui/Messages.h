#pragma once
// Posted window messages: an event queued to a receiver and delivered by the event loop after
// everything already pending, as PostMessage queues a message to a window.
#include <QEvent>
#include <cstdint>

class QObject;

class TMessageEvent : public QEvent {
public:
  TMessageEvent(uint32_t msg, intptr_t wParam, intptr_t lParam);
  // The event type of every posted message, registered with Qt once.
  static QEvent::Type MessageType();

  uint32_t Msg;
  intptr_t WParam;
  intptr_t LParam;
  // The receiver's answer to a sent message.
  intptr_t Result = 0;
};

namespace platform {

// Queues msg to receiver, which gets it as a TMessageEvent in customEvent. A message to a
// receiver destroyed before delivery is dropped.
void PostMessage(QObject* receiver, uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0);

// Delivers msg to receiver's customEvent now, before returning, as SendMessage does, and returns
// the Result the receiver set.
intptr_t SendMessage(QObject* receiver, uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0);

}  // namespace platform
