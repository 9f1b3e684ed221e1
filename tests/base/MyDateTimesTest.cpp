#include "base/MyDateTimes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <thread>

#include "platform/core/Exception.h"

TEST(MyDateTimes, ElapsedMSecsAcrossTheWrap) {
  EXPECT_EQ(ElapsedMSecs(7, 100, 100), 7);  // 0 gives the default
  EXPECT_EQ(ElapsedMSecs(1, 150, 100), 50);
  EXPECT_EQ(ElapsedMSecs(0, 5, 0x7FFFFFFFFFFFFFF0LL), 20);
  EXPECT_EQ(ElapsedMSecs(1, INT64_MAX, -1), INT64_MIN);  // signed differences that overflow
  EXPECT_EQ(ElapsedMSecs(1, INT64_MIN, INT64_MAX), INT64_MIN);
  const int64_t a = MSecsCounter();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GE(MSecsCounter() - a, 15);
}

TEST(MyDateTimes, EncodeAndDecode) {
  EXPECT_TRUE(EncodeDate(1899, 12, 30) == 0.0 && EncodeDate(2024, 3, 5) == 45356.0 && EncodeTime(6, 0, 0, 0) == 0.25);
  EXPECT_TRUE(EncodeDate(1, 1, 1) == -693593.0 && EncodeDate(9999, 12, 31) == 2958465.0);
  TDateTime d = 123.0;
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29, d));
  EXPECT_TRUE(TryEncodeDate(2024, 2, 29, d));
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, d));
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29, d));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, d));
  EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, d));
  EXPECT_EQ(d, EncodeDate(2000, 2, 29));  // unchanged by the failures
  EXPECT_THROW(EncodeDate(2024, 4, 31), Exception);
  EXPECT_THROW(EncodeTime(0, 60, 0, 0), Exception);

  for (int y : {1, 4, 100, 1600, 1899, 1900, 1970, 2000, 2024, 2100, 9999})
    for (int m = 1; m <= 12; ++m)
      for (int day : {1, 15, 28}) {
        int yy, mm, dd;
        DecodeDate(EncodeDate(y, m, day), yy, mm, dd);
        ASSERT_EQ(yy * 10000 + mm * 100 + dd, y * 10000 + m * 100 + day);
      }
  int h, n, s, ms;
  DecodeTime(DateTimeFromParts(2024, 3, 5, 14, 7, 9, 321), h, n, s, ms);
  EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 140709321);
  // Before 1899-12-30 the fraction still counts forward: -1.25 is 1899-12-29 06:00.
  EXPECT_EQ(DateTimeFromParts(1899, 12, 29, 6, 0, 0), -1.25);
}

TEST(MyDateTimes, TimeStampsAndMilliseconds) {
  TTimeStamp t = DateTimeToTimeStamp(DateTimeFromParts(2024, 3, 5, 14, 7, 9, 500));
  EXPECT_EQ(t.Date, 693594 + 45356);
  EXPECT_EQ(t.Time, ((14 * 60 + 7) * 60 + 9) * 1000 + 500);
  t = DateTimeToTimeStamp(-1.25);
  EXPECT_EQ(t.Date, 693594 - 1);
  EXPECT_EQ(t.Time, 6 * 3600000);
  EXPECT_EQ(TimeStampToMSecs(TTimeStamp{1000, 2}), 86400000 + 1000);
  EXPECT_EQ(DateTimeToMSecs(EncodeDate(1, 1, 1)), 0);
  EXPECT_EQ(DateTimeToMSecs(EncodeDate(1970, 1, 1)), 62135596800000LL);
}

TEST(MyDateTimes, FixedTextsAndHeldRanges) {
  const TDateTime dt = DateTimeFromParts(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ(DateToText(dt), "2024/03/05");
  EXPECT_EQ(TimeToText(DateTimeFromParts(2024, 3, 5, 0, 0, 0)), "00:00:00");
  EXPECT_EQ(DateTimeToText(DateTimeFromParts(7, 1, 2, 3, 4, 5)), "0007/01/02 03:04:05");
  EXPECT_EQ(DateTimeToText(DateTimeFromParts(2024, 12, 31, 23, 59, 59, 999)), "2024/12/31 23:59:59");
  EXPECT_EQ(DateTimeToText(1e300), "9999/12/31 23:59:59");
  EXPECT_EQ(DateTimeToText(-1e300), "0001/01/01 00:00:00");
  EXPECT_EQ(DateTimeToText(std::nan("")), "1899/12/30 00:00:00");
}

TEST(MyDateTimes, NowIsTheLocalTime) {
  const std::time_t t = std::time(nullptr);
  std::tm a;
  localtime_r(&t, &a);
  const int64_t local = DateTimeToMSecs(DateTimeFromParts(a.tm_year + 1900, a.tm_mon + 1, a.tm_mday, a.tm_hour, a.tm_min, a.tm_sec));
  EXPECT_NEAR(DateTimeToMSecs(Now()), local, 2000);
  EXPECT_NEAR(NowMSecs(), local, 2000);
}
