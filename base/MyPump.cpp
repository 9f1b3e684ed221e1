#include "base/MyPump.h"

#include <atomic>

#include "base/MyDateTimes.h"

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

TPumpThrottle::TPumpThrottle(int64_t IntervalMSecs) : interval_(IntervalMSecs), last_(MSecsCounter()) {}

bool TPumpThrottle::Due() { return DueAt(MSecsCounter()); }

bool TPumpThrottle::DueAt(int64_t ClockMSecs) {
  if (ClockMSecs - last_ < interval_) return false;
  last_ = ClockMSecs;
  return true;
}
