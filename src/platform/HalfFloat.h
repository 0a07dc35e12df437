#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk {

// IEEE 754 half precision (binary16), as bits.
float halfToFloat(uint16_t half);
// Rounds to the nearest half, ties to even; beyond the largest half gives infinity, NaN stays NaN.
uint16_t floatToHalf(float value);

// The sum of products of doubles and halves, accumulated in double precision in a fixed order, so
// that every build and machine gets the same result (the processor's own conversion is used when
// it has one; it converts exactly as halfToFloat does).
double sumProductsWithHalves(const double* a, const uint16_t* b, size_t n);
double sumProductsOfHalves(const uint16_t* a, const uint16_t* b, size_t n);

} // namespace vesk
