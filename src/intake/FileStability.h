#pragma once
// Whether a file has stopped changing: its size and modification time are the same as at the
// previous scan. Files still being written (copied in, synced down) are left for a later scan.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>

namespace vesk {

struct FileStamp {
    qint64 size = 0;
    qint64 modifiedNs = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The stamp of a regular file itself (a symbolic link, folder, FIFO or device has none); the file
// is never opened.
std::optional<FileStamp> regularFileStamp(const QByteArray& nativePath);
std::optional<FileStamp> regularFileStamp(const QString& path);

class StabilityTracker {
public:
    // Starts a scan: what the last scan saw becomes the reference.
    void beginScan();
    // True when path is a regular file that looked exactly so at the previous scan.
    bool isStable(const QString& path);

private:
    QHash<QString, FileStamp> m_previous;
    QHash<QString, FileStamp> m_current;
};

} // namespace vesk
