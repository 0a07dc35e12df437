#include "app/DropIntake.h"

#include "intake/HtmlText.h"
#include "model/ItemText.h"
#include "platform/TextFolding.h"

#include <QMimeData>
#include <QStringDecoder>

namespace vesk {

namespace {

// Markup is mostly ASCII: in UTF-16 one byte of each such character is zero. highByte is 1 for
// little-endian text and 0 for big-endian.
bool looksLikeUtf16(const QByteArray& bytes, int highByte)
{
    if (bytes.size() < 4 || bytes.size() % 2 != 0)
        return false;
    const qsizetype sample = std::min<qsizetype>(bytes.size(), 512);
    qsizetype zeroHigh = 0;
    qsizetype zeroLow = 0;
    for (qsizetype i = 0; i + 1 < sample; i += 2) {
        zeroHigh += bytes[i + highByte] == 0;
        zeroLow += bytes[i + 1 - highByte] == 0;
    }
    return zeroHigh * 2 > sample / 2 && zeroLow * 4 < sample / 2;
}

bool looksLikeUtf16LittleEndian(const QByteArray& bytes)
{
    return looksLikeUtf16(bytes, 1);
}

bool looksLikeUtf16BigEndian(const QByteArray& bytes)
{
    return looksLikeUtf16(bytes, 0);
}

// How much of a large page is read first for its words: a page that shows any text mostly shows
// it near its start.
constexpr qsizetype kHtmlTextProbeBytes = 64 * 1024;

bool hasVisibleText(const QString& html)
{
    return !isBlankText(plainTextFromHTML(html));
}

// Whether the page's beginning already shows text the whole page would show too: it ends just
// after a tag's closing '>' (so no tag, and no character, is cut in two) and leaves no script,
// style or noscript element open, whose body would otherwise be read as words.
bool beginningShowsText(const QString& beginning)
{
    const qsizetype end = beginning.lastIndexOf(QLatin1Char('>'));
    if (end < 0)
        return false;
    const QStringView cut = QStringView(beginning).left(end + 1);
    for (const QLatin1StringView element : {QLatin1StringView("script"), QLatin1StringView("style"),
                                            QLatin1StringView("noscript")}) {
        const qsizetype opened = cut.lastIndexOf(QLatin1String("<") + element, -1, Qt::CaseInsensitive);
        const qsizetype closed = cut.lastIndexOf(QLatin1String("</") + element, -1, Qt::CaseInsensitive);
        if (opened > closed)
            return false;
    }
    return hasVisibleText(cut.toString());
}

// A dropped page is checked for words on the main thread, while the drop is handled. A page of
// megabytes is not decoded and read whole for that when its beginning already answers; the
// store makes the page's text off the main thread anyway.
bool droppedHtmlHasText(const QByteArray& bytes)
{
    if (bytes.size() > kHtmlTextProbeBytes) {
        // An even count, so that a UTF-16 page is not cut inside a code unit.
        const QByteArray beginning = bytes.left(kHtmlTextProbeBytes & ~qsizetype(1));
        if (beginningShowsText(decodeDroppedHtml(beginning)))
            return true;
    }
    return hasVisibleText(decodeDroppedHtml(bytes));
}

// The page as the UTF-8 the store takes. Bytes that are already well-formed UTF-8 without a byte
// order mark are kept as they are rather than decoded and encoded again.
QByteArray droppedHtmlAsUtf8(const QByteArray& bytes)
{
    const bool marked = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") || bytes.startsWith("\xEF\xBB\xBF");
    if (marked || looksLikeUtf16LittleEndian(bytes) || looksLikeUtf16BigEndian(bytes))
        return decodeDroppedHtml(bytes).toUtf8();
    // Ill-formed bytes come back as a decode makes them, as QString::fromUtf8 would.
    return ItemText::fromUtf8(bytes).utf8();
}

} // namespace

QString decodeDroppedHtml(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringDecoder::Utf16LE).decode(bytes.mid(2));
    if (bytes.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringDecoder::Utf16BE).decode(bytes.mid(2));
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    if (looksLikeUtf16LittleEndian(bytes))
        return QStringDecoder(QStringDecoder::Utf16LE).decode(bytes);
    if (looksLikeUtf16BigEndian(bytes))
        return QStringDecoder(QStringDecoder::Utf16BE).decode(bytes);
    return QString::fromUtf8(bytes);
}

QList<DropAction> dropActionsFor(const QMimeData& mime)
{
    QList<DropAction> actions;
    QList<QUrl> fileUrls;
    QList<QUrl> webUrls;
    if (mime.hasUrls()) {
        for (const QUrl& url : mime.urls()) {
            if (url.isLocalFile()) {
                if (!url.toLocalFile().isEmpty())
                    fileUrls << url;
            } else if (url.isValid() && !url.scheme().isEmpty()) {
                webUrls << url;
            }
        }
    }

    if (!fileUrls.isEmpty()) {
        for (const QUrl& url : fileUrls) {
            DropAction action;
            action.kind = DropAction::Kind::ImportFile;
            action.filePath = url.toLocalFile();
            action.nativePath = localPathBytes(url);
            actions << action;
        }
        for (const QUrl& url : webUrls) {
            DropAction action;
            action.kind = DropAction::Kind::AddLink;
            action.url = url;
            actions << action;
        }
        return actions;
    }

    if (mime.hasFormat(QStringLiteral("text/html"))) {
        const QByteArray html = mime.data(QStringLiteral("text/html"));
        // Markup without any text (a browser's picture drag is a lone <img>) would make an empty
        // note and lose the address that came with it: the link or text below is kept instead.
        if (droppedHtmlHasText(html)) {
            DropAction action;
            action.kind = DropAction::Kind::AddHTML;
            action.html = droppedHtmlAsUtf8(html);
            actions << action;
            return actions;
        }
    }

    if (!webUrls.isEmpty()) {
        for (const QUrl& url : webUrls) {
            DropAction action;
            action.kind = DropAction::Kind::AddLink;
            action.url = url;
            actions << action;
        }
        return actions;
    }

    if (mime.hasText()) {
        const QString text = mime.text();
        if (!isBlankText(text)) {
            DropAction action;
            action.kind = DropAction::Kind::AddText;
            action.text = text;
            actions << action;
        }
    }
    return actions;
}

bool dropIsAcceptable(const QMimeData& mime)
{
    return mime.hasUrls() || mime.hasFormat(QStringLiteral("text/html")) || mime.hasText();
}

QByteArray localPathBytes(const QUrl& url)
{
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
}

} // namespace vesk
