#include "present/DisplayTitles.h"

#include "intake/FileTitles.h"

#include <QRegularExpression>
#include <QSet>

namespace vesk {

namespace {

const QSet<QString>& knownTitleExtensions()
{
    static const QSet<QString> extensions{
        QStringLiteral("mov"), QStringLiteral("mp4"), QStringLiteral("m4v"), QStringLiteral("jpg"),
        QStringLiteral("jpeg"), QStringLiteral("png"), QStringLiteral("heic"), QStringLiteral("gif"),
        QStringLiteral("pdf"), QStringLiteral("txt"), QStringLiteral("rtf"), QStringLiteral("doc"),
        QStringLiteral("docx"), QStringLiteral("xls"), QStringLiteral("xlsx"), QStringLiteral("zip"),
        QStringLiteral("wav"), QStringLiteral("mp3"), QStringLiteral("m4a"), QStringLiteral("html"),
        QStringLiteral("htm"), QStringLiteral("json"), QStringLiteral("csv"), QStringLiteral("pages"),
        QStringLiteral("key"), QStringLiteral("numbers")};
    return extensions;
}

const QRegularExpression& pattern(const char* source)
{
    // One compiled expression per distinct pattern text, kept for the life of the process.
    thread_local QHash<const char*, QRegularExpression> compiled;
    auto it = compiled.find(source);
    if (it == compiled.end()) {
        QRegularExpression expression(QString::fromLatin1(source),
                                      QRegularExpression::UseUnicodePropertiesOption);
        expression.optimize();
        it = compiled.insert(source, expression);
    }
    return *it;
}

constexpr const char* kEmbeddedUuid =
    "(?i)[-_ ]?[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}";
constexpr const char* kTrailingIdentifier = "(?i)[-_ ]+(?:[0-9a-f]{12,}|[0-9]{6,})$";
constexpr const char* kCameraName =
    "(?i)^(?:IMG|DSC|DSCF|DCIM|MOV|VID|VIDEO|PXL|PHOTO|SCREENSHOT|SCAN|FILE|VESK)(?:[-_ ]?[0-9A-Z]{4,})?$";
constexpr const char* kHexIdentifier = "^[0-9a-fA-F-]{10,}$";
constexpr const char* kDigitsOnly = "^[0-9]{6,}$";
constexpr const char* kUnderscoreRun = "_+";

// The extension of the last path component, without its dot; a leading dot (a hidden file
// name) is not an extension.
qsizetype extensionDot(const QString& text)
{
    const qsizetype slash = text.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = text.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1)
        return -1;
    return dot;
}

} // namespace

QString cleanedDisplayTitle(const VeskItem& item, const QLocale& locale)
{
    QString title = item.title.trimmed();

    const qsizetype dot = extensionDot(title);
    if (dot >= 0 && knownTitleExtensions().contains(title.mid(dot + 1).toLower()))
        title.truncate(dot);

    title.remove(pattern(kEmbeddedUuid));
    title.remove(pattern(kTrailingIdentifier));
    title.replace(pattern(kUnderscoreRun), QStringLiteral(" "));
    title = trimSeparators(title);

    const bool meaningless = title.isEmpty() || pattern(kCameraName).match(title).hasMatch()
        || pattern(kHexIdentifier).match(title).hasMatch()
        || pattern(kDigitsOnly).match(title).hasMatch();
    if (!meaningless)
        return title;
    return veskKindWord(item.kind) + QStringLiteral(" \u2022 ") + abbreviatedDateText(item.createdAt, locale);
}

} // namespace vesk
