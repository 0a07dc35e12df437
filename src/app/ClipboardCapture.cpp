#include "app/ClipboardCapture.h"

#include "platform/Graphemes.h"
#include "platform/Log.h"
#include "platform/Uuid.h"
#include "richtext/RtfReader.h"
#include "store/VeskStore.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>

namespace vesk {

namespace {

const QString kCapturedTitle = QStringLiteral("Vesked from Clipboard");

void postCapturedNotice(VeskStore& store, const QString& title, const std::optional<QString>& detail)
{
    VeskIntakeNotice notice;
    notice.id = QUuid::createUuid();
    notice.kind = VeskIntakeNoticeKind::Captured;
    notice.title = title;
    notice.detail = detail;
    store.setIntakeNotice(notice);
}

// Every URL a local file, and at least one; anything else is not a file list.
QList<QUrl> fileURLs(const QMimeData& clipboard)
{
    if (!clipboard.hasUrls())
        return {};
    const QList<QUrl> urls = clipboard.urls();
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            return {};
    }
    return urls;
}

QByteArray firstData(const QMimeData& clipboard, std::initializer_list<const char*> types)
{
    for (const char* type : types) {
        const QString name = QString::fromLatin1(type);
        if (clipboard.hasFormat(name))
            return clipboard.data(name);
    }
    return {};
}

QString plainTextOf(const RtfContent& content)
{
    QStringList lines;
    for (const RtfParagraph& paragraph : content.paragraphs) {
        QString line;
        for (const RtfRun& run : paragraph.runs)
            line += run.text;
        lines.append(line);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

QString clipboardNoticeDetail(const QString& text)
{
    static const QRegularExpression newlines(QStringLiteral("\r\n|[\n\v\f\r\u0085\u2028\u2029]"));
    const QStringList pieces = text.split(newlines, Qt::SkipEmptyParts);
    return leftGraphemes(pieces.isEmpty() ? text : pieces.first(), 80);
}

bool captureClipboardImage(const QByteArray& data, const QString& extension, VeskStore& store)
{
    const QString path = QDir(QDir::tempPath())
                             .filePath(QStringLiteral("Vesk-Clipboard-") + uuidString(QUuid::createUuid())
                                       + QLatin1Char('.') + extension);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        veskLog(QStringLiteral("Vesk clipboard image could not be written: ") + file.errorString());
        return false;
    }
    const bool imported = store.importFile(path);
    if (imported && !store.intakeNotice())
        postCapturedNotice(store, kCapturedTitle, QStringLiteral("Image"));
    QFile::remove(path);
    return imported;
}

bool captureClipboard(VeskStore& store, const QMimeData& clipboard)
{
    const QList<QUrl> files = fileURLs(clipboard);
    if (!files.isEmpty()) {
        bool any = false;
        for (const QUrl& url : files)
            any = store.importFile(url.toLocalFile()) || any;
        if (!any)
            return false;
        if (!store.intakeNotice()) {
            if (files.size() == 1)
                postCapturedNotice(store, kCapturedTitle, QFileInfo(files.first().toLocalFile()).fileName());
            else
                postCapturedNotice(store, QStringLiteral("Vesked ") + QString::number(files.size())
                                              + QStringLiteral(" items"),
                                   std::nullopt);
        }
        return true;
    }

    if (const QByteArray png = firstData(clipboard, {"image/png"}); !png.isEmpty()) {
        if (captureClipboardImage(png, QStringLiteral("png"), store))
            return true;
    }
    if (const QByteArray tiff = firstData(clipboard, {"image/tiff"}); !tiff.isEmpty()) {
        const QImage image = QImage::fromData(tiff, "TIFF");
        QByteArray png;
        QBuffer buffer(&png);
        if (!image.isNull() && buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG")
            && captureClipboardImage(png, QStringLiteral("png"), store))
            return true;
    }

    if (const QByteArray rtf = firstData(clipboard, {"text/rtf", "application/rtf"}); !rtf.isEmpty()) {
        if (const std::optional<RtfContent> content = parseRtf(rtf)) {
            const QString text = plainTextOf(*content).trimmed();
            if (text.isEmpty())
                return false;
            store.addRichTextNote(std::nullopt, text, rtf);
            postCapturedNotice(store, kCapturedTitle, clipboardNoticeDetail(text));
            return true;
        }
    }

    if (clipboard.hasHtml()) {
        store.addHTML(clipboard.html().toUtf8());
        postCapturedNotice(store, kCapturedTitle, QStringLiteral("Rich web content"));
        return true;
    }

    const QString text = clipboard.hasText() ? clipboard.text().trimmed() : QString();
    if (text.isEmpty())
        return false;
    store.addText(text);
    postCapturedNotice(store, kCapturedTitle, clipboardNoticeDetail(text));
    return true;
}

bool captureClipboard(VeskStore& store)
{
    const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
    return clipboard && captureClipboard(store, *clipboard);
}

} // namespace vesk
