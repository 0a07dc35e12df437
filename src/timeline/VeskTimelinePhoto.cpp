#include "timeline/VeskTimelinePhoto.h"

#include <algorithm>
#include <vector>

namespace vesk {

bool isChronologicallyBefore(const VeskItem& a, const std::optional<QDateTime>& dateA, const VeskItem& b,
                             const std::optional<QDateTime>& dateB)
{
    if (dateA && dateB) {
        if (*dateA == *dateB)
            return a.createdAt < b.createdAt;
        return *dateA < *dateB;
    }
    if (dateA)
        return true;
    if (dateB)
        return false;
    return a.createdAt < b.createdAt;
}

void sortChronologically(QList<VeskTimelinePhoto>& photos, const PhotoDateLookup& photoDate)
{
    struct Keyed {
        std::optional<QDateTime> date;
        VeskTimelinePhoto photo;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(photos.size()));
    for (VeskTimelinePhoto& photo : photos)
        keyed.push_back({photoDate ? photoDate(photo.item) : std::nullopt, std::move(photo)});
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        return isChronologicallyBefore(a.photo.item, a.date, b.photo.item, b.date);
    });
    photos.clear();
    for (Keyed& entry : keyed)
        photos.append(std::move(entry.photo));
}

QList<VeskTimelinePhoto> timelinePhotos(const QList<VeskItem>& items)
{
    QList<VeskTimelinePhoto> photos;
    photos.reserve(items.size());
    for (const VeskItem& item : items)
        photos.append(VeskTimelinePhoto{item, std::nullopt});
    return photos;
}

} // namespace vesk
