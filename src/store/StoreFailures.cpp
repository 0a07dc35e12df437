// Failures said aloud: the failure notice, items whose row was not written, and their retries.
#include "store/VeskStore.h"

#include "platform/Log.h"
#include "store/FailureWording.h"
#include "store/SQLiteDatabase.h"

#include <QPointer>

namespace vesk {

namespace {

const QString kNotSavedTitle = QStringLiteral("Not saved");
constexpr qsizetype kTitleCharactersInNotice = 60;

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

QString quotedItemTitle(const QString& title)
{
    const QString trimmed = title.trimmed();
    if (trimmed.isEmpty())
        return QStringLiteral("An item");
    const QString shown = trimmed.size() > kTitleCharactersInNotice
        ? trimmed.left(kTitleCharactersInNotice) + QStringLiteral("\u2026")
        : trimmed;
    return QStringLiteral("\u201C") + shown + QStringLiteral("\u201D");
}

void VeskStore::watchSettingsWrites()
{
    // The settings outlive no store in the application, but may in tests: the guard keeps a
    // late failure from reaching a store that is gone.
    QPointer<VeskStore> self(this);
    m_services.settings->setWriteFailureHandler([self](const QString& key, const QString& reason) {
        if (self)
            self->reportFailure(QStringLiteral("Setting not kept"),
                                settingSubject(key) + QStringLiteral(" could not be kept: ") + reason + QLatin1Char('.'));
    });
}

void VeskStore::setFailureNotice(const std::optional<VeskFailureNotice>& value)
{
    assertMainThread();
    if (m_failureNotice == value)
        return;
    m_failureNotice = value;
    emit failureNoticeChanged();
}

void VeskStore::reportFailure(const QString& title, const QString& detail)
{
    assertMainThread();
    VeskFailureNotice notice;
    if (m_failureNotice && m_failureNotice->title == title) {
        // The same kind of failure again (a burst of saves on a full disk): one notice that
        // counts them, rather than a stack of equal ones.
        notice = *m_failureNotice;
        notice.count += 1;
    } else {
        notice.id = QUuid::createUuid();
        notice.title = title;
    }
    notice.detail = detail;
    setFailureNotice(notice);
}

void VeskStore::reportRefused(const QString& title, const QString& whatDidNotHappen, const DatabaseError& error)
{
    // A library opened read-only refuses every write; its own reason says why better than SQLite's.
    reportFailure(title, whatDidNotHappen + QStringLiteral(": ") + m_readOnlyReason.value_or(error.plainReason())
                             + QLatin1Char('.'));
}

bool VeskStore::refuseWhileReadOnly(const QString& title, const QString& whatDidNotHappen)
{
    if (m_destructiveChangeRunning) {
        reportFailure(title, whatDidNotHappen + QStringLiteral(": Vesk is still finishing a delete. Try again in a moment."));
        return true;
    }
    if (!m_readOnlyReason)
        return false;
    reportFailure(title, whatDidNotHappen + QStringLiteral(": ") + *m_readOnlyReason + QLatin1Char('.'));
    return true;
}

void VeskStore::dismissFailureNotice()
{
    setFailureNotice(std::nullopt);
}

bool VeskStore::writeItem(const VeskItem& item, const std::optional<QByteArray>& rtf)
{
    assertMainThread();
    // A row waiting for the check of the library file is written, as it is then, once it passed.
    if (m_savingItemIDs.contains(item.id))
        return false;
    if (m_readOnlyReason) {
        // Shown as changed, and said not to be kept; the file takes it after a restart with room.
        markUnsaved(item, *m_readOnlyReason);
        return false;
    }
    if (!m_database) {
        // Nothing can be kept without the library file; the change is noted all the same, unless
        // the file is damaged: a snapshot of it would only push good ones out.
        if (!m_libraryProblem || m_libraryProblem->kind != VeskLibraryProblem::Kind::Damaged)
            m_services.recoverySnapshots->noteChange();
        markUnsaved(item, DatabaseError::executeFailed(QStringLiteral("SQLite database is unavailable.")).plainReason());
        return false;
    }
    const auto written = m_database->updateItemWithRichText(item, rtf);
    if (!written) {
        veskLog(QStringLiteral("Vesk SQLite save error: ") + written.error().logText());
        markUnsaved(item, written.error().plainReason());
        return false;
    }
    noteItemWritten(item.id);
    return true;
}

void VeskStore::noteItemWritten(const QUuid& id)
{
    m_services.recoverySnapshots->noteChange();
    if (!m_libraryMarkedAsUsed) {
        // From now on a missing or empty library file means a lost library, not a new one.
        markLibraryHasHeldItems();
        m_libraryMarkedAsUsed = true;
    }
    markSaved(id);
    // The library file takes writes again: what could not be written before goes now.
    if (!m_unsavedItemIDs.isEmpty())
        queueUnsavedRetry();
}

void VeskStore::markUnsaved(const VeskItem& item, const QString& reason)
{
    if (!m_unsavedItemIDs.contains(item.id)) {
        m_unsavedItemIDs.insert(item.id);
        emit unsavedItemIDsChanged();
    }
    reportFailure(kNotSavedTitle, quotedItemTitle(item.title) + QStringLiteral(" could not be written to the library: ")
                                      + reason + QStringLiteral(". Vesk keeps it on screen and tries again."));
    if (!m_unsavedRetryTimer) {
        m_unsavedRetryTimer = new QTimer(this);
        m_unsavedRetryTimer->setInterval(m_services.unsavedRetryIntervalMs);
        connect(m_unsavedRetryTimer, &QTimer::timeout, this, [this] { retryUnsavedItems(); });
    }
    if (!m_unsavedRetryTimer->isActive())
        m_unsavedRetryTimer->start();
}

void VeskStore::markSaved(const QUuid& id)
{
    if (!m_unsavedItemIDs.remove(id))
        return;
    emit unsavedItemIDsChanged();
    if (m_unsavedItemIDs.isEmpty()) {
        if (m_unsavedRetryTimer)
            m_unsavedRetryTimer->stop();
        // Everything it spoke of is kept now.
        if (m_failureNotice && m_failureNotice->title == kNotSavedTitle)
            setFailureNotice(std::nullopt);
    }
}

void VeskStore::queueUnsavedRetry()
{
    if (m_unsavedRetryQueued)
        return;
    m_unsavedRetryQueued = true;
    QTimer::singleShot(0, this, [this] { retryUnsavedItems(); });
}

int VeskStore::retryUnsavedItems()
{
    assertMainThread();
    m_unsavedRetryQueued = false;
    if (!m_database)
        return int(m_unsavedItemIDs.size());
    const QList<QUuid> pending = m_unsavedItemIDs.values();
    for (const QUuid& id : pending) {
        const qsizetype index = indexOfItem(id);
        if (index < 0) {
            // Deleted meanwhile: nothing left to keep.
            markSaved(id);
            continue;
        }
        const VeskItem item = m_items.at(index);
        const auto rtf = m_richTextByID.constFind(id);
        const auto written = m_database->updateItemWithRichText(
            item, rtf != m_richTextByID.constEnd() ? std::optional<QByteArray>(*rtf) : std::nullopt);
        if (!written)
            break; // still refused: the slow timer tries again, without a new notice or log line
        m_services.recoverySnapshots->noteChange();
        markSaved(id);
    }
    return int(m_unsavedItemIDs.size());
}

} // namespace vesk
