// Operations that move values around: reshaping, slicing, gathering, padding, resizing and the
// top-k selection.
#include "platform/nn/Kernels.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace vesk::nn::detail {

namespace {

std::vector<Tensor> single(Tensor tensor)
{
    std::vector<Tensor> result;
    result.push_back(std::move(tensor));
    return result;
}

// Copies element `from` of source to element `to` of target (same dtype).
inline void copyElement(const Tensor& source, int64_t from, Tensor& target, int64_t to)
{
    if (source.dtype == DType::Float32)
        target.f[size_t(to)] = source.f[size_t(from)];
    else
        target.i[size_t(to)] = source.i[size_t(from)];
}

std::vector<int64_t> stridesOf(const Shape& shape)
{
    std::vector<int64_t> strides(shape.size(), 1);
    for (size_t k = shape.size(); k-- > 1;)
        strides[k - 1] = strides[k] * shape[k];
    return strides;
}

} // namespace

KernelResult identity(const NodeDef&, const std::vector<TensorPtr>& inputs)
{
    if (auto problem = expectInputs(inputs, 1))
        return kernelError(problem->message);
    return single(*inputs[0]);
}

KernelResult reshape(const NodeDef&, const std::vector<TensorPtr>& inputs)
{
    if (auto problem = expectInputs(inputs, 2))
        return kernelError(problem->message);
    const Tensor& input = *inputs[0];
    const auto requested = intValues(*inputs[1]);
    if (!requested || inputs[1]->rank() > 1)
        return kernelError(QStringLiteral("needs an integer shape"));
    Shape shape(requested->begin(), requested->end());
    int64_t known = 1;
    int inferred = -1;
    for (size_t k = 0; k < shape.size(); ++k) {
        if (shape[k] == -1) {
            if (inferred >= 0)
                return kernelError(QStringLiteral("has more than one inferred dimension"));
            inferred = int(k);
        } else if (shape[k] < 0) {
            return kernelError(QStringLiteral("has a negative dimension"));
        } else {
            known *= shape[k];
            if (known > kMaxElements)
                return kernelError(QStringLiteral("asks for a shape too large"));
        }
    }
    if (inferred >= 0) {
        if (known == 0 || input.size() % known != 0)
            return kernelError(QStringLiteral("cannot reshape %1 into %2").arg(shapeText(input.shape), shapeText(shape)));
        shape[size_t(inferred)] = input.size() / known;
    }
    if (elementCount(shape) != input.size())
        return kernelError(QStringLiteral("cannot reshape %1 into %2").arg(shapeText(input.shape), shapeText(shape)));
    Tensor output = input;
    output.shape = shape;
    return single(std::move(output));
}

KernelResult expandDims(const NodeDef&, const std::vector<TensorPtr>& inputs)
{
    if (auto problem = expectInputs(inputs, 2))
        return kernelError(problem->message);
    const auto dim = intValues(*inputs[1]);
    if (!dim || dim->size() != 1)
        return kernelError(QStringLiteral("needs one integer dimension"));
    const Tensor& input = *inputs[0];
    const auto axis = normaliseAxis((*dim)[0], input.rank() + 1);
    if (!axis)
        return kernelError(QStringLiteral("cannot insert a dimension at %1 of rank %2").arg((*dim)[0]).arg(input.rank()));
    Tensor output = input;
    output.shape.insert(output.shape.begin() + *axis, 1);
    return single(std::move(output));
}

KernelResult concatV2(const NodeDef&, const std::vector<TensorPtr>& inputs)
{
    if (inputs.size() < 2)
        return kernelError(QStringLiteral("needs at least one tensor and an axis"));
    const auto axisValue = intValues(*inputs.back());
    if (!axisValue || axisValue->size() != 1)
        return kernelError(QStringLiteral("needs one integer axis"));
    const Tensor& first = *inputs[0];
    const auto axis = normaliseAxis((*axisValue)[0], first.rank());
    if (!axis)
        return kernelError(QStringLiteral("has the axis %1 outside rank %2").arg((*axisValue)[0]).arg(first.rank()));
    Shape outShape = first.shape;
    outShape[size_t(*axis)] = 0;
    for (size_t k = 0; k + 1 < inputs.size(); ++k) {
        const Tensor& part = *inputs[k];
        if (part.dtype != first.dtype || part.rank() != first.rank())
            return kernelError(QStringLiteral("joins tensors of different types or ranks"));
        for (int d = 0; d < first.rank(); ++d) {
            if (d != *axis && part.shape[size_t(d)] != first.shape[size_t(d)])
                return kernelError(QStringLiteral("cannot join %1 with %2").arg(shapeText(first.shape), shapeText(part.shape)));
        }
        outShape[size_t(*axis)] += part.shape[size_t(*axis)];
    }
    if (elementCount(outShape) < 0)
        return kernelError(QStringLiteral("the output would be too large"));
    Tensor output = Tensor::uninitialised(first.dtype, outShape);
    int64_t outer = 1;
    for (int d = 0; d < *axis; ++d)
        outer *= outShape[size_t(d)];
    int64_t inner = 1;
    for (int d = *axis + 1; d < first.rank(); ++d)
        inner *= outShape[size_t(d)];
    const int64_t outRow = outShape[size_t(*axis)] * inner;
    int64_t offset = 0;
    for (size_t k = 0; k + 1 < inputs.size(); ++k) {
        const Tensor& part = *inputs[k];
        const int64_t partRow = part.shape[size_t(*axis)] * inner;
        for (int64_t o = 0; o < outer; ++o) {
            for (int64_t e = 0; e < partRow; ++e)
                copyElement(part, o * partRow + e, output, o * outRow + offset + e);
        }
        offset += partRow;
    }
    return single(std::move(output));
}

