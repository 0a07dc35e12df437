#pragma once
// The floating view of the store's failure notice: something the user asked for did not happen.
// It looks unlike the transient notices (a warning symbol and edge in the failure colour, the
// whole reason wrapped over several lines, a count of further failures of the same kind) and it
// has a dismiss button, because it stays until the user has read it.

#include "app/ActionNoticeCard.h"
#include "model/VeskNotices.h"

namespace vesk {

class FailureNoticeView : public ActionNoticeCard {
    Q_OBJECT
public:
    explicit FailureNoticeView(const VeskFailureNotice& notice, QWidget* parent = nullptr);

    const VeskFailureNotice& notice() const { return m_notice; }
    // Shows a newer state of the same notice (more failures, a newer detail) in place.
    void setNotice(const VeskFailureNotice& notice);
    // "1 more like it", "2 more like it" for the failures the detail does not name; empty when it
    // names them all.
    static QString countLine(const VeskFailureNotice& notice);
    // What the card draws, line by line: the title, the failures the detail names as far as they
    // fit, each whole, and a count of the rest ("3 more like it"), those it names and those it
    // does not: the names shown and the count add up to every failure.
    QStringList shownLines() const;
    QStringList shownDetailLines() const;
    QString shownCountLine() const;

    QAbstractButton* dismissButton() const { return closeButton(); }
    QSize sizeHint() const override;

    static constexpr int textWidth = 300;

signals:
    void dismissRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    VeskFailureNotice m_notice;
};

} // namespace vesk
