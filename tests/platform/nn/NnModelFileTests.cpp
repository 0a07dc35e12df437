// Reading graph models: what a valid file gives, and that every kind of damage is a clear error.
#include "platform/nn/GraphModel.h"
#include "platform/nn/ModelFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

using namespace vesk::nn;

namespace {

// A two-node model: y = x * w, with w a [2] float weight stored as `storedAs`.
QJsonObject scaleModel(const QJsonObject& weightSpec = {})
{
    QJsonObject input{{"name", "x"}, {"op", "Placeholder"},
                      {"attr", QJsonObject{{"dtype", QJsonObject{{"type", "DT_FLOAT"}}},
                                           {"shape", QJsonObject{{"shape", QJsonObject{{"dim", QJsonArray{QJsonObject{{"size", "-1"}}, QJsonObject{{"size", "2"}}}}}}}}}}};
    QJsonObject weight{{"name", "w"}, {"op", "Const"}};
    QJsonObject mul{{"name", "y"}, {"op", "Mul"}, {"input", QJsonArray{"x", "w"}}};
    QJsonObject spec = weightSpec.isEmpty() ? QJsonObject{{"name", "w"}, {"shape", QJsonArray{2}}, {"dtype", "float32"}} : weightSpec;
    return QJsonObject{{"format", "graph-model"},
                       {"modelTopology", QJsonObject{{"node", QJsonArray{input, weight, mul}}}},
                       {"weightsManifest", QJsonArray{QJsonObject{{"paths", QJsonArray{"w.bin"}}, {"weights", QJsonArray{spec}}}}}};
}

QByteArray floatBytes(std::initializer_list<float> values)
{
    QByteArray bytes;
    for (float value : values)
        bytes.append(reinterpret_cast<const char*>(&value), 4);
    return bytes;
}

vesk::Expected<ModelDefinition, NnError> parse(const QJsonObject& model, const QByteArray& weights)
{
    return parseModelDefinition(QJsonDocument(model).toJson(), [&](const QString& name, qint64) -> std::optional<QByteArray> {
        if (name != QLatin1String("w.bin"))
            return std::nullopt;
        return weights;
    });
}

QString parseError(const QJsonObject& model, const QByteArray& weights)
{
    auto result = parse(model, weights);
    return result ? QString() : result.error().message;
}

} // namespace

TEST(NnModelFile, ReadsGraphAndWeightsAndRuns)
{
    auto definition = parse(scaleModel(), floatBytes({2, -3}));
    ASSERT_TRUE(definition.hasValue()) << definition.error().message.toStdString();
    auto model = GraphModel::fromDefinition(std::move(*definition));
    ASSERT_TRUE(model.hasValue()) << model.error().message.toStdString();
    EXPECT_EQ(model->inputNames(), QStringList{"x"});
    EXPECT_EQ(model->inputShape("x"), (Shape{-1, 2}));
    auto out = model->run({{"x", Tensor::floats({2, 2}, {1, 1, 10, 100})}}, {"y"});
    ASSERT_TRUE(out.hasValue()) << out.error().message.toStdString();
    EXPECT_EQ(std::vector<float>(out->front().f.begin(), out->front().f.end()), (std::vector<float>{2, -3, 20, -300}));
}

TEST(NnModelFile, DecodesQuantisedWeights)
{
    // float16: 1.0 = 0x3C00, -2.5 = 0xC100; subnormal 0x0001 = 2^-24.
    QJsonObject half{{"name", "w"}, {"shape", QJsonArray{2}}, {"dtype", "float32"},
                     {"quantization", QJsonObject{{"dtype", "float16"}, {"original_dtype", "float32"}}}};
    QByteArray halfBytes("\x00\x3C\x00\xC1", 4);
    auto definition = parse(scaleModel(half), halfBytes);
    ASSERT_TRUE(definition.hasValue()) << definition.error().message.toStdString();
    const TensorPtr w = definition->weights.value("w");
    EXPECT_EQ(w->f[0], 1.0f);
    EXPECT_EQ(w->f[1], -2.5f);
    EXPECT_EQ(halfToFloat(0x0001), std::ldexp(1.0f, -24));
    EXPECT_TRUE(std::isinf(halfToFloat(0x7C00)));

    // uint8 affine: value = min + q * scale.
    QJsonObject affine{{"name", "w"}, {"shape", QJsonArray{2}}, {"dtype", "float32"},
                       {"quantization", QJsonObject{{"dtype", "uint8"}, {"min", -1.0}, {"scale", 0.5}}}};
    definition = parse(scaleModel(affine), QByteArray("\x00\x04", 2));
    ASSERT_TRUE(definition.hasValue());
    EXPECT_EQ(definition->weights.value("w")->f[0], -1.0f);
    EXPECT_EQ(definition->weights.value("w")->f[1], 1.0f);
}

