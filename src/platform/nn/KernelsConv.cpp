// Convolutions, pooling and the fused matrix product: the heavy operations of the runtime. Each
// output row range is computed independently, so the thread pool splits them freely.
#include "platform/nn/Gemm.h"
#include "platform/nn/Kernels.h"
#include "platform/nn/ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vesk::nn::detail {

namespace {

struct Window {
    int64_t out = 0;
    int64_t padBefore = 0;
};

// Output size and leading padding of one spatial axis, as TensorFlow computes them.
std::optional<Window> window(int64_t in, int64_t kernel, int64_t stride, int64_t dilation, const QByteArray& padding,
                             int64_t explicitBefore, int64_t explicitAfter)
{
    if (in <= 0 || kernel <= 0 || stride <= 0 || dilation <= 0)
        return std::nullopt;
    const int64_t effective = (kernel - 1) * dilation + 1;
    Window w;
    if (padding == "SAME") {
        w.out = (in + stride - 1) / stride;
        const int64_t total = std::max<int64_t>((w.out - 1) * stride + effective - in, 0);
        w.padBefore = total / 2;
    } else if (padding == "VALID") {
        if (in < effective)
            return std::nullopt;
        w.out = (in - effective) / stride + 1;
    } else if (padding == "EXPLICIT") {
        if (explicitBefore < 0 || explicitAfter < 0 || in + explicitBefore + explicitAfter < effective)
            return std::nullopt;
        w.out = (in + explicitBefore + explicitAfter - effective) / stride + 1;
        w.padBefore = explicitBefore;
    } else {
        return std::nullopt;
    }
    return w;
}

struct ConvGeometry {
    int64_t batch = 0, inH = 0, inW = 0, inC = 0;
    int64_t kH = 0, kW = 0, outC = 0;
    int64_t strideH = 1, strideW = 1, dilationH = 1, dilationW = 1;
    Window y, x;
};

// Reads strides, dilations and padding of a 2-D window operation over an NHWC input.
std::optional<ConvGeometry> geometry(const NodeDef& node, const Tensor& input, int64_t kH, int64_t kW, QString* error)
{
    if (input.rank() != 4 || input.dtype != DType::Float32) {
        *error = QStringLiteral("needs a float NHWC input, has %1 %2").arg(dtypeName(input.dtype), shapeText(input.shape));
        return std::nullopt;
    }
    const QByteArray format = attrString(node, "data_format");
    if (!format.isEmpty() && format != "NHWC") {
        *error = QStringLiteral("has the unsupported data format %1").arg(QString::fromLatin1(format));
        return std::nullopt;
    }
    ConvGeometry g;
    g.batch = input.shape[0];
    g.inH = input.shape[1];
    g.inW = input.shape[2];
    g.inC = input.shape[3];
    g.kH = kH;
    g.kW = kW;
    const std::vector<int64_t> strides = attrInts(node, "strides");
    const std::vector<int64_t> dilations = attrInts(node, "dilations");
    if (strides.size() == 4) {
        g.strideH = strides[1];
        g.strideW = strides[2];
    } else if (!strides.empty()) {
        *error = QStringLiteral("has malformed strides");
        return std::nullopt;
    }
    if (dilations.size() == 4) {
        g.dilationH = dilations[1];
        g.dilationW = dilations[2];
    }
    std::vector<int64_t> explicitPads = attrInts(node, "explicit_paddings");
    const QByteArray padding = attrString(node, "padding");
    if (padding == "EXPLICIT" && explicitPads.size() != 8) {
        *error = QStringLiteral("has malformed explicit paddings");
        return std::nullopt;
    }
    explicitPads.resize(8, 0);
    const auto y = window(g.inH, kH, g.strideH, g.dilationH, padding, explicitPads[2], explicitPads[3]);
    const auto x = window(g.inW, kW, g.strideW, g.dilationW, padding, explicitPads[4], explicitPads[5]);
    if (!y || !x || g.batch <= 0 || g.inC <= 0) {
        *error = QStringLiteral("cannot place a %1x%2 window on the input %3").arg(kH).arg(kW).arg(shapeText(input.shape));
        return std::nullopt;
    }
    g.y = *y;
    g.x = *x;
    return g;
}

// Gathers the input patches of output pixels [begin, end) into rows of kH*kW*inC values.
void im2col(const ConvGeometry& g, const float* input, int64_t begin, int64_t end, float* columns)
{
    const int64_t rowLength = g.kH * g.kW * g.inC;
    for (int64_t p = begin; p < end; ++p) {
        const int64_t n = p / (g.y.out * g.x.out);
        const int64_t oy = (p / g.x.out) % g.y.out;
        const int64_t ox = p % g.x.out;
        float* row = columns + (p - begin) * rowLength;
        for (int64_t ky = 0; ky < g.kH; ++ky) {
            const int64_t iy = oy * g.strideH - g.y.padBefore + ky * g.dilationH;
            for (int64_t kx = 0; kx < g.kW; ++kx) {
                const int64_t ix = ox * g.strideW - g.x.padBefore + kx * g.dilationW;
                float* target = row + (ky * g.kW + kx) * g.inC;
                if (iy < 0 || iy >= g.inH || ix < 0 || ix >= g.inW) {
                    std::fill(target, target + g.inC, 0.0f);
                } else {
                    const float* source = input + ((n * g.inH + iy) * g.inW + ix) * g.inC;
                    std::copy(source, source + g.inC, target);
                }
            }
        }
    }
}

KernelResult convolution(const NodeDef& node, const std::vector<TensorPtr>& inputs, bool fused)
{
    if (auto problem = expectInputs(inputs, fused ? 3 : 2, fused))
        return kernelError(problem->message);
    const Tensor& input = *inputs[0];
    const Tensor& filter = *inputs[1];
    if (filter.rank() != 4 || filter.dtype != DType::Float32)
        return kernelError(QStringLiteral("needs a 4-D float filter, has %1").arg(shapeText(filter.shape)));
    QString error;
    auto g = geometry(node, input, filter.shape[0], filter.shape[1], &error);
    if (!g)
        return kernelError(error);
    if (filter.shape[2] != g->inC)
        return kernelError(QStringLiteral("filter %1 does not fit input %2").arg(shapeText(filter.shape), shapeText(input.shape)));
    g->outC = filter.shape[3];

    Activation activation = Activation::None;
    const float* bias = nullptr;
    if (fused) {
        const auto parsed = fusedActivation(node, int(inputs.size()) - 2, &error);
        if (!parsed)
            return kernelError(error);
        activation = *parsed;
        const Tensor& biasTensor = *inputs[2];
        if (biasTensor.dtype != DType::Float32 || biasTensor.size() != g->outC)
            return kernelError(QStringLiteral("bias %1 does not fit %2 output channels").arg(shapeText(biasTensor.shape)).arg(g->outC));
        bias = biasTensor.f.data();
    }

    const Shape outShape{g->batch, g->y.out, g->x.out, g->outC};
    if (elementCount(outShape) < 0)
        return kernelError(QStringLiteral("the output would be too large"));
    Tensor output = Tensor::uninitialised(DType::Float32, outShape);
    const int64_t pixels = g->batch * g->y.out * g->x.out;
    const int64_t depth = g->kH * g->kW * g->inC;
    const bool pointwise = g->kH == 1 && g->kW == 1 && g->strideH == 1 && g->strideW == 1 && g->y.padBefore == 0
        && g->x.padBefore == 0 && g->y.out == g->inH && g->x.out == g->inW;
    const float* in = input.f.data();
    const float* weights = filter.f.data();
    float* out = output.f.data();
    // Rows per chunk keep the gathered patches within a few hundred kilobytes of cache.
    const int64_t grain = std::clamp<int64_t>(65536 / std::max<int64_t>(depth, 1), 16, 1024);
    parallelFor(pixels, grain, [&](int64_t begin, int64_t end) {
        if (pointwise) {
            gemm(in + begin * depth, weights, out + begin * g->outC, end - begin, depth, g->outC);
        } else {
            std::vector<float> columns(size_t((end - begin) * depth));
            im2col(*g, in, begin, end, columns.data());
            gemm(columns.data(), weights, out + begin * g->outC, end - begin, depth, g->outC);
        }
        applyBiasAndActivation(out + begin * g->outC, end - begin, g->outC, bias, activation);
    });
    std::vector<Tensor> result;
    result.push_back(std::move(output));
    return result;
}

KernelResult depthwise(const NodeDef& node, const std::vector<TensorPtr>& inputs, bool fused)
{
    if (auto problem = expectInputs(inputs, fused ? 3 : 2, fused))
        return kernelError(problem->message);
    const Tensor& input = *inputs[0];
    const Tensor& filter = *inputs[1];
    if (filter.rank() != 4 || filter.dtype != DType::Float32)
        return kernelError(QStringLiteral("needs a 4-D float filter, has %1").arg(shapeText(filter.shape)));
    QString error;
    auto g = geometry(node, input, filter.shape[0], filter.shape[1], &error);
    if (!g)
        return kernelError(error);
    const int64_t multiplier = filter.shape[3];
    if (filter.shape[2] != g->inC || multiplier <= 0)
        return kernelError(QStringLiteral("filter %1 does not fit input %2").arg(shapeText(filter.shape), shapeText(input.shape)));
    g->outC = g->inC * multiplier;

    Activation activation = Activation::None;
    const float* bias = nullptr;
    if (fused) {
        const auto parsed = fusedActivation(node, int(inputs.size()) - 2, &error);
        if (!parsed)
            return kernelError(error);
        activation = *parsed;
        const Tensor& biasTensor = *inputs[2];
        if (biasTensor.dtype != DType::Float32 || biasTensor.size() != g->outC)
            return kernelError(QStringLiteral("bias %1 does not fit %2 output channels").arg(shapeText(biasTensor.shape)).arg(g->outC));
        bias = biasTensor.f.data();
    }
    const Shape outShape{g->batch, g->y.out, g->x.out, g->outC};
    if (elementCount(outShape) < 0)
        return kernelError(QStringLiteral("the output would be too large"));
    Tensor output = Tensor::zeros(DType::Float32, outShape);
    const float* in = input.f.data();
    const float* weights = filter.f.data();
    float* out = output.f.data();
    const int64_t rows = g->batch * g->y.out;
    parallelFor(rows, 4, [&](int64_t begin, int64_t end) {
        for (int64_t row = begin; row < end; ++row) {
            const int64_t n = row / g->y.out;
            const int64_t oy = row % g->y.out;
            for (int64_t ox = 0; ox < g->x.out; ++ox) {
                float* target = out + ((n * g->y.out + oy) * g->x.out + ox) * g->outC;
                for (int64_t ky = 0; ky < g->kH; ++ky) {
                    const int64_t iy = oy * g->strideH - g->y.padBefore + ky * g->dilationH;
                    if (iy < 0 || iy >= g->inH)
                        continue;
                    for (int64_t kx = 0; kx < g->kW; ++kx) {
                        const int64_t ix = ox * g->strideW - g->x.padBefore + kx * g->dilationW;
                        if (ix < 0 || ix >= g->inW)
                            continue;
                        const float* source = in + ((n * g->inH + iy) * g->inW + ix) * g->inC;
                        const float* w = weights + (ky * g->kW + kx) * g->inC * multiplier;
                        if (multiplier == 1) {
                            for (int64_t c = 0; c < g->inC; ++c)
                                target[c] += source[c] * w[c];
                        } else {
                            for (int64_t c = 0; c < g->inC; ++c)
                                for (int64_t m = 0; m < multiplier; ++m)
                                    target[c * multiplier + m] += source[c] * w[c * multiplier + m];
                        }
                    }
                }
            }
            applyBiasAndActivation(out + row * g->x.out * g->outC, g->x.out, g->outC, bias, activation);
        }
    });
    std::vector<Tensor> result;
    result.push_back(std::move(output));
    return result;
}

} // namespace

