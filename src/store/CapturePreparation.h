#pragma once
// Internal to src/store/: what a text, rich-text or HTML capture becomes before it is committed.
// Pure functions of their input, so a large capture can be made ready off the main thread.

#include "model/VeskItem.h"
#include "intake/NearDuplicate.h"
#include "intake/NearDuplicateIndex.h"
#include "platform/CancellationToken.h"
#include "search/SearchIndex.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QUuid>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

namespace vesk {

class CaptureRowWriter;

struct PreparedCapture {
    enum class Kind {
        // Nothing to keep (blank text, HTML that is not UTF-8).
        Nothing,
        Text,
        // A lone web address given as text without a title.
        Link,
    };
    Kind kind = Kind::Nothing;
    QUrl link;
    QString title;
    // Held as the item holds them: a large text is turned into UTF-8 where it is made ready, not
    // again on the main thread, and the item keeps the very buffer the worker read its markers
    // from.
    ItemText text;
    ItemText searchableText;
    // The kept text items that say nearly the same, for "Looks familiar": the one it names is
    // chosen by the list as it stands when the capture is committed.
    QList<NearDuplicateMatch> similar;

    // Given when the capture was made, so that one made ready elsewhere keeps its moment.
    QUuid id;
    QDateTime createdAt;
    // Its row (and rich text) is already in the library file.
    bool written = false;
    // Its search entry, read where it was made ready; the index takes it in one short step.
    std::shared_ptr<SearchIndex::Prepared> searchEntry;
    // Its near-duplicate entry, read there too.
    std::shared_ptr<NearDuplicateIndex::PreparedItem> nearDuplicateEntry;
};

// The text item a prepared Text capture becomes.
VeskItem capturedTextItem(const PreparedCapture& prepared);

// The near-duplicate check a preparation runs: the items of the library that say nearly the same
// as text. The store's own index is read on the main thread, and in turns of its gate off it.
using SimilarTextFinder = std::function<QList<NearDuplicateMatch>(const QString& text)>;

PreparedCapture prepareTextCapture(const QString& text, const std::optional<QString>& title,
                                   const SimilarTextFinder& findSimilar);
PreparedCapture prepareRichTextCapture(const std::optional<QString>& title, const QString& plainText,
                                       const SimilarTextFinder& findSimilar);
PreparedCapture prepareHtmlCapture(const QByteArray& data, const SimilarTextFinder& findSimilar);

// A large capture made ready off the main thread: prepare compares it with the library through
// findSimilar, then the capture is stamped with id and createdAt, and its search and
// near-duplicate entries and its markers are read. Between the steps it looks at cancel: a
// cancelled capture stops there as Nothing.
PreparedCapture makeCaptureReady(const std::function<PreparedCapture(const SimilarTextFinder&)>& prepare,
                                 const SimilarTextFinder& findSimilar, const QUuid& id, const QDateTime& createdAt,
                                 const CancellationToken& cancel);
// The row of a capture made ready (with rtf) in one transaction: a capture stopped before it
// leaves nothing in the file, and one written is whole (it is then found at the next start).
// False when it was not written: a capture that is not a text, a cancelled one, a failed write.
bool writePreparedCapture(const PreparedCapture& prepared, const std::optional<QByteArray>& rtf,
                          CaptureRowWriter& writer, const CancellationToken& cancel);

} // namespace vesk