KernelResult stridedSlice(const NodeDef& node, const std::vector<TensorPtr>& inputs)
{
    if (auto problem = expectInputs(inputs, 4))
        return kernelError(problem->message);
    const Tensor& input = *inputs[0];
    const auto begin = intValues(*inputs[1]);
    const auto end = intValues(*inputs[2]);
    const auto steps = intValues(*inputs[3]);
    if (!begin || !end || !steps || begin->size() != end->size() || begin->size() != steps->size()
        || int(begin->size()) > input.rank())
        return kernelError(QStringLiteral("needs begin, end and strides of one length within the input's rank"));
    if (attrInt(node, "ellipsis_mask", 0) != 0 || attrInt(node, "new_axis_mask", 0) != 0)
        return kernelError(QStringLiteral("uses ellipsis or new-axis masks, which are not supported"));
    const int64_t beginMask = attrInt(node, "begin_mask", 0);
    const int64_t endMask = attrInt(node, "end_mask", 0);
    const int64_t shrinkMask = attrInt(node, "shrink_axis_mask", 0);

    const int rank = input.rank();
    std::vector<int64_t> starts(static_cast<size_t>(rank), 0), stepsOut(static_cast<size_t>(rank), 1),
        counts(static_cast<size_t>(rank), 0);
    Shape outShape;
    for (int d = 0; d < rank; ++d) {
        const int64_t size = input.shape[size_t(d)];
        if (d >= int(begin->size())) {
            counts[size_t(d)] = size;
            outShape.push_back(size);
            continue;
        }
        const int64_t step = (*steps)[size_t(d)];
        if (step == 0)
            return kernelError(QStringLiteral("has a zero stride"));
        const bool shrink = (shrinkMask >> d) & 1;
        int64_t b = (*begin)[size_t(d)];
        if (shrink) {
            if (b < 0)
                b += size;
            if (b < 0 || b >= size)
                return kernelError(QStringLiteral("takes index %1 of a dimension of %2").arg((*begin)[size_t(d)]).arg(size));
            starts[size_t(d)] = b;
            counts[size_t(d)] = 1;
            continue;
        }
        int64_t e = (*end)[size_t(d)];
        const int64_t low = step > 0 ? 0 : -1;
        const int64_t high = step > 0 ? size : size - 1;
        if ((beginMask >> d) & 1) {
            b = step > 0 ? low : high;
        } else {
            if (b < 0)
                b += size;
            b = std::clamp(b, low, high);
        }
        if ((endMask >> d) & 1) {
            e = step > 0 ? high : low;
        } else {
            if (e < 0)
                e += size;
            e = std::clamp(e, low, high);
        }
        const int64_t span = step > 0 ? e - b : b - e;
        const int64_t count = span <= 0 ? 0 : (span + std::abs(step) - 1) / std::abs(step);
        starts[size_t(d)] = b;
        stepsOut[size_t(d)] = step;
        counts[size_t(d)] = count;
        outShape.push_back(count);
    }
    Tensor output = Tensor::uninitialised(input.dtype, outShape);
    const std::vector<int64_t> strides = stridesOf(input.shape);
    const int64_t total = std::accumulate(counts.begin(), counts.end(), int64_t(1), std::multiplies<>());
    std::vector<int64_t> position(size_t(rank), 0);
    for (int64_t k = 0; k < total; ++k) {
        int64_t source = 0;
        for (int d = 0; d < rank; ++d)
            source += (starts[size_t(d)] + position[size_t(d)] * stepsOut[size_t(d)]) * strides[size_t(d)];
        copyElement(input, source, output, k);
        for (int d = rank; d-- > 0;) {
            if (++position[size_t(d)] < counts[size_t(d)])
                break;
            position[size_t(d)] = 0;
        }
    }
    return single(std::move(output));
}

