#include "platform/Settings.h"

#include "platform/AppPaths.h"

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
    m_settings->sync();
}

bool IniSettings::contains(const QString& key) const
{
    return m_settings->contains(key);
}

void IniSettings::remove(const QString& key)
{
    m_settings->remove(key);
    m_settings->sync();
}

QString IniSettings::filePath() const
{
    return m_settings->fileName();
}

} // namespace vesk
