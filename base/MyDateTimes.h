#pragma once
// The millisecond clock, wrap-safe elapsed time, TDateTime and its fixed texts.
//
// Dates and times are written in fixed patterns whatever the user's locale:
// date "yyyy/mm/dd", time "hh:mm:ss" (24-hour), separators '/' and ':'. The routines below
// never consult the C or C++ locale.
#include <cstdint>
#include <string>

// Days since 1899-12-30; the fraction is the time of day. Before that day the integer part is
// negative and the fraction still counts forward from midnight (-1.25 is 1899-12-29 06:00).
using TDateTime = double;

// Day number (1 = 0001-01-01) and milliseconds since midnight.
struct TTimeStamp {
  int32_t Time;
  int32_t Date;
};

// Milliseconds of the monotonic clock (never jumps with the wall clock).
int64_t MSecsCounter();

// Now - Start, also across a wrap of the counter ($7FFFFFFFFFFFFFFF - Start + Now when
// Now < Start); a result of 0 gives Default. Computed without signed overflow.
int64_t ElapsedMSecs(int64_t Default, int64_t Now, int64_t Start);

// Year 1..9999, month 1..12, day 1..days of the month; false and Result unchanged otherwise.
bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Result);
// Hour 0..23, minute and second 0..59, millisecond 0..999; false and Result unchanged otherwise.
bool TryEncodeTime(int Hour, int Minute, int Second, int MSec, TDateTime& Result);
// As the Try forms; raise Exception for a value out of range.
TDateTime EncodeDate(int Year, int Month, int Day);
TDateTime EncodeTime(int Hour, int Minute, int Second, int MSec);
TDateTime DateTimeFromParts(int Year, int Month, int Day, int Hour, int Minute, int Second, int MSec = 0);
void DecodeDate(TDateTime DateTime, int& Year, int& Month, int& Day);
void DecodeTime(TDateTime DateTime, int& Hour, int& Minute, int& Second, int& MSec);

// The local date and time.
TDateTime Now();

// Rounded to the millisecond; values outside 0001-01-01 .. 9999-12-31 (and NaN) are held to
// that range first.
TTimeStamp DateTimeToTimeStamp(TDateTime DateTime);
// (Date - 1) x 86,400,000 + Time: milliseconds since 0001-01-01 00:00.
int64_t TimeStampToMSecs(TTimeStamp TimeStamp);
int64_t DateTimeToMSecs(TDateTime DateTime);
int64_t NowMSecs();

std::string DateToText(TDateTime DateTime);      // yyyy/mm/dd
std::string TimeToText(TDateTime DateTime);      // hh:mm:ss
std::string DateTimeToText(TDateTime DateTime);  // yyyy/mm/dd hh:mm:ss
