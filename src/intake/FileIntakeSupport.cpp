#include "intake/FileIntakeSupport.h"
#include "model/ItemFileKinds.h"

#include "intake/FileTitles.h"
#include "intake/HtmlText.h"
#include "platform/Graphemes.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMimeDatabase>
#include <QStringDecoder>

namespace vesk {

namespace {

constexpr qint64 kReadChunk = 1 << 20;
// More UTF-16 units per character than any text a person writes.
constexpr qsizetype kMaxCodeUnitsPerCharacter = 16;

// Bytes at the end of data that start a UTF-8 sequence whose continuation bytes are still to
// come; 0 when data ends on a whole character (or on bytes the decoder will reject anyway).
qsizetype incompleteUtf8Tail(const QByteArray& data)
{
    const qsizetype size = data.size();
    for (qsizetype back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(data.at(size - back));
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: look further back for the lead
        qsizetype expected = 1;
        if ((byte & 0xE0) == 0xC0)
            expected = 2;
        else if ((byte & 0xF0) == 0xE0)
            expected = 3;
        else if ((byte & 0xF8) == 0xF0)
            expected = 4;
        return expected > back ? back : 0;
    }
    return 0;
}

QString dateAndTimeString(const QDateTime& date)
{
    const QDateTime local = date.toLocalTime();
    return abbreviatedDateText(local) + QLatin1Char(' ')
        + QLocale().toString(local.time(), QLocale::ShortFormat);
}

} // namespace

QString pathExtension(const QString& path)
{
    const QString base = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? QString() : base.mid(dot + 1);
}

QString lowerPathExtension(const QString& path)
{
    return pathExtension(path).toLower();
}

QString baseNameWithoutExtension(const QString& path)
{
    const QString base = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? base : base.left(dot);
}

bool isHtmlExtension(const QString& lowerExtension)
{
    return lowerExtension == QLatin1String("html") || lowerExtension == QLatin1String("htm");
}

FileResourceValues readResourceValues(const QString& path)
{
    FileResourceValues values;
    const QFileInfo info(path);
    if (!info.exists())
        return values;
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info);
    if (mime.isValid()) {
        values.typeIdentifier = mime.name();
        values.contentType = mime;
    }
    if (info.isFile())
        values.fileSize = info.size();
    const QDateTime born = info.birthTime();
    if (born.isValid())
        values.creationDate = born.toUTC();
    const QDateTime modified = info.lastModified();
    if (modified.isValid())
        values.modificationDate = modified.toUTC();
    values.localizedName = info.fileName();
    return values;
}

bool countsAsImage(const QString& path, const std::optional<QMimeType>& contentType)
{
    if (isImageFileExtension(lowerPathExtension(path)))
        return true;
    if (!contentType)
        return false;
    if (contentType->name().startsWith(QLatin1String("image/")))
        return true;
    for (const QString& ancestor : contentType->allAncestors()) {
        if (ancestor.startsWith(QLatin1String("image/")))
            return true;
    }
    return false;
}

QStringList fileSearchableParts(const QString& sourcePath, const FileResourceValues& values)
{
    QStringList parts{sourcePath.section(QLatin1Char('/'), -1), baseNameWithoutExtension(sourcePath),
                      pathExtension(sourcePath)};
    if (values.localizedName)
        parts.append(*values.localizedName);
    if (values.typeIdentifier)
        parts.append(*values.typeIdentifier);
    if (values.fileSize)
        parts.append(QString::number(*values.fileSize) + QStringLiteral(" bytes"));
    if (values.creationDate)
        parts.append(QStringLiteral("created ") + dateAndTimeString(*values.creationDate));
    if (values.modificationDate)
        parts.append(QStringLiteral("modified ") + dateAndTimeString(*values.modificationDate));
    return parts;
}

QStringList fileTextParts(const QString& path, const std::optional<QMimeType>& contentType)
{
    QStringList parts;
    if (!QFileInfo(path).isFile())
        return parts;
    // A drawing (SVG) is XML, and so plain text to the type system, but its markup is no text a
    // person wrote: it is a picture.
    if (countsAsImage(path, contentType))
        return parts;
    const bool html = contentType && contentType->inherits(QStringLiteral("text/html"));
    if (html || isHtmlExtension(lowerPathExtension(path))) {
        const std::optional<QString> page = readUtf8File(path, kMaxHtmlFileBytes);
        if (!page)
            return parts;
        parts.append(plainTextFromHTML(*page));
        if (const std::optional<QString> title = htmlTitle(*page))
            parts.append(*title);
        return parts;
    }
    if (contentType && contentType->inherits(QStringLiteral("text/plain"))) {
        if (const std::optional<QString> text = readUtf8Prefix(path, kMaxFileTextCharacters))
            parts.append(*text);
    }
    return parts;
}

std::optional<QString> readUtf8Prefix(const QString& path, qsizetype maxCharacters)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // One decoder for the whole file (so only a leading byte-order mark is dropped), fed whole
    // characters only: a sequence cut by a chunk boundary waits for the next chunk.
    QStringDecoder decoder(QStringConverter::Utf8);
    QString text;
    QByteArray pending;
    for (;;) {
        const QByteArray chunk = file.read(kReadChunk);
        if (file.error() != QFileDevice::NoError)
            return std::nullopt;
        if (chunk.isEmpty())
            break;
        pending.append(chunk);
        const qsizetype tail = incompleteUtf8Tail(pending);
        text.append(decoder.decode(QByteArrayView(pending).first(pending.size() - tail)));
        if (decoder.hasError())
            return std::nullopt;
        pending = pending.right(tail);
        // A character is only complete once the next one has begun (combining marks and joiners
        // attach to what precedes them), so stop when text holds more than asked for.
        if (text.size() > maxCharacters) {
            const QString prefix = leftGraphemes(text, maxCharacters);
            if (prefix.size() < text.size())
                return prefix;
            // Endless runs of combining marks make one character of any length: stop anyway.
            if (text.size() > maxCharacters * kMaxCodeUnitsPerCharacter)
                return prefix.left(maxCharacters * kMaxCodeUnitsPerCharacter);
        }
    }
    if (!pending.isEmpty())
        return std::nullopt; // the file ends inside a character
    return leftGraphemes(text, maxCharacters);
}

std::optional<QString> readUtf8File(const QString& path, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.read(maxBytes);
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    const bool cut = !file.atEnd() && !file.read(1).isEmpty();
    if (cut)
        bytes.chop(incompleteUtf8Tail(bytes));
    QStringDecoder decoder(QStringConverter::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace vesk
