#include "pane/QuickLookThumb.h"

#include "model/ItemFileKinds.h"
#include "platform/ui/IconMap.h"
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
    const quint64 ticket = ++m_ticket;
    m_thumbnail = {};
    m_pixmap = {};
    m_loaded = false;
    update();
    if (!m_loader)
        return;
    const qreal scale = screenScale();
    const QSize pixels(qRound(kThumbnailPoints.width() * scale), qRound(kThumbnailPoints.height() * scale));
    deliverResult(this, m_loader->thumbnail(path, pixels), [this, ticket](const FileThumbnail& result) {
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
    painter.fillRect(rect(), theme.primary(0.035));
    const QRectF inner = QRectF(rect()).adjusted(12, 12, -12, -12);
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
