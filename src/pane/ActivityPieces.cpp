#include "pane/ActivityPieces.h"
#include "pane/PaneIcons.h"

#include "intake/FileStability.h"
#include "media/MediaDuration.h"
#include "pane/ActivityTexts.h"
#include "pane/MediaPlayerViews.h"
#include "pane/SectionParts.h"
#include "platform/image/ImageLoader.h"
#include "platform/ui/BusyIndicator.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"
#include "platform/WorkPool.h"
#include "platform/FutureDelivery.h"
#include "platform/ui/ControlText.h"

#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QPainter>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace vesk {

namespace {

// Tiles are at most a pane wide and 118 points high: a picture this size covers them sharply.
constexpr int kTileImageDimension = 1200;

struct TileImage {
    QImage image;
    QSize size;
};

TileImage loadTileImage(const QString& path)
{
    // Only a regular file is read: a pipe would never end.
    if (!regularFileStamp(QFileInfo(path).canonicalFilePath()))
        return {};
    return {ImageLoader::load(path, kTileImageDimension), ImageLoader::imageSize(path)};
}

QColor secondaryTextColour() { return Theme::current().secondary(); }

void paintBox(QWidget* widget, qreal radius, qreal fill, qreal outline)
{
    QPainter painter(widget);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = Painting::roundedRect(QRectF(widget->rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius);
    painter.fillPath(shape, Theme::current().primary(fill));
    if (outline > 0)
        Painting::stroke(painter, shape, Theme::current().primary(outline), 1);
}

} // namespace

QPushButton* makeCapsuleButton(const QString& text, const QString& symbol, QWidget* parent)
{
    auto* button = new QPushButton(controlText(text), parent);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    button->setCursor(Qt::PointingHandCursor);
    button->setFont(Theme::font(11.5, QFont::DemiBold));
    const Theme& theme = Theme::current();
    if (!symbol.isEmpty())
        button->setIcon(paneSymbolIcon(symbol, theme.secondary(), 12));
    button->setStyleSheet(QStringLiteral("QPushButton { color: %1; background: %2; border: 1px solid %3;"
                                         " border-radius: 12px; padding: 5px 10px; }")
                              .arg(theme.secondary().name(QColor::HexArgb), theme.primary(0.055).name(QColor::HexArgb),
                                   theme.primary(0.1).name(QColor::HexArgb)));
    return button;
}

// The picture, filling the box with its aspect kept; a spinner while loading, the photo symbol
// when nothing could be decoded.
class ActivityPhotoTile::PictureBox : public QWidget {
public:
    explicit PictureBox(ActivityPhotoTile* tile)
        : QWidget(tile)
        , m_tile(tile)
        , m_spinner(new BusyIndicator(this))
    {
        setFixedHeight(118);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    void refresh()
    {
        m_spinner->setVisible(m_tile->isLoading());
        update();
    }

protected:
    void resizeEvent(QResizeEvent*) override
    {
        m_spinner->move((width() - m_spinner->width()) / 2, (height() - m_spinner->height()) / 2);
    }
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const Theme& theme = Theme::current();
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const QPainterPath shape = Painting::roundedRect(box, 10);
        painter.fillPath(shape, theme.primary(0.035));
        const QImage& image = m_tile->image();
        if (!image.isNull()) {
            painter.save();
            painter.setClipPath(shape);
            // Filled: the picture covers the box and the excess is cut off.
            const QSizeF scaled = QSizeF(image.size()).scaled(box.size(), Qt::KeepAspectRatioByExpanding);
            const QRectF target(box.center().x() - scaled.width() / 2, box.center().y() - scaled.height() / 2,
                                scaled.width(), scaled.height());
            painter.drawImage(target, image);
            painter.restore();
        } else if (!m_tile->isLoading()) {
            IconMap::paint(painter, box, QStringLiteral("photo"), theme.secondary(), 22);
        }
        Painting::stroke(painter, shape, theme.primary(0.07), 1);
    }

private:
    ActivityPhotoTile* m_tile;
    BusyIndicator* m_spinner;
};

ActivityPhotoTile::ActivityPhotoTile(const QString& path, UrlOpener open, QWidget* parent)
    : QAbstractButton(parent)
    , m_path(path)
{
    setObjectName(QStringLiteral("activityPhotoTile"));
    setToolTip(QStringLiteral("Open activity photo"));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    m_picture = new PictureBox(this);
    column->addWidget(m_picture);

    auto* caption = new QWidget(this);
    caption->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* row = new QHBoxLayout(caption);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto* name = new ElidedLabel(QFileInfo(path).fileName(), Qt::ElideMiddle, caption);
    name->setObjectName(QStringLiteral("activityPhotoName"));
    name->setFont(Theme::font(TextStyle::Caption2));
    QPalette palette = name->palette();
    palette.setColor(QPalette::WindowText, secondaryTextColour());
    name->setPalette(palette);
    row->addWidget(name, 1);
    row->addSpacing(6);
    m_dimensions = makeLabel(QString(), Theme::font(TextStyle::Caption2), Theme::current().tertiary(), caption);
    m_dimensions->setObjectName(QStringLiteral("activityPhotoDimensions"));
    m_dimensions->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    m_dimensions->hide();
    row->addWidget(m_dimensions);
    column->addWidget(caption);

    connect(this, &QAbstractButton::clicked, this, [this, open = std::move(open)] {
        if (open)
            open(QUrl::fromLocalFile(m_path));
    });
}

QString ActivityPhotoTile::dimensionsText() const
{
    return m_dimensions->text();
}

void ActivityPhotoTile::showEvent(QShowEvent* event)
{
    QAbstractButton::showEvent(event);
    if (m_started)
        return;
    // The tile's path never changes, so a result can only be this tile's own; a tile gone
    // before its picture arrives is never handed it.
    m_started = true;
    m_picture->refresh();
    deliverResult(this, QtConcurrent::run(workPool(), loadTileImage, m_path), [this](const TileImage& result) {
        m_image = result.image;
        const QString dimensions = result.image.isNull() ? QString() : vesk::dimensionsText(result.size);
        m_dimensions->setText(dimensions);
        m_dimensions->setVisible(!dimensions.isEmpty());
        m_loading = false;
        m_picture->refresh();
        emit loaded();
    });
}

void ActivityPhotoTile::paintEvent(QPaintEvent*)
{
    // The children draw the tile; the button itself only takes the clicks.
}

ActivityResourceCard::ActivityResourceCard(Kind kind, const QString& path, UrlOpener open, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("activityResourceCard"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);

    const QString symbol = kind == Kind::File ? QStringLiteral("doc") : QStringLiteral("play.rectangle");
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("activityResourceIcon"));
    icon->setProperty("symbol", symbol);
    icon->setFixedSize(28, 28);
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(paneSymbolPixmap(symbol, Theme::current().secondary(), 18, devicePixelRatioF()));
    icon->setStyleSheet(QStringLiteral("QLabel { background: %1; border-radius: 7px; }")
                            .arg(Theme::current().primary(0.045).name(QColor::HexArgb)));
    row->addWidget(icon);

