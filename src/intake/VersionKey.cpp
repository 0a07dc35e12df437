#include "intake/VersionKey.h"

#include <QRegularExpression>

namespace vesk {

namespace {

// After the last dot of the last path component; empty when there is none or the name starts
// with its only dot.
QString lowerExtensionOf(const QString& path)
{
    const QString base = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? QString() : base.mid(dot + 1).toLower();
}

QString stemOf(const QString& path)
{
    const QString base = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? base : base.left(dot);
}

const QList<QRegularExpression>& versionWords()
{
    static const QList<QRegularExpression> words = [] {
        const char* patterns[] = {
            "final", "fnl", "absolute", "this\\s*is\\s*the\\s*one", "thisistheone", "copy",
            "draft\\d*", "revision\\d*", "rev\\d*", "version\\d*", "ver\\d*", "v\\d+",
            "\\(\\d+\\)", "[_\\-\\s]+\\d+$",
        };
        QList<QRegularExpression> list;
        for (const char* pattern : patterns) {
            list.append(QRegularExpression(QString::fromLatin1(pattern),
                                           QRegularExpression::CaseInsensitiveOption
                                               | QRegularExpression::UseUnicodePropertiesOption));
        }
        return list;
    }();
    return words;
}

} // namespace

QString versionKey(const QString& fileName)
{
    static const QRegularExpression notAlphanumeric(QStringLiteral("[^a-z0-9]+"));
    QString key = stemOf(fileName).toLower();
    for (const QRegularExpression& word : versionWords())
        key.replace(word, QStringLiteral(" "));
    key.remove(notAlphanumeric);
    return key;
}

std::optional<VeskItem> findRelatedVersionIn(const QList<VeskItem>& items, const QString& fileName)
{
    const QString key = versionKey(fileName);
    if (key.size() < kMinimumVersionKeyLength)
        return std::nullopt;
    const QString extension = lowerExtensionOf(fileName);
    for (const VeskItem& item : items) {
        if (!item.filePath || lowerExtensionOf(*item.filePath) != extension)
            continue;
        if (versionKey(item.title) == key)
            return item;
    }
    return std::nullopt;
}

} // namespace vesk
