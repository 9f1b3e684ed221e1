#pragma once
// A recursive lock with a time limit on waiting, and the registry of every lock object.
#include <condition_variable>
#include <cstdint>
#include <mutex>

// Enter's time limit that never expires.
constexpr uint32_t INFINITE = 0xFFFFFFFF;

// Every instance is linked into one process-wide list, most recently created first.
class TBaseCriticalSection {
public:
  TBaseCriticalSection();
  virtual ~TBaseCriticalSection();
  TBaseCriticalSection(const TBaseCriticalSection&) = delete;
  TBaseCriticalSection& operator=(const TBaseCriticalSection&) = delete;

  // Neighbours in the registry: Prev is nearer the head. Stable only while no other
  // thread creates or destroys lock objects.
  TBaseCriticalSection* Prev() const { return FPrev; }
  TBaseCriticalSection* Next() const { return FNext; }

  static TBaseCriticalSection* RegistryHead();
  static int RegistryCount();

private:
  TBaseCriticalSection* FPrev = nullptr;
  TBaseCriticalSection* FNext = nullptr;
};

// Recursive: the owner may enter again and must leave as often as it entered.
// Ownership passes on the owner's last Leave straight to the longest-waiting thread.
class TMyCriticalSection : public TBaseCriticalSection {
public:
  TMyCriticalSection() = default;
  ~TMyCriticalSection() override = default;

  // Timeout in milliseconds, INFINITE to wait for ever. True when the caller now holds the lock;
  // False leaves the lock as it was before the call.
  bool Enter(uint32_t Timeout);
  // Releases one level held by the calling thread; a thread that does not own the lock
  // releases nothing.
  void Leave();

  // -1 when free; otherwise the Enter calls holding or waiting, minus one (nested entries count).
  int64_t GetLockCount();
  // The owner's thread id, 0 when none.
  uint32_t GetOwnThread();

  // Forced release: ThreadId <> 0 drops every level that thread holds; ThreadId 0 drops
  // every level of whichever thread owns the lock. The next waiter, if any, becomes the owner.
  virtual void ReleaseAll(uint32_t ThreadId);

private:
  struct TWaiter {
    uint32_t ThreadId = 0;
    bool Granted = false;
    std::condition_variable Wake;
    TWaiter* Next = nullptr;
    TWaiter* Prev = nullptr;
  };

  void ReleaseLevels(int64_t Levels);
  void HandOver();
  void Unqueue(TWaiter* W);

  std::mutex Guard;        // guards everything below
  uint32_t OwnThread = 0;  // 0 when free
  int64_t Recursion = 0;
  int64_t WaiterCount = 0;
  TWaiter* FirstWaiter = nullptr;  // FIFO of threads blocked in Enter
  TWaiter* LastWaiter = nullptr;
};
