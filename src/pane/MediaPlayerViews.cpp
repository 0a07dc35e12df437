#include "pane/MediaPlayerViews.h"
#include "pane/PaneIcons.h"

#include "media/VeskAudioPlayerController.h"
#include "media/MediaTimeFormat.h"
#include "media/VeskVideoPlayerController.h"
#include "pane/SectionParts.h"
#include "pane/WrappingText.h"
#include "platform/preview/FileThumbnailer.h"
#include "platform/preview/MediaProbe.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"
#include "platform/WorkPool.h"
#include "platform/FutureDelivery.h"

#include <QAudioOutput>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMediaPlayer>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoFrame>
#include <QVideoSink>
#include <QtConcurrent/QtConcurrentRun>

namespace vesk {

namespace {

// Slider steps per second of playback.
constexpr int kSliderScale = 100;
// The still shown before playback: sharp in the pane and in a large window.
constexpr QSize kPosterSize(1280, 1280);

QLabel* symbolLabel(const QString& symbol, int size, const QColor& color, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(paneSymbolPixmap(symbol, color, size, parent ? parent->devicePixelRatioF() : 1.0));
    return label;
}

QFont monospacedDigits(qreal points)
{
    QFont font = Theme::font(points);
    font.setFamily(QStringLiteral("DejaVu Sans Mono"));
    return font;
}

void setPlayIcon(QPushButton* button, bool playing)
{
    button->setIcon(paneSymbolIcon(playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"), Qt::white, 15));
    button->setToolTip(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
}

} // namespace

VeskAudioPlayer::VeskAudioPlayer(const QString& path, const QString& title, std::unique_ptr<AudioBackend> backend,
                                 QWidget* parent)
    : QFrame(parent)
    , m_controller(std::make_unique<VeskAudioPlayerController>(path, std::move(backend)))
{
    setObjectName(QStringLiteral("audioPlayer"));
    const Theme& theme = Theme::current();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(14);

    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    auto* tile = new QLabel(this);
    tile->setFixedSize(48, 48);
    tile->setAlignment(Qt::AlignCenter);
    tile->setPixmap(paneSymbolPixmap(QStringLiteral("waveform"), theme.secondary(), 21, devicePixelRatioF()));
    tile->setStyleSheet(QStringLiteral("background: %1; border-radius: 12px;").arg(theme.primary(0.055).name(QColor::HexArgb)));
    header->addWidget(tile);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(3);
    // A file's name is often one long word: it wraps inside it, and a third line is left out.
    WrappingText* name = makeWrappedLabel(title, Theme::font(13.5, QFont::DemiBold), theme.label(), this, 2);
    name->setObjectName(QStringLiteral("audioPlayerTitle"));
    titles->addWidget(name);
    titles->addWidget(makeLabel(QStringLiteral("Plays inside Vesk"), Theme::font(TextStyle::Caption2), theme.tertiary(), this));
    header->addLayout(titles, 1);
    column->addLayout(header);

    // The error line: a warning symbol and the reason, in place of the controls.
    auto* errorRow = new QWidget(this);
    auto* errorLayout = new QHBoxLayout(errorRow);
    errorLayout->setContentsMargins(0, 0, 0, 0);
    errorLayout->setSpacing(6);
    errorLayout->addWidget(symbolLabel(QStringLiteral("exclamationmark.triangle"), 12, theme.secondary(), errorRow), 0,
        Qt::AlignTop);
    m_error = makeWrappedLabel(QString(), Theme::font(TextStyle::Caption), theme.secondary(), errorRow);
    m_error->setObjectName(QStringLiteral("audioPlayerError"));
    errorLayout->addWidget(m_error, 1, Qt::AlignTop);
    m_errorRow = errorRow;
    column->addWidget(errorRow);

    m_controls = new QWidget(this);
    auto* controls = new QVBoxLayout(m_controls);
    controls->setContentsMargins(0, 0, 0, 0);
    controls->setSpacing(14);
    auto* transport = new QHBoxLayout;
    transport->setSpacing(12);
    m_play = new QPushButton(m_controls);
    m_play->setObjectName(QStringLiteral("audioPlayButton"));
    m_play->setFixedSize(36, 30);
    m_play->setStyleSheet(QStringLiteral("QPushButton { background: %1; border-radius: 8px; } QPushButton:disabled { background: %2; }")
                              .arg(theme.accent().name(QColor::HexArgb), theme.primary(0.15).name(QColor::HexArgb)));
    connect(m_play, &QPushButton::clicked, m_controller.get(), &VeskAudioPlayerController::togglePlayback);
    transport->addWidget(m_play);
    auto* positionColumn = new QVBoxLayout;
    positionColumn->setSpacing(4);
    m_position = new QSlider(Qt::Horizontal, m_controls);
    m_position->setObjectName(QStringLiteral("audioPosition"));
    connect(m_position, &QSlider::sliderPressed, this, [this] {
        m_dragging = true;
        m_controller->beginScrubbing();
    });
    connect(m_position, &QSlider::sliderMoved, this, [this](int value) { m_controller->setCurrentTime(double(value) / kSliderScale); });
    connect(m_position, &QSlider::sliderReleased, this, [this] {
        m_dragging = false;
        m_controller->endScrubbing();
    });
    positionColumn->addWidget(m_position);
    auto* times = new QHBoxLayout;
    m_elapsed = makeLabel(QString(), monospacedDigits(10.5), theme.tertiary(), m_controls);
    m_remaining = makeLabel(QString(), monospacedDigits(10.5), theme.tertiary(), m_controls);
    times->addWidget(m_elapsed);
    times->addStretch(1);
    times->addWidget(m_remaining);
    positionColumn->addLayout(times);
    transport->addLayout(positionColumn, 1);
    controls->addLayout(transport);

    auto* volumeRow = new QHBoxLayout;
    volumeRow->setSpacing(8);
    volumeRow->addWidget(symbolLabel(QStringLiteral("speaker.fill"), 12, theme.tertiary(), m_controls));
    m_volume = new QSlider(Qt::Horizontal, m_controls);
    m_volume->setObjectName(QStringLiteral("audioVolume"));
    m_volume->setRange(0, 100);
    m_volume->setMaximumWidth(150);
    connect(m_volume, &QSlider::valueChanged, this, [this](int value) { m_controller->setVolume(value / 100.0); });
    volumeRow->addWidget(m_volume);
    volumeRow->addWidget(symbolLabel(QStringLiteral("speaker.wave.3.fill"), 12, theme.tertiary(), m_controls));
    volumeRow->addStretch(1);
    controls->addLayout(volumeRow);
    column->addWidget(m_controls);

    connect(m_controller.get(), &VeskAudioPlayerController::changed, this, &VeskAudioPlayer::refresh);
    refresh();
}

VeskAudioPlayer::~VeskAudioPlayer() = default;

void VeskAudioPlayer::refresh()
{
    const VeskAudioPlayerController& c = *m_controller;
    const bool failed = c.errorMessage().has_value();
    m_errorRow->setVisible(failed);
    m_controls->setVisible(!failed);
    if (failed) {
        m_error->setText(*c.errorMessage());
        return;
    }
    m_play->setEnabled(c.isReady());
    m_position->setEnabled(c.isReady());
    setPlayIcon(m_play, c.isPlaying());
    m_position->setRange(0, int(std::max(c.duration(), 0.01) * kSliderScale));
    if (!m_dragging) {
        const QSignalBlocker block(m_position);
        m_position->setValue(int(c.currentTime() * kSliderScale));
    }
    {
        const QSignalBlocker block(m_volume);
        m_volume->setValue(int(c.volume() * 100));
    }
    const double remaining = c.duration() - c.currentTime();
    m_elapsed->setText(formatAudioTime(c.currentTime()));
    m_remaining->setText(QStringLiteral("-") + formatAudioTime(remaining > 0 ? remaining : 0));
}

void VeskAudioPlayer::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath box = Painting::roundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 14);
    painter.fillPath(box, Theme::current().primary(0.022));
    Painting::stroke(painter, box, Theme::current().primary(0.055), 1);
}

void VeskAudioPlayer::hideEvent(QHideEvent* event)
{
    // Leaving the preview stops the sound.
    m_controller->pause();
    QFrame::hideEvent(event);
}

VideoFrameView::VideoFrameView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(120);
}

QVideoSink* VideoFrameView::sink()
{
    // Made with the player that feeds it: the first sink of the process sets up the media
    // system, which the window would otherwise wait for on every file shown.
    if (m_sink)
        return m_sink;
    m_sink = new QVideoSink(this);
    // Frames arrive from the decoder; each replaces the last one shown.
    connect(m_sink, &QVideoSink::videoFrameChanged, this, [this](const QVideoFrame& frame) {
        const QImage image = frame.toImage();
        // A player that stops hands over an empty frame: the last picture stays.
        if (image.isNull() && !m_frame.isNull())
            return;
        m_frame = image;
        update();
    }, Qt::QueuedConnection);
    return m_sink;
}

void VideoFrameView::setPoster(const QImage& poster)
{
    m_poster = poster;
    if (m_frame.isNull())
        update();
}

void VideoFrameView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QImage& image = shownImage();
    if (image.isNull())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSize fitted = image.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
    painter.drawImage(target, image);
}

