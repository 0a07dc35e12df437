// Deletes, clears and group deletes on their own, with a host that records what it is asked.
#include "common/Fakes.h"
#include "platform/Clock.h"
#include "store/DestructiveChanges.h"
#include "store/DestructiveChangesHost.h"
#include "store/LibraryGroups.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <functional>
#include <memory>

namespace vesk::test {
namespace {

// A library in memory (no database) that records what the changes ask it to forget.
class RecordingHost final : public DestructiveChangesHost {
public:
    const QList<VeskItem>& items() const override { return library; }
    const QSet<QUuid>& selectedIDs() const override { return selection; }
    SQLiteDatabase* database() override { return nullptr; }
    bool refuse(const QString&, const QString&) override { return false; }
    void reportRefused(const QString&, const QString&, const DatabaseError&) override {}
    void removeManagedFile(const VeskItem& item) override { asked.append(QStringLiteral("file ") + item.title); }
    void forgetItems(const QSet<QUuid>& ids) override { asked.append(QStringLiteral("forget %1").arg(ids.size())); }
    void releaseGroupMembers(const QUuid&) override { asked.append(QStringLiteral("release")); }
    void forgetLibrary() override { asked.append(QStringLiteral("forget all")); }

    QList<VeskItem> library;
    QSet<QUuid> selection;
    QStringList asked;
};

VeskItem makeItem(const QString& title)
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.title = title;
    return item;
}

// A change waits for its snapshot on another thread; the store may be closed meanwhile. The
// change then must not run into a library that is being torn down, nor after it.
TEST(DestructiveChanges, AChangeStillWaitingForItsSnapshotIsDroppedWithItsOwner)
{
    const struct {
        const char* name;
        std::function<void(DestructiveChanges&, const QUuid& groupID)> start;
    } changes[] = {
        {"delete", [](DestructiveChanges& c, const QUuid&) { c.deleteItems(); }},
        {"clear", [](DestructiveChanges& c, const QUuid&) { c.clearLibrary(); }},
        {"group delete", [](DestructiveChanges& c, const QUuid& id) { EXPECT_TRUE(c.deleteGroup(id)); }},
    };
    for (const auto& change : changes) {
        for (const bool ownerGoes : {false, true}) {
            SCOPED_TRACE(std::string(change.name) + (ownerGoes ? ", owner gone" : ", owner kept"));
            auto snapshots = std::make_shared<RecordingSnapshots>();
            snapshots->holdDestructive = true;
            RecordingHost host;
            host.library = {makeItem(QStringLiteral("a")), makeItem(QStringLiteral("b"))};
            host.selection = {host.library.first().id};
            LibraryGroups::Library library;
            library.database = [] { return nullptr; };
            library.refuse = [](const QString&, const QString&) { return false; };
            library.reportRefused = [](const QString&, const QString&, const DatabaseError&) {};
            LibraryGroups groups(std::make_shared<FakeClock>(), snapshots, library);
            const auto group = groups.create(QStringLiteral("Trip"));
            ASSERT_TRUE(group);
            auto destructive = std::make_unique<DestructiveChanges>(snapshots, std::make_shared<FakeSecretStore>(),
                                                                    std::make_shared<FakeThumbnails>(), groups, host);
            QSignalSpy running(destructive.get(), &DestructiveChanges::runningChanged);

            change.start(*destructive, group->id);
            EXPECT_TRUE(destructive->running());
            EXPECT_TRUE(host.asked.isEmpty());
            if (ownerGoes)
                destructive.reset();
            snapshots->finishHeld();
            QCoreApplication::processEvents();

            if (ownerGoes) {
                EXPECT_TRUE(host.asked.isEmpty()) << host.asked.join(',').toStdString();
                EXPECT_EQ(groups.groups().size(), 1);
                continue;
            }
            EXPECT_FALSE(destructive->running());
            EXPECT_EQ(running.count(), 2);
            EXPECT_FALSE(host.asked.isEmpty());
        }
    }
}

} // namespace
} // namespace vesk::test
