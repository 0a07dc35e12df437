#pragma once

#include "present/ItemDates.h"
#include "grid/GridCardLayer.h"
#include "grid/GridItems.h"
#include "grid/MotionClock.h"
#include "grid/PaintedCards.h"
#include "grid/ResultStates.h"
#include "grid/VeskCardPainter.h"
#include "model/VeskItem.h"
#include "platform/CancellationToken.h"
#include "platform/SerialExecutor.h"

#include <QAbstractScrollArea>
#include <QCache>
#include <QFuture>
#include <QHash>
#include <QImage>
#include <QPointer>
#include <QSet>
#include <QRegion>
#include <QTimer>
#include <memory>
#include <optional>

namespace vesk {

class PendingDelay;
class ThumbnailProvider;
class Timers;

// What the grid shows, read from the store and the window: the cards and the values their flags
// are made from. Copies share their data with the store's lists; the cards may be the store's
// results themselves, read in place (see GridItems).
struct GridState {
    GridItems visibleItems;
    std::optional<QUuid> selectedID;
    QSet<QUuid> selectedIDs;
    QString searchText;
    // The first of the store's results, whether or not a search is running.
    std::optional<QUuid> topResultID;
    QSet<QUuid> broughtBackIDs;
    QHash<QUuid, QString> retrievalHints;
    QHash<QUuid, QByteArray> richTextByID;
    // Items whose latest value is not written to the library.
    QSet<QUuid> unsavedIDs;
    QSet<QUuid> savingIDs;
    bool surfacePulse = false;
    std::optional<QUuid> capturePulseID;
};

// The flags a card is built with, before its own hover and pulse phase.
VeskCardFlags cardFlagsFor(const VeskItem& item, const GridState& state);

// The virtualised card grid: paints only the rows in view, asks the thumbnail provider only for
// cards in view, and animates each card's look towards its state.
class LibraryGridCanvas : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit LibraryGridCanvas(std::shared_ptr<ThumbnailProvider> thumbnails, QWidget* parent = nullptr);
    ~LibraryGridCanvas() override;

    void setState(const GridState& state);
    const GridState& state() const { return m_state; }

    // A widget that scrolls with the cards above them (the recent-items banner); null for none.
    void setTopWidget(QWidget* widget);
    // A widget shown below the (empty) grid while there is nothing to show.
    void setEmptyWidget(QWidget* widget);

    // Layout, in viewport coordinates before scrolling.
    GridColumns columns() const;
    QRectF cardRect(qsizetype index) const;
    qsizetype indexAt(const QPoint& viewportPoint) const;
    int contentHeight() const;
    // Cards currently in view, first and one past last.
    std::pair<qsizetype, qsizetype> visibleRange() const;

    // Scrolls so the item's card is in view.
    void scrollToItem(const QUuid& id);

    // Paints one frame of the viewport's exposed region into the painter (used by paintEvent and
    // benchmarks).
    void paintFrame(QPainter& painter, const QRegion& exposed);

    // Animations settle at once, for tests and benchmarks.
    void setAnimationsEnabled(bool enabled) { m_animationsEnabled = enabled; }
    // What the cards' motion is timed by: the delays between frames and the clock a look reads
    // its place in its motion from (the system's own unless a test moves them itself).
    void setFrameTiming(std::shared_ptr<Timers> timers, MotionClock clock);
    // The look a visible item's card has at this moment (hover, pulse phase and animations
    // included); none for an item that is not in the list.
    std::optional<CardLook> lookOf(const QUuid& id);
    // Thumbnail requests sent so far (for tests: only visible cards ask).
    int thumbnailRequestCount() const { return m_thumbnailRequests; }
    // Cards whose display titles are kept (for tests: those far from the view are let go once
    // the grid has been still for a while).
    qsizetype keptTitleCount() const { return m_titles.size(); }
    qsizetype keptPictureCount() const { return m_pictures.count(); }
    // Thumbnail requests withdrawn because their cards scrolled away before the picture came.
    int withdrawnThumbnailCount() const { return m_withdrawnThumbnails; }

signals:
    void cardClicked(const vesk::VeskItem& item, Qt::KeyboardModifiers modifiers);
    void cardContextMenuRequested(const vesk::VeskItem& item, const QPoint& globalPosition);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    enum class Timing { Instant, Hover, Selected, TopResult, Searching, SurfacePulse, CaptureExpand };
    struct CardAnimation {
        CardLook from;
        CardLook to;
        VeskCardFlags flags;
        Timing timing = Timing::Instant;
        qint64 startMs = 0;
        bool known = false;
    };

