#pragma once

#include <QList>
#include <QUuid>

#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace vesk {

// Cosine of two vectors: the sum of their products over the product of the square roots of
// their sums of squares, accumulated in double precision. 0 when a is empty, when the lengths
// differ or when either vector is all zeros; negative values are returned as they are.
double cosineSimilarity(std::span<const double> a, std::span<const double> b);

double sumOfSquares(std::span<const double> a);

// The sentence vectors of the library's items, kept compactly: each in half precision in shared
// blocks of a few megabytes (a 512-value vector takes 1 KB; a library of 100,000 items keeps
// 100 MB less than in single precision), scaled by a power of two near its largest magnitude so that any
// range of values keeps eleven significant bits, with its sum of squares worked out once. The database keeps the
// vectors in single precision; the cosines of two kept vectors differ from those of the stored
// ones by about a thousandth at most, far below what tells a related item from an unrelated one.
// Vectors of any length may be kept; a search compares only vectors of equal length.
class SemanticVectors {
public:
    using Slot = quint32;

    void clear();
    qsizetype size() const { return qsizetype(m_count); }
    bool contains(const QUuid& id) const { return slotOf(id).has_value(); }

    // Makes room for this many vectors holding this many values in all, in one block, so that
    // the vectors read at start-up take no more than they need. More vectors take new blocks;
    // none is ever copied as the set grows (a copy of a library's vectors is a hundred megabytes).
    void reserve(size_t vectors, size_t values);

    // Keeps the vector for id, replacing the one it had.
    void insert(const QUuid& id, std::span<const double> vector);
    void insert(const QUuid& id, std::span<const float> vector);
    // Keeps id's vector as other keeps it (nothing when other has none), without rounding it again.
    void insertFrom(const SemanticVectors& other, const QUuid& id);
    bool remove(const QUuid& id);

    // The memory the kept vectors and their table take, in bytes.
    size_t memoryBytes() const;

    // The vector kept for id, as it is kept; empty when there is none.
    QList<double> values(const QUuid& id) const;
    // The cosine of the vectors kept for a and b; none when either has none or their lengths
    // differ, 0 when either is all zeros.
    std::optional<double> cosine(const QUuid& a, const QUuid& b) const;

    // Direct access for passes over many vectors.
    std::optional<Slot> slotOf(const QUuid& id) const;
    // Asks the processor to fetch what slotOf(id) will read, for a walk that knows its next ids.
    void prefetch(const QUuid& id) const
    {
        if (!m_cells.empty())
            __builtin_prefetch(&m_cells[cellOf(id)]);
    }
    // Every slot up to this is a kept vector or free (its id null).
    Slot slotCount() const { return Slot(m_rows.size()); }
    const QUuid& idAt(Slot slot) const { return m_rows[slot].id; }
    size_t rowLength(Slot slot) const { return m_rows[slot].length; }
    double rowSumOfSquares(Slot slot) const { return m_rows[slot].squares; }
    // The sum of products of the vector and the row; the lengths must be equal.
    double rowDot(std::span<const double> vector, Slot slot) const;
    double rowDot(Slot a, Slot b) const;

private:
    struct Row {
        quint16* values = nullptr; // half-precision bits, in one of the blocks
        quint32 length = 0;
        float scale = 0.0f; // a power of two: a kept value times scale is the vector's value
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
    // Puts a row of the given length in place for id and returns where its values go.
    Row& place(const QUuid& id, size_t length);
    // Room for length values at the end of the last block, or in a new one.
    quint16* allocateValues(size_t length);
    void compactIfMostlyUnused();

    // Values are never moved once written but by compact(): a new vector that does not fit
    // takes a new block instead of a copy of all the others.
    struct Block {
        std::unique_ptr<quint16[]> values;
        size_t capacity = 0;
        size_t used = 0;
    };
    static constexpr size_t kBlockValues = size_t(1) << 20; // 2 MiB

    std::vector<Cell> m_cells;
    size_t m_count = 0;
    std::vector<Row> m_rows;
    std::vector<Slot> m_freeSlots;
    std::vector<Block> m_blocks;
    size_t m_usedValues = 0;   // in all blocks, unused ones included
    size_t m_unusedValues = 0; // of replaced and removed vectors, and block ends left empty
};

} // namespace vesk
