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

    // Points; multiplied by the screen's scale (2 without a screen) for the request.
    static constexpr QSize kThumbnailPoints{220, 88};

signals:
    void thumbnailLoaded();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<ThumbnailLoader> m_loader;
    QString m_path;
    quint64 m_ticket = 0;
    FileThumbnail m_thumbnail;
    QPixmap m_pixmap;
    bool m_loaded = false;
};

} // namespace vesk
