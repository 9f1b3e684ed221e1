#include "base/MyThreadMath.h"

#include <cstdio>
#include <cstdlib>

// std::atomic arithmetic on integers wraps in two's complement; nothing here can overflow
// into undefined behaviour. The default memory order is sequentially consistent.

// ---- 16-bit counter ----
void TInterlockedCounter16::Init(int16_t Value) { value_.store(static_cast<uint16_t>(Value)); }
int16_t TInterlockedCounter16::Read() const { return static_cast<int16_t>(value_.load()); }
int16_t TInterlockedCounter16::Inc() { return static_cast<int16_t>(static_cast<uint16_t>(value_.fetch_add(1) + 1)); }
int16_t TInterlockedCounter16::Dec() { return static_cast<int16_t>(static_cast<uint16_t>(value_.fetch_sub(1) - 1)); }

// ---- 7-bit cell ----
void TInterlocked7Bit::Init(int32_t Value) { value_.store(Value & 127); }
int32_t TInterlocked7Bit::Clear() { return value_.exchange(0); }
bool TInterlocked7Bit::IsSet() const { return value_.load() != 0; }
int32_t TInterlocked7Bit::Change(bool Up) {
  int32_t d = Up ? 1 : -1;
  return static_cast<int32_t>(static_cast<uint32_t>(value_.fetch_add(d)) + static_cast<uint32_t>(d));
}
int32_t TInterlocked7Bit::Read() const { return value_.load(); }
int32_t TInterlocked7Bit::Set(int32_t Value) { return value_.exchange(Value); }

// ---- Boolean ----
void TInterlockedBool::Init(bool Value) { value_.store(Value ? 1 : 0); }
bool TInterlockedBool::Read() const { return value_.load() != 0; }
bool TInterlockedBool::Exchange(bool Value) { return value_.exchange(Value ? 1 : 0) != 0; }
void TInterlockedBool::Set(bool Value) { value_.store(Value ? 1 : 0); }
bool TInterlockedBool::Toggle() { return (value_.fetch_xor(1) ^ 1) != 0; }

// ---- Start-up self-check ----

bool ThreadMathSelfCheck() {
  bool ok = true;
  auto expect = [&](bool holds) { ok = ok && holds; };

  TInterlockedBool b;
  b.Init(true);
  expect(b.Read());
  expect(b.Exchange(false));
  expect(!b.Read());
  b.Set(true);
  expect(b.Read());
  expect(!b.Toggle());
  expect(b.Toggle());

  TInterlocked7Bit seven;
  seven.Init(55 + 128);  // only the low 7 bits are kept
  expect(seven.Read() == 55);
  expect(seven.Change(true) == 56);
  expect(seven.Change(false) == 55);
  expect(seven.IsSet());
  expect(seven.Set(3) == 55);
  expect(seven.Clear() == 3);
  expect(!seven.IsSet());

  TInterlockedCounter16 counter;
  counter.Init(-1);
  expect(counter.Dec() == -2);
  expect(counter.Inc() == -1);

  // The same round for every cell of numbers: 55, cleared, 34, 77, and sums that return to 77.
  auto round = [&](auto& cell, auto zero) {
    using T = decltype(zero);
    cell.Init(T(55));
    expect(cell.Read() == T(55));
    expect(cell.Clear() == T(55) && cell.Read() == zero);
    expect(cell.Exchange(T(34)) == zero && cell.Read() == T(34));
    expect(cell.Exchange(T(77)) == T(34));
  };
  auto sums = [&](auto& cell) {
    expect(cell.Add(1) == 78);
    expect(cell.Add(1000) == 1078);
    expect(cell.Sub(1) == 1077);
    expect(cell.Sub(1000) == 77);
  };
  TInterlockedInt32 i32;
  round(i32, int32_t(0));
  sums(i32);
  expect(i32.Inc() == 78 && i32.Dec() == 77);
  TInterlockedInt64 i64;
  round(i64, int64_t(0));
  sums(i64);
  TInterlockedDouble d;
  round(d, 0.0);
  d.Set(1.5);
  expect(d.Read() == 1.5);
  return ok;
}

bool RunThreadMathStartupCheck(bool (*check)()) {
  if (check()) return true;
  // Cells that do not hold their values would corrupt every lock and counter built on them.
  std::fputs("Unit MyThreadMath\n", stderr);
  std::abort();
}

// The name is kept by the link (base's link options), so that every program checks its cells.
extern "C" {
extern const bool MyThreadMathStartup;
const bool MyThreadMathStartup = RunThreadMathStartupCheck(ThreadMathSelfCheck);
}
