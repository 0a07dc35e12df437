// Text, rich-text, HTML and link capture, and the one way a new item enters the library.
#include "store/VeskStore.h"

#include "intake/HtmlText.h"
#include "intake/NearDuplicate.h"
#include "platform/Log.h"
#include "store/FailureWording.h"
#include "search/SearchText.h"
#include "store/SQLiteDatabase.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimer>

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

VeskIntakeNotice familiarNotice(const VeskItem& match)
{
    return VeskIntakeNotice{QUuid::createUuid(), VeskIntakeNoticeKind::Version,
                            QStringLiteral("Looks familiar"), match.title, match.id};
}

VeskItem newTextItem(const QUuid& id, const QDateTime& now)
{
    VeskItem item;
    item.id = id;
    item.kind = VeskKind::Text;
    item.createdAt = now;
    return item;
}

} // namespace

bool VeskStore::refuseNewItemWhileBlocked(const QString& title)
{
    if (!m_libraryProblem)
        return false;
    // Taken in, it would live on screen only and be lost at the next start, or be written into a
    // file that could not be read.
    reportFailure(QStringLiteral("Not kept"),
                  quotedItemTitle(title) + QStringLiteral(" was not kept: the library could not be read."));
    return true;
}

bool VeskStore::commitNewItem(const VeskItem& item)
{
    return commitNewItemWithRichText(item, std::nullopt);
}

bool VeskStore::commitNewItemWithRichText(const VeskItem& item, const std::optional<QByteArray>& rtf)
{
    assertMainThread();
    if (refuseNewItemWhileBlocked(item.title))
        return false;
    m_items.prepend(item);
    emit itemsChanged();
    setSelectedID(item.id);
    if (rtf) {
        // Shown with its formatting at once; a row that is not written is retried with it.
        m_richTextByID.insert(item.id, *rtf);
        emit richTextByIDChanged();
    }

    const bool saved = writeItem(item, rtf);

    refreshSearchAfterItemChange(item.id);
    QTimer::singleShot(0, this, [this, item] { embedItem(item); });
    return saved;
}

std::optional<VeskItem> VeskStore::findSimilarText(const QString& text) const
{
    assertMainThread();
    return findSimilarTextIn(m_items, text);
}

void VeskStore::addText(const QString& text, const std::optional<QString>& title)
{
    assertMainThread();
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return;
    QString itemTitle = title.value_or(QString()).trimmed();
    if (itemTitle.isEmpty()) {
        if (const std::optional<QUrl> url = loneWebAddress(trimmed)) {
            addLink(*url);
            return;
        }
        itemTitle = deriveTitle(trimmed);
    }
    const std::optional<VeskItem> match = findSimilarText(trimmed);

    VeskItem item = newTextItem(QUuid::createUuid(), m_services.clock->now());
    item.title = itemTitle;
    item.text = trimmed;
    item.searchableText = trimmed;
    if (!commitNewItem(item) && m_libraryProblem)
        return;
    if (match)
        setIntakeNotice(familiarNotice(*match));
}

void VeskStore::addRichTextNote(const std::optional<QString>& title, const QString& plainText,
                                const std::optional<QByteArray>& rtf)
{
    assertMainThread();
    const QString trimmed = plainText.trimmed();
    if (trimmed.isEmpty())
        return;
    QString itemTitle = title.value_or(QString()).trimmed();
    if (itemTitle.isEmpty())
        itemTitle = deriveTitle(trimmed);
    const std::optional<VeskItem> match = findSimilarText(trimmed);

    VeskItem item = newTextItem(QUuid::createUuid(), m_services.clock->now());
    item.title = itemTitle;
    item.text = trimmed;
    item.searchableText = trimmed;
    // A failed write is marked on the card and retried; the window says it.
    if (!commitNewItemWithRichText(item, rtf) && m_libraryProblem)
        return;
    if (match)
        setIntakeNotice(familiarNotice(*match));
}

void VeskStore::addHTML(const QByteArray& data)
{
    assertMainThread();
    QStringDecoder decoder(QStringConverter::Utf8);
    const QString html = decoder.decode(data);
    if (decoder.hasError())
        return;

    const QString pageText = plainTextFromHTML(html);
    const QString itemTitle = htmlTitle(html).value_or(deriveTitle(pageText));
    const std::optional<VeskItem> match = findSimilarText(pageText);

    VeskItem item = newTextItem(QUuid::createUuid(), m_services.clock->now());
    item.title = itemTitle;
    item.text = pageText;
    item.searchableText = kSourceHtmlMarker + pageText;
    if (!commitNewItem(item) && m_libraryProblem)
        return;
    if (match)
        setIntakeNotice(familiarNotice(*match));
}

void VeskStore::addLink(const QUrl& url)
{
    assertMainThread();
    // The encoded form: a decoded one would turn "%20" into a space and store a different address.
    const QString address = url.toString(QUrl::FullyEncoded);
    const QString host = url.host(QUrl::FullyDecoded);

    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = VeskKind::Url;
    item.createdAt = m_services.clock->now();
    item.title = host.isEmpty() ? address : host;
    item.urlString = address;
    item.searchableText = address;
    (void)commitNewItem(item); // a failure is marked on the card and said by the store
}

} // namespace vesk
