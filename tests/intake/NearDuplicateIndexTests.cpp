#include "intake/NearDuplicate.h"
#include "intake/NearDuplicateIndex.h"

#include <QRandomGenerator>
#include <thread>
#include <gtest/gtest.h>

namespace vesk {
namespace {

VeskItem textItem(const QString& text)
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = VeskKind::Text;
    item.title = text.left(20);
    item.text = text;
    item.searchableText = *item.text;
    return item;
}

// Notes from a small vocabulary, many of them edits of one another, so that the check has much to
// accept and much to refuse.
class NoteWriter {
public:
    explicit NoteWriter(quint32 seed) : m_random(seed) {}

    QString word()
    {
        static const QStringList words = QStringLiteral(
            "harbour lantern quarterly recipe mountain invoice garden meeting sketch travel budget "
            "letter concert river project notes autumn bicycle station bridge forest village engine "
            "pocket silver meadow ticket camera basket pillow orange winter summer paper light table "
            "kitchen review planning friend market window stone Café ＡＢＣ naïve the and with")
                                             .split(QLatin1Char(' '));
        // A few words much more often than the rest, as in real notes.
        const int rank = int(m_random.bounded(words.size()) * m_random.generateDouble());
        return words[rank];
    }

    QString note(int words)
    {
        QStringList out;
        for (int i = 0; i < words; ++i)
            out.append(word());
        if (m_random.bounded(4) == 0)
            out.append(QStringLiteral("https://example.org/%1").arg(m_random.bounded(100)));
        return out.join(QLatin1Char(' '));
    }

    // The same note with a few words changed, added, dropped, or only its case and punctuation.
    QString edit(const QString& text)
    {
        QStringList words = text.split(QLatin1Char(' '));
        const int changes = int(m_random.bounded(6));
        for (int i = 0; i < changes && !words.isEmpty(); ++i) {
            const qsizetype at = qsizetype(m_random.bounded(int(words.size())));
            switch (m_random.bounded(4)) {
            case 0: words[at] = word(); break;
            case 1: words.insert(at, word()); break;
            case 2: words.removeAt(at); break;
            default: words[at] = words[at].toUpper() + QStringLiteral(","); break;
            }
        }
        return words.join(QLatin1Char(' '));
    }

