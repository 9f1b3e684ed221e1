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
  EXPECT_EQ(cs.GetOwnThread(), 0u);
  ASSERT_TRUE(cs.Enter(INFINITE));
  ASSERT_TRUE(cs.Enter(0));  // nested: never waits
  EXPECT_EQ(cs.GetLockCount(), 1);
  EXPECT_EQ(cs.GetOwnThread(), platform::CurrentThreadId());
  cs.Leave();
  EXPECT_EQ(cs.GetLockCount(), 0);
  EXPECT_EQ(cs.GetOwnThread(), platform::CurrentThreadId());
  cs.Leave();
  EXPECT_EQ(cs.GetLockCount(), -1);
  EXPECT_EQ(cs.GetOwnThread(), 0u);
}

TEST(MySynchro, NestingBeyondSixteenBits) {
  TMyCriticalSection cs;
  const int levels = 70000;
  for (int i = 0; i < levels; ++i) ASSERT_TRUE(cs.Enter(INFINITE));
  EXPECT_EQ(cs.GetLockCount(), levels - 1);
  for (int i = 0; i < levels - 1; ++i) cs.Leave();
  EXPECT_EQ(cs.GetLockCount(), 0);
  cs.Leave();
  EXPECT_EQ(cs.GetLockCount(), -1);
}

TEST(MySynchro, OtherThreadTimesOutAndLeavesTheCountsAsTheyWere) {
  TMyCriticalSection cs;
  ASSERT_TRUE(cs.Enter(INFINITE));
  bool zero = true, shortWait = true;
  int64_t countWhileWaiting = 0;
  std::thread other([&] {
    zero = cs.Enter(0);
    shortWait = cs.Enter(30);
  });
  other.join();
  EXPECT_FALSE(zero);
  EXPECT_FALSE(shortWait);
  EXPECT_EQ(cs.GetLockCount(), 0);
  EXPECT_EQ(cs.GetOwnThread(), platform::CurrentThreadId());

  // A waiter that gave up must not be handed the lock later, nor let anyone in twice.
  std::thread waiter([&] { EXPECT_FALSE(cs.Enter(20)); });
  ASSERT_TRUE(Eventually([&] { countWhileWaiting = cs.GetLockCount(); return countWhileWaiting == 1; }));
  waiter.join();
  EXPECT_EQ(cs.GetLockCount(), 0);
  cs.Leave();
  EXPECT_EQ(cs.GetLockCount(), -1);
  EXPECT_EQ(cs.GetOwnThread(), 0u);
  std::thread taker([&] {
    EXPECT_TRUE(cs.Enter(0));
    cs.Leave();
  });
  taker.join();
}

TEST(MySynchro, WaiterBecomesOwnerAtTheOutermostLeave) {
  TMyCriticalSection cs;
  ASSERT_TRUE(cs.Enter(INFINITE));
  ASSERT_TRUE(cs.Enter(INFINITE));
  std::atomic<uint32_t> waiterId{0};
  std::atomic<bool> entered{false}, release{false};
  int64_t countInside = 0;
  std::thread waiter([&] {
    waiterId = platform::CurrentThreadId();
    EXPECT_TRUE(cs.Enter(INFINITE));
    entered = true;
    countInside = cs.GetLockCount();
    while (!release) std::this_thread::sleep_for(1ms);
    cs.Leave();
  });
  // Two levels held plus one waiter.
  ASSERT_TRUE(Eventually([&] { return cs.GetLockCount() == 2; }));
  cs.Leave();
  EXPECT_EQ(cs.GetLockCount(), 1);
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(entered);
  cs.Leave();
  // Handed over inside Leave: no moment in which the lock is free for a third thread.
  EXPECT_EQ(cs.GetOwnThread(), waiterId.load());
  EXPECT_FALSE(cs.Enter(0));
  ASSERT_TRUE(Eventually([&] { return entered.load(); }));
  release = true;
  waiter.join();
  EXPECT_EQ(countInside, 0);  // depth 1, nobody waiting
  EXPECT_EQ(cs.GetLockCount(), -1);
  EXPECT_EQ(cs.GetOwnThread(), 0u);
}

TEST(MySynchro, WaitersAreServedInArrivalOrder) {
  TMyCriticalSection cs;
  ASSERT_TRUE(cs.Enter(INFINITE));
  std::vector<int> order;  // written only by the owner of cs
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      ASSERT_TRUE(cs.Enter(INFINITE));
      order.push_back(i);
      cs.Leave();
    });
    ASSERT_TRUE(Eventually([&] { return cs.GetLockCount() == i + 1; }));
  }
  cs.Leave();
  for (auto& t : threads) t.join();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(cs.GetLockCount(), -1);
}

