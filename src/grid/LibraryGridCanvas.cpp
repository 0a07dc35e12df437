#include "grid/LibraryGridCanvas.h"

#include "present/DisplayTitles.h"
#include "model/ItemFileKinds.h"
#include "platform/BackgroundRelease.h"
#include "platform/FutureDelivery.h"
#include "platform/Timers.h"
#include "platform/WorkPool.h"
#include "platform/ui/SpringAnimator.h"
#include "platform/ui/Theme.h"
#include "model/ServiceInterfaces.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <cmath>

namespace vesk {

namespace {

constexpr double kSideInset = 18;
constexpr double kBottomInset = 18;
// Room above the first row for a lifted, enlarged top result and its shadow.
constexpr double kTopInset = 12;
constexpr double kRowPitch = kCardHeight + kGridSpacing;
// The largest media area a card has, so one scaled thumbnail serves every column width.
constexpr QSize kThumbnailDisplaySize(kGridMaximumColumn, 113);
// How long the grid stays unpainted before it lets go of the cards it no longer shows.
constexpr int kStillBeforeTrimMs = 2000;

} // namespace

LibraryGridCanvas::LibraryGridCanvas(std::shared_ptr<ThumbnailProvider> thumbnails, QWidget* parent)
    : QAbstractScrollArea(parent), m_thumbnails(std::move(thumbnails)), m_timers(SystemTimers::shared())
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(40);
    m_pictures.setMaxCost(64 * 1024); // kilobytes
    m_neighbourTimer.setSingleShot(true);
    m_neighbourTimer.setInterval(0);
    connect(&m_neighbourTimer, &QTimer::timeout, this, &LibraryGridCanvas::renderNeighbours);
    connect(&Theme::current(), &Theme::appearanceChanged, this, [this] {
        m_paintCache.clear();
        m_cardLayer.clear();
        viewport()->update();
    });
    CardPaintCache::warmUpWorkers(Theme::current());
}

LibraryGridCanvas::~LibraryGridCanvas()
{
    stopFrames();
    CardPaintCache::finishWarmUp();
}

void LibraryGridCanvas::setFrameTiming(std::shared_ptr<Timers> timers, MotionClock clock)
{
    stopFrames();
    const bool waitingForStill = m_stillDelay && !m_stillDelay->isCancelled();
    if (m_stillDelay)
        m_stillDelay->cancel();
    m_stillDelay.reset();
    m_timers = std::move(timers);
    m_clock = std::move(clock);
    m_animations.clear(); // their start times belong to the clock before
    if (waitingForStill) {
        m_lastPaintMs = m_clock();
        waitForStillness(kStillBeforeTrimMs);
    }
}

void LibraryGridCanvas::restartStillTime()
{
    // Every frame counts as motion, but a delay per frame would make and drop a timer sixty times
    // a second while scrolling: one delay waits, and on running out waits again for what the
    // frames since have added.
    m_lastPaintMs = m_clock();
    if (!m_stillDelay)
        waitForStillness(kStillBeforeTrimMs);
}

void LibraryGridCanvas::waitForStillness(qint64 delayMs)
{
    m_stillDelay = m_timers->after(int(delayMs), this, [this] {
        m_stillDelay.reset();
        const qint64 still = m_clock() - m_lastPaintMs;
        if (still < kStillBeforeTrimMs)
            waitForStillness(kStillBeforeTrimMs - still);
        else
            keepOnlyNearView();
    });
}

void LibraryGridCanvas::startFrames()
{
    if (m_nextFrame)
        return;
    // About sixty frames a second.
    m_nextFrame = m_timers->after(16, this, [this] {
        m_nextFrame.reset();
        updateMovingCards();
    });
}

void LibraryGridCanvas::stopFrames()
{
    if (m_nextFrame)
        m_nextFrame->cancel();
    m_nextFrame.reset();
}

