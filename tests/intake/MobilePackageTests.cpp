#include "common/TestEnvironment.h"
#include "intake/MobilePackages.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vesk {
namespace {

TEST(MobilePackages, PackageRootsFoldFilesIntoTheirOutermostPackageOnce)
{
    const QStringList roots = packageRootPaths({
        "/in/A.vesknote/note.json",
        "/in/A.vesknote/media/./a.jpg",
        "/in/Trip.VESKACTIVITY",
        "/in/A.vesknote/B.veskactivity/c.json",
        "/in/plain.txt",
        "/in/x/../plain.txt",
    });
    EXPECT_EQ(roots, (QStringList{"/in/A.vesknote", "/in/Trip.VESKACTIVITY", "/in/plain.txt"}));
}

TEST(MobilePackages, PathsNamedInAPackageNeverLeaveIt)
{
    const QString root = vesk::test::makeTempDirectory("pkg") + "/A.veskactivity";
    const QString outside = vesk::test::makeTempDirectory("outside");
    vesk::test::writeFile(root + "/media/a.jpg", "x");
    vesk::test::writeFile(outside + "/secret.txt", "s");
    ASSERT_TRUE(QFile::link(outside + "/secret.txt", root + "/media/link.jpg"));
    ASSERT_TRUE(QFile::link(outside, root + "/media/dir"));

    using Where = PackagePath::Where;
    EXPECT_EQ(resolvePackagePath(root, "media/a.jpg").where, Where::Inside);
    EXPECT_EQ(resolvePackagePath(root, "media/x/../a.jpg").where, Where::Inside);
    EXPECT_EQ(resolvePackagePath(root, "media/none.jpg").where, Where::Missing);
    EXPECT_EQ(resolvePackagePath(root, "../../etc/passwd").where, Where::Outside);
    EXPECT_EQ(resolvePackagePath(root, "media/../../A.veskactivity2/x").where, Where::Outside);
    EXPECT_EQ(resolvePackagePath(root, outside + "/secret.txt").where, Where::Outside);
    EXPECT_EQ(resolvePackagePath(root, "media/link.jpg").where, Where::Outside);
    EXPECT_EQ(resolvePackagePath(root, "media/dir/secret.txt").where, Where::Outside);
    EXPECT_EQ(resolvePackagePath(root, "").where, Where::Outside);
}

TEST(MobilePackages, NoteManifestNeedsEveryKeyAsWritten)
{
    const QByteArray good = R"({"schemaVersion":1,"kind":"note","noteID":"X","createdAt":"d","text":"",
        "attachments":["media/a.jpg"],"extra":3})";
    const auto manifest = decodeNoteManifest(good);
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->attachments, QStringList{"media/a.jpg"});
    EXPECT_FALSE(decodeNoteManifest(R"({"schema_version":1,"kind":"note","noteID":"X","createdAt":"d",
        "text":"","attachments":[]})"));
    EXPECT_FALSE(decodeNoteManifest(R"({"schemaVersion":"1","kind":"note","noteID":"X","createdAt":"d",
        "text":"","attachments":[]})"));
    EXPECT_FALSE(decodeNoteManifest(R"({"schemaVersion":1,"kind":"note","noteID":"X","createdAt":"d",
        "text":"","attachments":[3]})"));
    EXPECT_FALSE(decodeNoteManifest("not json"));
    EXPECT_FALSE(decodeNoteAttachments(R"({"text":"no attachments key"})"));
    EXPECT_EQ(decodeNoteAttachments(R"({"attachments":[]})"), QStringList{});
}

TEST(MobilePackages, ActivityManifestConvertsSnakeCaseButNotTheIdentity)
{
    const auto snake = decodeActivityManifest(R"({"activity_id":"A1","activity_type":"walk",
        "started_at":"2026-01-01T10:00:00Z","capture_count":2,"location_summary":"Park",
        "events":[{"relative_path":"media/a.jpg"},{"kind":"note"}]})");
    ASSERT_TRUE(snake);
    EXPECT_FALSE(snake->activityID);
    EXPECT_EQ(snake->activityType, "walk");
    EXPECT_EQ(snake->startedAt, "2026-01-01T10:00:00Z");
    EXPECT_EQ(snake->captureCount, 2);
    EXPECT_EQ(snake->locationSummary, "Park");
    EXPECT_EQ(snake->eventPaths, (QStringList{"media/a.jpg", ""}));

    EXPECT_EQ(decodeActivityManifest(R"({"activityID":"A1","title":null})")->activityID, "A1");
    EXPECT_TRUE(decodeActivityManifest("{}"));
    EXPECT_FALSE(decodeActivityManifest(R"({"captureCount":"2"})"));
    EXPECT_FALSE(decodeActivityManifest(R"({"events":[{"relativePath":5}]})"));
    EXPECT_FALSE(decodeActivityManifest("[]"));

    EXPECT_EQ(camelCaseKey("_location_summary_"), "_locationSummary_");
    EXPECT_EQ(camelCaseKey("CAPTURE_COUNT"), "captureCount");
    EXPECT_EQ(camelCaseKey("___"), "___");
}

TEST(MobilePackages, TokensMatchOnlyWhole)
{
    EXPECT_TRUE(containsWholeToken("walk A1 park", "A1"));
    EXPECT_TRUE(containsWholeToken("A1", "A1"));
    EXPECT_FALSE(containsWholeToken("walk A12 park", "A1"));
    EXPECT_FALSE(containsWholeToken("xA1 A1y", "A1"));
    EXPECT_TRUE(containsWholeToken("xA1 A1", "A1"));
    EXPECT_FALSE(containsWholeToken("anything", ""));
}

TEST(MobilePackages, OnlyRegularFilesAreRead)
{
    const QString dir = vesk::test::makeTempDirectory("read");
    vesk::test::writeFile(dir + "/a.json", "{}");
    EXPECT_EQ(readSmallFile(dir + "/a.json"), QByteArray("{}"));
    EXPECT_FALSE(readSmallFile(dir));
    EXPECT_FALSE(readSmallFile(dir + "/a.json", 1));
    const QByteArray fifo = QFile::encodeName(dir + "/fifo");
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    EXPECT_FALSE(readSmallFile(dir + "/fifo")); // would block for ever if opened
}

} // namespace
} // namespace vesk