void VideoFrameView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        emit escapePressed();
        return;
    }
    QWidget::keyPressEvent(event);
}

VeskVideoPlayer::VeskVideoPlayer(const QString& path, VeskVideoPlayerController* controller, QWidget* parent)
    : QWidget(parent)
    , m_controller(controller)
{
    setObjectName(QStringLiteral("videoPlayer"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_video = new VideoFrameView(this);
    column->addWidget(m_video, 1);
    connect(m_video, &VideoFrameView::escapePressed, this, [this] {
        if (m_video->isFullScreen())
            toggleFullScreen();
    });

    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("videoControls"));
    bar->setStyleSheet(QStringLiteral("#videoControls { background: rgba(0,0,0,0.78); } QLabel { color: white; }"));
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(10, 6, 10, 6);
    row->setSpacing(10);
    m_play = new QPushButton(bar);
    m_play->setObjectName(QStringLiteral("videoPlayButton"));
    m_play->setFlat(true);
    m_play->setFixedSize(28, 24);
    setPlayIcon(m_play, false);
    row->addWidget(m_play);
    m_position = new QSlider(Qt::Horizontal, bar);
    row->addWidget(m_position, 1);
    m_time = new QLabel(bar);
    m_time->setFont(monospacedDigits(10.5));
    row->addWidget(m_time);
    m_fullScreen = new QPushButton(bar);
    m_fullScreen->setFlat(true);
    m_fullScreen->setFixedSize(28, 24);
    m_fullScreen->setIcon(paneSymbolIcon(QStringLiteral("arrow.up.left.and.arrow.down.right"), Qt::white, 14));
    m_fullScreen->setToolTip(QStringLiteral("Full Screen"));
    row->addWidget(m_fullScreen);
    column->addWidget(bar);

    // The player opens its source on the calling thread, and finding the streams of a large file
    // (one that is no video at all most of all) takes longer than a frame: a worker looks first,
    // and a file with nothing to play is never handed to a player, which would show nothing.
    // The same worker decodes the first picture, shown until playback brings its own frames.
    // The player, its sound output and its sink are made only for a file that opens: setting
    // them up costs the window more than a frame.
    struct Opened {
        bool opens = false;
        QImage poster;
    };
    deliverResult(this, QtConcurrent::run(workPool(), [path] {
        Opened opened;
        opened.opens = mediaFileOpens(path);
        if (opened.opens)
            opened.poster = FileThumbnailer::videoFrame(path, kPosterSize, 0);
        return opened;
    }), [this, path](const Opened& opened) {
        if (!opened.opens)
            return;
        m_video->setPoster(opened.poster);
        makePlayer(path);
    });

    connect(m_play, &QPushButton::clicked, this, [this] {
        if (!m_player)
            return;
        if (m_player->playbackState() == QMediaPlayer::PlayingState)
            m_player->pause();
        else
            m_player->play();
    });
    connect(m_position, &QSlider::sliderPressed, this, [this] { m_dragging = true; });
    connect(m_position, &QSlider::sliderReleased, this, [this] {
        m_dragging = false;
        if (m_player)
            m_player->setPosition(qint64(m_position->value()) * 1000 / kSliderScale);
    });
    connect(m_fullScreen, &QPushButton::clicked, this, &VeskVideoPlayer::toggleFullScreen);
    refresh();
}

void VeskVideoPlayer::makePlayer(const QString& path)
{
    m_player = new QMediaPlayer(this);
    // Without a sound output the video plays silently rather than not at all.
    if (hasAudioOutputDevice()) {
        m_output = new QAudioOutput(this);
        m_player->setAudioOutput(m_output);
    }
    m_player->setVideoSink(m_video->sink());
    if (m_controller)
        m_controller->attach(m_player);
    connect(m_player, &QMediaPlayer::positionChanged, this, &VeskVideoPlayer::refresh);
    connect(m_player, &QMediaPlayer::durationChanged, this, &VeskVideoPlayer::refresh);
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, &VeskVideoPlayer::refresh);
    // Last: the player may report the file's length while it opens it.
    m_player->setSource(QUrl::fromLocalFile(path));
    refresh();
}