void LibraryGridCanvas::setState(const GridState& state)
{
    const bool captureChanged = state.capturePulseID != m_state.capturePulseID;
    const bool listChanged = !state.visibleItems.isSameListAs(m_state.visibleItems);
    // The list shown until now may be the whole library, and the grid may hold its last share:
    // it is freed on a worker, not while this frame is being made.
    if (listChanged)
        releaseInBackground(m_state.visibleItems.takeOwn());
    m_state = state;
    if (captureChanged) {
        m_captureExpanded = false;
        m_captureWasVisible = false;
    }
    if (listChanged) {
        m_pressIndex = -1;
        m_newListUnpainted = true;
    }
    updateLayout();
    if (listChanged) {
        // Whatever card now lies under a still pointer is the hovered one; a rebuilt list (a
        // click refreshes it) must not drop the hover of the card the pointer rests on.
        m_hoverIndex = m_pointer ? indexAt(*m_pointer) : -1;
    }
    updateStaleCards();
}

void LibraryGridCanvas::setTopWidget(QWidget* widget)
{
    if (m_topWidget == widget)
        return;
    m_topWidget = widget;
    if (widget)
        widget->setParent(viewport());
    updateLayout();
}

void LibraryGridCanvas::setEmptyWidget(QWidget* widget)
{
    m_emptyWidget = widget;
    if (widget)
        widget->setParent(viewport());
    updateLayout();
}

GridColumns LibraryGridCanvas::columns() const
{
    return gridColumnsFor(viewport()->width() - 2 * kSideInset);
}

double LibraryGridCanvas::topInset() const
{
    if (m_topWidget && !m_topWidget->isHidden())
        return kTopInset + m_topWidget->sizeHint().height() + 16;
    return kTopInset;
}

QRectF LibraryGridCanvas::cardRect(qsizetype index) const
{
    const GridColumns cols = columns();
    const qsizetype row = index / cols.count;
    const qsizetype column = index % cols.count;
    return QRectF(kSideInset + column * (cols.width + kGridSpacing), topInset() + row * kRowPitch, cols.width,
                  kCardHeight);
}

int LibraryGridCanvas::contentHeight() const
{
    const qsizetype count = m_state.visibleItems.size();
    const GridColumns cols = columns();
    const qsizetype rows = (count + cols.count - 1) / cols.count;
    double height = topInset() + (rows > 0 ? rows * kRowPitch - kGridSpacing : 0) + kBottomInset;
    if (count == 0 && m_emptyWidget)
        height += m_emptyWidget->sizeHint().height();
    return int(std::ceil(height));
}

qsizetype LibraryGridCanvas::indexAt(const QPoint& viewportPoint) const
{
    const QPointF content(viewportPoint.x(), viewportPoint.y() + verticalScrollBar()->value());
    const GridColumns cols = columns();
    const double y = content.y() - topInset();
    const double x = content.x() - kSideInset;
    if (x < 0 || y < 0)
        return -1;
    const qsizetype row = qsizetype(y / kRowPitch);
    const qsizetype column = qsizetype(x / (cols.width + kGridSpacing));
    if (column >= cols.count)
        return -1;
    if (y - row * kRowPitch > kCardHeight || x - column * (cols.width + kGridSpacing) > cols.width)
        return -1;
    const qsizetype index = row * cols.count + column;
    return index < m_state.visibleItems.size() ? index : -1;
}

std::pair<qsizetype, qsizetype> LibraryGridCanvas::visibleRange() const
{
    const qsizetype count = m_state.visibleItems.size();
    const GridColumns cols = columns();
    // Lifted and scaled cards reach a little beyond their frames.
    const double top = verticalScrollBar()->value() - topInset() - 24;
    const double bottom = top + viewport()->height() + 48;
    const qsizetype firstRow = std::max<qsizetype>(0, qsizetype(std::floor(top / kRowPitch)));
    const qsizetype lastRow = std::max<qsizetype>(0, qsizetype(std::floor(bottom / kRowPitch)));
    const qsizetype first = std::min(count, firstRow * cols.count);
    const qsizetype last = std::min(count, (lastRow + 1) * cols.count);
    return {first, last};
}

void LibraryGridCanvas::updateLayout()
{
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(viewport()->height());
    bar->setRange(0, std::max(0, contentHeight() - viewport()->height()));
    placeOverlayWidgets();
}

