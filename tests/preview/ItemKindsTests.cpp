#include "preview/GroupFilter.h"
#include "preview/ItemFileKinds.h"

#include "common/TestEnvironment.h"

#include <QFile>
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

QList<VeskItem> library(int count, const std::optional<QUuid>& group = std::nullopt)
{
    QList<VeskItem> items;
    for (int i = 0; i < count; ++i) {
        VeskItem item = fileItem(std::nullopt, VeskKind::Text, QString::number(i));
        item.groupID = group;
        items.append(item);
    }
    return items;
}

TEST(GroupFilter, EqualityOfCases)
{
    const QUuid a = QUuid::createUuid();
    const QUuid b = QUuid::createUuid();
    EXPECT_EQ(VeskGroupFilter::group(a), VeskGroupFilter::group(a));
    EXPECT_NE(VeskGroupFilter::group(a), VeskGroupFilter::group(b));
    EXPECT_NE(VeskGroupFilter::all(), VeskGroupFilter::ungrouped());
    EXPECT_NE(VeskGroupFilter::group(QUuid()), VeskGroupFilter::all());
    EXPECT_NE(VeskGroupFilter::group(QUuid()), VeskGroupFilter::ungrouped());
}

TEST(GroupFilter, BrowseNarrowsAndCutsSearchDoesNot)
{
    const QUuid a = QUuid::createUuid();
    QList<VeskItem> items = library(121);
    EXPECT_EQ(visibleItems(QString(), items, VeskGroupFilter::all(), false).size(), 120);
    EXPECT_EQ(visibleItems(QString(), items, VeskGroupFilter::all(), false).last().title, QStringLiteral("119"));
    EXPECT_EQ(visibleItems(QStringLiteral(" \t\n"), items, VeskGroupFilter::all(), false).size(), 120);
    EXPECT_EQ(visibleItems(QString(), items, VeskGroupFilter::all(), true).size(), 121);
    EXPECT_TRUE(recentCutApplies(QString(), items.size(), VeskGroupFilter::all(), false));
    EXPECT_FALSE(recentCutApplies(QString(), 120, VeskGroupFilter::all(), false));
    EXPECT_FALSE(recentCutApplies(QStringLiteral("x"), items.size(), VeskGroupFilter::all(), false));
    EXPECT_FALSE(recentCutApplies(QString(), items.size(), VeskGroupFilter::all(), true));

    QList<VeskItem> grouped = library(500, a);
    grouped.append(library(3));
    EXPECT_EQ(visibleItems(QString(), grouped, VeskGroupFilter::group(a), false).size(), 500);
    EXPECT_EQ(visibleItems(QString(), grouped, VeskGroupFilter::ungrouped(), false).size(), 3);
    EXPECT_TRUE(visibleItems(QString(), grouped, VeskGroupFilter::group(QUuid::createUuid()), false).isEmpty());
    EXPECT_FALSE(recentCutApplies(QString(), grouped.size(), VeskGroupFilter::ungrouped(), false));

    // A search shows every result in the store's order, whatever the filter.
    const QList<VeskItem> shown = visibleItems(QStringLiteral("q"), grouped, VeskGroupFilter::group(QUuid::createUuid()), false);
    EXPECT_EQ(shown, grouped);
}

TEST(GroupFilter, SearchReactionPicksTheCurrentTopOrResetsThePulse)
{
    const QList<VeskItem> items = library(3);
    const SearchReaction typing = searchReactionFor(QStringLiteral("a"), items);
    ASSERT_TRUE(typing.selectID.has_value());
    EXPECT_EQ(*typing.selectID, items.first().id);
    EXPECT_TRUE(typing.togglePulse);
    EXPECT_FALSE(typing.resetPulse);

    const SearchReaction nothing = searchReactionFor(QStringLiteral("a"), {});
    EXPECT_FALSE(nothing.selectID.has_value());
    EXPECT_FALSE(nothing.togglePulse);

    const SearchReaction cleared = searchReactionFor(QStringLiteral("  "), items);
    EXPECT_FALSE(cleared.selectID.has_value());
    EXPECT_TRUE(cleared.resetPulse);
}

} // namespace
} // namespace vesk
