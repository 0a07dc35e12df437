// Edited pictures and video moments: the store's operations forward to their area.
#include "store/VeskStore.h"

#include "store/EditedVersions.h"

namespace vesk {

std::optional<VeskItem> VeskStore::saveEditedImage(const QByteArray& data, const VeskItem& item, const QString& extension)
{
    assertMainThread();
    return m_editedVersions->saveEditedImage(data, item, extension);
}

void VeskStore::saveEditedImageLater(const QByteArray& data, const VeskItem& item, const QString& extension,
                                     std::function<void(const std::optional<VeskItem>&)> done)
{
    assertMainThread();
    m_editedVersions->saveEditedImageLater(data, item, extension, this, std::move(done));
}

Expected<VeskItem, QString> VeskStore::saveVideoMoment(const QString& clipPath, const VeskItem& previewed,
                                                       double centreSeconds)
{
    assertMainThread();
    return m_editedVersions->saveVideoMoment(clipPath, previewed, centreSeconds);
}

} // namespace vesk
