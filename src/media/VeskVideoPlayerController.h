#pragma once
// Follows one video player and publishes its playhead and length four times a second, so the
// preview pane can show the current time and cut a moment around it.

#include <QMediaPlayer>
#include <QObject>
#include <QPointer>

class QTimer;

namespace vesk {

class VeskVideoPlayerController : public QObject {
    Q_OBJECT
public:
    explicit VeskVideoPlayerController(QObject* parent = nullptr);

    // Never negative; unreadable values leave the last good one in place.
    double currentTime() const { return m_currentTime; }
    double duration() const { return m_duration; }
    QMediaPlayer* player() const { return m_player; }

    // Follows `player` (and only it) from now on.
    void attach(QMediaPlayer* player);
    // Stops following and shows 0 for both values.
    void detach();

    static constexpr int sampleIntervalMs = 250;

signals:
    void changed();

private:
    void sample();

    QPointer<QMediaPlayer> m_player;
    QTimer* m_timer = nullptr;
    double m_currentTime = 0;
    double m_duration = 0;
};

} // namespace vesk