    quint32 bounded(quint32 limit) { return m_random.bounded(limit); }

private:
    QRandomGenerator m_random;
};

std::optional<VeskItem> indexedCheck(const QList<VeskItem>& items, const NearDuplicateIndex& index, const QString& text)
{
    const std::optional<NearDuplicateQuery> query = prepareNearDuplicateQuery(text);
    if (!query)
        return std::nullopt;
    const QList<QUuid> candidates = index.candidates(*query);
    return findSimilarTextAmong(items, *query, QSet<QUuid>(candidates.cbegin(), candidates.cend()));
}

TEST(NearDuplicateIndex, AnswersAsTheWholeLibraryWouldAfterBuildsAndEdits)
{
    int accepted = 0;
    for (quint32 seed = 1; seed <= 5; ++seed) {
        NoteWriter writer(seed);
        QList<VeskItem> items;
        for (int i = 0; i < 150; ++i) {
            const bool variant = !items.isEmpty() && writer.bounded(2) == 0;
            const QString text = variant ? writer.edit(items[qsizetype(writer.bounded(quint32(items.size())))].text->toString())
                                         : writer.note(6 + int(writer.bounded(40)));
            VeskItem item = textItem(text);
            if (writer.bounded(15) == 0)
                item.kind = VeskKind::Url;
            if (writer.bounded(20) == 0)
                item.searchableText = item.searchableText.toString() + QStringLiteral(" __vesk_secure__");
            items.prepend(item);
        }
        NearDuplicateIndex index;
        index.rebuild(items);

        for (int round = 0; round < 80; ++round) {
            // Now and then the library changes one item at a time.
            if (round % 10 == 9) {
                const qsizetype at = qsizetype(writer.bounded(quint32(items.size())));
                if (writer.bounded(3) == 0) {
                    index.remove(items[at].id);
                    items.removeAt(at);
                } else {
                    items[at].text = writer.edit(items[at].text->toString());
                    items[at].searchableText = *items[at].text;
                    index.upsert(items[at]);
                }
                const VeskItem fresh = textItem(writer.note(10 + int(writer.bounded(30))));
                items.prepend(fresh);
                index.upsert(fresh);
            }
            const QString query = writer.bounded(3) == 0
                ? writer.note(8 + int(writer.bounded(30)))
                : writer.edit(items[qsizetype(writer.bounded(quint32(items.size())))].text->toString());
            const std::optional<VeskItem> expected = findSimilarTextIn(items, query);
            accepted += expected ? 1 : 0;
            ASSERT_EQ(indexedCheck(items, index, query), expected) << "seed " << seed << " round " << round;
        }
    }
    // The libraries are made so that the check accepts often; otherwise this test would prove little.
    EXPECT_GT(accepted, 100);
}

// A long capture is read on a worker and put in on the main thread; the same long text given again
// is not read twice, but any change to it is.
TEST(NearDuplicateIndex, PreparedAndRepeatedLongTextsAnswerAsUpserts)
{
    NoteWriter writer(11);
    QStringList lines;
    while (lines.join(QLatin1Char('\n')).size() < 120'000)
        lines.append(writer.note(30));
    QList<VeskItem> items{textItem(lines.join(QLatin1Char('\n'))), textItem(writer.note(40))};
    NearDuplicateIndex applied;
    NearDuplicateIndex serial;
    for (const VeskItem& item : std::as_const(items)) {
        std::shared_ptr<NearDuplicateIndex::PreparedItem> prepared;
        std::thread([&] { prepared = NearDuplicateIndex::prepare(item); }).join();
        applied.apply(*prepared, item);
        serial.upsert(item);
    }
    const QString sameText = items[0].text->toString();
    const QString editedText = writer.edit(sameText);
    for (const QString& query : {sameText, editedText, items[1].text->toString()}) {
        EXPECT_EQ(indexedCheck(items, applied, query), findSimilarTextIn(items, query));
        EXPECT_EQ(indexedCheck(items, applied, query), indexedCheck(items, serial, query));
    }

    // Prepared from the item as it was: what it is now is read instead.
    const auto outdated = NearDuplicateIndex::prepare(items[0]);
    items[0].text = editedText + QStringLiteral(" harbour lantern");
    items[0].searchableText = *items[0].text;
    applied.apply(*outdated, items[0]);
    EXPECT_EQ(indexedCheck(items, applied, sameText), findSimilarTextIn(items, sameText));
    EXPECT_EQ(indexedCheck(items, applied, items[0].text->toString())->id, items[0].id);

    // The same buffers again change nothing; a changed text of the same length is read again.
    applied.upsert(items[0]);
    items[0].text = items[0].text->toString().replace(0, 40, QStringLiteral("completely different opening words here!"));
    applied.upsert(items[0]);
    EXPECT_EQ(indexedCheck(items, applied, items[0].text->toString())->id, items[0].id);
    EXPECT_EQ(indexedCheck(items, applied, editedText), findSimilarTextIn(items, editedText));

    // A long text that turns secret leaves the index.
    items[0].searchableText = items[0].searchableText.toString() + QStringLiteral(" __vesk_secure__");
    applied.upsert(items[0]);
    EXPECT_EQ(applied.size(), 1);
}

TEST(NearDuplicateIndex, KeepsOnlyTextsThatCanEverBeCompared)
{
    NearDuplicateIndex index;
    const QString longText = QStringLiteral("river stone garden window letter market winter summer paper light");
    VeskItem note = textItem(longText);
    VeskItem shortNote = textItem(QStringLiteral("too short to compare"));
    VeskItem link = textItem(longText);
    link.kind = VeskKind::Url;
    VeskItem secret = textItem(longText);
    secret.searchableText = QStringLiteral("__vesk_secure_credit_card__");
    index.rebuild({note, shortNote, link, secret});
    EXPECT_EQ(index.size(), 1);

    const auto query = prepareNearDuplicateQuery(longText.toUpper());
    ASSERT_TRUE(query);
    EXPECT_EQ(index.candidates(*query), QList<QUuid>{note.id});
    EXPECT_TRUE(index.remove(note.id));
    EXPECT_TRUE(index.candidates(*query).isEmpty());
    EXPECT_FALSE(index.remove(note.id));
}

TEST(NearDuplicate, PlainAsciiTextNormalisesAsAnyOtherText)
{
    // A trailing combining mark sends a text through the general path and disappears there, so
    // both paths can be compared on the same text.
    QRandomGenerator random(5);
    const QString alphabet = QStringLiteral("abcXYZ019#_-.:/ \t\nhttps://HTTP://x?");
    for (int round = 0; round < 2000; ++round) {
        QString text;
        const int length = int(random.bounded(60));
        for (int i = 0; i < length; ++i)
            text.append(alphabet[qsizetype(random.bounded(int(alphabet.size())))]);
        if (random.bounded(3) == 0)
            text.insert(qsizetype(random.bounded(int(text.size()) + 1)), QStringLiteral("https://a.b/c "));
        ASSERT_EQ(normalizedForNearDuplicate(text), normalizedForNearDuplicate(text + QChar(0x0301))) << qPrintable(text);
    }
}

} // namespace
} // namespace vesk
