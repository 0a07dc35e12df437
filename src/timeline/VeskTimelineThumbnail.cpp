#include "timeline/VeskTimelineThumbnail.h"

#include "platform/ui/BusyIndicator.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"
#include "timeline/VeskTimelineMediaCache.h"

#include <QCache>
#include <QPainter>
#include <QPixmap>

namespace vesk {

namespace {

constexpr qreal kCornerRadius = 10;

// Scaled cell pictures of every timeline, main thread only; the cost is in kilobytes.
QCache<QString, QPixmap>& scaledPictures()
{
    static QCache<QString, QPixmap> cache(64 * 1024);
    return cache;
}

} // namespace

VeskTimelineThumbnail::VeskTimelineThumbnail(VeskTimelineMediaCache& cache, QWidget* parent)
    : QWidget(parent), m_cache(cache), m_spinner(new BusyIndicator(this, 16))
{
    setFixedSize(kMaxWidth, kMaxHeight);
    reload();
}

void VeskTimelineThumbnail::setPath(const std::optional<QString>& path)
{
    if (path == m_path)
        return;
    m_path = path;
    reload();
}

void VeskTimelineThumbnail::reload()
{
    ++m_generation;
    m_requested = false;
    if (!m_path || m_path->isEmpty()) {
        // Nothing will ever arrive: no spinner.
        setState(State::Failed);
        return;
    }
    if (!m_cache.preview(*m_path).isNull())
        setState(State::Shown);
    else if (m_cache.previewFailed(*m_path))
        setState(State::Failed);
    else
        setState(State::Loading);
}

void VeskTimelineThumbnail::request()
{
    if (m_requested || !m_path)
        return;
    m_requested = true;
    const quint64 generation = m_generation;
    m_cache.loadPreview(*m_path, this, [this, generation](bool made) {
        if (generation != m_generation)
            return;
        m_requested = false;
        setState(made ? State::Shown : State::Failed);
    });
}

void VeskTimelineThumbnail::setState(State state)
{
    m_state = state;
    m_spinner->setVisible(state == State::Loading);
    update();
}

void VeskTimelineThumbnail::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_spinner->move((width() - m_spinner->width()) / 2, (height() - m_spinner->height()) / 2);
}

QPixmap VeskTimelineThumbnail::scaledPreview(QRectF& target)
{
    const qreal ratio = devicePixelRatioF();
    const QString key = *m_path + QLatin1Char('@') + QString::number(width()) + QLatin1Char('x')
        + QString::number(height()) + QLatin1Char('@') + QString::number(ratio);
    QPixmap pixmap;
    if (const QPixmap* kept = scaledPictures().object(key)) {
        pixmap = *kept;
    } else {
        const QImage preview = m_cache.preview(*m_path);
        if (preview.isNull())
            return QPixmap();
        const QSizeF fitted = QSizeF(preview.size()).scaled(QSizeF(size()), Qt::KeepAspectRatio);
        pixmap = QPixmap::fromImage(
            preview.scaled((fitted * ratio).toSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        pixmap.setDevicePixelRatio(ratio);
        scaledPictures().insert(key, new QPixmap(pixmap), int(qMax<qint64>(1, pixmap.width() * pixmap.height() * 4 / 1024)));
    }
    target = QRectF(QPointF(), pixmap.deviceIndependentSize());
    target.moveCenter(QRectF(rect()).center());
    return pixmap;
}

void VeskTimelineThumbnail::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Theme& theme = Theme::current();
    if (m_state == State::Shown) {
        QRectF target;
        const QPixmap picture = scaledPreview(target);
        if (!picture.isNull()) {
            painter.setClipPath(Painting::roundedRect(target, kCornerRadius));
            painter.drawPixmap(target.topLeft(), picture);
            return;
        }
        // The media cache let the preview go under memory pressure: make it again.
        setState(State::Loading);
    }
    painter.fillPath(Painting::roundedRect(QRectF(rect()), kCornerRadius), theme.primary(0.035));
    if (m_state == State::Failed)
        IconMap::paint(painter, QRectF(rect()), QStringLiteral("photo"), theme.tertiary(), 28);
    else
        request();
}

} // namespace vesk
