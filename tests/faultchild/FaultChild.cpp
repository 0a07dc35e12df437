// A library user that the fault tests kill at any moment (SIGKILL, like a power cut of the
// process): it saves notes as fast as it can, or imports a file, and says on standard output what
// the library has acknowledged.
//   vesk_fault_child burst <data folder>
//   vesk_fault_child import <data folder> <file>
//   vesk_fault_child snapshot <data folder>
//   vesk_fault_child photobook <destination> <photo>
//   vesk_fault_child quit-amid-pictures <picture>
//   vesk_fault_child secure <data folder>
#include "platform/ApplicationEnd.h"
#include "platform/ThreadSanitizerHandOff.h"
#include "platform/Clock.h"
#include "platform/WorkPools.h"
#include "platform/image/ImageLoader.h"
#include "platform/LibsecretSecretStore.h"
#include "platform/Settings.h"
#include "store/RecoverySnapshotFolder.h"
#include "store/VeskServices.h"
#include "store/VeskStore.h"
#include "timeline/PhotoBook.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThreadPool>
#include <QTimer>
#include <QGuiApplication>
#include <QThread>
#include <QUuid>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

// Draws one long photo book, to be killed while at it: drawing needs the GUI
// application, which the store's modes do without.
[[noreturn]] void drawPhotoBooks(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    vesk::VeskTimelinePhoto photo;
    photo.item.id = QUuid::createUuid();
    photo.item.kind = vesk::VeskKind::Image;
    photo.item.title = QStringLiteral("Photo");
    photo.item.filePath = arguments.at(3);
    // Each page is said as it is drawn, and takes its time, so the kill lands mid-book.
    const QList<vesk::VeskTimelinePhoto> photos(400, photo);
    (void)vesk::writePhotoBook(photos, QStringLiteral("Ann"), arguments.at(2), [](const vesk::VeskItem&) {
        std::printf("page\n");
        std::fflush(stdout);
        QThread::msleep(20);
        return std::optional<QDateTime>();
    });
    std::exit(0);
}

// Ends the application while pictures are read on the file pool, as a package's are checked, and
// leaves through the ending main() runs: the exit code says whether the quit was clean.
int quitAmidPictures(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QString picture = QString::fromLocal8Bit(argv[2]);
    for (int i = 0; i < 8; ++i) {
        vesk::startHandedOff(*vesk::WorkPools::shared().files(), [picture] {
            QElapsedTimer reading;
            reading.start();
            while (reading.elapsed() < 10'000)
                (void)vesk::ImageLoader::load(picture, 256);
        });
    }
    QTimer::singleShot(100, &app, &QCoreApplication::quit);
    // The application's own ending, with a shorter wait for the readers left running.
    return vesk::runApplicationToItsEnd(std::make_unique<QObject>(), 300);
}

// The session's keyring, as the application uses it, except that the second secret written stays
// the last thing done: said, then the process waits to be killed before its item's row is written.
class SecretThenStop final : public vesk::SecretStore {
public:
    vesk::Expected<void, vesk::KeychainError> saveSecret(const QUuid& id, const QByteArray& value) override
    {
        auto saved = m_keyring.saveSecret(id, value);
        if (saved && ++m_saved == 2) {
            std::printf("secret %s\n", qPrintable(id.toString(QUuid::WithoutBraces)));
            std::fflush(stdout);
            for (;;)
                QThread::sleep(60);
        }
        return saved;
    }
    vesk::Expected<std::optional<QByteArray>, vesk::KeychainError> readSecret(const QUuid& id) override
    {
        return m_keyring.readSecret(id);
    }
    vesk::Expected<void, vesk::KeychainError> deleteItem(const QUuid& id) override { return m_keyring.deleteItem(id); }

private:
    vesk::LibsecretSecretStore m_keyring;
    int m_saved = 0;
};

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "quit-amid-pictures") == 0)
        return quitAmidPictures(argc, argv);
    if (argc >= 4 && std::strcmp(argv[1], "photobook") == 0)
        drawPhotoBooks(argc, argv);
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 3)
        return 2;
    if (arguments.at(1) == QLatin1String("snapshot")) {
        // One page a step keeps a snapshot under way long enough to be cut short.
        const vesk::RecoverySnapshotFolder folder(arguments.at(2), 6, vesk::DatabaseBackupPacing{1, 25, 10'000});
        for (;;)
            (void)folder.createSnapshot(QStringLiteral("launch"), QDateTime::currentDateTimeUtc(), {});
    }
    vesk::VeskServices services;
    services.clock = std::make_shared<vesk::SystemClock>();
    services.settings = std::make_shared<vesk::MemorySettings>();
    services.dataDirectory = arguments.at(2);
    if (arguments.at(1) == QLatin1String("secure"))
        services.secrets = std::make_shared<SecretThenStop>();
    vesk::VeskStore store(services);

    if (arguments.at(1) == QLatin1String("secure")) {
        // One password kept whole (its row in the library file), then one killed between its
        // secret and its row.
        if (!store.addSecureItem(QStringLiteral("Kept"), {}, QStringLiteral("kept-secret"), {}))
            return 1;
        store.whenRowWritten(store.items().constFirst().id, vesk::RowWait::FirstWrite, [&store, id = store.items().constFirst().id](bool kept) {
            std::printf(kept ? "kept %s\n" : "failed\n", qPrintable(id.toString(QUuid::WithoutBraces)));
            std::fflush(stdout);
            if (kept)
                (void)store.addSecureItem(QStringLiteral("Cut short"), {}, QStringLiteral("orphan-secret"), {});
            QCoreApplication::exit(1);
        });
        return app.exec();
    }

    if (arguments.at(1) == QLatin1String("burst")) {
        for (int i = 0;; ++i) {
            vesk::VeskItem item;
            item.id = QUuid::createUuid();
            item.kind = vesk::VeskKind::Text;
            item.title = QStringLiteral("Note %1").arg(i);
            item.text = item.title;
            item.searchableText = item.title;
            item.createdAt = services.clock->now();
            (void)store.commitNewItem(item);
            // Acknowledged once kept: a row that waits for the check of the library file after
            // start-up is written, and heard of, once the check has passed.
            store.whenRowWritten(item.id, vesk::RowWait::FirstWrite, [id = item.id](bool kept) {
                if (kept)
                    std::printf("saved %s\n", qPrintable(id.toString(QUuid::WithoutBraces)));
                std::fflush(stdout);
            });
            if (i % 16 == 0)
                QCoreApplication::processEvents();
        }
    }
    if (arguments.at(1) == QLatin1String("import") && arguments.size() >= 4) {
        std::printf("ready\n");
        std::fflush(stdout);
        QFuture<bool> imported = store.importFile(arguments.at(3));
        imported.then(&store, [](bool kept) {
            std::printf(kept ? "imported\n" : "failed\n");
            std::fflush(stdout);
            QCoreApplication::quit();
        });
        return app.exec();
    }
    return 2;
}
