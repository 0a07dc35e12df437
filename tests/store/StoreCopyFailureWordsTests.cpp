#include "store/FaultInjection.h"
#include "store/IntakeStoreFixture.h"

#include <QBuffer>
#include <QDirIterator>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <memory>

namespace vesk::test {
namespace {

// A file that even root cannot open for reading: a write-only attribute of the kernel's own file
// system refuses readers whatever their privileges. None where no such file is to be seen.
std::optional<QString> fileNobodyMayRead()
{
    QDirIterator attributes(QStringLiteral("/sys/bus"), {QStringLiteral("rescan")}, QDir::Files | QDir::System,
                            QDirIterator::Subdirectories);
    while (attributes.hasNext()) {
        const QString path = attributes.next();
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        else if (errno == EACCES)
            return path;
    }
    return std::nullopt;
}

class StoreCopyFailureWords : public IntakeStoreTest {
protected:
    static QByteArray png()
    {
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::red);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }
};

// A copy into the library that fails is told by what failed: reading what the user handed over,
// or writing into the library folder. The same refusal of the system (EACCES, or EPERM for root
// on an immutable folder) reads differently on the two sides, whichever road the copy took.
TEST_F(StoreCopyFailureWords, AFailedCopySaysWhetherReadingOrWritingFailed)
{
    enum class Road { VideoMoment, NotePackage, ActivityPackage, DroppedFile };
    enum class Fault { UnreadableSource, UnwritableItems, FullDisk };
    const struct {
        const char* name;
        Fault fault;
        QString words;
    } faults[] = {
        {"a source Vesk may not read", Fault::UnreadableSource, QStringLiteral("Vesk is not allowed to read it")},
        {"an items folder that takes no new folders", Fault::UnwritableItems,
         QStringLiteral("the library folder is read-only")},
        {"a disk that fills up under the copy", Fault::FullDisk, QStringLiteral("the disk is full")},
    };
    const struct {
        const char* name;
        Road road;
    } roads[] = {
        {"a video moment", Road::VideoMoment},
        {"a note package", Road::NotePackage},
        {"an activity package", Road::ActivityPackage},
        {"a dropped file", Road::DroppedFile},
    };
    const QByteArray beyondTheRoomLeft(2 << 20, 'b');
    const std::optional<QString> nobodyMayRead = fileNobodyMayRead();
    for (const auto& fault : faults) {
        for (const auto& road : roads) {
            SCOPED_TRACE(std::string(road.name) + ", " + fault.name);
            dataDir = makeTempDirectory("store");
            sourceDir = makeTempDirectory("source");
            auto store = makeStore();

            // What is handed over, and the file in it that cannot be read under that fault.
            QString entry;
            QString inner;
            switch (road.road) {
            case Road::VideoMoment:
            case Road::DroppedFile:
                entry = inner = source(road.road == Road::VideoMoment ? "clip.mov" : "plain.bin", beyondTheRoomLeft);
                break;
            case Road::NotePackage: {
                entry = sourceDir + "/Trip.vesknote";
                const QJsonObject manifest{{"schemaVersion", 1}, {"kind", "note"},
                                           {"noteID", "3F2504E0-4F89-41D3-9A0C-0305E82C3302"},
                                           {"createdAt", "2026-01-01T10:00:00Z"}, {"text", "Trip"},
                                           {"attachments", QJsonArray{"media/a.png"}}};
                writeFile(entry + "/note.json", QJsonDocument(manifest).toJson());
                writeFile(entry + "/note.txt", "");
                writeFile(entry + "/media/a.png", png());
                inner = writeFile(entry + "/media/big.bin", beyondTheRoomLeft);
                break;
            }
            case Road::ActivityPackage:
                entry = sourceDir + "/Walk.veskactivity";
                writeFile(entry + "/activity.json", R"({"title":"Walk"})");
                inner = writeFile(entry + "/media/big.bin", beyondTheRoomLeft);
                break;
            }
            VeskItem video;
            if (road.road == Road::VideoMoment) {
                video = makeItem("Holiday.mov", 100, VeskKind::File,
                                 writeFile(dataDir + "/Items/" + QUuid::createUuid().toString(QUuid::WithoutBraces) + "/Holiday.mov",
                                           "movie"));
                ASSERT_TRUE(store->commitNewItem(video));
            }

            std::unique_ptr<UnwritableGuard> unwritable;
            std::unique_ptr<FileSizeLimit> full;
            switch (fault.fault) {
            case Fault::UnreadableSource:
                if (::geteuid() != 0) {
                    ASSERT_TRUE(QFile::setPermissions(inner, QFileDevice::WriteOwner));
                } else if (entry == inner && nobodyMayRead) {
                    entry = *nobodyMayRead; // permissions do not stop root
                } else {
                    continue; // root reads every file of a folder it is handed
                }
                break;
            case Fault::UnwritableItems:
                QDir().mkpath(dataDir + "/Items");
                unwritable = std::make_unique<UnwritableGuard>(dataDir + "/Items");
                if (!unwritable->active())
                    continue; // this file system cannot make a folder unwritable
                break;
            case Fault::FullDisk:
                full = std::make_unique<FileSizeLimit>(1 << 20);
                break;
            }

            QString said;
            if (road.road == Road::VideoMoment) {
                const Expected<VeskItem, QString> saved = store->saveVideoMoment(entry, video, 12);
                full.reset();
                ASSERT_FALSE(saved.hasValue());
                said = saved.error();
            } else {
                EXPECT_FALSE(importNow(*store, entry));
                full.reset();
                ASSERT_TRUE(store->failureNotice());
                EXPECT_EQ(store->failureNotice()->title, "Not imported");
                const QString detail = store->failureNotice()->detail;
                ASSERT_TRUE(detail.endsWith(QLatin1Char('.'))) << detail.toStdString();
                said = detail.mid(detail.lastIndexOf(QStringLiteral(": ")) + 2).chopped(1);
            }
            EXPECT_EQ(said.toStdString(), fault.words.toStdString());
            unwritable.reset();
            QFile::setPermissions(inner, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
    }
}

} // namespace
} // namespace vesk::test
