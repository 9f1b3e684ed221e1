#include "base/MyInteger.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {

TUInt24 U24(uint16_t lo, uint8_t hi) { return TUInt24{lo, hi}; }

void Expect24(TUInt24 v, uint16_t lo, uint8_t hi) {
  EXPECT_EQ(v.Lo, lo);
  EXPECT_EQ(v.Hi, hi);
}

void Expect48(TUInt48 v, uint32_t lo, uint16_t hi) {
  EXPECT_EQ(v.Lo, lo);
  EXPECT_EQ(v.Hi, hi);
}

}  // namespace

TEST(MyInteger, PackedWithoutPadding) {
  EXPECT_EQ(sizeof(TUInt24), 3u);
  EXPECT_EQ(sizeof(TUInt48), 6u);
  EXPECT_EQ(alignof(TUInt24), 1u);
  TUInt24 a24[4];
  TUInt48 a48[4];
  EXPECT_EQ(sizeof a24, 12u);
  EXPECT_EQ(sizeof a48, 24u);
  EXPECT_TRUE(std::is_trivially_copyable_v<TUInt24>);
}

TEST(MyInteger, Int24ConvertKeepsLow24Bits) {
  Expect24(Int24FromInt(0x123456), 0x3456, 0x12);
  EXPECT_EQ(Int24ToInt(Int24FromInt(16777215)), 16777215);
  EXPECT_EQ(Int24ToInt(Int24FromInt(0x7F123456)), 0x123456);
  EXPECT_EQ(Int24ToInt(Int24FromInt(-1)), 16777215);
  EXPECT_EQ(Int24ToInt(U24(65535, 1)), 131071);
}

TEST(MyInteger, Int24ComparisonsHiFirst) {
  TUInt24 a = U24(65535, 0), b = U24(0, 1);
  EXPECT_TRUE(Int24LessOrEqual(a, b));
  EXPECT_FALSE(Int24Greater(a, b));
  EXPECT_TRUE(Int24Greater(b, a));
  EXPECT_TRUE(Int24LessOrEqual(a, a));
  EXPECT_FALSE(Int24Greater(a, a));
  EXPECT_TRUE(Int24Equal(a, U24(65535, 0)));
  EXPECT_TRUE(Int24NotEqual(a, b));
  EXPECT_FALSE(Int24NotEqual(b, b));
}

TEST(MyInteger, Int24IncrementCarriesAndWraps) {
  Expect24(Int24Inc(Int24FromInt(65535)), 0, 1);
  Expect24(Int24Inc(Int24FromInt(16777215)), 0, 0);
  Expect24(Int24Dec(Int24FromInt(0)), 0xFFFF, 0xFF);
  Expect24(Int24Dec(U24(0, 1)), 0xFFFF, 0);
}

TEST(MyInteger, Int24AddSubtract) {
  Expect24(Int24Add(U24(65500, 0), U24(300, 0)), 264, 1);
  Expect24(Int24Sub(U24(264, 1), U24(300, 0)), 65500, 0);
  Expect24(Int24Add(Int24FromInt(16777215), Int24FromInt(2)), 1, 0);
  Expect24(Int24Sub(Int24FromInt(1), Int24FromInt(2)), 0xFFFF, 0xFF);
  EXPECT_EQ(Int24ToInt(Int24AddInt(Int24FromInt(100), 1000)), 1100);
  EXPECT_EQ(Int24ToInt(Int24AddInt(Int24FromInt(100), -1)), 99);
  EXPECT_EQ(Int24ToInt(Int24SubInt(Int24FromInt(100), 101)), 16777215);
  EXPECT_EQ(Int24ToInt(Int24SubInt(Int24FromInt(100), -5)), 105);
}

TEST(MyInteger, Int48ConvertAndCompare) {
  TUInt48 v = Int48Make(0x89ABCDEF, 0x1234);
  EXPECT_EQ(Int48ToInt64(v), 0x123489ABCDEFLL);
  EXPECT_EQ(Int48ToInt64(Int48Make(0xFFFFFFFF, 0xFFFF)), 0xFFFFFFFFFFFFLL);
  TUInt48 a = Int48Make(0xFFFFFFFF, 0), b = Int48Make(0, 1);
  EXPECT_TRUE(Int48Less(a, b));
  EXPECT_TRUE(Int48LessOrEqual(a, b));
  EXPECT_FALSE(Int48Less(b, a));
  EXPECT_FALSE(Int48Less(a, a));
  EXPECT_TRUE(Int48LessOrEqual(a, a));
  EXPECT_TRUE(Int48Equal(a, Int48Make(0xFFFFFFFF, 0)));
  EXPECT_TRUE(Int48NotEqual(a, b));
}

TEST(MyInteger, Int48IncrementDecrementCarry) {
  Expect48(Int48Inc(Int48Make(0xFFFFFFFF, 0)), 0, 1);
  Expect48(Int48Dec(Int48Make(0, 0)), 0xFFFFFFFF, 0xFFFF);
  Expect48(Int48Inc(Int48Make(0xFFFFFFFF, 0xFFFF)), 0, 0);
  Expect48(Int48Dec(Int48Make(0, 1)), 0xFFFFFFFF, 0);
}

TEST(MyInteger, Int48AddSubtract) {
  Expect48(Int48Add(Int48Make(0xFFFFFF00, 2), Int48Make(0x200, 3)), 0x100, 6);
  Expect48(Int48Sub(Int48Make(0x100, 6), Int48Make(0x200, 3)), 0xFFFFFF00, 2);
  Expect48(Int48Add(Int48Make(0xFFFFFF00, 2), 0x200, 3), 0x100, 6);
  Expect48(Int48Sub(Int48Make(0x100, 6), 0x200, 3), 0xFFFFFF00, 2);
  Expect48(Int48Sub(Int48Make(0, 0), Int48Make(1, 0)), 0xFFFFFFFF, 0xFFFF);
  Expect48(Int48Add(Int48Make(0xFFFFFFFF, 0xFFFF), Int48Make(2, 0)), 1, 0);
}
