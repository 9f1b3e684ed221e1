#include "base/MySynchro.h"

#include <chrono>

#include "platform/core/Clock.h"

namespace {

// Constant-initialised, so that lock objects created or destroyed by other units' static
// initialisers and finalisers always find the registry ready.
constinit std::mutex gRegistryGuard;
constinit TBaseCriticalSection* gRegistryHead = nullptr;
constinit int gRegistryCount = 0;

}  // namespace

TBaseCriticalSection::TBaseCriticalSection() {
  std::lock_guard<std::mutex> g(gRegistryGuard);
  FNext = gRegistryHead;
  if (gRegistryHead) gRegistryHead->FPrev = this;
  gRegistryHead = this;
  ++gRegistryCount;
}

TBaseCriticalSection::~TBaseCriticalSection() {
  std::lock_guard<std::mutex> g(gRegistryGuard);
  if (FPrev)
    FPrev->FNext = FNext;
  else
    gRegistryHead = FNext;
  if (FNext) FNext->FPrev = FPrev;
  --gRegistryCount;
}

TBaseCriticalSection* TBaseCriticalSection::RegistryHead() {
  std::lock_guard<std::mutex> g(gRegistryGuard);
  return gRegistryHead;
}

int TBaseCriticalSection::RegistryCount() {
  std::lock_guard<std::mutex> g(gRegistryGuard);
  return gRegistryCount;
}

bool TMyCriticalSection::Enter(uint32_t Timeout) {
  const uint32_t self = platform::CurrentThreadId();
  std::unique_lock<std::mutex> lock(Guard);
  if (OwnThread == 0) {
    OwnThread = self;
    Recursion = 1;
    return true;
  }
  if (OwnThread == self) {
    ++Recursion;
    return true;
  }
  if (Timeout == 0) return false;

  TWaiter w;
  w.ThreadId = self;
  w.Prev = LastWaiter;
  if (LastWaiter)
    LastWaiter->Next = &w;
  else
    FirstWaiter = &w;
  LastWaiter = &w;
  ++WaiterCount;

  auto granted = [&w] { return w.Granted; };
  if (Timeout == INFINITE)
    w.Wake.wait(lock, granted);
  else
    w.Wake.wait_until(lock, std::chrono::steady_clock::now() + std::chrono::milliseconds(Timeout),
                      granted);
  // Grant and time-out are both decided under Guard: a waiter that was granted the lock
  // owns it even if its time ran out at the same moment, and one that was not has left no trace.
  if (w.Granted) return true;
  Unqueue(&w);
  return false;
}

void TMyCriticalSection::Leave() {
  const uint32_t self = platform::CurrentThreadId();
  std::lock_guard<std::mutex> lock(Guard);
  if (OwnThread != self) return;
  ReleaseLevels(1);
}

int64_t TMyCriticalSection::GetLockCount() {
  std::lock_guard<std::mutex> lock(Guard);
  return Recursion + WaiterCount - 1;
}

uint32_t TMyCriticalSection::GetOwnThread() {
  std::lock_guard<std::mutex> lock(Guard);
  return OwnThread;
}

void TMyCriticalSection::ReleaseAll(uint32_t ThreadId) {
  std::lock_guard<std::mutex> lock(Guard);
  const uint32_t owner = OwnThread;
  if ((ThreadId != 0 && owner == ThreadId) || (ThreadId == 0 && owner != 0))
    ReleaseLevels(Recursion);
  if (ThreadId != 0) return;
  if (OwnThread == 0) HandOver();
}

// Under Guard, with an owner.
void TMyCriticalSection::ReleaseLevels(int64_t Levels) {
  Recursion -= Levels;
  if (Recursion > 0) return;
  Recursion = 0;
  OwnThread = 0;
  HandOver();
}

// Under Guard, with the lock free: the longest-waiting thread becomes the owner.
void TMyCriticalSection::HandOver() {
  TWaiter* w = FirstWaiter;
  if (!w) return;
  Unqueue(w);
  OwnThread = w->ThreadId;
  Recursion = 1;
  w->Granted = true;
  // Notified while Guard is held: the waiter cannot see Granted, return and take its
  // condition variable off the stack before this call is done with it.
  w->Wake.notify_one();
}

void TMyCriticalSection::Unqueue(TWaiter* W) {
  if (W->Prev)
    W->Prev->Next = W->Next;
  else
    FirstWaiter = W->Next;
  if (W->Next)
    W->Next->Prev = W->Prev;
  else
    LastWaiter = W->Prev;
  W->Prev = W->Next = nullptr;
  --WaiterCount;
}
