#include "search/SearchIndexFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <utility>

namespace vesk {

namespace {

constexpr char kMagic[8] = {'V', 'E', 'S', 'K', 'S', 'I', 'X', '2'};
// Raised whenever the words or tokens read from a text change.
constexpr int kReadingRulesVersion = 2;

void putNumber(QByteArray& out, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char(quint8(value >> (8 * i))));
}

void putBytes(QByteArray& out, const void* data, size_t size)
{
    out.append(static_cast<const char*>(data), qsizetype(size));
}

// Reads what a writer put, refusing anything that runs past the end.
class Reader {
public:
    explicit Reader(QByteArrayView bytes) : m_bytes(bytes) {}

    size_t remaining() const { return size_t(m_bytes.size()) - m_position; }
    bool atEnd() const { return remaining() == 0; }

    std::optional<quint64> number(int bytes)
    {
        if (remaining() < size_t(bytes))
            return std::nullopt;
        quint64 value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= quint64(quint8(m_bytes[qsizetype(m_position + size_t(i))])) << (8 * i);
        m_position += size_t(bytes);
        return value;
    }
    const char* take(size_t size)
    {
        if (remaining() < size)
            return nullptr;
        const char* start = m_bytes.data() + m_position;
        m_position += size;
        return start;
    }

private:
    QByteArrayView m_bytes;
    size_t m_position = 0;
};

void putWords(QByteArray& out, const std::vector<std::u16string>& words, const std::vector<quint32>& kept)
{
    putNumber(out, kept.size(), 4);
    for (const quint32 id : kept) {
        const std::u16string& word = words[id];
        putNumber(out, word.size(), 4);
        putBytes(out, word.data(), word.size() * sizeof(char16_t));
    }
}

std::optional<std::vector<std::u16string>> takeWords(Reader& reader)
{
    const auto count = reader.number(4);
    // Each word takes at least its length's four bytes.
    if (!count || *count > reader.remaining() / 4)
        return std::nullopt;
    std::vector<std::u16string> words;
    words.reserve(size_t(*count));
    for (quint64 i = 0; i < *count; ++i) {
        const auto length = reader.number(4);
        if (!length || *length > reader.remaining() / sizeof(char16_t))
            return std::nullopt;
        const char* data = reader.take(size_t(*length) * sizeof(char16_t));
        std::u16string word(size_t(*length), u'\0');
        std::memcpy(word.data(), data, size_t(*length) * sizeof(char16_t));
        words.push_back(std::move(word));
    }
    return words;
}

void putIds(QByteArray& out, const PackedIds& ids)
{
    putNumber(out, quint64(ids.size()), 4);
    putNumber(out, ids.bytes().size(), 4);
    putBytes(out, ids.bytes().data(), ids.bytes().size());
}

std::optional<PackedIds> takeIds(Reader& reader, size_t limit)
{
    const auto count = reader.number(4);
    const auto size = reader.number(4);
    if (!count || !size || *size > reader.remaining())
        return std::nullopt;
    const auto* data = reinterpret_cast<const quint8*>(reader.take(size_t(*size)));
    return PackedIds::fromBytes(std::vector<quint8>(data, data + *size), quint32(*count), quint32(limit));
}

// The ids that some item holds, in their order, and each id's new place among them.
struct Compaction {
    std::vector<quint32> kept;
    std::vector<quint32> place;
};

// With texts, the kept ids go in the order of their texts instead.
Compaction compaction(const std::vector<quint8>& used, const std::vector<std::u16string>* texts = nullptr)
{
    Compaction result;
    result.place.assign(used.size(), 0);
    for (quint32 id = 0; id < used.size(); ++id) {
        if (used[id])
            result.kept.push_back(id);
    }
    if (texts)
        std::sort(result.kept.begin(), result.kept.end(), [&](quint32 a, quint32 b) { return (*texts)[a] < (*texts)[b]; });
    for (quint32 place = 0; place < result.kept.size(); ++place)
        result.place[result.kept[place]] = place;
    return result;
}

PackedIds remapped(const PackedIds& ids, const Compaction& compaction)
{
    // Kept ids keep their order, so the list stays sorted.
    std::vector<quint32> out;
    out.reserve(size_t(ids.size()));
    ids.forEach([&](quint32 id) { out.push_back(compaction.place[id]); });
    return PackedIds(out);
}

// The same for ids whose places follow another order (the words, sorted by their texts).
PackedIds remappedSorted(const PackedIds& ids, const Compaction& compaction)
{
    std::vector<quint32> out;
    out.reserve(size_t(ids.size()));
    ids.forEach([&](quint32 id) { out.push_back(compaction.place[id]); });
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return PackedIds(out);
}

} // namespace

