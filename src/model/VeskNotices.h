#pragma once

#include <QString>
#include <QUuid>
#include <optional>

namespace vesk {

enum class VeskIntakeNoticeKind { Captured, Duplicate, Version };

// A transient message after an intake or a save; the store publishes at most one at a time.
struct VeskIntakeNotice {
    QUuid id;
    VeskIntakeNoticeKind kind = VeskIntakeNoticeKind::Captured;
    QString title;
    std::optional<QString> detail;
    // The item the notice points at, when there is one.
    std::optional<QUuid> relatedID;

    friend bool operator==(const VeskIntakeNotice&, const VeskIntakeNotice&) = default;
};

enum class VeskBringBackNoticeKind { Scheduled, Returned, Cancelled };

// A transient Bring Back message.
struct VeskBringBackNotice {
    QUuid id;
    VeskBringBackNoticeKind kind = VeskBringBackNoticeKind::Scheduled;
    QUuid itemID;
    QString title;
    std::optional<QString> detail;

    friend bool operator==(const VeskBringBackNotice&, const VeskBringBackNotice&) = default;
};

} // namespace vesk
