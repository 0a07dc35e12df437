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
    int changed = 0;
    QList<VeskItem> items = this->items();
    for (const VeskFilenameCleanupCandidate& candidate : candidates) {
        // An item renamed or deleted since the list was made is left as it is.
        const auto found = std::find_if(items.begin(), items.end(), [&](const VeskItem& item) {
            return item.id == candidate.id && item.title == candidate.oldTitle;
        });
        if (found == items.end())
            continue;
        VeskItem renamed = *found;
        renamed.title = candidate.newTitle;
        if (SQLiteDatabase* database = m_file->database()) {
            if (auto saved = database->upsertItem(renamed); !saved) {
                veskLog(QStringLiteral("Vesk filename cleanup save error: ") + saved.error().logText());
                continue;
            }
        }
        *found = renamed;
        ++changed;
    }
    if (changed > 0) {
        m_library->setItems(items);
        m_services.recoverySnapshots->noteChange();
        refreshSearchAfterChange();
    }
    return changed;
}

} // namespace vesk
