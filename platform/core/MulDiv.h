#pragma once
// The system's MulDiv: number x numerator / denominator through a 64-bit product, rounded to the
// nearest integer with halves away from zero; -1 when the denominator is 0 or the result does not
// fit an int.
namespace platform {
int MulDiv(int number, int numerator, int denominator);
}
using platform::MulDiv;
