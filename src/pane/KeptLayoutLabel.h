#pragma once

#include <QLabel>

#include <memory>

class QTextLayout;

namespace vesk {

// A label that keeps its line laid out from one paint to the next. The pane paints its captions,
// dates and headers again for every item shown, and a plain label shapes its text anew at each
// paint. A one-line plain text is drawn from the kept line, to the same pixels as the label would
// draw; anything else (a picture, rich or wrapped text, a frame) is drawn by the label itself.
class KeptLayoutLabel : public QLabel {
    Q_OBJECT
public:
    explicit KeptLayoutLabel(const QString& text, QWidget* parent = nullptr);
    ~KeptLayoutLabel() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool drawsItself() const;

    std::unique_ptr<QTextLayout> m_line;
    QString m_lineText;
    QFont m_lineFont;
    // Points become pixels at the screen's resolution: a window moved to another screen lays out anew.
    int m_lineDpi = 0;
};

} // namespace vesk
