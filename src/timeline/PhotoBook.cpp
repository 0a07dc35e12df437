#include "timeline/PhotoBook.h"

#include "platform/DateTexts.h"
#include "platform/image/ImageLoader.h"
#include "platform/Log.h"
#include "platform/Uuid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <cerrno>
#include <fcntl.h>
#include <cstdio>
#include <system_error>
#include <unistd.h>

namespace vesk {

namespace {

constexpr int kPictureMaxPixels = 2800;
constexpr qreal kPageWidth = 612;
constexpr qreal kPageHeight = 792;

// Rectangles are given from the page's lower-left corner, as the layout was drawn; the painter's
// origin is the upper-left corner.
QRectF pageRect(qreal x, qreal y, qreal width, qreal height)
{
    return QRectF(x, kPageHeight - y - height, width, height);
}

QFont bookFont(qreal points, QFont::Weight weight)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(points);
    font.setWeight(weight);
    return font;
}

// Text sits on the lower edge of its rectangle, so that the date stays on the page above the
// picture and the title and footer below it.
void drawText(QPainter& painter, const QRectF& rect, const QString& text, qreal points, QFont::Weight weight)
{
    painter.setFont(bookFont(points, weight));
    painter.setPen(Qt::black);
    painter.drawText(rect, Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, text);
}

void drawTitlePage(QPainter& painter, const QString& name, qsizetype count)
{
    drawText(painter, pageRect(54, 545, 510, 100), name + QStringLiteral(" \u2014 Through the Years"), 31, QFont::Bold);
    drawText(painter, pageRect(54, 500, 510, 100), QStringLiteral("A memory book from Vesk Ruzi"), 16, QFont::Normal);
    drawText(painter, pageRect(54, 455, 510, 100), QString::number(count) + QStringLiteral(" photographs"), 12,
             QFont::Normal);
}

void drawPhotoPage(QPainter& painter, const VeskTimelinePhoto& photo, const QImage& picture,
                   const std::optional<QDateTime>& date, qsizetype number)
{
    drawText(painter, pageRect(48, 735, 516, 100), date ? longDateText(*date) : QStringLiteral("Date unknown"), 18,
             QFont::DemiBold);

    const QRectF frame = pageRect(48, 165, 516, 535);
    const qreal scale = qMin(frame.width() / picture.width(), frame.height() / picture.height());
    QSizeF drawn(picture.width() * scale, picture.height() * scale);
    QRectF target(QPointF(), drawn);
    target.moveCenter(frame.center());
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture);
    painter.restore();

    drawText(painter, pageRect(48, 115, 516, 100), photo.item.title, 13, QFont::Medium);
    drawText(painter, pageRect(48, 87, 516, 100),
             QStringLiteral("Imported ") + abbreviatedDateText(photo.item.createdAt) + QStringLiteral("   \u2022   ")
                 + QString::number(number),
             10, QFont::Normal);
}

QString systemMessage(int error)
{
    return QString::fromStdString(std::error_code(error, std::generic_category()).message());
}

Unexpected<PhotoBookFailure> failure(PhotoBookFailure::Kind kind, const QString& detail = {})
{
    return unexpected(PhotoBookFailure{kind, detail});
}

// Where the book is drawn until it is whole. An unnamed file in the destination's folder
// (O_TMPFILE) has no name until the last page is on disk, so a crash mid-export leaves nothing
// behind; where the file system has no unnamed files, a hidden named file stands in and is
// removed on every failure the process lives through.
class BookFile {
public:
    explicit BookFile(const QFileInfo& target)
        : m_folder(target.absolutePath()),
          m_hiddenPath(target.absoluteDir().filePath(QStringLiteral(".vesk-photo-book-") + uuidString(QUuid::createUuid())
                                                     + QStringLiteral(".pdf")))
    {
    }
    ~BookFile() { discard(); }

    bool open()
    {
        const int fd = ::open(QFile::encodeName(m_folder).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0 && m_file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
            m_unnamed = true;
            return true;
        }
        if (fd >= 0)
            ::close(fd);
        m_file.setFileName(m_hiddenPath);
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        veskLog(QStringLiteral("Vesk photo book error for ") + m_hiddenPath + QStringLiteral(": ") + m_file.errorString());
        return false;
    }

    QFile& file() { return m_file; }
    QString name() const { return m_unnamed ? m_folder : m_hiddenPath; }

    // Nothing of the book stays: an unnamed file goes with its handle.
    void discard()
    {
        if (m_file.isOpen())
            m_file.close();
        if (!m_unnamed && !m_placed)
            QFile::remove(m_hiddenPath);
    }

