#include "platform/nn/Gemm.h"

#include <Eigen/Core>

namespace vesk::nn {

namespace wide {
bool available();
void gemm(const float* a, const float* b, float* c, int64_t m, int64_t k, int64_t n);
void gemmTransposedB(const float* a, const float* bTransposed, float* c, int64_t m, int64_t k, int64_t n);
} // namespace wide

namespace {

using RowMatrix = Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
using ColMatrix = Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::ColMajor>;

// The wide variant is used only when it was built and this processor runs its instructions.
bool useWide()
{
#if defined(__x86_64__)
    static const bool wide = wide::available() && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return wide;
#else
    return false;
#endif
}

} // namespace

void gemm(const float* a, const float* b, float* c, int64_t m, int64_t k, int64_t n)
{
    if (useWide()) {
        wide::gemm(a, b, c, m, k, n);
        return;
    }
    Eigen::Map<const RowMatrix> left(a, m, k);
    Eigen::Map<const RowMatrix> right(b, k, n);
    Eigen::Map<RowMatrix> out(c, m, n);
    out.noalias() = left * right;
}

void gemmTransposedB(const float* a, const float* bTransposed, float* c, int64_t m, int64_t k, int64_t n)
{
    if (useWide()) {
        wide::gemmTransposedB(a, bTransposed, c, m, k, n);
        return;
    }
    Eigen::Map<const RowMatrix> left(a, m, k);
    // A row-major n x k matrix is the column-major k x n matrix B.
    Eigen::Map<const ColMatrix> right(bTransposed, k, n);
    Eigen::Map<RowMatrix> out(c, m, n);
    out.noalias() = left * right;
}

} // namespace vesk::nn
