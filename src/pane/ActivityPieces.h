#pragma once
// The pieces an activity preview places: a photo tile, a resource card and a video player that
// comes in a moment after it is shown. Each reads its file on a worker and changes nothing.

#include <QAbstractButton>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <functional>
#include <memory>

#include "pane/ElidedLabel.h"
#include "platform/Timers.h"

class QPushButton;


namespace vesk {

class VeskVideoPlayer;

using UrlOpener = std::function<void(const QUrl&)>;

// A plain button on a faint capsule ("Open File", "Show Package"), with an optional symbol.
QPushButton* makeCapsuleButton(const QString& text, const QString& symbol, QWidget* parent);

// A photo: a 118-point picture box filled with the image (the name and pixel size below it);
// clicking it opens the photo. The picture is decoded on a worker once the tile is first shown.
class ActivityPhotoTile : public QAbstractButton {
    Q_OBJECT
public:
    ActivityPhotoTile(const QString& path, UrlOpener open, QWidget* parent = nullptr);

    QString path() const { return m_path; }
    bool isLoading() const { return m_loading; }
    const QImage& image() const { return m_image; }
    QString dimensionsText() const;

signals:
    void loaded();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    class PictureBox;
    QString m_path;
    PictureBox* m_picture = nullptr;
    QLabel* m_dimensions = nullptr;
    QImage m_image;
    bool m_loading = true;
    bool m_started = false;
};

// A file or video of an event: its icon, name and detail line (extension, length, size), and a
// button that opens it outside Vesk.
class ActivityResourceCard : public QWidget {
    Q_OBJECT
public:
    enum class Kind { File, Video };
    ActivityResourceCard(Kind kind, const QString& path, UrlOpener open, QWidget* parent = nullptr);

    QAbstractButton* openButton() const { return m_button; }

signals:
    void detailLoaded();

private:
    ElidedLabel* m_detail = nullptr;
    QAbstractButton* m_button = nullptr;
};

// A 180-point box that shows "Preparing video preview…" and puts the inline player in its place
// 0.18 s after it is shown, so scrolling past a timeline never builds a player.
class ActivityDeferredVideoPlayer : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDelayMs = 180;

    // timers: SystemTimers when null.
    explicit ActivityDeferredVideoPlayer(const QString& path, QWidget* parent = nullptr,
                                         std::shared_ptr<Timers> timers = nullptr);

    VeskVideoPlayer* player() const { return m_player; }

signals:
    void playerShown();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void showPlayer();

    QString m_path;
    QWidget* m_placeholder = nullptr;
    QPointer<VeskVideoPlayer> m_player;
    std::shared_ptr<Timers> m_timers;
    std::shared_ptr<PendingDelay> m_pending;
};

} // namespace vesk
