#include "platform/nn/Kernels.h"

#include <QHash>
#include <QStringList>
#include <algorithm>

namespace vesk::nn {

namespace {

const QHash<QString, Kernel>& registry()
{
    using namespace detail;
    static const QHash<QString, Kernel> kernels{
        {QStringLiteral("Conv2D"), conv2D},
        {QStringLiteral("_FusedConv2D"), fusedConv2D},
        {QStringLiteral("DepthwiseConv2dNative"), depthwiseConv2D},
        {QStringLiteral("FusedDepthwiseConv2dNative"), fusedDepthwiseConv2D},
        {QStringLiteral("_FusedMatMul"), fusedMatMul},
        {QStringLiteral("MaxPool"), maxPool},
        {QStringLiteral("Add"), add},
        {QStringLiteral("AddV2"), add},
        {QStringLiteral("Sub"), sub},
        {QStringLiteral("Mul"), mul},
        {QStringLiteral("Maximum"), maximum},
        {QStringLiteral("Minimum"), minimum},
        {QStringLiteral("FloorDiv"), floorDiv},
        {QStringLiteral("FloorMod"), floorMod},
        {QStringLiteral("Equal"), equal},
        {QStringLiteral("Relu"), relu},
        {QStringLiteral("Relu6"), relu6},
        {QStringLiteral("Sigmoid"), sigmoid},
        {QStringLiteral("Softmax"), softmax},
        {QStringLiteral("Cast"), cast},
        {QStringLiteral("Mean"), mean},
        {QStringLiteral("Identity"), identity},
        {QStringLiteral("Reshape"), reshape},
        {QStringLiteral("ExpandDims"), expandDims},
        {QStringLiteral("ConcatV2"), concatV2},
        {QStringLiteral("StridedSlice"), stridedSlice},
        {QStringLiteral("GatherV2"), gatherV2},
        {QStringLiteral("Pad"), pad},
        {QStringLiteral("TopKV2"), topKV2},
        {QStringLiteral("ResizeBilinear"), resizeBilinear},
    };
    return kernels;
}

} // namespace

Kernel findKernel(const QString& op)
{
    return registry().value(op, nullptr);
}

namespace detail {

Unexpected<NnError> kernelError(const QString& message)
{
    return unexpected(NnError{message});
}

std::vector<int64_t> attrInts(const NodeDef& node, const char* name)
{
    const auto it = node.attrs.constFind(QLatin1String(name));
    return it == node.attrs.cend() ? std::vector<int64_t>{} : it->ints;
}

QByteArray attrString(const NodeDef& node, const char* name)
{
    const auto it = node.attrs.constFind(QLatin1String(name));
    return it == node.attrs.cend() ? QByteArray() : it->s;
}

bool attrBool(const NodeDef& node, const char* name, bool fallback)
{
    const auto it = node.attrs.constFind(QLatin1String(name));
    return it == node.attrs.cend() || it->kind != AttrValue::Kind::Bool ? fallback : it->b;
}

int64_t attrInt(const NodeDef& node, const char* name, int64_t fallback)
{
    const auto it = node.attrs.constFind(QLatin1String(name));
    return it == node.attrs.cend() || it->kind != AttrValue::Kind::Int ? fallback : it->i;
}

std::vector<QByteArray> attrStrings(const NodeDef& node, const char* name)
{
    const auto it = node.attrs.constFind(QLatin1String(name));
    return it == node.attrs.cend() ? std::vector<QByteArray>{} : it->strings;
}

std::optional<NnError> expectInputs(const std::vector<TensorPtr>& inputs, size_t count, bool atLeast)
{
    if (inputs.size() == count || (atLeast && inputs.size() > count))
        return std::nullopt;
    return NnError{QStringLiteral("expects %1%2 inputs, has %3")
                       .arg(atLeast ? QStringLiteral("at least ") : QString())
                       .arg(count)
                       .arg(inputs.size())};
}

std::optional<std::vector<int64_t>> intValues(const Tensor& tensor)
{
    if (tensor.dtype != DType::Int32 || int64_t(tensor.i.size()) != tensor.size())
        return std::nullopt;
    return std::vector<int64_t>(tensor.i.begin(), tensor.i.end());
}

std::optional<int> normaliseAxis(int64_t axis, int rank)
{
    if (axis < -rank || axis >= rank)
        return std::nullopt;
    return int(axis < 0 ? axis + rank : axis);
}

std::optional<Activation> fusedActivation(const NodeDef& node, int biasArgs, QString* error)
{
    const std::vector<QByteArray> ops = attrStrings(node, "fused_ops");
    if (ops.empty() || ops.front() != "BiasAdd" || biasArgs != 1 || ops.size() > 2) {
        *error = QStringLiteral("has unsupported fused operations");
        return std::nullopt;
    }
    if (ops.size() == 1)
        return Activation::None;
    if (ops[1] == "Relu")
        return Activation::Relu;
    if (ops[1] == "Relu6")
        return Activation::Relu6;
    *error = QStringLiteral("has the unsupported fused activation %1").arg(QString::fromLatin1(ops[1]));
    return std::nullopt;
}

void applyBiasAndActivation(float* values, int64_t rows, int64_t channels, const float* bias, Activation activation)
{
    for (int64_t r = 0; r < rows; ++r) {
        float* row = values + r * channels;
        if (bias) {
            for (int64_t c = 0; c < channels; ++c)
                row[c] += bias[c];
        }
        if (activation == Activation::Relu) {
            for (int64_t c = 0; c < channels; ++c)
                row[c] = std::max(row[c], 0.0f);
        } else if (activation == Activation::Relu6) {
            for (int64_t c = 0; c < channels; ++c)
                row[c] = std::min(std::max(row[c], 0.0f), 6.0f);
        }
    }
}

} // namespace detail

} // namespace vesk::nn
