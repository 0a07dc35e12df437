#include "intake/MobilePackages.h"

#include "intake/FileStability.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <cmath>

namespace vesk {

namespace {

bool hasExtension(const QString& path, QLatin1StringView extension)
{
    const QString name = QFileInfo(QDir::cleanPath(path)).fileName().toLower();
    return name.endsWith(QLatin1Char('.') + extension) && name.size() > extension.size() + 1;
}

bool isUnder(const QString& path, const QString& root)
{
    return path.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

std::optional<QJsonObject> parseObject(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

// Absent or null leaves the field empty; a value of another type spoils the manifest.
bool readOptionalText(const QJsonObject& object, const QString& key, std::optional<QString>& field)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isString())
        return false;
    field = value.toString();
    return true;
}

bool readInteger(const QJsonValue& value, qint64& out)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    // Out of range, the cast below would be undefined.
    if (!(std::abs(number) < 9.0e18) || number != static_cast<double>(static_cast<qint64>(number)))
        return false;
    out = static_cast<qint64>(number);
    return true;
}

std::optional<QStringList> textList(const QJsonValue& value)
{
    if (!value.isArray())
        return std::nullopt;
    QStringList list;
    for (const QJsonValue& entry : value.toArray()) {
        if (!entry.isString())
            return std::nullopt;
        list.append(entry.toString());
    }
    return list;
}

QJsonObject convertedKeys(const QJsonObject& object)
{
    QJsonObject converted;
    for (auto it = object.begin(); it != object.end(); ++it)
        converted.insert(camelCaseKey(it.key()), it.value());
    return converted;
}

bool readActivityFields(const QJsonObject& object, MobileActivityFields& fields)
{
    if (!readOptionalText(object, QStringLiteral("activityID"), fields.activityID)
        || !readOptionalText(object, QStringLiteral("title"), fields.title)
        || !readOptionalText(object, QStringLiteral("activityType"), fields.activityType)
        || !readOptionalText(object, QStringLiteral("startedAt"), fields.startedAt)
        || !readOptionalText(object, QStringLiteral("endedAt"), fields.endedAt)
        || !readOptionalText(object, QStringLiteral("summary"), fields.summary)
        || !readOptionalText(object, QStringLiteral("notes"), fields.notes)
        || !readOptionalText(object, QStringLiteral("locationSummary"), fields.locationSummary))
        return false;
    const QJsonValue count = object.value(QStringLiteral("captureCount"));
    if (count.isUndefined() || count.isNull())
        return true;
    qint64 value = 0;
    if (!readInteger(count, value))
        return false;
    fields.captureCount = value;
    return true;
}

} // namespace

bool hasNotePackageExtension(const QString& path) { return hasExtension(path, QLatin1StringView("vesknote")); }

bool hasActivityPackageExtension(const QString& path)
{
    return hasExtension(path, QLatin1StringView("veskactivity"));
}

QStringList packageRootPaths(const QStringList& paths)
{
    QSet<QString> seen;
    QStringList roots;
    for (const QString& path : paths) {
        const QString clean = QDir::cleanPath(path);
        const QStringList components = clean.split(QLatin1Char('/'));
        QString candidate = clean;
        for (qsizetype i = 0; i < components.size(); ++i) {
            const QString lower = components.at(i).toLower();
            if (lower.endsWith(QLatin1String(".veskactivity")) || lower.endsWith(QLatin1String(".vesknote"))) {
                candidate = components.mid(0, i + 1).join(QLatin1Char('/'));
                break;
            }
        }
        if (!seen.contains(candidate)) {
            seen.insert(candidate);
            roots.append(candidate);
        }
    }
    return roots;
}

PackagePath resolvePackagePath(const QString& packageRoot, const QString& relative)
{
    const QString root = QDir::cleanPath(packageRoot);
    if (relative.isEmpty() || QDir::isAbsolutePath(relative))
        return {PackagePath::Where::Outside, {}};
    const QString joined = QDir::cleanPath(root + QLatin1Char('/') + relative);
    if (!isUnder(joined, root))
        return {PackagePath::Where::Outside, {}};
    const QFileInfo info(joined);
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    if (!info.exists() && !info.isSymLink()) {
        // Missing, unless a folder on its way is a link out: a file made there later would be
        // outside the package.
        QString existing = QFileInfo(joined).path();
        while (!QFileInfo::exists(existing) && isUnder(existing, root))
            existing = QFileInfo(existing).path();
        const QString canonicalAncestor = QFileInfo(existing).canonicalFilePath();
        if (canonicalRoot.isEmpty()
            || (canonicalAncestor != canonicalRoot && !isUnder(canonicalAncestor, canonicalRoot)))
            return {PackagePath::Where::Outside, {}};
        return {PackagePath::Where::Missing, joined};
    }
    const QString canonical = info.canonicalFilePath();
    // A dangling link resolves to nothing: it can be trusted no more than one pointing out.
    if (canonicalRoot.isEmpty() || canonical.isEmpty() || !isUnder(canonical, canonicalRoot))
        return {PackagePath::Where::Outside, {}};
    return {PackagePath::Where::Inside, canonical};
}

QString camelCaseKey(const QString& key)
{
    if (!key.contains(QLatin1Char('_')))
        return key;
    qsizetype begin = 0;
    while (begin < key.size() && key.at(begin) == QLatin1Char('_'))
        ++begin;
    if (begin == key.size())
        return key;
    qsizetype end = key.size();
    while (end > begin && key.at(end - 1) == QLatin1Char('_'))
        --end;
    const QStringList pieces = key.mid(begin, end - begin).split(QLatin1Char('_'), Qt::SkipEmptyParts);
    QString result = key.left(begin);
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QString lower = pieces.at(i).toLower();
        result += i == 0 ? lower : lower.left(1).toUpper() + lower.mid(1);
    }
    return result + key.mid(end);
}

