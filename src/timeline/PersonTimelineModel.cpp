#include "timeline/PersonTimelineModel.h"

#include "platform/Uuid.h"
#include "timeline/TimelineArrangement.h"

#include <algorithm>

namespace vesk {

namespace {

QString personKey(const QUuid& id)
{
    return uuidString(id);
}

} // namespace

PersonTimelineModel::PersonTimelineModel(Sources sources, Settings& settings)
    : m_sources(std::move(sources)), m_storage(std::make_unique<TimelineEditsStorage>(settings))
{
}

PersonTimelineModel::~PersonTimelineModel() = default;

void PersonTimelineModel::changed()
{
    if (m_onChange)
        m_onChange();
}

std::optional<TimelinePerson> PersonTimelineModel::selectedPerson() const
{
    const QList<TimelinePerson> persons = m_sources.persons ? m_sources.persons() : QList<TimelinePerson>();
    if (persons.isEmpty())
        return std::nullopt;
    if (m_selectedPersonID) {
        for (const TimelinePerson& person : persons) {
            if (person.id == *m_selectedPersonID)
                return person;
        }
    }
    return persons.first();
}

void PersonTimelineModel::setSelectedPersonID(const QUuid& id)
{
    if (m_selectedPersonID == id)
        return;
    m_selectedPersonID = id;
    changed();
}

VeskTimelineEdits PersonTimelineModel::currentEdits() const
{
    const std::optional<TimelinePerson> person = selectedPerson();
    return person ? m_storage->edits(personKey(person->id)) : VeskTimelineEdits();
}

QList<VeskTimelinePhoto> PersonTimelineModel::basePhotos() const
{
    const std::optional<TimelinePerson> person = selectedPerson();
    if (!person || !m_sources.photos)
        return {};
    QList<VeskTimelinePhoto> photos = timelinePhotos(m_sources.photos(person->id));
    sortChronologically(photos, m_sources.photoDate);
    return photos;
}

QList<VeskTimelinePhoto> PersonTimelineModel::displayedPhotos() const
{
    return arrangeTimeline(basePhotos(), currentEdits());
}

int PersonTimelineModel::removedPhotoCount() const
{
    return vesk::removedPhotoCount(basePhotos(), currentEdits());
}

void PersonTimelineModel::putOnClipboard(const VeskTimelinePhoto& photo, bool isCut)
{
    const std::optional<TimelinePerson> person = selectedPerson();
    if (!person)
        return;
    m_clipboard = TimelineClipboard{photo.identity(), photo.item.id, person->id, isCut};
    changed();
}

bool PersonTimelineModel::canPaste() const
{
    const std::optional<TimelinePerson> person = selectedPerson();
    if (!m_clipboard || !person || m_clipboard->personID != person->id)
        return false;
    const QList<VeskTimelinePhoto> base = basePhotos();
    const bool stillTheirs = std::any_of(base.begin(), base.end(), [&](const VeskTimelinePhoto& photo) {
        return photo.item.id == m_clipboard->itemID;
    });
    if (!stillTheirs)
        return false;
    if (!m_clipboard->isCut)
        return true;
    return timelineIdentities(arrangeTimeline(base, currentEdits())).contains(m_clipboard->occurrenceID);
}

void PersonTimelineModel::paste(const std::optional<QUuid>& target)
{
    if (!canPaste())
        return;
    const TimelinePerson person = *selectedPerson();
    VeskTimelineEdits edits = currentEdits();
    QList<QUuid> ids = timelineIdentities(displayedPhotos());
    QUuid pasted;
    if (m_clipboard->isCut) {
        pasted = m_clipboard->occurrenceID;
        ids.removeAll(pasted);
    } else {
        pasted = QUuid::createUuid();
        edits.copies.insert(pasted, m_clipboard->itemID);
    }
    const qsizetype at = target ? ids.indexOf(*target) : -1;
    if (at >= 0)
        ids.insert(at, pasted);
    else
        ids.append(pasted);
    edits.order = ids;
    if (m_clipboard->isCut)
        m_clipboard.reset();
    saveEdits(edits, person.id);
}

void PersonTimelineModel::removeFromTimeline(const QUuid& identity)
{
    const std::optional<TimelinePerson> person = selectedPerson();
    if (!person)
        return;
    VeskTimelineEdits edits = currentEdits();
    if (edits.copies.remove(identity) == 0)
        edits.hidden.insert(identity);
    edits.order.removeAll(identity);
    saveEdits(edits, person->id);
}

void PersonTimelineModel::restoreChronologicalOrder()
{
    const std::optional<TimelinePerson> person = selectedPerson();
    if (!person)
        return;
    VeskTimelineEdits edits = currentEdits();
    edits.order.clear();
    saveEdits(edits, person->id);
}

void PersonTimelineModel::restoreRemovedPhotos()
{
    const std::optional<TimelinePerson> person = selectedPerson();
    if (!person)
        return;
    VeskTimelineEdits edits = currentEdits();
    edits.hidden.clear();
    saveEdits(edits, person->id);
}

void PersonTimelineModel::moveOccurrence(const QUuid& dragged, const std::optional<QUuid>& target,
                                         const QUuid& personID)
{
    const std::optional<TimelinePerson> person = selectedPerson();
    if (!person || person->id != personID)
        return;
    if (target && *target == dragged)
        return;
    QList<QUuid> ids = timelineIdentities(displayedPhotos());
    const qsizetype from = ids.indexOf(dragged);
    if (from < 0)
        return;
    ids.removeAt(from);
    const qsizetype at = target ? ids.indexOf(*target) : -1;
    if (at >= 0)
        ids.insert(at, dragged);
    else
        ids.append(dragged);
    VeskTimelineEdits edits = currentEdits();
    edits.order = ids;
    saveEdits(edits, personID);
}

void PersonTimelineModel::loadEdits()
{
    m_storage->load();
    changed();
}

void PersonTimelineModel::saveEdits(const VeskTimelineEdits& edits, const QUuid& personID)
{
    m_storage->save(personKey(personID), edits);
    changed();
}

} // namespace vesk
