#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>

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

    // Told, after the failure was logged, of every change that could not be written to the
    // settings file: the key and the reason in plain words. The store says it to the user.
    using WriteFailureHandler = std::function<void(const QString& key, const QString& reason)>;
    void setWriteFailureHandler(WriteFailureHandler handler) { m_writeFailureHandler = std::move(handler); }

protected:
    void reportWriteFailure(const QString& key, const QString& reason) const
    {
        if (m_writeFailureHandler)
            m_writeFailureHandler(key, reason);
    }

private:
    WriteFailureHandler m_writeFailureHandler;
};

// One INI file: $VESK_CONFIG_DIR/Vesk.conf, else the XDG config home's Vesk.conf.
//
// Every change is written, but not by the caller: a write and its flush to disk take up to tens
// of milliseconds, and some settings change with every click. The values are read once from the
// file when the object is made and answered from memory after that; each change goes, in order,
// to a writer thread that owns the file, and the changes that come while a write runs go into the
// next one. A write that fails is logged and reported on the thread that made the object. Use it
// from that thread only (the thread with the event loop).
class IniSettings final : public Settings {
public:
    IniSettings();
    explicit IniSettings(const QString& filePath);
    // Waits for the writes still to come, so that a normal quit loses nothing.
    ~IniSettings() override;

    IniSettings(const IniSettings&) = delete;
    IniSettings& operator=(const IniSettings&) = delete;

    QVariant value(const QString& key, const QVariant& fallback = {}) const override;
    void setValue(const QString& key, const QVariant& value) override;
    bool contains(const QString& key) const override;
    void remove(const QString& key) override;

    QString filePath() const;
    static QString defaultFilePath();

    // Returns once every change made so far is in the file (or has failed); a failure is then
    // waiting in the event queue for its report. For tests.
    void waitForWrites();

    // Keeps the values and writes them, on a thread of its own.
    class Writer;

private:
    // Records a change (a removal when value is empty) and has the writer write it.
    void change(const QString& key, std::optional<QVariant> value);

    std::unique_ptr<Writer> m_writer;
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
