// A person's photographs, for the person timeline and the photo book.
#include "model/ItemFileKinds.h"
#include "store/VeskStore.h"

#include <QSet>

namespace vesk {

QList<VeskItem> VeskStore::photosForPersonPool(const QUuid& poolID) const
{
    assertMainThread();
    QSet<QUuid> itemIDs;
    for (const VeskFaceRecord& face : m_faceRecordsCache) {
        if (face.clusterID && *face.clusterID == poolID)
            itemIDs.insert(face.veskID);
    }
    QList<VeskItem> photos;
    if (itemIDs.isEmpty())
        return photos;
    for (const VeskItem& item : m_items) {
        // A picture by its file's extension, whatever its kind: a PDF with a confirmed face is no
        // photograph.
        if (itemIDs.contains(item.id) && item.filePath && hasImageFileExtension(*item.filePath)) {
            photos.append(item);
            // An item is listed once even if the list held it twice.
            itemIDs.remove(item.id);
        }
    }
    return photos;
}

} // namespace vesk
