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

// Something the user asked for that did not happen: an item that could not be written, a file
// that could not be imported, a setting that was not kept. Unlike the transient notices it stays
// until the user dismisses it. Failures of the same title gather into one notice; one of another
// title waits behind the notice shown and comes when that one is dismissed.
struct VeskFailureNotice {
    QUuid id;
    // What was not done, in a few words ("Not saved", "Not imported").
    QString title;
    // What and why, in plain words; when several gathered, each of the first few on a line of its own.
    QString detail;
    // How many failures of this title the notice stands for.
    int count = 1;
    // How many of them the detail names; the rest are only counted.
    int named = 1;

    friend bool operator==(const VeskFailureNotice&, const VeskFailureNotice&) = default;
};

// How far a large file import has got; the intake notice shows it as a bar while it runs.
struct VeskImportProgress {
    // The import, as its new item's identifier.
    QUuid importID;
    // The file's name as shown.
    QString name;
    qint64 bytesDone = 0;
    qint64 bytesTotal = 0;

    friend bool operator==(const VeskImportProgress&, const VeskImportProgress&) = default;
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
