#include "intake/FileTitles.h"
#include "intake/VersionKey.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

VeskItem itemOfKind(VeskKind kind, const QString& title = QString(),
                    std::optional<QString> filePath = std::nullopt)
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = kind;
    item.title = title;
    item.filePath = std::move(filePath);
    return item;
}

class FileTitleTest : public ::testing::Test {
protected:
    QString titleOf(const QString& name, VeskKind kind = VeskKind::File) const
    {
        return cleanedTitleFromFileName(name, itemOfKind(kind), date);
    }
    QString fallback(const QString& word) const { return word + titleSeparator() + abbreviatedDateText(date); }

    QDateTime date = QDateTime(QDate(2026, 3, 14), QTime(12, 0), Qt::UTC);
};

TEST_F(FileTitleTest, WordsSurviveIdentifiersAndSerialsGo)
{
    EXPECT_EQ(titleOf(QStringLiteral("Quarterly_report_3F2504E0-4F89-11D3-9A0C-0305E82C3301.pdf")),
              QStringLiteral("Quarterly report"));
    EXPECT_EQ(titleOf(QStringLiteral("Meeting notes 20240501.docx")), QStringLiteral("Meeting notes"));
    EXPECT_EQ(titleOf(QStringLiteral("  Holiday plan.txt ")), QStringLiteral("Holiday plan"));
    EXPECT_EQ(titleOf(QStringLiteral("scan-0123456789abcdef.png"), VeskKind::Image),
              fallback(QStringLiteral("Photo")));
}

TEST_F(FileTitleTest, MachineNamesFallBackToKindWordAndDate)
{
    EXPECT_EQ(titleOf(QStringLiteral("IMG_4821.HEIC"), VeskKind::Image), fallback(QStringLiteral("Photo")));
    EXPECT_EQ(titleOf(QStringLiteral("IMG_4821"), VeskKind::Image), fallback(QStringLiteral("Image")));
    EXPECT_EQ(titleOf(QStringLiteral("20240501.txt")), fallback(QStringLiteral("File")));
    EXPECT_EQ(titleOf(QStringLiteral("DSC01234.mov")), fallback(QStringLiteral("Video")));
    EXPECT_EQ(titleOf(QStringLiteral("3f2504e0-4f89.zip")), fallback(QStringLiteral("Archive")));
    EXPECT_EQ(titleOf(QStringLiteral("___.pdf")), fallback(QStringLiteral("PDF")));
    EXPECT_EQ(titleOf(QStringLiteral("123456"), VeskKind::Activity), fallback(QStringLiteral("Activity")));
}

TEST_F(FileTitleTest, GeneratedNamesGiveTheirKind)
{
    EXPECT_EQ(generatedFileKind(QStringLiteral("Vesk-Photo-2024-05-01-101500-1A2B3C4D.jpg")),
              QStringLiteral("Photo"));
    EXPECT_EQ(generatedFileKind(QStringLiteral("vesk-image-2024_05_01_101500-1a2b3c4d-FFFF.png")),
              QStringLiteral("Photo"));
    EXPECT_EQ(generatedFileKind(QStringLiteral("Vesk-Document-2024-05-01-101500-1A2B3C4D.pdf")),
              QStringLiteral("Document"));
    // Not split by '-' after the product word: counted as a plain file.
    EXPECT_EQ(generatedFileKind(QStringLiteral("Vesk_Video_2024-05-01-101500-1A2B3C4D.mov")),
              QStringLiteral("File"));
    EXPECT_EQ(generatedFileKind(QStringLiteral("Vesk-Photo-2024-05-01-1015-1A2B3C4D.jpg")), std::nullopt);
    EXPECT_EQ(generatedFileKind(QStringLiteral("My Vesk-Photo-2024-05-01-101500-1A2B3C4D.jpg")), std::nullopt);

    EXPECT_EQ(titleOf(QStringLiteral("Vesk-Note-2024-05-01-101500-1A2B3C4D.txt")), fallback(QStringLiteral("Note")));
}

