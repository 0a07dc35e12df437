#include "grid/VeskCardPainter.h"

#include "platform/ui/Painting.h"
#include "platform/BackgroundRelease.h"
#include "platform/ParallelWork.h"
#include "platform/ThreadSanitizerHandOff.h"
#include "platform/WorkPools.h"
#include "platform/ui/Theme.h"

#include <QPainter>
#include <QFutureInterface>
#include <QSet>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>
#include <cmath>
#include <mutex>
#include <optional>

namespace vesk {

namespace {

size_t quantised(double value)
{
    return size_t(std::llround(value * 1000.0));
}

// A card's blurred silhouette with room for the blur around it. Safe from any thread.
QImage renderShadow(const QSizeF& size, int radius, qreal ratio)
{
    const double margin = CardPaintCache::shadowMargin(radius);
    QImage image(QSize(int(std::ceil((size.width() + 2 * margin) * ratio)), int(std::ceil((size.height() + 2 * margin) * ratio))),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(ratio, ratio);
        painter.fillPath(Painting::roundedRect(QRectF(QPointF(margin, margin), size), kCardCornerRadius), Qt::black);
    }
    Painting::blurImage(image, radius * ratio);
    return image;
}

} // namespace

CardPaintCache::CardPaintCache()
{
    m_bodies.setMaxCost(48 * 1024); // kilobytes
}

CardPaintCache::~CardPaintCache()
{
    dropPrefetch();
}

void CardPaintCache::dropPrefetch()
{
    // Bodies not begun are not begun; those being drawn are waited for, a few milliseconds at
    // most: left running, they could still be laying out text while the application closes.
    if (m_prefetch) {
        m_prefetch->images.cancel();
        m_prefetch->images.waitForFinished();
        m_prefetch.reset();
    }
    m_unfinishedPrefetch.waitForFinished();
    m_unfinishedPrefetch = QFuture<QImage>();
}

void CardPaintCache::clear()
{
    dropPrefetch(); // drawn for what is being cleared away
    m_bodies.clear();
    for (const KnownText& known : std::as_const(m_longTexts))
        m_retiredTexts.append(known.text);
    m_longTexts.clear();
    m_shadows.clear();
    releaseRetired();
}

void CardPaintCache::keepOnly(const QSet<QUuid>& ids)
{
    const QList<QUuid> kept = m_bodies.keys();
    for (const QUuid& id : kept) {
        if (!ids.contains(id))
            m_bodies.remove(id);
    }
    // The copy of a long text that stands for it in a body's key keeps the whole text alive: a
    // note of megabytes stayed in memory after it was deleted, up to dozens of them.
    m_longTexts.removeIf([&](const auto& known) {
        if (ids.contains(known.key().first))
            return false;
        m_retiredTexts.append(known.value().text);
        return true;
    });
    releaseRetired();
}

void CardPaintCache::releaseRetired()
{
    if (!m_retired.empty())
        releaseInBackground(std::exchange(m_retired, {}));
    if (!m_retiredTexts.isEmpty())
        releaseInBackground(std::exchange(m_retiredTexts, {}));
}

size_t CardPaintCache::textHash(const QUuid& id, int field, const ItemText& text)
{
    constexpr qsizetype kLongText = 64 * 1024;
    constexpr qsizetype kKnownTexts = 64;
    if (text.size() < kLongText)
        return qHash(text);
    const std::pair<QUuid, int> key{id, field};
    if (const auto known = m_longTexts.constFind(key); known != m_longTexts.cend() && known->text.isSharedWith(text))
        return known->hash;
    if (m_longTexts.size() >= kKnownTexts) {
        for (const KnownText& known : std::as_const(m_longTexts))
            m_retiredTexts.append(known.text);
        m_longTexts.clear();
    }
    // A long text is known by its buffer, not read: a new buffer only draws the body once more.
    const size_t number = ++m_longTextNumber;
    m_longTexts.insert(key, KnownText{text, number});
    return number;
}

size_t CardPaintCache::bodyKey(const VeskCardContent& content, const CardLook& look, const QSizeF& size, qreal ratio,
                               const Theme& theme)
{
    const VeskItem& item = content.item;
    size_t key = qHashMulti(0, item.id, item.title, int(item.kind), item.createdAt.toMSecsSinceEpoch(),
                            item.urlString.value_or(QStringLiteral("\x01")), item.filePath.value_or(QStringLiteral("\x01")),
                            item.note, item.groupID.value_or(QUuid()), item.sourceItemID.value_or(QUuid()));
    key = qHashMulti(key, item.text.has_value(), item.text ? textHash(item.id, 0, *item.text) : 0,
                     textHash(item.id, 1, item.searchableText));
    key = qHashMulti(key, content.displayTitle, content.dates.importedLine, content.dates.createdLine,
                     content.retrievalHint.value_or(QStringLiteral("\x01")), content.isTopResult, content.isUnsaved,
                     content.isSaving, content.hasRichText, content.thumbnail.cacheKey(), content.previewUnavailable);
    key = qHashMulti(key, quantised(size.width()), quantised(size.height()), quantised(ratio), theme.isDark(),
                     quantised(look[CardLook::AccentTint]), quantised(look[CardLook::HoverTint]),
                     quantised(look[CardLook::BorderAccent]), quantised(look[CardLook::BorderPrimary]));
    return qHashMulti(key, quantised(look[CardLook::BorderWidth]), quantised(look[CardLook::ReasonLine]));
}

void CardPaintCache::keepBody(const QUuid& id, size_t key, const QImage& image)
{
    const int cost = std::max(1, int(qint64(image.width()) * image.height() * 4 / 1024));
    m_bodies.insert(id, new Body(key, image, &m_retired), cost);
}

QImage CardPaintCache::body(const VeskCardContent& content, const CardLook& look, const QSizeF& size, qreal ratio,
                             const Theme& theme)
{
    const size_t key = bodyKey(content, look, size, ratio, theme);
    if (const Body* cached = m_bodies.object(content.item.id); cached && cached->key == key)
        return cached->image;

    const QImage image = renderCardBody(content, look, size, ratio, theme);
    keepBody(content.item.id, key, image);
    releaseRetired();
    return image;
}

namespace {

// Draws the bodies on the painting pool, each into the future at its request's index, on as many
// of the pool's threads as there are bodies, or on at most threads of them. Once the future is
// cancelled, the bodies not begun are left out.
QFuture<QImage> drawBodiesOnPool(QList<CardPaintCache::BodyRequest> bodies, std::shared_ptr<const Theme> theme,
                                 int threads)
{
    struct Drawing {
        QFutureInterface<QImage> images;
        QList<CardPaintCache::BodyRequest> bodies;
        std::shared_ptr<const Theme> theme;
        std::atomic<qsizetype> next{0};
        std::atomic<qsizetype> done{0};
    };
    auto drawing = std::make_shared<Drawing>();
    drawing->images.reportStarted();
    drawing->bodies = std::move(bodies);
    drawing->theme = std::move(theme);
    QFuture<QImage> images = drawing->images.future();
    QThreadPool& pool = *WorkPools::shared().painting();
    qsizetype jobs = std::min<qsizetype>(std::max(1, pool.maxThreadCount()), drawing->bodies.size());
    if (threads > 0)
        jobs = std::min<qsizetype>(jobs, threads);
    for (qsizetype j = 0; j < jobs; ++j) {
        startHandedOff(pool, [drawing] {
            const qsizetype count = drawing->bodies.size();
            for (qsizetype i = drawing->next++; i < count; i = drawing->next++) {
                if (!drawing->images.isCanceled()) {
                    const CardPaintCache::BodyRequest& body = drawing->bodies[i];
                    drawing->images.reportResult(
                        renderCardBody(body.content, body.look, body.size, body.ratio, *drawing->theme), int(i));
                }
                if (++drawing->done == count)
                    drawing->images.reportFinished();
            }
        });
    }
    return images;
}

QList<QFuture<void>>& warmUpRuns()
{
    static QList<QFuture<void>> runs;
    return runs;
}
} // namespace

void CardPaintCache::finishWarmUp()
{
    for (QFuture<void>& run : warmUpRuns())
        run.waitForFinished();
}

void CardPaintCache::warmUpWorkers(const Theme& theme)
{
    static std::once_flag once;
    std::call_once(once, [&theme] {
        const std::shared_ptr<const Theme> kept = theme.snapshot();
        QList<VeskCardContent> samples;
        for (const VeskKind kind : kAllVeskKinds) {
            VeskCardContent content;
            content.item.id = QUuid::createUuid();
            content.item.kind = kind;
            content.item.title = QStringLiteral("Sample 12");
            content.item.text = QStringLiteral("A few words of sample text, 0123456789.");
            content.item.searchableText = *content.item.text;
            content.item.urlString = QStringLiteral("https://example.org/sample");
            content.item.filePath = QStringLiteral("/nonexistent/sample.pdf");
            content.displayTitle = content.item.title;
            content.dates = {QStringLiteral("Imported today"), QStringLiteral("Created today")};
            samples.append(content);
        }
        const CardLook look = CardLook::from(VeskCardStyle(), VeskCardFlags(), false);
        QThreadPool* pool = WorkPools::shared().painting();
        // An idle pool starts a thread of its own for each task.
        for (int i = 0; i < std::max(1, pool->maxThreadCount()); ++i) {
            warmUpRuns().append(QtConcurrent::run(pool, handedOff([samples, look, kept] {
                for (const VeskCardContent& content : samples)
                    (void)renderCardBody(content, look, QSizeF(220, 180), 1.0, *kept);
            })));
        }
    });
}

void CardPaintCache::prefetchBodies(const QList<BodyRequest>& requests, const Theme& theme, Spread spread)
{
    if (m_prefetch || !m_unfinishedPrefetch.isFinished())
        return;
    Prefetch prefetch;
    QList<BodyRequest> missing;
    for (const BodyRequest& request : requests) {
        const size_t key = bodyKey(request.content, request.look, request.size, request.ratio, theme);
        if (const Body* cached = m_bodies.object(request.content.item.id); cached && cached->key == key)
            continue;
        prefetch.ids.push_back(request.content.item.id);
        prefetch.keys.push_back(key);
        missing.append(request);
    }
    if (missing.isEmpty())
        return;
    // The requests and the theme are the workers' own copies: an appearance switch while they
    // wait for a thread must not reach the bodies keyed by the appearance they were asked in.
    const std::shared_ptr<const Theme> kept = theme.snapshot();
    prefetch.images = drawBodiesOnPool(std::move(missing), kept, spread == Spread::OneThread ? 1 : 0);
    m_prefetch = std::move(prefetch);
}

void CardPaintCache::takePrefetchedBodies()
{
    if (!m_prefetch)
        return;
    Prefetch prefetch = std::move(*m_prefetch);
    m_prefetch.reset();
    if (prefetch.images.isCanceled())
        return;
    // The frame takes the bodies drawn by now and does not wait for the others: it draws them
    // itself with every core, where waiting would leave the main thread idle behind workers that
    // a busy machine may not be running at all.
    for (size_t i = 0; i < prefetch.ids.size(); ++i) {
        if (prefetch.images.isResultReadyAt(qsizetype(i)))
            keepBody(prefetch.ids[i], prefetch.keys[i], prefetch.images.resultAt(qsizetype(i)));
    }
    if (!prefetch.images.isFinished()) {
        prefetch.images.cancel();
        m_unfinishedPrefetch = prefetch.images;
    }
}

void CardPaintCache::prepareBodies(const QList<BodyRequest>& requests, const Theme& theme)
{
    takePrefetchedBodies();
    // A body or a shadow not drawn yet; a shadow's request is that of the first card asking.
    struct Missing {
        const BodyRequest* request;
        size_t key;
        std::optional<ShadowKey> shadow;
        QImage image;
    };
    std::vector<Missing> missing;
    QSet<ShadowKey> shadowsMissing;
    for (const BodyRequest& request : requests) {
        const size_t key = bodyKey(request.content, request.look, request.size, request.ratio, theme);
        if (const Body* cached = m_bodies.object(request.content.item.id); !cached || cached->key != key)
            missing.push_back({&request, key, std::nullopt, QImage()});
        // A card moving into a scaled pose, as a new capture's does, meets a shadow of a size
        // that no card has had: blurring it here would cost the frame milliseconds.
        const ShadowKey shadow = shadowKey(request.size, cachedCardShadowRadius(request.look), request.ratio);
        if (!m_shadows.contains(shadow) && !shadowsMissing.contains(shadow)) {
            shadowsMissing.insert(shadow);
            missing.push_back({&request, 0, shadow, QImage()});
        }
    }
    if (missing.empty()) {
        releaseRetired();
        return;
    }
    // On the painting pool, not Qt's global one: the raster engine hands the pieces of every
    // large fill painted outside that pool to it and waits for them, and behind bodies queued
    // there each such wait lasted a whole body. The main thread only waits, even for one body:
    // its fonts are not those the pool's threads have loaded for cards, and laying out a card's
    // text here first looked up the fallback fonts, milliseconds of the frame. The live theme is
    // safe to read here: the main thread, the only one that changes it, waits.
    forEachOnPool(missing.size(), [&](size_t i) {
        Missing& job = missing[i];
        const BodyRequest& request = *job.request;
        job.image = job.shadow
            ? renderShadow(request.size, job.shadow->radius, request.ratio)
            : renderCardBody(request.content, request.look, request.size, request.ratio, theme);
    }, *WorkPools::shared().painting());
    for (Missing& job : missing) {
        if (job.shadow)
            keepShadow(*job.shadow, std::move(job.image), job.request->ratio);
        else
            keepBody(job.request->content.item.id, job.key, std::move(job.image));
    }
    releaseRetired();
}

CardPaintCache::ShadowKey CardPaintCache::shadowKey(const QSizeF& size, int radius, qreal ratio)
{
    return ShadowKey{quantised(size.width()), quantised(size.height()), radius, quantised(ratio)};
}

void CardPaintCache::keepShadow(const ShadowKey& key, QImage image, qreal ratio)
{
    image.setDevicePixelRatio(ratio);
    m_shadows.insert(key, new Kept(0, std::move(image), &m_retired));
}

QImage CardPaintCache::shadow(const QSizeF& size, int radius, qreal ratio)
{
    const ShadowKey key = shadowKey(size, radius, ratio);
    if (const Kept* found = m_shadows.object(key))
        return found->image;
    keepShadow(key, renderShadow(size, radius, ratio), ratio);
    releaseRetired();
    return m_shadows.object(key)->image;
}

double CardPaintCache::shadowMargin(int radius)
{
    return std::ceil(radius * 2.0 + 2.0);
}

} // namespace vesk