std::optional<MobileNoteManifest> decodeNoteManifest(const QByteArray& json)
{
    const std::optional<QJsonObject> object = parseObject(json);
    if (!object)
        return std::nullopt;
    MobileNoteManifest manifest;
    const auto text = [&](const char* key, QString& out) {
        const QJsonValue value = object->value(QLatin1String(key));
        if (!value.isString())
            return false;
        out = value.toString();
        return true;
    };
    if (!readInteger(object->value(QLatin1String("schemaVersion")), manifest.schemaVersion)
        || !text("kind", manifest.kind) || !text("noteID", manifest.noteID)
        || !text("createdAt", manifest.createdAt) || !text("text", manifest.text))
        return std::nullopt;
    const std::optional<QStringList> attachments = textList(object->value(QLatin1String("attachments")));
    if (!attachments)
        return std::nullopt;
    manifest.attachments = *attachments;
    return manifest;
}

std::optional<QStringList> decodeNoteAttachments(const QByteArray& json)
{
    const std::optional<QJsonObject> object = parseObject(json);
    if (!object)
        return std::nullopt;
    return textList(object->value(QLatin1String("attachments")));
}

std::optional<MobileActivityManifest> decodeActivityManifest(const QByteArray& json)
{
    const std::optional<QJsonObject> raw = parseObject(json);
    if (!raw)
        return std::nullopt;
    const QJsonObject object = convertedKeys(*raw);
    MobileActivityManifest manifest;
    if (!readActivityFields(object, manifest))
        return std::nullopt;
    const QJsonValue events = object.value(QStringLiteral("events"));
    if (!events.isUndefined() && !events.isNull()) {
        if (!events.isArray())
            return std::nullopt;
        for (const QJsonValue& entry : events.toArray()) {
            if (!entry.isObject())
                return std::nullopt;
            std::optional<QString> path;
            if (!readOptionalText(convertedKeys(entry.toObject()), QStringLiteral("relativePath"), path))
                return std::nullopt;
            manifest.eventPaths.append(path.value_or(QString()));
        }
    }
    return manifest;
}

std::optional<PhotoNoteManifest> decodePhotoNoteManifest(const QByteArray& json)
{
    const std::optional<QJsonObject> object = parseObject(json);
    if (!object)
        return std::nullopt;
    PhotoNoteManifest manifest;
    const QJsonValue kind = object->value(QLatin1String("kind"));
    const QJsonValue text = object->value(QLatin1String("text"));
    const std::optional<QStringList> attachments = textList(object->value(QLatin1String("attachments")));
    if (!readInteger(object->value(QLatin1String("schemaVersion")), manifest.schemaVersion) || !kind.isString()
        || !text.isString() || !attachments)
        return std::nullopt;
    manifest.kind = kind.toString();
    manifest.text = text.toString();
    manifest.attachments = *attachments;
    return manifest;
}

std::optional<VeskActivityManifest> decodeVeskActivityManifest(const QByteArray& json)
{
    const std::optional<QJsonObject> raw = parseObject(json);
    if (!raw)
        return std::nullopt;
    const QJsonObject object = convertedKeys(*raw);
    VeskActivityManifest manifest;
    if (!readActivityFields(object, manifest))
        return std::nullopt;
    const QJsonValue events = object.value(QStringLiteral("events"));
    if (events.isUndefined() || events.isNull())
        return manifest;
    if (!events.isArray())
        return std::nullopt;
    QList<VeskActivityTimelineEvent> timeline;
    for (const QJsonValue& entry : events.toArray()) {
        if (!entry.isObject())
            return std::nullopt;
        const QJsonObject fields = convertedKeys(entry.toObject());
        const QJsonValue eventID = fields.value(QStringLiteral("eventID"));
        const QJsonValue kind = fields.value(QStringLiteral("kind"));
        const QJsonValue createdAt = fields.value(QStringLiteral("createdAt"));
        if (!eventID.isString() || !kind.isString() || !createdAt.isString())
            return std::nullopt;
        VeskActivityTimelineEvent event;
        event.eventID = eventID.toString();
        event.kind = kind.toString();
        event.createdAt = createdAt.toString();
        if (!readOptionalText(fields, QStringLiteral("relativePath"), event.relativePath)
            || !readOptionalText(fields, QStringLiteral("text"), event.text))
            return std::nullopt;
        timeline.append(event);
    }
    manifest.events = timeline;
    return manifest;
}

bool containsWholeToken(const QString& text, const QString& token)
{
    if (token.isEmpty())
        return false;
    qsizetype from = 0;
    while (true) {
        const qsizetype at = text.indexOf(token, from);
        if (at < 0)
            return false;
        const qsizetype end = at + token.size();
        const bool startsToken = at == 0 || text.at(at - 1).isSpace();
        const bool endsToken = end == text.size() || text.at(end).isSpace();
        if (startsToken && endsToken)
            return true;
        from = at + 1;
    }
}

std::optional<QByteArray> readSmallFile(const QString& path, qint64 limit)
{
    // A FIFO or device would block or never end: only regular files are read.
    const QFileInfo info(path);
    const std::optional<FileStamp> stamp = regularFileStamp(info.canonicalFilePath());
    if (!stamp || stamp->size > limit)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.read(limit);
}

} // namespace vesk
