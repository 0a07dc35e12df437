// Failures said aloud: the failure notice, items whose row was not written, and their retries.
#include "store/LibraryHealth.h"

#include "platform/Log.h"
#include "platform/SerialExecutor.h"
#include "platform/Timers.h"
#include "store/FailureWording.h"
#include "store/LibraryHealthHost.h"
#include "store/SQLiteDatabase.h"
#include "store/VeskStore.h"

#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <algorithm>

namespace vesk {

namespace {

const QString kNotSavedTitle = QStringLiteral("Not saved");
// A burst of failures (a full disk refusing every save) is counted beyond these.
constexpr int kNamedFailures = 5;

// What a settings key holds, as the user knows it.
QString settingSubject(const QString& key)
{
    if (key == VeskStore::manualTagsDefaultsKey)
        return QStringLiteral("Your tags");
    if (key == VeskStore::usageDefaultsKey)
        return QStringLiteral("What you opened recently");
    if (key == VeskStore::bringBackDefaultsKey)
        return QStringLiteral("Your Bring Back reminders");
    return QStringLiteral("A setting (") + key + QLatin1Char(')');
}

} // namespace

LibraryHealth::LibraryHealth(const VeskServices& services, LibraryHealthHost& host, QObject* parent)
    : QObject(parent), m_services(services), m_host(host)
{
    watchSettingsWrites();
}

LibraryHealth::~LibraryHealth()
{
    stopLibraryCheck();
}

void LibraryHealth::watchSettingsWrites()
{
    // The settings outlive no store in the application, but may in tests: the guard keeps a
    // late failure from reaching a library that is gone.
    QPointer<LibraryHealth> self(this);
    m_services.settings->setWriteFailureHandler([self](const QString& key, const QString& reason) {
        if (self)
            self->reportFailure(QStringLiteral("Setting not kept"),
                                settingSubject(key) + QStringLiteral(" could not be kept: ") + reason + QLatin1Char('.'));
    });
}

void LibraryHealth::setFailureNotice(const std::optional<VeskFailureNotice>& value)
{
    if (m_failureNotice == value)
        return;
    m_failureNotice = value;
    forgetGoneFailureSubjects();
    emit failureNoticeChanged();
}

void LibraryHealth::gatherFailure(VeskFailureNotice& notice, const QString& detail, const QString& subject)
{
    QHash<QString, qsizetype>& subjects = m_failureSubjects[notice.id];
    if (!subject.isEmpty()) {
        if (const auto counted = subjects.constFind(subject); counted != subjects.cend()) {
            // The same file failing again, for another reason or once replaced, is still one failure.
            if (*counted >= 0) {
                QStringList lines = notice.detail.split(QLatin1Char('\n'));
                if (*counted < lines.size()) {
                    lines[*counted] = detail;
                    notice.detail = lines.join(QLatin1Char('\n'));
                }
            }
            return;
        }
    }
    // Counted, and named unless it is already, or enough are.
    notice.count += 1;
    qsizetype line = -1;
    if (notice.named < kNamedFailures && !notice.detail.split(QLatin1Char('\n')).contains(detail)) {
        line = notice.detail.count(QLatin1Char('\n')) + 1;
        notice.detail += QLatin1Char('\n') + detail;
        notice.named += 1;
    }
    if (!subject.isEmpty())
        subjects.insert(subject, line);
}

void LibraryHealth::forgetGoneFailureSubjects()
{
    m_failureSubjects.removeIf([this](const auto& entry) {
        if (m_failureNotice && m_failureNotice->id == entry.key())
            return false;
        return std::none_of(m_waitingFailures.cbegin(), m_waitingFailures.cend(),
                            [&](const VeskFailureNotice& waiting) { return waiting.id == entry.key(); });
    });
}

void LibraryHealth::reportFailure(const QString& title, const QString& detail, const QString& subject)
{
    if (m_failureNotice && m_failureNotice->title == title) {
        // The same kind of failure again (a burst of saves on a full disk, two packages of one
        // scan): one notice that counts them and names each of the first few.
        VeskFailureNotice notice = *m_failureNotice;
        gatherFailure(notice, detail, subject);
        setFailureNotice(notice);
        return;
    }
    for (VeskFailureNotice& waiting : m_waitingFailures) {
        if (waiting.title == title) {
            gatherFailure(waiting, detail, subject);
            return;
        }
    }
    VeskFailureNotice notice;
    notice.id = QUuid::createUuid();
    notice.title = title;
    notice.detail = detail;
    if (!subject.isEmpty())
        m_failureSubjects[notice.id].insert(subject, 0);
    // Replacing the notice shown would take it away before it was read (a start-up notice
    // followed a moment later by another failure): the new one waits its turn.
    if (m_failureNotice)
        m_waitingFailures.append(notice);
    else
        setFailureNotice(notice);
}

QString LibraryHealth::refusalReason(const DatabaseError& error) const
{
    // A library opened read-only refuses every write; its own reason says why better than SQLite's.
    // SQLite says "readonly database" alike for a file without write permission and for one on a
    // disk mounted read-only; opening told which.
    return m_readOnlyReason.value_or(error.plainReason());
}

void LibraryHealth::reportRefused(const QString& title, const QString& whatDidNotHappen, const DatabaseError& error)
{
    reportFailure(title, whatDidNotHappen + QStringLiteral(": ") + refusalReason(error) + QLatin1Char('.'));
}

bool LibraryHealth::refuseWhileReadOnly(const QString& title, const QString& whatDidNotHappen)
{
    if (!m_readOnlyReason)
        return false;
    reportFailure(title, whatDidNotHappen + QStringLiteral(": ") + *m_readOnlyReason + QLatin1Char('.'));
    return true;
}

void LibraryHealth::dismissFailureNotice()
{
    setFailureNotice(m_waitingFailures.isEmpty() ? std::nullopt
                                                 : std::optional<VeskFailureNotice>(m_waitingFailures.takeFirst()));
}

void LibraryHealth::withdrawFailureNotice(const QString& title)
{
    m_waitingFailures.removeIf([&](const VeskFailureNotice& waiting) { return waiting.title == title; });
    if (m_failureNotice && m_failureNotice->title == title)
        dismissFailureNotice();
    forgetGoneFailureSubjects();
}

Expected<void, QString> LibraryHealth::writeItem(const VeskItem& item, const std::optional<QByteArray>& rtf)
{
    // A row waiting for the check of the library file is written, as it is then, once it passed.
    if (m_savingItemIDs.contains(item.id))
        return unexpected(QString());
    if (m_readOnlyReason) {
        // Shown as changed, and said not to be kept; the file takes it after a restart with room.
        markUnsaved(item, *m_readOnlyReason);
        return unexpected(*m_readOnlyReason);
    }
    SQLiteDatabase* database = m_host.database();
    if (!database) {
        // Nothing can be kept without the library file; the change is noted all the same, unless
        // the file is damaged: a snapshot of it would only push good ones out.
        if (!m_libraryProblem || m_libraryProblem->kind != VeskLibraryProblem::Kind::Damaged)
            m_services.recoverySnapshots->noteChange();
        const QString reason = DatabaseError::executeFailed(QStringLiteral("SQLite database is unavailable.")).plainReason();
        markUnsaved(item, reason);
        return unexpected(reason);
    }
    const auto written = database->updateItemWithRichText(item, rtf);
    if (!written) {
        veskLog(QStringLiteral("Vesk SQLite save error: ") + written.error().logText());
        const QString reason = refusalReason(written.error());
        markUnsaved(item, reason);
        return unexpected(reason);
    }
    noteItemWritten(item.id);
    return {};
}

Expected<void, QString> LibraryHealth::writeNewItem(const VeskItem& item, const std::optional<QByteArray>& rtf)
{
    Expected<void, QString> written = writeItem(item, rtf);
    if (!written && m_unsavedItemIDs.contains(item.id))
        m_neverWrittenItemIDs.insert(item.id);
    return written;
}

void LibraryHealth::noteItemWritten(const QUuid& id)
{
    m_services.recoverySnapshots->noteChange();
    if (!m_libraryMarkedAsUsed) {
        // From now on a missing or empty library file means a lost library, not a new one.
        m_host.markLibraryHasHeldItems();
        m_libraryMarkedAsUsed = true;
    }
    markSaved(id);
    // The library file takes writes again: what could not be written before goes now.
    if (!m_unsavedItemIDs.isEmpty())
        queueUnsavedRetry();
}

void LibraryHealth::markUnsaved(const VeskItem& item, const QString& reason)
{
    if (!m_unsavedItemIDs.contains(item.id)) {
        m_unsavedItemIDs.insert(item.id);
        emit unsavedItemIDsChanged();
    }
    reportFailure(kNotSavedTitle, quotedItemTitle(item.title) + QStringLiteral(" could not be written to the library: ")
                                      + reason + QStringLiteral(". Vesk keeps it on screen and tries again."));
    scheduleUnsavedRetry();
}

void LibraryHealth::scheduleUnsavedRetry()
{
    if (m_unsavedRetry)
        return;
    m_unsavedRetry = m_services.timers->after(m_services.unsavedRetryIntervalMs, this, [this] {
        m_unsavedRetry.reset();
        if (retryUnsavedItems() > 0)
            scheduleUnsavedRetry();
    });
}

void LibraryHealth::markSaved(const QUuid& id)
{
    m_neverWrittenItemIDs.remove(id);
    if (m_rowWrittenListeners.contains(id))
        tellRowWritten(id, m_host.currentItem(id).has_value());
    if (!m_unsavedItemIDs.remove(id))
        return;
    emit unsavedItemIDsChanged();
    if (m_unsavedItemIDs.isEmpty()) {
        if (m_unsavedRetry) {
            m_unsavedRetry->cancel();
            m_unsavedRetry.reset();
        }
        // Everything it spoke of is kept now.
        withdrawFailureNotice(kNotSavedTitle);
    }
}

void LibraryHealth::queueUnsavedRetry()
{
    if (m_unsavedRetryQueued)
        return;
    m_unsavedRetryQueued = true;
    QTimer::singleShot(0, this, [this] { retryUnsavedItems(); });
}

int LibraryHealth::retryUnsavedItems()
{
    m_unsavedRetryQueued = false;
    SQLiteDatabase* database = m_host.database();
    if (!database)
        return int(m_unsavedItemIDs.size());
    const QList<QUuid> pending = m_unsavedItemIDs.values();
    for (const QUuid& id : pending) {
        if (m_host.rowBeingDeleted(id))
            continue;
        const std::optional<VeskItem> item = m_host.currentItem(id);
        if (!item) {
            // Deleted meanwhile: nothing left to keep.
            markSaved(id);
            continue;
        }
        if (!database->updateItemWithRichText(*item, m_host.richText(id)))
            break; // still refused: the slow retry tries again, without a new notice or log line
        m_services.recoverySnapshots->noteChange();
        markSaved(id);
    }
    return int(m_unsavedItemIDs.size());
}

void LibraryHealth::whenRowWritten(const QUuid& id, RowWait wait, std::function<void(bool)> heard)
{
    if (wait == RowWait::FirstWrite) {
        const auto written = [this, id] { return m_host.currentItem(id).has_value() && rowIsWritten(id); };
        if (!m_savingItemIDs.contains(id)) {
            heard(written());
            return;
        }
        afterLibraryCheck([written, heard] { heard(written()); }, [heard] { heard(false); });
        return;
    }
    if (!m_host.currentItem(id)) {
        heard(false);
        return;
    }
    if (rowIsWritten(id)) {
        heard(true);
        return;
    }
    m_rowWrittenListeners[id].append(std::move(heard));
}

void LibraryHealth::tellRowWritten(const QUuid& id, bool written)
{
    const QList<std::function<void(bool)>> listeners = m_rowWrittenListeners.take(id);
    for (const auto& heard : listeners)
        heard(written);
}

void LibraryHealth::forgetUnsavedItems(const QSet<QUuid>& ids)
{
    const QSet<QUuid> forgotten = ids; // ids may be unsavedItemIDs() itself
    m_neverWrittenItemIDs.subtract(forgotten);
    // Deleted before their row was written: it never will be.
    for (const QUuid& id : forgotten)
        tellRowWritten(id, false);
    if (!m_unsavedItemIDs.intersects(forgotten))
        return;
    m_unsavedItemIDs.subtract(forgotten);
    emit unsavedItemIDsChanged();
}

} // namespace vesk
