#pragma once

#include <QTextDocument>
#include <QTextEdit>
#include <array>
#include <memory>

namespace vesk {

// Selectable plain text that wraps at word boundaries, and inside a word too long for a line, so
// a long address or token never widens the pane. It is as tall as its wrapped text, or as
// `maxLines` lines when that is less; wheel turns go to the pane, which does the scrolling.
class WrappingText : public QTextEdit {
    Q_OBJECT
public:
    WrappingText(const QString& text, const QFont& font, const QColor& colour, int maxLines = 0,
        QWidget* parent = nullptr);

    // The whole text, also when its shown lines end in "…".
    QString text() const { return m_fullText; }
    void setText(const QString& text);
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Shows the text cut after its last allowed line with "…", or whole when it fits.
    void elideToWidth(int width);

    // The width the box layouts between it and its nearest placed ancestor will give it, for
    // a widget not placed yet; 0 when no ancestor is placed.
    int placedWidth() const;

    // Keeps the shaped lines of the text on show for its paintings.
    void keepShapedLines();

    // Forgets the heights measured for the text shown before.
    void forgetMeasurements() const;

    QString m_fullText;
    int m_maxLines;
    int m_elidedWidth = -1;
    // The pane's layout asks for the same few widths over and over (with and without its scroll
    // bar, before and after the widget has its place): each is measured once per shown text, on
    // one copy of the document kept for measuring.
    struct Measured {
        int width = -1;
        int height = 0;
    };
    mutable std::array<Measured, 4> m_measured;
    mutable int m_nextMeasured = 0;
    mutable std::unique_ptr<QTextDocument> m_probe;
};

} // namespace vesk
