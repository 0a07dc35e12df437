#include "intake/FileImportJob.h"

#include "intake/FileIntakeSupport.h"
#include "intake/ManagedStorage.h"
#include "intake/VersionKey.h"
#include "platform/Sha256.h"

#include <QFile>
#include <QStringDecoder>
#include <cerrno>
#include <algorithm>
#include <sys/stat.h>

namespace vesk {

namespace {

QByteArray withoutTrailingSlashes(QByteArray path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

struct Candidate {
    QUuid id;
    QString path;
    KeptFileFacts facts;
};

} // namespace

QString displayFileName(const QByteArray& nativeName)
{
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString decoded = utf8.decode(nativeName);
    if (!utf8.hasError())
        return decoded;
    return QString::fromLatin1(nativeName);
}

void addLearnedFacts(QHash<QUuid, KeptFileFacts>& known, const QHash<QUuid, KeptFileFacts>& learned)
{
    for (auto it = learned.cbegin(); it != learned.cend(); ++it) {
        KeptFileFacts& facts = known[it.key()];
        if (it->size >= 0)
            facts.size = it->size;
        if (!it->sha256.isEmpty())
            facts.sha256 = it->sha256;
    }
}

namespace {

FileImportResult importOnce(const FileImportRequest& request)
{
    FileImportResult result;
    const QByteArray source = withoutTrailingSlashes(request.sourceNative);
    result.sourcePath = QFile::decodeName(source);
    result.sourceName = displayFileName(source.mid(source.lastIndexOf('/') + 1));

    struct stat status {};
    if (::stat(source.constData(), &status) != 0) {
        const int code = errno;
        result.outcome = code == ENOENT || code == ENOTDIR ? FileImportResult::Outcome::Missing
                                                           : FileImportResult::Outcome::Failed;
        const IoFailure failure = IoFailure::reading(code);
        result.error = failure.logText();
        result.reason = code == ENOENT || code == ENOTDIR ? QStringLiteral("it is no longer there") : failure.plainWords();
        return result;
    }
    result.isFolder = S_ISDIR(status.st_mode);
    if (!result.isFolder && !S_ISREG(status.st_mode)) {
        result.error = QStringLiteral("not a regular file or folder");
        result.reason = QStringLiteral("it is not a file or folder (a pipe or a device)");
        return result;
    }

    // Duplicate test: only kept files of the same size can hold the same bytes, so only they
    // (and then the source) are hashed. Sizes not yet known are found out once and handed back.
    std::optional<QString> sourceHash;
    if (!result.isFolder) {
        result.size = qint64(status.st_size);
        QList<Candidate> sameSize;
        for (const KeptFile& file : request.keptFiles) {
            if (request.cancel.isCancelled())
                break;
            KeptFileFacts facts = request.keptFacts.value(file.id);
            if (facts.size < 0) {
                struct stat kept {};
                if (::stat(QFile::encodeName(file.path).constData(), &kept) != 0 || !S_ISREG(kept.st_mode))
                    continue;
                facts.size = qint64(kept.st_size);
                result.learnedFacts[file.id].size = facts.size;
            }
            if (facts.size == result.size)
                sameSize.append({file.id, file.path, facts});
        }
        if (!sameSize.isEmpty() && !request.cancel.isCancelled()) {
            sourceHash = sha256HexOfNativeFile(source, &request.cancel);
            for (const Candidate& candidate : std::as_const(sameSize)) {
                if (!sourceHash)
                    break;
                // A kept item whose copy is gone is no duplicate.
                const QByteArray keptPath = QFile::encodeName(candidate.path);
                if (::access(keptPath.constData(), F_OK) != 0)
                    continue;
                QString keptHash = candidate.facts.sha256;
                if (keptHash.isEmpty()) {
                    const std::optional<QString> computed = sha256HexOfNativeFile(keptPath, &request.cancel);
                    if (!computed)
                        continue;
                    keptHash = *computed;
                    result.learnedFacts[candidate.id] = KeptFileFacts{candidate.facts.size, keptHash};
                }
                if (keptHash == *sourceHash) {
                    result.outcome = FileImportResult::Outcome::Duplicate;
                    result.duplicateOf = candidate.id;
                    result.sha256 = sourceHash;
                    return result;
                }
            }
        }
        if (request.cancel.isCancelled()) {
            result.outcome = FileImportResult::Outcome::Cancelled;
            return result;
        }
        if (const std::optional<VersionFamily> family = versionFamilyOf(result.sourceName)) {
            const auto related = std::find_if(request.keptFiles.cbegin(), request.keptFiles.cend(),
                [&](const KeptFile& file) { return isOfVersionFamily(*family, file.title, file.path); });
            if (related != request.keptFiles.cend())
                result.relatedVersion = related->id;
        }
    }

    ManagedCopyOptions options;
    options.hashContent = !result.isFolder && !sourceHash;
    options.cancel = request.cancel;
    const qint64 total = result.isFolder ? -1 : result.size;
    if (request.progress) {
        options.progress = [&request, total](qint64 done) { request.progress(done, total); };
        request.progress(0, total);
    }
    auto copied = copyIntoManagedStorage(source, result.sourceName, request.itemsDirectory, request.id, options);
    if (!copied) {
        if (request.cancel.isCancelled()) {
            result.outcome = FileImportResult::Outcome::Cancelled;
            return result;
        }
        result.error = copied.error().logText();
        result.reason = copied.error().plainWords();
        return result;
    }
    result.managedPath = copied->path;
    result.sha256 = sourceHash ? sourceHash : copied->sha256;

    // What search can read of the copy: names, type, size, dates, and the text of text and HTML.
    const FileResourceValues values = readResourceValues(result.managedPath);
    result.isImage = countsAsImage(result.managedPath, values.contentType);
    result.searchableParts = fileSearchableParts(result.sourceName, values);
    result.searchableParts += fileTextParts(result.managedPath, values.contentType);
    result.outcome = FileImportResult::Outcome::Imported;
    return result;
}

} // namespace

FileImportResult runFileImport(const FileImportRequest& request)
{
    FileImportResult result = importOnce(request);
    if (!result.learnedFacts.isEmpty() || (result.outcome == FileImportResult::Outcome::Imported && !result.isFolder)) {
        result.knownFacts = request.keptFacts;
        addLearnedFacts(result.knownFacts, result.learnedFacts);
        if (result.outcome == FileImportResult::Outcome::Imported && !result.isFolder)
            result.knownFacts.insert(request.id, KeptFileFacts{result.size, result.sha256.value_or(QString())});
    }
    return result;
}

} // namespace vesk
