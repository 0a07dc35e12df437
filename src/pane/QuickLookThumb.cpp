#include "pane/QuickLookThumb.h"

#include "model/ItemFileKinds.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"
#include "platform/FutureDelivery.h"

#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QScreen>

namespace vesk {

namespace {

qreal screenScale()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 2.0;
}

constexpr int kInset = 12;

} // namespace

QuickLookThumb::QuickLookThumb(std::shared_ptr<ThumbnailLoader> loader, QWidget* parent)
    : QWidget(parent)
    , m_loader(std::move(loader))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void QuickLookThumb::setPath(const QString& path)
{
    if (path == m_path && m_ticket != 0)
        return;
    m_path = path;
    m_thumbnail = {};
    m_pixmap = {};
    m_loaded = false;
    m_requestedPixels = {};
    ++m_ticket;
    update();
    requestThumbnail();
}

QSize QuickLookThumb::wantedPixels() const
{
    // A thumbnail made small and scaled up to the frame looks blurred: it is asked for at the
    // size it is drawn, in the screen's pixels.
    const QSize inner = size().shrunkBy(QMargins(kInset, kInset, kInset, kInset)).expandedTo(kThumbnailPoints);
    const qreal scale = screenScale();
    return {qRound(inner.width() * scale), qRound(inner.height() * scale)};
}

void QuickLookThumb::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!m_path.isEmpty())
        requestThumbnail();
}

void QuickLookThumb::requestThumbnail()
{
    if (!m_loader)
        return;
    const QSize pixels = wantedPixels();
    if (m_requestedPixels.isValid() && m_requestedPixels.width() >= pixels.width()
        && m_requestedPixels.height() >= pixels.height())
        return;
    // What is shown stays until the larger picture arrives.
    m_requestedPixels = pixels;
    const quint64 ticket = ++m_ticket;
    deliverResult(this, m_loader->thumbnail(m_path, pixels), [this, ticket](const FileThumbnail& result) {
        if (ticket != m_ticket)
            return;
        m_thumbnail = result;
        m_loaded = true;
        if (!result.isIcon()) {
            m_pixmap = QPixmap::fromImage(result.image);
            m_pixmap.setDevicePixelRatio(screenScale());
        } else {
            QIcon icon = QIcon::fromTheme(result.iconName, QIcon::fromTheme(result.genericIconName));
            if (!icon.isNull())
                m_pixmap = icon.pixmap(QSize(64, 64), screenScale());
        }
        update();
        emit thumbnailLoaded();
    });
}

void QuickLookThumb::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const Theme& theme = Theme::current();
    Painting::fillInRowBands(painter, rect(), theme.primary(0.035));
    const QRectF inner = QRectF(rect()).adjusted(kInset, kInset, -kInset, -kInset);
    if (m_pixmap.isNull() || inner.isEmpty()) {
        // Without a desktop icon theme a loaded file shows its type's symbol from the icon font.
        QString symbol = QStringLiteral("doc");
        if (m_loaded) {
            VeskItem file;
            file.filePath = m_path;
            symbol = formatBadgeSymbol(file);
        }
        IconMap::paint(painter, QRectF(rect()), symbol, theme.secondary(), 30);
        return;
    }
    const QSizeF logical = m_pixmap.deviceIndependentSize();
    QSizeF size = logical.scaled(inner.size(), Qt::KeepAspectRatio);
    // Icons are not blown up to fill the frame; rendered thumbnails are.
    if (m_thumbnail.isIcon() && (size.width() > logical.width() || size.height() > logical.height()))
        size = logical;
    const QRectF target(inner.center().x() - size.width() / 2, inner.center().y() - size.height() / 2,
        size.width(), size.height());
    painter.drawPixmap(target, m_pixmap, QRectF(m_pixmap.rect()));
}

} // namespace vesk
