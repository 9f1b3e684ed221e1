#include "base/MyDateTimes.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <locale>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/Exception.h"

TEST(MyDateTimes, ElapsedMSecs) {
  EXPECT_EQ(ElapsedMSecs(7, 100, 100), 7);
  EXPECT_EQ(ElapsedMSecs(0, 5, 0x7FFFFFFFFFFFFFF0LL), 20);
  EXPECT_EQ(ElapsedMSecs(1, 150, 100), 50);
  EXPECT_EQ(ElapsedMSecs(1, INT64_MAX, 0), INT64_MAX);
  EXPECT_EQ(ElapsedMSecs(1, 0, INT64_MAX), 1);  // INT64_MAX - Start + Now is 0: the default
  // Ranges whose signed differences overflow.
  EXPECT_EQ(ElapsedMSecs(1, INT64_MAX, -1), INT64_MIN);
  EXPECT_EQ(ElapsedMSecs(1, INT64_MIN, INT64_MAX), INT64_MIN);  // $7FFF...F - Start + Now
  EXPECT_EQ(ElapsedMSecs(1, -10, -20), 10);
}

TEST(MyDateTimes, MSecsCounterIsMonotonic) {
  int64_t a = MSecsCounter();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  int64_t b = MSecsCounter();
  EXPECT_GE(ElapsedMSecs(0, b, a), 15);
  EXPECT_LT(ElapsedMSecs(0, b, a), 5000);
}

TEST(MyDateTimes, EncodeDateAndTime) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2024, 3, 5), 45356.0);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
  EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_EQ(EncodeTime(6, 0, 0, 0), 0.25);
  TDateTime d = 123.0;
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29, d));
  EXPECT_TRUE(TryEncodeDate(2024, 2, 29, d));
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, d));
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29, d));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, d));
  EXPECT_FALSE(TryEncodeDate(2024, 13, 1, d));
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, d));
  EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, d));
  EXPECT_THROW(EncodeDate(2024, 4, 31), Exception);
  EXPECT_THROW(EncodeTime(0, 60, 0, 0), Exception);
}

TEST(MyDateTimes, DecodeRoundTrips) {
  for (int y : {1, 4, 100, 1600, 1899, 1900, 1970, 2000, 2024, 2100, 9999})
    for (int m = 1; m <= 12; ++m)
      for (int day : {1, 15, 28}) {
        int yy, mm, dd;
        DecodeDate(EncodeDate(y, m, day), yy, mm, dd);
        ASSERT_EQ(yy, y);
        ASSERT_EQ(mm, m);
        ASSERT_EQ(dd, day);
      }
  int h, n, s, ms;
  DecodeTime(DateTimeFromParts(2024, 3, 5, 14, 7, 9, 321), h, n, s, ms);
  EXPECT_EQ(h, 14);
  EXPECT_EQ(n, 7);
  EXPECT_EQ(s, 9);
  EXPECT_EQ(ms, 321);
}

TEST(MyDateTimes, TimeStampsAndMilliseconds) {
  TTimeStamp t = DateTimeToTimeStamp(EncodeDate(1, 1, 1));
  EXPECT_EQ(t.Date, 1);
  EXPECT_EQ(t.Time, 0);
  EXPECT_EQ(TimeStampToMSecs(t), 0);
  t = DateTimeToTimeStamp(0.0);
  EXPECT_EQ(t.Date, 693594);
  t = DateTimeToTimeStamp(DateTimeFromParts(2024, 3, 5, 14, 7, 9, 500));
  EXPECT_EQ(t.Date, 693594 + 45356);
  EXPECT_EQ(t.Time, ((14 * 60 + 7) * 60 + 9) * 1000 + 500);
  EXPECT_EQ(TimeStampToMSecs(TTimeStamp{1000, 2}), 86400000 + 1000);
  EXPECT_EQ(DateTimeToMSecs(EncodeDate(1, 1, 2)), 86400000);
  EXPECT_EQ(DateTimeToMSecs(EncodeDate(1970, 1, 1)), 62135596800000LL);
  // Before 1899-12-30 the fraction still counts forward: -1.25 is 1899-12-29 06:00.
  t = DateTimeToTimeStamp(-1.25);
  EXPECT_EQ(t.Date, 693594 - 1);
  EXPECT_EQ(t.Time, 6 * 3600000);
  EXPECT_EQ(DateTimeFromParts(1899, 12, 29, 6, 0, 0), -1.25);
}

