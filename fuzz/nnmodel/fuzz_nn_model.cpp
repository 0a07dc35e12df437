// Feeds arbitrary bytes to the graph-model reader: the input is split at the first NUL byte into
// model.json and one weight file ("w.bin"). Whatever loads is then run once on a small input for
// each of its placeholders, so that a graph the loader accepts cannot crash the kernels either.
#include "platform/nn/GraphModel.h"
#include "platform/nn/ModelFile.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype split = input.indexOf('\0');
    const QByteArray json = split < 0 ? input : input.left(split);
    const QByteArray weights = split < 0 ? QByteArray() : input.mid(split + 1);
    auto definition = vesk::nn::parseModelDefinition(json, [&](const QString& name, qint64 maxBytes) -> std::optional<QByteArray> {
        if (name != QLatin1String("w.bin") || weights.size() > maxBytes)
            return std::nullopt;
        return weights;
    });
    if (!definition)
        return 0;
    auto model = vesk::nn::GraphModel::fromDefinition(std::move(*definition));
    if (!model)
        return 0;
    std::vector<std::pair<QString, vesk::nn::Tensor>> feeds;
    for (const QString& name : model->inputNames()) {
        vesk::nn::Shape shape = model->inputShape(name);
        for (int64_t& dimension : shape)
            dimension = dimension < 0 ? 1 : std::min<int64_t>(dimension, 64);
        feeds.emplace_back(name, vesk::nn::Tensor::zeros(vesk::nn::DType::Float32, shape));
    }
    // Each node is asked for in turn, so every kernel the graph holds runs.
    const QStringList nodes = model->nodeNames();
    for (qsizetype k = 0; k < nodes.size() && k < 32; ++k)
        (void)model->run(feeds, {nodes[k]});
    return 0;
}
