#include "base/MyPump.h"

#include <atomic>

#include "platform/core/Clock.h"

namespace {
std::atomic<TMessagePump*> g_pump{nullptr};
}

void SetMessagePump(TMessagePump* Pump) { g_pump.store(Pump); }
TMessagePump* GetMessagePump() { return g_pump.load(); }

void ProcessMessagesAll() {
  if (TMessagePump* p = g_pump.load()) p->ProcessAll();
}

void ProcessOneMessage() {
  if (TMessagePump* p = g_pump.load()) p->ProcessOne();
}

void TrackMouseControl() {
  if (TMessagePump* p = g_pump.load()) p->TrackMouse();
}

void IdleProcessMessage() {
  TrackMouseControl();
  ProcessOneMessage();
}

// The replaceable clock, so that a test can make every unit of a job a moment to pump and act
// on a running job however fast it converts.
TPumpThrottle::TPumpThrottle(int64_t IntervalMSecs)
    : interval_(IntervalMSecs), last_(platform::ClockMilliseconds()) {}

bool TPumpThrottle::Due() { return DueAt(platform::ClockMilliseconds()); }

bool TPumpThrottle::DueAt(int64_t ClockMSecs) {
  if (ClockMSecs - last_ < interval_) return false;
  last_ = ClockMSecs;
  return true;
}
