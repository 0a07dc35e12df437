#pragma once
// What happens in a few folders, as inotify reports it: entries created, moved, removed or
// touched, and files written. A file written to since it was last closed after writing (or moved
// in) is still being written, whichever process writes it; events for files in subfolders come
// only from subfolders watched themselves. Lives on the thread that made it.

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

class QSocketNotifier;

namespace vesk {

class FolderWriteEvents : public QObject {
    Q_OBJECT
public:
    explicit FolderWriteEvents(QObject* parent = nullptr);
    ~FolderWriteEvents() override;

    // Reports what happens directly in folder from now on; true when it is watched (already, or
    // now). False when inotify is not available or the folder cannot be watched.
    bool watch(const QString& folder);
    bool isWatching(const QString& folder) const { return m_watches.contains(folder); }
    // Reads the events that have arrived without waiting for the event loop, and says nothing of
    // them: a scan that is about to look at the folders calls it first.
    void catchUp() { readEvents(false); }
    // True when path, or a file below it, was written to and has not been closed since.
    bool isBeingWritten(const QString& path) const;

signals:
    // An entry of a watched folder was created, closed after writing, moved in or out, removed or
    // touched, or events were lost. Plain writes are not announced: their close is.
    void changed();

private:
    void readEvents(bool announce);
    void forgetBelow(const QString& folder);

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QHash<int, QString> m_folders;
    QHash<QString, int> m_watches;
    QSet<QString> m_beingWritten;
};

} // namespace vesk
