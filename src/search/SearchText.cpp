#include "search/SearchText.h"

#include "platform/Graphemes.h"

#include <algorithm>

namespace vesk {

namespace {

// Below U+0300 no character combines with its neighbour, so code units are characters.
// Walks the code points of text; a lone surrogate is handed out as itself.
class CodePoints {
public:
    explicit CodePoints(QStringView text) : m_text(text) {}
    bool hasNext() const { return m_index < m_text.size(); }
    qsizetype index() const { return m_index; }
    char32_t next()
    {
        const QChar c = m_text.at(m_index++);
        if (c.isHighSurrogate() && m_index < m_text.size() && m_text.at(m_index).isLowSurrogate())
            return QChar::surrogateToUcs4(c, m_text.at(m_index++));
        return c.unicode();
    }

private:
    QStringView m_text;
    qsizetype m_index = 0;
};

bool isSimpleText(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x0300)
            return false;
    }
    return true;
}

bool isAlphanumeric(char32_t c)
{
    // Most text is ASCII, where the answer needs no look-up in the character tables.
    if (c < 0x80)
        return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9');
    return QChar::isLetter(c) || QChar::isMark(c) || QChar::isNumber(c);
}

bool isLineBreak(char16_t c)
{
    return c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r' || c == 0x0085 || c == 0x2028
        || c == 0x2029;
}

// Splits text at every code point for which isSeparator is true and hands out the non-empty
// pieces as views.
template <typename Separator, typename Visit>
void splitAt(QStringView text, Separator isSeparator, Visit&& visit)
{
    qsizetype start = -1;
    CodePoints it(text);
    while (it.hasNext()) {
        const qsizetype position = it.index();
        const char32_t c = it.next();
        if (isSeparator(c)) {
            if (start >= 0)
                visit(text.mid(start, position - start));
            start = -1;
        } else if (start < 0) {
            start = position;
        }
    }
    if (start >= 0)
        visit(text.mid(start));
}

} // namespace

const QRegularExpression* hashtagRegex()
{
    static const QRegularExpression* const regex = [] {
        auto* compiled = new QRegularExpression(
            QStringLiteral("(?<![\\p{L}\\p{N}_])#([\\p{L}\\p{N}][\\p{L}\\p{N}_-]*)"));
        if (!compiled->isValid()) {
            delete compiled;
            return static_cast<QRegularExpression*>(nullptr);
        }
        compiled->optimize();
        return compiled;
    }();
    return regex;
}

QStringList extractHashtags(const QString& text)
{
    const QRegularExpression* regex = hashtagRegex();
    if (!regex || !text.contains(QLatin1Char('#')))
        return {};
    QSet<QString> seen;
    QStringList tags;
    auto matches = regex->globalMatch(text);
    while (matches.hasNext()) {
        const QString body = matches.next().captured(1).toLower();
        if (body.isEmpty() || seen.contains(body))
            continue;
        seen.insert(body);
        tags.append(body);
    }
    std::sort(tags.begin(), tags.end());
    return tags;
}

const QSet<QString>& searchStopWords()
{
    static const QSet<QString> words = [] {
        const char* list[] = {"the", "and", "for", "with", "that", "this", "from", "into", "your",
            "you", "are", "was", "were", "have", "has", "had", "not", "but", "all", "any", "can",
            "could", "would", "should", "will", "just", "about", "what", "when", "where", "which",
            "there", "their", "they", "them", "then", "than", "also", "its", "our", "out", "one",
            "two", "three", "more", "some", "very", "much", "only", "here", "over", "under",
            "through", "created", "modified", "bytes", "public", "file", "files", "image",
            "images", "photo", "photos", "picture", "pictures", "png", "jpg", "jpeg", "heic",
            "heif", "gif", "tif", "tiff", "bmp", "webp", "html", "text", "application", "apple",
            "com", "www", "http", "https", "jan", "january", "feb", "february", "mar", "march",
            "apr", "april", "may", "jun", "june", "jul", "july", "aug", "august", "sep", "sept",
            "september", "oct", "october", "nov", "november", "dec", "december"};
        QSet<QString> set;
        for (const char* word : list)
            set.insert(QString::fromLatin1(word));
        return set;
    }();
    return words;
}

void forEachContentWord(QStringView lowered, const std::function<void(QStringView)>& visit)
{
    const QSet<QString>& stopWords = searchStopWords();
    splitAt(lowered, [](char32_t c) { return !isAlphanumeric(c); },
        [&](QStringView piece) {
            if (piece.size() < 3 || searchCharacterCount(piece) < 3)
                return;
            bool hasLetter = false;
            CodePoints it(piece);
            while (it.hasNext() && !hasLetter)
                hasLetter = QChar::isLetter(it.next());
            if (!hasLetter)
                return;
            // Looked up in place: the raw-data string borrows the piece, nothing is copied.
            if (stopWords.contains(QString::fromRawData(piece.data(), piece.size())))
                return;
            visit(piece);
        });
}

