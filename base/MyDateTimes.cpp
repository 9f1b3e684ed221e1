#include "base/MyDateTimes.h"

#include <cmath>

#include "platform/core/Clock.h"
#include "platform/core/Exception.h"

namespace {

constexpr int64_t MSecsPerDay = 86400000;
// The day number (1 = 0001-01-01) of TDateTime 0, 1899-12-30.
constexpr int32_t DateDelta = 693594;
// The range that the day number and the texts can carry.
constexpr double MinDateTime = -693593.0;          // 0001-01-01 00:00:00.000
constexpr double MaxDateTime = 2958465.99999999;   // 9999-12-31 23:59:59.999

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Proleptic Gregorian date of a day number (1 = 0001-01-01), by the civil-from-days method
// (eras of 400 years starting on 1 March).
void CivilFromDayNumber(int32_t dayNumber, int& year, int& month, int& day) {
  int64_t z = static_cast<int64_t>(dayNumber) - 1 - 719162 + 719468;  // days since 0000-03-01
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// Appends v (>= 0) in at least Width decimal digits, zero-filled; no locale is consulted.
void AppendDigits(std::string& s, int v, int width) {
  char buf[12];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v > 0);
  while (n < width) buf[n++] = '0';
  while (n > 0) s += buf[--n];
}

// Three fields, the first of firstWidth digits and the others of two, with sep between them.
std::string ThreeFields(int first, int firstWidth, char sep, int second, int third) {
  std::string s;
  AppendDigits(s, first, firstWidth);
  s += sep;
  AppendDigits(s, second, 2);
  s += sep;
  AppendDigits(s, third, 2);
  return s;
}

}  // namespace

int64_t MSecsCounter() { return platform::MonotonicMilliseconds(); }

int64_t ElapsedMSecs(int64_t Default, int64_t Now, int64_t Start) {
  // Unsigned arithmetic wraps instead of overflowing; the result is taken back modulo 2^64.
  uint64_t now = static_cast<uint64_t>(Now), start = static_cast<uint64_t>(Start);
  uint64_t elapsed = Now >= Start ? now - start : static_cast<uint64_t>(INT64_MAX) - start + now;
  return elapsed == 0 ? Default : static_cast<int64_t>(elapsed);
}

bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Result) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 || Day > DaysInMonth(Year, Month))
    return false;
  int days = Day;
  for (int m = 1; m < Month; ++m) days += DaysInMonth(Year, m);
  int y = Year - 1;
  Result = static_cast<double>(y * 365 + y / 4 - y / 100 + y / 400 + days - DateDelta);
  return true;
}

bool TryEncodeTime(int Hour, int Minute, int Second, int MSec, TDateTime& Result) {
  if (Hour < 0 || Hour > 23 || Minute < 0 || Minute > 59 || Second < 0 || Second > 59 || MSec < 0 || MSec > 999)
    return false;
  Result = static_cast<double>(((Hour * 60 + Minute) * 60 + Second) * 1000 + MSec) / MSecsPerDay;
  return true;
}

TDateTime EncodeDate(int Year, int Month, int Day) {
  TDateTime result;
  if (!TryEncodeDate(Year, Month, Day, result)) throw Exception("Invalid argument to date encode");
  return result;
}

TDateTime EncodeTime(int Hour, int Minute, int Second, int MSec) {
  TDateTime result;
  if (!TryEncodeTime(Hour, Minute, Second, MSec, result)) throw Exception("Invalid argument to time encode");
  return result;
}

TDateTime DateTimeFromParts(int Year, int Month, int Day, int Hour, int Minute, int Second, int MSec) {
  TDateTime date = EncodeDate(Year, Month, Day);
  TDateTime time = EncodeTime(Hour, Minute, Second, MSec);
  // Before 1899-12-30 the time of day still counts forward from midnight.
  return date >= 0 ? date + time : date - time;
}

void DecodeDate(TDateTime DateTime, int& Year, int& Month, int& Day) {
  CivilFromDayNumber(DateTimeToTimeStamp(DateTime).Date, Year, Month, Day);
}

void DecodeTime(TDateTime DateTime, int& Hour, int& Minute, int& Second, int& MSec) {
  int32_t t = DateTimeToTimeStamp(DateTime).Time;
  Hour = t / 3600000;
  Minute = t / 60000 % 60;
  Second = t / 1000 % 60;
  MSec = t % 1000;
}

TDateTime Now() {
  platform::LocalTime t = platform::LocalTimeNow();
  return DateTimeFromParts(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
}

TTimeStamp DateTimeToTimeStamp(TDateTime DateTime) {
  if (!(DateTime >= MinDateTime)) DateTime = std::isnan(DateTime) ? 0.0 : MinDateTime;
  if (DateTime > MaxDateTime) DateTime = MaxDateTime;
  // Milliseconds rounded half to even; the day is the integer part (toward zero) and the time
  // of day the remaining milliseconds, counted forward also for negative values.
  int64_t ms = static_cast<int64_t>(std::nearbyint(DateTime * MSecsPerDay));
  int64_t day = ms / MSecsPerDay;
  int64_t time = (ms < 0 ? -ms : ms) % MSecsPerDay;
  return TTimeStamp{static_cast<int32_t>(time), static_cast<int32_t>(DateDelta + day)};
}

int64_t TimeStampToMSecs(TTimeStamp TimeStamp) {
  return (static_cast<int64_t>(TimeStamp.Date) - 1) * MSecsPerDay + TimeStamp.Time;
}

int64_t DateTimeToMSecs(TDateTime DateTime) { return TimeStampToMSecs(DateTimeToTimeStamp(DateTime)); }

int64_t NowMSecs() { return DateTimeToMSecs(Now()); }

std::string DateToText(TDateTime DateTime) {
  int y, m, d;
  DecodeDate(DateTime, y, m, d);
  return ThreeFields(y, 4, '/', m, d);
}

std::string TimeToText(TDateTime DateTime) {
  int h, n, sec, ms;
  DecodeTime(DateTime, h, n, sec, ms);
  return ThreeFields(h, 2, ':', n, sec);
}

std::string DateTimeToText(TDateTime DateTime) { return DateToText(DateTime) + " " + TimeToText(DateTime); }
