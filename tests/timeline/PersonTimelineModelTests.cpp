#include "timeline/PersonTimelineModel.h"
#include "timeline/TimelineArrangement.h"

#include "platform/Settings.h"
#include "platform/Uuid.h"

#include <QHash>
#include <gtest/gtest.h>
#include <functional>

namespace vesk {
namespace {

// Two people: Ann has photos a, b, c (taken in that order) and d (undated); Bob has b and e.
// Copies show as their item's title with a star.
class Timeline {
public:
    Timeline()
    {
        const QDateTime imported(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);
        int year = 2000;
        for (const char* title : {"a", "b", "c", "d", "e", "late"}) {
            VeskItem item;
            item.id = QUuid::createUuid();
            item.title = QString::fromLatin1(title);
            item.kind = VeskKind::Image;
            item.filePath = QStringLiteral("/photos/") + item.title + QStringLiteral(".jpg");
            item.createdAt = imported.addSecs(year);
            if (item.title != QLatin1String("d"))
                dates.insert(item.id, QDateTime(QDate(++year, 6, 1), QTime(), Qt::UTC));
            items.insert(item.title, item);
        }
        photos.insert(ann.id, {item("d"), item("c"), item("b"), item("a")});
        photos.insert(bob.id, {item("e"), item("b")});
        model = std::make_unique<PersonTimelineModel>(sources(), settings);
        model->setOnChange([this] { ++changes; });
        model->loadEdits();
    }

    PersonTimelineModel::Sources sources()
    {
        return {[this] { return persons; }, [this](const QUuid& id) { return photos.value(id); },
                [this](const VeskItem& it) -> std::optional<QDateTime> {
                    const auto found = dates.constFind(it.id);
                    return found == dates.constEnd() ? std::nullopt : std::optional<QDateTime>(*found);
                }};
    }

    VeskItem item(const char* title) const { return items.value(QString::fromLatin1(title)); }

    // The displayed entry with this label ("b" or the first copy "b*").
    VeskTimelinePhoto entry(const QString& label) const
    {
        for (const VeskTimelinePhoto& photo : model->displayedPhotos()) {
            if (labelOf(photo) == label)
                return photo;
        }
        ADD_FAILURE() << "no entry " << label.toStdString();
        return {};
    }
    QUuid id(const QString& label) const { return entry(label).identity(); }

    QString labelOf(const VeskTimelinePhoto& photo) const
    {
        return photo.item.title + (photo.occurrenceID ? QStringLiteral("*") : QString());
    }
    QStringList shown() const
    {
        QStringList labels;
        for (const VeskTimelinePhoto& photo : model->displayedPhotos())
            labels.append(labelOf(photo));
        return labels;
    }

