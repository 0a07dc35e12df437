#pragma once
// The header's library controls: a capsule strip holding the library menus and the "Secure" and
// "New Vesk" buttons. It brightens while the pointer is near (MainWindowState::memoryControlsNearby).

#include <QAbstractButton>
#include <QWidget>

class QHBoxLayout;

namespace vesk {

class MainWindowState;

// A capsule button in the glass style; the prominent one is filled with the accent colour.
class GlassButton : public QAbstractButton {
    Q_OBJECT
public:
    GlassButton(const QString& symbol, const QString& title, bool prominent, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QString symbol() const { return m_symbol; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString m_symbol;
    bool m_prominent;
    bool m_hovered = false;
};

class ControlsStrip : public QWidget {
    Q_OBJECT
public:
    explicit ControlsStrip(MainWindowState& state, QWidget* parent = nullptr);

    // The strip's tint: a light blue, brighter in the dark appearance.
    static QColor tint(bool dark);

    GlassButton* secureButton() const { return m_secure; }
    GlassButton* newVeskButton() const { return m_newVesk; }
    // The library menus go before the two buttons, in the order they are added.
    void addLeadingControl(QWidget* control);

signals:
    // "New Vesk": the window opens the text composer with an empty draft.
    void newVeskRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MainWindowState& m_state;
    QHBoxLayout* m_row = nullptr;
    int m_leadingCount = 0;
    GlassButton* m_secure = nullptr;
    GlassButton* m_newVesk = nullptr;
};

} // namespace vesk
