#include "app/DropIntake.h"

#include "intake/HtmlText.h"
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
        const QString html = decodeDroppedHtml(mime.data(QStringLiteral("text/html")));
        // Markup without any text (a browser's picture drag is a lone <img>) would make an empty
        // note and lose the address that came with it: the link or text below is kept instead.
        if (!isBlankText(plainTextFromHTML(html))) {
            DropAction action;
            action.kind = DropAction::Kind::AddHTML;
            action.html = html.toUtf8();
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
