#include "pane/ActivityTexts.h"

#include "intake/PackagePreviewData.h"
#include "media/MediaTimeFormat.h"
#include "model/VeskItem.h"
#include "pane/PreviewKindDecision.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSize>
#include <QStringList>

namespace vesk {

std::optional<QString> manifestDateText(const std::optional<QString>& value, const QLocale& locale)
{
    if (!value || value->trimmed().isEmpty())
        return std::nullopt;
    if (const std::optional<QDateTime> date = parseInternetDateTime(*value))
        return previewDateText(*date, locale);
    return *value;
}

QString notesText(const std::optional<VeskActivityManifest>& manifest, const VeskItem& item)
{
    if (manifest) {
        QStringList parts;
        for (const std::optional<QString>& part : {manifest->summary, manifest->notes}) {
            if (part && !part->trimmed().isEmpty())
                parts.append(part->trimmed());
        }
        if (!parts.isEmpty())
            return parts.join(QLatin1Char('\n'));
    }
    return item.note.trimmed();
}

QString itemCountText(qint64 count)
{
    return count == 1 ? QStringLiteral("1 item") : QString::number(count) + QStringLiteral(" items");
}

QString activityEventSymbolName(const QString& kind)
{
    const QString lower = kind.toLower();
    if (lower == QLatin1String("photo"))
        return QStringLiteral("photo");
    if (lower == QLatin1String("note"))
        return QStringLiteral("note.text");
    if (lower == QLatin1String("file"))
        return QStringLiteral("doc");
    if (lower == QLatin1String("video"))
        return QStringLiteral("video");
    return QStringLiteral("circle.fill");
}

QString activityEventTitle(const VeskActivityTimelineEvent& event)
{
    const QString lower = event.kind.toLower();
    if (lower == QLatin1String("photo"))
        return QStringLiteral("Photo");
    if (lower == QLatin1String("note"))
        return QStringLiteral("Note");
    if (lower == QLatin1String("video"))
        return QStringLiteral("Video");
    if (lower == QLatin1String("file")) {
        if (event.text && !event.text->trimmed().isEmpty())
            return *event.text;
        if (event.filePath)
            return QFileInfo(*event.filePath).fileName();
        return QStringLiteral("File");
    }
    // Word by word: first letter upper case, the rest lower case.
    QString title = event.kind.toLower();
    bool wordStart = true;
    for (QChar& c : title) {
        if (c.isLetterOrNumber()) {
            if (wordStart)
                c = c.toUpper();
            wordStart = false;
        } else {
            wordStart = true;
        }
    }
    return title;
}

QString eventTimeText(const QString& createdAt, const QLocale& locale)
{
    const std::optional<QDateTime> date = parseInternetDateTime(createdAt);
    if (!date)
        return createdAt;
    // Some locales' short time format still carries seconds: a row shows hours and minutes.
    static const QRegularExpression seconds(QStringLiteral("[:.]ss"));
    QString format = locale.timeFormat(QLocale::ShortFormat);
    format.remove(seconds);
    return locale.toString(date->toLocalTime().time(), format);
}

bool isAudioFilePath(const QString& path)
{
    static const QStringList extensions{QStringLiteral("aac"), QStringLiteral("m4a"), QStringLiteral("mp3"),
                                        QStringLiteral("wav"), QStringLiteral("aiff"), QStringLiteral("aif"),
                                        QStringLiteral("caf")};
    return extensions.contains(QFileInfo(path).suffix().toLower());
}

QString resourceDetailText(const QString& path, const std::optional<qint64>& size,
                           const std::optional<double>& durationSeconds, const QLocale& locale)
{
    QStringList parts;
    const QString extension = QFileInfo(path).suffix().trimmed().toUpper();
    if (!extension.isEmpty())
        parts.append(extension);
    if (durationSeconds && std::isfinite(*durationSeconds) && *durationSeconds >= 0)
        parts.append(formatPlaybackTime(*durationSeconds));
    if (size)
        parts.append(locale.formattedDataSize(*size, 1, QLocale::DataSizeSIFormat));
    return parts.join(QStringLiteral(" \u00b7 "));
}

QString dimensionsText(const QSize& size)
{
    if (size.width() < 1 || size.height() < 1)
        return QString();
    return QString::number(size.width()) + QStringLiteral(" \u00d7 ") + QString::number(size.height());
}

} // namespace vesk
