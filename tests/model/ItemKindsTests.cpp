#include "model/ItemFileKinds.h"
#include "model/TextMarkers.h"

#include "common/TestEnvironment.h"
#include "platform/FileBirthTime.h"

#include <QFile>
#include <sys/xattr.h>
#include <gtest/gtest.h>

namespace vesk {
namespace {

VeskItem fileItem(const std::optional<QString>& path, VeskKind kind = VeskKind::File, const QString& title = {})
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = kind;
    item.title = title;
    item.filePath = path;
    item.createdAt = QDateTime::currentDateTimeUtc();
    return item;
}

TEST(ItemFileKinds, ImageLikeFollowsKindThenExtension)
{
    EXPECT_TRUE(isImageLikeItem(fileItem(std::nullopt, VeskKind::Image)));
    EXPECT_TRUE(isImageLikeItem(fileItem(QStringLiteral("/x/photo.HEIC"))));
    EXPECT_TRUE(isImageLikeItem(fileItem(QStringLiteral("/x/scan.bmp"))));
    EXPECT_FALSE(isImageLikeItem(fileItem(QStringLiteral("/x/doc.pdf"))));
    EXPECT_FALSE(isImageLikeItem(fileItem(std::nullopt, VeskKind::File, QStringLiteral("a.png"))));
    // A dot in a folder name is not the file's extension.
    EXPECT_FALSE(isImageLikeItem(fileItem(QStringLiteral("/x/shots.png/readme"))));
}

TEST(ItemFileKinds, BadgeTable)
{
    struct Row {
        std::optional<QString> path;
        const char* text;
        const char* symbol;
    };
    const Row rows[] = {
        {QStringLiteral("/a/Report.PDF"), "PDF", "doc.richtext"},
        {QStringLiteral("/a/notes.md"), "TEXT", "doc.text"},
        {QStringLiteral("/a/deck.key"), "SLIDES", "rectangle.on.rectangle"},
        {QStringLiteral("/a/budget.numbers"), "SHEET", "tablecells"},
        {QStringLiteral("/a/letter.pages"), "PAGES", "doc"},
        {QStringLiteral("/a/song.flac"), "FLAC", "doc"},
        {QStringLiteral("/a/archive.tar.gz"), "GZ", "doc"},
        {QStringLiteral("/a/photo.heic"), "HEIC", "doc"},
        {QStringLiteral("/a/clip.m4v"), "VIDEO", "film"},
        {QStringLiteral("/a/voice.aac"), "AUDIO", "waveform"},
        {QStringLiteral("/a/bundle.zip"), "ZIP", "archivebox"},
        {QStringLiteral("/a/letter.rtf"), "DOC", "doc.text"},
        {QStringLiteral("/a/Makefile"), "FILE", "doc"},
        {std::nullopt, "FILE", "doc"},
    };
    for (const Row& row : rows) {
        const VeskItem item = fileItem(row.path);
        const std::string label = row.path.value_or(QStringLiteral("<none>")).toStdString();
        EXPECT_EQ(formatBadgeText(item), QLatin1String(row.text)) << label;
        EXPECT_EQ(formatBadgeSymbol(item), QLatin1String(row.symbol)) << label;
    }
}

TEST(ItemFileKinds, HtmlSourcedAndSecureMarkers)
{
    VeskItem page = fileItem(std::nullopt, VeskKind::Text, QStringLiteral("Saved Page.HTM"));
    EXPECT_TRUE(isHTMLSourcedItem(page));
    VeskItem marked = fileItem(std::nullopt, VeskKind::Text, QStringLiteral("Anything"));
    marked.searchableText = QStringLiteral("words __vesk_source_html__ page text");
    EXPECT_TRUE(isHTMLSourcedItem(marked));
    EXPECT_TRUE(isHTMLSourcedItem(fileItem(QStringLiteral("/i/index.html"), VeskKind::File, QStringLiteral("Home"))));
    EXPECT_FALSE(isHTMLSourcedItem(fileItem(QStringLiteral("/i/index.txt"), VeskKind::File, QStringLiteral("Home"))));
    marked.searchableText = QStringLiteral("__VESK_SOURCE_HTML__");
    EXPECT_FALSE(isHTMLSourcedItem(marked));

    VeskItem card = fileItem(std::nullopt, VeskKind::Text);
    card.searchableText = QStringLiteral("Visa __vesk_secure_credit_card__");
    EXPECT_TRUE(itemHasSecureMarker(card));
    card.searchableText = QStringLiteral("__vesk_secure__");
    EXPECT_TRUE(itemHasSecureMarker(card));
    card.searchableText = QStringLiteral("__vesk_secure");
    EXPECT_FALSE(itemHasSecureMarker(card));
}

// The markers of a long text are remembered with its buffer: an edit must be seen, however the
// text came to have the same length, and copies share the answer.
TEST(ItemFileKinds, MarkersOfLongTextsFollowEdits)
{
    VeskItem page = fileItem(std::nullopt, VeskKind::Text, QStringLiteral("Notes"));
    QString searchable(300'000, QLatin1Char('a'));
    page.searchableText = searchable.replace(150'000, 20, QStringLiteral("__vesk_source_html__"));
    EXPECT_TRUE(isHTMLSourcedItem(page));
    EXPECT_FALSE(itemHasSecureMarker(page));
    const VeskItem copy = page;
    EXPECT_TRUE(isHTMLSourcedItem(copy));

    page.searchableText = searchable.replace(150'000, 20, QStringLiteral("__vesk_secure__aaaaa"));
    EXPECT_FALSE(isHTMLSourcedItem(page));
    EXPECT_TRUE(itemHasSecureMarker(page));
    EXPECT_FALSE(textMarkers(page.searchableText).creditCard);
    // The copy kept the text it had.
    EXPECT_TRUE(isHTMLSourcedItem(copy));
    EXPECT_FALSE(itemHasSecureMarker(copy));

    // The same words in a buffer of their own are read for themselves.
    const ItemText rebuilt = ItemText::fromUtf8(page.searchableText.constData(), page.searchableText.utf8().size());
    ASSERT_FALSE(rebuilt.isSharedWith(page.searchableText));
    EXPECT_TRUE(textMarkers(rebuilt).secret);
}

TEST(ItemFileKinds, MarkersOfALongTextThatNothingHoldsAreNotKeptWithIt)
{
    forgetUnheldTextMarkers();
    const qsizetype before = rememberedTextMarkers();
    std::optional<ItemText> deleted = ItemText(QString(200'000, QLatin1Char('d')));
    const ItemText kept = ItemText(QString(200'000, QLatin1Char('k')));
    EXPECT_FALSE(textMarkers(*deleted).secret);
    EXPECT_FALSE(textMarkers(kept).secret);
    EXPECT_EQ(rememberedTextMarkers(), before + 2);

    // The deleted note's text goes at the next quiet moment, or with the next long text read.
    deleted.reset();
    forgetUnheldTextMarkers();
    EXPECT_EQ(rememberedTextMarkers(), before + 1);
    deleted = ItemText(QString(200'000, QLatin1Char('e')));
    EXPECT_FALSE(textMarkers(*deleted).secret);
    deleted.reset();
    EXPECT_FALSE(textMarkers(ItemText(QString(200'000, QLatin1Char('f')))).secret);
    EXPECT_EQ(rememberedTextMarkers(), before + 2);
    // A text still held is remembered.
    EXPECT_FALSE(kept.utf8().isDetached());
}

TEST(ItemFileKinds, FileCreationDateOfMissingFileIsNone)
{
    const QString folder = test::makeTempDirectory();
    const QString path = folder + QStringLiteral("/kept.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.close();
    const VeskItem item = fileItem(path);
    if (const auto date = fileCreationDate(item)) {
        EXPECT_EQ(date->timeSpec(), Qt::UTC);
    }
    QFile::remove(path);
    EXPECT_FALSE(fileCreationDate(item).has_value());
    EXPECT_FALSE(fileCreationDate(fileItem(std::nullopt)).has_value());
}

// The original's birth time recorded beside a managed copy wins over the copy's own, and a value
// that does not read as a date is ignored rather than shown.
TEST(ItemFileKinds, FileCreationDateReadsTheRecordedOriginalFirst)
{
    const QString path = test::makeTempDirectory() + QStringLiteral("/copy.jpg");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.close();
    const QDateTime original = QDateTime::fromString(QStringLiteral("2019-07-04T18:30:00.250Z"), Qt::ISODateWithMs);
    if (!writeRecordedCreation(path, original))
        GTEST_SKIP() << "the temporary folder's file system refuses extended attributes";
    EXPECT_EQ(recordedCreation(path), original);
    EXPECT_EQ(fileCreationDate(fileItem(path)), original);

    const QByteArray garbage("not a date");
    ASSERT_EQ(::setxattr(QFile::encodeName(path).constData(), kRecordedCreationAttribute, garbage.constData(),
                         size_t(garbage.size()), 0),
              0);
    EXPECT_FALSE(recordedCreation(path).has_value());
    EXPECT_EQ(fileCreationDate(fileItem(path)), fileBirthTime(path));
}

} // namespace
} // namespace vesk
