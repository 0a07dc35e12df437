#pragma once
// The players shown inside Vesk: an audio card (title, play/pause, position with elapsed and
// remaining time, volume) and a video view with its own inline controls.

#include <QFrame>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <memory>

class QLabel;
class QMediaPlayer;
class QAudioOutput;
class QPushButton;
class QSlider;
class QVideoSink;
class QVideoFrame;

namespace vesk {

class VeskAudioPlayerController;
class AudioBackend;
class VeskVideoPlayerController;
class WrappingText;

class VeskAudioPlayer : public QFrame {
    Q_OBJECT
public:
    // One controller per shown file, made here.
    VeskAudioPlayer(const QString& path, const QString& title, std::unique_ptr<AudioBackend> backend,
                    QWidget* parent = nullptr);
    ~VeskAudioPlayer() override;

    VeskAudioPlayerController& controller() const { return *m_controller; }
    QPushButton* playButton() const { return m_play; }
    QSlider* positionSlider() const { return m_position; }
    WrappingText* errorLabel() const { return m_error; }
    QWidget* errorRow() const { return m_errorRow; }
    QLabel* elapsedLabel() const { return m_elapsed; }
    QLabel* remainingLabel() const { return m_remaining; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();

    std::unique_ptr<VeskAudioPlayerController> m_controller;
    QWidget* m_controls = nullptr;
    QWidget* m_errorRow = nullptr;
    WrappingText* m_error = nullptr;
    QPushButton* m_play = nullptr;
    QSlider* m_position = nullptr;
    QSlider* m_volume = nullptr;
    QLabel* m_elapsed = nullptr;
    QLabel* m_remaining = nullptr;
    bool m_dragging = false;
};

// The video's pictures, drawn by the widget itself (fitted, on black): no GPU surface joins the
// window, so it shows on any display, a virtual one included.
class VideoFrameView : public QWidget {
    Q_OBJECT
public:
    explicit VideoFrameView(QWidget* parent = nullptr);
    // The sink a player draws into, made on first request.
    QVideoSink* sink();
    const QImage& frame() const { return m_frame; }
    // A still shown until the player delivers its own frames: the picture at the player's
    // position, so a video is never a black box before it is played.
    void setPoster(const QImage& poster);
    const QImage& shownImage() const { return m_frame.isNull() ? m_poster : m_frame; }

signals:
    void escapePressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QVideoSink* m_sink = nullptr;
    QImage m_frame;
    QImage m_poster;
};

// A video with inline controls (play/pause, position, time, full screen). It never starts by
// itself. A controller, when given, follows its player.
class VeskVideoPlayer : public QWidget {
    Q_OBJECT
public:
    VeskVideoPlayer(const QString& path, VeskVideoPlayerController* controller, QWidget* parent = nullptr);
    ~VeskVideoPlayer() override;

    // None until the worker has found that the file opens.
    QMediaPlayer* player() const { return m_player; }
    QPushButton* playButton() const { return m_play; }
    VideoFrameView* frameView() const { return m_video; }
    void toggleFullScreen();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();
    void makePlayer(const QString& path);

    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_output = nullptr;
    VideoFrameView* m_video = nullptr;
    QPointer<VeskVideoPlayerController> m_controller;
    QPushButton* m_play = nullptr;
    QPushButton* m_fullScreen = nullptr;
    QSlider* m_position = nullptr;
    QLabel* m_time = nullptr;
    bool m_dragging = false;
};

} // namespace vesk
