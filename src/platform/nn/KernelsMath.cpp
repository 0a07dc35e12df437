// Element-wise arithmetic with broadcasting, activations, casts and reductions.
#include "platform/nn/Kernels.h"
#include "platform/nn/ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vesk::nn::detail {

namespace {

// The broadcast shape of two shapes (NumPy rules), or nothing when they do not broadcast.
std::optional<Shape> broadcastShape(const Shape& a, const Shape& b)
{
    const size_t rank = std::max(a.size(), b.size());
    Shape out(rank, 1);
    for (size_t k = 0; k < rank; ++k) {
        const int64_t da = k < rank - a.size() ? 1 : a[k - (rank - a.size())];
        const int64_t db = k < rank - b.size() ? 1 : b[k - (rank - b.size())];
        if (da != db && da != 1 && db != 1)
            return std::nullopt;
        out[k] = da == 1 ? db : da;
    }
    return out;
}

// Strides of `shape` aligned to an output of rank `rank`, with 0 along broadcast dimensions.
std::vector<int64_t> broadcastStrides(const Shape& shape, const Shape& out)
{
    const size_t rank = out.size();
    std::vector<int64_t> strides(rank, 0);
    int64_t stride = 1;
    for (size_t k = shape.size(); k-- > 0;) {
        const size_t axis = k + (rank - shape.size());
        strides[axis] = shape[k] == 1 ? 0 : stride;
        stride *= shape[k];
    }
    return strides;
}

// True when `shape`, broadcast to `out`, is the same block of values repeated: its elements match
// the trailing axes of the output exactly.
bool repeatsAlongLeadingAxes(const Shape& shape, const Shape& out)
{
    const int64_t size = elementCount(shape);
    if (size <= 0)
        return false;
    const std::vector<int64_t> strides = broadcastStrides(shape, out);
    int64_t inner = 1;
    for (size_t k = out.size(); k-- > 0 && inner < size;) {
        if (strides[k] == 0 && out[k] != 1)
            return false;
        inner *= out[k];
    }
    return inner == size;
}

// Calls visit(outIndex, aIndex, bIndex) for every element of the broadcast output.
// With `parallel`, visits may run on several threads at once (each output index exactly once).
template <typename Visit>
void forEachBroadcast(const Shape& aShape, const Shape& bShape, const Shape& out, bool parallel, Visit&& visit)
{
    const int64_t total = elementCount(out);
    const auto run = [&](auto&& body) {
        if (parallel && total >= 32768)
            parallelFor(total, 16384, [&](int64_t begin, int64_t end) { body(begin, end); });
        else
            body(0, total);
    };
    const int64_t aSize = elementCount(aShape);
    const int64_t bSize = elementCount(bShape);
    if (aShape == bShape) {
        run([&](int64_t begin, int64_t end) {
            for (int64_t k = begin; k < end; ++k)
                visit(k, k, k);
        });
        return;
    }
    if (bSize == 1 && aSize == total) {
        run([&](int64_t begin, int64_t end) {
            for (int64_t k = begin; k < end; ++k)
                visit(k, k, 0);
        });
        return;
    }
    if (aSize == 1 && bSize == total) {
        run([&](int64_t begin, int64_t end) {
            for (int64_t k = begin; k < end; ++k)
                visit(k, 0, k);
        });
        return;
    }
    // The common per-channel case: one side repeats along the leading dimensions.
    if (aSize == total && repeatsAlongLeadingAxes(bShape, out)) {
        run([&](int64_t begin, int64_t end) {
            for (int64_t k = begin; k < end; ++k)
                visit(k, k, k % bSize);
        });
        return;
    }
    if (bSize == total && repeatsAlongLeadingAxes(aShape, out)) {
        run([&](int64_t begin, int64_t end) {
            for (int64_t k = begin; k < end; ++k)
                visit(k, k % aSize, k);
        });
        return;
    }
    const std::vector<int64_t> aStrides = broadcastStrides(aShape, out);
    const std::vector<int64_t> bStrides = broadcastStrides(bShape, out);
    const size_t rank = out.size();
    std::vector<int64_t> position(rank, 0);
    int64_t ai = 0;
    int64_t bi = 0;
    for (int64_t k = 0; k < total; ++k) {
        visit(k, ai, bi);
        for (size_t axis = rank; axis-- > 0;) {
            ++position[axis];
            ai += aStrides[axis];
            bi += bStrides[axis];
            if (position[axis] < out[axis])
                break;
            ai -= aStrides[axis] * out[axis];
            bi -= bStrides[axis] * out[axis];
            position[axis] = 0;
        }
    }
}

enum class BinaryOp { Add, Sub, Mul, Maximum, Minimum, FloorDiv, FloorMod, Equal };

template <BinaryOp op>
inline float applyFloat(float a, float b)
{
    switch (op) {
    case BinaryOp::Add:
        return a + b;
    case BinaryOp::Sub:
        return a - b;
    case BinaryOp::Mul:
        return a * b;
    case BinaryOp::Maximum:
        return std::isnan(a) || std::isnan(b) ? std::numeric_limits<float>::quiet_NaN() : std::max(a, b);
    case BinaryOp::Minimum:
        return std::isnan(a) || std::isnan(b) ? std::numeric_limits<float>::quiet_NaN() : std::min(a, b);
    case BinaryOp::FloorDiv:
        return std::floor(a / b);
    case BinaryOp::FloorMod: {
        const float r = std::fmod(a, b);
        return (r != 0 && ((r < 0) != (b < 0))) ? r + b : r;
    }
    case BinaryOp::Equal:
        return a == b ? 1.0f : 0.0f;
    }
    return 0;
}

// Integer arithmetic wraps like the 32-bit hardware does instead of overflowing into undefined
// behaviour; division by zero is reported by the caller before it gets here.
template <BinaryOp op>
inline int32_t applyInt(int32_t a, int32_t b)
{
    const auto wrap = [](int64_t value) { return int32_t(uint32_t(uint64_t(value))); };
    switch (op) {
    case BinaryOp::Add:
        return wrap(int64_t(a) + b);
    case BinaryOp::Sub:
        return wrap(int64_t(a) - b);
    case BinaryOp::Mul:
        return wrap(int64_t(a) * b);
    case BinaryOp::Maximum:
        return std::max(a, b);
    case BinaryOp::Minimum:
        return std::min(a, b);
    case BinaryOp::FloorDiv: {
        const int64_t q = int64_t(a) / b;
        return wrap((int64_t(a) % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q);
    }
    case BinaryOp::FloorMod: {
        const int64_t r = int64_t(a) % b;
        return wrap((r != 0 && ((r < 0) != (b < 0))) ? r + b : r);
    }
    case BinaryOp::Equal:
        return a == b ? 1 : 0;
    }
    return 0;
}

template <BinaryOp op>
KernelResult binary(const std::vector<TensorPtr>& inputs)
{
    if (auto problem = expectInputs(inputs, 2))
        return kernelError(problem->message);
    const Tensor& a = *inputs[0];
    const Tensor& b = *inputs[1];
    if (a.dtype != b.dtype)
        return kernelError(QStringLiteral("mixes %1 and %2").arg(dtypeName(a.dtype), dtypeName(b.dtype)));
    if (a.dtype == DType::Bool && op != BinaryOp::Equal)
        return kernelError(QStringLiteral("cannot do arithmetic on booleans"));
    const auto shape = broadcastShape(a.shape, b.shape);
    if (!shape || elementCount(*shape) < 0)
        return kernelError(QStringLiteral("cannot broadcast %1 with %2").arg(shapeText(a.shape), shapeText(b.shape)));
    const bool isFloat = a.dtype == DType::Float32;
    if (!isFloat && (op == BinaryOp::FloorDiv || op == BinaryOp::FloorMod)
        && std::find(b.i.begin(), b.i.end(), 0) != b.i.end())
        return kernelError(QStringLiteral("divides an integer by zero"));
    const DType outType = op == BinaryOp::Equal ? DType::Bool : a.dtype;
    Tensor output = Tensor::uninitialised(outType, *shape);
    if (isFloat) {
        const float* pa = a.f.data();
        const float* pb = b.f.data();
        if (outType == DType::Float32) {
            float* out = output.f.data();
            forEachBroadcast(a.shape, b.shape, *shape, true, [&](int64_t k, int64_t ia, int64_t ib) {
                out[k] = applyFloat<op>(pa[ia], pb[ib]);
            });
        } else {
            int32_t* out = output.i.data();
            forEachBroadcast(a.shape, b.shape, *shape, true, [&](int64_t k, int64_t ia, int64_t ib) {
                out[k] = int32_t(applyFloat<op>(pa[ia], pb[ib]));
            });
        }
    } else {
        const int32_t* pa = a.i.data();
        const int32_t* pb = b.i.data();
        int32_t* out = output.i.data();
        forEachBroadcast(a.shape, b.shape, *shape, true, [&](int64_t k, int64_t ia, int64_t ib) {
            out[k] = applyInt<op>(pa[ia], pb[ib]);
        });
    }
    std::vector<Tensor> result;
    result.push_back(std::move(output));
    return result;
}

template <typename Function>
KernelResult unaryFloat(const std::vector<TensorPtr>& inputs, Function&& function)
{
    if (auto problem = expectInputs(inputs, 1))
        return kernelError(problem->message);
    const Tensor& input = *inputs[0];
    if (input.dtype != DType::Float32)
        return kernelError(QStringLiteral("needs a float input, has %1").arg(dtypeName(input.dtype)));
    Tensor output = input;
    for (float& value : output.f)
        value = function(value);
    std::vector<Tensor> result;
    result.push_back(std::move(output));
    return result;
}

} // namespace

KernelResult add(const NodeDef&, const std::vector<TensorPtr>& inputs) { return binary<BinaryOp::Add>(inputs); }
KernelResult sub(const NodeDef&, const std::vector<TensorPtr>& inputs) { return binary<BinaryOp::Sub>(inputs); }
KernelResult mul(const NodeDef&, const std::vector<TensorPtr>& inputs) { return binary<BinaryOp::Mul>(inputs); }
KernelResult maximum(const NodeDef&, const std::vector<TensorPtr>& inputs) { return binary<BinaryOp::Maximum>(inputs); }
KernelResult minimum(const NodeDef&, const std::vector<TensorPtr>& inputs) { return binary<BinaryOp::Minimum>(inputs); }
KernelResult floorDiv(const NodeDef&, const std::vector<TensorPtr>& inputs) { return binary<BinaryOp::FloorDiv>(inputs); }
KernelResult floorMod(const NodeDef&, const std::vector<TensorPtr>& inputs) { return binary<BinaryOp::FloorMod>(inputs); }
KernelResult equal(const NodeDef&, const std::vector<TensorPtr>& inputs) { return binary<BinaryOp::Equal>(inputs); }

KernelResult relu(const NodeDef&, const std::vector<TensorPtr>& inputs)
{
    return unaryFloat(inputs, [](float x) { return x < 0 ? 0.0f : x; });
}

KernelResult relu6(const NodeDef&, const std::vector<TensorPtr>& inputs)
{
    return unaryFloat(inputs, [](float x) { return x < 0 ? 0.0f : (x > 6 ? 6.0f : x); });
}

KernelResult sigmoid(const NodeDef&, const std::vector<TensorPtr>& inputs)
{
    return unaryFloat(inputs, [](float x) { return 1.0f / (1.0f + std::exp(-x)); });
}

KernelResult softmax(const NodeDef&, const std::vector<TensorPtr>& inputs)
{
    if (auto problem = expectInputs(inputs, 1))
        return kernelError(problem->message);
    const Tensor& input = *inputs[0];
    if (input.dtype != DType::Float32 || input.rank() < 1 || input.shape.back() <= 0)
        return kernelError(QStringLiteral("needs a non-empty float input, has %1").arg(shapeText(input.shape)));
    Tensor output = input;
    const int64_t width = input.shape.back();
    const int64_t rows = input.size() / width;
    for (int64_t row = 0; row < rows; ++row) {
        float* values = output.f.data() + row * width;
        const float largest = *std::max_element(values, values + width);
        double sum = 0;
        for (int64_t k = 0; k < width; ++k) {
            values[k] = std::exp(values[k] - largest);
            sum += values[k];
        }
        for (int64_t k = 0; k < width; ++k)
            values[k] = float(values[k] / sum);
    }
    std::vector<Tensor> result;
    result.push_back(std::move(output));
    return result;
}

KernelResult cast(const NodeDef& node, const std::vector<TensorPtr>& inputs)
{
    if (auto problem = expectInputs(inputs, 1))
        return kernelError(problem->message);
    const Tensor& input = *inputs[0];
    const auto it = node.attrs.constFind(QStringLiteral("DstT"));
    if (it == node.attrs.cend())
        return kernelError(QStringLiteral("has no target type"));
    DType target;
    if (it->type == QLatin1String("DT_FLOAT"))
        target = DType::Float32;
    else if (it->type == QLatin1String("DT_INT32"))
        target = DType::Int32;
    else if (it->type == QLatin1String("DT_BOOL"))
        target = DType::Bool;
    else
        return kernelError(QStringLiteral("cannot cast to %1").arg(it->type));
    Tensor output = Tensor::uninitialised(target, input.shape);
    const int64_t count = input.size();
    for (int64_t k = 0; k < count; ++k) {
        const double value = input.dtype == DType::Float32 ? double(input.f[size_t(k)]) : double(input.i[size_t(k)]);
        if (target == DType::Float32) {
            output.f[size_t(k)] = float(value);
        } else if (target == DType::Bool) {
            output.i[size_t(k)] = value != 0 ? 1 : 0;
        } else {
            // Truncation toward zero; values outside int32 (and NaN) are clamped, never undefined.
            const double clamped = std::isnan(value) ? 0.0 : std::clamp(std::trunc(value), -2147483648.0, 2147483647.0);
            output.i[size_t(k)] = int32_t(clamped);
        }
    }
    std::vector<Tensor> result;
    result.push_back(std::move(output));
    return result;
}

KernelResult mean(const NodeDef& node, const std::vector<TensorPtr>& inputs)
{
    if (auto problem = expectInputs(inputs, 2))
        return kernelError(problem->message);
    const Tensor& input = *inputs[0];
    if (input.dtype != DType::Float32)
        return kernelError(QStringLiteral("needs a float input"));
    const auto axesValues = intValues(*inputs[1]);
    if (!axesValues)
        return kernelError(QStringLiteral("needs integer reduction axes"));
    const int rank = input.rank();
    std::vector<bool> reduced(size_t(rank), false);
    for (int64_t axis : *axesValues) {
        const auto normalised = normaliseAxis(axis, rank);
        if (!normalised)
            return kernelError(QStringLiteral("has the axis %1 outside rank %2").arg(axis).arg(rank));
        reduced[size_t(*normalised)] = true;
    }
    const bool keepDims = attrBool(node, "keep_dims", false);
    Shape outShape;
    Shape fullShape; // the output with reduced axes kept as 1, for index arithmetic
    int64_t reducedCount = 1;
    for (int k = 0; k < rank; ++k) {
        if (reduced[size_t(k)]) {
            reducedCount *= input.shape[size_t(k)];
            fullShape.push_back(1);
            if (keepDims)
                outShape.push_back(1);
        } else {
            fullShape.push_back(input.shape[size_t(k)]);
            outShape.push_back(input.shape[size_t(k)]);
        }
    }
    if (reducedCount == 0)
        return kernelError(QStringLiteral("reduces over an empty axis"));
    Tensor output = Tensor::uninitialised(DType::Float32, outShape);
    std::vector<double> sums(size_t(elementCount(fullShape)), 0.0);
    // Every input element adds to the output element it reduces onto; the walk reuses the
    // broadcasting iterator with the output's strides zeroed along the reduced axes.
    const float* in = input.f.data();
    forEachBroadcast(input.shape, fullShape, input.shape, false,
                     [&](int64_t, int64_t inIndex, int64_t outIndex) { sums[size_t(outIndex)] += in[inIndex]; });
    for (size_t k = 0; k < sums.size(); ++k)
        output.f[k] = float(sums[k] / double(reducedCount));
    std::vector<Tensor> result;
    result.push_back(std::move(output));
    return result;
}

} // namespace vesk::nn::detail
