#include "platform/gui/MessagePump.h"

#include <QCoreApplication>
#include <QEventLoop>

void TQtMessagePump::ProcessAll() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TQtMessagePump::ProcessOne() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents, 0);
}

TQtMessagePump& QtMessagePump() {
  static TQtMessagePump pump;
  return pump;
}
