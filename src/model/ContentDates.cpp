#include "model/ContentDates.h"

#include <QRegularExpression>
#include <QStringList>

namespace vesk {

namespace {

std::optional<QDateTime> parseLocal(const QString& text, const QString& format)
{
    const QDateTime parsed = QDateTime::fromString(text, format);
    if (!parsed.isValid())
        return std::nullopt;
    // fromString gives local time, which is how both formats are meant.
    return parsed.toUTC();
}

} // namespace

std::optional<QDateTime> captureNameDate(const QString& text)
{
    static const QRegularExpression captureName(
        QStringLiteral("(?i)Vesk-(?:Photo|Video|Note|File|Audio)-([0-9]{4})-([0-9]{2})-([0-9]{2})-([0-9]{6})"));
    const QRegularExpressionMatch match = captureName.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QStringList pieces = match.captured(0).split(QLatin1Char('-'), Qt::SkipEmptyParts);
    if (pieces.size() < 6)
        return std::nullopt;
    const QString joined = pieces.mid(2, 4).join(QLatin1Char('-'));
    return parseLocal(joined, QStringLiteral("yyyy-MM-dd-HHmmss"));
}

bool acceptsFileCreationDate(const QDateTime& fileDate, const QDateTime& importedAt)
{
    if (!fileDate.isValid() || !importedAt.isValid())
        return false;
    return fileDate < importedAt.addSecs(-kCreationDateMarginSeconds);
}

} // namespace vesk
