#pragma once
// The main window's 96-point header: its layered background, the wordmark block, the search
// capsule and the controls area on the leading side, and a trailing slot (the appearance switch).
// Hovering the controls or the capsule brightens the header (MainWindowState::memoryControlsNearby).

#include <QWidget>

class QHBoxLayout;

namespace vesk {

class VeskStore;
class MainWindowState;
class SearchField;
class SpringAnimator;

class HeaderBar : public QWidget {
    Q_OBJECT
public:
    HeaderBar(VeskStore& store, MainWindowState& state, QWidget* parent = nullptr);

    static constexpr int barHeight = 96;
    static constexpr int groupHeight = 76;
    static constexpr int edgePadding = 22;
    static constexpr int wordmarkWidth = 280;
    static constexpr int wordmarkToSearchGap = 32;
    static constexpr int searchToControlsGap = 12;
    static constexpr int trailingSlotWidth = 132;

    SearchField* searchField() const { return m_searchField; }
    // The controls strip; its menus and buttons are placed here.
    QWidget* controlsArea() const { return m_controls; }
    void setControls(QWidget* controls);
    // The trailing slot, 132 points wide, for the appearance switch.
    void setTrailingWidget(QWidget* widget);

    // 0 when the pointer is away from the controls, 1 when near; follows a spring.
    qreal nearbyProgress() const { return m_nearby; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void placeTrailingWidget();
    void updateHover();
    void watchHover(QWidget* widget);

    MainWindowState& m_state;
    SearchField* m_searchField = nullptr;
    QWidget* m_wordmark = nullptr;
    QWidget* m_controls = nullptr;
    QWidget* m_trailingSlot = nullptr;
    QWidget* m_trailingWidget = nullptr;
    QHBoxLayout* m_leadingRow = nullptr;
    SpringAnimator* m_nearbyAnimator = nullptr;
    qreal m_nearby = 0.0;
    bool m_searchHovered = false;
    bool m_controlsHovered = false;
};

// The wordmark and the tagline "A place to rediscover your life.", following the appearance.
class WordmarkBlock : public QWidget {
    Q_OBJECT
public:
    explicit WordmarkBlock(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vesk
