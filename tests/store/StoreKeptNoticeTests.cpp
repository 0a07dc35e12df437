// Every road that announces a new or changed item, on a library that does not keep it: the
// failure notice says so, and nothing says it was kept.
#include "store/FaultInjection.h"
#include "store/IntakeStoreFixture.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>

namespace vesk::test {
namespace {

const QStringList kSuccessTitles = {
    QStringLiteral("Looks familiar"),           QStringLiteral("Looks like another version"),
    QStringLiteral("Note with photos received"), QStringLiteral("Activity received"),
    QStringLiteral("Edited version saved"),      QStringLiteral("Video moment saved"),
};

const QString kFoxText = QStringLiteral("the quick brown fox jumps over the lazy dog by the river bank at dawn");

class KeptNoticeTest : public IntakeStoreTest {
protected:
    // What the library holds before the fault: a note, a report, a picture, a film, a password.
    void seedLibrary()
    {
        VeskItem fox = makeItem(QStringLiteral("Fox"), 10);
        fox.text = kFoxText;
        fox.searchableText = kFoxText;
        picture = makeItem(QStringLiteral("Harbour.png"), 20, VeskKind::Image,
                           writeFile(makeTempDirectory(QStringLiteral("pictures")) + "/Harbour.png", "picture"));
        film = makeItem(QStringLiteral("Holiday.mov"), 30, VeskKind::File,
                        writeFile(makeTempDirectory(QStringLiteral("films")) + "/Holiday.mov", "movie"));
        secure = makeItem(QStringLiteral("Router"), 40);
        secure.searchableText = QStringLiteral("__vesk_secure__ Router");
        seed({fox, picture, film, secure});
        note = fox;
    }

    QString notePackage(const QString& name) const
    {
        const QString package = sourceDir + "/" + name;
        const QJsonObject manifest{{"schemaVersion", 1}, {"kind", "note"}, {"noteID", QUuid::createUuid().toString(QUuid::WithoutBraces)},
                                   {"createdAt", "2026-01-01T10:00:00Z"}, {"text", "Beach day"},
                                   {"attachments", QJsonArray{"media/a.png"}}};
        writeFile(package + "/note.json", QJsonDocument(manifest).toJson());
        writeFile(package + "/note.txt", "");
        QImage photo(8, 8, QImage::Format_RGB32);
        photo.fill(Qt::red);
        QDir().mkpath(package + "/media");
        photo.save(package + "/media/a.png", "PNG");
        return package;
    }

    QString activityPackage(const QString& name) const
    {
        const QString package = sourceDir + "/" + name;
        writeFile(package + "/media/p.png", "p");
        writeFile(package + "/activity.json", R"({"activityID":")" + QUuid::createUuid().toByteArray() + R"("})");
        return package;
    }

