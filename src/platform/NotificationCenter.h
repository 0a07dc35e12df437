#pragma once
// Application-wide notifications by name, with no object and no payload: the global hot keys post
// them from the main thread and the main window reacts.

#include <QObject>
#include <QString>

namespace vesk {

// Posted by the summon-search hot key: bring the window forward with the search field focused.
inline const QString kSummonSearchNotification = QStringLiteral("VeskSummonSearch");
// Posted by the clipboard hot key: capture what the clipboard holds.
inline const QString kCaptureClipboardNotification = QStringLiteral("Vesk.CaptureClipboard");

class NotificationCenter : public QObject {
    Q_OBJECT
public:
    // The process-wide centre, created on first use.
    static NotificationCenter& shared();

    // Delivers `posted` synchronously to every connected receiver on the calling thread's turn;
    // posters call it on the main thread.
    void post(const QString& name);

signals:
    void posted(const QString& name);
};

} // namespace vesk
