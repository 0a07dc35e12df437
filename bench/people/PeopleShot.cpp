// Shows the People window for a look at it (not a test): imports photographs of a few people and
// groups (libdlib19.1's examples, the matplotlib portrait) into a fresh library with the real vision
// models, names some faces, and writes the window to the path given as the first argument; "dark"
// as the second argument draws the dark appearance. Run under xvfb-run.
#include "people/PeopleWindow.h"
#include "platform/ui/ControlStyles.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"
#include "store/RealServices.h"
#include "store/VeskStore.h"

#include <QApplication>
#include <QDir>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

using namespace vesk;

int main(int argc, char** argv)
{
    QTemporaryDir root;
    qputenv("VESK_DATA_DIR", (root.path() + "/data").toUtf8());
    qputenv("VESK_CONFIG_DIR", (root.path() + "/config").toUtf8());
    qputenv("VESK_CLOUD_DIR", (root.path() + "/cloud").toUtf8());
    QApplication app(argc, argv);
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/people-shot.png");
    const QByteArray mode = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    if (mode.contains("dark"))
        Theme::current().setAppearance(Appearance::Dark);
    IconMap::ensureFontLoaded();
    app.setPalette(Theme::current().palette());
    app.setStyleSheet(applicationStyleSheet(Theme::current()));

    VeskServices services = makeRealServices(root.path() + "/data");
    services.settings = std::make_shared<MemorySettings>();
    VeskStore store(services);

    const QString johns = QStringLiteral("/usr/share/doc/libdlib19.1/examples/johns/");
    QStringList photos;
    for (const QString& person : {QStringLiteral("John_Salley"), QStringLiteral("John_Simm"), QStringLiteral("John_Savage")}) {
        const QStringList files = QDir(johns + person).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
        for (const QString& file : files.mid(0, 7))
            photos.append(johns + person + "/" + file);
    }
    photos.append(QStringLiteral("/usr/share/doc/libdlib19.1/examples/faces/2008_002506.jpg"));
    photos.append(QStringLiteral("/usr/share/doc/libdlib19.1/examples/faces/2009_004587.jpg"));
    photos.append(QStringLiteral("/usr/share/matplotlib/mpl-data/sample_data/grace_hopper.jpg"));
    for (const QString& photo : photos)
        store.importFile(photo);
    if (!QTest::qWaitFor([&] { return store.indexingCount() == 0; }, 300000))
        qWarning("the analysis did not finish in time");

    // The first face of each John's first two photos named, and the portrait.
    const auto faceOf = [&](int photo) -> QUuid {
        const QUuid item = store.items()[store.items().size() - 1 - photo].id;
        for (const VeskFaceRecord& face : store.faceRecordsCache())
            if (face.veskID == item)
                return face.id;
        return {};
    };
    const QString names[] = {QStringLiteral("John Salley"), QStringLiteral("John Simm"), QStringLiteral("John Savage")};
    for (int person = 0; person < 3; ++person) {
        store.createPersonPool(names[person], faceOf(person * 7));
        store.createPersonPool(names[person], faceOf(person * 7 + 1));
    }
    store.createPersonPool(QStringLiteral("Grace"), faceOf(int(photos.size()) - 1));

    VeskFaceClusterInspector window(store);
    window.resize(1000, 1400);
    window.show();
    // Previews are cut on workers; give them time to arrive.
    QTest::qWait(3000);
    if (mode.contains("bottom")) {
        // The end of the list: the unassigned faces.
        for (QScrollArea* scroll : window.findChildren<QScrollArea*>())
            scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        QTest::qWait(1500);
    }
    window.grab().save(output);
    return 0;
}
