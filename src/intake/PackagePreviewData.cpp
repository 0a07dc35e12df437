#include "intake/PackagePreviewData.h"

#include "intake/FileStability.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace vesk {

namespace {

// The file an event names, as far as it stays inside the package.
std::optional<QString> eventFile(const QString& package, const std::optional<QString>& relativePath)
{
    if (!relativePath || relativePath->isEmpty())
        return std::nullopt;
    const PackagePath resolved = resolvePackagePath(package, *relativePath);
    if (resolved.where == PackagePath::Where::Outside)
        return std::nullopt;
    // A missing file keeps its place: its row shows what a missing file shows. A pipe or device
    // would hold up whatever reads it.
    if (resolved.where == PackagePath::Where::Inside && !regularFileStamp(resolved.path)
        && !QFileInfo(resolved.path).isDir())
        return std::nullopt;
    return resolved.path;
}

QStringList listMedia(const QString& package)
{
    struct Entry {
        QString path;
        QDateTime created;
    };
    QList<Entry> entries;
    // Hidden entries are left out by the listing itself.
    const QFileInfoList listed = QDir(package + QStringLiteral("/media"))
                                     .entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& info : listed) {
        if (!isActivityPhotoName(info.fileName()))
            continue;
        const PackagePath resolved = resolvePackagePath(package, QStringLiteral("media/") + info.fileName());
        if (resolved.where != PackagePath::Where::Inside)
            continue;
        entries.append({resolved.path, info.birthTime()});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        // Without a creation date a file counts as made in the distant past.
        if (!a.created.isValid())
            return b.created.isValid();
        return b.created.isValid() && a.created < b.created;
    });
    QStringList paths;
    for (const Entry& entry : std::as_const(entries))
        paths.append(entry.path);
    return paths;
}

} // namespace

QStringList loadPhotoNotePackage(const std::optional<QString>& filePath)
{
    if (!filePath || filePath->isEmpty())
        return {};
    const QString package = QDir::cleanPath(*filePath);
    const std::optional<QByteArray> json = readSmallFile(package + QStringLiteral("/note.json"));
    const std::optional<PhotoNoteManifest> manifest = json ? decodePhotoNoteManifest(*json) : std::nullopt;
    if (!manifest || manifest->schemaVersion != 1 || manifest->kind != QLatin1String("note"))
        return {};
    QStringList photos;
    for (const QString& entry : manifest->attachments) {
        if (!entry.startsWith(QLatin1String("media/"))
            || entry.split(QLatin1Char('/'), Qt::SkipEmptyParts).contains(QLatin1String("..")))
            continue;
        const PackagePath resolved = resolvePackagePath(package, entry);
        if (resolved.where == PackagePath::Where::Inside)
            photos.append(resolved.path);
    }
    return photos;
}

VeskActivityPackageData loadActivityPackage(const QString& path)
{
    VeskActivityPackageData data;
    const QString package = QDir::cleanPath(path);
    data.packagePath = package;
    if (const std::optional<QByteArray> json = readSmallFile(package + QStringLiteral("/activity.json")))
        data.manifest = decodeVeskActivityManifest(*json);
    if (data.manifest && data.manifest->events) {
        for (VeskActivityTimelineEvent& event : *data.manifest->events)
            event.filePath = eventFile(package, event.relativePath);
    }
    data.mediaPaths = listMedia(package);
    return data;
}

bool isActivityPhotoName(const QString& fileName)
{
    static const QStringList extensions{QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"),
                                        QStringLiteral("heic"), QStringLiteral("heif"), QStringLiteral("tif"),
                                        QStringLiteral("tiff"), QStringLiteral("gif"), QStringLiteral("webp")};
    return extensions.contains(QFileInfo(fileName).suffix().toLower());
}

std::optional<QDateTime> parseInternetDateTime(const QString& text)
{
    static const QRegularExpression form(QStringLiteral(
        R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(\.\d+)?(Z|[+-]\d{2}:\d{2})$)"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    // Qt reads at most milliseconds: longer fractions are cut to three digits first.
    QString normalised = text;
    if (match.capturedLength(1) > 4)
        normalised.replace(match.capturedStart(1), match.capturedLength(1), match.captured(1).left(4));
    const QDateTime parsed = QDateTime::fromString(normalised, Qt::ISODateWithMs);
    if (!parsed.isValid())
        return std::nullopt;
    return parsed;
}

} // namespace vesk
