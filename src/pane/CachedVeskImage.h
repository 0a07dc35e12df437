#pragma once

#include "model/VeskItem.h"

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QUuid>
#include <QWidget>
#include <memory>

class QTimer;

namespace vesk {

class StableImageView;
class PreparedPreviewCache;
class ThumbnailProvider;

// Paints `image` so that it fills `target` completely, cropping whatever sticks out.
void paintAspectFill(QPainter& painter, const QRectF& target, const QPixmap& image);

// Tracks which item's picture a view may show. A view that is handed another item forgets the
// picture it had at once, and an answer that arrives for an item it no longer shows is dropped,
// so a reused view never shows one item's picture under another item.
class ItemImageSlot {
public:
    // True when the item changed (the caller then starts a new request).
    bool setItem(const QUuid& id);
    // A token naming the request that was current when it started.
    quint64 ticket() const { return m_ticket; }
    // Whether an answer for that request may still be shown.
    bool accepts(quint64 ticket, const QUuid& id) const { return ticket == m_ticket && id == m_id; }
    QUuid id() const { return m_id; }

private:
    QUuid m_id;
    quint64 m_ticket = 0;
};

// A card's thumbnail: a faint backdrop at once, the "photo" symbol while there is no picture,
// then the item's 520-point thumbnail filling the frame (cropped, never letterboxed).
class CachedVeskImage : public QWidget {
    Q_OBJECT
public:
    CachedVeskImage(std::shared_ptr<ThumbnailProvider> thumbnails, QWidget* parent = nullptr);

    void setItem(const VeskItem& item);
    QImage image() const { return m_image; }

    static constexpr int kThumbnailDimension = 520;

signals:
    void imageChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<ThumbnailProvider> m_thumbnails;
    ItemImageSlot m_slot;
    QImage m_image;
    QPixmap m_pixmap;
};

// The preview pane's large picture: "Preparing preview…" with a small spinner until the prepared
// picture of the item arrives, then the picture fitted into the offered space. When no picture can
// be made (a file that does not decode), the kind's symbol with "Preview unavailable" instead.
class FullImageOrCached : public QWidget {
    Q_OBJECT
public:
    FullImageOrCached(std::shared_ptr<PreparedPreviewCache> previews, QWidget* parent = nullptr);

    void setItem(const VeskItem& item);
    QImage image() const;
    bool isWaiting() const { return m_state == State::Waiting; }
    bool isUnavailable() const { return m_state == State::Unavailable; }

signals:
    // The answer arrived (it may be a null image when none could be made).
    void imageLoaded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void show(const QImage& image);

    std::shared_ptr<PreparedPreviewCache> m_previews;
    ItemImageSlot m_slot;
    StableImageView* m_view = nullptr;
    enum class State { Waiting, Shown, Unavailable };

    QTimer* m_spinner = nullptr;
    int m_spinnerAngle = 0;
    State m_state = State::Waiting;
    QString m_symbol = QStringLiteral("photo");
};

} // namespace vesk
