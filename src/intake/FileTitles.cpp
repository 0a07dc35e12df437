#include "intake/FileTitles.h"
#include "model/ItemFileKinds.h"

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

namespace vesk {

namespace {

// The extension after the last dot of the last path component, or empty.
QString extensionOf(const QString& name)
{
    const QString base = name.section(QLatin1Char('/'), -1);
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return {};
    return base.mid(dot + 1);
}

QString withoutExtension(const QString& name)
{
    const QString extension = extensionOf(name);
    return extension.isEmpty() ? name : name.left(name.size() - extension.size() - 1);
}

QString fallbackWord(const QString& lowerExtension, VeskKind kind)
{
    struct Family {
        const char* word;
        std::initializer_list<const char*> extensions;
    };
    static const Family families[] = {
        {"Video", {"mov", "mp4", "m4v", "avi", "mkv", "webm"}},
        {"Photo", {"jpg", "jpeg", "png", "heic", "heif", "gif", "tif", "tiff", "webp"}},
        {"Audio", {"mp3", "m4a", "wav", "aac", "aiff", "flac"}},
        {"PDF", {"pdf"}},
        {"Archive", {"zip", "7z", "tar", "gz"}},
    };
    for (const Family& family : families) {
        for (const char* extension : family.extensions) {
            if (lowerExtension == QLatin1String(extension))
                return QString::fromLatin1(family.word);
        }
    }
    return veskKindWord(kind);
}

bool looksMachineMade(const QString& cleaned)
{
    static const QRegularExpression cameraPrefix(QStringLiteral(
        "(?i)^(?:IMG|DSC|DSCF|DCIM|MOV|VID|VIDEO|PXL|PHOTO|SCREENSHOT|SCAN|FILE|VESK)"
        "(?:[-_ ]?[0-9A-Z]{4,})?$"));
    static const QRegularExpression hexAndDashes(QStringLiteral("(?i)^[0-9a-f-]{10,}$"));
    static const QRegularExpression digitsOnly(QStringLiteral("^[0-9]{6,}$"));
    return cameraPrefix.match(cleaned).hasMatch() || hexAndDashes.match(cleaned).hasMatch()
        || digitsOnly.match(cleaned).hasMatch();
}

} // namespace

QString trimSeparators(const QString& text)
{
    auto isSeparator = [](QChar c) {
        return c == QLatin1Char(' ') || c == QLatin1Char('-') || c == QLatin1Char('_');
    };
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isSeparator(text.at(start)))
        ++start;
    while (end > start && isSeparator(text.at(end - 1)))
        --end;
    return text.mid(start, end - start);
}

QString titleSeparator()
{
    return QStringLiteral(" \u2022 ");
}

std::optional<QString> generatedFileKind(const QString& fileName)
{
    static const QRegularExpression generated(QStringLiteral(
        "(?i)^Vesk[-_ ](Photo|Video|Note|File|Audio|Image|Document)[-_ ]\\d{4}[-_]\\d{2}[-_]\\d{2}"
        "[-_]\\d{6}[-_][A-F0-9]{8}(?:[-_][A-F0-9]{4,})?$"));
    const QString stem = withoutExtension(fileName);
    const QRegularExpressionMatch match = generated.match(stem);
    if (!match.hasMatch())
        return std::nullopt;
    // The kind is read by splitting at '-': a name written with '_' or ' ' after the product word
    // has no such piece and counts as a plain file.
    const QStringList pieces = match.captured(0).split(QLatin1Char('-'));
    const QString piece = pieces.size() > 1 ? pieces.at(1).toLower() : QString();
    if (piece == QLatin1String("photo") || piece == QLatin1String("image"))
        return QStringLiteral("Photo");
    if (piece == QLatin1String("video"))
        return QStringLiteral("Video");
    if (piece == QLatin1String("note"))
        return QStringLiteral("Note");
    if (piece == QLatin1String("audio"))
        return QStringLiteral("Audio");
    if (piece == QLatin1String("document"))
        return QStringLiteral("Document");
    return QStringLiteral("File");
}

bool isGenericFileName(const QString& name)
{
    static const QRegularExpression anyUuid(
        QStringLiteral("(?i)[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}"));
    static const QRegularExpression prefixedSerial(QStringLiteral(
        "(?i)^(?:IMG|DSC|DSCF|DCIM|MOV|VID|VIDEO|PXL|PHOTO|SCREENSHOT|SCAN|FILE|VESK)[-_ ]?[0-9A-Z]{4,}$"));
    static const QRegularExpression trailingRun(QStringLiteral("(?i)[-_ ](?:[0-9a-f]{12,}|[0-9]{6,})$"));
    static const QRegularExpression hexAndHyphens(QStringLiteral("(?i)^[0-9a-f-]{10,}$"));

    if (generatedFileKind(name))
        return true;
    const QString base = withoutExtension(name);
    for (const QRegularExpression* rule : {&anyUuid, &prefixedSerial, &trailingRun, &hexAndHyphens}) {
        if (rule->match(base).hasMatch())
            return true;
    }
    return false;
}

QString cleanedTitleFromFileName(const QString& fileName, const VeskItem& item,
                                 const QDateTime& date)
{
    static const QRegularExpression embeddedUuid(QStringLiteral(
        "(?i)[-_ ]?[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}"));
    static const QRegularExpression trailingSerial(
        QStringLiteral("(?i)[-_ ]+(?:[0-9a-f]{12,}|[0-9]{6,})$"));

    const QString name = fileName.trimmed();
    const QString day = abbreviatedDateText(date);
    if (const std::optional<QString> kind = generatedFileKind(name))
        return *kind + titleSeparator() + day;

    QString cleaned = withoutExtension(name);
    cleaned.remove(embeddedUuid);
    cleaned.remove(trailingSerial);
    cleaned.replace(QLatin1Char('_'), QLatin1Char(' '));
    cleaned = trimSeparators(cleaned);
    if (!cleaned.isEmpty() && !looksMachineMade(cleaned))
        return cleaned;

    return fallbackWord(extensionOf(name).toLower(), item.kind) + titleSeparator() + day;
}

} // namespace vesk
