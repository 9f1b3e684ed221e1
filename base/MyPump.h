#pragma once
// Message pumping for long work on the main thread. The window layer installs a pump that
// processes its pending events; without one (command line, tests) the routines do nothing.
#include <cstdint>

#include "platform/core/MessagePump.h"

// Installs the pump (nullptr removes it). The pump is not owned.
void SetMessagePump(TMessagePump* Pump);
TMessagePump* GetMessagePump();

void ProcessMessagesAll();
void ProcessOneMessage();
void TrackMouseControl();
void IdleProcessMessage();  // TrackMouseControl, then ProcessOneMessage

// Pumping after every unit of work must never dominate the work: a job asks Due() after each
// unit and pumps only when it says so, at most once per interval of the clock that timing reads
// (platform::ClockMilliseconds).
//   TPumpThrottle pump;  ...  if (pump.Due()) ProcessOneMessage();
class TPumpThrottle {
public:
  static constexpr int64_t DefaultIntervalMSecs = 50;
  explicit TPumpThrottle(int64_t IntervalMSecs = DefaultIntervalMSecs);
  // True (and the interval restarts) when at least the interval has passed since the last
  // time it was true, or since construction.
  bool Due();
  bool DueAt(int64_t ClockMSecs);  // the same against a given reading of the clock

private:
  int64_t interval_;
  int64_t last_;
};
