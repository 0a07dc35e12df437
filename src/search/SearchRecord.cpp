#include "search/SearchRecord.h"

#include "search/SearchForms.h"
#include "search/SearchText.h"

#include "platform/TextFolding.h"

#include <QStringList>
#include <algorithm>
#include <iterator>

namespace vesk {

namespace {

// The folded search form of text as UTF-8, its index words handed to visitWord; marks the part
// when folding changed it.
std::string prepared(const QString& text, RecordPart part, quint8& foldedParts,
    const std::function<void(QStringView)>& visitWord)
{
    if (text.isEmpty())
        return {};
    const QString normal = searchNormalForm(text);
    const QString folded = searchFoldedForm(normal);
    if (folded != normal)
        foldedParts |= quint8(1u << unsigned(part));
    if (visitWord)
        forEachIndexWord(folded, visitWord);
    return folded.toStdString();
}

// prepared() of a text of plain ASCII given as its bytes: the normal and folded forms are then
// the text lower-cased, which the record reads from the item's own bytes, and its index words the
// runs of letters, digits and "#"; read in one pass without decoding the text or lowering a copy.
RecordText preparedAscii(const QByteArray& bytes, const std::function<void(QStringView)>& visitWord)
{
    if (visitWord) {
        const qsizetype size = bytes.size();
        const char* in = bytes.constData();
        std::u16string word;
        for (qsizetype i = 0; i < size; ++i) {
            const char c = in[i];
            const char lower = (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
            if ((lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') || lower == '#') {
                word.push_back(char16_t(lower));
                continue;
            }
            if (!word.empty()) {
                visitWord(QStringView(word.data(), qsizetype(word.size())));
                word.clear();
            }
        }
        if (!word.empty())
            visitWord(QStringView(word.data(), qsizetype(word.size())));
    }
    return RecordText::sharedAscii(bytes);
}

bool holdsHash(const ItemText& text)
{
    return text.utf8().contains('#');
}

bool isAsciiWordCharacter(char16_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The hashtags of one part of plain ASCII, lower-cased, as the hashtag pattern finds them in the
// join of the parts: in ASCII a letter is A-Z or a-z and a number 0-9, and neither a tag nor the
// character before its "#" reaches across a joining space, so each part is read on its own.
template <typename Char>
void appendAsciiHashtags(const Char* text, qsizetype size, QStringList& tags)
{
    for (qsizetype i = 0; i < size; ++i) {
        if constexpr (sizeof(Char) == 1) {
            // Long texts hold few "#": memchr skips to the next many bytes at a time.
            const void* hash = std::memchr(text + i, '#', size_t(size - i));
            if (!hash)
                return;
            i = static_cast<const Char*>(hash) - text;
        } else if (text[i] != '#') {
            continue;
        }
        if (i > 0 && (isAsciiWordCharacter(char16_t(text[i - 1])) || text[i - 1] == '_'))
            continue;
        qsizetype end = i + 1;
        if (end >= size || !isAsciiWordCharacter(char16_t(text[end])))
            continue;
        while (end < size && (isAsciiWordCharacter(char16_t(text[end])) || text[end] == '_' || text[end] == '-'))
            ++end;
        QString tag(end - i - 1, Qt::Uninitialized);
        for (qsizetype k = i + 1; k < end; ++k) {
            const char16_t c = char16_t(text[k]);
            tag[k - i - 1] = QChar(c >= 'A' && c <= 'Z' ? char16_t(c + ('a' - 'A')) : c);
        }
        tags.append(tag);
        i = end - 1;
    }
}

QString sortedNames(const QSet<QString>& people)
{
    QStringList names(people.begin(), people.end());
    std::sort(names.begin(), names.end());
    return names.join(QLatin1Char(' '));
}

bool anyHoldsHash(std::initializer_list<QStringView> parts)
{
    for (QStringView part : parts) {
        if (part.contains(QLatin1Char('#')))
            return true;
    }
    return false;
}

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString fromUtf8(const RecordText& text)
{
    return fromUtf8(text.folded());
}

bool contains(FoldedView haystack, std::string_view needle)
{
    return containsFolded(haystack, needle);
}

bool contains(const std::string& haystack, std::string_view needle)
{
    return containsFolded(FoldedView{haystack}, needle);
}

} // namespace

RecordText RecordText::sharedAscii(const QByteArray& ascii)
{
    RecordText text;
    text.m_ascii = ascii;
    text.m_lowered = true;
    return text;
}

bool joinContains(const FoldedView* parts, int count, std::string_view needle)
{
    if (needle.empty())
        return true;
    for (int i = 0; i < count; ++i) {
        if (contains(parts[i], needle))
            return true;
    }
    // An occurrence that no part holds must cross a joining space.
    if (count < 2 || needle.find(' ') == std::string_view::npos)
        return false;
    // Keep only what lies within reach of a joining space; the cut-out middle of a long part is
    // marked by a byte that never occurs in UTF-8, so no match can run across it.
    const size_t reach = needle.size() - 1;
    std::string window;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            window.push_back(' ');
        const FoldedView part = parts[i];
        if (part.size() <= 2 * reach) {
            window.append(foldedBytes(part));
        } else {
            window.append(foldedBytes({part.bytes.substr(0, reach), part.lowered}));
            window.push_back('\xFF');
            window.append(foldedBytes({part.bytes.substr(part.size() - reach), part.lowered}));
        }
    }
    return contains(window, needle);
}

QString SearchRecord::titleText() const { return fromUtf8(title); }
QString SearchRecord::noteText() const { return fromUtf8(note); }

QString SearchRecord::searchable() const
{
    QStringList parts;
    if (!searchableText.empty())
        parts.append(fromUtf8(searchableText));
    if (!peopleNames.empty())
        parts.append(fromUtf8(peopleNames));
    return parts.join(QLatin1Char(' '));
}

QString SearchRecord::combined() const
{
    const RecordText& textPart = textIsSearchableText ? searchableText : text;
    return QStringList{fromUtf8(title), fromUtf8(searchableText), fromUtf8(note), fromUtf8(textPart),
        fromUtf8(urlString), fromUtf8(filePath), fromUtf8(peopleNames)}
        .join(QLatin1Char(' '));
}

bool SearchRecord::titleContains(std::string_view needle) const { return contains(title, needle); }

bool SearchRecord::searchableContains(std::string_view needle) const
{
    if (searchableText.empty())
        return contains(peopleNames, needle);
    if (peopleNames.empty())
        return contains(searchableText.view(), needle);
    const FoldedView parts[] = {searchableText.view(), FoldedView{peopleNames}};
    return joinContains(parts, 2, needle);
}

bool SearchRecord::combinedContains(std::string_view needle) const
{
    if (needle.find(' ') == std::string_view::npos) {
        // Without a space a match lies inside one part; the copy of the searchable text need
        // not be scanned twice.
        return contains(title, needle) || contains(searchableText.view(), needle)
            || contains(note, needle) || otherPartsContain(needle);
    }
    const FoldedView textPart = textIsSearchableText ? searchableText.view() : text.view();
    const FoldedView parts[] = {FoldedView{title}, searchableText.view(), FoldedView{note}, textPart,
        FoldedView{urlString}, FoldedView{filePath}, FoldedView{peopleNames}};
    return joinContains(parts, 7, needle);
}

bool SearchRecord::otherPartsContain(std::string_view needle) const
{
    return (!textIsSearchableText && contains(text.view(), needle)) || contains(urlString, needle)
        || contains(filePath, needle) || contains(peopleNames, needle);
}

QString combinedJoin(const VeskItem& item, const QString& peopleNames)
{
    return QStringList{item.title, item.searchableText.toString(), item.note, item.text ? item.text->toString() : QString(),
        item.urlString.value_or(QString()), item.filePath.value_or(QString()), peopleNames}
        .join(QLatin1Char(' '));
}

std::string unfoldedPart(const VeskItem& item, const QSet<QString>& people, RecordPart part)
{
    QString text;
    switch (part) {
    case RecordPart::Title: text = item.title; break;
    case RecordPart::Note: text = item.note; break;
    case RecordPart::Searchable: text = item.searchableText.toString(); break;
    case RecordPart::Text: text = item.text ? item.text->toString() : QString(); break;
    case RecordPart::Url: text = item.urlString.value_or(QString()); break;
    case RecordPart::Path: text = item.filePath.value_or(QString()); break;
    case RecordPart::People: text = sortedNames(people); break;
    }
    return searchNormalForm(text).toStdString();
}

SearchRecord makeSearchRecord(const VeskItem& item, const QSet<QString>& people,
    const QStringList& manualTags, const std::function<void(QStringView)>& visitWord)
{
    const QString peopleNames = sortedNames(people);

    SearchRecord record;
    quint8& folded = record.foldedParts;
    record.title = prepared(item.title, RecordPart::Title, folded, visitWord);
    record.note = prepared(item.note, RecordPart::Note, folded, visitWord);
    // The long texts are read from their UTF-8 as they stand when they are plain ASCII, as most
    // are; others are decoded once for the record, which keeps only the folded UTF-8.
    if (item.searchableText.isAscii()) {
        record.searchableText = preparedAscii(item.searchableText.utf8(), visitWord);
    } else {
        record.searchableText =
            RecordText(prepared(item.searchableText.toString(), RecordPart::Searchable, folded, visitWord));
    }
    record.textIsSearchableText = item.text && !item.text->isEmpty()
        && (item.text->isSharedWith(item.searchableText) || *item.text == item.searchableText);
    const QString urlString = item.urlString.value_or(QString());
    const QString filePath = item.filePath.value_or(QString());
    if (!record.textIsSearchableText && item.text) {
        if (item.text->isAscii())
            record.text = preparedAscii(item.text->utf8(), visitWord);
        else
            record.text = RecordText(prepared(item.text->toString(), RecordPart::Text, folded, visitWord));
    }
    record.urlString = prepared(urlString, RecordPart::Url, folded, visitWord);
    record.filePath = prepared(filePath, RecordPart::Path, folded, visitWord);
    record.peopleNames = prepared(peopleNames, RecordPart::People, folded, visitWord);

    // The regular expression sees each part's neighbours as they stand in the join, so the join
    // is scanned whole, but only when there is a "#" at all. Composed first, so that a decomposed
    // accent does not cut a tag short.
    if (anyHoldsHash({item.title, item.note, urlString, filePath, peopleNames})
        || holdsHash(item.searchableText) || (item.text && holdsHash(*item.text))) {
        const QStringView shortParts[] = {item.title, item.note, urlString, filePath, peopleNames};
        const bool ascii = item.searchableText.isAscii() && (!item.text || item.text->isAscii())
            && std::all_of(std::begin(shortParts), std::end(shortParts), [](QStringView part) { return isAsciiText(part); });
        if (ascii) {
            // Plain ASCII, as most texts are, is read without decoding or joining the long texts.
            for (const QStringView part : shortParts)
                appendAsciiHashtags(part.utf16(), part.size(), record.tags);
            const QByteArray& searchable = item.searchableText.utf8();
            appendAsciiHashtags(searchable.constData(), searchable.size(), record.tags);
            if (item.text && !record.textIsSearchableText)
                appendAsciiHashtags(item.text->utf8().constData(), item.text->utf8().size(), record.tags);
        } else {
            QString join = combinedJoin(item, peopleNames);
            if (!isAsciiText(join))
                join = join.normalized(QString::NormalizationForm_C);
            record.tags = extractHashtags(join);
        }
    }
    record.tags.append(manualTags);
    std::sort(record.tags.begin(), record.tags.end());
    record.tags.erase(std::unique(record.tags.begin(), record.tags.end()), record.tags.end());
    record.tags.squeeze();
    for (const QString& name : people)
        record.people.insert(searchNormalForm(name));
    return record;
}

} // namespace vesk
