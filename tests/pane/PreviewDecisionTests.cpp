#include "pane/PreviewKindDecision.h"
#include "pane/SplitLayoutWidth.h"

#include <QTimeZone>
#include <gtest/gtest.h>
#include <limits>

using namespace vesk;

namespace {

VeskItem makeItem(VeskKind kind, std::optional<QString> path = std::nullopt, std::optional<QString> text = std::nullopt,
    std::optional<QString> url = std::nullopt, QString searchable = {})
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = kind;
    item.title = QStringLiteral("Item");
    item.filePath = std::move(path);
    item.text = std::move(text);
    item.urlString = std::move(url);
    item.searchableText = std::move(searchable);
    item.createdAt = QDateTime(QDate(2024, 3, 5), QTime(10, 30), Qt::UTC);
    return item;
}

} // namespace

TEST(PreviewDecision, SecureAndPackagesComeBeforeMedia)
{
    // A secure item never shows its content, whatever its path or text.
    EXPECT_EQ(previewSection(makeItem(VeskKind::Text, "/x/card.png", "4111", std::nullopt,
                  "__vesk_secure_credit_card__")),
        PreviewSection::Secure);
    EXPECT_EQ(previewSection(makeItem(VeskKind::Text, std::nullopt, "pw", std::nullopt, "a __vesk_secure__ b")),
        PreviewSection::Secure);
    // The package test uses the whole path, in any case, before the kind.
    EXPECT_EQ(previewSection(makeItem(VeskKind::Text, "/Items/A/Trip.VESKNOTE", "words")), PreviewSection::PhotoNote);
    EXPECT_EQ(previewSection(makeItem(VeskKind::Activity, "/Items/A/run.veskactivity")), PreviewSection::Activity);
    EXPECT_EQ(previewSection(makeItem(VeskKind::Activity)), PreviewSection::Activity);
}

TEST(PreviewDecision, MediaByExtensionThenContentFallbacks)
{
    EXPECT_EQ(previewSection(makeItem(VeskKind::File, "/x/clip.MOV")), PreviewSection::Video);
    EXPECT_EQ(previewSection(makeItem(VeskKind::File, "/x/song.AIFF")), PreviewSection::Audio);
    EXPECT_EQ(previewSection(makeItem(VeskKind::File, "/x/photo.HEIC")), PreviewSection::Image);
    EXPECT_EQ(previewSection(makeItem(VeskKind::Image)), PreviewSection::Image);
    // Media wins over extracted text; text wins over a link.
    EXPECT_EQ(previewSection(makeItem(VeskKind::File, "/x/talk.mp3", "transcript")), PreviewSection::Audio);
    EXPECT_EQ(previewSection(makeItem(VeskKind::File, "/x/report.pdf", "extracted")), PreviewSection::Text);
    EXPECT_EQ(previewSection(makeItem(VeskKind::Url, std::nullopt, "both", "https://a.example")),
        PreviewSection::Text);
    EXPECT_EQ(previewSection(makeItem(VeskKind::Url, std::nullopt, std::nullopt, "https://a.example")),
        PreviewSection::Link);
    EXPECT_EQ(previewSection(makeItem(VeskKind::File, "/x/archive.tar.gz")), PreviewSection::File);
    EXPECT_EQ(previewSection(makeItem(VeskKind::File, "/x/noextension")), PreviewSection::File);
    EXPECT_EQ(previewSection(makeItem(VeskKind::File)), PreviewSection::None);
    EXPECT_EQ(previewSection(makeItem(VeskKind::Text)), PreviewSection::None);

    EXPECT_EQ(previewSectionSpacing(PreviewSection::Video), 12);
    EXPECT_EQ(previewSectionSpacing(PreviewSection::Image), 10);
    EXPECT_EQ(previewSectionSpacing(PreviewSection::Text), 8);
}