KernelResult gatherV2(const NodeDef& node, const std::vector<TensorPtr>& inputs)
{
    if (auto problem = expectInputs(inputs, 3))
        return kernelError(problem->message);
    if (attrInt(node, "batch_dims", 0) != 0)
        return kernelError(QStringLiteral("uses batch dimensions, which are not supported"));
    const Tensor& params = *inputs[0];
    const auto indices = intValues(*inputs[1]);
    const auto axisValue = intValues(*inputs[2]);
    if (!indices || !axisValue || axisValue->size() != 1)
        return kernelError(QStringLiteral("needs integer indices and one integer axis"));
    const auto axis = normaliseAxis((*axisValue)[0], params.rank());
    if (!axis)
        return kernelError(QStringLiteral("has the axis %1 outside rank %2").arg((*axisValue)[0]).arg(params.rank()));
    const int64_t axisSize = params.shape[size_t(*axis)];
    for (int64_t index : *indices) {
        if (index < 0 || index >= axisSize)
            return kernelError(QStringLiteral("has the index %1 outside 0..%2").arg(index).arg(axisSize - 1));
    }
    Shape outShape(params.shape.begin(), params.shape.begin() + *axis);
    outShape.insert(outShape.end(), inputs[1]->shape.begin(), inputs[1]->shape.end());
    outShape.insert(outShape.end(), params.shape.begin() + *axis + 1, params.shape.end());
    if (elementCount(outShape) < 0)
        return kernelError(QStringLiteral("the output would be too large"));
    int64_t outer = 1;
    for (int d = 0; d < *axis; ++d)
        outer *= params.shape[size_t(d)];
    int64_t inner = 1;
    for (int d = *axis + 1; d < params.rank(); ++d)
        inner *= params.shape[size_t(d)];
    Tensor output = Tensor::uninitialised(params.dtype, outShape);
    int64_t target = 0;
    for (int64_t o = 0; o < outer; ++o) {
        for (int64_t index : *indices) {
            const int64_t source = (o * axisSize + index) * inner;
            for (int64_t e = 0; e < inner; ++e)
                copyElement(params, source + e, output, target++);
        }
    }
    return single(std::move(output));
}

KernelResult pad(const NodeDef&, const std::vector<TensorPtr>& inputs)
{
    if (auto problem = expectInputs(inputs, 2))
        return kernelError(problem->message);
    const Tensor& input = *inputs[0];
    const auto paddings = intValues(*inputs[1]);
    if (!paddings || int64_t(paddings->size()) != 2 * input.rank())
        return kernelError(QStringLiteral("needs a [rank, 2] integer padding"));
    Shape outShape = input.shape;
    for (int d = 0; d < input.rank(); ++d) {
        const int64_t before = (*paddings)[size_t(2 * d)];
        const int64_t after = (*paddings)[size_t(2 * d + 1)];
        if (before < 0 || after < 0 || before > kMaxElements || after > kMaxElements)
            return kernelError(QStringLiteral("has an impossible padding"));
        outShape[size_t(d)] += before + after;
    }
    if (elementCount(outShape) < 0)
        return kernelError(QStringLiteral("the output would be too large"));
    Tensor output = Tensor::zeros(input.dtype, outShape);
    const std::vector<int64_t> outStrides = stridesOf(outShape);
    const int rank = input.rank();
    std::vector<int64_t> position(size_t(rank), 0);
    for (int64_t k = 0; k < input.size(); ++k) {
        int64_t target = 0;
        for (int d = 0; d < rank; ++d)
            target += (position[size_t(d)] + (*paddings)[size_t(2 * d)]) * outStrides[size_t(d)];
        copyElement(input, k, output, target);
        for (int d = rank; d-- > 0;) {
            if (++position[size_t(d)] < input.shape[size_t(d)])
                break;
            position[size_t(d)] = 0;
        }
    }
    return single(std::move(output));
}

