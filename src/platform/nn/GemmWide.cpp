// The matrix products again, compiled for processors with AVX2 and FMA (see Gemm.cpp, which picks
// this variant at run time). Eigen's namespace is renamed here so that its inline templates,
// compiled with wider instructions, never merge with the portable ones at link time.
#include "platform/nn/Gemm.h"

#if defined(__x86_64__) && defined(__AVX2__) && defined(__FMA__)
#define Eigen EigenWideVectors
#include <Eigen/Core>

namespace vesk::nn::wide {

namespace {
using RowMatrix = Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
using ColMatrix = Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::ColMajor>;
} // namespace

bool available()
{
    return true;
}

void gemm(const float* a, const float* b, float* c, int64_t m, int64_t k, int64_t n)
{
    Eigen::Map<const RowMatrix> left(a, m, k);
    Eigen::Map<const RowMatrix> right(b, k, n);
    Eigen::Map<RowMatrix> out(c, m, n);
    out.noalias() = left * right;
}

void gemmTransposedB(const float* a, const float* bTransposed, float* c, int64_t m, int64_t k, int64_t n)
{
    Eigen::Map<const RowMatrix> left(a, m, k);
    Eigen::Map<const ColMatrix> right(bTransposed, k, n);
    Eigen::Map<RowMatrix> out(c, m, n);
    out.noalias() = left * right;
}

} // namespace vesk::nn::wide

#else

namespace vesk::nn::wide {

bool available()
{
    return false;
}
void gemm(const float*, const float*, float*, int64_t, int64_t, int64_t) {}
void gemmTransposedB(const float*, const float*, float*, int64_t, int64_t, int64_t) {}

} // namespace vesk::nn::wide

#endif