    auto* texts = new QWidget(this);
    auto* column = makeColumn(texts, 2);
    auto* name = new ElidedLabel(QFileInfo(path).fileName(), Qt::ElideMiddle, texts);
    name->setObjectName(QStringLiteral("activityResourceName"));
    name->setFont(Theme::font(12.5, QFont::Medium));
    QPalette palette = name->palette();
    palette.setColor(QPalette::WindowText, secondaryTextColour());
    name->setPalette(palette);
    column->addWidget(name);
    // The extension is the file's own: a long one is cut short rather than widen the card.
    m_detail = new ElidedLabel(QString(), Qt::ElideRight, texts);
    m_detail->setFont(Theme::font(TextStyle::Caption2));
    palette.setColor(QPalette::WindowText, Theme::current().tertiary());
    m_detail->setPalette(palette);
    m_detail->setObjectName(QStringLiteral("activityResourceDetail"));
    m_detail->hide();
    column->addWidget(m_detail);
    row->addWidget(texts, 1);

    auto* button = makeCapsuleButton(kind == Kind::File ? QStringLiteral("Open File") : QStringLiteral("Open Video"),
                                     QString(), this);
    button->setObjectName(QStringLiteral("activityResourceOpen"));
    // Linux has no one movie player every desktop has: a video opens in the default application.
    connect(button, &QPushButton::clicked, this, [open = std::move(open), path] {
        if (open)
            open(QUrl::fromLocalFile(path));
    });
    m_button = button;
    row->addWidget(button);

