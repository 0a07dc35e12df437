#pragma once

#include "model/VeskItem.h"
#include "platform/CancellationToken.h"

#include <QList>
#include <QSet>
#include <QString>
#include <optional>
#include <vector>

namespace vesk {

// The name of a document with its version words ("final", "v2", "draft3", "(1)", "copy", a
// trailing counter...) and every character outside a-z and 0-9 removed, lower-cased:
// "Report final.pdf", "report_v2.pdf" and "Report (3).pdf" all give "report". The name is taken
// as a file name: its directory and extension are ignored.
QString versionKey(const QString& fileName);

// Keys shorter than this never match anything ("V7.pdf" has the empty key).
inline constexpr qsizetype kMinimumVersionKeyLength = 3;

// The first item of items whose managed file has the same extension as fileName (ignoring case)
// and whose title has the same version key as fileName; none otherwise.
std::optional<VeskItem> findRelatedVersionIn(const QList<VeskItem>& items, const QString& fileName);
// The same test one kept file at a time: what a file name is matched by (none when its key is too
// short to match anything), and whether a kept file, by its item's title and its managed path, is
// of that family.
struct VersionFamily {
    QString key;
    QString extension;
};
std::optional<VersionFamily> versionFamilyOf(const QString& fileName);
bool isOfVersionFamily(const VersionFamily& family, const QString& title, const QString& path);

// The words of a file's name that tell its family apart from its version: the name without
// directory and extension, lower-cased, with version words ("final", "draft", "v2", "(3)", ...)
// and the separators "_", "-" and "." turned into spaces; the pieces longer than one character.
QSet<QString> versionFamilyTokens(const QString& path);

// How far two texts agree from their start: the common prefix length over the shorter text's
// length in user-perceived characters; 0 when either is empty.
double positionalSimilarity(const QString& a, const QString& b);

// Other files in items that look like versions of the item's file: the same lower-cased
// extension, and the same version key or family tokens close enough. Best first (scores within
// 0.001 of each other newest first), at most limit. Empty for an item without a file or without
// an extension. A worker passes its token: once it is cancelled the walk stops and the result is
// empty.
QList<VeskItem> relatedVersionsIn(const VeskItem& item, const QList<VeskItem>& items, qsizetype limit,
                                  const CancellationToken* cancelled = nullptr);

// relatedVersionsIn one item at a time, for a walk that reads the library in pieces: whether
// another item is a version of this item's file, and how close.
class RelatedVersionMatch {
public:
    explicit RelatedVersionMatch(const VeskItem& item);
    // False for an item without a file or without an extension: nothing is a version of it.
    bool canMatch() const { return m_canMatch; }
    // The other item's score when it is kept as a version; none otherwise.
    std::optional<double> score(const VeskItem& other) const;

    struct Kept {
        VeskItem item;
        double score = 0;
    };
    // The kept items, given in list order, best first as relatedVersionsIn orders them, at most limit.
    static QList<VeskItem> best(std::vector<Kept> kept, qsizetype limit);

private:
    QUuid m_id;
    QString m_extension;
    QString m_key;
    QSet<QString> m_tokens;
    bool m_canMatch = false;
};

} // namespace vesk
