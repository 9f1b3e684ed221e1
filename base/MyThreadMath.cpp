#include "base/MyThreadMath.h"

// std::atomic arithmetic on integers wraps in two's complement; nothing here can overflow
// into undefined behaviour. The default memory order is sequentially consistent.

// ---- 16-bit counter ----
void TInterlockedCounter16::Init(int16_t Value) { value_.store(static_cast<uint16_t>(Value)); }
int16_t TInterlockedCounter16::Read() const { return static_cast<int16_t>(value_.load()); }
int16_t TInterlockedCounter16::Inc() { return static_cast<int16_t>(static_cast<uint16_t>(value_.fetch_add(1) + 1)); }
int16_t TInterlockedCounter16::Dec() { return static_cast<int16_t>(static_cast<uint16_t>(value_.fetch_sub(1) - 1)); }

// ---- Int32 ----
void TInterlockedInt32::Init(int32_t Value) { value_.store(Value); }
int32_t TInterlockedInt32::Clear() { return value_.exchange(0); }
int32_t TInterlockedInt32::Read() const { return value_.load(); }
int32_t TInterlockedInt32::Inc() { return Add(1); }
int32_t TInterlockedInt32::Dec() { return Sub(1); }
int32_t TInterlockedInt32::Add(int32_t Value) {
  return static_cast<int32_t>(static_cast<uint32_t>(value_.fetch_add(Value)) + static_cast<uint32_t>(Value));
}
int32_t TInterlockedInt32::Sub(int32_t Value) {
  return static_cast<int32_t>(static_cast<uint32_t>(value_.fetch_sub(Value)) - static_cast<uint32_t>(Value));
}
int32_t TInterlockedInt32::Exchange(int32_t Value) { return value_.exchange(Value); }

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

// ---- Int64 ----
void TInterlockedInt64::Init(int64_t Value) { value_.store(Value); }
int64_t TInterlockedInt64::Read() const { return value_.load(); }
int64_t TInterlockedInt64::Exchange(int64_t Value) { return value_.exchange(Value); }
int64_t TInterlockedInt64::Clear() { return value_.exchange(0); }
int64_t TInterlockedInt64::Add(int64_t Value) {
  return static_cast<int64_t>(static_cast<uint64_t>(value_.fetch_add(Value)) + static_cast<uint64_t>(Value));
}
int64_t TInterlockedInt64::Sub(int64_t Value) {
  return static_cast<int64_t>(static_cast<uint64_t>(value_.fetch_sub(Value)) - static_cast<uint64_t>(Value));
}

// ---- Double ----
void TInterlockedDouble::Init(double Value) { value_.store(Value); }
double TInterlockedDouble::Read() const { return value_.load(); }
void TInterlockedDouble::Set(double Value) { value_.store(Value); }
double TInterlockedDouble::Clear() { return value_.exchange(0.0); }
double TInterlockedDouble::Exchange(double Value) { return value_.exchange(Value); }
