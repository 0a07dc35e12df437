#include "search/SemanticVectors.h"

#include "platform/HalfFloat.h"
#include "platform/ThreadSanitizerHandOff.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace vesk {

namespace {

// Eight running sums, so that the additions need not wait for each other and the compiler can
// keep them in vector registers; the order of operations is fixed by this code, so every build
// and machine adds in the same order and gets the same result.
// Not under the thread sanitizer (VESK_THREAD_SANITIZER): the clone's resolver runs while the
// program is loaded, before the sanitizer's runtime is ready, and the program would stop before main().

template <typename A, typename B>
// Clang does not clone templates; its builds (the fuzz targets) take the default code.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(VESK_THREAD_SANITIZER)
__attribute__((target_clones("avx2", "default")))
#endif
double sumProducts(const A* a, const B* b, size_t n)
{
    double sums[8] = {};
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        for (size_t j = 0; j < 8; ++j)
            sums[j] += double(a[i + j]) * double(b[i + j]);
    }
    for (size_t j = 0; i < n; ++i, ++j)
        sums[j] += double(a[i]) * double(b[i]);
    return ((sums[0] + sums[4]) + (sums[1] + sums[5])) + ((sums[2] + sums[6]) + (sums[3] + sums[7]));
}

template <typename A, typename B>
double cosine(std::span<const A> a, std::span<const B> b)
{
    if (a.empty() || a.size() != b.size())
        return 0.0;
    const double squaresA = sumProducts(a.data(), a.data(), a.size());
    const double squaresB = sumProducts(b.data(), b.data(), b.size());
    if (!(squaresA > 0.0) || !(squaresB > 0.0))
        return 0.0;
    return sumProducts(a.data(), b.data(), a.size()) / (std::sqrt(squaresA) * std::sqrt(squaresB));
}

} // namespace

double cosineSimilarity(std::span<const double> a, std::span<const double> b) { return cosine(a, b); }

double sumOfSquares(std::span<const double> a) { return sumProducts(a.data(), a.data(), a.size()); }

void SemanticVectors::clear()
{
    m_cells.clear();
    m_count = 0;
    m_rows.clear();
    m_freeSlots.clear();
    m_blocks.clear();
    m_usedValues = 0;
    m_unusedValues = 0;
}

size_t SemanticVectors::cellOf(const QUuid& id) const
{
    quint64 words[2];
    static_assert(sizeof(QUuid) == sizeof(words));
    std::memcpy(words, &id, sizeof(words));
    quint64 hash = words[0] ^ (words[1] * 0x9e3779b97f4a7c15ull);
    hash ^= hash >> 31;
    hash *= 0xbf58476d1ce4e5b9ull;
    hash ^= hash >> 29;
    return size_t(hash) & (m_cells.size() - 1);
}

std::optional<SemanticVectors::Slot> SemanticVectors::slotOf(const QUuid& id) const
{
    if (m_cells.empty())
        return std::nullopt;
    const size_t mask = m_cells.size() - 1;
    for (size_t cell = cellOf(id);; cell = (cell + 1) & mask) {
        const Cell& entry = m_cells[cell];
        if (entry.slotPlusOne == 0)
            return std::nullopt;
        if (entry.id == id)
            return entry.slotPlusOne - 1;
    }
}

void SemanticVectors::placeInTable(const QUuid& id, Slot slot)
{
    if ((m_count + 1) * 2 > m_cells.size())
        growTable();
    const size_t mask = m_cells.size() - 1;
    size_t cell = cellOf(id);
    while (m_cells[cell].slotPlusOne != 0)
        cell = (cell + 1) & mask;
    m_cells[cell] = {id, slot + 1};
    ++m_count;
}

void SemanticVectors::growTable()
{
    std::vector<Cell> old = std::exchange(m_cells, std::vector<Cell>(std::max<size_t>(64, m_cells.size() * 2)));
    m_count = 0;
    for (const Cell& cell : old) {
        if (cell.slotPlusOne != 0)
            placeInTable(cell.id, cell.slotPlusOne - 1);
    }
}

