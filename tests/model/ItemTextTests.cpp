#include "model/ItemText.h"
#include "model/VeskItem.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace vesk;

namespace {

// Texts whose UTF-16 and UTF-8 forms differ in every way that matters: one to four bytes a
// character, pairs of surrogates, a NUL, and marks that combine.
QStringList sampleTexts()
{
    return {QString(),
            QStringLiteral("plain ascii prose, with punctuation!"),
            QString::fromUtf8("Café naïve Ångström"),
            QString::fromUtf8("日本語のテキスト"),
            QString::fromUtf8("🎉 party 👩‍👩‍👧 family 𝄞 clef"),
            QString::fromUtf8("e\xCC\x81 combining"),
            QChar(0xFEFF) + QStringLiteral("a leading U+FEFF") + QChar(0xFEFF),
            QString(QStringLiteral("nul\0inside")).append(QChar(0)).append(QStringLiteral("end"))};
}

// Random bytes that lean towards the edges of UTF-8: leads with missing or extra continuation
// bytes, overlong forms, encoded surrogates and values past U+10FFFF.
QByteArray awkwardBytes(QRandomGenerator& random)
{
    static const QByteArray pieces[] = {
        "a", "Z ", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x8E\x89", "\x80", "\xBF", "\xC0\xAF", "\xC1\xBF",
        "\xC3", "\xE2\x82", "\xF0\x9F\x8E", "\xE0\x80\xAF", "\xED\xA0\x80", "\xED\xBF\xBF", "\xF4\x90\x80\x80",
        "\xF5\x80\x80\x80", "\xFF", "\xFE", "\xEF\xBB\xBF", "\xF8\x88\x80\x80\x80", QByteArray("\0", 1)};
    QByteArray bytes;
    const int count = int(random.bounded(12));
    for (int i = 0; i < count; ++i)
        bytes += pieces[random.bounded(int(std::size(pieces)))];
    return bytes;
}

} // namespace

TEST(ItemText, QStringRoundTripsExactlyWithTheSameLength)
{
    for (const QString& text : sampleTexts()) {
        const ItemText held(text);
        EXPECT_EQ(held.toString(), text);
        EXPECT_EQ(held.size(), text.size());
        EXPECT_EQ(held.isEmpty(), text.isEmpty());
        EXPECT_EQ(held.utf8(), text.toUtf8());
        EXPECT_EQ(held.isAscii(), text.toUtf8().size() == text.size());
        EXPECT_TRUE(held == text);
        EXPECT_EQ(held, ItemText::fromUtf8(text.toUtf8()));
        EXPECT_EQ(qHash(held), qHash(ItemText::fromUtf8(text.toUtf8())));
    }
    // Equal lengths, different texts: neither the comparison nor the hash may stop at the length.
    EXPECT_FALSE(ItemText(QStringLiteral("abc")) == QStringLiteral("abd"));
    EXPECT_NE(ItemText(QString::fromUtf8("é")), ItemText(QString::fromUtf8("è")));
    EXPECT_FALSE(ItemText(QString::fromUtf8("é")) == QStringLiteral("e"));
    EXPECT_TRUE(ItemText("Café") == QString::fromUtf8("Café"));
}

// A lone surrogate cannot be written as UTF-8: it becomes "?", the same byte the database has
// always been given for it, so the text held is the text stored.
TEST(ItemText, LoneSurrogatesBecomeWhatTheDatabaseHasAlwaysStored)
{
    const QString loneHigh = QStringLiteral("a") + QChar(0xD83C) + QStringLiteral("b");
    const QString loneLow = QChar(0xDF89) + QStringLiteral("end");
    for (const QString& text : {loneHigh, loneLow}) {
        const ItemText held(text);
        EXPECT_EQ(held.utf8(), text.toUtf8());
        EXPECT_EQ(held.toString(), QString::fromUtf8(text.toUtf8()));
        EXPECT_FALSE(held.toString().contains(QChar(0xD83C)));
        EXPECT_EQ(held.size(), held.toString().size());
        EXPECT_FALSE(held == text);
    }
}

