#include "app/ClipboardCapture.h"

#include "app/DropIntake.h"
#include "intake/FileImportJob.h"
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
#include <functional>

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

// Posts the captured notice once the import is done, unless the import said something of its own
// ("Already in Vesk", "Looks like another version") or failed.
void noticeWhenImported(VeskStore& store, QFuture<bool> imported, const QString& title,
                        const std::optional<QString>& detail, std::function<void()> done = {})
{
    const std::optional<QUuid> before = store.intakeNotice() ? std::optional<QUuid>(store.intakeNotice()->id) : std::nullopt;
    imported.then(&store, [&store, before, title, detail, done = std::move(done)](bool kept) {
        const std::optional<QUuid> now = store.intakeNotice() ? std::optional<QUuid>(store.intakeNotice()->id) : std::nullopt;
        if (kept && now == before)
            postCapturedNotice(store, title, detail);
        if (done)
            done();
    });
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
    // The temporary file goes once the import has its own copy (or gave up).
    noticeWhenImported(store, store.importFile(path), kCapturedTitle, QStringLiteral("Image"),
                       [path] { QFile::remove(path); });
    return true;
}

bool captureClipboard(VeskStore& store, const QMimeData& clipboard)
{
    const QList<QUrl> files = fileURLs(clipboard);
    if (!files.isEmpty()) {
        QList<QByteArray> present;
        for (const QUrl& url : files) {
            const QByteArray path = localPathBytes(url);
            if (QFileInfo::exists(QFile::decodeName(path)))
                present.append(path);
        }
        if (present.isEmpty())
            return false;
        // The imports run one after the other; the last to finish says how many were kept.
        QList<QFuture<bool>> imports;
        for (const QByteArray& path : std::as_const(present))
            imports.append(store.importNativeFile(path));
        const QString title = files.size() == 1 ? kCapturedTitle
                                                : QStringLiteral("Vesked ") + QString::number(files.size()) + QStringLiteral(" items");
        const std::optional<QString> detail = files.size() == 1
            ? std::optional<QString>(displayFileName(present.first().mid(present.first().lastIndexOf('/') + 1)))
            : std::nullopt;
        noticeWhenImported(store, imports.last().then([imports](bool last) {
            bool any = last;
            for (const QFuture<bool>& import : imports)
                any = any || (import.isFinished() && !import.isCanceled() && import.result());
            return any;
        }), title, detail);
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
