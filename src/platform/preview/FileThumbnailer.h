#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace vesk {

// A small picture of any file. When nothing could be rendered, `image` is null and the caller
// shows the icon named by `iconName` (on the main thread, where icons may be drawn).
struct FileThumbnail {
    QImage image;
    // The freedesktop icon name of the file's type ("application-pdf"), then its generic one
    // ("x-office-document"); both always set, so a view always has something to show.
    QString iconName;
    QString genericIconName;

    bool isIcon() const { return image.isNull(); }
};

// Renders file thumbnails without any desktop service: pictures through ImageLoader, the first
// page of a PDF through poppler, a frame of a video through FFmpeg, the first lines of a text
// file or web page (TextPageThumbnail), otherwise the type's icon.
// Pure work, no state: safe from any thread, never touches a QPixmap or QIcon.
class FileThumbnailer {
public:
    // A thumbnail that fits inside `maxSize` (in pixels), never enlarged past the source.
    static FileThumbnail thumbnail(const QString& path, QSize maxSize);

    // The first page of a PDF fitted into `maxSize`; null when the file is no readable,
    // unlocked PDF.
    static QImage pdfFirstPage(const QString& path, QSize maxSize);

    // A frame from about a tenth into a video (at most 3 s in), upright, fitted into `maxSize`;
    // null when the file has no decodable video stream.
    // With `atSeconds` at 0 or more: the first frame shown at that time (the key frame before it
    // is decoded up to it); 0 gives the video's first frame.
    static QImage videoFrame(const QString& path, QSize maxSize, double atSeconds = -1);

    // The icon names of the file's MIME type, decided by name alone when the file is missing.
    static FileThumbnail iconFor(const QString& path);
};

} // namespace vesk
