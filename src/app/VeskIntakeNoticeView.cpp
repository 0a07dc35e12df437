#include "app/VeskIntakeNoticeView.h"

#include "platform/ui/Theme.h"

namespace vesk {

VeskIntakeNoticeView::VeskIntakeNoticeView(const VeskIntakeNotice& notice, QWidget* parent)
    : NoticeBanner({symbolFor(notice.kind), symbolColor(), NoticeBannerLook::Outline::Primary, 0.08},
                   notice.title, notice.detail, parent)
    , m_notice(notice)
{
}

QString VeskIntakeNoticeView::symbolFor(VeskIntakeNoticeKind kind)
{
    switch (kind) {
    case VeskIntakeNoticeKind::Captured: return QStringLiteral("checkmark.circle.fill");
    case VeskIntakeNoticeKind::Duplicate: return QStringLiteral("arrow.uturn.backward.circle.fill");
    case VeskIntakeNoticeKind::Version: return QStringLiteral("square.stack.3d.up.fill");
    }
    return QStringLiteral("checkmark.circle.fill");
}

QColor VeskIntakeNoticeView::symbolColor()
{
    return Theme::rgb(0.32, 0.7, 1.0);
}

} // namespace vesk
