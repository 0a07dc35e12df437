#include "search/SearchIndexFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vesk {
namespace {

PackedIds ids(const std::vector<quint32>& sorted)
{
    return PackedIds(sorted);
}

void expectSameImage(const SearchIndexImage& actual, const SearchIndexImage& expected)
{
    EXPECT_EQ(actual.words, expected.words);
    EXPECT_EQ(actual.associationWords, expected.associationWords);
    ASSERT_EQ(actual.items.size(), expected.items.size());
    for (size_t i = 0; i < expected.items.size(); ++i) {
        EXPECT_EQ(actual.items[i].id, expected.items[i].id);
        EXPECT_TRUE(actual.items[i].stamp == expected.items[i].stamp);
        EXPECT_EQ(actual.items[i].association.unpacked(), expected.items[i].association.unpacked());
    }
    ASSERT_EQ(actual.holders.size(), expected.holders.size());
    for (size_t i = 0; i < expected.holders.size(); ++i)
        EXPECT_EQ(actual.holders[i].unpacked(), expected.holders[i].unpacked());
}

SearchIndexImage sampleImage()
{
    SearchIndexImage image;
    image.words = {u"alpha", u"beta", u"gamma", u"\u00fcber"};
    image.associationWords = {u"alpha", u"gamma"};
    image.items.push_back({QUuid::createUuid(), {1, 2}, ids({0})});
    image.items.push_back({QUuid::createUuid(), {3, 4}, PackedIds()});
    image.items.push_back({QUuid::createUuid(), {5, 6}, ids({0, 1})});
    image.holders = {ids({0, 1}), ids({0, 1}), ids({1}), ids({0})};
    return image;
}

// The file is a cache: what it holds comes back exactly, and anything that is not a whole file
// of this engine, cut short, changed or lengthened, is refused as a whole.
TEST(SearchIndexFile, GivesBackWhatWasWrittenAndRefusesAnythingElse)
{
    const QByteArray engine("engine-a");
    const SearchIndexImage image = sampleImage();
    const QByteArray bytes = encodeSearchIndexImage(image, engine);
    const auto decoded = decodeSearchIndexImage(bytes, engine);
    ASSERT_TRUE(decoded);
    expectSameImage(*decoded, image);

    const auto flipped = [&](qsizetype at) {
        QByteArray changed = bytes;
        changed[at] = char(changed[at] ^ 0x20);
        return changed;
    };
    const struct {
        const char* name;
        QByteArray bytes;
        QByteArray engine;
    } refused[] = {
        {"empty", QByteArray(), engine},
        {"only the magic", bytes.left(8), engine},
        {"cut in the header", bytes.left(30), engine},
        {"cut in half", bytes.left(bytes.size() / 2), engine},
        {"one byte short", bytes.left(bytes.size() - 1), engine},
        {"one byte more", bytes + '\0', engine},
        {"another engine", bytes, QByteArray("engine-b")},
        {"the magic changed", flipped(1), engine},
        {"a word changed", flipped(bytes.size() / 2), engine},
        {"the last byte changed", flipped(bytes.size() - 1), engine},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(decodeSearchIndexImage(c.bytes, c.engine));
    }
}

// Words that no item holds any more are left out; those kept are written in their sorted order,
// and the ids follow them.
TEST(SearchIndexFile, LeavesOutWordsThatNoItemHolds)
{
    SearchIndexImage image;
    image.words = {u"gone", u"kept", u"left", u"also"};
    image.associationWords = {u"x", u"y"};
    image.items.push_back({QUuid::createUuid(), {7, 8}, ids({1})});
    image.items.push_back({QUuid::createUuid(), {9, 9}, PackedIds()});
    image.holders = {PackedIds(), ids({0, 1}), PackedIds(), ids({1})};
    const QByteArray engine("e");
    const auto decoded = decodeSearchIndexImage(encodeSearchIndexImage(image, engine), engine);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->words, (std::vector<std::u16string>{u"also", u"kept"}));
    EXPECT_EQ(decoded->associationWords, std::vector<std::u16string>{u"y"});
    ASSERT_EQ(decoded->holders.size(), 2u);
    EXPECT_EQ(decoded->holders[0].unpacked(), std::vector<quint32>{1});
    EXPECT_EQ(decoded->holders[1].unpacked(), (std::vector<quint32>{0, 1}));
    EXPECT_EQ(decoded->items[0].association.unpacked(), std::vector<quint32>{0});
}

// Lists read back from a file are checked before they are used: every id below the dictionary's
// size, ascending, each once, and exactly as many as the file says.
TEST(SearchIndexFile, PackedListsFromBytesAreCheckedWhole)
{
    const struct {
        const char* name;
        std::vector<quint8> bytes;
        quint32 count;
        quint32 limit;
        bool accepted;
    } cases[] = {
        {"ids 0, 5 and 200", {0x00, 0x05, 0xc3, 0x01}, 3, 201, true},
        {"none", {}, 0, 0, true},
        {"an id at the limit", {0x00, 0x05}, 2, 5, false},
        {"fewer than said", {0x00, 0x05}, 3, 10, false},
        {"more than said", {0x00, 0x05}, 1, 10, false},
        {"an id twice", {0x02, 0x00}, 2, 10, false},
        {"cut inside a gap", {0x00, 0x85}, 2, 1000, false},
        {"a gap past 32 bits", {0xff, 0xff, 0xff, 0xff, 0x1f}, 1, 0xffffffff, false},
        {"the largest gap", {0xfe, 0xff, 0xff, 0xff, 0x0f}, 1, 0xffffffff, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto read = PackedIds::fromBytes(c.bytes, c.count, c.limit);
        EXPECT_EQ(read.has_value(), c.accepted);
        if (read)
            EXPECT_EQ(read->size(), qsizetype(c.count));
    }
    EXPECT_EQ(PackedIds::fromBytes({0x00, 0x05, 0xc3, 0x01}, 3, 201)->unpacked(), (std::vector<quint32>{0, 5, 200}));
}

// Large enough that the file is written in several pieces.
SearchIndexImage largeImage()
{
    SearchIndexImage image;
    image.words = {u"common", u"rare"};
    image.associationWords = {u"common"};
    std::vector<quint32> all;
    for (quint32 i = 0; i < 60'000; ++i) {
        image.items.push_back({QUuid::createUuid(), {i, ~quint64(i)}, i % 3 ? PackedIds() : ids({0})});
        all.push_back(i);
    }
    image.holders = {ids(all), ids({7, 59'999})};
    return image;
}

TEST(SearchIndexFile, IsWrittenNextToTheDatabaseAndReadBack)
{
    QTemporaryDir folder;
    const QString path = searchIndexFilePath(folder.filePath(QStringLiteral("vesk.sqlite3")));
    EXPECT_EQ(QFileInfo(path).dir(), QDir(folder.path()));
    EXPECT_FALSE(readSearchIndexFile(path));
    for (const SearchIndexImage& image : {sampleImage(), largeImage()}) {
        ASSERT_TRUE(writeSearchIndexFile(path, image));
        const auto read = readSearchIndexFile(path);
        ASSERT_TRUE(read);
        expectSameImage(*read, image);
        // The same bytes as the image encoded whole.
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), encodeSearchIndexImage(image, searchIndexEngine()));
    }
}

} // namespace
} // namespace vesk