KernelResult conv2D(const NodeDef& node, const std::vector<TensorPtr>& inputs)
{
    return convolution(node, inputs, false);
}

KernelResult fusedConv2D(const NodeDef& node, const std::vector<TensorPtr>& inputs)
{
    return convolution(node, inputs, true);
}

KernelResult depthwiseConv2D(const NodeDef& node, const std::vector<TensorPtr>& inputs)
{
    return depthwise(node, inputs, false);
}

KernelResult fusedDepthwiseConv2D(const NodeDef& node, const std::vector<TensorPtr>& inputs)
{
    return depthwise(node, inputs, true);
}

KernelResult maxPool(const NodeDef& node, const std::vector<TensorPtr>& inputs)
{
    if (auto problem = expectInputs(inputs, 1))
        return kernelError(problem->message);
    const std::vector<int64_t> ksize = attrInts(node, "ksize");
    if (ksize.size() != 4 || ksize[0] != 1 || ksize[3] != 1)
        return kernelError(QStringLiteral("has an unsupported pooling window"));
    const Tensor& input = *inputs[0];
    QString error;
    auto g = geometry(node, input, ksize[1], ksize[2], &error);
    if (!g)
        return kernelError(error);
    g->outC = g->inC;
    Tensor output = Tensor::uninitialised(DType::Float32, {g->batch, g->y.out, g->x.out, g->inC});
    const float* in = input.f.data();
    float* out = output.f.data();
    parallelFor(g->batch * g->y.out, 8, [&](int64_t begin, int64_t end) {
        for (int64_t row = begin; row < end; ++row) {
            const int64_t n = row / g->y.out;
            const int64_t oy = row % g->y.out;
            for (int64_t ox = 0; ox < g->x.out; ++ox) {
                float* target = out + (row * g->x.out + ox) * g->inC;
                std::fill(target, target + g->inC, -std::numeric_limits<float>::infinity());
                for (int64_t ky = 0; ky < g->kH; ++ky) {
                    const int64_t iy = oy * g->strideH - g->y.padBefore + ky;
                    if (iy < 0 || iy >= g->inH)
                        continue;
                    for (int64_t kx = 0; kx < g->kW; ++kx) {
                        const int64_t ix = ox * g->strideW - g->x.padBefore + kx;
                        if (ix < 0 || ix >= g->inW)
                            continue;
                        const float* source = in + ((n * g->inH + iy) * g->inW + ix) * g->inC;
                        for (int64_t c = 0; c < g->inC; ++c)
                            target[c] = std::max(target[c], source[c]);
                    }
                }
            }
        }
    });
    std::vector<Tensor> result;
    result.push_back(std::move(output));
    return result;
}

