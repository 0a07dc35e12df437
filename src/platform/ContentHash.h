#pragma once

#include <QtGlobal>

#include <cstddef>

namespace vesk {

// A 128-bit fingerprint of a sequence of byte strings and numbers, fast enough to run over a
// whole library's texts at start-up (several gigabytes a second). Each piece is fed with its
// length, so that ("ab", "c") and ("a", "bc") differ. Not for secrets: it only tells whether
// what was seen before is what is seen now.
class ContentHash {
public:
    void addBytes(const void* data, size_t size);
    // One byte string given in pieces, with the same result as addBytes over all of them: its
    // whole size first, then the pieces in order, then the end. Nothing else is added meanwhile.
    void beginBytes(size_t size);
    void continueBytes(const void* data, size_t size);
    void endBytes();
    void addNumber(quint64 value);

    struct Value {
        quint64 low = 0;
        quint64 high = 0;
        friend bool operator==(const Value&, const Value&) = default;
    };
    Value value() const;

private:
    void mix(quint64 first, quint64 second);
    // Sixteen bytes, as two numbers.
    void mixBlock(const unsigned char* block);

    quint64 m_a = 0x243f6a8885a308d3ull;
    quint64 m_b = 0x13198a2e03707344ull;
    quint64 m_length = 0;
    // The start of a block that the pieces so far have not filled.
    unsigned char m_partial[16] = {};
    size_t m_partialSize = 0;
};

} // namespace vesk
