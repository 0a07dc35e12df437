#pragma once

#include <QPointer>
#include <QUuid>
#include <QWidget>

namespace vesk {

class VeskStore;

// A face cut from its photo, `side` points square with rounded corners, or a placeholder while
// the store has no preview for it. It asks the store for the preview each time it paints, so a
// preview that arrives later (previews are cut off the main thread) shows at the next paint;
// facePreviewsChanged() asks for that paint.
class FaceTile : public QWidget {
    Q_OBJECT
public:
    FaceTile(VeskStore& store, const QUuid& faceID, int side, QWidget* parent = nullptr);

    const QUuid& faceID() const { return m_faceID; }
    // True while the tile shows a preview rather than the placeholder (as of its last paint).
    bool showsPreview() const { return m_showsPreview; }

    QSize sizeHint() const override { return QSize(m_side, m_side); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<VeskStore> m_store;
    QUuid m_faceID;
    int m_side;
    bool m_showsPreview = false;
};

} // namespace vesk
