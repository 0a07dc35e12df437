#include "platform/nn/GraphModel.h"

#include "platform/nn/Kernels.h"

#include <QSet>

namespace vesk::nn {

namespace {

thread_local const CancellationToken* t_stop = nullptr;

Unexpected<NnError> fail(const QString& message)
{
    return unexpected(NnError{message});
}

bool stopRequested()
{
    return t_stop && t_stop->isCancelled();
}

std::optional<DType> dtypeFromAttr(const QString& type)
{
    if (type == QLatin1String("DT_FLOAT"))
        return DType::Float32;
    if (type == QLatin1String("DT_INT32"))
        return DType::Int32;
    if (type == QLatin1String("DT_BOOL"))
        return DType::Bool;
    return std::nullopt;
}

std::optional<std::pair<QString, int>> splitOutputName(const QString& name)
{
    const qsizetype colon = name.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::make_pair(name, 0);
    bool ok = false;
    const int index = name.mid(colon + 1).toInt(&ok);
    if (!ok || index < 0)
        return std::nullopt;
    return std::make_pair(name.left(colon), index);
}

bool tensorIsConsistent(const Tensor& tensor)
{
    const int64_t count = tensor.size();
    if (count < 0)
        return false;
    return tensor.dtype == DType::Float32 ? int64_t(tensor.f.size()) == count : int64_t(tensor.i.size()) == count;
}

} // namespace

StopScope::StopScope(const CancellationToken& token) : m_outer(t_stop)
{
    t_stop = &token;
}

StopScope::~StopScope()
{
    t_stop = m_outer;
}

const CancellationToken* StopScope::current()
{
    return t_stop;
}

Expected<GraphModel, NnError> GraphModel::load(const QString& modelJsonPath)
{
    auto definition = readModelFile(modelJsonPath);
    if (!definition)
        return unexpected(definition.error());
    return fromDefinition(std::move(*definition));
}

Expected<GraphModel, NnError> GraphModel::fromDefinition(ModelDefinition definition)
{
    GraphModel model;
    model.m_nodes.reserve(definition.nodes.size());
    for (NodeDef& def : definition.nodes) {
        Node node;
        node.def = std::move(def);
        model.m_index.insert(node.def.name, int(model.m_nodes.size()));
        model.m_nodes.push_back(std::move(node));
    }
    for (Node& node : model.m_nodes) {
        const QString& op = node.def.op;
        if (op == QLatin1String("Const")) {
            node.constant = definition.weights.value(node.def.name);
            if (!node.constant)
                return fail(QStringLiteral("the constant %1 has no weight").arg(node.def.name));
        } else if (op == QLatin1String("Placeholder")) {
            const auto shape = node.def.attrs.constFind(QStringLiteral("shape"));
            if (shape != node.def.attrs.cend() && shape->kind == AttrValue::Kind::Shape)
                node.declaredShape = shape->shape;
            const auto type = node.def.attrs.constFind(QStringLiteral("dtype"));
            if (type != node.def.attrs.cend()) {
                const auto parsed = dtypeFromAttr(type->type);
                if (!parsed)
                    return fail(QStringLiteral("the input %1 has the unsupported type %2").arg(node.def.name, type->type));
                node.declaredType = *parsed;
            }
        } else {
            const Kernel kernel = findKernel(op);
            if (!kernel)
                return fail(QStringLiteral("the operation %1 (node %2) is not supported").arg(op, node.def.name));
            node.kernel = kernel;
        }
        for (const NodeInput& input : node.def.inputs) {
            const auto it = model.m_index.constFind(input.node);
            if (it == model.m_index.cend())
                return fail(QStringLiteral("node %1 reads the missing node %2").arg(node.def.name, input.node));
            node.inputs.emplace_back(*it, input.output);
        }
    }

    // Depth-first topological order; a node met again while still open closes a cycle.
    enum class Mark { None, Open, Done };
    std::vector<Mark> marks(model.m_nodes.size(), Mark::None);
    for (size_t start = 0; start < model.m_nodes.size(); ++start) {
        if (marks[start] != Mark::None)
            continue;
        std::vector<std::pair<int, size_t>> stack{{int(start), 0}};
        marks[start] = Mark::Open;
        while (!stack.empty()) {
            auto& [index, next] = stack.back();
            const Node& node = model.m_nodes[size_t(index)];
            if (next < node.inputs.size()) {
                const int input = node.inputs[next++].first;
                if (marks[size_t(input)] == Mark::Open)
                    return fail(QStringLiteral("the graph has a cycle through node %1").arg(model.m_nodes[size_t(input)].def.name));
                if (marks[size_t(input)] == Mark::None) {
                    marks[size_t(input)] = Mark::Open;
                    stack.emplace_back(input, 0);
                }
            } else {
                marks[size_t(index)] = Mark::Done;
                model.m_order.push_back(index);
                stack.pop_back();
            }
        }
    }
    return model;
}

QStringList GraphModel::inputNames() const
{
    QStringList names;
    for (const Node& node : m_nodes) {
        if (node.def.op == QLatin1String("Placeholder"))
            names << node.def.name;
    }
    return names;
}

QStringList GraphModel::nodeNames() const
{
    QStringList names;
    for (const Node& node : m_nodes)
        names << node.def.name;
    return names;
}

Shape GraphModel::inputShape(const QString& name) const
{
    const auto it = m_index.constFind(name);
    return it == m_index.cend() ? Shape{} : m_nodes[size_t(*it)].declaredShape;
}

Expected<std::vector<Tensor>, NnError> GraphModel::run(const std::vector<std::pair<QString, Tensor>>& inputs,
                                                       const QStringList& outputs) const
{
    std::vector<std::pair<int, int>> wanted;
    for (const QString& name : outputs) {
        const auto split = splitOutputName(name);
        const auto it = split ? m_index.constFind(split->first) : m_index.cend();
        if (it == m_index.cend())
            return fail(QStringLiteral("the model has no output %1").arg(name));
        wanted.emplace_back(*it, split->second);
    }

    // The nodes the outputs depend on, and how many of them read each node (to free early).
    std::vector<bool> needed(m_nodes.size(), false);
    std::vector<int> readers(m_nodes.size(), 0);
    std::vector<int> pending;
    for (const auto& [index, output] : wanted) {
        ++readers[size_t(index)]; // outputs are read at the end
        pending.push_back(index);
    }
    while (!pending.empty()) {
        const int index = pending.back();
        pending.pop_back();
        if (needed[size_t(index)])
            continue;
        needed[size_t(index)] = true;
        for (const auto& [input, output] : m_nodes[size_t(index)].inputs) {
            ++readers[size_t(input)];
            pending.push_back(input);
        }
    }

    std::vector<std::vector<TensorPtr>> values(m_nodes.size());
    for (const auto& [name, tensor] : inputs) {
        const auto it = m_index.constFind(name);
        if (it == m_index.cend() || m_nodes[size_t(*it)].def.op != QLatin1String("Placeholder"))
            return fail(QStringLiteral("the model has no input %1").arg(name));
        const Node& node = m_nodes[size_t(*it)];
        bool fits = tensorIsConsistent(tensor) && tensor.dtype == node.declaredType
            && (node.declaredShape.empty() || node.declaredShape.size() == tensor.shape.size());
        for (size_t d = 0; fits && d < node.declaredShape.size(); ++d)
            fits = node.declaredShape[d] < 0 || node.declaredShape[d] == tensor.shape[d];
        if (!fits)
            return fail(QStringLiteral("the input %1 needs %2 %3, was given %4 %5")
                            .arg(name, dtypeName(node.declaredType), shapeText(node.declaredShape),
                                 dtypeName(tensor.dtype), shapeText(tensor.shape)));
        values[size_t(*it)] = {std::make_shared<const Tensor>(tensor)};
    }

    for (int index : m_order) {
        if (!needed[size_t(index)])
            continue;
        if (stopRequested())
            return unexpected(NnError{QStringLiteral("the run was stopped"), true});
        const Node& node = m_nodes[size_t(index)];
        if (node.constant) {
            values[size_t(index)] = {node.constant};
            continue;
        }
        if (!node.kernel) {
            if (values[size_t(index)].empty())
                return fail(QStringLiteral("the input %1 was not given").arg(node.def.name));
            continue;
        }
        std::vector<TensorPtr> arguments;
        arguments.reserve(node.inputs.size());
        for (const auto& [input, output] : node.inputs) {
            const std::vector<TensorPtr>& produced = values[size_t(input)];
            if (output >= int(produced.size()))
                return fail(QStringLiteral("node %1 reads output %2 of %3, which has %4")
                                .arg(node.def.name).arg(output).arg(m_nodes[size_t(input)].def.name).arg(produced.size()));
            arguments.push_back(produced[size_t(output)]);
        }
        auto result = node.kernel(node.def, arguments);
        if (!result)
            return fail(QStringLiteral("node %1 (%2) %3").arg(node.def.name, node.def.op, result.error().message));
        std::vector<TensorPtr> produced;
        for (Tensor& tensor : *result)
            produced.push_back(std::make_shared<const Tensor>(std::move(tensor)));
        values[size_t(index)] = std::move(produced);
        arguments.clear();
        // Inputs nobody else reads any more are released at once, keeping peak memory low.
        for (const auto& [input, output] : node.inputs) {
            if (--readers[size_t(input)] == 0)
                values[size_t(input)].clear();
        }
    }

    std::vector<Tensor> results;
    for (const auto& [index, output] : wanted) {
        const std::vector<TensorPtr>& produced = values[size_t(index)];
        if (output >= int(produced.size()))
            return fail(QStringLiteral("the node %1 has no output %2").arg(m_nodes[size_t(index)].def.name).arg(output));
        results.push_back(*produced[size_t(output)]);
    }
    return results;
}

} // namespace vesk::nn