KernelResult fusedMatMul(const NodeDef& node, const std::vector<TensorPtr>& inputs)
{
    if (auto problem = expectInputs(inputs, 3, true))
        return kernelError(problem->message);
    const Tensor& a = *inputs[0];
    const Tensor& b = *inputs[1];
    if (a.rank() != 2 || b.rank() != 2 || a.dtype != DType::Float32 || b.dtype != DType::Float32)
        return kernelError(QStringLiteral("needs two float matrices, has %1 and %2").arg(shapeText(a.shape), shapeText(b.shape)));
    if (attrBool(node, "transpose_a", false))
        return kernelError(QStringLiteral("does not support a transposed left matrix"));
    const bool transposeB = attrBool(node, "transpose_b", false);
    const int64_t m = a.shape[0];
    const int64_t k = a.shape[1];
    const int64_t bRows = transposeB ? b.shape[1] : b.shape[0];
    const int64_t n = transposeB ? b.shape[0] : b.shape[1];
    if (bRows != k)
        return kernelError(QStringLiteral("cannot multiply %1 by %2").arg(shapeText(a.shape), shapeText(b.shape)));
    QString error;
    const auto activation = fusedActivation(node, int(inputs.size()) - 2, &error);
    if (!activation)
        return kernelError(error);
    const Tensor& bias = *inputs[2];
    if (bias.dtype != DType::Float32 || bias.size() != n)
        return kernelError(QStringLiteral("bias %1 does not fit %2 columns").arg(shapeText(bias.shape)).arg(n));
    Tensor output = Tensor::uninitialised(DType::Float32, {m, n});
    if (transposeB)
        gemmTransposedB(a.f.data(), b.f.data(), output.f.data(), m, k, n);
    else
        gemm(a.f.data(), b.f.data(), output.f.data(), m, k, n);
    applyBiasAndActivation(output.f.data(), m, n, bias.f.data(), *activation);
    std::vector<Tensor> result;
    result.push_back(std::move(output));
    return result;
}

} // namespace vesk::nn::detail