TEST(MySynchro, LeaveByANonOwnerReleasesNothing) {
  TMyCriticalSection cs;
  std::thread([&] { cs.Leave(); }).join();  // free lock
  EXPECT_EQ(cs.GetLockCount(), -1);
  ASSERT_TRUE(cs.Enter(INFINITE));
  std::thread([&] { cs.Leave(); }).join();
  EXPECT_EQ(cs.GetLockCount(), 0);
  EXPECT_EQ(cs.GetOwnThread(), platform::CurrentThreadId());
  cs.Leave();
  EXPECT_EQ(cs.GetLockCount(), -1);
}

TEST(MySynchro, ReleaseAllForOneThread) {
  TMyCriticalSection cs;
  const uint32_t self = platform::CurrentThreadId();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(cs.Enter(INFINITE));
  uint32_t otherId = 0;
  std::thread([&] {
    otherId = platform::CurrentThreadId();
    cs.ReleaseAll(otherId);  // not the owner: nothing happens
  }).join();
  EXPECT_EQ(cs.GetLockCount(), 2);
  EXPECT_EQ(cs.GetOwnThread(), self);

  std::thread([&] { cs.ReleaseAll(self); }).join();
  EXPECT_EQ(cs.GetLockCount(), -1);
  EXPECT_EQ(cs.GetOwnThread(), 0u);
  cs.Leave();  // the former owner's late Leave does no harm
  EXPECT_EQ(cs.GetLockCount(), -1);
  cs.ReleaseAll(0);  // free lock: nothing to do
  EXPECT_EQ(cs.GetLockCount(), -1);
}

TEST(MySynchro, ReleaseAllOfWhoeverOwnsHandsTheLockToTheWaiter) {
  TMyCriticalSection cs;
  ASSERT_TRUE(cs.Enter(INFINITE));
  ASSERT_TRUE(cs.Enter(INFINITE));
  std::atomic<uint32_t> waiterId{0};
  std::atomic<bool> release{false};
  std::thread waiter([&] {
    waiterId = platform::CurrentThreadId();
    EXPECT_TRUE(cs.Enter(INFINITE));
    while (!release) std::this_thread::sleep_for(1ms);
    cs.Leave();
  });
  ASSERT_TRUE(Eventually([&] { return cs.GetLockCount() == 2; }));
  cs.ReleaseAll(0);
  EXPECT_EQ(cs.GetOwnThread(), waiterId.load());
  EXPECT_EQ(cs.GetLockCount(), 0);
  cs.Leave();  // no longer ours
  EXPECT_EQ(cs.GetOwnThread(), waiterId.load());
  release = true;
  waiter.join();
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
  EXPECT_EQ(c->Prev(), nullptr);
  EXPECT_EQ(c->Next(), b.get());
  EXPECT_EQ(b->Prev(), c.get());
  EXPECT_EQ(b->Next(), a.get());
  EXPECT_EQ(a->Next(), oldHead);

  b.reset();  // a middle element: its neighbours join
  EXPECT_EQ(c->Next(), a.get());
  EXPECT_EQ(a->Prev(), c.get());
  c.reset();  // the head: the head passes on
  EXPECT_EQ(TBaseCriticalSection::RegistryHead(), a.get());
  EXPECT_EQ(a->Prev(), nullptr);
  a.reset();
  EXPECT_EQ(TBaseCriticalSection::RegistryCount(), before);
  EXPECT_EQ(TBaseCriticalSection::RegistryHead(), oldHead);

  // The registry works again after the list went back to where it was.
  TMyCriticalSection again;
  EXPECT_EQ(TBaseCriticalSection::RegistryHead(), &again);
  EXPECT_EQ(TBaseCriticalSection::RegistryCount(), before + 1);
  EXPECT_TRUE(again.Enter(0));
  again.Leave();
}

TEST(MySynchro, RegistryFromManyThreads) {
  const int before = TBaseCriticalSection::RegistryCount();
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 500; ++i) {
        TMyCriticalSection a, b;
        a.Enter(INFINITE);
        a.Leave();
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(TBaseCriticalSection::RegistryCount(), before);
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
        for (int spin = busy(rng) * 200; spin > 0; --spin) std::atomic_signal_fence(std::memory_order_seq_cst);
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
  EXPECT_GT(entries.load(), 0);
  EXPECT_EQ(cs.GetLockCount(), -1);
  EXPECT_EQ(cs.GetOwnThread(), 0u);
  EXPECT_TRUE(cs.Enter(0));
  cs.Leave();
}