TEST(NnModelFile, DamagedFilesAreErrors)
{
    EXPECT_TRUE(parseError(scaleModel(), floatBytes({1})).contains("end inside weight w"));
    EXPECT_TRUE(parseError(scaleModel(), floatBytes({1, 2, 3})).contains("more than the manifest"));
    EXPECT_TRUE(parseModelDefinition("{not json", {}).error().message.contains("not valid JSON"));
    EXPECT_TRUE(parseModelDefinition("{\"format\":\"layers-model\"}", {}).error().message.contains("not a graph model"));

    QJsonObject model = scaleModel();
    model["weightsManifest"] = QJsonArray{QJsonObject{{"paths", QJsonArray{"../../etc/passwd"}}, {"weights", QJsonArray{}}}};
    EXPECT_TRUE(parseError(model, {}).contains("not a plain file name"));

    QJsonObject hugeShape{{"name", "w"}, {"shape", QJsonArray{1 << 20, 1 << 20}}, {"dtype", "float32"}};
    EXPECT_TRUE(parseError(scaleModel(hugeShape), floatBytes({1, 2})).contains("too large"));
    QJsonObject strings{{"name", "w"}, {"shape", QJsonArray{2}}, {"dtype", "string"}};
    EXPECT_TRUE(parseError(scaleModel(strings), floatBytes({1, 2})).contains("dtype"));

    QJsonObject duplicate = scaleModel();
    QJsonArray nodes = duplicate["modelTopology"].toObject()["node"].toArray();
    nodes.append(QJsonObject{{"name", "y"}, {"op", "Identity"}, {"input", QJsonArray{"x"}}});
    duplicate["modelTopology"] = QJsonObject{{"node", nodes}};
    EXPECT_TRUE(parseError(duplicate, floatBytes({1, 2})).contains("used twice"));
}

TEST(NnGraph, UnknownOperationsMissingInputsAndCyclesAreRefusedAtLoad)
{
    const auto load = [](QJsonArray extraNodes) {
        QJsonObject model = scaleModel();
        QJsonArray nodes = model["modelTopology"].toObject()["node"].toArray();
        for (const QJsonValue& node : extraNodes)
            nodes.append(node);
        model["modelTopology"] = QJsonObject{{"node", nodes}};
        auto definition = parse(model, floatBytes({1, 2}));
        EXPECT_TRUE(definition.hasValue());
        auto graph = GraphModel::fromDefinition(std::move(*definition));
        return graph ? QString() : graph.error().message;
    };
    EXPECT_TRUE(load({QJsonObject{{"name", "z"}, {"op", "Einsum"}, {"input", QJsonArray{"y"}}}}).contains("Einsum"));
    EXPECT_TRUE(load({QJsonObject{{"name", "z"}, {"op", "Relu"}, {"input", QJsonArray{"nowhere"}}}}).contains("missing node"));
    EXPECT_TRUE(load({QJsonObject{{"name", "a"}, {"op", "Relu"}, {"input", QJsonArray{"b"}}},
                      QJsonObject{{"name", "b"}, {"op", "Relu"}, {"input", QJsonArray{"a"}}}})
                    .contains("cycle"));
    EXPECT_TRUE(load({QJsonObject{{"name", "c"}, {"op", "Const"}}}).contains("no weight"));
}

TEST(NnGraph, WrongInputsAndShapeMismatchesFailTheRunWithTheNodeNamed)
{
    auto definition = parse(scaleModel(), floatBytes({1, 2}));
    ASSERT_TRUE(definition.hasValue());
    auto model = GraphModel::fromDefinition(std::move(*definition));
    ASSERT_TRUE(model.hasValue());
    EXPECT_TRUE(model->run({{"x", Tensor::floats({1, 3}, {1, 2, 3})}}, {"y"}).error().message.contains("needs float32 [-1,2]"));
    EXPECT_TRUE(model->run({{"x", Tensor::ints({1, 2}, {1, 2})}}, {"y"}).error().message.contains("needs float32"));
    EXPECT_TRUE(model->run({}, {"y"}).error().message.contains("not given"));
    EXPECT_TRUE(model->run({{"x", Tensor::floats({1, 2}, {1, 2})}}, {"nothing"}).error().message.contains("no output"));
    EXPECT_TRUE(model->run({{"x", Tensor::floats({1, 2}, {1, 2})}}, {"y:1"}).error().message.contains("no output 1"));
    // A tensor whose values do not fill its shape never reaches a kernel.
    Tensor broken = Tensor::floats({1, 2}, {1});
    EXPECT_FALSE(model->run({{"x", broken}}, {"y"}).hasValue());
}

TEST(NnGraph, ARunStopsBeforeItsNextNodeOnceTheInnermostScopeOnItsThreadIsCancelled)
{
    auto definition = parse(scaleModel(), floatBytes({2, 3}));
    ASSERT_TRUE(definition.hasValue());
    auto model = GraphModel::fromDefinition(std::move(*definition));
    ASSERT_TRUE(model.hasValue());
    const auto run = [&] { return model->run({{"x", Tensor::floats({1, 2}, {1, 1})}}, {"y"}); };
    const auto stops = [&] {
        auto out = run();
        return !out.hasValue() && out.error().stopped;
    };

    vesk::CancellationToken cancelled;
    cancelled.cancel();
    const vesk::CancellationToken live;
    EXPECT_FALSE(stops());
    {
        const StopScope outer(cancelled);
        EXPECT_TRUE(stops());
        {
            const StopScope inner(live);
            EXPECT_FALSE(stops());
        }
        EXPECT_TRUE(stops());
        // Another thread's runs are its own.
        std::thread other([&] { EXPECT_FALSE(stops()); });
        other.join();
    }
    EXPECT_FALSE(stops());
    // A failure that is not a stop says so.
    EXPECT_FALSE(model->run({}, {"y"}).error().stopped);
}
