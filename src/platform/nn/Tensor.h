#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace vesk::nn {

// What went wrong while reading or running a model, in words a log line can carry.
struct NnError {
    QString message;
    bool stopped = false; // the run was asked to stop (see StopScope): nothing went wrong
};

enum class DType { Float32, Int32, Bool };

QString dtypeName(DType dtype);

using Shape = std::vector<int64_t>;

// Allocates like std::allocator but leaves new elements uninitialised: kernels write every
// element of their outputs, so zero-filling them first would only cost time.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* pointer) noexcept { ::new (static_cast<void*>(pointer)) U; }
    template <typename U, typename... Args>
    void construct(U* pointer, Args&&... args) { ::new (static_cast<void*>(pointer)) U(std::forward<Args>(args)...); }
};

using FloatBuffer = std::vector<float, UninitialisedAllocator<float>>;
using IntBuffer = std::vector<int32_t, UninitialisedAllocator<int32_t>>;

// Elements a shape holds; -1 when a dimension is negative or the count would overflow the limit
// the runtime accepts.
int64_t elementCount(const Shape& shape);
QString shapeText(const Shape& shape);

// The largest tensor the runtime creates or accepts from a file (1 GiB of floats).
inline constexpr int64_t kMaxElements = int64_t(1) << 28;

// A dense tensor in row-major order (NHWC for images). Floats live in `f`; integers and booleans
// (0 or 1) live in `i`.
struct Tensor {
    DType dtype = DType::Float32;
    Shape shape;
    FloatBuffer f;
    IntBuffer i;

    int64_t size() const { return elementCount(shape); }
    int rank() const { return int(shape.size()); }

    static Tensor floats(Shape shape, std::vector<float> values);
    static Tensor ints(Shape shape, std::vector<int32_t> values, DType dtype = DType::Int32);
    // A tensor of the shape with every element zero.
    static Tensor zeros(DType dtype, Shape shape);
    // A tensor of the shape whose elements the caller will all write.
    static Tensor uninitialised(DType dtype, Shape shape);
};

using TensorPtr = std::shared_ptr<const Tensor>;

} // namespace vesk::nn