void LibraryGridCanvas::placeOverlayWidgets()
{
    const int scroll = verticalScrollBar()->value();
    const int width = viewport()->width();
    if (m_topWidget) {
        const int height = m_topWidget->sizeHint().height();
        m_topWidget->setGeometry(int(kSideInset) + 4, int(kTopInset) - scroll, width - 2 * int(kSideInset) - 8, height);
    }
    if (m_emptyWidget) {
        const bool empty = m_state.visibleItems.isEmpty();
        m_emptyWidget->setVisible(empty);
        if (empty)
            m_emptyWidget->setGeometry(int(kSideInset), int(topInset()) - scroll, width - 2 * int(kSideInset),
                                       m_emptyWidget->sizeHint().height());
    }
}

void LibraryGridCanvas::scrollToItem(const QUuid& id)
{
    for (qsizetype i = 0; i < m_state.visibleItems.size(); ++i) {
        if (m_state.visibleItems.at(i).id != id)
            continue;
        const QRectF rect = cardRect(i);
        QScrollBar* bar = verticalScrollBar();
        if (rect.top() < bar->value())
            bar->setValue(int(rect.top() - kGridSpacing));
        else if (rect.bottom() > bar->value() + viewport()->height())
            bar->setValue(int(rect.bottom() + kGridSpacing - viewport()->height()));
        return;
    }
}

double LibraryGridCanvas::duration(Timing timing) const
{
    // A spring's settling time is found by stepping it through time: every moving card asks for
    // it on every frame, so each is found once.
    static const double hover = Spring::fromResponse(0.3, 0.76).settlingDuration(0, 0.004);
    static const double selected = Spring::fromResponse(0.46, 0.8).settlingDuration(0, 0.004);
    static const double topResult = Spring::fromResponse(0.52, 0.78).settlingDuration(0, 0.004);
    switch (timing) {
    case Timing::Instant: return 0;
    case Timing::Hover: return hover;
    case Timing::Selected: return selected;
    case Timing::TopResult: return topResult;
    case Timing::Searching: return 0.24;
    case Timing::SurfacePulse: return 0.34;
    case Timing::CaptureExpand: return 1.02;
    }
    return 0;
}

double LibraryGridCanvas::progress(Timing timing, double seconds) const
{
    const double total = duration(timing);
    if (total <= 0 || seconds >= total)
        return 1.0;
    switch (timing) {
    case Timing::Instant: return 1.0;
    case Timing::Hover: return Spring::fromResponse(0.3, 0.76).value(seconds);
    case Timing::Selected: return Spring::fromResponse(0.46, 0.8).value(seconds);
    case Timing::TopResult: return Spring::fromResponse(0.52, 0.78).value(seconds);
    case Timing::Searching:
    case Timing::CaptureExpand: return AnimationCurves::easeOut().valueForProgress(seconds / total);
    case Timing::SurfacePulse: return AnimationCurves::easeInOut().valueForProgress(seconds / total);
    }
    return 1.0;
}

CardLook LibraryGridCanvas::targetLook(const VeskItem& item, VeskCardFlags* flagsOut) const
{
    VeskCardFlags flags = cardFlagsFor(item, m_state);
    const qsizetype index = m_hoverIndex;
    flags.isHovering = index >= 0 && index < m_state.visibleItems.size() && m_state.visibleItems.at(index).id == item.id;
    flags.capturePulseExpanded = flags.capturePulse && m_captureExpanded;
    if (flagsOut)
        *flagsOut = flags;
    return CardLook::from(cardStyleFor(flags), flags, m_state.retrievalHints.contains(item.id));
}