    const bool isVideo = kind == Kind::Video;
    deliverResult(this, QtConcurrent::run(workPool(), [path, isVideo] {
        const std::optional<FileStamp> stamp = regularFileStamp(QFileInfo(path).canonicalFilePath());
        const std::optional<qint64> size = stamp ? std::optional<qint64>(stamp->size) : std::nullopt;
        const std::optional<double> duration = isVideo && stamp ? mediaDurationSeconds(path) : std::nullopt;
        return resourceDetailText(path, size, duration);
    }), [this](const QString& detail) {
        m_detail->setFullText(detail);
        m_detail->setVisible(!detail.isEmpty());
        emit detailLoaded();
    });
}

ActivityDeferredVideoPlayer::ActivityDeferredVideoPlayer(const QString& path, QWidget* parent,
                                                         std::shared_ptr<Timers> timers)
    : QWidget(parent)
    , m_path(path)
    , m_timers(timers ? std::move(timers) : SystemTimers::shared())
{
    setObjectName(QStringLiteral("activityDeferredVideo"));
    setFixedHeight(180);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_placeholder = new QWidget(this);
    m_placeholder->setObjectName(QStringLiteral("activityVideoPlaceholder"));
    auto* column = new QVBoxLayout(m_placeholder);
    column->setSpacing(8);
    column->setAlignment(Qt::AlignCenter);
    column->addWidget(new BusyIndicator(m_placeholder), 0, Qt::AlignHCenter);
    QFont caption = Theme::font(TextStyle::Caption2);
    caption.setWeight(QFont::Medium);
    column->addWidget(makeLabel(QStringLiteral("Preparing video preview\u2026"), caption, Theme::current().tertiary(),
                                m_placeholder),
                      0, Qt::AlignHCenter);
    layout->addWidget(m_placeholder);
}

void ActivityDeferredVideoPlayer::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_player)
        return;
    if (m_pending)
        m_pending->cancel();
    m_pending = m_timers->after(kDelayMs, this, [this] { showPlayer(); });
}

void ActivityDeferredVideoPlayer::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // Left the screen before its time: no player is made.
    if (m_pending)
        m_pending->cancel();
}

void ActivityDeferredVideoPlayer::paintEvent(QPaintEvent*)
{
    paintBox(this, 10, 0.035, 0.07);
}

void ActivityDeferredVideoPlayer::showPlayer()
{
    m_player = new VeskVideoPlayer(m_path, nullptr, this);
    m_player->setObjectName(QStringLiteral("activityVideoPlayer"));
    auto* fade = new QGraphicsOpacityEffect(m_player);
    fade->setOpacity(0);
    m_player->setGraphicsEffect(fade);
    delete layout()->replaceWidget(m_placeholder, m_player); // the old item is ours to delete
    m_placeholder->hide();
    m_player->show();
    auto* animation = new QPropertyAnimation(fade, "opacity", m_player);
    animation->setDuration(160);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(animation, &QPropertyAnimation::finished, m_player, [player = m_player] {
        // Drawing through an effect costs every frame: it goes once the player is in.
        if (player)
            player->setGraphicsEffect(nullptr);
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    emit playerShown();
}

} // namespace vesk
