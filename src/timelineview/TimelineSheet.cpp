#include "timelineview/TimelineSheet.h"

#include "platform/FileReveal.h"
#include "store/VeskStore.h"
#include "timeline/VeskTimelineMediaCache.h"
#include "timelineview/VeskPersonTimelineView.h"

#include <QCollator>
#include <QPointer>
#include <QSet>
#include <algorithm>

namespace vesk {

QList<TimelinePerson> timelinePersons(const VeskStore& store)
{
    QSet<QUuid> poolsWithFaces;
    for (const VeskFaceRecord& face : store.faceRecordsCache()) {
        if (face.clusterID)
            poolsWithFaces.insert(*face.clusterID);
    }
    QList<TimelinePerson> persons;
    for (const VeskFaceClusterRecord& pool : store.faceClustersCache()) {
        const QString name = pool.name.value_or(QString()).trimmed();
        if (!name.isEmpty() && poolsWithFaces.contains(pool.id))
            persons.append(TimelinePerson{pool.id, name});
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(persons.begin(), persons.end(), [&](const TimelinePerson& a, const TimelinePerson& b) {
        return collator.compare(a.name, b.name) < 0;
    });
    return persons;
}

VeskPersonTimelineView* makePersonTimelineView(VeskStore& store, std::shared_ptr<VeskTimelineMediaCache> media,
                                               QWidget* parent)
{
    QPointer<VeskStore> library(&store);
    VeskPersonTimelineView::Services services;
    services.sources.persons = [library] { return library ? timelinePersons(*library) : QList<TimelinePerson>(); };
    services.sources.photos = [library](const QUuid& person) {
        return library ? library->photosForPersonPool(person) : QList<VeskItem>();
    };
    services.settings = store.services().settings;
    services.media = std::move(media);
    services.revealFile = [](const QString& path) { FileRevealer().reveal(path); };
    auto* view = new VeskPersonTimelineView(std::move(services), parent);
    QObject::connect(&store, &VeskStore::itemsChanged, view, &VeskPersonTimelineView::scheduleRefresh);
    QObject::connect(&store, &VeskStore::faceDataRevisionChanged, view, &VeskPersonTimelineView::scheduleRefresh);
    return view;
}

} // namespace vesk
