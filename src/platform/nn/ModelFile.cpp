#include "platform/nn/ModelFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <cmath>
#include <cstring>

namespace vesk::nn {

namespace {

Unexpected<NnError> fail(const QString& message)
{
    return unexpected(NnError{message});
}

// Integers arrive as JSON strings ("256") or numbers.
std::optional<int64_t> jsonInteger(const QJsonValue& value)
{
    if (value.isString()) {
        bool ok = false;
        const qlonglong parsed = value.toString().toLongLong(&ok);
        return ok ? std::optional<int64_t>(parsed) : std::nullopt;
    }
    if (value.isDouble()) {
        const double number = value.toDouble();
        if (std::isfinite(number) && number == std::floor(number) && std::fabs(number) < 9.0e15)
            return int64_t(number);
    }
    return std::nullopt;
}

std::optional<Shape> parseShape(const QJsonObject& shape)
{
    Shape dims;
    const QJsonArray array = shape.value(QStringLiteral("dim")).toArray();
    for (const QJsonValue& dim : array) {
        const QJsonValue size = dim.toObject().value(QStringLiteral("size"));
        if (size.isUndefined()) {
            dims.push_back(0);
            continue;
        }
        const auto parsed = jsonInteger(size);
        if (!parsed || *parsed < -1)
            return std::nullopt;
        dims.push_back(*parsed);
    }
    return dims;
}

std::optional<AttrValue> parseAttr(const QJsonObject& object)
{
    AttrValue attr;
    if (object.contains(QStringLiteral("list"))) {
        attr.kind = AttrValue::Kind::List;
        const QJsonObject list = object.value(QStringLiteral("list")).toObject();
        for (const QJsonValue& value : list.value(QStringLiteral("i")).toArray()) {
            const auto parsed = jsonInteger(value);
            if (!parsed)
                return std::nullopt;
            attr.ints.push_back(*parsed);
        }
        for (const QJsonValue& value : list.value(QStringLiteral("s")).toArray())
            attr.strings.push_back(QByteArray::fromBase64(value.toString().toLatin1()));
        for (const QJsonValue& value : list.value(QStringLiteral("f")).toArray())
            attr.floats.push_back(value.toDouble());
        return attr;
    }
    if (object.contains(QStringLiteral("i"))) {
        const auto parsed = jsonInteger(object.value(QStringLiteral("i")));
        if (!parsed)
            return std::nullopt;
        attr.kind = AttrValue::Kind::Int;
        attr.i = *parsed;
        return attr;
    }
    if (object.contains(QStringLiteral("f"))) {
        attr.kind = AttrValue::Kind::Float;
        attr.f = object.value(QStringLiteral("f")).toDouble();
        return attr;
    }
    if (object.contains(QStringLiteral("b"))) {
        attr.kind = AttrValue::Kind::Bool;
        attr.b = object.value(QStringLiteral("b")).toBool();
        return attr;
    }
    if (object.contains(QStringLiteral("s"))) {
        attr.kind = AttrValue::Kind::String;
        attr.s = QByteArray::fromBase64(object.value(QStringLiteral("s")).toString().toLatin1());
        return attr;
    }
    if (object.contains(QStringLiteral("type"))) {
        attr.kind = AttrValue::Kind::Type;
        attr.type = object.value(QStringLiteral("type")).toString();
        return attr;
    }
    if (object.contains(QStringLiteral("shape"))) {
        const auto shape = parseShape(object.value(QStringLiteral("shape")).toObject());
        if (!shape)
            return std::nullopt;
        attr.kind = AttrValue::Kind::Shape;
        attr.shape = *shape;
        return attr;
    }
    return std::nullopt; // tensors of Const nodes and functions: the runtime has no use for them
}

Expected<NodeDef, NnError> parseNode(const QJsonValue& value)
{
    if (!value.isObject())
        return fail(QStringLiteral("a graph node is not an object"));
    const QJsonObject object = value.toObject();
    NodeDef node;
    node.name = object.value(QStringLiteral("name")).toString();
    node.op = object.value(QStringLiteral("op")).toString();
    if (node.name.isEmpty() || node.op.isEmpty())
        return fail(QStringLiteral("a graph node has no name or no operation"));
    for (const QJsonValue& input : object.value(QStringLiteral("input")).toArray()) {
        QString text = input.toString();
        if (text.startsWith(QLatin1Char('^')))
            continue; // control dependencies order nothing in a pure inference graph
        NodeInput parsed;
        const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
        if (colon > 0) {
            bool ok = false;
            const int output = text.mid(colon + 1).toInt(&ok);
            if (!ok || output < 0 || output > 64)
                return fail(QStringLiteral("node %1 has a malformed input \"%2\"").arg(node.name, text));
            parsed.output = output;
            text.truncate(colon);
        }
        if (text.isEmpty())
            return fail(QStringLiteral("node %1 has an empty input").arg(node.name));
        parsed.node = text;
        node.inputs.push_back(parsed);
    }
    const QJsonObject attrs = object.value(QStringLiteral("attr")).toObject();
    for (auto it = attrs.begin(); it != attrs.end(); ++it) {
        if (!it.value().isObject())
            return fail(QStringLiteral("node %1 has a malformed attribute %2").arg(node.name, it.key()));
        if (auto attr = parseAttr(it.value().toObject()))
            node.attrs.insert(it.key(), std::move(*attr));
        else if (!it.value().toObject().contains(QStringLiteral("tensor"))
                 && !it.value().toObject().contains(QStringLiteral("func")))
            return fail(QStringLiteral("node %1 has a malformed attribute %2").arg(node.name, it.key()));
    }
    return node;
}

struct WeightSpec {
    QString name;
    Shape shape;
    DType dtype = DType::Float32;
    QString storedAs; // "float32", "int32", "bool", "uint8", "uint16", "float16"
    double min = 0;
    double scale = 1;
};

int storedSize(const QString& storedAs)
{
    if (storedAs == QLatin1String("uint8") || storedAs == QLatin1String("bool"))
        return 1;
    if (storedAs == QLatin1String("uint16") || storedAs == QLatin1String("float16"))
        return 2;
    return 4;
}

Expected<WeightSpec, NnError> parseWeightSpec(const QJsonObject& object)
{
    WeightSpec spec;
    spec.name = object.value(QStringLiteral("name")).toString();
    if (spec.name.isEmpty())
        return fail(QStringLiteral("a weight has no name"));
    for (const QJsonValue& dim : object.value(QStringLiteral("shape")).toArray()) {
        const auto parsed = jsonInteger(dim);
        if (!parsed || *parsed < 0)
            return fail(QStringLiteral("weight %1 has an impossible shape").arg(spec.name));
        spec.shape.push_back(*parsed);
    }
    if (elementCount(spec.shape) < 0)
        return fail(QStringLiteral("weight %1 is too large").arg(spec.name));
    const QString dtype = object.value(QStringLiteral("dtype")).toString();
    if (dtype == QLatin1String("float32"))
        spec.dtype = DType::Float32;
    else if (dtype == QLatin1String("int32"))
        spec.dtype = DType::Int32;
    else if (dtype == QLatin1String("bool"))
        spec.dtype = DType::Bool;
    else
        return fail(QStringLiteral("weight %1 has the unsupported dtype \"%2\"").arg(spec.name, dtype));
    spec.storedAs = dtype;
    const QJsonValue quantization = object.value(QStringLiteral("quantization"));
    if (quantization.isObject()) {
        const QJsonObject q = quantization.toObject();
        const QString storedAs = q.value(QStringLiteral("dtype")).toString();
        if (storedAs == QLatin1String("float16")) {
            if (spec.dtype != DType::Float32)
                return fail(QStringLiteral("weight %1 stores a non-float as float16").arg(spec.name));
        } else if (storedAs == QLatin1String("uint8") || storedAs == QLatin1String("uint16")) {
            spec.min = q.value(QStringLiteral("min")).toDouble();
            spec.scale = q.value(QStringLiteral("scale")).toDouble();
            if (!std::isfinite(spec.min) || !std::isfinite(spec.scale) || spec.dtype == DType::Bool)
                return fail(QStringLiteral("weight %1 has unusable quantisation").arg(spec.name));
        } else {
            return fail(QStringLiteral("weight %1 has the unsupported quantisation \"%2\"").arg(spec.name, storedAs));
        }
        spec.storedAs = storedAs;
    }
    return spec;
}

Tensor decodeWeight(const WeightSpec& spec, const char* bytes, int64_t count)
{
    Tensor tensor = Tensor::zeros(spec.dtype, spec.shape);
    auto store = [&](int64_t index, double value) {
        if (spec.dtype == DType::Float32)
            tensor.f[size_t(index)] = float(value);
        else
            tensor.i[size_t(index)] = int32_t(value);
    };
    if (count == 0) {
        return tensor;
    } else if (spec.storedAs == QLatin1String("float32")) {
        std::memcpy(tensor.f.data(), bytes, size_t(count) * 4);
    } else if (spec.storedAs == QLatin1String("int32")) {
        std::memcpy(tensor.i.data(), bytes, size_t(count) * 4);
    } else if (spec.storedAs == QLatin1String("bool")) {
        for (int64_t k = 0; k < count; ++k)
            tensor.i[size_t(k)] = bytes[k] != 0 ? 1 : 0;
    } else if (spec.storedAs == QLatin1String("float16")) {
        for (int64_t k = 0; k < count; ++k) {
            uint16_t half;
            std::memcpy(&half, bytes + 2 * k, 2);
            tensor.f[size_t(k)] = halfToFloat(half);
        }
    } else if (spec.storedAs == QLatin1String("uint8")) {
        for (int64_t k = 0; k < count; ++k)
            store(k, spec.min + spec.scale * uint8_t(bytes[k]));
    } else { // uint16
        for (int64_t k = 0; k < count; ++k) {
            uint16_t value;
            std::memcpy(&value, bytes + 2 * k, 2);
            store(k, spec.min + spec.scale * value);
        }
    }
    return tensor;
}

bool isPlainFileName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

} // namespace

Expected<ModelDefinition, NnError> parseModelDefinition(const QByteArray& modelJson, const WeightFileReader& readWeights)
{
    if (modelJson.size() > kMaxModelJsonBytes)
        return fail(QStringLiteral("the model file is too large"));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(modelJson, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return fail(QStringLiteral("the model file is not valid JSON: %1").arg(parseError.errorString()));
    const QJsonObject root = document.object();
    const QString format = root.value(QStringLiteral("format")).toString();
    if (!format.isEmpty() && format != QLatin1String("graph-model"))
        return fail(QStringLiteral("the model is a \"%1\", not a graph model").arg(format));

    ModelDefinition model;
    const QJsonArray nodes = root.value(QStringLiteral("modelTopology")).toObject().value(QStringLiteral("node")).toArray();
    if (nodes.isEmpty())
        return fail(QStringLiteral("the model has no graph"));
    if (nodes.size() > kMaxNodes)
        return fail(QStringLiteral("the model has too many nodes"));
    QSet<QString> names;
    for (const QJsonValue& value : nodes) {
        auto node = parseNode(value);
        if (!node)
            return unexpected(node.error());
        if (names.contains(node->name))
            return fail(QStringLiteral("the node name %1 is used twice").arg(node->name));
        names.insert(node->name);
        model.nodes.push_back(std::move(*node));
    }

    qint64 totalBytes = 0;
    const QJsonArray manifest = root.value(QStringLiteral("weightsManifest")).toArray();
    for (const QJsonValue& groupValue : manifest) {
        const QJsonObject group = groupValue.toObject();
        QByteArray bytes;
        for (const QJsonValue& pathValue : group.value(QStringLiteral("paths")).toArray()) {
            const QString path = pathValue.toString();
            if (!isPlainFileName(path))
                return fail(QStringLiteral("the weight file name \"%1\" is not a plain file name").arg(path));
            const auto shard = readWeights(path, kMaxWeightBytes - totalBytes + 1);
            if (!shard)
                return fail(QStringLiteral("the weight file %1 cannot be read").arg(path));
            totalBytes += shard->size();
            if (totalBytes > kMaxWeightBytes)
                return fail(QStringLiteral("the weight files are too large"));
            bytes += *shard;
        }
        qint64 offset = 0;
        for (const QJsonValue& weightValue : group.value(QStringLiteral("weights")).toArray()) {
            auto spec = parseWeightSpec(weightValue.toObject());
            if (!spec)
                return unexpected(spec.error());
            const int64_t count = elementCount(spec->shape);
            const qint64 length = count * storedSize(spec->storedAs);
            if (length > bytes.size() - offset)
                return fail(QStringLiteral("the weight files end inside weight %1").arg(spec->name));
            if (model.weights.contains(spec->name))
                return fail(QStringLiteral("weight %1 appears twice").arg(spec->name));
            model.weights.insert(spec->name,
                                 std::make_shared<const Tensor>(decodeWeight(*spec, bytes.constData() + offset, count)));
            offset += length;
        }
        if (offset != bytes.size())
            return fail(QStringLiteral("the weight files hold %1 bytes more than the manifest describes")
                            .arg(bytes.size() - offset));
    }
    return model;
}

Expected<ModelDefinition, NnError> readModelFile(const QString& modelJsonPath)
{
    QFile file(modelJsonPath);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot open %1: %2").arg(modelJsonPath, file.errorString()));
    if (file.size() > kMaxModelJsonBytes)
        return fail(QStringLiteral("%1 is too large to be a model").arg(modelJsonPath));
    // Not read(limit): that reserves the whole limit (128 MB) for a file of a few hundred kilobytes
    // and keeps it for as long as the definition is parsed.
    const QByteArray json = file.readAll();
    const QString folder = QFileInfo(modelJsonPath).absolutePath();
    auto result = parseModelDefinition(json, [&](const QString& name, qint64 maxBytes) -> std::optional<QByteArray> {
        QFile shard(folder + QLatin1Char('/') + name);
        if (!shard.open(QIODevice::ReadOnly) || shard.size() > maxBytes)
            return std::nullopt;
        QByteArray bytes = shard.readAll();
        if (bytes.size() != shard.size())
            return std::nullopt;
        return bytes;
    });
    if (!result)
        return fail(QStringLiteral("%1: %2").arg(QFileInfo(modelJsonPath).fileName(), result.error().message));
    return result;
}

} // namespace vesk::nn
