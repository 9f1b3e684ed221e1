#pragma once
// Unsigned integers packed into 3 bytes (24 bits) and 6 bytes (48 bits), with no padding.
// Arithmetic carries (or borrows) from Lo into Hi and wraps modulo 2^24 / 2^48.
#include <cstdint>

#pragma pack(push, 1)
// Value = Hi x 65,536 + Lo, 0..16,777,215.
struct TUInt24 {
  uint16_t Lo;
  uint8_t Hi;
};
// Value = Hi x 2^32 + Lo, 0..2^48 - 1.
struct TUInt48 {
  uint32_t Lo;
  uint16_t Hi;
};
#pragma pack(pop)

static_assert(sizeof(TUInt24) == 3, "TUInt24 must be 3 bytes");
static_assert(sizeof(TUInt48) == 6, "TUInt48 must be 6 bytes");

// 24-bit.
TUInt24 Int24FromInt(int32_t Value);  // keeps the low 24 bits
int32_t Int24ToInt(TUInt24 A);
bool Int24Equal(TUInt24 A, TUInt24 B);
bool Int24NotEqual(TUInt24 A, TUInt24 B);
bool Int24LessOrEqual(TUInt24 A, TUInt24 B);
bool Int24Greater(TUInt24 A, TUInt24 B);
TUInt24 Int24Inc(TUInt24 A);
TUInt24 Int24Dec(TUInt24 A);
TUInt24 Int24Add(TUInt24 A, TUInt24 B);
TUInt24 Int24Sub(TUInt24 A, TUInt24 B);
TUInt24 Int24AddInt(TUInt24 A, int32_t B);
TUInt24 Int24SubInt(TUInt24 A, int32_t B);

// 48-bit.
TUInt48 Int48Make(uint32_t Lo, uint16_t Hi);
int64_t Int48ToInt64(TUInt48 A);
bool Int48Equal(TUInt48 A, TUInt48 B);
bool Int48NotEqual(TUInt48 A, TUInt48 B);
bool Int48LessOrEqual(TUInt48 A, TUInt48 B);
bool Int48Less(TUInt48 A, TUInt48 B);
TUInt48 Int48Inc(TUInt48 A);
TUInt48 Int48Dec(TUInt48 A);
TUInt48 Int48Add(TUInt48 A, TUInt48 B);
TUInt48 Int48Sub(TUInt48 A, TUInt48 B);
TUInt48 Int48Add(TUInt48 A, uint32_t Lo, uint16_t Hi);
TUInt48 Int48Sub(TUInt48 A, uint32_t Lo, uint16_t Hi);

// The checks of the 24-bit and 48-bit operations that the unit runs at start-up; true when all
// hold. Nothing depends on the outcome.
bool MyIntegerSelfCheck();
