#pragma once
// The banner of the store's intake notice ("Already in Vesk", "Looks like another version",
// "Looks familiar", ...): the kind's symbol in light blue, the title, and the detail on one line
// shortened in the middle. It has no action; the window places it and clears the notice.

#include "app/NoticeBanner.h"
#include "model/VeskNotices.h"

#include <QColor>
#include <QString>

namespace vesk {

class VeskIntakeNoticeView : public NoticeBanner {
    Q_OBJECT
public:
    explicit VeskIntakeNoticeView(const VeskIntakeNotice& notice, QWidget* parent = nullptr);

    const VeskIntakeNotice& notice() const { return m_notice; }

    // "checkmark.circle.fill", "arrow.uturn.backward.circle.fill" or "square.stack.3d.up.fill".
    static QString symbolFor(VeskIntakeNoticeKind kind);
    static QColor symbolColor();

private:
    VeskIntakeNotice m_notice;
};

} // namespace vesk
