#pragma once

#include <cstdint>

namespace vesk::nn {

// C[m x n] = A[m x k] * B[k x n], all row-major and densely packed; single-threaded (callers
// split rows across the pool themselves).
void gemm(const float* a, const float* b, float* c, int64_t m, int64_t k, int64_t n);

// The same with B given transposed (B^T is n x k).
void gemmTransposedB(const float* a, const float* bTransposed, float* c, int64_t m, int64_t k, int64_t n);

} // namespace vesk::nn
