// A library user that the fault tests kill at any moment (SIGKILL, like a power cut of the
// process): it saves notes as fast as it can, or imports a file, and says on standard output what
// the library has acknowledged.
//   vesk_fault_child burst <data folder>
//   vesk_fault_child import <data folder> <file>
#include "platform/Clock.h"
#include "platform/Settings.h"
#include "store/VeskServices.h"
#include "store/VeskStore.h"

#include <QCoreApplication>
#include <QUuid>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 3)
        return 2;
    vesk::VeskServices services;
    services.clock = std::make_shared<vesk::SystemClock>();
    services.settings = std::make_shared<vesk::MemorySettings>();
    services.dataDirectory = arguments.at(2);
    vesk::VeskStore store(services);

    if (arguments.at(1) == QLatin1String("burst")) {
        for (int i = 0;; ++i) {
            vesk::VeskItem item;
            item.id = QUuid::createUuid();
            item.kind = vesk::VeskKind::Text;
            item.title = QStringLiteral("Note %1").arg(i);
            item.text = item.title;
            item.searchableText = item.title;
            item.createdAt = services.clock->now();
            if (store.commitNewItem(item))
                std::printf("saved %s\n", qPrintable(item.id.toString(QUuid::WithoutBraces)));
            std::fflush(stdout);
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