TEST(PreviewDecision, HeaderSymbolsBadgesAndActions)
{
    const VeskItem secure = makeItem(VeskKind::Text, std::nullopt, "x", std::nullopt, "__vesk_secure__");
    EXPECT_EQ(previewKindSymbol(secure), "lock.shield.fill");
    EXPECT_EQ(previewFormatLabel(secure), "SECURE");
    EXPECT_FALSE(showsEditButton(secure));

    const VeskItem web = makeItem(VeskKind::Text, std::nullopt, "page", std::nullopt, "__vesk_source_html__ page");
    EXPECT_EQ(previewKindSymbol(web), "globe");
    EXPECT_EQ(previewFormatLabel(web), "HTML");
    EXPECT_FALSE(showsEditButton(web));
    EXPECT_EQ(textSectionTitle(web), "Page Text");

    const VeskItem note = makeItem(VeskKind::Text, std::nullopt, "hello");
    EXPECT_TRUE(showsEditButton(note));
    EXPECT_EQ(textSectionTitle(note), "Contents");
    EXPECT_EQ(previewFormatLabel(note), "Text");

    // A PNG file item is image-like: Edit Image and no badge; its icon still follows the format.
    const VeskItem png = makeItem(VeskKind::File, "/x/scan.PNG");
    EXPECT_TRUE(showsEditImageButton(png));
    EXPECT_FALSE(showsFormatBadge(png));
    EXPECT_EQ(previewKindSymbol(png), "doc");

    const VeskItem link = makeItem(VeskKind::Url, std::nullopt, std::nullopt, "https://a.example");
    EXPECT_EQ(previewKindSymbol(link), "link");
    EXPECT_EQ(previewFormatLabel(link), "Link");
    EXPECT_FALSE(showsEditButton(link));
    EXPECT_FALSE(showsEditImageButton(link));
    EXPECT_EQ(previewFormatLabel(makeItem(VeskKind::File, "/x/Report.PDF")), "PDF");
}

TEST(PreviewDecision, DateRowsPreferTheStoredFilesCreation)
{
    const VeskItem item = makeItem(VeskKind::File, "/x/a.pdf");
    const QDateTime fileDate(QDate(2020, 1, 2), QTime(8, 0), Qt::UTC);
    const QList<PreviewDateRow> both = previewDateRows(item, fileDate);
    ASSERT_EQ(both.size(), 2);
    EXPECT_EQ(both.at(0), (PreviewDateRow{"Created", fileDate}));
    EXPECT_EQ(both.at(1), (PreviewDateRow{"Vesked", item.createdAt}));

    const QList<PreviewDateRow> single = previewDateRows(item, std::nullopt);
    ASSERT_EQ(single.size(), 1);
    EXPECT_EQ(single.at(0), (PreviewDateRow{"Created", item.createdAt}));
    EXPECT_EQ(previewDateRows(item, QDateTime()).size(), 1);

    const QString text = previewDateText(item.createdAt, QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_TRUE(text.contains("Mar")) << text.toStdString();
    EXPECT_TRUE(text.contains("2024")) << text.toStdString();
    // Hours and minutes only, also where the locale's short time carries seconds.
    const QDateTime withSeconds(QDate(2024, 3, 5), QTime(10, 30, 45), Qt::UTC);
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
             QLocale(QLocale::German, QLocale::Germany)}) {
        const QString shown = previewDateText(withSeconds, locale);
        EXPECT_FALSE(shown.contains("45")) << shown.toStdString();
        EXPECT_TRUE(shown.contains("30")) << shown.toStdString();
    }
}

TEST(PreviewPaneWidth, DragsClampBothLiveAndStored)
{
    using namespace PreviewPaneWidth;
    // 500 to the left from 350 stops at 700.
    EXPECT_DOUBLE_EQ(effective(350, -500), 700);
    EXPECT_DOUBLE_EQ(committed(350, -500), 700);
    // 100 to the right from 350 stores 300; further right changes nothing.
    EXPECT_DOUBLE_EQ(committed(350, 100), 300);
    EXPECT_DOUBLE_EQ(committed(300, 80), 300);
    // A click stores the current width, clamped when it was stored out of range.
    EXPECT_DOUBLE_EQ(committed(420, 0), 420);
    EXPECT_DOUBLE_EQ(committed(900, 0), 700);
    EXPECT_DOUBLE_EQ(effective(120, 0), 300);

    EXPECT_DOUBLE_EQ(fromSetting(QVariant()), 350);
    EXPECT_DOUBLE_EQ(fromSetting(QVariant("wide")), 350);
    EXPECT_DOUBLE_EQ(fromSetting(QVariant(std::numeric_limits<double>::quiet_NaN())), 350);
    EXPECT_DOUBLE_EQ(fromSetting(QVariant(512.5)), 512.5);
    EXPECT_DOUBLE_EQ(clamped(std::numeric_limits<double>::infinity()), 350);
}
