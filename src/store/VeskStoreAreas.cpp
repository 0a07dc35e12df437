// The store's area objects, made at the start of construction, and what it gives them.
#include "store/VeskStore.h"

#include "store/AreaItemAccess.h"
#include "store/BringBackSchedule.h"
#include "store/EditedVersions.h"
#include "store/LibraryFile.h"
#include "store/LibraryItems.h"
#include "store/SecureItems.h"
#include "store/StartupLoading.h"

#include "model/TextMarkers.h"
#include "platform/QuietMemoryRelease.h"

#include <QDir>

namespace vesk {

namespace {
constexpr int kQuietBeforeMemoryReleaseMs = 2000;
// The longest a busy window goes without handing memory back.
constexpr int kLongestBusyWithoutReleaseMs = 6000;
} // namespace

void VeskStore::makeAreas()
{
    makeLibraryItems();
    // Rows go through the capture worker's connection only while the library can take them and
    // has passed its check; until then new rows wait on the main thread.
    m_file = std::make_unique<LibraryFile>(m_services.dataDirectory, [this] {
        return !libraryProblem() && !readOnlyReason() && !libraryCheckPending();
    });
    m_itemAccess = std::make_unique<AreaItemAccess>(*this);
    makeHealthAreas();
    makeLibrarySearch();
    makeBringBackSchedule();
    makeLibraryGroups();
    makeLibrarySelection();
    makeDestructiveChanges();
    makeLibraryStartup();
    m_secure = std::make_unique<SecureItems>(m_services.secrets, m_services.clock, *m_itemAccess,
                                             QDir(m_services.dataDirectory).filePath(QStringLiteral(".vesk-secure-items-being-added")));
    m_editedVersions = std::make_unique<EditedVersions>(managedItemsDirectory(), m_services.clock,
                                                        m_services.thumbnails, *m_itemAccess);
    makeCaptureQueue();
    makeFileIntake();
    makeFaceLibrary();
    m_loading = std::make_unique<StartupLoading>(*this);
}

void VeskStore::makeLibraryItems()
{
    m_library = std::make_unique<LibraryItems>();
    const LibraryItems* library = m_library.get();
    connect(library, &LibraryItems::itemsChanged, this, &VeskStore::itemsChanged);
    connect(library, &LibraryItems::itemAdded, this, &VeskStore::itemAdded);
    connect(library, &LibraryItems::searchTextChanged, this, &VeskStore::searchTextChanged);
    connect(library, &LibraryItems::filteredItemsChanged, this, &VeskStore::filteredItemsChanged);
    connect(library, &LibraryItems::searchReadyChanged, this, &VeskStore::searchReadyChanged);
    connect(library, &LibraryItems::retrievalHintsChanged, this, &VeskStore::retrievalHintsChanged);
    connect(library, &LibraryItems::intakeNoticeChanged, this, &VeskStore::intakeNoticeChanged);
    connect(library, &LibraryItems::importCountInProgressChanged, this, &VeskStore::importCountInProgressChanged);
    connect(library, &LibraryItems::indexingCountChanged, this, &VeskStore::indexingCountChanged);
    connect(library, &LibraryItems::inboxImportCountChanged, this, &VeskStore::inboxImportCountChanged);
    connect(library, &LibraryItems::cloudImportCountChanged, this, &VeskStore::cloudImportCountChanged);

    // Start-up and searches free much on many threads; once the window is quiet it goes back.
    // On the system's timers, not the store's: the release changes nothing the store shows, and
    // a test's fake timers hold only the delays of what the store does.
    auto* release = new QuietMemoryRelease(
        SystemTimers::shared(), kQuietBeforeMemoryReleaseMs, kLongestBusyWithoutReleaseMs, this);
    const auto note = [release] { release->noteActivity(); };
    connect(library, &LibraryItems::filteredItemsChanged, release, note);
    connect(library, &LibraryItems::searchReadyChanged, release, note);
    connect(this, &VeskStore::startupFinished, release, note);
    // Opening an item makes and drops the pane's pictures, texts and players.
    connect(this, &VeskStore::selectedIDChanged, release, note);
    if (const std::shared_ptr<EmbeddingEngine> embeddings = m_services.embeddings)
        release->alsoRelease([embeddings] { embeddings->releaseCaches(); });
    // Every picture a search showed stays in memory up to the cache's budget; the cards in view
    // keep their own copies, and the rest are read again from their files.
    if (const std::shared_ptr<ThumbnailProvider> thumbnails = m_services.thumbnails)
        release->alsoRelease([thumbnails] { thumbnails->releaseCaches(); });
    // The pane holds the picture it shows; those of photographs opened before are read again.
    if (const std::shared_ptr<PreparedPreviewProvider> previews = m_services.preparedPreviews)
        release->alsoRelease([previews] { previews->releaseCaches(); });
    // The markers of long texts are remembered with their texts: a deleted note's goes here.
    release->alsoRelease([] { forgetUnheldTextMarkers(); });
}

} // namespace vesk
