#include "model/ItemFileKinds.h"

#include "model/TextMarkers.h"
#include "platform/FileBirthTime.h"

#include <QFileInfo>

namespace vesk {

namespace {

struct BadgeRow {
    const char* extensions[4];
    const char* text;
    const char* symbol;
};

const BadgeRow kBadgeRows[] = {
    {{"pdf"}, "PDF", "doc.richtext"},
    {{"zip"}, "ZIP", "archivebox"},
    {{"doc", "docx", "rtf"}, "DOC", "doc.text"},
    {{"xls", "xlsx", "csv", "numbers"}, "SHEET", "tablecells"},
    {{"ppt", "pptx", "key"}, "SLIDES", "rectangle.on.rectangle"},
    {{"txt", "md"}, "TEXT", "doc.text"},
    {{"mov", "mp4", "m4v"}, "VIDEO", "film"},
    {{"mp3", "m4a", "wav", "aac"}, "AUDIO", "waveform"},
};

const BadgeRow* badgeRow(const QString& extension)
{
    for (const BadgeRow& row : kBadgeRows) {
        for (const char* candidate : row.extensions) {
            if (candidate && extension == QLatin1String(candidate))
                return &row;
        }
    }
    return nullptr;
}

struct KindRow {
    VeskKind kind;
    const char* word;
    const char* symbol;
};

constexpr KindRow kKindRows[] = {
    {VeskKind::Text, "Text", "text.alignleft"},
    {VeskKind::Url, "Link", "link"},
    {VeskKind::Image, "Image", "photo"},
    {VeskKind::File, "File", "doc"},
    {VeskKind::Activity, "Activity", "figure.walk.motion"},
};

const KindRow& kindRow(VeskKind kind)
{
    for (const KindRow& row : kKindRows) {
        if (row.kind == kind)
            return row;
    }
    return kKindRows[0];
}

} // namespace

QString veskKindWord(VeskKind kind)
{
    return QString::fromLatin1(kindRow(kind).word);
}

QString veskKindSymbol(VeskKind kind)
{
    return QString::fromLatin1(kindRow(kind).symbol);
}

bool isImageFileExtension(const QString& lowerExtension)
{
    static const char* const kImageExtensions[] = {"png", "jpg", "jpeg", "heic", "heif",
                                                   "gif", "tif", "tiff", "bmp", "webp"};
    for (const char* candidate : kImageExtensions) {
        if (lowerExtension == QLatin1String(candidate))
            return true;
    }
    return false;
}

bool hasImageFileExtension(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > slash + 1 && isImageFileExtension(path.mid(dot + 1).toLower());
}

QString itemFileExtension(const VeskItem& item)
{
    if (!item.filePath)
        return QString();
    const QString& path = *item.filePath;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1)
        return QString();
    return path.mid(dot + 1).toLower();
}

bool itemHasSecureMarker(const VeskItem& item)
{
    // Neither marker contains the other, so both are looked for.
    const TextMarkers markers = textMarkers(item.searchableText);
    return markers.secret || markers.creditCard;
}

bool isImageLikeItem(const VeskItem& item)
{
    if (item.kind == VeskKind::Image)
        return true;
    if (!item.filePath)
        return false;
    return isImageFileExtension(itemFileExtension(item));
}

bool isHTMLSourcedItem(const VeskItem& item)
{
    if (textMarkers(item.searchableText).htmlSource)
        return true;
    if (item.filePath) {
        const QString extension = itemFileExtension(item);
        if (extension == QLatin1String("html") || extension == QLatin1String("htm"))
            return true;
    }
    const QString title = item.title.toLower();
    return title.endsWith(QLatin1String(".html")) || title.endsWith(QLatin1String(".htm"));
}

QString formatBadgeText(const VeskItem& item)
{
    const QString extension = itemFileExtension(item);
    if (extension.isEmpty())
        return QStringLiteral("FILE");
    if (const BadgeRow* row = badgeRow(extension))
        return QLatin1String(row->text);
    return extension.toUpper();
}

QString formatBadgeSymbol(const VeskItem& item)
{
    const QString extension = itemFileExtension(item);
    if (const BadgeRow* row = extension.isEmpty() ? nullptr : badgeRow(extension))
        return QLatin1String(row->symbol);
    return QStringLiteral("doc");
}

std::optional<QDateTime> fileCreationDate(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    // The original's birth time recorded at the import comes before the copy's own.
    if (std::optional<QDateTime> recorded = recordedCreation(path))
        return recorded;
    return fileBirthTime(path);
}

std::optional<QDateTime> fileCreationDate(const VeskItem& item)
{
    if (!item.filePath)
        return std::nullopt;
    return fileCreationDate(*item.filePath);
}

} // namespace vesk
