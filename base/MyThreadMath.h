#pragma once
// Interlocked cells: variables that any thread may read and change without a lock.
// Every operation is one sequentially consistent atomic operation. Init is a plain store,
// meant for a cell that no other thread sees yet.
#include <atomic>
#include <cstdint>

// 16-bit counter (the recursive lock's count). Results are the new value as a signed 16-bit
// number: decrementing $FFFF gives $FFFE, returned as -2.
class TInterlockedCounter16 {
public:
  constexpr explicit TInterlockedCounter16(int16_t Value = 0) : value_(static_cast<uint16_t>(Value)) {}
  void Init(int16_t Value);
  int16_t Read() const;
  int16_t Inc();
  int16_t Dec();

private:
  std::atomic<uint16_t> value_;
};

// Int32 cell.
class TInterlockedInt32 {
public:
  constexpr explicit TInterlockedInt32(int32_t Value = 0) : value_(Value) {}
  void Init(int32_t Value);
  int32_t Clear();  // exchange with 0; the old value
  int32_t Read() const;
  int32_t Inc();                     // the new value
  int32_t Dec();                     // the new value
  int32_t Add(int32_t Value);        // the new value
  int32_t Sub(int32_t Value);        // the new value
  int32_t Exchange(int32_t Value);   // the old value

private:
  std::atomic<int32_t> value_;
};

// 7-bit cell: one 32-bit integer whose Init keeps the low 7 bits of the value.
class TInterlocked7Bit {
public:
  constexpr explicit TInterlocked7Bit(int32_t Value = 0) : value_(Value & 127) {}
  void Init(int32_t Value);
  int32_t Clear();                 // the old value
  bool IsSet() const;              // value <> 0
  int32_t Change(bool Up);         // increment when Up, else decrement; the new value
  int32_t Read() const;
  int32_t Set(int32_t Value);      // exchange; the old value

private:
  std::atomic<int32_t> value_;
};

// Boolean cell: one byte.
class TInterlockedBool {
public:
  constexpr explicit TInterlockedBool(bool Value = false) : value_(Value ? 1 : 0) {}
  void Init(bool Value);
  bool Read() const;
  bool Exchange(bool Value);  // the old value
  void Set(bool Value);
  bool Toggle();              // exclusive-or with 1; the value afterwards

private:
  std::atomic<uint8_t> value_;
};

// Int64 cell: 8 bytes.
class TInterlockedInt64 {
public:
  constexpr explicit TInterlockedInt64(int64_t Value = 0) : value_(Value) {}
  void Init(int64_t Value);
  int64_t Read() const;
  int64_t Exchange(int64_t Value);  // the old value
  int64_t Clear();                  // exchange with 0; the old value
  int64_t Add(int64_t Value);       // the new value
  int64_t Sub(int64_t Value);       // the new value

private:
  std::atomic<int64_t> value_;
};

// Double cell: the IEEE bits of the value in 8 bytes.
class TInterlockedDouble {
public:
  constexpr explicit TInterlockedDouble(double Value = 0.0) : value_(Value) {}
  void Init(double Value);
  double Read() const;
  void Set(double Value);
  double Clear();                 // exchange with 0.0; the old value
  double Exchange(double Value);  // the old value

private:
  std::atomic<double> value_;
};

static_assert(sizeof(TInterlockedCounter16) == 2);
static_assert(sizeof(TInterlockedInt32) == 4 && sizeof(TInterlocked7Bit) == 4);
static_assert(sizeof(TInterlockedBool) == 1);
static_assert(sizeof(TInterlockedInt64) == 8 && sizeof(TInterlockedDouble) == 8);
static_assert(std::atomic<uint16_t>::is_always_lock_free && std::atomic<uint8_t>::is_always_lock_free);
static_assert(std::atomic<int64_t>::is_always_lock_free && std::atomic<double>::is_always_lock_free);