CardLook LibraryGridCanvas::currentLook(const VeskItem& item, qint64 nowMs, bool* moving, CardLook* settled)
{
    if (moving)
        *moving = false;
    VeskCardFlags flags;
    const CardLook target = targetLook(item, &flags);
    if (settled)
        *settled = target;

    CardAnimation& animation = m_animations[item.id];
    if (!animation.known || !m_animationsEnabled) {
        animation = CardAnimation{target, target, flags, Timing::Instant, nowMs, true};
        return target;
    }
    if (!(animation.to == target)) {
        const CardLook now = CardLook::mix(animation.from, animation.to,
                                           progress(animation.timing, (nowMs - animation.startMs) / 1000.0));
        const VeskCardFlags& was = animation.flags;
        Timing timing = Timing::Hover;
        if (flags.capturePulse != was.capturePulse || (flags.capturePulse && !flags.capturePulseExpanded))
            timing = Timing::Instant;
        else if (flags.capturePulseExpanded != was.capturePulseExpanded)
            timing = Timing::CaptureExpand;
        else if (flags.surfacePulse != was.surfacePulse)
            timing = Timing::SurfacePulse;
        else if (flags.isSearching != was.isSearching)
            timing = Timing::Searching;
        else if (flags.isTopResult != was.isTopResult)
            timing = Timing::TopResult;
        else if (flags.isSelected != was.isSelected || flags.isMultiSelected != was.isMultiSelected)
            timing = Timing::Selected;
        animation = CardAnimation{now, target, flags, timing, nowMs, true};
    }
    const double seconds = (nowMs - animation.startMs) / 1000.0;
    if (seconds >= duration(animation.timing))
        return animation.to;
    startFrames();
    if (moving)
        *moving = true;
    return CardLook::mix(animation.from, animation.to, progress(animation.timing, seconds));
}

std::optional<CardLook> LibraryGridCanvas::lookOf(const QUuid& id)
{
    for (const VeskItem& item : std::as_const(m_state.visibleItems)) {
        if (item.id == id)
            return currentLook(item, m_clock());
    }
    return std::nullopt;
}

VeskCardContent LibraryGridCanvas::contentFor(const VeskItem& item, bool askForThumbnail)
{
    VeskCardContent content;
    content.item = item;
    auto title = m_titles.find(item.id);
    if (title == m_titles.end() || title->first != item.title)
        title = m_titles.insert(item.id, {item.title, cleanedDisplayTitle(item)});
    content.displayTitle = title->second;
    // A file's dates are read off the main thread: a new result list brings a page of cards at
    // once, and reading their pictures' metadata here would hold up the frame. The lines made
    // are kept: every frame and every change asks for those of every card in view, and each
    // formats two dates in the user's time zone and checks the item's text is the one read.
    const auto keptDates = m_dateLines.constFind(item.id);
    if (keptDates != m_dateLines.cend() && keptDates->createdAt == item.createdAt
        && keptDates->filePath == item.filePath && keptDates->searchableText == item.searchableText) {
        content.dates = keptDates->lines;
    } else if (const std::optional<VeskCardDates> dates = m_dates.knownCardDates(item)) {
        content.dates = *dates;
        m_dateLines.insert(item.id, DateLines{item.createdAt, item.filePath, item.searchableText, *dates});
    } else {
        content.dates.importedLine = cardDatesFor(item, std::nullopt).importedLine;
        requestDates(item);
    }
    const auto hint = m_state.retrievalHints.constFind(item.id);
    if (hint != m_state.retrievalHints.cend())
        content.retrievalHint = *hint;
    content.isTopResult = m_state.topResultID && *m_state.topResultID == item.id;
    content.isUnsaved = m_state.unsavedIDs.contains(item.id);
    content.isSaving = m_state.savingIDs.contains(item.id);
    content.hasRichText = m_state.richTextByID.contains(item.id);
    // Only a file can be a picture: the classification reads a note's whole text for the secure
    // marker, and every frame and every change asks it of every card in view.
    if (item.filePath && cardMediaKind(item) == CardMediaKind::Picture) {
        if (const QImage* picture = m_pictures.object(item.id))
            content.thumbnail = *picture;
        else if (m_noImage.contains(item.id))
            content.previewUnavailable = true;
        else if (askForThumbnail)
            requestThumbnail(item);
    }
    return content;
}

void LibraryGridCanvas::requestDates(const VeskItem& item)
{
    if (m_pendingDates.contains(item.id))
        return;
    m_pendingDates.insert(item.id);
    const ContentCreationDateCache* dates = &m_dates;
    deliverResult(this, m_dateReader.run([dates, item] { return dates->readDate(item); }),
        [this, item](const std::optional<QDateTime>& date) {
            m_pendingDates.remove(item.id);
            m_dates.store(item, date);
            updateStaleCards();
        });
}

