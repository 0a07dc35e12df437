#include "grid/LibraryGridCanvas.h"

#include "platform/BackgroundRelease.h"
#include "platform/ui/Theme.h"

// What the grid keeps of the cards it does not show: the thumbnails and bodies near its view are
// kept (and the next rows drawn ahead), the rest let go of once the grid has been still a while.

namespace vesk {

QSet<QUuid> LibraryGridCanvas::idsNear(qsizetype first, qsizetype last) const
{
    // The rows in view, the row above and the two below: those renderNeighbours() renders.
    const qsizetype perRow = columns().count;
    const qsizetype count = m_state.visibleItems.size();
    QSet<QUuid> near;
    for (qsizetype i = std::max<qsizetype>(0, first - perRow); i < std::min(count, last + 2 * perRow); ++i)
        near.insert(m_state.visibleItems.at(i).id);
    return near;
}

void LibraryGridCanvas::withdrawThumbnailsOutside(qsizetype first, qsizetype last)
{
    // After a fast scroll the decoder would otherwise work through every card passed on the
    // way before it reaches the ones now in view.
    const QSet<QUuid> near = idsNear(first, last);
    for (auto it = m_pendingThumbnails.begin(); it != m_pendingThumbnails.end();) {
        if (near.contains(it.key())) {
            ++it;
            continue;
        }
        it->cancel();
        ++m_withdrawnThumbnails;
        it = m_pendingThumbnails.erase(it);
    }
}

void LibraryGridCanvas::keepOnlyNearView()
{
    const auto [first, last] = visibleRange();
    const QSet<QUuid> near = idsNear(first, last);
    m_paintCache.keepOnly(near);
    m_dates.keepLongTextsOnly(near);
    // The pictures of cards a search showed and left stay up to the budget, a few hundred of
    // them, which a window that sits still no longer draws.
    const QList<QUuid> pictured = m_pictures.keys();
    for (const QUuid& id : pictured) {
        if (!near.contains(id))
            m_pictures.remove(id);
    }
    for (auto it = m_titles.begin(); it != m_titles.end();) {
        if (near.contains(it.key()))
            ++it;
        else
            it = m_titles.erase(it);
    }
    for (auto it = m_dateLines.begin(); it != m_dateLines.end();) {
        if (near.contains(it.key()))
            ++it;
        else
            it = m_dateLines.erase(it);
    }
}

void LibraryGridCanvas::postTrim()
{
    if (m_trimPosted)
        return;
    m_trimPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_trimPosted = false;
            keepOnlyNearView();
        },
        Qt::QueuedConnection);
}

void LibraryGridCanvas::scheduleNeighbourRender()
{
    if (!m_neighbourTimer.isActive())
        m_neighbourTimer.start();
}

void LibraryGridCanvas::renderNeighbours()
{
    const auto [first, last] = visibleRange();
    const qsizetype perRow = columns().count;
    const qsizetype count = m_state.visibleItems.size();
    const qreal ratio = devicePixelRatioF();
    const qint64 now = m_clock();
    // Two rows below (the usual direction) and one above.
    QList<qsizetype> indexes;
    for (qsizetype i = last; i < std::min(count, last + 2 * perRow); ++i)
        indexes.append(i);
    for (qsizetype i = std::max<qsizetype>(0, first - perRow); i < first; ++i)
        indexes.append(i);
    QList<CardPaintCache::BodyRequest> bodies;
    for (qsizetype index : indexes) {
        const VeskItem& item = m_state.visibleItems.at(index);
        VeskCardContent content = contentFor(item, false);
        if (item.filePath && cardMediaKind(item) == CardMediaKind::Picture && content.thumbnail.isNull()
            && !m_noImage.contains(item.id))
            continue;
        const CardLook look = currentLook(item, now);
        bodies.append({std::move(content), look, cardRect(index).size(), cardBodyRenderRatio(look, ratio)});
    }
    // Rendered on one thread of the painting pool while the window goes on, and taken by the
    // frame that scrolls to them: drawn here, they held the main thread for milliseconds after
    // each frame.
    m_paintCache.prefetchBodies(bodies, Theme::current(), CardPaintCache::Spread::OneThread);
}

} // namespace vesk
