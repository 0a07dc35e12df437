#pragma once
// The secure items' decorations: the shield glyph and the "SECURE" and "CREDIT CARD" capsules,
// placed by the composer, the preview and the edit sheet.

#include <QWidget>

namespace vesk {

// The lock-shield symbol at a font size of `size` points on a softly lit disc; the square it
// occupies is 18 points wider than the symbol.
class SecureShieldGlyph : public QWidget {
    Q_OBJECT
public:
    explicit SecureShieldGlyph(qreal size, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal m_size;
};

// A capsule badge: a short upper-case title, optionally after a symbol, on a gradient.
class SecureCapsuleBadge : public QWidget {
    Q_OBJECT
public:
    QSize sizeHint() const override;
    QString title() const { return m_title; }
    bool isCompact() const { return m_compact; }

protected:
    struct Look {
        QString title;
        QString symbol;      // empty: title only
        qreal fontSize;
        qreal tracking;
        QColor from;
        QColor to;
        bool diagonal;
        QColor glow;
    };
    SecureCapsuleBadge(Look look, bool compact, QWidget* parent);
    void paintEvent(QPaintEvent* event) override;

private:
    QFont titleFont() const;
    QSize capsuleSize() const;

    Look m_look;
    QString m_title;
    bool m_compact;
};

// "SECURE" in green.
class SecureStatusBadge : public SecureCapsuleBadge {
    Q_OBJECT
public:
    explicit SecureStatusBadge(bool compact, QWidget* parent = nullptr);
};

// "CREDIT CARD" with a card symbol, in blue.
class CreditCardStatusBadge : public SecureCapsuleBadge {
    Q_OBJECT
public:
    explicit CreditCardStatusBadge(bool compact, QWidget* parent = nullptr);
};

} // namespace vesk
