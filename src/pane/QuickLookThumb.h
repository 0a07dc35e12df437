#pragma once

#include "images/ThumbnailLoader.h"

#include <QFuture>
#include <QHash>
#include <QPixmap>
#include <QWidget>
#include <memory>

namespace vesk {

// A file's thumbnail, fitted and inset by 12 points over a faint backdrop; the "doc" symbol until
// it arrives, and the file type's icon when nothing could be rendered.
class QuickLookThumb : public QWidget {
    Q_OBJECT
public:
    QuickLookThumb(std::shared_ptr<ThumbnailLoader> loader, QWidget* parent = nullptr);

    void setPath(const QString& path);
    QString path() const { return m_path; }
    const FileThumbnail& thumbnail() const { return m_thumbnail; }

    // The least size asked for, in points, before the widget has its own; the request is the
    // larger of this and the space inside the inset, times the screen's scale (2 without a screen).
    static constexpr QSize kThumbnailPoints{220, 88};

signals:
    void thumbnailLoaded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Asks for the thumbnail at the size the widget shows it, unless what was asked covers it.
    void requestThumbnail();
    QSize wantedPixels() const;

    std::shared_ptr<ThumbnailLoader> m_loader;
    QString m_path;
    quint64 m_ticket = 0;
    QSize m_requestedPixels;
    FileThumbnail m_thumbnail;
    QPixmap m_pixmap;
    bool m_loaded = false;
};

} // namespace vesk
