#pragma once

#include "model/VeskItem.h"
#include "search/FoldedView.h"

#include <QByteArray>

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <string_view>

namespace vesk {

// The parts of a record's texts, as bits of SearchRecord::foldedParts.
enum class RecordPart : quint8 { Title, Note, Searchable, Text, Url, Path, People };

// A long text of a record in its folded form. A text of plain ASCII, as most are, is not copied:
// its folded form is its bytes lower-cased, so the record shares the item's own buffer and the
// tests read it lowered (FoldedView). Others keep their folded UTF-8.
class RecordText {
public:
    RecordText() = default;
    explicit RecordText(std::string folded) : m_folded(std::move(folded)) {}
    static RecordText sharedAscii(const QByteArray& ascii);

    FoldedView view() const
    {
        if (m_lowered)
            return {std::string_view(m_ascii.constData(), size_t(m_ascii.size())), true};
        return {m_folded, false};
    }
    bool empty() const { return m_lowered ? m_ascii.isEmpty() : m_folded.empty(); }
    // The folded form as bytes of its own.
    std::string folded() const { return foldedBytes(view()); }

    friend bool operator==(const RecordText& a, const RecordText& b) { return sameFolded(a.view(), b.view()); }

private:
    std::string m_folded;
    QByteArray m_ascii;
    bool m_lowered = false;
};

// What the lexical pass reads of one item, lower-cased once.
//
// The texts are kept in their folded search form (SearchForms.h): accents and widths dropped,
// so that a query typed without them finds text written with them. The few parts that folding
// changed are marked; an accented query term is matched against their unfolded form, made
// again from the item when needed.
//
// The texts are kept as UTF-8: a substring test on UTF-8 bytes answers the same as on the
// characters, scans several times faster and halves the memory of a large library. The long
// `combined` text (title, searchable text, note, text, link, path and people joined by one space)
// is not stored a second time: it is kept as its parts, and the containment tests below look
// across the joining spaces exactly as they would in the joined text.
struct SearchRecord {
    std::string title;
    std::string note;
    RecordText searchableText;   // the item's searchableText
    RecordText text;             // the item's text (or empty)
    bool textIsSearchableText = false; // true when `text` equals `searchableText` (not kept twice)
    std::string urlString;
    std::string filePath;
    std::string peopleNames;     // the people's names, sorted, joined by one space
    quint8 foldedParts = 0;      // bit n: folding changed RecordPart n
    QStringList tags;            // sorted, each once (a set costs a library tens of megabytes)
    QSet<QString> people;        // normal form, not folded

    bool isFolded(RecordPart part) const { return foldedParts & (1u << unsigned(part)); }

    // The record's texts as full strings.
    QString titleText() const;
    QString noteText() const;
    QString searchable() const;
    QString combined() const;

    // Plain, case-sensitive substring tests; `needle` is UTF-8.
    bool titleContains(std::string_view needle) const;
    bool searchableContains(std::string_view needle) const;
    bool combinedContains(std::string_view needle) const;
    // For a needle without a space: does `combined` hold it in a part other than the title, the
    // note and the searchable text? (The caller has tested those already.)
    bool otherPartsContain(std::string_view needle) const;

    friend bool operator==(const SearchRecord&, const SearchRecord&) = default;
};

// The record of one item. `people` are the names of the person pools that hold a face of the item
// (trimmed, in their own case); `manualTags` its manual tags. When given, `visitWord` receives
// every index word (runs of letters, numbers, marks and "#") of the folded texts.
SearchRecord makeSearchRecord(const VeskItem& item, const QSet<QString>& people,
    const QStringList& manualTags, const std::function<void(QStringView)>& visitWord = {});

// A part of the item's record in normal form, before folding.
std::string unfoldedPart(const VeskItem& item, const QSet<QString>& people, RecordPart part);

// The unlowered join that hashtags are read from (title, searchable text, note, text, link, path,
// people), by one space, empty parts kept.
QString combinedJoin(const VeskItem& item, const QString& peopleNames);

// Whether needle occurs in the join of parts by one space, without building the join.
bool joinContains(const FoldedView* parts, int count, std::string_view needle);

} // namespace vesk