void forEachContentWordOf(const QString& text, const std::function<void(QStringView)>& visit)
{
    char16_t any = 0;
    for (const QChar c : text)
        any |= c.unicode();
    if (any >= 0x80) {
        forEachContentWord(lowerText(text), visit);
        return;
    }
    const QSet<QString>& stopWords = searchStopWords();
    QString word;
    splitAt(text, [](char32_t c) { return !isAlphanumeric(c); },
        [&](QStringView piece) {
            if (piece.size() < 3)
                return;
            bool hasLetter = false;
            bool hasCapital = false;
            for (const QChar c : piece) {
                hasLetter = hasLetter || c.isLetter();
                hasCapital = hasCapital || (c.unicode() >= u'A' && c.unicode() <= u'Z');
            }
            if (!hasLetter)
                return;
            QStringView lowered = piece;
            if (hasCapital) {
                word.resize(piece.size());
                for (qsizetype i = 0; i < piece.size(); ++i) {
                    const char16_t c = piece[i].unicode();
                    word[i] = QChar((c >= u'A' && c <= u'Z') ? char16_t(c + (u'a' - u'A')) : c);
                }
                lowered = word;
            }
            if (stopWords.contains(QString::fromRawData(lowered.data(), lowered.size())))
                return;
            visit(lowered);
        });
}

void forEachContentWordOfAscii(const char* bytes, qsizetype size, const std::function<void(QStringView)>& visit)
{
    const QSet<QString>& stopWords = searchStopWords();
    QString word;
    qsizetype start = -1;
    bool hasLetter = false;
    // One step past the end closes the last run.
    for (qsizetype i = 0; i <= size; ++i) {
        const char c = i < size ? bytes[i] : ' ';
        const bool lower = c >= 'a' && c <= 'z';
        const bool upper = c >= 'A' && c <= 'Z';
        if (lower || upper || (c >= '0' && c <= '9')) {
            if (start < 0) {
                start = i;
                hasLetter = false;
            }
            hasLetter = hasLetter || lower || upper;
            continue;
        }
        if (start < 0)
            continue;
        const qsizetype length = i - start;
        const qsizetype first = start;
        start = -1;
        if (length < 3 || !hasLetter)
            continue;
        word.resize(length);
        char16_t* out = reinterpret_cast<char16_t*>(word.data());
        for (qsizetype k = 0; k < length; ++k) {
            const char b = bytes[first + k];
            out[k] = char16_t((b >= 'A' && b <= 'Z') ? b + ('a' - 'A') : b);
        }
        if (stopWords.contains(word))
            continue;
        visit(word);
    }
}

void forEachContentToken(const QString& text, const std::function<void(const QString&)>& visit)
{
    forEachContentWord(lowerText(text), [&](QStringView word) { visit(word.toString()); });
}

QSet<QString> extractTokens(const QString& text)
{
    QSet<QString> tokens;
    forEachContentToken(text, [&](const QString& word) { tokens.insert(word); });
    return tokens;
}

QString deriveTitle(const QString& text)
{
    QString title;
    qsizetype start = 0;
    const qsizetype length = text.size();
    for (qsizetype i = 0; i <= length; ++i) {
        if (i < length && !isLineBreak(text.at(i).unicode()))
            continue;
        const QString line = text.mid(start, i - start).trimmed();
        start = i + 1;
        if (!line.isEmpty()) {
            title = line;
            break;
        }
    }
    if (title.isEmpty())
        return QStringLiteral("Untitled Vesk");
    if (searchCharacterCount(title) > 72)
        return searchCharacterPrefix(title, 72).toString() + QChar(0x2026);
    return title;
}

QString normalizedTag(const QString& text)
{
    QString trimmed = text.trimmed();
    qsizetype begin = 0;
    qsizetype end = trimmed.size();
    while (begin < end && trimmed.at(begin) == QLatin1Char('#'))
        ++begin;
    while (end > begin && trimmed.at(end - 1) == QLatin1Char('#'))
        --end;
    if (begin == end)
        return QString();
    QString kept;
    CodePoints it(QStringView(trimmed).mid(begin, end - begin));
    while (it.hasNext()) {
        const char32_t c = it.next();
        if (isAlphanumeric(c) || c == U'_' || c == U'-') {
            if (QChar::requiresSurrogates(c)) {
                kept.append(QChar(QChar::highSurrogate(c)));
                kept.append(QChar(QChar::lowSurrogate(c)));
            } else {
                kept.append(QChar(char16_t(c)));
            }
        }
    }
    return kept.toLower();
}

void forEachIndexWord(QStringView text, const std::function<void(QStringView)>& visit)
{
    splitAt(text, [](char32_t c) { return c != U'#' && !isAlphanumeric(c); }, visit);
}

QString lowerText(const QString& text)
{
    const char16_t* const begin = reinterpret_cast<const char16_t*>(text.utf16());
    const char16_t* const end = begin + text.size();
    bool hasUpper = false;
    for (const char16_t* c = begin; c != end; ++c) {
        if (*c >= 0x80)
            return text.toLower();
        hasUpper = hasUpper || (*c >= u'A' && *c <= u'Z');
    }
    if (!hasUpper)
        return text;
    QString lowered(text.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(lowered.data());
    for (const char16_t* c = begin; c != end; ++c, ++out)
        *out = (*c >= u'A' && *c <= u'Z') ? char16_t(*c + (u'a' - u'A')) : *c;
    return lowered;
}

qsizetype searchCharacterCount(QStringView text)
{
    if (isSimpleText(text))
        return text.size();
    return graphemeCount(text.toString());
}

QStringView searchCharacterPrefix(QStringView text, qsizetype count)
{
    if (isSimpleText(text))
        return text.left(count);
    return text.left(leftGraphemes(text.toString(), count).size());
}

QString trimmedText(const QString& text)
{
    return text.trimmed();
}

} // namespace vesk