void SemanticVectors::eraseFromTable(size_t cell)
{
    // Later cells of the same run move back, so that no look-up stops early at the gap.
    const size_t mask = m_cells.size() - 1;
    size_t gap = cell;
    for (size_t next = (gap + 1) & mask; m_cells[next].slotPlusOne != 0; next = (next + 1) & mask) {
        const size_t home = cellOf(m_cells[next].id);
        const bool movable = gap <= next ? (home <= gap || home > next) : (home <= gap && home > next);
        if (movable) {
            m_cells[gap] = m_cells[next];
            gap = next;
        }
    }
    m_cells[gap] = Cell{};
    --m_count;
}

void SemanticVectors::reserve(size_t vectors, size_t values)
{
    // The list of rows keeps room for the vectors of items added later: the first of them would
    // otherwise copy all of it (megabytes) at once, on the main thread, as its vector arrives.
    m_rows.reserve(vectors + vectors / 16 + 64);
    if (m_blocks.empty() && values > 0)
        m_blocks.push_back({std::unique_ptr<quint16[]>(new quint16[values]), values, 0});
    size_t cells = std::max<size_t>(64, m_cells.size());
    while ((vectors + 1) * 2 > cells)
        cells *= 2;
    if (cells > m_cells.size()) {
        std::vector<Cell> old = std::exchange(m_cells, std::vector<Cell>(cells));
        m_count = 0;
        for (const Cell& cell : old) {
            if (cell.slotPlusOne != 0)
                placeInTable(cell.id, cell.slotPlusOne - 1);
        }
    }
}

void SemanticVectors::insert(const QUuid& id, std::span<const double> vector)
{
    std::vector<float> narrowed(vector.begin(), vector.end());
    insert(id, std::span<const float>(narrowed));
}

SemanticVectors::Row& SemanticVectors::place(const QUuid& id, size_t length)
{
    Slot slot;
    if (const auto existing = slotOf(id)) {
        slot = *existing;
    } else {
        if (!m_freeSlots.empty()) {
            slot = m_freeSlots.back();
            m_freeSlots.pop_back();
        } else {
            slot = Slot(m_rows.size());
            m_rows.push_back({});
        }
        m_rows[slot].id = id;
        placeInTable(id, slot);
    }
    Row& row = m_rows[slot];
    // A vector of the same length takes the place of the old one; another length moves to the
    // end, and the block is compacted once half of it is unused (by the caller, once the values
    // are in).
    if (row.length != length) {
        m_unusedValues += row.length;
        row.values = allocateValues(length);
        row.length = quint32(length);
    }
    return row;
}

quint16* SemanticVectors::allocateValues(size_t length)
{
    if (length == 0)
        return nullptr;
    if (m_blocks.empty() || m_blocks.back().capacity - m_blocks.back().used < length) {
        if (!m_blocks.empty()) {
            Block& last = m_blocks.back();
            m_unusedValues += last.capacity - last.used;
            m_usedValues += last.capacity - last.used;
            last.used = last.capacity;
        }
        // Not zeroed: every value is written before it is read.
        const size_t capacity = std::max(kBlockValues, length);
        m_blocks.push_back({std::unique_ptr<quint16[]>(new quint16[capacity]), capacity, 0});
    }
    Block& block = m_blocks.back();
    quint16* values = block.values.get() + block.used;
    block.used += length;
    m_usedValues += length;
    return values;
}

void SemanticVectors::compactIfMostlyUnused()
{
    if (m_unusedValues > 4096 && m_unusedValues * 2 > m_usedValues)
        compact();
}