    // Gives the book the destination's name, replacing a file there in one step: either the old
    // book or the new one is there. Returns the system's error number, 0 on success.
    int placeAt(const QString& destination)
    {
        const QByteArray to = QFile::encodeName(destination);
        if (m_unnamed) {
            if (linkUnnamed(to) == 0) {
                m_file.close();
                return 0;
            }
            if (errno != EEXIST)
                return errno;
            // link(2) never replaces: the book gets a hidden name for the moment of the rename.
            if (linkUnnamed(QFile::encodeName(m_hiddenPath)) != 0)
                return errno;
            m_file.close();
            m_unnamed = false;
        } else {
            m_file.close();
        }
        if (std::rename(QFile::encodeName(m_hiddenPath).constData(), to.constData()) != 0)
            return errno;
        m_placed = true;
        return 0;
    }

private:
    int linkUnnamed(const QByteArray& to) const
    {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_file.handle());
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, to.constData(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        if (errno != ENOENT)
            return -1;
        // Without /proc the handle itself can be linked, where the process may do so.
        return ::linkat(m_file.handle(), "", AT_FDCWD, to.constData(), AT_EMPTY_PATH);
    }

    QString m_folder;
    QString m_hiddenPath;
    QFile m_file;
    bool m_unnamed = false;
    bool m_placed = false;
};


} // namespace

QString PhotoBookFailure::description() const
{
    switch (kind) {
    case Kind::UnreadablePhoto:
        return QStringLiteral("Could not render the photograph \u201C") + detail
            + QStringLiteral("\u201D. The photo book was not saved.");
    case Kind::CannotOpenFile:
        return QStringLiteral("The PDF destination could not be opened.");
    case Kind::FileSystem:
        return detail;
    }
    return detail;
}

QImage preparePhotoBookImage(const VeskItem& item)
{
    if (!item.filePath || item.filePath->isEmpty())
        return QImage();
    return ImageLoader::load(*item.filePath, kPictureMaxPixels);
}

Expected<void, PhotoBookFailure> writePhotoBook(const QList<VeskTimelinePhoto>& photos, const QString& name,
                                                const QString& destination, const PhotoDateLookup& photoDate)
{
    const QFileInfo target(destination);
    BookFile book(target);
    if (!book.open())
        return failure(PhotoBookFailure::Kind::CannotOpenFile);
    QFile& file = book.file();

    {
        QPdfWriter writer(&file);
        writer.setCreator(QString());
        writer.setResolution(72);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF()));
        QPainter painter;
        if (!painter.begin(&writer)) {
            veskLog(QStringLiteral("Vesk photo book error for ") + book.name());
            return failure(PhotoBookFailure::Kind::CannotOpenFile);
        }
        painter.setWindow(0, 0, int(kPageWidth), int(kPageHeight));
        drawTitlePage(painter, name, photos.size());

        qsizetype number = 0;
        for (const VeskTimelinePhoto& photo : photos) {
            ++number;
            // The picture is read before its page is begun, so a broken photo adds no page.
            const QImage picture = preparePhotoBookImage(photo.item);
            if (picture.isNull() || picture.width() < 1 || picture.height() < 1) {
                veskLog(QStringLiteral("Vesk photo book error for ") + photo.item.filePath.value_or(photo.item.title));
                painter.end();
                return failure(PhotoBookFailure::Kind::UnreadablePhoto, photo.item.title);
            }
            writer.newPage();
            drawPhotoPage(painter, photo, picture, photoDate ? photoDate(photo.item) : std::nullopt, number);
        }
        if (!painter.end())
            return failure(PhotoBookFailure::Kind::FileSystem, QStringLiteral("The PDF could not be finished."));
    }

    // A full disk shows as a failed write on the device; the book must be whole and on disk before
    // it may replace anything.
    if (file.error() != QFileDevice::NoError || !file.flush() || ::fsync(file.handle()) != 0) {
        const QString message = file.error() != QFileDevice::NoError ? file.errorString() : systemMessage(errno);
        return failure(PhotoBookFailure::Kind::FileSystem, message);
    }

    if (const int error = book.placeAt(target.absoluteFilePath()); error != 0) {
        const QString message = systemMessage(error);
        veskLog(QStringLiteral("Vesk photo book error for ") + destination + QStringLiteral(": ") + message);
        return failure(PhotoBookFailure::Kind::FileSystem, message);
    }
    return {};
}

} // namespace vesk
