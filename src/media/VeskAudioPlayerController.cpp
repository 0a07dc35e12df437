#include "media/VeskAudioPlayerController.h"

#include "platform/Log.h"

#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QAudioDevice>
#include <QTimer>
#include <QUrl>

namespace vesk {

namespace {

class SystemAudioBackend final : public AudioBackend {
public:
    SystemAudioBackend()
        : m_hasOutput(hasAudioOutputDevice())
    {
        if (m_hasOutput)
            m_player.setAudioOutput(&m_output);
        connect(&m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
            if (status == QMediaPlayer::LoadedMedia && m_state == State::Loading) {
                if (!m_hasOutput) {
                    m_state = State::Failed;
                    emit noSoundOutput();
                    return;
                }
                m_state = State::Loaded;
                emit loaded();
            } else if (status == QMediaPlayer::EndOfMedia && m_state == State::Loaded) {
                emit finished();
            } else if (status == QMediaPlayer::InvalidMedia) {
                fail(m_player.errorString());
            }
        });
        // The length is often known only after loading: the controller reads it again. The
        // backend also reports a length after an error, which says nothing about playability.
        connect(&m_player, &QMediaPlayer::durationChanged, this, [this] {
            if (m_state == State::Loaded)
                emit loaded();
        });
        connect(&m_player, &QMediaPlayer::errorOccurred, this,
                [this](QMediaPlayer::Error, const QString& text) { fail(text); });
    }

    // The file is opened also without a sound output, so that a broken file is told apart from
    // a machine that cannot play sound; nothing is played without one.
    void load(const QString& path) override { m_player.setSource(QUrl::fromLocalFile(path)); }
    bool play() override
    {
        if (m_state != State::Loaded)
            return false;
        m_player.play();
        return m_player.playbackState() == QMediaPlayer::PlayingState;
    }
    void pause() override { m_player.pause(); }
    bool isPlaying() const override { return m_player.playbackState() == QMediaPlayer::PlayingState; }
    double currentTime() const override { return m_player.position() / 1000.0; }
    void setCurrentTime(double seconds) override { m_player.setPosition(qint64(seconds * 1000)); }
    double duration() const override { return m_player.duration() / 1000.0; }
    void setVolume(double volume) override { m_output.setVolume(float(volume)); }

private:
    enum class State { Loading, Loaded, Failed };

    void fail(const QString& reason)
    {
        if (m_state == State::Failed)
            return;
        // An error after loading (a damaged frame midway) also ends playback for good.
        m_state = State::Failed;
        emit failed(reason.isEmpty() ? QStringLiteral("the file could not be decoded") : reason);
    }

    QMediaPlayer m_player;
    QAudioOutput m_output;
    bool m_hasOutput = false;
    State m_state = State::Loading;
};

} // namespace

bool hasAudioOutputDevice()
{
    return !QMediaDevices::defaultAudioOutput().isNull();
}

std::unique_ptr<AudioBackend> makeSystemAudioBackend()
{
    return std::make_unique<SystemAudioBackend>();
}

VeskAudioPlayerController::VeskAudioPlayerController(const QString& path, std::unique_ptr<AudioBackend> backend,
                                                     QObject* parent)
    : QObject(parent)
    , m_path(path)
    , m_backend(std::move(backend))
{
    connect(m_backend.get(), &AudioBackend::loaded, this, &VeskAudioPlayerController::didLoad);
    connect(m_backend.get(), &AudioBackend::failed, this, &VeskAudioPlayerController::didFail);
    connect(m_backend.get(), &AudioBackend::noSoundOutput, this, &VeskAudioPlayerController::didFindNoOutput);
    connect(m_backend.get(), &AudioBackend::finished, this, &VeskAudioPlayerController::didFinish);
    m_backend->load(path);
}

VeskAudioPlayerController::~VeskAudioPlayerController()
{
    stopTimer();
    if (m_backend)
        m_backend->pause();
}

bool VeskAudioPlayerController::timerRunning() const
{
    return m_timer && m_timer->isActive();
}

void VeskAudioPlayerController::didLoad()
{
    if (m_failed)
        return;
    m_backend->setVolume(m_volume);
    m_duration = std::max(0.0, m_backend->duration());
    m_currentTime = std::max(0.0, m_backend->currentTime());
    m_isReady = true;
    m_errorMessage.reset();
    emit changed();
}

void VeskAudioPlayerController::didFail(const QString& reason)
{
    if (m_failed)
        return;
    m_failed = true;
    if (m_isPlaying)
        m_backend->pause();
    m_isReady = false;
    m_isPlaying = false;
    stopTimer();
    m_errorMessage = undecodableMessage();
    veskLog(QStringLiteral("Vesk audio player load error: ") + reason);
    emit changed();
}

void VeskAudioPlayerController::didFindNoOutput()
{
    if (m_failed)
        return;
    m_failed = true;
    m_isReady = false;
    m_errorMessage = noOutputMessage();
    veskLog(QStringLiteral("Vesk audio player load error: no sound output for ") + m_path);
    emit changed();
}

void VeskAudioPlayerController::didFinish()
{
    m_isPlaying = false;
    m_currentTime = m_duration;
    stopTimer();
    emit changed();
}

void VeskAudioPlayerController::setCurrentTime(double seconds)
{
    m_currentTime = seconds;
    emit changed();
}

void VeskAudioPlayerController::setVolume(double volume)
{
    m_volume = std::clamp(volume, 0.0, 1.0);
    if (m_isReady)
        m_backend->setVolume(m_volume);
    emit changed();
}

void VeskAudioPlayerController::play()
{
    if (!m_isReady)
        return;
    m_backend->setVolume(m_volume);
    const double duration = m_backend->duration();
    // A file that ran to its end starts again from the beginning.
    if (duration > 0 && !(duration > m_backend->currentTime())) {
        m_backend->setCurrentTime(0);
        m_currentTime = 0;
    }
    if (m_backend->play()) {
        m_isPlaying = true;
        startTimer();
    }
    emit changed();
}

void VeskAudioPlayerController::pause()
{
    if (m_isReady)
        m_backend->pause();
    m_isPlaying = false;
    stopTimer();
    if (m_isReady)
        m_currentTime = m_backend->currentTime();
    emit changed();
}

void VeskAudioPlayerController::togglePlayback()
{
    if (!m_isReady)
        return;
    if (m_backend->isPlaying())
        pause();
    else
        play();
}

void VeskAudioPlayerController::beginScrubbing()
{
    m_resumeAfterScrub = m_isPlaying;
    if (m_isPlaying) {
        m_backend->pause();
        m_isPlaying = false;
        stopTimer();
    }
    emit changed();
}

void VeskAudioPlayerController::endScrubbing()
{
    if (!m_isReady)
        return;
    double target = m_currentTime > 0 ? m_currentTime : 0;
    target = std::min(target, m_duration);
    m_backend->setCurrentTime(target);
    m_currentTime = target;
    emit changed();
    if (m_resumeAfterScrub) {
        m_resumeAfterScrub = false;
        play();
    }
}

void VeskAudioPlayerController::startTimer()
{
    stopTimer();
    m_timer = new QTimer(this);
    m_timer->setInterval(timerIntervalMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_currentTime = m_backend->currentTime();
        emit changed();
    });
    m_timer->start();
}

void VeskAudioPlayerController::stopTimer()
{
    if (!m_timer)
        return;
    m_timer->stop();
    m_timer->deleteLater();
    m_timer = nullptr;
}

} // namespace vesk
