#include "store/FaultInjection.h"
#include "store/IntakeStoreFixture.h"

#include <QBuffer>
#include <QDirIterator>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>
#include <sys/mount.h>
#include <string>
#include <vector>

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

// One file shown at another's place for as long as it lives (root only).
class BindMount {
public:
    BindMount(const QString& file, const QString& at) : m_at(QFile::encodeName(at))
    {
        m_active = ::mount(QFile::encodeName(file).constData(), m_at.constData(), nullptr, MS_BIND, nullptr) == 0;
    }
    ~BindMount()
    {
        if (m_active)
            ::umount2(m_at.constData(), MNT_DETACH);
    }
    BindMount(const BindMount&) = delete;
    BindMount& operator=(const BindMount&) = delete;
    bool active() const { return m_active; }

private:
    QByteArray m_at;
    bool m_active = false;
};

enum class Road { VideoMoment, NotePackage, ActivityPackage, DroppedFile };
enum class Fault { UnreadableSource, UnwritableItems, FullDisk };

struct CopyFailureCase {
    const char* name;
    Road road;
    Fault fault;
    QString words;
};

class StoreCopyFailureWords : public IntakeStoreTest, public testing::WithParamInterface<CopyFailureCase> {
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
// on an immutable folder) reads differently on the two sides, whichever road the copy took. A
// case this machine cannot set up is skipped by name, with why.
TEST_P(StoreCopyFailureWords, AFailedCopySaysWhetherReadingOrWritingFailed)
{
    const CopyFailureCase& c = GetParam();
    const QByteArray beyondTheRoomLeft(2 << 20, 'b');
    auto store = makeStore();

    // What is handed over, and the file in it that cannot be read under that fault.
    QString entry;
    QString inner;
    switch (c.road) {
    case Road::VideoMoment:
    case Road::DroppedFile:
        entry = inner = source(c.road == Road::VideoMoment ? "clip.mov" : "plain.bin", beyondTheRoomLeft);
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
    if (c.road == Road::VideoMoment) {
        video = makeItem("Holiday.mov", 100, VeskKind::File,
                         writeFile(dataDir + "/Items/" + QUuid::createUuid().toString(QUuid::WithoutBraces) + "/Holiday.mov",
                                   "movie"));
        ASSERT_TRUE(store->commitNewItem(video));
    }

    std::unique_ptr<UnwritableGuard> unwritable;
    std::unique_ptr<FileSizeLimit> full;
    std::unique_ptr<BindMount> unreadable;
    switch (c.fault) {
    case Fault::UnreadableSource:
        if (::geteuid() != 0) {
            ASSERT_TRUE(QFile::setPermissions(inner, QFileDevice::WriteOwner));
        } else if (const std::optional<QString> nobodyMayRead = fileNobodyMayRead(); !nobodyMayRead) {
            GTEST_SKIP() << "permissions do not stop root, and no file here refuses root's reads";
        } else if (entry == inner) {
            entry = *nobodyMayRead;
        } else {
            // Inside a folder, the file root may not read stands where the package's file was.
            unreadable = std::make_unique<BindMount>(*nobodyMayRead, inner);
            if (!unreadable->active())
                GTEST_SKIP() << "a file root may not read cannot be put inside the package here";
        }
        break;
    case Fault::UnwritableItems:
        QDir().mkpath(dataDir + "/Items");
        unwritable = std::make_unique<UnwritableGuard>(dataDir + "/Items");
        if (!unwritable->active())
            GTEST_SKIP() << "this file system cannot make a folder unwritable";
        break;
    case Fault::FullDisk:
        full = std::make_unique<FileSizeLimit>(1 << 20);
        break;
    }

    QString said;
    if (c.road == Road::VideoMoment) {
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
    EXPECT_EQ(said.toStdString(), c.words.toStdString());
    unreadable.reset();
    unwritable.reset();
    QFile::setPermissions(inner, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

std::vector<CopyFailureCase> copyFailureCases()
{
    const struct {
        const char* name;
        Fault fault;
        QString words;
    } faults[] = {
        {"UnreadableSource", Fault::UnreadableSource, QStringLiteral("Vesk is not allowed to read it")},
        {"UnwritableItems", Fault::UnwritableItems, QStringLiteral("the library folder is read-only")},
        {"FullDisk", Fault::FullDisk, QStringLiteral("the disk is full")},
    };
    const struct {
        const char* name;
        Road road;
    } roads[] = {
        {"VideoMoment", Road::VideoMoment},
        {"NotePackage", Road::NotePackage},
        {"ActivityPackage", Road::ActivityPackage},
        {"DroppedFile", Road::DroppedFile},
    };
    // The names live as long as the process: the table is made once.
    static std::vector<std::string> names;
    std::vector<CopyFailureCase> cases;
    names.reserve(std::size(faults) * std::size(roads));
    for (const auto& fault : faults) {
        for (const auto& road : roads) {
            names.push_back(std::string(road.name) + fault.name);
            cases.push_back({names.back().c_str(), road.road, fault.fault, fault.words});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(RoadsAndFaults, StoreCopyFailureWords, testing::ValuesIn(copyFailureCases()),
    [](const testing::TestParamInfo<CopyFailureCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace vesk::test
