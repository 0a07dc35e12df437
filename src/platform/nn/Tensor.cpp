#include "platform/nn/Tensor.h"

#include <QStringList>

namespace vesk::nn {

QString dtypeName(DType dtype)
{
    switch (dtype) {
    case DType::Float32:
        return QStringLiteral("float32");
    case DType::Int32:
        return QStringLiteral("int32");
    case DType::Bool:
        return QStringLiteral("bool");
    }
    return QStringLiteral("unknown");
}

int64_t elementCount(const Shape& shape)
{
    int64_t count = 1;
    for (int64_t dimension : shape) {
        if (dimension < 0)
            return -1;
        if (dimension != 0 && count > kMaxElements / dimension)
            return -1;
        count *= dimension;
    }
    return count;
}

QString shapeText(const Shape& shape)
{
    QStringList parts;
    for (int64_t dimension : shape)
        parts << QString::number(dimension);
    return QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
}

Tensor Tensor::floats(Shape shape, std::vector<float> values)
{
    Tensor tensor;
    tensor.dtype = DType::Float32;
    tensor.shape = std::move(shape);
    tensor.f.assign(values.begin(), values.end());
    return tensor;
}

Tensor Tensor::ints(Shape shape, std::vector<int32_t> values, DType dtype)
{
    Tensor tensor;
    tensor.dtype = dtype;
    tensor.shape = std::move(shape);
    tensor.i.assign(values.begin(), values.end());
    return tensor;
}

Tensor Tensor::zeros(DType dtype, Shape shape)
{
    Tensor tensor;
    tensor.dtype = dtype;
    const int64_t count = std::max<int64_t>(0, elementCount(shape));
    tensor.shape = std::move(shape);
    if (dtype == DType::Float32)
        tensor.f.assign(size_t(count), 0.0f);
    else
        tensor.i.assign(size_t(count), 0);
    return tensor;
}

} // namespace vesk::nn

namespace vesk::nn {

Tensor Tensor::uninitialised(DType dtype, Shape shape)
{
    Tensor tensor;
    tensor.dtype = dtype;
    const int64_t count = std::max<int64_t>(0, elementCount(shape));
    tensor.shape = std::move(shape);
    if (dtype == DType::Float32)
        tensor.f.resize(size_t(count));
    else
        tensor.i.resize(size_t(count));
    return tensor;
}

} // namespace vesk::nn
