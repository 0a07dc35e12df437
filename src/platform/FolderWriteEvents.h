#pragma once
// What happens in a few folders, as inotify reports it: entries created, moved, removed or
// touched, and files opened, written and closed, whichever user's process does it. A file is
// still being written while it has been written to since it was last closed after writing, and
// also from its creation, or from any open not yet closed, until a close: a writer of another
// user, whose open files this user cannot look at, may open a file and write its first byte much
// later. Such an open tells no more than that someone holds the file (a reader looks the same),
// so it holds the file for a bounded time after the file's last event, and an empty file until
// its close (nothing is lost by leaving it, everything by taking it); a write holds it until the
// close. inotify merges two alike events in a row, so two closes can come as one: a file of
// this user that no process holds open then counts as closed. Events for files in subfolders come
// only from subfolders watched themselves. Lives on the thread that made it.

#include "platform/OpenFileWriters.h"

#include <QDir>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>

class QSocketNotifier;
class QTimer;

namespace vesk {

class FolderWriteEvents : public QObject {
    Q_OBJECT
public:
    struct Holding {
        // How long an open or a creation not yet closed, with no write since, holds its file
        // after the file's last event: longer than any writer is expected to prepare its first
        // byte (an archive of a large folder, say), short enough that a reader that keeps a file
        // open does not hold it for good.
        qint64 openHoldMs = 10 * 60 * 1000;
        // Milliseconds on a clock that never goes back; a steady clock when empty.
        std::function<qint64()> nowMs;
        // Which of the files asked about some process holds open in any way (filesOpen when
        // empty). Asked once for all the files of a read of events that need it: each ask reads
        // every process's open files.
        std::function<QSet<FileIdentity>(const QSet<FileIdentity>& files)> openFiles;
    };

    explicit FolderWriteEvents(QObject* parent = nullptr) : FolderWriteEvents(Holding{}, parent) {}
    explicit FolderWriteEvents(Holding holding, QObject* parent = nullptr);
    ~FolderWriteEvents() override;

    // Reports what happens directly in folder from now on; true when it is watched (already, or
    // now). False when inotify is not available or the folder cannot be watched.
    bool watch(const QString& folder);
    // Decides which subfolders created in a watched folder are watched from the event that
    // creates them (with every folder below them, and what is made in those later).
    using FollowNewSubfolder = std::function<bool(const QString& subfolder)>;
    bool watch(const QString& folder, FollowNewSubfolder follow);
    // True when path is a regular file whose creation in a watched folder the events reported
    // (under this name, or under another watched name it was moved from). Of a file made before
    // its folder was watched nothing tells whether its writer is done.
    bool sawCreation(const QString& path) const { return m_born.contains(QDir::cleanPath(path)); }
    bool isWatching(const QString& folder) const { return m_watches.contains(folder); }
    // Reads the events that have arrived without waiting for the event loop, and says nothing of
    // them: a scan that is about to look at the folders calls it first.
    void catchUp() { readEvents(false); }
    // True when path, or a file below it, is being written as described above. A name that is not
    // UTF-8 is known by its decoded form, so two such names may hold each other.
    bool isBeingWritten(const QString& path) const;

signals:
    // An entry of a watched folder was created, closed after writing, moved in or out, removed or
    // touched, a file stopped being held (its last opener closed it, or its hold ran out), or
    // events were lost. Opens and plain writes are not announced: their close is.
    void changed();

private:
    // What the events say of one file.
    struct Activity {
        // Opens not yet matched by a close.
        int opens = 0;
        // Created with this one name and not closed since.
        bool created = false;
        // Written to since its last close after writing.
        bool written = false;
        qint64 lastEventMs = 0;
        // The read of events that saw its latest open or creation.
        quint64 openedInRead = 0;
    };
    bool isHeld(const QString& path, const Activity& activity, qint64 now) const;
    // Ends the holds of files whose closes came merged; true when one of them was held.
    bool releaseMergedCloses(const QSet<QString>& paths, qint64 at);
    qint64 now() const;
    void readEvents(bool announce);
    void forgetBelow(const QString& folder);
    // A subfolder made in a followed folder: it and the folders already in it are watched.
    void followNewSubfolder(const QString& parent, const QString& subfolder);
    // The earliest end of a bounded hold wakes a look again.
    void armHoldTimer();
    void endLapsedHolds();

    Holding m_holding;
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_holdTimer = nullptr;
    QHash<int, QString> m_folders;
    QHash<QString, int> m_watches;
    QHash<QString, Activity> m_files;
    // Folders whose new subfolders are watched, with which ones.
    QHash<QString, FollowNewSubfolder> m_follow;
    // Files whose creation was reported.
    QSet<QString> m_born;
    quint64 m_reads = 0;
};

} // namespace vesk
