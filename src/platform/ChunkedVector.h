#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace vesk {

// A vector kept in chunks of a fixed number of elements: growing it never moves the elements
// already in it, so appending to a list of a hundred thousand large elements costs one element
// (and now and then a new chunk), not a copy of them all. Elements stay where they are.
template <typename T, size_t ChunkSize = 1024>
class ChunkedVector {
public:
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    T& operator[](size_t index) { return m_chunks[index / ChunkSize][index % ChunkSize]; }
    const T& operator[](size_t index) const { return m_chunks[index / ChunkSize][index % ChunkSize]; }

    T& emplace_back()
    {
        if (m_size == m_chunks.size() * ChunkSize)
            m_chunks.push_back(std::make_unique<T[]>(ChunkSize));
        return (*this)[m_size++];
    }

    void push_back(T value) { emplace_back() = std::move(value); }

    // Room for count elements without another allocation of the chunk table; the chunks
    // themselves are made as they are needed.
    void reserve(size_t count) { m_chunks.reserve((count + ChunkSize - 1) / ChunkSize); }

    // Grows with default elements, or drops the last ones (reset to default values).
    void resize(size_t count)
    {
        for (size_t i = count; i < m_size; ++i)
            (*this)[i] = T();
        m_chunks.resize((count + ChunkSize - 1) / ChunkSize);
        for (auto& chunk : m_chunks) {
            if (!chunk)
                chunk = std::make_unique<T[]>(ChunkSize);
        }
        m_size = count;
    }

    void clear()
    {
        m_chunks.clear();
        m_size = 0;
    }

private:
    std::vector<std::unique_ptr<T[]>> m_chunks;
    size_t m_size = 0;
};

} // namespace vesk
