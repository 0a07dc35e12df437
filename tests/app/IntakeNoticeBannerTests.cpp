#include "app/VeskIntakeNoticeView.h"
#include "platform/ui/IconMap.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

VeskIntakeNotice notice(VeskIntakeNoticeKind kind, std::optional<QString> detail)
{
    return VeskIntakeNotice{QUuid::createUuid(), kind, QStringLiteral("Already in Vesk"), std::move(detail),
                            QUuid::createUuid()};
}

TEST(IntakeNoticeBanner, EveryKindHasAKnownSymbol)
{
    QStringList symbols;
    for (VeskIntakeNoticeKind kind :
         {VeskIntakeNoticeKind::Captured, VeskIntakeNoticeKind::Duplicate, VeskIntakeNoticeKind::Version}) {
        const QString symbol = VeskIntakeNoticeView::symbolFor(kind);
        EXPECT_TRUE(IconMap::materialName(symbol)) << qPrintable(symbol);
        symbols.append(symbol);
    }
    EXPECT_EQ(symbols, (QStringList{"checkmark.circle.fill", "arrow.uturn.backward.circle.fill",
                                    "square.stack.3d.up.fill"}));
}

TEST(IntakeNoticeBanner, EmptyDetailShowsTheTitleOnlyAndLongDetailStaysOnOneLine)
{
    const VeskIntakeNoticeView none(notice(VeskIntakeNoticeKind::Duplicate, std::nullopt));
    const VeskIntakeNoticeView empty(notice(VeskIntakeNoticeKind::Duplicate, QString()));
    const VeskIntakeNoticeView shortDetail(notice(VeskIntakeNoticeKind::Duplicate, QStringLiteral("Receipt")));
    const VeskIntakeNoticeView longDetail(
        notice(VeskIntakeNoticeKind::Duplicate, QStringLiteral("A very long title ").repeated(40)));

    EXPECT_TRUE(empty.detail().isEmpty());
    EXPECT_EQ(empty.sizeHint(), none.sizeHint());
    EXPECT_GT(shortDetail.sizeHint().height(), none.sizeHint().height());
    // Shortened rather than wrapped: as tall as a short detail, no wider than the banner allows.
    EXPECT_EQ(longDetail.sizeHint().height(), shortDetail.sizeHint().height());
    EXPECT_LE(longDetail.sizeHint().width(), shortDetail.sizeHint().width() + NoticeBanner::maximumTextWidth);
}

} // namespace
} // namespace vesk