    // A card in view, where it is painted.
    struct PlacedCard {
        QRectF rect;
        qsizetype index;
    };
    // Paints the cards through the layer that keeps them between frames.
    void paintThroughLayer(QPainter& painter, const QRegion& exposed, const QList<PlacedCard>& cards,
                           const QList<CardPaintCache::BodyRequest>& bodies);
    double topInset() const;
    // Starts rendering the cards of the first frame while the window is still being shown.
    void prefetchFirstFrame();
    // What a card's body is drawn from, at the ratio it is drawn at.
    CardPaintCache::BodyRequest bodyRequest(const VeskItem& item, const CardLook& look, const QSizeF& size,
                                            qreal deviceRatio, bool untransformed);
    void updateLayout();
    void placeOverlayWidgets();
    // moving, when given, tells whether the look is still on its way to where it settles;
    // settled, when given, receives where it settles.
    CardLook currentLook(const VeskItem& item, qint64 nowMs, bool* moving = nullptr, CardLook* settled = nullptr);
    // The look the card settles in, and the flags it is made from.
    CardLook targetLook(const VeskItem& item, VeskCardFlags* flags = nullptr) const;
    // Where the card at index lies at the scroll offset, in viewport coordinates.
    QRectF cardPlace(qsizetype index, int scroll) const;
    // All a card at place paints, its shadow and lifted, scaled pose included.
    static QRect reachOf(const QRectF& place);
    // The places of the cards in view that no longer show what was painted there: another item,
    // content, look or place, or no card at all.
    QRegion staleCards();
    // Repaints only those.
    void updateStaleCards();
    // The frame timer's update: only the cards still moving, with the room their shadows and
    // poses take; the rest of the grid is as it was painted.
    void updateMovingCards();
    // The next frame while cards move; a frame that finds none moving asks for no more.
    void startFrames();
    void stopFrames();
    double progress(Timing timing, double seconds) const;
    double duration(Timing timing) const;
    void requestThumbnail(const VeskItem& item);
    void setHoverIndex(qsizetype index);
    // Has the cards of the rows next to the view rendered in the background after a frame, so
    // that a scroll finds them ready. Pictures still waiting for their thumbnail are left for later:
    // only cards in view ask for thumbnails.
    void scheduleNeighbourRender();
    void renderNeighbours();
    VeskCardContent contentFor(const VeskItem& item, bool askForThumbnail);
    // Reads a file item's content date on a worker; the card shows its import date meanwhile.
    void requestDates(const VeskItem& item);
    void onCapturePulseVisible();

    std::shared_ptr<ThumbnailProvider> m_thumbnails;
    GridState m_state;
    QPointer<QWidget> m_topWidget;
    QPointer<QWidget> m_emptyWidget;

    qsizetype m_hoverIndex = -1;
    qsizetype m_pressIndex = -1;
    // Where the pointer last was over the cards, in viewport coordinates; none once it left.
    std::optional<QPoint> m_pointer;
    bool m_animationsEnabled = true;
    QHash<QUuid, CardAnimation> m_animations;
    std::shared_ptr<Timers> m_timers;
    MotionClock m_clock = steadyMotionClock();
    std::shared_ptr<PendingDelay> m_nextFrame;
    // Where the cards that were still moving when last painted lie, in viewport coordinates.
    QRegion m_movingRegion;
    PaintedCards m_paintedCards;
    GridCardLayer m_cardLayer;
    // Counts the tilted cards drawn, each of which tells the layer it changed.
    size_t m_tiltedDraws = 0;

    // Capture pulse phase of the one pulsing card.
    bool m_captureExpanded = false;
    bool m_captureWasVisible = false;
    bool m_painted = false;

    ContentCreationDateCache m_dates;
    QSet<QUuid> m_pendingDates;
    SerialExecutor m_dateReader;
    CardPaintCache m_paintCache;
    QHash<QUuid, std::pair<QString, QString>> m_titles; // id -> (stored title, display title)
    // The date lines of cards, with what they were made from.
    struct DateLines {
        QDateTime createdAt;
        std::optional<QString> filePath;
        ItemText searchableText;
        VeskCardDates lines;
    };
    QHash<QUuid, DateLines> m_dateLines;
    QCache<QUuid, QImage> m_pictures; // images, not pixmaps: the painting pool draws them
    QSet<QUuid> m_noImage;
    // Requests still on their way, so that those of cards that left the view can be withdrawn.
    QHash<QUuid, CancellationToken> m_pendingThumbnails;
    int m_thumbnailRequests = 0;
    int m_withdrawnThumbnails = 0;
    // Withdraws the requests of cards outside the rows in view and their neighbours.
    void withdrawThumbnailsOutside(qsizetype first, qsizetype last);
    // The ids of the cards in the rows from first to last and their neighbours.
    QSet<QUuid> idsNear(qsizetype first, qsizetype last) const;
    QTimer m_neighbourTimer;
    // Put off by every frame; when it runs out the grid has been still for a while and keeps
    // only what the rows in view and their neighbours draw.
    std::shared_ptr<PendingDelay> m_stillDelay;
    qint64 m_lastPaintMs = 0; // on m_clock
    bool m_newListUnpainted = false;
    // A trim waits in the event queue; frames of further lists before it runs add none.
    bool m_trimPosted = false;
    void postTrim();
    void restartStillTime();
    void waitForStillness(qint64 delayMs);
    void keepOnlyNearView();
};

} // namespace vesk
