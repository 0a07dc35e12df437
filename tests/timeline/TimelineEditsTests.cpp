#include "timeline/VeskTimelineEdits.h"

#include "platform/Log.h"
#include "platform/Settings.h"
#include "platform/Uuid.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace vesk {
namespace {

QUuid id(int n)
{
    return QUuid(QStringLiteral("{00000000-0000-4000-8000-%1}").arg(n, 12, 16, QLatin1Char('0')));
}

VeskTimelineEdits sampleEdits()
{
    VeskTimelineEdits edits;
    edits.order = {id(3), id(1), id(9)};
    edits.hidden = {id(4), id(5)};
    edits.copies.insert(id(9), id(1));
    edits.copies.insert(id(10), id(3));
    return edits;
}

TEST(TimelineEdits, RoundTripAndStoredForm)
{
    VeskTimelineEditsByPerson document;
    document.insert(uuidString(id(100)), sampleEdits());
    document.insert(uuidString(id(200)), VeskTimelineEdits());
    const QByteArray json = encodeTimelineEdits(document);

    const DecodedTimelineEdits decoded = decodeTimelineEdits(json);
    EXPECT_TRUE(decoded.isComplete());
    EXPECT_EQ(decoded.edits, document);

    // Compact, upper-case identifiers, the three members per person.
    EXPECT_FALSE(json.contains('\n'));
    const QJsonObject person = QJsonDocument::fromJson(json).object().value(uuidString(id(100))).toObject();
    EXPECT_EQ(person.value(QStringLiteral("order")).toArray().first().toString(), uuidString(id(3)));
    EXPECT_EQ(person.value(QStringLiteral("copies")).toObject().value(uuidString(id(9))).toString(),
              uuidString(id(1)));
    EXPECT_EQ(person.value(QStringLiteral("hidden")).toArray().size(), 2);
    EXPECT_TRUE(json.contains("8000-00000000000A"));
    EXPECT_FALSE(json.contains("8000-00000000000a"));

    // Missing or null members read as empty.
    const DecodedTimelineEdits partial = decodeTimelineEdits(
        QByteArray(R"({"A": {"hidden": [")") + uuidString(id(4)).toLatin1() + R"("]}, "B": {}, "C": {"order": null}})");
    ASSERT_TRUE(partial.isComplete());
    EXPECT_TRUE(partial.edits.value(QStringLiteral("A")).order.isEmpty());
    EXPECT_TRUE(partial.edits.value(QStringLiteral("A")).copies.isEmpty());
    EXPECT_EQ(partial.edits.value(QStringLiteral("A")).hidden, QSet<QUuid>{id(4)});
    EXPECT_TRUE(partial.edits.value(QStringLiteral("B")).isEmpty());
    EXPECT_TRUE(partial.edits.contains(QStringLiteral("C")));
}

TEST(TimelineEdits, ABrokenPersonLosesOnlyItsOwnEdits)
{
    VeskTimelineEditsByPerson document;
    document.insert(QStringLiteral("GOOD"), sampleEdits());
    QJsonObject object = QJsonDocument::fromJson(encodeTimelineEdits(document)).object();
    object.insert(QStringLiteral("BAD-UUID"), QJsonObject{{QStringLiteral("order"), QJsonArray{QStringLiteral("not-a-uuid")}}});
    object.insert(QStringLiteral("BAD-TYPE"), QJsonObject{{QStringLiteral("hidden"), QStringLiteral("text")}});
    object.insert(QStringLiteral("BAD-COPY"), QJsonObject{{QStringLiteral("copies"), QJsonObject{{QStringLiteral("x"), 1}}}});
    object.insert(QStringLiteral("NOT-OBJECT"), 7);

    const DecodedTimelineEdits decoded = decodeTimelineEdits(QJsonDocument(object).toJson());
    EXPECT_TRUE(decoded.readable);
    EXPECT_FALSE(decoded.isComplete());
    EXPECT_EQ(decoded.edits.keys(), QStringList{QStringLiteral("GOOD")});
    EXPECT_EQ(decoded.edits.value(QStringLiteral("GOOD")), sampleEdits());
    QStringList skipped = decoded.skippedPersons;
    skipped.sort();
    EXPECT_EQ(skipped, (QStringList{"BAD-COPY", "BAD-TYPE", "BAD-UUID", "NOT-OBJECT"}));

    for (const QByteArray& junk : {QByteArray("not json"), QByteArray("[1,2]"), QByteArray("\"text\""), QByteArray("{")}) {
        const DecodedTimelineEdits unread = decodeTimelineEdits(junk);
        EXPECT_FALSE(unread.readable) << junk.constData();
        EXPECT_TRUE(unread.edits.isEmpty());
    }
}

TEST(TimelineEditsStorage, SavesTheWholeDocumentAndKeepsOtherPersons)
{
    MemorySettings settings;
    TimelineEditsStorage first(settings);
    first.load();
    EXPECT_TRUE(first.editsByPerson().isEmpty());
    first.save(QStringLiteral("ANN"), sampleEdits());
    VeskTimelineEdits bob;
    bob.hidden = {id(7)};
    first.save(QStringLiteral("BOB"), bob);

    // A later timeline reads both; changing one leaves the other as stored.
    TimelineEditsStorage second(settings);
    second.load();
    EXPECT_EQ(second.edits(QStringLiteral("ANN")), sampleEdits());
    VeskTimelineEdits annAgain;
    annAgain.order = {id(1)};
    second.save(QStringLiteral("ANN"), annAgain);
    const DecodedTimelineEdits stored = decodeTimelineEdits(settings.data(TimelineEditsStorage::editsKey));
    EXPECT_EQ(stored.edits.value(QStringLiteral("BOB")), bob);
    EXPECT_EQ(stored.edits.value(QStringLiteral("ANN")), annAgain);
    EXPECT_TRUE(second.edits(QStringLiteral("NOBODY")).isEmpty());
    EXPECT_FALSE(settings.contains(TimelineEditsStorage::backupKey));
}

TEST(TimelineEditsStorage, AnUnreadableDocumentIsBackedUpBeforeItIsOverwritten)
{
    QStringList logged;
    setVeskLogCapture([&](const QString& line) { logged.append(line); });

    // Not a document at all: nothing is read, the first save keeps the old bytes aside.
    MemorySettings settings;
    settings.setData(TimelineEditsStorage::editsKey, QByteArray("{\"ANN\": {\"order\": [\"oops"));
    TimelineEditsStorage storage(settings);
    storage.load();
    EXPECT_TRUE(storage.editsByPerson().isEmpty());
    EXPECT_FALSE(settings.contains(TimelineEditsStorage::backupKey));
    storage.save(QStringLiteral("BOB"), sampleEdits());
    EXPECT_EQ(settings.data(TimelineEditsStorage::backupKey), QByteArray("{\"ANN\": {\"order\": [\"oops"));
    EXPECT_TRUE(decodeTimelineEdits(settings.data(TimelineEditsStorage::editsKey)).isComplete());

    // One broken person: the others are read and kept; the original document is backed up once.
    MemorySettings partly;
    const QByteArray mixed = QByteArray(R"({"BAD": {"order": ["x"]}, "GOOD": {"hidden": [")")
        + uuidString(id(4)).toLatin1() + R"("]}})";
    partly.setData(TimelineEditsStorage::editsKey, mixed);
    TimelineEditsStorage mixedStorage(partly);
    mixedStorage.load();
    EXPECT_EQ(mixedStorage.edits(QStringLiteral("GOOD")).hidden, QSet<QUuid>{id(4)});
    mixedStorage.save(QStringLiteral("NEW"), VeskTimelineEdits());
    EXPECT_EQ(partly.data(TimelineEditsStorage::backupKey), mixed);
    const DecodedTimelineEdits rewritten = decodeTimelineEdits(partly.data(TimelineEditsStorage::editsKey));
    EXPECT_TRUE(rewritten.isComplete());
    EXPECT_EQ(rewritten.edits.value(QStringLiteral("GOOD")).hidden, QSet<QUuid>{id(4)});
    // The next save has nothing left to back up.
    partly.remove(TimelineEditsStorage::backupKey);
    mixedStorage.save(QStringLiteral("NEW"), VeskTimelineEdits());
    EXPECT_FALSE(partly.contains(TimelineEditsStorage::backupKey));

    setVeskLogCapture({});
    EXPECT_TRUE(logged.filter(QStringLiteral("Vesk timeline edits error for BAD")).size() == 1);
}

} // namespace
} // namespace vesk
