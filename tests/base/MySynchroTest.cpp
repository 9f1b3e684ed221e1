#include "base/MySynchro.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "platform/core/Clock.h"

namespace {

using namespace std::chrono_literals;

// Polls until cond holds; the bound only keeps a broken lock from hanging the suite.
template <class Cond>
bool Eventually(Cond cond) {
  auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!cond()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

}  // namespace

TEST(MySynchro, NestedEnterAndLeaveOnOneThread) {
  TMyCriticalSection cs;
  EXPECT_EQ(cs.GetLockCount(), -1);
  const int levels = 70000;  // beyond sixteen bits
  for (int i = 0; i < levels; ++i) ASSERT_TRUE(cs.Enter(i % 2 ? 0 : INFINITE));  // nested: never waits
  EXPECT_EQ(cs.GetLockCount(), levels - 1);
  EXPECT_EQ(cs.GetOwnThread(), platform::CurrentThreadId());
  std::thread([&] { cs.Leave(); }).join();  // a non-owner releases nothing
  for (int i = 0; i < levels - 1; ++i) cs.Leave();
  EXPECT_EQ(cs.GetLockCount(), 0);
  EXPECT_EQ(cs.GetOwnThread(), platform::CurrentThreadId());
  cs.Leave();
  EXPECT_EQ(cs.GetLockCount(), -1);
  EXPECT_EQ(cs.GetOwnThread(), 0u);
}

TEST(MySynchro, OtherThreadTimesOutAndLeavesTheCountsAsTheyWere) {
  TMyCriticalSection cs;
  ASSERT_TRUE(cs.Enter(INFINITE));
  std::thread([&] {
    EXPECT_FALSE(cs.Enter(0));
    EXPECT_FALSE(cs.Enter(30));
  }).join();
  EXPECT_EQ(cs.GetLockCount(), 0);
  // A waiter that gave up must not be handed the lock later, nor let anyone in twice.
  std::thread waiter([&] { EXPECT_FALSE(cs.Enter(20)); });
  ASSERT_TRUE(Eventually([&] { return cs.GetLockCount() == 1; }));
  waiter.join();
  EXPECT_EQ(cs.GetLockCount(), 0);
  cs.Leave();
  EXPECT_EQ(cs.GetOwnThread(), 0u);
  std::thread([&] {
    EXPECT_TRUE(cs.Enter(0));
    cs.Leave();
  }).join();
}

TEST(MySynchro, WaitersBecomeOwnersAtTheOutermostLeaveInArrivalOrder) {
  TMyCriticalSection cs;
  ASSERT_TRUE(cs.Enter(INFINITE));
  ASSERT_TRUE(cs.Enter(INFINITE));
  std::vector<int> order;  // written only by the owner of cs
  std::vector<uint32_t> ids(3);
  std::atomic<bool> release{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) {
    threads.emplace_back([&, i] {
      ids[i] = platform::CurrentThreadId();
      ASSERT_TRUE(cs.Enter(INFINITE));
      order.push_back(i);
      while (i == 0 && !release) std::this_thread::sleep_for(1ms);
      cs.Leave();
    });
    ASSERT_TRUE(Eventually([&] { return cs.GetLockCount() == i + 2; }));  // two levels held plus the waiters
  }
  cs.Leave();
  std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(order.empty());
  cs.Leave();
  // Handed over inside Leave: no moment in which the lock is free for a third thread.
  EXPECT_EQ(cs.GetOwnThread(), ids[0]);
  EXPECT_FALSE(cs.Enter(0));
  release = true;
  for (auto& t : threads) t.join();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(cs.GetLockCount(), -1);
}

TEST(MySynchro, ReleaseAllHandsTheLockToTheWaiter) {
  TMyCriticalSection cs;
  const uint32_t self = platform::CurrentThreadId();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(cs.Enter(INFINITE));
  std::thread([&] { cs.ReleaseAll(platform::CurrentThreadId()); }).join();  // not the owner: nothing
  std::thread waiter([&] { EXPECT_TRUE(cs.Enter(10000)); });
  ASSERT_TRUE(Eventually([&] { return cs.GetLockCount() == 3; }));
  std::thread([&] { cs.ReleaseAll(self); }).join();
  waiter.join();  // the waiter got in and never left
  cs.Leave();     // the former owner's late Leave does no harm
  EXPECT_EQ(cs.GetLockCount(), 0);
  cs.ReleaseAll(0);  // whoever owns it
  EXPECT_EQ(cs.GetLockCount(), -1);
}

TEST(MySynchro, RegistryLinksEveryLockObject) {
  const int before = TBaseCriticalSection::RegistryCount();
  TBaseCriticalSection* oldHead = TBaseCriticalSection::RegistryHead();
  auto a = std::make_unique<TMyCriticalSection>();
  auto b = std::make_unique<TMyCriticalSection>();
  auto c = std::make_unique<TMyCriticalSection>();
  EXPECT_EQ(TBaseCriticalSection::RegistryCount(), before + 3);
  EXPECT_EQ(TBaseCriticalSection::RegistryHead(), c.get());
  EXPECT_EQ(a->Next(), oldHead);
  b.reset();  // a middle element: its neighbours join
  EXPECT_TRUE(c->Next() == a.get() && a->Prev() == c.get());
  c.reset();  // the head: the head passes on
  EXPECT_TRUE(TBaseCriticalSection::RegistryHead() == a.get() && a->Prev() == nullptr);
  a.reset();
  EXPECT_EQ(TBaseCriticalSection::RegistryCount(), before);
  EXPECT_EQ(TBaseCriticalSection::RegistryHead(), oldHead);
}

// Many threads entering with short time limits, nested, some waiting for ever: never two owners,
// and a waiter that gives up just as the owner leaves must not leave a wake-up behind.
TEST(MySynchro, StressNeverTwoOwners) {
  TMyCriticalSection cs;
  std::atomic<int> inside{0};
  std::atomic<bool> twoOwners{false};
  long plainCounter = 0;  // changed only inside the lock
  std::atomic<long> entries{0}, timeouts{0};
  const int threadCount = 8, rounds = 3000;
  std::vector<std::thread> threads;
  for (int t = 0; t < threadCount; ++t)
    threads.emplace_back([&, t] {
      std::mt19937 rng(1234 + t);
      std::uniform_int_distribution<int> timeout(0, 2), depth(1, 3), busy(0, 3);
      for (int r = 0; r < rounds; ++r) {
        uint32_t limit = (t == 0 && r % 10 == 0) ? INFINITE : static_cast<uint32_t>(timeout(rng));
        if (!cs.Enter(limit)) {
          ++timeouts;
          continue;
        }
        if (inside.fetch_add(1) != 0) twoOwners = true;
        ++entries;
        ++plainCounter;
        int levels = depth(rng);
        for (int i = 1; i < levels; ++i)
          if (!cs.Enter(static_cast<uint32_t>(timeout(rng)))) twoOwners = true;  // nested never fails
        if (cs.GetOwnThread() != platform::CurrentThreadId()) twoOwners = true;
        if (busy(rng) == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
        for (int i = 1; i < levels; ++i) cs.Leave();
        inside.fetch_sub(1);
        cs.Leave();
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_FALSE(twoOwners);
  EXPECT_EQ(plainCounter, entries.load());
  EXPECT_EQ(entries + timeouts, threadCount * rounds);
  EXPECT_EQ(cs.GetLockCount(), -1);
  EXPECT_TRUE(cs.Enter(0));
  cs.Leave();
}