// Bytes from outside hold what a UTF-8 decode makes of them, however broken, so a text has one
// spelling (and one set of bytes) whichever way it arrived. Valid bytes stay exactly as they are.
TEST(ItemText, BytesFromOutsideMeanWhatADecodeMakesOfThem)
{
    QRandomGenerator random(20261207);
    for (int round = 0; round < 20'000; ++round) {
        const QByteArray bytes = awkwardBytes(random);
        // A leading EF BB BF is the text's U+FEFF, not a byte order mark to drop.
        const QString decoded = QString::fromUtf8("x" + bytes).mid(1);
        const ItemText held = ItemText::fromUtf8(bytes);
        ASSERT_EQ(held.toString(), decoded) << bytes.toHex().constData();
        ASSERT_EQ(held.size(), decoded.size()) << bytes.toHex().constData();
        ASSERT_EQ(held.utf8(), decoded.toUtf8()) << bytes.toHex().constData();
        ASSERT_EQ(held, ItemText(decoded)) << bytes.toHex().constData();
        ASSERT_EQ(held.isBlank(), decoded.trimmed().isEmpty()) << bytes.toHex().constData();
        if (QString::fromUtf8("x" + bytes).toUtf8() == "x" + bytes)
            ASSERT_EQ(held.utf8(), bytes) << bytes.toHex().constData();
    }
    EXPECT_TRUE(ItemText::fromUtf8(QByteArray()).isEmpty());
    EXPECT_TRUE(ItemText(static_cast<const char*>(nullptr)).isEmpty());
    const ItemText marked = ItemText::fromUtf8(QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx"));
    EXPECT_EQ(marked.toString(), QString(2, QChar(0xFEFF)) + QStringLiteral("x"));
    EXPECT_EQ(ItemText(marked.toString()), marked);
}

// Cards and titles decode only the start of a text; a count that falls between the two halves of
// a pair leaves the whole character out instead of ending in half of it.
TEST(ItemText, PrefixesAndPiecesNeverCutACharacterInHalf)
{
    const QString text = QString::fromUtf8("ab🎉cd𝄞é");
    const ItemText held(text);
    ASSERT_EQ(held.size(), 9);
    EXPECT_EQ(held.left(0), QString());
    EXPECT_EQ(held.left(2), QStringLiteral("ab"));
    EXPECT_EQ(held.left(3), QStringLiteral("ab")); // would cut 🎉
    EXPECT_EQ(held.left(4), QString::fromUtf8("ab🎉"));
    EXPECT_EQ(held.left(7), QString::fromUtf8("ab🎉cd"));
    EXPECT_EQ(held.left(8), QString::fromUtf8("ab🎉cd𝄞"));
    EXPECT_EQ(held.left(100), text);
    EXPECT_EQ(held.mid(2, 2), QString::fromUtf8("🎉"));
    EXPECT_EQ(held.mid(3), QString::fromUtf8("cd𝄞é")); // starts inside 🎉: skipped whole
    EXPECT_EQ(held.mid(4, 3), QStringLiteral("cd")); // ends inside 𝄞
    EXPECT_EQ(held.mid(6), QString::fromUtf8("𝄞é"));
    EXPECT_EQ(held.mid(8), QString::fromUtf8("é"));
    EXPECT_EQ(held.mid(9), QString());
    EXPECT_EQ(held.mid(-2, 4), QStringLiteral("ab"));
    // A piece that starts with U+FEFF keeps it.
    const ItemText marks(QStringLiteral("ab") + QChar(0xFEFF) + QStringLiteral("c"));
    EXPECT_EQ(marks.mid(2), QString(QChar(0xFEFF)) + QStringLiteral("c"));

    // Elsewhere a prefix and a piece are exactly what QString gives.
    const ItemText ascii(QStringLiteral("0123456789"));
    EXPECT_EQ(ascii.left(4), QStringLiteral("0123"));
    EXPECT_EQ(ascii.mid(3, 4), QStringLiteral("3456"));
    const QString prose = QString::fromUtf8("Ünïcødé prose, 日本語 too");
    const ItemText heldProse(prose);
    for (qsizetype n = 0; n <= prose.size() + 1; ++n) {
        EXPECT_EQ(heldProse.left(n), prose.left(n)) << n;
        EXPECT_EQ(heldProse.mid(n, 5), prose.mid(n, 5)) << n;
    }
}

TEST(ItemText, BlankIsWhatTrimmingEmpties)
{
    for (const char* utf8 : {"", " ", "\t\n\r\v\f", "\xC2\xA0", "\xE2\x80\xA8 \xE3\x80\x80", " x ",
                             "\xC2\xA0\xC3\xA9", "\xE2\x80\x8B"}) {
        const QString text = QString::fromUtf8(utf8);
        EXPECT_EQ(ItemText(text).isBlank(), text.trimmed().isEmpty()) << utf8;
    }
}

// Equal texts are one buffer: copies of an item, and a note whose searchable text is its text.
TEST(ItemText, CopiesAndEqualTextsOfAnItemShareOneBuffer)
{
    VeskItem note;
    note.text = QString::fromUtf8("Grocery list: café au lait, 🍞");
    note.searchableText = QString::fromUtf8("Grocery list: café au lait, 🍞");
    EXPECT_FALSE(note.text->isSharedWith(note.searchableText));
    shareEqualTexts(note);
    EXPECT_TRUE(note.text->isSharedWith(note.searchableText));
    const VeskItem copy = note;
    EXPECT_TRUE(copy.text->isSharedWith(note.text.value()));
    EXPECT_TRUE(copy.searchableText.isSharedWith(note.text.value()));
    EXPECT_EQ(copy, note);

    // Different texts stay apart, and an item without text is left as it is.
    VeskItem file;
    file.text = QStringLiteral("body");
    file.searchableText = QStringLiteral("report.pdf body");
    shareEqualTexts(file);
    EXPECT_FALSE(file.text->isSharedWith(file.searchableText));
    VeskItem none;
    none.searchableText = QStringLiteral("x");
    shareEqualTexts(none);
    EXPECT_FALSE(none.text.has_value());
    EXPECT_EQ(none.searchableText, QStringLiteral("x"));

    // No text and an empty text are different items.
    VeskItem empty = none;
    empty.text = QString();
    EXPECT_NE(empty, none);
    EXPECT_NE(qHash(empty), qHash(none));
}

// A text held from a QString keeps only the bytes it uses: the encoder's room for the longest
// possible result would otherwise stay with every text for the life of the library.
TEST(ItemText, KeepsNoSpareRoomFromEncoding)
{
    const ItemText held(QStringLiteral("a short ascii note").repeated(50));
    EXPECT_LE(held.utf8().capacity(), held.utf8().size() + 1);
}
