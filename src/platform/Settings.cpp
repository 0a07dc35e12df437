#include "platform/Settings.h"

#include "platform/AppPaths.h"
#include "platform/FutureDelivery.h"
#include "platform/Log.h"
#include "platform/SerialExecutor.h"

#include <QCoreApplication>
#include <QEvent>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QSemaphore>
#include <QSet>
#include <QSettings>
#include <QStringList>
#include <QVariantMap>

namespace vesk {

namespace {

// The key as QSettings keeps it: no leading, trailing or doubled slashes.
QString normalizedKey(const QString& key)
{
    if (!key.contains(QLatin1Char('/')))
        return key;
    return key.split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('/'));
}

struct Change {
    QString key;
    std::optional<QVariant> value; // none: the key was removed
};

// The keys of a write that did not reach the file, and why.
struct WriteFailure {
    QStringList keys;
    QString reason;
};

// Every writer alive in the process. The application's end waits for all of them: an object that
// lives until the process exits (the theme) may hold the settings, whose destructor then never runs.
QMutex& liveWritersMutex()
{
    static QMutex mutex;
    return mutex;
}

QSet<IniSettings::Writer*>& liveWriters()
{
    static QSet<IniSettings::Writer*> writers;
    return writers;
}

void waitForEveryWriter();

} // namespace

class IniSettings::Writer {
public:
    explicit Writer(const QString& filePath)
    {
        // Read once here; from now on the values in memory are the ones the file is made to hold.
        const QSettings file(filePath, QSettings::IniFormat);
        m_filePath = file.fileName();
        const QStringList keys = file.allKeys();
        for (const QString& key : keys)
            m_values.insert(key, file.value(key));

        QMutexLocker lock(&liveWritersMutex());
        liveWriters().insert(this);
        // Once in the list, whichever application object ends next.
        qRemovePostRoutine(waitForEveryWriter);
        qAddPostRoutine(waitForEveryWriter);
    }

    ~Writer()
    {
        {
            QMutexLocker lock(&liveWritersMutex());
            liveWriters().remove(this);
        }
        // The file object is made and used on the writer's thread; it goes there too, after the
        // writes still queued.
        (void)m_executor.run([this] { m_file.reset(); });
        m_executor.waitForDone();
    }

    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    const QString& filePath() const { return m_filePath; }
    QObject* receiver() { return &m_receiver; }

    QVariant value(const QString& key, const QVariant& fallback) const
    {
        QMutexLocker lock(&m_mutex);
        return m_values.value(key, fallback);
    }

    bool contains(const QString& key) const
    {
        QMutexLocker lock(&m_mutex);
        return m_values.contains(key);
    }

    // Applies the change to the values in memory and queues it for the file. True when no write
    // is queued yet that will take it: the caller then queues one.
    bool record(const QString& key, std::optional<QVariant> value)
    {
        QMutexLocker lock(&m_mutex);
        if (value) {
            m_values.insert(key, *value);
        } else if (key.isEmpty()) {
            m_values.clear();
        } else {
            // As in the file: a key goes with every key beneath it.
            m_values.remove(key);
            const QString below = key + QLatin1Char('/');
            for (auto it = m_values.lowerBound(below); it != m_values.end() && it.key().startsWith(below);)
                it = m_values.erase(it);
        }
        m_pending.append(Change{key, std::move(value)});
        return !std::exchange(m_writeQueued, true);
    }

    QFuture<WriteFailure> queueWrite()
    {
        return m_executor.run([this] { return writePending(); });
    }

