// Filename cleanup: readable titles for items whose title is a machine-made file name.
#include "store/VeskStore.h"
#include "store/LibraryItems.h"

#include "intake/FileTitles.h"
#include "platform/Log.h"
#include "store/SQLiteDatabase.h"
#include "store/LibraryFile.h"

namespace vesk {

QList<VeskFilenameCleanupCandidate> VeskStore::filenameCleanupCandidates() const
{
    assertMainThread();
    QList<VeskFilenameCleanupCandidate> candidates;
    for (const VeskItem& item : items()) {
        if (!item.filePath || !isGenericFileName(item.title))
            continue;
        const QString cleaned = cleanedTitleFromFileName(item.title, item, item.createdAt);
        if (cleaned != item.title)
            candidates.append({item.id, item.title, cleaned});
    }
    return candidates;
}

int VeskStore::applyFilenameCleanup(const QList<VeskFilenameCleanupCandidate>& candidates)
{
    assertMainThread();
    // The new titles are written first and then put in place in the list, which is changed where
    // it lies rather than copied whole for a few renames.
    QHash<QUuid, QString> newTitles;
    int changed = 0;
    for (const VeskFilenameCleanupCandidate& candidate : candidates) {
        const qsizetype index = indexOfItem(candidate.id);
        if (index < 0)
            continue;
        VeskItem renamed = items().at(index);
        if (const auto earlier = newTitles.constFind(renamed.id); earlier != newTitles.cend())
            renamed.title = *earlier;
        // An item renamed or deleted since the list was made is left as it is.
        if (renamed.title != candidate.oldTitle)
            continue;
        renamed.title = candidate.newTitle;
        if (SQLiteDatabase* database = m_file->database()) {
            if (auto saved = database->upsertItem(renamed); !saved) {
                veskLog(QStringLiteral("Vesk filename cleanup save error: ") + saved.error().logText());
                continue;
            }
        }
        newTitles.insert(renamed.id, renamed.title);
        ++changed;
    }
    if (changed == 0)
        return 0;
    m_library->changeEach([&](VeskItem& item) {
        const auto title = newTitles.constFind(item.id);
        if (title == newTitles.cend())
            return false;
        item.title = *title;
        return true;
    });
    m_library->publishItems();
    m_services.recoverySnapshots->noteChange();
    refreshSearchAfterChange();
    return changed;
}

} // namespace vesk
