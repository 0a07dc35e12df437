#include "common/TestEnvironment.h"
#include "intake/PackagePreviewData.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vesk {
namespace {

QByteArray noteJson(const QByteArray& attachments, const QByteArray& head = R"("schemaVersion":1,"kind":"note","text":"t")")
{
    return "{" + head + ",\"attachments\":" + attachments + "}";
}

TEST(PhotoNotePackage, OnlyAttachmentsThatStayInsideThePackageAreListedInOrder)
{
    const QString package = vesk::test::makeTempDirectory("note") + "/Walk.vesknote";
    const QString outside = vesk::test::makeTempDirectory("outside");
    vesk::test::writeFile(package + "/media/a.jpg", "a");
    vesk::test::writeFile(package + "/media/b.mov", "b");
    vesk::test::writeFile(outside + "/secret.jpg", "s");
    ASSERT_TRUE(QFile::link(outside + "/secret.jpg", package + "/media/out.jpg"));
    ASSERT_TRUE(QFile::link(package + "/media/a.jpg", package + "/media/alias.jpg"));
    vesk::test::writeFile(package + "/note.json",
          noteJson(R"(["media/b.mov","media/../note.json","Media/a.jpg","media//a.jpg","media/out.jpg",
                      "media/missing.jpg","media/alias.jpg","photos/a.jpg","media/a..b/../a.jpg","media/a.jpg"])"));

    const QString a = QFileInfo(package + "/media/a.jpg").canonicalFilePath();
    // A movie is listed (it is counted, then shows no card); a link inside resolves to its target.
    EXPECT_EQ(loadPhotoNotePackage(package),
              (QStringList{QFileInfo(package + "/media/b.mov").canonicalFilePath(), a, a, a}));
}

TEST(PhotoNotePackage, AManifestOfAnotherFormGivesNoPhotos)
{
    const QString package = vesk::test::makeTempDirectory("note") + "/N.vesknote";
    vesk::test::writeFile(package + "/media/a.jpg", "a");
    const QByteArray list = R"(["media/a.jpg"])";
    // The importer's identity keys are not needed here; unknown keys are ignored.
    vesk::test::writeFile(package + "/note.json", noteJson(list, R"("schemaVersion":1,"kind":"note","text":"","extra":[1])"));
    EXPECT_EQ(loadPhotoNotePackage(package).size(), 1);

    for (const QByteArray& head : {QByteArray(R"("schemaVersion":2,"kind":"note","text":"")"),
                                   QByteArray(R"("schemaVersion":1,"kind":"Note","text":"")"),
                                   QByteArray(R"("schemaVersion":1,"kind":"note")"),
                                   QByteArray(R"("schemaVersion":"1","kind":"note","text":"")"),
                                   QByteArray(R"("schema_version":1,"kind":"note","text":"")")}) {
        vesk::test::writeFile(package + "/note.json", noteJson(list, head));
        EXPECT_TRUE(loadPhotoNotePackage(package).isEmpty()) << head.constData();
    }
    EXPECT_TRUE(loadPhotoNotePackage(std::nullopt).isEmpty());
    EXPECT_TRUE(loadPhotoNotePackage(package + "/note.json").isEmpty()) << "a plain file is no package";
}

TEST(ActivityPackage, SnakeCaseAndCamelCaseKeysFillTheSameFields)
{
    const auto camel = decodeVeskActivityManifest(R"({"activityID":"A","title":"Walk","activityType":"walk",
        "startedAt":"2025-06-01T08:30:00Z","locationSummary":"Lake","captureCount":3,
        "events":[{"eventID":"1","kind":"photo","createdAt":"c","relativePath":"media/a.jpg","text":null}]})");
    const auto snake = decodeVeskActivityManifest(R"({"activity_id":"A","title":"Walk","activity_type":"walk",
        "started_at":"2025-06-01T08:30:00Z","location_summary":"Lake","capture_count":3,"unknown":{},
        "events":[{"eventID":"1","kind":"photo","created_at":"c","relative_path":"media/a.jpg"}]})");
    ASSERT_TRUE(camel && snake);
    EXPECT_EQ(camel->activityID, "A");
    EXPECT_FALSE(snake->activityID) << "activity_id becomes activityId, which names nothing";
    for (const auto* m : {&*camel, &*snake}) {
        EXPECT_EQ(m->activityType, "walk");
        EXPECT_EQ(m->startedAt, "2025-06-01T08:30:00Z");
        EXPECT_EQ(m->locationSummary, "Lake");
        EXPECT_EQ(m->captureCount, 3);
        ASSERT_TRUE(m->events);
        ASSERT_EQ(m->events->size(), 1);
        EXPECT_EQ(m->events->first().createdAt, "c");
        EXPECT_EQ(m->events->first().relativePath, "media/a.jpg");
        EXPECT_FALSE(m->events->first().text);
    }
    const auto empty = decodeVeskActivityManifest("{}");
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->events);
    EXPECT_FALSE(empty->title);
}

