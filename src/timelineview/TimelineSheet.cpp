#include "timelineview/TimelineSheet.h"

#include "platform/FileRevealer.h"
#include "store/VeskStore.h"
#include "timeline/VeskTimelineMediaCache.h"
#include "timelineview/VeskPersonTimelineView.h"

#include <QPointer>

namespace vesk {

QList<TimelinePerson> timelinePersons(const VeskStore& store)
{
    QList<TimelinePerson> persons;
    for (const VeskPersonPoolSummary& pool : store.personPoolSummaries())
        persons.append(TimelinePerson{pool.id, pool.name});
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
