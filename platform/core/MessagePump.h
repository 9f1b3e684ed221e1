#pragma once
// What long work on the main thread calls to keep the window alive: the window layer implements
// it over its event loop; the work below never sees the window system.
struct TMessagePump {
  virtual ~TMessagePump() = default;
  virtual void ProcessAll() = 0;  // every pending message
  virtual void ProcessOne() = 0;  // at most one waiting message
  virtual void TrackMouse() = 0;  // keeps the hover look of the control under the cursor right
};
