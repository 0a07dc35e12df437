#include "platform/ContentHash.h"

#include <algorithm>
#include <cstring>

namespace vesk {

namespace {

constexpr quint64 kP0 = 0xa0761d6478bd642full;
constexpr quint64 kP1 = 0xe7037ed1a0b428dbull;
constexpr quint64 kP2 = 0x8ebc6af09c88c6e3ull;
constexpr quint64 kP3 = 0x589965cc75374cc3ull;

// The two halves of the full product folded together.
quint64 multiplyFold(quint64 a, quint64 b)
{
    __extension__ using Wide = unsigned __int128;
    const Wide product = static_cast<Wide>(a) * b;
    return quint64(product) ^ quint64(product >> 64);
}

quint64 rotate(quint64 value, int bits)
{
    return (value << bits) | (value >> (64 - bits));
}

} // namespace

void ContentHash::mix(quint64 first, quint64 second)
{
    // Each lane keeps its own history beside the product, so a factor that happens to be zero
    // loses one block of that lane, never what came before; the other lane multiplies the block
    // the other way round.
    m_a = multiplyFold(m_a ^ first ^ kP0, second ^ kP1) + rotate(m_a, 23);
    m_b = multiplyFold(m_b ^ second ^ kP2, first ^ kP3) + rotate(m_b, 41);
}

void ContentHash::addBytes(const void* data, size_t size)
{
    beginBytes(size);
    continueBytes(data, size);
    endBytes();
}

void ContentHash::mixBlock(const unsigned char* block)
{
    quint64 first;
    quint64 second;
    std::memcpy(&first, block, 8);
    std::memcpy(&second, block + 8, 8);
    mix(first, second);
}

void ContentHash::beginBytes(size_t size)
{
    mix(size, ++m_length);
    m_partialSize = 0;
}

void ContentHash::continueBytes(const void* data, size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    size_t i = 0;
    if (m_partialSize > 0) {
        i = std::min(size, 16 - m_partialSize);
        std::memcpy(m_partial + m_partialSize, bytes, i);
        m_partialSize += i;
        if (m_partialSize < 16)
            return;
        mixBlock(m_partial);
        m_partialSize = 0;
    }
    for (; i + 16 <= size; i += 16)
        mixBlock(bytes + i);
    std::memcpy(m_partial, bytes + i, size - i);
    m_partialSize = size - i;
}

void ContentHash::endBytes()
{
    if (m_partialSize == 0)
        return;
    // The last block is padded with zeros.
    std::memset(m_partial + m_partialSize, 0, 16 - m_partialSize);
    mixBlock(m_partial);
    m_partialSize = 0;
}

void ContentHash::addNumber(quint64 value)
{
    mix(value, ~(++m_length));
}

ContentHash::Value ContentHash::value() const
{
    const quint64 a = multiplyFold(m_a ^ kP1, m_b ^ kP2);
    const quint64 b = multiplyFold(m_b ^ kP3, rotate(m_a, 17) ^ kP0);
    return {a ^ m_length, b};
}

} // namespace vesk
