#include "base/MyThreadMath.h"

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
