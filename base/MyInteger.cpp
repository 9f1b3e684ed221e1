#include "base/MyInteger.h"

// ---- 24-bit ----

TUInt24 Int24FromInt(int32_t Value) {
  uint32_t v = static_cast<uint32_t>(Value);
  return TUInt24{static_cast<uint16_t>(v), static_cast<uint8_t>(v >> 16)};
}

int32_t Int24ToInt(TUInt24 A) { return static_cast<int32_t>(A.Hi) * 65536 + A.Lo; }

bool Int24Equal(TUInt24 A, TUInt24 B) { return A.Hi == B.Hi && A.Lo == B.Lo; }
bool Int24NotEqual(TUInt24 A, TUInt24 B) { return !Int24Equal(A, B); }
bool Int24LessOrEqual(TUInt24 A, TUInt24 B) { return A.Hi != B.Hi ? A.Hi < B.Hi : A.Lo <= B.Lo; }
bool Int24Greater(TUInt24 A, TUInt24 B) { return !Int24LessOrEqual(A, B); }

TUInt24 Int24Add(TUInt24 A, TUInt24 B) {
  uint32_t lo = static_cast<uint32_t>(A.Lo) + B.Lo;
  uint32_t carry = lo >> 16;
  return TUInt24{static_cast<uint16_t>(lo), static_cast<uint8_t>(A.Hi + B.Hi + carry)};
}

TUInt24 Int24Sub(TUInt24 A, TUInt24 B) {
  uint32_t borrow = A.Lo < B.Lo ? 1 : 0;
  return TUInt24{static_cast<uint16_t>(A.Lo - B.Lo), static_cast<uint8_t>(A.Hi - B.Hi - borrow)};
}

TUInt24 Int24Inc(TUInt24 A) { return Int24Add(A, TUInt24{1, 0}); }
TUInt24 Int24Dec(TUInt24 A) { return Int24Sub(A, TUInt24{1, 0}); }
// Adding or subtracting an Integer modulo 2^24 is adding or subtracting its low 24 bits.
TUInt24 Int24AddInt(TUInt24 A, int32_t B) { return Int24Add(A, Int24FromInt(B)); }
TUInt24 Int24SubInt(TUInt24 A, int32_t B) { return Int24Sub(A, Int24FromInt(B)); }

// ---- 48-bit ----

TUInt48 Int48Make(uint32_t Lo, uint16_t Hi) { return TUInt48{Lo, Hi}; }

int64_t Int48ToInt64(TUInt48 A) { return (static_cast<int64_t>(A.Hi) << 32) | A.Lo; }

bool Int48Equal(TUInt48 A, TUInt48 B) { return A.Hi == B.Hi && A.Lo == B.Lo; }
bool Int48NotEqual(TUInt48 A, TUInt48 B) { return !Int48Equal(A, B); }
bool Int48LessOrEqual(TUInt48 A, TUInt48 B) { return A.Hi != B.Hi ? A.Hi < B.Hi : A.Lo <= B.Lo; }
bool Int48Less(TUInt48 A, TUInt48 B) { return A.Hi != B.Hi ? A.Hi < B.Hi : A.Lo < B.Lo; }

TUInt48 Int48Add(TUInt48 A, uint32_t Lo, uint16_t Hi) {
  uint64_t lo = static_cast<uint64_t>(A.Lo) + Lo;
  uint32_t carry = static_cast<uint32_t>(lo >> 32);
  return TUInt48{static_cast<uint32_t>(lo), static_cast<uint16_t>(A.Hi + Hi + carry)};
}

TUInt48 Int48Sub(TUInt48 A, uint32_t Lo, uint16_t Hi) {
  uint32_t borrow = A.Lo < Lo ? 1 : 0;
  return TUInt48{A.Lo - Lo, static_cast<uint16_t>(A.Hi - Hi - borrow)};
}

TUInt48 Int48Add(TUInt48 A, TUInt48 B) { return Int48Add(A, B.Lo, B.Hi); }
TUInt48 Int48Sub(TUInt48 A, TUInt48 B) { return Int48Sub(A, B.Lo, B.Hi); }
TUInt48 Int48Inc(TUInt48 A) { return Int48Add(A, 1, 0); }
TUInt48 Int48Dec(TUInt48 A) { return Int48Sub(A, 1, 0); }

// ---- Start-up self-check ----

bool MyIntegerSelfCheck() {
  bool ok = true;
  auto expect24 = [&](TUInt24 a, uint16_t lo, uint8_t hi) { ok = ok && a.Lo == lo && a.Hi == hi; };
  auto expect48 = [&](TUInt48 a, uint32_t lo, uint16_t hi) { ok = ok && a.Lo == lo && a.Hi == hi; };
  expect24(Int24Inc(Int24FromInt(65535)), 0, 1);
  expect24(Int24Inc(Int24FromInt(16777215)), 0, 0);
  expect24(Int24Dec(Int24FromInt(0)), 0xFFFF, 0xFF);
  expect24(Int24Add(TUInt24{65500, 0}, TUInt24{300, 0}), 264, 1);
  expect24(Int24Sub(TUInt24{264, 1}, TUInt24{300, 0}), 65500, 0);
  expect24(Int24AddInt(Int24FromInt(100), -1), 99, 0);
  expect24(Int24SubInt(Int24FromInt(100), 101), 0xFFFF, 0xFF);
  ok = ok && Int24ToInt(Int24FromInt(0x123456)) == 0x123456 && Int24ToInt(Int24FromInt(-1)) == 16777215;
  ok = ok && Int24Equal(TUInt24{1, 2}, TUInt24{1, 2}) && Int24NotEqual(TUInt24{1, 2}, TUInt24{2, 1});
  ok = ok && Int24LessOrEqual(TUInt24{65535, 0}, TUInt24{0, 1}) && Int24Greater(TUInt24{0, 1}, TUInt24{65535, 0});
  expect48(Int48Inc(Int48Make(0xFFFFFFFF, 0)), 0, 1);
  expect48(Int48Dec(Int48Make(0, 0)), 0xFFFFFFFF, 0xFFFF);
  expect48(Int48Add(Int48Make(0xFFFFFFF0, 1), 0x20, 0), 0x10, 2);
  expect48(Int48Sub(Int48Make(0x10, 2), Int48Make(0x20, 0)), 0xFFFFFFF0, 1);
  ok = ok && Int48ToInt64(Int48Make(5, 1)) == 0x100000005LL;
  ok = ok && Int48Equal(Int48Make(1, 2), Int48Make(1, 2)) && Int48NotEqual(Int48Make(1, 2), Int48Make(2, 1));
  ok = ok && Int48Less(Int48Make(0xFFFFFFFF, 0), Int48Make(0, 1)) &&
       Int48LessOrEqual(Int48Make(7, 7), Int48Make(7, 7)) && !Int48Less(Int48Make(7, 7), Int48Make(7, 7));
  return ok;
}

// Runs the check when the program starts; the name is kept by the link (base's link options),
// since nothing else in the program uses this unit.
extern "C" {
extern const bool MyIntegerStartup;
const bool MyIntegerStartup = MyIntegerSelfCheck();
}
