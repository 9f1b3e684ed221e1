#pragma once
// Stands in for the window's event loop: counts the pumps and clicks Stop at the first one.
#include "base/MyPump.h"

template <typename Job>
struct StopPump : TMessagePump {
  Job* job = nullptr;
  int pumped = 0;
  void ProcessAll() override { ProcessOne(); }
  void ProcessOne() override {
    ++pumped;
    if (job) job->Abort();
  }
  void TrackMouse() override {}
};
