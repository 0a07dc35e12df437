#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <memory>

class QSettings;

namespace vesk {

// The user defaults: small view settings and JSON states. JSON states are kept as their exact
// bytes under their key, so what was written is what is read back.
class Settings {
public:
    virtual ~Settings() = default;

    virtual QVariant value(const QString& key, const QVariant& fallback = {}) const = 0;
    virtual void setValue(const QString& key, const QVariant& value) = 0;
    virtual bool contains(const QString& key) const = 0;
    virtual void remove(const QString& key) = 0;

    // Raw bytes (JSON documents). Missing keys give an empty array.
    QByteArray data(const QString& key) const { return value(key).toByteArray(); }
    void setData(const QString& key, const QByteArray& bytes) { setValue(key, bytes); }
};

// One INI file: $VESK_CONFIG_DIR/Vesk.conf, else the XDG config home's Vesk.conf.
class IniSettings final : public Settings {
public:
    IniSettings();
    explicit IniSettings(const QString& filePath);
    ~IniSettings() override;

    QVariant value(const QString& key, const QVariant& fallback = {}) const override;
    void setValue(const QString& key, const QVariant& value) override;
    bool contains(const QString& key) const override;
    void remove(const QString& key) override;

    QString filePath() const;
    static QString defaultFilePath();

private:
    std::unique_ptr<QSettings> m_settings;
};

// Settings held in memory only; for tests and for a store without a writable config folder.
class MemorySettings final : public Settings {
public:
    QVariant value(const QString& key, const QVariant& fallback = {}) const override
    {
        return m_values.value(key, fallback);
    }
    void setValue(const QString& key, const QVariant& value) override { m_values.insert(key, value); }
    bool contains(const QString& key) const override { return m_values.contains(key); }
    void remove(const QString& key) override { m_values.remove(key); }

private:
    QVariantMap m_values;
};

} // namespace vesk
