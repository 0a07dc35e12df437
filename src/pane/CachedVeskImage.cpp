#include "pane/CachedVeskImage.h"

#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"
#include "pane/StableImageView.h"
#include "images/PreparedPreviewCache.h"
#include "model/ItemFileKinds.h"
#include "platform/FutureDelivery.h"

#include <QPainter>
#include <QTimer>

namespace vesk {

void paintAspectFill(QPainter& painter, const QRectF& target, const QPixmap& image)
{
    if (image.isNull() || target.isEmpty())
        return;
    const QSizeF source = image.size();
    const QSizeF covering = source.scaled(target.size(), Qt::KeepAspectRatioByExpanding);
    // The part of the source that lands inside the target after scaling, centred.
    const qreal scale = covering.width() / source.width();
    const QSizeF visible(target.width() / scale, target.height() / scale);
    const QRectF sourceRect((source.width() - visible.width()) / 2, (source.height() - visible.height()) / 2,
        visible.width(), visible.height());
    painter.save();
    painter.setClipRect(target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, image, sourceRect);
    painter.restore();
}

bool ItemImageSlot::setItem(const QUuid& id)
{
    if (id == m_id && m_ticket != 0)
        return false;
    m_id = id;
    ++m_ticket;
    return true;
}

CachedVeskImage::CachedVeskImage(std::shared_ptr<ThumbnailProvider> thumbnails, QWidget* parent)
    : QWidget(parent)
    , m_thumbnails(std::move(thumbnails))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CachedVeskImage::setItem(const VeskItem& item)
{
    if (!m_slot.setItem(item.id))
        return;
    m_image = {};
    m_pixmap = {};
    update();
    if (!m_thumbnails)
        return;
    const quint64 ticket = m_slot.ticket();
    const QUuid id = item.id;
    deliverResult(this, m_thumbnails->thumbnail(item, kThumbnailDimension), [this, ticket, id](const QImage& image) {
        if (!m_slot.accepts(ticket, id))
            return;
        m_image = image;
        m_pixmap = image.isNull() ? QPixmap() : QPixmap::fromImage(image);
        update();
        emit imageChanged();
    });
}

void CachedVeskImage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const Theme& theme = Theme::current();
    painter.fillRect(rect(), theme.primary(0.035));
    if (!m_pixmap.isNull()) {
        paintAspectFill(painter, QRectF(rect()), m_pixmap);
        return;
    }
    IconMap::paint(painter, QRectF(rect()), QStringLiteral("photo"), theme.secondary(), 28);
}

FullImageOrCached::FullImageOrCached(std::shared_ptr<PreparedPreviewCache> previews, QWidget* parent)
    : QWidget(parent)
    , m_previews(std::move(previews))
    , m_view(new StableImageView(this))
    , m_spinner(new QTimer(this))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_view->hide();
    m_spinner->setInterval(80);
    connect(m_spinner, &QTimer::timeout, this, [this] {
        m_spinnerAngle = (m_spinnerAngle + 30) % 360;
        update();
    });
}

QImage FullImageOrCached::image() const
{
    return m_view->image();
}

void FullImageOrCached::setItem(const VeskItem& item)
{
    if (!m_slot.setItem(item.id))
        return;
    // Never leave the previous item's picture up while this one's loads.
    m_view->setImage({});
    m_view->hide();
    m_state = State::Waiting;
    m_symbol = isImageLikeItem(item) ? QStringLiteral("photo") : veskKindSymbol(item.kind);
    if (isVisible())
        m_spinner->start();
    update();
    if (!m_previews)
        return;
    const quint64 ticket = m_slot.ticket();
    const QUuid id = item.id;
    deliverResult(this, m_previews->preparedImage(item), [this, ticket, id](const QImage& image) {
        if (m_slot.accepts(ticket, id))
            show(image);
    });
}

void FullImageOrCached::show(const QImage& image)
{
    m_view->setImage(image);
    m_view->setVisible(!image.isNull());
    // A null answer is final (the caches do not retry): say so instead of spinning for ever.
    m_state = image.isNull() ? State::Unavailable : State::Shown;
    m_spinner->stop();
    update();
    emit imageLoaded();
}

// The spinner only turns while someone can see it.
void FullImageOrCached::showEvent(QShowEvent*)
{
    if (m_state == State::Waiting)
        m_spinner->start();
}

void FullImageOrCached::hideEvent(QHideEvent*)
{
    m_spinner->stop();
}

void FullImageOrCached::resizeEvent(QResizeEvent*)
{
    m_view->setGeometry(rect());
}

void FullImageOrCached::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Theme& theme = Theme::current();
    Painting::fillInRowBands(painter, rect(), theme.primary(0.025));
    if (m_state == State::Shown)
        return;

    const QFont caption = Theme::font(TextStyle::Caption2);
    const QFontMetrics metrics(caption);
    const bool waiting = m_state == State::Waiting;
    const QString text = waiting ? QStringLiteral("Preparing preview\u2026") : QStringLiteral("Preview unavailable");
    const int markSize = waiting ? 16 : 30;
    const int blockHeight = markSize + 8 + metrics.height();
    const int top = (height() - blockHeight) / 2;
    const QRectF mark((width() - markSize) / 2.0, top, markSize, markSize);
    if (waiting) {
        painter.setPen(QPen(theme.secondary(), 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(mark.adjusted(1, 1, -1, -1), -m_spinnerAngle * 16, 270 * 16);
    } else {
        IconMap::paint(painter, mark, m_symbol, theme.secondary(), 28);
    }
    painter.setFont(caption);
    painter.setPen(theme.tertiary());
    painter.drawText(QRectF(0, top + markSize + 8, width(), metrics.height()), Qt::AlignCenter, text);
}

} // namespace vesk
