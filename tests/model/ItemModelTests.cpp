#include "model/VeskItem.h"
#include "model/VeskItemCoding.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <unordered_set>

using namespace vesk;

namespace {

VeskItem sampleItem()
{
    VeskItem item;
    item.id = QUuid::fromString(QStringLiteral("11111111-2222-4333-8444-555555555555"));
    item.title = QStringLiteral("Trip notes");
    item.kind = VeskKind::Text;
    item.createdAt = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);
    item.text = QStringLiteral("Pack the tent");
    item.searchableText = QStringLiteral("Trip notes Pack the tent");
    item.note = QString();
    return item;
}

QJsonObject parseObject(const char* json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

} // namespace

TEST(VeskKind, RawValuesAreExactAndOrdered)
{
    QStringList raw;
    for (VeskKind kind : kAllVeskKinds)
        raw.append(veskKindRawValue(kind));
    EXPECT_EQ(raw, (QStringList{"text", "url", "image", "file", "activity"}));
    EXPECT_EQ(veskKindFromRawValue(QStringLiteral("image")), VeskKind::Image);
    EXPECT_FALSE(veskKindFromRawValue(QStringLiteral("Image")).has_value());
    EXPECT_FALSE(veskKindFromRawValue(QStringLiteral("link")).has_value());
}

TEST(VeskItem, EqualityAndHashingCoverEveryField)
{
    const VeskItem a = sampleItem();
    VeskItem noteDiffers = a;
    noteDiffers.note = QStringLiteral("x");
    VeskItem groupDiffers = a;
    groupDiffers.groupID = QUuid::createUuid();
    VeskItem emptyVersusNone = a;
    emptyVersusNone.urlString = QString();

    EXPECT_EQ(a, sampleItem());
    EXPECT_NE(a, noteDiffers);
    EXPECT_NE(a, groupDiffers);
    EXPECT_NE(a, emptyVersusNone);

    std::unordered_set<VeskItem> set{a, noteDiffers, groupDiffers, emptyVersusNone, sampleItem()};
    EXPECT_EQ(set.size(), 4u);
    EXPECT_EQ(qHash(a), qHash(sampleItem()));
}

// A list built by appending to it takes as many items again at its front without moving.
TEST(VeskItem, AListMadeWithRoomAtFrontTakesPrependsInPlace)
{
    for (const qsizetype count : {qsizetype(1), qsizetype(7), qsizetype(1000)}) {
        QList<VeskItem> items = emptyListWithRoomAtFront(count);
        for (qsizetype i = 0; i < count; ++i)
            items.append(VeskItem());
        const VeskItem* const first = items.constData();
        for (qsizetype i = 0; i < count; ++i)
            items.prepend(VeskItem());
        EXPECT_EQ(items.constData() + count, first) << count << " items";
    }
}

TEST(ItemRecord, AbsentAndNullOptionalsBothDecodeToNoneAndEncodeAsAbsent)
{
    const auto absent = decodeItemRecord(parseObject(R"({"id":"11111111-2222-4333-8444-555555555555",
        "title":"T","kind":"text","createdAt":"2023-11-14T22:13:20Z","searchableText":"","note":""})"));
    const auto null = decodeItemRecord(parseObject(R"({"id":"11111111-2222-4333-8444-555555555555",
        "title":"T","kind":"text","createdAt":"2023-11-14T22:13:20Z","text":null,"groupID":null,
        "searchableText":"","note":""})"));
    ASSERT_TRUE(absent.hasValue()) << absent.error().toStdString();
    ASSERT_TRUE(null.hasValue()) << null.error().toStdString();
    EXPECT_FALSE(absent->text.has_value());
    EXPECT_FALSE(null->text.has_value());
    EXPECT_FALSE(null->groupID.has_value());
    EXPECT_EQ(*absent, *null);

    const QJsonObject encoded = encodeItemRecord(*null);
    EXPECT_FALSE(encoded.contains("text"));
    EXPECT_FALSE(encoded.contains("groupID"));
    EXPECT_TRUE(encoded.contains("note")) << "an empty note is written, not left out";
    EXPECT_EQ(encoded.value("note").toString(), QString());
}

