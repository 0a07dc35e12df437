#include "app/ClipboardCapture.h"

#include "app/DropIntake.h"
#include "intake/FileImportJob.h"
#include "platform/DurableFile.h"
#include "platform/Graphemes.h"
#include "platform/FutureDelivery.h"
#include "platform/Log.h"
#include "platform/Uuid.h"
#include "platform/WorkPool.h"
#include "platform/X11ClipboardText.h"
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
#include <QPointer>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

namespace vesk {

namespace {

const QString kCapturedTitle = QStringLiteral("Vesked from Clipboard");

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

constexpr std::initializer_list<const char*> kPngTypes = {"image/png"};
constexpr std::initializer_list<const char*> kTiffTypes = {"image/tiff"};
constexpr std::initializer_list<const char*> kRtfTypes = {"text/rtf", "application/rtf"};

bool hasAny(const QMimeData& clipboard, std::initializer_list<const char*> types)
{
    return std::any_of(types.begin(), types.end(),
                       [&](const char* type) { return clipboard.hasFormat(QString::fromLatin1(type)); });
}

// Text, and none of the kinds tried before it (nor addresses of any kind): what the clipboard
// holds is looked at, not read.
bool holdsOnlyText(const QMimeData& clipboard)
{
    return clipboard.hasText() && !clipboard.hasUrls() && !hasAny(clipboard, kPngTypes)
        && !hasAny(clipboard, kTiffTypes) && !hasAny(clipboard, kRtfTypes) && !clipboard.hasHtml();
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

std::optional<QUuid> currentNoticeID(const VeskStore& store)
{
    return store.intakeNotice() ? std::optional<QUuid>(store.intakeNotice()->id) : std::nullopt;
}

// Once the import is done: posts the captured notice, unless the import said something of its own
// ("Already in Vesk", "Looks like another version") or failed; then hands on whether it kept it.
void noticeWhenImported(VeskStore& store, const QFuture<bool>& imported, const QString& title,
                        const std::optional<QString>& detail, std::function<void(bool)> done = {})
{
    const std::optional<QUuid> before = currentNoticeID(store);
    deliverResult(&store, imported, [&store, before, title, detail, done = std::move(done)](bool kept) {
        if (kept && currentNoticeID(store) == before)
            store.postCapturedNotice(title, detail);
        if (done)
            done(kept);
    });
}

// Posts the captured notice once the store says the capture's item is kept; an item it refused or
// could not write is said by the failure notice alone.
std::function<void(bool)> noticeWhenKept(VeskStore& store, const QString& detail)
{
    return [store = QPointer<VeskStore>(&store), detail](bool kept) {
        if (kept && store)
            store->postCapturedNotice(kCapturedTitle, detail);
    };
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

// What the clipboard held after its files, read at once: a picture is imported on a worker, and
// when it fails the kinds after it are tried with what the clipboard held then, not what it holds
// by that time.
struct ClipboardContent {
    QByteArray png;
    QByteArray tiff;
    QByteArray rtf;
    std::optional<QString> html;
    QString text;
};

bool captureFromText(VeskStore& store, const ClipboardContent& content)
{
    if (!content.rtf.isEmpty()) {
        if (const std::optional<RtfContent> rich = parseRtf(content.rtf)) {
            const QString text = plainTextOf(*rich).trimmed();
            if (text.isEmpty())
                return false;
            store.addRichTextNote(std::nullopt, text, content.rtf, noticeWhenKept(store, clipboardNoticeDetail(text)));
            return true;
        }
    }

    if (content.html) {
        store.addHTML(content.html->toUtf8(), noticeWhenKept(store, QStringLiteral("Rich web content")));
        return true;
    }

    // Trimmed where it is looked at only: the store trims what it keeps, on a worker for a long
    // text, and a trimmed copy made here would copy megabytes while the window waits.
    const QStringView text = QStringView(content.text).trimmed();
    if (text.isEmpty())
        return false;
    store.addText(content.text, std::nullopt, noticeWhenKept(store, clipboardNoticeDetail(text)));
    return true;
}

QByteArray pngFromTiff(const QByteArray& tiff)
{
    const QImage image = QImage::fromData(tiff, "TIFF");
    QByteArray png;
    QBuffer buffer(&png);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return {};
    return png;
}

// The PNG picture, then the TIFF picture turned into PNG, then the text kinds: each is tried when
// the one before is absent, cannot be written or is not imported.
bool captureFromPictures(VeskStore& store, std::shared_ptr<ClipboardContent> content)
{
    QByteArray picture;
    if (!content->png.isEmpty())
        picture = std::exchange(content->png, {});
    else if (!content->tiff.isEmpty())
        picture = pngFromTiff(std::exchange(content->tiff, {}));
    else
        return captureFromText(store, *content);
    if (picture.isEmpty())
        return captureFromPictures(store, std::move(content));

    const bool started = captureClipboardImage(picture, QStringLiteral("png"), store, [&store, content](bool kept) {
        if (!kept)
            (void)captureFromPictures(store, content);
    });
    return started || captureFromPictures(store, std::move(content));
}

} // namespace

QString clipboardNoticeDetail(QStringView all)
{
    // The first line is looked for, not every line cut out: a capture can hold megabytes.
    const auto isBreak = [](QChar c) {
        return c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r' || c == QChar(0x85) || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator;
    };
    constexpr qsizetype kCharacters = 80;
    const auto first = std::find_if_not(all.begin(), all.end(), isBreak);
    if (first == all.end())
        return leftGraphemes(all, kCharacters);
    // Nor is the end of that line looked for further than the characters shown reach.
    for (qsizetype window = 4096;; window *= 4) {
        const auto limit = all.end() - first <= window ? all.end() : first + window;
        const auto lineEnd = std::find_if(first, limit, isBreak);
        if (lineEnd != limit || limit == all.end())
            return leftGraphemes(QStringView(first, lineEnd), kCharacters);
        // Characters that end before the window does end there in the whole line too.
        const QString detail = leftGraphemes(QStringView(first, limit), kCharacters);
        if (detail.size() < limit - first)
            return detail;
    }
}

bool captureClipboardImage(const QByteArray& data, const QString& extension, VeskStore& store,
                           std::function<void(bool)> imported)
{
    const QString path = QDir(QDir::tempPath())
                             .filePath(QStringLiteral("Vesk-Clipboard-") + uuidString(QUuid::createUuid())
                                       + QLatin1Char('.') + extension);
    if (const auto written = writeFileDurably(path, data); !written) {
        veskLog(QStringLiteral("Vesk clipboard image could not be written: ") + written.error().logText());
        return false;
    }
    // The temporary file goes once the import has its own copy (or gave up); a refusal names
    // what the user copied, not that file, which they never saw.
    noticeWhenImported(store, store.importFile(path, QStringLiteral("The copied picture")), kCapturedTitle,
                       QStringLiteral("Image"),
                       [path, imported = std::move(imported)](bool kept) {
                           QFile::remove(path);
                           if (imported)
                               imported(kept);
                       });
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

    ClipboardContent content;
    content.png = firstData(clipboard, kPngTypes);
    content.tiff = firstData(clipboard, kTiffTypes);
    content.rtf = firstData(clipboard, kRtfTypes);
    if (clipboard.hasHtml())
        content.html = clipboard.html();
    if (clipboard.hasText())
        content.text = clipboard.text();
    return captureFromPictures(store, std::make_shared<ClipboardContent>(std::move(content)));
}

ClipboardTextReader systemClipboardTextReader()
{
    const std::optional<QByteArray> display = x11DisplayName();
    if (!display)
        return {};
    return [display = *display] {
        return QtConcurrent::run(workPool(), [display] { return readX11ClipboardText(display); });
    };
}

bool captureClipboard(VeskStore& store, const ClipboardTextReader& readText)
{
    const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
    if (!clipboard)
        return false;
    // Our own clipboard's text is in memory already; another program's comes over the display
    // connection.
    if (!readText || !holdsOnlyText(*clipboard) || QGuiApplication::clipboard()->ownsClipboard())
        return captureClipboard(store, *clipboard);
    deliverResult(&store, readText(), [&store](const std::optional<QString>& text) {
        if (text) {
            ClipboardContent content;
            content.text = *text;
            (void)captureFromText(store, content);
        } else if (const QMimeData* now = QGuiApplication::clipboard()->mimeData()) {
            (void)captureClipboard(store, *now);
        }
    });
    return true;
}

bool captureClipboard(VeskStore& store)
{
    return captureClipboard(store, systemClipboardTextReader());
}

} // namespace vesk
