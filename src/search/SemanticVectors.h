#pragma once

#include <QList>
#include <QUuid>

#include <optional>
#include <span>
#include <vector>

namespace vesk {

// Cosine of two vectors: the sum of their products over the product of the square roots of
// their sums of squares, accumulated in double precision. 0 when a is empty, when the lengths
// differ or when either vector is all zeros; negative values are returned as they are.
double cosineSimilarity(std::span<const double> a, std::span<const double> b);
double cosineSimilarity(std::span<const double> a, std::span<const float> b);
double cosineSimilarity(std::span<const float> a, std::span<const float> b);

// The sum of products of two vectors of equal length, accumulated in double precision.
double dotProduct(std::span<const double> a, std::span<const float> b);
double dotProduct(std::span<const float> a, std::span<const float> b);
double sumOfSquares(std::span<const double> a);
double sumOfSquares(std::span<const float> a);

// The sentence vectors of the library's items, kept compactly: each as single-precision values
// in one shared block (a 512-value vector takes 2 KB), with its sum of squares worked out once.
// Vectors of any length may be kept; a search compares only vectors of equal length.
class SemanticVectors {
public:
    using Slot = quint32;

    void clear();
    qsizetype size() const { return qsizetype(m_count); }
    bool contains(const QUuid& id) const { return slotOf(id).has_value(); }

    // Makes room for this many vectors holding this many values in all, so that filling the
    // block does not copy it as it grows (a copy of a library's vectors is hundreds of megabytes).
    void reserve(size_t vectors, size_t values);

    // Keeps the vector for id, replacing the one it had.
    void insert(const QUuid& id, std::span<const double> vector);
    void insert(const QUuid& id, std::span<const float> vector);
    bool remove(const QUuid& id);

    // The vector kept for id; empty when there is none.
    std::span<const float> vector(const QUuid& id) const;
    // The same widened to double, for callers that work with whole vectors.
    QList<double> values(const QUuid& id) const;

    // Direct access for passes over many vectors.
    std::optional<Slot> slotOf(const QUuid& id) const;
    // Asks the processor to fetch what slotOf(id) will read, for a walk that knows its next ids.
    void prefetch(const QUuid& id) const
    {
        if (!m_cells.empty())
            __builtin_prefetch(&m_cells[cellOf(id)]);
    }
    std::span<const float> row(Slot slot) const
    {
        return {m_values.data() + m_rows[slot].offset, m_rows[slot].length};
    }
    double rowSumOfSquares(Slot slot) const { return m_rows[slot].squares; }

private:
    struct Row {
        size_t offset = 0;
        quint32 length = 0;
        double squares = 0.0;
        QUuid id; // null for a free slot
    };
    // The table from identifier to slot: open addressing with linear probing, one cell read for
    // most look-ups (a search looks up every item of the library).
    struct Cell {
        QUuid id;
        quint32 slotPlusOne = 0; // 0: empty
    };
    size_t cellOf(const QUuid& id) const;
    void placeInTable(const QUuid& id, Slot slot);
    void growTable();
    void eraseFromTable(size_t cell);
    void compact();

    std::vector<Cell> m_cells;
    size_t m_count = 0;
    std::vector<Row> m_rows;
    std::vector<Slot> m_freeSlots;
    std::vector<float> m_values;
    size_t m_unusedValues = 0;
};

} // namespace vesk
