#pragma once

#include "editor/EditPipeline.h"
#include "platform/SerialExecutor.h"

#include <QFuture>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>
#include <atomic>
#include <memory>
#include <optional>

namespace vesk {

// The pictures behind one image editor. The source is decoded once, off the main thread; the
// canvas is drawn from a display-sized copy of it, which is cheap enough for every slider step;
// the full-size picture is rendered and encoded on the session's worker only once the settings
// have rested for `encodeDelay`, and that encode gives the edited size and the bytes Save hands
// over. The bytes are exactly those of editedImageFile() for the same settings.
class ImageEditSession : public QObject {
    Q_OBJECT
public:
    enum class LoadState { Loading, Ready, Failed };

    static constexpr int kDisplayMaxDimension = 1600;
    static constexpr int kDefaultEncodeDelayMs = 300;

    explicit ImageEditSession(QString sourcePath, QObject* parent = nullptr);
    ~ImageEditSession() override;

    // Starts the decode; `loaded` or `loadFailed` follows on the main thread.
    void start();

    const QString& sourcePath() const { return m_sourcePath; }
    LoadState loadState() const { return m_loadState; }
    // The upright source, at most kDisplayMaxDimension on its longer side.
    const QImage& displaySource() const { return m_displaySource; }
    QSize fullSize() const { return m_fullSize; }

    const EditSettings& settings() const { return m_settings; }
    // Takes new settings; the pending full-size encode is restarted after the delay.
    void setSettings(const EditSettings& settings);

    // The canvas picture for the current settings, from the display copy: uncropped, with the
    // markup in the crop (see renderUncroppedImage).
    QImage canvasImage() const;
    // The cropped picture without markup, from the display copy: what the markup sheet draws on.
    QImage adjustedDisplayImage() const;

    // The full-size encode of the current settings once it is done; none while it is pending,
    // and none when it failed (then encodeFailed() is true).
    const std::optional<EncodedImage>& currentEncode() const { return m_encode; }
    bool encodePending() const { return m_encodePending; }
    bool encodeFailed() const { return m_encodeFailed; }
    // The encode of the current settings, started at once when it is not under way; the future
    // gives none when the picture cannot be encoded.
    QFuture<std::optional<EncodedImage>> encodeNow();

    void setEncodeDelay(int milliseconds) { m_encodeTimer.setInterval(milliseconds); }
    // Waits for the worker; for tests.
    void waitForWorker() { m_worker.waitForDone(); }

signals:
    void loaded();
    void loadFailed();
    // The full-size encode of the current settings is done (or failed).
    void encodeFinished();

private:
    struct Decoded {
        QImage full;
        QImage display;
    };
    // A timer-started encode is skipped on the worker when newer settings arrived before it
    // began; one that a caller waits for always runs.
    void startEncode(bool skippable);

    QString m_sourcePath;
    LoadState m_loadState = LoadState::Loading;
    QImage m_fullSource;
    QImage m_displaySource;
    QSize m_fullSize;
    EditSettings m_settings;
    std::optional<EncodedImage> m_encode;
    bool m_encodePending = false;
    bool m_encodeFailed = false;
    // Raised by every settings change, so a finished encode of older settings is dropped.
    quint64 m_generation = 0;
    std::shared_ptr<std::atomic<quint64>> m_latestGeneration = std::make_shared<std::atomic<quint64>>(0);
    std::optional<QFuture<std::optional<EncodedImage>>> m_runningEncode;
    quint64 m_runningGeneration = 0;
    QTimer m_encodeTimer;
    SerialExecutor m_worker;
};

} // namespace vesk
