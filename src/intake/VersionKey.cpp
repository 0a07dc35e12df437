#include "intake/VersionKey.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <vector>

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

// Turned into spaces, in this order, before a name is split into its family tokens.
const QList<QRegularExpression>& familyPatterns()
{
    static const QList<QRegularExpression> patterns = [] {
        const char* sources[] = {
            "(?i)\\b(final|fnl|absolute|draft|copy|revision|rev|version|ver)\\b",
            "(?i)\\b(v|r)\\s*\\d+\\b",
            "(?i)\\b(this\\s*is\\s*the\\s*one|thisistheone)\\b",
            "\\(\\d+\\)",
            "[_\\-.]+",
        };
        QList<QRegularExpression> list;
        for (const char* source : sources)
            list.append(QRegularExpression(QString::fromLatin1(source), QRegularExpression::UseUnicodePropertiesOption));
        return list;
    }();
    return patterns;
}

// The user-perceived characters of text, in order.
QStringList graphemesOf(const QString& text)
{
    QStringList pieces;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        pieces.append(text.mid(start, end - start));
        start = end;
    }
    return pieces;
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

std::optional<VersionFamily> versionFamilyOf(const QString& fileName)
{
    VersionFamily family{versionKey(fileName), QString()};
    if (family.key.size() < kMinimumVersionKeyLength)
        return std::nullopt;
    family.extension = lowerExtensionOf(fileName);
    return family;
}

bool isOfVersionFamily(const VersionFamily& family, const QString& title, const QString& path)
{
    return lowerExtensionOf(path) == family.extension && versionKey(title) == family.key;
}

std::optional<VeskItem> findRelatedVersionIn(const QList<VeskItem>& items, const QString& fileName)
{
    const std::optional<VersionFamily> family = versionFamilyOf(fileName);
    if (!family)
        return std::nullopt;
    for (const VeskItem& item : items) {
        if (item.filePath && isOfVersionFamily(*family, item.title, *item.filePath))
            return item;
    }
    return std::nullopt;
}

QSet<QString> versionFamilyTokens(const QString& path)
{
    QString name = stemOf(path).toLower();
    for (const QRegularExpression& pattern : familyPatterns())
        name.replace(pattern, QStringLiteral(" "));
    QSet<QString> tokens;
    static const QRegularExpression whiteSpace(QStringLiteral("\\s+"), QRegularExpression::UseUnicodePropertiesOption);
    for (const QString& piece : name.split(whiteSpace, Qt::SkipEmptyParts)) {
        if (piece.size() > 1)
            tokens.insert(piece);
    }
    return tokens;
}

double positionalSimilarity(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return 0.0;
    const QStringList left = graphemesOf(a);
    const QStringList right = graphemesOf(b);
    const qsizetype shorter = std::min(left.size(), right.size());
    qsizetype common = 0;
    while (common < shorter && left[common] == right[common])
        ++common;
    return double(common) / double(shorter);
}

RelatedVersionMatch::RelatedVersionMatch(const VeskItem& item)
    : m_id(item.id)
{
    if (!item.filePath)
        return;
    m_extension = lowerExtensionOf(*item.filePath);
    if (m_extension.isEmpty())
        return;
    m_key = versionKey(*item.filePath);
    m_tokens = versionFamilyTokens(*item.filePath);
    m_canMatch = true;
}

std::optional<double> RelatedVersionMatch::score(const VeskItem& other) const
{
    if (!m_canMatch || other.id == m_id || !other.filePath || lowerExtensionOf(*other.filePath) != m_extension)
        return std::nullopt;
    const QString otherKey = versionKey(*other.filePath);
    if (!m_key.isEmpty() && m_key == otherKey)
        return 1.0;
    const QSet<QString> otherTokens = versionFamilyTokens(*other.filePath);
    const qsizetype shared = std::count_if(m_tokens.cbegin(), m_tokens.cend(),
        [&otherTokens](const QString& token) { return otherTokens.contains(token); });
    const qsizetype all = m_tokens.size() + otherTokens.size() - shared;
    if (all == 0)
        return std::nullopt;
    const qsizetype smaller = std::max<qsizetype>(1, std::min(m_tokens.size(), otherTokens.size()));
    const double score = double(shared) / double(all) * 0.52 + double(shared) / double(smaller) * 0.33
        + positionalSimilarity(m_key, otherKey) * 0.15;
    if (score >= 0.78)
        return score;
    return std::nullopt;
}

QList<VeskItem> RelatedVersionMatch::best(std::vector<Kept> kept, qsizetype limit)
{
    // "Within 0.001" is not transitive and cannot order a sort; scores are compared by their
    // 0.001 step instead.
    const auto step = [](double score) { return std::llround(score * 1000.0); };
    std::stable_sort(kept.begin(), kept.end(), [&step](const Kept& a, const Kept& b) {
        const auto stepA = step(a.score);
        const auto stepB = step(b.score);
        if (stepA != stepB)
            return stepA > stepB;
        return a.item.createdAt > b.item.createdAt;
    });

    QList<VeskItem> result;
    for (Kept& entry : kept) {
        if (result.size() >= limit)
            break;
        result.append(std::move(entry.item));
    }
    return result;
}

QList<VeskItem> relatedVersionsIn(const VeskItem& item, const QList<VeskItem>& items, qsizetype limit,
                                  const CancellationToken* cancelled)
{
    const RelatedVersionMatch match(item);
    if (!match.canMatch() || limit <= 0)
        return {};
    std::vector<RelatedVersionMatch::Kept> kept;
    qsizetype walked = 0;
    for (const VeskItem& other : items) {
        // The names of a few hundred files take well under a millisecond to compare.
        if (cancelled && ++walked % 256 == 0 && cancelled->isCancelled())
            return {};
        if (const std::optional<double> score = match.score(other))
            kept.push_back({other, *score});
    }
    return RelatedVersionMatch::best(std::move(kept), limit);
}

} // namespace vesk