VeskVideoPlayer::~VeskVideoPlayer()
{
    if (!m_player)
        return;
    if (m_controller && m_controller->player() == m_player)
        m_controller->detach();
    m_player->stop();
}

void VeskVideoPlayer::toggleFullScreen()
{
    auto* column = static_cast<QVBoxLayout*>(layout());
    if (m_video->isWindow()) {
        m_video->setWindowFlag(Qt::Window, false);
        column->insertWidget(0, m_video, 1);
        m_video->show();
        return;
    }
    column->removeWidget(m_video);
    m_video->setWindowFlag(Qt::Window, true);
    m_video->showFullScreen();
    m_video->setFocus();
}

void VeskVideoPlayer::refresh()
{
    // Until a player is made, a video at its start with no known length, as a new player says.
    setPlayIcon(m_play, m_player && m_player->playbackState() == QMediaPlayer::PlayingState);
    const double duration = m_player ? m_player->duration() / 1000.0 : 0.0;
    const double position = m_player ? m_player->position() / 1000.0 : 0.0;
    m_position->setRange(0, int(std::max(duration, 0.01) * kSliderScale));
    if (!m_dragging) {
        const QSignalBlocker block(m_position);
        m_position->setValue(int(position * kSliderScale));
    }
    m_time->setText(formatPlaybackTime(position) + QStringLiteral(" / ") + formatPlaybackTime(duration));
}

void VeskVideoPlayer::hideEvent(QHideEvent* event)
{
    if (m_player)
        m_player->pause();
    QWidget::hideEvent(event);
}

} // namespace vesk
