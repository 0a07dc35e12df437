// An edited picture is flushed to the disk on the file pool, never on the main thread, which the
// window waits on; the store hears the outcome back on the main thread.
#include "common/Eventually.h"
#include "common/FlushRecorder.h"
#include "common/StoreFixture.h"

#include <QCoreApplication>
#include <QThread>

namespace vesk::test {
namespace {

class EditedVersionFlushTest : public StoreFixture {};

TEST_F(EditedVersionFlushTest, TheVersionIsFlushedOffTheMainThreadAndHeardBackOnIt)
{
    const struct {
        const char* name;
        QString extension;
        bool kept;
    } cases[] = {
        {"a version the disk takes", QStringLiteral("png"), true},
        {"a version whose name the disk refuses", QString(300, QLatin1Char('x')), false},
    };
    const QString path = writeFile(makeTempDirectory(QStringLiteral("pictures")) + "/Harbour.png", "source bytes");
    const VeskItem source = makeItem(QStringLiteral("Harbour.png"), 100, VeskKind::Image, path);
    seed({source});
    auto store = makeStore();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        forgetRecordedFlushes();
        const qsizetype before = store->items().size();
        std::optional<std::optional<VeskItem>> heard;
        bool heardOnMainThread = false;
        store->saveEditedImageLater("edited bytes", source, c.extension, [&](const std::optional<VeskItem>& saved) {
            heard = saved;
            heardOnMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        });
        EXPECT_FALSE(heard) << "heard from the event loop, not inside the call";
        ASSERT_EVENTUALLY(heard.has_value(), 10000);
        EXPECT_TRUE(heardOnMainThread);
        EXPECT_EQ(heard->has_value(), c.kept);
        EXPECT_EQ(store->items().size(), before + (c.kept ? 1 : 0));
        if (c.kept)
            EXPECT_EQ(store->items().first().id, (*heard)->id);
        else
            EXPECT_TRUE(store->failureNotice());
        bool versionFlushed = false;
        for (const RecordedFlush& flush : recordedFlushes()) {
            if (!flush.path.startsWith(dataDir + QStringLiteral("/Items")))
                continue;
            EXPECT_FALSE(flush.onMainThread) << "flushed on the main thread: " << flush.path.toStdString();
            // The file is flushed under its temporary name in the version's own folder.
            versionFlushed = versionFlushed
                || (c.kept && QFileInfo(flush.path).path() == QFileInfo(*(*heard)->filePath).path());
        }
        EXPECT_EQ(versionFlushed, c.kept);
    }
}

} // namespace
} // namespace vesk::test
