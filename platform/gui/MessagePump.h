#pragma once
// The message pump of long work on the GUI thread, over the Qt event loop.
#include "platform/core/MessagePump.h"

class TQtMessagePump : public TMessagePump {
public:
  // Every event pending now, once; the pump never waits for more.
  void ProcessAll() override;
  // One pass over what is pending: Qt delivers posted events and due timers together, so one
  // message of the Windows loop becomes one short pass here.
  void ProcessOne() override;
  // Qt keeps the hover look of its controls itself.
  void TrackMouse() override {}
};

// The one pump of the process, for SetMessagePump.
TQtMessagePump& QtMessagePump();