    // Until every import and inbox entry has been applied and every row written.
    static void settle(VeskStore& store)
    {
        QDeadlineTimer deadline(10'000);
        while ((store.importCountInProgress() > 0 || store.inboxImportCount() > 0 || store.cloudImportCount() > 0)
               && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            QThread::msleep(1);
        }
        drainWrites(store);
    }

    VeskItem note;
    VeskItem picture;
    VeskItem film;
    VeskItem secure;
};

TEST_F(KeptNoticeTest, NoRoadAnnouncesAnItemTheLibraryDidNotKeepAndEachSaysWhy)
{
    const QString clip = writeFile(makeTempDirectory(QStringLiteral("clips")) + "/Vesk-Moment-1.mov", "clip");
    const QString none;
    // Each road gives what it answered its caller (a sheet closes on true), or none.
    const struct Road {
        const char* name;
        std::function<std::optional<bool>(VeskStore&)> take;
        // What it announces when the item is kept.
        QString announces;
        // The failure notice on a library opened read-only, and on one whose item rows are refused.
        QString readOnlyFailure;
        QString refusedFailure;
        // An edited picture whose row was refused counts as saved (its editor closes, so that Save
        // again makes no second version): kept on screen with its file and written at a retry.
        bool savedWhenRowRefused = false;
    } roads[] = {
        {"a capture like a kept note (composer, drop)",
         [](VeskStore& store) {
             store.addText(kFoxText + " too");
             return std::nullopt;
         },
         QStringLiteral("Looks familiar"), QStringLiteral("Not kept"), QStringLiteral("Not saved")},
        {"a dropped file that is another version",
         [this](VeskStore& store) {
             (void)store.importFile(source(QStringLiteral("Harbour final.png"), "newer"));
             return std::nullopt;
         },
         QStringLiteral("Looks like another version"), QStringLiteral("Not imported"), QStringLiteral("Not saved")},
        {"the local Inbox",
         [this](VeskStore& store) {
             store.importInboxFiles({source(QStringLiteral("Harbour v2.png"), "inbox")});
             return std::nullopt;
         },
         QStringLiteral("Looks like another version"), QStringLiteral("Not imported"), QStringLiteral("Not saved")},
        {"the phone inbox",
         [this](VeskStore& store) {
             store.importCloudInboxPackages({notePackage("Trip.vesknote")});
             return std::nullopt;
         },
         QStringLiteral("Note with photos received"), QStringLiteral("Not imported"), QStringLiteral("Not saved")},
        {"a note package",
         [this](VeskStore& store) {
             return std::optional<bool>(finished(store.importMobileNotePackage(notePackage("Day.vesknote"))));
         },
         QStringLiteral("Note with photos received"), QStringLiteral("Not kept"), QStringLiteral("Not saved")},
        {"an activity package",
         [this](VeskStore& store) {
             return std::optional<bool>(finished(store.importActivityPackage(activityPackage("Walk.veskactivity"))));
         },
         QStringLiteral("Activity received"), QStringLiteral("Not kept"), QStringLiteral("Not saved")},
        {"an edited picture",
         [this](VeskStore& store) {
             return std::optional<bool>(store.saveEditedImage("edited", picture, QStringLiteral("png")).has_value());
         },
         QStringLiteral("Edited version saved"), QStringLiteral("Not kept"), QStringLiteral("Not saved"), true},
        {"a video moment",
         [&](VeskStore& store) { return std::optional<bool>(store.saveVideoMoment(clip, film, 12).hasValue()); },
         QStringLiteral("Video moment saved"), QStringLiteral("Not kept"), QStringLiteral("Not saved")},
        {"a new password",
         [](VeskStore& store) {
             return std::optional<bool>(
                 store.addSecureItem(QStringLiteral("Bank"), QString(), QStringLiteral("s3cret"), QString()));
         },
         none, QStringLiteral("Not kept"), QStringLiteral("Not saved")},
        {"a password edit",
         [this](VeskStore& store) {
             return std::optional<bool>(
                 store.updateSecureItem(secure, QStringLiteral("Router 2"), QString(), QStringLiteral("new"), QString()));
         },
         none, QStringLiteral("Not changed"), QStringLiteral("Not saved")},
        {"a note edit",
         [this](VeskStore& store) {
             return std::optional<bool>(
                 store.saveItemEdits(note.id, QStringLiteral("Fox"), QStringLiteral("a new text"), std::nullopt));
         },
         none, QStringLiteral("Not changed"), QStringLiteral("Not changed")},
    };
    seedLibrary();
    const QSet<QUuid> seeded = {note.id, picture.id, film.id, secure.id};

    enum class Library { ReadOnly, RefusingRows, Healthy };
    for (const Library library : {Library::ReadOnly, Library::RefusingRows, Library::Healthy}) {
        SCOPED_TRACE(library == Library::ReadOnly ? "read-only library"
                     : library == Library::RefusingRows ? "item rows refused" : "a healthy library");
        std::unique_ptr<VeskStore> store;
        if (library == Library::ReadOnly) {
            FileSizeLimit full(1);
            store = makeStore();
            ASSERT_EQ(store->readOnlyReason(), std::optional<QString>(QStringLiteral("the disk is full")));
        } else {
            store = makeStore();
            failItemSaves(*store, library == Library::RefusingRows);
        }
        QStringList announced;
        QObject::connect(store.get(), &VeskStore::intakeNoticeChanged, [&] {
            if (store->intakeNotice())
                announced.append(store->intakeNotice()->title);
        });
        for (const Road& road : roads) {
            SCOPED_TRACE(road.name);
            announced.clear();
            while (store->failureNotice())
                store->dismissFailureNotice();
            const std::optional<bool> answer = road.take(*store);
            settle(*store);
            if (library == Library::Healthy) {
                EXPECT_NE(answer, std::optional<bool>(false));
                if (!road.announces.isEmpty()) {
                    EXPECT_TRUE(announced.contains(road.announces)) << announced.join(", ").toStdString();
                }
                continue;
            }
            if (library == Library::RefusingRows && road.savedWhenRowRefused)
                EXPECT_EQ(answer, std::optional<bool>(true)) << "the save counts; the failure notice tells the rest";
            else
                EXPECT_NE(answer, std::optional<bool>(true)) << "the caller is not told it was kept";
            for (const QString& title : std::as_const(announced))
                EXPECT_FALSE(kSuccessTitles.contains(title)) << title.toStdString();
            ASSERT_TRUE(store->failureNotice()) << logLines.join('\n').toStdString();
            EXPECT_EQ(store->failureNotice()->title,
                      library == Library::ReadOnly ? road.readOnlyFailure : road.refusedFailure)
                << store->failureNotice()->detail.toStdString();
            if (library == Library::ReadOnly) {
                EXPECT_TRUE(store->failureNotice()->detail.endsWith(QStringLiteral(": the disk is full.")))
                    << store->failureNotice()->detail.toStdString();
            }
        }
        if (library == Library::ReadOnly) {
            QSet<QUuid> shown;
            for (const VeskItem& item : store->items())
                shown.insert(item.id);
            EXPECT_EQ(shown, seeded) << "nothing was taken in";
            EXPECT_TRUE(secrets->entries.isEmpty()) << "nothing reached the keyring";
        }
    }
}

TEST_F(KeptNoticeTest, AnItemWhoseRowWaitsForTheLibraryCheckIsAnnouncedOnceItPassed)
{
    seedLibrary();
    auto store = makeStore(true, false);
    ASSERT_TRUE(store->libraryCheckPending());
    QStringList heard;
    store->addText(QStringLiteral("pasted before the check"), std::nullopt,
                   [&](bool kept) { heard.append(kept ? "kept" : "lost"); });
    EXPECT_TRUE(store->saveEditedImage("edited", picture, QStringLiteral("png"))) << "it is on its way, not refused";
    EXPECT_EQ(store->savingItemIDs().size(), 2);
    EXPECT_FALSE(store->intakeNotice()) << "not in the library file yet";
    EXPECT_TRUE(heard.isEmpty());

    store->waitForStartup();
    EXPECT_EQ(heard, QStringList{"kept"});
    ASSERT_TRUE(store->intakeNotice());
    EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Edited version saved"));
    EXPECT_FALSE(store->failureNotice());
}

} // namespace
} // namespace vesk::test
