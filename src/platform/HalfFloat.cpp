#include "platform/HalfFloat.h"

#include <cstring>

#if defined(__GNUC__) && defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define VESK_HALF_F16C 1
#endif

namespace vesk {

float halfToFloat(uint16_t half)
{
    const uint32_t sign = uint32_t(half & 0x8000u) << 16;
    const uint32_t exponent = (half >> 10) & 0x1Fu;
    uint32_t mantissa = half & 0x3FFu;
    uint32_t bits;
    if (exponent == 0) {
        if (mantissa == 0) {
            bits = sign;
        } else { // subnormal: normalise it
            int shift = 0;
            while ((mantissa & 0x400u) == 0) {
                mantissa <<= 1;
                ++shift;
            }
            mantissa &= 0x3FFu;
            bits = sign | uint32_t(127 - 15 + 1 - shift) << 23 | mantissa << 13;
        }
    } else if (exponent == 0x1F) {
        bits = sign | 0x7F800000u | mantissa << 13;
    } else {
        bits = sign | (exponent + 127 - 15) << 23 | mantissa << 13;
    }
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

uint16_t floatToHalf(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    const uint16_t sign = uint16_t((bits >> 16) & 0x8000u);
    const uint32_t magnitude = bits & 0x7FFFFFFFu;
    if (magnitude >= 0x7F800000u) // infinity or NaN (a NaN keeps a mantissa bit)
        return uint16_t(sign | 0x7C00u | (magnitude > 0x7F800000u ? 0x200u : 0u));
    if (magnitude >= 0x477FF000u) // rounds beyond 65504
        return uint16_t(sign | 0x7C00u);
    if (magnitude < 0x33000001u) // below half the smallest subnormal (a tie rounds to zero, even)
        return sign;
    const int exponent = int(magnitude >> 23);
    uint32_t mantissa = (magnitude & 0x7FFFFFu) | 0x800000u;
    int shift; // how many low bits of the 24-bit mantissa are dropped
    uint32_t halfExponent;
    if (exponent < 113) { // subnormal half
        shift = 13 + (113 - exponent);
        halfExponent = 0;
    } else {
        shift = 13;
        halfExponent = uint32_t(exponent - 112);
    }
    uint32_t kept = mantissa >> shift;
    const uint32_t dropped = mantissa & ((1u << shift) - 1u);
    const uint32_t halfway = 1u << (shift - 1);
    if (dropped > halfway || (dropped == halfway && (kept & 1u)))
        ++kept;
    // For a normal half the implicit bit is in kept; adding the exponent above it carries a
    // rounding overflow into the exponent, as it should.
    const uint32_t result = halfExponent == 0 ? kept : ((halfExponent << 10) + (kept - 0x400u));
    return uint16_t(sign | result);
}

namespace {

double widened(double value) { return value; }
double widened(uint16_t half) { return double(halfToFloat(half)); }

// Eight running sums, so that the additions need not wait for each other; the order is the same
// in the processor's versions below.
template <typename A>
double sumProductsPortable(const A* a, const uint16_t* b, size_t n)
{
    double sums[8] = {};
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        for (size_t j = 0; j < 8; ++j)
            sums[j] += widened(a[i + j]) * widened(b[i + j]);
    }
    for (size_t j = 0; i < n; ++i, ++j)
        sums[j] += widened(a[i]) * widened(b[i]);
    return ((sums[0] + sums[4]) + (sums[1] + sums[5])) + ((sums[2] + sums[6]) + (sums[3] + sums[7]));
}

#if VESK_HALF_F16C
bool hasF16C()
{
    static const bool has = [] {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
            return false;
        const bool avx = (ecx & bit_AVX) != 0;
        const bool f16c = (ecx & bit_F16C) != 0;
        // The wide registers must also be saved by the system.
        if (!avx || !f16c || (ecx & bit_OSXSAVE) == 0)
            return false;
        unsigned low = 0, high = 0;
        __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
        return (low & 0x6u) == 0x6u;
    }();
    return has;
}

// Multiplies and adds separately (no fused multiply-add), so the result equals the portable one.
__attribute__((target("avx,f16c"))) double sumProductsF16C(const double* a, const uint16_t* b, size_t n)
{
    __m256d low = _mm256_setzero_pd();  // sums 0-3
    __m256d high = _mm256_setzero_pd(); // sums 4-7
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 values = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)));
        const __m256d lowValues = _mm256_cvtps_pd(_mm256_castps256_ps128(values));
        const __m256d highValues = _mm256_cvtps_pd(_mm256_extractf128_ps(values, 1));
        low = _mm256_add_pd(low, _mm256_mul_pd(_mm256_loadu_pd(a + i), lowValues));
        high = _mm256_add_pd(high, _mm256_mul_pd(_mm256_loadu_pd(a + i + 4), highValues));
    }
    double sums[8];
    _mm256_storeu_pd(sums, low);
    _mm256_storeu_pd(sums + 4, high);
    for (size_t j = 0; i < n; ++i, ++j)
        sums[j] += a[i] * double(_cvtsh_ss(b[i]));
    return ((sums[0] + sums[4]) + (sums[1] + sums[5])) + ((sums[2] + sums[6]) + (sums[3] + sums[7]));
}

__attribute__((target("avx,f16c"))) double sumProductsOfHalvesF16C(const uint16_t* a, const uint16_t* b, size_t n)
{
    __m256d low = _mm256_setzero_pd();
    __m256d high = _mm256_setzero_pd();
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 left = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)));
        const __m256 right = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)));
        low = _mm256_add_pd(low, _mm256_mul_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(left)),
                                     _mm256_cvtps_pd(_mm256_castps256_ps128(right))));
        high = _mm256_add_pd(high, _mm256_mul_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(left, 1)),
                                       _mm256_cvtps_pd(_mm256_extractf128_ps(right, 1))));
    }
    double sums[8];
    _mm256_storeu_pd(sums, low);
    _mm256_storeu_pd(sums + 4, high);
    for (size_t j = 0; i < n; ++i, ++j)
        sums[j] += double(_cvtsh_ss(a[i])) * double(_cvtsh_ss(b[i]));
    return ((sums[0] + sums[4]) + (sums[1] + sums[5])) + ((sums[2] + sums[6]) + (sums[3] + sums[7]));
}
#endif

} // namespace

double sumProductsWithHalves(const double* a, const uint16_t* b, size_t n)
{
#if VESK_HALF_F16C
    if (hasF16C())
        return sumProductsF16C(a, b, n);
#endif
    return sumProductsPortable(a, b, n);
}

double sumProductsOfHalves(const uint16_t* a, const uint16_t* b, size_t n)
{
#if VESK_HALF_F16C
    if (hasF16C())
        return sumProductsOfHalvesF16C(a, b, n);
#endif
    return sumProductsPortable(a, b, n);
}

} // namespace vesk
