// Opens the person timeline of a small library of real photographs in the application's main
// window, for a look at it (not a test): run under xvfb-run; writes the screen to the path given
// as the first argument once the previews are in.
#include "app/MainWindow.h"
#include "app/MainWindowState.h"
#include "app/VeskApp.h"
#include "platform/Uuid.h"
#include "store/SQLiteDatabase.h"
#include "store/VeskStore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

using namespace vesk;

namespace {

const QString kFaces = QStringLiteral("/usr/share/doc/libdlib19.1/examples/faces/");
const QString kJohn = QStringLiteral("/usr/share/doc/libdlib19.1/examples/johns/John_Savage/");

struct Photo {
    QString source;
    QString title;
    const char* taken; // EXIF DateTimeOriginal, or none
    QString note;
};

VeskItem keep(const QString& dataDir, const Photo& photo, int index)
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.title = photo.title;
    item.kind = VeskKind::Image;
    item.createdAt = QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC).addSecs(index * 60);
    item.note = photo.note;
    const QString folder = dataDir + QStringLiteral("/Items/") + uuidString(item.id);
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + QFileInfo(photo.source).fileName();
    QFile::copy(photo.source, path);
    QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (photo.taken) {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        Exiv2::ExifData exif = image->exifData();
        exif["Exif.Photo.DateTimeOriginal"] = std::string(photo.taken);
        image->setExifData(exif);
        image->writeMetadata();
    }
    item.filePath = path;
    item.searchableText = photo.title;
    return item;
}

VeskFaceRecord faceOf(const VeskItem& item, const QUuid& pool)
{
    VeskFaceRecord face;
    face.id = QUuid::createUuid();
    face.veskID = item.id;
    face.clusterID = pool;
    face.featureModel = QStringLiteral("shot");
    face.createdAt = item.createdAt;
    return face;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir root;
    const QString dataDir = root.path() + QStringLiteral("/data");
    QDir().mkpath(dataDir);
    qputenv("VESK_DATA_DIR", dataDir.toUtf8());
    qputenv("VESK_CONFIG_DIR", (root.path() + "/config").toUtf8());
    QApplication app(argc, argv);
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/timeline-shot.png");
    // A later shot leaves time to work the sheet from outside (xdotool) first.
    const int waitMs = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 2500;

    const QList<Photo> annPhotos{
        {kFaces + "2008_002470.jpg", QStringLiteral("Picnic by the lake"), "2008:06:14 15:20:00",
         QStringLiteral("The whole family, the summer the lake froze over twice.")},
        {kFaces + "2007_007763.jpg", QStringLiteral("Graduation"), "2007:05:30 11:05:00", QString()},
        {kFaces + "2009_004587.jpg", QStringLiteral("New flat"), "2009:10:02 18:45:00", QString()},
        {kFaces + "2008_001322.jpg", QStringLiteral("Cousins"), "2008:12:24 19:10:00", QString()},
        {kFaces + "bald_guys.jpg", QStringLiteral("Unknown evening"), nullptr, QString()},
    };
    const QList<Photo> johnPhotos{
        {kJohn + "000264_01099001.jpg", QStringLiteral("John at work"), "2001:02:03 10:00:00", QString()},
        {kJohn + "000274_01099061.jpg", QStringLiteral("John again"), "2003:04:05 10:00:00", QString()},
    };
    QList<VeskItem> items;
    QList<VeskFaceRecord> faces;
    const QUuid ann = QUuid::createUuid();
    const QUuid john = QUuid::createUuid();
    int index = 0;
    for (const Photo& photo : annPhotos) {
        items.append(keep(dataDir, photo, index++));
        faces.append(faceOf(items.last(), ann));
    }
    for (const Photo& photo : johnPhotos) {
        items.append(keep(dataDir, photo, index++));
        faces.append(faceOf(items.last(), john));
    }
    {
        auto opened = SQLiteDatabase::open(dataDir + QStringLiteral("/vesk.sqlite3"));
        if (!opened)
            return 1;
        auto& db = *opened.value();
        (void)db.upsertItems(items);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        (void)db.upsertFaceCluster({ann, QStringLiteral("Ann"), now, now});
        (void)db.upsertFaceCluster({john, QStringLiteral("John Savage"), now, now});
        for (const VeskFaceRecord& face : faces)
            (void)db.replaceFaces(face.veskID, {face});
    }

    VeskApp vesk(VeskApp::makeServices());
    vesk.show();
    vesk.mainWindow().state().setShowingPersonTimeline(true);
    QTimer::singleShot(waitMs, &app, [&] {
        QApplication::primaryScreen()->grabWindow(0).save(output);
        app.quit();
    });
    return app.exec();
}
