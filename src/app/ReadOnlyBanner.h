#pragma once
// The strip under the header of a library that was opened for reading only: it says why nothing
// can be changed ("The disk is full: Vesk opened your library read-only."). Everything else of
// the window works as usual; each refused change is said by the failure notice.

#include <QWidget>

namespace vesk {

class ReadOnlyBanner : public QWidget {
    Q_OBJECT
public:
    // reason in plain words, as the store gives it ("the disk is full").
    explicit ReadOnlyBanner(const QString& reason, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    // "The disk is full: Vesk opened your library read-only."
    static QString textFor(const QString& reason);

    static constexpr int barHeight = 30;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
};

} // namespace vesk
