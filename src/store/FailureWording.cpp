#include "store/FailureWording.h"

namespace vesk {

namespace {

constexpr qsizetype kTitleCharactersInNotice = 60;

} // namespace

QString quotedItemTitle(const QString& title)
{
    const QString trimmed = title.trimmed();
    if (trimmed.isEmpty())
        return QStringLiteral("An item");
    const QString shown = trimmed.size() > kTitleCharactersInNotice
        ? trimmed.left(kTitleCharactersInNotice) + QStringLiteral("\u2026")
        : trimmed;
    return QStringLiteral("\u201C") + shown + QStringLiteral("\u201D");
}

} // namespace vesk
