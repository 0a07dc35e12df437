#pragma once

#include "platform/CancellationToken.h"
#include "platform/Expected.h"
#include "platform/nn/Kernels.h"
#include "platform/nn/ModelFile.h"
#include "platform/nn/Tensor.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace vesk::nn {

// While one lives on a thread, every GraphModel::run() on that thread ends before its next node
// once `token` is cancelled, with an error marked `stopped`. A picture's analysis runs several
// models for seconds; whoever goes away while it runs need not wait for a result nobody reads.
class StopScope {
public:
    explicit StopScope(const CancellationToken& token);
    ~StopScope();
    StopScope(const StopScope&) = delete;
    StopScope& operator=(const StopScope&) = delete;

    // The token of the innermost scope on this thread, or none.
    static const CancellationToken* current();

private:
    const CancellationToken* m_outer;
};

// A TensorFlow.js graph model ready to run. Loading checks the whole graph once (every operation
// known, every input present, no cycles, every constant backed by a weight), so a model that
// loads can only fail at run time on inputs or shapes it was not made for. run() keeps no state
// between calls and may be called from several threads at once.
class GraphModel {
public:
    [[nodiscard]] static Expected<GraphModel, NnError> load(const QString& modelJsonPath);
    [[nodiscard]] static Expected<GraphModel, NnError> fromDefinition(ModelDefinition definition);

    // Feeds the placeholders by name and computes the named outputs ("node" or "node:1"), only
    // running the nodes they depend on.
    [[nodiscard]] Expected<std::vector<Tensor>, NnError> run(const std::vector<std::pair<QString, Tensor>>& inputs,
                                                             const QStringList& outputs) const;

    // The placeholders, with their declared shapes (-1 for a free dimension).
    QStringList inputNames() const;
    QStringList nodeNames() const;
    Shape inputShape(const QString& name) const;

private:
    struct Node {
        NodeDef def;
        Kernel kernel = nullptr;              // none for Const and Placeholder
        std::vector<std::pair<int, int>> inputs; // (node index, output index)
        TensorPtr constant;
        Shape declaredShape;                  // for placeholders
        DType declaredType = DType::Float32;
    };
    std::vector<Node> m_nodes;
    std::vector<int> m_order; // a topological order of all nodes
    QHash<QString, int> m_index;
};

} // namespace vesk::nn
