#pragma once
// Playing one audio file inside Vesk: ready or failed after loading, playing, scrubbing, and the
// end of the file. The platform player sits behind AudioBackend so the states can be checked
// without sound.

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QTimer;

namespace vesk {

// What the controller needs of a player. Loading may finish later: the backend then emits
// loaded() or failed().
class AudioBackend : public QObject {
    Q_OBJECT
public:
    virtual void load(const QString& path) = 0;
    virtual bool play() = 0;
    virtual void pause() = 0;
    virtual bool isPlaying() const = 0;
    virtual double currentTime() const = 0;
    virtual void setCurrentTime(double seconds) = 0;
    virtual double duration() const = 0;
    virtual void setVolume(double volume) = 0;

signals:
    void loaded();
    void failed(const QString& reason);
    // The file decodes, but there is nothing to play it on.
    void noSoundOutput();
    void finished();
};

// Qt Multimedia's player (FFmpeg backend).
std::unique_ptr<AudioBackend> makeSystemAudioBackend();
// Whether the system has a sound output at all. Playing sound without one would bring the
// process down in the multimedia backend, so players check first.
bool hasAudioOutputDevice();

class VeskAudioPlayerController : public QObject {
    Q_OBJECT
public:
    // Loads the file at once.
    VeskAudioPlayerController(const QString& path, std::unique_ptr<AudioBackend> backend, QObject* parent = nullptr);
    ~VeskAudioPlayerController() override;

    bool isReady() const { return m_isReady; }
    bool isPlaying() const { return m_isPlaying; }
    double currentTime() const { return m_currentTime; }
    double duration() const { return m_duration; }
    double volume() const { return m_volume; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    bool timerRunning() const;

    // The position slider writes the shown position while it is dragged; the player follows
    // when the drag ends.
    void setCurrentTime(double seconds);
    void setVolume(double volume);

    void play();
    void pause();
    void togglePlayback();
    void beginScrubbing();
    void endScrubbing();

    static constexpr int timerIntervalMs = 200;
    static QString undecodableMessage() { return QStringLiteral("Vesk couldn't play this audio file."); }
    static QString noOutputMessage() { return QStringLiteral("There is no sound output to play this audio file on."); }

signals:
    void changed();

private:
    void didLoad();
    void didFail(const QString& reason);
    void didFindNoOutput();
    void didFinish();
    void startTimer();
    void stopTimer();

    QString m_path;
    std::unique_ptr<AudioBackend> m_backend;
    QTimer* m_timer = nullptr;
    bool m_isReady = false;
    bool m_isPlaying = false;
    double m_currentTime = 0;
    double m_duration = 0;
    double m_volume = 1.0;
    std::optional<QString> m_errorMessage;
    bool m_resumeAfterScrub = false;
    // A failure is final: a backend that reports more about the file afterwards (its length,
    // say) must not make it look playable.
    bool m_failed = false;
};

} // namespace vesk
