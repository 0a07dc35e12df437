#pragma once

#include "present/ItemDates.h"
#include "grid/VeskCardStyle.h"
#include "model/VeskItem.h"

#include <QCache>
#include <QFuture>
#include <QHash>
#include <QImage>
#include <QRectF>
#include <QSet>
#include <QString>
#include <array>
#include <optional>
#include <vector>

class QPainter;

namespace vesk {

class Theme;

// The animatable numbers of a card's look. A state's style gives the targets; the grid moves
// the current values towards them and paints whatever they are at the moment.
struct CardLook {
    enum Index {
        Scale, OffsetY, Opacity, ShadowOpacity, ShadowRadius, ShadowOffsetY,
        AccentTint, HoverTint, BorderAccent, BorderPrimary, BorderWidth,
        Tilt, HoverSheen, MultiMark, Ring, RingStroke, RingWidth, RingScale, RingOpacity,
        BroughtBackBadge, ClosestBadge, ReasonLine, CapturePresence, CaptureExpansion,
        Count
    };
    std::array<double, Count> v{};

    double operator[](Index i) const { return v[size_t(i)]; }
    double& operator[](Index i) { return v[size_t(i)]; }

    static CardLook from(const VeskCardStyle& style, const VeskCardFlags& flags, bool hasReasonLine);
    static CardLook mix(const CardLook& from, const CardLook& to, double progress);
    friend bool operator==(const CardLook&, const CardLook&) = default;
};

// Everything a card shows besides its look.
struct VeskCardContent {
    VeskItem item;
    QString displayTitle;
    VeskCardDates dates;
    std::optional<QString> retrievalHint;
    bool isTopResult = false;
    // The item's latest value is not in the library file: the card says "Not saved".
    bool isUnsaved = false;
    // Its row waits to be written: the card says "Saving…".
    bool isSaving = false;
    bool hasRichText = false;
    // The thumbnail scaled for the card; null while none is known. An image, not a pixmap: the
    // painting pool's threads draw it.
    QImage thumbnail;
    // The thumbnail's load failed (the file does not decode): the card says so instead of waiting.
    bool previewUnavailable = false;
};

// Rendered card bodies and shadows, so that scrolling a grid blits images instead of laying out
// text and clipping curves for every card of every frame. A body is drawn again when anything it
// shows changes (content, size, theme, tint, border, reason line).
class CardPaintCache {
public:
    CardPaintCache();
    ~CardPaintCache();
    CardPaintCache(const CardPaintCache&) = delete;
    CardPaintCache& operator=(const CardPaintCache&) = delete;
    QImage body(const VeskCardContent& content, const CardLook& look, const QSizeF& size, qreal ratio,
                 const Theme& theme);
    // One body that a frame is about to draw.
    struct BodyRequest {
        VeskCardContent content;
        CardLook look;
        QSizeF size;
        qreal ratio = 1.0;
    };
    // Renders the bodies and shadows that are not ready yet on all cores at once, so that a frame full of cards it has not shown before, as
    // after a new search result, takes about the time of one card instead of all of them. Bodies
    // that prefetchBodies has drawn by then are taken first; the others are drawn here, not
    // waited for. A shadow is that of the request's size and ratio, blurred as the look's
    // cachedCardShadowRadius.
    void prepareBodies(const QList<BodyRequest>& requests, const Theme& theme);
    // Starts rendering, on the painting pool, bodies that a coming frame will draw, and returns
    // at once: the window's first frame finds its cards rendered while the window was being
    // shown, and a scroll the rows next to the view. A body whose card has changed by then is
    // simply drawn again.
    // Over every thread of the pool, or one: bodies nobody waits for yet (the rows next to the
    // view) leave the other cores to the window while it goes on working.
    enum class Spread { AllThreads, OneThread };
    void prefetchBodies(const QList<BodyRequest>& requests, const Theme& theme, Spread spread = Spread::AllThreads);
    // Has every thread of the painting pool render a sample body of each kind once, in the
    // background. Each thread loads its own fonts on the first text it lays out, under one lock
    // they all share: done while the window is still being built, the grid's first frame does
    // not wait for it. Once per process; later calls do nothing.
    static void warmUpWorkers(const Theme& theme);
    // Waits until that warm-up is done: it lays out text, which needs the application until
    // the last sample is drawn.
    static void finishWarmUp();
    QImage shadow(const QSizeF& size, int radius, qreal ratio);
    static double shadowMargin(int radius);
    void clear();
    // Drops the bodies of every card but these, and what their keys hold of the others' texts:
    // once the grid is still, those it no longer shows are memory (tens of megabytes after a few
    // searches) that a scroll back renders again.
    void keepOnly(const QSet<QUuid>& ids);

private:
    // A picture the caches hold. One that leaves a cache goes to retired, if set, to be freed on
    // a worker: each is a mapping of its own, and unmapping the dozens a search's frame replaced
    // took milliseconds of the window's thread.
    struct Kept {
        size_t key = 0;
        QImage image;
        std::vector<QImage>* retired = nullptr;
        Kept(size_t key, QImage image, std::vector<QImage>* retired)
            : key(key), image(std::move(image)), retired(retired)
        {
        }
        Kept(const Kept&) = delete;
        Kept& operator=(const Kept&) = delete;
        ~Kept()
        {
            if (retired && !image.isNull())
                retired->push_back(std::move(image));
        }
    };
    using Body = Kept;
    // Hands what left the caches (pictures, and the long texts the keys held) to a worker.
    void releaseRetired();
    size_t bodyKey(const VeskCardContent& content, const CardLook& look, const QSizeF& size, qreal ratio,
                   const Theme& theme);
    // A long text of an item stands in the key as a number given to its buffer, so that a note of
    // megabytes is not hashed on every frame. The copy kept here makes any later write to the
    // item's text detach into a new buffer, which gets a new number.
    size_t textHash(const QUuid& id, int field, const ItemText& text);
    struct KnownText {
        ItemText text;
        size_t hash = 0;
    };
    QHash<std::pair<QUuid, int>, KnownText> m_longTexts;
    size_t m_longTextNumber = 0;
    void keepBody(const QUuid& id, size_t key, const QImage& image);
    void takePrefetchedBodies();
    void dropPrefetch();
    struct Prefetch {
        std::vector<QUuid> ids;
        std::vector<size_t> keys;
        QFuture<QImage> images;
    };
    std::optional<Prefetch> m_prefetch;
    // A prefetch a frame did not wait for: bodies already begun finish for nothing, and are
    // waited for only where the cache is cleared or goes.
    QFuture<QImage> m_unfinishedPrefetch;
    // Before the caches: they fill it while they are destroyed.
    std::vector<QImage> m_retired;
    QList<ItemText> m_retiredTexts;
    QCache<QUuid, Body> m_bodies;
    struct ShadowKey {
        size_t width, height;
        int radius;
        size_t ratio;
        friend bool operator==(const ShadowKey&, const ShadowKey&) = default;
        friend size_t qHash(const ShadowKey& key, size_t seed = 0)
        {
            return qHashMulti(seed, key.width, key.height, key.radius, key.ratio);
        }
    };
    static ShadowKey shadowKey(const QSizeF& size, int radius, qreal ratio);
    void keepShadow(const ShadowKey& key, QImage image, qreal ratio);
    // The shadows of the sizes drawn last: a grid of many card heights would otherwise blur
    // every shadow in view again each time the set of sizes it met overflowed.
    QCache<ShadowKey, Kept> m_shadows{256};
};

// The blur radius of a cached card's shadow in this look: the nearest of the few radii the
// states use, so that a radius on its way between two states does not blur a new shadow.
int cachedCardShadowRadius(const CardLook& look);

// The pixel ratio a cached body is rendered at for this look: a card resting in one of its
// scaled poses is rendered at that scale, so its text is drawn crisp instead of resampled; while
// it moves between poses it keeps the plain rendering.
qreal cardBodyRenderRatio(const CardLook& look, qreal ratio);

// The transparent margin around a rendered body, room for the antialiased edge.
constexpr double kCardBodyMargin = 2;

// A card's body as the cache keeps it: background, media, details and border at the given
// size and pixel ratio, with kCardBodyMargin around the card. Safe from any thread.
QImage renderCardBody(const VeskCardContent& content, const CardLook& look, const QSizeF& size, qreal ratio,
                      const Theme& theme);

// The pictures a cached card is drawn from: its shadow and, unless it is tilted, its body, each
// at the ratio its pose asks for on a painter of that ratio, untransformed or not. Taken from
// the cache on the window's thread, so that the card can then be drawn on another.
struct CardImages {
    QImage shadow;
    QImage body;
};
CardImages cachedCardImages(const QSizeF& size, const VeskCardContent& content, const CardLook& look,
                            const Theme& theme, CardPaintCache& cache, qreal ratio, bool untransformed);

// Paints one card into `cell` (its untransformed frame in the painter's coordinates), through
// the cache when one is given, or from the pictures taken from it (then on any thread).
void paintVeskCard(QPainter& painter, const QRectF& cell, const VeskCardContent& content, const CardLook& look,
                   const Theme& theme, CardPaintCache* cache = nullptr, const CardImages* images = nullptr);

} // namespace vesk
