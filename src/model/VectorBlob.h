#pragma once

#include <QByteArray>
#include <QList>

namespace vesk {

// The stored form of sentence embeddings and face feature prints: each value as a little-endian
// IEEE 754 single-precision float, four bytes per value, no header. An empty vector is an empty
// (not null) byte array.
QByteArray encodeVectorBlob(const QList<double>& vector);

// Reads size / 4 values (1 to 3 trailing bytes are ignored) and widens them to double.
QList<double> decodeVectorBlob(const void* bytes, qsizetype size);
QList<double> decodeVectorBlob(const QByteArray& blob);

} // namespace vesk
