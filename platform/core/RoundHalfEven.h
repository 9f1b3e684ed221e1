#pragma once
// Rounding to the nearest integer with ties to the even neighbour (0.5 -> 0, 1.5 -> 2, 2.5 -> 2),
// whatever rounding mode the floating-point unit is in.
namespace platform {
// Values beyond the range of int (and NaN, as 0) are held at its ends, so that callers that
// clamp further never meet undefined conversions.
int RoundHalfEven(double value);
}
using platform::RoundHalfEven;