TEST(ItemRecord, MissingRequiredKeysOrBadValuesFailAndExtraKeysAreIgnored)
{
    const char* base = R"({"id":"11111111-2222-4333-8444-555555555555","title":"T","kind":"text",
        "createdAt":"2023-11-14T22:13:20Z","searchableText":"s","note":"n"})";
    ASSERT_TRUE(decodeItemRecord(parseObject(base)).hasValue());

    for (const char* key : {"id", "title", "kind", "createdAt", "searchableText", "note"}) {
        QJsonObject record = parseObject(base);
        record.remove(QLatin1String(key));
        EXPECT_FALSE(decodeItemRecord(record).hasValue()) << "missing " << key;
        record.insert(QLatin1String(key), QJsonValue::Null);
        EXPECT_FALSE(decodeItemRecord(record).hasValue()) << "null " << key;
    }

    QJsonObject badKind = parseObject(base);
    badKind["kind"] = "Image";
    EXPECT_FALSE(decodeItemRecord(badKind).hasValue());

    QJsonObject badUuid = parseObject(base);
    badUuid["groupID"] = "nope";
    EXPECT_FALSE(decodeItemRecord(badUuid).hasValue());

    QJsonObject extra = parseObject(base);
    extra["colour"] = "teal";
    const auto decoded = decodeItemRecord(extra);
    ASSERT_TRUE(decoded.hasValue());
    EXPECT_EQ(*decoded, *decodeItemRecord(parseObject(base)));
}

TEST(ItemRecord, LowerCaseUuidsReadAndUpperCaseWritten)
{
    const auto item = decodeItemRecord(parseObject(R"({"id":"abcdefab-2222-4333-8444-555555555555",
        "title":"T","kind":"url","createdAt":"2023-11-14T22:13:20Z","searchableText":"","note":"",
        "sourceItemID":"00000000-0000-4000-8000-00000000000a"})"));
    ASSERT_TRUE(item.hasValue());
    const QJsonObject encoded = encodeItemRecord(*item);
    EXPECT_EQ(encoded.value("id").toString(), QStringLiteral("ABCDEFAB-2222-4333-8444-555555555555"));
    EXPECT_EQ(encoded.value("sourceItemID").toString(), QStringLiteral("00000000-0000-4000-8000-00000000000A"));
    EXPECT_EQ(encoded.value("createdAt").toString(), QStringLiteral("2023-11-14T22:13:20Z"));
}

TEST(ItemArchive, OneBadRecordFailsTheWholeDocumentAndGoodOnesRoundTrip)
{
    VeskItem second = sampleItem();
    second.id = QUuid::createUuid();
    second.kind = VeskKind::File;
    second.text.reset();
    second.filePath = QStringLiteral("/tmp/x.pdf");
    second.groupID = QUuid::createUuid();
    const QList<VeskItem> items{sampleItem(), second};

    const auto decoded = decodeItemArchive(encodeItemArchive(items));
    ASSERT_TRUE(decoded.hasValue()) << decoded.error().toStdString();
    EXPECT_EQ(*decoded, items);

    EXPECT_FALSE(decodeItemArchive(QByteArrayLiteral("[{\"id\":\"x\"}]")).hasValue());
    EXPECT_FALSE(decodeItemArchive(QByteArrayLiteral("{}")).hasValue());
    EXPECT_FALSE(decodeItemArchive(QByteArrayLiteral("[1]")).hasValue());
    EXPECT_FALSE(decodeItemArchive(QByteArrayLiteral("not json")).hasValue());
    ASSERT_TRUE(decodeItemArchive(QByteArrayLiteral("[]")).hasValue());
}

TEST(GroupRecord, AllKeysRequired)
{
    const auto group = decodeGroupRecord(parseObject(
        R"({"id":"11111111-2222-4333-8444-555555555555","name":"Trips","createdAt":"2023-11-14T22:13:20Z"})"));
    ASSERT_TRUE(group.hasValue());
    EXPECT_EQ(decodeGroupRecord(encodeGroupRecord(*group)).value(), *group);
    EXPECT_FALSE(decodeGroupRecord(parseObject(R"({"id":"11111111-2222-4333-8444-555555555555","name":"Trips"})")).hasValue());
}
