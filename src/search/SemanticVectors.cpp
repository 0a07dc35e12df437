#include "search/SemanticVectors.h"

#include <cmath>

namespace vesk {

namespace {

// Eight running sums, so that the additions need not wait for each other and the compiler can
// keep them in vector registers; the order of operations is fixed by this code, so every build
// and machine adds in the same order and gets the same result.
template <typename A, typename B>
#if defined(__GNUC__) && defined(__x86_64__)
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
double cosineSimilarity(std::span<const double> a, std::span<const float> b) { return cosine(a, b); }
double cosineSimilarity(std::span<const float> a, std::span<const float> b) { return cosine(a, b); }

double dotProduct(std::span<const double> a, std::span<const float> b)
{
    return sumProducts(a.data(), b.data(), std::min(a.size(), b.size()));
}

double dotProduct(std::span<const float> a, std::span<const float> b)
{
    return sumProducts(a.data(), b.data(), std::min(a.size(), b.size()));
}

double sumOfSquares(std::span<const double> a) { return sumProducts(a.data(), a.data(), a.size()); }
double sumOfSquares(std::span<const float> a) { return sumProducts(a.data(), a.data(), a.size()); }

void SemanticVectors::clear()
{
    m_slotByID.clear();
    m_rows.clear();
    m_freeSlots.clear();
    m_values.clear();
    m_unusedValues = 0;
}

void SemanticVectors::insert(const QUuid& id, std::span<const double> vector)
{
    std::vector<float> narrowed(vector.begin(), vector.end());
    insert(id, std::span<const float>(narrowed));
}

void SemanticVectors::insert(const QUuid& id, std::span<const float> vector)
{
    Slot slot;
    if (const auto existing = m_slotByID.constFind(id); existing != m_slotByID.cend()) {
        slot = *existing;
    } else if (!m_freeSlots.empty()) {
        slot = m_freeSlots.back();
        m_freeSlots.pop_back();
        m_slotByID.insert(id, slot);
    } else {
        slot = Slot(m_rows.size());
        m_rows.push_back({});
        m_slotByID.insert(id, slot);
    }
    Row& row = m_rows[slot];
    // A vector of the same length takes the place of the old one; another length moves to the
    // end, and the block is compacted once half of it is unused.
    if (row.length != vector.size()) {
        m_unusedValues += row.length;
        row.offset = m_values.size();
        row.length = quint32(vector.size());
        m_values.resize(m_values.size() + vector.size());
    }
    std::copy(vector.begin(), vector.end(), m_values.begin() + ptrdiff_t(row.offset));
    row.squares = sumOfSquares(this->row(slot));
    if (m_unusedValues > 4096 && m_unusedValues * 2 > m_values.size())
        compact();
}

bool SemanticVectors::remove(const QUuid& id)
{
    const auto found = m_slotByID.constFind(id);
    if (found == m_slotByID.cend())
        return false;
    const Slot slot = *found;
    m_slotByID.erase(found);
    m_unusedValues += m_rows[slot].length;
    m_rows[slot] = Row{m_values.size(), 0, 0.0};
    m_freeSlots.push_back(slot);
    if (m_slotByID.isEmpty())
        clear();
    else if (m_unusedValues > 4096 && m_unusedValues * 2 > m_values.size())
        compact();
    return true;
}

void SemanticVectors::compact()
{
    std::vector<float> values;
    values.reserve(m_values.size() - m_unusedValues);
    for (auto it = m_slotByID.cbegin(); it != m_slotByID.cend(); ++it) {
        Row& row = m_rows[*it];
        const size_t offset = values.size();
        values.insert(values.end(), m_values.begin() + ptrdiff_t(row.offset),
            m_values.begin() + ptrdiff_t(row.offset + row.length));
        row.offset = offset;
    }
    for (const Slot slot : m_freeSlots)
        m_rows[slot].offset = values.size();
    m_values.swap(values);
    m_unusedValues = 0;
}

std::span<const float> SemanticVectors::vector(const QUuid& id) const
{
    const auto slot = slotOf(id);
    return slot ? row(*slot) : std::span<const float>();
}

QList<double> SemanticVectors::values(const QUuid& id) const
{
    const std::span<const float> stored = vector(id);
    return QList<double>(stored.begin(), stored.end());
}

std::optional<SemanticVectors::Slot> SemanticVectors::slotOf(const QUuid& id) const
{
    const auto found = m_slotByID.constFind(id);
    if (found == m_slotByID.cend())
        return std::nullopt;
    return *found;
}

} // namespace vesk
