// The copied picture's temporary file is thrown away once the import has its own copy: it is
// written whole but never flushed to the disk, which would only make the capture wait.
#include "common/Eventually.h"
#include "app/AppTestSupport.h"
#include "app/ClipboardCapture.h"
#include "common/FlushRecorder.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QFileInfo>

namespace vesk::test {
namespace {

class ClipboardTemporaryFileTest : public WindowTest {};

QByteArray encoded(int width, int height, const char* format)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, format);
    return bytes;
}

TEST_F(ClipboardTemporaryFileTest, TheCopiedPicturesTemporaryFileIsNeverFlushed)
{
    const struct {
        const char* name;
        QByteArray picture;
        const char* extension;
    } cases[] = {
        {"a PNG", encoded(40, 30, "PNG"), "png"},
        {"a TIFF", encoded(30, 20, "TIFF"), "tiff"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString ownTemp = makeTempDirectory(QStringLiteral("clipboard-temp"));
        const QByteArray sharedTemp = qgetenv("TMPDIR");
        const bool tempWasSet = qEnvironmentVariableIsSet("TMPDIR");
        qputenv("TMPDIR", ownTemp.toUtf8());
        forgetRecordedFlushes();
        const qsizetype before = store->items().size();
        std::optional<bool> kept;
        const bool started = captureClipboardImage(c.picture, QLatin1String(c.extension), *store,
                                                   [&kept](bool imported) { kept = imported; });
        if (tempWasSet)
            qputenv("TMPDIR", sharedTemp);
        else
            qunsetenv("TMPDIR");
        ASSERT_TRUE(started);
        ASSERT_EVENTUALLY(kept.has_value(), 5000);
        EXPECT_TRUE(*kept);
        EXPECT_EQ(store->items().size(), before + 1);
        EXPECT_TRUE(QDir(ownTemp).entryList(QDir::Files | QDir::Hidden).isEmpty());
        for (const RecordedFlush& flush : recordedFlushes())
            EXPECT_FALSE(flush.path.startsWith(ownTemp + QLatin1Char('/'))) << "flushed: " << flush.path.toStdString();
    }
}

} // namespace
} // namespace vesk::test
