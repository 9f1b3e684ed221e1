#include "base/MyInteger.h"

#include <gtest/gtest.h>

// Packed 24- and 48-bit unsigned integers: low part first, wrapping at their width; the high
// part compares first.
TEST(MyInteger, PackedArithmeticWrapsAtItsWidth) {
  static_assert(sizeof(TUInt24) == 3 && sizeof(TUInt48) == 6 && alignof(TUInt24) == 1);
  auto i24 = [](TUInt24 v) { return Int24ToInt(v); };
  EXPECT_TRUE(i24(Int24FromInt(0x7F123456)) == 0x123456 && i24(Int24FromInt(-1)) == 16777215);
  EXPECT_TRUE(i24(Int24Inc(Int24FromInt(65535))) == 65536 && i24(Int24Inc(Int24FromInt(16777215))) == 0);
  EXPECT_TRUE(i24(Int24Dec(TUInt24{0, 1})) == 65535 && i24(Int24Add(TUInt24{65500, 0}, TUInt24{300, 0})) == 65800);
  EXPECT_TRUE(i24(Int24Sub(Int24FromInt(1), Int24FromInt(2))) == 16777215 && i24(Int24AddInt(Int24FromInt(100), -1)) == 99);
  EXPECT_EQ(i24(Int24SubInt(Int24FromInt(100), 101)), 16777215);
  const TUInt24 a{65535, 0}, b{0, 1};
  EXPECT_TRUE(Int24LessOrEqual(a, b) && !Int24Greater(a, b) && Int24Greater(b, a) && Int24LessOrEqual(a, a));
  EXPECT_TRUE(Int24Equal(a, TUInt24{65535, 0}) && Int24NotEqual(a, b) && !Int24NotEqual(b, b));

  auto i48 = [](TUInt48 v) { return Int48ToInt64(v); };
  EXPECT_TRUE(i48(Int48Make(0x89ABCDEF, 0x1234)) == 0x123489ABCDEFLL && i48(Int48Inc(Int48Make(0xFFFFFFFF, 0))) == 0x100000000LL);
  EXPECT_TRUE(i48(Int48Inc(Int48Make(0xFFFFFFFF, 0xFFFF))) == 0 && i48(Int48Dec(Int48Make(0, 0))) == 0xFFFFFFFFFFFFLL);
  EXPECT_TRUE(i48(Int48Add(Int48Make(0xFFFFFF00, 2), Int48Make(0x200, 3))) == 0x600000100LL &&
              i48(Int48Add(Int48Make(0xFFFFFF00, 2), 0x200, 3)) == 0x600000100LL);
  EXPECT_TRUE(i48(Int48Sub(Int48Make(0x100, 6), Int48Make(0x200, 3))) == 0x2FFFFFF00LL &&
              i48(Int48Sub(Int48Make(0x100, 6), 0x200, 3)) == 0x2FFFFFF00LL);
  const TUInt48 c = Int48Make(0xFFFFFFFF, 0), d = Int48Make(0, 1);
  EXPECT_TRUE(Int48Less(c, d) && !Int48Less(d, c) && !Int48Less(c, c) && Int48LessOrEqual(c, c));
  EXPECT_TRUE(Int48Equal(c, Int48Make(0xFFFFFFFF, 0)) && Int48NotEqual(c, d));
}

TEST(MyInteger, StartupCheckHolds) { EXPECT_TRUE(MyIntegerSelfCheck()); }
