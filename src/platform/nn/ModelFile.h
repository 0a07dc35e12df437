#pragma once

#include "platform/HalfFloat.h"

#include "platform/Expected.h"
#include "platform/nn/Tensor.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace vesk::nn {

// One attribute of a graph node, as the TensorFlow.js graph format writes it.
struct AttrValue {
    enum class Kind { Int, Float, Bool, String, Type, Shape, List };
    Kind kind = Kind::Int;
    int64_t i = 0;
    double f = 0;
    bool b = false;
    QByteArray s;                   // decoded from base64
    QString type;                   // "DT_FLOAT", ...
    Shape shape;                    // -1 for an unknown dimension
    std::vector<int64_t> ints;      // a list of integers
    std::vector<QByteArray> strings; // a list of strings (decoded)
    std::vector<double> floats;     // a list of floats
};

// An input of a node: the producing node and which of its outputs ("name:1" is output 1).
struct NodeInput {
    QString node;
    int output = 0;
};

struct NodeDef {
    QString name;
    QString op;
    std::vector<NodeInput> inputs;
    QHash<QString, AttrValue> attrs;
};

// A parsed model: its graph and its weights by the name of the Const node they belong to.
struct ModelDefinition {
    std::vector<NodeDef> nodes;
    QHash<QString, TensorPtr> weights;
};

// Gives the bytes of one weight file named in the manifest (a plain file name), reading at most
// `maxBytes`; nothing when it cannot be read.
using WeightFileReader = std::function<std::optional<QByteArray>(const QString& fileName, qint64 maxBytes)>;

// Limits for what a model file may ask for; anything beyond is refused as damaged.
inline constexpr qint64 kMaxModelJsonBytes = 64 * 1024 * 1024;
inline constexpr qint64 kMaxWeightBytes = qint64(1) << 30;
inline constexpr int kMaxNodes = 100'000;

// Reads a TensorFlow.js graph model: "model.json" (the graph, and a weights manifest with dtypes,
// shapes and quantisation) and its weight files. Every inconsistency (bad JSON, a missing field,
// a weight file too short or too long, a weight with an impossible shape) is an error.
[[nodiscard]] Expected<ModelDefinition, NnError> parseModelDefinition(const QByteArray& modelJson,
                                                                      const WeightFileReader& readWeights);

// The same for a model.json on disk, whose weight files lie in the same folder.
[[nodiscard]] Expected<ModelDefinition, NnError> readModelFile(const QString& modelJsonPath);

// IEEE 754 half precision to single precision.
using vesk::halfToFloat;

} // namespace vesk::nn