void SemanticVectors::insert(const QUuid& id, std::span<const float> vector)
{
    float largest = 0.0f;
    for (const float value : vector) {
        if (std::isfinite(value))
            largest = std::max(largest, std::fabs(value));
    }
    Row& row = place(id, vector.size());
    // A power of two, so that dividing by it rounds nothing: a value that half precision holds
    // is kept exactly, and the largest lands in [0.5, 1), where half precision is finest.
    int exponent = 0;
    std::frexp(largest, &exponent);
    row.scale = largest > 0.0f ? std::ldexp(1.0f, std::min(exponent, 127)) : 1.0f;
    quint16* kept = row.values;
    double squares = 0.0;
    for (size_t i = 0; i < vector.size(); ++i) {
        kept[i] = floatToHalf(vector[i] / row.scale);
        const double value = double(halfToFloat(kept[i])) * double(row.scale);
        squares += value * value;
    }
    row.squares = squares;
    compactIfMostlyUnused();
}

void SemanticVectors::insertFrom(const SemanticVectors& other, const QUuid& id)
{
    const auto from = other.slotOf(id);
    if (!from)
        return;
    const Row& source = other.m_rows[*from];
    Row& row = place(id, source.length);
    row.scale = source.scale;
    row.squares = source.squares;
    std::copy_n(source.values, source.length, row.values);
    compactIfMostlyUnused();
}

bool SemanticVectors::remove(const QUuid& id)
{
    if (m_cells.empty())
        return false;
    const size_t mask = m_cells.size() - 1;
    size_t cell = cellOf(id);
    while (m_cells[cell].slotPlusOne != 0 && m_cells[cell].id != id)
        cell = (cell + 1) & mask;
    if (m_cells[cell].slotPlusOne == 0)
        return false;
    const Slot slot = m_cells[cell].slotPlusOne - 1;
    eraseFromTable(cell);
    m_unusedValues += m_rows[slot].length;
    m_rows[slot] = Row{};
    m_freeSlots.push_back(slot);
    if (m_count == 0)
        clear();
    else
        compactIfMostlyUnused();
    return true;
}

void SemanticVectors::compact()
{
    std::vector<Block> old = std::exchange(m_blocks, {});
    m_usedValues = 0;
    m_unusedValues = 0;
    for (Row& row : m_rows) {
        quint16* const values = allocateValues(row.length);
        std::copy_n(row.values, row.length, values);
        row.values = values;
    }
    old.clear();
}

size_t SemanticVectors::memoryBytes() const
{
    size_t blockValues = 0;
    for (const Block& block : m_blocks)
        blockValues += block.capacity;
    return m_cells.capacity() * sizeof(Cell) + m_rows.capacity() * sizeof(Row)
        + m_freeSlots.capacity() * sizeof(Slot) + blockValues * sizeof(quint16) + m_blocks.capacity() * sizeof(Block);
}

QList<double> SemanticVectors::values(const QUuid& id) const
{
    const auto slot = slotOf(id);
    if (!slot)
        return {};
    const Row& row = m_rows[*slot];
    QList<double> values;
    values.reserve(row.length);
    for (size_t i = 0; i < row.length; ++i)
        values.append(double(halfToFloat(row.values[i])) * double(row.scale));
    return values;
}

double SemanticVectors::rowDot(std::span<const double> vector, Slot slot) const
{
    const Row& row = m_rows[slot];
    return sumProductsWithHalves(vector.data(), row.values, std::min<size_t>(vector.size(), row.length))
        * double(row.scale);
}

double SemanticVectors::rowDot(Slot a, Slot b) const
{
    const Row& rowA = m_rows[a];
    const Row& rowB = m_rows[b];
    return sumProductsOfHalves(rowA.values, rowB.values,
               std::min(rowA.length, rowB.length))
        * double(rowA.scale) * double(rowB.scale);
}

std::optional<double> SemanticVectors::cosine(const QUuid& a, const QUuid& b) const
{
    const auto slotA = slotOf(a);
    const auto slotB = slotOf(b);
    if (!slotA || !slotB || m_rows[*slotA].length != m_rows[*slotB].length || m_rows[*slotA].length == 0)
        return std::nullopt;
    const double squaresA = m_rows[*slotA].squares;
    const double squaresB = m_rows[*slotB].squares;
    if (!(squaresA > 0.0) || !(squaresB > 0.0))
        return 0.0;
    return rowDot(*slotA, *slotB) / (std::sqrt(squaresA) * std::sqrt(squaresB));
}

} // namespace vesk
