// Feeds arbitrary bytes to the search index file reader. Besides crashes, hangs and runaway
// memory, it checks that what the reader accepts holds only ids its dictionaries and its item
// list have, and is written back to the same bytes. The checksum keeps most inputs out, so the bytes are also read
// as a payload behind a header made for them.
#include "search/SearchIndexFile.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(const std::optional<vesk::SearchIndexImage>& image, QByteArrayView engine)
{
    if (!image)
        return;
    for (const vesk::SearchIndexImage::Item& item : image->items) {
        item.association.forEach([&](quint32 id) {
            if (id >= image->associationWords.size())
                std::abort();
        });
    }
    if (image->holders.size() != image->words.size())
        std::abort();
    for (const vesk::PackedIds& holders : image->holders) {
        holders.forEach([&](quint32 position) {
            if (position >= image->items.size())
                std::abort();
        });
    }
    // Written again and read back, an accepted image is the same image.
    const QByteArray again = vesk::encodeSearchIndexImage(*image, engine);
    const auto reread = vesk::decodeSearchIndexImage(again, engine);
    if (!reread || reread->items.size() != image->items.size())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray engine("fuzz");
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    check(vesk::decodeSearchIndexImage(bytes, engine), engine);

    // The same bytes as the payload of a file whose header and checksum fit them.
    vesk::ContentHash checksum;
    checksum.addBytes(data, size);
    const vesk::ContentHash::Value sum = checksum.value();
    QByteArray file("VESKSIX1");
    const auto put = [&](quint64 value, int count) {
        for (int i = 0; i < count; ++i)
            file.append(char(quint8(value >> (8 * i))));
    };
    put(quint64(engine.size()), 4);
    file.append(engine);
    put(quint64(size), 8);
    put(sum.low, 8);
    put(sum.high, 8);
    file.append(bytes);
    check(vesk::decodeSearchIndexImage(file, engine), engine);
    return 0;
}