KernelResult topKV2(const NodeDef&, const std::vector<TensorPtr>& inputs)
{
    if (auto problem = expectInputs(inputs, 2))
        return kernelError(problem->message);
    const Tensor& input = *inputs[0];
    const auto kValue = intValues(*inputs[1]);
    if (input.dtype != DType::Float32 || input.rank() < 1 || !kValue || kValue->size() != 1)
        return kernelError(QStringLiteral("needs a float input and one integer k"));
    const int64_t width = input.shape.back();
    const int64_t k = (*kValue)[0];
    if (k < 0 || k > width)
        return kernelError(QStringLiteral("asks for the top %1 of %2 values").arg(k).arg(width));
    Shape outShape = input.shape;
    outShape.back() = k;
    Tensor values = Tensor::uninitialised(DType::Float32, outShape);
    Tensor indices = Tensor::uninitialised(DType::Int32, outShape);
    const int64_t rows = width == 0 ? 0 : input.size() / width;
    std::vector<int32_t> order(static_cast<size_t>(width));
    for (int64_t row = 0; row < rows; ++row) {
        const float* source = input.f.data() + row * width;
        std::iota(order.begin(), order.end(), 0);
        // Larger values first; equal values keep their original order.
        std::partial_sort(order.begin(), order.begin() + k, order.end(), [&](int32_t a, int32_t b) {
            return source[a] > source[b] || (source[a] == source[b] && a < b);
        });
        for (int64_t j = 0; j < k; ++j) {
            values.f[size_t(row * k + j)] = source[order[size_t(j)]];
            indices.i[size_t(row * k + j)] = order[size_t(j)];
        }
    }
    std::vector<Tensor> result;
    result.push_back(std::move(values));
    result.push_back(std::move(indices));
    return result;
}

KernelResult resizeBilinear(const NodeDef& node, const std::vector<TensorPtr>& inputs)
{
    if (auto problem = expectInputs(inputs, 2))
        return kernelError(problem->message);
    const Tensor& input = *inputs[0];
    const auto size = intValues(*inputs[1]);
    if (input.dtype != DType::Float32 || input.rank() != 4 || !size || size->size() != 2)
        return kernelError(QStringLiteral("needs a float NHWC input and a size of two integers"));
    const int64_t outH = (*size)[0];
    const int64_t outW = (*size)[1];
    const int64_t batch = input.shape[0], inH = input.shape[1], inW = input.shape[2], channels = input.shape[3];
    if (outH <= 0 || outW <= 0 || inH <= 0 || inW <= 0)
        return kernelError(QStringLiteral("cannot resize %1 to %2x%3").arg(shapeText(input.shape)).arg(outH).arg(outW));
    const Shape outShape{batch, outH, outW, channels};
    if (elementCount(outShape) < 0)
        return kernelError(QStringLiteral("the output would be too large"));
    const bool alignCorners = attrBool(node, "align_corners", false);
    const bool halfPixel = attrBool(node, "half_pixel_centers", false);
    const auto scaleOf = [&](int64_t in, int64_t out) {
        return alignCorners && out > 1 ? double(in - 1) / double(out - 1) : double(in) / double(out);
    };
    struct Tap {
        int64_t lower, upper;
        float fraction;
    };
    const auto taps = [&](int64_t in, int64_t out) {
        std::vector<Tap> result(static_cast<size_t>(out));
        const double scale = scaleOf(in, out);
        for (int64_t k = 0; k < out; ++k) {
            const double source = halfPixel ? (double(k) + 0.5) * scale - 0.5 : double(k) * scale;
            const double floorSource = std::floor(source);
            const int64_t lower = std::clamp<int64_t>(int64_t(floorSource), 0, in - 1);
            const int64_t upper = std::min<int64_t>(int64_t(std::ceil(source)), in - 1);
            result[size_t(k)] = {lower, std::max<int64_t>(upper, 0), float(source - floorSource)};
        }
        return result;
    };
    const std::vector<Tap> ys = taps(inH, outH);
    const std::vector<Tap> xs = taps(inW, outW);
    Tensor output = Tensor::uninitialised(DType::Float32, outShape);
    const float* in = input.f.data();
    float* out = output.f.data();
    for (int64_t n = 0; n < batch; ++n) {
        for (int64_t y = 0; y < outH; ++y) {
            const Tap& ty = ys[size_t(y)];
            for (int64_t x = 0; x < outW; ++x) {
                const Tap& tx = xs[size_t(x)];
                const float* topLeft = in + ((n * inH + ty.lower) * inW + tx.lower) * channels;
                const float* topRight = in + ((n * inH + ty.lower) * inW + tx.upper) * channels;
                const float* bottomLeft = in + ((n * inH + ty.upper) * inW + tx.lower) * channels;
                const float* bottomRight = in + ((n * inH + ty.upper) * inW + tx.upper) * channels;
                float* target = out + ((n * outH + y) * outW + x) * channels;
                for (int64_t c = 0; c < channels; ++c) {
                    const float top = topLeft[c] + (topRight[c] - topLeft[c]) * tx.fraction;
                    const float bottom = bottomLeft[c] + (bottomRight[c] - bottomLeft[c]) * tx.fraction;
                    target[c] = top + (bottom - top) * ty.fraction;
                }
            }
        }
    }
    return single(std::move(output));
}

} // namespace vesk::nn::detail
