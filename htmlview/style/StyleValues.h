#pragma once
// CSS value text into numbers: lengths in pixels, font sizes in points, colours and URLs.
// Bad values never raise: each conversion falls back to its stated default.
#include <array>
#include <cstdint>
#include <string>

#include "platform/gui/Colors.h"

namespace htmlview {

// "transparent": no colour.
inline constexpr TColor clNone = 0x1FFFFFFF;

// The screen's pixels per inch: the primary screen's when there is an application, else 96;
// tests set their own.
int PixelsPerInch();
void SetPixelsPerInch(int value);

// Point sizes of the keywords "xx-small" (1) ... "xx-large" (7), set by the viewer from its
// default size; and the default size in points, set by the default style sheet.
extern std::array<double, 8> FontConv;
extern double DefPointSize;

// The largest length, size or space, in pixels, that a page can give (as large as a widget may
// be). Every length read from a page is held to +-MaxLength, so that the handful of them that
// layout adds up stays far inside the int range.
inline constexpr int MaxLength = 16777215;
// value held to +-MaxLength; not a number gives 0.
int CapLength(double value);
inline int CapLength(long long value) {
  return static_cast<int>(value < -MaxLength ? -MaxLength : value > MaxLength ? MaxLength : value);
}
inline int CapLength(int value) { return CapLength(static_cast<long long>(value)); }
// The largest coordinate or extent of a laid-out page: layout holds positions and the sums that
// make them to +-MaxCoord, so that a position plus an extent and a few lengths stays inside the
// int range.
inline constexpr int MaxCoord = 1 << 29;
inline int CapCoord(long long value) {
  return static_cast<int>(value < -MaxCoord ? -MaxCoord : value > MaxCoord ? MaxCoord : value);
}

// Splits value into a number and a trimmed unit; false when it does not begin with a number.
bool SplitNumber(const std::u16string& value, double& number, std::u16string& unit);

int LengthConv(const std::u16string& value, bool relative, int base, int defaultValue, int emSize, int exSize);
double FontSizeConv(const std::u16string& value, double oldSize, bool quirks);
// A CSS colour ("#abc", a name, rgb()/rgba(), hsl()/hsla()); false for no colour.
bool ColorFromString(const std::u16string& s, bool needPound, TColor& color, int& alpha);
TColor HSLtoRGB(int h, int s, int l);
// The URL inside "url(...)", without its quotes; empty when there is none.
std::u16string ReadURL(const std::u16string& value);

std::u16string LowerW(std::u16string s);

}  // namespace htmlview