void LibraryGridCanvas::requestThumbnail(const VeskItem& item)
{
    if (!m_thumbnails || m_noImage.contains(item.id) || m_pendingThumbnails.contains(item.id))
        return;
    ++m_thumbnailRequests;
    const QUuid id = item.id;
    const qreal ratio = devicePixelRatioF();
    const CancellationToken withdrawn;
    QFuture<QImage> request = m_thumbnails->thumbnail(item, kCardThumbnailDimension, withdrawn);
    m_pendingThumbnails.insert(id, withdrawn);
    // Scaled off the window's thread: a smooth scale of a large picture there costs a frame.
    const QSize target = kThumbnailDisplaySize * ratio;
    QFuture<QImage> scaled = request.then(workPool(), [target](const QImage& image) {
        if (image.isNull())
            return image;
        // Keep only what a card can show: scaled to cover the widest media area.
        QImage kept = image;
        if (image.width() > target.width() && image.height() > target.height())
            kept = image.scaled(target, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        // In the form the raster painter draws without a conversion.
        kept.convertTo(kept.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        return kept;
    });
    deliverResult(this, scaled, [this, id, ratio](const QImage& image) {
        m_pendingThumbnails.remove(id);
        if (image.isNull()) {
            m_noImage.insert(id);
        } else {
            QImage picture = image;
            picture.setDevicePixelRatio(ratio);
            const int cost = std::max<qsizetype>(1, image.sizeInBytes() / 1024);
            m_pictures.insert(id, new QImage(std::move(picture)), cost);
        }
        updateStaleCards();
    });
}

QRectF LibraryGridCanvas::cardPlace(qsizetype index, int scroll) const
{
    // Whole pixels, so a card at rest is blitted rather than resampled.
    const QRectF frame = cardRect(index).translated(0, -scroll);
    return QRectF(std::round(frame.left()), std::round(frame.top()), frame.width(), frame.height());
}

QRect LibraryGridCanvas::reachOf(const QRectF& place)
{
    return place.adjusted(-30, -30, 30, 40).toAlignedRect();
}

QRegion LibraryGridCanvas::staleCards()
{
    const auto [first, last] = visibleRange();
    const int scroll = verticalScrollBar()->value();
    const QRect view = viewport()->rect();
    QRegion stale = m_paintedCards.outside(first, last);
    for (qsizetype i = first; i < last; ++i) {
        const QRect reach = reachOf(cardPlace(i, scroll));
        if (!view.intersects(reach))
            continue;
        const VeskItem& item = m_state.visibleItems.at(i);
        stale += m_paintedCards.changedPlaces(i, reach, contentFor(item, false), targetLook(item));
    }
    return stale;
}

void LibraryGridCanvas::updateStaleCards()
{
    const QRegion stale = staleCards();
    if (!stale.isEmpty())
        viewport()->update(stale);
}

void LibraryGridCanvas::paintFrame(QPainter& painter, const QRegion& exposed)
{
    const auto [first, last] = visibleRange();
    const int scroll = verticalScrollBar()->value();
    const qint64 now = m_clock();
    const Theme& theme = Theme::current();
    bool captureVisible = false;
    stopFrames(); // currentLook asks for the next frame while anything still moves
    QList<PlacedCard> cards;
    QList<CardPaintCache::BodyRequest> bodies;
    const qreal deviceRatio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const bool untransformed = painter.worldTransform().type() <= QTransform::TxTranslate;
    // Every card that reaches into what is painted now is looked at again below; those outside
    // keep their share of the region until they are painted.
    m_movingRegion -= exposed;
    const QRect view = viewport()->rect();
    for (qsizetype i = first; i < last; ++i) {
        const QRectF rect = cardPlace(i, scroll);
        const QRect reach = reachOf(rect);
        if (!exposed.intersects(reach))
            continue;
        const VeskItem& item = m_state.visibleItems.at(i);
        bool moving = false;
        CardLook settled;
        const CardLook look = currentLook(item, now, &moving, &settled);
        if (moving)
            m_movingRegion += reach;
        cards.append({rect, i});
        bodies.append(bodyRequest(item, look, rect.size(), deviceRatio, untransformed));
        m_paintedCards.record(i, reach, bodies.last().content, settled,
                              (QRegion(reach.intersected(view)) - exposed).isEmpty());
    }
    m_paintedCards.forgetOutside(first, last, exposed, view);
    // Cards the grid has not shown before (a new result list) are rendered all at once.
    m_paintCache.prepareBodies(bodies, theme);
    for (qsizetype c = 0; c < cards.size(); ++c) {
        const VeskItem& item = m_state.visibleItems.at(cards[c].index);
        if (m_state.capturePulseID && *m_state.capturePulseID == item.id)
            captureVisible = true;
    }
    if (untransformed && painter.worldTransform().isIdentity() && painter.opacity() == 1.0) {
        paintThroughLayer(painter, exposed, cards, bodies);
    } else {
        for (qsizetype c = 0; c < cards.size(); ++c)
            paintVeskCard(painter, cards[c].rect, bodies[c].content, bodies[c].look, theme, &m_paintCache);
    }
    // A paint of part of the grid looks again only at the cards it reaches; cards moving
    // elsewhere still want their next frame.
    if (!m_movingRegion.isEmpty())
        startFrames();
    if (captureVisible && !m_captureWasVisible)
        onCapturePulseVisible();
    m_captureWasVisible = captureVisible;
    scheduleNeighbourRender();
    if (!m_pendingThumbnails.isEmpty())
        withdrawThumbnailsOutside(first, last);

    // Forget the looks of cards far out of view.
    if (m_animations.size() > 4 * std::max<qsizetype>(64, last - first)) {
        QSet<QUuid> keep;
        for (qsizetype i = first; i < last; ++i)
            keep.insert(m_state.visibleItems.at(i).id);
        for (auto it = m_animations.begin(); it != m_animations.end();) {
            if (keep.contains(it.key()))
                ++it;
            else
                it = m_animations.erase(it);
        }
    }
}

void LibraryGridCanvas::paintThroughLayer(QPainter& painter, const QRegion& exposed, const QList<PlacedCard>& cards,
                                          const QList<CardPaintCache::BodyRequest>& bodies)
{
    const Theme& theme = Theme::current();
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    QList<GridCardLayer::Card> layerCards;
    layerCards.reserve(cards.size());
    for (qsizetype c = 0; c < cards.size(); ++c) {
        const QRectF rect = cards[c].rect;
        const CardPaintCache::BodyRequest& body = bodies[c];
        // The pictures come from the cache here; the card is drawn from them on the pool.
        const auto images = std::make_shared<const CardImages>(
            cachedCardImages(rect.size(), body.content, body.look, theme, m_paintCache, ratio, true));
        // A tilted card lays its body out afresh: it is drawn again each time.
        const bool tilted = images->body.isNull();
        size_t signature = qHashMulti(0, rect.x(), rect.y(), rect.width(), rect.height(), images->shadow.cacheKey(),
                                      images->body.cacheKey(), tilted ? ++m_tiltedDraws : 0, theme.isDark());
        for (const double value : body.look.v)
            signature = qHashMulti(signature, value);
        layerCards.append({cards[c].index, reachOf(rect), signature, [rect, &body, images, &theme](QPainter& p) {
                               paintVeskCard(p, rect, body.content, body.look, theme, nullptr, images.get());
                           }});
    }
    m_cardLayer.paint(painter, exposed, viewport()->size(), ratio, layerCards);
}

void LibraryGridCanvas::updateMovingCards()
{
    // A look can start moving outside a paint (asked for by lookOf): then the moving card is not
    // known and the whole grid is painted, which finds it.
    if (m_movingRegion.isEmpty())
        viewport()->update();
    else
        viewport()->update(m_movingRegion);
}

void LibraryGridCanvas::onCapturePulseVisible()
{
    // Each time the pulsing card comes into view it starts again from the raised pose and
    // settles on the next turn of the event loop.
    m_captureExpanded = false;
    const std::optional<QUuid> pulsing = m_state.capturePulseID;
    QTimer::singleShot(0, this, [this, pulsing] {
        if (m_state.capturePulseID != pulsing)
            return;
        m_captureExpanded = true;
        updateStaleCards();
    });
}

void LibraryGridCanvas::paintEvent(QPaintEvent* event)
{
    m_painted = true;
    restartStillTime();
    // A new list (the next letter of a search) shows other cards: those of the list before that
    // are not near the view now would otherwise stay until the grid is still, and a search typed
    // without a pause would keep tens of megabytes of them.
    // The trim frees pictures, which can wait behind another thread's copying for milliseconds:
    // it runs at the start of the next turn rather than inside the frame.
    if (m_newListUnpainted) {
        m_newListUnpainted = false;
        postTrim();
    }
    QPainter painter(viewport());
    paintFrame(painter, event->region());
}

void LibraryGridCanvas::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateLayout();
    if (!m_painted)
        prefetchFirstFrame();
}

void LibraryGridCanvas::prefetchFirstFrame()
{
    if (m_state.visibleItems.isEmpty() || viewport()->width() <= 0 || viewport()->height() <= 0)
        return;
    // The same bodies, at the same sizes and ratios, as the frame will ask for.
    const auto [first, last] = visibleRange();
    const qint64 now = m_clock();
    const qreal deviceRatio = viewport()->devicePixelRatioF();
    QList<CardPaintCache::BodyRequest> bodies;
    for (qsizetype i = first; i < last; ++i) {
        const VeskItem& item = m_state.visibleItems.at(i);
        bodies.append(bodyRequest(item, currentLook(item, now), cardRect(i).size(), deviceRatio, true));
    }
    m_paintCache.prefetchBodies(bodies, Theme::current());
}

CardPaintCache::BodyRequest LibraryGridCanvas::bodyRequest(const VeskItem& item, const CardLook& look,
                                                           const QSizeF& size, qreal deviceRatio, bool untransformed)
{
    const qreal bodyRatio = cardBodyRenderRatio(look, deviceRatio);
    return {contentFor(item, true), look, size, untransformed && bodyRatio != deviceRatio ? bodyRatio : deviceRatio};
}

void LibraryGridCanvas::scrollContentsBy(int, int)
{
    placeOverlayWidgets();
    // The pointer stays where it is while the cards move under it.
    if (viewport()->underMouse())
        setHoverIndex(indexAt(viewport()->mapFromGlobal(QCursor::pos())));
    viewport()->update();
}

void LibraryGridCanvas::mousePressEvent(QMouseEvent* event)
{
    m_pressIndex = event->button() == Qt::LeftButton ? indexAt(event->position().toPoint()) : -1;
    QAbstractScrollArea::mousePressEvent(event);
}

void LibraryGridCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    m_pointer = event->position().toPoint();
    const qsizetype index = event->button() == Qt::LeftButton ? indexAt(event->position().toPoint()) : -1;
    const bool click = index >= 0 && index == m_pressIndex;
    m_pressIndex = -1;
    // A copy: the list may be the store's own, which what the click sets off may replace.
    if (click)
        emit cardClicked(VeskItem(m_state.visibleItems.at(index)), event->modifiers());
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void LibraryGridCanvas::mouseMoveEvent(QMouseEvent* event)
{
    m_pointer = event->position().toPoint();
    setHoverIndex(indexAt(event->position().toPoint()));
    QAbstractScrollArea::mouseMoveEvent(event);
}

void LibraryGridCanvas::leaveEvent(QEvent* event)
{
    m_pointer.reset();
    setHoverIndex(-1);
    QAbstractScrollArea::leaveEvent(event);
}

bool LibraryGridCanvas::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave) {
        m_pointer.reset();
        setHoverIndex(-1);
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void LibraryGridCanvas::contextMenuEvent(QContextMenuEvent* event)
{
    const qsizetype index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (index < 0)
        return;
    emit cardContextMenuRequested(VeskItem(m_state.visibleItems.at(index)), event->globalPos());
}

void LibraryGridCanvas::setHoverIndex(qsizetype index)
{
    if (index == m_hoverIndex)
        return;
    m_hoverIndex = index;
    updateStaleCards();
}

} // namespace vesk
