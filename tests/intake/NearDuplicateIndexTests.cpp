#include "intake/NearDuplicate.h"
#include "intake/NearDuplicateIndex.h"

#include <QRandomGenerator>
#include <algorithm>
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

// The check a worker makes: the candidates with the texts the index kept of them, compared away
// from the list, the one named then chosen by the items' places in it.
std::optional<QUuid> checkAwayFromList(const QList<VeskItem>& items, const NearDuplicateIndex& index,
                                       const QString& text)
{
    const std::optional<NearDuplicateQuery> query = prepareNearDuplicateQuery(text);
    if (!query)
        return std::nullopt;
    return chooseNearDuplicate(acceptedNearDuplicates(*query, index.candidateTexts(*query)), [&](const QUuid& id) {
        const auto found = std::find_if(items.cbegin(), items.cend(), [&](const VeskItem& item) { return item.id == id; });
        return found == items.cend() ? qsizetype(-1) : qsizetype(found - items.cbegin());
    });
}

std::optional<QUuid> idOf(const std::optional<VeskItem>& item)
{
    return item ? std::optional<QUuid>(item->id) : std::nullopt;
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
            ASSERT_EQ(checkAwayFromList(items, index, query), idOf(expected)) << "seed " << seed << " round " << round;
        }
    }
    // The libraries are made so that the check accepts often; otherwise this test would prove little.
    EXPECT_GT(accepted, 100);
}

// The snapshot a worker checks against names the same item, by id and title, as the whole list
// would, over libraries holding links, secure notes and notes without text among the notes.
TEST(NearDuplicateSnapshot, NamesTheItemTheWholeLibraryWould)
{
    int accepted = 0;
    for (quint32 seed = 11; seed <= 14; ++seed) {
        NoteWriter writer(seed);
        QList<VeskItem> items;
        for (int i = 0; i < 120; ++i) {
            const bool variant = !items.isEmpty() && writer.bounded(2) == 0;
            VeskItem item = textItem(variant ? writer.edit(items[qsizetype(writer.bounded(quint32(items.size())))].searchableText.toString())
                                             : writer.note(6 + int(writer.bounded(40))));
            switch (writer.bounded(12)) {
            case 0: item.kind = VeskKind::Url; break;
            case 1: item.searchableText = item.searchableText.toString() + QStringLiteral(" __vesk_secure__"); break;
            case 2: item.text.reset(); break;
            default: break;
            }
            items.prepend(item);
        }
        const QList<VeskItem> snapshot = nearDuplicateSnapshot(items);
        for (int round = 0; round < 60; ++round) {
            const QString query = writer.bounded(3) == 0
                ? writer.note(8 + int(writer.bounded(30)))
                : writer.edit(items[qsizetype(writer.bounded(quint32(items.size())))].searchableText.toString());
            const std::optional<VeskItem> whole = findSimilarTextIn(items, query);
            const std::optional<VeskItem> fromSnapshot = findSimilarTextIn(snapshot, query);
            ASSERT_EQ(fromSnapshot.has_value(), whole.has_value()) << "seed " << seed << " round " << round;
            if (whole) {
                accepted += 1;
                EXPECT_EQ(fromSnapshot->id, whole->id);
                EXPECT_EQ(fromSnapshot->title, whole->title);
            }
        }
    }
    EXPECT_GT(accepted, 50);
}

// Texts made to sit on the edges of what the index may leave out: most of their words are the same
// few everyday ones, some are short, some hold another text whole, some repeat one word, and
// words keep coming that the index has never seen.
class EdgeWriter {
public:
    explicit EdgeWriter(quint32 seed) : m_random(seed) {}

    QString everyday() { return QStringLiteral("word%1").arg(m_random.bounded(14)); }
    QString uncommon() { return QStringLiteral("term%1").arg(m_random.bounded(400)); }
    QString fresh() { return QStringLiteral("new%1x").arg(m_next++); }

    QString note(int words)
    {
        QStringList out;
        for (int i = 0; i < words; ++i) {
            const quint32 roll = m_random.bounded(10);
            out.append(roll < 6 ? everyday() : roll < 9 ? uncommon() : fresh());
        }
        return out.join(QLatin1Char(' '));
    }

    // A text from text: a share of its words kept in place and the rest new or everyday, some
    // words added or taken off its end, or the whole of it inside a longer one.
    QString variant(const QString& text)
    {
        QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        switch (m_random.bounded(5)) {
        case 0: { // most words kept: near either threshold
            const int keepPercent = 75 + int(m_random.bounded(26));
            for (QString& word : words) {
                if (int(m_random.bounded(100)) >= keepPercent)
                    word = m_random.bounded(2) ? fresh() : everyday();
            }
            break;
        }
        case 1: // the same text with more after it
            for (int i = 0, more = 1 + int(m_random.bounded(12)); i < more; ++i)
                words.append(m_random.bounded(2) ? fresh() : uncommon());
            break;
        case 2: // the first part of it only
            words = words.mid(0, std::max<qsizetype>(1, words.size() - 1 - qsizetype(m_random.bounded(8))));
            break;
        case 3: // inside a longer text, which then begins differently
            for (int i = 0, before = 1 + int(m_random.bounded(6)); i < before; ++i)
                words.prepend(fresh());
            break;
        default: // one word said again and again
            for (int i = 0, times = 2 + int(m_random.bounded(10)); i < times; ++i)
                words.append(words.value(qsizetype(m_random.bounded(quint32(words.size())))));
            break;
        }
        return words.join(QLatin1Char(' '));
    }