TEST(MyDateTimes, OutOfRangeValuesAreHeld) {
  EXPECT_EQ(DateTimeToText(1e300), "9999/12/31 23:59:59");
  EXPECT_EQ(DateTimeToText(-1e300), "0001/01/01 00:00:00");
  EXPECT_EQ(DateTimeToText(std::nan("")), "1899/12/30 00:00:00");
  EXPECT_EQ(DateTimeToText(INFINITY), "9999/12/31 23:59:59");
}

TEST(MyDateTimes, FixedTexts) {
  TDateTime dt = DateTimeFromParts(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ(DateToText(dt), "2024/03/05");
  EXPECT_EQ(TimeToText(dt), "14:07:09");
  EXPECT_EQ(DateTimeToText(dt), "2024/03/05 14:07:09");
  EXPECT_EQ(DateTimeToText(DateTimeFromParts(7, 1, 2, 3, 4, 5)), "0007/01/02 03:04:05");
  EXPECT_EQ(DateTimeToText(DateTimeFromParts(2024, 12, 31, 23, 59, 59, 999)), "2024/12/31 23:59:59");
  EXPECT_EQ(TimeToText(DateTimeFromParts(2024, 3, 5, 0, 0, 0)), "00:00:00");
}

namespace {

// Sets the locale variables and the process's C and C++ locales from them (as far as the
// machine has the locale), restoring everything afterwards.
class UnderLocale {
public:
  explicit UnderLocale(const char* name) {
    for (const char* var : {"LC_ALL", "LANG", "LC_TIME", "LC_NUMERIC"}) {
      const char* old = std::getenv(var);
      saved_.emplace_back(var, old ? std::optional<std::string>(old) : std::nullopt);
      ::setenv(var, name, 1);
    }
    oldC_ = std::setlocale(LC_ALL, nullptr);
    installed_ = std::setlocale(LC_ALL, "") != nullptr;
    try {
      oldCpp_ = std::locale::global(std::locale(""));
    } catch (const std::runtime_error&) {
      oldCpp_ = std::locale::global(std::locale::classic());
    }
  }
  ~UnderLocale() {
    std::locale::global(oldCpp_);
    std::setlocale(LC_ALL, oldC_.c_str());
    for (auto& [var, value] : saved_) value ? ::setenv(var, value->c_str(), 1) : ::unsetenv(var);
  }
  bool installed() const { return installed_; }

private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
  std::string oldC_;
  std::locale oldCpp_;
  bool installed_ = false;
};

}  // namespace

TEST(MyDateTimes, TextsIgnoreTheLocale) {
  const TDateTime dt = DateTimeFromParts(2024, 3, 5, 14, 7, 9);
  for (const char* name : {"de_DE.UTF-8", "ja_JP.UTF-8", "fr_FR.UTF-8", "en_US.UTF-8", "ar_EG.UTF-8", "C.UTF-8"}) {
    UnderLocale locale(name);
    SCOPED_TRACE(std::string(name) + (locale.installed() ? " (installed)" : " (not installed on this machine)"));
    EXPECT_EQ(DateTimeToText(dt), "2024/03/05 14:07:09");
    EXPECT_EQ(DateToText(dt), "2024/03/05");
    EXPECT_EQ(TimeToText(dt), "14:07:09");
  }
}

TEST(MyDateTimes, NowAgreesWithTheLocalClock) {
  std::time_t before = std::time(nullptr);
  TDateTime now = Now();
  int64_t nowMs = NowMSecs();
  std::time_t after = std::time(nullptr);
  std::tm a, b;
  localtime_r(&before, &a);
  localtime_r(&after, &b);
  TDateTime lo = DateTimeFromParts(a.tm_year + 1900, a.tm_mon + 1, a.tm_mday, a.tm_hour, a.tm_min, a.tm_sec);
  TDateTime hi = DateTimeFromParts(b.tm_year + 1900, b.tm_mon + 1, b.tm_mday, b.tm_hour, b.tm_min, b.tm_sec, 999);
  EXPECT_GE(now, lo);
  EXPECT_LE(now, hi);
  EXPECT_GE(nowMs, DateTimeToMSecs(lo));
  EXPECT_LE(nowMs, DateTimeToMSecs(hi) + 1000);
}
