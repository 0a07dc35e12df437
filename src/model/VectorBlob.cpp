#include "model/VectorBlob.h"

#include <QtEndian>
#include <cstring>

namespace vesk {

QByteArray encodeVectorBlob(const QList<double>& vector)
{
    QByteArray blob(vector.size() * 4, Qt::Uninitialized);
    char* out = blob.data();
    for (double value : vector) {
        const float single = static_cast<float>(value);
        quint32 bits;
        std::memcpy(&bits, &single, sizeof bits);
        qToLittleEndian(bits, out);
        out += 4;
    }
    return blob;
}

QList<double> decodeVectorBlob(const void* bytes, qsizetype size)
{
    QList<double> vector;
    if (!bytes || size < 4)
        return vector;
    const qsizetype count = size / 4;
    vector.reserve(count);
    const auto* in = static_cast<const uchar*>(bytes);
    for (qsizetype i = 0; i < count; ++i) {
        const quint32 bits = qFromLittleEndian<quint32>(in + i * 4);
        float single;
        std::memcpy(&single, &bits, sizeof single);
        vector.append(static_cast<double>(single));
    }
    return vector;
}

QList<double> decodeVectorBlob(const QByteArray& blob)
{
    return decodeVectorBlob(blob.constData(), blob.size());
}

} // namespace vesk
