#pragma once
// Interlocked cells: variables that any thread may read and change without a lock.
// Every operation is one sequentially consistent atomic operation. Init is a plain store,
// meant for a cell that no other thread sees yet.
#include <atomic>
#include <cstdint>
#include <type_traits>

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

// A cell whose init, read, exchange and clear are the same for every width and kind of number.
template <class T>
class TInterlockedCell {
public:
  constexpr explicit TInterlockedCell(T Value = T()) : value_(Value) {}
  void Init(T Value) { value_.store(Value); }
  T Read() const { return value_.load(); }
  T Exchange(T Value) { return value_.exchange(Value); }  // the old value
  T Clear() { return value_.exchange(T()); }              // exchange with 0; the old value

protected:
  std::atomic<T> value_;
};

// An integer cell. Sums wrap in two's complement instead of overflowing into undefined behaviour.
template <class T>
class TInterlockedInteger : public TInterlockedCell<T> {
public:
  using TInterlockedCell<T>::TInterlockedCell;
  T Add(T Value) { return Wrap(Unsigned(this->value_.fetch_add(Value)) + Unsigned(Value)); }  // the new value
  T Sub(T Value) { return Wrap(Unsigned(this->value_.fetch_sub(Value)) - Unsigned(Value)); }  // the new value

private:
  using U = std::make_unsigned_t<T>;
  static U Unsigned(T Value) { return static_cast<U>(Value); }
  static T Wrap(U Value) { return static_cast<T>(Value); }
};

// Int32 cell.
class TInterlockedInt32 : public TInterlockedInteger<int32_t> {
public:
  using TInterlockedInteger::TInterlockedInteger;
  int32_t Inc() { return Add(1); }  // the new value
  int32_t Dec() { return Sub(1); }  // the new value
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
class TInterlockedInt64 : public TInterlockedInteger<int64_t> {
public:
  using TInterlockedInteger::TInterlockedInteger;
};

// Double cell: the IEEE bits of the value in 8 bytes.
class TInterlockedDouble : public TInterlockedCell<double> {
public:
  using TInterlockedCell::TInterlockedCell;
  void Set(double Value) { value_.store(Value); }
};

static_assert(sizeof(TInterlockedCounter16) == 2);
static_assert(sizeof(TInterlockedInt32) == 4 && sizeof(TInterlocked7Bit) == 4);
static_assert(sizeof(TInterlockedBool) == 1);
static_assert(sizeof(TInterlockedInt64) == 8 && sizeof(TInterlockedDouble) == 8);
static_assert(std::atomic<uint16_t>::is_always_lock_free && std::atomic<uint8_t>::is_always_lock_free);
static_assert(std::atomic<int64_t>::is_always_lock_free && std::atomic<double>::is_always_lock_free);

// The checks of the Boolean, 7-bit, 16-bit, Int32, Int64 and Double cells that the unit runs at
// start-up; true when all hold.
bool ThreadMathSelfCheck();
// What start-up does with the check: when it fails, the program stops with the assertion
// "Unit MyThreadMath" on standard error. Returns true otherwise.
bool RunThreadMathStartupCheck(bool (*check)());