// Each rule on both sides of its edge.
TEST(GenericFileName, EachRuleAndItsNearMisses)
{
    const char* generic[] = {
        "IMG_20240501",                                    // camera prefix and serial
        "IMG_20240501.jpg",                                // ... with an extension
        "pxl 12ab",                                        // any case, a space, four letters or digits
        "Trip 6F1C9C52-3D1A-4B8E-9A55-0C2F4D7E8A10 notes", // a UUID between words
        "report-12345678",                                 // a hyphen and eight digits
        "photo_0123456789abcdef.png",                      // a long hexadecimal tail
        "deadbeef-01",                                     // ten hexadecimal digits and hyphens
        "Vesk-Photo-2024-05-01-101500-1A2B3C4D.jpg",       // a name Vesk generated
    };
    for (const char* name : generic)
        EXPECT_TRUE(isGenericFileName(QString::fromUtf8(name))) << name;

    const char* readable[] = {
        "IMG",             // the prefix alone
        "IMG_123",         // too short a serial
        "Holiday 2024",    // a year is not a serial
        "report-1234",     // four digits
        "deadbeef-",       // nine characters
        "Budget.xlsx",
        "Zürich trip",
    };
    for (const char* name : readable)
        EXPECT_FALSE(isGenericFileName(QString::fromUtf8(name))) << name;
}

TEST(VersionKey, VersionWordsAndCountersAreIgnored)
{
    for (const char* name : {"Report final.pdf", "report_v2.pdf", "Report (3).pdf", "Report-draft2.pdf",
                             "Report revision 4.pdf", "REPORT copy.pdf", "Report this is the one.pdf",
                             "/some/folder/Report_FNL.pdf", "Report absolute.pdf", "Report_thisistheone.pdf",
                             "Report version.pdf", "Report version3.pdf", "Report ver2.pdf", "Report rev12.pdf",
                             "Report_12.pdf", "Report - 7.pdf"})
        EXPECT_EQ(versionKey(QString::fromUtf8(name)), QStringLiteral("report")) << name;
    EXPECT_EQ(versionKey(QStringLiteral("V7.pdf")), QString());
    EXPECT_EQ(versionKey(QStringLiteral("Budget 2024.xlsx")), QStringLiteral("budget"));
    // No word boundaries: "final" goes from inside a longer word too.
    EXPECT_EQ(versionKey(QStringLiteral("Finalists.txt")), QStringLiteral("ists"));
}

TEST(VersionKey, RelatedVersionNeedsSameExtensionAndKey)
{
    const VeskItem docx = itemOfKind(VeskKind::File, QStringLiteral("Report"), QStringLiteral("/i/A/Report.docx"));
    const VeskItem pdf = itemOfKind(VeskKind::File, QStringLiteral("Report"), QStringLiteral("/i/B/Report.PDF"));
    const VeskItem later = itemOfKind(VeskKind::File, QStringLiteral("report v1"), QStringLiteral("/i/C/r.pdf"));
    const VeskItem link = itemOfKind(VeskKind::Url, QStringLiteral("Report"));
    const QList<VeskItem> items{link, docx, pdf, later};

    for (const char* name : {"Report final.pdf", "report_v2.pdf", "Report (3).pdf", "REPORT copy.pdf"})
        EXPECT_EQ(findRelatedVersionIn(items, QString::fromUtf8(name)), pdf) << name;
    EXPECT_EQ(findRelatedVersionIn(items, QStringLiteral("Report draft.docx")), docx);
    EXPECT_EQ(findRelatedVersionIn(items, QStringLiteral("Report.key")), std::nullopt);
    EXPECT_EQ(findRelatedVersionIn(items, QStringLiteral("V7.pdf")), std::nullopt);
}

} // namespace
} // namespace vesk
