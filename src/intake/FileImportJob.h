#pragma once

#include "model/VeskItem.h"
#include "platform/CancellationToken.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <functional>
#include <optional>

namespace vesk {

// The size and content hash of a kept managed file, known in memory beside the items so that a
// new import never has to look at every kept file on disk.
struct KeptFileFacts {
    qint64 size = -1;   // -1 while not known
    QString sha256;     // empty while not known

    friend bool operator==(const KeptFileFacts&, const KeptFileFacts&) = default;
};

// A kept item that holds a managed file, as an import compares its file with it.
struct KeptFile {
    QUuid id;
    QString title;
    QString path;
};

// Everything one file import needs, taken on the main thread when the import begins.
struct FileImportRequest {
    // The source as the file system's bytes: names in any encoding can be read.
    QByteArray sourceNative;
    QString itemsDirectory;
    // The new item's identifier; it names the copy's folder.
    QUuid id;
    // The library's items that hold a managed file (the only ones a file can duplicate or be a
    // version of), in list order, as they stood when the import began, with what is known of
    // their files.
    QList<KeptFile> keptFiles;
    QHash<QUuid, KeptFileFacts> keptFacts;
    CancellationToken cancel;
    // Bytes copied so far and the total, called on the importing thread.
    std::function<void(qint64 done, qint64 total)> progress;
};

struct FileImportResult {
    enum class Outcome {
        Imported,
        // The same content is already kept (duplicateOf); nothing was copied.
        Duplicate,
        // Nothing is at the path.
        Missing,
        Failed,
        Cancelled,
    };
    Outcome outcome = Outcome::Failed;
    // The source path as text (for log lines) and its name as shown.
    QString sourcePath;
    QString sourceName;
    // Why it failed: the system's text for the log, and plain words for the user.
    QString error;
    QString reason;
    std::optional<QUuid> duplicateOf;
    std::optional<QUuid> relatedVersion;
    QString managedPath;
    bool isFolder = false;
    bool isImage = false;
    // The searchable parts (names, type, size, dates, then the text read from the copy).
    QStringList searchableParts;
    std::optional<QString> sha256;
    qint64 size = -1;
    // Sizes and hashes of kept files that the import had to find out.
    QHash<QUuid, KeptFileFacts> learnedFacts;
    // The facts the import was handed with those it learned and those of its own copy: a first
    // import after start-up learns the size of every kept file, and putting that together is a
    // worker's job, not the window's.
    QHash<QUuid, KeptFileFacts> knownFacts;
    // The kept files compared with, when the import read them from the library itself.
    QList<KeptFile> keptFiles;
};

// Adds what was learned of kept files to what was known.
void addLearnedFacts(QHash<QUuid, KeptFileFacts>& known, const QHash<QUuid, KeptFileFacts>& learned);

// Imports one file or folder, off the main thread: finds an exact duplicate among the kept files
// of equal size (hashing only those, and the source only when there is one), looks for a related
// version, copies the source into the managed folder in one read that also hashes it, and reads
// what it can of the copy for search. Touches no store.
FileImportResult runFileImport(const FileImportRequest& request);

// A file name given as bytes, as text: UTF-8 when it is, else each byte as Latin-1, so that a name
// written in an older encoding stays readable and never turns into replacement marks.
QString displayFileName(const QByteArray& nativeName);

} // namespace vesk
