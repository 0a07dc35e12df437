#include "present/DisplayTitles.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace vesk {
namespace {

VeskItem titled(const QString& title, VeskKind kind = VeskKind::Image)
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.title = title;
    item.kind = kind;
    item.createdAt = QDateTime(QDate(2024, 5, 17), QTime(12, 0), Qt::UTC);
    return item;
}

const QLocale kUS(QLocale::English, QLocale::UnitedStates);

QString fallback(const VeskItem& item)
{
    return veskKindWord(item.kind) + QStringLiteral(" \u2022 ") + abbreviatedDateText(item.createdAt, kUS);
}

struct TitleCase {
    const char* title;
    const char* expected; // nullptr: the kind word and date stand in
};

TEST(DisplayTitles, CleansMachineMadeNamesAndKeepsMeaningfulOnes)
{
    const QString uuid = QStringLiteral("3F2504E0-4F89-11D3-9A0C-0305E82C3301");
    const TitleCase cases[] = {
        {"IMG_4821.HEIC", nullptr},
        {"PXL_20240517_123456789.jpg", nullptr},
        {"Quarterly report.final.docx", "Quarterly report.final"},
        {"notes.md", "notes.md"},
        {"Meeting notes 20240517", "Meeting notes"},
        {"Budget 2024", "Budget 2024"},
        {"12345", "12345"},
        {"123456", nullptr},
        {"deadbeef-00", nullptr},
        {"Photo", nullptr},
        {"scan_0001", nullptr},
        {"SCAN_0001", nullptr},
        {"Photos of Rome", "Photos of Rome"},
        {"", nullptr},
        {"  \n\t ", nullptr},
        {"__Trip_to__the_coast__.png", "Trip to the coast"},
        {"report-0123456789abcdef", "report"},
        {"archive.tar.gz", "archive.tar.gz"},
    };
    for (const TitleCase& c : cases) {
        const VeskItem item = titled(QString::fromUtf8(c.title));
        const QString expected = c.expected ? QString::fromUtf8(c.expected) : fallback(item);
        EXPECT_EQ(cleanedDisplayTitle(item, kUS), expected) << c.title;
    }

    const VeskItem invoice = titled(QStringLiteral("Invoice-") + uuid + QStringLiteral(".pdf"), VeskKind::File);
    EXPECT_EQ(cleanedDisplayTitle(invoice, kUS), QStringLiteral("Invoice"));
    const VeskItem bareUuid = titled(uuid.toLower(), VeskKind::File);
    EXPECT_EQ(cleanedDisplayTitle(bareUuid, kUS), fallback(bareUuid));
}

TEST(DisplayTitles, FallbackNamesTheKindAndDate)
{
    const VeskItem link = titled(QStringLiteral("IMG_0001"), VeskKind::Url);
    EXPECT_EQ(cleanedDisplayTitle(link, kUS), QStringLiteral("Link \u2022 ") + abbreviatedDateText(link.createdAt, kUS));
    const VeskItem activity = titled(QString(), VeskKind::Activity);
    EXPECT_TRUE(cleanedDisplayTitle(activity, kUS).startsWith(QStringLiteral("Activity \u2022 ")));

    // The abbreviated style has a short month name and no weekday.
    const QString date = abbreviatedDateText(QDateTime(QDate(2019, 7, 4), QTime(12, 0), Qt::UTC), kUS);
    EXPECT_TRUE(date.contains(QStringLiteral("Jul"))) << date.toStdString();
    EXPECT_TRUE(date.contains(QStringLiteral("2019"))) << date.toStdString();
    EXPECT_FALSE(date.contains(QStringLiteral("July")));
    EXPECT_FALSE(date.contains(QStringLiteral("Thursday")));
}

} // namespace
} // namespace vesk