TEST(ActivityPackage, AWronglyTypedValueOrAnIncompleteEventSpoilsTheManifest)
{
    for (const QByteArray& json : {QByteArray(R"({"captureCount":"12"})"), QByteArray(R"({"captureCount":1.5})"),
                                   QByteArray(R"({"captureCount":1e300})"), QByteArray(R"({"title":3})"),
                                   QByteArray(R"({"events":{}})"), QByteArray(R"({"events":[3]})"),
                                   QByteArray(R"({"events":[{"event_id":"1","kind":"photo","createdAt":"c"}]})"),
                                   QByteArray(R"({"events":[{"eventID":"1","createdAt":"c"}]})"),
                                   QByteArray(R"({"events":[{"eventID":"1","kind":"note","createdAt":"c","text":5}]})"),
                                   QByteArray("[]"), QByteArray("not json")})
        EXPECT_FALSE(decodeVeskActivityManifest(json)) << json.constData();
}

TEST(ActivityPackage, EventFilesAndMediaNeverLeaveThePackage)
{
    const QString package = vesk::test::makeTempDirectory("act") + "/Walk.veskactivity";
    const QString outside = vesk::test::makeTempDirectory("outside");
    vesk::test::writeFile(outside + "/secret.jpg", "s");
    vesk::test::writeFile(package + "/media/a.jpg", "a");
    vesk::test::writeFile(package + "/docs/report.pdf", "r");
    ASSERT_TRUE(QFile::link(outside + "/secret.jpg", package + "/media/out.jpg"));
    ASSERT_TRUE(QFile::link(outside, package + "/escape"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(package + "/media/pipe.mov").constData(), 0600), 0);
    vesk::test::writeFile(package + "/activity.json", R"({"events":[
        {"eventID":"1","kind":"photo","createdAt":"c","relativePath":"media/a.jpg"},
        {"eventID":"2","kind":"file","createdAt":"c","relativePath":"../../../etc/passwd"},
        {"eventID":"3","kind":"file","createdAt":"c","relativePath":"/etc/passwd"},
        {"eventID":"4","kind":"photo","createdAt":"c","relativePath":"media/out.jpg"},
        {"eventID":"5","kind":"video","createdAt":"c","relativePath":"media/gone.mov"},
        {"eventID":"6","kind":"video","createdAt":"c","relativePath":"escape/new.mov"},
        {"eventID":"7","kind":"file","createdAt":"c","relativePath":"media/../docs/report.pdf"},
        {"eventID":"8","kind":"video","createdAt":"c","relativePath":"media/pipe.mov"},
        {"eventID":"9","kind":"note","createdAt":"c","relativePath":""}]})");

    const VeskActivityPackageData data = loadActivityPackage(package);
    ASSERT_TRUE(data.manifest && data.manifest->events);
    QStringList files;
    for (const VeskActivityTimelineEvent& event : *data.manifest->events)
        files.append(event.filePath.value_or("-"));
    const QString root = QFileInfo(package).canonicalFilePath();
    EXPECT_EQ(files, (QStringList{root + "/media/a.jpg", "-", "-", "-", QDir::cleanPath(package) + "/media/gone.mov",
                                  "-", root + "/docs/report.pdf", "-", "-"}));
    EXPECT_EQ(data.mediaPaths, QStringList{root + "/media/a.jpg"}) << "the link out and the pipe are not listed";
}

TEST(ActivityPackage, MediaListsPicturesOnlyOldestFirst)
{
    const QString package = vesk::test::makeTempDirectory("act") + "/Photos.veskactivity";
    const QDateTime first = QFileInfo(vesk::test::writeFile(package + "/media/IMG_1.JPG", "1")).birthTime();
    if (!first.isValid())
        GTEST_SKIP() << "the temporary folder's file system keeps no birth times";
    const QString second = vesk::test::writeFileBornAfter(first, package + "/media/b.webp", "2");
    vesk::test::writeFileBornAfter(QFileInfo(second).birthTime(), package + "/media/c.heic", "3");
    vesk::test::writeFile(package + "/media/.hidden.jpg", "h");
    vesk::test::writeFile(package + "/media/clip.mov", "m");
    vesk::test::writeFile(package + "/media/notes.txt", "n");
    vesk::test::writeFile(package + "/media/sub/d.jpg", "d");

    const VeskActivityPackageData data = loadActivityPackage(package);
    EXPECT_FALSE(data.manifest) << "no activity.json";
    EXPECT_EQ(data.packagePath, QDir::cleanPath(package));
    QStringList names;
    for (const QString& path : data.mediaPaths)
        names.append(QFileInfo(path).fileName());
    EXPECT_EQ(names, (QStringList{"IMG_1.JPG", "b.webp", "c.heic"}));
    EXPECT_TRUE(loadActivityPackage(package + "/none").mediaPaths.isEmpty());
}

TEST(ActivityPackage, InternetDatesParseWithAndWithoutFractions)
{
    const QDateTime expected(QDate(2025, 6, 1), QTime(8, 30), Qt::UTC);
    EXPECT_EQ(parseInternetDateTime("2025-06-01T08:30:00Z"), expected);
    EXPECT_EQ(parseInternetDateTime("2025-06-01T08:30:00.250Z"), expected.addMSecs(250));
    EXPECT_EQ(parseInternetDateTime("2025-06-01T08:30:00.123456Z"), expected.addMSecs(123));
    EXPECT_EQ(parseInternetDateTime("2025-06-01T10:30:00+02:00"), expected);
    for (const char* text : {"yesterday morning", "2025-06-01", "2025-06-01T08:30:00", "2025-06-01 08:30:00Z",
                             " 2025-06-01T08:30:00Z", "2025-13-01T08:30:00Z", ""})
        EXPECT_FALSE(parseInternetDateTime(text)) << text;
}

} // namespace
} // namespace vesk
