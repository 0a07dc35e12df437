#include "platform/Settings.h"

#include "platform/AppPaths.h"
#include "platform/Log.h"

#include <QSettings>

namespace vesk {

QString IniSettings::defaultFilePath()
{
    return AppPaths::configDirectory() + QStringLiteral("/Vesk.conf");
}

IniSettings::IniSettings() : IniSettings(defaultFilePath()) {}

IniSettings::IniSettings(const QString& filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
}

IniSettings::~IniSettings() = default;

QVariant IniSettings::value(const QString& key, const QVariant& fallback) const
{
    return m_settings->value(key, fallback);
}

void IniSettings::setValue(const QString& key, const QVariant& value)
{
    m_settings->setValue(key, value);
    syncAndCheck(key);
}

bool IniSettings::contains(const QString& key) const
{
    return m_settings->contains(key);
}

void IniSettings::remove(const QString& key)
{
    m_settings->remove(key);
    syncAndCheck(key);
}

void IniSettings::syncAndCheck(const QString& key)
{
    m_settings->sync();
    const QSettings::Status status = m_settings->status();
    if (status == QSettings::NoError)
        return;
    const QString reason = status == QSettings::AccessError
        ? QStringLiteral("the settings file could not be written")
        : QStringLiteral("the settings file is not in a form Vesk can read");
    veskLog(QStringLiteral("Vesk settings save error for ") + m_settings->fileName() + QStringLiteral(": ") + reason);
    reportWriteFailure(key, reason);
}

QString IniSettings::filePath() const
{
    return m_settings->fileName();
}

} // namespace vesk
