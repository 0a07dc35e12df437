#include "platform/AppPaths.h"

#include <QDir>
#include <QStandardPaths>

namespace vesk {

namespace {
QString fromEnvironment(const char* name)
{
    const QString value = qEnvironmentVariable(name);
    // Absolute from the start: a relative folder would make every stored path depend on the
    // folder Vesk happened to be started from.
    return value.trimmed().isEmpty() ? QString() : QDir::cleanPath(QDir(value).absolutePath());
}
} // namespace

QString AppPaths::dataDirectory()
{
    if (const QString dir = fromEnvironment("VESK_DATA_DIR"); !dir.isEmpty())
        return dir;
    // GenericDataLocation is $XDG_DATA_HOME (~/.local/share) without the application name.
    return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Vesk");
}

QString AppPaths::configDirectory()
{
    if (const QString dir = fromEnvironment("VESK_CONFIG_DIR"); !dir.isEmpty())
        return dir;
    return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

QString AppPaths::cloudDirectory()
{
    if (const QString dir = fromEnvironment("VESK_CLOUD_DIR"); !dir.isEmpty())
        return dir;
    return QDir::cleanPath(QDir::homePath() + "/VeskCloud");
}

bool AppPaths::ensureDirectory(const QString& path)
{
    return QDir().mkpath(path);
}

} // namespace vesk
