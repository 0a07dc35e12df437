#pragma once
// The welcome surface shown while the library holds no items: it invites a drop or a text note
// and draws a dashed outline while a drag hovers over the window. The drop itself is the
// window's; this view only shows MainWindowState::isTargeted.

#include <QWidget>

class QPushButton;
class QVariantAnimation;

namespace vesk {

class MainWindowState;

class CaptureDropZone : public QWidget {
    Q_OBJECT
public:
    explicit CaptureDropZone(MainWindowState& state, QWidget* parent = nullptr);

    QPushButton* createTextButton() const { return m_createText; }
    // 0 (clear) ... 1 (accent outline), following isTargeted with a short ease-out.
    qreal outlineProgress() const { return m_outline; }

    static constexpr qreal outlineInset = 28;
    static constexpr qreal outlineRadius = 28;

signals:
    // "Create a text Vesk": the window opens the text composer with an empty draft.
    void openTextCaptureRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refreshColors();

    MainWindowState& m_state;
    QWidget* m_medallion = nullptr;
    QPushButton* m_createText = nullptr;
    QVariantAnimation* m_outlineAnimation = nullptr;
    qreal m_outline = 0.0;
};

} // namespace vesk