    void waitForWrites()
    {
        // Not a future's waitForFinished: that may run a job that has not started on the waiting
        // thread, ahead of the write in progress.
        QSemaphore done;
        (void)m_executor.run([&done] { done.release(); });
        done.acquire();
    }

private:
    // On the writer's thread: everything changed since the last write, in one write and one sync.
    WriteFailure writePending()
    {
        QList<Change> changes;
        {
            QMutexLocker lock(&m_mutex);
            changes.swap(m_pending);
            m_writeQueued = false;
        }
        if (changes.isEmpty())
            return {};
        // QSettings merges its own changes into what is in the file when it syncs, so another
        // instance writing the same file keeps its keys.
        if (!m_file)
            m_file = std::make_unique<QSettings>(m_filePath, QSettings::IniFormat);
        QStringList keys;
        QSet<QString> seen;
        for (Change& change : changes) {
            if (change.value)
                m_file->setValue(change.key, *change.value);
            else
                m_file->remove(change.key);
            if (!seen.contains(change.key)) {
                seen.insert(change.key);
                keys.append(change.key);
            }
        }
        m_file->sync();
        // A change makes QSettings post itself a request for a later sync; this thread has no
        // event loop to take it, and the sync is done.
        QCoreApplication::removePostedEvents(m_file.get(), QEvent::UpdateRequest);
        const QSettings::Status status = m_file->status();
        if (status == QSettings::NoError)
            return {};
        const QString reason = status == QSettings::AccessError
            ? QStringLiteral("the settings file could not be written")
            : QStringLiteral("the settings file is not in a form Vesk can read");
        // QSettings keeps its first error for good, so every later write would read as failed
        // after the disk recovers. The next write starts from a fresh one and carries these
        // changes again, ahead of the newer ones.
        m_file.reset();
        {
            QMutexLocker lock(&m_mutex);
            changes.append(std::move(m_pending));
            m_pending = std::move(changes);
        }
        veskLog(QStringLiteral("Vesk settings save error for ") + m_filePath + QStringLiteral(": ") + reason);
        return WriteFailure{keys, reason};
    }

    QString m_filePath;
    // Takes the reports of failed writes on the owner's thread; the reports of writes still under
    // way when it goes are dropped with it.
    QObject m_receiver;

    mutable QMutex m_mutex;
    QVariantMap m_values;    // guarded by m_mutex
    QList<Change> m_pending; // guarded by m_mutex
    bool m_writeQueued = false; // guarded by m_mutex: a queued write has not yet taken m_pending

    std::unique_ptr<QSettings> m_file; // the writer's thread only
    SerialExecutor m_executor;         // waited for in the destructor, before the rest goes
};

namespace {

void waitForEveryWriter()
{
    QMutexLocker lock(&liveWritersMutex());
    for (IniSettings::Writer* writer : std::as_const(liveWriters()))
        writer->waitForWrites();
}

} // namespace

QString IniSettings::defaultFilePath()
{
    return AppPaths::configDirectory() + QStringLiteral("/Vesk.conf");
}

IniSettings::IniSettings() : IniSettings(defaultFilePath()) {}

IniSettings::IniSettings(const QString& filePath) : m_writer(std::make_unique<Writer>(filePath)) {}

IniSettings::~IniSettings() = default;

QVariant IniSettings::value(const QString& key, const QVariant& fallback) const
{
    return m_writer->value(normalizedKey(key), fallback);
}

void IniSettings::setValue(const QString& key, const QVariant& value)
{
    change(key, value);
}

bool IniSettings::contains(const QString& key) const
{
    return m_writer->contains(normalizedKey(key));
}

void IniSettings::remove(const QString& key)
{
    change(key, std::nullopt);
}

void IniSettings::change(const QString& key, std::optional<QVariant> value)
{
    if (!m_writer->record(normalizedKey(key), std::move(value)))
        return;
    deliverResult(m_writer->receiver(), m_writer->queueWrite(), [this](const WriteFailure& failure) {
        for (const QString& failedKey : failure.keys)
            reportWriteFailure(failedKey, failure.reason);
    });
}

QString IniSettings::filePath() const
{
    return m_writer->filePath();
}

void IniSettings::waitForWrites()
{
    m_writer->waitForWrites();
}

} // namespace vesk
