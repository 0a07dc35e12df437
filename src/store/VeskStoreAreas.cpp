// The store's area objects, made at the start of construction, and what it gives them.
#include "store/VeskStore.h"

#include "store/AreaItemAccess.h"
#include "store/BringBackSchedule.h"
#include "store/EditedVersions.h"
#include "store/SecureItems.h"

namespace vesk {

void VeskStore::makeAreas()
{
    m_itemAccess = std::make_unique<AreaItemAccess>(*this);
    makeHealthAreas();
    makeLibrarySearch();
    makeBringBackSchedule();
    makeLibraryGroups();
    makeLibrarySelection();
    makeDestructiveChanges();
    makeLibraryStartup();
    m_secure = std::make_unique<SecureItems>(m_services.secrets, m_services.clock, *m_itemAccess);
    m_editedVersions = std::make_unique<EditedVersions>(managedItemsDirectory(), m_services.clock,
                                                        m_services.thumbnails, *m_itemAccess);
    makeCaptureQueue();
    makeFileIntake();
    makeFaceLibrary();
}

} // namespace vesk