    quint32 bounded(quint32 limit) { return m_random.bounded(limit); }

private:
    QRandomGenerator m_random;
    int m_next = 0;
};

// The index may leave an item out only when the full comparison would refuse it; checked item by
// item, not only through the answer, so that an item shadowed by a better one still counts.
void expectNothingAcceptedIsLeftOut(const QList<VeskItem>& items, const NearDuplicateIndex& index,
                                    const QString& text, int* accepted)
{
    const std::optional<NearDuplicateQuery> query = prepareNearDuplicateQuery(text);
    if (!query)
        return;
    const QList<QUuid> found = index.candidates(*query);
    const QSet<QUuid> candidates(found.cbegin(), found.cend());
    for (const VeskItem& item : items) {
        if (compareNearDuplicate(*query, item).qualifies) {
            ++*accepted;
            ASSERT_TRUE(candidates.contains(item.id)) << qPrintable(text) << "\n  vs\n" << qPrintable(item.text->toString());
        }
    }
    const std::optional<VeskItem> expected = findSimilarTextIn(items, text);
    ASSERT_EQ(findSimilarTextAmong(items, *query, candidates), expected) << qPrintable(text);
    ASSERT_EQ(checkAwayFromList(items, index, text), idOf(expected)) << qPrintable(text);
}

TEST(NearDuplicateIndex, LeavesOutNoAcceptedItemAmongTextsOfEverydayWords)
{
    int accepted = 0;
    for (quint32 seed = 1; seed <= 4; ++seed) {
        EdgeWriter writer(seed);
        QList<VeskItem> items;
        for (int i = 0; i < 220; ++i) {
            const bool variant = !items.isEmpty() && writer.bounded(3) != 0;
            // From short texts of a few keywords to long ones.
            const int words = writer.bounded(3) == 0 ? 8 + int(writer.bounded(5)) : 12 + int(writer.bounded(80));
            items.prepend(textItem(variant ? writer.variant(items[qsizetype(writer.bounded(quint32(items.size())))].text->toString())
                                           : writer.note(words)));
        }
        // Half the library is there when the index is built; the rest comes one item at a time,
        // with words the build never counted.
        NearDuplicateIndex index;
        index.rebuild(items.mid(items.size() / 2));
        for (qsizetype i = items.size() / 2 - 1; i >= 0; --i)
            index.upsert(items[i]);
        for (int round = 0; round < 100; ++round) {
            if (round % 15 == 14) {
                const qsizetype at = qsizetype(writer.bounded(quint32(items.size())));
                index.remove(items[at].id);
                items.removeAt(at);
            }
            const VeskItem& from = items[qsizetype(writer.bounded(quint32(items.size())))];
            const QString text = writer.bounded(5) == 0 ? writer.note(10 + int(writer.bounded(60)))
                                                        : writer.variant(from.text->toString());
            ASSERT_NO_FATAL_FAILURE(expectNothingAcceptedIsLeftOut(items, index, text, &accepted)) << "seed " << seed;
        }
    }
    EXPECT_GT(accepted, 200);
}

// Items that share the query's beginning, so that only the keyword overlap decides, across every
// overlap from far too little to all: the bound must let through each one the rules accept.
TEST(NearDuplicateIndex, LeavesOutNoAcceptedItemAtEitherThreshold)
{
    for (const int size : {7, 8, 12, 25, 60}) {
        QStringList words;
        for (int i = 0; i < size; ++i)
            words.append(QStringLiteral("kw%1word").arg(i));
        const QString query = words.join(QLatin1Char(' '));
        QList<VeskItem> items;
        for (int kept = 1; kept <= size; ++kept) {
            for (const int extra : {0, 1, 2, 3, 5, 8, 13, 30}) {
                QStringList itemWords = words.mid(0, kept);
                for (int i = 0; i < extra; ++i)
                    itemWords.append(QStringLiteral("other%1x%2").arg(kept).arg(i));
                items.append(textItem(itemWords.join(QLatin1Char(' '))));
            }
        }
        NearDuplicateIndex built;
        built.rebuild(items);
        NearDuplicateIndex added;
        for (const VeskItem& item : std::as_const(items))
            added.upsert(item);
        int accepted = 0;
        ASSERT_NO_FATAL_FAILURE(expectNothingAcceptedIsLeftOut(items, built, query, &accepted)) << size;
        ASSERT_NO_FATAL_FAILURE(expectNothingAcceptedIsLeftOut(items, added, query, &accepted)) << size;
        // And items asked about in turn, the query now the one holding fewer or more words.
        for (qsizetype i = 0; i < items.size(); i += 3)
            ASSERT_NO_FATAL_FAILURE(expectNothingAcceptedIsLeftOut(items, built, items[i].text->toString(), &accepted));
        EXPECT_GT(accepted, 0) << size;
    }
}

// What makes the check cheap: a note that shares only everyday words with a library of such
// notes is compared with none of them.
TEST(NearDuplicateIndex, NamesNoItemThatSharesOnlyEverydayWords)
{
    EdgeWriter writer(3);
    QList<VeskItem> items;
    for (int i = 0; i < 2000; ++i)
        items.append(textItem(writer.note(150)));
    NearDuplicateIndex index;
    index.rebuild(items);
    for (int round = 0; round < 20; ++round) {
        const auto query = prepareNearDuplicateQuery(writer.note(150));
        ASSERT_TRUE(query);
        EXPECT_EQ(index.candidates(*query), QList<QUuid>());
    }
    const auto again = prepareNearDuplicateQuery(items[7].text->toString());
    EXPECT_EQ(index.candidates(*again), QList<QUuid>{items[7].id});
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