QByteArray searchIndexEngine()
{
    // Letters, marks, numbers and case come from Qt's Unicode tables: another Qt may split a text
    // into other words.
    return QByteArrayLiteral("vesk-search-") + QByteArray::number(kReadingRulesVersion)
        + QByteArrayLiteral("-qt-") + QByteArray(qVersion());
}

namespace {

// Where the encoder's bytes go: all of them into memory, or into a file in pieces of about a
// megabyte. A file of tens of megabytes is made at the end of start-up, when the rest of the
// library is in memory; a whole copy of it then would add as much to the process's peak.
class EncodedBytes {
public:
    static constexpr qsizetype kPiece = qsizetype(1) << 20;

    // The payload's size is known before it is written (the checksum begins with it); without
    // a file, room is reserved for all of it at once.
    EncodedBytes(QFileDevice* file, size_t headerSize, quint64 payloadSize)
        : m_file(file), m_expectedPayload(payloadSize)
    {
        out.reserve(m_file ? kPiece + kPiece / 4 : qsizetype(headerSize + payloadSize));
    }

    QByteArray out;

    // The header's payload size and checksum are filled in once the payload after it is known.
    void startPayload()
    {
        m_sizeAt = out.size();
        putNumber(out, 0, 8);
        putNumber(out, 0, 8);
        putNumber(out, 0, 8);
        m_payloadFrom = out.size();
        m_checksum.beginBytes(size_t(m_expectedPayload));
    }
    // Hands what has gathered on to the file, once it makes a piece.
    void spill()
    {
        if (m_file && out.size() >= kPiece)
            handOn();
    }
    // Fills in the header; false when the file did not take every byte.
    bool finish()
    {
        m_checksum.continueBytes(out.constData() + m_payloadFrom, size_t(out.size() - m_payloadFrom));
        m_payloadSize += quint64(out.size() - m_payloadFrom);
        m_checksum.endBytes();
        if (m_payloadSize != m_expectedPayload)
            return false;
        const ContentHash::Value sum = m_checksum.value();
        QByteArray header;
        putNumber(header, m_payloadSize, 8);
        putNumber(header, sum.low, 8);
        putNumber(header, sum.high, 8);
        if (!m_file) {
            std::memcpy(out.data() + m_sizeAt, header.constData(), size_t(header.size()));
            return true;
        }
        m_payloadFrom = out.size();
        handOn();
        // The first piece began the file, so the header's place in it is its place in the file.
        return m_written && m_file->seek(m_sizeAt) && m_file->write(header) == header.size();
    }

private:
    void handOn()
    {
        m_checksum.continueBytes(out.constData() + m_payloadFrom, size_t(out.size() - m_payloadFrom));
        m_payloadSize += quint64(out.size() - m_payloadFrom);
        if (m_written)
            m_written = m_file->write(out) == out.size();
        // The header lies in the first piece; later pieces are all payload.
        m_payloadFrom = 0;
        out.resize(0); // keeps its room for the next piece
    }

    QFileDevice* m_file;
    quint64 m_expectedPayload;
    ContentHash m_checksum;
    quint64 m_payloadSize = 0;
    qsizetype m_sizeAt = 0;
    qsizetype m_payloadFrom = 0;
    bool m_written = true;
};

bool encodeImage(const SearchIndexImage& image, QByteArrayView engine, QFileDevice* file, QByteArray* whole)
{
    // Words that no item holds any more (left by edits since the dictionary was made) are not
    // written, so the file does not grow from start to start.
    std::vector<quint8> wordUsed(image.words.size(), 0);
    for (size_t word = 0; word < std::min(image.words.size(), image.holders.size()); ++word)
        wordUsed[word] = image.holders[word].isEmpty() ? 0 : 1;
    // The words in their sorted order: a start that reads the file then has its words in the
    // order prefix look-ups walk, without sorting them again.
    const Compaction words = compaction(wordUsed, &image.words);
    std::vector<quint8> tokenUsed(image.associationWords.size(), 0);
    for (const SearchIndexImage::Item& item : image.items)
        item.association.forEach([&](quint32 id) { tokenUsed[id] = 1; });
    const Compaction association = compaction(tokenUsed);
    const bool associationKept = association.kept.size() == image.associationWords.size();

    const auto idsSize = [](const PackedIds& ids) { return 8 + ids.bytes().size(); };
    size_t payloadSize = 12;
    for (const auto& [all, compacted] : {std::pair(&image.words, &words), std::pair(&image.associationWords, &association)}) {
        for (const quint32 id : compacted->kept)
            payloadSize += 4 + (*all)[id].size() * sizeof(char16_t);
    }
    // An item's words are all among the kept ones (each has the item among its holders), but
    // in other places.
    std::vector<PackedIds> itemWords;
    itemWords.reserve(image.items.size());
    for (const SearchIndexImage::Item& item : image.items) {
        itemWords.push_back(remappedSorted(item.words, words));
        payloadSize += 32 + idsSize(associationKept ? item.association : remapped(item.association, association))
            + idsSize(itemWords.back());
    }
    for (const quint32 word : words.kept)
        payloadSize += idsSize(image.holders[word]);
    EncodedBytes encoded(file, sizeof(kMagic) + 4 + size_t(engine.size()) + 24, payloadSize);
    QByteArray& out = encoded.out;
    putBytes(out, kMagic, sizeof(kMagic));
    putNumber(out, quint64(engine.size()), 4);
    putBytes(out, engine.data(), size_t(engine.size()));
    encoded.startPayload();

    putWords(out, image.words, words.kept);
    putWords(out, image.associationWords, association.kept);
    putNumber(out, image.items.size(), 4);
    for (size_t i = 0; i < image.items.size(); ++i) {
        const SearchIndexImage::Item& item = image.items[i];
        putBytes(out, item.id.toRfc4122().constData(), 16);
        putNumber(out, item.stamp.low, 8);
        putNumber(out, item.stamp.high, 8);
        putIds(out, associationKept ? item.association : remapped(item.association, association));
        putIds(out, itemWords[i]);
        encoded.spill();
    }
    // The holders of each word written, in the order of the words.
    for (const quint32 word : words.kept) {
        putIds(out, image.holders[word]);
        encoded.spill();
    }
    if (!encoded.finish())
        return false;
    if (whole)
        *whole = std::move(out);
    return true;
}

} // namespace

