#pragma once

#include <QString>
#include <QWidget>
#include <optional>

namespace vesk {

class BusyIndicator;
class VeskTimelineMediaCache;

// The picture of one timeline cell: the photo's preview fitted into at most 390 by 260 points
// with rounded corners. The preview is asked for when the cell is first painted, so a long
// timeline prepares the pictures the user looks at first. While it is being made a placeholder
// with a spinner shows; when it cannot be made (or there is no file) the placeholder stays,
// without the spinner. Cells keep no picture of their own: scaled copies live in a small shared
// cache, so scrolling through hundreds of photos does not hold hundreds of pictures.
class VeskTimelineThumbnail : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxWidth = 390;
    static constexpr int kMaxHeight = 260;

    enum class State { Loading, Shown, Failed };

    explicit VeskTimelineThumbnail(VeskTimelineMediaCache& cache, QWidget* parent = nullptr);

    // Shows the preview of the file at path (an item's managed file); none keeps the placeholder.
    void setPath(const std::optional<QString>& path);
    const std::optional<QString>& path() const { return m_path; }

    State state() const { return m_state; }

    QSize sizeHint() const override { return QSize(kMaxWidth, kMaxHeight); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void reload();
    void request();
    void setState(State state);
    // The preview scaled for this cell, from the shared cache or made from the media cache's
    // preview; null when the media cache no longer holds it.
    QPixmap scaledPreview(QRectF& target);

    VeskTimelineMediaCache& m_cache;
    std::optional<QString> m_path;
    State m_state = State::Loading;
    bool m_requested = false;
    BusyIndicator* m_spinner;
    // Completions of an earlier path are ignored.
    quint64 m_generation = 0;
};

} // namespace vesk
