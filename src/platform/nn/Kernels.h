#pragma once

#include "platform/Expected.h"
#include "platform/nn/ModelFile.h"
#include "platform/nn/Tensor.h"

#include <vector>

namespace vesk::nn {

// One operation of the graph: its node (attributes) and its input tensors in, its output tensors
// out. A kernel checks every shape and attribute it relies on and reports a mismatch as an error.
using KernelResult = Expected<std::vector<Tensor>, NnError>;
using Kernel = KernelResult (*)(const NodeDef& node, const std::vector<TensorPtr>& inputs);

// The kernel for an operation name, or nullptr when the runtime does not know the operation.
// Const and Placeholder have no kernel: the graph gives their values itself.
Kernel findKernel(const QString& op);

namespace detail {

Unexpected<NnError> kernelError(const QString& message);

// Attribute access with the defaults the TensorFlow operations use.
std::vector<int64_t> attrInts(const NodeDef& node, const char* name);
QByteArray attrString(const NodeDef& node, const char* name);
bool attrBool(const NodeDef& node, const char* name, bool fallback);
int64_t attrInt(const NodeDef& node, const char* name, int64_t fallback);
std::vector<QByteArray> attrStrings(const NodeDef& node, const char* name);

// Checks that exactly `count` inputs (or at least `count` when `atLeast`) are present.
std::optional<NnError> expectInputs(const std::vector<TensorPtr>& inputs, size_t count, bool atLeast = false);

// An integer tensor read as a list of values (for shapes, axes, paddings).
std::optional<std::vector<int64_t>> intValues(const Tensor& tensor);

// Normalises an axis against a rank (negative axes count from the end); nothing when out of range.
std::optional<int> normaliseAxis(int64_t axis, int rank);

// Applies the activation named in fused_ops after BiasAdd ("Relu", "Relu6") to a range of values.
enum class Activation { None, Relu, Relu6 };
std::optional<Activation> fusedActivation(const NodeDef& node, int biasArgs, QString* error);
void applyBiasAndActivation(float* values, int64_t rows, int64_t channels, const float* bias, Activation activation);

// Kernels by family, registered in Kernels.cpp.
KernelResult conv2D(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult fusedConv2D(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult depthwiseConv2D(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult fusedDepthwiseConv2D(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult fusedMatMul(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult maxPool(const NodeDef&, const std::vector<TensorPtr>&);

KernelResult add(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult sub(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult mul(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult maximum(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult minimum(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult floorDiv(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult floorMod(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult equal(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult relu(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult relu6(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult sigmoid(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult softmax(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult cast(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult mean(const NodeDef&, const std::vector<TensorPtr>&);

KernelResult identity(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult reshape(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult expandDims(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult concatV2(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult stridedSlice(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult gatherV2(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult pad(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult topKV2(const NodeDef&, const std::vector<TensorPtr>&);
KernelResult resizeBilinear(const NodeDef&, const std::vector<TensorPtr>&);

} // namespace detail

} // namespace vesk::nn
