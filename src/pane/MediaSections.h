#pragma once
// The preview's video and audio sections. The video section holds its player, the playhead
// readout and the controls that save a moment of the video as a new item.

#include "model/VeskItem.h"
#include "platform/Expected.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <QWidget>

class QButtonGroup;
class QLabel;
class QPushButton;

namespace vesk {

struct PreviewSectionContext;
class Settings;
class VeskVideoPlayerController;
class VeskVideoPlayer;
class WrappingText;

inline const QString kVideoMomentDurationKey = QStringLiteral("veskVideoMomentDuration");
// The moment lengths offered, in seconds.
inline constexpr int kVideoMomentLengths[] = {10, 20, 30, 60};

// "Saves 10 seconds before and 10 seconds after the current point, when available."
QString videoMomentExplanation(int lengthSeconds);
// "Save 20s Moment", or "Saving Moment…" while a save runs.
QString videoMomentButtonTitle(int lengthSeconds, bool saving);

class VideoSection : public QWidget {
    Q_OBJECT
public:
    VideoSection(const VeskItem& item, const PreviewSectionContext& context, QWidget* parent = nullptr);
    ~VideoSection() override;

    VeskVideoPlayerController& controller() const { return *m_controller; }
    VeskVideoPlayer* player() const { return m_player; }
    bool isSavingVideoMoment() const { return m_saving; }
    const QString& videoMomentStatus() const { return m_status; }
    int videoMomentDuration() const;
    void setVideoMomentDuration(int seconds);
    QPushButton* saveButton() const { return m_save; }

    // Saves the moment around the playhead: export off the main thread, then the store.
    void startVideoMomentExport();

signals:
    void momentFinished();

private:
    void refresh();
    void finishMoment(const QString& status);

    VeskItem m_item;
    std::function<Expected<VeskItem, QString>(const QString&, double)> m_saveMoment;
    std::shared_ptr<Settings> m_settings;
    VeskVideoPlayerController* m_controller = nullptr;
    VeskVideoPlayer* m_player = nullptr;
    QPushButton* m_save = nullptr;
    QLabel* m_playhead = nullptr;
    QButtonGroup* m_lengths = nullptr;
    WrappingText* m_explanation = nullptr;
    // A failure can carry a path or a reason as one long word.
    WrappingText* m_statusLabel = nullptr;
    bool m_saving = false;
    QString m_status;
};

QWidget* makeAudioSection(const VeskItem& item, const PreviewSectionContext& context, QWidget* parent);

} // namespace vesk
