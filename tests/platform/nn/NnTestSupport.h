#pragma once

#include "platform/nn/Kernels.h"
#include "platform/nn/Tensor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <initializer_list>

namespace vesk::nn::test {

inline TensorPtr floats(Shape shape, std::vector<float> values)
{
    return std::make_shared<const Tensor>(Tensor::floats(std::move(shape), std::move(values)));
}

inline TensorPtr ints(Shape shape, std::vector<int32_t> values)
{
    return std::make_shared<const Tensor>(Tensor::ints(std::move(shape), std::move(values)));
}

inline AttrValue listAttr(std::vector<int64_t> values)
{
    AttrValue attr;
    attr.kind = AttrValue::Kind::List;
    attr.ints = std::move(values);
    return attr;
}

inline AttrValue stringAttr(const char* text)
{
    AttrValue attr;
    attr.kind = AttrValue::Kind::String;
    attr.s = text;
    return attr;
}

inline AttrValue stringsAttr(std::initializer_list<const char*> texts)
{
    AttrValue attr;
    attr.kind = AttrValue::Kind::List;
    for (const char* text : texts)
        attr.strings.push_back(text);
    return attr;
}

inline AttrValue boolAttr(bool value)
{
    AttrValue attr;
    attr.kind = AttrValue::Kind::Bool;
    attr.b = value;
    return attr;
}

inline AttrValue intAttr(int64_t value)
{
    AttrValue attr;
    attr.kind = AttrValue::Kind::Int;
    attr.i = value;
    return attr;
}

inline AttrValue typeAttr(const char* type)
{
    AttrValue attr;
    attr.kind = AttrValue::Kind::Type;
    attr.type = QString::fromLatin1(type);
    return attr;
}

// Runs one operation and expects it to succeed with one output (or returns the failure text).
inline Tensor runOne(const QString& op, const std::vector<TensorPtr>& inputs, const NodeDef& node = {}, int output = 0)
{
    const Kernel kernel = findKernel(op);
    EXPECT_NE(kernel, nullptr) << op.toStdString();
    auto result = kernel(node, inputs);
    EXPECT_TRUE(result.hasValue()) << (result ? "" : result.error().message.toStdString());
    if (!result || int(result->size()) <= output)
        return {};
    return (*result)[size_t(output)];
}

inline QString failureOf(const QString& op, const std::vector<TensorPtr>& inputs, const NodeDef& node = {})
{
    auto result = findKernel(op)(node, inputs);
    return result ? QString() : result.error().message;
}

inline std::vector<float> values(const Tensor& tensor)
{
    return std::vector<float>(tensor.f.begin(), tensor.f.end());
}

inline std::vector<int32_t> intValues(const Tensor& tensor)
{
    return std::vector<int32_t>(tensor.i.begin(), tensor.i.end());
}

} // namespace vesk::nn::test
