#include "timeline/TimelineArrangement.h"

#include <QHash>
#include <algorithm>
#include <limits>
#include <vector>

namespace vesk {

QList<VeskTimelinePhoto> arrangeTimeline(const QList<VeskTimelinePhoto>& basePhotos, const VeskTimelineEdits& edits)
{
    QList<VeskTimelinePhoto> shown;
    QHash<QUuid, const VeskTimelinePhoto*> visibleByItem;
    for (const VeskTimelinePhoto& photo : basePhotos) {
        if (edits.hidden.contains(photo.item.id))
            continue;
        shown.append(photo);
        visibleByItem.insert(photo.item.id, &photo);
    }
    // A copy of a photo that is taken out, or no longer the person's, waits in the edits unseen.
    for (auto copy = edits.copies.begin(); copy != edits.copies.end(); ++copy) {
        if (const VeskTimelinePhoto* original = visibleByItem.value(copy.value()))
            shown.append(VeskTimelinePhoto{original->item, copy.key()});
    }
    if (edits.order.isEmpty())
        return shown;

    constexpr int kUnranked = std::numeric_limits<int>::max();
    QHash<QUuid, int> rank;
    for (int i = 0; i < edits.order.size(); ++i) {
        if (!rank.contains(edits.order.at(i)))
            rank.insert(edits.order.at(i), i);
    }
    QHash<QUuid, int> chronological;
    for (int i = 0; i < basePhotos.size(); ++i)
        chronological.insert(basePhotos.at(i).item.id, i);

    struct Keyed {
        int rank;
        int chronological;
        VeskTimelinePhoto photo;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(shown.size()));
    for (VeskTimelinePhoto& photo : shown)
        keyed.push_back({rank.value(photo.identity(), kUnranked), chronological.value(photo.item.id, kUnranked),
                         std::move(photo)});
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.rank != b.rank)
            return a.rank < b.rank;
        return a.chronological < b.chronological;
    });
    QList<VeskTimelinePhoto> arranged;
    arranged.reserve(qsizetype(keyed.size()));
    for (Keyed& entry : keyed)
        arranged.append(std::move(entry.photo));
    return arranged;
}

int removedPhotoCount(const QList<VeskTimelinePhoto>& basePhotos, const VeskTimelineEdits& edits)
{
    int count = 0;
    for (const VeskTimelinePhoto& photo : basePhotos)
        count += edits.hidden.contains(photo.item.id) ? 1 : 0;
    return count;
}

QList<QUuid> timelineIdentities(const QList<VeskTimelinePhoto>& photos)
{
    QList<QUuid> ids;
    ids.reserve(photos.size());
    for (const VeskTimelinePhoto& photo : photos)
        ids.append(photo.identity());
    return ids;
}

} // namespace vesk