QByteArray encodeSearchIndexImage(const SearchIndexImage& image, QByteArrayView engine)
{
    QByteArray bytes;
    encodeImage(image, engine, nullptr, &bytes);
    return bytes;
}

std::optional<SearchIndexImage> decodeSearchIndexImage(QByteArrayView bytes, QByteArrayView engine)
{
    Reader header(bytes);
    const char* magic = header.take(sizeof(kMagic));
    if (!magic || std::memcmp(magic, kMagic, sizeof(kMagic)) != 0)
        return std::nullopt;
    const auto engineLength = header.number(4);
    if (!engineLength || *engineLength != quint64(engine.size()))
        return std::nullopt;
    const char* engineName = header.take(size_t(*engineLength));
    if (!engineName || std::memcmp(engineName, engine.data(), size_t(engine.size())) != 0)
        return std::nullopt;
    const auto payloadSize = header.number(8);
    const auto low = header.number(8);
    const auto high = header.number(8);
    if (!payloadSize || !low || !high || *payloadSize != header.remaining())
        return std::nullopt;
    const char* payloadData = header.take(size_t(*payloadSize));
    ContentHash checksum;
    checksum.addBytes(payloadData, size_t(*payloadSize));
    if (!(checksum.value() == ContentHash::Value{*low, *high}))
        return std::nullopt;

    Reader reader(QByteArrayView(payloadData, qsizetype(*payloadSize)));
    SearchIndexImage image;
    auto words = takeWords(reader);
    if (!words)
        return std::nullopt;
    image.words = std::move(*words);
    auto association = takeWords(reader);
    if (!association)
        return std::nullopt;
    image.associationWords = std::move(*association);
    const auto count = reader.number(4);
    // An item takes at least 48 bytes.
    if (!count || *count > reader.remaining() / 48)
        return std::nullopt;
    image.items.reserve(size_t(*count));
    for (quint64 i = 0; i < *count; ++i) {
        SearchIndexImage::Item item;
        const char* id = reader.take(16);
        const auto stampLow = reader.number(8);
        const auto stampHigh = reader.number(8);
        if (!id || !stampLow || !stampHigh)
            return std::nullopt;
        item.id = QUuid::fromRfc4122(QByteArrayView(id, 16));
        item.stamp = {*stampLow, *stampHigh};
        auto itemAssociation = takeIds(reader, image.associationWords.size());
        if (!itemAssociation)
            return std::nullopt;
        item.association = std::move(*itemAssociation);
        auto itemWords = takeIds(reader, image.words.size());
        if (!itemWords)
            return std::nullopt;
        item.words = std::move(*itemWords);
        image.items.push_back(std::move(item));
    }
    image.holders.reserve(image.words.size());
    for (size_t word = 0; word < image.words.size(); ++word) {
        auto holders = takeIds(reader, image.items.size());
        if (!holders)
            return std::nullopt;
        image.holders.push_back(std::move(*holders));
    }
    if (!reader.atEnd())
        return std::nullopt;
    return image;
}

QString searchIndexFilePath(const QString& databasePath)
{
    return QFileInfo(databasePath).dir().filePath(QStringLiteral("vesk-search-index.bin"));
}

std::optional<SearchIndexImage> readSearchIndexFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    return decodeSearchIndexImage(bytes, searchIndexEngine());
}

bool writeSearchIndexFile(const QString& path, const SearchIndexImage& image)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!encodeImage(image, searchIndexEngine(), &file, nullptr)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace vesk