    TimelinePerson ann{QUuid::createUuid(), QStringLiteral("Ann")};
    TimelinePerson bob{QUuid::createUuid(), QStringLiteral("Bob")};
    QList<TimelinePerson> persons{ann, bob};
    QHash<QString, VeskItem> items;
    QHash<QUuid, QList<VeskItem>> photos;
    QHash<QUuid, QDateTime> dates;
    MemorySettings settings;
    std::unique_ptr<PersonTimelineModel> model;
    int changes = 0;
};

struct EditCase {
    const char* name;
    std::function<void(Timeline&)> steps;
    QStringList shown;
    int removed;
    bool canPaste;
};

TEST(PersonTimelineModel, EditsGiveTheExpectedTimeline)
{
    const QList<EditCase> cases{
        {"chronological without edits", [](Timeline&) {}, {"a", "b", "c", "d"}, 0, false},
        {"remove a photo", [](Timeline& t) { t.model->removeFromTimeline(t.id("b")); }, {"a", "c", "d"}, 1, false},
        {"copy pasted before an entry",
         [](Timeline& t) {
             t.model->putOnClipboard(t.entry("c"), false);
             t.model->paste(t.id("a"));
         },
         {"c*", "a", "b", "c", "d"}, 0, true},
        {"copy pasted twice makes two copies",
         [](Timeline& t) {
             t.model->putOnClipboard(t.entry("a"), false);
             t.model->paste(std::nullopt);
             t.model->paste(std::nullopt);
         },
         {"a", "b", "c", "d", "a*", "a*"}, 0, true},
        {"removing a photo hides its copies",
         [](Timeline& t) {
             t.model->putOnClipboard(t.entry("b"), false);
             t.model->paste(t.id("a"));
             t.model->removeFromTimeline(t.id("b"));
         },
         {"a", "c", "d"}, 1, true},
        {"restoring removed photos brings copies back",
         [](Timeline& t) {
             t.model->putOnClipboard(t.entry("b"), false);
             t.model->paste(t.id("a"));
             t.model->removeFromTimeline(t.id("b"));
             t.model->restoreRemovedPhotos();
         },
         // The restored photo is no longer in the saved order: it follows the arranged entries.
         {"b*", "a", "c", "d", "b"}, 0, true},
        {"removing a copy hides nothing",
         [](Timeline& t) {
             t.model->putOnClipboard(t.entry("b"), false);
             t.model->paste(t.id("a"));
             t.model->removeFromTimeline(t.id("b*"));
         },
         {"a", "b", "c", "d"}, 0, true},
        {"cut pasted before itself goes to the end",
         [](Timeline& t) {
             t.model->putOnClipboard(t.entry("b"), true);
             t.model->paste(t.id("b"));
         },
         {"a", "c", "d", "b"}, 0, false},
        {"cut pasted elsewhere moves and empties the clipboard",
         [](Timeline& t) {
             t.model->putOnClipboard(t.entry("d"), true);
             t.model->paste(t.id("a"));
         },
         {"d", "a", "b", "c"}, 0, false},
        {"a copy of a removed photo pastes but stays unseen until restored",
         [](Timeline& t) {
             t.model->putOnClipboard(t.entry("c"), false);
             t.model->removeFromTimeline(t.id("c"));
             t.model->paste(std::nullopt);
         },
         {"a", "b", "d"}, 1, true},
        {"restoring the order puts copies after every photo",
         [](Timeline& t) {
             t.model->putOnClipboard(t.entry("d"), false);
             t.model->paste(t.id("a"));
             t.model->moveOccurrence(t.id("c"), t.id("a"), t.ann.id);
             t.model->restoreChronologicalOrder();
         },
         {"a", "b", "c", "d", "d*"}, 0, true},
        {"a late photo follows the arranged ones",
         [](Timeline& t) {
             t.model->moveOccurrence(t.id("a"), std::nullopt, t.ann.id);
             t.model->moveOccurrence(t.id("c"), t.id("b"), t.ann.id);
             // Arranged: c b d a; "late" was taken after c but is not in the saved order.
             t.photos[t.ann.id].prepend(t.item("late"));
         },
         {"c", "b", "d", "a", "late"}, 0, false},
        {"without an order copies follow every photo",
         [](Timeline& t) {
             t.model->putOnClipboard(t.entry("a"), false);
             t.model->paste(t.id("c"));
             t.model->restoreChronologicalOrder();
             t.model->removeFromTimeline(t.id("d"));
             t.model->restoreRemovedPhotos();
         },
         {"a", "b", "c", "d", "a*"}, 0, true},
        {"a copy the order does not name sits beside its photo among the unarranged",
         [](Timeline& t) {
             t.model->putOnClipboard(t.entry("c"), false);
             t.model->paste(std::nullopt);
             // c leaves the person's photos while the timeline is rearranged, then comes back.
             t.photos[t.ann.id].removeAll(t.item("c"));
             t.model->moveOccurrence(t.id("a"), std::nullopt, t.ann.id);
             t.photos[t.ann.id].append(t.item("c"));
         },
         {"b", "d", "a", "c", "c*"}, 0, true},
        {"a drop on the entry below changes nothing shown",
         [](Timeline& t) { t.model->moveOccurrence(t.id("a"), t.id("b"), t.ann.id); }, {"a", "b", "c", "d"}, 0, false},
        {"a drop on itself, for another person or of an unknown entry is ignored",
         [](Timeline& t) {
             t.model->moveOccurrence(t.id("a"), t.id("a"), t.ann.id);
             t.model->moveOccurrence(t.id("a"), std::nullopt, t.bob.id);
             t.model->moveOccurrence(QUuid::createUuid(), t.id("a"), t.ann.id);
         },
         {"a", "b", "c", "d"}, 0, false},
        {"a drop outside every entry moves to the end",
         [](Timeline& t) { t.model->moveOccurrence(t.id("a"), std::nullopt, t.ann.id); }, {"b", "c", "d", "a"}, 0, false},
        {"a drop on an entry that left goes to the end",
         [](Timeline& t) { t.model->moveOccurrence(t.id("a"), QUuid::createUuid(), t.ann.id); }, {"b", "c", "d", "a"}, 0, false},
    };
    for (const EditCase& edit : cases) {
        SCOPED_TRACE(edit.name);
        Timeline timeline;
        edit.steps(timeline);
        EXPECT_EQ(timeline.shown().join(u' ').toStdString(), edit.shown.join(u' ').toStdString());
        EXPECT_EQ(timeline.model->removedPhotoCount(), edit.removed);
        EXPECT_EQ(timeline.model->canPaste(), edit.canPaste);

        // Every edit was saved at once: a freshly opened timeline shows the same.
        PersonTimelineModel reopened(timeline.sources(), timeline.settings);
        reopened.loadEdits();
        EXPECT_TRUE(reopened.displayedPhotos() == timeline.model->displayedPhotos());
    }
}

TEST(PersonTimelineModel, DropBelowSavesTheOrderSoItCanBeRestored)
{
    Timeline t;
    EXPECT_TRUE(t.model->currentEdits().order.isEmpty());
    t.model->moveOccurrence(t.id("a"), t.id("b"), t.ann.id);
    EXPECT_EQ(t.shown(), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(t.model->currentEdits().order.size(), 4);
    t.model->restoreChronologicalOrder();
    EXPECT_TRUE(t.model->currentEdits().order.isEmpty());
}

TEST(PersonTimelineModel, ClipboardPastesOnlyWhereItStillFits)
{
    Timeline t;
    EXPECT_FALSE(t.model->canPaste());

    // A clipboard never pastes into another person's timeline, and switching keeps it.
    t.model->putOnClipboard(t.entry("b"), false);
    EXPECT_EQ(t.model->clipboard()->personID, t.ann.id);
    t.model->setSelectedPersonID(t.bob.id);
    EXPECT_EQ(t.model->selectedPerson()->name, QStringLiteral("Bob"));
    EXPECT_FALSE(t.model->canPaste());
    const QStringList bobBefore = t.shown();
    t.model->paste(std::nullopt);
    EXPECT_EQ(t.shown(), bobBefore);
    t.model->setSelectedPersonID(t.ann.id);
    EXPECT_TRUE(t.model->canPaste());

    // An item that is no longer one of the person's photographs cannot be pasted.
    t.photos[t.ann.id].removeAll(t.item("b"));
    EXPECT_FALSE(t.model->canPaste());
    t.photos[t.ann.id].append(t.item("b"));

    // A cut whose entry was removed has nothing left to move.
    t.model->putOnClipboard(t.entry("c"), true);
    EXPECT_TRUE(t.model->canPaste());
    t.model->removeFromTimeline(t.id("c"));
    EXPECT_FALSE(t.model->canPaste());

    // Cut and copy of a pasted copy name the copy itself.
    t.model->restoreRemovedPhotos();
    t.model->putOnClipboard(t.entry("a"), false);
    t.model->paste(std::nullopt);
    t.model->putOnClipboard(t.entry("a*"), true);
    EXPECT_EQ(t.model->clipboard()->occurrenceID, t.id("a*"));
    EXPECT_EQ(t.model->clipboard()->itemID, t.item("a").id);
    t.model->paste(t.id("a"));
    EXPECT_EQ(t.shown(), (QStringList{"a*", "a", "b", "c", "d"}));
    EXPECT_FALSE(t.model->clipboard().has_value());
}

TEST(PersonTimelineModel, PersonsAreIndependentAndTheSelectionFallsBack)
{
    Timeline t;
    EXPECT_EQ(t.model->selectedPerson()->name, QStringLiteral("Ann"));
    t.model->removeFromTimeline(t.id("a"));
    const QByteArray annSaved = t.settings.data(TimelineEditsStorage::editsKey);

    t.model->setSelectedPersonID(t.bob.id);
    EXPECT_EQ(t.shown(), (QStringList{"b", "e"}));
    EXPECT_EQ(t.model->removedPhotoCount(), 0);
    t.model->moveOccurrence(t.id("b"), std::nullopt, t.bob.id);
    EXPECT_EQ(t.shown(), (QStringList{"e", "b"}));

    const DecodedTimelineEdits stored = decodeTimelineEdits(t.settings.data(TimelineEditsStorage::editsKey));
    EXPECT_EQ(stored.edits.value(uuidString(t.ann.id)), decodeTimelineEdits(annSaved).edits.value(uuidString(t.ann.id)));

    // The picked person gone: the first by name; nobody left: nothing, and edits do nothing.
    t.persons.removeAll(t.bob);
    EXPECT_EQ(t.model->selectedPerson()->name, QStringLiteral("Ann"));
    t.persons.clear();
    EXPECT_FALSE(t.model->selectedPerson().has_value());
    EXPECT_TRUE(t.model->displayedPhotos().isEmpty());
    const int changes = t.changes;
    t.model->removeFromTimeline(t.item("a").id);
    t.model->restoreRemovedPhotos();
    t.model->putOnClipboard(VeskTimelinePhoto{t.item("a"), std::nullopt}, false);
    EXPECT_EQ(t.changes, changes);
}

TEST(TimelineArrangement, AnEntryNamedTwiceInTheOrderTakesItsFirstPlace)
{
    auto photo = [](const char* title) {
        VeskItem item;
        item.id = QUuid::createUuid();
        item.title = QString::fromLatin1(title);
        return VeskTimelinePhoto{item, std::nullopt};
    };
    const QList<VeskTimelinePhoto> base{photo("a"), photo("b"), photo("c")};
    VeskTimelineEdits edits;
    edits.order = {base[2].identity(), base[0].identity(), base[2].identity(), base[1].identity()};
    QStringList titles;
    for (const VeskTimelinePhoto& shown : arrangeTimeline(base, edits))
        titles.append(shown.item.title);
    EXPECT_EQ(titles, (QStringList{"c", "a", "b"}));

    // Hidden identities of photos that left the person are not counted.
    edits.hidden = {base[1].item.id, QUuid::createUuid()};
    EXPECT_EQ(removedPhotoCount(base, edits), 1);
}

} // namespace
} // namespace vesk
