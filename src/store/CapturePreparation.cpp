#include "store/CapturePreparation.h"

#include "intake/HtmlText.h"
#include "intake/NearDuplicate.h"
#include "model/TextMarkers.h"
#include "search/SearchText.h"
#include "store/CaptureRowWriter.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace vesk {

namespace {

const QString kSourceHtmlMarker = QStringLiteral("__vesk_source_html__ ");

// A text that is nothing but one http or https address. Anything with white space in it is a
// sentence that merely starts with an address.
std::optional<QUrl> loneWebAddress(const QString& trimmed)
{
    static const QRegularExpression whiteSpace(QStringLiteral("\\s"),
                                               QRegularExpression::UseUnicodePropertiesOption);
    if (trimmed.contains(whiteSpace))
        return std::nullopt;
    const QUrl url(trimmed, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return std::nullopt;
    return url;
}

PreparedCapture textCapture(const QString& title, const QString& trimmed, const SimilarTextFinder& findSimilar)
{
    PreparedCapture prepared;
    prepared.kind = PreparedCapture::Kind::Text;
    prepared.title = title;
    prepared.text = ItemText(trimmed);
    // One buffer for both: a note is searched by its own text.
    prepared.searchableText = prepared.text;
    prepared.similar = findSimilar(trimmed);
    return prepared;
}

} // namespace

VeskItem capturedTextItem(const PreparedCapture& prepared)
{
    VeskItem item;
    item.id = prepared.id;
    item.kind = VeskKind::Text;
    item.createdAt = prepared.createdAt;
    item.title = prepared.title;
    item.text = prepared.text;
    item.searchableText = prepared.searchableText;
    shareEqualTexts(item);
    return item;
}

PreparedCapture prepareTextCapture(const QString& text, const std::optional<QString>& title,
                                   const SimilarTextFinder& findSimilar)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {};
    QString itemTitle = title.value_or(QString()).trimmed();
    if (itemTitle.isEmpty()) {
        if (const std::optional<QUrl> url = loneWebAddress(trimmed)) {
            PreparedCapture link;
            link.kind = PreparedCapture::Kind::Link;
            link.link = *url;
            return link;
        }
        itemTitle = deriveTitle(trimmed);
    }
    return textCapture(itemTitle, trimmed, findSimilar);
}

PreparedCapture prepareRichTextCapture(const std::optional<QString>& title, const QString& plainText,
                                       const SimilarTextFinder& findSimilar)
{
    const QString trimmed = plainText.trimmed();
    if (trimmed.isEmpty())
        return {};
    QString itemTitle = title.value_or(QString()).trimmed();
    if (itemTitle.isEmpty())
        itemTitle = deriveTitle(trimmed);
    return textCapture(itemTitle, trimmed, findSimilar);
}

PreparedCapture prepareHtmlCapture(const QByteArray& data, const SimilarTextFinder& findSimilar)
{
    QStringDecoder decoder(QStringConverter::Utf8);
    const QString html = decoder.decode(data);
    if (decoder.hasError())
        return {};
    const QString pageText = plainTextFromHTML(html);
    const QString title = htmlTitle(html).value_or(deriveTitle(pageText));
    PreparedCapture prepared;
    prepared.kind = PreparedCapture::Kind::Text;
    prepared.title = title;
    prepared.text = ItemText(pageText);
    prepared.searchableText = ItemText(kSourceHtmlMarker + pageText);
    prepared.similar = findSimilar(pageText);
    return prepared;
}

PreparedCapture makeCaptureReady(const std::function<PreparedCapture(const SimilarTextFinder&)>& prepare,
                                 const SimilarTextFinder& findSimilar, const QUuid& id, const QDateTime& createdAt,
                                 const CancellationToken& cancel)
{
    // Each step over megabytes of text takes a good part of a second: a store going away waits
    // for one step at most, never for the whole capture.
    if (cancel.isCancelled())
        return {};
    PreparedCapture prepared = prepare([&findSimilar, &cancel](const QString& text) -> QList<NearDuplicateMatch> {
        if (cancel.isCancelled() || !findSimilar)
            return {};
        return findSimilar(text);
    });
    if (cancel.isCancelled())
        return {};
    prepared.id = id;
    prepared.createdAt = createdAt;
    if (prepared.kind != PreparedCapture::Kind::Text)
        return prepared;
    const VeskItem item = capturedTextItem(prepared);
    // A new item has no people and no manual tags yet.
    prepared.searchEntry = SearchIndex::prepare(item, {}, {});
    if (cancel.isCancelled())
        return {};
    prepared.nearDuplicateEntry = NearDuplicateIndex::prepare(item);
    if (cancel.isCancelled())
        return {};
    // Read here once, the markers are not looked for again when the card is drawn.
    (void)textMarkers(item.searchableText);
    return prepared;
}

bool writePreparedCapture(const PreparedCapture& prepared, const std::optional<QByteArray>& rtf,
                          CaptureRowWriter& writer, const CancellationToken& cancel)
{
    if (prepared.kind != PreparedCapture::Kind::Text || cancel.isCancelled())
        return false;
    return writer.write(capturedTextItem(prepared), rtf);
}

} // namespace vesk
