#pragma once
// The building blocks of the People window: rounded panels, count tiles, text lines in the theme's
// type styles, small buttons, and the adaptive grid of unassigned faces.

#include "platform/ui/Theme.h"

#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;

namespace vesk {

// A widget that paints a continuous rounded rectangle behind its children: a fill of the primary
// colour at `fillOpacity` and, when `outlineOpacity` is above 0, a 0.8-point outline.
class RoundedPanel : public QWidget {
    Q_OBJECT
public:
    RoundedPanel(qreal radius, qreal fillOpacity, qreal outlineOpacity = 0, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal m_radius;
    qreal m_fillOpacity;
    qreal m_outlineOpacity;
};

// A figure over its label, taking all the width offered: "%lld" in title 3 bold with monospaced
// digits over the label in caption 2, secondary.
class CountTile : public RoundedPanel {
    Q_OBJECT
public:
    CountTile(qlonglong value, const QString& label, QWidget* parent = nullptr);
    qlonglong value() const { return m_value; }
    const QString& label() const { return m_label; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qlonglong m_value;
    QString m_label;
};

// A label in a text style and colour of the theme (read when made: the window rebuilds on an
// appearance change).
QLabel* styledLabel(const QString& text, TextStyle style, QFont::Weight weight, const QColor& colour,
                    QWidget* parent = nullptr);
// A button at the small control size; "bordered" or "prominent", with optional help text.
QPushButton* smallButton(const QString& text, const char* role, const QString& help = QString(),
                         QWidget* parent = nullptr);
// A horizontal hairline.
QWidget* divider(QWidget* parent = nullptr);

// Lays its children out as a centred grid of as many columns as fit: each column between
// `minimum` and `maximum` points wide (but never narrower than the widest child), `spacing` points
// between columns and rows, each child centred in its cell at its own size hint.
class AdaptiveGrid : public QWidget {
    Q_OBJECT
public:
    AdaptiveGrid(int minimum, int maximum, int spacing, QWidget* parent = nullptr);

    void addItem(QWidget* item);
    int columnCount() const { return columnsFor(width()); }
    int itemCount() const { return int(m_items.size()); }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int narrowestColumn() const;
    int columnsFor(int width) const;
    void place();

    int m_minimum;
    int m_maximum;
    int m_spacing;
    QList<QWidget*> m_items;
};

} // namespace vesk
